// Orderings of the sparse LU package on the shared real matrices: block
// triangularisation (BLOCK), the spike orderings (TALLY 1-4) and P4, each
// beside SuiteSparse BTF (maximum transversal and strong components) when it
// is present.  The counter "ratio" is our time over BTF's on the same pattern.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/support/mtx.hpp"
#include "sparselu/sparselu.hpp"

#ifdef ORVIKA_HAVE_SUITESPARSE
#include <btf.h>
#endif

namespace {

using orvika::IV;
using orvika::RV;

struct Pattern {
  IWORD n = 0, nz = 0;
  std::vector<IWORD> irp, ici;
};

// Row form of a shared matrix, repeated entries merged, columns ascending.
const Pattern* load(const std::string& name) {
  static std::vector<std::pair<std::string, Pattern>> cache;
  for (auto& [k, p] : cache)
    if (k == name) return &p;
  const std::filesystem::path path = std::filesystem::path(ORVIKA_MATRIX_DIR) / name;
  orvika_test::Triplets t;
  if (!orvika_test::read_mtx(path.string(), t)) return nullptr;
  std::vector<std::vector<IWORD>> rows(static_cast<std::size_t>(t.n));
  for (IWORD k = 0; k < t.nz(); ++k) rows[t.row[k] - 1].push_back(t.col[k]);
  Pattern p;
  p.n = t.n;
  p.irp.push_back(1);
  for (auto& r : rows) {
    std::sort(r.begin(), r.end());
    r.erase(std::unique(r.begin(), r.end()), r.end());
    p.ici.insert(p.ici.end(), r.begin(), r.end());
    p.irp.push_back(static_cast<IWORD>(p.ici.size()) + 1);
  }
  p.nz = static_cast<IWORD>(p.ici.size());
  cache.emplace_back(name, std::move(p));
  return &cache.back().second;
}

// One ordering run on fresh copies of the pattern (artificial entries may be added).
IWORD order_once(const Pattern& p, IWORD ordopt) {
  const IWORD n = p.n;
  std::vector<IWORD> irp = p.irp, ici = p.ici, iorn(n + 1), w18(n + 2), w28(4 * n + 1), w34(p.nz + n),
                     w39(n + 1), w40(n, 1), w41(n, 1);
  ici.resize(static_cast<std::size_t>(p.nz + n));
  std::vector<double> a(ici.size(), 1.0), b(2 * n, 1.0);
  for (IWORD i = 1; i <= n; ++i) iorn[i - 1] = i;
  ORVK_SPOPT2_T opt{};
  opt.CHKMODE = 3;
  IWORD nz = p.nz, ierr = 0;
  IV IRP(irp.data(), n + 1), ICI(ici.data(), static_cast<IWORD>(ici.size())), IORN(iorn.data(), n + 1),
      W18(w18.data(), n + 2), W28(w28.data(), 4 * n + 1), W34(w34.data(), p.nz + n), W39(w39.data(), n + 1),
      W40(w40.data(), n), W41(w41.data(), n);
  RV A(a.data(), static_cast<IWORD>(a.size())), B(b.data(), 2 * n);
  if (ordopt == 0) {
    orvika::BLOCK(n, ICI, nz, 0, IRP, A, B, 1, W28.sub(1, n), IORN, W28.sub(3 * n + 1, n), W39, W28.sub(n + 1, n),
                  W28.sub(2 * n + 1, n), W40, W41, ierr, opt);
  } else if (ordopt == 5) {
    orvika::P4(n, nz, 0, IRP, ICI, A, B, 1, W18, IORN, W39, W28, W34, W40, W41, opt, ierr);
  } else {
    orvika::TALLY(n, nz, 0, IRP, ICI, A, B, 1, IORN, W18, W28, W34, ordopt, opt, W39, W40, W41, ierr);
  }
  return ierr;
}

#ifdef ORVIKA_HAVE_SUITESPARSE
// BTF on the pattern read as a column-form matrix (the transpose: same cost).
SuiteSparse_long btf_once(const Pattern& p) {
  const SuiteSparse_long n = p.n;
  std::vector<SuiteSparse_long> ap(p.irp.begin(), p.irp.end()), ai(p.ici.begin(), p.ici.end());
  for (auto& v : ap) --v;
  for (auto& v : ai) --v;
  std::vector<SuiteSparse_long> P(n), Q(n), R(n + 1), work(5 * n);
  double w = 0.0;
  SuiteSparse_long nmatch = 0;
  return btf_l_order(n, ap.data(), ai.data(), 0.0, &w, P.data(), Q.data(), R.data(), &nmatch, work.data());
}
#endif

void BM_Ordering(benchmark::State& state, const char* name, IWORD ordopt) {
  const Pattern* p = load(name);
  if (!p) {
    state.SkipWithError("shared matrix not found");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(order_once(*p, ordopt));
#ifdef ORVIKA_HAVE_SUITESPARSE
  const int reps = 20;
  auto t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < reps; ++k) benchmark::DoNotOptimize(order_once(*p, ordopt));
  auto t1 = std::chrono::steady_clock::now();
  for (int k = 0; k < reps; ++k) benchmark::DoNotOptimize(btf_once(*p));
  auto t2 = std::chrono::steady_clock::now();
  state.counters["ratio"] = std::chrono::duration<double>(t1 - t0).count() /
                            std::max(1e-12, std::chrono::duration<double>(t2 - t1).count());
#endif
}

#ifdef ORVIKA_HAVE_SUITESPARSE
void BM_Btf(benchmark::State& state, const char* name) {
  const Pattern* p = load(name);
  if (!p) {
    state.SkipWithError("shared matrix not found");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(btf_once(*p));
}
#endif

#define ORDER_CASES(M)                                                      \
  BENCHMARK_CAPTURE(BM_Ordering, M##_block, #M ".mtx", 0);                  \
  BENCHMARK_CAPTURE(BM_Ordering, M##_tally2, #M ".mtx", 2);                 \
  BENCHMARK_CAPTURE(BM_Ordering, M##_tally4, #M ".mtx", 4);                 \
  BENCHMARK_CAPTURE(BM_Ordering, M##_p4, #M ".mtx", 5);

ORDER_CASES(west0479)
ORDER_CASES(west0989)
ORDER_CASES(bp_200)
ORDER_CASES(rdb1250l)
ORDER_CASES(orani678)
#ifdef ORVIKA_HAVE_SUITESPARSE
BENCHMARK_CAPTURE(BM_Btf, west0479, "west0479.mtx");
BENCHMARK_CAPTURE(BM_Btf, orani678, "orani678.mtx");
#endif

}  // namespace

int main(int argc, char** argv) {
#ifndef NDEBUG
  std::fprintf(stderr, "warning: benchmarks built without optimisation (not Release)\n");
#endif
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
