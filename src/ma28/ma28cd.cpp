// ORVK_MA28CD and BTSOLV: solves with block lower triangular LU factors.
#include <cmath>

#include "ma28/ma28.hpp"

namespace orvika {

// Forward and back substitution block by block.  The off-diagonal entries
// come from places 1..LUFRST-1, the factor rows from LUFRST..LULAST; the
// last row always closes a block.  Components at positions without a usable
// pivot are set to 0.0, the largest magnitude so discarded goes to SOLRES.
// Cost O(N + LULAST).
void BTSOLV(IWORD n, const IDX16* colnum, const double* entval, IWORD /*licn*/,
            const IDX16* rowlen, const IDX16* llen, const IDX16* offlen, IWORD lufrst,
            IWORD lulast, const IDX16* rowprm, const IDX16* colprm, double* solvec,
            double* rwork, IWORD solmod) {
  double& solres = ORVK_MA30HD.SOLRES;
  solres = 0.0;
  if (n < 1) return;
  Vec1<const IDX16> cn(colnum), rl(rowlen), ll(llen), ol(offlen), rp(rowprm), cp(colprm);
  Vec1<const double> v(entval);
  Vec1<double> x(solvec), w(rwork);
  auto iabs = [](IDX16 t) { return t < 0 ? -static_cast<IWORD>(t) : static_cast<IWORD>(t); };
  const bool offd = ol(1) >= 0;
  auto block_end = [&](IWORD k) { return k == n || rp(k) < 0; };

  if (solmod == 1) {
    for (IWORD k = 1; k <= n; ++k) w(k) = x(iabs(rp(k)));
    IWORD op = 1, fp = lufrst, f = 1;
    for (IWORD k = 1; k <= n; ++k) {
      double s = w(k);
      if (offd) {
        for (IWORD q = op; q < op + ol(k); ++q) s -= v(q) * w(cn(q));
        op += ol(k);
      }
      for (IWORD q = fp; q < fp + ll(k); ++q) s += v(q) * w(cn(q));
      w(k) = s;
      fp += rl(k);
      if (!block_end(k)) continue;
      // Back substitution over the block f..k, from the end of row k.
      IWORD end = fp;  // one past the last place of row r below
      IWORD r = k;
      for (; r >= f && cp(r) <= 0; --r) {
        if (std::fabs(w(r)) > solres) solres = std::fabs(w(r));
        w(r) = 0.0;
        end -= rl(r);
      }
      for (; r >= f; --r) {
        const IWORD st = end - rl(r), pv = st + ll(r);
        double t = w(r);
        for (IWORD q = pv + 1; q < end; ++q) t -= v(q) * w(cn(q));
        w(r) = t / v(pv);
        end = st;
      }
      f = k + 1;
    }
    for (IWORD k = 1; k <= n; ++k) x(iabs(cp(k))) = w(k);
    return;
  }

  // A^T x = b: blocks from the last to the first.
  for (IWORD k = 1; k <= n; ++k) w(k) = x(iabs(cp(k)));
  IWORD fp = lulast + 1, op = lufrst;
  IWORD e = n;
  while (e >= 1) {
    IWORD f = e;
    while (f > 1 && rp(f - 1) >= 0) --f;
    IWORD bstart = fp;
    for (IWORD h = f; h <= e; ++h) bstart -= rl(h);
    // U^T part.
    IWORD st = bstart;
    for (IWORD h = f; h <= e; ++h) {
      if (cp(h) < 0) {
        for (IWORD r = h; r <= e; ++r) {
          if (std::fabs(w(r)) > solres) solres = std::fabs(w(r));
          w(r) = 0.0;
        }
        break;
      }
      const IWORD rs = st;
      st += rl(h);
      if (w(h) == 0.0) continue;
      const IWORD pv = rs + ll(h);
      const double t = w(h) / v(pv);
      w(h) = t;
      for (IWORD q = pv + 1; q < rs + rl(h); ++q) w(cn(q)) -= v(q) * t;
    }
    // L^T and off-diagonal part.
    IWORD end = fp;
    for (IWORD r = e; r >= f; --r) {
      const IWORD rs = end - rl(r);
      const double t = w(r);
      for (IWORD q = rs; q < rs + ll(r); ++q) w(cn(q)) += v(q) * t;
      if (offd) {
        for (IWORD q = op - ol(r); q < op; ++q) w(cn(q)) -= v(q) * t;
        op -= ol(r);
      }
      end = rs;
    }
    fp = bstart;
    e = f - 1;
  }
  for (IWORD k = 1; k <= n; ++k) x(iabs(rp(k))) = w(k);
}

}  // namespace orvika

/* ORVK_MA28CD solves A x = b (SOLMOD = 1) or A^T x = b (any other value)
 * with the factors of ORVK_MA28AD or ORVK_MA28BD.
 *   N       in      IWORD        order
 *   ENTVAL  in      real(LICN)   off-diagonal entries and factors
 *   LICN    in      IWORD        length of ENTVAL and COLNUM
 *   COLNUM  in      IDX16(LICN)  column numbers (pivot positions)
 *   LUKEEP  in      IDX16(5N)    kept structure (not changed)
 *   SOLVEC  in/out  real(N)      right-hand side b; on return x
 *   RWORK   work    real(N)
 *   SOLMOD  in      IWORD        1: A x = b; otherwise A^T x = b
 * No status: components at positions without a usable pivot are set to 0.0
 * and the largest magnitude discarded goes to ORVK_MA28FD.SOLRES.  When the
 * stored factor positions (ORVK_MA28GD) do not fit LICN, or LUKEEP and the
 * stored column numbers are not as an analysis that succeeded leaves them
 * (a failed analysis), nothing is solved,
 * SOLVEC is unchanged and SOLRES is -1.0.
 * Work space: RWORK only.
 * Cost O(N + nnz(L+U) + nnz(off-diagonal blocks)).
 * Method: block forward (back) substitution over the block triangular form;
 * I. S. Duff and J. K. Reid, Some design features of a sparse matrix code,
 * ACM TOMS 5 (1979) 18-35. */
extern "C" ORVK_API void ORVK_MA28CD(const IWORD* N, const double* ENTVAL, const IWORD* LICN,
                                     const IDX16* COLNUM, const IDX16* LUKEEP, double* SOLVEC,
                                     double* RWORK, const IWORD* SOLMOD) {
  using namespace orvika;
  const IWORD n = *N, licn = *LICN;
  const IWORD lufrst = ORVK_MA28GD.LUFRST, lulast = ORVK_MA28GD.LULAST;
  if (n >= 1 && (n > 32767 || lufrst < 1 || lulast < lufrst - 1 || lulast > licn ||
                 !ma28_rows_fill(n, LUKEEP, lufrst, lulast) || !ma28_keep_sound(n, LUKEEP, lufrst) ||
                 !ma28_colnum_sound(n, COLNUM, lulast))) {
    ORVK_MA30HD.SOLRES = -1.0;
    ORVK_MA28FD.SOLRES = -1.0;
    return;
  }
  BTSOLV(n, COLNUM, ENTVAL, licn, LUKEEP, LUKEEP + 3 * n, LUKEEP + 4 * n, lufrst, lulast,
         LUKEEP + n, LUKEEP + 2 * n, SOLVEC, RWORK, *SOLMOD);
  ORVK_MA28FD.SOLRES = ORVK_MA30HD.SOLRES;
}
