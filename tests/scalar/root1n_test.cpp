// ORVK_ROOT1N, ORVK_ROOT2N, ORVK_KROOT1 and ROOTCV: known roots through the
// reverse-communication loop, the code table, the record words and the
// guards against residuals that are not numbers.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "orvika/host_stub.h"
#include "orvika/scalar_roots.h"
#include "scalar/roots.hpp"
#include "scalar/roots_test_util.hpp"

namespace {

using scalar_test::drive;
using scalar_test::RunResult;
using Record = std::array<double, 15>;
using RootFn = void (*)(IWORD*, double*, const double*, double*, const IWORD*);

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A record with bounds LO, HI, step cap W3, target, tolerance and slope;
// words 7-15 zero.
Record record(double lo, double hi, double w3, double target, double tol, double slope = 0.0) {
  Record w{};
  w[0] = lo;
  w[1] = hi;
  w[2] = w3;
  w[3] = target;
  w[4] = tol;
  w[5] = slope;
  return w;
}

RunResult solve(RootFn fn, Record& w, const std::function<double(double)>& f, double x0, IWORD start,
          IWORD maxit) {
  return drive([&](IWORD& c, double& x, double& fx) { fn(&c, &x, &fx, w.data(), &maxit); }, f, x0,
               start, [](IWORD c) { return c > 0; });
}

struct Solver {
  const char* name;
  RootFn fn;
};
const Solver kSolvers[] = {{"ROOT1N", ORVK_ROOT1N}, {"ROOT2N", ORVK_ROOT2N}};

class RootNTest : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
};

// Known roots: every solver converges inside the bounds with few
// evaluations, from a start with and without a slope estimate.
TEST_F(RootNTest, KnownRoots) {
  struct Case {
    scalar_test::Equation eq;
    double lo, hi, x0, slope;
  };
  const auto eqs = scalar_test::classic_equations();
  const Case cases[] = {
      {eqs[0], 0.0, 5.0, 1.0, 0.0},  {eqs[0], 0.0, 5.0, 4.0, 46.0}, {eqs[1], -5.0, 5.0, 0.0, 0.0},
      {eqs[1], -5.0, 5.0, 3.0, 20.0}, {eqs[2], 0.0, 4.0, 1.0, 0.0}, {eqs[3], -1.0, 2.0, 0.0, -1.0},
      // A root at an end of [0, 1].
      {{"end0", [](double x) { return x * (x + 1.0); }, 0.0, 0.0}, 0.0, 1.0, 0.6, 0.0},
      {{"end1", [](double x) { return std::exp(x) - std::exp(1.0); }, 0.0, 1.0}, 0.0, 1.0, 0.2,
       0.0},
  };
  for (const auto& s : kSolvers) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(s.name) + " " + c.eq.name);
      Record w = record(c.lo, c.hi, 0.0, c.eq.target, 1e-12, c.slope);
      const RunResult r = solve(s.fn, w, c.eq.f, c.x0, 1, 60);
      EXPECT_EQ(r.code, 0);
      EXPECT_LE(std::fabs(c.eq.f(r.x) - c.eq.target), 1e-12);
      EXPECT_NEAR(r.x, c.eq.root, 1e-9);
      EXPECT_LE(r.evals, 25);
    }
  }
}

// W(1) = W(2) ends at once with -1; the record keeps the slope.
TEST_F(RootNTest, EqualBounds) {
  for (const auto& s : kSolvers) {
    Record w = record(2.0, 2.0, 0.0, 0.0, 1e-8, 3.0);
    IWORD code = 1, maxit = 10;
    double x = 2.0, f = 1.0;
    s.fn(&code, &x, &f, w.data(), &maxit);
    EXPECT_EQ(code, -1) << s.name;
    EXPECT_EQ(w[5], 3.0);
  }
}

// A start point outside the bounds is clamped and returned for evaluation
// with ICODE + 1 and no step; a start point that is not a number as well.
TEST_F(RootNTest, StartOutsideIsClamped) {
  struct Case {
    double x0, expect;
  };
  for (const auto& s : kSolvers) {
    for (const Case c : {Case{12.0, 10.0}, Case{-3.0, 1.0}, Case{kNaN, 1.0}}) {
      Record w = record(10.0, 1.0, 0.0, 0.0, 1e-8, 2.0);
      IWORD code = 1, maxit = 10;
      double x = c.x0, f = 5.0;
      s.fn(&code, &x, &f, w.data(), &maxit);
      EXPECT_EQ(code, 2) << s.name;
      EXPECT_EQ(x, c.expect) << s.name;
      EXPECT_EQ(w[5], 2.0);
    }
  }
}

// First step without a slope: W(3) when usable, else 0.01 (|X| + 0.01) with
// the sign of W(3), at least 0.001 |X| and 1e-6, turned towards the middle
// when it would leave the bounds.
TEST_F(RootNTest, FirstStepWithoutSlope) {
  struct Case {
    double lo, hi, w3, x0, expect;
  };
  const Case cases[] = {
      {0.0, 10.0, 0.0, 5.0, 5.0 + 0.0501},
      {0.0, 10.0, -1e-20, 5.0, 5.0 - 0.0501},
      {0.0, 10.0, 0.0, 9.99, 9.99 - 0.01 * (9.99 + 0.01)},
      {0.0, 10.0, 0.25, 1.0, 1.25},
      {-1.0, 1.0, 0.0, 0.0, 1e-4},
  };
  for (const auto& s : kSolvers) {
    for (const auto& c : cases) {
      Record w = record(c.lo, c.hi, c.w3, 0.0, 1e-8);
      IWORD code = 1, maxit = 10;
      double x = c.x0, f = 1.0;
      s.fn(&code, &x, &f, w.data(), &maxit);
      EXPECT_EQ(code, 2) << s.name;
      EXPECT_DOUBLE_EQ(x, c.expect) << s.name << " x0 " << c.x0;
      EXPECT_EQ(w[6], 1.0);  // R1
      EXPECT_EQ(w[7], c.x0);  // X1
    }
  }
}

// A linear F with its root within the step cap: start step, secant step,
// then 0 with X unchanged; the slope word learns the secant slope.
TEST_F(RootNTest, LinearConvergesAfterSecant) {
  for (const auto& s : kSolvers) {
    Record w = record(-10.0, 10.0, 2.0, 0.0, 1e-12);
    const RunResult r = solve(s.fn, w, [](double x) { return 2.0 * x - 3.0; }, 0.0, 1, 20);
    EXPECT_EQ(r.codes, (std::vector<IWORD>{2, 3, 0})) << s.name;
    EXPECT_EQ(r.x, 1.5);
    EXPECT_EQ(w[5], 2.0);
  }
}

// A run started with ICODE = 0 runs the start step twice.
TEST_F(RootNTest, StartWithZeroRunsStartTwice) {
  Record w = record(-10.0, 10.0, 2.0, 0.0, 1e-12);
  const RunResult r = solve(ORVK_ROOT1N, w, [](double x) { return 2.0 * x - 3.0; }, 0.0, 0, 20);
  ASSERT_GE(r.codes.size(), 2u);
  EXPECT_EQ(r.codes[0], 1);
  EXPECT_EQ(r.codes[1], 2);
  EXPECT_EQ(r.code, 0);
}

// An exactly constant residual ends with -7: at K = 6 while only one point
// is recorded (both solvers), and W(6) is cleared.
TEST_F(RootNTest, ConstantResidual) {
  for (const auto& s : kSolvers) {
    Record w = record(-100.0, 100.0, 0.1, 0.0, 1e-8, 0.0);
    const RunResult r = solve(s.fn, w, [](double) { return 1.0; }, 0.0, 1, 40);
    EXPECT_EQ(r.codes, (std::vector<IWORD>{2, 3, 4, 5, -7})) << s.name;
    EXPECT_EQ(w[5], 0.0);
  }
}

// Giving the recorded point again yields -6.
TEST_F(RootNTest, RepeatedPoint) {
  for (const auto& s : kSolvers) {
    Record w = record(-10.0, 10.0, 0.5, 0.0, 1e-8);
    IWORD code = 1, maxit = 10;
    double x = 0.0, f = -5.0;
    s.fn(&code, &x, &f, w.data(), &maxit);
    ASSERT_EQ(code, 2);
    x = 0.0;  // the point already recorded
    f = -4.0;
    s.fn(&code, &x, &f, w.data(), &maxit);
    EXPECT_EQ(code, -6) << s.name;
    EXPECT_EQ(w[5], 0.0);
  }
}

// MAXIT = 3 from ICODE = 1: -2 in place of the request code 4.
TEST_F(RootNTest, IterationLimit) {
  for (const auto& s : kSolvers) {
    Record w = record(-5.0, 5.0, 0.0, 3.0, 1e-14);
    const RunResult r = solve(s.fn, w, [](double x) { return std::exp(x); }, 0.0, 1, 3);
    EXPECT_EQ(r.codes, (std::vector<IWORD>{2, 3, -2})) << s.name;
    EXPECT_EQ(w[5], 0.0);
  }
}

// Root beyond the lower bound: a start at LO with the slope pointing out
// gives -3 with X = LO and the slope kept; a run from inside ends the same.
TEST_F(RootNTest, PushedAgainstBounds) {
  for (const auto& s : kSolvers) {
    Record w = record(0.0, 5.0, 0.0, 0.0, 1e-8, 1.0);
    IWORD code = 1, maxit = 50;
    double x = 0.0, f = 10.0;
    s.fn(&code, &x, &f, w.data(), &maxit);
    EXPECT_EQ(code, -3) << s.name;
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(w[5], 1.0);

    Record w2 = record(0.0, 5.0, 0.0, 0.0, 1e-8);
    const RunResult r = solve(s.fn, w2, [](double x) { return x + 10.0; }, 2.0, 1, 50);
    EXPECT_EQ(r.code, -3) << s.name;
    EXPECT_EQ(r.x, 0.0);

    Record w3 = record(0.0, 5.0, 0.0, 0.0, 1e-8);
    const RunResult r3 = solve(s.fn, w3, [](double x) { return x - 10.0; }, 2.0, 1, 50);
    EXPECT_EQ(r3.code, -4) << s.name;
    EXPECT_EQ(r3.x, 5.0);
  }
}

// No root: F = (x - 1)^2 + 1 has its minimum above the target; the solver
// steps to the vertex of its model and ends with -5 near x = 1.
TEST_F(RootNTest, StationaryPoint) {
  for (const auto& s : kSolvers) {
    Record w = record(-10.0, 10.0, 0.0, 0.0, 1e-6);
    const RunResult r = solve(s.fn, w, [](double x) { return (x - 1.0) * (x - 1.0) + 1.0; }, -2.0, 1, 60);
    EXPECT_EQ(r.code, -5) << s.name;
    EXPECT_NEAR(r.x, 1.0, 1e-3) << s.name;
    EXPECT_EQ(w[5], 0.0);
  }
}

// A converged call with a negative MAXIT reports -2.
TEST_F(RootNTest, ConvergedWithNegativeLimit) {
  for (const auto& s : kSolvers) {
    Record w = record(-1.0, 1.0, 0.0, 0.0, 1e-3, 2.0);
    IWORD code = 1, maxit = -1;
    double x = 0.5, f = 1e-4;
    s.fn(&code, &x, &f, w.data(), &maxit);
    EXPECT_EQ(code, -2) << s.name;
    EXPECT_EQ(w[5], 0.0);
  }
}

// A residual that is not a number is never taken as converged, and the
// next point stays a number inside the bounds: it steps back towards the
// last recorded point.
TEST_F(RootNTest, NotANumberResidual) {
  for (const auto& s : kSolvers) {
    Record w = record(-10.0, 10.0, 0.0, 0.0, 1e-8);
    IWORD code = 1, maxit = 50;
    double x = 1.0, f = 2.0;
    s.fn(&code, &x, &f, w.data(), &maxit);
    ASSERT_EQ(code, 2);
    const double x1 = 1.0, xt = x;
    f = kNaN;
    s.fn(&code, &x, &f, w.data(), &maxit);
    EXPECT_EQ(code, 3) << s.name;
    ASSERT_TRUE(std::isfinite(x)) << s.name;
    EXPECT_GE(x, -10.0);
    EXPECT_LE(x, 10.0);
    EXPECT_LT(std::fabs(x - x1), std::fabs(xt - x1));
    // Fed NaN until the end: the run ends with a failure code, X a number.
    const RunResult r = solve(s.fn, w, [](double) { return kNaN; }, x, code, 50);
    EXPECT_LT(r.code, 0) << s.name;
    EXPECT_TRUE(std::isfinite(r.x));
  }
}

// A start on a pole of F (an infinite residual, as at an end of the
// physical window of a flash equation) is followed by finite residuals
// that differ from it: they are not taken for an unchanged F, and the run
// goes on to the root.  Rachford-Rice: sum z (K - 1) / (1 + V (K - 1)) = 0
// with K from 1e-3 to 1e3, poles at the window ends 1 / (1 - Kmax) and
// 1 / (1 - Kmin).
TEST_F(RootNTest, InfiniteResidualAtStart) {
  const auto rachford_rice = [](double v) {
    const double z[] = {0.3, 0.2, 0.2, 0.15, 0.1, 0.05};
    const double k[] = {1e3, 50.0, 2.0, 0.5, 0.01, 1e-3};
    double s = 0.0;
    for (int i = 0; i < 6; ++i) s += z[i] * (k[i] - 1.0) / (1.0 + v * (k[i] - 1.0));
    return s;
  };
  const double vmin = 1.0 / (1.0 - 1e3), vmax = 1.0 / (1.0 - 1e-3);
  const double root = 0.77006580479987308;
  struct Case {
    const char* name;
    std::function<double(double)> f;
    double lo, hi, x0, step, root;
  };
  const Case cases[] = {
      {"flash from Vmin", rachford_rice, vmin, vmax, vmin, 0.1, root},
      {"flash from Vmax", rachford_rice, vmin, vmax, vmax, 0.1, root},
      {"1/x - 2 from 0", [](double x) { return 1.0 / x - 2.0; }, 0.0, 5.0, 0.0, 0.1, 0.5},
      {"2 - 1/x from 0", [](double x) { return 2.0 - 1.0 / x; }, 0.0, 5.0, 0.0, 0.1, 0.5},
  };
  for (const auto& s : kSolvers) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(s.name) + " " + c.name);
      ASSERT_TRUE(std::isinf(c.f(c.x0)));
      Record w = record(c.lo, c.hi, c.step, 0.0, 1e-12);
      const RunResult r = solve(s.fn, w, c.f, c.x0, 1, 60);
      EXPECT_EQ(r.code, 0);
      EXPECT_NEAR(r.x, c.root, 1e-10);
    }
  }
}

// ORVK_KROOT1 and ROOTCV on hand-made records.
TEST_F(RootNTest, ConvergenceTests) {
  struct Case {
    double x, tol, w6, w7, w8, w11, w12;
    IWORD kroot1;
    double rootcv;
  };
  const Case cases[] = {
      {1.0, 1e-3, 0.0, 0.1, 1.0, 0.0, 1.0005, 0, 0.0},       // no bracket point
      {1.0, 1e-3, 0.0, 0.1, 1.0, 0.5, 1.0005, 2, 2.0},       // bracket within T
      {1.0, 1e-3, 0.0, 0.1, 1.0, -0.5, 1.0005, 2, 0.0},      // ROOTCV needs W(11) > 0
      {1.0005, 1e-3, 0.0, 0.1, 1.0, 0.5, 2.0, 1, 1.0},       // X near the last point
      {5.0, 1e-3, 0.0, 0.1, 1.0, 0.5, 2.0, 0, 0.0},          // neither
      {1.0, 1e-3, 10.0, 0.1, 1.0, 0.5, 1.0005, 0, 2.0},      // |W7| > |2 TOL W6|
      {1.0, 1e-3, 100.0, 0.1, 1.0, 0.5, 1.0005, 2, 2.0},     // |W7| <= |2 TOL W6|
      {0.0, 1e-3, 0.0, 0.1, 0.0, 0.5, 1e-5, 2, 1.0},         // T uses max(|X|, 0.01)
  };
  for (const auto& c : cases) {
    Record w{};
    w[5] = c.w6;
    w[6] = c.w7;
    w[7] = c.w8;
    w[10] = c.w11;
    w[11] = c.w12;
    EXPECT_EQ(ORVK_KROOT1(&c.x, &c.tol, w.data()), c.kroot1) << c.x << " " << c.w11;
    EXPECT_EQ(orvika::ROOTCV(c.x, c.tol, w.data()), c.rootcv) << c.x << " " << c.w11;
  }
}

// Counter word and packed counters.
TEST_F(RootNTest, CounterWords) {
  // After a start step the counter word is 0.
  Record w = record(-10.0, 10.0, 0.0, 0.0, 1e-8);
  w[14] = 312.0;
  IWORD code = 1, maxit = 50;
  double x = 1.0, f = 2.0;
  ORVK_ROOT2N(&code, &x, &f, w.data(), &maxit);
  EXPECT_EQ(w[14], 0.0);

  // A blow-up call changes none of c, d, e: 312 is written back.
  Record b = record(-10.0, 10.0, 0.0, 0.0, 1e-8);
  b[6] = 1.0;   // R1
  b[7] = 0.0;   // X1
  b[8] = 1.5;   // R2
  b[9] = -1.0;  // X2
  b[12] = 1.0;
  b[14] = 312.0;
  code = 5;
  x = 1.0;
  f = 1e6;
  ORVK_ROOT2N(&code, &x, &f, b.data(), &maxit);
  EXPECT_EQ(code, 6);
  EXPECT_EQ(x, 0.25);  // 0.75 of the way back to X1
  EXPECT_EQ(b[14], 312.0);
  EXPECT_EQ(b[6], 1.0);  // not recorded

  // ORVK_ROOT1N steps back 0.99 of the way, above 1000 max(|R1|, |R2|, 1e10).
  x = 1.0;
  f = 2e13;
  x = 1.0;
  code = 5;
  Record d = b;
  d[14] = 0.0;
  ORVK_ROOT1N(&code, &x, &f, d.data(), &maxit);
  EXPECT_NEAR(x, 0.01, 1e-15);

  // A counter word that is no number of integer range reads as 0.
  Record e = b;
  e[14] = kNaN;
  code = 5;
  x = 1.0;
  f = 1e6;
  ORVK_ROOT2N(&code, &x, &f, e.data(), &maxit);
  EXPECT_EQ(e[14], 0.0);
  e[14] = 1e300;
  code = 5;
  x = 1.0;
  ORVK_ROOT2N(&code, &x, &f, e.data(), &maxit);
  EXPECT_EQ(e[14], 0.0);
}

// ORVK_ROOT2N: two residuals that differ in the last bits count as
// unchanged; with a bracket point the next X is halfway to it.
TEST_F(RootNTest, Root2nUnchangedHalvesTowardsBracket) {
  Record w = record(-10.0, 10.0, 0.0, 0.0, 1e-10);
  w[6] = 1.0;    // R1
  w[7] = 1.0;    // X1
  w[10] = -2.0;  // RB
  w[11] = 0.0;   // XB
  w[12] = 1.0;
  w[13] = 1.0;
  IWORD code = 5, maxit = 50;
  double x = 2.0, f = 1.0 + std::ldexp(1.0, -52);
  ORVK_ROOT2N(&code, &x, &f, w.data(), &maxit);
  EXPECT_EQ(code, 6);
  EXPECT_EQ(x, 1.0);
  EXPECT_EQ(w[7], 2.0);  // X1 := X, not shifted
  EXPECT_EQ(w[8], 0.0);
  EXPECT_EQ(w[14], 100.0);
  // ORVK_ROOT1N takes the same residuals as changed (exact test).
  Record v = record(-10.0, 10.0, 0.0, 0.0, 1e-10);
  v[6] = 1.0;
  v[7] = 1.0;
  v[10] = -2.0;
  v[12] = 1.0;
  v[13] = 1.0;
  code = 5;
  x = 2.0;
  ORVK_ROOT1N(&code, &x, &f, v.data(), &maxit);
  EXPECT_EQ(code, 6);
  EXPECT_NE(x, 1.0);
}

// ORVK_ROOT2N: stall with a bracket point gives a residual-weighted step:
// three quarters of the way when the current residual is over 100 times
// the one at XB, and the counter drops by 3.
TEST_F(RootNTest, Root2nWeightedBracketStep) {
  struct Case {
    double rb, f, expect;
  };
  for (const Case c : {Case{-0.01, 4.0, 0.25}, Case{-500.0, 4.0, 0.75}, Case{-4.0, 4.0, 0.5}}) {
    Record w = record(-10.0, 10.0, 0.0, 0.0, 1e-10);
    w[6] = 5.0;    // R1
    w[7] = 1.5;    // X1
    w[8] = 6.0;    // R2
    w[9] = 2.0;    // X2
    w[10] = c.rb;  // RB
    w[11] = 0.0;   // XB
    w[12] = -0.01;
    w[14] = 400.0;
    IWORD code = 5, maxit = 50;
    double x = 1.0, f = c.f;
    ORVK_ROOT2N(&code, &x, &f, w.data(), &maxit);
    EXPECT_EQ(code, 6);
    EXPECT_DOUBLE_EQ(x, c.expect) << c.rb;
    EXPECT_EQ(w[14], 200.0);
  }
}

// ORVK_ROOT2N: a second point worse than the first makes the first the
// current one (the step starts there), and a step longer than the cap is
// clamped to the span of the visited points widened by the cap.
TEST_F(RootNTest, Root2nSwapAndSpanLimit) {
  Record w = record(-100.0, 100.0, 0.1, 0.0, 1e-10);
  w[6] = 1.8;   // R1
  w[7] = 0.25;  // X1
  w[12] = 1.8;
  w[13] = 0.25;
  w[14] = 100.0;
  IWORD code = 5, maxit = 50;
  double x = 0.05, f = 1.9;
  ORVK_ROOT2N(&code, &x, &f, w.data(), &maxit);
  EXPECT_EQ(code, 6);
  EXPECT_DOUBLE_EQ(x, 0.35);  // from 0.25 by the secant, clamped to 0.25 + 0.1
  EXPECT_EQ(w[14], 0.0);      // c reset by the limited step
  EXPECT_EQ(w[6], 1.8);       // the better point is the last recorded one
  EXPECT_EQ(w[7], 0.25);
  EXPECT_EQ(w[8], 1.9);       // the worse one the point before
  EXPECT_EQ(w[9], 0.05);
}

}  // namespace
