// Interpolation routines: ORVK_QDEXTR, ORVK_LAGRA2, ORVK_PC02AD (with PAROOT
// and PAEVAL) and ORVK_IFACT.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "orvika/scalar_curves.h"
#include "scalar/curves.hpp"

namespace {

using Vec = std::vector<double>;

// ---- ORVK_QDEXTR --------------------------------------------------------

struct QdCase {
  const char* what;
  IWORD mode;
  Vec x, y;
  double xq, yq;
};

TEST(Qdextr, GuardedParabola) {
  const std::vector<QdCase> cases = {
      {"parabola beyond the last point", 1, {0, 1, 2}, {0, 1, 4}, 3, 9},
      {"parabola before the first point", 1, {0, 1, 2}, {0, 1, 4}, -1, 1},
      {"inside", 1, {0, 1, 2}, {0, 1, 4}, 1.5, 2.25},
      {"vertex on the last point: parabola", 1, {0, 1, 2}, {0, 3, 4}, 3, 3},
      {"vertex between last point and XQ: line", 1, {0, 1, 1.5}, {0, 3, 3.75}, 3, 4.5},
      {"vertex between XQ and first point: line", 1, {-1.5, -1, 0}, {3.75, 3, 0}, -3, 4.5},
      {"descending order, MODE 0", 0, {2, 1, 0}, {4, 1, 0}, 3, 9},
      {"descending order, MODE -1", -1, {1.5, 1, 0}, {3.75, 3, 0}, 3, 4.5},
      {"equal abscissae: constant of the first point", 1, {1, 1, 1}, {2, 5, 7}, 4, 2},
  };
  for (const QdCase& k : cases) {
    double coef[5] = {-9, -9, -9, -9, -9}, yq = 0;
    ORVK_QDEXTR(&k.mode, k.x.data(), k.y.data(), coef, &k.xq, &yq);
    EXPECT_NEAR(yq, k.yq, 1e-13) << k.what;
  }
}

TEST(Qdextr, StoresAndReusesCoefficients) {
  const Vec x{0, 1, 2}, y{0, 1, 4};
  IWORD mode = 1;
  double coef[5], yq, xq = 3;
  ORVK_QDEXTR(&mode, x.data(), y.data(), coef, &xq, &yq);
  const double want[5] = {1, 0, 0, 0, 0};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(coef[k], want[k]) << k;

  // MODE 2 reads COEF (here a different parabola, 2 t^2) and writes nothing.
  double given[5] = {2, 0, 0, 0, 0};
  mode = 2;
  xq = 1.5;
  ORVK_QDEXTR(&mode, x.data(), y.data(), given, &xq, &yq);
  EXPECT_EQ(yq, 4.5);
  EXPECT_EQ(given[0], 2.0);
  mode = -2;
  ORVK_QDEXTR(&mode, x.data(), y.data(), given, &xq, &yq);
  EXPECT_EQ(yq, 4.5);
}

TEST(Qdextr, EqualAbscissaeGiveConstant) {
  const Vec x{1, 1, 3}, y{2, 5, 7};
  IWORD mode = 1;
  double coef[5], yq, xq = 10;
  ORVK_QDEXTR(&mode, x.data(), y.data(), coef, &xq, &yq);
  EXPECT_EQ(coef[0], 0.0);
  EXPECT_EQ(coef[1], 0.0);
  EXPECT_EQ(coef[2], 2.0);
  EXPECT_EQ(coef[3], 0.0);
  EXPECT_EQ(coef[4], 2.0);
  EXPECT_EQ(yq, 2.0);
}

// Any parabola through three points is recovered (inside the points).
TEST(Qdextr, ReproducesQuadratics) {
  auto q = [](double t) { return -0.4 * t * t + 1.7 * t - 3.0; };
  const Vec x{-2, 0.5, 4};
  const Vec y{q(x[0]), q(x[1]), q(x[2])};
  IWORD mode = 1;
  double coef[5], yq;
  for (double xq : {-2.0, -1.0, 0.0, 2.0, 3.9}) {
    ORVK_QDEXTR(&mode, x.data(), y.data(), coef, &xq, &yq);
    EXPECT_NEAR(yq, q(xq), 1e-13) << xq;
  }
  EXPECT_NEAR(coef[0], -0.4, 1e-14);
  EXPECT_NEAR(coef[1], 1.7, 1e-14);
  EXPECT_NEAR(coef[2], -3.0, 1e-14);
  EXPECT_NEAR(coef[3], 1.7 / 0.8, 1e-13);
  EXPECT_NEAR(coef[4], q(1.7 / 0.8), 1e-13);
}

// ---- ORVK_LAGRA2 ---------------------------------------------------------

TEST(Lagra2, ReEstimatesFromAQuadratic) {
  auto q = [](double t) { return 2 * t * t - t + 0.5; };
  const Vec x{0, 0.7, 1.5, 2.0, 3.2, 4.0};
  for (IWORD i = 2; i <= 5; ++i) {
    Vec y(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) y[k] = q(x[k]);
    y[i - 1] = 1e6;  // the value to be replaced
    IWORD n = 6, iflag = -1;
    ORVK_LAGRA2(&n, &i, x.data(), y.data(), &iflag);
    EXPECT_EQ(iflag, 0) << i;
    EXPECT_NEAR(y[i - 1], q(x[i - 1]), 1e-12) << i;
  }
}

// I = N-1 uses the points I-2, I-1 and I+1: a value at I+2 would not exist.
TEST(Lagra2, NextToLastUsesPointsBefore) {
  const Vec x{0, 1, 2, 3};
  Vec y{0, 1, 4, 9};
  y[2] = -5;
  IWORD n = 4, i = 3, iflag = -1;
  ORVK_LAGRA2(&n, &i, x.data(), y.data(), &iflag);
  EXPECT_EQ(iflag, 0);
  EXPECT_NEAR(y[2], 4.0, 1e-14);
}

// Points without three usable neighbours: IFLAG = 1, Y unchanged.
TEST(Lagra2, RefusedPoints) {
  struct Case {
    IWORD n, i;
  };
  for (const Case& k : std::vector<Case>{{5, 1}, {5, 5}, {5, 6}, {5, 0}, {5, -2}, {3, 2}, {2, 1}}) {
    Vec x{0, 1, 2, 3, 4}, y{7, 7, 7, 7, 7};
    IWORD iflag = -1;
    ORVK_LAGRA2(&k.n, &k.i, x.data(), y.data(), &iflag);
    EXPECT_EQ(iflag, 1) << "N " << k.n << " I " << k.i;
    for (double v : y) EXPECT_EQ(v, 7.0);
  }
}

// ---- ORVK_PC02AD, PAROOT, PAEVAL -------------------------------------------

TEST(Pc02ad, SmallCases) {
  {
    double x[1] = {3}, y[1] = {2.5}, cf[1] = {9}, w1[1];
    IWORD n = 0;
    ORVK_PC02AD(x, y, cf, w1, nullptr, &n);
    EXPECT_EQ(cf[0], 2.5);
  }
  {
    double x[2] = {0, 1}, y[2] = {1, 3}, cf[2], w1[2], w2[1];
    IWORD n = 1;
    ORVK_PC02AD(x, y, cf, w1, w2, &n);
    EXPECT_EQ(cf[0], 1.0);
    EXPECT_EQ(cf[1], 2.0);
    // W1 holds the product polynomial of the last node (t), W2 the other abscissa.
    EXPECT_EQ(w1[0], 0.0);
    EXPECT_EQ(w1[1], 1.0);
    EXPECT_EQ(w2[0], 0.0);
  }
  {
    double cf[1] = {4};
    IWORD n = -1;
    ORVK_PC02AD(nullptr, nullptr, cf, nullptr, nullptr, &n);
    EXPECT_EQ(cf[0], 4.0);
  }
}

// The interpolating polynomial of degree N recovers a polynomial of that
// degree and passes through its points.
TEST(Pc02ad, ReproducesPolynomialsOfItsDegree) {
  for (IWORD n : {IWORD{2}, IWORD{3}, IWORD{5}}) {
    Vec p(n + 1);
    for (IWORD k = 0; k <= n; ++k) p[k] = std::cos(1.0 + 2 * k);
    Vec x(n + 1), y(n + 1), cf(n + 1), w1(n + 1), w2(n);
    for (IWORD j = 0; j <= n; ++j) {
      x[j] = -1.0 + 2.0 * j / n + 0.05 * j * j / (n * n);
      y[j] = orvika::PAEVAL(p.data(), n, x[j]);
    }
    ORVK_PC02AD(x.data(), y.data(), cf.data(), w1.data(), w2.data(), &n);
    for (IWORD k = 0; k <= n; ++k) EXPECT_NEAR(cf[k], p[k], 1e-11) << "n " << n << " k " << k;
    for (IWORD j = 0; j <= n; ++j) EXPECT_NEAR(orvika::PAEVAL(cf.data(), n, x[j]), y[j], 1e-12);
  }
}

// Distinct abscissae close together, where the divisor of a node (the
// product of its differences to the others) lies below 1e-15: the
// polynomial still passes through every point.
TEST(Pc02ad, CloseAbscissaePassThroughThePoints) {
  struct Case {
    IWORD n;
    double spacing;
  };
  for (const Case& c : {Case{2, 1e-8}, Case{3, 1e-6}, Case{4, 1e-4}, Case{3, 1e-5}}) {
    const IWORD n = c.n;
    Vec x(n + 1), y(n + 1), cf(n + 1), w1(n + 1), w2(n);
    for (IWORD j = 0; j <= n; ++j) {
      x[j] = c.spacing * (1.0 + j + 0.1 * j * j);
      y[j] = std::cos(1.0 + j);
    }
    IWORD nn = n;
    ORVK_PC02AD(x.data(), y.data(), cf.data(), w1.data(), w2.data(), &nn);
    for (IWORD j = 0; j <= n; ++j) {
      EXPECT_NEAR(orvika::PAEVAL(cf.data(), n, x[j]), y[j], 1e-9)
          << "n " << n << " spacing " << c.spacing << " node " << j;
    }
  }
}

TEST(Pc02ad, EqualAbscissaeStayFinite) {
  double x[3] = {0, 1, 1}, y[3] = {1, 2, 3}, cf[3], w1[3], w2[2];
  IWORD n = 2;
  ORVK_PC02AD(x, y, cf, w1, w2, &n);
  for (double v : cf) EXPECT_TRUE(std::isfinite(v));
  EXPECT_GT(std::fabs(cf[2]), 1e14);
}

TEST(Paroot, MonicPolynomialFromRoots) {
  const double r[3] = {1, -2, 3};
  double a[4];
  orvika::PAROOT(r, a, 3);
  // (t-1)(t+2)(t-3) = t^3 - 2t^2 - 5t + 6
  const double want[4] = {6, -5, -2, 1};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(a[k], want[k]) << k;
  orvika::PAROOT(r, a, 0);
  EXPECT_EQ(a[0], 1.0);
  EXPECT_EQ(orvika::PAEVAL(want, 3, 2.0), 8 - 8 - 10 + 6.0);
  EXPECT_EQ(orvika::PAEVAL(want, 0, 2.0), 6.0);
}

// ---- ORVK_IFACT ------------------------------------------------------------

TEST(Ifact, Factorials) {
  struct Case {
    IWORD n, f;
  };
  for (const Case& k : std::vector<Case>{{-4, 1},
                                         {0, 1},
                                         {1, 1},
                                         {2, 2},
                                         {5, 120},
                                         {6, 720},
                                         {13, 6227020800},
                                         {20, 2432902008176640000}}) {
    EXPECT_EQ(ORVK_IFACT(&k.n), k.f) << k.n;
  }
  // Beyond 20 the product wraps modulo 2^64 (no trap, no undefined result).
  IWORD n = 21;
  EXPECT_EQ(static_cast<std::uint64_t>(ORVK_IFACT(&n)),
            static_cast<std::uint64_t>(2432902008176640000) * 21u);
}

// From 66! on the product holds the factor 2^64, so the wrapped value is 0
// for every larger N; 65! keeps 2^63.  Large arguments return that value
// at once instead of running through N factors.
TEST(Ifact, LargeArgumentsWrapToZero) {
  struct Case {
    IWORD n, f;
  };
  for (const Case& k : std::vector<Case>{{64, std::numeric_limits<IWORD>::min()},
                                         {65, std::numeric_limits<IWORD>::min()},
                                         {66, 0},
                                         {67, 0},
                                         {1000, 0},
                                         {IWORD{1} << 40, 0},
                                         {(IWORD{1} << 62) + 1, 0},
                                         {std::numeric_limits<IWORD>::max(), 0}}) {
    EXPECT_EQ(ORVK_IFACT(&k.n), k.f) << k.n;
  }
}

}  // namespace
