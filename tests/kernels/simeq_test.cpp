// ORVK_SIMEQ and GAUSEL: Gaussian elimination with normalised pivot rows.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kernels/dense.hpp"
#include "orvika/kernels_dense.h"
#include "support/capture.hpp"
#include "support/sparse.hpp"

namespace {

using Vec = std::vector<double>;
using orvika_test::scaled_residual;

struct System {
  IWORD n, lda;
  Vec a, b, x;
};

System random_system(IWORD n, unsigned seed) {
  System s{n, n + 1, {}, {}, {}};
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  s.a.assign(s.lda * n, 0.0);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) s.a[i + j * s.lda] = u(gen);
  s.x.resize(n);
  for (IWORD i = 0; i < n; ++i) s.x[i] = 1.0 + i % 3;
  s.b.assign(n, 0.0);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) s.b[i] += s.a[i + j * s.lda] * s.x[j];
  return s;
}

class SimeqRandom : public ::testing::TestWithParam<IWORD> {};

TEST_P(SimeqRandom, SolvesAndGauselAgrees) {
  const auto s = random_system(GetParam(), 40 + static_cast<unsigned>(GetParam()));
  auto a = s.a, b = s.b;
  Vec x(s.n);
  ORVK_SIMEQ(a.data(), b.data(), x.data(), &s.n, &s.lda);
  EXPECT_LT(scaled_residual(s.n, s.a.data(), s.lda, x.data(), s.b.data()), 30.0) << "n=" << s.n;

  auto ag = s.a, bg = s.b;
  std::vector<IWORD> tag(s.n);
  for (IWORD i = 0; i < s.n; ++i) tag[i] = 100 + i;
  Vec pivmag(s.n, -1.0);
  IWORD ierr = 42;
  orvika::GAUSEL(s.n, ag.data(), bg.data(), s.lda, tag.data(), pivmag.data(), 6, ierr);
  EXPECT_EQ(ierr, 42);
  EXPECT_LT(scaled_residual(s.n, s.a.data(), s.lda, bg.data(), s.b.data()), 30.0) << "n=" << s.n;
  // Same pivot rows, so the same reduced matrix right of the diagonal.
  for (IWORD j = 0; j < s.n; ++j)
    for (IWORD i = 0; i < j; ++i) EXPECT_DOUBLE_EQ(ag[i + j * s.lda], a[i + j * s.lda]);
  for (IWORD i = 0; i < s.n; ++i) EXPECT_EQ(pivmag[i], std::fabs(a[i + i * s.lda]));
  // The tags are a permutation of the row labels.
  auto sorted = tag;
  std::sort(sorted.begin(), sorted.end());
  for (IWORD i = 0; i < s.n; ++i) EXPECT_EQ(sorted[i], 100 + i);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SimeqRandom, ::testing::Values(1, 2, 3, 5, 10, 50));

TEST(Simeq, EdgeCases) {
  const IWORD one = 1, two = 2;
  {
    Vec a = {4}, b = {2}, x = {0};
    ORVK_SIMEQ(a.data(), b.data(), x.data(), &one, &one);
    EXPECT_EQ(x[0], 0.5);
    EXPECT_EQ(a[0], 4.0);
    EXPECT_EQ(b[0], 2.0);
  }
  {
    Vec a = {0, 1, 1, 0}, b = {2, 3}, x(2);
    ORVK_SIMEQ(a.data(), b.data(), x.data(), &two, &two);
    EXPECT_EQ(x, (Vec{3, 2}));
    EXPECT_EQ(b, (Vec{3, 2}));
  }
  {
    // Equal magnitudes: the upper row stays; rows (1,1),(-1,1).
    Vec a = {1, -1, 1, 1}, b = {2, 0}, x(2);
    ORVK_SIMEQ(a.data(), b.data(), x.data(), &two, &two);
    EXPECT_EQ(a[2], 1.0);  // row 1 normalised by its own pivot 1
    EXPECT_EQ(x, (Vec{1, 1}));
  }
  {
    // All-zero pivot column: row 1 stays the pivot row, only A, B, X touched.
    Vec a = {0, 0, 7, 1, 2, 3, 7, 7}, b = {1, 2}, x = {9, 9};
    const IWORD lda = 4;
    ORVK_SIMEQ(a.data(), b.data(), x.data(), &two, &lda);
    EXPECT_EQ(a[2], 7.0);
    EXPECT_EQ(a[3], 1.0);
    EXPECT_EQ(a[6], 7.0);
    EXPECT_EQ(a[7], 7.0);
    EXPECT_TRUE(!std::isfinite(x[0]) || !std::isfinite(x[1]));
  }
  {
    Vec a = {1, 2, 3, 4}, b = {1, 1}, x = {5, 5};
    const IWORD zero = 0;
    ORVK_SIMEQ(a.data(), b.data(), x.data(), &zero, &two);
    ORVK_SIMEQ(a.data(), b.data(), x.data(), &two, &one);  // LDA < N
    EXPECT_EQ(x, (Vec{5, 5}));
    EXPECT_EQ(a, (Vec{1, 2, 3, 4}));
  }
}

TEST(Gausel, SingularMessageTable) {
  struct Row {
    const char* what;
    IWORD n;
    Vec a;
    IWORD pivmag_set;  // leading PIVMAG entries written
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Row> rows = {
      {"largest magnitude 1e-17 at step 1", 2, {1e-17, -1e-17, 1, 1}, 0},
      {"zero column at step 2", 3, {2, 0, 0, 1, 0, 0, 1, 1, 1}, 1},
      {"last pivot 1e-16", 2, {1, 0, 0, 1e-16}, 1},
      {"NaN pivot", 2, {nan, 1e-20, 0, 1}, 0},
      {"1 x 1 zero", 1, {0.0}, 0},
  };
  for (const auto& r : rows) {
    orvika_test::UnitCapture cap(17);
    auto a = r.a;
    Vec b(r.n, 1.0), pivmag(r.n, -1.0);
    std::vector<IWORD> tag(r.n, 0);
    IWORD ierr = 0;
    orvika::GAUSEL(r.n, a.data(), b.data(), r.n, tag.data(), pivmag.data(), 17, ierr);
    EXPECT_EQ(ierr, 1) << r.what;
    EXPECT_EQ(cap.lines(), std::vector<std::string>{"     SINGULAR MATRIX"}) << r.what;
    for (IWORD i = r.pivmag_set; i < r.n; ++i) EXPECT_EQ(pivmag[i], -1.0) << r.what;
  }
}

TEST(Gausel, WellConditionedThreeByThree) {
  // Rows (2,1,1),(4,-6,0),(-2,7,2); x = (1,2,3).
  const IWORD n = 3;
  Vec a = {2, 4, -2, 1, -6, 7, 1, 0, 2};
  Vec b = {7, -8, 18}, pivmag(3);
  std::vector<IWORD> tag = {11, 22, 33};
  IWORD ierr = -3;
  orvika_test::UnitCapture cap(17);
  orvika::GAUSEL(n, a.data(), b.data(), n, tag.data(), pivmag.data(), 17, ierr);
  EXPECT_EQ(ierr, -3);
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_NEAR(b[0], 1.0, 1e-14);
  EXPECT_NEAR(b[1], 2.0, 1e-14);
  EXPECT_NEAR(b[2], 3.0, 1e-14);
  // Step 1 pivot 4 (row 2); step 2 a tie of 4 and 4 keeps the upper row; then 1.
  EXPECT_EQ(tag[0], 22);
  EXPECT_EQ(pivmag[0], 4.0);
  EXPECT_EQ(pivmag[1], 4.0);
  EXPECT_NEAR(pivmag[2], 1.0, 1e-15);
}

}  // namespace
