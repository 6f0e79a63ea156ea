// Building blocks of an ascending sort of real keys with integer tags:
// partition (ORVK_KB03XD), range bookkeeping (ORVK_KB03YD) and Shell sort
// (ORVK_KB03ZD).  Pairs (key, tag) are ordered by key, then by tag.
#include <cmath>
#include <utility>

#include "frame/views.hpp"
#include "orvika/kernels_sparse.h"

using orvika::Vec1;

namespace {

// Keys are compared in a total order: a NaN key ranks above every number
// and NaN keys rank equal among themselves.  Without it a NaN pivot has no
// pair above it and a NaN key is above no pivot, so a range holding NaN
// keys never splits and the host's partition loop never ends.  Numbers
// compare as usual.
inline bool key_less(double a, double b) {
  return a < b || (!std::isnan(a) && std::isnan(b));
}
inline bool key_equal(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// True when the pair (a, t) is greater than (pa, pt).
inline bool greater(double a, IWORD t, double pa, IWORD pt) {
  return key_less(pa, a) || (key_equal(a, pa) && t > pt);
}

inline void swap_pairs(double* A, IWORD* IND, IWORD p, IWORD q) {
  Vec1<double> a(A);
  Vec1<IWORD> ind(IND);
  std::swap(a(p), a(q));
  std::swap(ind(p), ind(q));
}

}  // namespace

/* Partitions the pairs (A(i), IND(i)), i = I..J, around the pivot pair at
 * position (I+J)/2.
 *
 *   I    in     IWORD  first position of the range (>= 1)
 *   J    in     IWORD  last position of the range
 *   M    out    IWORD  first position of the upper part (J+1 when it is empty):
 *                      I..M-1 hold the pairs not greater than the pivot,
 *                      M..J the pairs greater than it (a NaN key counts as
 *                      greater than every number, and equal to a NaN key)
 *   A    in/out real   keys
 *   IND  in/out IWORD  tags, moved with their keys
 *
 * Cost: O(J-I+1).  Reference: C. A. R. Hoare, Quicksort, Computer J. 5
 * (1962) 10-16. */
extern "C" ORVK_API void ORVK_KB03XD(const IWORD* I, const IWORD* J, IWORD* M, double* A,
                                     IWORD* IND) {
  Vec1<double> a(A);
  Vec1<IWORD> ind(IND);
  const IWORD i0 = *I, j0 = *J;
  if (j0 < i0 || i0 < 1) {
    *M = j0 + 1;
    return;
  }
  const IWORD mid = (i0 + j0) / 2;
  const double pa = a(mid);
  const IWORD pt = ind(mid);
  IWORD i = i0, t = j0;
  IWORD limit = j0 + 1;  // positions from limit on belong to the upper part
  for (;;) {
    while (i < limit && !greater(a(i), ind(i), pa, pt)) ++i;
    if (i >= limit) break;
    while (t > i && greater(a(t), ind(t), pa, pt)) --t;
    if (t <= i) break;
    swap_pairs(A, IND, i, t);
    limit = t;
    ++i;
  }
  *M = i;
}

/* Records the parts of the range I..J just partitioned at M in the list of
 * range entries, or, when the partition made no progress (M > J), moves
 * another key into the pivot position.
 *
 *   I, J   in     IWORD  the range
 *   M      in     IWORD  split position from ORVK_KB03XD
 *   KP     in     IWORD  list entry of the range
 *   L      in/out IWORD  next free list entry; incremented when one is added
 *   A      in/out real   keys
 *   NLIM   in     IWORD  ranges of at most NLIM elements are not split further
 *   STACK  in/out IWORD  list entries h*(N+1) + s (s a start position, h the
 *                        number of another entry); negative when the range is
 *                        small, empty or holds a single key value
 *   N      in     IWORD  length of the whole key array
 *   IND    in/out IWORD  tags
 *
 * Nothing is recorded when N < 0 or when the new entries h*(N+1) + s would
 * not fit in an IWORD.
 *
 * Cost: O(1), or O(J-I+1) when the partition made no progress.
 * Reference: Hoare (1962), as ORVK_KB03XD. */
extern "C" ORVK_API void ORVK_KB03YD(const IWORD* I, const IWORD* J, const IWORD* M,
                                     const IWORD* KP, IWORD* L, double* A, const IWORD* NLIM,
                                     IWORD* STACK, const IWORD* N, IWORD* IND) {
  Vec1<double> a(A);
  Vec1<IWORD> stack(STACK);
  const IWORD i = *I, j = *J, m = *M, kp = *KP, nlim = *NLIM, n = *N;
  if (kp < 1 || n < 0) return;
  if (m <= j) {
    const IWORD l = *L;
    if (l < 1) return;
    // An entry packs a list number and a start as h*(N+1) + s: an entry for
    // list position L that does not fit in a word cannot be recorded.
    IWORD c, v;
    if (__builtin_add_overflow(n, 1, &c) || __builtin_mul_overflow(c, l, &v) ||
        __builtin_add_overflow(v, i, &v))
      return;
    stack(l) = (stack(kp) / c) * c + m;
    stack(kp) = (m - i <= nlim) ? -v : v;
    if (j - m + 1 <= nlim) stack(l) = -stack(l);
    *L = l + 1;
    return;
  }
  if (j < i || i < 1) {
    stack(kp) = -stack(kp);
    return;
  }
  const IWORD mid = (i + j) / 2;
  IWORD p = i;
  while (p <= j && key_equal(a(p), a(mid))) ++p;
  if (p > j) {
    stack(kp) = -stack(kp);
    return;
  }
  swap_pairs(A, IND, p, mid);
}

/* Shell sort by gap halving of the pairs (A, IND), ascending by key and,
 * among equal keys, by tag.
 *
 *   A    in/out real   keys
 *   N    in     IWORD  number of keys
 *   K0   in     IWORD  first start position of the comparisons (1 sorts
 *                      A(1..N)); the backward steps run down to position 1
 *   IND  in/out IWORD  tags
 *
 * Cost: O(N^1.5) typical, O(N^2) worst case.  Reference: D. L. Shell, A
 * high-speed sorting procedure, Comm. ACM 2 (7) (1959) 30-32. */
extern "C" ORVK_API void ORVK_KB03ZD(double* A, const IWORD* N, const IWORD* K0, IWORD* IND) {
  Vec1<double> av(A);
  Vec1<IWORD> ind(IND);
  const IWORD n = *N, k0 = *K0;
  if (k0 < 1) return;
  for (IWORD g = n / 2; g > 0; g /= 2) {
    for (IWORD c = k0; c <= k0 + n - g - 1; ++c) {
      for (IWORD e = c; e > 0; e -= g) {
        const double a = av(e), b = av(e + g);
        if (a < b) break;
        if (a == b) {
          if (ind(e) <= ind(e + g)) break;
          std::swap(ind(e), ind(e + g));
        } else {
          swap_pairs(A, IND, e, e + g);
        }
      }
    }
  }
}
