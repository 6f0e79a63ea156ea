// The shared real matrices: analyse, solve (plain and transposed),
// re-factorise with new values and scale.
#include <gtest/gtest.h>

#include <string>

#include "ma28/ma28_test_util.hpp"
#include "support/mtx.hpp"

namespace {

using namespace ma28test;

bool load(const std::string& name, Triplets& a) {
  const std::string path = orvika_test::shared_matrix(name);
  if (path.empty()) return false;
  std::string msg;
  if (!orvika_test::read_mtx(path, a, &msg)) {
    ADD_FAILURE() << msg;
    return false;
  }
  return true;
}

class SharedMatrix : public ::testing::TestWithParam<const char*> {};

TEST_P(SharedMatrix, AnalyseSolveRefactor) {
  Triplets a;
  if (!load(GetParam(), a)) GTEST_SKIP() << "shared matrix " << GetParam() << " not found";
  reset_blocks();
  ORVK_MA28ED.ERRUNT = 0;
  Solver s;
  IWORD licn = 4 * a.nz(), lirn = 2 * a.nz(), st = -99;
  for (int att = 0; att < 6 && st < 0; ++att) {
    st = s.analyse(a, licn, lirn, 0.1);
    if (st < 0) {
      ASSERT_TRUE(st == -3 || st == -4 || st == -5 || st == -6 || st == -7) << st;
      licn = std::max(2 * licn, ORVK_MA28FD.MINLIC);
      lirn = std::max(2 * lirn, ORVK_MA28FD.MINLIR);
    }
  }
  ASSERT_EQ(st, 0) << GetParam();
  const auto xt = test_x(a.n);
  const auto b = a.mul(xt);
  const auto x = s.solve(b);
  const double growth = std::max(1.0, s.rwork[0] / a.maxabs());
  EXPECT_LT(scaled_residual(a, x, b), 100.0 * growth) << GetParam();
  const auto bt = a.mul(xt, true);
  const auto y = s.solve(bt, 0);
  EXPECT_LT(scaled_residual(a, y, bt, true), 100.0 * growth) << GetParam();

  // New values on the same pattern.
  Triplets c = a;
  for (std::size_t k = 0; k < c.val.size(); ++k) c.val[k] *= 1.0 + 0.01 * std::sin(1.0 + k);
  const IWORD st2 = s.refactor(c);
  ASSERT_GE(st2, 0) << GetParam();
  const auto bc = c.mul(xt);
  const auto xc = s.solve(bc);
  const double g2 = std::max(1.0, s.rwork[0] / c.maxabs());
  EXPECT_LT(scaled_residual(c, xc, bc), 100.0 * g2) << GetParam();
}

TEST_P(SharedMatrix, ScalingImprovesTheLogFit) {
  Triplets a;
  if (!load(GetParam(), a)) GTEST_SKIP() << "shared matrix " << GetParam() << " not found";
  reset_blocks();
  std::vector<double> r(a.n), c(a.n), w(5 * a.n);
  IWORD n = a.n, nz = a.nz();
  ORVK_MC19AD(&n, &nz, a.val.data(), idx16(a.row).data(), idx16(a.col).data(), r.data(), c.data(), w.data());
  double f = 0.0, f0 = 0.0;
  for (std::size_t k = 0; k < a.val.size(); ++k) {
    if (a.val[k] == 0.0) continue;
    const double l = std::log(std::fabs(a.val[k]));
    f0 += l * l;
    const double t = l + r[a.row[k] - 1] + c[a.col[k] - 1];
    f += t * t;
  }
  EXPECT_LE(f, f0) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Ma28, SharedMatrix,
                         ::testing::Values("west0479.mtx", "west0989.mtx", "bp_200.mtx",
                                           "orani678.mtx", "rdb1250l.mtx"),
                         [](const auto& info) {
                           std::string s = info.param;
                           for (auto& ch : s)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return s;
                         });

}  // namespace
