// LDLTBK: Bunch-Parlett factorisation and solve of packed symmetric systems.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "qp/qp.hpp"
#include "qp/qp_test_util.hpp"
#include "support/capture.hpp"
#include "support/sparse.hpp"

namespace {

using qp_test::Vec;
using qp_test::IVec;

Vec pack(int n, const Vec& full) {  // full row-major symmetric
  Vec p;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) p.push_back(full[i * n + j]);
  return p;
}

struct Solve {
  Vec ap, b;
  IVec iswap, ipivot;
  Vec dwork;
  IWORD ising = -1;
};

Solve run(int n, const Vec& full, const Vec& b, IWORD job = 0, IWORD iprint = 0) {
  Solve s;
  s.ap = pack(n, full);
  s.b = b;
  s.iswap.assign(2 * n, 0);
  s.ipivot.assign(n, 0);
  s.dwork.assign(n, 0);
  orvika::LDLTBK(s.ap.data(), n, s.b.data(), 1, 2000, job, s.iswap.data(), s.dwork.data(),
                 s.ipivot.data(), s.ising, 77, iprint);
  return s;
}

TEST(Ldltbk, RandomIndefiniteAndKktSystems) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int n : {1, 2, 3, 5, 10, 30}) {
    for (int kind = 0; kind < 2; ++kind) {
      Vec full(n * n);
      for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) full[i * n + j] = full[j * n + i] = u(rng);
      if (kind == 1)  // KKT pattern: zero trailing block
        for (int i = n - n / 2; i < n; ++i)
          for (int j = n - n / 2; j < n; ++j) full[i * n + j] = 0;
      Vec b(n);
      for (double& v : b) v = u(rng);
      Solve s = run(n, full, b);
      ASSERT_EQ(s.ising, 0) << n;
      // ||b - A x|| below 30 eps ||A|| ||x||, and so below
      // 30 n eps max|a_ij| ||x|| (||A|| <= n max|a_ij|).
      EXPECT_LT(orvika_test::scaled_residual(n, full.data(), n, s.b.data(), b.data()), 30.0 / n)
          << "n " << n << " kind " << kind;
    }
  }
}

TEST(Ldltbk, DiagonalTakesOneByOnePivotsByDecreasingMagnitude) {
  const int n = 4;
  Vec full(n * n, 0.0);
  const double d[4] = {1, -5, 3, 2};
  for (int i = 0; i < n; ++i) full[i * n + i] = d[i];
  Solve s = run(n, full, {1, 1, 1, 1});
  ASSERT_EQ(s.ising, 0);
  EXPECT_EQ(s.ipivot, (IVec{2, 3, 4, 1}));
  for (int k = 0; k < n; ++k) EXPECT_EQ(s.iswap[n + k], 1);
  for (int i = 0; i < n; ++i) EXPECT_DOUBLE_EQ(s.b[i], 1.0 / d[i]);
}

TEST(Ldltbk, ZeroDiagonalTakesTwoByTwoPivotFirst) {
  // [0 1; 1 0] x = (2, 3): x = (3, 2).
  Solve s = run(2, {0, 1, 1, 0}, {2, 3});
  ASSERT_EQ(s.ising, 0);
  EXPECT_EQ(s.iswap[2], 2);
  EXPECT_EQ(s.iswap[3], 0);
  EXPECT_DOUBLE_EQ(s.dwork[0], -1.0);
  EXPECT_DOUBLE_EQ(s.b[0], 3.0);
  EXPECT_DOUBLE_EQ(s.b[1], 2.0);
}

TEST(Ldltbk, SingularBlocksGiveCode129AndMessages) {
  struct Case {
    int n;
    Vec full;
    const char* msg;
  };
  for (const Case& c : {Case{2, {0, 0, 0, 1}, "    *** NULL 1 BY 1 PIVOT ***\n\n"},
                        Case{2, {1, 1, 1, 1}, "    *** NULL 1 BY 1 PIVOT ***\n\n"},
                        Case{1, {std::nan("")}, "    *** NULL 1 BY 1 PIVOT ***\n\n"}}) {
    orvika_test::UnitCapture cap(77);
    const Vec b(c.n, 4.0);
    Solve s = run(c.n, c.full, b, 0, 1);
    EXPECT_EQ(s.ising, 129);
    EXPECT_EQ(s.b, b);  // nothing solved
    EXPECT_EQ(cap.text(), c.msg);
  }
}

TEST(Ldltbk, PivotMessagesAndDumpsAtLevelFour) {
  orvika_test::UnitCapture cap(77);
  Solve s = run(2, {0, 1, 1, 0}, {1, 1}, 0, 4);
  EXPECT_EQ(cap.text(),
            "    *** 2 BY 2 PIVOT SELECTED ***\n\n"
            "\n  IPIVOT    \n       1    2\n"
            "\n  LDLT      \n     0.00000D+00  1.00000D+00  0.00000D+00\n");
}

TEST(Ldltbk, FactoriseThenSolveWithKeptFactors) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  const int n = 6;
  Vec full(n * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) full[i * n + j] = full[j * n + i] = u(rng);
  Vec b(n);
  for (double& v : b) v = u(rng);
  Solve both = run(n, full, b, 0);
  Solve f = run(n, full, b, 1);
  EXPECT_EQ(f.b, b);  // JOB 1 solves nothing
  const Vec factors = f.ap;
  IWORD ising = -1;
  Vec x = b;
  orvika::LDLTBK(f.ap.data(), n, x.data(), 1, 1, 2, f.iswap.data(), f.dwork.data(),
                 f.ipivot.data(), ising, 77, 0);
  EXPECT_EQ(ising, 0);
  EXPECT_EQ(f.ap, factors);  // JOB 2 leaves the factors
  EXPECT_EQ(x, both.b);
  // Two right-hand sides with a leading dimension of 9 give the same answers.
  Vec bx(9 + n, 0.0);
  for (int i = 0; i < n; ++i) bx[i] = bx[9 + i] = b[i];
  orvika::LDLTBK(f.ap.data(), n, bx.data(), 2, 9, 2, f.iswap.data(), f.dwork.data(),
                 f.ipivot.data(), ising, 77, 0);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(bx[i], both.b[i]);
    EXPECT_EQ(bx[9 + i], both.b[i]);
  }
  // Kept factors that are not a factorisation are refused.
  IVec bad(2 * n, 0);
  orvika::LDLTBK(f.ap.data(), n, x.data(), 1, 1, 2, bad.data(), f.dwork.data(), f.ipivot.data(),
                 ising, 77, 0);
  EXPECT_EQ(ising, 129);
}

}  // namespace

// KKT and indefinite systems scaled far from unit size: a 2x2 pivot block
// whose products ac and b^2 overflow or underflow is neither reported
// singular nor applied wrongly.  The solution of the scaled system is the
// unit-scale one divided by the scale.
TEST(Ldltbk, SystemsFarFromUnitSize) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1, 1);
  for (double sc : {1e-300, 1e-200, 1e-170, 1e-160, 1e160, 1e200, 1e300}) {
    for (int n : {2, 3, 6, 12}) {
      Vec full(n * n);
      for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) full[i * n + j] = full[j * n + i] = u(rng);
      for (int i = n - n / 2; i < n; ++i)  // KKT pattern: zero trailing block
        for (int j = n - n / 2; j < n; ++j) full[i * n + j] = 0;
      Vec b(n);
      for (double& v : b) v = u(rng);
      const Solve unit = run(n, full, b);
      ASSERT_EQ(unit.ising, 0);
      Vec scaled = full;
      for (double& v : scaled) v *= sc;
      const Solve s = run(n, scaled, b);
      ASSERT_EQ(s.ising, 0) << "scale " << sc << " n " << n;
      EXPECT_EQ(s.iswap, unit.iswap) << "scale " << sc << " n " << n;
      EXPECT_LT(orvika_test::scaled_residual(n, scaled.data(), n, s.b.data(), b.data()), 30.0 / n)
          << "scale " << sc << " n " << n;
      for (int i = 0; i < n; ++i)
        EXPECT_NEAR(s.b[i] * sc, unit.b[i], 1e-12 * (1 + std::fabs(unit.b[i])))
            << "scale " << sc << " n " << n << " i " << i;
    }
  }
  // Rows so large that 16 N max |K(k,j)| passes the range: the null test
  // still compares each pivot with its row.  diag(d) x = d gives x = 1.
  for (const double big : {1e306, 1.7e308}) {
    const int n = 12;
    Vec full(n * n, 0.0), b(n);
    for (int i = 0; i < n; ++i) b[i] = full[i * n + i] = big * (1 - 0.01 * i);
    const Solve s = run(n, full, b);
    ASSERT_EQ(s.ising, 0) << big;
    EXPECT_EQ(s.b, Vec(n, 1.0)) << big;
  }
  // [0 t; t 0] x = (2, 3) t: x = (3, 2) for every t, also with kept factors.
  for (double t : {0x1p-600, 0x1p-520, 0x1p520, 0x1p900}) {
    Solve s = run(2, {0, t, t, 0}, {2 * t, 3 * t});
    ASSERT_EQ(s.ising, 0) << t;
    EXPECT_EQ(s.b, (Vec{3, 2})) << t;
    Vec x = {4 * t, 6 * t};
    IWORD ising = -1;
    orvika::LDLTBK(s.ap.data(), 2, x.data(), 1, 2000, 2, s.iswap.data(), s.dwork.data(),
                   s.ipivot.data(), ising, 77, 0);
    EXPECT_EQ(ising, 0);
    EXPECT_EQ(x, (Vec{6, 4})) << t;
  }
}
