// Exact report text of both engines through ORVK_BNLLSQ at print level 1,
// with the host timer advancing one second per reading.
#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "regress/regress_test_util.hpp"
#include "support/capture.hpp"

namespace {

using regress_test::Bnllsq;
using Lines = std::vector<std::string>;

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    orvk_host_set_timer_step(1.0);
  }
  // y = 1.04 + 0.98 x fits these points with residuals -0.06, 0.12, -0.05, -0.02, 0.01.
  Bnllsq run(IWORD ieng, IWORD iprint, orvika_test::UnitCapture& cap) {
    Bnllsq b(2, {0, 1, 2, 3, 4}, {1.1, 1.9, 3.05, 4.0, 4.95}, {0.1, 0.1, 0.1, 0.1, 0.1},
             {0.0, 0.0});
    b.ieng = ieng;
    b.iprint = iprint;
    b.iods = 2;
    cap.clear();
    b.run(regress_test::line9);
    return b;
  }
};

TEST_F(ReportTest, DefaultEngineClosingLines) {
  orvika_test::UnitCapture cap(6);
  const Bnllsq b = run(0, 1, cap);
  ASSERT_EQ(b.istat, 0);
  ASSERT_EQ(b.iter, 2);
  Lines got = cap.lines();
  ASSERT_EQ(got.size(), 11u);
  // The relative change of the last, converged step is rounding noise.
  const std::string head = "       ITER   2  SUM OF SQUARES = 0.210000E+01  RELATIVE PARAM CHANGE =";
  ASSERT_EQ(got[1].substr(0, head.size()), head);
  EXPECT_EQ(got[1].substr(head.size() + 10), " TIME =     3.00");
  got[1] = head;
  const Lines expect = {"",
                        head,
                        " ",
                        "         PARAMETERS    1.0400       0.98000     ",
                        "",
                        "",
                        "     PXR CONVERGED IN    2 ITERATIONS",
                        "",
                        "     FINAL SUM OF SQUARES IS   2.10000    ",
                        " ",
                        "     FINAL PARAMETERS    1.0400       0.98000     "};
  EXPECT_EQ(got, expect);
  ASSERT_EQ(orvk_host_terminal_pages(), 2u);
  EXPECT_EQ(std::string(orvk_host_terminal_line(1, 0)), " FINAL SSQ:   2.10000");
}

TEST_F(ReportTest, DefaultEngineIsSilentAtPrintLevelZero) {
  orvika_test::UnitCapture cap(6);
  const Bnllsq b = run(0, 0, cap);
  EXPECT_EQ(b.istat, 0);
  EXPECT_TRUE(cap.lines().empty()) << cap.text();
  EXPECT_EQ(orvk_host_terminal_pages(), 0u);
}

TEST_F(ReportTest, AlternativeEngineFinalReport) {
  orvika_test::UnitCapture cap(6);
  const Bnllsq b = run(1, 1, cap);
  ASSERT_EQ(b.istat, 0);
  EXPECT_EQ(b.ncall, 19);
  // The nine-argument report shows no statistics, but they are computed as
  // at print level 0: SIGMA^2 = SSQ / (NDAT - NPAR).
  EXPECT_NEAR(b.sigma, std::sqrt(b.ssq / 3.0), 1e-14);
  const std::string t30(29, ' ');
  const Lines expect = {
      "1",
      t30 + "*****  NONLINEAR LEAST SQUARES PROGRAM  *****",
      t30 + "*****       GAUSS-NEWTON ALGORITHM      *****",
      t30 + "*****           FINAL RESULTS           *****",
      "", "", "", "", "",
      "          NUMBER OF ITERATIONS        2",
      "          NUMBER OF CALLS TO MODEL   19",
      "", "", "", "", "",
      "          PARAMETER ESTIMATES",
      "",
      "               1    1.040000         2   0.9800000    ",
      "", "",
      "          FINAL FUNCTION VALUES",
      "",
      "              1    1      -0.6000000E-01         2    1       0.1200000             3    1"
      "      -0.5000000E-01",
      "              4    1      -0.2000000E-01         5    1       0.1000000E-01"};
  EXPECT_EQ(cap.lines(), expect);
}

}  // namespace
