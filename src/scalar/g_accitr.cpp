// G_ORVK_ACCITR: derivative twin of the scalar acceleration ORVK_ACCITR.
//
// Same steps, constants and values as ORVK_ACCITR (X := X + T DX with one
// factor T from the last two changes, bounded by the step limit and the
// factor range), with the derivatives of STPMAX, T, X, DX and DXOLD along
// up to 100 directions.  Derivative arrays have the fixed leading
// dimension 100: the derivative of X(i) in direction k is word
// 100 (i-1) + k of G_X.

#include <cmath>

#include "frame/views.hpp"
#include "orvika/scalar_curves.h"
#include "scalar/twin.hpp"

using namespace orvika;

namespace {

// Running maximum V := max(V, |U|) with its derivative (the chosen
// operand's, the mean at a tie; |u| carries the sign of u, + at 0).  The
// operand not chosen contributes nothing, whatever its derivative.
void g_absmax(IWORD np, double& v, double* gv, double u, const double* gu) {
  const double au = std::fabs(u);
  const GPick w = g_pick_max(v, au);
  const double su = g_abs_sign(u);
  for (IWORD k = 0; k < np; ++k) gv[k] = g_weighted(w.wa, gv[k]) + g_weighted(w.wb * su, gu[k]);
  v = std::fmax(v, au);
}

}  // namespace

// G_ORVK_ACCITR: one accelerated step with derivatives.
//
//  G_P      (in)              number of directions, at most 100 (<= 0: values
//                             only; no derivative array is touched)
//  ITER, N, MODE, TMIN, TMAX  as ORVK_ACCITR (passive)
//  STPMAX   (in/out)          as ORVK_ACCITR; G_STPMAX real(100) its derivatives
//  T        (in/out)          as ORVK_ACCITR; G_T real(100) its derivatives
//  X        (in/out) real(N)  as ORVK_ACCITR; G_X real(100, N)
//  DX       (in)     real(N)  as ORVK_ACCITR; G_DX real(100, N)
//  DXOLD    (in/out) real(N)  as ORVK_ACCITR; G_DXOLD real(100, N), out a copy
//                             of G_DX
//
// G_P above 100 writes " PARAMETER G_P_ IS GREATER THAN G_PMAX_" on unit 6
// and stops the process before anything changes.  No status, no work space.
// Cost: O(N * G_P).
// Reference: J. H. Wegstein, Accelerating convergence of iterative
// processes, Comm. ACM 1 (1958) 9-13 (here one factor for all variables).
extern "C" ORVK_API void G_ORVK_ACCITR(const IWORD* g_p_, IWORD* ITER, const IWORD* N,
                                       IWORD* MODE, double* TMIN, double* TMAX, double* STPMAX,
                                       double* g_STPMAX, double* T, double* g_T, double* X,
                                       double* g_X, const double* DX, const double* g_DX,
                                       double* DXOLD, double* g_DXOLD) {
  Vec1<double> x(X), dxold(DXOLD);
  Vec1<const double> dx(DX);
  const IWORD g_p = *g_p_;
  if (!g_check_limit(g_p, kGPmax, kGLimitTextUpper)) return;
  const IWORD np = g_dirs(g_p);
  const IWORD nn = *N;
  // Derivative column of element J (no address formed without directions).
  auto gX = [&](IWORD j) { return np > 0 ? g_X + (j - 1) * kGLd : nullptr; };
  auto gDX = [&](IWORD j) { return np > 0 ? g_DX + (j - 1) * kGLd : nullptr; };
  auto gDXOLD = [&](IWORD j) { return np > 0 ? g_DXOLD + (j - 1) * kGLd : nullptr; };

  *ITER = plus_one(*ITER);  // the count stops at the top, as in ORVK_ACCITR
  double e = 0.0, ge[kGPmax];
  g_clear(np, ge);
  for (IWORD j = 1; j <= nn; ++j) g_absmax(np, e, ge, dx(j), gDX(j));

  double a, ga[kGPmax];
  if (*ITER <= 1) {
    if (*MODE != 1 && *MODE != -1 && *MODE != 2 && *MODE != -2) *MODE = 2;
    if (*TMIN <= 0.0) *TMIN = 1e-4;
    if (*TMIN > *TMAX) *TMAX = 10.0;
    if (*STPMAX < 0.01) {
      double xm = 0.0, gxm[kGPmax];
      g_clear(np, gxm);
      for (IWORD j = 1; j <= nn; ++j) g_absmax(np, xm, gxm, x(j), gX(j));
      const GPick w = g_pick_max(5.0, 0.1 * xm);
      for (IWORD k = 0; k < np; ++k) g_STPMAX[k] = g_weighted(w.wb, 0.1 * gxm[k]);
      *STPMAX = std::fmax(5.0, 0.1 * xm);
    }
    a = *T;
    g_copy(np, g_T, ga);
  } else {
    // The sums f and g and their derivatives, of DX and DXOLD scaled by
    // 2^-K (as in ORVK_ACCITR: the factor and its derivative are ratios that
    // the scaling leaves as they are).
    double f = 0.0, g = 0.0, gf[kGPmax], gg[kGPmax];
    auto sums = [&](int sk) {
      f = 0.0;
      g = 0.0;
      g_clear(np, gf);
      g_clear(np, gg);
      for (IWORD j = 1; j <= nn; ++j) {
        const double dold = std::ldexp(dxold(j), -sk);
        const double change = std::ldexp(dx(j), -sk) - dold;
        const double* gd = gDX(j);
        const double* go = gDXOLD(j);
        if (*MODE == 1) {
          for (IWORD k = 0; k < np; ++k) {
            const double gok = std::ldexp(go[k], -sk);
            const double gc = std::ldexp(gd[k], -sk) - gok;
            gf[k] += change * gok + dold * gc;
            gg[k] += 2.0 * change * gc;
          }
          f += dold * change;
          g += change * change;
        } else {
          for (IWORD k = 0; k < np; ++k) {
            const double gok = std::ldexp(go[k], -sk);
            const double gc = std::ldexp(gd[k], -sk) - gok;
            gf[k] += 2.0 * dold * gok;
            gg[k] += change * gok + dold * gc;
          }
          f += dold * dold;
          g += dold * change;
        }
      }
    };
    sums(0);
    double threshold = 1e-15;
    if (!std::isfinite(f) || !std::isfinite(g)) {
      double big = e;
      for (IWORD j = 1; j <= nn; ++j) big = std::fmax(big, std::fabs(dxold(j)));
      if (std::isfinite(big) && big > 0.0) {
        int sk = 0;
        std::frexp(big, &sk);
        sums(sk);
        threshold = std::ldexp(threshold, -2 * sk);
      }
    }
    if (std::fabs(g) > std::fmin(threshold, 0.001 * std::fabs(f))) {
      const double told = *T;
      a = -f * told / g;
      for (IWORD k = 0; k < np; ++k)
        ga[k] = (-a / g) * gg[k] + (-told / g) * gf[k] + (-f / g) * g_T[k];
      if (*MODE > 0) {
        const double sa = g_abs_sign(a);
        for (IWORD k = 0; k < np; ++k) ga[k] *= sa;
        a = std::fabs(a);
      }
    } else {
      a = 1.0;
      g_clear(np, ga);
    }
  }

  // Step limit: the largest change |a| E at most STPMAX.
  if (e > 0.0 && e * std::fabs(a) > *STPMAX) {
    const double r = *STPMAX / e;
    const double sf = g_sign_factor(r, a);
    for (IWORD k = 0; k < np; ++k)
      ga[k] = g_weighted(sf, (1.0 / e) * g_STPMAX[k] + (-r / e) * ge[k]);
    a = std::copysign(std::fabs(r), a);
  }

  // Factor range [-TMAX, TMAX] (the bounds carry no derivative).
  {
    const GPick lo = g_pick_max(-*TMAX, a);
    const double b = std::fmax(-*TMAX, a);
    const GPick hi = g_pick_min(*TMAX, b);
    for (IWORD k = 0; k < np; ++k) ga[k] = g_weighted(hi.wb, g_weighted(lo.wb, ga[k]));
    a = std::fmin(*TMAX, b);
  }
  // Smallest factor.
  if (std::fabs(a) < *TMIN) {
    a = (a >= 0.0) ? std::fabs(*TMIN) : -std::fabs(*TMIN);
    g_clear(np, ga);
  }

  *T = a;
  g_copy(np, ga, g_T);
  for (IWORD j = 1; j <= nn; ++j) {
    double* gx = gX(j);
    const double* gd = gDX(j);
    for (IWORD k = 0; k < np; ++k) gx[k] = a * gd[k] + dx(j) * ga[k] + gx[k];
    g_copy(np, gd, gDXOLD(j));
    x(j) += a * dx(j);
    dxold(j) = dx(j);
  }
}
