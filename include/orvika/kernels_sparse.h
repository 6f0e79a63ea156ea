/* ORVIKA - kernels: compressed-row sparse products, tagged sorting and
 * formula-matrix routines.
 *
 * A compressed-row matrix is held as row pointers IA(1..N+1), column
 * numbers JA and values A, all 1-based: row i is the entries
 * k = IA(i) .. IA(i+1)-1.  Every argument is passed by address. */
#ifndef ORVIKA_KERNELS_SPARSE_H
#define ORVIKA_KERNELS_SPARSE_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* ---- Compressed-row products ------------------------------------------ */

/* Y(IOY + r - I1 + 1) = sum_k A(IOA+k) X(IOX + JA(k)) for the rows r = I1..I2
 * (N is not read); I2 < I1 does nothing. */
ORVK_API void ORVK_SMVMUL(const IWORD *N, const IWORD *I1, const IWORD *I2, const IWORD *IA,
                          const IWORD *JA, const IWORD *IOA, const double *A, const IWORD *IOX,
                          const double *X, const IWORD *IOY, double *Y);
/* Y(IOY+1..IOY+N) = A^T x for A of M rows and N columns. */
ORVK_API void ORVK_SVMMUL(const IWORD *N, const IWORD *M, const IWORD *IA, const IWORD *JA,
                          const IWORD *IOA, const double *A, const IWORD *IOX, const double *X,
                          const IWORD *IOY, double *Y);
/* AP(1..N(N+1)/2) = the lower triangle of A A^T packed by rows. */
ORVK_API void ORVK_SMMTRN(const IWORD *IA, const IWORD *JA, const double *A, const IWORD *N,
                          double *AP);

/* Residual of a solve with a row-compressed matrix: RNORM = |B - A X|,
 * RREL = RNORM / max(|B|, 1e-10); returns max(|B|, 1e-10). */
ORVK_API double ORVK_RESID(const IWORD *N, const IWORD *IRP, const IWORD *ICI, const double *A,
                           const double *X, const double *B, double *RNORM, double *RREL);

/* ---- Sorting with tags ------------------------------------------------ */

/* Partitions (A, IND)(I..J) around the pair at (I+J)/2; M = first position
 * of the upper part. */
ORVK_API void ORVK_KB03XD(const IWORD *I, const IWORD *J, IWORD *M, double *A, IWORD *IND);
/* Records the two parts of a partitioned range in STACK, or moves another
 * key into the pivot position when the partition made no progress. */
ORVK_API void ORVK_KB03YD(const IWORD *I, const IWORD *J, const IWORD *M, const IWORD *KP,
                          IWORD *L, double *A, const IWORD *NLIM, IWORD *STACK, const IWORD *N,
                          IWORD *IND);
/* Shell sort of (A, IND) ascending by key, then tag. */
ORVK_API void ORVK_KB03ZD(double *A, const IWORD *N, const IWORD *K0, IWORD *IND);

/* ---- Formula-matrix routines ------------------------------------------ */

/* Scales X(1..N) to unit sum (uniform when the sum is not positive). */
ORVK_API void ORVK_NORM1(const IWORD *N, double *X);
/* Selects NE primary species with independent formula rows and returns the
 * inverse of their reduced matrix in AR; IERR 0, -1, -2 or the failing
 * pivot column. */
ORVK_API void ORVK_NURINV(const IWORD *NC, const IWORD *NE, const double *A, double *AR,
                          IWORD *ISP, IWORD *IEL, void *SPARE1, double *WK, void *SPARE2,
                          IWORD *IWK, const IWORD *ICOMP, const IWORD *MODE, const IWORD *IPRINT,
                          IWORD *IERR);
/* Modified Gram-Schmidt acceptance of the columns K+1..NMAX of V into W. */
ORVK_API void ORVK_ORTHOG(const IWORD *NMAX, const IWORD *M, const double *V, IWORD *K, double *W,
                          double *SQN, IWORD *IFLAG);

ORVK_END_DECLS

#endif
