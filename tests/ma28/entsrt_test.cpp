// The in-place helpers ENTSRT, COLSRT, OFFPRM and GRWEST.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "ma28/ma28.hpp"
#include "ma28/ma28_test_util.hpp"

namespace {

using ma28test::pos_words;

TEST(Entsrt, KeysTwoOneOne) {
  std::vector<double> v = {10, 20, 30};
  std::vector<IDX16> ix = {1, 2, 3}, key = {2, 1, 1};
  std::vector<IWORD> st(2);
  orvika::ENTSRT(2, 3, v.data(), ix.data(), pos_words(st), key.data(), 0);
  EXPECT_EQ(v, (std::vector<double>{30, 20, 10}));
  EXPECT_EQ(ix, (std::vector<IDX16>{3, 2, 1}));
  EXPECT_EQ(st, (std::vector<IWORD>{1, 3}));
  EXPECT_EQ(key, (std::vector<IDX16>{0, 0, 0}));
}

TEST(Entsrt, GroupedInputStaysAndDisplacementMarksKeys) {
  std::vector<double> v = {1, 2, 3, 4, 5};
  std::vector<IDX16> ix = {5, 4, 3, 2, 1}, key = {-2, -2, 1, 1, 2};  // D = 3: buckets 1, 4, 5
  std::vector<IWORD> st(6);
  orvika::ENTSRT(6, 5, v.data(), ix.data(), pos_words(st), key.data(), 3);
  EXPECT_EQ(v, (std::vector<double>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ix, (std::vector<IDX16>{5, 4, 3, 2, 1}));
  EXPECT_EQ(st, (std::vector<IWORD>{1, 3, 3, 3, 5, 6}));
  EXPECT_EQ(key, (std::vector<IDX16>(5, -3)));
}

TEST(Entsrt, EmptyAndRandom) {
  std::vector<IWORD> st(4, 9);
  orvika::ENTSRT(4, 0, nullptr, nullptr, pos_words(st), nullptr, 0);
  EXPECT_EQ(st, (std::vector<IWORD>(4, 1)));
  std::mt19937 rng(3);
  for (int nc : {1, 3, 17}) {
    const int nz = 200;
    std::vector<double> v(nz);
    std::vector<IDX16> ix(nz), key(nz);
    std::multiset<std::pair<int, double>> want;
    for (int k = 0; k < nz; ++k) {
      key[k] = static_cast<IDX16>(1 + rng() % nc);
      v[k] = k;
      ix[k] = static_cast<IDX16>(k);
      want.insert({key[k], v[k]});
    }
    std::vector<IWORD> s(nc);
    orvika::ENTSRT(nc, nz, v.data(), ix.data(), pos_words(s), key.data(), 0);
    std::multiset<std::pair<int, double>> got;
    for (int b = 1; b <= nc; ++b) {
      const IWORD e = b < nc ? s[b] : nz + 1;
      for (IWORD q = s[b - 1]; q < e; ++q) {
        got.insert({b, v[q - 1]});
        EXPECT_EQ(ix[q - 1], static_cast<IDX16>(v[q - 1]));
      }
    }
    EXPECT_EQ(got, want);
  }
}

TEST(Colsrt, StableByMagnitude) {
  std::vector<double> v = {3, -1, 2, 1, 7, 8};
  std::vector<IDX16> ix = {3, -1, 2, 1, 9, -4};
  std::vector<IWORD> st = {1, 5};
  orvika::COLSRT(2, 6, v.data(), ix.data(), pos_words(st));
  EXPECT_EQ(ix, (std::vector<IDX16>{-1, 1, 2, 3, -4, 9}));
  EXPECT_EQ(v, (std::vector<double>{-1, 1, 2, 3, 8, 7}));
}

TEST(Offprm, IdentityKeepsPlacesAndReversalReversesGroups) {
  // Three input rows with 2, 0, 3 off-diagonal entries.
  const std::vector<double> v0 = {1, 2, 3, 4, 5};
  const std::vector<IDX16> c0 = {1, 2, 3, 1, 2};
  {
    std::vector<double> v = v0;
    std::vector<IDX16> c = c0, ol = {2, 0, 3}, rp = {1, -2, 3}, cp = {1, 2, 3}, w16(5);
    std::vector<IWORD> w64(6);
    orvika::OFFPRM(3, c.data(), v.data(), 5, ol.data(), rp.data(), cp.data(),
                   pos_words(w64), w16.data());
    EXPECT_EQ(v, v0);
    EXPECT_EQ(c, c0);
    EXPECT_EQ(ol, (std::vector<IDX16>{2, 0, 3}));
  }
  {
    std::vector<double> v = v0;
    std::vector<IDX16> c = c0, ol = {2, 0, 3}, rp = {-3, -2, 1}, cp = {3, 2, 1}, w16(5);
    std::vector<IWORD> w64(6);
    orvika::OFFPRM(3, c.data(), v.data(), 5, ol.data(), rp.data(), cp.data(),
                   pos_words(w64), w16.data());
    EXPECT_EQ(v, (std::vector<double>{3, 4, 5, 1, 2}));
    EXPECT_EQ(c, (std::vector<IDX16>{1, 3, 2, 3, 2}));  // new column = 4 - old
    EXPECT_EQ(ol, (std::vector<IDX16>{3, 0, 2}));
  }
}

TEST(Grwest, EstimateAndColumnMaxima) {
  // Row 1: pivot 2, U (col 2) -3; row 2: L 0.5, -0.25, pivot 1; row 3: empty.
  std::vector<IDX16> cn = {1, 2, 1, 3, 2};
  std::vector<double> v = {2, -3, 0.5, -0.25, 1};
  std::vector<IDX16> rl = {2, 3, 0}, ll = {0, 2, 0};
  std::vector<double> w(3, 9.0);
  orvika::GRWEST(3, cn.data(), v.data(), 5, rl.data(), ll.data(), w.data());
  EXPECT_EQ(w, (std::vector<double>{0.75 * 3.0, 3.0, 0.0}));
  // No multipliers: W(1) = 0.
  std::vector<IDX16> ll0 = {0, 0, 0}, rl0 = {2, 1, 0};
  orvika::GRWEST(3, cn.data(), v.data(), 3, rl0.data(), ll0.data(), w.data());
  EXPECT_EQ(w[0], 0.0);
  double w1 = 5.0;
  orvika::GRWEST(0, nullptr, nullptr, 0, nullptr, nullptr, &w1);
  EXPECT_EQ(w1, 0.0);
}

}  // namespace
