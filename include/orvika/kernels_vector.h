/* ORVIKA - vector kernels, diagnostic dumps and the matrix print.
 *
 * A segment (N, IOFF, X) denotes X(IOFF+1) .. X(IOFF+N) of a 1-based array;
 * N <= 0 is an empty segment.  Offsets are not checked. */
#ifndef ORVIKA_KERNELS_VECTOR_H
#define ORVIKA_KERNELS_VECTOR_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Z(IZ+i) = ALPHA*X(IX+i) + BETA*Y(IY+i); Z may be X or Y. */
ORVK_API void ORVK_VRADD(const IWORD *N, const double *ALPHA, const IWORD *IX, const double *X,
                         const double *BETA, const IWORD *IY, const double *Y, const IWORD *IZ,
                         double *Z);
/* Y(IY+1..IY+N) := 0, then Y(IY+i) = X(IX+i). */
ORVK_API void ORVK_VRCOPY(const IWORD *N, const IWORD *IX, const double *X, const IWORD *IY,
                          double *Y);
ORVK_API void ORVK_VRZERO(const IWORD *N, const IWORD *IOFF, double *X);
ORVK_API void ORVK_VRONES(const IWORD *N, const IWORD *IOFF, double *X);
ORVK_API void ORVK_VICOPY(const IWORD *N, const IWORD *IOX, const IWORD *IX, const IWORD *IOY,
                          IWORD *IY);
ORVK_API void ORVK_VIZERO(const IWORD *N, const IWORD *IOFF, IWORD *IX);
/* Sum of X(IX+i)*Y(IY+i); 0 when N <= 0. */
ORVK_API double ORVK_DINNER(const IWORD *N, const IWORD *IX, const double *X, const IWORD *IY,
                            const double *Y);
/* Euclidean norm of X(K+1..K+N), scaled by the largest element value when
 * it exceeds 1; 0 when N < 1. */
ORVK_API double ORVK_AP2NRM(const IWORD *N, const IWORD *K, const double *X);
/* SUM = sum of the segment, then each element divided by SUM (a zero SUM
 * leaves the segment as it is). */
ORVK_API void ORVK_NORMSS(const IWORD *N, const IWORD *IOFF, double *X, double *SUM);
/* S = sum of W(i)*X(i), i = 1..N (not divided by the weights' sum). */
ORVK_API void ORVK_WTAVG(const IWORD *N, const double *W, const double *X, double *S);

/* Labelled dumps on IOUT (low 32 bits); LABEL printed in its full length. */
ORVK_API void ORVK_VRDUMP(const IWORD *IOUT, const IWORD *N, const IWORD *IOFF, const double *V,
                          const char *LABEL, int64_t LABEL_LEN);
ORVK_API void ORVK_SRDUMP(const IWORD *IOUT, const double *RVAL, const char *LABEL,
                          int64_t LABEL_LEN);
ORVK_API void ORVK_VIDUMP(const IWORD *IOUT, const IWORD *N, const IWORD *IOFF, const IWORD *IV,
                          const char *LABEL, int64_t LABEL_LEN);
ORVK_API void ORVK_SIDUMP(const IWORD *IOUT, const IWORD *IVAL, const char *LABEL,
                          int64_t LABEL_LEN);
/* "SIZE OF VECTOR" report of a work-array length. */
ORVK_API void ORVK_SIZEPR(const IWORD *IOUT, const IWORD *N, const char *LABEL,
                          int64_t LABEL_LEN);
/* Prints the M x N array A (leading dimension LDA) on the host's report
 * unit in blocks of 10 columns; NAME is two name words, TITLE three. */
ORVK_API void ORVK_NAPRNT(const double *A, const IWORD *LDA, const IWORD *M, const IWORD *N,
                          const IWORD *NAME, const IWORD *TITLE);

ORVK_END_DECLS

#endif
