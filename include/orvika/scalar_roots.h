/* ORVIKA - scalar root finders and the roots of a cubic.
 *
 * The root finders are reverse-communication state machines: the caller
 * evaluates F at the abscissa a routine returns and calls again, with all
 * other arguments unchanged, while the returned code is a request; every
 * lasting state lives in the caller's arguments (for ORVK_FCON3 in its
 * STATE array, mirrored in ORVK_DFCON during a call).
 *
 *   ORVK_ARCONS, ORVK_TRCONS   bounded secant / three-point model, record of
 *                              15 reals; ORVK_TTEMP is the predictor of
 *                              ORVK_TRCONS
 *   ORVK_FCON, ORVK_FCON3,     safeguarded inverse-model steps on [0, 1]
 *   ORVK_FCON3X
 *   ORVK_ROOT1N, ORVK_ROOT2N   safeguarded solvers of F(X) = target inside
 *                              bounds, record of 15 reals; ORVK_KROOT1 is a
 *                              convergence test on that record
 *   ORVK_ROOTFM                search and bracketing, record of 16 reals;
 *                              G_ORVK_ROOTFM is its derivative twin
 *   ORVK_CUBIC                 largest root of a monic cubic in an interval */
#ifndef ORVIKA_SCALAR_ROOTS_H
#define ORVIKA_SCALAR_ROOTS_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* F(X) = W(4) in the bounds W(1), W(2): secant second step, three-point
 * model from the third on.  ICOUNT 1 on the first call; positive values
 * out are requests, 0 converged, -1 start outside the bounds, -2 limit or
 * pushed against a bound. */
ORVK_API void ORVK_ARCONS(IWORD *ICOUNT, double *X, const double *F, double *W,
                          const IWORD *MAXIT);
/* F(X) = 0 in the bounds P(1), P(2); IOPT > 1 starts from the slope of two
 * points an earlier run left in P.  Codes as ORVK_ARCONS. */
ORVK_API void ORVK_TRCONS(IWORD *ICODE, double *X, const double *F, double *P,
                          const IWORD *MAXIT, const IWORD *IOPT);
/* Predictor of ORVK_TRCONS: next abscissa from the history FH(3), XH(3);
 * XNEW in: fallback step, out: the predicted point. */
ORVK_API void ORVK_TTEMP(const IWORD *ICODE, double *FH, double *XH, double *XNEW,
                         const IWORD *IOPT);

/* Working copy of the state array of ORVK_FCON3 during a call. */
typedef struct ORVK_DFCON_BLOCK {
  double XOLD, FOLD, XOLD2, FOLD2, DX, DF, XLO, XHI, FLO, FHI, STEP;
} ORVK_DFCON_BLOCK;
extern ORVK_API ORVK_DFCON_BLOCK ORVK_DFCON;

/* Root of F on [0, 1]: ITER 0 starts a run; positive codes are requests;
 * -1 converged (ORVK_FCON only), -2 / -3 root at the lower / upper end. */
ORVK_API void ORVK_FCON(IWORD *ITER, double *X, const double *F, double *C1, double *C2,
                        LWORD *LBRK, double *XOLD, double *FOLD, double *XOLD2, double *FOLD2,
                        double *DX, double *DF, double *XLO, double *XHI, double *FLO,
                        double *FHI, const double *STEP);
ORVK_API void ORVK_FCON3X(IWORD *ITER, double *X, const double *F, double *C1, double *C2,
                          LWORD *LBRK, double *XOLD, double *FOLD, double *XOLD2,
                          double *FOLD2, double *DX, double *DF, double *XLO, double *XHI,
                          double *FLO, double *FHI, const double *STEP);
/* STATE(11): XOLD, FOLD, XOLD2, FOLD2, DX, DF, XLO, XHI, FLO, FHI, STEP. */
ORVK_API void ORVK_FCON3(IWORD *ITER, double *X, const double *F, double *C1, double *C2,
                         double *STATE, LWORD *LBRK);

/* F(X) = W(4) in the bounds W(1), W(2), record W(15).  Codes: > 0 request,
 * 0 converged, -1 W(1) = W(2), -2 iteration limit, -3 / -4 pushed below LO /
 * above HI, -5 stationary point, -6 repeated point, -7 F unchanged, -8 step
 * below rounding level. */
ORVK_API void ORVK_ROOT1N(IWORD *ICODE, double *X, const double *F, double *W,
                          const IWORD *MAXIT);
ORVK_API void ORVK_ROOT2N(IWORD *ICODE, double *X, const double *F, double *W,
                          const IWORD *MAXIT);
/* Convergence test on the record of ORVK_ROOT1N / ORVK_ROOT2N: 2 when the
 * bracket is within the tolerance, 1 when X is near the last point, else 0. */
ORVK_API IWORD ORVK_KROOT1(const double *X, const double *TOL, const double *W);

/* F(X) = W(6) in [W(1), W(2)] by search and bracketing, record W(16).
 * ICODE 1 on the first call; 2-5 requests; 0 converged; -1..-3 bound reached
 * twice (best point returned); -4 / -5 X outside the bounds / bracket. */
ORVK_API void ORVK_ROOTFM(IWORD *ICODE, double *X, double *F, double *W);
/* Derivative twin of ORVK_ROOTFM: X, F and W carry derivatives along
 * G_P <= 100 directions (g_W(k, i) at word (i-1)*LDG_W + k). */
ORVK_API void G_ORVK_ROOTFM(const IWORD *g_p_, IWORD *ICODE, double *X, double *g_X,
                            const IWORD *ldg_X, double *F, double *g_F, const IWORD *ldg_F,
                            double *W, double *g_W, const IWORD *ldg_W);

/* Largest real root of x^3 + A2 x^2 + A1 x + A0 in [XMIN, XMAX]; XMIN is set
 * to 0 for a retry when none lies there.  IPRINT >= 8 / 10 prints the roots
 * / the discriminant on the host's report unit. */
ORVK_API void ORVK_CUBIC(const double *A2, const double *A1, const double *A0, double *XMIN,
                         const double *XMAX, const IWORD *IPRINT, double *ROOT, IWORD *NROOT);

ORVK_END_DECLS

#endif
