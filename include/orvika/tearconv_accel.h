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
ORVK_API void ORVK_WEGSTN2(double *X, double *XOLD, const IWORD *N, double *DX, double *DXOLD,
                           IWORD *KACCEL, IWORD *KSTEP, const IWORD *OPT, const void *UNUSED9,
                           const IWORD *ITER, double *Q, const double *QBND,
                           const void *UNUSED13, const IWORD *IOPT, const void *UNUSED15,
                           const double *XLOW, const double *XHIGH);

/* The 26-argument tear-block entry of the Wegstein accelerator: passes
 * arguments 1-5, 8-13 and 21-26 to ORVK_WEGSTN2. */
ORVK_API void ORVK_WEGSTN(double *X, double *XOLD, const IWORD *N, double *DX, double *DXOLD,
                          const void *UNUSED6, const void *UNUSED7, IWORD *KACCEL, IWORD *KSTEP,
                          const IWORD *OPT, const void *UNUSED11, const IWORD *ITER, double *Q,
                          const void *UNUSED14, const void *UNUSED15, const void *UNUSED16,
                          const void *UNUSED17, const void *UNUSED18, const void *UNUSED19,
                          const void *UNUSED20, const double *QBND, const void *UNUSED22,
                          const IWORD *IOPT, const void *UNUSED24, const double *XLOW,
                          const double *XHIGH);

/* Bounded Wegstein one-step updates. */
ORVK_API void ORVK_BNDWEG(IWORD *ITER, const IWORD *N, double *XOLD, double *X, double *DXOLD,
                          const double *DX, const double *QMIN, const double *QMAX,
                          const IWORD *NACC);
ORVK_API void ORVK_BNDWG1(const IWORD *ITER, const LWORD *IFLAG, const IWORD *N, double *X,
                          double *XOLD, const double *DX, double *DXOLD, double *RMS,
                          const IWORD *NACC, const double *QMIN, const double *QMAX);
ORVK_API void ORVK_BNDWG2(const IWORD *ITER, const LWORD *IFLAG, const IWORD *N, double *X,
                          double *XOLD, const double *DX, double *DXOLD, double *RMS,
                          const IWORD *NACC, const double *QMIN, const double *QMAX,
                          const double *XLOW, const double *XHIGH);
ORVK_API void ORVK_BNDWG3(const IWORD *ITER, const LWORD *IFLAG, const IWORD *N, double *X,
                          double *XOLD, const double *DX, double *DXOLD, double *RMS,
                          const IWORD *NACC, const double *QMIN, const double *QMAX,
                          const double *XLOW, const double *XHIGH, const double *TOL);

/* Broyden updates: inverse Jacobian with step (BROYDN, BROYDP) and the
 * forward Jacobian (FBROYD).  Matrices are N x N by columns. */
ORVK_API void ORVK_BROYDN(const IWORD *N, const double *X, const double *F, double *DX,
                          double *XOLD, double *FOLD, double *H, const IWORD *MODE);
ORVK_API void ORVK_BROYDP(const IWORD *IFLAG, const IWORD *N, double *H, double *RMS,
                          const double *X, const double *F, double *XOLD, double *FOLD,
                          double *DX, double *WORK);
ORVK_API void ORVK_FBROYD(const IWORD *N, const double *DX, const double *F, double *FOLD,
                          double *B);

/* Broyden tear driver in the tear-block layout (25 arguments) and its
 * matrix update and step. */
ORVK_API void ORVK_BRYSTM(double *X, double *XOLD, const IWORD *N, const double *DX,
                          double *DXOLD, const void *UNUSED6, const void *UNUSED7, IWORD *KACCEL,
                          IWORD *KSTEP, const IWORD *OPT, const void *UNUSED11,
                          const IWORD *ITER, double *W, const void *UNUSED14, IWORD *IFLAG,
                          const void *UNUSED16, const void *UNUSED17, const void *UNUSED18,
                          const void *UNUSED19, const void *UNUSED20, const void *UNUSED21,
                          const void *UNUSED22, const IWORD *IOPT, const void *UNUSED24,
                          const double *XLOW);
ORVK_API void ORVK_NCONV(const IWORD *N, const double *X, const double *D, double *S,
                         double *XOLD, double *DOLD, double *H, IWORD *IFLAG);

/* Scalar acceleration: X := X + T*DX with one factor T for all variables. */
ORVK_API void ORVK_ACCITR(IWORD *ITER, const IWORD *N, IWORD *MODE, double *TMIN, double *TMAX,
                          double *STPMAX, double *T, double *X, const double *DX,
                          double *DXOLD);

ORVK_END_DECLS

#endif
