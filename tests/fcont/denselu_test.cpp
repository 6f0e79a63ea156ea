// Dense LU and vector kernels of the continuation solver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "fcont/fcont_parts.hpp"
#include "support/sparse.hpp"

#ifdef ORVIKA_HAVE_LAPACK
extern "C" void dgesv_(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv,
                       double* b, const int* ldb, int* info);
#endif

namespace {

using IWORD = ::IWORD;
constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kEpsMch = 1e-16;  // default pivot-floor base
constexpr double kSingt = 1e-16;

// Deterministic pseudo-random numbers in [-1, 1).
struct Lcg {
  std::uint64_t s;
  double next() {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(s >> 11) * 0x1.0p-52 - 1.0;
  }
};

// Column-major matrix with leading dimension ld.
struct Dense {
  IWORD n, ld;
  std::vector<double> a;
  Dense(IWORD n_, IWORD ld_) : n(n_), ld(ld_), a(static_cast<size_t>(ld_ * n_), 0.0) {}
  double& operator()(IWORD i, IWORD j) { return a[(i - 1) + (j - 1) * ld]; }
  double operator()(IWORD i, IWORD j) const { return a[(i - 1) + (j - 1) * ld]; }
};

Dense random_matrix(IWORD n, IWORD ld, std::uint64_t seed) {
  Dense m(n, ld);
  Lcg g{seed};
  for (IWORD j = 1; j <= n; ++j)
    for (IWORD i = 1; i <= ld; ++i) m(i, j) = g.next();
  return m;
}

// Catalogue: sizes 1, 2, 3, 5, 10, 50, with a leading dimension larger than N.
TEST(FcontDenseLu, SolvesRandomSystemsToSmallResidual) {
  for (IWORD n : {1, 2, 3, 5, 10, 50}) {
    const IWORD ld = n + 3;
    const Dense a0 = random_matrix(n, ld, 17 + static_cast<std::uint64_t>(n));
    Dense a = a0;
    std::vector<double> xtrue(n), b(n, 0.0);
    for (IWORD j = 1; j <= n; ++j) xtrue[j - 1] = 1.0 + 0.1 * static_cast<double>(j);
    for (IWORD i = 1; i <= n; ++i)
      for (IWORD j = 1; j <= n; ++j) b[i - 1] += a0(i, j) * xtrue[j - 1];
    std::vector<IWORD> ipvt(n, -7);
    orvika::fcont_lufact(n, ld, a.a.data(), ipvt.data(), kSingt, kEpsMch);
    EXPECT_EQ(ipvt[n - 1], 0) << "n=" << n;
    for (IWORD j = 1; j < n; ++j) {
      EXPECT_GE(ipvt[j - 1], j);
      EXPECT_LE(ipvt[j - 1], n);
    }
    // Rows below N of the leading dimension are never touched.
    for (IWORD j = 1; j <= n; ++j)
      for (IWORD i = n + 1; i <= ld; ++i) EXPECT_EQ(a(i, j), a0(i, j));
    std::vector<double> x = b;
    orvika::fcont_lusolve(n, ipvt.data(), ld, a.a.data(), x.data());
    const double ratio = orvika_test::scaled_residual(n, a0.a.data(), ld, x.data(), b.data());
    EXPECT_LT(ratio, 30.0) << "n=" << n;
  }
}

// P A = L U with the interchanges applied in order.
TEST(FcontDenseLu, FactorsReproducePermutedMatrix) {
  const IWORD n = 6, ld = 6;
  const Dense a0 = random_matrix(n, ld, 99);
  Dense f = a0;
  std::vector<IWORD> ipvt(n);
  orvika::fcont_lufact(n, ld, f.a.data(), ipvt.data(), kSingt, kEpsMch);
  Dense pa = a0;
  for (IWORD k = 1; k < n; ++k)
    for (IWORD j = 1; j <= n; ++j) std::swap(pa(k, j), pa(ipvt[k - 1], j));
  for (IWORD i = 1; i <= n; ++i) {
    for (IWORD j = 1; j <= n; ++j) {
      double s = 0.0;
      for (IWORD k = 1; k <= std::min(i, j); ++k) s += (k == i ? 1.0 : f(i, k)) * f(k, j);
      EXPECT_NEAR(s, pa(i, j), 50 * kEps) << i << "," << j;
    }
  }
  // Partial pivoting keeps every multiplier at most 1 in magnitude.
  for (IWORD j = 1; j <= n; ++j)
    for (IWORD i = j + 1; i <= n; ++i) EXPECT_LE(std::fabs(f(i, j)), 1.0);
}

#ifdef ORVIKA_HAVE_LAPACK
TEST(FcontDenseLu, AgreesWithLapackSolve) {
  for (IWORD n : {4, 20, 40}) {
    const Dense a0 = random_matrix(n, n, 5 + static_cast<std::uint64_t>(n));
    std::vector<double> b(n);
    Lcg g{123};
    for (auto& v : b) v = g.next();
    Dense a = a0;
    std::vector<IWORD> ipvt(n);
    std::vector<double> x = b;
    orvika::fcont_lufact(n, n, a.a.data(), ipvt.data(), kSingt, kEpsMch);
    orvika::fcont_lusolve(n, ipvt.data(), n, a.a.data(), x.data());
    Dense r = a0;
    std::vector<double> xr = b;
    std::vector<int> piv(n);
    const int in = static_cast<int>(n), one = 1;
    int info = -1;
    dgesv_(&in, &one, r.a.data(), &in, piv.data(), xr.data(), &in, &info);
    ASSERT_EQ(info, 0);
    double xn = 0.0;
    for (double v : xr) xn = std::max(xn, std::fabs(v));
    for (IWORD i = 0; i < n; ++i) EXPECT_NEAR(x[i], xr[i], 1e-10 * xn) << "n=" << n;
    // Same pivot rows as the reference partial pivoting.
    for (IWORD j = 1; j < n; ++j) EXPECT_EQ(ipvt[j - 1], piv[j - 1]) << "n=" << n;
  }
}
#endif

TEST(FcontDenseLu, FirstOfEqualPivotCandidatesWins) {
  // Column 1 holds -2 in row 2 and 2 in row 3: equal magnitudes, row 2 chosen.
  Dense a(3, 3);
  const double v[3][3] = {{1, 0, 1}, {-2, 1, 0}, {2, 3, 1}};
  for (IWORD i = 1; i <= 3; ++i)
    for (IWORD j = 1; j <= 3; ++j) a(i, j) = v[i - 1][j - 1];
  std::vector<IWORD> ipvt(3);
  orvika::fcont_lufact(3, 3, a.a.data(), ipvt.data(), kSingt, kEpsMch);
  EXPECT_EQ(ipvt[0], 2);
}

TEST(FcontDenseLu, SingularMatrixIsCountedAndStaysFinite) {
  // Zero second column: the second pivot is 0 and becomes +16 EPSMCH.
  Dense a(3, 3);
  const double v[3][3] = {{2, 0, 1}, {1, 0, 3}, {4, 0, 5}};
  for (IWORD i = 1; i <= 3; ++i)
    for (IWORD j = 1; j <= 3; ++j) a(i, j) = v[i - 1][j - 1];
  std::vector<IWORD> ipvt(3);
  orvika::fcont_lufact(3, 3, a.a.data(), ipvt.data(), kSingt, kEpsMch);
  EXPECT_EQ(ipvt[2], 1);
  EXPECT_EQ(a(2, 2), 16 * kEpsMch);
  std::vector<double> b = {1, 2, 3};
  orvika::fcont_lusolve(3, ipvt.data(), 3, a.a.data(), b.data());
  for (double x : b) EXPECT_TRUE(std::isfinite(x));
}

TEST(FcontDenseLu, TinyNegativePivotIsCountedAndFloored) {
  // After step 1 the (2,2) entry is -1e-17; the multiplier below it uses it.
  Dense a(3, 3);
  const double v[3][3] = {{1, 0, 0}, {0, -1e-17, 0}, {0, -1e-18, 1}};
  for (IWORD i = 1; i <= 3; ++i)
    for (IWORD j = 1; j <= 3; ++j) a(i, j) = v[i - 1][j - 1];
  std::vector<IWORD> ipvt(3);
  orvika::fcont_lufact(3, 3, a.a.data(), ipvt.data(), 2e-17, 1e-16);
  EXPECT_EQ(ipvt[2], 1);
  EXPECT_EQ(a(2, 2), -1.6e-15);
  EXPECT_EQ(a(3, 2), -1e-18 * (1.0 / -1e-17));
  // With SINGT below the pivot magnitude it is floored but not counted.
  for (IWORD i = 1; i <= 3; ++i)
    for (IWORD j = 1; j <= 3; ++j) a(i, j) = v[i - 1][j - 1];
  orvika::fcont_lufact(3, 3, a.a.data(), ipvt.data(), 1e-18, 1e-16);
  EXPECT_EQ(ipvt[2], 0);
  EXPECT_EQ(a(2, 2), -1.6e-15);
}

TEST(FcontDenseLu, OrderOne) {
  struct Case {
    double a, singt;
    IWORD count;
    double pivot;
  };
  const Case cases[] = {
      {4.0, 1e-16, 0, 4.0}, {0.0, 1e-16, 1, 1.6e-15}, {-1e-20, 1e-16, 1, -1.6e-15}};
  for (const Case& c : cases) {
    double a = c.a;
    IWORD ipvt = -5;
    orvika::fcont_lufact(1, 1, &a, &ipvt, c.singt, 1e-16);
    EXPECT_EQ(ipvt, c.count);
    EXPECT_EQ(a, c.pivot);
    double b = 2.0;
    orvika::fcont_lusolve(1, &ipvt, 1, &a, &b);
    EXPECT_EQ(b, 2.0 / c.pivot);
  }
}

TEST(FcontDenseLu, EmptyAndTooSmallLeadingDimension) {
  IWORD ipvt[3] = {-1, -1, -1};
  double a[6] = {1, 2, 3, 4, 5, 6};
  orvika::fcont_lufact(0, 1, a, ipvt, kSingt, kEpsMch);
  EXPECT_EQ(ipvt[0], -1);  // nothing written
  // LDA 2 < N 3: the matrix is not read; every pivot counts as unusable.
  orvika::fcont_lufact(3, 2, a, ipvt, kSingt, kEpsMch);
  EXPECT_EQ(ipvt[0], 1);
  EXPECT_EQ(ipvt[1], 2);
  EXPECT_EQ(ipvt[2], 3);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(a[i], i + 1);
}

TEST(FcontDenseLu, MultiplyByFactorsReproducesMatrixAndTranspose) {
  for (IWORD n : {1, 2, 5, 9}) {
    const IWORD ld = n + 1;
    const Dense a0 = random_matrix(n, ld, 31 + static_cast<std::uint64_t>(n));
    Dense f = a0;
    std::vector<IWORD> ipvt(n);
    orvika::fcont_lufact(n, ld, f.a.data(), ipvt.data(), kSingt, kEpsMch);
    std::vector<double> x(n), y(n);
    Lcg g{7};
    for (auto& v : x) v = g.next();
    for (bool trans : {false, true}) {
      orvika::fcont_lumult(trans ? ORVK_TRUE : ORVK_FALSE, n, ipvt.data(), f.a.data(), ld,
                           x.data(), y.data());
      for (IWORD i = 1; i <= n; ++i) {
        double s = 0.0;
        for (IWORD j = 1; j <= n; ++j) s += (trans ? a0(j, i) : a0(i, j)) * x[j - 1];
        EXPECT_NEAR(y[i - 1], s, 1e-13) << "n=" << n << " trans=" << trans;
      }
    }
  }
}

TEST(FcontDenseLu, InterchangesOnIntegerVectorAreUndone) {
  const IWORD ipvt[5] = {3, 2, 5, 5, 0};
  IWORD iv[5] = {10, 20, 30, 40, 50};
  orvika::fcont_iperm(ORVK_FALSE, 5, ipvt, iv);
  const IWORD fwd[5] = {30, 20, 50, 10, 40};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(iv[i], fwd[i]);
  orvika::fcont_iperm(ORVK_TRUE, 5, ipvt, iv);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(iv[i], 10 * (i + 1));
}

// Unpivoted factors of L U + p q^T, checked by multiplying them out.
TEST(FcontDenseLu, RankOneUpdateOfFactors) {
  const IWORD n = 5;
  Dense lu(n, n);
  Lcg g{11};
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD j = 1; j <= n; ++j) lu(i, j) = (i == j) ? 3.0 + g.next() : 0.3 * g.next();
  auto product = [&](const Dense& f) {
    Dense m(n, n);
    for (IWORD i = 1; i <= n; ++i)
      for (IWORD j = 1; j <= n; ++j) {
        double s = 0.0;
        for (IWORD k = 1; k <= std::min(i, j); ++k) s += (k == i ? 1.0 : f(i, k)) * f(k, j);
        m(i, j) = s;
      }
    return m;
  };
  const Dense a0 = product(lu);
  std::vector<double> p(n), q(n);
  for (auto& v : p) v = 0.5 * g.next();
  for (auto& v : q) v = 0.5 * g.next();
  const std::vector<double> p0 = p, q0 = q;
  orvika::fcont_luupdate(n, p.data(), q.data(), lu.a.data(), n, kEpsMch);
  const Dense a1 = product(lu);
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD j = 1; j <= n; ++j)
      EXPECT_NEAR(a1(i, j), a0(i, j) + p0[i - 1] * q0[j - 1], 1e-13) << i << "," << j;
}

TEST(FcontDenseLu, EuclideanNormWithRescaling) {
  struct Case {
    std::vector<double> x;
    double expect;
  };
  const Case cases[] = {
      {{3.0, 4.0}, 5.0},
      {{0.0, 0.0, 0.0}, 0.0},
      {{3e200, -4e200}, 5e200},        // squares would overflow
      {{3e-200, 4e-200}, 5e-200},      // squares would underflow to 0
      {{1e20, 0.0}, 1e20},             // at the threshold: plain sum
      {{-2.0}, 2.0},
  };
  for (const Case& c : cases) {
    const double v = orvika::fcont_l2norm(static_cast<IWORD>(c.x.size()), c.x.data());
    EXPECT_NEAR(v, c.expect, 4 * kEps * c.expect);
    EXPECT_TRUE(std::isfinite(v));
  }
  const double x[2] = {1.0, 2.0};
  EXPECT_EQ(orvika::fcont_l2norm(0, x), 0.0);
  EXPECT_EQ(orvika::fcont_l2norm(-3, x), 0.0);
  // An entry that is not a number makes the norm not a number; a vector of
  // such entries is no zero vector.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> with_nan[] = {{nan}, {nan, nan}, {1.0, nan}, {nan, 1e30}, {0.0, nan}};
  for (const std::vector<double>& v : with_nan)
    EXPECT_TRUE(std::isnan(orvika::fcont_l2norm(static_cast<IWORD>(v.size()), v.data())));
}

TEST(FcontDenseLu, SmallVectorKernels) {
  const double x[4] = {1.0, -2.0, 3.0, -4.0};
  const double y[4] = {2.0, 1.0, 0.5, 0.25};
  EXPECT_EQ(orvika::fcont_inner(4, x, y), 2.0 - 2.0 + 1.5 - 1.0);
  EXPECT_EQ(orvika::fcont_inner(0, x, y), 0.0);
  EXPECT_EQ(orvika::fcont_abssum(4, x), 10.0);
  EXPECT_EQ(orvika::fcont_abssum(-1, x), 0.0);
  EXPECT_EQ(orvika::fcont_absmax(4, x), 4.0);
  EXPECT_EQ(orvika::fcont_absmax(0, x), 0.0);

  struct Scale {
    IWORD mode, flag;
    double expect[4];
  };
  const Scale scales[] = {
      {1, 0, {1.0, -2.0, 3.0, -4.0}},
      {1, 1, {0.5, -2.0, 6.0, -16.0}},
      {2, 1, {2.0, -2.0, 1.5, -1.0}},
  };
  for (const Scale& s : scales) {
    double out[4] = {};
    orvika::fcont_elemscale(s.mode, 4, x, s.flag, y, out);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], s.expect[i]);
  }
  double out[4] = {};
  orvika::fcont_scalecopy(4, x, -0.5, out);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], -0.5 * x[i]);
  const double special[3] = {-0.0, std::numeric_limits<double>::quiet_NaN(), 1e-310};
  double copy[3] = {};
  orvika::fcont_vcopy(3, special, copy);
  EXPECT_TRUE(std::signbit(copy[0]));
  EXPECT_TRUE(std::isnan(copy[1]));
  EXPECT_EQ(copy[2], 1e-310);
}

}  // namespace
