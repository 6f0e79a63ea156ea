// Gaussian elimination with partial pivoting and normalised pivot rows:
// ORVK_SIMEQ, and its column-oriented variant GAUSEL that also exchanges a
// tag vector, records the pivot magnitudes and stops at a negligible pivot.

#include <cmath>
#include <cstring>
#include <utility>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "kernels/dense.hpp"

namespace orvika {

void GAUSEL(IWORD N, double* A, double* B, IWORD LDA, void* TAG, double* PIVMAG, IWORD IUNIT,
            IWORD& IERR) {
  Vec1<double> b(B), pivmag(PIVMAG);
  if (N < 1 || LDA < N) return;
  const Mat1<double> a(A, LDA);
  auto singular = [&]() {
    write_rec(IUNIT, Rec().X(5).A("SINGULAR MATRIX"));
    IERR = 1;
  };
  constexpr double kNegligible = 1e-16;
  char* tag = static_cast<char*>(TAG);

  for (IWORD i = 1; i <= N - 1; ++i) {
    IWORD e = i;
    double d = std::fabs(a(i, i));
    for (IWORD r = i + 1; r <= N; ++r)
      if (std::fabs(a(r, i)) > d) {
        d = std::fabs(a(r, i));
        e = r;
      }
    if (!(d > kNegligible)) {  // a NaN pivot counts as negligible
      singular();
      return;
    }
    if (e != i) {
      for (IWORD j = i; j <= N; ++j) std::swap(a(i, j), a(e, j));
      std::swap(b(i), b(e));
      char t[8];
      std::memcpy(t, tag + 8 * (i - 1), 8);
      std::memcpy(tag + 8 * (i - 1), tag + 8 * (e - 1), 8);
      std::memcpy(tag + 8 * (e - 1), t, 8);
    }
    const Vec1<const double> ci(a.col(i));
    const double aii = ci(i);
    for (IWORD j = i + 1; j <= N; ++j) {
      const Vec1<double> cj(a.col(j));
      const double f = cj(i) / aii;
      cj(i) = f;
      for (IWORD r = i + 1; r <= N; ++r) cj(r) -= ci(r) * f;
    }
    b(i) /= aii;
    for (IWORD r = i + 1; r <= N; ++r) b(r) -= b(i) * ci(r);
    pivmag(i) = d;
  }
  const double d = std::fabs(a(N, N));
  if (!(d > kNegligible)) {
    singular();
    return;
  }
  pivmag(N) = d;
  b(N) /= a(N, N);
  for (IWORD i = N - 1; i >= 1; --i) {
    double s = 0.0;
    for (IWORD j = i + 1; j <= N; ++j) s += a(i, j) * b(j);
    b(i) -= s;
  }
}

}  // namespace orvika

using namespace orvika;

/* ORVK_SIMEQ: solves A*x = b by Gaussian elimination with partial pivoting
 * and normalised pivot rows.
 *   A    in/out real(LDA,N)  reduced in place: right of the diagonal the
 *                            pivot rows divided by their pivots, on the
 *                            diagonal the pivots
 *   B    in/out real(N)      right-hand side; exchanged and reduced
 *   X    out    real(N)      solution
 *   N    in     IWORD        order (nothing is done for N < 1)
 *   LDA  in     IWORD        leading dimension, >= N (nothing is done otherwise)
 * No singularity test: a zero pivot gives an infinite or NaN solution; a
 * column without a nonzero candidate keeps its row.  Cost: 2N^3/3 flops. */
extern "C" ORVK_API void ORVK_SIMEQ(double* A, double* B, double* X, const IWORD* N,
                                    const IWORD* LDA) {
  Vec1<double> b(B), x(X);
  const IWORD n = *N, lda = *LDA;
  if (n < 1 || lda < n) return;
  const Mat1<double> a(A, lda);
  for (IWORD i = 1; i <= n - 1; ++i) {
    IWORD e = i;
    double big = 0.0;
    for (IWORD r = i; r <= n; ++r)
      if (std::fabs(a(r, i)) > big) {
        big = std::fabs(a(r, i));
        e = r;
      }
    if (e != i) {
      for (IWORD j = i; j <= n; ++j) std::swap(a(i, j), a(e, j));
      std::swap(b(i), b(e));
    }
    const double h = a(i, i);
    for (IWORD j = i + 1; j <= n; ++j) a(i, j) /= h;
    b(i) /= h;
    const Vec1<const double> ci(a.col(i));
    for (IWORD j = i + 1; j <= n; ++j) {
      const Vec1<double> cj(a.col(j));
      const double aij = cj(i);
      for (IWORD r = i + 1; r <= n; ++r) cj(r) -= aij * ci(r);
    }
    for (IWORD r = i + 1; r <= n; ++r) b(r) -= b(i) * ci(r);
  }
  x(n) = b(n) / a(n, n);
  for (IWORD i = n - 1; i >= 1; --i) {
    double s = 0.0;
    for (IWORD j = i + 1; j <= n; ++j) s += a(i, j) * x(j);
    x(i) = b(i) - s;
  }
}
