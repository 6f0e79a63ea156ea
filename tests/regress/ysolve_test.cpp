// ORVK_YSOLVE: Rosenbrock-style least squares and straight lines through the
// reverse-communication loop; bounds, fixed parameters and error statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "orvika/regress.h"
#include "regress/regress_test_util.hpp"

namespace {

using regress_test::Vec;
using ModelFn = std::function<Vec(const double*)>;
using ColFn = std::function<Vec(const double*, IWORD)>;

struct Ys {
  IWORD n, m;
  IWORD ictl[26] = {};
  double rctl[16] = {};
  double stat[6] = {};
  Vec x, pmode, xup, xlow, ymeas, ycalc, dydx, work, anorm, asys;
  int calls = 0;
  bool left_box = false;

  Ys(IWORD nn, IWORD mm)
      : n(nn), m(mm), x(2 * nn), pmode(nn, 1.0), xup(nn, 1e30), xlow(nn, -1e30), ymeas(mm, 0.0),
        ycalc(2 * mm), dydx(mm), work(nn * mm + 2 * nn + mm), anorm(nn * (nn + 2)),
        asys(nn * (nn + 2)) {}

  void call() {
    ORVK_YSOLVE(&n, &m, ictl, rctl, x.data(), pmode.data(), xup.data(), xlow.data(), ymeas.data(),
                ycalc.data(), dydx.data(), stat, work.data(), anorm.data(), asys.data());
    ++calls;
  }
  // Runs a fit from X0 to its end; returns the final code.
  IWORD fit(const Vec& x0, const ModelFn& model, const ColFn& col = nullptr) {
    for (IWORD j = 0; j < n; ++j) x[j] = x0[j];
    Vec y = model(x.data());
    for (IWORD i = 0; i < m; ++i) ycalc[i] = y[i];
    ictl[0] = 1;
    call();
    for (int guard = 0; guard < 20000; ++guard) {
      const IWORD code = ictl[0];
      if (code == 2) {
        Vec c = col(x.data() + n, ictl[3]);
        for (IWORD i = 0; i < m; ++i) dydx[i] = c[i];
      } else if (code == 3 || code == 4) {
        for (IWORD j = 0; j < n; ++j)
          if (x[j] < xlow[j] || x[j] > xup[j]) left_box = true;
        y = model(x.data());
        for (IWORD i = 0; i < m; ++i) ycalc[i] = y[i];
      } else if (code != 5) {
        return code;
      }
      call();
    }
    return 99;
  }
};

Vec rosen(const double* x) { return {10 * (x[1] - x[0] * x[0]), 1 - x[0]}; }
Vec rosen_col(const double* x, IWORD j) {
  return j == 1 ? Vec{-20 * x[0], -1} : Vec{10, 0};
}

TEST(Ysolve, RosenbrockByDifferencesAndByColumns) {
  for (double mode : {1.0, -1.0}) {
    Ys y(2, 2);
    y.pmode = {mode, mode};
    const IWORD code = y.fit({-1.2, 1.0}, rosen, rosen_col);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(y.ictl[2], 0) << mode;
    EXPECT_NEAR(y.x[2], 1.0, 1e-5);
    EXPECT_NEAR(y.x[3], 1.0, 1e-5);
    EXPECT_LT(y.stat[0], 1e-10);
    EXPECT_EQ(y.stat[2], y.calls);
    if (mode < 0) EXPECT_GT(y.stat[4], 0);
    else EXPECT_EQ(y.stat[4], 0);
  }
}

struct LineData {
  Vec x, y;
};
LineData noisy_line() {
  LineData d;
  const double noise[8] = {0.05, -0.03, 0.02, -0.07, 0.04, 0.01, -0.02, 0.03};
  for (int i = 0; i < 8; ++i) {
    d.x.push_back(i);
    d.y.push_back(1.5 + 0.75 * i + noise[i]);
  }
  return d;
}

TEST(Ysolve, StraightLineMatchesLeastSquares) {
  const LineData d = noisy_line();
  Ys y(2, 8);
  y.ymeas = d.y;
  auto model = [&](const double* p) {
    Vec v(8);
    for (int i = 0; i < 8; ++i) v[i] = p[0] + p[1] * d.x[i];
    return v;
  };
  y.rctl[3] = 1e-9;
  EXPECT_EQ(y.fit({0.0, 0.0}, model), -1);
  EXPECT_GE(y.ictl[2], -4);
  EXPECT_LE(y.ictl[2], 0);
  EXPECT_NE(y.ictl[2], -1);
  Vec a(16);
  for (int i = 0; i < 8; ++i) {
    a[i] = 1;
    a[8 + i] = d.x[i];
  }
  const Vec ref = regress_test::lstsq(8, 2, a, d.y);
  EXPECT_NEAR(y.x[2], ref[0], 1e-6);
  EXPECT_NEAR(y.x[3], ref[1], 1e-6);
  double s = 0;
  for (int i = 0; i < 8; ++i) s += std::pow(ref[0] + ref[1] * d.x[i] - d.y[i], 2);
  EXPECT_NEAR(y.stat[0], s, 1e-10);
}

// y = x t, t = (1, 2, 3), against data whose least-squares answer is x = 0
// exactly (data orthogonal to t) or x = 0.001: a fit is no less a fit when
// its parameter ends near 0 (an ordinary derivative column, not a saturated
// one), nor when the step that reached it moved x by more than the tolerance
// relative to its small value, so that the next iteration finds nothing
// lower and its lambda climbs to the limit.  Both by columns and by
// differences.
TEST(Ysolve, SolutionAtOrNearZeroConverges) {
  const Vec t = {1, 2, 3};
  struct Case {
    Vec ymeas;
    double start, x, s;
  } cases[] = {{{-5, -5, 5}, 1.0, 0.0, 75.0}, {{-14.999, 0.002, 5.003}, 2.0, 0.001, 250.0}};
  for (const Case& c : cases)
    for (double mode : {-1.0, 1.0}) {
      SCOPED_TRACE("x = " + std::to_string(c.x) + " mode " + std::to_string(mode));
      Ys y(1, 3);
      y.ymeas = c.ymeas;
      y.pmode = {mode};
      const ModelFn model = [&](const double* x) { return Vec{x[0] * t[0], x[0] * t[1], x[0] * t[2]}; };
      const ColFn col = [&](const double*, IWORD) { return t; };
      EXPECT_EQ(y.fit({c.start}, model, col), -1);
      EXPECT_EQ(y.ictl[2], 0);
      EXPECT_NEAR(y.x[1], c.x, 1e-7);
      EXPECT_NEAR(y.stat[0], c.s, 1e-9 * c.s);
    }
}

TEST(Ysolve, BoundActiveAndFixedParameter) {
  // Centred abscissae decouple intercept and slope, so clipping the slope at
  // its bound leaves the intercept at the mean of the data.
  const LineData d = noisy_line();
  auto model = [&](const double* p) {
    Vec v(8);
    for (int i = 0; i < 8; ++i) v[i] = p[0] + p[1] * (d.x[i] - 3.5);
    return v;
  };
  double my = 0;
  for (int i = 0; i < 8; ++i) my += d.y[i] / 8;
  {
    Ys y(2, 8);
    y.ymeas = d.y;
    y.xup = {1e30, 0.5};
    y.rctl[3] = 1e-9;
    y.fit({0.0, 0.0}, model);
    EXPECT_GE(y.ictl[2], -4);
    EXPECT_LE(y.ictl[2], 0);
    EXPECT_NE(y.ictl[2], -1);
    EXPECT_DOUBLE_EQ(y.x[3], 0.5);
    EXPECT_NEAR(y.x[2], my, 1e-6);
    EXPECT_FALSE(y.left_box);
  }
  {  // slope fixed at 0.6 exactly
    Ys y(2, 8);
    y.ymeas = d.y;
    y.pmode = {1.0, 0.0};
    y.rctl[3] = 1e-9;
    y.fit({0.0, 0.6}, model);
    EXPECT_EQ(y.x[1], 0.6);
    EXPECT_EQ(y.x[3], 0.6);
    EXPECT_NEAR(y.x[2], my, 1e-6);
  }
}

TEST(Ysolve, NarrowBoxKeepsThePerturbedPointInside) {
  // The box is narrower than the difference step 0.001 max(|x0| + 0.01, |x|).
  Ys y(1, 2);
  y.ymeas = {2.0, 2.0};
  y.xlow = {1.0 - 1e-6};
  y.xup = {1.0 + 1e-6};
  auto model = [](const double* p) { return Vec{p[0], p[0]}; };
  EXPECT_EQ(y.fit({1.0}, model), -1);
  EXPECT_NE(y.ictl[2], -6);
  EXPECT_FALSE(y.left_box);
  EXPECT_DOUBLE_EQ(y.x[1], 1.0 + 1e-6);
}

TEST(Ysolve, NarrowBoxStepToTheBoundThatRoundsPastIt) {
  // The room left before the nearer-by-more bound, xup - x or x - xlow, is
  // rounded; x plus that room lands one unit past the bound unless held.
  struct Case {
    double x0, lo, up;
  };
  const Case cases[] = {
      {-5.564543226524334e-07, -5.564543226524334e-07 - 1e-7, 3.507640356192631e-06},
      {5.564543226524334e-07, -3.507640356192631e-06, 5.564543226524334e-07 + 1e-7},
  };
  for (const Case& c : cases) {
    Ys y(1, 1);
    y.ymeas = {c.up > 1e-6 ? 1.0 : -1.0};  // the fit ends on the wider side's bound
    y.xlow = {c.lo};
    y.xup = {c.up};
    auto model = [](const double* p) { return Vec{p[0]}; };
    EXPECT_EQ(y.fit({c.x0}, model), -1) << c.x0;
    EXPECT_NE(y.ictl[2], -6) << c.x0;
    EXPECT_FALSE(y.left_box) << c.x0;
    EXPECT_DOUBLE_EQ(y.x[1], c.up > 1e-6 ? c.up : c.lo) << c.x0;
  }
}

TEST(Ysolve, FirstTrialUsesLambdaOverNu) {
  Ys y(2, 2);
  y.ictl[0] = 1;
  y.x = {-1.2, 1.0, 0, 0};
  Vec v = rosen(y.x.data());
  y.ycalc = {v[0], v[1], 0, 0};
  y.call();
  ASSERT_EQ(y.ictl[0], 5);
  EXPECT_EQ(y.ictl[2], 2);
  EXPECT_EQ(y.stat[2], 1);
  EXPECT_EQ(y.stat[5], 0.01);
  for (int k = 0; k < 3 && y.ictl[0] != 4; ++k) {
    if (y.ictl[0] == 3) {
      v = rosen(y.x.data());
      y.ycalc[0] = v[0];
      y.ycalc[1] = v[1];
    }
    y.call();
  }
  ASSERT_EQ(y.ictl[0], 4);
  EXPECT_DOUBLE_EQ(y.rctl[10], 0.001);
}

// After an accepted step the lambda carried into the next iteration is the
// trial's lambda times nu times max(1/3, 1 - (2 rho - 1)^3), rho the actual
// decrease of S over the decrease 2 g*'d* - d*'A*d* that the linear model
// predicts; the next iteration's first trial divides it by nu.
struct GainCase {
  const char* what;
  IWORD n, m;
  ModelFn model;
  ColFn col;
  Vec x0, ymeas;
  double rho;  // gain ratio of the first step (first trial, lambda 0.001)
};

TEST(Ysolve, LambdaCarriedByTheGainOfTheStep) {
  // y = p^2 against 4 from p = 1: J = 2, residual 3, scaled A* = 1, g* = 3;
  // d* = 3/1.001 and the step in p is d*/2.
  const double ds = 3 / 1.001, p1 = 1 + ds / 2;
  const double rho_sq = (9 - (4 - p1 * p1) * (4 - p1 * p1)) / (2 * 3 * ds - ds * ds);
  const GainCase cases[] = {
      // A straight line: the linear model is exact, rho = 1, lambda / 3.
      {"straight line", 2, 4, [](const double* p) {
         Vec v(4);
         for (int i = 0; i < 4; ++i) v[i] = p[0] + p[1] * i;
         return v;
       },
       [](const double*, IWORD j) { return j == 1 ? Vec{1, 1, 1, 1} : Vec{0, 1, 2, 3}; },
       {0, 0}, {1, 3, 4, 7}, 1.0},
      {"square", 1, 1, [](const double* p) { return Vec{p[0] * p[0]}; },
       [](const double* p, IWORD) { return Vec{2 * p[0]}; }, {1}, {4}, rho_sq},
  };
  for (const GainCase& c : cases) {
    Ys y(c.n, c.m);
    y.pmode.assign(c.n, -1.0);
    y.ymeas = c.ymeas;
    for (IWORD j = 0; j < c.n; ++j) y.x[j] = c.x0[j];
    Vec v = c.model(y.x.data());
    for (IWORD i = 0; i < c.m; ++i) y.ycalc[i] = v[i];
    y.ictl[0] = 1;
    y.call();
    ASSERT_EQ(y.ictl[0], 5) << c.what;
    // One iteration: its columns, then its first trial, which is taken.
    int guard = 0;
    do {
      y.call();
      if (y.ictl[0] == 2) {
        Vec col = c.col(y.x.data() + c.n, y.ictl[3]);
        for (IWORD i = 0; i < c.m; ++i) y.dydx[i] = col[i];
      } else if (y.ictl[0] == 4) {
        EXPECT_DOUBLE_EQ(y.rctl[10], 0.001) << c.what;
        v = c.model(y.x.data());
        for (IWORD i = 0; i < c.m; ++i) y.ycalc[i] = v[i];
      }
    } while (y.ictl[0] != 5 && y.ictl[0] != -1 && ++guard < 20);
    ASSERT_EQ(y.ictl[0], 5) << c.what;
    const double t = 2 * c.rho - 1;
    const double carried = 0.001 * 10 * std::max(1.0 / 3.0, 1 - t * t * t);
    EXPECT_NEAR(y.stat[5], carried, 1e-12 * carried) << c.what;
    // The next iteration's first trial starts from it.
    guard = 0;
    do {
      y.call();
      if (y.ictl[0] == 2) {
        Vec col = c.col(y.x.data() + c.n, y.ictl[3]);
        for (IWORD i = 0; i < c.m; ++i) y.dydx[i] = col[i];
      }
    } while (y.ictl[0] == 2 && ++guard < 20);
    if (y.ictl[0] == 4) EXPECT_NEAR(y.rctl[10], carried / 10, 1e-12 * carried) << c.what;
  }
}

// Two columns that differ by 1e-9 relative: the values determine the sum of
// the two parameters but not how it splits (the scaled normal matrix is
// singular to rounding).  The sum of squares reaches its minimum, but the
// point is no fit of the parameters: the fit ends with -1, at the accepted
// point.
TEST(Ysolve, ParametersTheValuesDoNotSeparateEndUnconverged) {
  const IWORD m = 6;
  Vec u(m), w(m), ymeas(m);
  for (IWORD i = 0; i < m; ++i) {
    u[i] = 1.0 + 0.5 * static_cast<double>(i);
    w[i] = u[i] * (1 + 1e-9 * static_cast<double>(i % 3 - 1));
    ymeas[i] = 2 * u[i] + (i % 2 ? 0.01 : -0.01);
  }
  Ys y(2, m);
  y.pmode = {-1.0, -1.0};
  y.ymeas = ymeas;
  auto model = [&](const double* p) {
    Vec v(m);
    for (IWORD i = 0; i < m; ++i) v[i] = p[0] * u[i] + p[1] * w[i];
    return v;
  };
  auto col = [&](const double*, IWORD j) { return j == 1 ? u : w; };
  EXPECT_EQ(y.fit({0.0, 0.0}, model, col), -1);
  EXPECT_EQ(y.ictl[2], -1);
  // The accepted point fits as well as any: the residuals of the data about
  // the line 2u, whose sum of squares is 6e-4 less the part along u.
  double suu = 0, sur = 0, srr = 0;
  for (IWORD i = 0; i < m; ++i) {
    const double r = ymeas[i] - 2 * u[i];
    suu += u[i] * u[i];
    sur += u[i] * r;
    srr += r * r;
  }
  EXPECT_NEAR(y.stat[0], srr - sur * sur / suu, 1e-9);
  EXPECT_EQ(y.x[0], y.x[2]);
  EXPECT_EQ(y.x[1], y.x[3]);
}

TEST(Ysolve, JacobianIsFormedBeforeItCanBeReused) {
  // A level phimin above the start sum of squares must not reuse a Jacobian
  // that was never formed.
  Ys y(2, 2);
  y.rctl[4] = 1e10;
  y.ictl[0] = 1;
  y.x = {-1.2, 1.0, 0, 0};
  Vec v = rosen(y.x.data());
  y.ycalc = {v[0], v[1], 0, 0};
  y.call();
  y.call();
  EXPECT_EQ(y.ictl[0], 3);
  EXPECT_EQ(y.ictl[1], 0);
}

struct ErrCase {
  const char* what;
  IWORD n, m, code;
  Vec pmode, x0;
  IWORD status, code_after;
};

TEST(Ysolve, ErrorStatuses) {
  const ErrCase cases[] = {
      {"start outside the bounds", 2, 3, 1, {1, 1}, {5, 0}, -6, 1},
      {"bad request code", 2, 3, 7, {1, 1}, {0, 0}, -5, 7},
      {"code zero", 2, 3, 0, {1, 1}, {0, 0}, -5, 0},
      {"nothing varied", 2, 3, 1, {0, 0}, {0, 0}, -3, -1},
      {"no parameters", 0, 3, 1, {}, {}, -3, -1},
      {"fewer values than parameters", 3, 2, 1, {1, 1, 1}, {0, 0, 0}, -2, -1},
      {"continuing call without a start", 2, 3, 4, {1, 1}, {0, 0}, -5, 4},
      {"NaN parameter", 1, 3, 1, {1}, {std::nan("")}, -6, 1},
  };
  for (const ErrCase& c : cases) {
    Ys y(c.n, c.m);
    y.pmode = c.pmode;
    y.xup.assign(c.n, 1.0);
    y.xlow.assign(c.n, -1.0);
    for (IWORD j = 0; j < c.n; ++j) y.x[j] = c.x0[j];
    y.stat[2] = 4;
    y.ictl[0] = c.code;
    y.call();
    EXPECT_EQ(y.ictl[2], c.status) << c.what;
    EXPECT_EQ(y.ictl[0], c.code_after) << c.what;
    EXPECT_EQ(y.ictl[1], -1) << c.what;
    if (c.status <= -5) EXPECT_EQ(y.stat[2], 5) << c.what;
  }
}

TEST(Ysolve, StartPointAlreadyFitting) {
  Ys y(1, 2);
  y.ymeas = {3.0, 3.0};
  auto model = [](const double* p) { return Vec{p[0], p[0]}; };
  EXPECT_EQ(y.fit({3.0}, model), -1);
  EXPECT_EQ(y.ictl[2], 0);
  EXPECT_EQ(y.stat[3], 2);
  EXPECT_EQ(y.stat[2], 1);
}

// y = x1 + x2 t through (0, 1), (1, 2), (2, 3) with x1 held outside its
// unconstrained optimum 1 by a bound: the fit is x1 on the bound and the
// least-squares x2 for it, reached in a few iterations whether the bound is
// above or below and whether the columns are differenced or supplied.
TEST(Ysolve, BoundHeldByTheGradientEndsAtTheBoundedFit) {
  const ModelFn model = [](const double* x) {
    return Vec{x[0], x[0] + x[1], x[0] + 2 * x[1]};
  };
  const ColFn col = [](const double*, IWORD j) { return j == 1 ? Vec{1, 1, 1} : Vec{0, 1, 2}; };
  struct Case {
    double lo, up, start, x2;
  } cases[] = {{-1e30, 0.5, 0.0, 1.3}, {1.5, 1e30, 2.0, 0.7}};
  for (const Case& c : cases) {
    for (double mode : {1.0, -1.0}) {
      Ys y(2, 3);
      y.ymeas = {1, 2, 3};
      y.xlow[0] = c.lo;
      y.xup[0] = c.up;
      y.pmode = {mode, mode};
      EXPECT_EQ(y.fit({c.start, 0.0}, model, col), -1) << c.x2 << " " << mode;
      EXPECT_EQ(y.ictl[2], 0) << c.x2 << " " << mode;
      EXPECT_EQ(y.x[2], c.lo > -1e30 ? c.lo : c.up);
      EXPECT_NEAR(y.x[3], c.x2, 1e-6) << mode;
      EXPECT_LT(y.calls, 200) << c.x2 << " " << mode;
      EXPECT_FALSE(y.left_box);
    }
  }
}

// Model values that are not finite give no sum of squares to judge: the fit
// never ends as converged, whether they appear at the start or only at the
// points evaluated after it.
TEST(Ysolve, ValuesThatAreNotFiniteNeverConverge) {
  struct Case {
    const char* what;
    double bad;
    int from_eval;
  } cases[] = {{"NaN at the start", NAN, 0},
               {"infinity at the start", INFINITY, 0},
               {"NaN after the start", NAN, 1}};
  for (const Case& c : cases) {
    Ys y(2, 5);
    y.ymeas = {1, 3, 5, 7, 9};
    int evals = 0;
    const ModelFn model = [&](const double* x) {
      Vec v(5);
      for (int i = 0; i < 5; ++i) v[i] = x[0] + x[1] * i;
      if (evals++ >= c.from_eval) v[2] = c.bad;
      return v;
    };
    EXPECT_EQ(y.fit({0.0, 0.0}, model), -1) << c.what;
    EXPECT_EQ(y.ictl[2], -1) << c.what;
  }
}

}  // namespace
