// Matrix inverse by Gauss-Jordan elimination with complete pivoting on the
// matrix extended by the identity.

#include <cmath>

#include "kernels/dense.hpp"

using namespace orvika;

/* ORVK_INVERT: AINV = A^-1 by Gauss-Jordan elimination with complete
 * pivoting on AUG = [A | I].
 *   A      in   real(LDA,N)    matrix; read once, before anything is written
 *   N      in   IWORD          order
 *   AINV   out  real(LDA,N)    the inverse (all zeros after a failure); may be A
 *   IERR   out  IWORD          0 = inverted; q = the pivot of some step, in
 *                              column q, had magnitude <= TOL; 1 = no nonzero
 *                              element remained at some step; -10 = LDA < N
 *   IR, IC out  IWORD(N)       row and column of the pivot of each step
 *   AUG    work real(LDA,2N)   extended matrix, reduced in place
 *   PIV    out  real(N)        pivot of each step, including a failing one
 *   WORK   work real(LDA,2N)   on success the identity in columns 1..N and the
 *                              inverse in columns N+1..2N
 *   LDA    in   IWORD          leading dimension of A, AINV, AUG and WORK, >= N
 *   SPARE  -                   not referenced
 *   TOL    in   real           absolute pivot tolerance
 * N < 1 returns IERR = 0.  Cost: about 4N^3 flops (O(N^3) pivot searches). */
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
  const IWORD n2 = 2 * n;
  auto aug = [AUG, lda](IWORD i, IWORD j) -> double& { return AUG[(i - 1) + (j - 1) * lda]; };
  auto work = [WORK, lda](IWORD i, IWORD j) -> double& { return WORK[(i - 1) + (j - 1) * lda]; };

  for (IWORD j = 1; j <= n; ++j) {
    for (IWORD i = 1; i <= n; ++i) aug(i, j) = A[(i - 1) + (j - 1) * lda];
    for (IWORD i = 1; i <= n; ++i) aug(i, n + j) = (i == j) ? 1.0 : 0.0;
  }
  for (IWORD j = 1; j <= n; ++j)
    for (IWORD i = 1; i <= n; ++i) AINV[(i - 1) + (j - 1) * lda] = 0.0;

  // The rows of WORK are rebuilt from AUG at the end; until then its first
  // two columns mark the rows and columns already used as pivots.
  double* row_used = &work(1, 1);
  double* col_used = &work(1, 2);
  for (IWORD i = 0; i < n; ++i) row_used[i] = col_used[i] = 0.0;

  for (IWORD i = 1; i <= n; ++i) {
    // Largest remaining |AUG(r,c)|; among equal magnitudes the first pair in
    // row-by-row order wins.  Columns are scanned in storage order.
    IWORD p = 1, q = 1;
    double best = 0.0;
    for (IWORD c = 1; c <= n; ++c) {
      if (col_used[c - 1] != 0.0) continue;
      const double* cc = &aug(1, c);
      for (IWORD r = 1; r <= n; ++r) {
        if (row_used[r - 1] != 0.0) continue;
        const double v = std::fabs(cc[r - 1]);
        if (v > best || (v == best && best > 0.0 && r < p)) {
          best = v;
          p = r;
          q = c;
        }
      }
    }
    IR[i - 1] = p;
    IC[i - 1] = q;
    if (!(best > 0.0)) {
      PIV[i - 1] = 0.0;
      *IERR = 1;
      return;
    }
    const double piv = aug(p, q);
    PIV[i - 1] = piv;
    if (std::fabs(piv) <= tol) {
      *IERR = q;
      return;
    }
    row_used[p - 1] = col_used[q - 1] = 1.0;

    for (IWORD c = 1; c <= n2; ++c) aug(p, c) /= piv;
    // AUG(r,c) -= AUG(r,q)*AUG(p,c) for every row r != p, from the values
    // before this update: column q, which holds the factors, goes last.
    const double* cq = &aug(1, q);
    for (IWORD c = 1; c <= n2; ++c) {
      if (c == q) continue;
      double* cc = &aug(1, c);
      const double apc = cc[p - 1];
      for (IWORD r = 0; r < p - 1; ++r) cc[r] -= cq[r] * apc;
      for (IWORD r = p; r < n; ++r) cc[r] -= cq[r] * apc;
    }
    double* cqw = &aug(1, q);
    const double apq = cqw[p - 1];
    for (IWORD r = 0; r < p - 1; ++r) cqw[r] -= cqw[r] * apq;
    for (IWORD r = p; r < n; ++r) cqw[r] -= cqw[r] * apq;
  }

  // Row IC(j) of WORK = row IR(j) of AUG.
  for (IWORD c = 1; c <= n2; ++c)
    for (IWORD j = 1; j <= n; ++j) work(IC[j - 1], c) = aug(IR[j - 1], c);
  for (IWORD k = 1; k <= n; ++k)
    for (IWORD i = 1; i <= n; ++i) AINV[(i - 1) + (k - 1) * lda] = work(i, n + k);
  *IERR = 0;
}
