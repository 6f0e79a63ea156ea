// G_ORVK_NCONV: values bit for bit those of ORVK_NCONV, derivatives
// against central differences of ORVK_NCONV, resets, missing values and
// the direction limit.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "orvika/scalar_curves.h"
#include "orvika/tearconv_accel.h"
#include "support/capture.hpp"
#include "twin_test_util.hpp"

namespace {

using Vec = std::vector<double>;
constexpr IWORD kLd = 100;

struct State {
  IWORD iflag = 0;
  Vec x, f, dx, xold, fold, h;  // h is N x N by columns
};
struct GState {
  Vec gx, gf, gdx, gxold, gfold, gh;
};

void plain(State& s) {
  IWORD n = static_cast<IWORD>(s.x.size());
  ORVK_NCONV(&n, s.x.data(), s.f.data(), s.dx.data(), s.xold.data(), s.fold.data(), s.h.data(),
             &s.iflag);
}
void twin(State& s, GState& g, IWORD g_p) {
  IWORD n = static_cast<IWORD>(s.x.size());
  G_ORVK_NCONV(&g_p, &n, s.x.data(), g.gx.data(), s.f.data(), g.gf.data(), s.dx.data(),
               g.gdx.data(), s.xold.data(), g.gxold.data(), s.fold.data(), g.gfold.data(),
               s.h.data(), g.gh.data(), &s.iflag);
}

bool same(const Vec& a, const Vec& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}
void expect_same_values(const State& a, const State& b, const std::string& what) {
  EXPECT_EQ(a.iflag, b.iflag) << what;
  EXPECT_TRUE(same(a.f, b.f)) << what << " F";
  EXPECT_TRUE(same(a.dx, b.dx)) << what << " DX";
  EXPECT_TRUE(same(a.xold, b.xold)) << what << " XOLD";
  EXPECT_TRUE(same(a.fold, b.fold)) << what << " FOLD";
  EXPECT_TRUE(same(a.h, b.h)) << what << " H";
}

State make(IWORD iflag, Vec x, Vec f, Vec dx, Vec fold, Vec h) {
  State s;
  s.iflag = iflag;
  s.x = std::move(x);
  s.f = std::move(f);
  s.dx = std::move(dx);
  s.fold = std::move(fold);
  s.h = std::move(h);
  s.xold.assign(s.x.size(), 0.0);
  return s;
}

struct Case {
  const char* what;
  State s;
};
std::vector<Case> catalogue() {
  const Vec h3{-1.1, 0.2, 0.1, 0.3, -0.9, 0.05, -0.2, 0.1, -1.2};
  return {
      {"reset start", make(-1, {1, 2}, {0.3, -0.2}, {0, 0}, {0, 0}, {7, 7, 7, 7})},
      {"start with the caller's H", make(0, {1, 2, 3}, {0.3, -0.2, 0.1}, {0, 0, 0}, {0, 0, 0}, h3)},
      {"update, Q >= 0",
       make(4, {1, 2, 3}, {0.3, -0.2, 0.1}, {0.1, 0.2, -0.1}, {0.5, -0.1, 0.3}, h3)},
      {"update, damped (Q < 0)",
       make(4, {1, 2, 3}, {0.3, 0.2, 0.1}, {-0.3, -0.2, -0.1}, {0.1, 0.05, 0.4}, h3)},
      {"update replaced by a reset (theta < 0.2)",
       make(1, {1, 2}, {1.0, 0.0}, {0.1, 0.0}, {0.0, 0.0}, {-10, 0, 0, -10})},
      {"missing residual",
       make(4, {1, 2, 3}, {0.3, 1e35, 0.1}, {0.1, 0.2, -0.1}, {0.5, -0.1, 0.3}, h3)},
      {"missing variable", make(0, {1, 1e35, 3}, {0.3, 0.4, 0.1}, {0, 0, 0}, {0, 0, 0}, h3)},
      {"missing variable with zero residual",
       make(0, {1, 1e35, 3}, {0.3, 0.0, 0.1}, {0, 0, 0}, {0, 0, 0}, h3)},
      {"missing old step",
       make(2, {1, 2, 3}, {0.3, -0.2, 0.1}, {0.1, -6e34, -0.1}, {0.5, -0.1, 0.3}, h3)},
  };
}

GState directions(std::size_t n, IWORD g_p, unsigned seed) {
  GState g;
  g.gx.assign(kLd * n, -555.0);
  g.gf.assign(kLd * n, -555.0);
  g.gdx.assign(kLd * n, -555.0);
  g.gxold.assign(kLd * n, -555.0);
  g.gfold.assign(kLd * n, -555.0);
  g.gh.assign(kLd * n * n, -555.0);
  unsigned r = seed;
  auto next = [&r] {
    r = r * 1103515245u + 12345u;
    return ((r >> 8) % 2000) / 1000.0 - 1.0;
  };
  for (IWORD k = 0; k < g_p; ++k) {
    for (std::size_t i = 0; i < n; ++i) {
      g.gx[i * kLd + k] = next();
      g.gf[i * kLd + k] = next();
      g.gdx[i * kLd + k] = next();
      g.gfold[i * kLd + k] = next();
    }
    for (std::size_t e = 0; e < n * n; ++e) g.gh[e * kLd + k] = next();
  }
  return g;
}

TEST(GNconv, ValuesEqualThePlainRoutine) {
  for (const Case& c : catalogue()) {
    for (IWORD g_p : {IWORD{0}, IWORD{1}, IWORD{5}, IWORD{100}}) {
      State a = c.s, b = c.s;
      GState g = directions(c.s.x.size(), g_p, 3);
      plain(a);
      twin(b, g, g_p);
      expect_same_values(a, b, std::string(c.what) + " g_p " + std::to_string(g_p));
      // The next pass updates on both sides alike.
      for (std::size_t i = 0; i < a.f.size(); ++i) {
        a.f[i] = b.f[i] = 0.5 * a.f[i] - 0.01 * i;
        a.x[i] = b.x[i] = a.xold[i] + 0.1;
      }
      plain(a);
      twin(b, g, g_p);
      expect_same_values(a, b, std::string(c.what) + " second pass");
    }
  }
}

TEST(GNconv, DerivativesMatchCentralDifferences) {
  const IWORD g_p = 3;
  for (const Case& c : catalogue()) {
    const std::size_t n = c.s.x.size();
    State s = c.s;
    GState g = directions(n, g_p, 17);
    const GState g0 = g;
    twin(s, g, g_p);
    for (IWORD k = 0; k < g_p; ++k) {
      const double e = 1e-7;
      auto moved = [&](double sign) {
        State m = c.s;
        for (std::size_t i = 0; i < n; ++i) {
          // Missing values stay missing: only present values move.
          if (std::fabs(m.x[i]) <= 5e34) m.x[i] += sign * e * g0.gx[i * kLd + k];
          if (std::fabs(m.f[i]) <= 5e34) m.f[i] += sign * e * g0.gf[i * kLd + k];
          if (std::fabs(m.dx[i]) <= 5e34) m.dx[i] += sign * e * g0.gdx[i * kLd + k];
          if (std::fabs(m.fold[i]) <= 5e34) m.fold[i] += sign * e * g0.gfold[i * kLd + k];
        }
        if (m.iflag >= 0)
          for (std::size_t w = 0; w < n * n; ++w) m.h[w] += sign * e * g0.gh[w * kLd + k];
        plain(m);
        return m;
      };
      const State p = moved(1), m = moved(-1);
      auto check = [&](const Vec& gv, const Vec& vp, const Vec& vm, const char* name) {
        for (std::size_t w = 0; w < vp.size(); ++w) {
          if (std::fabs(vp[w]) > 5e34) continue;  // a missing value passed through
          const double fd = (vp[w] - vm[w]) / (2 * e);
          EXPECT_NEAR(gv[w * kLd + k], fd, 2e-6 * (1 + std::fabs(fd)))
              << c.what << " " << name << " word " << w + 1 << " dir " << k + 1;
        }
      };
      check(g.gdx, p.dx, m.dx, "DX");
      check(g.gxold, p.xold, m.xold, "XOLD");
      check(g.gfold, p.fold, m.fold, "FOLD");
      check(g.gh, p.h, m.h, "H");
    }
  }
}

TEST(GNconv, ResetStart) {
  State s = make(-1, {1, 2}, {0.3, -0.2}, {5, 5}, {0, 0}, {7, 7, 7, 7});
  GState g = directions(2, 2, 9);
  twin(s, g, 2);
  EXPECT_EQ(s.iflag, 4);
  EXPECT_EQ(s.h, (Vec{-1, 0, 0, -1}));
  EXPECT_EQ(s.dx, s.f);
  for (std::size_t e = 0; e < 4; ++e)
    for (IWORD k = 0; k < 2; ++k) EXPECT_EQ(g.gh[e * kLd + k], 0.0);
  for (std::size_t i = 0; i < 2; ++i)
    for (IWORD k = 0; k < 2; ++k) EXPECT_EQ(g.gdx[i * kLd + k], g.gf[i * kLd + k]);
}

TEST(GNconv, CallersHKept) {
  const Case c = catalogue()[1];
  State s = c.s;
  GState g = directions(3, 1, 5);
  const Vec gh0 = g.gh;
  twin(s, g, 1);
  EXPECT_EQ(s.iflag, 4);
  EXPECT_EQ(s.h, c.s.h);
  EXPECT_EQ(g.gh, gh0);
}

// A missing residual takes a substitution step and leaves F as it came.
TEST(GNconv, MissingResidualTakesItsOwnStep) {
  State s = catalogue()[5].s;
  GState g = directions(3, 2, 13);
  twin(s, g, 2);
  EXPECT_EQ(s.f[1], 1e35);
  EXPECT_EQ(s.dx[1], 1e35);
  for (IWORD k = 0; k < 2; ++k) EXPECT_EQ(g.gdx[kLd + k], g.gf[kLd + k]);
}

TEST(GNconv, ZeroDirectionsTouchNoDerivative) {
  for (const Case& c : catalogue()) {
    State s = c.s;
    GState g = directions(c.s.x.size(), 0, 1);
    const GState g0 = g;
    twin(s, g, 0);
    EXPECT_EQ(g.gdx, g0.gdx) << c.what;
    EXPECT_EQ(g.gh, g0.gh) << c.what;
    EXPECT_EQ(g.gxold, g0.gxold) << c.what;
    EXPECT_EQ(g.gfold, g0.gfold) << c.what;
    EXPECT_EQ(g.gf, g0.gf) << c.what;
  }
}

TEST(GNconv, EmptyProblem) {
  for (IWORD iflag : {IWORD{-1}, IWORD{0}, IWORD{3}}) {
    State s;
    s.iflag = iflag;
    GState g;
    twin(s, g, 1);
    EXPECT_EQ(s.iflag, iflag > 0 ? iflag : 4);
  }
}

TEST(GNconvDeathTest, MoreThan100DirectionsStops) {
  scalar_test::expect_limit_stop(
      [] {
        State s = catalogue()[2].s;
        GState g = directions(3, 0, 1);
        twin(s, g, 101);
      },
      " PARAMETER G_P_ IS GREATER THAN G_PMAX_");
}

TEST(GNconv, LimitRefusalChangesNothing) {
  scalar_test::ReturningStop hook;
  orvika_test::UnitCapture cap(6);
  const State s0 = catalogue()[2].s;
  State s = s0;
  GState g = directions(3, 0, 1);
  twin(s, g, 101);
  EXPECT_EQ(cap.text(), " PARAMETER G_P_ IS GREATER THAN G_PMAX_\n");
  EXPECT_EQ(s.iflag, s0.iflag);
  EXPECT_EQ(s.h, s0.h);
  EXPECT_EQ(s.dx, s0.dx);
}

}  // namespace
