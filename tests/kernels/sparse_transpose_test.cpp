// Transpose of a row-permuted matrix (PERMU1) and symmetric permutation of a
// lower triangle (PERMU2): dense references, order of the rows, capacity.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "kernels/sparse.hpp"
#include "sparse_test_util.hpp"
#include "support/capture.hpp"

namespace {

using sparse_test::Csr;
using Rows = std::vector<std::vector<std::pair<IWORD, double>>>;
constexpr IWORD kUnit = 6;

Rows rows_of(IWORD n, const IWORD* ia, const IWORD* ja, const double* a) {
  Rows r(n);
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD k = ia[i - 1]; k < ia[i]; ++k) r[i - 1].push_back({ja[k - 1], a ? a[k - 1] : 0.0});
  return r;
}

std::vector<IWORD> random_perm(std::mt19937_64& rng, IWORD n) {
  std::vector<IWORD> p(n);
  std::iota(p.begin(), p.end(), 1);
  std::shuffle(p.begin(), p.end(), rng);
  return p;
}

TEST(Permu1, SmallExampleWithAndWithoutPermutation) {
  const double a = 1.5, b = 2.5, c = 3.5;
  Csr m = sparse_test::from_rows(3, {{{1, a}, {3, b}}, {{1, c}}});
  const std::vector<IWORD> perm = {2, 1};
  std::vector<IWORD> ic(4), jc(3);
  std::vector<double> cv(3);
  IWORD ierr = 0;
  orvika::PERMU1(kUnit, 2, 2, 3, m.ia.data(), m.ja.data(), m.a.data(), perm.data(), 3, ic.data(),
                 jc.data(), cv.data(), ierr);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(rows_of(3, ic.data(), jc.data(), cv.data()), (Rows{{{1, a}, {2, c}}, {}, {{1, b}}}));
  orvika::PERMU1(kUnit, 1, 2, 3, m.ia.data(), m.ja.data(), m.a.data(), perm.data(), 3, ic.data(),
                 jc.data(), cv.data(), ierr);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(rows_of(3, ic.data(), jc.data(), cv.data()), (Rows{{{1, c}, {2, a}}, {}, {{2, b}}}));
}

struct TransCase {
  IWORD n, ncol;
  double density;
  IWORD mode;
};

class Permu1Random : public ::testing::TestWithParam<TransCase> {};

TEST_P(Permu1Random, TransposeOfPermutedRows) {
  const TransCase tc = GetParam();
  std::mt19937_64 rng(41 + tc.n + tc.mode);
  Csr m = sparse_test::random_csr(rng, tc.n, tc.ncol, tc.density, true);
  const auto perm = random_perm(rng, tc.n);
  const IWORD nnz = m.nnz();
  std::vector<IWORD> ic(tc.ncol + 1), jc(std::max<IWORD>(nnz, 1));
  std::vector<double> c(std::max<IWORD>(nnz, 1), -777.0);
  IWORD ierr = 0;
  orvika::PERMU1(kUnit, tc.mode, tc.n, tc.ncol, m.ia.data(), m.ja.data(), m.a.data(), perm.data(),
                 nnz, ic.data(), jc.data(), c.data(), ierr);
  ASSERT_EQ(ierr, 0);
  EXPECT_EQ(ic[tc.ncol], m.ia[tc.n]);
  const IWORD mode = static_cast<std::int32_t>(tc.mode);  // low 32 bits
  const bool permute = mode != 2 && mode != 3;
  const auto D = sparse_test::dense(m);
  // Row r of C: the new row numbers i in ascending order, values A(perm(i), r).
  for (IWORD r = 1; r <= tc.ncol; ++r) {
    std::vector<std::pair<IWORD, double>> want;
    for (IWORD i = 1; i <= tc.n; ++i) {
      const IWORD src = permute ? perm[i - 1] : i;
      const double v = D[(src - 1) * tc.ncol + r - 1];
      if (v != 0.0) want.push_back({i, v});
    }
    std::vector<std::pair<IWORD, double>> got;
    for (IWORD k = ic[r - 1]; k < ic[r]; ++k)
      got.push_back({jc[k - 1], mode == 3 ? D[((permute ? perm[jc[k - 1] - 1] : jc[k - 1]) - 1) *
                                                   tc.ncol + r - 1]
                                             : c[k - 1]});
    EXPECT_EQ(got, want) << "row " << r;
  }
  if (mode == 3)
    for (double v : c) EXPECT_EQ(v, -777.0);  // pattern only
}

INSTANTIATE_TEST_SUITE_P(Cases, Permu1Random,
                         ::testing::Values(TransCase{1, 1, 1.0, 1}, TransCase{6, 4, 0.5, 1},
                                           TransCase{40, 25, 0.15, 1}, TransCase{40, 25, 0.15, 2},
                                           TransCase{40, 25, 0.15, 3},
                                           // MODE compared on its low 32 bits.
                                           TransCase{30, 30, 0.2, (IWORD{1} << 32) + 3},
                                           TransCase{150, 90, 0.03, 1}));

TEST(Permu1, CapacityAtLimitAndOneBelow) {
  std::mt19937_64 rng(8);
  Csr m = sparse_test::random_csr(rng, 12, 9, 0.4, true);
  const IWORD nnz = m.nnz();
  const auto perm = random_perm(rng, 12);
  for (IWORD lenjc : {nnz, nnz - 1}) {
    std::vector<IWORD> ic(10), jc(lenjc);
    std::vector<double> c(lenjc);
    IWORD ierr = 0;
    orvika_test::UnitCapture cap(kUnit);
    orvika::PERMU1(kUnit, 1, 12, 9, m.ia.data(), m.ja.data(), m.a.data(), perm.data(), lenjc,
                   ic.data(), jc.data(), c.data(), ierr);
    if (lenjc == nnz) {
      EXPECT_EQ(ierr, 0);
      EXPECT_TRUE(cap.lines().empty());
    } else {
      EXPECT_EQ(ierr, 1);
      EXPECT_EQ(cap.text(), "\n  WARNING: LENGTH OF JC IS EXCEEDED IN PERMU1\n");
    }
  }
}

TEST(Permu1, ErrorFlagIsNeverCleared) {
  Csr m = sparse_test::from_rows(2, {{{1, 1.0}}, {{2, 1.0}}});
  const std::vector<IWORD> perm = {1, 2};
  std::vector<IWORD> ic(3), jc(2);
  std::vector<double> c(2);
  IWORD ierr = 1;
  orvika::PERMU1(kUnit, 1, 2, 2, m.ia.data(), m.ja.data(), m.a.data(), perm.data(), 2, ic.data(),
                 jc.data(), c.data(), ierr);
  EXPECT_EQ(ierr, 1);
}

// Symmetric S as its lower triangle (rows shuffled).
struct SymLower {
  IWORD n;
  Csr low;
  std::vector<double> S;  // dense, row-major
};

SymLower random_lower(std::mt19937_64& rng, IWORD n, double density) {
  SymLower s{n, sparse_test::random_csr(rng, n, n, density, true, true), {}};
  s.S.assign(n * n, 0.0);
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD k = s.low.ia[i - 1]; k < s.low.ia[i]; ++k) {
      const IWORD c = s.low.ja[k - 1];
      s.S[(i - 1) * n + c - 1] = s.low.a[k - 1];
      s.S[(c - 1) * n + i - 1] = s.low.a[k - 1];
    }
  return s;
}

// The library's two-call symmetric permutation: MODE 1 on the matrix, then
// MODE 2 on the result with the first call's input arrays as IC/JC/C.
// Returns the second call's C as rows.
Rows symmetric_permute(const SymLower& s, const std::vector<IWORD>& perm, IWORD& ierr) {
  const IWORD n = s.n, nnz = s.low.nnz();
  std::vector<IWORD> ia = s.low.ia, ja = s.low.ja;
  std::vector<double> a = s.low.a;
  std::vector<IWORD> ib(n + 1), jb(nnz), ib2(n + 1), jb2(nnz);
  std::vector<double> b(nnz), b2(nnz);
  orvika::PERMU2(kUnit, 1, n, ia.data(), ja.data(), a.data(), perm.data(), nnz, ib.data(),
                 jb.data(), b.data(), nullptr, nullptr, nullptr, ierr);
  orvika::PERMU2(kUnit, 2, n, ib.data(), jb.data(), b.data(), perm.data(), nnz, ib2.data(),
                 jb2.data(), b2.data(), ia.data(), ja.data(), a.data(), ierr);
  return rows_of(n, ia.data(), ja.data(), a.data());
}

TEST(Permu2, IdentityGivesBackSortedLowerTriangle) {
  std::mt19937_64 rng(2);
  for (IWORD n : {1, 3, 25}) {
    SymLower s = random_lower(rng, n, 0.3);
    std::vector<IWORD> id(n);
    std::iota(id.begin(), id.end(), 1);
    IWORD ierr = 0;
    Rows got = symmetric_permute(s, id, ierr);
    ASSERT_EQ(ierr, 0);
    Rows want = rows_of(n, s.low.ia.data(), s.low.ja.data(), s.low.a.data());
    for (auto& r : want) std::sort(r.begin(), r.end());
    EXPECT_EQ(got, want) << n;
  }
}

TEST(Permu2, RandomPermutationGivesLowerTriangleOfPSPt) {
  std::mt19937_64 rng(23);
  for (IWORD n : {2, 9, 60}) {
    SymLower s = random_lower(rng, n, 0.2);
    const auto perm = random_perm(rng, n);
    IWORD ierr = 0;
    Rows got = symmetric_permute(s, perm, ierr);
    ASSERT_EQ(ierr, 0);
    // B = P L P^T, B(i, j) = L(perm(i), perm(j)); row t of the fold holds
    // first the entries B(r, t), r < t ascending, then B(t, c), c <= t
    // ascending.  Together they are the lower triangle of P S P^T.
    const auto L = sparse_test::dense(s.low);
    auto B = [&](IWORD i, IWORD j) { return L[(perm[i - 1] - 1) * n + perm[j - 1] - 1]; };
    for (IWORD t = 1; t <= n; ++t) {
      std::vector<std::pair<IWORD, double>> want;
      for (IWORD r = 1; r < t; ++r)
        if (B(r, t) != 0.0) want.push_back({r, B(r, t)});
      for (IWORD c = 1; c <= t; ++c)
        if (B(t, c) != 0.0) want.push_back({c, B(t, c)});
      EXPECT_EQ(got[t - 1], want) << "row " << t;
      for (auto [c, v] : got[t - 1]) EXPECT_EQ(v, s.S[(perm[t - 1] - 1) * n + perm[c - 1] - 1]);
    }
  }
}

TEST(Permu2, CapacityOfJbAndOfTheFold) {
  std::mt19937_64 rng(4);
  SymLower s = random_lower(rng, 10, 0.4);
  const IWORD n = 10, nnz = s.low.nnz();
  std::vector<IWORD> id(n);
  std::iota(id.begin(), id.end(), 1);
  {  // JB one short.
    std::vector<IWORD> ia = s.low.ia, ib(n + 1), jb(nnz - 1);
    std::vector<double> b(nnz - 1);
    IWORD ierr = 0;
    orvika_test::UnitCapture cap(kUnit);
    orvika::PERMU2(kUnit, 1, n, ia.data(), s.low.ja.data(), s.low.a.data(), id.data(), nnz - 1,
                   ib.data(), jb.data(), b.data(), nullptr, nullptr, nullptr, ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(cap.text(), "\n  WARNING: LENGTH OF JB IS EXCEEDED IN PERMU2\n");
  }
  {  // The fold starts at IC(1) as found: starting at 2 needs one word more.
    std::vector<IWORD> ia = s.low.ia, ib(n + 1), jb(nnz), ic(n + 1), jc(nnz);
    std::vector<double> b(nnz), c(nnz);
    ic[0] = 2;
    IWORD ierr = 0;
    orvika_test::UnitCapture cap(kUnit);
    orvika::PERMU2(kUnit, 2, n, ia.data(), s.low.ja.data(), s.low.a.data(), id.data(), nnz,
                   ib.data(), jb.data(), b.data(), ic.data(), jc.data(), c.data(), ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(cap.text(), "\n  WARNING: LENGTH OF JC IS EXCEEDED IN PERMU2\n");
  }
}

}  // namespace
