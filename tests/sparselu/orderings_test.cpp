// The orderings: transversal and block triangularisation (TRANSV, BLTARJ,
// BLOCK), the spike orderings of TALLY (options 1-4) and P4 (option 5),
// checked on named patterns and on random ones against an independent
// matching and strong-component reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sparselu/sp_test_util.hpp"
#include "support/capture.hpp"
#include "support/mtx.hpp"

namespace {

using namespace sptest;
using orvika_test::UnitCapture;
using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<IWORD>>;

// ---- independent reference: Kuhn matching and recursive Tarjan ----------------------

struct Reference {
  IWORD rank = 0;
  std::vector<IWORD> block_sizes;  // sorted
  std::vector<IWORD> comp;         // strong component of each column (1-based)
};

Reference reference(const Rows& rows) {
  const IWORD n = static_cast<IWORD>(rows.size());
  std::vector<IWORD> mcol(n + 1, 0), mrow(n + 1, 0);  // column -> row, row -> column
  std::vector<int> seen(n + 1, 0);
  int stamp = 0;
  std::function<bool(IWORD)> augment = [&](IWORD r) {
    for (IWORD c : rows[r - 1]) {
      if (seen[c] == stamp) continue;
      seen[c] = stamp;
      if (mcol[c] == 0 || augment(mcol[c])) {
        mcol[c] = r;
        mrow[r] = c;
        return true;
      }
    }
    return false;
  };
  Reference ref;
  for (IWORD r = 1; r <= n; ++r) {
    ++stamp;
    if (augment(r)) ++ref.rank;
  }
  if (ref.rank < n) return ref;
  // Graph on columns: v -> w for every entry (row matched to v, w).
  std::vector<IWORD> index(n + 1, 0), low(n + 1, 0), stack;
  std::vector<bool> on(n + 1, false);
  IWORD counter = 0;
  ref.comp.assign(static_cast<std::size_t>(n + 1), 0);
  std::function<void(IWORD)> strong = [&](IWORD v) {
    index[v] = low[v] = ++counter;
    stack.push_back(v);
    on[v] = true;
    for (IWORD w : rows[mcol[v] - 1]) {
      if (index[w] == 0) {
        strong(w);
        low[v] = std::min(low[v], low[w]);
      } else if (on[w]) {
        low[v] = std::min(low[v], index[w]);
      }
    }
    if (low[v] == index[v]) {
      IWORD size = 0, w;
      do {
        w = stack.back();
        stack.pop_back();
        on[w] = false;
        ref.comp[w] = static_cast<IWORD>(ref.block_sizes.size()) + 1;
        ++size;
      } while (w != v);
      ref.block_sizes.push_back(size);
    }
  };
  for (IWORD v = 1; v <= n; ++v)
    if (index[v] == 0) strong(v);
  std::sort(ref.block_sizes.begin(), ref.block_sizes.end());
  return ref;
}

// ---- running an ordering --------------------------------------------------------------

struct OrderRun {
  Csr m;
  IWORD n = 0;
  std::vector<double> b;
  std::vector<IWORD> iorn, w18, w28, w34, w39, w40, w41;
  ORVK_SPOPT2_T opt{};
  IWORD ierr = 0;

  explicit OrderRun(const Rows& rows, IWORD room = -1) : m(Csr::from_rows(rows, room)), n(m.n) {
    b.assign(static_cast<std::size_t>(2 * n), 1.0);
    iorn.resize(static_cast<std::size_t>(n + 1));
    for (IWORD i = 1; i <= n; ++i) iorn[i - 1] = i;
    w18.assign(static_cast<std::size_t>(n + 2), 0);
    w28.assign(static_cast<std::size_t>(4 * n + 1), 0);
    w34.assign(static_cast<std::size_t>(m.nz + n), 0);
    w39.assign(static_cast<std::size_t>(n + 1), 0);
    w40.assign(static_cast<std::size_t>(n), 1);
    w41.assign(static_cast<std::size_t>(n), 1);
    opt.CHKMODE = 2;
  }
  void order(IWORD ordopt, IWORD unit = 0) {
    if (ordopt == 5)
      orvika::P4(n, m.nz, unit, iv(m.irp), iv(m.ici), rv(m.a), rv(b), 1, iv(w18), iv(iorn), iv(w39), iv(w28),
                 iv(w34), iv(w40), iv(w41), opt, ierr);
    else
      orvika::TALLY(n, m.nz, unit, iv(m.irp), iv(m.ici), rv(m.a), rv(b), 1, iv(iorn), iv(w18), iv(w28),
                    iv(w34), ordopt, opt, iv(w39), iv(w40), iv(w41), ierr);
  }
  IWORD row_of_step(IWORD k) const { return iorn[k - 1] < 0 ? -iorn[k - 1] : iorn[k - 1]; }
  std::vector<IWORD> block_sizes() const {
    std::vector<IWORD> s;
    IWORD start = 1;
    for (IWORD k = 1; k <= n; ++k)
      if (iorn[k - 1] < 0) {
        s.push_back(k - start + 1);
        start = k + 1;
      }
    std::sort(s.begin(), s.end());
    return s;
  }
};

std::string check_order(const OrderRun& r);

// Orderings 3 and 4 keep every strong component inside one diagonal block
// (their singleton passes may merge components); ordering 5 keeps exactly
// the components.
std::string check_blocks(const OrderRun& r, const Reference& ref, IWORD ord) {
  if (ord == 5) return r.block_sizes() == ref.block_sizes ? "" : "P4 blocks differ from the strong components";
  std::vector<IWORD> block_of_step(r.n + 1);
  IWORD b = 1;
  for (IWORD k = 1; k <= r.n; ++k) {
    block_of_step[k] = b;
    if (r.iorn[k - 1] < 0) ++b;
  }
  std::map<IWORD, IWORD> block_of_comp;
  for (IWORD c = 1; c <= r.n; ++c) {
    const IWORD blk = block_of_step[r.w39[c - 1]];
    auto [it, fresh] = block_of_comp.emplace(ref.comp[c], blk);
    if (!fresh && it->second != blk) return "a strong component is split over blocks";
  }
  return "";
}

// The invariants of a successful ordering; returns "" or what is wrong.
std::string check_order(const OrderRun& r) {
  const IWORD n = r.n;
  std::vector<int> seen(n + 1, 0);
  for (IWORD k = 1; k <= n; ++k) {
    const IWORD v = r.row_of_step(k);
    if (v < 1 || v > n || seen[v]++) return "IORN is not a signed permutation";
  }
  if (r.iorn[n - 1] >= 0) return "step N does not end a block";
  std::fill(seen.begin(), seen.end(), 0);
  for (IWORD c = 1; c <= n; ++c) {
    const IWORD t = r.w39[c - 1];
    if (t < 1 || t > n || seen[t]++) return "W39 is not a permutation";
    if (r.w18[t - 1] != c) return "W18 is not the inverse of W39";
  }
  // Block lower triangular: a row's columns lie in its block or earlier ones.
  std::vector<IWORD> block_end(n + 1);
  for (IWORD k = n; k >= 1; --k) block_end[k] = (r.iorn[k - 1] < 0 || k == n) ? k : block_end[k + 1];
  std::vector<IWORD> first(n + 1, 0);  // step of the first row holding each column
  for (IWORD k = 1; k <= n; ++k) {
    for (IWORD c : r.m.row(r.row_of_step(k))) {
      if (r.w39[c - 1] > block_end[k]) return "entry above the block diagonal at step " + std::to_string(k);
      if (first[c] == 0) first[c] = k;
    }
  }
  // A row that brings new columns takes one of them; a row that brings none
  // takes a spike waiting from an earlier row (its diagonal may then be
  // structurally zero, which the factorisation handles by pivoting).
  for (IWORD k = 1; k <= n; ++k) {
    const IWORD c = r.w18[k - 1];
    bool brings = false;
    for (IWORD cc : r.m.row(r.row_of_step(k))) brings = brings || first[cc] == k;
    if (brings && (first[c] != k || !r.m.has(r.row_of_step(k), c)))
      return "step " + std::to_string(k) + " does not take one of its row's new columns";
    if (!brings && first[c] >= k) return "step " + std::to_string(k) + " takes a column no earlier row met";
  }
  // Spikes nest: a column met first at f and assigned at t; two such
  // intervals never cross.
  for (IWORD c1 = 1; c1 <= n; ++c1)
    for (IWORD c2 = 1; c2 <= n; ++c2) {
      const IWORD f1 = first[c1], t1 = r.w39[c1 - 1], f2 = first[c2], t2 = r.w39[c2 - 1];
      if (f1 > t1) return "column assigned before any row meets it";
      if (f1 < f2 && f2 <= t1 && t2 > t1) return "spikes cross";
    }
  return "";
}

// ---- named patterns -------------------------------------------------------------------

TEST(SpOrderings, DenseLowerTriangle) {
  for (IWORD ord : {1, 2, 3, 4, 5}) {
    Rows rows;
    for (IWORD i = 1; i <= 6; ++i) {
      rows.emplace_back();
      for (IWORD j = 1; j <= i; ++j) rows.back().push_back(j);
    }
    OrderRun r(rows);
    r.order(ord);
    ASSERT_EQ(r.ierr, 0) << ord;
    EXPECT_EQ(std::vector<IWORD>(r.iorn.begin(), r.iorn.begin() + 6), (std::vector<IWORD>{-1, -2, -3, -4, -5, -6}))
        << ord;
    EXPECT_EQ(std::vector<IWORD>(r.w18.begin(), r.w18.begin() + 6), (std::vector<IWORD>{1, 2, 3, 4, 5, 6})) << ord;
  }
}

TEST(SpOrderings, DenseUpperTriangle) {
  for (IWORD ord : {1, 2, 3, 4, 5}) {
    Rows rows;
    for (IWORD i = 1; i <= 5; ++i) {
      rows.emplace_back();
      for (IWORD j = i; j <= 5; ++j) rows.back().push_back(j);
    }
    OrderRun r(rows);
    r.order(ord);
    ASSERT_EQ(r.ierr, 0) << ord;
    EXPECT_EQ(std::vector<IWORD>(r.iorn.begin(), r.iorn.begin() + 5), (std::vector<IWORD>{-5, -4, -3, -2, -1}))
        << ord;
    EXPECT_EQ(std::vector<IWORD>(r.w18.begin(), r.w18.begin() + 5), (std::vector<IWORD>{5, 4, 3, 2, 1})) << ord;
  }
}

TEST(SpOrderings, FullTwoByTwoBothRules) {
  OrderRun r1({{1, 2}, {1, 2}});
  r1.order(1);
  ASSERT_EQ(r1.ierr, 0);
  EXPECT_EQ(r1.iorn[0], 2);
  EXPECT_EQ(r1.iorn[1], -1);
  EXPECT_EQ((std::vector<IWORD>{r1.w39[0], r1.w39[1]}), (std::vector<IWORD>{2, 1}));
  EXPECT_EQ((std::vector<IWORD>{r1.w18[0], r1.w18[1]}), (std::vector<IWORD>{2, 1}));
  OrderRun r2({{1, 2}, {1, 2}});
  r2.order(2);
  ASSERT_EQ(r2.ierr, 0);
  EXPECT_EQ(r2.iorn[0], 1);
  EXPECT_EQ(r2.iorn[1], -2);
}

TEST(SpOrderings, ColumnSingletonRowComesLast) {
  // Column 4 has a single entry, in row 1; no row singleton anywhere.
  OrderRun r({{1, 2, 4}, {1, 2, 3}, {2, 3}, {1, 3}});
  r.order(1);
  ASSERT_EQ(r.ierr, 0);
  EXPECT_EQ(r.row_of_step(4), 1);
  EXPECT_EQ(r.w18[3], 4);
  EXPECT_EQ(check_order(r), "");
}

TEST(SpOrderings, RepairedFlagsRefuseOrderingsOneAndTwo) {
  for (IWORD ord : {1, 2}) {
    OrderRun r({{1, 2}, {2}});
    r.w41[1] = -3;
    const auto iorn0 = r.iorn;
    r.ierr = 5;
    r.order(ord);
    EXPECT_EQ(r.ierr, -7);
    EXPECT_EQ(r.iorn, iorn0);
  }
}

TEST(SpOrderings, TwoRowsOnOneColumnFailTheRowPass) {
  OrderRun r({{1}, {1}, {2, 3}});
  r.order(1);
  EXPECT_EQ(r.ierr, -7);
}

TEST(SpOrderings, NegativeStartingEntriesCloseSegments) {
  // Two separate full 2x2 bumps; segment 1 = rows 3, 4, segment 2 = rows 1, 2.
  OrderRun r({{1, 2}, {1, 2}, {3, 4}, {3, 4}});
  r.iorn = {3, -4, 1, -2, 0};
  r.order(1);
  ASSERT_EQ(r.ierr, 0);
  EXPECT_EQ(r.row_of_step(1), 4);
  EXPECT_EQ(r.row_of_step(2), 3);
  EXPECT_EQ(r.row_of_step(3), 2);
  EXPECT_EQ(r.row_of_step(4), 1);
  EXPECT_EQ(check_order(r), "");
}

TEST(SpOrderings, RowOrderThatIsNotAPermutationFallsBackToNatural) {
  const Rows rows = {{1, 2}, {1, 2}, {3, 4}, {3, 4}};
  OrderRun natural(rows);
  natural.order(1);
  for (std::vector<IWORD> bad : {std::vector<IWORD>{1, 1, 2, 3, 0}, {0, 2, 3, 4, 0}, {1, 2, 3, 99, 0},
                                 {-1000000, 2, 3, 4, 0}, {INT64_MIN, 2, 3, 4, 0}}) {
    OrderRun r(rows);
    r.iorn = bad;
    r.order(1);
    ASSERT_EQ(r.ierr, 0);
    EXPECT_EQ(r.iorn, natural.iorn);
    EXPECT_EQ(r.w18, natural.w18);
  }
}

// Patterns that are not a row-form matrix of order N, and scratch arrays
// too short, are refused before anything is indexed with them.
TEST(SpOrderings, BadPatternsAndShortScratchAreRefused) {
  struct Case {
    const char* name;
    std::function<void(OrderRun&)> spoil;
    IWORD code;
  };
  const std::vector<Case> cases = {
      {"column 0", [](OrderRun& r) { r.m.ici[1] = 0; }, -1},
      {"column above N", [](OrderRun& r) { r.m.ici[1] = 9; }, -3},
      {"decreasing pointers", [](OrderRun& r) { r.m.irp[1] = 6; }, -2},
      {"short W28", [](OrderRun& r) { r.w28.resize(8); }, -10},
  };
  for (const Case& c : cases) {
    for (IWORD ord : {1, 2, 3, 4, 5}) {
      OrderRun r({{1, 2}, {2, 3}, {3}});
      c.spoil(r);
      r.order(ord);
      EXPECT_EQ(r.ierr, c.code) << c.name << " ORDOPT " << ord;
    }
  }
}

TEST(SpBlock, StructuralGapMessageAndArtificialEntry) {
  // Rows 1 and 2 hold only column 1; row 3 columns 2 and 3.
  OrderRun r({{1}, {1}, {2, 3}});
  UnitCapture cap(6);
  r.order(3, 6);
  EXPECT_EQ(r.ierr, -7);
  EXPECT_EQ(r.m.nz, 5);
  EXPECT_EQ(r.m.row(2), (std::vector<IWORD>{1, 3}));
  EXPECT_EQ(r.m.value(2, 3), 100.0);
  EXPECT_EQ(r.m.irp, (std::vector<IWORD>{1, 2, 4, 6}));
  EXPECT_EQ(r.w41[2], -2);
  EXPECT_EQ(cap.lines(), (Lines{"", "      MATRIX IS STRUCTURALLY SINGULAR, RANK =     2      (BLOCK)",
                                "      NUMBER OF ROWS =       3"}));
}

TEST(SpBlock, FlaggedEmptyColumnIsPairedSilently) {
  OrderRun r(Rows{{1}, {1}});
  r.w41[1] = 0;  // column 2 empty and left without a row by the data checks
  r.w40[1] = 0;
  r.b = {1, 2, 3, 4};
  r.ierr = 5;
  UnitCapture cap(6);
  IV w28 = iv(r.w28);
  orvika::BLOCK(2, iv(r.m.ici), r.m.nz, 6, iv(r.m.irp), rv(r.m.a), rv(r.b), 2, w28.sub(1, 2), iv(r.iorn),
                w28.sub(3, 2), iv(r.w39), w28.sub(5, 2), w28.sub(7, 2), iv(r.w40), iv(r.w41), r.ierr, r.opt);
  EXPECT_EQ(r.ierr, 5);
  EXPECT_EQ(r.m.row(2), (std::vector<IWORD>{1, 2}));
  EXPECT_EQ(r.m.value(2, 2), 100.0);
  EXPECT_EQ(r.w41[1], -2);
  EXPECT_EQ(r.b, (std::vector<double>{1, 0, 3, 0}));
  EXPECT_TRUE(cap.lines().empty());
}

TEST(SpBlock, DiagonalAndIrreducible) {
  OrderRun d({{1}, {2}, {3}, {4}});
  d.order(3);
  ASSERT_EQ(d.ierr, 0);
  EXPECT_EQ(std::vector<IWORD>(d.iorn.begin(), d.iorn.begin() + 4), (std::vector<IWORD>{-1, -2, -3, -4}));
  OrderRun c({{1, 2}, {2, 3}, {3, 4}, {4, 1}});  // a cycle: one strong component
  c.order(4);
  ASSERT_EQ(c.ierr, 0);
  EXPECT_EQ(c.block_sizes(), (std::vector<IWORD>{4}));
}

TEST(SpBlock, ArtificialEntriesNeedRoom) {
  for (IWORD ord : {3, 5}) {
    OrderRun r({{1}, {1}, {2, 3}}, /*room*/ 4);
    const auto ici0 = r.m.ici;
    r.order(ord);
    EXPECT_EQ(r.ierr, orvika::kSpNoRoom) << ord;
    EXPECT_EQ(r.m.nz, 4);
    EXPECT_EQ(r.m.ici, ici0);
  }
}

TEST(SpP4, NamedPatterns) {
  {
    OrderRun r({{1, 2, 3}, {1, 2, 3}, {1, 2, 3}});  // a full block: rows take the last chosen column together
    r.order(5);
    ASSERT_EQ(r.ierr, 0);
    EXPECT_EQ(std::vector<IWORD>(r.iorn.begin(), r.iorn.begin() + 3), (std::vector<IWORD>{1, 2, -3}));
    EXPECT_EQ(check_order(r), "");
  }
  {
    OrderRun r({{1, 2}, {2, 3}, {3, 1}, {1, 2, 3, 4}});
    r.ierr = 3;  // a data-check warning survives a successful P4
    r.order(5);
    EXPECT_EQ(r.ierr, 3);
    EXPECT_EQ(check_order(r), "");
  }
}

// A column repeated within a row is refused before the count lists are
// built (a row's count would exceed the lists of its block); the pattern
// and the row order are left as they were.
TEST(SpP4, RepeatedColumnIndexIsRefused) {
  const std::vector<std::pair<const char*, Rows>> cases = {
      {"row longer than N", {{1, 1, 1, 2, 2}, {1, 2}}},
      {"count above its block", {{1, 2}, {1, 1, 2}, {3}}},
      {"in a block of one", {{1, 1}, {1, 2}}},
      {"last row", {{1, 2}, {2, 3}, {1, 3, 3}}},
  };
  for (const auto& [name, rows] : cases) {
    OrderRun r(rows);
    const Csr before = r.m;
    const std::vector<IWORD> iorn = r.iorn;
    r.order(5);
    EXPECT_EQ(r.ierr, -6) << name;
    EXPECT_EQ(r.m.nz, before.nz) << name;
    EXPECT_EQ(r.m.irp, before.irp) << name;
    EXPECT_EQ(r.m.ici, before.ici) << name;
    EXPECT_EQ(r.iorn, iorn) << name;
  }
}

TEST(SpP4, StructuralSingularityMessageGating) {
  const Lines msg = {"", "      MATRIX IS STRUCTURALLY SINGULAR, RANK =     2",
                     "      NUMBER OF ROWS =     3  (P4I)"};
  for (IWORD unit : {IWORD{0}, IWORD{-5}, IWORD{6}}) {
    for (IWORD chk : {2, 3}) {
      OrderRun r({{1}, {1}, {2, 3}});
      r.opt.CHKMODE = chk;
      UnitCapture cap(static_cast<int>(unit));
      r.order(5, unit);
      EXPECT_EQ(r.ierr, -7);
      const Lines want = (unit != 0 && chk < 3) ? msg : Lines{};
      EXPECT_EQ(cap.lines(), want) << unit << " " << chk;
    }
  }
}

// ---- random patterns against the reference --------------------------------------------

void sweep_random(IWORD ord) {
  std::mt19937_64 rng(1000 + ord);
  for (int trial = 0; trial < 300; ++trial) {
    const IWORD n = 1 + static_cast<IWORD>(rng() % 60);
    const double density = 1.0 + static_cast<double>(rng() % 5);
    const bool fulldiag = rng() % 3 != 0;
    Rows rows = random_rows(rng, n, density, fulldiag);
    // Permute the rows so that the diagonal is hidden.
    std::shuffle(rows.begin(), rows.end(), rng);
    const Reference ref = reference(rows);
    OrderRun r(rows);
    r.order(ord);
    SCOPED_TRACE(testing::Message() << "ORDOPT " << ord << " trial " << trial << " n " << n);
    if (ref.rank < n) {
      EXPECT_EQ(r.ierr, -7);
      if (ord >= 3) EXPECT_EQ(r.m.nz, static_cast<IWORD>(r.m.a.size()) - n - 2 + (n - ref.rank));
      continue;
    }
    ASSERT_EQ(r.ierr, 0);
    ASSERT_EQ(check_order(r), "");
    if (ord >= 3) EXPECT_EQ(check_blocks(r, ref, ord), "");
  }
}

// Block triangularisation alone gives exactly the strong components.
TEST(SpOrderingsRandom, BlockGivesTheStrongComponents) {
  std::mt19937_64 rng(4242);
  for (int trial = 0; trial < 300; ++trial) {
    const IWORD n = 1 + static_cast<IWORD>(rng() % 60);
    Rows rows = random_rows(rng, n, 1.0 + static_cast<double>(rng() % 4), true);
    std::shuffle(rows.begin(), rows.end(), rng);
    const Reference ref = reference(rows);
    OrderRun r(rows);
    IV w28 = iv(r.w28);
    orvika::BLOCK(n, iv(r.m.ici), r.m.nz, 0, iv(r.m.irp), rv(r.m.a), rv(r.b), 1, w28.sub(1, n), iv(r.iorn),
                  w28.sub(n + 1, n), iv(r.w39), w28.sub(2 * n + 1, n), w28.sub(3 * n + 1, n), iv(r.w40), iv(r.w41),
                  r.ierr, r.opt);
    ASSERT_EQ(r.ierr, 0);
    EXPECT_EQ(r.block_sizes(), ref.block_sizes) << "trial " << trial;
  }
}

TEST(SpOrderingsRandom, Option1) { sweep_random(1); }
TEST(SpOrderingsRandom, Option2) { sweep_random(2); }
TEST(SpOrderingsRandom, Option3) { sweep_random(3); }
TEST(SpOrderingsRandom, Option4) { sweep_random(4); }
TEST(SpOrderingsRandom, Option5) { sweep_random(5); }

// Structural rank reported by BLOCK equals the reference rank.
TEST(SpOrderingsRandom, ReportedRankIsTheStructuralRank) {
  std::mt19937_64 rng(99);
  for (int trial = 0; trial < 200; ++trial) {
    const IWORD n = 2 + static_cast<IWORD>(rng() % 30);
    Rows rows = random_rows(rng, n, 1.5, false);
    const Reference ref = reference(rows);
    if (ref.rank == n) continue;
    OrderRun r(rows);
    UnitCapture cap(6);
    r.order(4, 6);
    ASSERT_EQ(r.ierr, -7);
    ASSERT_EQ(cap.lines().size(), 3u);
    EXPECT_EQ(cap.lines()[1].substr(45, 6), (testing::Message() << std::string(6 - std::to_string(ref.rank).size(), ' ')
                                                                 << ref.rank).GetString());
  }
}

// ---- the transversal against the plain depth-first search -------------------------------

// The plain augmenting-path search (cheap look-ahead, then a depth-first
// scan of the columns not yet visited in the pass, walking every region
// again in every pass), written straight on vectors.  TRANSV must find
// exactly its matching and leave the same look-ahead and scan positions.
struct PlainSearch {
  std::vector<IWORD> match, pos, scan;
  IWORD nmatch = 0;
};
PlainSearch plain_search(const Csr& m) {
  const IWORD n = m.n;
  auto irp = [&](IWORD i) { return m.irp[i - 1]; };
  auto ici = [&](IWORD k) { return m.ici[k - 1]; };
  PlainSearch s;
  s.match.assign(n + 1, 0);
  s.pos.assign(n + 1, 0);
  s.scan.assign(n + 1, 0);
  std::vector<IWORD> path(n + 1, 0), visit(n + 1, 0);
  for (IWORD i = 1; i <= n; ++i) s.pos[i] = irp(i);
  for (IWORD j = 1; j <= n; ++j) {
    IWORD r = j, c = 0;
    path[j] = -1;
    bool fresh = true;
    for (;;) {
      if (fresh) {
        IWORD p = s.pos[r];
        while (p < irp(r + 1) && s.match[ici(p)] != 0) ++p;
        if (p < irp(r + 1)) {
          c = ici(p);
          s.pos[r] = p + 1;
          break;
        }
        s.pos[r] = irp(r + 1);
        s.scan[r] = irp(r);
      }
      IWORD p = s.scan[r];
      while (p < irp(r + 1) && visit[ici(p)] == j) ++p;
      if (p < irp(r + 1)) {
        visit[ici(p)] = j;
        s.scan[r] = p + 1;
        path[s.match[ici(p)]] = r;
        r = s.match[ici(p)];
        fresh = true;
        continue;
      }
      s.scan[r] = irp(r + 1);
      r = path[r];
      fresh = false;
      if (r == -1) break;
    }
    if (r == -1) continue;
    s.match[c] = r;
    ++s.nmatch;
    for (r = path[r]; r != -1; r = path[r]) s.match[ici(s.scan[r] - 1)] = r;
  }
  return s;
}

// A flowsheet-like pattern: units of 2..MAXU equations, each a dense-ish
// block with its diagonal, fed by the last columns of up to three upstream
// units, a recycle from a unit downstream now and then, the rows permuted
// inside each unit (so the cheap assignment fails and the search walks
// upstream).  With HOLES some rows lose their diagonal.
Rows flowsheet_rows(std::mt19937_64& rng, IWORD n, IWORD maxu, double recycle, bool holes) {
  std::vector<IWORD> first, size;
  for (IWORD at = 1; at <= n;) {
    const IWORD s = std::min<IWORD>(2 + static_cast<IWORD>(rng() % static_cast<std::uint64_t>(maxu - 1)), n - at + 1);
    first.push_back(at);
    size.push_back(s);
    at += s;
  }
  std::uniform_real_distribution<double> u01(0, 1);
  Rows rows(static_cast<std::size_t>(n));
  const IWORD units = static_cast<IWORD>(first.size());
  for (IWORD u = 0; u < units; ++u) {
    std::vector<IWORD> perm(static_cast<std::size_t>(size[u]));
    std::iota(perm.begin(), perm.end(), 0);
    std::shuffle(perm.begin(), perm.end(), rng);
    std::vector<IWORD> feeds;
    for (IWORD k = 0; k < std::min<IWORD>(u, 1 + static_cast<IWORD>(rng() % 3)); ++k)
      feeds.push_back(u - 1 - static_cast<IWORD>(rng() % static_cast<std::uint64_t>(std::min<IWORD>(u, 6))));
    if (u + 1 < units && u01(rng) < recycle)
      feeds.push_back(u + 1 + static_cast<IWORD>(rng() % static_cast<std::uint64_t>(std::min<IWORD>(units - u - 1, 10))));
    for (IWORD i = 0; i < size[u]; ++i) {
      std::set<IWORD> cols;
      for (IWORD j = 0; j < size[u]; ++j)
        if ((i == j && !(holes && u01(rng) < 0.1)) || u01(rng) < 0.4) cols.insert(first[u] + j);
      for (IWORD src : feeds)
        for (IWORD t = 0; t < 1 + static_cast<IWORD>(rng() % 3) && t < size[src]; ++t)
          cols.insert(first[src] + size[src] - 1 - t);
      if (cols.empty()) cols.insert(first[u] + i);
      rows[static_cast<std::size_t>(first[u] + perm[static_cast<std::size_t>(i)] - 1)].assign(cols.begin(), cols.end());
    }
  }
  return rows;
}

// Runs TRANSV on ROWS and compares with the plain search: the matching, its
// size, the look-ahead and scan positions, and (when the pattern is
// structurally singular) the completion.
std::string transv_against_plain(const Rows& rows) {
  Csr m = Csr::from_rows(rows);
  const PlainSearch want = plain_search(m);
  const IWORD n = m.n;
  std::vector<IWORD> match(n), path(n), pos(n), visit(n), scan(n), w40(n, 1), w41(n, 1);
  std::vector<double> b(n, 1.0);
  IWORD nmatch = -1, rank = -1;
  const IWORD st = orvika::TRANSV(n, iv(m.ici), m.nz, iv(m.irp), rv(m.a), rv(b), 1, iv(match), nmatch, iv(path),
                                  iv(pos), iv(visit), iv(scan), iv(w40), iv(w41), rank);
  if (want.nmatch == n) {
    if (st != 0 || nmatch != n) return "full transversal not found";
    for (IWORD c = 1; c <= n; ++c)
      if (match[c - 1] != want.match[c]) return "matching differs at column " + std::to_string(c);
    for (IWORD r = 1; r <= n; ++r) {
      if (pos[r - 1] != want.pos[r]) return "look-ahead position differs at row " + std::to_string(r);
      if (scan[r - 1] != want.scan[r]) return "scan position differs at row " + std::to_string(r);
    }
    return "";
  }
  // Singular: the completion pairs the rows and columns the search left
  // free, in ascending order, so the searched part shows in the result.
  if (st != 1 || rank != want.nmatch || nmatch != n) return "rank or status wrong";
  std::vector<IWORD> free_cols, free_rows;
  std::vector<bool> row_taken(n + 1, false);
  for (IWORD c = 1; c <= n; ++c)
    if (want.match[c] == 0)
      free_cols.push_back(c);
    else
      row_taken[want.match[c]] = true;
  for (IWORD r = 1; r <= n; ++r)
    if (!row_taken[r]) free_rows.push_back(r);
  std::vector<IWORD> full = want.match;
  for (std::size_t k = 0; k < free_cols.size(); ++k) full[free_cols[k]] = free_rows[k];
  for (IWORD c = 1; c <= n; ++c)
    if (match[c - 1] != full[c]) return "completed matching differs at column " + std::to_string(c);
  return "";
}

TEST(SpTransversal, SameMatchingAsThePlainSearch) {
  struct Case {
    const char* kind;
    int trials;
    IWORD nmax;
  };
  const Case cases[] = {{"random", 400, 80}, {"random-singular", 300, 60}, {"flowsheet", 200, 400},
                        {"flowsheet-recycles", 200, 400}, {"flowsheet-holes", 200, 300}};
  for (const Case& k : cases) {
    std::mt19937_64 rng(std::hash<std::string>{}(k.kind));
    const std::string kind = k.kind;
    for (int trial = 0; trial < k.trials; ++trial) {
      const IWORD n = 1 + static_cast<IWORD>(rng() % static_cast<std::uint64_t>(k.nmax));
      Rows rows;
      if (kind == "random") {
        rows = random_rows(rng, n, 1.0 + static_cast<double>(rng() % 6), rng() % 4 != 0);
        std::shuffle(rows.begin(), rows.end(), rng);
      } else if (kind == "random-singular") {
        rows = random_rows(rng, n, 1.0 + static_cast<double>(rng() % 3), false);
      } else {
        rows = flowsheet_rows(rng, n, 4 + static_cast<IWORD>(rng() % 12), kind == "flowsheet" ? 0.0 : 0.2,
                              kind == "flowsheet-holes");
      }
      EXPECT_EQ(transv_against_plain(rows), "") << kind << " trial " << trial << " n " << n;
    }
  }
}

// Regions that close on themselves but are entered again from later rows:
// a chain of units, each row also seeing every column of the unit before,
// with the rows of each unit reversed (the cheap assignment fails for all
// but the first row of a unit), and a last row that reaches back to the
// first unit.  Every pass walks upstream; only the first walk of a region
// may be done in full.
TEST(SpTransversal, ChainsWalkedUpstreamMatchThePlainSearch) {
  for (IWORD unit : {2, 3, 5}) {
    for (IWORD units : {1, 2, 7, 40}) {
      const IWORD n = unit * units;
      Rows rows(static_cast<std::size_t>(n));
      for (IWORD u = 0; u < units; ++u)
        for (IWORD i = 0; i < unit; ++i) {
          std::vector<IWORD>& r = rows[static_cast<std::size_t>(u * unit + (unit - 1 - i))];
          if (u > 0)
            for (IWORD j = 0; j < unit; ++j) r.push_back((u - 1) * unit + j + 1);
          for (IWORD j = 0; j <= i; ++j) r.push_back(u * unit + j + 1);
        }
      if (n > 1) rows.back().insert(rows.back().begin(), 1);
      std::sort(rows.back().begin(), rows.back().end());
      rows.back().erase(std::unique(rows.back().begin(), rows.back().end()), rows.back().end());
      EXPECT_EQ(transv_against_plain(rows), "") << "unit " << unit << " units " << units;
    }
  }
}

// ---- real matrices ----------------------------------------------------------------------

TEST(SpOrderingsReal, SharedMatrices) {
  const std::vector<std::string> names = {"west0479.mtx", "west0989.mtx", "bp_200.mtx", "rdb1250l.mtx",
                                          "orani678.mtx"};
  bool any = false;
  for (const std::string& name : names) {
    const std::string path = orvika_test::shared_matrix(name);
    if (path.empty()) continue;
    any = true;
    orvika_test::Triplets t;
    std::string msg;
    ASSERT_TRUE(orvika_test::read_mtx(path, t, &msg)) << msg;
    Rows rows(static_cast<std::size_t>(t.n));
    for (IWORD k = 0; k < t.nz(); ++k) rows[t.row[k] - 1].push_back(t.col[k]);
    for (auto& row : rows) {
      std::sort(row.begin(), row.end());
      row.erase(std::unique(row.begin(), row.end()), row.end());
    }
    const Reference ref = reference(rows);
    for (IWORD ord : {1, 2, 3, 4, 5}) {
      OrderRun r(rows);
      r.order(ord);
      SCOPED_TRACE(name + " ORDOPT " + std::to_string(ord));
      if (ref.rank < t.n) {
        EXPECT_EQ(r.ierr, -7);
        continue;
      }
      ASSERT_EQ(r.ierr, 0);
      EXPECT_EQ(check_order(r), "");
      if (ord >= 3) EXPECT_EQ(check_blocks(r, ref, ord), "");
    }
  }
  if (!any) GTEST_SKIP() << "shared matrices not found in ../shared/matrices";
}

}  // namespace
