// ORVK_MA28BD: re-factorisation on the analysed pattern, its checks and
// records, the pivot-ratio report and the value placement SCATLU.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "ma28/ma28.hpp"
#include "ma28/ma28_test_util.hpp"
#include "support/capture.hpp"

namespace {

using namespace ma28test;
using orvika_test::UnitCapture;

const std::string kOverB = "+ERROR RETURN FROM MA28B/BD BECAUSE ";

// The records of a zero pivot met in ROW (I8) during re-factorisation.
Lines singular_at(const std::string& row) {
  return {" ERROR RETURN FROM MA30B/BD SINGULARITY DETECTED IN ROW " + row,
          kB36 + "ERROR RETURN FROM MA30B/BD", kOverB};
}

Triplets with_values(const Triplets& a, std::uint64_t seed) {
  Triplets b = a;
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.5, 1.5);
  for (auto& v : b.val) v *= u(rng);
  return b;
}

TEST(Ma28Bd, SameValuesReproduceTheAnalysedFactorsExactly) {
  for (bool btf : {true, false}) {
    for (IWORD n : {1, 3, 20, 100}) {
      reset_blocks();
      ORVK_MA28ED.USEBTF = btf ? ORVK_TRUE : ORVK_FALSE;
      const Triplets a = random_sparse(n, 3, 31 * n + btf, n % 2 == 0);
      Solver s;
      ASSERT_GE(s.analyse(a, 30 * a.nz(), 30 * a.nz(), 0.5), 0);
      const IWORD l1 = ORVK_MA28GD.LUFRST, l2 = ORVK_MA28GD.LULAST;
      const std::vector<double> fact(s.entval.begin(), s.entval.begin() + l2);
      const std::vector<IDX16> cols(s.colnum.begin(), s.colnum.begin() + l2);
      const double grow = s.rwork[0];
      ASSERT_GE(s.refactor(a), 0) << n;
      EXPECT_EQ(ORVK_MA28GD.LUFRST, l1);
      EXPECT_EQ(ORVK_MA28GD.LULAST, l2);
      // Factor rows: identical place by place.
      for (IWORD p = l1 - 1; p < l2; ++p) {
        EXPECT_EQ(s.colnum[p], cols[p]) << "n=" << n << " p=" << p;
        EXPECT_EQ(s.entval[p], fact[p]) << "n=" << n << " p=" << p;
      }
      // Off-diagonal part: the same entries per pivot row, in any order.
      IWORD q = 0;
      for (IWORD k = 0; k < n && l1 > 1; ++k) {
        const IWORD len = s.part(5)[k];
        std::vector<std::pair<IDX16, double>> x, y;
        for (IWORD t = q; t < q + len; ++t) {
          x.push_back({s.colnum[t], s.entval[t]});
          y.push_back({cols[t], fact[t]});
        }
        std::sort(x.begin(), x.end());
        std::sort(y.begin(), y.end());
        EXPECT_EQ(x, y) << "n=" << n << " row " << k + 1;
        q += len;
      }
      EXPECT_EQ(q, l1 - 1);
      EXPECT_EQ(s.rwork[0], grow);
    }
  }
}

TEST(Ma28Bd, NewValuesOnThePatternSolve) {
  for (bool btf : {true, false}) {
    for (IWORD n : {2, 7, 40, 150}) {
      reset_blocks();
      ORVK_MA28ED.USEBTF = btf ? ORVK_TRUE : ORVK_FALSE;
      const Triplets a = random_sparse(n, 2, 77 * n, true);
      Solver s;
      ASSERT_EQ(s.analyse(a, 30 * a.nz(), 30 * a.nz(), 0.5), 0);
      for (int rep = 0; rep < 3; ++rep) {
        Triplets b = with_values(a, 1000 * n + rep);
        // Given in another order: the placement must not depend on it.
        std::reverse(b.row.begin(), b.row.end());
        std::reverse(b.col.begin(), b.col.end());
        std::reverse(b.val.begin(), b.val.end());
        const IWORD st = s.refactor(b);
        ASSERT_GE(st, 0) << n;
        expect_solves(s, b, "n=" + std::to_string(n) + " rep=" + std::to_string(rep));
      }
    }
  }
}

TEST(Ma28Bd, EntryAtAFillPositionIsAccepted) {
  reset_blocks();
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  // A cycle with diagonal: the first pivot (1,1) fills (3,2).
  const Triplets a =
      make_triplets(3, {{1, 1, 4.0}, {1, 2, 1.0}, {2, 2, 4.0}, {2, 3, 1.0}, {3, 3, 4.0}, {3, 1, 1.0}});
  Solver s;
  ASSERT_EQ(s.analyse(a, 40, 40, 0.1), 0);
  EXPECT_EQ(ORVK_MA28GD.LULAST - ORVK_MA28GD.LUFRST + 1, a.nz() + 1);  // one fill
  Triplets b = a;
  b.add(3, 2, 0.7);
  const IWORD st = s.refactor(b);
  ASSERT_GE(st, 0);
  expect_solves(s, b, "fill places");
}

TEST(Ma28Bd, ArgumentErrorsWriteTwoRecords) {
  reset_blocks();
  const Triplets a = random_sparse(4, 1, 5, true);
  Solver s;
  ASSERT_EQ(s.analyse(a, 40, 40), 0);
  struct Row {
    IWORD n, nz, licn, istat;
    std::string detail;
  };
  const std::vector<Row> rows = {
      {0, 4, 40, -11, "N OUT OF RANGE =          0"},
      {40000, 4, 40, -11, "N OUT OF RANGE =      40000"},
      {4, 0, 40, -10, "NZ NON POSITIVE =          0"},
      {4, 5, 4, -9, "LICN TOO SMALL =          4"},
      // LICN shorter than the stored factors of the analysis.
      {4, 4, ORVK_MA28GD.LULAST - 1, -9,
       "LICN TOO SMALL = " + std::string(10 - std::to_string(ORVK_MA28GD.LULAST - 1).size(), ' ') +
           std::to_string(ORVK_MA28GD.LULAST - 1)},
  };
  for (const auto& r : rows) {
    UnitCapture cap(6);
    std::vector<double> v(s.entval);
    std::vector<IDX16> nr(10, 1), nc(10, 1), cn(s.colnum), w(11 * 40000);
    std::vector<double> rw(40000);
    IWORD n = r.n, nz = r.nz, licn = r.licn, st = 0;
    ORVK_MA28BD(&n, &nz, v.data(), &licn, nr.data(), nc.data(), cn.data(), s.lukeep.data(),
                w.data(), rw.data(), &st);
    EXPECT_EQ(st, r.istat) << r.detail;
    EXPECT_EQ(cap.lines(), (Lines{kB36 + r.detail, kOverB})) << r.detail;
  }
}

// Factor positions that no analysis leaves are reported as such, not as a
// short LICN; LICN below the last factor position still is -9.
TEST(Ma28Bd, InconsistentFactorPositions) {
  reset_blocks();
  const Triplets a = random_sparse(4, 1, 5, true);
  Solver s;
  ASSERT_EQ(s.analyse(a, 40, 40), 0);
  const IWORD lufrst = ORVK_MA28GD.LUFRST, lulast = ORVK_MA28GD.LULAST;
  auto i10 = [](IWORD v) {
    const std::string t = std::to_string(v);
    return std::string(10 - t.size(), ' ') + t;
  };
  struct Row {
    const char* name;
    IWORD lufrst, lulast;
  };
  const std::vector<Row> rows = {
      {"never analysed", 0, 0},
      {"first position negative", -5, lulast},
      {"last before first", lufrst, lufrst - 2},
  };
  for (const Row& r : rows) {
    ORVK_MA28GD.LUFRST = r.lufrst;
    ORVK_MA28GD.LULAST = r.lulast;
    UnitCapture cap(6);
    EXPECT_EQ(s.refactor(a), -16) << r.name;
    EXPECT_EQ(cap.lines(),
              (Lines{kB36 + "FACTOR POSITIONS INCONSISTENT, LUFRST = " + i10(r.lufrst) +
                         " LULAST = " + i10(r.lulast),
                     kOverB}))
        << r.name;
  }
  ORVK_MA28GD.LUFRST = lufrst;
  ORVK_MA28GD.LULAST = lulast;
  EXPECT_GE(s.refactor(a), 0);
}

TEST(Ma28Bd, NonFiniteValuesAreRefused) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  reset_blocks();
  const Triplets a = random_sparse(5, 2, 11, true);
  Solver s;
  ASSERT_EQ(s.analyse(a, 80, 80), 0);
  for (double bad : {kNaN, kInf, -kInf})
    for (std::size_t k : {std::size_t{0}, a.val.size() - 1}) {
      Triplets b = a;
      b.val[k] = bad;
      UnitCapture cap(6);
      EXPECT_EQ(s.refactor(b), -15) << bad << " at " << k;
      const std::string ri = std::to_string(b.row[k]), ci = std::to_string(b.col[k]);
      EXPECT_EQ(cap.lines(),
                (Lines{kB36 + "ELEMENT " + std::string(6 - ri.size(), ' ') + ri + " ," +
                           std::string(6 - ci.size(), ' ') + ci + " IS NOT FINITE",
                       kOverB}))
          << bad << " at " << k;
    }
  // The analysed factors are untouched by the refusals.
  EXPECT_GE(s.refactor(a), 0);
  const auto xt = test_x(a.n);
  const auto x = s.solve(a.mul(xt));
  EXPECT_LT(scaled_residual(a, x, a.mul(xt)), 30.0);
}

// Repeated finite new values whose sum overflows are refused, after the
// warning of the repeat, as a value that is not finite (here in a factor
// row without multipliers, whose values no elimination would test); good
// values factorise afterwards.
TEST(Ma28Bd, RepeatedValuesSummingBeyondTheRangeAreRefused) {
  for (double big : {1e308, -1e308}) {
    reset_blocks();
    ORVK_MA28ED.USEBTF = ORVK_FALSE;
    const Triplets a = make_triplets(2, {{1, 1, 2.0}, {1, 2, 1.0}, {2, 2, 4.0}});
    Solver s;
    ASSERT_EQ(s.analyse(a, 40, 40), 0);
    const Triplets b = make_triplets(2, {{1, 1, 2.0}, {1, 2, big}, {2, 2, 4.0}, {1, 2, big}});
    UnitCapture cap(6);
    EXPECT_EQ(s.refactor(b), -15) << big;
    EXPECT_EQ(cap.lines(),
              (Lines{big > 0 ? " DUPLICATE ELEMENT IN POSITION        1 ,       2 WITH VALUE "
                               "  1.00000000000000+308"
                             : " DUPLICATE ELEMENT IN POSITION        1 ,       2 WITH VALUE "
                               " -1.00000000000000+308",
                     kB36 + "ELEMENT      1 ,     2 IS NOT FINITE", kOverB}))
        << big;
    EXPECT_EQ(s.refactor(a), 0);
    EXPECT_EQ(s.solve({4.0, 8.0}), (std::vector<double>{1.0, 2.0}));
  }
}

TEST(Ma28Bd, IndicesOutOfRange) {
  reset_blocks();
  const Triplets a = random_sparse(3, 1, 9, true);
  Solver s;
  ASSERT_EQ(s.analyse(a, 40, 40), 0);
  Triplets b = a;
  b.row[1] = 7;
  UnitCapture cap(6);
  EXPECT_EQ(s.refactor(b), -12);
  ASSERT_EQ(cap.lines().size(), 2u);
  EXPECT_EQ(cap.lines()[0], " ERROR RETURN FROM MA28B/BD BECAUSE INDICES FOUND OUT OF RANGE");
  EXPECT_EQ(cap.lines()[1].substr(0, 29), "      2TH ELEMENT WITH VALUE ");
  EXPECT_EQ(cap.lines()[1].substr(51),
            " IS OUT OF RANGE WITH INDICES        7 ," + std::string(7, ' ') +
                std::to_string(b.col[1]));
}

Triplets lower3() {
  Triplets a;  // three blocks of order 1, pivot order 1, 2, 3
  a.n = 3;
  for (IWORD i = 1; i <= 3; ++i)
    for (IWORD j = 1; j <= i; ++j) a.add(i, j, i == j ? 2.0 : 1.0);
  return a;
}

TEST(Ma28Bd, EntriesOutsideTheStructure) {
  reset_blocks();
  const Triplets a = lower3();
  struct Case {
    const char* name;
    Triplets b;
    std::string detail;
  };
  std::vector<Case> cases;
  {
    Triplets b = a;
    b.add(1, 3, 1.0);
    cases.push_back({"upper zero block", b, "NON-ZERO      1 ,     3 IN ZERO OFF-DIAGONAL BLOCK"});
  }
  {
    Triplets b;
    b.n = 3;
    for (std::size_t k = 0; k < a.val.size(); ++k)
      if (!(a.row[k] == 3 && a.col[k] == 2)) b.add(a.row[k], a.col[k], a.val[k]);
    cases.push_back({"missing off-diagonal entry", b,
                     "WRONG NUMBER OF NON-ZEROS IN OFF-DIAGONAL PART OF ROW      3"});
  }
  for (const auto& c : cases) {
    Solver s;
    ASSERT_EQ(s.analyse(a, 40, 40), 0);
    UnitCapture cap(6);
    EXPECT_EQ(s.refactor(c.b), -13) << c.name;
    EXPECT_EQ(cap.lines(), (Lines{kB36 + c.detail, kOverB})) << c.name;
  }
  // Outside the factor pattern of a diagonal block: a nonzero fails, a zero
  // passes unnoticed.
  reset_blocks();
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  const Triplets d = make_triplets(3, {{1, 1, 2.0}, {2, 2, 3.0}, {3, 3, 4.0}, {1, 2, 0.5}});
  Solver s;
  ASSERT_EQ(s.analyse(d, 40, 40), 0);
  Triplets e = d;
  e.add(3, 1, 0.25);
  {
    UnitCapture cap(6);
    EXPECT_EQ(s.refactor(e), -13);
    EXPECT_EQ(cap.lines(),
              (Lines{kB36 + "ELEMENT      3 ,     1 WAS ZERO AFTER MA28A/AD", kOverB}));
  }
  Triplets z = d;
  z.add(3, 1, 0.0);
  UnitCapture cap(6);
  EXPECT_EQ(s.refactor(z), 0);
  EXPECT_TRUE(cap.lines().empty());
  expect_solves(s, d, "zero outside the pattern");
}

TEST(Ma28Bd, RepeatedEntriesAreSummedAndNeverOverwritten) {
  reset_blocks();
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  Triplets d;  // row 1 holds one entry and is pivoted first
  d.n = 4;
  d.add(1, 1, 3.0);
  for (IWORD i = 2; i <= 4; ++i) {
    d.add(i, i, 2.0 + i);
    d.add(i, 1, 1.0);
  }
  Solver s;
  ASSERT_EQ(s.analyse(d, 40, 40), 0);
  ASSERT_EQ(s.part(2)[0], 1);
  // Row 1's value given in pieces: the sorted row 1 is longer than its
  // factor row and reaches into the places of the rows gathered before it.
  const Triplets b = make_triplets(4, {{1, 1, 1.0}, {1, 1, 1.5}, {1, 1, 0.5}, {2, 1, 0.25}, {2, 1, 0.75},
                             {2, 2, 4.0}, {3, 3, 5.0}, {4, 4, 6.0}, {3, 1, 1.0}, {4, 1, 1.0}});
  {
    UnitCapture cap(6);
    EXPECT_EQ(s.refactor(b), -14);
    // Which of the repeats counts as the first depends on the sort.
    ASSERT_EQ(cap.lines().size(), 3u);
    int row1 = 0, row2 = 0;
    for (const auto& l : cap.lines()) {
      if (l.rfind(" DUPLICATE ELEMENT IN POSITION        1 ,       1 WITH VALUE   ", 0) == 0) ++row1;
      if (l.rfind(" DUPLICATE ELEMENT IN POSITION        2 ,       1 WITH VALUE   ", 0) == 0) ++row2;
    }
    EXPECT_EQ(row1, 2);
    EXPECT_EQ(row2, 1);
  }
  expect_solves(s, d, "sums equal the analysed matrix");
  // A repeat whose earlier partial sum is 0.0 is summed without a warning.
  Triplets c = d;
  c.val[0] = 0.0;
  c.add(1, 1, 3.0);
  UnitCapture cap(6);
  EXPECT_EQ(s.refactor(c), 0);
  EXPECT_TRUE(cap.lines().empty());
  expect_solves(s, d, "zero first");
  // A zero entry outside the pattern takes no place either.
  Triplets z = d;
  z.add(1, 3, 0.0);
  z.add(1, 4, 0.0);
  EXPECT_EQ(s.refactor(z), 0);
  expect_solves(s, d, "zeros outside");
}

TEST(Ma28Bd, ZeroPivotAndSingularParts) {
  reset_blocks();
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  const Triplets a = make_triplets(2, {{1, 1, 2.0}, {1, 2, 1.0}, {2, 1, 1.0}, {2, 2, 3.0}});
  Solver s;
  ASSERT_EQ(s.analyse(a, 20, 20, 0.0), 0);
  Triplets b = a;  // second pivot becomes 2 - 1*1/... exactly 0: 2*0.5 - 1*1
  b.val = {2.0, 1.0, 1.0, 0.5};
  UnitCapture cap(6);
  EXPECT_EQ(s.refactor(b), -2);
  EXPECT_EQ(cap.lines(), singular_at("      2"));
}

// Finite new values whose elimination overflows leave no usable factor: a
// multiplier 1e300/1e-300, a pivot 1 - inf, or an overflow that lands off the
// pivot (row 2 of the 3x3 case) and would spoil every later solve.  Each is
// the failure of its row, as a zero pivot is, never a success with factors
// that are not numbers.
TEST(Ma28Bd, OverflowInTheEliminationIsAFailure) {
  struct Case {
    const char* what;
    Triplets a, b;
    const char* row;
  } cases[] = {
      {"pivot overflows", make_triplets(2, {{1, 1, 2.0}, {1, 2, 1.0}, {2, 1, 1.0}, {2, 2, 2.0}}),
       make_triplets(2, {{1, 1, 1e-300}, {1, 2, 1e300}, {2, 1, 1e300}, {2, 2, 1.0}}), "      2"},
      {"off-pivot value overflows",
       make_triplets(3, {{1, 1, 4.0}, {1, 3, 1.0}, {2, 1, 1.0}, {2, 2, 4.0}, {2, 3, 1.0},
                         {3, 2, 1.0}, {3, 3, 4.0}, {3, 1, 1.0}}),
       make_triplets(3, {{1, 1, 1e-300}, {1, 3, 1e300}, {2, 1, 1.0}, {2, 2, 4.0}, {2, 3, 1.0},
                         {3, 2, 1.0}, {3, 3, 4.0}, {3, 1, 1.0}}),
       "      2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset_blocks();
    ORVK_MA28ED.USEBTF = ORVK_FALSE;
    Solver s;
    ASSERT_EQ(s.analyse(c.a, 40, 40, 0.0), 0);
    UnitCapture cap(6);
    EXPECT_EQ(s.refactor(c.b), -2);
    EXPECT_EQ(cap.lines(), singular_at(c.row));
    // The analysed values factorise again afterwards.
    EXPECT_GE(s.refactor(c.a), 0);
    const auto xt = test_x(c.a.n);
    EXPECT_LT(scaled_residual(c.a, s.solve(c.a.mul(xt)), c.a.mul(xt)), 30.0);
  }
}

TEST(Ma28Bd, OrderOneZeroPivotIsAFailure) {
  reset_blocks();
  const Triplets a = make_triplets(1, {{1, 1, 5.0}});
  Solver s;
  ASSERT_EQ(s.analyse(a, 4, 4), 0);
  Triplets z = a;
  z.val[0] = 0.0;
  UnitCapture cap(6);
  EXPECT_EQ(s.refactor(z), -2);
  EXPECT_EQ(cap.lines(), singular_at("      1"));
  Triplets b = a;
  b.val[0] = -4.0;
  EXPECT_EQ(s.refactor(b), 0);
  EXPECT_EQ(s.solve({2.0})[0], -0.5);
}

TEST(Ma28Bd, SmallPivotRatio) {
  ORVK_MA28ED_T ed{};
  const Triplets a = make_triplets(2, {{1, 1, 1.0}, {1, 2, 1.0}, {2, 1, 1.0}, {2, 2, 2.0}});
  struct Case {
    double smlpiv;
    IWORD istat;
    double minpiv;
  };
  // Pivots of the new values (1e-6, 1; 1, 2): row 1 ratio 1e-6 / 1.
  const std::vector<Case> cases = {{1e-4, 1, 1e-6}, {0.0, 0, 0.0}, {2.0, 0, 2.0}, {1e-8, 0, 1e-8}};
  for (const auto& c : cases) {
    reset_blocks();
    ORVK_MA28ED.USEBTF = ORVK_FALSE;
    (void)ed;
    Solver s;
    ASSERT_EQ(s.analyse(a, 20, 20, 0.0), 0);
    ORVK_MA28FD.SMLPIV = c.smlpiv;
    Triplets b = a;
    b.val[0] = 1e-6;
    EXPECT_EQ(s.refactor(b), c.istat) << c.smlpiv;
    EXPECT_EQ(ORVK_MA28FD.MINPIV, c.minpiv) << c.smlpiv;
    EXPECT_EQ(ORVK_MA30GD.SMLPIV, c.smlpiv);
  }
}

TEST(Ma28Bd, StructurallySingularPatternNeedsZerosInItsSingularPart) {
  reset_blocks();
  ORVK_MA28FD.STPSTR = ORVK_FALSE;
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  const Triplets a = rank_two();
  Solver s;
  ASSERT_EQ(s.analyse(a, 30, 30), 1);
  Triplets b = with_values(a, 3);
  const IWORD st = s.refactor(b);
  EXPECT_TRUE(st == -2 || st >= 0);
  // The values of the analysis always fit.
  EXPECT_GE(s.refactor(a), 0);
  const auto x = s.solve({3.0, 3.0, 5.0});
  EXPECT_NEAR(x[0], 1.0, 1e-14);
  EXPECT_NEAR(x[1], 1.0, 1e-14);
  EXPECT_EQ(x[2], 0.0);
}

TEST(Ma28Bd, ScatluPlacesValuesAndMarksRepeats) {
  reset_blocks();
  ORVK_MA28ED.USEBTF = ORVK_FALSE;
  ORVK_MA28ED.WRNUNT = 0;
  const Triplets d = make_triplets(3, {{1, 1, 2.0}, {2, 2, 3.0}, {3, 3, 4.0}, {2, 3, 0.5}});
  Solver s;
  ASSERT_EQ(s.analyse(d, 30, 30), 0);
  Triplets b = d;
  b.add(2, 2, 1.0);
  std::vector<IDX16> r = idx16(b.row), c = idx16(b.col), w16(3 * 3);
  std::vector<IWORD> w64(2 * 3);
  std::copy(b.val.begin(), b.val.end(), s.entval.begin());
  std::vector<double> rw(3);
  IWORD st = 0;
  orvika::SCATLU(3, s.entval.data(), 30, r.data(), c.data(), b.nz(), s.colnum.data(), s.part(1),
                 s.part(5), s.part(2), s.part(3), w16.data(), pos_words(w64),
                 rw.data(), st);
  EXPECT_EQ(st, 4);  // N + 1: repeated entries
  EXPECT_EQ(rw[0], 4.0);
  // The factor rows now hold the new matrix entries (before elimination).
  double sum = 0.0;
  for (IWORD p = ORVK_MA28GD.LUFRST; p <= ORVK_MA28GD.LULAST; ++p) sum += s.entval[p - 1];
  EXPECT_EQ(sum, 2.0 + 4.0 + 4.0 + 0.5);
}

}  // namespace

namespace {

using namespace ma28test;

// A failed analysis leaves row lengths in LUKEEP that do not fill the factor
// positions of ORVK_MA28GD: the re-factorisation refuses them (-16) instead
// of gathering rows from before the start of ENTVAL, the solve leaves the
// right-hand side alone (SOLRES -1.0), in both modes; a new successful
// analysis makes both usable again.
TEST(Ma28Bd, AfterAFailedAnalysisNothingIsGatheredOrSolved) {
  const Triplets a = random_sparse(30, 6, 41, true);
  struct Case {
    const char* name;
    IWORD licn, lirn;
    bool stpspc;
    IWORD want;
  };
  const IWORD nz = a.nz();
  const std::vector<Case> cases = {
      {"LICN too small after giving up the factors", nz, 20 * nz, true, -5},
      {"LICN too small even after giving up the factors", nz, 20 * nz, false, -4},
      {"LIRN too small", 20 * nz, nz, false, -3},
  };
  for (const Case& c : cases) {
    reset_blocks();
    ORVK_MA28ED.ERRUNT = 0;
    ORVK_MA28ED.USEBTF = ORVK_FALSE;
    ORVK_MA30ED.STPSPC = c.stpspc ? ORVK_TRUE : ORVK_FALSE;
    Solver s;
    ASSERT_EQ(s.analyse(a, c.licn, c.lirn), c.want) << c.name;
    EXPECT_EQ(s.refactor(a), -16) << c.name;
    for (IWORD mode : {1, 2}) {
      const std::vector<double> b(a.n, 1.0);
      EXPECT_EQ(s.solve(b, mode), b) << c.name << " mode " << mode;
      EXPECT_EQ(ORVK_MA28FD.SOLRES, -1.0) << c.name << " mode " << mode;
    }
    ASSERT_EQ(s.analyse(a, 20 * nz, 20 * nz), 0) << c.name;
    EXPECT_EQ(s.refactor(a), 0) << c.name;
    expect_solves(s, a, c.name);
  }
}

}  // namespace
