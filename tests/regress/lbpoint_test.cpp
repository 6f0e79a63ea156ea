// Per-point routines of the default engine and the model-call dispatcher:
// weights, factors, whitening, measurement updates, sums, difference steps,
// the evaluation kinds reported to the host, and the parameter lines.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "regress/regress.hpp"
#include "support/capture.hpp"

namespace {

using V = std::vector<double>;

class PointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    ORVK_PPSCLR.EVALKIND = 0;
  }
};

TEST_F(PointTest, OneConstraintOneMeasurementWeightAndWhitening) {
  // F = y - z, FZ = -1, R = 0.5 at three points.
  const IWORD n = 3, one = 1;
  std::vector<IWORD> ones(n, 1);
  V fz(n, -1.0), r(n, 0.5), w(n, 0.0), wp(1);
  IWORD ierr = 0;
  orvika::LBCOVI(6, n, one, ones.data(), one, ones.data(), fz.data(), r.data(), w.data(),
                 wp.data(), ierr);
  for (double v : w) EXPECT_DOUBLE_EQ(v, 4.0);
  EXPECT_EQ(ierr, 0);

  // LBFACT with precomputed F = y - z and FZ (no derivative evaluation).
  const V y = {1.0, 2.0, 4.0}, zm = {1.5, 1.0, 4.25};
  V z = {0.3, -2.0, 7.0};  // whatever the estimates are
  V f(n), rlin(n), ufac(n), pw(1), fp(n, 0.0), zs(n), fpert(n), p(1, 0.0);
  for (int i = 0; i < n; ++i) f[i] = y[i] - z[i];
  IWORD ncall = 0;
  orvika::LBFACT(1, n, 1, ones.data(), nullptr, 1, ones.data(), 1, 1, p.data(), z.data(), zm.data(),
                 nullptr, f.data(), fz.data(), fp.data(), nullptr, 0, 1, zs.data(), fpert.data(),
                 1e-6, ncall, nullptr, 6, true, false, true, true, false, r.data(), rlin.data(),
                 ufac.data(), pw.data());
  EXPECT_EQ(ncall, 0);
  for (int i = 0; i < n; ++i) {
    EXPECT_DOUBLE_EQ(ufac[i], 0.5);
    EXPECT_NEAR(rlin[i], 2 * (y[i] - zm[i]), 1e-15) << i;
  }
}

TEST_F(PointTest, RankLossOfAConstraintCovariance) {
  // One point, two constraints with identical rows of FZ (NMMAX = 2).
  const IWORD nm = 2, nc = 2;
  const IWORD nmeas[1] = {2}, ncons[1] = {2};
  // FZ(k, m): rows equal: FZ(1,:) = FZ(2,:) = (1, 2).
  V fz = {1, 1, 2, 2}, r = {1, 1}, w(4), wp(3);
  orvika_test::UnitCapture cap(6);
  for (IWORD start : {0, 5}) {
    IWORD ierr = start;
    orvika::LBCOVI(6, 1, nm, nmeas, nc, ncons, fz.data(), r.data(), w.data(), wp.data(), ierr);
    EXPECT_EQ(ierr, start == 0 ? 7 : 5);
  }
  ASSERT_EQ(cap.lines().size(), 2u);
  EXPECT_EQ(cap.lines()[0], " ***TROUBLE-DATA POINT    1 CONSTRAINT JACOBIAN HAS RANK  1 INSTEAD OF  2");
  // The floored inverse is symmetric and finite.
  EXPECT_EQ(w[1], w[2]);
  for (double v : w) EXPECT_TRUE(std::isfinite(v));
}

TEST_F(PointTest, ZeroVarianceGivesFiniteWeightsAndFactors) {
  const IWORD ones[2] = {1, 1};
  V fz = {-1, -1}, r = {0.0, 1.0}, w(2), wp(1), ufac(2), rlin(2), pw(1);
  IWORD ierr = 0;
  orvika::LBCOVI(6, 2, 1, ones, 1, ones, fz.data(), r.data(), w.data(), wp.data(), ierr);
  // The exact point's constraint gets 1e-8 of the smallest positive
  // variance (here 1), so weight 1e8.
  EXPECT_DOUBLE_EQ(w[0], 1 / orvika::kExactVariance);
  EXPECT_DOUBLE_EQ(w[1], 1.0);
  V f = {0.5, 0.5}, z = {1, 1}, zm = {1, 1}, fp(2), zs(2), fpert(2), p(1);
  IWORD ncall = 0;
  orvika::LBFACT(1, 2, 1, ones, nullptr, 1, ones, 1, 1, p.data(), z.data(), zm.data(), nullptr,
                 f.data(), fz.data(), fp.data(), nullptr, 0, 1, zs.data(), fpert.data(), 1e-6,
                 ncall, nullptr, 6, true, false, true, true, false, r.data(), rlin.data(),
                 ufac.data(), pw.data());
  EXPECT_DOUBLE_EQ(rlin[0], 0.5 / std::sqrt(orvika::kExactVariance));
  EXPECT_DOUBLE_EQ(rlin[1], 0.5);
}

TEST_F(PointTest, LbsolvSolvesTheTransposedFactorPerPointAndColumn) {
  // NCMAX = 2, two points, two columns; U of point 1 = [[2, 1], [0, 4]] packed (2, 1, 4).
  const IWORD ncons[2] = {2, 1};
  const V ufac = {2, 1, 4, 5, 0, 0};  // LPACK = 3
  const V b = {2, 9, 4, 6, 10, 0, 20, 0};  // (k, c, i)
  V y(8, -1.0);
  orvika::LBSOLV(2, 2, ncons, 2, 3, b.data(), ufac.data(), y.data());
  // point 1, column 1: y1 = 1, y2 = (9 - 1)/4 = 2; column 2: y1 = 2, y2 = (6 - 2)/4 = 1.
  EXPECT_DOUBLE_EQ(y[0], 1);
  EXPECT_DOUBLE_EQ(y[1], 2);
  EXPECT_DOUBLE_EQ(y[2], 2);
  EXPECT_DOUBLE_EQ(y[3], 1);
  // point 2 (one constraint): 10/5, 20/5.
  EXPECT_DOUBLE_EQ(y[4], 2);
  EXPECT_DOUBLE_EQ(y[6], 4);
  // In place gives the same.
  V bb = b;
  orvika::LBSOLV(2, 2, ncons, 2, 3, bb.data(), ufac.data(), bb.data());
  EXPECT_DOUBLE_EQ(bb[1], 2);
  EXPECT_DOUBLE_EQ(bb[3], 1);
}

TEST_F(PointTest, LbpredLimitsTheStepPerPoint) {
  // Two points, one measurement and one constraint, FZ = -1, W = 1/R^2.
  const IWORD ones[2] = {1, 1};
  const V r = {1, 1}, w = {1, 1}, fz = {-1, -1}, zm = {1, 1}, z = {1, 1};
  // V = linearised residual; DZ = (zm - z) - R^2 FZ W V = V.
  const V v = {2.0, 0.25};
  V lam(2), znew(2), dz(1);
  double reladj = -1;
  orvika::LBPRED(2, 1, ones, 1, ones, w.data(), v.data(), fz.data(), zm.data(), z.data(), r.data(),
                 lam.data(), 0.5, znew.data(), reladj, dz.data());
  EXPECT_DOUBLE_EQ(lam[0], 2.0);
  EXPECT_DOUBLE_EQ(znew[0], 1 + 0.25 * 2.0);  // relative change 2 > 0.5: a quarter
  EXPECT_DOUBLE_EQ(znew[1], 1.25);            // below RMAX: the full step
  EXPECT_NEAR(reladj, std::sqrt((4 + 0.0625) / 2), 1e-15);
  // No measured variable: the relative adjustment is 0, not a NaN.
  const IWORD zero[1] = {0};
  orvika::LBPRED(1, 1, zero, 1, ones, w.data(), v.data(), fz.data(), zm.data(), z.data(),
                 r.data(), lam.data(), 0.5, znew.data(), reladj, dz.data());
  EXPECT_EQ(reladj, 0.0);
  EXPECT_EQ(znew[0], zm[0]);  // rows beyond NMEAS keep the measured value
}

TEST_F(PointTest, LbsumsAndLblinc) {
  const IWORD ones[2] = {1, 1};
  const V z1 = {1, 2}, z2 = {0, 4}, r = {0.5, 2}, a = {3, -4}, b = {2, 0.5};
  double ssqd = 0, sabs = 0;
  orvika::LBSUMS(2, 1, ones, 1, ones, z1.data(), z2.data(), r.data(), a.data(), b.data(), ssqd,
                 sabs);
  EXPECT_DOUBLE_EQ(ssqd, 4 + 1);
  EXPECT_DOUBLE_EQ(sabs, 6 + 2);
  const V zeros = {0, 0};
  orvika::LBSUMS(2, 1, ones, 1, ones, z1.data(), z2.data(), r.data(), a.data(), zeros.data(), ssqd,
                 sabs);
  EXPECT_EQ(sabs, 0.0);
  // An exact measurement (R = 0) that is not adjusted adds nothing.
  const V r0 = {0, 2}, same = {1, 4};
  orvika::LBSUMS(2, 1, ones, 1, ones, z1.data(), same.data(), r0.data(), a.data(), b.data(), ssqd,
                 sabs);
  EXPECT_DOUBLE_EQ(ssqd, 1.0);
  V v = {1, 1};
  const V fz = {2, -3};
  orvika::LBLINC(2, 1, ones, 1, ones, v.data(), fz.data(), z1.data(), z2.data());
  EXPECT_DOUBLE_EQ(v[0], 1 + 2 * 1);
  EXPECT_DOUBLE_EQ(v[1], 1 + -3 * -2);
}

// ---- LBFCN and LBDERV ----------------------------------------------------

struct Recorder {
  std::vector<std::vector<double>> p;
  std::vector<IWORD> kinds, reqs;
};
Recorder* g_rec = nullptr;

// y = p1 * x + p2 * x^2 at x = 1, 2.
void quad9(const IWORD* npar, const IWORD* ndat, void* mdat1, const double* p, void*,
           const IWORD* req, double* f, double* fp, void*) {
  g_rec->p.emplace_back(p, p + *npar);
  g_rec->kinds.push_back(ORVK_PPSCLR.EVALKIND);
  g_rec->reqs.push_back(*req);
  for (IWORD i = 1; i <= *ndat; ++i) {
    const double x = double(i);
    f[i - 1] = p[0] * x + p[1] * x * x;
    if (*req == 0) {
      fp[0 + (i - 1) * 2] = x;
      fp[1 + (i - 1) * 2] = x * x;
    }
  }
}

TEST_F(PointTest, NineArgumentFormSubtractsTheEstimates) {
  Recorder rec;
  g_rec = &rec;
  const IWORD ones[2] = {1, 1};
  V p = {1.0, 0.5}, z = {0.25, 1.0}, zm = {9, 9}, f(2), fz(2, 7.0), fp(4);
  orvika::LBFCN(z.data(), zm.data(), nullptr, p.data(), 2, 1, ones, nullptr, 2, 1, ones, 1,
                f.data(), fz.data(), fp.data(), true, reinterpret_cast<ORVK_MODELFN>(quad9),
                nullptr);
  EXPECT_DOUBLE_EQ(f[0], 1.5 - 0.25);
  EXPECT_DOUBLE_EQ(f[1], 4.0 - 1.0);
  V zs(2), fpert(2);
  IWORD ncall = 0;
  orvika::LBDERV(2, 2, 1, ones, nullptr, 1, ones, 1, p.data(), z.data(), zm.data(), nullptr,
                 f.data(), fz.data(), fp.data(), reinterpret_cast<ORVK_MODELFN>(quad9), 0, 1,
                 zs.data(), fpert.data(), 1e-4, ncall, nullptr, 6, true, true, true, true);
  EXPECT_EQ(fz[0], -1.0);
  EXPECT_EQ(fz[1], -1.0);
  EXPECT_EQ(ncall, 3);  // base + one per parameter
  EXPECT_NEAR(fp[0], 1.0, 1e-9);
  EXPECT_NEAR(fp[1], 1.0, 1e-9);
  EXPECT_NEAR(fp[2], 2.0, 1e-9);
  EXPECT_NEAR(fp[3], 4.0, 1e-9);
  EXPECT_EQ(rec.kinds, (std::vector<IWORD>{0, 1, 3, 3}));
  g_rec = nullptr;
}

TEST_F(PointTest, DifferenceStepsFollowTheParameterMagnitude) {
  struct Case {
    double p0, step;
  } cases[] = {{0.0, 1e-4}, {50.0, 0.005}, {0.001, 1e-6}};
  for (const Case& c : cases) {
    Recorder rec;
    g_rec = &rec;
    const IWORD ones[2] = {1, 1};
    V p = {c.p0, 1.0}, z = {0, 0}, zm = {0, 0}, f(2), fz(2), fp(4), zs(2), fpert(2);
    IWORD ncall = 0;
    orvika::LBDERV(2, 2, 1, ones, nullptr, 1, ones, 2, p.data(), z.data(), zm.data(), nullptr,
                   f.data(), fz.data(), fp.data(), reinterpret_cast<ORVK_MODELFN>(quad9), 0, 2,
                   zs.data(), fpert.data(), 1e-4, ncall, nullptr, 6, true, true, false, true);
    // base, then +h and -h for each parameter (central differences).
    ASSERT_EQ(rec.p.size(), 5u);
    EXPECT_EQ(ncall, 5);
    EXPECT_NEAR(rec.p[1][0] - c.p0, c.step, 1e-15 + 1e-12 * c.step) << c.p0;
    EXPECT_NEAR(rec.p[2][0] - c.p0, -c.step, 1e-15 + 1e-12 * c.step) << c.p0;
    EXPECT_EQ(p[0], c.p0);  // restored
    EXPECT_EQ(rec.kinds[0], 2);  // base of a later iteration
    EXPECT_NEAR(fp[0], 1.0, 1e-9);
    EXPECT_NEAR(fp[3], 4.0, 1e-9);
    g_rec = nullptr;
  }
}

// Sixteen-argument model with two measured variables per point:
// F = z2 - p1 - p2 z1 (straight line with errors in x and y).
void line16(const double* z, const double*, void*, const double* p, const IWORD* ndat,
            const IWORD* nmmax, const IWORD*, void*, const IWORD*, const IWORD* ncmax,
            const IWORD*, const IWORD* req, double* f, double* fz, double* fp, void*) {
  if (g_rec) g_rec->kinds.push_back(ORVK_PPSCLR.EVALKIND);
  for (IWORD i = 0; i < *ndat; ++i) {
    const double x = z[0 + i * *nmmax], y = z[1 + i * *nmmax];
    f[i * *ncmax] = y - p[0] - p[1] * x;
    if (*req == 0) {
      fz[0 + i * 2] = -p[1];
      fz[1 + i * 2] = 1;
      fp[0 + i * 2] = -1;
      fp[1 + i * 2] = -x;
    }
  }
}

TEST_F(PointTest, MeasurementDerivativesPerturbAllPointsAtOnce) {
  Recorder rec;
  g_rec = &rec;
  const IWORD nmeas[2] = {2, 2}, ncons[2] = {1, 1};
  V p = {1.0, 3.0}, z = {2.0, 5.0, 0.0, 1.0}, zm = z, f(2), fz(4), fp(4), zs(2), fpert(2);
  IWORD ncall = 0;
  orvika::LBDERV(2, 2, 2, nmeas, nullptr, 1, ncons, 1, p.data(), z.data(), zm.data(), nullptr,
                 f.data(), fz.data(), fp.data(), reinterpret_cast<ORVK_MODELFN>(line16), 0, 1,
                 zs.data(), fpert.data(), 1e-6, ncall, nullptr, 6, false, true, true, true);
  EXPECT_EQ(ncall, 1 + 2 + 2);
  EXPECT_EQ(rec.kinds, (std::vector<IWORD>{1, 13, 23, 3, 3}));
  EXPECT_NEAR(fz[0], -3.0, 1e-6);
  EXPECT_NEAR(fz[1], 1.0, 1e-6);
  EXPECT_NEAR(fz[2], -3.0, 1e-6);
  EXPECT_NEAR(fp[1], -2.0, 1e-6);
  EXPECT_NEAR(fp[3], 0.0, 1e-6);
  EXPECT_EQ(z, zm);  // restored
  g_rec = nullptr;
}

TEST_F(PointTest, LbwparLinesAndBoundMarks) {
  orvika_test::UnitCapture cap(6);
  const V p = {1, 2, 3, 4, 5}, lo = {1, 0, 0, 0, 0}, up = {9, 9, 9, 9, 5}, sc = {1, 1, 1, 1, 1};
  orvika::LBWPAR(6, 5, p.data(), lo.data(), up.data(), sc.data(), 1);
  ASSERT_EQ(cap.lines().size(), 3u);
  EXPECT_EQ(cap.lines()[0], " ");
  const std::string l1 = std::string("       PARAMETERS ") + "   1.0000L    " + "   2.0000     " +
                         "   3.0000     " + "   4.0000     ";
  EXPECT_EQ(cap.lines()[1], l1);
  EXPECT_EQ(cap.lines()[1].size(), 74u);
  EXPECT_EQ(cap.lines()[2], std::string(18, ' ') + "   5.0000U    ");
  EXPECT_EQ(cap.lines()[2].size(), 32u);
  cap.clear();
  // Within 1e-6 |P| above the lower bound is marked; scales divide the shown value.
  const V p2 = {1.0000005}, lo2 = {1}, up2 = {2}, sc2 = {0.5};
  orvika::LBWPAR(6, 1, p2.data(), lo2.data(), up2.data(), sc2.data(), 3);
  EXPECT_EQ(cap.lines()[1], "     FINAL PARAMETERS    2.0000L    ");
}

TEST_F(PointTest, TimeLimitRuleAndBox) {
  VLK_RGLOB[VLK_W_TLIMIT - 1] = 100;
  EXPECT_TRUE(orvika::time_exhausted(70, 40));
  EXPECT_FALSE(orvika::time_exhausted(50, 40));
  orvika_test::UnitCapture cap(6);
  orvika::time_limit_box(6);
  const std::string stars = " " + std::string(68, '*');
  const std::vector<std::string> expect = {
      "", "", "", stars, " *  PXR TERMINATED BECAUSE MAX TIME OF   100.00 SECONDS APPROACHED  *",
      " *  PARTIAL REPORT WILL BE GENERATED" + std::string(32, ' ') + "*", stars, "", "", ""};
  EXPECT_EQ(cap.lines(), expect);
  ASSERT_EQ(orvk_host_terminal_pages(), 1u);
  EXPECT_EQ(orvk_host_terminal_lines(0), 10u);
  EXPECT_EQ(std::string(orvk_host_terminal_line(0, 4)), expect[4]);
  VLK_FLES[VLK_W_TERMON - 1] = 0;
  orvika::time_limit_box(6);
  EXPECT_EQ(orvk_host_terminal_pages(), 1u);  // nothing more on the terminal
}

}  // namespace
