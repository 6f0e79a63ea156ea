// ORVK_LUFACT / ORVK_LUSBST and their binary128 twins.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "dense_test_util.hpp"
#include "orvika/kernels_dense.h"

#ifdef ORVK_HAVE_QREAL
#include <quadmath.h>
#endif

namespace {

using dense_test::kEps;
using dense_test::kRatioLimit;
using dense_test::norm1;
using dense_test::random_matrix;

double absv(double x) { return std::fabs(x); }
#ifdef ORVK_HAVE_QREAL
QREAL absv(QREAL x) { return fabsq(x); }
#endif

// The factorisation written literally as the method reads: positions in
// increasing order, each row's columns in increasing order, every access
// through the pivot index.  The library's routine must agree bit for bit.
template <class T>
IWORD reference_factor(IWORD lda, IWORD n, T* a, IWORD* ipvt, T tol) {
  auto A = [&](IWORD i, IWORD j) -> T& { return a[(i - 1) + (j - 1) * lda]; };
  for (IWORD k = 1; k <= n; ++k) ipvt[k - 1] = k;
  for (IWORD i = 1; i <= n - 1; ++i) {
    IWORD f = i;
    T big = absv(A(ipvt[i - 1], i));
    for (IWORD j = i + 1; j <= n; ++j)
      if (absv(A(ipvt[j - 1], i)) > big) {
        big = absv(A(ipvt[j - 1], i));
        f = j;
      }
    if (!(big > tol)) return i;
    std::swap(ipvt[i - 1], ipvt[f - 1]);
    const IWORD h = ipvt[i - 1];
    const T p = A(h, i);
    for (IWORD j = i + 1; j <= n; ++j) {
      const IWORD l = ipvt[j - 1];
      const T m = A(l, i);
      if (m == T(0)) continue;
      for (IWORD k = i + 1; k <= n; ++k) {
        const T o = A(h, k);
        if (o == T(0)) continue;
        T t;
        if (absv(m) > absv(o)) {
          t = (m / p) * o;
          if (t == T(0)) t = m * (o / p);
        } else {
          t = (o / p) * m;
          if (t == T(0)) t = o * (m / p);
        }
        A(l, k) = A(l, k) - t;
      }
      A(l, i) = m / p;
    }
  }
  return (absv(A(ipvt[n - 1], n)) > tol) ? 0 : n;
}

// ---- Known answers on random matrices --------------------------------------

struct SizeCase {
  IWORD n, lda;
};

class LufactRandom : public ::testing::TestWithParam<SizeCase> {};

TEST_P(LufactRandom, ReconstructsPermutedMatrixAndSolves) {
  const auto [n, lda] = GetParam();
  const auto a0 = random_matrix(lda, n, 1000 + static_cast<unsigned>(n));
  auto a = a0;
  std::vector<IWORD> ipvt(n);
  IWORD ifail = -7;
  const double tol = 0.0;
  ORVK_LUFACT(&lda, &n, a.data(), ipvt.data(), &ifail, &tol);
  ASSERT_EQ(ifail, 0);

  // IPVT is a permutation of 1..n.
  std::vector<int> seen(n + 1, 0);
  for (IWORD k = 0; k < n; ++k) {
    ASSERT_GE(ipvt[k], 1);
    ASSERT_LE(ipvt[k], n);
    ++seen[ipvt[k]];
  }
  for (IWORD k = 1; k <= n; ++k) EXPECT_EQ(seen[k], 1);

  // P*A = L*U, row by row: (P*A)(k,:) = A0(IPVT(k),:).
  auto f = [&](IWORD i, IWORD j) { return a[(ipvt[i - 1] - 1) + (j - 1) * lda]; };
  double worst = 0.0;
  for (IWORD k = 1; k <= n; ++k)
    for (IWORD j = 1; j <= n; ++j) {
      double s = 0.0;
      for (IWORD t = 1; t <= std::min(k, j); ++t) s += (t == k ? 1.0 : f(k, t)) * f(t, j);
      worst = std::max(worst, std::fabs(s - a0[(ipvt[k - 1] - 1) + (j - 1) * lda]));
    }
  const double ratio = worst / (norm1(a0, lda, n) * n * kEps);
  EXPECT_LT(ratio, kRatioLimit) << "n=" << n;

  // Multipliers of partial pivoting are at most 1 in magnitude.
  for (IWORD k = 1; k <= n; ++k)
    for (IWORD j = k + 1; j <= n; ++j) EXPECT_LE(std::fabs(f(j, k)), 1.0);

  // Solve for a known x; B is left unchanged.
  std::vector<double> x(n), b(n, 0.0), xs(n);
  for (IWORD i = 0; i < n; ++i) x[i] = 1.0 + 0.5 * std::sin(static_cast<double>(i));
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) b[i] += a0[i + j * lda] * x[j];
  const auto b0 = b;
  ORVK_LUSBST(&lda, &n, b.data(), ipvt.data(), a.data(), xs.data());
  EXPECT_EQ(b, b0);
  EXPECT_LT(orvika_test::scaled_residual(n, a0.data(), lda, xs.data(), b.data()),
            dense_test::residual_limit(a0, lda, n))
      << "n=" << n;
}

INSTANTIATE_TEST_SUITE_P(Sizes, LufactRandom,
                         ::testing::Values(SizeCase{1, 1}, SizeCase{2, 2}, SizeCase{3, 5},
                                           SizeCase{5, 5}, SizeCase{10, 13}, SizeCase{50, 50},
                                           SizeCase{257, 260}, SizeCase{300, 300}));

// ---- Exactly the specified elimination ---------------------------------------

// Matrices that exercise ties, zero multipliers, zero pivot-row elements,
// widely spread magnitudes (quotient order and underflow) and NaN.
std::vector<double> awkward_matrix(IWORD lda, IWORD n, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_int_distribution<int> kind(0, 9), small(-3, 3), expo(-300, 300);
  std::vector<double> a(static_cast<size_t>(lda * n), 0.0);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) {
      const int k = kind(gen);
      double v;
      if (k <= 2)
        v = 0.0;
      else if (k <= 6)
        v = small(gen);  // many ties
      else
        v = small(gen) * std::ldexp(1.0, expo(gen) * 3);  // spread magnitudes
      a[i + j * lda] = v;
    }
  return a;
}

TEST(Lufact, AgreesBitwiseWithTheLiteralMethod) {
  for (IWORD n : {1, 2, 3, 4, 7, 16, 40, 300}) {
    for (unsigned seed = 0; seed < 6; ++seed) {
      const IWORD lda = n + 2;
      for (int variant = 0; variant < 2; ++variant) {
        auto a = variant == 0 ? awkward_matrix(lda, n, seed * 31 + n)
                              : random_matrix(lda, n, seed * 17 + n);
        auto r = a;
        std::vector<IWORD> ip(n), ipr(n);
        IWORD ifail = -7;
        const double tol = (seed % 3 == 0) ? 0.0 : 1e-300;
        ORVK_LUFACT(&lda, &n, a.data(), ip.data(), &ifail, &tol);
        const IWORD ifr = reference_factor<double>(lda, n, r.data(), ipr.data(), tol);
        ASSERT_EQ(ifail, ifr) << "n=" << n << " seed=" << seed;
        ASSERT_EQ(ip, ipr) << "n=" << n << " seed=" << seed;
        ASSERT_EQ(0, std::memcmp(a.data(), r.data(), a.size() * sizeof(double)))
            << "n=" << n << " seed=" << seed;
      }
    }
  }
}

// ---- Edge cases ---------------------------------------------------------------

struct Small {
  const char* what;
  IWORD n;
  std::vector<double> a;  // column-major, lda = n
  double tol;
  IWORD ifail;
  std::vector<IWORD> ipvt;
};

TEST(Lufact, EdgeCaseTable) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Small> cases = {
      {"1x1 regular", 1, {4.0}, 0.0, 0, {1}},
      {"1x1 below tolerance", 1, {1e-9}, 1e-8, 1, {1}},
      {"1x1 zero, TOL 0", 1, {0.0}, 0.0, 1, {1}},
      {"tie keeps the earlier position", 3, {1, 2, -2, 0, 1, 0, 0, 0, 1}, 0.0, 0, {2, 3, 1}},
      {"largest at position 1: no exchange", 2, {-3, 3, 1, 1}, 0.0, 0, {1, 2}},
      {"all-zero column at step 2 stops", 3, {2, 1, 0, 4, 2, 0, 1, 1, 1}, 0.0, 2, {1, 2, 3}},
      {"NaN at position i stays the candidate", 2, {nan, 5, 1, 1}, 0.0, 1, {1, 2}},
      {"NaN at a later position is never chosen", 3, {1, nan, 2, 0, 1, 0, 0, 0, 1}, 0.0, 0,
       {3, 2, 1}},
      {"NaN last pivot fails", 2, {1, 0, 0, nan}, 0.0, 2, {1, 2}},
      {"last pivot at tolerance", 2, {2, 0, 0, 1e-10}, 1e-10, 2, {1, 2}},
  };
  for (const auto& c : cases) {
    auto a = c.a;
    std::vector<IWORD> ip(c.n, 99);
    IWORD ifail = -7;
    ORVK_LUFACT(&c.n, &c.n, a.data(), ip.data(), &ifail, &c.tol);
    EXPECT_EQ(ifail, c.ifail) << c.what;
    EXPECT_EQ(ip, c.ipvt) << c.what;
  }
}

// An infinite pivot, given or grown out of range, fails its step like one
// within the tolerance: step i stops with IFAIL = i and no exchange, the last
// pivot gives IFAIL = N.  The same table runs in binary128, where 2e308 is
// still finite.
struct InfCase {
  const char* what;
  IWORD n;
  std::vector<double> a;  // column-major, lda = n
  IWORD ifail, ifail16;
  std::vector<IWORD> ipvt;
};

const std::vector<InfCase>& infinite_pivot_cases() {
  const double inf = std::numeric_limits<double>::infinity();
  static const std::vector<InfCase> cases = {
      {"1x1 +inf", 1, {inf}, 1, 1, {1}},
      {"1x1 -inf", 1, {-inf}, 1, 1, {1}},
      {"diag(inf, 1)", 2, {inf, 0, 0, 1}, 1, 1, {1, 2}},
      {"inf pivot with a full row below", 2, {inf, 1, 1, 1}, 1, 1, {1, 2}},
      {"inf at a later position: no exchange", 2, {1, -inf, 1, 1}, 1, 1, {1, 2}},
      {"inf last pivot", 2, {1, 0, 0, inf}, 2, 2, {1, 2}},
      {"inf pivot at step 2 of 3", 3, {2, 0, 0, 1, inf, 1, 0, 1, 1}, 2, 2, {1, 2, 3}},
      {"last pivot grown out of range", 2, {1, -1, 1e308, 1e308}, 2, 0, {1, 2}},
      // Above the diagonal with nothing below to carry it into a pivot.
      {"inf in the pivot row", 2, {1, 0, inf, 1}, 1, 1, {1, 2}},
      {"inf in the pivot row after an exchange", 3, {0, 2, 0, 1, -inf, 0, 0, 0, 1}, 1, 1,
       {1, 2, 3}},
  };
  return cases;
}

TEST(Lufact, InfinitePivotFailsTable) {
  const double tol = 0.0;
  for (const auto& c : infinite_pivot_cases()) {
    auto a = c.a;
    std::vector<IWORD> ip(c.n, 99);
    IWORD ifail = -7;
    ORVK_LUFACT(&c.n, &c.n, a.data(), ip.data(), &ifail, &tol);
    EXPECT_EQ(ifail, c.ifail) << c.what;
    EXPECT_EQ(ip, c.ipvt) << c.what;
  }
}

TEST(Lufact, FailedStepLeavesEarlierWork) {
  // Step 1 eliminates; step 2 finds only zeros.
  const IWORD n = 3;
  std::vector<double> a = {2, 1, 4, 4, 2, 8, 1, 1, 1};  // rows (2,4,1),(1,2,1),(4,8,1)
  std::vector<IWORD> ip(n);
  IWORD ifail = 0;
  const double tol = 0.0;
  ORVK_LUFACT(&n, &n, a.data(), ip.data(), &ifail, &tol);
  EXPECT_EQ(ifail, 2);
  EXPECT_EQ(ip, (std::vector<IWORD>{3, 2, 1}));
  EXPECT_EQ(a[2], 4.0);           // pivot row untouched
  EXPECT_EQ(a[0], 0.5);           // multiplier of row 1
  EXPECT_EQ(a[1], 0.25);          // multiplier of row 2
  EXPECT_EQ(a[3], 0.0);           // row 1, column 2 eliminated
  EXPECT_EQ(a[4], 0.0);           // row 2, column 2 eliminated
}

TEST(Lufact, ZeroMultiplierRowIsUntouched) {
  const IWORD n = 3;
  std::vector<double> a = {4, 0, 1, 1, 7, 2, 3, -0.0, 5};
  std::vector<IWORD> ip(n);
  IWORD ifail = 0;
  const double tol = 0.0;
  ORVK_LUFACT(&n, &n, a.data(), ip.data(), &ifail, &tol);
  ASSERT_EQ(ifail, 0);
  EXPECT_EQ(ip[0], 1);
  // Row 2 has multiplier 0 at step 1: its columns 2 and 3 are unchanged there.
  EXPECT_EQ(a[1], 0.0);
  EXPECT_EQ(a[4], 7.0);
  EXPECT_TRUE(std::signbit(a[7]));
}

TEST(Lufact, QuotientIsFormedBeforeTheTinyFactor) {
  // m = 1e-300, o = 1e150, p = 1e100: (o/p)*m = 1e-250, whereas m/p first
  // would underflow to 0.
  const IWORD n = 2;
  std::vector<double> a = {1e100, 1e-300, 1e150, 3e-250};
  std::vector<IWORD> ip(n);
  IWORD ifail = 0;
  const double tol = 0.0;
  ORVK_LUFACT(&n, &n, a.data(), ip.data(), &ifail, &tol);
  ASSERT_EQ(ifail, 0);
  EXPECT_NEAR(a[3] / 2e-250, 1.0, 1e-14);
  EXPECT_EQ(a[1], 0.0);  // the stored multiplier m/p underflows
}

TEST(Lusbst, EdgeCases) {
  const IWORD one = 1;
  {
    const double a = 4.0, b = 2.0;
    const IWORD ip = 1;
    double x = -1;
    ORVK_LUSBST(&one, &one, &b, &ip, &a, &x);
    EXPECT_EQ(x, 0.5);
  }
  {
    const double a = 0.0, b = 2.0;
    const IWORD ip = 1;
    double x = -1;
    ORVK_LUSBST(&one, &one, &b, &ip, &a, &x);
    EXPECT_EQ(x, 0.0);
  }
  {
    // Singular upper factor: U = [[2, 1], [0, 0]]; X(2) = 0 and X(1) uses it.
    const IWORD n = 2;
    const std::vector<double> a = {2, 0, 1, 0};
    const std::vector<IWORD> ip = {1, 2};
    const std::vector<double> b = {6, 5};
    std::vector<double> x(2, -1);
    ORVK_LUSBST(&n, &n, b.data(), ip.data(), a.data(), x.data());
    EXPECT_EQ(x[1], 0.0);
    EXPECT_EQ(x[0], 3.0);
  }
  {
    // Right-hand side read through IPVT.
    const IWORD n = 2;
    const std::vector<double> a = {0, 1, 2, 3};  // rows (0,2),(1,3): pivot row 2 first
    std::vector<double> af = a;
    std::vector<IWORD> ip(2);
    IWORD ifail = -1;
    const double tol = 0.0;
    ORVK_LUFACT(&n, &n, af.data(), ip.data(), &ifail, &tol);
    ASSERT_EQ(ifail, 0);
    const std::vector<double> b = {4, 5};  // x = (-1, 2)
    std::vector<double> x(2);
    ORVK_LUSBST(&n, &n, b.data(), ip.data(), af.data(), x.data());
    EXPECT_DOUBLE_EQ(x[0], -1.0);
    EXPECT_DOUBLE_EQ(x[1], 2.0);
  }
}

// A zero pivot is never used, even when a negative tolerance would let it
// pass: a singular matrix fails at the step with only zeros left.  The same
// table runs in binary128.
struct NegTolCase {
  const char* what;
  IWORD n;
  std::vector<double> a;  // column-major, lda = n
  IWORD ifail;
  std::vector<IWORD> ipvt;
};

const std::vector<NegTolCase>& negative_tolerance_cases() {
  static const std::vector<NegTolCase> cases = {
      {"1x1 regular", 1, {4.0}, 0, {1}},
      {"1x1 zero", 1, {0.0}, 1, {1}},
      {"zero first column", 2, {0, 0, 1, 1}, 1, {1, 2}},
      // Rows (1, 2) and (2, 4): the last pivot is 2 - (4/2)*1 = 0 exactly.
      {"rank one", 2, {1, 2, 2, 4}, 2, {2, 1}},
      {"zero column at step 2 of 3", 3, {2, 1, 0, 4, 2, 0, 1, 1, 1}, 2, {1, 2, 3}},
      {"regular 2x2", 2, {2, 1, 1, 3}, 0, {1, 2}},
  };
  return cases;
}

TEST(Lufact, NegativeToleranceAdmitsNoZeroPivot) {
  for (const double tol : {-1.0, -1e-300}) {
    for (const auto& c : negative_tolerance_cases()) {
      auto a = c.a;
      std::vector<IWORD> ip(c.n, 99);
      IWORD ifail = -7;
      ORVK_LUFACT(&c.n, &c.n, a.data(), ip.data(), &ifail, &tol);
      EXPECT_EQ(ifail, c.ifail) << c.what << ", TOL " << tol;
      EXPECT_EQ(ip, c.ipvt) << c.what << ", TOL " << tol;
      for (double v : a) EXPECT_FALSE(std::isnan(v)) << c.what << ", TOL " << tol;
    }
  }
}

TEST(Lufact, BadArguments) {
  const double tol = 0.0;
  double a[4] = {1, 2, 3, 4};
  IWORD ip[2] = {77, 77};
  IWORD ifail = 55;
  const IWORD zero = 0, one = 1, two = 2;
  ORVK_LUFACT(&one, &zero, a, ip, &ifail, &tol);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(ip[0], 77);
  ORVK_LUFACT(&one, &two, a, ip, &ifail, &tol);  // LDA < N
  EXPECT_EQ(ifail, -1);
  EXPECT_EQ(a[0], 1.0);
  EXPECT_EQ(ip[0], 77);

  // The solve writes nothing for a pivot index outside 1..N.
  const IWORD bad[2] = {1, 3};
  const double b[2] = {1, 1};
  double x[2] = {-5, -5};
  ORVK_LUSBST(&two, &two, b, bad, a, x);
  EXPECT_EQ(x[0], -5.0);
  ORVK_LUSBST(&one, &two, b, ip, a, x);
  EXPECT_EQ(x[0], -5.0);
}

#ifdef ORVK_HAVE_QREAL
// ---- Binary128 ------------------------------------------------------------------

TEST(Lufact16, AgreesBitwiseWithTheLiteralMethod) {
  for (IWORD n : {1, 2, 5, 12, 30}) {
    for (unsigned seed = 0; seed < 4; ++seed) {
      const IWORD lda = n + 1;
      const auto d = awkward_matrix(lda, n, seed * 7 + n);
      std::vector<QREAL> a(d.begin(), d.end());
      for (size_t k = 0; k < a.size(); k += 3) a[k] /= 3;  // not representable in double
      auto r = a;
      std::vector<IWORD> ip(n), ipr(n);
      IWORD ifail = -7;
      const double tol = 0.0;
      ORVK_LUFACT16(&lda, &n, a.data(), ip.data(), &ifail, &tol);
      ASSERT_EQ(ifail, reference_factor<QREAL>(lda, n, r.data(), ipr.data(), 0));
      ASSERT_EQ(ip, ipr);
      ASSERT_EQ(0, std::memcmp(a.data(), r.data(), a.size() * sizeof(QREAL)));
    }
  }
}

TEST(Lufact16, TolIsConvertedExactly) {
  // 0.1 as a double is slightly above 1/10 in binary128.
  const IWORD n = 1;
  QREAL a = 1.0Q / 10;
  IWORD ip = 0, ifail = -1;
  const double tol = 0.1;
  ORVK_LUFACT16(&n, &n, &a, &ip, &ifail, &tol);
  EXPECT_EQ(ifail, 1);
  const QREAL nan = nanq("");
  a = nan;
  ORVK_LUFACT16(&n, &n, &a, &ip, &ifail, &tol);
  EXPECT_EQ(ifail, 1);
}

TEST(Lufact16, InfinitePivotFailsTable) {
  const double tol = 0.0;
  for (const auto& c : infinite_pivot_cases()) {
    std::vector<QREAL> a(c.a.begin(), c.a.end());
    std::vector<IWORD> ip(c.n, 99);
    IWORD ifail = -7;
    ORVK_LUFACT16(&c.n, &c.n, a.data(), ip.data(), &ifail, &tol);
    EXPECT_EQ(ifail, c.ifail16) << c.what;
    EXPECT_EQ(ip, c.ipvt) << c.what;
  }
}

TEST(Lufact16, NegativeToleranceAdmitsNoZeroPivot) {
  const double tol = -1.0;
  for (const auto& c : negative_tolerance_cases()) {
    std::vector<QREAL> a(c.a.begin(), c.a.end());
    std::vector<IWORD> ip(c.n, 99);
    IWORD ifail = -7;
    ORVK_LUFACT16(&c.n, &c.n, a.data(), ip.data(), &ifail, &tol);
    EXPECT_EQ(ifail, c.ifail) << c.what;
    EXPECT_EQ(ip, c.ipvt) << c.what;
  }
}

TEST(Lufact16, HilbertErrorFarBelowDoublePath) {
  const IWORD n = 10;
  // H(i,j) = 1/(i+j-1) and b = H*ones, each formed in its own precision.
  std::vector<QREAL> hq(n * n), bq(n, 0);
  std::vector<double> hd(n * n), bd(n, 0.0);
  for (IWORD j = 1; j <= n; ++j)
    for (IWORD i = 1; i <= n; ++i) {
      hq[(i - 1) + (j - 1) * n] = 1.0Q / (i + j - 1);
      hd[(i - 1) + (j - 1) * n] = 1.0 / static_cast<double>(i + j - 1);
    }
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) {
      bq[i] += hq[i + j * n];
      bd[i] += hd[i + j * n];
    }
  const double tol = 0.0;
  std::vector<IWORD> ipq(n), ipd(n);
  IWORD fq = -1, fd = -1;
  ORVK_LUFACT16(&n, &n, hq.data(), ipq.data(), &fq, &tol);
  ORVK_LUFACT(&n, &n, hd.data(), ipd.data(), &fd, &tol);
  ASSERT_EQ(fq, 0);
  ASSERT_EQ(fd, 0);
  std::vector<QREAL> xq(n);
  std::vector<double> xd(n);
  ORVK_LUSBST16(&n, &n, bq.data(), ipq.data(), hq.data(), xq.data());
  ORVK_LUSBST(&n, &n, bd.data(), ipd.data(), hd.data(), xd.data());
  double eq = 0.0, ed = 0.0;
  for (IWORD i = 0; i < n; ++i) {
    eq = std::max(eq, static_cast<double>(fabsq(xq[i] - 1)));
    ed = std::max(ed, std::fabs(xd[i] - 1.0));
  }
  // cond(H10) is about 1.6e13: double keeps a few digits, binary128 about 20.
  EXPECT_GT(ed, 1e-8);
  EXPECT_LT(eq, 1e-16);
  EXPECT_LT(eq, 1e-8 * ed) << "binary128 error " << eq << ", double error " << ed;
}
#endif

}  // namespace
