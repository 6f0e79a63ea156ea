// Every factor-and-solve method on general sparse matrices ordered by the
// package's own spike orderings: random unsymmetric patterns and the real
// matrices of the shared collection.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>

#include "sparselu/lu_methods_util.hpp"
#include "support/capture.hpp"
#include "support/mtx.hpp"

namespace {

using namespace lmtest;

// Row form (columns ascending, repeats summed) of N x N triplets.
Problem from_triplets(IWORD n, const std::vector<IWORD>& ri, const std::vector<IWORD>& ci,
                      const std::vector<double>& v) {
  std::vector<std::map<IWORD, double>> rows(static_cast<std::size_t>(n + 1));
  for (std::size_t k = 0; k < v.size(); ++k) rows[static_cast<std::size_t>(ri[k])][ci[k]] += v[k];
  Problem p;
  p.n = n;
  p.irp.push_back(1);
  for (IWORD r = 1; r <= n; ++r) {
    for (auto [c, a] : rows[static_cast<std::size_t>(r)]) {
      p.ici.push_back(c);
      p.a.push_back(a);
    }
    p.irp.push_back(static_cast<IWORD>(p.ici.size()) + 1);
  }
  return p;
}

// Orders P with TALLY (ORDOPT); false when the ordering refuses it.
bool order(Problem& p, IWORD ordopt) {
  const IWORD n = p.n;
  IWORD nz = p.nz();
  std::vector<IWORD> irp = p.irp, ici = p.ici;
  std::vector<double> a = p.a;
  ici.resize(static_cast<std::size_t>(nz + n), 0);
  a.resize(ici.size(), 0.0);
  std::vector<double> b(static_cast<std::size_t>(n), 0.0);
  std::vector<IWORD> iorn(static_cast<std::size_t>(n + 1)), w18(static_cast<std::size_t>(n + 2)),
      w28(static_cast<std::size_t>(4 * n + 1)), w34(static_cast<std::size_t>(nz + n)),
      w39(static_cast<std::size_t>(n + 1)), w40(static_cast<std::size_t>(n), 1),
      w41(static_cast<std::size_t>(n), 1);
  for (IWORD i = 1; i <= n; ++i) iorn[i - 1] = i;
  ORVK_SPOPT2_T opt{};
  opt.CHKMODE = 3;
  IWORD ierr = 0;
  orvika::TALLY(n, nz, 0, iv(irp), iv(ici), rv(a), rv(b), 1, iv(iorn), iv(w18), iv(w28), iv(w34),
                ordopt, opt, iv(w39), iv(w40), iv(w41), ierr);
  if (ierr < 0 || nz != p.nz()) {
    std::string pat;
    for (IWORD r = 1; r <= n; ++r) {
      pat += " [";
      for (IWORD k = p.irp[r - 1]; k < p.irp[r]; ++k) pat += " " + std::to_string(p.ici[k - 1]);
      pat += " ]";
    }
    std::printf("note: TALLY ordering %lld refused a nonsingular pattern (IERR %lld):%s\n",
                static_cast<long long>(ordopt), static_cast<long long>(ierr), n <= 8 ? pat.c_str() : "");
    return false;
  }
  p.iorn.assign(iorn.begin(), iorn.begin() + n);
  p.w18.assign(w18.begin(), w18.begin() + n);
  p.w39.assign(w39.begin(), w39.begin() + n);
  return true;
}

// Runs methods 1 to 7 on P with right-hand sides B (2 columns) and checks
// the backward error of each solution; the re-solves reproduce their
// factoring calls.  Room is doubled until the factors fit.
void solve_every_method(const Problem& p, const std::vector<double>& b, double tol,
                        const std::string& lab) {
  const IWORD n = p.n;
  Opts o;
  o.pivtl1 = o.pivtl2 = tol;
  auto check = [&](const Result& r, const std::string& what) {
    for (IWORD k = 0; k < 2; ++k)
      EXPECT_LT(scaled_residual(n, p.irp.data(), p.ici.data(), p.a.data(), r.x.data() + k * n,
                                b.data() + k * n),
                scaled_bound(1e-12, n))
          << what << " " << lab << " rhs " << k + 1;
  };
  IWORD room = 0;  // the room of the last successful call
  auto roomy = [&](auto run) {
    Opts oo = o;
    oo.maxa = 4 * p.nz() + 4 * n;
    for (int t = 0;; ++t) {
      oo.lowmax = oo.maxa;
      Result r = run(oo);
      if ((r.ierr != orvika::kSpNoRoom && r.ierr != orvika::kSpNoRoomL) || t == 6) {
        room = oo.maxa;
        return r;
      }
      oo.maxa *= 2;
    }
  };
  const Result m1 = roomy([&](const Opts& oo) { return run_rows(p, b, 2, oo, false); });
  ASSERT_EQ(m1.ierr, 0) << "method 1 " << lab;
  check(m1, "method 1");
  // Method 2 with method 1's room: fails only when the U factor outgrows
  // the block saves (NZ entries), without writing past them.
  Opts o2 = o;
  o2.maxa = o2.lowmax = room;
  Result m2 = run_rows(p, b, 2, o2, true);
  for (int t = 0; m2.ierr == orvika::kSpNoRoomL && t < 6; ++t) {
    o2.lowmax *= 2;
    m2 = run_rows(p, b, 2, o2, true);
  }
  if (m2.ierr == orvika::kSpNoRoom) {
    const std::size_t nz = static_cast<std::size_t>(p.nz());
    for (std::size_t k = nz; k < m2.w50.size(); ++k) {
      EXPECT_EQ(m2.w50[k], -7.0) << lab;
      EXPECT_EQ(m2.w51[k], -7) << lab;
    }
    std::printf("note: %s: method 2 factors exceed the block saves of NZ = %lld entries\n",
                lab.c_str(), static_cast<long long>(p.nz()));
  } else {
    ASSERT_EQ(m2.ierr, 0) << "method 2 " << lab;
    EXPECT_TRUE(same_bits(m2.x, m1.x, 2 * n)) << lab;
    const Result m3 = run_m3(m2, n, b, 2);
    ASSERT_EQ(m3.ierr, 0) << lab;
    EXPECT_TRUE(same_bits(m3.x, m2.x, 2 * n)) << "method 3 " << lab;
  }
  const Result m4 = roomy([&](const Opts& oo) { return run_cbs(p, b, 2, oo, false); });
  ASSERT_EQ(m4.ierr, 0) << "method 4 " << lab;
  check(m4, "method 4");
  for (IWORD cbsrow : {n, IWORD{0}}) {
    const Result m5 = roomy([&](const Opts& oo) {
      Opts o5 = oo;
      o5.cbsrow = cbsrow;
      return run_cbs(p, b, 2, o5, true);
    });
    ASSERT_EQ(m5.ierr, 0) << "method 5 " << lab;
    check(m5, "method 5 cbsrow " + std::to_string(cbsrow));
    const Result m6 = run_m6(m5, n, b, 2);
    ASSERT_EQ(m6.ierr, 0) << lab;
    EXPECT_TRUE(same_bits(m6.x, m5.x, 2 * n)) << "method 6 " << lab;
  }
  // Method 7 takes its fill-row pivots above PIVTL2 times the row's
  // largest entry: a small value lets the fill rows grow.
  const Result m7 = roomy([&](const Opts& oo) {
    Opts o7 = oo;
    o7.pivtl2 = 0.5;
    return run_m7(p, b, 2, o7);
  });
  ASSERT_EQ(m7.ierr, 0) << "method 7 " << lab;
  check(m7, "method 7");
}

TEST(SpLuMethodsOrdered, RandomPatternsWithTallyOrders) {
  std::mt19937_64 rng(4242);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (IWORD n : {1, 2, 6, 25, 90, 250})
    for (double dens : {1.5, 4.0})
      for (IWORD ordopt : {1, 2, 3, 4}) {
        // A random pattern with a zero-free diagonal (structurally
        // nonsingular), rows made dominant so every order is stable.
        std::vector<IWORD> ri, ci;
        std::vector<double> v;
        std::poisson_distribution<int> P(dens);
        std::uniform_int_distribution<IWORD> J(1, n);
        for (IWORD r = 1; r <= n; ++r) {
          double s = 0.0;
          const int cnt = P(rng);
          for (int t = 0; t < cnt; ++t) {
            const IWORD c = J(rng);
            if (c == r) continue;
            ri.push_back(r);
            ci.push_back(c);
            v.push_back(U(rng));
            s += std::fabs(v.back());
          }
          ri.push_back(r);
          ci.push_back(r);
          v.push_back((U(rng) < 0 ? -1.0 : 1.0) * (s + 0.5));
        }
        Problem p = from_triplets(n, ri, ci, v);
        const std::string lab = "n=" + std::to_string(n) + " dens=" + std::to_string(dens) +
                                " ordopt=" + std::to_string(ordopt);
        if (!order(p, ordopt)) continue;
        solve_every_method(p, random_rhs(rng, n, 2), 0.1, lab);
      }
}

TEST(SpLuMethodsOrdered, SharedMatrices) {
  const std::string dir = orvika_test::matrix_dir();
  if (dir.empty()) GTEST_SKIP() << "shared matrices not found";
  std::mt19937_64 rng(9);
  for (const char* name : {"west0479", "west0989", "bp_200", "rdb1250l", "orani678"}) {
    orvika_test::Triplets t;
    std::string msg;
    ASSERT_TRUE(orvika_test::read_mtx(dir + "/" + name + ".mtx", t, &msg)) << msg;
    Problem p = from_triplets(t.n, t.row, t.col, t.val);
    ASSERT_TRUE(order(p, 4)) << name;
    // b = A x for a known x of moderate size.
    std::vector<double> x(static_cast<std::size_t>(2 * p.n));
    std::uniform_real_distribution<double> U(0.5, 1.5);
    for (auto& e : x) e = U(rng);
    std::vector<double> b = matvec(p, x.data());
    const auto b2 = matvec(p, x.data() + p.n);
    b.insert(b.end(), b2.begin(), b2.end());
    solve_every_method(p, b, 0.1, name);
  }
}

}  // namespace
