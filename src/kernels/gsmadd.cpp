// Sum of two compressed-row matrices with a marker vector (GSMADD).
#include "frame/views.hpp"
#include "kernels/sparse.hpp"

namespace orvika {

void GSMADD(IWORD UNIT, IWORD N, IWORD NCOL, const IWORD* IA, const IWORD* JA, const double* A,
            const IWORD* IB, const IWORD* JB, const double* B, IWORD LENJC, IWORD* IC,
            IWORD* JC, double* C, IWORD LENX, IWORD* IX, double* X, IWORD& IERR) {
  Vec1<const IWORD> ia(IA), ja(JA), ib(IB), jb(JB);
  Vec1<const double> a(A), b(B);
  Vec1<IWORD> ic(IC), jc(JC), ix(IX);
  Vec1<double> cv(C), x(X);
  if (N < 0) return;
  // The marker and accumulator are indexed by column: every column of both
  // inputs must lie within the part of IX and X that is cleared here.
  const IWORD lim = NCOL < LENX ? NCOL : LENX;
  for (IWORD c = 1; c <= lim; ++c) ix(c) = 0;

  // Symbolic pass: row i of C is A's columns, then B's columns not yet
  // marked with i.  Positions from LENJC on are counted, not stored.
  IWORD p = 1;
  for (IWORD i = 1; i <= N; ++i) {
    ic(i) = p;
    for (IWORD k = ia(i); k < ia(i + 1); ++k)
      if (ja(k) < 1 || ja(k) > lim) goto short_x;
    for (IWORD k = ib(i); k < ib(i + 1); ++k)
      if (jb(k) < 1 || jb(k) > lim) goto short_x;
    for (IWORD k = ia(i); k < ia(i + 1); ++k) {
      const IWORD c = ja(k);
      if (p < LENJC) jc(p) = c;
      ix(c) = i;
      ++p;
    }
    for (IWORD k = ib(i); k < ib(i + 1); ++k) {
      const IWORD c = jb(k);
      if (ix(c) == i) continue;
      if (p < LENJC) jc(p) = c;
      ++p;
    }
  }
  ic(N + 1) = p;
  if (p > LENJC) {
    sparse_detail::overflow_warning(UNIT, "WARNING: LENGTH OF JC IS EXCEEDED IN GSMADD");
    IERR = 1;
    return;
  }

  // Numeric pass.
  for (IWORD i = 1; i <= N; ++i) {
    for (IWORD q = ic(i); q < ic(i + 1); ++q) x(jc(q)) = 0.0;
    for (IWORD k = ia(i); k < ia(i + 1); ++k) x(ja(k)) = a(k);
    for (IWORD k = ib(i); k < ib(i + 1); ++k) x(jb(k)) += b(k);
    for (IWORD q = ic(i); q < ic(i + 1); ++q) cv(q) = x(jc(q));
  }
  return;

short_x:
  sparse_detail::overflow_warning(UNIT, "WARNING: LENGTH OF IX,X IS EXCEEDED IN GSMADD");
  IERR = 1;
}

}  // namespace orvika
