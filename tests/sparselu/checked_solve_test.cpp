// The checked sparse solve of the library's own clients: its decisions
// (fresh ordering, accuracy, tolerance raise) and the order in which it
// asks a client for each step.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "orvika/sparselu.h"
#include "sparselu/checked_solve.hpp"

namespace orvika {
namespace {

TEST(CheckedSolve, FreshOrderingOnWarningsAndRefusedOrderingOnly) {
  struct Case {
    IWORD code;
    bool fresh;
  };
  const Case cases[] = {{ORVK_SP_SUCCESS, false},        {3, true},
                        {ORVK_SP_REPAIRED, true},        {ORVK_SP_ORDERING_REFUSED, true},
                        {ORVK_SP_FACTORS_UNUSABLE, false}, {ORVK_SP_WORK_BELOW_MIN, false},
                        {ORVK_SP_NUM_SINGULAR, false},   {ORVK_SP_DATA_FIRST, false}};
  for (const Case& k : cases) EXPECT_EQ(sparse_fresh_ordering_helps(k.code), k.fresh) << k.code;
}

TEST(CheckedSolve, RatioLimitAndNotANumber) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double ratio;
    bool nan_inaccurate, inaccurate;
  };
  const Case cases[] = {{0.01, true, false},  {0.01, false, false}, {0.0100001, true, true},
                        {0.0100001, false, true}, {0.0, true, false}, {nan, true, true},
                        {nan, false, false}};
  for (const Case& k : cases)
    EXPECT_EQ(sparse_ratio_inaccurate(k.ratio, k.nan_inaccurate), k.inaccurate)
        << k.ratio << " " << k.nan_inaccurate;
}

TEST(CheckedSolve, PivotToleranceRaise) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double p1, p2;        // before
    double r1, r2;        // after
    bool rose;
  };
  const Case cases[] = {
      {1e-4, 1e-4, 1e-3, 0.1, true},      // the defaults: first step
      {1.01e-4, 0.5, 1e-3, 0.5, true},    // edge of the first step; PIVTL2 never lowered
      {1e-3, 0.1, 0.01, 0.1, true},       // second step
      {1.01e-3, 0.1, 0.01, 0.1, true},    // edge of the second step
      {9e-3, 0.1, 9e-3, 0.1, false},      // between the steps: left alone
      {0.01, 0.1, 0.01, 0.1, false},      // the top: nothing left to raise
      {0.5, 1e-4, 0.5, 1e-4, false},      // a large PIVTL1 leaves both
      {1e-4, nan, 1e-3, 0.1, true},       // an unset PIVTL2 is replaced
  };
  for (const Case& k : cases) {
    double p1 = k.p1, p2 = k.p2;
    EXPECT_EQ(sparse_raise_pivot_tolerances(p1, p2), k.rose) << k.p1 << " " << k.p2;
    EXPECT_EQ(p1, k.r1) << k.p1;
    EXPECT_EQ(p2, k.r2) << k.p2;
  }
}

// A client that plays back given codes and ratios and records each step.
struct ScriptClient {
  std::vector<IWORD> codes;
  std::vector<double> ratios;
  size_t nc = 0, nr = 0;
  std::string log;
  ORVK_SPOPT1_T tol{1e-4, 1e-4, 1.0};

  IWORD place(bool& reuse) {
    log += reuse ? "P(r)" : "P";
    return 0;
  }
  IWORD call() {
    log += "C";
    return codes.at(nc++);
  }
  void fresh() { log += "F"; }
  IWORD failed(IWORD code) {
    log += "X" + std::to_string(code);
    return 7;
  }
  IWORD residual(double& r) {
    r = ratios.at(nr++);
    log += "R";
    return 0;
  }
  void report(IWORD attempt) { log += "M" + std::to_string(attempt); }
  ORVK_SPOPT1_T& tolerances() { return tol; }
  void raised() { log += "T"; }
  IWORD accept() {
    log += "A";
    return 0;
  }
};

TEST(CheckedSolve, OrderOfSteps) {
  struct Case {
    const char* what;
    bool reuse;
    std::vector<IWORD> codes;
    std::vector<double> ratios;
    IWORD result;
    const char* log;
    double p1, p2;
  };
  const Case cases[] = {
      {"accurate at once", true, {0}, {1e-9}, 0, "P(r)CRA", 1e-4, 1e-4},
      {"kept ordering refused", true, {ORVK_SP_ORDERING_REFUSED, 0}, {1e-9}, 0, "P(r)CFPCRA", 1e-4,
       1e-4},
      {"warning on a kept ordering", true, {5, 5}, {1e-9}, 0, "P(r)CFPCRA", 1e-4, 1e-4},
      {"warning on a fresh ordering stands", false, {5}, {1e-9}, 0, "PCRA", 1e-4, 1e-4},
      {"refused without reuse fails", false, {ORVK_SP_ORDERING_REFUSED}, {}, 7, "PCX-12", 1e-4,
       1e-4},
      {"two raises, then accepted inaccurate", true, {0, 0, 0}, {0.5, 0.5, 0.5}, 0,
       "P(r)CRM1TFPCRM2TFPCRM3TA", 0.01, 0.1},
      {"singular after a raise", false, {0, ORVK_SP_NUM_SINGULAR}, {0.5}, 7, "PCRM1TFPCX-8", 1e-3,
       0.1},
  };
  for (const Case& k : cases) {
    ScriptClient c;
    c.codes = k.codes;
    c.ratios = k.ratios;
    EXPECT_EQ(checked_sparse_solve(c, k.reuse, true), k.result) << k.what;
    EXPECT_EQ(c.log, k.log) << k.what;
    EXPECT_EQ(c.tol.PIVTL1, k.p1) << k.what;
    EXPECT_EQ(c.tol.PIVTL2, k.p2) << k.what;
  }
}

}  // namespace
}  // namespace orvika
