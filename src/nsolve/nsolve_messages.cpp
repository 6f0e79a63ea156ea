// Prints of ORVK_NSOLVE and ORVK_NSOLVE2: the failure messages, the start
// vectors, the iteration block with its largest entries, the host terminal
// history, the Jacobian and solve dumps, the strategy and trial lines and
// the bound lists.
#include <algorithm>
#include <string_view>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/lines.hpp"
#include "frame/units.hpp"
#include "nsolve/nsolve_engine.hpp"
#include "orvika/host.h"

namespace orvika::nsolve {

namespace {

// ---- printed layouts ------------------------------------------------------------------

// Pairs of an index and a value, six to a line: 1P, (1X, 6(I6, E15.7)); no
// pairs: an empty line.  IDX null: the indices 1..N.
void put_pairs(IWORD unit, IWORD n, const IWORD* idx, const double* v) {
  const Vec1<const IWORD> index(idx, n);
  const Vec1<const double> value(v, n);
  value_lines(unit, n, 6, 1, [&](Rec& r, IWORD k) {
    r.I(idx ? index(k + 1) : k + 1, 6).E(value(k + 1), 15, 7, 1);
  });
}
// A blank line, 2X and the title.
void put_title(IWORD unit, std::string_view title) {
  write_empty(unit);
  write_rec(unit, Rec().X(2).A(title));
}
void put_vector(IWORD unit, std::string_view title, IWORD n, const double* v) {
  put_title(unit, title);
  put_pairs(unit, n, nullptr, v);
}
// Integers sixteen to a line: 16(2X, I6); no integers: no line.
void put_ints16(IWORD unit, std::string_view title, IWORD n, const IWORD* v) {
  put_title(unit, title);
  const Vec1<const IWORD> value(v, n);
  if (n > 0) value_lines(unit, n, 16, 0, [&](Rec& r, IWORD k) { r.X(2).I(value(k + 1), 6); });
}
// Reals five to a line: 1P, (1X, 5E18.10); no reals: no line.
void put_reals5(IWORD unit, std::string_view title, IWORD n, const double* v) {
  write_empty(unit);
  write_rec(unit, Rec().A(title));
  const Vec1<const double> value(v, n);
  if (n > 0) value_lines(unit, n, 5, 1, [&](Rec& r, IWORD k) { r.E(value(k + 1), 18, 10, 1); });
}
// The first N entries of ILIST, ten to a line: (2X, 10I7).
void put_list10(IWORD unit, IWORD n, const IWORD* list) {
  const Vec1<const IWORD> entry(list, n);
  value_lines(unit, n, 10, 2, [&](Rec& r, IWORD k) { r.I(entry(k + 1), 7); });
}

}  // namespace

// The message of a final code below 0.
void Engine::print_failure(IWORD code) {
  const IWORD u = unit();
  write_empty(u);
  write_rec(u, Rec().X(2).A("FAILURE IN NSOLVE:- ERROR FLAG = ").I(code, 3));
  switch (code) {
    case -1:
      write_empty(u);
      write_rec(u, Rec().X(2).A("FAILURE TO CONVERGE IN ").I(*a_.MAXIT, 4).A(" ITERATIONS."));
      break;
    case -2:
      write_empty(u);
      write_rec(u, Rec().X(2).A("SOLUTION DIVERGES FOR ").I(*a_.MAXDIV, 4).A(" ITERATIONS."));
      break;
    case -3:
      write_empty(u);
      write_rec(u, Rec().X(2).A("VARIABLE STAY ON BOUNDS FOR ")
                       .I(v2_ ? S1.NBND - 1 : *a_.MAXBND, 4)
                       .A(" ITERATIONS."));
      break;
    case -4:
      write_rec(u, Rec().X(2).A("IMPROPER JACOBIAN STRUCTURE ENCOUNTERED IN ").A("LINEAR SOLVER."));
      break;
    case -5: write_rec(u, Rec().X(2).A("JACOBIAN MATRIX IS NUMERICALLY SINGULAR.")); break;
    case -6: write_rec(u, Rec().X(2).A("INSUFFICIENT STORAGE ALLOCATION FOR DECOMPOSITION.")); break;
    case -7: write_rec(u, Rec().X(2).A("JACOBIAN MATRIX IS STRUCTURALLY SINGULAR.")); break;
    default: break;
  }
}

// The start point, the bounds, the pattern and the history title of a
// start call, by print level.
void Engine::print_start() {
  const IWORD u = unit(), ip = iprint();
  if (ip >= (v2_ ? 6 : 5)) put_vector(u, "NSOLVE: X0", N, a_.X);
  if (ip >= 6) {
    put_vector(u, "NSOLVE: XUB", N, a_.XUB);
    put_vector(u, "NSOLVE: XLB", N, a_.XLB);
    put_vector(u, "NSOLVE: DXUB", N, a_.DXUB);
  }
  if (sparse() && ip >= 9) {
    put_ints16(u, "NSOLVE: IRN", *a_.NZ, a_.IRN);
    put_ints16(u, "NSOLVE: ICN", *a_.NZ, a_.ICN);
  }
  if (ip >= 5) put_title(u, "NSOLVE: **** ITERATION HISTORY ****");
}

// The Jacobian values BJ (NZ) as the caller gave them, and their scaled
// (and updated) copy BJS when a side is scaled.
void Engine::print_matrix(IWORD nz, const double* bjs) {
  const IWORD u = unit();
  put_vector(u, "NSOLVE: BJ", nz, a_.BJ);
  if (irscl() > 0 || icscl() > 0) put_vector(u, "NSOLVE: BJS", nz, bjs);
}

// The residual check of a sparse solve; at print level 10 the dumps of the
// Jacobian, X and the right-hand side (first attempt) and of the step DX.
void Engine::print_solve(IWORD attempt, IWORD nz, const double* dx) {
  const IWORD u = unit();
  const ORVK_SPOPT1_T& t = ORVK_SPOPT1;
  write_rec(u, Rec().X(2).A("NSOLVE: ZNORM =").G(sv_.ZNORM, 13, 5).A(" ZRATIO =")
                   .G(sv_.ZRATIO, 13, 5));
  write_rec(u, Rec().X(2).A("        CHKT  =").G(t.PIVTL1, 13, 5).A(" PIVT   =")
                   .G(t.PIVTL2, 13, 5));
  if (iprint() >= 10) {
    if (attempt == 1) {
      write_empty(u);
      write_rec(u, Rec().A(" Jacobian dump:"));
      const Vec1<const double> bj(a_.BJ, nz), rscale(a_.RSCALE, N), cscale(a_.CSCALE, N);
      const Vec1<const IWORD> irn(a_.IRN, nz), icn(a_.ICN, nz);
      for (IWORD k = 1; k <= nz; ++k) {
        double v = bj(k);
        if (irscl() > 0) v /= rscale(irn(k));
        if (icscl() > 0) v *= cscale(icn(k));
        write_rec(u, Rec().I(irn(k), 7).I(icn(k), 7).E(v, 18, 10, 1));
      }
      put_reals5(u, " X dump:", N, a_.X);
      put_reals5(u, " RHS dump:", N, a_.RWORK);
    }
    put_reals5(u, " DX dump:", N, dx);
  }
}

// The ten largest entries of V (VLK_NLARGE mode MODE, scaled by S, above
// THRESH) under TITLE; their positions are left in ILIST.
void Engine::largest(std::string_view title, IWORD mode, const double* v, const double* s,
                     double thresh) {
  const IWORD ten = 10;
  IWORD nfound = 0;
  IWORD idx[10] = {};
  VLK_NLARGE(&N, &ten, &mode, v, s, &thresh, &nfound, idx, sv_.VAL);
  nfound = std::clamp<IWORD>(nfound, 0, std::min<IWORD>(10, N));
  for (IWORD k = 0; k < nfound; ++k) a_.ILIST[k] = idx[k];
  if (nfound == 0) return;
  write_empty(unit());
  write_rec(unit(), Rec().X(2).A("NSOLVE: ").A(title));
  put_pairs(unit(), nfound, idx, sv_.VAL);
}

void Engine::print_block() {
  const IWORD u = unit(), ip = iprint();
  if (ip >= 5) {
    write_empty(u);
    write_rec(u, Rec().X(2).A("NSOLVE: ITERATION NUMBER = ").I(ITER, 5));
    largest("Largest scaled residuals", irscl() > 0 ? 6 : 2, a_.F, a_.RSCALE, 1e-6);
  }
  if (ip >= 6) {
    const bool first = ITER == *a_.ITER0;
    put_vector(u, "NSOLVE: X", N, a_.X);
    if (icscl() > 0) {
      if (first) put_vector(u, "NSOLVE: CSCALE", N, a_.CSCALE);
      put_vector(u, "NSOLVE: XS", N, XS());
    }
    put_vector(u, "NSOLVE: F", N, a_.F);
    if (irscl() > 0) {
      if (first) put_vector(u, "NSOLVE: RSCALE", N, a_.RSCALE);
      put_vector(u, "NSOLVE: FS", N, FS());
    }
  }
  if (ip >= 5) {
    write_empty(u);
    if (v2_)
      write_rec(u, Rec().X(2).A("NSOLVE: RMSERR =").G(RMSERR, 14, 6, 1));
    else
      write_rec(u, Rec().X(2).A("NSOLVE: RMSERR = ").G(RMSERR, 13, 5));
  }
  print_terminal();
}

void Engine::print_terminal() {
  if (*a_.ITERM != 1) return;
  if (ITER == *a_.ITER0) {
    host::set_maxwrt(1, Rec().X(21).A("Residual").view());
    host::set_maxwrt(2, Rec().X(19).A("Convergence").view());
    host::set_maxwrt(3, Rec().X(6).A("Iteration").X(6).A("Function").view());
    host::set_maxwrt(4, Rec().X(6).A("---------").X(4).A("-----------").view());
    const IWORD four = 4;
    VLK_WRTTRM(&four);
  }
  if (ITER > S1.ITERM1) {
    host::set_maxwrt(1, Rec().X(6).I(ITER, 6).X(3).D(RMSERR, 15, 5).view());
    const IWORD one = 1;
    VLK_WRTTRM(&one);
  }
}

// A blank line and the title of a globalisation strategy.
void Engine::print_strategy(std::string_view title) { put_title(unit(), title); }

// A trial of the line search of ORVK_NSOLVE.
void Engine::print_search() {
  write_rec(unit(), Rec().X(10).A("NSOLVE: SEARCH NO.").I(S1.NSRCH, 5).X(3).A("RHO VALUE= ")
                        .G(S2.STEP, 13, 5));
}

// A judged trial of the relaxation search of ORVK_NSOLVE2 (R its RMS residual).
void Engine::print_relax(double r) {
  write_rec(unit(), Rec().X(10).A("NSOLVE: SEARCH NO.").I(S1.NSRCH, 5).X(3).A("RHO= ")
                        .G(S2.STEP, 13, 5, 1).X(3).A("RMSERR=").G(r, 14, 6, 1));
}

// The bound list of ORVK_NSOLVE (NLIST > 0).
void Engine::print_bound_list() {
  put_title(unit(), "NSOLVE: *** VARIABLES ON THE BOUNDARY ***");
  if (S1.NLIST > 0) put_list10(unit(), S1.NLIST, a_.ILIST);
}

// The signed bound list of ORVK_NSOLVE2 and the ratio of the step lengths
// with and without the box.
void Engine::print_bound_block(double ratio) {
  const IWORD u = unit(), n = std::max<IWORD>(S1.NLIST, 0);
  put_title(u, "NSOLVE: *** VARIABLES ON THE BOUNDARY (- for LB) ***");
  if (n == 0)
    write_rec(u, Rec().X(2));
  else
    put_list10(u, n, a_.ILIST);
  write_rec(u, Rec().X(2).A("        STEP WITH BOUND/STEP WITHOUT BOUND =").G(ratio, 13, 5, 1));
}

void Engine::print_dogleg_step() {
  if (iprint() < 5) return;
  write_rec(unit(), Rec().X(10).A("STEP NUMBER = ").I(S1.ICOUNT, 5).X(3).A("RADIUS = ")
                        .G(S2.DELTA, 13, 5));
}

}  // namespace orvika::nsolve
