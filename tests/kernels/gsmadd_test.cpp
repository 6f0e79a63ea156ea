// Sparse sum with a marker vector: dense reference, order of construction,
// capacity of JC and of the work vectors (every column checked).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "kernels/sparse.hpp"
#include "sparse_test_util.hpp"
#include "support/capture.hpp"

namespace {

using sparse_test::Csr;
using Row = std::vector<std::pair<IWORD, double>>;
constexpr IWORD kUnit = 6;

using SumResult = sparse_test::Built;

// Runs GSMADD with arrays of exactly the given capacities.
SumResult run_gsmadd(const Csr& a, const Csr& b, IWORD lenjc, IWORD lenx) {
  return sparse_test::run_builder(kUnit, a.n, lenjc, lenx, [&](SumResult& r, IWORD* ix, double* x) {
    orvika::GSMADD(kUnit, a.n, a.ncol, a.ia.data(), a.ja.data(), a.a.data(), b.ia.data(),
                   b.ja.data(), b.a.data(), lenjc, r.ic.data(), r.jc.data(), r.c.data(), lenx, ix,
                   x, r.ierr);
  });
}

// Row i of A + B in order of construction: A's entries, then B's columns
// not in A's row, in B's order.
Row expected_row(const Csr& a, const Csr& b, IWORD i) {
  Row row;
  for (IWORD k = a.ia[i - 1]; k < a.ia[i]; ++k) row.push_back({a.ja[k - 1], a.a[k - 1]});
  for (IWORD k = b.ia[i - 1]; k < b.ia[i]; ++k) {
    bool found = false;
    for (auto& e : row)
      if (e.first == b.ja[k - 1]) {
        e.second += b.a[k - 1];
        found = true;
      }
    if (!found) row.push_back({b.ja[k - 1], b.a[k - 1]});
  }
  return row;
}

TEST(Gsmadd, RowsStayInOrderOfConstruction) {
  Csr a = sparse_test::from_rows(5, {{{2, 1.0}, {5, 1.0}}});
  Csr b = sparse_test::from_rows(5, {{{3, 1.0}, {5, 2.0}}});
  SumResult r = run_gsmadd(a, b, 4, 5);
  ASSERT_EQ(r.ierr, 0);
  EXPECT_EQ(r.ic, (std::vector<IWORD>{1, 4}));
  EXPECT_EQ(r.jc_head(3), (std::vector<IWORD>{2, 5, 3}));
  EXPECT_EQ(r.c_head(3), (std::vector<double>{1.0, 3.0, 1.0}));
}

TEST(Gsmadd, RandomMatchesDenseSum) {
  std::mt19937_64 rng(77);
  for (auto [n, ncol, dens] : {std::tuple<IWORD, IWORD, double>{1, 1, 1.0}, {4, 6, 0.5},
                               {30, 20, 0.2}, {120, 200, 0.03}}) {
    Csr a = sparse_test::random_csr(rng, n, ncol, dens, true);
    Csr b = sparse_test::random_csr(rng, n, ncol, dens, true);
    SumResult r = run_gsmadd(a, b, a.nnz() + b.nnz() + 1, ncol);
    ASSERT_EQ(r.ierr, 0);
    for (IWORD i = 1; i <= n; ++i) {
      Row got;
      for (IWORD k = r.ic[i - 1]; k < r.ic[i]; ++k) got.push_back({r.jc[k - 1], r.c[k - 1]});
      EXPECT_EQ(got, expected_row(a, b, i)) << "row " << i;
    }
    const auto D = sparse_test::dense(n, ncol, r.ic.data(), r.jc.data(), r.c.data());
    const auto DA = sparse_test::dense(a), DB = sparse_test::dense(b);
    for (IWORD p = 0; p < n * ncol; ++p) EXPECT_EQ(D[p], DA[p] + DB[p]);
  }
}

TEST(Gsmadd, JcCapacityNeedsOneSpareWord) {
  std::mt19937_64 rng(3);
  Csr a = sparse_test::random_csr(rng, 10, 10, 0.3, true);
  Csr b = sparse_test::random_csr(rng, 10, 10, 0.3, true);
  IWORD nnz = 0;
  for (IWORD i = 1; i <= 10; ++i) nnz += static_cast<IWORD>(expected_row(a, b, i).size());
  SumResult ok = run_gsmadd(a, b, nnz + 1, 10);
  EXPECT_EQ(ok.ierr, 0);
  EXPECT_EQ(ok.text, "");
  EXPECT_EQ(ok.ic[10], nnz + 1);
  SumResult full = run_gsmadd(a, b, nnz, 10);
  EXPECT_EQ(full.ierr, 1);
  EXPECT_EQ(full.text, "\n  WARNING: LENGTH OF JC IS EXCEEDED IN GSMADD\n");
}

TEST(Gsmadd, EveryColumnCheckedAgainstWorkLength) {
  // Unsorted rows: the largest column is not the last one of its row.
  Csr a = sparse_test::from_rows(6, {{{6, 1.0}, {1, 1.0}}, {{2, 1.0}}});
  Csr b = sparse_test::from_rows(6, {{{3, 1.0}}, {{5, 1.0}, {2, 4.0}}});
  SumResult shortx = run_gsmadd(a, b, 10, 5);
  EXPECT_EQ(shortx.ierr, 1);
  EXPECT_EQ(shortx.text, "\n  WARNING: LENGTH OF IX,X IS EXCEEDED IN GSMADD\n");
  Csr a2 = sparse_test::from_rows(6, {{{1, 1.0}}, {{2, 1.0}}});
  SumResult shortb = run_gsmadd(a2, b, 10, 4);  // B's row 2 holds column 5 first
  EXPECT_EQ(shortb.ierr, 1);
  EXPECT_EQ(shortb.text, "\n  WARNING: LENGTH OF IX,X IS EXCEEDED IN GSMADD\n");
  SumResult exact = run_gsmadd(a, b, 10, 6);
  EXPECT_EQ(exact.ierr, 0);
  EXPECT_EQ(exact.text, "");
}

TEST(Gsmadd, EmptyMatrixNeedsOneWord) {
  Csr a, b;
  a.ncol = b.ncol = 3;
  SumResult ok = run_gsmadd(a, b, 1, 3);
  EXPECT_EQ(ok.ierr, 0);
  EXPECT_EQ(ok.ic, (std::vector<IWORD>{1}));
  SumResult none = run_gsmadd(a, b, 0, 3);
  EXPECT_EQ(none.ierr, 1);
}

}  // namespace
