// QPENL1..QPENL5 (release routines) and QPACTV on hand-made states.
#include <gtest/gtest.h>

#include "qp/qp.hpp"
#include "qp/qp_test_util.hpp"
#include "support/capture.hpp"

namespace {

using qp_test::IVec;
using qp_test::Vec;

class QpenlTest : public ::testing::Test {
 protected:
  void SetUp() override { qp_test::reset_blocks(); }
  void TearDown() override {
    for (IWORD& w : ORVK_NLPINT) w = 0;
  }
};

// N = 1, MEQ = 0, MINEQ = 4, rows 1, 2, 4 active.
struct State {
  Vec x = {0, 7, 7, 7, 7};
  Vec alphas = {0.5, 0.9, 0.2, 0.9};
  std::vector<LWORD> lact = {ORVK_TRUE, ORVK_TRUE, ORVK_FALSE, ORVK_TRUE};
  IVec iract = {1, 2, 4, 0};
  IVec jflag = {4, 1, 2, 0};
  State() { ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1] = 3; }
};

TEST_F(QpenlTest, ModeTwoReleasesLargestRatioFirstOnTies) {
  State s;
  IWORD jrel = -1;
  orvika::QPENL1(1, s.x.data(), 0, s.alphas.data(), s.lact.data(), s.iract.data(),
                 s.jflag.data(), jrel, 0, 3, 2, 77, 1, 4);
  EXPECT_EQ(jrel, 2);
  EXPECT_EQ(s.iract[0], 1);
  EXPECT_EQ(s.iract[1], 4);
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1], 2);
  EXPECT_FALSE(s.lact[1] & 1);
  EXPECT_EQ(s.x[2], 0.0);
}

TEST_F(QpenlTest, ModeOneSkipsRatiosNearOneAndPrints) {
  State s;
  s.alphas = {0.5, 1.0 - 1e-9, 0.2, 0.3};
  orvika_test::UnitCapture cap(77);
  IWORD jrel = -1;
  orvika::QPENL3(1, s.x.data(), 0, s.alphas.data(), s.lact.data(), s.iract.data(),
                 s.jflag.data(), jrel, 1, 3, 1, 77, 1, 4);
  EXPECT_EQ(jrel, 1);  // row 2 (alpha >= 1 - 1e-8) stays
  EXPECT_EQ(cap.text(), "\n    ***  ENLARGE THE FOLLOWING CONSTRAINT  ***  1\n");
  // No qualifying candidate: nothing changes, nothing printed.
  cap.clear();
  s.alphas = {0, 1, 0, 1};
  State before = s;
  orvika::QPENL3(1, s.x.data(), 0, s.alphas.data(), s.lact.data(), s.iract.data(),
                 s.jflag.data(), jrel, 2, 3, 1, 77, 1, 4);
  EXPECT_EQ(jrel, 0);
  EXPECT_EQ(s.iract, before.iract);
  EXPECT_TRUE(cap.text().empty());
}

TEST_F(QpenlTest, OtherModeRemovesListedRowOnly) {
  State s;
  IWORD jrel = -1;
  orvika::QPENL2(1, s.x.data(), 0, s.alphas.data(), s.lact.data(), s.iract.data(),
                 s.jflag.data(), jrel, 1, 2, 3, 77, 0, 4);
  EXPECT_EQ(jrel, 2);
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1], 2);
  EXPECT_TRUE(s.lact[1] & 1);  // flags untouched
  // A row that is not listed (or out of range) changes nothing.
  for (IWORD row : {3, 0, 99}) {
    orvika::QPENL1(1, s.x.data(), 0, s.alphas.data(), s.lact.data(), s.iract.data(),
                   s.jflag.data(), jrel, 0, row, 3, 77, 0, 4);
    EXPECT_EQ(jrel, 0);
    EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1], 2);
  }
}

TEST_F(QpenlTest, RepeatedPassesReleaseSeveralRows) {
  State s;
  IWORD jrel = -1;
  orvika::QPENL4(1, s.x.data(), 0, s.alphas.data(), s.lact.data(), s.iract.data(),
                 s.jflag.data(), jrel, 2, 3, 2, 77, 0, 4);
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1], 1);
  EXPECT_EQ(s.iract[0], 1);
  EXPECT_EQ(jrel, 4);  // the row released last
}

// Active-set step on a problem with one variable: min x^2/2 - x, x <= 0.5
// (row 1) and x <= 2 (row 2).  KKT solution x = 1 with nothing active:
// row 1 is crossed at ratio 0.5 and becomes active (variant 1).
TEST_F(QpenlTest, QpactvActivatesTheFirstCrossedRow) {
  const IWORD n = 1, meq = 0, mineq = 2;
  Vec b = {0.5, 2};
  IVec iac = {1, 2, 3}, jac = {1, 1};
  Vec ac = {1, 1}, fes = {-1e30, -1e30};
  Vec x = {1, 0, 0}, rhs(2), alphas(2), xfsmin(4), xold(4, 0.0);
  IVec iract(2), jflag(2), ifsmin(2), iacold0(2), icant(2), iclose(2);
  std::vector<LWORD> lact(2, ORVK_FALSE);
  IWORD nactmn = 0, iret = 0, indef = 0, ncant = 0;
  double objfmn = 0, aphmax = 0, errceq = 0;
  orvika::QPACTV(n, x.data(), -0.5, meq, mineq, b.data(), iac.data(), jac.data(), ac.data(),
                 fes.data(), nullptr, nullptr, nullptr, nullptr, 1, rhs.data(), alphas.data(),
                 xfsmin.data(), objfmn, iract.data(), jflag.data(), nactmn, ifsmin.data(),
                 lact.data(), 0, iret, aphmax, errceq, 0, indef, 0, iacold0.data(), xold.data(),
                 ncant, icant.data(), iclose.data(), 0.5, 0, -1);
  EXPECT_EQ(iret, 0);
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_JACTIV - 1], 1);
  EXPECT_EQ(ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1], 1);
  EXPECT_EQ(iract[0], 1);
  EXPECT_TRUE(lact[0] & 1);
  EXPECT_FALSE(ORVK_NLPINT[ORVK_NLPINT_VALID - 1] & 1);
  EXPECT_DOUBLE_EQ(aphmax, 0.5);
  EXPECT_EQ(rhs[0], 1.0);  // a_i x written into RHS(MEQ+i)
}

}  // namespace
