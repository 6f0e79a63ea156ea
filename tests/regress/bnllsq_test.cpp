// ORVK_BNLLSQ with both engines: straight lines and the Antoine equation on
// exact and noisy data against an independent weighted least-squares
// solution, statistics, active bounds, the work-length line and bad counts.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "orvika/host_stub.h"
#include "regress/regress_test_util.hpp"
#include "support/capture.hpp"

namespace {

using regress_test::Bnllsq;
using regress_test::Vec;

class BnllsqTest : public ::testing::TestWithParam<int> {  // parameter: engine
 protected:
  void SetUp() override {
    orvk_host_reset();
    orvk_host_set_timer_step(1.0);
  }
};

struct Line {
  Vec x, y, r;
};
Line line_data(bool noisy) {
  Line d;
  const double noise[10] = {0.12, -0.08, 0.05, -0.15, 0.09, 0.02, -0.11, 0.07, -0.03, 0.04};
  for (int i = 0; i < 10; ++i) {
    d.x.push_back(0.5 * i);
    d.y.push_back(2.0 - 0.8 * d.x.back() + (noisy ? noise[i] : 0.0));
    d.r.push_back(0.1 + 0.02 * i);
  }
  return d;
}

// Weighted straight-line reference: P, covariance (J'WJ)^-1 and SSQ.
struct Ref {
  Vec p, cov;
  double ssq;
};
Ref line_reference(const Line& d) {
  const int m = static_cast<int>(d.x.size());
  Vec a(2 * m), b(m);
  for (int i = 0; i < m; ++i) {
    a[i] = 1 / d.r[i];
    a[m + i] = d.x[i] / d.r[i];
    b[i] = d.y[i] / d.r[i];
  }
  Ref ref;
  ref.p = regress_test::lstsq(m, 2, a, b);
  Vec jtj(4, 0.0);
  for (int j = 0; j < 2; ++j)
    for (int l = 0; l < 2; ++l)
      for (int i = 0; i < m; ++i) jtj[j + 2 * l] += a[i + j * m] * a[i + l * m];
  ref.cov = regress_test::inverse(2, jtj);
  ref.ssq = 0;
  for (int i = 0; i < m; ++i) ref.ssq += std::pow((ref.p[0] + ref.p[1] * d.x[i] - d.y[i]) / d.r[i], 2);
  return ref;
}

TEST_P(BnllsqTest, ExactLineIsRecovered) {
  const Line d = line_data(false);
  for (IWORD ndrv : {0, 1}) {
    Bnllsq b(2, d.x, d.y, d.r, {0.0, 0.0});
    b.ieng = GetParam();
    b.ndrv = ndrv;
    b.iods = 2;
    b.run(regress_test::line9);
    EXPECT_EQ(b.istat, 0) << ndrv;
    EXPECT_EQ(b.iflag1, 1);
    EXPECT_NEAR(b.p[0], 2.0, 1e-7);
    EXPECT_NEAR(b.p[1], -0.8, 1e-7);
    EXPECT_EQ(b.plow[0], -1e35);
    EXPECT_EQ(b.pupp[1], 1e35);
    for (size_t i = 0; i < d.x.size(); ++i) EXPECT_NEAR(b.z[i], d.y[i], 1e-6);
  }
}

TEST_P(BnllsqTest, NoisyLineMatchesWeightedLeastSquaresAndItsStatistics) {
  const Line d = line_data(true);
  const Ref ref = line_reference(d);
  Bnllsq b(2, d.x, d.y, d.r, {1.0, 1.0});
  b.ieng = GetParam();
  b.iods = 2;
  b.run(regress_test::line9);
  ASSERT_EQ(b.istat, 0);
  EXPECT_NEAR(b.p[0], ref.p[0], 1e-7);
  EXPECT_NEAR(b.p[1], ref.p[1], 1e-7);
  EXPECT_NEAR(b.ssq, ref.ssq, 1e-8 * ref.ssq);
  const double s2 = ref.ssq / 8;
  EXPECT_NEAR(b.sigma, std::sqrt(s2), 1e-6);
  // ORVK_LUEBRN returns the covariance scaled by s^2 (ISV = 0); ORVK_LUEBRI
  // returns the unscaled (J'WJ)^-1 over the parameter scales (1 here).
  const double v = GetParam() == 1 ? 1.0 : s2;
  EXPECT_NEAR(b.cpack[0], v * ref.cov[0], 1e-6 * v * ref.cov[0]);
  EXPECT_NEAR(b.cpack[1], v * ref.cov[1], 1e-6 * std::fabs(v * ref.cov[1]));
  EXPECT_NEAR(b.cpack[2], v * ref.cov[3], 1e-6 * v * ref.cov[3]);
}

TEST_P(BnllsqTest, AntoineEquationExactAndNoisy) {
  const double ptrue[3] = {16.5, 3800.0, -45.0};
  Vec t, y, r;
  const double noise[12] = {0.004, -0.006, 0.003, 0.001, -0.005, 0.002,
                            0.006, -0.002, -0.004, 0.005, -0.001, 0.003};
  for (bool noisy : {false, true}) {
    t.clear();
    y.clear();
    r.clear();
    for (int i = 0; i < 12; ++i) {
      t.push_back(300 + 10 * i);
      y.push_back(regress_test::antoine(ptrue, t.back()) + (noisy ? noise[i] : 0.0));
      r.push_back(0.01);
    }
    Bnllsq b(3, t, y, r, {15.0, 3500.0, -40.0});
    b.ieng = GetParam();
    b.iods = 2;
    b.iter = 200;
    b.tol = 1e-12;
    b.run(regress_test::antoine9);
    ASSERT_EQ(b.istat, 0) << noisy;
    Vec jtj;
    const Vec ref = regress_test::gauss_newton(regress_test::antoine9, 3, t, y, r,
                                               {15.0, 3500.0, -40.0}, &jtj);
    if (!noisy) {
      EXPECT_NEAR(b.p[0], ptrue[0], 1e-6);
      EXPECT_NEAR(b.p[1], ptrue[1], 1e-3);
      EXPECT_NEAR(b.p[2], ptrue[2], 1e-4);
    }
    EXPECT_NEAR(b.p[0], ref[0], 1e-6 * std::fabs(ref[0])) << noisy;
    EXPECT_NEAR(b.p[1], ref[1], 1e-6 * std::fabs(ref[1])) << noisy;
    EXPECT_NEAR(b.p[2], ref[2], 1e-6 * std::fabs(ref[2])) << noisy;
    if (noisy) {
      // Standard deviations from the covariance against the reference.
      const Vec cov = regress_test::inverse(3, jtj);
      const double s2 = b.ssq / 9;
      const double v = GetParam() == 1 ? 1.0 : s2;
      EXPECT_NEAR(b.cpack[0], v * cov[0], 1e-3 * v * cov[0]);
      EXPECT_NEAR(b.cpack[2], v * cov[4], 1e-3 * v * cov[4]);
      EXPECT_NEAR(b.cpack[5], v * cov[8], 1e-3 * v * cov[8]);
    }
  }
}

// y = p x against data orthogonal to x = (1, 2, 3): the weighted least-squares
// answer is p = 0 with SSQ 75.  A parameter that ends at 0 with an ordinary
// derivative column is a fit, not a model saturated in it.
void slope9(const IWORD*, const IWORD* ndat, void* mdat1, const double* p, void*, const IWORD* req,
            double* f, double* fp, void*) {
  const double* x = static_cast<const double*>(mdat1);
  for (IWORD i = 0; i < *ndat; ++i) {
    f[i] = p[0] * x[i];
    if (*req == 0) fp[i] = x[i];
  }
}

TEST_P(BnllsqTest, ZeroCoefficientIsAFit) {
  for (double start : {1.0, -1.0, 0.5}) {
    Bnllsq b(1, {1, 2, 3}, {-5, -5, 5}, {1, 1, 1}, {start});
    b.ieng = GetParam();
    b.run(slope9);
    EXPECT_EQ(b.istat, 0) << start;
    EXPECT_NEAR(b.p[0], 0.0, 1e-9) << start;
    EXPECT_NEAR(b.ssq, 75.0, 1e-9) << start;
    EXPECT_LT(b.iter, 10) << start;
  }
}

TEST_P(BnllsqTest, UpperBoundActiveAtTheSolution) {
  const Line d = line_data(true);
  Bnllsq b(2, d.x, d.y, d.r, {0.0, -2.0});
  b.ieng = GetParam();
  b.iods = 2;
  b.ibound = 1;
  b.plow = {-10, -10};
  b.pupp = {10, -1.0};  // the free slope is about -0.8
  b.run(regress_test::line9);
  EXPECT_EQ(b.istat, 0);
  EXPECT_EQ(b.plow[0], -10);  // given bounds are kept
  EXPECT_DOUBLE_EQ(b.p[1], -1.0);
  double sw = 0, swr = 0;
  for (size_t i = 0; i < d.x.size(); ++i) {
    const double w = 1 / (d.r[i] * d.r[i]);
    sw += w;
    swr += w * (d.y[i] + 1.0 * d.x[i]);
  }
  EXPECT_NEAR(b.p[0], swr / sw, 1e-7);
  // The parameter at its bound has a zero row in the statistics.
  EXPECT_EQ(b.cpack[1], 0.0);
  EXPECT_EQ(b.cpack[2], 0.0);
}

void constant9(const IWORD* npar, const IWORD* ndat, void*, const double* p, void*,
               const IWORD* req, double* f, double* fp, void*) {
  for (IWORD i = 0; i < *ndat; ++i) {
    f[i] = p[0];
    if (*req == 0) fp[i * *npar] = 1;
  }
}

// Starts outside the bounds, or far inside a wide bound: the fit ends
// converged on the bound nearest the free optimum, never outside the box.
TEST_P(BnllsqTest, StartOutsideOrFarFromAnActiveBound) {
  const Line d = line_data(true);  // free slope about -0.8
  struct Case {
    double p0, lo, up, expect;
  } cases[] = {
      {-0.8, -10.0, -1.0, -1.0},   // start above the upper bound
      {-0.8, -0.5, 10.0, -0.5},    // start below the lower bound
      {-0.8, -0.9, -0.9, -0.9},    // fixed parameter, start off its value
      {-2e29, -1e30, -1.0, -1.0},  // start far inside, upper bound active
      {2e29, -0.5, 1e30, -0.5},    // start far inside, lower bound active
  };
  for (const Case& c : cases)
    for (IWORD ndrv : {0, 1}) {
      Bnllsq b(2, d.x, d.y, d.r, {2.0, c.p0});
      b.ieng = GetParam();
      b.ndrv = ndrv;
      b.iods = 2;
      b.ibound = 1;
      b.plow = {-10, c.lo};
      b.pupp = {10, c.up};
      b.run(regress_test::line9);
      EXPECT_EQ(b.istat, 0) << c.p0 << " " << ndrv;
      EXPECT_EQ(b.p[1], c.expect) << c.p0 << " " << ndrv;
      double sw = 0, swr = 0;
      for (size_t i = 0; i < d.x.size(); ++i) {
        const double w = 1 / (d.r[i] * d.r[i]);
        sw += w;
        swr += w * (d.y[i] - c.expect * d.x[i]);
      }
      EXPECT_NEAR(b.p[0], swr / sw, 1e-7) << c.p0 << " " << ndrv;
    }
  // One parameter y = p far from its active bound: P - (P - PUPP) rounds.
  for (IWORD ndrv : {0, 1}) {
    Bnllsq b(1, {0, 0, 0}, {1, 2, 3}, {1, 1, 1}, {-2e29});
    b.ieng = GetParam();
    b.ndrv = ndrv;
    b.iods = 2;
    b.ibound = 1;
    b.plow = {-1e30};
    b.pupp = {-0.5};
    b.run(constant9);
    EXPECT_EQ(b.istat, 0) << ndrv;
    EXPECT_EQ(b.p[0], -0.5) << ndrv;
  }
}

// Quadratics y = p1 + p2 x + p3 x^2 with p1 started near -2e29 below an
// upper bound of order 1 that the fit reaches: a step to the bound from
// there rounds past it, and no fit may end outside its bounds.
void quadratic9(const IWORD*, const IWORD* ndat, void* mdat1, const double* p, void*,
                const IWORD* req, double* f, double* fp, void*) {
  const double* x = static_cast<const double*>(mdat1);
  for (IWORD i = 0; i < *ndat; ++i) {
    f[i] = p[0] + p[1] * x[i] + p[2] * x[i] * x[i];
    if (*req == 0) {
      fp[3 * i] = 1;
      fp[3 * i + 1] = x[i];
      fp[3 * i + 2] = x[i] * x[i];
    }
  }
}

TEST_P(BnllsqTest, FarStartsNeverEndOutsideTheBounds) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int t = 0; t < 200; ++t) {
    orvk_host_reset();
    Vec x(8), y(8);
    for (int i = 0; i < 8; ++i) {
      x[i] = 0.3 * i;
      y[i] = 3 * u(gen);
    }
    const double up = -0.1 - std::fabs(u(gen));
    Bnllsq b(3, x, y, Vec(8, 1.0), {-2e29 * (1 + 0.5 * u(gen)), u(gen), u(gen)});
    b.ieng = GetParam();
    b.ndrv = t % 2;
    b.iods = 2;
    b.ibound = 1;
    b.plow = {-1e30, -10, -10};
    b.pupp = {up, 10, 10};
    b.run(quadratic9);
    for (int j = 0; j < 3; ++j) {
      EXPECT_GE(b.p[j], b.plow[j]) << t << " p" << j + 1 << " status " << b.istat;
      EXPECT_LE(b.p[j], b.pupp[j]) << t << " p" << j + 1 << " status " << b.istat;
    }
  }
}

TEST_P(BnllsqTest, WorkLengthLine) {
  const Line d = line_data(false);
  Bnllsq b(2, Vec(d.x.begin(), d.x.begin() + 5), Vec(d.y.begin(), d.y.begin() + 5),
           Vec(d.r.begin(), d.r.begin() + 5), {0.0, 0.0});
  b.ieng = GetParam();
  orvika_test::UnitCapture cap(6);
  b.iprint = 3;
  b.run(regress_test::line9);
  for (const std::string& l : cap.lines()) EXPECT_EQ(l.find("MINIMUM WORK"), std::string::npos);
  cap.clear();
  b.iprint = 4;
  b.p = {0.0, 0.0};
  b.iter = 50;
  b.run(regress_test::line9);
  ASSERT_FALSE(cap.lines().empty());
  EXPECT_EQ(cap.lines()[0], GetParam() == 1 ? " MINIMUM WORK VECTOR LENGTHS,REAL,INTEGER     67    12"
                                            : " MINIMUM WORK VECTOR LENGTHS,REAL,INTEGER     89    12");
}

TEST_P(BnllsqTest, NegativeCountsAreRefused) {
  for (IWORD np : {-1, 2}) {
    Bnllsq b(2, {1, 2, 3}, {1, 2, 3}, {1, 1, 1}, {0.0, 0.0});
    b.ieng = GetParam();
    b.npar = np;
    b.ndat = np < 0 ? 3 : -4;
    b.run(regress_test::line9);
    EXPECT_EQ(b.istat, -1);
    EXPECT_EQ(b.iflag1, 1);
    EXPECT_EQ(b.ncall, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, BnllsqTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return i.param == 1 ? std::string("Luebri") : std::string("Luebrn");
                         });

}  // namespace
