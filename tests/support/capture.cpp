#include "support/capture.hpp"

#include <cstdlib>
#include <filesystem>

#include "orvika/units.h"

namespace orvika_test {

UnitCapture::UnitCapture(int unit) : unit_(unit) { orvk_unit_connect_sink(unit, &UnitCapture::sink, this); }

UnitCapture::~UnitCapture() { orvk_unit_disconnect(unit_); }

void UnitCapture::sink(void* ctx, int, const char* text, std::size_t len) {
  static_cast<UnitCapture*>(ctx)->lines_.emplace_back(text, len);
}

std::string UnitCapture::text() const {
  std::string s;
  for (const auto& l : lines_) {
    s += l;
    s += '\n';
  }
  return s;
}

std::string matrix_dir() {
  // The environment may point elsewhere (a checkout beside the collection).
  const char* env = std::getenv("ORVIKA_MATRIX_DIR");
  std::filesystem::path p(env != nullptr && *env != '\0' ? env : ORVIKA_MATRIX_DIR);
  return std::filesystem::is_directory(p) ? p.string() : std::string();
}

}  // namespace orvika_test
