// Numbered units: where the records of the library go.
#pragma once

#include <cstddef>
#include <string_view>

#include "format.hpp"
#include "orvika/orvika_types.h"

namespace orvika {

// The unit number of an IWORD: its low 32 bits.
inline int unit_of(IWORD u) { return static_cast<int>(static_cast<std::uint32_t>(u)); }

// Writes one record on UNIT (low 32 bits used).
void write_rec(IWORD unit, std::string_view text);
inline void write_rec(IWORD unit, const Rec& r) { write_rec(unit, r.view()); }
// Writes an empty record.
inline void write_empty(IWORD unit) { write_rec(unit, std::string_view{}); }

// Opens the file NAME on UNIT for formatted sequential output (and input).
// STATUS: "NEW", "OLD", "REPLACE", "UNKNOWN" or "SCRATCH".  Returns 0 on
// success, a positive error number otherwise.
int unit_open(IWORD unit, std::string_view name, std::string_view status = "UNKNOWN");
// Closes UNIT (no effect when it is not open).
void unit_close(IWORD unit);
// True when UNIT is connected to a file or a sink.
bool unit_opened(IWORD unit);
// True when a file of that name exists, whether or not it can be opened.
bool file_exists(std::string_view name);
// Reads the next record of UNIT into BUF (at most CAP characters kept;
// the rest of the record is skipped).  Returns the record length kept, or
// -1 at end of file, -2 when the unit cannot be read.
long read_rec(IWORD unit, char* buf, std::size_t cap);

// Ends the process through the stop hook after writing MSG; returns only
// when a replacement hook returns.
void stop(std::string_view msg);

}  // namespace orvika
