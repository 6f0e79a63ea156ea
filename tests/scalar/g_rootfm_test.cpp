// G_ORVK_ROOTFM: values and codes against ORVK_ROOTFM, derivatives of the
// root against the implicit-function theorem and finite differences, the
// derivative rules at clamps, and the direction limit.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/scalar_roots.h"
#include "scalar/roots_test_util.hpp"
#include "support/capture.hpp"
#include "twin_test_util.hpp"

namespace {

using scalar_test::Record;
using scalar_test::record;
constexpr double kSentinel = -12345.5;

// F(x; p) = x^3 + p1 x - p2; the target W(6) is p3.  With p = (-2, 5, 0)
// the root is Wallis' 2.0945514815423265.
struct Cubic {
  double p1 = -2.0, p2 = 5.0;
  double f(double x) const { return (x * x + p1) * x - p2; }
  double fx(double x) const { return 3.0 * x * x + p1; }
};

// A twin run in the directions p1, p2, p3 (and, when STEPDIR, W(5)), with
// leading dimension LD of the derivative arrays.
struct TwinRun {
  IWORD code = 0;
  double x = 0.0;
  std::vector<double> gx;
  std::vector<IWORD> codes;
  Record w{};
  std::vector<double> gw;
};

TwinRun run_twin(const Cubic& c, Record w, double x0, IWORD gp, IWORD ld, bool stepdir = false) {
  TwinRun t;
  t.gw.assign(static_cast<std::size_t>(16 * ld), kSentinel);
  for (IWORD i = 0; i < 16; ++i)
    for (IWORD k = 0; k < gp; ++k) t.gw[i * ld + k] = 0.0;
  if (gp >= 3) t.gw[5 * ld + 2] = 1.0;           // dW(6)/dp3
  if (stepdir && gp >= 4) t.gw[4 * ld + 3] = 1.0;  // dW(5)/ds
  std::vector<double> gx(static_cast<std::size_t>(std::max<IWORD>(gp, 1)), 0.0), gf(gx);
  auto eval_g = [&](double x) {
    for (IWORD k = 0; k < gp; ++k) gf[k] = c.fx(x) * gx[k];
    if (gp >= 1) gf[0] += x;
    if (gp >= 2) gf[1] += -1.0;
  };
  double x = x0, f = c.f(x);
  eval_g(x);
  IWORD code = 1, one = 1;
  for (int i = 0; i < 200; ++i) {
    G_ORVK_ROOTFM(&gp, &code, &x, gx.data(), &one, &f, gf.data(), &one, w.data(), t.gw.data(), &ld);
    t.codes.push_back(code);
    if (code < 2 || code > 5) break;
    f = c.f(x);
    eval_g(x);
  }
  t.code = code;
  t.x = x;
  t.gx = gx;
  t.w = w;
  return t;
}

double plain_root(const Cubic& c, Record w, double x0, std::vector<IWORD>* codes = nullptr) {
  IWORD code = 1;
  double x = x0, f = c.f(x);
  for (int i = 0; i < 200; ++i) {
    ORVK_ROOTFM(&code, &x, &f, w.data());
    if (codes) codes->push_back(code);
    if (code < 2 || code > 5) break;
    f = c.f(x);
  }
  EXPECT_EQ(code, 0);
  return x;
}

class GRootfmTest : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
};

// The derivative of the converged root against dx/dp = -F_p / F_x and
// against central differences of the plain routine's root.
TEST_F(GRootfmTest, RootDerivatives) {
  struct Case {
    double p1, p2, target, x0, step;
  };
  const Case cases[] = {
      {-2.0, 5.0, 0.0, 1.0, 0.25},
      {1.0, 3.0, 1.0, 0.2, 0.1},
      {-3.0, -1.0, 0.5, -0.5, 0.2},
  };
  for (const auto& cs : cases) {
    Cubic c{cs.p1, cs.p2};
    const Record w = record(-5.0, 5.0, 1e-14, 0.0, cs.step, cs.target);
    const TwinRun t = run_twin(c, w, cs.x0, 4, 4, true);
    ASSERT_EQ(t.code, 0);
    const double x = t.x, fx = c.fx(x);
    EXPECT_NEAR(c.f(x), cs.target, 1e-13);
    const double ift[3] = {-x / fx, 1.0 / fx, 1.0 / fx};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(t.gx[k], ift[k], 1e-6 * std::fabs(ift[k])) << k;
    // The root does not depend on the search step.
    EXPECT_NEAR(t.gx[3], 0.0, 1e-6);

    const double h = 1e-6;
    auto root_at = [&](double d1, double d2, double d3) {
      Cubic cc{cs.p1 + d1, cs.p2 + d2};
      Record ww = w;
      ww[5] += d3;
      return plain_root(cc, ww, cs.x0);
    };
    const double fd[3] = {(root_at(h, 0, 0) - root_at(-h, 0, 0)) / (2 * h),
                          (root_at(0, h, 0) - root_at(0, -h, 0)) / (2 * h),
                          (root_at(0, 0, h) - root_at(0, 0, -h)) / (2 * h)};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(t.gx[k], fd[k], 1e-5 * std::fabs(fd[k])) << k;
  }
}

// With no direction the twin gives the plain routine's codes and points
// (where the five tests without margins do not differ) and touches no
// derivative argument: null addresses are fine.
// The evaluation counts of the twin are pinned as well (its model steps
// have their own code path): Kepler's equation alone, as the twin takes it.
TEST_F(GRootfmTest, ValuesOnly) {
  const std::map<std::string, int> evals = {
      {"wallis", 34}, {"exp", 8}, {"kepler", 9}, {"dottie", 7}};
  for (const auto& eq : scalar_test::classic_equations()) {
    // Kepler's equation reaches a model point within the plain routine's
    // 1e-10 end margin, which only the twin accepts.
    const bool both = eq.name != "kepler";
    Record w1 = record(-5.0, 5.0, 1e-12, 0.0, 0.25, eq.target), w2 = w1;
    IWORD c1 = 1, c2 = 1, gp = 0, ld = 0;
    double x1 = 0.5, x2 = 0.5, f1 = eq.f(x1), f2 = f1;
    int n = 1;  // values of F, the start included
    for (int i = 0; i < 100; ++i) {
      if (both) ORVK_ROOTFM(&c1, &x1, &f1, w1.data());
      G_ORVK_ROOTFM(&gp, &c2, &x2, nullptr, &ld, &f2, nullptr, &ld, w2.data(), nullptr, &ld);
      if (both) {
        ASSERT_EQ(c1, c2) << eq.name << " call " << i;
        ASSERT_EQ(x1, x2) << eq.name;
        ASSERT_EQ(w1, w2) << eq.name;
      }
      if (c2 < 2 || c2 > 5) break;
      f1 = f2 = eq.f(x2);
      ++n;
    }
    EXPECT_EQ(c2, 0) << eq.name;
    EXPECT_EQ(n, evals.at(eq.name)) << eq.name;
  }
}

// The value tests without margins: the second bound hit reports -3 for a
// best point on W(2) where the plain routine reports -1, and the best point
// comes with its derivatives.
TEST_F(GRootfmTest, SecondBoundHitCodes) {
  Cubic c{0.0, 1000.0};  // root at 10, beyond [0, 3]
  const Record w = record(0.0, 3.0, 1e-12, 0.0, 1.0, 0.0);
  const TwinRun t = run_twin(c, w, 1.0, 3, 3);
  EXPECT_EQ(t.code, -3);
  EXPECT_EQ(t.x, 3.0);
  std::vector<IWORD> codes;
  Record wp = w;
  IWORD code = 1;
  double x = 1.0, f = c.f(x);
  for (int i = 0; i < 20; ++i) {
    ORVK_ROOTFM(&code, &x, &f, wp.data());
    if (code < 2 || code > 5) break;
    f = c.f(x);
  }
  EXPECT_EQ(code, -1);
  EXPECT_EQ(x, 3.0);
}

// A search step clamped to W(2) takes the derivative of W(2); a step that
// lands on W(2) exactly takes the mean of its own and that of W(2).
TEST_F(GRootfmTest, ClampDerivative) {
  // The bound not taken by the clamp contributes nothing, also when its
  // derivative (GLO) is not a finite number.
  struct Case {
    double hi, expect, glo;
  };
  const double nan = std::nan(""), inf = HUGE_VAL;
  for (const Case cs : {Case{2.5, 7.0, 0.0}, Case{3.0, 3.5, 0.0}, Case{2.5, 7.0, nan},
                        Case{3.0, 3.5, inf}}) {
    Record w = record(0.0, cs.hi, 1e-12, 0.0, 1.0, 0.0);
    IWORD gp = 1, ld = 1, code = 1;
    std::vector<double> gw(16, 0.0);
    gw[0] = cs.glo;  // dW(1)
    gw[1] = 7.0;     // dW(2)
    double x = 1.0, gx = 0.0, f = x - 10.0, gf = 0.0;
    G_ORVK_ROOTFM(&gp, &code, &x, &gx, &ld, &f, &gf, &ld, w.data(), gw.data(), &ld);
    ASSERT_EQ(x, 2.0);
    EXPECT_EQ(gx, 0.0);
    f = x - 10.0;
    G_ORVK_ROOTFM(&gp, &code, &x, &gx, &ld, &f, &gf, &ld, w.data(), gw.data(), &ld);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(x, cs.hi);
    EXPECT_EQ(gx, cs.expect) << cs.hi;
  }
}

// The first step SIGN(W(5), -W(5) R) carries sgn(W(5)) sgn(-W(5) R) g_W(5).
TEST_F(GRootfmTest, FirstStepDerivative) {
  struct Case {
    double step, f, expect;
  };
  for (const Case cs : {Case{0.25, 1.0, -1.0}, Case{0.25, -1.0, 1.0}, Case{-0.25, 1.0, -1.0},
                        Case{-0.25, -1.0, 1.0}}) {
    Record w = record(0.0, 1.0, 1e-8, 0.0, cs.step, 0.0);
    IWORD gp = 1, ld = 1, code = 1;
    std::vector<double> gw(16, 0.0);
    gw[4] = 1.0;  // dW(5)
    double x = 0.5, gx = 0.0, f = cs.f, gf = 0.0;
    G_ORVK_ROOTFM(&gp, &code, &x, &gx, &ld, &f, &gf, &ld, w.data(), gw.data(), &ld);
    ASSERT_EQ(code, 2);
    EXPECT_EQ(gx, cs.expect) << cs.step << " " << cs.f;
    EXPECT_EQ(gw[15], 0.0);  // XPREV: the start point
  }
  // The step after it: X + SIGN(W(5), X - XPREV), derivative g_X + sgn(W(5)) sgn(X - XPREV) g_W(5).
  {
    Record w = record(0.0, 1.0, 1e-8, 0.0, -0.25, 0.0);
    IWORD gp = 1, ld = 1, code = 1;
    std::vector<double> gw(16, 0.0);
    gw[4] = 1.0;
    double x = 0.0, gx = 0.0, f = -1.0, gf = 0.0;
    G_ORVK_ROOTFM(&gp, &code, &x, &gx, &ld, &f, &gf, &ld, w.data(), gw.data(), &ld);
    ASSERT_EQ(x, 0.25);
    ASSERT_EQ(gx, -1.0);
    f = -0.5;
    gf = 0.0;
    G_ORVK_ROOTFM(&gp, &code, &x, &gx, &ld, &f, &gf, &ld, w.data(), gw.data(), &ld);
    EXPECT_EQ(x, 0.5);
    EXPECT_EQ(gx, -2.0);
    EXPECT_EQ(gw[15], -1.0);  // XPREV = 0.25 with its derivative
  }
}

// -4 and -5 leave X, W and every derivative array as they were; in the
// bracketing phase a point on an end of the bracket is refused by the twin.
TEST_F(GRootfmTest, FailuresLeaveDerivatives) {
  IWORD gp = 2, ld = 3, one = 1;
  Record w = record(0.0, 1.0, 1e-12, 0.0, 0.1, 0.0);
  std::vector<double> gw(48, 0.5);
  const std::vector<double> gw0 = gw;
  IWORD code = 1;
  double x = 1.5, gx[2] = {1.0, 2.0}, f = 1.0, gf[2] = {3.0, 4.0};
  G_ORVK_ROOTFM(&gp, &code, &x, gx, &one, &f, gf, &one, w.data(), gw.data(), &ld);
  EXPECT_EQ(code, -4);
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(gx[0], 1.0);
  EXPECT_EQ(gx[1], 2.0);
  EXPECT_EQ(gw, gw0);

  // Bracketing phase on F = x - 0.25: search 0 -> 0.1 -> 0.2 -> 0.3, then 3.
  Record v = record(0.0, 1.0, 1e-12, 0.0, 0.1, 0.0);
  std::vector<double> gv(48, 0.0);
  code = 1;
  x = 0.0;
  f = x - 0.25;
  double gxx[2] = {0.0, 0.0}, gff[2] = {0.0, 0.0};
  for (int i = 0; i < 10 && code != 3; ++i) {
    G_ORVK_ROOTFM(&gp, &code, &x, gxx, &one, &f, gff, &one, v.data(), gv.data(), &ld);
    f = x - 0.25;
  }
  ASSERT_EQ(code, 3);
  const Record v0 = v;
  const std::vector<double> gv0 = gv;
  // The ends of the bracket, then a point outside it.
  for (double bad : {v0[14], v0[12], 0.9}) {
    IWORD k = 3;
    double xb = bad, fb = bad - 0.25, gb[2] = {9.0, 9.0};
    G_ORVK_ROOTFM(&gp, &k, &xb, gb, &one, &fb, gff, &one, v.data(), gv.data(), &ld);
    EXPECT_EQ(k, -5) << bad;
    EXPECT_EQ(xb, bad);
    EXPECT_EQ(gb[0], 9.0);
    EXPECT_EQ(v, v0);
    EXPECT_EQ(gv, gv0);
  }
  // The plain routine goes on from an end of the bracket.
  Record p = v0;
  IWORD k = 3;
  double xp = v0[14], fp = xp - 0.25;
  ORVK_ROOTFM(&k, &xp, &fp, p.data());
  EXPECT_GE(k, 0);
}

// Rows beyond G_P of the derivative arrays are neither read nor written, and
// 100 directions are accepted (direction k scaled by k).
TEST_F(GRootfmTest, LeadingDimensionAndLimit) {
  Cubic c;
  const Record w = record(-5.0, 5.0, 1e-13, 0.0, 0.25, 0.0);
  const TwinRun t = run_twin(c, w, 1.0, 3, 5);
  for (IWORD i = 0; i < 16; ++i) {
    EXPECT_EQ(t.gw[i * 5 + 3], kSentinel);
    EXPECT_EQ(t.gw[i * 5 + 4], kSentinel);
  }
  // 100 directions: d/dp2 scaled by k in direction k.
  IWORD gp = 100, ld = 100, one = 1, code = 1;
  Record v = w;
  std::vector<double> gw(1600, 0.0), gx(100, 0.0), gf(100, 0.0);
  double x = 1.0, f = c.f(x);
  for (int k = 0; k < 100; ++k) gf[k] = -(k + 1.0);
  for (int i = 0; i < 100; ++i) {
    G_ORVK_ROOTFM(&gp, &code, &x, gx.data(), &one, &f, gf.data(), &one, v.data(), gw.data(), &ld);
    if (code < 2 || code > 5) break;
    f = c.f(x);
    for (int k = 0; k < 100; ++k) gf[k] = c.fx(x) * gx[k] - (k + 1.0);
  }
  ASSERT_EQ(code, 0);
  for (int k = 0; k < 100; ++k) EXPECT_NEAR(gx[k], (k + 1.0) / c.fx(x), 1e-6 * (k + 1.0));
}

// A leading dimension below G_P is refused with -4 and nothing changed.
TEST_F(GRootfmTest, ShortLeadingDimension) {
  IWORD gp = 3, ld = 2, one = 1, code = 1;
  Record w = record(0.0, 1.0, 1e-8, 0.0, 0.1, 0.0);
  const Record w0 = w;
  std::vector<double> gw(32, kSentinel), gx(3, kSentinel), gf(3, 0.0);
  double x = 0.5, f = 1.0;
  G_ORVK_ROOTFM(&gp, &code, &x, gx.data(), &one, &f, gf.data(), &one, w.data(), gw.data(), &ld);
  EXPECT_EQ(code, -4);
  EXPECT_EQ(x, 0.5);
  EXPECT_EQ(w, w0);
  for (double v : gw) EXPECT_EQ(v, kSentinel);
  for (double v : gx) EXPECT_EQ(v, kSentinel);
}

TEST(GRootfmDeathTest, MoreThan100DirectionsStops) {
  scalar_test::expect_limit_stop(
      [] {
        IWORD gp = 101, ld = 101, one = 1, code = 1;
        static double w[16] = {0, 1, 1e-8, 0, 0.1, 0}, gw[1616], gx[101], gf[101];
        double x = 0.5, f = 1.0;
        G_ORVK_ROOTFM(&gp, &code, &x, gx, &one, &f, gf, &one, w, gw, &ld);
      },
      " Parameter g_p_ is greater than g_pmax_");
}

TEST(GRootfm, LimitRefusalChangesNothing) {
  scalar_test::ReturningStop hook;
  orvika_test::UnitCapture cap(6);
  IWORD gp = 101, ld = 101, one = 1, code = 1;
  Record w = record(0.0, 1.0, 1e-8, 0.0, 0.1, 0.0);
  const Record w0 = w;
  std::vector<double> gw(1616, kSentinel), gx(101, kSentinel), gf(101, kSentinel);
  double x = 0.5, f = 1.0;
  G_ORVK_ROOTFM(&gp, &code, &x, gx.data(), &one, &f, gf.data(), &one, w.data(), gw.data(), &ld);
  EXPECT_EQ(scalar_test::ReturningStop::calls(), 1);
  EXPECT_EQ(cap.text(), " Parameter g_p_ is greater than g_pmax_\n");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(x, 0.5);
  EXPECT_EQ(w, w0);
  for (double v : gw) EXPECT_EQ(v, kSentinel);
  for (double v : gx) EXPECT_EQ(v, kSentinel);
}

}  // namespace
