// ORVK_CONTRL against SuiteSparse KLU and UMFPACK on the shared matrices
// and on generated ones: analyse+factor+solve, refactor with the same
// pattern (ORVIKA: ORDOPT 6), re-solve with kept factors (ORVIKA: METHOD 6),
// fill and scaled residual ||b - A x|| / (||A|| ||x|| n eps), side by
// side with the ratios.
//
// ORVIKA runs method 5 (column-segment factors kept) after ordering 4
// (block triangularisation and the second spike rule), equilibration,
// pivot tolerances 0.01, CBSROW = N, matrix and right-hand side restored
// after each call so that the next call starts from the same caller
// layout; the work space starts at 6 times the least size and is doubled
// while the factors lack room.  SPLU_METHOD=2 (re-solve by method 3),
// SPLU_ORDOPT=1..5, SPLU_SCLOPT=2 (no scaling) and SPLU_CBSROW=k (columns
// higher than k above their pivot row eliminated at the end) in the
// environment select another method, ordering, scaling or deferral.
//
// Generated flowsheet Jacobians of orders 1e4, 3e4 and 1e5 close the table
// with the growth of the full-path time from 1e4 to 1e5 (the exponent p of
// t ~ n^p) for ORVIKA and KLU and the ratios ORVIKA / KLU.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "flowsheet_gen.hpp"
#include "support/mtx.hpp"
#include "orvika/sparselu.h"

#ifdef ORVIKA_HAVE_SUITESPARSE
#include <klu.h>
#include <umfpack.h>
#endif

namespace {

// ---- matrices -------------------------------------------------------------------

using orvika_test::Triplets;
using orvika_test::scaled_residual;

std::vector<double> rhs(const Triplets& m) {
  std::vector<double> b(m.n, 0.0);
  for (long k = 0; k < m.nz(); ++k)
    b[m.row[k] - 1] += m.val[k] * (1.0 + 1e-3 * static_cast<double>(m.col[k] % 7));
  return b;
}

// ---- results --------------------------------------------------------------------------

struct Result {
  double t[3] = {NAN, NAN, NAN};  // full, refactor, re-solve (seconds)
  double fill = NAN, resid = NAN;
  std::string note;
};
std::map<std::string, std::map<std::string, Result>> g_results;  // matrix -> solver
std::vector<std::string> g_order;

// Times FN per call, through the benchmark loop.
template <class F>
void timed(benchmark::State& st, double& out, F fn) {
  double total = 0;
  long count = 0;
  for (auto _ : st) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ++count;
  }
  out = count ? total / static_cast<double>(count) : NAN;
}

// ---- ORVIKA -------------------------------------------------------------------------------

IWORD env_or(const char* name, IWORD dflt) {
  const char* v = std::getenv(name);
  return v ? std::atol(v) : dflt;
}
const IWORD kMethod = env_or("SPLU_METHOD", 5) == 2 ? 2 : 5;
const IWORD kResolve = kMethod == 2 ? 3 : 6;
const IWORD kOrdopt = env_or("SPLU_ORDOPT", 4);
const IWORD kSclopt = env_or("SPLU_SCLOPT", 1);

struct Orvika {
  std::vector<IWORD> w;
  IWORD spende = 0, n = 0, nz = 0, ierr = 0;
  IWORD pos[53] = {};

  void options(IWORD method, IWORD ordopt) {
    ORVK_SPARMI.INTRAT = 1;
    ORVK_INITSP();
    ORVK_SPOPT2.METHOD = method;
    ORVK_SPOPT2.ORDOPT = ordopt;
    ORVK_SPOPT2.SCLOPT = kSclopt;
    ORVK_SPOPT2.RSTOPT = kMethod == 2 ? 2 : 1;  // method 2's factors live in the matrix arrays
    ORVK_SPOPT2.CBSROW = env_or("SPLU_CBSROW", n);
    ORVK_SPOPT1.PIVTL1 = 0.01;
    ORVK_SPOPT1.PIVTL2 = 0.01;
    ORVK_SPOPT4 = {1, 1};
  }
  void set_positions() { std::memcpy(reinterpret_cast<IWORD*>(&ORVK_SPOPT2) + 12, pos + 12, 41 * sizeof(IWORD)); }
  IWORD call() {
    ORVK_CONTRL(w.data(), reinterpret_cast<double*>(w.data()), &spende, &n, &nz, &ierr);
    return ierr;
  }
  double getr(IWORD q) const {
    double v;
    std::memcpy(&v, &w[q - 1], sizeof v);
    return v;
  }
  std::vector<double> x() const {
    std::vector<double> r(n);
    for (IWORD i = 0; i < n; ++i) r[i] = getr(ORVK_SPOPT2.X + i);
    return r;
  }
  // Lays the triplets out at the end of a work space of FACTOR times the
  // minimum, B at 1, and makes a first (full) call.
  bool setup(const Triplets& m, const std::vector<double>& b, IWORD method, double factor) {
    const IWORD base = 9 * (m.n + m.nz() / 4 + (m.n + (5 * m.n) / 8 + m.nz() / 2)) + 90 +
                       (9 * (m.nz() + (m.nz() + 2 * m.n))) / 8 + (9 * (m.nz() + (m.n + m.nz()))) / 4;
    for (spende = static_cast<IWORD>(factor * static_cast<double>(base));; spende *= 2) {
      if (place_and_call(m, b, method) >= 0) return true;
      if ((ierr != -9 && ierr != -10) || spende > 200000000) return false;
    }
  }
  void refill(const Triplets& m) {
    // Method 2 keeps its factors in the matrix arrays: the caller supplies
    // the triplets again before a refactor.
    for (IWORD k = 0; k < nz; ++k) {
      w[ORVK_SPOPT2.IVECT + k - 1] = m.row[k];
      w[ORVK_SPOPT2.JVECT + k - 1] = m.col[k];
      std::memcpy(&w[ORVK_SPOPT2.IA + k - 1], &m.val[k], sizeof(double));
    }
  }
  IWORD place_and_call(const Triplets& m, const std::vector<double>& b, IWORD method) {
    n = m.n;
    nz = m.nz();
    w.assign(spende, 0);
    for (IWORD i = 0; i < n; ++i) std::memcpy(&w[i], &b[i], sizeof(double));
    const IWORD ia = spende - nz + 1, jv = ia - nz, iv = jv - nz;
    for (IWORD k = 0; k < nz; ++k) {
      w[iv + k - 1] = m.row[k];
      w[jv + k - 1] = m.col[k];
      std::memcpy(&w[ia + k - 1], &m.val[k], sizeof(double));
    }
    options(method, kOrdopt);
    ORVK_SPOPT2.IB = 1;
    ORVK_SPOPT2.IVECT = iv;
    ORVK_SPOPT2.JVECT = jv;
    ORVK_SPOPT2.IA = ia;
    if (call() < 0) return ierr;
    std::memcpy(pos, &ORVK_SPOPT2, sizeof pos);  // the returned layout is a valid caller layout
    return ierr;
  }
  // Entries of the kept factors, the diagonal counted once: method 5, L
  // rows (ending with the pivot) and column eliminations; method 2, L rows
  // (ending with the pivot) and U rows.
  double fill() const {
    const IWORD l = w[ORVK_SPOPT2.W32 + n - 1] - 1;
    if (kMethod == 2) return static_cast<double>(l + w[ORVK_SPOPT2.IRP + n - 1] - 1);
    return static_cast<double>(l + w[ORVK_SPOPT2.W33 + n - 1] - 1);
  }
};

// The triplets sorted by row, as the driver hands them back: a caller that
// supplies them again in this order spares the driver the re-sort.
Triplets by_rows(const Triplets& m) {
  std::vector<long> p(m.nz());
  for (long k = 0; k < m.nz(); ++k) p[k] = k;
  std::stable_sort(p.begin(), p.end(), [&](long a, long b) { return m.row[a] < m.row[b]; });
  Triplets s;
  s.name = m.name;
  s.n = m.n;
  for (long k : p) s.add(m.row[k], m.col[k], m.val[k]);
  return s;
}

void bench_orvika(benchmark::State& st, const Triplets* m0, int phase) {
  const Triplets sorted = by_rows(*m0);
  const Triplets* m = &sorted;
  const std::vector<double> b = rhs(*m);
  Result& res = g_results[m->name]["ORVIKA"];
  Orvika o;
  if (!o.setup(*m, b, kMethod, 6.0)) {
    res.note = "IERR " + std::to_string(o.ierr);
    st.SkipWithError(res.note.c_str());
    return;
  }
  // B as the caller sets it before each call (method 2 without the restore
  // leaves the solution there).
  auto set_b = [&] { std::memcpy(o.w.data(), b.data(), b.size() * sizeof(double)); };
  set_b();
  if (phase == 0) {
    timed(st, res.t[0], [&] {
      set_b();
      o.options(kMethod, kOrdopt);
      o.set_positions();
      if (kMethod == 2) o.refill(*m);
      o.call();
    });
    res.fill = o.fill();
    res.resid = scaled_residual(*m, o.x(), b);
  } else if (phase == 1) {
    timed(st, res.t[1], [&] {
      set_b();
      o.options(kMethod, 6);
      if (kMethod == 2) o.refill(*m);
      o.call();
    });
  } else {
    timed(st, res.t[2], [&] {
      set_b();
      o.options(kResolve, 6);
      o.call();
    });
    res.resid = std::max(res.resid, scaled_residual(*m, o.x(), b));
  }
  if (o.ierr < 0) {
    res.note = "IERR " + std::to_string(o.ierr);
    st.SkipWithError(res.note.c_str());
  }
}

#ifdef ORVIKA_HAVE_SUITESPARSE
void bench_klu(benchmark::State& st, const Triplets* m, int phase) {
  // Compressed columns, 0-based, as the peer takes them.
  const orvika_test::Csr a = orvika_test::to_csr(*m, true);
  std::vector<int> ap = orvika_test::zero_based<int>(a.ia), ai = orvika_test::zero_based<int>(a.ja);
  std::vector<double> ax = a.a;
  const std::vector<double> b = rhs(*m);
  Result& res = g_results[m->name]["KLU"];
  const int n = static_cast<int>(m->n);
  klu_common c;
  klu_defaults(&c);
  std::vector<double> x(b);
  auto full = [&] {
    klu_symbolic* s = klu_analyze(n, ap.data(), ai.data(), &c);
    klu_numeric* f = klu_factor(ap.data(), ai.data(),
                                ax.data(), s, &c);
    x = b;
    klu_solve(s, f, n, 1, x.data(), &c);
    return std::make_pair(s, f);
  };
  if (phase == 0) {
    timed(st, res.t[0], [&] {
      auto [s, f] = full();
      klu_free_numeric(&f, &c);
      klu_free_symbolic(&s, &c);
    });
    auto [s, f] = full();
    res.fill = static_cast<double>(f->lnz + f->unz - n + f->nzoff);
    res.resid = scaled_residual(*m, x, b);
    klu_free_numeric(&f, &c);
    klu_free_symbolic(&s, &c);
    return;
  }
  auto [s, f] = full();
  if (phase == 1)
    timed(st, res.t[1], [&] {
      klu_refactor(ap.data(), ai.data(), ax.data(),
                   s, f, &c);
    });
  else
    timed(st, res.t[2], [&] {
      x = b;
      klu_solve(s, f, n, 1, x.data(), &c);
    });
  klu_free_numeric(&f, &c);
  klu_free_symbolic(&s, &c);
}

void bench_umf(benchmark::State& st, const Triplets* m, int phase) {
  // Compressed columns, 0-based, as the peer takes them.
  const orvika_test::Csr a = orvika_test::to_csr(*m, true);
  std::vector<int> ap = orvika_test::zero_based<int>(a.ia), ai = orvika_test::zero_based<int>(a.ja);
  std::vector<double> ax = a.a;
  const std::vector<double> b = rhs(*m);
  Result& res = g_results[m->name]["UMFPACK"];
  const int n = static_cast<int>(m->n);
  std::vector<double> x(n);
  void *sym = nullptr, *num = nullptr;
  auto analyse = [&] {
    umfpack_di_symbolic(n, n, ap.data(), ai.data(), ax.data(), &sym, nullptr, nullptr);
  };
  auto factor = [&] { umfpack_di_numeric(ap.data(), ai.data(), ax.data(), sym, &num, nullptr, nullptr); };
  auto solve = [&] {
    umfpack_di_solve(UMFPACK_A, ap.data(), ai.data(), ax.data(), x.data(), b.data(), num, nullptr, nullptr);
  };
  if (phase == 0) {
    timed(st, res.t[0], [&] {
      analyse();
      factor();
      solve();
      umfpack_di_free_numeric(&num);
      umfpack_di_free_symbolic(&sym);
    });
    analyse();
    factor();
    solve();
    int lnz, unz, nr, nc, nzud;
    umfpack_di_get_lunz(&lnz, &unz, &nr, &nc, &nzud, num);
    res.fill = static_cast<double>(lnz + unz - n);
    res.resid = scaled_residual(*m, x, b);
  } else {
    analyse();
    factor();
    if (phase == 1)
      timed(st, res.t[1], [&] {
        umfpack_di_free_numeric(&num);
        factor();
      });
    else
      timed(st, res.t[2], solve);
  }
  umfpack_di_free_numeric(&num);
  umfpack_di_free_symbolic(&sym);
}
#endif

std::vector<std::unique_ptr<Triplets>> g_mats;

void print_table() {
  const char* phases[3] = {"full", "refactor", "resolve"};
  std::printf("\nSparse LU: ORVK_CONTRL (method %ld/%ld, ordering %ld, %s) against KLU and UMFPACK\n",
              static_cast<long>(kMethod), static_cast<long>(kResolve), static_cast<long>(kOrdopt),
              kSclopt == 1 ? "equilibrated" : "not scaled");
  std::printf("times in microseconds; ratio = ORVIKA / peer (below 1: ORVIKA faster)\n");
  std::printf("%-18s %7s %8s | %-8s %10s %10s %10s | %7s %7s | %7s %7s | %9s %9s %9s | %8s %8s %8s\n", "matrix", "n",
              "nz", "phase", "ORVIKA", "KLU", "UMFPACK", "/KLU", "/UMF", "", "", "fill ORV", "fill KLU",
              "fill UMF", "res ORV", "res KLU", "res UMF");
  for (const std::string& name : g_order) {
    auto& r = g_results[name];
    const Triplets* m = nullptr;
    for (auto& p : g_mats)
      if (p->name == name) m = p.get();
    for (int ph = 0; ph < 3; ++ph) {
      const double o = r["ORVIKA"].t[ph] * 1e6, k = r["KLU"].t[ph] * 1e6, u = r["UMFPACK"].t[ph] * 1e6;
      std::printf("%-18s %7ld %8ld | %-8s %10.1f %10.1f %10.1f | %7.2f %7.2f | %7s %7s |", name.c_str(), m->n, m->nz(),
                  phases[ph], o, k, u, o / k, o / u, "", "");
      if (ph == 0)
        std::printf(" %9.0f %9.0f %9.0f | %8.1e %8.1e %8.1e %s\n", r["ORVIKA"].fill, r["KLU"].fill,
                    r["UMFPACK"].fill, r["ORVIKA"].resid, r["KLU"].resid, r["UMFPACK"].resid,
                    r["ORVIKA"].note.c_str());
      else
        std::printf("\n");
    }
  }
}

// Full-path time of the generated flowsheets by order, ORVIKA beside KLU,
// and the growth exponent log(t(n2)/t(n1)) / log(n2/n1) between the least
// and the largest order that ran.
void print_flowsheet_growth(const std::vector<long>& orders) {
  std::printf("\nFull path on generated flowsheets (ordering %ld): times in seconds\n", static_cast<long>(kOrdopt));
  std::printf("%8s %12s %12s %9s\n", "n", "ORVIKA", "KLU", "ORV/KLU");
  struct Point {
    long n;
    double o, k;
  };
  std::vector<Point> pts;
  for (long n : orders) {
    auto& r = g_results["flowsheet_" + std::to_string(n)];
    const double o = r["ORVIKA"].t[0], k = r["KLU"].t[0];
    std::printf("%8ld %12.4f %12.4f %9.2f\n", n, o, k, o / k);
    if (std::isfinite(o) && std::isfinite(k)) pts.push_back({n, o, k});
  }
  if (pts.size() < 2) return;
  const Point& a = pts.front();
  const Point& b = pts.back();
  const double span = std::log(static_cast<double>(b.n) / static_cast<double>(a.n));
  std::printf("growth from n = %ld to %ld: ORVIKA n^%.2f, KLU n^%.2f\n", a.n, b.n, std::log(b.o / a.o) / span,
              std::log(b.k / a.k) / span);
}

}  // namespace

int main(int argc, char** argv) {
#ifndef NDEBUG
  std::printf("WARNING: not a Release build; timings are not representative\n");
#endif
  std::vector<std::string> files;
  const std::filesystem::path dir(ORVIKA_MATRIX_DIR);
  if (std::filesystem::is_directory(dir))
    for (const auto& e : std::filesystem::directory_iterator(dir))
      if (e.path().extension() == ".mtx") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  for (const std::string& f : files) {
    auto m = std::make_unique<Triplets>();
    if (orvika_test::read_mtx(f, *m)) g_mats.push_back(std::move(m));
  }
  for (long n : {10000L, 100000L}) g_mats.push_back(std::make_unique<Triplets>(orvika_bench::banded(n, 3)));
  for (long n : {10000L, 100000L})
    g_mats.push_back(std::make_unique<Triplets>(orvika_bench::bordered(n, 10)));
  const std::vector<long> flow_orders{10000L, 30000L, 100000L};
  for (long n : flow_orders) {
    g_mats.push_back(std::make_unique<Triplets>(orvika_bench::flowsheet(n)));
  }

  const char* phases[3] = {"full", "refactor", "resolve"};
  for (auto& m : g_mats) {
    g_order.push_back(m->name);
    for (int ph = 0; ph < 3; ++ph) {
      benchmark::RegisterBenchmark(("ORVIKA/" + m->name + "/" + phases[ph]).c_str(), bench_orvika, m.get(), ph)
          ->Unit(benchmark::kMicrosecond);
#ifdef ORVIKA_HAVE_SUITESPARSE
      benchmark::RegisterBenchmark(("KLU/" + m->name + "/" + phases[ph]).c_str(), bench_klu, m.get(), ph)
          ->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark(("UMFPACK/" + m->name + "/" + phases[ph]).c_str(), bench_umf, m.get(), ph)
          ->Unit(benchmark::kMicrosecond);
#endif
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  print_table();
  print_flowsheet_growth(flow_orders);
  return 0;
}
