// Test helper: the Matrix Market reader (coordinate, real or pattern,
// general, symmetric or skew-symmetric, square) for the real matrices in
// ../shared/matrices.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sparse.hpp"

namespace orvika_test {

// Reads FILE into T (named by the file's stem); returns false (with MSG
// set) when it cannot.  Header-only so that the benchmarks can read the
// shared matrices as well.
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
  IWORD nrow = 0, ncol = 0, nnz = 0;
  std::istringstream ss(line);
  if (!(ss >> nrow >> ncol >> nnz)) return fail("bad size line");
  if (nrow != ncol) return fail("not square");
  t.name = std::filesystem::path(file).stem().string();
  t.n = nrow;
  t.row.clear();
  t.col.clear();
  t.val.clear();
  for (IWORD k = 0; k < nnz; ++k) {
    IWORD i, j;
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
