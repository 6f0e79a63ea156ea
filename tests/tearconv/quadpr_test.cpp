// Box-constrained QP ORVK_QUADPR and its binary128 twin QUADPR16.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/tearconv_newton.h"
#include "tearconv/quadpr.hpp"

namespace {

using Vec = std::vector<double>;
using QVec = std::vector<QREAL>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class QuadprTest : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
  void TearDown() override { orvk_host_reset(); }
};

// One problem: H by its full column-major matrix (symmetric), G, bounds.
struct Problem {
  IWORD n = 0;
  Vec h, g, lo, up;
  double hb(IWORD u, IWORD v) const { return h[(u - 1) + (v - 1) * n]; }
};

// What one call returns.
template <class R>
struct Result {
  std::vector<R> h, x, w;
  R fobj = 0;
  std::vector<IWORD> iperm;
  IWORD nfree = -7;
};

// ORVK_QUADPR (double) or QUADPR16 (binary128) on the arrays of R.
template <class R>
void solve(IWORD n, const std::vector<R>& g, const std::vector<R>& lo, const std::vector<R>& up,
           Result<R>& r) {
  if constexpr (std::is_same_v<R, double>) {
    ORVK_QUADPR(&n, r.h.data(), &n, g.data(), lo.data(), up.data(), r.x.data(), &r.fobj,
                r.iperm.data(), &r.nfree, r.w.data());
  } else {
    orvika::QUADPR16(n, r.h.data(), n, g.data(), lo.data(), up.data(), r.x.data(), r.fobj,
                     r.iperm.data(), r.nfree, r.w.data());
  }
}

template <class R>
Result<R> run(const Problem& p) {
  const IWORD n = p.n;
  Result<R> r;
  r.h.assign(p.h.begin(), p.h.end());
  // The strict lower triangle is scratch: poison it.
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = j + 1; i < n; ++i) r.h[i + j * n] = R(-9.25e7);
  std::vector<R> g(p.g.begin(), p.g.end()), lo(p.lo.begin(), p.lo.end()),
      up(p.up.begin(), p.up.end());
  r.x.assign(n, R(3.5e9));
  r.w.assign(3 * n, R(-4.5e9));
  r.iperm.assign(n, -1);
  solve(n, g, lo, up, r);
  return r;
}

template <class R>
R rabs(R v) { return v < 0 ? -v : v; }
template <class R>
constexpr R eps() {
  if constexpr (std::is_same_v<R, double>) return std::numeric_limits<double>::epsilon();
  else return FLT128_EPSILON;
}

// q(x) = 1/2 x'Hx - G'x, evaluated in R.
template <class R>
R qval(const Problem& p, const std::vector<R>& x) {
  R s = 0;
  for (IWORD i = 1; i <= p.n; ++i) {
    R hx = 0;
    for (IWORD j = 1; j <= p.n; ++j) hx += R(p.hb(i, j)) * x[j - 1];
    s += x[i - 1] * (R(0.5) * hx - R(p.g[i - 1]));
  }
  return s;
}

// Minimum of q over the box by enumerating every split into free, lower and
// upper variables; each free block with a clear nonsingular factorisation is
// solved, and the best feasible point is kept.  For a convex q some optimal
// point has a nonsingular free block, so this is the true minimum.
double brute_force_min(const Problem& p, Vec* xbest) {
  const IWORD n = p.n;
  double hmax = 0;
  for (double v : p.h) hmax = std::max(hmax, std::fabs(v));
  double best = std::numeric_limits<double>::infinity();
  IWORD total = 1;
  for (IWORD i = 0; i < n; ++i) total *= 3;
  for (IWORD code = 0; code < total; ++code) {
    std::vector<int> st(n);
    IWORD c = code;
    bool skip = false;
    for (IWORD i = 0; i < n; ++i) {
      st[i] = static_cast<int>(c % 3);
      c /= 3;
      if (p.lo[i] == p.up[i] && st[i] != 1) skip = true;  // fixed: one split only
    }
    if (skip) continue;
    Vec x(n, 0.0);
    std::vector<IWORD> fr;
    for (IWORD i = 0; i < n; ++i) {
      if (st[i] == 0) fr.push_back(i);
      else x[i] = st[i] == 1 ? p.lo[i] : p.up[i];
    }
    const size_t m = fr.size();
    if (m > 0) {
      // A x_F = G_F - H_FA x_A by elimination with partial pivoting.
      std::vector<double> a(m * m), b(m);
      for (size_t r = 0; r < m; ++r) {
        double rhs = p.g[fr[r]];
        for (IWORD j = 0; j < n; ++j)
          if (st[j] != 0) rhs -= p.hb(fr[r] + 1, j + 1) * x[j];
        b[r] = rhs;
        for (size_t cc = 0; cc < m; ++cc) a[r + cc * m] = p.hb(fr[r] + 1, fr[cc] + 1);
      }
      bool singular = false;
      for (size_t k = 0; k < m && !singular; ++k) {
        size_t piv = k;
        for (size_t r = k + 1; r < m; ++r)
          if (std::fabs(a[r + k * m]) > std::fabs(a[piv + k * m])) piv = r;
        if (std::fabs(a[piv + k * m]) <= 1e-9 * hmax) {
          singular = true;
          break;
        }
        if (piv != k) {
          for (size_t cc = 0; cc < m; ++cc) std::swap(a[k + cc * m], a[piv + cc * m]);
          std::swap(b[k], b[piv]);
        }
        for (size_t r = k + 1; r < m; ++r) {
          const double l = a[r + k * m] / a[k + k * m];
          for (size_t cc = k; cc < m; ++cc) a[r + cc * m] -= l * a[k + cc * m];
          b[r] -= l * b[k];
        }
      }
      if (singular) continue;
      for (size_t k = m; k-- > 0;) {
        double s = b[k];
        for (size_t cc = k + 1; cc < m; ++cc) s -= a[k + cc * m] * b[cc];
        b[k] = s / a[k + k * m];
      }
      bool feasible = true;
      for (size_t r = 0; r < m; ++r) {
        const IWORD i = fr[r];
        const double tol = 1e-9 * (1.0 + std::fabs(p.lo[i]) + std::fabs(p.up[i]));
        if (b[r] < p.lo[i] - tol || b[r] > p.up[i] + tol) feasible = false;
        x[i] = std::min(std::max(b[r], p.lo[i]), p.up[i]);
      }
      if (!feasible) continue;
    }
    const double q = qval<double>(p, x);
    if (q < best) {
      best = q;
      if (xbest) *xbest = x;
    }
  }
  return best;
}

// Every property of a returned state that follows from the routine's
// contract; the failures name the problem.
template <class R>
void check_state(const Problem& p, const Result<R>& r, R tol, const std::string& what) {
  const IWORD n = p.n;
  const IWORD m = r.nfree;
  ASSERT_GE(m, 0) << what;
  ASSERT_LE(m, n) << what;
  // IPERM is a permutation.
  std::vector<int> seen(n + 1, 0);
  for (IWORD k = 0; k < n; ++k) {
    ASSERT_GE(r.iperm[k], 1) << what;
    ASSERT_LE(r.iperm[k], n) << what;
    seen[r.iperm[k]]++;
  }
  for (IWORD v = 1; v <= n; ++v) ASSERT_EQ(seen[v], 1) << what;
  // Upper triangle and diagonal untouched.
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i <= j; ++i) ASSERT_EQ(r.h[i + j * n], R(p.h[i + j * n])) << what;

  R hnorm = 0, xnorm = 0, gnorm = 0;
  for (double v : p.h) hnorm = std::max(hnorm, rabs(R(v)));
  for (R v : r.x) xnorm = std::max(xnorm, rabs(v));
  for (double v : p.g) gnorm = std::max(gnorm, rabs(R(v)));
  const R scale = R(n) * hnorm * xnorm + gnorm + R(1e-300);

  // Feasibility and optimality (KKT) of X; W(1..N) is the gradient by position.
  std::vector<R> grad(n);
  for (IWORD i = 1; i <= n; ++i) {
    R s = -R(p.g[i - 1]);
    for (IWORD j = 1; j <= n; ++j) s += R(p.hb(i, j)) * r.x[j - 1];
    grad[i - 1] = s;
  }
  for (IWORD k = 1; k <= n; ++k) {
    const IWORD v = r.iperm[k - 1];
    const R xv = r.x[v - 1], lo = R(p.lo[v - 1]), up = R(p.up[v - 1]), gv = grad[v - 1];
    const R btol = tol * (R(1) + rabs(lo) + rabs(up));
    EXPECT_GE(xv, lo - btol) << what << " variable " << v;
    EXPECT_LE(xv, up + btol) << what << " variable " << v;
    if (k <= m) {
      EXPECT_EQ(r.w[k - 1], R(0)) << what;
      EXPECT_LE(rabs(gv), tol * scale) << what << " free variable " << v;
    } else {
      EXPECT_LE(rabs(r.w[k - 1] - gv), tol * scale) << what << " gradient of " << v;
      const bool atlo = xv == lo, atup = xv == up;
      if (atlo && atup) continue;
      if (atlo) EXPECT_GE(gv, -tol * scale) << what << " variable " << v << " at lower";
      else if (atup) EXPECT_LE(gv, tol * scale) << what << " variable " << v << " at upper";
      else EXPECT_LE(rabs(gv), tol * scale) << what << " inner variable " << v;
    }
  }
  // FOBJ = q(X).
  const R q = qval<R>(p, r.x);
  EXPECT_LE(rabs(r.fobj - q), tol * (scale * xnorm + R(1e-300))) << what;

  // The factor: L*D*L' is the free block in position order, rows beyond it
  // hold the multipliers, and W(2N+k) the Schur-complement diagonal.
  auto L = [&](IWORD i, IWORD j) -> R { return i == j ? R(1) : r.h[(i - 1) + (j - 1) * n]; };
  auto D = [&](IWORD j) -> R { return r.w[2 * n + j - 1]; };
  for (IWORD j = 1; j <= m; ++j) EXPECT_GT(D(j), R(0)) << what << " pivot " << j;
  for (IWORD i = 1; i <= n; ++i) {
    for (IWORD j = 1; j <= std::min(i, m); ++j) {
      R s = 0, a = 0;
      for (IWORD k = 1; k <= j; ++k) {
        s += L(i, k) * D(k) * L(j, k);
        a += rabs(L(i, k) * D(k) * L(j, k));
      }
      const R hv = R(p.hb(r.iperm[i - 1], r.iperm[j - 1]));
      EXPECT_LE(rabs(s - hv), tol * (a + hnorm)) << what << " factor entry " << i << "," << j;
    }
    if (i > m) {
      R s = R(p.hb(r.iperm[i - 1], r.iperm[i - 1])), a = rabs(s);
      for (IWORD k = 1; k <= m; ++k) {
        s -= L(i, k) * L(i, k) * D(k);
        a += rabs(L(i, k) * L(i, k) * D(k));
      }
      EXPECT_LE(rabs(D(i) - s), tol * (a + hnorm)) << what << " reduced curvature " << i;
    }
  }
}

// Random problems with N <= 8: H positive definite (B'B, B square) or
// semidefinite (B'B, B with fewer rows), and every kind of bound.
Problem random_problem(std::mt19937_64& rng, IWORD n, bool definite) {
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  Problem p;
  p.n = n;
  const IWORD rows = definite ? n : std::max<IWORD>(1, n / 2);
  Vec b(rows * n);
  for (double& v : b) v = U(rng);
  p.h.assign(n * n, 0.0);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i <= j; ++i) {
      double s = 0;
      for (IWORD k = 0; k < rows; ++k) s += b[k + i * rows] * b[k + j * rows];
      p.h[i + j * n] = s;
      p.h[j + i * n] = s;
    }
  p.g.resize(n);
  p.lo.resize(n);
  p.up.resize(n);
  for (IWORD i = 0; i < n; ++i) {
    p.g[i] = 3.0 * U(rng);
    const double a = U(rng), c = U(rng);
    switch (std::uniform_int_distribution<int>(0, 6)(rng)) {
      case 0:  // box around the origin
        p.lo[i] = -std::fabs(a);
        p.up[i] = std::fabs(c);
        break;
      case 1:  // box above the origin
        p.lo[i] = 0.25 + std::fabs(a);
        p.up[i] = p.lo[i] + std::fabs(c);
        break;
      case 2:  // box below the origin
        p.up[i] = -0.25 - std::fabs(a);
        p.lo[i] = p.up[i] - std::fabs(c);
        break;
      case 3:  // fixed
        p.lo[i] = p.up[i] = 2.0 * a;
        break;
      case 4:  // lower bound only
        p.lo[i] = a;
        p.up[i] = 1e3;
        break;
      case 5:  // upper bound only
        p.lo[i] = -1e3;
        p.up[i] = a;
        break;
      default:  // wide
        p.lo[i] = -1e3;
        p.up[i] = 1e3;
        break;
    }
  }
  return p;
}

TEST_F(QuadprTest, RandomProblemsMatchEnumerationOfActiveSets) {
  std::mt19937_64 rng(20240611);
  for (int trial = 0; trial < 400; ++trial) {
    const IWORD n = 1 + trial % 8;
    const bool definite = (trial / 8) % 2 == 0;
    const Problem p = random_problem(rng, n, definite);
    const std::string what = "trial " + std::to_string(trial) + " n=" + std::to_string(n) +
                             (definite ? " definite" : " semidefinite");
    Vec xbf;
    const double qbf = brute_force_min(p, &xbf);
    const Result<double> r = run<double>(p);
    check_state<double>(p, r, 1e3 * eps<double>(), what);
    const double qs = qval<double>(p, r.x);
    double xmax = 1;
    for (double v : r.x) xmax = std::max(xmax, std::fabs(v));
    EXPECT_NEAR(qs, qbf, 1e-9 * xmax * xmax * (1 + std::fabs(qbf))) << what;
    if (definite) {
      for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(r.x[i], xbf[i], 1e-7 * xmax) << what;
    }
    // The binary128 twin reaches the same minimum with the same invariants.
    const Result<QREAL> rq = run<QREAL>(p);
    check_state<QREAL>(p, rq, QREAL(1e3) * eps<QREAL>(), what + " binary128");
    EXPECT_NEAR(static_cast<double>(qval<QREAL>(p, rq.x)), qbf,
                1e-9 * xmax * xmax * (1 + std::fabs(qbf))) << what;
  }
}

// Bounds tight around the unconstrained minimiser force variables that have
// joined the free set to leave it again (updates of the factor).
TEST_F(QuadprTest, FactorAfterRemovalsEqualsFreeBlock) {
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (int trial = 0; trial < 200; ++trial) {
    const IWORD n = 3 + trial % 6;
    Problem p = random_problem(rng, n, true);
    // Strong coupling, gradient pointing outward: the first variables to
    // join are pushed against their bounds by the later ones.
    for (IWORD j = 0; j < n; ++j)
      for (IWORD i = 0; i < n; ++i)
        if (i != j) p.h[i + j * n] *= 1.5;
    for (IWORD i = 0; i < n; ++i) {
      p.h[i + i * n] += 0.5 * n;
      p.g[i] = 4.0 * U(rng);
      p.lo[i] = -0.2 - 0.3 * std::fabs(U(rng));
      p.up[i] = 0.2 + 0.3 * std::fabs(U(rng));
    }
    const std::string what = "trial " + std::to_string(trial);
    Vec xbf;
    const double qbf = brute_force_min(p, &xbf);
    const Result<double> r = run<double>(p);
    check_state<double>(p, r, 1e3 * eps<double>(), what);
    for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(r.x[i], xbf[i], 1e-9) << what;
    EXPECT_NEAR(r.fobj, qbf, 1e-9 * (1 + std::fabs(qbf))) << what;
  }
}

// A free variable leaves after the last one joined (x1 = 1 -> its bound 2.1),
// and the entering variable finishes alone: x = (-0.89, 2.1).
TEST_F(QuadprTest, FreeVariableReachingItsBoundLeaves) {
  const Problem p{2, {1.0, 0.9, 0.9, 1.0}, {1.0, 2.0}, {-10.0, -10.0}, {10.0, 2.1}};
  const Result<double> r = run<double>(p);
  EXPECT_EQ(r.nfree, 1);
  EXPECT_EQ(r.iperm, (std::vector<IWORD>{1, 2}));
  EXPECT_NEAR(r.x[0], 1.0 - 0.9 * 2.1, 1e-15);
  EXPECT_EQ(r.x[1], 2.1);
  EXPECT_EQ(r.w[2 * 2 + 0], 1.0);                        // D(1) = H(1,1)
  EXPECT_NEAR(r.w[2 * 2 + 1], 1.0 - 0.81, 1e-15);        // Schur complement of x2
  EXPECT_NEAR(r.h[1], 0.9, 1e-15);                       // multiplier of x2
  check_state<double>(p, r, 1e3 * eps<double>(), "2x2 removal");
}

struct WorkedCase {
  const char* name;
  Problem p;
  Vec x;
  IWORD nfree;
  std::vector<IWORD> iperm;
  Vec wgrad;  // W(1..N)
  double fobj;
};

// The small cases the routine's behaviour is defined by, with exact results.
const std::vector<WorkedCase>& worked_cases() {
  static const std::vector<WorkedCase> cases = {
      {"n1 interior minimum", {1, {4.0}, {2.0}, {-1.0}, {1.0}}, {0.5}, 1, {1}, {0.0}, -0.5},
      {"n1 upper bound", {1, {4.0}, {2.0}, {-1.0}, {0.25}}, {0.25}, 0, {1},
       {4.0 * 0.25 - 2.0}, 0.5 * 4.0 * 0.0625 - 2.0 * 0.25},
      {"start at a positive lower bound", {1, {1.0}, {0.0}, {0.5}, {1.0}}, {0.5}, 0, {1},
       {0.5}, 0.125},
      {"start at a negative upper bound", {1, {1.0}, {0.0}, {-3.0}, {-2.0}}, {-2.0}, 0, {1},
       {-2.0}, 2.0},
      {"fixed variable never moves", {2, {1.0, 0.0, 0.0, 1.0}, {5.0, 1.0}, {0.75, -2.0},
       {0.75, 2.0}}, {0.75, 1.0}, 1, {2, 1}, {0.0, 0.75 - 5.0}, 0.5 * 0.5625 - 3.75 - 0.5},
      {"zero gradient joins with zero step", {1, {2.0}, {0.0}, {-1.0}, {1.0}}, {0.0}, 1, {1},
       {0.0}, 0.0},
      {"equal decrease: later position first", {2, {1.0, 0.0, 0.0, 1.0}, {1.0, 1.0},
       {-5.0, -5.0}, {5.0, 5.0}}, {1.0, 1.0}, 2, {2, 1}, {0.0, 0.0}, -1.0},
      {"zero curvature goes to its bound", {1, {0.0}, {1.0}, {-3.0}, {2.0}}, {2.0}, 0, {1},
       {-1.0}, -2.0},
      {"negative curvature goes to its bound", {1, {-1.0}, {-1.0}, {-3.0}, {2.0}}, {-3.0}, 0,
       {1}, {4.0}, -7.5},
      {"equal ratios: the earlier free position blocks",
       {3, {1.0, 0.0, -0.5, 0.0, 1.0, -0.5, -0.5, -0.5, 1.0}, {2.0, 1.5, 0.0}, {-5.0, -5.0, 0.0},
        {2.25, 1.75, 10.0}},
       {2.25, 1.75, 2.0}, 1, {3, 1, 2}, {0.0, -0.75, -0.75}, -5.0625},
      {"H = 0: decrease 2 before 1", {2, {0.0, 0.0, 0.0, 0.0}, {1.0, -1.0}, {-1.0, -1.0},
       {2.0, 2.0}}, {2.0, -1.0}, 0, {1, 2}, {-1.0, 1.0}, -3.0},
      // A variable with no gradient and no curvature promises nothing: it
      // stays where it is rather than going to a far bound, which would
      // carry the free variable along and lose its digits (or, with
      // infinite bounds, make X infinite).
      {"no gradient, no curvature: no move", {2, {1.0, 1.0, 1.0, 1.0}, {1.0, 1.0},
       {-1e30, -1e30}, {1e30, 1e30}}, {0.0, 1.0}, 1, {2, 1}, {0.0, 0.0}, -0.5},
      {"no gradient, no curvature, infinite bounds", {1, {0.0}, {0.0}, {-HUGE_VAL}, {HUGE_VAL}},
       {0.0}, 0, {1}, {0.0}, 0.0},
  };
  return cases;
}

TEST_F(QuadprTest, WorkedCases) {
  for (const WorkedCase& c : worked_cases()) {
    const Result<double> r = run<double>(c.p);
    EXPECT_EQ(r.nfree, c.nfree) << c.name;
    EXPECT_EQ(r.iperm, c.iperm) << c.name;
    for (IWORD i = 0; i < c.p.n; ++i) {
      EXPECT_EQ(r.x[i], c.x[i]) << c.name;
      EXPECT_EQ(r.w[i], c.wgrad[i]) << c.name;
    }
    EXPECT_DOUBLE_EQ(r.fobj, c.fobj) << c.name;
  }
}

// The same cases in binary128: same NFREE and IPERM, X and FOBJ the binary128
// values of the same formulas (all exact here).
TEST_F(QuadprTest, WorkedCasesInBinary128) {
  for (const WorkedCase& c : worked_cases()) {
    const Result<QREAL> r = run<QREAL>(c.p);
    EXPECT_EQ(r.nfree, c.nfree) << c.name;
    EXPECT_EQ(r.iperm, c.iperm) << c.name;
    for (IWORD i = 0; i < c.p.n; ++i) {
      EXPECT_TRUE(r.x[i] == QREAL(c.x[i])) << c.name;
      EXPECT_TRUE(r.w[i] == QREAL(c.wgrad[i])) << c.name;
    }
    EXPECT_TRUE(r.fobj == QREAL(c.fobj)) << c.name;
  }
}

TEST_F(QuadprTest, InteriorMinimumOfOneVariableLeavesPivot) {
  const Problem p{1, {4.0}, {2.0}, {-1.0}, {1.0}};
  const Result<double> r = run<double>(p);
  EXPECT_EQ(r.w[2], 4.0);  // W(2N+1) = h
}

TEST_F(QuadprTest, EmptyProblemWritesOnlyNfreeAndFobj) {
  for (IWORD n : {0, -3}) {
    double h = 7, g = 1, lo = -1, up = 1, x = 11, fobj = 13, w[3] = {1, 2, 3};
    IWORD iperm = 17, nfree = 19, ldh = 1;
    ORVK_QUADPR(&n, &h, &ldh, &g, &lo, &up, &x, &fobj, &iperm, &nfree, w);
    EXPECT_EQ(nfree, 0);
    EXPECT_EQ(fobj, 0.0);
    EXPECT_EQ(x, 11.0);
    EXPECT_EQ(iperm, 17);
    EXPECT_EQ(w[0], 1.0);
    EXPECT_EQ(h, 7.0);
    QREAL qh = 7, qg = 1, qlo = -1, qup = 1, qx = 11, qf = 13, qw[3] = {1, 2, 3};
    IWORD qperm = 17, qfree = 19;
    orvika::QUADPR16(n, &qh, 1, &qg, &qlo, &qup, &qx, qf, &qperm, qfree, qw);
    EXPECT_EQ(qfree, 0);
    EXPECT_TRUE(qf == 0);
    EXPECT_TRUE(qx == 11);
  }
}

TEST_F(QuadprTest, LeadingDimensionBelowOrderWritesNothing) {
  const IWORD n = 2, ldh = 1;
  double h[2] = {1, 1}, g[2] = {1, 1}, lo[2] = {-1, -1}, up[2] = {1, 1}, x[2] = {5, 5};
  double fobj = 0, w[6] = {};
  IWORD iperm[2] = {9, 9}, nfree = 9;
  ORVK_QUADPR(&n, h, &ldh, g, lo, up, x, &fobj, iperm, &nfree, w);
  EXPECT_EQ(nfree, 0);
  EXPECT_TRUE(std::isnan(fobj));
  EXPECT_EQ(x[0], 5.0);
  EXPECT_EQ(iperm[0], 9);
}

// A NaN in G(3): W(1..2) = -G(1..2); X, IPERM, NFREE keep what they held and
// FOBJ is NaN (the closing formula is never evaluated over stale positions).
TEST_F(QuadprTest, NaNInGradientStopsBeforeWriting) {
  const IWORD n = 4;
  Vec h(16, 0.0);
  for (int i = 0; i < 4; ++i) h[i * 5] = 1.0;
  Vec g = {1.0, -2.0, kNaN, 4.0}, lo(4, -1.0), up(4, 1.0);
  Vec x = {7, 7, 7, 7}, w(12, 5.0);
  std::vector<IWORD> iperm = {1000, -1000, 1 << 30, 0};  // not a permutation
  IWORD nfree = 3;
  double fobj = 0;
  ORVK_QUADPR(&n, h.data(), &n, g.data(), lo.data(), up.data(), x.data(), &fobj, iperm.data(),
              &nfree, w.data());
  EXPECT_EQ(w[0], -1.0);
  EXPECT_EQ(w[1], 2.0);
  for (int k = 2; k < 12; ++k) EXPECT_EQ(w[k], 5.0) << k;
  EXPECT_EQ(x, Vec(4, 7.0));
  EXPECT_EQ(iperm, (std::vector<IWORD>{1000, -1000, 1 << 30, 0}));
  EXPECT_EQ(nfree, 3);
  EXPECT_TRUE(std::isnan(fobj));

  QVec qh(h.begin(), h.end()), qg(g.begin(), g.end()), ql(lo.begin(), lo.end()),
      qu(up.begin(), up.end()), qx(4, 7), qw(12, 5);
  QREAL qf = 0;
  orvika::QUADPR16(n, qh.data(), n, qg.data(), ql.data(), qu.data(), qx.data(), qf, iperm.data(),
                   nfree, qw.data());
  EXPECT_TRUE(qw[0] == -1 && qw[1] == 2 && qw[2] == 5);
  EXPECT_TRUE(qx[0] == 7);
  EXPECT_EQ(nfree, 3);
  EXPECT_TRUE(isnanq(qf));
}

// Variable 2 enters with reduced curvature -1 while x1 is free; x1 blocks at
// its bound 1.5 and leaves, after which x2's curvature is 0.  It must then go
// to its bound 10 rather than join the factor with a zero pivot, whatever the
// host's missing marker (here 1, smaller than the distance 9.5).
TEST_F(QuadprTest, NonPositiveCurvatureAfterRemovalGoesToBound) {
  const Problem p{2, {1.0, -1.0, -1.0, 0.0}, {1.0, 0.0}, {-5.0, 0.0}, {1.5, 10.0}};
  for (double rmis : {1e35, 1.0}) {
    VLK_RGLOB[VLK_W_RMISVAL - 1] = rmis;
    const Result<double> r = run<double>(p);
    EXPECT_EQ(r.nfree, 0) << rmis;
    EXPECT_EQ(r.x[0], 1.5) << rmis;
    EXPECT_EQ(r.x[1], 10.0) << rmis;
    EXPECT_EQ(r.fobj, -15.375) << rmis;
    for (double v : r.w) EXPECT_TRUE(std::isfinite(v)) << rmis;
    const Result<QREAL> rq = run<QREAL>(p);
    EXPECT_EQ(rq.nfree, 0) << rmis;
    EXPECT_TRUE(rq.x[1] == 10 && rq.fobj == QREAL(-15.375)) << rmis;
    EXPECT_EQ(brute_force_min(p, nullptr), -15.375);
  }
}

// A free direction entry of magnitude C takes part in the ratio test only
// when C is at least the threshold (the double 1e-20; for binary128 the same
// double widened exactly).  Variable B (position 2) joins first at x_B = 1,
// A then enters from its lower bound with direction entry C for B; B's bound
// 2 is reached at step 1/C, before A's own step of about 1.9e20.
template <class R>
Result<R> threshold_case(R c) {
  const R beta = R(std::ldexp(1.0, 132));
  const IWORD n = 2;
  std::vector<R> h = {R(0.8), -c * beta, -c * beta, beta};
  std::vector<R> g = {R(0), beta}, lo = {R(0), R(0)}, up = {R(1e30), R(2)};
  Result<R> r;
  r.h = h;
  r.x.assign(2, R(0));
  r.w.assign(6, R(0));
  r.iperm.assign(2, 0);
  solve(n, g, lo, up, r);
  return r;
}

TEST_F(QuadprTest, RatioTestThreshold) {
  const double t = 1e-20;
  const double below = std::nextafter(t, 0.0);
  // At the threshold B blocks and leaves: only A is free.
  Result<double> at = threshold_case<double>(t);
  EXPECT_EQ(at.nfree, 1);
  EXPECT_EQ(at.x[1], 2.0);
  // Just below it B never blocks: both free, B carried past its bound.
  Result<double> bl = threshold_case<double>(below);
  EXPECT_EQ(bl.nfree, 2);
  EXPECT_GT(bl.x[1], 2.0);

  // Binary128: the threshold is the double 1e-20 widened, just below the
  // binary128 value nearest 1e-20; an entry equal to it takes part.
  const QREAL wide = QREAL(t);
  EXPECT_TRUE(orvika::quadpr_tiny<QREAL>() == wide);
  EXPECT_TRUE(wide < 1e-20Q);
  Result<QREAL> qat = threshold_case<QREAL>(wide);
  EXPECT_EQ(qat.nfree, 1);
  EXPECT_TRUE(qat.x[1] == 2);
  Result<QREAL> qbl = threshold_case<QREAL>(nextafterq(wide, 0));
  EXPECT_EQ(qbl.nfree, 2);
}

}  // namespace
