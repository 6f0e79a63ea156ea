// Homotopy functions of the continuation solver, their parameter derivative,
// the scaling of the augmented point (x, lambda) and the pull of a predicted
// point towards its base point inside the bounds.
//
// With d = x - x0 the homotopies are
//   1  F(x) - lambda F0                     -dH/dlambda = F0
//   2  (1 - lambda) F(x) + lambda J0 d      -dH/dlambda = F(x) - J0 d
//   3  (1 - lambda) F(x) + lambda d / (FSCALE XSCALE)   (componentwise)
//   4  F(x, lambda) given by the caller
// so that for types 1-3 the start point x0 lies on H = 0 at lambda = 1.
// Reference: Allgower & Georg, Introduction to Numerical Continuation
// Methods, SIAM 2003, ch. 1 and 11.
#include <algorithm>
#include <cmath>

#include "fcont/fcont_parts.hpp"
#include "frame/views.hpp"

namespace orvika {

namespace {

// T(1..N) += SIGN * J0 (X - X0), J0 sparse (NZ values at IRN/ICN, entries out
// of range passed over) or dense with leading dimension N.
void add_j0d(IWORD n, const double* x, const double* x0, const double* aj0, IWORD istore,
             IWORD nz, const IWORD* irn, const IWORD* icn, double sign, double* t) {
  if (istore == 1) {
    const Vec1<const double> X(x, n), X0(x0, n), AJ0(aj0, nz);
    const Vec1<const IWORD> IRN(irn, nz), ICN(icn, nz);
    const Vec1<double> T(t, n);
    for (IWORD k = 1; k <= nz; ++k) {
      const IWORD i = IRN(k);
      const IWORD j = ICN(k);
      if (i < 1 || i > n || j < 1 || j > n) continue;
      T(i) += sign * ((X(j) - X0(j)) * AJ0(k));
    }
  } else {
    for (IWORD j = 0; j < n; ++j) {
      const double dj = x[j] - x0[j];
      const double* col = aj0 + j * n;
      for (IWORD i = 0; i < n; ++i) t[i] += sign * (col[i] * dj);
    }
  }
}

}  // namespace

void fcont_homres(IWORD ihom, IWORD n, const double* x, double lam, const double* f,
                  const double* x0, const double* f0, const double* aj0, double* h,
                  const double* fscale, const double* xscale, IWORD istore, IWORD nz,
                  const IWORD* irn, const IWORD* icn) {
  if (n <= 0) return;
  switch (ihom) {
    case 1:
      for (IWORD i = 0; i < n; ++i) h[i] = f[i] - lam * f0[i];
      break;
    case 2:
      std::fill(h, h + n, 0.0);
      add_j0d(n, x, x0, aj0, istore, nz, irn, icn, 1.0, h);
      for (IWORD i = 0; i < n; ++i) h[i] = (1.0 - lam) * f[i] + lam * h[i];
      break;
    case 3:
      for (IWORD i = 0; i < n; ++i)
        h[i] = (1.0 - lam) * f[i] + (x[i] - x0[i]) * lam / (fscale[i] * xscale[i]);
      break;
    case 4:
      std::copy(f, f + n, h);
      break;
    default:
      break;
  }
}

void fcont_homlam(IWORD ihom, IWORD n, const double* x, double /*lam*/, const double* f,
                  const double* x0, const double* aj0, const double* fscale,
                  const double* xscale, IWORD istore, IWORD nz, const IWORD* irn,
                  const IWORD* icn, double* d) {
  if (n <= 0) return;
  if (ihom == 2) {
    std::copy(f, f + n, d);
    add_j0d(n, x, x0, aj0, istore, nz, irn, icn, -1.0, d);
  } else if (ihom == 3) {
    for (IWORD i = 0; i < n; ++i) d[i] = f[i] - (x[i] - x0[i]) / (fscale[i] * xscale[i]);
  }
}

void fcont_scale(IWORD n, const double* x, double lam, const double* xscale, double pscale,
                 double* y) {
  if (n < 0) return;
  for (IWORD i = 0; i < n; ++i) y[i] = x[i] / xscale[i];
  y[n] = lam / pscale;
}

void fcont_unscale(IWORD n, const double* y, const double* xscale, double pscale, double* x,
                   double& lam) {
  if (n < 0) return;
  for (IWORD i = 0; i < n; ++i) x[i] = y[i] * xscale[i];
  lam = pscale * y[n];
}

void fcont_bndapp(IWORD n, IWORD lubnds, double bndapp, const double* xb, double* x,
                  const double* xlb, const double* xub, IWORD& nbound) {
  nbound = 0;
  if (lubnds != 1) return;
  IWORD count = 0;
  for (IWORD i = 0; i < n; ++i) {
    if (x[i] < xlb[i] || x[i] > xub[i]) ++count;
    double lo = xb[i] + bndapp * (xlb[i] - xb[i]);
    double hi = xb[i] + bndapp * (xub[i] - xb[i]);
    // From a base point within a bound, the rounded sum of a far base point
    // and its distance to the bound can pass the bound: hold it there.
    if (xb[i] >= xlb[i] && lo < xlb[i]) lo = xlb[i];
    if (xb[i] <= xub[i] && hi > xub[i]) hi = xub[i];
    // max(lo, x) keeps a NaN x (the comparison fails), min(., hi) then gives
    // hi.  A limit that is not a number (a fraction BNDAPP that is not one)
    // holds nothing back, so that it never turns X into NaN.
    const double t = (lo > x[i]) ? lo : x[i];
    x[i] = (t < hi || std::isnan(hi)) ? t : hi;
  }
  nbound = count;
}

}  // namespace orvika
