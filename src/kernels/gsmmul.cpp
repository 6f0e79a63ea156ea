// Products of compressed-row matrices with a marker vector: the general
// product (GSMMUL) and the lower triangle of a product (SSMMUL).
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "kernels/sparse.hpp"

namespace orvika {

namespace {

// True when R names a row of B: at least 1, and at most NROWB when B's row
// count is known (NROWB > 0).  Entries of A naming no row are passed over.
inline bool row_of_b(IWORD r, IWORD nrowb) { return r >= 1 && (nrowb <= 0 || r <= nrowb); }

// Symbolic pass shared by both products: row j of C lists the columns of
// the rows JA(k) of B in order of first appearance.  LOWER: the scan of a
// row of B ends at the first column beyond j (rows of B ascending).
// Columns must lie in 1..NCOLX (the cleared part of IX).  Returns 0, 1 for
// an IX,X overflow (reported at once) or 2 for a JC overflow.
int symbolic(IWORD N, bool lower, IWORD NCOLX, IWORD NROWB, const IWORD* IA, const IWORD* JA,
             const IWORD* IB, const IWORD* JB, IWORD LENJC, IWORD* IC, IWORD* JC, IWORD* IX) {
  Vec1<const IWORD> ia(IA), ja(JA), ib(IB), jb(JB);
  Vec1<IWORD> ic(IC), jc(JC), ix(IX);
  IWORD p = 1;
  for (IWORD j = 1; j <= N; ++j) {
    ic(j) = p;
    for (IWORD k = ia(j); k < ia(j + 1); ++k) {
      const IWORD r = ja(k);
      if (!row_of_b(r, NROWB)) continue;
      for (IWORD l = ib(r); l < ib(r + 1); ++l) {
        const IWORD col = jb(l);
        if (lower && col > j) break;
        if (col < 1 || col > NCOLX) return 1;
        if (ix(col) == j) continue;
        if (p < LENJC) jc(p) = col;
        ix(col) = j;
        ++p;
      }
    }
  }
  ic(N + 1) = p;
  return p > LENJC ? 2 : 0;
}

// Numeric pass: accumulates row j of C in X over its columns.
void numeric(IWORD N, bool lower, IWORD NROWB, const IWORD* IA, const IWORD* JA, const double* A,
             const IWORD* IB, const IWORD* JB, const double* B, const IWORD* IC, const IWORD* JC,
             double* C, double* X) {
  Vec1<const IWORD> ia(IA), ja(JA), ib(IB), jb(JB), ic(IC), jc(JC);
  Vec1<const double> av(A), b(B);
  Vec1<double> c(C), x(X);
  for (IWORD j = 1; j <= N; ++j) {
    for (IWORD q = ic(j); q < ic(j + 1); ++q) x(jc(q)) = 0.0;
    for (IWORD k = ia(j); k < ia(j + 1); ++k) {
      const IWORD r = ja(k);
      if (!row_of_b(r, NROWB)) continue;
      const double a = av(k);
      for (IWORD l = ib(r); l < ib(r + 1); ++l) {
        const IWORD col = jb(l);
        if (lower && col > j) break;
        x(col) += b(l) * a;
      }
    }
    for (IWORD q = ic(j); q < ic(j + 1); ++q) c(q) = x(jc(q));
  }
}

constexpr const char* kGsmmulX = "WARNING: LENGTH OF IX,X IS EXCEEDED IN GSMMUL";
constexpr const char* kGsmmulJC = "WARNING: LENGTH OF JC IS EXCEEDED IN GSMMUL";
constexpr const char* kSsmmulX = "WARNING: LENGTH OF IX,X IS EXCEEDED IN SSMMUL";
constexpr const char* kSsmmulJC = "WARNING: LENGTH OF JC IS EXCEEDED IN SSMMUL";

// GSMMUL ends the process after its warning (no stop code).
void gsmmul_stop(IWORD unit, const char* text) {
  sparse_detail::overflow_warning(unit, text);
  stop("");
}

}  // namespace

void GSMMUL(IWORD UNIT, IWORD N, IWORD NOTUSED, IWORD M, const IWORD* IA, const IWORD* JA,
            const double* A, const IWORD* IB, const IWORD* JB, const double* B, IWORD LENJC,
            IWORD* IC, IWORD* JC, double* C, IWORD LENX, IWORD* IX, double* X) {
  Vec1<IWORD> jc(JC), ix(IX);
  Vec1<double> cv(C), x(X);
  if (N < 0) return;
  // IX and X are cleared over the M columns of the product: they must hold
  // that many words before anything is touched.
  if (LENX < M) {
    gsmmul_stop(UNIT, kGsmmulX);
    return;
  }
  for (IWORD p = 1; p <= LENJC; ++p) {
    jc(p) = 0;
    cv(p) = 0.0;
  }
  for (IWORD c = 1; c <= M; ++c) {
    ix(c) = 0;
    x(c) = 0.0;
  }
  switch (symbolic(N, false, M, 0, IA, JA, IB, JB, LENJC, IC, JC, IX)) {
    case 1:
      gsmmul_stop(UNIT, kGsmmulX);
      return;
    case 2:
      gsmmul_stop(UNIT, kGsmmulJC);
      return;
    default:
      break;
  }
  numeric(N, false, 0, IA, JA, A, IB, JB, B, IC, JC, C, X);
}

void SSMMUL(IWORD UNIT, IWORD N, IWORD NOTUSED, const IWORD* IA, const IWORD* JA,
            const double* A, const IWORD* IB, const IWORD* JB, const double* B, IWORD LENJC,
            IWORD* IC, IWORD* JC, double* C, IWORD LENX, IWORD* IX, double* X, IWORD& IERR) {
  Vec1<IWORD> ix(IX);
  if (N < 0) return;
  if (LENX < N) {
    sparse_detail::overflow_warning(UNIT, kSsmmulX);
    IERR = 1;
    return;
  }
  for (IWORD c = 1; c <= N; ++c) ix(c) = 0;
  switch (symbolic(N, true, N, N, IA, JA, IB, JB, LENJC, IC, JC, IX)) {
    case 1:
      sparse_detail::overflow_warning(UNIT, kSsmmulX);
      IERR = 1;
      return;
    case 2:
      sparse_detail::overflow_warning(UNIT, kSsmmulJC);
      IERR = 1;
      return;
    default:
      break;
  }
  numeric(N, true, N, IA, JA, A, IB, JB, B, IC, JC, C, X);
}

}  // namespace orvika
