// Printed output of ORVK_NSOLVE and ORVK_NSOLVE2: iteration tables, step
// lists, strategy and search lines, failure messages and the terminal history.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "nsolve_test_util.hpp"
#include "orvika/host_stub.h"
#include "support/capture.hpp"

namespace {

using nsolve_test::Caller;
using Lines = std::vector<std::string>;

class NsolvePrint : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    nsolve_test::init_sparse_options();
  }
};

// x1 (x2 + 1) = 0, x1 + x2 = 2 from (1, 1): the first Newton step crosses the
// lower bound of x1, so the dogleg (NSOLVE) or the relaxation search
// (NSOLVE2) takes the step; two iterations allowed.
Caller two_iterations(const nsolve_test::Problem& p, bool v2, IWORD iprint) {
  Caller c(p, 1, v2);
  c.iprint = iprint;
  c.maxit = 2;
  c.maxbnd = 5;
  c.lsrch = v2 ? 1 : 0;
  c.nlead = v2 ? 0 : 1;
  return c;
}

Lines join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// What both solvers print alike at level 5 on the problem of two_iterations:
// the head of iteration 0 up to its RMS line, its step lists, and the end.
const Lines kHead0 = {
    "",
    "  NSOLVE: **** ITERATION HISTORY ****",
    "",
    "  NSOLVE: ITERATION NUMBER =     0",
    "",
    "  NSOLVE: Largest scaled residuals",
    "      1  2.0000000E+00",
    "",
};
const Lines kSteps0 = {
    "",
    "  NSOLVE: Largest scaled Newton step",
    "      1 -2.0000000E+00     2  2.0000000E+00",
    "",
    "  NSOLVE: Largest scaled Newton bound violation",
    "      1 -1.0000000E+00",
    "",
};
const Lines kFail2 = {
    "",
    "  FAILURE IN NSOLVE:- ERROR FLAG =  -1",
    "",
    "  FAILURE TO CONVERGE IN    2 ITERATIONS.",
};

struct Level5Case {
  const char* name;
  bool v2;
  Lines want;
};

// Iteration tables at level 5: NSOLVE lists X0 first and takes dogleg steps;
// NSOLVE2 takes relaxation searches and prints its RMS values to six digits.
const Level5Case kLevel5[] = {
    {"IterationTable", false,
     join({{"", "  NSOLVE: X0", "      1  1.0000000E+00     2  1.0000000E+00"},
           kHead0,
           {"  NSOLVE: RMSERR =    1.4142    "},
           kSteps0,
           {
               "  NSOLVE: *** DOGLEG STRATEGY USED ***",
               "          STEP NUMBER =     1   RADIUS =   0.14142    ",
               "",
               "  NSOLVE: ITERATION NUMBER =     1",
               "",
               "  NSOLVE: Largest scaled residuals",
               "      1  1.6917722E+00     2 -1.8973666E-01",
               "",
               "  NSOLVE: RMSERR =    1.2038    ",
               "",
               "  NSOLVE: Largest scaled Newton step",
               "      2  1.9367544E+00     1 -1.7470178E+00",
               "",
               "  NSOLVE: Largest scaled Newton bound violation",
               "      1 -8.7350889E-01",
               "",
               "  NSOLVE: *** DOGLEG STRATEGY USED ***",
               "          STEP NUMBER =     1   RADIUS =   0.28284    ",
               "",
               "  NSOLVE: ITERATION NUMBER =     2",
               "",
               "  NSOLVE: Largest scaled residuals",
               "      1  1.1195109E+00     2 -5.5968646E-01",
               "",
               "  NSOLVE: RMSERR =   0.88503    ",
           },
           kFail2})},
    {"RelaxationSearch", true,
     join({kHead0,
           {"  NSOLVE: RMSERR =   1.41421    "},
           kSteps0,
           {
               "  NSOLVE: *** ONE-DIMENSIONAL SEARCH PERFORMED ***",
               "          NSOLVE: SEARCH NO.    1   RHO=    1.0000       RMSERR=  0.779912    ",
               "",
               "  NSOLVE: ITERATION NUMBER =     1",
               "",
               "  NSOLVE: Largest scaled residuals",
               "      2  1.0684438E+00     1  2.7377506E-01",
               "",
               "  NSOLVE: RMSERR =  0.779912    ",
               "",
               "  NSOLVE: Largest scaled Newton step",
               "      2 -1.0174088E+00     1 -5.1034942E-02",
               "",
               "  NSOLVE: *** ONE-DIMENSIONAL SEARCH PERFORMED ***",
               "          NSOLVE: SEARCH NO.    1   RHO=    1.0000       RMSERR=  3.671539E-02",
               "",
               "  NSOLVE: ITERATION NUMBER =     2",
               "",
               "  NSOLVE: Largest scaled residuals",
               "      1  5.1923401E-02",
               "",
               "  NSOLVE: RMSERR =  3.671539E-02",
           },
           kFail2})},
};

class NsolvePrintLevel5 : public NsolvePrint, public ::testing::WithParamInterface<Level5Case> {};

TEST_P(NsolvePrintLevel5, Table) {
  const Level5Case& tc = GetParam();
  const nsolve_test::Problem p = nsolve_test::active_bound();
  orvika_test::UnitCapture cap(6);
  Caller c = two_iterations(p, tc.v2, 5);
  EXPECT_EQ(c.solve(), -1);
  EXPECT_EQ(cap.lines(), tc.want);
}

INSTANTIATE_TEST_SUITE_P(Solvers, NsolvePrintLevel5, ::testing::ValuesIn(kLevel5),
                         [](const ::testing::TestParamInfo<Level5Case>& i) {
                           return std::string(i.param.name);
                         });

TEST_F(NsolvePrint, Level4PrintsNothingAndTerminalHistory) {
  const nsolve_test::Problem p = nsolve_test::active_bound();
  orvika_test::UnitCapture cap(6);
  Caller c = two_iterations(p, false, 4);
  c.iterm = 1;
  EXPECT_EQ(c.solve(), -1);
  EXPECT_TRUE(cap.lines().empty());
  ASSERT_EQ(orvk_host_terminal_pages(), 4u);
  const Lines head = {"                     Residual", "                   Convergence",
                      "      Iteration      Function", "      ---------    -----------"};
  ASSERT_EQ(orvk_host_terminal_lines(0), 4u);
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(orvk_host_terminal_line(0, k), head[k]);
  EXPECT_STREQ(orvk_host_terminal_line(1, 0), "           0       0.14142D+01");
  EXPECT_STREQ(orvk_host_terminal_line(2, 0), "           1       0.12038D+01");
  EXPECT_STREQ(orvk_host_terminal_line(3, 0), "           2       0.88503D+00");
}

TEST_F(NsolvePrint, VectorsAtLevel6AndScaleFactorsOnce) {
  const nsolve_test::Problem p = nsolve_test::active_bound();
  orvika_test::UnitCapture cap(6);
  Caller c = two_iterations(p, false, 6);
  c.irscl = 3;
  c.rscale = {2.0, 1.0};
  c.maxit = 1;
  c.solve();
  const Lines& l = cap.lines();
  auto count = [&](const std::string& s) {
    int k = 0;
    for (const auto& x : l) k += x == s;
    return k;
  };
  EXPECT_EQ(count("  NSOLVE: XUB"), 1);
  EXPECT_EQ(count("  NSOLVE: DXUB"), 1);
  EXPECT_EQ(count("  NSOLVE: X"), 2);
  EXPECT_EQ(count("  NSOLVE: RSCALE"), 1);  // only at the first block
  EXPECT_EQ(count("  NSOLVE: FS"), 2);
  EXPECT_EQ(count("  NSOLVE: CSCALE"), 0);  // no column scaling
  EXPECT_EQ(count("  NSOLVE: *** VARIABLES ON THE BOUNDARY ***"), 1);
  EXPECT_EQ(count("        1"), 1);  // 2X, 10I7 with the bound list
  EXPECT_EQ(count("      1  2.0000000E+00     2  1.0000000E+00"), 1);  // RSCALE pairs
}

TEST_F(NsolvePrint, PairListsWrapAfterSixPairs) {
  const nsolve_test::Problem p = nsolve_test::broyden_tridiagonal(8);
  orvika_test::UnitCapture cap(6);
  Caller c(p, 2);
  c.iprint = 5;
  c.call();
  const Lines want = {
      "",
      "  NSOLVE: X0",
      "      1 -1.0000000E+00     2 -1.0000000E+00     3 -1.0000000E+00     4 -1.0000000E+00"
      "     5 -1.0000000E+00     6 -1.0000000E+00",
      "      7 -1.0000000E+00     8 -1.0000000E+00",
      "",
      "  NSOLVE: **** ITERATION HISTORY ****"};
  EXPECT_EQ(cap.lines(), want);
}

}  // namespace
