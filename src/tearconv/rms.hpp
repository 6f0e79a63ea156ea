// Root-mean-square of a vector of changes or residuals, shared by the
// tear-stream routines that report one.
#pragma once

#include <cmath>

#include "kernels/vector.hpp"
#include "orvika/orvika_types.h"

namespace orvika {

// sqrt(sum_j V(j)^2 / N) over j = 1..N, V(j) given by VALUE(j) (an excluded
// element gives 0); 0 for N < 1.  When the plain sum of squares overflows,
// it is formed again relative to the largest magnitude, so that finite
// values give a finite result; an infinite value still gives an infinite one.
template <class Value>
double rms_of(IWORD n, Value value) {
  if (n < 1) return 0.0;
  double sum = 0.0;
  for (IWORD j = 1; j <= n; ++j) {
    const double v = value(j);
    sum += v * v;
  }
  if (std::isinf(sum)) {
    double big = 0.0;
    for (IWORD j = 1; j <= n; ++j) big = std::fmax(big, std::fabs(value(j)));
    if (std::isinf(big)) return big;
    return scaled_norm(n, big, value) / std::sqrt(static_cast<double>(n));
  }
  return std::sqrt(sum / static_cast<double>(n));
}

}  // namespace orvika
