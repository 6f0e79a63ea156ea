// SBROYD: Schubert's sparse form of Broyden's Jacobian update.
#include <cmath>

#include "frame/views.hpp"
#include "frame/workspace.hpp"
#include "nsolve/nsolve.hpp"

namespace orvika {

namespace {

constexpr IWORD kEnd = -1;  // end of a row's chain of entries

// Duplicate mask: MASK(k) = 0 when an earlier entry has the position of
// entry k, else 1.  Linear in NZ: the entries of each row are chained in
// increasing order (heads in W(N+1..N+M), links in MASK itself), and a walk
// along each chain marks every column with the row that last used it
// (W(1..N)); a column already marked with the current row is a repeat.
// Entries outside the matrix take part in no update; their mask value is 1.
// The words of W and MASK are seen as integers; the links and heads hold
// entry numbers counted from 0 (kEnd closes a chain).
void build_mask(IWORD M, IWORD N, IWORD NZ, const IWORD* IRN, const IWORD* ICN, double* W,
                const IV& mask) {
  const Vec1<const IWORD> irn(IRN, NZ), icn(ICN, NZ);
  const IWORD n = N > 0 ? N : 0, m = M > 0 ? M : 0;
  const IV words = RV(W, n + m).as<IWORD>();
  const IV mark = words.sub(1, n);      // column j: the last row seen using it (0: none)
  const IV head = words.sub(n + 1, m);  // row i: the first entry of its chain
  for (IWORD j = 1; j <= N; ++j) mark(j) = 0;
  for (IWORD i = 1; i <= M; ++i) head(i) = kEnd;
  for (IWORD k = NZ; k >= 1; --k) {
    const IWORD i = irn(k), j = icn(k);
    if (i < 1 || i > M || j < 1 || j > N) {
      mask(k) = 1;
      continue;
    }
    mask(k) = head(i);
    head(i) = k - 1;
  }
  for (IWORD i = 1; i <= M; ++i)
    for (IWORD k = head(i); k != kEnd;) {
      const IWORD next = mask(k + 1);
      const IWORD j = icn(k + 1);
      const bool repeat = mark(j) == i;
      mark(j) = i;
      mask(k + 1) = repeat ? 0 : 1;
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
  const IV mask(static_cast<unsigned char*>(MASK), coord && NZ > 0 ? NZ : 0);
  if (is_true(FIRST)) {
    if (coord && NZ >= 1) {
      if ((IDUPCK & 1) != 0)
        build_mask(M, N, NZ, IRN, ICN, W, mask);
      else
        for (IWORD k = 1; k <= NZ; ++k) mask(k) = 1;
    }
    FIRST = ORVK_FALSE;
  }
  const IWORD n = N > 0 ? N : 0, m = M > 0 ? M : 0;
  const Vec1<double> s(W, n), r(W + n, m), D(W + n + m, m);
  const Vec1<double> xold(XOLD, N), fold(FOLD, M);
  const Vec1<const double> x(X, N), f(F, M);
  for (IWORD j = 1; j <= N; ++j) s(j) = x(j) - xold(j);
  for (IWORD i = 1; i <= M; ++i) {
    r(i) = f(i) - fold(i);
    D(i) = 0.0;
  }
  if (coord) {
    const Vec1<const IWORD> irn(IRN, NZ), icn(ICN, NZ);
    const Vec1<double> a(A, NZ);
    for (IWORD k = 1; k <= NZ; ++k) {
      const IWORD i = irn(k), j = icn(k);
      if (!inside(i, j)) continue;
      r(i) -= a(k) * s(j);
      if (mask(k) == 1) D(i) += s(j) * s(j);
    }
    for (IWORD k = 1; k <= NZ; ++k) {
      const IWORD i = irn(k), j = icn(k);
      if (!inside(i, j) || mask(k) != 1) continue;
      if (std::fabs(D(i)) > 0.0) a(k) += r(i) * s(j) / D(i);
    }
  } else {
    const Mat1<double> a(A, M);
    for (IWORD j = 1; j <= N; ++j)
      for (IWORD i = 1; i <= M; ++i) {
        r(i) -= a(i, j) * s(j);
        D(i) += s(j) * s(j);
      }
    for (IWORD j = 1; j <= N; ++j)
      for (IWORD i = 1; i <= M; ++i)
        if (std::fabs(D(i)) > 0.0) a(i, j) += s(j) * r(i) / D(i);
  }
  for (IWORD i = 1; i <= M; ++i) fold(i) = f(i);
  for (IWORD j = 1; j <= N; ++j) xold(j) = x(j);
}

}  // namespace orvika
