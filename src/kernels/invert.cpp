// Matrix inverse by Gauss-Jordan elimination with complete pivoting on the
// matrix extended by the identity.
//
// Only the left half is searched for pivots, so only it is reduced step by
// step (the search for the next pivot riding along with the reduction of
// each free column); the pivot column of every step is kept, and the right
// half receives all steps at the end in groups of steps and columns, every
// element seeing exactly the operations of the plain step-by-step order.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "frame/views.hpp"
#include "kernels/dense.hpp"

using namespace orvika;

namespace {

// Two doubles in one vector register; each lane sees the scalar operations.
typedef double V2 __attribute__((vector_size(16)));

inline V2 load2(const double* p) {
  V2 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store2(double* p, V2 v) { std::memcpy(p, &v, sizeof v); }
typedef long long I2 __attribute__((vector_size(16)));
inline I2 bits(V2 v) { return reinterpret_cast<I2>(v); }  // a vector cast: the same 16 bytes
inline V2 real(I2 v) { return reinterpret_cast<V2>(v); }

// X(r) -= F(r)*T for the rows r = 0..N-1 other than P (0-based).
inline void update_column(double* __restrict x, const double* __restrict f, double t, IWORD n,
                          IWORD p) {
  for (IWORD r = 0; r < p; ++r) x[r] -= f[r] * t;
  for (IWORD r = p + 1; r < n; ++r) x[r] -= f[r] * t;
}

// The largest |X(r)| over the rows not marked in USED (0.0 = free); a NaN
// never counts.  0 when no free row holds a nonzero.
inline double free_max(const double* x, const double* used, IWORD n) {
  const V2 zero = {0.0, 0.0};
  const I2 mag = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
  V2 m0 = zero, m1 = zero;
  IWORD r = 0;
  for (; r + 4 <= n; r += 4) {
    // |x| by clearing the sign bit, +0 on the used rows.
    const I2 a0 = (bits(load2(x + r)) & mag) & (load2(used + r) == zero);
    const I2 a1 = (bits(load2(x + r + 2)) & mag) & (load2(used + r + 2) == zero);
    m0 = real(a0) > m0 ? real(a0) : m0;
    m1 = real(a1) > m1 ? real(a1) : m1;
  }
  double m = 0.0;
  for (int k = 0; k < 2; ++k) {
    if (m0[k] > m) m = m0[k];
    if (m1[k] > m) m = m1[k];
  }
  for (; r < n; ++r) {
    const double v = std::fabs(x[r]);
    if (used[r] == 0.0 && v > m) m = v;
  }
  return m;
}

// Steps I0..I1 (1-based) of the elimination applied to the KC <= 4 columns
// COLS of AUG whose earlier steps are all done: per element the
// same operations in the same order as the step-by-step elimination (the
// pivot row divided by the pivot, every other row reduced by the saved
// pivot column times the new pivot-row value), grouped so that the saved
// columns are reused from cache.  The saved pivot column of step i is at
// F0 + (i-1)*LDA.
constexpr int kCols = 4, kSteps = 8;

void apply_steps(double* aug, IWORD lda, IWORD n, const IWORD* cols, int kc, IWORD i0, IWORD i1,
                 const IWORD* IR, const double* PIV, const double* F0) {
  Vec1<const IWORD> ir(IR);
  Vec1<const double> pivots(PIV);
  double t[kSteps][kCols];
  double keep[kSteps][kCols];
  double* col[kCols];
  for (int j = 0; j < kc; ++j) col[j] = aug + (cols[j] - 1) * lda;
  for (IWORD b0 = i0; b0 <= i1; b0 += kSteps) {
    const int ks = static_cast<int>(std::min<IWORD>(kSteps, i1 - b0 + 1));
    {
      // The group's pivot rows, step by step.
      for (int s = 0; s < ks; ++s) {
        const IWORD p = ir(b0 + s) - 1;
        const double piv = pivots(b0 + s);
        const double* f = F0 + (b0 + s - 1) * lda;
        for (int j = 0; j < kc; ++j) {
          t[s][j] = col[j][p] / piv;
          col[j][p] = t[s][j];
        }
        for (int u = 0; u < ks; ++u) {
          if (u == s) continue;
          const IWORD r = ir(b0 + u) - 1;
          const double fr = f[r];
          for (int j = 0; j < kc; ++j) col[j][r] -= fr * t[s][j];
        }
      }
      for (int s = 0; s < ks; ++s)
        for (int j = 0; j < kc; ++j) keep[s][j] = col[j][ir(b0 + s) - 1];
      // Every row: the group's steps in order (the pivot rows are put back
      // afterwards, their values being final already).
      const double* f[kSteps];
      for (int s = 0; s < ks; ++s) f[s] = F0 + (b0 + s - 1) * lda;
      IWORD r = 0;
      if (kc == kCols) {
        for (; r + 2 <= n; r += 2) {
          V2 x0 = load2(col[0] + r), x1 = load2(col[1] + r), x2 = load2(col[2] + r),
             x3 = load2(col[3] + r);
          for (int s = 0; s < ks; ++s) {
            const V2 fs = load2(f[s] + r);
            x0 = x0 - fs * t[s][0];
            x1 = x1 - fs * t[s][1];
            x2 = x2 - fs * t[s][2];
            x3 = x3 - fs * t[s][3];
          }
          store2(col[0] + r, x0);
          store2(col[1] + r, x1);
          store2(col[2] + r, x2);
          store2(col[3] + r, x3);
        }
      }
      for (; r < n; ++r)
        for (int j = 0; j < kc; ++j) {
          double x = col[j][r];
          for (int s = 0; s < ks; ++s) x -= f[s][r] * t[s][j];
          col[j][r] = x;
        }
      for (int s = 0; s < ks; ++s)
        for (int j = 0; j < kc; ++j) col[j][ir(b0 + s) - 1] = keep[s][j];
    }
  }
}

}  // namespace

/* ORVK_INVERT: AINV = A^-1 by Gauss-Jordan elimination with complete
 * pivoting on AUG = [A | I].
 *   A      in   real(LDA,N)    matrix; read once, before anything is written
 *   N      in   IWORD          order
 *   AINV   out  real(LDA,N)    the inverse (all zeros after a failure); may be A
 *   IERR   out  IWORD          0 = inverted; q = the pivot of some step, in
 *                              column q, had magnitude <= TOL or was not
 *                              finite; 1 = no nonzero
 *                              element remained at some step; -10 = LDA < N
 *   IR, IC out  IWORD(N)       row and column of the pivot of each step
 *   AUG    work real(LDA,2N)   extended matrix, reduced in place
 *   PIV    out  real(N)        pivot of each step, including a failing one
 *   WORK   work real(LDA,2N)   on success the identity in columns 1..N and the
 *                              inverse in columns N+1..2N; after a failure
 *                              column 2+i holds the pivot column of step i
 *   LDA    in   IWORD          leading dimension of A, AINV, AUG and WORK, >= N
 *   SPARE  -                   not referenced
 *   TOL    in   real           absolute pivot tolerance
 * N < 1 returns IERR = 0.  Cost: about 4N^3 flops and N^3/3 comparisons. */
extern "C" ORVK_API void ORVK_INVERT(const double* A, const IWORD* N, double* AINV, IWORD* IERR,
                                     IWORD* IR, IWORD* IC, double* AUG, double* PIV, double* WORK,
                                     const IWORD* LDA, void* SPARE, const double* TOL) {
  const IWORD n = *N, lda = *LDA;
  if (n < 1) {
    *IERR = 0;
    return;
  }
  if (lda < n) {
    *IERR = -10;
    return;
  }
  const double tol = *TOL;
  const Mat1<const double> a(A, lda);
  const Mat1<double> ainv(AINV, lda), aug(AUG, lda), work(WORK, lda);
  const Vec1<IWORD> ir(IR), ic(IC);
  const Vec1<double> pivots(PIV);

  for (IWORD j = 1; j <= n; ++j) {
    for (IWORD i = 1; i <= n; ++i) aug(i, j) = a(i, j);
    for (IWORD i = 1; i <= n; ++i) aug(i, n + j) = (i == j) ? 1.0 : 0.0;
  }
  for (IWORD j = 1; j <= n; ++j)
    for (IWORD i = 1; i <= n; ++i) ainv(i, j) = 0.0;

  // Until the rows of WORK are rebuilt from AUG at the end, its first two
  // columns mark the rows and columns already used as pivots, and column
  // 2+i keeps the pivot column of step i as it was before the step (with
  // N = 1 that column has no row to reduce and stays local).
  double* row_used = work.col(1);  // raw for the search kernels, 0-based
  double* col_used = work.col(2);
  const Vec1<double> used_rows(row_used), used_cols(col_used);
  for (IWORD i = 0; i < n; ++i) row_used[i] = col_used[i] = 0.0;
  double one_col[1] = {0.0};
  double* const F0 = n >= 2 ? work.col(3) : one_col;

  // The right half (the columns of the identity) is never searched: its
  // steps are applied in groups after the last step, or before a failure
  // is reported, each element seeing the same operations in the same order.
  // So are the left columns once they have been pivot columns: the pivot
  // column of step j receives steps j+1.. there.
  auto finish = [&](IWORD steps) {
    IWORD cols[kCols];
    for (IWORD c0 = n + 1; c0 <= 2 * n && steps >= 1; c0 += kCols) {
      const int kc = static_cast<int>(std::min<IWORD>(kCols, 2 * n - c0 + 1));
      for (int j = 0; j < kc; ++j) cols[j] = c0 + j;
      apply_steps(AUG, lda, n, cols, kc, 1, steps, IR, PIV, F0);
    }
    for (IWORD j0 = 1; j0 < steps; j0 += kCols) {
      const IWORD j1 = std::min<IWORD>(j0 + kCols - 1, steps);
      // Up to a common first step, one column at a time.
      for (IWORD j = j0; j <= j1; ++j) {
        cols[j - j0] = ic(j);
        if (j + 1 <= j1) apply_steps(AUG, lda, n, &cols[j - j0], 1, j + 1, j1, IR, PIV, F0);
      }
      if (j1 + 1 <= steps)
        apply_steps(AUG, lda, n, cols, static_cast<int>(j1 - j0 + 1), j1 + 1, steps, IR, PIV, F0);
    }
  };

  // Largest remaining |AUG(r,c)|; among equal magnitudes the first pair in
  // row-by-row order wins: by columns in storage order, a column's largest
  // replaces the best so far when larger, or when equal (and nonzero) with
  // its first row above the best's row.
  IWORD p = 1, q = 1;
  double best = 0.0;
  auto consider = [&](IWORD c, const double* cc) {
    const double m = free_max(cc, row_used, n);
    if (!(m > best) && !(m == best && best > 0.0)) return;
    IWORD r = 0;
    while (!(row_used[r] == 0.0 && std::fabs(cc[r]) == m)) ++r;
    if (m > best || r + 1 < p) {
      best = m;
      p = r + 1;
      q = c;
    }
  };
  for (IWORD c = 1; c <= n; ++c) consider(c, &aug(1, c));

  for (IWORD i = 1; i <= n; ++i) {
    ir(i) = p;
    ic(i) = q;
    if (!(best > 0.0)) {
      pivots(i) = 0.0;
      finish(i - 1);
      *IERR = 1;
      return;
    }
    const double piv = aug(p, q);
    pivots(i) = piv;
    // An infinite pivot (an infinite element, or one grown out of range)
    // leaves no usable inverse: it fails like a pivot within the tolerance.
    if (std::fabs(piv) <= tol || !std::isfinite(piv)) {
      finish(i - 1);
      *IERR = q;
      return;
    }
    used_rows(p) = used_cols(q) = 1.0;
    const IWORD pp = p, qq = q;

    // The pivot column before the step, then the left columns: the pivot
    // row divided by the pivot, the other rows reduced by the pivot column
    // times the new pivot-row value; the next step's search over the
    // columns still free, each as soon as it is reduced.
    double* f = F0 + (i - 1) * lda;
    const double* cq = &aug(1, qq);
    if (n >= 2)
      for (IWORD r = 0; r < n; ++r) f[r] = cq[r];
    p = 1;
    q = 1;
    best = 0.0;
    for (IWORD c = 1; c <= n; ++c) {
      if (used_cols(c) != 0.0) continue;  // the pivot column and earlier ones
      double* cc = aug.col(c);
      const double apc = aug(pp, c) / piv;
      aug(pp, c) = apc;
      update_column(cc, f, apc, n, pp - 1);
      consider(c, cc);
    }
    // The pivot column last, from its own values.
    const Vec1<double> cqw(aug.col(qq));
    const double apq = cqw(pp) / piv;
    cqw(pp) = apq;
    for (IWORD r = 1; r < pp; ++r) cqw(r) -= cqw(r) * apq;
    for (IWORD r = pp + 1; r <= n; ++r) cqw(r) -= cqw(r) * apq;
  }
  finish(n);

  // Row IC(j) of WORK = row IR(j) of AUG.
  for (IWORD c = 1; c <= 2 * n; ++c)
    for (IWORD j = 1; j <= n; ++j) work(ic(j), c) = aug(ir(j), c);
  for (IWORD k = 1; k <= n; ++k)
    for (IWORD i = 1; i <= n; ++i) ainv(i, k) = work(i, n + k);
  *IERR = 0;
}
