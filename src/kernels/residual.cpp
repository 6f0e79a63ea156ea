// RESIDC, ORVK_RESID: residuals of a sparse solve A X = B, for a matrix in
// triplets and in compressed rows; the accuracy check of the library's own
// sparse solves.
#include <cmath>

#include "kernels/sparse.hpp"
#include "orvika/nsolve.h"

namespace orvika {

void RESIDC(IWORD N, IWORD NZ, const IWORD* IRN, const IWORD* ICN, const double* A,
            const double* X, const double* B, double* W, double& RNORM, double& RREL) {
  if (N <= 0) {
    RNORM = 0.0;
    RREL = 0.0;
    return;
  }
  for (IWORD i = 0; i < N; ++i) W[i] = 0.0;
  for (IWORD k = 0; k < NZ; ++k) {
    const IWORD i = IRN[k], j = ICN[k];
    if (i < 1 || i > N || j < 1 || j > N) continue;
    W[i - 1] += A[k] * X[j - 1];
  }
  double rr = 0.0, bb = 0.0;
  for (IWORD i = 0; i < N; ++i) {
    const double r = B[i] - W[i];
    rr += r * r;
    bb += B[i] * B[i];
  }
  RNORM = std::sqrt(rr);
  RREL = RNORM / std::fmax(std::sqrt(bb), 1e-10);
}

}  // namespace orvika

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
  const IWORD n = *N;
  if (n <= 0) {
    *RNORM = 0.0;
    *RREL = 0.0;
    return 1e-10;
  }
  double rr = 0.0, bb = 0.0;
  for (IWORD i = 0; i < n; ++i) {
    double ax = 0.0;
    for (IWORD k = IRP[i]; k < IRP[i + 1]; ++k) {
      if (k < 1) continue;
      const IWORD j = ICI[k - 1];
      if (j < 1 || j > n) continue;
      ax += A[k - 1] * X[j - 1];
    }
    const double r = B[i] - ax;
    rr += r * r;
    bb += B[i] * B[i];
  }
  const double bn = std::fmax(std::sqrt(bb), 1e-10);
  *RNORM = std::sqrt(rr);
  *RREL = *RNORM / bn;
  return bn;
}
