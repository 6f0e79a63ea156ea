/* ORVIKA - curves, interpolation, quadrature, overflow-safe exponential and
 * logarithm, and the forward-mode derivative twins of the spline fit, the
 * smooth functions, the scalar acceleration and the Broyden-type update.
 *
 * Spline coefficients C(4, N-1): column i holds the cubic of interval i in
 * the local abscissa t = (x - X(i)) / (X(i+1) - X(i)),
 * C(1,i) + C(2,i) t + C(3,i) t^2 + C(4,i) t^3, with C(1,i) = Y(i).
 *
 * Derivative twins (G_ prefix): argument 1 is the number of directions
 * G_P; an active real argument V is followed by its derivatives G_V
 * (direction first, column-major: derivative of element i in direction k
 * at word (i-1)*LDG_V + k) and, except in G_ORVK_ACCITR and G_ORVK_NCONV
 * (fixed leading dimension 100), by LDG_V.  A function twin takes the
 * derivatives of its result as its last argument.  G_P <= 0 computes
 * values only; G_P above the twin's limit (1 for G_RTO_CHK_DLOG and
 * G_RTO_SLN, 100 for the others) prints a line on unit 6 and stops the
 * process. */
#ifndef ORVIKA_SCALAR_CURVES_H
#define ORVIKA_SCALAR_CURVES_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* ---- splines ------------------------------------------------------------ */

/* Piecewise cubic through N points: MODE 2 shape-preserving Hermite, 3
 * straight lines, other local cubics. */
ORVK_API void ORVK_SPLINE(const IWORD *N, const double *Y, const double *X, double *C,
                          const IWORD *MODE);
/* ORVK_SPLINE, then pieces turning inside their interval are repaired
 * (not in MODE 2). */
ORVK_API void ORVK_SMCRV(const IWORD *N, const double *Y, const double *X, double *C,
                         const IWORD *MODE);
/* Shape-preserving Hermite interpolant and its pieces. */
ORVK_API void ORVK_SPLN2I(const IWORD *N, const double *Y, const double *X, double *C);
ORVK_API void ORVK_SPLN2D(const IWORD *N, const double *X, const double *F, double *D,
                          const IWORD *INCR, IWORD *NCHG);
ORVK_API void ORVK_SPLN2C(const double *X1, const double *X2, const double *F1,
                          const double *F2, const double *D1, const double *D2, double *C0,
                          double *C1, double *C2, double *C3);
ORVK_API double ORVK_SPLN2E(const double *A, const double *B);
/* Value and t-derivative of a spline at XV; SPARE is not referenced. */
ORVK_API void ORVK_SPLFN2(const IWORD *N, const double *XV, const double *X, const void *SPARE,
                          const double *C, double *VAL, double *DER);

/* ---- interpolation ------------------------------------------------------ */

ORVK_API void ORVK_QDEXTR(const IWORD *MODE, const double *X, const double *Y, double *COEF,
                          const double *XQ, double *YQ);
ORVK_API void ORVK_LAGRA2(const IWORD *N, const IWORD *I, const double *X, double *Y,
                          IWORD *IFLAG);
/* X, Y, CF, W1 have N+1 words (index 0..N), W2 has N words. */
ORVK_API void ORVK_PC02AD(const double *X, const double *Y, double *CF, double *W1, double *W2,
                          const IWORD *N);
ORVK_API IWORD ORVK_IFACT(const IWORD *N);

/* ---- quadrature --------------------------------------------------------- */

/* The integrand of ORVK_QA04AD: f(*x). */
typedef double (*ORVK_QA04_FN)(const double *x);
ORVK_API void ORVK_QA04AD(double *RESULT, const double *A, const double *B, const double *EPS,
                          IWORD *MAXLEV, ORVK_QA04_FN F);
/* Reverse-communication form: W has 360 words, IW 30. */
ORVK_API void ORVK_GAUSSINT(double *RESULT, const double *A, const double *B, const double *EPS,
                            IWORD *MAXLEV, const double *FX, double *X, double *W, IWORD *IW,
                            IWORD *ISTATE);

/* ---- overflow-safe exponential and logarithm ---------------------------- */

ORVK_API double RTO_CHK_DLOG(const double *X);
ORVK_API double RTO_DEXP(const double *X);
ORVK_API double RTO_SLN(const double *X);
ORVK_API double RS_DEXP(const double *X);

/* ---- derivative twins --------------------------------------------------- */

ORVK_API double G_RTO_CHK_DLOG(const IWORD *g_p_, const double *X, const double *g_X,
                               const IWORD *ldg_X, double *g_R);
ORVK_API double G_RTO_SLN(const IWORD *g_p_, const double *X, const double *g_X,
                          const IWORD *ldg_X, double *g_R);
ORVK_API double G_RS_DEXP(const IWORD *g_p_, const double *X, const double *g_X,
                          const IWORD *ldg_X, double *g_R);
/* Derivatives of the ORVK_SMCRV coefficients with respect to X (Y fixed). */
ORVK_API void G_ORVK_SMCRV(const IWORD *g_p_, const IWORD *N, const double *Y, const double *X,
                           const double *g_X, const IWORD *ldg_X, double *C, double *g_C,
                           const IWORD *ldg_C, const IWORD *MODE);
ORVK_API void G_ORVK_ACCITR(const IWORD *g_p_, IWORD *ITER, const IWORD *N, IWORD *MODE,
                            double *TMIN, double *TMAX, double *STPMAX, double *g_STPMAX,
                            double *T, double *g_T, double *X, double *g_X, const double *DX,
                            const double *g_DX, double *DXOLD, double *g_DXOLD);
ORVK_API void G_ORVK_NCONV(const IWORD *g_p_, const IWORD *N, const double *X,
                           const double *g_X, double *F, double *g_F, double *DX, double *g_DX,
                           double *XOLD, double *g_XOLD, double *FOLD, double *g_FOLD,
                           double *H, double *g_H, IWORD *IFLAG);

ORVK_END_DECLS

#endif
