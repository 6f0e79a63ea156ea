// The MA28 family against SuiteSparse KLU on the shared matrices:
// analyse+factor (ORVK_MA28AD / klu_analyze+klu_factor), re-factorisation
// with new values on the same pattern (ORVK_MA28BD / klu_refactor) and one
// solve (ORVK_MA28CD / klu_solve), side by side, with the ratios
// ORVIKA / KLU printed at the end (below 1: ORVIKA faster).  ORVIKA runs with
// the block-triangular preordering and pivot threshold 0.1; LICN and LIRN
// start at 4 NZ and grow to the measured needs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/ma28.h"
#include "../tests/support/mtx.hpp"

#ifdef ORVIKA_HAVE_SUITESPARSE
#include <klu.h>
#endif

namespace orvika_test {
// The benchmark links without the test support library.
std::string shared_matrix(const std::string& name) {
  const std::string p = std::string(ORVIKA_MATRIX_DIR) + "/" + name;
  std::FILE* f = std::fopen(p.c_str(), "r");
  if (!f) return {};
  std::fclose(f);
  return p;
}
}  // namespace orvika_test

namespace {

// A shared matrix (named by its file) with the values of its refactor
// (VAL2), a right-hand side and the state the benchmarks keep.
struct Problem : orvika_test::Triplets {
  std::vector<double> val2, b;
  IWORD licn = 0, lirn = 0;
  // Factors of the analysis, kept for the refactor and solve benchmarks.
  std::vector<double> entval;
  std::vector<IDX16> colnum, lukeep;
  ORVK_MA28GD_T gd{};
#ifdef ORVIKA_HAVE_SUITESPARSE
  std::vector<int> ap, ai;
  std::vector<double> ax, ax2;
#endif
};

std::vector<Problem>& problems() {
  static std::vector<Problem> p;
  return p;
}

IWORD analyse(Problem& p, std::vector<double>& v, std::vector<IDX16>& cn, std::vector<IDX16>& keep) {
  IWORD nz = static_cast<IWORD>(p.val.size());
  v.assign(p.licn, 0.0);
  cn.assign(p.licn, 0);
  std::vector<IDX16> rn(p.lirn, 0), iw(14 * p.n);
  std::vector<double> rw(p.n);
  keep.assign(5 * p.n, 0);
  std::copy(p.val.begin(), p.val.end(), v.begin());
  std::copy(p.col.begin(), p.col.end(), cn.begin());
  std::copy(p.row.begin(), p.row.end(), rn.begin());
  double thr = 0.1;
  IWORD st = 0;
  ORVK_MA28AD(&p.n, &nz, v.data(), &p.licn, rn.data(), &p.lirn, cn.data(), &thr, keep.data(),
              iw.data(), rw.data(), &st);
  return st;
}

void load() {
  orvk_host_reset();
  ORVK_MA28BK();
  ORVK_MA30BK();
  ORVK_MA28ED.ERRUNT = 0;
  ORVK_MA28ED.WRNUNT = 0;
  for (const char* name :
       {"west0479.mtx", "west0989.mtx", "bp_200.mtx", "rdb1250l.mtx", "orani678.mtx"}) {
    const std::string path = orvika_test::shared_matrix(name);
    Problem p;
    if (path.empty() || !orvika_test::read_mtx(path, p)) {
      std::printf("shared matrix %s not found: skipped\n", name);
      continue;
    }
    for (std::int64_t k = 0; k < p.nz(); ++k)
      p.val2.push_back(p.val[k] * (1.0 + 0.01 * std::sin(1.0 + k)));
    p.b.assign(p.n, 1.0);
    p.licn = 4 * p.nz();
    p.lirn = 2 * p.nz();
    IWORD st = -1;
    for (int att = 0; att < 8 && st < 0; ++att) {
      st = analyse(p, p.entval, p.colnum, p.lukeep);
      if (st < 0) {
        p.licn = std::max(2 * p.licn, ORVK_MA28FD.MINLIC);
        p.lirn = std::max(2 * p.lirn, ORVK_MA28FD.MINLIR);
      }
    }
    if (st < 0) {
      std::printf("%s: ORVK_MA28AD failed (%ld): skipped\n", name, static_cast<long>(st));
      continue;
    }
    p.gd = ORVK_MA28GD;
#ifdef ORVIKA_HAVE_SUITESPARSE
    // Compressed columns, repeated entries summed.
    std::map<std::pair<int, int>, std::pair<double, double>> m;
    for (std::size_t k = 0; k < p.val.size(); ++k) {
      auto& e = m[{p.col[k] - 1, p.row[k] - 1}];
      e.first += p.val[k];
      e.second += p.val2[k];
    }
    p.ap.assign(p.n + 1, 0);
    for (const auto& [key, v] : m) {
      ++p.ap[key.first + 1];
      p.ai.push_back(key.second);
      p.ax.push_back(v.first);
      p.ax2.push_back(v.second);
    }
    for (IWORD j = 0; j < p.n; ++j) p.ap[j + 1] += p.ap[j];
#endif
    problems().push_back(std::move(p));
  }
}

void BM_Ma28Analyse(benchmark::State& state, Problem* p) {
  std::vector<double> v;
  std::vector<IDX16> cn, keep;
  for (auto _ : state) {
    const IWORD st = analyse(*p, v, cn, keep);
    if (st < 0) state.SkipWithError("analyse failed");
    benchmark::DoNotOptimize(v.data());
  }
}

void BM_Ma28Refactor(benchmark::State& state, Problem* p) {
  std::vector<double> v(p->entval);
  std::vector<IDX16> cn(p->colnum), nr(p->row.size()), nc(p->row.size()), iw(11 * p->n);
  std::vector<double> rw(p->n);
  IWORD nz = static_cast<IWORD>(p->row.size()), st = 0;
  ORVK_MA28GD = p->gd;
  for (auto _ : state) {
    std::copy(p->val2.begin(), p->val2.end(), v.begin());
    std::copy(p->row.begin(), p->row.end(), nr.begin());
    std::copy(p->col.begin(), p->col.end(), nc.begin());
    ORVK_MA28BD(&p->n, &nz, v.data(), &p->licn, nr.data(), nc.data(), cn.data(), p->lukeep.data(),
                iw.data(), rw.data(), &st);
    if (st < 0) state.SkipWithError("refactor failed");
    benchmark::DoNotOptimize(v.data());
  }
}

void BM_Ma28Solve(benchmark::State& state, Problem* p) {
  std::vector<double> x(p->n), w(p->n);
  IWORD mode = 1;
  ORVK_MA28GD = p->gd;
  for (auto _ : state) {
    std::copy(p->b.begin(), p->b.end(), x.begin());
    ORVK_MA28CD(&p->n, p->entval.data(), &p->licn, p->colnum.data(), p->lukeep.data(), x.data(),
                w.data(), &mode);
    benchmark::DoNotOptimize(x.data());
  }
}

#ifdef ORVIKA_HAVE_SUITESPARSE
void BM_KluAnalyse(benchmark::State& state, Problem* p) {
  klu_common c;
  klu_defaults(&c);
  const int n = static_cast<int>(p->n);
  for (auto _ : state) {
    klu_symbolic* s = klu_analyze(n, p->ap.data(), p->ai.data(), &c);
    klu_numeric* f = klu_factor(p->ap.data(), p->ai.data(), p->ax.data(), s, &c);
    if (!f) state.SkipWithError("klu_factor failed");
    klu_free_numeric(&f, &c);
    klu_free_symbolic(&s, &c);
  }
}

void BM_KluRefactor(benchmark::State& state, Problem* p) {
  klu_common c;
  klu_defaults(&c);
  const int n = static_cast<int>(p->n);
  klu_symbolic* s = klu_analyze(n, p->ap.data(), p->ai.data(), &c);
  klu_numeric* f = klu_factor(p->ap.data(), p->ai.data(), p->ax.data(), s, &c);
  for (auto _ : state) {
    if (!klu_refactor(p->ap.data(), p->ai.data(), p->ax2.data(), s, f, &c))
      state.SkipWithError("klu_refactor failed");
  }
  klu_free_numeric(&f, &c);
  klu_free_symbolic(&s, &c);
}

void BM_KluSolve(benchmark::State& state, Problem* p) {
  klu_common c;
  klu_defaults(&c);
  const int n = static_cast<int>(p->n);
  klu_symbolic* s = klu_analyze(n, p->ap.data(), p->ai.data(), &c);
  klu_numeric* f = klu_factor(p->ap.data(), p->ai.data(), p->ax.data(), s, &c);
  std::vector<double> x(p->n);
  for (auto _ : state) {
    std::copy(p->b.begin(), p->b.end(), x.begin());
    klu_solve(s, f, n, 1, x.data(), &c);
    benchmark::DoNotOptimize(x.data());
  }
  klu_free_numeric(&f, &c);
  klu_free_symbolic(&s, &c);
}
#endif

// Keeps the time per iteration of every run, for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (!r.error_occurred) ns[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
#ifndef NDEBUG
  std::printf("WARNING: not a Release build; timings are not representative\n");
#endif
  load();
  for (auto& p : problems()) {
    benchmark::RegisterBenchmark(("ORVIKA/analyse+factor/" + p.name).c_str(), BM_Ma28Analyse, &p);
    benchmark::RegisterBenchmark(("ORVIKA/refactor/" + p.name).c_str(), BM_Ma28Refactor, &p);
    benchmark::RegisterBenchmark(("ORVIKA/solve/" + p.name).c_str(), BM_Ma28Solve, &p);
#ifdef ORVIKA_HAVE_SUITESPARSE
    benchmark::RegisterBenchmark(("KLU/analyse+factor/" + p.name).c_str(), BM_KluAnalyse, &p);
    benchmark::RegisterBenchmark(("KLU/refactor/" + p.name).c_str(), BM_KluRefactor, &p);
    benchmark::RegisterBenchmark(("KLU/solve/" + p.name).c_str(), BM_KluSolve, &p);
#endif
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
#ifdef ORVIKA_HAVE_SUITESPARSE
  std::printf("\nratio ORVIKA / KLU (below 1: ORVIKA faster)\n");
  std::printf("%-12s %16s %10s %10s\n", "matrix", "analyse+factor", "refactor", "solve");
  for (const auto& p : problems()) {
    std::printf("%-12s", p.name.c_str());
    for (const char* stage : {"analyse+factor", "refactor", "solve"}) {
      const std::string a = std::string("ORVIKA/") + stage + "/" + p.name;
      const std::string k = std::string("KLU/") + stage + "/" + p.name;
      if (rep.ns.count(a) && rep.ns.count(k) && rep.ns[k] > 0.0)
        std::printf(" %*.2f", stage[0] == 'a' ? 16 : 10, rep.ns[a] / rep.ns[k]);
      else
        std::printf(" %*s", stage[0] == 'a' ? 16 : 10, "-");
    }
    std::printf("\n");
  }
#else
  std::printf("\nSuiteSparse not found: no KLU peer, no ratios\n");
#endif
  benchmark::Shutdown();
  return 0;
}
