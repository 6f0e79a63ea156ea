/* ORVIKA - vector kernels, diagnostic dumps and the matrix print.
 *
 * A segment (N, IOFF, X) denotes X(IOFF+1) .. X(IOFF+N) of a 1-based array;
 * N <= 0 is an empty segment.  Offsets are not checked. */
#ifndef ORVIKA_KERNELS_VECTOR_H
#define ORVIKA_KERNELS_VECTOR_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Z(IZ+i) = ALPHA*X(IX+i) + BETA*Y(IY+i); Z may be X or Y. */
ORVK_API void ORVK_VRADD(const IWORD *n, const double *alpha, const IWORD *ix, const double *x,
                         const double *beta, const IWORD *iy, const double *y, const IWORD *iz,
                         double *z);
/* Y(IY+1..IY+N) := 0, then Y(IY+i) = X(IX+i). */
ORVK_API void ORVK_VRCOPY(const IWORD *n, const IWORD *ix, const double *x, const IWORD *iy,
                          double *y);
ORVK_API void ORVK_VRZERO(const IWORD *n, const IWORD *ioff, double *x);
ORVK_API void ORVK_VRONES(const IWORD *n, const IWORD *ioff, double *x);
ORVK_API void ORVK_VICOPY(const IWORD *n, const IWORD *jx, const IWORD *ix, const IWORD *jy,
                          IWORD *iy);
ORVK_API void ORVK_VIZERO(const IWORD *n, const IWORD *ioff, IWORD *ix);
/* Sum of X(IX+i)*Y(IY+i); 0 when N <= 0. */
ORVK_API double ORVK_DINNER(const IWORD *n, const IWORD *ix, const double *x, const IWORD *iy,
                            const double *y);
/* Euclidean norm of X(K+1..K+N), scaled by the largest element value when
 * it exceeds 1; 0 when N < 1. */
ORVK_API double ORVK_AP2NRM(const IWORD *n, const IWORD *k, const double *x);
/* SUM = sum of the segment, then each element divided by SUM (a zero SUM
 * leaves the segment as it is). */
ORVK_API void ORVK_NORMSS(const IWORD *n, const IWORD *ioff, double *x, double *sum);
/* S = sum of W(i)*X(i), i = 1..N (not divided by the weights' sum). */
ORVK_API void ORVK_WTAVG(const IWORD *n, const double *w, const double *x, double *s);

/* Labelled dumps on UNIT (low 32 bits); LABEL printed in its full length. */
ORVK_API void ORVK_VRDUMP(const IWORD *unit, const IWORD *n, const IWORD *ioff, const double *v,
                          const char *label, int64_t label_len);
ORVK_API void ORVK_SRDUMP(const IWORD *unit, const double *x, const char *label,
                          int64_t label_len);
ORVK_API void ORVK_VIDUMP(const IWORD *unit, const IWORD *n, const IWORD *ioff, const IWORD *iv,
                          const char *label, int64_t label_len);
ORVK_API void ORVK_SIDUMP(const IWORD *unit, const IWORD *i, const char *label,
                          int64_t label_len);
/* "SIZE OF VECTOR" report of a work-array length. */
ORVK_API void ORVK_SIZEPR(const IWORD *unit, const IWORD *n, const char *label,
                          int64_t label_len);
/* Prints the M x N array A (leading dimension LDA) on the host's report
 * unit in blocks of 10 columns; NAME is two name words, TITLE three. */
ORVK_API void ORVK_NAPRNT(const double *a, const IWORD *lda, const IWORD *m, const IWORD *n,
                          const IWORD *name, const IWORD *title);

ORVK_END_DECLS

#endif
