// Sparse LDL^T KKT solver: fresh factorisations against a dense reference
// for every pivot rule, factor updates after active-set changes against a
// fresh factorisation, singular blocks, and the work-space and length checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/qp.h"
#include "qp/qp.hpp"
#include "qp/qp_test_util.hpp"
#include "support/capture.hpp"

namespace {

using Vec = std::vector<double>;
using IVec = std::vector<IWORD>;

constexpr int kUnit = 61;
constexpr double kEps = 2.220446049250313e-16;

#if ORVIKA_HAVE_LAPACK
extern "C" void dsysv_(const char* uplo, const int* n, const int* nrhs, double* a, const int* lda,
                       int* ipiv, double* b, const int* ldb, double* work, const int* lwork,
                       int* info, std::size_t);
#endif

// Dense reference solve of the symmetric K (column-major, full) x = b.
bool dense_solve(int n, Vec a, Vec& b) {
#if ORVIKA_HAVE_LAPACK
  std::vector<int> ipiv(n);
  int nrhs = 1, info = 0, lwork = 64 * n;
  Vec work(lwork);
  dsysv_("L", &n, &nrhs, a.data(), &n, ipiv.data(), b.data(), &n, work.data(), &lwork, &info, 1);
  return info == 0;
#else
  return qp_test::dense_solve(n, std::move(a), b, 0.0);
#endif
}

// A QP-shaped KKT family: H (n x n, positive definite), MEQ equality rows and
// MINEQ inequality rows over the n variables.  K for an active list is
// [H Q'; Q 0], Q = equality rows then the active rows in list order.
struct Family {
  int n = 0, meq = 0, mineq = 0;
  Vec h;  // n x n, row-major
  Vec c;  // (meq + mineq) x n, row-major

  static Family random(int n, int meq, int mineq, unsigned seed, double density = 0.4,
                       double hscale = 1.0) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0), p(0.0, 1.0);
    Family f;
    f.n = n, f.meq = meq, f.mineq = mineq;
    f.h.assign(n * n, 0.0);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < i; ++j)
        if (p(gen) < density) f.h[i * n + j] = f.h[j * n + i] = u(gen);
    }
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int j = 0; j < n; ++j) s += j == i ? 0 : std::fabs(f.h[i * n + j]);
      f.h[i * n + i] = s + 0.5 + p(gen);
    }
    for (auto& v : f.h) v *= hscale;
    f.c.assign((meq + mineq) * n, 0.0);
    for (int r = 0; r < meq + mineq; ++r) {
      for (int j = 0; j < n; ++j)
        if (p(gen) < density) f.c[r * n + j] = u(gen);
      f.c[r * n + (r % n)] += 2.0 + p(gen);  // full row rank for distinct r < n
    }
    return f;
  }

  int order(const IVec& act) const { return n + meq + static_cast<int>(act.size()); }
  // Row r (0-based) of Q.
  const double* qrow(const IVec& act, int r) const {
    return &c[(r < meq ? r : meq + act[r - meq] - 1) * n];
  }
  Vec dense(const IVec& act) const {
    const int k = order(act);
    Vec a(k * k, 0.0);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) a[i + j * k] = h[i * n + j];
    for (int r = 0; r < k - n; ++r) {
      const double* q = qrow(act, r);
      for (int j = 0; j < n; ++j) a[(n + r) + j * k] = a[j + (n + r) * k] = q[j];
    }
    return a;
  }
  void csr(const IVec& act, IVec& ia, IVec& ja, Vec& v) const {
    ia.assign(1, 1);
    ja.clear();
    v.clear();
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j <= i; ++j)
        if (h[i * n + j] != 0.0) ja.push_back(j + 1), v.push_back(h[i * n + j]);
      ia.push_back(static_cast<IWORD>(ja.size()) + 1);
    }
    for (int r = 0; r < order(act) - n; ++r) {
      const double* q = qrow(act, r);
      for (int j = 0; j < n; ++j)
        if (q[j] != 0.0) ja.push_back(j + 1), v.push_back(q[j]);
      ia.push_back(static_cast<IWORD>(ja.size()) + 1);
    }
  }
};

IWORD& word(int k) { return ORVK_NLPINT[k - 1]; }

// One solver with its work arrays, driven as the QP solver drives it.
struct Solver {
  int nfill = 15;
  IWORD mineq = 0, meq = 0;
  IVec iw;
  Vec rw, cwork, bold;
  IVec iacold;
  IWORD ldc = 0;
  IWORD isrow = -7, ising = -7, ifail = 0;
  IVec ia, ja;
  Vec a, b;

  Solver(const Family& f, IWORD liw = 0, IWORD lrw = 0) : mineq(f.mineq), meq(f.meq) {
    const IWORD nt = f.n + f.meq + 2 * f.mineq;
    const IWORD lj = 15 * (f.n * f.n + (f.meq + f.mineq) * f.n);
    iw.assign(liw ? liw : 11 * nt + 3 * f.mineq + 4 * lj + 6, -99);
    rw.assign(lrw ? lrw : 7 * nt + 4 * lj + 1, -99.0);
    ldc = f.mineq + 1;
    cwork.assign(ldc * (nt + 1), 0.0);
  }

  // Solves K(act) x = rhs with MODE; returns x.
  Vec solve(const Family& f, const IVec& act, const Vec& rhs, IWORD mode) {
    f.csr(act, ia, ja, a);
    const IWORD k = f.order(act);
    const IWORD nnz = ia.back() - 1;
    ja.resize(nnz * nfill + 1);
    a.resize(nnz * nfill + 1);
    b = rhs;
    b.resize(k);
    Vec x(k, -5.0);
    word(ORVK_NLPINT_NACTIV) = static_cast<IWORD>(act.size());
    if (bold.size() < static_cast<std::size_t>(k)) bold.resize(k);
    orvika::LESSLV(mode, k, nnz, meq, mineq, nfill, ia.data(), ja.data(), a.data(), b.data(),
                   bold.data(), x.data(), act.data(), iacold.data(), isrow, ldc, cwork.data(),
                   static_cast<IWORD>(rw.size()), rw.data(), static_cast<IWORD>(iw.size()),
                   iw.data(), ising, ifail);
    if (ising == 0 && ifail == 0) {
      // The caller's bookkeeping after a successful solve.
      word(ORVK_NLPINT_KKTLAST) = k;
      word(ORVK_NLPINT_NACTLAST) = static_cast<IWORD>(act.size());
      bold.assign(b.begin(), b.end());
      iacold = act;
    }
    return x;
  }
};

Vec rhs_for(const Family& f, const IVec& act, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  // Old rows keep their values when the active set grows: the value of a
  // row depends on the row (Hessian, equality or constraint number) only.
  Vec r(f.order(act));
  for (int i = 0; i < f.n + f.meq; ++i) r[i] = u(gen);
  for (std::size_t k = 0; k < act.size(); ++k)
    r[f.n + f.meq + k] = 1.0 + 0.25 * static_cast<double>(act[k]);
  return r;
}

// max |x - ref| / (max |ref| + 1), the reference from the dense solve.
double rel_error(const Family& f, const IVec& act, const Vec& rhs, const Vec& x) {
  Vec ref = rhs;
  EXPECT_TRUE(dense_solve(f.order(act), f.dense(act), ref));
  double e = 0, s = 1;
  for (std::size_t i = 0; i < ref.size(); ++i) {
    e = std::max(e, std::fabs(x[i] - ref[i]));
    s = std::max(s, std::fabs(ref[i]));
  }
  return e / s;
}

class LesslvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    for (auto& w : ORVK_NLPINT) w = 0;
    for (auto& w : ORVK_NLPREA) w = 0;
    word(ORVK_NLPINT_KKTUNIT) = kUnit;
    ORVK_NLPREA[ORVK_NLPREA_ALPHA - 1] = 0.6403882032022076;
  }
};

// ---- fresh factorisations ---------------------------------------------------

struct FreshCase {
  const char* what;
  int n, meq, mineq, nact;
  IWORD strategy;
  double alpha;  // word 7 of ORVK_NLPREA (strategy 4)
};

TEST_F(LesslvTest, FreshFactorisationMatchesDenseReference) {
  const FreshCase cases[] = {
      {"one variable", 1, 0, 0, 0, 2, 0.64},
      {"Hessian only", 6, 0, 2, 0, 2, 0.64},
      {"equalities, complete search", 8, 3, 4, 0, 2, 0.64},
      {"active rows, complete search", 10, 2, 6, 4, 2, 0.64},
      {"active rows, restricted start", 10, 2, 6, 4, 1, 0.64},
      {"strategy 0 acts as 2", 9, 2, 5, 3, 0, 0.64},
      {"strategy 5 acts as 2", 9, 2, 5, 3, 5, 0.64},
      {"Bunch-Kaufman", 12, 3, 8, 5, 3, 0.64},
      {"threshold rule", 12, 3, 8, 5, 4, 0.64},
      {"threshold rule alpha 0", 12, 3, 8, 5, 4, 0.0},
      {"threshold rule alpha 0.9", 12, 3, 8, 5, 4, 0.9},
      {"larger", 30, 6, 20, 12, 2, 0.64},
      {"larger, Bunch-Kaufman", 30, 6, 20, 12, 3, 0.64},
  };
  for (const auto& c : cases) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(std::string(c.what) + " seed " + std::to_string(seed));
      Family f = Family::random(c.n, c.meq, c.mineq, seed);
      // NACT distinct constraints, ascending.
      IVec all;
      for (IWORD v = 1; v <= c.mineq; ++v) all.push_back(v);
      std::shuffle(all.begin(), all.end(), std::mt19937(seed));
      IVec act(all.begin(), all.begin() + c.nact);
      std::sort(act.begin(), act.end());
      word(ORVK_NLPINT_PIVSTRAT) = c.strategy;
      ORVK_NLPREA[ORVK_NLPREA_ALPHA - 1] = c.alpha;
      Solver s(f);
      const Vec rhs = rhs_for(f, act, seed);
      const Vec x = s.solve(f, act, rhs, 0);
      ASSERT_EQ(s.ifail, 0);
      ASSERT_EQ(s.ising, 0);
      EXPECT_EQ(s.isrow, 0);
      EXPECT_LT(rel_error(f, act, rhs, x), 1e3 * f.order(act) * kEps);
      // B returns P b: a permutation of the right-hand side by IP (IWLES(1..)).
      const IWORD k = f.order(act);
      for (IWORD p = 0; p < k; ++p) EXPECT_EQ(s.b[p], rhs[s.iw[p] - 1]);
      // The leading part is eliminated with its own pivots.
      const IWORD nred = f.n + f.meq;
      for (IWORD p = 0; p < nred; ++p) EXPECT_LE(s.iw[p], nred);
      if (c.strategy == 4) {
        const double a = c.alpha;
        EXPECT_DOUBLE_EQ(ORVK_NLPREA[ORVK_NLPREA_TAU - 1],
                         std::sqrt(a * a * (4 * a + 3) / (1 + 2 * a)));
      }
    }
  }
}

TEST_F(LesslvTest, OneByOneSystem) {
  Family f;
  f.n = 1;
  f.h = {4.0};
  Solver s(f);
  const Vec x = s.solve(f, {}, {3.0}, 0);
  EXPECT_EQ(x[0], 0.75);
  EXPECT_EQ(word(ORVK_NLPINT_NBLOCK), 1);
  EXPECT_EQ(word(ORVK_NLPINT_NDWORD), 1);
}

TEST_F(LesslvTest, ExchangeMatrixTakesOneTwoByTwoBlock) {
  // K = [0 1; 1 0] written as a Hessian of one variable with one equality.
  Family f;
  f.n = 1, f.meq = 1;
  f.h = {0.0};
  f.c = {1.0};
  for (IWORD strategy : {2, 3, 4}) {
    SCOPED_TRACE(strategy);
    word(ORVK_NLPINT_PIVSTRAT) = strategy;
    Solver s(f);
    // The Hessian row stores its zero diagonal explicitly.
    IVec ia = {1, 2, 3}, ja = {1, 1};
    Vec a = {0.0, 1.0}, b = {2.0, 5.0}, x(2), bold(2);
    IVec none;
    orvika::LESSLV(0, 2, 2, 1, 0, 15, ia.data(), ja.data(), a.data(), b.data(), bold.data(),
                   x.data(), none.data(), none.data(), s.isrow, s.ldc, s.cwork.data(),
                   static_cast<IWORD>(s.rw.size()), s.rw.data(), static_cast<IWORD>(s.iw.size()),
                   s.iw.data(), s.ising, s.ifail);
    ASSERT_EQ(s.ifail, 0);
    ASSERT_EQ(s.ising, 0);
    EXPECT_EQ(x[0], 5.0);
    EXPECT_EQ(x[1], 2.0);
    EXPECT_EQ(word(ORVK_NLPINT_NBLOCK), 1);
    EXPECT_EQ(word(ORVK_NLPINT_NDWORD), 3);
  }
}

// ---- pivot magnitudes ---------------------------------------------------------

// The partial-pivoting rules take the diagonal of the partner row as a 1x1
// pivot only when it is not small against the off-diagonal entries of its
// column.  Here the partner row r (largest entry of column 1) is the last
// one, so nothing lies below its diagonal, while its entry in column 1 is 1:
// the diagonal a_rr must not be the pivot.  K is well conditioned.
TEST_F(LesslvTest, PartialPivotingRefusesADiagonalSmallAgainstItsColumn) {
  struct Case {
    const char* what;
    double arr;  // a_rr of the partner row
  };
  const Case cases[] = {{"tiny partner diagonal", 1e-20},
                        {"small partner diagonal", 1e-12},
                        {"partner diagonal 1e-6", 1e-6}};
  for (const auto& c : cases)
    for (IWORD strategy : {3, 4}) {
      SCOPED_TRACE(std::string(c.what) + ", strategy " + std::to_string(strategy));
      Family f;
      f.n = 3;
      f.h = {0.3, 0.5, 1.0,  //
             0.5, 2.0, 0.0,  //
             1.0, 0.0, c.arr};
      word(ORVK_NLPINT_PIVSTRAT) = strategy;
      Solver s(f);
      // K (1, 2, 3)' in exact arithmetic.
      const Vec rhs = {0.3 + 1.0 + 3.0, 0.5 + 4.0, 1.0 + 3.0 * c.arr};
      const Vec x = s.solve(f, {}, rhs, 0);
      ASSERT_EQ(s.ifail, 0);
      ASSERT_EQ(s.ising, 0);
      EXPECT_LT(rel_error(f, {}, rhs, x), 1e3 * kEps);
      EXPECT_NEAR(x[2], 3.0, 1e-12);
    }
}

TEST_F(LesslvTest, PivotThresholdAndSingularMessage) {
  struct Row {
    double k11;
    bool singular;
  } rows[] = {{1e-22, false}, {0.99e-22, true}, {0.0, true}, {-1e-22, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.k11);
    word(ORVK_NLPINT_KKTLEVEL) = 1;
    Family f;
    f.n = 1;
    f.h = {r.k11};
    Solver s(f);
    IVec ia = {1, 2}, ja = {1, 0};
    Vec a = {r.k11, 0.0}, b = {1e-22}, x(1), bold(1);
    IVec none;
    orvika_test::UnitCapture cap(kUnit);
    orvika::LESSLV(0, 1, 1, 0, 0, 15, ia.data(), ja.data(), a.data(), b.data(), bold.data(),
                   x.data(), none.data(), none.data(), s.isrow, s.ldc, s.cwork.data(),
                   static_cast<IWORD>(s.rw.size()), s.rw.data(), static_cast<IWORD>(s.iw.size()),
                   s.iw.data(), s.ising, s.ifail);
    EXPECT_EQ(s.ifail, 0);
    if (r.singular) {
      EXPECT_EQ(s.ising, 1);
      EXPECT_EQ(s.isrow, 1);  // a position of the leading part
      EXPECT_EQ(cap.text(), "\n\n    *** SINGULAR 1X1 PIVOT AT ROW     1  ***\n");
    } else {
      EXPECT_EQ(s.ising, 0);
      EXPECT_EQ(x[0], 1e-22 / r.k11);
      EXPECT_EQ(cap.text(), "");
    }
  }
}

TEST_F(LesslvTest, SingularActiveRowIsReportedByItsPlaceInTheList) {
  // Constraint 3 repeats constraint 1: the second of them is singular.
  Family f = Family::random(5, 1, 4, 11);
  for (int j = 0; j < f.n; ++j) f.c[(1 + 2) * f.n + j] = f.c[(1 + 0) * f.n + j];
  const IVec act = {1, 3};
  for (IWORD strategy : {2, 3, 4}) {
    SCOPED_TRACE(strategy);
    word(ORVK_NLPINT_PIVSTRAT) = strategy;
    Solver s(f);
    s.solve(f, act, rhs_for(f, act, 1), 0);
    EXPECT_EQ(s.ifail, 0);
    ASSERT_EQ(s.ising, 1);
    ASSERT_GE(s.isrow, 1);
    ASSERT_LE(s.isrow, 2);
    // Without the reported row the system is regular again.
    IVec rest = act;
    rest.erase(rest.begin() + (s.isrow - 1));
    Solver t(f);
    const Vec rhs = rhs_for(f, rest, 2);
    const Vec x = t.solve(f, rest, rhs, 0);
    EXPECT_EQ(t.ising, 0);
    EXPECT_LT(rel_error(f, rest, rhs, x), 1e3 * f.order(rest) * kEps);
  }
}

// ---- factor updates ------------------------------------------------------------

struct UpdateCase {
  const char* what;
  int n, meq, mineq;
  IWORD strategy;
  std::vector<IVec> sets;  // active lists of successive calls
};

TEST_F(LesslvTest, UpdatesMatchFreshFactorisations) {
  const UpdateCase cases[] = {
      {"one addition", 8, 2, 6, 2, {{2}, {2, 5}}},
      {"addition below the old rows", 8, 2, 6, 2, {{4, 5}, {1, 4, 5}}},
      {"several additions interleaved", 10, 2, 8, 2, {{3, 6}, {1, 3, 4, 6, 8}}},
      {"additions to an empty set", 8, 1, 5, 2, {{}, {2, 4}}},
      {"deletion", 8, 2, 6, 2, {{1, 3, 5}, {1, 5}}},
      {"swap re-eliminates every active row", 8, 2, 6, 3, {{1, 3}, {1, 4}}},
      {"last active row deleted", 8, 2, 6, 2, {{3}, {}}},
      {"a chain of changes", 12, 3, 9, 2, {{2}, {2, 7}, {1, 2, 7}, {1, 7}, {1, 5, 7, 9}, {5}}},
      {"a chain, Bunch-Kaufman", 12, 3, 9, 3, {{2}, {2, 7}, {1, 2, 7}, {1, 7}, {1, 5, 7, 9}}},
      {"a chain, threshold rule", 12, 3, 9, 4, {{2}, {2, 7}, {1, 2, 7}, {1, 7}, {1, 5, 7, 9}}},
  };
  for (const auto& c : cases) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE(std::string(c.what) + " seed " + std::to_string(seed));
      word(ORVK_NLPINT_PIVSTRAT) = c.strategy;
      Family f = Family::random(c.n, c.meq, c.mineq, 100 + seed);
      Solver s(f);
      IWORD mode = 0;
      IVec prev;
      for (std::size_t step = 0; step < c.sets.size(); ++step) {
        const IVec& act = c.sets[step];
        const Vec rhs = rhs_for(f, act, seed);
        // Releases are counted for the caller's word 5.
        IWORD released = 0;
        for (IWORD v : prev)
          if (std::find(act.begin(), act.end(), v) == act.end()) ++released;
        word(ORVK_NLPINT_NDELETE) = released;
        orvk_host_set_timer_step(0.5);
        const Vec x = s.solve(f, act, rhs, mode);
        orvk_host_set_timer_step(0.0);
        ASSERT_EQ(s.ifail, 0);
        ASSERT_EQ(s.ising, 0);
        EXPECT_LT(rel_error(f, act, rhs, x), 1e4 * f.order(act) * kEps) << "step " << step;
        // An update eliminates only active rows: one selection (two clock
        // readings of 0.5) per block of them.
        if (mode == 1) EXPECT_LE(ORVK_NLPREA[1], 0.5 * static_cast<double>(act.size()));
        // The factor and the pivot order stay a permutation of the rows.
        const IWORD k = f.order(act);
        IVec ip(s.iw.begin(), s.iw.begin() + k);
        std::sort(ip.begin(), ip.end());
        for (IWORD p = 0; p < k; ++p) EXPECT_EQ(ip[p], p + 1);
        mode = 1;
        prev = act;
      }
    }
  }
}

TEST_F(LesslvTest, UpdatesAcrossTwoByTwoBlocks) {
  // A weak Hessian makes the complete search pair variables with equality
  // rows in 2x2 blocks, which the bordering of added rows passes through.
  for (IWORD strategy : {2, 3}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(std::to_string(strategy) + " seed " + std::to_string(seed));
      word(ORVK_NLPINT_PIVSTRAT) = strategy;
      Family f = Family::random(8, 3, 5, 300 + seed, 0.4, 0.01);
      Solver s(f);
      const std::vector<IVec> sets = {{2}, {1, 2, 4}, {1, 4}, {1, 3, 4, 5}};
      IWORD mode = 0;
      for (const IVec& act : sets) {
        const Vec rhs = rhs_for(f, act, seed);
        const Vec x = s.solve(f, act, rhs, mode);
        ASSERT_EQ(s.ising, 0);
        ASSERT_EQ(s.ifail, 0);
        EXPECT_LT(rel_error(f, act, rhs, x), 1e6 * f.order(act) * kEps);
        if (mode == 0) {
          EXPECT_GT(word(ORVK_NLPINT_NDWORD), word(ORVK_NLPINT_NBLOCK));  // a 2x2 block
        }
        mode = 1;
      }
    }
  }
}

// The same systems scaled far up: a 2x2 block whose ac and b^2 overflow
// is still inverted, in the fresh factorisation, in the bordering of added
// rows and in the block-diagonal solve.  With K and b scaled alike the
// solution is the unit-scale one.
TEST_F(LesslvTest, TwoByTwoBlocksFarFromUnitSize) {
  const std::vector<IVec> sets = {{2}, {1, 2, 4}, {1, 4}, {1, 3, 4, 5}};
  for (IWORD strategy : {2, 3, 4}) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      word(ORVK_NLPINT_PIVSTRAT) = strategy;
      const Family f = Family::random(8, 3, 5, 300 + seed, 0.4, 0.01);
      // The unit-scale sequence first: the solver keeps its state between
      // the calls of one sequence.
      std::vector<Vec> xu;
      {
        Solver s(f);
        IWORD mode = 0;
        for (const IVec& act : sets) {
          xu.push_back(s.solve(f, act, rhs_for(f, act, seed), mode));
          ASSERT_EQ(s.ising, 0);
          if (mode == 0) ASSERT_GT(word(ORVK_NLPINT_NDWORD), word(ORVK_NLPINT_NBLOCK));
          mode = 1;
        }
      }
      for (double sc : {1e160, 1e250, 1e300}) {
        ::testing::Message what;
        what << "scale " << sc << " strategy " << strategy << " seed " << seed;
        SCOPED_TRACE(what);
        Family g = f;
        for (double& v : g.h) v *= sc;
        for (double& v : g.c) v *= sc;
        Solver s(g);
        IWORD mode = 0;
        for (std::size_t k = 0; k < sets.size(); ++k) {
          Vec rhs = rhs_for(f, sets[k], seed);
          for (double& v : rhs) v *= sc;
          const Vec x = s.solve(g, sets[k], rhs, mode);
          ASSERT_EQ(s.ifail, 0);
          ASSERT_EQ(s.ising, 0) << "set " << k;
          double e = 0, m = 1;
          for (std::size_t i = 0; i < x.size(); ++i) {
            e = std::max(e, std::fabs(x[i] - xu[k][i]));
            m = std::max(m, std::fabs(xu[k][i]));
          }
          EXPECT_LT(e / m, 1e6 * f.order(sets[k]) * kEps) << "set " << k;
          mode = 1;
        }
      }
    }
  }
}

// Partial pivoting far from unit size.  K = [e 1 0; 1 1 1; 0 1 1] with a
// small e: column 1 has lambda = 1 at row 2, whose column has gamma = 1
// below the diagonal, and alpha lambda^2 > gamma e rules out e as a pivot;
// the diagonal of row 2 is taken instead.  Scaled far up, the two sides of
// that test must not both overflow into a tie that takes e after all (with
// a growth of 1/e).  K x = b scaled alike keeps the unit-scale solution.
TEST_F(LesslvTest, PartialPivotingFarFromUnitSize) {
  const double e = 1e-9;
  for (IWORD strategy : {3, 4}) {
    for (double sc : {1.0, 1e200, 1e300}) {
      ::testing::Message what;
      what << "strategy " << strategy << " scale " << sc;
      SCOPED_TRACE(what);
      word(ORVK_NLPINT_PIVSTRAT) = strategy;
      Family f;
      f.n = 3;
      f.h = {e, 1, 0, 1, 1, 1, 0, 1, 1};
      for (double& v : f.h) v *= sc;
      // x = (1, 2, 3): b = K x.
      const Vec b = {(e + 2) * sc, 6 * sc, 5 * sc};
      Solver s(f);
      const Vec x = s.solve(f, {}, b, 0);
      ASSERT_EQ(s.ifail, 0);
      ASSERT_EQ(s.ising, 0);
      EXPECT_EQ(s.iw[0], 2);  // the first pivot is row 2
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(x[i], i + 1.0, 1e3 * kEps * (i + 1)) << i;
    }
  }
}

TEST_F(LesslvTest, PrintLevelFourShowsEveryPhase) {
  Family f = Family::random(5, 1, 4, 21);
  word(ORVK_NLPINT_KKTLEVEL) = 4;
  word(ORVK_NLPINT_PIVSTRAT) = 3;
  Solver s(f);
  orvika_test::UnitCapture cap(kUnit);
  s.solve(f, {2}, rhs_for(f, {2}, 1), 0);
  s.solve(f, {2, 3}, rhs_for(f, {2, 3}, 1), 1);
  s.solve(f, {3}, rhs_for(f, {3}, 1), 1);
  ASSERT_EQ(s.ising, 0);
  const std::string t = cap.text();
  for (const char* line :
       {"\n  SIZE OF VECTOR      IP       IS", "\n  SIZE OF VECTOR     TOT-IWLES IS",
        "\n\n\n    *** PROCESSING ROW AND COLUMN PERMUTATION ***\n",
        "\n\n\n    *** PROCESSING NUMERICAL FACTORIZATION ***\n",
        "\n\n\n    *** PROCESSING FORWARD SUBSTITUATION ***\n",
        "\n\n\n    *** PROCESSING BACKWARD SUBSTITUATION ***\n", "\n  ***IROW***\n",
        "\n  IRCGMA    \n", "\n  NUMD      \n", "\n  IL-OLD    \n", "\n  ADDED IA  \n",
        "\n  REDUCED  A\n", "\n  DINV*Z    \n", "\n  X         \n",
        "\n  LNSLV TIME\n"})
    EXPECT_NE(t.find(line), std::string::npos) << line;
}

TEST_F(LesslvTest, AdditionKeepsTheOldRightHandSide) {
  Family f = Family::random(8, 2, 6, 7);
  word(ORVK_NLPINT_PIVSTRAT) = 2;
  Solver s(f);
  s.solve(f, {2}, rhs_for(f, {2}, 1), 0);
  const Vec old = s.bold;
  s.solve(f, {2, 5}, rhs_for(f, {2, 5}, 1), 1);
  ASSERT_EQ(s.ising, 0);
  for (std::size_t p = 0; p < old.size(); ++p) EXPECT_EQ(s.b[p], old[p]);
}

TEST_F(LesslvTest, UpdateAfterSingularReturnFactorisesAfresh) {
  Family f = Family::random(5, 1, 4, 11);
  for (int j = 0; j < f.n; ++j) f.c[3 * f.n + j] = f.c[1 * f.n + j];
  word(ORVK_NLPINT_PIVSTRAT) = 2;
  Solver s(f);
  s.solve(f, {2}, rhs_for(f, {2}, 1), 0);
  ASSERT_EQ(s.ising, 0);
  s.solve(f, {1, 2, 3}, rhs_for(f, {1, 2, 3}, 1), 1);
  ASSERT_EQ(s.ising, 1);
  // The caller asks for an update again: the solve is still right.
  const IVec act = {2, 4};
  s.ising = 0;
  const Vec rhs = rhs_for(f, act, 3);
  const Vec x = s.solve(f, act, rhs, 1);
  ASSERT_EQ(s.ising, 0);
  EXPECT_LT(rel_error(f, act, rhs, x), 1e3 * f.order(act) * kEps);
}

// Update calls the kept factors cannot serve: LESSLV factorises afresh and
// the solve is still right.
TEST_F(LesslvTest, UpdateThatCannotUseTheFactorsFactorisesAfresh) {
  struct Case {
    const char* what;
    IVec act;
    void (*spoil)(Solver&);
  } cases[] = {
      {"word 8 not renewed by the caller", {2, 5},
       [](Solver&) { word(ORVK_NLPINT_NACTLAST) = 0; }},
      {"CWORK narrower than the two added rows", {1, 2, 5}, [](Solver& s) { s.ldc = 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    Family f = Family::random(8, 2, 6, 9);
    word(ORVK_NLPINT_PIVSTRAT) = 2;
    Solver s(f);
    s.solve(f, {2}, rhs_for(f, {2}, 1), 0);
    c.spoil(s);
    const Vec rhs = rhs_for(f, c.act, 1);
    const Vec x = s.solve(f, c.act, rhs, 1);
    ASSERT_EQ(s.ising, 0);
    EXPECT_LT(rel_error(f, c.act, rhs, x), 1e3 * f.order(c.act) * kEps);
  }
}

// ---- work space and length checks ---------------------------------------------

TEST_F(LesslvTest, WorkArraysTooShort) {
  Family f = Family::random(4, 1, 2, 3);
  const IVec act;
  IVec ia, ja;
  Vec a;
  f.csr(act, ia, ja, a);
  const IWORD k = 5, nnz = ia.back() - 1, nt = k + 2, lj = nnz * 15;
  const IWORD itot = 11 * nt + 3 * 2 + 4 * lj + 6, rtot = 7 * nt + 4 * lj + 1;
  struct Row {
    IWORD liw, lrw;
    std::string text;
  } rows[] = {
      {itot - 1, rtot,
       "\n\n    STORAGE FOR IWLES HAS TO BE INCREASED TO" + std::string(7 - 3, ' ') +
           std::to_string(itot) + "\n"},
      {itot, rtot - 1,
       "\n\n    STORAGE FOR RWLES HAS TO BE INCREASED TO" + std::string(7 - 3, ' ') +
           std::to_string(rtot) + "\n"},
  };
  ASSERT_EQ(std::to_string(itot).size(), 3u);
  ASSERT_EQ(std::to_string(rtot).size(), 3u);
  for (const auto& r : rows) {
    Solver s(f, r.liw, r.lrw);
    orvika_test::UnitCapture cap(kUnit);
    s.solve(f, act, rhs_for(f, act, 1), 0);
    EXPECT_EQ(s.ifail, 1);
    EXPECT_EQ(s.ising, 0);
    EXPECT_EQ(s.isrow, 0);
    EXPECT_EQ(cap.text(), r.text);
  }
}

TEST_F(LesslvTest, FillBeyondRoomGivesLengthWarning) {
  // Diagonal 1, small entries in column 1: L needs 6 entries, NFILL 1 gives 5.
  Family f;
  f.n = 3;
  f.h = {1.0, 0.5, 0.5, 0.5, 1.0, 0.0, 0.5, 0.0, 1.0};
  word(ORVK_NLPINT_PIVSTRAT) = 2;
  Solver s(f);
  s.nfill = 1;
  orvika_test::UnitCapture cap(kUnit);
  s.solve(f, {}, {1.0, 2.0, 3.0}, 0);
  EXPECT_EQ(s.ifail, 1);
  EXPECT_EQ(cap.text(),
            "\n  Warning: Length of     JL-BPLDLT is Exceeded\n"
            "  Available:           5 Requested:           6\n");
}

TEST_F(LesslvTest, InvalidStructureIsRejected) {
  Family f = Family::random(3, 0, 0, 1);
  struct Row {
    const char* what;
    IVec ia, ja;
  } rows[] = {
      {"column beyond the row", {1, 2, 4, 5}, {1, 1, 3, 3}},
      {"column zero", {1, 2, 4, 5}, {1, 0, 2, 3}},
      {"pointers decreasing", {1, 3, 2, 5}, {1, 1, 2, 3}},
      {"first pointer not 1", {2, 3, 4, 5}, {1, 1, 2, 3}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    Solver s(f);
    IVec ia = r.ia, ja = r.ja;
    ja.resize(100);
    Vec a(100, 1.0), b(3, 1.0), x(3), bold(3);
    IVec none;
    orvika_test::UnitCapture cap(kUnit);
    orvika::LESSLV(0, 3, 4, 0, 0, 15, ia.data(), ja.data(), a.data(), b.data(), bold.data(),
                   x.data(), none.data(), none.data(), s.isrow, s.ldc, s.cwork.data(),
                   static_cast<IWORD>(s.rw.size()), s.rw.data(), static_cast<IWORD>(s.iw.size()),
                   s.iw.data(), s.ising, s.ifail);
    EXPECT_EQ(s.ifail, 1);
    EXPECT_EQ(cap.text(), "\n\n    *** INVALID KKT SYSTEM PASSED TO LESSLV ***\n");
  }
}

TEST_F(LesslvTest, PhaseTimesAndEntryDump) {
  Family f = Family::random(4, 1, 2, 5);
  word(ORVK_NLPINT_KKTLEVEL) = 3;
  orvk_host_set_timer_step(0.5);
  Solver s(f);
  orvika_test::UnitCapture cap(kUnit);
  s.solve(f, {1}, rhs_for(f, {1}, 1), 0);
  orvk_host_set_timer_step(0.0);
  ASSERT_EQ(s.ising, 0);
  const auto& l = cap.lines();
  ASSERT_GE(l.size(), 3u);
  EXPECT_EQ(l[0], "");
  EXPECT_EQ(l[1], "  RENTLE    ");
  EXPECT_EQ(l[2], "       0");
  // Each reading advances the clock by 0.5: one selection and one
  // elimination per block (6 blocks at most), forward and backward phases.
  const int blocks = static_cast<int>(word(ORVK_NLPINT_NBLOCK));
  EXPECT_DOUBLE_EQ(ORVK_NLPREA[1], 0.5 * blocks);
  EXPECT_DOUBLE_EQ(ORVK_NLPREA[2], 0.5 * blocks);
  EXPECT_DOUBLE_EQ(ORVK_NLPREA[3], 0.5);
  EXPECT_DOUBLE_EQ(ORVK_NLPREA[4], 0.5);
  EXPECT_DOUBLE_EQ(ORVK_NLPREA[0], 0.5 * (4 * blocks + 4 + 1));
  EXPECT_EQ(ORVK_NLPREA[5], 0.0);
}

}  // namespace
