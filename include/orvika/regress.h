/* ORVIKA - data regression: the front end ORVK_BNLLSQ, the error-in-variables
 * engines ORVK_LUEBRN (default) and ORVK_LUEBRI (alternative), the bounded
 * Marquardt fit ORVK_YSOLVE, and the run-state blocks the host reads. */
#ifndef ORVIKA_REGRESS_H
#define ORVIKA_REGRESS_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* ---- model routines ------------------------------------------------------
 * Request codes REQ: 0 values and analytic derivatives, 1 values during the
 * fit, 2 the final evaluation (values only; on 1 and 2 the derivative
 * arguments point at one scratch word that must not be written past).
 *
 * Nine-argument form (engine argument KDEM = -2, and always from ORVK_BNLLSQ):
 * the model returns y_i(P) in F(i), i = 1..NDAT, and on REQ 0 dy_i/dP_j in
 * FP(1 + (j-1) + (i-1)*NPAR); the engine forms the constraint y_i(P) - z_i. */
typedef void (*ORVK_MODEL9)(const IWORD *NPAR, const IWORD *NDAT, void *MDAT1, const double *P,
                            void *MDAT2, const IWORD *REQ, double *F, double *FP, void *MUSER);
/* Sixteen-argument form (any other KDEM): the model returns the constraint
 * values F(NCMAX, NDAT) at the parameters P and the measurement values Z
 * (first argument), and on REQ 0 FZ(NCMAX, NMMAX, NDAT) and FP(NCMAX, NPAR, NDAT). */
typedef void (*ORVK_MODEL16)(const double *Z, const double *ZM, void *MDAT2, const double *P,
                             const IWORD *NDAT, const IWORD *NMMAX, const IWORD *NMEAS,
                             void *MDAT1, const IWORD *NPAR, const IWORD *NCMAX,
                             const IWORD *NCONS, const IWORD *REQ, double *F, double *FZ,
                             double *FP, void *MUSER);
/* The engines take either form through this type (cast the routine to it);
 * KDEM tells which form it is. */
typedef void (*ORVK_MODELFN)(void);

/* ---- run-state blocks (zero at load) -------------------------------------- */

/* Run status: 0 at engine entry, k during iteration k, -1 during the final
 * model evaluation, 0 again before VLK_PPEXT. */
typedef struct ORVK_CLUEBR_T {
  IWORD STATUS;
  IWORD WORD2, WORD3, WORD4; /* not used by the library */
} ORVK_CLUEBR_T;
extern ORVK_API ORVK_CLUEBR_T ORVK_CLUEBR;

/* Word 60: kind of the model evaluation under way (0 none, 1 base point of
 * the first iteration, 2 later base, trial or final point, 3 a parameter
 * perturbed, 10*m+3 measured variable m perturbed).  The rest is the host's. */
typedef struct ORVK_PPSCLR_T {
  IWORD HOST1[59];  /* words 1..59 */
  IWORD EVALKIND;   /* word 60 */
  IWORD HOST2[12];  /* words 61..72 */
} ORVK_PPSCLR_T;
extern ORVK_API ORVK_PPSCLR_T ORVK_PPSCLR;

/* Set by the host: word 2 is its case word, read once at engine entry. */
typedef struct ORVK_PXRICASE_T {
  IWORD WORD1;
  IWORD CASEWD;
  IWORD WORD3, WORD4;
} ORVK_PXRICASE_T;
extern ORVK_API ORVK_PXRICASE_T ORVK_PXRICASE;

/* ---- front end ------------------------------------------------------------ */

/* Fits NPAR parameters of a nine-argument model to NDAT measured values,
 * one measurement and one constraint per point, through ORVK_LUEBRI
 * (IENG = 1) or ORVK_LUEBRN (any other IENG).  See bnllsq.cpp. */
ORVK_API void ORVK_BNLLSQ(const IWORD *NPAR, const IWORD *NDAT, void *MDAT1, double *P,
                          const double *ZM, void *MDAT2, const double *R, ORVK_MODEL9 MODEL,
                          IWORD *ITER, const IWORD *IODS, const double *STPSIZ, const double *TOL,
                          const IWORD *IPRINT, const IWORD *NDRV, const IWORD *IBOUND,
                          double *PLOW, double *PUPP, IWORD *IFLAG1, void *ARG19, void *ARG20,
                          const double *SSND, double *RWORK, IWORD *IWORK, double *SSQ,
                          double *SIGMA, double *Z, double *CPACK, double *HMAT, IWORD *NCALL,
                          IWORD *ISTAT, void *MUSER, const IWORD *IENG, const double *PSCL);

/* ---- default engine (63 arguments; see luebrn.cpp) ------------------------ */
ORVK_API void ORVK_LUEBRN(
    const IWORD *NPAR, const IWORD *NMMAX, const IWORD *NMEAS, void *MDAT1, const IWORD *NDAT,
    const IWORD *NCMAX, const IWORD *NCONS, const IWORD *ARG8, const IWORD *LPACK, double *F,
    double *P, double *Z, const double *ZM, void *MDAT2, double *FZ, double *FP, const double *R,
    double *W, double *WPACK, double *ZFIRST, double *FPW, double *DELP, double *ZNEW,
    double *ELIN, double *GRAD, double *HMAT, double *STPLO, double *STPUP, double *CPACK,
    ORVK_MODELFN MODEL, const IWORD *IPRINT, const IWORD *IODS, IWORD *ISTAT, IWORD *ITER,
    const IWORD *ARG35, const double *TOL, IWORD *IPERM, const IWORD *KDEM, const IWORD *ISV,
    double *SIGMA, double *SSQ, double *FTRY, const IWORD *NZMIT, const void *ARG44,
    const IWORD *NDRV, const double *SSND, IWORD *NCALL, const void *ARG48, const double *PLOW,
    const double *PUPP, double *QPWORK, void *ARG52, void *ARG53, void *ARG54, void *MUSER,
    double *POLD, double *DSCAL, double *LAM, double *LAM2, double *FBASE, double *DZ,
    double *PSAVE, const double *PSCL);

/* ---- alternative engine (56 arguments; see luebri.cpp) -------------------- */
ORVK_API void ORVK_LUEBRI(
    const IWORD *NPAR, const IWORD *NMMAX, const IWORD *NMEAS, void *MDAT1, const IWORD *NDAT,
    const IWORD *NCMAX, const IWORD *NCONS, const IWORD *ARG8, const IWORD *LPACK, double *F,
    double *P, double *Z, const double *ZM, void *MDAT2, double *FZ, double *FP, const double *R,
    double *W, double *WPACK, double *ZPERT, double *FPW, double *DELP, double *DELZ,
    double *ELIN, double *GRAD, double *HMAT, double *STPLO, double *STPUP, double *CPACK,
    ORVK_MODELFN MODEL, const IWORD *IPRINT, const IWORD *IODS, IWORD *ISTAT, IWORD *ITER,
    const IWORD *ARG35, const double *TOL, IWORD *IPERM, const IWORD *KDEM, const IWORD *ISV,
    double *SIGMA, double *SSQ, double *FTRY, const void *ARG43, const double *STPSIZ,
    const IWORD *NDRV, const double *SSND, IWORD *NCALL, const IWORD *IBOUND, const double *PLOW,
    const double *PUPP, double *QPWORK, void *ARG52, void *ARG53, void *ARG54, void *MUSER,
    const double *PSCL);

/* ---- bounded Marquardt fit by reverse communication (see ysolve.cpp) ------ */
ORVK_API void ORVK_YSOLVE(const IWORD *N, const IWORD *M, IWORD *ICTL, double *RCTL, double *X,
                          const double *PMODE, const double *XUP, const double *XLOW,
                          const double *YMEAS, double *YCALC, const double *DYDX, double *STAT,
                          double *WORK, double *ANORM, double *ASYS);

ORVK_END_DECLS

#endif
