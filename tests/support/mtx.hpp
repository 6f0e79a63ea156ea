// Test helper: a small Matrix Market reader (coordinate, real or pattern,
// general or symmetric) for the real matrices in ../shared/matrices.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace orvika_test {

struct Triplets {
  std::int64_t nrow = 0, ncol = 0;
  std::vector<std::int64_t> row, col;  // 1-based
  std::vector<double> val;
  std::int64_t nz() const { return static_cast<std::int64_t>(val.size()); }
};

// Reads FILE; returns false (with MSG set) when it cannot.  Header-only so
// that the benchmarks can read the shared matrices as well.
inline bool read_mtx(const std::string& file, Triplets& t, std::string* msg = nullptr) {
  auto fail = [&](const std::string& m) {
    if (msg) *msg = file + ": " + m;
    return false;
  };
  std::ifstream in(file);
  if (!in) return fail("cannot open");
  std::string line;
  if (!std::getline(in, line) || line.rfind("%%MatrixMarket", 0) != 0) return fail("no header");
  std::istringstream hs(line);
  std::string banner, object, format, field, symmetry;
  hs >> banner >> object >> format >> field >> symmetry;
  if (format != "coordinate") return fail("not coordinate");
  const bool pattern = field == "pattern";
  const bool symmetric = symmetry == "symmetric" || symmetry == "skew-symmetric";
  const double skew = symmetry == "skew-symmetric" ? -1.0 : 1.0;
  while (std::getline(in, line) && (line.empty() || line[0] == '%')) {
  }
  std::int64_t nnz = 0;
  std::istringstream ss(line);
  if (!(ss >> t.nrow >> t.ncol >> nnz)) return fail("bad size line");
  t.row.clear();
  t.col.clear();
  t.val.clear();
  for (std::int64_t k = 0; k < nnz; ++k) {
    std::int64_t i, j;
    double v = 1.0;
    if (!(in >> i >> j)) return fail("short file");
    if (!pattern && !(in >> v)) return fail("short file");
    t.row.push_back(i);
    t.col.push_back(j);
    t.val.push_back(v);
    if (symmetric && i != j) {
      t.row.push_back(j);
      t.col.push_back(i);
      t.val.push_back(skew * v);
    }
  }
  return true;
}

// Path of a shared test matrix NAME ("" when the folder or file is absent).
std::string shared_matrix(const std::string& name);

}  // namespace orvika_test
