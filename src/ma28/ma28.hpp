// Internal routines of the MA28 family: the entry sorts, the preordering,
// the factorisation kernels and the solve kernel.  64-bit positions kept
// inside 16-bit work arrays are seen through the frame's word views.
#pragma once

#include "frame/format.hpp"
#include "frame/views.hpp"
#include "frame/workspace.hpp"
#include "orvika/ma28.h"

namespace orvika {

// 64-bit positions kept in a 16-bit work array (four consecutive places a
// word, any alignment): the NWORDS words from place P on, 1-based.
inline IV words16(IDX16* p, IWORD nwords) {
  return IV(reinterpret_cast<unsigned char*>(p), nwords);
}

inline IDX16 i16(IWORD v) { return static_cast<IDX16>(v); }

// Writes the two-record failure message of a driver on UNIT: the detail
// record (36 blanks, TEXT and, when WITHNUM, NUM in I10), then the
// overprint record OVER.
void ma28_failmsg(IWORD unit, const char* text, bool withnum, IWORD num, const char* over);

// Checks that the NZ index pairs (ROW, COL) lie in 1..N; on UNIT (not 0)
// the heading naming WHO ("MA28A/AD") once, then one record per bad entry.
// False when any pair is out of range.
bool ma28_check_indices(IWORD unit, IWORD n, IWORD nz, const double* val, const IDX16* row,
                        const IDX16* col, const char* who);

// The record "ELEMENT i , j <WHAT>" (36 blanks first) of the messages that
// name one entry.
Rec ma28_element_rec(IWORD i, IWORD j, const char* what);
// That record followed by OVER, on UNIT when it is not 0.
void ma28_element_msg(IWORD unit, IWORD i, IWORD j, const char* what, const char* over);

// Checks that the NZ values are finite; on UNIT (not 0) the two-record
// message "ELEMENT i , j IS NOT FINITE" for the first entry that is not,
// followed by OVER.  False when any value is NaN or infinite.
bool ma28_check_finite(IWORD unit, IWORD nz, const double* val, const IDX16* row,
                       const IDX16* col, const char* over);

// Checks the row structure given to ORVK_MC21AX / ORVK_MC13DX: N at most
// 32767, each ROWLEN in 0..N, each nonempty row inside 1..LICN, each column
// in 1..N.  On UNIT (not 0) two records for the first fault: 33 blanks and
// the detail, then "+ERROR RETURN FROM <WHO> BECAUSE".  False on a fault.
bool mc_check_rows(IWORD unit, IWORD n, const IDX16* colnum, IWORD licn, const IWORD* rowpos,
                   const IDX16* rowlen, const char* who);

// True when the N factor-row lengths of LUKEEP (each in 0..32767, with
// LLEN(k) <= ROWLEN(k)) add up to LULAST - LUFRST + 1, as an analysis that
// succeeded leaves them; a failed analysis leaves lengths that do not.
inline bool ma28_rows_fill(IWORD n, const IDX16* lukeep, IWORD lufrst, IWORD lulast) {
  IWORD sum = 0;
  for (IWORD k = 0; k < n; ++k) {
    const IDX16 len = lukeep[k], l = lukeep[3 * n + k];
    if (len < 0 || l < 0 || l > len) return false;
    sum += len;
  }
  return sum == lulast - lufrst + 1;
}

// True when the rest of LUKEEP can be read as an analysis that succeeded
// leaves it: every permutation entry |ROWPRM(k)|, |COLPRM(k)| in 1..N, a
// pivot place in every row with COLPRM(k) > 0, positions without a pivot
// only at the end of their block, and the off-diagonal counts filling
// 1..LUFRST-1 (LUFRST = 1 with a single block).  A failed analysis can
// leave row lengths that fill the factor positions by chance; the solve
// and the re-factorisation index with all of these.
inline bool ma28_keep_sound(IWORD n, const IDX16* lukeep, IWORD lufrst) {
  const IDX16 *rowlen = lukeep, *rowprm = lukeep + n, *colprm = lukeep + 2 * n,
              *llen = lukeep + 3 * n, *offlen = lukeep + 4 * n;
  const bool offd = offlen[0] >= 0;
  IWORD off = 0;
  for (IWORD k = 0; k < n; ++k) {
    const IWORD r = rowprm[k] < 0 ? -IWORD{rowprm[k]} : rowprm[k];
    const IWORD c = colprm[k] < 0 ? -IWORD{colprm[k]} : colprm[k];
    if (r < 1 || r > n || c < 1 || c > n) return false;
    if (colprm[k] > 0 && llen[k] >= rowlen[k]) return false;
    if (colprm[k] < 0 && k + 1 < n && rowprm[k] >= 0 && colprm[k + 1] >= 0) return false;
    if (offd) {
      if (offlen[k] < 0) return false;
      off += offlen[k];
    }
  }
  return offd ? off == lufrst - 1 : lufrst == 1;
}

// True when the column numbers in places 1..LULAST of COLNUM (off-diagonal
// entries and factor rows) all lie in 1..N.
inline bool ma28_colnum_sound(IWORD n, const IDX16* colnum, IWORD lulast) {
  for (IWORD q = 0; q < lulast; ++q)
    if (colnum[q] < 1 || colnum[q] > n) return false;
  return true;
}

// Counting sort of NZ entries (value, carried 16-bit index) by KEY + D into
// NC buckets, in place along permutation cycles; START receives the first
// position of each bucket and every key becomes -D.
void ENTSRT(IWORD nc, IWORD nz, double* val, IDX16* idx, IV start, IDX16* key, IWORD d);

// Puts the NOFF off-diagonal entries (grouped by input row) into the new
// row order with new column numbers; OFFLEN goes from input to new rows.
void OFFPRM(IWORD n, IDX16* colnum, double* entval, IWORD noff, IDX16* offlen,
            const IDX16* rowprm, const IDX16* colprm, IV work64, IDX16* work16);

// Growth estimate of stored LU factors: W(1) = (largest 1-norm of an L row)
// x (largest |U| off the pivots); W(2..N) the column maxima of |U|.
void GRWEST(IWORD n, const IDX16* colnum, const double* val, IWORD len, const IDX16* rowlen,
            const IDX16* llen, double* w);

// Sorts the entries of each of NC columns by increasing |index| (stable).
void COLSRT(IWORD nc, IWORD last, double* val, IDX16* idx, IV start);

// Maximum transversal by depth-first augmenting paths (work vectors apart).
void AUGTRV(IWORD n, const IDX16* colnum, IWORD licn, IV rowpos, const IDX16* rowlen,
            IDX16* rowprm, IWORD& numnz, IDX16* prvrow, IDX16* roword, IDX16* chplft,
            IDX16* visit, IDX16* dfslft, IWORD nbuck);

// Strong components of the graph of the rows (work vectors apart).
void SCCORD(IWORD n, const IDX16* colnum, IWORD licn, IV rowpos, const IDX16* rowlen,
            IDX16* order, IDX16* blkbeg, IWORD& nblock, IDX16* lowlnk, IDX16* newpos,
            IDX16* parent);

// Block lower triangular preordering of row-sorted entries; diagonal-block
// entries end up at the back of the arrays (PAIR = LUFRST, LULAST).
void MC23AD(IWORD n, IDX16* colnum, double* entval, IWORD licn, IDX16* rowlen, IWORD* pair,
            IDX16* rowprm, IDX16* colprm, IDX16* offlen, IDX16* work16, IV work64);

// Sparse LU of the diagonal blocks with Markowitz pivots and a relative
// threshold; factors packed in pivot order at LUFRST.  A multiplier or an
// updated value that is not finite (an overflow) stops it with ISTAT = -2.
void MA30AD(IWORD n, IDX16* colnum, double* entval, IWORD licn, IDX16* rowlen, IDX16* llen,
            IWORD& lufrst, IWORD& lulast, IDX16* rowprm, IDX16* colprm, IDX16* rownum,
            IWORD lirn, IDX16* colcnt, IDX16* cnthd, IDX16* rowprv, IDX16* rownxt,
            IDX16* colprv, IDX16* colnxt, IV rowpos, IV colpos, double& pivthr,
            IWORD& istat);

// Compresses the active part of a file (values move too when MOVEVALS).
void LUCMPR(double* val, IDX16* idx, IV start, IWORD count, IWORD& first, IWORD last,
            bool movevals);

// Numerical re-factorisation on the kept pattern.
void MA30BD(IWORD n, const IDX16* colnum, double* entval, IWORD licn, const IDX16* rowlen,
            const IDX16* llen, IWORD lufrst, IWORD lulast, const IDX16* rowprm,
            const IDX16* colprm, double* rwork, IV start, IWORD& istat);

// Places new values into the kept factor structure (the value placement of
// ORVK_MA28BD as a routine of its own).
void SCATLU(IWORD n, double* entval, IWORD licn, IDX16* newrow, IDX16* newcol, IWORD nz,
            IDX16* colnum, const IDX16* rowlen, const IDX16* offlen, const IDX16* rowprm,
            const IDX16* colprm, IDX16* work16, IV work64, double* rwork, IWORD& istat);

// Forward and back substitution over the block lower triangular factors.
void BTSOLV(IWORD n, const IDX16* colnum, const double* entval, IWORD licn, const IDX16* rowlen,
            const IDX16* llen, const IDX16* offlen, IWORD lufrst, IWORD lulast,
            const IDX16* rowprm, const IDX16* colprm, double* solvec, double* rwork,
            IWORD solmod);

}  // namespace orvika
