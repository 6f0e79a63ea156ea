// Splines: ORVK_SPLINE and ORVK_SMCRV (construction and shape repair), the
// monotone Hermite chain ORVK_SPLN2I/D/C/E and the evaluation ORVK_SPLFN2.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "orvika/scalar_curves.h"
#include "scalar/spline_impl.hpp"

namespace {

using Vec = std::vector<double>;
constexpr double kEps = 2.220446049250313e-16;

// Spline of MODE through (X, Y) by ORVK_SPLINE or ORVK_SMCRV.
Vec fit(const Vec& x, const Vec& y, IWORD mode, bool repair = false) {
  IWORD n = static_cast<IWORD>(x.size());
  Vec c(4 * (x.size() > 1 ? x.size() - 1 : 1), -777.0);
  if (repair) {
    ORVK_SMCRV(&n, y.data(), x.data(), c.data(), &mode);
  } else {
    ORVK_SPLINE(&n, y.data(), x.data(), c.data(), &mode);
  }
  return c;
}

// Value of piece I (1-based) at local abscissa T.
double piece(const Vec& c, int i, double t) {
  const double* p = &c[4 * (i - 1)];
  return ((p[3] * t + p[2]) * t + p[1]) * t + p[0];
}

double eval(const Vec& x, const Vec& c, double xv, double* der = nullptr) {
  IWORD n = static_cast<IWORD>(x.size());
  double v = 0.0, d = 0.0;
  ORVK_SPLFN2(&n, &xv, x.data(), nullptr, c.data(), &v, &d);
  if (der) *der = d;
  return v;
}

void expect_columns(const Vec& c, const std::vector<Vec>& want, double tol) {
  ASSERT_EQ(c.size(), 4 * want.size());
  for (std::size_t i = 0; i < want.size(); ++i)
    for (int k = 0; k < 4; ++k)
      EXPECT_NEAR(c[4 * i + k], want[i][k], tol) << "piece " << i + 1 << " coefficient " << k + 1;
}

// Abscissae with uneven spacing, strictly increasing.
Vec uneven(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> step(0.3, 1.7);
  Vec x(n);
  x[0] = -1.0;
  for (int i = 1; i < n; ++i) x[i] = x[i - 1] + step(rng);
  return x;
}

// ---- ORVK_SPLINE ------------------------------------------------------------

TEST(Spline, FewerThanTwoPointsLeaveCUntouched) {
  for (IWORD n : {IWORD{1}, IWORD{0}, IWORD{-3}}) {
    for (bool repair : {false, true}) {
      double x[1] = {1.0}, y[1] = {2.0}, c[4] = {9, 9, 9, 9};
      IWORD mode = 1;
      if (repair) {
        ORVK_SMCRV(&n, y, x, c, &mode);
      } else {
        ORVK_SPLINE(&n, y, x, c, &mode);
      }
      for (double v : c) EXPECT_EQ(v, 9.0);
    }
  }
}

TEST(Spline, TwoPointsGiveOneLineInEveryMode) {
  for (IWORD mode : {IWORD{0}, IWORD{1}, IWORD{2}, IWORD{3}, IWORD{7}}) {
    for (bool repair : {false, true}) {
      const Vec c = fit({1.0, 3.0}, {2.0, -4.0}, mode, repair);
      expect_columns(c, {{2.0, -6.0, 0.0, 0.0}}, 0.0);
    }
  }
}

// Y = X^2 at X = 0, 1, 2, 3 in the three modes.
TEST(Spline, SquareDataInEachMode) {
  const Vec x{0, 1, 2, 3}, y{0, 1, 4, 9};
  const double tol = 8 * kEps * 10;
  expect_columns(fit(x, y, 1), {{0, 0, 1, 0}, {1, 2, 1, 0}, {4, 4, 1, 0}}, tol);
  expect_columns(fit(x, y, 3), {{0, 1, 0, 0}, {1, 3, 0, 0}, {4, 5, 0, 0}}, 0.0);
  expect_columns(fit(x, y, 2),
                 {{0, 0, 1.5, -0.5}, {1, 1.5, 2.25, -0.75}, {4, 3.75, 1.5, -0.25}}, tol);
}

// Every mode interpolates: piece i starts at Y(i) and ends at Y(i+1).
TEST(Spline, EveryModeInterpolatesItsData) {
  const Vec x = uneven(9, 3);
  Vec y(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) y[i] = std::sin(x[i]) + 0.1 * x[i] * x[i];
  for (IWORD mode : {IWORD{1}, IWORD{2}, IWORD{3}}) {
    for (bool repair : {false, true}) {
      const Vec c = fit(x, y, mode, repair);
      for (std::size_t i = 1; i < x.size(); ++i) {
        EXPECT_EQ(piece(c, int(i), 0.0), y[i - 1]) << "mode " << mode << " piece " << i;
        EXPECT_NEAR(piece(c, int(i), 1.0), y[i], 64 * kEps * (1 + std::fabs(y[i])))
            << "mode " << mode << " piece " << i << " repair " << repair;
      }
    }
  }
}

// Local cubics reproduce a quadratic exactly (up to rounding) everywhere,
// on uneven abscissae; three points use the parabola through them.  The
// repair leaves a quadratic alone where it does not turn (the second one).
TEST(Spline, LocalCubicsReproduceQuadratics) {
  using Fn = double (*)(double);
  const Fn turning = [](double t) { return 0.7 * t * t - 1.3 * t + 2.0; };
  const Fn rising = [](double t) { return 0.3 * t * t + 2.0 * t + 1.0; };
  for (int n : {3, 4, 5, 11}) {
    const Vec x = uneven(n, 10 + n);
    for (bool repair : {false, true}) {
      const Fn q = repair ? rising : turning;
      Vec y(n);
      for (int i = 0; i < n; ++i) y[i] = q(x[i]);
      const Vec c = fit(x, y, 1, repair);
      for (int i = 0; i + 1 < n; ++i) {
        for (double t : {0.1, 0.37, 0.5, 0.83}) {
          const double xv = x[i] + t * (x[i + 1] - x[i]);
          EXPECT_NEAR(eval(x, c, xv), q(xv), 1e-12) << "n " << n << " x " << xv;
        }
      }
    }
  }
}

// Straight-line data are reproduced exactly by every mode.
TEST(Spline, LinearDataReproducedByEveryMode) {
  const Vec x = uneven(7, 5);
  Vec y(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) y[i] = 3.0 - 2.0 * x[i];
  for (IWORD mode : {IWORD{1}, IWORD{2}, IWORD{3}}) {
    for (bool repair : {false, true}) {
      const Vec c = fit(x, y, mode, repair);
      for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        // (A node belongs to the interval that ends at it.)
        for (double t : {0.25, 0.6, 1.0}) {
          const double xv = x[i] + t * (x[i + 1] - x[i]);
          double der;
          EXPECT_NEAR(eval(x, c, xv, &der), 3.0 - 2.0 * xv, 1e-13);
          EXPECT_NEAR(der, -2.0 * (x[i + 1] - x[i]), 1e-13);
        }
      }
    }
  }
}

// Value and slope of the piece of interval I at T are non-decreasing.
void expect_monotone_pieces(const Vec& x, const Vec& c, const char* what) {
  for (std::size_t i = 1; i < x.size(); ++i) {
    double prev = piece(c, int(i), 0.0);
    for (int s = 1; s <= 200; ++s) {
      const double v = piece(c, int(i), s / 200.0);
      EXPECT_GE(v, prev - 1e-12) << what << " piece " << i << " at t = " << s / 200.0;
      prev = v;
    }
  }
}

// Monotone data with sharp steps: the monotone mode keeps every piece
// monotone, and the repair of ORVK_SMCRV makes the local cubics monotone.
TEST(Spline, MonotoneDataStayMonotone) {
  const std::vector<std::pair<Vec, Vec>> cases = {
      {{0, 1, 2, 3, 4, 5, 6}, {0, 0.1, 0.2, 5.0, 5.1, 5.2, 9.0}},
      {{0, 0.5, 2, 2.2, 3, 7}, {1, 1, 1, 2, 2, 2}},
      {{-3, -2, -1, 0, 1, 2, 3}, {0, 0.01, 0.02, 0.5, 0.98, 0.99, 1.0}},
  };
  for (const auto& [x, y] : cases) {
    expect_monotone_pieces(x, fit(x, y, 2), "monotone mode");
    expect_monotone_pieces(x, fit(x, y, 2, true), "monotone mode with repair");
    expect_monotone_pieces(x, fit(x, y, 1, true), "local cubics with repair");
    expect_monotone_pieces(x, fit(x, y, 3, true), "lines");
  }
  // Without the repair the local cubics overshoot on the first case.
  const Vec c = fit(cases[0].first, cases[0].second, 1);
  bool overshoot = false;
  for (int s = 1; s < 100; ++s) overshoot |= piece(c, 3, s / 100.0) > 5.0 + 1e-9;
  for (int s = 1; s < 100; ++s) overshoot |= piece(c, 2, s / 100.0) < 0.1 - 1e-9;
  EXPECT_TRUE(overshoot);
}

// ---- shape repair of single pieces -----------------------------------------

struct Arrays {
  using Num = double;
  const double* x;
  double* c;
  double X(IWORD i) const { return x[i - 1]; }
  double C(IWORD w) const { return c[w - 1]; }
  void setC(IWORD w, double v) const { c[w - 1] = v; }
  void spln2i(IWORD, const double*) const {}
};

Vec repair(Vec c, double y1, double y2) {
  const double x[2] = {0.0, 1.0}, y[2] = {y1, y2};
  orvika::spline_detail::smcrv_repair(Arrays{x, c.data()}, 2, y, 1);
  return c;
}

TEST(SplineRepair, PiecesFromTheirStationaryPoints) {
  struct Case {
    const char* what;
    Vec in;
    double y1, y2;
    Vec want;
  };
  const double l1 = 0.8 / 1.02;
  const std::vector<Case> cases = {
      {"turning point at 0.5 makes a line", {0, 1, -1, 0}, 0, 0, {0, 0, 0, 0}},
      {"point at 0.1 moves to -0.01", {0, -0.2, 1, 0}, 0, 0.8, {0, 0.02 * l1, l1, 0}},
      {"points near both ends, equal ends: constant", {0, 0.09, -0.5, 1.0 / 3}, 0, 0, {0, 0, 0, 0}},
      {"point at 0.25 moves to -0.01", {0, -0.5, 1, 0}, 0, 1, {0, 0.02 / 1.02, 1 / 1.02, 0}},
      {"point at 0.75 moves to 1.01", {0, -1.5, 1, 0}, 0, 1, {0, 2.02 / 1.02, -1 / 1.02, 0}},
      {"point at 0 is left", {0, 0, 1, 0}, 0, 1, {0, 0, 1, 0}},
      {"point at 1 is left", {0, -2, 1, 0}, 0, -1, {0, -2, 1, 0}},
      {"no real stationary point", {0, 1, 1, 1}, 0, 3, {0, 1, 1, 1}},
      {"linear piece untouched", {2, 3, 1e-16, -1e-16}, 2, 5, {2, 3, 1e-16, -1e-16}},
      {"both points outside", {0, -0.75, -0.5, 1.0 / 3}, 0, -0.9, {0, -0.75, -0.5, 1.0 / 3}},
  };
  for (const Case& k : cases) {
    const Vec c = repair(k.in, k.y1, k.y2);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(c[i], k.want[i], 1e-15) << k.what << " word " << i + 1;
  }
}

// ORVK_SMCRV with MODE 2 changes nothing that ORVK_SPLN2I made.
TEST(SplineRepair, MonotoneModeIsNotRepaired) {
  const Vec x{0, 1, 2, 3, 4}, y{0, 2, 1, 3, 0};
  EXPECT_EQ(fit(x, y, 2, true), fit(x, y, 2, false));
  EXPECT_EQ(fit(x, y, 3, true), fit(x, y, 3, false));
}

// Three points: both pieces are the parabola through them with a cubic term
// of exactly 0, and the repair moves the turning point of the second piece
// (at t = 0.013) out of its interval.  A rounding residue in the cubic term
// sent the repair to the two-root formula, which left it inside.
TEST(SplineRepair, ThreePointsLeaveNoTurningPointInside) {
  const Vec x{0.4604064190702728, 0.91374703654671896, 1.2340625046426426},
      y{-0.49940462770451155, 0.81235538330902024, 0.18676942082466774};
  const Vec plain = fit(x, y, 1);
  EXPECT_EQ(plain[3], 0.0);
  EXPECT_EQ(plain[7], 0.0);
  const Vec c = fit(x, y, 1, true);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(piece(c, i, 0.0), y[i - 1]) << "piece " << i;
    EXPECT_NEAR(piece(c, i, 1.0), y[i], 1e-14) << "piece " << i;
    const double* p = &c[4 * (i - 1)];
    bool rises = false, falls = false;
    for (int s = 1; s < 200; ++s) {
      const double t = s / 200.0, d = p[1] + t * (2 * p[2] + 3 * t * p[3]);
      rises = rises || d > 1e-12;
      falls = falls || d < -1e-12;
    }
    EXPECT_FALSE(rises && falls) << "piece " << i << " turns inside its interval";
  }
}

// ---- the monotone chain ------------------------------------------------------

struct Slopes {
  Vec d;
  IWORD nchg;
};
Slopes node_slopes(const Vec& x, const Vec& f) {
  IWORD n = static_cast<IWORD>(x.size()), incr = 1, nchg = -5;
  Vec d(x.size(), -777.0);
  ORVK_SPLN2D(&n, x.data(), f.data(), d.data(), &incr, &nchg);
  return {d, nchg};
}

TEST(Spln2d, NodeDerivatives) {
  struct Case {
    const char* what;
    Vec x, f, d;
    IWORD nchg;
  };
  const std::vector<Case> cases = {
      {"two points", {0, 2}, {1, 2}, {0.5, 0.5}, 0},
      {"interior maximum", {0, 1, 2}, {0, 1, 0}, {2, 0, -2}, 1},
      {"harmonic mean", {0, 1, 2}, {0, 1, 3}, {0.5, 4.0 / 3, 2.5}, 0},
      {"end limited to 3 secants", {0, 1, 1.1}, {0, 1, 0.5}, {3, 0, -6.1 / 1.1}, 1},
      {"flat secants are no change", {0, 1, 2, 3}, {0, 0, 1, 1}, {0, 0, 0, 0}, 0},
      {"two turns", {0, 1, 2, 3, 4}, {0, 1, 0, 1, 0}, {2, 0, 0, 0, -2}, 3},
  };
  for (const Case& k : cases) {
    const Slopes s = node_slopes(k.x, k.f);
    EXPECT_EQ(s.nchg, k.nchg) << k.what;
    for (std::size_t i = 0; i < k.d.size(); ++i)
      EXPECT_NEAR(s.d[i], k.d[i], 4 * kEps * 10) << k.what << " node " << i + 1;
  }
}

// A stride of 2 gives the same derivatives as the contiguous call and
// leaves the words in between alone.
TEST(Spln2d, StrideReadsAndWritesEveryIncrWord) {
  const Vec x{0, 1, 2.5, 3, 4.5}, f{1, 2, 2.2, 5, 4};
  const Slopes s = node_slopes(x, f);
  Vec f2(10, 1e300), d2(10, -9.0);
  for (int i = 0; i < 5; ++i) f2[2 * i] = f[i];
  IWORD n = 5, incr = 2, nchg = -1;
  ORVK_SPLN2D(&n, x.data(), f2.data(), d2.data(), &incr, &nchg);
  EXPECT_EQ(nchg, s.nchg);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(d2[2 * i], s.d[i]);
    EXPECT_EQ(d2[2 * i + 1], -9.0);
  }
}

// One point, or a stride below 1, has no secant: nothing is written.
TEST(Spln2d, NoSecantNoWrite) {
  double x[2] = {0, 1}, f[2] = {1, 2}, d[2] = {-7, -7};
  for (auto [n, incr] : {std::pair<IWORD, IWORD>{1, 1}, {0, 1}, {2, 0}, {2, -1}}) {
    IWORD nchg = 99;
    ORVK_SPLN2D(&n, x, f, d, &incr, &nchg);
    EXPECT_EQ(nchg, 0);
    EXPECT_EQ(d[0], -7.0);
    EXPECT_EQ(d[1], -7.0);
  }
}

TEST(Spln2c, CoefficientsFromEndSlopes) {
  const double x1 = 0, x2 = 1, f1 = 0, f2 = 1, d1 = 0.5, d2 = 4.0 / 3;
  double c[4];
  ORVK_SPLN2C(&x1, &x2, &f1, &f2, &d1, &d2, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 0.0);
  EXPECT_NEAR(c[1], 0.5, kEps);
  EXPECT_NEAR(c[2], 2.0 / 3, 4 * kEps);
  EXPECT_NEAR(c[3], -1.0 / 6, 4 * kEps);
  // Outputs sharing storage with the slopes: all inputs are read first.
  double w[2] = {0.5, 4.0 / 3};
  double c0, c1;
  ORVK_SPLN2C(&x1, &x2, &f1, &f2, &w[0], &w[1], &c0, &c1, &w[0], &w[1]);
  EXPECT_EQ(c1, c[1]);
  EXPECT_EQ(w[0], c[2]);
  EXPECT_EQ(w[1], c[3]);
}

// The cubic of ORVK_SPLN2C has the end values and x-slopes it was given.
TEST(Spln2c, HermiteConditionsOnAWideInterval) {
  const double x1 = 2, x2 = 5.5, f1 = -1, f2 = 4, d1 = 0.3, d2 = -2;
  double c[4];
  ORVK_SPLN2C(&x1, &x2, &f1, &f2, &d1, &d2, &c[0], &c[1], &c[2], &c[3]);
  const double h = x2 - x1;
  EXPECT_NEAR(c[0] + c[1] + c[2] + c[3], f2, 1e-14);
  EXPECT_NEAR(c[1] / h, d1, 1e-15);
  EXPECT_NEAR((c[1] + 2 * c[2] + 3 * c[3]) / h, d2, 1e-14);
}

// The coefficients in the local abscissa do not depend on the width of the
// interval: end slopes 0.5/h and (4/3)/h give (0, 0.5, 2/3, -1/6) for every
// h, also where (F2 - F1)/h^3 leaves the range of doubles (the cubic
// coefficient overflowed for narrow intervals and vanished for wide ones).
TEST(Spln2c, CoefficientsDoNotDependOnTheWidth) {
  for (double h : {1.0, 1e-100, 1e-110, 1e-150, 1e-300, 1e100, 1e110, 1e150, 1e300}) {
    const double x1 = 0, x2 = h, f1 = 0, f2 = 1, d1 = 0.5 / h, d2 = (4.0 / 3) / h;
    double c[4];
    ORVK_SPLN2C(&x1, &x2, &f1, &f2, &d1, &d2, &c[0], &c[1], &c[2], &c[3]);
    EXPECT_EQ(c[0], 0.0) << "h = " << h;
    EXPECT_NEAR(c[1], 0.5, 4 * kEps) << "h = " << h;
    EXPECT_NEAR(c[2], 2.0 / 3, 8 * kEps) << "h = " << h;
    EXPECT_NEAR(c[3], -1.0 / 6, 8 * kEps) << "h = " << h;
    EXPECT_NEAR(c[0] + c[1] + c[2] + c[3], f2, 8 * kEps) << "h = " << h;
  }
}

// A fit of data on narrow or wide abscissae is that of the same data on
// unit abscissae (the coefficients are in the local abscissa): finite,
// through the data, and monotone in the monotone mode.  The node slopes of
// the local cubics and the cubic coefficient of the Hermite pieces were not
// finite, or lost, at these scales.
TEST(Spline, FitsOnExtremeAbscissaScales) {
  const Vec x1{0, 1, 2.5, 3, 4.5, 5}, y{0, 1, 3, 3, 3.5, 7};
  for (IWORD mode : {IWORD{1}, IWORD{2}}) {
    for (bool repair : {false, true}) {
      const Vec c1 = fit(x1, y, mode, repair);
      for (double scale : {1e-110, 1e-120, 1e-200, 1e-300, 1e110, 1e120, 1e200}) {
        Vec x(x1);
        for (double& v : x) v *= scale;
        const Vec c = fit(x, y, mode, repair);
        for (std::size_t w = 0; w < c.size(); ++w)
          EXPECT_NEAR(c[w], c1[w], 1e-13 * (1 + std::fabs(c1[w])))
              << "mode " << mode << " repair " << repair << " scale " << scale << " word " << w + 1;
        for (std::size_t i = 0; i < x.size(); ++i)
          EXPECT_NEAR(eval(x, c, x[i]), y[i], 1e-13 * (1 + y[i]))
              << "mode " << mode << " repair " << repair << " scale " << scale << " node " << i + 1;
        if (mode == 2) expect_monotone_pieces(x, c, "monotone mode, extreme scale");
      }
    }
  }
  // Three points: the parabola through them.
  const Vec c3 = fit({0, 1e-110, 3e-110}, {0, 1, 9}, 1);
  expect_columns(c3, {{0, 0, 1, 0}, {1, 4, 4, 0}}, 1e-13);
}

TEST(Spln2e, SignTest) {
  struct Case {
    double a, b, want;
  };
  for (const Case& k : std::vector<Case>{{0, 1, 0}, {1, 0, 0}, {-0.0, -1, 0}, {-2, -1, 1},
                                         {2, -1, -1}, {-3, 4, -1}, {5, 6, 1}}) {
    EXPECT_EQ(ORVK_SPLN2E(&k.a, &k.b), k.want) << k.a << " " << k.b;
  }
}

TEST(Spln2i, TwoPointsGiveALine) {
  const Vec x{0, 2}, y{1, 2};
  IWORD n = 2;
  Vec c(4, -1.0);
  ORVK_SPLN2I(&n, y.data(), x.data(), c.data());
  expect_columns(c, {{1, 1, 0, 0}}, 0.0);
}

TEST(Spln2i, OnePointWritesNothing) {
  double x[1] = {0}, y[1] = {1}, c[8] = {5, 5, 5, 5, 5, 5, 5, 5};
  IWORD n = 1;
  ORVK_SPLN2I(&n, y, x, c + 4);
  for (double v : c) EXPECT_EQ(v, 5.0);
}

// The in-place chain gives the coefficients of ORVK_SPLN2C applied to the
// derivatives of ORVK_SPLN2D.
TEST(Spln2i, AgreesWithItsPieces) {
  const Vec x = uneven(8, 21);
  Vec y(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) y[i] = std::cos(2 * x[i]);
  IWORD n = static_cast<IWORD>(x.size());
  Vec c(4 * (n - 1));
  ORVK_SPLN2I(&n, y.data(), x.data(), c.data());
  const Slopes s = node_slopes(x, y);
  for (IWORD i = 0; i + 1 < n; ++i) {
    double w[4];
    ORVK_SPLN2C(&x[i], &x[i + 1], &y[i], &y[i + 1], &s.d[i], &s.d[i + 1], &w[0], &w[1], &w[2],
                &w[3]);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(c[4 * i + k], w[k]) << "piece " << i + 1;
  }
}

// ---- ORVK_SPLFN2 ---------------------------------------------------------

TEST(Splfn2, ExtrapolatesTheEndPieces) {
  const Vec x{0, 2}, c{1, 2, 0, 0};
  double der;
  EXPECT_EQ(eval(x, c, 3.0, &der), 4.0);
  EXPECT_EQ(der, 2.0);

  const Vec xs{0, 1, 2, 3}, ys{0, 1, 4, 9};
  const Vec cs = fit(xs, ys, 1);
  struct Case {
    double xv, val, der;
  };
  for (const Case& k : std::vector<Case>{{1, 1, 2}, {-1, 1, -2}, {4, 16, 8}, {2.5, 6.25, 5}}) {
    EXPECT_NEAR(eval(xs, cs, k.xv, &der), k.val, 1e-14) << k.xv;
    EXPECT_NEAR(der, k.der, 1e-14) << k.xv;
  }
  IWORD n1 = 1;
  double v = 5, d = 5, xv = 0;
  ORVK_SPLFN2(&n1, &xv, xs.data(), nullptr, cs.data(), &v, &d);
  EXPECT_EQ(v, 0.0);
  EXPECT_EQ(d, 0.0);
}

// The bisection picks the interval that ends at or after XV (nodes belong
// to the interval ending at them): compare with a linear search.
TEST(Splfn2, IntervalSearch) {
  for (int n : {3, 4, 5, 8, 17}) {
    const Vec x = uneven(n, 40 + n);
    Vec c(4 * (n - 1));
    for (int i = 0; i < n - 1; ++i) {
      c[4 * i] = i + 1;  // piece i+1 has the constant value i+1
      c[4 * i + 1] = c[4 * i + 2] = c[4 * i + 3] = 0.0;
    }
    Vec probes{x[0] - 1, x[n - 1] + 1};
    for (int i = 0; i < n; ++i) {
      probes.push_back(x[i]);
      if (i + 1 < n) probes.push_back(0.5 * (x[i] + x[i + 1]));
    }
    for (double xv : probes) {
      int m = n;
      for (int k = 2; k <= n; ++k) {
        if (xv <= x[k - 1]) {
          m = k;
          break;
        }
      }
      EXPECT_EQ(eval(x, c, xv), double(m - 1)) << "n " << n << " xv " << xv;
    }
  }
}

}  // namespace
