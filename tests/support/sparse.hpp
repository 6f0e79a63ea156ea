// Test and benchmark helper: the one sparse matrix type (triplets, with its
// compressed-row and compressed-column forms) and the one scaled residual
// ||b - A x|| / (||A|| ||x|| n eps) by which the tests judge a solution.
// Header-only, so that the benchmarks use it as well.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "orvika/orvika_types.h"

namespace orvika_test {

inline constexpr double kEps = std::numeric_limits<double>::epsilon();

// A square sparse matrix of order N as triplets: entry k is (ROW[k], COL[k],
// VAL[k]), 1-based, in any order; entries at one position add up.
struct Triplets {
  std::string name;  // label of a generated or read matrix
  IWORD n = 0;
  std::vector<IWORD> row, col;
  std::vector<double> val;

  IWORD nz() const { return static_cast<IWORD>(val.size()); }
  void add(IWORD i, IWORD j, double v) {
    row.push_back(i);
    col.push_back(j);
    val.push_back(v);
  }
  // y = A x (A^T x with TRANS), the entries taken in storage order.
  std::vector<double> mul(const std::vector<double>& x, bool trans = false) const {
    std::vector<double> y(static_cast<std::size_t>(n), 0.0);
    for (std::size_t k = 0; k < val.size(); ++k) {
      if (trans)
        y[col[k] - 1] += val[k] * x[row[k] - 1];
      else
        y[row[k] - 1] += val[k] * x[col[k] - 1];
    }
    return y;
  }
  // Largest magnitude of an entry.
  double maxabs() const {
    double m = 0.0;
    for (double v : val) m = std::fmax(m, std::fabs(v));
    return m;
  }
};

// A sparse matrix of N rows and NCOL columns by compressed rows: the
// entries of row i are JA/A(IA(i)) .. JA/A(IA(i+1)-1), 1-based.  Of a
// transpose, the same arrays are the compressed columns of the matrix.
struct Csr {
  IWORD n = 0;
  IWORD ncol = 0;
  std::vector<IWORD> ia{1}, ja;
  std::vector<double> a;

  IWORD nnz() const { return ia.back() - 1; }
};

// Compressed rows of T (BY_COLUMNS: its compressed columns), each row (or
// column) keeping the storage order of its entries; repeats stay apart.
inline Csr to_csr(const Triplets& t, bool by_columns = false) {
  const std::vector<IWORD>& major = by_columns ? t.col : t.row;
  const std::vector<IWORD>& minor = by_columns ? t.row : t.col;
  Csr m;
  m.n = m.ncol = t.n;
  m.ia.assign(static_cast<std::size_t>(t.n) + 1, 0);
  for (IWORD i : major) ++m.ia[static_cast<std::size_t>(i)];
  m.ia[0] = 1;
  for (IWORD i = 1; i <= t.n; ++i) m.ia[i] += m.ia[i - 1];
  m.ja.resize(t.val.size());
  m.a.resize(t.val.size());
  std::vector<IWORD> next(m.ia.begin(), m.ia.end() - 1);
  for (std::size_t k = 0; k < t.val.size(); ++k) {
    const IWORD q = next[major[k] - 1]++;
    m.ja[q - 1] = minor[k];
    m.a[q - 1] = t.val[k];
  }
  return m;
}

// The entries of the square matrix M as triplets, row by row in storage
// order.
inline Triplets to_triplets(const Csr& m) {
  Triplets t;
  t.n = m.n;
  for (IWORD i = 1; i <= m.n; ++i)
    for (IWORD k = m.ia[i - 1]; k < m.ia[i]; ++k) t.add(i, m.ja[k - 1], m.a[k - 1]);
  return t;
}

// Starts or indices V of a compressed form shifted to 0-based and held in
// the index type I of a peer library (SuiteSparse takes them so).
template <class I>
std::vector<I> zero_based(const std::vector<IWORD>& v) {
  std::vector<I> z(v.size());
  for (std::size_t k = 0; k < v.size(); ++k) z[k] = static_cast<I>(v[k] - 1);
  return z;
}

// ||b - A x||_inf / (||A||_inf ||x||_inf n eps) of a square matrix A of
// order N given by its entries: EACH(f) calls f(i, j, a_ij), 1-based, once
// for every entry (entries at one position add up in A x, and their
// magnitudes in ||A||).  A backward-stable solve keeps it of order one.  0
// for a zero residual, +infinity for a nonzero one when ||A|| ||x|| is 0.
template <class Entries>
double scaled_residual(IWORD n, Entries each, const double* x, const double* b) {
  std::vector<double> ax(static_cast<std::size_t>(n), 0.0), rowsum(ax);
  each([&](IWORD i, IWORD j, double a) {
    ax[i - 1] += a * x[j - 1];
    rowsum[i - 1] += std::fabs(a);
  });
  double rn = 0.0, an = 0.0, xn = 0.0;
  for (IWORD i = 0; i < n; ++i) {
    rn = std::fmax(rn, std::fabs(b[i] - ax[i]));
    an = std::fmax(an, rowsum[i]);
    xn = std::fmax(xn, std::fabs(x[i]));
  }
  if (rn == 0.0) return 0.0;
  const double den = an * xn * static_cast<double>(n) * kEps;
  return den > 0.0 ? rn / den : std::numeric_limits<double>::infinity();
}

// The bound of the scaled residual at order N that a bound E of
// ||b - A x|| / (||A|| ||x||) (max norms) amounts to.
inline double scaled_bound(double e, IWORD n) { return e / (static_cast<double>(n) * kEps); }

// Of the triplets T (TRANS: of their transpose).
inline double scaled_residual(const Triplets& t, const std::vector<double>& x,
                              const std::vector<double>& b, bool trans = false) {
  return scaled_residual(
      t.n,
      [&](auto f) {
        for (std::size_t k = 0; k < t.val.size(); ++k)
          trans ? f(t.col[k], t.row[k], t.val[k]) : f(t.row[k], t.col[k], t.val[k]);
      },
      x.data(), b.data());
}

// Of the square matrix of order N by compressed rows IA, JA, A (1-based).
inline double scaled_residual(IWORD n, const IWORD* ia, const IWORD* ja, const double* a,
                              const double* x, const double* b) {
  return scaled_residual(
      n,
      [&](auto f) {
        for (IWORD i = 1; i <= n; ++i)
          for (IWORD k = ia[i - 1]; k < ia[i]; ++k) f(i, ja[k - 1], a[k - 1]);
      },
      x, b);
}

// Of the dense N x N matrix A held by columns with leading dimension LDA.
inline double scaled_residual(IWORD n, const double* a, IWORD lda, const double* x,
                              const double* b) {
  return scaled_residual(
      n,
      [&](auto f) {
        for (IWORD j = 1; j <= n; ++j)
          for (IWORD i = 1; i <= n; ++i) f(i, j, a[(i - 1) + (j - 1) * lda]);
      },
      x, b);
}

}  // namespace orvika_test
