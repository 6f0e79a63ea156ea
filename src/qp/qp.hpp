// Internal routines of the QP solver family: the dense KKT solver, the
// active-set step and its release routines, the LP set-ups and report, and
// the two KKT builders.  Arrays are passed by their first word (1-based in
// the comments), input scalars by value, outputs by reference.
#pragma once

#include <string_view>

#include "orvika/kernels_vector.h"
#include "orvika/qp.h"

namespace orvika {

// Word K (from 1) of ORVK_NLPINT.
inline IWORD& nlpint(int k) { return ORVK_NLPINT[k - 1]; }

// Largest KKT order the dense solver's saved arrays hold (ISWAP needs 2K words).
inline constexpr IWORD kLdltMaxOrder = 1056;

// Labelled dumps with a text label (thin wrappers of the exported dumps).
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

// Dense symmetric indefinite solve K x = b by Bunch-Parlett diagonal pivoting,
// K packed by rows (lower triangle).  JOB 1 factorise, 2 solve with kept
// factors, other: both.  ISWAP 2N, DWORK N, IPIVOT N words.  ISING 129 on a
// singular (or non-finite) pivot block.
void LDLTBK(double* AK, IWORD N, double* BX, IWORD NRHS, IWORD LDB, IWORD JOB, IWORD* ISWAP,
            double* DWORK, IWORD* IPIVOT, IWORD& ISING, IWORD unit, IWORD IPRINT);

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

}  // namespace orvika
