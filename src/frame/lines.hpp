// Values written as a stream of lines: a fixed number of items to a line,
// each line opened by the same number of blanks, the last line short.
#pragma once

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "orvika/orvika_types.h"

namespace orvika {

// Writes COUNT items to UNIT, PER_LINE to a line, each line opened by LEAD
// blanks; ITEM(rec, k) appends item k (0-based) to the record.  With no
// items the output is one empty line.
template <class Item>
void value_lines(IWORD unit, IWORD count, int per_line, int lead, Item item) {
  if (count <= 0) {
    write_empty(unit);
    return;
  }
  Rec r;
  int on_line = 0;
  for (IWORD k = 0; k < count; ++k) {
    if (on_line == 0) {
      r.clear();
      r.X(lead);
    }
    item(r, k);
    if (++on_line == per_line) {
      write_rec(unit, r);
      on_line = 0;
    }
  }
  if (on_line > 0) write_rec(unit, r);
}

}  // namespace orvika
