// Helpers of the sparse LU tests: small row-form matrices held in vectors
// with spare room, and the views the package routines take.
#pragma once

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "sparselu/sparselu.hpp"

namespace sptest {

using orvika::IV;
using orvika::RV;

inline IV iv(std::vector<IWORD>& v) { return IV(v.data(), static_cast<IWORD>(v.size())); }
inline RV rv(std::vector<double>& v) { return RV(v.data(), static_cast<IWORD>(v.size())); }

// A row-form matrix of order n with ROOM entries of space in ICI and A.
struct Csr {
  IWORD n = 0, nz = 0;
  std::vector<IWORD> irp, ici;
  std::vector<double> a;

  // Rows given as column lists; the value of (i, j) is i + j/1000.
  static Csr from_rows(const std::vector<std::vector<IWORD>>& rows, IWORD room = -1) {
    Csr m;
    m.n = static_cast<IWORD>(rows.size());
    m.irp.push_back(1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      for (IWORD j : rows[i]) {
        m.ici.push_back(j);
        m.a.push_back(static_cast<double>(i + 1) + static_cast<double>(j) / 1000.0);
      }
      m.irp.push_back(static_cast<IWORD>(m.ici.size()) + 1);
    }
    m.nz = static_cast<IWORD>(m.ici.size());
    const IWORD r = room < 0 ? m.nz + m.n + 2 : room;
    m.ici.resize(static_cast<std::size_t>(std::max(r, m.nz)), 0);
    m.a.resize(m.ici.size(), 0.0);
    return m;
  }
  // Columns of row i (1-based) in storage order.
  std::vector<IWORD> row(IWORD i) const {
    return std::vector<IWORD>(ici.begin() + (irp[i - 1] - 1), ici.begin() + (irp[i] - 1));
  }
  double value(IWORD i, IWORD j) const {
    for (IWORD k = irp[i - 1]; k < irp[i]; ++k)
      if (ici[k - 1] == j) return a[k - 1];
    return 0.0;
  }
  bool has(IWORD i, IWORD j) const {
    for (IWORD k = irp[i - 1]; k < irp[i]; ++k)
      if (ici[k - 1] == j) return true;
    return false;
  }
};

// Random square pattern: each row gets about DENSITY entries (columns
// ascending, no repeats); with FULLDIAG every diagonal entry is present.
inline std::vector<std::vector<IWORD>> random_rows(std::mt19937_64& rng, IWORD n, double density,
                                                   bool fulldiag) {
  std::vector<std::vector<IWORD>> rows(static_cast<std::size_t>(n));
  std::uniform_int_distribution<IWORD> col(1, n);
  for (IWORD i = 1; i <= n; ++i) {
    std::set<IWORD> s;
    if (fulldiag) s.insert(i);
    const IWORD want = std::max<IWORD>(1, static_cast<IWORD>(density * (0.5 + std::uniform_real_distribution<double>(0, 1)(rng))));
    while (static_cast<IWORD>(s.size()) < std::min(want, n)) s.insert(col(rng));
    rows[static_cast<std::size_t>(i - 1)].assign(s.begin(), s.end());
  }
  return rows;
}

}  // namespace sptest
