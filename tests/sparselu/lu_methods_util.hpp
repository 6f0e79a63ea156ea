// Helpers of the tests of the factor-and-solve methods: test systems with a
// valid pivot order, runners that give each method its own arrays, and the
// measures the tests compare against (scaled residual, dense reference).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "sparselu/lumethods.hpp"
#include "support/sparse.hpp"

namespace lmtest {

using orvika::IV;
using orvika::RV;

using orvika_test::scaled_bound;
using orvika_test::scaled_residual;

inline IV iv(std::vector<IWORD>& v) { return IV(v.data(), static_cast<IWORD>(v.size())); }
inline RV rv(std::vector<double>& v) { return RV(v.data(), static_cast<IWORD>(v.size())); }

// A square system in row form with a pivot order: IORN (row of each step,
// negative at block ends), W39 (step of each column), W18 (column of each step).
struct Problem {
  IWORD n = 0;
  std::vector<IWORD> irp, ici;  // irp: n+1, ici: nz
  std::vector<double> a;
  std::vector<IWORD> iorn, w39, w18;
  IWORD nz() const { return static_cast<IWORD>(ici.size()); }
};

// Builds a Problem from entries given in step space: S(k, j) is the entry of
// the row of step k in the column of step j.  Rows and columns get the
// labels ROWOF(k), COLOF(j); ENDS(k) marks the last step of each block.
struct Entry {
  IWORD k, j;
  double v;
};
inline Problem assemble(IWORD n, const std::vector<Entry>& es, const std::vector<IWORD>& rowof,
                        const std::vector<IWORD>& colof, const std::vector<bool>& ends) {
  Problem p;
  p.n = n;
  std::vector<std::vector<std::pair<IWORD, double>>> rows(static_cast<std::size_t>(n + 1));
  for (const Entry& e : es) rows[static_cast<std::size_t>(rowof[e.k])].push_back({colof[e.j], e.v});
  p.irp.push_back(1);
  for (IWORD r = 1; r <= n; ++r) {
    auto& row = rows[static_cast<std::size_t>(r)];
    std::sort(row.begin(), row.end());
    for (auto& [c, v] : row) {
      p.ici.push_back(c);
      p.a.push_back(v);
    }
    p.irp.push_back(static_cast<IWORD>(p.ici.size()) + 1);
  }
  p.iorn.assign(static_cast<std::size_t>(n), 0);
  p.w39.assign(static_cast<std::size_t>(n), 0);
  p.w18.assign(static_cast<std::size_t>(n), 0);
  for (IWORD k = 1; k <= n; ++k) {
    p.iorn[k - 1] = ends[k] ? -rowof[k] : rowof[k];
    p.w18[k - 1] = colof[k];
    p.w39[colof[k] - 1] = k;
  }
  return p;
}

// Random system, block lower triangular in step space (NBLOCK blocks), each
// block lower triangular apart from spike columns whose rows above the
// diagonal form nested intervals (valid for every method).  DENSITY is the
// mean number of off-diagonal entries per row; DOMINANT makes every row
// diagonally dominant, otherwise the diagonal is of the size of the rest.
// SCRAMBLE gives rows and columns random labels.
inline Problem random_problem(std::mt19937_64& rng, IWORD n, double density, IWORD nblock,
                              bool spikes, bool dominant, bool scramble) {
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  std::uniform_real_distribution<double> U01(0.0, 1.0);
  std::vector<bool> ends(static_cast<std::size_t>(n + 1), false);
  std::vector<IWORD> bstart(static_cast<std::size_t>(n + 1), 1);
  {
    nblock = std::max<IWORD>(1, std::min(nblock, n));
    std::vector<IWORD> cuts;
    std::vector<IWORD> all(static_cast<std::size_t>(std::max<IWORD>(n - 1, 0)));
    std::iota(all.begin(), all.end(), 1);
    std::shuffle(all.begin(), all.end(), rng);
    cuts.assign(all.begin(), all.begin() + (nblock - 1));
    for (IWORD c : cuts) ends[c] = true;
    if (n >= 1) ends[n] = true;
    IWORD s = 1;
    for (IWORD k = 1; k <= n; ++k) {
      bstart[k] = s;
      if (ends[k]) s = k + 1;
    }
  }
  // Entries per step-space row, as a set of columns.
  std::vector<std::vector<std::pair<IWORD, double>>> rows(static_cast<std::size_t>(n + 1));
  std::vector<std::vector<bool>> has;
  auto add = [&](IWORD k, IWORD j, double v) {
    for (auto& e : rows[k])
      if (e.first == j) return;
    rows[k].push_back({j, v});
  };
  // Spikes: column j first met at row f < j, same block, intervals [f, j]
  // nested or disjoint.
  if (spikes) {
    std::vector<std::pair<IWORD, IWORD>> iv;
    for (IWORD j = 2; j <= n; ++j) {
      if (U01(rng) > 0.3) continue;
      const IWORD lo = bstart[j];
      if (lo >= j) continue;
      std::uniform_int_distribution<IWORD> F(std::max(lo, j - 40), j - 1);
      const IWORD f = F(rng);
      bool ok = true;
      for (auto [f2, j2] : iv) {
        const bool disjoint = j2 < f || j < f2;
        const bool nested = (f <= f2 && j2 <= j) || (f2 <= f && j <= j2);
        if (!disjoint && !nested) {
          ok = false;
          break;
        }
      }
      if (!ok) continue;
      iv.push_back({f, j});
      add(f, j, U(rng));
      for (IWORD k = f + 1; k < j; ++k)
        if (U01(rng) < 0.3) add(k, j, U(rng));
    }
  }
  // Entries left of the diagonal: anywhere in earlier columns.
  for (IWORD k = 2; k <= n; ++k) {
    std::poisson_distribution<int> P(density);
    const int cnt = P(rng);
    std::uniform_int_distribution<IWORD> J(1, k - 1);
    for (int t = 0; t < cnt; ++t) add(k, J(rng), U(rng));
  }
  std::vector<Entry> es;
  for (IWORD k = 1; k <= n; ++k) {
    double s = 0.0;
    for (auto& [j, v] : rows[k]) {
      s += std::fabs(v);
      es.push_back({k, j, v});
    }
    const double sign = U01(rng) < 0.5 ? -1.0 : 1.0;
    const double d = dominant ? s + 0.5 + U01(rng) : 0.2 + U01(rng);
    es.push_back({k, k, sign * d});
  }
  std::vector<IWORD> rowof(static_cast<std::size_t>(n + 1)), colof(static_cast<std::size_t>(n + 1));
  std::iota(rowof.begin(), rowof.end(), 0);
  std::iota(colof.begin(), colof.end(), 0);
  if (scramble) {
    std::shuffle(rowof.begin() + 1, rowof.end(), rng);
    std::shuffle(colof.begin() + 1, colof.end(), rng);
  }
  return assemble(n, es, rowof, colof, ends);
}

// y = A x for one right-hand-side column.
inline std::vector<double> matvec(const Problem& p, const double* x) {
  std::vector<double> y(static_cast<std::size_t>(p.n), 0.0);
  for (IWORD r = 1; r <= p.n; ++r)
    for (IWORD k = p.irp[r - 1]; k < p.irp[r]; ++k) y[r - 1] += p.a[k - 1] * x[p.ici[k - 1] - 1];
  return y;
}

// Dense reference solve by Gaussian elimination with partial pivoting.
inline std::vector<double> dense_solve(const Problem& p, const double* b) {
  const std::size_t n = static_cast<std::size_t>(p.n);
  std::vector<double> M(n * n, 0.0), x(b, b + n);
  for (IWORD r = 1; r <= p.n; ++r)
    for (IWORD k = p.irp[r - 1]; k < p.irp[r]; ++k)
      M[(r - 1) * n + (p.ici[k - 1] - 1)] += p.a[k - 1];
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t piv = k;
    for (std::size_t i = k + 1; i < n; ++i)
      if (std::fabs(M[i * n + k]) > std::fabs(M[piv * n + k])) piv = i;
    if (piv != k) {
      for (std::size_t j = 0; j < n; ++j) std::swap(M[k * n + j], M[piv * n + j]);
      std::swap(x[k], x[piv]);
    }
    for (std::size_t i = k + 1; i < n; ++i) {
      const double f = M[i * n + k] / M[k * n + k];
      if (f == 0.0) continue;
      for (std::size_t j = k; j < n; ++j) M[i * n + j] -= f * M[k * n + j];
      x[i] -= f * x[k];
    }
  }
  for (std::size_t k = n; k-- > 0;) {
    double s = x[k];
    for (std::size_t j = k + 1; j < n; ++j) s -= M[k * n + j] * x[j];
    x[k] = s / M[k * n + k];
  }
  return x;
}

inline double rel_diff(const double* x, const std::vector<double>& y) {
  double d = 0.0, s = 0.0;
  for (std::size_t i = 0; i < y.size(); ++i) {
    d = std::max(d, std::fabs(x[i] - y[i]));
    s = std::max(s, std::fabs(y[i]));
  }
  return s > 0.0 ? d / s : d;
}

inline bool same_bits(const std::vector<double>& a, const std::vector<double>& b, std::size_t n) {
  return a.size() >= n && b.size() >= n && std::memcmp(a.data(), b.data(), n * sizeof(double)) == 0;
}

// Right-hand sides: NRHS columns of N values.
inline std::vector<double> random_rhs(std::mt19937_64& rng, IWORD n, IWORD nrhs) {
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  std::vector<double> b(static_cast<std::size_t>(n * nrhs));
  for (auto& v : b) v = U(rng);
  return b;
}

// ---- runners ----------------------------------------------------------------------

struct Opts {
  double pivtl1 = 1e-4, pivtl2 = 1e-4;
  IWORD chkmode = 2;
  IWORD maxa = -1;    // default: ample
  IWORD lowmax = -1;  // default: ample
  IWORD cbsrow = -1;  // default: N (no deferral)
  IWORD rnkopt = 1;
  IWORD msgunit = 0;
};

inline IWORD ample(const Problem& p) { return p.nz() + p.n * (p.n + 2) + 8; }

// Result of a factor-and-solve call and, for methods 2 and 5, its factors.
struct Result {
  IWORD ierr = 0;
  std::vector<double> x, b;  // X and B after the call (N*NRHS)
  std::vector<IWORD> irp, ici, iorn, w39, w18, w37, w40, w41, w32, w42, w33, w43, w51;
  std::vector<double> ia, w26, w27, w50;
  double pivtl1 = 0, pivtl2 = 0;
  IWORD maxa = 0, lowmax = 0;
};

inline void fill_matrix(const Problem& p, IWORD maxa, Result& r) {
  r.irp = p.irp;
  r.ici.assign(static_cast<std::size_t>(std::max(maxa, p.nz())), 0);
  r.ia.assign(r.ici.size(), 0.0);
  std::copy(p.ici.begin(), p.ici.end(), r.ici.begin());
  std::copy(p.a.begin(), p.a.end(), r.ia.begin());
  r.maxa = maxa;
}

// B and a zeroed X of N*NRHS values (one at least) for a call.
inline void set_rhs(Result& r, IWORD n, const std::vector<double>& b, IWORD nrhs) {
  r.b = b;
  r.x.assign(static_cast<std::size_t>(std::max<IWORD>(n * nrhs, 1)), 0.0);
}

// What every factor-and-solve call starts from: the matrix (MAXA entries
// of room, ample by default), B, X and the row order of the pivot order.
inline Result start(const Problem& p, const std::vector<double>& b, IWORD nrhs, const Opts& o) {
  Result r;
  fill_matrix(p, o.maxa >= 0 ? o.maxa : ample(p), r);
  set_rhs(r, p.n, b, nrhs);
  r.iorn = p.iorn;
  return r;
}

// What a re-solve starts from: the factors F with a new B.
inline Result restart(const Result& f, IWORD n, const std::vector<double>& b, IWORD nrhs) {
  Result r = f;
  r.ierr = 0;
  set_rhs(r, n, b, nrhs);
  return r;
}

// Methods 1 and 2 (KEEP).
inline Result run_rows(const Problem& p, const std::vector<double>& b, IWORD nrhs, const Opts& o,
                    bool keep) {
  Result r = start(p, b, nrhs, o);
  const IWORD n = p.n;
  r.iorn.resize(static_cast<std::size_t>(n + 1), 0);
  r.w39 = p.w39;
  r.w39.resize(static_cast<std::size_t>(n + 1), 0);
  r.w40.assign(static_cast<std::size_t>(std::max<IWORD>(n, 1)), 1);
  r.w41.assign(static_cast<std::size_t>(std::max<IWORD>(n, 1)), 1);
  std::vector<IWORD> stepc(static_cast<std::size_t>(std::max<IWORD>(n, 1)), 0);
  ORVK_SPOPT2_T opt{};
  opt.CHKMODE = o.chkmode;
  r.pivtl1 = o.pivtl1;
  r.pivtl2 = o.pivtl2;
  if (!keep) {
    orvika::LU1SOL(n, r.maxa, r.pivtl1, r.pivtl2, o.msgunit, iv(r.irp), iv(r.ici), rv(r.ia), rv(r.b),
                   nrhs, rv(r.x), iv(r.iorn), iv(r.w39), iv(r.w40), iv(r.w41), opt, iv(stepc), r.ierr);
    return r;
  }
  r.lowmax = o.lowmax >= 0 ? o.lowmax : ample(p);
  r.w32.assign(static_cast<std::size_t>(n + 1), 0);
  r.w42.assign(static_cast<std::size_t>(r.lowmax + 1), 0);
  r.w26.assign(static_cast<std::size_t>(r.lowmax + 1), 0.0);
  std::vector<IWORD> w29(static_cast<std::size_t>(std::max<IWORD>(n, 1)), 0);
  // Block saves of NZ entries each (the partition's room), followed by
  // guard words outside the views.
  const std::size_t nz = static_cast<std::size_t>(p.nz());
  r.w50.assign(nz + 16, -7.0);
  std::vector<IWORD> w51(nz + 16, -7);
  std::vector<IWORD> w52(static_cast<std::size_t>(std::max<IWORD>(n, 1)), 0);
  orvika::LU2SOL(n, r.maxa, r.pivtl1, r.pivtl2, o.msgunit, iv(r.irp), iv(r.ici), rv(r.ia), rv(r.b),
                 nrhs, rv(r.x), iv(r.iorn), iv(r.w39), iv(r.w32), iv(r.w42), rv(r.w26), r.lowmax,
                 iv(w29), iv(r.w40), iv(r.w41), opt, RV(r.w50.data(), p.nz()),
                 IV(w51.data(), p.nz()), iv(w52), iv(stepc), r.ierr);
  r.w51 = w51;
  return r;
}

// Method 3 on the factors of a method-2 run.
inline Result run_m3(const Result& f, IWORD n, const std::vector<double>& b, IWORD nrhs, IWORD msgunit = 0) {
  Result r = restart(f, n, b, nrhs);
  orvika::LU1P3(n, msgunit, rv(r.b), nrhs, rv(r.x), iv(r.w39), iv(r.iorn), iv(r.w32), iv(r.w42),
                rv(r.w26), iv(r.irp), iv(r.ici), rv(r.ia), iv(r.w41), r.ierr);
  return r;
}

// Methods 4 and 5 (KEEP).
inline Result run_cbs(const Problem& p, const std::vector<double>& b, IWORD nrhs, const Opts& o,
                   bool keep) {
  Result r = start(p, b, nrhs, o);
  const IWORD n = p.n;
  r.w18 = p.w18;
  const std::size_t n1 = static_cast<std::size_t>(std::max<IWORD>(n, 1));
  std::vector<IWORD> w28(2 * n1, 0), w35(n1, 0), w36(n1, 0);
  const IWORD cbsrow = o.cbsrow >= 0 ? o.cbsrow : n;
  if (!keep) {
    orvika::CBS(n, o.msgunit, o.pivtl2, o.pivtl1, cbsrow, p.nz(), r.maxa, iv(r.irp), iv(r.ici),
                rv(r.ia), rv(r.b), nrhs, rv(r.x), iv(r.iorn), iv(r.w18), iv(w28), iv(w35), iv(w36),
                r.ierr);
    return r;
  }
  r.lowmax = o.lowmax >= 0 ? o.lowmax : ample(p);
  r.w37.assign(n1 + 1, 0);
  r.w32.assign(n1 + 1, 0);
  r.w33.assign(n1 + 1, 0);
  r.w42.assign(static_cast<std::size_t>(r.lowmax + 1), 0);
  r.w43.assign(static_cast<std::size_t>(r.lowmax + 1), 0);
  r.w26.assign(static_cast<std::size_t>(r.lowmax + 1), 0.0);
  r.w27.assign(static_cast<std::size_t>(r.lowmax + 1), 0.0);
  r.w41.assign(n1, 1);
  orvika::CBS2(n, o.msgunit, o.pivtl2, o.pivtl1, cbsrow, p.nz(), r.maxa, iv(r.irp), iv(r.ici),
               rv(r.ia), rv(r.b), nrhs, rv(r.x), iv(r.iorn), iv(r.w18), iv(r.w37), iv(w28),
               iv(r.w32), iv(r.w42), rv(r.w26), r.lowmax, iv(r.w33), iv(r.w43), rv(r.w27), iv(w35),
               iv(w36), r.ierr);
  return r;
}

// Method 6 on the factors of a method-5 run.
inline Result run_m6(const Result& f, IWORD n, const std::vector<double>& b, IWORD nrhs, IWORD msgunit = 0) {
  Result r = restart(f, n, b, nrhs);
  orvika::CBSLU3(n, msgunit, rv(r.b), nrhs, rv(r.x), iv(r.w37), iv(r.iorn), iv(r.w32), iv(r.w42),
                 rv(r.w26), iv(r.w33), iv(r.w43), rv(r.w27), iv(r.w41), r.ierr);
  return r;
}

// Method 7.
inline Result run_m7(const Problem& p, const std::vector<double>& b, IWORD nrhs, const Opts& o) {
  Result r = start(p, b, nrhs, o);
  const IWORD n = p.n;
  const std::size_t n1 = static_cast<std::size_t>(std::max<IWORD>(n, 1));
  std::vector<double> w(n1, 0.0);
  std::vector<IWORD> cmark(n1, 0), pivpos(n1, 0), saveord(n1, 0);
  orvika::RANKI(n, o.pivtl2, r.maxa, o.msgunit, iv(r.irp), iv(r.ici), rv(r.ia), rv(r.b), nrhs,
                rv(r.x), rv(w), iv(r.iorn), iv(cmark), iv(pivpos), iv(saveord), o.rnkopt, r.ierr);
  return r;
}

}  // namespace lmtest
