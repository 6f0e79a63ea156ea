// Sparse linear solves of the continuation solver: the bounds of the
// driver's copies into the linear solver's work area (code 15) and the
// accuracy check of a solve with its pivot-tolerance raises and dumps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fcont_test_util.hpp"
#include "orvika/sparselu.h"
#include "support/capture.hpp"

using namespace fcont_test;

namespace {

// 2x - 1 = 0, 3y - 1 = 0 with a diagonal pattern.
Problem diagonal2() {
  Problem p;
  p.n = 2;
  p.x0 = {3.0, 3.0};
  p.F = [](const double* x, double, double* f) {
    f[0] = 2 * x[0] - 1;
    f[1] = 3 * x[1] - 1;
  };
  p.J = [](const double*, double, double* j) {
    j[0] = 2;
    j[1] = 0;
    j[2] = 0;
    j[3] = 3;
  };
  p.irn = {1, 2};
  p.icn = {1, 2};
  return p;
}

// x + y/3 = 1, 3x + (1 + D) y = 2: the second row is three times the first
// up to D, so a solve with a small D has a large relative residual.
Problem nearly_singular(double d) {
  Problem p;
  p.n = 2;
  p.x0 = {3.0, 3.0};
  p.F = [=](const double* x, double, double* f) {
    f[0] = x[0] + x[1] / 3.0 - 1;
    f[1] = 3 * x[0] + (1 + d) * x[1] - 2;
  };
  p.J = [=](const double*, double, double* j) {
    j[0] = 1;
    j[1] = 3;
    j[2] = 1 / 3.0;
    j[3] = 1 + d;
  };
  p.irn = {1, 2, 1, 2};
  p.icn = {1, 1, 2, 2};
  return p;
}

// The sparse solver's option blocks are global: every test leaves them as
// it found them.
class FcontSparseSolve : public ::testing::Test {
 protected:
  void SetUp() override {
    o1_ = ORVK_SPOPT1;
    o2_ = ORVK_SPOPT2;
    o3_ = ORVK_SPOPT3;
    o4_ = ORVK_SPOPT4;
  }
  void TearDown() override {
    ORVK_SPOPT1 = o1_;
    ORVK_SPOPT2 = o2_;
    ORVK_SPOPT3 = o3_;
    ORVK_SPOPT4 = o4_;
  }

  // A real work array with NWLIN words for the linear solver after the
  // driver's 11 N + 7.
  static void set_nwlin(ContRun& r, IWORD nwlin) {
    r.lw = 11 * r.n + 7 + nwlin;
    r.w.assign(static_cast<std::size_t>(r.lw), 0.0);
  }

  ORVK_SPOPT1_T o1_;
  ORVK_SPOPT2_T o2_;
  ORVK_SPOPT3_T o3_;
  ORVK_SPOPT4_T o4_;
};

TEST_F(FcontSparseSolve, GivenRowOrderMustFitTheWork) {
  // NWLIN = 18 would put the row numbering at NWLIN/4 - 2N = 0: refused at
  // the start, before any request, with the length the package needs; the
  // sparse solver itself writes nothing.
  ORVK_SPOPT2.IORNIN = 1;
  ContRun r(diagonal2(), 1);
  r.iperm = {2, 1};
  r.set_i(ip::KPLUNT, 7);
  r.set_i(ip::KPLLEV, 3);
  set_nwlin(r, 18);
  orvika_test::UnitCapture cap(7);
  EXPECT_EQ(r.solve(), 15);
  EXPECT_TRUE(r.requests.empty());
  ASSERT_EQ(cap.lines().size(), 3u);
  EXPECT_EQ(cap.lines()[1].rfind("!!!Fcont_Solve: work array W too short, LW must be at least", 0),
            0u);

  // With room for it the same run solves the system.
  ContRun ok(diagonal2(), 1);
  ok.iperm = {2, 1};
  set_nwlin(ok, 418);
  EXPECT_EQ(ok.solve(), 0);
  EXPECT_DOUBLE_EQ(ok.x[0], 0.5);
  EXPECT_DOUBLE_EQ(ok.x[1], 1.0 / 3.0);
}

TEST_F(FcontSparseSolve, RowNumberingThatIsNoPermutationIsNotHandedOver) {
  // A kept row numbering must be a permutation of 1..N (signs mark block
  // ends); otherwise the package orders afresh.  Checked in full, not only
  // on its first and last entries.
  struct Case {
    const char* what;
    std::vector<IWORD> iperm;
  };
  const Case cases[] = {{"repeated middle entry", {3, 1, 1, 2}},
                        {"entry beyond N", {2, 5, 1, 3}},
                        {"zero inside", {4, 0, 1, 3}},
                        {"repeat with a sign", {1, -1, 3, 2}},
                        {"permutation", {4, 3, 2, 1}},
                        {"permutation with block marks", {2, -1, 4, -3}}};
  Problem p;
  p.n = 4;
  p.x0 = {2.0, 2.0, 2.0, 2.0};
  p.F = [](const double* x, double, double* f) {
    for (int i = 0; i < 4; ++i) f[i] = (i + 2.0) * x[i] + 0.5 * x[(i + 1) % 4] - 1.0;
  };
  p.J = [](const double*, double, double* j) {
    for (int k = 0; k < 16; ++k) j[k] = 0.0;
    for (int i = 0; i < 4; ++i) {
      j[i + 4 * i] = i + 2.0;
      j[i + 4 * ((i + 1) % 4)] = 0.5;
    }
  };
  for (int i = 1; i <= 4; ++i) {
    p.irn.insert(p.irn.end(), {i, i});
    p.icn.insert(p.icn.end(), {i, i % 4 + 1});
  }
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ORVK_SPOPT2.IORNIN = 1;
    ContRun r(p, 1);
    r.iperm = k.iperm;
    r.set_i(ip::KPLUNT, 7);
    r.set_i(ip::KPLLEV, 3);
    orvika_test::UnitCapture cap(7);
    EXPECT_EQ(r.solve(), 0);
    EXPECT_LT(r.residual_at_target(), 1e-8);
    EXPECT_TRUE(cap.lines().empty());
    EXPECT_EQ(r.iperm, k.iperm);  // the caller's vector is not changed
    ORVK_SPOPT2 = o2_;
  }
}

TEST_F(FcontSparseSolve, OnlyAUsableRowNumberingNeedsRoomInTheWork) {
  // The start check asks room for the row numbering only when it will be
  // handed over: a vector that is no permutation needs as little work as
  // no numbering at all.  (Diagonal system of order 100, where the room of
  // the numbering decides the least length.)
  Problem p;
  p.n = 100;
  p.x0.assign(100, 2.0);
  p.F = [](const double* x, double, double* f) {
    for (int i = 0; i < 100; ++i) f[i] = (i + 1.0) * x[i] - 1.0;
  };
  p.J = [](const double*, double, double* j) {
    for (int k = 0; k < 10000; ++k) j[k] = 0.0;
    for (int i = 0; i < 100; ++i) j[i + 100 * i] = i + 1.0;
  };
  for (int i = 1; i <= 100; ++i) {
    p.irn.push_back(i);
    p.icn.push_back(i);
  }
  auto needed = [&](IWORD iornin, const std::vector<IWORD>& iperm) {
    ORVK_SPOPT2.IORNIN = iornin;
    ContRun r(p, 1);
    r.iperm = iperm;
    r.set_i(ip::KPLUNT, 7);
    r.set_i(ip::KPLLEV, 3);
    set_nwlin(r, 10);
    orvika_test::UnitCapture cap(7);
    EXPECT_EQ(r.solve(), 15);
    ORVK_SPOPT2 = o2_;
    const std::string head = "!!!Fcont_Solve: work array W too short, LW must be at least";
    if (cap.lines().size() < 2 || cap.lines()[1].rfind(head, 0) != 0) return IWORD{-1};
    return static_cast<IWORD>(std::stoll(cap.lines()[1].substr(head.size())));
  };
  std::vector<IWORD> perm(100), broken(100);
  for (int i = 0; i < 100; ++i) perm[i] = 100 - i;
  broken = perm;
  broken[50] = broken[49];  // a repeat inside; first and last entries as before
  const IWORD none = needed(0, perm);
  ASSERT_GT(none, 0);
  EXPECT_GT(needed(1, perm), none);
  EXPECT_EQ(needed(1, broken), none);
}

TEST_F(FcontSparseSolve, BlocksChangedBetweenRequestsDoNotReachTheRun) {
  // The run keeps its own copies of every position and option word it
  // sets: a caller that changes the shared block between two requests
  // changes nothing in the run, and finds its own values there again after
  // every request.
  struct Case {
    const char* what;
    void (*move)(IWORD nwlin);
  };
  const Case cases[] = {
      {"IB", [](IWORD nwlin) { ORVK_SPOPT2.IB = nwlin; }},
      {"IVECT", [](IWORD nwlin) { ORVK_SPOPT2.IVECT = nwlin; }},
      {"JVECT", [](IWORD) { ORVK_SPOPT2.JVECT = 0; }},
      {"IA", [](IWORD nwlin) { ORVK_SPOPT2.IA = nwlin + 1; }},
      {"IORN", [](IWORD) { ORVK_SPOPT2.IORN = -3; }},
      {"solution", [](IWORD) { ORVK_SPOPT2.X = 5; }},
      {"re-solve method", [](IWORD) { ORVK_SPOPT2.METHOD = 3; }},
      {"ordering", [](IWORD) { ORVK_SPOPT2.ORDOPT = 6; }},
      {"row numbering", [](IWORD) { ORVK_SPOPT2.IORNIN = 1; }},
      {"message unit", [](IWORD) { ORVK_SPOPT2.MSGUNIT = 9; }},
      {"integers per real", [](IWORD) { ORVK_SPOPT2.I4FAC = 2; }},
      {"pivot tolerance", [](IWORD) { ORVK_SPOPT1.PIVTL1 = 0.9; }},
      {"entry count", [](IWORD) { ORVK_SPOPT3.LASTNZ = 77; }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ORVK_SPOPT2.IORNIN = 1;
    ContRun r(diagonal2(), 1);
    r.iperm = {2, 1};
    r.set_i(ip::KPLUNT, 7);
    r.set_i(ip::KPLLEV, 3);
    set_nwlin(r, 418);
    ORVK_SPOPT1_T c1{};
    ORVK_SPOPT2_T c2{};
    ORVK_SPOPT3_T c3{};
    int mismatches = 0;
    r.on_eval = [&](ContRun& q) {
      // Back from a request: the blocks are as the caller left them.
      if (q.requests.size() > 1 && (std::memcmp(&c1, &ORVK_SPOPT1, sizeof c1) != 0 ||
                                    std::memcmp(&c2, &ORVK_SPOPT2, sizeof c2) != 0 ||
                                    std::memcmp(&c3, &ORVK_SPOPT3, sizeof c3) != 0))
        ++mismatches;
      k.move(418);
      c1 = ORVK_SPOPT1;
      c2 = ORVK_SPOPT2;
      c3 = ORVK_SPOPT3;
    };
    orvika_test::UnitCapture cap(7);
    EXPECT_EQ(r.solve(), 0);
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(cap.lines().empty());
    EXPECT_DOUBLE_EQ(r.x[0], 0.5);
    EXPECT_DOUBLE_EQ(r.x[1], 1.0 / 3.0);
    ORVK_SPOPT1 = o1_;
    ORVK_SPOPT2 = o2_;
    ORVK_SPOPT3 = o3_;
  }
}

TEST_F(FcontSparseSolve, ReSolveMethodPresetIsReplacedByAFactoringMethod) {
  // A run starts with new matrices: a preset of a re-solve with kept
  // factors (3, 6), or no method at all, factors with method 1; a factoring
  // method is kept.  The caller's word is not changed.
  for (IWORD method : {0, 1, 2, 3, 4, 5, 6, 7, 8}) {
    SCOPED_TRACE(method);
    ORVK_SPOPT2.METHOD = method;
    ContRun r(nearly_singular(0.5), 1);
    r.set_i(ip::KPLUNT, 7);
    r.set_i(ip::KPLLEV, 3);
    orvika_test::UnitCapture cap(7);
    EXPECT_EQ(r.solve(), 0);
    EXPECT_LT(r.residual_at_target(), 1e-10);
    EXPECT_TRUE(cap.lines().empty());
    EXPECT_EQ(ORVK_SPOPT2.METHOD, method);
    ORVK_SPOPT2 = o2_;
  }
}

std::vector<std::pair<IWORD, std::string>> g_routine;
extern "C" void routine_lines(const IWORD* unit, const IWORD* count, const char* text, int64_t) {
  const std::size_t len = static_cast<std::size_t>(*count > 0 ? *count : 0);
  g_routine.emplace_back(*unit, std::string(text, len));
}

TEST_F(FcontSparseSolve, SparsePackageWritesOnTheSolversOwnUnit) {
  // Rows 1 and 2 have entries in column 1 only: structurally singular, so
  // the sparse package writes its report.  It writes on a unit the library
  // itself writes (1..100): the first such message unit of the run, or the
  // caller's preset 1..999; never on a unit that means the message routine.
  Problem p;
  p.n = 3;
  p.x0 = {2.0, 2.0, 2.0};
  p.F = [](const double* x, double, double* f) {
    f[0] = x[0] - 1;
    f[1] = 2 * x[0] - 2;
    f[2] = x[0] + x[1] + x[2] - 3;
  };
  p.J = [](const double*, double, double* j) {
    for (int k = 0; k < 9; ++k) j[k] = 0.0;
    j[0] = 1;
    j[1] = 2;
    j[2] = 1;
    j[5] = 1;
    j[8] = 1;
  };
  p.irn = {1, 2, 3, 3, 3};
  p.icn = {1, 1, 1, 2, 3};
  struct Case {
    const char* what;
    IWORD kplunt, kptunt, preset;
    int package_unit;  // 0: the package is silent
  };
  const Case cases[] = {{"first unit", 7, 0, 0, 7},
                        {"first unit routine's, second the library's", 250, 8, 0, 8},
                        {"both units the routine's", 250, 0, 0, 0},
                        {"first unit silenced", 0, 8, 0, 8},
                        {"caller's preset", 250, 8, 9, 9}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ORVK_SPOPT2.MSGUNIT = k.preset;
    g_routine.clear();
    ContRun r(p, 1);
    r.msgrtn = &routine_lines;
    r.set_i(ip::KPLUNT, k.kplunt);
    r.set_i(ip::KPLLEV, k.kplunt == 0 ? 0 : 3);
    r.set_i(ip::KPTUNT, k.kptunt);
    r.set_i(ip::KPTLEV, 3);
    orvika_test::UnitCapture c7(7), c8(8), c9(9), c250(250);
    const IWORD code = r.solve();
    EXPECT_GT(code, 0);
    EXPECT_TRUE(c250.lines().empty());
    for (int u : {7, 8, 9}) {
      const auto& lines = (u == 7 ? c7 : u == 8 ? c8 : c9).lines();
      if (u == k.package_unit)
        EXPECT_EQ(lines, (std::vector<std::string>{
                             "", "      PROGRAM EXECUTION TERMINATED  (TALLY)"}))
            << u;
      else
        EXPECT_TRUE(lines.empty()) << u;
    }
    for (const auto& l : g_routine) EXPECT_EQ(l.first, 250);
    EXPECT_EQ(ORVK_SPOPT2.MSGUNIT, k.preset);
    ORVK_SPOPT2 = o2_;
  }
}

// The three report lines of one failed accuracy check.
std::vector<std::string> check_block(const std::string& chkt, const std::string& pivt) {
  return {"", "  Fcont_Solve: CHKT  =" + chkt + " PIVT   =" + pivt,
          "               ZNORM =  0.10980     ZRATIO =  0.84063E-01", ""};
}

std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST_F(FcontSparseSolve, AccuracyCheckRaisesThePivotTolerances) {
  // The first solve (the start tangent) fails the check three times: the
  // tolerances go from 1e-4 to 1e-3 / 0.1 and to 1e-2 / 0.1, then the
  // solution is taken.  The raised tolerances stay after the run.
  ORVK_SPOPT1.PIVTL1 = 0.0;  // repaired to 1e-4 at the start
  ORVK_SPOPT1.PIVTL2 = 0.0;
  ContRun r(nearly_singular(3e-16), 1);
  r.set_i(ip::KPLUNT, 7);
  r.set_i(ip::KPLLEV, 3);
  r.set_i(ip::MAXPOINT, 1);
  orvika_test::UnitCapture cap(7);
  EXPECT_EQ(r.solve(), 1);
  const std::string e4 = "  0.10000E-03", e3 = "  0.10000E-02", e2 = "  0.10000E-01",
                    e1 = "  0.10000";
  EXPECT_EQ(cap.lines(), join({check_block(e4, e4), check_block(e3, e1), check_block(e2, e1)}));
  EXPECT_EQ(ORVK_SPOPT1.PIVTL1, 0.01);
  EXPECT_EQ(ORVK_SPOPT1.PIVTL2, 0.1);
}

TEST_F(FcontSparseSolve, AccuracyCheckDumpsAtLevelNine) {
  // Level 9 adds the matrix and right-hand side the first time and the
  // solution every time.
  ORVK_SPOPT1.PIVTL1 = 0.0;
  ORVK_SPOPT1.PIVTL2 = 0.0;
  ContRun r(nearly_singular(3e-16), 1);
  r.set_i(ip::KPLUNT, 7);
  r.set_i(ip::KPLLEV, 9);
  r.set_i(ip::MAXPOINT, 1);
  orvika_test::UnitCapture cap(7);
  EXPECT_EQ(r.solve(), 1);
  const std::vector<std::string> dx = {"", "  DX Dump:", "     1 -4.503600E+14  4.823695E+14"};
  const std::string e4 = "  0.10000E-03", e3 = "  0.10000E-02", e2 = "  0.10000E-01",
                    e1 = "  0.10000";
  const std::vector<std::string> first_solve = join(
      {check_block(e4, e4),
       {"", "  Jacobian dump:", "      1      1  9.3364101392E-01",
        "      2      1  8.7168554287E-01", "      1      2  1.0000000000E+00",
        "      2      2  9.3364101392E-01", "", "  RHS Dump:", "     1  0.840277       1.00000"},
       dx, check_block(e3, e1), dx, check_block(e2, e1), dx});
  const std::vector<std::string> lines = cap.lines();
  ASSERT_GE(lines.size(), first_solve.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + first_solve.size()),
            first_solve);
}

}  // namespace
