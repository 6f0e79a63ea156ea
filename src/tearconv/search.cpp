// ORVK_SEARCH and ORVK_NEWTQX: line search by bracketing and parabolic fits.
#include <algorithm>
#include <cmath>
#include <limits>

#include "frame/views.hpp"
#include "orvika/tearconv_newton.h"
#include "tearconv/rms.hpp"

namespace {

// A merit value that is NaN counts as worse than any number.
double merit(double f) { return std::isnan(f) ? std::numeric_limits<double>::infinity() : f; }

// Stationary point of the parabola through the three stored points, or the
// best stored point when two of them (nearly) coincide or the fit is not
// finite; IPT = 0 once the new step is within tolerance of the middle point.
void parabola_step(IWORD& ipt, double& step, double tolabs, double tolrel, const double* w) {
  const double a1 = w[0], a2 = w[1], a3 = w[2];
  const double f1 = w[3], f2 = w[4], f3 = w[5];
  auto best_point = [&] {
    if (f1 <= std::min(f2, f3)) return a1;
    if (f2 <= std::min(f1, f3)) return a2;
    return a3;
  };
  if (std::fabs(a1 - a2) < 1e-10 || std::fabs(a1 - a3) < 1e-10 || std::fabs(a2 - a3) < 1e-10) {
    step = best_point();
  } else {
    const double h = (f1 - f2) / (a1 - a2);
    const double k = (f3 - f2) / (a3 - a2);
    const double c = (h - k) / (a1 - a3);
    step = (c == 0.0) ? a1 : (a1 + a2) / 2.0 - h / (2.0 * c);
    if (!std::isfinite(step)) {
      step = best_point();
      ipt = 0;
      return;
    }
  }
  const double dev = std::fabs(step - a2);
  if (dev < tolabs || dev < a2 * tolrel) ipt = 0;
}

}  // namespace

/* ORVK_SEARCH: one step of a reverse-communication line search for a minimum of a
 * scalar merit value f(s) along a fixed direction.
 * Arguments, all by address:
 *   IPT     in/out  IWORD     search code: <= 0 start; 1 STEP is the first trial; 2 a new
 *                             middle point; 3 a new third point; >= 4 a parabola point.
 *                             Set to 0 when the search is over (nothing to evaluate).
 *   STEP    in/out  real      in: the step factor FVAL belongs to; out: the next step
 *                             factor to evaluate, or the final one when IPT = 0.
 *   FVAL    in      real      merit value at STEP (a NaN counts as +infinity).
 *   TOLABS  in      real      absolute tolerance on the step factor.
 *   TOLREL  in      real      relative tolerance (times the middle step factor).
 *   STEP0   in      real      first trial step factor.
 *   SMAX    in      real      largest step factor of an expansion.
 *   W       in/out  real (7)  state: step factors a1, a2, a3, merit values f1, f2, f3
 *                             and the expansion factor; unchanged by the caller.
 * The search brackets a minimum (halving toward a1 while the third point is worse
 * than the first, doubling the expansion while it is not), then fits parabolas.  It
 * ends when a contraction step falls below 1e-6 or within 1e-6 of a1, an expansion
 * reaches SMAX, or a parabola step lies within tolerance of the middle point.
 * Cost: O(1) per call. */
extern "C" ORVK_API void ORVK_SEARCH(IWORD* IPT, double* STEP, const double* FVAL,
                                     const double* TOLABS, const double* TOLREL,
                                     const double* STEP0, const double* SMAX, double* W) {
  const double fv = merit(*FVAL);
  double& a1 = W[0];
  double& a2 = W[1];
  double& a3 = W[2];
  double& f1 = W[3];
  double& f2 = W[4];
  double& f3 = W[5];
  double& expand = W[6];

  if (*IPT <= 0) {
    a1 = *STEP;
    f1 = fv;
    *STEP = *STEP0;
    expand = 0.5;
    *IPT = 1;
    return;
  }
  if (*IPT == 1) {
    a3 = *STEP;
    f3 = fv;
    *STEP = 0.5 * *STEP0;
    *IPT = 2;
    return;
  }
  if (*IPT == 2 || *IPT == 3) {
    const double s = *STEP;
    if (*IPT == 2) {
      a2 = s;
      f2 = fv;
    } else {
      a3 = s;
      f3 = fv;
    }
    if (f2 < std::min(f1, f3)) {
      *IPT = 4;
      parabola_step(*IPT, *STEP, *TOLABS, *TOLREL, W);
      return;
    }
    if (f3 > f1) {
      a3 = a2;
      f3 = f2;
      *STEP = 0.5 * (a1 + a2);
      // A third point that came from a contraction lies between a1 and a2:
      // when it is worse than the first, the midpoint is that point again,
      // and asking for it would repeat forever.  The search ends at the
      // better of the first and middle points.
      if (*IPT == 3 && *STEP == s) {
        *STEP = f1 <= f2 ? a1 : a2;
        *IPT = 0;
        return;
      }
      // The floor is measured from the first point: after an expansion the
      // first point is no longer the start, and on a merit that is flat
      // near it and worse farther out, the midpoints that tie with it send
      // the search out to the worse points and back again without end,
      // halving the bracket each time.  (From a start at 0 this is the
      // test STEP < 1e-6.)
      if (*STEP < 1e-6 || std::fabs(*STEP - a1) < 1e-6) *IPT = 0;
      return;
    }
    if (*SMAX > s) {
      const double e = expand;
      const double a3old = a3;
      a1 = a2;
      f1 = f2;
      a2 = a3;
      f2 = f3;
      *STEP = std::min(a3old + *STEP0 * e, *SMAX);
      expand = 2.0 * e;
      *IPT = 3;
      return;
    }
    *IPT = 0;
    return;
  }
  // Parabola point: keep the best point in the middle of the bracket.
  const double x = *STEP, f = fv;
  if (x > a2 && f < f2) {
    a1 = a2;
    f1 = f2;
    a2 = x;
    f2 = f;
  } else if (x > a2 && f > f2) {
    a3 = x;
    f3 = f;
  } else if (x < a2 && f < f2) {
    a3 = a2;
    f3 = f2;
    a2 = x;
    f2 = f;
  } else if (x < a2 && f > f2) {
    a1 = x;
    f1 = f;
  } else {
    a1 = a2;
    f1 = f2;
    a2 = x;
    f2 = f;
  }
  parabola_step(*IPT, *STEP, *TOLABS, *TOLREL, W);
}

/* ORVK_NEWTQX: line search along DX from X0 on the root-mean-square value of the
 * residuals, RMS(F) = sqrt(sum F(i)^2 / N), through ORVK_SEARCH.
 * Arguments, all by address:
 *   N       in      IWORD     number of variables and residuals; N < 1: MODE = 0 at once.
 *   MODE    in/out  IWORD     >= 0 start; -1 on return: evaluate FNEW at XNEW and call
 *                             again; 0 on return: done (result XNEW, FNEW, RMS).
 *   IPT     in/out  IWORD     search code of ORVK_SEARCH.
 *   X0      in      real (N)  start point.
 *   F0      in      real (N)  residuals at X0 (read at the start only).
 *   DX      in      real (N)  direction (the full step).
 *   STEP0   in      real      first trial step factor.
 *   SMAX    in      real      largest step factor.
 *   XNEW    out     real (N)  trial point X0 + STEP*DX.
 *   FNEW    in      real (N)  residuals at XNEW (continuing calls).
 *   TOLABS, TOLREL  in real   tolerances of ORVK_SEARCH.
 *   RMS0    in/out  real      RMS(F0), set at the start.
 *   RMS     out     real      RMS(FNEW) of the latest trial point.
 *   STEP    in/out  real      current step factor.
 *   W       in/out  real (7)  state of ORVK_SEARCH.
 *   RATIO   in      real      the first trial point is accepted when RMS < RATIO*RMS0.
 *   IACC    out     IWORD     set to 1 when the first trial point is accepted; else untouched.
 *   IFORCE  in      IWORD     > 0: the first trial point is also accepted when RMS < RMS0.
 * Cost: O(N) per call. */
extern "C" ORVK_API void ORVK_NEWTQX(const IWORD* N, IWORD* MODE, IWORD* IPT, const double* X0,
                                     const double* F0, const double* DX, const double* STEP0,
                                     const double* SMAX, double* XNEW, const double* FNEW,
                                     const double* TOLABS, const double* TOLREL, double* RMS0,
                                     double* RMS, double* STEP, double* W, const double* RATIO,
                                     IWORD* IACC, const IWORD* IFORCE) {
  const IWORD n = *N;
  if (n < 1) {
    *MODE = 0;
    *IPT = 0;
    return;
  }
  const orvika::Vec1<const double> x0(X0, n), f0(F0, n), dx(DX, n), fnew(FNEW, n);
  const orvika::Vec1<double> xnew(XNEW, n);
  if (*MODE >= 0) {
    *STEP = 0.0;
    *RMS0 = orvika::rms_of(n, [&](IWORD i) { return f0(i); });
    *IPT = 0;
    ORVK_SEARCH(IPT, STEP, RMS0, TOLABS, TOLREL, STEP0, SMAX, W);
    for (IWORD i = 1; i <= n; ++i) xnew(i) = x0(i) + *STEP * dx(i);
    *MODE = -1;
    return;
  }
  *RMS = orvika::rms_of(n, [&](IWORD i) { return fnew(i); });
  if (*IPT == 1 && (*RMS < *RATIO * *RMS0 || (*IFORCE > 0 && *RMS < *RMS0))) {
    *MODE = 0;
    *IACC = 1;
    return;
  }
  ORVK_SEARCH(IPT, STEP, RMS, TOLABS, TOLREL, STEP0, SMAX, W);
  if (*IPT <= 0) {
    *MODE = 0;
    return;
  }
  for (IWORD i = 1; i <= n; ++i) xnew(i) = x0(i) + *STEP * dx(i);
  *MODE = -1;
}
