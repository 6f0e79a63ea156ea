// Final codes of the continuation solver with their messages, the restore
// of the best point, the start checks and the request protocol.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "fcont_test_util.hpp"
#include "orvika/sparselu.h"
#include "sparselu/sparselu.hpp"
#include "support/capture.hpp"

using namespace fcont_test;

namespace {

Problem cubic(double x0 = 2.5) {
  Problem p;
  p.n = 1;
  p.x0 = {x0};
  p.F = [](const double* x, double, double* f) { f[0] = x[0] * x[0] * x[0] - 3 * x[0] + 3; };
  p.J = [](const double* x, double, double* j) { j[0] = 3 * x[0] * x[0] - 3; };
  p.irn = {1};
  p.icn = {1};
  return p;
}

// Linear 2 x 2 system A x = b with a chosen matrix (singular or not).
Problem linear2(double a11, double a21, double a12, double a22, double b1, double b2) {
  Problem p;
  p.n = 2;
  p.x0 = {3.0, 3.0};
  p.F = [=](const double* x, double, double* f) {
    f[0] = a11 * x[0] + a12 * x[1] - b1;
    f[1] = a21 * x[0] + a22 * x[1] - b2;
  };
  p.J = [=](const double*, double, double* j) {
    j[0] = a11;
    j[1] = a21;
    j[2] = a12;
    j[3] = a22;
  };
  p.irn = {1, 2, 1, 2};
  p.icn = {1, 1, 2, 2};
  return p;
}

// A linear residual of order 1 with its root at 1, started at 0, whose
// caller puts VALUE into F at evaluation EVAL (from 1; AT_TARGET: counted
// from the first evaluation at RLAM = 0).  The run must not end as solved
// away from the root.
void expect_no_false_success(IWORD st, IWORD jmode, IWORD ihom, bool at_target, int eval,
                             double value) {
  Problem p;
  p.n = 1;
  p.x0 = {0.0};
  p.F = [](const double* x, double, double* f) { f[0] = 3.0 * (x[0] - 1.0); };
  p.J = [](const double*, double, double* j) { j[0] = 3.0; };
  p.irn = {1};
  p.icn = {1};
  ContRun r(p, st);
  r.jmode = jmode;
  r.ihom = ihom;
  int k = 0;
  r.on_eval = [&](ContRun& q) {
    if (at_target && q.rlam != 0.0) return;
    if (++k == eval) q.f[0] = value;
  };
  const IWORD code = r.solve();
  ASSERT_GE(code, 0);
  if (code == 0) EXPECT_LT(r.residual_at_target(), 1e-8) << "x = " << r.x[0];
}

// Residuals that are not numbers never end the run as solved: not at the
// target (a corrector step made of them has no length of 0), nor at the
// start, which counts as solved only when its residuals are all 0 (not when
// one is not a number, nor when an infinite difference quotient has given
// its row a scale factor of 0).
TEST(FcontFinal, ResidualsThatAreNotNumbersNeverSolve) {
  const double kNan = std::numeric_limits<double>::quiet_NaN();
  const double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* label;
    bool at_target;
    IWORD jmode;
    int eval;
    double value;
  };
  const Case cases[] = {
      {"first residual at the target NaN", true, 1, 1, kNan},
      {"first residual at the target NaN, differences", true, 2, 1, kNan},
      {"second residual at the target NaN, differences", true, 2, 2, kNan},
      {"first residual at the target -Inf, checked Jacobian", true, 3, 1, -kInf},
      {"start residual NaN", false, 1, 1, kNan},
      {"start residual NaN, checked Jacobian", false, 4, 1, kNan},
      {"first difference infinite", false, 2, 2, kInf},
      {"first difference -Inf", false, 2, 2, -kInf},
  };
  for (const Case& c : cases)
    for (IWORD st : {1, 2})
      for (IWORD ihom : {1, 2, 3}) {
        SCOPED_TRACE(std::string(c.label) + " storage " + std::to_string(st) + " type " +
                     std::to_string(ihom));
        expect_no_false_success(st, c.jmode, ihom, c.at_target, c.eval, c.value);
      }
}

// A path that runs into a region where the model is not defined (every
// residual below lambda = 0.5 is not a number) stops at the edge of that
// region with code 8 at its best point, and the caller is never asked for
// its model at a point or parameter that is not a number: a predicted point
// whose residual is not a number is not corrected (the step is shortened),
// and the type-4 parameter derivative at a point next to the edge is taken
// from the side that has numbers.  Circle x^2 + y^2 = 4 + l and hyperbola
// x y = 1 - l/2 (type 4) or F at l = 0 (types 1-3), from (1, 2).
TEST(FcontFinal, PathIntoAnUndefinedRegionStopsAtItsEdge) {
  Problem p;
  p.n = 2;
  p.x0 = {1.0, 2.0};
  p.irn = {1, 2, 1, 2};
  p.icn = {1, 1, 2, 2};
  p.J = [](const double* x, double, double* j) {
    j[0] = 2 * x[0];
    j[1] = x[1];
    j[2] = 2 * x[1];
    j[3] = x[0];
  };
  for (IWORD ihom : {1, 2, 3, 4})
    for (IWORD newton : {0, 1}) {
      SCOPED_TRACE("type " + std::to_string(ihom) + " newton " + std::to_string(newton));
      const double scale = ihom == 4 ? 1.0 : 0.0;
      p.F = [scale](const double* x, double lam, double* f) {
        const double l = scale * lam;
        f[0] = x[0] * x[0] + x[1] * x[1] - 4.0 - l;
        f[1] = x[0] * x[1] - 1.0 + 0.5 * l;
      };
      ContRun r(p, 2);
      r.ihom = ihom;
      r.set_i(ip::LUBNDS, 0);
      r.set_i(ip::NEWTON, newton);
      r.set_r(rp::INISTP, 0.01);
      r.on_eval = [](ContRun& q) {
        if (q.rlam < 0.5) q.f[1] = std::numeric_limits<double>::quiet_NaN();
      };
      EXPECT_EQ(r.solve(), 8);
      for (std::size_t k = 0; k < r.requests.size(); ++k) {
        ASSERT_TRUE(std::isfinite(r.x_at_request[k])) << "request " << k;
        ASSERT_TRUE(std::isfinite(r.lam_at_request[k])) << "request " << k;
      }
      EXPECT_GE(r.rlam, 0.5);
      EXPECT_LT(r.rlam, 0.5 + 1e-3);
      EXPECT_LT(r.homotopy_residual(r.x, r.rlam, p.x0), 1e-5);
    }
}

// A sparse Jacobian that is singular at a corrector iterate has its zero
// pivot repaired by the sparse package, which sets the step of the pivot's
// variable to 0; the solution fails the accuracy check, and its short
// length must not pass for convergence.  Dense storage ends such runs with
// code 4.  The runs must not end as solved away from a solution: a root of
// x^2 = 2 searched from 3 in [0, 3] with BNDAPP = 1 (a prediction beyond
// lambda = 0 is pulled onto x = 0, where the Jacobian is 0), and the
// singular systems x1 + x2 = 2, 2 x1 + 2 x2 = B2 (B2 = 5: no solution; B2 =
// 4: a line of solutions, which the runs still find).
TEST(FcontFinal, RepairedSingularSolvesNeverPassForConvergence) {
  Problem root2;
  root2.n = 1;
  root2.x0 = {3.0};
  root2.F = [](const double* x, double, double* f) { f[0] = x[0] * x[0] - 2.0; };
  root2.J = [](const double* x, double, double* j) { j[0] = 2.0 * x[0]; };
  root2.irn = {1};
  root2.icn = {1};
  struct Case {
    const char* label;
    Problem p;
    bool bounded;
  };
  const Case cases[] = {
      {"x^2 = 2 in [0, 3]", root2, true},
      {"singular, no solution", linear2(1, 2, 1, 2, 2, 5), false},
      {"singular, a line of solutions", linear2(1, 2, 1, 2, 2, 4), false},
  };
  for (const Case& c : cases)
    for (IWORD st : {1, 2})
      for (IWORD jm : {1, 2, 3, 4})
        for (IWORD ihom : {1, 2, 3}) {
          SCOPED_TRACE(std::string(c.label) + " storage " + std::to_string(st) + " jmode " +
                       std::to_string(jm) + " type " + std::to_string(ihom));
          ORVK_SPOPT2.CHKMODE = 2;  // zero pivots repaired
          ContRun r(c.p, st);
          r.jmode = jm;
          r.ihom = ihom;
          if (c.bounded) {
            r.xlb[0] = 0.0;
            r.xub[0] = 3.0;
            r.set_i(ip::LUBNDS, 1);
            r.set_r(rp::BNDAPP, 1.0);
          }
          const IWORD code = r.solve();
          ASSERT_GE(code, 0);
          if (code == 0) EXPECT_LT(r.residual_at_target(), 1e-8) << "x = " << r.x[0];
        }
}

// An infinite Jacobian value at a corrector iterate makes the dense
// factorisation return a zero step (the value divides the right-hand side),
// whose length says nothing about the distance to the path: the run must
// not end as solved there.  The caller answers the Jacobian request at the
// target with an infinite derivative (JMODE 1), or the residual at the
// solver's perturbed point at the target overflows (JMODE 2); x^3 = 1 is
// searched from 2.
TEST(FcontFinal, InfiniteJacobianValuesNeverPassForConvergence) {
  const double kInf = std::numeric_limits<double>::infinity();
  Problem p;
  p.n = 1;
  p.x0 = {2.0};
  p.F = [](const double* x, double, double* f) { f[0] = x[0] * x[0] * x[0] - 1.0; };
  p.J = [](const double* x, double, double* j) { j[0] = 3.0 * x[0] * x[0]; };
  p.irn = {1};
  p.icn = {1};
  for (IWORD st : {1, 2})
    for (IWORD jm : {1, 2})
      for (IWORD ihom : {1, 2, 3}) {
        SCOPED_TRACE("storage " + std::to_string(st) + " jmode " + std::to_string(jm) +
                     " type " + std::to_string(ihom));
        ContRun r(p, st);
        r.jmode = jm;
        r.ihom = ihom;
        // A tight residual test: only a converged point passes it, so an
        // acceptance at the target can come from nothing but a zero step.
        r.set_r(rp::FTOL, 1e-12);
        r.isolv = -1;
        IWORD code = -999;
        for (int k = 0; k < 20000 && code < 0; ++k) {
          r.call();
          if (r.isolv >= 0) {
            code = r.isolv;
          } else if (r.isolv == -2) {
            p.F(r.x.data(), r.rlam, r.f.data());
            if (r.rlam == 0.0 && r.info(ii::NJITER) > 0) r.f[0] = kInf;
          } else if (r.isolv == -3) {
            r.jacobian();
            if (r.rlam == 0.0) r.ajac[0] = kInf;
          }
        }
        ASSERT_GE(code, 0);
        if (code == 0) EXPECT_LT(r.residual_at_target(), 1e-8) << "x = " << r.x[0];
      }
}

std::vector<std::string> framed(const std::string& s) { return {"", s, ""}; }

// Runs with the final message on unit 7 at level LEVEL.
struct Messaged {
  ContRun r;
  orvika_test::UnitCapture cap{7};
  Messaged(const Problem& p, IWORD storage, IWORD level = 3) : r(p, storage) {
    r.set_i(ip::KPLUNT, 7);
    r.set_i(ip::KPLLEV, level);
    r.set_i(ip::FINMSG, 1);
  }
};

TEST(FcontFinal, SuccessMessageOnlyFromLevelFive) {
  {
    Messaged m(cubic(), 2, 3);
    EXPECT_EQ(m.r.solve(), 0);
    EXPECT_TRUE(m.cap.lines().empty());
  }
  Messaged m(cubic(), 2, 5);
  EXPECT_EQ(m.r.solve(), 0);
  char want[80];
  std::snprintf(want, sizeof want, "!!!Fcont_Solve solved successfully, NJAC=%4ld NPOINT=%4ld",
                static_cast<long>(m.r.info(ii::NJAC)), static_cast<long>(m.r.info(ii::NPOINT)));
  EXPECT_EQ(m.cap.lines(), framed(want));
  // FINMSG 0: nothing, whatever the level.
  ContRun q(cubic(), 2);
  q.set_i(ip::KPLUNT, 7);
  q.set_i(ip::KPLLEV, 5);
  q.set_i(ip::FINMSG, 0);
  orvika_test::UnitCapture cap(7);
  EXPECT_EQ(q.solve(), 0);
  EXPECT_TRUE(cap.lines().empty());
}

TEST(FcontFinal, MaximumPointsRestoresTheBestPoint) {
  for (IWORD maxpoint : {2, 3, 4}) {
    Messaged m(cubic(), 2);
    m.r.set_i(ip::MAXPOINT, maxpoint);
    EXPECT_EQ(m.r.solve(), 1);
    EXPECT_EQ(m.r.info(ii::NPOINT), maxpoint);
    EXPECT_EQ(m.cap.lines(), framed("!!!Fcont_Solve exited due to maximum points"));
    // X and RLAM belong to the smallest parameter reached, and F to X.
    EXPECT_EQ(m.r.rlam, m.r.rinf(ri::RLAMSV));
    double fx;
    m.r.p.F(m.r.x.data(), 0.0, &fx);
    EXPECT_EQ(m.r.f[0], fx);
    for (std::size_t k = 0; k < m.r.requests.size(); ++k)
      if (m.r.requests[k] == -6) EXPECT_LE(m.r.rlam, m.r.lam_at_request[k] * (1 + 1e-14));
    // Points 1-3 lower the parameter; point 4 lies past a turning point
    // above the best one, so it is reported and the best point re-evaluated.
    const std::size_t k = m.r.requests.size();
    if (maxpoint == 4) {
      EXPECT_EQ(m.r.requests[k - 2], -6);
      EXPECT_EQ(m.r.requests[k - 1], -2);
      EXPECT_LT(m.r.rlam, m.r.lam_at_request[k - 2]);
    } else {
      EXPECT_EQ(m.r.requests[k - 1], -2);  // the residual of the last point
    }
  }
}

TEST(FcontFinal, MaximumIterationsAndSlowPoints) {
  {
    Messaged m(cubic(), 2);
    m.r.set_i(ip::MAXITER, 1);
    EXPECT_EQ(m.r.solve(), 2);
    EXPECT_EQ(m.cap.lines(), framed("!!!Fcont_Solve exited due to maximum iterations"));
  }
  Messaged m(cubic(), 2);
  m.r.set_r(rp::INISTP, 1e-7);
  m.r.set_r(rp::MAXSTP, 1e-6);
  m.r.set_i(ip::MAXSLOW, 2);
  EXPECT_EQ(m.r.solve(), 3);
  EXPECT_EQ(m.r.info(ii::NSLOW), 2);
  EXPECT_EQ(m.cap.lines(), framed("!!!Fcont_Solve exited due to slow iterations"));
}

TEST(FcontFinal, SingularJacobianDenseAndSparse) {
  for (IWORD st : {1, 2}) {
    // Sparse: data errors fatal, so the singular matrix is not repaired.
    ORVK_SPOPT2.CHKMODE = 1;
    Messaged m(linear2(1, 2, 1, 2, 2, 4), st);
    EXPECT_EQ(m.r.solve(), 4) << st;
    EXPECT_EQ(m.cap.lines().back(), "");
    EXPECT_EQ(m.cap.lines()[m.cap.lines().size() - 2],
              "!!!Fcont_Solve exited due to singular Jacobian");
  }
  ORVK_SPOPT2.CHKMODE = 2;
}

TEST(FcontFinal, StructurallyEmptyAndAllZeroRowsAndColumns) {
  // Sparse pattern without any entry in row 2: structural.
  Problem p = linear2(1, 0, 1, 0, 2, 0);
  p.irn = {1, 1};
  p.icn = {1, 2};
  {
    Messaged m(p, 1);
    EXPECT_EQ(m.r.solve(), 5);
    EXPECT_EQ(m.cap.lines().back(), "");
    EXPECT_EQ(m.cap.lines()[m.cap.lines().size() - 2],
              "!!!Fcont_Solve exited due to structural singular Jacobian");
  }
  // Row 2 present with zero values only: all zero.
  Problem q = linear2(1, 0, 1, 0, 2, 0);
  for (IWORD st : {1, 2}) {
    Messaged m(q, st);
    EXPECT_EQ(m.r.solve(), 16) << st;
    EXPECT_EQ(m.cap.lines()[m.cap.lines().size() - 2],
              "!!!Fcont_Solve exited due to empty row/column");
  }
}

TEST(FcontFinal, StepReducedToMinstpRestoresTheStart) {
  // The caller fails on every point other than the start point.
  Messaged m(cubic(), 2);
  m.r.on_eval = [](ContRun& r) {
    if (r.rlam != 1.0) r.iferr = 1;
  };
  EXPECT_EQ(m.r.solve(), 8);
  EXPECT_EQ(m.cap.lines(), framed("!!!Fcont_Solve exited due to step reduced to MINSTP"));
  EXPECT_EQ(m.r.rlam, 1.0);
  EXPECT_EQ(m.r.x[0], 2.5);
  EXPECT_EQ(m.r.requests.back(), -2);  // the restore request
  EXPECT_LE(m.r.rinf(ri::HTAN), 1e-7);
}

TEST(FcontFinal, ParameterLimitAndReversal) {
  {
    Messaged m(cubic(), 2);
    m.r.set_r(rp::PLIMIT, 0.5);
    EXPECT_EQ(m.r.solve(), 9);
    EXPECT_EQ(m.cap.lines(), framed("!!!Fcont_Solve exited due to reaching parameter limit"));
    EXPECT_EQ(m.r.count(-6), 0);
  }
  // REVERSE: the first point at the limit restarts from the start point
  // towards a rising parameter; the next one ends the run.
  Messaged m(cubic(), 2, 6);
  m.r.set_r(rp::PLIMIT, 0.5);
  m.r.set_i(ip::REVERSE, 1);
  EXPECT_EQ(m.r.solve(), 9);
  const auto& l = m.cap.lines();
  EXPECT_NE(std::find(l.begin(), l.end(), "!!!Fcont_Solve: reverse search direction"), l.end());
  EXPECT_EQ(l[l.size() - 2], "!!!Fcont_Solve exited due to reaching parameter limit");
  EXPECT_GT(m.r.info(ii::IPOINT), 0);
  // The start point of the second branch is reported with -6 at lambda 1.
  bool reported = false;
  for (std::size_t k = 0; k < m.r.requests.size(); ++k)
    reported |= m.r.requests[k] == -6 && m.r.lam_at_request[k] == 1.0;
  EXPECT_TRUE(reported);
  // The best point is the first accepted one (parameter below 1).
  EXPECT_LT(m.r.rlam, 1.0);
  EXPECT_EQ(m.r.rlam, m.r.rinf(ri::RLAMSV));
}

TEST(FcontFinal, StartCorrectionFailsAfterMaxinit) {
  // Natural parameter with the start point far off the path.
  Problem p = cubic(1.2);
  p.F = [](const double* x, double lam, double* f) {
    f[0] = x[0] * x[0] * x[0] - 3 * x[0] + 3 - 11.125 * lam;
  };
  Messaged m(p, 2);
  m.r.ihom = 4;
  m.r.set_i(ip::MAXINIT, 1);
  EXPECT_EQ(m.r.solve(), 7);
  EXPECT_EQ(m.cap.lines(), framed("!!!Fcont_Solve exited with ISOLV =     7"));
}

// A start-point correction step that leaves the model's domain (a residual
// that is not a number) is halved back into it instead of being taken as
// progress: log(x) + 1 - 2 lambda from starts where the full Newton step
// lands at x < 0.  The runs follow the path x = exp(2 lambda - 1) to
// x = 1/e, and no point that is not a number is ever handed to the caller.
TEST(FcontFinal, StartCorrectionStepOutsideTheDomainIsHalvedBack) {
  Problem p;
  p.n = 1;
  p.F = [](const double* x, double lam, double* f) { f[0] = std::log(x[0]) + 1.0 - 2.0 * lam; };
  p.J = [](const double* x, double, double* j) { j[0] = 1.0 / x[0]; };
  p.irn = {1};
  p.icn = {1};
  for (double x0 : {8.0, 20.0, 50.0})
    for (IWORD jmode : {1, 2})
      for (IWORD lubnds : {0, 1}) {
        SCOPED_TRACE("x0 " + std::to_string(x0) + " jmode " + std::to_string(jmode) +
                     " lubnds " + std::to_string(lubnds));
        p.x0 = {x0};
        ContRun r(p, 2);
        r.ihom = 4;
        r.jmode = jmode;
        r.set_i(ip::LUBNDS, lubnds);
        EXPECT_EQ(r.solve(), 0);
        EXPECT_EQ(r.rlam, 0.0);
        EXPECT_NEAR(r.x[0], std::exp(-1.0), 1e-7);
        for (double xr : r.x_at_request) EXPECT_TRUE(std::isfinite(xr)) << xr;
      }
}

TEST(FcontFinal, BadStartingPoint) {
  Messaged m(cubic(), 2);
  m.r.on_eval = [](ContRun& r) { r.iferr = 1; };
  EXPECT_EQ(m.r.solve(), 17);
  EXPECT_EQ(m.r.requests.size(), 1u);
  EXPECT_EQ(m.cap.lines(), framed("!!!Fcont_Solve exited due to bad starting point"));
}

TEST(FcontFinal, StartPointThatSolvesEndsAtOnce) {
  Problem p = linear2(2, 0, 0, 3, 6, 9);  // root (3, 3) = start
  for (IWORD st : {1, 2}) {
    ContRun r(p, st);
    EXPECT_EQ(r.solve(), 0);
    EXPECT_EQ(r.rlam, 0.0);
    EXPECT_EQ(r.x, (std::vector<double>{3.0, 3.0}));
    EXPECT_EQ(r.requests, (std::vector<IWORD>{-2, -3}));
  }
}

// ---- start checks ------------------------------------------------------------------

TEST(FcontStart, InputErrors) {
  struct Row {
    const char* what;
    std::function<void(ContRun&)> set;
    IWORD code;
    const char* text;
  };
  const char* bad = "!!!Fcont_Solve exited due to bad input parameter";
  const std::vector<Row> rows = {
      {"istore 3", [](ContRun& r) { r.istore = 3; }, 12, bad},
      {"jmode 0", [](ContRun& r) { r.jmode = 0; }, 12, bad},
      {"ihom 5", [](ContRun& r) { r.ihom = 5; }, 12, bad},
      {"n -1", [](ContRun& r) { r.n = -1; }, 12, bad},
      {"xscale zero", [](ContRun& r) { r.xscale = {1.0, 0.0}; }, 12, bad},
      {"fscale nan", [](ContRun& r) { r.fscale = {1.0, std::nan("")}; }, 12, bad},
      {"liw short", [](ContRun& r) { r.liw = 0; r.istore = 1; r.jmode = 2; }, 15,
       "!!!Fcont_Solve exited due to insufficient workspace"},
      {"ldb short", [](ContRun& r) { r.ldb = 1; }, 19,
       "!!!Fcont_Solve exited due to too small LDB"},
      {"irn out of range", [](ContRun& r) { r.istore = 1; r.irn[2] = 3; }, 14,
       "!!!Fcont_Solve exited due to bad Jacobian structure"},
      {"icn zero", [](ContRun& r) { r.istore = 1; r.icn[0] = 0; }, 14,
       "!!!Fcont_Solve exited due to bad Jacobian structure"},
  };
  const Problem p = linear2(2, 0, 0, 3, 1, 1);
  for (const Row& row : rows) {
    ContRun r(p, 2);
    r.ajac.assign(4, 0.0);
    r.set_i(ip::KPLUNT, 7);
    r.set_i(ip::KPLLEV, 1);
    r.set_i(ip::FINMSG, 1);
    row.set(r);
    orvika_test::UnitCapture cap(7);
    EXPECT_EQ(r.solve(), row.code) << row.what;
    EXPECT_TRUE(r.requests.empty()) << row.what;
    EXPECT_EQ(cap.lines(), framed(row.text)) << row.what;
  }
}

TEST(FcontStart, EmptySystemIsACallerError) {
  // N = 0 is refused like N < 0 (code 12), before any request.
  for (IWORD n : {0, -1}) {
    Problem p;
    p.n = 0;
    p.F = [](const double*, double, double*) {};
    p.J = [](const double*, double, double*) {};
    for (IWORD st : {1, 2}) {
      Messaged m(p, st);
      m.r.n = n;
      EXPECT_EQ(m.r.solve(), 12) << n << " " << st;
      EXPECT_TRUE(m.r.requests.empty());
      EXPECT_EQ(m.r.rlam, 1.0);
      EXPECT_EQ(m.cap.lines(), framed("!!!Fcont_Solve exited due to bad input parameter"));
    }
  }
}

TEST(FcontStart, WorkspaceLimits) {
  const Problem p = linear2(2, 0, 0, 3, 1, 1);
  // Sparse: LW must hold what the sparse package needs for its first
  // analysis at the driver's input positions; the start check names that
  // length, and a run given exactly that much solves without a code 15 at
  // its first solve.
  struct Row {
    const char* what;
    Problem p;
    IWORD ihom;
    bool rows_given;  // a row numbering handed to the package
  };
  Problem tri;  // tridiagonal, but row 1 is x2 - 1/2 (no diagonal entry)
  tri.n = 30;
  tri.x0.assign(30, 1.0);
  tri.F = [](const double* x, double, double* f) {
    f[0] = x[1] - 0.5;
    for (int i = 1; i < 30; ++i)
      f[i] = 3.0 * x[i] - x[i - 1] - (i < 29 ? x[i + 1] : 0.0) - 0.5;
  };
  tri.J = [](const double*, double, double* j) {
    for (int k = 0; k < 900; ++k) j[k] = 0.0;
    j[0 + 30 * 1] = 1.0;
    for (int i = 1; i < 30; ++i) {
      j[i + 30 * i] = 3.0;
      j[i + 30 * (i - 1)] = -1.0;
      if (i < 29) j[i + 30 * (i + 1)] = -1.0;
    }
  };
  for (int i = 1; i <= 30; ++i)
    for (int k = i - 1; k <= i + 1; ++k)
      if (k >= 1 && k <= 30 && !(i == 1 && k == 1)) {
        tri.irn.push_back(i);
        tri.icn.push_back(k);
      }
  const Row rows[] = {{"2x2 type 1", p, 1, false},
                      {"2x2 type 1, row numbering given", p, 1, true},
                      {"tridiagonal type 3 (diagonals appended)", tri, 3, false},
                      {"tridiagonal type 2", tri, 2, false}};
  const std::string head = "!!!Fcont_Solve: work array W too short, LW must be at least";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const ORVK_SPOPT2_T saved = ORVK_SPOPT2;
    ORVK_SPOPT2.IORNIN = row.rows_given ? 1 : 0;
    IWORD least = 0;
    {
      Messaged m(row.p, 1);
      m.r.ihom = row.ihom;
      for (IWORD i = 0; i < m.r.n; ++i) m.r.iperm[i] = m.r.n - i;
      m.r.lw = 11 * m.r.n + 8;  // no room at all for the linear solver
      m.r.w.assign(m.r.lw + m.r.nz, 0.0);
      EXPECT_EQ(m.r.solve(), 15);
      EXPECT_TRUE(m.r.requests.empty());
      const std::vector<std::string> lines = m.cap.lines();
      ASSERT_EQ(lines.size(), 6u);
      ASSERT_EQ(lines[1].substr(0, head.size()), head);
      least = std::stoll(lines[1].substr(head.size()));
      EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()),
                framed("!!!Fcont_Solve exited due to insufficient workspace"));
      // At least the package's own minimum for the entries it is given.
      const IWORD nz2 = m.r.nz + (row.ihom == 3 ? 1 : 0);
      const IWORD lead = 11 * m.r.n + 8 + (row.ihom == 2 ? m.r.nz : 0) - 1;
      EXPECT_GE(least - lead, orvika::sp_min_spende(m.r.n, nz2, 1, 1, 1.0));
      EXPECT_GT(least - lead, 3 * nz2 + 6 * m.r.n);
    }
    for (IWORD extra : {-1, 0}) {
      Messaged m(row.p, 1);
      m.r.ihom = row.ihom;
      for (IWORD i = 0; i < m.r.n; ++i) m.r.iperm[i] = m.r.n - i;
      m.r.lw = least + extra;
      m.r.w.assign(m.r.lw, 0.0);
      const IWORD code = m.r.solve();
      if (extra < 0) {
        EXPECT_EQ(code, 15);
        EXPECT_TRUE(m.r.requests.empty());
        ASSERT_GE(m.cap.lines().size(), 2u);
        EXPECT_EQ(m.cap.lines()[1], head + std::string(20 - std::to_string(least).size(), ' ') +
                                        std::to_string(least));
      } else {
        EXPECT_EQ(code, 0);
        EXPECT_LT(m.r.residual_at_target(), 1e-6);
      }
    }
    ORVK_SPOPT2 = saved;
  }
  // Dense: LW = IW8S - 1 passes (type 2 lays out N*N words for AJ0).
  for (IWORD ihom : {1, 2}) {
    ContRun r(p, 2);
    r.ihom = ihom;
    r.lw = 11 * 2 + 8 + (ihom == 2 ? 4 : 0) - 1;
    r.w.assign(r.lw, 0.0);
    EXPECT_EQ(r.solve(), 0) << ihom;
  }
  // LIW exactly JNEXT - 1 passes, one word less fails (sparse, differences).
  for (IWORD less : {0, 1}) {
    ContRun r(p, 1);
    r.jmode = 2;
    r.ihom = 3;
    const IWORD jnext = 4 + 2 * 2 + 2 + 2;
    r.liw = jnext - 1 - less;
    r.iw.assign(r.liw, 0);
    EXPECT_EQ(r.solve(), less ? 15 : 0);
  }
}

TEST(FcontStart, SparseWorkShorterThanTheFixedSectionsIsNeverWritten) {
  // LW below IW8S - 1 leaves no room for the linear solver (nor, below
  // 11 N + 7, for the driver's own vectors F0 to W2): the run ends with 15
  // before any request, and no word past LW is touched, whatever the
  // homotopy, the Jacobian mode or the row order given.
  const Problem p = linear2(2, 0, 0, 3, 1, 1);
  const double guard = -123.25;
  const IWORD extra = 64;
  for (IWORD ihom : {1, 2, 3}) {
    for (IWORD jmode : {1, 2}) {
      const IWORD iw8s = 11 * p.n + 8 + (ihom == 2 ? 4 : 0);
      for (IWORD lw = 0; lw <= iw8s - 2; ++lw) {
        SCOPED_TRACE("ihom " + std::to_string(ihom) + " jmode " + std::to_string(jmode) +
                     " lw " + std::to_string(lw));
        Messaged m(p, 1);
        m.r.ihom = ihom;
        m.r.jmode = jmode;
        m.r.iperm = {2, 1};
        m.r.lw = lw;
        m.r.w.assign(static_cast<std::size_t>(lw + extra), guard);
        EXPECT_EQ(m.r.solve(), 15);
        EXPECT_TRUE(m.r.requests.empty());
        // The final line last (the sparse set-up may name the length it needs).
        const std::vector<std::string> lines = m.cap.lines();
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
                  framed("!!!Fcont_Solve exited due to insufficient workspace"));
        for (IWORD k = lw; k < lw + extra; ++k) ASSERT_EQ(m.r.w[k], guard) << "word " << k + 1;
      }
    }
  }
}

TEST(FcontStart, LayoutBeyondTheIntegerRangeIsRefused) {
  // Sizes whose section starts or lengths do not fit in an IWORD end the
  // run with code 15 before anything is laid out, read or written (the
  // arrays passed have one element: a routine that used N would fault).
  struct Row {
    const char* what;
    IWORD istore, jmode, ihom, n, nz;
  };
  const IWORD big = IWORD{1} << 60;
  const IWORD top = std::numeric_limits<IWORD>::max();
  const Row rows[] = {
      {"sparse, 11 N + 8", 1, 1, 1, big, 1},
      {"dense, 11 N + 8", 2, 1, 1, big, 1},
      {"sparse grouping and diagonals", 1, 2, 3, big, 1},
      {"dense start Jacobian N * N", 2, 1, 2, IWORD{1} << 32, 1},
      {"sparse start Jacobian NZ", 1, 1, 2, 4, top - 20},
      {"grouping NZ + 2 N + 2", 1, 2, 1, 4, top - 5},
      {"largest N", 1, 1, 1, top, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Messaged m(linear2(1, 0, 0, 1, 1, 1), row.istore);
    m.r.n = row.n;
    m.r.nz = row.nz;
    m.r.jmode = row.jmode;
    m.r.ihom = row.ihom;
    EXPECT_EQ(m.r.solve(), 15);
    EXPECT_TRUE(m.r.requests.empty());
    EXPECT_EQ(m.r.rlam, 1.0);
    EXPECT_EQ(m.cap.lines(), framed("!!!Fcont_Solve exited due to insufficient workspace"));
    for (int w = ii::IF0; w <= ii::JNEXT; ++w) EXPECT_EQ(m.r.info(w), kImiss) << w;
  }
}

TEST(FcontStart, InvalidBoundsEndTheRun) {
  const Problem p = linear2(2, 0, 0, 3, 1, 1);
  ContRun r(p, 2);
  r.xlb = {1.0, 0.0};
  r.xub = {1.0, 10.0};
  r.set_i(ip::LUBNDS, 1);
  r.set_i(ip::FINMSG, 1);
  r.set_i(ip::KPLUNT, 7);
  orvika_test::UnitCapture cap(7);
  EXPECT_EQ(r.solve(), 13);
  EXPECT_EQ(cap.lines().back(), "");
  EXPECT_EQ(cap.lines()[cap.lines().size() - 2], "!!!Fcont_Solve exited due to bad limit reached");
  EXPECT_EQ(r.x[0], 3.0);
}

// ---- protocol ---------------------------------------------------------------------

TEST(FcontProtocol, NonNegativeIsolvIsACallerError) {
  ContRun r(cubic(), 2);
  r.set_i(ip::KPLUNT, 7);
  r.set_i(ip::KPTUNT, 8);
  IWORD iinfo_before[47];
  std::memcpy(iinfo_before, r.iinfo, sizeof iinfo_before);
  orvika_test::UnitCapture c7(7), c8(8);
  r.isolv = 3;
  r.call();
  EXPECT_EQ(r.isolv, 3);
  EXPECT_EQ(r.x[0], 2.5);
  EXPECT_EQ(std::memcmp(iinfo_before, r.iinfo, sizeof iinfo_before), 0);
  EXPECT_EQ(c7.lines(), framed("!!!Fcont_Solve called with ISOLV =     3"));
  EXPECT_EQ(c8.lines(), framed("!!!Fcont_Solve called with ISOLV =     3"));
}

TEST(FcontProtocol, ChangedLayoutEndsTheRun) {
  ContRun r(cubic(), 2);
  r.isolv = -1;
  r.call();
  ASSERT_EQ(r.isolv, -2);
  r.iinfo[ii::IYB - 1] += 1000;  // the caller touched IINFO during the run
  r.f[0] = 1.0;
  r.call();
  EXPECT_EQ(r.isolv, 12);
  // A resume without any start call does not index the arrays either.
  ContRun q(cubic(), 2);
  q.isolv = -2;
  q.call();
  EXPECT_EQ(q.isolv, 12);
}

TEST(FcontProtocol, CheckedJacobianRequestsAndCounts) {
  ContRun r(cubic(), 2);
  r.jmode = 3;  // the first Jacobian is checked by differences
  EXPECT_EQ(r.solve(), 0);
  EXPECT_EQ(r.iferr, 0);
  EXPECT_EQ(r.info(ii::NJAC), r.count(-3));
  EXPECT_EQ(r.info(ii::NFUN), r.count(-2));
  EXPECT_EQ(r.info(ii::JCALC), 1);
  // -3 first, then -2 for the base point and the one perturbed column.
  ASSERT_GE(r.requests.size(), 5u);
  EXPECT_EQ(r.requests[0], -2);
  EXPECT_EQ(r.requests[1], -3);
  EXPECT_EQ(r.requests[2], -2);
  EXPECT_EQ(r.requests[3], -2);
  EXPECT_EQ(r.requests[4], -2);  // the first predicted point
}

// ---- message routine ---------------------------------------------------------------

std::vector<std::pair<IWORD, std::string>> g_lines;
extern "C" void capture_msg(const IWORD* unit, const IWORD* count, const char* text, int64_t) {
  g_lines.emplace_back(*unit, std::string(text, static_cast<std::size_t>(*count > 0 ? *count : 0)));
}

TEST(FcontMessages, UnitsAboveHundredGoToTheRoutine) {
  g_lines.clear();
  ContRun r(cubic(), 2);
  r.msgrtn = &capture_msg;
  r.set_i(ip::KPLUNT, 150);
  r.set_i(ip::KPLLEV, 6);
  r.set_i(ip::MAXPOINT, 2);
  r.set_i(ip::FINMSG, 1);
  EXPECT_EQ(r.solve(), 1);
  ASSERT_GE(g_lines.size(), 3u);
  for (const auto& l : g_lines) EXPECT_EQ(l.first, 150);
  EXPECT_EQ(g_lines[g_lines.size() - 2].second, "!!!Fcont_Solve exited due to maximum points");
  // The trace lines of level 6 come first.
  EXPECT_EQ(g_lines[0].second.rfind("          ITER:  1  RHO:", 0), 0u) << g_lines[0].second;
  // Without a routine the same unit is silenced by the option check.
  g_lines.clear();
  ContRun q(cubic(), 2);
  q.set_i(ip::KPLUNT, 150);
  q.set_i(ip::FINMSG, 1);
  q.set_i(ip::MAXPOINT, 2);
  EXPECT_EQ(q.solve(), 1);
  EXPECT_EQ(q.iparam[ip::KPLUNT - 1], 0);
  EXPECT_TRUE(g_lines.empty());
}

}  // namespace

namespace {

// x1^3 + x1 - x2 - 1 = 0, x2^3 + 2 x2 - x1 - 2 = 0 from (3, 3), root (1, 1).
Problem pair_from_three() {
  Problem p;
  p.n = 2;
  p.x0 = {3.0, 3.0};
  p.F = [](const double* x, double, double* f) {
    f[0] = x[0] * x[0] * x[0] + x[0] - x[1] - 1.0;
    f[1] = x[1] * x[1] * x[1] + 2.0 * x[1] - x[0] - 2.0;
  };
  p.J = [](const double* x, double, double* j) {
    j[0] = 3.0 * x[0] * x[0] + 1.0;
    j[1] = -1.0;
    j[2] = -1.0;
    j[3] = 3.0 * x[1] * x[1] + 2.0;
  };
  p.irn = {1, 2, 1, 2};
  p.icn = {1, 1, 2, 2};
  return p;
}

// Runs P with the caller putting VALUE into F(1) at residual request EVAL
// (counted from 1), or into the first Jacobian value at Jacobian request
// JAC, after SETUP has set the options; returns the final code, and fails when X or RLAM at any request is
// not a finite number or the run ends as solved away from the root.
IWORD run_with_bad_value(const Problem& p, IWORD st, IWORD jm, IWORD ihom, int eval, int jac,
                         double value,
                         const std::function<void(ContRun&)>& setup = nullptr) {
  ContRun r(p, st);
  r.jmode = jm;
  r.ihom = ihom;
  if (setup) setup(r);
  r.isolv = -1;
  int ne = 0, nj = 0;
  for (int k = 0; k < 20000; ++k) {
    r.call();
    if (r.isolv >= 0) break;
    for (double v : r.x) EXPECT_TRUE(std::isfinite(v)) << "request " << k << " code " << r.isolv;
    EXPECT_TRUE(std::isfinite(r.rlam)) << "request " << k << " code " << r.isolv;
    if (::testing::Test::HasFailure()) return -999;
    if (r.isolv == -2) {
      p.F(r.x.data(), r.rlam, r.f.data());
      if (++ne == eval) r.f[0] = value;
    } else if (r.isolv == -3) {
      r.jacobian();
      if (++nj == jac) r.ajac[0] = value;
    }
  }
  EXPECT_GE(r.isolv, 0);
  if (r.isolv == 0) {
    std::vector<double> f(p.n);
    p.F(r.x.data(), 0.0, f.data());
    for (double v : f) EXPECT_LT(std::fabs(v), 1e-6);
  }
  return r.isolv;
}

}  // namespace

// Residuals or Jacobian values that are not finite numbers (an evaluation
// outside the model's domain, an overflow) never make the solver ask for
// its model at a point or parameter that is not a number: an infinite
// residual counts as a failed evaluation like NaN, a linear solve whose
// solution is not finite ends the run with code 4, and a start residual
// that is not finite is a bad starting point (17).
TEST(FcontFinal, ValuesThatAreNotFiniteNeverReachTheCaller) {
  const double kInf = std::numeric_limits<double>::infinity();
  const double kNan = std::numeric_limits<double>::quiet_NaN();
  for (double value : {kInf, -kInf, kNan})
    for (IWORD st : {1, 2})
      for (IWORD jm : {1, 2, 3})
        for (IWORD ihom : {1, 2, 3, 4}) {
          const Problem p = ihom == 4 ? s_curve(2.0) : pair_from_three();
          for (int eval = 1; eval <= 30; ++eval) {
            SCOPED_TRACE("F(1) = " + std::to_string(value) + " at residual " +
                         std::to_string(eval) + ", storage " + std::to_string(st) + " jmode " +
                         std::to_string(jm) + " type " + std::to_string(ihom));
            const IWORD code = run_with_bad_value(p, st, jm, ihom, eval, 0, value);
            if (eval == 1) EXPECT_EQ(code, 17);
            if (::testing::Test::HasFailure()) return;
          }
          if (jm == 2) continue;
          for (int jac = 1; jac <= 8; ++jac) {
            SCOPED_TRACE("J(1) = " + std::to_string(value) + " at Jacobian " +
                         std::to_string(jac) + ", storage " + std::to_string(st) + " jmode " +
                         std::to_string(jm) + " type " + std::to_string(ihom));
            run_with_bad_value(p, st, jm, ihom, 0, jac, value);
            if (::testing::Test::HasFailure()) return;
          }
        }
}

// A predicted point whose unscaled value overflows is never handed to the
// caller: a first Jacobian of 1e-300 (type 4, the S-curve from 2) gives
// scale factors of 1e150, and the prediction made with them leaves the
// range of doubles; the step is shortened as after a failed evaluation.
TEST(FcontFinal, PredictedPointThatOverflowsIsShortened) {
  for (IWORD st : {1, 2}) {
    SCOPED_TRACE("storage " + std::to_string(st));
    run_with_bad_value(s_curve(2.0), st, 1, 4, 0, 1, 1e-300);
  }
}

// A sparse structure without any entry (NZ = 0) has every equation empty:
// the run ends with code 5 at the first Jacobian, whatever the homotopy and
// the Jacobian source, and never claims that more work space would help.
TEST(FcontFinal, SparseStructureWithoutEntriesIsStructurallySingular) {
  for (IWORD ihom : {1, 2, 3, 4})
    for (IWORD jm : {1, 2}) {
      SCOPED_TRACE("type " + std::to_string(ihom) + " jmode " + std::to_string(jm));
      ContRun r(pair_from_three(), 1);
      r.nz = 0;
      r.ihom = ihom;
      r.jmode = jm;
      EXPECT_EQ(r.solve(), 5);
    }
}

// A real option that is not a number passes the start check and stays, but
// the caller is still never asked for its model at a point or parameter
// that is not a number: a NaN first step, growth factor, bound fraction or
// perturbation (the type-4 parameter offset) with bounds in force.
TEST(FcontFinal, OptionsThatAreNotNumbersNeverReachTheCaller) {
  const double kNan = std::numeric_limits<double>::quiet_NaN();
  for (int word : {rp::INISTP, rp::STPGRO, rp::BNDAPP, rp::PERTF})
    for (IWORD st : {1, 2})
      for (IWORD ihom : {1, 4}) {
        SCOPED_TRACE("RPARAM(" + std::to_string(word) + ") NaN, storage " + std::to_string(st) +
                     " type " + std::to_string(ihom));
        const Problem p = ihom == 4 ? s_curve(2.0) : pair_from_three();
        run_with_bad_value(p, st, 1, ihom, 0, 0, 0.0, [&](ContRun& r) {
          r.set_i(ip::LUBNDS, 1);
          r.set_r(word, kNan);
        });
        if (::testing::Test::HasFailure()) return;
      }
}
