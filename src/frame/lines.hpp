// Values written as a stream of lines: a fixed number of items to a line,
// each line opened by the same number of blanks (the first one possibly by
// a label instead), the last line short.
#pragma once

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "orvika/orvika_types.h"

namespace orvika {

// Writes COUNT items to UNIT, PER_LINE to a line, the first line opened by
// FIRST(rec) (a label, say) and every further line by LEAD blanks; ITEM(rec,
// k) appends item k (0-based) to the record.  With no items the output is
// the opened first line alone.
template <class Item, class First>
void value_lines(IWORD unit, IWORD count, int per_line, int lead, Item item, First first) {
  Rec r;
  first(r);
  int on_line = 0;
  for (IWORD k = 0; k < count; ++k) {
    if (on_line == per_line) {
      write_rec(unit, r);
      r.clear();
      r.X(lead);
      on_line = 0;
    }
    item(r, k);
    ++on_line;
  }
  write_rec(unit, r);
}

// Writes COUNT items to UNIT, PER_LINE to a line, each line opened by LEAD
// blanks; ITEM(rec, k) appends item k (0-based) to the record.  With no
// items the output is one empty line.
template <class Item>
void value_lines(IWORD unit, IWORD count, int per_line, int lead, Item item) {
  if (count <= 0) {
    write_empty(unit);
    return;
  }
  value_lines(unit, count, per_line, lead, item, [lead](Rec& r) { r.X(lead); });
}

}  // namespace orvika
