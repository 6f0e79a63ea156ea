// Bounded Newton step ORVK_NEWTDX, double and binary128 paths.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/tearconv_newton.h"
#include "support/sparse.hpp"
#include "tearconv/quadpr.hpp"

// The binary128 scratch is obtained with the nothrow array new; this test
// program counts those requests and can make them fail.
namespace {
int g_nothrow_requests = 0;
bool g_nothrow_fail = false;
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  ++g_nothrow_requests;
  if (g_nothrow_fail) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

using Vec = std::vector<double>;
constexpr double kEps = std::numeric_limits<double>::epsilon();

class NewtdxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    g_nothrow_fail = false;
  }
  void TearDown() override {
    orvk_host_reset();
    g_nothrow_fail = false;
  }
};

void set_extprc(IWORD v) { VLK_DBGOUT[VLK_W_EXTPRC - 1] = v; }

struct Step {
  IWORD n = 0;
  Vec x, f, xlow, xhigh, ajac, dwt;
  IWORD mode = 0;
  // results
  Vec dx, dlo, dhi, h, g, w;
  std::vector<IWORD> iperm;
  IWORD nfree = -5;
};

void call(Step& s) {
  const IWORD n = s.n;
  s.dx.assign(n, 123.0);
  s.dlo.assign(n, 0.0);
  s.dhi.assign(n, 0.0);
  s.h.assign(n * n, -1.0);
  s.g.assign(n, 0.0);
  s.w.assign(3 * n, 0.0);
  s.iperm.assign(n, -9);
  if (s.dwt.empty()) s.dwt.assign(1, 0.0);
  ORVK_NEWTDX(&n, s.x.data(), s.f.data(), s.dx.data(), s.xlow.data(), s.xhigh.data(),
              s.dlo.data(), s.dhi.data(), s.ajac.data(), s.h.data(), s.g.data(), s.iperm.data(),
              &s.nfree, s.w.data(), &s.mode, s.dwt.data());
}

// The step of S on the double path (first) and on the binary128 path.
std::pair<Step, Step> both_paths(const Step& s) {
  std::pair<Step, Step> r{s, s};
  set_extprc(0);
  call(r.first);
  set_extprc(1);
  call(r.second);
  return r;
}

double J(const Step& s, IWORD k, IWORD i) { return s.ajac[(k - 1) + (i - 1) * s.n]; }

// A random square problem: J = random + diagonal shift, F random, X random,
// bounds at the given distance from X (wide or tight).
Step random_step(std::mt19937_64& rng, IWORD n, double shift, double width) {
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  Step s;
  s.n = n;
  s.ajac.resize(n * n);
  for (double& v : s.ajac) v = U(rng);
  for (IWORD i = 0; i < n; ++i) s.ajac[i + i * n] += shift;
  s.f.resize(n);
  s.x.resize(n);
  s.xlow.resize(n);
  s.xhigh.resize(n);
  for (IWORD i = 0; i < n; ++i) {
    s.f[i] = 2.0 * U(rng);
    s.x[i] = U(rng);
    s.xlow[i] = s.x[i] - width * (0.1 + std::fabs(U(rng)));
    s.xhigh[i] = s.x[i] + width * (0.1 + std::fabs(U(rng)));
  }
  return s;
}

// Largest violation of the optimality conditions of
//   min 1/2 sum_k (F + J d)_k^2 / w_k  over DLO <= d <= DHI,
// evaluated in binary128 from the caller's data, scaled by |J'W^-1||J||d| + |J'W^-1||F|.
double kkt_violation(const Step& s, const Vec& d) {
  const IWORD n = s.n;
  std::vector<QREAL> r(n), rabs(n);
  for (IWORD k = 1; k <= n; ++k) {
    QREAL acc = s.f[k - 1], a = fabsq(QREAL(s.f[k - 1]));
    for (IWORD i = 1; i <= n; ++i) {
      acc += QREAL(J(s, k, i)) * QREAL(d[i - 1]);
      a += fabsq(QREAL(J(s, k, i)) * QREAL(d[i - 1]));
    }
    const QREAL wk = s.mode >= 1 ? QREAL(s.dwt[k - 1]) : QREAL(1);
    r[k - 1] = acc / wk;
    rabs[k - 1] = a / wk;
  }
  double worst = 0;
  for (IWORD i = 1; i <= n; ++i) {
    QREAL gi = 0, scale = 1e-300;
    for (IWORD k = 1; k <= n; ++k) {
      gi += QREAL(J(s, k, i)) * r[k - 1];
      scale += fabsq(QREAL(J(s, k, i))) * rabs[k - 1];
    }
    const double lo = s.xlow[i - 1] - s.x[i - 1], hi = s.xhigh[i - 1] - s.x[i - 1];
    const double di = d[i - 1];
    const double dtol = 4 * kEps * (1 + std::fabs(lo) + std::fabs(hi));
    double v = 0;
    if (di < lo - dtol || di > hi + dtol) v = 1.0;  // infeasible
    const double gsc = static_cast<double>(gi / scale);
    if (di <= lo + dtol && di >= hi - dtol) {
    } else if (di <= lo + dtol) {
      v = std::max(v, -gsc);
    } else if (di >= hi - dtol) {
      v = std::max(v, gsc);
    } else {
      v = std::max(v, std::fabs(gsc));
    }
    worst = std::max(worst, v);
  }
  return worst;
}

// Largest violation of the optimality conditions of the QP that NEWTDX
// formed, min 1/2 d'Hd - G'd over DLO <= d <= DHI (H whole, by columns),
// evaluated in binary128 and scaled by |H||d| + |G|.
double qp_kkt_violation(IWORD n, const Vec& h, const Vec& g, const Vec& dlo, const Vec& dhi,
                        const Vec& d) {
  double worst = 0;
  for (IWORD i = 0; i < n; ++i) {
    QREAL gi = -QREAL(g[i]), scale = fabsq(QREAL(g[i])) + QREAL(1e-300);
    for (IWORD j = 0; j < n; ++j) {
      gi += QREAL(h[i + j * n]) * QREAL(d[j]);
      scale += fabsq(QREAL(h[i + j * n]) * QREAL(d[j]));
    }
    const double gsc = static_cast<double>(gi / scale);
    double v = 0;
    if (d[i] < dlo[i] || d[i] > dhi[i]) v = 1.0;
    if (d[i] == dlo[i] && d[i] == dhi[i]) {
    } else if (d[i] == dlo[i]) {
      v = std::max(v, -gsc);
    } else if (d[i] == dhi[i]) {
      v = std::max(v, gsc);
    } else {
      v = std::max(v, std::fabs(gsc));
    }
    worst = std::max(worst, v);
  }
  return worst;
}

TEST_F(NewtdxTest, WideBoundsGiveTheNewtonStep) {
  std::mt19937_64 rng(5);
  for (IWORD extprc : {0, 1}) {
    for (IWORD n : {1, 2, 3, 5, 8, 20, 40}) {
      set_extprc(extprc);
      Step s = random_step(rng, n, 3.0, 1e6);
      call(s);
      const std::string what = "n=" + std::to_string(n) + " extprc=" + std::to_string(extprc);
      EXPECT_EQ(s.nfree, n) << what;
      // J*DX + F = 0 up to rounding: the scaled residual of J DX = -F.
      Vec minus_f(s.f);
      for (double& v : minus_f) v = -v;
      EXPECT_LE(orvika_test::scaled_residual(n, s.ajac.data(), n, s.dx.data(), minus_f.data()), 1e3)
          << what;
    }
  }
}

TEST_F(NewtdxTest, ActiveBoundsSatisfyOptimalityConditions) {
  std::mt19937_64 rng(11);
  for (IWORD extprc : {0, 1}) {
    for (int trial = 0; trial < 60; ++trial) {
      const IWORD n = 1 + trial % 12;
      set_extprc(extprc);
      Step s = random_step(rng, n, trial % 3 == 0 ? 0.0 : 1.0, 0.3);
      call(s);
      const std::string what =
          "trial " + std::to_string(trial) + " extprc=" + std::to_string(extprc);
      EXPECT_LE(kkt_violation(s, s.dx), 1e3 * n * kEps) << what;
      for (IWORD i = 0; i < n; ++i) {
        EXPECT_EQ(s.dlo[i], s.xlow[i] - s.x[i]) << what;
        EXPECT_EQ(s.dhi[i], s.xhigh[i] - s.x[i]) << what;
      }
    }
  }
}

// J = U*diag(sigma)*V' with singular values from 1 down to 1e-7: the normal
// matrix has condition 1e14.  Against the exact minimiser of the QP that
// NEWTDX formed (solved independently in binary128), the binary128 step is
// correct to rounding while the double step loses about 12 digits; its
// optimality residual for that QP is the smaller one as well.  Measured
// against J and F themselves both are at rounding level, since H was formed
// in double.
TEST_F(NewtdxTest, IllConditionedJacobianBinary128IsTighter) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (IWORD n : {6, 12}) {
    // Orthogonal factors by Gram-Schmidt of random matrices.
    auto orth = [&](IWORD m) {
      Vec q(m * m);
      for (double& v : q) v = U(rng);
      for (IWORD j = 0; j < m; ++j) {
        for (IWORD p = 0; p < j; ++p) {
          double d = 0;
          for (IWORD i = 0; i < m; ++i) d += q[i + j * m] * q[i + p * m];
          for (IWORD i = 0; i < m; ++i) q[i + j * m] -= d * q[i + p * m];
        }
        double nr = 0;
        for (IWORD i = 0; i < m; ++i) nr += q[i + j * m] * q[i + j * m];
        for (IWORD i = 0; i < m; ++i) q[i + j * m] /= std::sqrt(nr);
      }
      return q;
    };
    const Vec u = orth(n), v = orth(n);
    Step s;
    s.n = n;
    s.ajac.assign(n * n, 0.0);
    for (IWORD k = 0; k < n; ++k)
      for (IWORD i = 0; i < n; ++i)
        for (IWORD p = 0; p < n; ++p)
          s.ajac[k + i * n] += u[k + p * n] * std::pow(1e-7, double(p) / (n - 1)) * v[i + p * n];
    s.f.resize(n);
    s.x.assign(n, 0.0);
    s.xlow.assign(n, -1e9);
    s.xhigh.assign(n, 1e9);
    for (double& fv : s.f) fv = U(rng);

    const auto [sd, sq] = both_paths(s);
    ASSERT_EQ(sq.nfree, n);
    ASSERT_EQ(sd.nfree, n);

    // Exact minimiser of the formed QP: H d = G in binary128 (pivoted elimination).
    std::vector<QREAL> a(sq.h.begin(), sq.h.end()), b(sq.g.begin(), sq.g.end());
    for (IWORD k = 0; k < n; ++k) {
      IWORD piv = k;
      for (IWORD r = k + 1; r < n; ++r)
        if (fabsq(a[r + k * n]) > fabsq(a[piv + k * n])) piv = r;
      for (IWORD c = 0; c < n; ++c) std::swap(a[k + c * n], a[piv + c * n]);
      std::swap(b[k], b[piv]);
      for (IWORD r = k + 1; r < n; ++r) {
        const QREAL l = a[r + k * n] / a[k + k * n];
        for (IWORD c = k; c < n; ++c) a[r + c * n] -= l * a[k + c * n];
        b[r] -= l * b[k];
      }
    }
    for (IWORD k = n; k-- > 0;) {
      QREAL t = b[k];
      for (IWORD c = k + 1; c < n; ++c) t -= a[k + c * n] * b[c];
      b[k] = t / a[k + k * n];
    }
    double dmax = 0, errq = 0, errd = 0;
    for (IWORD i = 0; i < n; ++i) {
      dmax = std::max(dmax, std::fabs(static_cast<double>(b[i])));
      errq = std::max(errq, static_cast<double>(fabsq(QREAL(sq.dx[i]) - b[i])));
      errd = std::max(errd, static_cast<double>(fabsq(QREAL(sd.dx[i]) - b[i])));
    }
    EXPECT_LE(errq, kEps * dmax) << n;
    EXPECT_GT(errd, 1e3 * errq) << n;
    EXPECT_LE(kkt_violation(sq, sq.dx), 1e3 * n * kEps) << n;
    EXPECT_LE(kkt_violation(sd, sd.dx), 1e3 * n * kEps) << n;
    const double vq = qp_kkt_violation(n, sq.h, sq.g, sq.dlo, sq.dhi, sq.dx);
    const double vd = qp_kkt_violation(n, sq.h, sq.g, sq.dlo, sq.dhi, sd.dx);
    EXPECT_LE(vq, vd) << n;
  }
}

// With active bounds and an ill-conditioned J, both steps meet the optimality
// conditions of the least-squares problem, and the binary128 step meets those
// of the formed QP at least as tightly as the double one.
TEST_F(NewtdxTest, IllConditionedWithActiveBounds) {
  std::mt19937_64 rng(19);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (int trial = 0; trial < 20; ++trial) {
    const IWORD n = 4 + trial % 6;
    Step s = random_step(rng, n, 0.0, 0.5);
    // Make two columns nearly dependent.
    for (IWORD k = 0; k < n; ++k) s.ajac[k + 1 * n] = s.ajac[k] * (1 + 1e-7 * U(rng));
    const auto [sd, sq] = both_paths(s);
    const double vd = kkt_violation(sd, sd.dx), vq = kkt_violation(sq, sq.dx);
    const double wq = qp_kkt_violation(n, sq.h, sq.g, sq.dlo, sq.dhi, sq.dx);
    const double wd = qp_kkt_violation(n, sq.h, sq.g, sq.dlo, sq.dhi, sd.dx);
    EXPECT_LE(vq, 1e3 * n * kEps) << trial;
    EXPECT_LE(vd, 1e3 * n * kEps) << trial;
    EXPECT_LE(wq, wd) << trial;
  }
}

// The binary128 step is the binary128 QP solution rounded to double; the
// normal matrix is left whole on that path and keeps the factor below its
// diagonal on the double path.
TEST_F(NewtdxTest, Binary128PathRoundsTheBinary128Solution) {
  std::mt19937_64 rng(23);
  const IWORD n = 7;
  Step s = random_step(rng, n, 0.5, 0.4);
  set_extprc(2);
  Step sq = s;
  call(sq);
  std::vector<QREAL> qh(sq.h.begin(), sq.h.end()), qg(sq.g.begin(), sq.g.end()),
      ql(sq.dlo.begin(), sq.dlo.end()), qu(sq.dhi.begin(), sq.dhi.end()), qx(n), qw(3 * n);
  std::vector<IWORD> iperm(n);
  IWORD nfree = -1;
  QREAL fobj = 0;
  orvika::QUADPR16(n, qh.data(), n, qg.data(), ql.data(), qu.data(), qx.data(), fobj,
                   iperm.data(), nfree, qw.data());
  EXPECT_EQ(sq.nfree, nfree);
  EXPECT_EQ(sq.iperm, iperm);
  for (IWORD i = 0; i < n; ++i) EXPECT_EQ(sq.dx[i], static_cast<double>(qx[i])) << i;
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) EXPECT_EQ(sq.h[i + j * n], sq.h[j + i * n]);

  set_extprc(0);
  Step sd = s;
  call(sd);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i <= j; ++i) {
      double hij = 0;
      for (IWORD k = 0; k < n; ++k) hij += s.ajac[k + i * n] * s.ajac[k + j * n];
      EXPECT_NEAR(sd.h[i + j * n], hij, 8 * n * kEps * (1 + std::fabs(hij)));
      EXPECT_EQ(sd.h[i + j * n], sq.h[i + j * n]);
    }
}

// A NaN residual makes G NaN: the step is zero and nothing is free, on both
// paths, whatever the arrays held before.
TEST_F(NewtdxTest, NaNGradientGivesZeroStep) {
  std::mt19937_64 rng(29);
  for (IWORD extprc : {0, 1}) {
    set_extprc(extprc);
    Step s = random_step(rng, 5, 1.0, 1.0);
    s.f[3] = std::numeric_limits<double>::quiet_NaN();
    call(s);
    EXPECT_EQ(s.dx, Vec(5, 0.0)) << extprc;
    EXPECT_EQ(s.nfree, 0) << extprc;
    EXPECT_EQ(s.iperm, (std::vector<IWORD>{1, 2, 3, 4, 5})) << extprc;
  }
}

// The scratch is requested only on the binary128 path, once per call; when
// it cannot be had the double path gives the step instead.
TEST_F(NewtdxTest, ScratchRequestsAndFallback) {
  std::mt19937_64 rng(31);
  const Step s = random_step(rng, 6, 0.5, 0.4);
  set_extprc(0);
  Step sd = s;
  g_nothrow_requests = 0;
  call(sd);
  EXPECT_EQ(g_nothrow_requests, 0);

  set_extprc(1);
  for (int k = 1; k <= 2; ++k) {
    Step sq = s;
    call(sq);
    EXPECT_EQ(g_nothrow_requests, k);
  }

  g_nothrow_fail = true;
  Step sf = s;
  call(sf);
  EXPECT_EQ(g_nothrow_requests, 3);
  EXPECT_EQ(sf.dx, sd.dx);
  EXPECT_EQ(sf.iperm, sd.iperm);
  EXPECT_EQ(sf.nfree, sd.nfree);
  EXPECT_EQ(sf.h, sd.h);  // factor left in the lower triangle, as on the double path
}

TEST_F(NewtdxTest, WeightModes) {
  std::mt19937_64 rng(37);
  const IWORD n = 5;
  // MODE = 1: DWT(i) is the largest magnitude in row i of J'J, at least 1e-10.
  Step s = random_step(rng, n, 1.0, 0.5);
  for (IWORD k = 0; k < n; ++k) s.ajac[k + 2 * n] = 0.0;  // column 3 of zeros
  s.mode = 1;
  s.dwt.assign(n, -1.0);
  call(s);
  for (IWORD i = 0; i < n; ++i) {
    double big = 0;
    for (IWORD j = 0; j < n; ++j) {
      double hij = 0;
      for (IWORD k = 0; k < n; ++k) hij += s.ajac[k + i * n] * s.ajac[k + j * n];
      big = std::max(big, std::fabs(hij));
    }
    if (i == 2) EXPECT_EQ(s.dwt[i], 1e-10);
    else EXPECT_NEAR(s.dwt[i], big, 8 * n * kEps * big) << i;
  }
  EXPECT_LE(kkt_violation(s, s.dx), 1e3 * n * kEps);

  // MODE >= 2: the given weights, read only; the weighted problem is solved.
  for (IWORD extprc : {0, 1}) {
    set_extprc(extprc);
    Step t = random_step(rng, n, 1.0, 0.3);
    t.mode = 2;
    t.dwt = {1.0, 4.0, 0.25, 10.0, 3.0};
    const Vec given = t.dwt;
    call(t);
    EXPECT_EQ(t.dwt, given);
    EXPECT_LE(kkt_violation(t, t.dx), 1e3 * n * kEps) << extprc;
    for (IWORD i = 0; i < n; ++i) {
      double gi = 0;
      for (IWORD k = 0; k < n; ++k) gi -= t.ajac[k + i * n] * t.f[k] / t.dwt[k];
      EXPECT_NEAR(t.g[i], gi, 8 * n * kEps * (1 + std::fabs(gi)));
    }
  }

  // MODE <= 0 never touches DWT: one word is enough.
  for (IWORD mode : {0, -4}) {
    Step u = random_step(rng, n, 1.0, 0.3);
    u.mode = mode;
    u.dwt = {42.0};
    call(u);
    EXPECT_EQ(u.dwt, Vec{42.0});
  }
}

TEST_F(NewtdxTest, PointOnItsUpperBoundCannotIncrease) {
  std::mt19937_64 rng(41);
  for (IWORD extprc : {0, 1}) {
    set_extprc(extprc);
    Step s = random_step(rng, 4, 1.0, 1.0);
    s.xhigh[1] = s.x[1];
    // A residual that pulls variable 2 upward: F = -J e2.
    for (IWORD k = 0; k < 4; ++k) s.f[k] = -s.ajac[k + 1 * 4];
    call(s);
    EXPECT_EQ(s.dhi[1], 0.0);
    EXPECT_LE(s.dx[1], 0.0);
    EXPECT_LE(kkt_violation(s, s.dx), 1e3 * 4 * kEps);
  }
}

TEST_F(NewtdxTest, EmptySystem) {
  for (IWORD extprc : {0, 1}) {
    set_extprc(extprc);
    for (IWORD n : {0, -2}) {
      double x = 1, f = 1, dx = 77, xl = 0, xh = 2, dlo = 5, dhi = 5, a = 1, h = 9, g = 9, w = 9,
             dwt = 9;
      IWORD iperm = 3, nfree = 8, mode = 0;
      ORVK_NEWTDX(&n, &x, &f, &dx, &xl, &xh, &dlo, &dhi, &a, &h, &g, &iperm, &nfree, &w, &mode,
                  &dwt);
      EXPECT_EQ(nfree, 0);
      EXPECT_EQ(dx, 77.0);
      EXPECT_EQ(h, 9.0);
    }
  }
}

}  // namespace
