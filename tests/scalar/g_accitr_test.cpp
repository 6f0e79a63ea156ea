// G_ORVK_ACCITR: values bit for bit those of ORVK_ACCITR, derivatives
// against central differences of ORVK_ACCITR, the branch rules and the
// direction limit.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "orvika/scalar_curves.h"
#include "orvika/tearconv_accel.h"
#include "support/capture.hpp"
#include "twin_test_util.hpp"

namespace {

using Vec = std::vector<double>;
constexpr IWORD kLd = 100;

// Plain state of one call.
struct State {
  IWORD iter = 0, mode = 2;
  double tmin = 0, tmax = 0, stpmax = 0, t = 1;
  Vec x, dx, dxold;
};

void plain(State& s) {
  IWORD n = static_cast<IWORD>(s.x.size());
  ORVK_ACCITR(&s.iter, &n, &s.mode, &s.tmin, &s.tmax, &s.stpmax, &s.t, s.x.data(), s.dx.data(),
              s.dxold.data());
}

// Derivative state: one direction per column k, words (i-1)*100 + k.
struct GState {
  Vec gstpmax = Vec(kLd, 0.0), gt = Vec(kLd, 0.0), gx, gdx, gdxold;
};

void twin(State& s, GState& g, IWORD g_p) {
  IWORD n = static_cast<IWORD>(s.x.size());
  G_ORVK_ACCITR(&g_p, &s.iter, &n, &s.mode, &s.tmin, &s.tmax, &s.stpmax, g.gstpmax.data(), &s.t,
                g.gt.data(), s.x.data(), g.gx.data(), s.dx.data(), g.gdx.data(), s.dxold.data(),
                g.gdxold.data());
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expect_same_values(const State& a, const State& b, const char* what) {
  EXPECT_EQ(a.iter, b.iter) << what;
  EXPECT_EQ(a.mode, b.mode) << what;
  EXPECT_TRUE(same_bits(a.tmin, b.tmin)) << what;
  EXPECT_TRUE(same_bits(a.tmax, b.tmax)) << what;
  EXPECT_TRUE(same_bits(a.stpmax, b.stpmax)) << what;
  EXPECT_TRUE(same_bits(a.t, b.t)) << what << " " << a.t << " " << b.t;
  for (std::size_t i = 0; i < a.x.size(); ++i) {
    EXPECT_TRUE(same_bits(a.x[i], b.x[i])) << what << " x " << i;
    EXPECT_TRUE(same_bits(a.dxold[i], b.dxold[i])) << what << " dxold " << i;
  }
}

struct Case {
  const char* what;
  State s;
};

std::vector<Case> catalogue() {
  std::vector<Case> c;
  auto st = [](IWORD iter, IWORD mode, double tmin, double tmax, double stpmax, double t, Vec x,
               Vec dx, Vec dxold) {
    State s;
    s.iter = iter;
    s.mode = mode;
    s.tmin = tmin;
    s.tmax = tmax;
    s.stpmax = stpmax;
    s.t = t;
    s.x = std::move(x);
    s.dx = std::move(dx);
    s.dxold = std::move(dxold);
    return s;
  };
  c.push_back({"first call, default step from max|X| = 100",
               st(0, 0, 0, 0, 0, 1.5, {100, -20, 3}, {0.5, -1, 2}, {0, 0, 0})});
  c.push_back({"first call, step limit cuts",
               st(0, 1, 0.01, 5, 0.3, 2.0, {1, 2, 3}, {0.5, -1, 0.2}, {0, 0, 0})});
  c.push_back({"later call, mode 1",
               st(1, 1, 1e-4, 10, 100, 1.0, {1, 2, 3}, {0.5, -0.4, 0.3}, {0.9, -0.7, 0.8})});
  c.push_back({"later call, mode 2",
               st(1, 2, 1e-4, 10, 100, 1.3, {1, 2, 3}, {0.5, -0.4, 0.3}, {0.9, -0.7, 0.8})});
  c.push_back({"later call, mode -1 keeps the sign",
               st(1, -1, 1e-4, 10, 100, 1.0, {1, 2, 3}, {0.5, 0.4, 0.3}, {0.2, 0.1, 0.25})});
  c.push_back({"later call, mode -2",
               st(3, -2, 1e-4, 10, 100, 0.8, {1, 2, 3}, {-0.5, 0.4, 0.3}, {0.2, 0.1, -0.25})});
  c.push_back({"later call, step limit cuts",
               st(1, 2, 1e-4, 10, 0.05, 1.3, {1, 2, 3}, {0.5, -0.4, 0.3}, {0.9, -0.7, 0.8})});
  // The call counter is held at its top instead of overflowing: the call
  // stays a later call.
  c.push_back({"later call, counter at its top",
               st(std::numeric_limits<IWORD>::max(), 2, 1e-4, 10, 100, 1.3, {1, 2, 3},
                  {0.5, -0.4, 0.3}, {0.9, -0.7, 0.8})});
  return c;
}

// Random directions for every active input.
GState directions(const State& s, IWORD g_p, unsigned seed) {
  GState g;
  const std::size_t n = s.x.size();
  g.gx.assign(kLd * n, -555.0);
  g.gdx.assign(kLd * n, -555.0);
  g.gdxold.assign(kLd * n, -555.0);
  unsigned r = seed;
  auto next = [&r] {
    r = r * 1103515245u + 12345u;
    return ((r >> 8) % 2000) / 1000.0 - 1.0;
  };
  for (IWORD k = 0; k < g_p; ++k) {
    g.gstpmax[k] = next();
    g.gt[k] = next();
    for (std::size_t i = 0; i < n; ++i) {
      g.gx[i * kLd + k] = next();
      g.gdx[i * kLd + k] = next();
      g.gdxold[i * kLd + k] = next();
    }
  }
  return g;
}

TEST(GAccitr, ValuesEqualThePlainRoutine) {
  for (const Case& c : catalogue()) {
    for (IWORD g_p : {IWORD{0}, IWORD{1}, IWORD{4}, IWORD{100}}) {
      State a = c.s, b = c.s;
      GState g = directions(c.s, g_p, 7);
      plain(a);
      twin(b, g, g_p);
      expect_same_values(a, b, c.what);
      // A second call continues the sequence identically.
      for (std::size_t i = 0; i < a.dx.size(); ++i) a.dx[i] = b.dx[i] = 0.3 * a.dx[i] + 0.01 * i;
      plain(a);
      twin(b, g, g_p);
      expect_same_values(a, b, c.what);
    }
  }
}

// Sums of squares past the range of reals: the twin takes the factor of
// the changes scaled to a unit magnitude as the plain routine does (2, by
// MODE 2), not a factor that is not a number.
TEST(GAccitr, SumsPastTheRangeKeepThePlainValues) {
  const double big = std::ldexp(1.0, 700);
  State s;
  s.iter = 1;
  s.mode = 2;
  s.tmin = 1e-4;
  s.tmax = 10;
  s.stpmax = 1e300;
  s.x = {10, 20};
  s.dx = {big, 0.5 * big};
  s.dxold = {2 * big, big};
  for (IWORD g_p : {IWORD{0}, IWORD{1}, IWORD{4}}) {
    State a = s, b = s;
    GState g = directions(s, g_p, 5);
    plain(a);
    twin(b, g, g_p);
    EXPECT_EQ(b.t, 2.0);
    expect_same_values(a, b, "sums past the range");
  }
}

// Derivatives against central differences of ORVK_ACCITR, the inputs moved
// along each direction.
TEST(GAccitr, DerivativesMatchCentralDifferences) {
  const IWORD g_p = 3;
  for (const Case& c : catalogue()) {
    State s = c.s;
    GState g = directions(c.s, g_p, 11);
    const GState g0 = g;
    twin(s, g, g_p);
    const std::size_t n = s.x.size();
    for (IWORD k = 0; k < g_p; ++k) {
      const double e = 1e-7;
      auto moved = [&](double sign) {
        State m = c.s;
        m.stpmax += sign * e * g0.gstpmax[k];
        m.t += sign * e * g0.gt[k];
        for (std::size_t i = 0; i < n; ++i) {
          m.x[i] += sign * e * g0.gx[i * kLd + k];
          m.dx[i] += sign * e * g0.gdx[i * kLd + k];
          m.dxold[i] += sign * e * g0.gdxold[i * kLd + k];
        }
        plain(m);
        return m;
      };
      const State p = moved(1), m = moved(-1);
      auto check = [&](double gv, double vp, double vm, const char* name) {
        const double fd = (vp - vm) / (2 * e);
        EXPECT_NEAR(gv, fd, 1e-6 * (1 + std::fabs(fd))) << c.what << " " << name << " dir " << k;
      };
      check(g.gstpmax[k], p.stpmax, m.stpmax, "STPMAX");
      check(g.gt[k], p.t, m.t, "T");
      for (std::size_t i = 0; i < n; ++i) {
        check(g.gx[i * kLd + k], p.x[i], m.x[i], "X");
        check(g.gdxold[i * kLd + k], p.dxold[i], m.dxold[i], "DXOLD");
      }
    }
    // Rows beyond G_P are not touched.
    for (std::size_t i = 0; i < n; ++i)
      for (IWORD k = g_p; k < kLd; ++k) EXPECT_EQ(g.gx[i * kLd + k], -555.0);
  }
}

// The branch rules: defaults, ties and the bounds.
TEST(GAccitr, BranchRules) {
  struct Rule {
    const char* what;
    State s;
    double t, gt;         // expected factor and its derivative (direction 1)
    double stpmax, gstp;  // expected STPMAX and its derivative
  };
  auto first = [](double xm, double stpmax, double t, double tmin, double tmax) {
    State s;
    s.iter = 0;
    s.mode = 3;
    s.tmin = tmin;
    s.tmax = tmax;
    s.stpmax = stpmax;
    s.t = t;
    s.x = {xm, 1};
    s.dx = {0.01, 0.02};
    s.dxold = {0, 0};
    return s;
  };
  // Directions: g_X(1) = 1 (so g_XM = 1 for the largest |X|), g_T = 1.
  const std::vector<Rule> rules = {
      {"max|X| = 30: STPMAX 5, no derivative", first(30, 0, 1, 0, 10), 1, 1, 5, 0},
      {"max|X| = 100: STPMAX 10", first(100, 0, 1, 0, 10), 1, 1, 10, 0.1},
      {"max|X| = 50: tie, half", first(50, 0, 1, 0, 10), 1, 1, 5, 0.05},
      {"factor above TMAX", first(1, 100, 15, 0, 10), 10, 0, 100, 0},
      {"factor at TMAX: half", first(1, 100, 10, 0, 10), 10, 0.5, 100, 0},
      {"TMIN above TMAX: every factor becomes TMIN", first(1, 100, 2, 20, 5), 20, 0, 100, 0},
  };
  for (const Rule& r : rules) {
    State s = r.s;
    GState g = directions(s, 0, 1);
    g.gx.assign(kLd * 2, 0.0);
    g.gdx.assign(kLd * 2, 0.0);
    g.gdxold.assign(kLd * 2, 0.0);
    g.gx[0] = 1.0;
    g.gt[0] = 1.0;
    twin(s, g, 1);
    EXPECT_EQ(s.mode, 2) << r.what;
    EXPECT_EQ(s.t, r.t) << r.what;
    EXPECT_DOUBLE_EQ(g.gt[0], r.gt) << r.what;
    EXPECT_EQ(s.stpmax, r.stpmax) << r.what;
    EXPECT_DOUBLE_EQ(g.gstpmax[0], r.gstp) << r.what;
  }
  // TMIN <= 0 becomes 1e-4; TMIN > TMAX sets TMAX to 10.
  State s = first(1, 100, 2, 20, 5);
  GState g = directions(s, 1, 3);
  twin(s, g, 1);
  EXPECT_EQ(s.tmin, 20.0);
  EXPECT_EQ(s.tmax, 10.0);
  s = first(1, 100, 2, 0, 5);
  twin(s, g, 1);
  EXPECT_EQ(s.tmin, 1e-4);
  EXPECT_EQ(s.tmax, 5.0);

  // A later call with DX = DXOLD (G = 0) gives T = 1 with zero derivative.
  State l;
  l.iter = 1;
  l.mode = 1;
  l.tmin = 1e-4;
  l.tmax = 10;
  l.stpmax = 100;
  l.t = 3;
  l.x = {1, 2};
  l.dx = {0.5, 0.25};
  l.dxold = {0.5, 0.25};
  GState gl = directions(l, 2, 5);
  twin(l, gl, 2);
  EXPECT_EQ(l.t, 1.0);
  EXPECT_EQ(gl.gt[0], 0.0);
  EXPECT_EQ(gl.gt[1], 0.0);
  EXPECT_EQ(l.iter, 2);
}

// An operand that a choice does not take (the bound of the factor range,
// the default STPMAX of 5, a smaller |DX(i)| in the largest change)
// contributes nothing to the derivative, also when its derivative is not a
// finite number; the other direction is computed as usual.
TEST(GAccitr, NonFiniteDerivativeOfAnOperandNotChosen) {
  struct Rule {
    const char* what;
    double x1, dx2, stpmax, t;  // X = (x1, 1), DX = (1, dx2)
    double gx1, gt, gdx2;       // direction 1: g_X(1), g_T, g_DX(2)
    double want_t, want_gt, want_stpmax, want_gstp;
  };
  const double nan = std::nan(""), inf = HUGE_VAL;
  const std::vector<Rule> rules = {
      {"factor cut to TMAX", 1, 0.5, 100, 50, 0, nan, 0, 10, 0, 100, 0},
      {"factor cut to TMAX, infinite g_T", 1, 0.5, 100, 50, 0, inf, 0, 10, 0, 100, 0},
      {"default STPMAX 5 chosen over 0.1 max|X|", 30, 0.5, 0, 1, inf, 0, 0, 1, 0, 5, 0},
      {"largest change from DX(1), not DX(2)", 1, 0.5, 0.5, 1, 0, 0, nan, 0.5, -0.5, 0.5, 0},
  };
  for (const Rule& r : rules) {
    State s;
    s.iter = 0;
    s.mode = 2;
    s.tmin = 1e-4;
    s.tmax = 10;
    s.stpmax = r.stpmax;
    s.t = r.t;
    s.x = {r.x1, 1};
    s.dx = {1, r.dx2};
    s.dxold = {0, 0};
    GState g = directions(s, 0, 1);
    g.gx.assign(kLd * 2, 0.0);
    g.gdx.assign(kLd * 2, 0.0);
    g.gdxold.assign(kLd * 2, 0.0);
    g.gx[0] = r.gx1;
    g.gt[0] = r.gt;
    g.gdx[kLd] = r.gdx2;
    g.gdx[0] = 1.0;  // g_DX(1): direction 1
    g.gt[1] = 1.0;   // direction 2: g_T only
    twin(s, g, 2);
    EXPECT_EQ(s.t, r.want_t) << r.what;
    EXPECT_EQ(g.gt[0], r.want_gt) << r.what;
    EXPECT_EQ(s.stpmax, r.want_stpmax) << r.what;
    EXPECT_EQ(g.gstpmax[0], r.want_gstp) << r.what;
    // g_X(1) = T g_DX(1) + DX(1) g_T + g_X(1) in direction 1 (g_X(1) is
    // infinite by choice in one rule), and direction 2 is unaffected.
    EXPECT_EQ(g.gx[0], r.want_t + r.want_gt + r.gx1) << r.what;
    EXPECT_FALSE(std::isnan(g.gt[1])) << r.what;
  }
}

TEST(GAccitr, ZeroDirectionsTouchNoDerivative) {
  const Case c = catalogue()[2];
  State s = c.s;
  GState g = directions(s, 0, 1);
  std::fill(g.gstpmax.begin(), g.gstpmax.end(), -3.0);
  std::fill(g.gt.begin(), g.gt.end(), -3.0);
  const GState before = g;
  twin(s, g, 0);
  EXPECT_EQ(g.gstpmax, before.gstpmax);
  EXPECT_EQ(g.gt, before.gt);
  EXPECT_EQ(g.gx, before.gx);
  EXPECT_EQ(g.gdxold, before.gdxold);
}

TEST(GAccitrDeathTest, MoreThan100DirectionsStops) {
  scalar_test::expect_limit_stop(
      [] {
        State s = catalogue()[0].s;
        GState g = directions(s, 0, 1);
        twin(s, g, 101);
      },
      " PARAMETER G_P_ IS GREATER THAN G_PMAX_");
}

TEST(GAccitr, LimitRefusalChangesNothing) {
  scalar_test::ReturningStop hook;
  orvika_test::UnitCapture cap(6);
  const State s0 = catalogue()[0].s;
  State s = s0;
  GState g = directions(s, 0, 1);
  twin(s, g, 101);
  EXPECT_EQ(scalar_test::ReturningStop::calls(), 1);
  EXPECT_EQ(cap.text(), " PARAMETER G_P_ IS GREATER THAN G_PMAX_\n");
  EXPECT_EQ(s.iter, s0.iter);
  EXPECT_EQ(s.x, s0.x);
  EXPECT_EQ(s.t, s0.t);
}

}  // namespace
