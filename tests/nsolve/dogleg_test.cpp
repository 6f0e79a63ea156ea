// ORVK_DOGLEG, ORVK_DOGLG2, ORVK_DOGLG1: step choice and trial judgement.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/nsolve.h"

namespace {

double norm(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x * x;
  return std::sqrt(s);
}

// One problem in the three storage forms: J = [[2, 1], [0, 4]] (plus a
// repeated entry split in two for the coordinate forms), F = (3, 4).
struct Dog {
  int variant;  // 0 DOGLEG (16-bit), 1 DOGLG2, 2 DOGLG1
  IWORD n = 2, nz = 4, icount = -7, iflag = -7;
  std::vector<IWORD> ir{1, 1, 2, 2}, jc{1, 2, 2, 2};
  std::vector<IDX16> ir16{1, 1, 2, 2}, jc16{1, 2, 2, 2};
  std::vector<double> a{2, 1, 3, 1};
  std::vector<double> dense{2, 0, 1, 4};
  std::vector<double> x{1, 1}, f{3, 4}, dxn, dx{0, 0}, w = std::vector<double>(8, 0.0);
  double delta = 1.0;
  Dog(int v) : variant(v) {
    // Newton step: J dxn = -F -> dxn = (-1, -1).
    dxn = {-1.0, -1.0};
  }
  void call(IWORD mode) {
    if (variant == 0)
      ORVK_DOGLEG(&n, &nz, x.data(), dxn.data(), dx.data(), f.data(), ir16.data(), jc16.data(),
                  a.data(), w.data(), &delta, &icount, &mode, &iflag);
    else if (variant == 1)
      ORVK_DOGLG2(&n, &nz, x.data(), dxn.data(), dx.data(), f.data(), ir.data(), jc.data(),
                  a.data(), w.data(), &delta, &icount, &mode, &iflag);
    else
      ORVK_DOGLG1(&n, &nz, x.data(), dxn.data(), dx.data(), f.data(), dense.data(), w.data(),
                  &delta, &icount, &mode, &iflag);
  }
};

class NsolveDogleg : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { orvk_host_reset(); }
};

TEST_P(NsolveDogleg, StepChoice) {
  // g = J'F = (6, 19); |g|^2 = 397; J g = (31, 76); t = 397 / (31^2 + 76^2).
  const double gg = 397.0, jg2 = 31.0 * 31.0 + 76.0 * 76.0;
  const double t = gg / jg2, c = std::sqrt(gg) * t;
  {
    Dog d(GetParam());
    d.delta = 10.0;  // Newton step (length sqrt 2) fits
    d.call(1);
    EXPECT_EQ(d.icount, 1);
    EXPECT_EQ(d.iflag, 0);
    EXPECT_EQ(d.dx, d.dxn);
    EXPECT_DOUBLE_EQ(ORVK_DGLG1.FF0, 25.0);
    EXPECT_NEAR(ORVK_DGLG1.GNORM, std::sqrt(gg), 1e-13);
    EXPECT_NEAR(ORVK_DGLG1.DXNORM, std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(ORVK_DGLG1.CAUCHY, c, 1e-14);
    EXPECT_NEAR(d.w[2], 6.0, 1e-14);  // g kept at N+1
    EXPECT_NEAR(d.w[3], 19.0, 1e-13);
    EXPECT_EQ(d.w[4], 1.0);  // base X, base F
    EXPECT_EQ(d.w[7], 4.0);
  }
  {
    Dog d(GetParam());
    d.delta = 0.1 * c;  // Cauchy length beyond the radius: steepest descent cut
    d.call(1);
    EXPECT_NEAR(norm(d.dx), d.delta, 1e-15);
    EXPECT_NEAR(d.dx[0] / d.dx[1], 6.0 / 19.0, 1e-13);
    EXPECT_LT(d.dx[0], 0.0);
  }
  {
    Dog d(GetParam());
    d.delta = 0.5 * (c + std::sqrt(2.0));  // between: on the segment, length DELTA
    d.call(1);
    EXPECT_NEAR(norm(d.dx), d.delta, 1e-13);
    // DX - p is parallel to DXN - p.
    const double p0 = -t * 6.0, p1 = -t * 19.0;
    const double cross = (d.dx[0] - p0) * (d.dxn[1] - p1) - (d.dx[1] - p1) * (d.dxn[0] - p0);
    EXPECT_NEAR(cross, 0.0, 1e-13);
    // MODE 3 with another radius, from the same base.
    d.delta = 10.0;
    d.call(3);
    EXPECT_EQ(d.icount, 2);
    EXPECT_EQ(d.dx, d.dxn);
  }
  {
    // DELTA equal to the Cauchy length: the Cauchy point itself.
    Dog d(GetParam());
    d.delta = c;
    d.call(1);
    EXPECT_NEAR(norm(d.dx), c, 1e-13);
    EXPECT_TRUE(std::isfinite(d.dx[0]) && std::isfinite(d.dx[1]));
  }
  {
    // Zero residual: zero gradient, no division, the Newton step when it fits.
    Dog d(GetParam());
    d.f = {0, 0};
    d.dxn = {0.5, 0};
    d.delta = 0.25;
    d.call(1);
    EXPECT_EQ(ORVK_DGLG1.CAUCHY, 0.0);
    EXPECT_TRUE(std::isfinite(d.dx[0]));
    EXPECT_NEAR(norm(d.dx), 0.25, 1e-15);
  }
}

TEST_P(NsolveDogleg, BoundaryStepAtExtremeScales) {
  // F and DXN multiplied by SIGMA scale the Cauchy point, the Newton step
  // and the dogleg step by SIGMA: with DELTA between the Cauchy and Newton
  // lengths the step lies on the sphere whatever the magnitude.
  Dog ref(GetParam());
  const double gg = 397.0, jg2 = 31.0 * 31.0 + 76.0 * 76.0;
  const double c = std::sqrt(gg) * gg / jg2, delta1 = 0.5 * (c + std::sqrt(2.0));
  ref.delta = delta1;
  ref.call(1);
  for (double sigma : {1e-150, 1e-90, 1e80, 1e150}) {
    Dog d(GetParam());
    for (double& v : d.f) v *= sigma;
    for (double& v : d.dxn) v *= sigma;
    d.delta = delta1 * sigma;
    d.call(1);
    EXPECT_NEAR(norm(d.dx) / d.delta, 1.0, 1e-13) << sigma;
    for (int i = 0; i < 2; ++i) EXPECT_NEAR(d.dx[i] / sigma, ref.dx[i], 1e-13) << sigma;
  }
}

TEST_P(NsolveDogleg, StepAtExtremeJacobianScalesAndRadii) {
  // J multiplied by LAMBDA with F unchanged: g = LAMBDA J'F, t = |g|^2 /
  // |J g|^2 scales by 1 / LAMBDA^2, and the Cauchy point, the Newton step,
  // both lengths and the dogleg step all scale by 1 / LAMBDA.  With the
  // radius scaled alike the step is the reference step over LAMBDA, for each
  // of the three cases of the step choice, although t itself leaves the
  // range of doubles.
  const double gg = 397.0, jg2 = 31.0 * 31.0 + 76.0 * 76.0;
  const double c = std::sqrt(gg) * gg / jg2, nn = std::sqrt(2.0);
  for (double rad : {0.1 * c, 0.5 * (c + nn), 10.0 * nn}) {
    Dog ref(GetParam());
    ref.delta = rad;
    ref.call(1);
    for (double lambda : {1e-200, 1e-160, 1e160, 1e200}) {
      Dog d(GetParam());
      for (double& v : d.a) v *= lambda;
      for (double& v : d.dense) v *= lambda;
      for (double& v : d.dxn) v /= lambda;
      d.delta = rad / lambda;
      d.call(1);
      EXPECT_NEAR(ORVK_DGLG1.CAUCHY * lambda / c, 1.0, 1e-13) << lambda;
      for (int i = 0; i < 2; ++i)
        EXPECT_NEAR(d.dx[i] * lambda, ref.dx[i], 1e-13 * norm(ref.dx)) << rad << " " << lambda;
    }
  }
  struct Case {
    std::vector<double> diag, f, dxn;  // diagonal J, residuals, Newton step
    double delta;
    std::vector<double> dx;  // expected step
  };
  const double s3 = std::sqrt(3.0);
  const Case cases[] = {
      // Radius far below the gradient's length (|g| = 5e150): the
      // steepest-descent step of length DELTA along -g.
      {{1, 1}, {3e150, 4e150}, {-3e150, -4e150}, 1e-200, {-0.6e-200, -0.8e-200}},
      {{1, 1}, {3e150, 4e150}, {-3e150, -4e150}, 5e-170, {-3e-170, -4e-170}},
      // A tiny Jacobian: g = (3, 8) 1e-180, Cauchy length 2.35e140 above
      // DELTA = 5e100, so the step runs along -g, not along DXN.
      {{1e-160, 2e-160}, {3e-20, 4e-20}, {-3e140, -2e140}, 5e100,
       {-3.0 / std::sqrt(73.0) * 5e100, -8.0 / std::sqrt(73.0) * 5e100}},
      // Newton step 1e140, Cauchy length 1e-200 < DELTA = 2e-200: the step
      // lies on the segment, whose direction is (0, -1) to within 1e-340,
      // at length DELTA, although DELTA / |DXN| is below every double.
      {{1e100, 1e-150}, {1e-100, 1e-10}, {-1e-200, -1e140}, 2e-200, {-1e-200, -s3 * 1e-200}},
      {{1e100, 1e-150}, {1e-100, 1e-10}, {-1e-200, -1e140}, 1e-190,
       {-1e-200, -std::sqrt(1e20 - 1.0) * 1e-200}},
  };
  for (const Case& k : cases) {
    Dog d(GetParam());
    d.nz = 2;
    d.ir = {1, 2};
    d.jc = {1, 2};
    d.ir16 = {1, 2};
    d.jc16 = {1, 2};
    d.a = k.diag;
    d.dense = {k.diag[0], 0, 0, k.diag[1]};
    d.f = k.f;
    d.dxn = k.dxn;
    d.delta = k.delta;
    d.call(1);
    for (int i = 0; i < 2; ++i)
      EXPECT_NEAR(d.dx[i] / k.delta, k.dx[i] / k.delta, 1e-13) << k.delta << " " << i;
  }
}

TEST_P(NsolveDogleg, Judgement) {
  Dog d(GetParam());
  d.delta = 10.0;
  d.call(1);  // DX = DXN = (-1, -1), linear model exact at the trial
  {
    Dog e = d;
    e.x = {0, 0};
    e.f = {0, 0};  // F = F0 + J DX exactly
    e.call(2);
    EXPECT_EQ(e.iflag, 0);
    EXPECT_NEAR(e.delta, 2.0 * std::sqrt(2.0), 1e-14);
  }
  {
    Dog e = d;
    e.f = {3, 4};  // F1 = F0, predicted P = 0 < F0: h < 0
    e.call(2);
    EXPECT_EQ(e.iflag, 0);
    EXPECT_NEAR(e.delta, 0.5 * std::sqrt(2.0), 1e-15);
  }
  {
    Dog e = d;
    e.f = {3, std::sqrt(2.25 * 25 - 9)};  // F1 = 2.25 F0 exactly: kept
    e.x = {7, 7};
    e.call(2);
    EXPECT_EQ(e.iflag, 0);
    EXPECT_EQ(e.x[0], 7.0);
    EXPECT_GE(e.delta, 0.5 * std::sqrt(2.0) - 1e-15);
  }
  {
    Dog e = d;
    e.f = {3, 7};  // F1 = 58 above 2.25 F0 = 56.25: base restored
    e.x = {7, 7};
    e.call(2);
    EXPECT_EQ(e.iflag, 1);
    EXPECT_EQ(e.x, (std::vector<double>{1, 1}));
    EXPECT_EQ(e.f, (std::vector<double>{3, 4}));
  }
  {
    Dog e = d;
    e.f = {std::nan(""), 0.0};  // not a number: never kept
    e.x = {7, 7};
    e.call(2);
    EXPECT_EQ(e.iflag, 1);
    EXPECT_EQ(e.x, (std::vector<double>{1, 1}));
    EXPECT_NEAR(e.delta, 0.5 * std::sqrt(2.0), 1e-15);
  }
  {
    Dog e = d;
    e.f = {2.9, 3.9};  // small actual reduction: h <= 0 -> half the step
    e.call(2);
    EXPECT_NEAR(e.delta, 0.5 * std::sqrt(2.0), 1e-15);
  }
  for (IWORD mode : {0, 1, 7}) {
    Dog e(GetParam());
    e.icount = 4;
    e.iflag = 1;
    e.delta = 10.0;
    e.call(mode);
    EXPECT_EQ(e.icount, 1);
    EXPECT_EQ(e.iflag, 0);
  }
}

TEST_P(NsolveDogleg, JudgementAtExtremeResidualScales) {
  // F, DXN and the trial residuals multiplied by SIGMA multiply h, v and w
  // by SIGMA^2, which leaves mu, the positive root of w mu^2 + 2 v mu = h,
  // unchanged, and the new radius is SIGMA times the unit one.  Trial
  // residuals (2, 3) against the exact linear prediction 0: F1 = 13, h = 12 -
  // 2.5 = 9.5, v = w = 13.
  const double mu = 9.5 / (13.0 + std::sqrt(169.0 + 13.0 * 9.5));
  const double unit = std::sqrt(2.0) * std::sqrt(1.0 + mu);
  for (double sigma : {1.0, 0.1, 1e-60, 1e-100, 1e-140, 1e100, 1e140}) {
    Dog d(GetParam());
    for (double& v : d.f) v *= sigma;
    for (double& v : d.dxn) v *= sigma;
    d.delta = 10.0 * sigma;
    d.call(1);  // DX = DXN
    d.f = {2.0 * sigma, 3.0 * sigma};
    d.call(2);
    EXPECT_EQ(d.iflag, 0) << sigma;
    EXPECT_NEAR(d.delta / sigma, unit, 1e-14 * unit) << sigma;
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, NsolveDogleg, ::testing::Values(0, 1, 2));

TEST(NsolveDogleg16, OrderAbove16BitRefused) {
  IWORD n = 40000, nz = 0, icount = 0, iflag = 0, mode = 1;
  double delta = 1.0;
  std::vector<double> x(n, 1.0), f(n, 1.0), dxn(n, 0.0), dx(n, 5.0), w(4 * n, 0.0);
  IDX16 ir[1] = {1}, jc[1] = {1};
  double a[1] = {1.0};
  ORVK_DOGLEG(&n, &nz, x.data(), dxn.data(), dx.data(), f.data(), ir, jc, a, w.data(), &delta,
              &icount, &mode, &iflag);
  EXPECT_EQ(iflag, -1);
  EXPECT_EQ(dx[0], 5.0);
  EXPECT_EQ(delta, 1.0);
  // Entries with indices outside 1..N (a wrapped 16-bit value) take no part.
  IWORD n2 = 2, nz2 = 2;
  IDX16 ir2[2] = {1, static_cast<IDX16>(-3)}, jc2[2] = {1, 1};
  double a2[2] = {1.0, 5.0}, x2[2] = {0, 0}, f2[2] = {1, 1}, dxn2[2] = {-1, 0}, dx2[2], w2[8];
  ORVK_DOGLEG(&n2, &nz2, x2, dxn2, dx2, f2, ir2, jc2, a2, w2, &delta, &icount, &mode, &iflag);
  EXPECT_EQ(iflag, 0);
  EXPECT_DOUBLE_EQ(w2[2], 1.0);  // g = J'F uses only the valid entry
}

}  // namespace
