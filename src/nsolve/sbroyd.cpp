// SBROYD: Schubert's sparse form of Broyden's Jacobian update.
#include <cmath>
#include <cstring>

#include "frame/views.hpp"
#include "nsolve/nsolve.hpp"

namespace orvika {

namespace {

// Integer word K (from 0) of an array read and written bytewise, so that it
// may lie inside a real array.
IWORD mask_get(const void* mask, IWORD k) {
  IWORD v;
  std::memcpy(&v, static_cast<const unsigned char*>(mask) + k * sizeof(IWORD), sizeof v);
  return v;
}
void mask_set(void* mask, IWORD k, IWORD v) {
  std::memcpy(static_cast<unsigned char*>(mask) + k * sizeof(IWORD), &v, sizeof v);
}

// Duplicate mask: MASK(k) = 0 when an earlier entry has the position of
// entry k, else 1.  Linear in NZ: the entries of each row are chained in
// increasing order (heads in W(N+1..N+M), links in MASK itself), and a walk
// along each chain marks every column with the row that last used it
// (W(1..N)); a column already marked with the current row is a repeat.
// Entries outside the matrix take part in no update; their mask value is 1.
void build_mask(IWORD M, IWORD N, IWORD NZ, const IWORD* IRN, const IWORD* ICN, double* W,
                void* MASK) {
  constexpr IWORD kEnd = -1;
  void* mark = W;      // column j: the last row seen using it (0: none)
  void* head = W + (N > 0 ? N : 0);  // row i: the first entry of its chain
  for (IWORD j = 0; j < N; ++j) mask_set(mark, j, 0);
  for (IWORD i = 0; i < M; ++i) mask_set(head, i, kEnd);
  for (IWORD k = NZ - 1; k >= 0; --k) {
    const IWORD i = IRN[k], j = ICN[k];
    if (i < 1 || i > M || j < 1 || j > N) {
      mask_set(MASK, k, 1);
      continue;
    }
    mask_set(MASK, k, mask_get(head, i - 1));
    mask_set(head, i - 1, k);
  }
  for (IWORD i = 1; i <= M; ++i)
    for (IWORD k = mask_get(head, i - 1); k != kEnd;) {
      const IWORD next = mask_get(MASK, k);
      const IWORD j = ICN[k];
      const bool repeat = mask_get(mark, j - 1) == i;
      mask_set(mark, j - 1, i);
      mask_set(MASK, k, repeat ? 0 : 1);
      k = next;
    }
}

}  // namespace

// Each row i changes by the least change of its stored entries that gives
// row_i(A) s = y_i (s = X - XOLD, y = F - FOLD); with dense storage this is
// Broyden's rank-one update (Schubert, "Modification of a quasi-Newton method
// for nonlinear equations with a sparse Jacobian", 1970).  Entries whose row
// or column lies outside the matrix take no part.
void SBROYD(IWORD M, IWORD N, IWORD NZ, double* XOLD, const double* X, double* FOLD,
            const double* F, const IWORD* IRN, const IWORD* ICN, double* A, double* W, void* MASK,
            LWORD& FIRST, IWORD IDUPCK, IWORD ISTOR) {
  const bool coord = ISTOR == 1;
  auto inside = [M, N](IWORD i, IWORD j) { return i >= 1 && i <= M && j >= 1 && j <= N; };
  if (is_true(FIRST)) {
    if (coord && NZ >= 1) {
      if ((IDUPCK & 1) != 0)
        build_mask(M, N, NZ, IRN, ICN, W, MASK);
      else
        for (IWORD k = 0; k < NZ; ++k) mask_set(MASK, k, 1);
    }
    FIRST = ORVK_FALSE;
  }
  double* s = W;
  double* r = W + (N > 0 ? N : 0);
  double* D = r + (M > 0 ? M : 0);
  for (IWORD j = 0; j < N; ++j) s[j] = X[j] - XOLD[j];
  for (IWORD i = 0; i < M; ++i) {
    r[i] = F[i] - FOLD[i];
    D[i] = 0.0;
  }
  if (coord) {
    for (IWORD k = 0; k < NZ; ++k) {
      const IWORD i = IRN[k], j = ICN[k];
      if (!inside(i, j)) continue;
      r[i - 1] -= A[k] * s[j - 1];
      if (mask_get(MASK, k) == 1) D[i - 1] += s[j - 1] * s[j - 1];
    }
    for (IWORD k = 0; k < NZ; ++k) {
      const IWORD i = IRN[k], j = ICN[k];
      if (!inside(i, j) || mask_get(MASK, k) != 1) continue;
      if (std::fabs(D[i - 1]) > 0.0) A[k] += r[i - 1] * s[j - 1] / D[i - 1];
    }
  } else {
    for (IWORD j = 0; j < N; ++j)
      for (IWORD i = 0; i < M; ++i) {
        r[i] -= A[i + M * j] * s[j];
        D[i] += s[j] * s[j];
      }
    for (IWORD j = 0; j < N; ++j)
      for (IWORD i = 0; i < M; ++i)
        if (std::fabs(D[i]) > 0.0) A[i + M * j] += s[j] * r[i] / D[i];
  }
  for (IWORD i = 0; i < M; ++i) FOLD[i] = F[i];
  for (IWORD j = 0; j < N; ++j) XOLD[j] = X[j];
}

}  // namespace orvika
