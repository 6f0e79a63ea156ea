// Symbolic sum with reserved spans (SYMADD) and list merge (MRGLST).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "kernels/sparse.hpp"
#include "sparse_test_util.hpp"

namespace {

using sparse_test::Csr;

TEST(Mrglst, ExampleWithOffsets) {
  const IWORD l1[5] = {0, 0, 1, 4, 6};  // IOFF1 = 2
  const IWORD l2[3] = {0, 2, 4};        // IOFF2 = 1
  IWORD lout[7] = {-1, -1, -1, -1, -1, -1, -1};
  IWORD pos1[5] = {-1, -1, -1, -1, -1}, pos2[3] = {-1, -1, -1};
  IWORD nout = 0;
  orvika::MRGLST(3, 2, l1, 2, 1, l2, nout, 3, lout, pos1, pos2);
  EXPECT_EQ(nout, 4);
  EXPECT_EQ((std::vector<IWORD>(lout, lout + 7)), (std::vector<IWORD>{-1, -1, -1, 1, 2, 4, 6}));
  EXPECT_EQ((std::vector<IWORD>(pos1, pos1 + 5)), (std::vector<IWORD>{-1, -1, 1, 3, 4}));
  EXPECT_EQ((std::vector<IWORD>(pos2, pos2 + 3)), (std::vector<IWORD>{-1, 2, 3}));
}

TEST(Mrglst, EmptyListCopiesTheOther) {
  const IWORD l1[2] = {3, 5};
  IWORD lout[2] = {0, 0}, pos1[2] = {0, 0}, pos2[1] = {-1};
  IWORD nout = -1;
  orvika::MRGLST(2, 0, l1, 0, 0, nullptr, nout, 0, lout, pos1, pos2);
  EXPECT_EQ(nout, 2);
  EXPECT_EQ(lout[1], 5);
  EXPECT_EQ(pos1[1], 2);
  EXPECT_EQ(pos2[0], -1);
}

TEST(Mrglst, RandomAgainstSetUnion) {
  std::mt19937_64 rng(9);
  for (int rep = 0; rep < 20; ++rep) {
    std::set<IWORD> s1, s2;
    std::uniform_int_distribution<IWORD> v(1, 60);
    for (int i = 0; i < 15; ++i) s1.insert(v(rng));
    for (int i = 0; i < 25; ++i) s2.insert(v(rng));
    std::vector<IWORD> l1(s1.begin(), s1.end()), l2(s2.begin(), s2.end());
    std::vector<IWORD> lout(l1.size() + l2.size()), pos1(l1.size()), pos2(l2.size());
    IWORD nout = 0;
    orvika::MRGLST(l1.size(), 0, l1.data(), l2.size(), 0, l2.data(), nout, 0, lout.data(),
                   pos1.data(), pos2.data());
    std::set<IWORD> u(s1);
    u.insert(s2.begin(), s2.end());
    ASSERT_EQ(nout, static_cast<IWORD>(u.size()));
    EXPECT_TRUE(std::equal(u.begin(), u.end(), lout.begin()));
    for (size_t j = 0; j < l1.size(); ++j) EXPECT_EQ(lout[pos1[j] - 1], l1[j]);
    for (size_t j = 0; j < l2.size(); ++j) EXPECT_EQ(lout[pos2[j] - 1], l2[j]);
  }
}

TEST(Symadd, ReservesBothRowsAndMergesColumns) {
  Csr a = sparse_test::from_rows(4, {{{1, 0}, {3, 0}}});
  Csr b = sparse_test::from_rows(4, {{{3, 0}, {4, 0}}});
  std::vector<IWORD> ic(2), jc(4, -1);
  orvika::SYMADD(1, a.ia.data(), a.ja.data(), b.ia.data(), b.ja.data(), ic.data(), jc.data());
  EXPECT_EQ(ic, (std::vector<IWORD>{1, 5}));
  EXPECT_EQ(jc, (std::vector<IWORD>{1, 3, 4, -1}));
}

TEST(Symadd, RandomRowsAndOneRowPastAnyFixedScratch) {
  std::mt19937_64 rng(10);
  Csr a = sparse_test::random_csr(rng, 40, 50, 0.2);
  Csr b = sparse_test::random_csr(rng, 40, 50, 0.2);
  // Row 41: 150000 + 150000 columns that interleave, longer than any fixed
  // private list would be.
  const IWORD big = 150000;
  for (IWORD c = 1; c <= big; ++c) a.ja.push_back(2 * c - 1), b.ja.push_back(2 * c);
  a.ia.push_back(a.ia.back() + big);
  b.ia.push_back(b.ia.back() + big);
  a.n = b.n = 41;
  std::vector<IWORD> ic(42), jc(a.ja.size() + b.ja.size(), -1);
  orvika::SYMADD(41, a.ia.data(), a.ja.data(), b.ia.data(), b.ja.data(), ic.data(), jc.data());
  for (IWORD i = 1; i <= 41; ++i) {
    ASSERT_EQ(ic[i] - ic[i - 1], (a.ia[i] - a.ia[i - 1]) + (b.ia[i] - b.ia[i - 1]));
    std::set<IWORD> u(a.ja.begin() + a.ia[i - 1] - 1, a.ja.begin() + a.ia[i] - 1);
    u.insert(b.ja.begin() + b.ia[i - 1] - 1, b.ja.begin() + b.ia[i] - 1);
    EXPECT_TRUE(std::equal(u.begin(), u.end(), jc.begin() + ic[i - 1] - 1)) << "row " << i;
    for (IWORD p = ic[i - 1] + static_cast<IWORD>(u.size()); p < ic[i]; ++p)
      EXPECT_EQ(jc[p - 1], -1) << "row " << i;
  }
}

}  // namespace
