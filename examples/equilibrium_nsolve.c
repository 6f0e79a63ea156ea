/* An isothermal flash solved as one sparse nonlinear system with ORVK_NSOLVE.
 *
 * A feed of propane, n-butane and n-pentane (mole fractions z) splits at
 * fixed temperature and pressure into a liquid (x) and a vapour (y); the
 * K-values K = y/x are those of the flash conditions.  The unknowns are
 * x1..x3, y1..y3 and the vapour fraction beta, the equations
 *
 *   (1 - beta) x_i + beta y_i - z_i = 0     component balances   (3)
 *   y_i - K_i x_i                   = 0     phase equilibrium     (3)
 *   sum y_i - sum x_i               = 0     summation             (1)
 *
 * with 0 <= x, y, beta <= 1.  The Jacobian (21 entries) is given in
 * coordinate form; the solver asks by reverse communication for residuals
 * (ICODE 2-5) and Jacobians (6, 7).  The answer is checked against the
 * Rachford-Rice equation, solved here independently by bisection. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "orvika/host_stub.h"
#include "orvika/orvika.h"

enum { NC = 3, N = 2 * NC + 1, NZ = 3 * NC + 2 * NC + 2 * NC };

static const char *const name[NC] = {"propane", "n-butane", "n-pentane"};
static const double z[NC] = {0.30, 0.40, 0.30};
static const double K[NC] = {3.00, 1.00, 0.35};

/* Variables: x_i at i, y_i at NC + i, beta at 2 NC (0-based). */
static void residuals(const double *v, double *f) {
  const double beta = v[2 * NC];
  double s = 0.0;
  for (int i = 0; i < NC; ++i) {
    const double x = v[i], y = v[NC + i];
    f[i] = (1.0 - beta) * x + beta * y - z[i];
    f[NC + i] = y - K[i] * x;
    s += y - x;
  }
  f[2 * NC] = s;
}

/* Pattern (1-based) and values in the same order. */
static void pattern(IWORD *irn, IWORD *icn) {
  int k = 0;
  for (int i = 1; i <= NC; ++i) {
    irn[k] = i, icn[k++] = i;              /* d balance / d x_i */
    irn[k] = i, icn[k++] = NC + i;         /* d balance / d y_i */
    irn[k] = i, icn[k++] = N;              /* d balance / d beta */
    irn[k] = NC + i, icn[k++] = i;         /* d equilibrium / d x_i */
    irn[k] = NC + i, icn[k++] = NC + i;    /* d equilibrium / d y_i */
    irn[k] = N, icn[k++] = i;              /* d summation / d x_i */
    irn[k] = N, icn[k++] = NC + i;         /* d summation / d y_i */
  }
}

static void jacobian(const double *v, double *bj) {
  const double beta = v[2 * NC];
  int k = 0;
  for (int i = 0; i < NC; ++i) {
    bj[k++] = 1.0 - beta;
    bj[k++] = beta;
    bj[k++] = v[NC + i] - v[i];
    bj[k++] = -K[i];
    bj[k++] = 1.0;
    bj[k++] = -1.0;
    bj[k++] = 1.0;
  }
}

/* Rachford-Rice: sum z_i (K_i - 1) / (1 + beta (K_i - 1)) = 0, by bisection. */
static double rachford_rice(void) {
  double lo = 0.0, hi = 1.0;
  for (int it = 0; it < 200; ++it) {
    const double mid = 0.5 * (lo + hi);
    double g = 0.0;
    for (int i = 0; i < NC; ++i) g += z[i] * (K[i] - 1.0) / (1.0 + mid * (K[i] - 1.0));
    if (g > 0.0) lo = mid; else hi = mid;
  }
  return 0.5 * (lo + hi);
}

int main(void) {
  orvk_host_reset();
  /* Sparse LU options as the host sets them before the solver runs. */
  ORVK_SPARMI.INTRAT = 1;
  ORVK_SPARMI.SPARM3 = 0;
  ORVK_INITSP();
  ORVK_SPOPT2.IORNIN = 0;

  const IWORD imiss = -999999;
  const double rmiss = 1e35;
  IWORD n = N, nz = NZ, neq = 0, nvar = 0, ispare = 0;
  double x[N], xub[N], xlb[N], dxub[N], xbest[N], f[N], bj[NZ];
  double rscale[N], cscale[N], bwork[2 * N + NZ + 1], work[7 * N], facexp[1] = {1.0};
  IWORD irn[NZ], icn[NZ], irnum[N], eqmap[N], varmap[N], termptr[2] = {1, 1};
  IWORD facptr[2] = {1, 1}, facvar[1] = {0}, ilist[N + 10];
  IWORD lwork = 40 * (N + NZ) + 400;
  IWORD *ws = calloc((size_t)lwork, sizeof(IWORD)); /* RWORK and IWORK: one space */
  double tol = 1e-12, divbnd = rmiss, stptol = rmiss, trfac = rmiss, rmserr = 0.0, rms0 = 0.0;
  IWORD maxit = 50, maxbnd = imiss, maxdiv = imiss, iter = 0, iter0 = imiss, nlead = imiss;
  IWORD lsrch = 0, ireuse = imiss, istpts = 0, idupck = 0, iprint = 0, jupdt = 1;
  IWORD irscl = 0, icscl = 0, istor = 1, iout = 6, iterm = 0, icode = 0;
  if (!ws) return 1;

  /* Start as a flash program does: the phases from the K-values at the feed
   * composition (y ~ K z, x ~ z / K, normalised), an equal split. */
  double sx = 0.0, sy = 0.0;
  for (int i = 0; i < NC; ++i) {
    sx += z[i] / K[i];
    sy += K[i] * z[i];
  }
  for (int i = 0; i < NC; ++i) {
    x[i] = z[i] / K[i] / sx;
    x[NC + i] = K[i] * z[i] / sy;
  }
  x[2 * NC] = 0.5;
  for (int j = 0; j < N; ++j) {
    xlb[j] = 0.0;
    xub[j] = 1.0;
    dxub[j] = 0.5; /* no variable moves by more than half its range per step */
    rscale[j] = cscale[j] = 1.0;
    irnum[j] = j + 1;
    eqmap[j] = varmap[j] = 0;
  }
  pattern(irn, icn);

  printf("Isothermal flash of C3/nC4/nC5 (K = %.2f, %.2f, %.2f), ORVK_NSOLVE, sparse Jacobian\n\n",
         K[0], K[1], K[2]);
  printf("  iter   RMS residual\n");
  IWORD shown = -1, nfun = 0, njac = 0;
  for (int call = 0; call < 1000; ++call) {
    ORVK_NSOLVE(&n, &nz, &neq, &nvar, &ispare, x, xub, xlb, dxub, xbest, f, irn, icn, bj, irnum,
                eqmap, varmap, termptr, facptr, facvar, facexp, rscale, cscale, bwork, work,
                ilist, (double *)ws, ws, &tol, &divbnd, &stptol, &trfac, &rmserr, &rms0, &rmiss,
                &lwork, &maxit, &maxbnd, &maxdiv, &iter, &iter0, &nlead, &lsrch, &ireuse, &istpts,
                &idupck, &iprint, &jupdt, &irscl, &icscl, &istor, &imiss, &iout, &iterm, &icode);
    if (icode <= 0) break;
    if (icode >= 2 && icode <= 5) {
      residuals(x, f);
      ++nfun;
    } else if (icode == 6 || icode == 7) {
      jacobian(x, bj);
      ++njac;
    }
    if (iter != shown && icode >= 6) { /* a new Jacobian opens each iteration */
      printf("  %4ld   %.3e\n", (long)iter, rmserr);
      shown = iter;
    }
  }
  free(ws);
  if (icode != 0) {
    printf("\nORVK_NSOLVE failed: ICODE = %ld after %ld iterations\n", (long)icode, (long)iter);
    return 1;
  }

  printf("  %4ld   %.3e\n", (long)iter, rmserr);
  residuals(x, f);
  double fmax = 0.0;
  for (int j = 0; j < N; ++j) fmax = fmax < fabs(f[j]) ? fabs(f[j]) : fmax;
  const double beta_rr = rachford_rice();
  printf("\nConverged (ICODE 0): %ld iterations, %ld residual and %ld Jacobian evaluations\n",
         (long)iter, (long)nfun, (long)njac);
  printf("  %-10s %8s %8s %8s\n", "component", "z", "x", "y");
  for (int i = 0; i < NC; ++i)
    printf("  %-10s %8.5f %8.5f %8.5f\n", name[i], z[i], x[i], x[NC + i]);
  printf("  vapour fraction beta = %.8f (Rachford-Rice: %.8f)\n", x[2 * NC], beta_rr);
  printf("  largest residual     = %.2e\n", fmax);
  const int ok = fmax < 1e-10 && fabs(x[2 * NC] - beta_rr) < 1e-9;
  printf("  check: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
