// Block-triangular preordering: MC23AD with its searches ORVK_MC21AX
// (transversal) and ORVK_MC13DX (strong components), against an
// independent matching and Tarjan reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include "ma28/ma28.hpp"
#include "ma28/ma28_test_util.hpp"
#include "support/capture.hpp"

namespace {

using namespace ma28test;
using orvika_test::UnitCapture;

// ---- Reference: maximum matching by simple augmenting paths, Tarjan SCC.

struct Graph {
  IWORD n;
  std::vector<std::vector<IWORD>> adj;  // 0-based rows -> columns
};

Graph graph_of(const Triplets& a) {
  Graph g{a.n, std::vector<std::vector<IWORD>>(a.n)};
  for (std::size_t k = 0; k < a.val.size(); ++k) g.adj[a.row[k] - 1].push_back(a.col[k] - 1);
  return g;
}

// Column -> row matching of maximum size.
std::vector<IWORD> ref_matching(const Graph& g, IWORD& size) {
  std::vector<IWORD> match(g.n, -1);
  size = 0;
  for (IWORD r = 0; r < g.n; ++r) {
    std::vector<char> seen(g.n, 0);
    std::function<bool(IWORD)> aug = [&](IWORD row) {
      for (IWORD c : g.adj[row]) {
        if (seen[c]) continue;
        seen[c] = 1;
        if (match[c] < 0 || aug(match[c])) {
          match[c] = row;
          return true;
        }
      }
      return false;
    };
    if (aug(r)) ++size;
  }
  return match;
}

// Sizes of the strong components of the directed graph with node sets.
std::vector<IWORD> ref_scc_sizes(const std::vector<std::vector<IWORD>>& adj) {
  const IWORD n = static_cast<IWORD>(adj.size());
  std::vector<IWORD> idx(n, -1), low(n, 0), stack;
  std::vector<char> on(n, 0);
  std::vector<IWORD> sizes;
  IWORD counter = 0;
  std::function<void(IWORD)> dfs = [&](IWORD v) {
    idx[v] = low[v] = counter++;
    stack.push_back(v);
    on[v] = 1;
    for (IWORD w : adj[v]) {
      if (idx[w] < 0) {
        dfs(w);
        low[v] = std::min(low[v], low[w]);
      } else if (on[w]) {
        low[v] = std::min(low[v], idx[w]);
      }
    }
    if (low[v] == idx[v]) {
      IWORD cnt = 0;
      for (;;) {
        const IWORD w = stack.back();
        stack.pop_back();
        on[w] = 0;
        ++cnt;
        if (w == v) break;
      }
      sizes.push_back(cnt);
    }
  };
  for (IWORD v = 0; v < n; ++v)
    if (idx[v] < 0) dfs(v);
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

// Runs MC23AD on A (rows sorted first) and keeps every output.
struct Pre {
  IWORD n, licn, nz;
  std::vector<double> v;
  std::vector<IDX16> cn, rowlen, rowprm, colprm, offlen, w16;
  std::vector<IWORD> w64;
  IWORD pair[2] = {0, 0};

  Pre(const Triplets& a, IWORD licn_) : n(a.n), licn(licn_), nz(a.nz()) {
    std::vector<std::size_t> order(a.val.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return a.row[x] < a.row[y]; });
    v.assign(licn, -99.0);
    cn.assign(licn, -1);
    for (std::size_t t = 0; t < order.size(); ++t) {
      v[t] = a.val[order[t]];
      cn[t] = a.col[order[t]];
    }
    rowlen.assign(n, 0);
    for (IDX16 r : a.row) ++rowlen[r - 1];
    rowprm.assign(n, 0);
    colprm.assign(n, 0);
    offlen.assign(n, 0);
    w16.assign(5 * n, 0);
    w64.assign(2 * n, 0);
    orvika::MC23AD(n, cn.data(), v.data(), licn, rowlen.data(), pair, rowprm.data(),
                   colprm.data(), offlen.data(), w16.data(), pos_words(w64));
  }
};

using Entry = std::tuple<IWORD, IWORD, double>;

// Checks the whole output layout of a successful preordering against A.
void check_layout(const Triplets& a, const Pre& p, const std::string& what) {
  const IWORD n = a.n;
  const IWORD lufrst = p.pair[0], lulast = p.pair[1];
  ASSERT_GE(lufrst, 1) << what;
  std::vector<IWORD> rowof(n), colof(n);  // input -> new position (0-based)
  std::vector<IWORD> blk(n);              // block number of each new position
  IWORD b = 0;
  for (IWORD k = 0; k < n; ++k) {
    const IWORD r = std::abs(p.rowprm[k]), c = std::abs(p.colprm[k]);
    ASSERT_TRUE(r >= 1 && r <= n && c >= 1 && c <= n) << what;
    rowof[r - 1] = k;
    colof[c - 1] = k;
    blk[k] = b;
    if (p.rowprm[k] < 0) ++b;
  }
  EXPECT_GT(p.rowprm[n - 1], 0) << what;
  std::multiset<Entry> want, got;
  for (std::size_t k = 0; k < a.val.size(); ++k) want.insert({a.row[k], a.col[k], a.val[k]});
  if (p.offlen[0] < 0) {
    // One block: identity, the entries unchanged at the back.
    EXPECT_EQ(lufrst, 1) << what;
    EXPECT_EQ(lulast, p.licn - p.nz + 1) << what;
    IWORD q = lulast - 1;
    for (IWORD i = 0; i < n; ++i) {
      EXPECT_EQ(p.rowprm[i], i + 1);
      EXPECT_EQ(p.colprm[i], i + 1);
      for (IWORD t = 0; t < p.rowlen[i]; ++t, ++q) got.insert({i + 1, p.cn[q], p.v[q]});
    }
    EXPECT_EQ(got, want) << what;
    return;
  }
  IWORD q = 0;
  for (IWORD i = 0; i < n; ++i)
    for (IWORD t = 0; t < p.offlen[i]; ++t, ++q) {
      const IWORD c = p.cn[q];
      got.insert({i + 1, c, p.v[q]});
      EXPECT_GT(blk[rowof[i]], blk[colof[c - 1]]) << what << ": off-diagonal entry not below";
    }
  EXPECT_EQ(q, lufrst - 1) << what;
  q = lulast - 1;
  for (IWORD k = 0; k < n; ++k)
    for (IWORD t = 0; t < p.rowlen[k]; ++t, ++q) {
      const IWORD c = p.cn[q];  // new column
      EXPECT_EQ(blk[k], blk[c - 1]) << what << ": diagonal-block entry outside its block";
      got.insert({std::abs(p.rowprm[k]), std::abs(p.colprm[c - 1]), p.v[q]});
    }
  EXPECT_EQ(q, p.licn) << what;
  EXPECT_EQ(got, want) << what;
}

TEST(Mc23Ad, RandomMatricesAgainstTheReference) {
  for (int seed = 0; seed < 80; ++seed) {
    reset_blocks();
    ORVK_MC23BD.MSGUNT = 0;
    ORVK_MC23BD.STPSTR = ORVK_FALSE;
    const IWORD n = 1 + seed % 37;
    const Triplets a = random_sparse(n, seed % 3, 5000 + seed, seed % 4 == 0);
    Pre p(a, a.nz() + a.nz() / 2 + 2);
    const std::string what = "seed " + std::to_string(seed);
    check_layout(a, p, what);
    // Reference: structural rank, and the strong components of the matched
    // graph (unique for a full transversal).
    const Graph g = graph_of(a);
    IWORD rank = 0;
    const auto match = ref_matching(g, rank);
    EXPECT_EQ(ORVK_MC23BD.TRVSIZ, rank) << what;
    if (rank == n) {
      std::vector<std::vector<IWORD>> adj(n);
      for (IWORD c = 0; c < n; ++c)
        for (IWORD j : g.adj[match[c]]) adj[c].push_back(j);
      const auto sizes = ref_scc_sizes(adj);
      EXPECT_EQ(ORVK_MC23BD.NBLOCK, static_cast<IWORD>(sizes.size())) << what;
      EXPECT_EQ(ORVK_MC23BD.MAXBLK, sizes.back()) << what;
    }
  }
}

TEST(Mc23Ad, FullLowerTriangular) {
  reset_blocks();
  Triplets a;
  a.n = 3;
  for (IWORD i = 1; i <= 3; ++i)
    for (IWORD j = 1; j <= i; ++j) a.add(i, j, 10.0 * i + j);
  Pre p(a, 9);
  EXPECT_EQ(p.pair[0], 4);
  EXPECT_EQ(p.pair[1], 7);
  EXPECT_EQ(p.rowprm, (std::vector<IDX16>{-1, -2, 3}));
  EXPECT_EQ(p.offlen, (std::vector<IDX16>{0, 1, 2}));
  EXPECT_EQ(ORVK_MC23BD.MAXBLK, 1);
  EXPECT_EQ(ORVK_MC23BD.NBLOCK, 3);
  EXPECT_EQ(std::vector<double>(p.v.begin(), p.v.begin() + 3), (std::vector<double>{21, 31, 32}));
  EXPECT_EQ(std::vector<double>(p.v.begin() + 6, p.v.end()), (std::vector<double>{11, 22, 33}));
  EXPECT_EQ(std::vector<IDX16>(p.cn.begin() + 6, p.cn.end()), (std::vector<IDX16>{1, 2, 3}));
  // One place less: the first row taken (input row 3) does not fit.
  reset_blocks();
  UnitCapture cap(6);
  ORVK_MC23BD.MSGUNT = 6;
  Pre q(a, 8);
  EXPECT_EQ(q.pair[0], -2);
  EXPECT_EQ(cap.lines(),
            (std::vector<std::string>{
                "                                  LICN NOT BIG ENOUGH INCREASE BY      3",
                "+ERROR RETURN FROM MC23AD BECAUSE"}));
}

TEST(Mc23Ad, FullUpperTriangularComesOutReversed) {
  reset_blocks();
  Triplets a;
  a.n = 3;
  for (IWORD i = 1; i <= 3; ++i)
    for (IWORD j = i; j <= 3; ++j) a.add(i, j, 1.0 * i + j);
  Pre p(a, 9);
  EXPECT_EQ(p.colprm, (std::vector<IDX16>{3, 2, 1}));
  EXPECT_EQ(p.rowprm, (std::vector<IDX16>{-3, -2, 1}));
  check_layout(a, p, "upper");
}

TEST(Mc23Ad, SingleBlockCases) {
  struct Case {
    const char* name;
    Triplets a;
    IWORD licn;
  };
  std::vector<Case> cases;
  {
    Triplets a;
    a.n = 1;
    a.add(1, 1, 5.0);
    cases.push_back({"order 1", a, 3});
  }
  {
    Triplets a;  // all six off-diagonal places: irreducible, zero diagonal
    a.n = 3;
    for (IWORD i = 1; i <= 3; ++i)
      for (IWORD j = 1; j <= 3; ++j)
        if (i != j) a.add(i, j, i * 3 + j);
    cases.push_back({"zero diagonal", a, 10});
    cases.push_back({"no room to spare", a, 6});
  }
  for (const auto& c : cases) {
    reset_blocks();
    Pre p(c.a, c.licn);
    EXPECT_EQ(ORVK_MC23BD.NBLOCK, 1) << c.name;
    EXPECT_EQ(p.offlen[0], -1) << c.name;
    check_layout(c.a, p, c.name);
    if (c.licn == c.a.nz()) EXPECT_EQ(p.pair[1], 1);
  }
}

TEST(Mc23Ad, StructurallySingular) {
  Triplets a;  // rows 1 and 2 only in column 1
  a.n = 3;
  a.add(1, 1, 1.0);
  a.add(2, 1, 2.0);
  a.add(3, 3, 3.0);
  a.add(3, 2, 4.0);
  reset_blocks();
  {
    ORVK_MC23BD.MSGUNT = 0;
    ORVK_MC23BD.STPSTR = ORVK_TRUE;
    UnitCapture cap(6);
    Pre p(a, 8);
    EXPECT_EQ(p.pair[0], -1);
    EXPECT_EQ(ORVK_MC23BD.TRVSIZ, 2);
    EXPECT_TRUE(cap.lines().empty());
  }
  ORVK_MC23BD.STPSTR = ORVK_FALSE;
  Pre p(a, 8);
  EXPECT_EQ(ORVK_MC23BD.TRVSIZ, 2);
  check_layout(a, p, "completed");
}

TEST(Mc21Ax, EqualLengthsTakeTheHigherRowFirst) {
  // Rows 1 and 2 both hold only column 1; row 2 is matched to it, row 1
  // completes the permutation at column 2.
  std::vector<IDX16> cn = {1, 1};
  std::vector<IWORD> pos = {1, 2};
  std::vector<IDX16> len = {1, 1}, prm(2), w(10);
  IWORD n = 2, licn = 2, num = -5;
  ORVK_MC21AX(&n, cn.data(), &licn, pos.data(), len.data(), prm.data(), &num, w.data());
  EXPECT_EQ(num, 1);
  EXPECT_EQ(prm, (std::vector<IDX16>{2, 1}));
}

TEST(Mc21Ax, NeedsAugmentingPaths) {
  // Row 1 takes column 1, row 3 column 2 cheaply; row 2 (columns 1, 2) then
  // needs the path row 2 -> column 2 -> row 3 -> column 3.
  std::vector<IDX16> cn = {1, 1, 2, 2, 3};
  std::vector<IWORD> pos = {1, 2, 4};
  std::vector<IDX16> len = {1, 2, 2}, prm(3), w(15);
  IWORD n = 3, licn = 5, num = 0;
  ORVK_MC21AX(&n, cn.data(), &licn, pos.data(), len.data(), prm.data(), &num, w.data());
  EXPECT_EQ(num, 3);
  EXPECT_EQ(prm, (std::vector<IDX16>{1, 2, 3}));
}

TEST(Mc21AxMc13Dx, InvalidArgumentsAreReportedAndNothingElseWritten) {
  struct Row {
    const char* name;
    IWORD n, licn;
    std::vector<IWORD> pos;
    std::vector<IDX16> len, cn;
    std::string detail;  // after 33 blanks
  };
  const std::vector<Row> rows = {
      {"order too large", 32768, 2, {1, 2}, {1, 1}, {1, 2}, " N OUT OF RANGE =      32768"},
      {"row length above N", 2, 3, {1, 2}, {3, 0}, {1, 2, 1}, " ROW LENGTH OUT OF RANGE IN ROW      1"},
      {"negative row length", 2, 2, {1, 2}, {-1, 1}, {1, 2}, " ROW LENGTH OUT OF RANGE IN ROW      1"},
      {"column out of range", 2, 2, {1, 2}, {1, 1}, {1, 3}, " COLUMN INDEX OUT OF RANGE IN ROW      2"},
      {"column zero", 2, 2, {1, 2}, {1, 1}, {0, 1}, " COLUMN INDEX OUT OF RANGE IN ROW      1"},
      {"row past LICN", 2, 2, {1, 2}, {1, 2}, {1, 2}, " ROW OUTSIDE 1..LICN, ROW      2"},
      {"row start zero", 2, 2, {0, 2}, {1, 1}, {1, 2}, " ROW OUTSIDE 1..LICN, ROW      1"},
  };
  const std::string b33(33, ' ');
  for (IWORD errunt : {6, 0}) {
    reset_blocks();
    ORVK_MA28ED.ERRUNT = errunt;
    for (const auto& r : rows) {
      std::vector<IDX16> out(2, 77), out2(2, 77), w(10, 0);
      IWORD n = r.n, licn = r.licn, num = 5, nb = 5;
      std::vector<IWORD> pos = r.pos;
      std::vector<IDX16> len = r.len, cn = r.cn;
      pos.resize(std::max<std::size_t>(pos.size(), 2));
      UnitCapture cap(6);
      ORVK_MC21AX(&n, cn.data(), &licn, pos.data(), len.data(), out.data(), &num, w.data());
      EXPECT_EQ(num, -1) << r.name;
      EXPECT_EQ(out, (std::vector<IDX16>{77, 77})) << r.name;
      ORVK_MC13DX(&n, cn.data(), &licn, pos.data(), len.data(), out.data(), out2.data(), &nb,
                  w.data());
      EXPECT_EQ(nb, -1) << r.name;
      EXPECT_EQ(out, (std::vector<IDX16>{77, 77})) << r.name;
      const Lines want = errunt == 0 ? Lines{}
                                     : Lines{b33 + r.detail, "+ERROR RETURN FROM MC21AX BECAUSE",
                                             b33 + r.detail, "+ERROR RETURN FROM MC13DX BECAUSE"};
      EXPECT_EQ(cap.lines(), want) << r.name << " unit " << errunt;
    }
  }
  IWORD zero = 0, num = 9, nb = 9;
  ORVK_MC21AX(&zero, nullptr, &zero, nullptr, nullptr, nullptr, &num, nullptr);
  ORVK_MC13DX(&zero, nullptr, &zero, nullptr, nullptr, nullptr, nullptr, &nb, nullptr);
  EXPECT_EQ(num, 0);
  EXPECT_EQ(nb, 0);
}

TEST(Mc13Dx, CyclePlacesTheMostRecentlyReachedFirst) {
  std::vector<IDX16> cn = {2, 3, 1};
  std::vector<IWORD> pos = {1, 2, 3};
  std::vector<IDX16> len = {1, 1, 1}, ord(3), bb(3), w(9);
  IWORD n = 3, licn = 3, nb = 0;
  ORVK_MC13DX(&n, cn.data(), &licn, pos.data(), len.data(), ord.data(), bb.data(), &nb, w.data());
  EXPECT_EQ(nb, 1);
  EXPECT_EQ(ord, (std::vector<IDX16>{3, 2, 1}));
  EXPECT_EQ(bb[0], 1);
  EXPECT_EQ(std::vector<IDX16>(w.begin() + 3, w.begin() + 6), (std::vector<IDX16>{3, 2, 1}));
}

TEST(Mc13Dx, LargestOrderKeepsClosedNodesOutOfTheLinks) {
  // N = 32767: node 1 points to node 2, every node to itself.  A closed
  // node's link must stay above every stack depth (N + 1 does not fit in
  // 16 bits), else node 1 would be joined to a finished component.
  const IWORD n = 32767;
  std::vector<IDX16> cn, len(n);
  std::vector<IWORD> pos(n);
  IWORD q = 1;
  for (IWORD i = 1; i <= n; ++i) {
    pos[i - 1] = q;
    cn.push_back(static_cast<IDX16>(i));
    if (i == 1) cn.push_back(2);
    len[i - 1] = static_cast<IDX16>(i == 1 ? 2 : 1);
    q += len[i - 1];
  }
  IWORD licn = q - 1, nb = 0;
  std::vector<IDX16> ord(n), bb(n), w(3 * n);
  ORVK_MC13DX(&n, cn.data(), &licn, pos.data(), len.data(), ord.data(), bb.data(), &nb, w.data());
  EXPECT_EQ(nb, n);
  std::vector<IDX16> want(n), wantbb(n);
  for (IWORD i = 0; i < n; ++i) {
    want[i] = static_cast<IDX16>(i + 1);
    wantbb[i] = static_cast<IDX16>(i + 1);
  }
  want[0] = 2;
  want[1] = 1;
  EXPECT_EQ(ord, want);
  EXPECT_EQ(bb, wantbb);
}

}  // namespace
