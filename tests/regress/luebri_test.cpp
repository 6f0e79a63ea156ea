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

using regress_test::Eiv;
auto kLine16 = reinterpret_cast<ORVK_MODELFN>(regress_test::line16);

class LuebriTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    orvk_host_set_timer_step(1.0);
  }
};

TEST_F(LuebriTest, ErrorsInVariablesLine) {
  const Eiv d;
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
  const Vec exact = d.reference(), ols = d.ols();
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
  const Eiv d;
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
  const Eiv d;
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
  const Eiv d;
  Engine e = d.engine();
  e.ncons[3] = 2;  // above NCMAX
  e.luebri(kLine16);
  EXPECT_EQ(e.istat, -1);
  EXPECT_EQ(e.ncall, 0);
}

}  // namespace
