// ORVK_MA28BD: re-factorisation on an analysed pattern; SCATLU: its value
// placement as a routine of its own; MA30BD: the numerical kernel.
#include <cmath>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "ma28/ma28.hpp"

namespace orvika {

namespace {

constexpr const char* kOverB = "+ERROR RETURN FROM MA28B/BD BECAUSE ";

IWORD iabs16(IDX16 x) { return x < 0 ? -static_cast<IWORD>(x) : static_cast<IWORD>(x); }

void fail_pair(IWORD unit, const Rec& detail) {
  if (unit == 0) return;
  write_rec(unit, detail);
  write_rec(unit, Rec().A(kOverB));
}

// Steps shared by ORVK_MA28BD and SCATLU: maps the new entries to pivot
// positions, groups them by pivot row (off-diagonal parts first), checks
// them against the analysed structure and gathers their values into the
// factor rows.  WORK16 has 3N places, WORK64 2N words.  ISTAT is 0 or -13 on
// return; DUPS tells whether repeated entries were summed (a repeat of a
// nonzero partial sum); INPMAX is the largest magnitude placed.
//
// Repeated entries and zero entries outside the pattern would make the
// sorted entries of the rows in front of a factor row longer than those
// rows, so that gathering the row could overwrite entries not yet read:
// every row is therefore checked first (rows N..1, as the messages come),
// and when any such entry exists the rows are compacted (repeats summed,
// zero outsiders dropped) before the values are gathered.
void place_values(IWORD n, double* entval, IDX16* newrow, IDX16* newcol, IWORD nz,
                  IDX16* colnum, const IDX16* rowlen, const IDX16* offlen, const IDX16* rowprm,
                  const IDX16* colprm, IDX16* work16, IV work64, double* rwork, IWORD& istat,
                  bool& dups, double& inpmax) {
  const IWORD errunt = ORVK_MA28ED.ERRUNT, wrnunt = ORVK_MA28ED.WRNUNT;
  const IWORD lufrst = ORVK_MA28GD.LUFRST, lulast = ORVK_MA28GD.LULAST;
  Vec1<double> v(entval), rw(rwork);
  Vec1<IDX16> nr(newrow), nc(newcol), cn(colnum);
  Vec1<const IDX16> rl(rowlen), ol(offlen), rp(rowprm), cp(colprm);
  Vec1<IDX16> rmap(work16), cmap(work16 + n), blk(work16 + 2 * n);
  istat = 0;
  dups = false;
  inpmax = 0.0;

  IWORD b = 1;
  for (IWORD p = 1; p <= n; ++p) {
    blk(p) = i16(b);
    if (rp(p) < 0) ++b;
    rmap(iabs16(rp(p))) = i16(p);
    cmap(iabs16(cp(p))) = i16(p);
  }
  for (IWORD k = 1; k <= nz; ++k) {
    const IWORD r = rmap(nr(k)), c = cmap(nc(k));
    if (blk(r) < blk(c)) {
      istat = -13;
      fail_pair(errunt, Rec()
                            .X(36)
                            .A("NON-ZERO")
                            .I(nr(k), 7)
                            .A(" ,")
                            .I(nc(k), 6)
                            .A(" IN ZERO OFF-DIAGONAL BLOCK"));
      return;
    }
    nc(k) = i16(c);
    nr(k) = i16(blk(r) == blk(c) ? r : r - n);
  }

  // Buckets 1..N: off-diagonal parts of the pivot rows; N+1..2N: their
  // diagonal-block parts.
  ENTSRT(2 * n, nz, entval, newcol, work64, newrow, n);
  IV st = work64;
  const IWORD m = st(n + 1);
  if (!(lufrst == 1 && m == 1)) {
    for (IWORD p = 1; p <= n; ++p) {
      const IWORD cnt = static_cast<IWORD>(st(p + 1)) - static_cast<IWORD>(st(p));
      const IWORD want = ol(1) < 0 ? 0 : ol(p);
      if (cnt != want) {
        istat = -13;
        fail_pair(errunt, Rec()
                              .X(36)
                              .A("WRONG NUMBER OF NON-ZEROS IN OFF-DIAGONAL PART OF ROW ")
                              .I(iabs16(rp(p)), 6));
        return;
      }
    }
  }
  for (IWORD q = 1; q < m; ++q) {
    cn(q) = nc(q);
    if (std::fabs(v(q)) > inpmax) inpmax = std::fabs(v(q));
  }

  // Check rows N..1: repeated entries (warned when the partial sum is not
  // 0.0), nonzero sums outside the factor pattern (failure).
  Vec1<IDX16> mark(work16), seen(work16 + n);
  for (IWORD j = 1; j <= n; ++j) {
    mark(j) = 0;
    seen(j) = 0;
    rw(j) = 0.0;
  }
  auto row_end = [&](IWORD p, IWORD last) {
    return p < n ? static_cast<IWORD>(st(n + p + 1)) - 1 : last;
  };
  bool compact = false;
  IWORD end = lulast;
  for (IWORD p = n; p >= 1; --p) {
    const IWORD a = st(n + p), bnd = row_end(p, nz);
    for (IWORD k = a; k <= bnd; ++k) {
      const IWORD c = nc(k);
      if (rw(c) != 0.0) {
        dups = true;
        if (wrnunt != 0)
          write_rec(wrnunt, Rec()
                                .A(" DUPLICATE ELEMENT IN POSITION ")
                                .I(iabs16(rp(p)), 8)
                                .A(" ,")
                                .I(iabs16(cp(c)), 8)
                                .A(" WITH VALUE ")
                                .D(v(k), 22, 14, 1));
      }
      if (seen(c) == p)
        compact = true;
      else
        seen(c) = i16(p);
      rw(c) += v(k);
      if (!std::isfinite(rw(c))) {
        // Finite repeated entries that add up beyond the range of reals.
        istat = -15;
        fail_pair(errunt, ma28_element_rec(iabs16(rp(p)), iabs16(cp(c)), " IS NOT FINITE"));
        return;
      }
    }
    const IWORD fs = end - rl(p) + 1;
    for (IWORD q = fs; q <= end; ++q) {
      mark(cn(q)) = i16(p);
      rw(cn(q)) = 0.0;
    }
    end = fs - 1;
    for (IWORD k = a; k <= bnd; ++k) {
      const IWORD c = nc(k);
      if (mark(c) == p) continue;
      if (rw(c) != 0.0) {
        istat = -13;
        fail_pair(errunt, ma28_element_rec(iabs16(rp(p)), iabs16(cp(c)), " WAS ZERO AFTER MA28A/AD"));
        return;
      }
      compact = true;
    }
  }

  // Compact the rows: one entry per pattern column, in first-met order.
  IWORD nzend = nz;
  if (compact) {
    IV kept = work64;  // off-diagonal starts, no longer needed
    IWORD w = m, fs = lufrst, a = m;
    for (IWORD p = 1; p <= n; ++p) {
      const IWORD bnd = row_end(p, nz);
      for (IWORD q = fs; q < fs + rl(p); ++q) mark(cn(q)) = i16(p);
      fs += rl(p);
      const IWORD ns = w;
      for (IWORD k = a; k <= bnd; ++k) {
        const IWORD c = nc(k);
        if (mark(c) != p) continue;
        if (seen(c) == -p) {
          v(static_cast<IWORD>(kept(c))) += v(k);
        } else {
          seen(c) = i16(-p);
          kept(c) = w;
          v(w) = v(k);
          nc(w) = i16(c);
          ++w;
        }
      }
      st(n + p) = ns;
      a = bnd + 1;
    }
    nzend = w - 1;
  }

  // Gather the factor rows from the last to the first.
  end = lulast;
  for (IWORD p = n; p >= 1; --p) {
    const IWORD a = st(n + p), bnd = row_end(p, nzend);
    for (IWORD k = a; k <= bnd; ++k) rw(nc(k)) += v(k);
    const IWORD fs = end - rl(p) + 1;
    for (IWORD q = fs; q <= end; ++q) {
      const IWORD c = cn(q);
      v(q) = rw(c);
      rw(c) = 0.0;
      if (std::fabs(v(q)) > inpmax) inpmax = std::fabs(v(q));
    }
    end = fs - 1;
  }
}

}  // namespace

// Row-by-row elimination on the fixed pattern through a dense work vector;
// positions without a usable pivot (the trailing positions of a singular
// block) must receive zeros.  ISTAT: 0, the row with the smallest pivot
// ratio below SMLPIV, or -i for a failure in row i.  Cost O(flops of LU).
void MA30BD(IWORD n, const IDX16* colnum, double* entval, IWORD /*licn*/, const IDX16* rowlen,
            const IDX16* llen, IWORD lufrst, IWORD /*lulast*/, const IDX16* rowprm,
            const IDX16* colprm, double* rwork, IV start, IWORD& istat) {
  const double smlpiv = ORVK_MA30GD.SMLPIV;
  ORVK_MA30GD.MINPIV = smlpiv;
  istat = 0;
  if (n < 1) return;
  Vec1<const IDX16> cn(colnum), rl(rowlen), ll(llen), rp(rowprm), cp(colprm);
  Vec1<double> v(entval), rw(rwork);
  for (IWORD j = 1; j <= n; ++j) rw(j) = 0.0;
  start(1) = lufrst;
  for (IWORD i = 1; i < n; ++i) start(i + 1) = static_cast<IWORD>(start(i)) + rl(i);
  const bool ratio_on = smlpiv <= 1.0;
  double minratio = smlpiv;
  IWORD sngbeg = 0;
  auto fail = [&](IWORD i) {
    const IWORD unit = ORVK_MA30ED.MSGUNT;
    if (unit != 0)
      write_rec(unit, Rec().A(" ERROR RETURN FROM MA30B/BD SINGULARITY DETECTED IN ROW").I(i, 8));
    istat = -i;
  };
  for (IWORD i = 1; i <= n; ++i) {
    const IWORD st = start(i), l = ll(i), len = rl(i);
    const IWORD pv = st + l;
    const bool haspiv = len > l;
    if (l > 0) {
      for (IWORD q = st; q < st + len; ++q) rw(cn(q)) = v(q);
      for (IWORD q = st; q < st + l; ++q) {
        const IWORD j = cn(q);
        const IWORD sj = start(j), pj = sj + ll(j);
        if (rl(j) <= ll(j)) {  // a multiplier needs a pivot in its column
          fail(i);
          return;
        }
        const double f = -rw(j) / v(pj);
        rw(j) = f;
        for (IWORD q2 = pj + 1; q2 < sj + rl(j); ++q2) rw(cn(q2)) += f * v(q2);
      }
      // The new values are finite, so a value that is not is an overflow of
      // the elimination: the row has no usable factor, as with a zero pivot.
      bool finite = true;
      for (IWORD q = st; q < st + len; ++q) {
        v(q) = rw(cn(q));
        rw(cn(q)) = 0.0;
        finite = finite && std::isfinite(v(q));
      }
      if (!finite) {
        fail(i);
        return;
      }
    }
    if (cp(i) <= 0) {
      if (sngbeg == 0) sngbeg = i;
      if (haspiv && v(pv) != 0.0) {
        fail(i);
        return;
      }
      for (IWORD q = st; q < st + len; ++q)
        if (cn(q) >= sngbeg && v(q) != 0.0) {
          fail(i);
          return;
        }
      if (haspiv) v(pv) = 1.0;
    } else {
      if (!haspiv || v(pv) == 0.0) {
        fail(i);
        return;
      }
      if (ratio_on) {
        double restmax = 0.0;
        for (IWORD q = pv + 1; q < st + len; ++q)
          if (std::fabs(v(q)) > restmax) restmax = std::fabs(v(q));
        if (restmax > 0.0) {
          const double ratio = std::fabs(v(pv)) / restmax;
          if (ratio < minratio) {
            minratio = ratio;
            ORVK_MA30GD.MINPIV = ratio;
            istat = i;
          }
        }
      }
    }
    if (sngbeg != 0 && (rp(i) <= 0 || i == n)) {
      for (IWORD r = sngbeg; r <= i; ++r)
        if (rl(r) > ll(r)) v(static_cast<IWORD>(start(r)) + ll(r)) = 0.0;
      sngbeg = 0;
    }
  }
}

// Value placement of ORVK_MA28BD (steps after the index check), with the
// kept structure passed as arguments; repeated entries are reported by
// ISTAT = N + 1.  RWORK(1) receives the largest magnitude placed.
void SCATLU(IWORD n, double* entval, IWORD /*licn*/, IDX16* newrow, IDX16* newcol, IWORD nz,
            IDX16* colnum, const IDX16* rowlen, const IDX16* offlen, const IDX16* rowprm,
            const IDX16* colprm, IDX16* work16, IV work64, double* rwork, IWORD& istat) {
  bool dups = false;
  double inpmax = 0.0;
  place_values(n, entval, newrow, newcol, nz, colnum, rowlen, offlen, rowprm, colprm, work16,
               work64, rwork, istat, dups, inpmax);
  if (istat < 0) return;
  rwork[0] = inpmax;
  if (dups) istat = n + 1;
}

}  // namespace orvika

/* ORVK_MA28BD factorises a matrix whose entries lie in the pattern analysed
 * by the last ORVK_MA28AD call, reusing its pivot sequence, permutations and
 * factor structure (no pivot search, no fill-in).
 *   N       in      IWORD        order, the N of the analyse call (1..32767)
 *   NZ      in      IWORD        number of new entries, >= 1
 *   ENTVAL  in/out  real(LICN)   in: new values in 1..NZ; out: off-diagonal
 *                                entries and new factors
 *   LICN    in      IWORD        length of ENTVAL and COLNUM; >= NZ and at
 *                                least the last factor position
 *   NEWROW  in/work IDX16(NZ)    row numbers; destroyed
 *   NEWCOL  in/work IDX16(NZ)    column numbers; replaced by pivot positions
 *   COLNUM  in/out  IDX16(LICN)  as left by ORVK_MA28AD
 *   LUKEEP  in      IDX16(5N)    kept structure (not changed)
 *   INTWRK  work    IDX16(11N)
 *   RWORK   out     real(N)      with ESTGRW: RWORK(1) growth estimate
 *   ISTAT   out     IWORD        0 success; i > 0 success, row i has the
 *     smallest pivot ratio below SMLPIV (in ORVK_MA28FD.MINPIV); -14
 *     repeated entries summed; -2 zero or missing pivot, or an elimination
 *     that overflows; -9 LICN too small; -10 NZ <= 0; -11 N out of range;
 *     -12 index out of range; -13 entry outside the analysed structure;
 *     -15 a new value is NaN or infinite, or repeated new values add up to
 *     a sum that is not finite; -16 the factor positions of
 *     ORVK_MA28GD are inconsistent (LUFRST < 1, LULAST < LUFRST - 1), or
 *     LUKEEP and the stored column numbers are not as a successful analysis
 *     leaves them.
 * Cost: O(N + NZ) placement plus the numerical elimination.
 * Method: I. S. Duff, MA28 - a set of Fortran subroutines for sparse
 * unsymmetric linear equations, AERE R.8730, Harwell (1977); I. S. Duff and
 * J. K. Reid, Some design features of a sparse matrix code, ACM TOMS 5
 * (1979) 18-35. */
extern "C" ORVK_API void ORVK_MA28BD(const IWORD* N, const IWORD* NZ, double* ENTVAL,
                                     const IWORD* LICN, IDX16* NEWROW, IDX16* NEWCOL,
                                     IDX16* COLNUM, const IDX16* LUKEEP, IDX16* INTWRK,
                                     double* RWORK, IWORD* ISTAT) {
  using namespace orvika;
  const IWORD n = *N, nz = *NZ, licn = *LICN;
  const IWORD errunt = ORVK_MA28ED.ERRUNT;
  ORVK_MA30GD.SMLPIV = ORVK_MA28FD.SMLPIV;
  ORVK_MA30ED.MSGUNT = errunt;
  IWORD& istat = *ISTAT;
  if (n < 1 || n > 32767) {
    istat = -11;
    ma28_failmsg(errunt, "N OUT OF RANGE = ", true, n, kOverB);
    return;
  }
  if (nz < 1) {
    istat = -10;
    ma28_failmsg(errunt, "NZ NON POSITIVE = ", true, nz, kOverB);
    return;
  }
  const IWORD lufrst = ORVK_MA28GD.LUFRST, lulast = ORVK_MA28GD.LULAST;
  // Positions that no analysis leaves (the block overwritten, no analysis
  // at all, or a failed one whose row lengths do not fill LUFRST..LULAST)
  // are not a question of LICN: the factor rows are gathered backwards
  // from LULAST by their lengths.
  if (lufrst < 1 || lulast < lufrst - 1 || !orvika::ma28_rows_fill(n, LUKEEP, lufrst, lulast) ||
      !orvika::ma28_keep_sound(n, LUKEEP, lufrst) ||
      (lulast <= licn && !orvika::ma28_colnum_sound(n, COLNUM, lulast))) {
    istat = -16;
    if (errunt != 0) {
      write_rec(errunt, Rec()
                            .X(36)
                            .A("FACTOR POSITIONS INCONSISTENT, LUFRST = ")
                            .I(lufrst, 10)
                            .A(" LULAST = ")
                            .I(lulast, 10));
      write_rec(errunt, Rec().A(kOverB));
    }
    return;
  }
  if (licn < nz || lulast > licn) {
    istat = -9;
    ma28_failmsg(errunt, "LICN TOO SMALL = ", true, licn, kOverB);
    return;
  }
  if (!ma28_check_indices(errunt, n, nz, ENTVAL, NEWROW, NEWCOL, "MA28B/BD")) {
    istat = -12;
    return;
  }
  if (!ma28_check_finite(errunt, nz, ENTVAL, NEWROW, NEWCOL, kOverB)) {
    istat = -15;
    return;
  }
  istat = 0;

  const IDX16* rowlen = LUKEEP;
  const IDX16* rowprm = LUKEEP + n;
  const IDX16* colprm = LUKEEP + 2 * n;
  const IDX16* llen = LUKEEP + 3 * n;
  const IDX16* offlen = LUKEEP + 4 * n;
  bool dups = false;
  double inpmax = 0.0;
  place_values(n, ENTVAL, NEWROW, NEWCOL, nz, COLNUM, rowlen, offlen, rowprm, colprm,
               INTWRK + 8 * n, words16(INTWRK, 2 * n), RWORK, istat, dups, inpmax);
  if (istat < 0) return;
  RWORK[0] = inpmax;

  MA30BD(n, COLNUM, ENTVAL, licn, rowlen, llen, lufrst, lulast, rowprm, colprm, RWORK,
         words16(INTWRK, n), istat);
  ORVK_MA28FD.MINPIV = ORVK_MA30GD.MINPIV;
  if (istat < 0) {
    istat = -2;
    ma28_failmsg(errunt, "ERROR RETURN FROM MA30B/BD", false, 0, kOverB);
    return;
  }
  if (is_true(ORVK_MA28ED.ESTGRW)) {
    GRWEST(n, COLNUM + (lufrst - 1), ENTVAL + (lufrst - 1), licn - lufrst + 1, rowlen, llen,
           RWORK);
    RWORK[0] += inpmax;
  }
  if (dups) istat = -14;
}
