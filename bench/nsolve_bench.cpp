// ORVK_NSOLVE on large sparse systems, side by side with KINSOL (SUNDIALS)
// and its KLU linear solver on the same problems from the same start points:
// Broyden tridiagonal and banded, 2-D Bratu, and a flowsheet-like nearly
// block-triangular system.  Each case is one whole solve per iteration; the
// counters give the residual and Jacobian evaluations of that solve, and the
// ratios of processor time ours / KINSOL are printed at the end together
// with the work space LWORK the sparse solver needed.  Without SUNDIALS only our cases run.
//
// Both solvers stop on a small residual: ORVK_NSOLVE at RMS(F) <= 1e-10 /
// sqrt(N) (step measure off), so that |F|_2 <= 1e-10, KINSOL at max|F| <=
// 1e-10, which is never stricter.
// KINSOL runs its line-search Newton method with a fresh Jacobian at every
// iteration, as ORVK_NSOLVE does; ORVK_NSOLVE takes full steps from the
// first iteration (NLEAD = 0) with its dogleg as the fall-back.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <time.h>

#include "bench_util.hpp"
#include "nsolve/nsolve.hpp"
#include "orvika/nsolve.h"
#include "orvika/sparselu.h"

#ifdef ORVIKA_HAVE_KINSOL
#include <kinsol/kinsol.h>
#include <nvector/nvector_serial.h>
#include <sunlinsol/sunlinsol_klu.h>
#include <sunmatrix/sunmatrix_sparse.h>
#endif

namespace {

// ---- problems ----------------------------------------------------------------------------

// A square system with its Jacobian pattern in compressed rows (columns
// ascending in each row) and the Jacobian values in that order.
struct Problem {
  std::string name;
  IWORD n = 0;
  std::vector<IWORD> rowptr, col;  // 0-based
  std::function<void(const double*, double*)> fun;
  std::function<void(const double*, double*)> jac;
  std::vector<double> x0;
  IWORD nz() const { return static_cast<IWORD>(col.size()); }
};

// Pattern of a band: columns i-ml .. i+mu of each row i.
void band_pattern(Problem& p, IWORD ml, IWORD mu) {
  p.rowptr.assign(1, 0);
  for (IWORD i = 0; i < p.n; ++i) {
    for (IWORD j = std::max<IWORD>(0, i - ml); j <= std::min(p.n - 1, i + mu); ++j)
      p.col.push_back(j);
    p.rowptr.push_back(static_cast<IWORD>(p.col.size()));
  }
}

// f_i = (3 - 2 x_i) x_i - x_{i-1} - 2 x_{i+1} + 1, x0 = -1.
Problem broyden_tridiagonal(IWORD n) {
  Problem p;
  p.name = "tridiagonal";
  p.n = n;
  band_pattern(p, 1, 1);
  p.fun = [n](const double* x, double* f) {
    for (IWORD i = 0; i < n; ++i)
      f[i] = (3.0 - 2.0 * x[i]) * x[i] - (i > 0 ? x[i - 1] : 0.0) -
             2.0 * (i + 1 < n ? x[i + 1] : 0.0) + 1.0;
  };
  const auto rp = p.rowptr;
  const auto cl = p.col;
  p.jac = [n, rp, cl](const double* x, double* v) {
    for (IWORD i = 0; i < n; ++i)
      for (IWORD k = rp[i]; k < rp[i + 1]; ++k)
        v[k] = cl[k] == i ? 3.0 - 4.0 * x[i] : (cl[k] < i ? -1.0 : -2.0);
  };
  p.x0.assign(n, -1.0);
  return p;
}

// f_i = x_i (2 + 5 x_i^2) + 1 - sum over j in i-5..i+1, j != i, of x_j (1 + x_j), x0 = -1.
Problem broyden_banded(IWORD n) {
  Problem p;
  p.name = "banded";
  p.n = n;
  band_pattern(p, 5, 1);
  const auto rp = p.rowptr;
  const auto cl = p.col;
  p.fun = [n, rp, cl](const double* x, double* f) {
    for (IWORD i = 0; i < n; ++i) {
      double s = x[i] * (2.0 + 5.0 * x[i] * x[i]) + 1.0;
      for (IWORD k = rp[i]; k < rp[i + 1]; ++k)
        if (cl[k] != i) s -= x[cl[k]] * (1.0 + x[cl[k]]);
      f[i] = s;
    }
  };
  p.jac = [n, rp, cl](const double* x, double* v) {
    for (IWORD i = 0; i < n; ++i)
      for (IWORD k = rp[i]; k < rp[i + 1]; ++k)
        v[k] = cl[k] == i ? 2.0 + 15.0 * x[i] * x[i] : -(1.0 + 2.0 * x[cl[k]]);
  };
  p.x0.assign(n, -1.0);
  return p;
}

// -Laplace(u) = lambda exp(u) on the unit square, u = 0 on the boundary,
// lambda = 6, five-point differences on a k x k interior grid (N = k^2),
// each equation multiplied by h^2; u0 = 0.
Problem bratu(IWORD k) {
  Problem p;
  p.name = "bratu";
  p.n = k * k;
  const double h = 1.0 / static_cast<double>(k + 1), c = 6.0 * h * h;
  p.rowptr.assign(1, 0);
  for (IWORD r = 0; r < k; ++r)
    for (IWORD s = 0; s < k; ++s) {
      const IWORD i = r * k + s;
      if (r > 0) p.col.push_back(i - k);
      if (s > 0) p.col.push_back(i - 1);
      p.col.push_back(i);
      if (s + 1 < k) p.col.push_back(i + 1);
      if (r + 1 < k) p.col.push_back(i + k);
      p.rowptr.push_back(static_cast<IWORD>(p.col.size()));
    }
  const auto rp = p.rowptr;
  const auto cl = p.col;
  const IWORD n = p.n;
  p.fun = [n, rp, cl, c](const double* u, double* f) {
    for (IWORD i = 0; i < n; ++i) {
      double s = 4.0 * u[i] - c * std::exp(u[i]);
      for (IWORD q = rp[i]; q < rp[i + 1]; ++q)
        if (cl[q] != i) s -= u[cl[q]];
      f[i] = s;
    }
  };
  p.jac = [n, rp, cl, c](const double* u, double* v) {
    for (IWORD i = 0; i < n; ++i)
      for (IWORD q = rp[i]; q < rp[i + 1]; ++q) v[q] = cl[q] == i ? 4.0 - c * std::exp(u[i]) : -1.0;
  };
  p.x0.assign(n, 0.0);
  return p;
}

// A flowsheet of units of ten variables in a chain: each unit takes the
// matching variable of the unit before it (a block-lower-triangular
// structure), couples its own variables through a neighbour and its first
// ("total flow") variable, and every twentieth unit takes a recycle from the
// unit ten places downstream.  Residuals g(x) - g(x*) with the root x*_i =
// 1 + 0.1 sin(i); x0 = 0.
Problem flowsheet(IWORD n) {
  constexpr IWORD kUnit = 10, kRecycleEvery = 20, kRecycleFrom = 10;
  Problem p;
  p.name = "flowsheet";
  const IWORD units = n / kUnit;
  p.n = units * kUnit;
  auto recycle = [units](IWORD u) { return u % kRecycleEvery == 0 && u + kRecycleFrom < units; };
  p.rowptr.assign(1, 0);
  for (IWORD u = 0; u < units; ++u)
    for (IWORD v = 0; v < kUnit; ++v) {
      const IWORD i = u * kUnit + v;
      std::vector<IWORD> c{i};
      if (u > 0) c.push_back(i - kUnit);
      if (v > 0) c.push_back(u * kUnit);
      if (v + 1 < kUnit) c.push_back(i + 1);
      if (v == 0 && recycle(u)) c.push_back(i + kRecycleFrom * kUnit);
      std::sort(c.begin(), c.end());
      p.col.insert(p.col.end(), c.begin(), c.end());
      p.rowptr.push_back(static_cast<IWORD>(p.col.size()));
    }
  const IWORD nn = p.n;
  auto g = [nn, recycle](const double* x, IWORD i) {
    const IWORD u = i / kUnit, v = i % kUnit;
    double s = 2.0 * x[i] + 0.2 * x[i] * x[i] * x[i] + 0.1 * x[i] * x[u * kUnit];
    if (u > 0) s -= 0.5 * x[i - kUnit];
    if (v + 1 < kUnit) s -= 0.3 * x[i + 1];
    if (v == 0 && recycle(u)) s -= 0.4 * x[i + kRecycleFrom * kUnit];
    return s;
  };
  auto xs = std::make_shared<std::vector<double>>(nn);
  for (IWORD i = 0; i < nn; ++i) (*xs)[i] = 1.0 + 0.1 * std::sin(static_cast<double>(i));
  auto gs = std::make_shared<std::vector<double>>(nn);
  for (IWORD i = 0; i < nn; ++i) (*gs)[i] = g(xs->data(), i);
  p.fun = [nn, g, gs](const double* x, double* f) {
    for (IWORD i = 0; i < nn; ++i) f[i] = g(x, i) - (*gs)[i];
  };
  const auto rp = p.rowptr;
  const auto cl = p.col;
  p.jac = [nn, rp, cl](const double* x, double* val) {
    for (IWORD i = 0; i < nn; ++i) {
      const IWORD u = i / kUnit, v = i % kUnit, t = u * kUnit;
      for (IWORD q = rp[i]; q < rp[i + 1]; ++q) {
        const IWORD j = cl[q];
        double d;
        if (j == i)
          d = 2.0 + 0.6 * x[i] * x[i] + 0.1 * x[t] + (v == 0 ? 0.1 * x[i] : 0.0);
        else if (j == t)
          d = 0.1 * x[i];
        else if (j == i - kUnit)
          d = -0.5;
        else if (j == i + 1)
          d = -0.3;
        else
          d = -0.4;  // recycle
        val[q] = d;
      }
    }
  };
  p.x0.assign(nn, 0.0);
  return p;
}

Problem make(int id, IWORD n) {
  switch (id) {
    case 0: return broyden_tridiagonal(n);
    case 1: return broyden_banded(n);
    case 2: return bratu(static_cast<IWORD>(std::lround(std::sqrt(static_cast<double>(n)))));
    default: return flowsheet(n);
  }
}

// Problems are built once per (kind, size) and kept.
const Problem& problem(int id, IWORD n) {
  static std::map<std::pair<int, IWORD>, Problem> cache;
  auto it = cache.find({id, n});
  if (it == cache.end()) it = cache.emplace(std::make_pair(id, n), make(id, n)).first;
  return it->second;
}

constexpr double kTol = 1e-10;

struct Outcome {
  IWORD code = 0;
  long nfe = 0, nje = 0, iters = 0;
  double resid = 0.0;    // max |F| at the end
  double seconds = 0.0;  // shortest time of a whole solve
};

// Processor time of this process: the machine may be shared, and both
// solvers run on one thread.
double now() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double max_abs_residual(const Problem& p, const double* x) {
  static std::vector<double> f;
  f.resize(p.n);
  p.fun(x, f.data());
  double m = 0.0;
  for (double v : f) m = std::max(m, std::fabs(v));
  return m;
}

// ---- ORVK_NSOLVE ---------------------------------------------------------------------------

void init_sparse_options() {
  ORVK_SPARMI.INTRAT = 1;
  ORVK_SPARMI.SPARM3 = 0;
  ORVK_INITSP();
}

// The caller's arrays of ORVK_NSOLVE for one problem, made once and kept
// from run to run as a host keeps them (fresh pages of a new allocation
// would be charged to every run).
struct NsolveArrays {
  std::vector<IWORD> irn, icn, irnum, ilist, imap, ws;
  std::vector<double> x, xub, xlb, dxub, xbest, f, bj, rs, cs, bwork, work, fe;
  explicit NsolveArrays(const Problem& p) {
    const IWORD n = p.n, nz = p.nz();
    irn.resize(nz);
    icn.resize(nz);
    for (IWORD i = 0; i < n; ++i)
      for (IWORD k = p.rowptr[i]; k < p.rowptr[i + 1]; ++k) {
        irn[k] = i + 1;
        icn[k] = p.col[k] + 1;
      }
    irnum.resize(n);
    for (IWORD i = 0; i < n; ++i) irnum[i] = i + 1;
    ilist.assign(n + 10, 0);
    imap.assign(n + 2, 0);
    xub.assign(n, 1e10);
    xlb.assign(n, -1e10);
    dxub.assign(n, 1e10);
    xbest.assign(n, 0.0);
    f.assign(n, 0.0);
    bj.assign(nz, 0.0);
    rs.assign(n, 1.0);
    cs.assign(n, 1.0);
    bwork.assign(2 * n + nz, 0.0);
    work.assign(7 * n, 0.0);
    fe.assign(1, 0.0);
  }
};

NsolveArrays& arrays(const Problem& p) {
  static std::map<const Problem*, NsolveArrays> cache;
  auto it = cache.find(&p);
  if (it == cache.end()) it = cache.emplace(&p, NsolveArrays(p)).first;
  return it->second;
}

// One run of ORVK_NSOLVE with LWORK words of work space; with FIRST_ONLY
// the run stops after the first Jacobian pass (code 1 when that pass got
// through the factorisation).
Outcome run_nsolve(const Problem& p, IWORD lwork, bool first_only = false) {
  init_sparse_options();
  const IWORD im = -999999;
  const double rmiss = 1e35;
  IWORD n = p.n, nz = p.nz(), zero = 0;
  NsolveArrays& A = arrays(p);
  A.x = p.x0;
  if (A.ws.size() < static_cast<std::size_t>(lwork)) A.ws.resize(static_cast<std::size_t>(lwork));
  // RMS(F) <= kTol / sqrt(N) bounds max|F| by kTol, as KINSOL's test does.
  double tol = kTol / std::sqrt(static_cast<double>(n)), divbnd = rmiss, stptol = rmiss,
         trfac = rmiss, rmserr = 0, rms0 = 0;
  IWORD maxit = 100, maxbnd = im, maxdiv = 50, iter = 0, iter0 = im, nlead = 0, lsrch = 0,
        ireuse = 0, istpts = 0, idupck = 0, iprint = 0, jupdt = 1, irscl = 0, icscl = 0,
        istor = 1, iout = 6, iterm = 0, icode = 0;
  Outcome o;
  for (int calls = 0; calls < 100000; ++calls) {
    ORVK_NSOLVE(&n, &nz, &zero, &zero, &zero, A.x.data(), A.xub.data(), A.xlb.data(),
                A.dxub.data(), A.xbest.data(), A.f.data(), A.irn.data(), A.icn.data(),
                A.bj.data(), A.irnum.data(), A.imap.data(), A.imap.data(), A.imap.data(),
                A.imap.data(), A.imap.data(), A.fe.data(), A.rs.data(), A.cs.data(),
                A.bwork.data(), A.work.data(), A.ilist.data(),
                reinterpret_cast<double*>(A.ws.data()), A.ws.data(), &tol, &divbnd, &stptol,
                &trfac, &rmserr, &rms0, &rmiss, &lwork, &maxit, &maxbnd, &maxdiv, &iter, &iter0,
                &nlead, &lsrch, &ireuse, &istpts, &idupck, &iprint, &jupdt, &irscl, &icscl,
                &istor, &im, &iout, &iterm, &icode);
    if (icode <= 0) break;
    if (first_only && o.nje == 1) {
      o.code = 1;
      return o;
    }
    if (icode <= 5) {
      p.fun(A.x.data(), A.f.data());
      ++o.nfe;
    } else {
      p.jac(A.x.data(), A.bj.data());
      ++o.nje;
    }
  }
  o.code = icode;
  o.iters = iter;
  o.resid = max_abs_residual(p, A.x.data());
  return o;
}

// The smallest LWORK, in steps of 1/16 of N + NZ, with which the first
// Jacobian pass gets through the sparse LU package, and whether a whole run
// with it converges.
struct Need {
  IWORD lwork = 0;
  IWORD code = 0;  // final code of a whole run at that LWORK
};
const Need& lwork_needed(int id, IWORD n) {
  static std::map<std::pair<int, IWORD>, Need> cache;
  auto it = cache.find({id, n});
  if (it != cache.end()) return it->second;
  const Problem& p = problem(id, n);
  if (const char* f = std::getenv("ORVIKA_NSOLVE_LWORK")) {
    // A fixed multiple of N + NZ, without the search (for profiles).
    Need need;
    need.lwork = static_cast<IWORD>(std::atof(f) * static_cast<double>(p.n + p.nz()));
    return cache.emplace(std::make_pair(id, n), need).first->second;
  }
  const IWORD unit = std::max<IWORD>(1, (p.n + p.nz()) / 16);
  auto ok = [&](IWORD steps) { return run_nsolve(p, steps * unit, true).code == 1; };
  IWORD hi = 16 * 8;
  while (!ok(hi)) hi *= 2;
  IWORD lo = 0;  // lo fails (or is 0), hi passes
  while (hi - lo > 1) {
    const IWORD mid = (lo + hi) / 2;
    if (ok(mid))
      hi = mid;
    else
      lo = mid;
  }
  Need need;
  need.lwork = hi * unit;
  need.code = run_nsolve(p, need.lwork).code;
  return cache.emplace(std::make_pair(id, n), need).first->second;
}

// Work space of the timed runs: a quarter above the smallest that worked.
IWORD lwork_for(int id, IWORD n) { return lwork_needed(id, n).lwork / 4 * 5; }

std::map<std::string, Outcome> g_outcomes;

void BM_Nsolve(benchmark::State& st, int id) {
  const IWORD n = st.range(0);
  const Problem& p = problem(id, n);
  const IWORD lwork = lwork_for(id, n);
  // The caller's arrays in place before the timed runs (the search for the
  // work space has done so already unless it was skipped).
  if (arrays(p).ws.size() < static_cast<std::size_t>(lwork)) run_nsolve(p, lwork);
  Outcome o;
  double best = 1e300;
  for (auto _ : st) {
    const double t0 = now();
    o = run_nsolve(p, lwork);
    best = std::min(best, now() - t0);
  }
  o.seconds = best;
  if (o.code != 0) st.SkipWithError(("final code " + std::to_string(o.code)).c_str());
  st.counters["fevals"] = static_cast<double>(o.nfe);
  st.counters["jevals"] = static_cast<double>(o.nje);
  st.counters["iters"] = static_cast<double>(o.iters);
  st.counters["maxF"] = o.resid;
  const std::string key = "nsolve/" + p.name + "/" + std::to_string(n);
  const auto seen = g_outcomes.find(key);
  if (seen != g_outcomes.end()) o.seconds = std::min(o.seconds, seen->second.seconds);
  g_outcomes[key] = o;
}

// ---- KINSOL with KLU -------------------------------------------------------------------------

#ifdef ORVIKA_HAVE_KINSOL
int kin_fun(N_Vector u, N_Vector f, void* data) {
  static_cast<const Problem*>(data)->fun(N_VGetArrayPointer(u), N_VGetArrayPointer(f));
  return 0;
}

int kin_jac(N_Vector u, N_Vector, SUNMatrix J, void* data, N_Vector, N_Vector) {
  const Problem& p = *static_cast<const Problem*>(data);
  sunindextype* rp = SUNSparseMatrix_IndexPointers(J);
  sunindextype* ci = SUNSparseMatrix_IndexValues(J);
  for (IWORD i = 0; i <= p.n; ++i) rp[i] = p.rowptr[i];
  for (IWORD k = 0; k < p.nz(); ++k) ci[k] = p.col[k];
  p.jac(N_VGetArrayPointer(u), SUNSparseMatrix_Data(J));
  return 0;
}

Outcome run_kinsol(const Problem& p) {
  SUNContext ctx = nullptr;
  SUNContext_Create(nullptr, &ctx);
  N_Vector u = N_VNew_Serial(p.n, ctx), scale = N_VNew_Serial(p.n, ctx);
  std::copy(p.x0.begin(), p.x0.end(), N_VGetArrayPointer(u));
  N_VConst(1.0, scale);
  void* mem = KINCreate(ctx);
  KINInit(mem, kin_fun, u);
  KINSetUserData(mem, const_cast<Problem*>(&p));
  KINSetFuncNormTol(mem, kTol);
  KINSetScaledStepTol(mem, 1e-300);
  KINSetNumMaxIters(mem, 100);
  KINSetMaxNewtonStep(mem, 1e10);  // from u0 = 0 the default limit is too short
  KINSetMaxSetupCalls(mem, 1);  // a fresh Jacobian at every iteration
  KINSetPrintLevel(mem, 0);
  KINSetErrFile(mem, nullptr);
  SUNMatrix J = SUNSparseMatrix(p.n, p.n, p.nz(), CSR_MAT, ctx);
  SUNLinearSolver LS = SUNLinSol_KLU(u, J, ctx);
  KINSetLinearSolver(mem, LS, J);
  KINSetJacFn(mem, kin_jac);
  const int flag = KINSol(mem, u, KIN_LINESEARCH, scale, scale);
  Outcome o;
  o.code = flag >= 0 ? 0 : flag;
  long v = 0;
  KINGetNumFuncEvals(mem, &v);
  o.nfe = v;
  KINGetNumJacEvals(mem, &v);
  o.nje = v;
  KINGetNumNonlinSolvIters(mem, &v);
  o.iters = v;
  o.resid = max_abs_residual(p, N_VGetArrayPointer(u));
  KINFree(&mem);
  SUNLinSolFree(LS);
  SUNMatDestroy(J);
  N_VDestroy(u);
  N_VDestroy(scale);
  SUNContext_Free(&ctx);
  return o;
}

void BM_Kinsol(benchmark::State& st, int id) {
  const IWORD n = st.range(0);
  const Problem& p = problem(id, n);
  static std::map<const Problem*, bool> warm;
  if (!warm[&p]) run_kinsol(p);  // the same warm start as ours
  warm[&p] = true;
  Outcome o;
  double best = 1e300;
  for (auto _ : st) {
    const double t0 = now();
    o = run_kinsol(p);
    best = std::min(best, now() - t0);
  }
  o.seconds = best;
  if (o.code != 0) st.SkipWithError(("KINSol flag " + std::to_string(o.code)).c_str());
  st.counters["fevals"] = static_cast<double>(o.nfe);
  st.counters["jevals"] = static_cast<double>(o.nje);
  st.counters["iters"] = static_cast<double>(o.iters);
  st.counters["maxF"] = o.resid;
  const std::string key = "kinsol/" + p.name + "/" + std::to_string(n);
  const auto seen = g_outcomes.find(key);
  if (seen != g_outcomes.end()) o.seconds = std::min(o.seconds, seen->second.seconds);
  g_outcomes[key] = o;
}
#endif

// ---- the Broyden update's duplicate mask ---------------------------------------------------

// The first sparse Broyden update of a run with the duplicate check on: it
// builds the mask of repeated positions, then updates.
void BM_SbroydFirstUpdate(benchmark::State& st) {
  const IWORD n = st.range(0);
  const Problem& p = problem(0, n);
  const IWORD nz = p.nz();
  std::vector<IWORD> irn(nz), icn(nz), mask(nz);
  for (IWORD i = 0; i < n; ++i)
    for (IWORD k = p.rowptr[i]; k < p.rowptr[i + 1]; ++k) {
      irn[k] = i + 1;
      icn[k] = p.col[k] + 1;
    }
  std::vector<double> a(nz, 1.0), xold(n, 0.0), x(n, 1.0), fold(n, 0.0), f(n, 2.0), w(3 * n);
  for (auto _ : st) {
    LWORD first = ORVK_TRUE;
    orvika::SBROYD(n, n, nz, xold.data(), x.data(), fold.data(), f.data(), irn.data(),
                   icn.data(), a.data(), w.data(), mask.data(), first, 1, 1);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_SbroydFirstUpdate)->Arg(60000)->Arg(120000)->Unit(benchmark::kMillisecond);

struct Kind {
  int id;
  const char* name;
  std::vector<int64_t> sizes;
};
const Kind kKinds[] = {{0, "tridiagonal", {10000, 100000}},
                       {1, "banded", {10000, 100000}},
                       {2, "bratu", {10000, 100000}},
                       {3, "flowsheet", {100000}}};

}  // namespace

int main(int argc, char** argv) {
  // One whole solve per run; the shortest of a few runs counts (one run only
  // where a solve takes a minute).
  for (const Kind& k : kKinds)
    for (int64_t n : k.sizes) {
      const int id = k.id;
      const int reps = n <= 10000 ? 5 : (id == 2 ? 1 : 3);
      benchmark::RegisterBenchmark((std::string("nsolve/") + k.name).c_str(),
                                   [id](benchmark::State& st) { BM_Nsolve(st, id); })
          ->Arg(n)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps);
#ifdef ORVIKA_HAVE_KINSOL
      benchmark::RegisterBenchmark((std::string("kinsol/") + k.name).c_str(),
                                   [id](benchmark::State& st) { BM_Kinsol(st, id); })
          ->Arg(n)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps);
#endif
    }
  orvika_bench::RatioReporter rep;
  orvika_bench::run_all(argc, argv, rep);

  // Time ratios ours / KINSOL and the evaluations of each solve.
  std::printf("\n%-12s %7s %8s %9s %9s %8s %8s %8s %8s %10s %s\n", "problem", "N", "NZ",
              "ours [s]", "KIN [s]", "ratio", "fe/KIN", "je/KIN", "code", "LWORK", "/(N+NZ)");
  for (const Kind& k : kKinds)
    for (int64_t n : k.sizes) {
      const std::string key = std::string(k.name) + "/" + std::to_string(n);
      const auto mine = g_outcomes.find("nsolve/" + key);
      if (mine == g_outcomes.end()) continue;
      const Problem& p = problem(k.id, n);
      const Need& need = lwork_needed(k.id, n);
      const Outcome& o = mine->second;
      const auto peer = g_outcomes.find("kinsol/" + key);
      const bool both = peer != g_outcomes.end() && peer->second.seconds > 0.0;
      const Outcome q = both ? peer->second : Outcome{};
      char fe[32], je[32], tk[16] = "-", ratio[16] = "-";
      std::snprintf(fe, sizeof fe, both ? "%ld/%ld" : "%ld/-", o.nfe, q.nfe);
      std::snprintf(je, sizeof je, both ? "%ld/%ld" : "%ld/-", o.nje, q.nje);
      if (both) {
        std::snprintf(tk, sizeof tk, "%.3f", q.seconds);
        std::snprintf(ratio, sizeof ratio, "%.2f", o.seconds / q.seconds);
      }
      std::printf("%-12s %7ld %8ld %9.3f %9s %8s %8s %8s %8ld %10ld %7.1f%s\n", k.name,
                  static_cast<long>(p.n), static_cast<long>(p.nz()), o.seconds, tk, ratio, fe,
                  je, static_cast<long>(o.code),
                  static_cast<long>(need.lwork),
                  static_cast<double>(need.lwork) / static_cast<double>(p.n + p.nz()),
                  need.code == 0 ? "" : "  (a whole run at it fails)");
    }
  return 0;
}
