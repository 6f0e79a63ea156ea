/* Sparse LU with the MA28 family: analyse, solve, refactor, solve again.
 *
 * The matrix is the 5-point upwind convection-diffusion operator on a
 * 20 x 20 grid (n = 400), as a steady temperature field in a flow channel
 * gives it.  ORVK_MA28AD orders and factorises it (Markowitz pivoting with
 * relative threshold 0.5, block triangular preordering; the looser 0.1
 * gives sparser factors but lets the growth estimate reach ~6e5 on this
 * operator, and residuals near 1e-13); ORVK_MA28CD solves
 * A x = b and A^T x = b; ORVK_MA28BD then factorises the operator of another
 * flow rate (same pattern, new values) on the kept pivot sequence, as a
 * Newton iteration or a parameter sweep does, and ORVK_MA28CD solves again.
 * Each solve is checked by its relative residual and by the error against
 * the known solution x = (1, 2, ..., n) / n. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "orvika/host_stub.h"
#include "orvika/orvika.h"

enum { M = 20, N = M * M, NZMAX = 5 * N };

typedef struct {
  IWORD nz;
  IDX16 row[NZMAX], col[NZMAX];
  double val[NZMAX];
} coo;

static void add(coo *a, int i, int j, double v) {
  a->row[a->nz] = (IDX16)i;
  a->col[a->nz] = (IDX16)j;
  a->val[a->nz++] = v;
}

/* Upwind convection-diffusion at cell Peclet number PECLET. */
static void operator(coo *a, double peclet) {
  a->nz = 0;
  for (int j = 1; j <= M; ++j)
    for (int i = 1; i <= M; ++i) {
      const int k = (j - 1) * M + i;
      add(a, k, k, 4.0 + peclet);
      if (i > 1) add(a, k, k - 1, -1.0 - peclet);
      if (i < M) add(a, k, k + 1, -1.0);
      if (j > 1) add(a, k, k - M, -1.0);
      if (j < M) add(a, k, k + M, -1.0);
    }
}

/* b = A x (TRANS: A^T x). */
static void multiply(const coo *a, const double *x, double *b, int trans) {
  for (int i = 0; i < N; ++i) b[i] = 0.0;
  for (IWORD k = 0; k < a->nz; ++k) {
    const int r = a->row[k] - 1, c = a->col[k] - 1;
    if (trans) b[c] += a->val[k] * x[r]; else b[r] += a->val[k] * x[c];
  }
}

/* ||b - A x||_inf / (||A||_inf ||x||_inf + ||b||_inf); ERR: max |x - xt|. */
static double residual(const coo *a, const double *x, const double *b, int trans,
                       const double *xt, double *err) {
  double ax[N], rowsum[N] = {0.0}, rn = 0.0, an = 0.0, xn = 0.0, bn = 0.0;
  multiply(a, x, ax, trans);
  for (IWORD k = 0; k < a->nz; ++k) rowsum[(trans ? a->col[k] : a->row[k]) - 1] += fabs(a->val[k]);
  *err = 0.0;
  for (int i = 0; i < N; ++i) {
    rn = fmax(rn, fabs(b[i] - ax[i]));
    an = fmax(an, rowsum[i]);
    xn = fmax(xn, fabs(x[i]));
    bn = fmax(bn, fabs(b[i]));
    *err = fmax(*err, fabs(x[i] - xt[i]));
  }
  return rn / (an * xn + bn);
}

static coo a;

int main(void) {
  orvk_host_reset();
  ORVK_MA28BK(); /* defaults of the drivers and of the kernel */
  ORVK_MA30BK();

  double xt[N], b[N], x[N], rwork[N], rmax = 0.0, emax = 0.0, err;
  for (int i = 0; i < N; ++i) xt[i] = (double)(i + 1) / N;
  operator(&a, 5.0);

  /* Entry files with room for the fill: 10 times the entries, doubled
   * while the factorisation runs out of space. */
  const IWORD n = N;
  const double thr = 0.5;
  IWORD licn = 10 * a.nz, lirn = 10 * a.nz, istat = 0, nz = a.nz;
  IDX16 lukeep[5 * N], intwrk[14 * N];
  double *entval = NULL;
  IDX16 *colnum = NULL, *rownum = NULL;
  for (;;) {
    entval = malloc(sizeof(double) * (size_t)licn);
    colnum = malloc(sizeof(IDX16) * (size_t)licn);
    rownum = malloc(sizeof(IDX16) * (size_t)lirn);
    if (!entval || !colnum || !rownum) return 1;
    for (IWORD k = 0; k < nz; ++k) {
      entval[k] = a.val[k];
      colnum[k] = a.col[k];
      rownum[k] = a.row[k];
    }
    ORVK_MA28AD(&n, &nz, entval, &licn, rownum, &lirn, colnum, &thr, lukeep, intwrk, rwork,
                &istat);
    if (istat > -3 || istat < -6 || licn > 1000 * a.nz) break;
    printf("ISTAT = %ld with LICN = LIRN = %ld: doubling the entry files\n", (long)istat,
           (long)licn);
    free(entval);
    free(colnum);
    free(rownum);
    licn *= 2;
    lirn *= 2;
  }
  printf("Convection-diffusion on a %d x %d grid: n = %d, nz = %ld, MA28 family\n\n", M, M, N,
         (long)nz);
  if (istat < 0) {
    printf("ORVK_MA28AD failed: ISTAT = %ld\n", (long)istat);
    return 1;
  }
  printf("analyse + factor (ORVK_MA28AD): ISTAT %ld, rank %ld, diagonal blocks %ld, "
         "factors %ld entries\n",
         (long)istat, (long)ORVK_MA28FD.LURANK, (long)ORVK_MC23BD.NBLOCK,
         (long)(ORVK_MA28GD.LULAST - ORVK_MA28GD.LUFRST + 1));
  printf("  space needed: LICN %ld, LIRN %ld (given %ld); growth estimate %.3g\n",
         (long)ORVK_MA28FD.MINLIC, (long)ORVK_MA28FD.MINLIR, (long)licn, rwork[0]);

  /* Solves with the first factors: A x = b and A^T x = b. */
  const IWORD mode_a = 1, mode_at = 2;
  multiply(&a, xt, b, 0);
  for (int i = 0; i < N; ++i) x[i] = b[i];
  ORVK_MA28CD(&n, entval, &licn, colnum, lukeep, x, rwork, &mode_a);
  double r = residual(&a, x, b, 0, xt, &err);
  rmax = fmax(rmax, r);
  emax = fmax(emax, err);
  printf("  solve A x = b   (ORVK_MA28CD): residual %.2e, error %.2e\n", r, err);
  multiply(&a, xt, b, 1);
  for (int i = 0; i < N; ++i) x[i] = b[i];
  ORVK_MA28CD(&n, entval, &licn, colnum, lukeep, x, rwork, &mode_at);
  r = residual(&a, x, b, 1, xt, &err);
  rmax = fmax(rmax, r);
  emax = fmax(emax, err);
  printf("  solve A^T x = b (ORVK_MA28CD): residual %.2e, error %.2e\n", r, err);

  /* New flow rate: the same pattern with new values, on the kept pivots. */
  operator(&a, 20.0);
  IDX16 newrow[NZMAX], newcol[NZMAX], intwrk_b[11 * N];
  for (IWORD k = 0; k < nz; ++k) {
    entval[k] = a.val[k];
    newrow[k] = a.row[k];
    newcol[k] = a.col[k];
  }
  ORVK_MA28BD(&n, &nz, entval, &licn, newrow, newcol, colnum, lukeep, intwrk_b, rwork, &istat);
  if (istat < 0) {
    printf("ORVK_MA28BD failed: ISTAT = %ld\n", (long)istat);
    return 1;
  }
  printf("\nrefactor, Peclet 5 -> 20 (ORVK_MA28BD): ISTAT %ld, ", (long)istat);
  if (istat == 0)
    printf("no pivot ratio below %g\n", ORVK_MA28FD.SMLPIV);
  else
    printf("smallest pivot ratio %.3g in row %ld\n", ORVK_MA28FD.MINPIV, (long)istat);
  multiply(&a, xt, b, 0);
  for (int i = 0; i < N; ++i) x[i] = b[i];
  ORVK_MA28CD(&n, entval, &licn, colnum, lukeep, x, rwork, &mode_a);
  r = residual(&a, x, b, 0, xt, &err);
  rmax = fmax(rmax, r);
  emax = fmax(emax, err);
  printf("  solve A x = b   (ORVK_MA28CD): residual %.2e, error %.2e\n", r, err);

  free(entval);
  free(colnum);
  free(rownum);
  const int ok = rmax < 1e-14 && emax < 1e-10;
  printf("\ncheck: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
