// ORVK_BROYDN, ORVK_BROYDP, ORVK_FBROYD: Broyden rank-one updates for a
// system F(X) = 0 of N equations, one call per iteration.
//
// BROYDN and BROYDP keep H, an approximation of the inverse Jacobian, and
// update it so that H*y = s for the last step s and the change y of F
// ("good" Broyden update of the inverse, optionally damped); the step is
// -H*F.  FBROYD updates B, an approximation of the Jacobian itself, so that
// B*s = y.  Matrices are N x N by columns, element (i,j) at i + (j-1)*N.
//
// Reference: C. G. Broyden, A class of methods for solving nonlinear
// simultaneous equations, Math. Comp. 19 (1965) 577-593.

#include <cmath>

#include "frame/views.hpp"
#include "orvika/tearconv_accel.h"
#include "tearconv/accel.hpp"
#include "tearconv/rms.hpp"

using namespace orvika;

namespace {

// Limit the step DX to a 1-norm of P = 0.75*max(1, ||X||_1), given the two
// 1-norms XNORM and G.  When a norm has overflowed while every element is
// finite, the norms are formed divided by their largest elements, which keeps
// them and the ratio P/G in range.
void broydn_limit_step(IWORD n, const double* X, double* DX, double xnorm, double g) {
  Vec1<const double> x(X);
  Vec1<double> dx(DX);
  if (std::isfinite(g) && std::isfinite(xnorm)) {
    const double p = 0.75 * std::fmax(1.0, xnorm);
    if (g > p) {
      const double scale = p / g;
      for (IWORD i = 1; i <= n; ++i) dx(i) *= scale;
    }
    return;
  }
  if (std::isfinite(g)) return;  // P has overflowed and exceeds G
  double a = 0.0, b = 0.0;
  for (IWORD i = 1; i <= n; ++i) {
    a = std::fmax(a, std::fabs(dx(i)));
    b = std::fmax(b, std::fabs(x(i)));
  }
  if (!std::isfinite(a) || !std::isfinite(b)) return;  // no finite norm to limit by
  double gs = 0.0, xs = 0.0;  // ||DX||_1 / a and ||X||_1 / b
  for (IWORD i = 1; i <= n; ++i) {
    gs += std::fabs(dx(i)) / a;
    if (b > 0.0) xs += std::fabs(x(i)) / b;
  }
  const double bxs = b * xs;
  if (std::isfinite(bxs)) {
    // G overflowed, P did not: DX := (DX/a)*(P/gs) when P/gs < a.
    const double r = 0.75 * std::fmax(1.0, bxs) / gs;
    if (r < a)
      for (IWORD i = 1; i <= n; ++i) dx(i) = (dx(i) / a) * r;
  } else {
    const double scale = 0.75 * (b / a) * (xs / gs);  // P/G
    if (scale < 1.0)
      for (IWORD i = 1; i <= n; ++i) dx(i) *= scale;
  }
}

}  // namespace

// ORVK_BROYDN: Broyden update of the inverse Jacobian and the next step.
//
//  N     (in)              number of variables and equations (N <= 0: nothing)
//  X     (in)     real(N)  current point
//  F     (in)     real(N)  F(X)
//  DX    (out)    real(N)  the step -H*F, scaled so that its 1-norm is at
//                          most 0.75*max(1, ||X||_1)
//  XOLD  (in/out) real(N)  in: point of the previous call; out: X
//  FOLD  (in/out) real(N)  in: F of the previous call; out: F
//  H     (in/out) real(N,N) inverse-Jacobian approximation
//  MODE  (in)              -1 H := -I; 0 no update; 1 update; 2 damped
//                          update; 3 damped update, reset when the damping
//                          factor is below 0.2.  >= 4 acts as 2, <= -2 as 1.
//
// The update is H := H - (lam/M)*(H*y - s)*(H'*s)', s = X - XOLD,
// y = F - FOLD, M = (1 - lam)*s's + lam*s'Hy; a zero M resets H to -I.
// Cost: O(N^2).
extern "C" ORVK_API void ORVK_BROYDN(const IWORD* N, const double* X, const double* F, double* DX,
                                     double* XOLD, double* FOLD, double* H, const IWORD* MODE) {
  const IWORD n = *N;
  if (n <= 0) return;
  Vec1<const double> x(X), f(F);
  Vec1<double> dx(DX), xold(XOLD), fold(FOLD);
  IWORD m = *MODE;
  if (m >= 4) m = 2;
  if (m <= -2) m = 1;

  if (m == -1) {
    broyden_reset(H, n, n);
  } else if (m != 0) {
    // s in DX, y in FOLD; r = H*y - s goes to XOLD and u = H'*s over y.
    for (IWORD i = 1; i <= n; ++i) {
      dx(i) = x(i) - xold(i);
      fold(i) = f(i) - fold(i);
    }
    const BroydenSums sums = broyden_vectors(H, n, n, DX, FOLD, XOLD, F);
    double lambda = 1.0;
    if (m >= 2 && sums.suf < 0.0) lambda = std::fmax(0.1, sums.ss / (sums.ss - sums.suf));
    const double denom = (1.0 - lambda) * sums.ss + lambda * sums.suy;
    if ((m == 3 && lambda < 0.2) || denom == 0.0) {
      broyden_reset(H, n, n);
    } else {
      broyden_rank_one(H, n, n, lambda / denom, XOLD, FOLD);
    }
  }

  broyden_step(H, n, n, F, DX);
  double xnorm = 0.0, g = 0.0;
  for (IWORD i = 1; i <= n; ++i) {
    xold(i) = x(i);
    fold(i) = f(i);
    xnorm += std::fabs(x(i));
    g += std::fabs(dx(i));
  }
  broydn_limit_step(n, X, DX, xnorm, g);
}

// ORVK_BROYDP: damped Broyden update of the inverse Jacobian from the step
// of the previous call, and the next (unlimited) step.
//
//  IFLAG (in)              1: first call, no update; otherwise update H
//  N     (in)              number of variables and equations
//  H     (in/out) real(N,N) inverse-Jacobian approximation
//  RMS   (out)             sqrt(sum F^2 / N) (0 for N <= 0)
//  X     (in)     real(N)  current point, copied to XOLD
//  F     (in)     real(N)  F(X)
//  XOLD  (out)    real(N)  X
//  FOLD  (in/out) real(N)  in: F of the previous call; out: F
//  DX    (in/out) real(N)  in: the previous step s; out: -H*F
//  WORK  (scratch) real(2N)
//
// H := H - c*(H*y - s)*(H'*s)', c = lam/(s's + lam*s'HF), lam = 1, or
// max(0.1, s's/(s's - s'HF)) when s'HF < 0.  A zero step or a zero
// denominator leaves H unchanged.  Cost: O(N^2).
extern "C" ORVK_API void ORVK_BROYDP(const IWORD* IFLAG, const IWORD* N, double* H, double* RMS,
                                     const double* X, const double* F, double* XOLD, double* FOLD,
                                     double* DX, double* WORK) {
  const IWORD n = *N;
  *RMS = 0.0;
  if (n <= 0) return;
  Vec1<const double> x(X), f(F);
  Vec1<double> xold(XOLD), fold(FOLD), dx(DX), U(WORK), R(WORK + n);
  Mat1<double> h(H, n);

  *RMS = rms_of(n, [&](IWORD i) { return f(i); });

  if (*IFLAG != 1) {
    double ss = 0.0, shf = 0.0;
    for (IWORD i = 1; i <= n; ++i) {
      double hy = 0.0, hf = 0.0;
      for (IWORD j = 1; j <= n; ++j) {
        hy += h(i, j) * (f(j) - fold(j));
        hf += h(i, j) * f(j);
      }
      R(i) = hy - dx(i);
      ss += dx(i) * dx(i);
      shf += hf * dx(i);
    }
    for (IWORD j = 1; j <= n; ++j) {
      double u = 0.0;
      for (IWORD i = 1; i <= n; ++i) u += h(i, j) * dx(i);
      U(j) = u;
    }
    double lambda = 1.0;
    if (shf < 0.0) lambda = std::fmax(0.1, ss / (ss - shf));
    const double denom = ss + lambda * shf;
    const double c = (ss > 0.0 && denom != 0.0) ? lambda / denom : 0.0;
    if (ss > 0.0 && std::isfinite(c)) broyden_rank_one(H, n, n, c, WORK + n, WORK);
  }

  broyden_step(H, n, n, F, DX);
  for (IWORD i = 1; i <= n; ++i) {
    fold(i) = f(i);
    xold(i) = x(i);
  }
}

// ORVK_FBROYD: Broyden update of the Jacobian approximation B,
// B := B + (y - B*s)*s'/(s's), s = DX, y = F - FOLD; then FOLD := F.
//
//  N    (in)              size
//  DX   (in)     real(N)  the step just taken
//  F    (in)     real(N)  F at the new point
//  FOLD (in/out) real(N)  in: F at the old point; out: F
//  B    (in/out) real(N,N) Jacobian approximation; unchanged after a zero step
//
// Cost: O(N^2).
extern "C" ORVK_API void ORVK_FBROYD(const IWORD* N, const double* DX, const double* F,
                                     double* FOLD, double* B) {
  const IWORD n = *N;
  if (n <= 0) return;
  Vec1<const double> dx(DX), f(F);
  Vec1<double> fold(FOLD);
  Mat1<double> b(B, n);

  double ss = 0.0;
  for (IWORD j = 1; j <= n; ++j) ss += dx(j) * dx(j);
  if (ss > 0.0 && std::isfinite(ss)) {
    for (IWORD i = 1; i <= n; ++i) {
      double bs = 0.0;
      for (IWORD j = 1; j <= n; ++j) bs += b(i, j) * dx(j);
      const double c = (f(i) - fold(i) - bs) / ss;
      for (IWORD j = 1; j <= n; ++j) b(i, j) += c * dx(j);
    }
  }
  for (IWORD i = 1; i <= n; ++i) fold(i) = f(i);
}
