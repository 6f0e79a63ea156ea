// ORVK_SEARCH and ORVK_NEWTQX: line search by bracketing and parabolic fits.
#include <algorithm>
#include <cmath>
#include <limits>

#include "orvika/tearconv_newton.h"

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

double rms_of(IWORD n, const double* f) {
  double s = 0.0;
  for (IWORD i = 0; i < n; ++i) s += f[i] * f[i];
  return std::sqrt(s / static_cast<double>(n));
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
 * ends when a contraction step falls below 1e-6, an expansion reaches SMAX, or a
 * parabola step lies within tolerance of the middle point.  Cost: O(1) per call. */
extern "C" ORVK_API void ORVK_SEARCH(IWORD* ipt, double* step, const double* fval,
                                     const double* tolabs, const double* tolrel,
                                     const double* step0, const double* smax, double* w) {
  const double fv = merit(*fval);
  double& a1 = w[0];
  double& a2 = w[1];
  double& a3 = w[2];
  double& f1 = w[3];
  double& f2 = w[4];
  double& f3 = w[5];
  double& expand = w[6];

  if (*ipt <= 0) {
    a1 = *step;
    f1 = fv;
    *step = *step0;
    expand = 0.5;
    *ipt = 1;
    return;
  }
  if (*ipt == 1) {
    a3 = *step;
    f3 = fv;
    *step = 0.5 * *step0;
    *ipt = 2;
    return;
  }
  if (*ipt == 2 || *ipt == 3) {
    const double s = *step;
    if (*ipt == 2) {
      a2 = s;
      f2 = fv;
    } else {
      a3 = s;
      f3 = fv;
    }
    if (f2 < std::min(f1, f3)) {
      *ipt = 4;
      parabola_step(*ipt, *step, *tolabs, *tolrel, w);
      return;
    }
    if (f3 > f1) {
      a3 = a2;
      f3 = f2;
      *step = 0.5 * (a1 + a2);
      if (*step < 1e-6) *ipt = 0;
      return;
    }
    if (*smax > s) {
      const double e = expand;
      const double a3old = a3;
      a1 = a2;
      f1 = f2;
      a2 = a3;
      f2 = f3;
      *step = std::min(a3old + *step0 * e, *smax);
      expand = 2.0 * e;
      *ipt = 3;
      return;
    }
    *ipt = 0;
    return;
  }
  // Parabola point: keep the best point in the middle of the bracket.
  const double x = *step, f = fv;
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
  parabola_step(*ipt, *step, *tolabs, *tolrel, w);
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
extern "C" ORVK_API void ORVK_NEWTQX(const IWORD* n, IWORD* mode, IWORD* ipt, const double* x0,
                                     const double* f0, const double* dx, const double* step0,
                                     const double* smax, double* xnew, const double* fnew,
                                     const double* tolabs, const double* tolrel, double* rms0,
                                     double* rms, double* step, double* w, const double* ratio,
                                     IWORD* iacc, const IWORD* iforce) {
  const IWORD nn = *n;
  if (nn < 1) {
    *mode = 0;
    *ipt = 0;
    return;
  }
  if (*mode >= 0) {
    *step = 0.0;
    *rms0 = rms_of(nn, f0);
    *ipt = 0;
    ORVK_SEARCH(ipt, step, rms0, tolabs, tolrel, step0, smax, w);
    for (IWORD i = 0; i < nn; ++i) xnew[i] = x0[i] + *step * dx[i];
    *mode = -1;
    return;
  }
  *rms = rms_of(nn, fnew);
  if (*ipt == 1 && (*rms < *ratio * *rms0 || (*iforce > 0 && *rms < *rms0))) {
    *mode = 0;
    *iacc = 1;
    return;
  }
  ORVK_SEARCH(ipt, step, rms, tolabs, tolrel, step0, smax, w);
  if (*ipt <= 0) {
    *mode = 0;
    return;
  }
  for (IWORD i = 0; i < nn; ++i) xnew[i] = x0[i] + *step * dx[i];
  *mode = -1;
}
