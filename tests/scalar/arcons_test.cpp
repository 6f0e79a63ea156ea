// ORVK_ARCONS, ORVK_TRCONS and their predictors ARCSTP and ORVK_TTEMP.

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

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Record record(double b1, double b2, double step, double target, double tol) {
  Record w{};
  w[0] = b1;
  w[1] = b2;
  w[2] = step;
  w[3] = target;
  w[4] = tol;
  return w;
}

// The two solvers with one signature: F(X) = W(4) (TRCONS solves F - W(4) = 0).
struct Solver {
  const char* name;
  bool trcons;
};
const Solver kSolvers[] = {{"ARCONS", false}, {"TRCONS", true}};

RunResult solve(const Solver& s, Record& w, const std::function<double(double)>& f, double x0,
                IWORD maxit, IWORD iopt = 1) {
  const double target = w[3];
  auto g = s.trcons ? std::function<double(double)>([&](double x) { return f(x) - target; }) : f;
  return drive(
      [&](IWORD& c, double& x, double& fx) {
        if (s.trcons) {
          ORVK_TRCONS(&c, &x, &fx, w.data(), &maxit, &iopt);
        } else {
          ORVK_ARCONS(&c, &x, &fx, w.data(), &maxit);
        }
      },
      g, x0, 1, [](IWORD c) { return c > 0; });
}

class ArconsTest : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
};

// Known roots, a root at each end of [0, 1], every point inside the bounds.
TEST_F(ArconsTest, KnownRoots) {
  struct Case {
    scalar_test::Equation eq;
    double lo, hi, x0, step;
  };
  const auto eqs = scalar_test::classic_equations();
  const Case cases[] = {
      {eqs[0], 0.0, 5.0, 1.0, 0.5},
      {eqs[1], -5.0, 5.0, 0.0, 0.5},
      {eqs[2], 0.0, 4.0, 1.0, 0.5},
      {eqs[3], -1.0, 2.0, 0.0, 0.5},
      {{"sqrt2", [](double x) { return x * x; }, 2.0, std::sqrt(2.0)}, 2.0, 0.0, 0.5, 0.25},
      {{"end0", [](double x) { return x * (x + 1.0); }, 0.0, 0.0}, 0.0, 1.0, 0.6, 0.1},
      {{"end1", [](double x) { return std::exp(x); }, std::exp(1.0), 1.0}, 0.0, 1.0, 0.2, 0.1},
  };
  for (const auto& s : kSolvers) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(s.name) + " " + c.eq.name);
      Record w = record(c.lo, c.hi, c.step, c.eq.target, 1e-12);
      double lo = std::fmin(c.lo, c.hi), hi = std::fmax(c.lo, c.hi);
      bool inside = true;
      auto f = [&](double x) {
        inside = inside && x >= lo && x <= hi;
        return c.eq.f(x);
      };
      const RunResult r = solve(s, w, f, c.x0, 60);
      EXPECT_EQ(r.code, 0);
      EXPECT_TRUE(inside);
      EXPECT_NEAR(r.x, c.eq.root, 1e-10);
      EXPECT_LE(r.evals, 30);
    }
  }
}

// A start point that already meets the tolerance returns 0 before it is
// compared with the bounds; otherwise a start outside them gives -1.
TEST_F(ArconsTest, StartTests) {
  for (const auto& s : kSolvers) {
    Record w = record(0.0, 1.0, 0.1, 0.0, 1e-6);
    IWORD c = 1, maxit = 10, iopt = 1;
    double x = 5.0, f = 1e-7;
    s.trcons ? ORVK_TRCONS(&c, &x, &f, w.data(), &maxit, &iopt)
             : ORVK_ARCONS(&c, &x, &f, w.data(), &maxit);
    EXPECT_EQ(c, 0) << s.name;
    EXPECT_EQ(x, 5.0);
    for (double x0 : {5.0, -1.0, kNaN}) {
      c = 1;
      x = x0;
      f = 1.0;
      s.trcons ? ORVK_TRCONS(&c, &x, &f, w.data(), &maxit, &iopt)
               : ORVK_ARCONS(&c, &x, &f, w.data(), &maxit);
      EXPECT_EQ(c, -1) << s.name << " " << x0;
      EXPECT_EQ(w[6], 1.0);
      EXPECT_EQ(w[7], 0.0);
      EXPECT_EQ(w[8], 1.0);
    }
  }
}

// The first move: X + W(3) when it fits, else X - W(3), else to the upper
// bound from the lower one and to the lower bound otherwise; bounds in
// either order.
TEST_F(ArconsTest, FirstMove) {
  struct Case {
    double b1, b2, step, x0, expect;
  };
  const Case cases[] = {
      {0.0, 1.0, 0.25, 0.5, 0.75}, {1.0, 0.0, 0.25, 0.5, 0.75}, {0.0, 1.0, 0.25, 1.0, 0.75},
      {0.0, 1.0, 5.0, 0.0, 1.0},   {0.0, 1.0, 5.0, 0.5, 0.0},   {0.0, 1.0, 5.0, 1.0, 0.0},
      {0.0, 1.0, -0.25, 0.5, 0.25},
  };
  for (const auto& s : kSolvers) {
    for (const auto& c : cases) {
      Record w = record(c.b1, c.b2, c.step, 0.0, 1e-9);
      IWORD k = 1, maxit = 10, iopt = 1;
      double x = c.x0, f = 1.0;
      s.trcons ? ORVK_TRCONS(&k, &x, &f, w.data(), &maxit, &iopt)
               : ORVK_ARCONS(&k, &x, &f, w.data(), &maxit);
      EXPECT_EQ(k, 2);
      EXPECT_EQ(x, c.expect) << s.name << " " << c.b1 << " " << c.x0 << " " << c.step;
      EXPECT_EQ(w[11], c.x0);
      EXPECT_EQ(w[14], 1.0);
    }
  }
}

// Bounds given in descending order give the same run as ascending ones.
TEST_F(ArconsTest, BoundsOrder) {
  for (const auto& s : kSolvers) {
    Record up = record(0.0, 5.0, 0.5, 5.0, 1e-12), down = record(5.0, 0.0, 0.5, 5.0, 1e-12);
    auto f = [](double x) { return (x * x - 2.0) * x; };
    const RunResult a = solve(s, up, f, 1.0, 40), b = solve(s, down, f, 1.0, 40);
    EXPECT_EQ(a.codes, b.codes) << s.name;
    EXPECT_EQ(a.x, b.x);
  }
}

// MAXIT = 2: the start point and one trial point, then -2.
TEST_F(ArconsTest, IterationLimit) {
  for (const auto& s : kSolvers) {
    Record w = record(-5.0, 5.0, 0.1, 3.0, 1e-12);
    const RunResult r = solve(s, w, [](double x) { return std::exp(x); }, 0.0, 2);
    EXPECT_EQ(r.codes, (std::vector<IWORD>{2, -2})) << s.name;
    EXPECT_EQ(r.evals, 2);
    EXPECT_EQ(r.x, 0.1);
  }
}

// A linear F reaches its root by the secant on the call after the start
// when the step limit allows it.
TEST_F(ArconsTest, LinearSecant) {
  for (const auto& s : kSolvers) {
    Record w = record(-10.0, 10.0, 2.0, 0.0, 1e-12);
    const RunResult r = solve(s, w, [](double x) { return 2.0 * x - 3.0; }, 0.0, 10);
    EXPECT_EQ(r.codes, (std::vector<IWORD>{2, 3, 0})) << s.name;
    EXPECT_EQ(r.x, 1.5);
    EXPECT_EQ(w[6], 1.0);
  }
}

// A limited step changes the step-limit factor: times 0.95 in ORVK_ARCONS,
// times 1.5 in ORVK_TRCONS.
TEST_F(ArconsTest, StepLimitFactor) {
  for (const auto& s : kSolvers) {
    Record w = record(-10.0, 10.0, 0.5, 0.0, 1e-12);
    IWORD k = 1, maxit = 10, iopt = 1;
    double x = 0.0, f = -3.0;
    auto call = [&] {
      s.trcons ? ORVK_TRCONS(&k, &x, &f, w.data(), &maxit, &iopt)
               : ORVK_ARCONS(&k, &x, &f, w.data(), &maxit);
    };
    call();
    ASSERT_EQ(x, 0.5);
    f = 2.0 * x - 3.0;
    call();  // the secant predicts 1.5; the limit 0.5 holds it to 1.0
    EXPECT_EQ(k, 3);
    EXPECT_EQ(x, 1.0);
    EXPECT_EQ(w[6], s.trcons ? 1.5 : 0.95) << s.name;
  }
}

// A predicted point beyond the upper bound moves X to the bound; a second
// such prediction while X is on it gives -2 with X unchanged.
TEST_F(ArconsTest, PushedAgainstBound) {
  for (const auto& s : kSolvers) {
    Record w = record(0.0, 1.0, 0.5, 0.0, 1e-12);
    const RunResult r = solve(s, w, [](double x) { return x - 10.0; }, 0.0, 20);
    EXPECT_EQ(r.codes, (std::vector<IWORD>{2, 3, -2})) << s.name;
    EXPECT_EQ(r.x, 1.0);
  }
}

// ORVK_TRCONS with IOPT = 2 starts with the slope of the two points an
// earlier run left in its record, and checks MAXIT already on that call.
TEST_F(ArconsTest, TrconsRestartFromSlope) {
  Record p = record(0.0, 10.0, 1.0, 0.0, 1e-12);
  p[10] = 1.0;  // X of the earlier points
  p[11] = 2.0;
  p[13] = 2.0;  // their F: slope 2
  p[14] = 4.0;
  IWORD k = 1, maxit = 10, iopt = 2;
  double x = 3.0, f = 1.0;  // F = 2x - 5
  ORVK_TRCONS(&k, &x, &f, p.data(), &maxit, &iopt);
  EXPECT_EQ(k, 2);
  EXPECT_EQ(x, 2.5);
  f = 0.0;
  ORVK_TRCONS(&k, &x, &f, p.data(), &maxit, &iopt);
  EXPECT_EQ(k, 0);

  Record q = record(0.0, 10.0, 1.0, 0.0, 1e-12);
  k = 1;
  maxit = 1;
  x = 3.0;
  f = 1.0;
  ORVK_TRCONS(&k, &x, &f, q.data(), &maxit, &iopt);
  EXPECT_EQ(k, -2);
  EXPECT_EQ(x, 3.0);
}

// Predictors on given histories.
TEST_F(ArconsTest, Predictors) {
  // Secant of the second step, and its fallback.
  {
    double fh[3] = {0.0, -3.0, -2.0}, xh[3] = {0.0, 0.0, 0.5}, xnew = 0.5;
    orvika::ARCSTP(2, 0.0, fh, xh, xnew);
    EXPECT_EQ(xnew, 1.5);
    double fh2[3] = {0.0, 1.0, 1.0}, xh2[3] = {0.0, 0.0, 0.5};
    xnew = 0.25;
    orvika::ARCSTP(2, 0.0, fh2, xh2, xnew);  // no change of F: a fallback step
    EXPECT_EQ(xnew, 0.75);
    double fh3[3] = {0.0, 1e-40, 2e-40}, xh3[3] = {0.0, 0.0, 0.5};
    xnew = 0.25;
    orvika::ARCSTP(2, 0.0, fh3, xh3, xnew);  // |dF| <= RTINY
    EXPECT_EQ(xnew, 0.75);
    const IWORD two = 2, one = 1;
    xnew = 0.25;
    ORVK_TTEMP(&two, fh3, xh3, &xnew, &one);  // TTEMP tests exactly: secant
    EXPECT_EQ(xnew, -0.5);
  }
  // Three points on a quadratic: the model is exact, and the history keeps
  // the pair that brackets the target.
  {
    for (bool tt : {false, true}) {
      double fh[3] = {9.0, 1.0, 4.0}, xh[3] = {3.0, 1.0, 2.0}, xnew = 0.1;
      const double target = 5.0;
      if (tt) {
        for (double& v : fh) v -= target;
        const IWORD three = 3, one = 1;
        ORVK_TTEMP(&three, fh, xh, &xnew, &one);
      } else {
        orvika::ARCSTP(3, target, fh, xh, xnew);
      }
      EXPECT_NEAR(xnew, std::sqrt(5.0), 1e-12) << tt;
      EXPECT_EQ(xh[1], 2.0);
      EXPECT_EQ(xh[2], 3.0);
    }
    // ARCSTP narrows the history only when the counter is a multiple of 3.
    double fh[3] = {9.0, 1.0, 4.0}, xh[3] = {3.0, 1.0, 2.0}, xnew = 0.1;
    orvika::ARCSTP(4, 5.0, fh, xh, xnew);
    EXPECT_NEAR(xnew, std::sqrt(5.0), 1e-6);
    EXPECT_EQ(xh[1], 1.0);
    EXPECT_EQ(xh[2], 2.0);
  }
  // Strong curvature: ORVK_TTEMP takes the rational model through the
  // points, ARCSTP the fallback guess.
  {
    double fh[3] = {-0.95, -0.05, 0.05}, xh[3] = {0.0, 0.5, 1.0}, xnew = 0.1;
    const IWORD three = 3, one = 1;
    ORVK_TTEMP(&three, fh, xh, &xnew, &one);
    EXPECT_NEAR(xnew, 19.0 / 28.0, 1e-14);
    double fa[3] = {0.0, 0.9, 1.0}, xa[3] = {0.0, 0.5, 1.0};
    xnew = 0.1;
    orvika::ARCSTP(3, 0.95, fa, xa, xnew);
    EXPECT_DOUBLE_EQ(xnew, 0.75);
  }
}

// An F that is not a number never converges and never sends X out of the
// bounds or to a value that is not a number.
TEST_F(ArconsTest, NotANumber) {
  for (const auto& s : kSolvers) {
    Record w = record(0.0, 2.0, 0.5, 1.0, 1e-12);
    bool bad = false;
    const RunResult r = solve(
        s, w,
        [&](double x) {
          bad = bad || !(x >= 0.0 && x <= 2.0);
          return kNaN;
        },
        1.0, 12);
    EXPECT_EQ(r.code, -2) << s.name;
    EXPECT_FALSE(bad) << s.name;
  }
}

}  // namespace
