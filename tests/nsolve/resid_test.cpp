// ORVK_RESID, RESIDC, SSCALV, SSCALJ, VCLAMP.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kernels/sparse.hpp"
#include "nsolve/nsolve.hpp"
#include "orvika/nsolve.h"

namespace {

TEST(NsolveResid, RowCompressedResidual) {
  // A = [[2, 1], [0, 3]], X = (1, 2): A X = (4, 6).
  const IWORD n = 2;
  const IWORD irp[3] = {1, 3, 4};
  const IWORD ici[3] = {1, 2, 2};
  const double a[3] = {2, 1, 3};
  const double x[2] = {1, 2};
  {
    const double b[2] = {4, 6};
    double rn = -1, rr = -1;
    const double bn = ORVK_RESID(&n, irp, ici, a, x, b, &rn, &rr);
    EXPECT_EQ(rn, 0.0);
    EXPECT_EQ(rr, 0.0);
    EXPECT_DOUBLE_EQ(bn, std::sqrt(52.0));
  }
  {
    const double b[2] = {1, 2};  // residual (-3, -4)
    double rn, rr;
    const double bn = ORVK_RESID(&n, irp, ici, a, x, b, &rn, &rr);
    EXPECT_DOUBLE_EQ(rn, 5.0);
    EXPECT_DOUBLE_EQ(rr, 5.0 / std::sqrt(5.0));
    EXPECT_DOUBLE_EQ(bn, std::sqrt(5.0));
  }
  {
    const double b[2] = {0, 0};  // B = 0, A X != 0: divided by 1e-10
    double rn, rr;
    EXPECT_EQ(ORVK_RESID(&n, irp, ici, a, x, b, &rn, &rr), 1e-10);
    EXPECT_DOUBLE_EQ(rr, rn / 1e-10);
    const double z[2] = {0, 0};
    ORVK_RESID(&n, irp, ici, a, z, b, &rn, &rr);
    EXPECT_EQ(rn, 0.0);
    EXPECT_EQ(rr, 0.0);
  }
  {
    const IWORD zero = 0;
    double rn = -1, rr = -1;
    EXPECT_EQ(ORVK_RESID(&zero, irp, ici, a, x, x, &rn, &rr), 1e-10);
    EXPECT_EQ(rn, 0.0);
    EXPECT_EQ(rr, 0.0);
  }
  {
    // A column number outside 1..N takes no part.
    const IWORD bad[3] = {1, 9, 2};
    const double b[2] = {2, 6};
    double rn, rr;
    ORVK_RESID(&n, irp, bad, a, x, b, &rn, &rr);
    EXPECT_EQ(rn, 0.0);
  }
}

TEST(NsolveResid, RowPointersBelowOneTakeNoTime) {
  // Row pointers below 1 mark positions that take no part; a pointer far
  // below 1 must not make the routine walk to 1 one position at a time.
  // A = [[2, 1], [0, 3]] with the entries of row 1 from position 1 on.
  const IWORD n = 2;
  const IWORD ici[3] = {1, 2, 2};
  const double a[3] = {2, 1, 3};
  const double x[2] = {1, 2};
  const double b[2] = {4, 7};  // residual (0, 1)
  for (const IWORD first : {IWORD{1}, IWORD{0}, IWORD{-5}, IWORD{-4000000000000000000}}) {
    SCOPED_TRACE(first);
    const IWORD irp[3] = {first, 3, 4};
    double rn = -1, rr = -1;
    const double bn = ORVK_RESID(&n, irp, ici, a, x, b, &rn, &rr);
    EXPECT_DOUBLE_EQ(rn, 1.0);
    EXPECT_DOUBLE_EQ(rr, 1.0 / std::sqrt(65.0));
    EXPECT_DOUBLE_EQ(bn, std::sqrt(65.0));
  }
}

TEST(NsolveResid, NormsAtExtremeMagnitudes) {
  // A = [[2, 1], [0, 3]], X = SIGMA (1, 2): A X = SIGMA (4, 6).  The
  // residual and right-hand side norms are representable although their
  // squares are not: B = SIGMA (1, 2) leaves the residual -SIGMA (3, 4) of
  // norm 5 SIGMA; B = SIGMA (4, 6 + 1e-6) leaves a residual of relative size
  // about 1.4e-7, which must not come back as 0.
  const IWORD n = 2;
  const IWORD irp[3] = {1, 3, 4}, ici[3] = {1, 2, 2};
  const IWORD irn[3] = {1, 1, 2};
  const double a[3] = {2, 1, 3};
  for (double sigma : {1e160, 1e200, 1e300 / 8, 1e-160, 1e-200, 1e-300}) {
    SCOPED_TRACE(sigma);
    const double x[2] = {sigma, 2 * sigma};
    struct Case {
      double b[2];
      double rnorm, bnorm;  // expected norms
    };
    const double b2 = (6 + 1e-6) * sigma;
    const double near = b2 - 6 * sigma;  // exact: the two lie within a factor 2
    const Case cases[] = {
        {{sigma, 2 * sigma}, 5 * sigma, std::sqrt(5.0) * sigma},
        {{4 * sigma, b2}, near, std::sqrt(16 + (b2 / sigma) * (b2 / sigma)) * sigma},
    };
    for (const Case& k : cases) {
      const double bn = std::fmax(k.bnorm, 1e-10);
      double rn = -1, rr = -1, w[2];
      EXPECT_NEAR(ORVK_RESID(&n, irp, ici, a, x, k.b, &rn, &rr) / bn, 1.0, 1e-14);
      EXPECT_NEAR(rn / k.rnorm, 1.0, 1e-14);
      EXPECT_NEAR(rr / (k.rnorm / bn), 1.0, 1e-14);
      orvika::RESIDC(n, 3, irn, ici, a, x, k.b, w, rn, rr);
      EXPECT_NEAR(rn / k.rnorm, 1.0, 1e-14);
      EXPECT_NEAR(rr / (k.rnorm / bn), 1.0, 1e-14);
    }
  }
}

TEST(NsolveResid, CoordinateResidualAddsRepeats) {
  const IWORD irn[4] = {1, 1, 2, 2};
  const IWORD icn[4] = {1, 1, 2, 7};  // a repeated position; an entry outside
  const double a[4] = {1.5, 0.5, 3, 100};
  const double x[2] = {2, 1};
  const double b[2] = {4, 3};
  double w[2], rn = -1, rr = -1;
  orvika::RESIDC(2, 4, irn, icn, a, x, b, w, rn, rr);
  EXPECT_EQ(w[0], 4.0);
  EXPECT_EQ(w[1], 3.0);
  EXPECT_EQ(rn, 0.0);
  EXPECT_EQ(rr, 0.0);
  const double b2[2] = {0, 0};
  orvika::RESIDC(2, 4, irn, icn, a, x, b2, w, rn, rr);
  EXPECT_DOUBLE_EQ(rn, 5.0);
  EXPECT_DOUBLE_EQ(rr, 5.0 / 1e-10);
  orvika::RESIDC(0, 4, irn, icn, a, x, b, w, rn, rr);
  EXPECT_EQ(rn, 0.0);
  EXPECT_EQ(rr, 0.0);
}

TEST(NsolveResid, ScaleVectors) {
  double x[3] = {2, -4, 6}, s[3] = {2, 4, 3}, y[3] = {0, 0, 0};
  orvika::SSCALV(3, 1, 1, x, s, y);
  EXPECT_EQ(std::vector<double>(y, y + 3), (std::vector<double>{1, -1, 2}));
  orvika::SSCALV(3, 1, -1, x, s, y);  // any nonzero flag scales
  EXPECT_EQ(std::vector<double>(y, y + 3), (std::vector<double>{1, -1, 2}));
  orvika::SSCALV(3, 1, 0, x, s, y);
  EXPECT_EQ(std::vector<double>(y, y + 3), (std::vector<double>{2, -4, 6}));
  double y2[3] = {1, 1, 1};
  orvika::SSCALV(3, 2, 1, x, s, y2);
  EXPECT_EQ(std::vector<double>(x, x + 3), (std::vector<double>{2, 4, 3}));
  orvika::SSCALV(3, 3, 1, x, s, y2);  // other modes: nothing
  EXPECT_EQ(std::vector<double>(x, x + 3), (std::vector<double>{2, 4, 3}));
  EXPECT_EQ(std::vector<double>(y2, y2 + 3), (std::vector<double>{1, 1, 1}));
}

TEST(NsolveResid, ScaleJacobianRoundTrip) {
  const double rf[2] = {2, 0.5}, cf[2] = {3, 10};
  // Coordinate: entries (1,1), (2,1), (1,2).
  const IWORD irn[3] = {1, 2, 1}, icn[3] = {1, 1, 2};
  double bj[3] = {4, 1, -2}, bjs[3];
  orvika::SSCALJ(2, 2, 3, 1, 1, 1, rf, 1, cf, irn, icn, bj, bjs);
  EXPECT_EQ(std::vector<double>(bjs, bjs + 3), (std::vector<double>{6, 6, -10}));
  double back[3] = {0, 0, 0};
  orvika::SSCALJ(2, 2, 3, 1, 2, 1, rf, 1, cf, irn, icn, back, bjs);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], bj[k], 1e-15);
  EXPECT_EQ(bjs[0], 6.0);  // BJS stays scaled
  // Dense 2 x 2 column-major: the same matrix with a zero at (2,2).
  double d[4] = {4, 1, -2, 0}, ds[4];
  orvika::SSCALJ(2, 2, 4, 2, 1, 1, rf, 1, cf, nullptr, nullptr, d, ds);
  EXPECT_EQ(std::vector<double>(ds, ds + 4), (std::vector<double>{6, 6, -10, 0}));
  // Only columns scaled; NZ = 0 in coordinate storage does nothing.
  orvika::SSCALJ(2, 2, 3, 1, 1, 0, rf, 1, cf, irn, icn, bj, bjs);
  EXPECT_EQ(std::vector<double>(bjs, bjs + 3), (std::vector<double>{12, 3, -20}));
  double keep[3] = {7, 7, 7};
  orvika::SSCALJ(2, 2, 0, 1, 1, 1, rf, 1, cf, irn, icn, bj, keep);
  EXPECT_EQ(keep[0], 7.0);
}

TEST(NsolveResid, Clamp) {
  double x[6] = {-3e20, 2.5, 0.0, -0.0, 1e16, std::nan("")};
  orvika::VCLAMP(6, 0.0, 1e15, x);
  EXPECT_EQ(x[0], -1e15);
  EXPECT_EQ(x[1], 2.5);
  EXPECT_EQ(x[2], 0.0);
  EXPECT_FALSE(std::signbit(x[3]));
  EXPECT_EQ(x[4], 1e15);
  EXPECT_EQ(x[5], 1e15);
  double y[2] = {-1e-3, 1e-3};
  orvika::VCLAMP(2, 1.0, 5.0, y);
  EXPECT_EQ(y[0], -1.0);
  EXPECT_EQ(y[1], 1.0);
}

}  // namespace
