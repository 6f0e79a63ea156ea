// LOGSCL: Curtis-Reid logarithmic least-squares scaling of a square matrix.
#include <cmath>

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
    for (IWORD j = 1; j <= N; ++j)
      for (IWORD i = 1; i <= M; ++i) {
        const double a = A[(i - 1) + M * (j - 1)];
        if (take(a)) fn(i, j, a);
      }
    return;
  }
  for (IWORD k = 0; k < NE; ++k) {
    const IWORD i = IRN[k], j = ICN[k];
    if (i < 1 || i > M || j < 1 || j > N) continue;
    if (take(A[k])) fn(i, j, A[k]);
  }
}

}  // namespace

// The normal equations of the fit are solved by conjugate gradients on the
// column values with the row values eliminated (Curtis and Reid, "On the
// automatic scaling of matrices for Gaussian elimination", 1972).
void LOGSCL(IWORD M, IWORD N, IWORD& NE, IWORD MODE, const IWORD* IRN, const IWORD* ICN,
            const double* A, double* RLOG, double* CLOG, double* W, double* W2) {
  if (MODE == 2) NE = M * N;
  for (IWORD i = 0; i < M; ++i) RLOG[i] = 0.0;
  for (IWORD j = 0; j < N; ++j) CLOG[j] = 0.0;
  if (NE < 1 || M < 1 || N < 1) return;
  double* nr = W;        // n_i
  double* rmean = W + M; // mean ln|a| of row i
  double* mc = W2;       // m_j
  double* c = W2 + N;    // column solution
  double* d = W2 + 2 * N;
  for (IWORD i = 0; i < 2 * M; ++i) W[i] = 0.0;
  for (IWORD j = 0; j < 3 * N; ++j) W2[j] = 0.0;

  auto entries = [&](auto fn) { each_entry(M, N, NE, MODE, IRN, ICN, A, fn); };

  entries([&](IWORD i, IWORD j, double a) {
    const double u = std::log(std::fabs(a));
    nr[i - 1] += 1.0;
    mc[j - 1] += 1.0;
    RLOG[i - 1] += u;
    c[j - 1] += u;
  });
  for (IWORD i = 0; i < M; ++i) {
    if (nr[i] == 0.0) nr[i] = 1.0;
    RLOG[i] /= nr[i];
    rmean[i] = RLOG[i];
  }
  for (IWORD j = 0; j < N; ++j) {
    if (mc[j] == 0.0) mc[j] = 1.0;
    c[j] /= mc[j];
  }
  const double SM = 0.1 * static_cast<double>(NE);
  entries([&](IWORD i, IWORD j, double) { RLOG[i - 1] -= c[j - 1] / nr[i - 1]; });
  double S = 0.0;
  for (IWORD i = 0; i < M; ++i) S += nr[i] * RLOG[i] * RLOG[i];

  if (S > SM) {
    double eprev = 0.0, Q = 1.0;
    bool rows_scaled = false;  // RLOG holds the scaled row form of step 8 below
    for (int it = 0; it < 100; ++it) {
      entries([&](IWORD i, IWORD j, double) { CLOG[j - 1] += RLOG[i - 1]; });
      double Sold = S;
      S = 0.0;
      for (IWORD j = 0; j < N; ++j) {
        const double v = -CLOG[j] / Q;
        CLOG[j] = v / mc[j];
        S += v * CLOG[j];
      }
      double E = Q * S / Sold;
      const double Q1 = 1.0 - E;
      // A vanishing Q1 would divide by zero below: take the iterate as final.
      const bool stop = S <= SM || Q1 == 0.0 || !std::isfinite(E);
      if (stop) E = 0.0;
      for (IWORD i = 0; i < M; ++i) RLOG[i] = RLOG[i] * E * nr[i];
      if (stop) {
        rows_scaled = false;
        break;
      }
      const double EM = eprev * E;
      entries([&](IWORD i, IWORD j, double) { RLOG[i - 1] += CLOG[j - 1]; });
      Sold = S;
      S = 0.0;
      for (IWORD i = 0; i < M; ++i) {
        const double v = -RLOG[i] / Q1;
        RLOG[i] = v / nr[i];
        S += v * RLOG[i];
      }
      rows_scaled = true;
      eprev = Q1 * S / Sold;
      Q = S > SM ? 1.0 - eprev : 1.0;
      const double QM = Q1 * Q;
      if (QM == 0.0 || !std::isfinite(QM)) break;  // no further direction
      for (IWORD j = 0; j < N; ++j) {
        d[j] = (EM * d[j] + CLOG[j]) / QM;
        c[j] += d[j];
      }
      if (S <= SM) break;
      for (IWORD j = 0; j < N; ++j) CLOG[j] = CLOG[j] * eprev * mc[j];
    }
    if (rows_scaled)
      for (IWORD i = 0; i < M; ++i) RLOG[i] *= nr[i];
  }
  entries([&](IWORD i, IWORD j, double) { RLOG[i - 1] += c[j - 1]; });
  for (IWORD i = 0; i < M; ++i) RLOG[i] = RLOG[i] / nr[i] - rmean[i];
  for (IWORD j = 0; j < N; ++j) CLOG[j] = -c[j];
}

}  // namespace orvika
