// NSOLVE_FOPEN, NSOLVE_WRITELN, NSOLVE_FCLOSE: the text file of the sparse
// Newton solver family.
#include <string_view>

#include "frame/units.hpp"
#include "orvika/host.h"
#include "orvika/nsolve.h"

namespace {
// Private word handed to the host's opener; the library never reads or writes it.
IWORD g_open_word = 0;
}  // namespace

/* NSOLVE_FOPEN: opens the text file NAME on the numbered unit UNIT through the
 * host utility RTO_SHARE_OPENEW(UNIT, NAME, private word, length) and returns
 * its value unchanged.
 *   UNIT      in  IWORD        unit number (handed on as it is).
 *   NAME      in  text         file name (handed on as it is).
 *   NAME_LEN  in  by value     its length.
 * Returns the host utility's code.  Cost: one host call. */
extern "C" ORVK_API IWORD NSOLVE_FOPEN(IWORD* UNIT, const char* NAME, int64_t NAME_LEN) {
  return RTO_SHARE_OPENEW(UNIT, NAME, &g_open_word, NAME_LEN);
}

/* NSOLVE_WRITELN: writes TEXT without its trailing blanks (length from the
 * host's VLK_STRLEN, kept within 0..TEXT_LEN) as one record on UNIT; a blank
 * text writes an empty record.
 *   TEXT      in  text         the line.
 *   UNIT      in  IWORD        unit number.
 *   TEXT_LEN  in  by value     length of TEXT.
 * Cost: O(TEXT_LEN). */
extern "C" ORVK_API void NSOLVE_WRITELN(const char* TEXT, const IWORD* UNIT, int64_t TEXT_LEN) {
  IWORD l = TEXT_LEN > 0 ? VLK_STRLEN(TEXT, TEXT_LEN) : 0;
  if (l > TEXT_LEN) l = TEXT_LEN;
  if (l < 0) l = 0;  // last: a negative TEXT_LEN gives an empty record
  orvika::write_rec(*UNIT, std::string_view(TEXT, static_cast<std::size_t>(l)));
}

/* NSOLVE_FCLOSE: closes unit UNIT.
 *   UNIT  in  IWORD  unit number (a unit that is not open is left alone).
 * Cost: O(1). */
extern "C" ORVK_API void NSOLVE_FCLOSE(const IWORD* UNIT) { orvika::unit_close(*UNIT); }
