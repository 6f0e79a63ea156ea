// Fingerprints of ORVK_CONTRL's results, for proving that a speed-up leaves
// every result bit for bit as it was: for each matrix, method, ordering and
// scaling option it runs the full path, a refactor with the kept ordering
// (ORDOPT 6) on the same values, a re-solve with the kept factors (methods
// 3 and 6), and a refactor on perturbed values (pivots may change), and
// prints per call the code and FNV-1a hashes of X, of the whole work space
// and of the option block.  Methods 4 and 5 run also with the deferral
// thresholds CBSROW = 0 and 3 (lines tagged c0, c3) besides CBSROW = N.
// Run it on two builds and diff the output:
//
//   sparselu_hash [--quick] > before.txt   ...   diff before.txt after.txt
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/support/mtx.hpp"
#include "flowsheet_gen.hpp"
#include "orvika/sparselu.h"

namespace {

using orvika_test::Triplets;
using orvika_bench::banded;
using orvika_bench::bordered;

struct Fnv {
  std::uint64_t h = 1469598103934665603ULL;
  void add(const void* p, std::size_t len) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < len; ++i) h = (h ^ b[i]) * 1099511628211ULL;
  }
};

// Convection-diffusion on a K x K grid, upwind, strong convection.
Triplets convdiff(long k) {
  Triplets m;
  m.name = "convdiff_" + std::to_string(k);
  m.n = k * k;
  for (long i = 0; i < k; ++i)
    for (long j = 0; j < k; ++j) {
      const long r = i * k + j + 1;
      auto put = [&](long ii, long jj, double v) {
        if (ii < 0 || jj < 0 || ii >= k || jj >= k) return;
        m.add(r, ii * k + jj + 1, v);
      };
      put(i, j, 4.0 + 50.0);
      put(i - 1, j, -1.0 - 50.0);
      put(i + 1, j, -1.0);
      put(i, j - 1, -1.0);
      put(i, j + 1, -1.0 + 0.5 * static_cast<double>((i + j) % 3));
    }
  return m;
}

struct Run {
  std::vector<IWORD> w;
  IWORD spende = 0, n = 0, nz = 0, ierr = 0;
  IWORD pos[53] = {};
  IWORD cbsrow = -1;  // CBSROW of methods 4 and 5; -1 for N

  static void options(IWORD method, IWORD ordopt, IWORD sclopt, IWORD n, IWORD cbsrow = -1) {
    ORVK_SPARMI.INTRAT = 1;
    ORVK_INITSP();
    ORVK_SPOPT2.METHOD = method;
    ORVK_SPOPT2.ORDOPT = ordopt;
    ORVK_SPOPT2.SCLOPT = sclopt;
    ORVK_SPOPT2.RSTOPT = method == 2 || method == 3 ? 2 : 1;  // method 2 keeps its factors in the matrix arrays
    ORVK_SPOPT2.CBSROW = cbsrow < 0 ? n : cbsrow;
    ORVK_SPOPT1.PIVTL1 = 0.01;
    ORVK_SPOPT1.PIVTL2 = 0.01;
    ORVK_SPOPT4 = {1, 1};
  }
  IWORD call() {
    ORVK_CONTRL(w.data(), reinterpret_cast<double*>(w.data()), &spende, &n, &nz, &ierr);
    return ierr;
  }
  void setr(IWORD q, double v) { std::memcpy(&w[q - 1], &v, sizeof v); }
  void set_b(const Triplets& m) {
    for (IWORD i = 1; i <= m.n; ++i) setr(i, 1.0 + 1e-3 * static_cast<double>(i % 7));
  }
  // Places the triplets at the end of the work space, B at 1, and makes
  // the full call; the work space is doubled while the factors lack room.
  bool first(const Triplets& m, IWORD method, IWORD ordopt, IWORD sclopt) {
    const long nzz = m.nz();
    spende = 6 * (9 * (m.n + nzz / 4 + (m.n + (5 * m.n) / 8 + nzz / 2)) + 90 + 3 * nzz + 4 * m.n);
    for (;; spende *= 2) {
      n = m.n;
      nz = nzz;
      w.assign(spende, 0);
      set_b(m);
      const IWORD ia = spende - nz + 1, jv = ia - nz, iv = jv - nz;
      for (IWORD k = 0; k < nz; ++k) {
        w[iv + k - 1] = m.row[k];
        w[jv + k - 1] = m.col[k];
        setr(ia + k, m.val[k]);
      }
      options(method, ordopt, sclopt, n, cbsrow);
      ORVK_SPOPT2.IB = 1;
      ORVK_SPOPT2.IVECT = iv;
      ORVK_SPOPT2.JVECT = jv;
      ORVK_SPOPT2.IA = ia;
      call();
      if ((ierr != -9 && ierr != -10) || spende > 30000000) break;
    }
    std::memcpy(pos, &ORVK_SPOPT2, sizeof pos);
    return ierr >= 0;
  }
  // Puts values V into the kept layout (triplets, in the caller's order).
  void refill(const Triplets& m, const std::vector<double>& v) {
    std::memcpy(reinterpret_cast<IWORD*>(&ORVK_SPOPT2) + 12, pos + 12, 41 * sizeof(IWORD));
    for (IWORD k = 0; k < nz; ++k) {
      w[ORVK_SPOPT2.IVECT + k - 1] = m.row[k];
      w[ORVK_SPOPT2.JVECT + k - 1] = m.col[k];
      setr(ORVK_SPOPT2.IA + k, v[k]);
    }
  }
  void print(const char* what, const Triplets& m, IWORD method, IWORD ordopt, IWORD sclopt, Fnv& total) {
    Fnv hx, hw, hp;
    if (ierr >= 0 && ORVK_SPOPT2.X >= 1 && ORVK_SPOPT2.X + n - 1 <= spende) hx.add(&w[ORVK_SPOPT2.X - 1], n * sizeof(IWORD));
    hw.add(w.data(), w.size() * sizeof(IWORD));
    hp.add(&ORVK_SPOPT2, sizeof ORVK_SPOPT2);
    const std::string tag = cbsrow < 0 ? "" : " c" + std::to_string(cbsrow);
    std::printf("%-16s m%ld o%ld s%ld%s %-8s ierr %4ld n %6ld nz %8ld  x %016llx  w %016llx  p %016llx\n",
                m.name.c_str(), static_cast<long>(method), static_cast<long>(ordopt), static_cast<long>(sclopt), tag.c_str(), what,
                static_cast<long>(ierr), static_cast<long>(n), static_cast<long>(nz),
                static_cast<unsigned long long>(hx.h), static_cast<unsigned long long>(hw.h),
                static_cast<unsigned long long>(hp.h));
    total.add(&ierr, sizeof ierr);
    total.add(&hx.h, sizeof hx.h);
    total.add(&hw.h, sizeof hw.h);
    total.add(&hp.h, sizeof hp.h);
  }
};

void run_matrix(const Triplets& m, bool quick, Fnv& total) {
  const IWORD methods[] = {1, 2, 4, 5, 7};
  const IWORD ordopts_full[] = {1, 2, 3, 4, 5};
  const IWORD ordopts_quick[] = {4, 5};
  std::vector<double> pert(m.val);
  for (long k = 0; k < m.nz(); ++k) pert[k] *= std::pow(10.0, 2.0 * std::sin(0.7 * static_cast<double>(k)));
  for (IWORD method : methods)
    for (IWORD ordopt : quick ? std::vector<IWORD>(ordopts_quick, ordopts_quick + 2)
                              : std::vector<IWORD>(ordopts_full, ordopts_full + 5))
      for (IWORD sclopt : {1, 2})
        for (IWORD cbsrow : {IWORD{-1}, IWORD{0}, IWORD{3}}) {
          if (cbsrow >= 0 && method != 4 && method != 5) continue;
          Run r;
          r.cbsrow = cbsrow;
          const bool ok = r.first(m, method, ordopt, sclopt);
          r.print("full", m, method, ordopt, sclopt, total);
          if (!ok) continue;
          // Refactor with the kept ordering on the same values.
          r.refill(m, m.val);
          r.set_b(m);
          Run::options(method, 6, sclopt, r.n, cbsrow);
          r.call();
          r.print("refactor", m, method, ordopt, sclopt, total);
          if ((method == 2 || method == 5) && r.ierr >= 0) {
            r.set_b(m);
            Run::options(method == 2 ? 3 : 6, 6, sclopt, r.n, cbsrow);
            r.call();
            r.print("resolve", m, method, ordopt, sclopt, total);
          }
          // Refactor on perturbed values: the kept pivot order may not hold.
          r.refill(m, pert);
          r.set_b(m);
          Run::options(method, 6, sclopt, r.n, cbsrow);
          r.call();
          r.print("perturb", m, method, ordopt, sclopt, total);
        }
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  std::vector<Triplets> mats;
  for (const char* f : {"west0479", "west0989", "bp_200", "rdb1250l", "orani678"}) {
    Triplets t;
    if (!orvika_test::read_mtx(std::string(ORVIKA_MATRIX_DIR) + "/" + f + ".mtx", t)) {
      std::printf("%-16s missing\n", f);
      continue;
    }
    mats.push_back(std::move(t));
  }
  mats.push_back(orvika_bench::flowsheet(2000));
  mats.push_back(orvika_bench::flowsheet(10000, 3));
  mats.push_back(banded(2000, 1));
  mats.push_back(banded(1000, 5));
  mats.push_back(convdiff(30));
  mats.push_back(bordered(1500, 6));
  Fnv total;
  for (const Triplets& m : mats) run_matrix(m, quick, total);
  std::printf("TOTAL %016llx\n", static_cast<unsigned long long>(total.h));
  return 0;
}
