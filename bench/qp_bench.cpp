// Dense KKT solver LDLTBK and the packed solve ORVK_SSOLVE against their
// LAPACK peers (dsptrf/dsptrs: packed Bunch-Kaufman; dppsv: packed Cholesky).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "orvika/qp.h"
#include "qp/qp.hpp"

#ifdef ORVIKA_HAVE_LAPACK
extern "C" {
void dsptrf_(const char* uplo, const int* n, double* ap, int* ipiv, int* info, size_t);
void dsptrs_(const char* uplo, const int* n, const int* nrhs, const double* ap, const int* ipiv,
             double* b, const int* ldb, int* info, size_t);
void dppsv_(const char* uplo, const int* n, const int* nrhs, double* ap, double* b,
            const int* ldb, int* info, size_t);
}
#endif

namespace {

// Packed lower triangle by rows of a symmetric matrix (SPD when SPD is set);
// the same words are the upper triangle by columns (LAPACK "U" packing).
std::vector<double> packed(int n, bool spd) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<double> p;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= i; ++j) p.push_back(i == j ? (spd ? 2.0 * n : u(rng)) : u(rng));
  return p;
}

void BM_LDLTBK(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  const std::vector<double> a0 = packed(n, false);
  std::vector<double> a, b(n);
  std::vector<IWORD> iswap(2 * n), ipiv(n);
  std::vector<double> dwork(n);
  for (auto _ : st) {
    a = a0;
    std::fill(b.begin(), b.end(), 1.0);
    IWORD ising = 0;
    orvika::LDLTBK(a.data(), n, b.data(), 1, n, 0, iswap.data(), dwork.data(), ipiv.data(), ising,
                   0, 0);
    benchmark::DoNotOptimize(b.data());
  }
}
BENCHMARK(BM_LDLTBK)->Arg(50)->Arg(200)->Arg(500);

void BM_SSOLVE(benchmark::State& st) {
  const IWORD n = st.range(0), ip = 0;
  const std::vector<double> a = packed(static_cast<int>(n), true);
  std::vector<double> b(n, 1.0), x(n);
  for (auto _ : st) {
    ORVK_NLPINT[ORVK_NLPINT_SSMODE - 1] = 0;
    ORVK_SSOLVE(&n, a.data(), b.data(), x.data(), &ip);
    benchmark::DoNotOptimize(x.data());
  }
}
BENCHMARK(BM_SSOLVE)->Arg(50)->Arg(200);

#ifdef ORVIKA_HAVE_LAPACK
void BM_dsptrf_dsptrs(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0)), one = 1;
  const std::vector<double> a0 = packed(n, false);
  std::vector<double> a, b(n);
  std::vector<int> ipiv(n);
  for (auto _ : st) {
    a = a0;
    std::fill(b.begin(), b.end(), 1.0);
    int info = 0;
    dsptrf_("U", &n, a.data(), ipiv.data(), &info, 1);
    dsptrs_("U", &n, &one, a.data(), ipiv.data(), b.data(), &n, &info, 1);
    benchmark::DoNotOptimize(b.data());
  }
}
BENCHMARK(BM_dsptrf_dsptrs)->Arg(50)->Arg(200)->Arg(500);

void BM_dppsv(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0)), one = 1;
  const std::vector<double> a0 = packed(n, true);
  std::vector<double> a, b(n);
  for (auto _ : st) {
    a = a0;
    std::fill(b.begin(), b.end(), 1.0);
    int info = 0;
    dppsv_("U", &n, &one, a.data(), b.data(), &n, &info, 1);
    benchmark::DoNotOptimize(b.data());
  }
}
BENCHMARK(BM_dppsv)->Arg(50)->Arg(200);
#endif

}  // namespace

BENCHMARK_MAIN();
