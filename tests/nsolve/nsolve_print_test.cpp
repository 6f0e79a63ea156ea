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

// x1 + x2 = 1, 2 x1 + 2 x2 = 3 (no solution: a singular block) beside
// x_i = i - 1 for i = 3..7: the sparse solve of the first pass is inaccurate,
// which prints its residual check and, at level 10, its dumps.
nsolve_test::Problem singular_block() {
  nsolve_test::Problem p;
  p.name = "singular_block";
  p.n = 7;
  p.irn = {1, 1, 2, 2, 3, 4, 5, 6, 7};
  p.icn = {1, 2, 1, 2, 3, 4, 5, 6, 7};
  p.fun = [](const double* x, double* f) {
    f[0] = x[0] + x[1] - 1.0;
    f[1] = 2.0 * x[0] + 2.0 * x[1] - 3.0;
    for (int i = 2; i < 7; ++i) f[i] = x[i] - i;
  };
  p.jac = [](const double*, double* v) {
    const double vals[9] = {1, 1, 2, 2, 1, 1, 1, 1, 1};
    for (int k = 0; k < 9; ++k) v[k] = vals[k];
  };
  p.x0.assign(7, 0.5);
  p.box(-1e10, 1e10, 1e10);
  return p;
}

// The COUNT lines that follow the first line equal to TITLE (fewer when the
// output ends first; none when TITLE is missing).
Lines after_title(const Lines& l, const std::string& title, std::size_t count) {
  Lines out;
  for (std::size_t k = 0; k < l.size(); ++k)
    if (l[k] == title) {
      for (std::size_t m = k + 1; m < l.size() && out.size() < count; ++m) out.push_back(l[m]);
      break;
    }
  return out;
}

// Lists that run over more than one line, each in its own layout: the
// pattern sixteen to a line (level 9), the bound lists ten to a line (the
// plain list of NSOLVE, the signed list with the length ratio of NSOLVE2),
// and the dumps of an inaccurate solve five to a line (level 10).
struct ListCase {
  const char* name;
  nsolve_test::Problem (*problem)();
  bool v2;
  IWORD iprint;
  bool start_only;  // the start call alone
  const char* title;
  Lines want;
};

nsolve_test::Problem tridiagonal8() { return nsolve_test::broyden_tridiagonal(8); }
nsolve_test::Problem outside23() { return nsolve_test::outside_box(23); }

const ListCase kLists[] = {
    {"RowNumbersSixteenToALine", tridiagonal8, false, 9, true, "  NSOLVE: IRN",
     {"       1       1       2       2       2       3       3       3       4       4       4"
      "       5       5       5       6       6",
      "       6       7       7       7       8       8", ""}},
    {"ColumnNumbersSixteenToALine", tridiagonal8, false, 9, true, "  NSOLVE: ICN",
     {"       1       2       1       2       3       2       3       4       3       4       5"
      "       4       5       6       5       6",
      "       7       6       7       8       7       8", ""}},
    {"BoundListTenToALine", outside23, false, 6, false,
     "  NSOLVE: *** VARIABLES ON THE BOUNDARY ***",
     {"        1      2      3      4      5      6      7      8      9     10",
      "       11     12     13     14     15     16     17     18     19     20",
      "       21     22     23", ""}},
    {"SignedBoundListAndRatio", outside23, true, 6, false,
     "  NSOLVE: *** VARIABLES ON THE BOUNDARY (- for LB) ***",
     {"       -1     -2     -3     -4     -5     -6     -7     -8     -9    -10",
      "      -11    -12    -13    -14    -15    -16    -17    -18    -19    -20",
      "      -21    -22    -23",
      "          STEP WITH BOUND/STEP WITHOUT BOUND =  0.83333    "}},
    {"ResidualCheckAndJacobianDump", singular_block, false, 10, false,
     "      7  1.0000000E+00     8  1.0000000E+00     9  1.0000000E+00",
     {"  NSOLVE: ZNORM =   1.0000     ZRATIO =  0.11765    ",
      "          CHKT  =  0.10000E-03 PIVT   =  0.10000E-03", "", " Jacobian dump:",
      "      1      1  1.0000000000E+00", "      1      2  1.0000000000E+00",
      "      2      1  2.0000000000E+00", "      2      2  2.0000000000E+00",
      "      3      3  1.0000000000E+00", "      4      4  1.0000000000E+00",
      "      5      5  1.0000000000E+00", "      6      6  1.0000000000E+00",
      "      7      7  1.0000000000E+00", ""}},
    {"PointDumpFiveToALine", singular_block, false, 10, false, " X dump:",
     {"   5.0000000000E-01  5.0000000000E-01  5.0000000000E-01  5.0000000000E-01  5.0000000000E-01",
      "   5.0000000000E-01  5.0000000000E-01", ""}},
    {"RightHandSideDumpFiveToALine", singular_block, false, 10, false, " RHS dump:",
     {"  -0.0000000000E+00  1.0000000000E+00  1.5000000000E+00  2.5000000000E+00  3.5000000000E+00",
      "   4.5000000000E+00  5.5000000000E+00", ""}},
    {"StepDumpFiveToALine", singular_block, false, 10, false, " DX dump:",
     {"   0.0000000000E+00 -0.0000000000E+00  1.5000000000E+00  2.5000000000E+00  3.5000000000E+00",
      "   4.5000000000E+00  5.5000000000E+00",
      "  NSOLVE: ZNORM =   1.0000     ZRATIO =  0.11765    ",
      "          CHKT  =  0.10000E-02 PIVT   =  0.10000    "}},
};

class NsolvePrintLists : public NsolvePrint, public ::testing::WithParamInterface<ListCase> {};

TEST_P(NsolvePrintLists, Layout) {
  const ListCase& tc = GetParam();
  const nsolve_test::Problem p = tc.problem();
  orvika_test::UnitCapture cap(6);
  Caller c(p, 1, tc.v2);
  c.iprint = tc.iprint;
  c.maxit = 1;
  c.maxbnd = 5;
  c.lsrch = 0;
  if (tc.start_only)
    c.call();
  else
    c.solve();
  EXPECT_EQ(after_title(cap.lines(), tc.title, tc.want.size()), tc.want);
}

INSTANTIATE_TEST_SUITE_P(Layouts, NsolvePrintLists, ::testing::ValuesIn(kLists),
                         [](const ::testing::TestParamInfo<ListCase>& i) {
                           return std::string(i.param.name);
                         });

}  // namespace
