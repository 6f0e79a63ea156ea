// ORVK_MC01AD: dense product P = A*B.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "orvika/kernels_dense.h"

namespace {

using Vec = std::vector<double>;
constexpr double kGuard = -321.0;

struct Shape {
  IWORD m, k, n, lda, ldb, ldp;
};

class Mc01adShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(Mc01adShapes, AgainstTripleLoop) {
  const Shape s = GetParam();
  std::mt19937_64 gen(s.m * 100 + s.k * 10 + s.n);
  std::uniform_int_distribution<int> u(-4, 4);  // small integers: exact sums
  Vec a(s.lda * std::max<IWORD>(s.k, 1)), b(s.ldb * s.n), p(s.ldp * s.n, kGuard);
  for (auto& v : a) v = u(gen);
  for (auto& v : b) v = u(gen);
  ORVK_MC01AD(a.data(), b.data(), p.data(), &s.m, &s.k, &s.n, &s.lda, &s.ldb, &s.ldp);
  for (IWORD j = 0; j < s.n; ++j) {
    for (IWORD i = 0; i < s.m; ++i) {
      double t = 0.0;
      for (IWORD l = 0; l < s.k; ++l) t += a[i + l * s.lda] * b[l + j * s.ldb];
      EXPECT_EQ(p[i + j * s.ldp], t);
    }
    for (IWORD i = s.m; i < s.ldp; ++i) EXPECT_EQ(p[i + j * s.ldp], kGuard);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, Mc01adShapes,
                         ::testing::Values(Shape{1, 1, 1, 1, 1, 1}, Shape{3, 2, 4, 3, 2, 5},
                                           Shape{5, 7, 2, 6, 8, 5}, Shape{4, 0, 3, 4, 1, 4},
                                           Shape{17, 9, 11, 20, 9, 17}));

TEST(Mc01ad, EmptyShapesLeavePUntouched) {
  const IWORD zero = 0, two = 2, one = 1;
  Vec a(4, 1.0), b(4, 1.0), p(4, kGuard);
  ORVK_MC01AD(a.data(), b.data(), p.data(), &zero, &two, &two, &two, &two, &two);
  ORVK_MC01AD(a.data(), b.data(), p.data(), &two, &two, &zero, &two, &two, &two);
  ORVK_MC01AD(a.data(), b.data(), p.data(), &two, &two, &two, &one, &two, &two);  // LDA < M
  EXPECT_EQ(p, Vec(4, kGuard));
}

}  // namespace
