// ORVK_LUEBRI in the sixteen-argument form: error-in-variables lines by
// Britt-Luecke and Deming iterations, statistics and their report, the time
// limit and bad counts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "frame/format.hpp"
#include "orvika/host_stub.h"
#include "regress/engine_test_util.hpp"
#include "regress/regress_test_util.hpp"
#include "support/capture.hpp"

namespace {

using regress_test::Engine;
using regress_test::Vec;

// F = y - p1 - p2 x with z = (x, y).
void line16(const double* z, const double*, void*, const double* p, const IWORD* ndat,
            const IWORD* nmmax, const IWORD*, void*, const IWORD*, const IWORD* ncmax,
            const IWORD*, const IWORD* req, double* f, double* fz, double* fp, void*) {
  for (IWORD i = 0; i < *ndat; ++i) {
    const double x = z[i * *nmmax], y = z[1 + i * *nmmax];
    f[i * *ncmax] = y - p[0] - p[1] * x;
    if (*req == 0) {
      fz[0 + i * 2] = -p[1];
      fz[1 + i * 2] = 1;
      fp[0 + i * 2] = -1;
      fp[1 + i * 2] = -x;
    }
  }
}
auto kLine16 = reinterpret_cast<ORVK_MODELFN>(line16);

struct Data {
  Vec x, y;
  double sx = 0.2, sy = 0.1;
  Data() {
    const double ex[9] = {0.15, -0.22, 0.08, 0.31, -0.12, -0.05, 0.18, -0.27, 0.09};
    const double ey[9] = {-0.07, 0.11, 0.04, -0.13, 0.02, 0.09, -0.06, 0.05, -0.1};
    for (int i = 0; i < 9; ++i) {
      x.push_back(i + ex[i]);
      y.push_back(1.0 + 0.5 * i + ey[i]);
    }
  }
  Vec deming() const {  // closed-form errors-in-variables line
    double mx = 0, my = 0, sxx = 0, syy = 0, sxy = 0;
    for (int i = 0; i < 9; ++i) {
      mx += x[i] / 9;
      my += y[i] / 9;
    }
    for (int i = 0; i < 9; ++i) {
      sxx += (x[i] - mx) * (x[i] - mx);
      syy += (y[i] - my) * (y[i] - my);
      sxy += (x[i] - mx) * (y[i] - my);
    }
    const double d = sy * sy / (sx * sx), q = syy - d * sxx;
    const double b = (q + std::sqrt(q * q + 4 * d * sxy * sxy)) / (2 * sxy);
    return {my - b * mx, b};
  }
  Vec ols() const {
    Vec a(18);
    for (int i = 0; i < 9; ++i) {
      a[i] = 1;
      a[9 + i] = x[i];
    }
    return regress_test::lstsq(9, 2, a, y);
  }
  Engine engine() const {
    Engine e(2, 2, 9, 1);
    for (int i = 0; i < 9; ++i) {
      e.zm[2 * i] = e.z[2 * i] = x[i];
      e.zm[2 * i + 1] = e.z[2 * i + 1] = y[i];
      e.r[2 * i] = sx;
      e.r[2 * i + 1] = sy;
    }
    e.p = {0.0, 1.0};
    return e;
  }
};

class LuebriTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    orvk_host_set_timer_step(1.0);
  }
};

TEST_F(LuebriTest, ErrorsInVariablesLine) {
  const Data d;
  struct Case {
    const char* what;
    IWORD kdem, iods, ndrv;
    bool exact;
  } cases[] = {{"Britt-Luecke throughout", 0, 0, 0, true},
               {"two Deming iterations, then Britt-Luecke", 2, 1, 0, true},
               {"forward differences", 0, 0, 1, true},
               {"central differences", 0, 0, 2, true},
               {"Deming only, line search", -1, 2, 0, false},
               {"Deming only, no search", -1, 0, 0, false}};
  const Vec exact = d.deming(), ols = d.ols();
  for (const auto& c : cases) {
    Engine e = d.engine();
    e.kdem = c.kdem;
    e.iods = c.iods;
    e.ndrv = c.ndrv;
    e.ssq = 1e30;
    e.tol = 1e-12;
    e.iter = 100;
    e.luebri(kLine16);
    const Vec& ref = c.exact ? exact : ols;
    EXPECT_EQ(e.istat, 0) << c.what;
    EXPECT_NEAR(e.p[0], ref[0], 1e-5) << c.what;
    EXPECT_NEAR(e.p[1], ref[1], 1e-6) << c.what;
    // Z = ZM - DELZ up to the last step (Z is taken before the last update).
    if (c.exact)
      for (int i = 0; i < 18; ++i) EXPECT_NEAR(e.z[i], e.zm[i] - e.znew[i], 1e-6) << c.what;
  }
}

TEST_F(LuebriTest, StatisticsAndTheirReport) {
  const Data d;
  Engine e = d.engine();
  e.kdem = 0;
  e.ssq = 1e30;
  e.tol = 1e-12;
  e.iter = 100;
  e.iprint = 1;
  e.pscl = {4.0, 1.0};
  orvika_test::UnitCapture cap(6);
  e.luebri(kLine16);
  ASSERT_EQ(e.istat, 0);
  const double s2 = e.ssq / 7;
  EXPECT_NEAR(e.sigma, std::sqrt(s2), 1e-14);
  // HMAT holds the unscaled covariance (upper triangle); CPACK the same over
  // sqrt(PSCL(i) PSCL(j)).
  EXPECT_NEAR(e.cpack[0], e.hmat[0] / 4, 1e-15);
  EXPECT_NEAR(e.cpack[1], e.hmat[2] / 2, 1e-15);
  EXPECT_NEAR(e.cpack[2], e.hmat[3], 1e-15);
  EXPECT_GT(e.hmat[0], 0);
  const std::string text = cap.text();
  EXPECT_NE(text.find("*****      BRITT-LUECKE ALGORITHM       *****"), std::string::npos);
  EXPECT_NE(text.find("              K    M         MEASURED            ESTIMATED"
                      "           ADJUSTMENT"),
            std::string::npos)
      << text;
  const std::string wss =
      std::string(orvika::Rec().X(10).A("WEIGHTED SUM OF SQUARES").T(40).D(e.ssq, 15, 7).view());
  EXPECT_NE(text.find(wss), std::string::npos) << text;
  EXPECT_NE(text.find("          PARAMETER CORRELATION MATRIX"), std::string::npos);
  const double c12 = e.hmat[2] / std::sqrt(e.hmat[0] * e.hmat[3]);
  const std::string row2 =
      std::string(orvika::Rec().X(2).F(c12, 10, 7).F(1.0, 10, 7).view());
  EXPECT_NE(text.find("\n" + row2 + "\n"), std::string::npos) << row2;
}

TEST_F(LuebriTest, TimeLimitAndIterationLimit) {
  const Data d;
  {
    Engine e = d.engine();
    e.kdem = -1;
    e.iods = 0;
    e.ssq = 1e30;
    e.tol = 0;
    VLK_RGLOB[VLK_W_TLIMIT - 1] = 3.5;
    orvika_test::UnitCapture cap(6);
    e.luebri(kLine16);
    EXPECT_EQ(e.istat, 10);
    EXPECT_NE(cap.text().find("PXR TERMINATED BECAUSE MAX TIME OF     3.50"), std::string::npos);
  }
  orvk_host_reset();
  {
    Engine e = d.engine();
    e.iter = 0;
    e.iprint = 2;
    orvika_test::UnitCapture cap(6);
    e.luebri(kLine16);
    EXPECT_EQ(e.istat, 1);
    EXPECT_EQ(e.iter, 0);
    EXPECT_EQ(e.ncall, 1);  // the final call only
    EXPECT_NE(cap.text().find("0   PROBLEM DID NOT REACH SATISFACTORY CONVERGENCE AFTER    0 ITERATIONS"),
              std::string::npos);
  }
}

TEST_F(LuebriTest, BadCountsAreRefused) {
  const Data d;
  Engine e = d.engine();
  e.ncons[3] = 2;  // above NCMAX
  e.luebri(kLine16);
  EXPECT_EQ(e.istat, -1);
  EXPECT_EQ(e.ncall, 0);
}

}  // namespace
