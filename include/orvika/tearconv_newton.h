/* ORVIKA - tearconv newton routines: the bounded Newton step, its
 * box-constrained quadratic program and the line search. */
#ifndef ORVIKA_TEARCONV_NEWTON_H
#define ORVIKA_TEARCONV_NEWTON_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Box-constrained QP: minimise 1/2 x'Hx - G'x over XLO <= x <= XUP. */
ORVK_API void ORVK_QUADPR(const IWORD *N, double *H, const IWORD *LDH, const double *G,
                          const double *XLO, const double *XUP, double *X, double *FOBJ,
                          IWORD *IPERM, IWORD *NFREE, double *W);

/* Bounded Newton step: DX minimises |F + J*DX|^2 over XLOW - X <= DX <= XHIGH - X. */
ORVK_API void ORVK_NEWTDX(const IWORD *N, const double *X, const double *F, double *DX,
                          const double *XLOW, const double *XHIGH, double *DLO, double *DHI,
                          const double *AJAC, double *H, double *G, IWORD *IPERM, IWORD *NFREE,
                          double *W, const IWORD *MODE, double *DWT);

/* Reverse-communication line search on a scalar merit value. */
ORVK_API void ORVK_SEARCH(IWORD *IPT, double *STEP, const double *FVAL, const double *TOLABS,
                          const double *TOLREL, const double *STEP0, const double *SMAX,
                          double *W);

/* Line search on the root-mean-square value of a residual vector. */
ORVK_API void ORVK_NEWTQX(const IWORD *N, IWORD *MODE, IWORD *IPT, const double *X0,
                          const double *F0, const double *DX, const double *STEP0,
                          const double *SMAX, double *XNEW, const double *FNEW,
                          const double *TOLABS, const double *TOLREL, double *RMS0, double *RMS,
                          double *STEP, double *W, const double *RATIO, IWORD *IACC,
                          const IWORD *IFORCE);

ORVK_END_DECLS

#endif
