// Packed lower triangle of A A^T for a compressed-row matrix.
#include "kernels/sparse.hpp"

/* AP := the lower triangle of A A^T, packed by rows.
 *
 *   IA   in  IWORD  row pointers, size N+1
 *   JA   in  IWORD  column numbers (any order; a repeated column contributes
 *                   once per matching pair)
 *   A    in  real   values
 *   N    in  IWORD  number of rows
 *   AP   out real   size N(N+1)/2: AP(I(I-1)/2 + J) = sum over the entries k of
 *                   row I and l of row J with JA(k) = JA(l) of A(k) A(l), J <= I
 *
 * Cost: O(sum over row pairs of the product of their lengths); meant for
 * small and moderate matrices. */
extern "C" ORVK_API void ORVK_SMMTRN(const IWORD* IA, const IWORD* JA, const double* A,
                                     const IWORD* N, double* AP) {
  const IWORD n = *N;
  if (n < 1) return;
  for (IWORD p = 0; p < n * (n + 1) / 2; ++p) AP[p] = 0.0;
  for (IWORD i = 1; i <= n; ++i) {
    for (IWORD j = 1; j <= i; ++j) {
      double s = 0.0;
      for (IWORD k = IA[i - 1]; k < IA[i]; ++k) {
        const IWORD c = JA[k - 1];
        const double ak = A[k - 1];
        for (IWORD l = IA[j - 1]; l < IA[j]; ++l)
          if (JA[l - 1] == c) s += ak * A[l - 1];
      }
      AP[i * (i - 1) / 2 + j - 1] = s;
    }
  }
}
