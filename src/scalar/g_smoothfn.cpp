// Derivative twins of the overflow-safe functions: G_RTO_CHK_DLOG,
// G_RTO_SLN (one direction at most) and G_RS_DEXP (up to 100).  Each
// returns the value of its plain function and writes the directional
// derivatives of the result into G_R(1..G_P).

#include <cmath>

#include "orvika/scalar_curves.h"
#include "scalar/smoothfn.hpp"
#include "scalar/twin.hpp"

using namespace orvika;

// G_RTO_CHK_DLOG: RTO_CHK_DLOG(X) and its derivatives.
//
//  G_P   (in)             directions, at most 1 (<= 0: value only)
//  X     (in)             argument
//  G_X   (in)  real(G_P)  derivatives of X
//  LDG_X (in)             not referenced (X is a scalar)
//  G_R   (out) real(G_P)  derivatives of the result: G_X, 16/970 G_X or 0
//
// An argument that is not a number is returned unchanged with G_R = G_X
// (the identity branch), where RTO_CHK_DLOG gives -46.  Cost: O(G_P).
extern "C" ORVK_API double G_RTO_CHK_DLOG(const IWORD* g_p_, const double* X, const double* g_X,
                                          const IWORD* ldg_X, double* g_R) {
  const IWORD g_p = *g_p_;
  if (!g_check_limit(g_p, kGPmaxScalar)) return RTO_CHK_DLOG(X);
  const IWORD np = g_dirs(g_p);
  const double v = *X;
  const double s = smooth::kDlogSlope;
  double r;
  if (v > 30.0) {
    if (v < 1000.0) {
      r = 30.0 + (v - 30.0) * s;
      for (IWORD k = 0; k < np; ++k) g_R[k] = s * g_X[k];
    } else {
      r = 46.0;
      g_clear(np, g_R);
    }
  } else if (v < -30.0) {
    if (-v < 1000.0) {
      r = -s * (-v - 30.0) - 30.0;
      for (IWORD k = 0; k < np; ++k) g_R[k] = (-g_X[k]) * (-s);
    } else {
      r = -46.0;
      g_clear(np, g_R);
    }
  } else {
    r = v;
    g_copy(np, g_X, g_R);
  }
  return r;
}

// G_RTO_SLN: RTO_SLN(X) and its derivatives.  Arguments as G_RTO_CHK_DLOG
// (at most 1 direction).  Cost: O(G_P).
extern "C" ORVK_API double G_RTO_SLN(const IWORD* g_p_, const double* X, const double* g_X,
                                     const IWORD* ldg_X, double* g_R) {
  const IWORD g_p = *g_p_;
  if (!g_check_limit(g_p, kGPmaxScalar)) return RTO_SLN(X);
  const IWORD np = g_dirs(g_p);
  const double v = *X;
  if (!(v < 1e-6)) {
    for (IWORD k = 0; k < np; ++k) g_R[k] = g_X[k] * (1.0 / v);
    return std::log(v);
  }
  double gy[kGPmaxScalar];
  const double y = std::exp(v / 1e-6) * smooth::kSlnJoin;
  for (IWORD k = 0; k < np; ++k) gy[k] = (g_X[k] * 1000000.0) * y;
  if (y < 1e-7) {
    for (IWORD k = 0; k < np; ++k) g_R[k] = gy[k] * 10000000.0;
    return (y - 1e-7) / 1e-7 + smooth::kLn1em7;
  }
  for (IWORD k = 0; k < np; ++k) g_R[k] = gy[k] * (1.0 / y);
  return std::log(y);
}

// G_RS_DEXP: RS_DEXP(X) and its derivatives.  Arguments as G_RTO_CHK_DLOG,
// with up to 100 directions.  Cost: O(G_P).
extern "C" ORVK_API double G_RS_DEXP(const IWORD* g_p_, const double* X, const double* g_X,
                                     const IWORD* ldg_X, double* g_R) {
  const IWORD g_p = *g_p_;
  if (!g_check_limit(g_p, kGPmax)) return RS_DEXP(X);
  const IWORD np = g_dirs(g_p);
  const double v = *X;
  if (std::fabs(v) <= 30.0) {
    const double r = std::exp(v);
    for (IWORD k = 0; k < np; ++k) g_R[k] = r * g_X[k];
    return r;
  }
  if (v > 30.0) {
    const double a = v - 14.0;
    const double q = (-(16.0 / a) / a) * (-16.0);  // slope of the exponent
    const double r = std::exp(30.0 + 16.0 * (1.0 - 16.0 / a));
    for (IWORD k = 0; k < np; ++k) g_R[k] = (g_X[k] * q) * r;
    return r;
  }
  const double d = -14.0 - v;
  const double q = (-(16.0 / d) / d) * 16.0;  // slope of the exponent in d
  const double r = std::exp((1.0 - 16.0 / d) * (-16.0) - 30.0);
  for (IWORD k = 0; k < np; ++k) g_R[k] = (-(g_X[k] * q)) * r;
  return r;
}
