// Tridiagonal systems by forward elimination without pivoting and back
// substitution (the Thomas algorithm).  Row k reads
// SUB(k)*x(k-1) + DIAG(k)*x(k) + SUP(k)*x(k+1) = r(k).

#include <cmath>

#include "frame/views.hpp"
#include "kernels/dense.hpp"

using orvika::Mat1;
using orvika::Vec1;

/* ORVK_TRIDIA: solves a tridiagonal system held in packed bands.
 *   N  in     IWORD      order (nothing is done for N < 1)
 *   A  in/out real(3N-2) A(1..N-1) = SUB(2..N), A(N..2N-1) = DIAG(1..N),
 *                        A(2N..3N-2) = SUP(1..N-1); the SUP part is replaced
 *                        by the ratios Q(k) = SUP(k)/pivot(k)
 *   B  in/out real(N)    right-hand side; the solution on return
 * Every pivot after the first has its magnitude raised to at least 1e-35,
 * keeping its sign (a zero pivot becomes +1e-35); the first is DIAG(1) as
 * given unless it is exactly zero, when it becomes +1e-35.  So no division
 * is by zero.  No pivoting.
 * Cost: 8N flops.  Method: forward elimination and back substitution on the
 * bands (the Thomas algorithm; L. H. Thomas, Watson Sci. Comput. Lab.,
 * Columbia Univ., 1949). */
extern "C" ORVK_API void ORVK_TRIDIA(const IWORD* N, double* A, double* B) {
  Vec1<double> a(A), b(B);
  const IWORD n = *N;
  if (n < 1) return;
  auto sub = [a](IWORD k) { return a(k - 1); };                      // SUB(k), k >= 2
  auto diag = [a, n](IWORD k) { return a(n + k - 1); };               // DIAG(k)
  auto q = [a, n](IWORD k) -> double& { return a(2 * n + k - 1); };  // SUP(k), then Q(k)
  // The pivot P with its magnitude raised to the floor, its sign kept.
  auto floored = [](double p) {
    constexpr double kFloor = 1e-35;
    const double mag = std::fabs(p) < kFloor ? kFloor : std::fabs(p);
    return (p < 0.0) ? -mag : mag;
  };
  // The first pivot is DIAG(1) itself, however small; only an exact zero,
  // which would divide by nothing, is replaced by +1e-35.
  const double piv1 = diag(1) == 0.0 ? floored(0.0) : diag(1);
  b(1) /= piv1;
  if (n == 1) return;
  q(1) /= piv1;
  for (IWORD k = 2; k <= n; ++k) {
    const double piv = floored(diag(k) - sub(k) * q(k - 1));
    b(k) = (b(k) - sub(k) * b(k - 1)) / piv;
    if (k < n) q(k) /= piv;
  }
  for (IWORD k = n - 1; k >= 1; --k) b(k) -= q(k) * b(k + 1);
}

/* ORVK_TOMETH: solves a tridiagonal system held as a 3 x N band array.
 *   A    in  real(3,N)  A(1,k) = SUB(k) (A(1,1) unused), A(2,k) = DIAG(k),
 *                       A(3,k) = SUP(k); not changed
 *   N    in  IWORD      order (nothing is done for N < 1)
 *   D    in  real(N)    right-hand side; not changed
 *   X    out real(N)    solution (the pivots during the elimination)
 *   GAM  out real(N)    ratios SUP(k)/pivot(k)
 *   BET  out real(N)    eliminated right-hand side
 * An exactly zero pivot carries the previous ratios forward (zero ratios
 * for the first row): the result is finite but does not solve the system.
 * Cost: 8N flops.  Method: the Thomas algorithm, as ORVK_TRIDIA. */
extern "C" ORVK_API void ORVK_TOMETH(const double* A, const IWORD* N, const double* D, double* X,
                                     double* GAM, double* BET) {
  Vec1<const double> d(D);
  Vec1<double> x(X), gam(GAM), bet(BET);
  const IWORD n = *N;
  if (n < 1) return;
  const Mat1<const double> a(A, 3);
  x(1) = a(2, 1);
  gam(1) = x(1) == 0.0 ? 0.0 : a(3, 1) / x(1);
  bet(1) = x(1) == 0.0 ? 0.0 : d(1) / x(1);
  for (IWORD k = 2; k <= n; ++k) {
    const double p = a(2, k) - a(1, k) * gam(k - 1);
    x(k) = p;
    if (p == 0.0) {
      gam(k) = gam(k - 1);
      bet(k) = bet(k - 1);
    } else {
      gam(k) = a(3, k) / p;
      bet(k) = (d(k) - a(1, k) * bet(k - 1)) / p;
    }
  }
  x(n) = bet(n);
  for (IWORD k = n - 1; k >= 1; --k) x(k) = bet(k) - gam(k) * x(k + 1);
}
