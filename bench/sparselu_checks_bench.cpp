// The data checks of the sparse LU package (DCHEKD, the check of every
// refactor) on a matrix whose every row repeats its diagonal entry, as a
// caller that assembles a Jacobian by adding contributions gives it: the
// repeats are summed and removed.  The time per entry should not grow with
// the order.
#include <benchmark/benchmark.h>

#include <vector>

#include "sparselu/sparselu.hpp"

namespace {

using orvika::IV;
using orvika::RV;

// Order N, ten entries per row (a band and a recycle column) plus the
// diagonal once more.
struct Assembled {
  IWORD n = 0, nz = 0;
  std::vector<IWORD> irp, ici;
  std::vector<double> a;
  explicit Assembled(IWORD order) : n(order) {
    irp.push_back(1);
    for (IWORD i = 1; i <= n; ++i) {
      for (IWORD d = -4; d <= 4; ++d) {
        const IWORD j = i + d;
        if (j >= 1 && j <= n) {
          ici.push_back(j);
          a.push_back(d == 0 ? 4.0 : -0.5);
        }
      }
      ici.push_back(1 + (i * 7919) % n);
      a.push_back(0.25);
      ici.push_back(i);
      a.push_back(1.0);
      irp.push_back(static_cast<IWORD>(ici.size()) + 1);
    }
    nz = static_cast<IWORD>(ici.size());
  }
};

void BM_DchekdRepeatedDiagonal(benchmark::State& st) {
  const Assembled m(st.range(0));
  std::vector<IWORD> irp, ici, mark(static_cast<std::size_t>(m.n));
  std::vector<double> a;
  ORVK_SPOPT2_T opt{};
  opt.CHKMODE = 3;
  for (auto _ : st) {
    st.PauseTiming();
    irp = m.irp;
    ici = m.ici;
    a = m.a;
    IWORD nz = m.nz, ierr = 0;
    st.ResumeTiming();
    orvika::DCHEKD(m.n, m.n, nz, 0, IV(irp.data(), m.n + 1), IV(ici.data(), m.nz),
                   IV(mark.data(), m.n), RV(a.data(), m.nz), opt, ierr);
    benchmark::DoNotOptimize(nz);
  }
  st.counters["ns_per_entry"] = benchmark::Counter(
      static_cast<double>(m.nz), benchmark::Counter::kIsIterationInvariantRate |
                                     benchmark::Counter::kInvert);
}

BENCHMARK(BM_DchekdRepeatedDiagonal)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
