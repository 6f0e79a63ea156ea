// OFFPRM: the off-diagonal block entries into the new row order.
#include "ma28/ma28.hpp"

namespace orvika {

// Every row's entries keep their relative order and move by the same
// distance, so each entry is moved once along a cycle of positions.
// Cost O(N + NOFF).
void OFFPRM(IWORD n, IDX16* colnum, double* entval, IWORD noff, IDX16* offlen,
            const IDX16* rowprm, const IDX16* colprm, IV work64, IDX16* work16) {
  if (noff < 1 || n < 1) return;
  Vec1<IDX16> cn(colnum), ol(offlen), mark(work16);
  Vec1<const IDX16> rp(rowprm), cp(colprm);
  Vec1<double> v(entval);
  IV dist = work64, newc = work64.sub(n + 1);  // also the row lengths first
  IWORD s = 1;
  for (IWORD i = 1; i <= n; ++i) {
    dist(i) = s;
    newc(i) = ol(i);
    s += ol(i);
  }
  IWORD c = 1;
  for (IWORD k = 1; k <= n; ++k) {
    const IWORD r = rp(k) < 0 ? -rp(k) : rp(k);
    const IWORD len = newc(r);
    ol(k) = i16(len);
    if (len > 0) {
      dist(r) -= c;
      for (IWORD q = c; q < c + len; ++q) mark(q) = i16(r);
      c += len;
    }
  }
  for (IWORD k = 1; k <= n; ++k) newc(cp(k) < 0 ? -cp(k) : cp(k)) = k;
  for (IWORD q = 1; q <= noff; ++q) {
    IWORD r = mark(q);
    if (r == 0) continue;
    if (dist(r) == 0) {
      cn(q) = i16(newc(cn(q)));
      continue;
    }
    const double sv = v(q);
    const IDX16 sc = cn(q);
    IWORD d = q;
    for (IWORD step = 0; step < noff; ++step) {
      const IWORD src = d + dist(r);
      if (src == q) break;
      v(d) = v(src);
      cn(d) = i16(newc(cn(src)));
      r = mark(src);
      mark(src) = 0;
      d = src;
    }
    v(d) = sv;
    cn(d) = i16(newc(sc));
  }
}

}  // namespace orvika
