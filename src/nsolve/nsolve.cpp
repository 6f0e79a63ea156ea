// ORVK_NSOLVE and ORVK_NSOLVE2: entries of the sparse Newton solvers, and
// their exported state blocks.
#include "nsolve/nsolve.hpp"

extern "C" {
ORVK_API ORVK_NSOLV1_T ORVK_NSOLV1 = {};
ORVK_API ORVK_NSOLV2_T ORVK_NSOLV2 = {};
ORVK_API ORVK_NWOPT1_T ORVK_NWOPT1 = {};
}

namespace {
// What each solver keeps between its calls beside the blocks.
orvika::NsolveSaved g_saved1;
orvika::NsolveSaved g_saved2;
}  // namespace

/* ORVK_NSOLVE: solves F(X) = 0, N equations in N variables, XLB <= X <= XUB,
 * by a scaled Newton method with a sparse or dense Jacobian, globalised by a
 * dogleg trust region (Powell) or a line search, by reverse communication.
 *
 * Arguments (all by address; IWORD integers, reals 64-bit):
 *   N        in      number of equations and variables.
 *   NZ       in/out  Jacobian entries (ISTOR = 2: set to N*N at every call).
 *   NEQ, NVAR, ISPARE  in  structured equations / variables (scaling mode 1).
 *   X        in/out  (N) start point; every trial and restored point.
 *   XUB, XLB in      (N) upper and lower bounds.
 *   DXUB     in      (N) largest change of each variable in one step.
 *   XBEST    out     (N) best point found.
 *   F        in/out  (N) residuals at X (written by the caller at requests 2-5).
 *   IRN, ICN in      (NZ) row and column numbers of the entries (ISTOR = 1).
 *   BJ       in/out  (NZ) Jacobian values (ISTOR = 2: N x N column-major).
 *   IRNUM    in      (N) row numbering for the sparse LU package (ORVK_SPOPT2 word 7 = 1).
 *   EQMAP, VARMAP, TERMPTR, FACPTR, FACVAR, FACEXP  in  equation term structure.
 *   RSCALE, CSCALE in/out (N) row and column scale factors (mode 3: the
 *                    caller's, kept as given within [1e-35, 1e35]).
 *   BWORK    work    2N + NZ reals (JUPDT = 2).
 *   WORK     work    7N reals.
 *   ILIST    out     (N) bound list and largest-entry positions.
 *   RWORK, IWORK work  the same LWORK words seen as reals and as integers; sparse:
 *                    room for the layout (B at 1, IVECT = LWORK/4, IA = LWORK-NZ)
 *                    and the sparse LU package; dense: at least 11N + 2N^2.
 *   TOL, DIVBND, STPTOL, TRFAC  in/out  tolerance, divergence bound, step
 *                    tolerance, first trust radius factor (defaults 1e-6, 1e15, 0.01, 0.1).
 *   RMSERR, RMS0 out  scaled RMS residual now and at iteration 0.
 *   RMISS    in      real missing marker (options at or above it, or NaN, take defaults).
 *   LWORK    in      length of RWORK/IWORK.
 *   MAXIT, MAXBND, MAXDIV  in/out  limits (defaults 10, MAXIT/3, MAXIT/3).
 *   ITER     out     iteration count; ITER0 in/out its start (default 0).
 *   NLEAD    in/out  full steps only from ITER >= NLEAD (default 2).
 *   LSRCH    in/out  0 dogleg, else line search.
 *   IREUSE   in/out  reuse of the previous pivot ordering.
 *   ISTPTS   in/out  0: the step measure takes no part in the convergence test.
 *   IDUPCK   in      duplicate check of the Broyden update.
 *   IPRINT   in      print level (5 iteration history, 6 vectors, 9 Jacobian, 10 dumps).
 *   JUPDT    in/out  1 fresh Jacobian, 2 sparse Broyden update.
 *   IRSCL, ICSCL in/out  row / column scaling mode 0-3 (others become 0).
 *   ISTOR    in      1 sparse, else dense.
 *   IMISS    in      integer missing marker.
 *   IOUT     in/out  print unit (default 6).
 *   ITERM    in      1: iteration history on the host terminal.
 *   ICODE    in/out  request or final code (see nsolve.h).
 * Final codes: 0 converged, -1 iteration limit, -2 divergence, -3 held on
 * bounds, -4 improper structure (also N < 0, NZ < 0 or an entry outside
 * 1..N), -5 numerically singular, -6 work space too short, -7 structurally
 * singular.
 * Cost per iteration: one sparse LU factorisation (dense: the bounded QP step,
 * O(N^3)) and a few passes over the entries. */
extern "C" ORVK_API void ORVK_NSOLVE(
    const IWORD* N, IWORD* NZ, const IWORD* NEQ, const IWORD* NVAR, const IWORD* ISPARE, double* X,
    const double* XUB, const double* XLB, const double* DXUB, double* XBEST, double* F,
    const IWORD* IRN, const IWORD* ICN, double* BJ, const IWORD* IRNUM, const IWORD* EQMAP,
    const IWORD* VARMAP, const IWORD* TERMPTR, const IWORD* FACPTR, const IWORD* FACVAR,
    const double* FACEXP, double* RSCALE, double* CSCALE, double* BWORK, double* WORK,
    IWORD* ILIST, double* RWORK, IWORD* IWORK, double* TOL, double* DIVBND, double* STPTOL,
    double* TRFAC, double* RMSERR, double* RMS0, const double* RMISS, const IWORD* LWORK,
    IWORD* MAXIT, IWORD* MAXBND, IWORD* MAXDIV, IWORD* ITER, IWORD* ITER0, IWORD* NLEAD,
    IWORD* LSRCH, IWORD* IREUSE, IWORD* ISTPTS, const IWORD* IDUPCK, const IWORD* IPRINT,
    IWORD* JUPDT, IWORD* IRSCL, IWORD* ICSCL, const IWORD* ISTOR, const IWORD* IMISS, IWORD* IOUT,
    const IWORD* ITERM, IWORD* ICODE) {
  const orvika::NsolveArgs a{N,      NZ,     NEQ,    NVAR,   ISPARE, X,      XUB,    XLB,
                             DXUB,   XBEST,  F,      IRN,    ICN,    BJ,     IRNUM,  EQMAP,
                             VARMAP, TERMPTR, FACPTR, FACVAR, FACEXP, RSCALE, CSCALE, BWORK,
                             WORK,   ILIST,  RWORK,  IWORK,  TOL,    DIVBND, STPTOL, TRFAC,
                             RMSERR, RMS0,   RMISS,  LWORK,  MAXIT,  MAXBND, MAXDIV, ITER,
                             ITER0,  NLEAD,  LSRCH,  IREUSE, ISTPTS, IDUPCK, IPRINT, JUPDT,
                             IRSCL,  ICSCL,  ISTOR,  IMISS,  IOUT,   ITERM,  ICODE};
  orvika::nsolve_drive(a, 1, g_saved1);
}

/* ORVK_NSOLVE2: ORVK_NSOLVE with a non-monotone relaxation search (reference
 * merit the largest of the last MHIST relaxed RMS values), a smooth approach
 * to the bounds (BNDSTP) and a run end with -3 when the box cuts the step to
 * below 1e-5 of its length in four consecutive passes.
 * Arguments 1-55 as ORVK_NSOLVE (defaults LSRCH 1, NLEAD 0), and
 *   MHIST   in/out  merit history length M: default 6, at most 20, below 2 becomes 1.
 *   RELAX   in/out  relaxation factor: default 20, limited to [1, 1e4].
 *   HMERIT  in/out  (M) merit history, newest first; only the values stored
 *                   during this run take part in the reference.
 * Cost per iteration as ORVK_NSOLVE. */
extern "C" ORVK_API void ORVK_NSOLVE2(
    const IWORD* N, IWORD* NZ, const IWORD* NEQ, const IWORD* NVAR, const IWORD* ISPARE, double* X,
    const double* XUB, const double* XLB, const double* DXUB, double* XBEST, double* F,
    const IWORD* IRN, const IWORD* ICN, double* BJ, const IWORD* IRNUM, const IWORD* EQMAP,
    const IWORD* VARMAP, const IWORD* TERMPTR, const IWORD* FACPTR, const IWORD* FACVAR,
    const double* FACEXP, double* RSCALE, double* CSCALE, double* BWORK, double* WORK,
    IWORD* ILIST, double* RWORK, IWORD* IWORK, double* TOL, double* DIVBND, double* STPTOL,
    double* TRFAC, double* RMSERR, double* RMS0, const double* RMISS, const IWORD* LWORK,
    IWORD* MAXIT, IWORD* MAXBND, IWORD* MAXDIV, IWORD* ITER, IWORD* ITER0, IWORD* NLEAD,
    IWORD* LSRCH, IWORD* IREUSE, IWORD* ISTPTS, const IWORD* IDUPCK, const IWORD* IPRINT,
    IWORD* JUPDT, IWORD* IRSCL, IWORD* ICSCL, const IWORD* ISTOR, const IWORD* IMISS, IWORD* IOUT,
    const IWORD* ITERM, IWORD* ICODE, IWORD* MHIST, double* RELAX, double* HMERIT) {
  const orvika::NsolveArgs a{N,      NZ,     NEQ,    NVAR,   ISPARE, X,      XUB,    XLB,
                             DXUB,   XBEST,  F,      IRN,    ICN,    BJ,     IRNUM,  EQMAP,
                             VARMAP, TERMPTR, FACPTR, FACVAR, FACEXP, RSCALE, CSCALE, BWORK,
                             WORK,   ILIST,  RWORK,  IWORK,  TOL,    DIVBND, STPTOL, TRFAC,
                             RMSERR, RMS0,   RMISS,  LWORK,  MAXIT,  MAXBND, MAXDIV, ITER,
                             ITER0,  NLEAD,  LSRCH,  IREUSE, ISTPTS, IDUPCK, IPRINT, JUPDT,
                             IRSCL,  ICSCL,  ISTOR,  IMISS,  IOUT,   ITERM,  ICODE,  MHIST,
                             RELAX,  HMERIT};
  orvika::nsolve_drive(a, 2, g_saved2);
}
