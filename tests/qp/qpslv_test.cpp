// ORVK_QPSLV: known solutions, brute-force references, warm start,
// infeasible problems, the iteration limit, work checks and printed text.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "qp/qp_test_util.hpp"
#include "support/capture.hpp"

namespace {

using namespace qp_test;

class QpslvTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_blocks(); }
  void TearDown() override {
    reset_blocks();
    for (IWORD& w : ORVK_NLPINT) w = 0;
  }
};

// min (x1-1)^2 + (x2-2)^2 s.t. x1 + x2 <= 1: x = (0, 1), mu = 2.
Problem small_ineq() {
  Problem p;
  p.n = 2;
  p.mineq = 1;
  p.h = {2, 0, 0, 2};
  p.g = {-2, -4};
  p.a = {1, 1};
  p.b = {1};
  return p;
}

// Random strictly convex QP: H = M'M + I/2, optional equality rows, box
// rows |x_j| <= 1 (as inequalities 1..2n) and general rows.
Problem random_qp(std::mt19937& rng, int n, int meq, int ngen, bool box) {
  std::uniform_real_distribution<double> u(-1, 1);
  Problem p;
  p.n = n;
  p.meq = meq;
  Vec m(n * n);
  for (double& v : m) v = u(rng);
  p.h.assign(n * n, 0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = i == j ? 0.5 : 0.0;
      for (int k = 0; k < n; ++k) s += m[k * n + i] * m[k * n + j];
      p.h[i * n + j] = s;
    }
  p.g.resize(n);
  for (double& v : p.g) v = 3 * u(rng);
  for (int r = 0; r < meq; ++r) {
    for (int j = 0; j < n; ++j) p.a.push_back(u(rng));
    p.b.push_back(0.5 * u(rng));
  }
  if (box) {
    for (int s = 1; s >= -1; s -= 2)
      for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) p.a.push_back(i == j ? s : 0);
        p.b.push_back(1.0);
      }
  }
  for (int r = 0; r < ngen; ++r) {
    for (int j = 0; j < n; ++j) p.a.push_back(u(rng));
    p.b.push_back(0.3 + 0.5 * u(rng));
  }
  p.mineq = (box ? 2 * n : 0) + ngen;
  return p;
}

double max_diff(const Vec& a, const Vec& b, int n) {
  double e = 0;
  for (int i = 0; i < n; ++i) e = std::max(e, std::fabs(a[i] - b[i]));
  return e;
}

// ---- Known solutions --------------------------------------------------------

struct KnownCase {
  const char* what;
  Problem p;
  Vec x;           // expected x and multipliers (end layout)
  IWORD ncact;
};

std::vector<KnownCase> known_cases() {
  std::vector<KnownCase> c;
  {  // unconstrained: x = -H^{-1} g
    Problem p;
    p.n = 2;
    p.h = {4, 1, 1, 3};
    p.g = {1, 2};
    c.push_back({"no constraints", p, {-1.0 / 11, -7.0 / 11}, 0});
  }
  {  // one equality: min x1^2 + x2^2 s.t. x1 + x2 = 2 -> (1, 1), lambda = -2
    Problem p;
    p.n = 2;
    p.meq = 1;
    p.h = {2, 0, 0, 2};
    p.g = {0, 0};
    p.a = {1, 1};
    p.b = {2};
    c.push_back({"one equality", p, {1, 1, -2}, 1});
  }
  c.push_back({"one binding inequality", small_ineq(), {0, 1, 2}, 1});
  {  // inactive inequality: optimum (1, 2) satisfies x1 + x2 <= 5
    Problem p = small_ineq();
    p.b = {5};
    c.push_back({"inactive inequality", p, {1, 2, 0}, 0});
  }
  {  // bound rows x <= 0.5 (row 1) and -x <= 0.5 on min (x1-1)^2 + (x2+1)^2
    Problem p;
    p.n = 2;
    p.mineq = 4;
    p.h = {2, 0, 0, 2};
    p.g = {-2, 2};
    p.a = {1, 0, 0, 1, -1, 0, 0, -1};
    p.b = {0.5, 0.5, 0.5, 0.5};
    c.push_back({"box", p, {0.5, -0.5, 1, 0, 0, 1}, 2});
  }
  {  // equality plus inequality: min x1^2+x2^2+x3^2, x1+x2+x3 = 3, x1 <= 0.5
    Problem p;
    p.n = 3;
    p.meq = 1;
    p.mineq = 1;
    p.h = {2, 0, 0, 0, 2, 0, 0, 0, 2};
    p.g = {0, 0, 0};
    p.a = {1, 1, 1, 1, 0, 0};
    p.b = {3, 0.5};
    // x = (0.5, 1.25, 1.25), lambda = -2.5, mu = 1.5
    c.push_back({"equality and inequality", p, {0.5, 1.25, 1.25, -2.5, 1.5}, 2});
  }
  return c;
}

TEST_F(QpslvTest, KnownSolutionsEverySolverAndVariant) {
  for (IWORD solver : {1, 2, 3, 0, 7})
    for (IWORD mact : {1, 2, 3})
      for (const KnownCase& kc : known_cases()) {
        SCOPED_TRACE(std::string(kc.what) + " solver " + std::to_string(solver) + " mact " +
                     std::to_string(mact));
        reset_blocks();
        ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
        QpRun r;
        Options o;
        o.mact = mact;
        call(kc.p, o, r);
        EXPECT_EQ(r.ifail, 0);
        EXPECT_EQ(r.iret, 0);
        EXPECT_EQ(r.ising, 0);
        EXPECT_EQ(r.ncact, kc.ncact);
        for (size_t i = 0; i < kc.x.size(); ++i) EXPECT_NEAR(r.x[i], kc.x[i], 1e-12) << i;
        EXPECT_EQ(r.iter, ORVK_NLPINT[ORVK_NLPINT_QPITER - 1]);
      }
}

// ---- Random strictly convex QPs against enumeration of active sets ---------

TEST_F(QpslvTest, RandomConvexAgainstEnumeration) {
  for (IWORD mact : {1, 2, 3})
    for (bool box : {false, true}) {
      std::mt19937 rng(42);
      int solved = 0, tried = 0;
      for (int t = 0; t < 240; ++t) {
        const int n = 1 + t % 6, meq = ((t / 6) % 2) ? std::min(1, n - 1) : 0,
                  ngen = 1 + (t / 12) % 3;
        Problem p = random_qp(rng, n, meq, ngen, box);
        Vec xr;
        if (!brute_force(p, xr)) continue;
        reset_blocks();
        QpRun r;
        Options o;
        o.mact = mact;
        call(p, o, r);
        ++tried;
        ASSERT_EQ(r.ifail, 0);
        ASSERT_GE(r.iret, 0);
        ASSERT_LE(r.iret, 2);
        if (r.iret != 0) continue;
        ++solved;
        SCOPED_TRACE("case " + std::to_string(t));
        // A reported solution is the optimum: x, feasibility and multipliers.
        EXPECT_LT(max_diff(r.x, xr, n), 1e-8);
        for (int i = 0; i < p.mineq; ++i) {
          EXPECT_LE(p.row_dot(meq + i, r.x.data()), p.b[meq + i] + 1e-9);
          EXPECT_GE(r.x[n + meq + i], -1e-9);
          if (!(r.lact[i] & 1)) EXPECT_EQ(r.x[n + meq + i], 0.0);
        }
        for (int e = 0; e < meq; ++e) EXPECT_NEAR(p.row_dot(e, r.x.data()), p.b[e], 1e-9);
      }
      EXPECT_GE(solved, tried * 9 / 10) << "mact " << mact << " box " << box;
    }
}

// ---- Warm start ---------------------------------------------------------------

TEST_F(QpslvTest, WarmStartKeepsActiveSetAndSolvesInOneStep) {
  std::mt19937 rng(7);
  Problem p = random_qp(rng, 4, 0, 2, true);
  Vec xr;
  ASSERT_TRUE(brute_force(p, xr));
  QpRun r;
  call(p, Options{}, r);
  ASSERT_EQ(r.iret, 0);
  const IWORD cold_iter = r.iter;
  ASSERT_GT(cold_iter, 0);
  const IWORD nact = ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1];
  ORVK_NLPINT[ORVK_NLPINT_WARM - 1] = ORVK_TRUE;
  call(p, Options{}, r);
  EXPECT_EQ(r.iret, 0);
  EXPECT_EQ(r.iter, 0);
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1], nact);
  EXPECT_LT(max_diff(r.x, xr, 4), 1e-10);
}

TEST_F(QpslvTest, WarmStartWithForeignStateFallsBackToColdStart) {
  Problem p = small_ineq();
  QpRun r;
  r.iw.assign(100, 0);
  r.lact.assign(1, ORVK_FALSE);
  ORVK_NLPINT[ORVK_NLPINT_WARM - 1] = ORVK_TRUE;
  ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1] = 5;  // more than MINEQ
  ORVK_NLPINT[ORVK_NLPINT_NACTLAST - 1] = 40;
  call(p, Options{}, r);
  EXPECT_EQ(r.iret, 0);
  EXPECT_NEAR(r.x[1], 1.0, 1e-12);
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1], 1);
}

// ---- Infeasible problems, iteration limit ----------------------------------

TEST_F(QpslvTest, InfeasibleRowsGiveCodeOneWithMessages) {
  // x <= -1 and -x <= -1 (x >= 1) with g = -1: no feasible point.
  Problem p;
  p.n = 1;
  p.mineq = 2;
  p.h = {1};
  p.g = {-1};
  p.a = {1, -1};
  p.b = {-1, -1};
  orvika_test::UnitCapture cap(77);
  QpRun r;
  Options o;
  o.iprint = -1;
  call(p, o, r);
  EXPECT_EQ(r.iret, 1);
  EXPECT_EQ(r.ifail, 0);
  // The point of smallest violation with its active list comes back.
  const IWORD nact = ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1];
  IWORD nflag = 0;
  for (int i = 0; i < 2; ++i) nflag += (r.lact[i] & 1);
  EXPECT_EQ(nflag, nact);
  EXPECT_EQ(cap.text(),
            "\n"
            "    NO. of ACTIVE CONSTRAINTS > N-MEQ\n"
            "    *** WARNING - QP SOLUTION IS INFEASIBLE ***\n"
            "\n"
            "         ERROR IN EQUALITY CONSTRAINTS IS     0.00000D+00\n");
}

// H = I and gradient G; bounds LO <= x <= UP as inequalities 1..2N when
// given, then the general rows a x <= b.
Problem with_rows(int n, Vec g, Vec lo, Vec up, std::vector<Vec> eq, Vec beq,
                  std::vector<Vec> gen, Vec bgen) {
  Problem p;
  p.n = n;
  p.meq = static_cast<int>(eq.size());
  p.h.assign(n * n, 0.0);
  for (int j = 0; j < n; ++j) p.h[j * n + j] = 1.0;
  p.g = g;
  for (size_t r = 0; r < eq.size(); ++r) {
    p.a.insert(p.a.end(), eq[r].begin(), eq[r].end());
    p.b.push_back(beq[r]);
  }
  if (!lo.empty()) {
    for (int s = 1; s >= -1; s -= 2)
      for (int j = 0; j < n; ++j) {
        for (int k = 0; k < n; ++k) p.a.push_back(k == j ? s : 0);
        p.b.push_back(s > 0 ? up[j] : -lo[j]);
      }
  }
  for (size_t r = 0; r < gen.size(); ++r) {
    p.a.insert(p.a.end(), gen[r].begin(), gen[r].end());
    p.b.push_back(bgen[r]);
  }
  p.mineq = (lo.empty() ? 0 : 2 * n) + static_cast<int>(gen.size());
  return p;
}

// Variant 1 brings in one row per iteration, so from a cold start it can
// reach a solution with at most 30 binding rows within the limit; variant 2
// brings in every violated row at once.  H = I, N = 40, |x_j| <= 1 and
// g_j = -2 for the first NB variables (their upper bounds bind), 0 for the
// rest: x_j = 1, mu_j = 1 on the binding rows.
TEST_F(QpslvTest, VariantOneReachesAtMostThirtyBindingRows) {
  struct Case {
    int nb;
    IWORD mact, iret, iter;
  };
  const Case cases[] = {{30, 1, 0, 30}, {31, 1, 2, -9}, {30, 2, 0, 1}, {31, 2, 0, 1}, {40, 2, 0, 1}};
  const int n = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE("binding " + std::to_string(c.nb) + ", variant " + std::to_string(c.mact));
    reset_blocks();
    Vec g(n, 0.0);
    for (int j = 0; j < c.nb; ++j) g[j] = -2.0;
    const Problem p = with_rows(n, g, Vec(n, -1.0), Vec(n, 1.0), {}, {}, {}, {});
    Options o;
    o.mact = c.mact;
    o.lrw_delta = 2 * n * (2 * n + 1) / 2;  // the dense KKT triangle of order 2N
    QpRun r;
    call(p, o, r);
    EXPECT_EQ(r.iret, c.iret);
    EXPECT_EQ(r.iter, c.iter);
    for (int j = 0; j < n; ++j) EXPECT_NEAR(r.x[j], j < c.nb ? 1.0 : 0.0, 1e-12) << j;
    if (c.iret == 0)
      for (int j = 0; j < n; ++j) EXPECT_NEAR(r.x[n + j], j < c.nb ? 1.0 : 0.0, 1e-12) << j;
  }
}

// Problems without a feasible point, with every solver and variant, with and
// without the phase-1 switch.  None ends as a valid solution.  Crossed
// bounds, and with the switch every problem whose inequalities 1..2N are the
// bounds, end with code 1 before the first KKT solve: no active row, no
// multiplier, x inside the bounds that do not cross, and ERR CEQ the
// equality error of the point of least violation.
TEST_F(QpslvTest, InfeasibleProblemsAreNeverReportedValid) {
  struct Case {
    const char* what;
    Problem p;
    bool crossed, bounds;  // bounds crossed; inequalities 1..2N are bounds
    double errceq;         // at the point of least violation, phase 1
  };
  Vec box_lo = {-1, -1}, box_up = {1, 1};
  const Case cases[] = {
      {"crossed bounds", with_rows(2, {-1, -1}, {1, -5}, {-1, 5}, {}, {}, {}, {}), true, true, 0},
      {"two general rows", with_rows(2, {-1, -1}, {-5, -5}, {5, 5}, {}, {}, {{1, 1}, {-1, -1}}, {-1, -1}),
       false, true, 0},
      {"equality beyond the box", with_rows(2, {0, 0}, box_lo, box_up, {{1, 1}}, {5}, {}, {}), false,
       true, 3},
      {"equality against a general row",
       with_rows(2, {1, 1}, {-5, -5}, {5, 5}, {{1, -1}}, {0}, {{1, 1}}, {-20}), false, true, 0},
      {"three rows, each pair feasible",
       with_rows(2, {1, -1}, {1, 1}, {5, 5}, {}, {}, {{1, 1}}, {1}), false, true, 0},
      {"sum beyond the box", with_rows(10, Vec(10, 1.0), Vec(10, -1.0), Vec(10, 1.0), {}, {},
                                       {Vec(10, -1.0)}, {-20}), false, true, 0},
      {"no bounds: two rows", with_rows(2, {-1, 0}, {}, {}, {}, {}, {{1, 0}, {-1, 0}}, {-1, -1}),
       false, false, 0},
      {"no bounds: triangle", with_rows(2, {1, -2}, {}, {}, {}, {}, {{-1, 0}, {0, -1}, {1, 1}},
                                        {-1, -1, 1}), false, false, 0},
  };
  for (const Case& c : cases)
    for (IWORD phase1 : {0, 1})
      for (IWORD solver : {1, 2, 3})
        for (IWORD mact : {1, 2, 3}) {
          SCOPED_TRACE(std::string(c.what) + ", phase 1 " + std::to_string(phase1) + ", solver " +
                       std::to_string(solver) + ", variant " + std::to_string(mact));
          reset_blocks();
          ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
          ORVK_NLPINT[ORVK_NLPINT_PHASE1 - 1] = phase1;
          ORVK_NLPINT[ORVK_NLPINT_SPXLEVEL - 1] = -1;
          orvika_test::UnitCapture cap(77);
          Options o;
          o.mact = mact;
          o.iprint = -1;
          o.lwles = 200000;
          QpRun r;
          call(c.p, o, r);
          EXPECT_EQ(r.ifail, 0);
          EXPECT_NE(r.iret, 0);
          if (!(c.crossed || (phase1 != 0 && c.bounds))) continue;
          const int n = c.p.n, m = c.p.meq + c.p.mineq;
          EXPECT_EQ(r.iret, 1);
          EXPECT_EQ(r.iter, 0);
          EXPECT_EQ(r.ncact, c.p.meq);
          EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1], 0);
          for (int i = 0; i < c.p.mineq; ++i) EXPECT_EQ(r.lact[i] & 1, 0) << i;
          for (int i = n; i < n + m; ++i) EXPECT_EQ(r.x[i], 0.0) << i;
          for (int j = 0; j < n; ++j) {
            const double up = c.p.b[c.p.meq + j], lo = -c.p.b[c.p.meq + n + j];
            if (lo <= up) {
              EXPECT_GE(r.x[j], lo - 1e-12) << j;
              EXPECT_LE(r.x[j], up + 1e-12) << j;
            }
          }
          char line[120];
          std::snprintf(line, sizeof line,
                        "    *** WARNING - QP SOLUTION IS INFEASIBLE ***\n\n"
                        "         ERROR IN EQUALITY CONSTRAINTS IS     %.5fD+00\n",
                        c.errceq);
          const std::string t = cap.text(), tail = line;
          ASSERT_GE(t.size(), tail.size());
          EXPECT_EQ(t.substr(t.size() - tail.size()), tail);
        }
}

// Feasible problems whose bounds include the host's infinite value 1e30:
// the phase-1 simplex, shifted to lower bounds of that size, cannot resolve
// the data, and its verdict must not end the run as infeasible.  Each is
// solved as without the switch: H = I, g = -1, so x = (0.5) with lambda 0.5
// and x = (0.25, 0.25) with lambda 0.75.
TEST_F(QpslvTest, PhaseOneWithInfiniteBoundsStillSolves) {
  const double inf = 1e30;
  struct Case {
    const char* what;
    Problem p;
    Vec x;  // x and the equality multiplier
  };
  const Case cases[] = {
      {"one variable, lower bound infinite",
       with_rows(1, {-1}, {-inf}, {1}, {{1}}, {0.5}, {}, {}), {0.5, 0.5}},
      {"all bounds infinite",
       with_rows(2, {-1, -1}, {-inf, -inf}, {inf, inf}, {{1, 1}}, {0.5}, {}, {}),
       {0.25, 0.25, 0.75}},
      {"one infinite, one finite",
       with_rows(2, {-1, -1}, {-inf, 0}, {1, 1}, {{1, 1}}, {0.5}, {}, {}), {0.25, 0.25, 0.75}},
  };
  for (const Case& c : cases)
    for (IWORD solver : {1, 2, 3}) {
      SCOPED_TRACE(std::string(c.what) + ", solver " + std::to_string(solver));
      reset_blocks();
      ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
      ORVK_NLPINT[ORVK_NLPINT_PHASE1 - 1] = 1;
      ORVK_NLPINT[ORVK_NLPINT_SPXLEVEL - 1] = -1;
      orvika_test::UnitCapture cap(77);
      Options o;
      o.lwles = 200000;
      QpRun r;
      call(c.p, o, r);
      EXPECT_EQ(r.ifail, 0);
      EXPECT_EQ(r.iret, 0);
      EXPECT_EQ(r.ising, 0);
      for (size_t i = 0; i < c.x.size(); ++i) EXPECT_NEAR(r.x[i], c.x[i], 1e-8) << i;
    }
}

// With the phase-1 switch the simplex run works in the sparse solvers'
// arrays: when they are too short its line gives the length needed and the
// solver fails with IFAIL, whatever its KKT solver.
TEST_F(QpslvTest, PhaseOneSimplexShortOfWorkFailsWithItsLine) {
  const Problem p = with_rows(2, {0, 0}, {-1, -1}, {1, 1}, {{1, 1}}, {1}, {}, {});
  for (IWORD solver : {1, 2, 3}) {
    SCOPED_TRACE(solver);
    reset_blocks();
    ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
    ORVK_NLPINT[ORVK_NLPINT_PHASE1 - 1] = 1;
    orvika_test::UnitCapture cap(77);
    Options o;
    o.lwles = 50;
    QpRun r;
    call(p, o, r);
    EXPECT_EQ(r.ifail, 1);
    EXPECT_EQ(r.iret, 0);
    EXPECT_NE(cap.text().find(" INCREASE INTERGER WORK SPACE(SIMPLEX) TO"), std::string::npos)
        << cap.text();
  }
}

TEST_F(QpslvTest, IterationLimitGivesCodeTwoAfterThirtyOneSteps) {
  // The same stall repeats: an inactive row stays violated while its ratio
  // test finds no candidate, so the set never stands.
  std::mt19937 rng(42);
  Problem stall;
  bool found = false;
  for (int t = 0; t < 300 && !found; ++t) {
    const int n = 1 + t % 6, meq = ((t / 6) % 2) ? std::min(1, n - 1) : 0,
              ngen = 1 + (t / 12) % 3;
    Problem p = random_qp(rng, n, meq, ngen, false);
    reset_blocks();
    QpRun r;
    call(p, Options{}, r);
    if (r.iret == 2) {
      stall = p;
      found = true;
    }
  }
  ASSERT_TRUE(found);
  reset_blocks();
  orvika_test::UnitCapture cap(77);
  QpRun r;
  r.iter = -5;
  Options o;
  o.iprint = -1;
  call(stall, o, r);
  EXPECT_EQ(r.iret, 2);
  EXPECT_EQ(r.iter, -5);  // not written
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_QPITER - 1], 31);
  const std::string t = cap.text();
  const std::string tail = "\n    *** MAXIMUM NUMBER OF 30 QP ITERATIONS EXCEEDED ***\n";
  ASSERT_GE(t.size(), tail.size());
  EXPECT_EQ(t.substr(t.size() - tail.size()), tail);
  EXPECT_EQ(t.find("  "), t.find("    ")) << "no dumps at a negative level";
}

// ---- Sparse factor updates beyond their room ---------------------------------

// Diagonal H with every upper bound violated by the free minimiser: the
// variants that bring in all violated rows at once add N rows to a factor
// whose fill room was fixed for H alone.  The solver factors the KKT matrix
// of the active rows afresh and finds x = u with mu_j = d_j (3 - u_j).
TEST_F(QpslvTest, ManyRowsEnteringAtOnceAreFactoredAfresh) {
  ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = 2;
  for (const int n : {40, 300})
    for (const IWORD mact : {2, 3}) {
      SCOPED_TRACE("N = " + std::to_string(n) + ", variant " + std::to_string(mact));
      reset_blocks();
      ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = 2;
      Problem p;
      p.n = n;
      p.mineq = 2 * n;
      p.h.assign(n * n, 0.0);
      p.g.resize(n);
      p.a.assign(2 * n * n, 0.0);
      p.b.resize(2 * n);
      Vec d(n), u(n);
      for (int j = 0; j < n; ++j) {
        d[j] = 1.0 + double(j) / n;
        u[j] = 1.0 + double(j % 7) / 7;
        p.h[j * n + j] = d[j];
        p.g[j] = -3.0 * d[j];
        p.a[j * n + j] = 1.0;
        p.a[(n + j) * n + j] = -1.0;
        p.b[j] = u[j];
        p.b[n + j] = 5.0;
      }
      Options o;
      o.mact = mact;
      o.lwles = 400000;
      QpRun r;
      call(p, o, r);
      EXPECT_EQ(r.ifail, 0);
      EXPECT_EQ(r.iret, 0);
      EXPECT_EQ(r.ising, 0);
      EXPECT_EQ(r.ncact, n);
      double e = 0;
      for (int j = 0; j < n; ++j) {
        e = std::max(e, std::fabs(r.x[j] - u[j]));
        e = std::max(e, std::fabs(r.x[n + j] - d[j] * (3.0 - u[j])));
        e = std::max(e, std::fabs(r.x[2 * n + j]));
      }
      EXPECT_LT(e, 1e-12);
    }
}

// H = I + 0.01 ones, N = 40, every upper bound x_j <= 1 binding at the
// solution: variant 1 brings in one row per iteration and meets the limit
// with rows still violated by the last KKT solution.  X returns the best
// feasible point reached: every row holds, the objective is not above that
// of the feasible start x = 0, and no multipliers are given.
TEST_F(QpslvTest, IterationLimitReturnsTheBestFeasiblePointReached) {
  const int n = 40;
  Problem p;
  p.n = n;
  p.mineq = 2 * n;
  p.h.assign(n * n, 0.01);
  for (int j = 0; j < n; ++j) p.h[j * n + j] += 1.0;
  p.g.assign(n, -2.0);
  p.a.assign(2 * n * n, 0.0);
  p.b.assign(2 * n, 1.0);
  for (int j = 0; j < n; ++j) {
    p.a[j * n + j] = 1.0;
    p.a[(n + j) * n + j] = -1.0;
  }
  for (IWORD solver : {1, 2, 3}) {
    SCOPED_TRACE("solver " + std::to_string(solver));
    reset_blocks();
    ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
    Options o;
    o.lwles = 200000;
    QpRun r;
    call(p, o, r);
    ASSERT_EQ(r.iret, 2);
    EXPECT_EQ(r.ifail, 0);
    double worst = -1e300;
    for (int i = 0; i < 2 * n; ++i) worst = std::max(worst, p.row_dot(i, r.x.data()) - p.b[i]);
    EXPECT_LE(worst, 0.0);
    EXPECT_LE(p.objective(r.x.data()), 0.0);
    for (int i = n; i < 3 * n; ++i) EXPECT_EQ(r.x[i], 0.0) << i;
  }
}

// Repeated inequality rows: an active row and its copy can swap places
// without moving x, and the step must not then take a set whose multiplier
// of a binding row is negative as the solution.  With every solver and
// variant, an end with code 0 and a regular solve is the optimum (the
// enumeration over active sets skips the singular sets that hold both
// copies) with multipliers of the right sign.
TEST_F(QpslvTest, RepeatedRowsNeverEndValidWithANegativeMultiplier) {
  struct Case {
    const char* what;
    int n;
    Vec h, g;
    std::vector<Vec> rows;
    Vec b;
  };
  const Case cases[] = {
      {"two copies and a third row", 2, {2, 0, 0, 1}, {-4, 0}, {{1, 2}, {1, 2}, {1, 1}}, {2, 2, 1}},
      {"two pairs", 3, {3, 1, 0, 1, 4, 0, 0, 0, 1}, {-4, 1, -2},
       {{1, -1, 2}, {1, -1, 2}, {1, 2, 2}, {1, 2, 2}}, {-2, -2, 2, 2}},
      {"two opposite pairs", 2, {2, 1, 1, 3}, {1, 2}, {{-1, 1}, {-1, 1}, {2, -2}, {2, -2}},
       {1, 1, -2, -2}},
      {"a pair and a general row", 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {4, 4, -3},
       {{-1, 0, 2}, {-1, 0, 2}, {0, -2, 2}}, {2, 2, 1}},
      {"a pair after a general row", 3, {1, 0, 0, 0, 3, 0, 0, 0, 1}, {2, 4, -1},
       {{1, 2, -2}, {1, 2, -1}, {1, 2, -1}}, {2, -2, -2}},
      {"a pair of bounds", 3, {4, 1, 0, 1, 3, 0, 0, 0, 1}, {2, -1, -3},
       {{1, 1, 2}, {0, 2, -1}, {0, -1, 0}, {0, -1, 0}}, {1, -1, 1, 1}},
  };
  for (const Case& c : cases) {
    Problem p;
    p.n = c.n;
    p.mineq = static_cast<int>(c.rows.size());
    p.h = c.h;
    p.g = c.g;
    for (const Vec& r : c.rows) p.a.insert(p.a.end(), r.begin(), r.end());
    p.b = c.b;
    Vec xr;
    ASSERT_TRUE(brute_force(p, xr)) << c.what;
    for (IWORD solver : {1, 2, 3})
      for (IWORD mact : {1, 2, 3}) {
        SCOPED_TRACE(std::string(c.what) + ", solver " + std::to_string(solver) + ", variant " +
                     std::to_string(mact));
        reset_blocks();
        ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
        Options o;
        o.mact = mact;
        QpRun r;
        call(p, o, r);
        EXPECT_EQ(r.ifail, 0);
        if (r.iret != 0 || r.ising != 0) continue;
        EXPECT_LT(max_diff(r.x, xr, c.n), 1e-6);
        for (int i = 0; i < p.mineq; ++i) {
          EXPECT_LE(p.row_dot(i, r.x.data()), p.b[i] + 1e-9) << i;
          EXPECT_GE(r.x[c.n + i], -1e-6) << i;
        }
      }
  }
}

// One cold run of P with the KKT solver SOLVER and the variant MACT.
QpRun cold_run(const Problem& p, IWORD solver, IWORD mact) {
  reset_blocks();
  ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
  Options o;
  o.mact = mact;
  QpRun r;
  call(p, o, r);
  return r;
}

// A multiple of an active row, at the vertex the active rows fix: its value
// lands on either side of its bound by rounding alone, and must count
// neither as a violated row to activate (a singular KKT matrix) nor, with
// N rows active, as proof of infeasibility.  H = 2I, rows x1 + x2 <= 1,
// x1 - x2 <= x1* - x2* and C (x1 + x2) <= C; g puts the optimum at the
// vertex x* with multipliers 2 and 1 on the first two rows (2/C when the
// copy takes the place of the first).  Every solver and variant ends with
// code 0 at x*.
TEST_F(QpslvTest, MultipleOfAnActiveRowAtTheVertexIsNotViolated) {
  struct Case {
    double x1, x2, c;
  };
  const Case cases[] = {{0.6, 0.4, 0.1}, {0.6, 0.4, 3}, {0.7, 0.3, 0.2}, {0.2, 0.8, 0.7},
                        {0.1, 0.9, 0.2}};
  for (const Case& c : cases) {
    Problem p;
    p.n = 2;
    p.mineq = 3;
    p.h = {2, 0, 0, 2};
    p.g = {-2 * (c.x1 + 1.5), -2 * (c.x2 + 0.5)};
    p.a = {1, 1, 1, -1, c.c, c.c};
    p.b = {1, c.x1 - c.x2, c.c};
    for (IWORD solver : {1, 2, 3})
      for (IWORD mact : {1, 2, 3}) {
        SCOPED_TRACE("vertex " + std::to_string(c.x1) + ", copy times " + std::to_string(c.c) +
                     ", solver " + std::to_string(solver) + ", variant " + std::to_string(mact));
        const QpRun r = cold_run(p, solver, mact);
        ASSERT_EQ(r.iret, 0);
        ASSERT_EQ(r.ising, 0);
        const double tol = solver == 3 ? 1e-5 : 1e-12;
        EXPECT_NEAR(r.x[0], c.x1, tol);
        EXPECT_NEAR(r.x[1], c.x2, tol);
        const double mu1 = r.x[2], mu2 = r.x[3], mu3 = r.x[4];
        EXPECT_NEAR(mu2, 1.0, tol);
        EXPECT_NEAR(mu1 + c.c * mu3, 2.0, tol);
        EXPECT_GE(mu1, 0.0);
        EXPECT_GE(mu3, 0.0);
      }
  }
}

// Rows whose bound is 0 pass through the origin, where the segment from 0
// to x starts: one that x violates is crossed at ratio 0 and must come in.
// H = I, g = (-1, -2): from the cold start (row 1, -x1 <= 0, active) the
// step releases row 1 and takes row 2, x1 + x2/5 <= 1/10, which moves x to
// (-1/4, 7/4) across row 1.  The optimum is x = (0, 1/2) with multipliers
// 13/2 and 15/2, for every solver and variant.
TEST_F(QpslvTest, ViolatedRowThroughTheOriginIsTakenIn) {
  Problem p;
  p.n = 2;
  p.mineq = 2;
  p.h = {1, 0, 0, 1};
  p.g = {-1, -2};
  p.a = {-1, 0, 1, 0.2};
  p.b = {0, 0.1};
  for (IWORD solver : {1, 2, 3})
    for (IWORD mact : {1, 2, 3}) {
      SCOPED_TRACE("solver " + std::to_string(solver) + ", variant " + std::to_string(mact));
      const QpRun r = cold_run(p, solver, mact);
      ASSERT_EQ(r.iret, 0);
      ASSERT_EQ(r.ising, 0);
      const double tol = solver == 3 ? 1e-6 : 1e-12;
      EXPECT_NEAR(r.x[0], 0.0, tol);
      EXPECT_NEAR(r.x[1], 0.5, tol);
      EXPECT_NEAR(r.x[2], 6.5, 1e3 * tol);
      EXPECT_NEAR(r.x[3], 7.5, 1e3 * tol);
      EXPECT_TRUE(r.lact[0] & 1);
      EXPECT_TRUE(r.lact[1] & 1);
    }
}

// ---- Scaled rows and objectives -------------------------------------------

// Three problems of the Hock-Schittkowski collection with a known optimum,
// bounds 1..N and N+1..2N as in the solver's layout.
struct ScaledBase {
  const char* name;
  Problem p;
  Vec x;  // the optimum
};

std::vector<ScaledBase> scaled_bases() {
  std::vector<ScaledBase> c;
  {  // HS21: min 0.01 x1^2 + x2^2, 10 x1 - x2 >= 10, 2 <= x1 <= 50, |x2| <= 50
    Problem p;
    p.n = 2;
    p.mineq = 5;
    p.h = {0.02, 0, 0, 2};
    p.g = {0, 0};
    p.a = {1, 0, 0, 1, -1, 0, 0, -1, -10, 1};
    p.b = {50, 50, -2, 50, -10};
    c.push_back({"HS21", p, {2, 0}});
  }
  {  // HS35: x1 + x2 + 2 x3 <= 3, 0 <= x <= 100
    Problem p;
    p.n = 3;
    p.mineq = 7;
    p.h = {4, 2, 2, 2, 4, 0, 2, 0, 2};
    p.g = {-8, -6, -4};
    p.a = {1, 0, 0, 0, 1, 0, 0, 0, 1, -1, 0, 0, 0, -1, 0, 0, 0, -1, 1, 1, 2};
    p.b = {100, 100, 100, 0, 0, 0, 3};
    c.push_back({"HS35", p, {4.0 / 3, 7.0 / 9, 4.0 / 9}});
  }
  {  // HS76: three general rows, 0 <= x <= 100
    Problem p;
    p.n = 4;
    p.mineq = 11;
    p.h = {2, 0, -1, 0, 0, 1, 0, 0, -1, 0, 2, 1, 0, 0, 1, 1};
    p.g = {-1, -3, 1, -1};
    for (int s = 1; s >= -1; s -= 2)
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) p.a.push_back(i == j ? s : 0);
    p.b = {100, 100, 100, 100, 0, 0, 0, 0, 5, 4, -1.5};
    for (double v : {1, 2, 1, 1, 3, 1, 2, -1, 0, -1, -4, 0}) p.a.push_back(v);
    c.push_back({"HS76", p, {3.0 / 11, 23.0 / 11, 0, 6.0 / 11}});
  }
  return c;
}

// The constraint rows (A and b) or the objective (H and g) multiplied by a
// power of ten leave the optimum where it is.  The pivot and ratio tests
// of the KKT solvers and of the active-set step hold absolute thresholds,
// so far from unit scale a run may fail (code 1 or 2, or a singular
// solve); a run that ends with code 0 must end at the optimum, meeting
// every row to within the rounding of its own size, never at a point that
// misses a row whose terms are all small (with the rows at 1e-100 times
// their size, HS21 once ended with code 0 at x = 0, far below x1 >= 2).
// Near unit scale the dense and sparse solvers keep the unscaled verdict.
TEST_F(QpslvTest, ScaledRowsOrObjectiveNeverEndValidAwayFromTheOptimum) {
  struct Scaling {
    bool rows;     // scale the rows (else the objective)
    double t;
    bool keeps;    // solvers 1 and 2 end with code 0 as unscaled
  };
  const Scaling scalings[] = {
      {true, 1e-100, false}, {true, 1e-30, false}, {true, 1e-16, false},
      {true, 1e-10, false},  {true, 0x1p-20, true}, {true, 1e-6, true},
      {true, 1e6, true},     {true, 1e16, false},   {true, 1e30, false},
      {true, 1e100, false},  {false, 1e-30, false}, {false, 1e-16, false},
      {false, 1e-8, true},   {false, 1e8, true},    {false, 1e16, false},
      {false, 1e30, false}};
  for (const ScaledBase& base : scaled_bases())
    for (const Scaling& sc : scalings) {
      Problem p = base.p;
      for (double& v : sc.rows ? p.a : p.h) v *= sc.t;
      for (double& v : sc.rows ? p.b : p.g) v *= sc.t;
      for (IWORD solver : {1, 2, 3})
        for (IWORD mact : {1, 2, 3}) {
          char what[96];
          std::snprintf(what, sizeof what, "%s %s times %g, solver %d, variant %d", base.name,
                        sc.rows ? "rows" : "objective", sc.t, static_cast<int>(solver),
                        static_cast<int>(mact));
          SCOPED_TRACE(what);
          const QpRun r = cold_run(p, solver, mact);
          EXPECT_EQ(r.ifail, 0);
          if (sc.keeps && solver != 3) EXPECT_EQ(r.iret, 0);
          if (r.iret != 0 || r.ising != 0) continue;
          // GMRES stops at an absolute residual of 1e-5.
          const double tol = solver == 3 ? 1e-4 : 1e-9;
          for (int j = 0; j < p.n; ++j)
            EXPECT_NEAR(r.x[j], base.x[j], tol * (1 + std::fabs(base.x[j]))) << j;
          // Each row meets its bound to within its size at the optimum's scale.
          double xmax = 0;
          for (double v : base.x) xmax = std::max(xmax, std::fabs(v));
          for (int i = 0; i < p.mineq; ++i) {
            double size = std::fabs(p.b[i]);
            for (int j = 0; j < p.n; ++j) size += std::fabs(p.A(i, j)) * xmax;
            EXPECT_LE(p.row_dot(i, r.x.data()) - p.b[i], tol * size) << "row " << i + 1;
          }
        }
    }
}

// ---- Singular KKT matrix, non-finite data -----------------------------------

// The record of a singular KKT matrix with no active inequality.
const std::string kSingularWarning = "\n    *** WARNING - PROJECTED HESSIAN MAY BE SINGULAR ***\n";

TEST_F(QpslvTest, SingularWithoutActiveRowsWarnsAndSetsIsing) {
  Problem p;  // H = 0, no constraints: singular KKT
  p.n = 2;
  p.h = {0, 0, 0, 0};
  p.h[0] = 1e-300;  // keep a stored entry
  p.g = {1, 1};
  orvika_test::UnitCapture cap(77);
  QpRun r;
  Options o;
  o.iprint = 1;
  call(p, o, r);
  EXPECT_EQ(r.iret, 0);
  EXPECT_NE(r.ising, 0);
  EXPECT_NE(cap.text().find(kSingularWarning), std::string::npos);
}

// min x1^2/2 + 2 x1 + x2 + x3 s.t. -0.8 x1 - 0.8 x2 + 0.7 x3 = 1 is
// unbounded along (0, 0.7, 0.8): its KKT matrix is singular and the system
// inconsistent in the Hessian rows, while a solution can still meet the
// constraint rows (with x of order 1e16).  No solver may hand such a
// solution back as regular; every solution it does report is stationary,
// H x + g + A' lambda = 0.  With it the inequality x1 <= -1, active from the
// start.
TEST_F(QpslvTest, InconsistentKktSystemIsNeverReportedSolved) {
  for (bool with_row : {false, true})
    for (IWORD solver : {1, 2, 3}) {
      SCOPED_TRACE(std::string(with_row ? "with" : "without") + " inequality, solver " +
                   std::to_string(solver));
      reset_blocks();
      ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
      Problem p;
      p.n = 3;
      p.meq = 1;
      p.h = {1, 0, 0, 0, 0, 0, 0, 0, 0};
      p.g = {2, 1, 1};
      p.a = {-0.8, -0.8, 0.7};
      p.b = {1};
      if (with_row) {
        p.mineq = 1;
        p.a.insert(p.a.end(), {1, 0, 0});
        p.b.push_back(-1);
      }
      orvika_test::UnitCapture cap(77);
      QpRun r;
      Options o;
      o.iprint = 1;
      call(p, o, r);
      ASSERT_EQ(r.ifail, 0);
      if (!with_row) {
        EXPECT_EQ(r.iret, 0);
        EXPECT_NE(r.ising, 0);
        EXPECT_NE(cap.text().find(kSingularWarning), std::string::npos);
      }
      if (r.iret == 0 && r.ising == 0) {
        for (int i = 0; i < p.n; ++i) {
          double s = p.g[i] + p.H(i, i) * r.x[i];
          for (int k = 0; k < p.meq + p.mineq; ++k) s += p.A(k, i) * r.x[p.n + k];
          EXPECT_NEAR(s, 0.0, 1e-8) << "row " << i;
        }
      }
    }
}

TEST_F(QpslvTest, NaNDataIsNeverReportedAsASolution) {
  for (IWORD solver : {1, 2, 3}) {
    reset_blocks();
    ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
    Problem p = small_ineq();
    p.g[0] = std::numeric_limits<double>::quiet_NaN();
    QpRun r;
    call(p, Options{}, r);
    EXPECT_NE(r.ising, 0) << solver;
  }
}

// ---- Work checks and invalid input ------------------------------------------

TEST_F(QpslvTest, ShortIntegerWorkReportsTotalAndLeavesXUntouched) {
  Problem p = small_ineq();
  const Csr h = lower_csr(p), c = rows_csr(p);
  const IWORD itot = int_total(p, h, c);
  for (int which = 0; which < 2; ++which) {
    reset_blocks();
    orvika_test::UnitCapture cap(77);
    QpRun r;
    r.x.assign(3, 9.5);
    Options o;
    (which == 0 ? o.liw_delta : o.lrw_delta) = -1;
    call(p, o, r);
    EXPECT_EQ(r.ifail, 1);
    EXPECT_EQ(r.iret, 0);
    EXPECT_EQ(r.x, Vec(3, 9.5));
    const IWORD rtot = real_total(p, h, c);
    const std::string want =
        which == 0 ? "\n     WORKING STORAGE FOR IWRKQP HAS TO BE INCREASED TO" +
                         std::string(6 - std::to_string(itot).size(), ' ') +
                         std::to_string(itot) + "\n\n"
                   : "\n     WORKING STORAGE FOR RWRKQP HAS TO BE INCREASED TO" +
                         std::string(6 - std::to_string(rtot).size(), ' ') +
                         std::to_string(rtot) + "\n\n";
    EXPECT_EQ(cap.text(), want);
  }
}

// The sparse and GMRES solvers work in RWLES and IWLES: when these are too
// short for the KKT system, the solver's line gives the length it needs and
// the run fails with IFAIL 1, not as a singular KKT matrix (ISING 0) and
// without iterations.  Row x1 + x2 <= -1 starts active.
TEST_F(QpslvTest, KktSolverShortOfWorkFailsWithItsLine) {
  Problem p = small_ineq();
  p.b = {-1};
  const struct {
    IWORD solver;
    const char* line;
  } cases[] = {
      {2, "\n\n    STORAGE FOR IWLES HAS TO BE INCREASED TO    293\n"},
      {3, "\n     WORKING STORAGE FOR IWKGM HAS TO BE INCREASED TO   139\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.solver);
    reset_blocks();
    ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = c.solver;
    orvika_test::UnitCapture cap(77);
    Options o;
    o.lwles = 50;
    QpRun r;
    call(p, o, r);
    EXPECT_EQ(r.ifail, 1);
    EXPECT_EQ(r.iret, 0);
    EXPECT_EQ(r.ising, 0);
    EXPECT_EQ(cap.text(), c.line);
  }
}

// The real work array is work: what it holds at entry never changes the
// run.  GMRES starts from the previous KKT solution, of the order in word 7:
// at the first solve that of an earlier call (here one of order 2N), at the
// second one that of the first solve, whose rows with b <= 0 started active.
// Filled with NaN or with zeros, RWRKQP gives the same iterations and the
// same result.
TEST_F(QpslvTest, WorkArrayContentsNeverChangeTheRun) {
  std::vector<Problem> problems;
  {
    Problem p = small_ineq();  // x = (-1, 0), mu = 4, solved in one step
    p.b = {-1};
    problems.push_back(p);
  }
  std::mt19937 rng(290);
  for (int t = 0; t < 12; ++t) {
    Problem p = random_qp(rng, 4, 1, 3, false);
    for (int r = 0; r < 3; ++r) p.b[1 + r] -= 0.8;  // every general row starts active
    problems.push_back(p);
  }
  for (IWORD solver : {1, 2, 3})
    for (std::size_t t = 0; t < problems.size(); ++t) {
      SCOPED_TRACE("solver " + std::to_string(solver) + " problem " + std::to_string(t));
      const Problem& p = problems[t];
      const Csr h = lower_csr(p), c = rows_csr(p);
      QpRun r[2];
      for (int f = 0; f < 2; ++f) {
        reset_blocks();
        ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = solver;
        ORVK_NLPINT[ORVK_NLPINT_KKTLAST - 1] = 2 * p.n;
        r[f].rw.assign(real_total(p, h, c),
                       f == 0 ? 0.0 : std::numeric_limits<double>::quiet_NaN());
        call(p, Options{}, r[f]);
        EXPECT_EQ(r[f].ifail, 0);
      }
      EXPECT_EQ(r[1].iret, r[0].iret);
      EXPECT_EQ(r[1].iter, r[0].iter);
      EXPECT_EQ(r[1].ising, r[0].ising);
      for (int i = 0; i < p.n + p.meq + p.mineq; ++i) EXPECT_EQ(r[1].x[i], r[0].x[i]) << i;
      if (t == 0) {
        EXPECT_EQ(r[1].iret, 0);
        EXPECT_EQ(r[1].iter, 0);
        EXPECT_NEAR(r[1].x[0], -1.0, 1e-9);
        EXPECT_NEAR(r[1].x[1], 0.0, 1e-9);
        EXPECT_NEAR(r[1].x[2], 4.0, 1e-9);
      }
    }
}

TEST_F(QpslvTest, InvalidArgumentsAreRefused) {
  struct Bad {
    const char* what;
    int field;
  };
  for (Bad b : {Bad{"negative N", 0}, Bad{"negative MEQ", 1}, Bad{"column beyond row in H", 2},
                Bad{"column beyond N in AC", 3}, Bad{"decreasing pointers", 4}}) {
    SCOPED_TRACE(b.what);
    reset_blocks();
    Problem p = small_ineq();
    Csr h = lower_csr(p), c = rows_csr(p);
    IWORD n = 2, meq = 0, mineq = 1;
    if (b.field == 0) n = -1;
    if (b.field == 1) meq = -1;
    if (b.field == 2) h.ja[0] = 2;
    if (b.field == 3) c.ja[1] = 3;
    if (b.field == 4) c.ia = {2, 1};
    IWORD mact = 1, ncact = 0, iter = 0, iprint = 0, iret = -1, ising = 0, ifail = 0;
    IWORD l = 1000, ldc = 1;
    Vec x(3, 0), rw(1000), rwles(10), cw(10), fes(1, -1e30);
    IVec iw(1000), iwles(10);
    std::vector<LWORD> lact(1);
    double aph = 0;
    orvika_test::UnitCapture cap(77);
    ORVK_QPSLV(&n, p.g.data(), h.ia.data(), h.ja.data(), h.a.data(), &meq, &mineq, p.b.data(),
               c.ia.data(), c.ja.data(), c.a.data(), fes.data(), &mact, &ncact, &iter, x.data(),
               &l, rw.data(), &l, iw.data(), nullptr, lact.data(), &iprint, &iret, &l,
               rwles.data(), &l, iwles.data(), &ising, &aph, &ldc, cw.data(), &ifail);
    EXPECT_EQ(ifail, 1);
    EXPECT_EQ(iret, 0);
  }
}

// Box problems of the work tests: H = I, N = 40, -1 <= x_j <= 1 and g_j = -2
// for the first NB variables (their upper bounds bind), 0 for the rest;
// with EQ also the row x_40 = 1/2.  Solution x_j = 1 (j < NB), x_40 = 1/2
// with EQ, else 0; multiplier 1 on each binding bound, -1/2 on the
// equality.  The sparse rows take 15 (40 + 80 + MEQ) words, below the packed
// triangle of order 80, so the dense KKT array outgrows them once enough
// bounds are active.
struct WorkBox {
  int nb;
  bool eq;
};
Problem work_box(WorkBox w) {
  const int n = 40;
  Vec g(n, 0.0), e(n, 0.0);
  for (int j = 0; j < w.nb; ++j) g[j] = -2.0;
  e[n - 1] = 1.0;
  return w.eq ? with_rows(n, g, Vec(n, -1.0), Vec(n, 1.0), {e}, {0.5}, {}, {})
              : with_rows(n, g, Vec(n, -1.0), Vec(n, 1.0), {}, {}, {}, {});
}
Vec work_box_solution(WorkBox w) {
  const int n = 40, meq = w.eq ? 1 : 0;
  Vec x(n + meq + 2 * n, 0.0);
  for (int j = 0; j < w.nb; ++j) x[j] = x[n + meq + j] = 1.0;
  if (w.eq) {
    x[n - 1] = 0.5;
    x[n] = -0.5;
  }
  return x;
}

// Work arrays longer than the length passed, with the words beyond it set
// to a value the solver never writes, to show it stays inside its work.
constexpr double kGuard = -12345.25;
constexpr int kGuardWords = 64;
void guard_work(const Problem& p, const Options& o, QpRun& r) {
  const IWORD lrw = real_total(p, lower_csr(p), rows_csr(p)) + o.lrw_delta;
  r.rw.assign(std::max<IWORD>(lrw, 1) + kGuardWords, kGuard);
}
bool guard_intact(const Problem& p, const Options& o, const QpRun& r) {
  const IWORD lrw = real_total(p, lower_csr(p), rows_csr(p)) + o.lrw_delta;
  for (size_t i = std::max<IWORD>(lrw, 1); i < r.rw.size(); ++i)
    if (r.rw[i] != kGuard) return false;
  return true;
}

// Exactly the formula total is enough for every run whose KKT systems stay
// within it, however large the systems the active set could reach: the
// packed triangle of order 40 + NB + MEQ fits 15 (nnz(H) + nnz(AC)) up to
// NB = 19 (18 with the equality row), and the sparse solvers take any order.
TEST_F(QpslvTest, FormulaTotalSufficesWhileTheKktSystemFits) {
  struct Case {
    const char* what;
    WorkBox w;
    IWORD solver, mact, iter;
  };
  const Case cases[] = {
      {"no bound binds, dense", {0, false}, 1, 1, 0},
      {"ten bounds, dense, variant 1", {10, false}, 1, 1, 10},
      {"ten bounds, dense, variant 2", {10, false}, 1, 2, 1},
      {"nineteen bounds (order 59), dense", {19, false}, 1, 1, 19},
      {"eighteen bounds and an equality (order 59), dense", {18, true}, 1, 1, 18},
      {"forty bounds, sparse", {40, false}, 2, 2, 1},
      {"forty bounds, GMRES", {40, false}, 3, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reset_blocks();
    ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = c.solver;
    const Problem p = work_box(c.w);
    Options o;
    o.mact = c.mact;
    o.lwles = 200000;
    QpRun r;
    guard_work(p, o, r);
    orvika_test::UnitCapture cap(77);
    call(p, o, r);
    EXPECT_EQ(r.ifail, 0);
    EXPECT_EQ(r.iret, 0);
    EXPECT_EQ(r.iter, c.iter);
    EXPECT_EQ(cap.text(), "");
    EXPECT_LT(max_diff(r.x, work_box_solution(c.w), static_cast<int>(r.x.size())), 1e-6);
    EXPECT_TRUE(guard_intact(p, o, r));
  }
}

// A KKT system that outgrows the work is found in the iteration that
// reaches its order, before it is built: the shortage line gives the total
// for that order (formula total, plus 5 (K - 2N) words when K > 2N, plus
// K(K+1)/2 - 15 (nnz(H) + nnz(AC)) with the dense solver when positive),
// IFAIL is 1, IRET 0, and X holds the best feasible point reached without
// multipliers, or, when no point met every row, what the last iteration
// left (the cold start's zeros before any solve).  Variant 1
// grows the order one row per iteration, so a run that follows each line
// meets the next order; with the last total the run goes through.
TEST_F(QpslvTest, KktOrderBeyondTheWorkEndsWithTheTotalForThatOrder) {
  Problem over;  // more equality rows than variables: K = N + MEQ = 3 > 2N
  over.n = 1;
  over.meq = 2;
  over.h = {1};
  over.g = {0};
  over.a = {1, 2};
  over.b = {1, 2};
  struct Case {
    const char* what;
    Problem p;
    IWORD solver, mact;
    std::vector<IWORD> extra;  // words above the formula total in each line
    Vec x;                     // X after a shortage
    Vec solution;              // X after the run with the last total (empty: not checked)
  };
  auto box = [](WorkBox w) { return work_box(w); };
  auto best = [](WorkBox w) {  // best feasible point: the solution without multipliers
    Vec x = work_box_solution(w);
    std::fill(x.begin() + 40, x.end(), 0.0);
    return x;
  };
  // With the equality row no point met every row before the order grew:
  // X keeps the last KKT solution (18 bounds active, in KKT order): x_j = 1
  // for the active bounds, 2 for the 19th, x_40 = 1/2, then the equality
  // multiplier and those of the 18 active rows.
  Vec last_kkt_19(40 + 1 + 80, 0.0);
  for (int j = 0; j < 18; ++j) last_kkt_19[j] = last_kkt_19[41 + j] = 1.0;
  last_kkt_19[18] = 2.0;
  last_kkt_19[39] = 0.5;
  last_kkt_19[40] = -0.5;
  const Case cases[] = {
      {"twenty bounds, order 60, variant 1", box({20, false}), 1, 1, {1830 - 1800},
       best({20, false}), work_box_solution({20, false})},
      {"twenty bounds, order 60, variant 2", box({20, false}), 1, 2, {1830 - 1800},
       best({20, false}), work_box_solution({20, false})},
      {"forty bounds at once, order 80", box({40, false}), 1, 2, {3240 - 1800}, best({40, false}),
       work_box_solution({40, false})},
      {"twenty-two bounds, orders 60 to 62", box({22, false}), 1, 1, {30, 91, 153},
       best({22, false}), work_box_solution({22, false})},
      {"nineteen bounds and an equality, order 60", box({19, true}), 1, 1, {1830 - 1815},
       last_kkt_19, work_box_solution({19, true})},
      {"MEQ > N, dense", over, 1, 1, {5}, Vec(3, 0.0), {}},
      {"MEQ > N, sparse", over, 2, 1, {5}, Vec(3, 0.0), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const IWORD total = real_total(c.p, lower_csr(c.p), rows_csr(c.p));
    const size_t nx = c.p.n + c.p.meq + c.p.mineq;
    Options o;
    o.mact = c.mact;
    o.lwles = 200000;
    o.lrw_delta = 0;
    for (IWORD extra : c.extra) {
      reset_blocks();
      ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = c.solver;
      QpRun r;
      r.x.assign(nx, 7.0);
      guard_work(c.p, o, r);
      orvika_test::UnitCapture cap(77);
      call(c.p, o, r);
      EXPECT_EQ(r.ifail, 1);
      EXPECT_EQ(r.iret, 0);
      EXPECT_LT(max_diff(r.x, c.x, static_cast<int>(nx)), 1e-12);
      EXPECT_TRUE(guard_intact(c.p, o, r));
      char line[80];
      std::snprintf(line, sizeof line, "%6lld", static_cast<long long>(total + extra));
      EXPECT_EQ(cap.text(),
                std::string("\n     WORKING STORAGE FOR RWRKQP HAS TO BE INCREASED TO") + line + "\n\n");
      o.lrw_delta = extra;
    }
    reset_blocks();
    ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = c.solver;
    QpRun r;
    guard_work(c.p, o, r);
    call(c.p, o, r);
    EXPECT_EQ(r.ifail, 0);
    EXPECT_EQ(r.iret, 0);
    EXPECT_TRUE(guard_intact(c.p, o, r));
    if (!c.solution.empty()) EXPECT_LT(max_diff(r.x, c.solution, static_cast<int>(nx)), 1e-6);
  }
}

// The dense solver's own arrays take KKT systems up to order 1056; a larger
// one is refused with its line.  H = I, N = 1100, no rows.
TEST_F(QpslvTest, DenseKktBeyondItsOrderIsRefused) {
  const int n = 1100;
  Problem p;
  p.n = n;
  p.h.assign(n * n, 0.0);
  for (int j = 0; j < n; ++j) p.h[j * n + j] = 1.0;
  p.g.assign(n, 1.0);
  orvika_test::UnitCapture cap(77);
  QpRun r;
  Options o;
  o.lrw_delta = n * (n + 1) / 2;
  call(p, o, r);
  EXPECT_EQ(r.ifail, 1);
  EXPECT_EQ(cap.text(), "\n     KKT SYSTEM OF ORDER  1100 EXCEEDS THE DENSE SOLVER'S  1056\n");
}

// A sparse KKT system larger than the dense solver's own arrays: the GMRES
// solver takes it, and the dense solver's arrays are left alone.  H = I and
// no rows, so x = -g.
TEST_F(QpslvTest, SparseKktBeyondTheDenseOrderIsSolved) {
  const IWORD n = 3500, meq = 0, mineq = 0, mact = 1, iprint = 0;
  ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = 3;
  Problem p;
  p.n = static_cast<int>(n);
  Csr h, c;
  h.n = h.ncol = n;
  c.ncol = n;
  for (IWORD i = 1; i <= n; ++i) {
    h.ja.push_back(i);
    h.a.push_back(1.0);
    h.ia.push_back(i + 1);
  }
  c.ia = {1};
  c.ja = {1};
  c.a = {0.0};
  Vec g(n), x(n, 0.0), b = {0.0}, fes = {-1e30};
  for (IWORD i = 0; i < n; ++i) g[i] = -1.0 - static_cast<double>(i % 7);
  const IWORD liw = int_total(p, h, c), lrw = real_total(p, h, c);
  const IWORD liwles = 20000, lrwles = 400000, ldc = 1;
  IVec iw(liw), iwles(liwles);
  Vec rw(lrw), rwles(lrwles), cwork(n + 1);
  std::vector<LWORD> lact(1, 0);
  IWORD ncact = -9, iter = -9, iret = -9, ising = 0, ifail = 0;
  double aphmax = 0;
  ORVK_QPSLV(&n, g.data(), h.ia.data(), h.ja.data(), h.a.data(), &meq, &mineq, b.data(),
             c.ia.data(), c.ja.data(), c.a.data(), fes.data(), &mact, &ncact, &iter, x.data(),
             &lrw, rw.data(), &liw, iw.data(), nullptr, lact.data(), &iprint, &iret, &lrwles,
             rwles.data(), &liwles, iwles.data(), &ising, &aphmax, &ldc, cwork.data(), &ifail);
  ASSERT_EQ(ifail, 0);
  EXPECT_EQ(ising, 0);
  EXPECT_EQ(iret, 0);
  double err = 0;
  for (IWORD i = 0; i < n; ++i) err = std::max(err, std::fabs(x[i] + g[i]));
  EXPECT_LT(err, 1e-5 * 7);
}

// Equality-constrained QP with a small Hessian through the sparse KKT solver
// under each pivot rule: the solution meets the rows and is stationary,
// H x + g + A' lambda = 0.
TEST_F(QpslvTest, SparseKktSolutionIsStationaryUnderEveryPivotRule) {
  Problem p;
  p.n = 7;
  p.meq = 6;
  const Vec hd = {3.1470370887647965e-4, 4.0312245321342968e-4, 2.5851653773057982e-4,
                  2.6210130875316034e-4, 5.0085286943409881e-4, 6.0285951955889154e-4,
                  4.1097485740301576e-4};
  p.h.assign(49, 0.0);
  for (int i = 0; i < 7; ++i) p.h[i * 7 + i] = hd[i];
  p.a = {1, 0,    0,     0, 0,     0,     0,    //
         0, 1,    -0.75, 0, 0,     0,     0,    //
         0, 0,    1,     0, -0.25, 0,     0,    //
         0, 0.75, 0,     1, -0.25, -0.75, 0,    //
         0, 0,    0.75,  0, 1,     0,     0.5,  //
         0, 0,    -0.75, 0, -0.5,  1,     0};
  p.g = {0.5, -0.5, 0.25, -0.5, -0.25, 0.5, 0};
  p.b = {-0.25, 1, 0.5, 0.5, -1, 0.25};
  for (IWORD strategy : {1, 2, 3, 4}) {
    SCOPED_TRACE(strategy);
    reset_blocks();
    ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = 2;
    ORVK_NLPINT[ORVK_NLPINT_PIVSTRAT - 1] = strategy;
    ORVK_NLPREA[ORVK_NLPREA_ALPHA - 1] = 0.6403882032022076;
    QpRun r;
    call(p, Options{}, r);
    ASSERT_EQ(r.ifail, 0);
    ASSERT_EQ(r.ising, 0);
    ASSERT_EQ(r.iret, 0);
    double xmax = 1;
    for (int j = 0; j < p.n; ++j) xmax = std::max(xmax, std::fabs(r.x[j]));
    for (int k = 0; k < p.meq; ++k) EXPECT_NEAR(p.row_dot(k, r.x.data()), p.b[k], 1e-12 * xmax);
    for (int i = 0; i < p.n; ++i) {
      double s = p.g[i] + p.H(i, i) * r.x[i];
      for (int k = 0; k < p.meq; ++k) s += p.A(k, i) * r.x[p.n + k];
      EXPECT_NEAR(s, 0.0, 1e-10) << "row " << i;
    }
  }
}

// ---- Cold start and printed text ---------------------------------------------

TEST_F(QpslvTest, ColdStartActivatesRowsWithNonPositiveBoundInOrder) {
  // n = 3; rows 2 and 3 have b <= 0 and start active; at most N - MEQ = 3.
  Problem p;
  p.n = 3;
  p.mineq = 4;
  p.h = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  p.g = {0, 0, 0};
  p.a = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
  p.b = {1, 0, -0.0, 5};
  orvika_test::UnitCapture cap(77);
  QpRun r;
  Options o;
  o.iprint = 2;
  call(p, o, r);
  const std::string t = cap.text();
  EXPECT_NE(t.find("  ACTIV INEQ\n       2    3\n"), std::string::npos) << t;
  EXPECT_EQ(r.iret, 0);
}

TEST_F(QpslvTest, TooManyRowsAtTheStartStopTheScan) {
  Problem p;
  p.n = 1;
  p.mineq = 3;
  p.h = {1};
  p.g = {1};
  p.a = {1, 2, 1};
  p.b = {0, 0, 5};
  orvika_test::UnitCapture cap(77);
  QpRun r;
  call(p, Options{}, r);
  EXPECT_EQ(r.ifail, 0);
  EXPECT_NE(cap.text().find("\n    NO. of ACTIVE CONSTRAINTS > N-MEQ\n"), std::string::npos);
  EXPECT_EQ(r.iret, 0);
  EXPECT_NEAR(r.x[0], -1.0, 1e-14);
}

TEST_F(QpslvTest, EndPrintsAtLevelOne) {
  orvika_test::UnitCapture cap(77);
  QpRun r;
  Options o;
  o.iprint = 1;
  call(small_ineq(), o, r);
  ASSERT_EQ(r.iret, 0);
  // ERR CEQ reports the last infeasible end of the process: mask its value.
  std::string t = cap.text();
  const size_t e = t.find("  ERR CEQ   \n");
  ASSERT_NE(e, std::string::npos);
  t.replace(e + 13, 16, "     <errceq>   ");
  EXPECT_EQ(t,
            "\n"
            "                   *** QPSLV ENTERED ***\n"
            "\n"
            "     QP ITERATION NO.     0\n"
            "\n"
            "  X KTC     \n"
            "     1.00000D+00  2.00000D+00\n"
            "\n"
            "     QP ITERATION NO.     1\n"
            "\n"
            "  X KTC     \n"
            "     0.00000D+00  1.00000D+00  2.00000D+00\n"
            "\n"
            "    CURRENT QP SOLUTION IS VALID\n"
            "\n"
            "  X QP      \n"
            "     0.00000D+00  1.00000D+00\n"
            "\n"
            "  MIN OBJF  \n"
            "    -3.00000D+00\n"
            "\n"
            "  VLAM QP   \n"
            "\n"
            "\n"
            "  MU QP     \n"
            "     2.00000D+00\n"
            "\n"
            "  ERR CEQ   \n"
            "     <errceq>   \n"
            "\n"
            "  AS CHANGE \n"
            "       1\n");
}

TEST_F(QpslvTest, TimerAndCurvatureDumpsAtLevelTwo) {
  orvk_host_set_timer_step(0.25);
  orvika_test::UnitCapture cap(77);
  QpRun r;
  Options o;
  o.iprint = 2;
  call(small_ineq(), o, r);
  const std::string t = cap.text();
  EXPECT_NE(t.find("\n  1-QP.TIME \n     2.50000D-01\n"), std::string::npos) << t;
  // Curvature along dx = (-1, -1): dx'H dx / 2 = 2, g'dx + dx'H xold = 0.
  // An empty line, then a line of 20 blanks from column 3, then the dumps.
  EXPECT_NE(t.find("\n\n" + std::string(22, ' ') +
                   "\n\n  GQPTDX    \n     0.00000D+00\n\n  1/2DXHDX  \n"
                   "     2.00000D+00\n\n  APHMIN   \n    -0.00000D+00\n"),
            std::string::npos)
      << t;
}

TEST_F(QpslvTest, WorkPartitionSizesAtLevelFour) {
  orvika_test::UnitCapture cap(77);
  QpRun r;
  Options o;
  o.iprint = 4;
  call(small_ineq(), o, r);
  const std::string t = cap.text();
  // nnz(H) = 2, nnz(AC) = 2: JA and A hold 60 words; IA (7 words) printed as
  // 2N + 1; IRTYPE and the four LP partitions would be negative and count 0.
  EXPECT_EQ(t.substr(0, 50), "\n  SIZE OF VECTOR     IRACT     IS             1\n\n");
  EXPECT_NE(t.find("  SIZE OF VECTOR     IA        IS             5\n"), std::string::npos);
  EXPECT_NE(t.find("  SIZE OF VECTOR     TOT-IWKQP IS            75\n"), std::string::npos);
  EXPECT_NE(t.find("  SIZE OF VECTOR     TOT-RWKQP IS            86\n"), std::string::npos);
}

TEST_F(QpslvTest, PhaseOneLpIsPrintedAndTheStartGoesOn) {
  // Box rows only (MINEQ = 2N) and one equality: the LP has one row.
  Problem p;
  p.n = 2;
  p.meq = 1;
  p.mineq = 4;
  p.h = {2, 0, 0, 2};
  p.g = {0, 0};
  p.a = {1, 1, 1, 0, 0, 1, -1, 0, 0, -1};
  p.b = {1, 1, 1, 1, 1};
  ORVK_NLPINT[ORVK_NLPINT_PHASE1 - 1] = 1;
  orvika_test::UnitCapture cap(77);
  QpRun r;
  Options o;
  o.iprint = 2;
  call(p, o, r);
  EXPECT_EQ(r.iret, 0);
  EXPECT_NEAR(r.x[0], 0.5, 1e-12);
  const std::string t = cap.text();
  EXPECT_NE(t.find("\n\n\n  ***   MINIMUM OBJECTIVE FUNCTION   ***\n"), std::string::npos) << t;
  EXPECT_NE(t.find("  ICJ-QPINX \n       1    5\n"), std::string::npos) << t;
}

}  // namespace
