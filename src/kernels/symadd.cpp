// Symbolic sum with reserved row spans (SYMADD) and the merge of two
// ascending lists (MRGLST).
#include "frame/views.hpp"
#include "kernels/sparse.hpp"

namespace orvika {

namespace {

// Merges the ascending lists L1(1..N1) and L2(1..N2) into OUT (a value in
// both written once); POS1/POS2, when given, receive the 1-based output
// position of each element.  Returns the number written.  Either list may
// be empty.
IWORD merge(IWORD N1, const IWORD* L1, IWORD N2, const IWORD* L2, IWORD* OUT, IWORD* POS1,
            IWORD* POS2) {
  IWORD i = 0, j = 0, n = 0;
  while (i < N1 || j < N2) {
    if (j >= N2 || (i < N1 && L1[i] < L2[j])) {
      OUT[n++] = L1[i];
      if (POS1) POS1[i] = n;
      ++i;
    } else if (i < N1 && L1[i] == L2[j]) {
      OUT[n++] = L1[i];
      if (POS1) POS1[i] = n;
      if (POS2) POS2[j] = n;
      ++i;
      ++j;
    } else {
      OUT[n++] = L2[j];
      if (POS2) POS2[j] = n;
      ++j;
    }
  }
  return n;
}

}  // namespace

void SYMADD(IWORD N, const IWORD* IA, const IWORD* JA, const IWORD* IB, const IWORD* JB,
            IWORD* IC, IWORD* JC) {
  Vec1<const IWORD> ia(IA), ja(JA), ib(IB), jb(JB);
  Vec1<IWORD> ic(IC), jc(JC);
  // Each row of C reserves the room of both input rows, so the merged list
  // always fits its span and is written there directly.
  if (N < 0) return;
  ic(1) = 1;
  for (IWORD i = 1; i <= N; ++i)
    ic(i + 1) = ic(i) + (ia(i + 1) - ia(i)) + (ib(i + 1) - ib(i));
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD na = ia(i + 1) - ia(i), nb = ib(i + 1) - ib(i);
    merge(na > 0 ? na : 0, ja.at(ia(i)), nb > 0 ? nb : 0, jb.at(ib(i)), jc.at(ic(i)), nullptr,
          nullptr);
  }
}

void MRGLST(IWORD N1, IWORD IOFF1, const IWORD* L1, IWORD N2, IWORD IOFF2, const IWORD* L2,
            IWORD& NOUT, IWORD IOFFO, IWORD* LOUT, IWORD* POS1, IWORD* POS2) {
  NOUT = merge(N1 > 0 ? N1 : 0, L1 + IOFF1, N2 > 0 ? N2 : 0, L2 + IOFF2, LOUT + IOFFO,
               POS1 + IOFF1, POS2 + IOFF2);
}

}  // namespace orvika
