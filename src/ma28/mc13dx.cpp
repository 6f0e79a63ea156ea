// ORVK_MC13DX and SCCORD: strongly connected components of the graph of a
// sparse matrix, in block lower triangular order.
#include "ma28/ma28.hpp"

namespace orvika {

// Tarjan's depth-first search without recursion: stack depths serve as node
// numbers, the stack lives at the top of BLKBEG while block starts fill it
// from the bottom.  Components are numbered as they close, so every arc
// leads to the same or an earlier block.
void SCCORD(IWORD n, const IDX16* colnum, IWORD /*licn*/, IV rowpos, const IDX16* rowlen,
            IDX16* order, IDX16* blkbeg, IWORD& nblock, IDX16* lowlnk, IDX16* newpos,
            IDX16* parent) {
  nblock = 0;
  if (n < 1) return;
  Vec1<const IDX16> cn(colnum), rl(rowlen);
  Vec1<IDX16> arc(order), bb(blkbeg), low(lowlnk), num(newpos), par(parent);
  for (IWORD i = 1; i <= n; ++i) {
    arc(i) = i16(rl(i) - 1);
    num(i) = 0;
  }
  IWORD icnt = 0, nb = 0;
  for (IWORD i = 1; i <= n && icnt < n; ++i) {
    if (num(i) != 0) continue;
    IWORD v = i, ist = 1;
    low(v) = 1;
    num(v) = 1;
    bb(n) = i16(v);
    for (IWORD step = 1; step <= 2 * n; ++step) {
      if (arc(v) >= 0) {
        const IWORD end = static_cast<IWORD>(rowpos(v)) + rl(v) - 1;
        bool down = false;
        for (IWORD q = end - arc(v); q <= end; ++q) {
          const IWORD w = cn(q);
          if (num(w) == 0) {
            arc(v) = i16(end - q - 1);
            par(w) = i16(v);
            ++ist;
            low(w) = i16(ist);
            num(w) = i16(ist);
            bb(n - ist + 1) = i16(w);
            v = w;
            down = true;
            break;
          }
          if (low(w) < low(v)) low(v) = low(w);
        }
        if (down) continue;
        arc(v) = -1;
      }
      if (low(v) >= num(v)) {
        // V closes a component: pop the stack down to V.
        const IWORD depth = num(v);
        const IWORD first = icnt + 1;
        for (IWORD s = n - ist + 1; s <= n - depth + 1; ++s) {
          const IWORD w = bb(s);
          low(w) = i16(n + 1 > 32767 ? 32767 : n + 1);
          num(w) = i16(++icnt);
        }
        ist = depth - 1;
        bb(++nb) = i16(first);
        if (ist == 0) break;
      }
      const IWORD pv = par(v);
      if (low(v) < low(pv)) low(pv) = low(v);
      v = pv;
    }
  }
  nblock = nb;
  for (IWORD k = 1; k <= n; ++k) arc(num(k)) = i16(k);
}

}  // namespace orvika

/* ORVK_MC13DX orders the nodes of the directed graph of a sparse matrix (row
 * i has an arc to node j for each of its entries in column j) by strongly
 * connected components, so that the symmetrically permuted matrix is block
 * lower triangular.
 *   N       in   IWORD        order, at most 32767 (below 1: NBLOCK = 0)
 *   COLNUM  in   IDX16(LICN)  column numbers of the entries, each in 1..N
 *   LICN    in   IWORD        length of COLNUM
 *   ROWPOS  in   IWORD(N)     first position of each row in COLNUM
 *   ROWLEN  in   IDX16(N)     entries of each row, each in 0..N
 *   ORDER   out  IDX16(N)     the node placed at each new position
 *   BLKBEG  out  IDX16(N)     first new position of each block, places 1..NBLOCK
 *   NBLOCK  out  IWORD        number of blocks; -1 when an argument is invalid
 *                             (nothing else is written but the two-record
 *                             message on ORVK_MA28ED.ERRUNT)
 *   IWORK   work IDX16(3N)    places N+1..2N return the new position of
 *                             each node (the inverse of ORDER)
 * Cost O(N + NZ).
 * Method: R. E. Tarjan, Depth-first search and linear graph algorithms,
 * SIAM J. Comput. 1 (1972) 146-160. */
extern "C" ORVK_API void ORVK_MC13DX(const IWORD* N, const IDX16* COLNUM, const IWORD* LICN,
                                     const IWORD* ROWPOS, const IDX16* ROWLEN, IDX16* ORDER,
                                     IDX16* BLKBEG, IWORD* NBLOCK, IDX16* IWORK) {
  using namespace orvika;
  const IWORD n = *N;
  if (n < 1) {
    *NBLOCK = 0;
    return;
  }
  const IWORD licn = *LICN;
  if (!mc_check_rows(ORVK_MA28ED.ERRUNT, n, COLNUM, licn, ROWPOS, ROWLEN, "MC13DX")) {
    *NBLOCK = -1;
    return;
  }
  IWORD nb = 0;
  SCCORD(n, COLNUM, licn, IV(ROWPOS, n), ROWLEN, ORDER, BLKBEG, nb, IWORK, IWORK + n,
         IWORK + 2 * n);
  *NBLOCK = nb;
}
