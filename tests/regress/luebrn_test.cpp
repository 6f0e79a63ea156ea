// ORVK_LUEBRN in the sixteen-argument form: error-in-variables straight
// lines against the closed-form Deming regression, the run protocol with
// the host, the time limit, the iteration limit, bad counts and report text.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "regress/engine_test_util.hpp"
#include "regress/regress_test_util.hpp"
#include "support/capture.hpp"

namespace {

using regress_test::Engine;
using regress_test::Vec;
using regress_test::ellipse16;
auto kLine16 = reinterpret_cast<ORVK_MODELFN>(regress_test::line16);

class LuebrnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    orvk_host_set_timer_step(1.0);
  }
};

struct MethodCase {
  const char* what;
  IWORD kdem, iods, ndrv;
  bool exact;  // false: Deming iterations only, which end at the OLS fixed point
};

TEST_F(LuebrnTest, ErrorsInVariablesLineMatchesDemingRegression) {
  const regress_test::Eiv d;
  const Vec exact = d.reference(), ols = d.ols();
  const MethodCase cases[] = {{"Deming then Britt-Luecke", 2, 0, 0, true},
                              {"Britt-Luecke from the start", 0, 0, 0, true},
                              {"Deming only", -1, 0, 0, false},
                              {"Deming with refresh", -1, 2, 0, false},
                              {"weighted least squares then Britt-Luecke", 2, 3, 0, true},
                              {"differences", 2, 0, 1, true},
                              {"central differences", 2, 0, 2, true}};
  for (const MethodCase& c : cases) {
    Engine e(2, 2, 9, 1);
    d.load(e);
    e.kdem = c.kdem;
    e.iods = c.iods;
    e.ndrv = c.ndrv;
    e.tol = 1e-9;
    e.iter = 60;
    e.luebrn(kLine16);
    const Vec& ref = c.exact ? exact : ols;
    EXPECT_EQ(e.istat, 0) << c.what;
    EXPECT_NEAR(e.p[0], ref[0], 1e-5) << c.what;
    EXPECT_NEAR(e.p[1], ref[1], 1e-6) << c.what;
    // The estimates lie on the fitted line.
    for (int i = 0; i < 9; ++i)
      EXPECT_NEAR(e.z[2 * i + 1], e.p[0] + e.p[1] * e.z[2 * i], 1e-5) << c.what << " " << i;
  }
}

TEST_F(LuebrnTest, BrittLueckeEndsWithinTolOfTheDemingRegression) {
  // Nearly flat lines with errors in both variables, where a Britt-Luecke
  // iteration takes a short step and the next one is damped to about its
  // length: a change of the objective within TOL proves convergence only
  // where the undamped step promises no more.  The minimum of
  // S(a, b) = sum (y - a - b x)^2 / (SY^2 + b^2 SX^2) is the closed-form
  // Deming regression; the fit ends within TOL of it, and SSQ and SIGMA are
  // those of the returned line.
  struct Data {
    double sx, sy;
    Vec x, y;
  } sets[] = {{0.74, 0.89, {0.396, 0.09, 1.265, 1.846, 2.291, 3.852, 4.799},
               {1.989, 2.044, 2.508, 2.501, 3.047, 2.181, 1.973}},
              {0.29, 0.16, {-0.274, 0.703, 1.32, 1.819, 3.038, 3.647, 3.933, 4.998, 5.489},
               {2.49, 2.485, 2.706, 2.424, 2.691, 2.493, 2.642, 2.386, 2.382}},
              {0.34, 0.82, {-0.056, 0.73, 1.15, 2.259, 3.057, 3.622, 3.937, 4.844},
               {-3.49, -4.499, -3.329, -3.454, -3.523, -3.609, -3.561, -3.164}}};
  struct Run {
    const char* what;
    IWORD kdem, iods;
  } runs[] = {{"Britt-Luecke after one weighted-least-squares iteration", 0, 3},
              {"Britt-Luecke after two Deming iterations", 2, 0},
              {"Britt-Luecke after two weighted-least-squares iterations", 2, 3}};
  int set = 0;
  for (const Data& d : sets) {
    ++set;
    const int n = static_cast<int>(d.x.size());
    double mx = 0, my = 0;
    for (int i = 0; i < n; ++i) {
      mx += d.x[i] / n;
      my += d.y[i] / n;
    }
    double sxx = 0, syy = 0, sxy = 0;
    for (int i = 0; i < n; ++i) {
      sxx += (d.x[i] - mx) * (d.x[i] - mx);
      syy += (d.y[i] - my) * (d.y[i] - my);
      sxy += (d.x[i] - mx) * (d.y[i] - my);
    }
    const double lam = d.sy * d.sy / (d.sx * d.sx);
    const double b =
        (syy - lam * sxx + std::sqrt((syy - lam * sxx) * (syy - lam * sxx) + 4 * lam * sxy * sxy)) /
        (2 * sxy);
    const double a = my - b * mx;
    auto objective = [&](double pa, double pb) {
      double s = 0;
      for (int i = 0; i < n; ++i) {
        const double res = d.y[i] - pa - pb * d.x[i];
        s += res * res / (d.sy * d.sy + pb * pb * d.sx * d.sx);
      }
      return s;
    };
    const double smin = objective(a, b);
    for (const Run& c : runs) {
      SCOPED_TRACE("data set " + std::to_string(set) + ", " + c.what);
      Engine e(2, 2, n, 1);
      for (int i = 0; i < n; ++i) {
        e.zm[2 * i] = d.x[i];
        e.zm[2 * i + 1] = d.y[i];
        e.r[2 * i] = d.sx;
        e.r[2 * i + 1] = d.sy;
      }
      e.p = {0.0, 1.0};
      e.kdem = c.kdem;
      e.iods = c.iods;
      e.tol = 1e-10;
      e.iter = 60;
      e.luebrn(kLine16);
      ASSERT_EQ(e.istat, 0);
      const double s = objective(e.p[0], e.p[1]);
      EXPECT_LE(s - smin, 2 * e.tol * smin) << "a " << e.p[0] << " (" << a << "), b " << e.p[1]
                                            << " (" << b << ")";
      EXPECT_NEAR(e.p[0], a, 1e-4);
      EXPECT_NEAR(e.p[1], b, 1e-4);
      EXPECT_NEAR(e.ssq, s, 1e-10 * smin);
      EXPECT_NEAR(e.sigma, std::sqrt(smin / (n - 2)), 1e-9 * std::sqrt(smin / (n - 2)));
    }
  }
}

TEST_F(LuebrnTest, DemingRefreshConvergesOnlyAtTheDemingFixedPoint) {
  // Deming iterations with refresh on noisy points of an ellipse: a trial
  // that lowers the objective is weighed again with the weights of the
  // trial, which the linear model does not see, so rejected trials grow the
  // damping until the steps are negligible.  Such a step proves nothing
  // about the gradient, whether the derivatives are analytic or differences:
  // a run that reports convergence ends where the Deming iteration stands
  // still, the weighted Gauss-Newton step of sum F'WF (W = 1/(FZ V FZ') at
  // the measurements, held) promising no decrease.
  const double pts[12][2] = {{3.797, -0.6602}, {3.6895, -0.0835}, {3.2364, 0.4212},
                             {2.4994, 0.7473},  {1.7527, 0.9434},  {0.9428, 0.9885},
                             {0.1574, 0.9701},  {-0.4495, 0.6885}, {-1.1998, 0.3542},
                             {-1.7686, -0.1141}, {-1.9527, -0.6354}, {-1.9099, -1.1707}};
  const double sx = 0.0865, sy = 0.0491;
  struct Case {
    const char* what;
    IWORD ndrv;
  } cases[] = {{"analytic derivatives", 0}, {"forward differences", 1}, {"central differences", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Engine e(4, 2, 12, 1);
    for (int i = 0; i < 12; ++i) {
      e.zm[2 * i] = pts[i][0];
      e.zm[2 * i + 1] = pts[i][1];
      e.r[2 * i] = sx;
      e.r[2 * i + 1] = sy;
    }
    e.p = {1.0374, -1.0255, 2.9534, 2.3436};
    e.kdem = -1;
    e.iods = 2;
    e.ndrv = c.ndrv;
    e.tol = 1e-10;
    e.iter = 200;
    orvika_test::UnitCapture cap(6);  // unconverged ends print their report
    e.luebrn(reinterpret_cast<ORVK_MODELFN>(ellipse16));
    if (e.istat != 0) continue;
    // Whitened Deming residuals at the measurements and their parameter
    // derivatives; the least-squares step removes |A x|^2 of S.
    Vec a(12 * 4), b(12);
    double s = 0;
    for (int i = 0; i < 12; ++i) {
      const double u = (pts[i][0] - e.p[0]) / e.p[2], v = (pts[i][1] - e.p[1]) / e.p[3];
      const double fx = 2 * u / e.p[2], fy = 2 * v / e.p[3];
      const double sw = 1 / std::sqrt(fx * fx * sx * sx + fy * fy * sy * sy);
      b[i] = sw * (u * u + v * v - 1);
      a[i] = -sw * fx;
      a[12 + i] = -sw * fy;
      a[24 + i] = -sw * 2 * u * u / e.p[2];
      a[36 + i] = -sw * 2 * v * v / e.p[3];
      s += b[i] * b[i];
    }
    const Vec x = regress_test::lstsq(12, 4, a, b);
    double gain = 0;
    for (int i = 0; i < 12; ++i) {
      double ax = 0;
      for (int l = 0; l < 4; ++l) ax += a[12 * l + i] * x[l];
      gain += ax * ax;
    }
    EXPECT_LE(gain, 1e-8 * s) << "P " << e.p[0] << " " << e.p[1] << " " << e.p[2] << " " << e.p[3];
  }
}

// F = y - p1 - p2 x, but not a number (a failed evaluation) on every call
// after the first g_good ones, the final evaluation excepted.
long g_calls = 0, g_good = 0;
void failing16(const double* z, const double* zm, void* mdat2, const double* p, const IWORD* ndat,
               const IWORD* nmmax, const IWORD* nmeas, void* mdat1, const IWORD* npar,
               const IWORD* ncmax, const IWORD* ncons, const IWORD* req, double* f, double* fz,
               double* fp, void* muser) {
  regress_test::line16(z, zm, mdat2, p, ndat, nmmax, nmeas, mdat1, npar, ncmax, ncons, req, f, fz,
                       fp, muser);
  if (++g_calls > g_good && *req != 2)
    for (IWORD i = 0; i < *ndat; ++i) f[i * *ncmax] = std::nan("");
}

TEST_F(LuebrnTest, BrittLueckeRunOnValuesThatAreNotNumbersNeverConverges) {
  // A model that fails from some call on, or a measured value or standard
  // deviation that is not a number, in runs with Britt-Luecke iterations: a
  // run that reports convergence returns the fit, with a finite sum of
  // squares; one whose data are not numbers never does.
  const regress_test::Eiv d;
  const Vec exact = d.reference();
  struct Case {
    const char* what;
    long good;    // model calls that succeed
    int bad_zm;   // index into ZM set to NaN, or -1
    int bad_r;    // index into R set to NaN, or -1
  };
  std::vector<Case> cases = {{"NaN measured value", 1000, 7, -1},
                             {"NaN standard deviation", 1000, -1, 3}};
  for (long good = 0; good <= 12; ++good) cases.push_back({"model fails", good, -1, -1});
  for (const IWORD kdem : {0, 2})
    for (const IWORD ndrv : {0, 1})
      for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " after " + std::to_string(c.good) + " calls, KDEM " +
                     std::to_string(kdem) + ", NDRV " + std::to_string(ndrv));
        Engine e = d.engine();
        e.kdem = kdem;
        e.ndrv = ndrv;
        e.tol = 1e-9;
        e.iter = 40;
        if (c.bad_zm >= 0) e.zm[c.bad_zm] = std::nan("");
        if (c.bad_r >= 0) e.r[c.bad_r] = std::nan("");
        g_calls = 0;
        g_good = c.good;
        orvika_test::UnitCapture cap(6);  // unconverged ends print their report
        e.luebrn(reinterpret_cast<ORVK_MODELFN>(failing16));
        if (c.bad_zm >= 0 || c.bad_r >= 0) EXPECT_NE(e.istat, 0);
        if (e.istat != 0) continue;
        EXPECT_TRUE(std::isfinite(e.ssq)) << e.ssq;
        EXPECT_NEAR(e.p[0], exact[0], 1e-5);
        EXPECT_NEAR(e.p[1], exact[1], 1e-6);
      }
}

TEST_F(LuebrnTest, RunProtocolWithTheHost) {
  const regress_test::Eiv d;
  Engine e(2, 2, 9, 1);
  d.load(e);
  ORVK_CLUEBR.STATUS = 77;
  ORVK_PPSCLR.EVALKIND = 77;
  e.luebrn(kLine16);
  ASSERT_EQ(e.istat, 0);
  IWORD ent = 0, it = 0, ext = 0;
  orvk_host_pp_counts(&ent, &it, &ext);
  EXPECT_EQ(ent, 1);
  EXPECT_EQ(ext, 1);
  EXPECT_EQ(it, e.iter);
  EXPECT_EQ(ORVK_CLUEBR.STATUS, 0);
  EXPECT_EQ(ORVK_PPSCLR.EVALKIND, 0);
  EXPECT_GT(e.ncall, e.iter);
}

TEST_F(LuebrnTest, IterationLimitZeroStillReports) {
  const regress_test::Eiv d;
  Engine e(2, 2, 9, 1);
  d.load(e);
  e.iter = 0;
  orvika_test::UnitCapture cap(6);
  e.luebrn(kLine16);
  EXPECT_EQ(e.istat, 1);
  EXPECT_EQ(e.iter, 0);
  EXPECT_EQ(e.ncall, 1);
  bool found = false;
  for (const std::string& l : cap.lines())
    found = found || l == "     *** PXR DID NOT CONVERGE IN    0 ITERATIONS ***";
  EXPECT_TRUE(found) << cap.text();
}

TEST_F(LuebrnTest, TimeLimitStopsWithAPartialReport) {
  const regress_test::Eiv d;
  Engine e(2, 2, 9, 1);
  d.load(e);
  e.kdem = -1;
  e.tol = 1e-14;
  VLK_RGLOB[VLK_W_TLIMIT - 1] = 2.5;  // one second per reading: stops in iteration 2
  orvika_test::UnitCapture cap(6);
  e.luebrn(kLine16);
  EXPECT_EQ(e.istat, 10);
  EXPECT_EQ(e.iter, 2);
  const std::string text = cap.text();
  EXPECT_NE(text.find(" *  PXR TERMINATED BECAUSE MAX TIME OF     2.50 SECONDS APPROACHED  *"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("FINAL SUM OF SQUARES IS"), std::string::npos);
}

TEST_F(LuebrnTest, BadCountsAreRefusedBeforeAnyWork) {
  struct Case {
    const char* what;
    IWORD nmeas0, ncons0, ndrv;
    double ssnd;
  } cases[] = {{"NMEAS above NMMAX", 3, 1, 0, 1e-6},
               {"negative NCONS", 2, -1, 0, 1e-6},
               {"zero difference step", 2, 1, 1, 0.0},
               {"NaN difference step", 2, 1, 2, std::nan("")}};
  for (const Case& c : cases) {
    Engine e(2, 2, 3, 1);
    e.nmeas[0] = c.nmeas0;
    e.ncons[0] = c.ncons0;
    e.ndrv = c.ndrv;
    e.ssnd = c.ssnd;
    e.luebrn(kLine16);
    EXPECT_EQ(e.istat, -1) << c.what;
    EXPECT_EQ(e.ncall, 0) << c.what;
    IWORD ent = 0;
    orvk_host_pp_counts(&ent, nullptr, nullptr);
    EXPECT_EQ(ent, 0) << c.what;
  }
}

}  // namespace
