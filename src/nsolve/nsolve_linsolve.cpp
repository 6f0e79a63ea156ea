// Linear solves of ORVK_NSOLVE and ORVK_NSOLVE2 and the positions of their
// arrays in the work space: the sparse layout of the caller-side triplets,
// the positions kept for a reuse of the ordering and those of the sparse LU
// package's result, the sparse Newton step as a client of the checked
// sparse solve, the dense bounded Newton step, and the dogleg calls on the
// matrix the step was computed with.
#include <limits>

#include "frame/views.hpp"
#include "frame/workspace.hpp"
#include "nsolve/nsolve_engine.hpp"
#include "orvika/kernels_vector.h"
#include "orvika/sparselu.h"
#include "orvika/tearconv_newton.h"
#include "sparselu/checked_solve.hpp"
#include "sparselu/sparselu.hpp"

namespace orvika::nsolve {

namespace {

// Sparse LU codes to final codes; codes the table leaves open end the run as
// a work-space fault (-15 positions, -17 word ratio) or a solver fault (-4).
IWORD map_lu_code(IWORD e) {
  if (e >= ORVK_SP_DATA_LAST && e <= ORVK_SP_DATA_FIRST) return -4;
  if (e == ORVK_SP_STRUCT_SINGULAR) return -7;
  if (e == ORVK_SP_NUM_SINGULAR) return -5;
  if (e == ORVK_SP_LOWMAX_SHORT || e == ORVK_SP_MAXA_SHORT || e == ORVK_SP_WORK_BELOW_MIN ||
      e == ORVK_SP_POSITIONS_BAD || e == ORVK_SP_NO_PARTITION || e == ORVK_SP_I4FAC_NOT_ONE)
    return -6;
  return -4;
}

}  // namespace

// ---- positions ----------------------------------------------------------------------------

// The sparse layout of the caller-side arrays in RWORK/IWORK for a fresh
// analysis: B at 1, the row numbering at IVECT - 2N, the row and column
// numbers at IVECT = (I4FAC LWORK) / 4 and JVECT = IVECT + NZ, the values at
// IA = LWORK - NZ.  False when they do not fit.
bool Engine::layout(SparsePos& p) const {
  const IWORD L = lwork(), nz = *a_.NZ, i4 = ORVK_SPOPT2.I4FAC;
  if (L < 1 || nz < 0 || i4 < 1 || i4 > std::numeric_limits<IWORD>::max() / L) return false;
  p.ivect = (i4 * L) / 4;
  p.jvect = p.ivect + nz;
  p.iorn = p.ivect - 2 * N;
  p.ia = L - nz;
  return p.iorn >= N + 1 && p.jvect + nz <= p.ia && p.ia + nz - 1 <= L;
}

// The input positions of a fresh analysis into ORVK_SPOPT2 (B at 1).
void Engine::set_positions(const SparsePos& p) const {
  ORVK_SPOPT2.IB = 1;
  ORVK_SPOPT2.IVECT = p.ivect;
  ORVK_SPOPT2.JVECT = p.jvect;
  ORVK_SPOPT2.IORN = p.iorn;
  ORVK_SPOPT2.IA = p.ia;
}

// Positions kept in ORVK_SPOPT2 for a reuse of the ordering: usable when the
// triplet arrays lie inside the work space, clear of the right-hand side.
bool Engine::kept_positions(SparsePos& p) const {
  const IWORD L = lwork(), nz = *a_.NZ;
  const ORVK_SPOPT2_T& o = ORVK_SPOPT2;
  auto fits = [&](IWORD pos) { return pos >= N + 1 && pos <= L - nz + 1; };
  if (o.IB != 1 || !fits(o.IVECT) || !fits(o.JVECT) || !fits(o.IA)) return false;
  p.ivect = o.IVECT;
  p.jvect = o.JVECT;
  p.ia = o.IA;
  return true;
}

// Positions of the package's result: row pointers, column numbers, values,
// the solution and the rebuilt row numbers, with the entry count read from
// the row pointers.  False when any of them leaves the work space.
bool Engine::result_positions(SparsePos& p) const {
  const IWORD L = lwork();
  const ORVK_SPOPT2_T& o = ORVK_SPOPT2;
  if (o.IRP < 1 || o.IRP > L - N) return false;
  const IV iw = iwork();
  p.irp = o.IRP;
  p.nzc = iw(o.IRP + N) - 1;
  if (p.nzc < 0 || p.nzc > L || iw(o.IRP) < 1) return false;
  auto fits = [&](IWORD pos, IWORD len) { return pos >= 1 && pos <= L - len + 1; };
  if (!fits(o.ICI, p.nzc) || !fits(o.IA, p.nzc) || !fits(o.IVECT, p.nzc) ||
      !fits(o.JVECT, p.nzc) || !fits(o.X, N) || o.X <= N)
    return false;
  p.ici = o.ICI;
  p.ia = o.IA;
  p.ivect = o.IVECT;
  p.jvect = o.JVECT;
  p.x = o.X;
  return true;
}

// ---- the Newton step ----------------------------------------------------------------------

// The sparse Newton step as a client of the checked sparse solve: the
// options are the shared blocks themselves (the caller's, kept from call to
// call for a reuse of the ordering), the caller-side triplets and -FS in
// RWORK/IWORK, the messages on the solver's unit.
bool Engine::solve_sparse(bool broyden) {
  struct Client {
    Engine& e;
    const bool broyden;
    const IWORD ip, nz;
    bool first_matrix = true;
    IWORD n = 0;                 // order as the package leaves it
    const double* dx = nullptr;  // the solution of the last call

    IWORD place(bool& reuse) {
      const NsolveArgs& a = e.a_;
      const IWORD N = e.N;
      const IV iw = e.iwork();
      SparsePos p;
      if (reuse && !e.kept_positions(p)) reuse = false;  // nothing usable kept: fresh analysis
      if (reuse) {
        ORVK_SPOPT2.ORDOPT = 6;
      } else {
        if (!e.layout(p)) {
          e.finish(-6);
          return 1;
        }
        ORVK_SPOPT2.ORDOPT = 2;
        e.set_positions(p);
        if (ORVK_SPOPT2.IORNIN == 1)
          for (IWORD i = 0; i < N; ++i) iw(p.iorn + i) = a.IRNUM[i];
      }
      // The scaled matrix (once updated by Broyden's formula) and -FS.
      double* bjs = a.RWORK + (p.ia - 1);
      SSCALJ(N, N, nz, 1, 1, e.irscl(), a.RSCALE, e.icscl(), a.CSCALE, a.IRN, a.ICN, a.BJ, bjs);
      if (first_matrix) {
        if (broyden) {
          SBROYD(N, N, nz, a.BWORK, e.XS(), a.BWORK + N, e.FS(), a.IRN, a.ICN, bjs, a.WORK,
                 a.BWORK + 2 * N, e.S1.BRFRST, *a.IDUPCK, 1);
          SSCALJ(N, N, nz, 1, 2, e.irscl(), a.RSCALE, e.icscl(), a.CSCALE, a.IRN, a.ICN, a.BJ, bjs);
        }
        if (ip >= 9) e.print_matrix(nz, bjs);
        first_matrix = false;
      }
      for (IWORD i = 0; i < N; ++i) a.RWORK[i] = -e.FS()[i];
      for (IWORD k = 0; k < nz; ++k) {
        iw(p.ivect + k) = a.IRN[k];
        iw(p.jvect + k) = a.ICN[k];
      }
      return 0;
    }

    IWORD call() {
      n = e.N;
      IWORD nzl = nz, ierr = 0;
      // The residual check and the dogleg read the matrix and the right-hand
      // side where the package found them: it must put them back after
      // factoring, whatever the caller's restore option says.
      const IWORD rstopt = ORVK_SPOPT2.RSTOPT;
      ORVK_SPOPT2.RSTOPT = 1;
      ORVK_CONTRL(e.a_.IWORK, e.a_.RWORK, e.a_.LWORK, &n, &nzl, &ierr);
      ORVK_SPOPT2.RSTOPT = rstopt;
      e.sv_.IERR = ierr;
      return ierr;
    }

    void fresh() { *e.a_.IREUSE = 0; }

    IWORD failed(IWORD code) {
      e.finish(map_lu_code(code));
      return 1;
    }

    // The residual of the package's own compressed rows.
    IWORD residual(double& ratio) {
      // A repair that changed the order (an added row) leaves no square system.
      if (n != e.N) {
        e.finish(-7);
        return 1;
      }
      SparsePos q;
      if (!e.result_positions(q)) {
        e.finish(-6);
        return 1;
      }
      const NsolveArgs& a = e.a_;
      dx = a.RWORK + (q.x - 1);
      ORVK_RESID(&e.N, a.IWORK + (q.irp - 1), a.IWORK + (q.ici - 1), a.RWORK + (q.ia - 1), dx,
                 a.RWORK, &e.sv_.ZNORM, &e.sv_.ZRATIO);
      ratio = e.sv_.ZRATIO;
      return 0;
    }

    void report(IWORD attempt) { e.print_solve(attempt, nz, dx); }

    static ORVK_SPOPT1_T& tolerances() { return ORVK_SPOPT1; }
    static void raised() {}
    static IWORD accept() { return 0; }
  };
  Client c{*this, broyden, iprint(), *a_.NZ};
  // A ratio that is not a number counts as inaccurate.
  return checked_sparse_solve(c, *a_.IREUSE != 0, true) == 0;
}

bool Engine::solve_dense(bool broyden) {
  const IWORD n2 = N * N;
  if (N > kMaxDenseOrder || lwork() < 11 * N + 2 * n2) {
    finish(-6);
    return false;
  }
  double* R = a_.RWORK;
  double* A = R + 6 * N;
  SSCALJ(N, N, n2, 2, 1, irscl(), a_.RSCALE, icscl(), a_.CSCALE, a_.IRN, a_.ICN, a_.BJ, A);
  if (broyden) {
    SBROYD(N, N, n2, a_.BWORK, XS(), a_.BWORK + N, FS(), a_.IRN, a_.ICN, A, a_.WORK,
           a_.BWORK + 2 * N, S1.BRFRST, *a_.IDUPCK, 2);
    SSCALJ(N, N, n2, 2, 2, irscl(), a_.RSCALE, icscl(), a_.CSCALE, a_.IRN, a_.ICN, a_.BJ, A);
  }
  if (iprint() >= 9) print_matrix(n2, A);
  for (IWORD i = 0; i < N; ++i) {
    R[i] = -FS()[i];
    const double c = icscl() != 0 ? a_.CSCALE[i] : 1.0;
    R[N + i] = icscl() != 0 ? a_.XLB[i] / c : a_.XLB[i];
    R[2 * N + i] = icscl() != 0 ? a_.XUB[i] / c : a_.XUB[i];
  }
  const IWORD mode0 = 0;
  ORVK_NEWTDX(&N, XS(), FS(), R + 3 * N, R + N, R + 2 * N, R + 4 * N, R + 5 * N, A, A + n2,
              A + 2 * n2, a_.IWORK + (7 * N + 2 * n2), &sv_.K, R + 8 * N + 2 * n2, &mode0, sv_.CS);
  return true;
}

// ---- the dogleg on the matrix of the step ---------------------------------------------------

bool Engine::call_dogleg(IWORD mode) {
  double& delta = S2.DELTA;
  if (sparse()) {
    SparsePos p;
    if (!result_positions(p)) {
      finish(-6);
      return false;
    }
    ORVK_DOGLG2(&N, &p.nzc, XS(), WB(), DX(), FS(), a_.IWORK + (p.ivect - 1),
                a_.IWORK + (p.jvect - 1), a_.RWORK + (p.ia - 1), DW(), &delta, &S1.ICOUNT, &mode,
                &S1.IREJ);
  } else {
    const IWORD nz = N * N;
    ORVK_DOGLG1(&N, &nz, XS(), WB(), DX(), FS(), a_.RWORK + 6 * N, DW(), &delta, &S1.ICOUNT,
                &mode, &S1.IREJ);
  }
  return true;
}

}  // namespace orvika::nsolve
