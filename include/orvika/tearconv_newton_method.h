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
ORVK_API void ORVK_NEWTON(double *x, double *xold, const IWORD *n, double *dx, double *dxold,
                          const IWORD *nb, const double *tols, IWORD *kaccel, IWORD *kstep,
                          const IWORD *opt, const void *unused11, const IWORD *iter,
                          double *rwk, const void *unused14, IWORD *iwk, const void *unused16,
                          double *qwk, const void *unused18, IWORD *iperm,
                          const void *unused20, const double *ropt, const void *unused22,
                          const IWORD *iopt, const void *unused24, const double *xlow,
                          const double *xhigh, void *qa1, void *qa2, const double *qscl,
                          const IWORD *qoff, void *qa9, void *qa10, void *qa13, void *qa14);

/* Prints V(1..N) on the host's report unit under the caller's name
 * (two name words) and a label (three name words); nothing when N < 1. */
ORVK_API void ORVK_NVPRNT(const double *v, const IWORD *n, const IWORD *name,
                          const IWORD *label);

ORVK_END_DECLS

#endif
