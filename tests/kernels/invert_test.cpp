// ORVK_INVERT: Gauss-Jordan inverse with complete pivoting.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dense_test_util.hpp"
#include "orvika/kernels_dense.h"

namespace {

using Vec = std::vector<double>;
using IVec = std::vector<IWORD>;

struct Result {
  Vec ainv, piv, work, aug;
  IVec ir, ic;
  IWORD ierr = -99;
};

Result invert(const Vec& a, IWORD n, IWORD lda, double tol) {
  Result r;
  r.ainv.assign(lda * n, -5.0);
  r.piv.assign(n, -5.0);
  r.work.assign(lda * 2 * n, -5.0);
  r.aug.assign(lda * 2 * n, -5.0);
  r.ir.assign(n, -5);
  r.ic.assign(n, -5);
  ORVK_INVERT(a.data(), &n, r.ainv.data(), &r.ierr, r.ir.data(), r.ic.data(), r.aug.data(),
              r.piv.data(), r.work.data(), &lda, nullptr, &tol);
  return r;
}

class InvertRandom : public ::testing::TestWithParam<IWORD> {};

TEST_P(InvertRandom, ProductIsIdentity) {
  const IWORD n = GetParam(), lda = n + 2;
  const Vec a = dense_test::random_matrix(lda, n, 500 + static_cast<unsigned>(n));
  const auto r = invert(a, n, lda, 1e-10);
  ASSERT_EQ(r.ierr, 0);
  EXPECT_LT(dense_test::inverse_ratio(a, r.ainv, lda, n), dense_test::kRatioLimit) << "n=" << n;
  // WORK: identity on the left, the inverse on the right.
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) {
      EXPECT_NEAR(r.work[i + j * lda], i == j ? 1.0 : 0.0, 1e-12);
      EXPECT_EQ(r.work[i + (n + j) * lda], r.ainv[i + j * lda]);
    }
  // Each row and column is pivot exactly once.
  std::vector<int> rows(n + 1), cols(n + 1);
  for (IWORD k = 0; k < n; ++k) {
    ++rows[r.ir[k]];
    ++cols[r.ic[k]];
  }
  for (IWORD k = 1; k <= n; ++k) {
    EXPECT_EQ(rows[k], 1);
    EXPECT_EQ(cols[k], 1);
  }
  // The same array for A and AINV.
  Vec same = a;
  Result s = invert(a, n, lda, 1e-10);
  const double tol = 1e-10;
  ORVK_INVERT(same.data(), &n, same.data(), &s.ierr, s.ir.data(), s.ic.data(), s.aug.data(),
              s.piv.data(), s.work.data(), &lda, nullptr, &tol);
  ASSERT_EQ(s.ierr, 0);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) EXPECT_EQ(same[i + j * lda], r.ainv[i + j * lda]);
}

INSTANTIATE_TEST_SUITE_P(Sizes, InvertRandom, ::testing::Values(1, 2, 3, 5, 10, 50));

TEST(Invert, OneByOne) {
  const auto r = invert({4.0}, 1, 1, 1e-10);
  EXPECT_EQ(r.ierr, 0);
  EXPECT_EQ(r.ainv[0], 0.25);
  EXPECT_EQ(r.ir[0], 1);
  EXPECT_EQ(r.ic[0], 1);
  EXPECT_EQ(r.piv[0], 4.0);
  EXPECT_EQ(r.work, (Vec{1.0, 0.25}));
}

TEST(Invert, CompletePivotingOrder) {
  // Rows (1,2),(3,4): first pivot 4 at (2,2).
  const auto r = invert({1, 3, 2, 4}, 2, 2, 1e-10);
  EXPECT_EQ(r.ierr, 0);
  EXPECT_EQ(r.ir, (IVec{2, 1}));
  EXPECT_EQ(r.ic, (IVec{2, 1}));
  EXPECT_EQ(r.piv, (Vec{4, -0.5}));
  EXPECT_DOUBLE_EQ(r.ainv[0], -2.0);
  EXPECT_DOUBLE_EQ(r.ainv[1], 1.5);
  EXPECT_DOUBLE_EQ(r.ainv[2], 1.0);
  EXPECT_DOUBLE_EQ(r.ainv[3], -0.5);
}

TEST(Invert, TiesGoToTheFirstPairInRowOrder) {
  // |A| has 5 at (1,3) and (2,1): (1,3) comes first row by row.
  const auto r = invert({1, -5, 0, 0, 1, 0, 5, 0, 1}, 3, 3, 0.0);
  EXPECT_EQ(r.ierr, 0);
  EXPECT_EQ(r.ir[0], 1);
  EXPECT_EQ(r.ic[0], 3);
}

struct FailCase {
  const char* what;
  IWORD n;
  Vec a;
  double tol;
  IWORD ierr;
  IVec ir, ic;
  Vec piv;  // first entries checked
};

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Invert, FailureTable) {
  const std::vector<FailCase> cases = {
      {"zero row: no nonzero element at step 2", 2, {1, 0, 2, 0}, 0.0, 1, {1, 1}, {2, 1}, {2, 0}},
      {"pivot below tolerance", 2, {1, 0, 0, 1e-12}, 1e-10, 2, {1, 2}, {1, 2}, {1, 1e-12}},
      {"zero matrix", 2, {0, 0, 0, 0}, 0.0, 1, {1}, {1}, {0}},
      // An infinite element is the largest: the pivot is not finite.
      {"infinite 1x1", 1, {-kInf}, 1e-10, 1, {1}, {1}, {-kInf}},
      {"infinite diagonal element", 2, {kInf, 0, 0, 1}, 1e-10, 1, {1}, {1}, {kInf}},
      {"infinite element in column 2", 2, {1, 0, kInf, 1}, 0.0, 2, {1}, {2}, {kInf}},
  };
  for (const auto& c : cases) {
    const auto r = invert(c.a, c.n, c.n, c.tol);
    EXPECT_EQ(r.ierr, c.ierr) << c.what;
    for (size_t k = 0; k < c.ir.size(); ++k) {
      EXPECT_EQ(r.ir[k], c.ir[k]) << c.what;
      EXPECT_EQ(r.ic[k], c.ic[k]) << c.what;
      EXPECT_EQ(r.piv[k], c.piv[k]) << c.what;
    }
    EXPECT_EQ(r.ainv, Vec(c.n * c.n, 0.0)) << c.what;
  }
}

// A failure at step 3 of a 3x3 matrix: the steps done are complete in both
// halves of AUG (as a plain step-by-step elimination leaves them), and WORK
// keeps the pivot column of each step done as it was before that step.
TEST(Invert, FailureLeavesTheStepsDone) {
  // Rows (2,0,1), (0,4,0), (2,0,1): singular after two steps.
  const auto r = invert({2, 0, 2, 0, 4, 0, 1, 0, 1}, 3, 3, 0.0);
  EXPECT_EQ(r.ierr, 1);
  EXPECT_EQ(r.ir, (IVec{2, 1, 1}));
  EXPECT_EQ(r.ic, (IVec{2, 1, 1}));
  // Step 1 pivots at (2,2) = 4, step 2 at (1,1) = 2; row 3 becomes zero.
  const Vec aug = {1, 0, 0, 0, 1, 0, 0.5, 0, 0, 0.5, 0, -1, 0, 0.25, 0, 0, 0, 1};
  EXPECT_EQ(r.aug, aug);
  EXPECT_EQ(Vec(r.work.begin() + 6, r.work.begin() + 12), (Vec{0, 4, 0, 2, 0, 2}));
}

TEST(Invert, NanIsNeverAPivot) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto r = invert({nan, 0, 0, 2}, 2, 2, 0.0);
  EXPECT_EQ(r.ir[0], 2);
  EXPECT_EQ(r.ic[0], 2);
  EXPECT_EQ(r.ierr, 1);  // only the NaN remains at step 2
}

TEST(Invert, EmptyAndBadLeadingDimension) {
  IWORD ierr = 7;
  const IWORD zero = 0, two = 2, one = 1;
  const double tol = 0.0;
  ORVK_INVERT(nullptr, &zero, nullptr, &ierr, nullptr, nullptr, nullptr, nullptr, nullptr, &one,
              nullptr, &tol);
  EXPECT_EQ(ierr, 0);
  Vec a = {1, 2, 3, 4};
  ORVK_INVERT(a.data(), &two, a.data(), &ierr, nullptr, nullptr, nullptr, nullptr, nullptr, &one,
              nullptr, &tol);
  EXPECT_EQ(ierr, -10);
  EXPECT_EQ(a, (Vec{1, 2, 3, 4}));
}

}  // namespace
