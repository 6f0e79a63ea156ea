// Shared constants and small vector helpers of the tear-stream accelerator tests.
#pragma once

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "orvika/orvika_types.h"

namespace accel_test {

using Vec = std::vector<double>;

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kMis = 1.0e35;  // the stand-in host's RMISVAL

// Largest magnitude of the elements.
inline double norm_inf(const Vec& a) {
  double s = 0.0;
  for (double v : a) s = std::fmax(s, std::fabs(v));
  return s;
}

// N values uniform in [-1, 1].
inline Vec random_vec(std::mt19937_64& g, IWORD n) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Vec v(n);
  for (auto& x : v) x = u(g);
  return v;
}

// -I of order N, by columns.
inline Vec minus_identity(IWORD n) {
  Vec h(n * n, 0.0);
  for (IWORD i = 0; i < n; ++i) h[i + i * n] = -1.0;
  return h;
}

}  // namespace accel_test
