// Test helpers of the sparse Newton solvers: named problems and a caller
// that runs the reverse-communication loop.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/nsolve.h"
#include "orvika/sparselu.h"

namespace nsolve_test {

constexpr IWORD kImiss = -999999;
constexpr double kRmiss = 1e35;

// A square system: residuals, and Jacobian values in the order of its pattern.
struct Problem {
  std::string name;
  IWORD n = 0;
  std::vector<IWORD> irn, icn;  // pattern (coordinate form)
  std::function<void(const double*, double*)> fun;
  std::function<void(const double*, double*)> jac;  // values in pattern order
  std::vector<double> x0, xlb, xub, dxub;
  IWORD nz() const { return static_cast<IWORD>(irn.size()); }
  // Bounds LO <= x <= HI and the step limit DXMAX on every variable.
  void box(double lo, double hi, double dxmax) {
    xlb.assign(n, lo);
    xub.assign(n, hi);
    dxub.assign(n, dxmax);
  }
  // Dense column-major Jacobian built from the pattern values.
  void dense_jac(const double* x, double* a) const {
    std::vector<double> v(irn.size());
    jac(x, v.data());
    for (IWORD k = 0; k < n * n; ++k) a[k] = 0.0;
    // Pattern entries outside the matrix (the bad-entry cases) have no place
    // in the dense array: the solver refuses them from the pattern.
    for (std::size_t k = 0; k < irn.size(); ++k)
      if (irn[k] >= 1 && irn[k] <= n && icn[k] >= 1 && icn[k] <= n)
        a[(irn[k] - 1) + n * (icn[k] - 1)] += v[k];
  }
  double rms(const double* x) const {
    std::vector<double> f(n);
    fun(x, f.data());
    double s = 0;
    for (double v : f) s += v * v;
    return std::sqrt(s / static_cast<double>(n));
  }
};

// f_i = (3 - 2 x_i) x_i - x_{i-1} - 2 x_{i+1} + 1, x0 = -1 (Broyden tridiagonal).
inline Problem broyden_tridiagonal(IWORD n) {
  Problem p;
  p.name = "broyden_tridiagonal";
  p.n = n;
  for (IWORD i = 1; i <= n; ++i)
    for (IWORD j = std::max<IWORD>(1, i - 1); j <= std::min(n, i + 1); ++j) {
      p.irn.push_back(i);
      p.icn.push_back(j);
    }
  p.fun = [n](const double* x, double* f) {
    for (IWORD i = 0; i < n; ++i) {
      const double xm = i > 0 ? x[i - 1] : 0.0, xp = i + 1 < n ? x[i + 1] : 0.0;
      f[i] = (3.0 - 2.0 * x[i]) * x[i] - xm - 2.0 * xp + 1.0;
    }
  };
  auto irn = p.irn, icn = p.icn;
  p.jac = [irn, icn](const double* x, double* v) {
    for (std::size_t k = 0; k < irn.size(); ++k) {
      const IWORD i = irn[k], j = icn[k];
      v[k] = i == j ? 3.0 - 4.0 * x[i - 1] : (j < i ? -1.0 : -2.0);
    }
  };
  p.x0.assign(n, -1.0);
  p.box(-1e10, 1e10, 1e10);
  return p;
}
// Element balances and two equilibrium relations with the root (0.5, 0.2, 0.3, 0.1),
// mole numbers bounded below by 0.
inline Problem equilibrium() {
  Problem p;
  p.name = "equilibrium";
  p.n = 4;
  p.irn = {1, 1, 1, 2, 2, 3, 3, 3, 4, 4};
  p.icn = {1, 3, 4, 2, 3, 3, 1, 2, 4, 1};
  // x1 + x3 + 2 x4 = 1, x2 + x3 = 0.5, x3 = 3 x1 x2, x4 = 0.4 x1^2.
  p.fun = [](const double* x, double* f) {
    f[0] = x[0] + x[2] + 2.0 * x[3] - 1.0;
    f[1] = x[1] + x[2] - 0.5;
    f[2] = x[2] - 3.0 * x[0] * x[1];
    f[3] = x[3] - 0.4 * x[0] * x[0];
  };
  p.jac = [](const double* x, double* v) {
    const double vals[10] = {1, 1, 2, 1, 1, 1, -3.0 * x[1], -3.0 * x[0], 1, -0.8 * x[0]};
    for (int k = 0; k < 10; ++k) v[k] = vals[k];
  };
  p.x0 = {1.0, 1.0, 1.0, 1.0};
  p.box(0.0, 10.0, 1e10);
  return p;
}
// Powell's badly scaled system: 1e4 x1 x2 = 1, exp(-x1) + exp(-x2) = 1.0001.
inline Problem powell_badly_scaled() {
  Problem p;
  p.name = "powell_badly_scaled";
  p.n = 2;
  p.irn = {1, 1, 2, 2};
  p.icn = {1, 2, 1, 2};
  p.fun = [](const double* x, double* f) {
    f[0] = 1e4 * x[0] * x[1] - 1.0;
    f[1] = std::exp(-x[0]) + std::exp(-x[1]) - 1.0001;
  };
  p.jac = [](const double* x, double* v) {
    v[0] = 1e4 * x[1];
    v[1] = 1e4 * x[0];
    v[2] = -std::exp(-x[0]);
    v[3] = -std::exp(-x[1]);
  };
  p.x0 = {0.0, 1.0};
  p.box(-1e10, 1e10, 1e10);
  return p;
}
// x1 (x2 + 1) = 0, x1 + x2 = 2, x >= 0: the root (0, 2) has x1 on its bound.
inline Problem active_bound() {
  Problem p;
  p.name = "active_bound";
  p.n = 2;
  p.irn = {1, 1, 2, 2};
  p.icn = {1, 2, 1, 2};
  p.fun = [](const double* x, double* f) {
    f[0] = x[0] * (x[1] + 1.0);
    f[1] = x[0] + x[1] - 2.0;
  };
  p.jac = [](const double* x, double* v) {
    v[0] = x[1] + 1.0;
    v[1] = x[0];
    v[2] = 1.0;
    v[3] = 1.0;
  };
  p.x0 = {1.0, 1.0};
  p.box(0.0, 10.0, 1e10);
  return p;
}
// x_i + 1 = 0 with x >= 0: no root inside the box.
inline Problem outside_box(IWORD n) {
  Problem p;
  p.name = "outside_box";
  p.n = n;
  for (IWORD i = 1; i <= n; ++i) {
    p.irn.push_back(i);
    p.icn.push_back(i);
  }
  p.fun = [n](const double* x, double* f) {
    for (IWORD i = 0; i < n; ++i) f[i] = x[i] + 1.0;
  };
  p.jac = [n](const double*, double* v) {
    for (IWORD i = 0; i < n; ++i) v[i] = 1.0;
  };
  p.x0.assign(n, 5.0);
  p.box(0.0, 10.0, 1e10);
  return p;
}

// One caller of ORVK_NSOLVE (or ORVK_NSOLVE2): every argument, set to a
// usable configuration for the problem and the storage.
struct Caller {
  const Problem* p = nullptr;
  bool v2 = false;
  IWORD n = 0, nz = 0, neq = 0, nvar = 0, ispare = 0;
  std::vector<double> x, xub, xlb, dxub, xbest, f, bj, rscale, cscale, bwork, work, facexp;
  std::vector<IWORD> irn, icn, irnum, eqmap, varmap, termptr, facptr, facvar, ilist;
  std::vector<IWORD> ws;  // RWORK and IWORK: one work space
  double tol = kRmiss, divbnd = kRmiss, stptol = kRmiss, trfac = kRmiss;
  double rmserr = -1, rms0 = -1, rmiss = kRmiss;
  IWORD lwork = 0, maxit = kImiss, maxbnd = kImiss, maxdiv = kImiss, iter = -1, iter0 = kImiss;
  IWORD nlead = kImiss, lsrch = kImiss, ireuse = kImiss, istpts = kImiss, idupck = 0, iprint = 0;
  IWORD jupdt = kImiss, irscl = kImiss, icscl = kImiss, istor = 1, imiss = kImiss, iout = 6;
  IWORD iterm = 0, icode = 0;
  IWORD mhist = kImiss;
  double relax = kRmiss;
  std::vector<double> hmerit;

  std::vector<IWORD> requests;  // every code returned
  IWORD jac_calls = 0, fun_calls = 0;

  // ISTOR 1 sparse, 2 dense; the sparse LU options from ORVK_INITSP.
  Caller(const Problem& prob, IWORD storage, bool variant2 = false);
  double* rwork() { return reinterpret_cast<double*>(ws.data()); }
  void call();
  // Runs the loop from a start call until a final code (or MAXCALLS calls).
  IWORD solve(int maxcalls = 2000);
  // Answers the request in ICODE (residuals or Jacobian).
  void answer();
};

// Sets the sparse LU options as a host does before the solvers (ratio 1).
inline void init_sparse_options() {
  ORVK_SPARMI.INTRAT = 1;
  ORVK_SPARMI.SPARM3 = 0;
  ORVK_INITSP();
  ORVK_SPOPT2.IORNIN = 0;
}

inline Caller::Caller(const Problem& prob, IWORD storage, bool variant2) : p(&prob), v2(variant2) {
  n = prob.n;
  istor = storage;
  nz = storage == 1 ? prob.nz() : n * n;
  x = prob.x0;
  xub = prob.xub;
  xlb = prob.xlb;
  dxub = prob.dxub;
  xbest.assign(n, 0.0);
  f.assign(n, 0.0);
  bj.assign(static_cast<std::size_t>(std::max<IWORD>(nz, 1)), 0.0);
  rscale.assign(n, 1.0);
  cscale.assign(n, 1.0);
  bwork.assign(2 * n + nz + 1, 0.0);
  work.assign(7 * n, 0.0);
  irn = prob.irn;
  icn = prob.icn;
  if (irn.empty()) {
    irn.push_back(1);
    icn.push_back(1);
  }
  irnum.resize(n);
  for (IWORD i = 0; i < n; ++i) irnum[i] = i + 1;
  eqmap.assign(n, 0);
  varmap.assign(n, 0);
  termptr.assign(2, 1);
  facptr.assign(2, 1);
  facvar.assign(1, 0);
  facexp.assign(1, 1.0);
  ilist.assign(n + 10, 0);
  lwork = storage == 1 ? 40 * (n + nz) + 400 : 11 * n + 2 * n * n;
  ws.assign(static_cast<std::size_t>(lwork), 0);
  hmerit.assign(20, 0.0);
}

inline void Caller::call() {
  if (v2)
    ORVK_NSOLVE2(&n, &nz, &neq, &nvar, &ispare, x.data(), xub.data(), xlb.data(), dxub.data(),
                 xbest.data(), f.data(), irn.data(), icn.data(), bj.data(), irnum.data(),
                 eqmap.data(), varmap.data(), termptr.data(), facptr.data(), facvar.data(),
                 facexp.data(), rscale.data(), cscale.data(), bwork.data(), work.data(),
                 ilist.data(), rwork(), ws.data(), &tol, &divbnd, &stptol, &trfac, &rmserr, &rms0,
                 &rmiss, &lwork, &maxit, &maxbnd, &maxdiv, &iter, &iter0, &nlead, &lsrch, &ireuse,
                 &istpts, &idupck, &iprint, &jupdt, &irscl, &icscl, &istor, &imiss, &iout, &iterm,
                 &icode, &mhist, &relax, hmerit.data());
  else
    ORVK_NSOLVE(&n, &nz, &neq, &nvar, &ispare, x.data(), xub.data(), xlb.data(), dxub.data(),
                xbest.data(), f.data(), irn.data(), icn.data(), bj.data(), irnum.data(),
                eqmap.data(), varmap.data(), termptr.data(), facptr.data(), facvar.data(),
                facexp.data(), rscale.data(), cscale.data(), bwork.data(), work.data(),
                ilist.data(), rwork(), ws.data(), &tol, &divbnd, &stptol, &trfac, &rmserr, &rms0,
                &rmiss, &lwork, &maxit, &maxbnd, &maxdiv, &iter, &iter0, &nlead, &lsrch, &ireuse,
                &istpts, &idupck, &iprint, &jupdt, &irscl, &icscl, &istor, &imiss, &iout, &iterm,
                &icode);
  requests.push_back(icode);
}

inline void Caller::answer() {
  if (icode >= 2 && icode <= 5) {
    p->fun(x.data(), f.data());
    ++fun_calls;
  } else if (icode == 6 || (icode == 7 && jupdt != 2)) {
    if (istor == 1)
      p->jac(x.data(), bj.data());
    else
      p->dense_jac(x.data(), bj.data());
    ++jac_calls;
  }
}

inline IWORD Caller::solve(int maxcalls) {
  call();
  for (int k = 0; k < maxcalls && icode > 0; ++k) {
    answer();
    call();
  }
  return icode;
}

}  // namespace nsolve_test
