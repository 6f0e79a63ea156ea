// ORVK_TRIDIA and ORVK_TOMETH: tridiagonal systems.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "orvika/kernels_dense.h"

namespace {

using Vec = std::vector<double>;

TEST(Tridia, ThreeByThreeExact) {
  const IWORD n = 3;
  Vec a = {1, 1, 1, 2, 2, 1, 1}, b = {2, 4, 3};
  ORVK_TRIDIA(&n, a.data(), b.data());
  EXPECT_EQ(b, (Vec{1, 1, 1}));
  EXPECT_EQ(Vec(a.begin(), a.begin() + 5), (Vec{1, 1, 1, 2, 2}));
  EXPECT_EQ(a[5], 1.0);
  EXPECT_EQ(a[6], 1.0);
}

TEST(Tridia, OneByOne) {
  const IWORD n = 1;
  Vec a = {4}, b = {2};
  ORVK_TRIDIA(&n, a.data(), b.data());
  EXPECT_EQ(b[0], 0.5);
  EXPECT_EQ(a[0], 4.0);
}

TEST(Tridia, PivotFloorKeepsSign) {
  struct Row {
    const char* what;
    double sub2, diag2;  // DIAG(1) = SUP(1) = 1
    double pivot;        // expected pivot of row 2
  };
  const Row rows[] = {{"vanishing pivot", 1.0, 1.0, 1e-35},
                      {"negative pivot above the floor", 1.0, -1.0, -2.0},
                      {"ordinary pivot", 1.0, 3.0, 2.0}};
  for (const auto& r : rows) {
    const IWORD n = 2;
    // A = (SUB(2), DIAG(1), DIAG(2), SUP(1))
    Vec a = {r.sub2, 1.0, r.diag2, 1.0}, b = {1.0, 2.0};
    ORVK_TRIDIA(&n, a.data(), b.data());
    // B(2) = (2 - 1*1)/pivot; B(1) = 1 - Q(1)*B(2).
    EXPECT_DOUBLE_EQ(b[1], 1.0 / r.pivot) << r.what;
    EXPECT_DOUBLE_EQ(b[0], 1.0 - b[1]) << r.what;
  }
}

TEST(Tridia, NegativeTinyPivotOfMagnitude1em40) {
  // DIAG(2) - SUB(2)*Q(1) = -1e-40 exactly: 0 - 1e-40*1.
  const IWORD n = 2;
  Vec a = {1e-40, 1.0, 0.0, 1.0}, b = {0.0, 1.0};
  ORVK_TRIDIA(&n, a.data(), b.data());
  EXPECT_DOUBLE_EQ(b[1], -1e35);
}

// Random diagonally dominant systems: both routines solve them.
TEST(Tridiagonal, RandomSystemsBothRoutines) {
  for (IWORD n : {1, 2, 3, 5, 10, 100}) {
    std::mt19937_64 gen(n);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Vec sub(n + 1, 0.0), diag(n + 1), sup(n + 1, 0.0), x(n + 1), r(n + 1, 0.0);
    for (IWORD k = 1; k <= n; ++k) {
      if (k > 1) sub[k] = u(gen);
      if (k < n) sup[k] = u(gen);
      diag[k] = 3.0 + u(gen);
      x[k] = u(gen);
    }
    for (IWORD k = 1; k <= n; ++k)
      r[k] = diag[k] * x[k] + (k > 1 ? sub[k] * x[k - 1] : 0.0) + (k < n ? sup[k] * x[k + 1] : 0.0);

    Vec packed(3 * n - 2), b(n);
    for (IWORD j = 1; j <= n - 1; ++j) packed[j - 1] = sub[j + 1];
    for (IWORD k = 1; k <= n; ++k) packed[n - 1 + k - 1] = diag[k];
    for (IWORD k = 1; k <= n - 1; ++k) packed[2 * n - 1 + k - 1] = sup[k];
    for (IWORD k = 1; k <= n; ++k) b[k - 1] = r[k];
    const Vec packed0 = packed;
    ORVK_TRIDIA(&n, packed.data(), b.data());
    for (IWORD k = 1; k <= n; ++k) EXPECT_NEAR(b[k - 1], x[k], 1e-13) << "n=" << n;
    for (IWORD j = 0; j < 2 * n - 1; ++j) EXPECT_EQ(packed[j], packed0[j]);

    Vec band(3 * n), d(n), xs(n), gam(n), bet(n);
    for (IWORD k = 1; k <= n; ++k) {
      band[3 * (k - 1)] = (k > 1) ? sub[k] : 99.0;  // A(1,1) is not read
      band[3 * (k - 1) + 1] = diag[k];
      band[3 * (k - 1) + 2] = sup[k];
      d[k - 1] = r[k];
    }
    const Vec band0 = band, d0 = d;
    ORVK_TOMETH(band.data(), &n, d.data(), xs.data(), gam.data(), bet.data());
    for (IWORD k = 1; k <= n; ++k) EXPECT_NEAR(xs[k - 1], x[k], 1e-13) << "n=" << n;
    EXPECT_EQ(band, band0);
    EXPECT_EQ(d, d0);
    // TRIDIA's ratios are TOMETH's GAM (same elimination, no floor reached).
    for (IWORD k = 1; k <= n - 1; ++k) EXPECT_EQ(packed[2 * n - 1 + k - 1], gam[k - 1]);
  }
}

TEST(Tometh, OneByOneAndZeroPivotCarriesRatios) {
  {
    const IWORD n = 1;
    const Vec a = {7, 4, 5}, d = {2};
    Vec x(1), gam(1), bet(1);
    ORVK_TOMETH(a.data(), &n, d.data(), x.data(), gam.data(), bet.data());
    EXPECT_EQ(x[0], 0.5);
  }
  {
    // Row 2 pivot: DIAG(2) - SUB(2)*GAM(1) = 1 - 1*1 = 0.
    const IWORD n = 3;
    const Vec a = {0, 1, 1, 1, 1, 1, 1, 2, 0}, d = {1, 2, 3};
    Vec x(3), gam(3), bet(3);
    ORVK_TOMETH(a.data(), &n, d.data(), x.data(), gam.data(), bet.data());
    EXPECT_EQ(gam[1], gam[0]);
    EXPECT_EQ(bet[1], bet[0]);
    // Row 3 pivot: 2 - 1*GAM(2) = 1; BET(3) = (3 - 1*1)/1 = 2.
    EXPECT_EQ(bet[2], 2.0);
    EXPECT_EQ(x[2], 2.0);
    EXPECT_EQ(x[1], bet[1] - gam[1] * 2.0);
    EXPECT_EQ(x[0], bet[0] - gam[0] * x[1]);
    for (double v : x) EXPECT_TRUE(std::isfinite(v));
  }
}

// A tiny but nonzero first diagonal element is a genuine pivot: only the
// later pivots are floored at 1e-35.
TEST(Tridia, TinyFirstPivotIsNotFloored) {
  struct Row {
    const char* what;
    Vec a;  // packed bands
    Vec b;
    Vec x;  // solution
  };
  const Row rows[] = {
      {"1 x 1", {1e-40}, {2e-40}, {2.0}},
      {"1 x 1 negative", {-3e-36}, {6e-36}, {-2.0}},
      // DIAG = (1e-36, 1), no coupling.
      {"diagonal", {0.0, 1e-36, 1.0, 0.0}, {1e-36, 5.0}, {1.0, 5.0}},
      // Rows 2e-36 x1 + 1e-36 x2 = 3e-36 and x1 + x2 = 2.
      {"coupled", {1.0, 2e-36, 1.0, 1e-36}, {3e-36, 2.0}, {1.0, 1.0}},
  };
  for (const auto& r : rows) {
    const IWORD n = static_cast<IWORD>(r.b.size());
    Vec a = r.a, b = r.b;
    ORVK_TRIDIA(&n, a.data(), b.data());
    for (IWORD k = 0; k < n; ++k) EXPECT_NEAR(b[k], r.x[k], 1e-14) << r.what << " k=" << k;
  }
}

// A zero first diagonal element divides by nothing: TRIDIA floors it like
// every later pivot, TOMETH passes over it with zero ratios.
TEST(Tridiagonal, ZeroFirstPivotStaysFinite) {
  {
    const IWORD n = 1;
    Vec a = {0.0}, b = {2.0};
    ORVK_TRIDIA(&n, a.data(), b.data());
    EXPECT_EQ(b[0], 2.0 / 1e-35);
  }
  {
    // SUB(2) = 1, DIAG = (0, 1), SUP(1) = 1; first pivot +1e-35.
    const IWORD n = 2;
    Vec a = {1.0, 0.0, 1.0, 1.0}, b = {1e-35, 2.0};
    ORVK_TRIDIA(&n, a.data(), b.data());
    // B(1) = 1, Q(1) = 1/1e-35; row 2: pivot 1 - Q(1), B(2) = (2 - 1)/pivot.
    const double q1 = 1.0 / 1e-35, piv2 = 1.0 - q1;
    EXPECT_EQ(a[3], q1);
    EXPECT_EQ(b[1], 1.0 / piv2);
    EXPECT_EQ(b[0], 1.0 - q1 * b[1]);
  }
  {
    const IWORD n = 2;
    const Vec a = {0, 0, 5, 1, 3, 0}, d = {4, 6};  // DIAG(1) = 0, SUB(2) = 1, DIAG(2) = 3
    Vec x(2), gam(2), bet(2);
    ORVK_TOMETH(a.data(), &n, d.data(), x.data(), gam.data(), bet.data());
    EXPECT_EQ(gam[0], 0.0);
    EXPECT_EQ(bet[0], 0.0);
    EXPECT_EQ(bet[1], 2.0);  // (6 - 1*0)/3
    EXPECT_EQ(x[1], 2.0);
    EXPECT_EQ(x[0], 0.0);
  }
}

TEST(Tridiagonal, EmptyOrderDoesNothing) {
  const IWORD zero = 0;
  Vec a = {1, 2, 3}, b = {4};
  ORVK_TRIDIA(&zero, a.data(), b.data());
  Vec x = {9}, g = {9}, be = {9};
  ORVK_TOMETH(a.data(), &zero, b.data(), x.data(), g.data(), be.data());
  EXPECT_EQ(a, (Vec{1, 2, 3}));
  EXPECT_EQ(b, (Vec{4}));
  EXPECT_EQ(x, (Vec{9}));
}

}  // namespace
