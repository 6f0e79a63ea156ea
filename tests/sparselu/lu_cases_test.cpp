// Named small cases of the factor-and-solve methods: tolerance repair,
// pivot exchanges, repaired singular steps, the room limits exactly at the
// limit and one word below, the refusals of the re-solves, and the mended
// faults (non-finite entries, reused orderings that no longer fit, zero
// pivots, spikes that are not nested, fill rows without a pivot), each with
// its exact messages.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sparselu/lu_methods_util.hpp"
#include "support/capture.hpp"

namespace {

using namespace lmtest;
using Lines = std::vector<std::string>;

constexpr int kUnit = 6;
const std::string B6 = "      ";

// Natural-order problem of order N from (row, column, value) entries;
// ENDS lists the last steps of the diagonal blocks (N is added).
Problem natural(IWORD n, const std::vector<Entry>& es, std::vector<IWORD> ends = {}) {
  std::vector<IWORD> id(static_cast<std::size_t>(n + 1));
  for (IWORD k = 0; k <= n; ++k) id[k] = k;
  std::vector<bool> e(static_cast<std::size_t>(n + 1), false);
  for (IWORD k : ends) e[k] = true;
  e[n] = true;
  return assemble(n, es, id, id, e);
}

std::vector<double> rhs_for(const Problem& p, const std::vector<double>& x) { return matvec(p, x.data()); }

std::string I6(IWORD v) {
  std::string s = std::to_string(v);
  return std::string(6 - std::min<std::size_t>(6, s.size()), ' ') + s;
}

// ---- method 1: tolerances, N = 0, pivot exchange --------------------------------------

TEST(SpLuMethod1, ToleranceRepairAndEmptyProblem) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    double t1, t2, want1, want2;
  } rows[] = {
      {0.0, 1e-4, 0.005, 0.005}, {1.0, 0.5, 0.999, 0.999}, {2.0, 1e-4, 0.005, 0.005},
      {0.005, 1e-4, 0.005, 0.005}, {0.3, 0.5, 0.3, 0.5}, {nan, nan, 0.005, 0.005},
      {-1.0, 2.0, 0.005, 0.999},
  };
  for (const Row& r : rows) {
    ORVK_SPOPT1.PIVTL1 = r.t1;
    ORVK_SPOPT1.PIVTL2 = r.t2;
    std::vector<IWORD> irp{1, 0}, ici(4), iorn(2, 7), w39(2, 7), w(2, 1), stepc(1);
    std::vector<double> a(4), b(1), x(1);
    IWORD ierr = 5;
    ORVK_SPOPT2_T opt{};
    opt.CHKMODE = 2;
    orvika::LU1SOL(0, 4, ORVK_SPOPT1.PIVTL1, ORVK_SPOPT1.PIVTL2, 0, iv(irp), iv(ici), rv(a), rv(b), 1,
                   rv(x), iv(iorn), iv(w39), iv(w), iv(w), opt, iv(stepc), ierr);
    EXPECT_EQ(ORVK_SPOPT1.PIVTL1, r.want1) << r.t1 << " " << r.t2;
    EXPECT_EQ(ORVK_SPOPT1.PIVTL2, r.want2) << r.t1 << " " << r.t2;
    EXPECT_EQ(ierr, 5);
    EXPECT_EQ(irp[0], 5);  // MAXA + 1
    EXPECT_EQ(w39[0], 1);
    EXPECT_EQ(iorn[0], 7);
  }
  ORVK_SPOPT1 = {1e-4, 1e-4, 1.0};
}

TEST(SpLuMethod1, DiagonalBlocksOfOne) {
  const Problem p = natural(3, {{1, 1, 2.0}, {2, 2, -4.0}, {3, 3, 0.5}}, {1, 2});
  const Result r = run_rows(p, {1.0, 2.0, 3.0}, 1, Opts{}, false);
  ASSERT_EQ(r.ierr, 0);
  EXPECT_EQ(r.x[0], 0.5);
  EXPECT_EQ(r.x[1], -0.5);
  EXPECT_EQ(r.x[2], 6.0);
}

// The assigned column of step 1 holds 1e-6 against 1 in column 2: the pivot
// moves to column 2 and the two columns exchange their steps.
TEST(SpLuMethod1, PivotLeavesTheAssignedColumn) {
  const Problem p = natural(2, {{1, 1, 1e-6}, {1, 2, 1.0}, {2, 1, 1.0}, {2, 2, 1.0}});
  const std::vector<double> x{3.0, -2.0};
  const auto b = rhs_for(p, x);
  Opts o;
  o.pivtl1 = o.pivtl2 = 0.1;
  for (bool keep : {false, true}) {
    const Result r = run_rows(p, b, 1, o, keep);
    ASSERT_EQ(r.ierr, 0);
    EXPECT_EQ(r.w39[0], 2);
    EXPECT_EQ(r.w39[1], 1);
    EXPECT_NEAR(r.x[0], 3.0, 1e-12);
    EXPECT_NEAR(r.x[1], -2.0, 1e-12);
  }
}

// ---- methods 1 and 2: repaired singular step -------------------------------------------

// Step 2 is a block of its own whose only value in its block is 0.
Problem zero_step() {
  return natural(3, {{1, 1, 2.0}, {2, 1, 4.0}, {2, 2, 0.0}, {3, 1, 1.0}, {3, 2, 1.0}, {3, 3, 5.0}},
                 {1, 2});
}

TEST(SpLuMethods12, RepairedSingularStep) {
  const Problem p = zero_step();
  const std::vector<double> b{2.0, 7.0, 11.0};
  struct Row {
    bool keep;
    IWORD chk, ierr;
    Lines lines;
  } rows[] = {
      {false, 2, 8, {"", B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      2  (LU1P2)"}},
      {false, 0, 8, {"", B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      2  (LU1P2)"}},
      {false, 3, 8, {}},
      {false, 1, -8,
       {"", B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      2  (LU1P2)", "",
        B6 + "PROGRAM EXECUTION TERMINATED  (LU1P2)"}},
      {true, 2, 8, {"", B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      2  (LU2P2) "}},
      {true, 3, 8, {}},
      {true, 1, -8,
       {"", B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      2  (LU2P2) ", "",
        B6 + "PROGRAM EXECUTION TERMINATED  (LU2P2)"}},
  };
  for (const Row& row : rows) {
    orvika_test::UnitCapture cap(kUnit);
    Opts o;
    o.chkmode = row.chk;
    o.msgunit = kUnit;
    const Result r = run_rows(p, b, 2 - 1, o, row.keep);
    EXPECT_EQ(r.ierr, row.ierr) << row.keep << " " << row.chk;
    EXPECT_EQ(cap.lines(), row.lines) << row.keep << " " << row.chk;
    if (r.ierr != 8) continue;
    EXPECT_EQ(r.w40[1], -1);
    EXPECT_EQ(r.w41[1], -1);
    EXPECT_EQ(r.x[0], 1.0);
    EXPECT_EQ(r.x[1], 0.0);
    EXPECT_EQ(r.x[2], (11.0 - 1.0) / 5.0);
    if (!row.keep) continue;
    // The repair makes the kept factors unusable.
    cap.clear();
    const Result m3 = run_m3(r, 3, b, 1, kUnit);
    EXPECT_EQ(m3.ierr, -11);
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "THESE LU FACTORS SHOULD NOT BE USED  (LU1P3)",
                                  B6 + "THE ORIGINAL MATRIX HAD EMPTY ROWS AND/OR COLUMNS",
                                  B6 + "AND/OR WAS FOUND TO BE NUMERICALLY AND/OR",
                                  B6 + "STRUCTURALLY SINGULAR"}));
    EXPECT_EQ(m3.b, b);
  }
}

// Rows 1 and 2 hold only column 1: nothing is left for step 2.
TEST(SpLuMethods12, NothingLeftForTheStep) {
  const Problem p = natural(2, {{1, 1, 1.0}, {2, 1, 2.0}});
  {
    orvika_test::UnitCapture cap(kUnit);
    Opts o;
    o.msgunit = kUnit;
    EXPECT_EQ(run_rows(p, {1.0, 1.0}, 1, o, false).ierr, -8);
    EXPECT_EQ(cap.lines(),
              (Lines{"", B6 + "ZERO PIVOT FOUND FOR ROW      2, MATRIX IS NUMERICALLY SINGULAR  (LU1P2)", "",
                     B6 + "PROGRAM EXECUTION TERMINATED  (LU1P2)"}));
  }
  {
    orvika_test::UnitCapture cap(kUnit);
    Opts o;
    o.msgunit = kUnit;
    EXPECT_EQ(run_rows(p, {1.0, 1.0}, 1, o, true).ierr, -3);
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "COLUMN INDEX      3 GREATER THAN NUMBER OF COLUMNS ",
                                  B6 + "     2 IN ROW      2  (LU2P2)",
                                  B6 + "SHOULD HAVE BEEN FIXED BY DATA CHECKING ROUTINES",
                                  B6 + "PROGRAM EXECUTION TERMINATED  (LU2P2)"}));
  }
}

TEST(SpLuMethods12, EmptyAndRepeatedRows) {
  {
    // Row 2 has no entry.
    const Problem p = natural(2, {{1, 1, 1.0}});
    for (IWORD unit : {IWORD{kUnit}, IWORD{0}}) {
      orvika_test::UnitCapture cap(kUnit);
      Opts o;
      o.msgunit = unit;
      EXPECT_EQ(run_rows(p, {1.0, 1.0}, 1, o, false).ierr, -4);
      const Lines want{"", B6 + "ROW      2 IS EMPTY (LU1P1)",
                       B6 + "SHOULD HAVE BEEN FIXED BY DATA CHECKING ROUTINES",
                       B6 + "PROGRAM EXECUTION TERMINATED  (LU1P1)"};
      EXPECT_EQ(cap.lines(), unit == 0 ? Lines{} : want);
    }
  }
  {
    // Column 2 twice in row 2.
    Problem p = natural(2, {{1, 1, 1.0}, {2, 1, 1.0}, {2, 2, 1.0}});
    p.ici[1] = 2;  // row 2 now holds column 2 twice
    for (bool keep : {false, true}) {
      orvika_test::UnitCapture cap(kUnit);
      Opts o;
      o.msgunit = kUnit;
      EXPECT_EQ(run_rows(p, {1.0, 1.0}, 1, o, keep).ierr, -6);
      const std::string who = keep ? "LU2P2" : "LU1P2";
      EXPECT_EQ(cap.lines(), (Lines{"", B6 + "DUPLICATE INDEX      2 IN ROW      2  (" + who + ")",
                                    B6 + "SHOULD HAVE BEEN FIXED BY DATA CHECKING ROUTINES",
                                    B6 + "PROGRAM EXECUTION TERMINATED  (" + who + ")"}));
    }
  }
}

// ---- room limits ---------------------------------------------------------------------------

// Arrow matrix: row 1 and column 1 full, one block: every U row fills up.
Problem arrow(IWORD n) {
  std::vector<Entry> es;
  for (IWORD j = 1; j <= n; ++j) es.push_back({1, j, j == 1 ? 4.0 * n : 1.0});
  for (IWORD i = 2; i <= n; ++i) {
    es.push_back({i, 1, 1.0});
    es.push_back({i, i, 4.0 * n});
  }
  return natural(n, es);
}

TEST(SpLuRoom, Method1AtTheLimitAndOneBelow) {
  const IWORD n = 8;
  const Problem p = arrow(n);
  std::mt19937_64 rng(3);
  const auto b = random_rhs(rng, n, 1);
  IWORD lim = p.nz();
  while (run_rows(p, b, 1, Opts{.maxa = lim}, false).ierr == -10) ++lim;
  EXPECT_GT(lim, p.nz());
  const Result ok = run_rows(p, b, 1, Opts{.maxa = lim}, false);
  ASSERT_EQ(ok.ierr, 0);
  EXPECT_LT(scaled_residual(p.n, p.irp.data(), p.ici.data(), p.a.data(), ok.x.data(), b.data()),
            scaled_bound(1e-14, p.n));
  orvika_test::UnitCapture cap(kUnit);
  const Result bad = run_rows(p, b, 1, Opts{.maxa = lim - 1, .msgunit = kUnit}, false);
  EXPECT_EQ(bad.ierr, -10);
  ASSERT_EQ(cap.lines().size(), 4u);
  EXPECT_EQ(cap.lines()[1].substr(0, 36), B6 + "ELIMINATION TERMINATED AT ROW ");
  EXPECT_EQ(cap.lines()[1].substr(42), " BECAUSE NOT");
  EXPECT_EQ(cap.lines()[2], B6 + "ENOUGH SPACE; MAXA TOO SMALL  (LU1P2) ");
  EXPECT_EQ(cap.lines()[3], B6 + "PROGRAM EXECUTION TERMINATED  (LU1P2)");
}

TEST(SpLuRoom, Method2LowmaxAtTheLimitAndOneBelow) {
  std::mt19937_64 rng(5);
  const Problem p = random_problem(rng, 12, 2.0, 1, false, true, true);
  const auto b = random_rhs(rng, 12, 1);
  const Result full = run_rows(p, b, 1, Opts{}, true);
  ASSERT_EQ(full.ierr, 0);
  const IWORD K = full.w32[12] - 1;  // L entries recorded
  const Result ok = run_rows(p, b, 1, Opts{.lowmax = K + 1}, true);
  EXPECT_EQ(ok.ierr, 0);
  EXPECT_TRUE(same_bits(ok.x, full.x, 12));
  orvika_test::UnitCapture cap(kUnit);
  const Result bad = run_rows(p, b, 1, Opts{.lowmax = K, .msgunit = kUnit}, true);
  EXPECT_EQ(bad.ierr, -9);
  EXPECT_EQ(cap.lines(), (Lines{"", B6 + "ELIMINATION TERMINATED AT ROW     12 BECAUSE NOT ",
                                B6 + "ENOUGH SPACE FOR L-MATRIX; LOWMAX TOO SMALL (LU2P2)",
                                B6 + "PROGRAM EXECUTION TERMINATED (LU2P2)"}));
}

// Method 2 keeps the U rows of each finished block in W50/W51, which hold
// NZ entries; a block whose rows do not fit there stays in place in
// IRP/ICI/IA (room permitting), so heavier fill still factors: the same
// solution as method 1 bit for bit, nothing written past the saves, and
// method 3 repeats the solution from the kept factors.
TEST(SpLuRoom, Method2BlockSavesOverflow) {
  const IWORD n = 8;
  // The arrow fills every U row: n(n-1)/2 entries against NZ = 3n-2.
  const Problem p = arrow(n);
  const std::vector<double> b(static_cast<std::size_t>(n), 1.0);
  const Result m1 = run_rows(p, b, 1, Opts{}, false);
  ASSERT_EQ(m1.ierr, 0);
  const Result r = run_rows(p, b, 1, Opts{}, true);
  ASSERT_EQ(r.ierr, 0);
  EXPECT_GT(r.irp[n] - 1, p.nz());
  EXPECT_TRUE(same_bits(r.x, m1.x, n));
  for (std::size_t k = static_cast<std::size_t>(p.nz()); k < r.w50.size(); ++k) {
    EXPECT_EQ(r.w50[k], -7.0);
    EXPECT_EQ(r.w51[k], -7);
  }
  const Result s = run_m3(r, n, b, 1);
  ASSERT_EQ(s.ierr, 0);
  EXPECT_TRUE(same_bits(s.x, m1.x, n));
}

// Lower triangular with a full last column: one spike over every row.
Problem full_last_column(IWORD n) {
  std::vector<Entry> es;
  for (IWORD i = 1; i <= n; ++i) {
    if (i > 1) es.push_back({i, i - 1, 1.0});
    es.push_back({i, i, 3.0});
    if (i < n) es.push_back({i, n, 0.5});
  }
  return natural(n, es);
}

TEST(SpLuRoom, Method4SegmentsAtTheLimitAndOneBelow) {
  const IWORD n = 6;
  const Problem p = full_last_column(n);
  const std::vector<double> x{1, 2, 3, 4, 5, 6};
  const auto b = rhs_for(p, x);
  const IWORD nz = p.nz();
  const Result ok = run_cbs(p, b, 1, Opts{.maxa = nz + n + 1}, false);
  ASSERT_EQ(ok.ierr, 0);
  for (IWORD c = 0; c < n; ++c) EXPECT_NEAR(ok.x[c], x[c], 1e-13);
  {
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(run_cbs(p, b, 1, Opts{.maxa = nz + n, .msgunit = kUnit}, false).ierr, -10);
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "ELIMINATION TERMINATED AT ROW      1 BECAUSE NOT ",
                                  B6 + "ENOUGH SPACE; MAXA TOO SMALL  (CBSLU1)"}));
  }
  {
    // Below NZ + N the method refuses at entry, before any write.
    orvika_test::UnitCapture cap(kUnit);
    const Result r = run_cbs(p, b, 1, Opts{.maxa = nz + n - 1, .msgunit = kUnit}, true);
    EXPECT_EQ(r.ierr, -10);
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "NOT ENOUGH SPACE; MAXA =    21 IS LESS THAN NZ + N =    22  (CBSLU2)"}));
    EXPECT_EQ(r.w18, p.w18);
  }
}

// The room message of each column-segment method at the first word too few:
// method 4's first line ends in a blank, method 5's does not.
TEST(SpLuRoom, SegmentRoomMessageOfEachColumnMethod) {
  const IWORD n = 6;
  const Problem p = full_last_column(n);
  const auto b = rhs_for(p, {1, 2, 3, 4, 5, 6});
  struct Case {
    bool keep;
    Lines lines;
  } cases[] = {
      {false, {"", B6 + "ELIMINATION TERMINATED AT ROW      1 BECAUSE NOT ",
               B6 + "ENOUGH SPACE; MAXA TOO SMALL  (CBSLU1)"}},
      {true, {"", B6 + "ELIMINATION TERMINATED AT ROW      1 BECAUSE NOT",
              B6 + "ENOUGH SPACE; MAXA TOO SMALL  (CBSLU2)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keep ? "method 5" : "method 4");
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(run_cbs(p, b, 1, Opts{.maxa = p.nz() + n, .msgunit = kUnit}, c.keep).ierr, -10);
    EXPECT_EQ(cap.lines(), c.lines);
  }
}

TEST(SpLuRoom, Method5LowmaxAndLowerTriangularRecord) {
  const IWORD n = 5;
  std::vector<Entry> es;
  for (IWORD i = 1; i <= n; ++i) {
    for (IWORD j = 1; j < i; j += 2) es.push_back({i, j, 0.25 * j});
    es.push_back({i, i, 2.0 + i});
  }
  const Problem p = natural(n, es);
  const auto b = rhs_for(p, {1, -1, 2, -2, 3});
  const Result full = run_cbs(p, b, 1, Opts{}, true);
  ASSERT_EQ(full.ierr, 0);
  // Per step: one L entry per off-diagonal entry, then the reciprocal of
  // the pivot; no column eliminations.
  IWORD K = 0;
  for (IWORD t = 1; t <= n; ++t) {
    const IWORD off = (t - 1 + 1) / 2;
    EXPECT_EQ(full.w32[t] - full.w32[t - 1], off + 1) << t;
    EXPECT_EQ(full.w42[full.w32[t] - 2], t);
    EXPECT_EQ(full.w26[full.w32[t] - 2], 1.0 / (2.0 + t));
    K += off + 1;
  }
  EXPECT_EQ(full.w33[n], 1);
  EXPECT_EQ(run_cbs(p, b, 1, Opts{.lowmax = K + 1}, true).ierr, 0);
  orvika_test::UnitCapture cap(kUnit);
  const Result bad = run_cbs(p, b, 1, Opts{.lowmax = K, .msgunit = kUnit}, true);
  EXPECT_EQ(bad.ierr, -9);
  EXPECT_EQ(cap.lines(), (Lines{"", B6 + "ELIMINATION TERMINATED AT ROW      5 BECAUSE NOT",
                                B6 + "ENOUGH SPACE FOR L-MATRIX; LOWMAX TOO SMALL  (CBSLU2)"}));
  EXPECT_EQ(bad.w18, p.w18);
}

TEST(SpLuRoom, Method7FillAtTheLimitAndOneBelow) {
  // Row 1 claims both columns (pivot 2.0 in column 2); row 2 becomes a fill row.
  const Problem p = natural(2, {{1, 1, 1.0}, {1, 2, 2.0}, {2, 1, 3.0}, {2, 2, 4.0}});
  const auto b = rhs_for(p, {5.0, -1.0});
  const Result ok = run_m7(p, b, 1, Opts{.maxa = p.nz() + 1});
  ASSERT_EQ(ok.ierr, 0);
  EXPECT_NEAR(ok.x[0], 5.0, 1e-14);
  EXPECT_NEAR(ok.x[1], -1.0, 1e-14);
  orvika_test::UnitCapture cap(kUnit);
  const Result bad = run_m7(p, b, 1, Opts{.maxa = p.nz(), .msgunit = kUnit});
  EXPECT_EQ(bad.ierr, -10);
  EXPECT_EQ(cap.lines(), (Lines{"", B6 + "ELIMINATION TERMINATED AT ROW      2", "BECAUSE NOT",
                                B6 + "ENOUGH SPACE; MAXA TOO SMALL  (RANKI)"}));
  EXPECT_EQ(bad.iorn, p.iorn);
}

// ---- mended faults ---------------------------------------------------------------------------

TEST(SpLuFaults, NonFiniteEntryIsSingular) {
  for (double bad : {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
    for (bool keep : {false, true}) {
      const Problem p = natural(2, {{1, 1, bad}, {1, 2, 1.0}, {2, 1, 1.0}, {2, 2, 1.0}});
      orvika_test::UnitCapture cap(kUnit);
      const Result r = run_rows(p, {1.0, 1.0}, 1, Opts{.msgunit = kUnit}, keep);
      EXPECT_EQ(r.ierr, -8);
      const std::string who = keep ? "LU2P2" : "LU1P2";
      EXPECT_EQ(cap.lines(),
                (Lines{"", B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      1  " + (keep ? "(LU2P2) " : "(LU1P2)"),
                       "", B6 + "PROGRAM EXECUTION TERMINATED  (" + who + ")"}));
    }
}

// A reused ordering meets a pattern with the same count but an entry in a
// column of a later block: refused instead of a wrong solution.
TEST(SpLuFaults, ReusedOrderingOutsideItsBlock) {
  Problem p = natural(3, {{1, 1, 2.0}, {1, 2, 1.0}, {2, 1, 1.0}, {2, 2, 3.0}, {3, 1, 1.0}, {3, 3, 4.0}},
                      {2});
  ASSERT_EQ(run_rows(p, {1, 1, 1}, 1, Opts{}, false).ierr, 0);
  p.ici[1] = 3;  // the entry (1,2) becomes (1,3), in the later block
  for (bool keep : {false, true}) {
    orvika_test::UnitCapture cap(kUnit);
    const Result r = run_rows(p, {1, 1, 1}, 1, Opts{.msgunit = kUnit}, keep);
    EXPECT_EQ(r.ierr, -12);
    const std::string who = keep ? "LU2P2" : "LU1P2";
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "COLUMN      3 IN ROW      1 DOES NOT FIT THE ORDERING  (" + who + ")",
                                  B6 + "THE PREVIOUS ORDERING MUST NOT BE USED",
                                  B6 + "PROGRAM EXECUTION TERMINATED  (" + who + ")"}));
  }
}

// Step 1's assigned column holds an exact 0: whatever the tolerances, the
// pivot is the nonzero spike column.
TEST(SpLuFaults, Method4NeverTakesAZeroPivot) {
  const Problem p = natural(2, {{1, 1, 0.0}, {1, 2, 1.0}, {2, 1, 1.0}, {2, 2, 1.0}});
  const auto b = rhs_for(p, {2.0, 3.0});
  for (double t1 : {-1.0, 0.0, 1e-4})
    for (double t2 : {-1.0, 0.0, 1e-4})
      for (bool keep : {false, true}) {
        const Result r = run_cbs(p, b, 1, Opts{.pivtl1 = t1, .pivtl2 = t2}, keep);
        ASSERT_EQ(r.ierr, 0) << t1 << " " << t2;
        EXPECT_EQ(r.x[0], 2.0);
        EXPECT_EQ(r.x[1], 3.0);
      }
}

TEST(SpLuFaults, Method4PivotZeroToleranceTakesAssignedColumn) {
  // PIVTL1 = 0 accepts the assigned column whenever it is not exactly 0.
  const Problem p = natural(2, {{1, 1, 1e-9}, {1, 2, 1.0}, {2, 1, 1.0}, {2, 2, 1.0}});
  const Result r = run_cbs(p, rhs_for(p, {1.0, 1.0}), 1, Opts{.pivtl1 = 0.0, .pivtl2 = 0.5}, true);
  ASSERT_EQ(r.ierr, 0);
  EXPECT_EQ(r.w37[0], 1);
  EXPECT_EQ(r.w37[1], 2);
}

TEST(SpLuFaults, Method4SpikesNotNested) {
  // Upper bidiagonal in natural order: column 2 starts at row 1 but ends
  // before column 3, which starts at row 2.
  const Problem p = natural(3, {{1, 1, 2.0}, {1, 2, 1.0}, {2, 2, 2.0}, {2, 3, 1.0}, {3, 3, 2.0}});
  for (bool keep : {false, true}) {
    orvika_test::UnitCapture cap(kUnit);
    const Result r = run_cbs(p, {1, 1, 1}, 1, Opts{.msgunit = kUnit}, keep);
    EXPECT_EQ(r.ierr, -12);
    const std::string who = keep ? "CBSLU2" : "CBSLU1";
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "SPIKES ARE NOT NESTED AT ROW      2  (" + who + ")",
                                  B6 + "THE PREVIOUS ORDERING MUST NOT BE USED"}));
    EXPECT_EQ(r.w18, p.w18);
  }
}

TEST(SpLuFaults, Method4SingularRow) {
  const Problem p = natural(2, {{1, 1, 1.0}, {2, 1, 2.0}});
  orvika_test::UnitCapture cap(kUnit);
  EXPECT_EQ(run_cbs(p, {1, 1}, 1, Opts{.msgunit = kUnit}, false).ierr, -8);
  EXPECT_EQ(cap.lines(), (Lines{"", B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      2  (CBSLU1)"}));
}

TEST(SpLuFaults, Method7FillRowWithoutUsablePivot) {
  struct Row {
    const char* what;
    std::vector<Entry> es;
    double tol;
  } rows[] = {
      {"dependent rows", {{1, 1, 1.0}, {1, 2, 2.0}, {2, 1, 2.0}, {2, 2, 4.0}}, 1e-4},
      {"tiny fill pivot", {{1, 1, 1.0}, {1, 2, 1e-31}, {2, 1, 1.0}, {2, 2, 2e-31}}, 1e-4},
      {"tolerance above 1", {{1, 1, 1.0}, {1, 2, 2.0}, {2, 1, 3.0}, {2, 2, 4.0}}, 2.0},
  };
  for (const Row& row : rows) {
    const Problem p = natural(2, row.es);
    orvika_test::UnitCapture cap(kUnit);
    const Result r = run_m7(p, {1.0, 1.0}, 1, Opts{.pivtl2 = row.tol, .rnkopt = 0, .msgunit = kUnit});
    EXPECT_EQ(r.ierr, -8) << row.what;
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      2  (RANKI)"}))
        << row.what;
    EXPECT_EQ(r.iorn, p.iorn) << row.what;
  }
}

// A pivot that passes the choice but is too small to divide by (no
// demotion with RNKOPT 0): the solution overflows or the values carry NaN,
// and the backward-error test refuses it instead of returning it.
TEST(SpLuFaults, Method7NonFiniteSolutionIsRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    const char* what;
    std::vector<Entry> es;
  } rows[] = {
      {"subnormal pivot", {{1, 1, 1.0}, {2, 1, 1.0}, {2, 2, 4.9e-324}}},
      {"pivot 1e-310", {{1, 1, 1.0}, {2, 1, 1.0}, {2, 2, 1e-310}}},
      {"NaN beside the pivots", {{1, 1, 1.0}, {2, 1, nan}, {2, 2, 1.0}}},
  };
  for (const Row& row : rows)
    for (IWORD nrhs : {1, 2}) {
      const Problem p = natural(2, row.es);
      orvika_test::UnitCapture cap(kUnit);
      const Result r = run_m7(p, {1.0, 3.0, 2.0, 5.0}, nrhs, Opts{.pivtl2 = 0.5, .rnkopt = 0, .msgunit = kUnit});
      EXPECT_EQ(r.ierr, -8) << row.what << " nrhs " << nrhs;
      EXPECT_EQ(cap.lines(), (Lines{"", B6 + "RESIDUAL OF THE SOLUTION TOO LARGE",
                                    B6 + "ELIMINATION IS NUMERICALLY UNSTABLE  (RANKI)"}))
          << row.what << " nrhs " << nrhs;
    }
}

TEST(SpLuFaults, Method7DemotesSmallPivots) {
  // Row 1's only new column holds 0.1 against 1.0: with RNKOPT = 1 and
  // PIVTL2 = 0.5 it is demoted and eliminated; the solution is the same.
  const Problem p = natural(2, {{1, 1, 1.0}, {1, 2, 0.1}, {2, 1, 1.0}, {2, 2, 0.0}});
  const auto b = rhs_for(p, {2.0, -3.0});
  for (IWORD rnk : {0, 1}) {
    const Result r = run_m7(p, b, 1, Opts{.pivtl2 = 0.5, .rnkopt = rnk});
    ASSERT_EQ(r.ierr, 0);
    EXPECT_NEAR(r.x[0], 2.0, 1e-14);
    EXPECT_NEAR(r.x[1], -3.0, 1e-14);
  }
}

// ---- re-solve refusals ---------------------------------------------------------------------

TEST(SpLuResolve, RefusalsAndBrokenFactors) {
  std::mt19937_64 rng(11);
  const Problem p = random_problem(rng, 6, 2.0, 2, true, true, true);
  const auto b = random_rhs(rng, 6, 1);
  const Result m2 = run_rows(p, b, 1, Opts{}, true);
  const Result m5 = run_cbs(p, b, 1, Opts{.cbsrow = 0}, true);
  ASSERT_EQ(m2.ierr, 0);
  ASSERT_EQ(m5.ierr, 0);
  {
    Result f = m5;
    f.w41[3] = 0;
    orvika_test::UnitCapture cap(kUnit);
    const Result r = run_m6(f, 6, b, 1, kUnit);
    EXPECT_EQ(r.ierr, -11);
    EXPECT_EQ(r.b, b);
    EXPECT_EQ(r.x, std::vector<double>(6, 0.0));
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "LU FACTORS SHOULD NOT BE USED  (CBSLU3)",
                                  B6 + "ORIGINAL MATRIX HAD EMPTY ROWS AND/OR COLUMNS",
                                  B6 + "AND/OR WAS FOUND TO BE NUMERICALLY AND/OR",
                                  B6 + "STRUCTURALLY SINGULAR"}));
  }
  {
    Result f = m2, g = m5;
    f.w32[3] = f.w32[2];  // L row of step 3 empty
    g.w32[3] = g.w32[2];
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(run_m3(f, 6, b, 1, kUnit).ierr, -4);
    EXPECT_EQ(run_m6(g, 6, b, 1, kUnit).ierr, -4);
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "ROW      3 OF L MATRIX IS EMPTY  (LU1P3)", "",
                                  B6 + "ROW      3 OF L MATRIX IS EMPTY  (CBSLU3)"}));
  }
  {
    Result f = m2, g = m5;
    f.w26[f.w32[2] - 2] = 1e-31;  // kept pivot of step 2
    g.w26[g.w32[2] - 2] = 1e31;   // kept reciprocal of step 2
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(run_m3(f, 6, b, 1, kUnit).ierr, -8);
    EXPECT_EQ(run_m6(g, 6, b, 1, kUnit).ierr, -8);
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      2  (LU1P3) ", "",
                                  B6 + "MATRIX IS NUMERICALLY SINGULAR AT ROW      2  (CBSLU3)"}));
  }
  {
    // Kept row ends beyond the stored factors: refused before any read.
    Result f = m2, g = m5, h = m5;
    f.w32[6] = static_cast<IWORD>(f.w26.size()) + 5;
    g.w32[6] = static_cast<IWORD>(g.w26.size()) + 5;
    h.w33[6] = static_cast<IWORD>(h.w27.size()) + 5;
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(run_m3(f, 6, b, 1, kUnit).ierr, -11);
    EXPECT_EQ(run_m6(g, 6, b, 1, kUnit).ierr, -11);
    EXPECT_EQ(run_m6(h, 6, b, 1, kUnit).ierr, -11);
    EXPECT_EQ(cap.lines(), (Lines{"", B6 + "THESE LU FACTORS SHOULD NOT BE USED  (LU1P3)",
                                  B6 + "THE KEPT FACTORS ARE NOT CONSISTENT", "",
                                  B6 + "LU FACTORS SHOULD NOT BE USED  (CBSLU3)",
                                  B6 + "THE KEPT FACTORS ARE NOT CONSISTENT", "",
                                  B6 + "LU FACTORS SHOULD NOT BE USED  (CBSLU3)",
                                  B6 + "THE KEPT FACTORS ARE NOT CONSISTENT"}));
  }
  {
    // N = 0 returns at once without looking at the flags.
    Result f = m2;
    f.w41[0] = 0;
    const Result r = run_m3(f, 0, b, 1);
    EXPECT_EQ(r.ierr, 0);
  }
}

// Exact zeros of a column elimination are kept as stretches of one sign,
// not one by one, and the re-solve applies a stretch exactly when it can
// change a value: a product 0·y of -0 (turns a -0 into +0) or a y that is
// infinite or NaN.  Lower-triangular of order 40 with one spike, the last
// column, holding entries in rows 1 and 20 only: the spike's segment keeps
// zeros in the other rows, signed as the reciprocal pivots of rows 10..14
// (negative) and of the rest (positive).  Each L row holds the pivot only,
// so method 6 must repeat method 5's arithmetic bit for bit, for either
// deferral mode and for every right-hand side.
TEST(SpLuResolve, ZeroStretchesReplayBitForBit) {
  const IWORD n = 40;
  std::vector<Entry> es;
  for (IWORD i = 1; i < n; ++i) es.push_back({i, i, i >= 10 && i <= 14 ? -4.0 : 4.0});
  es.push_back({1, n, 0.5});
  es.push_back({20, n, -0.25});
  es.push_back({n, n, 3.0});
  const Problem p = natural(n, es);
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Right-hand sides: zeros of both signs everywhere but rows 1, 20, N.
  auto rhs = [&](double zero, double last) {
    std::vector<double> b(static_cast<std::size_t>(n), zero);
    b[0] = 1.0;
    b[19] = -2.0;
    b[n - 1] = last;
    return b;
  };
  struct Case {
    const char* what;
    std::vector<double> b;
  };
  const std::vector<Case> cases = {
      {"+0, y > 0: the -0 stretches turn -0 into +0", rhs(0.0, 3.0)},
      {"-0, y < 0: the +0 stretches turn -0 into +0", rhs(-0.0, -3.0)},
      {"-0, y > 0", rhs(-0.0, 3.0)},
      {"y infinite: every row of the range", rhs(0.0, inf)},
      {"y NaN", rhs(-0.0, nan)},
      {"y = -0", rhs(0.0, -0.0)},
  };
  for (IWORD cbsrow : {n, IWORD{0}}) {
    const Result f = run_cbs(p, cases[0].b, 1, Opts{.cbsrow = cbsrow}, true);
    ASSERT_EQ(f.ierr, 0);
    // The column elimination of the spike: rows 1 and 20, and four
    // stretches (2..9, 10..14, 15..19, 21..39) -- 6 entries for 39 rows,
    // behind the group's head entry when it is deferred.
    const IWORD head = cbsrow == 0 ? 1 : 0;
    EXPECT_EQ(f.w33[n] - f.w33[n - 1], 6 + head) << cbsrow;
    for (const Case& c : cases) {
      const Result m5 = run_cbs(p, c.b, 1, Opts{.cbsrow = cbsrow}, true);
      const Result m6 = run_m6(f, n, c.b, 1);
      ASSERT_EQ(m5.ierr, 0);
      ASSERT_EQ(m6.ierr, 0);
      EXPECT_TRUE(same_bits(m5.x, m6.x, n)) << c.what << ", cbsrow " << cbsrow;
    }
    // Known values: rows 10..14 are -0 after their own step (+0 times a
    // negative reciprocal) and +0 after the stretch with y > 0; with y
    // infinite the zero rows become NaN.
    const Result a = run_m6(f, n, cases[0].b, 1);
    for (IWORD i = 10; i <= 14; ++i) EXPECT_FALSE(std::signbit(a.x[i - 1])) << i;
    const Result d = run_m6(f, n, cases[3].b, 1);
    EXPECT_TRUE(std::isnan(d.x[5]));
    EXPECT_EQ(d.x[0], -inf);
    // Two right-hand sides at once, y of opposite signs.
    std::vector<double> b2 = cases[0].b;
    b2.insert(b2.end(), cases[1].b.begin(), cases[1].b.end());
    const Result m5 = run_cbs(p, b2, 2, Opts{.cbsrow = cbsrow}, true);
    const Result m6 = run_m6(f, n, b2, 2);
    ASSERT_EQ(m6.ierr, 0);
    EXPECT_TRUE(same_bits(m5.x, m6.x, 2 * static_cast<std::size_t>(n))) << cbsrow;
    // A stretch that runs past row N is refused.
    Result g = f;
    for (IWORD k = g.w33[n - 1]; k < g.w33[n]; ++k)
      if (g.w43[k - 1] < -n) g.w27[k - 1] = std::copysign(static_cast<double>(n), g.w27[k - 1]);
    EXPECT_EQ(run_m6(g, n, cases[0].b, 1).ierr, -11);
  }
}

}  // namespace
