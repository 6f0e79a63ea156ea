// Start-of-run option check and the parameter file "fcont_solve.par".
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "fcont/fcont.hpp"
#include "fcont_test_util.hpp"
#include "frame/units.hpp"
#include "support/capture.hpp"

using namespace fcont_test;

namespace {

// Runs each test in a fresh temporary directory (the solver reads
// "fcont_solve.par" from the working directory).
class ParamFile : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    char tmpl[] = "/tmp/fcont_par_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  void write(const std::string& text) {
    std::ofstream f("fcont_solve.par");
    f << text;
  }
  void defaults() {
    for (IWORD& v : ipar) v = kImiss;
    for (double& v : rpar) v = kRmiss;
    ipar[ip::KPLUNT - 1] = 7;
    ipar[ip::KPTUNT - 1] = 0;
  }
  IWORD check(IWORD istore = 2, IWORD jmode = 1, const void* msgrtn = &kZeroWord) {
    IWORD ierr = -1;
    orvika::fcont_chkparam(istore, jmode, ipar, rpar, ierr, msgrtn);
    return ierr;
  }
  std::filesystem::path old_, dir_;
  IWORD ipar[14];
  double rpar[20];
};

const IWORD kFakeRoutine = 0x1234;  // non-zero first word: a routine "given"

TEST_F(ParamFile, GoodLinesSetOptionsByName) {
  write(
      "MAXITER=50\n"
      "maxpoint = 7\n"
      "KPLLEV 2.7\n"
      "PLIMIT 3\n"
      "FTOL 1.0D-8\n"
      "MaxSlow 4 ; the rest is ignored\n"
      "#MAXCORR 3\n"
      "; MAXCORR 3\n"
      "\n"
      "   \t\n"
      "MAXINIT\t-2.9\n"
      "XTOL 1e-9\n"
      "XTOL 2e-9\n"
      "PLIMIT 3*1.5\n"  // a repeat count: the value 1.5
      "FTOL 2.0-8\n");  // an exponent without its letter
  defaults();
  orvika_test::UnitCapture cap(7);
  EXPECT_EQ(check(), 0);
  EXPECT_EQ(ipar[ip::MAXITER - 1], 50);
  EXPECT_EQ(ipar[ip::MAXPOINT - 1], 7);
  EXPECT_EQ(ipar[ip::KPLLEV - 1], 2);
  EXPECT_EQ(rpar[rp::PLIMIT - 1], 1.5);
  EXPECT_EQ(rpar[rp::FTOL - 1], 2e-8);
  EXPECT_EQ(ipar[ip::MAXSLOW - 1], 4);
  EXPECT_EQ(ipar[ip::MAXCORR - 1], 5);   // comment lines: default
  EXPECT_EQ(ipar[ip::MAXINIT - 1], 30);  // -2.9 -> -2, repaired after the file
  EXPECT_EQ(rpar[rp::XTOL - 1], 2e-9);   // a later line wins
  EXPECT_TRUE(cap.lines().empty());
}

TEST_F(ParamFile, BadLinesGiveExactMessages) {
  write(
      "MAXITER==50\n"
      "MAXITER\n"
      "FOO 1\n"
      "MAXITERS 10\n"
      "A=B\n"
      "KPLLEV ,\n"
      "KPLLEV 2*\n"
      "averyveryverylongkeywordthatisoverthirtytwochars 1\n"
      "MAXPOINT 9\n");
  defaults();
  orvika_test::UnitCapture cap(7);
  EXPECT_EQ(check(), 0);
  EXPECT_EQ(ipar[ip::MAXPOINT - 1], 9);  // reading goes on after bad lines
  EXPECT_EQ(ipar[ip::MAXITER - 1], 1000);
  const std::vector<std::string> want = {
      "", "fcont_loadparam!!! Bad input: MAXITER =50", "",
      "", "fcont_loadparam!!! Bad input: MAXITER", "",
      "", "fcont_loadparam!!! Unknown parameter FOO ignored", "",
      "", "fcont_loadparam!!! Unknown parameter MAXITERS ignored", "",
      "", "fcont_loadparam!!! Bad input: A B", "",
      "", "fcont_loadparam!!! Bad input: KPLLEV ,", "",
      "", "fcont_loadparam!!! Bad input: KPLLEV 2*", "",
      "", "fcont_loadparam!!! Unknown parameter averyveryverylongkeywordthatisov ignored", ""};
  EXPECT_EQ(cap.lines(), want);
}

TEST_F(ParamFile, IntegerOptionWithoutAnIntegerPartKeepsItsValue) {
  // A NaN, an infinity or a number beyond the 64-bit range cannot be an
  // integer option: the line gets the bad-input message and the option
  // keeps the value it had (KPLLEV NaN must not silence the run).
  write(
      "KPLLEV NaN\n"
      "MAXPOINT 1e300\n"
      "MAXITER -inf\n"
      "MAXCORR 9.3e18\n"
      "MAXSLOW -9.2e18\n"
      "MAXINIT 12.7\n");
  defaults();
  ipar[ip::KPLLEV - 1] = 3;
  ipar[ip::MAXPOINT - 1] = 50;
  ipar[ip::MAXITER - 1] = 40;
  ipar[ip::MAXCORR - 1] = 4;
  orvika_test::UnitCapture cap(7);
  EXPECT_EQ(check(), 0);
  EXPECT_EQ(ipar[ip::KPLLEV - 1], 3);
  EXPECT_EQ(ipar[ip::MAXPOINT - 1], 50);
  EXPECT_EQ(ipar[ip::MAXITER - 1], 40);
  EXPECT_EQ(ipar[ip::MAXCORR - 1], 4);
  EXPECT_EQ(ipar[ip::MAXSLOW - 1], 10);  // inside the range: stored, then repaired
  EXPECT_EQ(ipar[ip::MAXINIT - 1], 12);
  const std::vector<std::string> want = {
      "", "fcont_loadparam!!! Bad input: KPLLEV NaN", "",
      "", "fcont_loadparam!!! Bad input: MAXPOINT 1e300", "",
      "", "fcont_loadparam!!! Bad input: MAXITER -inf", "",
      "", "fcont_loadparam!!! Bad input: MAXCORR 9.3e18", ""};
  EXPECT_EQ(cap.lines(), want);
}

TEST_F(ParamFile, OnlyEightyColumnsAndTenThousandLinesCount) {
  std::string text;
  text += std::string(75, ' ') + "FTOL 1e-9\n";  // value beyond column 80
  for (int k = 2; k <= 10000; ++k) text += "; filler\n";
  text += "MAXITER 77\n";  // line 10001
  write(text);
  defaults();
  orvika_test::UnitCapture cap(7);
  check();
  EXPECT_EQ(rpar[rp::FTOL - 1], 1e-6);
  EXPECT_EQ(ipar[ip::MAXITER - 1], 1000);
  ASSERT_EQ(cap.lines().size(), 3u);
  EXPECT_EQ(cap.lines()[1], "fcont_loadparam!!! Bad input: " + std::string(75, ' ') + "FTOL");
}

TEST_F(ParamFile, AnOpenUnitIsSkippedAndAllOpenMeansNoFile) {
  write("MAXITER 60\n");
  defaults();
  ASSERT_EQ(orvika::unit_open(3, "other.txt", "REPLACE"), 0);
  check();
  EXPECT_EQ(ipar[ip::MAXITER - 1], 60);
  EXPECT_TRUE(orvika::unit_opened(3));  // the caller's unit is left alone
  for (IWORD u = 4; u <= 99; ++u) ASSERT_EQ(orvika::unit_open(u, "u" + std::to_string(u), "REPLACE"), 0);
  defaults();
  {
    orvika_test::UnitCapture cap(7);
    check();
    EXPECT_EQ(ipar[ip::MAXITER - 1], 1000);
    const std::vector<std::string> want = {"", "fcont_loadparam!!! No unit for opening fcont_solve.par", ""};
    EXPECT_EQ(cap.lines(), want);
  }
  for (IWORD u = 3; u <= 99; ++u) orvika::unit_close(u);
}

// The message unit is never the unit the file is read on, even when
// nobody connected it (its records then go to standard output): the
// messages must neither land in the file nor cut its reading short.
TEST_F(ParamFile, MessageUnitIsNotUsedForTheFile) {
  struct Row {
    IWORD msgunit;
    std::vector<IWORD> open;  // units the caller has connected
  };
  const Row rows[] = {{3, {}}, {4, {3}}, {3, {4}}, {5, {3, 4}}};
  const std::string text = "FOO 1\nMAXPOINT 9\nBAR 2\nMAXITER 60\n";
  for (const Row& row : rows) {
    write(text);
    for (IWORD u : row.open) ASSERT_EQ(orvika::unit_open(u, "u" + std::to_string(u), "REPLACE"), 0);
    defaults();
    ipar[ip::KPLUNT - 1] = row.msgunit;
    ::testing::internal::CaptureStdout();
    check();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "\nfcont_loadparam!!! Unknown parameter FOO ignored\n\n"
              "\nfcont_loadparam!!! Unknown parameter BAR ignored\n\n")
        << "message unit " << row.msgunit;
    EXPECT_EQ(ipar[ip::MAXPOINT - 1], 9) << "message unit " << row.msgunit;
    EXPECT_EQ(ipar[ip::MAXITER - 1], 60) << "message unit " << row.msgunit;
    std::ifstream in("fcont_solve.par");
    const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(after, text) << "message unit " << row.msgunit;
    EXPECT_FALSE(orvika::unit_opened(row.msgunit));
    for (IWORD u : row.open) {
      EXPECT_TRUE(orvika::unit_opened(u));
      orvika::unit_close(u);
    }
  }
}

TEST_F(ParamFile, FileValuesReplaceTheCallersAndAreRepairedAfterwards) {
  write("STPGRO 1.5\nSPOWER 1.0\nBNDAPP 1.0\nEPSMCH 1e-18\nKPLUNT 300\nIMISS 5\n");
  defaults();
  ipar[ip::MAXITER - 1] = 20;  // below the marker of this call
  check(2, 1, &kZeroWord);
  EXPECT_EQ(rpar[rp::STPGRO - 1], 3.0);
  EXPECT_EQ(rpar[rp::SPOWER - 1], 1.0);
  EXPECT_EQ(rpar[rp::BNDAPP - 1], 1.0);
  EXPECT_EQ(rpar[rp::EPSMCH - 1], 1e-16);
  EXPECT_EQ(ipar[ip::KPLUNT - 1], 300);  // set by the file, not checked again
  EXPECT_EQ(ipar[ip::IMISS - 1], 5);
  EXPECT_EQ(ipar[ip::MAXITER - 1], 20);  // the old marker 999999 still decides
}

// A file of that name that exists but cannot be opened for reading is not
// an absent file: the run is told that the open failed, and nothing is read.
TEST_F(ParamFile, AFileThatExistsButCannotBeOpenedGivesTheOpenMessage) {
  struct Row {
    const char* what;
    bool (*make)();  // creates "fcont_solve.par"; false when not possible here
  };
  const Row rows[] = {
      {"a directory", [] { return mkdir("fcont_solve.par", 0755) == 0; }},
      {"a socket",
       [] {
         const int s = socket(AF_UNIX, SOCK_STREAM, 0);
         if (s < 0) return false;
         sockaddr_un a{};
         a.sun_family = AF_UNIX;
         std::strcpy(a.sun_path, "fcont_solve.par");
         const bool ok = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
         close(s);  // the socket file stays
         return ok;
       }},
      {"a file without read permission",
       [] {
         if (geteuid() == 0) return false;  // root reads it all the same
         std::ofstream("fcont_solve.par") << "MAXITER 60\n";
         return chmod("fcont_solve.par", 0) == 0;
       }},
  };
  for (const Row& row : rows) {
    std::filesystem::remove_all("fcont_solve.par");
    if (!row.make()) continue;
    defaults();
    orvika_test::UnitCapture cap(7);
    EXPECT_EQ(check(), 0) << row.what;
    EXPECT_EQ(ipar[ip::MAXITER - 1], 1000) << row.what;
    const std::vector<std::string> want = {"", "fcont_loadparam!!! Error opening fcont_solve.par", ""};
    EXPECT_EQ(cap.lines(), want) << row.what;
    for (IWORD u = 3; u <= 99; ++u)  // the reading unit is closed again (7 is the capture)
      if (u != 7) EXPECT_FALSE(orvika::unit_opened(u)) << row.what << " unit " << u;
  }
  std::filesystem::remove_all("fcont_solve.par");
}

TEST_F(ParamFile, AWholeRunReadsTheFile) {
  write("MAXPOINT 2\nFINMSG 1\nKPLLEV 3\n");
  Problem p;
  p.n = 1;
  p.x0 = {2.5};
  p.F = [](const double* x, double, double* f) { f[0] = x[0] * x[0] * x[0] - 3 * x[0] + 3; };
  p.J = [](const double* x, double, double* j) { j[0] = 3 * x[0] * x[0] - 3; };
  ContRun r(p, 2);
  r.set_i(ip::KPLUNT, 7);
  orvika_test::UnitCapture cap(7);
  EXPECT_EQ(r.solve(), 1);
  const std::vector<std::string> want = {"", "!!!Fcont_Solve exited due to maximum points", ""};
  EXPECT_EQ(cap.lines(), want);
}

// ---- the option check without a file -----------------------------------------------

TEST_F(ParamFile, ZeroRecordsTakeEveryDefaultAndStaySilent) {
  for (IWORD& v : ipar) v = 0;
  for (double& v : rpar) v = 0.0;
  EXPECT_EQ(check(), 0);
  const IWORD iwant[14] = {0, 0, 6, 0, 5, 1000, 100, 5, 30, 10, 0, 0, 0, 0};
  for (int k = 0; k < 14; ++k) EXPECT_EQ(ipar[k], iwant[k]) << "IPARAM " << k + 1;
  const double rwant[20] = {0.0,  0.0,  0.25, 0.1,   1e-7, 10.0, 3.0,  0.01,  0.5,   2.0,
                            1e-6, 1e-6, 0.9,  1e-5,  1e-5, 0.01, 1e-6, 1e-16, 1e-16, 0.0};
  for (int k = 1; k < 20; ++k)
    if (k != rp::PLIMIT - 1) EXPECT_EQ(rpar[k], rwant[k]) << "RPARAM " << k + 1;
  EXPECT_EQ(rpar[rp::PLIMIT - 1], 5.0);  // 0 >= RMISS = 0
}

TEST_F(ParamFile, UnitRules) {
  struct Row {
    IWORD plu, pll, ptu, ptl;
    bool routine;
    IWORD plu_out, ptu_out;
  };
  const Row rows[] = {
      {250, 3, 0, 3, true, 250, 0},       // kept for the message routine
      {250, 3, 0, 3, false, 0, 0},        // no routine: silenced
      {100, 3, 0, 3, false, 0, 0},        // 100 counts as outside 0..99 here
      {kImiss, 3, kImiss, 3, false, 6, 0},
      {6, 0, 9, 3, false, 0, 9},          // level 0 silences the unit
      {6, 3, 6, 3, false, 6, 0},          // one unit never gets a line twice
      {-4, 3, -5, 3, true, -4, -5},
  };
  for (const Row& rw : rows) {
    defaults();
    ipar[ip::KPLUNT - 1] = rw.plu;
    ipar[ip::KPLLEV - 1] = rw.pll;
    ipar[ip::KPTUNT - 1] = rw.ptu;
    ipar[ip::KPTLEV - 1] = rw.ptl;
    check(2, 1, rw.routine ? &kFakeRoutine : &kZeroWord);
    EXPECT_EQ(ipar[ip::KPLUNT - 1], rw.plu_out) << rw.plu;
    EXPECT_EQ(ipar[ip::KPTUNT - 1], rw.ptu_out) << rw.ptu;
  }
}

TEST_F(ParamFile, RepairsAndTheErrorFlag) {
  defaults();
  rpar[rp::FRATIO - 1] = std::numeric_limits<double>::quiet_NaN();
  ipar[ip::LUBNDS - 1] = -3;
  ipar[ip::REVERSE - 1] = 2;
  ipar[ip::NEWTON - 1] = 2;
  ipar[ip::FINMSG - 1] = -1;
  rpar[rp::PLIMIT - 1] = -2.0;
  EXPECT_EQ(check(3, 1), 1);
  EXPECT_TRUE(std::isnan(rpar[rp::FRATIO - 1]));  // a NaN passes every test
  EXPECT_EQ(ipar[ip::LUBNDS - 1], 1);
  EXPECT_EQ(ipar[ip::REVERSE - 1], 1);
  EXPECT_EQ(ipar[ip::NEWTON - 1], 0);
  EXPECT_EQ(ipar[ip::FINMSG - 1], 1);
  EXPECT_EQ(rpar[rp::PLIMIT - 1], -2.0);
  defaults();
  EXPECT_EQ(check(1, 0), 1);
  defaults();
  EXPECT_EQ(check(1, 4), 0);
}

TEST(FcontText, UpcaseAndNextWord) {
  char t[] = "ab\tC\0d ";
  IWORD first = -1, last = -1;
  orvika::fcont_upcase(t, first, last, 7);
  EXPECT_EQ(std::string(t, 7), std::string("AB C D "));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 6);
  char blank[] = "   ";
  orvika::fcont_upcase(blank, first, last, 3);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(last, 0);
  const char* s = "  key  val";
  IWORD pos = -5;
  orvika::fcont_nextword(s, pos, first, last, 10);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(last, 5);
  EXPECT_EQ(pos, 6);
  orvika::fcont_nextword(s, pos, first, last, 10);
  EXPECT_EQ(first, 8);
  EXPECT_EQ(last, 10);
  EXPECT_EQ(pos, 0);  // the word ends at the end of the text
  pos = 1;
  orvika::fcont_nextword("    ", pos, first, last, 4);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(pos, 0);
}

}  // namespace
