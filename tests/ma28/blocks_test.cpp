// The MA28-family blocks: defaults and the copies made at every entry.
#include <gtest/gtest.h>

#include <cstring>

#include "ma28/ma28_test_util.hpp"

namespace {

using namespace ma28test;

template <class T>
void fill_bytes(T& b) {
  std::memset(&b, 0x5A, sizeof b);
}

TEST(Ma28Blocks, DefaultsTouchOnlyTheirWords) {
  reset_blocks(false);
  VLK_GLOBAL[VLK_W_REPUNIT - 1] = 9;
  fill_bytes(ORVK_MA28ED);
  fill_bytes(ORVK_MA28FD);
  fill_bytes(ORVK_MA30ED);
  fill_bytes(ORVK_MA30GD);
  const ORVK_MA28FD_T fd0 = ORVK_MA28FD;
  const ORVK_MA30GD_T gd0 = ORVK_MA30GD;
  ORVK_MA28BK();
  ORVK_MA30BK();
  EXPECT_EQ(ORVK_MA28ED.ERRUNT, 9);
  EXPECT_EQ(ORVK_MA28ED.WRNUNT, 9);
  EXPECT_EQ(ORVK_MA28ED.USEBTF, ORVK_TRUE);
  EXPECT_EQ(ORVK_MA28ED.ESTGRW, ORVK_TRUE);
  EXPECT_EQ(ORVK_MA28FD.SMLPIV, 1e-4);
  EXPECT_EQ(ORVK_MA28FD.STPSTR, ORVK_TRUE);
  EXPECT_EQ(ORVK_MA28FD.STPNUM, ORVK_TRUE);
  EXPECT_EQ(std::memcmp(&ORVK_MA28FD.MINPIV, &fd0.MINPIV, 8 * 7), 0);
  EXPECT_EQ(ORVK_MA30ED.MSGUNT, 9);
  EXPECT_EQ(ORVK_MA30ED.STPSTR, ORVK_TRUE);
  EXPECT_EQ(ORVK_MA30ED.STPNUM, ORVK_TRUE);
  EXPECT_EQ(ORVK_MA30ED.STPSPC, ORVK_FALSE);
  EXPECT_EQ(ORVK_MA30GD.SMLPIV, 1e-4);
  EXPECT_EQ(std::memcmp(&ORVK_MA30GD.MINPIV, &gd0.MINPIV, 8), 0);
}

TEST(Ma28Blocks, AnalyseCopiesItsSwitchesAndKeepsWordFour) {
  reset_blocks();
  ORVK_MA28ED.ERRUNT = 0;
  ORVK_MA28FD.STPSTR = ORVK_FALSE;
  ORVK_MA28FD.STPNUM = ORVK_FALSE;
  ORVK_MA30ED.STPSTR = ORVK_TRUE;  // overwritten at entry
  ORVK_MA30ED.STPSPC = ORVK_TRUE;  // never overwritten
  const Triplets a = make_triplets(2, {{1, 1, 1.0}, {2, 1, 1.0}});
  Solver s;
  EXPECT_EQ(s.analyse(a, 10, 10), 1);
  EXPECT_EQ(ORVK_MA30ED.MSGUNT, 0);
  EXPECT_EQ(ORVK_MA30ED.STPSTR, ORVK_FALSE);
  EXPECT_EQ(ORVK_MA30ED.STPNUM, ORVK_FALSE);
  EXPECT_EQ(ORVK_MA30ED.STPSPC, ORVK_TRUE);
  EXPECT_EQ(ORVK_MC23BD.MSGUNT, 0);
  EXPECT_EQ(ORVK_MC23BD.STPSTR, ORVK_FALSE);
  EXPECT_EQ(ORVK_MA28FD.LURANK, ORVK_MA30FD.LURANK);
  EXPECT_EQ(ORVK_MA28FD.MINLIC, ORVK_MA30FD.MINLIC);
  EXPECT_EQ(ORVK_MA28FD.MINLIR, ORVK_MA30FD.MINLIR);
  EXPECT_EQ(ORVK_MA28FD.LURANK, 1);
}

TEST(Ma28Blocks, RefactorCopiesThePivotRatioAndUnit) {
  reset_blocks();
  const Triplets a = make_triplets(1, {{1, 1, 2.0}});
  Solver s;
  ASSERT_EQ(s.analyse(a, 4, 4), 0);
  ORVK_MA28FD.SMLPIV = 0.25;
  ORVK_MA28ED.ERRUNT = 0;
  EXPECT_EQ(s.refactor(a), 0);
  EXPECT_EQ(ORVK_MA30GD.SMLPIV, 0.25);
  EXPECT_EQ(ORVK_MA30GD.MINPIV, 0.25);
  EXPECT_EQ(ORVK_MA28FD.MINPIV, 0.25);
  EXPECT_EQ(ORVK_MA30ED.MSGUNT, 0);
}

}  // namespace
