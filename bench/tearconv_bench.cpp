// Bounded Newton step ORVK_NEWTDX: double against binary128 path, with 0%,
// 30% and 70% of the bounds active; and the unconstrained step against
// LAPACK dposv (Cholesky) on the same normal matrix.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "orvika/host.h"
#include "orvika/tearconv_newton.h"
#include "tearconv/quadpr.hpp"

#ifdef ORVIKA_HAVE_LAPACK
extern "C" {
void dposv_(const char* uplo, const int* n, const int* nrhs, double* a, const int* lda, double* b,
            const int* ldb, int* info, size_t uplo_len);
void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* beta, double* c, const int* ldc,
            size_t uplo_len, size_t trans_len);
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, size_t trans_len);
}
#endif

namespace {

using Vec = std::vector<double>;

// A Newton problem of order N whose unconstrained step d* is known
// (F = -J d*, d* of magnitude ~1); for PCT percent of the variables the
// bound on the side of d*(i) is put at half of it, the rest are wide.
struct Problem {
  IWORD n;
  Vec x, f, xlow, xhigh, ajac;
};

Problem make_problem(IWORD n, int pct) {
  std::mt19937_64 rng(1000 + n + pct);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  Problem p;
  p.n = n;
  p.ajac.resize(n * n);
  for (double& v : p.ajac) v = U(rng);
  for (IWORD i = 0; i < n; ++i) p.ajac[i + i * n] += 2.0 * std::sqrt(double(n));
  Vec d(n);
  for (double& v : d) v = U(rng);
  p.f.assign(n, 0.0);
  for (IWORD i = 0; i < n; ++i)
    for (IWORD k = 0; k < n; ++k) p.f[k] -= p.ajac[k + i * n] * d[i];
  p.x.assign(n, 0.0);
  p.xlow.assign(n, -10.0);
  p.xhigh.assign(n, 10.0);
  std::vector<IWORD> order(n);
  for (IWORD i = 0; i < n; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  for (IWORD k = 0; k < n * pct / 100; ++k) {
    const IWORD i = order[k];
    if (d[i] > 0) p.xhigh[i] = 0.5 * d[i];
    else p.xlow[i] = 0.5 * d[i];
  }
  return p;
}

struct Output {
  Vec dx, dlo, dhi, h, g, w;
  std::vector<IWORD> iperm;
  IWORD nfree = 0;
  explicit Output(IWORD n)
      : dx(n), dlo(n), dhi(n), h(n * n), g(n), w(3 * n), iperm(n) {}
};

void newtdx(const Problem& p, Output& o) {
  const IWORD mode = 0;
  double dwt = 0;
  ORVK_NEWTDX(&p.n, p.x.data(), p.f.data(), o.dx.data(), p.xlow.data(), p.xhigh.data(),
              o.dlo.data(), o.dhi.data(), p.ajac.data(), o.h.data(), o.g.data(), o.iperm.data(),
              &o.nfree, o.w.data(), &mode, &dwt);
}

// Largest violation of the optimality conditions of min 1/2 |F + J d|^2 over
// the box, scaled by |J'||J||d| + |J'||F|, in long double.
double kkt(const Problem& p, const Vec& d) {
  const IWORD n = p.n;
  std::vector<long double> r(n), ra(n);
  for (IWORD k = 0; k < n; ++k) {
    long double a = p.f[k], b = std::fabs(p.f[k]);
    for (IWORD i = 0; i < n; ++i) {
      a += (long double)p.ajac[k + i * n] * d[i];
      b += std::fabs((long double)p.ajac[k + i * n] * d[i]);
    }
    r[k] = a;
    ra[k] = b;
  }
  double worst = 0;
  for (IWORD i = 0; i < n; ++i) {
    long double gi = 0, sc = 1e-300L;
    for (IWORD k = 0; k < n; ++k) {
      gi += (long double)p.ajac[k + i * n] * r[k];
      sc += std::fabs((long double)p.ajac[k + i * n]) * ra[k];
    }
    const double g = double(gi / sc), lo = p.xlow[i] - p.x[i], hi = p.xhigh[i] - p.x[i];
    double v = d[i] < lo || d[i] > hi ? 1.0 : 0.0;
    if (d[i] == lo) v = std::max(v, -g);
    else if (d[i] == hi) v = std::max(v, g);
    else v = std::max(v, std::fabs(g));
    worst = std::max(worst, v);
  }
  return worst;
}

// ORVK_NEWTDX on N variables, PCT percent of bounds active, EXT = binary128.
void BM_Newtdx(benchmark::State& state) {
  const IWORD n = state.range(0);
  const int pct = static_cast<int>(state.range(1));
  const IWORD ext = state.range(2);
  const Problem p = make_problem(n, pct);
  Output o(n);
  VLK_DBGOUT[VLK_W_EXTPRC - 1] = ext;
  for (auto _ : state) {
    newtdx(p, o);
    benchmark::DoNotOptimize(o.dx.data());
  }
  VLK_DBGOUT[VLK_W_EXTPRC - 1] = 0;
  // Passes of the QP on the same data (the double solver; the binary128 one
  // prices identically up to rounding).
  Output q(n);
  newtdx(p, q);
  Vec h(q.h), x(n), w(3 * n);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = j + 1; i < n; ++i) h[i + j * n] = h[j + i * n];
  std::vector<IWORD> iperm(n);
  IWORD nfree = 0, passes = 0;
  double fobj = 0;
  orvika::quadpr_solve<double>(n, h.data(), n, q.g.data(), q.dlo.data(), q.dhi.data(), x.data(),
                               fobj, iperm.data(), nfree, w.data(), &passes);
  state.counters["passes"] = double(passes);
  state.counters["active"] = double(n - o.nfree);
  state.counters["kkt"] = kkt(p, o.dx);
}

void newtdx_args(benchmark::internal::Benchmark* b) {
  for (int ext : {0, 1})
    for (int n : {10, 100, 500})
      for (int pct : {0, 30, 70}) b->Args({n, pct, ext});
}
BENCHMARK(BM_Newtdx)->Apply(newtdx_args)->Unit(benchmark::kMillisecond)->MinTime(0.2);

#ifdef ORVIKA_HAVE_LAPACK
using Clock = std::chrono::steady_clock;
double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Unconstrained step: the library against LAPACK on the same normal matrix.
//   qp_over_dposv:       ORVK_QUADPR on H, G  /  dposv on H, G
//   newtdx_over_lapack:  ORVK_NEWTDX from J, F / dsyrk + dgemv + dposv from J, F
void BM_UnconstrainedVsDposv(benchmark::State& state) {
  const IWORD n = state.range(0);
  const int ni = static_cast<int>(n);
  const Problem p = make_problem(n, 0);
  Output o(n);
  newtdx(p, o);
  Vec hfull(o.h);
  for (IWORD j = 0; j < n; ++j)
    for (IWORD i = j + 1; i < n; ++i) hfull[i + j * n] = hfull[j + i * n];
  Vec h(n * n), b(n), x(n), w(3 * n), lo(n, -1e30), hi(n, 1e30);
  std::vector<IWORD> iperm(n);
  IWORD nfree = 0;
  double fobj = 0, tqp = 0, tpo = 0, tnd = 0, tlap = 0;
  const int one = 1;
  const double done = 1.0, dzero = 0.0, dmone = -1.0;
  int info = 0;
  for (auto _ : state) {
    h = hfull;
    auto t0 = Clock::now();
    ORVK_QUADPR(&n, h.data(), &n, o.g.data(), lo.data(), hi.data(), x.data(), &fobj,
                iperm.data(), &nfree, w.data());
    auto t1 = Clock::now();
    h = hfull;
    b = o.g;
    auto t2 = Clock::now();
    dposv_("U", &ni, &one, h.data(), &ni, b.data(), &ni, &info, 1);
    auto t3 = Clock::now();
    newtdx(p, o);
    auto t4 = Clock::now();
    dsyrk_("U", "T", &ni, &ni, &done, p.ajac.data(), &ni, &dzero, h.data(), &ni, 1, 1);
    dgemv_("T", &ni, &ni, &dmone, p.ajac.data(), &ni, p.f.data(), &one, &dzero, b.data(), &one,
           1);
    dposv_("U", &ni, &one, h.data(), &ni, b.data(), &ni, &info, 1);
    auto t5 = Clock::now();
    tqp += seconds(t1 - t0);
    tpo += seconds(t3 - t2);
    tnd += seconds(t4 - t3);
    tlap += seconds(t5 - t4);
    benchmark::DoNotOptimize(x.data());
    benchmark::DoNotOptimize(b.data());
  }
  double diff = 0, xmax = 0;
  for (IWORD i = 0; i < n; ++i) {
    diff = std::max(diff, std::fabs(o.dx[i] - b[i]));
    xmax = std::max(xmax, std::fabs(b[i]));
  }
  const double it = double(state.iterations());
  state.counters["qp_ms"] = 1e3 * tqp / it;
  state.counters["dposv_ms"] = 1e3 * tpo / it;
  state.counters["qp_over_dposv"] = tqp / tpo;
  state.counters["newtdx_ms"] = 1e3 * tnd / it;
  state.counters["lapack_ms"] = 1e3 * tlap / it;
  state.counters["newtdx_over_lapack"] = tnd / tlap;
  state.counters["rel_diff"] = diff / xmax;
  state.counters["info"] = info;
}
BENCHMARK(BM_UnconstrainedVsDposv)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
#ifndef NDEBUG
  std::fprintf(stderr, "warning: benchmark built without NDEBUG (not a Release build)\n");
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
