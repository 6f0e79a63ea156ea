// In-place entry sorts of the MA28 family: ENTSRT (by key) and COLSRT
// (within columns by index magnitude).
#include "ma28/ma28.hpp"

namespace orvika {

// Counting sort along permutation cycles: every entry is moved once, the
// bucket starts double as next-free positions while entries are placed.
// Cost O(NC + NZ).
void ENTSRT(IWORD nc, IWORD nz, double* val, IDX16* idx, IV start, IDX16* key, IWORD d) {
  Vec1<double> v(val);
  Vec1<IDX16> ix(idx), ky(key);
  for (IWORD b = 1; b <= nc; ++b) start(b) = 0;
  for (IWORD k = 1; k <= nz; ++k) start(ky(k) + d) += 1;
  IWORD pos = 1;
  for (IWORD b = 1; b <= nc; ++b) {
    const IWORD cnt = start(b);
    start(b) = pos;
    pos += cnt;
  }
  const IDX16 done = i16(-d);
  for (IWORD i = 1; i <= nz; ++i) {
    if (ky(i) + d == 0) continue;
    double cv = v(i);
    IDX16 ci = ix(i);
    IWORD b = ky(i) + d;
    ky(i) = done;
    for (IWORD step = 0; step < nz; ++step) {
      const IWORD p = start(b);
      start(b) = p + 1;
      const double pv = v(p);
      const IDX16 pi = ix(p);
      const IDX16 pk = ky(p);
      v(p) = cv;
      ix(p) = ci;
      ky(p) = done;
      if (pk == done) break;
      cv = pv;
      ci = pi;
      b = pk + d;
    }
  }
  for (IWORD b = nc; b >= 2; --b) start(b) = static_cast<IWORD>(start(b - 1));
  if (nc >= 1) start(1) = 1;
}

// Stable insertion sort of every column by |index|; values move along.
void COLSRT(IWORD nc, IWORD last, double* val, IDX16* idx, IV start) {
  Vec1<double> v(val);
  Vec1<IDX16> ix(idx);
  auto mag = [](IDX16 x) { return x < 0 ? -static_cast<IWORD>(x) : static_cast<IWORD>(x); };
  for (IWORD j = nc; j >= 1; --j) {
    const IWORD a = start(j);
    const IWORD b = (j == nc) ? last : static_cast<IWORD>(start(j + 1)) - 1;
    if (b - a < 1) continue;
    for (IWORD k = b - 1; k >= a; --k) {
      const IDX16 key = ix(k);
      const double kv = v(k);
      IWORD q = k;
      while (q < b && mag(ix(q + 1)) < mag(key)) {
        ix(q) = ix(q + 1);
        v(q) = v(q + 1);
        ++q;
      }
      ix(q) = key;
      v(q) = kv;
    }
  }
}

}  // namespace orvika
