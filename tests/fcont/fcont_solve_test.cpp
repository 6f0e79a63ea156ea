// Whole runs of the continuation solver on known problems, dense and sparse,
// with analytic, difference and checked Jacobians.
#include <gtest/gtest.h>

#include <cmath>

#include "fcont_test_util.hpp"
#include "support/capture.hpp"

using namespace fcont_test;

namespace {

// Cubic x^3 - 3x + 3 from x0 = 2.5: the residual-shift path passes the local
// minimum (x = 1) and maximum (x = -1) of the cubic, two turning points of
// the parameter, before it reaches the only real root.
Problem cubic() {
  Problem p;
  p.name = "cubic";
  p.n = 1;
  p.x0 = {2.5};
  p.F = [](const double* x, double, double* f) { f[0] = x[0] * x[0] * x[0] - 3 * x[0] + 3; };
  p.J = [](const double* x, double, double* j) { j[0] = 3 * x[0] * x[0] - 3; };
  p.irn = {1};
  p.icn = {1};
  return p;
}
double cubic_root() {
  double x = -2.0;
  for (int k = 0; k < 50; ++k) x -= (x * x * x - 3 * x + 3) / (3 * x * x - 3);
  return x;
}

// atan(x1 + x2 - 2) = 0, x1 - x2 = 0 from (4, 4): Newton's method diverges
// (|u| = 6 is far beyond the convergence radius of atan), the homotopy path
// u = tan(lambda atan 6) leads to the root (1, 1).
Problem atan2x2() {
  Problem p;
  p.name = "atan2x2";
  p.n = 2;
  p.x0 = {4.0, 4.0};
  p.F = [](const double* x, double, double* f) {
    f[0] = std::atan(x[0] + x[1] - 2.0);
    f[1] = x[0] - x[1];
  };
  p.J = [](const double* x, double, double* j) {
    const double u = x[0] + x[1] - 2.0, d = 1.0 / (1.0 + u * u);
    j[0] = d;     // (1,1)
    j[1] = 1.0;   // (2,1)
    j[2] = d;     // (1,2)
    j[3] = -1.0;  // (2,2)
  };
  p.irn = {1, 2, 1, 2};
  p.icn = {1, 1, 2, 2};
  return p;
}

// Equilibrium A + B = C with K = 100 and totals A0 = 1, B0 = 2:
// x3 - K x1 x2 = 0, x1 + x3 - 1 = 0, x2 + x3 - 2 = 0.  The root has
// x3 = (301 - sqrt(10601)) / 200.
Problem equilibrium() {
  Problem p;
  p.name = "equilibrium";
  p.n = 3;
  p.x0 = {0.5, 1.5, 0.1};
  p.F = [](const double* x, double, double* f) {
    f[0] = x[2] - 100.0 * x[0] * x[1];
    f[1] = x[0] + x[2] - 1.0;
    f[2] = x[1] + x[2] - 2.0;
  };
  p.J = [](const double* x, double, double* j) {
    for (int k = 0; k < 9; ++k) j[k] = 0.0;
    j[0] = -100.0 * x[1];
    j[3] = -100.0 * x[0];
    j[6] = 1.0;
    j[1] = 1.0;
    j[7] = 1.0;
    j[5] = 1.0;
    j[8] = 1.0;
  };
  p.irn = {1, 1, 1, 2, 2, 3, 3};
  p.icn = {1, 2, 3, 1, 3, 2, 3};
  return p;
}
double equilibrium_x3() { return (301.0 - std::sqrt(10601.0)) / 200.0; }

struct Case {
  const char* problem;
  IWORD istore, jmode, ihom;
};

// Natural-parameter form of a problem: F(x, lambda) = F(x) - lambda F(x0),
// started off the path at X0 + OFFSET so that the start point is corrected
// first.
Problem natural(Problem p, double offset) {
  std::vector<double> f0(p.n);
  p.F(p.x0.data(), 1.0, f0.data());
  auto base = p.F;
  p.F = [base, f0](const double* x, double lam, double* f) {
    base(x, lam, f);
    for (std::size_t i = 0; i < f0.size(); ++i) f[i] -= lam * f0[i];
  };
  for (double& v : p.x0) v += offset;
  return p;
}

Problem by_name(const std::string& s, IWORD ihom) {
  Problem p = s == "cubic" ? cubic() : s == "atan2x2" ? atan2x2() : equilibrium();
  return ihom == 4 ? natural(p, 0.05) : p;
}

class Solves : public ::testing::TestWithParam<Case> {};

TEST_P(Solves, ReachesTheRootAtParameterZero) {
  const Case cs = GetParam();
  const Problem p = by_name(cs.problem, cs.ihom);
  ContRun r(p, cs.istore);
  r.jmode = cs.jmode;
  r.ihom = cs.ihom;
  const IWORD code = r.solve();
  ASSERT_EQ(code, 0) << cs.problem << " istore " << cs.istore << " jmode " << cs.jmode
                     << " ihom " << cs.ihom;
  EXPECT_EQ(r.rlam, 0.0);
  EXPECT_LT(r.residual_at_target(), 1e-5);
  if (p.name == "cubic") EXPECT_NEAR(r.x[0], cubic_root(), 1e-5);
  if (p.name == "atan2x2") {
    EXPECT_NEAR(r.x[0], 1.0, 1e-5);
    EXPECT_NEAR(r.x[1], 1.0, 1e-5);
  }
  if (p.name == "equilibrium") EXPECT_NEAR(r.x[2], equilibrium_x3(), 1e-5);
  // Differences never ask for a Jacobian.
  if (cs.jmode == 2) EXPECT_EQ(r.info(ii::NJAC), 0);
  EXPECT_EQ(r.info(ii::NJAC), r.count(-3));
  EXPECT_EQ(r.info(ii::NFUN), r.count(-2));
}

std::vector<Case> cases() {
  std::vector<Case> v;
  for (const char* pb : {"cubic", "atan2x2", "equilibrium"})
    for (IWORD st : {1, 2})
      for (IWORD jm : {1, 2, 3, 4})
        for (IWORD ih : {1, 2, 3, 4})
          // The fixed-point homotopy (3) of the atan and equilibrium systems
          // runs off to infinity as the parameter falls: only the cubic.
          if (ih != 3 || std::string(pb) == "cubic") v.push_back({pb, st, jm, ih});
  return v;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, Solves, ::testing::ValuesIn(cases()),
                         [](const auto& info) {
                           const Case& c = info.param;
                           return std::string(c.problem) + "_st" + std::to_string(c.istore) +
                                  "_jm" + std::to_string(c.jmode) + "_h" +
                                  std::to_string(c.ihom);
                         });

TEST(FcontSolve, CubicReportsBothTurningPoints) {
  const Problem p = cubic();
  ContRun r(p, 2);
  ASSERT_EQ(r.solve(), 0);
  ASSERT_EQ(r.count(-5), 2);
  // The turning points are the extrema of the cubic: lambda = g(1)/g(2.5)
  // and g(-1)/g(2.5), reported in that order.
  std::vector<double> lams;
  for (std::size_t k = 0; k < r.requests.size(); ++k)
    if (r.requests[k] == -5) lams.push_back(r.lam_at_request[k]);
  std::vector<double> xs;
  for (std::size_t k = 0; k < r.requests.size(); ++k)
    if (r.requests[k] == -5) xs.push_back(r.x_at_request[k]);
  EXPECT_NEAR(lams[0], 1.0 / 11.125, 0.02);
  EXPECT_NEAR(lams[1], 5.0 / 11.125, 0.02);
  EXPECT_NEAR(xs[0], 1.0, 0.05);
  EXPECT_NEAR(xs[1], -1.0, 0.05);
  // Each turning point is followed by -6 for the same accepted point.
  for (std::size_t k = 0; k + 1 < r.requests.size(); ++k)
    if (r.requests[k] == -5) EXPECT_EQ(r.requests[k + 1], -6);
}


TEST(FcontSolve, NaturalParameterCorrectsTheStartPointFirst) {
  Problem p = natural(cubic(), 0.2);
  ContRun r(p, 2);
  r.ihom = 4;
  ASSERT_EQ(r.solve(), 0);
  EXPECT_NEAR(r.x[0], cubic_root(), 1e-5);
  // Requests at lambda = 1 move X onto F(x, 1) = 0 before the path starts.
  std::size_t first_off = 0;
  while (r.lam_at_request[first_off] == 1.0 ||
         std::fabs(r.lam_at_request[first_off] - 1.0) < 1e-4)
    ++first_off;
  ASSERT_GT(first_off, 4u);
  EXPECT_GT(r.info(ii::ITER), 0);
}

TEST(FcontSolve, NaturalParameterWithoutParameterDependenceIsNoSuccess) {
  // F(x, lambda) = x - 2 from x0 = 3: the parameter derivative is zero, which
  // says nothing about F at the target, so the run must not report success
  // at x0 (whose residual is 1).
  Problem p;
  p.n = 1;
  p.x0 = {3.0};
  p.F = [](const double* x, double, double* f) { f[0] = x[0] - 2.0; };
  p.J = [](const double*, double, double* j) { j[0] = 1.0; };
  p.irn = {1};
  p.icn = {1};
  ContRun r(p, 2);
  r.ihom = 4;
  const IWORD code = r.solve();
  if (code == 0)
    EXPECT_NEAR(r.x[0], 2.0, 1e-6);
  else
    EXPECT_EQ(code, 8);
  EXPECT_GT(r.requests.size(), 2u);
}

TEST(FcontSolve, NaturalParameterOffsetBelowRoundingStaysANumber) {
  // x^3 - 3x - 6 lambda + 4 = 0 from its point x = 2 at lambda = 1.  With a
  // relative perturbation below the spacing of the numbers at lambda the
  // parameter offset of the central difference vanishes in the sum; the
  // derivative must still be a number (not 0/0), so that the path starts
  // and its points lie on it.
  const Problem p = s_curve(2.0);
  for (IWORD st : {1, 2})
    for (double pertf : {1e-16, 1e-17, 1e-300}) {
      SCOPED_TRACE("storage " + std::to_string(st) + " PERTF " + std::to_string(pertf));
      ContRun r(p, st);
      r.ihom = 4;
      r.set_r(rp::PERTF, pertf);
      r.set_i(ip::MAXPOINT, 2);
      EXPECT_EQ(r.solve(), 1);
      EXPECT_TRUE(std::isfinite(r.rinf(ri::FNORM0)));
      EXPECT_TRUE(std::isfinite(r.rinf(ri::PSCALE)));
      EXPECT_EQ(r.info(ii::NPOINT), 2);
      // The points reported and the best point handed back lie on the path.
      auto reported = r.reported;
      reported.push_back({0, r.rlam, r.x});
      for (const auto& pt : reported) {
        double f = 0.0;
        p.F(pt.x.data(), pt.lam, &f);
        EXPECT_LT(std::fabs(f), 1e-5) << "lambda " << pt.lam;
        EXPECT_LT(pt.lam, 1.0);
      }
    }
}

TEST(FcontSolve, DampedStartCorrectionStops) {
  // A Newton step of scaled length 5e5 (damping 2e-5) into a residual that
  // keeps growing: the halving of the step must come to an end.
  Problem p;
  p.n = 1;
  p.x0 = {0.0};
  p.F = [](const double* x, double lam, double* f) {
    f[0] = 0.5 + 1e-6 * x[0] + x[0] * x[0] + 0.1 * (lam - 1.0);
  };
  p.J = [](const double* x, double, double* j) { j[0] = 1e-6 + 2.0 * x[0]; };
  p.irn = {1};
  p.icn = {1};
  ContRun r(p, 2);
  r.ihom = 4;
  r.fscale = {1.0};
  r.xscale = {1.0};
  r.set_i(ip::MAXINIT, 3);
  const IWORD code = r.solve(5000);
  EXPECT_GE(code, 0);
  EXPECT_LT(r.count(-2), 500);
}

TEST(FcontSolve, DampedStartStepIsHalvedFromItsBasePoint) {
  // g(x) = x^2/10 - 1e-5 x + lambda at lambda = 1 from x = 0: g = 1, g' =
  // -1e-5, a Newton step of 1e5 damped to length 10 (ALPHA = 1e-4).  At
  // x = 10 the residual has grown elevenfold, so the step is halved from the
  // base point 0: x = 5 (residual 3.5, still more than doubled), then
  // x = 2.5 (1.625), where the halving stops.
  Problem p;
  p.n = 1;
  p.x0 = {0.0};
  p.F = [](const double* x, double lam, double* f) {
    f[0] = 0.1 * x[0] * x[0] - 1e-5 * x[0] + lam;
  };
  p.J = [](const double* x, double, double* j) { j[0] = 0.2 * x[0] - 1e-5; };
  p.irn = {1};
  p.icn = {1};
  for (IWORD st : {1, 2}) {
    ContRun r(p, st);
    r.ihom = 4;
    r.fscale = {1.0};
    r.xscale = {1.0};
    r.set_i(ip::MAXINIT, 3);
    r.solve(2000);
    // Residual requests at lambda = 1 after the first Jacobian.
    std::vector<double> trial;
    bool jac = false;
    for (std::size_t k = 0; k < r.requests.size(); ++k) {
      if (r.requests[k] == -3) jac = true;
      if (jac && r.requests[k] == -2 && r.lam_at_request[k] == 1.0)
        trial.push_back(r.x_at_request[k]);
    }
    ASSERT_GE(trial.size(), 3u);
    EXPECT_NEAR(trial[0], 10.0, 1e-9);
    EXPECT_NEAR(trial[1], 5.0, 1e-9);
    EXPECT_NEAR(trial[2], 2.5, 1e-9);
  }
}

TEST(FcontSolve, NotANumberResidualNeverAcceptsAPoint) {
  // The caller returns NaN at the first corrector iterate; the step is
  // retried and every reported point lies on the path.
  const Problem p = atan2x2();
  ContRun r(p, 2);
  int seen = 0;
  r.on_eval = [&seen](ContRun& q) {
    if (q.requests.size() >= 2 && q.requests[q.requests.size() - 2] == -3 && q.rlam < 1.0 &&
        seen++ == 0)
      q.f[0] = std::nan("");
  };
  ASSERT_EQ(r.solve(), 0);
  EXPECT_EQ(seen > 0, true);
  EXPECT_GE(r.info(ii::IFAIL), 0);
  for (std::size_t k = 0; k < r.requests.size(); ++k)
    if (r.requests[k] == -6) EXPECT_FALSE(std::isnan(r.lam_at_request[k]));
  EXPECT_NEAR(r.x[0], 1.0, 1e-5);
}

TEST(FcontSolve, DenseLeadingDimensionAndGivenScales) {
  // LDB = N + 2 with the start-Jacobian homotopy (its copy has leading
  // dimension N); scale factors given by the caller stay as they are.
  const Problem p = atan2x2();
  ContRun r(p, 2);
  r.ihom = 2;
  r.ldb = 4;
  r.ajac.assign(4 * 2, 0.0);
  r.fscale = {2.0, 0.5};
  r.xscale = {0.25, 4.0};
  ASSERT_EQ(r.solve(), 0);
  EXPECT_NEAR(r.x[0], 1.0, 1e-5);
  EXPECT_NEAR(r.x[1], 1.0, 1e-5);
  EXPECT_EQ(r.fscale, (std::vector<double>{2.0, 0.5}));
  EXPECT_EQ(r.xscale, (std::vector<double>{0.25, 4.0}));
  // Missing scales are computed and left for the caller.
  ContRun q(p, 2);
  q.fscale = {0.0, 0.0};
  q.xscale = {2.0, 7.0};  // given: only FSCALE is computed
  ASSERT_EQ(q.solve(), 0);
  EXPECT_GT(q.fscale[0], 0.0);
  EXPECT_EQ(q.xscale, (std::vector<double>{2.0, 7.0}));
}

TEST(FcontSolve, RestartWithTheSameArraysGivesTheSameRun) {
  const Problem p = equilibrium();
  ContRun r(p, 1);
  r.jmode = 2;
  ASSERT_EQ(r.solve(), 0);
  const std::vector<double> x1 = r.x;
  const std::vector<IWORD> req1 = r.requests;
  // Second run from the same start with the scales the first one computed.
  r.x = p.x0;
  r.requests.clear();
  ASSERT_EQ(r.solve(), 0);
  EXPECT_EQ(r.x, x1);
  EXPECT_EQ(r.requests, req1);
}

}  // namespace
