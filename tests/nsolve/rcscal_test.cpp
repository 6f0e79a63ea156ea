// RCSCAL and LOGSCL: row and column scale factors.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "nsolve/nsolve.hpp"

namespace {

using orvika::LOGSCL;
using orvika::RCSCAL;

TEST(NsolveLogscl, DiagonalAndUnitMatrices) {
  // diag(s): R_i + C_i = -ln|s_i|.
  const IWORD irn[3] = {1, 2, 3}, icn[3] = {1, 2, 3};
  const double a[3] = {1e3, -2.0, 1e-4};
  double r[3], c[3], w[6], w2[9];
  IWORD ne = 3;
  LOGSCL(3, 3, ne, 1, irn, icn, a, r, c, w, w2);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(r[i] + c[i], -std::log(std::fabs(a[i])), 1e-12) << i;
  // All magnitudes 1: all exponents 0.
  const IWORD irn2[4] = {1, 1, 2, 2}, icn2[4] = {1, 2, 1, 2};
  const double ones[4] = {1, -1, 1, 1};
  ne = 4;
  LOGSCL(2, 2, ne, 1, irn2, icn2, ones, r, c, w, w2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(r[i], 0.0);
    EXPECT_EQ(c[i], 0.0);
  }
  // NE = 0: exponents 0, work untouched.
  for (double& v : w) v = 7.0;
  r[0] = c[0] = 5.0;
  ne = 0;
  LOGSCL(2, 2, ne, 1, irn2, icn2, ones, r, c, w, w2);
  EXPECT_EQ(r[0], 0.0);
  EXPECT_EQ(c[0], 0.0);
  EXPECT_EQ(w[0], 7.0);
}

TEST(NsolveLogscl, CoordinateEqualsDenseAndZeroLines) {
  // A 3 x 3 matrix with a zero row and column in its dense form.
  const double dense[9] = {4, 1e-3, 0, 2e2, 7, 0, 0, 0, 0};  // column-major, row 3 / col 3 zero
  const IWORD irn[5] = {1, 2, 1, 2, 3}, icn[5] = {1, 1, 2, 2, 3};
  const double a[5] = {4, 1e-3, 2e2, 7, 0.0};
  double r1[3], c1[3], r2[3], c2[3], w[6], w2[9];
  IWORD ne = 5;
  LOGSCL(3, 3, ne, 1, irn, icn, a, r1, c1, w, w2);
  IWORD ne2 = 2;
  LOGSCL(3, 3, ne2, 2, nullptr, nullptr, dense, r2, c2, w, w2);
  EXPECT_EQ(ne2, 9);  // dense: M N
  // The dense tolerance counts every stored entry (0.1 * 9 against 0.1 * 5),
  // so compare the fitted scaled entries loosely and the zero lines exactly.
  EXPECT_EQ(r1[2], 0.0);
  EXPECT_EQ(c1[2], 0.0);
  EXPECT_EQ(r2[2], 0.0);
  EXPECT_EQ(c2[2], 0.0);
  for (int k = 0; k < 4; ++k) {
    const IWORD i = irn[k] - 1, j = icn[k] - 1;
    const double s1 = std::log(std::fabs(a[k])) + r1[i] + c1[j];
    const double s2 = std::log(std::fabs(a[k])) + r2[i] + c2[j];
    EXPECT_LT(std::fabs(s1), 4.0);
    EXPECT_LT(std::fabs(s2), 4.0);
  }
}

TEST(NsolveLogscl, ReducesSpreadOfBadlyScaledMatrix) {
  // Entries 10^(p_i + q_j) are scaled exactly to 1 by some diagonal scaling.
  const int n = 5;
  const double p[n] = {3, -2, 5, 0, -6}, q[n] = {-1, 4, 2, -3, 1};
  std::vector<IWORD> irn, icn;
  std::vector<double> a;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      if (i == j || (i + j) % 2 == 0 || j == i + 1) {
        irn.push_back(i + 1);
        icn.push_back(j + 1);
        a.push_back(std::pow(10.0, p[i] + q[j]));
      }
  IWORD ne = static_cast<IWORD>(a.size());
  double r[n], c[n], w[2 * n], w2[3 * n];
  LOGSCL(n, n, ne, 1, irn.data(), icn.data(), a.data(), r, c, w, w2);
  double worst = 0;
  for (std::size_t k = 0; k < a.size(); ++k)
    worst = std::max(worst, std::fabs(std::log(a[k]) + r[irn[k] - 1] + c[icn[k] - 1]));
  EXPECT_LT(worst, 1.0);  // from a spread of 10^11 to within a factor e
}

TEST(NsolveRcscal, ModesAndClamps) {
  const IWORD n = 2;
  const IWORD irn[2] = {1, 2}, icn[2] = {1, 2};
  const double bj[2] = {1e3, 1e-2};
  const double x[2] = {-3.0, 0.0};
  double rs[2] = {9, 9}, cs[2] = {9, 9}, work[20];
  // Both modes 0: nothing written.
  RCSCAL(n, n, 2, 0, 0, 1, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
         nullptr, x, irn, icn, bj, rs, cs, work);
  EXPECT_EQ(rs[0], 9.0);
  EXPECT_EQ(cs[1], 9.0);
  // Row mode 2, column mode 0: RSCALE = exp(-R) clamped, CSCALE raw exponents.
  RCSCAL(n, n, 2, 2, 0, 1, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
         nullptr, x, irn, icn, bj, rs, cs, work);
  for (int i = 0; i < 2; ++i)
    EXPECT_NEAR(std::log(bj[i]) - std::log(rs[i]) + cs[i], 0.0, 1e-12);
  // Both modes 2: scaled entries 1.
  RCSCAL(n, n, 2, 2, 2, 1, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
         nullptr, x, irn, icn, bj, rs, cs, work);
  for (int i = 0; i < 2; ++i) EXPECT_NEAR(bj[i] / rs[i] * cs[i], 1.0, 1e-12);
  // Caller's factors (mode 3) clamped; one that is not a number becomes 1.
  double r3[2] = {0.0, 1e40}, c3[2] = {std::nan(""), -5.0};
  RCSCAL(n, n, 2, 3, 3, 1, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
         nullptr, x, irn, icn, bj, r3, c3, work);
  EXPECT_EQ(r3[0], 1e-35);
  EXPECT_EQ(r3[1], 1e35);
  EXPECT_EQ(c3[0], 1.0);
  EXPECT_EQ(c3[1], 1e-35);
}

TEST(NsolveRcscal, CallerSideKeptAndOtherSideFittedToIt) {
  // Entries 10^(p_i + q_j): with the row factors 10^p_i given, the column
  // factors 10^-q_j make every scaled entry 1, and the reverse.  The given
  // side must come back exactly as it went in, in both storages.
  const IWORD n = 3;
  const double p[n] = {0, 2, 4}, q[n] = {-1, 3, 1};
  const IWORD irn[7] = {1, 1, 2, 2, 2, 3, 3}, icn[7] = {1, 2, 1, 2, 3, 2, 3};
  double coord[7], dense[9] = {};
  for (int k = 0; k < 7; ++k) {
    const IWORD i = irn[k] - 1, j = icn[k] - 1;
    coord[k] = (k % 2 ? -1.0 : 1.0) * std::pow(10.0, p[i] + q[j]);
    dense[i + n * j] = coord[k];
  }
  struct Case {
    const char* label;
    IWORD irscl, icscl, istor;
  };
  const Case cases[] = {{"rows given, coordinate", 3, 2, 1},
                        {"rows given, dense", 3, 2, 2},
                        {"columns given, coordinate", 2, 3, 1},
                        {"columns given, dense", 2, 3, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    double rs[n], cs[n], work[5 * n];
    for (int i = 0; i < n; ++i) {
      rs[i] = c.irscl == 3 ? std::pow(10.0, p[i]) : 9.0;
      cs[i] = c.icscl == 3 ? std::pow(10.0, -q[i]) : 9.0;
    }
    const std::vector<double> rs0(rs, rs + n), cs0(cs, cs + n);
    const IWORD nz = c.istor == 1 ? 7 : n * n;
    RCSCAL(n, n, nz, c.irscl, c.icscl, c.istor, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr,
           nullptr, nullptr, nullptr, nullptr, irn, icn, c.istor == 1 ? coord : dense, rs, cs,
           work);
    if (c.irscl == 3) EXPECT_EQ(std::vector<double>(rs, rs + n), rs0);
    if (c.icscl == 3) EXPECT_EQ(std::vector<double>(cs, cs + n), cs0);
    for (int k = 0; k < 7; ++k)
      EXPECT_NEAR(std::fabs(coord[k]) * cs[icn[k] - 1] / rs[irn[k] - 1], 1.0, 1e-12) << k;
  }
}

TEST(NsolveRcscal, StructuralSizes) {
  // Three columns: 1 and 2 mapped to variable 1, 3 to variable 2 (and a 4th
  // column with no variable).  Equation 1: 2 x1^2 + exp(x2); equation 2:
  // ln(x1) * x2^-1; equation 3 without terms.  Rows: 1->eq1, 2->eq2,
  // 3->eq3, 4->none.
  const IWORD m = 4, n = 4;
  const IWORD varmap[4] = {1, 1, 2, 0};
  const IWORD eqmap[4] = {1, 2, 3, 9};
  const IWORD termptr[4] = {1, 3, 4, 4};
  const IWORD facptr[4] = {1, 3, 4, 6};
  const IWORD facvar[5] = {0, 1, 2, 1, 2};
  const double facexp[5] = {2.0, 2.0, 1000.0, -1000.0, -1.0};
  const double x[4] = {-4.0, 3.0, 2.0, 1e6};
  double rs[4], cs[4], work[16];
  RCSCAL(m, n, 0, 1, 1, 1, 3, eqmap, 2, varmap, termptr, nullptr, facptr, facvar, facexp, nullptr,
         x, nullptr, nullptr, nullptr, rs, cs, work);
  // Variable sizes: v1 = max(4, 3) = 4 (largest signed 3), v2 = 2.
  EXPECT_EQ(cs[0], 4.0);
  EXPECT_EQ(cs[1], 4.0);
  EXPECT_EQ(cs[2], 2.0);
  EXPECT_EQ(cs[3], 1.0);
  // eq1 terms: 2 * 4^2 = 32 and exp(2): size 32; eq2: ln(4) / 2; eq3: 0 -> 1e-35.
  EXPECT_DOUBLE_EQ(rs[0], 32.0);
  EXPECT_DOUBLE_EQ(rs[1], std::log(4.0) / 2.0);
  EXPECT_EQ(rs[2], 1e-35);
  EXPECT_EQ(rs[3], 1.0);
}

}  // namespace
