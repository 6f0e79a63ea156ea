// Building blocks of an ascending sort of real keys with integer tags:
// partition (ORVK_KB03XD), range bookkeeping (ORVK_KB03YD) and Shell sort
// (ORVK_KB03ZD).  Pairs (key, tag) are ordered by key, then by tag.
#include <utility>

#include "orvika/kernels_sparse.h"

namespace {

// True when the pair (a, t) is greater than (pa, pt).
inline bool greater(double a, IWORD t, double pa, IWORD pt) {
  return a > pa || (a == pa && t > pt);
}

inline void swap_pairs(double* A, IWORD* IND, IWORD p, IWORD q) {
  std::swap(A[p - 1], A[q - 1]);
  std::swap(IND[p - 1], IND[q - 1]);
}

}  // namespace

/* Partitions the pairs (A(i), IND(i)), i = I..J, around the pivot pair at
 * position (I+J)/2.
 *
 *   I    in     IWORD  first position of the range (>= 1)
 *   J    in     IWORD  last position of the range
 *   M    out    IWORD  first position of the upper part (J+1 when it is empty):
 *                      I..M-1 hold the pairs not greater than the pivot,
 *                      M..J the pairs greater than it
 *   A    in/out real   keys
 *   IND  in/out IWORD  tags, moved with their keys
 *
 * Cost: O(J-I+1).  Reference: C. A. R. Hoare, Quicksort, Computer J. 5
 * (1962) 10-16. */
extern "C" ORVK_API void ORVK_KB03XD(const IWORD* I, const IWORD* J, IWORD* M, double* A,
                                     IWORD* IND) {
  const IWORD i0 = *I, j0 = *J;
  if (j0 < i0 || i0 < 1) {
    *M = j0 + 1;
    return;
  }
  const IWORD mid = (i0 + j0) / 2;
  const double pa = A[mid - 1];
  const IWORD pt = IND[mid - 1];
  IWORD i = i0, t = j0;
  IWORD limit = j0 + 1;  // positions from limit on belong to the upper part
  for (;;) {
    while (i < limit && !greater(A[i - 1], IND[i - 1], pa, pt)) ++i;
    if (i >= limit) break;
    while (t > i && greater(A[t - 1], IND[t - 1], pa, pt)) --t;
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
 * Cost: O(1), or O(J-I+1) when the partition made no progress.
 * Reference: Hoare (1962), as ORVK_KB03XD. */
extern "C" ORVK_API void ORVK_KB03YD(const IWORD* I, const IWORD* J, const IWORD* M,
                                     const IWORD* KP, IWORD* L, double* A, const IWORD* NLIM,
                                     IWORD* STACK, const IWORD* N, IWORD* IND) {
  const IWORD i = *I, j = *J, m = *M, kp = *KP, nlim = *NLIM;
  const IWORD c = *N + 1;
  if (kp < 1 || c < 1) return;
  if (m <= j) {
    const IWORD l = *L;
    if (l < 1) return;
    STACK[l - 1] = (STACK[kp - 1] / c) * c + m;
    const IWORD v = c * l + i;
    STACK[kp - 1] = (m - i <= nlim) ? -v : v;
    if (j - m + 1 <= nlim) STACK[l - 1] = -STACK[l - 1];
    *L = l + 1;
    return;
  }
  if (j < i || i < 1) {
    STACK[kp - 1] = -STACK[kp - 1];
    return;
  }
  const IWORD mid = (i + j) / 2;
  IWORD p = i;
  while (p <= j && A[p - 1] == A[mid - 1]) ++p;
  if (p > j) {
    STACK[kp - 1] = -STACK[kp - 1];
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
  const IWORD n = *N, k0 = *K0;
  if (k0 < 1) return;
  for (IWORD g = n / 2; g > 0; g /= 2) {
    for (IWORD c = k0; c <= k0 + n - g - 1; ++c) {
      for (IWORD e = c; e > 0; e -= g) {
        const double a = A[e - 1], b = A[e + g - 1];
        if (a < b) break;
        if (a == b) {
          if (IND[e - 1] <= IND[e + g - 1]) break;
          std::swap(IND[e - 1], IND[e + g - 1]);
        } else {
          swap_pairs(A, IND, e, e + g);
        }
      }
    }
  }
}
