// Test helpers: capture what the library writes on a numbered unit.
#pragma once

#include <string>
#include <vector>

namespace orvika_test {

// Connects UNIT to an in-memory list of records for the lifetime of the
// object, then returns the unit to its default destination.
class UnitCapture {
 public:
  explicit UnitCapture(int unit);
  ~UnitCapture();
  UnitCapture(const UnitCapture&) = delete;
  UnitCapture& operator=(const UnitCapture&) = delete;

  const std::vector<std::string>& lines() const { return lines_; }
  // All records joined, each followed by '\n'.
  std::string text() const;
  void clear() { lines_.clear(); }

 private:
  static void sink(void* ctx, int unit, const char* text, std::size_t len);
  int unit_;
  std::vector<std::string> lines_;
};

// Directory of the shared real test matrices ("" when it does not exist);
// the environment variable ORVIKA_MATRIX_DIR overrides the built-in path.
std::string matrix_dir();

}  // namespace orvika_test
