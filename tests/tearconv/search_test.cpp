// Line searches ORVK_SEARCH and ORVK_NEWTQX.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "orvika/tearconv_newton.h"

namespace {

using Vec = std::vector<double>;
using Merit = std::function<double(double)>;

struct Trace {
  Vec steps;         // step factors evaluated, in order
  double final = 0;  // STEP on the return with IPT = 0
  bool finished = false;
};

// Drives ORVK_SEARCH from step 0 until it reports the end (at most LIMIT
// evaluations).
Trace drive(const Merit& f, double tolabs, double tolrel, double step0, double smax,
            int limit = 100) {
  Trace t;
  IWORD ipt = 0;
  double step = 0.0, fval = f(0.0), w[7] = {};
  ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
  for (int k = 0; k < limit && ipt > 0; ++k) {
    t.steps.push_back(step);
    fval = f(step);
    ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
  }
  t.finished = ipt == 0;
  t.final = step;
  return t;
}

// f given by a table of exact step factors.
Merit table(std::vector<std::pair<double, double>> pts) {
  return [pts](double s) {
    for (const auto& p : pts)
      if (p.first == s) return p.second;
    ADD_FAILURE() << "merit asked at unexpected step " << s;
    return 0.0;
  };
}

Vec halvings(int count) {
  Vec v;
  for (int k = 0; k < count; ++k) v.push_back(std::ldexp(1.0, -k));
  return v;
}

struct TraceCase {
  const char* name;
  Merit f;
  double tolabs, tolrel, step0, smax;
  Vec steps;
  double final;
};

TEST(SearchTest, Traces) {
  const double m = 0.5 + 5e-11;
  const std::vector<TraceCase> cases = {
      {"falling merit expands to SMAX", [](double s) { return -s; }, 0.1, 0.1, 1.0, 2.0,
       {1.0, 0.5, 1.5, 2.0}, 2.0},
      {"bracketed: parabola within tolerance is not evaluated",
       table({{0.0, 10.0}, {1.0, 12.0}, {0.5, 8.0}}), 0.1, 0.0, 1.0, 2.0, {1.0, 0.5},
       0.25 + 4.0 / 24.0},
      {"rising merit halves until below 1e-6", [](double s) { return s; }, 0.1, 0.1, 1.0, 2.0,
       halvings(20), std::ldexp(1.0, -20)},
      // The parabola through (0, m^2), (0.5, (0.5-m)^2), (1, (1-m)^2) lands at m,
      // 5e-11 right of a2; f(m) = -1 makes the two middle points closer than
      // 1e-10, so the result is the best stored point m, not a parabola point.
      {"two points closer than 1e-10: best stored point",
       [m](double s) {
         if (s == 0.0) return m * m;
         if (s == 1.0) return (1 - m) * (1 - m);
         if (s == 0.5) return (0.5 - m) * (0.5 - m);
         return -1.0;
       },
       1e-12, 0.0, 1.0, 2.0, {1.0, 0.5, m}, m},
      // Minima at 0.5 and 1 with a bump between them: after the expansion
      // the contraction's midpoint 0.75 is worse than the first point, and
      // contracting again would ask for 0.75 once more.  The search ends at
      // the better of the first and middle points.
      {"contraction that finds no new point ends",
       [](double s) { return (s - 0.5) * (s - 0.5) * (s - 1.0) * (s - 1.0) + 1.0; }, 0.1, 0.1,
       1.0, 2.0, {1.0, 0.5, 1.5, 0.75}, 0.5},
      {"contraction that finds no new point ends, tied values",
       table({{0.0, 2.0}, {1.0, -1.0}, {0.5, -1.0}, {1.5, 0.5}, {0.75, 0.25}}), 0.1, 0.1, 1.0,
       2.0, {1.0, 0.5, 1.5, 0.75}, 0.5},
  };
  for (const TraceCase& c : cases) {
    const Trace t = drive(c.f, c.tolabs, c.tolrel, c.step0, c.smax);
    EXPECT_TRUE(t.finished) << c.name;
    ASSERT_EQ(t.steps.size(), c.steps.size()) << c.name;
    for (size_t k = 0; k < c.steps.size(); ++k)
      EXPECT_NEAR(t.steps[k], c.steps[k], 1e-15) << c.name << " trial " << k;
    EXPECT_NEAR(t.final, c.final, 1e-15) << c.name;
  }
}

// A merit that is flat near the start and rises beyond s = 0.5: the
// midpoints tie with the first point, so every one of them is followed by an
// expansion out to SMAX, which is worse, and a contraction to the midpoint
// of the last two middle points.  Those midpoints converge to
// (0.5 + 2 * 0.375) / 3 = 5/12; the search ends once the next midpoint lies
// within 1e-6 of the first point, instead of alternating without end.
TEST(SearchTest, FlatMeritBeforeARiseEndsAtTheContractionFloor) {
  const Merit f = [](double s) { return std::max(1.0, 1.0 + 4.0 * (s - 0.5)); };
  Vec expected = {1.0, 0.5, 0.25, 1.0, 0.375, 1.375, 0.4375};
  double a1 = 0.375, a2 = 0.4375;
  for (int k = 0; k < 15; ++k) {  // SMAX, then the next midpoint
    const double mid = 0.5 * (a1 + a2);
    expected.push_back(2.0);
    expected.push_back(mid);
    a1 = a2;
    a2 = mid;
  }
  expected.push_back(2.0);  // its midpoint lies within 1e-6 of a1: the end
  const Trace t = drive(f, 0.1, 0.1, 1.0, 2.0, 1000);
  ASSERT_TRUE(t.finished);
  EXPECT_EQ(t.steps, expected);
  EXPECT_EQ(t.final, 0.5 * (a1 + a2));
  EXPECT_LT(std::fabs(t.final - a1), 1e-6);
  EXPECT_NEAR(t.final, 5.0 / 12.0, 1e-6);
}

// A search started at the step factor 5, at the minimum of its merit:
// both first trials (6 and 3) are worse, and the contractions halve toward
// the start, 5 - 2^-k, until the midpoint lies within 1e-6 of it.
TEST(SearchTest, ContractionTowardANonzeroStartEnds) {
  const Merit f = [](double s) { return std::fabs(s - 5.0); };
  IWORD ipt = 0;
  double step = 5.0, fval = f(step), w[7] = {};
  const double tolabs = 0.1, tolrel = 0.1, step0 = 6.0, smax = 8.0;
  ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
  Vec steps;
  for (int k = 0; k < 1000 && ipt > 0; ++k) {
    steps.push_back(step);
    fval = f(step);
    ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
  }
  ASSERT_EQ(ipt, 0);
  Vec expected = {6.0, 3.0};
  for (int k = 0; k < 20; ++k) expected.push_back(5.0 - std::ldexp(1.0, -k));
  EXPECT_EQ(steps, expected);
  EXPECT_EQ(step, 5.0 - std::ldexp(1.0, -20));
}

// On a quadratic merit the first parabola step is its exact minimiser,
// whether the bracket is found at once or after expansions.
TEST(SearchTest, ParabolaStepIsTheMinimiserOfAQuadratic) {
  for (double smin : {0.3, 0.8, 1.7, 3.2}) {
    const Merit f = [smin](double s) { return 2.0 * (s - smin) * (s - smin) + 3.0; };
    IWORD ipt = 0;
    double step = 0.0, fval = f(0.0), w[7] = {};
    const double tolabs = 1e-9, tolrel = 0.0, step0 = 1.0, smax = 8.0;
    ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
    int calls = 0;
    while (ipt > 0 && ipt < 4 && ++calls < 50) {
      fval = f(step);
      ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
    }
    EXPECT_NEAR(step, smin, 1e-12 * (1 + smin)) << smin;
    if (ipt > 0) {  // evaluating there ends the search at the same point
      fval = f(step);
      ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
      EXPECT_EQ(ipt, 0) << smin;
      EXPECT_NEAR(step, smin, 1e-12 * (1 + smin)) << smin;
    }
  }
}

// The state words: start point, first trial and expansion factor.
TEST(SearchTest, StateWords) {
  IWORD ipt = -3;
  double step = 0.0, fval = 5.0, w[7] = {};
  const double tolabs = 0.1, tolrel = 0.1, step0 = 0.8, smax = 3.0;
  ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
  EXPECT_EQ(ipt, 1);
  EXPECT_EQ(step, 0.8);
  EXPECT_EQ(w[0], 0.0);
  EXPECT_EQ(w[3], 5.0);
  EXPECT_EQ(w[6], 0.5);
  fval = 4.0;
  ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
  EXPECT_EQ(ipt, 2);
  EXPECT_EQ(step, 0.4);
  EXPECT_EQ(w[2], 0.8);
  EXPECT_EQ(w[5], 4.0);
  fval = 4.5;  // no bracket, third point not worse: expand from a3 by STEP0*0.5
  ORVK_SEARCH(&ipt, &step, &fval, &tolabs, &tolrel, &step0, &smax, w);
  EXPECT_EQ(ipt, 3);
  EXPECT_EQ(step, 0.8 + 0.8 * 0.5);
  EXPECT_EQ(w[0], 0.4);
  EXPECT_EQ(w[1], 0.8);
  EXPECT_EQ(w[6], 1.0);
}

// A NaN merit value counts as worse than any number: the search contracts
// toward the start instead of fitting a parabola through a NaN.
TEST(SearchTest, NaNMeritCountsAsWorst) {
  const Merit f = [](double s) {
    return s > 0.75 ? std::numeric_limits<double>::quiet_NaN() : (s - 0.3) * (s - 0.3);
  };
  const Trace t = drive(f, 1e-6, 0.0, 1.0, 2.0);
  EXPECT_TRUE(t.finished);
  for (double s : t.steps) EXPECT_TRUE(std::isfinite(s));
  EXPECT_NEAR(t.final, 0.3, 1e-9);
}

// ORVK_NEWTQX on a residual vector F(x) = A*(x - xs): RMS along X0 + s*DX.
struct Residual {
  Vec xs{1.0, -2.0, 0.5};
  double scale = 1.0;
  Vec operator()(const Vec& x) const {
    Vec f(3);
    for (int i = 0; i < 3; ++i) f[i] = scale * (x[i] - xs[i]) * (i + 1);
    return f;
  }
};

double rms(const Vec& f) {
  double s = 0;
  for (double v : f) s += v * v;
  return std::sqrt(s / f.size());
}

struct QxRun {
  IWORD mode = 0, ipt = 0, iacc = 0, iforce = 0;
  double step0 = 1.0, smax = 2.0, tolabs = 1e-3, tolrel = 1e-3, rms0 = 0, rms = 0, step = 0,
         ratio = 0.5;
  Vec x0, f0, dx, xnew, fnew, w = Vec(7, 0.0);
  Vec steps;  // step factors of the trial points
};

void newtqx(QxRun& r) {
  const IWORD n = static_cast<IWORD>(r.x0.size());
  r.xnew.resize(n);
  r.fnew.resize(n);
  ORVK_NEWTQX(&n, &r.mode, &r.ipt, r.x0.data(), r.f0.data(), r.dx.data(), &r.step0, &r.smax,
              r.xnew.data(), r.fnew.data(), &r.tolabs, &r.tolrel, &r.rms0, &r.rms, &r.step,
              r.w.data(), &r.ratio, &r.iacc, &r.iforce);
}

// Runs a whole search with residual function RES, at most 60 evaluations.
void run_search(QxRun& r, const Residual& res) {
  r.f0 = res(r.x0);
  r.mode = 0;
  newtqx(r);
  for (int k = 0; k < 60 && r.mode == -1; ++k) {
    r.steps.push_back(r.step);
    for (size_t i = 0; i < r.x0.size(); ++i) EXPECT_EQ(r.xnew[i], r.x0[i] + r.step * r.dx[i]);
    r.fnew = res(r.xnew);
    newtqx(r);
  }
}

TEST(NewtqxTest, FirstTrialAcceptance) {
  // DX aims at xs scaled so that the first point has RMS = factor * RMS0.
  struct Row {
    double factor;
    IWORD iforce;
    bool accepted;
  };
  for (const Row& row : {Row{0.4, 0, true}, Row{0.6, 0, false}, Row{0.6, 1, true},
                         Row{1.2, 1, false}}) {
    const Residual res;
    QxRun r;
    r.x0 = {3.0, 1.0, -1.0};
    r.dx.resize(3);
    for (int i = 0; i < 3; ++i) r.dx[i] = (1.0 - row.factor) * (res.xs[i] - r.x0[i]);
    r.iforce = row.iforce;
    r.iacc = 0;
    r.f0 = res(r.x0);
    newtqx(r);
    EXPECT_EQ(r.mode, -1);
    EXPECT_EQ(r.step, 1.0);
    EXPECT_DOUBLE_EQ(r.rms0, rms(r.f0));
    r.fnew = res(r.xnew);
    newtqx(r);
    EXPECT_NEAR(r.rms, row.factor * r.rms0, 1e-12);
    if (row.accepted) {
      EXPECT_EQ(r.mode, 0) << row.factor;
      EXPECT_EQ(r.iacc, 1) << row.factor;
      EXPECT_EQ(r.ipt, 1) << row.factor;  // ORVK_SEARCH not called again
    } else {
      EXPECT_EQ(r.mode, -1) << row.factor;
      EXPECT_EQ(r.iacc, 0) << row.factor;
      EXPECT_EQ(r.step, 0.5) << row.factor;
    }
  }
}

// Without acceptance the search runs to its end; the result is the last
// trial point evaluated, and the minimiser of RMS along DX is found.
TEST(NewtqxTest, SearchFindsTheMinimumAlongTheDirection) {
  const Residual res;
  QxRun r;
  r.x0 = {3.0, 1.0, -1.0};
  r.dx.resize(3);
  for (int i = 0; i < 3; ++i) r.dx[i] = 0.37 * (res.xs[i] - r.x0[i]) * 2.0;  // minimum at 1/0.74
  r.ratio = 0.0;
  r.tolabs = 1e-6;
  r.tolrel = 0.0;
  run_search(r, res);
  EXPECT_EQ(r.mode, 0);
  EXPECT_EQ(r.iacc, 0);
  EXPECT_NEAR(r.steps.back(), 1.0 / 0.74, 1e-3);
  EXPECT_DOUBLE_EQ(r.rms, rms(res(r.xnew)));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(r.xnew[i], r.x0[i] + r.steps.back() * r.dx[i]);
}

TEST(NewtqxTest, EmptySystemEndsAtOnce) {
  QxRun r;
  r.mode = 0;
  r.ipt = 5;
  newtqx(r);  // N = 0
  EXPECT_EQ(r.mode, 0);
  EXPECT_EQ(r.ipt, 0);
}

// A step twice too long along the line to the root: the first trial point
// is no better than the base point and the search finds the middle, where
// the residual vanishes.  Residuals whose squares pass the largest double
// (scale 1e160) give their finite RMS values, as small ones do.
TEST(NewtqxTest, SearchFindsMiddleAtAnyResidualScale) {
  for (const double scale : {1.0, 1e160}) {
    SCOPED_TRACE(scale);
    Residual res;
    res.scale = scale;
    QxRun r;
    r.x0 = {3.0, 1.0, -1.0};
    r.dx.resize(3);
    for (int i = 0; i < 3; ++i) r.dx[i] = 2.0 * (res.xs[i] - r.x0[i]);
    run_search(r, res);
    EXPECT_EQ(r.mode, 0);
    EXPECT_TRUE(std::isfinite(r.rms0));
    EXPECT_NEAR(r.rms0, scale * rms(Residual{}(r.x0)), 1e-15 * r.rms0);
    EXPECT_NEAR(r.step, 0.5, 0.01);
    EXPECT_LT(r.rms, 0.1 * r.rms0);
  }
}

}  // namespace
