// Sparse products with a marker vector: general product (GSMMUL, which ends
// the process on a too-short array) and the lower triangle of a product
// (SSMMUL): dense references, order of first appearance, capacities.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "kernels/sparse.hpp"
#include "orvika/units.h"
#include "sparse_test_util.hpp"
#include "support/capture.hpp"

namespace {

using sparse_test::Csr;
using Row = std::vector<std::pair<IWORD, double>>;
constexpr IWORD kUnit = 6;

using ProdResult = sparse_test::Built;

ProdResult run_gsmmul(const Csr& a, const Csr& b, IWORD lenjc, IWORD lenx) {
  return sparse_test::run_builder(kUnit, a.n, lenjc, lenx, [&](ProdResult& r, IWORD* ix, double* x) {
    orvika::GSMMUL(kUnit, a.n, a.ncol, b.ncol, a.ia.data(), a.ja.data(), a.a.data(), b.ia.data(),
                   b.ja.data(), b.a.data(), lenjc, r.ic.data(), r.jc.data(), r.c.data(), lenx, ix,
                   x);
  });
}

ProdResult run_ssmmul(const Csr& a, const Csr& b, IWORD lenjc, IWORD lenx) {
  return sparse_test::run_builder(kUnit, a.n, lenjc, lenx, [&](ProdResult& r, IWORD* ix, double* x) {
    orvika::SSMMUL(kUnit, a.n, 0, a.ia.data(), a.ja.data(), a.a.data(), b.ia.data(), b.ja.data(),
                   b.a.data(), lenjc, r.ic.data(), r.jc.data(), r.c.data(), lenx, ix, x, r.ierr);
  });
}

// Row j of A B: columns in order of first appearance (for each entry of row
// j of A, the columns of the matching row of B); LOWER keeps columns <= j
// and ends each scan of a row of B at the first column beyond j.
Row expected_row(const Csr& a, const Csr& b, IWORD j, bool lower) {
  Row row;
  for (IWORD k = a.ia[j - 1]; k < a.ia[j]; ++k) {
    const IWORD r = a.ja[k - 1];
    for (IWORD l = b.ia[r - 1]; l < b.ia[r]; ++l) {
      const IWORD col = b.ja[l - 1];
      if (lower && col > j) break;
      auto it = std::find_if(row.begin(), row.end(), [&](auto& e) { return e.first == col; });
      if (it == row.end()) row.push_back({col, 0.0});
    }
  }
  return row;
}

IWORD product_nnz(const Csr& a, const Csr& b, bool lower) {
  IWORD nnz = 0;
  for (IWORD j = 1; j <= a.n; ++j) nnz += static_cast<IWORD>(expected_row(a, b, j, lower).size());
  return nnz;
}

void check_product(const Csr& a, const Csr& b, const ProdResult& r, bool lower) {
  const auto DA = sparse_test::dense(a), DB = sparse_test::dense(b);
  const auto P = sparse_test::matmul(DA, DB, a.n, a.ncol, b.ncol);
  for (IWORD j = 1; j <= a.n; ++j) {
    const Row want = expected_row(a, b, j, lower);
    ASSERT_EQ(r.ic[j] - r.ic[j - 1], static_cast<IWORD>(want.size())) << "row " << j;
    for (size_t q = 0; q < want.size(); ++q) {
      const IWORD p = r.ic[j - 1] + static_cast<IWORD>(q);
      EXPECT_EQ(r.jc[p - 1], want[q].first) << "row " << j;
      const double ref = P[(j - 1) * b.ncol + want[q].first - 1];
      EXPECT_NEAR(r.c[p - 1], ref, 1e-13 * (1.0 + std::fabs(ref))) << "row " << j;
    }
  }
}

TEST(Gsmmul, RandomMatchesDenseProduct) {
  std::mt19937_64 rng(12);
  for (auto [n, m, p, dens] : {std::tuple<IWORD, IWORD, IWORD, double>{1, 1, 1, 1.0},
                               {3, 4, 5, 0.5}, {25, 30, 20, 0.15}, {80, 60, 90, 0.05}}) {
    Csr a = sparse_test::random_csr(rng, n, m, dens, true);
    Csr b = sparse_test::random_csr(rng, m, p, dens, true);
    const IWORD nnz = product_nnz(a, b, false);
    ProdResult r = run_gsmmul(a, b, nnz + 1, p);
    EXPECT_EQ(r.text, "");
    check_product(a, b, r, false);
    // JC and C are cleared over their whole length first.
    EXPECT_EQ(r.jc[nnz], 0);
    EXPECT_EQ(r.c[nnz], 0.0);
  }
}

TEST(Ssmmul, RandomMatchesLowerTriangleOfDenseProduct) {
  std::mt19937_64 rng(13);
  for (auto [n, dens] : {std::pair<IWORD, double>{1, 1.0}, {4, 0.6}, {30, 0.15}, {100, 0.04}}) {
    Csr a = sparse_test::random_csr(rng, n, n, dens, true);
    Csr b = sparse_test::random_csr(rng, n, n, dens, false);  // ascending rows
    const IWORD nnz = product_nnz(a, b, true);
    ProdResult r = run_ssmmul(a, b, nnz + 1, n);
    ASSERT_EQ(r.ierr, 0);
    check_product(a, b, r, true);
  }
}

TEST(Ssmmul, IdentityAndFullTwoByTwo) {
  Csr id = sparse_test::from_rows(3, {{{1, 1.0}}, {{2, 1.0}}, {{3, 1.0}}});
  ProdResult r = run_ssmmul(id, id, 4, 3);
  ASSERT_EQ(r.ierr, 0);
  EXPECT_EQ(r.ic, (std::vector<IWORD>{1, 2, 3, 4}));
  EXPECT_EQ(r.jc_head(3), (std::vector<IWORD>{1, 2, 3}));
  Csr f = sparse_test::from_rows(2, {{{1, 1.0}, {2, 2.0}}, {{1, 3.0}, {2, 4.0}}});
  ProdResult s = run_ssmmul(f, f, 4, 2);
  ASSERT_EQ(s.ierr, 0);
  EXPECT_EQ(s.ic, (std::vector<IWORD>{1, 2, 4}));
  EXPECT_EQ(s.jc_head(3), (std::vector<IWORD>{1, 1, 2}));
  // [[1,2],[3,4]]^2 = [[7,10],[15,22]].
  EXPECT_EQ(s.c_head(3), (std::vector<double>{7, 15, 22}));
}

TEST(Ssmmul, CapacitiesReportAndSetFlag) {
  std::mt19937_64 rng(14);
  Csr a = sparse_test::random_csr(rng, 8, 8, 0.4, true);
  Csr b = sparse_test::random_csr(rng, 8, 8, 0.4, false);
  const IWORD nnz = product_nnz(a, b, true);
  ProdResult ok = run_ssmmul(a, b, nnz + 1, 8);
  EXPECT_EQ(ok.ierr, 0);
  EXPECT_EQ(ok.text, "");
  ProdResult full = run_ssmmul(a, b, nnz, 8);
  EXPECT_EQ(full.ierr, 1);
  EXPECT_EQ(full.text, "\n  WARNING: LENGTH OF JC IS EXCEEDED IN SSMMUL\n");
  ProdResult shortx = run_ssmmul(a, b, nnz + 1, 7);  // work vectors checked before clearing
  EXPECT_EQ(shortx.ierr, 1);
  EXPECT_EQ(shortx.text, "\n  WARNING: LENGTH OF IX,X IS EXCEEDED IN SSMMUL\n");
}

// A column of A that names no row of B (B has N rows) is passed over rather
// than read beyond B's row pointers.
TEST(Ssmmul, ColumnOutsideTheRowsOfBIsPassedOver) {
  Csr a = sparse_test::from_rows(3, {{{1, 2.0}, {3, 5.0}}, {{2, 1.0}}});  // column 3 > N = 2
  Csr b = sparse_test::from_rows(2, {{{1, 1.0}}, {{1, 4.0}, {2, 3.0}}});
  b.ia.shrink_to_fit();  // exactly N+1 row pointers: a read past them is caught
  ProdResult r = run_ssmmul(a, b, 10, 2);
  ASSERT_EQ(r.ierr, 0);
  EXPECT_EQ(r.ic, (std::vector<IWORD>{1, 2, 4}));
  EXPECT_EQ(r.jc_head(3), (std::vector<IWORD>{1, 1, 2}));
  EXPECT_EQ(r.c_head(3), (std::vector<double>{2, 4, 3}));
}

// A stop hook that returns, so the test can watch what GSMMUL does next.
int g_stops = 0;
void counting_hook(const char*, size_t) { ++g_stops; }

class GsmmulStop : public ::testing::Test {
 protected:
  void SetUp() override {
    g_stops = 0;
    old_ = orvk_set_stop_hook(&counting_hook);
  }
  void TearDown() override { orvk_set_stop_hook(old_); }
  orvk_stop_hook old_ = nullptr;
};

TEST_F(GsmmulStop, ShortArraysWarnThenStop) {
  std::mt19937_64 rng(15);
  Csr a = sparse_test::random_csr(rng, 9, 7, 0.4, true);
  Csr b = sparse_test::random_csr(rng, 7, 6, 0.4, true);
  const IWORD nnz = product_nnz(a, b, false);
  ProdResult ok = run_gsmmul(a, b, nnz + 1, 6);
  EXPECT_EQ(g_stops, 0);
  ProdResult full = run_gsmmul(a, b, nnz, 6);
  EXPECT_EQ(g_stops, 1);
  EXPECT_EQ(full.text, "\n  WARNING: LENGTH OF JC IS EXCEEDED IN GSMMUL\n");
  // The work vectors are checked before they are cleared (exact-size arrays).
  ProdResult shortx = run_gsmmul(a, b, nnz + 1, 5);
  EXPECT_EQ(g_stops, 2);
  EXPECT_EQ(shortx.text, "\n  WARNING: LENGTH OF IX,X IS EXCEEDED IN GSMMUL\n");
}

bool nonzero_exit(int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; }

TEST(GsmmulDeathTest, TooShortJcEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Csr a = sparse_test::from_rows(2, {{{1, 1.0}, {2, 1.0}}, {{2, 1.0}}});
  Csr b = sparse_test::from_rows(2, {{{1, 1.0}, {2, 1.0}}, {{2, 1.0}}});
  // The product has 3 entries: LENJC = 3 is one word short.
  EXPECT_EXIT(run_gsmmul(a, b, 3, 2), nonzero_exit, "");
  EXPECT_EXIT(run_gsmmul(a, b, 4, 1), nonzero_exit, "");
}

}  // namespace
