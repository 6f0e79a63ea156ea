/* ORVIKA - the Newton method for tear variables and bounded free variables
 * (reverse communication, one call per pass of the host's flowsheet block)
 * and its labelled vector print. */
#ifndef ORVIKA_TEARCONV_NEWTON_METHOD_H
#define ORVIKA_TEARCONV_NEWTON_METHOD_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Newton method on DX = G(X) - X for N variables, the last NB of them
 * bounded, in the host's tear-block layout (34 arguments).  Positions named
 * UNUSEDk are not referenced; any address (or NULL) may be passed.
 * KSTEP = 2: evaluate DX at the returned X and call again with ITER + 1;
 * KSTEP = 6, 24, 25: the run is over. */
ORVK_API void ORVK_NEWTON(double *X, double *XOLD, const IWORD *N, double *DX, double *DXOLD,
                          const IWORD *NB, const double *TOLS, IWORD *KACCEL, IWORD *KSTEP,
                          const IWORD *OPT, const void *UNUSED11, const IWORD *ITER,
                          double *RWK, const void *UNUSED14, IWORD *IWK, const void *UNUSED16,
                          double *QWK, const void *UNUSED18, IWORD *IPERM,
                          const void *UNUSED20, const double *ROPT, const void *UNUSED22,
                          const IWORD *IOPT, const void *UNUSED24, const double *XLOW,
                          const double *XHIGH, void *QA1, void *QA2, const double *QSCL,
                          const IWORD *QOFF, void *QA9, void *QA10, void *QA13, void *QA14);

/* Prints V(1..N) on the host's report unit under the caller's name
 * (two name words) and a label (three name words); nothing when N < 1. */
ORVK_API void ORVK_NVPRNT(const double *V, const IWORD *N, const IWORD *NAME,
                          const IWORD *LABEL);

ORVK_END_DECLS

#endif
