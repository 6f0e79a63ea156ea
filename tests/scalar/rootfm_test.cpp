// ORVK_ROOTFM: known roots through the reverse-communication loop, the
// search rules (direction, reversal, bounds) and the code table.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "orvika/host_stub.h"
#include "orvika/scalar_roots.h"
#include "scalar/roots_test_util.hpp"

namespace {

using scalar_test::drive;
using scalar_test::RunResult;
using scalar_test::Record;
using scalar_test::record;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

RunResult solve(Record& w, const std::function<double(double)>& f, double x0, int cap = 200) {
  return drive([&](IWORD& c, double& x, double& fx) { ORVK_ROOTFM(&c, &x, &fx, w.data()); }, f,
               x0, 1, [](IWORD c) { return c >= 2 && c <= 5; }, cap);
}

class RootfmTest : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
};

// Known roots, among them roots at the ends of [0, 1]; every evaluation
// inside the bounds.  The evaluation counts are exact: the model steps
// decide them, so a model root taken from a wrong formula (for instance
// p / (v - p v - p) in place of p / (v - p v + p), the root of the model)
// shows as a different count even where bisection still finds the root.
TEST_F(RootfmTest, KnownRoots) {
  struct Case {
    scalar_test::Equation eq;
    double lo, hi, x0, step;
    int evals;
  };
  const auto eqs = scalar_test::classic_equations();
  const Case cases[] = {
      {eqs[0], 0.0, 5.0, 1.0, 0.25, 11},
      {eqs[1], -5.0, 5.0, 0.0, 0.25, 10},
      {eqs[2], 0.0, 4.0, 0.5, 0.25, 32},  // bisects inside the 1e-10 end margin
      {eqs[3], -1.0, 2.0, 0.0, 0.25, 9},
      {{"end0", [](double x) { return x * (x + 1.0); }, 0.0, 0.0}, 0.0, 1.0, 0.55, 0.1, 7},
      {{"end1", [](double x) { return std::exp(x) - std::exp(1.0); }, 0.0, 1.0}, 0.0, 1.0, 0.35,
       0.1, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.eq.name);
    Record w = record(c.lo, c.hi, 1e-13, 0.0, c.step, c.eq.target);
    bool inside = true;
    const RunResult r = solve(
        w,
        [&](double x) {
          inside = inside && x >= c.lo && x <= c.hi;
          return c.eq.f(x);
        },
        c.x0);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(inside);
    EXPECT_LE(std::fabs(c.eq.f(r.x) - c.eq.target), 1e-13);
    EXPECT_NEAR(r.x, c.eq.root, 1e-11);
    EXPECT_EQ(r.evals, c.evals);
  }
}

// ICODE <= 0 returns 0 at once and changes nothing; a start within the
// tolerance returns 0 on the first call.
TEST_F(RootfmTest, ImmediateReturns) {
  for (IWORD start : {IWORD{0}, IWORD{-3}}) {
    Record w = record(0.0, 1.0, 1e-8, 0.0, 0.1, 0.0);
    const Record w0 = w;
    IWORD c = start;
    double x = 0.5, f = 3.0;
    ORVK_ROOTFM(&c, &x, &f, w.data());
    EXPECT_EQ(c, 0);
    EXPECT_EQ(x, 0.5);
    EXPECT_EQ(f, 3.0);
    EXPECT_EQ(w, w0);
  }
  Record w = record(0.0, 1.0, 1e-8, 0.0, 0.1, 2.0);
  const Record w0 = w;
  IWORD c = 1;
  double x = 5.0, f = 2.0 + 1e-9;  // converged, though outside the bounds
  ORVK_ROOTFM(&c, &x, &f, w.data());
  EXPECT_EQ(c, 0);
  EXPECT_EQ(w, w0);
}

// The first direction comes from the signs of W(5) and R.
TEST_F(RootfmTest, FirstDirection) {
  struct Case {
    double step, f, expect;
  };
  for (const Case c : {Case{0.25, 1.0, 0.25}, Case{0.25, -1.0, 0.75}, Case{-0.25, 1.0, 0.75},
                       Case{-0.25, -1.0, 0.25}}) {
    Record w = record(0.0, 1.0, 1e-8, 0.0, c.step, 0.0);
    IWORD k = 1;
    double x = 0.5, f = c.f;
    ORVK_ROOTFM(&k, &x, &f, w.data());
    EXPECT_EQ(k, 2);
    EXPECT_EQ(x, c.expect) << c.step << " " << c.f;
    EXPECT_EQ(w[15], 0.5);   // XPREV: the start point
    EXPECT_EQ(w[11], c.f);   // RPREV
  }
}

// A first step that makes |R| larger reverses the search from the start
// point; later worse steps do not.
TEST_F(RootfmTest, Reversal) {
  Record w = record(-10.0, 10.0, 1e-12, 0.0, -0.5, 0.0);
  const RunResult r = solve(w, [](double x) { return x - 3.0; }, 1.0, 40);
  ASSERT_GE(r.codes.size(), 3u);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.x, 3.0);
  // Points: 1 (start), 0.5 (worse), then 1.5, 2, 2.5, 3.
  EXPECT_EQ(r.evals, 6);
}

// A bound reached during the search: jump back to the other end of the
// explored interval and step towards the middle; a second bound hit ends
// with the best point and its F.
TEST_F(RootfmTest, BoundHits) {
  Record w = record(0.0, 3.0, 1e-12, 0.0, 1.0, 0.0);
  std::vector<double> xs;
  const RunResult r = solve(
      w,
      [&](double x) {
        xs.push_back(x);
        return x - 10.0;
      },
      1.0);
  EXPECT_EQ(xs, (std::vector<double>{1.0, 2.0, 3.0, 0.0}));
  EXPECT_EQ(r.code, -1);  // the best point lies on W(2), inside the widened bound
  EXPECT_EQ(r.x, 3.0);
  // The best point and its F come back in X and F.
  Record v = record(0.0, 3.0, 1e-12, 0.0, 1.0, 0.0);
  IWORD c = 1;
  double x = 1.0, f = -9.0;
  for (int i = 0; i < 10 && (c == 1 || (c >= 2 && c <= 5)); ++i) {
    ORVK_ROOTFM(&c, &x, &f, v.data());
    if (c >= 2 && c <= 5) f = x - 10.0;
  }
  EXPECT_EQ(c, -1);
  EXPECT_EQ(x, 3.0);
  EXPECT_EQ(f, -7.0);
  EXPECT_EQ(v[6], 3.0);   // XBEST
  EXPECT_EQ(v[7], -7.0);  // RBEST
}

// -4: a start point outside the bounds (or not a number), or a search step
// of at most W(4); W and X unchanged.
TEST_F(RootfmTest, SearchFailures) {
  struct Case {
    double x0, step, xtol;
  };
  for (const Case c : {Case{1.5, 0.1, 0.0}, Case{-0.5, 0.1, 0.0}, Case{kNaN, 0.1, 0.0},
                       Case{0.5, 0.1, 0.1}, Case{0.5, 0.0, 0.0}, Case{0.5, 0.0, -1.0},
                       Case{0.5, kNaN, 0.0}, Case{1e20, 1.0, -1.0}}) {
    Record w = record(0.0, c.x0 > 1e10 ? 1e30 : 1.0, 1e-12, c.xtol, c.step, 0.0);
    const Record w0 = w;
    IWORD k = 1;
    double x = c.x0, f = 1.0;
    ORVK_ROOTFM(&k, &x, &f, w.data());
    EXPECT_EQ(k, -4) << c.x0 << " " << c.step << " " << c.xtol;
    EXPECT_EQ(std::memcmp(w.data(), w0.data(), sizeof w), 0);
    EXPECT_TRUE(x == c.x0 || (std::isnan(x) && std::isnan(c.x0)));
  }
  // Within the slack of the bounds the start is accepted.
  Record w = record(0.0, 1.0, 1e-12, 0.0, 0.1, 0.0);
  IWORD k = 1;
  double x = 1.0 + 5e-16, f = 1.0;
  ORVK_ROOTFM(&k, &x, &f, w.data());
  EXPECT_EQ(k, 2);
}

// After a sign change the next point is the midpoint of the last two
// (code 3); in the bracketing phase a point outside the bracket gives -5
// with W unchanged.
TEST_F(RootfmTest, SignChangeAndBracket) {
  Record w = record(0.0, 10.0, 1e-12, 0.0, 1.0, 0.0);
  IWORD k = 1;
  double x = 1.0, f = 1.0 - 2.5;
  ORVK_ROOTFM(&k, &x, &f, w.data());
  ASSERT_EQ(x, 2.0);
  f = x - 2.5;
  ORVK_ROOTFM(&k, &x, &f, w.data());
  ASSERT_EQ(x, 3.0);
  f = x - 2.5;
  ORVK_ROOTFM(&k, &x, &f, w.data());
  EXPECT_EQ(k, 3);
  EXPECT_EQ(x, 2.5);
  const Record w0 = w;
  IWORD k2 = k;
  double x2 = 3.5, f2 = 1.0;
  ORVK_ROOTFM(&k2, &x2, &f2, w.data());
  EXPECT_EQ(k2, -5);
  EXPECT_EQ(x2, 3.5);
  EXPECT_EQ(w, w0);
  // A point on an end of the bracket is accepted by the plain routine.
  k2 = k;
  x2 = 3.0;
  f2 = 0.5;
  ORVK_ROOTFM(&k2, &x2, &f2, w.data());
  EXPECT_GE(k2, 0);
}

// The three-point model is exact for a linear F: after the midpoint of the
// first bracket, the model step lands on the root.
TEST_F(RootfmTest, LinearModelStep) {
  Record w = record(0.0, 1.0, 1e-12, 0.0, 0.25, 0.0);
  std::vector<double> xs;
  const RunResult r = solve(
      w,
      [&](double x) {
        xs.push_back(x);
        return x - 0.37;
      },
      0.0);
  EXPECT_EQ(r.codes, (std::vector<IWORD>{2, 2, 3, 4, 0}));
  ASSERT_EQ(xs.size(), 5u);
  EXPECT_EQ(xs[3], 0.375);
  EXPECT_NEAR(xs[4], 0.37, 1e-15);
}

// A sign change is found whatever the scale of F: the residuals of
// 1e-300 tanh(x - 0.3) multiply to an underflowing product, yet the search
// step from 2 to -5 crosses the root and must start the bracketing phase
// (code 3 at the midpoint), in the plain routine and in its twin, and the
// run ends at the root instead of with a bound code and the start point.
TEST_F(RootfmTest, SignChangeAtAnyScale) {
  for (double scale : {1e-300, 1e-160, 1.0, 1e300}) {
    SCOPED_TRACE(scale);
    const auto f = [scale](double x) { return scale * std::tanh(x - 0.3); };
    for (bool twin : {false, true}) {
      Record w = record(-5.0, 5.0, 1e-13 * scale, 0.0, 7.0, 0.0);
      IWORD gp = 0, ld = 0;
      const RunResult r = drive(
          [&](IWORD& c, double& x, double& fx) {
            if (twin) {
              G_ORVK_ROOTFM(&gp, &c, &x, nullptr, &ld, &fx, nullptr, &ld, w.data(), nullptr, &ld);
            } else {
              ORVK_ROOTFM(&c, &x, &fx, w.data());
            }
          },
          f, 2.0, 1, [](IWORD c) { return c >= 2 && c <= 5; });
      ASSERT_GE(r.codes.size(), 2u);
      EXPECT_EQ(r.codes[0], 2);
      EXPECT_EQ(r.codes[1], 3);
      EXPECT_EQ(r.code, 0);
      EXPECT_NEAR(r.x, 0.3, 1e-12);
    }
  }
}

// Negative tolerances do not make the search run for ever: with W(5) = 0 it
// ends with -4, and the bracketing phase ends when the bracket cannot be
// halved any more.
TEST_F(RootfmTest, NegativeTolerancesTerminate) {
  Record w = record(0.0, 1.0, -1.0, -1.0, 0.01, 0.0);
  const RunResult r = solve(w, [](double x) { return std::exp(x) - 1.5; }, 0.0, 2000);
  EXPECT_EQ(r.code, 0);
  EXPECT_NEAR(r.x, std::log(1.5), 1e-15);
  EXPECT_LT(r.evals, 200);
}

// F flat on its positive side, F = min(+-(x - 0.3), h): every model step
// lands on the plateau, whose residual equals RPOS exactly.  The midpoint
// of the bisection that follows each such step is the new negative end;
// were it dropped, the bracket would shrink only by the model's steps next
// to XPOS, and for h = 1e-9 the run would not end within 10^7 evaluations.
// With it the run ends at the root within a few dozen.
TEST_F(RootfmTest, PositivePlateauShrinksBracket) {
  for (double h : {1e-3, 1e-6, 1e-9}) {
    for (double dir : {1.0, -1.0}) {
      SCOPED_TRACE(testing::Message() << "h " << h << " dir " << dir);
      Record w = record(0.0, 1.0, 0.0, 0.0, 0.25, 0.0);
      bool inside = true;
      const RunResult r = solve(
          w,
          [&](double x) {
            inside = inside && x >= 0.0 && x <= 1.0;
            return std::fmin(dir * (x - 0.3), h);
          },
          dir > 0.0 ? 0.0 : 0.9, 200);
      EXPECT_EQ(r.code, 0);
      EXPECT_TRUE(inside);
      EXPECT_NEAR(r.x, 0.3, 1e-15);
      EXPECT_LT(r.evals, 200);
    }
  }
}

}  // namespace
