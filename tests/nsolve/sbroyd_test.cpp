// SBROYD and BNDSTP.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "nsolve/nsolve.hpp"

namespace {

using orvika::BNDSTP;
using orvika::SBROYD;

TEST(NsolveSbroyd, SecantConditionByRow) {
  // 3 x 3 tridiagonal pattern with a repeated (2,2) entry.
  const std::vector<IWORD> irn{1, 1, 2, 2, 2, 2, 3, 3}, icn{1, 2, 1, 2, 3, 2, 2, 3};
  for (IWORD dup : {0, 1, -1}) {
    SCOPED_TRACE(dup);
    std::vector<double> a{1, 2, 3, 4, 5, 0.5, 6, 7};
    const std::vector<double> a0 = a;
    double xold[3] = {0, 0, 0}, fold[3] = {1, 1, 1};
    const double x[3] = {0.5, -1.0, 2.0}, f[3] = {3, -2, 0.5};
    const double s[3] = {0.5, -1.0, 2.0}, y[3] = {2, -3, -0.5};
    std::vector<IWORD> mask(8, 7);
    double w[9];
    LWORD first = ORVK_TRUE;
    SBROYD(3, 3, 8, xold, x, fold, f, irn.data(), icn.data(), a.data(), w, mask.data(), first,
           dup, 1);
    EXPECT_EQ(first, ORVK_FALSE);
    EXPECT_EQ(mask[5], (dup & 1) ? 0 : 1);
    for (IWORD i = 1; i <= 3; ++i) {
      double rs = 0;
      for (std::size_t k = 0; k < irn.size(); ++k)
        if (irn[k] == i) rs += a[k] * s[icn[k] - 1];
      EXPECT_NEAR(rs, y[i - 1], 1e-13) << i;
    }
    if (dup & 1) EXPECT_EQ(a[5], a0[5]);  // the repeat keeps its value
    EXPECT_EQ(xold[2], 2.0);
    EXPECT_EQ(fold[0], 3.0);
  }
}

// Mask of a repeated-position check written the plain way: an entry is left
// out when an earlier entry has its row and column.
std::vector<IWORD> reference_mask(const std::vector<IWORD>& irn, const std::vector<IWORD>& icn,
                                  bool check) {
  std::vector<IWORD> m(irn.size(), 1);
  if (!check) return m;
  for (std::size_t k = 1; k < irn.size(); ++k)
    for (std::size_t q = 0; q < k; ++q)
      if (irn[q] == irn[k] && icn[q] == icn[k]) {
        m[k] = 0;
        break;
      }
  return m;
}

TEST(NsolveSbroyd, RepeatedPositionsMatchPlainReference) {
  // Entries in no order, many positions repeated two to four times, some
  // rows without entries: the mask and the updated values must equal those
  // of the plain check and of the update formula applied with its mask.
  const IWORD m = 37, n = 41;
  std::vector<IWORD> irn, icn;
  std::uint64_t seed = 12345;
  auto next = [&seed](IWORD mod) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<IWORD>((seed >> 33) % static_cast<std::uint64_t>(mod));
  };
  for (int k = 0; k < 500; ++k) {
    const IWORD i = 1 + next(m - 3), j = 1 + next(n);  // rows m-2..m left empty
    for (IWORD r = 0, copies = 1 + next(4); r < copies; ++r) {
      irn.push_back(i);
      icn.push_back(j);
    }
  }
  for (std::size_t k = irn.size() - 1; k > 0; --k) {  // shuffle the entry order
    const std::size_t q = static_cast<std::size_t>(next(static_cast<IWORD>(k + 1)));
    std::swap(irn[k], irn[q]);
    std::swap(icn[k], icn[q]);
  }
  const IWORD nz = static_cast<IWORD>(irn.size());
  std::vector<double> a0(nz), x(n), f(m);
  for (IWORD k = 0; k < nz; ++k) a0[k] = 1.0 + 0.01 * next(100);
  for (IWORD j = 0; j < n; ++j) x[j] = 0.1 * (next(21) - 10);
  for (IWORD i = 0; i < m; ++i) f[i] = 0.1 * (next(21) - 10);
  for (IWORD dup : {1, -1, 0, 2}) {
    SCOPED_TRACE(dup);
    const std::vector<IWORD> ref = reference_mask(irn, icn, (dup & 1) != 0);
    // The update by its formula, with the reference mask.
    std::vector<double> want = a0, r(m), d(m, 0.0);
    for (IWORD i = 0; i < m; ++i) r[i] = f[i];  // FOLD = 0, XOLD = 0: s = x, y = f
    for (IWORD k = 0; k < nz; ++k) {
      r[irn[k] - 1] -= a0[k] * x[icn[k] - 1];
      if (ref[k] == 1) d[irn[k] - 1] += x[icn[k] - 1] * x[icn[k] - 1];
    }
    for (IWORD k = 0; k < nz; ++k)
      if (ref[k] == 1 && d[irn[k] - 1] > 0.0)
        want[k] += r[irn[k] - 1] * x[icn[k] - 1] / d[irn[k] - 1];
    std::vector<double> a = a0, xold(n, 0.0), fold(m, 0.0), w(n + 2 * m, -1.0);
    std::vector<IWORD> mask(nz, 7);
    LWORD first = ORVK_TRUE;
    SBROYD(m, n, nz, xold.data(), x.data(), fold.data(), f.data(), irn.data(), icn.data(),
           a.data(), w.data(), mask.data(), first, dup, 1);
    EXPECT_EQ(mask, ref);
    EXPECT_EQ(a, want);
  }
}

TEST(NsolveSbroyd, ZeroStepColumnsAndDense) {
  const std::vector<IWORD> irn{1, 1, 2}, icn{1, 2, 2};
  std::vector<double> a{1, 2, 3};
  double xold[2] = {1, 1}, fold[2] = {0, 0};
  const double x[2] = {1, 3}, f[2] = {5, 5};  // s = (0, 2)
  std::vector<IWORD> mask(3, 1);
  double w[6];
  LWORD first = ORVK_FALSE;  // the caller's mask stands
  SBROYD(2, 2, 3, xold, x, fold, f, irn.data(), icn.data(), a.data(), w, mask.data(), first, 0, 1);
  EXPECT_EQ(a[0], 1.0);  // column with s_j = 0: no change
  EXPECT_DOUBLE_EQ(a[1] * 2.0, 5.0);
  EXPECT_DOUBLE_EQ(a[2] * 2.0, 5.0);
  // A zero step: no value changes, the old point still moves on.
  double xo2[2] = {1, 3}, fo2[2] = {0, 0};
  const std::vector<double> before = a;
  SBROYD(2, 2, 3, xo2, x, fo2, f, irn.data(), icn.data(), a.data(), w, mask.data(), first, 0, 1);
  EXPECT_EQ(a, before);
  EXPECT_EQ(fo2[1], 5.0);
  // Dense: Broyden's rank-one update, zero positions included.
  double d[4] = {1, 0, 0, 1};
  double xd[2] = {0, 0}, fd[2] = {0, 0};
  const double xn[2] = {1, 1}, fn[2] = {3, 1};
  SBROYD(2, 2, 4, xd, xn, fd, fn, nullptr, nullptr, d, w, nullptr, first, 0, 2);
  // r = y - A s = (2, 0); A += r s' / 2.
  EXPECT_EQ(std::vector<double>(d, d + 4), (std::vector<double>{2, 0, 1, 1}));
}

TEST(NsolveBndstp, StepFactorAndSmoothBounds) {
  const double x[3] = {0, 0, 0}, cs[3] = {2, 1, 1};
  const double dx[3] = {1, -4, 0};
  const double dxmax[3] = {1, 1, 0};
  const double lo[3] = {-10, -10, -10}, up[3] = {10, 10, 10};
  double lam = -1;
  BNDSTP(1, 3, 0, x, lam, 1, cs, dx, nullptr, dxmax, lo, up);
  EXPECT_EQ(lam, 1.0);
  BNDSTP(1, 3, 1, x, lam, 1, cs, dx, nullptr, dxmax, lo, up);
  EXPECT_EQ(lam, 0.25);  // |dx2| = 4 against 1
  const double dxz[3] = {100, 0, 0};
  BNDSTP(1, 3, 1, x, lam, 0, cs, dxz, nullptr, dxmax, lo, up);
  EXPECT_EQ(lam, 0.125);  // never below 0.125
  // MODE 2, no bounds: limited by DXMAX.
  double xn[3];
  lam = 1.0;
  BNDSTP(2, 3, 0, x, lam, 1, cs, dx, xn, dxmax, lo, up);
  EXPECT_EQ(std::vector<double>(xn, xn + 3), (std::vector<double>{1, -1, 0}));
  // Smooth approach: gap 1 to the upper bound, no step limit.
  const double x1[1] = {0}, big[1] = {1e9}, l1[1] = {-5}, u1[1] = {1}, c1[1] = {1};
  auto step = [&](double e) {
    double lm = 1.0, d[1] = {e}, out[1];
    BNDSTP(2, 1, 1, x1, lm, 0, c1, d, out, big, l1, u1);
    return out[0];
  };
  const double h = 0.99;
  EXPECT_EQ(step(0.5), 0.5);                          // below 0.8 h unchanged
  EXPECT_NEAR(step(0.8 * h), 0.8 * h, 1e-15);         // continuous at 0.8 h
  EXPECT_NEAR(step(2.0), h * (1 - 0.2 * std::exp(0.8 - 2.0 / h)), 1e-15);
  EXPECT_EQ(step(100.0), h);                          // beyond 50 h: h
  EXPECT_LT(step(1e6), 1.0);
  // At the upper bound with a positive step: stays there.
  const double xa[1] = {1};
  double lm = 1.0, d[1] = {3}, out[1];
  BNDSTP(2, 1, 1, xa, lm, 0, c1, d, out, big, l1, u1);
  EXPECT_EQ(out[0], 1.0);
  // In place (XNEW = X), toward the lower bound.
  double xi[1] = {0};
  const double dn[1] = {-1e3};
  lm = 1.0;
  BNDSTP(2, 1, 1, xi, lm, 0, c1, dn, xi, big, l1, u1);
  EXPECT_NEAR(xi[0], -0.99 * 5, 1e-12);
  lm = 1.0;
  BNDSTP(3, 1, 1, xi, lm, 0, c1, dn, xi, big, l1, u1);  // other modes: nothing
  EXPECT_NEAR(xi[0], -0.99 * 5, 1e-12);
}

}  // namespace
