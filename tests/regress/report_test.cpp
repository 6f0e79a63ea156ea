// Exact report text of both engines through ORVK_BNLLSQ at print level 1,
// with the host timer advancing one second per reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "regress/engine_test_util.hpp"
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

// The input echo of ORVK_LUEBRN (print level 3, no iteration) for NDAT
// points x = 1.5, y = 2.5 with standard deviations 0.2 and 0.1: the lines
// from the ZM heading to the end of the R block.  The row format
// I5, 5X, 1X, 8G13.5, /, (11X, 8G13.5) ends its first line with a new
// record, which stays empty when exactly eight values fill that line.
TEST(ReportEcho, DefaultEngineMeasurementRows) {
  struct Case {
    IWORD ndat;
    Lines zm1, zm2, r1, r2;  // the lines of each row
  };
  const std::string v15 = "   1.5000    ", v25 = "   2.5000    ", v02 = "  0.20000    ",
                    v01 = "  0.10000    ";
  auto row = [](IWORD m, const std::string& v, int n) {
    std::string first = "    " + std::to_string(m) + "      ";
    for (int k = 0; k < std::min(n, 8); ++k) first += v;
    Lines l = {first};
    if (n == 8) l.push_back("");
    if (n > 8) {
      std::string second(11, ' ');
      for (int k = 8; k < n; ++k) second += v;
      l.push_back(second);
    }
    return l;
  };
  for (const IWORD nd : {7, 8, 9}) {
    SCOPED_TRACE(nd);
    orvk_host_reset();
    orvk_host_set_timer_step(1.0);
    regress_test::Engine e(2, 2, nd, 1);
    for (IWORD i = 0; i < nd; ++i) {
      e.zm[2 * i] = 1.5;
      e.zm[2 * i + 1] = 2.5;
      e.r[2 * i] = 0.2;
      e.r[2 * i + 1] = 0.1;
    }
    e.z = e.zm;
    e.iprint = 3;
    e.iter = 0;
    orvika_test::UnitCapture cap(6);
    e.luebrn(reinterpret_cast<ORVK_MODELFN>(regress_test::line16));
    const Lines& got = cap.lines();
    const auto zm = std::find(got.begin(), got.end(),
                              "  MEAS ----------- ZM(MEAS,DATA) - MEASURED -----------");
    ASSERT_NE(zm, got.end());
    Lines expect = {"  MEAS ----------- ZM(MEAS,DATA) - MEASURED -----------"};
    for (const Lines& l : {row(1, v15, nd), row(2, v25, nd)}) expect.insert(expect.end(), l.begin(), l.end());
    expect.insert(expect.end(), {"", "      PARAMETER  LOWER BOUND  UPPER BOUND",
                                 "     0.0000     -0.10000E+11  0.10000E+11",
                                 "     0.0000     -0.10000E+11  0.10000E+11", "",
                                 "  MEAS ----------- R(MEAS,DATA) - STD DEVIATION -------"});
    for (const Lines& l : {row(1, v02, nd), row(2, v01, nd)}) expect.insert(expect.end(), l.begin(), l.end());
    ASSERT_GE(got.end() - zm, static_cast<std::ptrdiff_t>(expect.size()));
    EXPECT_EQ(Lines(zm, zm + expect.size()), expect);
  }
}

// The count lines of the input echo of both engines without data points
// (print level 3, no iteration): the format "...MAXIMUM ", I4, /, (5X, 30I4)
// starts a new record for the counts, which stays empty when NDAT = 0.
TEST(ReportEcho, CountLinesWithoutDataPoints) {
  struct Case {
    IWORD eng;
    Lines expect;  // from the line after the TOL/NPAR numbers on
  };
  const Case cases[] = {
      {0,
       {"", "    NUMBER OF MEASURED VARIABLES PER DATA POINT MAXIMUM    2", "",
        "", "    NUMBER OF CONSTRAINTS PER DATA POINT, MAXIMUM    1", "", "",
        "  MEAS ----------- ZM(MEAS,DATA) - MEASURED -----------"}},
      {1,
       {"", "     NUMBER OF MEASURED VARIABLES PER DATA POINT MAXIMUM    2", "",
        "", "     NUMBER OF CONSTRAINTS PER DATA POINT, MAXIMUM,   1", "", "", "     Z"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.eng);
    orvk_host_reset();
    orvk_host_set_timer_step(1.0);
    regress_test::Engine e(2, 2, 0, 1);
    e.iprint = 3;
    e.iter = 0;
    orvika_test::UnitCapture cap(6);
    if (c.eng == 0)
      e.luebrn(reinterpret_cast<ORVK_MODELFN>(regress_test::line16));
    else
      e.luebri(reinterpret_cast<ORVK_MODELFN>(regress_test::line16));
    const Lines& got = cap.lines();
    // Line 4 of the echo holds the numbers; LUEBRI adds the tolerance block.
    const size_t from = c.eng == 0 ? 4 : 7;
    ASSERT_GE(got.size(), from + c.expect.size());
    EXPECT_EQ(Lines(got.begin() + from, got.begin() + from + c.expect.size()), c.expect);
  }
}

}  // namespace
