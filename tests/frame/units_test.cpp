// Numbered units and the stop hook: where records go, files connected to
// units and read back, and the process stop.
#include "frame/units.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "orvika/units.h"
#include "support/capture.hpp"

namespace {

namespace fs = std::filesystem;

// A fresh directory under the system temporary directory, removed at the end.
class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("orvika_units_" + std::to_string(::getpid()) + "_" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string file(const char* name) const { return (dir_ / name).string(); }

 private:
  fs::path dir_;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream os;
  os << in.rdbuf();
  return os.str();
}

TEST(Units, CaptureReceivesRecordsInOrder) {
  orvika_test::UnitCapture cap(6);
  orvika::write_rec(6, "first");
  orvika::write_empty(6);
  orvika::Rec r;
  r.A("  x =").I(42, 4);
  orvika::write_rec(6, r);
  orvika::write_rec(6, "  trailing  ");
  const std::vector<std::string> want = {"first", "", "  x =  42", "  trailing  "};
  EXPECT_EQ(cap.lines(), want);
  EXPECT_EQ(cap.text(), "first\n\n  x =  42\n  trailing  \n");
}

TEST(Units, UnitNumberIsTheLow32BitsOfTheWord) {
  orvika_test::UnitCapture cap7(7);
  orvika_test::UnitCapture cap8(8);
  const IWORD high7 = (IWORD{1} << 32) + 7;
  const IWORD neg7 = static_cast<IWORD>(UINT64_C(0xFFFFFFFF00000007));
  orvika::write_rec(high7, "a");
  orvika::write_rec(neg7, "b");
  orvika::write_empty((IWORD{5} << 40) + 8);
  EXPECT_EQ(orvika::unit_of(high7), 7);
  EXPECT_EQ(orvika::unit_of(neg7), 7);
  EXPECT_EQ(cap7.lines(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(cap8.lines(), (std::vector<std::string>{""}));
}

TEST(Units, SinkGetsUnitNumberAndContext) {
  struct Seen {
    int unit = -1;
    std::string text;
    int calls = 0;
  } seen;
  auto sink = [](void* ctx, int unit, const char* text, std::size_t len) {
    auto* s = static_cast<Seen*>(ctx);
    s->unit = unit;
    s->text.assign(text, len);
    ++s->calls;
  };
  ASSERT_EQ(orvk_unit_connect_sink(21, sink, &seen), 0);
  orvika::write_rec((IWORD{3} << 32) + 21, "via sink");
  orvk_unit_disconnect(21);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.unit, 21);
  EXPECT_EQ(seen.text, "via sink");
}

TEST(Units, ConnectFileWriteReadBackAppend) {
  TempDir tmp;
  const std::string path = tmp.file("out.txt");
  ASSERT_EQ(orvk_unit_connect_file(12, path.c_str(), 0), 0);
  orvika::write_rec(12, "line one");
  orvika::write_empty(12);
  orvika::write_rec(12, "  x  ");
  orvk_unit_disconnect(12);
  EXPECT_EQ(slurp(path), "line one\n\n  x  \n");

  ASSERT_EQ(orvk_unit_connect_file(12, path.c_str(), 1), 0);
  orvika::write_rec(12, "appended");
  orvk_unit_disconnect(12);
  EXPECT_EQ(slurp(path), "line one\n\n  x  \nappended\n");

  ASSERT_EQ(orvk_unit_connect_file(12, path.c_str(), 0), 0);
  orvika::write_rec(12, "fresh");
  orvk_units_flush();
  EXPECT_EQ(slurp(path), "fresh\n") << "flush must reach the file while it stays connected";
  orvk_unit_disconnect(12);
  EXPECT_EQ(slurp(path), "fresh\n");
}

TEST(Units, FailedConnectLeavesUnitAsItWas) {
  TempDir tmp;
  orvika_test::UnitCapture cap(13);
  const std::string bad = tmp.file("no_such_dir/out.txt");
  EXPECT_EQ(orvk_unit_connect_file(13, bad.c_str(), 0), -1);
  orvika::write_rec(13, "still captured");
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"still captured"}));
}

// Opening the file a unit is connected to once more on that unit starts
// the file afresh: nothing the old connection wrote comes back into it.
TEST(Units, ReopenOfTheSameFileOnTheSameUnit) {
  TempDir tmp;
  const std::string path = tmp.file("again.txt");
  struct Row {
    const char* how;
    std::function<int()> reopen;
    const char* want;
  };
  const Row rows[] = {
      {"connect", [&] { return orvk_unit_connect_file(35, path.c_str(), 0); }, "b\n"},
      {"connect, append", [&] { return orvk_unit_connect_file(35, path.c_str(), 1); },
       "aaaaaaaaaa\nb\n"},
      {"open REPLACE", [&] { return orvika::unit_open(35, path, "REPLACE"); }, "b\n"},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(orvk_unit_connect_file(35, path.c_str(), 0), 0);
    orvika::write_rec(35, "aaaaaaaaaa");
    ASSERT_EQ(row.reopen(), 0) << row.how;
    orvika::write_rec(35, "b");
    orvika::unit_close(35);
    EXPECT_EQ(slurp(path), row.want) << row.how;
  }
}

TEST(Units, DisconnectedUnitGoesBackToStandardOutput) {
  {
    orvika_test::UnitCapture cap(14);
    orvika::write_rec(14, "captured");
    EXPECT_EQ(cap.lines().size(), 1u);
  }
  ::testing::internal::CaptureStdout();
  orvika::write_rec(14, "to stdout");
  orvika::write_rec(4711, "unconnected");
  orvika::write_empty(4711);
  orvk_units_flush();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "to stdout\nunconnected\n\n");
}

TEST(Units, UnitZeroIsStandardError) {
  ::testing::internal::CaptureStderr();
  orvika::write_rec(0, "on stderr");
  orvk_units_flush();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "on stderr\n");
}

TEST(Units, OpenWriteCloseReopenRead) {
  TempDir tmp;
  const std::string path = tmp.file("data.txt");
  const IWORD u = (IWORD{9} << 32) + 30;  // unit 30
  EXPECT_FALSE(orvika::file_exists(path));
  EXPECT_FALSE(orvika::unit_opened(u));
  ASSERT_EQ(orvika::unit_open(u, path, "NEW"), 0);
  EXPECT_TRUE(orvika::unit_opened(30));
  EXPECT_TRUE(orvika::file_exists(path));
  orvika::write_rec(u, "abc");
  orvika::write_empty(u);
  orvika::write_rec(30, "0123456789ABCDEF");
  orvika::write_rec(30, "last");
  orvika::unit_close(u);
  EXPECT_FALSE(orvika::unit_opened(30));
  EXPECT_EQ(slurp(path), "abc\n\n0123456789ABCDEF\nlast\n");

  ASSERT_EQ(orvika::unit_open(30, path, "OLD"), 0);
  char buf[9];
  EXPECT_EQ(orvika::read_rec(30, buf, sizeof buf), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(orvika::read_rec(30, buf, sizeof buf), 0);
  EXPECT_EQ(orvika::read_rec(30, buf, 8), 8) << "a long record is cut to CAP";
  EXPECT_EQ(std::string(buf, 8), "01234567");
  EXPECT_EQ(orvika::read_rec(30, buf, sizeof buf), 4) << "the rest of the cut record is skipped";
  EXPECT_EQ(std::string(buf, 4), "last");
  EXPECT_EQ(orvika::read_rec(30, buf, sizeof buf), -1);
  EXPECT_EQ(orvika::read_rec(30, buf, sizeof buf), -1);
  orvika::unit_close(30);
  orvika::unit_close(30);  // closing a closed unit has no effect
  EXPECT_FALSE(orvika::unit_opened(30));
}

TEST(Units, OpenStatusRules) {
  TempDir tmp;
  const std::string path = tmp.file("f.txt");
  const std::string missing = tmp.file("missing.txt");
  EXPECT_GT(orvika::unit_open(31, missing, "OLD"), 0) << "OLD needs an existing file";
  EXPECT_FALSE(orvika::unit_opened(31));

  ASSERT_EQ(orvika::unit_open(31, path, "UNKNOWN"), 0);
  orvika::write_rec(31, "kept?");
  orvika::unit_close(31);
  EXPECT_EQ(slurp(path), "kept?\n");

  EXPECT_GT(orvika::unit_open(31, path, "NEW"), 0) << "NEW must not overwrite an existing file";
  EXPECT_EQ(slurp(path), "kept?\n");

  ASSERT_EQ(orvika::unit_open(31, path, "REPLACE"), 0);
  orvika::write_rec(31, "replaced");
  orvika::unit_close(31);
  EXPECT_EQ(slurp(path), "replaced\n");

  ASSERT_EQ(orvika::unit_open(32, "", "SCRATCH"), 0);
  EXPECT_TRUE(orvika::unit_opened(32));
  orvika::write_rec(32, "scratch");
  orvika::unit_close(32);
  EXPECT_FALSE(orvika::unit_opened(32));
}

// The existence test asks the file system, not an open: what exists but
// cannot be opened as a file of records is there for NEW and fails for OLD.
TEST(Units, ExistingNamesThatAreNoReadableFile) {
  TempDir tmp;
  const std::string dir = tmp.file("d");
  fs::create_directories(dir);
  EXPECT_TRUE(orvika::file_exists(dir));
  EXPECT_GT(orvika::unit_open(33, dir, "OLD"), 0);
  EXPECT_FALSE(orvika::unit_opened(33));
  EXPECT_EQ(orvika::unit_open(33, dir, "NEW"), 17);
  EXPECT_FALSE(orvika::unit_opened(33));
  EXPECT_FALSE(orvika::file_exists(tmp.file("missing")));
  if (::geteuid() != 0) {  // root reads every file
    const std::string locked = tmp.file("locked.txt");
    std::ofstream(locked) << "x\n";
    fs::permissions(locked, fs::perms::none);
    EXPECT_TRUE(orvika::file_exists(locked));
    EXPECT_GT(orvika::unit_open(33, locked, "OLD"), 0);
    EXPECT_FALSE(orvika::unit_opened(33));
  }
}

// Sequential files: a record written where other records follow becomes
// the last record of the file, and reads and writes may alternate.
TEST(Units, WrittenRecordEndsTheFile) {
  struct Row {
    const char* status;
    int reads_first;                 // records read before writing
    std::vector<const char*> write;  // records written then
    const char* want;                // the file after the close
  };
  const Row rows[] = {
      {"UNKNOWN", 0, {"A"}, "A\n"},
      {"OLD", 0, {"A", "B"}, "A\nB\n"},
      {"OLD", 1, {"B"}, "line one\nB\n"},
      {"UNKNOWN", 2, {"C", "D"}, "line one\nline two\nC\nD\n"},
      {"OLD", 3, {"E"}, "line one\nline two\nline three\nE\n"},
      {"OLD", 5, {"F"}, "line one\nline two\nline three\nF\n"},  // two reads past the end
      {"OLD", 1, {}, "line one\nline two\nline three\n"},         // reading alone changes nothing
      {"REPLACE", 0, {"G"}, "G\n"},
  };
  TempDir tmp;
  const std::string path = tmp.file("seq.txt");
  for (const Row& row : rows) {
    std::ofstream(path) << "line one\nline two\nline three\n";
    ASSERT_EQ(orvika::unit_open(34, path, row.status), 0);
    char buf[16];
    for (int k = 0; k < row.reads_first; ++k) orvika::read_rec(34, buf, sizeof buf);
    for (const char* r : row.write) orvika::write_rec(34, r);
    orvika::unit_close(34);
    EXPECT_EQ(slurp(path), row.want) << row.status << " after " << row.reads_first << " reads";
  }
  // A write followed by a read and another write on the same unit.
  ASSERT_EQ(orvika::unit_open(34, path, "REPLACE"), 0);
  orvika::write_rec(34, "one");
  char buf[16];
  EXPECT_EQ(orvika::read_rec(34, buf, sizeof buf), -1);
  orvika::write_rec(34, "two");
  orvika::unit_close(34);
  EXPECT_EQ(slurp(path), "one\ntwo\n");
}

TEST(Units, ReadFromUnitThatCannotBeRead) {
  char buf[8];
  EXPECT_EQ(orvika::read_rec(4712, buf, sizeof buf), -2);
}

// ---- the stop hook ----------------------------------------------------------

TEST(StopHookDeathTest, DefaultHookWritesMessageAndExits) {
  EXPECT_EXIT(orvika::stop(" *** FATAL: matrix is singular"), ::testing::ExitedWithCode(2),
              "FATAL: matrix is singular");
}

TEST(StopHookDeathTest, DefaultHookFlushesFileUnits) {
  TempDir tmp;
  const std::string path = tmp.file("before_stop.txt");
  EXPECT_EXIT(
      {
        if (orvk_unit_connect_file(40, path.c_str(), 0) != 0) std::_Exit(99);
        orvika::write_rec(40, "written before the stop");
        orvika::stop("stopping");
      },
      ::testing::ExitedWithCode(2), "stopping");
  EXPECT_EQ(slurp(path), "written before the stop\n");
}

std::string g_stop_msg;
int g_stop_calls = 0;
void returning_hook(const char* msg, std::size_t len) {
  g_stop_msg.assign(msg, len);
  ++g_stop_calls;
}

TEST(StopHook, ReplacedHookThatReturns) {
  g_stop_msg.clear();
  g_stop_calls = 0;
  const orvk_stop_hook previous = orvk_set_stop_hook(&returning_hook);
  ASSERT_NE(previous, nullptr);
  orvika::stop("routine must stop");
  EXPECT_EQ(g_stop_calls, 1);
  EXPECT_EQ(g_stop_msg, "routine must stop");
  EXPECT_EQ(orvk_set_stop_hook(previous), &returning_hook);
}

}  // namespace
