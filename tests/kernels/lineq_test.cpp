// ORVK_LINEQ, ORVK_LINEQ1, ORVK_LINEQA and the inner-product kernel DOTACC.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "dense_test_util.hpp"
#include "kernels/dense.hpp"
#include "orvika/host_stub.h"
#include "orvika/kernels_dense.h"
#include "support/capture.hpp"

namespace {

using dense_test::kEps;
using dense_test::kRatioLimit;
using dense_test::norm1;
using dense_test::random_matrix;
using dense_test::residual_limit;
using orvika_test::scaled_residual;

using Words = std::vector<IWORD>;  // W as the caller holds it: 8-byte words

IWORD w_int(const Words& w, IWORD k) { return w[k - 1]; }

// Fixture: host defaults, report unit 6 captured, message level MSGLVL.
class LineqTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    VLK_GLOBAL[VLK_W_REPUNIT - 1] = 6;
    ORVK_RDFRC3.MSGLVL = 2;
    ORVK_CLINEQ.PIVSTA = 12345;
  }
  void TearDown() override {
    ORVK_RDFRC3.MSGLVL = 0;
    orvk_host_reset();
  }
  orvika_test::UnitCapture cap{6};
};

const std::string kSmall3 =
    " LINEQ1 HAS FOUND THAT PIVOT     3 IS SMALL, RESULTS MAY BE UNRELIABLE.";
const std::string kZero12 =
    " LINEQ  HAS FOUND THAT PIVOT    12 IS ZERO , RESULTS MAY BE UNRELIABLE.";

// ---- DOTACC ----------------------------------------------------------------

TEST(Dotacc, ModeTable) {
  const double x[] = {1, 9, 2, 9, 3};  // stride 2: 1, 2, 3
  const double y[] = {4, 5, 6};        // S = 4 + 10 + 18 = 32
  struct Row {
    IWORD mode;
    double out;
  };
  const Row rows[] = {{0, 32 + 10},  {1, 10 - 32},  {2, 32 - 10},  {3, -32 - 10},
                      {4, 32 + 10},  {5, 10 - 32},  {6, 32 - 10},  {7, -32 - 10},
                      {8, 32 + 10},  {-1, 32 + 10}, {-3, 32 + 10}};
  for (const auto& r : rows) {
    double out = -1;
    orvika::DOTACC(x, 2, y, 1, 10.0, out, 3, r.mode);
    EXPECT_EQ(out, r.out) << "MODE " << r.mode;
  }
}

TEST(Dotacc, EmptySumAndAliasedOutput) {
  double c = 7.5;
  orvika::DOTACC(nullptr, 1, nullptr, 1, c, c, 0, 1);
  EXPECT_EQ(c, 7.5);
  const double x[] = {2, 3};
  orvika::DOTACC(x, 1, x, 1, c, c, -4, 1);
  EXPECT_EQ(c, 7.5);
  orvika::DOTACC(x, 1, x, 1, c, c, 2, 1);  // 7.5 - 13
  EXPECT_EQ(c, -5.5);
}

// ---- Factor and solve on random matrices --------------------------------------

// L*U against A with the row exchanges ROWS applied in step order.
double factor_ratio(const std::vector<double>& a0, const std::vector<double>& f, IWORD lda,
                    IWORD n, const std::vector<IWORD>& rows) {
  auto pa = a0;
  for (IWORD k = 1; k <= n; ++k)
    for (IWORD j = 0; j < n; ++j) std::swap(pa[(k - 1) + j * lda], pa[(rows[k - 1] - 1) + j * lda]);
  double worst = 0.0;
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD j = 1; j <= n; ++j) {
      double s = 0.0;
      for (IWORD t = 1; t <= std::min(i, j); ++t)
        s += (t == i ? 1.0 : f[(i - 1) + (t - 1) * lda]) * f[(t - 1) + (j - 1) * lda];
      worst = std::max(worst, std::fabs(s - pa[(i - 1) + (j - 1) * lda]));
    }
  return worst / (norm1(a0, lda, n) * n * kEps);
}

class LineqRandom : public LineqTest, public ::testing::WithParamInterface<IWORD> {};

TEST_P(LineqRandom, FactorsAndSolvesWithoutWarning) {
  const IWORD n = GetParam(), lda = n + 3;
  const auto a0 = random_matrix(lda, n, 77 + static_cast<unsigned>(n));
  std::vector<double> x(n), b(n, 0.0);
  for (IWORD i = 0; i < n; ++i) x[i] = std::cos(static_cast<double>(i));
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) b[i] += a0[i + j * lda] * x[j];

  auto a = a0;
  auto sol = b;
  Words w(n, -99);
  ORVK_LINEQ(a.data(), &lda, &n, sol.data(), w.data());
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 0);
  EXPECT_EQ(w_int(w, n), n);
  std::vector<IWORD> rows(w.begin(), w.end());
  for (IWORD k = 1; k <= n; ++k) {
    EXPECT_GE(rows[k - 1], k);
    EXPECT_LE(rows[k - 1], n);
  }
  EXPECT_LT(factor_ratio(a0, a, lda, n, rows), kRatioLimit);
  EXPECT_LT(scaled_residual(n, a0.data(), lda, sol.data(), b.data()), residual_limit(a0, lda, n));

  // A second right-hand side with the kept factors.
  std::vector<double> b2(n, 0.0);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = 0; i < n; ++i) b2[i] += a0[i + j * lda] * (j + 1.0);
  auto sol2 = b2;
  ORVK_LINEQ1(a.data(), &lda, &n, sol2.data(), w.data());
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 0);
  EXPECT_LT(scaled_residual(n, a0.data(), lda, sol2.data(), b2.data()), residual_limit(a0, lda, n));

  // The stand-alone variant gives the same factors and solution.
  auto aa = a0;
  auto sola = b;
  std::vector<double> cmax(n);
  std::vector<IWORD> ipvt(n);
  IWORD istat = 99;
  const IWORD iprt = 1;
  ORVK_LINEQA(aa.data(), &lda, &n, sola.data(), cmax.data(), ipvt.data(), &iprt, &istat);
  EXPECT_EQ(istat, 0);
  EXPECT_EQ(ipvt, rows);
  EXPECT_EQ(aa, a);
  EXPECT_EQ(sola, sol);
  EXPECT_TRUE(cap.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, LineqRandom, ::testing::Values(1, 2, 3, 5, 10, 50));

// ---- Pivot status of ORVK_LINEQ and ORVK_LINEQ1 --------------------------------

struct StatusCase {
  const char* what;
  IWORD n;
  std::vector<double> a;  // column-major, lda = n
  double rtiny;
  IWORD msglvl;
  IWORD pivsta;           // after ORVK_LINEQ
  IWORD wn;               // W(N) after ORVK_LINEQ
  std::vector<double> x;  // solution for b = ones (NaN: not checked)
  std::string line;       // warning line ("" = none)
};

TEST_F(LineqTest, StatusTable) {
  const double any = std::numeric_limits<double>::quiet_NaN();
  const std::vector<StatusCase> cases = {
      {"1x1 zero", 1, {0.0}, 1e-30, 2, 1, 1, {0.0},
       " LINEQ  HAS FOUND THAT PIVOT     1 IS ZERO , RESULTS MAY BE UNRELIABLE."},
      {"well conditioned", 2, {2, 1, 1, 3}, 1e-30, 2, 0, 2, {0.4, 0.2}, ""},
      // column 2 max 1e10, pivot 1 <= 4*RTINY*1e10; |u22| = 1 > RTINY
      {"small pivot", 2, {1e20, 0, 1e10, 1}, 1e-10, 2, -2, -2, {any, 1.0},
       " LINEQ  HAS FOUND THAT PIVOT     2 IS SMALL, RESULTS MAY BE UNRELIABLE."},
      {"small pivot, MSGLVL 1", 2, {1e20, 0, 1e10, 1}, 1e-10, 1, -2, -2, {any, 1.0}, ""},
      // |A(1,1)| < RTINY: column 1 not scaled, component 1 set to 0
      {"tiny diagonal", 2, {1e-12, 0, 0, 1}, 1e-10, 2, 1, 2, {0.0, 1.0},
       " LINEQ  HAS FOUND THAT PIVOT     1 IS ZERO , RESULTS MAY BE UNRELIABLE."},
      {"zero column, later steps fine", 3, {1, 0, 0, 0, 0, 0, 0, 0, 1}, 1e-30, 2, 2, 3,
       {1.0, 0.0, 1.0},
       " LINEQ  HAS FOUND THAT PIVOT     2 IS ZERO , RESULTS MAY BE UNRELIABLE."},
  };
  for (const auto& c : cases) {
    VLK_RGLOB[VLK_W_RTINY - 1] = c.rtiny;
    ORVK_RDFRC3.MSGLVL = c.msglvl;
    cap.clear();
    auto a = c.a;
    std::vector<double> b(c.n, 1.0);
    Words w(c.n, -99);
    ORVK_LINEQ(a.data(), &c.n, &c.n, b.data(), w.data());
    EXPECT_EQ(ORVK_CLINEQ.PIVSTA, c.pivsta) << c.what;
    EXPECT_EQ(w_int(w, c.n), c.wn) << c.what;
    for (IWORD i = 0; i < c.n; ++i)
      if (!std::isnan(c.x[i])) EXPECT_DOUBLE_EQ(b[i], c.x[i]) << c.what << " x(" << i + 1 << ")";
    if (c.line.empty())
      EXPECT_TRUE(cap.lines().empty()) << c.what;
    else
      EXPECT_EQ(cap.lines(), std::vector<std::string>{c.line}) << c.what;
  }
}

// Input with an infinite element never passes for a good system.  An
// infinite pivot, given or grown out of range, is reported like a small one
// (so the status travels with the factors to ORVK_LINEQ1), whatever RTINY;
// a pivot that is not a number, from inf*0 in the elimination, is reported
// as zero, and ORVK_LINEQ1 finds its diagonal element unusable.
struct InfCase {
  const char* what;
  IWORD n;
  std::vector<double> a;  // column-major, lda = n
  double rtiny;
  IWORD pivsta;   // after ORVK_LINEQ
  IWORD pivsta1;  // after ORVK_LINEQ1 with the same factors
  IWORD istat;    // ORVK_LINEQA
};

TEST_F(LineqTest, InfiniteElementIsNeverReportedGood) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<InfCase> cases = {
      {"1x1 +inf, RTINY 0", 1, {inf}, 0.0, -1, -1, -1},
      {"1x1 -inf, RTINY 0", 1, {-inf}, 0.0, -1, -1, -1},
      {"diag(inf, 1), RTINY 0", 2, {inf, 0, 0, 1}, 0.0, -1, -1, -1},
      {"inf last pivot, RTINY 0", 2, {1, 0, 0, inf}, 0.0, -2, -2, -2},
      {"inf at a later position, RTINY 0", 2, {1, inf, 1, 1}, 0.0, -1, -1, -1},
      {"last pivot grown out of range", 2, {1, -1, 1e308, 1e308}, 1e-30, -2, -2, -2},
      {"inf above the diagonal: NaN pivot", 2, {1, 0, inf, 1}, 1e-30, 2, 2, 2},
  };
  for (const auto& c : cases) {
    VLK_RGLOB[VLK_W_RTINY - 1] = c.rtiny;
    ORVK_RDFRC3.MSGLVL = 0;
    auto a = c.a;
    std::vector<double> b(c.n, 1.0);
    Words w(c.n, -99);
    ORVK_LINEQ(a.data(), &c.n, &c.n, b.data(), w.data());
    EXPECT_EQ(ORVK_CLINEQ.PIVSTA, c.pivsta) << c.what;
    std::vector<double> b1(c.n, 2.0);
    ORVK_LINEQ1(a.data(), &c.n, &c.n, b1.data(), w.data());
    EXPECT_EQ(ORVK_CLINEQ.PIVSTA, c.pivsta1) << c.what;
    auto a2 = c.a;
    std::vector<double> b2(c.n, 1.0), cmax(c.n);
    std::vector<IWORD> ipvt(c.n);
    const IWORD iprt = 0;
    IWORD istat = 77;
    ORVK_LINEQA(a2.data(), &c.n, &c.n, b2.data(), cmax.data(), ipvt.data(), &iprt, &istat);
    EXPECT_EQ(istat, c.istat) << c.what;
  }
}

TEST_F(LineqTest, NegativeStatusTravelsWithTheFactors) {
  VLK_RGLOB[VLK_W_RTINY - 1] = 1e-10;
  // Pivot 3 small: column 3 max 1e12 (row 1), pivot 1 after the steps.
  const IWORD n = 3;
  std::vector<double> a = {1e20, 0, 0, 0, 2, 0, 1e12, 0, 1};
  std::vector<double> b = {1e20 + 1e12, 2, 1};
  Words w(n);
  ORVK_LINEQ(a.data(), &n, &n, b.data(), w.data());
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, -3);
  EXPECT_EQ(w_int(w, n), -3);
  EXPECT_DOUBLE_EQ(b[2], 1.0);
  EXPECT_DOUBLE_EQ(b[1], 1.0);
  cap.clear();
  for (int call = 0; call < 2; ++call) {
    std::vector<double> b2 = {0, 4, 2};
    ORVK_LINEQ1(a.data(), &n, &n, b2.data(), w.data());
    EXPECT_EQ(ORVK_CLINEQ.PIVSTA, -3);
    EXPECT_EQ(w_int(w, n), -3);
    EXPECT_DOUBLE_EQ(b2[1], 2.0);
    EXPECT_DOUBLE_EQ(b2[2], 2.0);
  }
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{kSmall3, kSmall3}));
}

TEST_F(LineqTest, Lineq1BackSubstitutionReplacesSavedStatus) {
  // Factors with a tiny last diagonal and a saved status -1 in W(N).
  VLK_RGLOB[VLK_W_RTINY - 1] = 1e-10;
  const IWORD n = 2;
  const std::vector<double> a = {1, 0, 0, 1e-12};
  Words w = {1, -1};
  std::vector<double> b = {3, 5};
  ORVK_LINEQ1(a.data(), &n, &n, b.data(), w.data());
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 2);
  EXPECT_EQ(w_int(w, n), 2);
  EXPECT_EQ(b, (std::vector<double>{3, 0}));
  EXPECT_EQ(cap.lines(), std::vector<std::string>{
                             " LINEQ1 HAS FOUND THAT PIVOT     2 IS ZERO , RESULTS MAY BE "
                             "UNRELIABLE."});
}

TEST_F(LineqTest, TwelfthPivotZeroLine) {
  const IWORD n = 12;
  std::vector<double> a(n * n, 0.0);
  for (IWORD i = 0; i < n - 1; ++i) a[i + i * n] = 1.0;
  std::vector<double> b(n, 1.0);
  Words w(n);
  ORVK_LINEQ(a.data(), &n, &n, b.data(), w.data());
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 12);
  EXPECT_EQ(b[11], 0.0);
  EXPECT_EQ(cap.lines(), std::vector<std::string>{kZero12});
}

TEST_F(LineqTest, TiesKeepTheEarliestRow) {
  const IWORD n = 2;
  std::vector<double> a = {1, -1, 1, 2};
  std::vector<double> b = {2, 1};
  Words w(n);
  ORVK_LINEQ(a.data(), &n, &n, b.data(), w.data());
  EXPECT_EQ(w_int(w, 1), 1);
  EXPECT_DOUBLE_EQ(b[0], 1.0);
  EXPECT_DOUBLE_EQ(b[1], 1.0);
}

TEST_F(LineqTest, RowExchangesApplyToRightHandSide) {
  // Rows (0,1),(1,0): exchanged at step 1.
  const IWORD n = 2;
  std::vector<double> a = {0, 1, 1, 0};
  std::vector<double> b = {2, 3};
  Words w(n);
  ORVK_LINEQ(a.data(), &n, &n, b.data(), w.data());
  EXPECT_EQ(w_int(w, 1), 2);
  EXPECT_EQ(w_int(w, 2), 2);
  EXPECT_EQ(b, (std::vector<double>{3, 2}));
}

// A host RTINY of 0 with an exactly zero pivot: the column is left
// unscaled (no 0*inf), the component is 0 and the others are solved.
TEST_F(LineqTest, ZeroPivotWithZeroTinyThreshold) {
  VLK_RGLOB[VLK_W_RTINY - 1] = 0.0;
  const IWORD n = 3;
  // Rows (0,1,2), (0,3,1), (0,1,1): column 1 is zero.
  std::vector<double> a = {0, 0, 0, 1, 3, 1, 2, 1, 1};
  std::vector<double> b = {1, 1, 1};
  Words w(n);
  ORVK_LINEQ(a.data(), &n, &n, b.data(), w.data());
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 1);
  EXPECT_EQ(a[1], 0.0);  // multipliers of column 1 stay 0
  EXPECT_EQ(a[2], 0.0);
  EXPECT_EQ(b[0], 0.0);
  EXPECT_NEAR(b[1], 0.0, 4 * kEps);
  EXPECT_NEAR(b[2], 1.0, 4 * kEps);
  EXPECT_EQ(cap.lines(), std::vector<std::string>{
                             " LINEQ  HAS FOUND THAT PIVOT     1 IS ZERO , RESULTS MAY BE UNRELIABLE."});
}

TEST_F(LineqTest, EmptyAndBadArguments) {
  const IWORD zero = 0, one = 1, two = 2;
  double a[4] = {1, 2, 3, 4}, b[2] = {1, 1};
  Words w(2, 7);
  ORVK_LINEQ(a, &one, &zero, b, w.data());
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 0);
  ORVK_CLINEQ.PIVSTA = 5;
  ORVK_LINEQ(a, &one, &two, b, w.data());  // LDA < N
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 0);
  EXPECT_EQ(a[0], 1.0);
  EXPECT_EQ(w[0], 7);
  // W that holds no pivot rows of order 2: nothing is solved.
  ORVK_CLINEQ.PIVSTA = 5;
  Words bad = {3, 2};
  ORVK_LINEQ1(a, &two, &two, b, bad.data());
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 0);
  EXPECT_EQ(b[0], 1.0);
  IWORD istat = 9;
  double cmax[2];
  IWORD ipvt[2] = {0, 0};
  ORVK_LINEQA(a, &two, &zero, b, cmax, ipvt, &one, &istat);
  EXPECT_EQ(istat, 0);
  EXPECT_TRUE(cap.lines().empty());
}

// W(N) below -N is no saved status of an order-N factorisation: LINEQ1
// refuses it like any other W without pivot rows of that order.
TEST_F(LineqTest, Lineq1RefusesSavedStatusOutsideTheOrder) {
  struct Case {
    const char* what;
    IWORD wn;
  };
  const Case cases[] = {{"one below -N", -3},
                        {"far below -N", -1000},
                        {"most negative word", std::numeric_limits<IWORD>::min()}};
  const IWORD n = 2;
  const double a[4] = {2, 0, 0, 4};
  for (const Case& c : cases) {
    cap.clear();
    ORVK_RDFRC3.MSGLVL = 2;
    ORVK_CLINEQ.PIVSTA = 5;
    Words w = {1, c.wn};
    std::vector<double> b = {2, 4};
    ORVK_LINEQ1(a, &n, &n, b.data(), w.data());
    EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 0) << c.what;
    EXPECT_EQ(w, (Words{1, c.wn})) << c.what;
    EXPECT_EQ(b, (std::vector<double>{2, 4})) << c.what;
    EXPECT_TRUE(cap.lines().empty()) << c.what;
  }
  // -N itself is a saved status: the solve runs and the warning names pivot 2.
  cap.clear();
  Words w = {1, -2};
  std::vector<double> b = {2, 4};
  ORVK_LINEQ1(a, &n, &n, b.data(), w.data());
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, -2);
  EXPECT_EQ(w, (Words{1, -2}));
  EXPECT_EQ(b, (std::vector<double>{1, 1}));
  EXPECT_EQ(cap.lines(), std::vector<std::string>{
                             " LINEQ1 HAS FOUND THAT PIVOT     2 IS SMALL, RESULTS MAY BE "
                             "UNRELIABLE."});
}

// ---- ORVK_LINEQA ------------------------------------------------------------------

struct LineqaCase {
  const char* what;
  std::vector<double> diag;  // a diagonal matrix
  IWORD iprt;
  IWORD istat;
  std::vector<double> pivots;  // diagonal after the factorisation
  std::string line;
};

TEST_F(LineqTest, LineqaStatusTable) {
  const double floor = 1e-50 * 1e-10;  // the pivot put in place of a small one
  const std::vector<LineqaCase> cases = {
      {"zero column 2", {1, 0, 1}, 0, 2, {1, floor, 1}, ""},
      {"small pivots 2 and 5", {1, 1e-70, 1, 1, 1e-70}, 1, -2, {1, floor, 1, 1, floor},
       " LINEQ  HAS FOUND THAT PIVOT     2 IS SMALL, RESULTS MAY BE UNRELIABLE."},
      {"small pivot 2, zero pivot 5", {1, 1e-70, 1, 1, 0}, 1, 5, {1, floor, 1, 1, floor},
       " LINEQ  HAS FOUND THAT PIVOT     5 IS ZERO , RESULTS MAY BE UNRELIABLE."},
      {"column maxima above the floor", {2, 3, 4}, 1, 0, {2, 3, 4}, ""},
  };
  for (const auto& c : cases) {
    cap.clear();
    const IWORD n = static_cast<IWORD>(c.diag.size());
    std::vector<double> a(n * n, 0.0);
    for (IWORD i = 0; i < n; ++i) a[i + i * n] = c.diag[i];
    std::vector<double> b(n, 1.0), cmax(n);
    std::vector<IWORD> ipvt(n);
    IWORD istat = 77;
    ORVK_LINEQA(a.data(), &n, &n, b.data(), cmax.data(), ipvt.data(), &c.iprt, &istat);
    EXPECT_EQ(istat, c.istat) << c.what;
    for (IWORD i = 0; i < n; ++i) {
      EXPECT_EQ(a[i + i * n], c.pivots[i]) << c.what;
      EXPECT_EQ(cmax[i], std::max(1e-10, std::fabs(c.diag[i]))) << c.what;
      EXPECT_EQ(b[i], 1.0 / c.pivots[i]) << c.what;
    }
    EXPECT_EQ(ipvt[n - 1], istat < 0 ? istat : n) << c.what;
    if (c.line.empty())
      EXPECT_TRUE(cap.lines().empty()) << c.what;
    else
      EXPECT_EQ(cap.lines(), std::vector<std::string>{c.line}) << c.what;
  }
  // ORVK_LINEQA leaves the status block alone.
  EXPECT_EQ(ORVK_CLINEQ.PIVSTA, 12345);
}

}  // namespace
