// Adaptive quadrature: ORVK_QA04AD (function argument) and ORVK_GAUSSINT
// (reverse communication) on polynomials, known integrals, the order of the
// requested abscissae, the level limit and its warning.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "orvika/scalar_curves.h"
#include "support/capture.hpp"

namespace {

// The integrand of the current test, and every abscissa it was asked for.
std::function<double(double)> g_f;
std::vector<double> g_calls;
double call_f(const double* x) {
  g_calls.push_back(*x);
  return g_f(*x);
}

struct QuadRun {
  double result;
  IWORD maxlev;
  std::vector<double> xs;
};

QuadRun qa04(std::function<double(double)> f, double a, double b, double eps, IWORD maxlev) {
  g_f = std::move(f);
  g_calls.clear();
  QuadRun r{-1.0, maxlev, {}};
  ORVK_QA04AD(&r.result, &a, &b, &eps, &r.maxlev, &call_f);
  r.xs = g_calls;
  return r;
}

struct RevRun : QuadRun {
  IWORD istate;
};

RevRun gaussint(const std::function<double(double)>& f, double a, double b, double eps,
                IWORD maxlev, IWORD start = 0) {
  RevRun r{{-1.0, maxlev, {}}, start};
  double w[360], x = 0, fx = 0;
  IWORD iw[30];
  std::memset(w, 0, sizeof w);
  std::memset(iw, 0, sizeof iw);
  for (int guard = 0; guard < 1000000; ++guard) {
    ORVK_GAUSSINT(&r.result, &a, &b, &eps, &r.maxlev, &fx, &x, w, iw, &r.istate);
    if (r.istate < 1 || r.istate > 9) break;
    r.xs.push_back(x);
    fx = f(x);
  }
  return r;
}

// Polynomials up to degree 5 are integrated exactly by the first test.
TEST(Quadrature, ExactForDegreeFive) {
  struct Case {
    const char* what;
    std::function<double(double)> f;
    double a, b, exact;
  };
  const std::vector<Case> cases = {
      {"constant 5 on [0, 2]", [](double) { return 5.0; }, 0, 2, 10},
      {"x^5 on [0, 1]", [](double x) { return std::pow(x, 5); }, 0, 1, 1.0 / 6},
      {"quintic on [-1, 3]",
       [](double x) { return ((((0.5 * x - 1) * x + 2) * x - 3) * x + 1) * x - 4; }, -1, 3,
       // antiderivative x^6/12 - x^5/5 + x^4/2 - x^3 + x^2/2 - 4x
       (729.0 / 12 - 243.0 / 5 + 81.0 / 2 - 27 + 4.5 - 12) -
           (1.0 / 12 + 1.0 / 5 + 0.5 + 1 + 0.5 + 4)},
      {"reversed interval", [](double x) { return x * x; }, 2, 0, -8.0 / 3},
  };
  for (const Case& k : cases) {
    const QuadRun r = qa04(k.f, k.a, k.b, 1e-6, 10);
    EXPECT_NEAR(r.result, k.exact, 8 * 2.2e-16 * (1 + std::fabs(k.exact))) << k.what;
    EXPECT_EQ(r.maxlev, 1) << k.what;
    EXPECT_EQ(r.xs.size(), 9u) << k.what;
    const RevRun g = gaussint(k.f, k.a, k.b, 1e-6, 10);
    EXPECT_EQ(g.istate, 0) << k.what;
    EXPECT_EQ(g.result, r.result) << k.what;
    EXPECT_EQ(g.xs, r.xs) << k.what;
  }
}

// Known integrals to the tolerance, with ORVK_GAUSSINT giving the same
// results from the same requests.
TEST(Quadrature, KnownIntegrals) {
  struct Case {
    const char* what;
    std::function<double(double)> f;
    double a, b, exact;
  };
  const double pi = std::acos(-1.0);
  const std::vector<Case> cases = {
      {"exp on [0, 1]", [](double x) { return std::exp(x); }, 0, 1, std::exp(1.0) - 1},
      {"1/(1+x^2) on [0, 1]", [](double x) { return 1 / (1 + x * x); }, 0, 1, pi / 4},
      {"1/(1+x^2) on [-10, 10]", [](double x) { return 1 / (1 + x * x); }, -10, 10,
       2 * std::atan(10.0)},
      {"sqrt on [0, 1]", [](double x) { return std::sqrt(x); }, 0, 1, 2.0 / 3},
      {"sin on [0, pi]", [](double x) { return std::sin(x); }, 0, pi, 2},
  };
  for (const Case& k : cases) {
    for (double eps : {1e-6, 1e-10}) {
      orvika_test::UnitCapture cap(6);
      const QuadRun r = qa04(k.f, k.a, k.b, eps, 30);
      EXPECT_NEAR(r.result, k.exact, 10 * eps * std::fabs(k.exact)) << k.what << " eps " << eps;
      EXPECT_GE(r.maxlev, 1) << k.what;
      EXPECT_TRUE(cap.lines().empty()) << k.what;
      const RevRun g = gaussint(k.f, k.a, k.b, eps, 30);
      EXPECT_EQ(g.istate, 0);
      EXPECT_EQ(g.result, r.result) << k.what;
      EXPECT_EQ(g.maxlev, r.maxlev) << k.what;
      EXPECT_EQ(g.xs, r.xs) << k.what;
    }
  }
}

// The order of the abscissae on [0, 1]: the whole interval, its test, then
// the first child's test.
TEST(Quadrature, OrderOfRequests) {
  const RevRun g = gaussint([](double x) { return std::sqrt(x); }, 0, 1, 1e-12, 30);
  const double want[] = {0.1127016653792583, 0.5, 0.8872983346207417, 0.0254033307585167,
                         0.2, 0.2872983346207417, 0.7127016653792583, 0.8,
                         0.9745966692414834, 0.0057259953653299, 0.0450806661517033};
  ASSERT_GE(g.xs.size(), 11u);
  for (int k = 0; k < 11; ++k) EXPECT_NEAR(g.xs[k], want[k], 1e-15) << "request " << k + 1;
}

// A piece that misses its test at the level limit is accepted and reported.
TEST(Quadrature, LevelLimitWarning) {
  orvika_test::UnitCapture cap(6);
  const QuadRun r = qa04([](double x) { return std::sqrt(x); }, 0, 1, 1e-12, 1);
  EXPECT_EQ(r.maxlev, -1);
  EXPECT_EQ(r.xs.size(), 9u);
  ASSERT_EQ(cap.lines().size(), 1u);
  EXPECT_EQ(cap.lines()[0],
            " QA04A/AD ACCURACY SUSPECT AT     1 POINTS IN RANGE.     BEST ESTIMATE RETURNED.");
  EXPECT_NEAR(r.result, 2.0 / 3, 1e-2);

  cap.clear();
  const RevRun g = gaussint([](double x) { return std::sqrt(x); }, 0, 1, 1e-12, 1);
  EXPECT_EQ(g.istate, -1);
  EXPECT_EQ(g.maxlev, 1);
  EXPECT_EQ(g.result, r.result);
  EXPECT_TRUE(cap.lines().empty());

  // A deeper limit: several pieces at the limit, counted in the message.
  cap.clear();
  const QuadRun d = qa04([](double x) { return std::sqrt(x); }, 0, 1, 1e-15, 4);
  EXPECT_LT(d.maxlev, -1);
  ASSERT_EQ(cap.lines().size(), 1u);
  const RevRun gd = gaussint([](double x) { return std::sqrt(x); }, 0, 1, 1e-15, 4);
  EXPECT_EQ(gd.istate, -1);
  EXPECT_EQ(gd.maxlev, -d.maxlev);
  EXPECT_EQ(gd.result, d.result);
}

// A value that is not finite, or estimates that are not finite, can never
// pass a test: the run ends at once with the accuracy flag (negative
// MAXLEV and the message of ORVK_QA04AD, ISTATE -1 of ORVK_GAUSSINT) and a
// NaN result, after exactly the values asked for until then.
TEST(Quadrature, NonFiniteValuesEndTheRunAtOnce) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    const char* name;
    std::function<double(double)> f;
    double a, b, eps;
    IWORD maxlev;
    std::size_t calls;  // values of f taken
    IWORD level;        // deepest level reached
  } rows[] = {
      {"NaN everywhere", [](double) { return kNaN; }, 0, 1, 1e-8, 30, 1, 1},
      {"NaN everywhere, limit 12", [](double) { return kNaN; }, 0, 1, 1e-8, 12, 1, 1},
      // The first test's last node, 0.9745966692414834, is the first value above 0.9.
      {"NaN above 0.9", [](double x) { return x > 0.9 ? kNaN : std::sqrt(x); }, 0, 1, 1e-12, 12, 9, 1},
      // The first child's second node, 0.0450806661517033 (value 11).
      {"NaN in (0.04, 0.05)",
       [](double x) { return x > 0.04 && x < 0.05 ? kNaN : std::sqrt(x); }, 0, 1, 1e-12, 12, 11, 2},
      {"pole at the centre", [](double x) { return 1.0 / ((x - 0.5) * (x - 0.5)); }, 0, 1, 1e-8, 12, 2, 1},
      {"log of zero at the centre", [](double x) { return std::log(std::fabs(x - 0.5)); }, 0, 1, 1e-8, 12, 2, 1},
      {"estimates overflow", [](double) { return 1e308; }, 0, 10, 1e-8, 12, 9, 1},
      {"NaN lower end", [](double) { return 1.0; }, kNaN, 1, 1e-8, 12, 9, 1},
      {"NaN tolerance", [](double x) { return std::sqrt(x); }, 0, 1, kNaN, 12, 9, 1},
  };
  for (const Row& r : rows) {
    orvika_test::UnitCapture cap(6);
    const QuadRun q = qa04(r.f, r.a, r.b, r.eps, r.maxlev);
    EXPECT_EQ(q.xs.size(), r.calls) << r.name;
    EXPECT_EQ(q.maxlev, -r.level) << r.name;
    EXPECT_TRUE(std::isnan(q.result)) << r.name;
    EXPECT_EQ(cap.lines(),
              std::vector<std::string>{
                  " QA04A/AD ACCURACY SUSPECT AT     1 POINTS IN RANGE.     BEST ESTIMATE RETURNED."})
        << r.name;
    cap.clear();
    const RevRun g = gaussint(r.f, r.a, r.b, r.eps, r.maxlev);
    EXPECT_EQ(g.istate, -1) << r.name;
    EXPECT_EQ(g.xs.size(), r.calls) << r.name;
    EXPECT_EQ(g.maxlev, r.level) << r.name;
    EXPECT_TRUE(std::isnan(g.result)) << r.name;
    EXPECT_TRUE(cap.lines().empty()) << r.name;
  }
  // The next integration starts afresh.
  const RevRun g = gaussint([](double x) { return std::exp(x); }, 0, 1, 1e-8, 20);
  EXPECT_EQ(g.istate, 0);
  EXPECT_NEAR(g.result, std::exp(1.0) - 1, 1e-7);
}

// A tolerance at or below the rounding level (EPS 0, below machine
// precision, negative, or tightened by depth below what the abscissae
// resolve) cannot be met, and must not split every piece down to the level
// limit: the run ends after a modest number of values with the accuracy
// flag and an estimate good to rounding.  The integrand turns NaN after a
// budget of values, which would end an over-long run at once with a NaN.
TEST(Quadrature, RoundingLevelToleranceEndsPromptly) {
  constexpr std::size_t kBudget = 200000;
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const double pi = std::acos(-1.0);
  struct Row {
    const char* name;
    std::function<double(double)> f;
    double a, b, eps, exact, tol;
  } rows[] = {
      {"constant, EPS 0", [](double) { return 5.0; }, 0, 2, 0.0, 10, 1e-15},
      {"x^2, EPS 1e-17", [](double x) { return x * x; }, 0, 1, 1e-17, 1.0 / 3, 1e-15},
      {"exp, EPS 0", [](double x) { return std::exp(x); }, 0, 1, 0.0, std::exp(1.0) - 1, 1e-15},
      {"exp, EPS -1", [](double x) { return std::exp(x); }, 0, 1, -1.0, std::exp(1.0) - 1, 1e-15},
      {"sin, EPS 1e-16", [](double x) { return std::sin(x); }, 0, pi, 1e-16, 2, 1e-15},
      {"narrow peak, EPS 1e-12",
       [](double x) { return std::exp(-((x - 0.3) / 1e-3) * ((x - 0.3) / 1e-3)); }, 0, 1, 1e-12,
       1e-3 * std::sqrt(pi), 1e-12},
  };
  for (const Row& r : rows) {
    std::size_t n = 0;
    auto f = [&](double x) { return ++n > kBudget ? kNaN : r.f(x); };
    orvika_test::UnitCapture cap(6);
    const QuadRun q = qa04(f, r.a, r.b, r.eps, 30);
    EXPECT_LE(q.xs.size(), kBudget) << r.name;
    EXPECT_NEAR(q.result, r.exact, r.tol * r.exact) << r.name;
    EXPECT_LT(q.maxlev, 0) << r.name;
    EXPECT_EQ(cap.lines().size(), 1u) << r.name;
    n = 0;
    const RevRun g = gaussint(f, r.a, r.b, r.eps, 30);
    EXPECT_EQ(g.istate, -1) << r.name;
    EXPECT_EQ(g.result, q.result) << r.name;
    EXPECT_EQ(g.xs, q.xs) << r.name;
  }
}

TEST(Quadrature, EmptyIntervalAndLimits) {
  const QuadRun r = qa04([](double x) { return x; }, 1.5, 1.5, 1e-8, 10);
  EXPECT_EQ(r.result, 0.0);
  EXPECT_EQ(r.maxlev, 1);

  // MAXLEV above 30 is lowered to 30 on entry.
  IWORD seen = 0;
  double res, a = 0, b = 1, eps = 1e-6, x, fx = 0, w[360];
  IWORD iw[30], maxlev = 50, istate = 0;
  ORVK_GAUSSINT(&res, &a, &b, &eps, &maxlev, &fx, &x, w, iw, &istate);
  seen = maxlev;
  EXPECT_EQ(seen, 30);
  EXPECT_EQ(istate, 1);
}

// ISTATE 0 or 10 starts; so does a request code when nothing is in
// progress or the code is not the one returned last.
TEST(Quadrature, GaussintStarts) {
  for (IWORD start : {IWORD{0}, IWORD{10}, IWORD{-1}, IWORD{5}}) {
    const RevRun g = gaussint([](double x) { return std::exp(x); }, 0, 1, 1e-8, 20, start);
    EXPECT_EQ(g.istate, 0) << start;
    EXPECT_NEAR(g.result, std::exp(1.0) - 1, 1e-7) << start;
  }
  // A finished run answered again with a stale request code starts anew.
  double res = 0, a = 0, b = 1, eps = 1e-6, x = 0, fx = 0, w[360];
  IWORD iw[30], maxlev = 5, istate = 0;
  ORVK_GAUSSINT(&res, &a, &b, &eps, &maxlev, &fx, &x, w, iw, &istate);
  ASSERT_EQ(istate, 1);
  istate = 7;  // not the code returned
  ORVK_GAUSSINT(&res, &a, &b, &eps, &maxlev, &fx, &x, w, iw, &istate);
  EXPECT_EQ(istate, 1);
  EXPECT_NEAR(x, 0.1127016653792583, 1e-16);
}

// F may call ORVK_QA04AD itself: a double integral.
double inner_y = 0;
double inner(const double* x) { return *x * inner_y; }
double outer(const double* y) {
  inner_y = *y;
  double r, a = 0, b = 1, eps = 1e-10;
  IWORD lev = 10;
  ORVK_QA04AD(&r, &a, &b, &eps, &lev, &inner);
  inner_y = *y;
  return r * *y;
}
TEST(Quadrature, NestedCallsOfQa04ad) {
  double r, a = 0, b = 2, eps = 1e-10;
  IWORD lev = 10;
  ORVK_QA04AD(&r, &a, &b, &eps, &lev, &outer);
  // integral over [0,2] of y^2/2 dy = 4/3
  EXPECT_NEAR(r, 4.0 / 3, 1e-13);
}

}  // namespace
