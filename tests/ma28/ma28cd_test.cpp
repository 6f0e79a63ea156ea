// ORVK_MA28CD: plain and transposed solves, singular positions, the
// order-1 case and factor arrays that do not fit LICN.
#include <gtest/gtest.h>

#include <vector>

#include "ma28/ma28_test_util.hpp"

namespace {

using namespace ma28test;

TEST(Ma28Cd, OrderOne) {
  reset_blocks();
  Solver s;
  ASSERT_EQ(s.analyse(make_triplets(1, {{1, 1, 4.0}}), 2, 2), 0);
  EXPECT_EQ(s.solve({2.0}, 1)[0], 0.5);
  EXPECT_EQ(s.solve({2.0}, 0)[0], 0.5);
}

TEST(Ma28Cd, TransposedModesAgreeAndZeroLeadingComponents) {
  reset_blocks();
  const Triplets a = random_sparse(60, 3, 1234, false);
  Solver s;
  ASSERT_EQ(s.analyse(a, 40 * a.nz(), 40 * a.nz(), 0.5), 0);
  // A right-hand side with zeros at the front: the transposed solve skips
  // rows whose working component is zero, with the same result.
  std::vector<double> xt = test_x(60);
  for (int i = 0; i < 20; ++i) xt[i] = 0.0;
  const auto b = a.mul(xt, true);
  const auto x0 = s.solve(b, 0), x2 = s.solve(b, 2), xm = s.solve(b, -7);
  EXPECT_EQ(x0, x2);
  EXPECT_EQ(x0, xm);
  EXPECT_LT(scaled_residual(a, x0, b, true), 100.0);
  EXPECT_LT(max_rel_error(x0, xt), 1e-9);
  EXPECT_EQ(ORVK_MA28FD.SOLRES, 0.0);
}

TEST(Ma28Cd, SingularPositionsAreZeroedAndReported) {
  reset_blocks();
  ORVK_MA28FD.STPSTR = ORVK_FALSE;
  const Triplets a = rank_two();
  for (bool btf : {true, false}) {
    ORVK_MA28ED.USEBTF = btf ? ORVK_TRUE : ORVK_FALSE;
    Solver s;
    ASSERT_EQ(s.analyse(a, 30, 30), 1);
    // Inconsistent right-hand side: the residual of the dependent row is
    // discarded and reported.
    const auto x = s.solve({3.0, 3.0, 6.0});
    EXPECT_EQ(x[2], 0.0);
    EXPECT_GT(ORVK_MA28FD.SOLRES, 0.0);
    EXPECT_EQ(ORVK_MA28FD.SOLRES, ORVK_MA30HD.SOLRES);
    const auto y = s.solve({1.0, 2.0, 0.0}, 0);
    EXPECT_GE(ORVK_MA28FD.SOLRES, 0.0);
    (void)y;
  }
}

TEST(Ma28Cd, FactorPositionsBeyondLicnSolveNothing) {
  reset_blocks();
  const Triplets a = random_sparse(5, 1, 3, true);
  Solver s;
  ASSERT_EQ(s.analyse(a, 40, 40), 0);
  IWORD n = 5, licn = ORVK_MA28GD.LULAST - 1, mode = 1;
  std::vector<double> b = {1, 2, 3, 4, 5}, w(5);
  ORVK_MA28CD(&n, s.entval.data(), &licn, s.colnum.data(), s.lukeep.data(), b.data(), w.data(),
              &mode);
  EXPECT_EQ(b, (std::vector<double>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ORVK_MA28FD.SOLRES, -1.0);
  // N = 0: nothing to do.
  IWORD zero = 0;
  ORVK_MA28CD(&zero, s.entval.data(), &licn, s.colnum.data(), s.lukeep.data(), b.data(),
              w.data(), &mode);
  EXPECT_EQ(ORVK_MA28FD.SOLRES, 0.0);
}

// An analysis that stopped at a zero pivot leaves no factors, also when a
// tight LICN lets its row lengths fill the factor positions: the solve
// changes nothing and reports -1.0 in both modes, the re-factorisation
// refuses with -16, and no index of the left-over arrays is followed.
TEST(Ma28Cd, FailedAnalysisWhoseRowLengthsFillTheFactorPositions) {
  struct Case {
    const char* name;
    Triplets a;
    IWORD licn;
  } cases[] = {
      {"zero diagonal entry, LICN = NZ + 1", make_triplets(3, {{1, 1, 1.0}, {2, 2, 0.0}, {3, 3, 3.0}}), 4},
      {"zero diagonal entry, LICN = NZ + 2", make_triplets(3, {{1, 1, 1.0}, {2, 2, 0.0}, {3, 3, 3.0}}), 5},
      {"zero diagonal entry after a summed repeat, LICN = NZ + 2",
       make_triplets(5, {{1, 3, -0.27712868225816778}, {1, 1, 0.55481717196344338}, {2, 2, 0.0},
                         {2, 2, -0.0015292588377330274}, {3, 3, 3.9305849779508053},
                         {3, 2, -0.41288059495177853}, {4, 4, 0.0}, {5, 1, -0.33913736324238564}}),
       10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset_blocks();
    ORVK_MA28ED.ERRUNT = 0;
    ORVK_MA28ED.WRNUNT = 0;
    ORVK_MA30ED.MSGUNT = 0;
    ORVK_MA28ED.USEBTF = ORVK_FALSE;
    Solver s;
    ASSERT_EQ(s.analyse(c.a, c.licn, 3 * c.a.nz()), -2);
    for (IWORD mode : {1, 0}) {
      const std::vector<double> b(c.a.n, 1.0);
      EXPECT_EQ(s.solve(b, mode), b) << "mode " << mode;
      EXPECT_EQ(ORVK_MA28FD.SOLRES, -1.0) << "mode " << mode;
    }
    EXPECT_EQ(s.refactor(c.a), -16);
  }
}

}  // namespace
