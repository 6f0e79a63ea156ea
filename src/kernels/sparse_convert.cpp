// Conversions and pruning of compressed-row matrices and sparse vectors:
// small-entry drop, packed triangle to rows, lower triangle, full rows from
// a lower triangle, unit values on a pattern and the dense form.
#include <cmath>

#include "frame/views.hpp"
#include "kernels/sparse.hpp"

namespace orvika {

namespace {
constexpr double kDropTol = 1e-50;  // magnitudes up to this are dropped
// A not-a-number value fails the comparison and is kept.
inline bool drop(double v) { return std::fabs(v) <= kDropTol; }
}  // namespace

void SMDROP(IWORD N, const IWORD* IA, const IWORD* JA, const double* A, IWORD* IB, IWORD* JB,
            double* B) {
  Vec1<const IWORD> ia(IA), ja(JA);
  Vec1<const double> a(A);
  Vec1<IWORD> ib(IB), jb(JB);
  Vec1<double> b(B);
  if (N < 0) return;
  ib(1) = 1;
  IWORD p = 1;
  for (IWORD r = 1; r <= N; ++r) {
    for (IWORD k = ia(r); k < ia(r + 1); ++k) {
      if (drop(a(k))) continue;
      jb(p) = ja(k);
      b(p) = a(k);
      ++p;
    }
    ib(r + 1) = p;
  }
}

void PKTOSM(IWORD N, const double* AP, IWORD* IA, IWORD* JA, double* A) {
  Vec1<const double> ap(AP);
  Vec1<IWORD> ia(IA), ja(JA);
  Vec1<double> a(A);
  if (N < 0) return;
  ia(1) = 1;
  IWORD p = 1;
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD base = i * (i - 1) / 2;
    for (IWORD j = 1; j <= i; ++j) {
      const double v = ap(base + j);
      if (drop(v)) continue;
      ja(p) = j;
      a(p) = v;
      ++p;
    }
    ia(i + 1) = p;
  }
}

void SVDROP(IWORD N, IWORD IOFF, const IWORD* J, const double* V, IWORD IOUT, IWORD* JOUT,
            double* VOUT, IWORD& NDROP) {
  Vec1<const IWORD> j(J);
  Vec1<const double> vv(V);
  Vec1<IWORD> jout(JOUT);
  Vec1<double> vout(VOUT);
  NDROP = 0;
  IWORD p = IOUT;
  for (IWORD i = 1; i <= N; ++i) {
    const double v = vv(IOFF + i);
    if (v == 0.0) {  // also -0.0; NaN is kept
      ++NDROP;
      continue;
    }
    jout(p + 1) = j(IOFF + i);
    vout(p + 1) = v;
    ++p;
  }
}

void SMLOWR(IWORD MODE, IWORD N, const IWORD* IA, const IWORD* JA, const double* A, IWORD* IB,
            IWORD* JB, double* B) {
  Vec1<const IWORD> ia(IA), ja(JA);
  Vec1<const double> a(A);
  Vec1<IWORD> ib(IB), jb(JB);
  Vec1<double> b(B);
  if (N < 0) return;
  ib(1) = 1;
  IWORD p = 1;
  for (IWORD r = 1; r <= N; ++r) {
    for (IWORD k = ia(r); k < ia(r + 1); ++k) {
      if (ja(k) > r) break;
      jb(p) = ja(k);
      if (MODE == 1) b(p) = a(k);
      ++p;
    }
    ib(r + 1) = p;
  }
}

namespace {
// True when entry k is the first of its row (entries kb..) with column c;
// CMAX is the largest column among the entries kb..k-1.
inline bool first_in_row(const IWORD* JA, IWORD kb, IWORD k, IWORD c, IWORD cmax) {
  Vec1<const IWORD> ja(JA);
  if (c > cmax) return true;
  for (IWORD q = kb; q < k; ++q)
    if (ja(q) == c) return false;
  return true;
}
}  // namespace

void SMSYMF(IWORD MODE, IWORD N, const IWORD* IA, const IWORD* JA, const double* A, IWORD* IB,
            IWORD* JB, double* B) {
  Vec1<const IWORD> ia(IA), ja(JA);
  Vec1<const double> a(A);
  Vec1<IWORD> ib(IB), jb(JB);
  Vec1<double> b(B);
  // Two passes, as a transpose by counting.  Pass 1 counts the entries of
  // each result row (its own, plus one for each later row j that holds
  // column i) in IB(i+2); the prefix sums then leave the start of row i in
  // IB(i+1), which pass 2 advances as the fill position of row i, so that at
  // the end IB(i+1) is the start of row i+1.  Rows are filled in ascending
  // order: row j's own entries, then its mirrors into the earlier rows,
  // which therefore receive them in ascending j.
  if (N < 0) return;
  ib(1) = 1;
  if (N == 0) return;
  for (IWORD i = 2; i <= N + 1; ++i) ib(i) = 0;
  for (IWORD j = 1; j <= N; ++j) {
    const IWORD kb = ia(j), ke = ia(j + 1);
    if (j + 2 <= N + 1) ib(j + 2) += ke - kb;
    IWORD cmax = 0;
    for (IWORD k = kb; k < ke; ++k) {
      const IWORD c = ja(k);
      if (c >= 1 && c < j && first_in_row(JA, kb, k, c, cmax) && c + 2 <= N + 1) ib(c + 2) += 1;
      if (c > cmax) cmax = c;
    }
  }
  ib(2) = 1;
  for (IWORD i = 3; i <= N + 1; ++i) ib(i) += ib(i - 1);
  for (IWORD j = 1; j <= N; ++j) {
    const IWORD kb = ia(j), ke = ia(j + 1);
    for (IWORD k = kb; k < ke; ++k) {
      const IWORD p = ib(j + 1)++;
      jb(p) = ja(k);
      if (MODE == 1) b(p) = a(k);
    }
    IWORD cmax = 0;
    for (IWORD k = kb; k < ke; ++k) {
      const IWORD c = ja(k);
      if (c >= 1 && c < j && first_in_row(JA, kb, k, c, cmax)) {
        const IWORD p = ib(c + 1)++;
        jb(p) = j;
        if (MODE == 1) b(p) = a(k);
      }
      if (c > cmax) cmax = c;
    }
  }
}

void SMIDNT(IWORD N, IWORD NNZ, IWORD IOFF, const IWORD* IA, const IWORD* JA, double* A) {
  Vec1<const IWORD> ia(IA), ja(JA);
  Vec1<double> a(A);
  for (IWORD k = 1; k <= NNZ; ++k) a(IOFF + k) = 0.0;
  for (IWORD r = 1; r <= N; ++r)
    for (IWORD k = ia(r); k < ia(r + 1); ++k)
      if (ja(k) == r) a(IOFF + k) = 1.0;
}

void SMTODN(IWORD N, IWORD M, IWORD IOFF, const IWORD* IA, const IWORD* JA, const double* A,
            IWORD IOD, double* D) {
  Vec1<const IWORD> ia(IA), ja(JA);
  Vec1<const double> a(A);
  // IOD is a word offset for both the clearing and the stores; a column
  // outside 1..M would land in another group and is skipped.
  if (N < 1 || M < 1) return;
  double* d = D + IOD;
  for (IWORD p = 0; p < N * M; ++p) d[p] = 0.0;
  const Mat1<double> dm(d, M);  // row r of the result is column r here
  for (IWORD r = 1; r <= N; ++r) {
    const IWORD row = IOFF + r;
    for (IWORD k = ia(row); k < ia(row + 1); ++k) {
      const IWORD c = ja(k);
      if (c < 1 || c > M) continue;
      dm(c, r) = a(k);
    }
  }
}

}  // namespace orvika
