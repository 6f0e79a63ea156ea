// Random dense matrices and scaled ratios for the dense solver tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "orvika/orvika_types.h"
#include "support/sparse.hpp"

namespace dense_test {

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kRatioLimit = 30.0;  // scaled residual bound, in units of n*eps

// N x N matrix with entries uniform in [-1, 1], column-major with leading
// dimension LDA; rows N+1..LDA hold FILL.
inline std::vector<double> random_matrix(IWORD lda, IWORD n, unsigned seed, double fill = 0.0) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> a(static_cast<size_t>(lda * n), fill);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) a[i + j * lda] = u(gen);
  return a;
}

// Largest column sum of magnitudes of the N x N matrix A.
inline double norm1(const std::vector<double>& a, IWORD lda, IWORD n) {
  double m = 0.0;
  for (IWORD j = 0; j < n; ++j) {
    double s = 0.0;
    for (IWORD i = 0; i < n; ++i) s += std::fabs(a[i + j * lda]);
    m = std::max(m, s);
  }
  return m;
}

// Largest row sum of magnitudes of the N x N matrix A.
inline double norm_inf(const std::vector<double>& a, IWORD lda, IWORD n) {
  double m = 0.0;
  for (IWORD i = 0; i < n; ++i) {
    double s = 0.0;
    for (IWORD j = 0; j < n; ++j) s += std::fabs(a[i + j * lda]);
    m = std::max(m, s);
  }
  return m;
}

// Bound of the scaled residual (orvika_test::scaled_residual, with the
// largest row sum for |A|) of a solve with A: kRatioLimit in units of the
// 1-norm of A, as the factor and inverse ratios take it.
inline double residual_limit(const std::vector<double>& a, IWORD lda, IWORD n) {
  return kRatioLimit * norm1(a, lda, n) / norm_inf(a, lda, n);
}

// max |A*X - I| / (|A| |X| n eps) for an inverse X held like A.
inline double inverse_ratio(const std::vector<double>& a, const std::vector<double>& x, IWORD lda,
                            IWORD n) {
  double worst = 0.0;
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) {
      double s = 0.0;
      for (IWORD k = 0; k < n; ++k) s += a[i + k * lda] * x[k + j * lda];
      worst = std::max(worst, std::fabs(s - (i == j ? 1.0 : 0.0)));
    }
  return worst / (norm1(a, lda, n) * norm1(x, lda, n) * n * kEps);
}

}  // namespace dense_test
