// Tests of the Broyden updates ORVK_BROYDN, ORVK_BROYDP and ORVK_FBROYD:
// secant conditions on random data, the MODE table, the damping and the
// length limit, and zero steps that must leave the matrix alone.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "accel_test_util.hpp"
#include "orvika/tearconv_accel.h"

namespace {

using accel_test::kEps;
using accel_test::norm_inf;
using accel_test::random_vec;
using accel_test::Vec;
constexpr double kSecantTol = 200.0;  // in multiples of eps * scale

struct Dense {
  IWORD n;
  Vec a;  // by columns
  explicit Dense(IWORD nn, double fill = 0.0) : n(nn), a(nn * nn, fill) {}
  double& operator()(IWORD i, IWORD j) { return a[i + j * n]; }  // 0-based
  double operator()(IWORD i, IWORD j) const { return a[i + j * n]; }
  Vec mul(const Vec& v) const {
    Vec r(n, 0.0);
    for (IWORD j = 0; j < n; ++j)
      for (IWORD i = 0; i < n; ++i) r[i] += (*this)(i, j) * v[j];
    return r;
  }
  Vec tmul(const Vec& v) const {
    Vec r(n, 0.0);
    for (IWORD j = 0; j < n; ++j)
      for (IWORD i = 0; i < n; ++i) r[j] += (*this)(i, j) * v[i];
    return r;
  }
  static Dense minus_identity(IWORD n) {
    Dense d(n);
    for (IWORD i = 0; i < n; ++i) d(i, i) = -1.0;
    return d;
  }
};

double dot(const Vec& a, const Vec& b) {
  double s = 0.0;
  for (size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
  return s;
}
Dense random_matrix(std::mt19937_64& g, IWORD n) {
  Dense d(n);
  d.a = random_vec(g, n * n);
  for (IWORD i = 0; i < n; ++i) d(i, i) += (i % 2 ? 3.0 : -3.0);
  return d;
}

// H - c*r*u' with r = H*y - s, u = H'*s.
Dense rank_one(const Dense& h, const Vec& s, const Vec& y, double c) {
  Vec r = h.mul(y);
  for (size_t i = 0; i < r.size(); ++i) r[i] -= s[i];
  const Vec u = h.tmul(s);
  Dense out = h;
  for (IWORD j = 0; j < h.n; ++j)
    for (IWORD i = 0; i < h.n; ++i) out(i, j) -= c * r[i] * u[j];
  return out;
}

void expect_matrix_near(const Dense& got, const Dense& want, double tol) {
  for (size_t k = 0; k < got.a.size(); ++k) EXPECT_NEAR(got.a[k], want.a[k], tol) << k;
}

// ---- ORVK_BROYDN --------------------------------------------------------------

// After an undamped update the new H maps y onto s.
TEST(Broydn, SecantConditionOnRandomData) {
  for (IWORD n : {1, 2, 3, 5, 10}) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
      SCOPED_TRACE(testing::Message() << "n " << n << " seed " << seed);
      std::mt19937_64 g(seed * 7919 + n);
      Dense h = random_matrix(g, n);
      Vec x = random_vec(g, n), xold = random_vec(g, n), f = random_vec(g, n),
          fold = random_vec(g, n), dx(n);
      Vec s(n), y(n);
      for (IWORD i = 0; i < n; ++i) {
        s[i] = x[i] - xold[i];
        y[i] = f[i] - fold[i];
      }
      const IWORD mode = 1;
      ORVK_BROYDN(&n, x.data(), f.data(), dx.data(), xold.data(), fold.data(), h.a.data(), &mode);
      const Vec hy = h.mul(y);
      const double scale = norm_inf(s) + norm_inf(hy);
      for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(hy[i], s[i], kSecantTol * kEps * scale * n);
      EXPECT_EQ(xold, x);
      EXPECT_EQ(fold, f);
    }
  }
}

// The MODE table on data chosen to separate its rows: s = e1,
// u = H'*s = (-1, 0.5), s's = 1 and s'HF = -F(1) + 0.125, so F(1) = 9
// damps with lambda 0.101 (below 0.2), F(1) = 1 with lambda 0.533 and
// F(1) = -1 not at all.
struct ModeCase {
  IWORD mode;
  double f1;
  char expect;  // R: H = -I; N: unchanged; U: undamped; D: damped
};

TEST(Broydn, ModeTable) {
  const ModeCase cases[] = {
      {-3, 9.0, 'U'}, {-2, 9.0, 'U'}, {-1, 9.0, 'R'}, {0, 9.0, 'N'},  {1, 9.0, 'U'},
      {2, 9.0, 'D'},  {3, 9.0, 'R'},  {4, 9.0, 'D'},  {5, 9.0, 'D'},  {2, 1.0, 'D'},
      {3, 1.0, 'D'},  {2, -1.0, 'U'}, {3, -1.0, 'U'}, {1, 1.0, 'U'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "MODE " << c.mode << " F(1) " << c.f1);
    const IWORD n = 2;
    Dense h = Dense::minus_identity(n);
    h(0, 1) = 0.5;  // a start that differs from the reset
    const Dense h0 = h;
    Vec x = {1.0, 0.0}, xold = {0.0, 0.0}, f = {c.f1, 0.25}, fold = {0.0, -1.0}, dx(n);
    const Vec s = {1.0, 0.0}, y = {f[0] - fold[0], f[1] - fold[1]};
    ORVK_BROYDN(&n, x.data(), f.data(), dx.data(), xold.data(), fold.data(), h.a.data(),
                &c.mode);
    Dense want = h0;
    if (c.expect == 'R') {
      want = Dense::minus_identity(n);
    } else if (c.expect == 'U' || c.expect == 'D') {
      const double ss = 1.0, shy = dot(h0.tmul(s), y), shf = dot(h0.tmul(s), f);
      const double lambda = c.expect == 'D' ? std::fmax(0.1, ss / (ss - shf)) : 1.0;
      if (c.expect == 'D') EXPECT_LT(shf, 0.0);
      const double m = (1.0 - lambda) * ss + lambda * shy;
      want = rank_one(h0, s, y, lambda / m);
    }
    expect_matrix_near(h, want, 1e-14);
    // Step -H*F, limited to 0.75*max(1, ||X||_1) = 0.75 in 1-norm.
    Vec step = want.mul(f);
    double g = 0.0;
    for (auto& v : step) {
      v = -v;
      g += std::fabs(v);
    }
    for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(dx[i], g > 0.75 ? step[i] * 0.75 / g : step[i], 1e-14);
  }
}

TEST(Broydn, ResetStepIsLimitedResidual) {
  const IWORD n = 2, mode = -1;
  Dense h(n, 3.0);
  Vec x = {0.0, 0.0}, xold(n), f = {3.0, -4.0}, fold(n), dx(n);
  ORVK_BROYDN(&n, x.data(), f.data(), dx.data(), xold.data(), fold.data(), h.a.data(), &mode);
  EXPECT_NEAR(dx[0], 9.0 / 28.0, 4 * kEps);
  EXPECT_NEAR(dx[1], -3.0 / 7.0, 4 * kEps);
  EXPECT_NEAR(std::fabs(dx[0]) + std::fabs(dx[1]), 0.75, 4 * kEps);
  expect_matrix_near(h, Dense::minus_identity(n), 0.0);

  // Limit from ||X||_1 when it exceeds 1: 0.75*10.
  Vec x2 = {4.0, -6.0};
  ORVK_BROYDN(&n, x2.data(), f.data(), dx.data(), xold.data(), fold.data(), h.a.data(), &mode);
  EXPECT_EQ(dx, (Vec{3.0, -4.0}));
}

// Steps and points whose 1-norms pass the largest double are still limited
// to 0.75*max(1, ||X||_1): the limit is a ratio of the two norms, which both
// stay in range once divided by their largest element.
TEST(Broydn, LengthLimitBeyondRangeOfNorms) {
  struct Case {
    const char* name;
    Vec x, f, want;
  };
  const double big = 1e308;
  const std::vector<Case> cases = {
      // ||DX||_1 = 2e308 overflows: DX = F*0.75/2e308.
      {"step norm overflows", {0.0, 0.0}, {big, -big}, {0.375, -0.375}},
      // ||X||_1 = 2.5e308 overflows too: limit 1.875e308 against ||DX||_1 = 3e308.
      {"both norms overflow",
       {big, -1.5 * big},
       {1.5 * big, -1.5 * big},
       {0.9375 * big, -0.9375 * big}},
      // ||X||_1 overflows, the step is within the limit and stands.
      {"point norm overflows", {big, big}, {1.0, -2.0}, {1.0, -2.0}},
  };
  const IWORD n = 2, mode = -1;
  for (const Case& c : cases) {
    Dense h(n);
    Vec xold(n), fold(n), dx(n);
    ORVK_BROYDN(&n, c.x.data(), c.f.data(), dx.data(), xold.data(), fold.data(), h.a.data(),
                &mode);
    for (IWORD i = 0; i < n; ++i)
      EXPECT_NEAR(dx[i], c.want[i], 4 * kEps * std::fabs(c.want[i])) << c.name << " i=" << i;
  }
}

TEST(Broydn, ZeroStepResets) {
  const IWORD n = 3, mode = 1;
  std::mt19937_64 g(11);
  Dense h = random_matrix(g, n);
  Vec x = {0.1, 0.2, 0.3}, xold = x, f = {0.01, -0.02, 0.03}, fold = f, dx(n);
  ORVK_BROYDN(&n, x.data(), f.data(), dx.data(), xold.data(), fold.data(), h.a.data(), &mode);
  expect_matrix_near(h, Dense::minus_identity(n), 0.0);
  EXPECT_EQ(dx, f);
}

// ---- ORVK_BROYDP -----------------------------------------------------------------

struct BroydpRun {
  IWORD n;
  Dense h;
  Vec x, f, xold, fold, dx, work;
  double rms = -1.0;
  explicit BroydpRun(IWORD nn)
      : n(nn), h(nn), x(nn), f(nn), xold(nn), fold(nn), dx(nn), work(2 * nn) {}
  void call(IWORD iflag) {
    ORVK_BROYDP(&iflag, &n, h.a.data(), &rms, x.data(), f.data(), xold.data(), fold.data(),
                dx.data(), work.data());
  }
};

TEST(Broydp, FirstCallStepOnly) {
  BroydpRun r(2);
  r.h.a = {1.0, 2.0, 3.0, 4.0};
  const Vec h0 = r.h.a;
  r.x = {5.0, 6.0};
  r.f = {1.0, -1.0};
  r.call(1);
  EXPECT_EQ(r.h.a, h0);
  EXPECT_EQ(r.dx, (Vec{2.0, 2.0}));  // -(1*1 + 3*(-1)), -(2*1 + 4*(-1))
  EXPECT_DOUBLE_EQ(r.rms, 1.0);
  EXPECT_EQ(r.fold, r.f);
  EXPECT_EQ(r.xold, r.x);
}

// Residuals whose squares pass the largest double still give their finite
// RMS: F = (-3, 4)*1e200 has RMS 1e200*sqrt(25/2).
TEST(Broydp, RootMeanSquareOfHugeResiduals) {
  BroydpRun r(2);
  r.h = Dense::minus_identity(2);
  r.f = {-3e200, 4e200};
  r.call(1);
  EXPECT_NEAR(r.rms, 1e200 * std::sqrt(12.5), 4 * kEps * 1e200 * std::sqrt(12.5));
  EXPECT_EQ(r.dx, r.f);
}

// With the step s = -H*FOLD of the previous call, the undamped update
// gives H*y = s; a damped one follows the rank-one formula with lambda.
TEST(Broydp, SecantConditionAndDamping) {
  for (IWORD n : {1, 2, 4, 7}) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
      SCOPED_TRACE(testing::Message() << "n " << n << " seed " << seed);
      std::mt19937_64 g(seed * 104729 + n);
      BroydpRun r(n);
      r.h = random_matrix(g, n);
      r.f = random_vec(g, n);
      r.call(1);
      const Vec s = r.dx, fold = r.f;
      const Dense h0 = r.h;
      r.f = random_vec(g, n);
      const double shf = dot(h0.mul(r.f), s);
      const double ss = dot(s, s);
      r.call(0);
      Vec y(n);
      for (IWORD i = 0; i < n; ++i) y[i] = r.f[i] - fold[i];
      if (shf >= 0.0) {
        const Vec hy = r.h.mul(y);
        const double scale = norm_inf(s) + norm_inf(h0.mul(y));
        for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(hy[i], s[i], kSecantTol * kEps * scale * n);
      } else {
        const double lambda = std::fmax(0.1, ss / (ss - shf));
        const Dense want = rank_one(h0, s, y, lambda / (ss + lambda * shf));
        expect_matrix_near(r.h, want, 1e-12 * (1.0 + norm_inf(want.a)));
      }
      const Vec step = r.h.mul(r.f);
      for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(r.dx[i], -step[i], 1e-13 * (1 + norm_inf(step)));
    }
  }
}

// A zero step or a zero denominator leaves H as it was, finite.
TEST(Broydp, DegenerateUpdateKeepsMatrix) {
  struct Case {
    const char* what;
    Vec s, f, fold;
  } cases[] = {
      {"zero step", {0.0, 0.0}, {1.0, 2.0}, {0.5, 0.5}},
      // H = I, s = e1: s's = 1, s'HF = F(1) = -10 gives lambda 0.1 and
      // denominator 1 + 0.1*(-10) = 0.
      {"zero denominator", {1.0, 0.0}, {-10.0, 0.0}, {0.0, 0.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BroydpRun r(2);
    r.h.a = {1.0, 0.0, 0.0, 1.0};
    r.dx = c.s;
    r.f = c.f;
    r.fold = c.fold;
    r.call(0);
    EXPECT_EQ(r.h.a, (Vec{1.0, 0.0, 0.0, 1.0}));
    EXPECT_EQ(r.dx, (Vec{-c.f[0], -c.f[1]}));
    EXPECT_EQ(r.fold, c.f);
  }
}

TEST(Broydp, EmptySystem) {
  BroydpRun r(0);
  r.call(0);
  EXPECT_EQ(r.rms, 0.0);
}

// ---- ORVK_FBROYD -------------------------------------------------------------------

TEST(Fbroyd, SecantConditionOnRandomData) {
  for (IWORD n : {1, 2, 3, 6}) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
      SCOPED_TRACE(testing::Message() << "n " << n << " seed " << seed);
      std::mt19937_64 g(seed * 31 + n);
      Dense b = random_matrix(g, n);
      Vec s = random_vec(g, n), f = random_vec(g, n), fold = random_vec(g, n);
      Vec y(n);
      for (IWORD i = 0; i < n; ++i) y[i] = f[i] - fold[i];
      ORVK_FBROYD(&n, s.data(), f.data(), fold.data(), b.a.data());
      const Vec bs = b.mul(s);
      for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(bs[i], y[i], kSecantTol * kEps * (1 + norm_inf(bs)) * n);
      EXPECT_EQ(fold, f);
    }
  }
}

// A linear F = A*X + b and the step e1: the first column of B becomes the
// first column of A; the others stay.
TEST(Fbroyd, LinearMapFirstColumn) {
  const IWORD n = 3;
  const Dense a = [] {
    Dense d(3);
    d.a = {2.0, -1.0, 0.5, 1.0, 3.0, -2.0, 0.0, 4.0, 1.0};
    return d;
  }();
  Dense b(n, 0.25);
  const Vec x0 = {1.0, 2.0, 3.0}, bias = {0.5, -0.5, 1.0};
  auto F = [&](const Vec& x) {
    Vec r = a.mul(x);
    for (IWORD i = 0; i < n; ++i) r[i] += bias[i];
    return r;
  };
  Vec fold = F(x0);
  const Vec s = {1.0, 0.0, 0.0};
  const Vec x1 = {2.0, 2.0, 3.0};
  const Vec f = F(x1);
  ORVK_FBROYD(&n, s.data(), f.data(), fold.data(), b.a.data());
  for (IWORD i = 0; i < n; ++i) {
    EXPECT_NEAR(b(i, 0), a(i, 0), 8 * kEps);
    EXPECT_EQ(b(i, 1), 0.25);
    EXPECT_EQ(b(i, 2), 0.25);
  }
}

TEST(Fbroyd, ZeroStepKeepsMatrix) {
  const IWORD n = 2;
  Dense b(n, 1.5);
  Vec s = {0.0, 0.0}, f = {1.0, 2.0}, fold = {3.0, 4.0};
  ORVK_FBROYD(&n, s.data(), f.data(), fold.data(), b.a.data());
  EXPECT_EQ(b.a, (Vec{1.5, 1.5, 1.5, 1.5}));
  EXPECT_EQ(fold, f);
}

}  // namespace
