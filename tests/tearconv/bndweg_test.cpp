// Tests of the bounded Wegstein updates ORVK_BNDWEG, ORVK_BNDWG1,
// ORVK_BNDWG2 and ORVK_BNDWG3: the one-step answer on linear maps for
// every member, then each member's rules, case by case.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "accel_test_util.hpp"
#include "orvika/host_stub.h"
#include "orvika/tearconv_accel.h"

namespace {

using accel_test::kMis;
using accel_test::kEps;

// The saved arrays of one tear block and a uniform call of any member.
struct State {
  IWORD n;
  std::vector<double> x, xold, dx, dxold, xlow, xhigh;
  double rms = -1.0;
  double qmin = -5.0, qmax = 0.0, tol = 1e-6;
  IWORD nacc = 1;
  LWORD iflag = ORVK_FALSE;

  explicit State(IWORD nn)
      : n(nn), x(nn, 0.0), xold(nn, 0.0), dx(nn, 0.0), dxold(nn, 0.0), xlow(nn, -1e30),
        xhigh(nn, 1e30) {}
};

enum class Member { Weg, Wg1, Wg2, Wg3 };

const char* name(Member m) {
  switch (m) {
    case Member::Weg: return "BNDWEG";
    case Member::Wg1: return "BNDWG1";
    case Member::Wg2: return "BNDWG2";
    case Member::Wg3: return "BNDWG3";
  }
  return "";
}

// ITER is the iteration to be used by the member (ORVK_BNDWEG is given
// ITER - 1 and counts it up).
void call(Member m, State& s, IWORD iter) {
  switch (m) {
    case Member::Weg: {
      IWORD it = iter - 1;
      ORVK_BNDWEG(&it, &s.n, s.xold.data(), s.x.data(), s.dxold.data(), s.dx.data(), &s.qmin,
                  &s.qmax, &s.nacc);
      EXPECT_EQ(it, iter);
      break;
    }
    case Member::Wg1:
      ORVK_BNDWG1(&iter, &s.iflag, &s.n, s.x.data(), s.xold.data(), s.dx.data(),
                  s.dxold.data(), &s.rms, &s.nacc, &s.qmin, &s.qmax);
      break;
    case Member::Wg2:
      ORVK_BNDWG2(&iter, &s.iflag, &s.n, s.x.data(), s.xold.data(), s.dx.data(),
                  s.dxold.data(), &s.rms, &s.nacc, &s.qmin, &s.qmax, s.xlow.data(),
                  s.xhigh.data());
      break;
    case Member::Wg3:
      ORVK_BNDWG3(&iter, &s.iflag, &s.n, s.x.data(), s.xold.data(), s.dx.data(),
                  s.dxold.data(), &s.rms, &s.nacc, &s.qmin, &s.qmax, s.xlow.data(),
                  s.xhigh.data(), &s.tol);
      break;
  }
}

class BoundedWegstein : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
};

// G(x) = xs + s*(x - xs): after one substitution the accelerated step of
// every member lands on xs (slopes in (0, 1) give factors in [QMIN, 0]).
TEST_F(BoundedWegstein, LinearMapReachesFixedPointInOneStep) {
  const std::vector<double> slope = {0.5, 0.9, 0.25, 0.75};
  const std::vector<double> fixed = {10.0, -4.0, 250.0, 0.5};
  for (Member m : {Member::Weg, Member::Wg1, Member::Wg2, Member::Wg3}) {
    SCOPED_TRACE(name(m));
    State s(4);
    s.qmin = -20.0;
    s.x = {1.0, 2.0, 3.0, 4.0};
    s.xold = s.x;
    for (IWORD it = 1; it <= 2; ++it) {
      for (size_t j = 0; j < 4; ++j) s.dx[j] = fixed[j] + slope[j] * (s.x[j] - fixed[j]) - s.x[j];
      if (it == 1) s.iflag = ORVK_TRUE;  // first call: substitution
      else s.iflag = ORVK_FALSE;
      s.qmin = it == 1 ? 0.0 : -20.0;
      call(m, s, it);
    }
    for (size_t j = 0; j < 4; ++j)
      EXPECT_NEAR(s.x[j], fixed[j], 1e3 * kEps * (std::fabs(fixed[j]) + 5.0)) << j;
  }
}

// Which calls of ORVK_BNDWEG accelerate: the first never, then the
// multiples of NACC; NACC = 0 never (and the counter still counts).
TEST_F(BoundedWegstein, BndwegCountsAndAcceleratesOnMultiples) {
  struct Case {
    IWORD nacc;
    const char* kinds;  // calls 1..9
  } cases[] = {{3, "SSASSASSA"}, {1, "SAAAAAAAA"}, {0, "SSSSSSSSS"}, {2, "SASASASAS"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nacc);
    IWORD iter = 0;
    for (int k = 1; k <= 9; ++k) {
      IWORD n = 1, nacc = c.nacc;
      double x = 2.0, xold = 1.0, dx = 1.0, dxold = 1.5, qmin = -5.0, qmax = 0.0;
      ORVK_BNDWEG(&iter, &n, &xold, &x, &dxold, &dx, &qmin, &qmax, &nacc);
      EXPECT_EQ(iter, k);
      // slope of DX: t = -0.5, q = -1: X + 2*DX; substitution: X + DX.
      EXPECT_EQ(x, c.kinds[k - 1] == 'A' ? 4.0 : 3.0) << "call " << k;
      EXPECT_EQ(xold, 2.0);
      EXPECT_EQ(dxold, 1.0);
    }
  }
}

// The call counter of ORVK_BNDWEG stops at the largest IWORD instead of
// overflowing; that call is an ordinary accelerated one (NACC = 1).
TEST_F(BoundedWegstein, BndwegCounterStopsAtTheTop) {
  IWORD iter = std::numeric_limits<IWORD>::max(), n = 1, nacc = 1;
  double x = 2.0, xold = 1.0, dx = 1.0, dxold = 1.5, qmin = -5.0, qmax = 0.0;
  ORVK_BNDWEG(&iter, &n, &xold, &x, &dxold, &dx, &qmin, &qmax, &nacc);
  EXPECT_EQ(iter, std::numeric_limits<IWORD>::max());
  EXPECT_EQ(x, 4.0);  // t = -0.5, q = -1: X + 2*DX
}

// One variable, one accelerated call: each row gives the member, its
// inputs and the expected new X.
struct StepCase {
  const char* what;
  Member m;
  double x, xold, dx, dxold;
  double qmin, qmax;
  double x_new;
  double xlow = -1e30, xhigh = 1e30, tol = 1e-6;
  IWORD iter = 6, nacc = 3;
  LWORD iflag = ORVK_FALSE;
};

TEST_F(BoundedWegstein, StepTable) {
  const StepCase cases[] = {
      // t = (DX - DXOLD)/(X - XOLD), q = (1 + t)/t, move (1 - q)*DX
      {"BNDWEG factor above 1 moves by DX", Member::Weg, 2.0, 1.0, 1.25, 1.0, -5.0, 0.0, 3.25},
      {"BNDWEG factor clipped at QMIN", Member::Weg, 2.0, 1.0, 1.0, 1.1, -5.0, 0.0, 8.0},
      {"BNDWEG factor at QMAX", Member::Weg, 2.0, 1.0, -1.0, 1.0, -5.0, 0.25, 1.25},
      {"BNDWEG small secant: DX", Member::Weg, 1.0 + 1e-8, 1.0, 1.0, 2.0, -5.0, 0.0,
       2.0 + 1e-8},
      {"BNDWEG small slope: DX", Member::Weg, 2.0, 1.0, 1.0, 1.0 + 1e-6, -5.0, 0.0, 3.0},
      {"BNDWEG not a multiple of NACC: DX", Member::Weg, 2.0, 1.0, 1.0, 1.5, -5.0, 0.0, 3.0,
       -1e30, 1e30, 1e-6, 7},
      {"BNDWEG first call: DX", Member::Weg, 2.0, 1.0, 1.0, 1.5, -5.0, 0.0, 3.0, -1e30, 1e30,
       1e-6, 1, 1},
      {"BNDWG1 opposite signs: secant root, unclipped", Member::Wg1, 1.0, 0.0, 2.0, -1.0, -5.0,
       0.0, 1.0 - 2.0 / 3.0},
      {"BNDWG1 same sign: clipped to QMAX", Member::Wg1, 2.0, 1.0, -1.0, -3.0, -5.0, 0.0, 1.0},
      {"BNDWG1 zero counts as positive", Member::Wg1, 2.0, 1.0, 0.0, 1.0, -5.0, 0.0, 2.0},
      {"BNDWG1 IFLAG true: default factor", Member::Wg1, 2.0, 1.0, 1.0, 1.5, 0.5, 1.0, 2.5,
       -1e30, 1e30, 1e-6, 6, 3, ORVK_TRUE},
      {"BNDWG1 small slope: default max(0, QMIN)", Member::Wg1, 2.0, 1.0, 1.0, 1.001, -5.0, 0.0,
       3.0},
      {"BNDWG1 small secant: default", Member::Wg1, 1.0 + 1e-6, 1.0, 1.0, 2.0, 0.25, 1.0,
       1.75 + 1e-6},
      {"BNDWG2 clipped to [QMIN, QMAX]", Member::Wg2, 2.0, 1.0, 1.0, 1.1, -5.0, 0.0, 8.0},
      {"BNDWG2 QMIN above QMAX gives QMAX", Member::Wg2, 2.0, 1.0, 1.0, 1.5, 3.0, -2.0, 5.0},
      {"BNDWG2 opposite signs clipped too", Member::Wg2, 1.0, 0.0, 2.0, -1.0, -5.0, 0.0, 3.0},
      {"BNDWG2 upper bound", Member::Wg2, 2.0, 1.0, 1.0, 1.5, -5.0, 0.0, 3.5, -1e30, 3.5},
      {"BNDWG2 below XLOW: half the old value", Member::Wg2, 2.0, 1.0, -1.0, -0.5, -5.0, 0.0,
       1.0, 0.5},
      {"BNDWG2 half even below XLOW", Member::Wg2, 2.0, 1.0, -1.0, -0.5, -5.0, 0.0, 1.0, 1.5},
      {"BNDWG2 missing X: (1 - q)*DX, never halved", Member::Wg2, kMis, 3.0, 2.0, 1.5, -5.0,
       0.0, 4.0, 100.0},
      {"BNDWG2 missing XOLD: secant test against |XOLD| fails", Member::Wg2, 2.0, kMis, 1.0, 1.5, -5.0, 0.0,
       3.0},
      {"BNDWG2 IFLAG true: default factor", Member::Wg2, 2.0, 1.0, 1.0, 1.5, 0.5, 1.0, 2.5,
       -1e30, 1e30, 1e-6, 6, 3, ORVK_TRUE},
      {"BNDWG3 secant within 0.1*TOL*(1-QMAX)*|XOLD|", Member::Wg3, 1.05, 1.0, 1.0, 1.5, -5.0,
       0.0, 2.05, -1e30, 1e30, 1.0},
      {"BNDWG3 secant beyond the tolerance", Member::Wg3, 1.2, 1.0, 1.0, 1.1, -5.0, 0.0, 3.2,
       -1e30, 1e30, 1.0},
      {"BNDWG3 missing X: no replacement", Member::Wg3, kMis, 3.0, 2.0, 1.0, 0.0, 0.0,
       kMis + 2.0, 100.0, 2e35},
      {"BNDWG3 below XLOW: half", Member::Wg3, 2.0, 1.0, -1.0, -0.5, -5.0, 0.0, 1.0, 0.5},
      {"BNDWG3 negative tolerance, X unchanged: default", Member::Wg3, 2.0, 2.0, 1.0, 1.5, -5.0,
       0.0, 3.0, -1e30, 1e30, -1.0},
      // A slope t that overflows (vertical secant) has the factor 1, the limit of (1 + t)/t.
      {"BNDWEG vertical secant: factor 1, capped at QMAX", Member::Weg, 1e-300, 0.0, 1e10, 1.0,
       -5.0, 0.0, 1e10},
      {"BNDWEG vertical secant with QMAX 1: no move", Member::Weg, 1e-300, 0.0, 1e10, 1.0, -5.0,
       1.0, 1e-300},
      {"BNDWG1 vertical secant, one sign: clipped to QMAX", Member::Wg1, 1e-300, 0.0, 1e10, 1.0,
       -5.0, 0.0, 1e10},
      {"BNDWG1 vertical secant, opposite signs: no move", Member::Wg1, 1e-300, 0.0, 1e10, -1.0,
       -5.0, 0.0, 1e-300},
      {"BNDWG2 vertical secant: clipped to QMAX", Member::Wg2, 1e-300, 0.0, 1e10, 1.0, -5.0, 0.0,
       1e10},
      {"BNDWG2 X a denormal off a zero XOLD", Member::Wg2, 4.9e-324, 0.0, 0.5, 0.25, -5.0, 0.0,
       0.5},
      {"BNDWG3 vertical secant: clipped to QMAX", Member::Wg3, 1e-300, 0.0, 1e10, 1.0, -5.0, 0.0,
       1e10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    State s(1);
    s.x = {c.x};
    s.xold = {c.xold};
    s.dx = {c.dx};
    s.dxold = {c.dxold};
    s.qmin = c.qmin;
    s.qmax = c.qmax;
    s.xlow = {c.xlow};
    s.xhigh = {c.xhigh};
    s.tol = c.tol;
    s.nacc = c.nacc;
    s.iflag = c.iflag;
    call(c.m, s, c.iter);
    EXPECT_NEAR(s.x[0], c.x_new, 1e-12 * std::fmax(1.0, std::fabs(c.x_new)));
    EXPECT_EQ(s.xold[0], c.x);
    EXPECT_EQ(s.dxold[0], c.dx);
  }
}

// A change that is not a number (a failed pass) gives a point that is not
// a number in every member, accelerated or not; the bounded members never
// put the variable on its upper bound instead.
TEST_F(BoundedWegstein, ChangeNotANumberIsNotTakenToTheBound) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (Member m : {Member::Weg, Member::Wg1, Member::Wg2, Member::Wg3}) {
    for (bool accelerated : {true, false}) {
      for (double xhigh : {50.0, kMis}) {
        SCOPED_TRACE(std::string(name(m)) + (accelerated ? " accelerated" : " default") +
                     " XHIGH " + std::to_string(xhigh));
        State s(2);
        s.iflag = accelerated ? ORVK_FALSE : ORVK_TRUE;
        s.x = {1.0, 2.0};
        s.xold = {0.5, 1.0};
        s.dx = {nan, 0.5};
        s.dxold = {0.25, 1.0};
        s.xlow = {-100.0, -100.0};
        s.xhigh = {xhigh, 50.0};
        call(m, s, 2);
        EXPECT_TRUE(std::isnan(s.x[0])) << s.x[0];
        EXPECT_TRUE(std::isfinite(s.x[1]));
        EXPECT_EQ(s.xold[0], 1.0);
      }
    }
  }
}

TEST_F(BoundedWegstein, NoCycleTable) {
  // NACC = 0: BNDWG1 moves by (1 - max(0, QMIN))*DX without saving;
  // BNDWG2 and BNDWG3 change nothing but RMS; BNDWEG substitutes.
  struct Case {
    Member m;
    double x_new, xold_new, dxold_new;
  } cases[] = {{Member::Weg, 6.0, 4.0, 2.0},
               {Member::Wg1, 5.0, 1.0, 7.0},
               {Member::Wg2, 4.0, 1.0, 7.0},
               {Member::Wg3, 4.0, 1.0, 7.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(name(c.m));
    State s(1);
    s.nacc = 0;
    s.qmin = 0.5;
    s.qmax = 1.0;
    s.x = {4.0};
    s.xold = {1.0};
    s.dx = {2.0};
    s.dxold = {7.0};
    call(c.m, s, 5);
    EXPECT_EQ(s.x[0], c.x_new);
    EXPECT_EQ(s.xold[0], c.xold_new);
    EXPECT_EQ(s.dxold[0], c.dxold_new);
    if (c.m != Member::Weg) EXPECT_DOUBLE_EQ(s.rms, 2.0);
  }
}

TEST_F(BoundedWegstein, RootMeanSquare) {
  struct Case {
    Member m;
    double rms;
  } cases[] = {{Member::Wg1, std::sqrt((9.0 + 16.0 + kMis * kMis) / 3.0)},
               {Member::Wg2, std::sqrt(25.0 / 3.0)},
               {Member::Wg3, std::sqrt(25.0 / 3.0)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(name(c.m));
    State s(3);
    s.dx = {3.0, kMis, -4.0};
    s.nacc = 0;
    call(c.m, s, 1);
    EXPECT_DOUBLE_EQ(s.rms, c.rms);

    // An empty block has RMS 0, not 0/0.
    State e(0);
    call(c.m, e, 1);
    EXPECT_EQ(e.rms, 0.0);
  }
}

// Changes whose squares pass the largest double still give their finite RMS:
// DX = (-3, -4)*1e200 has RMS 1e200*sqrt(25/2) (no member leaves out a
// negative change as missing).
TEST_F(BoundedWegstein, RootMeanSquareOfHugeChanges) {
  for (const Member m : {Member::Wg1, Member::Wg2, Member::Wg3}) {
    SCOPED_TRACE(name(m));
    State s(2);
    s.dx = {-3e200, -4e200};
    s.nacc = 0;
    call(m, s, 1);
    EXPECT_NEAR(s.rms, 1e200 * std::sqrt(12.5), 4 * kEps * 1e200 * std::sqrt(12.5));
  }
}

}  // namespace
