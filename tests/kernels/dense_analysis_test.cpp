// Dense analysis routines: Gram-Schmidt completion, reduced matrix on a
// null-space basis, null-space projection, splitting and positivity checks
// and the active-row matrix.
#include "kernels/dense_analysis.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "orvika/qp.h"
#include "support/capture.hpp"

namespace {

constexpr IWORD kUnit = 6;
constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kTolFactor = 100.0;  // multiples of eps * n for the identities

using Mat = std::vector<double>;  // column-major, n x n unless stated

Mat random_mat(std::mt19937_64& rng, IWORD rows, IWORD cols) {
  std::uniform_real_distribution<double> u(-1, 1);
  Mat m(rows * cols);
  for (auto& e : m) e = u(rng);
  return m;
}

double col_dot(const Mat& a, IWORD n, IWORD i, IWORD j) {
  double s = 0;
  for (IWORD r = 0; r < n; ++r) s += a[(i - 1) * n + r] * a[(j - 1) * n + r];
  return s;
}

TEST(Grmsch, TwoByTwoExampleAndItsDumps) {
  const double b[4] = {1, 0, 1, 1};
  double bn[4] = {0, 0, 0, 0};
  orvika_test::UnitCapture cap(kUnit);
  orvika::GRMSCH(2, 1, b, bn, kUnit, 3);
  EXPECT_EQ(bn[0], 1.0);
  EXPECT_EQ(bn[1], 0.0);
  EXPECT_EQ(bn[2], 0.0);
  EXPECT_EQ(bn[3], 1.0);
  EXPECT_EQ(cap.text(),
            "\n  BASISN    \n     1.00000D+00  0.00000D+00\n"
            "\n   BNI      \n     1.00000D+00  1.00000D+00\n"
            "\n   ALPH     \n     1.00000D+00\n"
            "\n   BNI      \n     0.00000D+00  1.00000D+00\n");
}

TEST(Grmsch, FullBasisIsCopiedWithOneDump) {
  std::mt19937_64 rng(1);
  const Mat b = random_mat(rng, 3, 3);
  Mat bn(9, 0.0);
  orvika_test::UnitCapture cap(kUnit);
  orvika::GRMSCH(3, 3, b.data(), bn.data(), kUnit, 3);
  EXPECT_EQ(bn, b);
  ASSERT_EQ(cap.lines().size(), 4u);  // empty, label, 5 values, 4 values
  EXPECT_EQ(cap.lines()[1], "  BASISN    ");
  cap.clear();
  orvika::GRMSCH(3, 3, b.data(), bn.data(), kUnit, 2);
  EXPECT_TRUE(cap.lines().empty());
}

TEST(Grmsch, CompletedColumnsAreOrthogonal) {
  std::mt19937_64 rng(2);
  for (IWORD n : {1, 2, 3, 6}) {
    for (IWORD m : {IWORD{0}, IWORD{1}}) {
      if (m > n) continue;
      const Mat b = random_mat(rng, n, n);
      Mat bn(n * n);
      orvika::GRMSCH(n, m, b.data(), bn.data(), kUnit, 0);
      for (IWORD i = 1; i <= n; ++i)
        for (IWORD j = 1; j < i; ++j)
          EXPECT_LE(std::fabs(col_dot(bn, n, i, j)),
                    1e3 * kEps * std::sqrt(col_dot(bn, n, i, i) * col_dot(bn, n, j, j)))
              << n << " " << m << " (" << i << "," << j << ")";
      // Span is kept: column n of B is BN(:,n) plus a combination of the earlier ones.
      for (IWORD r = 0; r < n * m; ++r) EXPECT_EQ(bn[r], b[r]);
    }
  }
}

// A zero column has no direction: it adds nothing to the later columns and
// is not normalised, so no 0/0 reaches the results.
TEST(Grmsch, ZeroColumnGivesZeroCoefficient) {
  const double b[4] = {0, 0, 1, 1};
  double bn[4] = {9, 9, 9, 9};
  orvika::GRMSCH(2, 1, b, bn, kUnit, 0);
  EXPECT_EQ(Mat(bn, bn + 4), (Mat{0, 0, 1, 1}));

  const double a[4] = {1, 0, 0, 1}, b2[4] = {0, 0, 3, 4};
  double bn2[4], p[4], ap[4];
  orvika::REDHES(2, 0, 2, a, 1, p, b2, bn2, ap, kUnit, 0);
  EXPECT_EQ(Mat(bn2, bn2 + 4), (Mat{0, 0, 0.6, 0.8}));
  EXPECT_EQ(Mat(ap, ap + 4), (Mat{0, 0.6, 0, 0.8}));  // Z^T A, 2 x 2 by columns
  EXPECT_EQ(Mat(p, p + 4), (Mat{0, 0, 0, 0.6 * 0.6 + 0.8 * 0.8}));
}

TEST(Redhes, ReducedMatrixOnNullSpaceBasis) {
  // For 1 < NZ < N the transposed basis must be stored and read alike:
  // P(1..NZ*NZ) = Z^T A Z and AP = Z^T A with Z the normalised last NZ
  // columns of the completed basis.
  std::mt19937_64 rng(3);
  for (auto [n, nz, m] : {std::tuple<IWORD, IWORD, IWORD>{4, 2, 1}, {5, 3, 0}, {6, 2, 2},
                          {3, 1, 1}, {3, 3, 0}, {1, 1, 0}}) {
    const Mat a = random_mat(rng, n, n);
    const Mat b = random_mat(rng, n, n);
    Mat bn(n * n), p(n * nz, -9.0), ap(n * nz, -9.0);
    orvika::REDHES(n, 0, nz, a.data(), m, p.data(), b.data(), bn.data(), ap.data(), kUnit, 0);
    // Reference: complete and normalise independently.
    Mat z(n * nz);
    Mat ref(n * n);
    orvika::GRMSCH(n, m, b.data(), ref.data(), kUnit, 0);
    const IWORD k = n - nz;
    for (IWORD c = 1; c <= nz; ++c) {
      const double nrm = std::sqrt(col_dot(ref, n, k + c, k + c));
      for (IWORD i = 0; i < n; ++i) z[(c - 1) * n + i] = ref[(k + c - 1) * n + i] / nrm;
    }
    for (IWORD r = 1; r <= nz; ++r)
      for (IWORD i = 1; i <= n; ++i) {
        double s = 0;
        for (IWORD q = 1; q <= n; ++q) s += z[(r - 1) * n + q - 1] * a[(i - 1) * n + q - 1];
        EXPECT_NEAR(ap[(i - 1) * nz + r - 1], s, kTolFactor * n * kEps) << "AP " << n << "," << nz;
      }
    for (IWORD r = 1; r <= nz; ++r)
      for (IWORD c = 1; c <= nz; ++c) {
        double s = 0;
        for (IWORD i = 1; i <= n; ++i)
          for (IWORD q = 1; q <= n; ++q)
            s += z[(r - 1) * n + q - 1] * a[(i - 1) * n + q - 1] * z[(c - 1) * n + i - 1];
        EXPECT_NEAR(p[(c - 1) * nz + r - 1], s, kTolFactor * n * n * kEps)
            << "PTAP " << n << "," << nz << " (" << r << "," << c << ")";
      }
  }
}

TEST(Redhes, DumpLabelsInOrder) {
  const IWORD n = 2, nz = 1;
  const double a[4] = {2, 0, 0, 3}, b[4] = {1, 0, 1, 1};
  double bn[4], p[2], ap[2];
  orvika_test::UnitCapture cap(kUnit);
  orvika::REDHES(n, 0, nz, a, 1, p, b, bn, ap, kUnit, 3);
  std::vector<std::string> labels;
  for (size_t i = 1; i < cap.lines().size(); ++i)
    if (cap.lines()[i - 1].empty()) labels.push_back(cap.lines()[i]);
  EXPECT_EQ(labels, (std::vector<std::string>{"  BASISN    ", "   BNI      ", "   ALPH     ",
                                              "   BNI      ", "   PN       ", "   PN       ",
                                              "   AP       ", "   PTAP     "}));
  EXPECT_EQ(p[0], 3.0);  // Z = e2: Z^T A Z = A(2,2)
}

TEST(Prjmat, ExampleOneRow) {
  const double g[2] = {1, 1}, v[2] = {1, 0};
  double pv[2], w1[4], w2[1], p[4];
  orvika::PRJMAT(1, g, 2, v, pv, w1, w2, p);
  EXPECT_EQ((std::vector<double>(p, p + 4)), (std::vector<double>{0.5, -0.5, -0.5, 0.5}));
  EXPECT_EQ(pv[0], 0.5);
  EXPECT_EQ(pv[1], -0.5);
}

TEST(Prjmat, ProjectionIdentities) {
  std::mt19937_64 rng(4);
  for (auto [m, n] : {std::pair<IWORD, IWORD>{1, 1}, {1, 4}, {2, 5}, {3, 3}, {4, 9}}) {
    const Mat g = random_mat(rng, m, n);  // row l at g[(l-1) n ..]
    const Mat v = random_mat(rng, n, 1);
    Mat pv(n), w1(n * n), w2(m * m), p(n * n);
    orvika::PRJMAT(m, g.data(), n, v.data(), pv.data(), w1.data(), w2.data(), p.data());
    const double tol = kTolFactor * n * kEps * 10;
    auto P = [&](IWORD i, IWORD j) { return p[(j - 1) * n + i - 1]; };
    for (IWORD i = 1; i <= n; ++i)
      for (IWORD j = 1; j <= n; ++j) {
        EXPECT_NEAR(P(i, j), P(j, i), tol) << "symmetric";
        double pp = 0;
        for (IWORD k = 1; k <= n; ++k) pp += P(i, k) * P(k, j);
        EXPECT_NEAR(pp, P(i, j), tol) << "idempotent";
      }
    for (IWORD l = 1; l <= m; ++l)
      for (IWORD j = 1; j <= n; ++j) {
        double s = 0;
        for (IWORD k = 1; k <= n; ++k) s += g[(l - 1) * n + k - 1] * P(k, j);
        EXPECT_NEAR(s, 0.0, tol) << "G P = 0";
      }
    for (IWORD i = 1; i <= n; ++i) {
      double s = 0;
      for (IWORD k = 1; k <= n; ++k) s += P(i, k) * v[k - 1];
      EXPECT_NEAR(pv[i - 1], s, tol);
    }
    // Trace of a projection onto an (n - m)-dimensional space.
    double tr = 0;
    for (IWORD i = 1; i <= n; ++i) tr += P(i, i);
    EXPECT_NEAR(tr, static_cast<double>(n - m), tol * n);
  }
}

TEST(Wrsplt, OneByOneCases) {
  {
    double u = 2, w = -1;
    IWORD ipos = -1;
    LWORD flag = ORVK_FALSE;
    orvika::WRSPLT(1, &u, &w, ipos, flag, kUnit, 0);
    EXPECT_EQ(w, 1.0);
    EXPECT_EQ(u, 0.5);
    EXPECT_EQ(ipos, 1);
    EXPECT_EQ(flag, ORVK_TRUE);
  }
  {
    double u = -2, w = -1;
    IWORD ipos = -1;
    LWORD flag = ORVK_TRUE;
    orvika_test::UnitCapture cap(kUnit);
    orvika::WRSPLT(1, &u, &w, ipos, flag, kUnit, 3);
    EXPECT_EQ(u, -0.5);
    EXPECT_EQ(ipos, 1);
    EXPECT_EQ(flag, ORVK_FALSE);
    EXPECT_EQ(cap.lines().back(),
              " MATRIX DOES NOT HAVE WEAK REGULAR SPLITTING  ELEMENT   1  IS NEGATIVE");
    std::vector<std::string> labels;
    for (size_t i = 1; i < cap.lines().size(); ++i)
      if (cap.lines()[i - 1].empty()) labels.push_back(cap.lines()[i]);
    EXPECT_EQ(labels, (std::vector<std::string>{"   U        ", "   W        ", "   UINV     ",
                                                "   A        "}));
  }
}

TEST(Wrsplt, OrdersBeyondTwenty) {
  // U = (n+1) I - J has the positive inverse (I + J)/(n+1); W = -J becomes J.
  for (IWORD n : {3, 20, 21, 30}) {
    Mat u(n * n, -1.0), w(n * n, -1.0);
    for (IWORD i = 0; i < n; ++i) u[i * (n + 1)] = static_cast<double>(n);
    IWORD ipos = -1;
    LWORD flag = ORVK_FALSE;
    orvika::WRSPLT(n, u.data(), w.data(), ipos, flag, kUnit, 0);
    EXPECT_EQ(flag, ORVK_TRUE) << n;
    EXPECT_EQ(ipos, n * n);
    for (IWORD i = 0; i < n; ++i)
      for (IWORD j = 0; j < n; ++j)
        EXPECT_NEAR(u[j * n + i], (i == j ? 2.0 : 1.0) / (n + 1), 1e-13) << n;
    // A negative element of W U^-1 is found at its storage position.
    Mat u2(n * n, -1.0), w2(n * n, -1.0);
    for (IWORD i = 0; i < n; ++i) u2[i * (n + 1)] = static_cast<double>(n);
    for (IWORD j = 0; j < n; ++j) w2[j * n + 1] = 0.0;  // row 2 of S vanishes
    orvika::WRSPLT(n, u2.data(), w2.data(), ipos, flag, kUnit, 0);
    EXPECT_EQ(flag, ORVK_FALSE);
    EXPECT_EQ(ipos, 2);
  }
}

TEST(Mposck, ThresholdAndEmpty) {
  IWORD ipos = -5, iflag = -5;
  const double a1[4] = {1, 2, 1e-8, 4};
  orvika::MPOSCK(2, a1, ipos, iflag, kUnit, 0);
  EXPECT_EQ(iflag, 1);
  EXPECT_EQ(ipos, 3);
  const double a2[4] = {1, 2, 2e-8, 4};
  orvika::MPOSCK(2, a2, ipos, iflag, kUnit, 0);
  EXPECT_EQ(iflag, 0);
  EXPECT_EQ(ipos, 4);
  ipos = -5;
  orvika::MPOSCK(0, a2, ipos, iflag, kUnit, 0);
  EXPECT_EQ(iflag, 0);
  EXPECT_EQ(ipos, -5);
}

class Actmat : public ::testing::Test {
 protected:
  void TearDown() override { ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1] = 0; }
  // Rows 1-2 equalities, rows 3-5 inequalities, 4 columns.
  std::vector<IWORD> ia{1, 3, 4, 5, 7, 8};
  std::vector<IWORD> ja{1, 3, 2, 4, 1, 2, 3};
  std::vector<double> a{1, 2, 3, 4, 5, 6, 7};
};

TEST_F(Actmat, EqualityRowsOnlyWithoutIadd) {
  ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1] = 2;
  const IWORD iract[2] = {3, 1};
  std::vector<double> d(4 * 4, -1.0);
  orvika::ACTMAT(2, 0, 4, 4, ia.data(), ja.data(), a.data(), d.data(), nullptr, iract);
  EXPECT_EQ(d, (std::vector<double>{1, 0, 2, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Actmat, ActiveRowsFollowEqualities) {
  ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1] = 2;
  const IWORD iract[2] = {3, 1};
  std::vector<double> d(4 * 4, -1.0);
  orvika::ACTMAT(2, -1, 4, 4, ia.data(), ja.data(), a.data(), d.data(), nullptr, iract);
  EXPECT_EQ(d, (std::vector<double>{1, 0, 2, 0, 0, 3, 0, 0, 0, 0, 7, 0, 0, 0, 0, 4}));
}

TEST_F(Actmat, ActiveCountClampedToRowsOfD) {
  ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1] = 3;  // more than the 1 row left
  const IWORD iract[3] = {2, 1, 3};
  std::vector<double> d(3 * 4, -1.0);  // exactly NR * NC words
  orvika::ACTMAT(2, 1, 3, 4, ia.data(), ja.data(), a.data(), d.data(), nullptr, iract);
  EXPECT_EQ(d, (std::vector<double>{1, 0, 2, 0, 0, 3, 0, 0, 5, 6, 0, 0}));
  // More equality rows than D holds: only NR rows are written.
  std::vector<double> d1(1 * 4, -1.0);
  orvika::ACTMAT(2, 1, 1, 4, ia.data(), ja.data(), a.data(), d1.data(), nullptr, iract);
  EXPECT_EQ(d1, (std::vector<double>{1, 0, 2, 0}));
}

}  // namespace
