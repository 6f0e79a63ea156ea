// Overflow-safe exponential and logarithm: RTO_CHK_DLOG, RTO_DEXP, RTO_SLN
// and RS_DEXP.  Each is finite for every finite argument and keeps a
// usable (continuous, non-zero where possible) slope.

#include <cmath>

#include "orvika/scalar_curves.h"
#include "scalar/smoothfn.hpp"

using namespace orvika;

// RTO_CHK_DLOG: exponent argument compressed into [-46, 46]: X itself for
// |X| <= 30, then a straight line of slope 16/970 up to |X| = 1000, then
// +-46.  An argument that is not a number gives -46.  Cost: O(1).
extern "C" ORVK_API double RTO_CHK_DLOG(const double* X) {
  const double v = *X;
  if (std::fabs(v) <= 30.0) return v;
  if (v > 30.0) return v < 1000.0 ? 30.0 + (v - 30.0) * smooth::kDlogSlope : 46.0;
  return -v < 1000.0 ? (-v - 30.0) * (-smooth::kDlogSlope) + (-30.0) : -46.0;
}

// RTO_DEXP: exp(RTO_CHK_DLOG(X)), in [e^-46, e^46].  Cost: O(1).
extern "C" ORVK_API double RTO_DEXP(const double* X) {
  const double v = *X;
  double e;
  if (std::fabs(v) <= 30.0) {
    e = v;
  } else if (v > 30.0) {
    e = v < 1000.0 ? 30.0 + (v - 30.0) * smooth::kDlogSlope : 46.0;
  } else {
    e = -v < 1000.0 ? (-v - 30.0) * (-smooth::kDlogSlope) + (-30.0) : -46.0;
  }
  return std::exp(e);
}

// RTO_SLN: ln(X) for X >= 1e-6; below, ln(1e-6 exp(X/1e-6 - 1)), which
// joins with equal value and slope, and from X = 1e-6 (1 + ln 0.1) on a
// straight tail towards ln(1e-7) - 1.  Finite for every finite X, with a
// continuous slope.  Cost: O(1).
extern "C" ORVK_API double RTO_SLN(const double* X) {
  const double v = *X;
  if (!(v < 1e-6)) return std::log(v);
  const double y = std::exp(v / 1e-6) * smooth::kSlnJoin;
  if (y < 1e-7) return (y - 1e-7) / 1e-7 + smooth::kLn1em7;
  return std::log(y);
}

// RS_DEXP: exp(X) for |X| <= 30; beyond, the exponent saturates smoothly:
// exp(30 + 16 (1 - 16/(X - 14))) above, exp(-30 - 16 (1 - 16/(-14 - X)))
// below, with value and slope continuous at +-30 and the exponent tending
// to +-46.  Cost: O(1).
extern "C" ORVK_API double RS_DEXP(const double* X) {
  const double v = *X;
  if (std::fabs(v) <= 30.0) return std::exp(v);
  if (v > 30.0) return std::exp(30.0 + 16.0 * (1.0 - 16.0 / (v - 14.0)));
  return std::exp((1.0 - 16.0 / (-14.0 - v)) * (-16.0) - 30.0);
}
