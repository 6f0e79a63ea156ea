// Vector kernels: known sums, norms and the segment conventions.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "kernels/vector.hpp"

namespace {

double ap2nrm(std::vector<double> v, IWORD k = 0) {
  IWORD n = static_cast<IWORD>(v.size()) - k;
  return ORVK_AP2NRM(&n, &k, v.data());
}

TEST(Ap2nrm, ScaledAndUnscaledBranches) {
  EXPECT_DOUBLE_EQ(ap2nrm({3, 4}), 5.0);       // scale 4
  EXPECT_DOUBLE_EQ(ap2nrm({0.3, 0.4}), 0.5);   // scale 1
  EXPECT_DOUBLE_EQ(ap2nrm({-3, -4}), 5.0);     // signed maximum stays 1
  EXPECT_DOUBLE_EQ(ap2nrm({9, 3, 4}, 1), 5.0);  // offset skips the first element
  IWORD n = 0, k = 0;
  EXPECT_EQ(ORVK_AP2NRM(&n, &k, nullptr), 0.0);
  n = -3;
  EXPECT_EQ(ORVK_AP2NRM(&n, &k, nullptr), 0.0);
}

TEST(Ap2nrm, ScaledBranchIsBitExactWhereFinite) {
  // With a scale above 1 the norm is s*sqrt(sum((x/s)^2)).
  std::vector<double> v = {1e200, -3e199, 2.5, 7e150};
  double s = 1e200, sum = 0;
  for (double x : v) sum += (x / s) * (x / s);
  EXPECT_EQ(ap2nrm(v), s * std::sqrt(sum));
}

TEST(Ap2nrm, LargeNegativeValuesGiveFiniteNorm) {
  std::vector<double> neg(4, -1e200), pos(4, 1e200);
  double a = ap2nrm(neg), b = ap2nrm(pos);
  EXPECT_TRUE(std::isfinite(a));
  EXPECT_NEAR(a / 2e200, 1.0, 1e-15);
  EXPECT_DOUBLE_EQ(a, b);
  // A genuinely infinite element still gives infinity.
  EXPECT_TRUE(std::isinf(ap2nrm({-std::numeric_limits<double>::infinity(), 1.0})));
}

// An infinite element of either sign, in either branch of the scale, makes
// the norm +inf; a NaN element makes it NaN.
TEST(Ap2nrm, InfiniteElementGivesInfinityOfEitherSign) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::vector<double>> infinite = {
      {inf}, {inf, 1.0}, {-inf, 1.0}, {2.0, inf, -3.0}, {inf, -inf}, {0.5, inf}};
  for (const auto& v : infinite) {
    const double r = ap2nrm(v);
    EXPECT_TRUE(std::isinf(r) && r > 0.0) << v.size() << " elements, first " << v[0];
  }
  for (const auto& v : {std::vector<double>{nan, inf}, std::vector<double>{2.0, nan}})
    EXPECT_TRUE(std::isnan(ap2nrm(v)));
}

TEST(Ap2nrm, TinyValuesKeepTheirNorm) {
  // Elements below about 1e-154 have squares that lose digits or vanish;
  // the norm must still be that of the vector.
  const double tiny = std::numeric_limits<double>::denorm_min();
  struct Row {
    std::vector<double> v;
    double norm;
  };
  const Row rows[] = {{{3e-160, 4e-160}, 5e-160},
                      {{-1e-170}, 1e-170},
                      {{3e-300, -4e-300}, 5e-300},
                      {{0.0, tiny, 0.0}, tiny},
                      {{0.0, -0.0}, 0.0}};
  for (const auto& r : rows) {
    const double got = ap2nrm(r.v);
    EXPECT_NEAR(got, r.norm, 4 * std::numeric_limits<double>::epsilon() * r.norm)
        << r.v.size() << " elements, first " << r.v[0];
  }
}

TEST(Dinner, MatchesLongDoubleReference) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (IWORD n : {0, 1, 7, 8, 9, 100, 1001}) {
    std::vector<double> x(n + 3), y(n + 5);
    for (auto& v : x) v = u(rng);
    for (auto& v : y) v = u(rng);
    IWORD ix = 3, iy = 5;
    IWORD nn = n;
    std::vector<double> xs(x), ys(y);
    xs.resize(n + 3);
    long double ref = 0;
    for (IWORD i = 1; i <= n; ++i) ref += static_cast<long double>(x[ix + i - 1]) * y[iy + i - 1];
    x.resize(n + 3 + 3);
    y.resize(n + 5 + 5);
    // Segment X(IX+1..IX+N): pad the arrays so the offsets stay inside.
    std::vector<double> xp(3 + n), yp(5 + n);
    for (IWORD i = 0; i < 3 + n; ++i) xp[i] = i < 3 ? 99.0 : xs[i];
    for (IWORD i = 0; i < 5 + n; ++i) yp[i] = i < 5 ? 99.0 : ys[i];
    ref = 0;
    for (IWORD i = 0; i < n; ++i) ref += static_cast<long double>(xp[3 + i]) * yp[5 + i];
    double got = ORVK_DINNER(&nn, &ix, xp.data(), &iy, yp.data());
    EXPECT_NEAR(got, static_cast<double>(ref), 1e-13 * (1 + n)) << "n=" << n;
  }
}

TEST(VectorKernels, SegmentUpdatesInPlace) {
  std::vector<double> y = {0, 1, 2, 3}, x = {10, 20, 30, 40};
  IWORD n = 3, ix = 1, iy = 1;
  double a = 2, b = 1;
  ORVK_VRADD(&n, &a, &ix, x.data(), &b, &iy, y.data(), &iy, y.data());  // y += 2x
  EXPECT_EQ(y, (std::vector<double>{0, 41, 62, 83}));
  double c = 0.5, d = 0.25;
  ORVK_VRADD(&n, &c, &iy, y.data(), &d, &iy, y.data(), &iy, y.data());  // scale by 0.75
  EXPECT_EQ(y, (std::vector<double>{0, 30.75, 46.5, 62.25}));

  std::vector<double> z = {5, 6, 7};
  IWORD two = 2, zero = 0;
  ORVK_VRCOPY(&two, &zero, z.data(), &zero, z.data());  // same segment: zeros
  EXPECT_EQ(z, (std::vector<double>{0, 0, 7}));

  std::vector<double> s = {1, 3};
  double sum = -1;
  ORVK_NORMSS(&two, &zero, s.data(), &sum);
  EXPECT_EQ(sum, 4.0);
  EXPECT_EQ(s, (std::vector<double>{0.25, 0.75}));
  ORVK_NORMSS(&zero, &zero, s.data(), &sum);
  EXPECT_EQ(sum, 0.0);
  EXPECT_EQ(s, (std::vector<double>{0.25, 0.75}));
  std::vector<double> zs = {2, -2};  // a zero sum divides nothing
  ORVK_NORMSS(&two, &zero, zs.data(), &sum);
  EXPECT_EQ(sum, 0.0);
  EXPECT_EQ(zs, (std::vector<double>{2, -2}));

  std::vector<double> w = {1, 1}, v = {2, 4};
  double avg = 0;
  ORVK_WTAVG(&two, w.data(), v.data(), &avg);
  EXPECT_EQ(avg, 6.0);

  std::vector<IWORD> iv = {1, 4, 9};
  orvika::VIADDK(-1, 3, 0, iv.data());
  EXPECT_EQ(iv, (std::vector<IWORD>{0, 3, 8}));
  std::vector<IWORD> jv(5, 7);
  IWORD three = 3, one = 1;
  ORVK_VICOPY(&three, &zero, iv.data(), &one, jv.data());
  EXPECT_EQ(jv, (std::vector<IWORD>{7, 0, 3, 8, 7}));
  ORVK_VIZERO(&two, &three, jv.data());
  EXPECT_EQ(jv, (std::vector<IWORD>{7, 0, 3, 0, 0}));
  std::vector<double> o(4, 9);
  ORVK_VRONES(&two, &one, o.data());
  ORVK_VRZERO(&one, &zero, o.data());
  EXPECT_EQ(o, (std::vector<double>{0, 1, 1, 9}));
}

// Z = ALPHA X + BETA Y over segments of one array that meet in every way
// (the same segment, a source ahead of Z, a source behind Z inside its
// segment, apart): the result must be that of the elements taken one at a
// time in increasing order, bit for bit.
TEST(VectorKernels, VraddOverlapsActAsOneElementAtATime) {
  struct Case {
    IWORD n, ix, iy, iz;
  };
  const Case cases[] = {
      {13, 0, 0, 0},    // Z = X = Y
      {13, 20, 0, 0},   // Z = Y, X apart
      {13, 0, 20, 0},   // Z = X, Y apart
      {13, 1, 0, 0},    // X one ahead of Z
      {13, 0, 3, 0},    // Y ahead of Z
      {13, 0, 20, 1},   // X one behind Z: each element sees the new one before it
      {13, 20, 0, 3},   // Y three behind Z
      {13, 20, 36, 0},  // all apart
      {3, 0, 1, 2},     // shorter than a group, X and Y behind
      {9, 5, 2, 4},     // X ahead, Y behind
  };
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  for (const Case& c : cases) {
    std::vector<double> v(64);
    for (double& e : v) e = u(rng);
    std::vector<double> ref = v;
    const double a = 0.3, b = -1.7;
    for (IWORD i = 0; i < c.n; ++i) ref[c.iz + i] = a * ref[c.ix + i] + b * ref[c.iy + i];
    ORVK_VRADD(&c.n, &a, &c.ix, v.data(), &b, &c.iy, v.data(), &c.iz, v.data());
    for (std::size_t k = 0; k < v.size(); ++k)
      EXPECT_EQ(std::bit_cast<std::uint64_t>(v[k]), std::bit_cast<std::uint64_t>(ref[k]))
          << "n " << c.n << " ix " << c.ix << " iy " << c.iy << " iz " << c.iz << " at " << k;
  }
}

TEST(VectorKernels, NoCallerHelpers) {
  std::vector<double> x = {1e-21, -1e-21, 1e-19, -4};
  std::vector<double> y(4);
  orvika::VRINV(4, x.data(), y.data());
  EXPECT_EQ(y, (std::vector<double>{0, 0, 1e19, -0.25}));
  double sum = -1;
  orvika::VRSUM(3, 1, x.data(), sum);
  EXPECT_DOUBLE_EQ(sum, -1e-21 + 1e-19 - 4);
  orvika::VRSUM(0, 1, x.data(), sum);
  EXPECT_EQ(sum, 0.0);

  // Segment starting at position 11 of a 14-element array.
  std::vector<double> a(14, 0.0);
  a[10] = -2, a[11] = 5, a[12] = -5, a[13] = 1;
  IWORD nties = -1, ities[4] = {0, 0, 0, 0}, imax = -1;
  double amax = -1;
  orvika::VRAMAX(4, 10, a.data(), nties, ities, imax, amax);
  EXPECT_EQ(amax, 5.0);
  EXPECT_EQ(imax, 13);
  ASSERT_EQ(nties, 2);
  EXPECT_EQ(ities[0], 12);
  EXPECT_EQ(ities[1], 13);
  std::vector<double> b = {7, 1};
  orvika::VRAMAX(2, 0, b.data(), nties, ities, imax, amax);
  EXPECT_EQ(imax, 1);
  EXPECT_EQ(nties, 1);
  ities[0] = 42;
  orvika::VRAMAX(0, 6, b.data(), nties, ities, imax, amax);
  EXPECT_EQ(amax, 0.0);
  EXPECT_EQ(nties, 0);
  EXPECT_EQ(imax, 6);
  EXPECT_EQ(ities[0], 42);

  std::vector<double> src = {1, 2, 3, 4, 5, 6}, dst(4, 0);
  orvika::VRCPYS(3, 1, 2, src.data(), 2, 1, dst.data());
  EXPECT_EQ(dst, (std::vector<double>{0, 1, 3, 5}));
}

}  // namespace
