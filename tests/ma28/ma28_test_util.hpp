// Shared helpers of the MA28-family tests: problems in coordinate form,
// a driver object that owns the caller arrays, error norms.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "frame/workspace.hpp"
#include "orvika/host_stub.h"
#include "orvika/ma28.h"
#include "support/sparse.hpp"

namespace ma28test {

using Lines = std::vector<std::string>;

// A vector of 64-bit positions as the word view the internal routines take.
inline orvika::IV pos_words(std::vector<IWORD>& v) {
  return orvika::IV(v.data(), static_cast<IWORD>(v.size()));
}
inline const std::string kB36(36, ' ');  // indent of the second record of an error

using orvika_test::scaled_residual;
using orvika_test::Triplets;

// Indices as the family's 16-bit index arrays take them.
inline std::vector<IDX16> idx16(const std::vector<IWORD>& v) {
  return std::vector<IDX16>(v.begin(), v.end());
}

// A matrix of order N from its entries, in the order given.
struct Entry {
  IWORD i, j;
  double v;
};
inline Triplets make_triplets(IWORD n, std::initializer_list<Entry> entries) {
  Triplets a;
  a.n = n;
  for (const Entry& e : entries) a.add(e.i, e.j, e.v);
  return a;
}

// Order 3 with column 3 empty (rows 2 and 3 only in columns 1 and 2):
// structural rank 2; x = (1, 1, 0) gives the consistent b = (3, 3, 5).
inline Triplets rank_two() {
  return make_triplets(3, {{1, 1, 1.0}, {1, 2, 2.0}, {2, 1, 3.0}, {3, 2, 4.0}, {3, 1, 1.0}});
}

// Zero blocks, host defaults, then the family defaults (optionally).
inline void reset_blocks(bool defaults = true) {
  orvk_host_reset();
  ORVK_MA28ED = {};
  ORVK_MA28FD = {};
  ORVK_MA28GD = {};
  ORVK_MA30ED = {};
  ORVK_MA30FD = {};
  ORVK_MA30GD = {};
  ORVK_MA30HD = {};
  ORVK_MC23BD = {};
  if (defaults) {
    ORVK_MA28BK();
    ORVK_MA30BK();
  }
}

// Owns the arrays of one analysed problem.
struct Solver {
  IWORD n = 0, licn = 0, lirn = 0;
  std::vector<double> entval, rwork;
  std::vector<IDX16> colnum, rownum, lukeep, intwrk;
  IWORD istat = 99;

  IWORD analyse(const Triplets& a, IWORD licn_, IWORD lirn_, double thr = 0.1) {
    n = a.n;
    licn = licn_;
    lirn = lirn_;
    entval.assign(licn, 0.0);
    colnum.assign(licn, 0);
    rownum.assign(lirn, 0);
    std::copy(a.val.begin(), a.val.end(), entval.begin());
    std::copy(a.col.begin(), a.col.end(), colnum.begin());
    std::copy(a.row.begin(), a.row.end(), rownum.begin());
    lukeep.assign(5 * std::max<IWORD>(n, 1), 0);
    intwrk.assign(14 * std::max<IWORD>(n, 1), 0);
    rwork.assign(std::max<IWORD>(n, 2), 0.0);
    IWORD nz = a.nz();
    ORVK_MA28AD(&n, &nz, entval.data(), &licn, rownum.data(), &lirn, colnum.data(), &thr,
                lukeep.data(), intwrk.data(), rwork.data(), &istat);
    return istat;
  }
  IWORD refactor(const Triplets& a) {
    std::vector<IDX16> r = idx16(a.row), c = idx16(a.col);
    std::copy(a.val.begin(), a.val.end(), entval.begin());
    std::vector<IDX16> w(11 * n, 0);
    IWORD nz = a.nz();
    ORVK_MA28BD(&n, &nz, entval.data(), &licn, r.data(), c.data(), colnum.data(), lukeep.data(),
                w.data(), rwork.data(), &istat);
    return istat;
  }
  std::vector<double> solve(std::vector<double> b, IWORD mode = 1) {
    std::vector<double> w(n, 0.0);
    ORVK_MA28CD(&n, entval.data(), &licn, colnum.data(), lukeep.data(), b.data(), w.data(),
                &mode);
    return b;
  }
  const IDX16* part(int k) const { return lukeep.data() + (k - 1) * n; }
};

inline double max_rel_error(const std::vector<double>& x, const std::vector<double>& xt) {
  double e = 0.0, m = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    e = std::max(e, std::fabs(x[i] - xt[i]));
    m = std::max(m, std::fabs(xt[i]));
  }
  return m == 0.0 ? e : e / m;
}

// A random sparse matrix with a nonzero diagonal scaled to dominate mildly
// (DIAG = false: no diagonal given, entries only off it and a permutation).
inline Triplets random_sparse(IWORD n, int per_row, std::uint64_t seed, bool diag = true) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Triplets a;
  a.n = n;
  std::vector<IWORD> perm(n);
  for (IWORD i = 0; i < n; ++i) perm[i] = i + 1;
  std::shuffle(perm.begin(), perm.end(), rng);
  for (IWORD i = 1; i <= n; ++i) {
    std::vector<IWORD> cols;
    cols.push_back(diag ? i : perm[i - 1]);
    for (int t = 0; t < per_row; ++t) {
      IWORD j = 1 + static_cast<IWORD>(rng() % n);
      if (std::find(cols.begin(), cols.end(), j) == cols.end()) cols.push_back(j);
    }
    for (std::size_t t = 0; t < cols.size(); ++t)
      a.add(i, cols[t], t == 0 ? 2.0 + u(rng) : u(rng));
  }
  return a;
}

inline std::vector<double> test_x(IWORD n) {
  std::vector<double> x(n);
  for (IWORD i = 0; i < n; ++i) x[i] = 1.0 + 0.5 * std::sin(static_cast<double>(i + 1));
  return x;
}

// Solves A x = b (mode 1) and A^T x = b (each of the TRANSPOSED modes) for
// a chosen x and checks each solution's error and, when RESIDUAL > 0, its
// scaled residual against that bound.
inline void expect_solves(Solver& s, const Triplets& a, const std::string& what,
                          std::initializer_list<IWORD> transposed = {2}, double residual = 0.0) {
  const auto xt = test_x(a.n);
  const auto b = a.mul(xt);
  const auto x = s.solve(b, 1);
  if (residual > 0.0) EXPECT_LT(scaled_residual(a, x, b), residual) << what;
  EXPECT_LT(max_rel_error(x, xt), 1e-9) << what;
  const auto bt = a.mul(xt, true);
  for (IWORD mode : transposed) {
    const auto y = s.solve(bt, mode);
    if (residual > 0.0)
      EXPECT_LT(scaled_residual(a, y, bt, true), residual) << what << " transposed mode " << mode;
    EXPECT_LT(max_rel_error(y, xt), 1e-9) << what << " transposed mode " << mode;
  }
}

}  // namespace ma28test
