// Quasi-Newton updates: damped BFGS (ORVK_BFGS1), symmetric rank-2 update with a
// chosen scaling vector (ORVK_GUPDAT), and the DFP/BFGS inverse update with the
// search direction and the perturbation sweep (ORVK_DFPBFS).
//
// Reference: M. J. D. Powell, A fast algorithm for nonlinearly constrained
// optimization calculations, Lecture Notes in Math. 630 (1978) (damping);
// J. E. Dennis, R. B. Schnabel, Numerical Methods for Unconstrained
// Optimization and Nonlinear Equations (1983), ch. 9 (the update family).
#include <cmath>
#include <limits>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dense.hpp"
#include "frame/views.hpp"
#include "orvika/kernels_sparse.h"
#include "qp/qp.hpp"

namespace {

using orvika::Mat1;
using orvika::Vec1;

constexpr IWORD kBfgsMax = 60;
constexpr IWORD kGupdMax = 20;

double g_theta = 0;          // damping factor of ORVK_BFGS1, kept between calls
double g_c[kGupdMax] = {};   // scaling vector of ORVK_GUPDAT, kept between calls

double dot(IWORD n, const double* x, const double* y) {
  const IWORD z = 0;
  return ORVK_DINNER(&n, &z, x, &z, y);
}

void refuse(IWORD unit, const char* name, IWORD limit) {
  orvika::write_empty(unit);
  orvika::write_rec(unit, orvika::Rec().X(4).A(name).A(": N EXCEEDS").I(limit, 4).A(
                              ", MATRIX NOT UPDATED"));
}

}  // namespace

/* ORVK_BFGS1: damped BFGS update of a Hessian approximation,
 *   B := B + eta eta'/(eta's) - (Bs)(Bs)'/(s'Bs),  eta = theta y + (1 - theta) Bs.
 *
 *   N       in      IWORD          order, 1 <= N <= 60.
 *   S, Y    in      real (N)       step and gradient change.
 *   B       in/out  real (N, N)    symmetric, column-major, updated in place.
 *   IDAMP   in      IWORD          0 no damping (theta = 1); 1 Powell damping
 *                                  (theta = 0.8 s'Bs/(s'Bs - y's) when y's < 0.2 s'Bs);
 *                                  other values keep the theta of the previous call.
 *   IOUT    in      IWORD          dump unit.
 *   IPRINT  in      IWORD          > 2: dumps of s, Bs, y's, s'Bs, theta, eta, eta's.
 * Both inner products carry an offset 1e-12.  B is left unchanged when N > 60
 * (with a message), and when a denominator is zero or a value not finite; such
 * a call keeps the theta of the previous call.  Where the products of the
 * update overflow, its terms are formed from the quotients first.
 * Cost: O(N^2). */
extern "C" ORVK_API void ORVK_BFGS1(const IWORD* N, const double* S, const double* Y, double* B,
                                    const IWORD* IDAMP, const IWORD* IOUT, const IWORD* IPRINT) {
  const IWORD n = *N;
  if (n < 1) return;
  if (n > kBfgsMax) {
    refuse(*IOUT, "ORVK_BFGS1", kBfgsMax);
    return;
  }
  double as[kBfgsMax], eta[kBfgsMax];
  orvika::MTVMUL(n, n, 0, B, 0, S, 0, as);
  const double yts = dot(n, Y, S) + 1e-12;
  const double stas = dot(n, S, as) + 1e-12;
  double theta = g_theta;
  if (yts >= 0.2 * stas || *IDAMP == 0) {
    theta = 1.0;
  } else if (*IDAMP == 1) {
    if (stas - yts == 0) return;
    theta = 0.8 * stas / (stas - yts);
  }
  // A call whose data give no finite damping factor leaves B as it
  // was and keeps the factor of the previous call for the next one.
  if (std::isfinite(theta)) g_theta = theta;
  for (IWORD k = 0; k < n; ++k) eta[k] = theta * Y[k] + (1.0 - theta) * as[k];
  const double etats = dot(n, eta, S) + 1e-12;
  const IWORD ip = *IPRINT, unit = *IOUT;
  if (ip > 2) {
    orvika::qp_detail::dump_r(unit, n, 0, S, "S         ");
    orvika::qp_detail::dump_r(unit, n, 0, as, "AS        ");
    orvika::qp_detail::dump_sr(unit, yts, "YTS       ");
    orvika::qp_detail::dump_sr(unit, stas, "STAS      ");
    orvika::qp_detail::dump_sr(unit, theta, "THETA     ");
    orvika::qp_detail::dump_r(unit, n, 0, eta, "ETA       ");
    orvika::qp_detail::dump_sr(unit, etats, "ETATS     ");
  }
  if (stas == 0 || etats == 0 || !std::isfinite(stas) || !std::isfinite(etats)) return;
  for (IWORD i = 0; i < n; ++i)
    for (IWORD k = 0; k < n; ++k) {
      double inc = eta[k] * eta[i] / etats - as[k] * as[i] / stas;
      // A product past the range: the same terms from the quotients first.
      if (!std::isfinite(inc)) inc = eta[k] * (eta[i] / etats) - as[k] * (as[i] / stas);
      B[k + i * n] += inc;
    }
}

/* ORVK_GUPDAT: symmetric rank-2 update with scaling vector c,
 *   A := A + (r c' + c r')/d - (r's) c c'/d^2,  r = y - As,  d = c's + 1e-12,
 * so that A s = y afterwards (exactly, up to the offset of d).
 *
 *   N       in      IWORD          order, 1 <= N <= 20.
 *   S, Y    in      real (N)       step and gradient change.
 *   M       in      real (N, N)    used when word 51 of ORVK_NLPINT is 2 (c = M's).
 *   A       in/out  real (N, N)    column-major, updated in place.
 *   IOUT, IPRINT in IWORD          dump unit and level (> 2: s, c and A).
 * Word 51: 1 gives c = s (Powell-symmetric-Broyden), 2 c = M's, other values
 * keep c of the previous call (the last finite one: a c that is not finite
 * leaves A unchanged and is not kept).  A is left unchanged when N > 20 (with a
 * message), and when d is zero or not finite.  Where d^2 or the products
 * leave the range, the terms are formed from c/d and e/d.  Cost: O(N^2). */
extern "C" ORVK_API void ORVK_GUPDAT(const IWORD* N, const double* S, const double* Y,
                                     const double* M, double* A, const IWORD* IOUT,
                                     const IWORD* IPRINT) {
  const IWORD n = *N;
  if (n < 1) return;
  if (n > kGupdMax) {
    refuse(*IOUT, "ORVK_GUPDAT", kGupdMax);
    return;
  }
  double as[kGupdMax], r[kGupdMax];
  orvika::MTVMUL(n, n, 0, A, 0, S, 0, as);
  const double one = 1.0, mone = -1.0;
  const IWORD z = 0;
  ORVK_VRADD(&n, &one, &z, Y, &mone, &z, as, &z, r);
  const IWORD mode = orvika::nlpint(ORVK_NLPINT_UPDMODE);
  // A new c that is not finite serves this call (which then leaves A) but is
  // not kept: a later call that keeps c takes the last finite one.
  double cnew[kGupdMax];
  const double* c = g_c;
  if (mode == 1 || mode == 2) {
    if (mode == 1)
      for (IWORD k = 0; k < n; ++k) cnew[k] = S[k];
    else
      orvika::MTVMUL(n, n, 0, M, 0, S, 0, cnew);
    bool finite = true;
    for (IWORD k = 0; k < n; ++k) finite = finite && std::isfinite(cnew[k]);
    if (finite)
      for (IWORD k = 0; k < n; ++k) g_c[k] = cnew[k];
    else
      c = cnew;
  }
  const IWORD ip = *IPRINT, unit = *IOUT;
  if (ip > 2) {
    orvika::qp_detail::dump_r(unit, n, 0, S, "S         ");
    orvika::qp_detail::dump_r(unit, n, 0, c, "Q         ");
  }
  const double d = 1e-12 + dot(n, c, S);
  const double e = dot(n, r, S);
  if (d != 0 && std::isfinite(d) && std::isfinite(e)) {
    // Where d^2 leaves the normal range or a product overflows, the terms
    // are formed from the quotients by d (c_k/d, e/d) instead.
    const double dd = d * d;
    const bool plain = std::isfinite(dd) && dd >= std::numeric_limits<double>::min();
    const double ed = e / d;
    for (IWORD i = 0; i < n; ++i)
      for (IWORD k = 0; k < n; ++k) {
        double inc = plain ? (r[i] * c[k] + r[k] * c[i]) / d - c[k] * e * c[i] / dd : 0.0;
        if (!plain || !std::isfinite(inc)) {
          const double ck = c[k] / d, ci = c[i] / d;
          inc = r[i] * ck + r[k] * ci - ck * ed * c[i];
        }
        A[k + i * n] += inc;
      }
  }
  if (ip > 2) orvika::qp_detail::dump_r(unit, n * n, 0, A, "A BLOCK   ");
}

/* ORVK_DFPBFS: update of an inverse Hessian approximation H by DFP (when
 * s'y < y'Hy) or BFGS (otherwise), with Powell damping, then either the
 * search direction S = -H G or one step of a coordinate perturbation sweep.
 *
 *   L1     in      LWORD       true: leave H unchanged in this call.
 *   L2     in/out  LWORD       true: perturbation sweep in progress; cleared when it ends.
 *   K      in/out  IWORD       sweep counter: <= 0 starts a sweep, otherwise the
 *                              coordinate perturbed by the last call.
 *   N      in      IWORD       dimension.
 *   X      in/out  real (N)    current point (coordinates perturbed and restored).
 *   XOLD   in/out  real (N)    previous point; receives X.
 *   G      in      real (N)    gradient at X.
 *   GOLD   in/out  real (N)    previous gradient; receives G.
 *   S      out     real (N)    the step during the update; on return the direction.
 *   DX     in      real (N)    perturbation of each coordinate.
 *   H      in/out  real (N, N) symmetric, column-major.
 *   YV, HY work    real (N)    y = G - GOLD and H y.
 * Damping (s'y < 0.2 y'Hy, y'Hy > 0): s := theta s + (1 - theta) Hy with
 * theta = 0.8 y'Hy/(y'Hy - s'y).  H is left unchanged when |s'y| < 1e-13, when
 * the DFP denominator |y'Hy| < 1e-13, or when a product is not finite; where
 * the products of the update overflow, its terms are formed from the quotients.
 * A sweep takes N + 1 calls.  Cost: O(N^2). */
extern "C" ORVK_API void ORVK_DFPBFS(const LWORD* L1, LWORD* L2, IWORD* K, const IWORD* N,
                                     double* X, double* XOLD, const double* G, double* GOLD,
                                     double* S, const double* DX, double* H, double* YV,
                                     double* HY) {
  const IWORD n = *N;
  if (n < 1) return;
  const Mat1<double> h(H, n);
  const Vec1<double> x(X), xold(XOLD), s(S);
  const Vec1<const double> dx(DX);
  // OUT := SIGN H V.
  auto hmul = [&](const double* v_, double* out_, double sign) {
    const Vec1<const double> v(v_);
    const Vec1<double> out(out_);
    for (IWORD i = 1; i <= n; ++i) out(i) = 0;
    for (IWORD j = 1; j <= n; ++j)
      for (IWORD i = 1; i <= n; ++i) out(i) += sign * h(i, j) * v(j);
  };
  if (!orvika::is_true(*L1)) {
    for (IWORD i = 0; i < n; ++i) {
      S[i] = X[i] - XOLD[i];
      YV[i] = G[i] - GOLD[i];
    }
    double sy = dot(n, YV, S);
    hmul(YV, HY, 1.0);
    const double c = dot(n, YV, HY);
    if (sy < 0.2 * c && c > 0) {
      const double theta = 0.8 * c / (c - sy);
      for (IWORD i = 0; i < n; ++i) S[i] = theta * S[i] + (1.0 - theta) * HY[i];
      sy = 0.2 * c;
    }
    const bool dfp = sy < c;
    const bool skip = !std::isfinite(sy) || !std::isfinite(c) || std::fabs(sy) < 1e-13 ||
                      (dfp && std::fabs(c) < 1e-13);
    if (!skip) {
      const Vec1<const double> v(HY);
      const double w = 1.0 + c / sy;
      for (IWORD j = 1; j <= n; ++j)
        for (IWORD k = j; k <= n; ++k) {
          const double sk = s(k), sj = s(j), vk = v(k), vj = v(j);
          double upd = dfp ? h(k, j) + sk * sj / sy - vk * vj / c
                           : h(k, j) + ((w * sk - vk) * sj - sk * vj) / sy;
          // A product past the range: the same terms from the quotients first.
          if (!std::isfinite(upd) && std::isfinite(h(k, j)))
            upd = dfp ? h(k, j) + sk * (sj / sy) - vk * (vj / c)
                      : h(k, j) + (w * (sk * (sj / sy)) - vk * (sj / sy)) - sk * (vj / sy);
          h(k, j) = upd;
          h(j, k) = upd;
        }
    }
  }
  if (!orvika::is_true(*L2)) {
    hmul(G, S, -1.0);
    for (IWORD i = 0; i < n; ++i) {
      XOLD[i] = X[i];
      GOLD[i] = G[i];
    }
    return;
  }
  if (*K <= 0) {
    for (IWORD i = 0; i < n; ++i) {
      XOLD[i] = X[i];
      GOLD[i] = G[i];
    }
    *K = 1;
    X[0] = XOLD[0] + DX[0];
    return;
  }
  if (*K <= n) x(*K) = xold(*K);
  if (*K >= n) {
    hmul(GOLD, S, -1.0);
    *L2 = ORVK_FALSE;
    return;
  }
  *K += 1;
  x(*K) = xold(*K) + dx(*K);
}
