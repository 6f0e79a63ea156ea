// The factorisation kernel MA30AD and its compression LUCMPR, called
// directly on one block and through ORVK_MA28AD.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ma28/ma28.hpp"
#include "ma28/ma28_test_util.hpp"
#include "support/capture.hpp"

namespace {

using namespace ma28test;
using orvika_test::UnitCapture;

// Arrays of one MA30AD call on A as a single block (rows stored at the end).
struct Kern {
  IWORD n, licn, lirn, lufrst = 1, lulast = 0, istat = 99;
  std::vector<double> v;
  std::vector<IDX16> cn, rl, ll, rp, cp, rn, w;
  std::vector<IWORD> rowpos, colpos;
  double thr;

  Kern(const Triplets& a, IWORD licn_, IWORD lirn_, double thr_)
      : n(a.n), licn(licn_), lirn(lirn_), thr(thr_) {
    v.assign(licn, 0.0);
    cn.assign(licn, 0);
    rl.assign(n, 0);
    for (IDX16 r : a.row) ++rl[r - 1];
    lulast = licn - a.nz() + 1;
    std::vector<IWORD> next(n);
    IWORD q = lulast;
    for (IWORD i = 0; i < n; ++i) {
      next[i] = q;
      q += rl[i];
    }
    for (std::size_t k = 0; k < a.val.size(); ++k) {
      const IWORD p = next[a.row[k] - 1]++;
      v[p - 1] = a.val[k];
      cn[p - 1] = a.col[k];
    }
    ll.assign(n, 0);
    rp.resize(n);
    cp.resize(n);
    for (IWORD i = 0; i < n; ++i) rp[i] = cp[i] = static_cast<IDX16>(i + 1);
    rn.assign(lirn, 0);
    w.assign(6 * n, 0);
    rowpos.assign(n, 0);
    colpos.assign(n, 0);
  }
  IWORD run() {
    orvika::MA30AD(n, cn.data(), v.data(), licn, rl.data(), ll.data(), lufrst, lulast, rp.data(),
                   cp.data(), rn.data(), lirn, w.data(), w.data() + n, w.data() + 2 * n,
                   w.data() + 3 * n, w.data() + 4 * n, w.data() + 5 * n,
                   pos_words(rowpos), pos_words(colpos), thr, istat);
    return istat;
  }
};

TEST(Ma30Ad, OrderOne) {
  reset_blocks();
  Triplets a = make_triplets(1, {{1, 1, 3.0}});
  Kern k(a, 3, 3, 0.1);
  EXPECT_EQ(k.run(), 0);
  EXPECT_EQ(ORVK_MA30FD.LURANK, 1);
  EXPECT_EQ(k.lulast, k.lufrst);
  EXPECT_EQ(k.v[0], 3.0);
  a.val[0] = 0.0;
  {
    UnitCapture cap(6);
    Kern z(a, 3, 3, 0.1);
    EXPECT_EQ(z.run(), -2);
    EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                               " ERROR RETURN FROM MA30A/AD BECAUSE MATRIX IS NUMERICALLY SINGULAR"}));
  }
  ORVK_MA30ED.STPNUM = ORVK_FALSE;
  Kern z(a, 3, 3, 0.1);
  EXPECT_EQ(z.run(), 2);
  EXPECT_EQ(ORVK_MA30FD.LURANK, 0);
  EXPECT_LT(z.cp[0], 0);
}

TEST(Ma30Ad, ThresholdIsClampedAndWrittenBack) {
  reset_blocks();
  const Triplets a = make_triplets(1, {{1, 1, 3.0}});
  for (auto [in, out] : {std::pair{5.0, 0.999999999}, {-1.0, 0.0}, {0.3, 0.3}}) {
    Kern k(a, 3, 3, in);
    k.run();
    EXPECT_EQ(k.thr, out);
  }
}

TEST(Ma30Ad, DiagonalBlockPivotsInRowOrderWithoutCompression) {
  reset_blocks();
  Triplets a;
  a.n = 6;
  for (IWORD i = 1; i <= 6; ++i) a.add(i, i, 1.0 * i);
  Kern k(a, 12, 6, 0.1);  // a free place per row for the copies
  EXPECT_EQ(k.run(), 0);
  for (IWORD i = 0; i < 6; ++i) {
    EXPECT_EQ(k.rp[i], i + 1);
    EXPECT_EQ(k.cp[i], i + 1);
    EXPECT_EQ(k.v[i], i + 1.0);
    EXPECT_EQ(k.cn[i], i + 1);
  }
  EXPECT_EQ(ORVK_MA30FD.VALCMP, 0);
  EXPECT_EQ(ORVK_MA30FD.ROWCMP, 0);
}

TEST(Ma30Ad, RowFileShorterThanTheBlockFailsAtStageZero) {
  reset_blocks();
  const Triplets a = random_sparse(8, 2, 17, true);
  UnitCapture cap(6);
  Kern k(a, 4 * a.nz(), a.nz() - 1, 0.1);
  EXPECT_EQ(k.run(), -3);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             " ERROR RETURN FROM MA30A/AD BECAUSE LIRN NOT BIG ENOUGH",
                             " AT STAGE     0 IN BLOCK     1 WITH FIRST ROW     1 AND LAST ROW     8",
                             " TO CONTINUE SET LIRN TO AT LEAST " +
                                 std::string(8 - std::to_string(a.nz()).size(), ' ') +
                                 std::to_string(a.nz())}));
  EXPECT_EQ(ORVK_MA30FD.MINLIR, a.nz());
}

TEST(Ma30Ad, AllZeroActivePartTakesZeroPivots) {
  reset_blocks();
  ORVK_MA30ED.STPNUM = ORVK_FALSE;
  Triplets a;  // rank 1: every pivot after the first is zero
  a.n = 3;
  for (IWORD i = 1; i <= 3; ++i)
    for (IWORD j = 1; j <= 3; ++j) a.add(i, j, 1.0);
  Kern k(a, 30, 30, 0.1);
  EXPECT_EQ(k.run(), 2);
  EXPECT_EQ(ORVK_MA30FD.LURANK, 1);
  EXPECT_GT(k.cp[0], 0);
  EXPECT_LT(k.cp[1], 0);
  EXPECT_LT(k.cp[2], 0);
}

TEST(Ma30Ad, EmptyRowBetweenRowsSurvivesCompression) {
  // Row 2 and column 2 are empty; the value file has two free places, so
  // the second pivot row is placed only after a compression, with rows 2
  // and 3 starting at the same place.
  reset_blocks();
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  ORVK_MA28FD.STPSTR = ORVK_FALSE;
  const Triplets a = make_triplets(3, {{1, 1, 4.0}, {1, 3, 1.0}, {3, 1, 1.0}, {3, 3, 3.0}});
  Solver s;
  ASSERT_EQ(s.analyse(a, 6, 20), 1);
  EXPECT_GT(ORVK_MA28FD.VALCMP, 0);
  const auto x = s.solve({5.0, 0.0, 4.0});
  EXPECT_NEAR(x[0], 1.0, 1e-15);
  EXPECT_EQ(x[1], 0.0);
  EXPECT_NEAR(x[2], 1.0, 1e-15);
  EXPECT_EQ(ORVK_MA28FD.SOLRES, 0.0);
}

TEST(Ma30Ad, SingularMatricesWithTightFilesSolveConsistentSystems) {
  int solved = 0;
  for (int seed = 0; seed < 60; ++seed) {
    reset_blocks();
    ORVK_MA28ED.ERRUNT = 0;
    ORVK_MA28ED.USEBTF = seed % 3 == 0 ? ORVK_TRUE : ORVK_FALSE;
    ORVK_MA28FD.STPSTR = ORVK_FALSE;
    const IWORD n = 10 + seed;
    Triplets full = random_sparse(n, 2 + seed % 3, 700 + seed, seed % 2 == 0);
    // Empty some rows and columns, the last ones among them.
    Triplets a;
    a.n = n;
    for (std::size_t k = 0; k < full.val.size(); ++k) {
      const IWORD r = full.row[k], c = full.col[k];
      if (r == n || c == n || r % 7 == 3 || c % 5 == 2) continue;
      a.add(r, c, full.val[k]);
    }
    IWORD licn = a.nz() + 2, lirn = a.nz();
    IWORD st = -99;
    Solver s;
    for (int att = 0; att < 10; ++att) {
      st = s.analyse(a, licn, lirn, 0.5);
      if (st >= 0) break;
      licn = std::max(licn + 1, ORVK_MA28FD.MINLIC);
      lirn = std::max(lirn + 1, ORVK_MA28FD.MINLIR);
    }
    ASSERT_TRUE(st == 1 || st == 2) << "seed " << seed << " status " << st;
    std::vector<double> xt = test_x(n);
    const auto b = a.mul(xt);
    const auto x = s.solve(b);
    const auto ax = a.mul(x);
    double r = 0.0;
    for (IWORD i = 0; i < n; ++i) r = std::max(r, std::fabs(ax[i] - b[i]));
    // Random values may be nearly singular beyond the structure.
    EXPECT_LT(r, 1e-6) << "seed " << seed;
    EXPECT_LT(ORVK_MA28FD.SOLRES, 1e-6) << "seed " << seed;
    ++solved;
  }
  EXPECT_EQ(solved, 60);
}

TEST(Lucmpr, PacksLiveEntriesAndMovesStarts) {
  reset_blocks();
  // Places 1..8: row 1 at 2..3, a hole at 4, row 2 at 5, holes 6, row 3 at 7..8.
  std::vector<double> v = {0, 1, 2, 0, 3, 0, 4, 5};
  std::vector<IDX16> ix = {9, 1, 2, 0, 3, 0, 4, 5};
  std::vector<IWORD> st = {2, 5, 7, 0};
  IWORD first = 2;
  orvika::LUCMPR(v.data(), ix.data(), pos_words(st), 4, first, 8, true);
  EXPECT_EQ(first, 4);
  EXPECT_EQ(std::vector<double>(v.begin() + 3, v.end()), (std::vector<double>{1, 2, 3, 4, 5}));
  EXPECT_EQ(std::vector<IDX16>(ix.begin() + 3, ix.end()), (std::vector<IDX16>{1, 2, 3, 4, 5}));
  EXPECT_EQ(st, (std::vector<IWORD>{4, 6, 7, 0}));
  EXPECT_EQ(ORVK_MA30FD.VALCMP, 1);
  // Index file only: values untouched.
  std::vector<IDX16> rn = {0, 3, 0, 0, 4, 4};
  std::vector<IWORD> cs = {2, 5};
  IWORD rb = 1;
  orvika::LUCMPR(nullptr, rn.data(), pos_words(cs), 2, rb, 6, false);
  EXPECT_EQ(rb, 4);
  EXPECT_EQ(cs, (std::vector<IWORD>{4, 5}));
  EXPECT_EQ(ORVK_MA30FD.ROWCMP, 1);
}

}  // namespace
