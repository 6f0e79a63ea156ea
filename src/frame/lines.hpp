// Values written as a stream of lines: a fixed number of items to a line,
// each line opened by the same number of blanks (or, in the general form,
// by what the caller puts first), the last line short.
#pragma once

#include <string_view>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "orvika/orvika_types.h"

namespace orvika {

// The general form: COUNT items, PER_LINE to a line.  Each line starts on a
// cleared record with OPEN(rec, k), k (0-based) the first item of the line
// (a label on the first line, the number of the first item ...); ITEM(rec,
// k) appends item k; EMIT(rec) writes the finished line (to a unit, to a
// message routine ...).  With no items nothing is written.
template <class Open, class Item, class Emit>
void value_lines_with(IWORD count, int per_line, Open open, Item item, Emit emit) {
  Rec r;
  int on_line = 0;
  for (IWORD k = 0; k < count; ++k) {
    if (on_line == 0) {
      r.clear();
      open(r, k);
    }
    item(r, k);
    if (++on_line == per_line) {
      emit(r);
      on_line = 0;
    }
  }
  if (on_line > 0) emit(r);
}

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
  value_lines_with(
      count, per_line,
      [lead, head](Rec& r, IWORD k) {
        if (k == 0 && head != nullptr)
          r = *head;
        else
          r.X(lead);
      },
      item, [unit](const Rec& r) { write_rec(unit, r); });
}

}  // namespace orvika
