// Generated flowsheet Jacobians for benchmarks and bit-for-bit checks: the
// examples' generator (examples/flowsheet_jacobian.h) as triplet vectors.
#pragma once

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

}  // namespace orvika_bench
