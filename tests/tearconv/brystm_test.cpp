// Tests of the Broyden tear driver ORVK_BRYSTM, its update ORVK_NCONV and
// the leading-dimension variant NCONV2: IFLAG table, secant condition,
// damping reset, missing components, the driver's schedule and bounds,
// and the exact print at level 8.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "accel_test_util.hpp"
#include "orvika/host_stub.h"
#include "orvika/tearconv_accel.h"
#include "support/capture.hpp"
#include "tearconv/accel.hpp"

namespace {

using accel_test::kEps;
using accel_test::kMis;
using accel_test::minus_identity;
using accel_test::norm_inf;
using accel_test::random_vec;
using accel_test::Vec;

Vec mul(const Vec& h, IWORD ld, IWORD n, const Vec& v) {
  Vec r(n, 0.0);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) r[i] += h[i + j * ld] * v[j];
  return r;
}

struct Nconv {
  IWORD n;
  Vec x, d, s, xold, dold, h;
  IWORD iflag = 0;
  explicit Nconv(IWORD nn)
      : n(nn), x(nn, 1.0), d(nn), s(nn), xold(nn), dold(nn), h(minus_identity(nn)) {}
  void call() {
    ORVK_NCONV(&n, x.data(), d.data(), s.data(), xold.data(), dold.data(), h.data(), &iflag);
  }
};

class BroydenTear : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
};

// ---- ORVK_NCONV ---------------------------------------------------------------

TEST_F(BroydenTear, NconvIflagTable) {
  struct Case {
    IWORD iflag;
    bool reset;
  } cases[] = {{-1, true}, {-7, true}, {0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iflag);
    Nconv r(2);
    r.h = {1.0, 2.0, 3.0, 4.0};
    r.d = {1.0, -1.0};
    r.s = {5.0, 5.0};
    r.iflag = c.iflag;
    r.call();
    EXPECT_EQ(r.iflag, 4);
    if (c.reset) {
      EXPECT_EQ(r.h, minus_identity(2));
      EXPECT_EQ(r.s, r.d);
    } else {
      EXPECT_EQ(r.h, (Vec{1.0, 2.0, 3.0, 4.0}));
      EXPECT_EQ(r.s, (Vec{2.0, 2.0}));
    }
    EXPECT_EQ(r.xold, r.x);
    EXPECT_EQ(r.dold, r.d);
  }
  // N = 0 only sets IFLAG.
  Nconv e(0);
  e.iflag = -1;
  e.call();
  EXPECT_EQ(e.iflag, 4);
}

// Two calls: the first gives the step s = -H*DOLD, the second updates.
// Undamped (s'HD >= 0), the new H maps y = D - DOLD onto s.
TEST_F(BroydenTear, NconvSecantCondition) {
  int checked = 0;
  for (IWORD n : {1, 2, 3, 6}) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
      SCOPED_TRACE(testing::Message() << "n " << n << " seed " << seed);
      std::mt19937_64 g(seed * 613 + n);
      Nconv r(n);
      r.h = random_vec(g, n * n);
      for (IWORD i = 0; i < n; ++i) r.h[i + i * n] += -3.0;
      r.d = random_vec(g, n);
      r.iflag = 0;
      r.call();
      const Vec s = r.s, dold = r.d, h0 = r.h;
      r.d = random_vec(g, n);
      const Vec hd = mul(h0, n, n, r.d);
      double shd = 0.0;
      for (IWORD i = 0; i < n; ++i) shd += s[i] * hd[i];
      if (shd < 0.0) {  // make it undamped: flip the new residual
        for (auto& v : r.d) v = -v;
      }
      r.iflag = 1;
      r.call();
      EXPECT_EQ(r.iflag, 1);
      Vec y(n);
      for (IWORD i = 0; i < n; ++i) y[i] = r.d[i] - dold[i];
      const Vec hy = mul(r.h, n, n, y);
      const double scale = norm_inf(s) + norm_inf(mul(h0, n, n, y));
      for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(hy[i], s[i], 200 * kEps * scale * n);
      const Vec step = mul(r.h, n, n, r.d);
      for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(r.s[i], -step[i], 1e-13 * (1 + norm_inf(step)));
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
}

// H = -I, s = e1, so u = -e1 and s'HD = -D(1), s's = 1: damping factor
// 1/(1 + D(1)); below 0.2 (D(1) > 4) H is reset and the step is D.
TEST_F(BroydenTear, NconvDampingReset) {
  struct Case {
    double d1;
    bool reset;
  } cases[] = {{9.0, true}, {1.0, false}, {-1.0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.d1);
    Nconv r(2);
    r.h = minus_identity(2);
    r.h[2] = 0.5;  // H(1,2): differs from the reset
    r.s = {1.0, 0.0};
    r.dold = {0.0, -1.0};
    r.d = {c.d1, 0.25};
    r.iflag = 1;
    r.call();
    if (c.reset) {
      EXPECT_EQ(r.h, minus_identity(2));
      EXPECT_EQ(r.s, r.d);
    } else {
      EXPECT_NE(r.h, minus_identity(2));
    }
  }
}

TEST_F(BroydenTear, NconvZeroStepResets) {
  Nconv r(2);
  r.h = {1.0, 2.0, 3.0, 4.0};
  r.s = {0.0, 0.0};
  r.d = {1.0, 1.0};
  r.dold = r.d;
  r.iflag = 1;
  r.call();
  EXPECT_EQ(r.h, minus_identity(2));
  EXPECT_EQ(r.s, r.d);
}

// Missing components stay out of the update and of the product and take a
// substitution step.
TEST_F(BroydenTear, NconvMissingComponents) {
  Nconv r(3);
  r.h = {-2.0, 0.5, 0.25, 0.5, -2.0, 0.5, 0.25, 0.5, -2.0};
  const Vec h0 = r.h;
  r.x = {1.0, kMis, 3.0};
  r.d = {0.5, 0.0, 6e34};
  r.iflag = 0;
  r.call();
  EXPECT_EQ(r.h, h0);
  // Only D(1) enters the product: S(1) = 2*0.5; S(2) = X missing -> D(2);
  // S(3) = D(3) missing -> D(3).
  EXPECT_EQ(r.s, (Vec{1.0, 0.0, 6e34}));
  EXPECT_EQ(r.d, (Vec{0.5, 0.0, 6e34}));
  EXPECT_EQ(r.dold, r.d);

  // An update with S(3) missing: s(3) = y(3) = 0, so s = e1 and
  // y = (-0.5, 0, 0); s'HD = u'D still takes every D(j).
  r.s = {1.0, 0.0, 6e34};
  r.dold = {0.0, 0.0, 0.0};
  r.d = {-0.5, 0.0, 0.2};
  r.x = {1.0, 2.0, 3.0};
  r.h = h0;
  r.iflag = 1;
  r.call();
  const Vec u = {h0[0], h0[3], h0[6]};                   // H'*e1
  const Vec rr = {-2.0 * -0.5 - 1.0, 0.5 * -0.5, 0.25 * -0.5};  // H*y - s
  const double shd = u[0] * -0.5 + u[2] * 0.2;
  const double c = 1.0 / (1.0 + shd);
  for (IWORD j = 0; j < 3; ++j)
    for (IWORD i = 0; i < 3; ++i)
      EXPECT_NEAR(r.h[i + 3 * j], h0[i + 3 * j] - c * rr[i] * u[j], 1e-15) << i << "," << j;
  const Vec step = mul(r.h, 3, 3, r.d);
  for (IWORD i = 0; i < 3; ++i) EXPECT_NEAR(r.s[i], -step[i], 1e-15);
}

// ---- NCONV2 --------------------------------------------------------------------------

TEST_F(BroydenTear, Nconv2SecantWithLeadingDimension) {
  const IWORD n = 3, lda = 5;
  std::mt19937_64 g(77);
  for (int trial = 0; trial < 6; ++trial) {
    SCOPED_TRACE(trial);
    Vec h = random_vec(g, lda * n);
    for (IWORD i = 0; i < n; ++i) h[i + i * lda] -= 3.0;
    for (IWORD j = 0; j < n; ++j) h[3 + j * lda] = h[4 + j * lda] = 99.0;  // padding
    Vec x = random_vec(g, n), f = random_vec(g, n), s(n), xold(n), fold(n);
    IWORD iflag = -2;
    orvika::NCONV2(lda, n, x.data(), f.data(), s.data(), xold.data(), fold.data(), h.data(), iflag);
    EXPECT_EQ(iflag, 4);
    const Vec s0 = s, fold0 = fold, h0 = h;
    Vec f1 = random_vec(g, n);
    const Vec hf = mul(h0, lda, n, f1);
    double shf = 0.0;
    for (IWORD i = 0; i < n; ++i) shf += s0[i] * hf[i];
    if (shf < 0.0)
      for (auto& v : f1) v = -v;
    iflag = 1;
    orvika::NCONV2(lda, n, x.data(), f1.data(), s.data(), xold.data(), fold.data(), h.data(), iflag);
    Vec y(n);
    for (IWORD i = 0; i < n; ++i) y[i] = f1[i] - fold0[i];
    const Vec hy = mul(h, lda, n, y);
    const double scale = norm_inf(s0) + norm_inf(mul(h0, lda, n, y));
    for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(hy[i], s0[i], 200 * kEps * scale * n);
    for (IWORD j = 0; j < n; ++j) {
      EXPECT_EQ(h[3 + j * lda], 99.0);
      EXPECT_EQ(h[4 + j * lda], 99.0);
    }
    EXPECT_EQ(fold, f1);
  }
}

TEST_F(BroydenTear, Nconv2ZeroStepKeepsMatrix) {
  const IWORD n = 2;
  Vec h = {1.0, 2.0, 3.0, 4.0}, x = {1.0, 1.0}, f = {1.0, -1.0}, s = {0.0, 0.0},
      xold(n), fold = {0.5, 0.5};
  IWORD iflag = 1;
  orvika::NCONV2(n, n, x.data(), f.data(), s.data(), xold.data(), fold.data(), h.data(), iflag);
  EXPECT_EQ(h, (Vec{1.0, 2.0, 3.0, 4.0}));
  EXPECT_EQ(s, (Vec{2.0, 2.0}));
  EXPECT_EQ(iflag, 1);

  // A leading dimension below N: nothing is touched but IFLAG.
  iflag = 0;
  const IWORD lda = 1;
  orvika::NCONV2(lda, n, x.data(), f.data(), s.data(), xold.data(), fold.data(), h.data(), iflag);
  EXPECT_EQ(iflag, 4);
  EXPECT_EQ(h, (Vec{1.0, 2.0, 3.0, 4.0}));
  EXPECT_EQ(s, (Vec{2.0, 2.0}));
}

// ---- ORVK_BRYSTM ----------------------------------------------------------------------

struct Tear {
  IWORD n;
  Vec x, xold, dx, dxold, w, xlow;
  IWORD kaccel = 0, kstep = 0, iflag = -9;
  IWORD opt[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  IWORD iopt[4] = {0, 0, 0, 0};
  explicit Tear(IWORD nn)
      : n(nn), x(nn, 1.0), xold(nn), dx(nn), dxold(nn), w(nn * nn + nn, 7.0), xlow(nn, -1e30) {}
  void call(IWORD iter) {
    int dummy = 0;
    ORVK_BRYSTM(x.data(), xold.data(), &n, dx.data(), dxold.data(), &dummy, &dummy, &kaccel,
                &kstep, opt, &dummy, &iter, w.data(), &dummy, &iflag, &dummy, &dummy, &dummy,
                &dummy, &dummy, &dummy, &dummy, iopt, &dummy, xlow.data());
  }
  Vec h() const { return Vec(w.begin(), w.begin() + n * n); }
};

TEST_F(BroydenTear, FirstCallSubstitutes) {
  struct Case {
    IWORD iwait, kaccel;
  } cases[] = {{0, 1}, {1, 0}, {3, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iwait);
    Tear t(2);
    t.iopt[1] = c.iwait;
    t.x = {1.0, 2.0};
    t.dx = {0.5, -0.25};
    t.call(1);
    EXPECT_EQ(t.h(), minus_identity(2));
    EXPECT_EQ(t.x, (Vec{1.5, 1.75}));
    EXPECT_EQ(t.xold, (Vec{1.0, 2.0}));
    EXPECT_EQ(t.dxold, t.dx);
    EXPECT_EQ(t.kstep, 2);
    EXPECT_EQ(t.kaccel, c.kaccel);
    EXPECT_EQ(t.iflag, 4);
  }
}

// A linear tear map G(x) = xs + A*(x - xs), mode 0 with IWAIT = 3:
// iterations 1-3 substitute with H = -I, the first update comes at 4.
TEST_F(BroydenTear, WaitThenUpdateOnLinearMap) {
  const IWORD n = 2;
  const Vec a = {0.5, 0.1, -0.2, 0.3};  // by columns
  const Vec xs = {2.0, -1.0};
  Tear t(n);
  t.iopt[1] = 3;
  t.x = {0.0, 0.0};
  auto residual = [&]() {
    Vec d(n);
    for (IWORD i = 0; i < n; ++i) {
      double gi = xs[i];
      for (IWORD j = 0; j < n; ++j) gi += a[i + j * n] * (t.x[j] - xs[j]);
      d[i] = gi - t.x[i];
    }
    return d;
  };
  for (IWORD it = 1; it <= 3; ++it) {
    t.dx = residual();
    const Vec x0 = t.x;
    t.call(it);
    EXPECT_EQ(t.h(), minus_identity(n)) << it;
    for (IWORD i = 0; i < n; ++i) EXPECT_EQ(t.x[i], x0[i] + t.dx[i]);
    EXPECT_EQ(t.kaccel, 0);
  }
  t.dx = residual();
  t.call(4);
  EXPECT_NE(t.h(), minus_identity(n));
  EXPECT_EQ(t.kaccel, 1);
  EXPECT_EQ(t.iflag, 1);
  // Superlinear convergence: within a few more updates X is on the
  // fixed point to rounding.
  for (IWORD it = 5; it <= 10; ++it) {
    t.dx = residual();
    t.call(it);
  }
  EXPECT_NEAR(t.x[0], xs[0], 1e-12);
  EXPECT_NEAR(t.x[1], xs[1], 1e-12);
}

TEST_F(BroydenTear, ModeTwoKeepsCallersMatrix) {
  Tear t(2);
  t.opt[5] = 2;
  t.iopt[1] = 50;
  t.w = {-2.0, 0.0, 0.0, -0.5, 0.0, 0.0};
  t.x = {1.0, 1.0};
  t.dx = {1.0, 2.0};
  t.call(1);
  EXPECT_EQ(t.h(), (Vec{-2.0, 0.0, 0.0, -0.5}));
  EXPECT_EQ(t.x, (Vec{3.0, 2.0}));
  EXPECT_EQ(t.kaccel, 1);
  t.dx = {0.5, 1.0};
  t.call(2);
  EXPECT_EQ(t.iflag, 1);
  EXPECT_EQ(t.kaccel, 1);
  EXPECT_NE(t.h(), (Vec{-2.0, 0.0, 0.0, -0.5}));
}

TEST_F(BroydenTear, LowerBoundTable) {
  struct Case {
    const char* what;
    double x, dx, xlow, x_new;
  } cases[] = {
      {"above the bound", 1.0, -0.5, 0.0, 0.5},
      {"to the bound: a thousandth of the way", 1.0, -1.0, 0.0, 0.001},
      {"below the bound", 1.0, -3.0, 0.0, 0.001},
      {"old point below the bound: the bound", -1.0, -1.0, 0.0, 0.0},
      {"missing X: step alone", kMis, 0.0, -5.0, 0.0},
      {"missing X below the bound: the bound", kMis, -10.0, -5.0, -5.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Tear t(1);
    t.x = {c.x};
    t.dx = {c.dx};
    t.xlow = {c.xlow};
    t.call(1);
    EXPECT_NEAR(t.x[0], c.x_new, 1e-15);
  }
}

// Print level 8: the heading, then the matrix print of H.
TEST_F(BroydenTear, PrintLevelEight) {
  Tear t(2);
  t.opt[0] = 8;
  t.x = {1.0, 2.0};
  t.dx = {0.5, 0.5};
  orvika_test::UnitCapture cap(6);
  t.call(1);
  const std::string six(6, ' '), five(5, ' ');
  const std::string minus_one = " -1.0000    ", zero = "  0.0000    ";  // G12.5
  const std::vector<std::string> expected = {
      " BROYDEN H MATRIX",
      "",
      six + "BRYS" + "TM  " + five + "JACO" + "BIAN" + "    " + five + "     5" + " LINES",
      "",
      std::string(13, ' ') + " 1" + std::string(10, ' ') + " 2",
      six + "  1" + minus_one + zero,
      six + "  2" + zero + minus_one,
  };
  EXPECT_EQ(cap.lines(), expected);

  cap.clear();
  t.opt[0] = 7;
  t.call(2);
  EXPECT_TRUE(cap.lines().empty());
}

}  // namespace
