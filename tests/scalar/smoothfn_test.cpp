// Overflow-safe exponential and logarithm (RTO_CHK_DLOG, RTO_DEXP, RTO_SLN,
// RS_DEXP) and their twins G_RTO_CHK_DLOG, G_RTO_SLN, G_RS_DEXP.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "orvika/scalar_curves.h"
#include "support/capture.hpp"
#include "twin_test_util.hpp"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
constexpr double kS = 16.0 / 970.0;

double chk(double x) { return RTO_CHK_DLOG(&x); }
double dexp(double x) { return RTO_DEXP(&x); }
double sln(double x) { return RTO_SLN(&x); }
double rsexp(double x) { return RS_DEXP(&x); }

TEST(SmoothFunctions, CompressedExponent) {
  struct Case {
    double x, want;
  };
  for (const Case& k : std::vector<Case>{{0, 0},
                                         {-12.5, -12.5},
                                         {30, 30},
                                         {-30, -30},
                                         {1000, 46},
                                         {-1000, -46},
                                         {5000, 46},
                                         {1e308, 46},
                                         {-kInf, -46},
                                         {kInf, 46},
                                         {500, 30 + 470 * kS},
                                         {-500, -30 - 470 * kS}}) {
    EXPECT_NEAR(chk(k.x), k.want, 1e-14) << k.x;
    EXPECT_NEAR(dexp(k.x), std::exp(k.want), 1e-14 * std::exp(std::fabs(k.want))) << k.x;
  }
  EXPECT_LT(chk(999.999), 46.0);
  EXPECT_GT(chk(999.999), 46.0 - 1e-4);
  EXPECT_EQ(chk(kNaN), -46.0);
  EXPECT_EQ(dexp(kNaN), std::exp(-46.0));
  EXPECT_EQ(dexp(1000), std::exp(46.0));
  EXPECT_EQ(dexp(-1e300), std::exp(-46.0));
  // Continuous at the joins.
  for (double x : {30.0, 1000.0}) {
    EXPECT_NEAR(chk(std::nextafter(x, 0)), chk(std::nextafter(x, 2 * x)), 1e-12) << x;
    EXPECT_NEAR(chk(-std::nextafter(x, 0)), chk(-std::nextafter(x, 2 * x)), 1e-12) << -x;
  }
}

TEST(SmoothFunctions, SmoothLogarithm) {
  EXPECT_EQ(sln(1e-6), std::log(1e-6));
  EXPECT_EQ(sln(2.5), std::log(2.5));
  EXPECT_NEAR(sln(0.0), std::log(1e-6) - 1, 1e-14);
  EXPECT_NEAR(sln(0.0), -14.815510557964274, 1e-14);
  EXPECT_EQ(sln(-1.0), -17.11809565095832);
  EXPECT_EQ(sln(-kInf), -17.11809565095832);
  EXPECT_EQ(sln(kInf), kInf);
  EXPECT_TRUE(std::isnan(sln(kNaN)));
  // Value and slope continuous at 1e-6 and at the tail switch.
  const double xs = 1e-6 * (1 + std::log(0.1));
  for (double x : {1e-6, xs}) {
    const double h = 1e-12;
    EXPECT_NEAR(sln(x - h), sln(x + h), 1e-5) << x;
    const double left = (sln(x - h) - sln(x - 3 * h)) / (2 * h);
    const double right = (sln(x + 3 * h) - sln(x + h)) / (2 * h);
    EXPECT_NEAR(left, right, 1e-4 * std::fabs(right)) << x;
  }
  // Monotone and finite everywhere.
  double prev = -kInf;
  for (double x = -1e-5; x < 1e-5; x += 1e-8) {
    const double v = sln(x);
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_GT(v, prev);
    prev = v;
  }
}

TEST(SmoothFunctions, SaturatingExponential) {
  EXPECT_EQ(rsexp(30), std::exp(30.0));
  EXPECT_EQ(rsexp(-30), std::exp(-30.0));
  EXPECT_EQ(rsexp(1.25), std::exp(1.25));
  EXPECT_LT(rsexp(1000), std::exp(46.0));
  EXPECT_GT(rsexp(1000), std::exp(45.0));
  EXPECT_LE(rsexp(1e308), std::exp(46.0));  // 16/(x-14) vanishes beside 1
  EXPECT_TRUE(std::isfinite(rsexp(kInf)));
  EXPECT_NEAR(rsexp(-31), std::exp(-(30 + 16 * (1 - 16.0 / 17))), 1e-28);
  EXPECT_GT(rsexp(-1e308), 0.0);
  EXPECT_TRUE(std::isnan(rsexp(kNaN)));
  // Monotone beyond +-30.
  for (double x = 30; x < 2000; x *= 1.1) EXPECT_LT(rsexp(x), rsexp(x * 1.1)) << x;
}

// ---- twins ------------------------------------------------------------------

using Fn = double (*)(const double*);
using Twin = double (*)(const IWORD*, const double*, const double*, const IWORD*, double*);

struct TwinCase {
  const char* name;
  Fn plain;
  Twin twin;
  IWORD pmax;
  double scale;  // length over which the function bends
};
const TwinCase kTwins[] = {{"G_RTO_CHK_DLOG", &RTO_CHK_DLOG, &G_RTO_CHK_DLOG, 1, 1.0},
                           {"G_RTO_SLN", &RTO_SLN, &G_RTO_SLN, 1, 1e-6},
                           {"G_RS_DEXP", &RS_DEXP, &G_RS_DEXP, 100, 1.0}};

// Values equal the plain functions bit for bit (a NaN apart, see below);
// derivatives match central differences away from the joins.
TEST(SmoothTwins, ValuesAndDerivatives) {
  const std::vector<double> xs = {-2000, -999, -500, -31, -29.5, -3, -1e-5, -2e-6, -1.2e-6,
                                  -1e-7, 0,    5e-7, 3e-6, 0.5,   2,  29,    31,    70,
                                  999,   1500};
  for (const TwinCase& t : kTwins) {
    for (double x : xs) {
      const IWORD p = 1, ld = 1;
      const double gx = 0.75;
      double gr = -99;
      const double v = t.twin(&p, &x, &gx, &ld, &gr);
      const double want = t.plain(&x);
      EXPECT_EQ(std::memcmp(&v, &want, sizeof v), 0) << t.name << " x " << x;
      const double h = 1e-6 * std::max(std::fabs(x), t.scale);
      const double xp = x + h, xm = x - h;
      const double fd = (t.plain(&xp) - t.plain(&xm)) / (2 * h) * gx;
      EXPECT_NEAR(gr, fd, 1e-6 * std::fabs(fd) + 1e-9 * std::fabs(want) + 1e-300)
          << t.name << " x " << x;
    }
  }
}

TEST(SmoothTwins, SlopesAtTheJoins) {
  const IWORD p = 1, ld = 1;
  const double g1 = 1.0;
  double gr;
  double x = 30;
  EXPECT_EQ(G_RTO_CHK_DLOG(&p, &x, &g1, &ld, &gr), 30.0);
  EXPECT_EQ(gr, 1.0);
  x = 1000;
  G_RTO_CHK_DLOG(&p, &x, &g1, &ld, &gr);
  EXPECT_EQ(gr, 0.0);
  x = -1000;
  G_RTO_CHK_DLOG(&p, &x, &g1, &ld, &gr);
  EXPECT_EQ(gr, 0.0);
  x = -500;
  G_RTO_CHK_DLOG(&p, &x, &g1, &ld, &gr);
  EXPECT_EQ(gr, kS);
  x = 0;
  EXPECT_NEAR(G_RTO_SLN(&p, &x, &g1, &ld, &gr), -14.815510557964274, 1e-14);
  EXPECT_NEAR(gr, 1e6, 1e-6);
  x = -1;
  EXPECT_EQ(G_RTO_SLN(&p, &x, &g1, &ld, &gr), -17.11809565095832);
  EXPECT_EQ(gr, 0.0);
  x = 30;
  EXPECT_EQ(G_RS_DEXP(&p, &x, &g1, &ld, &gr), std::exp(30.0));
  EXPECT_EQ(gr, std::exp(30.0));
  x = std::nextafter(30.0, 31.0);
  G_RS_DEXP(&p, &x, &g1, &ld, &gr);
  EXPECT_NEAR(gr, std::exp(30.0), 1e-10 * std::exp(30.0));
}

// A NaN takes the identity branch in G_RTO_CHK_DLOG (RTO_CHK_DLOG gives
// -46) and passes through the other two.
TEST(SmoothTwins, NotANumber) {
  const IWORD p = 1, ld = 1;
  const double g1 = 2.0;
  double gr = 0;
  double x = kNaN;
  EXPECT_TRUE(std::isnan(G_RTO_CHK_DLOG(&p, &x, &g1, &ld, &gr)));
  EXPECT_EQ(gr, 2.0);
  EXPECT_TRUE(std::isnan(G_RTO_SLN(&p, &x, &g1, &ld, &gr)));
  EXPECT_TRUE(std::isnan(G_RS_DEXP(&p, &x, &g1, &ld, &gr)));
}

TEST(SmoothTwins, ManyDirectionsAndNone) {
  std::vector<double> gx(100), gr(101, -7.0);
  for (int k = 0; k < 100; ++k) gx[k] = k - 50.0;
  const IWORD p = 100, ld = 100;
  double x = 35;
  const double v = G_RS_DEXP(&p, &x, gx.data(), &ld, gr.data());
  double gone;
  const IWORD one = 1;
  const double gunit = 1.0;
  G_RS_DEXP(&one, &x, &gunit, &ld, &gone);
  for (int k = 0; k < 100; ++k) EXPECT_DOUBLE_EQ(gr[k], gx[k] * gone) << k;
  EXPECT_EQ(gr[100], -7.0);
  EXPECT_EQ(v, RS_DEXP(&x));
  // G_P <= 0: value only, G_R untouched.
  for (const TwinCase& t : kTwins) {
    for (IWORD p0 : {IWORD{0}, IWORD{-3}}) {
      double g = -7.0;
      const double gx1 = 1.0;
      EXPECT_EQ(t.twin(&p0, &x, &gx1, &ld, &g), t.plain(&x)) << t.name;
      EXPECT_EQ(g, -7.0) << t.name;
    }
  }
}

TEST(SmoothTwinsDeathTest, DirectionLimitStops) {
  for (const TwinCase& t : kTwins) {
    scalar_test::expect_limit_stop(
        [&t] {
          const IWORD p = t.pmax + 1, ld = 200;
          static double gx[200], gr[200];
          double x = 1.0;
          t.twin(&p, &x, gx, &ld, gr);
        },
        " Parameter g_p_ is greater than g_pmax_");
  }
}

TEST(SmoothTwins, LimitRefusalChangesNothing) {
  scalar_test::ReturningStop hook;
  orvika_test::UnitCapture cap(6);
  for (const TwinCase& t : kTwins) {
    const IWORD p = t.pmax + 1, ld = 200;
    std::vector<double> gx(200, 1.0), gr(200, -7.0);
    double x = 2.0;
    t.twin(&p, &x, gx.data(), &ld, gr.data());
    for (double g : gr) EXPECT_EQ(g, -7.0) << t.name;
    // At the limit itself the twin works.
    const IWORD pm = t.pmax;
    t.twin(&pm, &x, gx.data(), &ld, gr.data());
    EXPECT_NE(gr[0], -7.0) << t.name;
  }
  EXPECT_EQ(scalar_test::ReturningStop::calls(), 3);
  EXPECT_EQ(cap.lines().size(), 3u);
  for (const auto& l : cap.lines()) EXPECT_EQ(l, " Parameter g_p_ is greater than g_pmax_");
}

}  // namespace
