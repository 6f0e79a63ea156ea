// Compressed-row products against a plain CSR product: ORVK_SMVMUL and
// SSMVML (full rows and half storage) and SSMVPR against CSparse cs_gaxpy
// (y = A x with A in compressed columns, y cleared first) and a hand-written
// CSR loop, at nnz = 1e4 and 1e6 (10 entries per row, random columns).
// SSMVPR is also timed against its search form (for every row, every later
// row searched for the column), at nnz = 1e4 only.  The ratio
// library/peer of the mean real times is printed at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_util.hpp"
#include "kernels/sparse.hpp"
#include "orvika/kernels_sparse.h"
#include "support/sparse.hpp"

#ifdef ORVIKA_HAVE_SUITESPARSE
#include <cs.h>
#endif

namespace {

constexpr IWORD kPerRow = 10;

using orvika_test::Csr;

// Random n x n matrix with PER_ROW distinct ascending columns per row.
Csr random_square(IWORD n, IWORD per_row, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<IWORD> col(1, n);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  Csr m;
  m.n = m.ncol = n;
  std::vector<IWORD> cols;
  for (IWORD i = 1; i <= n; ++i) {
    cols.clear();
    while (static_cast<IWORD>(cols.size()) < std::min(per_row, n)) {
      IWORD c = col(rng);
      if (std::find(cols.begin(), cols.end(), c) == cols.end()) cols.push_back(c);
    }
    std::sort(cols.begin(), cols.end());
    for (IWORD c : cols) {
      m.ja.push_back(c);
      m.a.push_back(val(rng));
    }
    m.ia.push_back(static_cast<IWORD>(m.ja.size()) + 1);
  }
  return m;
}

// Symmetric matrix: its lower triangle (about PER_ROW/2 entries per row,
// diagonal included) and its full rows.
struct Sym {
  Csr lower, full;
};

Sym random_sym(IWORD n, IWORD per_row, unsigned seed) {
  Csr g = random_square(n, per_row / 2, seed);
  std::vector<std::vector<std::pair<IWORD, double>>> low(n), full(n);
  for (IWORD i = 1; i <= n; ++i) {
    low[i - 1].push_back({i, 4.0});
    for (IWORD k = g.ia[i - 1]; k < g.ia[i]; ++k) {
      IWORD c = g.ja[k - 1];
      if (c < i) low[i - 1].push_back({c, g.a[k - 1]});
    }
  }
  for (IWORD i = 1; i <= n; ++i)
    for (auto [c, v] : low[i - 1]) {
      full[i - 1].push_back({c, v});
      if (c != i) full[c - 1].push_back({i, v});
    }
  auto pack = [n](std::vector<std::vector<std::pair<IWORD, double>>>& rows) {
    Csr m;
    m.n = m.ncol = n;
    for (auto& r : rows) {
      std::sort(r.begin(), r.end());
      for (auto [c, v] : r) {
        m.ja.push_back(c);
        m.a.push_back(v);
      }
      m.ia.push_back(static_cast<IWORD>(m.ja.size()) + 1);
    }
    return m;
  };
  return {pack(low), pack(full)};
}

const Csr& general(IWORD nnz) {
  static std::map<IWORD, Csr> cache;
  auto it = cache.find(nnz);
  if (it == cache.end()) it = cache.emplace(nnz, random_square(nnz / kPerRow, kPerRow, 7)).first;
  return it->second;
}

const Sym& symmetric(IWORD nnz) {
  static std::map<IWORD, Sym> cache;
  auto it = cache.find(nnz);
  if (it == cache.end()) it = cache.emplace(nnz, random_sym(nnz / kPerRow, kPerRow, 11)).first;
  return it->second;
}

std::vector<double> ones_ish(IWORD n) {
  std::vector<double> x(n);
  for (IWORD i = 0; i < n; ++i) x[i] = 1.0 + 1e-3 * static_cast<double>(i % 17);
  return x;
}

// Times y = A x for the matrix M, the product formed by PRODUCT(m, x, y).
template <class Product>
void run_product(benchmark::State& st, const Csr& m, Product product) {
  const auto x = ones_ish(m.n);
  std::vector<double> y(m.n);
  for (auto _ : st) {
    product(m, x.data(), y.data());
    benchmark::DoNotOptimize(y.data());
  }
}

void BM_Smvmul(benchmark::State& st) {
  run_product(st, general(st.range(0)), [](const Csr& m, const double* x, double* y) {
    const IWORD i1 = 1, zero = 0;
    ORVK_SMVMUL(&m.n, &i1, &m.n, m.ia.data(), m.ja.data(), &zero, m.a.data(), &zero, x, &zero, y);
  });
}

void BM_CsrLoop(benchmark::State& st) {
  run_product(st, general(st.range(0)), [](const Csr& m, const double* x, double* y) {
    for (IWORD i = 0; i < m.n; ++i) {
      double s = 0.0;
      for (IWORD k = m.ia[i] - 1; k < m.ia[i + 1] - 1; ++k) s += m.a[k] * x[m.ja[k] - 1];
      y[i] = s;
    }
  });
}

// SSMVML on full rows (mode 1) or on the lower triangle (mode 2).
template <IWORD kMode>
void BM_Ssmvml(benchmark::State& st) {
  const Sym& sym = symmetric(st.range(0));
  run_product(st, kMode == 1 ? sym.full : sym.lower, [](const Csr& m, const double* x, double* y) {
    orvika::SSMVML(m.n, m.n, m.ia.data(), m.ja.data(), 0, m.a.data(), 0, x, 0, y, kMode);
  });
}
void BM_SsmvmlFull(benchmark::State& st) { BM_Ssmvml<1>(st); }
void BM_SsmvmlHalf(benchmark::State& st) { BM_Ssmvml<2>(st); }

void BM_Ssmvpr(benchmark::State& st) {
  run_product(st, symmetric(st.range(0)).lower, [](const Csr& m, const double* x, double* y) {
    orvika::SSMVPR(m.n, m.ia.data(), m.ja.data(), m.a.data(), x, y);
  });
}

// The search form: for each row i, every later row j is searched from its
// start for its first entry in column i.  O(N nnz).
void ssmvpr_search(IWORD n, const IWORD* ia, const IWORD* ja, const double* a, const double* x,
                   double* y) {
  for (IWORD i = 1; i <= n; ++i) {
    double s = 0.0;
    for (IWORD k = ia[i - 1]; k < ia[i]; ++k) s += a[k - 1] * x[ja[k - 1] - 1];
    for (IWORD j = i + 1; j <= n; ++j)
      for (IWORD k = ia[j - 1]; k < ia[j]; ++k)
        if (ja[k - 1] == i) {
          s += a[k - 1] * x[j - 1];
          break;
        }
    y[i - 1] = s;
  }
}

void BM_SsmvprSearch(benchmark::State& st) {
  run_product(st, symmetric(st.range(0)).lower, [](const Csr& m, const double* x, double* y) {
    ssmvpr_search(m.n, m.ia.data(), m.ja.data(), m.a.data(), x, y);
  });
}

#ifdef ORVIKA_HAVE_SUITESPARSE
void run_gaxpy(benchmark::State& st, const Csr& m) {
  // Compressed columns, 0-based, as CSparse takes them.
  const Csr c = orvika_test::to_csr(orvika_test::to_triplets(m), true);
  std::vector<SuiteSparse_long> p = orvika_test::zero_based<SuiteSparse_long>(c.ia),
                                i = orvika_test::zero_based<SuiteSparse_long>(c.ja);
  std::vector<double> v = c.a;
  cs_dl mat{};
  mat.nzmax = c.nnz();
  mat.m = m.n;
  mat.n = m.n;
  mat.p = p.data();
  mat.i = i.data();
  mat.x = v.data();
  mat.nz = -1;
  run_product(st, m, [&mat](const Csr& a, const double* x, double* y) {
    std::fill(y, y + a.n, 0.0);
    cs_dl_gaxpy(&mat, x, y);
  });
}

void BM_CsGaxpy(benchmark::State& st) { run_gaxpy(st, general(st.range(0))); }
void BM_CsGaxpySym(benchmark::State& st) { run_gaxpy(st, symmetric(st.range(0)).full); }
#endif

void sizes(benchmark::internal::Benchmark* b) {
  for (int nnz : {10000, 1000000}) b->Arg(nnz);
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_Smvmul)->Apply(sizes);
BENCHMARK(BM_CsrLoop)->Apply(sizes);
BENCHMARK(BM_SsmvmlFull)->Apply(sizes);
BENCHMARK(BM_SsmvmlHalf)->Apply(sizes);
BENCHMARK(BM_Ssmvpr)->Apply(sizes);
BENCHMARK(BM_SsmvprSearch)->Arg(10000)->Unit(benchmark::kMicrosecond);
#ifdef ORVIKA_HAVE_SUITESPARSE
BENCHMARK(BM_CsGaxpy)->Apply(sizes);
BENCHMARK(BM_CsGaxpySym)->Apply(sizes);
#endif

}  // namespace

int main(int argc, char** argv) {
  orvika_bench::RatioReporter rep;
  orvika_bench::run_all(argc, argv, rep);
  const std::pair<const char*, const char*> pairs[] = {
#ifdef ORVIKA_HAVE_SUITESPARSE
      {"BM_Smvmul", "BM_CsGaxpy"},       {"BM_SsmvmlFull", "BM_CsGaxpySym"},
      {"BM_SsmvmlHalf", "BM_CsGaxpySym"}, {"BM_Ssmvpr", "BM_CsGaxpySym"},
#endif
      {"BM_Smvmul", "BM_CsrLoop"},       {"BM_Ssmvpr", "BM_SsmvprSearch"}};
#ifndef ORVIKA_HAVE_SUITESPARSE
  std::printf("\nSuiteSparse not found: peers are the hand-written loops only\n");
#endif
  std::printf("\nratio library / peer (mean real time):\n");
  for (const auto& [mine, peer] : pairs)
    for (int nnz : {10000, 1000000})
      if (double r; rep.ratio(mine, peer, nnz, r))
        std::printf("  %-14s vs %-16s nnz=%8d  %7.3f\n", mine, peer, nnz, r);
  return 0;
}
