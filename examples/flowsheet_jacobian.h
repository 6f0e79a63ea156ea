/* A generated flowsheet Jacobian, the matrix a process simulator hands to
 * its sparse solver.
 *
 * Units in sequence: each unit holds 4-24 equations whose own block is
 * 60 % dense with a dominant diagonal, is fed by 1-3 upstream units (each
 * equation sees 1-3 of a feeding unit's last variables, its outlet
 * stream), and 5 % of the units take a recycle from a unit further
 * downstream.  The rows of each unit are permuted inside the unit, as a
 * simulator's equation order leaves them.  The triplets come sorted by row
 * and column, without repeats.  Deterministic for a given order and seed.
 *
 * Header-only C (also valid C++), shared by the examples and benchmarks. */
#ifndef ORVIKA_EXAMPLES_FLOWSHEET_JACOBIAN_H
#define ORVIKA_EXAMPLES_FLOWSHEET_JACOBIAN_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  long n, nz;
  long *r, *c; /* 1-based */
  double* v;
} fs_matrix;

typedef struct {
  uint64_t s;
} fs_rng;

static inline double fs_next(fs_rng* g) {
  g->s = g->s * 6364136223846793005ULL + 1442695040888963407ULL;
  return (double)(g->s >> 11) * 0x1.0p-53;
}
static inline long fs_below(fs_rng* g, long n) { return (long)(fs_next(g) * (double)n); }
static inline long fs_min(long a, long b) { return a < b ? a : b; }

static inline int fs_cmp(const long* r, const long* c, long a, long b) {
  if (r[a] != r[b]) return r[a] < r[b] ? -1 : 1;
  if (c[a] != c[b]) return c[a] < c[b] ? -1 : 1;
  return a < b ? -1 : (a > b);
}

/* Stable merge sort of the index list P[0..n) by (row, column). */
static inline void fs_sort(const long* r, const long* c, long* p, long* tmp, long n) {
  long width, lo;
  for (width = 1; width < n; width *= 2) {
    for (lo = 0; lo < n; lo += 2 * width) {
      long mid = fs_min(lo + width, n), hi = fs_min(lo + 2 * width, n), i = lo, j = mid, k = lo;
      while (i < mid && j < hi) tmp[k++] = fs_cmp(r, c, p[j], p[i]) < 0 ? p[j++] : p[i++];
      while (i < mid) tmp[k++] = p[i++];
      while (j < hi) tmp[k++] = p[j++];
    }
    memcpy(p, tmp, sizeof(long) * (size_t)n);
  }
}

static inline void fs_free(fs_matrix* m) {
  free(m->r);
  free(m->c);
  free(m->v);
  m->r = m->c = NULL;
  m->v = NULL;
  m->n = m->nz = 0;
}

/* Fills M with the flowsheet Jacobian of order N (N >= 1); returns 0 when
 * memory runs out (M is then empty). */
static inline int fs_generate(fs_matrix* m, long n, uint64_t seed) {
  fs_rng g;
  long units = 0, at, u, cap, nz = 0, k, q;
  long *first, *size, *perm, *p, *tmp, *r, *c;
  double* v;
  g.s = (seed + (uint64_t)n) * 0x9E3779B97F4A7C15ULL + 12345;
  m->n = n;
  m->nz = 0;
  m->r = m->c = NULL;
  m->v = NULL;
  first = (long*)malloc(sizeof(long) * (size_t)(n / 4 + 2));
  size = (long*)malloc(sizeof(long) * (size_t)(n / 4 + 2));
  perm = (long*)malloc(sizeof(long) * 24);
  /* Each row holds at most 24 own entries and 3 from each of 4 sources. */
  cap = 36 * n;
  r = (long*)malloc(sizeof(long) * (size_t)cap);
  c = (long*)malloc(sizeof(long) * (size_t)cap);
  v = (double*)malloc(sizeof(double) * (size_t)cap);
  if (!first || !size || !perm || !r || !c || !v) goto fail;
  for (at = 1; at <= n;) {
    long s = fs_min(4 + fs_below(&g, 21), n - at + 1);
    first[units] = at;
    size[units++] = s;
    at += s;
  }
  for (u = 0; u < units; ++u) {
    long f = first[u], s = size[u], feeds[4], nfeed, nf = 0, i, j, t;
    for (k = 0; k < s; ++k) perm[k] = k;
    for (k = s - 1; k > 0; --k) {
      long o = fs_below(&g, k + 1), x = perm[k];
      perm[k] = perm[o];
      perm[o] = x;
    }
    nfeed = fs_min(u, 1 + fs_below(&g, 3));
    for (k = 0; k < nfeed; ++k) feeds[nf++] = u - 1 - fs_below(&g, fs_min(u, 8));
    if (u + 1 < units && fs_next(&g) < 0.05) feeds[nf++] = u + 1 + fs_below(&g, fs_min(units - u - 1, 40));
    for (i = 0; i < s; ++i) {
      long row = f + perm[i];
      for (j = 0; j < s; ++j)
        if (i == j || fs_next(&g) < 0.6) {
          r[nz] = row;
          c[nz] = f + j;
          v[nz++] = i == j ? 2.0 + (double)s * (0.5 + fs_next(&g)) : fs_next(&g) - 0.5;
        }
      for (q = 0; q < nf; ++q) {
        long src = feeds[q], cnt = 1 + fs_below(&g, 3);
        for (t = 0; t < cnt && t < size[src]; ++t) {
          r[nz] = row;
          c[nz] = first[src] + size[src] - 1 - t;
          v[nz++] = -0.3 * fs_next(&g);
        }
      }
    }
  }
  /* Sort by (row, column) and keep the first of repeated pairs. */
  p = (long*)malloc(sizeof(long) * (size_t)nz);
  tmp = (long*)malloc(sizeof(long) * (size_t)nz);
  m->r = (long*)malloc(sizeof(long) * (size_t)nz);
  m->c = (long*)malloc(sizeof(long) * (size_t)nz);
  m->v = (double*)malloc(sizeof(double) * (size_t)nz);
  if (!p || !tmp || !m->r || !m->c || !m->v) {
    free(p);
    free(tmp);
    goto fail;
  }
  for (k = 0; k < nz; ++k) p[k] = k;
  fs_sort(r, c, p, tmp, nz);
  for (q = 0; q < nz; ++q) {
    k = p[q];
    if (q > 0 && r[p[q - 1]] == r[k] && c[p[q - 1]] == c[k]) continue;
    m->r[m->nz] = r[k];
    m->c[m->nz] = c[k];
    m->v[m->nz++] = v[k];
  }
  free(p);
  free(tmp);
  free(first);
  free(size);
  free(perm);
  free(r);
  free(c);
  free(v);
  return 1;
fail:
  free(first);
  free(size);
  free(perm);
  free(r);
  free(c);
  free(v);
  fs_free(m);
  return 0;
}

#endif
