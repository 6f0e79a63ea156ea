// Dense LU factorisation with a pivot index (rows are never moved) and the
// matching solve, in 64-bit reals and in binary128.
//
// Each update term m*o/p of the elimination is formed as a product with one
// quotient, in the order that keeps the smaller factor away from underflow,
// and in the other order when the first gives exactly zero.

#include <algorithm>
#include <cmath>

#include "frame/views.hpp"
#include "kernels/dense.hpp"

#ifdef ORVK_HAVE_QREAL
#include <quadmath.h>
#endif

namespace orvika {
namespace {

inline double mag(double x) { return std::fabs(x); }
inline bool finite(double x) { return std::isfinite(x); }
inline bool is_infinite(double x) { return std::isinf(x); }
#ifdef ORVK_HAVE_QREAL
inline QREAL mag(QREAL x) { return fabsq(x); }
inline bool finite(QREAL x) { return finiteq(x) != 0; }
inline bool is_infinite(QREAL x) { return isinfq(x) != 0; }
#endif

// Rows are eliminated in chunks of this many physical rows so that the
// inner loop runs down contiguous column segments held in cache.
constexpr IWORD kChunk = 256;

// Rows r = 0..NB-1 of columns K0..N (C(r,k) = A0[r + (k-1)*LDA]) receive
// C(r,k) -= t, t the quotient-product term of (M(r), O = H[(k-1)*LDA], P):
// (M/P)*O when |M| > |O|, else (O/P)*M, the other order when that gives
// exactly zero; rows with M(r) = 0 and columns with O = 0 are left alone.
// MP(r) = M(r)/P and AM(r) = |M(r)| are given.
template <class T>
void update_columns_impl(T* A0, IWORD lda, IWORD nb, IWORD k0, IWORD n, const T* H, T p,
                         const T* m, const T* mp, const T* am) {
  for (IWORD k = k0; k <= n; ++k) {
    const T o = H[(k - 1) * lda];
    if (o == T(0)) continue;
    const T op = o / p;
    const T ao = mag(o);
    T* ck = A0 + (k - 1) * lda;
    for (IWORD r = 0; r < nb; ++r) {
      const T t1 = mp[r] * o;  // (m/p)*o
      const T t2 = m[r] * op;  // m*(o/p)
      const bool big = am[r] > ao;
      const T first = big ? t1 : t2;
      const T second = big ? t2 : t1;
      T t = (first != T(0)) ? first : second;
      t = (m[r] != T(0)) ? t : T(0);
      ck[r] -= t;
    }
  }
}

// The double kernel is built for AVX2 as well and chosen at load time; the
// arithmetic is the same IEEE operations either way.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void update_columns(double* A0, IWORD lda, IWORD nb, IWORD k0, IWORD n, const double* H, double p,
                    const double* m, const double* mp, const double* am) {
  update_columns_impl(A0, lda, nb, k0, n, H, p, m, mp, am);
}
#ifdef ORVK_HAVE_QREAL
void update_columns(QREAL* A0, IWORD lda, IWORD nb, IWORD k0, IWORD n, const QREAL* H, QREAL p,
                    const QREAL* m, const QREAL* mp, const QREAL* am) {
  update_columns_impl(A0, lda, nb, k0, n, H, p, m, mp, am);
}
#endif

// True when a pivot of magnitude MAGP can be divided by: greater than the
// tolerance, finite and not zero (a tolerance below zero admits no zero
// pivot).  A NaN is not usable.
template <class T>
bool usable_pivot(T magp, T tol) {
  return magp > tol && magp > T(0) && finite(magp);
}

template <class T>
void lu_factor(IWORD lda, IWORD n, T* A, IWORD* ipvt, IWORD& ifail, T tol) {
  const Mat1<T> a(A, lda);
  const Vec1<IWORD> pv(ipvt);
  for (IWORD k = 1; k <= n; ++k) pv(k) = k;

  for (IWORD i = 1; i <= n - 1; ++i) {
    T* ci = a.col(i);  // the row blocks below address column i from 0
    // Pivot search over positions i..n; the earliest of equal magnitudes
    // wins, and a NaN at position i is never replaced.
    IWORD f = i;
    T best = mag(a(pv(i), i));
    for (IWORD j = i + 1; j <= n; ++j) {
      const T v = mag(a(pv(j), i));
      if (v > best) {
        best = v;
        f = j;
      }
    }
    // An infinite pivot (an infinite element, or one grown out of range)
    // leaves no usable factors: the step fails like one within the tolerance.
    // So does a zero pivot, which a negative tolerance would let through.
    if (!usable_pivot(best, tol)) {
      ifail = i;
      return;
    }
    std::swap(pv(i), pv(f));
    const IWORD h = pv(i);
    const T p = a(h, i);
    // An infinite element of the pivot row becomes an infinite element of U
    // even where no multiplier carries it into a later pivot: the step fails
    // as for an infinite pivot.
    for (IWORD k = i + 1; k <= n; ++k)
      if (is_infinite(a(h, k))) {
        std::swap(pv(i), pv(f));
        ifail = i;
        return;
      }

    // Every row not yet used as a pivot row (positions i+1..n) gets
    // A(l,k) -= m*o/p.  Each element is updated once from values fixed
    // before the step, so the rows are taken in storage order.
    for (IWORD r0 = 0; r0 < n; r0 += kChunk) {
      const IWORD nb = std::min(kChunk, n - r0);
      T m[kChunk], mp[kChunk], am[kChunk];
      for (IWORD r = 0; r < nb; ++r) m[r] = ci[r0 + r];
      for (IWORD q = 1; q <= i; ++q) {  // pivot rows of steps 1..i take no part
        const IWORD r = pv(q) - 1 - r0;
        if (r >= 0 && r < nb) m[r] = T(0);
      }
      bool any = false;
      for (IWORD r = 0; r < nb; ++r) {
        mp[r] = (m[r] != T(0)) ? m[r] / p : T(0);
        am[r] = mag(m[r]);
        any = any || (m[r] != T(0));
      }
      if (!any) continue;
      update_columns(A + r0, lda, nb, i + 1, n, A + (h - 1), p, m, mp, am);
      for (IWORD r = 0; r < nb; ++r)
        if (m[r] != T(0)) ci[r0 + r] = mp[r];
    }
  }
  // The last pivot must be usable as well; a NaN is not.
  const T last = mag(a(pv(n), n));
  ifail = usable_pivot(last, tol) ? 0 : n;
}

// True when IPVT(1..N) are all row numbers of the matrix.
bool pivots_in_range(IWORD n, const IWORD* ipvt) {
  const Vec1<const IWORD> pv(ipvt);
  for (IWORD k = 1; k <= n; ++k)
    if (pv(k) < 1 || pv(k) > n) return false;
  return true;
}

template <class T>
void lu_solve(IWORD lda, IWORD n, const T* B, const IWORD* ipvt, const T* A, T* X) {
  const Mat1<const T> a(A, lda);
  const Vec1<const T> b(B);
  const Vec1<const IWORD> pv(ipvt);
  const Vec1<T> x(X);
  // Forward with the unit lower factor, in pivot order, column by column:
  // each X(i) still receives its terms for k = 1..i-1 in increasing order.
  for (IWORD i = 1; i <= n; ++i) x(i) = b(pv(i));
  for (IWORD k = 1; k < n; ++k) {
    const T xk = x(k);
    for (IWORD i = k + 1; i <= n; ++i) x(i) -= a(pv(i), k) * xk;
  }
  // Back substitution; a zero diagonal element gives a zero component.
  // Each X(r) is divided by its diagonal first, then receives its terms
  // for k = n down to r+1.
  for (IWORD r = 1; r <= n; ++r) {
    const T u = a(pv(r), r);
    x(r) = (u == T(0)) ? T(0) : x(r) / u;
  }
  for (IWORD k = n; k >= 2; --k) {
    const T xk = x(k);
    for (IWORD r = 1; r < k; ++r) {
      const IWORD row = pv(r);
      const T u = a(row, r);
      if (u == T(0)) continue;
      const T av = a(row, k);
      x(r) -= (av > xk) ? (av / u) * xk : av * (xk / u);
    }
  }
}

// The argument checks of the entries, then the factorisation or the solve.
template <class T>
void factor_entry(IWORD lda, IWORD n, T* A, IWORD* ipvt, IWORD& ifail, T tol) {
  if (n < 1) {
    ifail = 0;
    return;
  }
  if (lda < n) {
    ifail = -1;
    return;
  }
  lu_factor<T>(lda, n, A, ipvt, ifail, tol);
}

template <class T>
void solve_entry(IWORD lda, IWORD n, const T* B, const IWORD* ipvt, const T* A, T* X) {
  if (n < 1 || lda < n || !pivots_in_range(n, ipvt)) return;
  lu_solve<T>(lda, n, B, ipvt, A, X);
}

}  // namespace
}  // namespace orvika

using namespace orvika;

/* ORVK_LUFACT: factors the N x N matrix A by Gaussian elimination with row
 * pivoting, P*A = L*U.  Rows are not moved: IPVT(k) is the row of A that is
 * the k-th pivot row, and U(k,j) = A(IPVT(k),j) (j >= k), L(j,k) =
 * A(IPVT(j),k) (j > k, unit diagonal).
 *   LDA    in     IWORD      leading dimension, >= N
 *   N      in     IWORD      order
 *   A      in/out real(LDA,N) matrix; the factors on return
 *   IPVT   out    IWORD(N)   pivot index
 *   IFAIL  out    IWORD      0 = factorised; k in 1..N-1 = step k found no
 *                            nonzero candidate of magnitude > TOL, or its
 *                            largest was not finite (the routine stops
 *                            there); N = the last pivot is zero, not > TOL
 *                            in magnitude or not finite (factors complete);
 *                            -1 = LDA < N
 *   TOL    in     real       absolute pivot tolerance (a negative TOL still
 *                            admits no zero pivot)
 * N < 1 returns IFAIL = 0 with nothing written.  Cost: 2N^3/3 flops. */
extern "C" ORVK_API void ORVK_LUFACT(const IWORD* LDA, const IWORD* N, double* A, IWORD* IPVT,
                                     IWORD* IFAIL, const double* TOL) {
  factor_entry<double>(*LDA, *N, A, IPVT, *IFAIL, *TOL);
}

/* ORVK_LUSBST: solves A*x = b with the factors of ORVK_LUFACT.
 *   LDA   in  IWORD       leading dimension, >= N
 *   N     in  IWORD       order
 *   B     in  real(N)     right-hand side in the row numbering of A; not changed
 *   IPVT  in  IWORD(N)    pivot index from ORVK_LUFACT
 *   A     in  real(LDA,N) factors from ORVK_LUFACT
 *   X     out real(N)     solution; must not be the array B.  A diagonal
 *                         element that is exactly zero gives a zero component.
 * Nothing is written when N < 1, LDA < N or an IPVT entry lies outside 1..N.
 * Cost: 2N^2 flops. */
extern "C" ORVK_API void ORVK_LUSBST(const IWORD* LDA, const IWORD* N, const double* B,
                                     const IWORD* IPVT, const double* A, double* X) {
  solve_entry<double>(*LDA, *N, B, IPVT, A, X);
}

#ifdef ORVK_HAVE_QREAL
/* ORVK_LUFACT16: ORVK_LUFACT in binary128 (A is a QREAL array; TOL stays a
 * 64-bit real, converted exactly).  Same arguments and codes.
 * Cost: 2N^3/3 binary128 flops. */
extern "C" ORVK_API void ORVK_LUFACT16(const IWORD* LDA, const IWORD* N, QREAL* A, IWORD* IPVT,
                                       IWORD* IFAIL, const double* TOL) {
  factor_entry<QREAL>(*LDA, *N, A, IPVT, *IFAIL, static_cast<QREAL>(*TOL));
}

/* ORVK_LUSBST16: ORVK_LUSBST in binary128 (B, A and X are QREAL arrays);
 * same arguments.  Cost: 2N^2 binary128 flops. */
extern "C" ORVK_API void ORVK_LUSBST16(const IWORD* LDA, const IWORD* N, const QREAL* B,
                                       const IWORD* IPVT, const QREAL* A, QREAL* X) {
  solve_entry<QREAL>(*LDA, *N, B, IPVT, A, X);
}
#endif
