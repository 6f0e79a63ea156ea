// Equation-system checks of the continuation solver: bounds, Jacobian
// structure and values, with their exact messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fcont/fcont.hpp"
#include "fcont/fcont_parts.hpp"
#include "support/capture.hpp"

namespace {

using IWORD = ::IWORD;
using Vec = std::vector<double>;
using IVec = std::vector<IWORD>;
using Lines = std::vector<std::string>;

// Calls of the caller's message routine, as "unit|text".
Lines g_msg;
void msg_routine(const IWORD* unit, const IWORD* count, const char* text, std::int64_t) {
  g_msg.push_back(std::to_string(*unit) + "|" +
                  std::string(text, static_cast<std::size_t>(std::max<IWORD>(*count, 0))));
}
const void* msgrtn() { return reinterpret_cast<const void*>(&msg_routine); }

// Name descriptor showing the index.
struct Names {
  IWORD lx[4] = {0, 0, 8, 0};
  IWORD lf[4] = {0, 0, 8, 0};
  const void* x = nullptr;
  const void* f = nullptr;
  explicit Names(IWORD n) {
    lx[3] = n;
    lf[3] = n;
  }
};

const IWORD kZero = 0;

struct BoundResult {
  Vec x;
  IWORD nberr, ndxerr;
};

BoundResult chkbnd(Vec x, IWORD lubnds, const Vec& lb, const Vec& ub, IWORD unit1, IWORD unit2,
                   IWORD dxchk = 0, const Vec& dx = {}) {
  Names nm(static_cast<IWORD>(x.size()));
  BoundResult r{};
  r.nberr = r.ndxerr = -1;
  orvika::neq_chkbnd(static_cast<IWORD>(x.size()), x.data(), lubnds, lb.data(), ub.data(), dxchk,
                     dx.empty() ? nullptr : dx.data(), r.nberr, r.ndxerr, nm.lx, nm.x, &kZero,
                     unit1, unit2, msgrtn());
  r.x = x;
  return r;
}

TEST(FcontChecks, StartValuesOutsideBoundsMoveInside) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double x, lb, ub, expect;
  };
  const Case cases[] = {
      {-5.0, 0.0, 10.0, 0.05},    // 1% of the excess
      {1000.0, 0.0, 10.0, 9.9},   // 1% of the width
      {10.5, 0.0, 10.0, 9.995},   // 1% of the excess
      {4.0, 0.0, 10.0, 4.0},      // inside: unchanged
      {0.0, 0.0, 10.0, 0.0},      // on the bound: unchanged
      {-5.0, nan, 10.0, -5.0},    // a NaN bound counts as valid, nothing to move
  };
  for (const Case& c : cases) {
    orvika_test::UnitCapture cap(6);
    const BoundResult r = chkbnd({c.x}, 1, {c.lb}, {c.ub}, 6, 0);
    EXPECT_DOUBLE_EQ(r.x[0], c.expect) << c.x;
    EXPECT_EQ(r.nberr, 0);
    EXPECT_EQ(r.ndxerr, 0);
    EXPECT_TRUE(cap.lines().empty());
  }
}

TEST(FcontChecks, BoundsOffLeaveEverythingAlone) {
  orvika_test::UnitCapture cap(6);
  const BoundResult r = chkbnd({-5.0, 3.0}, 0, {0.0, 1.0}, {10.0, 1.0}, 6, 6);
  EXPECT_EQ(r.x, (Vec{-5.0, 3.0}));
  EXPECT_EQ(r.nberr, 0);
  EXPECT_TRUE(cap.lines().empty());
}

// An invalid pair: both lines on the first unit and then on the second.
TEST(FcontChecks, InvalidBoundPairIsReportedOnBothUnits) {
  g_msg.clear();
  orvika_test::UnitCapture cap(6);
  const BoundResult r = chkbnd({0.5, 1.5}, 1, {0.0, 1.0}, {1.0, 1.0}, 6, 200);
  EXPECT_EQ(r.nberr, 1);
  EXPECT_EQ(r.x[1], 1.5);  // unchanged
  const std::string head = "neq_chkbnd!!! Bounds for variable 2 are not valid:";
  const std::string vals =
      std::string(17, ' ') + "XLB=   1.00000      X=   1.50000      XUB=   1.00000";
  EXPECT_EQ(cap.lines(), (Lines{"", head, vals}));
  EXPECT_EQ(g_msg, (Lines{"200|", "200|" + head, "200|" + vals}));
}

TEST(FcontChecks, SecondUnitSilent) {
  orvika_test::UnitCapture cap(6);
  const BoundResult r = chkbnd({1.0}, 1, {1.0}, {1.0}, 6, 0);
  EXPECT_EQ(r.nberr, 1);
  EXPECT_EQ(cap.lines().size(), 3u);
}

TEST(FcontChecks, InvalidDxBounds) {
  orvika_test::UnitCapture cap(6);
  const BoundResult r = chkbnd({1.0, 2.0, 3.0}, 0, {0, 0, 0}, {1, 1, 1}, 6, 0, 1, {1.0, -0.5, 0.0});
  EXPECT_EQ(r.nberr, 0);
  EXPECT_EQ(r.ndxerr, 2);
  EXPECT_EQ(cap.lines(),
            (Lines{"", "neq_chkbnd!!! Invalid DX Bounds -5.000000D-01 for variable 2", "",
                   "neq_chkbnd!!! Invalid DX Bounds  0.000000D+00 for variable 3"}));
}

TEST(FcontChecks, StoredNamesAppearInMessages) {
  char names[2 * 8];
  std::memcpy(names, "FEED    1       ", sizeof names);  // two 4-character pieces
  IWORD lx[4] = {2, 0, 0, 0};
  orvika::fcont_nameinit(1, lx, names, &kZero);
  orvika_test::UnitCapture cap(6);
  double x = 2.0, lb = 3.0, ub = 1.0;
  IWORD nb = 0, nd = 0;
  orvika::neq_chkbnd(1, &x, 1, &lb, &ub, 0, nullptr, nb, nd, lx, names, &kZero, 6, 0, &kZero);
  ASSERT_EQ(cap.lines().size(), 3u);
  EXPECT_EQ(cap.lines()[1], "neq_chkbnd!!! Bounds for variable FEED1 are not valid:");
}

struct ZeroRc {
  IWORD nzero = -1, nempty = -1;
  Vec eqmax, varmax;
  IVec eqcnt, varcnt;
};

// Runs neq_zerorc with the count arrays passed as real words, as the driver
// passes them.
ZeroRc zerorc(IWORD istore, IWORD neq, IWORD nvar, const IVec& irn, const IVec& icn,
              const Vec& a, IWORD ldb, IWORD unit1, IWORD unit2) {
  ZeroRc z;
  Names nm(std::max(neq, nvar));
  Vec eqw(neq, -1.0), varw(nvar, -1.0);
  z.eqmax.assign(neq, -1.0);
  z.varmax.assign(nvar, -1.0);
  orvika::neq_zerorc(istore, neq, nvar, static_cast<IWORD>(irn.size()), ldb, irn.data(),
                     icn.data(), a.data(), eqw.data(), varw.data(), z.nzero, z.nempty,
                     z.eqmax.data(), z.varmax.data(), nm.lx, nm.x, nm.lf, nm.f, &kZero, unit1,
                     unit2, msgrtn());
  if (istore == 1) {
    z.eqcnt.resize(neq);
    z.varcnt.resize(nvar);
    std::memcpy(z.eqcnt.data(), eqw.data(), sizeof(double) * static_cast<std::size_t>(neq));
    std::memcpy(z.varcnt.data(), varw.data(), sizeof(double) * static_cast<std::size_t>(nvar));
  }
  return z;
}

TEST(FcontChecks, SparseJacobianValuesAndStructure) {
  struct Case {
    const char* what;
    IVec irn, icn;
    Vec a;
    IWORD nzero, nempty;
    Lines lines;
  };
  const Case cases[] = {
      {"sound", {1, 2, 3, 1}, {1, 2, 3, 3}, {1.0, -2.0, 3.0, 0.0}, 0, 0, {}},
      {"row 3 holds a zero value only",
       {1, 2, 3},
       {1, 2, 3},
       {1.0, -2.0, 0.0},
       2,
       0,
       {"", "neq_zerorc!!! Jacobian for equation 3 is all zero", "",
        "neq_zerorc!!! Jacobian for variable 3 is all zero"}},
      {"no entry in row 3 nor in column 2",
       {1, 2, 1},
       {1, 3, 3},
       {1.0, 2.0, 3.0},
       2,
       2,
       {"", "neq_zerorc!!! Equation 3 has no incidence variable", "",
        "neq_zerorc!!! Variable 2 does not appear in any equation", "",
        "neq_zerorc!!! Jacobian for equation 3 is all zero", "",
        "neq_zerorc!!! Jacobian for variable 2 is all zero"}},
      {"entries out of range are passed over",
       {1, 2, 3, 0, 4, 2},
       {1, 2, 3, 1, 2, 9},
       {1.0, 2.0, 3.0, 7.0, 7.0, 7.0},
       0,
       0,
       {}},
  };
  for (const Case& c : cases) {
    orvika_test::UnitCapture cap(6);
    const ZeroRc z = zerorc(1, 3, 3, c.irn, c.icn, c.a, 3, 6, 0);
    EXPECT_EQ(z.nzero, c.nzero) << c.what;
    EXPECT_EQ(z.nempty, c.nempty) << c.what;
    EXPECT_EQ(cap.lines(), c.lines) << c.what;
  }
}

TEST(FcontChecks, CountsAndMaximaAreReturned) {
  orvika_test::UnitCapture cap(6);
  const ZeroRc z = zerorc(1, 2, 3, {1, 1, 2, 2}, {1, 3, 3, 2}, {-4.0, 1.0, 2.5, 0.5}, 2, 6, 0);
  EXPECT_EQ(z.eqcnt, (IVec{2, 2}));
  EXPECT_EQ(z.varcnt, (IVec{1, 1, 2}));
  EXPECT_EQ(z.eqmax, (Vec{4.0, 2.5}));
  EXPECT_EQ(z.varmax, (Vec{4.0, 0.5, 2.5}));
}

TEST(FcontChecks, DenseJacobianWithZeroColumn) {
  // 3 x 3 with leading dimension 4; column 2 all zero, row 4 of the array
  // (outside the matrix) nonzero.
  const Vec a = {1.0, 2.0, 3.0, 9.0, 0.0, 0.0, 0.0, 9.0, 4.0, 5.0, 6.0, 9.0};
  g_msg.clear();
  orvika_test::UnitCapture cap(6);
  const ZeroRc z = zerorc(2, 3, 3, {}, {}, a, 4, 6, -5);
  EXPECT_EQ(z.nzero, 1);
  EXPECT_EQ(z.nempty, 0);
  EXPECT_EQ(z.varmax, (Vec{3.0, 0.0, 6.0}));
  EXPECT_EQ(cap.lines(), (Lines{"", "neq_zerorc!!! Jacobian for variable 2 is all zero"}));
  EXPECT_EQ(g_msg, (Lines{"-5|", "-5|neq_zerorc!!! Jacobian for variable 2 is all zero"}));
}

TEST(FcontChecks, DenseLeadingDimensionTooSmallReadsNothing) {
  orvika_test::UnitCapture cap(6);
  const Vec a = {1.0, 2.0};  // far too short for 3 x 3: must not be read
  const ZeroRc z = zerorc(2, 3, 3, {}, {}, a, 1, 0, 0);
  EXPECT_EQ(z.nzero, 6);
}

TEST(FcontChecks, EmptyRowsAndColumnsAlone) {
  orvika_test::UnitCapture cap(6);
  Names nm(3);
  const IVec irn = {1, 2, 9}, icn = {1, 1, 1};
  IVec eqc(3, -1), varc(3, -1);
  IWORD nerr = -1;
  orvika::neq_empty(3, 3, 3, irn.data(), icn.data(), eqc.data(), varc.data(), nerr, nm.lx, nm.x,
                    nm.lf, nm.f, &kZero, 6, 0, &kZero);
  EXPECT_EQ(nerr, 3);
  EXPECT_EQ(eqc, (IVec{1, 1, 0}));
  EXPECT_EQ(varc, (IVec{2, 0, 0}));
  EXPECT_EQ(cap.lines(), (Lines{"", "neq_empty!!! Equation 3 has no incidence variable", "",
                                "neq_empty!!! Variable 2 does not appear in any equation", "",
                                "neq_empty!!! Variable 3 does not appear in any equation"}));
}

}  // namespace
