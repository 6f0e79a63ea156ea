// ORVK_MC19AD: logarithmic row and column scaling of a sparse matrix.
#include <cmath>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "kernels/logscale.hpp"
#include "ma28/ma28.hpp"

namespace {

void mc19_error(int code) {
  using namespace orvika;
  const IWORD unit = host::repunit();
  write_empty(unit);
  write_empty(unit);
  write_rec(unit, Rec().A(" ERROR RETURN").I(code, 2).A(" FROM MC19"));
}

}  // namespace

/* ORVK_MC19AD computes row and column scale factors R(i) = exp(ROWLSC(i)),
 * C(j) = exp(COLLSC(j)) that minimise sum (ln|a(i,j)| + ROWLSC(i) +
 * COLLSC(j))^2 over the nonzero entries, by conjugate gradients with the
 * row and column counts as preconditioner (at most 100 iterations).
 *   N       in   IWORD        order, 1..32767
 *   NZ      in   IWORD        number of entries (zero values take no part)
 *   A       in   real(NZ)     values
 *   IRN     in   IDX16(NZ)    row numbers, each in 1..N
 *   ICN     in   IDX16(NZ)    column numbers, each in 1..N
 *   ROWLSC  out  real(N)      natural logarithms of the row scale factors
 *   COLLSC  out  real(N)      natural logarithms of the column scale factors
 *   W       work real(5N)
 * Failures are reported on the host's report unit only, the outputs left
 * untouched: " ERROR RETURN 1 FROM MC19" (N < 1), 2 (N > 32767), 3 (a row or
 * column number outside 1..N), 4 (a value that is NaN or infinite).
 * Cost O(NZ) per iteration.
 * Method: A. R. Curtis and J. K. Reid, On the automatic scaling of matrices
 * for Gaussian elimination, J. Inst. Maths Applics 10 (1972) 118-124. */
extern "C" ORVK_API void ORVK_MC19AD(const IWORD* N, const IWORD* NZ, const double* A,
                                     const IDX16* IRN, const IDX16* ICN, double* ROWLSC,
                                     double* COLLSC, double* W) {
  using namespace orvika;
  const IWORD n = *N, nz = *NZ;
  if (n < 1) {
    mc19_error(1);
    return;
  }
  if (n > 32767) {
    mc19_error(2);
    return;
  }
  const Vec1<const IDX16> irn(IRN), icn(ICN);
  for (IWORD k = 1; k <= nz; ++k) {
    if (irn(k) < 1 || irn(k) > n || icn(k) < 1 || icn(k) > n) {
      mc19_error(3);
      return;
    }
  }
  // A value that is not finite has no logarithm to fit: it would turn the
  // scale factors of every connected row and column into NaN.
  const Vec1<const double> a(A);
  for (IWORD k = 1; k <= nz; ++k) {
    if (!std::isfinite(a(k))) {
      mc19_error(4);
      return;
    }
  }
  Vec1<double> r(ROWLSC), c(COLLSC);
  Vec1<double> rcount(W), ccount(W + n), cpower(W + 2 * n), cstep(W + 3 * n), rmean(W + 4 * n);
  for (IWORD i = 1; i <= n; ++i) {
    r(i) = 0.0;
    c(i) = 0.0;
    rcount(i) = 0.0;
    ccount(i) = 0.0;
    cpower(i) = 0.0;
    cstep(i) = 0.0;
  }
  if (nz < 1) return;
  LogScaleRules rule;
  rule.sm = static_cast<double>(nz) * static_cast<double>(0.1f);
  rule.square_first = true;
  log_scale(
      n, n,
      [&](auto fn) {
        for (IWORD k = 1; k <= nz; ++k)
          if (a(k) != 0.0) fn(IWORD{irn(k)}, IWORD{icn(k)}, a(k));
      },
      r, c, rcount, ccount, cpower, cstep, rmean, rule);
}
