// P4, P4I, GETCOL: the P4 ordering of the sparse LU package (ordering
// option 5): block triangularisation, then within each block columns are
// chosen from the rows with the fewest free columns, a row taking its step
// when its last free column is chosen.  After the preassigned pivot
// procedure P4 of E. Hellerman and D. C. Rarick, "The partitioned
// preassigned pivot procedure (P4)", in Sparse Matrices and their
// Applications, Plenum (1972) 67-76.
#include "sparselu/sparselu.hpp"

namespace orvika {

namespace {

// Count lists of the rows of one block: HEAD(k) (in IORN(1..s)), NEXT, PREV.
struct CountLists {
  IV head, next, prev;
  void push(IWORD r, IWORD k) {
    const IWORD h = head(k);
    next(r) = h;
    prev(r) = 0;
    if (h != 0) prev(h) = r;
    head(k) = r;
  }
  void unlink(IWORD r, IWORD k) {
    const IWORD n = next(r);
    const IWORD p = prev(r);
    if (p != 0)
      next(p) = n;
    else
      head(k) = n;
    if (n != 0) prev(n) = p;
  }
};

}  // namespace

void GETCOL(IWORD NROW, IWORD NCOL, IV IRP, IV ICI, IV CP, IV RI) {
  for (IWORD j = 1; j <= NCOL; ++j) CP(j) = 0;
  for (IWORD k = IRP(1); k < IRP(NROW + 1); ++k) ++CP(ICI(k));
  IWORD s = 1;
  for (IWORD j = 1; j <= NCOL; ++j) {
    s += CP(j);
    CP(j) = s;
  }
  CP(NCOL + 1) = s;
  for (IWORD i = NROW; i >= 1; --i) {
    for (IWORD k = IRP(i); k < IRP(i + 1); ++k) {
      const IWORD j = ICI(k);
      --CP(j);
      RI(CP(j)) = i;
    }
  }
}

void P4I(IWORD N, IWORD& NZ, IWORD& WORD, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, RV B, IWORD NRHS,
         IV W18, IV W34, IV IORN, IV W39, IV RC, IV CS, IV NEXT, IV PREV, IV W40, IV W41,
         IWORD CHKMODE, IWORD& IERR) {
  if (N < 1) return;
  NZ = IRP(N + 1) - 1;

  // Block triangular form.
  IWORD rank = 0;
  IWORD nmatch = 0;
  const IWORD st = TRANSV(N, ICI, NZ, IRP, IA, B, NRHS, RC, nmatch, CS, IORN, W39, PREV, W40, W41, rank);
  if (st == kSpNoRoom) {
    IERR = kSpNoRoom;
    return;
  }
  if (st != 0) {
    if (CHKMODE < 3 && MSGUNIT != 0)
      sp_message(MSGUNIT, SpLine().t("MATRIX IS STRUCTURALLY SINGULAR, RANK =").i(rank),
                 SpLine().t("NUMBER OF ROWS =").i(N).tag("P4I"));
    IERR = kSpStructSing;
    return;
  }
  block_row_order(N, ICI, NZ, IRP, RC, IORN, PREV, W39, CS, NEXT);

  if (W34.size() < NZ) {
    IERR = kSpNoRoom;
    return;
  }
  GETCOL(N, N, IRP, ICI, W18, W34);
  IV CP = W18;
  IV RI = W34;

  for (IWORD i = 1; i <= N; ++i) {
    RC(i) = 0;
    CS(i) = 0;
  }
  IWORD step = 0;
  IWORD p = 0;  // positions 1..p belong to the blocks done
  while (p < N) {
    IWORD e = p + 1;
    while (e < N && IORN(e) > 0) ++e;
    const IWORD s = e - p;
    if (s == 1) {
      const IWORD r = IORN(e) < 0 ? -IORN(e) : IORN(e);
      ++step;
      RC(r) = -step;
      for (IWORD q = IRP(r); q < IRP(r + 1); ++q) {
        if (CS(ICI(q)) >= 0) {
          CS(ICI(q)) = -step;
          break;
        }
      }
      p = e;
      continue;
    }

    // Count the free columns of the block's rows; build the count lists.
    for (IWORD k = p + 1; k <= e; ++k) W39(k) = IORN(k) < 0 ? -IORN(k) : IORN(k);
    for (IWORD k = 1; k <= s; ++k) IORN(k) = 0;
    CountLists L{IORN.sub(1, s), NEXT, PREV};
    for (IWORD k = p + 1; k <= e; ++k) {
      const IWORD r = W39(k);
      IWORD cnt = 0;
      for (IWORD q = IRP(r); q < IRP(r + 1); ++q) {
        const IWORD c = ICI(q);
        if (CS(c) >= 0) {
          ++cnt;
          ++CS(c);
        }
      }
      RC(r) = cnt;
      L.push(r, cnt);
    }

    IWORD placed = 0;
    while (placed < s) {
      IWORD col = 0;
      const IWORD h1 = L.head(1);
      if (h1 != 0 && NEXT(h1) == 0) {
        for (IWORD q = IRP(h1); q < IRP(h1 + 1); ++q) {
          if (CS(ICI(q)) > 0) {
            col = ICI(q);
            break;
          }
        }
      }
      if (col == 0) {
        IWORD m = 0;
        for (IWORD k = 1; k <= s; ++k) {
          if (L.head(k) != 0) {
            m = k;
            break;
          }
        }
        if (m == 0) break;  // no free row left: cannot happen in a matched block
        // Scores: the rows of list m, then up to two further lists while no
        // column is shared by two of the rows scored.
        auto add_list = [&](IWORD k) {
          for (IWORD r = L.head(k); r != 0; r = NEXT(r))
            for (IWORD q = IRP(r); q < IRP(r + 1); ++q) ++W39(ICI(q));
        };
        IWORD rec = 0;
        auto visit = [&]() {
          for (IWORD r = L.head(m); r != 0; r = NEXT(r)) {
            for (IWORD q = IRP(r); q < IRP(r + 1); ++q) {
              const IWORD c = ICI(q);
              if (CS(c) <= 0) continue;
              const IWORD sc = W39(c);
              if (col == 0 || sc > rec || (sc == rec && CS(c) > CS(col))) {
                col = c;
                rec = sc;
              }
            }
          }
        };
        for (IWORD r = L.head(m); r != 0; r = NEXT(r))
          for (IWORD q = IRP(r); q < IRP(r + 1); ++q) W39(ICI(q)) = 0;
        add_list(m);
        visit();
        WORD = m;
        if (m >= 2 && rec == 1) {
          if (m + 1 <= s && L.head(m + 1) != 0) {
            add_list(m + 1);
            visit();
          }
          if (rec <= 1) {
            IWORD k = m + 2;
            while (k <= s && L.head(k) == 0) ++k;
            if (k <= s) {
              add_list(k);
              visit();
            }
          }
        }
      }
      if (col == 0) break;

      // Choose the column: rows whose last free column it is take their steps.
      CS(col) = -1;
      for (IWORD q = CP(col); q < CP(col + 1); ++q) {
        const IWORD r2 = RI(q);
        const IWORD cnt = RC(r2);
        if (cnt <= 0) continue;
        L.unlink(r2, cnt);
        if (cnt == 1) {
          ++step;
          RC(r2) = -step;
          ++placed;
        } else {
          RC(r2) = cnt - 1;
          L.push(r2, cnt - 1);
        }
      }
    }
    p = e;
  }

  for (IWORD r = 1; r <= N; ++r) {
    const IWORD st2 = -RC(r);
    if (st2 < 1 || st2 > N) {  // a row left without a step: structurally singular
      IERR = kSpStructSing;
      return;
    }
    IORN(st2) = r;
  }
  SPIKE(N, IRP, ICI, IORN, W39, W18, IERR);
}

void P4(IWORD N, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, RV B, IWORD NRHS, IV W18, IV IORN,
        IV W39, IV W28, IV W34, IV W40, IV W41, const ORVK_SPOPT2_T& OPT2, IWORD& IERR) {
  if (N < 1) return;
  if (IRP.size() < N + 1 || W18.size() < N + 1 || IORN.size() < N || W39.size() < N ||
      W28.size() < 4 * N || W40.size() < N || W41.size() < N) {
    IERR = kSpNoRoom;
    return;
  }
  // The pattern must be a row-form matrix of order N.
  if (IRP(1) != 1 || IRP(N + 1) - 1 > ICI.size()) {
    IERR = kSpRowCount;
    return;
  }
  for (IWORD i = 1; i <= N; ++i) {
    if (IRP(i + 1) < IRP(i)) {
      IERR = kSpRowCount;
      return;
    }
  }
  for (IWORD k = 1; k < IRP(N + 1); ++k) {
    const IWORD j = ICI(k);
    if (j < 1 || j > N) {
      IERR = j < 1 ? kSpColLow : kSpColHigh;
      return;
    }
  }
  // A row's free-column count indexes the count lists of its block, which
  // has room for one list per row of the block: a column repeated in a row
  // would count twice and overrun them.  W39 (scratch until the
  // transversal) marks the row that last met each column.
  W39.fill(1, N, 0);
  for (IWORD i = 1; i <= N; ++i) {
    for (IWORD k = IRP(i); k < IRP(i + 1); ++k) {
      const IWORD j = ICI(k);
      if (W39(j) == i) {
        IERR = kSpRepeated;
        return;
      }
      W39(j) = i;
    }
  }
  IWORD word = 0;
  P4I(N, NZ, word, MSGUNIT, IRP, ICI, IA, B, NRHS, W18, W34, IORN, W39, W28.sub(1, N),
      W28.sub(N + 1, N), W28.sub(2 * N + 1, N), W28.sub(3 * N + 1, N), W40, W41, OPT2.CHKMODE, IERR);
}

}  // namespace orvika
