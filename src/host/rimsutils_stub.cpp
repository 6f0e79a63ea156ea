// Stand-in for the host utility library's text-file opener.
#include <string>

#include "orvika/host.h"
#include "orvika/units.h"

extern "C" ORVK_HOST_API IWORD RTO_SHARE_OPENEW(IWORD* unit, const char* name, IWORD* priv,
                                               int64_t name_len) {
  // Opens (creates or truncates) the file NAME, trailing blanks removed, on
  // the numbered unit UNIT.  Returns 0 on success, 1 on failure.
  if (!unit || !name || name_len <= 0) return 1;
  std::string path(name, static_cast<size_t>(name_len));
  while (!path.empty() && path.back() == ' ') path.pop_back();
  if (path.empty()) return 1;
  return orvk_unit_connect_file(static_cast<int>(*unit), path.c_str(), 0) == 0 ? 0 : 1;
}
