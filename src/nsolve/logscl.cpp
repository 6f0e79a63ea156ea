// LOGSCL: Curtis-Reid logarithmic least-squares scaling of a square matrix.
#include <cmath>

#include "frame/views.hpp"
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

  entries([&](IWORD i, IWORD j, double a) {
    const double u = std::log(std::fabs(a));
    nr(i) += 1.0;
    mc(j) += 1.0;
    rlog(i) += u;
    c(j) += u;
  });
  for (IWORD i = 1; i <= M; ++i) {
    if (nr(i) == 0.0) nr(i) = 1.0;
    rlog(i) /= nr(i);
    rmean(i) = rlog(i);
  }
  for (IWORD j = 1; j <= N; ++j) {
    if (mc(j) == 0.0) mc(j) = 1.0;
    c(j) /= mc(j);
  }
  const double SM = 0.1 * static_cast<double>(NE);
  entries([&](IWORD i, IWORD j, double) { rlog(i) -= c(j) / nr(i); });
  double S = 0.0;
  for (IWORD i = 1; i <= M; ++i) S += nr(i) * rlog(i) * rlog(i);

  if (S > SM) {
    double eprev = 0.0, Q = 1.0;
    bool rows_scaled = false;  // rlog holds the scaled row form of step 8 below
    for (int it = 0; it < 100; ++it) {
      entries([&](IWORD i, IWORD j, double) { clog(j) += rlog(i); });
      double Sold = S;
      S = 0.0;
      for (IWORD j = 1; j <= N; ++j) {
        const double v = -clog(j) / Q;
        clog(j) = v / mc(j);
        S += v * clog(j);
      }
      double E = Q * S / Sold;
      const double Q1 = 1.0 - E;
      // A vanishing Q1 would divide by zero below: take the iterate as final.
      const bool stop = S <= SM || Q1 == 0.0 || !std::isfinite(E);
      if (stop) E = 0.0;
      for (IWORD i = 1; i <= M; ++i) rlog(i) = rlog(i) * E * nr(i);
      if (stop) {
        rows_scaled = false;
        break;
      }
      const double EM = eprev * E;
      entries([&](IWORD i, IWORD j, double) { rlog(i) += clog(j); });
      Sold = S;
      S = 0.0;
      for (IWORD i = 1; i <= M; ++i) {
        const double v = -rlog(i) / Q1;
        rlog(i) = v / nr(i);
        S += v * rlog(i);
      }
      rows_scaled = true;
      eprev = Q1 * S / Sold;
      Q = S > SM ? 1.0 - eprev : 1.0;
      const double QM = Q1 * Q;
      if (QM == 0.0 || !std::isfinite(QM)) break;  // no further direction
      for (IWORD j = 1; j <= N; ++j) {
        d(j) = (EM * d(j) + clog(j)) / QM;
        c(j) += d(j);
      }
      if (S <= SM) break;
      for (IWORD j = 1; j <= N; ++j) clog(j) = clog(j) * eprev * mc(j);
    }
    if (rows_scaled)
      for (IWORD i = 1; i <= M; ++i) rlog(i) *= nr(i);
  }
  entries([&](IWORD i, IWORD j, double) { rlog(i) += c(j); });
  for (IWORD i = 1; i <= M; ++i) rlog(i) = rlog(i) / nr(i) - rmean(i);
  for (IWORD j = 1; j <= N; ++j) clog(j) = -c(j);
}

}  // namespace orvika
