// SSCALV, SSCALJ, VCLAMP: scaling of the sparse Newton solvers' vectors
// and Jacobians, and the clamp of scaled values.
#include <cmath>

#include "frame/views.hpp"
#include "nsolve/nsolve.hpp"

namespace orvika {

void SSCALV(IWORD N, IWORD MODE, IWORD FLAG, double* X, const double* S, double* Y) {
  if (N <= 0) return;
  if (MODE == 1) {
    for (IWORD i = 0; i < N; ++i) Y[i] = FLAG != 0 ? X[i] / S[i] : X[i];
  } else if (MODE == 2) {
    for (IWORD i = 0; i < N; ++i) X[i] = FLAG != 0 ? S[i] * Y[i] : Y[i];
  }
}

void SSCALJ(IWORD /*N1*/, IWORD N, IWORD NZ, IWORD ISTOR, IWORD MODE, IWORD IRS,
            const double* RFAC, IWORD ICS, const double* CFAC, const IWORD* IRN, const IWORD* ICN,
            double* BJ, double* BJS) {
  const bool coord = ISTOR == 1;
  if (coord && NZ <= 0) return;
  const bool scale = MODE == 1;
  double* to = scale ? BJS : BJ;
  const double* from = scale ? BJ : BJS;
  for (IWORD k = 0; k < NZ; ++k) to[k] = from[k];
  const Vec1<const double> rfac(RFAC, N), cfac(CFAC, N);
  auto inside = [N](IWORD i) { return i >= 1 && i <= N; };
  if (coord) {
    const Vec1<const IWORD> irn(IRN, NZ), icn(ICN, NZ);
    const Vec1<double> t(to, NZ);
    if (IRS > 0)
      for (IWORD k = 1; k <= NZ; ++k)
        if (inside(irn(k))) t(k) = scale ? t(k) / rfac(irn(k)) : t(k) * rfac(irn(k));
    if (ICS > 0)
      for (IWORD k = 1; k <= NZ; ++k)
        if (inside(icn(k))) t(k) = scale ? t(k) * cfac(icn(k)) : t(k) / cfac(icn(k));
    return;
  }
  if (N <= 0) return;
  const Mat1<double> t(to, N);
  if (IRS > 0)
    for (IWORD j = 1; j <= N; ++j)
      for (IWORD i = 1; i <= N; ++i) {
        double& v = t(i, j);
        v = scale ? v / rfac(i) : v * rfac(i);
      }
  if (ICS > 0)
    for (IWORD j = 1; j <= N; ++j)
      for (IWORD i = 1; i <= N; ++i) {
        double& v = t(i, j);
        v = scale ? v * cfac(j) : v / cfac(j);
      }
}

void VCLAMP(IWORD N, double LO, double HI, double* X) {
  for (IWORD i = 0; i < N; ++i) {
    const double x = X[i];
    const double m = std::isnan(x) ? HI : std::fabs(x);
    const double c = std::fmax(LO, std::fmin(HI, m));
    X[i] = x < 0.0 ? -c : c;
  }
}

}  // namespace orvika
