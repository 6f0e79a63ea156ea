// QPKTSP / QPKTPK (KKT builders) and the LP set-ups with their report.
#include <gtest/gtest.h>

#include "qp/qp.hpp"
#include "qp/qp_test_util.hpp"
#include "support/capture.hpp"

namespace {

using qp_test::IVec;
using qp_test::Vec;

class LpSetupTest : public ::testing::Test {
 protected:
  void SetUp() override { qp_test::reset_blocks(); }
  void TearDown() override {
    for (IWORD& w : ORVK_NLPINT) w = 0;
  }
};

TEST_F(LpSetupTest, SparseAndPackedBuildsAgree) {
  // N = 3, H lower triangle with a tiny entry (dropped by the sparse build),
  // one equality row and three inequality rows of which 1 and 3 are active.
  const IWORD n = 3, meq = 1, mineq = 3;
  IVec iah = {1, 2, 4, 6}, jah = {1, 1, 2, 2, 3};
  Vec h = {4, 1e-60, 3, 0.5, 2};
  Vec g = {1, 2, 3};
  IVec iac = {1, 3, 4, 6, 7}, jac = {1, 3, 2, 1, 2, 3};
  Vec ac = {1, 1, -1, 2, 2, 5};
  Vec b = {7, 8, 9, 10};
  IVec iract = {1, 3};
  ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1] = 2;
  const IWORD ncact = meq + 2, k = n + ncact;
  Vec coef(40), rhs_s(k), packed(k * (k + 1) / 2, 99.0), rhs_p(k);
  IVec ia(k + 1), ja(40);
  orvika::QPKTSP(n, g.data(), iah.data(), jah.data(), h.data(), meq, mineq, b.data(), iac.data(),
                 jac.data(), ac.data(), ncact, coef.data(), ia.data(), ja.data(), rhs_s.data(),
                 iract.data(), 0);
  orvika::QPKTPK(n, g.data(), iah.data(), jah.data(), h.data(), meq, mineq, b.data(),
                 iac.data(), jac.data(), ac.data(), ncact, packed.data(), rhs_p.data(),
                 iract.data());
  EXPECT_EQ(ia, (IVec{1, 2, 3, 5, 7, 8, 9}));  // tiny H(2,1) dropped
  Vec from_sparse(k * (k + 1) / 2, 0.0);
  for (IWORD r = 1; r <= k; ++r)
    for (IWORD p = ia[r - 1]; p < ia[r]; ++p) from_sparse[r * (r - 1) / 2 + ja[p - 1] - 1] += coef[p - 1];
  from_sparse[1] = 1e-60;  // the packed build keeps it
  EXPECT_EQ(from_sparse, packed);
  EXPECT_EQ(rhs_s, rhs_p);
  EXPECT_EQ(rhs_s, (Vec{-1, -2, -3, 7, 8, 10}));
}

TEST_F(LpSetupTest, PhaseOneLpRowsSlacksAndBounds) {
  // N = 1, MEQ = 1, MINEQ = 3 (x <= 2, -x <= 3, general row 4x <= 5).
  const IWORD n = 1, meq = 1, mineq = 3;
  IVec iac = {1, 2, 3, 4, 5}, jac = {1, 1, 1, 1};
  Vec ac = {2, 1, -1, 4}, b = {6, 2, 3, 5};
  const IWORD nvar = 4, ncon = 2, ldc = 3;
  Vec x(nvar, 0.0), objc(nvar), xlb(nvar), xub(nvar), brhs(ncon), dsol(nvar, 0.0), cj(10),
      cw(ldc * nvar, 5.0);
  IVec irtype(ncon), icj(ncon + 1), jcj(10);
  IWORD iflag = -1;
  orvika::QPINX(n, meq, mineq, iac.data(), jac.data(), ac.data(), b.data(), x.data(),
                objc.data(), xlb.data(), xub.data(), brhs.data(), dsol.data(), irtype.data(),
                icj.data(), jcj.data(), cj.data(), ldc, cw.data(), 0, iflag);
  EXPECT_EQ(iflag, 0);
  EXPECT_EQ(irtype, (IVec{0, 2}));
  EXPECT_EQ(brhs, (Vec{6, -5}));
  EXPECT_EQ(icj, (IVec{1, 4, 6}));
  EXPECT_EQ(IVec(jcj.begin(), jcj.begin() + 5), (IVec{1, 2, 3, 1, 4}));
  EXPECT_EQ(Vec(cj.begin(), cj.begin() + 5), (Vec{2, -1, 1, 4, -1}));
  EXPECT_EQ(objc, (Vec{0, 1, 1, 1}));
  EXPECT_EQ(xlb, (Vec{-3, 0, 0, 0}));
  EXPECT_EQ(xub, (Vec{2, -1e30, -1e30, -1e30}));
  // Dense copy: rows 1, 2 filled over 4 columns, row 3 (beyond NCON) untouched.
  EXPECT_EQ(cw, (Vec{2, 4, 5, -1, 0, 5, 1, 0, 5, 0, -1, 5}));
}

TEST_F(LpSetupTest, ReportTextAtLevelTwoAndThree) {
  IVec irtype = {0, 1, 2, 3};
  Vec cw(4, 0.0), objc = {1, -2}, brhs = {1, 2, 3, 4}, xs = {0.5, 0.25}, ds = {0, 0},
      xlb = {0, 0}, xub = {1, 1};
  double obj = 3;
  orvika_test::UnitCapture cap(77);
  orvika::QPLPDM(2, 2, 0, irtype.data(), 1, cw.data(), objc.data(), brhs.data(), xs.data(),
                 ds.data(), obj, xlb.data(), xub.data(), 2);
  EXPECT_EQ(cap.text(),
            "\n\n  ***   MINIMUM OBJECTIVE FUNCTION   ***\n"
            "\n  OBJ.VALUE \n     3.00000D+00\n"
            "\n  XSOL.     \n     5.00000D-01  2.50000D-01\n");
  cap.clear();
  orvika::QPLPDM(1, 2, 4, irtype.data(), 4, cw.data(), objc.data(), brhs.data(), xs.data(),
                 ds.data(), obj, xlb.data(), xub.data(), 3);
  EXPECT_EQ(objc, (Vec{-1, 2}));
  EXPECT_EQ(obj, -3);
  const std::string t = cap.text();
  EXPECT_NE(t.find("\n\n  ***   MAXIMUM OBJECTIVE FUNCTION   ***\n"), std::string::npos);
  EXPECT_NE(t.find("\n\n  ***CONSTRAINT  1  IS EQUALITY CONSTRAINT***\n"
                   "\n\n  *CONSTRAINT  2  IS LESS EQUALITY CONSTRAINT*\n"
                   "\n\n  *CONSTRAINT  3  IS GREAT EQUALITY CONSTRAINT*\n"
                   "\n\n  ***CONSTRAINT  4  IS RANGE CONSTRAINTS***\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("\n  DUAL.SOLU.\n"), std::string::npos);
}

TEST_F(LpSetupTest, DescentLpUsesGradientCosts) {
  const IWORD n = 1, meq = 0, mineq = 2;
  IVec iac = {1, 2, 3}, jac = {1, 1};
  Vec ac = {1, -1}, b = {4, 5}, g = {-2};
  Vec x(1), objc(1), xlb(1), xub(1), brhs(1), dsol(1), cj(4), cw(1);
  IVec irtype(1), icj(1), jcj(4);
  IWORD iflag = -1;
  orvika::GTX(n, meq, mineq, g.data(), iac.data(), jac.data(), ac.data(), b.data(), x.data(),
              icj.data(), jcj.data(), cj.data(), objc.data(), xlb.data(), xub.data(), brhs.data(),
              dsol.data(), irtype.data(), 1, cw.data(), 0, 77, iflag);
  EXPECT_EQ(iflag, 0);
  EXPECT_EQ(objc[0], -2);
  EXPECT_EQ(xlb[0], -5);
  EXPECT_EQ(xub[0], 4);
  EXPECT_EQ(icj[0], 1);
}

}  // namespace
