// Derivative twins of the spline chain: G_ORVK_SMCRV (exported) and the
// internal G_ORVK_SPLINE, G_ORVK_SPLN2I, G_ORVK_SPLN2D, G_ORVK_SPLN2C and
// G_ORVK_SPLN2E.  They form the coefficients of their plain routines and
// their derivatives with respect to the abscissae X along G_P directions;
// the ordinates are constants.  The bodies are those of the plain routines
// (spline_impl.hpp) on forward-mode numbers.

#include "frame/views.hpp"
#include "orvika/scalar_curves.h"
#include "scalar/curves.hpp"
#include "scalar/gnum.hpp"
#include "scalar/spline_impl.hpp"
#include "scalar/twin.hpp"

namespace orvika {
namespace {

// Derivative column of element I (1-based) of an array with leading
// dimension LD; no address is formed when no direction is used.
inline const double* gcol(const double* g, IWORD i, IWORD ld, IWORD np) {
  return np > 0 ? g + (i - 1) * ld : nullptr;
}
inline double* gcol(double* g, IWORD i, IWORD ld, IWORD np) {
  return np > 0 ? g + (i - 1) * ld : nullptr;
}

// Coefficient arrays of G_ORVK_SPLINE and G_ORVK_SMCRV.
struct SplineTwinArrays {
  using Num = GNum;
  IWORD g_p, np;
  const double* x;
  const double* g_x;
  IWORD ldg_x;
  double* c;
  double* g_c;
  IWORD ldg_c;
  GNum X(IWORD i) const { return GNum::load(x[i - 1], gcol(g_x, i, ldg_x, np), np); }
  GNum C(IWORD w) const { return GNum::load(c[w - 1], gcol(g_c, w, ldg_c, np), np); }
  void setC(IWORD w, const GNum& v) const {
    c[w - 1] = v.v;
    v.store_g(gcol(g_c, w, ldg_c, np), np);
  }
  void spln2i(IWORD n, const double* y) const {
    G_ORVK_SPLN2I(g_p, n, y, x, g_x, ldg_x, c, g_c, ldg_c);
  }
};

// Node derivatives of G_ORVK_SPLN2D at stride INCR.
struct NodeSlopesTwin {
  using Num = GNum;
  IWORD g_p, np;
  const double* x;
  const double* g_x;
  IWORD ldg_x;
  double* d;
  double* g_d;
  IWORD ldg_d;
  IWORD incr;
  GNum X(IWORD i) const { return GNum::load(x[i - 1], gcol(g_x, i, ldg_x, np), np); }
  void setD(IWORD i, const GNum& v) const {
    const IWORD e = 1 + (i - 1) * incr;
    d[e - 1] = v.v;
    v.store_g(gcol(g_d, e, ldg_d, np), np);
  }
  // The secants are passed with their static-vector leading dimension.
  double sign(const GNum& a, const GNum& b) const {
    return G_ORVK_SPLN2E(g_p, a.v, a.g, kGLd, b.v, b.g, kGLd);
  }
};

}  // namespace

void G_ORVK_SPLINE(IWORD g_p, IWORD n, const double* y, const double* x, const double* g_x,
                   IWORD ldg_x, double* c, double* g_c, IWORD ldg_c, IWORD mode) {
  if (!g_check_limit(g_p, kGPmax)) return;
  spline_detail::spline(SplineTwinArrays{g_p, g_dirs(g_p), x, g_x, ldg_x, c, g_c, ldg_c}, n, y,
                        mode);
}

void G_ORVK_SPLN2I(IWORD g_p, IWORD n, const double* y, const double* x, const double* g_x,
                   IWORD ldg_x, double* c, double* g_c, IWORD ldg_c) {
  if (!g_check_limit(g_p, kGPmax)) return;
  if (n < 2) return;
  const IWORD np = g_dirs(g_p);
  IWORD nchg = 0;
  const IWORD w0 = 3 * n - 3;  // word of D(1) in C
  G_ORVK_SPLN2D(g_p, n, x, g_x, ldg_x, y, c + (w0 - 1), gcol(g_c, w0, ldg_c, np), ldg_c, 1, nchg);
  const Vec1<const double> xv(x), yv(y);
  const Vec1<double> cv(c);
  for (IWORD i = 1; i <= n - 1; ++i) {
    const IWORD wd = w0 + i - 1;
    G_ORVK_SPLN2C(g_p, xv.at(i), gcol(g_x, i, ldg_x, np), ldg_x, xv.at(i + 1),
                  gcol(g_x, i + 1, ldg_x, np), ldg_x, yv(i), yv(i + 1), cv.at(wd),
                  gcol(g_c, wd, ldg_c, np), ldg_c, cv.at(wd + 1), gcol(g_c, wd + 1, ldg_c, np),
                  ldg_c, cv.at(4 * i - 3), gcol(g_c, 4 * i - 3, ldg_c, np), ldg_c,
                  cv.at(4 * i - 2), gcol(g_c, 4 * i - 2, ldg_c, np), ldg_c, cv.at(4 * i - 1),
                  gcol(g_c, 4 * i - 1, ldg_c, np), ldg_c, cv.at(4 * i),
                  gcol(g_c, 4 * i, ldg_c, np), ldg_c);
  }
}

void G_ORVK_SPLN2D(IWORD g_p, IWORD n, const double* x, const double* g_x, IWORD ldg_x,
                   const double* f, double* d, double* g_d, IWORD ldg_d, IWORD incr,
                   IWORD& nchg) {
  if (!g_check_limit(g_p, kGPmax)) return;
  if (n < 2 || incr < 1) {
    nchg = 0;
    return;
  }
  // With the stride, element 1 + (i-1) INCR of D has derivative column of
  // the same number.
  spline_detail::spln2d(NodeSlopesTwin{g_p, g_dirs(g_p), x, g_x, ldg_x, d, g_d, ldg_d, incr}, n,
                        f, incr, nchg);
}

void G_ORVK_SPLN2C(IWORD g_p, const double* x1, const double* g_x1, IWORD, const double* x2,
                   const double* g_x2, IWORD, double f1, double f2, const double* d1,
                   const double* g_d1, IWORD, const double* d2, const double* g_d2, IWORD,
                   double* c0, double* g_c0, IWORD, double* c1, double* g_c1, IWORD, double* c2,
                   double* g_c2, IWORD, double* c3, double* g_c3, IWORD) {
  if (!g_check_limit(g_p, kGPmax)) return;
  const IWORD np = g_dirs(g_p);
  const GNum a1 = GNum::load(*x1, g_x1, np), a2 = GNum::load(*x2, g_x2, np);
  const GNum s1 = GNum::load(*d1, g_d1, np), s2 = GNum::load(*d2, g_d2, np);
  GNum r0, r1, r2, r3;
  spline_detail::spln2c(a1, a2, f1, f2, s1, s2, r0, r1, r2, r3);
  *c0 = r0.v;
  r0.store_g(g_c0, np);
  *c1 = r1.v;
  r1.store_g(g_c1, np);
  *c2 = r2.v;
  r2.store_g(g_c2, np);
  *c3 = r3.v;
  r3.store_g(g_c3, np);
}

double G_ORVK_SPLN2E(IWORD g_p, double a, const double*, IWORD, double b, const double*, IWORD) {
  if (!g_check_limit(g_p, kGPmax)) return 0.0;
  return ORVK_SPLN2E(&a, &b);
}

}  // namespace orvika

using namespace orvika;

// G_ORVK_SMCRV: ORVK_SMCRV with the derivatives of the coefficients with
// respect to the abscissae.
//
//  G_P   (in)                 number of directions, at most 100 (<= 0:
//                             values only, no derivative touched)
//  N, Y, X, C, MODE           as ORVK_SMCRV (C out)
//  G_X   (in)  real(LDG_X, N) derivatives of X: G_X(k, i) along direction k
//  LDG_X (in)                 leading dimension of G_X (>= G_P)
//  G_C   (out) real(LDG_C, 4(N-1)) derivatives of the coefficients, column
//                             4(i-1) + j for C(j, i); rows G_P+1.. untouched
//  LDG_C (in)                 leading dimension of G_C (>= G_P)
//
// With G_P > 0 and LDG_X or LDG_C below G_P, the coefficients are those of
// ORVK_SMCRV and neither G_X nor G_C is read or written.
// The coefficient values equal those of ORVK_SMCRV bit for bit.  G_P above
// 100 writes " Parameter g_p_ is greater than g_pmax_" on unit 6 and stops
// the process.  Cost: O(N * G_P).
extern "C" ORVK_API void G_ORVK_SMCRV(const IWORD* g_p_, const IWORD* N, const double* Y,
                                      const double* X, const double* g_X, const IWORD* ldg_X,
                                      double* C, double* g_C, const IWORD* ldg_C,
                                      const IWORD* MODE) {
  const IWORD g_p = *g_p_;
  if (!g_check_limit(g_p, kGPmax)) return;
  const IWORD np = g_dirs(g_p);
  if (np > 0 && (*ldg_X < np || *ldg_C < np)) {
    // Columns of G_X or G_C shorter than G_P would overlap and reach past
    // the ends of the arrays: the values only, no derivative touched.
    ORVK_SMCRV(N, Y, X, C, MODE);
    return;
  }
  G_ORVK_SPLINE(g_p, *N, Y, X, g_X, *ldg_X, C, g_C, *ldg_C, *MODE);
  spline_detail::smcrv_repair(
      SplineTwinArrays{g_p, g_dirs(g_p), X, g_X, *ldg_X, C, g_C, *ldg_C}, *N, Y, *MODE);
}
