// ORVK_BFGS1, ORVK_GUPDAT, ORVK_DFPBFS: secant conditions, symmetry,
// positive definiteness, damping and the perturbation sweep.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "qp/qp_test_util.hpp"
#include "support/capture.hpp"

namespace {

using qp_test::Vec;

class QuasiNewtonTest : public ::testing::Test {
 protected:
  void SetUp() override { qp_test::reset_blocks(); }
  void TearDown() override {
    for (IWORD& w : ORVK_NLPINT) w = 0;
  }
};

Vec matvec(int n, const Vec& a, const Vec& x) {
  Vec y(n, 0.0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) y[i] += a[i + j * n] * x[j];
  return y;
}

double dot(const Vec& a, const Vec& b) {
  double s = 0;
  for (size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
  return s;
}

Vec random_spd(std::mt19937& rng, int n) {
  std::uniform_real_distribution<double> u(-1, 1);
  Vec m(n * n), a(n * n, 0.0);
  for (double& v : m) v = u(rng);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = i == j ? 1.0 : 0.0;
      for (int k = 0; k < n; ++k) s += m[k + i * n] * m[k + j * n];
      a[i + j * n] = s;
    }
  return a;
}

bool positive_definite(int n, Vec a) {  // Cholesky
  for (int k = 0; k < n; ++k) {
    double d = a[k + k * n];
    for (int p = 0; p < k; ++p) d -= a[k + p * n] * a[k + p * n];
    if (!(d > 0)) return false;
    d = std::sqrt(d);
    a[k + k * n] = d;
    for (int i = k + 1; i < n; ++i) {
      double s = a[i + k * n];
      for (int p = 0; p < k; ++p) s -= a[i + p * n] * a[k + p * n];
      a[i + k * n] = s / d;
    }
  }
  return true;
}

double asym(int n, const Vec& a) {
  double e = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) e = std::max(e, std::fabs(a[i + j * n] - a[j + i * n]));
  return e;
}

Vec random_vec(std::mt19937& rng, int n) {
  std::uniform_real_distribution<double> u(-1, 1);
  Vec v(n);
  for (double& x : v) x = u(rng);
  return v;
}

TEST_F(QuasiNewtonTest, Bfgs1SecantSymmetryAndDefiniteness) {
  std::mt19937 rng(21);
  for (int n : {1, 2, 5, 12, 60}) {
    for (IWORD idamp : {0, 1}) {
      Vec b = random_spd(rng, n), s = random_vec(rng, n);
      // y with positive curvature: y = C s for another SPD C.
      const Vec y = matvec(n, random_spd(rng, n), s);
      const IWORD nn = n, iout = 77, ip = 0;
      ORVK_BFGS1(&nn, s.data(), y.data(), b.data(), &idamp, &iout, &ip);
      const Vec bs = matvec(n, b, s);
      for (int i = 0; i < n; ++i) EXPECT_NEAR(bs[i], y[i], 1e-9 * (1 + std::fabs(y[i])));
      EXPECT_LT(asym(n, b), 1e-12 * n);
      EXPECT_TRUE(positive_definite(n, b)) << n;
    }
  }
}

TEST_F(QuasiNewtonTest, Bfgs1IdentityWithYEqualSStaysIdentity) {
  const IWORD n = 3, idamp = 0, iout = 77, ip = 0;
  Vec b = {1, 0, 0, 0, 1, 0, 0, 0, 1}, s = {0.3, -1, 2};
  ORVK_BFGS1(&n, s.data(), s.data(), b.data(), &idamp, &iout, &ip);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(b[i + 3 * j], i == j ? 1.0 : 0.0, 1e-14);
}

TEST_F(QuasiNewtonTest, Bfgs1DampingKeepsDefinitenessWithNegativeCurvature) {
  std::mt19937 rng(22);
  const int n = 4;
  Vec b = random_spd(rng, n), s = random_vec(rng, n);
  Vec y(n);
  for (int i = 0; i < n; ++i) y[i] = -s[i];  // y's < 0
  const IWORD nn = n, idamp = 1, iout = 77, ip = 3;
  orvika_test::UnitCapture cap(77);
  ORVK_BFGS1(&nn, s.data(), y.data(), b.data(), &idamp, &iout, &ip);
  EXPECT_TRUE(positive_definite(n, b));
  EXPECT_LT(asym(n, b), 1e-12);
  const std::string t = cap.text();
  for (const char* label : {"  S         \n", "  AS        \n", "  YTS       \n", "  STAS      \n",
                            "  THETA     \n", "  ETA       \n", "  ETATS     \n"})
    EXPECT_NE(t.find(label), std::string::npos) << label;
}

TEST_F(QuasiNewtonTest, OrdersBeyondTheSavedVectorsAreRefused) {
  orvika_test::UnitCapture cap(77);
  for (IWORD n : {61, 21}) {
    Vec a(n * n, 0.0), s(n, 1.0), y(n, 2.0), m(n * n, 0.0);
    for (IWORD i = 0; i < n; ++i) a[i + i * n] = 1;
    const Vec a0 = a;
    const IWORD iout = 77, ip = 0, idamp = 0;
    if (n == 61)
      ORVK_BFGS1(&n, s.data(), y.data(), a.data(), &idamp, &iout, &ip);
    else
      ORVK_GUPDAT(&n, s.data(), y.data(), m.data(), a.data(), &iout, &ip);
    EXPECT_EQ(a, a0);
  }
  EXPECT_EQ(cap.text(),
            "\n    ORVK_BFGS1: N EXCEEDS  60, MATRIX NOT UPDATED\n"
            "\n    ORVK_GUPDAT: N EXCEEDS  20, MATRIX NOT UPDATED\n");
}

TEST_F(QuasiNewtonTest, GupdatSecantConditionForBothScalings) {
  std::mt19937 rng(23);
  for (IWORD mode : {1, 2}) {
    for (int n : {1, 3, 20}) {
      ORVK_NLPINT[ORVK_NLPINT_UPDMODE - 1] = mode;
      Vec a = random_spd(rng, n), m = random_spd(rng, n), s = random_vec(rng, n),
          y = random_vec(rng, n);
      const IWORD nn = n, iout = 77, ip = 0;
      ORVK_GUPDAT(&nn, s.data(), y.data(), m.data(), a.data(), &iout, &ip);
      const Vec as = matvec(n, a, s);
      for (int i = 0; i < n; ++i) EXPECT_NEAR(as[i], y[i], 1e-8 * (1 + std::fabs(y[i])));
      EXPECT_LT(asym(n, a), 1e-12 * n);
    }
  }
}

TEST_F(QuasiNewtonTest, GupdatKeepsMatrixWhenSecantHolds) {
  std::mt19937 rng(24);
  const int n = 4;
  ORVK_NLPINT[ORVK_NLPINT_UPDMODE - 1] = 1;
  Vec a = random_spd(rng, n), s = random_vec(rng, n);
  const Vec a0 = a, y = matvec(n, a, s);
  const IWORD nn = n, iout = 77, ip = 0;
  ORVK_GUPDAT(&nn, s.data(), y.data(), nullptr, a.data(), &iout, &ip);
  for (int i = 0; i < n * n; ++i) EXPECT_NEAR(a[i], a0[i], 1e-14);
  // Word 51 = 0 keeps the scaling vector of the previous call (c = s).
  ORVK_NLPINT[ORVK_NLPINT_UPDMODE - 1] = 0;
  Vec y2 = random_vec(rng, n);
  ORVK_GUPDAT(&nn, s.data(), y2.data(), nullptr, a.data(), &iout, &ip);
  const Vec as = matvec(n, a, s);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(as[i], y2[i], 1e-10);
}

// The factor a later call may keep (theta of BFGS1 with IDAMP = 2, c of
// GUPDAT with word 51 = 0) is the last finite one: a call with data not a
// number leaves the matrix and does not replace it.
TEST_F(QuasiNewtonTest, CallsOnDataNotANumberKeepThePreviousFactor) {
  struct Step {
    IWORD mode;  // IDAMP (BFGS1) or word 51 (GUPDAT)
    bool nan_data;
    double ys;   // y = ys s (no NaN) or y = s with a NaN (nan_data)
  };
  struct Case {
    const char* what;
    bool gupdat;
    Step first, poison, keep;
  };
  const Case cases[] = {
      {"BFGS1: damped, NaN y, theta kept", false, {1, false, -1.0}, {1, true, 0}, {2, false, -0.5}},
      {"GUPDAT: c = M's, NaN s, c kept", true, {2, false, 2.0}, {1, true, 0}, {0, false, 3.0}},
  };
  std::mt19937 rng(28);
  const int n = 3;
  const IWORD nn = n, iout = 77, ip = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Vec b0 = random_spd(rng, n), m = random_spd(rng, n), s = random_vec(rng, n);
    auto apply = [&](const Step& st, Vec& b) {
      Vec sv = s, y(n);
      for (int i = 0; i < n; ++i) y[i] = st.ys * s[i];
      if (st.nan_data) (c.gupdat ? sv : y)[1] = std::nan("");
      if (c.gupdat) {
        ORVK_NLPINT[ORVK_NLPINT_UPDMODE - 1] = st.mode;
        ORVK_GUPDAT(&nn, sv.data(), y.data(), m.data(), b.data(), &iout, &ip);
      } else {
        ORVK_BFGS1(&nn, sv.data(), y.data(), b.data(), &st.mode, &iout, &ip);
      }
    };
    Vec plain = b0, interrupted = b0;
    apply(c.first, plain);
    apply(c.keep, plain);
    apply(c.first, interrupted);
    const Vec before = interrupted;
    apply(c.poison, interrupted);
    EXPECT_EQ(interrupted, before);
    apply(c.keep, interrupted);
    EXPECT_EQ(interrupted, plain);
    EXPECT_NE(plain, before);
  }
}

// DFPBFS: one update step from (XOLD, GOLD) to (X, G).
struct Dfp {
  int n;
  Vec x, xold, g, gold, s, dx, h, yv, hy;
  LWORD l1 = ORVK_FALSE, l2 = ORVK_FALSE;
  IWORD k = 0;
  void call() {
    const IWORD nn = n;
    ORVK_DFPBFS(&l1, &l2, &k, &nn, x.data(), xold.data(), g.data(), gold.data(), s.data(),
                dx.data(), h.data(), yv.data(), hy.data());
  }
};

Dfp make_dfp(std::mt19937& rng, int n, const Vec& hess) {
  Dfp d;
  d.n = n;
  d.xold = random_vec(rng, n);
  d.x = random_vec(rng, n);
  d.gold = random_vec(rng, n);
  Vec step(n);
  for (int i = 0; i < n; ++i) step[i] = d.x[i] - d.xold[i];
  const Vec hs = matvec(n, hess, step);  // quadratic model: y = Hess s
  d.g.resize(n);
  for (int i = 0; i < n; ++i) d.g[i] = d.gold[i] + hs[i];
  d.s.assign(n, 0);
  d.dx.assign(n, 0.01);
  d.yv.assign(n, 0);
  d.hy.assign(n, 0);
  return d;
}

TEST_F(QuasiNewtonTest, DfpbfsInverseSecantSymmetryAndDefiniteness) {
  std::mt19937 rng(25);
  int dfp_seen = 0, bfgs_seen = 0;
  for (int t = 0; t < 40; ++t) {
    const int n = 1 + t % 6;
    const Vec hess = random_spd(rng, n);
    Dfp d = make_dfp(rng, n, hess);
    d.h = random_spd(rng, n);
    if (t % 2)  // a small H makes y'Hy < s'y: the BFGS branch
      for (double& v : d.h) v *= 0.01;
    Vec sv(n), y(n);
    for (int i = 0; i < n; ++i) {
      sv[i] = d.x[i] - d.xold[i];
      y[i] = d.g[i] - d.gold[i];
    }
    const Vec hy0 = matvec(n, d.h, y);
    double sy = dot(sv, y);
    const double c = dot(y, hy0);
    if (sy < 0.2 * c) {  // Powell damping moves s towards H y
      const double theta = 0.8 * c / (c - sy);
      for (int i = 0; i < n; ++i) sv[i] = theta * sv[i] + (1 - theta) * hy0[i];
      sy = 0.2 * c;
    }
    (sy < c ? dfp_seen : bfgs_seen)++;
    const Vec x = d.x, g = d.g;
    d.call();
    // Secant condition of the inverse: H y = s (the damped s).
    const Vec hy = matvec(n, d.h, y);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(hy[i], sv[i], 1e-9 * (1 + std::fabs(sv[i])));
    EXPECT_LT(asym(n, d.h), 1e-15);
    EXPECT_TRUE(positive_definite(n, d.h));
    // Direction -H g and the shift of the point.
    const Vec hg = matvec(n, d.h, g);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(d.s[i], -hg[i], 1e-12 * (1 + std::fabs(hg[i])));
    EXPECT_EQ(d.xold, x);
    EXPECT_EQ(d.gold, g);
  }
  EXPECT_GT(dfp_seen, 0);
  EXPECT_GT(bfgs_seen, 0);
}

TEST_F(QuasiNewtonTest, DfpbfsL1OnlyGivesDirection) {
  Dfp d;
  d.n = 2;
  d.x = {1, 2};
  d.xold = {0, 0};
  d.g = {1, -1};
  d.gold = {5, 5};
  d.h = {2, 1, 1, 3};
  d.s = d.yv = d.hy = d.dx = {0, 0};
  d.l1 = ORVK_TRUE;
  d.call();
  EXPECT_EQ(d.h, (Vec{2, 1, 1, 3}));
  EXPECT_EQ(d.s, (Vec{-1, 2}));
  EXPECT_EQ(d.xold, d.x);
  EXPECT_EQ(d.gold, d.g);
}

TEST_F(QuasiNewtonTest, DfpbfsDegenerateCurvatureLeavesH) {
  // s'y = y'Hy < 0 would divide by zero in the damping; H must stay finite.
  Dfp d;
  d.n = 1;
  d.xold = {0};
  d.x = {1};
  d.gold = {0};
  d.g = {-1};  // y = -1, s = 1: s'y = -1; H = -1: y'Hy = -1
  d.h = {-1};
  d.s = d.yv = d.hy = d.dx = {0};
  d.call();
  EXPECT_TRUE(std::isfinite(d.h[0]));
  EXPECT_TRUE(std::isfinite(d.s[0]));
}

TEST_F(QuasiNewtonTest, DfpbfsPerturbationSweep) {
  Dfp d;
  d.n = 3;
  d.x = {1, 2, 3};
  d.xold = {0, 0, 0};
  d.g = {1, 1, 1};
  d.gold = {0, 0, 0};
  d.h = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  d.s = d.yv = d.hy = {0, 0, 0};
  d.dx = {0.1, 0.2, 0.3};
  d.l1 = ORVK_TRUE;
  d.l2 = ORVK_TRUE;
  d.k = 0;
  d.call();
  EXPECT_EQ(d.k, 1);
  EXPECT_EQ(d.x, (Vec{1.1, 2, 3}));
  d.call();
  EXPECT_EQ(d.k, 2);
  EXPECT_EQ(d.x, (Vec{1, 2.2, 3}));
  d.call();
  EXPECT_EQ(d.k, 3);
  EXPECT_EQ(d.x, (Vec{1, 2, 3.3}));
  d.call();
  EXPECT_EQ(d.k, 3);
  EXPECT_EQ(d.l2, ORVK_FALSE);
  EXPECT_EQ(d.x, (Vec{1, 2, 3}));
  EXPECT_EQ(d.s, (Vec{-1, -1, -1}));
}

// Steps far from unit scale: products inside the update terms (eta_k eta_i,
// s_k s_j, d^2) pass the range while the updated matrix does not.  The
// secant condition holds as at unit scale.
TEST_F(QuasiNewtonTest, SecantConditionsHoldForStepsFarFromUnitScale) {
  enum Routine { kBfgs1, kGupdat, kDfp, kDfpBfgsBranch };
  struct Case {
    const char* what;
    Routine routine;
    double step, mat;  // scale of s and of the true Hessian C = mat diag(1, 1.5, 2)
  };
  const Case cases[] = {
      {"BFGS1, s 1e150, C 1e5", kBfgs1, 1e150, 1e5},
      {"GUPDAT, s 1e80, C 1", kGupdat, 1e80, 1.0},
      {"GUPDAT, s 1e150, C 1", kGupdat, 1e150, 1.0},
      {"GUPDAT, s 1e150, C 1e-5", kGupdat, 1e150, 1e-5},
      {"DFPBFS DFP branch, s 1e156, C 1e-7", kDfp, 1e156, 1e-7},
      {"DFPBFS BFGS branch, s 1e156, C 1e-7", kDfpBfgsBranch, 1e156, 1e-7},
  };
  std::mt19937 rng(29);
  const int n = 3;
  const IWORD nn = n, iout = 77, ip = 0, idamp = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Vec s = random_vec(rng, n), y(n), m(n * n, 0.0);
    for (int i = 0; i < n; ++i) {
      s[i] *= c.step;
      y[i] = c.mat * (1 + 0.5 * i) * s[i];
    }
    // Start matrix: mat I (Hessian forms), I/mat or I/(4 mat) (inverse form).
    const double diag = c.routine == kDfp             ? 1 / c.mat
                        : c.routine == kDfpBfgsBranch ? 0.25 / c.mat
                                                      : c.mat;
    for (int i = 0; i < n; ++i) m[i + i * n] = diag;
    Vec lhs, rhs;
    if (c.routine == kBfgs1 || c.routine == kGupdat) {
      if (c.routine == kBfgs1) {
        ORVK_BFGS1(&nn, s.data(), y.data(), m.data(), &idamp, &iout, &ip);
      } else {
        ORVK_NLPINT[ORVK_NLPINT_UPDMODE - 1] = 1;
        ORVK_GUPDAT(&nn, s.data(), y.data(), nullptr, m.data(), &iout, &ip);
      }
      lhs = matvec(n, m, s);  // B s = y
      rhs = y;
    } else {
      Dfp d;
      d.n = n;
      d.x = s;
      d.xold.assign(n, 0.0);
      d.g = y;
      d.gold.assign(n, 0.0);
      d.h = m;
      d.s = d.yv = d.hy = d.dx = Vec(n, 0.0);
      d.call();
      m = d.h;
      lhs = matvec(n, m, y);  // H y = s
      rhs = s;
    }
    double big = 0;
    for (double v : rhs) big = std::max(big, std::fabs(v));
    for (double v : m) EXPECT_TRUE(std::isfinite(v));
    for (int i = 0; i < n; ++i) EXPECT_NEAR(lhs[i] / big, rhs[i] / big, 1e-12) << i;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        EXPECT_NEAR(m[i + j * n], m[j + i * n], 1e-14 * std::fabs(m[i + i * n])) << i << j;
  }
}

}  // namespace
