// Generated test matrices for benchmarks and bit-for-bit checks: flowsheet
// Jacobians (the examples' generator, examples/flowsheet_jacobian.h) and
// diagonally dominant bands, as triplet vectors.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "../examples/flowsheet_jacobian.h"

namespace orvika_bench {

struct Triplet {
  std::string name;
  long n = 0;
  std::vector<long> r, c;  // 1-based
  std::vector<double> v;
  long nz() const { return static_cast<long>(v.size()); }
};

// Linear congruential generator of the test matrices.
struct FlowRng {
  fs_rng g;
  explicit FlowRng(std::uint64_t seed) : g{seed * 0x9E3779B97F4A7C15ULL + 12345} {}
  double next() { return fs_next(&g); }
  long below(long n) { return fs_below(&g, n); }
};

// The flowsheet Jacobian of order N (empty when memory runs out).
inline Triplet flowsheet(long n, std::uint64_t seed = 1) {
  Triplet m;
  m.name = "flowsheet_" + std::to_string(n);
  fs_matrix a;
  if (!fs_generate(&a, n, seed)) return m;
  m.n = n;
  m.r.assign(a.r, a.r + a.nz);
  m.c.assign(a.c, a.c + a.nz);
  m.v.assign(a.v, a.v + a.nz);
  fs_free(&a);
  return m;
}

// Banded and diagonally dominant, half-bandwidth W: diagonal 4W, the other
// entries uniform in [-0.5, 0.5).
inline Triplet banded(long n, long w) {
  Triplet m;
  m.name = "band" + std::to_string(w) + "_" + std::to_string(n);
  m.n = n;
  FlowRng g(static_cast<std::uint64_t>(n));
  for (long i = 1; i <= n; ++i)
    for (long j = std::max(1L, i - w); j <= std::min(n, i + w); ++j)
      m.r.push_back(i), m.c.push_back(j), m.v.push_back(i == j ? 4.0 * static_cast<double>(w) : g.next() - 0.5);
  return m;
}

}  // namespace orvika_bench
