// Vector kernels against the reference BLAS: ORVK_DINNER vs ddot,
// ORVK_VRADD (y := a*x + y) vs daxpy, ORVK_AP2NRM vs dnrm2.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "orvika/kernels_vector.h"

extern "C" {
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
void daxpy_(const int* n, const double* a, const double* x, const int* incx, double* y,
            const int* incy);
double dnrm2_(const int* n, const double* x, const int* incx);
}

namespace {

struct Data {
  std::vector<double> x, y;
  explicit Data(std::size_t n) : x(n), y(n) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> u(-1, 1);
    for (auto& v : x) v = u(rng);
    for (auto& v : y) v = u(rng);
  }
};

void BM_DINNER(benchmark::State& st) {
  Data d(st.range(0));
  IWORD n = st.range(0), z = 0;
  for (auto _ : st) benchmark::DoNotOptimize(ORVK_DINNER(&n, &z, d.x.data(), &z, d.y.data()));
  st.SetBytesProcessed(st.iterations() * n * 16);
}
void BM_ddot(benchmark::State& st) {
  Data d(st.range(0));
  int n = static_cast<int>(st.range(0)), one = 1;
  for (auto _ : st) benchmark::DoNotOptimize(ddot_(&n, d.x.data(), &one, d.y.data(), &one));
  st.SetBytesProcessed(st.iterations() * n * 16);
}
void BM_VRADD(benchmark::State& st) {
  Data d(st.range(0));
  IWORD n = st.range(0), z = 0;
  double a = 1e-9, b = 1.0;
  for (auto _ : st) {
    ORVK_VRADD(&n, &a, &z, d.x.data(), &b, &z, d.y.data(), &z, d.y.data());
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(st.iterations() * n * 24);
}
void BM_daxpy(benchmark::State& st) {
  Data d(st.range(0));
  int n = static_cast<int>(st.range(0)), one = 1;
  double a = 1e-9;
  for (auto _ : st) {
    daxpy_(&n, &a, d.x.data(), &one, d.y.data(), &one);
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(st.iterations() * n * 24);
}
void BM_AP2NRM(benchmark::State& st) {
  Data d(st.range(0));
  IWORD n = st.range(0), z = 0;
  for (auto _ : st) benchmark::DoNotOptimize(ORVK_AP2NRM(&n, &z, d.x.data()));
  st.SetBytesProcessed(st.iterations() * n * 8);
}
void BM_dnrm2(benchmark::State& st) {
  Data d(st.range(0));
  int n = static_cast<int>(st.range(0)), one = 1;
  for (auto _ : st) benchmark::DoNotOptimize(dnrm2_(&n, d.x.data(), &one));
  st.SetBytesProcessed(st.iterations() * n * 8);
}

#define SIZES ->Arg(1000)->Arg(100000)->Arg(10000000)
BENCHMARK(BM_DINNER) SIZES;
BENCHMARK(BM_ddot) SIZES;
BENCHMARK(BM_VRADD) SIZES;
BENCHMARK(BM_daxpy) SIZES;
BENCHMARK(BM_AP2NRM) SIZES;
BENCHMARK(BM_dnrm2) SIZES;

}  // namespace

BENCHMARK_MAIN();
