// LOGSCL: Curtis-Reid logarithmic least-squares scaling of a square matrix.
#include <cmath>

#include "frame/views.hpp"
#include "kernels/logscale.hpp"
#include "nsolve/nsolve.hpp"

namespace orvika {

namespace {

// Visits every entry that takes part (finite magnitude above 0, row and
// column inside the matrix) as fn(i, j, ln|a|), 1-based i and j.
template <class Fn>
void each_entry(IWORD M, IWORD N, IWORD NE, IWORD MODE, const IWORD* IRN, const IWORD* ICN,
                const double* A, Fn fn) {
  auto take = [](double a) {
    const double m = std::fabs(a);
    return m > 0.0 && std::isfinite(m);
  };
  if (MODE == 2) {
    const Mat1<const double> a(A, M);
    for (IWORD j = 1; j <= N; ++j)
      for (IWORD i = 1; i <= M; ++i) {
        const double v = a(i, j);
        if (take(v)) fn(i, j, v);
      }
    return;
  }
  const Vec1<const IWORD> irn(IRN, NE), icn(ICN, NE);
  const Vec1<const double> a(A, NE);
  for (IWORD k = 1; k <= NE; ++k) {
    const IWORD i = irn(k), j = icn(k);
    if (i < 1 || i > M || j < 1 || j > N) continue;
    if (take(a(k))) fn(i, j, a(k));
  }
}

}  // namespace

// The normal equations of the fit are solved by conjugate gradients on the
// column values with the row values eliminated (Curtis and Reid, "On the
// automatic scaling of matrices for Gaussian elimination", 1972).
void LOGSCL(IWORD M, IWORD N, IWORD& NE, IWORD MODE, const IWORD* IRN, const IWORD* ICN,
            const double* A, double* RLOG, double* CLOG, double* W, double* W2) {
  const Vec1<double> rlog(RLOG, M), clog(CLOG, N);
  if (MODE == 2) NE = M * N;
  for (IWORD i = 1; i <= M; ++i) rlog(i) = 0.0;
  for (IWORD j = 1; j <= N; ++j) clog(j) = 0.0;
  if (NE < 1 || M < 1 || N < 1) return;
  const Vec1<double> nr(W, M);         // n_i
  const Vec1<double> rmean(W + M, M);  // mean ln|a| of row i
  const Vec1<double> mc(W2, N);        // m_j
  const Vec1<double> c(W2 + N, N);     // column solution
  const Vec1<double> d(W2 + 2 * N, N);
  const Vec1<double> w(W, 2 * M), w2(W2, 3 * N);
  for (IWORD i = 1; i <= 2 * M; ++i) w(i) = 0.0;
  for (IWORD j = 1; j <= 3 * N; ++j) w2(j) = 0.0;

  auto entries = [&](auto fn) { each_entry(M, N, NE, MODE, IRN, ICN, A, fn); };

  LogScaleRules rule;
  rule.sm = 0.1 * static_cast<double>(NE);
  rule.column_guard = LogScaleRules::Guard::kE;
  rule.q_unless_above = true;
  rule.guard_direction = true;
  log_scale(M, N, entries, rlog, clog, nr, mc, c, d, rmean, rule);
}

}  // namespace orvika
