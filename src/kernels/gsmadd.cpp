// Sum of two compressed-row matrices with a marker vector (GSMADD).
#include "kernels/sparse.hpp"

namespace orvika {

void GSMADD(IWORD UNIT, IWORD N, IWORD NCOL, const IWORD* IA, const IWORD* JA, const double* A,
            const IWORD* IB, const IWORD* JB, const double* B, IWORD LENJC, IWORD* IC,
            IWORD* JC, double* C, IWORD LENX, IWORD* IX, double* X, IWORD& IERR) {
  if (N < 0) return;
  // The marker and accumulator are indexed by column: every column of both
  // inputs must lie within the part of IX and X that is cleared here.
  const IWORD lim = NCOL < LENX ? NCOL : LENX;
  for (IWORD c = 1; c <= lim; ++c) IX[c - 1] = 0;

  // Symbolic pass: row i of C is A's columns, then B's columns not yet
  // marked with i.  Positions from LENJC on are counted, not stored.
  IWORD p = 1;
  for (IWORD i = 1; i <= N; ++i) {
    IC[i - 1] = p;
    for (IWORD k = IA[i - 1]; k < IA[i]; ++k)
      if (JA[k - 1] < 1 || JA[k - 1] > lim) goto short_x;
    for (IWORD k = IB[i - 1]; k < IB[i]; ++k)
      if (JB[k - 1] < 1 || JB[k - 1] > lim) goto short_x;
    for (IWORD k = IA[i - 1]; k < IA[i]; ++k) {
      const IWORD c = JA[k - 1];
      if (p < LENJC) JC[p - 1] = c;
      IX[c - 1] = i;
      ++p;
    }
    for (IWORD k = IB[i - 1]; k < IB[i]; ++k) {
      const IWORD c = JB[k - 1];
      if (IX[c - 1] == i) continue;
      if (p < LENJC) JC[p - 1] = c;
      ++p;
    }
  }
  IC[N] = p;
  if (p > LENJC) {
    sparse_detail::overflow_warning(UNIT, "WARNING: LENGTH OF JC IS EXCEEDED IN GSMADD");
    IERR = 1;
    return;
  }

  // Numeric pass.
  for (IWORD i = 1; i <= N; ++i) {
    for (IWORD q = IC[i - 1]; q < IC[i]; ++q) X[JC[q - 1] - 1] = 0.0;
    for (IWORD k = IA[i - 1]; k < IA[i]; ++k) X[JA[k - 1] - 1] = A[k - 1];
    for (IWORD k = IB[i - 1]; k < IB[i]; ++k) X[JB[k - 1] - 1] += B[k - 1];
    for (IWORD q = IC[i - 1]; q < IC[i]; ++q) C[q - 1] = X[JC[q - 1] - 1];
  }
  return;

short_x:
  sparse_detail::overflow_warning(UNIT, "WARNING: LENGTH OF IX,X IS EXCEEDED IN GSMADD");
  IERR = 1;
}

}  // namespace orvika
