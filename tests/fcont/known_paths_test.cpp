// Whole runs on problems whose paths and answers are known from
// mathematics; every point a run reports must lie on its homotopy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fcont_test_util.hpp"
#include "orvika/sparselu.h"

using namespace fcont_test;

namespace {

// Largest scaled homotopy residual allowed at a reported point: the
// corrector stops at FTOL * sqrt(N) = 1e-6 sqrt(N) in the scaled residual,
// or after a correction shorter than XTOL = 1e-6.
constexpr double kOnPath = 1e-5;

std::string label(IWORD istore, IWORD jmode, IWORD ihom) {
  return std::string(istore == 1 ? "sparse" : "dense") + " jmode " + std::to_string(jmode) +
         " type " + std::to_string(ihom);
}

// g(x) = x^3 - 3x + 3 from x = 2 with the residual-shift homotopy
// g(x) = lambda g(2) = 5 lambda: the parameter falls to g(1)/5 = 0.2 at the
// local minimum x = 1, rises to g(-1)/5 = 1 at the local maximum x = -1 and
// falls to 0 at the only real root.
Problem cubic_from_two() {
  Problem p;
  p.n = 1;
  p.x0 = {2.0};
  p.F = [](const double* x, double, double* f) { f[0] = x[0] * x[0] * x[0] - 3 * x[0] + 3; };
  p.J = [](const double* x, double, double* j) { j[0] = 3 * x[0] * x[0] - 3; };
  p.irn = {1};
  p.icn = {1};
  return p;
}
constexpr double kCubicRoot = -2.1038034027355365;  // -(u + 1/u), u^3 = (3 + sqrt 5)/2

TEST(KnownPaths, CubicThroughBothTurningPoints) {
  ASSERT_NEAR(kCubicRoot * kCubicRoot * kCubicRoot - 3 * kCubicRoot + 3, 0.0, 1e-13);
  for (IWORD st : {1, 2})
    for (IWORD jm : {1, 2, 3, 4}) {
      SCOPED_TRACE(label(st, jm, 1));
      ContRun r(cubic_from_two(), st);
      r.jmode = jm;
      r.set_r(rp::FTOL, 1e-13);  // the root to ten decimals
      r.set_r(rp::XTOL, 1e-13);
      ASSERT_EQ(r.solve(), 0);
      EXPECT_EQ(r.rlam, 0.0);
      EXPECT_NEAR(r.x[0], -2.1038034027, 5e-11);
      // The two turning points, in order, each followed by -6 for the
      // accepted point behind it; their places are estimates from the
      // path model between two accepted points.
      std::vector<ContRun::Reported> turns;
      for (std::size_t k = 0; k < r.reported.size(); ++k)
        if (r.reported[k].code == -5) {
          turns.push_back(r.reported[k]);
          ASSERT_LT(k + 1, r.reported.size());
          EXPECT_EQ(r.reported[k + 1].code, -6);
        }
      ASSERT_EQ(turns.size(), 2u);
      EXPECT_NEAR(turns[0].x[0], 1.0, 0.05);
      EXPECT_NEAR(turns[0].lam, 0.2, 0.03);
      EXPECT_NEAR(turns[1].x[0], -1.0, 0.05);
      EXPECT_NEAR(turns[1].lam, 1.0, 0.03);
      EXPECT_LT(r.worst_path_point({2.0}), kOnPath);
    }
}

// x1^2 + x2^2 = 5, x1 x2 = 2: roots (1, 2), (2, 1), (-1, -2), (-2, -1).
// Type 4 takes F(x, lambda) = F(x) - lambda F(x0), the same path as type 1
// written by the caller.
Problem circle_hyperbola(bool natural) {
  Problem p;
  p.n = 2;
  p.x0 = {3.0, 0.5};
  const double f1 = 9.0 + 0.25 - 5.0, f2 = 1.5 - 2.0;
  p.F = [=](const double* x, double lam, double* f) {
    f[0] = x[0] * x[0] + x[1] * x[1] - 5.0 - (natural ? lam * f1 : 0.0);
    f[1] = x[0] * x[1] - 2.0 - (natural ? lam * f2 : 0.0);
  };
  p.J = [](const double* x, double, double* j) {
    j[0] = 2 * x[0];
    j[1] = x[1];
    j[2] = 2 * x[1];
    j[3] = x[0];
  };
  p.irn = {1, 2, 1, 2};
  p.icn = {1, 1, 2, 2};
  return p;
}

// x^3 = 1 from x = 2: every homotopy path crosses the target lambda = 0 at
// the root x = 1 and goes on to negative parameters.  A step whose
// prediction (type 1) or correction (types 2 and 3) lands beyond the target
// must not be accepted, or the run walks away from the root and never
// returns; no accepted point lies beyond the target.
TEST(KnownPaths, PathThatCrossesTheTargetStopsOnIt) {
  Problem p;
  p.n = 1;
  p.x0 = {2.0};
  p.F = [](const double* x, double lam, double* f) {
    f[0] = x[0] * x[0] * x[0] - 1.0 - 7.0 * lam;  // lam only read by type 4
  };
  p.J = [](const double* x, double, double* j) { j[0] = 3.0 * x[0] * x[0]; };
  p.irn = {1};
  p.icn = {1};
  for (IWORD st : {1, 2})
    for (IWORD jm : {1, 2})
      for (IWORD ihom : {1, 2, 3, 4}) {
        SCOPED_TRACE(label(st, jm, ihom));
        Problem q = p;
        if (ihom != 4)
          q.F = [](const double* x, double, double* f) { f[0] = x[0] * x[0] * x[0] - 1.0; };
        ContRun r(q, st);
        r.jmode = jm;
        r.ihom = ihom;
        ASSERT_EQ(r.solve(), 0);
        EXPECT_EQ(r.rlam, 0.0);
        EXPECT_NEAR(r.x[0], 1.0, 1e-6);
        for (const ContRun::Reported& rep : r.reported) EXPECT_GE(rep.lam, 0.0);
        EXPECT_LE(r.worst_path_point(q.x0), kOnPath);
      }
}

TEST(KnownPaths, CircleAndHyperbolaWithEveryHomotopy) {
  for (IWORD ihom : {1, 2, 3, 4})
    for (IWORD st : {1, 2})
      for (IWORD jm : {1, 2}) {
        SCOPED_TRACE(label(st, jm, ihom));
        const Problem p = circle_hyperbola(ihom == 4);
        ContRun r(p, st);
        r.jmode = jm;
        r.ihom = ihom;
        ASSERT_EQ(r.solve(), 0);
        EXPECT_EQ(r.rlam, 0.0);
        // One of the four roots.
        const double a = std::fabs(r.x[0]), b = std::fabs(r.x[1]);
        EXPECT_NEAR(std::min(a, b), 1.0, 1e-6);
        EXPECT_NEAR(std::max(a, b), 2.0, 1e-6);
        EXPECT_GT(r.x[0] * r.x[1], 0.0);
        EXPECT_GT(r.count(-6), 0);
        EXPECT_LT(r.worst_path_point(p.x0), kOnPath);
      }
}

// Bratu's problem -u'' = mu exp(u) on (0, 1), u(0) = u(1) = 0, by central
// differences on N inner points: F_i = 2 x_i - x_(i-1) - x_(i+1) -
// h^2 mu exp(x_i), h = 1/(N+1); tridiagonal pattern, 3N - 2 entries.
Problem bratu(int n, double mu) {
  Problem p;
  p.n = n;
  p.x0.assign(n, 0.0);
  const double h2 = 1.0 / ((n + 1.0) * (n + 1.0));
  p.F = [=](const double* x, double, double* f) {
    for (int i = 0; i < n; ++i)
      f[i] = 2 * x[i] - (i > 0 ? x[i - 1] : 0.0) - (i + 1 < n ? x[i + 1] : 0.0) -
             h2 * mu * std::exp(x[i]);
  };
  p.J = [=](const double* x, double, double* j) {
    std::fill(j, j + static_cast<std::size_t>(n) * n, 0.0);
    for (int i = 0; i < n; ++i) {
      j[i + static_cast<std::size_t>(n) * i] = 2 - h2 * mu * std::exp(x[i]);
      if (i > 0) j[i + static_cast<std::size_t>(n) * (i - 1)] = -1;
      if (i + 1 < n) j[i + static_cast<std::size_t>(n) * (i + 1)] = -1;
    }
  };
  for (int i = 1; i <= n; ++i)
    for (int k = i - 1; k <= i + 1; ++k)
      if (k >= 1 && k <= n) {
        p.irn.push_back(i);
        p.icn.push_back(k);
      }
  return p;
}

// The lower solution of the continuous problem: u(t) = -2 ln(cosh((t -
// 1/2) theta/2) / cosh(theta/4)) with theta = sqrt(2 mu) cosh(theta/4).
double bratu_exact(double t, double mu) {
  double th = 1.0;
  for (int k = 0; k < 200; ++k) th = std::sqrt(2 * mu) * std::cosh(th / 4);
  return -2 * std::log(std::cosh((t - 0.5) * th / 2) / std::cosh(th / 4));
}

TEST(KnownPaths, BratuSparseWithEveryJacobianMode) {
  const int n = 1000;
  const double mu = 1.0;
  const Problem p = bratu(n, mu);
  for (IWORD jm : {1, 2, 3, 4}) {
    SCOPED_TRACE(label(1, jm, 1));
    ContRun r(p, 1);
    r.jmode = jm;
    ASSERT_EQ(r.solve(), 0);
    EXPECT_EQ(r.rlam, 0.0);
    EXPECT_LT(r.residual_at_target(), 1e-9);
    // The grid values agree with the continuous solution to O(h^2).
    double err = 0.0;
    for (int i = 0; i < n; ++i)
      err = std::max(err, std::fabs(r.x[i] - bratu_exact((i + 1.0) / (n + 1.0), mu)));
    EXPECT_LT(err, 1e-6);
    EXPECT_GT(r.count(-6), 0);
    EXPECT_LT(r.worst_path_point(p.x0), kOnPath);
    if (jm == 2) EXPECT_EQ(r.count(-3), 0);
    if (jm != 2) EXPECT_GT(r.count(-3), 0);
  }
}

// A host's own solve with the sparse package: x from the tridiagonal
// system 4 x_i - x_(i-1) - x_(i+1) = i of order 3 in its own work space,
// with its own options and positions.  Returns the largest residual of
// the solution (1e300 when the package fails).
double host_solve() {
  std::vector<double> work(2000, 0.0);
  ORVK_SPOPT1.PIVTL1 = 0.1;
  ORVK_SPOPT1.PIVTL2 = 0.1;
  ORVK_SPOPT1.SPCFAC = 1.0;
  ORVK_SPOPT2_T& o = ORVK_SPOPT2;
  o = ORVK_SPOPT2_T{};
  o.CHKMODE = 1;
  o.INPFRM = 1;
  o.ORDOPT = 2;
  o.METHOD = 2;
  o.SCLOPT = 2;
  o.RSTOPT = 0;
  o.IORNIN = 0;
  o.MSGUNIT = 0;
  o.I4FAC = 1;
  o.IB = 1;
  o.IVECT = 500;
  o.JVECT = 520;
  o.IA = 1900;
  ORVK_SPOPT4.NRHSMX = 1;
  ORVK_SPOPT4.NRHS = 1;
  const IWORD rows[] = {1, 1, 2, 2, 2, 3, 3}, cols[] = {1, 2, 1, 2, 3, 2, 3};
  const double vals[] = {4, -1, -1, 4, -1, -1, 4};
  for (int k = 0; k < 7; ++k) {
    IWORD v = rows[k];
    std::memcpy(&work[o.IVECT - 1 + k], &v, 8);
    v = cols[k];
    std::memcpy(&work[o.JVECT - 1 + k], &v, 8);
    work[o.IA - 1 + k] = vals[k];
  }
  for (int i = 0; i < 3; ++i) work[i] = i + 1.0;
  IWORD spende = 2000, n = 3, nz = 7, code = -99;
  ORVK_CONTRL(reinterpret_cast<IWORD*>(work.data()), work.data(), &spende, &n, &nz, &code);
  if (code != 0) return 1e300;
  const double* x = &work[ORVK_SPOPT2.X - 1];
  // 4 x1 - x2 = 1, -x1 + 4 x2 - x3 = 2, -x2 + 4 x3 = 3.
  return std::max({std::fabs(4 * x[0] - x[1] - 1), std::fabs(-x[0] + 4 * x[1] - x[2] - 2),
                   std::fabs(-x[1] + 4 * x[2] - 3)});
}

TEST(KnownPaths, HostSolvesOfItsOwnBetweenRequestsLeaveTheRunAlone) {
  // Bratu N = 200, sparse: before answering every request the host solves
  // a system of its own with the sparse package (its own options, work
  // space and positions).  The run is not disturbed, and the host finds
  // its own option words in the blocks after every request.
  const ORVK_SPOPT1_T s1 = ORVK_SPOPT1;
  const ORVK_SPOPT2_T s2 = ORVK_SPOPT2;
  const ORVK_SPOPT3_T s3 = ORVK_SPOPT3;
  const ORVK_SPOPT4_T s4 = ORVK_SPOPT4;
  const Problem p = bratu(200, 1.0);
  for (IWORD jm : {1, 2}) {
    SCOPED_TRACE(label(1, jm, 1));
    ContRun r(p, 1);
    r.jmode = jm;
    ORVK_SPOPT2_T mine{};
    double worst = 0.0;
    int changed = 0, calls = 0;
    auto host = [&](ContRun&) {
      if (calls++ > 0 && std::memcmp(&mine, &ORVK_SPOPT2, sizeof mine) != 0) ++changed;
      worst = std::max(worst, host_solve());
      mine = ORVK_SPOPT2;
    };
    r.on_eval = host;
    ASSERT_EQ(r.solve(), 0);
    EXPECT_LT(worst, 1e-14);
    EXPECT_EQ(changed, 0);
    EXPECT_LT(r.residual_at_target(), 1e-9);
    EXPECT_LT(r.worst_path_point(p.x0), kOnPath);
  }
  ORVK_SPOPT1 = s1;
  ORVK_SPOPT2 = s2;
  ORVK_SPOPT3 = s3;
  ORVK_SPOPT4 = s4;
}

// x1 + x2^2/200 = 2.045, x2 + x3^2/200 = 3.08, x3 + x1^2/200 = 4.02: root
// (2, 3, 4) inside the box [0, 10]^3, and the paths of types 1-3 from any
// start in the box stay in it; the start (-5, 1000, 10.5) lies outside.
Problem boxed() {
  Problem p;
  p.n = 3;
  p.x0 = {-5.0, 1000.0, 10.5};
  p.F = [](const double* x, double, double* f) {
    f[0] = x[0] + 0.005 * x[1] * x[1] - 2.045;
    f[1] = x[1] + 0.005 * x[2] * x[2] - 3.08;
    f[2] = x[2] + 0.005 * x[0] * x[0] - 4.02;
  };
  p.J = [](const double* x, double, double* j) {
    j[0] = 1;
    j[1] = 0;
    j[2] = 0.01 * x[0];
    j[3] = 0.01 * x[1];
    j[4] = 1;
    j[5] = 0;
    j[6] = 0;
    j[7] = 0.01 * x[2];
    j[8] = 1;
  };
  p.irn = {1, 3, 1, 2, 2, 3};
  p.icn = {1, 1, 2, 2, 3, 3};
  return p;
}

TEST(KnownPaths, PathStartsAtTheStartPointMovedIntoItsBox) {
  // The start point of the homotopy (XINIT), the best point kept for a
  // failing run (XSAVE) and the restart point of a reversal are the start
  // point after it was moved into its bounds.
  for (IWORD st : {1, 2})
    for (IWORD ihom : {1, 2, 3}) {
      SCOPED_TRACE(label(st, 1, ihom));
      ContRun r(boxed(), st);
      r.ihom = ihom;
      r.xlb.assign(3, 0.0);
      r.xub.assign(3, 10.0);
      ASSERT_EQ(r.solve(), 0);
      ASSERT_FALSE(r.requests.empty());
      const std::vector<double> start(r.w.begin() + r.info(ii::IXINIT) - 1,
                                      r.w.begin() + r.info(ii::IXINIT) - 1 + 3);
      for (double v : start) {
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 10.0);
      }
      EXPECT_NEAR(r.x[0], 2.0, 1e-6);
      EXPECT_NEAR(r.x[1], 3.0, 1e-6);
      EXPECT_NEAR(r.x[2], 4.0, 1e-6);
      EXPECT_LT(r.worst_path_point(start), kOnPath);

      // The first prediction fails at once (no corrector for any residual,
      // smallest step reached): the best point handed back is that start.
      ContRun f(boxed(), st);
      f.ihom = ihom;
      f.xlb.assign(3, 0.0);
      f.xub.assign(3, 10.0);
      f.set_r(rp::FRATIO, 1e-300);
      f.set_r(rp::MINSTP, 0.5);
      f.set_r(rp::INISTP, 1e-6);
      ASSERT_EQ(f.solve(), 8);
      EXPECT_EQ(f.rlam, 1.0);
      EXPECT_EQ(f.x, start);
      EXPECT_EQ(f.requests.back(), -2);  // the restore request
    }
}

TEST(KnownPaths, ReversalRestartsAtTheStartPointMovedIntoItsBox) {
  // The cubic from x = 2.5 in the box [-3, 2.2] with the parameter limit
  // 0.6: the first accepted point (parameter near 0.75) lies above the
  // limit, the reversal restarts from the start point moved into the box,
  // and the second branch (parameter rising from 1) ends with code 9.
  for (IWORD st : {1, 2}) {
    SCOPED_TRACE(st == 1 ? "sparse" : "dense");
    Problem p = cubic_from_two();
    p.x0 = {2.5};
    ContRun r(p, st);
    r.xlb = {-3.0};
    r.xub = {2.2};
    r.set_i(ip::REVERSE, 1);
    r.set_r(rp::PLIMIT, 0.6);
    ASSERT_EQ(r.solve(), 9);
    const double start = r.x_at_request[0];
    EXPECT_GE(start, -3.0);
    EXPECT_LE(start, 2.2);
    std::size_t k = 1;  // the restart: the next residual request at parameter 1
    while (k < r.requests.size() && !(r.requests[k] == -2 && r.lam_at_request[k] == 1.0)) ++k;
    ASSERT_LT(k, r.requests.size());
    EXPECT_EQ(r.x_at_request[k], start);
    EXPECT_EQ(r.info(ii::IPOINT) > 0, true);
    EXPECT_LT(r.worst_path_point({start}), kOnPath);
  }
}

TEST(KnownPaths, ReversalOfANaturalParameterPathRestartsAtTheCorrectedStart) {
  // x^3 - 3x - 6 lambda + 4 = 0 started off the path at x = 2.3: the start
  // correction at lambda = 1 moves X to the path point x = 2; the path falls
  // through the turning point at x = 1 (lambda 1/3) and climbs to the limit
  // 0.9 before the one at x = -1 (lambda 1).  The reversal restarts from the
  // corrected point x = 2, where the second branch rises above the limit
  // at once (code 9).  Every point reported as a path point lies on the path.
  const Problem p = s_curve(2.3);
  for (IWORD st : {1, 2})
    for (IWORD jm : {1, 2}) {
      SCOPED_TRACE(label(st, jm, 4));
      ContRun r(p, st);
      r.ihom = 4;
      r.jmode = jm;
      r.set_i(ip::REVERSE, 1);
      r.set_r(rp::PLIMIT, 0.9);
      ASSERT_EQ(r.solve(), 9);
      EXPECT_GT(r.info(ii::IPOINT), 0);
      bool restart = false;
      for (const auto& pt : r.reported) {
        if (pt.code != -6) continue;
        double f = 0.0;
        p.F(pt.x.data(), pt.lam, &f);
        EXPECT_LT(std::fabs(f), 1e-5) << "x " << pt.x[0] << " lambda " << pt.lam;
        if (pt.lam == 1.0) {
          restart = true;
          EXPECT_NEAR(pt.x[0], 2.0, 1e-6);
        }
      }
      EXPECT_TRUE(restart);
    }
}

}  // namespace
