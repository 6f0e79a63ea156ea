// Generated test matrices for benchmarks and bit-for-bit checks: flowsheet
// Jacobians (the examples' generator, examples/flowsheet_jacobian.h),
// diagonally dominant bands and bordered near-diagonal patterns, as the
// tests' triplets.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "../examples/flowsheet_jacobian.h"
#include "../tests/support/sparse.hpp"

namespace orvika_bench {

// Linear congruential generator of the test matrices.
struct FlowRng {
  fs_rng g;
  explicit FlowRng(std::uint64_t seed) : g{seed * 0x9E3779B97F4A7C15ULL + 12345} {}
  double next() { return fs_next(&g); }
  long below(long n) { return fs_below(&g, n); }
};

// The flowsheet Jacobian of order N (empty when memory runs out).
inline orvika_test::Triplets flowsheet(long n, std::uint64_t seed = 1) {
  orvika_test::Triplets m;
  m.name = "flowsheet_" + std::to_string(n);
  fs_matrix a;
  if (!fs_generate(&a, n, seed)) return m;
  m.n = n;
  m.row.assign(a.r, a.r + a.nz);
  m.col.assign(a.c, a.c + a.nz);
  m.val.assign(a.v, a.v + a.nz);
  fs_free(&a);
  return m;
}

// Banded and diagonally dominant, half-bandwidth W: diagonal 4W, the other
// entries uniform in [-0.5, 0.5).
inline orvika_test::Triplets banded(long n, long w) {
  orvika_test::Triplets m;
  m.name = "band" + std::to_string(w) + "_" + std::to_string(n);
  m.n = n;
  FlowRng g(static_cast<std::uint64_t>(n));
  for (long i = 1; i <= n; ++i)
    for (long j = std::max(1L, i - w); j <= std::min(n, i + w); ++j)
      m.add(i, j, i == j ? 4.0 * static_cast<double>(w) : g.next() - 0.5);
  return m;
}

// Random near-diagonal pattern (diagonal plus two entries within +-50)
// with a dense-ish border: the last K columns hold an entry in 30% of the
// rows and the last K rows hold 200 random entries each.
inline orvika_test::Triplets bordered(long n, long k) {
  orvika_test::Triplets m;
  m.name = "border" + std::to_string(k) + "_" + std::to_string(n);
  m.n = n;
  fs_rng g{static_cast<std::uint64_t>(7 * n + k)};
  for (long i = 1; i <= n; ++i) {
    std::vector<long> cols{i};
    const bool border_row = i > n - k;
    const long extra = border_row ? 200 : 2;
    while (static_cast<long>(cols.size()) < 1 + extra) {
      long j = border_row ? 1 + fs_below(&g, n) : i - 50 + fs_below(&g, 101);
      if (j < 1 || j > n || std::find(cols.begin(), cols.end(), j) != cols.end()) continue;
      cols.push_back(j);
    }
    if (!border_row)
      for (long j = n - k + 1; j <= n; ++j)
        if (j != i && fs_next(&g) < 0.3 && std::find(cols.begin(), cols.end(), j) == cols.end())
          cols.push_back(j);
    for (long j : cols) m.add(i, j, j == i ? 10.0 : fs_next(&g) - 0.5);
  }
  return m;
}

}  // namespace orvika_bench
