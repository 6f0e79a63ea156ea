// G_ORVK_NCONV: derivative twin of the damped Broyden update ORVK_NCONV.
//
// Same update of the inverse-Jacobian approximation H, same step
// DX = -H F and the same handling of missing values (magnitude above 5e34)
// as ORVK_NCONV, with the derivatives of X, F, DX, XOLD, FOLD and H along
// up to 100 directions.  Derivative arrays have the fixed leading
// dimension 100: element i of a vector in direction k at word
// 100 (i-1) + k, element H(i,j) at word 100 ((j-1) N + i-1) + k.
//
// Reference: C. G. Broyden, A class of methods for solving nonlinear
// simultaneous equations, Math. Comp. 19 (1965) 577-593.

#include <cmath>

#include "frame/views.hpp"
#include "orvika/scalar_curves.h"
#include "scalar/twin.hpp"

using namespace orvika;

namespace {

constexpr double kMissing = 5e34;  // magnitudes above this count as missing
constexpr double kCmax = 5e34;     // largest update coefficient
constexpr double kThetaMin = 0.2;  // smallest damping factor of an update

inline bool missing(double v) { return std::fabs(v) > kMissing; }

}  // namespace

// G_ORVK_NCONV: Broyden update and step with derivatives.
//
//  G_P   (in)                number of directions, at most 100 (<= 0: values
//                            only; no derivative array is touched)
//  N     (in)                number of tear variables
//  X     (in)  real(N)       current variables; G_X real(100, N)
//  F     (in)  real(N)       residuals (returned unchanged); G_F real(100, N)
//  DX    (in/out) real(N)    in: the previous step; out: -H F, and F(j) for a
//                            component whose X(j) or F(j) is missing;
//                            G_DX real(100, N)
//  XOLD  (out) real(N)       X on exit (scratch during the update); G_XOLD
//  FOLD  (in/out) real(N)    in: F of the previous call; out: F; G_FOLD
//  H     (in/out) real(N,N)  inverse-Jacobian approximation by columns;
//                            G_H real(100, N, N)
//  IFLAG (in/out)            < 0: H := -I; 0: keep H; >= 1: update H.
//                            A value <= 0 leaves as 4.
//
// An update whose damping factor is below 0.2, whose denominator is 0 or
// whose coefficient exceeds 5e34 resets H to -I (derivatives 0).  G_P above
// 100 writes " PARAMETER G_P_ IS GREATER THAN G_PMAX_" on unit 6 and stops
// the process before anything changes.  No work space.  Cost: O(N^2 * G_P).
// Reference: C. G. Broyden, Math. Comp. 19 (1965) 577-593.
extern "C" ORVK_API void G_ORVK_NCONV(const IWORD* g_p_, const IWORD* N, const double* X,
                                      const double* g_X, double* F, double* g_F, double* DX,
                                      double* g_DX, double* XOLD, double* g_XOLD, double* FOLD,
                                      double* g_FOLD, double* H, double* g_H, IWORD* IFLAG) {
  Vec1<const double> x(X);
  Vec1<double> f(F), dx(DX), xold(XOLD), fold(FOLD);
  const IWORD g_p = *g_p_;
  if (!g_check_limit(g_p, kGPmax, kGLimitTextUpper)) return;
  const IWORD np = g_dirs(g_p);
  const IWORD nn = *N;
  const Mat1<double> h(H, nn);
  // Derivative columns (no address formed without directions).
  auto gv = [&](const double* g, IWORD j) { return np > 0 ? g + (j - 1) * kGLd : nullptr; };
  auto gw = [&](double* g, IWORD j) { return np > 0 ? g + (j - 1) * kGLd : nullptr; };
  auto gH = [&](IWORD i, IWORD j) {
    return np > 0 ? g_H + ((j - 1) * nn + (i - 1)) * kGLd : nullptr;
  };
  auto reset = [&] {
    for (IWORD j = 1; j <= nn; ++j) {
      for (IWORD i = 1; i <= nn; ++i) {
        h(i, j) = 0.0;
        g_clear(np, gH(i, j));
      }
      h(j, j) = -1.0;
    }
  };

  if (*IFLAG <= 0) {
    if (*IFLAG < 0 && nn > 0) reset();
    *IFLAG = 4;
    if (nn <= 0) return;
  } else {
    if (nn <= 0) return;
    // s (in DX) and y = F - FOLD (in FOLD), both 0 where a value is missing.
    for (IWORD j = 1; j <= nn; ++j) {
      if (missing(dx(j)) || missing(f(j)) || missing(fold(j))) {
        dx(j) = 0.0;
        fold(j) = 0.0;
        g_clear(np, gw(g_DX, j));
        g_clear(np, gw(g_FOLD, j));
      } else {
        fold(j) = f(j) - fold(j);
        double* gy = gw(g_FOLD, j);
        const double* gf = gv(g_F, j);
        for (IWORD k = 0; k < np; ++k) gy[k] = gf[k] - gy[k];
      }
    }
    // u = H y - s in XOLD; S = s's.
    double ss = 0.0, gss[kGPmax];
    g_clear(np, gss);
    for (IWORD i = 1; i <= nn; ++i) {
      double hy = 0.0;
      double* gu = gw(g_XOLD, i);
      g_clear(np, gu);
      for (IWORD j = 1; j <= nn; ++j) {
        const double* gh = gH(i, j);
        const double* gy = gv(g_FOLD, j);
        const double hij = h(i, j), yj = fold(j);
        for (IWORD k = 0; k < np; ++k) gu[k] += gh[k] * yj + hij * gy[k];
        hy += hij * yj;
      }
      const double si = dx(i);
      const double* gs = gv(g_DX, i);
      for (IWORD k = 0; k < np; ++k) {
        gu[k] -= gs[k];
        gss[k] += 2.0 * si * gs[k];
      }
      xold(i) = hy - si;
      ss += si * si;
    }
    // v = H' s over y (FOLD); Q = F'v.
    double qf = 0.0, gq[kGPmax];
    g_clear(np, gq);
    for (IWORD j = 1; j <= nn; ++j) {
      double u = 0.0;
      double gvj[kGPmax];
      g_clear(np, gvj);
      for (IWORD i = 1; i <= nn; ++i) {
        const double* gh = gH(i, j);
        const double* gs = gv(g_DX, i);
        const double hij = h(i, j), si = dx(i);
        for (IWORD k = 0; k < np; ++k) gvj[k] += gh[k] * si + hij * gs[k];
        u += hij * si;
      }
      const double fj = f(j);
      const double* gf = gv(g_F, j);
      for (IWORD k = 0; k < np; ++k) gq[k] += gvj[k] * fj + u * gf[k];
      qf += u * fj;
      fold(j) = u;
      g_copy(np, gvj, gw(g_FOLD, j));
    }
    // Damping factor theta, denominator D = S + theta Q, coefficient c.
    double theta = 1.0, gth[kGPmax];
    g_clear(np, gth);
    if (qf < 0.0) {
      const double sq = ss - qf;
      const double w = ss / sq;
      const double wt = (w > 0.0) ? 1.0 : (w == 0.0 ? 0.5 : 0.0);
      for (IWORD k = 0; k < np; ++k)
        gth[k] = wt * ((1.0 / sq - w / sq) * gss[k] + (w / sq) * gq[k]);
      theta = std::fmax(0.0, w);
    }
    const double denom = ss + theta * qf;
    const double c = denom != 0.0 ? theta / denom : 0.0;
    if (theta < kThetaMin || denom == 0.0 || !(c <= kCmax)) {
      reset();
    } else {
      double gc[kGPmax];
      for (IWORD k = 0; k < np; ++k) {
        const double gd = gss[k] + theta * gq[k] + qf * gth[k];
        gc[k] = gth[k] / denom - (c / denom) * gd;
      }
      // H := H - u (c v)'.
      for (IWORD j = 1; j <= nn; ++j) {
        const double vj = fold(j);
        const double cv = c * vj;
        const double* gvj = gv(g_FOLD, j);
        for (IWORD i = 1; i <= nn; ++i) {
          const double ui = xold(i);
          const double* gu = gv(g_XOLD, i);
          double* gh = gH(i, j);
          for (IWORD k = 0; k < np; ++k)
            gh[k] -= cv * gu[k] + ui * (gc[k] * vj + c * gvj[k]);
          h(i, j) -= ui * cv;
        }
      }
    }
  }

  // New step DX = -H F; components with a missing X or F take DX = F.
  for (IWORD i = 1; i <= nn; ++i) {
    xold(i) = x(i);
    fold(i) = f(i);
    dx(i) = 0.0;
    g_copy(np, gv(g_X, i), gw(g_XOLD, i));
    g_copy(np, gv(g_F, i), gw(g_FOLD, i));
    g_clear(np, gw(g_DX, i));
  }
  for (IWORD j = 1; j <= nn; ++j) {
    if (missing(x(j)) || missing(f(j))) continue;
    const double fj = f(j);
    const double* gf = gv(g_F, j);
    for (IWORD i = 1; i <= nn; ++i) {
      const double hij = h(i, j);
      const double* gh = gH(i, j);
      double* gs = gw(g_DX, i);
      for (IWORD k = 0; k < np; ++k) gs[k] -= hij * gf[k] + fj * gh[k];
      dx(i) -= hij * fj;
    }
  }
  for (IWORD j = 1; j <= nn; ++j) {
    if (missing(x(j)) || missing(f(j))) {
      dx(j) = f(j);
      g_copy(np, gv(g_F, j), gw(g_DX, j));
    }
  }
}
