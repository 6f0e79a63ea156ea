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

using namespace orvika;

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
extern "C" ORVK_API void ORVK_BROYDN(const IWORD* n, const double* x, const double* f,
                                     double* dx, double* xold, double* fold, double* h,
                                     const IWORD* mode) {
  const IWORD nn = *n;
  if (nn <= 0) return;
  Vec1<const double> X(x), F(f);
  Vec1<double> DX(dx), XOLD(xold), FOLD(fold);
  IWORD m = *mode;
  if (m >= 4) m = 2;
  if (m <= -2) m = 1;

  if (m == -1) {
    broyden_reset(h, nn, nn);
  } else if (m != 0) {
    // s in DX, y in FOLD; r = H*y - s goes to XOLD and u = H'*s over y.
    for (IWORD i = 1; i <= nn; ++i) {
      DX(i) = X(i) - XOLD(i);
      FOLD(i) = F(i) - FOLD(i);
    }
    const BroydenSums sums = broyden_vectors(h, nn, nn, dx, fold, xold, f);
    double lambda = 1.0;
    if (m >= 2 && sums.suf < 0.0) lambda = std::fmax(0.1, sums.ss / (sums.ss - sums.suf));
    const double denom = (1.0 - lambda) * sums.ss + lambda * sums.suy;
    if ((m == 3 && lambda < 0.2) || denom == 0.0) {
      broyden_reset(h, nn, nn);
    } else {
      broyden_rank_one(h, nn, nn, lambda / denom, xold, fold);
    }
  }

  broyden_step(h, nn, nn, f, dx);
  double xnorm = 0.0, g = 0.0;
  for (IWORD i = 1; i <= nn; ++i) {
    XOLD(i) = X(i);
    FOLD(i) = F(i);
    xnorm += std::fabs(X(i));
    g += std::fabs(DX(i));
  }
  const double p = 0.75 * std::fmax(1.0, xnorm);
  if (g > p) {
    const double scale = p / g;
    for (IWORD i = 1; i <= nn; ++i) DX(i) *= scale;
  }
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
extern "C" ORVK_API void ORVK_BROYDP(const IWORD* iflag, const IWORD* n, double* h, double* rms,
                                     const double* x, const double* f, double* xold,
                                     double* fold, double* dx, double* work) {
  const IWORD nn = *n;
  *rms = 0.0;
  if (nn <= 0) return;
  Vec1<const double> X(x), F(f);
  Vec1<double> XOLD(xold), FOLD(fold), DX(dx), U(work), R(work + nn);
  Mat1<double> H(h, nn);

  double sumf = 0.0;
  for (IWORD i = 1; i <= nn; ++i) sumf += F(i) * F(i);
  *rms = std::sqrt(sumf / static_cast<double>(nn));

  if (*iflag != 1) {
    double ss = 0.0, shf = 0.0;
    for (IWORD i = 1; i <= nn; ++i) {
      double hy = 0.0, hf = 0.0;
      for (IWORD j = 1; j <= nn; ++j) {
        hy += H(i, j) * (F(j) - FOLD(j));
        hf += H(i, j) * F(j);
      }
      R(i) = hy - DX(i);
      ss += DX(i) * DX(i);
      shf += hf * DX(i);
    }
    for (IWORD j = 1; j <= nn; ++j) {
      double u = 0.0;
      for (IWORD i = 1; i <= nn; ++i) u += H(i, j) * DX(i);
      U(j) = u;
    }
    double lambda = 1.0;
    if (shf < 0.0) lambda = std::fmax(0.1, ss / (ss - shf));
    const double denom = ss + lambda * shf;
    const double c = (ss > 0.0 && denom != 0.0) ? lambda / denom : 0.0;
    if (ss > 0.0 && std::isfinite(c)) broyden_rank_one(h, nn, nn, c, work + nn, work);
  }

  broyden_step(h, nn, nn, f, dx);
  for (IWORD i = 1; i <= nn; ++i) {
    FOLD(i) = F(i);
    XOLD(i) = X(i);
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
extern "C" ORVK_API void ORVK_FBROYD(const IWORD* n, const double* dx, const double* f,
                                     double* fold, double* b) {
  const IWORD nn = *n;
  if (nn <= 0) return;
  Vec1<const double> DX(dx), F(f);
  Vec1<double> FOLD(fold);
  Mat1<double> B(b, nn);

  double ss = 0.0;
  for (IWORD j = 1; j <= nn; ++j) ss += DX(j) * DX(j);
  if (ss > 0.0 && std::isfinite(ss)) {
    for (IWORD i = 1; i <= nn; ++i) {
      double bs = 0.0;
      for (IWORD j = 1; j <= nn; ++j) bs += B(i, j) * DX(j);
      const double c = (F(i) - FOLD(i) - bs) / ss;
      for (IWORD j = 1; j <= nn; ++j) B(i, j) += c * DX(j);
    }
  }
  for (IWORD i = 1; i <= nn; ++i) FOLD(i) = F(i);
}
