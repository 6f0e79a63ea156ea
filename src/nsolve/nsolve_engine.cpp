// The iteration of ORVK_NSOLVE and ORVK_NSOLVE2: start call, residual pass
// and tests, Jacobian pass (scaling, Broyden update, Newton step through
// nsolve_linsolve.cpp), trial set-ups and their judgement.  The prints are
// in nsolve_messages.cpp.
#include <algorithm>
#include <cmath>
#include <limits>

#include "frame/views.hpp"
#include "nsolve/nsolve_engine.hpp"
#include "orvika/kernels_vector.h"
#include "orvika/sparselu.h"
#include "orvika/tearconv_newton.h"
#include "sparselu/sparselu.hpp"

namespace orvika::nsolve {

// ---- the call ----------------------------------------------------------------------------

void Engine::run() {
  if (*a_.ISTOR == 2 && N >= 0 && N <= kMaxDenseOrder) *a_.NZ = N * N;
  const IWORD code = ICODE;
  if (code == 0 || code == 1 || code >= 8) {
    start();
    return;
  }
  if (N < 1) return;
  // The work positions a resumed call relies on must lie inside the work
  // space (a call out of turn, or state restored from another run).
  if (!sparse() && (N > kMaxDenseOrder || lwork() < 11 * N + 2 * N * N)) {
    finish(-6);
    return;
  }
  if (sparse() && code >= 3 && code <= 5) {
    SparsePos p;
    if (!result_positions(p)) {
      finish(-6);
      return;
    }
  }
  switch (code) {
    case 2: residual_pass(); break;
    case 3: judge_full(); break;
    case 4: judge_dogleg(); break;
    case 5:
      if (v2_)
        judge_relax();
      else
        judge_search();
      break;
    default: jacobian_pass(); break;  // 6 or 7
  }
}

void Engine::finish(IWORD code) {
  ICODE = code;
  if (code >= 0 || iprint() < 5) return;
  print_failure(code);
}

// ---- start call ----------------------------------------------------------------------------

void Engine::defaults() {
  const IWORD im = *a_.IMISS;
  const double rm = *a_.RMISS;
  auto idef = [im](IWORD* p, IWORD d) {
    if (*p == im) *p = d;
  };
  // A real option that is not a number counts as missing.
  auto rdef = [rm](double* p, double d) {
    if (std::isnan(*p) || *p >= rm) *p = d;
  };
  idef(a_.ICSCL, 0);
  idef(a_.IRSCL, 0);
  idef(a_.IREUSE, 0);
  idef(a_.LSRCH, v2_ ? 1 : 0);
  idef(a_.ISTPTS, 1);
  idef(a_.JUPDT, 1);
  idef(a_.ITER0, 0);
  // The count before the first (word 20 of the state, ITER0 - 1) must be an
  // integer: the lowest integer cannot start the count.
  if (*a_.ITER0 == std::numeric_limits<IWORD>::min()) *a_.ITER0 += 1;
  idef(a_.NLEAD, v2_ ? 0 : 2);
  idef(a_.IOUT, 6);
  idef(a_.MAXIT, 10);
  // A third of MAXIT, but at least 1: a limit of 0 would end every run with
  // MAXIT below 3 at its first pass.
  idef(a_.MAXBND, std::max<IWORD>(1, *a_.MAXIT / 3));
  idef(a_.MAXDIV, std::max<IWORD>(1, *a_.MAXIT / 3));
  rdef(a_.TRFAC, 0.1);
  rdef(a_.TOL, 1e-6);
  rdef(a_.STPTOL, 0.01);
  rdef(a_.DIVBND, 1e15);
  // Scaling modes are 0 to 3; any other value would scale the vectors and
  // not the matrix (or the reverse), so it takes the default.
  if (*a_.IRSCL < 0 || *a_.IRSCL > 3) *a_.IRSCL = 0;
  if (*a_.ICSCL < 0 || *a_.ICSCL > 3) *a_.ICSCL = 0;
  if (v2_) {
    IWORD& m = *a_.MHIST;
    if (m == im) m = 6;  // the marker itself; any other value is the caller's
    m = std::min<IWORD>(m, 20);
    if (m < 2) m = 1;
    double& r = *a_.RELAX;
    if (std::isnan(r) || r >= rm) r = 20.0;
    r = std::clamp(r, 1.0, 1e4);
  }
}

// Input checks of a start call: 0, or the final code that ends the run.
IWORD Engine::validate() {
  if (N < 0) return -4;
  const IWORD L = lwork();
  if (sparse()) {
    const IWORD nz = *a_.NZ;
    if (nz < 0) return -4;
    for (IWORD k = 0; k < nz; ++k)
      if (a_.IRN[k] < 1 || a_.IRN[k] > N || a_.ICN[k] < 1 || a_.ICN[k] > N) return -4;
    SparsePos p;
    if (!layout(p)) return -6;
  } else {
    // Dense: 9N + 2N^2 words of the table, and 2N more for the bounded
    // step's 3N-word work at the last position.
    if (N > kMaxDenseOrder || L < 11 * N + 2 * N * N) return -6;
  }
  // Structural scaling keeps the variable and equation sizes in WORK (7N).
  if (*a_.IRSCL == 1 || *a_.ICSCL == 1) {
    const IWORD nv = std::max<IWORD>(*a_.NVAR, 0), ne = std::max<IWORD>(*a_.NEQ, 0);
    if (nv > 7 * N || ne > 7 * N || 2 * nv + ne > 7 * N) return -6;
  }
  return 0;
}

void Engine::start() {
  defaults();
  ITER = *a_.ITER0;
  RMSERR = 0.0;
  if (N == 0) {
    ICODE = 0;
    return;
  }
  if (const IWORD code = validate(); code != 0) {
    finish(code);
    return;
  }
  const IWORD im = *a_.IMISS;
  const double rm = *a_.RMISS;
  if (sparse()) {
    if (*a_.IREUSE == 0) {
      const IWORD def_words[10] = {2, 1, 2, 1, 2, 1, 1, N, 1, *a_.IOUT};
      const Vec1<const IWORD> def(def_words, 10);
      const IV opt = spopt2_words(ORVK_SPOPT2);
      for (int k = 1; k <= 10; ++k)
        if (opt(k) == im) opt(k) = def(k);
      double* p1[3] = {&ORVK_SPOPT1.PIVTL1, &ORVK_SPOPT1.PIVTL2, &ORVK_SPOPT1.SPCFAC};
      const double d1[3] = {1e-4, 1e-4, 1.0};
      for (int k = 0; k < 3; ++k)
        if (std::isnan(*p1[k]) || *p1[k] >= rm) *p1[k] = d1[k];
      SparsePos p;
      layout(p);
      set_positions(p);
    }
  } else {
    const IWORD n2 = N * N;
    ORVK_SPOPT2.IB = 1;
    ORVK_SPOPT2.IA = 6 * N + 1;
    ORVK_SPOPT2.X = 3 * N + 1;
    ORVK_SPOPT2.ROWSC = N + 1;
    ORVK_SPOPT2.COLSC = 2 * N + 1;
    ORVK_NWOPT1 = {4 * N + 1, 5 * N + 1, 6 * N + n2 + 1, 6 * N + 2 * n2 + 1, 7 * N + 2 * n2 + 1,
                   8 * N + 2 * n2 + 1};
  }
  const bool bro = *a_.JUPDT == 2;
  S1 = ORVK_NSOLV1_T{};
  S1.IFS = 6 * N + 1;
  S1.IFSOLD = bro ? N + 1 : 0;
  S1.IMASK = bro ? 2 * N + 1 : 0;
  S1.IFSAV = N + 1;
  S1.LSACT = v2_ ? 0 : *a_.LSRCH;
  S1.IXS = 5 * N + 1;
  S1.BRFRST = ORVK_TRUE;
  S1.FIRSTJ = ORVK_TRUE;
  S1.ITERM1 = *a_.ITER0 - 1;
  S2.DELTA = 0.0;
  S2.DELMAX = 0.0;
  S2.STEP = 1.0;
  S2.RMSBST = 1e35;
  S2.RMSOLD = 1e35;
  S2.STPMSR = *a_.ISTPTS != 0 ? rm : 0.0;
  S2.RMSBAS = 0.0;
  S2.RMSTGT = 0.0;
  if (!v2_) {
    S2.STEP0 = 1.0;
    S2.SMAX = 2.0;
    S2.STOL = 0.1;
  }
  S2.SQRTN = std::sqrt(static_cast<double>(N));
  for (IWORD i = 0; i < N; ++i) a_.XBEST[i] = a_.X[i];

  print_start();
  ICODE = 2;
}

// ---- scaled quantities ---------------------------------------------------------------------

void Engine::rcscal() {
  RCSCAL(N, N, nzd(), irscl(), icscl(), *a_.ISTOR, *a_.NEQ, a_.EQMAP, *a_.NVAR, a_.VARMAP,
         a_.TERMPTR, a_.ISPARE, a_.FACPTR, a_.FACVAR, a_.FACEXP, a_.F, a_.X, a_.IRN, a_.ICN, a_.BJ,
         a_.RSCALE, a_.CSCALE, a_.WORK);
}

void Engine::scale_x() { SSCALV(N, 1, icscl(), a_.X, a_.CSCALE, XS()); }

void Engine::scale_point() {
  scale_x();
  SSCALV(N, 1, irscl(), a_.F, a_.RSCALE, FS());
  VCLAMP(N, 0.0, kBig, FS());
}

double Engine::rms() const {
  const IWORD k = 0;
  return ORVK_AP2NRM(&N, &k, FS()) / std::sqrt(static_cast<double>(N));
}

// A trial point whose residuals are not all finite numbers.
bool Engine::trial_bad() const {
  for (IWORD i = 0; i < N; ++i)
    if (!std::isfinite(a_.F[i])) return true;
  return false;
}

// X := U(BASE, DX, T): the bounded update; the upper bound is a hard clip,
// a lower bound is approached by at most 0.999 of the remaining gap.
void Engine::update(const double* base, double t) {
  for (IWORD i = 0; i < N; ++i) {
    const double b = base[i], s = unscaled_step(i);
    const double lo = b + 0.999 * (a_.XLB[i] - b);
    const double mv = b + std::copysign(std::fmin(a_.DXUB[i], t * std::fabs(s)), s);
    a_.X[i] = std::fmax(lo, std::fmin(a_.XUB[i], mv));
  }
  scale_x();
}

void Engine::bndstp_from(const double* base, double lambda) {
  BNDSTP(2, N, 1, base, lambda, icscl(), a_.CSCALE, DX(), a_.X, a_.DXUB, a_.XLB, a_.XUB);
  scale_x();
}

void Engine::restore_base() {
  for (IWORD i = 0; i < N; ++i) {
    a_.X[i] = WB()[i];
    a_.F[i] = FB()[i];
  }
  scale_point();
  RMSERR = rms();
}

// The dogleg base (kept in its work) back into XS, FS, X and F.
void Engine::restore_dogleg_base() {
  const double* w = DW();
  for (IWORD i = 0; i < N; ++i) {
    XS()[i] = w[2 * N + i];
    FS()[i] = w[3 * N + i];
  }
  SSCALV(N, 2, icscl(), a_.X, a_.CSCALE, XS());
  SSCALV(N, 2, irscl(), a_.F, a_.RSCALE, FS());
  // Unscaling can round a base on (or next to) a bound to just outside it;
  // a base whose scaled value lies within a bound is put back on the bound.
  if (icscl() != 0)
    for (IWORD i = 0; i < N; ++i) {
      const double c = a_.CSCALE[i], xs = XS()[i];
      if (a_.X[i] < a_.XLB[i] && xs >= a_.XLB[i] / c)
        a_.X[i] = a_.XLB[i];
      else if (a_.X[i] > a_.XUB[i] && xs <= a_.XUB[i] / c)
        a_.X[i] = a_.XUB[i];
    }
  RMSERR = rms();
}

// ---- residual pass and tests -----------------------------------------------------------

void Engine::residual_pass() {
  const bool first = is_true(S1.FIRSTJ);
  if (first && (irscl() == 2 || icscl() == 2)) {
    ICODE = 6;  // the scale factors need the Jacobian
    return;
  }
  if (first) rcscal();
  residual_rest();
}

// Steps after the scale factors: scaled point, RMS, first-pass set-up, the
// iteration block and the tests.  True when the tests ask for a Jacobian.
bool Engine::residual_rest() {
  scale_point();
  RMSERR = rms();
  if (ITER == 0) *a_.RMS0 = RMSERR;
  if (is_true(S1.FIRSTJ)) {
    if (*a_.JUPDT == 2)
      for (IWORD i = 0; i < N; ++i) {
        a_.BWORK[i] = XS()[i];
        a_.BWORK[N + i] = FS()[i];
      }
    const IWORD k = 0;
    S2.DELTA = *a_.TRFAC * ORVK_AP2NRM(&N, &k, XS());
    // A start at the origin would give a radius of 0 that never grows.
    if (S2.DELTA == 0.0) S2.DELTA = *a_.TRFAC;
    S2.DELMAX = 10.0 * S2.DELTA;
  }
  print_block();
  return tests();
}

bool Engine::tests() {
  const double r = RMSERR;
  if (r < S2.RMSOLD)
    S1.NDIV = 0;
  else
    ++S1.NDIV;
  S2.RMSOLD = r;
  bool want = false;
  const IWORD maxit = *a_.MAXIT;
  if (r < 0.01 * *a_.TOL || (r <= *a_.TOL && S2.STPMSR <= *a_.STPTOL)) {
    finish(0);
  } else if (S1.RESTOR == 1) {
    finish(ITER >= maxit ? -1 : -2);
  } else {
    const bool big = std::isnan(r) || r > *a_.DIVBND;
    const IWORD nb = S1.NLIST;
    if (nb == 0 && ITER >= maxit) {
      finish(-1);
    } else if ((nb == 0 && big) || (nb > 0 && (big || ITER >= maxit)) || S1.NDIV >= *a_.MAXDIV) {
      if (std::isnan(r) || r > S2.RMSBST) {
        for (IWORD i = 0; i < N; ++i) a_.X[i] = a_.XBEST[i];
        scale_x();
        S1.RESTOR = 1;
        ICODE = 2;
      } else {
        finish(ITER < maxit ? -2 : -1);
      }
    } else {
      ICODE = is_true(S1.FIRSTJ) ? 6 : 7;
      want = true;
    }
  }
  S1.FIRSTJ = ORVK_FALSE;
  return want;
}

// ---- Jacobian pass ------------------------------------------------------------------------

void Engine::jacobian_pass() {
  const IWORD entered = ICODE;
  if (is_true(S1.FIRSTJ) && entered == 6 && (irscl() == 2 || icscl() == 2)) {
    rcscal();
    if (!residual_rest()) return;
  }
  const bool broyden = entered == 7 && *a_.JUPDT == 2;
  const bool ok = sparse() ? solve_sparse(broyden) : solve_dense(broyden);
  if (!ok) return;
  // A Newton step that is not a finite vector (a Jacobian with entries that
  // are not finite) has no use: the Jacobian counts as numerically singular.
  for (IWORD i = 0; i < N; ++i)
    if (!std::isfinite(DX()[i])) {
      finish(-5);
      return;
    }
  if (v2_)
    after_solve2();
  else
    after_solve();
}

// Bound violation of the full Newton step, written over the right-hand side.
void Engine::compute_viol() {
  for (IWORD i = 0; i < N; ++i) {
    const double t = a_.X[i] + unscaled_step(i);
    double v = t - std::fmin(a_.XUB[i], std::fmax(a_.XLB[i], t));
    if (icscl() > 0) v /= a_.CSCALE[i];
    a_.RWORK[i] = v;
  }
}

void Engine::after_solve() {
  S1.LSACT = *a_.LSRCH;
  *a_.IREUSE = 1;
  compute_viol();
  if (iprint() >= 5) {
    largest("Largest scaled Newton step", 2, DX(), a_.CSCALE, 1e-20);
    largest("Largest scaled Newton bound violation", 2, a_.RWORK, a_.CSCALE, 1e-20);
  }
  VCLAMP(N, 0.0, kBig, DX());
  // Variables whose full step leaves the box (none within 1e-5 of a bound).
  S1.NLIST = 0;
  for (IWORD i = 0; i < N; ++i) {
    const double x = a_.X[i];
    if (std::fabs(x - a_.XLB[i]) < 1e-5 || std::fabs(x - a_.XUB[i]) < 1e-5) continue;
    const double t = x + unscaled_step(i);
    if (t > a_.XUB[i] || t < a_.XLB[i]) a_.ILIST[S1.NLIST++] = i + 1;
  }
  // Best point.
  if (first_step() || (S1.GLOBAL == 1 && S1.NLIST == 0)) S2.RMSBST = *a_.RMISS;
  if (RMSERR < S2.RMSBST) {
    for (IWORD i = 0; i < N; ++i) a_.XBEST[i] = a_.X[i];
    S2.RMSBST = RMSERR;
  }
  if (S1.NLIST > 0) {
    ++S1.NBND;
    S1.TRIAL = 1;
    if (S1.NBND > *a_.MAXBND) {
      finish(-3);
      return;
    }
    S2.STEP = 1.0;
    glob();
    return;
  }
  S1.NBND = 0;
  if (*a_.MAXBND < 0) {
    finish(-3);
    return;
  }
  S2.STEP = 1.0;
  if (ITER >= *a_.NLEAD)
    full();
  else
    glob();
}

void Engine::after_solve2() {
  *a_.IREUSE = 1;
  compute_viol();
  if (iprint() >= 5) {
    largest("Largest scaled Newton step", 2, DX(), a_.CSCALE, 1e-20);
    largest("Largest scaled Newton bound violation", 2, a_.RWORK, a_.CSCALE, 0.0);
  }
  VCLAMP(N, 0.0, kBig, DX());
  // Bound list with sides (+i upper, -i lower), and the step lengths with
  // and without the box.
  double SU = 0.0, SB = 0.0;
  S1.NLIST = 0;
  for (IWORD i = 0; i < N; ++i) {
    const double x = a_.X[i];
    SU += std::fabs(DX()[i]);
    const double t = x + unscaled_step(i);
    const double tol = 1e-6 * std::fmax(std::fabs(x), 1e-6);
    if (t > a_.XUB[i] + tol)
      a_.ILIST[S1.NLIST++] = i + 1;
    else if (t < a_.XLB[i] - tol)
      a_.ILIST[S1.NLIST++] = -(i + 1);
    const double c = std::fmin(a_.XUB[i], std::fmax(a_.XLB[i], t));
    double d = std::fabs(c - x);
    // A step too short to change X(i) in floating point is cut by the box
    // only when it points out of the box from a bound; otherwise it keeps
    // its own length.
    const double s = unscaled_step(i);
    if (t == x && c == x && !(s > 0.0 ? x >= a_.XUB[i] : x <= a_.XLB[i])) d = std::fabs(s);
    if (icscl() > 0) d /= a_.CSCALE[i];
    SB += d;
  }
  if (first_step() || (S1.GLOBAL == 1 && S1.NLIST == 0)) S2.RMSBST = *a_.RMISS;
  if (RMSERR < S2.RMSBST) {
    for (IWORD i = 0; i < N; ++i) a_.XBEST[i] = a_.X[i];
    S2.RMSBST = RMSERR;
  }
  const bool held = S1.NLIST > 0;
  if (held) {
    ++S1.NBND;
    S1.TRIAL = 1;
  } else {
    S1.NBND = 0;
    S1.TRIAL = 0;
  }
  const double ratio = SU > 0.0 ? SB / SU : 0.0;
  bool stop;
  if (1e-5 * SU > SB) {
    ++S1.LSACT;
    stop = S1.NBND > *a_.MAXBND || S1.LSACT > 3;
  } else {
    S1.LSACT = 0;
    stop = S1.NBND > *a_.MAXBND;
  }
  if (stop) {
    if (iprint() >= 4) print_bound_block(ratio);
    finish(-3);
    return;
  }
  if (held && iprint() >= 6) print_bound_block(ratio);
  merit_history();
  const IWORD lsrch = *a_.LSRCH, nlead = *a_.NLEAD;
  if (held) {
    if (lsrch != 0 && ITER >= nlead)
      relax_search();
    else
      dogleg_setup();
  } else if (ITER < nlead) {
    dogleg_setup();
  } else if (lsrch == 0) {
    full();
  } else {
    relax_search();
  }
}

// Non-monotone reference: the merit history shifted by one, the newest
// value relaxed by a factor that falls to 1 as the history fills.  Only the
// values stored by this run (word 14 counts them) enter the reference;
// whatever an earlier run or the caller left in HMERIT takes no part.
void Engine::merit_history() {
  const IWORD M = std::clamp<IWORD>(*a_.MHIST, 1, 20);
  const Vec1<double> H(a_.HMERIT, M);
  const IWORD stored = std::clamp<IWORD>(S1.IPT, 0, M);  // values of this run before this pass
  S1.IPT = std::min(stored + 1, M);
  double MX = 0.0;
  if (M >= 2) {
    for (IWORD k = M; k >= 2; --k) H(k) = H(k - 1);
    // After the shift the values of this run are H(2..stored+1), at most H(M).
    for (IWORD k = 2; k <= std::min(stored + 1, M); ++k)
      if (H(k) > MX) MX = H(k);  // an entry that is not a number takes no part
  }
  const IWORD c = S1.IPT;
  const double relax = *a_.RELAX;
  double rf;
  if (c >= 7 || c == M)
    rf = 1.0;
  else if (c <= 2)
    rf = relax;
  else if (c <= 4)
    rf = std::sqrt(relax);
  else
    rf = std::sqrt(std::sqrt(relax));
  H(1) = rf * RMSERR;
  S2.SMAX = std::fmax(MX, H(1));
  S2.STEP = 1.0;
  S2.RMSBAS = RMSERR;
}

// ---- trial set-ups --------------------------------------------------------------------

// The base of a trial: WB := X, FB := F.
void Engine::keep_base() {
  for (IWORD i = 0; i < N; ++i) {
    WB()[i] = a_.X[i];
    FB()[i] = a_.F[i];
  }
}

// The full step from X (ORVK_NSOLVE2: cut back to the box by BNDSTP).
void Engine::unit_step() {
  if (v2_) {
    S2.STEP = 1.0;
    bndstp_from(a_.X, 1.0);
  } else {
    update(a_.X, 1.0);
  }
}

// The step DOGLEG has just computed becomes the trial (request 4).
void Engine::dogleg_trial() {
  print_dogleg_step();
  unit_step();
  ICODE = 4;
}

void Engine::full() {
  keep_base();
  S1.TRIAL = 1;
  S1.GLOBAL = 0;
  unit_step();
  ICODE = 3;
}

void Engine::glob() {
  S1.TRIAL = 1;
  S1.GLOBAL = 1;
  if (v2_) {
    dogleg_setup();
    return;
  }
  if (S1.NLIST > 0 && iprint() >= 6) print_bound_list();
  if (S1.LSACT == 0)
    dogleg_setup();
  else
    line_search();
}

void Engine::dogleg_setup() {
  S1.TRIAL = 1;
  S1.GLOBAL = 1;
  if (iprint() >= 5) print_strategy("NSOLVE: *** DOGLEG STRATEGY USED ***");
  for (IWORD i = 0; i < N; ++i) WB()[i] = DX()[i];
  S2.DELTA = std::fmin(S2.DELTA, S2.DELMAX);
  if (!call_dogleg(1)) return;
  dogleg_trial();
}

void Engine::line_search() {
  if (iprint() >= 5) print_strategy("NSOLVE: *** ONE-DIMENSIONAL SEARCH PERFORMED ***");
  keep_base();
  S2.STEP = 0.0;
  S2.RMSBAS = RMSERR;
  S1.IPT = 0;
  S2.RMSTGT = std::fmax(*a_.TOL, 0.75 * RMSERR);
  S1.NSRCH = 0;
  search_trial();
}

void Engine::search_trial() {
  ++S1.NSRCH;
  ORVK_SEARCH(&S1.IPT, &S2.STEP, &RMSERR, &S2.STOL, &S2.STOL, &S2.STEP0, &S2.SMAX, sv_.SW);
  S2.STEP = std::fmax(1e-6, S2.STEP);
  update(WB(), S2.STEP);
  if (iprint() >= 5) print_search();
  ICODE = 5;
}

void Engine::relax_search() {
  S1.TRIAL = 1;
  S1.GLOBAL = 1;
  S2.RMSOLD = S2.SMAX;
  if (iprint() >= 5) print_strategy("NSOLVE: *** ONE-DIMENSIONAL SEARCH PERFORMED ***");
  keep_base();
  BNDSTP(1, N, 1, WB(), S2.STEP, icscl(), a_.CSCALE, DX(), a_.X, a_.DXUB, a_.XLB, a_.XUB);
  S1.NSRCH = 1;
  bndstp_from(WB(), S2.STEP);
  ICODE = 5;
}

// ---- trial judgement --------------------------------------------------------------------

void Engine::judge_full() {
  const double old = RMSERR;
  scale_point();
  RMSERR = rms();
  if (!trial_bad() && RMSERR < std::fmax(0.1, std::fmin(*a_.DIVBND, 10.0 * old))) {
    accept();
    return;
  }
  restore_base();
  glob();
}

void Engine::judge_dogleg() {
  scale_point();
  RMSERR = rms();
  const bool bad = trial_bad();
  if (S1.ICOUNT >= 5) {
    // The fifth trial stands without judgement, unless it has no finite
    // residuals: then the base point stands.
    if (bad) restore_dogleg_base();
    accept();
    return;
  }
  if (bad) {
    // Rejected without judgement: the clamped residuals of such a trial can
    // have a sum of squares at or below the base's, and a judgement that
    // keeps the trial overwrites the gradient the next step is taken from.
    const IWORD k = 0;
    S2.DELTA = 0.5 * ORVK_AP2NRM(&N, &k, DX());
    S1.IREJ = 1;
  } else if (!call_dogleg(2)) {
    return;
  }
  if (S1.IREJ == 0) {
    accept();
    return;
  }
  S2.DELTA = std::fmin(S2.DELTA, S2.DELMAX);
  restore_dogleg_base();
  if (!call_dogleg(3)) return;
  dogleg_trial();
}

void Engine::judge_search() {
  scale_point();
  RMSERR = rms();
  const bool bad = trial_bad();
  const IWORD ipt = S1.IPT;
  if (!bad && (ipt == 0 || (ipt == 1 && RMSERR <= S2.RMSTGT))) {
    accept();
    return;
  }
  if (ipt == 0 || S1.NSRCH >= 5 || S2.STEP <= 1e-6) {
    if (!bad && RMSERR < S2.RMSBAS) {
      accept();
      return;
    }
    // The search failed: back to the base, and the dogleg.
    S1.LSACT = 0;
    restore_base();
    glob();
    return;
  }
  search_trial();
}

void Engine::judge_relax() {
  scale_point();
  const double r = rms();
  double& lambda = S2.STEP;
  S2.RMSTGT = S2.SMAX - 0.1 * S2.RMSBAS * lambda;
  RMSERR = r;
  if (iprint() >= 5) print_relax(r);
  const bool bad = trial_bad();
  const bool last = S1.NSRCH >= 6 || lambda <= 1e-6;
  if (!bad && (r <= S2.RMSTGT || last)) {
    accept();
    return;
  }
  if (bad && last) {
    // No finite residuals at the last trial: back to the base, and the dogleg.
    restore_base();
    dogleg_setup();
    return;
  }
  double t = 0.5 * lambda / ((r / S2.RMSBAS - 1.0) + lambda);
  if (std::isnan(t)) t = 0.25;
  t = std::fmin(t, 0.75);
  t = std::fmax(t, 0.25);
  lambda = std::fmax(1e-6, lambda * t);
  ++S1.NSRCH;
  bndstp_from(WB(), lambda);
  ICODE = 5;
}

double Engine::step_measure() const {
  double s = 0.0;
  const double* dx = DX();
  const double* xs = XS();
  for (IWORD i = 0; i < N; ++i) {
    double r;
    if (v2_) {
      const double q = icscl() > 0 ? xs[i] / a_.CSCALE[i] : xs[i];
      r = std::fmin(kBig, std::fabs(dx[i]) / std::fmax(1e-3, std::fabs(q)));
    } else {
      r = std::fabs(xs[i]) > 1e-15 ? std::fabs(dx[i] / xs[i]) : std::fabs(dx[i]);
      r = std::clamp(r, 1e-15, kBig);
    }
    s += r * r;
  }
  const double m = std::sqrt(s / static_cast<double>(N));
  return v2_ ? m : S2.STEP * m;
}

// ITER = ITER0 + 1: the pass after the first accepted step (no count
// follows the largest integer).
bool Engine::first_step() const {
  return *a_.ITER0 < std::numeric_limits<IWORD>::max() && ITER == *a_.ITER0 + 1;
}

void Engine::accept() {
  // The count stops at the largest integer (reached only by calls out of turn).
  if (ITER < std::numeric_limits<IWORD>::max()) ++ITER;
  if (*a_.ISTPTS != 0) S2.STPMSR = step_measure();
  if (S1.TRIAL == 1) {
    print_block();
    tests();
  } else {
    ICODE = 2;
  }
}


}  // namespace orvika::nsolve

namespace orvika {

void nsolve_drive(const NsolveArgs& a, int variant, NsolveSaved& saved) {
  // A negative code ends nothing and starts nothing: it is read before any
  // other argument, which the caller may not have set.
  if (*a.ICODE < 0) return;
  nsolve::Engine e(a, variant, saved);
  e.run();
}

}  // namespace orvika
