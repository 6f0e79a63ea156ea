// Simplex feasibility check: small feasible and infeasible polytopes with
// known answers, the check of a given point, the variable blocks, the
// work-space shortages and failures, and the tableau routines themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/qp.h"
#include "qp/qp.hpp"
#include "support/capture.hpp"

namespace {

using Vec = std::vector<double>;
using IVec = std::vector<IWORD>;

constexpr int kUnit = 63;

IWORD& word(int k) { return ORVK_NLPINT[k - 1]; }

// Constraints in the check's layout: equality rows, upper-bound rows, the
// negated lower-bound rows, general rows a x <= b.
struct Spx {
  int n = 0, meq = 0;
  std::vector<Vec> eq;  // rows of length n
  Vec beq;
  Vec lo, up;           // bounds of the bounded variables (in order)
  std::vector<int> bvar;  // the bounded variables (1-based), default 1..n
  std::vector<Vec> gen;
  Vec bgen;

  IVec icj, jcj;
  Vec acj, b;
  int mineq = 0, ninspc = 0;

  void build() {
    if (bvar.empty())
      for (int j = 1; j <= n; ++j) bvar.push_back(j);
    meq = static_cast<int>(eq.size());
    ninspc = static_cast<int>(gen.size());
    const int npair = static_cast<int>(bvar.size());
    mineq = 2 * npair + ninspc;
    icj.assign(1, 1);
    jcj.clear();
    acj.clear();
    b.clear();
    auto row = [&](const Vec& r) {
      for (int j = 0; j < n; ++j)
        if (r[j] != 0.0) jcj.push_back(j + 1), acj.push_back(r[j]);
      icj.push_back(static_cast<IWORD>(jcj.size()) + 1);
    };
    for (int r = 0; r < meq; ++r) row(eq[r]), b.push_back(beq[r]);
    for (int k = 0; k < npair; ++k) {
      Vec r(n, 0.0);
      r[bvar[k] - 1] = 1.0;
      row(r), b.push_back(up[k]);
    }
    for (int k = 0; k < npair; ++k) {
      Vec r(n, 0.0);
      r[bvar[k] - 1] = -1.0;
      row(r), b.push_back(-lo[k]);
    }
    for (int k = 0; k < ninspc; ++k) row(gen[k]), b.push_back(bgen[k]);
  }
  IWORD int_len() const {
    const int npair = static_cast<int>(bvar.size());
    const IWORD ncj = meq + npair, nz1 = icj[ncj], u = ncj + 3 * n + 1;
    return 3 * u + 128 * nz1 + 3 * n + mineq + ninspc + meq + 4 * n;
  }
  IWORD nvars_offset() const {
    const int npair = static_cast<int>(bvar.size());
    const IWORD ncj = meq + npair, nz1 = icj[ncj], u = ncj + 3 * n + 1;
    return 3 * u + 128 * nz1;
  }
  IWORD real_len() const {
    const int npair = static_cast<int>(bvar.size());
    const IWORD ncj = meq + npair, nz1 = icj[ncj], e = 26 * nz1;
    return 4 * e + 2 * (mineq + ninspc) + 2 * (meq + mineq + n + ninspc) + meq + mineq + 3 * n;
  }
};

struct Result {
  IWORD ifeas = 0, nact = -1, iact = -1;
  Vec x;
  IVec iactv;
  IVec iw;
  std::string text;
};

Result check(Spx& s, IWORD mode, Vec x = {}, IWORD ifeas0 = 0, IWORD liw = -1, IWORD lrw = -1,
             IWORD unit = kUnit) {
  s.build();
  word(ORVK_NLPINT_NINSPC) = s.ninspc;
  Result r;
  r.ifeas = ifeas0;
  r.x = x.empty() ? Vec(s.n, -7.0) : x;
  r.iactv.assign(2 * s.n + 1, -1);
  // Beyond the required lengths the last blocks hold the column counts and
  // the solution of a tableau with general rows.
  r.iw.assign(liw < 0 ? s.int_len() + 16 : liw, -5);
  Vec rw(lrw < 0 ? s.real_len() + 16 : lrw, -5.0);
  std::optional<orvika_test::UnitCapture> cap;
  if (unit == kUnit) cap.emplace(kUnit);
  orvika::SPXCHK(s.icj.data(), s.jcj.data(), s.acj.data(), s.meq, s.mineq, s.b.data(), s.n, unit,
                 static_cast<IWORD>(r.iw.size()), r.iw.data(), static_cast<IWORD>(rw.size()),
                 rw.data(), r.iact, r.nact, r.x.data(), r.iactv.data(), mode, r.ifeas);
  if (cap) r.text = cap->text();
  return r;
}

class SimplexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    for (auto& w : ORVK_NLPINT) w = 0;
    for (auto& w : ORVK_NLPREA) w = 0;
  }
};

// Box [0, 2]^2 with x1 + x2 = c.
Spx box_line(double c) {
  Spx s;
  s.n = 2;
  s.eq = {{1.0, 1.0}};
  s.beq = {c};
  s.lo = {0.0, 0.0};
  s.up = {2.0, 2.0};
  return s;
}

TEST_F(SimplexTest, FeasibleAndInfeasiblePolytopes) {
  struct Case {
    const char* what;
    Spx s;
    IWORD ifeas;
  };
  std::vector<Case> cases;
  cases.push_back({"line through the box", box_line(3.0), 0});
  cases.push_back({"line through a corner", box_line(4.0), 0});
  cases.push_back({"line beyond the box", box_line(5.0), 1});
  cases.push_back({"line below the box", box_line(-0.5), 1});
  {
    Spx s = box_line(3.0);
    s.gen = {{1.0, -1.0}};  // x1 - x2 <= -1: the point (1, 2)
    s.bgen = {-1.0};
    cases.push_back({"general row leaves one point", s, 0});
  }
  {
    Spx s = box_line(3.0);
    s.gen = {{1.0, -1.0}};  // x1 - x2 <= -3: x2 >= 3 outside the box
    s.bgen = {-3.0};
    cases.push_back({"general row cuts the line off", s, 1});
  }
  {
    Spx s;
    s.n = 3;
    s.eq = {{1.0, 2.0, -1.0}, {0.0, 1.0, 1.0}};
    s.beq = {1.0, 1.5};
    s.lo = {-1.0, -1.0, -2.0};
    s.up = {1.0, 1.0, 2.0};
    cases.push_back({"two equalities, shifted bounds", s, 0});
  }
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Result r = check(c.s, 2);
    EXPECT_EQ(r.ifeas, c.ifeas);
    if (c.ifeas != 0) continue;
    const Spx& s = c.s;
    for (int i = 0; i < s.meq; ++i) {
      double v = 0;
      for (int j = 0; j < s.n; ++j) v += s.eq[i][j] * r.x[j];
      EXPECT_NEAR(v, s.beq[i], 1e-9);
    }
    for (int j = 0; j < s.n; ++j) {
      EXPECT_GE(r.x[j], s.lo[j] - 1e-12);
      EXPECT_LE(r.x[j], s.up[j] + 1e-12);
    }
    for (std::size_t k = 0; k < s.gen.size(); ++k) {
      double v = 0;
      for (int j = 0; j < s.n; ++j) v += s.gen[k][j] * r.x[j];
      EXPECT_LE(v, s.bgen[k] + 1e-9);
    }
    // Active list: upper bound j, lower bound N + j, ascending, exact.
    EXPECT_EQ(r.iact, s.nvars_offset());
    for (IWORD k = 0; k < r.nact; ++k) {
      const IWORD v = r.iactv[k];
      EXPECT_EQ(r.iw[r.iact + k], v);
      if (k > 0) EXPECT_LT(r.iactv[k - 1], v);
      if (v <= s.n)
        EXPECT_EQ(r.x[v - 1], s.up[v - 1]);
      else
        EXPECT_EQ(r.x[v - s.n - 1], s.lo[v - s.n - 1]);
    }
    for (int j = 1; j <= s.n; ++j) {
      const bool at_up = r.x[j - 1] == s.up[j - 1], at_lo = r.x[j - 1] == s.lo[j - 1];
      int listed = 0;
      for (IWORD k = 0; k < r.nact; ++k) listed += r.iactv[k] == j || r.iactv[k] == s.n + j;
      EXPECT_EQ(listed, (at_up ? 1 : 0) + (at_lo ? 1 : 0)) << j;
    }
  }
}

TEST_F(SimplexTest, ExactLengthsLeaveNoRoomForGeneralRows) {
  // Columns: 2N + NINSPC slacks and structurals, one artificial per row and
  // the right-hand side: 10 > MEQ + 4N words of the column-count block.
  Spx s = box_line(3.0);
  s.gen = {{1.0, -1.0}};
  s.bgen = {-1.0};
  s.build();
  Result r = check(s, 0, {}, 0, s.int_len(), s.real_len());
  EXPECT_EQ(r.ifeas, 2);
  EXPECT_NE(r.text.find(" SIMPLEX CHECK FAILED: WORK SPACE OF THE TABLEAU EXCEEDED\n"),
            std::string::npos);
}

TEST_F(SimplexTest, KnownPointAndCorner) {
  Spx s = box_line(3.0);
  s.gen = {{1.0, -1.0}};
  s.bgen = {-1.0};
  Result r = check(s, 2);
  ASSERT_EQ(r.ifeas, 0);
  EXPECT_NEAR(r.x[0], 1.0, 1e-12);
  EXPECT_NEAR(r.x[1], 2.0, 1e-12);

  Spx c = box_line(4.0);  // the corner (2, 2): both upper bounds active
  r = check(c, 2);
  ASSERT_EQ(r.ifeas, 0);
  ASSERT_EQ(r.nact, 2);
  EXPECT_EQ(r.iactv[0], 1);
  EXPECT_EQ(r.iactv[1], 2);
}

TEST_F(SimplexTest, VariableWithBothBoundsZeroIsNeverActive) {
  Spx s;
  s.n = 3;
  s.eq = {{1.0, 1.0, 0.0}};
  s.beq = {0.0};
  s.lo = {0.0, 0.0, 0.0};
  s.up = {1.0, 1.0, 0.0};
  Result r = check(s, 2);
  ASSERT_EQ(r.ifeas, 0);
  // x1 = x2 = 0 at their lower bounds: N + j - 0 for both; x3 is skipped.
  ASSERT_EQ(r.nact, 2);
  EXPECT_EQ(r.iactv[0], 4);
  EXPECT_EQ(r.iactv[1], 5);
}

TEST_F(SimplexTest, ModeOneChecksTheGivenPoint) {
  struct Row {
    const char* what;
    Vec x;
    IWORD ifeas0, ifeas;
  } rows[] = {
      {"on the line", {1.0, 2.0}, 0, 0},
      {"within the tolerance", {1.0, 2.0 + 0.9e-3}, 0, 0},
      {"off the line", {1.0, 2.1}, 0, 1},
      {"a set flag stays", {1.0, 2.0}, 1, 1},
  };
  {
    Spx first = box_line(3.0);  // a feasible run leaves the bound flag clear
    ASSERT_EQ(check(first, 0).ifeas, 0);
  }
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    Spx s = box_line(3.0);
    Result out = check(s, 1, r.x, r.ifeas0);
    EXPECT_EQ(out.ifeas, r.ifeas);
    EXPECT_EQ(out.x, r.x);
  }
}

TEST_F(SimplexTest, PrintedFrameAtLevelZero) {
  Spx s = box_line(3.0);
  Result r = check(s, 0);
  EXPECT_EQ(r.ifeas, 0);
  const std::string& t = r.text;
  EXPECT_EQ(t.rfind("\n*****SIMPLEX FEASIBILITY CHECK BEGIN*****\n\n", 0), 0u);
  EXPECT_NE(t.find("\n      SIMPLEX MESSAGES AND RESULTS    \n\n  ACTIVE SET\n"),
            std::string::npos);
  EXPECT_NE(t.find("\n  INFEASIBLE\n       0\n\n  ERROR EQ  \n"), std::string::npos);
  const std::string end = "\n******SIMPLEX FEASIBILITY CHECK END*****\n\n";
  ASSERT_GE(t.size(), end.size());
  EXPECT_EQ(t.substr(t.size() - end.size()), end);

  Result m = check(s, 1, {1.0, 2.0});
  EXPECT_EQ(m.text.rfind("\nQP SOLUTION FEASIBILITY CHECK BEGIN\n\n", 0), 0u);
  EXPECT_NE(m.text.find("\nQP SOLUTION FEASIBILITY CHECK END\n\n"), std::string::npos);
}

TEST_F(SimplexTest, VariableBlocksFixTheirLastVariable) {
  // Three blocks of w + 2 = 3 variables (w = 1 x 1); variable 6 (the last
  // of block 2) has no bounds and is fixed at 0.
  word(ORVK_NLPINT_VBLK1) = 1;
  word(ORVK_NLPINT_VBLK2) = 3;
  word(ORVK_NLPINT_VBLK3) = 1;
  Spx s;
  s.n = 9;
  Vec e(9, 0.0);
  e[0] = 1.0, e[5] = 1.0, e[8] = 1.0;
  s.eq = {e};
  s.beq = {0.5};
  s.bvar = {1, 2, 3, 4, 5, 7, 8, 9};
  s.lo.assign(8, -1.0);
  s.up.assign(8, 1.0);
  Result r = check(s, 2);
  ASSERT_EQ(r.ifeas, 0);
  EXPECT_EQ(r.x[5], 0.0);
  EXPECT_NEAR(r.x[0] + r.x[8], 0.5, 1e-12);
  for (int j = 0; j < 9; ++j) {
    EXPECT_GE(r.x[j], -1.0 - 1e-12);
    EXPECT_LE(r.x[j], 1.0 + 1e-12);
  }
}

TEST_F(SimplexTest, InconsistentBlocksAndDataAreReported) {
  Spx s = box_line(3.0);
  s.bvar = {1};
  s.lo = {0.0};
  s.up = {2.0};
  word(ORVK_NLPINT_VBLK2) = 0;  // no block structure that fits
  Result r = check(s, 0);
  EXPECT_EQ(r.ifeas, 2);
  EXPECT_EQ(r.nact, 0);
  EXPECT_NE(r.text.find(" SIMPLEX CHECK FAILED: INVALID CONSTRAINT DATA\n"), std::string::npos);

  Spx c = box_line(3.0);
  c.build();
  c.jcj[0] = 3;  // a column beyond N
  IWORD iact = 0, nact = 0, ifeas = 0;
  Vec x(2), rw(c.real_len());
  IVec iw(c.int_len()), iactv(4);
  orvika_test::UnitCapture cap(kUnit);
  orvika::SPXCHK(c.icj.data(), c.jcj.data(), c.acj.data(), c.meq, c.mineq, c.b.data(), c.n, kUnit,
                 static_cast<IWORD>(iw.size()), iw.data(), static_cast<IWORD>(rw.size()),
                 rw.data(), iact, nact, x.data(), iactv.data(), 2, ifeas);
  EXPECT_EQ(ifeas, 2);
}

// A value that is not finite in a row or a bound the check reads is refused
// (the merge of the tableau would drop a not-a-number as a negligible entry
// and the check would go on as if it were 0); a point with a not-a-number
// does not satisfy the equality rows.
TEST_F(SimplexTest, ValuesThatAreNotFiniteAreNeverFeasible) {
  const double nan = std::nan(""), inf = HUGE_VAL;
  auto base = [] {
    Spx s = box_line(3.0);
    s.gen = {{1.0, -1.0}};
    s.bgen = {-1.0};
    return s;
  };
  struct Case {
    const char* what;
    void (*edit)(Spx&, double);
    double v;
  };
  const Case cases[] = {
      {"equality right-hand side", [](Spx& s, double v) { s.beq[0] = v; }, nan},
      {"equality coefficient", [](Spx& s, double v) { s.eq[0][1] = v; }, nan},
      {"lower bound", [](Spx& s, double v) { s.lo[0] = v; }, nan},
      {"upper bound", [](Spx& s, double v) { s.up[1] = v; }, nan},
      {"infinite bounds", [](Spx& s, double v) { s.lo = {-v, -v}, s.up = {v, v}; }, inf},
      {"general right-hand side", [](Spx& s, double v) { s.bgen[0] = v; }, nan},
      {"general coefficient", [](Spx& s, double v) { s.gen[0][0] = v; }, nan},
      {"infinite general coefficient", [](Spx& s, double v) { s.gen[0][0] = v; }, inf},
  };
  for (const Case& c : cases) {
    for (IWORD mode : {0, 2}) {
      SCOPED_TRACE(std::string(c.what) + " mode " + std::to_string(mode));
      Spx s = base();
      c.edit(s, c.v);
      Result r = check(s, mode);
      EXPECT_EQ(r.ifeas, 2);
      EXPECT_EQ(r.nact, 0);
      EXPECT_EQ(r.x, Vec(2, -7.0));
      EXPECT_NE(r.text.find(" SIMPLEX CHECK FAILED: INVALID CONSTRAINT DATA\n"),
                std::string::npos);
    }
  }
  for (const Vec& x : {Vec{nan, 2.0}, Vec{1.0, nan}}) {
    Spx s = base();
    EXPECT_EQ(check(s, 1, x).ifeas, 1);
  }
}

// Wide boxes: the point found lies on a bound up to the rounding of the
// shifted tableau (an ulp of the bound's size, above 1e-12 from 1e4 on); it
// satisfies the bounds and is no violation.
TEST_F(SimplexTest, WideBoxesAreFeasible) {
  struct Case {
    double w;
    Vec row;
    double rhs;
  };
  const Case cases[] = {
      {1e4, {0.375, 0.25, -0.625}, 0.5},
      {1e5, {-0.75, -0.5, -0.5, 0.0}, -1.0},
      {1e6, {-0.5, -0.75, -0.5}, -0.25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.w);
    Spx s;
    s.n = static_cast<int>(c.row.size());
    s.eq = {c.row};
    s.beq = {c.rhs};
    s.lo.assign(s.n, -c.w);
    s.up.assign(s.n, c.w);
    Result r = check(s, 2);
    EXPECT_EQ(r.ifeas, 0);
    double v = 0;
    for (int j = 0; j < s.n; ++j) {
      v += c.row[j] * r.x[j];
      EXPECT_LE(std::fabs(r.x[j]), c.w * (1 + 1e-15));
    }
    EXPECT_NEAR(v, c.rhs, 1e-9);
  }
}

TEST_F(SimplexTest, TableauOutgrowingItsBlocksIsReported) {
  Spx s;
  s.n = 2;
  s.lo = {0.0, 0.0};
  s.up = {1.0, 1.0};
  for (int k = 0; k < 20; ++k) {
    s.gen.push_back({1.0, 1.0 + k});
    s.bgen.push_back(10.0 + k);
  }
  Result r = check(s, 0);
  EXPECT_EQ(r.ifeas, 2);
  EXPECT_NE(r.text.find(" SIMPLEX CHECK FAILED: WORK SPACE OF THE TABLEAU EXCEEDED\n"),
            std::string::npos);
}

TEST_F(SimplexTest, HighPrintLevelsRunEveryReport) {
  word(ORVK_NLPINT_SPXLEVEL) = 7;
  Spx s = box_line(3.0);
  s.gen = {{1.0, -1.0}};
  s.bgen = {-1.0};
  Result r = check(s, 2);
  ASSERT_EQ(r.ifeas, 0);
  for (const char* line : {"\n  SIZE OF VECTOR     I TABLEAU IS", " IN SOLVER\n",
                           " SLACK VARIABLES ADDED FOR INEQUALITIES\n",
                           " DATA PASSED TO PIVOTING ROUTINE\n", " VECTORS AFTER SHIFTIN\n",
                           "\n     SIM. ITERATION NO.     1\n",
                           "\n    BASIC SOLUTION REACHED \n", " BOUNDS SATISFIED\n",
                           " FEASIBLE SET\n"})
    EXPECT_NE(r.text.find(line), std::string::npos) << line;
}

// A work array one word short is reported with the length needed and the
// check returns (IFEAS 2, no active bound, the point left alone): the process
// goes on.
TEST_F(SimplexTest, ShortWorkArraysAreReportedAndTheCheckReturns) {
  Spx s = box_line(3.0);
  s.build();
  const IWORD liw = s.int_len(), lrw = s.real_len();
  // A list-directed integer: one separating blank, right-justified in 20.
  auto item = [](IWORD v) {
    const std::string d = std::to_string(v);
    return " " + std::string(20 - d.size(), ' ') + d;
  };
  struct Case {
    IWORD mode, liw, lrw;
    std::string line;
  };
  const Case cases[] = {
      {0, liw - 1, lrw, " INCREASE INTERGER WORK SPACE(SIMPLEX) TO" + item(liw)},
      {0, liw, lrw - 1, " INCREASE REAL WORK SPACE (SIMPLEX) TO " + item(lrw)},
      {2, liw - 1, lrw, " INCREASE INTERGER WORK SPACE(SIMPLEX) TO" + item(liw)},
      {2, liw, lrw - 1, " INCREASE REAL WORK SPACE (SIMPLEX) TO " + item(lrw)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Result r = check(s, c.mode, {}, 0, c.liw, c.lrw);
    EXPECT_EQ(r.ifeas, 2);
    EXPECT_EQ(r.nact, 0);
    EXPECT_EQ(r.x, Vec(2, -7.0));
    const std::string begin = c.mode == 0 ? "\n*****SIMPLEX FEASIBILITY CHECK BEGIN*****\n\n" : "";
    const std::string end = c.mode == 0 ? "\n******SIMPLEX FEASIBILITY CHECK END*****\n\n" : "";
    EXPECT_EQ(r.text, begin + c.line + "\n" + end);
  }
}

// ---- tableau routines ------------------------------------------------------------

TEST_F(SimplexTest, FindMergeAndPivot) {
  ORVK_NLPREA[ORVK_NLPREA_SPXTOL1 - 1] = 1e-12;
  // T = [2 1 . 4; 1 . 1 3; -3 -1 -1 -7] (rows by columns 1..4, 4 = rhs).
  IVec it = {1, 4, 7, 11}, jt = {1, 2, 4, 1, 3, 4, 1, 2, 3, 4};
  Vec at = {2, 1, 4, 1, 1, 3, -3, -1, -1, -7};
  it.resize(20), jt.resize(40), at.resize(40);
  IWORD pos = -1;
  orvika::SPXFND(2, 3, it.data(), jt.data(), nullptr, pos);
  EXPECT_EQ(pos, 5);
  orvika::SPXFND(2, 2, it.data(), jt.data(), nullptr, pos);
  EXPECT_EQ(pos, 0);

  IVec ifl(40), jfl(40), ia(20), ja(40);
  Vec afl(40), av(40);
  orvika::SPXPIV(it.data(), jt.data(), at.data(), ifl.data(), jfl.data(), afl.data(), 1, 1, 2.0, 3,
                 4, 0, ia.data(), ja.data(), av.data());
  // Row 1 / 2; rows 2 and 3 lose column 1, row 2 gains column 2.
  const IVec it_exp = {1, 4, 7, 10};
  const IVec jt_exp = {1, 2, 4, 2, 3, 4, 2, 3, 4};
  const Vec at_exp = {1, 0.5, 2, -0.5, 1, 1, 0.5, -1, -1};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(it[k], it_exp[k]);
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(jt[k], jt_exp[k]) << k;
    EXPECT_EQ(at[k], at_exp[k]) << k;
  }

  // A merge without fill keeps explicit zeros; with fill it drops entries
  // at or below EPSLON.
  IVec it2 = {1, 3}, jt2 = {1, 2};
  Vec at2 = {0.0, 5e-13};
  orvika::SPXSHF(it2.data(), jt2.data(), at2.data(), ifl.data(), jfl.data(), afl.data(), 0,
                 ia.data(), ja.data(), av.data(), 1, 3);
  EXPECT_EQ(it2[1], 3);
  IVec f1 = {1}, f2 = {3};
  Vec fv = {0.0};
  orvika::SPXSHF(it2.data(), jt2.data(), at2.data(), f1.data(), f2.data(), fv.data(), 1,
                 ia.data(), ja.data(), av.data(), 1, 3);
  EXPECT_EQ(it2[1], 2);  // only the fill entry, kept although 0
  EXPECT_EQ(jt2[0], 3);
}

}  // namespace
