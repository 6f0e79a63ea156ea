// TRANSV and BLTARJ: maximum transversal and strong components of the
// sparse LU package's pattern.
//
// The transversal is found by depth-first augmenting paths with a cheap
// look-ahead (I. S. Duff, "On algorithms for obtaining a maximum
// transversal", ACM TOMS 7 (1981) 315-330); the components by Tarjan's
// algorithm in its non-recursive form (R. E. Tarjan, "Depth-first search
// and linear graph algorithms", SIAM J. Comput. 1 (1972) 146-160).
#include "sparselu/sparselu.hpp"

namespace orvika {

IWORD TRANSV(IWORD N, IV ICI, IWORD& NZ, IV IRP, RV IA, RV B, IWORD NRHS, IV MATCH, IWORD& NMATCH,
             IV PATH, IV POS, IV VISIT, IV SCAN, IV W40, IV W41, IWORD& RANK) {
  NMATCH = 0;
  if (N < 1) return 0;
  for (IWORD i = 1; i <= N; ++i) {
    POS(i) = IRP(i);
    VISIT(i) = 0;
    MATCH(i) = 0;
  }

  for (IWORD j = 1; j <= N; ++j) {
    IWORD r = j;
    PATH(j) = -1;
    bool fresh = true;  // r entered by a forward move: look ahead, then start its scan
    IWORD c = 0;
    for (;;) {
      if (fresh) {
        const IWORD end = IRP(r + 1);
        IWORD p = POS(r);
        while (p < end && MATCH(ICI(p)) != 0) ++p;
        if (p < end) {
          c = ICI(p);
          POS(r) = p + 1;
          break;
        }
        POS(r) = end;
        SCAN(r) = IRP(r);
      }
      // Depth-first extension through a column not yet visited in this pass.
      const IWORD end = IRP(r + 1);
      IWORD p = SCAN(r);
      while (p < end && VISIT(ICI(p)) == j) ++p;
      if (p < end) {
        const IWORD cc = ICI(p);
        VISIT(cc) = j;
        SCAN(r) = p + 1;
        const IWORD owner = MATCH(cc);
        PATH(owner) = r;
        r = owner;
        fresh = true;
        continue;
      }
      SCAN(r) = end;
      r = PATH(r);
      fresh = false;
      if (r == -1) break;
    }
    if (r == -1) continue;
    // Augment along the path back to row j.
    MATCH(c) = r;
    ++NMATCH;
    for (r = PATH(r); r != -1; r = PATH(r)) MATCH(ICI(SCAN(r) - 1)) = r;
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
    ICI.move(p, p + 1, NZ - p + 1);
    IA.move(p, p + 1, NZ - p + 1);
    ICI(p) = c;
    IA(p) = 100.0;
    ++NZ;
    for (IWORD q = i + 1; q <= N + 1; ++q) ++IRP(q);
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

}  // namespace orvika
