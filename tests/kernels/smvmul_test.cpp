// Compressed-row products against dense references: row ranges, value and
// vector offsets, transposed and symmetric products, A A^T.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "kernels/sparse.hpp"
#include "orvika/kernels_sparse.h"
#include "sparse_test_util.hpp"

namespace {

using sparse_test::Csr;
constexpr double kEps = std::numeric_limits<double>::epsilon();
// A product element is accepted within kTolFactor * eps * sum |a_k x_k|.
constexpr double kTolFactor = 30.0;
constexpr double kSentinel = -777.0;  // marks words a routine must not write

// Dense y = M x (row-major M, rows x cols) and its magnitude bound.
void dense_mv(const std::vector<double>& M, IWORD rows, IWORD cols, const double* x,
              std::vector<double>& y, std::vector<double>& bound) {
  y.assign(rows, 0.0);
  bound.assign(rows, 0.0);
  for (IWORD i = 0; i < rows; ++i)
    for (IWORD j = 0; j < cols; ++j) {
      y[i] += M[i * cols + j] * x[j];
      bound[i] += std::fabs(M[i * cols + j] * x[j]);
    }
}

void expect_close(double got, double want, double bound, const char* what, IWORD i) {
  EXPECT_LE(std::fabs(got - want), kTolFactor * kEps * (bound + 1e-300))
      << what << " element " << i << ": got " << got << " want " << want;
}

struct RangeCase {
  IWORD n, ncol;
  double density;
  IWORD i1, i2;
  bool second_values;  // IOA = NZ: the second value set
  IWORD iox, ioy;
};

class SmvmulRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(SmvmulRange, MatchesDenseOnRowRange) {
  const RangeCase tc = GetParam();
  std::mt19937_64 rng(1234 + tc.n * 7 + tc.i1);
  Csr m = sparse_test::random_csr(rng, tc.n, tc.ncol, tc.density, /*shuffle=*/true);
  const IWORD nz = m.nnz();
  // Two value sets on one pattern: A(1..NZ) and A(NZ+1..2NZ).
  std::vector<double> vals = m.a;
  for (IWORD k = 0; k < nz; ++k) vals.push_back(2.0 * m.a[k] + 0.5);
  const IWORD ioa = tc.second_values ? nz : 0;
  const std::vector<double> D = sparse_test::dense(m, ioa, &vals);

  std::vector<double> X(tc.iox + tc.ncol);
  auto xs = sparse_test::random_vec(rng, tc.ncol);
  for (IWORD j = 0; j < tc.ncol; ++j) X[tc.iox + j] = xs[j];
  const IWORD len = tc.i2 >= tc.i1 ? tc.i2 - tc.i1 + 1 : 0;
  std::vector<double> Y(tc.ioy + len + 3, kSentinel);

  ORVK_SMVMUL(&tc.n, &tc.i1, &tc.i2, m.ia.data(), m.ja.data(), &ioa, vals.data(), &tc.iox,
              X.data(), &tc.ioy, Y.data());

  std::vector<double> y, bound;
  dense_mv(D, tc.n, tc.ncol, xs.data(), y, bound);
  for (IWORD p = 0; p < static_cast<IWORD>(Y.size()); ++p) {
    if (p >= tc.ioy && p < tc.ioy + len) {
      const IWORD r = tc.i1 + (p - tc.ioy);
      expect_close(Y[p], y[r - 1], bound[r - 1], "SMVMUL", r);
    } else {
      EXPECT_EQ(Y[p], kSentinel) << "word " << p + 1 << " written";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmvmulRange,
    ::testing::Values(RangeCase{1, 1, 1.0, 1, 1, false, 0, 0},      // 1 x 1
                      RangeCase{5, 7, 0.5, 1, 5, false, 0, 0},      // all rows
                      RangeCase{10, 10, 0.3, 3, 4, false, 0, 0},    // rows 3..4 to Y(1..2)
                      RangeCase{10, 10, 0.3, 4, 3, false, 0, 0},    // empty range
                      RangeCase{20, 15, 0.2, 2, 19, true, 3, 5},    // second value set, offsets
                      RangeCase{50, 50, 0.1, 1, 50, true, 0, 2},    // includes empty rows
                      RangeCase{200, 120, 0.05, 17, 160, false, 11, 1}));

TEST(Smvmul, SecondValueSetKeepsPattern) {
  // IOA = NZ reads A(NZ+1..2NZ) with the same column numbers.
  Csr m = sparse_test::from_rows(2, {{{1, 1.0}, {2, 2.0}}, {{2, 3.0}}});
  const std::vector<double> vals = {1.0, 2.0, 3.0, 10.0, 20.0, 30.0};
  const IWORD n = 2, i1 = 1, i2 = 2, ioa = 3, iox = 0, ioy = 0;
  const double x[2] = {1.0, 1.0};
  double y[2] = {0, 0};
  ORVK_SMVMUL(&n, &i1, &i2, m.ia.data(), m.ja.data(), &ioa, vals.data(), &iox, x, &ioy, y);
  EXPECT_EQ(y[0], 30.0);
  EXPECT_EQ(y[1], 30.0);
}

struct TransCase {
  IWORD m, n;  // rows, columns of A
  double density;
  IWORD ioa, iox, ioy;
};

class SvmmulCase : public ::testing::TestWithParam<TransCase> {};

TEST_P(SvmmulCase, MatchesDenseTranspose) {
  const TransCase tc = GetParam();
  std::mt19937_64 rng(99 + tc.m);
  Csr a = sparse_test::random_csr(rng, tc.m, tc.n, tc.density, true);
  std::vector<double> vals(tc.ioa, 5.0);
  vals.insert(vals.end(), a.a.begin(), a.a.end());
  const std::vector<double> D = sparse_test::dense(a);
  std::vector<double> Dt(tc.n * tc.m);
  for (IWORD i = 0; i < tc.m; ++i)
    for (IWORD j = 0; j < tc.n; ++j) Dt[j * tc.m + i] = D[i * tc.n + j];
  auto xs = sparse_test::random_vec(rng, tc.m);
  std::vector<double> X(tc.iox, 9.0);
  X.insert(X.end(), xs.begin(), xs.end());
  std::vector<double> Y(tc.ioy + tc.n + 2, kSentinel);
  ORVK_SVMMUL(&tc.n, &tc.m, a.ia.data(), a.ja.data(), &tc.ioa, vals.data(), &tc.iox, X.data(),
              &tc.ioy, Y.data());
  std::vector<double> y, bound;
  dense_mv(Dt, tc.n, tc.m, xs.data(), y, bound);
  for (IWORD j = 0; j < tc.n; ++j) expect_close(Y[tc.ioy + j], y[j], bound[j], "SVMMUL", j + 1);
  for (IWORD p = 0; p < tc.ioy; ++p) EXPECT_EQ(Y[p], kSentinel);
  EXPECT_EQ(Y[tc.ioy + tc.n], kSentinel);
}

INSTANTIATE_TEST_SUITE_P(Cases, SvmmulCase,
                         ::testing::Values(TransCase{1, 1, 1.0, 0, 0, 0}, TransCase{3, 5, 0.6, 0, 0, 0},
                                           TransCase{30, 12, 0.2, 4, 2, 3},
                                           TransCase{100, 150, 0.05, 0, 1, 7}));

// Symmetric test matrix S (dense, row-major) with its lower triangle, upper
// triangle and full rows as compressed rows.
struct Sym {
  IWORD n;
  std::vector<double> S;
  Csr lower, upper, full;
};

Sym random_sym(std::mt19937_64& rng, IWORD n, double density) {
  Sym s;
  s.n = n;
  Csr low = sparse_test::random_csr(rng, n, n, density, true, /*lower=*/true);
  s.lower = low;
  s.S.assign(n * n, 0.0);
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD k = low.ia[i - 1]; k < low.ia[i]; ++k) {
      const IWORD c = low.ja[k - 1];
      s.S[(i - 1) * n + c - 1] = low.a[k - 1];
      s.S[(c - 1) * n + i - 1] = low.a[k - 1];
    }
  std::vector<std::vector<std::pair<IWORD, double>>> up(n), full(n);
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD j = 1; j <= n; ++j) {
      const double v = s.S[(i - 1) * n + j - 1];
      if (v == 0.0) continue;
      full[i - 1].push_back({j, v});
      if (j >= i) up[i - 1].push_back({j, v});
    }
  s.upper = sparse_test::from_rows(n, up);
  s.full = sparse_test::from_rows(n, full);
  return s;
}

class SymProducts : public ::testing::TestWithParam<std::pair<IWORD, double>> {};

TEST_P(SymProducts, AllStoragesMatchDense) {
  const auto [n, density] = GetParam();
  std::mt19937_64 rng(7 * n + 1);
  Sym s = random_sym(rng, n, density);
  auto x = sparse_test::random_vec(rng, n);
  std::vector<double> y, bound;
  dense_mv(s.S, n, n, x.data(), y, bound);

  struct Store {
    const Csr* m;
    IWORD mode;
    const char* name;
  } stores[] = {{&s.lower, 2, "SSMVML mode 2 lower"},
                {&s.upper, 2, "SSMVML mode 2 upper"},
                {&s.full, 1, "SSMVML mode 1 full"}};
  for (const auto& st : stores) {
    const IWORD iox = 2, ioy = 3, ioa = 1;
    std::vector<double> X(iox, 0.0);
    X.insert(X.end(), x.begin(), x.end());
    std::vector<double> vals(ioa, 0.0);
    vals.insert(vals.end(), st.m->a.begin(), st.m->a.end());
    std::vector<double> Y(ioy + n + 1, kSentinel);
    orvika::SSMVML(0, n, st.m->ia.data(), st.m->ja.data(), ioa, vals.data(), iox, X.data(), ioy,
                   Y.data(), st.mode);
    for (IWORD i = 0; i < n; ++i) expect_close(Y[ioy + i], y[i], bound[i], st.name, i + 1);
    EXPECT_EQ(Y[ioy + n], kSentinel);
  }
  std::vector<double> Y(n, kSentinel);
  orvika::SSMVPR(n, s.lower.ia.data(), s.lower.ja.data(), s.lower.a.data(), x.data(), Y.data());
  for (IWORD i = 0; i < n; ++i) expect_close(Y[i], y[i], bound[i], "SSMVPR", i + 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SymProducts,
                         ::testing::Values(std::pair<IWORD, double>{1, 1.0},
                                           std::pair<IWORD, double>{2, 1.0},
                                           std::pair<IWORD, double>{3, 0.5},
                                           std::pair<IWORD, double>{10, 0.4},
                                           std::pair<IWORD, double>{57, 0.1},
                                           std::pair<IWORD, double>{300, 0.02}));

TEST(SymProducts, TwoByTwoExample) {
  // Lower triangle of [[2, 1], [1, 3]].
  Csr low = sparse_test::from_rows(2, {{{1, 2.0}}, {{1, 1.0}, {2, 3.0}}});
  Csr full = sparse_test::from_rows(2, {{{1, 2.0}, {2, 1.0}}, {{1, 1.0}, {2, 3.0}}});
  const double ones[2] = {1.0, 1.0};
  double y2[2], y1[2];
  orvika::SSMVML(0, 2, low.ia.data(), low.ja.data(), 0, low.a.data(), 0, ones, 0, y2, 2);
  orvika::SSMVML(0, 2, full.ia.data(), full.ja.data(), 0, full.a.data(), 0, ones, 0, y1, 1);
  EXPECT_EQ(y2[0], 3.0);
  EXPECT_EQ(y2[1], 4.0);
  EXPECT_EQ(y1[0], 3.0);
  EXPECT_EQ(y1[1], 4.0);
  const double x[2] = {1.0, 2.0};
  double y[2];
  orvika::SSMVPR(2, low.ia.data(), low.ja.data(), low.a.data(), x, y);
  EXPECT_EQ(y[0], 4.0);
  EXPECT_EQ(y[1], 7.0);
}

// SSMVPR by its definition: each row's sum, plus for every later row j the
// first entry of row j (searched from its start) whose column is i.
std::vector<double> ssmvpr_by_definition(const Csr& m, const std::vector<double>& x) {
  std::vector<double> y(m.n, 0.0);
  for (IWORD i = 1; i <= m.n; ++i) {
    for (IWORD k = m.ia[i - 1]; k < m.ia[i]; ++k) y[i - 1] += m.a[k - 1] * x[m.ja[k - 1] - 1];
    for (IWORD j = i + 1; j <= m.n; ++j)
      for (IWORD k = m.ia[j - 1]; k < m.ia[j]; ++k)
        if (m.ja[k - 1] == i) {
          y[i - 1] += m.a[k - 1] * x[j - 1];
          break;
        }
  }
  return y;
}

TEST(Ssmvpr, DuplicatesCountOnceOffDiagonalAndUnsortedRows) {
  // Row 3 holds column 1 twice (only the first is mirrored) and is unsorted;
  // row 4 holds the diagonal twice (both count in the row sum).
  Csr m = sparse_test::from_rows(
      4, {{{1, 1.0}}, {{2, 2.0}, {1, 0.5}}, {{3, 4.0}, {1, 3.0}, {2, -1.0}, {1, 7.0}},
          {{4, 1.5}, {2, 2.5}, {4, 0.25}}});
  const std::vector<double> x = {1.0, -2.0, 3.0, 0.5};
  std::vector<double> y(4);
  orvika::SSMVPR(4, m.ia.data(), m.ja.data(), m.a.data(), x.data(), y.data());
  const auto ref = ssmvpr_by_definition(m, x);
  for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(y[i], ref[i]) << i;
  // By hand: y1 = 1*1 + 0.5*(-2) + 3*3 = 9.
  EXPECT_DOUBLE_EQ(y[0], 9.0);
}

TEST(Ssmvpr, RandomShuffledRowsWithDuplicatesMatchDefinition) {
  std::mt19937_64 rng(5);
  for (IWORD n : {5, 40, 200}) {
    Csr m = sparse_test::random_csr(rng, n, n, 0.1, true, true);
    // Append a duplicate of some entry in every third row.
    std::vector<std::vector<std::pair<IWORD, double>>> rows(n);
    for (IWORD i = 1; i <= n; ++i) {
      for (IWORD k = m.ia[i - 1]; k < m.ia[i]; ++k) rows[i - 1].push_back({m.ja[k - 1], m.a[k - 1]});
      if (i % 3 == 0 && !rows[i - 1].empty()) rows[i - 1].push_back({rows[i - 1][0].first, 0.125});
    }
    Csr d = sparse_test::from_rows(n, rows);
    auto x = sparse_test::random_vec(rng, n);
    std::vector<double> y(n);
    orvika::SSMVPR(n, d.ia.data(), d.ja.data(), d.a.data(), x.data(), y.data());
    const auto ref = ssmvpr_by_definition(d, x);
    for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(y[i], ref[i], 1e-13 * (1 + std::fabs(ref[i]))) << n << " " << i;
  }
}

TEST(PlainProducts, RowsRangesAndScatter) {
  std::mt19937_64 rng(31);
  const IWORD n = 25, ncol = 18;
  Csr m = sparse_test::random_csr(rng, n, ncol, 0.25, true);
  const auto D = sparse_test::dense(m);
  auto x = sparse_test::random_vec(rng, ncol);
  std::vector<double> y, bound;
  dense_mv(D, n, ncol, x.data(), y, bound);

  std::vector<double> Y(n, kSentinel);
  orvika::SMVPRD(n, m.ia.data(), m.ja.data(), m.a.data(), x.data(), Y.data());
  for (IWORD i = 0; i < n; ++i) expect_close(Y[i], y[i], bound[i], "SMVPRD", i + 1);

  // Rows IOFF+1..IOFF+NR to Y(IOY+1..).
  const IWORD ioff = 6, nr = 10, ioy = 2;
  std::vector<double> Y2(ioy + nr + 1, kSentinel);
  orvika::SMVML2(nr, ioff, m.ia.data(), m.ja.data(), m.a.data(), x.data(), ioy, Y2.data());
  for (IWORD r = ioff + 1; r <= ioff + nr; ++r)
    expect_close(Y2[ioy + r - ioff - 1], y[r - 1], bound[r - 1], "SMVML2", r);
  EXPECT_EQ(Y2[0], kSentinel);
  EXPECT_EQ(Y2[ioy + nr], kSentinel);

  // Scatter through LIST (indexed by row number): reversed positions.
  std::vector<IWORD> list(n, 0);
  for (IWORD r = ioff + 1; r <= ioff + nr; ++r) list[r - 1] = ioff + nr + 1 - r;
  std::vector<double> Y3(ioy + nr + 1, kSentinel);
  orvika::SMVSCT(nr, list.data(), ioff, m.ia.data(), m.ja.data(), m.a.data(), x.data(), ioy,
                 Y3.data());
  for (IWORD r = ioff + 1; r <= ioff + nr; ++r)
    expect_close(Y3[ioy + list[r - 1] - 1], y[r - 1], bound[r - 1], "SMVSCT", r);
  EXPECT_EQ(Y3[0], kSentinel);
  EXPECT_EQ(Y3[ioy + nr], kSentinel);

  // Transposed product without offsets.
  auto xr = sparse_test::random_vec(rng, n);
  std::vector<double> Dt(ncol * n);
  for (IWORD i = 0; i < n; ++i)
    for (IWORD j = 0; j < ncol; ++j) Dt[j * n + i] = D[i * ncol + j];
  std::vector<double> yt, bt;
  dense_mv(Dt, ncol, n, xr.data(), yt, bt);
  std::vector<double> Y4(ncol, kSentinel);
  orvika::SVMPRD(n, ncol, m.ia.data(), m.ja.data(), m.a.data(), xr.data(), Y4.data());
  for (IWORD j = 0; j < ncol; ++j) expect_close(Y4[j], yt[j], bt[j], "SVMPRD", j + 1);
}

TEST(PlainProducts, EmptyRowGivesZero) {
  Csr m = sparse_test::from_rows(2, {{{1, 2.0}}, {}});
  const double x[2] = {3.0, 4.0};
  double y[2] = {kSentinel, kSentinel};
  orvika::SMVPRD(2, m.ia.data(), m.ja.data(), m.a.data(), x, y);
  EXPECT_EQ(y[0], 6.0);
  EXPECT_EQ(y[1], 0.0);
}

TEST(Smmtrn, PackedLowerTriangleOfAAt) {
  std::mt19937_64 rng(11);
  for (IWORD n : {1, 2, 7, 30}) {
    Csr m = sparse_test::random_csr(rng, n, 12, 0.3, true);
    const auto D = sparse_test::dense(m);
    std::vector<double> ap(n * (n + 1) / 2 + 1, kSentinel);
    ORVK_SMMTRN(m.ia.data(), m.ja.data(), m.a.data(), &n, ap.data());
    for (IWORD i = 1; i <= n; ++i)
      for (IWORD j = 1; j <= i; ++j) {
        double s = 0.0, b = 0.0;
        for (IWORD c = 0; c < 12; ++c) {
          s += D[(i - 1) * 12 + c] * D[(j - 1) * 12 + c];
          b += std::fabs(D[(i - 1) * 12 + c] * D[(j - 1) * 12 + c]);
        }
        expect_close(ap[i * (i - 1) / 2 + j - 1], s, b, "SMMTRN", i * (i - 1) / 2 + j);
      }
    EXPECT_EQ(ap.back(), kSentinel);
  }
}

TEST(Smmtrn, SingleRowAndRepeatedColumns) {
  Csr row = sparse_test::from_rows(2, {{{1, 1.0}, {2, 2.0}}});
  const IWORD one = 1;
  double ap = 0.0;
  ORVK_SMMTRN(row.ia.data(), row.ja.data(), row.a.data(), &one, &ap);
  EXPECT_EQ(ap, 5.0);
  // Column 1 twice: every matching pair counts, (1 + 2)^2 = 9.
  Csr dup = sparse_test::from_rows(1, {{{1, 1.0}, {1, 2.0}}});
  ORVK_SMMTRN(dup.ia.data(), dup.ja.data(), dup.a.data(), &one, &ap);
  EXPECT_EQ(ap, 9.0);
}

}  // namespace

namespace {

// A row pointer below 1 names positions outside the entry arrays: they take
// no part in the products.  The arrays sit behind guard words (column 1,
// value NaN) that a read below position 1 would pick up.  Row 1 holds the
// positions IA(1)..2 of which only 1 and 2 exist; the matrix is
// [[1, 2], [0, 3]].
TEST(SparseProducts, RowPointersBelowOneLeaveOutTheMissingPositions) {
  constexpr int kGuard = 4;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<IWORD> jbuf(kGuard, 1);
  std::vector<double> abuf(kGuard, nan);
  for (IWORD c : {1, 2, 2}) jbuf.push_back(c);
  for (double v : {1.0, 2.0, 3.0}) abuf.push_back(v);
  const IWORD* ja = jbuf.data() + kGuard;
  const double* a = abuf.data() + kGuard;
  const IWORD n = 2, one = 1, zero = 0;
  const std::vector<double> x = {1.0, 1.0};
  for (IWORD start : {IWORD{0}, IWORD{-3}}) {
    const std::vector<IWORD> ia = {start, 3, 4};
    std::vector<double> y(2, -1.0);
    ORVK_SMVMUL(&n, &one, &n, ia.data(), ja, &zero, a, &zero, x.data(), &zero, y.data());
    EXPECT_EQ(y, (std::vector<double>{3.0, 3.0})) << "SMVMUL, IA(1) = " << start;
    y.assign(2, -1.0);
    ORVK_SVMMUL(&n, &n, ia.data(), ja, &zero, a, &zero, x.data(), &zero, y.data());
    EXPECT_EQ(y, (std::vector<double>{1.0, 5.0})) << "SVMMUL, IA(1) = " << start;
    std::vector<double> ap(3, -1.0);
    ORVK_SMMTRN(ia.data(), ja, a, &n, ap.data());
    EXPECT_EQ(ap, (std::vector<double>{5.0, 6.0, 9.0})) << "SMMTRN, IA(1) = " << start;
  }
}

}  // namespace
