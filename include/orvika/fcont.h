/* ORVIKA - continuation (homotopy) solver.
 *
 * FCONT_SOLVE follows the zero curve of a homotopy H(x, lambda) = 0 from
 * lambda = 1 (the start point) to lambda = 0 (the caller's system F(x) = 0)
 * by reverse communication: it returns with a request code in ISOLV and
 * expects to be called again with every argument unchanged except those the
 * request names.  FCONT_GETINFO and FCONT_SETPARAM address the words of the
 * option and state records by name. */
#ifndef ORVIKA_FCONT_H
#define ORVIKA_FCONT_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Message routine: shows TEXT(1:COUNT) as one line for UNIT; COUNT 0 with
 * the text " " (length 1) is a blank line. */
typedef void (*FCONT_MSGRTN)(const IWORD *UNIT, const IWORD *COUNT, const char *TEXT,
                             int64_t TEXT_LEN);

/* Name routine: writes the name of item INDEX into TEXT (TEXT_LEN = 128
 * characters) and its length into LENGTH (128 on entry).  NAMES is the
 * names argument of FCONT_SOLVE as the caller passed it. */
typedef void (*FCONT_NAMRTN)(const IWORD *INDEX, const void *NAMES, IWORD *LENGTH, char *TEXT,
                             int64_t TEXT_LEN);

/* Continuation solver, one step of the reverse-communication exchange.
 *
 * ISOLV   (in/out) -1 starts a run.  On return a request: -2 evaluate F at
 *         X (type 4: at X, RLAM) into F, setting IFERR nonzero when that is
 *         impossible; -3 write the Jacobian at X into AJAC; -5 a turning
 *         point of the parameter was passed (X, RLAM); -6 a new path point
 *         (X, RLAM).  Call again with the code still in ISOLV.  Final codes:
 *         0 solved; 1 maximum points; 2 maximum iterations; 3 slow
 *         iterations; 4 singular Jacobian (or a linear solve whose
 *         solution is not finite); 5 structurally singular Jacobian; 7
 *         start-point correction failed; 8 step reduced to MINSTP; 9
 *         parameter limit; 12 bad input parameter; 13 bad bounds; 14 bad
 *         Jacobian structure; 15 insufficient work space; 16 empty
 *         row/column; 17 bad starting point (IFERR set, or a residual at
 *         the start point that is not finite); 19 LDB < N (dense).  An
 *         infinite residual counts as a failed evaluation like NaN; no
 *         request hands the caller a point that is not finite unless the
 *         caller's own start point is not.  Before a
 *         final code other than 0 the best point (smallest parameter) is
 *         restored and evaluated once more (request -2).
 * ISTORE  1 sparse triplets (IRN, ICN, AJAC(NZ)); 2 dense AJAC(LDB, N).
 * JMODE   1 caller's Jacobian; 2 finite differences; 3, 4 caller's,
 *         checked once by grouped / column differences.
 * IHOM    homotopy 1 F(x) - lambda F(x0); 2 (1-lambda) F + lambda J0 (x-x0);
 *         3 (1-lambda) F + lambda (x-x0)/(FSCALE XSCALE); 4 the caller's F
 *         depends on lambda (natural parameter).
 * IFERR   (in/out) nonzero: the caller could not evaluate F.
 * N       number of variables and equations (N < 1 gives code 12).
 * X       (in/out, N) start point; the point of every request; the result.
 * RLAM    (out) the parameter belonging to X.
 * F       (N) residuals, written by the caller on request -2.
 * NZ, IRN, ICN  (sparse) entry count, row and column numbers (NZ each).
 * LDB     leading dimension of a dense AJAC.
 * AJAC    Jacobian values (NZ, or LDB by N); overwritten by the solver.
 * IPERM   (N) dense: pivot list; sparse: optional row numbering, handed to
 *         ORVK_CONTRL (ORVK_SPOPT2 word 7 = 1) only when |IPERM| is a
 *         permutation of 1..N.
 * IPARAM(14), RPARAM(20)  options; IINFO(47), RINFO(21)  state (leave
 *         untouched during a run).
 * XLB, XUB (N) bounds.  FSCALE, XSCALE (in/out, N) scale factors, computed
 *         when the first component is not in (0, RMISS).
 * MXNAME, XNAMES, MFNAME, FNAMES  variable and equation names and modes.
 * NAMRTN, MSGRTN  name and message routines; absent as a null pointer or
 *         the address of a 64-bit word holding 0.
 * LIW, IW  integer work array; LW, W  real work array.
 * Work space: W needs 11N+8 words, N*N (dense) or NZ (sparse) more for
 * IHOM = 2, plus the linear solver's work (sparse: what ORVK_CONTRL needs
 * for a new analysis at the solver's input positions: at least its
 * minimum of about 24 N + 7 NZ + 90 words, more for the positions and a
 * row numbering; a shorter W ends the run at the start with code 15 and a
 * message giving the least LW); IW needs NZ+2N+1
 * words for sparse differences, N more for sparse IHOM 3.  Sizes whose
 * layout exceeds the IWORD range give code 15.
 * Sparse options: the run takes ORVK_SPOPT1-3 as the caller left them at
 * the start (a re-solve METHOD 3 or 6 becomes 1; a message unit outside
 * 1..999 becomes the first message unit in 1..100, else 0), keeps its own
 * copies and puts them into the blocks only around each ORVK_CONTRL call;
 * the caller's values are given back after every call, except that pivot
 * tolerances raised after a poor residual check stay raised.
 * Cost: per path point one or more Jacobians and O(N^3) (dense) or one
 * sparse LU per corrector step.
 * Method: arc-length predictor-corrector continuation (Allgower & Georg,
 * Numerical Continuation Methods, 1990). */
ORVK_API void FCONT_SOLVE(IWORD *ISOLV, const IWORD *ISTORE, const IWORD *JMODE, const IWORD *IHOM,
                          IWORD *IFERR, const IWORD *N, double *X, double *RLAM, double *F,
                          const IWORD *NZ, const IWORD *IRN, const IWORD *ICN, const IWORD *LDB,
                          double *AJAC, IWORD *IPERM, IWORD *IPARAM, double *RPARAM, IWORD *IINFO,
                          double *RINFO, const double *XLB, const double *XUB, double *FSCALE,
                          double *XSCALE, const IWORD *MXNAME, const void *XNAMES,
                          const IWORD *MFNAME, const void *FNAMES, FCONT_NAMRTN NAMRTN,
                          FCONT_MSGRTN MSGRTN, const IWORD *LIW, IWORD *IW, const IWORD *LW,
                          double *W);

/* Record directory.  KIND 1 IPARAM, 2 RPARAM, 3 IINFO, 4 RINFO.
 * MODE 1: LEN := number of names of KIND; MODE 2: number of words;
 * MODE 3: INDEX, POS, LEN of NAME (0 when unknown); MODE 4: NAME, POS, LEN
 * of name INDEX (blank and 0 when out of range).  Names match without
 * regard to case. */
ORVK_API void FCONT_GETINFO(const IWORD *MODE, const IWORD *KIND, char *NAME, IWORD *INDEX,
                            IWORD *POS, IWORD *LEN, int64_t NAME_LEN);

/* Sets one option by name: KIND 1 IPARAM(POS) := IVAL; KIND 2
 * RPARAM(POS) := RVAL; KIND 0 integer names first (IPARAM := RVAL truncated,
 * POS > 0; a NaN, infinite or out-of-range RVAL is refused with POS 0),
 * then real names (RPARAM := RVAL, POS < 0).  POS 0: not found or refused,
 * nothing stored. */
ORVK_API void FCONT_SETPARAM(const char *NAME, const IWORD *KIND, const IWORD *IVAL,
                             const double *RVAL, IWORD *IPARAM, double *RPARAM, IWORD *POS,
                             int64_t NAME_LEN);

ORVK_END_DECLS

#endif
