// SPSCAL: logarithmic scaling of a sparse matrix by least squares on the
// logarithms of the entry magnitudes, solved by conjugate gradients (A. R.
// Curtis and J. K. Reid, "On the automatic scaling of matrices for Gaussian
// elimination", J. Inst. Maths Applics 10 (1972) 118-124).
#include <cmath>

#include "sparselu/sparselu.hpp"

namespace orvika {

void SPSCAL(IWORD N, IWORD LP, IWORD NZ, RV A, IV IRP, IV ICI, RV R, RV CF, IV NR, IV NC, RV CSUM,
            RV CDIR, RV RAVG) {
  if (N < 1) {
    if (LP > 0) sp_message(LP, SpLine().t("ERROR RETURN").i(1, 3).t(" FROM SPSCAL"));
    return;
  }
  constexpr int kMaxIter = 100;

  // Calls f(i, j, k) for every entry with a nonzero value and a column in 1..N.
  auto each = [&](auto f) {
    for (IWORD i = 1; i <= N; ++i)
      for (IWORD k = IRP(i); k < IRP(i + 1); ++k) {
        const IWORD j = ICI(k);
        if (j >= 1 && j <= N && A.get(k) != 0.0) f(i, j, k);
      }
  };

  for (IWORD k = 1; k <= N; ++k) {
    R(k) = 0.0;
    CF(k) = 0.0;
    NR(k) = 0;
    NC(k) = 0;
    CSUM(k) = 0.0;
    CDIR(k) = 0.0;
  }
  each([&](IWORD i, IWORD j, IWORD k) {
    const double L = std::log(std::fabs(A.get(k)));
    R(i) += L;
    CSUM(j) += L;
    ++NR(i);
    ++NC(j);
  });
  for (IWORD k = 1; k <= N; ++k) {
    if (NC(k) == 0) NC(k) = 1;
    CSUM(k) = CSUM(k) / static_cast<double>(NC(k));
    if (NR(k) == 0) NR(k) = 1;
    R(k) = R(k) / static_cast<double>(NR(k));
    RAVG(k) = R(k);
  }

  const double SM = 0.1 * static_cast<double>(IRP(N + 1) - 1);
  each([&](IWORD i, IWORD j, IWORD) { R(i) -= CSUM(j) / static_cast<double>(NR(i)); });
  double e = 0.0;
  double q = 1.0;
  double s = 0.0;
  for (IWORD i = 1; i <= N; ++i) s += static_cast<double>(NR(i)) * R(i) * R(i);

  bool converged_in_column_half = false;
  if (s > SM) {
    for (int iter = 1; iter <= kMaxIter; ++iter) {
      each([&](IWORD i, IWORD j, IWORD) { CF(j) += R(i); });
      double s1 = 0.0;
      for (IWORD j = 1; j <= N; ++j) {
        const double v = -CF(j) / q;
        CF(j) = v / static_cast<double>(NC(j));
        s1 += v * CF(j);
      }
      double e1 = q * s1 / s;
      const double q1 = 1.0 - e1;
      // Converged, or a vanishing divisor: finish with the columns so far.
      const bool done = s1 <= SM || q1 == 0.0 || !std::isfinite(q1);
      if (done) e1 = 0.0;
      for (IWORD i = 1; i <= N; ++i) R(i) = R(i) * e1 * static_cast<double>(NR(i));
      if (done) {
        converged_in_column_half = true;
        break;
      }
      const double em = e * e1;
      each([&](IWORD i, IWORD j, IWORD) { R(i) += CF(j); });
      double s2 = 0.0;
      for (IWORD i = 1; i <= N; ++i) {
        const double v = -R(i) / q1;
        R(i) = v / static_cast<double>(NR(i));
        s2 += v * R(i);
      }
      e = q1 * s2 / s1;
      q = s2 > SM ? 1.0 - e : 1.0;
      const double qm = q1 * q;
      if (qm == 0.0 || !std::isfinite(qm)) break;
      for (IWORD j = 1; j <= N; ++j) {
        CDIR(j) = (em * CDIR(j) + CF(j)) / qm;
        CSUM(j) += CDIR(j);
      }
      if (s2 <= SM) break;
      for (IWORD j = 1; j <= N; ++j) CF(j) = CF(j) * e * static_cast<double>(NC(j));
      s = s2;
    }
  }
  if (!converged_in_column_half)
    for (IWORD i = 1; i <= N; ++i) R(i) = R(i) * static_cast<double>(NR(i));

  each([&](IWORD i, IWORD j, IWORD) { R(i) += CSUM(j); });
  for (IWORD k = 1; k <= N; ++k) {
    R(k) = R(k) / static_cast<double>(NR(k)) - RAVG(k);
    CF(k) = -CSUM(k);
  }
}

}  // namespace orvika
