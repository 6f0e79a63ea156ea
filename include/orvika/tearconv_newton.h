/* ORVIKA - tearconv newton routines: the bounded Newton step, its
 * box-constrained quadratic program and the line search. */
#ifndef ORVIKA_TEARCONV_NEWTON_H
#define ORVIKA_TEARCONV_NEWTON_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Box-constrained QP: minimise 1/2 x'Hx - G'x over XLO <= x <= XUP. */
ORVK_API void ORVK_QUADPR(const IWORD *n, double *h, const IWORD *ldh, const double *g,
                          const double *xlo, const double *xup, double *x, double *fobj,
                          IWORD *iperm, IWORD *nfree, double *w);

/* Bounded Newton step: DX minimises |F + J*DX|^2 over XLOW - X <= DX <= XHIGH - X. */
ORVK_API void ORVK_NEWTDX(const IWORD *n, const double *x, const double *f, double *dx,
                          const double *xlow, const double *xhigh, double *dlo, double *dhi,
                          const double *ajac, double *h, double *g, IWORD *iperm, IWORD *nfree,
                          double *w, const IWORD *mode, double *dwt);

/* Reverse-communication line search on a scalar merit value. */
ORVK_API void ORVK_SEARCH(IWORD *ipt, double *step, const double *fval, const double *tolabs,
                          const double *tolrel, const double *step0, const double *smax,
                          double *w);

/* Line search on the root-mean-square value of a residual vector. */
ORVK_API void ORVK_NEWTQX(const IWORD *n, IWORD *mode, IWORD *ipt, const double *x0,
                          const double *f0, const double *dx, const double *step0,
                          const double *smax, double *xnew, const double *fnew,
                          const double *tolabs, const double *tolrel, double *rms0, double *rms,
                          double *step, double *w, const double *ratio, IWORD *iacc,
                          const IWORD *iforce);

ORVK_END_DECLS

#endif
