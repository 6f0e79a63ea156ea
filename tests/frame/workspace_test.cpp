// The work-space view: one array of words seen as integers and as reals.
#include <gtest/gtest.h>

#include <bit>
#include <vector>

#include "frame/workspace.hpp"

namespace {

using orvika::IV;
using orvika::RV;
using orvika::WorkSpace;

TEST(SpWorkSpace, OneWordSeenBothWays) {
  std::vector<double> store(10, 0.0);
  WorkSpace ws(store.data(), 10);
  ws.setr(3, -2.5);
  EXPECT_EQ(ws.geti(3), std::bit_cast<IWORD>(-2.5));
  ws.seti(4, 0x3ff0000000000000LL);
  EXPECT_EQ(ws.getr(4), 1.0);
  // Sub-arrays: integer view at 5, real view at 7, both 1-based.
  IV iv = ws.ivec(5, 2);
  RV rv = ws.rvec(7);
  iv(1) = 42;
  iv(2) += 8;
  rv(1) = 0.5;
  rv(1) *= 4.0;
  EXPECT_EQ(ws.geti(5), 42);
  EXPECT_EQ(ws.geti(6), 8);
  EXPECT_EQ(store[6], 2.0);
  EXPECT_EQ(rv.size(), 4);
  EXPECT_EQ(iv.sub(2, 1)(1), 8);
  EXPECT_EQ(iv.as<double>().get(1), std::bit_cast<double>(IWORD{42}));
}

TEST(SpWorkSpace, ReadOnlyArrayIsSeenAsWords) {
  const std::vector<IWORD> a = {7, -3, 11};
  const IV v(a.data(), 3);
  EXPECT_EQ(v.size(), 3);
  EXPECT_EQ(v.get(2), -3);
  EXPECT_EQ(v.sub(2).get(2), 11);
  EXPECT_EQ(v.as<double>().get(1), std::bit_cast<double>(IWORD{7}));
}

TEST(SpWorkSpace, MoveCopiesInTheSafeDirection) {
  std::vector<IWORD> a = {1, 2, 3, 4, 5, 6};
  IV v(a.data(), 6);
  v.move(1, 2, 4);  // up, overlapping
  EXPECT_EQ(a, (std::vector<IWORD>{1, 1, 2, 3, 4, 6}));
  v.move(2, 1, 5);  // down, overlapping
  EXPECT_EQ(a, (std::vector<IWORD>{1, 2, 3, 4, 6, 6}));
}

#if ORVIKA_WS_CHECKED
TEST(SpWorkSpaceDeathTest, AccessOutsideTheViewTraps) {
  std::vector<IWORD> a(4, 0);
  IV v(a.data(), 4);
  EXPECT_DEATH(v(5) = 1, "");
  EXPECT_DEATH(v(0) = 1, "");
  EXPECT_DEATH(v.sub(3, 3), "");
  WorkSpace ws(a.data(), 4);
  EXPECT_DEATH(ws.rvec(4, 2), "");
}
#endif

}  // namespace
