// MC23AD: block lower triangular preordering of row-sorted entries.
#include "frame/format.hpp"
#include "frame/units.hpp"
#include "ma28/ma28.hpp"

namespace orvika {

namespace {

void mc23_fail(IWORD unit, const char* text, IWORD num) {
  if (unit == 0) return;
  write_rec(unit, Rec().X(33).A(text).I(num, 6));
  write_rec(unit, Rec().A("+ERROR RETURN FROM MC23AD BECAUSE"));
}

}  // namespace

// A maximum transversal (AUGTRV) puts entries on the diagonal, the strong
// components of the row-permuted matrix (SCCORD) become the diagonal
// blocks.  The entries of the diagonal blocks move to the back of the
// arrays, last block first, while the off-diagonal entries stay at the
// front, compacted only when the gap between the two parts runs short.
// Cost O(N + NZ) plus the transversal search and the compactions.
void MC23AD(IWORD n, IDX16* colnum, double* entval, IWORD licn, IDX16* rowlen, IWORD* pair,
            IDX16* rowprm, IDX16* colprm, IDX16* offlen, IDX16* work16, IV work64) {
  Vec1<IDX16> cn(colnum), rl(rowlen), rp(rowprm), cp(colprm), ol(offlen), w16(work16);
  Vec1<double> v(entval);
  IV rowpos = work64, trvpos = work64.sub(n + 1);
  IWORD& lufrst = pair[0];
  IWORD& lulast = pair[1];
  const IWORD unit = ORVK_MC23BD.MSGUNT;

  // 1. Input row starts.
  IWORD s = 1;
  for (IWORD i = 1; i <= n; ++i) {
    ol(i) = rl(i);
    rowpos(i) = s;
    s += rl(i);
  }
  lufrst = s;
  const IWORD nz = s - 1;

  // 2-3. Transversal.
  IWORD numnz = 0;
  AUGTRV(n, colnum, licn, rowpos, rowlen, rowprm, numnz, work16, work16 + n, work16 + 2 * n,
         work16 + 3 * n, work16 + 4 * n, n + 1);
  ORVK_MC23BD.TRVSIZ = numnz;
  if (numnz != n && is_true(ORVK_MC23BD.STPSTR)) {
    mc23_fail(unit, " MATRIX IS STRUCTURALLY SINGULAR, RANK = ", numnz);
    lufrst = -1;
    return;
  }

  // 4. Rows in transversal order.
  for (IWORD k = 1; k <= n; ++k) {
    trvpos(k) = static_cast<IWORD>(rowpos(rp(k)));
    rl(k) = ol(rp(k));
  }

  // 5. Strong components; NEWPOS (places N+1..2N) is the inverse ordering.
  IWORD nblock = 0;
  IDX16* blkbeg = work16 + 3 * n;
  SCCORD(n, colnum, licn, trvpos, rowlen, colprm, blkbeg, nblock, work16, work16 + n,
         work16 + 2 * n);
  ORVK_MC23BD.NBLOCK = nblock;
  Vec1<IDX16> newpos(work16 + n), bb(blkbeg);

  // 6. One block: identity permutations, entries to the back unchanged.
  if (nblock == 1) {
    for (IWORD i = 1; i <= n; ++i) {
      rl(i) = ol(i);
      rp(i) = i16(i);
      cp(i) = i16(i);
    }
    ORVK_MC23BD.MAXBLK = n;
    ol(1) = -1;
    lufrst = 1;
    lulast = licn - nz + 1;
    if (nz > 0 && nz < licn) {
      for (IWORD p = nz; p >= 1; --p) {
        v(p + licn - nz) = v(p);
        cn(p + licn - nz) = cn(p);
      }
    }
    return;
  }

  // 7. Composed row permutation.
  for (IWORD k = 1; k <= n; ++k) w16(k) = rp(cp(k));
  for (IWORD k = 1; k <= n; ++k) rp(k) = w16(k);

  // 8. Diagonal-block entries to the back, last block first.
  IWORD kb = licn + 1, jmin = licn + 1, maxblk = 0;
  auto compact = [&]() {
    IWORD t = jmin;
    for (IWORD p = jmin; p <= lufrst - 1; ++p) {
      if (cn(p) == 0) continue;
      v(t) = v(p);
      cn(t) = cn(p);
      ++t;
    }
    lufrst = t;
  };
  for (IWORD b = nblock; b >= 1; --b) {
    const IWORD sb = bb(b);
    const IWORD e = (b == nblock) ? n : bb(b + 1) - 1;
    if (e - sb + 1 > maxblk) maxblk = e - sb + 1;
    for (IWORD k = e; k >= sb; --k) {
      const IWORD r = rp(k);
      const IWORD len = ol(r);
      if (kb - lufrst < len) {
        if (jmin > lufrst - 1) {
          ORVK_MC23BD.MAXBLK = maxblk;
          mc23_fail(unit, " LICN NOT BIG ENOUGH INCREASE BY ", n);
          lufrst = -2;
          return;
        }
        compact();
        if (kb - lufrst < len) {
          ORVK_MC23BD.MAXBLK = maxblk;
          mc23_fail(unit, " LICN NOT BIG ENOUGH INCREASE BY ", n);
          lufrst = -2;
          return;
        }
        jmin = licn + 1;
        IWORD st = 1;
        for (IWORD i = 1; i <= n; ++i) {
          rowpos(i) = st;
          st += ol(i);
        }
      }
      IWORD moved = 0;
      const IWORD a = rowpos(r);
      for (IWORD p = a + len - 1; p >= a; --p) {
        const IWORD c = cn(p);
        if (newpos(c) < sb) continue;
        --kb;
        v(kb) = v(p);
        cn(kb) = newpos(c);
        cn(p) = 0;
        if (p < jmin) jmin = p;
        ++moved;
      }
      ol(r) = i16(len - moved);
      rl(k) = i16(moved);
    }
    rp(e) = i16(-rp(e));
  }
  // 9-10.
  ORVK_MC23BD.MAXBLK = maxblk;
  rp(n) = i16(-rp(n));
  lulast = kb;
  if (jmin <= licn) compact();
}

}  // namespace orvika
