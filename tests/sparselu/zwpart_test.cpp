// Option blocks, defaults and the work-space partition.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "sparselu/sparselu.hpp"

namespace {

using orvika::ZWPART;

TEST(SpInitsp, DefaultsAndUntouchedWords) {
  ORVK_SPOPT2_T saved = ORVK_SPOPT2;
  ORVK_SPOPT1_T saved1 = ORVK_SPOPT1;
  ORVK_SPARMI.INTRAT = 1;
  ORVK_SPARMI.SPARM3 = 77;
  for (int k = 13; k <= 56; ++k) orvika::spopt2_words(ORVK_SPOPT2)(k) = 1000 + k;
  ORVK_SPOPT3.LASTNZ = 5;
  ORVK_SPOPT4 = {2, 2};
  for (int rep = 0; rep < 2; ++rep) {
    ORVK_INITSP();
    const IWORD want[12] = {2, 1, 2, 1, 2, 1, 0, 0, 1, 0, 1, 77};
    for (int k = 1; k <= 12; ++k) EXPECT_EQ(orvika::spopt2_words(ORVK_SPOPT2).get(k), want[k - 1]) << "word " << k;
    for (int k = 13; k <= 56; ++k) EXPECT_EQ(orvika::spopt2_words(ORVK_SPOPT2).get(k), 1000 + k) << "word " << k;
    EXPECT_EQ(ORVK_SPOPT1.PIVTL1, 1e-4);
    EXPECT_EQ(ORVK_SPOPT1.PIVTL2, 1e-4);
    EXPECT_EQ(ORVK_SPOPT1.SPCFAC, 1.0);
    EXPECT_EQ(ORVK_SPOPT3.LASTNZ, 5);
    EXPECT_EQ(ORVK_SPOPT4.NRHSMX, 2);
    EXPECT_EQ(ORVK_SPOPT4.NRHS, 2);
  }
  // Named words sit at their word numbers.
  EXPECT_EQ(orvika::spopt2_words(ORVK_SPOPT2).get(10), ORVK_SPOPT2.MSGUNIT);
  EXPECT_EQ(orvika::spopt2_words(ORVK_SPOPT2).get(21), ORVK_SPOPT2.X);
  EXPECT_EQ(orvika::spopt2_words(ORVK_SPOPT2).get(34), ORVK_SPOPT2.W34);
  EXPECT_EQ(orvika::spopt2_words(ORVK_SPOPT2).get(53), ORVK_SPOPT2.MAXA);
  ORVK_SPOPT2 = saved;
  ORVK_SPOPT1 = saved1;
  ORVK_SPOPT3.LASTNZ = 0;
  ORVK_SPOPT4 = {0, 0};
  ORVK_SPARMI = {};
}

TEST(SpZwpart, WorkedExampleEveryPosition) {
  ORVK_SPOPT2_T P{};
  const IWORD last = ZWPART(10, 40, 2000, /*ORDOPT*/ 2, /*METHOD*/ 5, /*SCLOPT*/ 1, /*RSTOPT*/ 1,
                            /*I4FAC*/ 1, /*NRHSMX*/ 1, P);
  EXPECT_EQ(P.IB, 1);
  EXPECT_EQ(P.IRP, 11);
  EXPECT_EQ(P.X, 22);
  EXPECT_EQ(P.ROWSC, 32);
  EXPECT_EQ(P.COLSC, 42);
  EXPECT_EQ(P.W18, 52);
  EXPECT_EQ(P.IORN, 64);
  EXPECT_EQ(P.W24, 75);
  EXPECT_EQ(P.W28, 75);
  EXPECT_EQ(P.W29, 75);
  EXPECT_EQ(P.W37, 86);
  EXPECT_EQ(P.W25, 86);
  EXPECT_EQ(P.W30, 86);
  EXPECT_EQ(P.W31, 96);
  EXPECT_EQ(P.W35, 106);
  EXPECT_EQ(P.W36, 116);
  EXPECT_EQ(P.IVECT, 126);
  EXPECT_EQ(P.W38, 166);
  EXPECT_EQ(P.W34, 186);
  EXPECT_EQ(P.W40, 226);
  EXPECT_EQ(P.W41, 236);
  EXPECT_EQ(P.W39, 246);
  EXPECT_EQ(P.ICI, 257);
  EXPECT_EQ(P.JVECT, 257);
  EXPECT_EQ(P.MAXA, 413);
  EXPECT_EQ(P.W42, 670);
  EXPECT_EQ(P.W43, 877);
  EXPECT_EQ(P.W32, 1084);
  EXPECT_EQ(P.W33, 1095);
  EXPECT_EQ(P.IA, 1106);
  EXPECT_EQ(P.W26, 1519);
  EXPECT_EQ(P.W27, 1726);
  EXPECT_EQ(P.W48, 1933);
  EXPECT_EQ(P.W44, 1973);
  EXPECT_EQ(last, 1982);
  // Sub-arrays the options do not need keep their words.
  EXPECT_EQ(P.W45, 0);
  EXPECT_EQ(P.W50, 0);
}

// The same problem with two integer words to a real word: integer arrays
// that follow a real one start on the first integer of a real word, and
// MAXA divides by 2 * 1.5.
TEST(SpZwpart, TwoIntegersPerRealWord) {
  ORVK_SPOPT2_T P{};
  const IWORD last = ZWPART(10, 40, 2000, 2, 5, 1, 1, /*I4FAC*/ 2, 1, P);
  const std::vector<std::pair<IWORD, IWORD>> got_want = {
      {P.IRP, 21},   {P.X, 17},     {P.ROWSC, 27}, {P.COLSC, 37}, {P.W18, 93},   {P.IORN, 105},
      {P.W24, 59},   {P.W28, 117},  {P.W37, 128},  {P.W25, 70},   {P.W30, 139},  {P.W31, 149},
      {P.W35, 161},  {P.W36, 171},  {P.IVECT, 181}, {P.W38, 221}, {P.W34, 241},  {P.W40, 281},
      {P.W41, 291},  {P.W39, 301},  {P.ICI, 312},  {P.MAXA, 588}, {P.W42, 900},  {P.W43, 1195},
      {P.W32, 1490}, {P.W33, 1501}, {P.IA, 757},   {P.W26, 1345}, {P.W27, 1640}, {P.W48, 1935},
      {P.W44, 1975}, {last, 1984}};
  for (std::size_t k = 0; k < got_want.size(); ++k) EXPECT_EQ(got_want[k].first, got_want[k].second) << "item " << k;
}

TEST(SpZwpart, OrderingsOneAndThreeShareW38) {
  for (IWORD ord : {1, 2, 3, 4, 5}) {
    ORVK_SPOPT2_T P{};
    ZWPART(10, 40, 2000, ord, 1, 2, 2, 1, 1, P);
    EXPECT_EQ(P.W34 - P.W38, (ord == 1 || ord == 3) ? 0 : 20) << "ORDOPT " << ord;
  }
}

TEST(SpZwpart, RefusesImpossibleArguments) {
  ORVK_SPOPT2_T P{};
  P.IRP = 99;
  EXPECT_EQ(ZWPART(10, 40, 2000, 2, 1, 1, 1, 0, 1, P), 0);   // I4FAC 0 would divide by 0
  EXPECT_EQ(ZWPART(-1, 40, 2000, 2, 1, 1, 1, 1, 1, P), 0);
  EXPECT_EQ(P.IRP, 99);
}

TEST(SpZwpart, MinimumSizeFormula) {
  // base = 9*(N + NZ/4 + (N + 5N/8 + NZ/2)/I) + 90
  EXPECT_EQ(orvika::sp_min_spende(10, 40, 1, 1, 1.0), 9 * (10 + 10 + (10 + 6 + 20)) + 90);
  EXPECT_EQ(orvika::sp_min_spende(10, 40, 1, 1, 0.25), orvika::sp_min_spende(10, 40, 1, 1, 1.0));
  EXPECT_EQ(orvika::sp_min_spende(10, 40, 1, 1, 2.0), 2 * orvika::sp_min_spende(10, 40, 1, 1, 1.0));
  const IWORD base = 9 * (10 + 10 + (10 + 6 + 20)) + 90;
  EXPECT_EQ(orvika::sp_min_spende(10, 40, 2, 1, 1.0),
            base + (9 * (20 + (10 + 20))) / 8 + (9 * (40 + (10 + 40))) / 8);
  EXPECT_EQ(orvika::sp_min_spende(10, 40, 5, 1, 1.0), base + (9 * (40 + (40 + 20))) / 8);
}

// A sub-array: start, length, and whether its positions count integers.
struct Sub {
  const char* name;
  IWORD start, len;
  bool integer;
};

// Every sub-array the options need lies inside the work space, the ordering
// scratch (4N+1 integers from W28) stays below IVECT, the column indices
// end before the values start, and MAXA leaves room for the matrix.
TEST(SpZwpart, PropertySweepNoSubArrayLeavesTheWorkSpace) {
  std::mt19937_64 rng(12345);
  for (IWORD I : {1, 2}) {
    for (IWORD N : {1, 2, 3, 5, 10, 37, 100, 1000}) {
      for (double density : {1.0, 2.5, 6.0, 20.0}) {
        const IWORD NZ = std::max<IWORD>(N, static_cast<IWORD>(density * N));
        for (IWORD method : {1, 2, 4, 5, 7}) {  // the methods that partition (3, 6 re-solve)
          for (IWORD ord = 1; ord <= 5; ++ord) {
            for (IWORD scl : {1, 2}) {
              for (IWORD rst : {1, 2}) {
                for (IWORD nrhsmx : {1, 2}) {
                  const IWORD minw = orvika::sp_min_spende(N, NZ, method, I, 1.0);
                  const IWORD spende = minw + static_cast<IWORD>(rng() % 3 == 0 ? 0 : rng() % (5 * minw));
                  ORVK_SPOPT2_T P{};
                  const IWORD last = ZWPART(N, NZ, spende, ord, method, scl, rst, I, nrhsmx, P);
                  SCOPED_TRACE(testing::Message() << "I=" << I << " N=" << N << " NZ=" << NZ << " M=" << method
                                                  << " ORD=" << ord << " SCL=" << scl << " RST=" << rst
                                                  << " NRHSMX=" << nrhsmx << " SPENDE=" << spende);
                  ASSERT_LE(last, spende);
                  ASSERT_GE(P.MAXA, NZ);
                  const IWORD Z = nrhsmx * N;
                  const IWORD h = P.MAXA / 2 + 1;
                  std::vector<Sub> subs = {{"B", P.IB, Z, false},       {"IRP", P.IRP, N + 1, true},
                                           {"X", P.X, Z, false},        {"W18", P.W18, N + 2, true},
                                           {"IORN", P.IORN, N + 1, true}, {"W24", P.W24, N + 1, false},
                                           {"W25", P.W25, N + 1, false}, {"W28x4", P.W28, 4 * N + 1, true},
                                           {"W31", P.W31, N, true},     {"W35", P.W35, N, true},
                                           {"W36", P.W36, N, true},     {"IVECT", P.IVECT, NZ, true},
                                           {"W38", P.W38, N, true},     {"W34", P.W34, NZ, true},
                                           {"W40", P.W40, N, true},     {"W41", P.W41, N, true},
                                           {"W39", P.W39, N + 1, true}, {"ICI", P.ICI, P.MAXA, true},
                                           {"IA", P.IA, P.MAXA, false}};
                  if (scl == 1) {
                    subs.push_back({"ROWSC", P.ROWSC, N, false});
                    subs.push_back({"COLSC", P.COLSC, N, false});
                  }
                  if (method == 2 || method == 3) {
                    subs.push_back({"W42", P.W42, h, true});
                    subs.push_back({"W32", P.W32, N + 1, true});
                    subs.push_back({"W26", P.W26, h, false});
                  }
                  if (method == 5 || method == 6) {
                    subs.push_back({"W42", P.W42, h, true});
                    subs.push_back({"W43", P.W43, h, true});
                    subs.push_back({"W32", P.W32, N + 1, true});
                    subs.push_back({"W33", P.W33, N + 1, true});
                    subs.push_back({"W26", P.W26, h, false});
                    subs.push_back({"W27", P.W27, h, false});
                  }
                  const bool m12 = method == 1 || method == 2;
                  if (rst == 1 && m12) {
                    subs.push_back({"W48", P.W48, NZ, false});
                    subs.push_back({"W44", P.W44, Z, false});
                    subs.push_back({"W45", P.W45, N + 1, true});
                    subs.push_back({"W46", P.W46, N + 1, true});
                    subs.push_back({"W47", P.W47, NZ, true});
                    subs.push_back({"W49", P.W49, N + 1, true});
                  } else if (rst == 1 && scl == 1) {
                    subs.push_back({"W48", P.W48, NZ, false});
                    subs.push_back({"W44", P.W44, Z, false});
                  }
                  if (method == 2) {
                    subs.push_back({"W50", P.W50, NZ, false});
                    subs.push_back({"W52", P.W52, N, true});
                    subs.push_back({"W51", P.W51, NZ, true});
                  }
                  // Real words covered by each sub-array.
                  for (const Sub& s : subs) {
                    const IWORD first = s.integer ? (s.start + I - 1) / I : s.start;
                    const IWORD lastw = s.integer ? (s.start + s.len - 1 + I - 1) / I : s.start + s.len - 1;
                    ASSERT_GE(first, 1) << s.name;
                    ASSERT_LE(lastw, spende) << s.name;
                    if (s.len > 0) ASSERT_LE(lastw, last) << s.name;
                  }
                  ASSERT_LT(P.W28 + 4 * N, P.IVECT);  // ordering scratch below IVECT
                  ASSERT_LE((P.ICI + P.MAXA - 1 + I - 1) / I, P.IA - 1);
                  ASSERT_LE((P.IRP + N + I - 1) / I, P.X - 1);
                  ASSERT_LE(P.IB + Z - 1, (P.IRP - 1) / I);
                }
              }
            }
          }
        }
      }
    }
  }
}

}  // namespace
