// In-place matrix inverse through a compact LU factorisation with row
// interchanges: P*A = L*U, then L^-1 and U^-1*L^-1 in place, and a final
// column permutation that undoes P.

#include <cmath>
#include <cstdint>
#include <utility>

#include "frame/views.hpp"
#include "kernels/dense.hpp"

namespace orvika {
namespace {

template <class Piv>
void mb01_invert(double* A, IWORD n, IWORD lda, Piv* ipvt, double* W) {
  Vec1<Piv> pv(ipvt);
  Vec1<double> w(W);
  const Mat1<double> a(A, lda);
  if (n == 1) {
    if (a(1, 1) != 0.0) a(1, 1) = 1.0 / a(1, 1);
    return;
  }
  for (IWORD k = 1; k <= n; ++k) pv(k) = static_cast<Piv>(k);

  // Pivot of step 1: the first row with the largest |A(i,1)|.
  IWORD m = 1;
  double pivot = a(1, 1), big = 0.0;
  for (IWORD i = 1; i <= n; ++i) {
    if (std::fabs(a(i, 1)) > big) {
      big = std::fabs(a(i, 1));
      m = i;
      pivot = a(i, 1);
    }
  }

  for (IWORD k = 1; k <= n - 1; ++k) {
    if (m > k) {
      std::swap(pv(m), pv(k));
      for (IWORD j = 1; j <= n; ++j) std::swap(a(m, j), a(k, j));
    }
    for (IWORD j = k + 1; j <= n; ++j) DOTACC(&a(k, 1), lda, &a(1, j), 1, a(k, j), a(k, j), k - 1, 1);
    // Multipliers of column k, and the candidates of the next step.  The
    // search starts at the next step's own row, so a column without a
    // nonzero candidate leaves the rows in place.
    m = k + 1;
    big = 0.0;
    for (IWORD i = k + 1; i <= n; ++i) {
      a(i, k) /= pivot;
      DOTACC(&a(i, 1), lda, &a(1, k + 1), 1, a(i, k + 1), a(i, k + 1), k, 1);
      if (std::fabs(a(i, k + 1)) > big) {
        big = std::fabs(a(i, k + 1));
        m = i;
      }
    }
    pivot = a(m, k + 1);
  }

  // L^-1 in place, row by row from the bottom.
  for (IWORD c = n; c >= 2; --c) {
    for (IWORD t = c - 1; t >= 1; --t)
      DOTACC(&a(t + 1, t), 1, &w(t + 1), 1, -a(c, t), w(t), c - 1 - t, 1);
    for (IWORD t = 1; t <= c - 1; ++t) a(c, t) = w(t);
  }
  // Rows of U^-1 * L^-1, from the bottom.
  for (IWORD r = n; r >= 1; --r) {
    const double u = a(r, r);
    for (IWORD j = 1; j <= n; ++j) {
      const double e = (j < r) ? a(r, j) : (j == r ? 1.0 : 0.0);
      if (r < n)
        DOTACC(&a(r, r + 1), lda, &a(r + 1, j), 1, e, w(j), n - r, 1);
      else
        w(j) = e;
    }
    for (IWORD j = 1; j <= n; ++j) a(r, j) = w(j) / u;
  }
  // Column k of (P*A)^-1 goes to column IPVT(k).
  for (IWORD j = 1; j <= n; ++j) {
    while (static_cast<IWORD>(pv(j)) != j) {
      const IWORD h = pv(j);
      for (IWORD i = 1; i <= n; ++i) std::swap(a(i, j), a(i, h));
      pv(j) = pv(h);
      pv(h) = static_cast<Piv>(h);
    }
  }
}

// Orders up to this size are inverted by ORVK_MB01BD with scratch on the
// stack (12 KiB); a larger matrix is left unchanged.
constexpr IWORD kMb01bdMax = 1024;

}  // namespace
}  // namespace orvika

using namespace orvika;

/* ORVK_MB01CD: A := A^-1 in place, by compact LU factorisation with row
 * interchanges (P*A = L*U), inversion of the factors and a column permutation.
 *   A     in/out real(LDA,N)  matrix; its inverse on return
 *   N     in     IWORD        order (nothing is done for N < 1)
 *   LDA   in     IWORD        leading dimension, >= N (nothing is done otherwise)
 *   IPVT  work   IWORD(N)     row interchanges; 1..N on return
 *   W     work   real(N)      row buffer
 * No singularity test: a zero pivot gives infinite or NaN entries.  A 1 x 1
 * zero matrix is left as it is.  Cost: 2N^3 flops. */
extern "C" ORVK_API void ORVK_MB01CD(double* A, const IWORD* N, const IWORD* LDA, IWORD* IPVT,
                                     double* W) {
  const IWORD n = *N, lda = *LDA;
  if (n < 1 || lda < n) return;
  mb01_invert(A, n, lda, IPVT, W);
}

/* ORVK_MB01BD: ORVK_MB01CD with its pivot record and row buffer on the
 * stack, for N <= 1024; a larger matrix is left unchanged.
 *   A, N, LDA  as for ORVK_MB01CD
 * Cost: 2N^3 flops. */
extern "C" ORVK_API void ORVK_MB01BD(double* A, const IWORD* N, const IWORD* LDA) {
  const IWORD n = *N, lda = *LDA;
  if (n < 1 || lda < n || n > kMb01bdMax) return;
  std::int32_t ipvt[kMb01bdMax];
  double w[kMb01bdMax];
  mb01_invert(A, n, lda, ipvt, w);
}
