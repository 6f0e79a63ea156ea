// Conversions and pruning: small-entry drop, packed triangle, sparse vector
// compression, lower triangle, full rows from a lower triangle, unit values
// on a pattern and the dense form.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "kernels/sparse.hpp"
#include "sparse_test_util.hpp"

namespace {

using sparse_test::Csr;
using Rows = std::vector<std::vector<std::pair<IWORD, double>>>;
constexpr double kSentinel = -777.0;

// Rows of a CSR triple as (column, value) lists.
Rows rows_of(IWORD n, const IWORD* ia, const IWORD* ja, const double* a) {
  Rows r(n);
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD k = ia[i - 1]; k < ia[i]; ++k) r[i - 1].push_back({ja[k - 1], a ? a[k - 1] : 0.0});
  return r;
}

TEST(Smdrop, ThresholdAndEmptiedRows) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Csr m = sparse_test::from_rows(
      4, {{{1, 1e-49}, {2, 1e-50}, {3, -1e-50}, {4, 0.0}}, {{1, 0.0}}, {{2, nan}, {4, -3.0}}, {}});
  std::vector<IWORD> ib(5), jb(8, -1);
  std::vector<double> b(8, kSentinel);
  orvika::SMDROP(4, m.ia.data(), m.ja.data(), m.a.data(), ib.data(), jb.data(), b.data());
  EXPECT_EQ(ib, (std::vector<IWORD>{1, 2, 2, 4, 4}));
  EXPECT_EQ(jb[0], 1);
  EXPECT_EQ(b[0], 1e-49);
  EXPECT_EQ(jb[1], 2);
  EXPECT_TRUE(std::isnan(b[1]));  // NaN fails the comparison and is kept
  EXPECT_EQ(jb[2], 4);
  EXPECT_EQ(b[2], -3.0);
  EXPECT_EQ(b[3], kSentinel);
}

TEST(Pktosm, PackedTriangleToRows) {
  // Packed lower triangle by rows of [[4, ., .], [0, 5, .], [1e-60, -2, 6]].
  const double ap[6] = {4.0, 0.0, 5.0, 1e-60, -2.0, 6.0};
  std::vector<IWORD> ia(4), ja(6, -1);
  std::vector<double> a(6, kSentinel);
  orvika::PKTOSM(3, ap, ia.data(), ja.data(), a.data());
  EXPECT_EQ(ia, (std::vector<IWORD>{1, 2, 3, 5}));
  EXPECT_EQ((std::vector<IWORD>(ja.begin(), ja.begin() + 4)), (std::vector<IWORD>{1, 2, 2, 3}));
  EXPECT_EQ((std::vector<double>(a.begin(), a.begin() + 4)),
            (std::vector<double>{4.0, 5.0, -2.0, 6.0}));
}

TEST(Svdrop, DropsExactZerosOnly) {
  const IWORD j[6] = {0, 0, 7, 8, 9, 10};  // elements at IOFF = 2
  const double v[6] = {1.0, 1.0, 0.0, 2.0, -0.0, 3.0};
  IWORD jout[5] = {-1, -1, -1, -1, -1};
  double vout[5] = {kSentinel, kSentinel, kSentinel, kSentinel, kSentinel};
  IWORD ndrop = -1;
  orvika::SVDROP(4, 2, j, v, 1, jout, vout, ndrop);
  EXPECT_EQ(ndrop, 2);
  EXPECT_EQ(jout[0], -1);
  EXPECT_EQ(jout[1], 8);
  EXPECT_EQ(vout[1], 2.0);
  EXPECT_EQ(jout[2], 10);
  EXPECT_EQ(vout[2], 3.0);
  EXPECT_EQ(vout[3], kSentinel);
  orvika::SVDROP(0, 0, j, v, 0, jout, vout, ndrop);
  EXPECT_EQ(ndrop, 0);
}

TEST(Smlowr, StopsAtFirstColumnBeyondRow) {
  Csr m = sparse_test::from_rows(3, {{{1, 1.0}, {2, 2.0}}, {{1, 3.0}, {3, 4.0}, {2, 5.0}},
                                     {{1, 6.0}, {2, 7.0}, {3, 8.0}}});
  std::vector<IWORD> ib(4), jb(8);
  std::vector<double> b(8, kSentinel);
  orvika::SMLOWR(1, 3, m.ia.data(), m.ja.data(), m.a.data(), ib.data(), jb.data(), b.data());
  EXPECT_EQ(ib, (std::vector<IWORD>{1, 2, 3, 6}));
  EXPECT_EQ(rows_of(3, ib.data(), jb.data(), b.data()),
            (Rows{{{1, 1.0}}, {{1, 3.0}}, {{1, 6.0}, {2, 7.0}, {3, 8.0}}}));
  // MODE 0 copies the pattern only.
  std::vector<double> b0(8, kSentinel);
  orvika::SMLOWR(0, 3, m.ia.data(), m.ja.data(), m.a.data(), ib.data(), jb.data(), b0.data());
  EXPECT_EQ(b0[0], kSentinel);
  EXPECT_EQ(ib[3], 6);
}

// Full rows of a lower triangle by the definition: row i = its stored
// entries, then one entry (column j) for each later row j holding column i,
// valued by the first such entry of row j.
Rows symf_reference(const Csr& m) {
  Rows r(m.n);
  for (IWORD i = 1; i <= m.n; ++i) {
    for (IWORD k = m.ia[i - 1]; k < m.ia[i]; ++k) r[i - 1].push_back({m.ja[k - 1], m.a[k - 1]});
    for (IWORD j = i + 1; j <= m.n; ++j)
      for (IWORD k = m.ia[j - 1]; k < m.ia[j]; ++k)
        if (m.ja[k - 1] == i) {
          r[i - 1].push_back({j, m.a[k - 1]});
          break;
        }
  }
  return r;
}

TEST(Smsymf, RandomLowerTrianglesMatchDefinitionAndDense) {
  std::mt19937_64 rng(17);
  for (IWORD n : {1, 2, 5, 20, 90}) {
    for (bool shuffle : {false, true}) {
      Csr m = sparse_test::random_csr(rng, n, n, 0.2, shuffle, true);
      std::vector<IWORD> ib(n + 1), jb(2 * m.nnz() + 1);
      std::vector<double> b(2 * m.nnz() + 1, kSentinel);
      orvika::SMSYMF(1, n, m.ia.data(), m.ja.data(), m.a.data(), ib.data(), jb.data(), b.data());
      EXPECT_EQ(rows_of(n, ib.data(), jb.data(), b.data()), symf_reference(m)) << n;
      // Dense check: the full rows are the symmetric matrix.
      auto full = sparse_test::dense(n, n, ib.data(), jb.data(), b.data());
      auto low = sparse_test::dense(m);
      for (IWORD i = 0; i < n; ++i)
        for (IWORD j = 0; j < n; ++j) {
          const double want = j <= i ? low[i * n + j] : low[j * n + i];
          EXPECT_EQ(full[i * n + j], want) << n << " (" << i + 1 << "," << j + 1 << ")";
        }
    }
  }
}

TEST(Smsymf, MirrorsKeptWhateverTheColumnArrayHolds) {
  // JA = (1, 3, 1): the second word of the column array exceeds 2, yet row 1
  // still receives the mirror of entry (3, 1).  Also a matrix with fewer
  // entries than rows, where no word past the column array may be read.
  Csr m = sparse_test::from_rows(3, {{{1, 1.0}}, {}, {{3, 2.0}, {1, 5.0}}});
  std::vector<IWORD> ib(4), jb(4);
  std::vector<double> b(4);
  orvika::SMSYMF(1, 3, m.ia.data(), m.ja.data(), m.a.data(), ib.data(), jb.data(), b.data());
  EXPECT_EQ(rows_of(3, ib.data(), jb.data(), b.data()),
            (Rows{{{1, 1.0}, {3, 5.0}}, {}, {{3, 2.0}, {1, 5.0}}}));

  Csr sparse = sparse_test::from_rows(6, {{}, {}, {}, {}, {{2, 1.0}}, {{6, 2.0}}});
  std::vector<IWORD> ib2(7), jb2(4);
  std::vector<double> b2(4);
  orvika::SMSYMF(1, 6, sparse.ia.data(), sparse.ja.data(), sparse.a.data(), ib2.data(), jb2.data(),
                 b2.data());
  EXPECT_EQ(rows_of(6, ib2.data(), jb2.data(), b2.data()),
            (Rows{{}, {{5, 1.0}}, {}, {}, {{2, 1.0}}, {{6, 2.0}}}));
}

TEST(Smsymf, DuplicateColumnMirroredOnceWithFirstValue) {
  Csr m = sparse_test::from_rows(2, {{}, {{1, 3.0}, {2, 1.0}, {1, 9.0}}});
  std::vector<IWORD> ib(3), jb(6), jb0(6);
  std::vector<double> b(6);
  orvika::SMSYMF(1, 2, m.ia.data(), m.ja.data(), m.a.data(), ib.data(), jb.data(), b.data());
  EXPECT_EQ(rows_of(2, ib.data(), jb.data(), b.data()),
            (Rows{{{2, 3.0}}, {{1, 3.0}, {2, 1.0}, {1, 9.0}}}));
}

TEST(Smidnt, UnitDiagonalOnPattern) {
  // Row 2 has no entry in column 2 and stays zero.
  Csr m = sparse_test::from_rows(3, {{{1, 0}, {2, 0}}, {{1, 0}, {3, 0}}, {{3, 0}, {3, 0}}});
  std::vector<double> a(1 + 6 + 1, kSentinel);
  orvika::SMIDNT(3, 6, 1, m.ia.data(), m.ja.data(), a.data());
  EXPECT_EQ(a, (std::vector<double>{kSentinel, 1, 0, 0, 0, 1, 1, kSentinel}));
}

struct TodnCase {
  IWORD nrows, m, ioff, iod;
};

class Smtodn : public ::testing::TestWithParam<TodnCase> {};

TEST_P(Smtodn, GroupsAtWordOffset) {
  const TodnCase tc = GetParam();
  std::mt19937_64 rng(3 + tc.iod);
  Csr m = sparse_test::random_csr(rng, tc.ioff + tc.nrows + 1, tc.m, 0.4, true);
  const auto D = sparse_test::dense(m);
  std::vector<double> d(tc.iod + tc.nrows * tc.m + 3, kSentinel);
  orvika::SMTODN(tc.nrows, tc.m, tc.ioff, m.ia.data(), m.ja.data(), m.a.data(), tc.iod, d.data());
  for (IWORD p = 0; p < static_cast<IWORD>(d.size()); ++p) {
    if (p < tc.iod || p >= tc.iod + tc.nrows * tc.m) {
      EXPECT_EQ(d[p], kSentinel) << "word " << p + 1;
      continue;
    }
    const IWORD q = p - tc.iod, r = q / tc.m + 1, c = q % tc.m + 1;
    EXPECT_EQ(d[p], D[(tc.ioff + r - 1) * tc.m + c - 1]) << "group " << r << " column " << c;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Smtodn,
                         ::testing::Values(TodnCase{3, 4, 0, 0}, TodnCase{3, 4, 2, 5},
                                           TodnCase{1, 1, 0, 1}, TodnCase{6, 9, 1, 13}));

TEST(SmtodnRepeated, LastValueKept) {
  Csr m = sparse_test::from_rows(2, {{{2, 1.0}, {2, 4.0}}});
  double d[2] = {kSentinel, kSentinel};
  orvika::SMTODN(1, 2, 0, m.ia.data(), m.ja.data(), m.a.data(), 0, d);
  EXPECT_EQ(d[0], 0.0);
  EXPECT_EQ(d[1], 4.0);
}

}  // namespace
