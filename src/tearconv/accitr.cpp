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
extern "C" ORVK_API void ORVK_ACCITR(IWORD* iter, const IWORD* n, IWORD* mode, double* tmin,
                                     double* tmax, double* stpmax, double* t, double* x,
                                     const double* dx, double* dxold) {
  const IWORD nn = *n;
  Vec1<double> X(x), DXOLD(dxold);
  Vec1<const double> DX(dx);

  *iter += 1;
  double e = 0.0;
  for (IWORD j = 1; j <= nn; ++j) e = std::fmax(e, std::fabs(DX(j)));

  double a;
  if (*iter <= 1) {
    if (*mode != 1 && *mode != -1 && *mode != 2 && *mode != -2) *mode = 2;
    if (*tmin <= 0.0) *tmin = 1e-4;
    if (*tmin > *tmax) *tmax = 10.0;
    if (*stpmax < 0.01) {
      double xmax = 0.0;
      for (IWORD j = 1; j <= nn; ++j) xmax = std::fmax(xmax, std::fabs(X(j)));
      *stpmax = std::fmax(5.0, 0.1 * xmax);
    }
    a = *t;
  } else {
    double f = 0.0, g = 0.0;
    for (IWORD j = 1; j <= nn; ++j) {
      const double dold = DXOLD(j);
      const double change = DX(j) - dold;
      if (*mode == 1) {
        f += dold * change;
        g += change * change;
      } else {
        f += dold * dold;
        g += dold * change;
      }
    }
    if (std::fabs(g) > std::fmin(1e-15, 0.001 * std::fabs(f))) {
      a = -f * *t / g;
      if (*mode > 0) a = std::fabs(a);
    } else {
      a = 1.0;
    }
  }

  // Step limit (no step when DX is zero).
  if (e > 0.0 && e * std::fabs(a) > *stpmax) a = std::copysign(std::fabs(*stpmax / e), a);

  double tt = std::fmin(*tmax, std::fmax(-*tmax, a));
  if (std::fabs(tt) < *tmin) tt = (tt >= 0.0) ? std::fabs(*tmin) : -std::fabs(*tmin);

  *t = tt;
  for (IWORD j = 1; j <= nn; ++j) {
    X(j) += tt * DX(j);
    DXOLD(j) = DX(j);
  }
}
