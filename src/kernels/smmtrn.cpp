// Packed lower triangle of A A^T for a compressed-row matrix.
#include "frame/views.hpp"
#include "kernels/sparse.hpp"

using orvika::Vec1;

/* AP := the lower triangle of A A^T, packed by rows.
 *
 *   IA   in  IWORD  row pointers, size N+1 (positions below 1 are left out)
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
  Vec1<const IWORD> ia(IA), ja(JA);
  Vec1<const double> a(A);
  Vec1<double> ap(AP);
  const IWORD n = *N;
  if (n < 1) return;
  for (IWORD p = 1; p <= n * (n + 1) / 2; ++p) ap(p) = 0.0;
  // First position of row R: positions below 1 lie outside the entry
  // arrays and take no part.
  auto first = [ia](IWORD r) { return ia(r) < 1 ? IWORD{1} : ia(r); };
  for (IWORD i = 1; i <= n; ++i) {
    for (IWORD j = 1; j <= i; ++j) {
      double s = 0.0;
      for (IWORD k = first(i); k < ia(i + 1); ++k) {
        const IWORD c = ja(k);
        const double ak = a(k);
        for (IWORD l = first(j); l < ia(j + 1); ++l)
          if (ja(l) == c) s += ak * a(l);
      }
      ap(i * (i - 1) / 2 + j) = s;
    }
  }
}
