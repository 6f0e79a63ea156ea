// Homotopy functions, their parameter derivative, scaling and the bound
// approach of the continuation solver.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "fcont/fcont_parts.hpp"

namespace {

using IWORD = ::IWORD;
using Vec = std::vector<double>;

// A 3 x 3 problem: start point x0, its residual F0, a start Jacobian J0 in
// both storages (sparse with a repeated position (1,2) split 1.5 + 0.5), the
// scale factors and a second point x with residual F.
struct Problem {
  IWORD n = 3;
  Vec x0 = {1.0, -2.0, 0.5};
  Vec f0 = {0.25, -1.0, 3.0};
  Vec x = {1.5, -1.0, 0.0};
  Vec f = {2.0, 0.5, -0.75};
  Vec fscale = {2.0, 0.5, 4.0};
  Vec xscale = {1.0, 8.0, 0.25};
  // Dense J0 (leading dimension N): rows {4, 2, 0}, {1, 3, -1}, {0, 0, 5}.
  Vec jdense = {4.0, 1.0, 0.0, 2.0, 3.0, 0.0, 0.0, -1.0, 5.0};
  std::vector<IWORD> irn = {1, 2, 1, 2, 3, 2, 1};
  std::vector<IWORD> icn = {1, 1, 2, 2, 3, 3, 2};
  Vec jsparse = {4.0, 1.0, 1.5, 3.0, 5.0, -1.0, 0.5};
  IWORD nz = 7;

  // J0 (x - x0) computed directly from the dense rows.
  Vec j0d() const {
    Vec r(3, 0.0);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r[i] += jdense[i + 3 * j] * (x[j] - x0[j]);
    return r;
  }
};

Vec homres(const Problem& p, IWORD ihom, IWORD istore, const Vec& x, double lam, const Vec& f) {
  Vec h(3, -99.0);
  const double* aj0 = istore == 1 ? p.jsparse.data() : p.jdense.data();
  orvika::fcont_homres(ihom, p.n, x.data(), lam, f.data(), p.x0.data(), p.f0.data(), aj0,
                       h.data(), p.fscale.data(), p.xscale.data(), istore, p.nz, p.irn.data(),
                       p.icn.data());
  return h;
}

Vec homlam(const Problem& p, IWORD ihom, IWORD istore, const Vec& x, const Vec& f, Vec d) {
  const double* aj0 = istore == 1 ? p.jsparse.data() : p.jdense.data();
  orvika::fcont_homlam(ihom, p.n, x.data(), 0.3, f.data(), p.x0.data(), aj0, p.fscale.data(),
                       p.xscale.data(), istore, p.nz, p.irn.data(), p.icn.data(), d.data());
  return d;
}

struct Kind {
  IWORD ihom, istore;
};
const Kind kKinds[] = {{1, 1}, {2, 1}, {2, 2}, {3, 1}, {3, 2}};

// At the parameter 1 the start point is a zero of types 1-3 (exactly).
TEST(FcontHomotopy, StartPointIsZeroAtParameterOne) {
  Problem p;
  for (const Kind& k : kKinds) {
    const Vec h = homres(p, k.ihom, k.istore, p.x0, 1.0, p.f0);
    for (double v : h) EXPECT_EQ(v, 0.0) << "ihom=" << k.ihom << " istore=" << k.istore;
  }
}

// At the parameter 0 every homotopy is the caller's residual.
TEST(FcontHomotopy, CallersSystemAtParameterZero) {
  Problem p;
  for (const Kind& k : kKinds) {
    const Vec h = homres(p, k.ihom, k.istore, p.x, 0.0, p.f);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(h[i], p.f[i]) << "ihom=" << k.ihom;
  }
  const Vec h4 = homres(p, 4, 1, p.x, 0.7, p.f);
  EXPECT_EQ(h4, p.f);
}

// Values at an interior parameter, from the defining formulas.
TEST(FcontHomotopy, ValuesByConstruction) {
  Problem p;
  const double lam = 0.4;
  const Vec t = p.j0d();
  for (const Kind& k : kKinds) {
    const Vec h = homres(p, k.ihom, k.istore, p.x, lam, p.f);
    for (int i = 0; i < 3; ++i) {
      double e = 0.0;
      switch (k.ihom) {
        case 1: e = p.f[i] - lam * p.f0[i]; break;
        case 2: e = (1 - lam) * p.f[i] + lam * t[i]; break;
        case 3:
          e = (1 - lam) * p.f[i] + lam * (p.x[i] - p.x0[i]) / (p.fscale[i] * p.xscale[i]);
          break;
      }
      EXPECT_NEAR(h[i], e, 1e-14) << "ihom=" << k.ihom << " istore=" << k.istore << " i=" << i;
    }
  }
}

// H is affine in the parameter, so -dH/dlambda = H(x, 0) - H(x, 1).
TEST(FcontHomotopy, ParameterDerivativeMatchesDifference) {
  Problem p;
  for (const Kind& k : kKinds) {
    const Vec h0 = homres(p, k.ihom, k.istore, p.x, 0.0, p.f);
    const Vec h1 = homres(p, k.ihom, k.istore, p.x, 1.0, p.f);
    // Type 1 keeps -dH/dlambda in F0 itself: homlam leaves D alone.
    const Vec d = homlam(p, k.ihom, k.istore, p.x, p.f, k.ihom == 1 ? p.f0 : Vec(3, -99.0));
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(d[i], h0[i] - h1[i], 1e-14) << "ihom=" << k.ihom << " istore=" << k.istore;
  }
}

TEST(FcontHomotopy, OtherTypesLeaveOutputsUntouched) {
  Problem p;
  const Vec d0 = {7.0, -8.0, std::numeric_limits<double>::quiet_NaN()};
  for (IWORD ihom : {1, 4, 0, 5, -1}) {
    const Vec d = homlam(p, ihom, 1, p.x, p.f, d0);
    EXPECT_EQ(d[0], 7.0);
    EXPECT_EQ(d[1], -8.0);
    EXPECT_TRUE(std::isnan(d[2]));
  }
  for (IWORD ihom : {0, 5, -1}) EXPECT_EQ(homres(p, ihom, 1, p.x, 0.5, p.f), Vec(3, -99.0));
  // N <= 0 writes nothing.
  Vec h(3, -99.0);
  orvika::fcont_homres(1, 0, p.x.data(), 0.5, p.f.data(), p.x0.data(), p.f0.data(), nullptr,
                       h.data(), nullptr, nullptr, 1, 0, nullptr, nullptr);
  EXPECT_EQ(h, Vec(3, -99.0));
}

// Sparse repeated positions add up, giving the dense product.
TEST(FcontHomotopy, SparseRepeatedEntriesAddUp) {
  Problem p;
  const Vec hs = homres(p, 2, 1, p.x, 1.0, p.f);
  const Vec hd = homres(p, 2, 2, p.x, 1.0, p.f);
  const Vec t = p.j0d();
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(hs[i], t[i], 1e-14);
    EXPECT_NEAR(hd[i], t[i], 1e-14);
  }
}

// Entries of the sparse pattern outside 1..N are passed over, not indexed.
TEST(FcontHomotopy, SparseEntriesOutOfRangeArePassedOver) {
  Problem p;
  p.irn = {1, 0, 4, 2};
  p.icn = {1, 1, 2, -3};
  p.jsparse = {2.0, 100.0, 100.0, 100.0};
  p.nz = 4;
  const Vec h = homres(p, 2, 1, p.x, 1.0, p.f);
  EXPECT_EQ(h[0], 2.0 * (p.x[0] - p.x0[0]));
  EXPECT_EQ(h[1], 0.0);
  EXPECT_EQ(h[2], 0.0);
}

TEST(FcontHomotopy, ScaleAndUnscaleRoundTrip) {
  Problem p;
  Vec y(4, 0.0);
  orvika::fcont_scale(3, p.x.data(), 0.625, p.xscale.data(), 0.125, y.data());
  const Vec ye = {1.5 / 1.0, -1.0 / 8.0, 0.0 / 0.25, 0.625 / 0.125};
  EXPECT_EQ(y, ye);
  Vec x(3, 0.0);
  double lam = -1.0;
  orvika::fcont_unscale(3, y.data(), p.xscale.data(), 0.125, x.data(), lam);
  EXPECT_EQ(x, p.x);
  EXPECT_EQ(lam, 0.625);
}

TEST(FcontHomotopy, BoundApproach) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    IWORD lubnds;
    double bndapp, xb, x, lb, ub;
    double expect;
    IWORD counted;
  };
  const Case cases[] = {
      {"bounds off, outside", 0, 0.9, 0.5, 5.0, 0.0, 1.0, 5.0, 0},
      {"inside, within reach", 1, 0.9, 0.5, 0.6, 0.0, 1.0, 0.6, 0},
      {"inside, beyond the fraction", 1, 0.9, 0.5, 0.99, 0.0, 1.0, 0.95, 0},
      {"above the upper bound", 1, 0.9, 0.5, 3.0, 0.0, 1.0, 0.95, 1},
      {"below the lower bound", 1, 0.5, 0.5, -3.0, 0.0, 1.0, 0.25, 1},
      {"fraction 1 clamps exactly", 1, 1.0, 0.5, 3.0, 0.0, 1.0, 1.0, 1},
      {"base on its lower bound", 1, 0.5, 0.0, -1.0, 0.0, 1.0, 0.0, 1},
      {"NaN becomes hi, uncounted", 1, 0.9, 0.5, nan, 0.0, 1.0, 0.95, 0},
      {"LUBNDS other than 1", 2, 0.9, 0.5, 5.0, 0.0, 1.0, 5.0, 0},
      // 1e29 + (1 - 1e29) rounds to 0: the base is far from a bound of order 1.
      {"far base, fraction 1, below", 1, 1.0, 1e29, -5.0, 1.0, 1e300, 1.0, 1},
      {"far base, fraction 1, above", 1, 1.0, -1e29, 5.0, -1e300, -1.0, -1.0, 1},
  };
  for (const Case& c : cases) {
    double x = c.x;
    IWORD nb = -1;
    orvika::fcont_bndapp(1, c.lubnds, c.bndapp, &c.xb, &x, &c.lb, &c.ub, nb);
    EXPECT_DOUBLE_EQ(x, c.expect) << c.what;
    EXPECT_EQ(nb, c.counted) << c.what;
  }
  // Several components: the count is over all of them.
  const double xb[3] = {0.5, 0.5, 0.5}, lb[3] = {0, 0, 0}, ub[3] = {1, 1, 1};
  double x[3] = {-1.0, 0.5, 2.0};
  IWORD nb = 0;
  orvika::fcont_bndapp(3, 1, 0.9, xb, x, lb, ub, nb);
  EXPECT_EQ(nb, 2);
  EXPECT_DOUBLE_EQ(x[0], 0.05);
  EXPECT_DOUBLE_EQ(x[2], 0.95);
}

}  // namespace
