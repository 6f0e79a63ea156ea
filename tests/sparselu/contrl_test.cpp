// Tests of ORVK_CONTRL: the full path on a catalogue of small systems with
// every method and ordering, reuse of an ordering and re-solves against a
// dense reference, the driver's codes and messages, relocation, repairs
// that change N, save/restore, scaling, and the shared real matrices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "orvika/sparselu.h"
#include "sparselu/lumethods.hpp"
#include "support/capture.hpp"
#include "support/mtx.hpp"
#include "../../bench/flowsheet_gen.hpp"

namespace {

using Lines = std::vector<std::string>;
constexpr int kUnit = 41;
constexpr double kResidualRatio = 30.0;  // ||b - A x|| / (||A|| ||x|| n eps)
constexpr double kSame = 1e-10;          // relative difference of two solutions
// Method 7 eliminates only the rows it demotes, against earlier rows used
// unchanged, so its multipliers are bounded only through the demotion test
// (RNKOPT 1): with a small tolerance the error grows geometrically with the
// grid of a convection-diffusion operator (1e-13 at 3 x 3, 1e-10 at 4 x 4,
// 1e+1 at 8 x 8 with 0.1); 0.5 keeps it at rounding level.
constexpr double kMethod7Tol = 0.5;

// ---- systems ------------------------------------------------------------------

using orvika_test::scaled_residual;
using orvika_test::Triplets;

// Deterministic pseudo-random numbers in [0, 1).
struct Lcg {
  std::uint64_t s;
  explicit Lcg(std::uint64_t seed) : s(seed * 2862933555777941757ULL + 3037000493ULL) {}
  double next() {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(s >> 11) * 0x1.0p-53;
  }
  IWORD below(IWORD n) { return static_cast<IWORD>(next() * static_cast<double>(n)); }
};

Triplets diagonal(IWORD n) {
  Triplets s;
  s.n = n;
  for (IWORD i = 1; i <= n; ++i) s.add(i, i, static_cast<double>(i) - 0.5);
  return s;
}
// Lower bidiagonal plus a dense first column: no spikes.
Triplets lower(IWORD n) {
  Triplets s;
  s.n = n;
  for (IWORD i = 1; i <= n; ++i) {
    if (i > 1) s.add(i, 1, 0.3 * static_cast<double>(i));
    if (i > 2) s.add(i, i - 1, -1.0);
    s.add(i, i, 2.0 + 0.1 * static_cast<double>(i));
  }
  return s;
}
// Arrow: full first row and column and the diagonal (one spike per row).
Triplets arrow(IWORD n) {
  Triplets s;
  s.n = n;
  s.add(1, 1, 4.0);
  for (IWORD i = 2; i <= n; ++i) {
    s.add(1, i, 1.0 / static_cast<double>(i));
    s.add(i, 1, -0.5);
    s.add(i, i, 3.0 + static_cast<double>(i % 3));
  }
  return s;
}
// A permuted tridiagonal matrix with a zero-free anti-structure: the
// diagonal is empty, so the ordering must find the transversal.
Triplets permuted_tridiag(IWORD n) {
  Triplets s;
  s.n = n;
  for (IWORD i = 1; i <= n; ++i) {
    const IWORD row = n + 1 - i;  // row reversal
    s.add(row, i, 4.0);
    if (i > 1) s.add(row, i - 1, -1.0);
    if (i < n) s.add(row, i + 1, -1.5);
  }
  return s;
}
// 2-D convection-diffusion on an m x m grid (5-point, upwind convection).
Triplets convection(IWORD m, double peclet = 3.0) {
  Triplets s;
  s.n = m * m;
  auto id = [m](IWORD i, IWORD j) { return (j - 1) * m + i; };
  for (IWORD j = 1; j <= m; ++j)
    for (IWORD i = 1; i <= m; ++i) {
      const IWORD k = id(i, j);
      s.add(k, k, 4.0 + peclet);
      if (i > 1) s.add(k, id(i - 1, j), -1.0 - peclet);
      if (i < m) s.add(k, id(i + 1, j), -1.0);
      if (j > 1) s.add(k, id(i, j - 1), -1.0);
      if (j < m) s.add(k, id(i, j + 1), -1.0);
    }
  return s;
}
// Random unsymmetric pattern with a nonzero diagonal and 3 off-diagonal
// entries per row; values of both signs.
Triplets random_sparse(IWORD n, std::uint64_t seed) {
  Triplets s;
  s.n = n;
  Lcg g(seed);
  for (IWORD i = 1; i <= n; ++i) {
    std::vector<IWORD> cols{i};
    while (cols.size() < 4) {
      const IWORD j = 1 + g.below(n);
      if (std::find(cols.begin(), cols.end(), j) == cols.end()) cols.push_back(j);
    }
    for (IWORD j : cols) s.add(i, j, (j == i ? 2.0 : 0.0) + 2.0 * g.next() - 1.0);
  }
  return s;
}
// Triplets of S in a shuffled order.
Triplets shuffled(Triplets s, std::uint64_t seed) {
  Lcg g(seed);
  for (IWORD k = s.nz() - 1; k > 0; --k) {
    const IWORD j = g.below(k + 1);
    std::swap(s.row[k], s.row[j]);
    std::swap(s.col[k], s.col[j]);
    std::swap(s.val[k], s.val[j]);
  }
  return s;
}

std::vector<double> rhs_for(const Triplets& s, std::uint64_t seed) {
  std::vector<double> x(s.n);
  Lcg g(seed);
  for (double& v : x) v = 1.0 + g.next();
  return s.mul(x);
}

// Dense Gaussian elimination with partial pivoting: the reference solution.
std::vector<double> dense_solve(const Triplets& s, std::vector<double> b) {
  const IWORD n = s.n;
  std::vector<double> a(n * n, 0.0);
  for (IWORD k = 0; k < s.nz(); ++k) a[(s.row[k] - 1) * n + (s.col[k] - 1)] += s.val[k];
  for (IWORD k = 0; k < n; ++k) {
    IWORD p = k;
    for (IWORD i = k + 1; i < n; ++i)
      if (std::fabs(a[i * n + k]) > std::fabs(a[p * n + k])) p = i;
    for (IWORD j = 0; j < n; ++j) std::swap(a[k * n + j], a[p * n + j]);
    std::swap(b[k], b[p]);
    for (IWORD i = k + 1; i < n; ++i) {
      const double f = a[i * n + k] / a[k * n + k];
      for (IWORD j = k; j < n; ++j) a[i * n + j] -= f * a[k * n + j];
      b[i] -= f * b[k];
    }
  }
  for (IWORD k = n - 1; k >= 0; --k) {
    for (IWORD j = k + 1; j < n; ++j) b[k] -= a[k * n + j] * b[j];
    b[k] /= a[k * n + k];
  }
  return b;
}

double max_rel_diff(const std::vector<double>& x, const std::vector<double>& y) {
  double d = 0, m = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    d = std::max(d, std::fabs(x[i] - y[i]));
    m = std::max(m, std::fabs(y[i]));
  }
  return d / m;
}

// ---- the caller's side: options, work space, call ---------------------------------------

// Default options, a message unit, and pivot tolerances of 0.1 (the
// residual bounds below assume moderate growth).
void defaults(IWORD unit = kUnit) {
  ORVK_SPARMI.INTRAT = 1;
  ORVK_SPARMI.SPARM3 = 0;
  ORVK_INITSP();
  ORVK_SPOPT1.PIVTL1 = 0.1;
  ORVK_SPOPT1.PIVTL2 = 0.1;
  ORVK_SPOPT2.IB = 1;
  ORVK_SPOPT2.MSGUNIT = unit;
  ORVK_SPOPT4.NRHSMX = 1;
  ORVK_SPOPT4.NRHS = 1;
}

// The least work-space size of the driver (its formula, I4FAC = 1).
IWORD min_spende(IWORD n, IWORD nz, IWORD method, double spcfac = 1.0) {
  IWORD base = 9 * (n + nz / 4 + (n + (5 * n) / 8 + nz / 2)) + 90;
  if (method == 2) base += (9 * (nz / 2 + (n + nz / 2))) / 8 + (9 * (nz + (n + nz))) / 8;
  if (method == 5) base += (9 * (nz + (nz + 2 * n))) / 8;
  return static_cast<IWORD>(std::max(1.0, spcfac) * static_cast<double>(base));
}

std::string i6(IWORD v) {
  std::string t = std::to_string(v);
  return t.size() > 6 ? std::string(6, '*') : std::string(6 - t.size(), ' ') + t;
}
std::string line(const std::string& t) { return "      " + t; }
const std::string kTerminated = line("PROGRAM EXECUTION TERMINATED  (CONTRL)");

// One work space and the call.
struct Call {
  std::vector<IWORD> w;
  IWORD spende = 0, n = 0, nz = 0, ierr = 0;

  double getr(IWORD q) const {
    double v;
    std::memcpy(&v, &w[q - 1], sizeof v);
    return v;
  }
  void setr(IWORD q, double v) { std::memcpy(&w[q - 1], &v, sizeof v); }
  IWORD geti(IWORD p) const { return w[p - 1]; }
  void seti(IWORD p, IWORD v) { w[p - 1] = v; }

  IWORD run() {
    ORVK_CONTRL(w.data(), reinterpret_cast<double*>(w.data()), &spende, &n, &nz, &ierr);
    return ierr;
  }
  std::vector<double> x(IWORD col = 1) const {
    // before any call has placed X the position word may be stale: no X yet
    if (ORVK_SPOPT2.X < 1 || ORVK_SPOPT2.X + col * n - 1 > static_cast<IWORD>(w.size())) return {};
    std::vector<double> r(n);
    for (IWORD i = 0; i < n; ++i) r[i] = getr(ORVK_SPOPT2.X + (col - 1) * n + i);
    return r;
  }
  std::vector<double> b(IWORD len) const {
    std::vector<double> r(len);
    for (IWORD i = 0; i < len; ++i) r[i] = getr(1 + i);
    return r;
  }
  void set_b(const std::vector<double>& b, IWORD offset = 0) {
    for (std::size_t i = 0; i < b.size(); ++i) setr(1 + offset + static_cast<IWORD>(i), b[i]);
  }
  // The matrix as the driver left it in triplet form (words 15, 16, 20).
  Triplets triplets() const {
    Triplets s;
    s.n = n;
    for (IWORD k = 0; k < nz; ++k)
      s.add(geti(ORVK_SPOPT2.IVECT + k), geti(ORVK_SPOPT2.JVECT + k), getr(ORVK_SPOPT2.IA + k));
    return s;
  }
};

// Triplets and right-hand side(s) laid out as callers do: B at 1, the
// triplets at the end of a work space of SPENDE words.
Call place(const Triplets& s, const std::vector<double>& b, IWORD spende) {
  Call c;
  c.spende = spende;
  c.n = s.n;
  c.nz = s.nz();
  c.w.assign(static_cast<std::size_t>(spende), 0);
  c.set_b(b);
  const IWORD ia = spende - s.nz() + 1, jv = ia - s.nz(), iv = jv - s.nz();
  for (IWORD k = 0; k < s.nz(); ++k) {
    c.seti(iv + k, s.row[k]);
    c.seti(jv + k, s.col[k]);
    c.setr(ia + k, s.val[k]);
  }
  ORVK_SPOPT2.INPFRM = 1;
  ORVK_SPOPT2.IB = 1;
  ORVK_SPOPT2.IVECT = iv;
  ORVK_SPOPT2.JVECT = jv;
  ORVK_SPOPT2.IA = ia;
  return c;
}
IWORD roomy(const Triplets& s, IWORD method) { return 3 * min_spende(s.n, s.nz(), method) + 1000; }

// A zeroed work space of SPENDE words for a problem of order N with NZ entries.
Call blank(IWORD spende, IWORD n, IWORD nz) {
  Call c;
  c.spende = spende;
  c.n = n;
  c.nz = nz;
  c.w.assign(static_cast<std::size_t>(spende), 0);
  return c;
}

// Where the caller's arrays lie (words of ORVK_SPOPT2).
struct Positions {
  IWORD inpfrm, iornin, irp, iorn, ivect, jvect, ici, ia;
  void set() const {
    ORVK_SPOPT2.INPFRM = inpfrm;
    ORVK_SPOPT2.IORNIN = iornin;
    ORVK_SPOPT2.IRP = irp;
    ORVK_SPOPT2.IORN = iorn;
    ORVK_SPOPT2.IVECT = ivect;
    ORVK_SPOPT2.JVECT = jvect;
    ORVK_SPOPT2.ICI = ici;
    ORVK_SPOPT2.IA = ia;
  }
};

// Writes the values V of the pattern that the last call returned (sorted
// by row) back over IA, as a caller does before reusing the ordering.
void new_values(Call& c, const Triplets& sorted) {
  for (IWORD k = 0; k < sorted.nz(); ++k) c.setr(ORVK_SPOPT2.IA + k, sorted.val[k]);
}

// Writes the whole matrix T again at the triplet positions of the last call,
// as a caller does when the driver did not keep it.
void new_triplets(Call& c, const Triplets& t) {
  for (IWORD q = 0; q < t.nz(); ++q) {
    c.seti(ORVK_SPOPT2.IVECT + q, t.row[q]);
    c.seti(ORVK_SPOPT2.JVECT + q, t.col[q]);
    c.setr(ORVK_SPOPT2.IA + q, t.val[q]);
  }
}

// Sorted copy of the triplets (row, column).
Triplets sorted(Triplets s) {
  std::vector<IWORD> p(s.nz());
  for (IWORD k = 0; k < s.nz(); ++k) p[k] = k;
  std::sort(p.begin(), p.end(), [&](IWORD a, IWORD b) {
    return std::tie(s.row[a], s.col[a]) < std::tie(s.row[b], s.col[b]);
  });
  Triplets t;
  t.n = s.n;
  for (IWORD k : p) t.add(s.row[k], s.col[k], s.val[k]);
  return t;
}

// ---- the catalogue through every method and ordering ------------------------------------------

struct Named {
  const char* name;
  Triplets (*make)();
};
const Named kCatalogue[] = {
    {"diagonal 5 (blocks of one)", [] { return diagonal(5); }},
    {"lower 12 (no spikes)", [] { return lower(12); }},
    {"arrow 9 (a spike per row)", [] { return arrow(9); }},
    {"permuted tridiagonal 11 (empty diagonal)", [] { return permuted_tridiag(11); }},
    {"convection 8x8", [] { return convection(8); }},
    {"random 60", [] { return random_sparse(60, 7); }},
};

TEST(Contrl, EveryMethodOrderingAndScalingSolvesTheCatalogue) {
  for (const Named& m : kCatalogue) {
    const Triplets s = m.make();
    const std::vector<double> b = rhs_for(s, 3);
    const std::vector<double> xref = dense_solve(s, b);
    for (IWORD method : {1, 2, 4, 5, 7})
      for (IWORD ordopt : {1, 2, 3, 4, 5})
        for (IWORD sclopt : {1, 2}) {
          SCOPED_TRACE(std::string(m.name) + " method " + std::to_string(method) + " ordering " +
                       std::to_string(ordopt) + " scaling " + std::to_string(sclopt));
          defaults(0);
          ORVK_SPOPT2.METHOD = method;
          ORVK_SPOPT2.ORDOPT = ordopt;
          ORVK_SPOPT2.SCLOPT = sclopt;
          ORVK_SPOPT2.CBSROW = s.n;
          if (method == 7) ORVK_SPOPT1.PIVTL2 = kMethod7Tol;
          Call c = place(s, b, roomy(s, method));
          const IWORD code = c.run();
          EXPECT_EQ(code, 0);
          if (code != 0) continue;
          EXPECT_EQ(c.n, s.n);
          EXPECT_EQ(c.nz, s.nz());
          const std::vector<double> x = c.x();
          EXPECT_LT(scaled_residual(s, x, b), kResidualRatio);
          EXPECT_LT(max_rel_diff(x, xref), 1e-10);
          // RSTOPT = 1: B and the matrix come back.
          EXPECT_EQ(c.b(s.n), b);
          EXPECT_EQ(ORVK_SPOPT3.LASTNZ, s.nz());
        }
  }
}

TEST(Contrl, TwoRightHandSidesAndInvalidCounts) {
  const Triplets s = convection(5);
  const std::vector<double> b1 = rhs_for(s, 1), b2 = rhs_for(s, 2);
  for (IWORD method : {1, 2, 4, 5}) {
    SCOPED_TRACE(method);
    defaults(0);
    ORVK_SPOPT2.METHOD = method;
    ORVK_SPOPT2.SCLOPT = 1;
    ORVK_SPOPT4 = {2, 2};
    Call c = place(s, b1, roomy(s, method) + 4 * s.n);
    c.set_b(b2, s.n);
    ASSERT_EQ(c.run(), 0);
    EXPECT_LT(max_rel_diff(c.x(1), dense_solve(s, b1)), kSame);
    EXPECT_LT(max_rel_diff(c.x(2), dense_solve(s, b2)), kSame);
  }
  // NRHSMX = 3, or NRHS > NRHSMX: both become 1.
  for (ORVK_SPOPT4_T bad : {ORVK_SPOPT4_T{3, 1}, ORVK_SPOPT4_T{1, 2}, ORVK_SPOPT4_T{0, 0}}) {
    defaults(0);
    ORVK_SPOPT4 = bad;
    Call c = place(s, b1, roomy(s, 1));
    ASSERT_EQ(c.run(), 0);
    EXPECT_EQ(ORVK_SPOPT4.NRHSMX, 1);
    EXPECT_EQ(ORVK_SPOPT4.NRHS, 1);
    EXPECT_LT(max_rel_diff(c.x(), dense_solve(s, b1)), kSame);
  }
}

// Lays out the row-sorted S in row form: row pointers at IRP, columns at
// ICI and values at IA (word positions of C), and points ORVK_SPOPT2 at them.
void place_rows(Call& c, const Triplets& s, IWORD irp, IWORD ici, IWORD ia) {
  std::vector<IWORD> ptr(s.n + 1, 0);
  for (IWORD k = 0; k < s.nz(); ++k) ++ptr[s.row[k]];
  c.seti(irp, 1);
  for (IWORD i = 1; i <= s.n; ++i) c.seti(irp + i, c.geti(irp + i - 1) + ptr[i]);
  for (IWORD k = 0; k < s.nz(); ++k) {
    c.seti(ici + k, s.col[k]);
    c.setr(ia + k, s.val[k]);
  }
  ORVK_SPOPT2.IRP = irp;
  ORVK_SPOPT2.ICI = ici;
  ORVK_SPOPT2.IA = ia;
}

TEST(Contrl, RowFormInput) {
  const Triplets s = sorted(random_sparse(30, 11));
  const std::vector<double> b = rhs_for(s, 5);
  for (IWORD iornin : {0, 1}) {
    defaults(0);
    ORVK_SPOPT2.INPFRM = 2;
    ORVK_SPOPT2.IORNIN = iornin;
    Call c = blank(roomy(s, 1), s.n, s.nz());
    c.set_b(b);
    // Row pointers, a reversed supplied row order, columns and values spread out.
    const IWORD iorn = 200;
    place_rows(c, s, 40, c.spende - 2 * s.nz() - 10, c.spende - s.nz() + 1);
    for (IWORD i = 0; i < s.n; ++i) c.seti(iorn + i, s.n - i);
    ORVK_SPOPT2.IORN = iorn;
    ASSERT_EQ(c.run(), 0);
    EXPECT_LT(scaled_residual(s, c.x(), b), kResidualRatio);
    // The caller finds its rows again, and their row numbers at word 15.
    EXPECT_EQ(sorted(c.triplets()).val, s.val);
  }
}

// A reused ordering with row-form input: row pointers spoiled between the
// calls (same entry count, so the data check would not run on its own) are
// refused with the row-count code before anything reads through them.
TEST(Contrl, ReuseWithRowFormRefusesSpoiledRowPointers) {
  const Triplets s = sorted(random_sparse(30, 11));
  const std::vector<double> b = rhs_for(s, 5);
  struct Spoil {
    IWORD row;  // pointer word 1..N
    IWORD value;
  };
  for (IWORD method : {1, 5}) {
    for (Spoil sp : {Spoil{2, IWORD{1} << 40}, Spoil{2, -5}, Spoil{5, 0}, Spoil{7, 2}}) {
      SCOPED_TRACE("method " + std::to_string(method) + ", pointer " + std::to_string(sp.row) +
                   " = " + std::to_string(sp.value));
      defaults(0);
      ORVK_SPOPT2.INPFRM = 2;
      ORVK_SPOPT2.METHOD = method;
      ORVK_SPOPT2.SCLOPT = 1;
      Call c = blank(roomy(s, method), s.n, s.nz());
      c.set_b(b);
      place_rows(c, s, 40, c.spende - 2 * s.nz() - 10, c.spende - s.nz() + 1);
      ASSERT_EQ(c.run(), 0);
      c.seti(ORVK_SPOPT2.IRP + sp.row - 1, sp.value);
      c.set_b(b);
      ORVK_SPOPT2.ORDOPT = 6;
      EXPECT_EQ(c.run(), ORVK_SP_DATA_FIRST - 1);
    }
  }
}

// Triplets in random order come back sorted by row at the new positions.
TEST(Contrl, ShuffledTripletsComeBackSortedByRow) {
  const Triplets s0 = convection(6);
  const Triplets s = shuffled(s0, 99);
  const std::vector<double> b = rhs_for(s, 4);
  defaults(0);
  Call c = place(s, b, roomy(s, 1));
  ASSERT_EQ(c.run(), 0);
  EXPECT_EQ(ORVK_SPOPT2.JVECT, ORVK_SPOPT2.ICI);
  const Triplets back = c.triplets();
  for (IWORD k = 1; k < back.nz(); ++k) EXPECT_LE(back.row[k - 1], back.row[k]);
  const Triplets a = sorted(back), e = sorted(s);
  EXPECT_EQ(a.row, e.row);
  EXPECT_EQ(a.col, e.col);
  EXPECT_EQ(a.val, e.val);
  EXPECT_LT(scaled_residual(s, c.x(), b), kResidualRatio);
}

// Rows of A and b multiplied by powers of 10: the equilibrated solve gives
// the same x.
void powers_of_ten(IWORD method) {
  const Triplets s = random_sparse(40, 3);
  const std::vector<double> b = rhs_for(s, 8);
  auto options = [method] {
    defaults(0);
    ORVK_SPOPT2.METHOD = method;
    ORVK_SPOPT2.SCLOPT = 1;
    if (method == 7) ORVK_SPOPT1.PIVTL2 = kMethod7Tol;
  };
  options();
  Call c0 = place(s, b, roomy(s, method));
  ASSERT_EQ(c0.run(), 0);
  const std::vector<double> x0 = c0.x();

  Triplets t = s;
  std::vector<double> bt = b;
  for (IWORD k = 0; k < t.nz(); ++k) t.val[k] *= std::pow(10.0, static_cast<double>((t.row[k] % 7) - 3));
  for (IWORD i = 0; i < t.n; ++i) bt[i] *= std::pow(10.0, static_cast<double>(((i + 1) % 7) - 3));
  options();
  Call c1 = place(t, bt, roomy(t, method));
  ASSERT_EQ(c1.run(), 0);
  EXPECT_LT(max_rel_diff(c1.x(), x0), kSame);
  EXPECT_EQ(c1.b(t.n), bt);  // B back unscaled
}
TEST(Contrl, PowersOfTenScalingLeaveXUnchanged) {
  for (IWORD method : {1, 2, 4, 5, 7}) {
    SCOPED_TRACE(method);
    powers_of_ten(method);
  }
}

// ---- reuse of the ordering and re-solves ---------------------------------------------------------

// Factor, reuse the ordering with new values, re-solve with a new right-hand
// side: each against the dense reference.
void factor_reuse_resolve(IWORD method, IWORD resolve, IWORD rstopt, IWORD sclopt) {
  const Triplets s = sorted(convection(7));
  defaults(0);
  ORVK_SPOPT2.METHOD = method;
  ORVK_SPOPT2.RSTOPT = rstopt;
  ORVK_SPOPT2.SCLOPT = sclopt;
  ORVK_SPOPT2.CBSROW = s.n;
  const std::vector<double> b = rhs_for(s, 1);
  Call c = place(s, b, roomy(s, method));
  ASSERT_EQ(c.run(), 0);
  EXPECT_LT(max_rel_diff(c.x(), dense_solve(s, b)), kSame);

  // New values of the same pattern, reusing the ordering.
  Triplets t = s;
  for (IWORD q = 0; q < t.nz(); ++q) t.val[q] *= 1.0 + 0.01 * static_cast<double>(q % 5);
  const std::vector<double> bt = rhs_for(t, 2);
  c.set_b(bt);
  if (rstopt != 1)
    new_triplets(c, t);  // the matrix was not kept: the caller supplies it again
  else
    new_values(c, t);
  ORVK_SPOPT2.ORDOPT = 6;
  ASSERT_EQ(c.run(), 0);
  EXPECT_LT(max_rel_diff(c.x(), dense_solve(t, bt)), kSame);

  // New right-hand sides with the kept factors; the factors survive a re-solve.
  ORVK_SPOPT2.METHOD = resolve;
  for (std::uint64_t seed : {3, 4}) {
    const std::vector<double> b3 = rhs_for(t, seed);
    c.set_b(b3);
    ASSERT_EQ(c.run(), 0);
    EXPECT_LT(max_rel_diff(c.x(), dense_solve(t, b3)), kSame);
  }
}
TEST(Contrl, FactorReuseResolveSequence) {
  struct Case {
    IWORD method, resolve, rstopt;
  } cases[] = {{2, 3, 2}, {5, 6, 1}, {5, 6, 2}};
  for (const Case& k : cases)
    for (IWORD sclopt : {1, 2}) {
      SCOPED_TRACE("method " + std::to_string(k.method) + " rstopt " + std::to_string(k.rstopt) +
                   " scaling " + std::to_string(sclopt));
      factor_reuse_resolve(k.method, k.resolve, k.rstopt, sclopt);
    }
}

// Method 5 eliminating every column at once (CBSROW = N) keeps one entry
// per row of each Gauss-Jordan step; most of them are exact zeros where a
// decaying column has underflowed or never reached (a band, whose three
// diagonals the spike ordering makes spikes over the whole order), and a
// flowsheet under ordering 1.  Those zeros are kept as stretches, so the
// work space follows the nonzeros of the factors: the band of order 10,000
// needs about 28M words (its 3.5M recorded entries), where keeping every
// zero needed about 0.3 N^2 of them and failed even in 90M words.  Known
// answers for the factorisation and for a re-solve with new values of b.
TEST(Contrl, Method5ImmediateEliminationRoomFollowsItsFactors) {
  struct Case {
    const char* what;
    Triplets s;
    IWORD ordopt, spende;
  };
  auto band3 = [](IWORD n) {
    Triplets s;
    s.n = n;
    Lcg g(static_cast<std::uint64_t>(n));
    for (IWORD i = 1; i <= n; ++i)
      for (IWORD j = std::max<IWORD>(1, i - 3); j <= std::min(n, i + 3); ++j)
        s.add(i, j, i == j ? 12.0 : g.next() - 0.5);
    return s;
  };
  auto flowsheet = [](IWORD n) {
    return orvika_bench::flowsheet(n, 3);
  };
  const Case cases[] = {
      {"band3 10000", band3(10000), 4, 30000000},
      {"flowsheet 2000, ordering 1", flowsheet(2000), 1, 4000000},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Triplets s = sorted(k.s);
    defaults(0);
    ORVK_SPOPT1.PIVTL1 = 0.01;
    ORVK_SPOPT1.PIVTL2 = 0.01;
    ORVK_SPOPT2.METHOD = 5;
    ORVK_SPOPT2.ORDOPT = k.ordopt;
    ORVK_SPOPT2.SCLOPT = 1;
    ORVK_SPOPT2.RSTOPT = 2;
    ORVK_SPOPT2.CBSROW = s.n;
    const std::vector<double> b = rhs_for(s, 1);
    Call c = place(s, b, k.spende);
    ASSERT_EQ(c.run(), 0);
    EXPECT_LT(scaled_residual(s, c.x(), b), kResidualRatio);
    // Re-solve: b = A x for a known x.
    std::vector<double> x(s.n);
    Lcg g(5);
    for (double& v : x) v = 2.0 * g.next() - 1.0;
    const std::vector<double> b6 = s.mul(x);
    c.set_b(b6);
    ORVK_SPOPT2.METHOD = 6;
    ASSERT_EQ(c.run(), 0);
    EXPECT_LT(scaled_residual(s, c.x(), b6), kResidualRatio);
    EXPECT_LT(max_rel_diff(c.x(), x), kSame);
  }
}

// Method 2 refactors in a row on one work space: each may replay the
// recorded eliminations of the one before while its pivots, exact zeros and
// columns hold, and goes on with the plain elimination where they do not
// (pivots moved by small diagonals, exact zeros that come and go, a record
// altered between calls).  Every solution must match the reference, and so
// must the re-solves with the factors it kept.
TEST(Contrl, MethodTwoRefactorSequence) {
  // A grid: its rows fill enough to be worth a record.
  const Triplets s = sorted(convection(24));
  // The small diagonals cost digits against the reference; a wrong replay
  // costs all of them.
  constexpr double kNear = 1e-6;
  struct Step {
    const char* what;
    double diag;     // factor on the diagonal of rows 100..300
    int zero_every;  // every k-th off-diagonal value set to 0 (0: none)
    bool alter;      // words of the record changed before the call
  };
  const Step steps[] = {{"same", 1.0, 0, false},   {"same again", 1.0, 0, false},
                        {"small diagonal", 0.05, 0, false}, {"same after", 1.0, 0, false},
                        {"zeros", 1.0, 9, false},  {"zeros again", 1.0, 9, false},
                        {"zeros gone", 1.0, 0, false}, {"altered record", 1.0, 0, true},
                        {"after altered", 1.0, 0, false}};
  for (IWORD rstopt : {2, 1})
    for (IWORD sclopt : {1, 2}) {
      SCOPED_TRACE("rstopt " + std::to_string(rstopt) + " scaling " + std::to_string(sclopt));
      defaults(0);
      ORVK_SPOPT2.METHOD = 2;
      ORVK_SPOPT2.RSTOPT = rstopt;
      ORVK_SPOPT2.SCLOPT = sclopt;
      const std::vector<double> b = rhs_for(s, 1);
      Call c = place(s, b, 20 * min_spende(s.n, s.nz(), 2));  // room for the record
      ASSERT_EQ(c.run(), 0);
      std::uint64_t seed = 2;
      for (const Step& st : steps) {
        SCOPED_TRACE(st.what);
        Triplets t = s;
        for (IWORD q = 0; q < t.nz(); ++q) {
          if (t.row[q] == t.col[q] && t.row[q] >= 100 && t.row[q] <= 300) t.val[q] *= st.diag;
          if (st.zero_every > 0 && t.row[q] != t.col[q] && q % st.zero_every == 0) t.val[q] = 0.0;
        }
        if (st.alter) {
          const IWORD top = ORVK_SPOPT2.W42 + ORVK_SPOPT2.MAXA / 2 - 2;
          for (IWORD j = 0; j < 4; ++j) c.seti(top - t.n - j, c.geti(top - t.n - j) ^ 3);
        }
        const std::vector<double> bt = rhs_for(t, seed++);
        c.set_b(bt);
        if (rstopt != 1)
          new_triplets(c, t);
        else
          new_values(c, t);
        ORVK_SPOPT2.METHOD = 2;
        ORVK_SPOPT2.ORDOPT = 6;
        ASSERT_EQ(c.run(), 0);
        EXPECT_LT(max_rel_diff(c.x(), dense_solve(t, bt)), kNear);
        if (rstopt == 2) {
          const std::vector<double> b3 = rhs_for(t, seed++);
          c.set_b(b3);
          ORVK_SPOPT2.METHOD = 3;
          ASSERT_EQ(c.run(), 0);
          EXPECT_LT(max_rel_diff(c.x(), dense_solve(t, b3)), kNear);
        }
      }
    }
}

// Method 2 keeps a record of its row eliminations and the next
// factorisation replays it.  Two work spaces factor T, then refactor the
// values of ROUNDS in turn; before the first refactor (or before each, with
// EVERY) one word of the second one's record is spoiled, so that it
// eliminates afresh where the first replays.  The two must be identical word
// for word after every refactor and after the re-solves with its factors.
void expect_replay_leaves_what_elimination_leaves(const Triplets& t,
                                                  const std::vector<Triplets>& rounds, bool every) {
  for (IWORD sclopt : {1, 2}) {
    SCOPED_TRACE("scaling " + std::to_string(sclopt));
    defaults(0);
    ORVK_SPOPT2.METHOD = 2;
    ORVK_SPOPT2.RSTOPT = 2;
    ORVK_SPOPT2.SCLOPT = sclopt;
    const std::vector<double> b = rhs_for(t, 1);
    const IWORD spende = 20 * min_spende(t.n, t.nz(), 2);  // room for the record
    Call a = place(t, b, spende);
    ASSERT_EQ(a.run(), 0);
    Call bw = place(t, b, spende);
    ASSERT_EQ(bw.run(), 0);
    ASSERT_EQ(a.w, bw.w);
    for (std::size_t round = 0; round < rounds.size(); ++round) {
      SCOPED_TRACE("refactor " + std::to_string(round + 1));
      const Triplets& r = rounds[round];
      if (round == 0 || every) {
        const IWORD top = ORVK_SPOPT2.W42 + ORVK_SPOPT2.MAXA / 2 - 2;
        bw.seti(top - t.n, bw.geti(top - t.n) ^ 3);
      }
      const std::vector<double> bt = rhs_for(r, 2 + round);
      for (Call* c : {&a, &bw}) {
        c->set_b(bt);
        new_triplets(*c, r);
        ORVK_SPOPT2.METHOD = 2;
        ORVK_SPOPT2.ORDOPT = 6;
        ASSERT_EQ(c->run(), 0);
      }
      EXPECT_LT(max_rel_diff(a.x(), dense_solve(r, bt)), 1e-6);
      EXPECT_TRUE(a.w == bw.w);
      for (Call* c : {&a, &bw}) {
        c->set_b(b);
        ORVK_SPOPT2.METHOD = 3;
        ASSERT_EQ(c->run(), 0);
      }
      EXPECT_TRUE(a.w == bw.w);
      EXPECT_LT(max_rel_diff(a.x(), dense_solve(r, b)), 1e-6);
    }
  }
}

TEST(Contrl, MethodTwoRefactorReplayLeavesWhatTheEliminationLeaves) {
  {
    SCOPED_TRACE("pivots moved off the diagonal");
    Triplets t = sorted(convection(24));
    for (IWORD q = 0; q < t.nz(); ++q)
      if (t.row[q] == t.col[q] && t.row[q] % 7 == 0) t.val[q] *= 1e-3;
    expect_replay_leaves_what_elimination_leaves(t, {t, t, t}, false);
  }
  {
    // Exact-zero multipliers make the record mark rows for checking; once
    // the zeros are gone, the elimination marks them no more, and neither
    // may the replay.
    SCOPED_TRACE("exact zeros that come and go");
    const Triplets t = sorted(convection(24));
    Triplets z = t;
    for (IWORD q = 0; q < z.nz(); ++q)
      if (z.col[q] + 24 == z.row[q] && z.row[q] % 3 == 0) z.val[q] = 0.0;
    expect_replay_leaves_what_elimination_leaves(t, {z, t, t, z, t}, true);
  }
}

// Method 2 on a grid whose upper factor outgrows the block saves (about
// twice the entry count): given room, the factorisation must not end with
// -10, its solution must be that of method 1 bit for bit (the same
// elimination), and the re-solve with its factors must repeat it.
TEST(Contrl, MethodTwoFactorsLargerThanTheBlockSaves) {
  const Triplets s = sorted(convection(16));
  const std::vector<double> b = rhs_for(s, 1);
  for (IWORD ordopt : {1, 4}) {
    SCOPED_TRACE("ordering " + std::to_string(ordopt));
    std::vector<double> x1;
    for (IWORD method : {1, 2}) {
      defaults(0);
      ORVK_SPOPT2.METHOD = method;
      ORVK_SPOPT2.ORDOPT = ordopt;
      ORVK_SPOPT2.RSTOPT = 2;
      Call c = place(s, b, 40 * min_spende(s.n, s.nz(), 2));
      ASSERT_EQ(c.run(), 0);
      if (method == 1) {
        x1 = c.x();
        EXPECT_LT(max_rel_diff(x1, dense_solve(s, b)), kSame);
        continue;
      }
      // The upper factor is larger than the saves of the earlier blocks.
      EXPECT_GT(c.geti(ORVK_SPOPT2.IRP + s.n) - 1, 2 * s.nz() + s.n);
      EXPECT_EQ(c.x(), x1);
      c.set_b(b);
      ORVK_SPOPT2.METHOD = 3;
      ORVK_SPOPT2.ORDOPT = 6;
      ASSERT_EQ(c.run(), 0);
      EXPECT_EQ(c.x(), x1);
    }
  }
}

// Method 1 with the matrix restored: the ordering is reused on values
// written over the returned (row-sorted) matrix.
TEST(Contrl, ReuseAfterRestoredMethodOne) {
  const Triplets s = random_sparse(50, 21);
  const std::vector<double> b = rhs_for(s, 1);
  defaults(0);
  Call c = place(s, b, roomy(s, 1));
  ASSERT_EQ(c.run(), 0);
  Triplets t = c.triplets();
  for (double& v : t.val) v = -2.0 * v;
  new_values(c, t);
  ORVK_SPOPT2.ORDOPT = 6;
  ASSERT_EQ(c.run(), 0);
  EXPECT_LT(max_rel_diff(c.x(), dense_solve(t, b)), kSame);
}

// ---- refusals of kept state ----------------------------------------------------------------------------

Lines no_factors_msg(IWORD method) {
  return {"", line("THE KEPT LU FACTORS MUST NOT BE USED  (CONTRL)"),
          line("NO SUCCESSFUL CALL WITH METHOD" + i6(method) + " KEPT FACTORS"),
          line("WITH THE SAME ORDER, OPTIONS AND POSITIONS"), kTerminated};
}
const Lines kNoOrdering = {"", line("THE PREVIOUS ORDERING MUST NOT BE USED  (CONTRL)"),
                           line("NO COMPLETE ORDERING OF THIS ORDER IS KEPT"),
                           line("WITH THE SAME OPTIONS AND POSITIONS")};
const Lines kReorder = {"", line("THE PREVIOUS ORDERING MUST NOT BE USED  (CONTRL)"),
                        line("THE ORIGINAL MATRIX WAS ALTERED BY"),
                        line("THE DATA CHECKING ROUTINES AND/OR CONTAIN"),
                        line("STRUCTURAL OR NUMERICAL SINGULARITIES")};

TEST(Contrl, ResolveRefusesFactorsThatDoNotExistOrDiffer) {
  const Triplets s = sorted(lower(10));
  const std::vector<double> b = rhs_for(s, 1);
  struct Case {
    const char* what;
    IWORD fmethod, fscl, frst, rmethod, rscl;
    bool fail_first;  // a singular matrix in the factoring call
  } cases[] = {
      {"no factoring call at all", 0, 2, 2, 3, 2, false},
      {"method 2 restored its matrix over the factors", 2, 2, 1, 3, 2, false},
      {"method 1 keeps no factors", 1, 2, 2, 3, 2, false},
      {"method 5 factors asked for by method 3", 5, 2, 2, 3, 2, false},
      {"method 2 factors asked for by method 6", 2, 2, 2, 6, 2, false},
      {"scaling switched on after the factoring", 2, 2, 2, 3, 1, false},
      {"scaling switched off after the factoring", 5, 1, 2, 6, 2, false},
      {"the factoring call failed", 2, 2, 2, 3, 2, true},
      {"method 2 column map spoiled", 2, 2, 2, 3, 2, false},
      {"method 5 row order spoiled", 5, 2, 2, 6, 2, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    defaults(0);
    Triplets f = s;
    if (k.fail_first) f.val[f.nz() - 1] = 0.0;  // last diagonal 0: numerically singular
    Call c = place(f, b, roomy(s, 5) + 100);
    if (k.fmethod != 0) {
      ORVK_SPOPT2.METHOD = k.fmethod;
      ORVK_SPOPT2.SCLOPT = k.fscl;
      ORVK_SPOPT2.RSTOPT = k.frst;
      ORVK_SPOPT2.CHKMODE = 1;
      ORVK_SPOPT2.CBSROW = s.n;
      ORVK_SPOPT2.ORDOPT = 1;
      c.run();
      EXPECT_EQ(c.ierr < 0, k.fail_first);
    }
    if (std::string(k.what).find("spoiled") != std::string::npos) {
      ASSERT_EQ(c.ierr, 0);
      const IWORD at = std::string(k.what).find("column") != std::string::npos ? ORVK_SPOPT2.W39
                                                                             : ORVK_SPOPT2.IORN;
      c.seti(at + 2, c.geti(at + 3));
    }
    ORVK_SPOPT2.MSGUNIT = kUnit;
    ORVK_SPOPT2.METHOD = k.rmethod;
    ORVK_SPOPT2.SCLOPT = k.rscl;
    const std::vector<double> b0 = c.b(s.n);
    const std::vector<double> x0 = c.x();
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -11);
    EXPECT_EQ(cap.lines(), no_factors_msg(k.rmethod == 3 ? 2 : 5));
    EXPECT_EQ(c.b(s.n), b0);
    EXPECT_EQ(c.x(), x0);
  }
}

// A factorisation that repaired a singular step (code 8) leaves column
// flags that the re-solve routine itself refuses.
TEST(Contrl, ResolveAfterRepairedStepIsRefusedByTheMethod) {
  Triplets s = sorted(lower(6));
  for (IWORD k = 0; k < s.nz(); ++k)
    if (s.row[k] == 6 && s.col[k] == 6) s.val[k] = 0.0;  // the last row becomes dependent
  for (IWORD k = 0; k < s.nz(); ++k)
    if (s.row[k] == 6 && s.col[k] != 1) s.val[k] = 0.0;
  const std::vector<double> b = rhs_for(s, 1);
  defaults(kUnit);
  ORVK_SPOPT2.METHOD = 2;
  ORVK_SPOPT2.RSTOPT = 2;
  ORVK_SPOPT2.ORDOPT = 1;
  Call c = place(s, b, roomy(s, 2));
  {
    orvika_test::UnitCapture cap(kUnit);
    ASSERT_EQ(c.run(), 8);
  }
  ORVK_SPOPT2.METHOD = 3;
  orvika_test::UnitCapture cap(kUnit);
  EXPECT_EQ(c.run(), -11);
  ASSERT_FALSE(cap.lines().empty());
  EXPECT_EQ(cap.lines().back(), line("PROGRAM EXECUTION TERMINATED  (LU1P3)"));
}

TEST(Contrl, ReuseRefusesMissingOrStaleOrdering) {
  const Triplets s = sorted(arrow(8));
  const std::vector<double> b = rhs_for(s, 1);
  // No earlier call in this work space.
  {
    defaults(kUnit);
    Call c = place(s, b, roomy(s, 1));
    ORVK_SPOPT2.ORDOPT = 6;
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -12);
    EXPECT_EQ(cap.lines(), kNoOrdering);
  }
  // Method 1 without restore clears the row order; a changed method or
  // scaling option lays the work space out differently; a row order
  // spoiled by the caller is no permutation.
  struct Case {
    const char* what;
    IWORD rst, method2, scl2;
    bool spoil;
  } cases[] = {{"method 1 destroyed the order", 2, 1, 2, false},
               {"another method", 1, 2, 2, false},
               {"scaling switched on", 1, 1, 1, false},
               {"row order spoiled", 1, 1, 2, true}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    defaults(0);
    ORVK_SPOPT2.RSTOPT = k.rst;
    Call c = place(s, b, roomy(s, 2));
    ASSERT_EQ(c.run(), 0);
    if (k.rst != 1) new_triplets(c, s);  // supply the matrix again
    if (k.spoil) c.seti(ORVK_SPOPT2.IORN + 1, c.geti(ORVK_SPOPT2.IORN));
    ORVK_SPOPT2.ORDOPT = 6;
    ORVK_SPOPT2.METHOD = k.method2;
    ORVK_SPOPT2.SCLOPT = k.scl2;
    ORVK_SPOPT2.MSGUNIT = kUnit;
    const std::vector<IWORD> before = c.w;
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -12);
    EXPECT_EQ(cap.lines(), kNoOrdering);
    // Refused before anything moved (the scratch of methods 4 and 5 aside).
    for (IWORD p = 1; p <= c.spende; ++p)
      if (p < ORVK_SPOPT2.W35 || p >= ORVK_SPOPT2.W35 + s.n) {
        ASSERT_EQ(c.w[p - 1], before[p - 1]) << p;
      }
  }
}

// Options of a method-2 call that keeps its factors for re-solves (the
// matrix arrays left as the factors leave them) and orders afresh.
void kept_method2() {
  defaults(0);
  ORVK_SPOPT2.METHOD = 2;
  ORVK_SPOPT2.RSTOPT = 2;
  ORVK_SPOPT2.ORDOPT = 1;
}

// A host that interleaves problems keeps each one's factors in its own work
// space and swaps the option block (with its positions) around each call.
// With up to 64 work spaces in use, each problem's re-solve and reuse of its
// ordering must find its own factors and ordering again; a work space used
// less recently than 64 others is refused (never solved with what it may
// no longer hold).
TEST(Contrl, InterleavedWorkSpacesKeepTheirFactorsAndOrderings) {
  const Triplets base = sorted(lower(9));
  for (int count : {2, 9, 64, 65}) {
    SCOPED_TRACE("work spaces " + std::to_string(count));
    std::vector<Triplets> t(count, base);
    for (int k = 0; k < count; ++k)
      for (double& v : t[k].val) v *= 1.0 + 0.125 * k;
    std::vector<Call> c;
    c.reserve(count);
    std::vector<ORVK_SPOPT2_T> saved(count);
    for (int k = 0; k < count; ++k) {
      kept_method2();
      c.push_back(place(t[k], rhs_for(t[k], 1), roomy(base, 2)));
      ASSERT_EQ(c.back().run(), 0);
      saved[k] = ORVK_SPOPT2;
    }
    if (count > 64) {
      ORVK_SPOPT2 = saved[0];
      ORVK_SPOPT2.METHOD = 3;
      EXPECT_EQ(c[0].run(), -11);
      continue;
    }
    for (int k = 0; k < count; ++k) {
      SCOPED_TRACE("problem " + std::to_string(k));
      ORVK_SPOPT2 = saved[k];
      ORVK_SPOPT2.METHOD = 3;
      const std::vector<double> b = rhs_for(t[k], 2);
      c[k].set_b(b);
      ASSERT_EQ(c[k].run(), 0);
      EXPECT_LT(max_rel_diff(c[k].x(), dense_solve(t[k], b)), kSame);
      // New values on the same pattern with the kept ordering.
      Triplets u = t[k];
      for (double& v : u.val) v *= 2.0;
      const std::vector<double> bu = rhs_for(u, 3);
      c[k].set_b(bu);
      new_triplets(c[k], u);
      ORVK_SPOPT2.METHOD = 2;
      ORVK_SPOPT2.ORDOPT = 6;
      ASSERT_EQ(c[k].run(), 0);
      EXPECT_LT(max_rel_diff(c[k].x(), dense_solve(u, bu)), kSame);
      saved[k] = ORVK_SPOPT2;
    }
  }
}

// Re-solves and reuse calls make no size checks: the work space of the
// factoring call, passed with a larger length, still holds its factors and
// its ordering.
TEST(Contrl, ResolveAndReuseWithALargerLength) {
  const Triplets s = sorted(lower(9));
  kept_method2();
  const IWORD len = roomy(s, 2);
  Call c = place(s, rhs_for(s, 1), len);
  c.w.resize(static_cast<std::size_t>(len) + 100, 0);
  ASSERT_EQ(c.run(), 0);
  struct Step {
    IWORD extra, method, ordopt;
  } steps[] = {{100, 3, 1}, {100, 2, 6}, {0, 3, 1}, {0, 2, 6}, {100, 3, 1}};
  std::uint64_t seed = 2;
  Triplets factored = s;  // the matrix whose factors the work space holds
  for (const Step& st : steps) {
    SCOPED_TRACE("length +" + std::to_string(st.extra) + " method " + std::to_string(st.method));
    Triplets t = factored;
    if (st.ordopt == 6)
      for (double& v : t.val) v *= 1.5;
    const std::vector<double> b = rhs_for(t, seed++);
    c.set_b(b);
    if (st.ordopt == 6) new_triplets(c, t);
    ORVK_SPOPT2.METHOD = st.method;
    ORVK_SPOPT2.ORDOPT = st.ordopt;
    c.spende = len + st.extra;
    ASSERT_EQ(c.run(), 0);
    if (st.ordopt == 6) factored = t;
    EXPECT_LT(max_rel_diff(c.x(), dense_solve(factored, b)), kSame);
  }
}

// A call in a work space that shares words with another one writes over
// what that one kept: the other's re-solve is refused, not run on them.
TEST(Contrl, ResolveRefusedAfterAnOverlappingWorkSpaceWasUsed) {
  const Triplets s = sorted(lower(9));
  kept_method2();
  const IWORD len = roomy(s, 2);
  Call big = place(s, rhs_for(s, 1), 2 * len);
  ASSERT_EQ(big.run(), 0);
  const ORVK_SPOPT2_T saved = ORVK_SPOPT2;
  // The second work space is the upper half of the first one.
  Call half = place(s, rhs_for(s, 2), len);
  std::copy(half.w.begin(), half.w.end(), big.w.begin() + len);
  IWORD n = s.n, nz = s.nz(), ierr = 0;
  ORVK_CONTRL(big.w.data() + len, reinterpret_cast<double*>(big.w.data() + len), &len, &n, &nz,
              &ierr);
  ASSERT_EQ(ierr, 0);
  ORVK_SPOPT2 = saved;
  ORVK_SPOPT2.METHOD = 3;
  ORVK_SPOPT2.MSGUNIT = kUnit;
  orvika_test::UnitCapture cap(kUnit);
  EXPECT_EQ(big.run(), -11);
  EXPECT_EQ(cap.lines(), no_factors_msg(2));
}

// A repaired matrix is not the caller's: [2 1 0; 0 0 0; 1 0 4] has an
// empty row, which the silent check mode repairs, and the solution of the
// repaired system leaves row 2 (0 = 7) unmet.  Every ordering and method
// that succeeds ends with the repair's warning 4, never with 0.
TEST(Contrl, RepairWarningSurvivesTheOrderingAndTheMethod) {
  Triplets s;
  s.n = 3;
  s.add(1, 1, 2.0);
  s.add(1, 2, 1.0);
  s.add(3, 1, 1.0);
  s.add(3, 3, 4.0);
  for (IWORD ordopt : {3, 4, 5})
    for (IWORD method : {1, 2, 4, 5, 7}) {
      SCOPED_TRACE("ordering " + std::to_string(ordopt) + " method " + std::to_string(method));
      defaults(0);
      ORVK_SPOPT2.CHKMODE = 3;
      ORVK_SPOPT2.ORDOPT = ordopt;
      ORVK_SPOPT2.METHOD = method;
      Call c = place(s, {3.0, 7.0, 5.0}, roomy(s, method) + 200);
      EXPECT_EQ(c.run(), 4);
      EXPECT_EQ(c.x(), (std::vector<double>{1.5, 0.0, 0.875}));
    }
}

TEST(Contrl, ReuseAfterRepairOrWithAnotherCountIsRefused) {
  // Row 3 and column 5 empty: repaired, ordered with ordering 4.
  Triplets s;
  s.n = 5;
  for (IWORD i = 1; i <= 5; ++i)
    if (i != 3) s.add(i, i == 5 ? 3 : i, 2.0);
  s.add(1, 2, 1.0);
  const std::vector<double> b = {1, 2, 3, 4, 5};
  defaults(0);
  ORVK_SPOPT2.ORDOPT = 4;
  Call c = place(s, b, roomy(s, 1) + 200);
  ASSERT_EQ(c.run(), 5);  // the repair warning of the last condition met
  EXPECT_EQ(c.x()[4], 0.0);
  ORVK_SPOPT2.ORDOPT = 6;
  ORVK_SPOPT2.MSGUNIT = kUnit;
  {
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -12);
    EXPECT_EQ(cap.lines(), kReorder);
  }
  // A sound matrix reused with one entry fewer: DCHEKD merges nothing.
  const Triplets t = sorted(convection(4));
  defaults(0);
  Call d = place(t, rhs_for(t, 1), roomy(t, 1));
  ASSERT_EQ(d.run(), 0);
  ORVK_SPOPT2.ORDOPT = 6;
  ORVK_SPOPT2.MSGUNIT = kUnit;
  d.nz = t.nz() - 1;
  orvika_test::UnitCapture cap(kUnit);
  EXPECT_EQ(d.run(), -12);
  EXPECT_EQ(cap.lines(), kReorder);
}

// A reused ordering meeting a column index outside 1..N in the new
// triplets (same entry count, so no data check runs): with equilibration
// on, the scaling must leave that entry alone and the column-segment
// methods refuse the ordering, whatever the index.
TEST(Contrl, ReuseWithScalingRefusesColumnOutsideTheOrder) {
  const Triplets s = sorted(convection(4));
  const std::vector<double> b = rhs_for(s, 1);
  for (IWORD method : {4, 5}) {
    for (IWORD bad : {IWORD{0}, IWORD{-3}, s.n + 1, IWORD{1} << 40}) {
      SCOPED_TRACE("method " + std::to_string(method) + ", column " + std::to_string(bad));
      defaults(0);
      ORVK_SPOPT2.METHOD = method;
      ORVK_SPOPT2.ORDOPT = 4;
      ORVK_SPOPT2.SCLOPT = 1;
      Call c = place(s, b, roomy(s, method));
      ASSERT_EQ(c.run(), 0);
      Triplets t = s;
      t.col[t.nz() / 2] = bad;
      new_triplets(c, t);
      c.set_b(b);
      ORVK_SPOPT2.ORDOPT = 6;
      EXPECT_EQ(c.run(), -12);
    }
  }
}

TEST(Contrl, ReuseMergesRepeatedEntries) {
  const Triplets s = sorted(convection(4));
  const std::vector<double> b = rhs_for(s, 1);
  defaults(0);
  Call c = place(s, b, roomy(s, 1));
  ASSERT_EQ(c.run(), 0);
  // The caller adds the first entry once more, split in two halves.
  Triplets t = s;
  t.val[0] *= 0.5;
  t.row.insert(t.row.begin() + 1, t.row[0]);
  t.col.insert(t.col.begin() + 1, t.col[0]);
  t.val.insert(t.val.begin() + 1, t.val[0]);
  new_triplets(c, t);
  c.nz = t.nz();
  ORVK_SPOPT2.ORDOPT = 6;
  EXPECT_EQ(c.run(), 6);
  EXPECT_EQ(c.nz, s.nz());
  EXPECT_LT(max_rel_diff(c.x(), dense_solve(s, b)), kSame);
}

// A reuse call with more entries than the kept layout was made for, while
// LASTNZ (one word for every work space) equals the new count because
// another problem's call or a re-solve set it: the data check does not
// run, and the restore's copies of the entries would overrun into the copy
// of B and of the step map, giving the caller a corrupted matrix back (and
// the next reuse a wrong solution).  Such a call is refused; without the
// copies the layout takes the entries and the new matrix is solved.
TEST(Contrl, ReuseWithMoreEntriesThanTheLayoutHolds) {
  const Triplets s = sorted(convection(3));
  Triplets t = s;  // three entries more, outside the pattern of s
  t.add(1, 9, 0.25);
  t.add(9, 1, -0.5);
  t.add(2, 8, 0.125);
  t = sorted(t);
  const std::vector<double> b = rhs_for(t, 1);
  struct Case {
    const char* name;
    IWORD method, sclopt, rstopt;
    bool by_resolve;  // LASTNZ from a method-6 re-solve, else from another work space
    IWORD ierr;
  } cases[] = {
      {"method 1, restore", 1, 2, 1, false, -12},
      {"method 2, restore", 2, 2, 1, false, -12},
      {"method 4, restore and scaling", 4, 1, 1, false, -12},
      {"method 5, restore and scaling", 5, 1, 1, false, -12},
      {"method 5, restore and scaling, re-solve", 5, 1, 1, true, -12},
      {"method 7, restore and scaling", 7, 1, 1, false, -12},
      {"method 7, no restore", 7, 2, 2, false, 0},
      {"method 2, no restore", 2, 2, 2, false, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    defaults(0);
    ORVK_SPOPT2.METHOD = k.method;
    ORVK_SPOPT2.SCLOPT = k.sclopt;
    ORVK_SPOPT2.RSTOPT = k.rstopt;
    ORVK_SPOPT2.CBSROW = s.n;
    ORVK_SPOPT2.ORDOPT = 3;
    Call c = place(s, rhs_for(s, 2), roomy(t, k.method));
    ASSERT_EQ(c.run(), 0);
    if (k.by_resolve) {
      ORVK_SPOPT2.METHOD = 6;
      c.nz = t.nz();  // the count of the caller's next matrix
      ASSERT_EQ(c.run(), 0);
      ORVK_SPOPT2.METHOD = k.method;
    } else {
      const ORVK_SPOPT2_T mine = ORVK_SPOPT2;
      Call other = place(t, b, roomy(t, k.method));
      ASSERT_EQ(other.run(), 0);
      ORVK_SPOPT2 = mine;
    }
    ASSERT_EQ(ORVK_SPOPT3.LASTNZ, t.nz());
    new_triplets(c, t);
    c.nz = t.nz();
    c.set_b(b);
    ORVK_SPOPT2.ORDOPT = 6;
    EXPECT_EQ(c.run(), k.ierr);
    if (k.ierr == 0) EXPECT_LT(max_rel_diff(c.x(), dense_solve(t, b)), kSame);
    // The caller's matrix, sorted by rows, is where the call left it.
    if (k.rstopt == 1) {
      const Triplets back = sorted(c.triplets());
      EXPECT_EQ(back.row, t.row);
      EXPECT_EQ(back.col, t.col);
      EXPECT_EQ(back.val, t.val);
    }
  }
}

// ---- the driver's own codes and messages -----------------------------------------------------------

// At the minimum size the call goes through (a matrix without fill, so
// that the factor area suffices for every method).
TEST(Contrl, MinimumSizeBoundary) {
  const Triplets s = lower(25);
  const std::vector<double> b = rhs_for(s, 1);
  struct Case {
    IWORD method;
    double spcfac;
  } cases[] = {{1, 1.0}, {2, 1.0}, {4, 1.0}, {5, 1.0}, {7, 1.0}, {1, 0.5}, {1, 2.0}, {2, 2.0}};
  for (const Case& k : cases) {
    SCOPED_TRACE("method " + std::to_string(k.method) + " spcfac " + std::to_string(k.spcfac));
    const IWORD m = min_spende(s.n, s.nz(), k.method, k.spcfac);
    auto options = [&k](IWORD unit) {
      defaults(unit);
      ORVK_SPOPT2.METHOD = k.method;
      ORVK_SPOPT1.SPCFAC = k.spcfac;
    };
    options(kUnit);
    Call c = place(s, b, m - 1);
    const std::vector<IWORD> before = c.w;
    {
      orvika_test::UnitCapture cap(kUnit);
      EXPECT_EQ(c.run(), -13);
      EXPECT_EQ(cap.lines(), (Lines{"", line("SPENDE = " + i6(m - 1) + " IS TOO SMALL"),
                                    line("SPENDE SHOULD BE AT LEAST " + i6(m)), kTerminated}));
      EXPECT_EQ(c.w, before);
    }
    options(0);
    Call d = place(s, b, m);
    EXPECT_EQ(d.run(), 0);
    EXPECT_LT(scaled_residual(s, d.x(), b), kResidualRatio);
  }
}

TEST(Contrl, HugeOrOddSpaceFactor) {
  const Triplets s = diagonal(4);
  const std::vector<double> b = {1, 2, 3, 4};
  const double inf = std::numeric_limits<double>::infinity();
  for (double f : {1e300, inf, 1e19}) {
    defaults();
    ORVK_SPOPT1.SPCFAC = f;
    Call c = place(s, b, 100000);
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -13);
    ASSERT_EQ(cap.lines().size(), 4u);
    EXPECT_EQ(cap.lines()[2], line("SPENDE SHOULD BE AT LEAST ******"));
  }
  defaults(0);
  ORVK_SPOPT1.SPCFAC = std::numeric_limits<double>::quiet_NaN();  // acts as 1
  Call c = place(s, b, min_spende(4, 4, 1));
  EXPECT_EQ(c.run(), 0);
}

TEST(Contrl, IntegerRatioMustBeOne) {
  const Triplets s = diagonal(3);
  for (IWORD r : {0, 2, -1}) {
    defaults();
    ORVK_SPOPT2.I4FAC = r;
    Call c = place(s, {1, 2, 3}, 1000);
    const std::vector<IWORD> before = c.w;
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -17);
    EXPECT_EQ(cap.lines(), (Lines{"", line("I4FAC = " + i6(r) + " IS NOT SUPPORTED"),
                                  line("PROPER VALUE: I4FAC=1"), kTerminated}));
    EXPECT_EQ(c.w, before);
  }
}

TEST(Contrl, PointerIBComesBeforeThePositionTest) {
  const Triplets s = diagonal(3);
  defaults();
  Call c = place(s, {1, 2, 3}, 1000);
  ORVK_SPOPT2.IB = 2;
  ORVK_SPOPT2.IVECT = ORVK_SPOPT2.JVECT;  // would fail the position test too
  orvika_test::UnitCapture cap(kUnit);
  EXPECT_EQ(c.run(), -14);
  EXPECT_EQ(cap.lines(), (Lines{"", line("POINTER IB = " + i6(2) + " IS INCORRECT"),
                                line("PROPER VALUE: IB=1"), kTerminated}));
}

TEST(Contrl, PositionOrderTable) {
  const Triplets s = sorted(diagonal(5));
  const std::string head = line("TEMPORARY POINTERS ARE NOT IN CORRECT ORDER");
  struct Case {
    const char* what;
    Positions at;
    const char* second;
  } cases[] = {
      {"rows: IRP below 2", {2, 0, 1, 0, 0, 0, 300, 400}, "PROPER ORDER: IB < IRP/I4FAC < ICI/I4FAC < IA"},
      {"rows: ICI before IRP", {2, 0, 300, 0, 0, 0, 200, 400}, "PROPER ORDER: IB < IRP/I4FAC < ICI/I4FAC < IA"},
      {"rows, order: IORN after ICI", {2, 1, 100, 350, 0, 0, 300, 400},
       "PROPER ORDER: IB < IRP/I4FAC < IORN/I4FAC < ICI/I4FAC < IA"},
      {"triplets, order: IORN after IVECT", {1, 1, 0, 250, 200, 300, 0, 400},
       "PROPER ORDER: IB < IORN/I4FAC < IVECT/I4FAC < JVECT/I4FAC < IA"},
      {"triplets: IVECT = JVECT", {1, 0, 0, 0, 300, 300, 0, 400},
       "PROPER ORDER: IB < IVECT/I4FAC < JVECT/I4FAC < IA"},
      {"triplets: JVECT after IA", {1, 0, 0, 0, 200, 450, 0, 400},
       "PROPER ORDER: IB < IVECT/I4FAC < JVECT/I4FAC < IA"},
      {"triplets: IVECT overlaps B", {1, 0, 0, 0, 3, 300, 0, 400},
       "PROPER ORDER: IB < IVECT/I4FAC < JVECT/I4FAC < IA"},
      {"triplets: JVECT overlaps IA", {1, 0, 0, 0, 200, 398, 0, 400},
       "PROPER ORDER: IB < IVECT/I4FAC < JVECT/I4FAC < IA"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    defaults();
    Call c = blank(1000, 5, 5);
    ORVK_SPOPT2.IB = 1;
    k.at.set();
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -15);
    EXPECT_EQ(cap.lines(), (Lines{"", head, line(k.second), kTerminated}));
    EXPECT_EQ(c.w, std::vector<IWORD>(1000, 0));
  }
}

TEST(Contrl, NoRoomForThePartition) {
  const Triplets s = sorted(diagonal(5));
  const std::vector<double> b = {1, 2, 3, 4, 5};
  const Lines msg = {"", line("SPENDE = " + i6(2000) + " IS TOO SMALL"), kTerminated};
  struct Case {
    const char* what;
    Positions at;
    IWORD expect;
  } cases[] = {
      // Triplets: the row pointers (at Z+1 = 6) would reach the row numbers.
      {"IVECT = IRP + N", {1, 0, 0, 0, 11, 500, 0, 1900}, -16},
      {"IVECT = IRP + N + 1", {1, 0, 0, 0, 12, 500, 0, 1900}, 0},
      // Rows: the row pointers lie below their place after B.
      {"IRP = 2: past the order test, over B", {2, 0, 2, 0, 0, 0, 500, 1900}, -16},
      {"IRP over B", {2, 0, 3, 0, 0, 0, 500, 1900}, -16},
      {"IRP just after B", {2, 0, 6, 0, 0, 0, 500, 1900}, 0},
      {"supplied IORN below its place", {2, 1, 6, 20, 0, 0, 500, 1900}, -16},
      {"IA beyond SPENDE", {1, 0, 0, 0, 100, 500, 0, 1998}, -16},
      {"triplet IORN inside the row pointers", {1, 1, 0, 8, 100, 500, 0, 1900}, -16},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    defaults();
    Call c = blank(2000, 5, 5);
    c.set_b(b);
    const Positions& at = k.at;
    const IWORD ici = at.inpfrm == 1 ? at.jvect : at.ici;
    for (IWORD q = 0; q < 5; ++q) {
      if (at.inpfrm == 1) c.seti(at.ivect + q, q + 1);
      c.seti(ici + q, q + 1);
      if (at.ia + q <= 2000) c.setr(at.ia + q, 2.0);
      if (at.inpfrm == 2) c.seti(at.irp + q, q + 1);
      if (at.iornin == 1) c.seti(at.iorn + q, q + 1);
    }
    if (at.inpfrm == 2) c.seti(at.irp + 5, 6);
    at.set();
    const std::vector<IWORD> before = c.w;
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), k.expect);
    if (k.expect == -16) {
      EXPECT_EQ(cap.lines(), msg);
      EXPECT_EQ(c.w, before);  // refused before anything moved
    } else {
      const std::vector<double> x = c.x();
      for (IWORD i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(x[i], b[i] / 2.0);
    }
  }
}

TEST(Contrl, TripletRowOutsideTheOrderIsRejectedBeforeIndexing) {
  for (IWORD bad : {0, 6, -3, 1000000}) {
    Triplets s = diagonal(5);
    s.row[2] = bad;
    defaults();
    Call c = place(s, {1, 2, 3, 4, 5}, 1000);
    const std::vector<IWORD> before = c.w;
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -1);
    EXPECT_EQ(cap.lines(),
              (Lines{"", line("ROW INDEX " + i6(bad) + " OUTSIDE 1 TO " + i6(5) + " IN ENTRY " + i6(3) +
                              "  (CONTRL)"),
                     kTerminated}));
    EXPECT_EQ(c.w, before);
  }
}

TEST(Contrl, NegativeCountsAndTheEmptyProblem) {
  defaults();
  Call c = blank(500, 0, 0);
  ORVK_SPOPT2.IB = 1;
  ORVK_SPOPT2.IVECT = 100;
  ORVK_SPOPT2.JVECT = 200;
  ORVK_SPOPT2.IA = 300;
  for (auto nn : {std::pair<IWORD, IWORD>{-1, 4}, {3, -2}, {0, 2}}) {
    c.n = nn.first;
    c.nz = nn.second;
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -2);
    EXPECT_EQ(cap.lines(), (Lines{"", line("ORDER N = " + i6(nn.first) + " AND NZ = " + i6(nn.second) +
                                           " ARE INCORRECT  (CONTRL)"),
                                  kTerminated}));
  }
  c.n = 0;
  c.nz = 0;
  orvika_test::UnitCapture cap(kUnit);
  EXPECT_EQ(c.run(), 0);
  EXPECT_TRUE(cap.lines().empty());
  ORVK_SPOPT2.METHOD = 3;
  EXPECT_EQ(c.run(), 0);
}

// lower(5) whose last row is zero but for a tiny last diagonal.
Triplets lower_tiny_last_row() {
  Triplets s = lower(5);
  for (IWORD k = 0; k < s.nz(); ++k)
    if (s.row[k] == 5) s.val[k] = 0.0;
  s.val[s.nz() - 1] = 1e-40;
  return s;
}

// The stage line that the driver adds after a failed stage.
TEST(Contrl, StageFailureLines) {
  struct Case {
    const char* stage;
    IWORD method, ordopt, chkmode;
    Triplets (*make)();
    IWORD code;
  } cases[] = {
      {"DCHEKA",
       1, 2, 2,
       [] {
         Triplets s = diagonal(4);
         s.col[1] = 0;
         return s;
       },
       -1},
      {"TALLY", 1, 1, 2,
       [] {  // rows 1 and 2 share their only column: structurally singular
         Triplets t;
         t.n = 4;
         t.add(1, 1, 1.0), t.add(2, 1, 2.0), t.add(3, 2, 1.0), t.add(3, 3, 1.0);
         t.add(4, 2, 1.0), t.add(4, 3, 3.0), t.add(4, 4, 1.0);
         return t;
       },
       -7},
      {"P4", 1, 5, 2,
       [] {
         Triplets t;
         t.n = 3;
         t.add(1, 1, 1.0), t.add(2, 1, 2.0), t.add(3, 2, 1.0), t.add(3, 3, 1.0);
         return t;
       },
       -7},
      {"LU1SOL", 1, 2, 1, lower_tiny_last_row, -8},
      {"LU2SOL", 2, 2, 1, lower_tiny_last_row, -8},
      {"CBS", 4, 2, 1, lower_tiny_last_row, -8},
      {"CBS2", 5, 2, 1, lower_tiny_last_row, -8},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.stage);
    const Triplets s = k.make();
    defaults();
    ORVK_SPOPT2.METHOD = k.method;
    ORVK_SPOPT2.ORDOPT = k.ordopt;
    ORVK_SPOPT2.CHKMODE = k.chkmode;
    std::vector<double> b(s.n, 1.0);
    Call c = place(s, b, roomy(s, k.method) + 100);
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), k.code);
    ASSERT_GE(cap.lines().size(), 2u);
    EXPECT_EQ(cap.lines().back(), line(std::string("PROGRAM EXECUTION TERMINATED  (") + k.stage + ")"));
  }
}

// The stage lines of the reuse and re-solve paths: DCHEKD refusing a
// repeated index (CHKMODE 1), CBSLU3 refusing factors of a repaired matrix.
TEST(Contrl, StageFailureLinesOfReuseAndResolve) {
  const Triplets s = sorted(convection(3));
  {
    defaults(0);
    Call c = place(s, rhs_for(s, 1), roomy(s, 1));
    ASSERT_EQ(c.run(), 0);
    c.seti(ORVK_SPOPT2.JVECT + 1, c.geti(ORVK_SPOPT2.JVECT));  // row 1 repeats its first column
    c.nz = s.nz() - 1;  // and drops its last entry: a count other than LASTNZ
    ORVK_SPOPT2.ORDOPT = 6;
    ORVK_SPOPT2.CHKMODE = 1;
    ORVK_SPOPT2.MSGUNIT = kUnit;
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -6);
    ASSERT_FALSE(cap.lines().empty());
    EXPECT_EQ(cap.lines().back(), line("PROGRAM EXECUTION TERMINATED  (DCHEKD)"));
  }
  {
    Triplets t;  // row 3 and column 5 empty: repaired, so the flags are not all 1
    t.n = 5;
    for (IWORD i = 1; i <= 5; ++i)
      if (i != 3) t.add(i, i == 5 ? 3 : i, 2.0);
    defaults(0);
    ORVK_SPOPT2.ORDOPT = 4;
    ORVK_SPOPT2.METHOD = 5;
    Call c = place(t, {1, 2, 3, 4, 5}, roomy(t, 5) + 200);
    ASSERT_EQ(c.run(), 5);
    ORVK_SPOPT2.METHOD = 6;
    ORVK_SPOPT2.MSGUNIT = kUnit;
    orvika_test::UnitCapture cap(kUnit);
    EXPECT_EQ(c.run(), -11);
    ASSERT_FALSE(cap.lines().empty());
    EXPECT_EQ(cap.lines().back(), line("PROGRAM EXECUTION TERMINATED  (CBSLU3)"));
  }
}

// A failed factorisation gives back the caller's matrix, ordering and B.
TEST(Contrl, FailedFactorisationRestoresEverything) {
  Triplets good = sorted(random_sparse(25, 5));
  Triplets bad = good;
  for (IWORD k = 0; k < bad.nz(); ++k)
    if (bad.row[k] == 25) bad.val[k] = 0.0;  // an all-zero row: singular at its step
  const std::vector<double> b = rhs_for(good, 9);
  for (IWORD method : {1, 2}) {
    SCOPED_TRACE(method);
    auto state = [](const Call& c) {
      std::vector<IWORD> v;
      for (IWORD i = 0; i <= c.n; ++i) v.push_back(c.geti(ORVK_SPOPT2.IORN + i));
      for (IWORD i = 0; i <= c.n; ++i) v.push_back(c.geti(ORVK_SPOPT2.W39 + i));
      for (IWORD i = 0; i <= c.n; ++i) v.push_back(c.geti(ORVK_SPOPT2.IRP + i));
      return v;
    };
    auto options = [method] {
      defaults(0);
      ORVK_SPOPT2.METHOD = method;
      ORVK_SPOPT2.CHKMODE = 1;
      ORVK_SPOPT2.SCLOPT = 1;
    };
    options();
    Call g = place(good, b, roomy(good, method));
    ASSERT_EQ(g.run(), 0);
    const std::vector<IWORD> ordered = state(g);

    options();
    Call c = place(bad, b, roomy(good, method));
    EXPECT_EQ(c.run(), -8);
    EXPECT_EQ(c.b(bad.n), b);
    EXPECT_EQ(state(c), ordered);  // the same pattern orders the same way
    const Triplets back = c.triplets();
    EXPECT_EQ(back.row, bad.row);
    EXPECT_EQ(back.col, bad.col);
    EXPECT_EQ(back.val, bad.val);
    EXPECT_EQ(ORVK_SPOPT3.LASTNZ, bad.nz());
  }
}

// A value that is not finite has no factorisation: every method refuses it
// as numerically singular, scaled or not, also where it only meets the
// solution of an earlier block or of an eliminated column, and the matrix
// and B come back.
TEST(Contrl, NonFiniteValueIsRefusedByEveryMethod) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Place {
    const char* what;
    IWORD row, col;
  } places[] = {{"column of an earlier block", 1, 3},
                {"column of an earlier step", 3, 1},
                {"entry of a block of two", 1, 2}};
  for (const Place& at : places)
    for (double bad : {inf, -inf, std::numeric_limits<double>::quiet_NaN()})
      for (IWORD method : {1, 2, 4, 5, 7})
        for (IWORD sclopt : {1, 2}) {
          SCOPED_TRACE(std::string(at.what) + " value " + std::to_string(bad) + " method " +
                       std::to_string(method) + " scaling " + std::to_string(sclopt));
          // Lower triangular apart from the bad value.
          Triplets s;
          s.n = 3;
          s.add(1, 1, 2.0);
          s.add(2, 1, 1.0);
          s.add(2, 2, 3.0);
          s.add(3, 3, 4.0);
          s.add(at.row, at.col, bad);
          s = sorted(s);
          const std::vector<double> b = {1.0, 2.0, 3.0};
          defaults(kUnit);
          ORVK_SPOPT2.METHOD = method;
          ORVK_SPOPT2.SCLOPT = sclopt;
          orvika_test::UnitCapture cap(kUnit);
          Call c = place(s, b, roomy(s, method));
          EXPECT_EQ(c.run(), -8);
          ASSERT_FALSE(cap.lines().empty());
          EXPECT_EQ(cap.lines().back(), kTerminated);
          EXPECT_EQ(c.b(s.n), b);
          const Triplets back = c.triplets();
          EXPECT_EQ(back.row, s.row);
          EXPECT_EQ(back.col, s.col);
          ASSERT_EQ(back.nz(), s.nz());
          for (IWORD k = 0; k < s.nz(); ++k)
            EXPECT_TRUE(back.val[k] == s.val[k] || (std::isnan(back.val[k]) && std::isnan(s.val[k])));
        }
}

// The equilibrated system of [1 0; 1 d] with a subnormal d has a finite
// solution, but the column factor carries x(2) past the largest double:
// refused as numerically singular instead of returning an infinite x.
TEST(Contrl, SolutionThatOverflowsWhenUnscaledIsRefused) {
  Triplets s;
  s.n = 2;
  s.add(1, 1, 1.0);
  s.add(2, 1, 1.0);
  s.add(2, 2, 4.9e-324);
  for (IWORD method : {1, 2, 4, 5, 7})
    for (IWORD nrhs : {1, 2}) {
      SCOPED_TRACE("method " + std::to_string(method) + " nrhs " + std::to_string(nrhs));
      defaults(kUnit);
      ORVK_SPOPT2.METHOD = method;
      ORVK_SPOPT2.SCLOPT = 1;
      ORVK_SPOPT2.RNKOPT = 0;
      ORVK_SPOPT1.PIVTL2 = 0.5;
      ORVK_SPOPT4 = {nrhs, nrhs};
      orvika_test::UnitCapture cap(kUnit);
      Call c = place(s, {1.0, 3.0, 2.0, 5.0}, roomy(s, method));
      EXPECT_EQ(c.run(), -8);
      EXPECT_EQ(cap.lines(), (Lines{"", line("THE UNSCALED SOLUTION IS NOT FINITE  (CONTRL)"), kTerminated}));
    }
}

// With scaling, a row and a column whose only entry is subnormal are
// equilibrated like any other: diag(1e-310, 2) x = (1e-310, 2) gives x = (1, 1)
// by every method, where zero scale factors had made the row singular.
TEST(Contrl, SubnormalRowIsEquilibrated) {
  Triplets s;
  s.n = 2;
  s.add(1, 1, 1e-310);
  s.add(2, 2, 2.0);
  for (IWORD method : {1, 2, 4, 5, 7}) {
    SCOPED_TRACE("method " + std::to_string(method));
    defaults(kUnit);
    ORVK_SPOPT2.METHOD = method;
    ORVK_SPOPT2.SCLOPT = 1;
    ORVK_SPOPT1.PIVTL2 = 0.5;
    orvika_test::UnitCapture cap(kUnit);
    Call c = place(s, {1e-310, 2.0}, roomy(s, method));
    EXPECT_EQ(c.run(), 0);
    EXPECT_TRUE(cap.lines().empty());
    const std::vector<double> x = c.x();
    ASSERT_EQ(x.size(), 2u);
    EXPECT_NEAR(x[0], 1.0, 4 * std::numeric_limits<double>::epsilon());
    EXPECT_NEAR(x[1], 1.0, 4 * std::numeric_limits<double>::epsilon());
  }
}

// Finite data whose solution lies past the largest double (x1 = 1e300/1e-20,
// or x2 = -1e200*1e200), and a right-hand side that is not a number: no
// method reports such a call as solved.  Every method fails with -8 (method
// 7 by its own residual test), B and the matrix come back; the re-solves of
// methods 3 and 6 refuse the same right-hand sides with the kept factors.
TEST(Contrl, SolutionThatIsNotFiniteIsRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::vector<IWORD> row, col;
    std::vector<double> val, b;
  } cases[] = {{"quotient overflows", {1, 2}, {1, 2}, {1e-20, 1.0}, {1e300, 1.0}},
               {"elimination overflows", {1, 2, 2}, {1, 1, 2}, {1.0, 1e200, 1.0}, {1e200, 0.0}},
               {"b not a number", {1, 2}, {1, 2}, {2.0, 1.0}, {nan, 1.0}}};
  const Lines refused = {"", line("THE SOLUTION IS NOT FINITE  (CONTRL)"), kTerminated};
  auto same_b = [](const std::vector<double>& got, const std::vector<double>& want) {
    for (std::size_t i = 0; i < want.size(); ++i)
      if (!(got[i] == want[i] || (std::isnan(got[i]) && std::isnan(want[i])))) return false;
    return true;
  };
  for (const Case& k : cases) {
    Triplets s;
    s.n = 2;
    for (std::size_t e = 0; e < k.val.size(); ++e) s.add(k.row[e], k.col[e], k.val[e]);
    for (IWORD method : {1, 2, 4, 5, 7})
      for (IWORD sclopt : {1, 2})
        for (IWORD nrhs : {1, 2}) {
          SCOPED_TRACE(std::string(k.what) + " method " + std::to_string(method) + " scaling " +
                       std::to_string(sclopt) + " nrhs " + std::to_string(nrhs));
          std::vector<double> b = k.b;
          if (nrhs == 2) b.insert(b.begin(), {1.0, 1.0});  // a sound first column
          defaults(kUnit);
          ORVK_SPOPT2.METHOD = method;
          ORVK_SPOPT2.SCLOPT = sclopt;
          ORVK_SPOPT1.PIVTL2 = 0.5;
          ORVK_SPOPT4 = {nrhs, nrhs};
          orvika_test::UnitCapture cap(kUnit);
          Call c = place(s, b, roomy(s, method));
          EXPECT_EQ(c.run(), -8);
          if (method == 7) {
            ASSERT_FALSE(cap.lines().empty());
            EXPECT_EQ(cap.lines().back(), line("PROGRAM EXECUTION TERMINATED  (RANKI)"));
          } else {
            EXPECT_EQ(cap.lines(), refused);
          }
          EXPECT_TRUE(same_b(c.b(2 * nrhs), b));
          const Triplets back = c.triplets();
          EXPECT_EQ(back.row, k.row);
          EXPECT_EQ(back.col, k.col);
          EXPECT_EQ(back.val, k.val);
        }
    // Re-solves: factors of a sound right-hand side, then the case's one.
    for (IWORD method : {2, 5})
      for (IWORD sclopt : {1, 2}) {
        SCOPED_TRACE(std::string(k.what) + " re-solve after method " + std::to_string(method) +
                     " scaling " + std::to_string(sclopt));
        defaults(kUnit);
        ORVK_SPOPT2.METHOD = method;
        ORVK_SPOPT2.SCLOPT = sclopt;
        ORVK_SPOPT2.RSTOPT = method == 2 ? 2 : 1;
        ORVK_SPOPT1.PIVTL2 = 0.5;
        Call c = place(s, {1.0, 1.0}, roomy(s, method));
        ASSERT_EQ(c.run(), 0);
        orvika_test::UnitCapture cap(kUnit);
        ORVK_SPOPT2.METHOD = method + 1;
        c.set_b(k.b);
        EXPECT_EQ(c.run(), -8);
        EXPECT_EQ(cap.lines(), refused);
        // The factors are kept: a right-hand side with a finite solution.
        ORVK_SPOPT2.METHOD = method + 1;
        c.set_b({1.0, 1.0});
        EXPECT_EQ(c.run(), 0);
        for (double v : c.x()) EXPECT_TRUE(std::isfinite(v));
      }
  }
}

// ---- repairs that change the order or the count ----------------------------------------------------------

// Column index 7 in a 5-row matrix: widened to order 7 (rows 6 and 7 fix
// the new variables), the partition laid out for order 7.
TEST(Contrl, WideningToMoreColumns) {
  Triplets s = sorted(lower(5));
  s.add(2, 7, 0.5);
  const std::vector<double> b = rhs_for(sorted(lower(5)), 2);
  for (IWORD nrhsmx : {1, 2}) {
    SCOPED_TRACE(nrhsmx);
    defaults(0);
    ORVK_SPOPT2.ORDOPT = 4;
    ORVK_SPOPT4 = {nrhsmx, nrhsmx};
    std::vector<double> bb = b;
    if (nrhsmx == 2) bb.insert(bb.end(), b.begin(), b.end());
    Call c = place(s, bb, roomy(s, 1) + 300);
    EXPECT_EQ(c.run(), 5);  // the repair warning of the last condition met
    ASSERT_EQ(c.n, 7);
    EXPECT_EQ(c.nz, s.nz() + 2);
    EXPECT_EQ(ORVK_SPOPT2.IRP, nrhsmx * 7 + 1);
    EXPECT_EQ(ORVK_SPOPT2.X, nrhsmx * 7 + 7 + 2);
    for (IWORD col = 1; col <= nrhsmx; ++col) {
      const std::vector<double> x = c.x(col);
      EXPECT_EQ(x[5], 0.0);
      EXPECT_EQ(x[6], 0.0);
      const std::vector<double> x5(x.begin(), x.begin() + 5);
      EXPECT_LT(max_rel_diff(x5, dense_solve(sorted(lower(5)), b)), kSame);
    }
  }
}

// Room for order 5 but not for the widened order 7: the too-short code
// before the arrays move again.
TEST(Contrl, WideningRepeatsTheMinimumSizeTest) {
  Triplets s = sorted(lower(5));
  s.add(2, 7, 0.5);
  defaults();
  ORVK_SPOPT2.ORDOPT = 4;
  const IWORD m5 = min_spende(5, s.nz(), 1), m7 = min_spende(7, s.nz() + 2, 1);
  ASSERT_LT(m5, m7);
  Call c = place(s, {1, 2, 3, 4, 5}, m5);
  orvika_test::UnitCapture cap(kUnit);
  EXPECT_EQ(c.run(), -13);
  const Lines& l = cap.lines();
  ASSERT_GE(l.size(), 4u);
  const Lines tail(l.end() - 4, l.end());
  EXPECT_EQ(tail, (Lines{"", line("SPENDE = " + i6(m5) + " IS TOO SMALL"),
                         line("SPENDE SHOULD BE AT LEAST " + i6(m7)), kTerminated}));
  EXPECT_EQ(c.n, 5);
}

// Column 4 empty and no empty row (CHKMODE 3): the extra row N+1 with
// entries in columns 4 and 6.  Those two columns then have row 6 alone, so
// the transversal completes the pattern with one artificial entry and the
// ordering reports the matrix structurally singular; N, NZ and the
// partition are those of order 6, LASTNZ is left alone.
TEST(Contrl, ExtraRowForAnEmptyColumn) {
  Triplets s;
  s.n = 5;
  for (IWORD i = 1; i <= 5; ++i) s.add(i, i == 4 ? 3 : i, 1.0 + static_cast<double>(i));
  s.add(4, 5, 1.0);
  const std::vector<double> b = {1, 2, 3, 4, 5};
  defaults(0);
  ORVK_SPOPT2.CHKMODE = 3;
  ORVK_SPOPT2.ORDOPT = 3;
  ORVK_SPOPT3.LASTNZ = -5;
  Call c = place(s, b, roomy(s, 1) + 300);
  EXPECT_EQ(c.run(), -7);
  ASSERT_EQ(c.n, 6);
  EXPECT_EQ(c.nz, s.nz() + 3);
  EXPECT_EQ(ORVK_SPOPT2.IRP, 7);
  EXPECT_EQ(c.getr(6), 0.0);
  EXPECT_EQ(ORVK_SPOPT3.LASTNZ, -5);
}

// ---- messages off, real matrices ----------------------------------------------------------------------------

TEST(Contrl, SilentWhenTheUnitIsZero) {
  defaults(0);
  orvika_test::UnitCapture cap(kUnit);
  Call c = place(diagonal(3), {1, 2, 3}, 50);
  EXPECT_EQ(c.run(), -13);
  ORVK_SPOPT2.I4FAC = 0;
  EXPECT_EQ(c.run(), -17);
  EXPECT_TRUE(cap.lines().empty());
}

// The shared chemical-process and economic matrices through methods 1, 2,
// 4 and 5.  Method 2 saves the U rows of each finished block behind the
// copies (about 2 NZ + N entries, whatever the work-space size); the U
// factor of rdb1250l is larger, and the blocks that do not fit stay in
// place, so method 2 solves it too.
TEST(Contrl, SharedRealMatrices) {
  if (orvika_test::matrix_dir().empty()) GTEST_SKIP() << "no shared matrices folder";
  constexpr double kRealRatio = 1000.0;  // threshold pivoting with tolerance 0.1
  for (const char* name : {"west0479.mtx", "west0989.mtx", "orani678.mtx", "bp_200.mtx", "rdb1250l.mtx"}) {
    SCOPED_TRACE(name);
    const std::string file = orvika_test::shared_matrix(name);
    if (file.empty()) {
      std::printf("skipped %s: not present\n", name);
      continue;
    }
    Triplets s;
    std::string msg;
    ASSERT_TRUE(orvika_test::read_mtx(file, s, &msg)) << msg;
    const std::vector<double> b = rhs_for(s, 1);
    for (IWORD method : {1, 2, 4, 5}) {
      SCOPED_TRACE(method);
      defaults(0);
      ORVK_SPOPT2.METHOD = method;
      ORVK_SPOPT2.ORDOPT = 4;
      ORVK_SPOPT2.SCLOPT = 1;
      ORVK_SPOPT2.CBSROW = s.n;
      Call c = place(s, b, 100 * min_spende(s.n, s.nz(), method));
      ASSERT_EQ(c.run(), 0);
      EXPECT_LT(scaled_residual(s, c.x(), b), kRealRatio);
    }
  }
}

}  // namespace

// A re-solve does its scaling, unscaling, saving of B and map checks within
// the passes of the replay.  Every word of the work space and the code must
// be what the separate steps give: B saved (method 6 with restore and
// scaling), B scaled by the row factors, the replay of the kept factors on
// their own, B restored, X unscaled by the column factors.  With intact
// factors and with factors spoiled between the calls in each way the replay
// refuses (flags, pointers, an empty L row, a zero pivot, a column index
// out of range), for one and two right-hand sides, scaled or not.
TEST(Contrl, ResolveLeavesWhatTheSeparateStepsLeave) {
  struct Pair {
    IWORD method, resolve, rstopt;
  } pairs[] = {{2, 3, 2}, {5, 6, 1}, {5, 6, 2}};
  enum Spoil { kNone, kFlag, kFirstPointer, kEmptyLRow, kZeroPivot, kColumnOut };
  struct SpoilCase {
    Spoil what;
    IWORD ierr;
  } spoils[] = {{kNone, 0},         {kFlag, -11},       {kFirstPointer, -11},
                {kEmptyLRow, -100}, {kZeroPivot, -8},   {kColumnOut, -11}};
  const Triplets s = sorted(convection(6));
  const IWORD n = s.n;
  for (const Pair& pr : pairs)
    for (IWORD sclopt : {1, 2})
      for (IWORD nrhs : {1, 2})
        for (const SpoilCase& sp : spoils) {
          SCOPED_TRACE("method " + std::to_string(pr.resolve) + " rstopt " + std::to_string(pr.rstopt) +
                       " scaling " + std::to_string(sclopt) + " nrhs " + std::to_string(nrhs) + " spoil " +
                       std::to_string(sp.what));
          defaults(0);
          ORVK_SPOPT4.NRHSMX = nrhs;
          ORVK_SPOPT4.NRHS = nrhs;
          ORVK_SPOPT2.METHOD = pr.method;
          ORVK_SPOPT2.RSTOPT = pr.rstopt;
          ORVK_SPOPT2.SCLOPT = sclopt;
          ORVK_SPOPT2.CBSROW = n;
          std::vector<double> b = rhs_for(s, 1);
          if (nrhs == 2) {
            const std::vector<double> b2 = rhs_for(s, 2);
            b.insert(b.end(), b2.begin(), b2.end());
          }
          Call c = place(s, b, roomy(s, pr.method) + 4 * n);
          ASSERT_EQ(c.run(), 0);
          std::vector<double> bn = rhs_for(s, 3);
          if (nrhs == 2) {
            const std::vector<double> b4 = rhs_for(s, 4);
            bn.insert(bn.end(), b4.begin(), b4.end());
          }
          bn[0] = -0.0;  // a signed zero in the step values
          c.set_b(bn);
          const ORVK_SPOPT2_T P = ORVK_SPOPT2;
          const bool six = pr.resolve == 6;
          const IWORD lpos = P.W32, lcol = P.W42, lval = P.W26;
          switch (sp.what) {
            case kNone:
              break;
            case kFlag:
              c.seti(P.W41 + n - 1, 0);
              break;
            case kFirstPointer:
              c.seti(lpos, six ? 2 : 0);
              break;
            case kEmptyLRow:
              c.seti(lpos + 1, c.geti(lpos));
              break;
            case kZeroPivot:
              c.setr(lval + c.geti(lpos + 1) - 2, six ? std::numeric_limits<double>::infinity() : 0.0);
              break;
            case kColumnOut: {
              IWORD j = 1;
              while (j <= n && c.geti(lpos + j) - c.geti(lpos + j - 1) < 2) ++j;
              ASSERT_LE(j, n);
              c.seti(lcol + c.geti(lpos + j - 1) - 1, n + 1);
              break;
            }
          }
          // The separate steps on a copy of the work space.
          Call e = c;
          {
            orvika::WorkSpace ws(e.w.data(), e.spende);
            const IWORD nb = nrhs * n, h = P.MAXA / 2 + 1;
            const bool scale = sclopt == 1, w44 = six && pr.rstopt == 1 && scale;
            for (IWORD i = 0; i < n; ++i) e.seti(P.W35 + i, 1);  // the maps' marks: permutations
            orvika::RV B = ws.rvec(1, nb), X = ws.rvec(P.X, nb);
            if (w44)
              for (IWORD i = 1; i <= nb; ++i) e.setr(P.W44 + i - 1, e.getr(i));
            if (scale)
              for (IWORD i = 1; i <= nb; ++i) B(i) *= e.getr(P.ROWSC + (i - 1) % n);
            IWORD ierr = 0;
            if (six)
              orvika::CBSLU3(n, 0, B, nrhs, X, ws.ivec(P.W37, n + 1), ws.ivec(P.IORN, n + 1),
                             ws.ivec(P.W32, n + 1), ws.ivec(P.W42, h), ws.rvec(P.W26, h),
                             ws.ivec(P.W33, n + 1), ws.ivec(P.W43, h), ws.rvec(P.W27, h),
                             ws.ivec(P.W41, n), ierr);
            else
              orvika::LU1P3(n, 0, B, nrhs, X, ws.ivec(P.W39, n + 1), ws.ivec(P.IORN, n + 1),
                            ws.ivec(P.W32, n + 1), ws.ivec(P.W42, h), ws.rvec(P.W26, h),
                            ws.ivec(P.IRP, n + 1), ws.ivec(P.ICI, P.MAXA), ws.rvec(P.IA, P.MAXA),
                            ws.ivec(P.W41, n), ierr);
            if (w44)
              for (IWORD i = 1; i <= nb; ++i) e.setr(i, e.getr(P.W44 + i - 1));
            if (scale)
              for (IWORD i = 1; i <= nb; ++i) X(i) *= e.getr(P.COLSC + (i - 1) % n);
            e.ierr = ierr;
          }
          ORVK_SPOPT2.METHOD = pr.resolve;
          const IWORD got = c.run();
          if (sp.ierr == -100)
            EXPECT_LT(got, 0);
          else
            EXPECT_EQ(got, sp.ierr);
          EXPECT_EQ(got, e.ierr);
          ASSERT_EQ(c.w.size(), e.w.size());
          IWORD differ = 0;
          for (std::size_t q = 0; q < c.w.size(); ++q)
            if (c.w[q] != e.w[q]) ++differ;
          EXPECT_EQ(differ, 0);
          if (sp.what == kNone) {
            const std::vector<double> x = c.x();
            std::vector<double> b1(bn.begin(), bn.begin() + n);
            EXPECT_LT(scaled_residual(s, x, b1), kResidualRatio);
          }
        }
}
