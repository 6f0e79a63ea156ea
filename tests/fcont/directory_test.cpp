// FCONT_GETINFO and FCONT_SETPARAM: names, positions and lengths of the
// continuation records.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "orvika/fcont.h"

namespace {

struct Found {
  IWORD index, pos, len;
};

Found lookup(IWORD kind, const std::string& name) {
  IWORD mode = 3, index = -1, pos = -1, len = -1;
  std::string buf = name;
  FCONT_GETINFO(&mode, &kind, buf.data(), &index, &pos, &len, static_cast<int64_t>(buf.size()));
  EXPECT_EQ(buf, name);  // the caller's name is not changed
  return {index, pos, len};
}

struct Named {
  std::string name;
  IWORD pos, len;
};

Named by_index(IWORD kind, IWORD index, int namelen = 8) {
  IWORD mode = 4, pos = -1, len = -1;
  std::string buf(namelen, '?');
  FCONT_GETINFO(&mode, &kind, buf.data(), &index, &pos, &len, namelen);
  return {buf, pos, len};
}

IWORD count(IWORD mode, IWORD kind) {
  IWORD len = -1, index = 0, pos = 0;
  char name[8];
  FCONT_GETINFO(&mode, &kind, name, &index, &pos, &len, 8);
  return len;
}

TEST(FcontGetinfo, Counts) {
  const IWORD names[] = {14, 20, 41, 21}, words[] = {14, 20, 47, 21};
  for (IWORD k = 1; k <= 4; ++k) {
    EXPECT_EQ(count(1, k), names[k - 1]);
    EXPECT_EQ(count(2, k), words[k - 1]);
  }
  EXPECT_EQ(count(1, 5), 0);
  EXPECT_EQ(count(2, 0), 0);
}

TEST(FcontGetinfo, NameToPosition) {
  struct Row {
    IWORD kind;
    std::string name;
    Found want;
  };
  const Row rows[] = {
      {3, "lxname", {13, 13, 4}}, {3, "LFNAME", {14, 17, 4}}, {3, "JCALC", {15, 21, 1}},
      {3, "JNEXT", {41, 47, 1}},  {3, "limcut", {12, 12, 1}}, {1, "MaxIter", {6, 6, 1}},
      {1, "FINMSG", {14, 14, 1}}, {2, "pivtol", {20, 20, 1}}, {4, "ALPHA", {21, 21, 1}},
      {4, "rlam", {4, 4, 1}},     {1, " MAXITER", {0, 0, 0}}, {1, "MAXITERS", {0, 0, 0}},
      {1, "MAXIT", {0, 0, 0}},    {2, "MAXITER", {0, 0, 0}},  {5, "MAXITER", {0, 0, 0}},
      {1, "maxiter\t", {6, 6, 1}},
      // Longer than any key: the part past 24 characters must be blank.
      {1, "MAXITER" + std::string(30, ' '), {6, 6, 1}},
      {1, "MAXITER" + std::string(17, ' ') + "X", {0, 0, 0}},
      {1, "MAXITER" + std::string(20, ' ') + "Z  ", {0, 0, 0}},
  };
  for (const Row& r : rows) {
    const Found f = lookup(r.kind, r.name);
    EXPECT_EQ(f.index, r.want.index) << r.name;
    EXPECT_EQ(f.pos, r.want.pos) << r.name;
    EXPECT_EQ(f.len, r.want.len) << r.name;
  }
}

TEST(FcontGetinfo, IndexToName) {
  struct Row {
    IWORD kind, index;
    const char* name;
    IWORD pos, len;
  };
  const Row rows[] = {
      {3, 35, "IW8S    ", 41, 1}, {3, 41, "JNEXT   ", 47, 1}, {3, 13, "LXNAME  ", 13, 4},
      {3, 14, "LFNAME  ", 17, 4}, {1, 7, "MAXPOINT", 7, 1},  {1, 15, "        ", 0, 0},
      {1, 0, "        ", 0, 0},   {6, 1, "        ", 0, 0},  {4, 21, "ALPHA   ", 21, 1},
  };
  for (const Row& r : rows) {
    const Named n = by_index(r.kind, r.index);
    EXPECT_EQ(n.name, r.name) << r.kind << "/" << r.index;
    EXPECT_EQ(n.pos, r.pos);
    EXPECT_EQ(n.len, r.len);
  }
  EXPECT_EQ(by_index(1, 6, 4).name, "MAXI");
  EXPECT_EQ(by_index(1, 6, 10).name, "MAXITER   ");
  // Every name maps back to its own index, position and length.
  for (IWORD kind = 1; kind <= 4; ++kind)
    for (IWORD k = 1; k <= count(1, kind); ++k) {
      const Named n = by_index(kind, k);
      const Found f = lookup(kind, n.name);
      EXPECT_EQ(f.index, k);
      EXPECT_EQ(f.pos, n.pos);
      EXPECT_EQ(f.len, n.len);
    }
}

TEST(FcontGetinfo, OtherModesChangeNothing) {
  IWORD mode = 7, kind = 1, index = 5, pos = 6, len = 7;
  char name[8] = {'M', 'A', 'X', 'I', 'T', 'E', 'R', ' '};
  FCONT_GETINFO(&mode, &kind, name, &index, &pos, &len, 8);
  EXPECT_EQ(index, 5);
  EXPECT_EQ(pos, 6);
  EXPECT_EQ(len, 7);
}

IWORD setparam(const std::string& name, IWORD kind, IWORD ival, double rval, IWORD* ip,
               double* rp) {
  IWORD pos = 99;
  FCONT_SETPARAM(name.data(), &kind, &ival, &rval, ip, rp, &pos, static_cast<int64_t>(name.size()));
  return pos;
}

TEST(FcontSetparam, KindsAndNames) {
  IWORD ip[14] = {};
  double rp[20] = {};
  EXPECT_EQ(setparam("maxiter", 0, 0, 50.9, ip, rp), 6);
  EXPECT_EQ(ip[5], 50);
  EXPECT_EQ(setparam("KPLLEV", 0, 0, -2.9, ip, rp), 3);
  EXPECT_EQ(ip[2], -2);
  EXPECT_EQ(setparam("FTOL", 0, 0, 1e-8, ip, rp), -11);
  EXPECT_EQ(rp[10], 1e-8);
  EXPECT_EQ(setparam("FTOL", 1, 5, 0.0, ip, rp), 0);
  EXPECT_EQ(setparam("NTITER", 3, 5, 0.0, ip, rp), 0);
  EXPECT_EQ(setparam("REVERSE", 1, 1, 0.0, ip, rp), 12);
  EXPECT_EQ(ip[11], 1);
  EXPECT_EQ(setparam("xtol", 2, 0, 3e-7, ip, rp), 12);
  EXPECT_EQ(rp[11], 3e-7);
  EXPECT_EQ(setparam("XTOL", 1, 0, 0.0, ip, rp), 0);
  EXPECT_EQ(setparam(" XTOL", 2, 0, 0.0, ip, rp), 0);
}

TEST(FcontSetparam, IntegerOptionRefusesValuesWithoutAnIntegerPart) {
  // KIND 0 truncates toward zero into an integer option; a value with no
  // 64-bit integer part is refused: POS 0 and the word keeps its value.
  struct Row {
    double rval;
    IWORD pos, stored;
  };
  const double two63 = 9223372036854775808.0;
  const double inf = std::numeric_limits<double>::infinity();
  const Row rows[] = {
      {std::nan(""), 0, 77},
      {1e300, 0, 77},
      {-1e300, 0, 77},
      {inf, 0, 77},
      {-inf, 0, 77},
      {two63, 0, 77},                                     // first value past the range
      {-two63, 7, std::numeric_limits<IWORD>::min()},     // last value inside it
      {9223372036854774784.0, 7, 9223372036854774784},    // largest double below 2^63
      {-7.9, 7, -7},
  };
  for (const Row& r : rows) {
    IWORD ip[14] = {};
    double rp[20] = {};
    ip[6] = 77;
    EXPECT_EQ(setparam("MAXPOINT", 0, 0, r.rval, ip, rp), r.pos) << r.rval;
    EXPECT_EQ(ip[6], r.stored) << r.rval;
  }
}

}  // namespace
