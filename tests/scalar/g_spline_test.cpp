// Derivative twins of the spline chain: G_ORVK_SMCRV against ORVK_SMCRV
// (values bit for bit, derivatives against central differences) and the
// internal twins G_ORVK_SPLINE, G_ORVK_SPLN2I, G_ORVK_SPLN2D, G_ORVK_SPLN2C,
// G_ORVK_SPLN2E.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "orvika/scalar_curves.h"
#include "scalar/curves.hpp"
#include "scalar/gnum.hpp"
#include "scalar/spline_impl.hpp"
#include "support/capture.hpp"
#include "twin_test_util.hpp"

namespace {

using Vec = std::vector<double>;
constexpr double kSentinel = -12345.0;

Vec plain_smcrv(const Vec& x, const Vec& y, IWORD mode) {
  IWORD n = static_cast<IWORD>(x.size());
  Vec c(4 * (n - 1), kSentinel);
  ORVK_SMCRV(&n, y.data(), x.data(), c.data(), &mode);
  return c;
}

struct TwinOut {
  Vec c, gc;
};
// G_ORVK_SMCRV with G_P directions in GX (LD rows per abscissa).
TwinOut twin_smcrv(const Vec& x, const Vec& y, IWORD mode, IWORD g_p, const Vec& gx, IWORD ldx,
                   IWORD ldc) {
  IWORD n = static_cast<IWORD>(x.size());
  TwinOut out{Vec(4 * (n - 1), kSentinel), Vec(ldc * 4 * (n - 1), kSentinel)};
  G_ORVK_SMCRV(&g_p, &n, y.data(), x.data(), gx.data(), &ldx, out.c.data(), out.gc.data(), &ldc,
               &mode);
  return out;
}

Vec uneven(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> step(0.4, 1.6);
  Vec x(n);
  x[0] = 0.5;
  for (int i = 1; i < n; ++i) x[i] = x[i - 1] + step(rng);
  return x;
}

struct Data {
  const char* what;
  Vec x, y;
};
std::vector<Data> catalogue() {
  std::vector<Data> d;
  auto add = [&](const char* what, int n, unsigned seed, double (*f)(double)) {
    Vec x = uneven(n, seed), y(n);
    for (int i = 0; i < n; ++i) y[i] = f(x[i]);
    d.push_back({what, x, y});
  };
  add("two points", 2, 1, [](double t) { return 3 * t; });
  add("three points, smooth", 3, 2, [](double t) { return std::sin(t); });
  add("four points, smooth", 4, 3, [](double t) { return std::exp(0.3 * t); });
  add("oscillating", 9, 4, [](double t) { return std::sin(2.1 * t); });
  add("monotone with a step", 8, 5, [](double t) { return std::tanh(3 * (t - 4)); });
  add("wiggly", 12, 6, [](double t) { return std::cos(3 * t) + 0.2 * t; });
  return d;
}

// Values equal those of ORVK_SMCRV bit for bit, whatever G_P.
TEST(GSmcrv, ValuesEqualThePlainRoutine) {
  for (const Data& d : catalogue()) {
    const IWORD n = static_cast<IWORD>(d.x.size());
    for (IWORD mode : {IWORD{0}, IWORD{1}, IWORD{2}, IWORD{3}}) {
      const Vec want = plain_smcrv(d.x, d.y, mode);
      for (IWORD g_p : {IWORD{0}, IWORD{1}, IWORD{3}, IWORD{100}}) {
        const IWORD ld = g_p > 0 ? g_p : 1;
        Vec gx(ld * n);
        for (std::size_t k = 0; k < gx.size(); ++k) gx[k] = std::sin(1.0 + k);
        const TwinOut t = twin_smcrv(d.x, d.y, mode, g_p, gx, ld, ld);
        ASSERT_EQ(std::memcmp(t.c.data(), want.data(), want.size() * sizeof(double)), 0)
            << d.what << " mode " << mode << " g_p " << g_p;
      }
    }
  }
}

// G_P = 0: no derivative word is touched.
TEST(GSmcrv, ZeroDirectionsTouchNoDerivative) {
  const Data d = catalogue()[3];
  const TwinOut t = twin_smcrv(d.x, d.y, 1, 0, Vec(d.x.size(), 1.0), 1, 1);
  for (double v : t.gc) EXPECT_EQ(v, kSentinel);
}

// A leading dimension below G_P (columns that would overlap and run past
// the arrays): the values of ORVK_SMCRV, and no derivative word read or
// written, also none beyond the arrays' LD x columns words.
TEST(GSmcrv, LeadingDimensionBelowDirections) {
  const Data d = catalogue()[3];
  const IWORD n = static_cast<IWORD>(d.x.size()), g_p = 3, mode = 1;
  const Vec want = plain_smcrv(d.x, d.y, mode);
  struct Case {
    IWORD ldx, ldc;
  };
  for (const Case& k : {Case{2, 3}, Case{3, 2}, Case{1, 1}}) {
    // Each array: LD x columns words, then G_P guard words.
    Vec gx(k.ldx * n + g_p, 1.0);
    Vec gc(k.ldc * 4 * (n - 1) + g_p, kSentinel);
    Vec c(4 * (n - 1), kSentinel);
    IWORD gp = g_p, nn = n, md = mode, ldx = k.ldx, ldc = k.ldc;
    G_ORVK_SMCRV(&gp, &nn, d.y.data(), d.x.data(), gx.data(), &ldx, c.data(), gc.data(), &ldc,
                 &md);
    EXPECT_EQ(std::memcmp(c.data(), want.data(), want.size() * sizeof(double)), 0)
        << "ldx " << k.ldx << " ldc " << k.ldc;
    for (double v : gc) ASSERT_EQ(v, kSentinel) << "ldx " << k.ldx << " ldc " << k.ldc;
  }
}

// Derivatives against central differences of ORVK_SMCRV along each
// direction; rows beyond G_P of every column stay untouched.
TEST(GSmcrv, DerivativesMatchCentralDifferences) {
  const IWORD g_p = 3, ld = 5;
  for (const Data& d : catalogue()) {
    const IWORD n = static_cast<IWORD>(d.x.size());
    std::mt19937 rng(99 + n);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Vec gx(ld * n, kSentinel);
    for (IWORD i = 0; i < n; ++i)
      for (IWORD k = 0; k < g_p; ++k) gx[i * ld + k] = u(rng);
    for (IWORD mode : {IWORD{1}, IWORD{2}, IWORD{3}}) {
      const TwinOut t = twin_smcrv(d.x, d.y, mode, g_p, gx, ld, ld);
      for (IWORD k = 0; k < g_p; ++k) {
        const double e = 1e-6;
        Vec xp(d.x), xm(d.x);
        for (IWORD i = 0; i < n; ++i) {
          xp[i] += e * gx[i * ld + k];
          xm[i] -= e * gx[i * ld + k];
        }
        const Vec cp = plain_smcrv(xp, d.y, mode), cm = plain_smcrv(xm, d.y, mode);
        for (std::size_t w = 0; w < cp.size(); ++w) {
          const double fd = (cp[w] - cm[w]) / (2 * e);
          const double g = t.gc[w * ld + k];
          EXPECT_NEAR(g, fd, 1e-6 * (1 + std::fabs(fd)))
              << d.what << " mode " << mode << " direction " << k + 1 << " word " << w + 1;
        }
      }
      for (std::size_t w = 0; w < t.c.size(); ++w)
        for (IWORD k = g_p; k < ld; ++k) EXPECT_EQ(t.gc[w * ld + k], kSentinel);
    }
  }
}

// Moving every abscissa by the same amount, or stretching them, leaves the
// coefficients in the local abscissa unchanged: zero derivatives.
TEST(GSmcrv, ShiftAndStretchGiveZero) {
  for (const Data& d : catalogue()) {
    const IWORD n = static_cast<IWORD>(d.x.size());
    Vec gx(2 * n);
    for (IWORD i = 0; i < n; ++i) {
      gx[2 * i] = 1.0;
      gx[2 * i + 1] = d.x[i];
    }
    for (IWORD mode : {IWORD{1}, IWORD{2}, IWORD{3}}) {
      const TwinOut t = twin_smcrv(d.x, d.y, mode, 2, gx, 2, 2);
      for (std::size_t w = 0; w < t.c.size(); ++w) {
        const double scale = 1e-12 * (1 + std::fabs(t.c[w]));
        EXPECT_NEAR(t.gc[2 * w], 0.0, scale) << d.what << " mode " << mode << " shift word " << w;
        EXPECT_NEAR(t.gc[2 * w + 1], 0.0, scale * 10)
            << d.what << " mode " << mode << " stretch word " << w;
      }
    }
  }
}

// Abscissae scaled by S: the coefficients stay, their derivatives along the
// same directions are divided by S, also for widths where the Hermite
// cubic's intermediate quantities leave the range of doubles (the scales
// stay where the derivatives of the secants, of order 1/S^2, are doubles).
TEST(GSmcrv, ExtremeAbscissaScales) {
  const Vec x{0, 1, 2.5, 3, 4.5, 5}, y{0, 1, 3, 3, 3.5, 7};
  const IWORD n = static_cast<IWORD>(x.size());
  Vec gx(2 * n);
  for (IWORD i = 0; i < 2 * n; ++i) gx[i] = std::cos(1.0 + 2.0 * i);
  for (IWORD mode : {IWORD{1}, IWORD{2}}) {
    const TwinOut t1 = twin_smcrv(x, y, mode, 2, gx, 2, 2);
    for (double scale : {1e-110, 1e-140, 1e120, 1e150}) {
      Vec xs(x);
      for (double& v : xs) v *= scale;
      const TwinOut t = twin_smcrv(xs, y, mode, 2, gx, 2, 2);
      for (std::size_t w = 0; w < t.c.size(); ++w) {
        EXPECT_NEAR(t.c[w], t1.c[w], 1e-13 * (1 + std::fabs(t1.c[w])))
            << "mode " << mode << " scale " << scale << " word " << w + 1;
        for (int k = 0; k < 2; ++k)
          EXPECT_NEAR(t.gc[2 * w + k] * scale, t1.gc[2 * w + k],
                      1e-12 * (1 + std::fabs(t1.gc[2 * w + k])))
              << "mode " << mode << " scale " << scale << " word " << w + 1 << " direction "
              << k + 1;
      }
    }
  }
}

// Straight pieces (N = 2, MODE 3) and pieces made straight by the repair
// have zero derivatives.
TEST(GSmcrv, StraightPiecesHaveZeroDerivatives) {
  const Vec gx{0.3, -1.0, 2.0, 0.7};
  for (IWORD mode : {IWORD{1}, IWORD{3}}) {
    const TwinOut t = twin_smcrv({0, 1, 2, 3}, {0, 1, 1, 0}, mode, 1, gx, 1, 1);
    // Local cubics: the middle piece 1 + t/2 - t^2/2 turns at t = 0.5.
    if (mode == 1) {
      EXPECT_EQ(t.c[4], 1.0);
      EXPECT_EQ(t.c[5], 0.0);
      for (int w = 5; w < 8; ++w) EXPECT_EQ(t.gc[w], 0.0) << "word " << w + 1;
    } else {
      for (double g : t.gc) EXPECT_EQ(g, 0.0);
    }
  }
  const TwinOut t2 = twin_smcrv({1, 4}, {2, 5}, 2, 1, {1.0, -3.0}, 1, 1);
  for (double g : t2.gc) EXPECT_EQ(g, 0.0);
}

// The monotone mode at equal secant magnitudes (points on a line) uses the
// half-sum derivative of max and min; it agrees with differences there.
TEST(GSmcrv, EqualSecantsInTheMonotoneMode) {
  const Vec x{0, 1, 2, 3}, y{1, 3, 5, 7};
  const Vec gx{0.2, 1.0, -0.5, 0.1};
  const TwinOut t = twin_smcrv(x, y, 2, 1, gx, 1, 1);
  const double e = 1e-7;
  Vec xp(x), xm(x);
  for (int i = 0; i < 4; ++i) {
    xp[i] += e * gx[i];
    xm[i] -= e * gx[i];
  }
  const Vec cp = plain_smcrv(xp, y, 2), cm = plain_smcrv(xm, y, 2);
  for (std::size_t w = 0; w < cp.size(); ++w)
    EXPECT_NEAR(t.gc[w], (cp[w] - cm[w]) / (2 * e), 1e-6) << "word " << w + 1;
}

// ---- the repair's tie rules ---------------------------------------------------

// One piece with its derivatives, repaired through the twin's body.
struct PieceArrays {
  using Num = orvika::GNum;
  double* c;
  double* gc;  // one direction
  Num X(IWORD i) const { return Num(i - 1.0); }
  Num C(IWORD w) const { return Num::load(c[w - 1], &gc[w - 1], 1); }
  void setC(IWORD w, const Num& v) const {
    c[w - 1] = v.v;
    v.store_g(&gc[w - 1], 1);
  }
  void spln2i(IWORD, const double*) const {}
};

// A stationary point moved to max(-0.25 r, -0.01) or 1 + min(0.01,
// 0.25 (1 - r)) takes the slope -0.25 where the moving term is chosen, 0
// where the bound is, and half of it at the tie r = 0.04.  (At r = 0.96,
// 0.25 (1 - r) rounds above 0.01, so the bound is chosen.)
TEST(GSmcrvRepair, MovedRootSlopes) {
  struct Case {
    double c1, moved, weight;
  };
  for (const Case& k : std::vector<Case>{{-0.08, -0.01, 0.5},
                                         {-0.04, -0.005, 1.0},
                                         {-0.12, -0.01, 0.0},
                                         {-1.94, 1.0075, 1.0},
                                         {-1.92, 1.01, 0.0},
                                         {-1.8, 1.01, 0.0}}) {
    double c[4] = {0, k.c1, 1, 0}, gc[4] = {0, 1, 0, 0};
    const double y[2] = {0, 1};
    orvika::spline_detail::smcrv_repair(PieceArrays{c, gc}, 2, y, 1);
    // r = -c1/2 has g_r = -0.5, so the moved root has 0.125 * weight.  The
    // refit C(2) = g L, C(3) = L with g = -2 r', L = 1/(1 - 2 r').
    const double gm = 0.125 * k.weight;
    const double s = 1 - 2 * k.moved;
    EXPECT_NEAR(c[1], -2 * k.moved / s, 1e-15) << k.c1;
    EXPECT_NEAR(c[2], 1 / s, 1e-15) << k.c1;
    EXPECT_NEAR(gc[1], gm * (-2 / (s * s)), 1e-15) << k.c1;
    EXPECT_NEAR(gc[2], gm * (2 / (s * s)), 1e-15) << k.c1;
    EXPECT_EQ(gc[3], 0.0);
  }
}

// ---- internal twins -------------------------------------------------------

TEST(GSpln2c, MovingTheRightEnd) {
  const double x1 = 0, x2 = 1, d1 = 1, d2 = 1;
  const double gx1 = 0, gx2 = 1, gd1 = 0, gd2 = 0;
  double c[4], g[4];
  orvika::G_ORVK_SPLN2C(1, &x1, &gx1, 1, &x2, &gx2, 1, 0.0, 1.0, &d1, &gd1, 1, &d2, &gd2, 1,
                        &c[0], &g[0], 1, &c[1], &g[1], 1, &c[2], &g[2], 1, &c[3], &g[3], 1);
  const double wc[4] = {0, 1, 0, 0}, wg[4] = {0, 1, -3, 2};
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(c[k], wc[k], 1e-15) << k;
    EXPECT_NEAR(g[k], wg[k], 1e-14) << k;
  }
}

TEST(GSpln2d, MovingTheMiddleNode) {
  const double x[3] = {0, 1, 2}, f[3] = {0, 1, 3}, gx[3] = {0, 1, 0};
  double d[3], gd[3];
  IWORD nchg = -1;
  orvika::G_ORVK_SPLN2D(1, 3, x, gx, 1, f, d, gd, 1, 1, nchg);
  EXPECT_EQ(nchg, 0);
  const double wd[3] = {0.5, 4.0 / 3, 2.5}, wg[3] = {-3, -8.0 / 27, 3};
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(d[k], wd[k], 1e-15) << k;
    EXPECT_NEAR(gd[k], wg[k], 1e-14) << k;
  }
}

TEST(GSpln2e, SignTestWithoutDerivative) {
  const double g[1] = {5.0};
  EXPECT_EQ(orvika::G_ORVK_SPLN2E(1, -2.0, g, 1, -1.0, g, 1), 1.0);
  EXPECT_EQ(orvika::G_ORVK_SPLN2E(1, 2.0, g, 1, -1.0, g, 1), -1.0);
  EXPECT_EQ(orvika::G_ORVK_SPLN2E(1, 0.0, g, 1, 1.0, g, 1), 0.0);
}

// G_ORVK_SPLN2I and G_ORVK_SPLINE give the values of their plain routines.
TEST(GSpln2i, ValuesEqualThePlainChain) {
  const Data d = catalogue()[4];
  IWORD n = static_cast<IWORD>(d.x.size());
  Vec c1(4 * (n - 1)), c2(4 * (n - 1)), g(4 * (n - 1)), gx(n, 1.0);
  ORVK_SPLN2I(&n, d.y.data(), d.x.data(), c1.data());
  orvika::G_ORVK_SPLN2I(1, n, d.y.data(), d.x.data(), gx.data(), 1, c2.data(), g.data(), 1);
  EXPECT_EQ(c1, c2);
  for (double v : g) EXPECT_NEAR(v, 0.0, 1e-13);  // a shift changes nothing
  IWORD mode = 1;
  ORVK_SPLINE(&n, d.y.data(), d.x.data(), c1.data(), &mode);
  orvika::G_ORVK_SPLINE(1, n, d.y.data(), d.x.data(), gx.data(), 1, c2.data(), g.data(), 1, 1);
  EXPECT_EQ(c1, c2);
}

// ---- the direction limit ----------------------------------------------------

TEST(GSmcrvDeathTest, MoreThan100DirectionsStops) {
  scalar_test::expect_limit_stop(
      [] {
        IWORD g_p = 101, n = 3, ld = 101, mode = 1;
        static double x[3] = {0, 1, 2}, y[3] = {0, 1, 0}, gx[303], c[8], gc[808];
        G_ORVK_SMCRV(&g_p, &n, y, x, gx, &ld, c, gc, &ld, &mode);
      },
      " Parameter g_p_ is greater than g_pmax_");
}

TEST(GSmcrv, LimitRefusalChangesNothing) {
  scalar_test::ReturningStop hook;
  orvika_test::UnitCapture cap(6);
  IWORD g_p = 101, n = 4, ld = 101, mode = 1;
  Vec x{0, 1, 2, 3}, y{0, 1, 0, 2}, gx(ld * 4, 1.0), c(12, kSentinel), gc(ld * 12, kSentinel);
  G_ORVK_SMCRV(&g_p, &n, y.data(), x.data(), gx.data(), &ld, c.data(), gc.data(), &ld, &mode);
  EXPECT_EQ(scalar_test::ReturningStop::calls(), 1);
  EXPECT_EQ(cap.text(), " Parameter g_p_ is greater than g_pmax_\n");
  for (double v : c) EXPECT_EQ(v, kSentinel);
  for (double v : gc) EXPECT_EQ(v, kSentinel);
  // The limit itself is accepted.
  g_p = 100;
  G_ORVK_SMCRV(&g_p, &n, y.data(), x.data(), gx.data(), &ld, c.data(), gc.data(), &ld, &mode);
  EXPECT_EQ(scalar_test::ReturningStop::calls(), 1);
  EXPECT_EQ(c, plain_smcrv(x, y, mode));
}

}  // namespace
