// ORVK_MA28AD (with ORVK_MA28CD for the answers): known answers, options,
// repeated entries, failures and their exact records.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "ma28/ma28_test_util.hpp"
#include "support/capture.hpp"

namespace {

using namespace ma28test;
using orvika_test::UnitCapture;

const std::string kOverA = "+ERROR RETURN FROM MA28A/AD BECAUSE ";

// Solves A x = b and A^T x = b (every transposed mode) for a chosen x and
// checks errors and scaled residuals.
void expect_solves_every_mode(Solver& s, const Triplets& a, const std::string& what,
                              double tol = 100.0) {
  expect_solves(s, a, what, {0, 2, -1}, tol);
}

TEST(Ma28Ad, RandomSystemsSolveToResidualLevel) {
  for (bool btf : {true, false}) {
    for (bool diag : {true, false}) {
      for (IWORD n : {1, 2, 3, 5, 10, 50, 200}) {
        for (int per : {0, 1, 3}) {
          reset_blocks();
          ORVK_MA28ED.USEBTF = btf ? ORVK_TRUE : ORVK_FALSE;
          const Triplets a = random_sparse(n, per, 100 + n * 7 + per, diag);
          Solver s;
          ASSERT_EQ(s.analyse(a, 20 * a.nz() + 10, 20 * a.nz() + 10, 0.5), 0) << n << " " << per;
          expect_solves_every_mode(s, a,
                                   "n=" + std::to_string(n) + " per=" + std::to_string(per) +
                                       " btf=" + std::to_string(btf) +
                                       " diag=" + std::to_string(diag));
        }
      }
    }
  }
}

// Small named problems, each noting what it covers.
struct Named {
  const char* name;
  Triplets a;
};

std::vector<Named> catalogue() {
  std::vector<Named> v;
  v.push_back({"order 1", make_triplets(1, {{1, 1, 4.0}})});
  // needs a row interchange: zero diagonal, one block
  v.push_back({"zero (1,1)", make_triplets(2, {{1, 2, 3.0}, {2, 1, 2.0}, {2, 2, 1.0}})});
  {
    Triplets a;  // lower triangular: N blocks of order 1, off-diagonal part used
    a.n = 4;
    for (IWORD i = 1; i <= 4; ++i)
      for (IWORD j = 1; j <= i; ++j) a.add(i, j, i == j ? 2.0 + i : 1.0 / (i + j));
    v.push_back({"lower triangular", a});
  }
  {
    Triplets a;  // upper triangular: blocks in reverse order
    a.n = 4;
    for (IWORD i = 1; i <= 4; ++i)
      for (IWORD j = i; j <= 4; ++j) a.add(i, j, i == j ? 3.0 : -0.5);
    v.push_back({"upper triangular", a});
  }
  // a cycle 1->2->3->1 with diagonal: one block of order 3 + tail
  v.push_back({"cycle and tail", make_triplets(5, {{1, 1, 2.0}, {1, 2, 1.0}, {2, 2, 2.0}, {2, 3, 1.0},
                                              {3, 3, 2.0}, {3, 1, 1.0}, {4, 4, 1.5}, {4, 1, -1.0},
                                              {5, 5, 1.0}, {5, 4, 2.0}})});
  {
    Triplets a;  // dense 6 x 6 (fill, pivoting for stability)
    a.n = 6;
    for (IWORD i = 1; i <= 6; ++i)
      for (IWORD j = 1; j <= 6; ++j) a.add(i, j, 1.0 / (i + j - 1) + (i == j ? 0.0 : 0.01 * j));
    v.push_back({"dense Hilbert-like", a});
  }
  {
    Triplets a;  // arrow matrix: worst fill order if the dense row is taken first
    a.n = 30;
    for (IWORD i = 1; i <= 30; ++i) {
      a.add(i, i, 4.0);
      if (i > 1) {
        a.add(1, i, 1.0);
        a.add(i, 1, 1.0);
      }
    }
    v.push_back({"arrow", a});
  }
  return v;
}

TEST(Ma28Ad, CatalogueSolvesWithAndWithoutPreordering) {
  for (const auto& c : catalogue()) {
    for (bool btf : {true, false}) {
      reset_blocks();
      ORVK_MA28ED.USEBTF = btf ? ORVK_TRUE : ORVK_FALSE;
      Solver s;
      ASSERT_EQ(s.analyse(c.a, 4 * c.a.nz() + 40, 4 * c.a.nz() + 40), 0) << c.name;
      expect_solves_every_mode(s, c.a, std::string(c.name) + (btf ? " btf" : " plain"));
      EXPECT_EQ(ORVK_MA28FD.LURANK, c.a.n) << c.name;
    }
  }
}

TEST(Ma28Ad, ArrowFillIsAvoidedByMarkowitzOrder) {
  reset_blocks();
  const Triplets a = catalogue()[6].a;
  Solver s;
  ASSERT_EQ(s.analyse(a, 2 * a.nz(), a.nz()), 0);
  // No fill at all: the factors hold exactly the entries of A.
  EXPECT_EQ(ORVK_MA28GD.LULAST - ORVK_MA28GD.LUFRST + 1, a.nz());
}

TEST(Ma28Ad, ArgumentErrorsWriteTwoRecords) {
  struct Row {
    IWORD n, nz, licn, lirn, istat;
    std::string detail;
  };
  const std::vector<Row> rows = {
      {0, 1, 1, 1, -8, "N OUT OF RANGE =          0"},
      {-3, 1, 1, 1, -8, "N OUT OF RANGE =         -3"},
      {32768, 1, 1, 1, -8, "N OUT OF RANGE =      32768"},
      {2, 0, 1, 1, -9, "NZ NON POSITIVE =          0"},
      {2, 3, 2, 3, -10, "LICN TOO SMALL =          2"},
      {2, 3, 3, 2, -11, "LIRN TOO SMALL =          2"},
  };
  for (const auto& r : rows) {
    reset_blocks();
    UnitCapture cap(6);
    std::vector<double> v(10, 1.0), w(10);
    std::vector<IDX16> irn(10, 1), icn(10, 1), keep(50), iw(200);
    IWORD n = r.n, nz = r.nz, licn = r.licn, lirn = r.lirn, st = 0;
    double thr = 0.1;
    ORVK_MA28AD(&n, &nz, v.data(), &licn, irn.data(), &lirn, icn.data(), &thr, keep.data(),
                iw.data(), w.data(), &st);
    EXPECT_EQ(st, r.istat) << r.detail;
    EXPECT_EQ(cap.lines(), (Lines{kB36 + r.detail, kOverA})) << r.detail;
  }
}

TEST(Ma28Ad, OrderAbove32767IsRejectedWhateverThePackingRatio) {
  for (IWORD ratio : {4, 1}) {
    reset_blocks();
    VLK_GLOBAL[VLK_W_HWFNUM - 1] = ratio;
    ORVK_MA28ED.ERRUNT = 0;
    std::vector<double> v(4, 1.0), w(4);
    std::vector<IDX16> irn(4, 1), icn(4, 1), keep(8), iw(8);
    IWORD n = 32768, nz = 1, licn = 4, lirn = 4, st = 0;
    double thr = 0.1;
    ORVK_MA28AD(&n, &nz, v.data(), &licn, irn.data(), &lirn, icn.data(), &thr, keep.data(),
                iw.data(), w.data(), &st);
    EXPECT_EQ(st, -8) << "ratio " << ratio;
  }
  // A zero denominator of the packing ratio is harmless.
  reset_blocks();
  VLK_VLK[VLK_W_HWFDEN - 1] = 0;
  Solver s;
  EXPECT_EQ(s.analyse(make_triplets(1, {{1, 1, 2.0}}), 4, 4), 0);
}

TEST(Ma28Ad, IndicesOutOfRangeAreAllReportedAndNothingMoves) {
  reset_blocks();
  UnitCapture cap(6);
  Triplets a;
  a.n = 3;
  for (int k = 1; k <= 10; ++k) a.add(1 + k % 3, 1 + (k * 2) % 3, 0.5 * k);
  a.row[3] = 4;   // entry 4: row out of range
  a.col[7] = 0;   // entry 8: column out of range
  Solver s;
  EXPECT_EQ(s.analyse(a, 30, 30), -12);
  EXPECT_EQ(cap.lines(),
            (Lines{" ERROR RETURN FROM MA28A/AD BECAUSE INDICES FOUND OUT OF RANGE",
                   "      4TH ELEMENT WITH VALUE   2.00000000000000D+00 IS OUT OF RANGE WITH "
                   "INDICES        4 ,       3",
                   "      8TH ELEMENT WITH VALUE   4.00000000000000D+00 IS OUT OF RANGE WITH "
                   "INDICES        3 ,       0"}));
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(s.entval[k], a.val[k]);
    EXPECT_EQ(s.colnum[k], a.col[k]);
  }
}

// A NaN or infinite entry is refused before anything moves: the first one
// is named by its indices in the two-record layout of the other failures.
TEST(Ma28Ad, NonFiniteEntriesAreRefused) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Row {
    const char* name;
    std::vector<double> vals;  // of the entries of a 3 x 3 tridiagonal matrix
    std::string detail;
  };
  const std::vector<Row> rows = {
      {"one NaN", {4, 1, 1, 4, kNaN, 1, 4}, "ELEMENT      2 ,     3 IS NOT FINITE"},
      {"one Inf", {4, 1, 1, kInf, 1, 1, 4}, "ELEMENT      2 ,     2 IS NOT FINITE"},
      {"minus Inf last", {4, 1, 1, 4, 1, 1, -kInf}, "ELEMENT      3 ,     3 IS NOT FINITE"},
      {"all NaN", std::vector<double>(7, kNaN), "ELEMENT      1 ,     1 IS NOT FINITE"},
  };
  const IWORD ri[] = {1, 1, 2, 2, 2, 3, 3}, ci[] = {1, 2, 1, 2, 3, 2, 3};
  for (const Row& r : rows) {
    for (bool btf : {true, false}) {
      reset_blocks();
      ORVK_MA28ED.USEBTF = btf ? ORVK_TRUE : ORVK_FALSE;
      Triplets a;
      a.n = 3;
      for (int k = 0; k < 7; ++k) a.add(ri[k], ci[k], r.vals[k]);
      UnitCapture cap(6);
      Solver s;
      EXPECT_EQ(s.analyse(a, 40, 40), -15) << r.name;
      EXPECT_EQ(cap.lines(), (Lines{kB36 + r.detail, kOverA})) << r.name;
      for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(s.colnum[k], a.col[k]) << r.name;
        EXPECT_EQ(s.rownum[k], a.row[k]) << r.name;
      }
    }
  }
  // Silent with ERRUNT = 0; the same matrix with finite values factorises.
  reset_blocks();
  ORVK_MA28ED.ERRUNT = 0;
  Triplets a;
  a.n = 3;
  for (int k = 0; k < 7; ++k) a.add(ri[k], ci[k], rows[0].vals[k]);
  UnitCapture cap(6);
  Solver s;
  EXPECT_EQ(s.analyse(a, 40, 40), -15);
  EXPECT_TRUE(cap.lines().empty());
  a.val[4] = 1.0;
  EXPECT_EQ(s.analyse(a, 40, 40), 0);
}

TEST(Ma28Ad, RepeatedEntriesAreSummedWithWarnings) {
  reset_blocks();
  UnitCapture cap(6);
  // Row 2 has columns 3, 3, 5, 5; (4,4) appears three times.
  const Triplets a = make_triplets(5, {{1, 1, 2.0}, {2, 3, 1.0}, {2, 3, 0.5}, {2, 5, 2.0}, {2, 5, -0.25},
                             {2, 2, 3.0}, {3, 3, 4.0}, {4, 4, 1.0}, {4, 4, 1.0}, {4, 4, 0.5},
                             {5, 5, 5.0}});
  Solver s;
  EXPECT_EQ(s.analyse(a, 40, 40), -14);
  EXPECT_EQ(cap.lines().size(), 4u);
  EXPECT_EQ(cap.lines()[0],
            " DUPLICATE ELEMENT IN POSITION        2 ,       3 WITH VALUE   5.00000000000000D-01");
  EXPECT_EQ(cap.lines()[1],
            " DUPLICATE ELEMENT IN POSITION        2 ,       5 WITH VALUE  -2.50000000000000D-01");
  EXPECT_EQ(cap.lines()[2],
            " DUPLICATE ELEMENT IN POSITION        4 ,       4 WITH VALUE   1.00000000000000D+00");
  EXPECT_EQ(cap.lines()[3],
            " DUPLICATE ELEMENT IN POSITION        4 ,       4 WITH VALUE   5.00000000000000D-01");
  // The factors are usable and hold the sums.
  expect_solves_every_mode(s, a, "summed");
  // Silent warnings with WRNUNT = 0; same status.
  reset_blocks();
  ORVK_MA28ED.WRNUNT = 0;
  UnitCapture cap2(6);
  Solver s2;
  EXPECT_EQ(s2.analyse(a, 40, 40), -14);
  EXPECT_TRUE(cap2.lines().empty());
}

TEST(Ma28Ad, WithoutPreorderingOneBlockAndIdentityStart) {
  reset_blocks();
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  const Triplets a = catalogue()[2].a;  // lower triangular
  Solver s;
  ASSERT_EQ(s.analyse(a, 40, 40), 0);
  EXPECT_EQ(ORVK_MA28GD.LUFRST, 1);
  EXPECT_EQ(s.part(5)[0], -1);
  expect_solves_every_mode(s, a, "plain");
}

TEST(Ma28Ad, SingleBlockHasNoOffDiagonalPart) {
  reset_blocks();
  const Triplets a = catalogue()[5].a;  // dense: irreducible
  Solver s;
  ASSERT_EQ(s.analyse(a, 200, 200), 0);
  EXPECT_EQ(ORVK_MA28GD.LUFRST, 1);
  EXPECT_EQ(s.part(5)[0], -1);
  EXPECT_EQ(ORVK_MC23BD.NBLOCK, 1);
}

TEST(Ma28Ad, StructurallySingularStatusesFollowTheSwitches) {
  const Triplets a = rank_two();
  struct Case {
    bool btf, stop;
    IWORD istat;
    Lines lines;
  };
  const std::vector<Case> cases = {
      {true, true, -7,
       {"                                  MATRIX IS STRUCTURALLY SINGULAR, RANK =      2",
        "+ERROR RETURN FROM MC23AD BECAUSE", kB36 + "ERROR RETURN FROM MC23A/AD", kOverA}},
      {false, true, -1,
       {" ERROR RETURN FROM MA30A/AD BECAUSE MATRIX IS STRUCTURALLY SINGULAR",
        kB36 + "ERROR RETURN FROM MA30A/AD", kOverA}},
      {true, false, 1, {}},
      {false, false, 1, {}},
  };
  for (const auto& c : cases) {
    reset_blocks();
    ORVK_MA28ED.USEBTF = c.btf ? ORVK_TRUE : ORVK_FALSE;
    ORVK_MA28FD.STPSTR = c.stop ? ORVK_TRUE : ORVK_FALSE;
    UnitCapture cap(6);
    Solver s;
    EXPECT_EQ(s.analyse(a, 30, 30), c.istat) << c.btf << c.stop;
    EXPECT_EQ(cap.lines(), c.lines) << c.btf << c.stop;
    if (c.istat == 1) {
      EXPECT_EQ(ORVK_MA28FD.LURANK, 2);
      // A consistent right-hand side: x = (1, 1, 0) gives b = (3, 3, 5).
      const auto x = s.solve({3.0, 3.0, 5.0});
      EXPECT_NEAR(x[0], 1.0, 1e-14);
      EXPECT_NEAR(x[1], 1.0, 1e-14);
      EXPECT_EQ(x[2], 0.0);
      EXPECT_EQ(ORVK_MA28FD.SOLRES, 0.0);
    }
  }
}

TEST(Ma28Ad, NumericallySingularStatuses) {
  Triplets a;  // rows 1 and 2 equal: numerically singular, structurally fine
  a.n = 3;
  for (IWORD j = 1; j <= 3; ++j) {
    a.add(1, j, 1.0 * j);
    a.add(2, j, 1.0 * j);
    a.add(3, j, j == 3 ? 1.0 : 0.5);
  }
  reset_blocks();
  {
    UnitCapture cap(6);
    Solver s;
    EXPECT_EQ(s.analyse(a, 40, 40), -2);
    EXPECT_EQ(cap.lines(),
              (Lines{" ERROR RETURN FROM MA30A/AD BECAUSE MATRIX IS NUMERICALLY SINGULAR",
                     kB36 + "ERROR RETURN FROM MA30A/AD", kOverA}));
  }
  reset_blocks();
  ORVK_MA28FD.STPNUM = ORVK_FALSE;
  Solver s;
  EXPECT_EQ(s.analyse(a, 40, 40), 2);
  EXPECT_EQ(ORVK_MA28FD.LURANK, 2);
  // Consistent right-hand side from x = (1, 1, 1): the solve zeroes the
  // singular component and reports no discarded magnitude... up to rounding.
  const auto x = s.solve(a.mul({1.0, 1.0, 1.0}));
  const auto r = a.mul(x);
  const auto b = a.mul({1.0, 1.0, 1.0});
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(r[i], b[i], 1e-12);
}

// Finite entries whose elimination overflows leave factors that are not
// numbers: a multiplier 1e300/1e-300 (with the threshold 0, and above the
// threshold 0.1, which bounds only the pivot row), an update 1 - 1e10*1e300
// and a fill-in 1e10*1e300.  The kernel stops with -2 as for a zero pivot,
// whatever the stop switch says, and the solve refuses the factors.
TEST(Ma28Ad, OverflowInTheEliminationIsAFailure) {
  struct Case {
    const char* what;
    Triplets a;
    double thr;
  };
  const std::vector<Case> cases = {
      {"multiplier, threshold 0",
       make_triplets(2, {{1, 1, 1e-300}, {1, 2, 1e300}, {2, 1, 1e300}, {2, 2, 1.0}}), 0.0},
      {"multiplier, threshold 0.1",
       make_triplets(2, {{1, 1, 1e-300}, {1, 2, 1e-300}, {2, 1, 1e300}, {2, 2, 1.0}}), 0.1},
      {"update", make_triplets(2, {{1, 1, 1.0}, {1, 2, 1e300}, {2, 1, 1e10}, {2, 2, 1.0}}), 0.0},
      {"fill-in", make_triplets(3, {{1, 1, 1.0}, {1, 3, 1e300}, {2, 1, 1e10}, {2, 2, 1.0},
                                    {3, 2, 1.0}, {3, 3, 1.0}}),
       0.0},
  };
  for (const Case& c : cases)
    for (bool btf : {true, false})
      for (bool stop : {true, false}) {
        SCOPED_TRACE(std::string(c.what) + (btf ? ", preordered" : "") +
                     (stop ? "" : ", STPNUM false"));
        reset_blocks();
        ORVK_MA28ED.USEBTF = btf ? ORVK_TRUE : ORVK_FALSE;
        ORVK_MA28FD.STPNUM = stop ? ORVK_TRUE : ORVK_FALSE;
        UnitCapture cap(6);
        Solver s;
        EXPECT_EQ(s.analyse(c.a, 40, 40, c.thr), -2);
        EXPECT_EQ(cap.lines(),
                  (Lines{" ERROR RETURN FROM MA30A/AD BECAUSE MATRIX IS NUMERICALLY SINGULAR",
                         kB36 + "ERROR RETURN FROM MA30A/AD", kOverA}));
        const std::vector<double> b(c.a.n, 1.0);
        EXPECT_EQ(s.solve(b), b);
        EXPECT_EQ(ORVK_MA28FD.SOLRES, -1.0);
      }
}

// Repeated finite entries whose sum overflows are refused as a value that
// is not finite, named by its position after the warning of the repeat;
// the solve refuses the arrays.
TEST(Ma28Ad, RepeatedEntriesSummingBeyondTheRangeAreRefused) {
  for (double big : {1e308, -1e308})
    for (bool btf : {true, false}) {
      reset_blocks();
      ORVK_MA28ED.USEBTF = btf ? ORVK_TRUE : ORVK_FALSE;
      const Triplets a = make_triplets(
          3, {{1, 1, 1.0}, {2, 3, big}, {2, 2, 1.0}, {3, 2, 1.0}, {2, 3, big}, {3, 3, 1.0}});
      UnitCapture cap(6);
      Solver s;
      EXPECT_EQ(s.analyse(a, 40, 40), -15) << big << btf;
      EXPECT_EQ(cap.lines(),
                (Lines{big > 0 ? " DUPLICATE ELEMENT IN POSITION        2 ,       3 WITH VALUE "
                                 "  1.00000000000000+308"
                               : " DUPLICATE ELEMENT IN POSITION        2 ,       3 WITH VALUE "
                                 " -1.00000000000000+308",
                       kB36 + "ELEMENT      2 ,     3 IS NOT FINITE", kOverA}))
          << big << btf;
      const std::vector<double> b(3, 1.0);
      EXPECT_EQ(s.solve(b), b);
      EXPECT_EQ(ORVK_MA28FD.SOLRES, -1.0);
    }
}

TEST(Ma28Ad, KernelRowFileFailureIsPassedOn) {
  reset_blocks();
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  const Triplets a = random_sparse(50, 8, 4242, true);
  UnitCapture cap(6);
  Solver s;
  EXPECT_EQ(s.analyse(a, 40 * a.nz(), a.nz()), -3);
  ASSERT_EQ(cap.lines().size(), 4u);
  EXPECT_EQ(cap.lines()[0], " ERROR RETURN FROM MA30A/AD BECAUSE LIRN NOT BIG ENOUGH");
  EXPECT_EQ(cap.lines()[1].substr(0, 10), " AT STAGE ");
  EXPECT_EQ(cap.lines()[1].substr(15),
            " IN BLOCK     1 WITH FIRST ROW     1 AND LAST ROW    50");
  EXPECT_EQ(cap.lines()[2], kB36 + "ERROR RETURN FROM MA30A/AD");
  EXPECT_EQ(cap.lines()[3], kOverA);
  EXPECT_GT(ORVK_MA28FD.MINLIR, a.nz());
}

TEST(Ma28Ad, PreorderingFailsWhenLicnLeavesNoGap) {
  reset_blocks();
  const Triplets a = catalogue()[2].a;  // lower triangular, 4 blocks
  UnitCapture cap(6);
  Solver s;
  EXPECT_EQ(s.analyse(a, a.nz(), a.nz()), -7);
  EXPECT_EQ(cap.lines(),
            (Lines{"                                  LICN NOT BIG ENOUGH INCREASE BY      4",
                   "+ERROR RETURN FROM MC23AD BECAUSE", kB36 + "ERROR RETURN FROM MC23A/AD",
                   kOverA}));
}

TEST(Ma28Ad, TightValueFileIsMeasuredAndTheMeasureSuffices) {
  int failed_runs = 0;
  for (int seed = 0; seed < 60; ++seed) {
    reset_blocks();
    ORVK_MA28ED.ERRUNT = 0;
    ORVK_MA28ED.USEBTF = (seed % 2) ? ORVK_TRUE : ORVK_FALSE;
    const IWORD n = 20 + 3 * seed;
    const Triplets a = random_sparse(n, 1 + seed % 4, 900 + seed, seed % 3 != 0);
    Solver s;
    const IWORD st = s.analyse(a, a.nz() + a.nz() / 4 + n, 3 * a.nz(), 0.1);
    if (st != -5) continue;
    ++failed_runs;
    EXPECT_GT(ORVK_MA28FD.VALCMP, 0);
    const IWORD lic = ORVK_MA28FD.MINLIC, lir = std::max(ORVK_MA28FD.MINLIR, a.nz());
    Solver s2;
    ASSERT_EQ(s2.analyse(a, lic, lir, 0.1), 0) << "seed " << seed;
    expect_solves_every_mode(s2, a, "retry seed " + std::to_string(seed), 1e4);
  }
  EXPECT_GT(failed_runs, 5);  // the case list exercises the measuring run
}

TEST(Ma28Ad, LicnFailureWhenStoppingAtOnce) {
  reset_blocks();
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  ORVK_MA30ED.STPSPC = ORVK_TRUE;
  const Triplets a = catalogue()[5].a;  // dense 6 x 6: LICN 36 leaves no room
  UnitCapture cap(6);
  Solver s;
  EXPECT_EQ(s.analyse(a, 40, 200), -5);
  ASSERT_GE(cap.lines().size(), 5u);
  EXPECT_EQ(cap.lines()[0], " LU DECOMPOSITION DESTROYED TO CREATE MORE SPACE");
  EXPECT_EQ(cap.lines()[1], " ERROR RETURN FROM MA30A/AD BECAUSE LICN NOT BIG ENOUGH");
  EXPECT_EQ(cap.lines()[2].substr(0, 10), " AT STAGE ");
  EXPECT_EQ(cap.lines()[3], kB36 + "ERROR RETURN FROM MA30A/AD");
  EXPECT_EQ(cap.lines()[4], kOverA);
}

TEST(Ma28Ad, GrowthEstimateAndLargestEntry) {
  reset_blocks();
  const Triplets a = catalogue()[2].a;  // lower triangular: no multipliers
  Solver s;
  ASSERT_EQ(s.analyse(a, 40, 40), 0);
  EXPECT_EQ(s.rwork[0], a.maxabs());  // W(1) = 0 + largest |A|
  EXPECT_EQ(s.rwork[1], a.maxabs());
  // N = 1: RWORK(2) untouched.
  reset_blocks();
  Solver s1;
  ASSERT_EQ(s1.analyse(make_triplets(1, {{1, 1, -3.0}}), 4, 4), 0);
  EXPECT_EQ(s1.rwork[0], 3.0);
  EXPECT_EQ(s1.rwork[1], 0.0);
  // Without ESTGRW nothing is written to RWORK.
  reset_blocks();
  ORVK_MA28ED.ESTGRW = ORVK_FALSE;
  const Triplets d = catalogue()[5].a;
  Solver s2;
  ASSERT_EQ(s2.analyse(d, 200, 200), 0);
  EXPECT_EQ(s2.rwork[0], 0.0);
}

TEST(Ma28Ad, WithoutDefaultsNothingIsWrittenAndSingularityIsNoted) {
  reset_blocks(false);
  UnitCapture cap(6);
  Solver s;
  EXPECT_EQ(s.analyse(make_triplets(2, {{1, 1, 1.0}, {2, 1, 1.0}}), 10, 10), 1);  // no preordering, no stop
  EXPECT_TRUE(cap.lines().empty());
  Solver s2;
  Triplets z;
  z.n = 0;
  EXPECT_EQ(s2.analyse(z, 1, 1), -8);  // silent: ERRUNT 0
  EXPECT_TRUE(cap.lines().empty());
}

}  // namespace
