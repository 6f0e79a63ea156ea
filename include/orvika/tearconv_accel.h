/* ORVIKA - tear-stream accelerators: Wegstein, bounded Wegstein, Broyden
 * updates of the inverse and forward Jacobian, the Broyden tear driver and
 * the scalar step-factor acceleration.
 *
 * Each routine is called once per outer iteration of the host's flowsheet
 * loop with the current point X and the change DX = G(X) - X; the caller
 * keeps the saved arrays (XOLD, DXOLD, factors, matrices) between calls.
 * Arguments shown as UNUSEDk are positions of the host's tear-block layout
 * that the routine does not reference; any address (or NULL) may be passed. */
#ifndef ORVIKA_TEARCONV_ACCEL_H
#define ORVIKA_TEARCONV_ACCEL_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Wegstein accelerator with a substitution/acceleration schedule
 * (NWAIT = IOPT(2), NDIRECT = IOPT(3), NACCEL = IOPT(4)), per-variable
 * factors bounded by QBND = (QMAX, QMIN), an upper bound XHIGH and halving
 * below XLOW; missing DX values are repaired from DXOLD and reported. */
ORVK_API void ORVK_WEGSTN2(double *x, double *xold, const IWORD *n, double *dx, double *dxold,
                           IWORD *kaccel, IWORD *kstep, const IWORD *opt, const void *unused9,
                           const IWORD *iter, double *q, const double *qbnd,
                           const void *unused13, const IWORD *iopt, const void *unused15,
                           const double *xlow, const double *xhigh);

/* The 26-argument tear-block entry of the Wegstein accelerator: passes
 * arguments 1-5, 8-13 and 21-26 to ORVK_WEGSTN2. */
ORVK_API void ORVK_WEGSTN(double *x, double *xold, const IWORD *n, double *dx, double *dxold,
                          const void *unused6, const void *unused7, IWORD *kaccel, IWORD *kstep,
                          const IWORD *opt, const void *unused11, const IWORD *iter, double *q,
                          const void *unused14, const void *unused15, const void *unused16,
                          const void *unused17, const void *unused18, const void *unused19,
                          const void *unused20, const double *qbnd, const void *unused22,
                          const IWORD *iopt, const void *unused24, const double *xlow,
                          const double *xhigh);

/* Bounded Wegstein one-step updates. */
ORVK_API void ORVK_BNDWEG(IWORD *iter, const IWORD *n, double *xold, double *x, double *dxold,
                          const double *dx, const double *qmin, const double *qmax,
                          const IWORD *nacc);
ORVK_API void ORVK_BNDWG1(const IWORD *iter, const LWORD *iflag, const IWORD *n, double *x,
                          double *xold, const double *dx, double *dxold, double *rms,
                          const IWORD *nacc, const double *qmin, const double *qmax);
ORVK_API void ORVK_BNDWG2(const IWORD *iter, const LWORD *iflag, const IWORD *n, double *x,
                          double *xold, const double *dx, double *dxold, double *rms,
                          const IWORD *nacc, const double *qmin, const double *qmax,
                          const double *xlow, const double *xhigh);
ORVK_API void ORVK_BNDWG3(const IWORD *iter, const LWORD *iflag, const IWORD *n, double *x,
                          double *xold, const double *dx, double *dxold, double *rms,
                          const IWORD *nacc, const double *qmin, const double *qmax,
                          const double *xlow, const double *xhigh, const double *tol);

/* Broyden updates: inverse Jacobian with step (BROYDN, BROYDP) and the
 * forward Jacobian (FBROYD).  Matrices are N x N by columns. */
ORVK_API void ORVK_BROYDN(const IWORD *n, const double *x, const double *f, double *dx,
                          double *xold, double *fold, double *h, const IWORD *mode);
ORVK_API void ORVK_BROYDP(const IWORD *iflag, const IWORD *n, double *h, double *rms,
                          const double *x, const double *f, double *xold, double *fold,
                          double *dx, double *work);
ORVK_API void ORVK_FBROYD(const IWORD *n, const double *dx, const double *f, double *fold,
                          double *b);

/* Broyden tear driver in the tear-block layout (25 arguments) and its
 * matrix update and step. */
ORVK_API void ORVK_BRYSTM(double *x, double *xold, const IWORD *n, const double *dx,
                          double *dxold, const void *unused6, const void *unused7, IWORD *kaccel,
                          IWORD *kstep, const IWORD *opt, const void *unused11,
                          const IWORD *iter, double *w, const void *unused14, IWORD *iflag,
                          const void *unused16, const void *unused17, const void *unused18,
                          const void *unused19, const void *unused20, const void *unused21,
                          const void *unused22, const IWORD *iopt, const void *unused24,
                          const double *xlow);
ORVK_API void ORVK_NCONV(const IWORD *n, const double *x, const double *d, double *s,
                         double *xold, double *dold, double *h, IWORD *iflag);

/* Scalar acceleration: X := X + T*DX with one factor T for all variables. */
ORVK_API void ORVK_ACCITR(IWORD *iter, const IWORD *n, IWORD *mode, double *tmin, double *tmax,
                          double *stpmax, double *t, double *x, const double *dx,
                          double *dxold);

ORVK_END_DECLS

#endif
