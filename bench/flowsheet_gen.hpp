// Generated flowsheet Jacobians for benchmarks and bit-for-bit checks.
//
// A flowsheet of units in sequence: each unit holds 4-24 equations whose
// own block is 60 % dense with a dominant diagonal, is fed by 1-3 upstream
// units (coupling entries from the feeding unit's last variables, its
// outlet stream), and 5 % of the units take a recycle from a unit further
// downstream.  The rows of each unit are permuted inside the unit, as a
// simulator's equation order would leave them, so the diagonal is not on
// the diagonal and the transversal has work to do.  Deterministic for a
// given order and seed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

namespace orvika_bench {

struct Triplet {
  std::string name;
  long n = 0;
  std::vector<long> r, c;  // 1-based
  std::vector<double> v;
  long nz() const { return static_cast<long>(v.size()); }
};

struct FlowRng {
  std::uint64_t s;
  explicit FlowRng(std::uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ULL + 12345) {}
  double next() {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(s >> 11) * 0x1.0p-53;
  }
  long below(long n) { return static_cast<long>(next() * static_cast<double>(n)); }
};

// A flowsheet Jacobian of order about N (the last unit is cut to make it
// exactly N).
inline Triplet flowsheet(long n, std::uint64_t seed = 1) {
  Triplet m;
  m.name = "flowsheet_" + std::to_string(n);
  m.n = n;
  FlowRng g(seed + static_cast<std::uint64_t>(n));
  std::vector<long> first, size;  // unit u: rows/columns first[u] .. first[u]+size[u]-1
  for (long at = 1; at <= n;) {
    const long s = std::min(4 + g.below(21), n - at + 1);
    first.push_back(at);
    size.push_back(s);
    at += s;
  }
  const long units = static_cast<long>(first.size());
  std::vector<long> perm;
  for (long u = 0; u < units; ++u) {
    const long f = first[u], s = size[u];
    perm.resize(s);
    std::iota(perm.begin(), perm.end(), 0L);
    for (long k = s - 1; k > 0; --k) std::swap(perm[k], perm[g.below(k + 1)]);
    // Sources of coupling: 1-3 upstream units, and now and then a recycle.
    std::vector<long> feeds;
    const long nfeed = std::min(u, 1 + g.below(3));
    for (long k = 0; k < nfeed; ++k) feeds.push_back(u - 1 - g.below(std::min(u, 8L)));
    if (u + 1 < units && g.next() < 0.05) feeds.push_back(u + 1 + g.below(std::min(units - u - 1, 40L)));
    for (long i = 0; i < s; ++i) {
      const long row = f + perm[i];
      for (long j = 0; j < s; ++j)
        if (i == j || g.next() < 0.6) {
          m.r.push_back(row);
          m.c.push_back(f + j);
          m.v.push_back(i == j ? 2.0 + static_cast<double>(s) * (0.5 + g.next()) : g.next() - 0.5);
        }
      for (long src : feeds) {
        // Each equation sees 1-3 of the feeding unit's outlet variables.
        const long k = 1 + g.below(3);
        for (long t = 0; t < k && t < size[src]; ++t) {
          const long col = first[src] + size[src] - 1 - t;
          m.r.push_back(row);
          m.c.push_back(col);
          m.v.push_back(-0.3 * g.next());
        }
      }
    }
  }
  // Merge repeated (row, column) pairs: keep the first value.
  std::vector<long> p(m.v.size());
  std::iota(p.begin(), p.end(), 0L);
  std::stable_sort(p.begin(), p.end(), [&](long a, long b) { return m.r[a] != m.r[b] ? m.r[a] < m.r[b] : m.c[a] < m.c[b]; });
  Triplet o;
  o.name = m.name;
  o.n = n;
  for (std::size_t q = 0; q < p.size(); ++q) {
    const long k = p[q];
    if (q > 0 && m.r[p[q - 1]] == m.r[k] && m.c[p[q - 1]] == m.c[k]) continue;
    o.r.push_back(m.r[k]);
    o.c.push_back(m.c[k]);
    o.v.push_back(m.v[k]);
  }
  return o;
}

}  // namespace orvika_bench
