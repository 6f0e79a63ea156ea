// GRWEST: growth estimate of stored LU factors.
#include <cmath>

#include "ma28/ma28.hpp"

namespace orvika {

// W(1) = max over rows of sum |multipliers| times max |U| off the pivots;
// W(2..N) keep the column maxima of |U|.  Cost O(nnz(L+U)).
void GRWEST(IWORD n, const IDX16* colnum, const double* val, IWORD /*len*/, const IDX16* rowlen,
            const IDX16* llen, double* w) {
  Vec1<double> W(w);
  if (n < 1) {
    W(1) = 0.0;
    return;
  }
  Vec1<const IDX16> cn(colnum), rl(rowlen), ll(llen);
  Vec1<const double> v(val);
  for (IWORD j = 1; j <= n; ++j) W(j) = 0.0;
  double amaxl = 0.0;
  IWORD p = 1;
  for (IWORD i = 1; i <= n; ++i) {
    const IWORD b = rl(i);
    if (b <= 0) continue;
    const IWORD l = ll(i);
    double s = 0.0;
    for (IWORD q = p; q < p + l; ++q) s += std::fabs(v(q));
    if (s > amaxl) amaxl = s;
    for (IWORD q = p + l + 1; q < p + b; ++q) {
      const IWORD j = cn(q);
      if (std::fabs(v(q)) > W(j)) W(j) = std::fabs(v(q));
    }
    p += b;
  }
  double amaxu = 0.0;
  for (IWORD j = 1; j <= n; ++j)
    if (W(j) > amaxu) amaxu = W(j);
  W(1) = amaxl * amaxu;
}

}  // namespace orvika
