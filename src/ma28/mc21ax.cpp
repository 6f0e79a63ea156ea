// ORVK_MC21AX and AUGTRV: a maximum transversal of a sparse matrix by
// depth-first search for augmenting paths.
#include "ma28/ma28.hpp"

namespace orvika {

// Rows are taken by increasing length (equal lengths: higher row number
// first).  Each row first tries a cheap assignment to a free column (every
// entry is tried once over the whole run), then searches for an augmenting
// path depth first, each column reached at most once per pass.
void AUGTRV(IWORD n, const IDX16* colnum, IWORD /*licn*/, IV rowpos, const IDX16* rowlen,
            IDX16* rowprm, IWORD& numnz, IDX16* prvrow, IDX16* roword, IDX16* chplft,
            IDX16* visit, IDX16* dfslft, IWORD nbuck) {
  numnz = 0;
  if (n < 1) return;
  Vec1<const IDX16> cn(colnum), rl(rowlen);
  Vec1<IDX16> rp(rowprm), prv(prvrow), ord(roword), chp(chplft), vis(visit), dfs(dfslft);
  for (IWORD i = 1; i <= n; ++i) {
    chp(i) = i16(rl(i) - 1);
    rp(i) = 0;
    vis(i) = 0;
  }
  vis(nbuck) = 0;  // bucket head of length N (shares its place with DFSLFT(1))
  // Length buckets: heads in VISIT(L+1), links in PRVROW.
  for (IWORD i = 1; i <= n; ++i) {
    const IWORD h = rl(i) + 1;
    prv(i) = vis(h);
    vis(h) = i16(i);
  }
  IWORD k = 0;
  for (IWORD len = 0; len <= n; ++len) {
    IWORD i = vis(len + 1);
    for (IWORD c = 0; c < n && i != 0; ++c) {
      ord(++k) = i16(i);
      i = prv(i);
    }
    vis(len + 1) = 0;
  }
  for (IWORD p = 1; p <= n; ++p) {
    IWORD j = ord(p);
    prv(j) = -1;
    bool assigned = false;
    IWORD qa = 0, enda = 0;
    for (IWORD depth = 1; depth <= p && !assigned; ++depth) {
      // Cheap assignment.
      const IWORD end = static_cast<IWORD>(rowpos(j)) + rl(j) - 1;
      if (chp(j) >= 0) {
        for (IWORD q = end - chp(j); q <= end; ++q) {
          if (rp(cn(q)) == 0) {
            qa = q;
            enda = end;
            assigned = true;
            break;
          }
        }
        if (assigned) break;
        chp(j) = -1;
      }
      // Depth-first scan, backing up along the path when a row is exhausted.
      dfs(j) = i16(rl(j) - 1);
      bool descended = false;
      for (IWORD mm = 1; mm <= p; ++mm) {
        const IWORD e = static_cast<IWORD>(rowpos(j)) + rl(j) - 1;
        if (dfs(j) >= 0) {
          for (IWORD q = e - dfs(j); q <= e; ++q) {
            const IWORD c = cn(q);
            if (vis(c) == p) continue;
            vis(c) = i16(p);
            dfs(j) = i16(e - q - 1);
            const IWORD jn = rp(c);
            prv(jn) = i16(j);
            j = jn;
            descended = true;
            break;
          }
          if (descended) break;
          dfs(j) = -1;
        }
        j = prv(j);
        if (j == -1) break;
      }
      if (!descended) break;  // pass ends, row ORD(p) stays unmatched
    }
    if (!assigned) continue;
    rp(cn(qa)) = i16(j);
    chp(j) = i16(enda - qa - 1);
    ++numnz;
    for (j = prv(j); j != -1; j = prv(j)) {
      const IWORD q = static_cast<IWORD>(rowpos(j)) + rl(j) - dfs(j) - 2;
      rp(cn(q)) = i16(j);
    }
  }
  if (numnz == n) return;
  // Complete the permutation: unmatched columns get unmatched rows, both in
  // increasing order.
  for (IWORD i = 1; i <= n; ++i) chp(i) = 0;
  IWORD nfree = 0;
  for (IWORD c = 1; c <= n; ++c) {
    if (rp(c) != 0)
      chp(rp(c)) = i16(c);
    else
      dfs(++nfree) = i16(c);
  }
  IWORD t = 0;
  for (IWORD i = 1; i <= n; ++i) {
    if (chp(i) != 0) continue;
    rp(dfs(++t)) = i16(i);
  }
}

}  // namespace orvika

/* ORVK_MC21AX finds a row permutation that puts a maximum number of entries
 * on the diagonal (a maximum transversal), completed to a full permutation.
 *   N       in   IWORD        order, at most 32767 (below 1: NUMNZ = 0)
 *   COLNUM  in   IDX16(LICN)  column numbers of the entries, each in 1..N
 *   LICN    in   IWORD        length of COLNUM
 *   ROWPOS  in   IWORD(N)     first position of each row in COLNUM
 *   ROWLEN  in   IDX16(N)     entries of each row, each in 0..N
 *   ROWPRM  out  IDX16(N)     for each column i the row to place at position
 *                             i; unmatched columns get the unmatched rows
 *   NUMNZ   out  IWORD        transversal size (structural rank); -1 when an
 *                             argument is invalid (nothing else is written
 *                             but the two-record message on ORVK_MA28ED.ERRUNT)
 *   IWORK   work IDX16(5N)
 * Cost O(N * NZ) in the worst case, usually close to O(NZ).
 * Method: I. S. Duff, On algorithms for obtaining a maximum transversal,
 * ACM TOMS 7 (1981) 315-330. */
extern "C" ORVK_API void ORVK_MC21AX(const IWORD* N, const IDX16* COLNUM, const IWORD* LICN,
                                     const IWORD* ROWPOS, const IDX16* ROWLEN, IDX16* ROWPRM,
                                     IWORD* NUMNZ, IDX16* IWORK) {
  using namespace orvika;
  const IWORD n = *N;
  if (n < 1) {
    *NUMNZ = 0;
    return;
  }
  const IWORD licn = *LICN;
  if (!mc_check_rows(ORVK_MA28ED.ERRUNT, n, COLNUM, licn, ROWPOS, ROWLEN, "MC21AX")) {
    *NUMNZ = -1;
    return;
  }
  IWORD numnz = 0;
  AUGTRV(n, COLNUM, licn, IV(ROWPOS, n), ROWLEN, ROWPRM, numnz, IWORK, IWORK + n, IWORK + 2 * n,
         IWORK + 3 * n, IWORK + 4 * n, n + 1);
  *NUMNZ = numnz;
}
