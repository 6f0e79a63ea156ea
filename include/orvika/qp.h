/* ORVIKA - quadratic programming and optimisation support: the active-set
 * QP solver, the packed symmetric LDL^T solve and the quasi-Newton updates. */
#ifndef ORVIKA_QP_H
#define ORVIKA_QP_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Integer option, state and counter words of the QP solver family
 * (words numbered from 1; zero at load): ORVK_NLPINT[ORVK_NLPINT_x - 1]. */
enum {
  ORVK_NLPINT_WORDS = 100,
  ORVK_NLPINT_QPUNIT = 1,   /* output unit of the QP solver, QPACTV, LP set-ups, SSOLVE */
  ORVK_NLPINT_KKTUNIT = 2,  /* output unit of the sparse and GMRES KKT solvers */
  ORVK_NLPINT_KKTLEVEL = 3, /* print level of those solvers */
  ORVK_NLPINT_NACTIV = 4,   /* number of active inequality rows */
  ORVK_NLPINT_NDELETE = 5,  /* rows released by the last active-set step */
  ORVK_NLPINT_NACTINI = 6,  /* NACTIV at the start of the active-set step */
  ORVK_NLPINT_KKTLAST = 7,  /* KKT order at the last sparse or GMRES solve */
  ORVK_NLPINT_NACTLAST = 8, /* NACTIV at the last solve (count of IACOLD) */
  ORVK_NLPINT_PIVSTRAT = 9, /* pivot strategy of the sparse KKT solver */
  ORVK_NLPINT_NBLOCK = 10,  /* sparse KKT solver: number of pivot blocks */
  ORVK_NLPINT_NDWORD = 11,  /* sparse KKT solver: words of D in use */
  ORVK_NLPINT_UPDMODE = 51, /* ORVK_GUPDAT: choice of the scaling vector */
  ORVK_NLPINT_WARM = 55,    /* LWORD: keep the previous call's active set */
  ORVK_NLPINT_KKTSOLV = 67, /* 1 dense, 2 sparse, 3 GMRES; other values act as 1 */
  ORVK_NLPINT_PHASE1 = 68,  /* nonzero: build and run the phase-1 LP on a cold start */
  ORVK_NLPINT_FACTCUR = 69, /* sparse factors current (MODE of the sparse solver) */
  ORVK_NLPINT_ROW1 = 70,    /* first row of a continued packed factorisation */
  ORVK_NLPINT_ROW2 = 71,    /* last row of a continued packed factorisation */
  ORVK_NLPINT_JSING = 72,   /* inequality held responsible for a singular KKT matrix */
  ORVK_NLPINT_JACTIV = 73,  /* inequality chosen for activation */
  ORVK_NLPINT_JDELETE = 74, /* inequality chosen for release */
  ORVK_NLPINT_LASTIN = 75,  /* inequality activated last */
  ORVK_NLPINT_LASTOU = 76,  /* inequality released last */
  ORVK_NLPINT_QPITER = 77,  /* QP iteration count */
  ORVK_NLPINT_VALID = 78,   /* LWORD: the last active-set step changed nothing */
  ORVK_NLPINT_SPXLEVEL = 80, /* print level of the simplex feasibility check */
  ORVK_NLPINT_SPXUNIT = 82, /* simplex unit in use */
  ORVK_NLPINT_SPXLVUSE = 83, /* simplex level in use */
  ORVK_NLPINT_VBLK1 = 84,   /* variable blocks of the simplex check (84..86) */
  ORVK_NLPINT_VBLK2 = 85,
  ORVK_NLPINT_VBLK3 = 86,
  ORVK_NLPINT_NINSPC = 89,  /* general inequality rows of the simplex check */
  ORVK_NLPINT_NISPEC = 90,
  ORVK_NLPINT_SSMODE = 91,  /* ORVK_SSOLVE mode: 2 continues the factorisation */
  ORVK_NLPINT_NACTOLD0 = 94 /* NACTIV two iterations back (count of IACOLD0) */
};
extern ORVK_API IWORD ORVK_NLPINT[ORVK_NLPINT_WORDS];

/* Real parameters and phase times of the KKT solvers (words from 1). */
enum {
  ORVK_NLPREA_WORDS = 20,
  ORVK_NLPREA_TTOTAL = 1,  /* 1..6: phase times of the sparse KKT solver */
  ORVK_NLPREA_ALPHA = 7,   /* pivot threshold set by the host */
  ORVK_NLPREA_TAU = 8,     /* threshold derived from it */
  ORVK_NLPREA_SPXTOL1 = 12, /* simplex tolerances */
  ORVK_NLPREA_SPXTOL2 = 13
};
extern ORVK_API double ORVK_NLPREA[ORVK_NLPREA_WORDS];

/* Active-set QP: minimise g'x + x'Hx/2 s.t. equality and inequality rows. */
ORVK_API void ORVK_QPSLV(const IWORD *N, const double *G, const IWORD *IAH, const IWORD *JAH,
                         const double *H, const IWORD *MEQ, const IWORD *MINEQ, const double *B,
                         const IWORD *IAC, const IWORD *JAC, const double *AC,
                         const double *FESBLE, const IWORD *MACT, IWORD *NCACT, IWORD *ITER,
                         double *X, const IWORD *LRWRKQP, double *RWRKQP, const IWORD *LIWRKQP,
                         IWORD *IWRKQP, void *UNUSED21, LWORD *LACT, const IWORD *IPRINT,
                         IWORD *IRET, const IWORD *LRWLES, double *RWLES, const IWORD *LIWLES,
                         IWORD *IWLES, IWORD *ISING, double *APHMAX, const IWORD *LDC,
                         double *CWORK, IWORD *IFAIL);

/* Solves A x = b, A symmetric packed by rows, by A = L D L^T (no pivoting). */
ORVK_API void ORVK_SSOLVE(const IWORD *N, const double *A, const double *B, double *X,
                          const IWORD *IPRINT);

/* Damped BFGS update of a Hessian approximation B (N x N, N <= 60). */
ORVK_API void ORVK_BFGS1(const IWORD *N, const double *S, const double *Y, double *B,
                         const IWORD *IDAMP, const IWORD *IOUT, const IWORD *IPRINT);
/* Symmetric rank-2 (PSB family) update of A (N x N, N <= 20). */
ORVK_API void ORVK_GUPDAT(const IWORD *N, const double *S, const double *Y, const double *M,
                          double *A, const IWORD *IOUT, const IWORD *IPRINT);
/* DFP/BFGS update of an inverse Hessian H, search direction, perturbation sweep. */
ORVK_API void ORVK_DFPBFS(const LWORD *L1, LWORD *L2, IWORD *K, const IWORD *N, double *X,
                          double *XOLD, const double *G, double *GOLD, double *S,
                          const double *DX, double *H, double *YV, double *HY);

ORVK_END_DECLS

#endif
