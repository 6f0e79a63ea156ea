// ORVK_MB01CD and ORVK_MB01BD: in-place inverse through a compact LU.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dense_test_util.hpp"
#include "orvika/kernels_dense.h"

namespace {

using Vec = std::vector<double>;
constexpr double kGuard = -12345.0;

Vec random_matrix(IWORD lda, IWORD n, unsigned seed) {
  return dense_test::random_matrix(lda, n, seed, kGuard);  // rows n+1..lda hold the guard
}

using dense_test::inverse_ratio;

class Mb01Random : public ::testing::TestWithParam<IWORD> {};

TEST_P(Mb01Random, InverseAndBothEntriesAgree) {
  const IWORD n = GetParam(), lda = n + 2;
  const Vec a0 = random_matrix(lda, n, 900 + static_cast<unsigned>(n));
  Vec c = a0, b = a0;
  std::vector<IWORD> ipvt(n, -1);
  Vec w(n);
  ORVK_MB01CD(c.data(), &n, &lda, ipvt.data(), w.data());
  ORVK_MB01BD(b.data(), &n, &lda);
  EXPECT_LT(inverse_ratio(a0, c, lda, n), 30.0) << "n=" << n;
  EXPECT_EQ(b, c);  // bit for bit, guard rows included
  if (n >= 2)  // order 1 is inverted directly
    for (IWORD k = 0; k < n; ++k) EXPECT_EQ(ipvt[k], k + 1);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = n; i < lda; ++i) EXPECT_EQ(c[i + j * lda], kGuard);
}

// 150 and 700 lie beyond the 100 entries of fixed storage the routine once had.
INSTANTIATE_TEST_SUITE_P(Sizes, Mb01Random, ::testing::Values(1, 2, 3, 5, 10, 50, 150, 700));

TEST(Mb01, EdgeCases) {
  const IWORD one = 1, two = 2;
  IWORD ip1 = 0;
  double w1 = 0;
  double z = 0.0;
  ORVK_MB01CD(&z, &one, &one, &ip1, &w1);
  EXPECT_EQ(z, 0.0);
  ORVK_MB01BD(&z, &one, &one);
  EXPECT_EQ(z, 0.0);
  double f = 4.0;
  ORVK_MB01BD(&f, &one, &one);
  EXPECT_EQ(f, 0.25);

  // Needs a row exchange; exact inverse and IPVT = (1, 2).
  Vec a = {0, 1, 1, 0};
  std::vector<IWORD> ip(2, 0);
  Vec w(2);
  ORVK_MB01CD(a.data(), &two, &two, ip.data(), w.data());
  EXPECT_EQ(a, (Vec{0, 1, 1, 0}));
  EXPECT_EQ(ip, (std::vector<IWORD>{1, 2}));

  Vec p = {0, 2, 0, 0, 0, 3, 1, 0, 0};  // rows (0,0,1),(2,0,0),(0,3,0)
  const IWORD three = 3;
  ORVK_MB01BD(p.data(), &three, &three);
  EXPECT_EQ(p, (Vec{0, 0, 1, 0.5, 0, 0, 0, 1.0 / 3, 0}));
}

TEST(Mb01, NoStateBetweenCalls) {
  // A call that ends with its pivot in the last row, then a matrix whose first
  // column is zero: the search starts at the current row, so no stale row
  // from the earlier call is used and nothing outside the matrix is touched.
  const IWORD n5 = 5, lda5 = 5;
  Vec big = random_matrix(lda5, n5, 3);
  big[4] = 10.0;
  ORVK_MB01BD(big.data(), &n5, &lda5);

  const IWORD n = 2, lda = 4;
  Vec a = {0, 0, kGuard, kGuard, 1, 2, kGuard, kGuard};
  ORVK_MB01BD(a.data(), &n, &lda);
  EXPECT_EQ(a[2], kGuard);
  EXPECT_EQ(a[3], kGuard);
  EXPECT_EQ(a[6], kGuard);
  EXPECT_EQ(a[7], kGuard);

  // The same matrix after a fresh regular call gives the same result.
  Vec again = {0, 0, kGuard, kGuard, 1, 2, kGuard, kGuard};
  Vec reg = random_matrix(3, 3, 4);
  const IWORD n3 = 3;
  ORVK_MB01BD(reg.data(), &n3, &n3);
  ORVK_MB01BD(again.data(), &n, &lda);
  for (size_t k = 0; k < a.size(); ++k)
    EXPECT_TRUE(a[k] == again[k] || (std::isnan(a[k]) && std::isnan(again[k])));

  // A regular matrix gives the same inverse whatever ran before.
  Vec r1 = random_matrix(4, 4, 8), r2 = r1;
  const IWORD n4 = 4;
  ORVK_MB01BD(r1.data(), &n4, &n4);
  Vec sing = {0, 0, 0, 0};
  ORVK_MB01BD(sing.data(), &n, &n);
  ORVK_MB01BD(r2.data(), &n4, &n4);
  EXPECT_EQ(r1, r2);
}

TEST(Mb01, BadArgumentsLeaveTheMatrix) {
  Vec a = {1, 2, 3, 4};
  const IWORD zero = 0, one = 1, two = 2;
  ORVK_MB01BD(a.data(), &zero, &one);
  ORVK_MB01BD(a.data(), &two, &one);
  std::vector<IWORD> ip(2);
  Vec w(2);
  ORVK_MB01CD(a.data(), &two, &one, ip.data(), w.data());
  EXPECT_EQ(a, (Vec{1, 2, 3, 4}));
  // Beyond the stack scratch of ORVK_MB01BD the matrix is left as it is.
  const IWORD n = 1100;
  Vec big(n * n, 0.0);
  for (IWORD i = 0; i < n; ++i) big[i + i * n] = 2.0;
  ORVK_MB01BD(big.data(), &n, &n);
  EXPECT_EQ(big[0], 2.0);
}

}  // namespace
