// The values-to-lines writer: line breaks, leads, the labelled first line
// and the empty cases, as exact text.
#include "frame/lines.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.hpp"

namespace {

using orvika::Rec;
using Lines = std::vector<std::string>;

constexpr int kUnit = 71;

struct Case {
  const char* what;
  IWORD count;
  int per_line;
  int lead;
  bool label;  // first line opened by "AB:" instead of the lead
  Lines want;
};

TEST(ValueLines, BreaksLeadsAndFirstLine) {
  const Case cases[] = {
      {"no items", 0, 3, 2, false, {""}},
      {"no items, labelled", 0, 3, 2, true, {"AB:"}},
      {"one short line", 2, 3, 2, false, {"    1  2"}},
      {"exactly one line", 3, 3, 1, false, {"   1  2  3"}},
      {"one item over", 4, 3, 1, false, {"   1  2  3", "   4"}},
      {"labelled, short", 2, 3, 4, true, {"AB:  1  2"}},
      {"labelled, exactly full", 3, 3, 4, true, {"AB:  1  2  3"}},
      {"labelled, two lines", 7, 3, 4, true, {"AB:  1  2  3", "      4  5  6", "      7"}},
      {"one to a line", 2, 1, 0, true, {"AB:  1", "  2"}},
  };
  for (const Case& c : cases) {
    orvika_test::UnitCapture cap(kUnit);
    auto item = [](Rec& r, IWORD k) { r.I(k + 1, 3); };
    if (c.label)
      orvika::value_lines(kUnit, c.count, c.per_line, c.lead, item,
                          [](Rec& r) { r.A("AB:"); });
    else
      orvika::value_lines(kUnit, c.count, c.per_line, c.lead, item);
    EXPECT_EQ(cap.lines(), c.want) << c.what;
  }
}

}  // namespace
