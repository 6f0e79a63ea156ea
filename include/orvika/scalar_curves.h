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
ORVK_API void ORVK_SPLINE(const IWORD *n, const double *y, const double *x, double *c,
                          const IWORD *mode);
/* ORVK_SPLINE, then pieces turning inside their interval are repaired
 * (not in MODE 2). */
ORVK_API void ORVK_SMCRV(const IWORD *n, const double *y, const double *x, double *c,
                         const IWORD *mode);
/* Shape-preserving Hermite interpolant and its pieces. */
ORVK_API void ORVK_SPLN2I(const IWORD *n, const double *y, const double *x, double *c);
ORVK_API void ORVK_SPLN2D(const IWORD *n, const double *x, const double *f, double *d,
                          const IWORD *incr, IWORD *nchg);
ORVK_API void ORVK_SPLN2C(const double *x1, const double *x2, const double *f1,
                          const double *f2, const double *d1, const double *d2, double *c0,
                          double *c1, double *c2, double *c3);
ORVK_API double ORVK_SPLN2E(const double *a, const double *b);
/* Value and t-derivative of a spline at XV; SPARE is not referenced. */
ORVK_API void ORVK_SPLFN2(const IWORD *n, const double *xv, const double *x, const void *spare,
                          const double *c, double *val, double *der);

/* ---- interpolation ------------------------------------------------------ */

ORVK_API void ORVK_QDEXTR(const IWORD *mode, const double *x, const double *y, double *coef,
                          const double *xq, double *yq);
ORVK_API void ORVK_LAGRA2(const IWORD *n, const IWORD *i, const double *x, double *y,
                          IWORD *iflag);
/* X, Y, CF, W1 have N+1 words (index 0..N), W2 has N words. */
ORVK_API void ORVK_PC02AD(const double *x, const double *y, double *cf, double *w1, double *w2,
                          const IWORD *n);
ORVK_API IWORD ORVK_IFACT(const IWORD *n);

/* ---- quadrature --------------------------------------------------------- */

/* The integrand of ORVK_QA04AD: f(*x). */
typedef double (*ORVK_QA04_FN)(const double *x);
ORVK_API void ORVK_QA04AD(double *result, const double *a, const double *b, const double *eps,
                          IWORD *maxlev, ORVK_QA04_FN f);
/* Reverse-communication form: W has 360 words, IW 30. */
ORVK_API void ORVK_GAUSSINT(double *result, const double *a, const double *b, const double *eps,
                            IWORD *maxlev, const double *fx, double *x, double *w, IWORD *iw,
                            IWORD *istate);

/* ---- overflow-safe exponential and logarithm ---------------------------- */

ORVK_API double RTO_CHK_DLOG(const double *x);
ORVK_API double RTO_DEXP(const double *x);
ORVK_API double RTO_SLN(const double *x);
ORVK_API double RS_DEXP(const double *x);

/* ---- derivative twins --------------------------------------------------- */

ORVK_API double G_RTO_CHK_DLOG(const IWORD *g_p_, const double *x, const double *g_x,
                               const IWORD *ldg_x, double *g_r);
ORVK_API double G_RTO_SLN(const IWORD *g_p_, const double *x, const double *g_x,
                          const IWORD *ldg_x, double *g_r);
ORVK_API double G_RS_DEXP(const IWORD *g_p_, const double *x, const double *g_x,
                          const IWORD *ldg_x, double *g_r);
/* Derivatives of the ORVK_SMCRV coefficients with respect to X (Y fixed). */
ORVK_API void G_ORVK_SMCRV(const IWORD *g_p_, const IWORD *n, const double *y, const double *x,
                           const double *g_x, const IWORD *ldg_x, double *c, double *g_c,
                           const IWORD *ldg_c, const IWORD *mode);
ORVK_API void G_ORVK_ACCITR(const IWORD *g_p_, IWORD *iter, const IWORD *n, IWORD *mode,
                            double *tmin, double *tmax, double *stpmax, double *g_stpmax,
                            double *t, double *g_t, double *x, double *g_x, const double *dx,
                            const double *g_dx, double *dxold, double *g_dxold);
ORVK_API void G_ORVK_NCONV(const IWORD *g_p_, const IWORD *n, const double *x,
                           const double *g_x, double *f, double *g_f, double *dx, double *g_dx,
                           double *xold, double *g_xold, double *fold, double *g_fold,
                           double *h, double *g_h, IWORD *iflag);

ORVK_END_DECLS

#endif
