// Internal routines of the QP solver family, grouped by role: the option
// and state words, the print helpers, the KKT builders, the dense and the
// sparse KKT solvers, the active-set step, the LP set-ups and the simplex
// feasibility check.
//
// Arrays are passed by their first word (1-based in the comments), input
// scalars by value, outputs by reference.  The KKT matrix K = [H Q'; Q 0] is
// symmetric and indefinite; the sparse solvers hold its lower triangle with
// the diagonal in compressed rows (IA, JA, A), rows in the order Hessian,
// equality rows, active inequality rows.  The sparse solvers print to word 2
// of ORVK_NLPINT at the level in word 3 (simplex check: words 82 and 83).
#pragma once

#include <cmath>
#include <cstddef>
#include <string_view>

#include "orvika/kernels_vector.h"
#include "orvika/orvika_types.h"
#include "orvika/qp.h"

namespace orvika {

// ---- Option and state words -------------------------------------------------

// Word K (from 1) of ORVK_NLPINT / ORVK_NLPREA.
inline IWORD& nlpint(int k) { return ORVK_NLPINT[k - 1]; }
inline double& nlprea(int k) { return ORVK_NLPREA[k - 1]; }

// ---- Print and timer helpers ------------------------------------------------

namespace qp_detail {

// The dumps of the dense solver, the active-set step, the LP set-ups and the
// driver: the label as given, vectors from offset IOFF.
inline void dump_r(IWORD unit, IWORD n, IWORD ioff, const double* v, std::string_view label) {
  ORVK_VRDUMP(&unit, &n, &ioff, v, label.data(), static_cast<int64_t>(label.size()));
}
inline void dump_i(IWORD unit, IWORD n, IWORD ioff, const IWORD* v, std::string_view label) {
  ORVK_VIDUMP(&unit, &n, &ioff, v, label.data(), static_cast<int64_t>(label.size()));
}
inline void dump_sr(IWORD unit, double v, std::string_view label) {
  ORVK_SRDUMP(&unit, &v, label.data(), static_cast<int64_t>(label.size()));
}
inline void dump_si(IWORD unit, IWORD v, std::string_view label) {
  ORVK_SIDUMP(&unit, &v, label.data(), static_cast<int64_t>(label.size()));
}
inline void size_pr(IWORD unit, IWORD n, std::string_view label) {
  ORVK_SIZEPR(&unit, &n, label.data(), static_cast<int64_t>(label.size()));
}

// ---- Scale of a residual ------------------------------------------------------

// Tolerance on a residual (the excess a_r x - b_r of a constraint row, or a
// Hessian row of a KKT system) whose terms have magnitudes summing to S, in
// a problem where the same row at the scale of the whole point has size F
// (for a constraint row |b_r| + sum_j |a_rj| max_j |x_j|).  The relative
// part REL S is floored at REL min(1, F): no looser than REL max(1, S),
// and no looser than the row's own size allows, so that rows or an
// objective scaled by a power of ten keep their verdict.  The part
// kRoundRel F admits the rounding of a point of that size: a row whose
// terms vanish by cancellation or at a point that is zero by rounding.
inline constexpr double kRoundRel = 1e-10;
inline double residual_tol(double rel, double s, double f) {
  return rel * std::fmax(s, std::fmin(1.0, f)) + kRoundRel * f;
}

// Size of constraint row R (0-based) at the scale of the point: |b_r| +
// sum_j |a_rj| XMAX, XMAX = max_j |x_j|.
inline double row_size(IWORD r, const IWORD* iac, const double* ac, const double* b,
                       double xmax) {
  double sa = 0;
  for (IWORD p = iac[r]; p < iac[r + 1]; ++p) sa += std::fabs(ac[p - 1]);
  return std::fabs(b[r]) + sa * xmax;
}

inline double max_abs(IWORD n, const double* x) {
  double m = 0;
  for (IWORD j = 0; j < n; ++j) m = std::fmax(m, std::fabs(x[j]));
  return m;
}

// A symmetric 2x2 pivot block [a b; b c] of the KKT solvers, with its
// determinant ac - b^2 and inverse E = [c -b; -b a]/det.  While the entries
// lie within 2^-480 .. 2^480 these are formed as written (EX = 0).  Beyond,
// where ac or b^2 would overflow or underflow, the block is first scaled by
// 2^-EX (its largest entry brought into [1, 2)): DET then holds the
// determinant of the scaled block, the true one being DET 2^(2 EX), and the
// entries of E, which stay in range for a block that is not near-singular,
// are formed from it.  An entry that is not finite gives DET = NaN.
struct Pivot2 {
  double a = 0, b = 0, c = 0;  // the block, scaled by 2^-EX
  double det = 0;              // determinant of the scaled block
  int ex = 0;
  double e11 = 0, e21 = 0, e22 = 0;  // inverse of the unscaled block

  Pivot2(double a0, double b0, double c0) {
    const double big = std::fmax(std::fabs(a0), std::fmax(std::fabs(b0), std::fabs(c0)));
    if (!(std::isfinite(a0) && std::isfinite(b0) && std::isfinite(c0))) {
      a = a0, b = b0, c = c0;
      det = std::nan("");
      e11 = e21 = e22 = det;
      return;
    }
    if (big == 0 || (big >= 0x1p-480 && big <= 0x1p480)) {
      a = a0, b = b0, c = c0;
      det = a * c - b * b;
      e11 = c / det, e21 = -b / det, e22 = a / det;
      return;
    }
    ex = std::ilogb(big);
    a = std::ldexp(a0, -ex), b = std::ldexp(b0, -ex), c = std::ldexp(c0, -ex);
    det = a * c - b * b;
    e11 = std::ldexp(c / det, -ex), e21 = std::ldexp(-b / det, -ex);
    e22 = std::ldexp(a / det, -ex);
  }
  // |det| of the unscaled block compared with an absolute floor TINY.
  bool below(double tiny) const { return !(std::ldexp(std::fabs(det), 2 * ex) >= tiny); }
};

}  // namespace qp_detail

namespace kkt_detail {

// A label blank-padded (or cut) to the ten characters of the dumps.
struct Label10 {
  char s[10];
  explicit Label10(std::string_view t) {
    for (std::size_t i = 0; i < 10; ++i) s[i] = i < t.size() ? t[i] : ' ';
  }
  std::string_view view() const { return {s, 10}; }
};

// The sparse solvers' and the simplex check's dumps: the label padded to
// ten characters, vectors from offset 0.
void dump_i(IWORD unit, IWORD n, const IWORD* v, std::string_view label);
void dump_r(IWORD unit, IWORD n, const double* v, std::string_view label);
void dump_si(IWORD unit, IWORD v, std::string_view label);
void dump_sr(IWORD unit, double v, std::string_view label);
// A compressed-row matrix of N rows: its row pointers, columns and values
// under the three labels.
inline void dump_rows(IWORD unit, IWORD n, const IWORD* ia, const IWORD* ja, const double* a,
                      std::string_view lia, std::string_view lja, std::string_view la) {
  dump_i(unit, n + 1, ia, lia);
  dump_i(unit, ia[n] - 1, ja, lja);
  dump_r(unit, ia[n] - 1, a, la);
}
void size_pr(IWORD unit, IWORD n, std::string_view label);
// Two empty records, then TEXT from column 5: the phase and case lines.
void phase_line(IWORD unit, std::string_view text);
// Host run time (VLK_TIMINT with mode 1 and the reference word T0).
double timer(double& t0);

}  // namespace kkt_detail

// ---- KKT builders -----------------------------------------------------------

// KKT matrix [H Q'; Q 0] (lower triangle) of the equality rows and the
// active rows IRACT(1..word 4), with right-hand side (-g, b_Q): as
// compressed rows (Hessian entries of magnitude <= 1e-50 dropped) ...
void QPKTSP(IWORD N, const double* G, const IWORD* IAH, const IWORD* JAH, const double* H,
            IWORD MEQ, IWORD MINEQ, const double* B, const IWORD* IAC, const IWORD* JAC,
            const double* AC, IWORD NCACT, double* KTCOEF, IWORD* KTIA, IWORD* KTJA, double* RHS,
            const IWORD* IRACT, IWORD IPRINT);
// ... or as a packed triangle by rows ((N+NCACT)(N+NCACT+1)/2 words).
void QPKTPK(IWORD N, const double* G, const IWORD* IAH, const IWORD* JAH, const double* H,
            IWORD MEQ, IWORD MINEQ, const double* B, const IWORD* IAC, const IWORD* JAC,
            const double* AC, IWORD NCACT, double* AKKT, double* RHS, const IWORD* IRACT);

// ---- Dense KKT solver -------------------------------------------------------

// Largest KKT order the dense solver's saved arrays hold (ISWAP needs 2K words).
inline constexpr IWORD kLdltMaxOrder = 1056;

// Dense symmetric indefinite solve K x = b by Bunch-Parlett diagonal pivoting,
// K packed by rows (lower triangle).  JOB 1 factorise, 2 solve with kept
// factors, other: both.  ISWAP 2N, DWORK N, IPIVOT N words.  ISING 129 on a
// singular (or non-finite) pivot block.
void LDLTBK(double* AK, IWORD N, double* BX, IWORD NRHS, IWORD LDB, IWORD JOB, IWORD* ISWAP,
            double* DWORK, IWORD* IPIVOT, IWORD& ISING, IWORD unit, IWORD IPRINT);

// ---- Sparse LDL^T KKT solver ------------------------------------------------

// Solves K x = b by P K P^T = L D L^T with 1x1 and 2x2 pivot blocks.  MODE 0
// factorises afresh; MODE 1 keeps the factors of the previous call and
// eliminates only the rows of newly active constraints.  IA/JA/A (JA and A
// room for NNZ*NFILL entries) are overwritten; B returns P b.  ISING 1 and
// ISROW on a singular pivot block; IFAIL 1 when a work array is too short.
void LESSLV(IWORD MODE, IWORD N, IWORD NNZ, IWORD MEQ, IWORD MINEQ, IWORD NFILL, IWORD* IA,
            IWORD* JA, double* A, double* B, const double* BOLD, double* X, const IWORD* IRACTC,
            const IWORD* IACOLD, IWORD& ISROW, IWORD LDC, double* CWORK, IWORD LRWLES,
            double* RWLES, IWORD LIWLES, IWORD* IWLES, IWORD& ISING, IWORD& IFAIL);

// Pivot-block selection: chooses a 1x1 or 2x2 block of the reduced matrix
// (order NCUR, first position IROW), moves it to the top-left corner of the
// matrix, of IP and of the rows of L not yet eliminated; IPVTSZ(KBLK) = 1 or
// 2.  PVTSE1 complete search, PVTSE2 Bunch-Kaufman partial pivoting,
// PVTSE3 partial pivoting with the threshold of ORVK_NLPREA word 7.
void PVTSE1(IWORD NCUR, IWORD NRED, IWORD* IA, IWORD* JA, double* A, IWORD KBLK, IWORD IROW,
            IWORD* IP, IWORD NT, IWORD* IX, IWORD LJ, IWORD* IL, IWORD* JL, double* RL,
            const double* D, IWORD* IPVTSZ, IWORD* ICHAN, IWORD* IW1, IWORD* JW1, double* RW1,
            IWORD* IW2, IWORD* JW2, double* RW2, IWORD& IFAIL);
void PVTSE2(IWORD NCUR, IWORD NRED, IWORD* IA, IWORD* JA, double* A, IWORD KBLK, IWORD IROW,
            IWORD* IP, IWORD NT, IWORD* IX, IWORD LJ, IWORD* IL, IWORD* JL, double* RL,
            const double* D, IWORD* IPVTSZ, IWORD* ICHAN, IWORD* IW1, IWORD* JW1, double* RW1,
            IWORD* IW2, IWORD* JW2, double* RW2, IWORD& IFAIL);
void PVTSE3(IWORD NCUR, IWORD NRED, IWORD* IA, IWORD* JA, double* A, IWORD KBLK, IWORD IROW,
            IWORD* IP, IWORD NT, IWORD* IX, IWORD LJ, IWORD* IL, IWORD* JL, double* RL,
            const double* D, IWORD* IPVTSZ, IWORD* ICHAN, IWORD* IW1, IWORD* JW1, double* RW1,
            IWORD* IW2, IWORD* JW2, double* RW2, IWORD& IFAIL);

// One block elimination step: appends the block IPVTSZ(KBLK) to D (LD words,
// word 11 of ORVK_NLPINT in use), its multipliers to the rows of L, and
// replaces the reduced matrix by its Schur complement.  ISROW = IROW and
// ISING = 1 on a singular block.
void BPLDLT(IWORD N, IWORD MINEQ, IWORD& NCUR, IWORD LJUNUSED, IWORD* IA, IWORD* JA, double* A,
            IWORD IROW, IWORD KBLK, IWORD* ICHAN, IWORD LJ, IWORD* IL, IWORD* JL, double* RL,
            IWORD LD, double* D, const IWORD* IPVTSZ, IWORD* IW1, IWORD* JW1, double* RW1,
            IWORD* IW2, IWORD* JW2, double* RW2, IWORD NT2UNUSED, IWORD* IDMUL, IWORD* JDMUL,
            double* DMUL, IWORD* IDINV, IWORD* JDINV, double* DINV, IWORD NT, IWORD* IX,
            double* SUBX, IWORD& ISROW, IWORD& ISING, IWORD& IFAIL);

// Factor update after an active-set change: keeps the factors of the rows
// still present, borders the added rows against them (CWORK, LDC >= NADD,
// NK + NADD columns) and leaves their Schur complement in IA/JA/A; rebuilds
// B in factorisation order.
void UPDAT(IWORD N, IWORD NRED, IWORD* IA, IWORD* JA, double* A, IWORD* IP, IWORD LJ, IWORD* IL,
           IWORD* JL, double* RL, double* D, IWORD* IW1, IWORD* JW1, double* RW1, double* B,
           const double* BOLD, const IWORD* IPVTSZ, const IWORD* IRACTC, const IWORD* IACOLD,
           IWORD& NADD, IWORD& NDEL, IWORD& N1X1, IWORD& N2X2, IWORD* KRADD, IWORD* KADD,
           IWORD* KDEL, IWORD LDC, double* CWORK, IWORD& IFAIL);

// ---- GMRES KKT solver -------------------------------------------------------

// Restarted GMRES for K x = b from the start values X0(1..NX0).  IFAIL 0
// converged, 1 cycle limit reached, 2 a work array too short.
void GMRES(IWORD N, IWORD NX0, const double* X0, const IWORD* IA, const IWORD* JA,
           const double* A, const double* B, double* X, IWORD LIWKGM, IWORD* IWKGM,
           IWORD LRWKGM, double* RWKGM, IWORD& IFAIL);

// The restart iteration on caller-supplied blocks.
void GMRES1(IWORD N, IWORD NX0, IWORD M, IWORD LENX, const double* X0, const IWORD* IA,
            const IWORD* JA, const double* A, const double* B, double* X, IWORD* IQ, IWORD* JQ,
            double* QQ, IWORD* IF, IWORD* JF, double* FF, IWORD* IW, IWORD* JW, double* WW,
            IWORD* IX, double* XX, double* V, double* HV, double* AX, double* AV, double* VW,
            double* R0, double* GK, double* Y, double* CC, double* SS, double* H, IWORD MAXIT,
            double TOL, IWORD KRYMAX, IWORD& IFAIL);

// Givens step J: reduces column J of H, renews Q = F Q and the right-hand
// side GK = BETA Q e1; RES = |GK(J+1)|.  Q is bordered for the next step
// while J < M (IQ holds M+2 pointers).
void GMRGIV(IWORD J, IWORD UNUSED2, IWORD M, IWORD LENX, double BETA, IWORD UNUSED6, double* CC,
            double* SS, double* H, IWORD* IQ, IWORD* JQ, double* QQ, IWORD* IF, IWORD* JF,
            double* FF, IWORD* IW, IWORD* JW, double* WW, IWORD* IX, double* XX, double* GK,
            IWORD UNUSED22, double& RES);

// ---- Active-set step ----------------------------------------------------------

// Active-set step of the QP solver: from the KKT solution X decides which
// inequalities enter and leave the active list IRACT (word 4 = NACTIV).
void QPACTV(IWORD N, double* X, double OBJFQP, IWORD MEQ, IWORD MINEQ, const double* B,
            const IWORD* IAC, const IWORD* JAC, const double* AC, const double* FESBLE,
            const double* G, const IWORD* IAH, const IWORD* JAH, const double* H, IWORD MACT,
            double* RHS, double* ALPHAS, double* XFSMIN, double& OBJFMN, IWORD* IRACT,
            IWORD* JFLAG, IWORD& NACTMN, IWORD* IFSMIN, LWORD* LACT, IWORD IPRINT, IWORD& IRET,
            double& APHMAX, double& ERRCEQ, IWORD ISING, IWORD& INDEF, IWORD ISNGLL,
            const IWORD* IACOLD0, const double* XOLD, IWORD& NCANT, IWORD* ICANT,
            IWORD* ICLOSE, double XHX2, double GQPTDX, double GTX);

// Releases at most one active row (IMODE 1: from JFLAG(1..LEN) with ALPHAS
// below 1 - 1e-8; 2: from IRACT(1..LEN); other: removes row LEN from IRACT).
// MINEQ bounds every row number used as an index.
void QPENL1(IWORD N, double* X, IWORD MEQ, double* ALPHAS, LWORD* LACT, IWORD* IRACT,
            const IWORD* JFLAG, IWORD& JREL, IWORD UNUSED, IWORD LEN, IWORD IMODE, IWORD unit,
            IWORD IPRINT, IWORD MINEQ);
// The release step of QPENL1 repeated NPASS times (four names, one body).
void QPENL2(IWORD N, double* X, IWORD MEQ, double* ALPHAS, LWORD* LACT, IWORD* IRACT,
            const IWORD* JFLAG, IWORD& JREL, IWORD NPASS, IWORD LEN, IWORD IMODE, IWORD unit,
            IWORD IPRINT, IWORD MINEQ);
void QPENL3(IWORD N, double* X, IWORD MEQ, double* ALPHAS, LWORD* LACT, IWORD* IRACT,
            const IWORD* JFLAG, IWORD& JREL, IWORD NPASS, IWORD LEN, IWORD IMODE, IWORD unit,
            IWORD IPRINT, IWORD MINEQ);
void QPENL4(IWORD N, double* X, IWORD MEQ, double* ALPHAS, LWORD* LACT, IWORD* IRACT,
            const IWORD* JFLAG, IWORD& JREL, IWORD NPASS, IWORD LEN, IWORD IMODE, IWORD unit,
            IWORD IPRINT, IWORD MINEQ);
void QPENL5(IWORD N, double* X, IWORD MEQ, double* ALPHAS, LWORD* LACT, IWORD* IRACT,
            const IWORD* JFLAG, IWORD& JREL, IWORD NPASS, IWORD LEN, IWORD IMODE, IWORD unit,
            IWORD IPRINT, IWORD MINEQ);

// ---- LP set-ups and report ---------------------------------------------------

// Phase-1 LP (equality and general inequality rows with slack columns of
// cost 1, bounds from inequality rows 1..2N), built and reported; IFLAG 1
// when the LP is found inconsistent.  Needs MINEQ >= 2N.
void QPINX(IWORD N, IWORD MEQ, IWORD MINEQ, const IWORD* IAC, const IWORD* JAC,
           const double* AC, const double* B, double* X, double* OBJC, double* XLB, double* XUB,
           double* BRHS, double* DSOL, IWORD* IRTYPE, IWORD* ICJ, IWORD* JCJ, double* CJ,
           IWORD LDC, double* CWORK, IWORD IPRINT, IWORD& IFLAG);
// Descent LP (costs g over the same rows, no slacks), built and reported;
// IFLAG 1 when it shows no descent direction.  Needs MINEQ >= 2N.
void GTX(IWORD N, IWORD MEQ, IWORD MINEQ, const double* G, const IWORD* IAC, const IWORD* JAC,
         const double* AC, const double* B, double* X, IWORD* ICJ, IWORD* JCJ, double* CJ,
         double* OBJC, double* XLB, double* XUB, double* BRHS, double* DSOL, IWORD* IRTYPE,
         IWORD LDC, double* CWORK, IWORD IPRINT, IWORD unit, IWORD& IFLAG);
// Report of an LP and its solution; LPJOB 1 maximisation (costs negated in
// place), 2 minimisation.
void QPLPDM(IWORD LPJOB, IWORD NVAR, IWORD NCON, const IWORD* IRTYPE, IWORD LDC,
            const double* CWORK, double* OBJC, const double* BRHS, const double* XSOL,
            const double* DSOL, double& OBJVAL, const double* XLB, const double* XUB,
            IWORD IPRINT);

// ---- Simplex feasibility check ----------------------------------------------

// Phase-1 simplex check of the constraints (MEQ equalities, simple bounds,
// NINSPC general inequalities), or of the point X against the equality rows
// (MODE 1).  A work array that is too short is reported (IFEAS 2).  Unit 80
// is closed after the run unless CLOSE80 is false (the QP solver's own use).
void SPXCHK(const IWORD* ICJ, const IWORD* JCJ, const double* ACJ, IWORD MEQ, IWORD MINEQ,
            const double* B, IWORD N, IWORD UNIT, IWORD LIWORK, IWORD* IWORK, IWORD LRWORK,
            double* RWORK, IWORD& IACT, IWORD& NACT, double* X, IWORD* IACTV, IWORD MODE,
            IWORD& IFEAS, bool CLOSE80 = true);

// Builds the phase-1 tableau, runs SPXITR and evaluates the result.
void SOLVER(const IWORD* ICJ, const IWORD* JCJ, const double* ACJ, IWORD MEQ, IWORD MINEQ,
            IWORD NCJ, IWORD N, IWORD* ITAB, IWORD* JTAB, double* ATAB, IWORD* IA, IWORD* JA,
            double* AV, IWORD* IFILL, IWORD* JFILL, double* AFILL, const double* B, double* XSOL,
            double* ERROR, double* BNDU, double* BNDL, IWORD* NVARS, double* RHSOLD,
            IWORD* INVERT, IWORD* ITOB, IWORD* JTOB, double* ATOB, IWORD& NACT, IWORD UNIT,
            double* X, IWORD MODE, IWORD* IACTV, IWORD& IFEAS);

// POS = position of column K in row J of the tableau, 0 when not stored.
void SPXFND(IWORD J, IWORD K, const IWORD* ITAB, const IWORD* JTAB, const double* UNUSED,
            IWORD& POS);
// Merges the fill list into the tableau, dropping stored entries of
// magnitude at most EPSLON.
void SPXSHF(IWORD* ITAB, IWORD* JTAB, double* ATAB, const IWORD* IFILL, const IWORD* JFILL,
            const double* AFILL, IWORD NFILL, IWORD* IA, IWORD* JA, double* AV, IWORD NROWS,
            IWORD NCOLS);
// One Gauss-Jordan pivot on T(PROW, PCOL) = PIVOT, then the merge.
void SPXPIV(IWORD* ITAB, IWORD* JTAB, double* ATAB, IWORD* IFILL, IWORD* JFILL, double* AFILL,
            IWORD PROW, IWORD PCOL, double PIVOT, IWORD NROWS, IWORD NCOLS, IWORD UNUSED12,
            IWORD* IA, IWORD* JA, double* AV);
// The simplex iteration (entering column by most negative cost, minimum
// ratio row), with reruns at a ten times larger EPSLON.
void SPXITR(IWORD* ITAB, IWORD* JTAB, double* ATAB, IWORD NROWS, IWORD NCOLS, double* XSOL,
            IWORD* NVPIV, IWORD* IA, IWORD* JA, double* AV, IWORD* IFILL, IWORD* JFILL,
            double* AFILL, const double* BNDU, IWORD N, const IWORD* ICJ, const IWORD* JCJ,
            const double* ACJ, const double* RHS, const double* BNDL, IWORD MEQ, double* ERROR,
            IWORD UNIT, const double* RHSOLD, IWORD* NCOUNT, const IWORD* ITOB,
            const IWORD* JTOB, const double* ATOB);

}  // namespace orvika
