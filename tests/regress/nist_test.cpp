// The NIST StRD nonlinear regression problems of the shared set, fitted with
// ORVK_BNLLSQ through each engine and with ORVK_YSOLVE from both starting
// vectors, judged by the log relative error (LRE) against the certified
// values: from the second start every fit must succeed with at least four
// correct digits in the parameters and the residual sum of squares (and in
// the standard deviations for the problems of lower and average difficulty);
// from the first start a fit may fail, but a success must be right.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "regress/nist_util.hpp"

namespace {

using nist::Fit;
using nist::Problem;

constexpr double kMinLre = 4.0;

enum Routine { kLuebrn, kLuebri, kYsolve };
const char* const kRoutineName[] = {"LUEBRN", "LUEBRI", "YSOLVE"};

Fit run(const Problem& pr, int start, Routine r) {
  switch (r) {
    case kLuebrn:
      return nist::fit_bnllsq(pr, start, 0);
    case kLuebri:
      return nist::fit_bnllsq(pr, start, 1);
    case kYsolve:
      break;
  }
  return nist::fit_ysolve(pr, start);
}

class NistFit : public ::testing::TestWithParam<std::string> {};

TEST_P(NistFit, CertifiedValuesFromBothStarts) {
  const std::string dir = nist::data_dir();
  if (dir.empty()) GTEST_SKIP() << "shared NIST data not found (../shared/nist)";
  Problem pr;
  ASSERT_TRUE(nist::load(dir, GetParam(), pr)) << GetParam();
  const bool table = std::getenv("ORVIKA_NIST_TABLE") != nullptr;
  for (Routine r : {kLuebrn, kLuebri, kYsolve})
    for (int start : {1, 0}) {
      SCOPED_TRACE(std::string(kRoutineName[r]) + " start " + std::to_string(start + 1));
      const Fit f = run(pr, start, r);
      // Standard deviations are judged for the problems of lower and average
      // difficulty, except where the residual sum of squares is at the
      // rounding level of the data (Lanczos1): they scale with its root,
      // which carries no certified digits then.
      const bool with_sd = pr.level < 2 && pr.rss > 1e-20;
      double lp = 0, lr = 0, ls = 0;
      const double m = f.min_lre(pr, with_sd, &lp, &lr, &ls);
      if (table)
        std::printf("%-9s %-6s start %d  status %3ld  LRE par %5.1f rss %5.1f sd %5.1f  evals %ld\n",
                    pr.name.c_str(), kRoutineName[r], start + 1, f.status, lp, lr, ls, f.evals);
      if (start == 1) {
        EXPECT_TRUE(f.success) << "status " << f.status;
        EXPECT_GE(lp, kMinLre);
        EXPECT_GE(lr, kMinLre);
        if (with_sd && ls >= 0) EXPECT_GE(ls, kMinLre);
      } else if (f.success) {
        EXPECT_GE(m, kMinLre) << "success at a wrong answer: par " << lp << " rss " << lr
                              << " sd " << ls;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Shared, NistFit, ::testing::ValuesIn(nist::names()),
                         [](const auto& info) { return info.param; });

// The damping of the alternative engine, from the first starts of two
// problems whose undamped steps reach far beyond their linear models.
// MGH09: the search takes a ten-thousandth of the step and less, iteration
// after iteration; the damping must grow where the search cuts the step
// (without it the run crawls to its limit).  MGH10: undamped steps stall the
// search; after the damped step that follows, the damping must decay rather
// than vanish, or every other iteration spends a whole failed search (17
// model calls).  Either way the iterations cost a few calls each, and a
// success is a right answer.
struct DampingCase {
  const char* problem;
  bool must_succeed;
};

TEST(NistData, AlternativeEngineDampsStepsBeyondTheLinearModel) {
  const std::string dir = nist::data_dir();
  if (dir.empty()) GTEST_SKIP() << "shared NIST data not found (../shared/nist)";
  const DampingCase cases[] = {{"MGH09", true}, {"MGH10", false}};
  for (const DampingCase& c : cases) {
    Problem pr;
    ASSERT_TRUE(nist::load(dir, c.problem, pr)) << c.problem;
    const IWORD itmax = 500;
    const Fit f = nist::fit_bnllsq(pr, 0, 1, 1e-10, itmax);
    if (c.must_succeed) EXPECT_TRUE(f.success) << c.problem << " status " << f.status;
    if (f.success) EXPECT_GE(f.min_lre(pr, false), kMinLre) << c.problem;
    EXPECT_LT(f.evals, 6 * itmax) << c.problem << " status " << f.status;
  }
}

// The reader against values read off the files by hand.
TEST(NistData, ReaderTakesModelStartsCertifiedValuesAndData) {
  const std::string dir = nist::data_dir();
  if (dir.empty()) GTEST_SKIP() << "shared NIST data not found (../shared/nist)";
  Problem pr;
  ASSERT_TRUE(nist::load(dir, "MGH09", pr));
  EXPECT_EQ(pr.level, 2);
  EXPECT_EQ(pr.npar, 4);
  EXPECT_EQ(pr.ndat(), 11);
  EXPECT_EQ(pr.start[0][2], 41.5);
  EXPECT_EQ(pr.start[1][3], 0.39);
  EXPECT_EQ(pr.cert[0], 1.9280693458E-01);
  EXPECT_EQ(pr.sd[1], 1.9633220911E-01);
  EXPECT_EQ(pr.rss, 3.0750560385E-04);
  EXPECT_EQ(pr.y[0], 1.957000E-01);
  EXPECT_EQ(pr.x1[10], 6.250000E-02);
  ASSERT_TRUE(nist::load(dir, "Nelson", pr));
  EXPECT_EQ(pr.ndat(), 128);
  ASSERT_EQ(pr.x2.size(), 128u);
  // The certified point is a minimum: its residual sum of squares is the
  // certified one to the digits given.
  for (const std::string& n : nist::names()) {
    ASSERT_TRUE(nist::load(dir, n, pr)) << n;
    if (pr.rss > 1e-20) EXPECT_GE(nist::lre(nist::rss_at(pr, pr.cert.data()), pr.rss), 6) << n;
  }
}

}  // namespace
