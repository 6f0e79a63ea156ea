// ORVK_MC19AD: logarithmic row and column scaling of a sparse matrix.
#include <cmath>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/units.hpp"
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
 * column number outside 1..N).
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
  for (IWORD k = 0; k < nz; ++k) {
    if (IRN[k] < 1 || IRN[k] > n || ICN[k] < 1 || ICN[k] > n) {
      mc19_error(3);
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
  Vec1<const double> a(A);
  Vec1<const IDX16> irn(IRN), icn(ICN);
  for (IWORD k = 1; k <= nz; ++k) {
    if (a(k) == 0.0) continue;
    const double u = std::log(std::fabs(a(k)));
    rcount(irn(k)) += 1.0;
    ccount(icn(k)) += 1.0;
    r(irn(k)) += u;
    cpower(icn(k)) += u;
  }
  for (IWORD i = 1; i <= n; ++i) {
    if (rcount(i) == 0.0) rcount(i) = 1.0;
    if (ccount(i) == 0.0) ccount(i) = 1.0;
  }
  for (IWORD i = 1; i <= n; ++i) {
    cpower(i) /= ccount(i);
    r(i) /= rcount(i);
    rmean(i) = r(i);
  }
  const double sm = static_cast<double>(nz) * static_cast<double>(0.1f);
  for (IWORD k = 1; k <= nz; ++k) {
    if (a(k) == 0.0) continue;
    r(irn(k)) -= cpower(icn(k)) / rcount(irn(k));
  }
  double s = 0.0;
  for (IWORD i = 1; i <= n; ++i) s += r(i) * r(i) * rcount(i);
  double e = 0.0, q = 1.0;
  if (s > sm) {
    bool rescale = true;  // the row and limit exits; not the column exit
    for (int it = 1; it <= 100; ++it) {
      for (IWORD k = 1; k <= nz; ++k)
        if (a(k) != 0.0) c(icn(k)) += r(irn(k));
      double sc = 0.0;
      for (IWORD j = 1; j <= n; ++j) {
        const double vv = -c(j) / q;
        c(j) = vv / ccount(j);
        sc += vv * c(j);
      }
      double ec = q * sc / s;
      const double qc = 1.0 - ec;
      if (sc <= sm) ec = 0.0;
      for (IWORD i = 1; i <= n; ++i) r(i) = r(i) * ec * rcount(i);
      if (sc <= sm) {
        rescale = false;
        break;
      }
      const double em = e * ec;
      for (IWORD k = 1; k <= nz; ++k)
        if (a(k) != 0.0) r(irn(k)) += c(icn(k));
      double sr = 0.0;
      for (IWORD i = 1; i <= n; ++i) {
        const double vv = -r(i) / qc;
        r(i) = vv / rcount(i);
        sr += vv * r(i);
      }
      const double er = qc * sr / sc;
      const double qr = (sr <= sm) ? 1.0 : 1.0 - er;
      const double qq = qc * qr;
      for (IWORD j = 1; j <= n; ++j) {
        cstep(j) = (em * cstep(j) + c(j)) / qq;
        cpower(j) += cstep(j);
      }
      if (sr <= sm) break;
      for (IWORD j = 1; j <= n; ++j) c(j) = c(j) * er * ccount(j);
      e = er;
      q = qr;
      s = sr;
    }
    if (rescale)
      for (IWORD i = 1; i <= n; ++i) r(i) *= rcount(i);
  }
  for (IWORD k = 1; k <= nz; ++k)
    if (a(k) != 0.0) r(irn(k)) += cpower(icn(k));
  for (IWORD i = 1; i <= n; ++i) r(i) = r(i) / rcount(i) - rmean(i);
  for (IWORD j = 1; j <= n; ++j) c(j) = -cpower(j);
}
