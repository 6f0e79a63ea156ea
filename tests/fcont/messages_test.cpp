// Message output of the continuation solver: unit rules, spacing codes,
// the message routine, display names and the vector dump.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fcont/fcont.hpp"
#include "support/capture.hpp"

namespace {

using orvika::fcont_dumpvec;
using orvika::fcont_getname;
using orvika::fcont_nameinit;
using orvika::fcont_present;
using orvika::fcont_prthead;
using orvika::fcont_prtline;
using orvika::fcont_prtpair;

struct Call {
  IWORD unit, count;
  std::string text;
  int64_t len;
};
std::vector<Call> g_calls;

extern "C" void record_msg(const IWORD* unit, const IWORD* count, const char* text, int64_t len) {
  g_calls.push_back({*unit, *count, std::string(text, static_cast<std::size_t>(*count > 0 ? *count : 0)), len});
}
const void* kMsg = reinterpret_cast<const void*>(&record_msg);
const IWORD kZero = 0;

std::string line132(const std::string& s) {
  std::string t = s;
  t.resize(132, ' ');
  return t;
}

TEST(FcontPresent, ZeroWordNullAndRoutine) {
  EXPECT_EQ(fcont_present(&kZero), 0);
  EXPECT_EQ(fcont_present(nullptr), 0);
  EXPECT_EQ(fcont_present(kMsg), 1);
  const IWORD one = 1;
  EXPECT_EQ(fcont_present(&one), 1);
}

TEST(FcontPrtline, NumberedUnitsWithSpacing) {
  const std::string t = line132("ABC");
  orvika_test::UnitCapture cap(7);
  fcont_prtline(7, kMsg, 11, t.data(), 132);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"", "ABC", ""}));
  cap.clear();
  fcont_prtline(7, kMsg, -11, t.data(), 132);  // no blank lines
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"ABC"}));
  cap.clear();
  const char nuls[6] = {' ', '\0', ' ', '\0', '\0', ' '};
  fcont_prtline(7, kMsg, 0, nuls, 6);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{""}));
  cap.clear();
  fcont_prtline(0, kMsg, 11, t.data(), 132);
  EXPECT_TRUE(cap.lines().empty());
  orvika_test::UnitCapture cap100(100);
  fcont_prtline(100, kMsg, 1, t.data(), 132);
  EXPECT_EQ(cap100.lines(), (std::vector<std::string>{"ABC", ""}));
}

TEST(FcontPrtline, OtherUnitsGoToTheMessageRoutine) {
  g_calls.clear();
  const std::string t = line132("ABC");
  fcont_prtline(200, kMsg, 10, t.data(), 132);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].unit, 200);
  EXPECT_EQ(g_calls[0].count, 0);
  EXPECT_EQ(g_calls[0].text, "");
  EXPECT_EQ(g_calls[0].len, 1);
  EXPECT_EQ(g_calls[1].unit, 200);
  EXPECT_EQ(g_calls[1].count, 3);
  EXPECT_EQ(g_calls[1].text, "ABC");
  EXPECT_EQ(g_calls[1].len, 132);
  g_calls.clear();
  const char nuls[4] = {'\0', ' ', '\0', ' '};
  fcont_prtline(-5, kMsg, 0, nuls, 4);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].unit, -5);
  EXPECT_EQ(g_calls[0].count, 0);
  // Without a routine such a line is dropped, never sent to address 0.
  g_calls.clear();
  fcont_prtline(300, &kZero, 11, t.data(), 132);
  fcont_prtline(300, nullptr, 11, t.data(), 132);
  EXPECT_TRUE(g_calls.empty());
}

TEST(FcontDumpvec, FiveValuesPerLine) {
  const double v[7] = {1.0, -2.5, 1e-7, 3.0, 4.0, 5.0, 6.0};
  orvika_test::UnitCapture cap(8);
  fcont_dumpvec(8, kMsg, "  DX Dump:", 7, v, 10);
  ASSERT_EQ(cap.lines().size(), 4u);
  EXPECT_EQ(cap.lines()[0], "");
  EXPECT_EQ(cap.lines()[1], "  DX Dump:");
  EXPECT_EQ(cap.lines()[2],
            "     1   1.00000      -2.50000      1.000000E-07   3.00000       4.00000");
  EXPECT_EQ(cap.lines()[3], "     6   5.00000       6.00000");
  cap.clear();
  fcont_dumpvec(8, kMsg, "  DX Dump:", 0, v, 10);
  fcont_dumpvec(0, kMsg, "  DX Dump:", 7, v, 10);
  EXPECT_TRUE(cap.lines().empty());
}

// Line breaks of the dump at the edges of a line: one value, a line exactly
// full, a second line exactly full; no empty line follows a full one.
TEST(FcontDumpvec, LineBreaksAtFullLines) {
  const double v[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const std::string l1 = "     1   1.00000       2.00000       3.00000       4.00000       5.00000";
  const std::string l2 = "     6   6.00000       7.00000       8.00000       9.00000       10.0000";
  const struct {
    IWORD n;
    std::vector<std::string> lines;
  } cases[] = {
      {1, {"", "  DX Dump:", "     1   1.00000"}},
      {5, {"", "  DX Dump:", l1}},
      {6, {"", "  DX Dump:", l1, "     6   6.00000"}},
      {10, {"", "  DX Dump:", l1, l2}},
  };
  for (const auto& c : cases) {
    orvika_test::UnitCapture cap(8);
    fcont_dumpvec(8, kMsg, "  DX Dump:", c.n, v, 10);
    EXPECT_EQ(cap.lines(), c.lines) << "N = " << c.n;
  }
}

// Names stored K words per name, 8 characters per word.
std::vector<char> names(const std::vector<std::string>& words, int k) {
  std::vector<char> out(words.size() * 8, ' ');
  for (std::size_t i = 0; i < words.size(); ++i)
    std::memcpy(out.data() + i * 8, words[i].data(), std::min<std::size_t>(8, words[i].size()));
  (void)k;
  return out;
}

std::string display(IWORD index, const IWORD* desc, const void* nm, const void* rtn = &kZero,
                    int len = 60) {
  std::string t(len, '?');
  IWORD l = -1;
  fcont_getname(index, desc, nm, rtn, t.data(), l, len);
  std::string shown = t.substr(0, static_cast<std::size_t>(l));
  EXPECT_EQ(t.find_first_not_of(' ', static_cast<std::size_t>(l)), std::string::npos);
  return shown;
}

TEST(FcontNames, StoredFourAndEightCharacterPieces) {
  // Two words per name: "FEED" "1" -> 4-character pieces -> FEED1.
  auto nm = names({"FEED", "1", "WATR", "", "A", "B"}, 2);
  IWORD desc[4] = {2, 0, 0, 0};
  fcont_nameinit(3, desc, nm.data(), &kZero);
  EXPECT_EQ(desc[1], 2);
  EXPECT_EQ(desc[3], 3);
  EXPECT_EQ(display(1, desc, nm.data()), "FEED1");
  EXPECT_EQ(display(2, desc, nm.data()), "WATR");
  EXPECT_EQ(display(4, desc, nm.data()), "CONT._1");
  EXPECT_EQ(desc[2], 8);
  // Another name fills columns 1 and 5 of its first word: 8-character words.
  auto nm8 = names({"FEED", "1", "FEEDWATR", "X"}, 2);
  fcont_nameinit(2, desc, nm8.data(), &kZero);
  EXPECT_EQ(desc[1], -2);
  EXPECT_EQ(display(1, desc, nm8.data()), "FEED_1");
  EXPECT_EQ(display(2, desc, nm8.data()), "FEEDWATRX");
  // "FEED FLOW" in one name of two 8-character words.
  auto nm2 = names({"FEED FLO", "W", "FEEDWATR", ""}, 2);
  fcont_nameinit(2, desc, nm2.data(), &kZero);
  EXPECT_EQ(display(1, desc, nm2.data()), "FEED_FLOW");
  EXPECT_EQ(desc[2], 9);
  // Read as 4-character words the same name is FEEDW.
  IWORD d4[4] = {2, 0, 0, 0};
  fcont_nameinit(1, d4, nm2.data(), &kZero);
  EXPECT_EQ(d4[1], 2);
  EXPECT_EQ(display(1, d4, nm2.data()), "FEEDW");
}

TEST(FcontNames, IndexModeCutAndLongNames) {
  IWORD desc[4] = {0, 0, 0, 0};
  fcont_nameinit(20, desc, nullptr, &kZero);
  EXPECT_EQ(desc[1], 0);
  EXPECT_EQ(desc[2], 8);
  EXPECT_EQ(display(12, desc, nullptr), "12");
  EXPECT_EQ(display(21, desc, nullptr), "CONT._1");
  // 70 non-blank characters in 9 words of 8: cut at 60.
  std::string longname(72, 'X');
  longname[70] = longname[71] = ' ';
  IWORD d9[4] = {9, 0, 0, 0};
  fcont_nameinit(1, d9, longname.data(), &kZero);
  EXPECT_EQ(d9[1], -9);
  EXPECT_EQ(display(1, d9, longname.data()), std::string(60, 'X'));
  EXPECT_EQ(d9[2], 70);
  // A name never ends on "_": "AB CD" in a field of 3 gives "AB".
  auto nm = names({"AB CD"}, 1);
  IWORD d1[4] = {1, 0, 0, 0};
  fcont_nameinit(1, d1, nm.data(), &kZero);
  EXPECT_EQ(display(1, d1, nm.data(), &kZero, 3), "AB");
  EXPECT_EQ(display(1, d1, nm.data(), &kZero, 4), "AB_C");
}

extern "C" void name_rtn(const IWORD* index, const void*, IWORD* length, char* text, int64_t len) {
  EXPECT_EQ(*length, 128);
  EXPECT_EQ(len, 128);
  const std::string s = "STREAM " + std::to_string(*index) + " TEMP";
  std::memcpy(text, s.data(), s.size());
  *length = static_cast<IWORD>(s.size());
}

TEST(FcontNames, NameRoutine) {
  IWORD desc[4] = {-1, 0, 0, 0};
  const void* rtn = reinterpret_cast<const void*>(&name_rtn);
  fcont_nameinit(3, desc, nullptr, rtn);
  EXPECT_EQ(desc[1], -1);
  EXPECT_EQ(desc[2], 13);
  EXPECT_EQ(display(2, desc, nullptr, rtn), "STREAM_2_TEMP");
  // Without the routine the index is shown.
  EXPECT_EQ(display(2, desc, nullptr, &kZero), "2");
}

TEST(FcontPrthead, UnderlinesTheVisibleText) {
  struct Row {
    const char* what;
    std::string text;
    IWORD spacing;
    std::vector<std::string> want;
  };
  const Row rows[] = {
      {"spacing around", "  RESULTS  ", 11, {"", "  RESULTS", "  -------", ""}},
      {"no spacing", "A B", 0, {"A B", "---"}},
      {"trailing NULs", std::string("HEAD\0\0", 6), 0, {"HEAD", "----"}},
      {"blank text", "   ", 12, {"", "", "", ""}},
  };
  for (const Row& r : rows) {
    orvika_test::UnitCapture cap(7);
    fcont_prthead(7, kMsg, r.spacing, r.text.data(), static_cast<int64_t>(r.text.size()));
    EXPECT_EQ(cap.lines(), r.want) << r.what;
  }
  // A heading longer than a line is underlined to the end of the line.
  const std::string wide = "X" + std::string(140, 'Y');
  orvika_test::UnitCapture cap(7);
  fcont_prthead(7, kMsg, 0, wide.data(), static_cast<int64_t>(wide.size()));
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{wide, std::string(132, '-')}));
  // Units above 100 go to the message routine, spacing included.
  g_calls.clear();
  fcont_prthead(200, kMsg, 1, "AB", 2);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0].text, "AB");
  EXPECT_EQ(g_calls[1].text, "--");
  EXPECT_EQ(g_calls[1].len, 132);
  EXPECT_EQ(g_calls[2].count, 0);
}

TEST(FcontPrtpair, LabelBlankAndText) {
  struct Row {
    const char* what;
    std::string label, text;
    std::string want;
  };
  const Row rows[] = {
      {"both", "NAME  =", "FEED", "NAME  = FEED"},
      {"no label", "", "FEED", "FEED"},
      {"no text", "LABEL:", "", "LABEL:"},
      {"cut at the line end", std::string(130, 'L'), "TEXT", std::string(130, 'L') + " T"},
      {"label fills the line", std::string(140, 'L'), "TEXT", std::string(132, 'L')},
  };
  for (const Row& r : rows) {
    orvika_test::UnitCapture cap(7);
    fcont_prtpair(7, kMsg, r.label.data(), static_cast<IWORD>(r.label.size()), r.text.data(),
                  static_cast<IWORD>(r.text.size()));
    EXPECT_EQ(cap.lines(), (std::vector<std::string>{r.want})) << r.what;
  }
}

}  // namespace
