// ORVK_YSOLVE: bounded Marquardt least-squares fit by reverse communication.
//
// Reference: D. W. Marquardt, An algorithm for least-squares estimation of
// nonlinear parameters, J. SIAM 11 (1963) 431-441.
#include <algorithm>
#include <cmath>

#include "frame/views.hpp"
#include "orvika/regress.h"
#include "regress/regress.hpp"

namespace {

// ICTL words used for the state of the phase under way.
constexpr int kKind = 2, kStatus = 3, kCol = 4, kGradCol = 7, kStepCol = 8, kOffTrial = 9,
              kOffTyp = 10, kOffY = 11, kParam = 12, kTrials = 17, kColOff = 22, kHaveJac = 25,
              kCosSign = 26;
constexpr double kConv = 1e-10, kLamMax = 1e8, kPi = 3.14159265;
// Sum of squares relative to the size of the values that counts as an exact
// fit: residuals at the rounding level of the values.
constexpr double kExactRel = 1e-28;
// A stationary point counts as a limit at infinity, and a parameter of too
// little effect as saturation, by the engines' thresholds.
using orvika::kRunaway;
using orvika::Mat1;
using orvika::Vec1;
// Decrease of S, relative, that counts as rounding.
constexpr double kPredRound = 1e-12;
// Smallest factor by which an accepted step lowers the lambda carried into
// the next iteration (a step whose gain matches its prediction).
constexpr double kLamDown = 1.0 / 3.0;
// Pivot of the scaled normal matrix (unit diagonal) at or below which its
// columns count as dependent to rounding: a few hundred times the precision.
// (Fits that are merely ill-conditioned keep pivots many orders above it.)
constexpr double kDependent = 1e-13;

struct Ys {
  IWORD n, m;
  IWORD* ictl;
  double* rctl;
  Vec1<double> x;
  Vec1<const double> pmode, xup, xlow, ymeas;
  Vec1<double> ycalc;
  Vec1<const double> dydx;
  double* stat;
  double* work;
  double* anorm;
  double* asys;
  // The Jacobian (M,N) at the head of WORK; the normal matrix with gradient
  // and scales, and the damped system with step (N,N+2).
  Mat1<double> jac{work, m}, A{anorm, n}, B{asys, n};

  IWORD& ic(int w) { return ictl[w - 1]; }
  double& rc(int w) { return rctl[w - 1]; }
  double& st(int w) { return stat[w - 1]; }
  double& trial(IWORD j) { return work[n * m + j - 1]; }
  double& typ(IWORD j) { return work[n * m + n + j - 1]; }
  double& ysave(IWORD i) { return work[n * m + 2 * n + i - 1]; }
  double& xacc(IWORD j) { return x(n + j); }
  bool active(IWORD j) const { return pmode(j) != 0; }  // NaN counts as differenced
  // A parameter on a bound whose gradient G points out of the box: the
  // step leaves it where it is, as a fixed parameter.
  bool pinned(IWORD j, double g) {
    return active(j) && ((g > 0 && xacc(j) >= xup(j)) || (g < 0 && xacc(j) <= xlow(j)));
  }

  void set_return(IWORD code, IWORD status) {
    ic(1) = code;
    ic(kKind) = code == 2 ? 1 : (code == 3 || code == 4) ? 0 : -1;
    ic(kStatus) = status;
  }
  double evaluate() {
    double s = 0, size = 0;
    for (IWORD i = 1; i <= m; ++i) {
      ysave(i) = ycalc(i);
      const double r = ycalc(i) - ymeas(i);
      s += r * r;
      size += ymeas(i) * ymeas(i) + ycalc(i) * ycalc(i);
    }
    rc(15) = s;
    st(4) += 1;
    exact_ = s < kConv && s <= kExactRel * size;
    return s;
  }
  // True when the last evaluated values fit the measurements to rounding:
  // below the absolute level and at rounding level relative to the size of
  // the values (a small sum of squares alone says nothing when the values
  // themselves are small).
  bool exact_ = false;
  // Smallest |pivot| of the last elimination.
  double min_pivot_ = 0;
  // Installs the trial point and its model values as the accepted point.
  void accept(double s, double lambda) {
    for (IWORD j = 1; j <= n; ++j) x(j) = xacc(j) = trial(j);
    for (IWORD i = 1; i <= m; ++i) ycalc(i) = ycalc(m + i) = ysave(i);
    st(1) = s;
    st(6) = lambda;
  }
  void start_evaluation();
  void jacobian_from(IWORD j0);
  void normal_equations();
  bool eliminate(double lambda);
  void trial_step(double lambda);
  bool stationary();
  bool ran_off();
  IWORD converged_status();
  void decide();
  double next_lambda(double actual, double lambda);
};

void Ys::start_evaluation() {
  for (IWORD j = 1; j <= n; ++j) {
    trial(j) = x(j);
    typ(j) = std::fabs(x(j)) + 0.01;
  }
  const double s = evaluate();
  if (exact_) {
    accept(s, st(6));
    set_return(-1, 0);
    return;
  }
  st(1) = s;
  set_return(5, n);
}

void Ys::jacobian_from(IWORD j0) {
  for (IWORD j = j0; j <= n; ++j) {
    const double pm = pmode(j);
    if (pm == 0) continue;
    ic(kParam) = j;
    ic(kColOff) = (j - 1) * m;
    if (pm < 0) {
      ic(kCol) = j;
      set_return(2, ic(kStatus));
      return;
    }
    for (IWORD l = 1; l <= n; ++l) trial(l) = xacc(l);
    const double xj = trial(j);
    double h = 0.001 * std::max(typ(j), std::fabs(xj));
    if (xup(j) >= xj + h) {
      // forward step fits below the upper bound
    } else if (xj - h >= xlow(j)) {
      h = -h;
    } else {
      // The box is narrower than the step: take the larger room, so the
      // perturbed point stays inside the bounds.
      const double up = xup(j) - xj, down = xj - xlow(j);
      h = up >= down ? up : -down;
    }
    if (h == 0) {  // a parameter pinned by equal bounds has no column
      for (IWORD i = 1; i <= m; ++i) jac(i, j) = 0;
      continue;
    }
    // A step to the room left before a bound (xup - xj or xj - xlow, each
    // rounded) can round past that bound; the perturbed point stays in the box.
    trial(j) = std::max(xlow(j), std::min(xup(j), xj + h));
    for (IWORD l = 1; l <= n; ++l) x(l) = trial(l);
    rc(16) = h;
    set_return(3, ic(kStatus));
    return;
  }
  ic(kHaveJac) = 1;
  normal_equations();
}

void Ys::normal_equations() {
  const IWORD g = ic(kGradCol), sc = ic(kStepCol);
  double gg = 0;
  for (IWORD j = 1; j <= n; ++j) {
    A(j, g) = 0;
    for (IWORD l = 1; l <= n; ++l) A(j, l) = 0;
    if (active(j)) {
      double s = 0;
      for (IWORD i = 1; i <= m; ++i) s += (ymeas(i) - ycalc(m + i)) * jac(i, j);
      A(j, g) = s;
      for (IWORD l = 1; l <= n; ++l) {
        if (!active(l)) continue;  // a fixed parameter's column is never formed
        double t = 0;
        for (IWORD i = 1; i <= m; ++i) t += jac(i, j) * jac(i, l);
        A(j, l) = t;
      }
    }
    if (!active(j) || !(A(j, j) > 1e-20)) {
      for (IWORD l = 1; l <= n; ++l) A(j, l) = 0;
      A(j, g) = 0;
      A(j, j) = 1;
    }
    gg += A(j, g) * A(j, g);
  }
  rc(10) = gg;
  for (IWORD j = 1; j <= n; ++j) A(j, sc) = std::sqrt(A(j, j));
  for (IWORD j = 1; j <= n; ++j) {
    A(j, g) /= A(j, sc);
    for (IWORD l = 1; l <= n; ++l) A(j, l) /= A(j, sc) * A(l, sc);
  }
  trial_step(st(6) / rc(6));
}

// Solves (A* + LAMBDA I) d = right-hand side (column N+1 of ASYS, set by
// the caller), with the rows of pinned parameters made unit rows, by
// Gauss-Jordan elimination without row exchanges; the solution replaces the
// right-hand side.  False on a zero pivot.
bool Ys::eliminate(double lambda) {
  const IWORD g = ic(kGradCol);
  for (IWORD l = 1; l <= n; ++l)
    for (IWORD j = 1; j <= n; ++j) B(j, l) = A(j, l);
  // The step of a pinned parameter is 0 (unit row, zero right-hand side,
  // no coupling), so the others move as in the fit with it fixed: the
  // clipped full step would otherwise bend the free ones away from it.
  for (IWORD j = 1; j <= n; ++j) {
    if (!pinned(j, B(j, g))) continue;
    for (IWORD l = 1; l <= n; ++l) B(j, l) = B(l, j) = 0;
    B(j, j) = 1;
    B(j, g) = 0;
  }
  for (IWORD j = 1; j <= n; ++j) B(j, j) += lambda;
  min_pivot_ = HUGE_VAL;
  for (IWORD k = 1; k <= n; ++k) {
    const double piv = B(k, k);
    min_pivot_ = std::min(min_pivot_, std::fabs(piv));
    if (piv == 0 || std::isnan(piv)) return false;
    for (IWORD l = k + 1; l <= n + 1; ++l) B(k, l) /= piv;
    for (IWORD i = 1; i <= n; ++i) {
      if (i == k) continue;
      const double f = B(i, k);
      if (f == 0) continue;
      for (IWORD l = k + 1; l <= n + 1; ++l) B(i, l) -= f * B(k, l);
    }
  }
  return true;
}

void Ys::trial_step(double lambda) {
  const IWORD g = ic(kGradCol), sc = ic(kStepCol);
  rc(11) = lambda;
  for (IWORD j = 1; j <= n; ++j) B(j, g) = A(j, g);
  if (!eliminate(lambda)) {
    ic(kKind) = -1;
    ic(kStatus) = -7;
    return;
  }
  double gd = 0, dd = 0;
  for (IWORD j = 1; j <= n; ++j) {
    const double delta = B(j, g) / A(j, sc);
    const double xt = std::max(xlow(j), std::min(xup(j), xacc(j) + delta));
    trial(j) = xt;
    B(j, sc) = xt - xacc(j);
    gd += A(j, g) * delta * A(j, sc);
    dd += delta * delta;
  }
  rc(12) = dd;
  rc(13) = gd;
  // Cosine of the angle between the gradient and the unclipped step; with a
  // zero gradient or step the angle is taken as 0.
  const double den = std::sqrt(rc(10) * dd);
  const double cosg = den > 0 ? gd / den : 1.0;
  const double c = std::min(std::fabs(cosg), 1.0);
  rc(14) = c;
  double gam = std::acos(c) * 180.0 / kPi;
  ic(kCosSign) = cosg < 0 ? 1 : 0;
  if (cosg < 0) gam = 180.0 - gam;
  st(2) = gam;
  // A trial that the bounds clip back onto the accepted point, or that lies
  // below the resolution of the parameters, cannot lower the sum of squares:
  // the fit ends, converged where the first-order conditions hold.
  bool moves = false;
  for (IWORD j = 1; j <= n; ++j) moves = moves || B(j, sc) != 0;
  if (!moves) {
    for (IWORD j = 1; j <= n; ++j) x(j) = xacc(j);
    set_return(-1, converged_status());
    return;
  }
  for (IWORD j = 1; j <= n; ++j) x(j) = trial(j);
  set_return(4, ic(kStatus));
}

// First-order test at the point just accepted: the undamped (Gauss-Newton)
// step from there, with the last Jacobian and the new residuals, clipped to
// the bounds, moves no parameter by more than the tolerance, or predicts a
// decrease of S below its rounding level.  A small step
// taken with a large lambda says nothing about the gradient; this test does.
bool Ys::stationary() {
  const IWORD g = ic(kGradCol), sc = ic(kStepCol);
  const double eps = rc(8), tau = rc(7);
  for (IWORD j = 1; j <= n; ++j) {
    // As in the normal equations: a parameter without effect has no gradient.
    double s = 0, d = 0;
    if (active(j)) {
      for (IWORD i = 1; i <= m; ++i) {
        s += (ymeas(i) - ycalc(m + i)) * jac(i, j);
        d += jac(i, j) * jac(i, j);
      }
    }
    B(j, g) = d > 1e-20 ? s / A(j, sc) : 0.0;
    B(j, sc) = B(j, g);
  }
  if (!eliminate(0.0)) return false;
  // The decrease that the full step predicts, g*' d*: below the rounding
  // level of S, no step can do better.
  double pred = 0;
  for (IWORD j = 1; j <= n; ++j) pred += B(j, sc) * B(j, g);
  if (pred <= kPredRound * st(1)) return true;
  for (IWORD j = 1; j <= n; ++j) {
    if (!active(j)) continue;
    const double x = xacc(j);
    const double xt = std::max(xlow(j), std::min(xup(j), x + B(j, g) / A(j, sc)));
    if (!(eps >= std::fabs(xt - x) / (std::fabs(x) + tau))) return false;
  }
  return true;
}

// True when a parameter has grown beyond kRunaway times its typical
// magnitude at the start along a growth that has lost its effect on the
// values, by the last Jacobian (the engines' test of the growth; a
// parameter that has lost its own effect is caught as saturated): a limit
// of the model at infinity, not a fit.  Only the magnitude of the start is
// kept, so a parameter's growth is taken as that of its magnitude,
// sign(x) max(0, |x| - |x0|): exact for a parameter that kept its sign,
// within 2e-4 of it for one that ran off.
bool Ys::ran_off() {
  bool away = false;
  for (IWORD j = 1; j <= n; ++j) away = away || std::fabs(xacc(j)) > kRunaway * typ(j);
  if (!away) return false;
  auto growth = [&](IWORD j) {
    const double x = xacc(j);
    return std::copysign(std::max(0.0, std::fabs(x) - (typ(j) - 0.01)), x);
  };
  // A fixed parameter neither moves nor has a column.
  double dhd = 0, sep = 0;
  for (IWORD i = 1; i <= m; ++i) {
    double v = 0;
    for (IWORD j = 1; j <= n; ++j)
      if (active(j)) v += jac(i, j) * growth(j);
    dhd += v * v;
  }
  for (IWORD j = 1; j <= n; ++j) {
    if (!active(j)) continue;
    double c = 0;
    for (IWORD i = 1; i <= m; ++i) c += jac(i, j) * jac(i, j);
    sep += growth(j) * growth(j) * c;
  }
  return orvika::growth_flat(dhd, sep);
}

// Status of a fit that stops at a stationary point: 0, or -1 when the point
// is no fit (not stationary, parameters that the values do not determine
// separately, or a parameter ran off to a limit at infinity).
IWORD Ys::converged_status() {
  // Values that are not finite fit nothing, whatever the step tests say.
  if (!std::isfinite(st(1))) return -1;
  if (!stationary()) return -1;
  // The undamped elimination of the scaled normal matrix (unit diagonal)
  // met a pivot at the rounding level: some combination of the parameters
  // has no effect on the values there (two terms of the model have become
  // one, say), a stationary point of a smaller model, not a fit.
  if (min_pivot_ <= kDependent) return -1;
  if (ran_off()) return -1;
  // A parameter whose effect on the values is nonzero but below the rounding
  // of the data has driven the model into saturation (a limit, not a fit).
  double size = 0;
  for (IWORD i = 1; i <= m; ++i) size += ymeas(i) * ymeas(i);
  for (IWORD j = 1; j <= n; ++j) {
    if (!active(j)) continue;
    double c = 0;
    for (IWORD i = 1; i <= m; ++i) c += jac(i, j) * jac(i, j);
    // A column that is not finite has told nothing about the parameter.
    if (!std::isfinite(c)) return -1;
    // No effect at all counts only for a parameter that has left its start.
    if (orvika::saturating(xacc(j), typ(j), c, !(std::fabs(xacc(j)) + 0.01 == typ(j)), size))
      return -1;
  }
  return 0;
}

// The lambda that the next iteration starts from (its first trial takes it
// divided by nu), after a step taken with LAMBDA that lowered S by ACTUAL.
// The linear model of the step predicts the decrease 2 g*'d* - d*'A*d*
// (scaled step d* of the actual, clipped step).  The gain ratio rho of the
// two steers lambda smoothly: a step that did what its model said lowers it
// by up to kLamDown, one that gained little raises it (up to twice), so the
// damping settles where the steps work instead of swinging by nu between
// a trial that fails and one that is taken.
double Ys::next_lambda(double actual, double lambda) {
  const IWORD g = ic(kGradCol), sc = ic(kStepCol);
  double pred = 0;
  for (IWORD j = 1; j <= n; ++j) {
    const double dj = B(j, sc) * A(j, sc);
    double ad = 0;
    for (IWORD l = 1; l <= n; ++l) ad += A(j, l) * B(l, sc) * A(l, sc);
    pred += 2 * A(j, g) * dj - dj * ad;
  }
  if (!(pred > 0)) return lambda;
  const double t = 2 * actual / pred - 1;
  return lambda * rc(6) * std::max(kLamDown, 1 - t * t * t);
}

void Ys::decide() {
  const double s = evaluate();
  const double lambda = rc(11);
  if (exact_) {
    accept(s, lambda);
    set_return(-1, 0);
    return;
  }
  if (s < st(1)) {
    const double eps = rc(8), tau = rc(7);
    IWORD k = 0;
    for (IWORD j = 1; j <= n; ++j)
      if (eps < std::fabs(B(j, ic(kStepCol))) / (std::fabs(xacc(j)) + tau)) ++k;
    const double carry = next_lambda(st(1) - s, lambda);
    accept(s, lambda);
    st(6) = carry;
    const double gam = st(2);
    if (k == 0) {
      // Converged only where the first-order conditions hold; otherwise the
      // short step came from the damping, and the fit goes on (the next
      // iteration starts with a smaller lambda).  Parameters that have run
      // off by orders of magnitude beyond their start along a growth without
      // effect have followed the model to a limit at infinity, where the
      // conditions hold only asymptotically: that is a failure, not a fit.
      if (!stationary())
        set_return(5, 1);
      else
        set_return(-1, converged_status());
    } else if (lambda > 1 && gam > 90) {
      set_return(-1, -1);
    } else {
      set_return(5, k);
    }
    return;
  }
  const double nu = rc(6);
  if (ic(kTrials) == 2) {
    ic(kTrials) = 3;
    trial_step(lambda * nu);
    return;
  }
  if (lambda < kLamMax) {
    trial_step(lambda * nu);
    return;
  }
  // No lambda lowers the sum of squares: the fit ends at the last accepted
  // point, with its model values (the rejected trial is dropped).  That
  // point may be the solution already (a step accepted with parameters still
  // moving can land on it, and from there nothing lowers S but rounding):
  // it is judged by the first-order test, failed when that does not hold.
  for (IWORD j = 1; j <= n; ++j) x(j) = xacc(j);
  for (IWORD i = 1; i <= m; ++i) ycalc(i) = ycalc(m + i);
  set_return(-1, converged_status());
}

}  // namespace

/* ORVK_YSOLVE: minimises S = sum_i (Y_i(X) - YMEAS_i)^2 over XLOW <= X <= XUP
 * by Marquardt's method, asking the caller for model values and derivative
 * columns by reverse communication.  All arguments by address.
 *
 *   N      in      IWORD        number of parameters.
 *   M      in      IWORD        number of measured values.
 *   ICTL   in/out  IWORD(26)    word 1 request code, word 2 kind, word 3 status
 *                               (below), word 4 the parameter of a column request;
 *                               other words state, handed back as they are.
 *   RCTL   in/out  real(16)     words 1-5 options (nu, lambda, tau, eps, phimin;
 *                               nu <= 1 means 10), 6-16 state.
 *   X      in/out  real(2N)     point to evaluate; X(N+1..2N) the accepted point.
 *   PMODE  in      real(N)      < 0 caller's derivative column, > 0 or NaN
 *                               forward difference, 0 fixed.
 *   XUP, XLOW in   real(N)      bounds.
 *   YMEAS  in      real(M)      measured values.
 *   YCALC  in/out  real(2M)     model values at X; YCALC(M+1..2M) at the accepted point.
 *   DYDX   in      real(M)      the derivative column asked for by code 2.
 *   STAT   in/out  real(6)      S, angle (degrees), calls, evaluations, columns, lambda
 *                               carried into the next iteration: the first trial of an
 *                               iteration uses it divided by nu (after request 1 the
 *                               starting lambda; after an accepted step lambda nu times
 *                               a factor in [1/3, 2] by the step's gain ratio).
 *   WORK   work    real(N*M + 2N + M)  Jacobian and saved vectors.
 *   ANORM, ASYS work real(N*(N+2))     normal matrix, damped system and step.
 *
 * Request codes (ICTL(1)): the caller sets 1 to start, then passes back what
 * it got: 2 derivative column of parameter ICTL(4) into DYDX, 3 and 4 model
 * values at X(1..N) into YCALC(1..M), 5 call again, -1 done.  Kind (ICTL(2)):
 * 1 column, 0 values, -1 nothing.
 * Status (ICTL(3)): N started, k > 0 step accepted with k parameters still
 * moving, 0 converged, -1 failed, -2 fewer values than varied parameters,
 * -3 nothing to vary, -5 bad code or state words, -6 X outside the bounds,
 * -7 zero pivot.
 * Status 0 means a first-order point: the values fit to rounding, or the
 * undamped step from the accepted point moves no parameter by more than eps
 * relative or predicts a decrease below the rounding of S.  A short damped
 * step is no convergence (the fit goes on); a stationary point where a
 * parameter has grown beyond 1e4 (|X0| + 0.01) (X0 its start) along a growth
 * that has lost its effect on the values, or a parameter has lost all effect
 * on them (limits of the model), or where some combination of the
 * parameters has none (a pivot of the scaled normal matrix at the rounding
 * level, 1e-13) ends with -1, as does the lambda limit, which returns the
 * last accepted point and its values.  A step that the bounds clip to nothing
 * (or below the resolution of X) ends the fit without an evaluation, with
 * that same test.
 * Cost: O(M N^2 + N^3) per iteration. */
extern "C" ORVK_API void ORVK_YSOLVE(const IWORD* N, const IWORD* M, IWORD* ICTL, double* RCTL,
                                     double* X, const double* PMODE, const double* XUP,
                                     const double* XLOW, const double* YMEAS, double* YCALC,
                                     const double* DYDX, double* STAT, double* WORK,
                                     double* ANORM, double* ASYS) {
  Ys y{*N, *M, ICTL, RCTL, X, PMODE, XUP, XLOW, YMEAS, YCALC, DYDX, STAT, WORK, ANORM, ASYS};
  const IWORD n = y.n, m = y.m;
  const IWORD code = ICTL[0];
  auto finish = [&] { STAT[2] += 1; };
  auto refuse = [&](IWORD status) {
    y.ic(kKind) = -1;
    y.ic(kStatus) = status;
    finish();
  };
  if (code < 1 || code > 5) return refuse(-5);
  // A continuing call needs the partition of the start call and, for codes
  // 2 and 3, the parameter whose column is under way.
  if (code > 1) {
    if (n < 1 || m < 0 || y.ic(kGradCol) != n + 1 || y.ic(kStepCol) != n + 2 ||
        y.ic(kOffTrial) != n * m || y.ic(kOffTyp) != n * m + n || y.ic(kOffY) != n * m + 2 * n)
      return refuse(-5);
    if ((code == 2 || code == 3) && (y.ic(kParam) < 1 || y.ic(kParam) > n)) return refuse(-5);
    if (code == 3 && RCTL[15] == 0) return refuse(-5);
  }
  for (IWORD j = 1; j <= n; ++j)
    if (!(y.xlow(j) <= y.x(j) && y.x(j) <= y.xup(j))) return refuse(-6);

  switch (code) {
    case 1: {
      STAT[0] = STAT[1] = STAT[2] = 0;
      STAT[3] = 1;
      STAT[4] = 0;
      for (IWORD j = 1; j <= n; ++j) y.x(n + j) = y.x(j);
      for (IWORD i = 1; i <= m; ++i) y.ycalc(m + i) = y.ycalc(i);
      const double nu = RCTL[0] > 1 ? RCTL[0] : 10.0;
      const double lam = RCTL[1] > 0 ? RCTL[1] : 0.01;
      const double tau = RCTL[2] > 0 ? RCTL[2] : 0.001;
      const double eps = RCTL[3] > 0 ? RCTL[3] : 2e-5;
      const double phimin = RCTL[4] > 0 ? RCTL[4] : 0.0;
      RCTL[5] = nu;
      RCTL[6] = tau;
      RCTL[7] = eps;
      RCTL[8] = phimin;
      STAT[5] = lam;
      y.ic(kGradCol) = n + 1;
      y.ic(kStepCol) = n + 2;
      y.ic(kOffTrial) = n * m;
      y.ic(kOffTyp) = n * m + n;
      y.ic(kOffY) = n * m + 2 * n;
      y.ic(kTrials) = 1;
      y.ic(kHaveJac) = 0;
      y.ic(kParam) = 0;
      IWORD nvar = 0;
      for (IWORD j = 1; j <= n; ++j)
        if (y.active(j)) ++nvar;
      if (n <= 0 || nvar == 0) {
        y.set_return(-1, -3);
      } else if (nvar > m) {
        y.set_return(-1, -2);
      } else {
        y.start_evaluation();
      }
      break;
    }
    case 2: {
      const IWORD j = y.ic(kParam);
      for (IWORD i = 1; i <= m; ++i) y.jac(i, j) = y.dydx(i);
      STAT[4] += 1;
      y.jacobian_from(j + 1);
      break;
    }
    case 3: {
      const IWORD j = y.ic(kParam);
      const double h = RCTL[15];
      for (IWORD i = 1; i <= m; ++i) y.jac(i, j) = (y.ycalc(i) - y.ycalc(m + i)) / h;
      STAT[3] += 1;
      y.jacobian_from(j + 1);
      break;
    }
    case 4:
      y.decide();
      break;
    case 5:
      if (STAT[2] == 0) {
        y.start_evaluation();
      } else {
        y.ic(kTrials) = 2;
        if (STAT[0] < RCTL[8] && y.ic(kHaveJac) == 1)
          y.normal_equations();
        else
          y.jacobian_from(1);
      }
      break;
  }
  finish();
}
