// Random compressed-row matrices and dense references for the sparse tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "orvika/orvika_types.h"
#include "support/capture.hpp"
#include "support/sparse.hpp"

namespace sparse_test {

using orvika_test::Csr;

// Builds a matrix from explicit rows of (column, value) pairs, kept in the
// given order.
inline Csr from_rows(IWORD ncol, const std::vector<std::vector<std::pair<IWORD, double>>>& rows) {
  Csr m;
  m.n = static_cast<IWORD>(rows.size());
  m.ncol = ncol;
  for (const auto& r : rows) {
    for (auto [c, v] : r) {
      m.ja.push_back(c);
      m.a.push_back(v);
    }
    m.ia.push_back(static_cast<IWORD>(m.ja.size()) + 1);
  }
  return m;
}

// Random n x ncol matrix, each entry present with probability DENSITY
// (values in [-1, 1] excluding tiny ones).  SHUFFLE leaves each row's
// columns in random order; LOWER keeps columns <= row only.
inline Csr random_csr(std::mt19937_64& rng, IWORD n, IWORD ncol, double density,
                      bool shuffle = false, bool lower = false) {
  std::uniform_real_distribution<double> val(0.1, 1.0);
  std::bernoulli_distribution present(density), neg(0.5);
  Csr m;
  m.n = n;
  m.ncol = ncol;
  for (IWORD i = 1; i <= n; ++i) {
    std::vector<IWORD> cols;
    const IWORD cmax = lower ? std::min(i, ncol) : ncol;
    for (IWORD c = 1; c <= cmax; ++c)
      if (present(rng)) cols.push_back(c);
    if (shuffle) std::shuffle(cols.begin(), cols.end(), rng);
    for (IWORD c : cols) {
      m.ja.push_back(c);
      m.a.push_back(neg(rng) ? -val(rng) : val(rng));
    }
    m.ia.push_back(static_cast<IWORD>(m.ja.size()) + 1);
  }
  return m;
}

// Dense row-major n x ncol form (duplicates summed).
inline std::vector<double> dense(const Csr& m, IWORD ioa = 0, const std::vector<double>* vals = nullptr) {
  const std::vector<double>& a = vals ? *vals : m.a;
  std::vector<double> d(static_cast<size_t>(m.n * m.ncol), 0.0);
  for (IWORD i = 1; i <= m.n; ++i)
    for (IWORD k = m.ia[i - 1]; k < m.ia[i]; ++k)
      d[(i - 1) * m.ncol + m.ja[k - 1] - 1] += a[ioa + k - 1];
  return d;
}

// Dense form of an arbitrary CSR triple (rows x ncol).
inline std::vector<double> dense(IWORD rows, IWORD ncol, const IWORD* ia, const IWORD* ja,
                                 const double* a) {
  std::vector<double> d(static_cast<size_t>(rows * ncol), 0.0);
  for (IWORD i = 1; i <= rows; ++i)
    for (IWORD k = ia[i - 1]; k < ia[i]; ++k) d[(i - 1) * ncol + ja[k - 1] - 1] += a[k - 1];
  return d;
}

// Dense product (row-major): C = A B, A n x m, B m x p.
inline std::vector<double> matmul(const std::vector<double>& A, const std::vector<double>& B,
                                  IWORD n, IWORD m, IWORD p) {
  std::vector<double> C(static_cast<size_t>(n * p), 0.0);
  for (IWORD i = 0; i < n; ++i)
    for (IWORD k = 0; k < m; ++k)
      for (IWORD j = 0; j < p; ++j) C[i * p + j] += A[i * m + k] * B[k * p + j];
  return C;
}

inline std::vector<double> random_vec(std::mt19937_64& rng, IWORD n) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> v(static_cast<size_t>(n));
  for (auto& x : v) x = u(rng);
  return v;
}

// Output of a structure builder (sum, product, ...) and what it wrote.
struct Built {
  std::vector<IWORD> ic, jc;
  std::vector<double> c;
  IWORD ierr = 0;
  std::string text;  // the records written on the unit
  // The first K column indices and values written.
  std::vector<IWORD> jc_head(size_t k) const { return {jc.begin(), jc.begin() + k}; }
  std::vector<double> c_head(size_t k) const { return {c.begin(), c.begin() + k}; }
};

// Calls CALL(r, ix, x) with IC of ROWS+1 words, JC and C of exactly LENJC
// words and IX, X of exactly LENX words (guard values -1 and -777.0 in JC
// and C), capturing what is written on UNIT into r.text.
template <class Call>
Built run_builder(IWORD unit, IWORD rows, IWORD lenjc, IWORD lenx, Call call) {
  Built r;
  r.ic.assign(rows + 1, -1);
  r.jc.assign(std::max<IWORD>(lenjc, 0), -1);
  r.c.assign(std::max<IWORD>(lenjc, 0), -777.0);
  std::vector<IWORD> ix(std::max<IWORD>(lenx, 0));
  std::vector<double> x(std::max<IWORD>(lenx, 0));
  orvika_test::UnitCapture cap(unit);
  call(r, ix.data(), x.data());
  r.text = cap.text();
  return r;
}

}  // namespace sparse_test
