// Dense matrix product P = A*B.

#include "kernels/dense.hpp"

/* ORVK_MC01AD: P = A*B.
 *   A    in  real(LDA,K)  left factor, M x K
 *   B    in  real(LDB,N)  right factor, K x N
 *   P    out real(LDP,N)  product, M x N; must not share storage with A or B
 *   M    in  IWORD        rows of A and P
 *   K    in  IWORD        columns of A, rows of B (K <= 0 gives P = 0)
 *   N    in  IWORD        columns of B and P
 *   LDA, LDB, LDP  in IWORD  leading dimensions, LDA >= M, LDB >= K, LDP >= M
 * Nothing is written when M <= 0, N <= 0 or a leading dimension is too
 * small.  Cost: 2MNK flops. */
extern "C" ORVK_API void ORVK_MC01AD(const double* A, const double* B, double* P, const IWORD* M,
                                     const IWORD* K, const IWORD* N, const IWORD* LDA,
                                     const IWORD* LDB, const IWORD* LDP) {
  const IWORD m = *M, k = *K, n = *N, lda = *LDA, ldb = *LDB, ldp = *LDP;
  if (m <= 0 || n <= 0) return;
  if (lda < m || (k > 0 && ldb < k) || ldp < m) return;
  for (IWORD j = 0; j < n; ++j) {
    double* pj = P + j * ldp;
    for (IWORD i = 0; i < m; ++i) pj[i] = 0.0;
    for (IWORD l = 0; l < k; ++l) {
      const double blj = B[l + j * ldb];
      const double* al = A + l * lda;
      for (IWORD i = 0; i < m; ++i) pj[i] += al[i] * blj;
    }
  }
}
