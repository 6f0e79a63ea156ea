// Dense solvers against reference LAPACK: ORVK_LUFACT + ORVK_LUSBST and
// ORVK_LINEQ against dgetrf + dgetrs, ORVK_INVERT against dgetrf + dgetri,
// on random matrices of order 10, 50, 200 and 1000.  Each case copies the
// matrix first (the routines overwrite it), the peer as well.  The ratio
// library/peer of the mean real times is printed at the end.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

#include "bench_util.hpp"
#include "orvika/kernels_dense.h"

#ifdef ORVIKA_HAVE_LAPACK
extern "C" {
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda,
             const int* ipiv, double* b, const int* ldb, int* info, std::size_t trans_len);
void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work,
             const int* lwork, int* info);
}
#endif

namespace {

struct Problem {
  IWORD n;
  std::vector<double> a, b;
  explicit Problem(IWORD order) : n(order), a(order * order), b(order) {
    std::mt19937_64 gen(42 + order);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (auto& v : a) v = u(gen);
    for (auto& v : b) v = u(gen);
  }
};

void BM_Lufact(benchmark::State& st) {
  const Problem p(st.range(0));
  const IWORD n = p.n;
  std::vector<double> a(p.a.size()), x(n);
  std::vector<IWORD> ipvt(n);
  const double tol = 0.0;
  IWORD ifail = 0;
  for (auto _ : st) {
    a = p.a;
    ORVK_LUFACT(&n, &n, a.data(), ipvt.data(), &ifail, &tol);
    ORVK_LUSBST(&n, &n, p.b.data(), ipvt.data(), a.data(), x.data());
    benchmark::DoNotOptimize(x.data());
  }
  if (ifail != 0) st.SkipWithError("factorisation failed");
}

void BM_Lineq(benchmark::State& st) {
  const Problem p(st.range(0));
  const IWORD n = p.n;
  std::vector<double> a(p.a.size()), b(n);
  std::vector<IWORD> w(n);
  for (auto _ : st) {
    a = p.a;
    b = p.b;
    ORVK_LINEQ(a.data(), &n, &n, b.data(), w.data());
    benchmark::DoNotOptimize(b.data());
  }
}

void BM_Invert(benchmark::State& st) {
  const Problem p(st.range(0));
  const IWORD n = p.n;
  std::vector<double> a(p.a.size()), aug(2 * n * n), work(2 * n * n), piv(n);
  std::vector<IWORD> ir(n), ic(n);
  const double tol = 0.0;
  IWORD ierr = 0;
  for (auto _ : st) {
    a = p.a;
    ORVK_INVERT(a.data(), &n, a.data(), &ierr, ir.data(), ic.data(), aug.data(), piv.data(),
                work.data(), &n, nullptr, &tol);
    benchmark::DoNotOptimize(a.data());
  }
  if (ierr != 0) st.SkipWithError("inversion failed");
}

#ifdef ORVIKA_HAVE_LAPACK
void BM_Dgetrf_Dgetrs(benchmark::State& st) {
  const Problem p(st.range(0));
  const int n = static_cast<int>(p.n), one = 1;
  std::vector<double> a(p.a.size()), b(n);
  std::vector<int> ipiv(n);
  int info = 0;
  for (auto _ : st) {
    a = p.a;
    b = p.b;
    dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
    dgetrs_("N", &n, &one, a.data(), &n, ipiv.data(), b.data(), &n, &info, 1);
    benchmark::DoNotOptimize(b.data());
  }
  if (info != 0) st.SkipWithError("dgetrf/dgetrs failed");
}

void BM_Dgetrf_Dgetri(benchmark::State& st) {
  const Problem p(st.range(0));
  const int n = static_cast<int>(p.n);
  const int lwork = 64 * n;
  std::vector<double> a(p.a.size()), work(lwork);
  std::vector<int> ipiv(n);
  int info = 0;
  for (auto _ : st) {
    a = p.a;
    dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
    dgetri_(&n, a.data(), &n, ipiv.data(), work.data(), &lwork, &info);
    benchmark::DoNotOptimize(a.data());
  }
  if (info != 0) st.SkipWithError("dgetrf/dgetri failed");
}
#endif

void sizes(benchmark::internal::Benchmark* b) {
  for (int n : {10, 50, 200, 1000}) b->Arg(n);
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_Lufact)->Apply(sizes);
BENCHMARK(BM_Lineq)->Apply(sizes);
BENCHMARK(BM_Invert)->Apply(sizes);
#ifdef ORVIKA_HAVE_LAPACK
BENCHMARK(BM_Dgetrf_Dgetrs)->Apply(sizes);
BENCHMARK(BM_Dgetrf_Dgetri)->Apply(sizes);
#endif

}  // namespace

int main(int argc, char** argv) {
  orvika_bench::RatioReporter rep;
  orvika_bench::run_all(argc, argv, rep);
#ifdef ORVIKA_HAVE_LAPACK
  const std::pair<const char*, const char*> pairs[] = {{"BM_Lufact", "BM_Dgetrf_Dgetrs"},
                                                       {"BM_Lineq", "BM_Dgetrf_Dgetrs"},
                                                       {"BM_Invert", "BM_Dgetrf_Dgetri"}};
  std::printf("\nratio library / LAPACK (mean real time):\n");
  for (const auto& [mine, peer] : pairs)
    for (int n : {10, 50, 200, 1000})
      if (double r; rep.ratio(mine, peer, n, r))
        std::printf("  %-18s vs %-18s N=%5d  %6.2f\n", mine, peer, n, r);
#else
  std::printf("LAPACK not found: no reference ratios\n");
#endif
  return 0;
}
