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
 * structurally singular Jacobian.  ICODE 0, 1 or 8 and above starts a run.
 *
 * The state of a run lives in the blocks below (one run at a time per
 * process); ORVK_NSLSAV copies it out and back.  Words are numbered from 1.
 *
 * Contract with the caller, beyond the request protocol:
 *
 * - A negative ICODE on entry returns at once.  ICODE is the only argument
 *   read; no other argument is read or written, so the others may be unset
 *   or null.
 * - Save and restore: a run may be copied out with ORVK_NSLSAV (MODE 1) and
 *   continued after a copy back only when the routine has just returned
 *   request 2, 6 or 7.  At requests 3, 4 and 5 a trial is under way whose
 *   state is partly in the dogleg block ORVK_DGLG1 and in the routine's own
 *   saved words (line-search work), which the copy leaves out.  The caller's
 *   arrays of the run (X, F, BJ, RSCALE, CSCALE, BWORK, WORK, RWORK/IWORK,
 *   XBEST, HMERIT) must be those of that run when it continues.  With
 *   IREUSE not 0 the next factorisation reuses the pivot ordering kept for
 *   this work space by the sparse LU package, which knows the work space by
 *   its address; when the package refuses it (another problem has used the
 *   work space since, the work space now lies at another address, as after
 *   a copy of RWORK/IWORK into new storage, or the package was last called,
 *   in any work space, with another entry count: that count is global and
 *   ORVK_NSLSAV does not save it), the routine makes a fresh
 *   analysis by itself; its pivot order may differ, and with it the last
 *   bits of X against a run that was not interrupted.
 * - A Jacobian whose order the sparse LU package changed while repairing
 *   it (its data checks add or drop a row) leaves no square system: the run
 *   ends with -7, structurally singular, as for a structurally singular
 *   matrix.  Other codes of the package that map to no final code end the
 *   run with -6 (work-space positions or ratio) or -4.
 * - Bad input is answered, never trapped:
 *   - a start call with N = 0 ends at once with ICODE = 0 (converged) and
 *     ITER = ITER0, RMSERR = 0; N < 0, NZ < 0 or an entry outside 1..N end
 *     it with -4; work space too short for the layout with -6;
 *   - a real option that is not a number counts as missing and takes its
 *     default, like one at or above RMISS;
 *   - IRSCL or ICSCL outside 0..3 is reset to 0 (no scaling);
 *   - the default of MAXBND and MAXDIV is MAXIT / 3 but at least 1, so that a
 *     small MAXIT does not end every run at its first pass; a negative
 *     MAXBND given by the caller ends the run with -3 at its first Jacobian
 *     pass;
 *   - ORVK_NSOLVE2: MHIST is limited to 20 and below 2 becomes 1; RELAX is
 *     limited to [1, 1e4]; both are written back at every start call;
 *   - a trial point whose residuals are not all finite numbers is never
 *     accepted: a full step falls back to the globalised step; a dogleg
 *     trial is rejected and the radius cut to half its step's length (when
 *     the fifth trial of a base is such a point, the base point stands); a
 *     search trial is rejected, and a search that ends without an
 *     acceptable point goes back to its base and to the dogleg;
 *   - a Newton step that is not finite (a Jacobian with entries that are not
 *     finite) ends the run with -5.
 * - Scale factors given by the caller (mode 3 on either side) are used as
 *   given, only brought into [1e-35, 1e35] (one that is not a number becomes
 *   1); with the other side in mode 2 that side is fitted to them.
 * - ORVK_NSOLVE2's non-monotone reference merit uses only the merit values
 *   stored in HMERIT during the current run; what HMERIT holds at the start
 *   call takes no part.
 */
#ifndef ORVIKA_NSOLVE_H
#define ORVIKA_NSOLVE_H

#include "kernels_sparse.h" /* ORVK_RESID, the residual of a sparse solve */
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
 * column-major) Newton solver.  Arguments (all by address):
 *   N                 in      number of equations and variables.
 *   NZ                in/out  Jacobian entries (ISTOR = 2: set to N*N at every call).
 *   NEQ, NVAR, ISPARE in      structured equations / variables (scaling mode 1).
 *   X                 in/out  (N) start point; every trial and restored point.
 *   XUB, XLB, DXUB    in      (N) upper and lower bounds, largest change per step.
 *   XBEST             out     (N) best point found.
 *   F                 in/out  (N) residuals at X, written by the caller at requests 2-5.
 *   IRN, ICN          in      (NZ) row and column numbers of the entries (ISTOR = 1).
 *   BJ                in/out  (NZ) Jacobian values, written at requests 6 and 7.
 *   IRNUM             in      (N) row numbering for the sparse LU package
 *                             (ORVK_SPOPT2 word 7 = 1).
 *   EQMAP, VARMAP, TERMPTR, FACPTR, FACVAR, FACEXP  in  equation term
 *                             structure (scaling mode 1).
 *   RSCALE, CSCALE    in/out  (N) row and column scale factors; modes:
 *                             0 none, 1 structural, 2 logarithmic least
 *                             squares from the first Jacobian, 3 the caller's.
 *   BWORK             work    2N + NZ reals (JUPDT = 2).
 *   WORK              work    7N reals.
 *   ILIST             out     (N) bound list and largest-entry positions.
 *   RWORK, IWORK      work    the same LWORK words seen as reals and as
 *                             integers.  Sparse: the right-hand side at 1,
 *                             the row and column numbers from LWORK/4, the
 *                             values in the last NZ words, the sparse LU
 *                             package's partition in the rest (its factors
 *                             need room for the fill); dense: 11N + 2N^2.
 *   TOL, DIVBND, STPTOL, TRFAC  in/out  tolerance on the scaled RMS
 *                             residual, divergence bound, step tolerance,
 *                             first trust radius factor (defaults 1e-6, 1e15,
 *                             0.01, 0.1).
 *   RMSERR, RMS0      out     scaled RMS residual now and at iteration 0.
 *   RMISS             in      real missing marker.
 *   LWORK             in      length of RWORK/IWORK.
 *   MAXIT, MAXBND, MAXDIV  in/out  limits (defaults 10, max(1, MAXIT/3) twice).
 *   ITER              out     iteration count; ITER0 in/out its start (default 0).
 *   NLEAD             in/out  full steps only from ITER >= NLEAD (default 2;
 *                             ORVK_NSOLVE2 0).
 *   LSRCH             in/out  0 dogleg, else line search (ORVK_NSOLVE2: default 1).
 *   IREUSE            in/out  not 0: reuse the previous pivot ordering.
 *   ISTPTS            in/out  0: the step measure takes no part in the test.
 *   IDUPCK            in      repeated positions take part once in the
 *                             Broyden update (lowest bit set).
 *   IPRINT            in      print level (5 history, 6 vectors, 9 Jacobian, 10 dumps).
 *   JUPDT             in/out  1 fresh Jacobian values, 2 sparse Broyden update.
 *   IRSCL, ICSCL      in/out  row / column scaling mode 0-3.
 *   ISTOR             in      1 sparse, else dense.
 *   IMISS             in      integer missing marker.
 *   IOUT              in/out  print unit (default 6).
 *   ITERM             in      1: iteration history on the host terminal.
 *   ICODE             in/out  request or final code.
 * An integer option equal to IMISS, or a real option at or above RMISS (or
 * not a number), takes its default at a start call, written back. */
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
 * the bounds: three more arguments, the merit-history length MHIST (default
 * 6), the relaxation factor RELAX (default 20) and the merit history HMERIT
 * (MHIST words, newest first, written by the routine). */
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
ORVK_API IWORD NSOLVE_FOPEN(IWORD *UNIT, const char *NAME, int64_t NAME_LEN);
ORVK_API void NSOLVE_WRITELN(const char *TEXT, const IWORD *UNIT, int64_t TEXT_LEN);
ORVK_API void NSOLVE_FCLOSE(const IWORD *UNIT);

ORVK_END_DECLS

#endif
