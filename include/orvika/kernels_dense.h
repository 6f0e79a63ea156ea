/* ORVIKA - kernels: dense matrix utilities and dense solvers.
 *
 * Matrices are column-major and 1-based in the documentation (element (i,j)
 * of an array with leading dimension LDA at position (j-1)*LDA + i).  Every
 * argument is passed by address. */
#ifndef ORVIKA_KERNELS_DENSE_H
#define ORVIKA_KERNELS_DENSE_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* ---- Dense matrix utilities ------------------------------------------- */

/* A(IOFF+1..IOFF+N*N) := the N x N identity (contiguous after word IOFF). */
ORVK_API void ORVK_MIDENT(const IWORD *N, const IWORD *IOFF, double *A);
/* Packs the N x N matrix A into AP(1..N(N+1)/2): MODE 1 upper triangle by
 * columns, MODE 2 lower triangle by columns; other MODEs give zeros. */
ORVK_API void ORVK_MPACK(const IWORD *N, const double *A, double *AP, const IWORD *MODE);
/* Unpacks AP (MODE 1 or 2) into the full symmetric N x N matrix A. */
ORVK_API void ORVK_MUNPAK(const IWORD *N, const double *AP, double *A, const IWORD *MODE);

/* ---- Dense LU with pivot index ---------------------------------------- */

/* Factors A (LDA x N) by Gaussian elimination with row pivoting recorded in
 * IPVT (rows are not moved); IFAIL = 0 or the failing step. */
ORVK_API void ORVK_LUFACT(const IWORD *LDA, const IWORD *N, double *A, IWORD *IPVT, IWORD *IFAIL,
                          const double *TOL);
/* Solves A x = b with the factors of ORVK_LUFACT; B is not changed. */
ORVK_API void ORVK_LUSBST(const IWORD *LDA, const IWORD *N, const double *B, const IWORD *IPVT,
                          const double *A, double *X);
#ifdef ORVK_HAVE_QREAL
/* Binary128 twins of ORVK_LUFACT and ORVK_LUSBST (TOL stays a double). */
ORVK_API void ORVK_LUFACT16(const IWORD *LDA, const IWORD *N, QREAL *A, IWORD *IPVT, IWORD *IFAIL,
                            const double *TOL);
ORVK_API void ORVK_LUSBST16(const IWORD *LDA, const IWORD *N, const QREAL *B, const IWORD *IPVT,
                            const QREAL *A, QREAL *X);
#endif

/* ---- Dense LU with reliability messages ------------------------------- */

/* Pivot status of ORVK_LINEQ / ORVK_LINEQ1: 0, -k (pivot k small) or +k
 * (pivot k zero). */
typedef struct ORVK_CLINEQ_BLOCK {
  IWORD PIVSTA;
} ORVK_CLINEQ_BLOCK;
extern ORVK_API ORVK_CLINEQ_BLOCK ORVK_CLINEQ;

/* Set by the host; MSGLVL >= 2 admits the warning lines of ORVK_LINEQ and
 * ORVK_LINEQ1. */
typedef struct ORVK_RDFRC3_BLOCK {
  IWORD WORD1;
  IWORD WORD2;
  IWORD WORD3;
  IWORD MSGLVL;
} ORVK_RDFRC3_BLOCK;
extern ORVK_API ORVK_RDFRC3_BLOCK ORVK_RDFRC3;

/* Kept for the host's ODE integration (its Jacobian bookkeeping): 64 words
 * of 8 bytes, zero at load.  No routine of the library reads or writes it;
 * the host lays out its own data in it. */
#define ORVK_ODEJAC_WORDS 64
typedef struct ORVK_ODEJAC_BLOCK {
  double WORDS[ORVK_ODEJAC_WORDS];
} ORVK_ODEJAC_BLOCK;
extern ORVK_API ORVK_ODEJAC_BLOCK ORVK_ODEJAC;

/* Factors A in place (compact elimination, row interchanges) and solves
 * A x = b; W: N 8-byte words (column maxima, then pivot rows; W(N) may carry
 * a negative status). */
ORVK_API void ORVK_LINEQ(double *A, const IWORD *LDA, const IWORD *N, double *B, void *W);
/* Solves for a further right-hand side with the factors of ORVK_LINEQ. */
ORVK_API void ORVK_LINEQ1(const double *A, const IWORD *LDA, const IWORD *N, double *B, void *W);
/* Stand-alone variant: floored column maxima in CMAX, pivot rows in IPVT,
 * status in ISTAT, warning line when IPRT is nonzero. */
ORVK_API void ORVK_LINEQA(double *A, const IWORD *LDA, const IWORD *N, double *B, double *CMAX,
                          IWORD *IPVT, const IWORD *IPRT, IWORD *ISTAT);

/* ---- Dense inversion -------------------------------------------------- */

/* Gauss-Jordan inverse with complete pivoting; AINV may be the array A.
 * IERR = 0, the failing pivot column, or 1 when no nonzero element remains. */
ORVK_API void ORVK_INVERT(const double *A, const IWORD *N, double *AINV, IWORD *IERR, IWORD *IR,
                          IWORD *IC, double *AUG, double *PIV, double *WORK, const IWORD *LDA,
                          void *SPARE, const double *TOL);
/* In-place inverse through a compact LU with row interchanges, scratch on the
 * stack; orders above 1024 are left unchanged. */
ORVK_API void ORVK_MB01BD(double *A, const IWORD *N, const IWORD *LDA);
/* In-place inverse as ORVK_MB01BD, with caller pivot array IPVT (N) and work W (N). */
ORVK_API void ORVK_MB01CD(double *A, const IWORD *N, const IWORD *LDA, IWORD *IPVT, double *W);

/* ---- Dense elimination and product ------------------------------------ */

/* Solves A x = b by Gaussian elimination with partial pivoting (A, B reduced). */
ORVK_API void ORVK_SIMEQ(double *A, double *B, double *X, const IWORD *N, const IWORD *LDA);
/* P = A B: A is M x K, B is K x N, P is M x N. */
ORVK_API void ORVK_MC01AD(const double *A, const double *B, double *P, const IWORD *M,
                          const IWORD *K, const IWORD *N, const IWORD *LDA, const IWORD *LDB,
                          const IWORD *LDP);

/* ---- Tridiagonal solvers ---------------------------------------------- */

/* Thomas algorithm on packed bands A (sub, diag, sup); B becomes the solution. */
ORVK_API void ORVK_TRIDIA(const IWORD *N, double *A, double *B);
/* Thomas algorithm on bands A(3,N); X = solution, GAM/BET = elimination ratios. */
ORVK_API void ORVK_TOMETH(const double *A, const IWORD *N, const double *D, double *X, double *GAM,
                          double *BET);

ORVK_END_DECLS

#endif
