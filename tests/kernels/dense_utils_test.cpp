// Dense matrix utilities: identity, packing, products, block operations,
// transposition, trace, in-place inverse and sign-pattern test.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "kernels/dense.hpp"
#include "orvika/kernels_dense.h"

namespace {

using Vec = std::vector<double>;
constexpr double kSentinel = -777.0;

Vec random_vec(size_t n, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  Vec v(n);
  for (auto& x : v) x = u(gen);
  return v;
}

TEST(Mident, IdentityWithoutOffset) {
  const IWORD n = 3, ioff = 0;
  Vec a(9, 5.0);
  ORVK_MIDENT(&n, &ioff, a.data());
  EXPECT_EQ(a, (Vec{1, 0, 0, 0, 1, 0, 0, 0, 1}));
}

TEST(Mident, OffsetIsOneWordOffsetThroughout) {
  // The matrix occupies A(IOFF+1..IOFF+N*N); nothing outside is touched.
  for (IWORD ioff : {1, 2, 5}) {
    const IWORD n = 3;
    Vec a(ioff + 9 + 4, kSentinel);
    ORVK_MIDENT(&n, &ioff, a.data());
    for (IWORD k = 0; k < ioff; ++k) EXPECT_EQ(a[k], kSentinel) << "IOFF " << ioff;
    for (IWORD k = 0; k < 9; ++k) EXPECT_EQ(a[ioff + k], (k % 4 == 0) ? 1.0 : 0.0) << "IOFF " << ioff;
    for (IWORD k = ioff + 9; k < ioff + 13; ++k) EXPECT_EQ(a[k], kSentinel) << "IOFF " << ioff;
  }
}

TEST(Mident, NothingWrittenForBadArguments) {
  Vec a(4, kSentinel);
  const IWORD zero = 0, two = 2, neg = -1;
  ORVK_MIDENT(&zero, &zero, a.data());
  ORVK_MIDENT(&two, &neg, a.data());
  EXPECT_EQ(a, Vec(4, kSentinel));
}

struct PackCase {
  const char* what;
  Vec a;  // 2 x 2, columns
  IWORD mode;
  Vec ap;
};

TEST(Mpack, Table) {
  const std::vector<PackCase> cases = {
      {"symmetric, mode 1", {1, 2, 2, 3}, 1, {1, 2, 3}},
      {"symmetric, mode 2", {1, 2, 2, 3}, 2, {1, 2, 3}},
      {"non-symmetric, mode 1", {1, 5, 2, 3}, 1, {1, 2, 3}},
      {"non-symmetric, mode 2", {1, 5, 2, 3}, 2, {1, 5, 3}},
      {"mode 0", {1, 5, 2, 3}, 0, {0, 0, 0}},
  };
  const IWORD n = 2;
  for (const auto& c : cases) {
    Vec ap(3, kSentinel);
    ORVK_MPACK(&n, c.a.data(), ap.data(), &c.mode);
    EXPECT_EQ(ap, c.ap) << c.what;
  }
}

TEST(Munpak, InverseOfPackForBothModes) {
  const IWORD n = 2, one = 1;
  Vec ap = {1, 2, 3}, a(4, kSentinel);
  ORVK_MUNPAK(&n, ap.data(), a.data(), &one);
  EXPECT_EQ(a, (Vec{1, 2, 2, 3}));

  // Round trip of a symmetric 5 x 5 matrix through both modes.
  const IWORD n5 = 5;
  Vec s(25);
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 5; ++i) s[i + 5 * j] = 1.0 + std::min(i, j) * 10 + std::max(i, j);
  for (IWORD mode : {1, 2}) {
    Vec p(15), back(25, kSentinel);
    ORVK_MPACK(&n5, s.data(), p.data(), &mode);
    ORVK_MUNPAK(&n5, p.data(), back.data(), &mode);
    EXPECT_EQ(back, s) << "mode " << mode;
  }
  // Mode 2 of the lower triangle at i + (j-1)(2N-j)/2.
  Vec p(15);
  const IWORD two = 2;
  ORVK_MPACK(&n5, s.data(), p.data(), &two);
  for (int j = 1; j <= 5; ++j)
    for (int i = j; i <= 5; ++i) EXPECT_EQ(p[i + (j - 1) * (10 - j) / 2 - 1], s[(i - 1) + 5 * (j - 1)]);
  // Other modes leave A alone.
  Vec untouched(25, kSentinel);
  const IWORD three = 3;
  ORVK_MUNPAK(&n5, p.data(), untouched.data(), &three);
  EXPECT_EQ(untouched, Vec(25, kSentinel));
}

TEST(Products, MtvmulAndMrvmulAgainstLoops) {
  const IWORD m = 4, n = 3;  // A: n rows, m columns for MTVMUL
  const Vec a = random_vec(2 + m * n, 1), x = random_vec(1 + n, 2);
  Vec y(3 + m, kSentinel);
  orvika::MTVMUL(m, n, 2, a.data(), 1, x.data(), 3, y.data());
  for (IWORD i = 1; i <= m; ++i) {
    double s = 0.0;
    for (IWORD k = 1; k <= n; ++k) s += a[2 + (i - 1) * n + k - 1] * x[1 + k - 1];
    EXPECT_DOUBLE_EQ(y[3 + i - 1], s);
  }
  for (int k = 0; k < 3; ++k) EXPECT_EQ(y[k], kSentinel);

  // y = A x on the 3 x 2 block at (IOA, JOA) = (1, 2) of a 6 x 5 array.
  const IWORD lda = 6;
  const Vec b = random_vec(30, 3), xb = random_vec(4, 4);
  Vec yb(5, kSentinel);
  orvika::MRVMUL(3, 2, lda, 1, 2, b.data(), 2, xb.data(), 1, yb.data());
  for (IWORD i = 1; i <= 3; ++i) {
    const double s = b[(1 + i - 1) + (2 + 1 - 1) * lda] * xb[2] + b[(1 + i - 1) + (2 + 2 - 1) * lda] * xb[3];
    EXPECT_DOUBLE_EQ(yb[i], s);
  }
  EXPECT_EQ(yb[0], kSentinel);
  EXPECT_EQ(yb[4], kSentinel);
  Vec yz(3, kSentinel);
  orvika::MRVMUL(3, 0, lda, 0, 0, b.data(), 0, xb.data(), 0, yz.data());
  EXPECT_EQ(yz, Vec(3, 0.0));
}

TEST(Products, Mrmult) {
  const double a = 2.0, b = 3.0;
  Vec c(2, kSentinel);
  orvika::MRMULT(1, 1, 0, &a, 1, 0, &b, 0, c.data());
  EXPECT_EQ(c[0], 6.0);
  c.assign(2, kSentinel);
  orvika::MRMULT(1, 1, 0, &a, 1, 0, &b, 1, c.data());
  EXPECT_EQ(c[0], kSentinel);
  EXPECT_EQ(c[1], 6.0);
  // C (2x2) = B (2x3) * A (3x2).
  const Vec bm = {1, 4, 2, 5, 3, 6}, am = {1, 0, 2, 0, 1, 1};
  Vec cm(4);
  orvika::MRMULT(2, 3, 0, am.data(), 2, 0, bm.data(), 0, cm.data());
  EXPECT_EQ(cm, (Vec{7, 16, 5, 11}));
}

TEST(Blocks, AddCopyZeroScale) {
  const IWORD lda = 4, ldb = 3, ldc = 5;
  const Vec a = random_vec(16, 5), b = random_vec(12, 6);
  Vec c(25, kSentinel);
  orvika::MRADD(2, 3, 2.0, lda, 1, 0, a.data(), -1.0, ldb, 0, 1, b.data(), ldc, 2, 1, c.data());
  int written = 0;
  for (IWORD j = 1; j <= 3; ++j)
    for (IWORD i = 1; i <= 2; ++i) {
      EXPECT_EQ(c[(2 + i - 1) + (1 + j - 1) * ldc],
                2.0 * a[(1 + i - 1) + (j - 1) * lda] - b[(i - 1) + (1 + j - 1) * ldb]);
      ++written;
    }
  EXPECT_EQ(25 - written, std::count(c.begin(), c.end(), kSentinel));

  Vec d(20, kSentinel);
  orvika::MRCOPY(2, 2, lda, 2, 1, a.data(), 5, 1, 2, d.data());
  for (IWORD j = 1; j <= 2; ++j)
    for (IWORD i = 1; i <= 2; ++i)
      EXPECT_EQ(d[(1 + i - 1) + (2 + j - 1) * 5], a[(2 + i - 1) + (1 + j - 1) * lda]);
  EXPECT_EQ(16, std::count(d.begin(), d.end(), kSentinel));

  Vec z(12, 1.0);
  orvika::MRZERO(4, 2, 1, 2, 1, z.data());  // rows 2..3 of columns 2..3
  EXPECT_EQ(z, (Vec{1, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1}));

  Vec s(7, kSentinel);
  const Vec sa = {1, 2, 3, 4, 5, 6, 7};
  orvika::MRSCAL(2, 3, 1, sa.data(), -2.0, 0, s.data());
  EXPECT_EQ(s, (Vec{-4, -6, -8, -10, -12, -14, kSentinel}));
}

TEST(Mrtran, WritesOnlyTheTargetBlock) {
  // A: N = 2 rows, M = 3 columns after IOA = 1; B: 3 x 2 after IOB = 4.
  const Vec a = {9, 1, 2, 3, 4, 5, 6};
  Vec b(4 + 6 + 2, kSentinel);
  orvika::MRTRAN(3, 2, 1, a.data(), 4, b.data());
  for (int k = 0; k < 4; ++k) EXPECT_EQ(b[k], kSentinel);
  EXPECT_EQ(Vec(b.begin() + 4, b.begin() + 10), (Vec{1, 3, 5, 2, 4, 6}));
  EXPECT_EQ(b[10], kSentinel);
  EXPECT_EQ(b[11], kSentinel);
}

TEST(Mvcopy, BothDirectionsAndOtherModes) {
  const IWORD lda = 4;
  Vec v = {0, 1, 2, 3, 4, 5, 6};  // IOFF = 1: rows (1,2,3), (4,5,6)
  Vec a(12, kSentinel);
  orvika::MVCOPY(2, 3, 1, v.data(), 1, 0, lda, a.data(), 1);
  EXPECT_EQ(a, (Vec{kSentinel, 1, 4, kSentinel, kSentinel, 2, 5, kSentinel, kSentinel, 3, 6,
                    kSentinel}));
  Vec w(7, kSentinel);
  orvika::MVCOPY(2, 3, 1, w.data(), 1, 0, lda, a.data(), 2);
  EXPECT_EQ(w, (Vec{kSentinel, 1, 2, 3, 4, 5, 6}));
  Vec u(7, kSentinel);
  orvika::MVCOPY(2, 3, 1, u.data(), 1, 0, lda, a.data(), 3);
  EXPECT_EQ(u, Vec(7, kSentinel));
}

TEST(Trprod, TraceOfProduct) {
  const Vec a = {1, 2, 3, 4, 0}, b = {5, 6, 7, 8};  // A with LDA 2 (extra word unused)
  double t = -1;
  orvika::TRPROD(2, 2, a.data(), 2, b.data(), t);
  // trace(A*B) with A = [[1,3],[2,4]], B = [[5,7],[6,8]]: 1*5+3*6 + 2*7+4*8
  EXPECT_EQ(t, 5 + 18 + 14 + 32);
  orvika::TRPROD(0, 2, a.data(), 2, b.data(), t);
  EXPECT_EQ(t, 0.0);
}

TEST(Mrinv, InverseWithoutPivoting) {
  Vec a = {4, 2, 7, 6};
  orvika::MRINV(2, a.data());
  EXPECT_NEAR(a[0], 0.6, 1e-15);
  EXPECT_NEAR(a[1], -0.2, 1e-15);
  EXPECT_NEAR(a[2], -0.7, 1e-15);
  EXPECT_NEAR(a[3], 0.4, 1e-15);

  // A diagonally dominant 6 x 6 matrix: A * A^-1 = I.
  const IWORD n = 6;
  Vec m = random_vec(n * n, 9);
  for (IWORD i = 0; i < n; ++i) m[i + i * n] += 8.0;
  Vec inv = m;
  orvika::MRINV(n, inv.data());
  for (IWORD i = 0; i < n; ++i)
    for (IWORD j = 0; j < n; ++j) {
      double s = 0.0;
      for (IWORD k = 0; k < n; ++k) s += m[i + k * n] * inv[k + j * n];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-14);
    }
  // No pivot search: a zero pivot yields infinities.
  Vec z = {0, 1, 1, 0};
  orvika::MRINV(2, z.data());
  EXPECT_TRUE(std::isinf(z[0]) || std::isnan(z[0]));
}

TEST(Msgnck, SignPattern) {
  struct Row {
    Vec a;
    bool expect;
  };
  const std::vector<Row> rows = {{{2, -1, 0, 3}, true},  {{2, -1, 1, 3}, false},
                                 {{-1, 0, 0, 1}, false}, {{0, 0, 0, 0}, true},
                                 {{1, NAN, 0, 1}, false}};
  for (const auto& r : rows) {
    LWORD l = 12345;
    orvika::MSGNCK(2, r.a.data(), l);
    EXPECT_EQ(l, r.expect ? ORVK_TRUE : ORVK_FALSE);
  }
  LWORD l = 0;
  orvika::MSGNCK(0, nullptr, l);
  EXPECT_EQ(l, ORVK_TRUE);
}

}  // namespace
