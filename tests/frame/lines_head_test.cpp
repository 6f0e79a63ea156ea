// The values-to-lines writer with and without a head that opens the first
// line: exact records for empty, short, full and wrapped runs.
#include "frame/lines.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.hpp"

namespace {

using orvika::Rec;
using Lines = std::vector<std::string>;

constexpr IWORD kUnit = 41;

struct Case {
  const char* what;
  IWORD count;
  int per_line;
  int lead;
  const char* head;  // nullptr: no head
  Lines expect;
};

TEST(ValueLines, RecordsWithAndWithoutHead) {
  const Case cases[] = {
      {"no items, no head: one empty line", 0, 3, 2, nullptr, {""}},
      {"no items, blank head: one empty line", 0, 3, 2, "  ", {""}},
      {"no items: the head alone, trailing blanks dropped", 0, 3, 2, "   7  ", {"   7"}},
      {"short line", 2, 3, 2, nullptr, {"  [0][1]"}},
      {"exactly full lines", 6, 3, 1, nullptr, {" [0][1][2]", " [3][4][5]"}},
      {"wrapped, last line short", 4, 3, 0, nullptr, {"[0][1][2]", "[3]"}},
      {"head opens the first line only", 5, 2, 4, "HD:", {"HD:[0][1]", "    [2][3]", "    [4]"}},
      {"head with one item", 1, 4, 6, "  12", {"  12[0]"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    orvika_test::UnitCapture cap(kUnit);
    auto item = [](Rec& r, IWORD k) { r.A("[").I(k, 1).A("]"); };
    if (c.head == nullptr) {
      orvika::value_lines(kUnit, c.count, c.per_line, c.lead, item);
    } else {
      const Rec head = Rec().A(c.head);
      orvika::value_lines(kUnit, c.count, c.per_line, c.lead, item, &head);
    }
    EXPECT_EQ(cap.lines(), c.expect);
  }
}

}  // namespace
