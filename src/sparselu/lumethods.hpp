// Factor-and-solve methods 1 to 7 of the sparse LU package, with the kept
// factors of methods 2 and 5 and their re-solves (methods 3 and 6).
//
// Arrays are 1-based views (IV = IWORD words, RV = real words) into the
// driver's work space, or over plain arrays in tests; the Wk names are the
// sub-arrays of the partition.  Every routine reports through IERR with the
// package's codes and writes its messages on MSGUNIT (only when MSGUNIT > 0,
// except the empty-row message of LU1P1, written whenever MSGUNIT != 0).
//
// Besides the codes of the data checks the methods use:
//   8    a numerically singular step was repaired (methods 1, 2);
//  -8    numerically singular (also a non-finite pivot candidate);
//  -9    LOWMAX too small for the kept factors (methods 2, 5);
//  -10   MAXA too small (also the block saves of method 2, the room that
//        method 4/5 needs at entry);
//  -11   kept factors that must not be used (methods 3, 6);
//  -12   the ordering does not fit the matrix: a row or column order that is
//        not a permutation, a column index outside 1..N, an entry outside
//        its diagonal block (methods 1, 2) or spikes that are not nested
//        (methods 4, 5) -- what a reused ordering meets when the pattern
//        changed but the entry count did not.
#pragma once

#include <cstdint>

#include "orvika/sparselu.h"
#include "sparselu/sparselu.hpp"
#include "frame/workspace.hpp"

namespace orvika {

inline constexpr IWORD kSpRepaired = ORVK_SP_REPAIRED;
inline constexpr IWORD kSpNumSing = ORVK_SP_NUM_SINGULAR;
inline constexpr IWORD kSpNoRoomL = ORVK_SP_LOWMAX_SHORT;
inline constexpr IWORD kSpFactorsBad = ORVK_SP_FACTORS_UNUSABLE;
inline constexpr IWORD kSpOrderBad = ORVK_SP_ORDERING_REFUSED;

// ---- method 1: row-wise factor-and-solve ------------------------------------------

// Solves A x = b (NRHS = 1 or 2) by rows in the pivot order IORN/W39 with
// threshold pivoting; keeps no factors.  PIVTL1/PIVTL2 are repaired in
// place.  STEPC is N words of scratch (the step-to-column map; the driver
// passes W30, free during the factorisation).  On return X holds the
// solution by column number, B the solution in step order; IRP, ICI, IA and
// IORN are destroyed, W39 is the column-to-step map of the factorisation.
void LU1SOL(IWORD N, IWORD MAXA, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI,
            RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W39, IV W40, IV W41,
            const ORVK_SPOPT2_T& SPOPT2, IV STEPC, IWORD& IERR);
// Checks that |IORN(1..N)| lies in 1..N (else -12 with WHO's message) and
// puts B (NRHS columns) into step order: B(j) := B(|IORN(j)|), X as scratch.
bool lu_rhs_to_steps(IWORD N, IWORD MSGUNIT, IV IORN, RV B, IWORD NRHS, RV X, std::string_view who,
                     IWORD& IERR);
// Re-solve guard of methods 3 and 6: true when every column-status flag
// W41(1..N) is 1.  Otherwise writes the refusal (its first line HEAD with
// the routine's TAG, then LEAD and the two lines on singularity), sets IERR
// to the kept-factors code and returns false.
bool kept_flags_ok(IWORD N, IWORD MSGUNIT, IV W41, std::string_view head, std::string_view lead,
                   std::string_view tag, IWORD& IERR);
// The refusal of kept factors that are not consistent: HEAD with TAG, then
// "THE KEPT FACTORS ARE NOT CONSISTENT"; sets IERR.
void kept_factors_bad(IWORD MSGUNIT, std::string_view head, std::string_view tag, IWORD& IERR);
// Phase 1 of methods 1 and 2: the rows, in pivot order, to the top end of
// ICI/IA (MAXA positions); IW is N integer words of scratch.
void LU1P1(IWORD N, IWORD MAXA, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, IV IORN, IV IW, IWORD& IERR);
// Phase 2 of method 1: elimination, pivoting, right-hand sides and block
// back substitution (B already in step order).
void LU1P2(IWORD N, IWORD MAXA, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI,
           RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W39, IV W40, IV W41,
           const ORVK_SPOPT2_T& SPOPT2, IV STEPC, IWORD& IERR);

// ---- methods 2 and 3: kept factors and re-solve ------------------------------------

// The record of method 2's row eliminations, kept for the next
// factorisation with the same layout: above the L rows, at the top of W42
// below position LOWMAX, the column map W39 the elimination started from,
// then for each row its pivot column and the columns it met in the order
// the elimination met them.  A factorisation whose start map equals the
// recorded one, or the map that recorded factorisation ended with (the
// first refactor after pivot exchanges without the restore, recognised
// from the record's own pivot words), replays the rows with the recorded
// order instead of building it, as long as every pivot choice, every multiplier and every
// new upper-factor entry is as the record says (no choice of another
// pivot, no exact-zero multiplier, no exact-zero entry, no column of the
// row outside the record); at the first row where one is not, the plain
// elimination goes on from that row and records its rows afresh.  IN/IN_LO/
// IN_SUM describe a record left by the last call (its lowest position and
// a one-pass checksum of its words); OUT/OUT_LO/OUT_SUM receive those of the record left now
// (OUT false: none, because of an exact zero, a repair, a failure or no
// room beside the L rows).  REPLAYED counts the rows replayed.
struct LuRecord {
  bool in = false;
  IWORD in_lo = 0;
  std::uint64_t in_sum = 0;
  bool out = false;
  IWORD out_lo = 0;
  std::uint64_t out_sum = 0;
  IWORD replayed = 0;
};

// Method 1 keeping the factors: L rows in W32/W42/W26 (capacity LOWMAX),
// U rows in IRP/ICI/IA, the row order back in IORN (W29: N words scratch),
// W39 the column-to-step map.  W50/W51 hold the U rows of the finished
// blocks (their view lengths are their room: -10 when the factor outgrows
// them) and W52 (N) the block counts.  STEPC as for LU1SOL.
void LU2SOL(IWORD N, IWORD MAXA, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI,
            RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W39, IV W32, IV W42, RV W26, IWORD LOWMAX,
            IV W29, IV W40, IV W41, const ORVK_SPOPT2_T& SPOPT2, RV W50, IV W51, IV W52, IV STEPC,
            IWORD& IERR, LuRecord* REC = nullptr);
// Phase 2 of method 2.  SAVECAP is the room of W50/W51 (the entry count).
void LU2P2(IWORD N, IWORD MAXA, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI,
           RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W39, IV W32, IV W42, RV W26, IWORD LOWMAX,
           IV W40, IV W41, const ORVK_SPOPT2_T& SPOPT2, RV W50, IV W51, IV W52, IWORD SAVECAP,
           IV STEPC, IWORD& IERR, LuRecord* REC = nullptr);
// The elimination shared by LU1P2 and LU2P2; with KEEP it records the L
// rows and saves the U rows of each block (method 2).
struct LuKeep {
  IV W32, W42;
  RV W26;
  IWORD LOWMAX;
  RV W50;
  IV W51, W52;
  IWORD SAVECAP;
  LuRecord* REC = nullptr;  // the record of the eliminations (none: not kept)
};
void lu_rows(IWORD N, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, RV B,
             IWORD NRHS, RV X, IV IORN, IV W39, IV W40, IV W41, IWORD CHKMODE, IV STEPC,
             LuKeep* KEEP, IWORD& IERR);
// What the driver's re-solve (method 3 or 6) has already done or will do
// around the replay, so that the replay does it within its own passes.
// MAPS_CHECKED: the step maps (|IORN| and W39, or IORN and W37) are known
// to be permutations of 1..N.  RS: B is taken as scaled by RS (B(i)·RS(i),
// both right-hand sides) as it is read, and is scaled in place only where
// the replay stops with B otherwise unchanged.  CS: a successful replay
// leaves X(c)·CS(c) and sets SCALED_X.  B_SCRATCH (method 6): the caller
// overwrites B after a successful replay, so it may end as scratch.  B and
// X end with the values the separate passes would leave.
struct ReplayFuse {
  bool maps_checked = false;
  const RV* RS = nullptr;
  const RV* CS = nullptr;
  bool b_scratch = false;
  bool scaled_x = false;
};
// B (N words, with TWO the second right-hand side behind it) scaled in place
// by the RS of FUSE, if it has one: for the returns before a replay reads B.
inline void replay_scale_b(const ReplayFuse* FUSE, IWORD N, bool two, RV B) {
  if (!FUSE || !FUSE->RS) return;
  const RV& RS = *FUSE->RS;
  for (IWORD i = 1; i <= N; ++i) {
    B(i) *= RS(i);
    if (two) B(N + i) *= RS(i);
  }
}
// Method 3: solves with the factors of method 2.  B (input row numbering)
// and X both receive the solution by column number.
void LU1P3(IWORD N, IWORD MSGUNIT, RV B, IWORD NRHS, RV X, IV W39, IV IORN, IV W32, IV W42,
           RV W26, IV IRP, IV ICI, RV IA, IV W41, IWORD& IERR);
void lu_replay(IWORD N, IWORD MSGUNIT, RV B, IWORD NRHS, RV X, IV W39, IV IORN, IV W32, IV W42,
               RV W26, IV IRP, IV ICI, RV IA, IV W41, IWORD& IERR, ReplayFuse* FUSE);

// ---- method 4: column-segment factor-and-solve ---------------------------------------

// Solves A x = b by the column-segment method in the order IORN/W18
// (nested spikes).  The tolerances come in the order PIVTL2, PIVTL1 and are
// not repaired.  W28 needs 2N words (bases, then the copy of W18); W35,
// W36 N words each.  MAXA >= NZ + N.  B and the matrix are unchanged.
void CBS(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ, IWORD MAXA,
         IV IRP, IV ICI, RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W18, IV W28, IV W35, IV W36,
         IWORD& IERR);
void CBSLU1(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ,
            IWORD MAXA, IV IRP, IV ICI, RV IA, RV X, RV B, IWORD NRHS, IV IORN, IV W18, IV W28,
            IV W35, IV W36, IV W18COPY, IWORD& IERR);

// The column-segment elimination shared by CBSLU1 and CBSLU2; with KEEP it
// records the factors (method 5).  COPY receives the column-to-step map on
// return, W18 its entry value.
struct CbsKeep {
  IV W32, W42;
  RV W26;
  IWORD LOWMAX;
  IV W33, W43;
  RV W27;
};
void cbs_core(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ,
              IWORD MAXA, IV IRP, IV ICI, RV IA, RV X, RV B, IWORD NRHS, IV IORN, IV W18, IV BASE,
              IV FIRST, IV LIST, IV COPY, CbsKeep* KEEP, IWORD& IERR);

// ---- methods 5 and 6: column-segment factors kept and re-solve -------------------------

// Method 4 recording its elimination: L rows in W32/W42/W26 and column
// eliminations in W33/W43/W27 (capacity LOWMAX each); W37 receives the
// column-to-step map.  Each group of the deferred back substitution is
// recorded after step N's own entries behind a head entry (W43 = -R, the
// group's step, W27 = its length), so that method 6 replays it exactly.
// Exact zeros of a column elimination are recorded as stretches of one sign
// (W43 = -(N + first row), W27 = the count, negative for -0.0): the space
// follows the nonzeros of the factors, and method 6 applies a stretch only
// where 0·y can change a value (y infinite or NaN, or a product -0).
void CBS2(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ, IWORD MAXA,
          IV IRP, IV ICI, RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W18, IV W37, IV W28, IV W32,
          IV W42, RV W26, IWORD LOWMAX, IV W33, IV W43, RV W27, IV W35, IV W36, IWORD& IERR);
void CBSLU2(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ,
            IWORD MAXA, IV IRP, IV ICI, RV IA, RV X, RV B, IWORD NRHS, IV IORN, IV W18, IV W28,
            IV W35, IV W36, IV W37, IV W32, IV W42, RV W26, IWORD LOWMAX, IV W33, IV W43, RV W27,
            IWORD& IERR);
// Method 6: replays the recording of method 5 on new right-hand sides (B in
// input row numbering, used as work); X receives the solution by column.
void CBSLU3(IWORD N, IWORD MSGUNIT, RV B, IWORD NRHS, RV X, IV W37, IV IORN, IV W32, IV W42,
            RV W26, IV W33, IV W43, RV W27, IV W41, IWORD& IERR);
void cbs_replay(IWORD N, IWORD MSGUNIT, RV B, IWORD NRHS, RV X, IV W37, IV IORN, IV W32, IV W42,
                RV W26, IV W33, IV W43, RV W27, IV W41, IWORD& IERR, ReplayFuse* FUSE);

// ---- method 7: row-ordered elimination ---------------------------------------------------

// Solves A x = b (NRHS = 1 or 2) with the rows of IORN as pivot rows, the
// rows without a usable new column eliminated into fill rows stored in
// ICI/IA behind the matrix (up to MAXA).  W (N reals), CMARK, PIVPOS,
// SAVEORD (N words each) are scratch; IORN is restored.  TOL is PIVTL2.
// IERR (set only on failure): -10 MAXA too small; -8 a fill row without a
// usable pivot (none, below 1e-30, or below 1e3*eps times the largest
// magnitude the row reached while it was reduced), or a solution whose
// normwise backward error exceeds 1e-10 (X then holds that solution);
// -12 IRP, ICI or IORN unusable.
void RANKI(IWORD N, double TOL, IWORD MAXA, IWORD MSGUNIT, IV IRP, IV ICI, RV A, RV B, IWORD NRHS,
           RV X, RV W, IV IORN, IV CMARK, IV PIVPOS, IV SAVEORD, IWORD RNKOPT, IWORD& IERR);
// Demotes (IORN(i) := -r) the rows whose pivot is small against the row.
void INDIAG(IWORD N, double TOL, IV IRP, IV ICI, RV A, RV W, IV IORN, IV PIVPOS);

}  // namespace orvika
