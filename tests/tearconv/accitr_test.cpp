// Tests of the scalar acceleration ORVK_ACCITR: first-call defaults, the
// factor formulas and limits, and the one-step answer on linear maps.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "accel_test_util.hpp"
#include "orvika/tearconv_accel.h"

namespace {

using accel_test::kEps;
using accel_test::Vec;

struct Acc {
  IWORD iter = 0, n, mode = 2;
  double tmin = 0.0, tmax = 0.0, stpmax = 0.0, t = 1.0;
  Vec x, dx, dxold;
  explicit Acc(IWORD nn) : n(nn), x(nn, 0.0), dx(nn, 0.0), dxold(nn, 0.0) {}
  void call() {
    ORVK_ACCITR(&iter, &n, &mode, &tmin, &tmax, &stpmax, &t, x.data(), dx.data(), dxold.data());
  }
};

TEST(Accitr, FirstCallDefaults) {
  Acc a(2);
  a.x = {100.0, -3.0};
  a.dx = {2.0, 1.0};
  a.call();
  EXPECT_EQ(a.iter, 1);
  EXPECT_EQ(a.tmin, 1e-4);
  EXPECT_EQ(a.tmax, 10.0);
  EXPECT_EQ(a.stpmax, 10.0);
  EXPECT_EQ(a.t, 1.0);
  EXPECT_EQ(a.x, (Vec{102.0, -2.0}));
  EXPECT_EQ(a.dxold, (Vec{2.0, 1.0}));
}

TEST(Accitr, FirstCallModeTable) {
  const struct {
    IWORD in, out;
  } cases[] = {{0, 2}, {7, 2}, {-3, 2}, {1, 1}, {-1, -1}, {2, 2}, {-2, -2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    Acc a(1);
    a.mode = c.in;
    a.call();
    EXPECT_EQ(a.mode, c.out);
  }
}

TEST(Accitr, FirstCallKeepsGivenLimits) {
  Acc a(1);
  a.tmin = 0.5;
  a.tmax = 0.25;  // below TMIN: replaced
  a.stpmax = 0.02;
  a.t = 3.0;
  a.x = {1.0};
  a.dx = {0.001};
  a.call();
  EXPECT_EQ(a.tmin, 0.5);
  EXPECT_EQ(a.tmax, 10.0);
  EXPECT_EQ(a.stpmax, 0.02);
  EXPECT_EQ(a.t, 3.0);
  EXPECT_NEAR(a.x[0], 1.003, 4 * kEps);
}

// A later call: DXOLD = (2, 1), DX = (1, 0.5), previous T = 1; each row
// sets MODE and limits and gives the factor used.
struct LaterCase {
  const char* what;
  IWORD mode;
  double stpmax, tmin, tmax;
  Vec dx;
  double t;
};

// The later call of case C with DXOLD = (2, 1) and DX both times SCALE: X
// moves by the factor of the case times DX, and DX becomes DXOLD.
void expect_later_call(const LaterCase& c, double scale) {
  SCOPED_TRACE(c.what);
  Acc a(2);
  a.iter = 1;
  a.mode = c.mode;
  a.stpmax = c.stpmax;
  a.tmin = c.tmin;
  a.tmax = c.tmax;
  a.t = 1.0;
  a.x = {10.0, 20.0};
  a.dxold = {2.0 * scale, 1.0 * scale};
  a.dx = {c.dx[0] * scale, c.dx[1] * scale};
  a.call();
  EXPECT_EQ(a.iter, 2);
  EXPECT_DOUBLE_EQ(a.t, c.t);
  EXPECT_DOUBLE_EQ(a.x[0], 10.0 + c.t * c.dx[0] * scale);
  EXPECT_DOUBLE_EQ(a.x[1], 20.0 + c.t * c.dx[1] * scale);
  EXPECT_EQ(a.dxold, (Vec{c.dx[0] * scale, c.dx[1] * scale}));
}

TEST(Accitr, LaterCallTable) {
  const LaterCase cases[] = {
      {"mode 2: f = 5, g = -2.5", 2, 100.0, 1e-4, 10.0, {1.0, 0.5}, 2.0},
      {"mode 1: f = -2.5, g = 1.25", 1, 100.0, 1e-4, 10.0, {1.0, 0.5}, 2.0},
      {"step limit", 2, 1.0, 1e-4, 10.0, {1.0, 0.5}, 1.0},
      {"factor bound", 2, 100.0, 1e-4, 1.5, {1.0, 0.5}, 1.5},
      {"no change of DX: factor 1", 2, 100.0, 1e-4, 10.0, {2.0, 1.0}, 1.0},
      {"factor below TMIN raised to it", 2, 100.0, 3.0, 10.0, {1.0, 0.5}, 3.0},
      // f = 5, g = 2*(-4) + 1*(-2) = -10: a = -5/(-10) = 0.5
      {"mode 2 factor 0.5", 2, 100.0, 1e-4, 10.0, {-2.0, -1.0}, 0.5},
      // g = 2*(2)+1*(1) = 5 > 0: a = -1 kept negative by MODE -2
      {"mode -2 keeps the sign", -2, 100.0, 1e-4, 10.0, {4.0, 2.0}, -1.0},
      {"mode 2 takes the magnitude", 2, 100.0, 1e-4, 10.0, {4.0, 2.0}, 1.0},
      {"negative factor below TMIN keeps its sign", -2, 100.0, 2.0, 10.0, {4.0, 2.0}, -2.0},
  };
  for (const auto& c : cases) expect_later_call(c, 1.0);
}

// The later-call cases with changes of about 1e211, whose sums f and g
// overflow: the factor is the same ratio as for the unscaled changes, and
// the step limit and the sign rule still hold.
TEST(Accitr, OverflowingSumsKeepTheFactor) {
  const double big = std::ldexp(1.0, 700);
  const LaterCase cases[] = {
      {"mode 2", 2, 1e300, 1e-4, 10.0, {1.0, 0.5}, 2.0},
      {"mode 1", 1, 1e300, 1e-4, 10.0, {1.0, 0.5}, 2.0},
      {"mode -1", -1, 1e300, 1e-4, 10.0, {1.0, 0.5}, 2.0},
      {"mode -2 keeps the sign", -2, 1e300, 1e-4, 10.0, {4.0, 2.0}, -1.0},
      {"mode 2 takes the magnitude", 2, 1e300, 1e-4, 10.0, {4.0, 2.0}, 1.0},
      {"mode 2 factor 0.5", 2, 1e300, 1e-4, 10.0, {-2.0, -1.0}, 0.5},
      // e*|a| = 2^701 > STPMAX: a = 100/2^700, raised to TMIN
      {"step limit", 2, 100.0, 1e-4, 10.0, {1.0, 0.5}, 1e-4},
      {"no change of DX: factor 1", 1, 1e300, 1e-4, 10.0, {2.0, 1.0}, 1.0},
  };
  for (const auto& c : cases) expect_later_call(c, big);
}

TEST(Accitr, TinyFactorRaisedToTmin) {
  Acc a(1);
  a.iter = 1;
  a.tmin = 1e-4;
  a.tmax = 10.0;
  a.stpmax = 1e6;
  a.t = 1e-6;
  a.dxold = {1.0};
  a.dx = {-1.0e6};  // f = 1, g = -1e6 - 1: a about 1e-12
  a.call();
  EXPECT_EQ(a.t, 1e-4);
}

// On G(x) = xs + lam*(x - xs) both formulas give T = 1/(1 - lam) on the
// second call, which lands on xs.
TEST(Accitr, LinearMapReachesFixedPoint) {
  for (IWORD mode : {1, 2, -1, -2}) {
    for (double lam : {0.5, 0.9, -0.5, 0.99}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " slope " << lam);
      const Vec xs = {3.0, -7.0, 0.25};
      Acc a(3);
      a.mode = mode;
      a.tmax = 1000.0;
      a.tmin = 1e-4;
      a.stpmax = 1e6;
      a.t = 0.5;
      a.x = {1.0, 1.0, 1.0};
      for (int k = 0; k < 2; ++k) {
        for (size_t i = 0; i < 3; ++i) a.dx[i] = (lam - 1.0) * (a.x[i] - xs[i]);
        a.call();
      }
      EXPECT_NEAR(a.t, 1.0 / (1.0 - lam), 1e3 * kEps * std::fabs(a.t));
      for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(a.x[i], xs[i], 1e4 * kEps * 10.0);
    }
  }
}

// The call counter stops at the largest IWORD instead of overflowing; the
// call is a later one.
TEST(Accitr, CounterStopsAtTheTop) {
  Acc a(2);
  a.iter = std::numeric_limits<IWORD>::max();
  a.tmin = 1e-4;
  a.tmax = 10.0;
  a.stpmax = 100.0;
  a.dxold = {2.0, 1.0};
  a.dx = {1.0, 0.5};
  a.call();
  EXPECT_EQ(a.iter, std::numeric_limits<IWORD>::max());
  EXPECT_EQ(a.t, 2.0);  // f = 5, g = -2.5: a = 2
  EXPECT_EQ(a.x, (Vec{2.0, 1.0}));
}

// A zero DX with a negative step limit: no step, no division by zero.
TEST(Accitr, ZeroChangeWithNegativeLimit) {
  Acc a(2);
  a.iter = 3;
  a.stpmax = -1.0;
  a.tmin = 1e-4;
  a.tmax = 10.0;
  a.x = {1.0, 2.0};
  a.dx = {0.0, 0.0};
  a.dxold = {0.0, 0.0};
  a.call();
  EXPECT_TRUE(std::isfinite(a.t));
  EXPECT_EQ(a.t, 1.0);
  EXPECT_EQ(a.x, (Vec{1.0, 2.0}));

  Acc e(0);  // empty: factor 1, nothing moves
  e.iter = 2;
  e.tmin = 1e-4;
  e.tmax = 10.0;
  e.stpmax = 1.0;
  e.call();
  EXPECT_EQ(e.t, 1.0);
}

}  // namespace
