// Input conversion (SPRSRT) and the data checks DCHEKA-DCHEKD: repairs,
// status flags, codes and the exact repair messages on each kind of unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "sparselu/sp_test_util.hpp"
#include "support/capture.hpp"

namespace {

using namespace sptest;
using orvika_test::UnitCapture;
using Lines = std::vector<std::string>;

// ---- SPRSRT -----------------------------------------------------------------------

TEST(SpSprsrt, RandomTripletsBecomeRowsWithTheSameEntries) {
  std::mt19937_64 rng(7);
  for (IWORD n : {1, 2, 7, 50}) {
    for (IWORD nz : {IWORD{0}, n, 4 * n}) {
      std::vector<IWORD> iv_(nz), jv(nz), irp(n + 1);
      std::vector<double> a(nz);
      std::multiset<std::tuple<IWORD, IWORD, double>> want;
      for (IWORD k = 0; k < nz; ++k) {
        iv_[k] = 1 + static_cast<IWORD>(rng() % n);
        jv[k] = 1 + static_cast<IWORD>(rng() % n);
        a[k] = static_cast<double>(k) + 0.5;
        want.insert({iv_[k], jv[k], a[k]});
      }
      ASSERT_EQ(orvika::SPRSRT(n, nz, iv(iv_), iv(jv), iv(irp), rv(a)), 0);
      EXPECT_EQ(irp[0], 1);
      EXPECT_EQ(irp[n], nz + 1);
      std::multiset<std::tuple<IWORD, IWORD, double>> got;
      for (IWORD i = 1; i <= n; ++i) {
        ASSERT_LE(irp[i - 1], irp[i]);
        for (IWORD k = irp[i - 1]; k < irp[i]; ++k) {
          EXPECT_EQ(iv_[k - 1], i);
          got.insert({i, jv[k - 1], a[k - 1]});
        }
      }
      EXPECT_EQ(got, want) << "n=" << n << " nz=" << nz;
    }
  }
}

TEST(SpSprsrt, SortedTripletsOnlyGetRowPointers) {
  std::vector<IWORD> rows = {1, 1, 2, 4, 4}, cols = {3, 1, 2, 4, 1}, irp(5);
  std::vector<double> a = {1, 2, 3, 4, 5};
  const auto r0 = rows, c0 = cols;
  const auto a0 = a;
  ASSERT_EQ(orvika::SPRSRT(4, 5, iv(rows), iv(cols), iv(irp), rv(a)), 0);
  EXPECT_EQ(irp, (std::vector<IWORD>{1, 3, 4, 4, 6}));
  EXPECT_EQ(rows, r0);
  EXPECT_EQ(cols, c0);
  EXPECT_EQ(a, a0);
}

TEST(SpSprsrt, RowOutsideTheOrderIsRefusedUntouched) {
  for (IWORD bad : {IWORD{0}, IWORD{-3}, IWORD{4}}) {
    std::vector<IWORD> rows = {2, 1, bad, 3}, cols = {1, 2, 3, 1}, irp(4, 99);
    std::vector<double> a = {1, 2, 3, 4};
    const auto r0 = rows;
    EXPECT_EQ(orvika::SPRSRT(3, 4, iv(rows), iv(cols), iv(irp), rv(a)), 3);
    EXPECT_EQ(rows, r0);
    EXPECT_EQ(irp, (std::vector<IWORD>(4, 99)));
  }
}

// ---- DCHEKA / DCHEKB / DCHEKC / DCHEKD ----------------------------------------------

// The state the driver hands the checks, with arrays laid out for order NMAX.
struct Checks {
  Csr m;
  IWORD nrhs = 1;
  std::vector<double> b;
  std::vector<IWORD> w40, w41, mark;
  ORVK_SPOPT2_T opt{};
  IWORD ncmax = 0, nadd = 0, ierr = 0;

  Checks(const std::vector<std::vector<IWORD>>& rows, IWORD chkmode, IWORD nmax = -1, IWORD nrhs_ = 1,
         IWORD room = -1)
      : m(Csr::from_rows(rows, room)), nrhs(nrhs_) {
    if (nmax < 0) nmax = m.n;
    m.irp.resize(static_cast<std::size_t>(nmax + 1), 0);
    b.assign(static_cast<std::size_t>(2 * nmax), 0.0);
    for (IWORD i = 1; i <= m.n; ++i) {
      b[i - 1] = static_cast<double>(i);
      if (nrhs >= 2) b[m.n + i - 1] = static_cast<double>(10 + i);
    }
    w40.assign(static_cast<std::size_t>(nmax), 7);
    w41.assign(static_cast<std::size_t>(nmax), 7);
    mark.assign(static_cast<std::size_t>(2 * nmax + 8), 99);  // stale contents
    opt.CHKMODE = chkmode;
  }
  IV irp() { return IV(m.irp.data(), static_cast<IWORD>(m.irp.size())); }
  void a(IWORD unit) {
    orvika::DCHEKA(m.n, m.n, m.nz, unit, irp(), iv(m.ici), iv(mark), rv(m.a), rv(b), nrhs,
                   IV(w40.data(), m.n), IV(w41.data(), m.n), ncmax, nadd, opt, ierr);
  }
};

TEST(SpDcheka, RepeatedIndexMergedWithTwoMessages) {
  Checks c({{2, 1, 2, 2}, {2, 3}, {3}}, 2);
  UnitCapture cap(6);
  c.a(6);
  EXPECT_EQ(c.ierr, 6);
  EXPECT_EQ(c.m.nz, 5);
  EXPECT_EQ(c.m.row(1), (std::vector<IWORD>{2, 1}));
  EXPECT_DOUBLE_EQ(c.m.value(1, 2), 3 * 1.002);
  EXPECT_EQ(c.m.irp[3], 6);
  EXPECT_EQ(cap.lines(), (Lines{"", "      REPEATED COLUMN INDEX      2 IN ROW      1  (DCHEKA)", "",
                                "      REPEATED COLUMN INDEX      2 IN ROW      1  (DCHEKA)"}));
  for (IWORD i = 1; i <= 3; ++i) {
    EXPECT_EQ(c.w40[i - 1], 1);
    EXPECT_EQ(c.w41[i - 1], 1);
  }
}

TEST(SpDcheka, EmptyRowReceivesEmptyColumn) {
  Checks c({{1, 2}, {2, 3}, {}, {1, 4}, {3, 4}}, 2);
  UnitCapture cap(6);
  c.a(6);
  EXPECT_EQ(c.ierr, 5);
  EXPECT_EQ(c.nadd, 0);
  EXPECT_EQ(c.m.row(3), (std::vector<IWORD>{5}));
  EXPECT_EQ(c.m.value(3, 5), 1.0);
  EXPECT_EQ(c.b[2], 0.0);
  EXPECT_EQ(c.w40[2], -5);
  EXPECT_EQ(c.w41[4], -3);
  EXPECT_EQ(cap.lines(), (Lines{"", "      ROW      3 IS EMPTY  (DCHEKA)", "", "      COLUMN      5 IS EMPTY  (DCHEKA)",
                                "", "      EMPTY COLUMN      5 ASSIGNED TO EMPTY ROW      3  (DCHEKA)"}));
}

TEST(SpDcheka, EmptyRowWithoutEmptyColumnFixesItsVariable) {
  Checks c({{1, 2}, {}, {3, 2}}, 2, -1, 2);
  UnitCapture cap(6);
  c.a(6);
  EXPECT_EQ(c.ierr, 4);
  EXPECT_EQ(c.m.row(2), (std::vector<IWORD>{2}));
  EXPECT_EQ(c.m.value(2, 2), 1.0);
  EXPECT_EQ(c.b[1], 0.0);
  EXPECT_EQ(c.b[3 + 1], 0.0);  // second right-hand side of row 2
  EXPECT_EQ(c.b[3 + 0], 11.0);
  EXPECT_EQ(c.w40[1], -4);
  EXPECT_EQ(c.w41[1], -4);
  EXPECT_EQ(cap.lines(), (Lines{"", "      ROW      2 IS EMPTY  (DCHEKA)", "",
                                "      VARIABLE X(     2) IS ARBITRARILY SET TO ZERO  (DCHEKA)"}));
}

TEST(SpDcheka, FatalModeStopsAtTheFirstEmptyRow) {
  Checks c({{1, 2}, {}, {}, {3, 4}}, 1);
  const auto before = c.m.ici;
  UnitCapture cap(6);
  c.a(6);
  EXPECT_EQ(c.ierr, -4);
  EXPECT_EQ(c.m.ici, before);
  EXPECT_EQ(cap.lines(), (Lines{"", "      ROW      2 IS EMPTY  (DCHEKA)"}));
}

// Each case, run on the silent unit 0, a caller's negative unit and a
// positive unit: the repair messages go to any unit but 0, the messages of
// the fatal -1 and -2 only to a positive unit.
struct UnitCase {
  const char* name;
  std::vector<std::vector<IWORD>> rows;
  IWORD chkmode;
  IWORD ierr;
  Lines lines;  // as written on a positive unit
  bool repair;  // the lines are repair messages
};

TEST(SpDcheka, MessagesForEachKindOfUnit) {
  const std::vector<UnitCase> cases = {
      {"empty row and column", {{1, 2}, {2, 3}, {}, {1, 4}, {3, 4}}, 2, 5,
       {"", "      ROW      3 IS EMPTY  (DCHEKA)", "", "      COLUMN      5 IS EMPTY  (DCHEKA)", "",
        "      EMPTY COLUMN      5 ASSIGNED TO EMPTY ROW      3  (DCHEKA)"},
       true},
      {"index above the order", {{1}, {2, 7}, {3}, {4}, {5}}, 2, 3,
       {"", "      COLUMN INDEX      7 GREATER THAN NUMBER OF COLUMNS      5 IN ROW      2  (DCHEKA)"}, true},
      {"index below 1", {{1}, {2, -2}, {3}}, 2, -1,
       {"", "      COLUMN INDEX     -2 LESS THAN 1 IN ROW      2  (DCHEKA)"}, false},
      {"silent mode", {{1, 2}, {2, 3}, {}, {1, 4}, {3, 4}}, 3, 5, {}, true},
  };
  for (const UnitCase& uc : cases) {
    for (IWORD unit : {IWORD{0}, IWORD{-5}, IWORD{6}}) {
      SCOPED_TRACE(std::string(uc.name) + " unit " + std::to_string(unit));
      Checks c(uc.rows, uc.chkmode);
      UnitCapture cap(static_cast<int>(unit));
      c.a(unit);
      EXPECT_EQ(c.ierr, uc.ierr);
      const bool shown = unit > 0 || (unit < 0 && uc.repair);
      EXPECT_EQ(cap.lines(), shown ? uc.lines : Lines{});
    }
  }
}

TEST(SpDcheka, DecreasingRowPointerIsFatalOnPositiveUnitOnly) {
  for (IWORD unit : {IWORD{0}, IWORD{-5}, IWORD{6}}) {
    Checks c({{1, 2}, {2}, {3}}, 2);
    c.m.irp = {1, 3, 2, 5};
    c.m.nz = 4;
    UnitCapture cap(static_cast<int>(unit));
    c.a(unit);
    EXPECT_EQ(c.ierr, -2);
    const Lines want = unit > 0 ? Lines{"", "      ROW     2 HAS    -1 NONZEROS  (DCHEKA)"} : Lines{};
    EXPECT_EQ(cap.lines(), want);
  }
}

TEST(SpDcheka, RowPointerBeyondTheEntriesIsRefused) {
  Checks c({{1, 2}, {2}, {3}}, 2);
  c.m.irp = {1, 40, 41, 5};  // row 1 would reach far past NZ
  c.a(0);
  EXPECT_EQ(c.ierr, -2);
}

// Marks are indexed by column numbers above the order: stale marks must not
// be read as an earlier occurrence, and an index beyond the marks' room is
// refused rather than written past them.
TEST(SpDcheka, MarksCoverColumnsAboveTheOrder) {
  Checks c({{1}, {2, 7}, {3, 7}, {4}, {5}}, 3);
  c.a(0);
  EXPECT_EQ(c.ierr, 3);
  EXPECT_EQ(c.ncmax, 7);
  EXPECT_EQ(c.m.nz, 7);  // nothing merged

  Checks d({{1}, {2, 1000}, {3}}, 2);
  UnitCapture cap(6);
  d.a(6);
  EXPECT_EQ(d.ierr, -3);
  EXPECT_EQ(cap.lines(),
            (Lines{"", "      COLUMN INDEX   1000 GREATER THAN NUMBER OF COLUMNS      3 IN ROW      2  (DCHEKA)"}));
}

TEST(SpDcheka, RepairWithoutRoomFailsWithNoRoomCode) {
  Checks c({{1, 2}, {2, 3}, {}, {1, 4}, {3, 4}}, 3, -1, 1, /*room*/ 8);
  c.a(0);
  EXPECT_EQ(c.ierr, orvika::kSpNoRoom);
  EXPECT_EQ(c.m.nz, 8);
}

// Widening: a column index 7 in a 5-row matrix; the arrays are laid out for
// order 7 and DCHEKB adds rows 6 and 7.  The second right-hand side moves to
// its new offset.
TEST(SpDchekb, WideningAddsRowsAndMovesTheSecondRightHandSide) {
  Checks c({{1}, {2, 7}, {3}, {4}, {5}}, 2, 7, 2);
  UnitCapture cap(6);
  c.a(6);
  ASSERT_EQ(c.ierr, 3);
  ASSERT_EQ(c.ncmax, 7);
  cap.clear();
  c.w40.assign(7, 0);
  for (IWORD i = 0; i < 5; ++i) c.w40[i] = 1;
  orvika::DCHEKB(5, 7, c.m.nz, 6, c.irp(), iv(c.m.ici), iv(c.mark), rv(c.m.a), rv(c.b), 2, iv(c.w40),
                 iv(c.w41), c.nadd, c.opt, c.ierr);
  EXPECT_EQ(c.ierr, 5);
  EXPECT_EQ(c.nadd, 0);
  EXPECT_EQ(c.m.row(6), (std::vector<IWORD>{6}));
  EXPECT_EQ(c.m.row(7), (std::vector<IWORD>{7}));
  EXPECT_EQ(c.m.irp[7], c.m.nz + 1);
  EXPECT_EQ(c.w40[5], -6);
  EXPECT_EQ(c.w41[5], -6);
  EXPECT_EQ(c.w40[6], -7);
  EXPECT_EQ(c.w41[6], -14);
  EXPECT_EQ(c.b, (std::vector<double>{1, 2, 3, 4, 5, 0, 0, 11, 12, 13, 14, 15, 0, 0}));
  EXPECT_EQ(cap.lines(), (Lines{"", "      COLUMN      6 IS EMPTY  (DCHEKB)", "",
                                "      EMPTY COLUMN      6 ASSIGNED TO EMPTY ROW      6  (DCHEKB)", "",
                                "      VARIABLE X(     7) IS ARBITRARILY SET TO ZERO  (DCHEKB)"}));
}

TEST(SpDchekc, ExtraRowForEmptyColumnsAndSecondRightHandSide) {
  for (IWORD chk : {2, 3}) {
    Checks c({{1, 2}, {2, 3}, {3, 1}, {1, 2, 3}}, chk, 5, 2);
    c.a(0);
    ASSERT_EQ(c.ierr, 5);
    ASSERT_EQ(c.nadd, 1);
    ASSERT_EQ(c.w41[3], 0);
    UnitCapture cap(6);
    orvika::DCHEKC(5, c.m.nz, 6, c.irp(), iv(c.m.ici), rv(c.m.a), rv(c.b), 2, iv(c.w40), iv(c.w41), c.opt,
                   c.ierr);
    EXPECT_EQ(c.ierr, 5);
    EXPECT_EQ(c.m.row(5), (std::vector<IWORD>{4, 5}));
    EXPECT_EQ(c.m.value(5, 4), 1.0);
    EXPECT_EQ(c.w41[3], -6);
    EXPECT_EQ(c.w41[4], -6);
    EXPECT_EQ(c.w40[4], -2);
    EXPECT_EQ(c.b, (std::vector<double>{1, 2, 3, 4, 0, 11, 12, 13, 14, 0}));
    if (chk == 2)
      EXPECT_EQ(cap.lines(), (Lines{"", "      VARIABLE X(     4) SHOULD BE VERY SMALL  (DCHEKC)", "",
                                    "      VARIABLE X(     5) SHOULD BE VERY SMALL  (DCHEKC)"}));
    else
      EXPECT_TRUE(cap.lines().empty());
  }
}

TEST(SpDchekd, MergesRepeatedIndicesAndRefusesBadIndices) {
  {
    Checks c({{1, 3, 1}, {2}, {3, 3}}, 2);
    UnitCapture cap(-5);
    orvika::DCHEKD(3, 3, c.m.nz, -5, c.irp(), iv(c.m.ici), iv(c.mark), rv(c.m.a), c.opt, c.ierr);
    EXPECT_EQ(c.ierr, 6);
    EXPECT_EQ(c.m.nz, 4);
    EXPECT_EQ(c.m.row(1), (std::vector<IWORD>{1, 3}));
    EXPECT_EQ(c.m.row(3), (std::vector<IWORD>{3}));
    EXPECT_DOUBLE_EQ(c.m.value(3, 3), 2 * 3.003);
    EXPECT_EQ(cap.lines(), (Lines{"", "      REPEATED COLUMN INDEX      1 IN ROW      1  (DCHEKD)", "",
                                  "      REPEATED COLUMN INDEX      3 IN ROW      3  (DCHEKD)"}));
  }
  {
    Checks c({{1, 3, 1}, {2}, {3}}, 1);
    orvika::DCHEKD(3, 3, c.m.nz, 0, c.irp(), iv(c.m.ici), iv(c.mark), rv(c.m.a), c.opt, c.ierr);
    EXPECT_EQ(c.ierr, -6);
  }
  for (auto [col, code] : {std::pair<IWORD, IWORD>{0, -1}, {4, -3}, {100000, -3}}) {
    Checks c({{1}, {2, col}, {3}}, 2);
    orvika::DCHEKD(3, 3, c.m.nz, 0, c.irp(), iv(c.m.ici), iv(c.mark), rv(c.m.a), c.opt, c.ierr);
    EXPECT_EQ(c.ierr, code) << col;
  }
}

// Repeated entries in many rows, and a check that fails part-way: the rows
// before the failing one lose their repeats (each summed into its first
// entry), the failing row keeps the merges made before its bad entry, the
// rows after it are untouched, and the whole matrix stays packed from
// position 1 with pointers and count to match.
TEST(SpDchekd, RepeatsInEveryRowAndAFailurePartWayLeaveAPackedMatrix) {
  const IWORD n = 40;
  for (const IWORD fail_row : {IWORD{0}, IWORD{1}, IWORD{23}, n}) {
    SCOPED_TRACE(fail_row);
    std::mt19937_64 rng(static_cast<std::uint64_t>(97 + fail_row));
    std::vector<std::vector<IWORD>> rows(n);
    for (IWORD i = 1; i <= n; ++i) {
      rows[i - 1].push_back(i);
      const int extra = 1 + static_cast<int>(rng() % 6);
      for (int k = 0; k < extra; ++k) rows[i - 1].push_back(1 + static_cast<IWORD>(rng() % 5));
      rows[i - 1].push_back(i);  // every row repeats its diagonal
      if (i == fail_row) rows[i - 1].insert(rows[i - 1].begin() + 3, 0);  // column below 1
    }
    Checks c(rows, 2);
    const Csr in = c.m;
    // Expected rows: (column, value) lists.
    std::vector<std::vector<std::pair<IWORD, double>>> want(n);
    for (IWORD i = 1; i <= n; ++i) {
      auto& w = want[i - 1];
      bool stop = false;
      for (IWORD k = in.irp[i - 1]; k < in.irp[i]; ++k) {
        const IWORD j = in.ici[k - 1];
        const double v = in.a[k - 1];
        if (fail_row != 0 && i > fail_row) stop = true;
        if (j == 0) stop = true;
        if (stop) {
          w.emplace_back(j, v);
          continue;
        }
        auto it = std::find_if(w.begin(), w.end(), [&](const auto& e) { return e.first == j; });
        if (it == w.end()) {
          w.emplace_back(j, v);
        } else {
          it->second += v;
          if (i == fail_row) w.emplace_back(0, v);  // merged, not yet removed
        }
      }
    }
    orvika::DCHEKD(n, n, c.m.nz, 0, c.irp(), iv(c.m.ici), iv(c.mark), rv(c.m.a), c.opt, c.ierr);
    EXPECT_EQ(c.ierr, fail_row != 0 ? -1 : 6);
    IWORD total = 0;
    for (IWORD i = 1; i <= n; ++i) {
      ASSERT_EQ(c.m.irp[i - 1], total + 1) << i;
      const auto& w = want[i - 1];
      ASSERT_EQ(c.m.irp[i] - c.m.irp[i - 1], static_cast<IWORD>(w.size())) << i;
      for (std::size_t e = 0; e < w.size(); ++e) {
        const IWORD k = c.m.irp[i - 1] + static_cast<IWORD>(e);
        EXPECT_EQ(c.m.ici[k - 1], w[e].first) << i << " " << e;
        EXPECT_EQ(c.m.a[k - 1], w[e].second) << i << " " << e;
      }
      total += static_cast<IWORD>(w.size());
    }
    EXPECT_EQ(c.m.nz, total);
    EXPECT_EQ(c.m.irp[n], total + 1);
  }
}

TEST(SpMessages, RatioOtherThanOneIsRefused) {
  EXPECT_EQ(orvika::sp_check_i4fac(1, 6), 0);
  UnitCapture cap(6);
  EXPECT_EQ(orvika::sp_check_i4fac(2, 6), orvika::kSpBadI4fac);
  EXPECT_EQ(cap.lines(), (Lines{"", "      I4FAC =      2 IS NOT SUPPORTED", "      PROPER VALUE: I4FAC=1",
                                "      PROGRAM EXECUTION TERMINATED  (CONTRL)"}));
  cap.clear();
  orvika::sp_stage_failed(6, "TALLY");
  orvika::sp_stage_failed(-6, "TALLY");
  EXPECT_EQ(cap.lines(), (Lines{"", "      PROGRAM EXECUTION TERMINATED  (TALLY)"}));
}

}  // namespace
