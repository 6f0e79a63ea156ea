// Internal routines of the sparse LU package: the work-space partition, the
// input conversion and data checks, the orderings and the equilibration.
//
// Arrays are 1-based views (IV = IWORD words, RV = real words) into the
// driver's one work space, or over plain arrays in tests.  A view's length
// is its room: routines that insert entries (the repairs of the data checks,
// the artificial entries of the transversal) or fill a scratch array check
// the room first and fail with kSpNoRoom instead of writing past it, so the
// driver must hand ICI and IA with length MAXA and each scratch array with
// the words it really owns.
#pragma once

#include <algorithm>
#include <cstring>
#include <string_view>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "orvika/sparselu.h"
#include "frame/workspace.hpp"

namespace orvika {

// ---- codes -----------------------------------------------------------------

// Codes of the package (IERR) raised by the routines declared here.
inline constexpr IWORD kSpColLow = -1;      // column index less than 1
inline constexpr IWORD kSpRowCount = -2;    // a row with a negative (or impossible) entry count
inline constexpr IWORD kSpColHigh = -3;     // column index above the number of columns
inline constexpr IWORD kSpEmptyRow = -4;
inline constexpr IWORD kSpEmptyCol = -5;
inline constexpr IWORD kSpRepeated = -6;
inline constexpr IWORD kSpStructSing = -7;  // structurally singular
inline constexpr IWORD kSpNoRoom = -10;     // no room in ICI/IA (MAXA) or in a scratch array
// I4FAC other than 1: with 8-byte integers and reals a real word holds
// exactly one integer word, so the driver refuses any other ratio.
inline constexpr IWORD kSpBadI4fac = -17;

// ---- option block words ------------------------------------------------------

// The ORVK_SPOPT2_WORDS words of an ORVK_SPOPT2 block as a 1-based integer
// view (the const form is only read).
static_assert(sizeof(ORVK_SPOPT2_T) == ORVK_SPOPT2_WORDS * kWordBytes);
inline IV spopt2_words(ORVK_SPOPT2_T& b) {
  return IV(reinterpret_cast<unsigned char*>(&b), ORVK_SPOPT2_WORDS);
}
inline IV spopt2_words(const ORVK_SPOPT2_T& b) {
  return spopt2_words(const_cast<ORVK_SPOPT2_T&>(b));
}

// ---- messages ------------------------------------------------------------------

// One line of a message of the package: 6 blanks, then texts, integers
// right-justified in 6 columns (or W), and the routine's name in
// parentheses after two blanks (or N blanks).
class SpLine {
 public:
  SpLine() { r_.X(6); }
  SpLine& t(std::string_view s) { r_.A(s); return *this; }
  SpLine& i(IWORD v, int w = 6) { r_.I(v, w); return *this; }
  SpLine& tag(std::string_view routine, int blanks = 2) {
    r_.X(blanks).A("(").A(routine).A(")");
    return *this;
  }
  const Rec& rec() const { return r_; }

 private:
  Rec r_;
};

// Writes a message on UNIT: an empty line, then each line.  The caller
// decides whether the message is due (unit > 0, or unit != 0).
template <class... L>
void sp_message(IWORD unit, const L&... lines) {
  write_empty(unit);
  (write_rec(unit, lines.rec()), ...);
}

// The driver's line after a failed stage: "PROGRAM EXECUTION TERMINATED
// (ROUTINE)", written when UNIT > 0.
inline void sp_stage_failed(IWORD unit, std::string_view routine) {
  if (unit > 0) sp_message(unit, SpLine().t("PROGRAM EXECUTION TERMINATED").tag(routine));
}

// Refuses an integer-to-real word ratio other than 1 (the only one 8-byte
// integers and reals allow): when I4FAC != 1 writes, on UNIT > 0, the lines
// "I4FAC = n IS NOT SUPPORTED" / "PROPER VALUE: I4FAC=1" / "PROGRAM
// EXECUTION TERMINATED  (CONTRL)" and returns kSpBadI4fac; else 0.
inline IWORD sp_check_i4fac(IWORD I4FAC, IWORD unit) {
  if (I4FAC == 1) return 0;
  if (unit > 0)
    sp_message(unit, SpLine().t("I4FAC = ").i(I4FAC).t(" IS NOT SUPPORTED"),
               SpLine().t("PROPER VALUE: I4FAC=1"),
               SpLine().t("PROGRAM EXECUTION TERMINATED").tag("CONTRL"));
  return kSpBadI4fac;
}

// ---- work-space partition --------------------------------------------------------

// Computes the partition of a work space of SPENDE real words for order N,
// NZ entries and the options, into words 13-53 of P (IB, IRP, IVECT, JVECT,
// IORN, W18, ICI, IA, X, ROWSC, COLSC, W24-W52, MAXA); positions whose
// sub-array the options do not need keep their value.  Integer and real
// positions follow the formulas for any I4FAC >= 1.  Returns the last real
// word used, or 0 (P untouched) when N < 0, NZ < 0 or I4FAC < 1.
IWORD ZWPART(IWORD N, IWORD NZ, IWORD SPENDE, IWORD ORDOPT, IWORD METHOD, IWORD SCLOPT,
             IWORD RSTOPT, IWORD I4FAC, IWORD NRHSMX, ORVK_SPOPT2_T& P);

// The least work-space size (real words) the driver admits for order N, NZ
// entries, METHOD, I4FAC >= 1 and the factor SPCFAC (used as max(1, SPCFAC)).
IWORD sp_min_spende(IWORD N, IWORD NZ, IWORD METHOD, IWORD I4FAC, double SPCFAC);

// ---- input conversion and data checks ------------------------------------------

// Triplets to row form in place (counting sort by rows).  Returns 0, or the
// first triplet k whose row IVECT(k) lies outside 1..N, in which case
// nothing is changed.
IWORD SPRSRT(IWORD N, IWORD NZ, IV IVECT, IV JVECT, IV IRP, RV A);

// Checks and repairs a row-form matrix: row counts, column indices,
// repeated indices (merged), empty columns and rows (paired or fixed by
// unit entries); fills the status flags W40 (NROW) and W41 (NCOL); returns
// NCMAX (largest column index met, at least NCOL) and NADD (empty columns
// left without a row).  MARK is scratch for the largest column index of the
// matrix; a larger index than MARK holds is refused with kSpColHigh.
// ICI and A have room for ICI.size() entries (kSpNoRoom beyond).
void DCHEKA(IWORD NROW, IWORD NCOL, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, IV MARK, RV A, RV B,
            IWORD NRHS, IV W40, IV W41, IWORD& NCMAX, IWORD& NADD, const ORVK_SPOPT2_T& OPT2,
            IWORD& IERR);
// Adds rows NROW+1..NCOL to a matrix with more columns than rows (the
// arrays already laid out for order NCOL).  With two right-hand sides the
// second column of B moves from NROW+1 to NCOL+1 and its new rows are 0.
void DCHEKB(IWORD NROW, IWORD NCOL, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, IV MARK, RV A, RV B,
            IWORD NRHS, IV W40, IV W41, IWORD& NADD, const ORVK_SPOPT2_T& OPT2, IWORD& IERR);
// Appends the extra last row N (N already raised by one) holding the empty
// columns left without a row.  The second column of B moves to N+1.  IERR
// is set only when ICI/A lack room (kSpNoRoom).
void DCHEKC(IWORD N, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, RV A, RV B, IWORD NRHS, IV W40,
            IV W41, const ORVK_SPOPT2_T& OPT2, IWORD& IERR);
// Merges repeated column indices (reuse path).  Column indices outside
// 1..min(NCOL, MARK.size()) and impossible row counts are refused.
void DCHEKD(IWORD NROW, IWORD NCOL, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, IV MARK, RV A,
            const ORVK_SPOPT2_T& OPT2, IWORD& IERR);

// Inserts the entry (COL, V) of row ROW at position P of the row-form
// matrix of NROW rows and NZ entries (room for one more checked by the
// caller): the entries from P on move up one place.
inline void insert_entry(IWORD NROW, IWORD& NZ, IV IRP, IV ICI, RV A, IWORD ROW, IWORD P, IWORD COL,
                         double V) {
  ICI.move(P, P + 1, NZ - P + 1);
  A.move(P, P + 1, NZ - P + 1);
  ICI(P) = COL;
  A(P) = V;
  ++NZ;
  for (IWORD q = ROW + 1; q <= NROW + 1; ++q) ++IRP(q);
}

// ---- orderings 1 to 4 ---------------------------------------------------------------

// Pivot order for ORDOPT 1-4: IORN (row of each step, negative at block
// ends), W39 (step of each column), W18 (column of each step).  W28 is
// scratch of 4N+1 words (3N+1 for ordering 1); W34 receives one row index
// per entry, artificial entries included, so it needs NZ + N words for
// orderings 3 and 4 (the driver may hand the free region from IVECT' up to
// W40).  A starting IORN that is not a signed permutation is replaced by
// the natural order.
void TALLY(IWORD N, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, RV B, IWORD NRHS, IV IORN,
           IV W18, IV W28, IV W34, IWORD ORDOPT, const ORVK_SPOPT2_T& OPT2, IV W39, IV W40, IV W41,
           IWORD& IERR);
// Column-wise pattern (CP, RI), row and column counts, identity W18.
void SPTRAN(IWORD N, IWORD NZ, IV IRP, IV ICI, IV IORN, IV W18, IV CP, IV RI, IV RCNT, IV CCNT);
// Singleton elimination over lines with CNT1 == 1, scanning ORDER(KF..KL).
void TRIANG(IWORD N, IWORD NZ, IWORD KF, IWORD KL, IWORD& TAIL1, IWORD& TAIL2, IV PTR1, IV IDX1,
            IV ORDER, IV OTHER, IV PTR2, IV IDX2, IV CNT1, IV CNT2, IWORD& IERR);
// Bump rule of orderings 1 and 3 (least row count, heaviest columns).
void SORDR1(IWORD N, IWORD NZ, IWORD KF, IWORD KL, IWORD& RTAIL, IWORD& CTAIL, IWORD& RTAIL2,
            IWORD CTAIL2, IV IRP, IV ICI, IV IORN, IV CP, IV RI, IV RCNT, IV CCNT, IV LINK);
// Bump rule of orderings 2 and 4 (the row that leaves a neighbour fewest columns).
void SORDR2(IWORD N, IWORD NZ, IWORD KF, IWORD KL, IWORD& RTAIL, IWORD& CTAIL, IWORD& RTAIL2,
            IWORD CTAIL2, IV IRP, IV ICI, IV IORN, IV CP, IV RI, IV RCNT, IV CCNT, IV LINK, IV MARK);
// Column assignment, spikes and block marks for the row order IORN.
void SPIKE(IWORD N, IV IRP, IV ICI, IV IORN, IV W39, IV W18, IWORD& IERR);

// ---- transversal and block triangularisation ---------------------------------------

// Maximum transversal (MATCH(c) = row of column c); a deficient pattern is
// completed with artificial entries 100.0.  RANK: 0 on entry, the rank at
// the first gap in a column not flagged by the data checks.  PATH, POS,
// VISIT, SCAN: N words of scratch each; regions of the pattern proven to
// reach no free column are walked once, not once per augmenting search.
// Returns 0, or kSpNoRoom (nothing inserted) when ICI/IA lack room for the
// entries.
IWORD TRANSV(IWORD N, IV ICI, IWORD& NZ, IV IRP, RV IA, RV B, IWORD NRHS, IV MATCH, IWORD& NMATCH,
             IV PATH, IV POS, IV VISIT, IV SCAN, IV W40, IV W41, IWORD& RANK);
// Strong components of the matched graph (Tarjan, non-recursive): POSP(k) =
// column at final position k, STACK(b) = first position of component b.
void BLTARJ(IWORD N, IV ICI, IWORD NZ, IV IRP, IV MATCH, IV POSP, IV STACK, IWORD& NBLOCK, IV LOW,
            IV NUM, IV PARENT);
// The block lower-triangular row order from a full matching: strong
// components by BLTARJ, then IORN(k) = the row matched to the column at
// position k, the last position of every block negated.  Scratch as BLTARJ.
void block_row_order(IWORD N, IV ICI, IWORD NZ, IV IRP, IV MATCH, IV IORN, IV STACK, IV LOW,
                     IV NUM, IV PARENT);
// Block lower-triangular row order with block-end marks in IORN.
void BLOCK(IWORD N, IV ICI, IWORD& NZ, IWORD MSGUNIT, IV IRP, RV IA, RV B, IWORD NRHS, IV MATCH,
           IV IORN, IV STACK, IV W39, IV PATH, IV PARENT, IV W40, IV W41, IWORD& IERR,
           const ORVK_SPOPT2_T& OPT2);

// ---- P4 ordering ----------------------------------------------------------------------

// Ordering option 5.  W28 is scratch of 4N words; W34 as for TALLY.
void P4(IWORD N, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, RV B, IWORD NRHS, IV W18, IV IORN,
        IV W39, IV W28, IV W34, IV W40, IV W41, const ORVK_SPOPT2_T& OPT2, IWORD& IERR);
void P4I(IWORD N, IWORD& NZ, IWORD& WORD, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, RV B, IWORD NRHS,
         IV W18, IV W34, IV IORN, IV W39, IV RC, IV CS, IV NEXT, IV PREV, IV W40, IV W41,
         IWORD CHKMODE, IWORD& IERR);
// Column-wise pattern: CP (NCOL+1) pointers, RI row indices ascending per column.
void GETCOL(IWORD NROW, IWORD NCOL, IV IRP, IV ICI, IV CP, IV RI);

// ---- equilibration and scaling ----------------------------------------------------------

// Row and column scale factors RF (M), CF (N) for the modes 0-5 (any other
// mode as 5); WR (M), WC (N) scratch.  Entries with an index outside 1..M
// or 1..N are ignored.
void EQUILR(IWORD M, IWORD N, IWORD NZ, IV IRP, IV ICI, RV A, IWORD MODE, RV RF, RV CF, RV WR, RV WC);
void EQUILT(IWORD M, IWORD N, IWORD NZ, const IWORD* IRN, const IWORD* JCN, const double* A,
            IWORD MODE, double* RF, double* CF, double* WR, double* WC);
void EQUILD(IWORD M, IWORD N, IWORD LDA, const double* A, IWORD MODE, double* RF, double* CF,
            double* WR, double* WC);

// Logarithmic scaling by least squares (conjugate gradients): R and CF
// receive the natural logarithms of the row and column factors.
void SPSCAL(IWORD N, IWORD LP, IWORD NZ, RV A, IV IRP, IV ICI, RV R, RV CF, IV NR, IV NC, RV CSUM,
            RV CDIR, RV RAVG);

}  // namespace orvika
