// Equilibration (EQUILR, EQUILT, EQUILD) and logarithmic scaling (SPSCAL).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sparselu/sp_test_util.hpp"
#include "support/capture.hpp"

namespace {

using namespace sptest;
using orvika_test::UnitCapture;

constexpr double kEps = std::numeric_limits<double>::epsilon();
using Rows = std::vector<std::vector<IWORD>>;

// A matrix in all three forms: dense column-major with LDA = M + 1, rows,
// and triplets.
struct Forms {
  IWORD m = 0, n = 0, lda = 0;
  std::vector<double> dense;
  Csr csr;
  std::vector<IWORD> irn, jcn;
  std::vector<double> val;

  // Entries (i, j, v); zeros of the dense form are entries too, so the
  // sparse forms hold every position.
  static Forms full(IWORD m, IWORD n, const std::vector<double>& colmajor) {
    Forms f;
    f.m = m;
    f.n = n;
    f.lda = m + 1;
    f.dense.assign(static_cast<std::size_t>(f.lda * n), 12345.0);  // padding rows are not read
    Rows rows(static_cast<std::size_t>(m));
    for (IWORD j = 1; j <= n; ++j)
      for (IWORD i = 1; i <= m; ++i) {
        const double v = colmajor[(j - 1) * m + (i - 1)];
        f.dense[(j - 1) * f.lda + (i - 1)] = v;
        rows[i - 1].push_back(j);
      }
    f.csr = Csr::from_rows(rows, 0);
    for (IWORD i = 1; i <= m; ++i)
      for (IWORD k = f.csr.irp[i - 1]; k < f.csr.irp[i]; ++k) f.csr.a[k - 1] = colmajor[(f.csr.ici[k - 1] - 1) * m + (i - 1)];
    for (IWORD j = 1; j <= n; ++j)
      for (IWORD i = 1; i <= m; ++i) {
        f.irn.push_back(i);
        f.jcn.push_back(j);
        f.val.push_back(colmajor[(j - 1) * m + (i - 1)]);
      }
    return f;
  }
};

struct Factors {
  std::vector<double> rf, cf;
};

enum class Form { Rows, Triplets, Dense };

Factors equil(Forms& f, Form form, IWORD mode, Factors in = {}) {
  Factors out = in;
  out.rf.resize(static_cast<std::size_t>(f.m), 1.0);
  out.cf.resize(static_cast<std::size_t>(f.n), 1.0);
  std::vector<double> wr(f.m, -1.0), wc(f.n, -1.0);
  switch (form) {
    case Form::Rows:
      orvika::EQUILR(f.m, f.n, f.csr.nz, iv(f.csr.irp), iv(f.csr.ici), rv(f.csr.a), mode, rv(out.rf), rv(out.cf),
                     rv(wr), rv(wc));
      break;
    case Form::Triplets:
      orvika::EQUILT(f.m, f.n, static_cast<IWORD>(f.val.size()), f.irn.data(), f.jcn.data(), f.val.data(), mode,
                     out.rf.data(), out.cf.data(), wr.data(), wc.data());
      break;
    case Form::Dense:
      orvika::EQUILD(f.m, f.n, f.lda, f.dense.data(), mode, out.rf.data(), out.cf.data(), wr.data(), wc.data());
      break;
  }
  return out;
}

const Form kForms[] = {Form::Rows, Form::Triplets, Form::Dense};

TEST(SpEquil, ModeZeroGivesUnitFactorsWithoutReadingTheMatrix) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Forms f = Forms::full(2, 3, {nan, nan, nan, nan, nan, nan});
  for (Form form : kForms) {
    Factors r = equil(f, form, 0, {{5, 5}, {5, 5, 5}});
    EXPECT_EQ(r.rf, (std::vector<double>{1, 1}));
    EXPECT_EQ(r.cf, (std::vector<double>{1, 1, 1}));
  }
}

// No rows or no columns: every factor stays 1 in every mode and form, and
// nothing outside the empty arrays is read.
TEST(SpEquil, EmptyDimensionsKeepUnitFactors) {
  struct Case {
    IWORD m, n;
  };
  for (Case c : {Case{0, 3}, Case{2, 0}, Case{0, 0}}) {
    Forms f = Forms::full(c.m, c.n, {});
    for (Form form : kForms)
      for (IWORD mode : {1, 2, 3, 4, 5}) {
        Factors r = equil(f, form, mode);
        EXPECT_EQ(r.rf, std::vector<double>(static_cast<std::size_t>(c.m), 1.0)) << c.m << "x" << c.n << " mode " << mode;
        EXPECT_EQ(r.cf, std::vector<double>(static_cast<std::size_t>(c.n), 1.0)) << c.m << "x" << c.n << " mode " << mode;
      }
  }
}

TEST(SpEquil, OneByOne) {
  Forms f = Forms::full(1, 1, {4.0});
  struct Case {
    IWORD mode;
    double rf, cf;
  };
  for (Form form : kForms) {
    for (Case c : {Case{5, 0.5, 0.5}, Case{3, 0.25, 1.0}, Case{4, 1.0, 0.25}, Case{7, 0.5, 0.5}, Case{-1, 0.5, 0.5}}) {
      Factors r = equil(f, form, c.mode);
      EXPECT_EQ(r.rf[0], c.rf) << "mode " << c.mode;
      EXPECT_EQ(r.cf[0], c.cf) << "mode " << c.mode;
    }
  }
}

TEST(SpEquil, DiagonalModeFive) {
  const std::vector<double> d = {4.0, -1e-6, 3e8, 0.7};
  std::vector<double> a(16, 0.0);
  for (int i = 0; i < 4; ++i) a[i * 4 + i] = d[i];
  Forms f = Forms::full(4, 4, a);
  for (Form form : kForms) {
    Factors r = equil(f, form, 5);
    for (int i = 0; i < 4; ++i) {
      const double want = 1.0 / std::sqrt(std::fabs(d[i]));
      EXPECT_NEAR(r.rf[i], want, 4 * kEps * want);
      EXPECT_NEAR(r.cf[i], want, 4 * kEps * want);
      EXPECT_NEAR(std::fabs(r.rf[i] * d[i] * r.cf[i]), 1.0, 8 * kEps);
    }
  }
}

// A row and a column whose largest magnitude is subnormal get factors near
// 1e160 each, whose product is past the largest double: the factors stay
// finite and nonzero (1/sqrt|d|), and the scaled entry is +-1, as for
// every other diagonal.
TEST(SpEquil, SubnormalRowAndColumnKeepTheirFactors) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  struct Case {
    const char* what;
    std::vector<double> d;
  } cases[] = {{"smallest subnormal alone", {tiny}},
               {"subnormal beside normal entries", {2.0, -1e-310, 3e-320, 0.5}}};
  for (const Case& c : cases) {
    const IWORD n = static_cast<IWORD>(c.d.size());
    std::vector<double> a(static_cast<std::size_t>(n * n), 0.0);
    for (IWORD i = 0; i < n; ++i) a[i * n + i] = c.d[i];
    Forms f = Forms::full(n, n, a);
    for (Form form : kForms) {
      Factors r = equil(f, form, 5);
      for (IWORD i = 0; i < n; ++i) {
        SCOPED_TRACE(std::string(c.what) + " entry " + std::to_string(i));
        EXPECT_TRUE(std::isfinite(r.rf[i]) && r.rf[i] > 0.0);
        EXPECT_TRUE(std::isfinite(r.cf[i]) && r.cf[i] > 0.0);
        EXPECT_NEAR(std::fabs(r.rf[i] * (c.d[i] * r.cf[i])), 1.0, 16 * kEps);
      }
    }
  }
}

TEST(SpEquil, ZeroRowKeepsUnitFactor) {
  Forms f = Forms::full(3, 2, {1, 0, 8, 2, 0, 4});  // row 2 all zero
  for (Form form : kForms) {
    EXPECT_EQ(equil(f, form, 5).rf[1], 1.0);
    EXPECT_EQ(equil(f, form, 3).rf[1], 1.0);
  }
}

TEST(SpEquil, OnePassModesUseTheGivenFactors) {
  Forms f = Forms::full(2, 2, {1, 3, -4, 0.5});  // a11 = 1, a21 = 3, a12 = -4, a22 = 0.5
  for (Form form : kForms) {
    Factors r1 = equil(f, form, 1, {{2.0, 0.5}, {9, 9}});
    EXPECT_EQ(r1.rf, (std::vector<double>{2.0, 0.5}));
    EXPECT_EQ(r1.cf, (std::vector<double>{1.0 / 2.0, 1.0 / 8.0}));  // max(2*1, 0.5*3), max(2*4, 0.5*0.5)
    Factors r2 = equil(f, form, 2, {{9, 9}, {0.25, 4.0}});
    EXPECT_EQ(r2.cf, (std::vector<double>{0.25, 4.0}));
    EXPECT_EQ(r2.rf, (std::vector<double>{1.0 / 16.0, 1.0 / 2.0}));  // max(0.25, 16), max(0.75, 2)
  }
}

// The three storage forms give the same factors for every mode.
TEST(SpEquil, StorageFormsAgree) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-3, 3);
  for (int trial = 0; trial < 20; ++trial) {
    const IWORD m = 1 + static_cast<IWORD>(rng() % 7), n = 1 + static_cast<IWORD>(rng() % 7);
    std::vector<double> a(static_cast<std::size_t>(m * n));
    for (double& v : a) v = (rng() % 4 == 0) ? 0.0 : std::pow(10.0, u(rng)) * (rng() % 2 ? 1 : -1);
    Forms f = Forms::full(m, n, a);
    for (IWORD mode = 0; mode <= 6; ++mode) {
      Factors in{std::vector<double>(m, 0.5), std::vector<double>(n, 2.0)};
      Factors r = equil(f, Form::Rows, mode, in), t = equil(f, Form::Triplets, mode, in),
              d = equil(f, Form::Dense, mode, in);
      // Rows and triplets visit the entries in different orders; maxima do not care.
      EXPECT_EQ(r.rf, t.rf);
      EXPECT_EQ(r.cf, t.cf);
      EXPECT_EQ(r.rf, d.rf);
      EXPECT_EQ(r.cf, d.cf);
    }
  }
}

// Scaling the matrix by powers of 10 leaves the equilibrated matrix
// unchanged to rounding: uniform scaling in mode 5, row scaling in modes 2
// and 3, column scaling in modes 1 and 4.
TEST(SpEquil, PowersOfTenLeaveTheScaledMatrixUnchanged) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-4, 4);
  for (int trial = 0; trial < 20; ++trial) {
    const IWORD m = 2 + static_cast<IWORD>(rng() % 6), n = 2 + static_cast<IWORD>(rng() % 6);
    std::vector<double> a(static_cast<std::size_t>(m * n));
    for (double& v : a) v = (rng() % 3 == 0) ? 0.0 : std::pow(10.0, u(rng));
    std::vector<double> p(static_cast<std::size_t>(m)), q(static_cast<std::size_t>(n));
    for (double& v : p) v = std::pow(10.0, static_cast<double>(static_cast<int>(rng() % 13) - 6));
    for (double& v : q) v = std::pow(10.0, static_cast<double>(static_cast<int>(rng() % 13) - 6));
    const double g = std::pow(10.0, static_cast<double>(static_cast<int>(rng() % 17) - 8));
    struct Case {
      IWORD mode;
      bool rows, cols, uniform;
    };
    for (Case c : {Case{5, false, false, true}, Case{2, true, false, false}, Case{3, true, false, false},
                   Case{1, false, true, false}, Case{4, false, true, false}}) {
      std::vector<double> b = a;
      for (IWORD j = 0; j < n; ++j)
        for (IWORD i = 0; i < m; ++i) {
          double& v = b[j * m + i];
          if (c.rows) v *= p[i];
          if (c.cols) v *= q[j];
          if (c.uniform) v *= g;
        }
      Forms fa = Forms::full(m, n, a), fb = Forms::full(m, n, b);
      for (Form form : kForms) {
        // Mode 1 takes the row factors and mode 2 the column factors as given.
        Factors in{std::vector<double>(m, 1.0), std::vector<double>(n, 1.0)};
        Factors ra = equil(fa, form, c.mode, in), rb = equil(fb, form, c.mode, in);
        for (IWORD j = 0; j < n; ++j)
          for (IWORD i = 0; i < m; ++i) {
            const double sa = ra.rf[i] * a[j * m + i] * ra.cf[j];
            const double sb = rb.rf[i] * b[j * m + i] * rb.cf[j];
            EXPECT_NEAR(sb, sa, 16 * kEps * std::fabs(sa) + 1e-300) << "mode " << c.mode << " trial " << trial;
          }
      }
    }
  }
}

TEST(SpEquil, DenseWithShortLeadingDimensionIsLeftUnscaled) {
  std::vector<double> a = {4, 9, 16, 25}, rf(2, 7.0), cf(2, 7.0), wr(2), wc(2);
  orvika::EQUILD(2, 2, 1, a.data(), 5, rf.data(), cf.data(), wr.data(), wc.data());
  EXPECT_EQ(rf, (std::vector<double>{1, 1}));
  EXPECT_EQ(cf, (std::vector<double>{1, 1}));
}

TEST(SpEquil, IndicesOutsideTheMatrixAreIgnored) {
  std::vector<IWORD> irn = {1, 2, 5, 0}, jcn = {1, 2, 1, 1};
  std::vector<double> a = {4, 9, 1e6, 1e6}, rf(2), cf(2), wr(2), wc(2);
  orvika::EQUILT(2, 2, 4, irn.data(), jcn.data(), a.data(), 3, rf.data(), cf.data(), wr.data(), wc.data());
  EXPECT_EQ(rf, (std::vector<double>{0.25, 1.0 / 9.0}));
  EXPECT_EQ(cf, (std::vector<double>{1.0, 1.0}));
}

// ---- SPSCAL -------------------------------------------------------------------------------

struct Scal {
  std::vector<double> r, c;
};

Scal spscal(Csr& m, IWORD lp = 0) {
  const IWORD n = m.n;
  Scal s{std::vector<double>(n, -7.0), std::vector<double>(n, -7.0)};
  std::vector<IWORD> nr(n), nc(n);
  std::vector<double> csum(n), cdir(n), ravg(n);
  orvika::SPSCAL(n, lp, m.nz, rv(m.a), iv(m.irp), iv(m.ici), rv(s.r), rv(s.c), iv(nr), iv(nc), rv(csum), rv(cdir),
                 rv(ravg));
  return s;
}

// Sum over the nonzero entries of (ln|a| + r + c)^2.
double objective(const Csr& m, const Scal& s) {
  double f = 0.0;
  for (IWORD i = 1; i <= m.n; ++i)
    for (IWORD k = m.irp[i - 1]; k < m.irp[i]; ++k) {
      const double v = m.a[k - 1];
      if (v == 0.0) continue;
      const double t = std::log(std::fabs(v)) + s.r[i - 1] + s.c[m.ici[k - 1] - 1];
      f += t * t;
    }
  return f;
}

TEST(SpSpscal, OneByOneAndDiagonal) {
  Csr one = Csr::from_rows({{1}});
  one.a[0] = std::exp(2.0);
  Scal s = spscal(one);
  EXPECT_EQ(s.r[0], 0.0);
  EXPECT_NEAR(s.c[0], -2.0, 4 * kEps);

  Csr d = Csr::from_rows({{1}, {2}, {3}});
  d.a = {5.0, -1e-3, 7e4};
  s = spscal(d);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(s.r[i], 0.0);
    EXPECT_NEAR(s.c[i], -std::log(std::fabs(d.a[i])), 8 * kEps * std::fabs(std::log(std::fabs(d.a[i]))) + 1e-15);
  }
}

TEST(SpSpscal, ExplicitZerosChangeNothing) {
  Csr a = Csr::from_rows({{1, 2}, {1, 2, 3}, {2, 3}});
  a.a = {2.0, 3.0, 0.5, 5.0, 7.0, 0.2, 9.0};
  Csr z = Csr::from_rows({{1, 2, 3}, {1, 2, 3}, {2, 3}});
  z.a = {2.0, 3.0, 0.0, 0.5, 5.0, 7.0, 0.2, 9.0};
  const Scal sa = spscal(a), sz = spscal(z);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(sz.r[i], sa.r[i], 1e-14);
    EXPECT_NEAR(sz.c[i], sa.c[i], 1e-14);
  }
}

TEST(SpSpscal, ReducesTheLogarithmicSpread) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(-6, 6);
  for (int trial = 0; trial < 20; ++trial) {
    const IWORD n = 2 + static_cast<IWORD>(rng() % 30);
    Rows rows = random_rows(rng, n, 3.0, true);
    Csr m = Csr::from_rows(rows);
    // Magnitudes exp(-(x_i + y_j) + noise): a scaling that removes x and y exists.
    std::vector<double> x(n), y(n);
    for (double& v : x) v = u(rng);
    for (double& v : y) v = u(rng);
    for (IWORD i = 1; i <= n; ++i)
      for (IWORD k = m.irp[i - 1]; k < m.irp[i]; ++k)
        m.a[k - 1] = std::exp(-(x[i - 1] + y[m.ici[k - 1] - 1]) + 0.1 * u(rng));
    const Scal zero{std::vector<double>(n, 0.0), std::vector<double>(n, 0.0)};
    const Scal s = spscal(m);
    // The least-squares optimum by alternating exact row and column updates
    // (block coordinate descent), run to convergence.
    Scal best = zero;
    for (int it = 0; it < 20000; ++it) {
      for (IWORD i = 1; i <= n; ++i) {
        double sum = 0.0;
        for (IWORD k = m.irp[i - 1]; k < m.irp[i]; ++k)
          sum += std::log(std::fabs(m.a[k - 1])) + best.c[m.ici[k - 1] - 1];
        best.r[i - 1] = -sum / static_cast<double>(m.irp[i] - m.irp[i - 1]);
      }
      std::vector<double> sum(n, 0.0), cnt(n, 0.0);
      for (IWORD i = 1; i <= n; ++i)
        for (IWORD k = m.irp[i - 1]; k < m.irp[i]; ++k) {
          sum[m.ici[k - 1] - 1] += std::log(std::fabs(m.a[k - 1])) + best.r[i - 1];
          cnt[m.ici[k - 1] - 1] += 1.0;
        }
      for (IWORD j = 0; j < n; ++j) best.c[j] = -sum[j] / cnt[j];
    }
    const double before = objective(m, zero), after = objective(m, s), opt = objective(m, best);
    // The iteration stops once the residual of its normal equations falls
    // to a tenth of the entry count, which leaves the objective within half
    // the entry count of the optimum (its iteration, run further, reaches
    // the optimum itself).
    EXPECT_LE(after, opt + 0.5 * static_cast<double>(m.nz)) << "trial " << trial;
    EXPECT_LT(after, 0.05 * before) << "trial " << trial;
  }
}

TEST(SpSpscal, EmptyOrderWritesTheMessage) {
  Csr m = Csr::from_rows({});
  UnitCapture cap(6);
  spscal(m, 6);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{"", "      ERROR RETURN  1 FROM SPSCAL"}));
  cap.clear();
  spscal(m, 0);
  EXPECT_TRUE(cap.lines().empty());
}

}  // namespace
