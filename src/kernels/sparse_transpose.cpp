// Transpose of a row-permuted compressed-row matrix (PERMU1) and the
// symmetric permutation of a matrix held as its lower triangle (PERMU2).
#include <cstdint>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "kernels/sparse.hpp"

namespace orvika {

namespace sparse_detail {
void overflow_warning(IWORD unit, const char* text) {
  write_empty(unit);
  write_rec(unit, Rec().X(2).A(text));
}
}  // namespace sparse_detail

namespace {

inline IWORD low32(IWORD v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

// Transpose by counting: C (NCOL rows) lists, for every column c of the
// row-permuted A, the new row numbers i in ascending order.  IPERM null:
// no permutation; C null: pattern only.  Entries whose column lies outside
// 1..NCOL, and rows IPERM(i) outside 1..N, are skipped.  Returns false, with
// the warning written, when a position beyond LENJC is needed.
bool transpose_count(IWORD unit, const char* text, IWORD N, IWORD NCOL, const IWORD* IA,
                     const IWORD* JA, const double* A, const IWORD* IPERM, IWORD LENJC, IWORD* IC,
                     IWORD* JC, double* C, IWORD& IERR) {
  Vec1<const IWORD> ia(IA), ja(JA), iperm(IPERM);
  Vec1<const double> a(A);
  Vec1<IWORD> ic(IC), jc(JC);
  Vec1<double> cv(C);
  // Counts of column c go to IC(c+2): after the prefix sums IC(c+1) is the
  // first free position of row c, and advancing it while filling leaves the
  // row pointers in place.  The last column needs no count.
  for (IWORD j = 2; j <= NCOL + 1; ++j) ic(j) = 0;
  const IWORD nnz = ia(N + 1) - 1;
  for (IWORD k = 1; k <= nnz; ++k) {
    const IWORD c = ja(k);
    if (c >= 1 && c <= NCOL - 1) ic(c + 2) += 1;
  }
  ic(1) = 1;
  if (NCOL >= 1) ic(2) = 1;
  for (IWORD j = 3; j <= NCOL + 1; ++j) ic(j) += ic(j - 1);
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD r = IPERM ? iperm(i) : i;
    if (r < 1 || r > N) continue;
    for (IWORD k = ia(r); k < ia(r + 1); ++k) {
      const IWORD c = ja(k);
      if (c < 1 || c > NCOL) continue;
      const IWORD p = ic(c + 1);
      if (p > LENJC) {
        sparse_detail::overflow_warning(unit, text);
        IERR = 1;
        return false;
      }
      jc(p) = i;
      if (C) cv(p) = a(k);
      ic(c + 1) = p + 1;
    }
  }
  return true;
}

}  // namespace

void PERMU1(IWORD UNIT, IWORD MODE, IWORD N, IWORD NCOL, const IWORD* IA, const IWORD* JA,
            const double* A, const IWORD* IPERM, IWORD LENJC, IWORD* IC, IWORD* JC, double* C,
            IWORD& IERR) {
  if (N < 0 || NCOL < 0) return;
  const IWORD mode = low32(MODE);
  const bool permute = mode != 2 && mode != 3;
  transpose_count(UNIT, "WARNING: LENGTH OF JC IS EXCEEDED IN PERMU1", N, NCOL, IA, JA, A,
                  permute ? IPERM : nullptr, LENJC, IC, JC, mode == 3 ? nullptr : C, IERR);
}

void PERMU2(IWORD UNIT, IWORD MODE, IWORD N, IWORD* IA, const IWORD* JA, const double* A,
            const IWORD* IPERM, IWORD LENJ, IWORD* IB, IWORD* JB, double* B, IWORD* IC,
            IWORD* JC, double* C, IWORD& IERR) {
  Vec1<IWORD> ia(IA), ib(IB), jb(JB), ic(IC), jc(JC);
  Vec1<double> b(B), cv(C);
  if (N < 0) return;
  if (!transpose_count(UNIT, "WARNING: LENGTH OF JB IS EXCEEDED IN PERMU2", N, N, IA, JA, A,
                       IPERM, LENJ, IB, JB, B, IERR))
    return;
  if (low32(MODE) == 1) return;

  // Fold B into its lower triangle: entry (r, c) goes to row max(r, c),
  // column min(r, c).  IA(1..N) serves as the per-row counter.
  for (IWORD r = 1; r <= N; ++r) ia(r) = 0;
  for (IWORD r = 1; r <= N; ++r)
    for (IWORD k = ib(r); k < ib(r + 1); ++k) {
      const IWORD c = jb(k);
      ia(c > r ? c : r) += 1;
    }
  for (IWORD r = 1; r <= N; ++r) ic(r + 1) = ic(r) + ia(r);
  for (IWORD r = 1; r <= N; ++r) ia(r) = 0;
  for (IWORD r = 1; r <= N; ++r)
    for (IWORD k = ib(r); k < ib(r + 1); ++k) {
      const IWORD c = jb(k);
      const IWORD t = c > r ? c : r;
      const IWORD col = c > r ? r : c;
      const IWORD p = ic(t) + ia(t);
      if (p < 1 || p > LENJ) {
        sparse_detail::overflow_warning(UNIT, "WARNING: LENGTH OF JC IS EXCEEDED IN PERMU2");
        IERR = 1;
        return;
      }
      jc(p) = col;
      cv(p) = b(k);
      ia(t) += 1;
    }
}

}  // namespace orvika
