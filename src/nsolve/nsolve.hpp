// Internal routines of the sparse nonlinear equation solver: scaling,
// residual checks, scale factors, the sparse Broyden update, step control,
// and the iteration shared by ORVK_NSOLVE and ORVK_NSOLVE2.
#pragma once

#include "orvika/nsolve.h"
#include "orvika/orvika_types.h"

namespace orvika {

// ---- scaling application and residual checks --------------------------------------

// MODE 1: Y(i) = X(i) / S(i) (Y = X when FLAG is 0); MODE 2: X(i) = S(i) Y(i)
// (X = Y when FLAG is 0); any other MODE or N <= 0: nothing.
void SSCALV(IWORD N, IWORD MODE, IWORD FLAG, double* X, const double* S, double* Y);

// MODE 1: BJS = diag(RFAC)^-1 BJ diag(CFAC) (rows when IRS > 0, columns when
// ICS > 0); any other MODE: BJ = diag(RFAC) BJS diag(CFAC)^-1.  ISTOR 1:
// coordinate entries (IRN, ICN); any other ISTOR: dense N x N column-major.
// Entries whose row or column lies outside 1..N keep the copied value.
void SSCALJ(IWORD N1, IWORD N, IWORD NZ, IWORD ISTOR, IWORD MODE, IWORD IRS, const double* RFAC,
            IWORD ICS, const double* CFAC, const IWORD* IRN, const IWORD* ICN, double* BJ,
            double* BJS);

// X(i) = sign(X(i)) max(LO, min(HI, |X(i)|)); a NaN becomes max(LO, HI).
void VCLAMP(IWORD N, double LO, double HI, double* X);

// ---- scale factors ----------------------------------------------------------------------

// Row and column scale factors of the sparse Newton solvers (modes 0-3 per
// side: none, structural, logarithmic least squares, caller-given).  A
// caller-given side keeps its factors (only brought into [1e-35, 1e35]);
// when the other side is in mode 2 it is fitted to them alone.  WORK:
// 2M + 3N reals when a mode is 2, 2 NVAR + NEQ when a mode is 1.
void RCSCAL(IWORD M, IWORD N, IWORD NZ, IWORD IRSCL, IWORD ICSCL, IWORD ISTOR, IWORD NEQ,
            const IWORD* EQMAP, IWORD NVAR, const IWORD* VARMAP, const IWORD* TERMPTR,
            const IWORD* ISPARE, const IWORD* FACPTR, const IWORD* FACVAR, const double* FACEXP,
            const double* F, const double* X, const IWORD* IRN, const IWORD* ICN, const double* BJ,
            double* RSCALE, double* CSCALE, double* WORK);

// Curtis-Reid logarithmic scaling: exponents RLOG (M) and CLOG (N) that bring
// |a_ij| exp(RLOG_i + CLOG_j) close to 1 in the least-squares sense.  MODE 1
// coordinate, 2 dense (NE := M N).  W: 2M, W2: 3N reals.
void LOGSCL(IWORD M, IWORD N, IWORD& NE, IWORD MODE, const IWORD* IRN, const IWORD* ICN,
            const double* A, double* RLOG, double* CLOG, double* W, double* W2);

// ---- sparse Broyden update ---------------------------------------------------------------

// Schubert's sparse Broyden update of A after the step XOLD -> X (FOLD -> F);
// XOLD := X and FOLD := F on return.  MASK: NZ integer words (read and
// written bytewise, so it may lie inside a real array); built when FIRST is
// true, in O(NZ + M + N) with W as its work.  W: N + 2M reals.  ISTOR 1
// coordinate, other dense M x N.
void SBROYD(IWORD M, IWORD N, IWORD NZ, double* XOLD, const double* X, double* FOLD,
            const double* F, const IWORD* IRN, const IWORD* ICN, double* A, double* W, void* MASK,
            LWORD& FIRST, IWORD IDUPCK, IWORD ISTOR);

// ---- step control of ORVK_NSOLVE2 ------------------------------------------------------

// MODE 1: LAMBDA := the largest factor <= 1 that keeps every unscaled step
// within DXMAX, at least 0.125 (1 when IBOUND is 0).  MODE 2: XNEW := X +
// the step LAMBDA DX (unscaled with CSCALE when ISCAL > 0), limited by DXMAX
// and, when IBOUND is not 0, approaching the bounds smoothly; XNEW may be X.
void BNDSTP(IWORD MODE, IWORD N, IWORD IBOUND, const double* X, double& LAMBDA, IWORD ISCAL,
            const double* CSCALE, const double* DX, double* XNEW, const double* DXMAX,
            const double* XLOW, const double* XUPP);

// ---- the iteration shared by ORVK_NSOLVE and ORVK_NSOLVE2 ------------------------------

// The arguments of a call, by address as the caller passed them.
struct NsolveArgs {
  const IWORD* N;
  IWORD* NZ;
  const IWORD* NEQ;
  const IWORD* NVAR;
  const IWORD* ISPARE;
  double* X;
  const double* XUB;
  const double* XLB;
  const double* DXUB;
  double* XBEST;
  double* F;
  const IWORD* IRN;
  const IWORD* ICN;
  double* BJ;
  const IWORD* IRNUM;
  const IWORD* EQMAP;
  const IWORD* VARMAP;
  const IWORD* TERMPTR;
  const IWORD* FACPTR;
  const IWORD* FACVAR;
  const double* FACEXP;
  double* RSCALE;
  double* CSCALE;
  double* BWORK;
  double* WORK;
  IWORD* ILIST;
  double* RWORK;
  IWORD* IWORK;
  double* TOL;
  double* DIVBND;
  double* STPTOL;
  double* TRFAC;
  double* RMSERR;
  double* RMS0;
  const double* RMISS;
  const IWORD* LWORK;
  IWORD* MAXIT;
  IWORD* MAXBND;
  IWORD* MAXDIV;
  IWORD* ITER;
  IWORD* ITER0;
  IWORD* NLEAD;
  IWORD* LSRCH;
  IWORD* IREUSE;
  IWORD* ISTPTS;
  const IWORD* IDUPCK;
  const IWORD* IPRINT;
  IWORD* JUPDT;
  IWORD* IRSCL;
  IWORD* ICSCL;
  const IWORD* ISTOR;
  const IWORD* IMISS;
  IWORD* IOUT;
  const IWORD* ITERM;
  IWORD* ICODE;
  // ORVK_NSOLVE2 only (null for ORVK_NSOLVE).
  IWORD* MHIST = nullptr;
  double* RELAX = nullptr;
  double* HMERIT = nullptr;
};

// Words a solver keeps between its calls besides the exported blocks.
struct NsolveSaved {
  IWORD K = 0;           // free-variable count of the dense bounded step
  double CS[1] = {0.0};  // its (unused) column weights
  double SW[7] = {};     // line-search work
  IWORD IERR = 0;        // last code of the sparse LU package
  double ZNORM = 0.0, ZRATIO = 0.0;  // last residual check
  double VAL[10] = {};   // largest-entry values
};

// One call of ORVK_NSOLVE (VARIANT 1) or ORVK_NSOLVE2 (VARIANT 2).
void nsolve_drive(const NsolveArgs& a, int variant, NsolveSaved& saved);

}  // namespace orvika
