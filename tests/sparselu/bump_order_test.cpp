// The bump rules of the spike orderings (options 1-4) against a plain
// reference that searches the whole segment for the least count at every
// step and takes the candidates in segment order. The library keeps the
// rows in count bins instead; every array the ordering leaves behind must
// come out the same, on random patterns, on flowsheet-like patterns with
// large blocks, and on patterns where whole blocks tie.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sparselu/sp_test_util.hpp"

namespace {

using namespace sptest;
using Rows = std::vector<std::vector<IWORD>>;

// The arrays of one ordering run.
struct Run {
  Csr m;
  IWORD n = 0;
  std::vector<double> b;
  std::vector<IWORD> iorn, w18, w28, w34, w39, w40, w41;
  ORVK_SPOPT2_T opt{};
  IWORD ierr = 0;

  Run(const Rows& rows, const std::vector<IWORD>& start) : m(Csr::from_rows(rows)), n(m.n) {
    b.assign(static_cast<std::size_t>(2 * n), 1.0);
    iorn = start;
    iorn.push_back(0);
    w18.assign(static_cast<std::size_t>(n + 2), 0);
    w28.assign(static_cast<std::size_t>(4 * n + 1), 0);
    w34.assign(static_cast<std::size_t>(m.nz + n), 0);
    w39.assign(static_cast<std::size_t>(n + 1), 0);
    w40.assign(static_cast<std::size_t>(n), 1);
    w41.assign(static_cast<std::size_t>(n), 1);
    opt.CHKMODE = 2;
  }
};

// The old bump rule, written straight from its definition: each step scans
// the segment for the least positive count, then its candidates in segment
// order (rule 1: largest column weight, the later row on a tie; rule 2:
// least D, most K, largest weight, the earlier row on a full tie).
void reference_bump(Run& r, IWORD& rtail, IWORD& ctail, IWORD& rtail2, bool rule2) {
  const IWORD n = r.n;
  auto IRP = [&](IWORD i) { return r.m.irp[i - 1]; };
  auto ICI = [&](IWORD p) { return r.m.ici[p - 1]; };
  auto CP = [&](IWORD j) { return r.w28[j - 1]; };
  auto RCNT = [&](IWORD i) -> IWORD& { return r.w28[n + 1 + i - 1]; };
  auto CCNT = [&](IWORD j) -> IWORD& { return r.w28[2 * n + 1 + j - 1]; };
  auto MARK = [&](IWORD i) -> IWORD& { return r.w28[3 * n + 1 + i - 1]; };
  auto RI = [&](IWORD q) { return r.w34[q - 1]; };
  auto LINK = [&](IWORD i) -> IWORD& { return r.w18[i - 1]; };
  auto IORN = [&](IWORD k) -> IWORD& { return r.iorn[k - 1]; };
  if (rule2)
    for (IWORD i = 1; i <= n; ++i) MARK(i) = 0;

  IWORD head = 0;
  auto place = [&](IWORD row) {
    RCNT(row) = -rtail;
    rtail = row;
    for (IWORD p = IRP(row); p < IRP(row + 1); ++p) {
      const IWORD j = ICI(p);
      if (CCNT(j) <= 0) continue;
      CCNT(j) = -ctail;
      ctail = j;
      for (IWORD q = CP(j); q < CP(j + 1); ++q) {
        const IWORD r2 = RI(q);
        if (RCNT(r2) <= 0) continue;
        if (--RCNT(r2) == 0) {
          RCNT(r2) = -rtail;
          rtail = r2;
        } else if (RCNT(r2) == 1) {
          LINK(r2) = -head;
          head = r2;
        }
      }
    }
  };
  auto weight = [&](IWORD row) {
    IWORD s = 0;
    for (IWORD p = IRP(row); p < IRP(row + 1); ++p)
      if (CCNT(ICI(p)) > 0) s += CCNT(ICI(p));
    return s;
  };

  for (IWORD first = 1; first <= n;) {
    IWORD last = first;
    while (last < n && IORN(last) >= 0) ++last;
    IORN(last) = std::abs(IORN(last));
    for (;;) {
      IWORD m = 0;
      for (IWORD k = first; k <= last; ++k)
        if (RCNT(IORN(k)) > 0 && (m == 0 || RCNT(IORN(k)) < m)) m = RCNT(IORN(k));
      if (m == 0) break;
      IWORD best = 0, sbest = -1, dbest = n + 1, kbest = 0;
      for (IWORD k = first; k <= last; ++k) {
        const IWORD row = IORN(k);
        if (RCNT(row) != m) continue;
        const IWORD s = weight(row);
        if (!rule2) {
          if (s >= sbest) best = row, sbest = s;
          continue;
        }
        std::vector<IWORD> met;
        for (IWORD p = IRP(row); p < IRP(row + 1); ++p) {
          const IWORD j = ICI(p);
          if (CCNT(j) <= 0) continue;
          for (IWORD q = CP(j); q < CP(j + 1); ++q) {
            const IWORD r2 = RI(q);
            if (r2 == row || RCNT(r2) <= 0) continue;
            if (MARK(r2)++ == 0) met.push_back(r2);
          }
        }
        IWORD d = n + 1, kd = 0;
        for (IWORD r2 : met) {
          const IWORD left = RCNT(r2) - MARK(r2);
          if (left < d) d = left, kd = 1;
          else if (left == d) ++kd;
          MARK(r2) = 0;
        }
        if (best == 0 || d < dbest || (d == dbest && kd > kbest) || (d == dbest && kd == kbest && s > sbest))
          best = row, dbest = d, kbest = kd, sbest = s;
      }
      place(best);
      while (head != 0) {
        const IWORD row = head;
        head = -LINK(row);
        if (RCNT(row) == 1) place(row);
      }
    }
    first = last + 1;
  }
  for (IWORD t = rtail2; t != 0;) {
    const IWORD next = -RCNT(t);
    RCNT(t) = -rtail;
    rtail = t;
    t = next;
  }
  rtail2 = 0;
  IWORD row = rtail;
  for (IWORD k = n; k >= 1 && row != 0; --k) {
    IORN(k) = row;
    row = -RCNT(row);
  }
}

// The ordering's calling sequence with the reference bump rule in place of
// the library's.
void reference_order(Run& r, IWORD ordopt) {
  const IWORD n = r.n;
  IV w28 = iv(r.w28);
  IV CP = w28.sub(1, n + 1), RCNT = w28.sub(n + 2, n), CCNT = w28.sub(2 * n + 2, n), MARK = w28.sub(3 * n + 2, n);
  if (ordopt >= 3) {
    orvika::BLOCK(n, iv(r.m.ici), r.m.nz, 0, iv(r.m.irp), rv(r.m.a), rv(r.b), 1, CP, iv(r.iorn), MARK, iv(r.w39),
                  RCNT, CCNT, iv(r.w40), iv(r.w41), r.ierr, r.opt);
    if (r.ierr < 0) return;
  }
  orvika::SPTRAN(n, r.m.nz, iv(r.m.irp), iv(r.m.ici), iv(r.iorn), iv(r.w18), CP, iv(r.w34), RCNT, CCNT);
  IWORD rtail = 0, ctail = 0, rtail2 = 0, ctail2 = 0;
  orvika::TRIANG(n, r.m.nz, 1, n, rtail, ctail, iv(r.m.irp), iv(r.m.ici), iv(r.iorn), iv(r.w18), CP, iv(r.w34),
                 RCNT, CCNT, r.ierr);
  if (r.ierr < 0) return;
  orvika::TRIANG(n, r.m.nz, 1, n, ctail2, rtail2, CP, iv(r.w34), iv(r.w18), iv(r.iorn), iv(r.m.irp), iv(r.m.ici),
                 CCNT, RCNT, r.ierr);
  if (r.ierr < 0) return;
  reference_bump(r, rtail, ctail, rtail2, ordopt == 2 || ordopt == 4);
  orvika::SPIKE(n, iv(r.m.irp), iv(r.m.ici), iv(r.iorn), iv(r.w39), iv(r.w18), r.ierr);
}

// Runs the library and the reference from the same start; "" when every
// array agrees, else the first that differs.
std::string compare_with_reference(const Rows& rows, const std::vector<IWORD>& start, IWORD ordopt) {
  Run lib(rows, start), ref(rows, start);
  orvika::TALLY(lib.n, lib.m.nz, 0, iv(lib.m.irp), iv(lib.m.ici), rv(lib.m.a), rv(lib.b), 1, iv(lib.iorn),
                iv(lib.w18), iv(lib.w28), iv(lib.w34), ordopt, lib.opt, iv(lib.w39), iv(lib.w40), iv(lib.w41),
                lib.ierr);
  reference_order(ref, ordopt);
  if (lib.ierr != ref.ierr) return "IERR " + std::to_string(lib.ierr) + " vs " + std::to_string(ref.ierr);
  if (lib.ierr < 0) return "";  // both refused before the bump
  if (lib.iorn != ref.iorn) return "IORN";
  if (lib.w18 != ref.w18) return "W18";
  if (lib.w39 != ref.w39) return "W39";
  if (lib.w28 != ref.w28) return "W28";
  if (lib.w34 != ref.w34) return "W34";
  if (lib.m.nz != ref.m.nz || lib.m.ici != ref.m.ici || lib.m.irp != ref.m.irp) return "pattern";
  return "";
}

// Flowsheet-like: units of 2..MAXU equations, each dense with probability
// FILL and with its diagonal, fed by the last columns of upstream units,
// with recycles from downstream units that merge units into large blocks;
// rows permuted inside each unit.
Rows flowsheet_like(std::mt19937_64& rng, IWORD n, IWORD maxu, double fill, double recycle) {
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
    if (u > 0) feeds.push_back(u - 1);
    if (u > 1 && u01(rng) < 0.5) feeds.push_back(u - 2 - static_cast<IWORD>(rng() % static_cast<std::uint64_t>(std::min<IWORD>(u - 1, 5))));
    if (u + 1 < units && u01(rng) < recycle)
      feeds.push_back(u + 1 + static_cast<IWORD>(rng() % static_cast<std::uint64_t>(std::min<IWORD>(units - u - 1, 8))));
    for (IWORD i = 0; i < size[u]; ++i) {
      std::set<IWORD> cols{first[u] + i};
      for (IWORD j = 0; j < size[u]; ++j)
        if (u01(rng) < fill) cols.insert(first[u] + j);
      for (IWORD src : feeds) cols.insert(first[src] + size[src] - 1 - static_cast<IWORD>(rng() % 2 % static_cast<std::uint64_t>(size[src])));
      rows[static_cast<std::size_t>(first[u] + perm[static_cast<std::size_t>(i)] - 1)].assign(cols.begin(), cols.end());
    }
  }
  return rows;
}

// Every row has the same count: row i holds columns i, i+1, ..., i+W-1
// (cyclically), so the whole matrix is one block where every selection is
// a tie among all remaining rows.
Rows cyclic_band(IWORD n, IWORD w) {
  Rows rows(static_cast<std::size_t>(n));
  for (IWORD i = 0; i < n; ++i) {
    std::set<IWORD> cols;
    for (IWORD t = 0; t < w; ++t) cols.insert(1 + (i + t) % n);
    rows[static_cast<std::size_t>(i)].assign(cols.begin(), cols.end());
  }
  return rows;
}

struct Case {
  const char* kind;
  int trials;
  IWORD maxn;
};

// The starting row order: the identity, or (SHUFFLE) a random one; with
// SEGMENTS some entries negative, which closes segments in orderings 1, 2.
std::vector<IWORD> start_order(std::mt19937_64& rng, IWORD n, bool shuffle, bool segments) {
  std::vector<IWORD> s(static_cast<std::size_t>(n));
  std::iota(s.begin(), s.end(), 1);
  if (shuffle) std::shuffle(s.begin(), s.end(), rng);
  if (segments)
    for (IWORD k = 0; k < n; ++k)
      if (rng() % 7 == 0) s[static_cast<std::size_t>(k)] = -s[static_cast<std::size_t>(k)];
  return s;
}

TEST(SpBumpOrder, SameArraysAsTheSegmentScan) {
  const Case cases[] = {{"random", 120, 150},       {"random-dense", 40, 120}, {"flowsheet", 30, 1500},
                        {"flowsheet-big-blocks", 12, 2500}, {"cyclic-ties", 12, 900}};
  std::mt19937_64 rng(17017);
  for (const Case& c : cases) {
    for (int trial = 0; trial < c.trials; ++trial) {
      const std::string kind = c.kind;
      const IWORD n = 2 + static_cast<IWORD>(rng() % static_cast<std::uint64_t>(c.maxn - 1));
      Rows rows;
      if (kind == "random")
        rows = random_rows(rng, n, 1.0 + static_cast<double>(rng() % 5), rng() % 4 != 0);
      else if (kind == "random-dense")
        rows = random_rows(rng, n, 2.0 + static_cast<double>(rng() % static_cast<std::uint64_t>(n)) / 3.0, true);
      else if (kind == "flowsheet")
        rows = flowsheet_like(rng, n, 4 + static_cast<IWORD>(rng() % 12), 0.3, 0.2);
      else if (kind == "flowsheet-big-blocks")
        rows = flowsheet_like(rng, n, 20 + static_cast<IWORD>(rng() % 200), 0.05, 0.6);
      else
        rows = cyclic_band(n, 2 + static_cast<IWORD>(rng() % 4));
      if (kind != "cyclic-ties" || trial % 2 == 1) std::shuffle(rows.begin(), rows.end(), rng);
      const bool shuffle = rng() % 2 == 0;
      const bool segments = rng() % 3 == 0;
      const std::vector<IWORD> start = start_order(rng, n, shuffle, segments);
      for (IWORD ord = 1; ord <= 4; ++ord) {
        SCOPED_TRACE(testing::Message() << kind << " trial " << trial << " n " << n << " ORDOPT " << ord
                                        << (shuffle ? " shuffled" : "") << (segments ? " segments" : ""));
        ASSERT_EQ(compare_with_reference(rows, start, ord), "");
      }
    }
  }
}

}  // namespace
