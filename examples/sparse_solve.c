/* Solves a sparse linear system with ORVK_CONTRL.
 *
 *   sparse_solve [N]            a generated flowsheet Jacobian of order N
 *                               (default 3000)
 *   sparse_solve --grid M       convection-diffusion on an M x M grid
 *   sparse_solve file.mtx       a Matrix Market file (coordinate, real,
 *                               general)
 *
 * The system A x = b is solved for b = A * (1, 1, ..., 1).  The program
 * factors (method 5, ordering 4, equilibration), then refactors new values
 * with the kept ordering (ORDOPT 6) and re-solves with the kept factors
 * (METHOD 6), and prints for each phase the time, the relative residual and
 * the work space used. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "flowsheet_jacobian.h"
#include "orvika/sparselu.h"

typedef struct {
  IWORD n, nz;
  IWORD *r, *c; /* 1-based */
  double* v;
} coo;

static int coo_add(coo* a, IWORD cap, IWORD i, IWORD j, double v) {
  if (a->nz >= cap) return 0;
  a->r[a->nz] = i;
  a->c[a->nz] = j;
  a->v[a->nz] = v;
  a->nz++;
  return 1;
}

static int coo_alloc(coo* a, IWORD n, IWORD cap) {
  a->n = n;
  a->nz = 0;
  a->r = malloc(sizeof(IWORD) * (size_t)cap);
  a->c = malloc(sizeof(IWORD) * (size_t)cap);
  a->v = malloc(sizeof(double) * (size_t)cap);
  return a->r && a->c && a->v;
}

/* 5-point convection-diffusion on an m x m grid, upwind convection. */
static int generate(coo* a, IWORD m) {
  const double peclet = 5.0;
  IWORD i, j, cap = 5 * m * m;
  if (!coo_alloc(a, m * m, cap)) return 0;
  for (j = 1; j <= m; ++j)
    for (i = 1; i <= m; ++i) {
      IWORD k = (j - 1) * m + i;
      coo_add(a, cap, k, k, 4.0 + peclet);
      if (i > 1) coo_add(a, cap, k, k - 1, -1.0 - peclet);
      if (i < m) coo_add(a, cap, k, k + 1, -1.0);
      if (j > 1) coo_add(a, cap, k, k - m, -1.0);
      if (j < m) coo_add(a, cap, k, k + m, -1.0);
    }
  return 1;
}

static int flowsheet(coo* a, IWORD n) {
  fs_matrix m;
  IWORD k;
  if (!fs_generate(&m, (long)n, 1) || !coo_alloc(a, n, m.nz)) return 0;
  for (k = 0; k < m.nz; ++k) coo_add(a, m.nz, m.r[k], m.c[k], m.v[k]);
  fs_free(&m);
  return 1;
}

static int read_mtx(const char* file, coo* a) {
  char line[512];
  long nr, nc, nnz, k;
  FILE* f = fopen(file, "r");
  if (!f) return 0;
  if (!fgets(line, sizeof line, f) || strncmp(line, "%%MatrixMarket", 14) != 0 ||
      !strstr(line, "coordinate") || strstr(line, "symmetric") || strstr(line, "pattern")) {
    fclose(f);
    return 0;
  }
  do {
    if (!fgets(line, sizeof line, f)) {
      fclose(f);
      return 0;
    }
  } while (line[0] == '%');
  if (sscanf(line, "%ld %ld %ld", &nr, &nc, &nnz) != 3 || nr != nc || !coo_alloc(a, nr, nnz)) {
    fclose(f);
    return 0;
  }
  for (k = 0; k < nnz; ++k) {
    long i, j;
    double v;
    if (fscanf(f, "%ld %ld %lf", &i, &j, &v) != 3) break;
    coo_add(a, nnz, i, j, v);
  }
  fclose(f);
  return a->nz == nnz;
}

static double seconds(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

/* ||b - A x||_inf / (||A||_inf ||x||_inf + ||b||_inf) */
static double residual(const coo* a, const double* x, const double* b) {
  double *r = calloc((size_t)a->n, sizeof(double)), *s = calloc((size_t)a->n, sizeof(double));
  double rn = 0, an = 0, xn = 0, bn = 0;
  IWORD k, i;
  for (k = 0; k < a->nz; ++k) {
    r[a->r[k] - 1] += a->v[k] * x[a->c[k] - 1];
    s[a->r[k] - 1] += fabs(a->v[k]);
  }
  for (i = 0; i < a->n; ++i) {
    rn = fmax(rn, fabs(b[i] - r[i]));
    an = fmax(an, s[i]);
    xn = fmax(xn, fabs(x[i]));
    bn = fmax(bn, fabs(b[i]));
  }
  free(r);
  free(s);
  return rn / (an * xn + bn);
}

/* The work space seen as 8-byte words: IWORDs and doubles by their bytes. */
static void put_real(IWORD* w, IWORD q, double v) { memcpy(&w[q - 1], &v, sizeof v); }
static double get_real(const IWORD* w, IWORD q) {
  double v;
  memcpy(&v, &w[q - 1], sizeof v);
  return v;
}

/* One line per phase: time, relative residual and the work space used. */
static void report(const char* phase, double t, const coo* a, const double* x, const double* b, IWORD spende) {
  printf("%-22s %10.3f ms   residual %.2e   work space %ld words (%.1f MiB)\n", phase, 1e3 * t,
         residual(a, x, b), (long)spende, (double)spende * 8.0 / 1048576.0);
}

int main(int argc, char** argv) {
  coo a;
  IWORD n, nz, spende, ierr, k, iv, jv, ia;
  IWORD* w;
  double *b, *x, t0, t_full, t_refactor, t_resolve;

  if (argc > 2 && strcmp(argv[1], "--grid") == 0) {
    IWORD m = atol(argv[2]);
    if (m < 1 || m > 2000 || !generate(&a, m)) {
      fprintf(stderr, "--grid M takes a grid size from 1 to 2000\n");
      return 1;
    }
    printf("matrix: convection-diffusion on a %ld x %ld grid\n", (long)m, (long)m);
  } else if (argc > 1 && strspn(argv[1], "0123456789") == strlen(argv[1])) {
    IWORD order = atol(argv[1]);
    if (order < 1 || order > 10000000 || !flowsheet(&a, order)) {
      fprintf(stderr, "the order must lie from 1 to 10000000\n");
      return 1;
    }
    printf("matrix: flowsheet Jacobian (units of 4-24 equations, recycles)\n");
  } else if (argc > 1) {
    if (!read_mtx(argv[1], &a)) {
      fprintf(stderr, "cannot read %s (coordinate real general Matrix Market expected)\n", argv[1]);
      return 1;
    }
    printf("matrix %s\n", argv[1]);
  } else {
    flowsheet(&a, 3000);
    printf("matrix: flowsheet Jacobian (units of 4-24 equations, recycles)\n");
  }
  n = a.n;
  nz = a.nz;
  printf("n = %ld, nz = %ld\n", (long)n, (long)nz);

  /* Right-hand side for x = 1. */
  b = calloc((size_t)n, sizeof(double));
  x = malloc(sizeof(double) * (size_t)n);
  for (k = 0; k < nz; ++k) b[a.r[k] - 1] += a.v[k];

  /* Options: defaults, then method 5 after ordering 4 with equilibration. */
  ORVK_SPARMI.INTRAT = 1;
  ORVK_INITSP();
  ORVK_SPOPT2.METHOD = 5;
  ORVK_SPOPT2.ORDOPT = 4;
  ORVK_SPOPT2.SCLOPT = 1;
  ORVK_SPOPT2.CBSROW = n;
  ORVK_SPOPT2.MSGUNIT = 0; /* 6 would print the package's messages */
  ORVK_SPOPT1.PIVTL1 = 0.01;
  ORVK_SPOPT1.PIVTL2 = 0.01;
  ORVK_SPOPT4.NRHSMX = 1;
  ORVK_SPOPT4.NRHS = 1;

  /* Work space: B at word 1, the triplets at the end.  Start at 4 times
   * the least size and double it while the factors lack room (-9, -10). */
  spende = 4 * (9 * (n + nz / 4 + (n + (5 * n) / 8 + nz / 2)) + 90 + (9 * (nz + (nz + 2 * n))) / 8);
  for (;;) {
    w = calloc((size_t)spende, sizeof(IWORD));
    if (!w) return 1;
    ia = spende - nz + 1;
    jv = ia - nz;
    iv = jv - nz;
    for (k = 0; k < n; ++k) put_real(w, 1 + k, b[k]);
    for (k = 0; k < nz; ++k) {
      w[iv + k - 1] = a.r[k];
      w[jv + k - 1] = a.c[k];
      put_real(w, ia + k, a.v[k]);
    }
    ORVK_SPOPT2.ORDOPT = 4;
    ORVK_SPOPT2.IB = 1;
    ORVK_SPOPT2.IVECT = iv;
    ORVK_SPOPT2.JVECT = jv;
    ORVK_SPOPT2.IA = ia;

    /* 1. Analyse, factor and solve. */
    t0 = seconds();
    ORVK_CONTRL(w, (double*)w, &spende, &n, &nz, &ierr);
    t_full = seconds() - t0;
    if ((ierr != -9 && ierr != -10) || spende > 64 * (IWORD)1000000) break;
    printf("IERR = %ld with SPENDE = %ld: doubling the work space\n", (long)ierr, (long)spende);
    free(w);
    spende *= 2;
  }
  if (ierr < 0) {
    printf("ORVK_CONTRL failed: IERR = %ld\n", (long)ierr);
    return 1;
  }
  for (k = 0; k < n; ++k) x[k] = get_real(w, ORVK_SPOPT2.X + k);
  report("analyse+factor+solve:", t_full, &a, x, b, spende);

  /* 2. New values on the same pattern, with the kept ordering: the matrix
   * came back sorted by rows at words 15, 16, 20; scale it by 2. */
  for (k = 0; k < nz; ++k) put_real(w, ORVK_SPOPT2.IA + k, 2.0 * get_real(w, ORVK_SPOPT2.IA + k));
  for (k = 0; k < a.nz; ++k) a.v[k] *= 2.0;
  ORVK_SPOPT2.ORDOPT = 6;
  t0 = seconds();
  ORVK_CONTRL(w, (double*)w, &spende, &n, &nz, &ierr);
  t_refactor = seconds() - t0;
  if (ierr < 0) {
    printf("refactor failed: IERR = %ld\n", (long)ierr);
    return 1;
  }
  for (k = 0; k < n; ++k) x[k] = get_real(w, ORVK_SPOPT2.X + k);
  report("refactor (ORDOPT 6):", t_refactor, &a, x, b, spende);

  /* 3. A new right-hand side with the kept factors: b for x = 1 again. */
  for (k = 0; k < n; ++k) b[k] = 0.0;
  for (k = 0; k < nz; ++k) b[a.r[k] - 1] += a.v[k];
  for (k = 0; k < n; ++k) put_real(w, 1 + k, b[k]);
  ORVK_SPOPT2.METHOD = 6;
  t0 = seconds();
  ORVK_CONTRL(w, (double*)w, &spende, &n, &nz, &ierr);
  t_resolve = seconds() - t0;
  if (ierr < 0) {
    printf("re-solve failed: IERR = %ld\n", (long)ierr);
    return 1;
  }
  for (k = 0; k < n; ++k) x[k] = get_real(w, ORVK_SPOPT2.X + k);
  report("re-solve (METHOD 6):", t_resolve, &a, x, b, spende);

  free(w);
  free(b);
  free(x);
  free(a.r);
  free(a.c);
  free(a.v);
  return 0;
}
