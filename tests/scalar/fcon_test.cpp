// ORVK_FCON, ORVK_FCON3, ORVK_FCON3X and the block ORVK_DFCON.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "orvika/host_stub.h"
#include "orvika/scalar_roots.h"
#include "scalar/roots_test_util.hpp"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

enum class Kind { kFcon, kFcon3, kFcon3x };

// The state of one run: the arguments of the 17-argument form; ORVK_FCON3
// gets XOLD .. STEP as its STATE array.
struct Fcon {
  Kind kind;
  IWORD iter = 0;
  double x = 0.0, c1 = 0.0, c2 = 0.0;
  LWORD lbrk = ORVK_FALSE;
  std::array<double, 11> st{};  // XOLD FOLD XOLD2 FOLD2 DX DF XLO XHI FLO FHI STEP

  Fcon(Kind k, double x0, double step, double c1_0 = 0.0) : kind(k), x(x0), c1(c1_0) {
    st[10] = step;
  }
  double xlo() const { return st[6]; }
  double xhi() const { return st[7]; }
  void call(double f) {
    double* s = st.data();
    switch (kind) {
      case Kind::kFcon:
        ORVK_FCON(&iter, &x, &f, &c1, &c2, &lbrk, s, s + 1, s + 2, s + 3, s + 4, s + 5, s + 6,
                  s + 7, s + 8, s + 9, s + 10);
        break;
      case Kind::kFcon3x:
        ORVK_FCON3X(&iter, &x, &f, &c1, &c2, &lbrk, s, s + 1, s + 2, s + 3, s + 4, s + 5, s + 6,
                    s + 7, s + 8, s + 9, s + 10);
        break;
      case Kind::kFcon3:
        ORVK_FCON3(&iter, &x, &f, &c1, &c2, s, &lbrk);
        break;
    }
  }
};

const Kind kKinds[] = {Kind::kFcon, Kind::kFcon3, Kind::kFcon3x};
const char* name(Kind k) {
  return k == Kind::kFcon ? "FCON" : k == Kind::kFcon3 ? "FCON3" : "FCON3X";
}

struct Outcome {
  IWORD code;
  double x;
  int evals;
  bool inside;
};

// Drives a run until a final code, or until the caller's own test |F| <= TOL
// holds (the only end of ORVK_FCON3 and ORVK_FCON3X at an interior root).
Outcome run(Fcon& s, const std::function<double(double)>& f, double tol, int cap = 100) {
  double fx = f(s.x);
  Outcome o{0, s.x, 1, true};
  for (int k = 0; k < cap; ++k) {
    if (std::fabs(fx) <= tol) break;
    s.call(fx);
    if (s.iter <= 0) break;
    o.inside = o.inside && s.x >= 0.0 && s.x <= 1.0;
    fx = f(s.x);
    ++o.evals;
  }
  o.code = s.iter;
  o.x = s.x;
  return o;
}

class FconTest : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
};

// Roots inside [0, 1], from a start without and with a slope estimate.
TEST_F(FconTest, KnownRoots) {
  const scalar_test::Equation eqs[] = {
      {"sqrt", [](double x) { return x * x - 0.5; }, 0.0, std::sqrt(0.5)},
      {"exp", [](double x) { return std::exp(x) - 2.0; }, 0.0, std::log(2.0)},
      {"dottie", [](double x) { return std::cos(x) - x; }, 0.0, 0.7390851332151607},
      {"kepler", [](double t) { return 2.0 * t - 0.5 * std::sin(2.0 * t) - 1.0; }, 0.0,
       1.4987011335178484 / 2.0},
      {"cubic", [](double x) { return (x - 0.2) * (x * x + 1.0); }, 0.0, 0.2},
  };
  for (Kind k : kKinds) {
    for (const auto& eq : eqs) {
      for (double c1 : {0.0, 0.5}) {
        SCOPED_TRACE(std::string(name(k)) + " " + eq.name + " c1 " + std::to_string(c1));
        Fcon s(k, 0.1, 0.05, c1);
        const Outcome o = run(s, eq.f, 1e-13);
        EXPECT_TRUE(o.inside);
        EXPECT_LE(o.evals, 25);
        if (k == Kind::kFcon) {
          EXPECT_TRUE(o.code > 0 || o.code == -1) << o.code;
          EXPECT_NEAR(o.x, eq.root, 1e-8);
        } else {
          EXPECT_GT(o.code, 0);
          EXPECT_NEAR(o.x, eq.root, 1e-12);
        }
      }
    }
  }
}

// ORVK_FCON ends with -1 when two successive values of F differ by less
// than 1e-10, X at the point just evaluated; the others keep requesting.
TEST_F(FconTest, ConvergenceCodeOnlyInFcon) {
  auto f = [](double x) { return 1e-12 * x + 0.5; };
  for (Kind k : kKinds) {
    Fcon s(k, 0.3, 0.1);
    s.call(f(s.x));
    ASSERT_EQ(s.iter, 1);
    const double x1 = s.x;
    s.call(f(x1));
    if (k == Kind::kFcon) {
      EXPECT_EQ(s.iter, -1);
      EXPECT_EQ(s.x, x1);
    } else {
      // No convergence code: the call is a request, and the run goes on to
      // the lower end, where this F (root far below 0) has its best point.
      EXPECT_EQ(s.iter, 2) << name(k);
      const Outcome o = run(s, f, 0.0);
      EXPECT_EQ(o.code, -2) << name(k);
      EXPECT_EQ(o.x, 0.0);
    }
  }
}

// First move with C1 = 0: up by STEP from X <= 0.5, down from above.
TEST_F(FconTest, FirstMove) {
  struct Case {
    double x0, expect;
  };
  for (Kind k : kKinds) {
    for (const Case c : {Case{0.3, 0.4}, Case{0.7, 0.6}, Case{0.5, 0.6}, Case{0.5000001, 0.4000001}}) {
      Fcon s(k, c.x0, 0.1);
      s.call(1.0);
      EXPECT_EQ(s.iter, 1);
      EXPECT_DOUBLE_EQ(s.x, c.expect) << name(k) << " " << c.x0;
      EXPECT_EQ(s.xlo(), 0.0);
      EXPECT_EQ(s.xhi(), 1.0);
      EXPECT_EQ(s.st[0], c.x0);
      EXPECT_EQ(s.lbrk, ORVK_FALSE);
    }
  }
}

// A start with C1 given whose linear step leaves [0, 1] from X = 0:
// ORVK_FCON returns 1 with X = 0, the others -2 at once.
TEST_F(FconTest, StartStepBelowZero) {
  for (Kind k : kKinds) {
    Fcon s(k, 0.0, 0.1, 0.5);
    s.call(1.0);
    EXPECT_EQ(s.iter, k == Kind::kFcon ? 1 : -2) << name(k);
    EXPECT_EQ(s.x, 0.0);
  }
  // Inside [0, 1] the linear step is taken on the start call.
  Fcon s(Kind::kFcon3, 0.5, 0.1, 0.25);
  s.call(0.4);
  EXPECT_EQ(s.iter, 1);
  EXPECT_EQ(s.x, 0.4);
}

// A sign change between the first two points gives the bracket [min, max]
// of them; later points stay inside it.
TEST_F(FconTest, Bracket) {
  auto f = [](double x) { return std::tanh(20.0 * (x - 0.45)); };
  for (Kind k : kKinds) {
    Fcon s(k, 0.3, 0.3);
    s.call(f(s.x));
    ASSERT_DOUBLE_EQ(s.x, 0.6);
    s.call(f(s.x));
    EXPECT_TRUE(s.lbrk & 1) << name(k);
    EXPECT_EQ(s.xlo(), 0.3);
    EXPECT_EQ(s.xhi(), 0.6);
    double lo = s.xlo(), hi = s.xhi();
    for (int i = 0; i < 30 && s.iter > 0 && std::fabs(f(s.x)) > 1e-14; ++i) {
      EXPECT_GE(s.x, lo) << name(k);
      EXPECT_LE(s.x, hi) << name(k);
      lo = s.xlo();
      hi = s.xhi();
      s.call(f(s.x));
    }
    EXPECT_NEAR(s.x, 0.45, 1e-9) << name(k);
  }
}

// Roots at the ends: a positive F increasing from X = 0 ends with -2 and
// X = 0, a positive F decreasing towards X = 1 with -3 and X = 1.
TEST_F(FconTest, RootsAtEnds) {
  for (Kind k : kKinds) {
    Fcon lo(k, 0.5, 0.1);
    const Outcome a = run(lo, [](double x) { return x + 0.5; }, 0.0);
    EXPECT_EQ(a.code, -2) << name(k);
    EXPECT_EQ(a.x, 0.0);
    Fcon hi(k, 0.5, 0.1);
    const Outcome b = run(hi, [](double x) { return 2.0 - x; }, 0.0);
    EXPECT_EQ(b.code, -3) << name(k);
    EXPECT_EQ(b.x, 1.0);
  }
}

// ORVK_FCON3 works on ORVK_DFCON and leaves it equal to the returned state.
TEST_F(FconTest, Fcon3Block) {
  Fcon s(Kind::kFcon3, 0.2, 0.1);
  auto f = [](double x) { return x * x - 0.3; };
  for (int i = 0; i < 4; ++i) {
    s.call(f(s.x));
    const double blk[11] = {ORVK_DFCON.XOLD, ORVK_DFCON.FOLD, ORVK_DFCON.XOLD2, ORVK_DFCON.FOLD2,
                            ORVK_DFCON.DX,   ORVK_DFCON.DF,   ORVK_DFCON.XLO,   ORVK_DFCON.XHI,
                            ORVK_DFCON.FLO,  ORVK_DFCON.FHI,  ORVK_DFCON.STEP};
    for (int j = 0; j < 11; ++j) EXPECT_EQ(blk[j], s.st[j]) << j;
  }
  EXPECT_EQ(ORVK_DFCON.STEP, 0.1);
}

// An F that does not change gives no slope: the model coefficients stay
// numbers and the next point bisects the bracket instead of leaving it.
TEST_F(FconTest, UnchangedFKeepsModelFinite) {
  for (Kind k : {Kind::kFcon3, Kind::kFcon3x}) {
    Fcon s(k, 0.3, 0.1);
    s.call(1.0);
    ASSERT_EQ(s.x, 0.4);
    for (int i = 0; i < 6; ++i) {
      s.call(1.0);
      EXPECT_GT(s.iter, 0) << name(k);
      EXPECT_TRUE(std::isfinite(s.c1) && std::isfinite(s.c2)) << name(k);
      EXPECT_TRUE(s.x >= 0.0 && s.x <= 1.0) << name(k) << " " << s.x;
    }
    // The bracket was halved on the second call.
    Fcon t(k, 0.3, 0.1);
    t.call(1.0);
    t.call(1.0);
    EXPECT_EQ(t.xlo(), 0.4);
    EXPECT_EQ(t.x, 0.7);
  }
}

// An F that is not a number leaves the model coefficients numbers and X a
// number inside [0, 1].
TEST_F(FconTest, NotANumber) {
  for (Kind k : kKinds) {
    Fcon s(k, 0.3, 0.1);
    auto f = [](double x) { return x * x - 0.3; };
    s.call(f(s.x));
    s.call(f(s.x));
    s.call(kNaN);
    EXPECT_TRUE(std::isfinite(s.c1) && std::isfinite(s.c2)) << name(k);
    EXPECT_TRUE(std::isfinite(s.x) && s.x >= 0.0 && s.x <= 1.0) << name(k);
    // A start with a slope estimate and F not a number.
    Fcon t(k, 0.3, 0.1, 0.5);
    t.call(kNaN);
    EXPECT_TRUE(std::isfinite(t.x) && t.x >= 0.0 && t.x <= 1.0) << name(k);
  }
}

}  // namespace
