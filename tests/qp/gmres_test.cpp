// GMRES KKT solver: solutions of KKT systems against a dense reference,
// start vectors, restarts, the cycle limit and the work-space messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/qp.h"
#include "qp/qp.hpp"
#include "support/capture.hpp"

namespace {

using Vec = std::vector<double>;
using IVec = std::vector<IWORD>;

constexpr int kUnit = 62;

// Symmetric K as dense (column-major) and as its lower triangle by rows.
struct Kkt {
  int n = 0;
  Vec dense;
  IVec ia, ja;
  Vec a;
  void build_rows() {
    ia.assign(1, 1);
    ja.clear();
    a.clear();
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j <= i; ++j)
        if (dense[i + j * n] != 0.0) ja.push_back(j + 1), a.push_back(dense[i + j * n]);
      ia.push_back(static_cast<IWORD>(ja.size()) + 1);
    }
  }
  Vec times(const Vec& x) const {
    Vec y(n, 0.0);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) y[i] += dense[i + j * n] * x[j];
    return y;
  }
};

// [H A'; A 0] with H = random sparse, diagonally dominant, A (m x nv) of
// full row rank.
Kkt random_kkt(int nv, int m, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0), p(0.0, 1.0);
  Kkt k;
  k.n = nv + m;
  k.dense.assign(k.n * k.n, 0.0);
  auto at = [&](int i, int j) -> double& { return k.dense[i + j * k.n]; };
  for (int i = 0; i < nv; ++i)
    for (int j = 0; j < i; ++j)
      if (p(gen) < 0.3) at(i, j) = at(j, i) = u(gen);
  for (int i = 0; i < nv; ++i) {
    double s = 0;
    for (int j = 0; j < nv; ++j) s += j == i ? 0 : std::fabs(at(i, j));
    at(i, i) = s + 1.0 + p(gen);
  }
  for (int r = 0; r < m; ++r) {
    for (int j = 0; j < nv; ++j)
      if (p(gen) < 0.3) at(nv + r, j) = at(j, nv + r) = u(gen);
    at(nv + r, r % nv) += 2.0;
    at(r % nv, nv + r) = at(nv + r, r % nv);
  }
  k.build_rows();
  return k;
}

IWORD int_len(IWORD n) {
  const IWORD m = std::min<IWORD>(2 * n, 50);
  return 2 * (m + 1) * (m + 1) + 4 * m + 11 + 2 * n;
}
IWORD real_len(IWORD n) {
  const IWORD m = std::min<IWORD>(2 * n, 50);
  return 2 * (m + 1) * (m + 1) + m * (m + 1) + 9 * m + 5 + 2 * n * m + 8 * n;
}

struct GmRun {
  Vec x;
  IWORD ifail = -9;
};

GmRun run(const Kkt& k, const Vec& b, const Vec& x0, IWORD liw = -1, IWORD lrw = -1) {
  const IWORD n = k.n;
  IVec iw(liw < 0 ? int_len(n) : liw, 77);
  Vec rw(lrw < 0 ? real_len(n) : lrw, 77.0);
  GmRun r;
  r.x.assign(std::max<std::size_t>(n, x0.size()), -3.0);
  orvika::GMRES(n, static_cast<IWORD>(x0.size()), x0.data(), k.ia.data(), k.ja.data(), k.a.data(),
                b.data(), r.x.data(), static_cast<IWORD>(iw.size()), iw.data(),
                static_cast<IWORD>(rw.size()), rw.data(), r.ifail);
  return r;
}

double resid(const Kkt& k, const Vec& b, const Vec& x) {
  const Vec y = k.times(Vec(x.begin(), x.begin() + k.n));
  double s = 0;
  for (int i = 0; i < k.n; ++i) s += (b[i] - y[i]) * (b[i] - y[i]);
  return std::sqrt(s);
}

class GmresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    for (auto& w : ORVK_NLPINT) w = 0;
    ORVK_NLPINT[ORVK_NLPINT_KKTUNIT - 1] = kUnit;
  }
};

TEST_F(GmresTest, SolvesKktSystems) {
  struct Case {
    const char* what;
    int nv, m;
  } cases[] = {
      {"order 1", 1, 0},       {"order 3", 2, 1},        {"order 10", 7, 3},
      {"order 30", 20, 10},    {"order 50", 35, 15},     {"order 80 restarts", 60, 20},
      {"order 120", 90, 30},
  };
  for (const auto& c : cases) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE(std::string(c.what) + " seed " + std::to_string(seed));
      const Kkt k = random_kkt(c.nv, c.m, seed);
      // Right-hand side of a known solution.
      Vec xs(k.n);
      std::mt19937 gen(seed + 50);
      std::uniform_real_distribution<double> u(-1.0, 1.0);
      for (auto& v : xs) v = u(gen);
      const Vec b = k.times(xs);
      const GmRun r = run(k, b, {});
      ASSERT_EQ(r.ifail, 0);
      EXPECT_LT(resid(k, b, r.x), 1e-5);
      double e = 0;
      for (int i = 0; i < k.n; ++i) e = std::max(e, std::fabs(r.x[i] - xs[i]));
      EXPECT_LT(e, 1e-3);
    }
  }
}

// K with a zero first Hessenberg entry: b lies in the constraint rows.
Kkt one_equality() {
  Kkt k;
  k.n = 3;
  k.dense = {2, 0, 1, 0, 2, 1, 1, 1, 0};
  k.build_rows();
  return k;
}

TEST_F(GmresTest, ZeroFirstHessenbergEntry) {
  const Kkt k = one_equality();
  const Vec b = {0.0, 0.0, 2.0};
  // Once after a call that leaves a nonzero first angle, once after one
  // that starts with the same zero entry.
  for (int rep = 0; rep < 2; ++rep) {
    const Kkt other = random_kkt(4, 1, 3);
    run(other, Vec(other.n, 1.0), {});
    const GmRun r = run(k, b, {});
    ASSERT_EQ(r.ifail, 0);
    EXPECT_NEAR(r.x[0], 1.0, 1e-9);
    EXPECT_NEAR(r.x[1], 1.0, 1e-9);
    EXPECT_NEAR(r.x[2], -2.0, 1e-9);
  }
}

TEST_F(GmresTest, SingularSystemIsNotReportedConverged) {
  // K = diag(0, 1), b = (1, 0): no x reduces the residual.
  Kkt k;
  k.n = 2;
  k.dense = {0, 0, 0, 1};
  k.build_rows();
  k.ja.push_back(1), k.a.push_back(0.0);  // row 1 stores its zero diagonal
  k.ia = {1, 2, 3};
  k.ja = {1, 2};
  k.a = {0.0, 1.0};
  orvika_test::UnitCapture cap(kUnit);
  const GmRun r = run(k, {1.0, 0.0}, {});
  EXPECT_EQ(r.ifail, 1);
  EXPECT_EQ(cap.text(), "\n\n    MAXIMUM ITERATION NUMBER IS EXCEEDED in GMRES\n");
}

// Singular K with b outside its range: rounding leaves a tiny, nonzero
// diagonal entry in R, so the estimate of the least-squares residual drops
// below the tolerance while X (of size 1e16 and more) misses b by far.  Such
// an X is never returned as converged: a call that ends with IFAIL 0 has a
// true residual below 1e-5.  First K = [h a c; a 0 0; c 0 0] (one variable,
// two dependent rows), then KKT matrices with H = 0, with a rank-deficient
// diagonal H and with repeated constraint rows.
TEST_F(GmresTest, InconsistentSingularSystemsAreNotReportedConverged) {
  struct Case {
    double h, a, c;
    Vec b;
  };
  const Case cases[] = {
      {0, 1, 3, {1, 1, 0}}, {0, 2, 1, {0, 1, 3}}, {0, 2, 3, {1, -1, 1}}, {0, -1, 3, {1, 1, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.a) + " " + std::to_string(c.c));
    Kkt k;
    k.n = 3;
    k.dense = {c.h, c.a, c.c, c.a, 0, 0, c.c, 0, 0};
    k.build_rows();
    orvika_test::UnitCapture cap(kUnit);
    const GmRun r = run(k, c.b, {});
    EXPECT_EQ(r.ifail, 1);
    EXPECT_EQ(cap.text(), "\n\n    MAXIMUM ITERATION NUMBER IS EXCEEDED in GMRES\n");
  }
  std::mt19937 gen(1);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int converged = 0;
  for (int t = 0; t < 300; ++t) {
    const int nv = 1 + t % 7, m = 1 + (t / 7) % 4, kind = t % 3;
    Kkt k;
    k.n = nv + m;
    k.dense.assign(k.n * k.n, 0.0);
    auto at = [&](int i, int j) -> double& { return k.dense[i + j * k.n]; };
    if (kind == 1)
      for (int i = 0; i < nv; ++i) at(i, i) = u(gen);
    for (int r = 0; r < m; ++r)
      for (int j = 0; j < nv; ++j)
        at(nv + r, j) = at(j, nv + r) = kind == 2 && r > 0 ? at(nv, j) : u(gen);
    k.build_rows();
    Vec b(k.n);
    for (double& v : b) v = u(gen);
    orvika_test::UnitCapture cap(kUnit);
    const GmRun r = run(k, b, {});
    ASSERT_TRUE(r.ifail == 0 || r.ifail == 1) << t;
    if (r.ifail != 0) continue;
    ++converged;
    EXPECT_LT(resid(k, b, r.x), 1e-5) << t;
  }
  EXPECT_GT(converged, 0);
}

TEST_F(GmresTest, ZeroRightHandSideGivesZero) {
  const Kkt k = random_kkt(5, 2, 4);
  const GmRun r = run(k, Vec(k.n, 0.0), {});
  EXPECT_EQ(r.ifail, 0);
  for (int i = 0; i < k.n; ++i) EXPECT_EQ(r.x[i], 0.0);
}

TEST_F(GmresTest, StartVector) {
  const Kkt k = random_kkt(8, 3, 5);
  Vec xs(k.n, 0.5);
  const Vec b = k.times(xs);
  struct Row {
    const char* what;
    Vec x0;
  } rows[] = {
      {"exact solution: nothing to do", xs},
      {"shorter start vector", Vec(xs.begin(), xs.begin() + 6)},
      {"longer start vector", [&] {
         Vec v = xs;
         v.push_back(99.0);
         v.push_back(-99.0);
         return v;
       }()},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const GmRun out = run(k, b, r.x0);
    ASSERT_EQ(out.ifail, 0);
    EXPECT_LT(resid(k, b, out.x), 1e-5);
  }
  // The exact start returns at once, X being the start vector.
  const GmRun out = run(k, b, xs);
  for (int i = 0; i < k.n; ++i) EXPECT_NEAR(out.x[i], xs[i], 1e-12);
}

TEST_F(GmresTest, NotANumberEndsAtTheCycleLimit) {
  const Kkt k = random_kkt(4, 1, 6);
  Vec b(k.n, 1.0);
  b[2] = std::numeric_limits<double>::quiet_NaN();
  ORVK_NLPINT[ORVK_NLPINT_KKTLEVEL - 1] = 0;
  orvika_test::UnitCapture cap(kUnit);
  const GmRun r = run(k, b, {});
  EXPECT_EQ(r.ifail, 1);
  EXPECT_EQ(cap.text(), "\n\n    MAXIMUM ITERATION NUMBER IS EXCEEDED in GMRES\n");
}

TEST_F(GmresTest, WorkArraysTooShort) {
  const Kkt k = random_kkt(3, 1, 7);  // N = 4, M = 8
  const IWORD n = k.n;
  ASSERT_EQ(int_len(n), 2 * 81 + 32 + 11 + 8);
  ASSERT_EQ(real_len(n), 2 * 81 + 72 + 72 + 5 + 64 + 32);
  struct Row {
    IWORD liw, lrw;
    const char* text;
  } rows[] = {
      {int_len(n) - 1, real_len(n),
       "\n     WORKING STORAGE FOR IWKGM HAS TO BE INCREASED TO   213\n\n"},
      {int_len(n), real_len(n) - 1,
       "\n     WORKING STORAGE FOR RWKGM HAS TO BE INCREASED TO   407\n\n"},
  };
  for (const auto& r : rows) {
    orvika_test::UnitCapture cap(kUnit);
    const GmRun out = run(k, Vec(n, 1.0), {}, r.liw, r.lrw);
    EXPECT_EQ(out.ifail, 2);
    EXPECT_EQ(cap.text(), r.text);
    for (int i = 0; i < n; ++i) EXPECT_EQ(out.x[i], -3.0);  // X untouched
  }
}

TEST_F(GmresTest, UnusableRowPointers) {
  Kkt k = random_kkt(3, 1, 8);
  k.ia[2] = k.ia[1] - 1;
  const GmRun out = run(k, Vec(k.n, 1.0), {});
  EXPECT_EQ(out.ifail, 2);
}

TEST_F(GmresTest, LowPrintLevelsShowOnlyTheCycleDumps) {
  const Kkt k = random_kkt(4, 2, 9);
  for (IWORD lvl : {1, 2}) {
    SCOPED_TRACE(lvl);
    ORVK_NLPINT[ORVK_NLPINT_KKTLEVEL - 1] = lvl;
    orvika_test::UnitCapture cap(kUnit);
    const GmRun r = run(k, Vec(k.n, 1.0), {});
    ASSERT_EQ(r.ifail, 0);
    const auto& l = cap.lines();
    ASSERT_EQ(l.size() % 6, 0u);
    for (std::size_t i = 0; i < l.size(); i += 6) {
      EXPECT_EQ(l[i], "");
      EXPECT_EQ(l[i + 1], "  ITER      ");
      EXPECT_EQ(l[i + 2], "   " + std::string(4, ' ') + std::to_string(i / 6 + 1));
      EXPECT_EQ(l[i + 3], "");
      EXPECT_EQ(l[i + 4], "  RESIDU    ");
    }
  }
}

TEST_F(GmresTest, SizeLinesAtLevelThree) {
  const Kkt k = random_kkt(1, 1, 10);  // N = 2, M = 4
  ORVK_NLPINT[ORVK_NLPINT_KKTLEVEL - 1] = 3;
  orvk_host_set_timer_step(0.25);
  orvika_test::UnitCapture cap(kUnit);
  const GmRun r = run(k, Vec(k.n, 1.0), {});
  orvk_host_set_timer_step(0.0);
  ASSERT_EQ(r.ifail, 0);
  const auto& l = cap.lines();
  const char* expect[] = {
      "",
      "  SIZE OF VECTOR     IQ-GMRES  IS             6",
      "",
      "  SIZE OF VECTOR     JQ-GMRES  IS            25",
      "",
      "  SIZE OF VECTOR     IF-GMRES  IS             6",
      "",
      "  SIZE OF VECTOR     JF-GMRES  IS             8",
      "",
      "  SIZE OF VECTOR     IW-GMRES  IS             6",
      "",
      "  SIZE OF VECTOR     JW-GMRES  IS            25",
      "",
      "  SIZE OF VECTOR     IX-GMRES  IS             4",
      "",
      "  SIZE OF VECTOR     TOT-IWKGMRIS            81",
  };
  ASSERT_GE(l.size(), std::size(expect));
  for (std::size_t i = 0; i < std::size(expect); ++i) EXPECT_EQ(l[i], expect[i]) << i;
  // The run ends with the success line and the elapsed time of two readings.
  const std::string text = cap.text();
  EXPECT_NE(text.find("\n\n\n    CONVERGENT SUCCESFULLY in GMRES\n\n  LNSLV TIME\n"
                      "     2.50000D-01\n"),
            std::string::npos);
}

}  // namespace
