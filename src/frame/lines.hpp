// Values written as a stream of lines: a fixed number of items to a line,
// each line opened by the same number of blanks, the last line short.
#pragma once

#include <string_view>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "orvika/orvika_types.h"

namespace orvika {

// Writes COUNT items to UNIT, PER_LINE to a line, each line opened by LEAD
// blanks; ITEM(rec, k) appends item k (0-based) to the record.  With no
// items the output is one empty line.
//
// HEAD, when given, opens the first line in place of the lead blanks (a
// label before the first values); with no items the head is written alone,
// without its trailing blanks.
template <class Item>
void value_lines(IWORD unit, IWORD count, int per_line, int lead, Item item,
                 const Rec* head = nullptr) {
  if (count <= 0) {
    if (head == nullptr) {
      write_empty(unit);
      return;
    }
    std::string_view s = head->view();
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    write_rec(unit, s);
    return;
  }
  Rec r;
  int on_line = 0;
  for (IWORD k = 0; k < count; ++k) {
    if (on_line == 0) {
      if (k == 0 && head != nullptr) {
        r = *head;
      } else {
        r.clear();
        r.X(lead);
      }
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
