// ORVK_NSLSAV, and the text-file routines NSOLVE_FOPEN, NSOLVE_WRITELN,
// NSOLVE_FCLOSE.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "nsolve_test_util.hpp"
#include "orvika/host_stub.h"
#include "orvika/nsolve.h"
#include "orvika/sparselu.h"
#include "support/capture.hpp"

namespace {

template <class B>
std::vector<unsigned char> bytes(const B& b) {
  const auto* p = reinterpret_cast<const unsigned char*>(&b);
  return std::vector<unsigned char>(p, p + sizeof b);
}

TEST(NsolveNslsav, SaveRestoreRoundTrip) {
  orvk_host_reset();
  nsolve_test::init_sparse_options();
  // A run in progress leaves state in every block.
  const nsolve_test::Problem p = nsolve_test::broyden_tridiagonal(5);
  nsolve_test::Caller c(p, 1);
  for (int k = 0; k < 3; ++k) {
    if (k) c.answer();
    c.call();
  }
  ORVK_NSOLV1.SPARE = 77;  // every word takes part
  const auto n1 = bytes(ORVK_NSOLV1), n2 = bytes(ORVK_NSOLV2), w = bytes(ORVK_NWOPT1);
  const auto s1 = bytes(ORVK_SPOPT1);
  std::vector<IWORD> s2(reinterpret_cast<IWORD*>(&ORVK_SPOPT2),
                        reinterpret_cast<IWORD*>(&ORVK_SPOPT2) + 53);
  IWORD I1[18], W[6], S2[53];
  LWORD I2[2];
  double R[12], S1[3];
  IWORD save = 1;
  ORVK_NSLSAV(I1, I2, R, S1, S2, W, &save);
  EXPECT_EQ(I1[14], ORVK_NSOLV1.NLIST);
  EXPECT_EQ(I1[17], ORVK_NSOLV1.ITERM1);
  EXPECT_EQ(I1[11], 77);
  EXPECT_EQ(I2[1], ORVK_NSOLV1.FIRSTJ);
  EXPECT_EQ(R[0], ORVK_NSOLV2.DELTA);
  EXPECT_EQ(S2[20], ORVK_SPOPT2.X);
  // Another run changes everything; restore (MODE 0, then 2) brings it back.
  for (IWORD mode : {0, 2}) {
    std::memset(&ORVK_NSOLV1, 0x5a, sizeof ORVK_NSOLV1);
    std::memset(&ORVK_NSOLV2, 0x5a, sizeof ORVK_NSOLV2);
    std::memset(&ORVK_NWOPT1, 0x5a, sizeof ORVK_NWOPT1);
    std::memset(&ORVK_SPOPT1, 0x5a, sizeof ORVK_SPOPT1);
    std::memset(&ORVK_SPOPT2, 0x5a, 53 * sizeof(IWORD));
    ORVK_SPOPT2.SPARE[0] = 123;  // words 54-56 are not part of the copy
    ORVK_NSLSAV(I1, I2, R, S1, S2, W, &mode);
    EXPECT_EQ(bytes(ORVK_NSOLV1), n1);
    EXPECT_EQ(bytes(ORVK_NSOLV2), n2);
    EXPECT_EQ(bytes(ORVK_NWOPT1), w);
    EXPECT_EQ(bytes(ORVK_SPOPT1), s1);
    EXPECT_EQ(std::vector<IWORD>(reinterpret_cast<IWORD*>(&ORVK_SPOPT2),
                                 reinterpret_cast<IWORD*>(&ORVK_SPOPT2) + 53),
              s2);
    EXPECT_EQ(ORVK_SPOPT2.SPARE[0], 123);
  }
  // The restored run goes on to its solution.
  c.tol = 1e-10;
  c.istpts = 0;
  c.maxit = 50;
  while (c.icode > 0) {
    c.answer();
    c.call();
  }
  EXPECT_EQ(c.icode, 0);
}

TEST(NsolveFile, OpenWriteCloseReadBack) {
  orvk_host_reset();
  const std::string name = ::testing::TempDir() + "nsolve_file_test.txt";
  std::remove(name.c_str());
  IWORD unit = 41;
  const std::string padded = name + "      ";
  EXPECT_EQ(NSOLVE_FOPEN(&unit, padded.c_str(), static_cast<int64_t>(padded.size())), 0);
  const char l1[] = "first line   ";
  const char l2[] = "      ";
  const char l3[] = "  indented";
  NSOLVE_WRITELN(l1, &unit, sizeof l1 - 1);
  NSOLVE_WRITELN(l2, &unit, sizeof l2 - 1);
  NSOLVE_WRITELN(l3, &unit, sizeof l3 - 1);
  NSOLVE_WRITELN(nullptr, &unit, 0);
  NSOLVE_FCLOSE(&unit);
  std::ifstream in(name);
  std::vector<std::string> got;
  for (std::string s; std::getline(in, s);) got.push_back(s);
  EXPECT_EQ(got, (std::vector<std::string>{"first line", "", "  indented", ""}));
  // The host's value comes back unchanged: a name of blanks fails there.
  const char blank[] = "   ";
  EXPECT_EQ(NSOLVE_FOPEN(&unit, blank, 3), 1);
  std::remove(name.c_str());
}

// A text length of 0 or less, or a host length outside 0..TEXT_LEN, gives
// a record within the text: an empty one for no length at all.
TEST(NsolveFile, WritelnLengthKeptWithinTheText) {
  orvk_host_reset();
  struct Row {
    int64_t len;
    const char* want;
  };
  const char text[] = "abc   ";
  const Row rows[] = {{0, ""},  {-1, ""},   {-6, ""}, {std::numeric_limits<int64_t>::min(), ""},
                      {1, "a"}, {6, "abc"}, {4, "abc"}};
  orvika_test::UnitCapture cap(42);
  const IWORD unit = 42;
  for (const Row& row : rows) {
    cap.clear();
    NSOLVE_WRITELN(text, &unit, row.len);
    EXPECT_EQ(cap.lines(), std::vector<std::string>{row.want}) << "TEXT_LEN " << row.len;
  }
}

}  // namespace
