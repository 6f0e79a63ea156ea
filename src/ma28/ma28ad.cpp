// ORVK_MA28AD: analyse and factorise a sparse unsymmetric matrix.
#include <cmath>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "ma28/ma28.hpp"

namespace {
constexpr const char* kOverA = "+ERROR RETURN FROM MA28A/AD BECAUSE ";
}

/* ORVK_MA28AD sorts, sums repeated entries, optionally permutes A to block
 * lower triangular form P A Q and computes sparse LU factors of the diagonal
 * blocks, choosing pivots for sparsity (Markowitz) among entries at least
 * PIVTHR times the largest of their row.
 *   N       in      IWORD         order, 1..32767
 *   NZ      in      IWORD         number of entries, >= 1
 *   ENTVAL  in/out  real(LICN)    in: values in 1..NZ; out: off-diagonal
 *                                 block entries and factors (ORVK_MA28GD)
 *   LICN    in      IWORD         length of ENTVAL and COLNUM, >= NZ
 *   ROWNUM  in/work IDX16(LIRN)   in: row numbers; destroyed
 *   LIRN    in      IWORD         length of ROWNUM, >= NZ
 *   COLNUM  in/out  IDX16(LICN)   in: column numbers; out: pivot positions
 *   PIVTHR  in      real          relative pivot threshold, used in [0, 0.999999999]
 *   LUKEEP  out     IDX16(5N)     kept structure for ORVK_MA28BD/ORVK_MA28CD
 *   INTWRK  work    IDX16(14N)
 *   RWORK   out     real(N)       with ESTGRW: RWORK(1) growth estimate,
 *                                 RWORK(2) largest input magnitude (N > 1)
 *   ISTAT   out     IWORD         0 success; 1 structurally, 2 numerically
 *     singular (stop switches off); -14 repeated entries summed (factors
 *     usable); -1..-6 kernel failure; -7 preordering failed; -8 N out of
 *     range; -9 NZ <= 0; -10 LICN < NZ; -11 LIRN < NZ; -12 index out of range;
 *     -15 an entry is NaN or infinite (nothing moved), or repeated entries
 *     add up to a sum that is not finite (entries already sorted by rows);
 *     -2 also when the elimination overflows, whatever STPNUM says.
 * Messages on ORVK_MA28ED.ERRUNT (failures) and WRNUNT (repeated entries).
 * The layout of INTWRK is the one for four 16-bit places per 64-bit word
 * whatever the host's packing ratio.
 * Cost: O(N + NZ) for sorting and preordering plus the elimination.
 * Method: I. S. Duff, MA28 - a set of Fortran subroutines for sparse
 * unsymmetric linear equations, AERE R.8730, Harwell (1977); I. S. Duff and
 * J. K. Reid, Some design features of a sparse matrix code, ACM TOMS 5
 * (1979) 18-35; pivot choice after H. M. Markowitz, The elimination form of
 * the inverse and its application to linear programming, Management Sci. 3
 * (1957) 255-269. */
extern "C" ORVK_API void ORVK_MA28AD(const IWORD* N, const IWORD* NZ, double* ENTVAL,
                                     const IWORD* LICN, IDX16* ROWNUM, const IWORD* LIRN,
                                     IDX16* COLNUM, const double* PIVTHR, IDX16* LUKEEP,
                                     IDX16* INTWRK, double* RWORK, IWORD* ISTAT) {
  using namespace orvika;
  const IWORD n = *N, nz = *NZ, licn = *LICN, lirn = *LIRN;
  const IWORD errunt = ORVK_MA28ED.ERRUNT, wrnunt = ORVK_MA28ED.WRNUNT;
  ORVK_MA30ED.STPNUM = ORVK_MA28FD.STPNUM;
  ORVK_MA30ED.STPSTR = ORVK_MA28FD.STPSTR;
  ORVK_MC23BD.STPSTR = ORVK_MA28FD.STPSTR;
  ORVK_MA30ED.MSGUNT = errunt;
  ORVK_MC23BD.MSGUNT = errunt;
  IWORD& istat = *ISTAT;

  if (n < 1 || n > 32767) {
    istat = -8;
    ma28_failmsg(errunt, "N OUT OF RANGE = ", true, n, kOverA);
    return;
  }
  if (nz < 1) {
    istat = -9;
    ma28_failmsg(errunt, "NZ NON POSITIVE = ", true, nz, kOverA);
    return;
  }
  if (licn < nz) {
    istat = -10;
    ma28_failmsg(errunt, "LICN TOO SMALL = ", true, licn, kOverA);
    return;
  }
  if (lirn < nz) {
    istat = -11;
    ma28_failmsg(errunt, "LIRN TOO SMALL = ", true, lirn, kOverA);
    return;
  }

  Vec1<double> v(ENTVAL), rw(RWORK);
  Vec1<IDX16> cn(COLNUM);
  if (!ma28_check_indices(errunt, n, nz, ENTVAL, ROWNUM, COLNUM, "MA28A/AD")) {
    istat = -12;
    return;
  }
  if (!ma28_check_finite(errunt, nz, ENTVAL, ROWNUM, COLNUM, kOverA)) {
    istat = -15;
    return;
  }
  istat = 0;

  // LUKEEP partitions and INTWRK layout (four places per 64-bit word).
  IDX16* rowlen = LUKEEP;
  IDX16* rowprm = LUKEEP + n;
  IDX16* colprm = LUKEEP + 2 * n;
  IDX16* llen = LUKEEP + 3 * n;
  IDX16* offlen = LUKEEP + 4 * n;
  IV starts = words16(INTWRK, n);
  IV colpos = words16(INTWRK, n), rowpos = words16(INTWRK + 4 * n, n);

  // Sort by rows.
  ENTSRT(n, nz, ENTVAL, COLNUM, starts, ROWNUM, 0);

  // Sum repeated entries, keeping the entries contiguous from position 1.
  Vec1<IDX16> rl(rowlen), lastrow(rowprm), place(colprm);
  for (IWORD j = 1; j <= n; ++j) {
    rl(j) = 0;
    lastrow(j) = 0;
  }
  double inpmax = 0.0;
  IWORD removed = 0;
  for (IWORD i = 1; i <= n; ++i) {
    const IWORD a = starts(i);
    const IWORD b = (i < n) ? static_cast<IWORD>(starts(i + 1)) - 1 : nz;
    const IWORD rowbeg = a - removed;
    IWORD cnt = 0;
    for (IWORD k = a; k <= b; ++k) {
      const IWORD j = cn(k);
      const double val = v(k);
      if (std::fabs(val) > inpmax) inpmax = std::fabs(val);
      if (lastrow(j) == i) {
        const IWORD kept = rowbeg + place(j) - 1;
        v(kept) += val;
        if (std::fabs(v(kept)) > inpmax) inpmax = std::fabs(v(kept));
        ++removed;
        if (wrnunt != 0)
          write_rec(wrnunt, Rec()
                                .A(" DUPLICATE ELEMENT IN POSITION ")
                                .I(i, 8)
                                .A(" ,")
                                .I(j, 8)
                                .A(" WITH VALUE ")
                                .D(val, 22, 14, 1));
        if (!std::isfinite(v(kept))) {
          // The finite repeated entries add up beyond the range of reals.
          istat = -15;
          rowlen[0] = -1;  // no factors: the solve and the re-factorisation refuse them
          ma28_element_msg(errunt, i, j, " IS NOT FINITE", kOverA);
          return;
        }
      } else {
        lastrow(j) = i16(i);
        place(j) = i16(++cnt);
        v(k - removed) = val;
        cn(k - removed) = i16(j);
      }
    }
    rl(i) = i16(cnt);
  }
  const IWORD nzk = nz - removed;
  const bool dups = removed > 0;

  IWORD& lufrst = ORVK_MA28GD.LUFRST;
  IWORD& lulast = ORVK_MA28GD.LULAST;
  Vec1<IDX16> rp(rowprm), cp(colprm), ol(offlen);
  if (!is_true(ORVK_MA28ED.USEBTF)) {
    for (IWORD p = nzk; p >= 1; --p) {
      v(p + licn - nzk) = v(p);
      cn(p + licn - nzk) = cn(p);
    }
    lufrst = 1;
    lulast = licn - nzk + 1;
    for (IWORD k = 1; k <= n; ++k) {
      rp(k) = i16(k);
      cp(k) = i16(k);
    }
    ol(1) = -1;
  } else {
    lufrst = nzk;
    MC23AD(n, COLNUM, ENTVAL, licn, rowlen, &ORVK_MA28GD.LUFRST, rowprm, colprm, offlen,
           INTWRK + 8 * n, words16(INTWRK, 2 * n));
    if (lufrst <= 0) {
      istat = -7;
      rowlen[0] = -1;  // no factors: the solve and the re-factorisation refuse them
      ma28_failmsg(errunt, "ERROR RETURN FROM MC23A/AD", false, 0, kOverA);
      return;
    }
  }

  double thr = *PIVTHR;
  MA30AD(n, COLNUM, ENTVAL, licn, rowlen, llen, lufrst, lulast, rowprm, colprm, ROWNUM, lirn,
         INTWRK + 8 * n, INTWRK + 9 * n, INTWRK + 10 * n, INTWRK + 11 * n, INTWRK + 12 * n,
         INTWRK + 13 * n, rowpos, colpos, thr, istat);
  ORVK_MA28FD.ROWCMP = ORVK_MA30FD.ROWCMP;
  ORVK_MA28FD.VALCMP = ORVK_MA30FD.VALCMP;
  ORVK_MA28FD.LURANK = ORVK_MA30FD.LURANK;
  ORVK_MA28FD.MINLIR = ORVK_MA30FD.MINLIR;
  ORVK_MA28FD.MINLIC = ORVK_MA30FD.MINLIC;
  if (istat < 0) {
    // The row lengths of a failed elimination can fill LUFRST..LULAST by
    // chance: a negative first length marks the factors as not usable.
    rowlen[0] = -1;
    ma28_failmsg(errunt, "ERROR RETURN FROM MA30A/AD", false, 0, kOverA);
    return;
  }
  if (lufrst != 1)
    OFFPRM(n, COLNUM, ENTVAL, lufrst - 1, offlen, rowprm, colprm, words16(INTWRK, 2 * n), ROWNUM);
  if (is_true(ORVK_MA28ED.ESTGRW)) {
    GRWEST(n, COLNUM + (lufrst - 1), ENTVAL + (lufrst - 1), licn - lufrst + 1, rowlen, llen,
           RWORK);
    rw(1) += inpmax;
    if (n > 1) rw(2) = inpmax;
  }
  if (dups) istat = -14;
}
