// Tests of the Wegstein accelerator ORVK_WEGSTN2 / ORVK_WEGSTN and its
// schedule ACCTST: schedule tables, the one-step answer on linear maps,
// factor limits and bounds, missing values and the exact message pages.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "accel_test_util.hpp"
#include "orvika/host_stub.h"
#include "orvika/tearconv_accel.h"
#include "support/capture.hpp"
#include "tearconv/accel.hpp"

namespace {

using accel_test::kMis;
using accel_test::kEps;

// One tear block and its saved arrays, called through ORVK_WEGSTN2.
struct Block {
  IWORD n;
  std::vector<double> x, xold, dx, dxold, q, xlow, xhigh;
  IWORD kaccel = 0, kstep = 0;
  IWORD opt[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  IWORD iopt[4] = {0, 0, 0, 1};  // NWAIT, NDIRECT, NACCEL in words 2..4
  double qbnd[2] = {0.0, -5.0};  // QMAX, QMIN

  explicit Block(IWORD nn)
      : n(nn), x(nn, 1.0), xold(nn, 0.0), dx(nn, 0.0), dxold(nn, 0.0), q(nn, 0.0),
        xlow(nn, -1e30), xhigh(nn, 1e30) {}
  void schedule(IWORD nwait, IWORD ndirect, IWORD naccel) {
    iopt[1] = nwait;
    iopt[2] = ndirect;
    iopt[3] = naccel;
  }
  void call(IWORD iter) {
    ORVK_WEGSTN2(x.data(), xold.data(), &n, dx.data(), dxold.data(), &kaccel, &kstep, opt,
                 nullptr, &iter, q.data(), qbnd, nullptr, iopt, nullptr, xlow.data(),
                 xhigh.data());
  }
};

class Wegstein : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
  void TearDown() override { EXPECT_EQ(orvk_host_pool_outstanding(), 0); }

  static std::vector<std::string> message(size_t k) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < orvk_host_message_lines(k); ++i)
      lines.emplace_back(orvk_host_message_line(k, i));
    return lines;
  }
};

const std::vector<std::string> kHeader = {
    "      THE VALUES FOR SOME VARIABLES ARE MISSING.",
    "      THIS MAY BE CAUSED BY A ZERO-FLOW STREAM.",
    "      THE PREVIOUS VALUES OF THE VARIABLES WILL BE USED.",
    "      THE MISSING VARIABLES ARE:"};

std::vector<std::string> page(std::vector<std::string> list_lines) {
  std::vector<std::string> p = kHeader;
  p.insert(p.end(), list_lines.begin(), list_lines.end());
  return p;
}

// ---- schedule ---------------------------------------------------------------

struct ScheduleCase {
  const char* what;
  IWORD nwait, ndirect, naccel, opt6;
  const char* kinds;  // iterations 1, 2, ...: A accelerates, S substitutes
};

TEST_F(Wegstein, ScheduleTable) {
  const ScheduleCase cases[] = {
      {"wait 2, cycle of 2 accelerated and 1 direct", 2, 1, 2, 0, "SSAASAASAA"},
      {"NACCEL 0 still accelerates the first of each cycle", 0, 3, 0, 0, "ASSASSASSA"},
      {"accelerate every iteration after one wait", 1, 0, 1, 0, "SAAAAAAAAA"},
      {"wait switch 2 cancels the wait up to NWAIT", 2, 1, 1, 2, "ASASASASAS"},
      {"wait switch other than 2 keeps the wait", 2, 1, 1, 1, "SSASASASAS"},
      {"empty cycle substitutes", 0, 0, 0, 0, "SSSSSSSSSS"},
      {"empty cycle substitutes after a wait", 3, 0, 0, 0, "SSSSSSSSSS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Block b(2);
    b.schedule(c.nwait, c.ndirect, c.naccel);
    b.opt[5] = c.opt6;
    b.qbnd[0] = 0.5;  // every accelerated step moves by half of DX
    b.qbnd[1] = 0.5;
    b.q = {0.5, 0.5};
    for (IWORD it = 1; it <= 10; ++it) {
      b.x = {4.0, 8.0};
      b.xold = {2.0, 2.0};
      b.dx = {2.0, -2.0};
      b.dxold = {1.0, 1.0};
      b.kstep = 0;
      b.call(it);
      const bool accel = c.kinds[it - 1] == 'A';
      EXPECT_EQ(b.kstep, accel ? 2 : 0) << "iteration " << it;
      EXPECT_EQ(b.x[0], accel ? 5.0 : 6.0) << "iteration " << it;
      EXPECT_EQ(b.x[1], accel ? 7.0 : 6.0) << "iteration " << it;
      EXPECT_EQ(b.xold[0], 4.0);
      EXPECT_EQ(b.dxold[1], -2.0);

      IWORD nw = (c.opt6 == 2 && it <= c.nwait) ? 0 : c.nwait;
      IWORD iout = -7;
      orvika::ACCTST(it, nw, c.ndirect, iout, c.naccel);
      EXPECT_EQ(iout == 0, accel) << "iteration " << it;
    }
  }
}

// Extreme iteration numbers and schedule words: the schedule is decided
// without overflow; a remainder beyond the IWORD range still substitutes.
TEST_F(Wegstein, ScheduleAtTheEndsOfTheIntegerRange) {
  constexpr IWORD kMax = std::numeric_limits<IWORD>::max();
  constexpr IWORD kMin = std::numeric_limits<IWORD>::min();
  struct Case {
    const char* what;
    IWORD iter, nw, ndirect, naccel;
    bool accel;
  } cases[] = {
      {"lowest ITER within the wait", kMin, 5, 1, 1, false},
      {"highest ITER, negative wait: r = (2^63 + 3) mod 2", kMax, -5, 1, 1, false},
      {"highest ITER, negative wait: r = (2^63 + 2) mod 2", kMax, -4, 1, 1, true},
      {"cycle 2^64 - 2: r = 4 < NACCEL", 5, 0, kMax, kMax, true},
      {"cycle 2^64 - 2: r = 2^64 - 3 beyond IWORD", kMax, -kMax, kMax, kMax, false},
      {"cycle 1 - 2^63: r = 4", 5, 0, kMin, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    IWORD iout = -7;
    orvika::ACCTST(c.iter, c.nw, c.ndirect, iout, c.naccel);
    EXPECT_EQ(iout == 0, c.accel);
    Block b(1);
    b.schedule(c.nw, c.ndirect, c.naccel);
    b.x = {4.0};
    b.xold = {2.0};
    b.dx = {2.0};
    b.dxold = {1.0};
    b.qbnd[0] = 0.5;
    b.call(c.iter);
    EXPECT_EQ(b.kstep, c.accel ? 2 : 0);
    EXPECT_EQ(b.x[0], c.accel ? 5.0 : 6.0);  // slope 1.5: factor 3, capped at 0.5
  }
}

TEST_F(Wegstein, StatusWordsFollowTheWait) {
  Block b(1);
  b.schedule(2, 0, 1);
  b.opt[5] = 2;  // iterations 1 and 2 without wait
  b.call(1);
  EXPECT_EQ(b.kaccel, 1);
  EXPECT_EQ(b.kstep, 2);

  Block c(1);
  c.schedule(0, 0, 1);
  c.kaccel = 5;
  c.call(1);  // ITER 1 > NW 0
  EXPECT_EQ(c.kaccel, 1);

  // N = 0: nothing to update, but an accelerated call still reports.
  Block e(0);
  e.schedule(0, 1, 1);
  e.call(3);
  EXPECT_EQ(e.kaccel, 1);
  EXPECT_EQ(e.kstep, 2);
  e.kaccel = e.kstep = 0;
  e.call(2);  // substitution
  EXPECT_EQ(e.kaccel, 0);
  EXPECT_EQ(e.kstep, 0);
}

// ---- known answers ------------------------------------------------------------

// G(x) = xs + s*(x - xs) per variable: one Wegstein step from any two
// points reaches xs, with the factor s/(s - 1).
TEST_F(Wegstein, LinearMapReachesFixedPointInOneStep) {
  const std::vector<double> slope = {0.5, -0.8, 0.95, 2.0, -3.0};
  const std::vector<double> fixed = {10.0, -4.0, 250.0, 0.5, 1e-3};
  const IWORD n = 5;
  Block b(n);
  b.schedule(1, 0, 1);
  b.qbnd[0] = 10.0;
  b.qbnd[1] = -30.0;
  b.x = {1.0, 2.0, 3.0, 4.0, 5.0};
  auto g = [&](IWORD j, double xv) { return fixed[j] + slope[j] * (xv - fixed[j]); };
  for (IWORD it = 1; it <= 2; ++it) {
    for (IWORD j = 0; j < n; ++j) b.dx[j] = g(j, b.x[j]) - b.x[j];
    b.call(it);
  }
  for (IWORD j = 0; j < n; ++j) {
    SCOPED_TRACE(j);
    EXPECT_NEAR(b.q[j], slope[j] / (slope[j] - 1.0), 1e3 * kEps * std::fabs(b.q[j]));
    EXPECT_NEAR(b.x[j], fixed[j], 1e3 * kEps * (std::fabs(fixed[j]) + 5.0));
  }
  EXPECT_EQ(b.kaccel, 1);
  EXPECT_EQ(b.kstep, 2);
}

// The 26-argument entry passes its arguments through unchanged.
TEST_F(Wegstein, TwentySixArgumentEntryForwards) {
  Block a(3), b(3);
  for (Block* p : {&a, &b}) {
    p->schedule(0, 1, 1);
    p->qbnd[0] = 0.0;
    p->qbnd[1] = -2.0;
    p->x = {1.0, 5.0, 9.0};
    p->xold = {0.5, 4.0, 10.0};
    p->dx = {0.25, 0.5, -0.5};
    p->dxold = {0.5, 1.0, -1.5};
    p->xhigh = {1e30, 5.2, 1e30};
    p->opt[0] = 8;
  }
  orvika_test::UnitCapture cap(6);
  a.call(3);
  const std::vector<std::string> printed_a = cap.lines();
  cap.clear();
  IWORD iter = 3;
  int dummy = 0;
  ORVK_WEGSTN(b.x.data(), b.xold.data(), &b.n, b.dx.data(), b.dxold.data(), &dummy, &dummy,
              &b.kaccel, &b.kstep, b.opt, &dummy, &iter, b.q.data(), &dummy, &dummy, &dummy,
              &dummy, &dummy, &dummy, &dummy, b.qbnd, &dummy, b.iopt, &dummy, b.xlow.data(),
              b.xhigh.data());
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.xold, b.xold);
  EXPECT_EQ(a.dxold, b.dxold);
  EXPECT_EQ(a.q, b.q);
  EXPECT_EQ(a.kaccel, b.kaccel);
  EXPECT_EQ(a.kstep, b.kstep);
  EXPECT_EQ(printed_a, cap.lines());
  EXPECT_EQ(printed_a.size(), 3u);
}

// ---- factors and bounds ---------------------------------------------------------

struct FactorCase {
  const char* what;
  double x, xold, dx, dxold, qmax, qmin;
  double q;  // expected factor
};

TEST_F(Wegstein, FactorTable) {
  const FactorCase cases[] = {
      // slope s = (g - gold)/(x - xold); q = s/(s - 1)
      {"slope 0.5", 2.0, 1.0, 1.0, 1.5, 0.0, -5.0, -1.0},
      {"slope 0.8 within bounds", 2.0, 1.0, 0.5, 0.7, 0.0, -5.0, -4.0},
      {"slope 0.9 clipped at QMIN", 2.0, 1.0, 0.5, 0.6, 0.0, -5.0, -5.0},
      {"negative slope clipped at QMAX", 2.0, 1.0, -1.0, 1.0, 0.1, -5.0, 0.1},
      {"no change of X: 0.9, then bounded", 3.0, 3.0, 1.0, 2.0, 0.0, -5.0, 0.0},
      {"no change of X with room: 0.9", 3.0, 3.0, 1.0, 2.0, 1.0, -5.0, 0.9},
      {"slope 1: 0.9", 2.0, 1.0, 1.0, 1.0, 1.0, -5.0, 0.9},
      {"QMIN above QMAX gives QMAX", 2.0, 1.0, 1.0, 1.5, -2.0, 3.0, -2.0},
      {"missing X: g = DX", kMis, 1.0, 1.5, 0.0, 5.0, -5.0, 0.0},
      // A slope that overflows (vertical secant) has the factor 1, the limit of s/(s - 1).
      {"slope overflows: 1, then bounded", 1e-10, 0.0, 1e300, 0.0, 0.5, -5.0, 0.5},
      {"slope overflows with room: 1", 1e-10, 0.0, 1e300, 0.0, 2.0, -5.0, 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Block b(1);
    b.schedule(0, 0, 1);
    b.qbnd[0] = c.qmax;
    b.qbnd[1] = c.qmin;
    b.x = {c.x};
    b.xold = {c.xold};
    b.dx = {c.dx};
    b.dxold = {c.dxold};
    b.call(2);
    EXPECT_NEAR(b.q[0], c.q, 1e-12);
  }
}

// A host that sets RTINY to 0: an unchanged X or a unit slope still gives
// the factor 0.9, never 0/0.
TEST_F(Wegstein, ZeroTinyThresholdNeverDividesByZero) {
  VLK_RGLOB[VLK_W_RTINY - 1] = 0.0;
  Block b(2);
  b.schedule(0, 0, 1);
  b.qbnd[0] = 1.0;
  b.x = {3.0, 2.0};
  b.xold = {3.0, 1.0};
  b.dx = {1.0, 1.0};
  b.dxold = {2.0, 1.0};  // variable 2: slope exactly 1
  b.call(2);
  EXPECT_EQ(b.q, (std::vector<double>{0.9, 0.9}));
  EXPECT_TRUE(std::isfinite(b.x[0]) && std::isfinite(b.x[1]));
}

TEST_F(Wegstein, FirstStepWithoutWaitUsesCallersFactors) {
  Block b(2);
  b.schedule(0, 0, 1);
  b.qbnd[0] = 0.0;
  b.qbnd[1] = -5.0;
  b.q = {0.5, -1.0};  // outside nothing, but never recomputed on this call
  b.x = {4.0, 4.0};
  b.xold = {4.0, 4.0};  // a factor computed here would be 0.9 -> 0
  b.dx = {2.0, 2.0};
  b.call(1);
  EXPECT_EQ(b.q[0], 0.5);
  EXPECT_EQ(b.q[1], -1.0);
  EXPECT_EQ(b.x[0], 5.0);  // 0.5*4 + 0.5*6
  EXPECT_EQ(b.x[1], 8.0);  // -4 + 2*6
}

struct UpdateCase {
  const char* what;
  double x, xold, dx, dxold, q, xlow, xhigh;
  double x_new, xold_new, dxold_new;
};

constexpr double kBig = std::numeric_limits<double>::max();

TEST_F(Wegstein, UpdateTable) {
  const UpdateCase cases[] = {
      {"plain factor step", 4.0, 3.0, 2.0, 0.0, -1.0, -1e30, 1e30, 8.0, 4.0, 2.0},
      {"upper bound", 4.0, 3.0, 2.0, 0.0, -1.0, -1e30, 7.5, 7.5, 4.0, 2.0},
      {"below XLOW: half the old value", 4.0, 3.0, -2.0, 0.0, -1.0, 1.0, 1e30, 2.0, 4.0, -2.0},
      {"half even when still below XLOW", 4.0, 3.0, -2.0, 0.0, -1.0, 3.0, 1e30, 2.0, 4.0,
       -2.0},
      {"missing DX repaired from DXOLD", 4.0, 3.0, kMis, 2.0, -1.0, -1e30, 1e30, 8.0, 4.0, 2.0},
      {"missing X moves to DX", kMis, 3.0, 2.0, 0.0, -1.0, -1e30, 1e30, 2.0, kMis, 2.0},
      {"missing X never halved", kMis, 3.0, 2.0, 0.0, -1.0, 5.0, 1e30, 2.0, kMis, 2.0},
      {"missing X, DX and DXOLD: X stays", kMis, 3.0, kMis, kMis, -1.0, -1e30, 2e35, kMis, kMis,
       kMis},
      {"X and XOLD missing: X = DX, unbounded", kMis, kMis, 2.0, 0.0, -1.0, 5.0, 1.0, 2.0, kMis,
       2.0},
      // Q*X and (1 - Q)*(X + DX) overflow with opposite signs; the point
      // X + (1 - Q)*DX is -1e308 (a change of 12 is below its spacing).
      {"large X, factor -5", -1e308, 3.0, 2.0, 0.0, -5.0, -kBig, 1e30, -1e308, -1e308, 2.0},
      // X + DX overflows, but the factor 1 keeps X where it is.
      {"X + DX past the range, factor 1", -1e308, 3.0, -1e308, 0.0, 1.0, -kBig, 1e30, -1e308,
       -1e308, -1e308},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Block b(1);
    b.schedule(0, 0, 1);
    b.qbnd[0] = 10.0;
    b.qbnd[1] = -10.0;
    b.q = {c.q};
    b.x = {c.x};
    b.xold = {c.xold};
    b.dx = {c.dx};
    b.dxold = {c.dxold};
    b.xlow = {c.xlow};
    b.xhigh = {c.xhigh};
    b.call(1);  // ITER 1 without wait: the given factor
    EXPECT_EQ(b.x[0], c.x_new);
    EXPECT_EQ(b.xold[0], c.xold_new);
    EXPECT_EQ(b.dxold[0], c.dxold_new);
  }
}

// A pass whose change is not a number gives a next point that is not a
// number, on accelerated steps as on substitution steps; it never lands on
// the upper bound (XHIGH = 1e35 is the missing-value marker) as if the pass
// had produced that point.  The other variables move as usual.
TEST_F(Wegstein, ChangeNotANumberIsNotTakenToTheBound) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    IWORD nwait, iter;
    double xhigh;
  } cases[] = {
      {"accelerated, given factor, finite bound", 0, 1, 50.0},
      {"accelerated, given factor, bound at the missing value", 0, 1, kMis},
      {"accelerated, secant factor, finite bound", 1, 2, 50.0},
      {"substitution", 5, 2, 50.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Block b(2);
    b.schedule(c.nwait, 0, 1);
    b.qbnd[0] = 0.0;
    b.qbnd[1] = -5.0;
    b.q = {-1.0, -1.0};
    b.x = {1.0, 2.0};
    b.xold = {0.5, 1.0};
    b.dx = {nan, 0.5};
    b.dxold = {0.25, 1.0};
    b.xlow = {-100.0, -100.0};
    b.xhigh = {c.xhigh, 50.0};
    b.call(c.iter);
    EXPECT_TRUE(std::isnan(b.x[0])) << b.x[0];
    EXPECT_TRUE(std::isfinite(b.x[1]));
    EXPECT_EQ(b.xold, (std::vector<double>{1.0, 2.0}));
  }
}

TEST_F(Wegstein, SubstitutionStep) {
  Block b(3);
  b.schedule(5, 1, 1);
  b.x = {1.0, kMis, 3.0};
  b.dx = {0.5, 2.0, -7.0};
  b.xlow = {5.0, 5.0, 5.0};  // no bound on a substitution step
  b.xhigh = {0.0, 0.0, 0.0};
  b.q = {7.0, 7.0, 7.0};
  b.call(2);
  EXPECT_EQ(b.x, (std::vector<double>{1.5, 2.0, -4.0}));
  EXPECT_EQ(b.xold, (std::vector<double>{1.0, kMis, 3.0}));
  EXPECT_EQ(b.dxold, (std::vector<double>{0.5, 2.0, -7.0}));
  EXPECT_EQ(b.q, (std::vector<double>{7.0, 7.0, 7.0}));
  EXPECT_EQ(b.kstep, 0);
}

TEST_F(Wegstein, PrintLevelEightLines) {
  Block b(4);
  b.schedule(0, 0, 1);
  b.opt[0] = 8;
  b.qbnd[0] = 5.0;
  b.qbnd[1] = -5.0;
  b.q = {-0.5, 2.0, 0.0, 1.0e-3};
  b.x = {1.0, 1.0, kMis, 1.0};
  b.xold = {0.0, 0.0, kMis, 0.0};
  b.dx = {1.0, 1.0, 1.0, 1.0};
  orvika_test::UnitCapture cap(6);
  b.call(1);
  const std::vector<std::string> expected = {
      std::string(" VARIABLE   1 ,Q= ") + "-0.50000000" + "    ",
      std::string(" VARIABLE   2 ,Q= ") + "  2.0000000" + "    ",
      std::string(" VARIABLE   4 ,Q= ") + " 0.10000000E-02",
  };
  EXPECT_EQ(cap.lines(), expected);

  // Print level 7: nothing.
  cap.clear();
  b.opt[0] = 7;
  b.call(1);
  EXPECT_TRUE(cap.lines().empty());
}

// ---- missing values and their messages ---------------------------------------------

TEST_F(Wegstein, OnlyLastVariableMissingGivesSingleMessage) {
  Block b(12);
  b.schedule(3, 1, 1);  // substitution
  b.opt[0] = 4;
  b.dx.assign(12, 0.25);
  b.dxold.assign(12, 0.5);
  b.dx[11] = kMis;
  b.call(1);
  EXPECT_EQ(b.dxold[11], 0.5);  // repaired, then used
  EXPECT_EQ(b.x[11], 1.5);
  ASSERT_EQ(orvk_host_messages(), 1u);
  EXPECT_EQ(message(0), (std::vector<std::string>{
                            "      VALUE IS MISSING FOR VARIABLE   12.",
                            "      THIS MAY BE CAUSED BY A ZERO-FLOW STREAM.",
                            "      THE PREVIOUS VALUE OF THE VARIABLE WILL BE USED."}));
  ASSERT_EQ(orvk_host_filter_calls(), 1u);
  orvk_host_filter_call c;
  ASSERT_EQ(orvk_host_filter_call_get(0, &c), 0);
  EXPECT_STREQ(c.name, "WEGSTN2 ");
  EXPECT_EQ(c.three, 3);
  EXPECT_EQ(c.msgclass, 1);
  EXPECT_EQ(c.opt, b.opt);
  EXPECT_EQ(c.imisval, -999999);
  EXPECT_EQ(c.zero1, 0);
  EXPECT_EQ(c.zero2, 0);
  EXPECT_EQ(c.two, 2);
}

TEST_F(Wegstein, SingleMessageRefusedStillRepairs) {
  orvk_host_set_filter(0);
  Block b(2);
  b.dx = {0.0, kMis};
  b.dxold = {0.0, 3.0};
  b.call(1);
  EXPECT_EQ(orvk_host_messages(), 0u);
  EXPECT_EQ(orvk_host_filter_calls(), 1u);
  EXPECT_EQ(b.dxold[1], 3.0);
}

TEST_F(Wegstein, MissingTwiceIsNotReported) {
  Block b(3);
  b.schedule(3, 1, 1);
  b.dx = {kMis, 0.0, kMis};
  b.dxold = {kMis, 0.0, kMis};
  b.call(1);
  EXPECT_EQ(orvk_host_filter_calls(), 0u);
  EXPECT_EQ(orvk_host_messages(), 0u);
  EXPECT_EQ(b.dxold[0], kMis);
}

struct ListCase {
  const char* what;
  IWORD n;
  std::vector<IWORD> missing;  // variables with DX missing (DXOLD present)
  std::vector<std::string> lines;
};

TEST_F(Wegstein, ListOnOnePageTable) {
  const ListCase cases[] = {
      {"range and single", 12, {3, 4, 5, 9}, {"      \"VAR3\" THRU \"VAR5\",  \"VAR9\""}},
      {"last variable ends a range", 12, {11, 12}, {"      \"VAR11\" THRU \"VAR12\""}},
      {"last variable joins the list", 12, {2, 12}, {"      \"VAR2\",  \"VAR12\""}},
      {"two ranges", 9, {1, 2, 4, 5, 6}, {"      \"VAR1\" THRU \"VAR2\",  \"VAR4\" THRU \"VAR6\""}},
      {"a single entry", 9, {1}, {"      \"VAR1\""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    orvk_host_reset();
    Block b(c.n);
    b.schedule(9, 1, 1);
    b.dx.assign(c.n, 1.0);
    b.dxold.assign(c.n, 2.0);
    for (IWORD j : c.missing) b.dx[j - 1] = kMis;
    b.call(1);
    for (IWORD j : c.missing) EXPECT_EQ(b.dxold[j - 1], 2.0);
    ASSERT_EQ(orvk_host_messages(), 1u);
    EXPECT_EQ(message(0), page(c.lines));
    EXPECT_EQ(orvk_host_filter_calls(), 2u);  // the list, then its page
    orvk_host_filter_call p;
    ASSERT_EQ(orvk_host_filter_call_get(1, &p), 0);
    EXPECT_EQ(p.opt, &VLK_GLOBAL[VLK_W_MSGCTL - 1]);
    EXPECT_EQ(p.msgclass, 1);
    EXPECT_EQ(orvk_host_pool_outstanding(), 0);
  }
}

// 50 scattered variables with 3-character names: 7 entries fit on a line
// (6 + 5 + 6*8 = 59, an eighth would reach 67), 6 lines on a page.
class WegsteinPages : public Wegstein {
 protected:
  static constexpr IWORD kN = 101;
  Block b{kN};
  std::vector<std::string> names;

  void SetUp() override {
    Wegstein::SetUp();
    b.schedule(9, 1, 1);
    b.dx.assign(kN, 1.0);
    b.dxold.assign(kN, 2.0);
    for (IWORD m = 1; m <= 50; ++m) {
      char name[8];
      std::snprintf(name, sizeof name, "V%02d", static_cast<int>(m));
      orvk_host_set_varname(2 * m, name);
      names.push_back(std::string("\"") + name + "\"");
      b.dx[2 * m - 1] = kMis;
    }
  }
  std::string line(size_t first, size_t count) const {
    std::string s = "      ";
    for (size_t k = first; k < first + count; ++k) s += (k > first ? ",  " : "") + names[k];
    return s;
  }
};

TEST_F(WegsteinPages, SeveralPages) {
  b.call(1);
  ASSERT_EQ(orvk_host_messages(), 2u);
  std::vector<std::string> first;
  for (size_t l = 0; l < 6; ++l) first.push_back(line(7 * l, 7));
  EXPECT_EQ(message(0), page(first));
  EXPECT_EQ(message(1), page({line(42, 7), line(49, 1)}));
  EXPECT_EQ(orvk_host_filter_calls(), 3u);
  for (size_t k = 1; k < 3; ++k) {
    orvk_host_filter_call p;
    ASSERT_EQ(orvk_host_filter_call_get(k, &p), 0);
    EXPECT_EQ(p.opt, &VLK_GLOBAL[VLK_W_MSGCTL - 1]);
  }
  EXPECT_EQ(orvk_host_pool_outstanding(), 0);
}

TEST_F(WegsteinPages, RefusedPageEndsTheListing) {
  const IWORD script[] = {1, 0};
  orvk_host_set_filter_script(script, 2);
  b.call(1);
  EXPECT_EQ(orvk_host_messages(), 0u);
  EXPECT_EQ(orvk_host_filter_calls(), 2u);
  EXPECT_EQ(orvk_host_pool_outstanding(), 0);
  for (IWORD m = 1; m <= 50; ++m) EXPECT_EQ(b.dxold[2 * m - 1], 2.0);
}

TEST_F(WegsteinPages, RefusedSecondPage) {
  const IWORD script[] = {1, 1, 0};
  orvk_host_set_filter_script(script, 3);
  b.call(1);
  ASSERT_EQ(orvk_host_messages(), 1u);
  EXPECT_EQ(message(0).size(), 10u);
  EXPECT_EQ(orvk_host_filter_calls(), 3u);
  EXPECT_EQ(orvk_host_pool_outstanding(), 0);
}

TEST_F(WegsteinPages, FilterAnswerTwoCollectsNothing) {
  orvk_host_set_filter(2);
  b.dx[kN - 1] = kMis;  // the last variable still gets its own message
  b.call(1);
  ASSERT_EQ(orvk_host_messages(), 1u);
  EXPECT_EQ(message(0)[0], "      VALUE IS MISSING FOR VARIABLE  101.");
  EXPECT_EQ(orvk_host_filter_calls(), 2u);
  EXPECT_EQ(orvk_host_pool_outstanding(), 0);
}

TEST_F(WegsteinPages, FailedReservationCollectsNoList) {
  orvk_host_pool_fail_next(1);
  b.dx[kN - 1] = kMis;
  b.call(1);
  ASSERT_EQ(orvk_host_messages(), 1u);
  EXPECT_EQ(message(0)[0], "      VALUE IS MISSING FOR VARIABLE  101.");
  EXPECT_EQ(b.dxold[kN - 1], 2.0);
  EXPECT_EQ(orvk_host_pool_outstanding(), 0);
}

// Names that cannot fit on a line stand alone on theirs, cut to 57
// characters; the listing ends.
TEST_F(Wegstein, OverlongNamesStandAlone) {
  const std::string longname(70, 'A');
  orvk_host_set_varname(1, "X");
  orvk_host_set_varname(3, longname.c_str());
  orvk_host_set_varname(7, std::string(30, 'B').c_str());
  orvk_host_set_varname(8, std::string(30, 'C').c_str());
  Block b(12);
  b.schedule(9, 1, 1);
  b.dx.assign(12, 1.0);
  b.dxold.assign(12, 1.0);
  for (IWORD j : {1, 3, 5, 7, 8}) b.dx[j - 1] = kMis;
  b.call(1);
  ASSERT_EQ(orvk_host_messages(), 1u);
  const std::string six(6, ' ');
  const std::string range = "\"" + std::string(30, 'B') + "\" THRU \"" + std::string(30, 'C');
  EXPECT_EQ(message(0), page({six + "\"X\"", six + "\"" + std::string(56, 'A'),
                              six + "\"VAR5\"", six + range.substr(0, 57)}));
  for (size_t l = 4; l < message(0).size(); ++l) EXPECT_LE(message(0)[l].size(), 63u);
}

// A host length outside 0..80 is clamped: 80 characters of text (the
// name and its blanks), or none.
TEST_F(Wegstein, HostTextLengthClamped) {
  orvk_host_set_varname_length(2, 500);
  orvk_host_set_varname_length(4, -5);
  Block b(6);
  b.schedule(9, 1, 1);
  b.dx.assign(6, 1.0);
  b.dxold.assign(6, 1.0);
  b.dx[1] = b.dx[3] = kMis;
  b.call(1);
  ASSERT_EQ(orvk_host_messages(), 1u);
  EXPECT_EQ(message(0), page({"      \"VAR2", "      \"\""}));
}

}  // namespace
