// Packed symmetric kernels of the regression engines: the floored Cholesky
// factor U'U (DMCHOL), the inverse through it (DPKINV) and the block
// quadratic form (DQFORM).  Element (i, j), i <= j, at j(j-1)/2 + i.
#include <cmath>

#include "regress/regress.hpp"

namespace orvika {
namespace {
inline IWORD pk(IWORD i, IWORD j) { return j * (j - 1) / 2 + i - 1; }  // 0-based word
}  // namespace

void DMCHOL(double* a, IWORD n, double tol, IWORD& irank) {
  if (n <= 0) {
    irank = -1;
    return;
  }
  irank = 0;
  for (IWORD i = 1; i <= n; ++i) {
    const double aii = a[pk(i, i)];
    const double g = std::fabs(aii * tol);
    double d = aii;
    for (IWORD t = 1; t < i; ++t) d -= a[pk(t, i)] * a[pk(t, i)];
    if (g > d) {
      d = g;
      if (irank == 0) irank = i;
    }
    const double uii = std::sqrt(d);
    a[pk(i, i)] = uii;
    const double r = 1.0 / uii;
    for (IWORD j = i + 1; j <= n; ++j) {
      double s = a[pk(i, j)];
      for (IWORD t = 1; t < i; ++t) s -= a[pk(t, i)] * a[pk(t, j)];
      a[pk(i, j)] = s * r;
    }
  }
}

void DPKINV(double* a, IWORD n, double tol, IWORD& irank) {
  DMCHOL(a, n, tol, irank);
  if (irank < 0) return;
  // T = U^-1 in place, rows from the last up, columns from the right.
  for (IWORD i = n; i >= 1; --i) {
    const double tii = 1.0 / a[pk(i, i)];
    a[pk(i, i)] = tii;
    for (IWORD l = n; l > i; --l) {
      double s = 0;
      for (IWORD k = i + 1; k <= l; ++k) s += a[pk(i, k)] * a[pk(k, l)];
      a[pk(i, l)] = -tii * s;
    }
  }
  // A^-1 = T T'.
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD l = i; l <= n; ++l) {
      double s = 0;
      for (IWORD k = l; k <= n; ++k) s += a[pk(i, k)] * a[pk(l, k)];
      a[pk(i, l)] = s;
    }
}

double DQFORM(IWORD ld, const IWORD* nsize, IWORD nblk, const double* s, const double* m) {
  const Vec1<const IWORD> NSIZE(nsize);
  double sum = 0;
  for (IWORD j = 1; j <= nblk; ++j) {
    const IWORD nj = NSIZE(j);
    const Vec1<const double> sj(s + (j - 1) * ld);
    const Mat1<const double> mj(m + (j - 1) * ld * ld, ld);
    for (IWORD i = 1; i <= nj; ++i)
      for (IWORD t = 1; t <= nj; ++t) sum += sj(t) * sj(i) * mj(t, i);
  }
  return sum;
}

}  // namespace orvika
