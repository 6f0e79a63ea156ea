// RESIDC, ORVK_RESID: residuals of a sparse solve A X = B, for a matrix in
// triplets and in compressed rows; the accuracy check of the library's own
// sparse solves.
#include <cmath>
#include <limits>

#include "frame/views.hpp"
#include "kernels/sparse.hpp"
#include "kernels/vector.hpp"
#include "orvika/kernels_sparse.h"

namespace orvika {

namespace {

// Whether a sum of squares SS of terms whose largest magnitude is VMAX lost
// its value to overflow (infinity) or to underflow (below the smallest normal
// number while some term is not 0); such a sum is formed again, scaled.
bool needs_rescale(double ss, double vmax) {
  if (!(vmax > 0.0) || !std::isfinite(vmax)) return false;
  return std::isinf(ss) || ss < std::numeric_limits<double>::min();
}

}  // namespace

void RESIDC(IWORD N, IWORD NZ, const IWORD* IRN, const IWORD* ICN, const double* A,
            const double* X, const double* B, double* W, double& RNORM, double& RREL) {
  Vec1<const IWORD> irn(IRN), icn(ICN);
  Vec1<const double> a(A), x(X), b(B);
  Vec1<double> w(W);
  if (N <= 0) {
    RNORM = 0.0;
    RREL = 0.0;
    return;
  }
  for (IWORD i = 1; i <= N; ++i) w(i) = 0.0;
  for (IWORD k = 1; k <= NZ; ++k) {
    const IWORD i = irn(k), j = icn(k);
    if (i < 1 || i > N || j < 1 || j > N) continue;
    w(i) += a(k) * x(j);
  }
  double rr = 0.0, bb = 0.0, rmax = 0.0, bmax = 0.0;
  for (IWORD i = 1; i <= N; ++i) {
    const double r = b(i) - w(i);
    rr += r * r;
    bb += b(i) * b(i);
    rmax = std::fmax(rmax, std::fabs(r));
    bmax = std::fmax(bmax, std::fabs(b(i)));
  }
  RNORM = needs_rescale(rr, rmax) ? scaled_norm(N, rmax, [&](IWORD i) { return b(i) - w(i); })
                                  : std::sqrt(rr);
  const double bn =
      needs_rescale(bb, bmax) ? scaled_norm(N, bmax, [&](IWORD i) { return b(i); }) : std::sqrt(bb);
  RREL = RNORM / std::fmax(bn, 1e-10);
}

}  // namespace orvika

using orvika::Vec1;

/* ORVK_RESID: residual of a solve A X = B with A in compressed rows.
 *   N      in   IWORD         order; N <= 0 gives RNORM = RREL = 0 and the value 1e-10.
 *   IRP    in   IWORD (N+1)   row pointers: row i holds entries IRP(i) .. IRP(i+1)-1.
 *   ICI    in   IWORD         column number of each entry.
 *   A      in   real          entry values.
 *   X      in   real (N)      the solution to check.
 *   B      in   real (N)      the right-hand side.
 *   RNORM  out  real          |B - A X| (2-norm).
 *   RREL   out  real          RNORM / max(|B|, 1e-10).
 * Returns max(|B|, 1e-10).  Entries at positions below 1 or with a column
 * outside 1..N are left out.  Cost: one pass over the entries. */
extern "C" ORVK_API double ORVK_RESID(const IWORD* N, const IWORD* IRP, const IWORD* ICI,
                                      const double* A, const double* X, const double* B,
                                      double* RNORM, double* RREL) {
  Vec1<const IWORD> irp(IRP), ici(ICI);
  Vec1<const double> a(A), x(X), b(B);
  const IWORD n = *N;
  if (n <= 0) {
    *RNORM = 0.0;
    *RREL = 0.0;
    return 1e-10;
  }
  // Residual of row i.
  auto resid = [&](IWORD i) {
    double ax = 0.0;
    // Positions below 1 take no part: the walk starts at 1, so that a row
    // pointer far below it costs no time.
    for (IWORD k = irp(i) < 1 ? 1 : irp(i); k < irp(i + 1); ++k) {
      const IWORD j = ici(k);
      if (j < 1 || j > n) continue;
      ax += a(k) * x(j);
    }
    return b(i) - ax;
  };
  double rr = 0.0, bb = 0.0, rmax = 0.0, bmax = 0.0;
  for (IWORD i = 1; i <= n; ++i) {
    const double r = resid(i);
    rr += r * r;
    bb += b(i) * b(i);
    rmax = std::fmax(rmax, std::fabs(r));
    bmax = std::fmax(bmax, std::fabs(b(i)));
  }
  // A sum of squares that overflowed or underflowed is formed again scaled
  // (a second pass, only then).
  const double bn = std::fmax(
      orvika::needs_rescale(bb, bmax) ? orvika::scaled_norm(n, bmax, [&](IWORD i) { return b(i); })
                              : std::sqrt(bb),
      1e-10);
  *RNORM = orvika::needs_rescale(rr, rmax) ? orvika::scaled_norm(n, rmax, resid) : std::sqrt(rr);
  *RREL = *RNORM / bn;
  return bn;
}
