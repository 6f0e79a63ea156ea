// Column grouping and the finite-difference Jacobian of the continuation
// solver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "fcont/fcont.hpp"
#include "fcont/fcont_parts.hpp"
#include "support/capture.hpp"

namespace {

using IWORD = ::IWORD;
using Vec = std::vector<double>;
using IVec = std::vector<IWORD>;

struct Pattern {
  IWORD m, n;
  IVec irn, icn;
  IWORD nz() const { return static_cast<IWORD>(irn.size()); }
};

struct Grouping {
  IVec jicp, jmapz, jigrp;
  IWORD ngrp = -1;
};

Grouping group(const Pattern& p) {
  Grouping g;
  g.jicp.assign(p.n + 1, -9);
  g.jmapz.assign(std::max<IWORD>(p.nz(), 1), -9);
  g.jigrp.assign(std::max<IWORD>(p.n, 1), -9);
  // Scratch as the driver passes it: sections of a real work array.
  Vec s1(std::max(p.m, p.n) + 1, 0.0), s2(p.m + 1, 0.0);
  orvika::neq_colgroup(p.m, p.n, p.nz(), p.irn.data(), p.icn.data(), g.jicp.data(),
                       g.jmapz.data(), g.ngrp, g.jigrp.data(), s1.data(), s2.data());
  return g;
}

// The groups of JIGRP as lists of columns.
std::vector<IVec> groups_of(const Grouping& g, IWORD n) {
  std::vector<IVec> out;
  IVec cur;
  for (IWORD p = 0; p < n && g.jigrp[p] != 0; ++p) {
    cur.push_back(std::abs(g.jigrp[p]));
    if (g.jigrp[p] < 0) {
      out.push_back(cur);
      cur.clear();
    }
  }
  EXPECT_TRUE(cur.empty()) << "last group not closed by a negated entry";
  return out;
}

bool valid_entry(const Pattern& p, IWORD k) {
  return p.irn[k] >= 1 && p.irn[k] <= p.m && p.icn[k] >= 1 && p.icn[k] <= p.n;
}

// Invariants of a grouping: the entry map lists every valid entry once, by
// column in increasing entry number; every nonempty column lies in exactly
// one group; no two columns of a group share a row; NGRP counts the groups.
void check_grouping(const Pattern& p, const Grouping& g, const std::string& what) {
  std::set<IWORD> nonempty;
  IWORD nvalid = 0;
  for (IWORD k = 0; k < p.nz(); ++k)
    if (valid_entry(p, k)) {
      nonempty.insert(p.icn[k]);
      ++nvalid;
    }
  ASSERT_EQ(g.jicp[p.n], nvalid + 1) << what;
  std::set<IWORD> mapped;
  for (IWORD j = 1; j <= p.n; ++j) {
    ASSERT_LE(g.jicp[j - 1], g.jicp[j]) << what;
    for (IWORD e = g.jicp[j - 1]; e < g.jicp[j]; ++e) {
      const IWORD k = g.jmapz[e - 1];
      EXPECT_EQ(p.icn[k - 1], j) << what;
      if (e > g.jicp[j - 1]) {
        EXPECT_GT(k, g.jmapz[e - 2]) << what;
      }
      mapped.insert(k);
    }
  }
  EXPECT_EQ(static_cast<IWORD>(mapped.size()), nvalid) << what;
  const auto groups = groups_of(g, p.n);
  std::set<IWORD> seen;
  for (const IVec& grp : groups) {
    std::set<IWORD> rows;
    for (IWORD j : grp) {
      EXPECT_TRUE(seen.insert(j).second) << what << ": column " << j << " twice";
      std::set<IWORD> colrows;
      for (IWORD k = 0; k < p.nz(); ++k)
        if (valid_entry(p, k) && p.icn[k] == j) colrows.insert(p.irn[k]);
      for (IWORD r : colrows)
        EXPECT_TRUE(rows.insert(r).second) << what << ": row " << r << " shared in a group";
    }
  }
  EXPECT_EQ(seen, nonempty) << what;
  if (!nonempty.empty()) EXPECT_EQ(g.ngrp, static_cast<IWORD>(groups.size())) << what;
  for (IWORD pos = static_cast<IWORD>(seen.size()); pos < p.n; ++pos)
    EXPECT_EQ(g.jigrp[pos], 0) << what;
}

TEST(FcontColGroup, TridiagonalExample) {
  const Pattern p{3, 3, {1, 1, 2, 2, 2, 3, 3}, {1, 2, 1, 2, 3, 2, 3}};
  const Grouping g = group(p);
  EXPECT_EQ(g.ngrp, 3);
  EXPECT_EQ(g.jigrp, (IVec{-2, -1, -3}));
  EXPECT_EQ(g.jicp, (IVec{1, 3, 6, 8}));
  EXPECT_EQ(g.jmapz, (IVec{1, 3, 2, 4, 6, 5, 7}));
  check_grouping(p, g, "tridiagonal");
}

TEST(FcontColGroup, DiagonalIsOneGroup) {
  const Pattern p{5, 5, {3, 1, 5, 2, 4}, {3, 1, 5, 2, 4}};
  const Grouping g = group(p);
  EXPECT_EQ(g.ngrp, 1);
  EXPECT_EQ(g.jigrp, (IVec{1, 2, 3, 4, -5}));
  check_grouping(p, g, "diagonal");
}

TEST(FcontColGroup, EmptyColumnsAndStructures) {
  // Column 2 has no entry: it is in no group.
  const Pattern p{3, 3, {1, 2, 3}, {1, 3, 3}};
  const Grouping g = group(p);
  check_grouping(p, g, "empty column");
  for (IWORD v : g.jigrp) EXPECT_NE(std::abs(v), 2);
  // No entry at all: one (empty) group count and an all-zero list.
  const Pattern e{3, 3, {}, {}};
  const Grouping ge = group(e);
  EXPECT_EQ(ge.ngrp, 1);
  EXPECT_EQ(ge.jigrp, (IVec{0, 0, 0}));
  EXPECT_EQ(ge.jicp, (IVec{1, 1, 1, 1}));
}

// Entries outside the structure's range are left out instead of indexing
// outside the arrays; a column with more entries than rows (repeated
// positions) is grouped without overrunning the histogram.
TEST(FcontColGroup, BadEntriesAreLeftOut) {
  const Pattern p{3, 3, {1, 0, 2, 4, 3, 1, 1, 1, 1}, {1, 2, 7, 1, -1, 3, 3, 3, 3}};
  const Grouping g = group(p);
  check_grouping(p, g, "bad entries");
  for (IWORD e = g.jicp[3]; e <= p.nz(); ++e) EXPECT_EQ(g.jmapz[e - 1], 0);
}

TEST(FcontColGroup, RandomStructuresSatisfyInvariants) {
  std::uint64_t s = 12345;
  auto next = [&](IWORD lim) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<IWORD>((s >> 33) % static_cast<std::uint64_t>(lim)) + 1;
  };
  for (IWORD trial = 0; trial < 40; ++trial) {
    const IWORD m = next(12), n = next(12), nz = next(3 * std::max(m, n));
    Pattern p{m, n, {}, {}};
    for (IWORD k = 0; k < nz; ++k) {
      p.irn.push_back(next(m));
      p.icn.push_back(next(n));
    }
    check_grouping(p, group(p), "trial " + std::to_string(trial));
  }
}

// ---------------------------------------------------------------------------
// Finite-difference Jacobian
// ---------------------------------------------------------------------------

// A test system with its residual and analytic Jacobian entries.
struct System {
  Pattern pat;
  std::function<void(const Vec&, Vec&)> f;
  std::function<double(const Vec&, IWORD, IWORD)> dfdx;  // (x, row, column)
};

// F(i) = i x(i)^2 + sin(x(i+1)) + x(i-1) x(i): tridiagonal.
System tridiagonal_system(IWORD n) {
  System s;
  s.pat = {n, n, {}, {}};
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD j = std::max<IWORD>(1, i - 1); j <= std::min(n, i + 1); ++j) {
      s.pat.irn.push_back(i);
      s.pat.icn.push_back(j);
    }
  s.f = [n](const Vec& x, Vec& f) {
    for (IWORD i = 1; i <= n; ++i) {
      double v = static_cast<double>(i) * x[i - 1] * x[i - 1];
      if (i < n) v += std::sin(x[i]);
      if (i > 1) v += x[i - 2] * x[i - 1];
      f[i - 1] = v;
    }
  };
  s.dfdx = [](const Vec& x, IWORD i, IWORD j) {
    if (j == i) return 2.0 * static_cast<double>(i) * x[i - 1] + (i > 1 ? x[i - 2] : 0.0);
    if (j == i + 1) return std::cos(x[i]);
    return x[i - 1];  // j == i - 1
  };
  return s;
}

// Options and state of a difference run.
struct FdRun {
  IWORD istore = 1, jmode = 2, ldb = 0, lubnds = 0, kplunt = 0;
  double pertf = 1e-5, xpmin = 1e-5, difrel = 0.01, difabs = 1e-6;
  Vec xlb, xub;
  IWORD lxname[4] = {0, 0, 8, 0}, lfname[4] = {0, 0, 8, 0};
  const void* names = nullptr;
  IWORD requests = 0;
  std::vector<Vec> points;  // X at every residual request
};

// Drives neq_jacfd to completion the way the driver does; A in/out.
void difference(const System& s, FdRun& r, const Grouping* g, Vec& x, Vec& f, Vec& a) {
  const IWORD n = s.pat.n, m = s.pat.m;
  Vec xb(n), fs(m), fb(m);
  if (r.xlb.empty()) r.xlb.assign(n, -1e30);
  if (r.xub.empty()) r.xub.assign(n, 1e30);
  const IWORD zero = 0;
  const IVec none(1, 0);
  const IWORD* jicp = g ? g->jicp.data() : none.data();
  const IWORD* jmapz = g ? g->jmapz.data() : none.data();
  const IWORD* jigrp = g ? g->jigrp.data() : none.data();
  IWORD njiter = 0;
  for (int guard = 0; guard < 1000; ++guard) {
    orvika::neq_jacfd(r.istore, r.jmode, m, n, s.pat.nz(), x.data(), f.data(), r.xlb.data(),
                      r.xub.data(), njiter, r.ldb, s.pat.irn.data(), a.data(), jicp, jmapz,
                      jigrp, r.pertf, r.xpmin, r.difrel, r.difabs, xb.data(), fs.data(),
                      fb.data(), r.lubnds, r.lxname, r.names, r.lfname, r.names, &zero,
                      r.kplunt, &zero);
    if (njiter == 0) return;
    ++r.requests;
    r.points.push_back(x);
    s.f(x, f);
  }
  FAIL() << "difference loop did not end";
}

TEST(FcontJacFd, GroupedSparseMatchesAnalyticJacobian) {
  for (IWORD n : {1, 2, 5, 12}) {
    const System s = tridiagonal_system(n);
    const Grouping g = group(s.pat);
    Vec x(n);
    for (IWORD i = 0; i < n; ++i) x[i] = 0.3 * static_cast<double>(i) - 1.0;
    const Vec x0 = x;
    Vec f(n);
    s.f(x, f);
    const Vec f0 = f;
    Vec a(s.pat.nz(), -99.0);
    FdRun r;
    difference(s, r, &g, x, f, a);
    EXPECT_EQ(r.requests, 1 + g.ngrp) << "n=" << n;
    EXPECT_EQ(g.ngrp, std::min<IWORD>(n, 3)) << "n=" << n;
    EXPECT_EQ(x, x0);
    EXPECT_EQ(f, f0);
    for (IWORD k = 0; k < s.pat.nz(); ++k) {
      const double e = s.dfdx(x0, s.pat.irn[k], s.pat.icn[k]);
      EXPECT_NEAR(a[k], e, 1e-4 * std::max(1.0, std::fabs(e))) << "n=" << n << " k=" << k;
    }
  }
}

TEST(FcontJacFd, DenseColumnsMatchAnalyticJacobian) {
  const IWORD n = 4, ldb = 6;
  const System s = tridiagonal_system(n);
  Vec x = {0.5, -1.5, 2.0, 0.0};
  const Vec x0 = x;
  Vec f(n);
  s.f(x, f);
  Vec a(ldb * n, -99.0);
  FdRun r;
  r.istore = 2;
  r.ldb = ldb;
  difference(s, r, nullptr, x, f, a);
  EXPECT_EQ(r.requests, 1 + n);
  EXPECT_EQ(x, x0);
  for (IWORD j = 1; j <= n; ++j) {
    for (IWORD i = 1; i <= n; ++i) {
      const double e = std::abs(i - j) <= 1 ? s.dfdx(x0, i, j) : 0.0;
      EXPECT_NEAR(a[(i - 1) + (j - 1) * ldb], e, 1e-4 * std::max(1.0, std::fabs(e)));
    }
    for (IWORD i = n + 1; i <= ldb; ++i) EXPECT_EQ(a[(i - 1) + (j - 1) * ldb], -99.0);
  }
}

// A single column, dense: the perturbation actually applied.
TEST(FcontJacFd, PerturbationSteps) {
  struct Case {
    const char* what;
    double x, pertf, lb, ub;
    IWORD lubnds;
    double step;  // expected X - XB at the perturbed request
  };
  const Case cases[] = {
      {"negative x", -3.0, 1e-5, -1e30, 1e30, 0, -3e-5},
      {"zero x", 0.0, 1e-5, -1e30, 1e30, 0, 1e-10},
      {"reversed at the upper bound", 0.999999, 1e-5, 0.0, 1.0, 1, -0.999999e-5},
      {"bounds not in force", 0.999999, 1e-5, 0.0, 1.0, 0, 0.999999e-5},
  };
  for (const Case& c : cases) {
    System s;
    s.pat = {1, 1, {1}, {1}};
    s.f = [](const Vec& x, Vec& f) { f[0] = 3.0 * x[0]; };
    Vec x = {c.x}, f = {3.0 * c.x}, a = {0.0};
    FdRun r;
    r.istore = 2;
    r.ldb = 1;
    r.pertf = c.pertf;
    r.lubnds = c.lubnds;
    r.xlb = {c.lb};
    r.xub = {c.ub};
    difference(s, r, nullptr, x, f, a);
    ASSERT_EQ(r.points.size(), 2u) << c.what;
    EXPECT_NEAR(r.points[1][0] - c.x, c.step, 1e-15) << c.what;
    EXPECT_NEAR(a[0], 3.0, 1e-6) << c.what;
    EXPECT_EQ(x[0], c.x) << c.what;
  }
}

// A perturbation lost to rounding would make the quotient 0/0: the step is
// kept at least one unit in the last place.
TEST(FcontJacFd, StepLostToRoundingStaysFinite) {
  System s;
  s.pat = {1, 1, {1}, {1}};
  s.f = [](const Vec& x, Vec& f) { f[0] = 3.0 * x[0]; };
  Vec x = {1.0}, f = {3.0}, a = {0.0};
  FdRun r;
  r.istore = 2;
  r.ldb = 1;
  r.pertf = 1e-20;
  difference(s, r, nullptr, x, f, a);
  ASSERT_EQ(r.points.size(), 2u);
  EXPECT_NE(r.points[1][0], 1.0);
  EXPECT_TRUE(std::isfinite(a[0]));
  EXPECT_NEAR(a[0], 3.0, 1.5);
}

// Grouped mode, repeated position: the first entry receives the quotient,
// the second 0, so their sum is the derivative.  An empty column is never
// perturbed.
TEST(FcontJacFd, RepeatedPositionAndEmptyColumn) {
  System s;
  s.pat = {2, 3, {1, 1, 2}, {1, 1, 3}};
  s.f = [](const Vec& x, Vec& f) {
    f[0] = 4.0 * x[0];
    f[1] = -2.0 * x[2];
  };
  const Grouping g = group(s.pat);
  EXPECT_EQ(g.ngrp, 1);
  Vec x = {1.0, 2.0, 3.0}, f(2), a(3, -99.0);
  s.f(x, f);
  FdRun r;
  difference(s, r, &g, x, f, a);
  EXPECT_EQ(r.requests, 2);
  EXPECT_NEAR(a[0], 4.0, 1e-6);
  EXPECT_EQ(a[1], 0.0);
  EXPECT_NEAR(a[2], -2.0, 1e-6);
  for (const Vec& p : r.points) EXPECT_EQ(p[1], 2.0);
}

// Linear system; the caller's values below give 5 at (2,3) where 2 is right.
System linear_system() {
  System s;
  s.pat = {3, 3, {1, 2, 2, 3}, {1, 2, 3, 3}};
  s.f = [](const Vec& x, Vec& f) {
    f[0] = 1.0 * x[0];
    f[1] = -1.0 * x[1] + 2.0 * x[2];
    f[2] = 3.0 * x[2] + 0.5 * x[1];  // (3,2) is outside the structure
  };
  return s;
}

TEST(FcontJacFd, CheckReportsDisagreementsExactly) {
  const System s = linear_system();
  const Grouping g = group(s.pat);
  struct Case {
    const char* what;
    IWORD jmode, kplunt;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"grouped check", 3, 6,
       {"", " I, J, NIJ, K, AIJ:     2     3   2.00000          3   5.00000"}},
      {"column check with structure test", 4, 6,
       {"", std::string(" I, J, NIJ:        ") + "     3" + "     2" + "      " + "  0.500000",
        "", " I, J, NIJ, K, AIJ:     2     3   2.00000          3   5.00000"}},
      {"silent unit", 3, 0, {}},
  };
  for (const Case& c : cases) {
    orvika_test::UnitCapture cap(6);
    Vec x = {1.0, 2.0, 3.0}, f(3), a = {1.0, -1.0, 5.0, 3.0};
    s.f(x, f);
    FdRun r;
    r.jmode = c.jmode;
    r.kplunt = c.kplunt;
    difference(s, r, &g, x, f, a);
    EXPECT_EQ(cap.lines(), c.lines) << c.what;
    // The caller's values stay in use.
    EXPECT_EQ(a, (Vec{1.0, -1.0, 5.0, 3.0})) << c.what;
  }
}

// A caller's value that is not a finite number (NaN, an infinity) is as
// wrong as a value can be: the check reports it like any other
// disagreement, sparse (grouped and by columns) and dense alike.
TEST(FcontJacFd, CheckReportsCallerValuesThatAreNotNumbers) {
  const System s = linear_system();
  const Grouping g = group(s.pat);
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double bad;       // the caller's value at (2,3), where 2 is right
    const char* text;  // its field in the report line
  };
  const Case cases[] = {{std::numeric_limits<double>::quiet_NaN(), "NaN"},
                        {inf, "Infinity"},
                        {-inf, "-Infinity"}};
  for (const Case& c : cases)
    for (IWORD istore : {1, 2})
      for (IWORD jmode : {3, 4}) {
        SCOPED_TRACE(std::string(c.text) + (istore == 1 ? " sparse" : " dense") + " jmode " +
                     std::to_string(jmode));
        orvika_test::UnitCapture cap(6);
        Vec x = {1.0, 2.0, 3.0}, f(3);
        s.f(x, f);
        FdRun r;
        r.istore = istore;
        r.jmode = jmode;
        r.kplunt = 6;
        Vec a;
        IWORD pos = 3;  // position of (2,3): entry 3, or 2 + 3 (3 - 1) dense
        if (istore == 1) {
          a = {1.0, -1.0, c.bad, 3.0};
        } else {
          r.ldb = 3;
          a = {1.0, 0.0, 0.0, 0.0, -1.0, 0.5, 0.0, c.bad, 3.0};
          pos = 8;
        }
        difference(s, r, istore == 1 ? &g : nullptr, x, f, a);
        const std::string field(14 - std::string(c.text).size(), ' ');
        const std::string expect = std::string(" I, J, NIJ, K, AIJ:     2     3   2.00000") +
                                   (pos == 3 ? "          3" : "          8") + field + c.text;
        std::vector<std::string> entry_lines;
        for (const std::string& l : cap.lines())
          if (l.find("AIJ") != std::string::npos) entry_lines.push_back(l);
        EXPECT_EQ(entry_lines, std::vector<std::string>{expect});
      }
}

// With names in use a second line names the derivative.
TEST(FcontJacFd, CheckNamesTheDerivative) {
  const System s = linear_system();
  const Grouping g = group(s.pat);
  // Stored names, one 8-character word each: equations and variables alike.
  char names[3 * 8];
  std::memcpy(names, "TEMP1   PRESS2  FLOW3   ", sizeof names);
  FdRun r;
  r.jmode = 3;
  r.kplunt = 6;
  r.names = names;
  r.lxname[0] = 1;
  r.lfname[0] = 1;
  orvika::fcont_nameinit(3, r.lxname, names, nullptr);
  orvika::fcont_nameinit(3, r.lfname, names, nullptr);
  orvika_test::UnitCapture cap(6);
  Vec x = {1.0, 2.0, 3.0}, f(3), a = {1.0, -1.0, 5.0, 3.0};
  s.f(x, f);
  difference(s, r, &g, x, f, a);
  const std::vector<std::string> expect = {
      "", " I, J, NIJ, K, AIJ:     2     3   2.00000          3   5.00000",
      " d(PRESS2)/d(FLOW3)"};
  EXPECT_EQ(cap.lines(), expect);
}

// A dense leading dimension below M cannot hold the matrix: nothing is
// written outside it and the loop ends after the base point.
TEST(FcontJacFd, DenseLeadingDimensionTooSmall) {
  const System s = tridiagonal_system(3);
  Vec x = {1.0, 2.0, 3.0}, f(3), a(2 * 3, -99.0);
  s.f(x, f);
  FdRun r;
  r.istore = 2;
  r.ldb = 2;
  difference(s, r, nullptr, x, f, a);
  EXPECT_EQ(r.requests, 1);
  for (double v : a) EXPECT_EQ(v, -99.0);
}

TEST(FcontJacFd, ReportLinePrinter) {
  orvika_test::UnitCapture cap(7);
  char line[132];
  std::memset(line, ' ', sizeof line);
  std::memcpy(line, " ABC", 4);
  orvika::neq_prtbuf(7, nullptr, 11, line);
  orvika::neq_prtbuf(0, nullptr, 11, line);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"", " ABC", ""}));
}

}  // namespace
