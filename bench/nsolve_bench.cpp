// ORVK_NSOLVE on the Broyden tridiagonal system: sparse storage (the sparse
// LU package) against dense storage (the bounded QP step) of the same
// solver, one whole run per iteration; the ratio dense/sparse is printed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "orvika/nsolve.h"
#include "orvika/sparselu.h"

namespace {

// One run from x0 = -1 to RMS <= 1e-10; returns the final code.
IWORD run(IWORD n, IWORD istor) {
  const IWORD im = -999999;
  const double rmiss = 1e35;
  std::vector<IWORD> irn, icn;
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD j = (i > 1 ? i - 1 : 1); j <= (i < n ? i + 1 : n); ++j) {
      irn.push_back(i);
      icn.push_back(j);
    }
  IWORD nz = istor == 1 ? static_cast<IWORD>(irn.size()) : n * n;
  std::vector<double> x(n, -1.0), xub(n, 1e10), xlb(n, -1e10), dxub(n, 1e10), xbest(n), f(n);
  std::vector<double> bj(nz), rs(n, 1.0), cs(n, 1.0), bwork(2 * n + nz), work(7 * n), fe(1);
  std::vector<IWORD> irnum(n), ilist(n + 10), imap(n + 2, 0);
  for (IWORD i = 0; i < n; ++i) irnum[i] = i + 1;
  IWORD lwork = istor == 1 ? 40 * (n + nz) + 400 : 11 * n + 2 * n * n;
  std::vector<IWORD> ws(lwork);
  double tol = 1e-10, divbnd = rmiss, stptol = rmiss, trfac = rmiss, rmserr, rms0;
  IWORD maxit = 100, maxbnd = im, maxdiv = 50, iter, iter0 = im, nlead = im, lsrch = 0,
        ireuse = im, istpts = 0, idupck = 0, iprint = 0, jupdt = 1, irscl = 0, icscl = 0,
        iout = 6, iterm = 0, icode = 0, zero = 0;
  auto fun = [&] {
    for (IWORD i = 0; i < n; ++i)
      f[i] = (3.0 - 2.0 * x[i]) * x[i] - (i > 0 ? x[i - 1] : 0.0) - 2.0 * (i + 1 < n ? x[i + 1] : 0.0) + 1.0;
  };
  auto jac = [&] {
    if (istor == 1) {
      for (std::size_t k = 0; k < irn.size(); ++k)
        bj[k] = irn[k] == icn[k] ? 3.0 - 4.0 * x[irn[k] - 1] : (icn[k] < irn[k] ? -1.0 : -2.0);
    } else {
      for (double& v : bj) v = 0.0;
      for (IWORD i = 0; i < n; ++i) {
        bj[i + n * i] = 3.0 - 4.0 * x[i];
        if (i > 0) bj[i + n * (i - 1)] = -1.0;
        if (i + 1 < n) bj[i + n * (i + 1)] = -2.0;
      }
    }
  };
  for (int calls = 0; calls < 1000; ++calls) {
    ORVK_NSOLVE(&n, &nz, &zero, &zero, &zero, x.data(), xub.data(), xlb.data(), dxub.data(),
                xbest.data(), f.data(), irn.data(), icn.data(), bj.data(), irnum.data(),
                imap.data(), imap.data(), imap.data(), imap.data(), imap.data(), fe.data(),
                rs.data(), cs.data(), bwork.data(), work.data(), ilist.data(),
                reinterpret_cast<double*>(ws.data()), ws.data(), &tol, &divbnd, &stptol, &trfac,
                &rmserr, &rms0, &rmiss, &lwork, &maxit, &maxbnd, &maxdiv, &iter, &iter0, &nlead,
                &lsrch, &ireuse, &istpts, &idupck, &iprint, &jupdt, &irscl, &icscl, &istor, &im,
                &iout, &iterm, &icode);
    if (icode <= 0) break;
    if (icode <= 5) fun();
    else jac();
  }
  return icode;
}

void setup() {
  ORVK_SPARMI.INTRAT = 1;
  ORVK_INITSP();
}

void BM_NsolveSparse(benchmark::State& st) {
  setup();
  for (auto _ : st) benchmark::DoNotOptimize(run(st.range(0), 1));
}
void BM_NsolveDense(benchmark::State& st) {
  setup();
  for (auto _ : st) benchmark::DoNotOptimize(run(st.range(0), 2));
}
BENCHMARK(BM_NsolveSparse)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NsolveDense)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);

// Prints dense/sparse time ratios after the runs.
struct Ratio {
  ~Ratio() {
    setup();
    for (IWORD n : {50, 200}) {
      auto time = [n](IWORD istor) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int k = 0; k < 5; ++k) run(n, istor);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      };
      const double ts = time(1), td = time(2);
      std::printf("N = %ld: dense / sparse time ratio %.1f\n", static_cast<long>(n), td / ts);
    }
  }
} ratio;

}  // namespace

BENCHMARK_MAIN();
