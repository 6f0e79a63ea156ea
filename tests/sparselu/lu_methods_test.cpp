// Factor-and-solve methods 1 to 7 on random systems with a valid pivot
// order: every method's solution against the system (backward error) and a
// dense reference, the re-solves against their factoring calls bit for bit,
// and two right-hand sides against two single solves.
#include <gtest/gtest.h>

#include <random>

#include "sparselu/lu_methods_util.hpp"

namespace {

using namespace lmtest;

constexpr double kBerr = 1e-12;  // bound of ||b - A x|| / (||A|| ||x||) for every method

struct Case {
  IWORD n;
  double density;
  IWORD nblock;
  bool spikes;
  bool dominant;
};

// Sizes 1 to 300, densities 0.5 to 8 off-diagonal entries per row, one or
// several diagonal blocks, with and without nested spikes.
std::vector<Case> cases() {
  std::vector<Case> cs;
  for (IWORD n : {1, 2, 3, 5, 10, 37, 120, 300})
    for (double d : {0.5, 2.0, 8.0})
      for (bool sp : {false, true}) {
        cs.push_back({n, d, 1, sp, true});
        if (n >= 3) cs.push_back({n, d, std::max<IWORD>(2, n / 7), sp, true});
      }
  return cs;
}

std::string label(const Case& c) {
  return "n=" + std::to_string(c.n) + " density=" + std::to_string(c.density) +
         " blocks=" + std::to_string(c.nblock) + (c.spikes ? " spikes" : "");
}

void check_solution(const Problem& p, const std::vector<double>& x, const std::vector<double>& b,
                    IWORD nrhs, const std::string& what) {
  for (IWORD k = 0; k < nrhs; ++k) {
    const double* xk = x.data() + k * p.n;
    const double* bk = b.data() + k * p.n;
    EXPECT_LT(scaled_residual(p.n, p.irp.data(), p.ici.data(), p.a.data(), xk, bk),
              scaled_bound(kBerr, p.n))
        << what << " rhs " << k + 1;
    const auto ref = dense_solve(p, bk);
    EXPECT_LT(rel_diff(xk, ref), 1e-9) << what << " rhs " << k + 1;
  }
}

TEST(SpLuMethods, RandomSystemsEveryMethod) {
  std::mt19937_64 rng(20240611);
  for (const Case& c : cases()) {
    const Problem p = random_problem(rng, c.n, c.density, c.nblock, c.spikes, c.dominant, true);
    const IWORD n = p.n;
    const auto b = random_rhs(rng, n, 2);
    const std::vector<double> b1(b.begin(), b.begin() + n), b2(b.begin() + n, b.end());
    const std::string lab = label(c);
    Opts o;

    // Method 1, and two right-hand sides against two single solves.
    const Result m1 = run_rows(p, b, 2, o, false);
    ASSERT_EQ(m1.ierr, 0) << lab;
    check_solution(p, m1.x, b, 2, "method 1 " + lab);
    const Result m1a = run_rows(p, b1, 1, o, false), m1b = run_rows(p, b2, 1, o, false);
    EXPECT_TRUE(same_bits(m1a.x, m1.x, n)) << lab;
    EXPECT_TRUE(same_bits(m1b.x, std::vector<double>(m1.x.begin() + n, m1.x.end()), n)) << lab;

    // Method 2 gives method 1's solution; method 3 reproduces method 2.
    const Result m2 = run_rows(p, b, 2, o, true);
    ASSERT_EQ(m2.ierr, 0) << lab;
    EXPECT_TRUE(same_bits(m2.x, m1.x, 2 * n)) << lab;
    const Result m3 = run_m3(m2, n, b, 2);
    ASSERT_EQ(m3.ierr, 0) << lab;
    EXPECT_TRUE(same_bits(m3.x, m2.x, 2 * n)) << "method 3 " << lab;
    EXPECT_TRUE(same_bits(m3.b, m2.x, 2 * n)) << "method 3 B " << lab;
    const Result m3a = run_m3(m2, n, b1, 1);
    EXPECT_TRUE(same_bits(m3a.x, m2.x, n)) << lab;

    // Method 4, immediate column elimination.
    const Result m4 = run_cbs(p, b, 2, o, false);
    ASSERT_EQ(m4.ierr, 0) << lab;
    check_solution(p, m4.x, b, 2, "method 4 " + lab);
    EXPECT_EQ(m4.b, b) << lab;
    EXPECT_EQ(m4.w18, p.w18) << lab;
    const Result m4a = run_cbs(p, b1, 1, o, false), m4b = run_cbs(p, b2, 1, o, false);
    EXPECT_TRUE(same_bits(m4a.x, m4.x, n)) << lab;
    EXPECT_TRUE(same_bits(m4b.x, std::vector<double>(m4.x.begin() + n, m4.x.end()), n)) << lab;

    // Method 5 with and without deferral; method 6 reproduces it.
    for (IWORD cbsrow : {n, IWORD{0}, IWORD{3}}) {
      Opts o5 = o;
      o5.cbsrow = cbsrow;
      const Result m5 = run_cbs(p, b, 2, o5, true);
      ASSERT_EQ(m5.ierr, 0) << lab << " cbsrow " << cbsrow;
      check_solution(p, m5.x, b, 2, "method 5 cbsrow " + std::to_string(cbsrow) + " " + lab);
      EXPECT_EQ(m5.w18, p.w18) << lab;
      if (cbsrow == n) EXPECT_TRUE(same_bits(m5.x, m4.x, 2 * n)) << lab;
      const Result m6 = run_m6(m5, n, b, 2);
      ASSERT_EQ(m6.ierr, 0) << lab;
      EXPECT_TRUE(same_bits(m6.x, m5.x, 2 * n)) << "method 6 cbsrow " << cbsrow << " " << lab;
      const Result m6b = run_m6(m5, n, b2, 1);
      EXPECT_TRUE(same_bits(m6b.x, std::vector<double>(m5.x.begin() + n, m5.x.end()), n)) << lab;
      // The map of the factorisation is the column-to-step map.
      for (IWORD c = 1; c <= n; ++c) EXPECT_EQ(m5.w37[c - 1], p.w39[c - 1]) << lab;
    }

    // Method 7.
    const Result m7 = run_m7(p, b, 2, o);
    ASSERT_EQ(m7.ierr, 0) << lab;
    check_solution(p, m7.x, b, 2, "method 7 " + lab);
    EXPECT_EQ(m7.iorn, p.iorn) << lab;
    const Result m7a = run_m7(p, b1, 1, o), m7b = run_m7(p, b2, 1, o);
    EXPECT_TRUE(same_bits(m7a.x, m7.x, n)) << lab;
    EXPECT_TRUE(same_bits(m7b.x, std::vector<double>(m7.x.begin() + n, m7.x.end()), n)) << lab;
  }
}

}  // namespace

namespace {

// Systems whose diagonal is of the size of the rest of the row: the pivot
// tests move pivots off the assigned columns (methods 1, 2, 4, 5) and demote
// rows (method 7); the re-solves still reproduce their factoring calls.
TEST(SpLuMethods, PivotingOffTheAssignedColumn) {
  std::mt19937_64 rng(77);
  int moved1 = 0, moved4 = 0;
  for (IWORD n : {4, 9, 30, 80, 200})
    for (double d : {1.0, 4.0})
      for (IWORD nb : {IWORD{1}, IWORD{3}})
        for (double tol : {0.1, 0.5, 0.9}) {
          const Problem p = random_problem(rng, n, d, nb, true, false, true);
          const auto b = random_rhs(rng, n, 2);
          const std::string lab = "n=" + std::to_string(n) + " d=" + std::to_string(d) +
                                  " nb=" + std::to_string(nb) + " tol=" + std::to_string(tol);
          Opts o;
          o.pivtl1 = o.pivtl2 = tol;
          const Result m2 = run_rows(p, b, 2, o, true);
          ASSERT_EQ(m2.ierr, 0) << lab;
          check_solution(p, m2.x, b, 2, "method 2 " + lab);
          for (IWORD c = 1; c <= n; ++c) moved1 += m2.w39[c - 1] != p.w39[c - 1];
          const Result m1 = run_rows(p, b, 2, o, false);
          EXPECT_TRUE(same_bits(m1.x, m2.x, 2 * n)) << lab;
          const Result m3 = run_m3(m2, n, b, 2);
          EXPECT_TRUE(same_bits(m3.x, m2.x, 2 * n)) << lab;
          for (IWORD cbsrow : {n, IWORD{0}}) {
            Opts o5 = o;
            o5.cbsrow = cbsrow;
            const Result m5 = run_cbs(p, b, 2, o5, true);
            ASSERT_EQ(m5.ierr, 0) << lab;
            check_solution(p, m5.x, b, 2, "method 5 " + lab);
            for (IWORD c = 1; c <= n; ++c) moved4 += m5.w37[c - 1] != p.w39[c - 1];
            const Result m6 = run_m6(m5, n, b, 2);
            EXPECT_TRUE(same_bits(m6.x, m5.x, 2 * n)) << lab;
            const Result m4 = run_cbs(p, b, 2, o5, false);
            EXPECT_TRUE(same_bits(m4.x, m5.x, 2 * n)) << lab;
          }
          Opts o7 = o;
          o7.pivtl2 = std::min(tol, 0.5);
          const Result m7 = run_m7(p, b, 2, o7);
          ASSERT_EQ(m7.ierr, 0) << lab;
          check_solution(p, m7.x, b, 2, "method 7 " + lab);
        }
  EXPECT_GT(moved1, 0);
  EXPECT_GT(moved4, 0);
}

}  // namespace
