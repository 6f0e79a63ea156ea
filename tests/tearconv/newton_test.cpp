// Tests of ORVK_NEWTON, the reverse-communication Newton method for tear
// variables and bounded free variables, and of ORVK_NVPRNT.
//
// A Block holds every array of one run; a simulated flowsheet evaluates
// DX = G(X) - X at each returned point, the way the host does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/tearconv_accel.h"
#include "orvika/tearconv_newton_method.h"
#include "support/capture.hpp"

namespace {

constexpr double kMis = 1.0e35;
constexpr IWORD kIMis = -999999;
constexpr double kTiny = 1.0e-30;

using Residual = std::function<void(const std::vector<double>& x, std::vector<double>& dx)>;

// All arrays of one run, with parameters that make a plain Newton method:
// no substitution passes, no acceleration, ratio-mode reuse.
struct Block {
  IWORD n, nb;
  std::vector<double> x, xold, dx, dxold, tols, rwk, qwk, ropt, xlow, xhigh, qscl;
  std::vector<IWORD> iwk, iperm, iopt, opt;
  IWORD kaccel = -1, kstep = -1, iter = 1, qoff = 7;
  double qa1 = 1, qa2 = 2, qa9 = 9, qa10 = 10, qa13 = 13, qa14 = 14;

  Block(IWORD nn, IWORD nbb)
      : n(nn), nb(nbb), x(nn, 0.0), xold(nn, 0.0), dx(nn, 0.0), dxold(nn, 0.0),
        tols(nn, 1e-3), rwk(nn * nn + 10 * nn + 11, 0.0), qwk(nn * nn + 4 * nn, 0.0),
        ropt(14 + 2 * std::max<IWORD>(nbb, 0), kMis), xlow(nn, -kMis), xhigh(nn, kMis),
        qscl(nn, 1.0), iwk(11, 0), iperm(nn, 0), iopt(10, 0), opt(10, 0) {
    ropt[0] = 1e-6;   // relative perturbation of a tear variable
    ropt[1] = 10.0;   // upper limit factor of a tear variable
    ropt[2] = 0.1;    // TOLABS
    ropt[3] = 0.1;    // TOLREL
    ropt[4] = 0.5;    // RATIO
    ropt[5] = 1e-6;   // smallest step
    ropt[6] = 0.0;
    ropt[7] = 2.0;    // largest step factor
    ropt[8] = 0.5;    // reuse ratio
    ropt[9] = 0.0;
    ropt[12] = 0.0;   // QMAX
    ropt[13] = -5.0;  // QMIN
    for (IWORD j = 1; j <= nb; ++j) ropt[13 + j] = 1e-6;  // perturbation fraction
    iopt[1] = 0;      // substitution passes
    iopt[2] = 50;     // Newton steps
    iopt[3] = 10;     // trial points per search
    iopt[4] = kIMis;  // reuse count
    iopt[5] = 3;      // failed searches
    iopt[6] = 0;      // planned passes
    iopt[8] = 0;      // ratio mode
    iopt[9] = 0;      // no acceleration
  }
  double& R(int k) { return ropt[k - 1]; }
  IWORD& I(int k) { return iopt[k - 1]; }
  double& rw(IWORD k) { return rwk[k - 1]; }  // RWK(k)
  IWORD K() const { return n * n + 9 * n + 1; }
  double ajac(IWORD k, IWORD c) const { return rwk[(k - 1) + (c - 1) * n]; }
  double xb(IWORD i) const { return rwk[n * n + 2 * n + i - 1]; }
  double fb(IWORD i) const { return rwk[n * n + n + i - 1]; }
  double tolv(IWORD i) const { return rwk[K() + 10 + i - 1]; }

  void call() {
    ORVK_NEWTON(x.data(), xold.data(), &n, dx.data(), dxold.data(), &nb, tols.data(), &kaccel,
                &kstep, opt.data(), nullptr, &iter, rwk.data(), nullptr, iwk.data(), nullptr,
                qwk.data(), nullptr, iperm.data(), nullptr, ropt.data(), nullptr, iopt.data(),
                nullptr, xlow.data(), xhigh.data(), &qa1, &qa2, qscl.data(), &qoff, &qa9, &qa10,
                &qa13, &qa14);
  }
};

// The host's loop: evaluate, call, evaluate ... until a final code, the
// convergence test at a new iterate (KACCEL = 1), or MAXCALLS returns.
struct Outcome {
  IWORD kstep = -1;
  int returns = 0;
  bool converged = false;
  std::vector<IWORD> kaccel;  // KACCEL after each return (-1: not written)
};

Outcome drive(Block& b, const Residual& g, int maxcalls, double convtol = -1.0) {
  Outcome out;
  b.iter = 1;
  g(b.x, b.dx);
  for (int k = 0; k < maxcalls; ++k) {
    b.kaccel = -1;
    b.call();
    ++out.returns;
    out.kaccel.push_back(b.kaccel);
    out.kstep = b.kstep;
    if (b.kstep != 2) return out;
    g(b.x, b.dx);
    if (b.kaccel == 1 && convtol > 0) {
      double big = 0.0;
      for (double d : b.dx) big = std::max(big, std::fabs(d));
      if (big < convtol) {
        out.converged = true;
        return out;
      }
    }
    ++b.iter;
  }
  return out;
}

// G(X) = A X + c: DX = (A - I) X + c; the fixed point solves (I - A) X = c.
Residual linear_map(std::vector<double> a, std::vector<double> c) {
  return [a, c](const std::vector<double>& x, std::vector<double>& dx) {
    const size_t n = x.size();
    for (size_t i = 0; i < n; ++i) {
      double s = c[i] - x[i];
      for (size_t j = 0; j < n; ++j) s += a[i + j * n] * x[j];
      dx[i] = s;
    }
  };
}

std::vector<std::string> messages() {
  std::vector<std::string> out;
  for (size_t m = 0; m < orvk_host_messages(); ++m) {
    std::string t;
    for (size_t l = 0; l < orvk_host_message_lines(m); ++l) {
      t += orvk_host_message_line(m, l);
      t += "\n";
    }
    out.push_back(t);
  }
  return out;
}

class NewtonTest : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
  void TearDown() override { orvk_host_reset(); }
};

// ---- interface checks -------------------------------------------------------

TEST_F(NewtonTest, InvalidSizesOrStateEndWithSixAndTouchNothing) {
  struct Row {
    const char* what;
    IWORD n, nb, iter, iwk1;
  };
  const Row rows[] = {
      {"N = 0", 0, 0, 1, 0},
      {"N < 0", -3, 0, 1, 0},
      {"NB < 0", 2, -1, 1, 0},
      {"NB > N", 2, 3, 1, 0},
      {"column counter above N", 2, 0, 2, 3},
      {"column counter negative", 2, 0, 2, -1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Block b(2, 0);
    b.n = r.n;
    b.nb = r.nb;
    b.iter = r.iter;
    b.iwk[0] = r.iwk1;
    b.x = {1.5, -2.5};
    b.dx = {0.25, 0.75};
    b.xold = {7, 7};
    b.dxold = {8, 8};
    const Block before = b;
    b.call();
    EXPECT_EQ(b.kstep, 6);
    EXPECT_EQ(b.kaccel, 0);
    EXPECT_EQ(b.x, before.x);
    EXPECT_EQ(b.dx, before.dx);
    EXPECT_EQ(b.xold, before.xold);
    EXPECT_EQ(b.dxold, before.dxold);
    EXPECT_EQ(b.iwk, before.iwk);
    EXPECT_EQ(b.rwk, before.rwk);
  }
}

// ---- direct substitution and acceleration ----------------------------------

TEST_F(NewtonTest, DirectSubstitutionMovesTearVariablesOnly) {
  Block b(3, 1);
  b.I(2) = 2;
  b.x = {1.0, kMis, 0.5};
  b.dx = {0.25, 3.0, 0.125};
  b.kaccel = 77;
  b.call();
  EXPECT_EQ(b.kstep, 2);
  EXPECT_EQ(b.kaccel, 77);  // not written outside the Newton phase
  EXPECT_EQ(b.x, (std::vector<double>{1.25, 3.0, 0.5}));  // a missing value becomes DX
  EXPECT_EQ(b.xold, (std::vector<double>{1.0, kMis, 0.5}));
  EXPECT_EQ(b.dxold, (std::vector<double>{0.25, 3.0, 0.125}));
  EXPECT_EQ(orvk_host_hook_calls(), 0u);
}

// What the convergence hook sees in its slots during each call.
struct HookSeen {
  std::vector<std::vector<void*>> args;
  std::vector<IWORD> slot4, slot6, slot7, slot11, slot12, slot15, slot23;
  std::vector<std::vector<double>> slot3;
  IWORD n = 0;
  bool scribble = false;  // write into slots 15 and 23 like an untidy host

  static void record(void* ctx, void* const* a) {
    auto* s = static_cast<HookSeen*>(ctx);
    s->args.emplace_back(a, a + 80);
    auto iw = [&](int slot) { return *static_cast<IWORD*>(a[slot - 1]); };
    s->slot4.push_back(iw(4));
    s->slot6.push_back(iw(6));
    s->slot7.push_back(iw(7));
    s->slot11.push_back(iw(11));
    s->slot12.push_back(iw(12));
    s->slot15.push_back(iw(15));
    s->slot23.push_back(iw(23));
    const double* q = static_cast<double*>(a[2]);
    s->slot3.emplace_back(q, q + s->n);
    if (s->scribble) {
      *static_cast<IWORD*>(a[14]) += 5;
      *static_cast<IWORD*>(a[22]) = 99;
      *static_cast<IWORD*>(a[10]) = 11;
    }
  }
};

TEST_F(NewtonTest, AccelerationAsksTheHookWithItsSlotsAndStartsNewtonOnFlagOne) {
  Block b(3, 1);
  b.I(2) = 1;    // one substitution pass
  b.I(7) = 10;   // planned passes before Newton
  b.I(10) = 1;
  b.R(11) = 0.5;  // slot 3 = -0.5
  b.xlow = {-kMis, 0.0, -1.0};
  b.xhigh = {kMis, kMis, 1.0};
  const IWORD script[] = {0, 0, 1};
  orvk_host_set_hook_script(script, 3);
  HookSeen seen;
  seen.n = 3;
  seen.scribble = true;
  orvk_host_set_hook_callback(&HookSeen::record, &seen);
  Residual g = linear_map({0.5, 0.1, 0.0, 0.2, 0.4, 0.0, 0.0, 0.0, 0.5}, {1.0, 2.0, 0.1});

  b.x = {1.0, 2.0, 0.3};
  g(b.x, b.dx);
  std::vector<double> wx, wxold, wdx, wdxold;  // Wegstein reference
  double rms = 0;
  for (IWORD it = 1; it <= 5; ++it) {
    b.iter = it;
    if (it == 2 || it == 3) {
      wx = b.x;
      wxold = b.xold;
      wdx = b.dx;
      wdxold = b.dxold;
    }
    b.kaccel = -1;
    b.call();
    ASSERT_EQ(b.kstep, 2);
    if (it == 2 || it == 3) {
      // The tear variables take one bounded Wegstein step, the first with the
      // default factor; the bounded variable stays.
      const LWORD first = it == 2 ? ORVK_TRUE : ORVK_FALSE;
      const IWORD nt = 2, nacc = 1;
      const IWORD iter = it;
      const double qmin = -5.0, qmax = 0.0;
      ORVK_BNDWG2(&iter, &first, &nt, wx.data(), wxold.data(), wdx.data(), wdxold.data(), &rms,
                  &nacc, &qmin, &qmax, b.xlow.data(), b.xhigh.data());
      EXPECT_EQ(b.x[0], wx[0]);
      EXPECT_EQ(b.x[1], wx[1]);
      EXPECT_EQ(b.x[2], 0.3);
      EXPECT_EQ(b.xold[2], 0.3);
      EXPECT_EQ(b.dxold, wdx);
      EXPECT_EQ(b.kaccel, -1);
    }
    if (it == 4) EXPECT_EQ(b.kaccel, 0);  // first Newton pass: a perturbed point
    g(b.x, b.dx);
  }
  ASSERT_EQ(orvk_host_hook_calls(), 3u);  // passes 2, 3, 4; none once Newton began
  EXPECT_EQ(b.iwk[5], 3);                 // IWK(6) = pass before Newton
  void* dum = &VLK_INITV[VLK_W_DUMARG - 1];
  for (size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    const auto& a = seen.args[k];
    EXPECT_EQ(a[0], &b.qa1);
    EXPECT_EQ(a[1], &b.qa2);
    EXPECT_EQ(a[2], b.qwk.data());
    EXPECT_EQ(a[6], &b.iter);
    EXPECT_EQ(a[7], b.iperm.data());
    EXPECT_EQ(a[8], &b.qa9);
    EXPECT_EQ(a[9], &b.qa10);
    EXPECT_EQ(a[12], &b.qa13);
    EXPECT_EQ(a[13], &b.qa14);
    EXPECT_EQ(a[15], &b.qoff);
    for (int slot : {17, 18, 19, 20, 21, 22}) EXPECT_EQ(a[slot - 1], dum) << slot;
    for (int slot = 24; slot <= 80; ++slot) EXPECT_EQ(a[slot - 1], dum) << slot;
    EXPECT_NE(a[22], dum);
    EXPECT_EQ(seen.slot3[k], (std::vector<double>{-0.5, -0.5, -0.5}));
    EXPECT_EQ(seen.slot4[k], 7 + 2);  // QOFF + NT
    EXPECT_EQ(seen.slot6[k], 10);     // S
    EXPECT_EQ(seen.slot7[k], static_cast<IWORD>(k + 2));
    EXPECT_EQ(seen.slot11[k], 0);  // zeroed before every call
    EXPECT_EQ(seen.slot12[k], 0);
    EXPECT_EQ(seen.slot23[k], 0);  // a private zero, whatever the host wrote last time
    EXPECT_EQ(seen.slot15[k], 5 * static_cast<IWORD>(k));  // kept from call to call
  }
  EXPECT_EQ(*static_cast<IWORD*>(dum), 0);
}

TEST_F(NewtonTest, SlotThreeFromScaleWhenAskedOrWhenNoValueGiven) {
  struct Row {
    const char* what;
    IWORD iopt10;
    double r11, r12;
    std::vector<double> want;
  };
  const Row rows[] = {
      {"ROPT(11) given", 1, 0.25, 3.0, {-0.25, -0.25}},
      {"IOPT(10) = 2 uses QSCL", 2, 0.25, 3.0, {6.0, -3.0}},
      {"ROPT(11) missing", 1, kMis, 3.0, {6.0, -3.0}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    orvk_host_reset();
    HookSeen seen;
    seen.n = 2;
    orvk_host_set_hook_callback(&HookSeen::record, &seen);
    Block b(2, 0);
    b.I(10) = r.iopt10;
    b.I(7) = 5;
    b.R(11) = r.r11;
    b.R(12) = r.r12;
    b.qscl = {2.0, -1.0};
    b.x = {1, 1};
    b.call();
    ASSERT_EQ(seen.slot3.size(), 1u);
    EXPECT_EQ(seen.slot3[0], r.want);
  }
}

TEST_F(NewtonTest, FailedLookupSkipsTheCallAndKeepsAccelerating) {
  orvk_host_set_hook_disabled(1);
  Block b(2, 0);
  b.I(10) = 1;
  b.I(7) = 3;
  b.R(11) = 0.5;
  Residual g = linear_map({0.5, 0.0, 0.0, 0.5}, {1.0, 1.0});
  b.x = {1.0, 1.0};
  Outcome o = drive(b, g, 4);
  EXPECT_EQ(orvk_host_hook_calls(), 0u);
  // Passes 1..3 accelerate (KACCEL not written), Newton from pass 4.
  EXPECT_EQ(o.kaccel, (std::vector<IWORD>{-1, -1, -1, 0}));
}

TEST_F(NewtonTest, PhaseSelection) {
  struct Row {
    const char* what;
    IWORD n, nb, iopt2, iopt7, iopt10, opt6;
    std::vector<IWORD> kaccel;  // first returns
  };
  const Row rows[] = {
      {"substitution then Newton", 2, 0, 2, 0, 0, 0, {-1, -1, 0, 0, 1}},
      {"acceleration switched off", 2, 0, 1, 4, 0, 0, {-1, 0, 0, 1}},
      {"all variables bounded", 2, 2, 3, 3, 1, 0, {0, 0, 1}},
      {"mode switch: Newton at once", 2, 0, 3, 0, 0, 2, {0, 0, 1}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    orvk_host_reset();
    Block b(r.n, r.nb);
    b.I(2) = r.iopt2;
    b.I(7) = r.iopt7;
    b.I(10) = r.iopt10;
    b.R(11) = 0.5;
    b.opt[5] = r.opt6;
    for (IWORD i = r.n - r.nb; i < r.n; ++i) {
      b.xlow[i] = -4.0;
      b.xhigh[i] = 4.0;
    }
    b.x = {1.0, 1.0};
    Residual g = linear_map({0.5, 0.1, 0.2, 0.5}, {1.0, 1.0});
    Outcome o = drive(b, g, static_cast<int>(r.kaccel.size()));
    EXPECT_EQ(o.kaccel, r.kaccel);
    EXPECT_EQ(orvk_host_hook_calls(), 0u);
  }
}

// The mode switch begins Newton steps at the first pass.  With acceleration
// configured, the later passes up to IOPT(2) carry the points of that first
// Jacobian: the hook is not asked and no Wegstein step moves them, so the
// Jacobian is exact and the first step lands on the fixed point.
TEST_F(NewtonTest, ModeSwitchJacobianIsNotInterruptedByAcceleration) {
  struct Row {
    const char* what;
    IWORD iopt2, iopt10;
    double r11, r12;
  };
  const Row rows[] = {
      {"slot 3 from ROPT(11)", 3, 1, 0.5, kMis},
      {"slot 3 from the scale", 3, 2, 0.5, 1.0},
      {"longer planned start", 5, 1, 0.5, kMis},
  };
  const std::vector<double> a = {0.5, 0.1, 0.2, 0.5};
  const std::vector<double> c = {1.0, 1.0};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    orvk_host_reset();
    Block b(2, 0);
    b.I(2) = r.iopt2;
    b.I(10) = r.iopt10;
    b.R(11) = r.r11;
    b.R(12) = r.r12;
    b.opt[5] = 2;
    b.x = {1.0, 1.0};
    Outcome o = drive(b, linear_map(a, c), 3);
    EXPECT_EQ(o.kaccel, (std::vector<IWORD>{0, 0, 1}));
    EXPECT_EQ(orvk_host_hook_calls(), 0u);
    // Columns of the scaled Jacobian (A - I) / TOL, TOL = 1e-3.
    EXPECT_NEAR(b.ajac(1, 1), -500.0, 1e-3);
    EXPECT_NEAR(b.ajac(2, 1), 100.0, 1e-3);
    EXPECT_NEAR(b.ajac(1, 2), 200.0, 1e-3);
    EXPECT_NEAR(b.ajac(2, 2), -500.0, 1e-3);
    // The first trial point is the root of (I - A) x = c.
    EXPECT_NEAR(b.x[0], 70.0 / 23.0, 1e-6);
    EXPECT_NEAR(b.x[1], 60.0 / 23.0, 1e-6);
  }
}

// ---- the Newton phase on a linear map ---------------------------------------

TEST_F(NewtonTest, LinearMapConvergesAtTheFirstTrialPoint) {
  Block b(3, 0);
  b.I(2) = 2;  // two substitution passes
  const std::vector<double> a = {0.5, 0.1, 0.0, 0.2, 0.4, 0.1, 0.0, 0.3, 0.6};
  const std::vector<double> c = {1.0, 2.0, 3.0};
  Residual g = linear_map(a, c);
  b.x = {1.0, 2.0, 3.0};
  Outcome o = drive(b, g, 20, 1e-8);
  ASSERT_TRUE(o.converged);
  EXPECT_EQ(o.returns, 6);
  EXPECT_EQ(o.kaccel, (std::vector<IWORD>{-1, -1, 0, 0, 0, 1}));
  // The root of (I - A) x = c, checked by its residual.
  std::vector<double> r(3);
  g(b.x, r);
  for (double v : r) EXPECT_LT(std::fabs(v), 1e-8);
  // A full step inside every limit: STEP0 = 1, SMAX = ROPT(8).
  EXPECT_EQ(b.rw(b.K()), 1.0);
  EXPECT_EQ(b.rw(b.K() + 1), 2.0);
  EXPECT_EQ(b.iwk[6], 1);  // one Newton step
  EXPECT_EQ(b.iwk[7], 3);  // every variable free
}

TEST_F(NewtonTest, DifferenceJacobianOfScaledResidualsAndScaledVariables) {
  // Two tear variables (absolute tolerances 1e-3 and 0.5, one of them 0:
  // unscaled) and two bounded ones (bounds -2..4 and -8..1).
  Block b(4, 2);
  b.tols = {1e-3, 0.0, 0.5, 2.0};
  b.xlow = {-kMis, -kMis, -2.0, -8.0};
  b.xhigh = {kMis, kMis, 4.0, 1.0};
  b.R(15) = kMis;  // default perturbation 0.01 of the range
  b.R(16) = 0.1;
  const std::vector<double> a = {0.5, 0.25, 0.0,  0.125, 0.0, 0.5,   0.25, 0.0,
                                 0.0, 0.0,  0.5,  0.25,  0.25, 0.0, 0.0,  0.5};
  Residual g = linear_map(a, {1.0, 2.0, 0.5, -1.0});
  b.x = {1.0, 2.0, 1.0, -2.0};
  Outcome o = drive(b, g, 5);  // base + 3 perturbations, then the step
  ASSERT_EQ(o.kaccel, (std::vector<IWORD>{0, 0, 0, 0, 1}));
  const double bsc[4] = {1.0, 1.0, 4.0, 8.0};
  const double tol[4] = {1e-3, 1.0, 0.5, 2.0};
  for (IWORD k = 1; k <= 4; ++k) {
    for (IWORD col = 1; col <= 4; ++col) {
      const double want = (a[(k - 1) + (col - 1) * 4] - (k == col ? 1.0 : 0.0)) * bsc[col - 1] /
                          tol[k - 1];
      EXPECT_NEAR(b.ajac(k, col), want, 1e-6 * std::max(1.0, std::fabs(want)))
          << k << "," << col;
    }
  }
}

TEST_F(NewtonTest, PerturbationsOfBoundedVariables) {
  // XLOW = -2, XHIGH = 4: scale 4, scaled range 1.5, default perturbation
  // 0.015 (scaled), taken downward when it would pass the upper bound.
  struct Row {
    const char* what;
    double x, frac, want;
    bool warned;
  };
  const Row rows[] = {
      {"default upward", 1.0, kMis, (0.25 + 0.015) * 4.0, false},
      {"default downward near the bound", 3.98, kMis, (3.98 / 4.0 - 0.015) * 4.0, false},
      {"given fraction", 1.0, 0.1, (0.25 + 0.15) * 4.0, false},
      {"fraction above half the range", 1.0, 0.6, (0.25 + 0.015) * 4.0, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    orvk_host_reset();
    Block b(1, 1);
    b.xlow = {-2.0};
    b.xhigh = {4.0};
    b.R(15) = r.frac;
    b.x = {r.x};
    b.dx = {0.5};
    b.call();
    EXPECT_EQ(b.kaccel, 0);
    EXPECT_DOUBLE_EQ(b.x[0], r.want);
    EXPECT_EQ(b.iwk[1], 1);  // IWK(2): one bounded variable perturbed
    if (r.warned) {
      ASSERT_EQ(messages().size(), 1u);
      EXPECT_EQ(messages()[0],
                "      STEP-SIZE (    0.90000    ) LARGER THAN HALF\n"
                "      THE RANGE (     1.5000    ).\n"
                "      DEFAULT VALUE TAKEN.\n");
      orvk_host_filter_call fc;
      ASSERT_EQ(orvk_host_filter_call_get(0, &fc), 0);
      EXPECT_STREQ(fc.name, "NEWTON  ");
      EXPECT_EQ(fc.msgclass, 1);
      EXPECT_EQ(fc.three, 3);
      EXPECT_EQ(fc.two, 2);
      EXPECT_EQ(fc.imisval, kIMis);
      EXPECT_EQ(fc.opt, b.opt.data());
    } else {
      EXPECT_EQ(orvk_host_messages(), 0u);
    }
  }
}

TEST_F(NewtonTest, TearVariableAtZeroIsPerturbedToTiny) {
  Block b(2, 0);
  b.R(1) = 1e-3;
  b.x = {0.0, 1.0};
  b.dx = {0.5, 0.5};
  b.call();
  EXPECT_EQ(b.x[0], kTiny);
  EXPECT_EQ(b.x[1], 1.0);
}

TEST_F(NewtonTest, VanishingPerturbationGivesZeroColumn) {
  // ROPT(1) = 0 leaves tear variable 1 where it is; a bounded variable
  // with both bounds 0 has range 0 (and scale 1 instead of 0).
  Block b(3, 1);
  b.R(1) = 0.0;
  b.xlow = {-kMis, -kMis, 0.0};
  b.xhigh = {kMis, kMis, 0.0};
  b.x = {1.0, 0.0, 0.0};
  b.R(1) = 0.0;
  Residual g = linear_map({0.5, 0.1, 0.2, 0.2, 0.5, 0.1, 0.1, 0.3, 0.5}, {1.0, 2.0, 3.0});
  // Tear variable 2 is 0, so its relative perturbation vanishes too: the
  // Jacobian is zero, the bounded step has nothing to move, and the run
  // ends with the step too small (at the base point) instead of sending
  // variables to far bounds.
  Outcome o = drive(b, g, 4);
  ASSERT_EQ(o.kaccel, (std::vector<IWORD>{0, 0, 0, 0}));
  EXPECT_EQ(o.kstep, 25);
  EXPECT_EQ(b.x, (std::vector<double>{1.0, 0.0, 0.0}));
  for (IWORD k = 1; k <= 3; ++k) {
    EXPECT_EQ(b.ajac(k, 1), 0.0);
    EXPECT_EQ(b.ajac(k, 3), 0.0);
    EXPECT_TRUE(std::isfinite(b.ajac(k, 2)));
  }
  for (double v : b.x) EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(b.x[2], 0.0);  // fixed by its bounds
}

// A residual that overflows to infinity at the perturbed point of a
// Jacobian column gives an infinite column.  The Newton step from it is the
// zero step (as for a column that is not a number), never a point that is
// not a number handed to the host: tear variables search along the zero
// step until the iteration limit ends the run, bounded ones end at once with
// the step too small; both at the base point.
TEST_F(NewtonTest, InfiniteResidualAtAPerturbedPointGivesNoPointThatIsNotANumber) {
  struct Case {
    const char* name;
    IWORD nb;
    IWORD kstep;
  };
  const std::vector<Case> cases = {{"tear variables", 0, 6}, {"bounded variables", 2, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    orvk_host_reset();
    Block b(2, c.nb);
    if (c.nb > 0) {
      b.xlow = {0.0, 0.0};
      b.xhigh = {5.0, 5.0};
    }
    b.I(3) = 2;
    b.x = {2.5, 1.0};
    std::vector<std::vector<double>> points;
    Residual g = [&points](const std::vector<double>& x, std::vector<double>& dx) {
      points.push_back(x);
      dx[0] = 0.5 * (2.0 - x[0]) + 0.1 * (3.0 - x[1]);
      dx[1] = 0.2 * (2.0 - x[0]) + 0.4 * (3.0 - x[1]);
      if (x[0] > 2.5 && x[0] < 2.6) dx[0] = std::numeric_limits<double>::infinity();
    };
    Outcome o = drive(b, g, 100);
    EXPECT_EQ(o.kstep, c.kstep);
    for (const auto& x : points)
      for (double v : x) EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(b.x, (std::vector<double>{2.5, 1.0}));
  }
}

// ---- caller's arrays ---------------------------------------------------------

TEST_F(NewtonTest, BoundsAndChangesComeBackBitForBit) {
  // Bounds whose division by the scale does not round-trip, relative
  // tolerances (renewed at every base point) and a nonlinear map.
  Block b(4, 2);
  b.tols = {-1e-4, -3e-3, -1e-3, 0.3};
  b.xlow = {0.0, -kMis, -0.1, -0.3};
  b.xhigh = {kMis, kMis, 0.7, 0.9};
  b.x = {1.1, 0.3, 0.2, 0.1};
  const std::vector<double> lo = b.xlow, hi = b.xhigh, tols = b.tols, ropt = b.ropt;
  const std::vector<IWORD> iopt = b.iopt, opt = b.opt;
  Residual g = [](const std::vector<double>& x, std::vector<double>& dx) {
    dx[0] = 0.5 * std::cos(x[1]) + 0.3 * x[2] + 0.7 - x[0];
    dx[1] = 0.2 * x[0] * x[0] - 0.1 * x[3] - x[1];
    dx[2] = 0.1 * std::sin(x[0]) + 0.05 - 0.5 * x[2];
    dx[3] = 0.3 * x[2] * x[1] + 0.02 - x[3];
  };
  b.iter = 1;
  g(b.x, b.dx);
  int returns = 0;
  for (; returns < 60; ++returns) {
    const std::vector<double> dx_in = b.dx, x_in = b.x;
    b.call();
    EXPECT_EQ(b.xlow, lo);
    EXPECT_EQ(b.xhigh, hi);
    EXPECT_EQ(b.tols, tols);
    EXPECT_EQ(b.ropt, ropt);
    EXPECT_EQ(b.iopt, iopt);
    EXPECT_EQ(b.opt, opt);
    EXPECT_EQ(b.xold, x_in);
    if (b.kstep != 25) {
      EXPECT_EQ(b.dx, dx_in) << "return " << returns + 1;  // exactly as given
      EXPECT_EQ(b.dxold, dx_in);
    }
    if (b.kstep != 2) break;
    g(b.x, b.dx);
    ++b.iter;
  }
  EXPECT_GT(returns, 10);
}

// ---- final codes ---------------------------------------------------------------

TEST_F(NewtonTest, SolutionOutsideTheBoxEndsWithTwentyFiveAtTheBasePoint) {
  // DX = M (x* - x) with x* = (2, 0.5) outside the box [0, 1]^2.
  Block b(2, 2);
  b.xlow = {0.0, 0.0};
  b.xhigh = {1.0, 1.0};
  b.R(15) = kMis;
  b.R(16) = kMis;
  Residual g = [](const std::vector<double>& x, std::vector<double>& dx) {
    dx[0] = 1.0 * (2.0 - x[0]) + 0.2 * (0.5 - x[1]);
    dx[1] = 0.1 * (2.0 - x[0]) + 1.0 * (0.5 - x[1]);
  };
  b.x = {0.5, 0.5};
  Outcome o = drive(b, g, 30);
  ASSERT_EQ(o.kstep, 25);
  EXPECT_EQ(o.returns, 6);
  EXPECT_EQ(o.kaccel, (std::vector<IWORD>{0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(b.x[0], 1.0);  // held at its upper bound
  EXPECT_EQ(b.x[0], b.xb(1));
  EXPECT_EQ(b.x[1], b.xb(2));
  std::vector<double> r(2);
  g(b.x, r);
  EXPECT_EQ(b.dx, b.dxold);
  for (int i = 0; i < 2; ++i) EXPECT_NEAR(b.dx[i], r[i], 1e-14);
  // x2 minimises |M (x* - x)| with x1 = 1.
  EXPECT_NEAR(b.x[1], 0.5 + (0.2 * 1.0 + 0.1 * 1.0) / (0.04 + 1.0), 1e-9);
  const auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].substr(0, 22), "      PREDICTED STEP (");
  EXPECT_NE(m[0].find(") LESS THAN \"  0.10000E-05\"\n      ITERATION STOPPED.\n"), std::string::npos)
      << m[0];
}

TEST_F(NewtonTest, PointsOnABoundStayWithinTheCallersBounds) {
  // DX = x* - x with x* beyond a bound: every Newton step ends on that bound.
  // A start far from a bound of order 1 (the scaled step XB + (XLS - XB)
  // rounds to 0), and bounds whose quotient by the scale does not come back
  // exactly, each put a returned point past the bound unless it is held.
  struct Case {
    double lo, hi, x0, root;
  };
  const Case cases[] = {
      {-1e30, -1.0, -1e29, 0.0},
      {0.74186571331191842, 78999742533051776.0, 28026183809394688.0, -569.505},
      {-5902698.4609647477, -0.14102954798651957, -2884967.5053380532, 0.85379},
  };
  for (const Case& c : cases) {
    Block b(1, 1);
    b.xlow = {c.lo};
    b.xhigh = {c.hi};
    b.x = {c.x0};
    const double root = c.root;
    Residual g = [root](const std::vector<double>& x, std::vector<double>& dx) {
      dx[0] = root - x[0];
    };
    b.iter = 1;
    g(b.x, b.dx);
    int returns = 0;
    for (; returns < 50; ++returns) {
      b.call();
      EXPECT_GE(b.x[0], c.lo) << c.x0 << " return " << returns + 1;
      EXPECT_LE(b.x[0], c.hi) << c.x0 << " return " << returns + 1;
      if (b.kstep != 2) break;
      g(b.x, b.dx);
      ++b.iter;
    }
    EXPECT_EQ(b.kstep, 25) << c.x0;
    EXPECT_EQ(b.x[0], root < c.lo ? c.lo : c.hi) << c.x0;
  }
}

TEST_F(NewtonTest, LineSearchFailuresEndWithTwentyFour) {
  // RATIO 0 never accepts a first trial point; one trial point per search.
  Block b(2, 0);
  b.R(5) = 0.0;
  b.I(4) = 1;
  b.I(6) = 2;
  Residual g = [](const std::vector<double>& x, std::vector<double>& dx) {
    dx[0] = 0.5 * x[1] * x[1] + 1.0 - x[0];
    dx[1] = 0.25 * x[0] + 0.5 - x[1];
  };
  b.x = {1.0, 1.0};
  b.iter = 1;
  g(b.x, b.dx);
  std::vector<std::vector<double>> xs;
  std::vector<IWORD> ks;
  for (int k = 0; k < 7; ++k) {
    b.call();
    xs.push_back(b.x);
    ks.push_back(b.kaccel);
    if (b.kstep != 2) break;
    if (k == 3) {
      // After the first failure the base point is the trial point just
      // evaluated, with its own residual.
      EXPECT_EQ(b.xb(1), xs[2][0]);
      EXPECT_EQ(b.xb(2), xs[2][1]);
      std::vector<double> r(2);
      g(xs[2], r);
      EXPECT_DOUBLE_EQ(b.fb(1) * 1e-3, r[0]);
      EXPECT_DOUBLE_EQ(b.fb(2) * 1e-3, r[1]);
    }
    g(b.x, b.dx);
    ++b.iter;
  }
  ASSERT_EQ(b.kstep, 24);
  EXPECT_EQ(ks, (std::vector<IWORD>{0, 0, 1, 0, 0, 1, 0}));
  EXPECT_EQ(b.x, xs[5]);  // the last trial point evaluated
  EXPECT_EQ(b.iwk[9], 2);
  const auto m = messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0],
            "      LINE SEARCH NOT CONVERGED IN \"   1\" ITERATIONS.\n"
            "      CONTINUING WITH LAST POINT.\n");
  EXPECT_EQ(m[1],
            "      LINE SEARCH NOT CONVERGED IN \"   1\" ITERATIONS.\n"
            "      ITERATION STOPPED.\n");
}

// A scripted flowsheet: every trial point (KACCEL = 1) returns FACTOR times
// the residual of the previous one, and the perturbed points follow the
// linear model around the last trial point.  Every search thus ends at its
// first point with RMS = FACTOR * RMS0.
struct Scripted {
  double factor;
  std::vector<double> a;  // model Jacobian, by columns
  std::vector<double> xbase, rbase;
  int trials = 0;
  int fail_from = 1 << 30;  // trial points from this one on return a large residual

  void eval(const std::vector<double>& x, IWORD kaccel, std::vector<double>& dx) {
    const size_t n = x.size();
    if (xbase.empty()) {
      xbase = x;
      rbase.assign(n, 0.0);
      for (size_t i = 0; i < n; ++i) rbase[i] = 1.0 + 0.5 * static_cast<double>(i);
      dx = rbase;
      return;
    }
    if (kaccel == 1) {
      ++trials;
      xbase = x;
      for (double& r : rbase) r *= trials >= fail_from ? 1.0e3 : factor;
      dx = rbase;
      return;
    }
    for (size_t i = 0; i < n; ++i) {
      double s = rbase[i];
      for (size_t j = 0; j < n; ++j) s += a[i + j * n] * (x[j] - xbase[j]);
      dx[i] = s;
    }
  }
};

Outcome drive_scripted(Block& b, Scripted& s, int maxcalls) {
  Outcome out;
  b.iter = 1;
  s.eval(b.x, 0, b.dx);
  for (int k = 0; k < maxcalls; ++k) {
    b.call();
    ++out.returns;
    out.kaccel.push_back(b.kaccel);
    out.kstep = b.kstep;
    if (b.kstep != 2) return out;
    s.eval(b.x, b.kaccel, b.dx);
    ++b.iter;
  }
  return out;
}

TEST_F(NewtonTest, JacobianReuse) {
  struct Row {
    const char* what;
    double factor, reuse_ratio;
    IWORD iopt9, iopt5, limit;
    IWORD kstep;
    std::vector<IWORD> kaccel;
    IWORD state;  // IWK(11) at the end
  };
  const Row rows[] = {
      {"ratio: 0.4 < 0.5 keeps it", 0.4, 0.5, 0, kIMis, 3, 6, {0, 0, 1, 1, 1, 1}, 3},
      {"ratio: 0.6 forms a new one", 0.6, 0.5, 0, kIMis, 2, 6, {0, 0, 1, 0, 0, 1, 1}, 1},
      {"count 2 (ratio ignored)", 0.9, 0.5, 1, 2, 4, 6, {0, 0, 1, 1, 1, 0, 0, 1, 1}, 3},
      {"count switch without count: ratio", 0.4, 0.5, 1, kIMis, 2, 6, {0, 0, 1, 1, 1}, 3},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    orvk_host_reset();
    Block b(2, 0);
    b.R(5) = 0.95;  // every first trial point is accepted
    b.R(9) = r.reuse_ratio;
    b.I(9) = r.iopt9;
    b.I(5) = r.iopt5;
    b.I(3) = r.limit;
    b.x = {1.0, 2.0};
    Scripted s{r.factor, {-1.0, 0.2, 0.1, -1.0}, {}, {}};
    Outcome o = drive_scripted(b, s, 30);
    EXPECT_EQ(o.kstep, r.kstep);
    EXPECT_EQ(o.kaccel, r.kaccel);
    EXPECT_EQ(b.iwk[10], r.state);
    EXPECT_EQ(b.iwk[6], r.limit);  // IWK(7) Newton steps
    const auto m = messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0], "      NEWTON NOT CONVERGED IN \"   " + std::to_string(r.limit) +
                        "\" ITERATIONS\n");
  }
}

TEST_F(NewtonTest, FailureAfterReuseContinuesOnceWithAFreshJacobian) {
  // The first search succeeds and the Jacobian is kept; then every trial
  // point is bad.  The failure with the reused Jacobian continues with a
  // fresh one, whose own failure counts: the run ends with 24.
  Block b(2, 0);
  b.R(5) = 0.95;
  b.I(9) = 1;
  b.I(5) = 100;  // always keep by count
  b.I(4) = 1;
  b.I(6) = 2;
  b.x = {1.0, 2.0};
  Scripted s{0.5, {-1.0, 0.2, 0.1, -1.0}, {}, {}};
  s.fail_from = 2;
  Outcome o = drive_scripted(b, s, 40);
  ASSERT_EQ(o.kstep, 24);
  // base, perturbation, trial 1 (kept: trial 2 at once), failure: new
  // Jacobian, trial 3, failure: stop.
  EXPECT_EQ(o.kaccel, (std::vector<IWORD>{0, 0, 1, 1, 0, 0, 1, 0}));
  EXPECT_EQ(b.iwk[9], 2);
}

TEST_F(NewtonTest, StepLimitedByTheFractionOfTheRange) {
  // Largest step of the bounded variable: 0.1 of its range.
  Block b(2, 1);
  b.xlow = {-kMis, 0.0};
  b.xhigh = {kMis, 10.0};
  b.R(15) = 1e-6;
  b.R(16) = 0.1;
  Residual g = linear_map({0.5, 0.0, 0.0, 0.5}, {1.0, 4.0});  // root (2, 8)
  b.x = {1.0, 1.0};
  Outcome o = drive(b, g, 3);
  ASSERT_EQ(o.kaccel, (std::vector<IWORD>{0, 0, 1}));
  // Scaled step of the bounded variable: 0.7; limit 0.1 * 1.0 / 0.7.
  const double l = 0.1 / 0.7;
  EXPECT_NEAR(b.rw(b.K()), l, 1e-9);
  EXPECT_EQ(b.rw(b.K() + 1), b.rw(b.K()));  // SMAX = STEP0 < 1
  EXPECT_NEAR(b.x[1], 1.0 + l * 7.0, 1e-8);
}

TEST_F(NewtonTest, TearLimitsFollowTheBaseOfEachStep) {
  // A kept Jacobian moves the base point to the last trial point; the
  // upper limits of the tear variables are taken from that new base.
  Block b(2, 0);
  b.R(5) = 0.95;
  b.R(2) = 1.5;
  b.x = {1.0, 2.0};
  Scripted s{0.4, {-1.0, 0.2, 0.1, -1.0}, {}, {}};
  Outcome o = drive_scripted(b, s, 4);
  ASSERT_EQ(o.kaccel, (std::vector<IWORD>{0, 0, 1, 1}));
  ASSERT_EQ(b.iwk[6], 2);  // the second step came from the kept Jacobian
  const IWORD nn = 4;
  for (IWORD i = 1; i <= 2; ++i) {
    EXPECT_EQ(b.rw(nn + 5 * 2 + i), std::fabs(b.xb(i)) * 1.5);  // XHS
    EXPECT_EQ(b.rw(nn + 6 * 2 + i), -1.0e10);                  // XLS: no lower bound
  }
}

TEST_F(NewtonTest, TearVariableHeldAtZeroIsNotAStepTooSmall) {
  // Tear variable 1 has a lower bound and its root lies below 0: the step
  // holds it at 0.  Held tear variables do not count as a small step, so the
  // run goes on to the iteration limit.
  Block b(2, 1);
  b.xlow = {0.0, -4.0};
  b.xhigh = {kMis, 4.0};
  b.I(3) = 3;
  Residual g = [](const std::vector<double>& x, std::vector<double>& dx) {
    dx[0] = -1.0 - x[0] + 0.1 * (x[1] - 1.0);
    dx[1] = 1.0 - x[1];
  };
  b.x = {0.5, 0.0};
  Outcome o = drive(b, g, 40);
  EXPECT_EQ(o.kstep, 6);
  EXPECT_EQ(b.x[0], 0.0);
  EXPECT_NEAR(b.x[1], 1.0 + 0.2 / 2.02, 1e-9);  // least squares with x1 = 0
  EXPECT_EQ(b.iwk[7], 1);  // NFREE of the last step
  for (const std::string& m : messages()) EXPECT_EQ(m.find("PREDICTED STEP"), std::string::npos);
}

TEST_F(NewtonTest, ToleranceRules) {
  // After the first call TOLV holds the base point's tolerances: absolute
  // ones as given; relative ones |t * v| with v the variable (the scaled
  // one for a bounded variable) or, for a tear variable at 0, its already
  // scaled change.
  Block b(4, 1);
  b.tols = {0.25, -0.1, -0.1, -0.5};
  b.xlow = {-kMis, -kMis, -kMis, -1.0};
  b.xhigh = {kMis, kMis, kMis, 4.0};
  b.x = {3.0, 2.0, 0.0, 2.0};
  b.dx = {1.0, 1.0, 0.5, 1.0};
  b.call();
  EXPECT_EQ(b.tolv(1), 0.25);
  EXPECT_DOUBLE_EQ(b.tolv(2), 0.2);
  EXPECT_DOUBLE_EQ(b.tolv(3), 0.1 * (0.5 / (0.1 * 0.5)));  // v = DX / first-pass TOLV
  EXPECT_DOUBLE_EQ(b.tolv(4), 0.5 * (2.0 / 4.0));
  EXPECT_DOUBLE_EQ(b.fb(1), 1.0 / 0.25);
  EXPECT_DOUBLE_EQ(b.fb(2), 1.0 / 0.2);
  EXPECT_DOUBLE_EQ(b.fb(4), 1.0 / 0.25);
}

TEST_F(NewtonTest, SuppressedMessagesDoNotChangeTheRun) {
  std::vector<double> xs[2];
  IWORD codes[2];
  for (int admit = 0; admit < 2; ++admit) {
    orvk_host_reset();
    orvk_host_set_filter(admit);
    Block b(2, 0);
    b.R(5) = 0.0;
    b.I(4) = 1;
    b.I(6) = 2;
    b.x = {1.0, 1.0};
    Residual g = linear_map({0.5, 0.1, 0.2, 0.5}, {1.0, 1.0});
    Outcome o = drive(b, g, 20);
    xs[admit] = b.x;
    codes[admit] = o.kstep;
    EXPECT_EQ(orvk_host_messages(), admit ? 2u : 0u);
    EXPECT_EQ(orvk_host_filter_calls(), 2u);
  }
  EXPECT_EQ(codes[0], 24);
  EXPECT_EQ(codes[1], 24);
  EXPECT_EQ(xs[0], xs[1]);
}

// ---- known answers -------------------------------------------------------------

struct Problem {
  const char* name;
  IWORD n, nb;
  std::vector<double> x0, lo, hi;
  Residual f;                 // DX = F(X): G(X) = X + F(X)
  std::vector<double> root;   // empty: checked by the residual only
  double rootol;
};

TEST_F(NewtonTest, ClassicTestProblemsInFixedPointForm) {
  const double s5 = std::sqrt(5.0), s10 = std::sqrt(10.0);
  std::vector<Problem> probs;
  probs.push_back({"Rosenbrock, tear variables", 2, 0, {-1.2, 1.0}, {}, {},
                   [](const std::vector<double>& x, std::vector<double>& f) {
                     f[0] = 10.0 * (x[1] - x[0] * x[0]);
                     f[1] = 1.0 - x[0];
                   },
                   {1.0, 1.0}, 1e-9});
  probs.push_back({"Powell singular, bounded variables", 4, 4, {3.0, -1.0, 0.0, 1.0},
                   {-10, -10, -10, -10}, {10, 10, 10, 10},
                   [s5, s10](const std::vector<double>& x, std::vector<double>& f) {
                     f[0] = x[0] + 10.0 * x[1];
                     f[1] = s5 * (x[2] - x[3]);
                     f[2] = (x[1] - 2.0 * x[2]) * (x[1] - 2.0 * x[2]);
                     f[3] = s10 * (x[0] - x[3]) * (x[0] - x[3]);
                   },
                   {0.0, 0.0, 0.0, 0.0}, 1e-3});
  probs.push_back({"Broyden tridiagonal, tear variables", 10, 0, std::vector<double>(10, -1.0),
                   {}, {},
                   [](const std::vector<double>& x, std::vector<double>& f) {
                     const size_t n = x.size();
                     for (size_t i = 0; i < n; ++i) {
                       const double lft = i > 0 ? x[i - 1] : 0.0;
                       const double rgt = i + 1 < n ? x[i + 1] : 0.0;
                       f[i] = (3.0 - 2.0 * x[i]) * x[i] - lft - 2.0 * rgt + 1.0;
                     }
                   },
                   {}, 0.0});
  for (const Problem& p : probs) {
    SCOPED_TRACE(p.name);
    orvk_host_reset();
    Block b(p.n, p.nb);
    b.x = p.x0;
    b.tols.assign(p.n, 1e-6);
    for (IWORD i = 0; i < p.nb; ++i) {
      b.xlow[p.n - p.nb + i] = p.lo[i];
      b.xhigh[p.n - p.nb + i] = p.hi[i];
    }
    b.R(1) = 1e-7;
    b.I(3) = 100;
    Outcome o = drive(b, p.f, 2000, 1e-10);
    ASSERT_TRUE(o.converged) << "KSTEP " << o.kstep << " after " << o.returns;
    std::vector<double> r(p.n);
    p.f(b.x, r);
    for (double v : r) EXPECT_LT(std::fabs(v), 1e-10);
    for (size_t i = 0; i < p.root.size(); ++i) EXPECT_NEAR(b.x[i], p.root[i], p.rootol) << i;
  }
}

// ---- printed reports -------------------------------------------------------------

TEST(NewtonPrint, VectorPrintLayout) {
  orvk_host_reset();
  orvika_test::UnitCapture cap(6);
  const double v[7] = {1.0, -0.5, 123456.0, 0.0, 12.3456, -0.00123456, 2.5};
  const IWORD name[2] = {0x2020202054574523LL, 0x20202020204e4f4fLL};  // "#EWT", "OON "
  IWORD label[3];
  std::memcpy(&label[0], "SCAL    ", 8);
  std::memcpy(&label[1], "ED X    ", 8);
  std::memcpy(&label[2], "        ", 8);
  IWORD n = 7;
  ORVK_NVPRNT(v, &n, name, label);
  n = 0;
  ORVK_NVPRNT(v, &n, name, label);
  EXPECT_EQ(cap.text(),
            "\n"
            "      #EWTOON SCALED X    "
            "    1   1.0000    "
            "    2 -0.50000    "
            "    3  0.12346E+06"
            "    4   0.0000    "
            "    5   12.346    \n"
            "                          "
            "    6 -0.12346E-02"
            "    7   2.5000    \n");
}

// Line breaks of the vector print at the edges of a line: one value, the
// first line exactly full, the second line exactly full.
TEST(NewtonPrint, VectorPrintLineBreaks) {
  const double v[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const IWORD name[2] = {0x2020202054574523LL, 0x20202020204e4f4fLL};  // "#EWT", "OON "
  IWORD label[3];
  std::memcpy(&label[0], "SCAL    ", 8);
  std::memcpy(&label[1], "ED X    ", 8);
  std::memcpy(&label[2], "        ", 8);
  const std::string head = "      #EWTOON SCALED X    ";
  const std::string more = "                          ";
  const std::string g1 = "    1   1.0000        2   2.0000        3   3.0000    "
                         "    4   4.0000        5   5.0000    ";
  const std::string g2 = "    6   6.0000        7   7.0000        8   8.0000    "
                         "    9   9.0000       10   10.000    ";
  const struct {
    IWORD n;
    std::string text;
  } cases[] = {
      {1, "\n" + head + "    1   1.0000    \n"},
      {5, "\n" + head + g1 + "\n"},
      {6, "\n" + head + g1 + "\n" + more + "    6   6.0000    \n"},
      {10, "\n" + head + g1 + "\n" + more + g2 + "\n"},
  };
  for (const auto& c : cases) {
    orvk_host_reset();
    orvika_test::UnitCapture cap(6);
    IWORD n = c.n;
    ORVK_NVPRNT(v, &n, name, label);
    EXPECT_EQ(cap.text(), c.text) << "N = " << c.n;
  }
}

// A short run of a two-variable block (one tear, one bounded) whose printed
// report is checked line by line at each print level.
std::string printed_run(IWORD level) {
  orvk_host_reset();
  orvika_test::UnitCapture cap(6);
  Block b(2, 1);
  b.opt[0] = level;
  b.tols = {0.5, 0.25};
  b.xlow = {-kMis, -2.0};
  b.xhigh = {kMis, 4.0};
  b.R(1) = 0.5;
  b.R(15) = 0.25;
  Residual g = linear_map({0.5, 0.0, 0.0, 0.5}, {1.0, 1.0});  // root (2, 2)
  b.x = {1.0, 1.0};
  drive(b, g, 4);
  return cap.text();
}

// Pieces of the report of printed_run(); each level lists the pieces it
// prints, in order.  Entry and exit blocks (levels 8 and 10) show X and F.
const std::string kEntering = "\n      *****ENTERING NEWTON         \n\n";
const std::string kLeaving = "\n      *****LEAVING NEWTON          \n\n";

std::string xf(const char* x, const char* f) {
  return std::string("\n      NEWTON  X               ") + x + "\n\n      NEWTON  F               " +
         f + "\n";
}

const std::string kBaseNote =
    "\n"
    "      THE ABOVE VALUES ARE THE BASE POINTS FOR THE NUMERICAL DIFFERENTIATIONS\n"
    "\n";

// The Jacobian after its first (level 9) and its last column.
std::string jacobian(const char* after, const char* row2) {
  return std::string("\n          JACOBIAN MATRIX AFTER  ") + after +
         " NUMERICAL DIFFERENTIATIONS\n"
         "\n"
         "\n"
         "      NEWTON       JACOBIAN              5 LINES\n"
         "\n"
         "              1           2\n"
         "        1 -1.0000     -0.0000    \n"
         "        2 " + row2 + "\n";
}
const std::string kJacobian1 = jacobian("1", " 0.0000      0.0000    ");
const std::string kJacobian2 = jacobian("2", "-0.0000     -8.0000    ");

// An iteration's heading (from level 8 with the free-variable count), its
// scaled vectors and its line-search base point.
std::string iteration(const char* number, bool nfree, const char* body) {
  return std::string("\n          NEWTON ITERATION NUMBER    ") + number + "\n\n" +
         (nfree ? "          NUMBER OF FREE VARIABLES    2\n\n" : "") + body;
}
const char* const kIteration1 =
    "      NEWTON  SCALED X        1   1.0000        2  0.25000    \n"
    "\n"
    "      NEWTON  F/TOL           1   1.0000        2   2.0000    \n"
    "\n"
    "      NEWTON  SCALED DX       1   1.0000        2  0.25000    \n"
    "\n"
    "          NEWTON LINE SEARCH BASE POINT.  RMS ERROR =    1.5811     STEP =    1.0000    \n"
    "\n";
const char* const kIteration2 =
    "      NEWTON  SCALED X        1   2.0000        2  0.50000    \n"
    "\n"
    "      NEWTON  F/TOL           1   0.0000        2   0.0000    \n"
    "\n"
    "      NEWTON  SCALED DX       1   0.0000        2   0.0000    \n"
    "\n"
    "          NEWTON LINE SEARCH BASE POINT.  RMS ERROR =    0.0000     STEP =    1.0000    \n"
    "\n";

// The one trial point of the first search, accepted.
const std::string kSearch =
    "\n"
    "          NEWTON LINE SEARCH POINT    1 RMS ERROR =    0.0000     STEP =    1.0000    \n"
    "\n"
    "\n"
    "          NEWTON LINE SEARCH CONVERGED WITH STEP =    1.0000    \n"
    "          BASE POINT RMS ERROR =    1.5811     FINAL RMS ERROR =    0.0000    \n"
    "\n";

// X and F at the points of the run: the base point, the two perturbed
// points and the first trial point.
const char* const kX0 = "1   1.0000        2   1.0000    ";
const char* const kF0 = "1  0.50000        2  0.50000    ";
const char* const kXp1 = "1   1.5000        2   1.0000    ";
const char* const kFp1 = "1  0.25000        2  0.50000    ";
const char* const kXp2 = "1   1.0000        2   2.5000    ";
const char* const kFp2 = "1  0.50000        2 -0.25000    ";
const char* const kX1 = "1   2.0000        2   2.0000    ";
const char* const kF1 = "1   0.0000        2   0.0000    ";

// Level 6: iteration numbers, vectors and line-search lines; level 7 the
// same.  Level 8 adds the entry blocks, the base-point note, the
// free-variable count and the Jacobian after its last column; 9 the
// Jacobian after every column; 10 the exit blocks (the X returned with the F
// the call was given).
TEST(NewtonPrint, ReportAtEachLevel) {
  const std::string level6 =
      iteration("1", false, kIteration1) + kSearch + iteration("2", false, kIteration2);
  // Levels 8 and 9, the latter with the Jacobian after its first column too.
  auto entries = [&](bool every_column) {
    return kEntering + xf(kX0, kF0) + kBaseNote +
           kEntering + xf(kXp1, kFp1) + (every_column ? kJacobian1 : std::string()) +
           kEntering + xf(kXp2, kFp2) + kJacobian2 +
           iteration("1", true, kIteration1) +
           kEntering + xf(kX1, kF1) + kSearch +
           iteration("2", true, kIteration2);
  };
  const std::string level8 = entries(false), level9 = entries(true);
  const std::string level10 = kEntering + xf(kX0, kF0) + kBaseNote +
                              kLeaving + xf(kXp1, kF0) +
                              kEntering + xf(kXp1, kFp1) + kJacobian1 +
                              kLeaving + xf(kXp2, kFp1) +
                              kEntering + xf(kXp2, kFp2) + kJacobian2 +
                              iteration("1", true, kIteration1) +
                              kLeaving + xf(kX1, kFp2) +
                              kEntering + xf(kX1, kF1) + kSearch +
                              iteration("2", true, kIteration2) +
                              kLeaving + xf(kX1, kF1);
  const struct {
    IWORD level;
    const std::string& want;
  } rows[] = {{6, level6}, {7, level6}, {8, level8}, {9, level9}, {10, level10}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.level);
    EXPECT_EQ(printed_run(r.level), r.want);
  }
}

}  // namespace
