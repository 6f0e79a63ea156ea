// ORVK_MC19AD: logarithmic scaling - known answers, the least-squares
// property, failures on the report unit.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ma28/ma28_test_util.hpp"
#include "support/capture.hpp"

namespace {

using namespace ma28test;
using orvika_test::UnitCapture;

struct Scaled {
  std::vector<double> r, c, w;
};

Scaled run(const Triplets& a) {
  Scaled s{std::vector<double>(a.n, 7.0), std::vector<double>(a.n, 7.0),
           std::vector<double>(5 * a.n, 7.0)};
  IWORD n = a.n, nz = a.nz();
  ORVK_MC19AD(&n, &nz, a.val.data(), idx16(a.row).data(), idx16(a.col).data(), s.r.data(), s.c.data(),
              s.w.data());
  return s;
}

double objective(const Triplets& a, const std::vector<double>& r, const std::vector<double>& c) {
  double f = 0.0;
  for (std::size_t k = 0; k < a.val.size(); ++k) {
    if (a.val[k] == 0.0) continue;
    const double t = std::log(std::fabs(a.val[k])) + r[a.row[k] - 1] + c[a.col[k] - 1];
    f += t * t;
  }
  return f;
}

TEST(Mc19Ad, OrderOutOfRangeWritesOnTheReportUnit) {
  for (auto [n, code] : {std::pair<IWORD, int>{0, 1}, {-4, 1}, {32768, 2}}) {
    reset_blocks();
    UnitCapture cap(6);
    std::vector<double> a = {1.0}, r(2, 7.0), c(2, 7.0), w(10, 7.0);
    std::vector<IDX16> irn = {1}, icn = {1};
    IWORD nz = 1;
    ORVK_MC19AD(&n, &nz, a.data(), irn.data(), icn.data(), r.data(), c.data(), w.data());
    EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                               "", "", " ERROR RETURN " + std::to_string(code) + " FROM MC19"}));
    EXPECT_EQ(r, (std::vector<double>(2, 7.0)));
    EXPECT_EQ(w, (std::vector<double>(10, 7.0)));
  }
}

TEST(Mc19Ad, IndexOutOfRangeIsAFailureNotAnOverrun) {
  reset_blocks();
  UnitCapture cap(6);
  Triplets a;
  a.n = 2;
  a.add(1, 1, 2.0);
  a.add(3, 2, 2.0);
  const Scaled s = run(a);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"", "", " ERROR RETURN 3 FROM MC19"}));
  EXPECT_EQ(s.r, (std::vector<double>(2, 7.0)));
}

// A NaN or infinite value anywhere in a connected matrix would make every
// scale factor NaN: it is refused like a bad index, the outputs untouched.
TEST(Mc19Ad, NonFiniteValueIsAFailureNotNaNFactors) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {inf, -inf, std::numeric_limits<double>::quiet_NaN()}) {
    reset_blocks();
    UnitCapture cap(6);
    Triplets a = make_triplets(3, {{1, 1, 2.0}, {1, 2, 1.0}, {2, 2, 3.0}, {2, 3, 5.0}, {3, 3, bad}});
    const Scaled s = run(a);
    EXPECT_EQ(cap.lines(), (std::vector<std::string>{"", "", " ERROR RETURN 4 FROM MC19"})) << bad;
    EXPECT_EQ(s.r, (std::vector<double>(3, 7.0))) << bad;
    EXPECT_EQ(s.c, (std::vector<double>(3, 7.0))) << bad;
    EXPECT_EQ(s.w, (std::vector<double>(15, 7.0))) << bad;
  }
}

TEST(Mc19Ad, KnownAnswers) {
  reset_blocks();
  {
    Triplets a;  // single entry e^3
    a.n = 1;
    a.add(1, 1, std::exp(3.0));
    const Scaled s = run(a);
    EXPECT_EQ(s.r[0], 0.0);
    EXPECT_NEAR(s.c[0], -3.0, 1e-15);
  }
  {
    Triplets a;  // every entry of magnitude 8; column 4 and row 4 empty
    a.n = 4;
    a.add(1, 1, 8.0);
    a.add(1, 2, -8.0);
    a.add(2, 3, 8.0);
    a.add(3, 1, -8.0);
    a.add(3, 3, 8.0);
    const Scaled s = run(a);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(s.r[i], 0.0, 1e-15);
      EXPECT_NEAR(s.c[i], -std::log(8.0), 1e-15);
    }
    EXPECT_EQ(s.r[3], 0.0);
    EXPECT_EQ(s.c[3], 0.0);
  }
  {
    Triplets a;  // diagonal, with zero entries that change nothing
    a.n = 5;
    for (IWORD i = 1; i <= 5; ++i) a.add(i, i, std::pow(10.0, static_cast<double>(i)));
    a.add(1, 5, 0.0);
    a.add(4, 2, 0.0);
    const Scaled s = run(a);
    for (int i = 0; i < 5; ++i) {
      EXPECT_NEAR(s.r[i], 0.0, 1e-14);
      EXPECT_NEAR(s.c[i], -(i + 1) * std::log(10.0), 1e-13);
    }
  }
  {
    Triplets a;  // NZ = 0
    a.n = 3;
    UnitCapture cap(6);
    const Scaled s = run(a);
    EXPECT_EQ(s.r, (std::vector<double>(3, 0.0)));
    EXPECT_EQ(s.c, (std::vector<double>(3, 0.0)));
    EXPECT_TRUE(cap.lines().empty());
  }
}

TEST(Mc19Ad, ExactlyScalableMatrixIsFittedToTheStoppingLevel) {
  // a(i,j) = +-exp(-(p_i + q_j)): the exact fit has residual 0; the
  // iteration stops once its residual sum falls to 0.1 per entry.
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-6.0, 6.0);
  for (IWORD n : {4, 20, 60}) {
    const Triplets pat = random_sparse(n, 3, 40 + n, true);
    std::vector<double> p(n), q(n);
    for (auto& t : p) t = u(rng);
    for (auto& t : q) t = u(rng);
    Triplets a = pat;
    for (std::size_t k = 0; k < a.val.size(); ++k)
      a.val[k] = (k % 2 ? -1.0 : 1.0) * std::exp(-(p[a.row[k] - 1] + q[a.col[k] - 1]));
    const Scaled s = run(a);
    const double f = objective(a, s.r, s.c);
    const std::vector<double> zero(n, 0.0);
    EXPECT_LT(f, 0.25 * static_cast<double>(a.nz())) << "n=" << n;
    EXPECT_LT(f, 0.01 * objective(a, zero, zero)) << "n=" << n;
  }
}

TEST(Mc19Ad, ScaledEntriesAreCloserToOneThanUnscaled) {
  std::mt19937_64 rng(5);
  std::lognormal_distribution<double> mag(0.0, 4.0);
  for (IWORD n : {3, 10, 40, 120}) {
    Triplets a = random_sparse(n, 4, 300 + n, n % 2 == 0);
    for (auto& v : a.val) v = mag(rng);
    const Scaled s = run(a);
    const std::vector<double> zero(n, 0.0);
    const double f0 = objective(a, zero, zero), f = objective(a, s.r, s.c);
    EXPECT_LT(f, f0) << "n=" << n;
    // Near a minimum: no coordinate step improves the fit noticeably.
    std::vector<double> r = s.r;
    for (IWORD i = 0; i < n; ++i) {
      double sum = 0.0;
      int cnt = 0;
      for (std::size_t k = 0; k < a.val.size(); ++k)
        if (a.row[k] == i + 1) {
          sum += std::log(a.val[k]) + s.r[i] + s.c[a.col[k] - 1];
          ++cnt;
        }
      if (cnt) r[i] -= sum / cnt;
    }
    EXPECT_LT(f - objective(a, r, s.c), 0.05 * f + 1e-9) << "n=" << n;
  }
}

}  // namespace
