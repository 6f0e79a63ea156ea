// Filling the host's 80-character message lines.
#include "frame/hostdata.hpp"

#include <cstring>

namespace orvika::host {
namespace {
void set_line(char* line, std::string_view text) {
  std::size_t cap = static_cast<std::size_t>(VLK_MSGLINE_LEN);
  std::size_t n = text.size() < cap ? text.size() : cap;
  std::memcpy(line, text.data(), n);
  std::memset(line + n, ' ', cap - n);
}
}  // namespace

void set_errout(int k, std::string_view text) {
  if (k >= 1 && k <= VLK_ERROUT_LINES) set_line(VLK_ERROUT[k - 1], text);
}

void set_maxwrt(int k, std::string_view text) {
  if (k >= 1 && k <= VLK_MAXWRT_LINES) set_line(VLK_MAXWRT[k - 1], text);
}

}  // namespace orvika::host
