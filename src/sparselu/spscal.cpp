// SPSCAL: logarithmic scaling of a sparse matrix by least squares on the
// logarithms of the entry magnitudes, solved by conjugate gradients (A. R.
// Curtis and J. K. Reid, "On the automatic scaling of matrices for Gaussian
// elimination", J. Inst. Maths Applics 10 (1972) 118-124).
#include "kernels/logscale.hpp"
#include "sparselu/sparselu.hpp"

namespace orvika {

void SPSCAL(IWORD N, IWORD LP, IWORD NZ, RV A, IV IRP, IV ICI, RV R, RV CF, IV NR, IV NC, RV CSUM,
            RV CDIR, RV RAVG) {
  if (N < 1) {
    if (LP > 0) sp_message(LP, SpLine().t("ERROR RETURN").i(1, 3).t(" FROM SPSCAL"));
    return;
  }

  // Calls f(i, j, a) for every entry with a nonzero value and a column in 1..N.
  auto each = [&](auto f) {
    for (IWORD i = 1; i <= N; ++i)
      for (IWORD k = IRP(i); k < IRP(i + 1); ++k) {
        const IWORD j = ICI(k);
        if (j >= 1 && j <= N && A.get(k) != 0.0) f(i, j, A.get(k));
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
  LogScaleRules rule;
  rule.sm = 0.1 * static_cast<double>(IRP(N + 1) - 1);
  rule.column_guard = LogScaleRules::Guard::kQ;
  rule.q_unless_above = true;
  rule.guard_direction = true;
  rule.rescale_without_iteration = true;
  log_scale(N, N, each, R, CF, NR, NC, CSUM, CDIR, RAVG, rule);
}

}  // namespace orvika
