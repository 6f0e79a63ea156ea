// Shared helpers of the QP tests: a problem in dense form, its conversion to
// the solver's compressed rows, one solver call with ample work space, and a
// reference solution by enumeration of active sets.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/qp.h"
#include "support/sparse.hpp"

namespace qp_test {

using Vec = std::vector<double>;
using IVec = std::vector<IWORD>;

// Dense linear solve with partial pivoting; false when a pivot is zero or of
// magnitude below TINY.
inline bool dense_solve(int n, Vec a, Vec& b, double tiny = 1e-12) {  // a column-major n x n
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(a[i + k * n]) > std::fabs(a[p + k * n])) p = i;
    if (a[p + k * n] == 0.0 || std::fabs(a[p + k * n]) < tiny) return false;
    for (int j = 0; j < n; ++j) std::swap(a[k + j * n], a[p + j * n]);
    std::swap(b[k], b[p]);
    for (int i = k + 1; i < n; ++i) {
      const double f = a[i + k * n] / a[k + k * n];
      for (int j = k; j < n; ++j) a[i + j * n] -= f * a[k + j * n];
      b[i] -= f * b[k];
    }
  }
  for (int k = n - 1; k >= 0; --k) {
    double s = b[k];
    for (int j = k + 1; j < n; ++j) s -= a[k + j * n] * b[j];
    b[k] = s / a[k + k * n];
  }
  return true;
}

// min g'x + x'Hx/2, rows 0..meq-1 equalities, then inequalities a x <= b.
struct Problem {
  int n = 0, meq = 0, mineq = 0;
  Vec h;  // n x n symmetric, row-major = column-major
  Vec g;
  Vec a;  // (meq+mineq) x n, row-major
  Vec b;
  double H(int i, int j) const { return h[i * n + j]; }
  double A(int r, int j) const { return a[r * n + j]; }
  double row_dot(int r, const double* x) const {
    double s = 0;
    for (int j = 0; j < n; ++j) s += A(r, j) * x[j];
    return s;
  }
  double objective(const double* x) const {
    double s = 0;
    for (int i = 0; i < n; ++i) {
      s += g[i] * x[i];
      for (int j = 0; j < n; ++j) s += 0.5 * x[i] * H(i, j) * x[j];
    }
    return s;
  }
};

// Result of one call.
struct QpRun {
  Vec x;
  std::vector<LWORD> lact;
  IVec iw;
  Vec rw;
  IWORD iret = -9, ncact = -9, iter = -9, ising = 0, ifail = 0;
  double aphmax = 0;
};

using orvika_test::Csr;

inline Csr lower_csr(const Problem& p) {
  Csr c;
  c.n = c.ncol = p.n;
  for (int i = 0; i < p.n; ++i) {
    for (int j = 0; j <= i; ++j)
      if (p.H(i, j) != 0) {
        c.ja.push_back(j + 1);
        c.a.push_back(p.H(i, j));
      }
    c.ia.push_back(static_cast<IWORD>(c.ja.size()) + 1);
  }
  if (c.ja.empty()) {
    c.ja.push_back(1);
    c.a.push_back(0);
  }
  return c;
}

inline Csr rows_csr(const Problem& p) {
  Csr c;
  c.n = p.meq + p.mineq;
  c.ncol = p.n;
  for (int r = 0; r < p.meq + p.mineq; ++r) {
    for (int j = 0; j < p.n; ++j)
      if (p.A(r, j) != 0) {
        c.ja.push_back(j + 1);
        c.a.push_back(p.A(r, j));
      }
    c.ia.push_back(static_cast<IWORD>(c.ja.size()) + 1);
  }
  if (c.ja.empty()) {
    c.ja.push_back(1);
    c.a.push_back(0);
  }
  return c;
}

struct Options {
  IWORD mact = 1;
  IWORD iprint = 0;
  IWORD liw_delta = 0;  // added to the exact integer length
  IWORD lrw_delta = 0;
  Vec fesble;           // default: all -1e30 (never release by FESBLE)
  IWORD lwles = 20000;  // lengths of the sparse and GMRES solvers' work arrays
};

inline IWORD int_total(const Problem& p, const Csr& h, const Csr& c) {
  const IWORD nnz = (h.ia.back() - 1) + (c.ia.back() - 1);
  return 9 * p.mineq + 2 * p.meq + p.n + 1 + 15 * nnz +
         std::max<IWORD>(0, 2 * p.n - p.meq - p.mineq);
}
inline IWORD real_total(const Problem& p, const Csr& h, const Csr& c) {
  const IWORD nnz = (h.ia.back() - 1) + (c.ia.back() - 1);
  const IWORD l = 2 * p.meq + p.mineq - p.n;
  return 9 * p.meq + 6 * p.mineq + 8 * p.n + 15 * nnz + 4 * std::max<IWORD>(0, -l);
}

// Calls the solver; R carries the state of a previous call for a warm start.
inline void call(const Problem& p, const Options& o, QpRun& r) {
  const Csr h = lower_csr(p), c = rows_csr(p);
  const IWORD n = p.n, meq = p.meq, mineq = p.mineq;
  const IWORD liw = int_total(p, h, c) + o.liw_delta, lrw = real_total(p, h, c) + o.lrw_delta;
  if (r.iw.size() < static_cast<size_t>(std::max<IWORD>(liw, 1))) r.iw.resize(std::max<IWORD>(liw, 1), 0);
  if (r.rw.size() < static_cast<size_t>(std::max<IWORD>(lrw, 1))) r.rw.resize(std::max<IWORD>(lrw, 1), 0);
  if (r.x.size() < static_cast<size_t>(n + meq + mineq)) r.x.resize(n + meq + mineq, 0);
  if (r.lact.size() < static_cast<size_t>(std::max(mineq, IWORD(1)))) r.lact.resize(std::max(mineq, IWORD(1)), 0);
  Vec fes = o.fesble;
  if (fes.empty()) fes.assign(std::max(mineq, IWORD(1)), -1e30);
  IWORD lrwles = o.lwles, liwles = o.lwles, ldc = std::max<IWORD>(1, meq + mineq);
  Vec rwles(lrwles), cwork(ldc * (n + 2 * meq + mineq + 1));
  IVec iwles(liwles);
  Vec bb = p.b, gg = p.g;
  if (bb.empty()) bb.push_back(0);
  ORVK_QPSLV(&n, gg.data(), h.ia.data(), h.ja.data(), h.a.data(), &meq, &mineq, bb.data(),
             c.ia.data(), c.ja.data(), c.a.data(), fes.data(), &o.mact, &r.ncact, &r.iter,
             r.x.data(), &lrw, r.rw.data(), &liw, r.iw.data(), nullptr, r.lact.data(), &o.iprint,
             &r.iret, &lrwles, rwles.data(), &liwles, iwles.data(), &r.ising, &r.aphmax, &ldc,
             cwork.data(), &r.ifail);
}

// Reference: enumerate active subsets of the inequalities (strictly convex H);
// the KKT point that is feasible with non-negative multipliers.  Returns
// false when no subset qualifies.
inline bool brute_force(const Problem& p, Vec& xbest, double tol = 1e-9) {
  const int n = p.n, m = p.mineq;
  for (unsigned mask = 0; mask < (1u << m); ++mask) {
    std::vector<int> rows;
    for (int r = 0; r < p.meq; ++r) rows.push_back(r);
    for (int i = 0; i < m; ++i)
      if (mask & (1u << i)) rows.push_back(p.meq + i);
    const int q = static_cast<int>(rows.size());
    if (q > n) continue;
    const int k = n + q;
    Vec a(k * k, 0.0), rhs(k, 0.0);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) a[i + j * k] = p.H(i, j);
      rhs[i] = -p.g[i];
    }
    for (int t = 0; t < q; ++t) {
      for (int j = 0; j < n; ++j) {
        a[(n + t) + j * k] = p.A(rows[t], j);
        a[j + (n + t) * k] = p.A(rows[t], j);
      }
      rhs[n + t] = p.b[rows[t]];
    }
    if (!dense_solve(k, a, rhs)) continue;
    bool ok = true;
    for (int t = p.meq; t < q && ok; ++t) ok = rhs[n + t] >= -tol;
    for (int i = 0; i < m && ok; ++i) ok = p.row_dot(p.meq + i, rhs.data()) <= p.b[p.meq + i] + tol;
    if (ok) {
      xbest.assign(rhs.begin(), rhs.begin() + n);
      return true;
    }
  }
  return false;
}

// Resets the family's blocks and the host between tests.
inline void reset_blocks() {
  orvk_host_reset();
  for (IWORD& w : ORVK_NLPINT) w = 0;
  for (double& w : ORVK_NLPREA) w = 0;
  ORVK_NLPINT[ORVK_NLPINT_QPUNIT - 1] = 77;
  ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = 1;
}

}  // namespace qp_test
