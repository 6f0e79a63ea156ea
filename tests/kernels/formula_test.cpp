// Formula-matrix routines: unit-sum scaling, the Gram-Schmidt independence
// test and the choice and inversion of primary species, with the report.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "frame/views.hpp"
#include "orvika/host.h"
#include "orvika/host_stub.h"
#include "orvika/kernels_sparse.h"
#include "support/capture.hpp"

namespace {

constexpr int kRepUnit = 6;

class HostReset : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
  void TearDown() override { orvk_host_reset(); }
};

// ---- ORVK_NORM1 -------------------------------------------------------------

using Norm1 = HostReset;

TEST_F(Norm1, ScalesUnlessHostSaysNoAndUniformOtherwise) {
  const IWORD n = 2;
  std::vector<double> x = {1.0, 3.0};
  ORVK_NORM1(&n, x.data());
  EXPECT_EQ(x, (std::vector<double>{0.25, 0.75}));
  VLK_PPRIV[VLK_W_NONORM - 1] = 1.0;
  x = {1.0, 3.0};
  ORVK_NORM1(&n, x.data());
  EXPECT_EQ(x, (std::vector<double>{1.0, 3.0}));
  for (double nonorm : {0.0, 1.0}) {
    VLK_PPRIV[VLK_W_NONORM - 1] = nonorm;
    x = {0.0, 0.0};
    ORVK_NORM1(&n, x.data());
    EXPECT_EQ(x, (std::vector<double>{0.5, 0.5}));
    x = {-1.0, std::numeric_limits<double>::quiet_NaN()};
    ORVK_NORM1(&n, x.data());
    EXPECT_EQ(x, (std::vector<double>{0.5, 0.5}));
  }
  const IWORD zero = 0;
  x = {7.0, 7.0};
  ORVK_NORM1(&zero, x.data());
  EXPECT_EQ(x, (std::vector<double>{7.0, 7.0}));
}

// ---- ORVK_ORTHOG ------------------------------------------------------------

TEST(Orthog, FirstColumnAcceptedWithoutTest) {
  const IWORD nmax = 1, m = 3;
  const double v[3] = {0.0, 0.0, 0.0};
  double w[3] = {9, 9, 9}, sqn[1] = {-1};
  IWORD k = 0, iflag = -1;
  ORVK_ORTHOG(&nmax, &m, v, &k, w, sqn, &iflag);
  EXPECT_EQ(k, 1);
  EXPECT_EQ(iflag, 1);
  EXPECT_EQ(sqn[0], 0.0);
  EXPECT_EQ(w[0], 0.0);
}

TEST(Orthog, DependentCandidateRejected) {
  const IWORD nmax = 2, m = 3;
  const double v[6] = {1, 2, 3, 2, 4, 6};
  double w[6], sqn[2];
  IWORD k = 0, iflag = -1;
  ORVK_ORTHOG(&nmax, &m, v, &k, w, sqn, &iflag);
  EXPECT_EQ(iflag, 0);
  EXPECT_EQ(k, 1);
  EXPECT_EQ(sqn[0], 14.0);
  for (int r = 3; r < 6; ++r) EXPECT_LE(std::fabs(w[r]), 1e-10);
}

TEST(Orthog, AcceptedColumnsAreOrthogonal) {
  std::mt19937_64 rng(6);
  std::uniform_real_distribution<double> u(-1, 1);
  for (IWORD m : {1, 2, 5, 12}) {
    const IWORD nmax = m;
    std::vector<double> v(m * nmax);
    for (auto& e : v) e = u(rng);
    std::vector<double> w = v, sqn(nmax);  // W the same array as V
    IWORD k = 0, iflag = -1;
    ORVK_ORTHOG(&nmax, &m, w.data(), &k, w.data(), sqn.data(), &iflag);
    ASSERT_EQ(iflag, 1);
    ASSERT_EQ(k, nmax);
    const double tol = 1e3 * std::numeric_limits<double>::epsilon();
    for (IWORD i = 0; i < nmax; ++i) {
      double s = 0;
      for (IWORD r = 0; r < m; ++r) s += w[i * m + r] * w[i * m + r];
      EXPECT_NEAR(sqn[i], s, tol * s);
      for (IWORD j = 0; j < i; ++j) {
        double d = 0;
        for (IWORD r = 0; r < m; ++r) d += w[i * m + r] * w[j * m + r];
        EXPECT_LE(std::fabs(d), tol * std::sqrt(sqn[i] * sqn[j])) << m << " " << i << "," << j;
      }
    }
  }
}

TEST(Orthog, ContinuesFromAcceptedCount) {
  // Columns e1, 2 e1, e2 taken one candidate at a time into the last column.
  const IWORD m = 2;
  double w[4] = {1, 0, 0, 0}, sqn[2];
  IWORD k = 0, iflag = -1, nmax = 2;
  w[2] = 2, w[3] = 0;
  ORVK_ORTHOG(&nmax, &m, w, &k, w, sqn, &iflag);
  EXPECT_EQ(iflag, 0);
  EXPECT_EQ(k, 1);
  w[2] = 0, w[3] = 1;
  ORVK_ORTHOG(&nmax, &m, w, &k, w, sqn, &iflag);
  EXPECT_EQ(iflag, 1);
  EXPECT_EQ(k, 2);
  EXPECT_EQ(sqn[1], 1.0);
}

// ---- ORVK_NURINV ------------------------------------------------------------

// Species names are pool words at NAMOFF (default 1): species c = ICOMP(s)
// has the words PLEX(NAMOFF + 2c - 1) and PLEX(NAMOFF + 2c).
void set_name(IWORD c, const char (&w1)[5], const char (&w2)[5]) {
  const IWORD base = VLK_IPOFF4[VLK_W_NAMOFF - 1];
  VLK_PLEX[base + 2 * c - 2] = orvika::a4word(w1);
  VLK_PLEX[base + 2 * c - 1] = orvika::a4word(w2);
}

struct Nurinv {
  IWORD nc, ne;
  std::vector<double> a;  // column-major NC x NE
  std::vector<double> ar, wk;
  std::vector<IWORD> isp, iel, iwk, icomp;
  IWORD ierr = -99;

  // Formula rows given species by species.
  Nurinv(IWORD nc_, IWORD ne_, const std::vector<std::vector<double>>& rows) : nc(nc_), ne(ne_) {
    a.assign(nc * ne, 0.0);
    for (IWORD i = 0; i < nc; ++i)
      for (IWORD k = 0; k < ne; ++k) a[k * nc + i] = rows[i][k];
    ar.assign(ne * ne, -7.0);
    wk.assign(4 * ne * ne + ne, 0.0);
    isp.assign(nc, -1);
    iel.assign(ne, -1);
    iwk.assign(2 * ne, -1);
    icomp.resize(nc);
    for (IWORD i = 0; i < nc; ++i) icomp[i] = i + 1;
  }
  void run(IWORD mode, IWORD iprint) {
    ORVK_NURINV(&nc, &ne, a.data(), ar.data(), isp.data(), iel.data(), nullptr, wk.data(), nullptr,
                iwk.data(), icomp.data(), &mode, &iprint, &ierr);
  }
  double inv(IWORD p, IWORD q) const { return ar[(q - 1) * ne + p - 1]; }
};

using NurinvTest = HostReset;

TEST_F(NurinvTest, WaterFromHydrogenAndOxygen) {
  // Species H2, O2, H2O over the elements (H, O).
  Nurinv t(3, 2, {{2, 0}, {0, 2}, {2, 1}});
  set_name(1, "H2  ", "    ");
  set_name(2, "O2  ", "    ");
  set_name(3, "H2O ", "    ");
  orvika_test::UnitCapture cap(kRepUnit);
  t.run(0, 9);
  EXPECT_EQ(t.ierr, 0);
  EXPECT_EQ(t.isp, (std::vector<IWORD>{1, 1, 0}));
  EXPECT_EQ(t.ar, (std::vector<double>{0.5, 0.0, 0.0, 0.5}));
  EXPECT_EQ(t.iwk[0], 1);
  EXPECT_EQ(t.iwk[1], 2);
  EXPECT_EQ(cap.text(),
            "0       THE PRIMARY SPECIES:   H2         O2      \n"
            "0       THE INVERTED REDUCED MATRIX IS\n"
            "         1    0.5000000D+00    0.0000000D+00   \n"
            "         2    0.0000000D+00    0.5000000D+00   \n");
}

TEST_F(NurinvTest, NothingPrintedBelowLevelNine) {
  Nurinv t(3, 2, {{2, 0}, {0, 2}, {2, 1}});
  orvika_test::UnitCapture cap(kRepUnit);
  t.run(0, 8);
  EXPECT_EQ(t.ierr, 0);
  EXPECT_TRUE(cap.lines().empty());
  // IWK keeps the pivot record of the inversion (rows, then columns).
  EXPECT_EQ(t.iwk, (std::vector<IWORD>{1, 2, 1, 2}));
}

TEST_F(NurinvTest, ElementDrivenSelectionRules) {
  // Species 1 holds only element 1, species 2 only element 1 as well (its
  // only element is then assigned: skipped), species 3 holds elements 2 and
  // 3, species 4 only element 3.  Pass 1 takes 1 and 4, pass 2 takes 3.
  Nurinv t(4, 3, {{1, 0, 0}, {2, 0, 0}, {0, 1, 1}, {0, 0, 1}});
  t.run(0, 0);
  EXPECT_EQ(t.ierr, 0);
  EXPECT_EQ(t.isp, (std::vector<IWORD>{1, 0, 1, 1}));
  EXPECT_EQ(t.iel, (std::vector<IWORD>{1, 1, 1}));
  // Two unassigned elements in every species: with no progress the first
  // species takes the first of them, then the passes continue.
  Nurinv u(2, 2, {{1, 1}, {1, -1}});
  u.run(0, 0);
  EXPECT_EQ(u.ierr, 0);
  EXPECT_EQ(u.isp, (std::vector<IWORD>{1, 1}));
  EXPECT_NEAR(u.inv(1, 1), 0.5, 1e-15);
  EXPECT_NEAR(u.inv(2, 2), -0.5, 1e-15);
}

TEST_F(NurinvTest, SingularElementSetFallsBackToIndependenceSearch) {
  // The fallback selects (1,1), then a pass takes (2,2): singular.  The search from
  // species 1 rejects (2,2) and accepts (1,3).
  Nurinv t(3, 2, {{1, 1}, {2, 2}, {1, 3}});
  t.run(0, 0);
  EXPECT_EQ(t.ierr, 0);
  EXPECT_EQ(t.isp, (std::vector<IWORD>{1, 0, 1}));
  // Inverse of [[1, 1], [1, 3]].
  const double want[2][2] = {{1.5, -0.5}, {-0.5, 0.5}};
  for (int p = 1; p <= 2; ++p)
    for (int q = 1; q <= 2; ++q) EXPECT_NEAR(t.inv(p, q), want[p - 1][q - 1], 1e-15);
}

TEST_F(NurinvTest, FailureCodes) {
  // NC = NE and a singular element-driven set: no start species.
  Nurinv sq(2, 2, {{1, 1}, {2, 2}});
  sq.run(0, 0);
  EXPECT_EQ(sq.ierr, -1);
  // Element-driven selection runs out of candidates.
  Nurinv out(2, 2, {{1, 0}, {2, 0}});
  out.run(0, 0);
  EXPECT_EQ(out.ierr, -2);
  // Every start species fails: all rows proportional.
  Nurinv dep(4, 2, {{1, 1}, {2, 2}, {3, 3}, {0, 0}});
  dep.run(1, 0);
  EXPECT_EQ(dep.ierr, -1);
  // Meaningless sizes touch nothing.
  Nurinv none(1, 1, {{1}});
  none.nc = 0;
  none.run(0, 0);
  EXPECT_EQ(none.ierr, -1);
  EXPECT_EQ(none.isp[0], -1);
}

TEST_F(NurinvTest, InfiniteAmountIsNeverInverted) {
  const double inf = std::numeric_limits<double>::infinity();
  // The element-driven set diag(inf, 1) cannot be inverted and NC = NE.
  Nurinv sq(2, 2, {{inf, 0}, {0, 1}});
  sq.run(0, 0);
  EXPECT_EQ(sq.ierr, -1);
  // With more species the search passes over the infinite row: from
  // species 1 nothing is accepted, from species 2 species 3 is.
  Nurinv t(4, 2, {{inf, 0}, {0, 1}, {2, 0}, {1, 1}});
  t.run(0, 0);
  EXPECT_EQ(t.ierr, 0);
  EXPECT_EQ(t.isp, (std::vector<IWORD>{0, 1, 1, 0}));
  // Inverse of [[0, 1], [2, 0]].
  EXPECT_EQ(t.ar, (std::vector<double>{0.0, 1.0, 0.5, 0.0}));
}

TEST_F(NurinvTest, ModeOneSearchesDirectlyUnlessOneElement) {
  // MODE 1, NE = 2: the search from H2 accepts O2.
  Nurinv t(3, 2, {{2, 1}, {0, 2}, {2, 0}});
  t.run(1, 0);
  EXPECT_EQ(t.ierr, 0);
  EXPECT_EQ(t.isp, (std::vector<IWORD>{1, 1, 0}));
  // The element-driven selection would have chosen species 2 and 3.
  Nurinv e(3, 2, {{2, 1}, {0, 2}, {2, 0}});
  e.run(0, 0);
  EXPECT_EQ(e.isp, (std::vector<IWORD>{0, 1, 1}));
  // MODE 1, NE = 1: element-driven selection.
  Nurinv one(2, 1, {{0}, {4}});
  one.run(1, 0);
  EXPECT_EQ(one.ierr, 0);
  EXPECT_EQ(one.isp, (std::vector<IWORD>{0, 1}));
  EXPECT_EQ(one.ar[0], 0.25);
}

TEST_F(NurinvTest, OneElementSearchStaysInsideItsArrays) {
  // NE = 1 with a first species whose amount fails the pivot tolerance:
  // the search runs on a 1 x 1 AR, and the start species alone completes
  // its set, whose inversion reports pivot column 1.
  Nurinv t(2, 1, {{1e-12}, {2.0}});
  t.run(0, 0);
  EXPECT_EQ(t.ierr, 1);
  EXPECT_EQ(t.isp, (std::vector<IWORD>{1, 0}));
}

// Identity formula matrix of order NE (species k holds element k).
Nurinv identity_species(IWORD ne) {
  std::vector<std::vector<double>> rows(ne, std::vector<double>(ne, 0.0));
  for (IWORD k = 0; k < ne; ++k) rows[k][k] = static_cast<double>(k + 1);
  return Nurinv(ne, ne, rows);
}

TEST_F(NurinvTest, ReportLineBreaks) {
  const char names[10][5] = {"SP01", "SP02", "SP03", "SP04", "SP05",
                             "SP06", "SP07", "SP08", "SP09", "SP10"};
  for (IWORD c = 1; c <= 10; ++c) set_name(c, names[c - 1], "-X  ");
  {  // 10 species: 8 names, then 2 on a continuation line.
    Nurinv t = identity_species(10);
    orvika_test::UnitCapture cap(kRepUnit);
    t.run(0, 9);
    ASSERT_EQ(t.ierr, 0);
    const auto& l = cap.lines();
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[0],
              "0       THE PRIMARY SPECIES:   SP01-X     SP02-X     SP03-X     SP04-X  "
              "   SP05-X     SP06-X     SP07-X     SP08-X  ");
    EXPECT_EQ(l[1], std::string(28, ' ') + "   SP09-X     SP10-X  ");
    EXPECT_EQ(l[2], "0       THE INVERTED REDUCED MATRIX IS");
    // Row 1: 6 values, then 4 on a continuation line of 13 blanks.
    EXPECT_EQ(l[3], "         1    0.1000000D+01    0.0000000D+00    0.0000000D+00   "
                    " 0.0000000D+00    0.0000000D+00    0.0000000D+00   ");
    EXPECT_EQ(l[4], std::string(13, ' ') +
                        " 0.0000000D+00    0.0000000D+00    0.0000000D+00    0.0000000D+00   ");
    EXPECT_EQ(l.size(), 3u + 2u * 10u);
  }
  {  // Exactly 8 species: the list is followed by a line of blanks.
    Nurinv t = identity_species(8);
    orvika_test::UnitCapture cap(kRepUnit);
    t.run(0, 9);
    ASSERT_EQ(t.ierr, 0);
    const auto& l = cap.lines();
    EXPECT_EQ(l[1], std::string(28, ' '));
    EXPECT_EQ(l[2], "0       THE INVERTED REDUCED MATRIX IS");
    EXPECT_EQ(l.size(), 3u + 2u * 8u);
  }
  {  // NE = 6: every row line is followed by a line of blanks.
    Nurinv t = identity_species(6);
    orvika_test::UnitCapture cap(kRepUnit);
    t.run(0, 9);
    ASSERT_EQ(t.ierr, 0);
    const auto& l = cap.lines();
    ASSERT_EQ(l.size(), 2u + 2u * 6u);
    EXPECT_EQ(l[2], "         1    0.1000000D+01    0.0000000D+00    0.0000000D+00   "
                    " 0.0000000D+00    0.0000000D+00    0.0000000D+00   ");
    EXPECT_EQ(l[3], std::string(13, ' '));
    EXPECT_EQ(l[13], std::string(13, ' '));
    EXPECT_EQ(l[12].substr(0, 10), "         6");
  }
}

TEST_F(NurinvTest, RandomFormulaMatricesInvertTheReducedMatrix) {
  std::mt19937_64 rng(21);
  std::uniform_int_distribution<int> amt(0, 3);
  for (int rep = 0; rep < 30; ++rep) {
    const IWORD ne = 2 + rep % 4, nc = ne + 1 + rep % 3;
    std::vector<std::vector<double>> rows(nc, std::vector<double>(ne));
    for (auto& r : rows)
      for (auto& e : r) e = amt(rng);
    Nurinv t(nc, ne, rows);
    t.run(rep % 2, 0);
    if (t.ierr != 0) continue;
    // AR times the reduced matrix is the identity.
    std::vector<IWORD> sel;
    for (IWORD i = 0; i < nc; ++i)
      if (t.isp[i] == 1) sel.push_back(i);
    ASSERT_EQ(static_cast<IWORD>(sel.size()), ne);
    for (IWORD p = 1; p <= ne; ++p)
      for (IWORD q = 1; q <= ne; ++q) {
        double s = 0;
        for (IWORD r = 1; r <= ne; ++r) s += t.inv(p, r) * rows[sel[r - 1]][q - 1];
        EXPECT_NEAR(s, p == q ? 1.0 : 0.0, 1e-12) << rep;
      }
  }
}

}  // namespace
