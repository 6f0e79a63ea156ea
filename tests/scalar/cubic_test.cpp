// ORVK_CUBIC and CROOTS: roots of constructed cubics, the selection of the
// expansion factor, the retry from 0 and the printed lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "orvika/host.h"
#include "orvika/host_stub.h"
#include "orvika/scalar_roots.h"
#include "scalar/roots.hpp"
#include "support/capture.hpp"

namespace {

// Coefficients of (x - r1)(x - r2)(x - r3).
struct Monic {
  double a2, a1, a0;
};
Monic from_roots(double r1, double r2, double r3) {
  return {-(r1 + r2 + r3), r1 * r2 + r1 * r3 + r2 * r3, -r1 * r2 * r3};
}

class CubicTest : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
  void TearDown() override { orvk_host_reset(); }
};

// CROOTS against the known roots: three distinct, a double, a triple root
// and one real root; an absent root is RMISVAL.
TEST_F(CubicTest, ClosedFormRoots) {
  struct Case {
    const char* name;
    Monic c;
    std::array<double, 3> roots;  // sorted; 1e35 for an absent root
  };
  const double miss = 1e35;
  const Case cases[] = {
      {"1,2,3", from_roots(1.0, 2.0, 3.0), {1.0, 2.0, 3.0}},
      {"-4,0.5,7", from_roots(-4.0, 0.5, 7.0), {-4.0, 0.5, 7.0}},
      {"0.01,0.2,0.9", from_roots(0.01, 0.2, 0.9), {0.01, 0.2, 0.9}},
      {"1,1,3", from_roots(1.0, 1.0, 3.0), {1.0, 1.0, 3.0}},
      {"2,2,2", from_roots(2.0, 2.0, 2.0), {2.0, 2.0, 2.0}},
      {"1.5 and x^2+1", {-1.5, 1.0, -1.5}, {1.5, miss, miss}},
      {"-1 and x^2+x+1", {2.0, 2.0, 1.0}, {-1.0, miss, miss}},
  };
  for (const auto& c : cases) {
    double r[3];
    orvika::CROOTS(c.c.a2, c.c.a1, c.c.a0, 0, r);
    std::sort(r, r + 3);
    for (int i = 0; i < 3; ++i) {
      if (c.roots[i] == miss) {
        EXPECT_EQ(r[i], miss) << c.name;
      } else {
        EXPECT_NEAR(r[i], c.roots[i], 1e-8 * std::max(1.0, std::fabs(c.roots[i]))) << c.name;
      }
    }
  }
}

// Selection: the largest root in [XMIN, XMAX], the count of the roots in it,
// and the retry from 0 when none lies there.
TEST_F(CubicTest, Selection) {
  struct Case {
    const char* name;
    Monic c;
    double xmin, xmax;
    double root, xmin_out;
    IWORD nroot;
  };
  const Case cases[] = {
      {"three in", from_roots(1.0, 2.0, 3.0), 0.5, 10.0, 3.0, 0.5, 3},
      {"two in", from_roots(1.0, 2.0, 3.0), 0.5, 2.5, 2.0, 0.5, 2},
      {"one in", from_roots(1.0, 2.0, 3.0), 1.5, 2.5, 2.0, 1.5, 1},
      {"retry", {-1.5, 1.0, -1.5}, 2.0, 5.0, 1.5, 0.0, 1},
      {"retry finds all", from_roots(0.2, 0.3, 0.4), 0.5, 1.0, 0.4, 0.0, 3},
      {"none", {2.0, 2.0, 1.0}, 0.5, 5.0, 0.0, 0.0, 0},
      {"none from 0", {2.0, 2.0, 1.0}, 0.0, 5.0, 0.0, 0.0, 0},
      {"double root counted twice", from_roots(1.0, 1.0, 3.0), 0.5, 2.0, 1.0, 0.5, 2},
      {"ends included", from_roots(-1.0, 0.0, 2.0), 0.0, 2.0, 2.0, 0.0, 2},
  };
  for (const auto& c : cases) {
    double xmin = c.xmin, xmax = c.xmax, root = -7.0;
    IWORD nroot = -7, iprint = 0;
    ORVK_CUBIC(&c.c.a2, &c.c.a1, &c.c.a0, &xmin, &xmax, &iprint, &root, &nroot);
    EXPECT_EQ(nroot, c.nroot) << c.name;
    EXPECT_NEAR(root, c.root, 1e-9) << c.name;
    EXPECT_EQ(xmin, c.xmin_out) << c.name;
  }
}

// The printed lines on the report unit: roots at IPRINT 8, the
// discriminant before them at 10; an absent root prints as RMISVAL.
TEST_F(CubicTest, PrintedLines) {
  orvika_test::UnitCapture cap(6);
  const Monic c = from_roots(2.0, 2.0, 2.0);
  double xmin = 0.0, xmax = 10.0, root;
  IWORD nroot, iprint = 8;
  ORVK_CUBIC(&c.a2, &c.a1, &c.a0, &xmin, &xmax, &iprint, &root, &nroot);
  EXPECT_EQ(cap.text(),
            "      ROOTS OF CUBIC EQUATION FOR EXPANSION FACTOR:\n"
            "         2.0000             2.0000             2.0000    \n");
  cap.clear();
  iprint = 10;
  const Monic one{-1.5, 1.0, -1.5};
  ORVK_CUBIC(&one.a2, &one.a1, &one.a0, &xmin, &xmax, &iprint, &root, &nroot);
  ASSERT_EQ(cap.lines().size(), 3u);
  EXPECT_EQ(cap.lines()[0], "      SQUARE OF DISCRIMINANT IN CUBIC EQUATION =   0.39120    ");
  EXPECT_EQ(cap.lines()[1], "      ROOTS OF CUBIC EQUATION FOR EXPANSION FACTOR:");
  EXPECT_EQ(cap.lines()[2], "         1.5000            0.10000E+36        0.10000E+36");
  cap.clear();
  iprint = 7;
  ORVK_CUBIC(&one.a2, &one.a1, &one.a0, &xmin, &xmax, &iprint, &root, &nroot);
  EXPECT_TRUE(cap.lines().empty());
}

// The report unit is the host's REPUNIT.
TEST_F(CubicTest, ReportUnit) {
  VLK_GLOBAL[VLK_W_REPUNIT - 1] = 41;
  orvika_test::UnitCapture cap(41);
  const Monic c = from_roots(1.0, 2.0, 3.0);
  double xmin = 0.0, xmax = 10.0, root;
  IWORD nroot, iprint = 10;
  ORVK_CUBIC(&c.a2, &c.a1, &c.a0, &xmin, &xmax, &iprint, &root, &nroot);
  ASSERT_EQ(cap.lines().size(), 3u);
  EXPECT_EQ(cap.lines()[0], "      SQUARE OF DISCRIMINANT IN CUBIC EQUATION =  -0.37037E-01");
}

// A triple root with the host's negligible magnitude 0 still gives numbers
// (the trigonometric form would divide 0 by 0).
TEST_F(CubicTest, TripleRootWithZeroTiny) {
  VLK_RGLOB[VLK_W_RTINY - 1] = 0.0;
  const Monic c = from_roots(2.0, 2.0, 2.0);
  double r[3];
  orvika::CROOTS(c.a2, c.a1, c.a0, 0, r);
  for (double v : r) EXPECT_EQ(v, 2.0);
  double xmin = 1.0, xmax = 3.0, root;
  IWORD nroot, iprint = 0;
  ORVK_CUBIC(&c.a2, &c.a1, &c.a0, &xmin, &xmax, &iprint, &root, &nroot);
  EXPECT_EQ(nroot, 3);
  EXPECT_EQ(root, 2.0);
  // A double root at D = 0 is still exact then: the cosine argument is -1 or 1.
  const Monic d = from_roots(1.0, 1.0, 3.0);
  orvika::CROOTS(d.a2, d.a1, d.a0, 0, r);
  std::sort(r, r + 3);
  EXPECT_NEAR(r[0], 1.0, 1e-9);
  EXPECT_NEAR(r[1], 1.0, 1e-9);
  EXPECT_NEAR(r[2], 3.0, 1e-9);
}

// Roots far from 1 in size: Q^3 and R^2 of the closed form leave the range
// of doubles (underflow below about 1e-51, overflow above about 1e51), yet
// the roots are found to the precision of roots of size 1.
TEST_F(CubicTest, RootsFarFromUnitSize) {
  struct Case {
    const char* name;
    Monic c;
    std::array<double, 3> roots;  // sorted, with 1e35 for an absent root
  };
  const double miss = 1e35;
  const Case cases[] = {
      {"1e-100,2e-100,3e-100", from_roots(1e-100, 2e-100, 3e-100), {1e-100, 2e-100, 3e-100}},
      {"1e-60 and x^2+1e-120", {-1e-60, 1e-120, -1e-180}, {1e-60, miss, miss}},
      {"x^3 = 1e-180", {0.0, 0.0, -1e-180}, {1e-60, miss, miss}},
      {"x^3 = -1e-300", {0.0, 0.0, 1e-300}, {-1e-100, miss, miss}},
      {"-3e60,1e60,2e60", from_roots(-3e60, 1e60, 2e60), {-3e60, 1e60, 2e60}},
      {"x^3 = 1e300", {0.0, 0.0, -1e300}, {miss, miss, 1e100}},
      {"x^3 - 3e200 x", {0.0, -3e200, 0.0}, {-std::sqrt(3.0) * 1e100, 0.0, std::sqrt(3.0) * 1e100}},
  };
  for (const auto& c : cases) {
    double r[3];
    orvika::CROOTS(c.c.a2, c.c.a1, c.c.a0, 0, r);
    std::sort(r, r + 3);
    double size = 0.0;
    for (double v : c.roots) {
      if (v != miss) size = std::max(size, std::fabs(v));
    }
    for (int i = 0; i < 3; ++i) {
      if (c.roots[i] == miss) {
        EXPECT_EQ(r[i], miss) << c.name;
      } else {
        EXPECT_NEAR(r[i], c.roots[i], 1e-8 * size) << c.name << " root " << i;
      }
    }
  }
  // The expansion factor of a cubic of small size.
  const Monic c = from_roots(1e-70, 2e-70, 4e-70);
  double xmin = 0.0, xmax = 1.0, root;
  IWORD nroot, iprint = 0;
  ORVK_CUBIC(&c.a2, &c.a1, &c.a0, &xmin, &xmax, &iprint, &root, &nroot);
  EXPECT_EQ(nroot, 3);
  EXPECT_NEAR(root, 4e-70, 1e-78);
}

// Roots that differ much in size: the small ones come out of the closed
// form with half the digits lost (the arccosine near 1, the cancellation
// against A2/3, or S + T in the one-root form); they are found to the
// rounding level of roots of their own size.
TEST_F(CubicTest, SmallRootsBesideALargeOne) {
  struct Case {
    const char* name;
    Monic c;
    double xmax;
    double root;  // the largest root in [0, XMAX]
    IWORD nroot;
  };
  const Case cases[] = {
      {"0.9, 0.3, 1000", from_roots(0.9, 0.3, 1000.0), 10.0, 0.9, 2},
      {"0.9, 0.3, -1e4", from_roots(0.9, 0.3, -1e4), 10.0, 0.9, 2},
      {"0.05, 0.002, -1e6", from_roots(0.05, 0.002, -1e6), 10.0, 0.05, 2},
      {"5, 2, -1e8", from_roots(5.0, 2.0, -1e8), 10.0, 5.0, 2},
      {"1e-6 and x^2+1e6", {0.0, 1e6, -1.0}, 10.0, 1e-6 - 1e-24, 1},
  };
  for (const auto& c : cases) {
    double xmin = 0.0, xmax = c.xmax, root = -7.0;
    IWORD nroot = -7, iprint = 0;
    ORVK_CUBIC(&c.c.a2, &c.c.a1, &c.c.a0, &xmin, &xmax, &iprint, &root, &nroot);
    EXPECT_EQ(nroot, c.nroot) << c.name;
    EXPECT_NEAR(root, c.root, 1e-13 * c.root) << c.name;
  }
}

}  // namespace
