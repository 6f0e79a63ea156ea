// ORVK_ACCITR: scalar acceleration of a fixed-point iteration x -> G(x).
//
// Every call moves X by T*DX, DX = G(X) - X, with one factor T for all
// variables, estimated from how DX changed over the previous step so that
// on a linear G with one slope lam the step T = 1/(1 - lam) lands on the
// fixed point.  |T| is kept in [TMIN, TMAX] and the largest step component
// at most STPMAX.

#include <cmath>

#include "frame/views.hpp"
#include "orvika/tearconv_accel.h"

using namespace orvika;

// ORVK_ACCITR: one accelerated step.
//
//  ITER   (in/out)          call counter, incremented at entry; <= 0 before
//                           the first call
//  N      (in)              number of variables
//  MODE   (in/out)          1: f = dold'(d - dold), g = |d - dold|^2;
//                           other: f = |dold|^2, g = dold'(d - dold);
//                           T = -f*T/g, made non-negative when MODE > 0.
//                           The first call replaces a MODE other than
//                           1, -1, 2, -2 by 2.
//  TMIN   (in/out)          smallest |T|; <= 0 becomes 1e-4 on the first call
//  TMAX   (in/out)          largest |T|; below TMIN becomes 10 on the first call
//  STPMAX (in/out)          largest |T*DX(j)|; below 0.01 becomes
//                           max(5, 0.1*max|X|) on the first call
//  T      (in/out)          in: previous factor (first call: starting factor);
//                           out: the factor used
//  X      (in/out) real(N)  X := X + T*DX
//  DX     (in)     real(N)  G(X) - X
//  DXOLD  (in/out) real(N)  in: DX of the previous call; out: DX
//
// No status; a degenerate change of DX gives T = 1.  Cost: O(N).
extern "C" ORVK_API void ORVK_ACCITR(IWORD* ITER, const IWORD* N, IWORD* MODE, double* TMIN,
                                     double* TMAX, double* STPMAX, double* T, double* X,
                                     const double* DX, double* DXOLD) {
  const IWORD n = *N;
  Vec1<double> x(X), dxold(DXOLD);
  Vec1<const double> dx(DX);

  *ITER = plus_one(*ITER);  // the count stops at the top
  double e = 0.0;
  for (IWORD j = 1; j <= n; ++j) e = std::fmax(e, std::fabs(dx(j)));

  double a;
  if (*ITER <= 1) {
    if (*MODE != 1 && *MODE != -1 && *MODE != 2 && *MODE != -2) *MODE = 2;
    if (*TMIN <= 0.0) *TMIN = 1e-4;
    if (*TMIN > *TMAX) *TMAX = 10.0;
    if (*STPMAX < 0.01) {
      double xmax = 0.0;
      for (IWORD j = 1; j <= n; ++j) xmax = std::fmax(xmax, std::fabs(x(j)));
      *STPMAX = std::fmax(5.0, 0.1 * xmax);
    }
    a = *T;
  } else {
    // The sums f and g of DX and DXOLD scaled by 2^-K.
    auto sums = [&](int k, double& f, double& g) {
      f = 0.0;
      g = 0.0;
      for (IWORD j = 1; j <= n; ++j) {
        const double d = std::ldexp(dx(j), -k);
        const double dold = std::ldexp(dxold(j), -k);
        const double change = d - dold;
        if (*MODE == 1) {
          f += dold * change;
          g += change * change;
        } else {
          f += dold * dold;
          g += dold * change;
        }
      }
    };
    double f, g;
    sums(0, f, g);
    // The factor is a ratio of two quadratic sums; when they overflow on
    // finite changes (inf/inf would be a factor that is not a number, which
    // no limit catches), both are formed again from the changes scaled by a
    // power of two near the largest of them, and the threshold with them.
    double threshold = 1e-15;
    if (!std::isfinite(f) || !std::isfinite(g)) {
      double big = e;
      for (IWORD j = 1; j <= n; ++j) big = std::fmax(big, std::fabs(dxold(j)));
      if (std::isfinite(big) && big > 0.0) {
        int k = 0;
        std::frexp(big, &k);
        sums(k, f, g);
        threshold = std::ldexp(threshold, -2 * k);
      }
    }
    if (std::fabs(g) > std::fmin(threshold, 0.001 * std::fabs(f))) {
      a = -f * *T / g;
      if (*MODE > 0) a = std::fabs(a);
    } else {
      a = 1.0;
    }
  }

  // Step limit (no step when DX is zero).
  if (e > 0.0 && e * std::fabs(a) > *STPMAX) a = std::copysign(std::fabs(*STPMAX / e), a);

  double tt = std::fmin(*TMAX, std::fmax(-*TMAX, a));
  if (std::fabs(tt) < *TMIN) tt = (tt >= 0.0) ? std::fabs(*TMIN) : -std::fabs(*TMIN);

  *T = tt;
  for (IWORD j = 1; j <= n; ++j) {
    x(j) += tt * dx(j);
    dxold(j) = dx(j);
  }
}
