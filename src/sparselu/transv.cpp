// TRANSV and BLTARJ: maximum transversal and strong components of the
// sparse LU package's pattern.
//
// The transversal is found by depth-first augmenting paths with a cheap
// look-ahead (I. S. Duff, "On algorithms for obtaining a maximum
// transversal", ACM TOMS 7 (1981) 315-330); the components by Tarjan's
// algorithm in its non-recursive form (R. E. Tarjan, "Depth-first search
// and linear graph algorithms", SIAM J. Comput. 1 (1972) 146-160).
#include <limits>

#include "sparselu/sparselu.hpp"
#include "frame/wspan.hpp"

namespace orvika {

// The search for row j is a depth-first walk on the directed graph row ->
// its columns, column -> its matched row.  Alongside it Tarjan's low-link
// bookkeeping finds the walked regions that close on themselves: when a
// row's scan ends and no column seen from its subtree was entered before
// the row's own column (and is still open), the row's column and the open
// columns entered after it reach only matched columns, all of which were
// seen.  Such a region is dead: no augmenting path can ever pass through
// it, because any path entering it would have to leave it towards an
// unmatched column; so later augmentations never alter its matching and it
// stays dead for the rest of the search.  Dead columns are marked once and
// skipped like columns visited in the current pass.  The plain search would
// re-enter a dead region and walk it to its end without result, leaving
// unchanged the columns it visits afterwards, the path it finds and every
// row's look-ahead and scan positions (both stand at the row's end once the
// row has been scanned); skipping it therefore finds the same matching with
// each column walked to no purpose at most once.
//
// VISIT(c) holds the entry number of column c (numbers rise across the
// passes; a pass's own numbers start at FIRST, so VISIT(c) >= FIRST means
// "seen in this pass or dead"), or kDead.  The low link of a row on the
// current path is kept in POS(r), whose look-ahead value is the row's end
// while the row is on the path, and is restored when the row leaves it.
// The open columns of scanned rows form a stack linked through PATH of
// their rows (a scanned row needs its parent no more).
IWORD TRANSV(IWORD N, IV ICI, IWORD& NZ, IV IRP, RV IA, RV B, IWORD NRHS, IV MATCH, IWORD& NMATCH,
             IV PATH, IV POS, IV VISIT, IV SCAN, IV W40, IV W41, IWORD& RANK) {
  constexpr IWORD kDead = std::numeric_limits<IWORD>::max();
  NMATCH = 0;
  if (N < 1) return 0;
  for (IWORD i = 1; i <= N; ++i) {
    POS(i) = IRP(i);
    VISIT(i) = 0;
    MATCH(i) = 0;
  }
  // The search runs over unchecked spans, their bounds checked here once.
  const WSpan<IWORD> irp = span(IRP, 1, N + 1);
  const WSpan<IWORD> ici = span(ICI, 1, IRP(N + 1) - 1);
  const WSpan<IWORD> match = span(MATCH, 1, N);
  const WSpan<IWORD> path = span(PATH, 1, N);
  const WSpan<IWORD> pos = span(POS, 1, N);
  const WSpan<IWORD> visit = span(VISIT, 1, N);
  const WSpan<IWORD> scan = span(SCAN, 1, N);

  IWORD number = 0;  // entry numbers given so far
  for (IWORD j = 1; j <= N; ++j) {
    const IWORD first = number + 1;
    IWORD r = j;
    path.set(j, -1);
    bool fresh = true;  // r entered by a forward move: look ahead, then start its scan
    IWORD c = 0;
    IWORD low = first;  // low link of r
    IWORD open = 0;     // top of the stack of open columns of scanned rows
    for (;;) {
      if (fresh) {
        const IWORD end = irp[r + 1];
        IWORD p = pos[r];
        while (p < end && match[ici[p]] != 0) ++p;
        if (p < end) {
          c = ici[p];
          pos.set(r, p + 1);
          break;
        }
        scan.set(r, irp[r]);
      }
      // Depth-first extension through a column neither seen in this pass
      // nor dead; the columns passed over lower the low link.
      const IWORD end = irp[r + 1];
      IWORD p = scan[r];
      for (; p < end; ++p) {
        const IWORD v = visit[ici[p]];
        if (v < first) break;
        if (v < low) low = v;
      }
      if (p < end) {
        const IWORD cc = ici[p];
        visit.set(cc, ++number);
        scan.set(r, p + 1);
        pos.set(r, low);
        const IWORD owner = match[cc];
        path.set(owner, r);
        r = owner;
        low = number;
        fresh = true;
        continue;
      }
      scan.set(r, end);
      pos.set(r, end);
      const IWORD q = path[r];
      if (q == -1) {
        r = -1;
        break;
      }
      // r's scan is over: its column either closes a dead region or stays
      // open with its low link passed to the parent.
      const IWORD cr = ici[scan[q] - 1];
      const IWORD num = visit[cr];
      const IWORD plow = pos[q];
      if (low >= num) {
        while (open != 0 && visit[open] > num) {
          const IWORD below = path[match[open]];
          visit.set(open, kDead);
          open = below;
        }
        visit.set(cr, kDead);
        low = plow;
      } else {
        path.set(r, open);
        open = cr;
        low = std::min(plow, low);
      }
      r = q;
      fresh = false;
    }
    if (r == -1) continue;
    // Augment along the path back to row j; the rows left on the path get
    // their look-ahead position (the row's end) back.
    match.set(c, r);
    ++NMATCH;
    for (r = path[r]; r != -1; r = path[r]) {
      match.set(ici[scan[r] - 1], r);
      pos.set(r, irp[r + 1]);
    }
  }
  if (NMATCH == N) return 0;

  // Completion: pair unmatched rows with unmatched columns, both ascending,
  // through artificial entries.
  if (NZ + (N - NMATCH) > std::min(ICI.size(), IA.size())) return kSpNoRoom;
  IWORD nfree = 0;
  for (IWORD i = 1; i <= N; ++i) POS(i) = 0;
  for (IWORD c = 1; c <= N; ++c) {
    if (MATCH(c) != 0)
      POS(MATCH(c)) = c;
    else
      SCAN(++nfree) = c;
  }
  IWORD status = 0;
  IWORD k = 0;
  for (IWORD i = 1; i <= N; ++i) {
    if (POS(i) != 0) continue;
    const IWORD c = SCAN(++k);
    MATCH(c) = i;
    if (W41(c) != 0 && status == 0) {
      status = 1;
      RANK = NMATCH;
    }
    const IWORD end = IRP(i + 1);
    IWORD p = IRP(i);
    while (p < end && ICI(p) < c) ++p;
    insert_entry(N, NZ, IRP, ICI, IA, i, p, c, 100.0);
    if (W40(i) == 0) {
      B(i) = 0.0;
      if (NRHS > 1) B(N + i) = 0.0;
    }
    W41(c) = -i;
    ++NMATCH;
  }
  return status;
}

void BLTARJ(IWORD N, IV ICI, IWORD NZ, IV IRP, IV MATCH, IV POSP, IV STACK, IWORD& NBLOCK, IV LOW,
            IV NUM, IV PARENT) {
  NBLOCK = 0;
  if (N < 1) return;
  for (IWORD r = 1; r <= N; ++r) POSP(r) = IRP(r);
  for (IWORD v = 1; v <= N; ++v) NUM(v) = 0;
  IWORD closed = 0;

  for (IWORD j = 1; j <= N && closed < N; ++j) {
    if (NUM(j) != 0) continue;
    IWORD s = 1;
    NUM(j) = 1;
    LOW(j) = 1;
    STACK(N) = j;
    IWORD v = j;
    for (;;) {
      // Advance from v through its matched row.
      const IWORD r = MATCH(v);
      const IWORD end = IRP(r + 1);
      IWORD p = POSP(r);
      bool down = false;
      for (; p < end; ++p) {
        const IWORD w = ICI(p);
        if (NUM(w) == 0) {
          POSP(r) = p + 1;
          PARENT(w) = v;
          ++s;
          NUM(w) = s;
          LOW(w) = s;
          STACK(N + 1 - s) = w;
          v = w;
          down = true;
          break;
        }
        if (LOW(w) < LOW(v)) LOW(v) = LOW(w);
      }
      if (down) continue;
      POSP(r) = end;
      if (LOW(v) >= NUM(v)) {
        // v roots a component: pop it, top first, then record where it
        // starts (the record may take the word the top column held).
        const IWORD start = closed + 1;
        const IWORD depth = NUM(v);
        for (IWORD t = s; t >= depth; --t) {
          const IWORD x = STACK(N + 1 - t);
          ++closed;
          NUM(x) = closed;
          LOW(x) = N + 1;
        }
        ++NBLOCK;
        STACK(NBLOCK) = start;
        s = depth - 1;
        if (s == 0) break;
      }
      const IWORD c = v;
      v = PARENT(v);
      if (LOW(c) < LOW(v)) LOW(v) = LOW(c);
    }
  }
  for (IWORD v = 1; v <= N; ++v) POSP(NUM(v)) = v;
}

void block_row_order(IWORD N, IV ICI, IWORD NZ, IV IRP, IV MATCH, IV IORN, IV STACK, IV LOW,
                     IV NUM, IV PARENT) {
  IWORD nblock = 0;
  BLTARJ(N, ICI, NZ, IRP, MATCH, IORN, STACK, nblock, LOW, NUM, PARENT);
  for (IWORD k = 1; k <= N; ++k) IORN(k) = MATCH(IORN(k));
  for (IWORD b = 2; b <= nblock; ++b) IORN(STACK(b) - 1) = -IORN(STACK(b) - 1);
  IORN(N) = -IORN(N);
}

}  // namespace orvika
