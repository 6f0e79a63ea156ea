#include "support/mtx.hpp"

#include <filesystem>

#include "support/capture.hpp"

namespace orvika_test {

std::string shared_matrix(const std::string& name) {
  const std::string dir = matrix_dir();
  if (dir.empty()) return {};
  std::filesystem::path p = std::filesystem::path(dir) / name;
  return std::filesystem::is_regular_file(p) ? p.string() : std::string();
}

}  // namespace orvika_test
