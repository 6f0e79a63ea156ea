// Dumps, checks and the matrix print: exact text.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "frame/views.hpp"
#include "kernels/dumps.hpp"
#include "orvika/host_stub.h"
#include "support/capture.hpp"

namespace {

using orvika_test::UnitCapture;

constexpr char kLabel[] = " ALPH     ";
constexpr int64_t kLabelLen = 10;

TEST(Dumps, RealVectorWrapsAfterFiveValues) {
  UnitCapture cap(17);
  std::vector<double> v = {0, 123.457, -123.457, 0.0, 1e100, -0.5, 1e-100, 1.0};
  IWORD unit = 17, n = 7, ioff = 1;
  ORVK_VRDUMP(&unit, &n, &ioff, v.data(), kLabel, kLabelLen);
  EXPECT_EQ(cap.text(),
            "\n"
            "   ALPH     \n"
            "     1.23457D+02 -1.23457D+02  0.00000D+00  1.00000+100 -5.00000D-01\n"
            "     1.00000-100  1.00000D+00\n");
}

TEST(Dumps, EmptyAndScalarDumps) {
  UnitCapture cap(9);
  IWORD unit = 9, zero = 0, i = -42;
  double x = 2.5;
  ORVK_VIDUMP(&unit, &zero, &zero, nullptr, "IW-PVTSE1 ", 10);
  ORVK_SIDUMP(&unit, &i, "K", 1);
  ORVK_SRDUMP(&unit, &x, "X", 1);
  EXPECT_EQ(cap.text(),
            "\n  IW-PVTSE1 \n\n"
            "\n  K\n     -42\n"
            "\n  X\n     2.50000D+00\n");
}

TEST(Dumps, IntegerVectorTwelveToALine) {
  UnitCapture cap(9);
  std::vector<IWORD> iv(13);
  for (int k = 0; k < 13; ++k) iv[k] = k * 1000;
  iv[12] = 123456;  // too wide for I5
  IWORD unit = 9, n = 13, ioff = 0;
  ORVK_VIDUMP(&unit, &n, &ioff, iv.data(), "L", 1);
  ASSERT_EQ(cap.lines().size(), 4u);
  EXPECT_EQ(cap.lines()[2],
            "       0 1000 2000 3000 4000 5000 6000 7000 8000 90001000011000");
  EXPECT_EQ(cap.lines()[3], "   *****");
}

TEST(Dumps, SectionsRowByRowAndColumnByColumn) {
  // A is 3 x 4 with LDA 3; the section is rows 2..3, columns 2..4.
  std::vector<double> a(12);
  for (int j = 1; j <= 4; ++j)
    for (int i = 1; i <= 3; ++i) a[(i - 1) + (j - 1) * 3] = 10 * i + j;
  UnitCapture cap(9);
  orvika::MRDUMP(9, 3, 2, 1, 3, 1, a.data(), "M");
  EXPECT_EQ(cap.text(),
            "\n  M\n"
            "     2.20000D+01  2.30000D+01  2.40000D+01  3.20000D+01  3.30000D+01\n"
            "     3.40000D+01\n");
  cap.clear();
  std::vector<double> b = {1.9, -2.7, NAN, 123456.0};
  orvika::MIDUMP(9, 2, 2, 0, 2, 0, b.data(), "I");
  EXPECT_EQ(cap.text(), "\n  I\n       1\n   *****\n      -2\n   *****\n");
  cap.clear();
  // complex 2 x 2, LDA 2: (1,0) (2,0) / (3,0) (4,0) by rows; MCPRNT by columns
  std::vector<double> z = {1, -1, 3, 0, 2, 0.5, 4, 0};
  orvika::MCPRNT(9, 2, 2, 0, 2, 0, z.data(), "Z");
  EXPECT_EQ(cap.text(),
            "0 Z\n"
            "     1.00000D+00, -1.00000D+00     3.00000D+00,  0.00000D+00\n"
            "     2.00000D+00,  5.00000D-01     4.00000D+00,  0.00000D+00\n");
  cap.clear();
  orvika::MCDUMP(9, 2, 2, 0, 2, 0, z.data(), "Z");
  EXPECT_EQ(cap.lines()[2], "     1.00000D+00, -1.00000D+00     2.00000D+00,  5.00000D-01");
  cap.clear();
  std::vector<LWORD> lv = {-1, 0, 2, 3};
  orvika::VLDUMP(9, 4, 0, lv.data(), "B");
  EXPECT_EQ(cap.lines()[2], "       T  F  F  T");
}

TEST(Checks, LenchkAtAndBeyondTheLimit) {
  UnitCapture cap(9);
  IWORD ierr = 0;
  orvika::LENCHK(9, 100, 100, "JA-BPLDLT ", ierr);
  EXPECT_EQ(ierr, 0);
  EXPECT_TRUE(cap.lines().empty());
  orvika::LENCHK(9, 100, 101, "JA-BPLDLT ", ierr);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(cap.text(),
            "\n"
            "  Warning: Length of     JA-BPLDLT is Exceeded\n"
            "  Available:         100 Requested:         101\n");
  orvika::LENCHK(9, 5, 1, "X", ierr);  // never clears
  EXPECT_EQ(ierr, 1);
}

TEST(Checks, SizeReportAndStorageCount) {
  orvk_host_reset();
  UnitCapture cap(6);
  IWORD unit = 6, n = 1234;
  ORVK_SIZEPR(&unit, &n, "RWORK     ", 10);
  EXPECT_EQ(cap.text(), "\n  SIZE OF VECTOR     RWORK     IS          1234\n");
  cap.clear();
  IWORD avail = 5;
  orvika::STGCHK(5, avail);
  EXPECT_EQ(avail, 0);
  EXPECT_TRUE(cap.lines().empty());
  orvika::STGCHK(1, avail);
  EXPECT_EQ(avail, -1);
  EXPECT_EQ(cap.text(), "\n\n    *** WARNING: INSUFFICIENT STORAGE ***\n");
  IWORD ptr = 10;
  orvika::PTRADV(5, ptr);
  EXPECT_EQ(ptr, 15);
}

class Naprnt : public ::testing::Test {
 protected:
  void SetUp() override { orvk_host_reset(); }
  static constexpr IWORD name[2] = {orvika::a4word("BRYS"), orvika::a4word("TM")};
  static constexpr IWORD title[3] = {orvika::a4word("JACO"), orvika::a4word("BIAN"),
                                     orvika::a4word("")};
};

TEST_F(Naprnt, OneBlockOfTen) {
  UnitCapture cap(6);
  IWORD n = 10, m = 3;
  std::vector<double> a(30);
  for (int k = 0; k < 30; ++k) a[k] = k + 1;
  a[0] = 12.3456;
  a[1] = -0.00123456;
  ORVK_NAPRNT(a.data(), &m, &m, &n, name, title);
  const auto& l = cap.lines();
  ASSERT_EQ(l.size(), 7u);  // empty line + 6 announced
  EXPECT_EQ(l[0], "");
  EXPECT_EQ(l[1], "      BRYSTM       JACOBIAN              6 LINES");
  EXPECT_EQ(l[2], "");
  EXPECT_EQ(l[3],
            "              1           2           3           4           5           6"
            "           7           8           9          10");
  EXPECT_EQ(l[4].substr(0, 9 + 24), "        1  12.346    -0.12346E-02");
  EXPECT_EQ(l[6].substr(0, 9 + 12), "        3  7.0000    ");
}

TEST_F(Naprnt, SecondBlockAndEmptyMatrix) {
  UnitCapture cap(6);
  IWORD n = 11, m = 11;
  std::vector<double> a(121, 1.0);
  ORVK_NAPRNT(a.data(), &n, &m, &n, name, title);
  EXPECT_EQ(cap.lines()[1], "      BRYSTM       JACOBIAN             27 LINES");
  EXPECT_EQ(cap.lines().size(), 28u);
  EXPECT_EQ(cap.lines()[16], "             11");
  EXPECT_EQ(cap.lines()[17], "        1  1.0000    ");
  cap.clear();
  n = 0;
  ORVK_NAPRNT(a.data(), &n, &n, &n, name, title);
  EXPECT_EQ(cap.text(), "\n      BRYSTM       JACOBIAN              1 LINES\n");
  // The unit is the host's report unit, low 32 bits.
  cap.clear();
  VLK_GLOBAL[VLK_W_REPUNIT - 1] = (IWORD{5} << 32) | 6;
  ORVK_NAPRNT(a.data(), &n, &n, &n, name, title);
  EXPECT_EQ(cap.lines().size(), 2u);
}

// The announced count q*(M+2) + 1 for orders whose count does not fit in a
// word: only the title line, its count field filled with asterisks when the
// count is too wide (N = 0 always announces 1).
TEST_F(Naprnt, CountOfHugeOrders) {
  struct Case {
    const char* what;
    IWORD m, n;
    const char* count;
  };
  const IWORD big = std::numeric_limits<IWORD>::max();
  const Case cases[] = {{"N = 0, M + 2 beyond the range", big, 0, "     1"},
                        {"negative N, M + 2 beyond the range", big, -25, "******"},
                        {"most negative N", IWORD{1} << 62, std::numeric_limits<IWORD>::min(),
                         "******"}};
  const double a[1] = {0.0};
  const IWORD lda = 1;
  for (const Case& c : cases) {
    UnitCapture cap(6);
    ORVK_NAPRNT(a, &lda, &c.m, &c.n, name, title);
    EXPECT_EQ(cap.text(),
              std::string("\n      BRYSTM       JACOBIAN         ") + c.count + " LINES\n")
        << c.what;
  }
}

}  // namespace
