// ORVK_NSOLVE and ORVK_NSOLVE2 on named problems, dense and sparse storage,
// with the dogleg, the line search and the non-monotone relaxation search.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "nsolve_test_util.hpp"
#include "orvika/host_stub.h"
#include "support/capture.hpp"

namespace {

using nsolve_test::Caller;
using nsolve_test::Problem;

class NsolveSolve : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    nsolve_test::init_sparse_options();
  }
};

struct Case {
  const char* label;
  Problem (*make)();
  IWORD istor;
  IWORD lsrch;     // 0 dogleg, 1 line search
  bool v2;         // ORVK_NSOLVE2
  IWORD jupdt;     // 1 fresh Jacobians, 2 Broyden
  IWORD irscl, icscl;
};

Problem bt10() { return nsolve_test::broyden_tridiagonal(10); }
Problem bt50() { return nsolve_test::broyden_tridiagonal(50); }

const Case kCases[] = {
    {"bt10 sparse dogleg", bt10, 1, 0, false, 1, 0, 0},
    {"bt10 dense dogleg", bt10, 2, 0, false, 1, 0, 0},
    {"bt50 sparse search", bt50, 1, 1, false, 1, 0, 0},
    {"bt10 dense search", bt10, 2, 1, false, 1, 0, 0},
    {"bt10 sparse broyden", bt10, 1, 0, false, 2, 0, 0},
    {"bt10 dense broyden", bt10, 2, 0, false, 2, 0, 0},
    {"bt50 sparse nsolve2", bt50, 1, 1, true, 1, 0, 0},
    {"bt10 dense nsolve2 dogleg", bt10, 2, 0, true, 1, 0, 0},
    {"bt10 sparse logscale", bt10, 1, 0, false, 1, 2, 2},
    {"bt10 dense colscale", bt10, 2, 0, false, 1, 0, 1},
    {"equilibrium sparse", nsolve_test::equilibrium, 1, 0, false, 1, 0, 0},
    {"equilibrium dense", nsolve_test::equilibrium, 2, 0, false, 1, 0, 0},
    {"equilibrium sparse search", nsolve_test::equilibrium, 1, 1, false, 1, 0, 0},
    {"equilibrium nsolve2", nsolve_test::equilibrium, 1, 1, true, 1, 0, 0},
    {"equilibrium logscale", nsolve_test::equilibrium, 1, 0, false, 1, 2, 2},
    {"powell sparse", nsolve_test::powell_badly_scaled, 1, 0, false, 1, 0, 0},
    {"powell dense", nsolve_test::powell_badly_scaled, 2, 0, false, 1, 0, 0},
    {"powell logscale", nsolve_test::powell_badly_scaled, 1, 0, false, 1, 2, 2},
    {"powell nsolve2", nsolve_test::powell_badly_scaled, 1, 1, true, 1, 0, 0},
    {"bound sparse", nsolve_test::active_bound, 1, 0, false, 1, 0, 0},
    {"bound dense", nsolve_test::active_bound, 2, 0, false, 1, 0, 0},
    {"bound search", nsolve_test::active_bound, 1, 1, false, 1, 0, 0},
    {"bound nsolve2", nsolve_test::active_bound, 1, 1, true, 1, 0, 0},
};

TEST_F(NsolveSolve, KnownSystemsConverge) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    SetUp();
    const Problem p = c.make();
    Caller cl(p, c.istor, c.v2);
    cl.lsrch = c.lsrch;
    cl.jupdt = c.jupdt;
    cl.irscl = c.irscl;
    cl.icscl = c.icscl;
    cl.maxit = 200;
    cl.maxdiv = 50;
    cl.maxbnd = 50;
    cl.tol = 1e-10;
    cl.istpts = 0;
    const IWORD code = cl.solve();
    ASSERT_EQ(code, 0) << "requests: " << cl.requests.size() << " iter " << cl.iter
                       << " rms " << cl.rmserr;
    // The scaled RMS residual it reports, and the true residual at X.
    EXPECT_LE(cl.rmserr, 1e-10);
    double scale = 1.0;
    if (c.irscl != 0)
      for (double r : cl.rscale) scale = std::max(scale, r);
    EXPECT_LE(p.rms(cl.x.data()), 1e-10 * scale * 10);
    for (IWORD i = 0; i < p.n; ++i) {
      EXPECT_GE(cl.x[i], p.xlb[i]);
      EXPECT_LE(cl.x[i], p.xub[i]);
    }
  }
}

TEST_F(NsolveSolve, CallerRowFactorsWithFittedColumns) {
  // Broyden's tridiagonal system with its rows multiplied by 1, 100 and 1e4:
  // the caller's row factors (1, 100, 1e4) undo that, and must stay as
  // given whatever the column mode; every run converges to the root of the
  // unscaled system.
  Problem p = nsolve_test::broyden_tridiagonal(3);
  const double rows[3] = {1.0, 100.0, 1e4};
  auto fun = p.fun;
  auto jac = p.jac;
  p.fun = [fun, rows](const double* x, double* f) {
    fun(x, f);
    for (int i = 0; i < 3; ++i) f[i] *= rows[i];
  };
  auto irn = p.irn;
  p.jac = [jac, irn, rows](const double* x, double* v) {
    jac(x, v);
    for (std::size_t k = 0; k < irn.size(); ++k) v[k] *= rows[irn[k] - 1];
  };
  for (IWORD icscl : {0, 1, 2, 3})
    for (bool v2 : {false, true}) {
      SCOPED_TRACE(std::to_string(icscl) + (v2 ? " nsolve2" : " nsolve"));
      SetUp();
      Caller cl(p, 1, v2);
      cl.irscl = 3;
      cl.icscl = icscl;
      cl.rscale.assign(rows, rows + 3);
      cl.cscale.assign(3, 2.0);
      cl.tol = 1e-10;
      cl.istpts = 0;
      cl.maxit = 50;
      ASSERT_EQ(cl.solve(), 0) << "iter " << cl.iter << " rms " << cl.rmserr;
      EXPECT_EQ(cl.rscale, std::vector<double>(rows, rows + 3));
      const Problem plain = nsolve_test::broyden_tridiagonal(3);
      EXPECT_LE(plain.rms(cl.x.data()), 1e-9);
    }
}

TEST_F(NsolveSolve, PackageLeftWithoutMatrixRestoreSolvesAsWithRestore) {
  // The host may leave the sparse LU package's restore option off (word 6
  // of ORVK_SPOPT2 not 1, as re-solves with kept factors need).  The
  // residual check and the dogleg read the matrix and the right-hand side
  // after the factorisation: the run must be the one with the option on,
  // with no inaccurate-solve report, the pivot tolerances untouched and the
  // host's option word given back.
  const Problem p = nsolve_test::broyden_tridiagonal(40);
  struct Method {
    IWORD method, sclopt;
  };
  for (const Method m : {Method{1, 2}, Method{1, 1}, Method{2, 2}, Method{4, 1}, Method{5, 1}})
    for (bool v2 : {false, true}) {
      SCOPED_TRACE("method " + std::to_string(m.method) + " sclopt " + std::to_string(m.sclopt) +
                   (v2 ? " nsolve2" : " nsolve"));
      auto run = [&](IWORD rstopt, Caller& cl, std::vector<std::string>& lines) {
        SetUp();
        ORVK_SPOPT2.METHOD = m.method;
        ORVK_SPOPT2.SCLOPT = m.sclopt;
        ORVK_SPOPT2.RSTOPT = rstopt;
        cl.lsrch = 0;
        cl.nlead = 1000;  // every step a dogleg step
        cl.tol = 1e-12;
        cl.istpts = 0;
        cl.maxit = 100;
        cl.iout = 31;
        orvika_test::UnitCapture cap(31);
        cl.solve();
        lines = cap.lines();
      };
      Caller on(p, 1, v2), off(p, 1, v2);
      std::vector<std::string> on_lines, off_lines;
      run(1, on, on_lines);
      ASSERT_EQ(on.icode, 0);
      run(2, off, off_lines);
      EXPECT_EQ(ORVK_SPOPT2.RSTOPT, 2);
      EXPECT_EQ(ORVK_SPOPT1.PIVTL1, 1e-4);
      EXPECT_EQ(ORVK_SPOPT1.PIVTL2, 1e-4);
      EXPECT_EQ(off_lines, on_lines);
      EXPECT_EQ(off.icode, 0);
      EXPECT_EQ(off.requests, on.requests);
      EXPECT_EQ(off.x, on.x);
    }
}

TEST_F(NsolveSolve, EquilibriumRootAndActiveBoundRoot) {
  {
    const Problem p = nsolve_test::equilibrium();
    Caller cl(p, 1);
    cl.tol = 1e-12;
    cl.istpts = 0;
    cl.maxit = 100;
    ASSERT_EQ(cl.solve(), 0);
    const double xs[4] = {0.5, 0.2, 0.3, 0.1};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(cl.x[i], xs[i], 1e-9);
  }
  {
    const Problem p = nsolve_test::active_bound();
    Caller cl(p, 2);
    cl.tol = 1e-12;
    cl.istpts = 0;
    cl.maxit = 100;
    ASSERT_EQ(cl.solve(), 0);
    EXPECT_NEAR(cl.x[0], 0.0, 1e-12);
    EXPECT_GE(cl.x[0], 0.0);
    EXPECT_NEAR(cl.x[1], 2.0, 1e-11);
  }
  {
    // Powell's root: x1 = 1.098159e-5, x2 = 9.106146.
    const Problem p = nsolve_test::powell_badly_scaled();
    Caller cl(p, 1);
    cl.tol = 1e-12;
    cl.istpts = 0;
    cl.maxit = 300;
    cl.maxdiv = 100;
    ASSERT_EQ(cl.solve(), 0);
    EXPECT_NEAR(cl.x[0], 1.098159e-5, 1e-10);
    EXPECT_NEAR(cl.x[1], 9.106146, 1e-5);
  }
}

}  // namespace
