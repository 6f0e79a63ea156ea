/* ORVIKA - sparse nonlinear equation solver.
 *
 * ORVK_NSOLVE and ORVK_NSOLVE2 solve F(X) = 0 (N equations, N variables,
 * simple bounds, a step limit per variable) by a scaled Newton method with a
 * sparse (coordinate) or dense Jacobian, driven by reverse communication:
 * the routine returns a request code in ICODE, the caller evaluates what it
 * asks for and calls again with every other argument unchanged.
 *
 * Requests: 2 residuals at X (start, or X set to the best point), 3 a full
 * Newton step, 4 a dogleg trial, 5 a line-search (NSOLVE2: relaxation
 * search) trial, 6 the first Jacobian of the run, 7 a later Jacobian.
 * Final codes: 0 converged, -1 iteration limit, -2 divergence, -3 variables
 * held on their bounds, -4 improper Jacobian structure (or bad input),
 * -5 numerically singular Jacobian, -6 insufficient work space, -7
 * structurally singular Jacobian.  A negative ICODE on entry returns at once.
 * ICODE 0, 1 or 8 and above starts a run.
 *
 * The state of a run lives in the blocks below (one run at a time per
 * process); ORVK_NSLSAV copies it out and back.  Words are numbered from 1. */
#ifndef ORVIKA_NSOLVE_H
#define ORVIKA_NSOLVE_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* State of the sparse Newton solvers: 20 words, IWORD except the LWORDs
 * 15 and 19. */
typedef struct ORVK_NSOLV1_T {
  IWORD TRIAL;  /*  1 1 once a trial step has been set up */
  IWORD RESTOR; /*  2 1 after the best point was restored before a failure */
  IWORD IFS;    /*  3 position of FS in WORK (6N+1) */
  IWORD IREJ;   /*  4 rejection flag of the dogleg routine */
  IWORD GLOBAL; /*  5 1 when the last trial was a dogleg or search step */
  IWORD IFSOLD; /*  6 position of the previous FS in BWORK (N+1) */
  IWORD IMASK;  /*  7 position of the Broyden duplicate mask in BWORK (2N+1) */
  IWORD IFSAV;  /*  8 position of the saved F and the dogleg work in WORK (N+1) */
  IWORD LSACT;  /*  9 NSOLVE: line search in force; NSOLVE2: count of cut steps */
  IWORD NBND;   /* 10 consecutive iterations with a bound-crossing step */
  IWORD NDIV;   /* 11 consecutive iterations without decrease */
  IWORD SPARE;  /* 12 set to 0 at the start */
  IWORD IXS;    /* 13 position of XS in WORK (5N+1) */
  IWORD IPT;    /* 14 NSOLVE: line-search state; NSOLVE2: merit values stored */
  LWORD BRFRST; /* 15 first Broyden update pending */
  IWORD NLIST;  /* 16 entries in ILIST */
  IWORD ICOUNT; /* 17 steps tried from the current dogleg base */
  IWORD NSRCH;  /* 18 trial count of the current search */
  LWORD FIRSTJ; /* 19 first Jacobian request pending */
  IWORD ITERM1; /* 20 ITER0 - 1 */
} ORVK_NSOLV1_T;

/* Real state of the sparse Newton solvers: 12 words. */
typedef struct ORVK_NSOLV2_T {
  double DELTA;  /*  1 trust radius */
  double DELMAX; /*  2 cap of the trust radius (10 x its first value) */
  double STEP;   /*  3 step factor of the current trial */
  double RMSBST; /*  4 best RMS residual so far */
  double RMSOLD; /*  5 RMS residual of the previous pass (NSOLVE2: reference merit) */
  double STPMSR; /*  6 step measure of the last accepted step */
  double RMSBAS; /*  7 RMS residual at the base of the search */
  double RMSTGT; /*  8 acceptance target of the search */
  double STEP0;  /*  9 first step of the line search (1.0) */
  double SMAX;   /* 10 NSOLVE: largest search step (2.0); NSOLVE2: reference merit */
  double STOL;   /* 11 tolerance of the line search (0.1) */
  double SQRTN;  /* 12 sqrt(N) */
} ORVK_NSOLV2_T;

/* Dense-storage positions in RWORK of the sparse Newton solvers. */
typedef struct ORVK_NWOPT1_T {
  IWORD IDLOW; /* 1 lower step bounds (4N+1) */
  IWORD IDUPP; /* 2 upper step bounds (5N+1) */
  IWORD IW1;   /* 3 N x N work (6N+N*N+1) */
  IWORD IW2;   /* 4 N work (6N+2N*N+1) */
  IWORD IW3;   /* 5 N integer work (7N+2N*N+1) */
  IWORD IW4;   /* 6 3N work (8N+2N*N+1) */
} ORVK_NWOPT1_T;

/* State shared by the dogleg routines: 5 reals. */
typedef struct ORVK_DGLG1_T {
  double FF0;    /* 1 F.F at the base point */
  double FF1;    /* 2 F.F at the trial point */
  double GNORM;  /* 3 2-norm of the gradient g = J'F */
  double DXNORM; /* 4 2-norm of the Newton step */
  double CAUCHY; /* 5 Cauchy step length |g|^3 / |J g|^2 */
} ORVK_DGLG1_T;

extern ORVK_API ORVK_NSOLV1_T ORVK_NSOLV1;
extern ORVK_API ORVK_NSOLV2_T ORVK_NSOLV2;
extern ORVK_API ORVK_NWOPT1_T ORVK_NWOPT1;
extern ORVK_API ORVK_DGLG1_T ORVK_DGLG1;

/* Sparse (ISTOR = 1, coordinate IRN/ICN/BJ) or dense (ISTOR = 2, BJ N x N
 * column-major) Newton solver; see the routine's head in nsolve.cpp for the
 * full argument list. */
ORVK_API void ORVK_NSOLVE(const IWORD *N, IWORD *NZ, const IWORD *NEQ, const IWORD *NVAR,
                          const IWORD *ISPARE, double *X, const double *XUB, const double *XLB,
                          const double *DXUB, double *XBEST, double *F, const IWORD *IRN,
                          const IWORD *ICN, double *BJ, const IWORD *IRNUM, const IWORD *EQMAP,
                          const IWORD *VARMAP, const IWORD *TERMPTR, const IWORD *FACPTR,
                          const IWORD *FACVAR, const double *FACEXP, double *RSCALE,
                          double *CSCALE, double *BWORK, double *WORK, IWORD *ILIST,
                          double *RWORK, IWORD *IWORK, double *TOL, double *DIVBND,
                          double *STPTOL, double *TRFAC, double *RMSERR, double *RMS0,
                          const double *RMISS, const IWORD *LWORK, IWORD *MAXIT, IWORD *MAXBND,
                          IWORD *MAXDIV, IWORD *ITER, IWORD *ITER0, IWORD *NLEAD, IWORD *LSRCH,
                          IWORD *IREUSE, IWORD *ISTPTS, const IWORD *IDUPCK, const IWORD *IPRINT,
                          IWORD *JUPDT, IWORD *IRSCL, IWORD *ICSCL, const IWORD *ISTOR,
                          const IWORD *IMISS, IWORD *IOUT, const IWORD *ITERM, IWORD *ICODE);

/* ORVK_NSOLVE with a non-monotone relaxation search and a smooth approach to
 * the bounds: three more arguments, the merit-history length MHIST, the
 * relaxation factor RELAX and the merit history HMERIT (MHIST words). */
ORVK_API void ORVK_NSOLVE2(const IWORD *N, IWORD *NZ, const IWORD *NEQ, const IWORD *NVAR,
                           const IWORD *ISPARE, double *X, const double *XUB, const double *XLB,
                           const double *DXUB, double *XBEST, double *F, const IWORD *IRN,
                           const IWORD *ICN, double *BJ, const IWORD *IRNUM, const IWORD *EQMAP,
                           const IWORD *VARMAP, const IWORD *TERMPTR, const IWORD *FACPTR,
                           const IWORD *FACVAR, const double *FACEXP, double *RSCALE,
                           double *CSCALE, double *BWORK, double *WORK, IWORD *ILIST,
                           double *RWORK, IWORD *IWORK, double *TOL, double *DIVBND,
                           double *STPTOL, double *TRFAC, double *RMSERR, double *RMS0,
                           const double *RMISS, const IWORD *LWORK, IWORD *MAXIT,
                           IWORD *MAXBND, IWORD *MAXDIV, IWORD *ITER, IWORD *ITER0,
                           IWORD *NLEAD, IWORD *LSRCH, IWORD *IREUSE, IWORD *ISTPTS,
                           const IWORD *IDUPCK, const IWORD *IPRINT, IWORD *JUPDT, IWORD *IRSCL,
                           IWORD *ICSCL, const IWORD *ISTOR, const IWORD *IMISS, IWORD *IOUT,
                           const IWORD *ITERM, IWORD *ICODE, IWORD *MHIST, double *RELAX,
                           double *HMERIT);

/* Copies the solver state (ORVK_NSOLV1, ORVK_NSOLV2, ORVK_NWOPT1, ORVK_SPOPT1
 * words 1-3, ORVK_SPOPT2 words 1-53) out to the arrays (MODE = 1) or back
 * (any other MODE).  I1: 18 IWORDs, I2: 2 LWORDs, R: 12 reals, S1: 3 reals,
 * S2: 53 IWORDs, W: 6 IWORDs. */
ORVK_API void ORVK_NSLSAV(IWORD *I1, LWORD *I2, double *R, double *S1, IWORD *S2, IWORD *W,
                          const IWORD *MODE);

/* Residual of a solve with a row-compressed matrix: RNORM = |B - A X|,
 * RREL = RNORM / max(|B|, 1e-10); returns max(|B|, 1e-10). */
ORVK_API double ORVK_RESID(const IWORD *N, const IWORD *IRP, const IWORD *ICI, const double *A,
                           const double *X, const double *B, double *RNORM, double *RREL);

/* Dogleg trust-region step (Powell): MODE 1 new base point, 2 judge the
 * trial point, 3 new step for the same base with the current radius.
 * ORVK_DOGLEG: coordinate Jacobian with 16-bit indices (N <= 32767);
 * ORVK_DOGLG2: coordinate Jacobian with IWORD indices; ORVK_DOGLG1: dense
 * N x N Jacobian, column-major.  W: 4N reals kept between the calls. */
ORVK_API void ORVK_DOGLEG(const IWORD *N, const IWORD *NZ, double *X, const double *DXN,
                          double *DX, double *F, const IDX16 *IROW, const IDX16 *JCOL,
                          const double *A, double *W, double *DELTA, IWORD *ICOUNT,
                          const IWORD *MODE, IWORD *IFLAG);
ORVK_API void ORVK_DOGLG2(const IWORD *N, const IWORD *NZ, double *X, const double *DXN,
                          double *DX, double *F, const IWORD *IROW, const IWORD *JCOL,
                          const double *A, double *W, double *DELTA, IWORD *ICOUNT,
                          const IWORD *MODE, IWORD *IFLAG);
ORVK_API void ORVK_DOGLG1(const IWORD *N, const IWORD *NZ, double *X, const double *DXN,
                          double *DX, double *F, const double *A, double *W, double *DELTA,
                          IWORD *ICOUNT, const IWORD *MODE, IWORD *IFLAG);

/* Text file of the solver family: opens NAME on UNIT through the host's
 * RTO_SHARE_OPENEW (its value returned unchanged), writes one line without
 * its trailing blanks, closes the unit. */
ORVK_API IWORD NSOLVE_FOPEN(IWORD *UNIT, const char *NAME, int64_t NAME_len);
ORVK_API void NSOLVE_WRITELN(const char *TEXT, const IWORD *UNIT, int64_t TEXT_len);
ORVK_API void NSOLVE_FCLOSE(const IWORD *UNIT);

ORVK_END_DECLS

#endif
