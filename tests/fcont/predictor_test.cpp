// Predictor, target step and turning points of the continuation solver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fcont/fcont_parts.hpp"

namespace {

using IWORD = ::IWORD;
using Vec = std::vector<double>;

// A cubic q(s) = a + b s + c s^2 + d s^3 and its derivatives.
struct Cubic {
  double a, b, c, d;
  double v(double s) const { return a + s * (b + s * (c + s * d)); }
  double d1(double s) const { return b + s * (2 * c + 3 * d * s); }
  double d2(double s) const { return 2 * c + 6 * d * s; }
};

TEST(FcontPredictor, HermiteReproducesEndPoints) {
  const double dels = 0.7, yb = 2.0, tb = -0.3, yp = 1.5, tp = 0.8;
  double p = 0, p1 = 0, p2 = 0;
  orvika::fcont_hermite(2, dels, 0.0, yb, tb, yp, tp, p, p1, p2);
  EXPECT_EQ(p, yb);
  EXPECT_EQ(p1, tb);
  orvika::fcont_hermite(2, dels, -dels, yb, tb, yp, tp, p, p1, p2);
  EXPECT_NEAR(p, yp, 1e-14);
  EXPECT_NEAR(p1, tp, 1e-14);
}

// The interpolant of a cubic is the cubic itself, with its derivatives;
// MODE limits what is written.
TEST(FcontPredictor, HermiteIsExactOnCubics) {
  const Cubic q{0.5, -1.25, 0.75, 2.0};
  const double dels = 0.8;
  for (double s : {-0.8, -0.3, 0.0, 0.4, 1.1}) {
    double p = 0, p1 = 0, p2 = 0;
    orvika::fcont_hermite(3, dels, s, q.v(0), q.d1(0), q.v(-dels), q.d1(-dels), p, p1, p2);
    EXPECT_NEAR(p, q.v(s), 1e-13) << s;
    EXPECT_NEAR(p1, q.d1(s), 1e-13) << s;
    EXPECT_NEAR(p2, q.d2(s), 1e-12) << s;
    double u1 = -7, u2 = -7;
    orvika::fcont_hermite(1, dels, s, q.v(0), q.d1(0), q.v(-dels), q.d1(-dels), p, u1, u2);
    EXPECT_EQ(u1, -7);
    EXPECT_EQ(u2, -7);
    orvika::fcont_hermite(2, dels, s, q.v(0), q.d1(0), q.v(-dels), q.d1(-dels), p, u1, u2);
    EXPECT_EQ(u2, -7);
  }
}

TEST(FcontPredictor, CubicSolveFindsRootsAndReportsEnds) {
  // Root of a monotone cubic between the points.
  const Cubic q{1.0, 2.0, 0.5, 0.1};
  const double dels = 1.0;
  double lo = -1.0, hi = 0.0, s = -0.5;
  IWORD status = -1;
  orvika::fcont_cubsolve(1, dels, 0.0, q.v(0), q.d1(0), q.v(-dels), q.d1(-dels), lo, hi, s,
                         status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(q.v(s), 0.0, 1e-9);
  EXPECT_LE(lo, s);
  EXPECT_GE(hi, s);

  // Straight path (TB = TP = secant) whose target lies beyond HI: the first
  // step is clamped to HI and the next stops there.
  lo = 0.0, hi = 1.0, s = 0.5;
  orvika::fcont_cubsolve(1, 1.0, 5.0, 0.0, 1.0, -1.0, 1.0, lo, hi, s, status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(s, 1.0);

  // Zero derivative: a flat straight path.
  lo = -1.0, hi = 1.0, s = 0.2;
  orvika::fcont_cubsolve(1, 1.0, 5.0, 2.0, 0.0, 2.0, 0.0, lo, hi, s, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(s, 0.2);
}

TEST(FcontPredictor, LinearPredictionIgnoresPreviousPoint) {
  const Vec yb = {1.0, 2.0, 0.5}, tb = {0.6, 0.0, -0.8};
  const Vec yp = {1e300, -1e300, 7.0};  // not read
  Vec tp = {100.0, 5.0, 5.0};
  Vec y(3), tpred(3);
  double h = 0.5;
  orvika::fcont_predict(3, 0.25, h, yb.data(), tb.data(), yp.data(), tp.data(), 2, y.data(),
                        tpred.data());
  EXPECT_EQ(h, 0.5);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(y[i], yb[i] + 0.5 * tb[i]);
    EXPECT_EQ(tpred[i], tb[i]);
  }
  // A last step of length 0 cannot carry a cubic: the straight line is used
  // instead of dividing by it.
  tp = {0.6, 0.0, -0.8};
  h = 0.5;
  orvika::fcont_predict(3, 0.0, h, yb.data(), tb.data(), yb.data(), tp.data(), 2, y.data(),
                        tpred.data());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(y[i], yb[i] + 0.5 * tb[i]);
}

// Points on a circle of radius 1, arc position s measured from YB.
struct Circle {
  double phi0;  // angle of YB
  Vec y(double s) const { return {std::cos(phi0 + s), std::sin(phi0 + s)}; }
  Vec t(double s) const { return {-std::sin(phi0 + s), std::cos(phi0 + s)}; }
};

TEST(FcontPredictor, BlendsTowardsTangentLineBeyondTwiceTheStep) {
  const Circle c{0.3};
  const double dels = 0.1;
  const Vec yb = c.y(0), tb = c.t(0), yp = c.y(-dels), tp = c.t(-dels);
  const double h = 3 * dels;
  // Hermite values at H for MODE 1 (no tangent, no bend test).
  Vec herm(2);
  for (int i = 0; i < 2; ++i) {
    double p1 = 0, p2 = 0;
    orvika::fcont_hermite(1, dels, h, yb[i], tb[i], yp[i], tp[i], herm[i], p1, p2);
  }
  Vec y(2), tpred(2);
  double hh = h;
  orvika::fcont_predict(2, dels, hh, yb.data(), tb.data(), yp.data(), tp.data(), 1, y.data(),
                        tpred.data());
  EXPECT_EQ(hh, h);
  for (int i = 0; i < 2; ++i) {
    const double expect = (2.0 / 3.0) * herm[i] + (1.0 / 3.0) * (yb[i] + h * tb[i]);
    EXPECT_NEAR(y[i], expect, 1e-15);
  }
  // Within twice the step the prediction follows the circle closely.
  hh = 0.15;
  orvika::fcont_predict(2, dels, hh, yb.data(), tb.data(), yp.data(), tp.data(), 2, y.data(),
                        tpred.data());
  EXPECT_EQ(hh, 0.15);
  const Vec ye = c.y(0.15), te = c.t(0.15);
  for (int i = 0; i < 2; ++i) {
    EXPECT_NEAR(y[i], ye[i], 1e-4);
    EXPECT_NEAR(tpred[i], te[i], 3e-3);
  }
  EXPECT_NEAR(std::hypot(tpred[0], tpred[1]), 1.0, 1e-15);
}

// The step is halved while the predicted tangent turns by more than about
// 56.6 degrees (cosine 0.55) from TB.
TEST(FcontPredictor, HalvesStepWhenTangentBendsTooFar) {
  // On a circle the tangent turns by the arc length: from H = 1.6 (91.7
  // degrees) the step halves to 0.8 (45.8 degrees), which passes.
  const Circle c{0.0};
  const double dels = 0.8;
  const Vec yb = c.y(0), tb = c.t(0), yp = c.y(-dels), tp = c.t(-dels);
  Vec y(2), tpred(2);
  double h = 1.6;
  orvika::fcont_predict(2, dels, h, yb.data(), tb.data(), yp.data(), tp.data(), 2, y.data(),
                        tpred.data());
  EXPECT_EQ(h, 0.8);
  EXPECT_GE(tb[0] * tpred[0] + tb[1] * tpred[1], 0.55);
  // 0.6 rad (34.4 degrees) passes unchanged.
  h = 0.6;
  orvika::fcont_predict(2, 0.6, h, c.y(0).data(), tb.data(), c.y(-0.6).data(), c.t(-0.6).data(),
                        2, y.data(), tpred.data());
  EXPECT_EQ(h, 0.6);
}

// A tangent TB that is not of unit length can never pass the bend test; the
// halving stops when the step cannot shrink any further.
TEST(FcontPredictor, BendLoopEndsForNonUnitTangent) {
  const Vec yb = {0.0, 0.0}, tb = {0.3, 0.0}, yp = {-0.1, 0.1}, tp = {0.1, -0.5};
  Vec y(2), tpred(2);
  double h = 1.0;
  orvika::fcont_predict(2, 0.2, h, yb.data(), tb.data(), yp.data(), tp.data(), 2, y.data(),
                        tpred.data());
  EXPECT_EQ(h, 0.0);
}

std::string text_of(const char* t, int len) {
  std::string s(t, static_cast<size_t>(len));
  return s.substr(0, s.find_last_not_of(' ') + 1);
}

TEST(FcontPredictor, TargetStep) {
  // Straight parameter component in the cubic form: YB = 1.2 h0 above the
  // target, falling with slope -1 (TB = TP = secant slope -1).
  struct Case {
    const char* what;
    double pb;       // parameter component of YB
    double slope;    // TB = TP = secant slope
    double tp1;      // TP(1): 100 marks the linear case
    double h_expect;
    IWORD pfixed;
    const char* text;
  };
  const double h0 = 0.5;
  const Case cases[] = {
      {"target 1.2 h0 ahead", 0.6, -1.0, 0.0, 0.33, 0,
       "Reduce the step to 0.33000     for next param value"},
      {"target 0.5 h0 ahead", 0.25, -1.0, 0.0, 0.25, 1,
       "Reduce the step to 0.25000     for param value"},
      {"target 2 h0 ahead", 1.0, -1.0, 0.0, 0.5, 0, ""},
      {"linear, target 1.2 h0 ahead", 0.6, -1.0, 100.0, 0.33, 0,
       "Reduce the step to 0.33000     for next param value"},
      {"linear, pointing away", 0.6, 1.0, 100.0, 0.5, 0, ""},
      {"linear, flat parameter", 0.6, 0.0, 100.0, 0.5, 0, ""},
  };
  for (const Case& c : cases) {
    const double dels = 0.4;
    const Vec yb = {0.0, c.pb}, tb = {0.0, c.slope};
    const Vec yp = {0.0, c.pb - dels * c.slope}, tp = {c.tp1, c.slope};
    double h = h0;
    IWORD pfixed = -1;
    char text[132];
    std::memset(text, 'x', sizeof text);
    orvika::fcont_tgtstep(h, 2, dels, 0.0, yb.data(), tb.data(), yp.data(), tp.data(), text,
                          pfixed, 0, 132);
    EXPECT_NEAR(h, c.h_expect, 1e-12) << c.what;
    EXPECT_EQ(pfixed, c.pfixed) << c.what;
    EXPECT_EQ(text_of(text, 132), c.text) << c.what;
  }
}

// A last step of length 0 gives no cubic: the straight-line target is used
// instead of dividing by it.
TEST(FcontPredictor, TargetStepAfterZeroStep) {
  const Vec yb = {0.0, 0.6}, tb = {0.0, -1.0}, yp = yb, tp = {0.0, -1.0};
  double h = 0.5;
  IWORD pfixed = -1;
  char text[132];
  orvika::fcont_tgtstep(h, 2, 0.0, 0.0, yb.data(), tb.data(), yp.data(), tp.data(), text, pfixed,
                        0, 132);
  EXPECT_NEAR(h, 0.33, 1e-15);
  EXPECT_EQ(pfixed, 0);
}

// A scalar path with known folds: x^3 - 3x - 2 + 4 lambda = 0, that is
// lambda(x) = (2 + 3x - x^3) / 4, with turning points of lambda at x = 1
// (lambda = 1) and x = -1 (lambda = 0).
struct FoldPath {
  static double lam(double x) { return (2.0 + 3.0 * x - x * x * x) / 4.0; }
  static double dlam(double x) { return (3.0 - 3.0 * x * x) / 4.0; }
  static Vec point(double x) { return {x, lam(x)}; }
  // Unit tangent in the direction of increasing x.
  static Vec tangent(double x) {
    const double d = dlam(x), r = std::hypot(1.0, d);
    return {1.0 / r, d / r};
  }
  static double residual(double x, double l) { return x * x * x - 3.0 * x - 2.0 + 4.0 * l; }
};

TEST(FcontPredictor, TurningPointOnScalarFoldPath) {
  struct Case {
    double xp, xb, xfold, lfold;
  };
  const Case cases[] = {{0.85, 1.2, 1.0, 1.0}, {-1.2, -0.85, -1.0, 0.0}};
  for (const Case& c : cases) {
    const Vec yp = FoldPath::point(c.xp), yb = FoldPath::point(c.xb);
    const Vec tp = FoldPath::tangent(c.xp), tb = FoldPath::tangent(c.xb);
    const double dels = std::hypot(yb[0] - yp[0], yb[1] - yp[1]);
    IWORD k = 1;  // examine the parameter component only
    double s = 99.0;
    orvika::fcont_turnpt(2, k, dels, yb.data(), tb.data(), yp.data(), tp.data(), s);
    ASSERT_EQ(k, 2) << c.xfold;
    EXPECT_GE(s, -dels);
    EXPECT_LE(s, 0.0);
    // Interpolate the turning point as the driver does.
    Vec y(2), tpred(2);
    double h = s;
    orvika::fcont_predict(2, dels, h, yb.data(), tb.data(), yp.data(), tp.data(), 1, y.data(),
                          tpred.data());
    EXPECT_NEAR(y[0], c.xfold, 0.02) << c.xfold;
    EXPECT_NEAR(y[1], c.lfold, 1e-3) << c.xfold;
    EXPECT_NEAR(FoldPath::residual(y[0], y[1]), 0.0, 5e-3);
  }
}

TEST(FcontPredictor, NoTurningPointWithoutSignChange) {
  const Vec yp = FoldPath::point(0.2), yb = FoldPath::point(0.6);
  const Vec tp = FoldPath::tangent(0.2), tb = FoldPath::tangent(0.6);
  const double dels = std::hypot(yb[0] - yp[0], yb[1] - yp[1]);
  IWORD k = 1;
  double s = 0.0;
  orvika::fcont_turnpt(2, k, dels, yb.data(), tb.data(), yp.data(), tp.data(), s);
  EXPECT_EQ(k, 0);
  // K = NP1: no component is examined.
  const Vec tb2 = FoldPath::tangent(1.2);
  k = 2;
  orvika::fcont_turnpt(2, k, dels, yb.data(), tb2.data(), yp.data(), tp.data(), s);
  EXPECT_EQ(k, 0);
  // A zero last step gives no interval to search.
  k = 1;
  orvika::fcont_turnpt(2, k, 0.0, yb.data(), tb2.data(), yp.data(), tp.data(), s);
  EXPECT_EQ(k, 0);
}

// Following the fold path with the predictor: a prediction from two points
// lies near the path.
TEST(FcontPredictor, PredictionFollowsFoldPath) {
  const double xp = 0.3, xb = 0.5;
  const Vec yp = FoldPath::point(xp), yb = FoldPath::point(xb);
  const Vec tp = FoldPath::tangent(xp), tb = FoldPath::tangent(xb);
  const double dels = std::hypot(yb[0] - yp[0], yb[1] - yp[1]);
  Vec y(2), tpred(2);
  double h = dels;
  orvika::fcont_predict(2, dels, h, yb.data(), tb.data(), yp.data(), tp.data(), 2, y.data(),
                        tpred.data());
  EXPECT_EQ(h, dels);
  EXPECT_NEAR(FoldPath::residual(y[0], y[1]), 0.0, 1e-2);  // third-order error, step 0.2
  const Vec te = FoldPath::tangent(y[0]);
  EXPECT_GT(te[0] * tpred[0] + te[1] * tpred[1], 0.999);
}

TEST(FcontPredictor, StepFactorTable) {
  struct Case {
    double a, b;
    IWORD k, m, l;
    double fac;
  };
  const Case cases[] = {
      {1.0, 1.0, 1, 5, 4, 8.0},     // K <= 1
      {1.0, 1e-15, 3, 5, 4, 8.0},   // B tiny
      {1.0, 1.0, 2, 5, 5, 1.0},     // K = (L-1)/2
      {1.0, 1.0, 6, 7, 5, 0.125},   // K >= L
      {1.0, 1.0, 5, 4, 5, 1.0},     // K > M, K = L
      {1.0, 1.0, 10, 4, 5, 0.125},  // K >= 2L
  };
  for (const Case& c : cases) {
    double fac = -1;
    orvika::fcont_stpfac(c.a, c.b, c.k, c.m, c.l, fac);
    EXPECT_EQ(fac, c.fac) << c.k << " " << c.m << " " << c.l;
  }
  // General branch: the factor stays inside [0.125, 8].
  for (double a : {1e-8, 0.01, 1.0, 100.0}) {
    double fac = 0;
    orvika::fcont_stpfac(a, 1.0, 3, 5, 6, fac);
    EXPECT_GE(fac, 0.125);
    EXPECT_LE(fac, 8.0);
    orvika::fcont_stpfac(a, 1.0, 7, 5, 6, fac);
    EXPECT_GE(fac, 0.125);
    EXPECT_LE(fac, 8.0);
  }
}

TEST(FcontPredictor, CurvatureStepStaysInLimits) {
  double curv = 0.0, hnew = 0.0;
  // Straight path: the curvature estimate is the floor, the step grows by GROW.
  orvika::fcont_curvstp(0.0, 0.5, 0.0, 0.0, 0.0, curv, 2.0, 1e-6, 10.0, 0, hnew);
  EXPECT_EQ(curv, 0.0);
  EXPECT_EQ(hnew, 1.0);
  // A turn of pi/2 over H = 1: curvature 2 sin(pi/4) = sqrt(2).
  orvika::fcont_curvstp(M_PI / 2, 1.0, 0.0, 0.1, 1.0, curv, 2.0, 1e-6, 10.0, 0, hnew);
  EXPECT_NEAR(curv, std::sqrt(2.0), 1e-15);
  EXPECT_GE(hnew, 0.5);
  EXPECT_LE(hnew, 2.0);
  // No step to measure over: the step is only limited.
  curv = 3.0;
  orvika::fcont_curvstp(1.0, 0.0, 0.0, 0.1, 1.0, curv, 2.0, 1e-3, 10.0, 0, hnew);
  EXPECT_EQ(curv, 3.0);
  EXPECT_EQ(hnew, 1e-3);
}

// Scale routine of the caller, recording its call.
IWORD g_scl_calls = 0;
void scale_cb(const IWORD* i, const IWORD* mode, const double* v, double* s1, double* s2,
              double* s3, const IWORD* l, char* text, std::int64_t ltext) {
  ++g_scl_calls;
  *s1 = v[*i - 1] * 10.0 + static_cast<double>(*mode);
  *s2 = 2.0;
  *s3 = static_cast<double>(*l);
  if (ltext >= 2) std::memcpy(text, "OK", 2);
}

TEST(FcontPredictor, ScaleDefaultsAndCallerRoutine) {
  const double v[3] = {2.0, 3.0, 4.0};
  const double vneg[3] = {-1.0, 3.0, 4.0};
  const IWORD zero = 0;
  double s1 = 0, s2 = 0, s3 = -1;
  char text[8];
  orvika::fcont_getscl(2, 0, v, &zero, s1, s2, s3, text, 8);
  EXPECT_EQ(s1, 3.0);
  EXPECT_EQ(s2, 1.0);
  EXPECT_EQ(s3, 0.0);
  EXPECT_EQ(std::string(text, 8), "        ");
  orvika::fcont_getscl(2, 0, vneg, &zero, s1, s2, s3, text, 8);
  EXPECT_EQ(s1, 1.0);
  g_scl_calls = 0;
  const void* cb = reinterpret_cast<const void*>(&scale_cb);
  orvika::fcont_getscl(3, 1, v, cb, s1, s2, s3, text, 8);
  EXPECT_EQ(g_scl_calls, 1);
  EXPECT_EQ(s1, 41.0);
  EXPECT_EQ(s2, 2.0);
  EXPECT_EQ(s3, 8.0);
  EXPECT_EQ(std::string(text, 8), "OK      ");
  orvika::fcont_getscl(3, -1, v, cb, s1, s2, s3, text, 8);  // negative mode: no call
  EXPECT_EQ(g_scl_calls, 1);
  EXPECT_EQ(s1, 4.0);
}

}  // namespace
