// Final codes of ORVK_NSOLVE / ORVK_NSOLVE2 on constructed failures, the
// request protocol, option defaults and the printed failure messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "nsolve_test_util.hpp"
#include "orvika/host_stub.h"
#include "support/capture.hpp"

namespace {

using nsolve_test::Caller;
using nsolve_test::kImiss;
using nsolve_test::Problem;

class NsolveCodes : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    nsolve_test::init_sparse_options();
  }
};

// A 2 x 2 linear system A x = b with the given values (pattern full).
Problem linear2(double a11, double a12, double a21, double a22) {
  Problem p;
  p.name = "linear2";
  p.n = 2;
  p.irn = {1, 1, 2, 2};
  p.icn = {1, 2, 1, 2};
  p.fun = [=](const double* x, double* f) {
    f[0] = a11 * x[0] + a12 * x[1] - 1.0;
    f[1] = a21 * x[0] + a22 * x[1] - 2.0;
  };
  p.jac = [=](const double*, double* v) {
    v[0] = a11;
    v[1] = a12;
    v[2] = a21;
    v[3] = a22;
  };
  p.x0 = {0.0, 0.0};
  p.box(-1e10, 1e10, 1e10);
  return p;
}

// atan(x) = 0 from x0 = 2, where full Newton steps overshoot and grow.
Problem overshoot() {
  Problem p;
  p.name = "overshoot";
  p.n = 1;
  p.irn = {1};
  p.icn = {1};
  p.fun = [](const double* x, double* f) { f[0] = std::atan(x[0]); };
  p.jac = [](const double* x, double* v) { v[0] = 1.0 / (1.0 + x[0] * x[0]); };
  p.x0 = {2.0};
  p.xlb = {-1e10};
  p.xub = {1e10};
  p.dxub = {1e10};
  return p;
}

std::string msg_head(IWORD code) {
  char b[8];
  std::snprintf(b, sizeof b, "%3ld", static_cast<long>(code));
  return "  FAILURE IN NSOLVE:- ERROR FLAG = " + std::string(b);
}

TEST_F(NsolveCodes, NegativeCodeReturnsUnchanged) {
  const Problem p = nsolve_test::broyden_tridiagonal(4);
  Caller c(p, 2);
  c.icode = -3;
  c.nz = 7;
  const auto x = c.x;
  c.call();
  EXPECT_EQ(c.icode, -3);
  EXPECT_EQ(c.nz, 7);  // not even the dense entry count
  EXPECT_EQ(c.x, x);
  EXPECT_EQ(c.maxit, kImiss);
  EXPECT_EQ(c.rmserr, -1.0);
}

TEST_F(NsolveCodes, NegativeCodeReadsNoOtherArgument) {
  // Every argument but ICODE is a null address: a negative code must return
  // before any of them is read.
  for (IWORD code : {-1, -7, -1000}) {
    SCOPED_TRACE(code);
    IWORD icode = code;
    ORVK_NSOLVE(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                &icode);
    EXPECT_EQ(icode, code);
    ORVK_NSOLVE2(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 &icode, nullptr, nullptr, nullptr);
    EXPECT_EQ(icode, code);
  }
}

TEST_F(NsolveCodes, StartCallsAndDefaults) {
  const Problem p = nsolve_test::broyden_tridiagonal(4);
  for (IWORD start : {0, 1, 8, 9}) {
    Caller c(p, 1);
    c.icode = start;
    c.tol = nsolve_test::kRmiss;  // exactly the marker: default
    c.trfac = std::nan("");       // not a number: default
    c.call();
    EXPECT_EQ(c.icode, 2) << start;
    EXPECT_EQ(c.irscl, 0);
    EXPECT_EQ(c.icscl, 0);
    EXPECT_EQ(c.ireuse, 0);
    EXPECT_EQ(c.lsrch, 0);
    EXPECT_EQ(c.istpts, 1);
    EXPECT_EQ(c.jupdt, 1);
    EXPECT_EQ(c.iter0, 0);
    EXPECT_EQ(c.iter, 0);
    EXPECT_EQ(c.nlead, 2);
    EXPECT_EQ(c.iout, 6);
    EXPECT_EQ(c.maxit, 10);
    EXPECT_EQ(c.maxbnd, 3);
    EXPECT_EQ(c.maxdiv, 3);
    EXPECT_EQ(ORVK_NSOLV1.ITERM1, -1);
    EXPECT_EQ(c.tol, 1e-6);
    EXPECT_EQ(c.trfac, 0.1);
    EXPECT_EQ(c.stptol, 0.01);
    EXPECT_EQ(c.divbnd, 1e15);
    EXPECT_EQ(c.rmserr, 0.0);
    EXPECT_EQ(c.xbest, c.x);
    // Sparse option words and the layout.
    EXPECT_EQ(ORVK_SPOPT2.IB, 1);
    EXPECT_EQ(ORVK_SPOPT2.IVECT, c.lwork / 4);
    EXPECT_EQ(ORVK_SPOPT2.JVECT, c.lwork / 4 + c.nz);
    EXPECT_EQ(ORVK_SPOPT2.IORN, c.lwork / 4 - 2 * c.n);
    EXPECT_EQ(ORVK_SPOPT2.IA, c.lwork - c.nz);
    EXPECT_EQ(ORVK_NSOLV1.IXS, 5 * c.n + 1);
    EXPECT_TRUE(ORVK_NSOLV1.FIRSTJ & 1);
    EXPECT_EQ(ORVK_NSOLV2.RMSBST, 1e35);
    EXPECT_EQ(ORVK_NSOLV2.STPMSR, nsolve_test::kRmiss);
  }
  // NSOLVE2 defaults and limits.
  struct {
    IWORD mhist;
    double relax;
    IWORD m;
    double r;
  } lim[] = {{kImiss, nsolve_test::kRmiss, 6, 20.0}, {7, 20.0, 7, 20.0}, {0, 0.5, 1, 1.0}, {-4, 1e6, 1, 1e4},
             {1, 3.0, 1, 3.0}, {25, 100.0, 20, 100.0}, {2, 1.0, 2, 1.0}};
  for (const auto& l : lim) {
    Caller c(p, 1, true);
    c.mhist = l.mhist;
    c.relax = l.relax;
    c.call();
    EXPECT_EQ(c.icode, 2);
    EXPECT_EQ(c.mhist, l.m) << l.mhist;
    EXPECT_EQ(c.relax, l.r);
    EXPECT_EQ(c.lsrch, 1);
    EXPECT_EQ(c.nlead, 0);
  }
  // Scaling modes outside 0..3 become 0; MAXIT given, MAXBND from it.
  Caller c(p, 2);
  c.irscl = 7;
  c.icscl = -1;
  c.maxit = 20;
  c.nz = 3;
  c.call();
  EXPECT_EQ(c.irscl, 0);
  EXPECT_EQ(c.icscl, 0);
  EXPECT_EQ(c.maxbnd, 6);
  EXPECT_EQ(c.nz, 16);
  Caller c2(p, 1);
  c2.maxit = 2;  // a third of it would be 0, which would end every run at once
  c2.call();
  EXPECT_EQ(c2.maxbnd, 1);
  EXPECT_EQ(c2.maxdiv, 1);  // dense: N*N
  EXPECT_EQ(ORVK_NWOPT1.IW4, 8 * 4 + 2 * 16 + 1);
  EXPECT_EQ(ORVK_SPOPT2.X, 3 * 4 + 1);
}

TEST_F(NsolveCodes, ReuseAtStartKeepsPartitionWords) {
  const Problem p = nsolve_test::broyden_tridiagonal(4);
  ORVK_SPOPT2.IVECT = 1234;
  ORVK_SPOPT2.IA = 4321;
  ORVK_SPOPT2.CHKMODE = kImiss;
  Caller c(p, 1);
  c.ireuse = 1;
  c.call();
  EXPECT_EQ(c.icode, 2);
  EXPECT_EQ(ORVK_SPOPT2.IVECT, 1234);
  EXPECT_EQ(ORVK_SPOPT2.IA, 4321);
  EXPECT_EQ(ORVK_SPOPT2.CHKMODE, kImiss);
  // The kept positions are unusable here, so the first factorisation is a
  // fresh analysis and the run still converges.
  c.maxit = 50;
  c.tol = 1e-10;
  c.istpts = 0;
  while (c.icode > 0) {
    c.answer();
    c.call();
  }
  EXPECT_EQ(c.icode, 0);
}

TEST_F(NsolveCodes, SparseOptionDefaultsFromMissingMarker) {
  const Problem p = nsolve_test::broyden_tridiagonal(5);
  for (int k = 0; k < 10; ++k) reinterpret_cast<IWORD*>(&ORVK_SPOPT2)[k] = kImiss;
  ORVK_SPOPT1.PIVTL1 = 1e35;
  ORVK_SPOPT1.PIVTL2 = 2e35;
  ORVK_SPOPT1.SPCFAC = 1e35;
  Caller c(p, 1);
  c.iout = 77;
  c.call();
  const IWORD want[10] = {2, 1, 2, 1, 2, 1, 1, 5, 1, 77};
  for (int k = 0; k < 10; ++k) EXPECT_EQ(reinterpret_cast<IWORD*>(&ORVK_SPOPT2)[k], want[k]) << k;
  EXPECT_EQ(ORVK_SPOPT1.PIVTL1, 1e-4);
  EXPECT_EQ(ORVK_SPOPT1.PIVTL2, 1e-4);
  EXPECT_EQ(ORVK_SPOPT1.SPCFAC, 1.0);
  // With the caller's row numbering (word 7 = 1) the run converges.
  orvika_test::UnitCapture cap(77);
  c.maxit = 50;
  c.tol = 1e-10;
  c.istpts = 0;
  while (c.icode > 0) {
    c.answer();
    c.call();
  }
  EXPECT_EQ(c.icode, 0);
}

struct Failure {
  const char* label;
  IWORD code;
  std::vector<std::string> tail;  // message lines after the head
};

TEST_F(NsolveCodes, ConstructedFailures) {
  orvika_test::UnitCapture cap(6);
  auto run = [&](Caller& c) {
    cap.clear();
    c.iprint = 5;
    return c.solve();
  };
  auto tail_of = [&](std::size_t nlines) {
    const auto& l = cap.lines();
    return std::vector<std::string>(l.end() - static_cast<long>(std::min(nlines, l.size())), l.end());
  };
  {
    SCOPED_TRACE("-1 iteration limit");
    const Problem p = nsolve_test::broyden_tridiagonal(10);
    Caller c(p, 1);
    c.maxit = 2;
    c.tol = 1e-14;
    EXPECT_EQ(run(c), -1);
    EXPECT_EQ(c.iter, 2);
    EXPECT_EQ(tail_of(4), (std::vector<std::string>{"", msg_head(-1), "",
                                                    "  FAILURE TO CONVERGE IN    2 ITERATIONS."}));
  }
  {
    SCOPED_TRACE("-2 divergence bound at the start point");
    const Problem p = nsolve_test::broyden_tridiagonal(10);
    Caller c(p, 2);
    c.divbnd = 1e-3;
    c.maxdiv = 7;
    EXPECT_EQ(run(c), -2);
    EXPECT_EQ(tail_of(4), (std::vector<std::string>{"", msg_head(-2), "",
                                                    "  SOLUTION DIVERGES FOR    7 ITERATIONS."}));
  }
  {
    SCOPED_TRACE("-2 no decrease: best point restored first");
    const Problem p = overshoot();
    Caller c(p, 1);
    c.maxit = 100;
    c.maxdiv = 3;
    c.nlead = 0;
    EXPECT_EQ(run(c), -2);
    // The last request before the end asked for F at the best point.
    ASSERT_GE(c.requests.size(), 2u);
    EXPECT_EQ(c.requests[c.requests.size() - 2], 2);
    EXPECT_EQ(c.x, c.xbest);
    EXPECT_EQ(ORVK_NSOLV1.RESTOR, 1);
  }
  {
    SCOPED_TRACE("-3 held on bounds (NSOLVE)");
    const Problem p0 = nsolve_test::outside_box(3);
    Problem p = p0;
    p.dxub.assign(3, 0.1);
    Caller c(p, 1);
    c.maxbnd = 2;
    c.maxit = 50;
    c.maxdiv = 50;
    EXPECT_EQ(run(c), -3);
    EXPECT_EQ(tail_of(4), (std::vector<std::string>{"", msg_head(-3), "",
                                                    "  VARIABLE STAY ON BOUNDS FOR    2 ITERATIONS."}));
  }
  {
    SCOPED_TRACE("-3 step cut by the box (NSOLVE2)");
    Problem p = nsolve_test::outside_box(2);
    p.x0.assign(2, 0.0);
    Caller c(p, 1, true);
    c.maxit = 50;
    c.maxdiv = 50;
    c.maxbnd = 50;
    c.iprint = 4;
    cap.clear();
    EXPECT_EQ(c.solve(), -3);
    EXPECT_EQ(ORVK_NSOLV1.LSACT, 4);
    EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                               "", "  NSOLVE: *** VARIABLES ON THE BOUNDARY (- for LB) ***",
                               "       -1     -2",
                               "          STEP WITH BOUND/STEP WITHOUT BOUND =   0.0000    "}));
  }
  {
    SCOPED_TRACE("-3 at the first pass with a negative MAXBND");
    const Problem p = nsolve_test::broyden_tridiagonal(4);
    Caller c(p, 2);
    c.maxbnd = -1;
    EXPECT_EQ(run(c), -3);
  }
  {
    SCOPED_TRACE("-4 entry outside the matrix");
    const Problem p = nsolve_test::broyden_tridiagonal(4);
    Caller c(p, 1);
    c.icn[3] = 5;
    EXPECT_EQ(run(c), -4);
    EXPECT_EQ(c.requests.size(), 1u);
    EXPECT_EQ(tail_of(1), (std::vector<std::string>{
                              "  IMPROPER JACOBIAN STRUCTURE ENCOUNTERED IN LINEAR SOLVER."}));
  }
  {
    SCOPED_TRACE("-4 repeated entry with fatal data checks");
    Problem p = linear2(2, 1, 1, 3);
    p.irn.push_back(2);
    p.icn.push_back(2);
    auto jac = p.jac;
    p.jac = [jac](const double* x, double* v) {
      jac(x, v);
      v[4] = 0.0;
    };
    ORVK_SPOPT2.CHKMODE = 1;
    Caller c(p, 1);
    EXPECT_EQ(run(c), -4);
  }
  {
    SCOPED_TRACE("-5 numerically singular");
    const Problem p = linear2(1, 1, 1, 1);
    // Fatal data checks: with repairs allowed the package mends the
    // singular matrix and the run goes on.
    ORVK_SPOPT2.CHKMODE = 1;
    Caller c(p, 1);
    EXPECT_EQ(run(c), -5);
    EXPECT_EQ(tail_of(1), (std::vector<std::string>{"  JACOBIAN MATRIX IS NUMERICALLY SINGULAR."}));
  }
  {
    SCOPED_TRACE("-6 work space too short (sparse layout and dense)");
    const Problem p = nsolve_test::broyden_tridiagonal(10);
    Caller c(p, 1);
    c.lwork = 60;
    EXPECT_EQ(run(c), -6);
    EXPECT_EQ(tail_of(1),
              (std::vector<std::string>{"  INSUFFICIENT STORAGE ALLOCATION FOR DECOMPOSITION."}));
    Caller d(p, 2);
    d.lwork = 9 * 10 + 2 * 100;  // the table's 9N + 2N^2 misses the QP's work
    EXPECT_EQ(run(d), -6);
    Caller e(p, 1);
    e.lwork = 400;  // the layout fits, the LU package does not
    EXPECT_EQ(run(e), -6);
    EXPECT_EQ(e.requests.back(), -6);
  }
  {
    SCOPED_TRACE("-6 ratio of integer to real words not 1");
    const Problem p = nsolve_test::broyden_tridiagonal(4);
    ORVK_SPOPT2.I4FAC = 0;
    Caller c(p, 1);
    EXPECT_EQ(run(c), -6);
    nsolve_test::init_sparse_options();
  }
  {
    SCOPED_TRACE("-6 structural scaling sizes beyond WORK");
    const Problem p = nsolve_test::broyden_tridiagonal(2);
    Caller c(p, 2);
    c.irscl = 1;
    c.nvar = 8;
    c.neq = 0;
    EXPECT_EQ(run(c), -6);
  }
  {
    SCOPED_TRACE("-7 structurally singular");
    Problem p;
    p.n = 3;
    p.irn = {1, 1, 1, 2, 3};
    p.icn = {1, 2, 3, 1, 1};
    p.fun = [](const double* x, double* f) {
      f[0] = x[0] + x[1] + x[2] - 1.0;
      f[1] = x[0] - 2.0;
      f[2] = 2.0 * x[0] - 1.0;
    };
    p.jac = [](const double*, double* v) {
      const double w[5] = {1, 1, 1, 1, 2};
      for (int k = 0; k < 5; ++k) v[k] = w[k];
    };
    p.x0.assign(3, 0.0);
    p.box(-10.0, 10.0, 100.0);
    Caller c(p, 1);
    EXPECT_EQ(run(c), -7);
    EXPECT_EQ(tail_of(1), (std::vector<std::string>{"  JACOBIAN MATRIX IS STRUCTURALLY SINGULAR."}));
  }
  {
    SCOPED_TRACE("N = 0 and N < 0");
    const Problem p = nsolve_test::broyden_tridiagonal(1);
    Caller c(p, 1);
    c.n = 0;
    EXPECT_EQ(run(c), 0);
    Caller d(p, 1);
    d.n = -2;
    EXPECT_EQ(run(d), -4);
  }
}

TEST_F(NsolveCodes, NonFiniteJacobianAndCallsOutOfTurn) {
  for (IWORD st : {1, 2}) {
    SCOPED_TRACE(st);
    SetUp();
    Problem p = linear2(1, 1, 1, 2);
    p.jac = [](const double*, double* v) {
      v[0] = HUGE_VAL;
      v[1] = 1;
      v[2] = 1;
      v[3] = 2;
    };
    Caller c(p, st);
    EXPECT_EQ(c.solve(), -5);
    EXPECT_EQ(c.x, (std::vector<double>{0.0, 0.0}));
  }
  // A trial answer without a run behind it: the work positions it would use
  // are not there, so the call ends with -6 instead of reading outside.
  const Problem p = nsolve_test::broyden_tridiagonal(6);
  Caller d(p, 2);
  d.lwork = 10;
  d.icode = 3;
  d.call();
  EXPECT_EQ(d.icode, -6);
  Caller s(p, 1);
  std::memset(&ORVK_SPOPT2.IB, 0, 41 * sizeof(IWORD));
  s.icode = 4;
  s.call();
  EXPECT_EQ(s.icode, -6);
}

TEST_F(NsolveCodes, IterationCountAtTheEndsOfTheIntegers) {
  // ITER0 at the lowest integer: the count before the first (ITER0 - 1) has
  // no value, so the count starts one above it; every pass is shown on the
  // terminal.  ITER0 at the largest integer ends the run at once with -1;
  // answers out of turn (a Jacobian, then a full step) after it neither
  // step past the largest count nor take the start for the first step.
  const IWORD lo = std::numeric_limits<IWORD>::min(), hi = std::numeric_limits<IWORD>::max();
  const Problem p = nsolve_test::broyden_tridiagonal(5);
  for (bool v2 : {false, true}) {
    SCOPED_TRACE(v2 ? "nsolve2" : "nsolve");
    SetUp();
    Caller c(p, 1, v2);
    c.iter0 = lo;
    c.maxit = 20;
    c.tol = 1e-10;
    c.istpts = 0;
    c.iterm = 1;
    ASSERT_EQ(c.solve(), 0);
    EXPECT_EQ(c.iter0, lo + 1);
    EXPECT_GT(c.iter, lo + 1);
    // The heading page, then one line per pass: ITER0 + 1 .. ITER.
    EXPECT_EQ(orvk_host_terminal_pages(), static_cast<std::size_t>(1 + (c.iter - (lo + 1)) + 1));

    SetUp();
    Caller d(p, 1, v2);
    d.iter0 = hi;
    d.maxit = 20;
    EXPECT_EQ(d.solve(), -1);
    EXPECT_EQ(d.iter, hi);
    for (IWORD code : {6, 3}) {
      p.fun(d.x.data(), d.f.data());
      p.jac(d.x.data(), d.bj.data());
      d.icode = code;
      d.call();
      EXPECT_EQ(d.iter, hi);
    }
  }
}

TEST_F(NsolveCodes, ConvergenceTestsAndRequests) {
  const Problem p = nsolve_test::broyden_tridiagonal(6);
  {
    // ISTPTS = 0: converged as soon as RMS <= TOL, at the start point too.
    Caller c(p, 1);
    c.istpts = 0;
    c.tol = 10.0;
    EXPECT_EQ(c.solve(), 0);
    EXPECT_EQ(c.requests, (std::vector<IWORD>{2, 0}));
    EXPECT_EQ(c.iter, 0);
    EXPECT_GT(c.rms0, 0.0);
    EXPECT_EQ(c.rms0, c.rmserr);
  }
  {
    // ISTPTS != 0: the start point converges only below 0.01 TOL.
    Caller c(p, 1);
    c.tol = 10.0;
    c.call();
    c.answer();
    c.call();
    EXPECT_EQ(c.icode, 6);
  }
  {
    // NLEAD = 2: two dogleg iterations before the first full step.
    Caller c(p, 1);
    c.tol = 1e-12;
    c.maxit = 50;
    EXPECT_EQ(c.solve(), 0);
    ASSERT_GE(c.requests.size(), 6u);
    EXPECT_EQ(std::vector<IWORD>(c.requests.begin(), c.requests.begin() + 6),
              (std::vector<IWORD>{2, 6, 4, 7, 4, 7}));
    EXPECT_EQ(c.requests[6], 3);
  }
  {
    // RMS0 is not written when the count does not start at 0; ITER counts from ITER0.
    Caller c(p, 1);
    c.iter0 = 5;
    c.tol = 1e-12;
    c.maxit = 50;
    EXPECT_EQ(c.solve(), 0);
    EXPECT_EQ(c.rms0, -1.0);
    EXPECT_GT(c.iter, 5);
  }
  {
    // Row or column scaling mode 2: the Jacobian first.
    Caller c(p, 1);
    c.irscl = 2;
    c.call();
    c.answer();
    c.call();
    EXPECT_EQ(c.icode, 6);
    c.answer();
    c.call();
    EXPECT_EQ(c.icode, 4);  // the Jacobian pass followed in the same call
    for (double r : c.rscale) {
      EXPECT_GE(r, 1e-35);
      EXPECT_LE(r, 1e35);
    }
  }
  {
    // ISTOR = 2 sets NZ = N*N at resumed calls too.
    Caller c(p, 2);
    c.call();
    c.nz = 1;
    c.answer();
    c.call();
    EXPECT_EQ(c.nz, 36);
  }
}

TEST_F(NsolveCodes, DoglegTrialsFromOneBase) {
  // Residuals that blow up at every trial: the dogleg rejects four trials and
  // the fifth stands, all from one base point.
  Problem p = nsolve_test::broyden_tridiagonal(3);
  int calls = 0;
  auto fun = p.fun;
  p.fun = [&calls, fun](const double* x, double* f) {
    fun(x, f);
    if (calls++ > 0)
      for (int i = 0; i < 3; ++i) f[i] = 1e6;
  };
  Caller c(p, 1);
  c.maxit = 1;
  c.call();   // 2
  c.answer();
  c.call();   // 6
  c.answer();
  c.call();   // 4
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(c.icode, 4) << k;
    EXPECT_EQ(ORVK_NSOLV1.ICOUNT, k + 1);
    c.answer();
    c.call();
  }
  EXPECT_EQ(c.iter, 1);
  EXPECT_LT(c.icode, 0);
}

TEST_F(NsolveCodes, NonFiniteTrialsNeverStand) {
  // Residuals that are not a number away from the start point: the run never
  // accepts such a point and ends with a failure code, X finite.
  for (bool v2 : {false, true})
    for (IWORD ls : {0, 1}) {
      SCOPED_TRACE(std::string(v2 ? "nsolve2" : "nsolve") + (ls ? " search" : " dogleg"));
      SetUp();
      Problem p = nsolve_test::broyden_tridiagonal(3);
      auto fun = p.fun;
      const std::vector<double> x0 = p.x0;
      p.fun = [fun, x0](const double* x, double* f) {
        fun(x, f);
        bool start = true;
        for (int i = 0; i < 3; ++i) start = start && x[i] == x0[i];
        if (!start) f[1] = std::nan("");
      };
      Caller c(p, 1, v2);
      c.lsrch = ls;
      c.maxit = 20;
      c.maxdiv = 4;
      c.nlead = 0;
      const IWORD code = c.solve();
      EXPECT_LT(code, 0);
      for (double v : c.x) EXPECT_EQ(v, -1.0);
    }
}

TEST_F(NsolveCodes, NonFiniteTrialRetriedAlongTheGradient) {
  // f = (K x1, 2K x2) with K = 1e15 from (2, 3): the scaled residuals are
  // clamped to (1e15, 1e15) and the first dogleg step is the steepest-descent
  // step of length D0 = 0.1 |x0| along -g, g = J'F proportional to (1, 2).
  // Its trial has f1 not a number (x1 < 1.9), and after the clamp its sum of
  // squares equals the base's.  The trial is rejected and the next one is
  // the steepest-descent step of half the length, from the base.
  const double K = 1e15;
  Problem p;
  p.name = "clamped_nan";
  p.n = 2;
  p.irn = {1, 2};
  p.icn = {1, 2};
  p.fun = [K](const double* x, double* f) {
    f[0] = x[0] < 1.9 ? std::nan("") : K * x[0];
    f[1] = 2.0 * K * x[1];
  };
  p.jac = [K](const double*, double* v) {
    v[0] = K;
    v[1] = 2.0 * K;
  };
  p.x0 = {2.0, 3.0};
  p.box(-1e10, 1e10, 1e10);
  const double d0 = 0.1 * std::sqrt(13.0), u = 1.0 / std::sqrt(5.0);
  for (IWORD istor : {1, 2})
    for (bool v2 : {false, true}) {
      SCOPED_TRACE("ISTOR " + std::to_string(istor) + (v2 ? " nsolve2" : " nsolve"));
      SetUp();
      Caller c(p, istor, v2);
      c.maxit = 20;
      c.divbnd = 1e30;
      c.nlead = 5;
      c.lsrch = 0;
      std::vector<std::vector<double>> trials;
      c.call();
      for (int k = 0; k < 40 && c.icode > 0 && trials.size() < 2; ++k) {
        if (c.icode == 4) trials.push_back(c.x);
        c.answer();
        c.call();
      }
      ASSERT_EQ(trials.size(), 2u);
      EXPECT_NEAR(trials[0][0], 2.0 - d0 * u, 1e-12);
      EXPECT_NEAR(trials[0][1], 3.0 - 2.0 * d0 * u, 1e-12);
      EXPECT_NEAR(trials[1][0], 2.0 - 0.5 * d0 * u, 1e-12);
      EXPECT_NEAR(trials[1][1], 3.0 - d0 * u, 1e-12);
    }
}

TEST_F(NsolveCodes, DoglegBaseRestoredOnItsBoundStaysInTheBox) {
  // x1 sits on a bound whose scaled value does not unscale back exactly
  // ((0.1 / 19) 19 < 0.1, (0.1 / 11) 11 > 0.1); x2 has residuals only for
  // x2 <= -2, and the large first radius sends four dogleg trials beyond
  // that, so the fifth, without finite residuals, leaves the base point
  // standing.  Every point handed to the caller, and the best point, must
  // lie in the box.
  struct Side {
    const char* label;
    double xlb, xub, cscale;
  };
  const Side sides[] = {{"lower bound", 0.1, 10.0, 19.0}, {"upper bound", -10.0, 0.1, 11.0}};
  for (const Side& sd : sides)
    for (bool v2 : {false, true})
      for (IWORD st : {1, 2}) {
        SCOPED_TRACE(std::string(sd.label) + (v2 ? " nsolve2" : " nsolve") +
                     (st == 1 ? " sparse" : " dense"));
        SetUp();
        Problem p;
        p.name = "base_on_bound";
        p.n = 2;
        p.irn = {1, 2};
        p.icn = {1, 2};
        p.fun = [](const double* x, double* f) {
          f[0] = x[0] - 0.1;
          f[1] = x[1] > -2.0 ? std::nan("") : std::exp(x[1]) - 1.0;
        };
        p.jac = [](const double* x, double* v) {
          v[0] = 1.0;
          v[1] = std::exp(x[1]);
        };
        p.x0 = {0.1, -3.0};
        p.xlb = {sd.xlb, -100.0};
        p.xub = {sd.xub, 100.0};
        p.dxub = {1e10, 1e10};
        Caller c(p, st, v2);
        c.icscl = 3;
        c.cscale = {sd.cscale, 1.0};
        c.trfac = 100.0;
        c.lsrch = 0;
        c.maxit = 3;
        c.call();
        for (int k = 0; k < 200 && c.icode > 0; ++k) {
          EXPECT_GE(c.x[0], sd.xlb) << "request " << c.icode;
          EXPECT_LE(c.x[0], sd.xub) << "request " << c.icode;
          c.answer();
          c.call();
        }
        EXPECT_LE(c.icode, 0);
        EXPECT_EQ(c.x[0], 0.1);
        EXPECT_EQ(c.xbest[0], 0.1);
      }
}

}  // namespace

TEST_F(NsolveCodes, MeritHistoryOfEarlierRunsTakesNoPart) {
  // ORVK_NSOLVE2 with RELAX = 1 from x0 = 2 on atan(x) = 0: the first full
  // Newton step overshoots, so a reference merit from this run alone rejects
  // it.  Whatever HMERIT holds at the start call (zeros, the large values of
  // an earlier run, values that are not numbers) must give the same run.
  struct Fill {
    const char* label;
    double value;
  };
  const Fill fills[] = {{"zeros", 0.0}, {"earlier run", 1e30}, {"not a number", std::nan("")}};
  const Problem p = overshoot();
  std::vector<IWORD> requests0;
  std::vector<double> x0;
  for (const Fill& fl : fills) {
    SCOPED_TRACE(fl.label);
    SetUp();
    Caller c(p, 1, true);
    c.relax = 1.0;
    c.mhist = 6;
    c.maxit = 50;
    c.maxdiv = 50;
    c.tol = 1e-10;
    c.istpts = 0;
    c.hmerit.assign(20, fl.value);
    c.call();  // 2
    c.answer();
    c.call();  // 6
    c.answer();
    c.call();  // the first relaxation trial
    ASSERT_EQ(c.icode, 5);
    // The reference is the only merit value of this run, RMS at the base.
    EXPECT_EQ(ORVK_NSOLV2.SMAX, c.hmerit[0]);
    EXPECT_DOUBLE_EQ(c.hmerit[0], std::atan(2.0));
    c.answer();
    c.call();
    EXPECT_EQ(c.icode, 5);  // the overshooting trial is rejected, a shorter one follows
    for (int k = 0; k < 2000 && c.icode > 0; ++k) {
      c.answer();
      c.call();
    }
    EXPECT_EQ(c.icode, 0);
    EXPECT_LE(std::fabs(c.x[0]), 1e-10);
    if (requests0.empty()) {
      requests0 = c.requests;
      x0 = c.x;
    } else {
      EXPECT_EQ(c.requests, requests0);
      EXPECT_EQ(c.x, x0);
    }
  }
}

// 1e20 (x - 1) = 3 from x0 = 1 inside a wide box: the root 1 + 3e-20 lies
// between two doubles, so every Newton step is too short to change X.  The
// box cuts nothing: ORVK_NSOLVE2 must end as an iteration limit or a
// divergence, never with -3 and its bound message.
TEST_F(NsolveCodes, StepLostInRoundingIsNotCutByTheBox) {
  Problem p;
  p.name = "lost_step";
  p.n = 1;
  p.irn = {1};
  p.icn = {1};
  p.fun = [](const double* x, double* f) { f[0] = 1e20 * (x[0] - 1.0) - 3.0; };
  p.jac = [](const double*, double* v) { v[0] = 1e20; };
  p.x0 = {1.0};
  p.box(-1e10, 1e10, 1e10);
  struct Case {
    IWORD istor, lsrch;
  };
  const Case cases[] = {{1, 0}, {1, 1}, {2, 0}, {2, 1}};
  orvika_test::UnitCapture cap(6);
  for (const Case& k : cases) {
    SCOPED_TRACE("ISTOR " + std::to_string(k.istor) + " LSRCH " + std::to_string(k.lsrch));
    cap.clear();
    Caller c(p, k.istor, true);
    c.lsrch = k.lsrch;
    c.maxit = 30;
    c.maxdiv = 50;
    c.maxbnd = 50;
    c.iprint = 5;
    const IWORD code = c.solve();
    EXPECT_TRUE(code == -1 || code == -2) << "code " << code;
    EXPECT_EQ(c.x[0], 1.0);
    for (const std::string& line : cap.lines())
      EXPECT_EQ(line.find("VARIABLE STAY ON BOUNDS"), std::string::npos) << line;
  }
}
