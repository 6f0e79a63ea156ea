// DMCHOL, DPKINV, DQFORM and VCOVAR: known factors, inverses and floors.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "regress/regress.hpp"

namespace {

using V = std::vector<double>;
constexpr double kTol = 1e-13;

TEST(Dmchol, FactorOfAKnownMatrix) {
  V a = {4, 2, 5, 1, 3, 6};
  IWORD irank = -9;
  orvika::DMCHOL(a.data(), 3, 1e-12, irank);
  const V u = {2, 1, 2, 0.5, 1.25, std::sqrt(67.0) / 4};
  EXPECT_EQ(irank, 0);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(a[k], u[k], kTol) << k;
}

TEST(Dpkinv, InverseOfAKnownMatrix) {
  V a = {4, 2, 5, 1, 3, 6};
  IWORD irank = -9;
  orvika::DPKINV(a.data(), 3, 1e-12, irank);
  const V inv = {21, -9, 23, 1, -10, 16};
  EXPECT_EQ(irank, 0);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(a[k], inv[k] / 67, kTol) << k;
}

struct FloorCase {
  const char* what;
  V a;
  double tol;
  IWORD irank;
  V factor;  // DMCHOL result
};

class FloorTest : public ::testing::TestWithParam<FloorCase> {};

TEST_P(FloorTest, FloorsThePivotAndReportsTheRow) {
  const FloorCase& c = GetParam();
  V a = c.a;
  IWORD irank = -9;
  orvika::DMCHOL(a.data(), 2, c.tol, irank);
  EXPECT_EQ(irank, c.irank);
  for (size_t k = 0; k < a.size(); ++k) EXPECT_NEAR(a[k], c.factor[k], 1e-15) << k;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FloorTest,
    ::testing::Values(FloorCase{"singular", {1, 1, 1}, 1e-6, 2, {1, 1, 1e-3}},
                      FloorCase{"negative first pivot", {-4, 0, 1}, 1e-6, 1, {2e-3, 0, 1}}));

TEST(Dpkinv, SingularMatrixGivesTheInverseOfTheFlooredFactor) {
  V a = {1, 1, 1};
  IWORD irank = 0;
  orvika::DPKINV(a.data(), 2, 1e-6, irank);
  EXPECT_EQ(irank, 2);
  EXPECT_NEAR(a[0], 1 + 1e6, 1e-6);
  EXPECT_NEAR(a[1], -1e6, 1e-6);
  EXPECT_NEAR(a[2], 1e6, 1e-6);
}

TEST(Dpkinv, EmptyMatrixIsLeftAlone) {
  V a = {7};
  IWORD irank = 0;
  orvika::DPKINV(a.data(), 0, 1e-6, irank);
  EXPECT_EQ(irank, -1);
  EXPECT_EQ(a[0], 7);
  orvika::DMCHOL(a.data(), -2, 1e-6, irank);
  EXPECT_EQ(irank, -1);
}

TEST(Dpkinv, RandomSpdMatrixTimesInverseIsIdentity) {
  const int n = 6;
  V m(n * n), full(n * n, 0.0);
  unsigned s = 12345;
  for (double& v : m) {
    s = s * 1103515245u + 12345u;
    v = (s >> 8) / double(1 << 24) - 0.5;
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double t = i == j ? 1.0 : 0.0;
      for (int k = 0; k < n; ++k) t += m[k + i * n] * m[k + j * n];
      full[i + j * n] = t;
    }
  V a(n * (n + 1) / 2);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) a[j * (j - 1) / 2 + i - 1] = full[(i - 1) + (j - 1) * n];
  IWORD irank = 0;
  orvika::DPKINV(a.data(), n, 1e-12, irank);
  ASSERT_EQ(irank, 0);
  auto inv = [&](int i, int j) {
    if (i > j) std::swap(i, j);
    return a[j * (j - 1) / 2 + i - 1];
  };
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      double t = 0;
      for (int k = 1; k <= n; ++k) t += full[(i - 1) + (k - 1) * n] * inv(k, j);
      EXPECT_NEAR(t, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
    }
}

TEST(Dqform, SumsBlockQuadraticForms) {
  const IWORD ns1[3] = {1, 1, 1};
  const V s1 = {1, 2, 3}, m1 = {2, 3, 4};
  EXPECT_DOUBLE_EQ(orvika::DQFORM(1, ns1, 3, s1.data(), m1.data()), 2 + 12 + 36);
  EXPECT_EQ(orvika::DQFORM(1, ns1, 0, s1.data(), m1.data()), 0.0);
  // LD = 2: block 1 of size 2, block 2 of size 1 (its second entries unread).
  const IWORD ns2[2] = {2, 1};
  const V s2 = {1, 2, 3, 99};
  const V m2 = {2, 1, 1, 3, 5, 99, 99, 99};
  // block 1: [1 2] [[2 1][1 3]] [1 2]' = 2 + 2*2 + 3*4 = 18; block 2: 9*5 = 45
  EXPECT_DOUBLE_EQ(orvika::DQFORM(2, ns2, 2, s2.data(), m2.data()), 63);
  const IWORD ns3[1] = {0};
  EXPECT_EQ(orvika::DQFORM(2, ns3, 1, s2.data(), m2.data()), 0.0);
}

TEST(Vcovar, InverseOfAKnownLdlFactor) {
  // A holds L in its strict lower triangle; D in WK(2N+1..3N).
  V a = {9, 0.5, 0.25, 9, 9, 0.5, 9, 9, 9};
  V wk = {0, 0, 0, 0, 0, 0, 1, 2, 4};
  orvika::VCOVAR(3, a.data(), 3, wk.data(), 3);
  EXPECT_NEAR(wk[3], 9.0 / 8, kTol);
  EXPECT_NEAR(wk[4], 9.0 / 16, kTol);
  EXPECT_NEAR(wk[5], 0.25, kTol);
  EXPECT_NEAR(a[1], -0.25, kTol);
  EXPECT_NEAR(a[2], 0.0, kTol);
  EXPECT_NEAR(a[5], -0.125, kTol);
  // The upper triangle and the diagonal are not written.
  EXPECT_EQ(a[0], 9);
  EXPECT_EQ(a[3], 9);
  EXPECT_EQ(a[8], 9);
  V b = a;
  orvika::VCOVAR(3, b.data(), 3, wk.data(), 0);
  EXPECT_EQ(b, a);
}

}  // namespace
