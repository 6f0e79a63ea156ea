// ORVK_SSOLVE: packed L D L^T solve against a dense reference, continuation.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "qp/qp_test_util.hpp"
#include "support/capture.hpp"

namespace {

using qp_test::Vec;

class SsolveTest : public ::testing::Test {
 protected:
  void SetUp() override { qp_test::reset_blocks(); }
  void TearDown() override {
    for (IWORD& w : ORVK_NLPINT) w = 0;
  }
};

// Random symmetric positive definite matrix, full row-major, and its packing.
void spd(std::mt19937& rng, int n, Vec& full, Vec& packed) {
  std::uniform_real_distribution<double> u(-1, 1);
  Vec m(n * n);
  for (double& v : m) v = u(rng);
  full.assign(n * n, 0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = i == j ? n : 0;
      for (int k = 0; k < n; ++k) s += m[k * n + i] * m[k * n + j];
      full[i * n + j] = s;
    }
  packed.clear();
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) packed.push_back(full[i * n + j]);
}

Vec solve(IWORD n, const Vec& a, const Vec& b, IWORD iprint = 0) {
  Vec x(n, 0.0);
  ORVK_SSOLVE(&n, a.data(), b.data(), x.data(), &iprint);
  return x;
}

TEST_F(SsolveTest, AgreesWithDenseSolve) {
  std::mt19937 rng(11);
  for (int n : {1, 2, 3, 7, 20, 60, 200}) {
    Vec full, a;
    spd(rng, n, full, a);
    Vec b(n);
    for (double& v : b) v = std::sin(1.0 + n + 0.5 * (&v - b.data()));
    Vec ref = b;
    ASSERT_TRUE(qp_test::dense_solve(n, full, ref));
    const Vec x = solve(n, a, b);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], ref[i], 1e-10 * (1 + std::fabs(ref[i]))) << n;
    EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_ROW1 - 1], 1);
    EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_ROW2 - 1], n);
  }
}

TEST_F(SsolveTest, OneByOne) {
  const Vec x = solve(1, {4.0}, {2.0});
  EXPECT_EQ(x[0], 0.5);
}

TEST_F(SsolveTest, ContinuationEqualsFreshSolve) {
  std::mt19937 rng(12);
  const int n = 9, n0 = 5;
  Vec full, a;
  spd(rng, n, full, a);
  Vec b(n);
  for (int i = 0; i < n; ++i) b[i] = 1.0 + i;
  const Vec fresh = solve(n, a, b);
  solve(n0, Vec(a.begin(), a.begin() + n0 * (n0 + 1) / 2), Vec(b.begin(), b.begin() + n0));
  ORVK_NLPINT[ORVK_NLPINT_ROW1 - 1] = n0 + 1;
  ORVK_NLPINT[ORVK_NLPINT_ROW2 - 1] = n;
  ORVK_NLPINT[ORVK_NLPINT_SSMODE - 1] = 2;
  const Vec cont = solve(n, a, b);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(cont[i], fresh[i], 1e-13 * (1 + std::fabs(fresh[i])));
  // An empty range (word 70 > word 71) keeps the factors and recomputes X.
  ORVK_NLPINT[ORVK_NLPINT_ROW1 - 1] = n + 1;
  ORVK_NLPINT[ORVK_NLPINT_ROW2 - 1] = n;
  EXPECT_EQ(solve(n, a, b), cont);
  // A range that does not follow the kept rows starts afresh (words reset).
  ORVK_NLPINT[ORVK_NLPINT_ROW1 - 1] = 3;
  ORVK_NLPINT[ORVK_NLPINT_ROW2 - 1] = 4;
  const Vec again = solve(n, a, b);
  EXPECT_EQ(again, fresh);
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_ROW1 - 1], 1);
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_ROW2 - 1], n);
}

TEST_F(SsolveTest, ZeroLeadingPivotIsPassedOver) {
  // A = [0 0; 0 2]: column 1 skipped, X(1) formed from 0.
  const Vec x = solve(2, {0, 0, 2}, {1, 4});
  EXPECT_EQ(x[0], 0.0);
  EXPECT_EQ(x[1], 2.0);
}

TEST_F(SsolveTest, OrderBeyondStorageGivesNaN) {
  const IWORD n = 201;
  Vec a(n * (n + 1) / 2, 1.0), b(n, 1.0);
  const Vec x = solve(n, a, b);
  for (double v : x) EXPECT_TRUE(std::isnan(v));
}

TEST_F(SsolveTest, DumpsAtLevelThree) {
  orvika_test::UnitCapture cap(77);
  solve(2, {4, 2, 5}, {2, 3}, 3);
  // L = 0.5, D = (4, 4), Z = (2, 2), X = (0.25, 0.5).
  EXPECT_EQ(cap.text(),
            "\n  L         \n     5.00000D-01\n"
            "\n  D         \n     4.00000D+00  4.00000D+00\n"
            "\n  Z         \n     2.00000D+00  2.00000D+00\n"
            "\n  X         \n     2.50000D-01  5.00000D-01\n");
}

}  // namespace
