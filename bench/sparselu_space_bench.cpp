// The least work space (SPENDE, in words) that ORVK_CONTRL needs for each
// factor method, beside the peak memory of SuiteSparse KLU (analyse and
// factor) in 8-byte words, on the shared matrices and on generated bands
// and flowsheets.  A space figure, not a time: the least SPENDE is found by
// doubling until the call succeeds and then halving the interval to 1 %.
//
// Ordering 4, equilibration, pivot tolerances 0.01, CBSROW = N (methods 4
// and 5 eliminate every column at once) unless SPLU_CBSROW is set; the
// work space holds no restore copies (RSTOPT 2).  SPLU_METHODS="1 5" in
// the environment restricts the methods, SPLU_ONLY=name the matrices.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/support/mtx.hpp"
#include "flowsheet_gen.hpp"
#include "orvika/sparselu.h"

#ifdef ORVIKA_HAVE_SUITESPARSE
#include <klu.h>
#endif

namespace {

using orvika_test::Triplets;
using orvika_bench::banded;

IWORD env_or(const char* name, IWORD dflt) {
  const char* v = std::getenv(name);
  return v ? std::atol(v) : dflt;
}

struct Call {
  IWORD ierr = 0;
  IWORD factor = 0;  // entries of the kept factors (methods 2, 5)
};

// One full call of METHOD in SPENDE words.
Call run(const Triplets& m, IWORD method, IWORD spende) {
  std::vector<IWORD> w(static_cast<std::size_t>(spende), 0);
  IWORD n = m.n, nz = m.nz();
  Call c;
  if (spende < 3 * nz + n + 16) {
    c.ierr = -10;
    return c;
  }
  for (IWORD i = 1; i <= n; ++i) {
    const double b = 1.0 + 1e-3 * static_cast<double>(i % 7);
    std::memcpy(&w[i - 1], &b, sizeof b);
  }
  const IWORD ia = spende - nz + 1, jv = ia - nz, iv = jv - nz;
  for (IWORD k = 0; k < nz; ++k) {
    w[iv + k - 1] = m.row[k];
    w[jv + k - 1] = m.col[k];
    std::memcpy(&w[ia + k - 1], &m.val[k], sizeof(double));
  }
  ORVK_SPARMI.INTRAT = 1;
  ORVK_INITSP();
  ORVK_SPOPT2.METHOD = method;
  ORVK_SPOPT2.ORDOPT = env_or("SPLU_ORDOPT", 4);
  ORVK_SPOPT2.SCLOPT = env_or("SPLU_SCLOPT", 1);
  ORVK_SPOPT2.RSTOPT = 2;
  ORVK_SPOPT2.CBSROW = env_or("SPLU_CBSROW", n);
  ORVK_SPOPT1.PIVTL1 = 0.01;
  ORVK_SPOPT1.PIVTL2 = 0.01;
  ORVK_SPOPT4 = {1, 1};
  ORVK_SPOPT2.IB = 1;
  ORVK_SPOPT2.IVECT = iv;
  ORVK_SPOPT2.JVECT = jv;
  ORVK_SPOPT2.IA = ia;
  ORVK_CONTRL(w.data(), reinterpret_cast<double*>(w.data()), &spende, &n, &nz, &c.ierr);
  if (c.ierr >= 0 && method == 5) c.factor = w[ORVK_SPOPT2.W32 + n - 1] - 1 + w[ORVK_SPOPT2.W33 + n - 1] - 1;
  if (c.ierr >= 0 && method == 2) c.factor = w[ORVK_SPOPT2.W32 + n - 1] - 1 + w[ORVK_SPOPT2.IRP + n - 1] - 1;
  return c;
}

// Least SPENDE (to 1 %) with which METHOD succeeds, 0 when it does not at
// LIMIT words; the last failing code goes to FAILCODE.
IWORD least(const Triplets& m, IWORD method, IWORD limit, IWORD& failcode, IWORD& factor) {
  IWORD hi = 4 * m.nz() + 16 * m.n + 64;
  Call c;
  for (;; hi *= 2) {
    if (hi > limit) hi = limit;
    c = run(m, method, hi);
    if (c.ierr >= 0) break;
    failcode = c.ierr;
    if ((c.ierr != -9 && c.ierr != -10 && c.ierr != -13) || hi == limit) return 0;
  }
  factor = c.factor;
  IWORD lo = hi / 2;
  while (hi - lo > hi / 100) {
    const IWORD mid = lo + (hi - lo) / 2;
    c = run(m, method, mid);
    if (c.ierr >= 0) {
      hi = mid;
      factor = c.factor;
    } else {
      lo = mid;
    }
  }
  return hi;
}

#ifdef ORVIKA_HAVE_SUITESPARSE
// KLU's peak memory (analyse and factor, default options) in 8-byte words,
// and its factor entries.
void klu_peak(const Triplets& m, double& words, double& entries) {
  const int n = static_cast<int>(m.n);
  const orvika_test::Csr a = orvika_test::to_csr(m, true);
  std::vector<int> ap = orvika_test::zero_based<int>(a.ia), ai = orvika_test::zero_based<int>(a.ja);
  std::vector<double> ax = a.a;
  klu_common c;
  klu_defaults(&c);
  klu_symbolic* s = klu_analyze(n, ap.data(), ai.data(), &c);
  klu_numeric* f = s ? klu_factor(ap.data(), ai.data(), ax.data(), s, &c) : nullptr;
  words = f ? static_cast<double>(c.mempeak) / 8.0 : NAN;
  entries = f ? static_cast<double>(f->lnz + f->unz) : NAN;
  if (f) klu_free_numeric(&f, &c);
  if (s) klu_free_symbolic(&s, &c);
}
#endif

}  // namespace

int main() {
#ifndef NDEBUG
  std::printf("WARNING: not a Release build\n");
#endif
  std::vector<Triplets> mats;
  const std::filesystem::path dir(ORVIKA_MATRIX_DIR);
  std::vector<std::string> files;
  if (std::filesystem::is_directory(dir))
    for (const auto& e : std::filesystem::directory_iterator(dir))
      if (e.path().extension() == ".mtx") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  for (const std::string& f : files) {
    Triplets m;
    if (orvika_test::read_mtx(f, m)) mats.push_back(std::move(m));
  }
  mats.push_back(banded(10000, 3));
  mats.push_back(orvika_bench::flowsheet(10000, 3));

  std::vector<IWORD> methods;
  {
    std::istringstream in(std::getenv("SPLU_METHODS") ? std::getenv("SPLU_METHODS") : "1 2 4 5 7");
    for (IWORD k; in >> k;) methods.push_back(k);
  }
  const char* only = std::getenv("SPLU_ONLY");
  const IWORD limit = env_or("SPLU_LIMIT", 128000000);
  std::printf("Least SPENDE (words) per method beside KLU's peak memory (words of 8 bytes); ratio = SPENDE / KLU\n");
  std::printf("%-16s %7s %8s | %10s %10s |", "matrix", "n", "nz", "KLU peak", "KLU L+U");
  for (IWORD k : methods) std::printf(" %11s%ld %6s", "method ", static_cast<long>(k), "ratio");
  std::printf("\n");
  for (const Triplets& m : mats) {
    if (only && m.name != only) continue;
    double kw = NAN, ke = NAN;
#ifdef ORVIKA_HAVE_SUITESPARSE
    klu_peak(m, kw, ke);
#endif
    std::printf("%-16s %7ld %8ld | %10.0f %10.0f |", m.name.c_str(), m.n, m.nz(), kw, ke);
    std::string notes;
    for (IWORD k : methods) {
      IWORD code = 0, factor = 0;
      const IWORD s = least(m, k, limit, code, factor);
      if (s == 0)
        std::printf(" %12s %6s", ("IERR " + std::to_string(code)).c_str(), "");
      else
        std::printf(" %12ld %6.1f", static_cast<long>(s), static_cast<double>(s) / kw);
      if (factor > 0) notes += " m" + std::to_string(k) + " factors " + std::to_string(factor);
      std::fflush(stdout);
    }
    std::printf("  %s\n", notes.c_str());
  }
  return 0;
}
