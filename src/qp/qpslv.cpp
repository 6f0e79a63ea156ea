// ORVK_QPSLV: primal active-set solver for one quadratic program of the
// host's optimiser.
#include <algorithm>
#include <cmath>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/sparse.hpp"
#include "frame/views.hpp"
#include "orvika/host.h"
#include "orvika/kernels_sparse.h"
#include "qp/qp.hpp"

namespace {

using orvika::nlpint;
using orvika::Rec;
using orvika::Vec1;

constexpr IWORD kMaxIter = 30;
constexpr IWORD kDenseWords = 2112;

// Saved variables of the solver (one copy per process).
struct QpState {
  IWORD k = 0;           // KKT order, kept for a warm start
  double gtx = 0, xhx2 = 0, objf = 0;
  double gqptdx = 0, dxhdx2 = 0, aphmin = 0;
  IWORD indef = 0, sing_last = 0, isrow = 0;
  double objfmn = 0;
  IWORD nactmn = 0;
  double errceq = 0;
  IWORD ncant = 0;
  double t0 = 0, t1 = 0, t2 = 0;
  bool have_feas = false;  // a feasible point was reached in this call
  double objf_feas = 0;    // its objective
  IWORD iswap[kDenseWords] = {};
  double dwork[kDenseWords] = {};
  IWORD ipivot[kDenseWords] = {};
};
QpState g_qp;

IWORD pos0(IWORD n) { return n > 0 ? n : 0; }

void line5(IWORD unit, std::string_view text) {
  orvika::write_empty(unit);
  orvika::write_rec(unit, Rec().X(4).A(text));
}

// Compressed rows 1..NR with IA(1) = 1, pointers not decreasing and column
// numbers in 1..NCOL (in 1..row when LOWER).
bool rows_valid(IWORD nr, IWORD ncol, const IWORD* ia, const IWORD* ja, bool lower) {
  const Vec1<const IWORD> IA(ia), JA(ja);
  if (IA(1) != 1) return false;
  for (IWORD i = 1; i <= nr; ++i) {
    if (IA(i + 1) < IA(i)) return false;
    for (IWORD p = IA(i); p < IA(i + 1); ++p) {
      const IWORD c = JA(p);
      if (c < 1 || c > (lower ? i : ncol)) return false;
    }
  }
  return true;
}

// Relative tolerance of the feasibility test of a point: row i holds at x
// when a_i x - b_i <= residual_tol(kFeasTol, |b_i| + sum_j |a_ij x_j|, F_i)
// with F_i the size of the row at the scale of x (both signs for an
// equality row).
constexpr double kFeasTol = 1e-9;
using orvika::qp_detail::max_abs;
using orvika::qp_detail::residual_tol;
using orvika::qp_detail::row_size;

// -1 when x does not satisfy every constraint row within its tolerance;
// otherwise the largest t in [0, 1] for which x + t d stays within every
// bound (a row already at or just beyond its bound stops any move that
// would take it further out).
double feasible_step(IWORD n, IWORD meq, IWORD mineq, const IWORD* iac, const IWORD* jac,
                     const double* ac, const double* b, const double* x, const double* d) {
  double tmax = 1.0;
  const double xmax = max_abs(n, x);
  for (IWORD r = 0; r < meq + mineq; ++r) {
    double ax = 0, ad = 0, scale = std::fabs(b[r]);
    for (IWORD p = iac[r]; p < iac[r + 1]; ++p) {
      const double a = ac[p - 1];
      const IWORD j = jac[p - 1] - 1;
      ax += a * x[j];
      ad += a * d[j];
      scale += std::fabs(a * x[j]);
    }
    const double tol = residual_tol(kFeasTol, scale, row_size(r, iac, ac, b, xmax)),
                 res = ax - b[r];
    // Upper side res + t ad <= tol; an equality row also -(res + t ad) <= tol.
    for (int side = 0; side < (r < meq ? 2 : 1); ++side) {
      const double rs = side == 0 ? res : -res, ds = side == 0 ? ad : -ad;
      if (!(rs <= tol)) return -1.0;
      if (ds > 0) tmax = std::fmin(tmax, std::fmax(-rs, 0.0) / ds);
    }
  }
  return std::fmax(tmax, 0.0);
}

// Relative tolerance of the check that a KKT solution meets its own rows
// and that a solution taken as valid meets every row: far above the
// residuals of a successful solve (GMRES stops at 1e-5), far below the
// misses of a failed one.
constexpr double kRowTol = 1e-4;

// Residual a_i x - b_i of constraint row R (0-based) and its scale.
double row_residual(IWORD r, const IWORD* iac, const IWORD* jac, const double* ac,
                    const double* b, const double* x, double& scale) {
  double ax = 0;
  scale = std::fabs(b[r]);
  for (IWORD p = iac[r]; p < iac[r + 1]; ++p) {
    const double t = ac[p - 1] * x[jac[p - 1] - 1];
    ax += t;
    scale += std::fabs(t);
  }
  return ax - b[r];
}

// True when x (N words) meets the equality rows and the NSEL inequalities
// listed in SEL as equalities (the rows of a KKT system), or, with SEL null,
// the equality rows and every inequality row; within kRowTol relative to
// the size of each row at x (residual_tol).  With ABSOLUTE the tolerance
// is kRowTol max(1, S) instead (a point from the simplex check, whose own
// tolerances are absolute).
bool rows_hold(IWORD n, IWORD meq, IWORD mineq, const IWORD* iac, const IWORD* jac,
               const double* ac, const double* b, const double* x, IWORD nsel,
               const IWORD* sel, bool absolute = false) {
  const IWORD nrow = sel ? meq + nsel : meq + mineq;
  const double xmax = max_abs(n, x);
  for (IWORD q = 0; q < nrow; ++q) {
    const IWORD r = q < meq ? q : sel ? meq + sel[q - meq] - 1 : q;
    double scale = 0;
    const double res = row_residual(r, iac, jac, ac, b, x, scale);
    const double tol = absolute ? kRowTol * std::fmax(1.0, scale)
                                : residual_tol(kRowTol, scale, row_size(r, iac, ac, b, xmax));
    const bool as_equality = q < meq || sel != nullptr;
    if (!(as_equality ? std::fabs(res) <= tol : res <= tol)) return false;
  }
  return true;
}

// True when the solution X of a KKT system (x, then the multipliers of the
// equality rows and of the NSEL inequalities listed in SEL) meets the
// Hessian rows of that system, H x + g + Q' lambda = 0, each within kRowTol
// relative to the sum of the magnitudes of its terms (residual_tol, with
// the largest such sum over the rows as the size at the scale of X).  RES
// and SCALE are N words of scratch.
bool hessian_rows_hold(IWORD n, IWORD meq, const double* g, const IWORD* iah, const IWORD* jah,
                       const double* h, const IWORD* iac, const IWORD* jac, const double* ac,
                       const double* x, IWORD nsel, const IWORD* sel, double* res,
                       double* scale) {
  for (IWORD j = 0; j < n; ++j) {
    res[j] = g[j];
    scale[j] = std::fabs(g[j]);
  }
  // H from its lower triangle: entry (i, j), j < i, also stands for (j, i).
  for (IWORD i = 0; i < n; ++i)
    for (IWORD p = iah[i]; p < iah[i + 1]; ++p) {
      const IWORD j = jah[p - 1] - 1;
      const double hij = h[p - 1];
      res[i] += hij * x[j];
      scale[i] += std::fabs(hij * x[j]);
      if (j != i) {
        res[j] += hij * x[i];
        scale[j] += std::fabs(hij * x[i]);
      }
    }
  for (IWORD q = 0; q < meq + nsel; ++q) {
    const IWORD r = q < meq ? q : meq + sel[q - meq] - 1;
    const double lam = x[n + q];
    for (IWORD p = iac[r]; p < iac[r + 1]; ++p) {
      const IWORD j = jac[p - 1] - 1;
      res[j] += ac[p - 1] * lam;
      scale[j] += std::fabs(ac[p - 1] * lam);
    }
  }
  const double smax = max_abs(n, scale);
  for (IWORD j = 0; j < n; ++j)
    if (!(std::fabs(res[j]) <= residual_tol(kRowTol, scale[j], smax))) return false;
  return true;
}

// Inequalities 1..N and N+1..2N as simple bounds: row MEQ+j holds one
// entry, C x_j with C > 0, and row MEQ+N+j one entry, C x_j with C < 0.
// With UNIT set, every coefficient must be +1 or -1 (the simplex check's
// layout).  LO and UP receive the bounds.
bool bound_rows(IWORD n, IWORD meq, const IWORD* iac, const IWORD* jac, const double* ac,
                const double* b, bool unit, double* lo, double* up) {
  for (IWORD j = 1; j <= n; ++j)
    for (int side = 0; side < 2; ++side) {
      const IWORD r = meq + j - 1 + side * n;
      if (iac[r + 1] - iac[r] != 1 || jac[iac[r] - 1] != j) return false;
      const double c = ac[iac[r] - 1];
      if (!(side == 0 ? c > 0 : c < 0) || (unit && std::fabs(c) != 1.0)) return false;
      (side == 0 ? up : lo)[j - 1] = b[r] / c;
    }
  return true;
}

// The simplex feasibility check works in coordinates shifted to the lower
// bounds with absolute tolerances (1e-3 on the equality residuals, 1e-12
// on its pivots).  Its verdict means something only while the rounding of
// numbers of the size it handles stays far below them: the bound widths
// and the right-hand sides of its rows after the shift.  True when the
// equality rows, the general rows (beyond the 2N bound rows) and the
// bounds LO, UP keep that size at most kSimplexRange.
constexpr double kSimplexRange = 1e-3 / (1e3 * 2.220446049250313e-16);

bool simplex_scale_ok(IWORD n, IWORD meq, IWORD mineq, const IWORD* iac, const IWORD* jac,
                      const double* ac, const double* b, const double* lo, const double* up) {
  for (IWORD j = 0; j < n; ++j)
    if (!(std::fabs(lo[j]) + std::fabs(up[j]) <= kSimplexRange)) return false;
  for (IWORD r = 0; r < meq + mineq; ++r) {
    if (r == meq) r = meq + 2 * n;
    if (r >= meq + mineq) break;
    double size = std::fabs(b[r]);
    for (IWORD p = iac[r]; p < iac[r + 1]; ++p) {
      const IWORD j = jac[p - 1] - 1;
      size += std::fabs(ac[p - 1]) * std::fmax(std::fabs(lo[j]), std::fabs(up[j]));
    }
    if (!(size <= kSimplexRange)) return false;
  }
  return true;
}

}  // namespace

namespace {

using namespace orvika;
using qp_detail::dump_i;
using qp_detail::dump_r;
using qp_detail::dump_si;
using qp_detail::dump_sr;
using qp_detail::size_pr;

// Outcome of the active-set step of one iteration.
enum class Next { kIterate, kEndRun, kReturn };

// One call of ORVK_QPSLV: the arguments, the partitions of the work arrays
// and one member function per named step.  run() reads as the algorithm.
struct QpSolver {
  // Arguments.
  IWORD n, meq, mineq, iprint;
  const double* G;
  const IWORD *IAH, *JAH;
  const double* H;
  const double* B;
  const IWORD *IAC, *JAC;
  const double *AC, *FESBLE;
  const IWORD* MACT;
  IWORD *NCACT, *ITER;
  double* X;
  const IWORD* LRWRKQP;
  double* RWRKQP;
  const IWORD* LIWRKQP;
  IWORD* IWRKQP;
  LWORD* LACT;
  IWORD* IRET;
  const IWORD* LRWLES;
  double* RWLES;
  const IWORD* LIWLES;
  IWORD *IWLES, *ISING;
  double* APHMAX;
  const IWORD* LDC;
  double* CWORK;
  IWORD* IFAIL;

  QpState& s = g_qp;
  const IWORD unit = nlpint(ORVK_NLPINT_QPUNIT);
  IWORD& nactiv = nlpint(ORVK_NLPINT_NACTIV);
  IWORD& iter = nlpint(ORVK_NLPINT_QPITER);
  IWORD& nacold = nlpint(ORVK_NLPINT_NACTLAST);
  IWORD& nacold0 = nlpint(ORVK_NLPINT_NACTOLD0);
  const IWORD izero = 0;

  // Partitions of the work arrays.
  IWORD nnz = 0, lkt = 0;  // lkt: room of the KKT (or LP) arrays
  IWORD ilen[11] = {}, ist[11] = {}, itot = 0;
  IWORD solver = 0;
  bool sparse_form = false;
  IWORD nfree = 0;
  IWORD rlen[14] = {}, rtot = 0, kv = 0, rst[14] = {}, lena = 0;
  IWORD *iract = nullptr, *jflag = nullptr, *ifsmin = nullptr, *iacold = nullptr,
        *iractc = nullptr, *iacold0 = nullptr, *icant = nullptr, *iclose = nullptr,
        *irtype = nullptr, *ia = nullptr, *ja = nullptr;
  double *rhs = nullptr, *alphas = nullptr, *xfsmin = nullptr, *bp = nullptr, *bold = nullptr,
         *hx = nullptr, *xold = nullptr, *xfeas = nullptr, *deltx = nullptr, *objc = nullptr,
         *xub = nullptr, *xlb = nullptr, *dsol = nullptr, *akkt = nullptr;

  void run();

 private:
  IWORD need_for(IWORD k) const;
  bool fits(IWORD k) const { return k <= kv && (sparse_form || k * (k + 1) / 2 <= lena); }
  void track_feasible();
  void return_best_feasible();
  void iteration_line() const;
  void dump_lists() const;
  void indefinite() const;
  void timer(double& t) const;
  void end_run();

  bool check_structure();
  bool partition_integer_work();
  bool partition_real_work();
  void place_partitions();
  bool warm_start_valid();
  void cold_start();
  void start_feasible_tracking();
  bool phase1_ends_run(bool warm);
  void iterate();
  bool prepare_iteration(IWORD k);
  bool solve_kkt(IWORD k);
  void check_solution(IWORD k);
  void evaluate_solution(IWORD k);
  bool failed_solve(IWORD k);
  Next active_set_step();
};

// Total RWRKQP needs for a KKT system of order K: wider vectors above 2N
// and, with the dense solver, the packed triangle when it exceeds 15 nnz.
IWORD QpSolver::need_for(IWORD k) const {
  const IWORD tri = k * (k + 1) / 2;
  return rtot + 5 * pos0(k - 2 * n) + (sparse_form ? 0 : pos0(tri - lkt));
}

void QpSolver::track_feasible() {
  if (!s.have_feas) {
    for (IWORD i = 0; i < n; ++i) deltx[i] = 0;
    if (feasible_step(n, meq, mineq, IAC, JAC, AC, B, X, deltx) < 0) return;
    for (IWORD i = 0; i < n; ++i) xfeas[i] = X[i];
    s.objf_feas = s.objf;
    s.have_feas = true;
    return;
  }
  for (IWORD i = 0; i < n; ++i) deltx[i] = X[i] - xfeas[i];
  const double tmax = feasible_step(n, meq, mineq, IAC, JAC, AC, B, xfeas, deltx);
  if (tmax <= 0) return;
  // Objective along the move: q(t) = q(0) + t gd + t^2 c / 2.
  SSMVML(n, n, IAH, JAH, 0, H, 0, deltx, 0, hx, 2);
  const double gd = ORVK_DINNER(&n, &izero, G, &izero, deltx) +
                    ORVK_DINNER(&n, &izero, xfeas, &izero, hx);
  const double c = ORVK_DINNER(&n, &izero, deltx, &izero, hx);
  auto q = [&](double t) { return t * gd + t * t * c / 2; };
  double t = tmax;
  if (c > 0 && -gd / c > 0 && -gd / c < tmax && q(-gd / c) < q(tmax)) t = -gd / c;
  const double dq = q(t);
  if (!(dq < 0)) return;
  for (IWORD i = 0; i < n; ++i) xfeas[i] += t * deltx[i];
  s.objf_feas += dq;
}

// A run that stops short of a solution (iteration limit, work space)
// returns the best feasible point reached, without multipliers: the last
// KKT solution need not be feasible.  With none reached X stays as the
// iteration left it.
void QpSolver::return_best_feasible() {
  if (!s.have_feas) return;
  for (IWORD i = 0; i < n; ++i) X[i] = xfeas[i];
  for (IWORD i = n; i < n + meq + mineq; ++i) X[i] = 0;
}

void QpSolver::iteration_line() const {
  write_empty(unit);
  write_rec(unit, Rec().X(4).A(" QP ITERATION NO. ").X(2).I(iter, 3));
}

void QpSolver::dump_lists() const {
  dump_i(unit, nactiv, 0, iract, "ACTIV INEQ");
  dump_i(unit, nacold, 0, iacold, "ACTIV OLD ");
}

void QpSolver::indefinite() const {
  line5(unit, "***** PROJECTED HESSIAN IS INDEFINITE *****");
  write_empty(unit);
  write_empty(unit);
}

void QpSolver::timer(double& t) const {
  const IWORD one = 1;
  VLK_TIMINT(&one, &s.t0, &t);
}

// End prints of a run that ends through the active-set step or with an
// infeasible finding.
void QpSolver::end_run() {
  if (iprint >= 1) {
    dump_r(unit, n, 0, X, "X QP      ");
    dump_sr(unit, s.objf, "MIN OBJF  ");
    dump_r(unit, meq, n, X, "VLAM QP   ");
    if (mineq > 0) dump_r(unit, mineq, n + meq, X, "MU QP     ");
    dump_sr(unit, s.errceq, "ERR CEQ   ");
    *ITER = iter;
    dump_si(unit, *ITER, "AS CHANGE ");
    if (s.gtx >= 0) {
      write_empty(unit);
      write_rec(unit, Rec().X(1).A("WARNING:  QP SOLUTION IS NOT A DESCENT DIRECTION"));
    }
    if (s.indef == -1) indefinite();
  } else {
    *ITER = iter;
  }
  if (*IRET == 1 && iprint != 0) {
    write_rec(unit, Rec().X(4).A("*** WARNING - QP SOLUTION IS INFEASIBLE ***"));
    write_empty(unit);
    write_rec(unit, Rec().X(9).A("ERROR IN EQUALITY CONSTRAINTS IS").X(2).D(s.errceq, 14, 5, 1));
  }
}

void QpSolver::run() {
  *IRET = 0;
  iter = 0;
  nlpint(ORVK_NLPINT_FACTCUR) = 0;
  s.ncant = 0;
  if (!check_structure() || !partition_integer_work() || !partition_real_work()) return;
  place_partitions();
  if (iprint > 0) {
    write_empty(unit);
    write_rec(unit, Rec().X(19).A("*** QPSLV ENTERED ***"));
  }
  const bool warm = warm_start_valid();
  if (warm) {
    s.k = n + meq + nactiv;
    *NCACT = meq + nactiv;
  } else {
    cold_start();
  }
  start_feasible_tracking();
  if (phase1_ends_run(warm)) return;
  iterate();
}

bool QpSolver::check_structure() {
  if (n < 0 || meq < 0 || mineq < 0 || !rows_valid(n, n, IAH, JAH, true) ||
      !rows_valid(meq + mineq, n, IAC, JAC, false)) {
    line5(unit, " INVALID PROBLEM SIZE OR ROW STRUCTURE");
    *IFAIL = 1;
    return false;
  }
  nnz = (IAH[n] - 1) + (IAC[meq + mineq] - 1);
  lkt = 15 * nnz;
  return true;
}

// Integer work partitions.
bool QpSolver::partition_integer_work() {
  const IWORD len[11] = {mineq, mineq, mineq, mineq, mineq, mineq, mineq, mineq,
                         pos0(meq + mineq - 2 * n), 3 * n + meq + 1, lkt};
  static constexpr std::string_view ilab[11] = {"IRACT     ", "JFLAG     ", "IFSMIN    ",
                                                "IACOLD    ", "IRACTC    ", "IACOLD0   ",
                                                "ICANT     ", "ICLOSE    ", "IRTYPE    ",
                                                "IA        ", "JA        "};
  for (int p = 0; p < 11; ++p) ilen[p] = len[p];
  itot = 0;
  for (int p = 0; p < 11; ++p) {
    ist[p] = itot;
    itot += ilen[p];
  }
  if (iprint >= 4) {
    for (int p = 0; p < 11; ++p) size_pr(unit, p == 9 ? 2 * n + 1 : ilen[p], ilab[p]);
    size_pr(unit, itot, "TOT-IWKQP ");
  }
  if (*LIWRKQP < itot) {
    write_empty(unit);
    write_rec(unit, Rec().X(4).A(" WORKING STORAGE FOR IWRKQP HAS TO BE INCREASED TO").I(itot, 6));
    write_empty(unit);
    *IFAIL = 1;
    return false;
  }
  return true;
}

// Real work partitions, checked against the total of their documented
// lengths.  The KKT order K = N + MEQ + NACTIV grows with the active set,
// so whether the system of the current order fits is checked in each
// iteration (need_for).  Words beyond the total go to the KKT array A, the
// last partition; when MEQ > N (K = N + MEQ above 2N) they first widen the
// five vectors of KKT order to N + MEQ, when they can.
bool QpSolver::partition_real_work() {
  solver = nlpint(ORVK_NLPINT_KKTSOLV);
  sparse_form = solver == 2 || solver == 3;
  nfree = n - meq;
  const IWORD l = pos0(2 * meq + mineq - n);
  const IWORD len[14] = {meq + mineq, mineq, 2 * n, 2 * n, 2 * n, n, 2 * n,
                         2 * n,       n,     l,     l,     l,     l, lkt};
  static constexpr std::string_view rlab[14] = {
      "RHS       ", "ALPHAS    ", "XFSMIN    ", "B         ", "BOLD      ",
      "HX        ", "XOLD      ", "XOLD0     ", "DELTX     ", "OBJC      ",
      "XUB       ", "XLB       ", "DSOL      ", "A         "};
  for (int p = 0; p < 14; ++p) rlen[p] = len[p];
  rtot = 0;
  for (int p = 0; p < 14; ++p) rtot += rlen[p];
  if (iprint >= 4) {
    for (int p = 0; p < 14; ++p) size_pr(unit, rlen[p], rlab[p]);
    size_pr(unit, rtot, "TOT-RWKQP ");
  }
  if (*LRWRKQP < rtot) {
    write_empty(unit);
    write_rec(unit, Rec().X(4).A(" WORKING STORAGE FOR RWRKQP HAS TO BE INCREASED TO").I(rtot, 6));
    write_empty(unit);
    *IFAIL = 1;
    return false;
  }
  return true;
}

// The five vectors of KKT order (XFSMIN, B, BOLD, XOLD, XOLD0) hold KV
// words each; K never exceeds N + MEQ + max(0, N - MEQ) since the active
// set is held to N - MEQ rows.
void QpSolver::place_partitions() {
  const IWORD surplus = *LRWRKQP - rtot;
  kv = meq > n && surplus >= 5 * (meq - n) ? n + meq : 2 * n;
  IWORD rnext = 0;
  for (int p = 0; p < 14; ++p) {
    rst[p] = rnext;
    rnext += (p == 2 || p == 3 || p == 4 || p == 6 || p == 7) ? kv : rlen[p];
  }
  lena = *LRWRKQP - rst[13];  // KKT array: the rest of RWRKQP
  iract = IWRKQP + ist[0];
  jflag = IWRKQP + ist[1];
  ifsmin = IWRKQP + ist[2];
  iacold = IWRKQP + ist[3];
  iractc = IWRKQP + ist[4];
  iacold0 = IWRKQP + ist[5];
  icant = IWRKQP + ist[6];
  iclose = IWRKQP + ist[7];
  irtype = IWRKQP + ist[8];
  ia = IWRKQP + ist[9];
  ja = IWRKQP + ist[10];
  rhs = RWRKQP + rst[0];
  alphas = RWRKQP + rst[1];
  xfsmin = RWRKQP + rst[2];
  bp = RWRKQP + rst[3];
  bold = RWRKQP + rst[4];
  hx = RWRKQP + rst[5];
  xold = RWRKQP + rst[6];
  // The partition after XOLD holds the best feasible point reached in this
  // call (N words), returned when the iteration limit ends the run.
  xfeas = RWRKQP + rst[7];
  deltx = RWRKQP + rst[8];
  objc = RWRKQP + rst[9];
  xub = RWRKQP + rst[10];
  xlb = RWRKQP + rst[11];
  dsol = RWRKQP + rst[12];
  akkt = RWRKQP + rst[13];
}

// A warm start takes over the previous active list when it is one of this problem.
bool QpSolver::warm_start_valid() {
  bool warm = is_true(nlpint(ORVK_NLPINT_WARM));
  if (warm) {
    bool ok = nactiv >= 0 && nactiv <= mineq && (mineq == 0 || nactiv <= pos0(nfree));
    for (IWORD k = 0; ok && k < nactiv; ++k)
      ok = iract[k] >= 1 && iract[k] <= mineq && (k == 0 || iract[k] > iract[k - 1]);
    IWORD nflag = 0;
    for (IWORD i = 0; ok && i < mineq; ++i)
      if (is_true(LACT[i])) ++nflag;
    ok = ok && nflag == nactiv;
    for (IWORD k = 0; ok && k < nactiv; ++k) ok = is_true(LACT[iract[k] - 1]);
    warm = ok;
    for (IWORD* w : {&nacold, &nacold0})
      if (*w < 0 || *w > mineq || *w + n + meq > kv) *w = 0;
  }
  return warm;
}

// Cold start from x = 0: the rows it meets or violates start active, up to
// N - MEQ of them.
void QpSolver::cold_start() {
  nlpint(ORVK_NLPINT_KKTUNIT) = unit;
  nlpint(ORVK_NLPINT_KKTLEVEL) = iprint;
  for (IWORD i = 0; i < n + meq + mineq; ++i) X[i] = 0;
  nacold = 0;
  nacold0 = 0;
  nactiv = 0;
  if (mineq > 0) {
    for (IWORD i = 0; i < mineq; ++i) LACT[i] = ORVK_FALSE;
    // The phase-1 LP is built and printed when it fits the partitions.
    if (nlpint(ORVK_NLPINT_PHASE1) != 0 && mineq >= 2 * n) {
      const IWORD ncon = meq + mineq - 2 * n;
      const IWORD lpnz = (IAC[meq] - 1) + (IAC[meq + mineq] - IAC[meq + 2 * n]) + 2 * meq +
                         (mineq - 2 * n);
      if (ncon + 1 <= ilen[9] && ncon <= kv && lpnz <= lkt && *LDC >= ncon && *LDC >= 1) {
        IWORD iflag = 0;
        QPINX(n, meq, mineq, IAC, JAC, AC, B, X, objc, xlb, xub, bp, dsol, irtype, ia, ja, akkt,
              *LDC, CWORK, iprint, iflag);
      }
    }
    const IWORD i1 = meq + 1, i2 = meq + mineq, zero = 0, ioy = meq;
    ORVK_SMVMUL(&n, &i1, &i2, IAC, JAC, &zero, AC, &zero, X, &ioy, rhs);
    const Vec1<const double> ax(rhs), b(B);
    const Vec1<LWORD> lact(LACT);
    for (IWORD i = 1; i <= mineq; ++i) {
      if (ax(meq + i) < b(meq + i)) continue;
      if (nactiv >= nfree) {
        line5(unit, "NO. of ACTIVE CONSTRAINTS > N-MEQ");
        break;
      }
      lact(i) = ORVK_TRUE;
      iract[nactiv++] = i;
    }
  }
  *NCACT = meq + nactiv;
  s.k = n + meq + nactiv;
}

// Best feasible point: the start point when it satisfies every row, then
// along each move from it towards the next KKT solution the feasible part,
// wherever the objective is lowest.
void QpSolver::start_feasible_tracking() {
  s.have_feas = false;
  if (mineq > 0) {
    for (IWORD i = 0; i < n; ++i) deltx[i] = 0;
    if (feasible_step(n, meq, mineq, IAC, JAC, AC, B, X, deltx) >= 0) {
      for (IWORD i = 0; i < n; ++i) xfeas[i] = X[i];
      SSMVML(n, n, IAH, JAH, 0, H, 0, xfeas, 0, hx, 2);
      s.objf_feas = ORVK_DINNER(&n, &izero, G, &izero, xfeas) +
                    ORVK_DINNER(&n, &izero, xfeas, &izero, hx) / 2;
      s.have_feas = true;
    }
  }
}

// Infeasibility that the phase-1 LP proves ends the run before any KKT
// solve (cold start, inequalities 1..2N the bounds of the variables):
// bounds that cross each other, and, when the host asks for the phase-1
// LP (word 68), a phase-1 simplex run whose point of least violation still
// misses a row.  The point returned is that of least violation (for
// crossed bounds the midpoint of each crossed pair, 0 elsewhere).  True
// when the run ends here.
bool QpSolver::phase1_ends_run(bool warm) {
  if (warm || mineq < 2 * n || n < 1 || !bound_rows(n, meq, IAC, JAC, AC, B, false, xlb, xub))
    return false;
  bool proven = false;
  for (IWORD j = 0; j < n; ++j) hx[j] = 0;
  for (IWORD j = 0; j < n; ++j)
    if (xlb[j] - xub[j] > kFeasTol * std::max({1.0, std::fabs(xlb[j]), std::fabs(xub[j])})) {
      hx[j] = (xlb[j] + xub[j]) / 2;
      proven = true;
    }
  if (!proven && nlpint(ORVK_NLPINT_PHASE1) != 0 &&
      bound_rows(n, meq, IAC, JAC, AC, B, true, xlb, xub)) {
    // The simplex check works in the sparse solvers' arrays, free before
    // the first KKT solve; its general rows are the inequalities beyond 2N.
    const IWORD ninspc = mineq - 2 * n, ncj = meq + n, nz1 = IAC[ncj];
    const IWORD uu = ncj + 3 * n + 1;
    const IWORD ineed = 3 * uu + 128 * nz1 + 3 * n + mineq + ninspc + meq + 4 * n;
    const IWORD rneed = 4 * 26 * nz1 + 2 * (mineq + ninspc) + 2 * (meq + mineq + n + ninspc) +
                        meq + mineq + 3 * n;
    IWORD& w89 = nlpint(ORVK_NLPINT_NINSPC);
    const IWORD keep89 = w89;
    w89 = ninspc;
    IWORD iact = 0, nact = 0, ifeas = 0;
    SPXCHK(IAC, JAC, AC, meq, mineq, B, n, unit, *LIWLES, IWLES, *LRWLES, RWLES, iact, nact, hx,
           jflag, 2, ifeas, false);
    w89 = keep89;
    if (ifeas == 2 && (*LIWLES < ineed || *LRWLES < rneed)) {
      *IFAIL = 1;
      return true;
    }
    // The simplex's verdict counts only when its point misses a row
    // clearly, and only for data its tolerances can resolve; an incomplete
    // run (IFEAS 2) proves nothing.
    if (ifeas == 1 && simplex_scale_ok(n, meq, mineq, IAC, JAC, AC, B, xlb, xub))
      proven = !rows_hold(n, meq, mineq, IAC, JAC, AC, B, hx, 0, nullptr, true);
  }
  if (!proven) return false;
  for (IWORD i = 0; i < n; ++i) X[i] = hx[i];
  for (IWORD i = n; i < n + meq + mineq; ++i) X[i] = 0;
  for (IWORD i = 0; i < mineq; ++i) LACT[i] = ORVK_FALSE;
  nactiv = 0;
  *NCACT = meq;
  s.k = n + meq;
  SSMVML(n, n, IAH, JAH, 0, H, 0, X, 0, hx, 2);
  s.gtx = ORVK_DINNER(&n, &izero, G, &izero, X);
  s.xhx2 = ORVK_DINNER(&n, &izero, X, &izero, hx) / 2;
  s.objf = s.gtx + s.xhx2;
  s.indef = 0;
  s.errceq = 0;
  for (IWORD r = 0; r < meq; ++r) {
    double scale = 0;
    s.errceq += std::fabs(row_residual(r, IAC, JAC, AC, B, X, scale));
  }
  *IRET = 1;
  end_run();
  return true;
}

// The iterations: solve the KKT system of the active rows, evaluate the
// solution, let the active-set step change the list.
void QpSolver::iterate() {
  for (;;) {
    const IWORD k = s.k;
    s.indef = 0;
    if (!prepare_iteration(k) || !solve_kkt(k)) return;
    check_solution(k);
    if (*ISING == 0) {
      evaluate_solution(k);
    } else if (!failed_solve(k)) {
      return;
    }
    if (mineq != 0) {
      const Next next = active_set_step();
      if (next == Next::kIterate) continue;
      if (next == Next::kReturn) return;
    }
    end_run();
    return;
  }
}

// Checks that the system of order K fits and keeps the previous solution.
// False when the run ends.
bool QpSolver::prepare_iteration(IWORD k) {
  if (iprint > 0 && iter == 0) iteration_line();
  // The dense solver's own arrays take at most its largest order.
  if (!sparse_form && k > kLdltMaxOrder) {
    write_empty(unit);
    write_rec(unit, Rec().X(4).A(" KKT SYSTEM OF ORDER").I(k, 6).A(" EXCEEDS THE DENSE SOLVER'S").I(
                        kLdltMaxOrder, 6));
    *IFAIL = 1;
    return false;
  }
  // The system of this order must fit its partitions before anything of
  // it is written; if not, the run ends with the total it needs.
  if (!fits(k)) {
    write_empty(unit);
    write_rec(unit,
              Rec().X(4).A(" WORKING STORAGE FOR RWRKQP HAS TO BE INCREASED TO").I(need_for(k), 6));
    write_empty(unit);
    *IFAIL = 1;
    return_best_feasible();
    return false;
  }
  for (IWORD i = 0; i < k; ++i) bp[i] = 0;
  // The whole partition: GMRES starts from word 7 words of it, which can
  // reach beyond word 8 + N + MEQ (the order of a previous call, or the
  // rows active at the start, whose multipliers the copy from X at the
  // next iteration does not cover yet); nothing of it may come from the
  // caller's work array.
  if (iter == 0)
    for (IWORD i = 0; i < kv; ++i) xold[i] = 0;
  timer(s.t1);
  if (iprint > 1 && iter == 0) dump_i(unit, nactiv, 0, iract, "ACTIV INEQ");
  for (IWORD j = 0; j < nactiv; ++j) iractc[j] = iract[j];
  if (iprint > 1 && iter == 0) dump_i(unit, nacold, 0, iacold, "ACTIV OLD ");
  if (*ISING == 0 && iter > 0)
    for (IWORD i = 0; i < nacold + n + meq; ++i) xold[i] = X[i];
  return true;
}

// Assemble and solve the KKT system.  False when the run ends.
bool QpSolver::solve_kkt(IWORD k) {
  // The dense solver's arrays hold at most its largest order; the sparse
  // solvers (K up to 2N) do not use them.
  const IWORD kdense = k < kLdltMaxOrder ? k : kLdltMaxOrder;
  for (IWORD i = 0; i < 2 * kdense; ++i) s.iswap[i] = 0;
  for (IWORD i = 0; i < kdense; ++i) s.dwork[i] = 0;
  if (sparse_form) {
    QPKTSP(n, G, IAH, JAH, H, meq, mineq, B, IAC, JAC, AC, *NCACT, akkt, ia, ja, bp, iract,
           iprint);
    const IWORD nnzk = ia[k] - 1;
    if (solver == 2) {
      const IWORD mode = nlpint(ORVK_NLPINT_FACTCUR);
      IWORD lfail = 0;
      LESSLV(mode, k, nnzk, meq, mineq, 15, ia, ja, akkt, bp, bold, X, iractc, iacold, s.isrow,
             *LDC, CWORK, *LRWLES, RWLES, *LIWLES, IWLES, *ISING, lfail);
      if (lfail != 0 && mode != 0) {
        // An update of the factors that outgrew their room: factor the
        // KKT matrix of the active rows afresh (the update may have
        // overwritten the matrix and its right-hand side).
        QPKTSP(n, G, IAH, JAH, H, meq, mineq, B, IAC, JAC, AC, *NCACT, akkt, ia, ja, bp, iract,
               iprint);
        lfail = 0;
        LESSLV(0, k, ia[k] - 1, meq, mineq, 15, ia, ja, akkt, bp, bold, X, iractc, iacold,
               s.isrow, *LDC, CWORK, *LRWLES, RWLES, *LIWLES, IWLES, *ISING, lfail);
      }
      if (lfail != 0) {
        *IFAIL = 1;
        return false;
      }
      for (IWORD i = 0; i < k; ++i) bold[i] = bp[i];
      nlpint(ORVK_NLPINT_KKTLAST) = k;
      nlpint(ORVK_NLPINT_FACTCUR) = 1;
    } else {
      GMRES(k, nlpint(ORVK_NLPINT_KKTLAST), xold, ia, ja, akkt, bp, X, *LIWLES, IWLES, *LRWLES,
            RWLES, *ISING);
      // Code 2: a work array too short for this order (its line printed).
      // No solve was made: the run ends with IFAIL as for the sparse
      // solver, not as a singular KKT matrix.
      if (*ISING == 2) {
        *ISING = 0;
        *IFAIL = 1;
        return false;
      }
      nlpint(ORVK_NLPINT_KKTLAST) = k;
    }
  } else {
    QPKTPK(n, G, IAH, JAH, H, meq, mineq, B, IAC, JAC, AC, *NCACT, akkt, bp, iract);
    LDLTBK(akkt, k, bp, 1, 2000, 0, s.iswap, s.dwork, s.ipivot, *ISING, unit, iprint);
    for (IWORD i = 0; i < k; ++i) X[i] = bp[i];
  }
  return true;
}

// A solution that is not finite, or that misses the rows of its own KKT
// system, constraint rows or Hessian rows (an inconsistent system that the
// solver did not refuse), counts as a failed solve.
void QpSolver::check_solution(IWORD k) {
  if (*ISING == 0) {
    bool failed = false;
    const IWORD nsel = *NCACT == meq ? 0 : nactiv;
    for (IWORD i = 0; i < k && !failed; ++i) failed = !std::isfinite(X[i]);
    if (!failed) failed = !rows_hold(n, meq, mineq, IAC, JAC, AC, B, X, nsel, iract);
    // HX and DELTX serve as scratch; evaluate_solution fills them afresh.
    if (!failed)
      failed = !hessian_rows_hold(n, meq, G, IAH, JAH, H, IAC, JAC, AC, X, nsel, iract, hx,
                                  deltx);
    if (failed) {
      *ISING = sparse_form ? 1 : 129;
      s.isrow = 0;
    }
  }
  if (iprint > 0 && iter == 0) dump_r(unit, k, 0, X, "X KTC     ");
}

// Objective of the solution and the curvature along the change of x.
void QpSolver::evaluate_solution(IWORD k) {
  for (IWORD i = 0; i < k; ++i) bp[i] = X[i];
  s.gtx = ORVK_DINNER(&n, &izero, G, &izero, X);
  SSMVML(n, n, IAH, JAH, 0, H, 0, X, 0, hx, 2);
  s.xhx2 = ORVK_DINNER(&n, &izero, X, &izero, hx) / 2;
  s.objf = s.gtx + s.xhx2;
  const bool curv = s.sing_last == 0 && iter > 0;
  if (curv) {
    for (IWORD i = 0; i < n; ++i) deltx[i] = X[i] - xold[i];
    SSMVML(n, n, IAH, JAH, 0, H, 0, xold, 0, hx, 2);
    s.gqptdx = ORVK_DINNER(&n, &izero, G, &izero, deltx) +
               ORVK_DINNER(&n, &izero, deltx, &izero, hx);
    SSMVML(n, n, IAH, JAH, 0, H, 0, deltx, 0, hx, 2);
    const double c = ORVK_DINNER(&n, &izero, deltx, &izero, hx);
    if (c <= 0) s.indef = -1;
    s.dxhdx2 = c / 2;
    const double d = c < 0 ? -std::fmax(-c, 1e-20) : std::fmax(c, 1e-20);
    s.aphmin = -s.gqptdx / d;
  }
  if (iprint != 0) {
    if (curv && iprint > 1) {
      write_empty(unit);
      // Twenty blank characters from column 3 (a trailing nX would give an
      // empty record).
      write_rec(unit, Rec().X(2).A("                    "));
      dump_sr(unit, s.gqptdx, "GQPTDX    ");
      dump_sr(unit, s.dxhdx2, "1/2DXHDX  ");
      dump_sr(unit, s.aphmin, "APHMIN   ");
    }
    if (s.indef == -1) indefinite();
    if (iter > 0 && iprint >= 1) {
      iteration_line();
      if (iprint > 1) dump_lists();
      dump_r(unit, k, 0, X, "X KTC     ");
    }
    if (iprint > 1) {
      dump_sr(unit, s.objf, "OBJF QP   ");
      dump_sr(unit, s.gtx, "GTX       ");
      dump_sr(unit, s.xhx2, "1/2XTHX  ");
    }
  }
  if (mineq > 0) track_feasible();
}

// A failed solve: name the row held responsible.  False when the run ends
// (no active row to release).
bool QpSolver::failed_solve(IWORD k) {
  s.sing_last = 1;
  if (iprint > 0 && iter > 0) {
    iteration_line();
    if (iprint > 1) {
      dump_lists();
      dump_r(unit, k, 0, X, "X KTC     ");
    }
  }
  if (nactiv == 0) {
    if (iprint > 0) line5(unit, "*** WARNING - PROJECTED HESSIAN MAY BE SINGULAR ***");
    return false;
  }
  if (solver == 2) {
    nlpint(ORVK_NLPINT_FACTCUR) = 0;
    if (s.isrow >= 1 && s.isrow <= nactiv) nlpint(ORVK_NLPINT_JSING) = iract[s.isrow - 1];
  } else if (solver != 3) {
    nlpint(ORVK_NLPINT_JSING) = nlpint(ORVK_NLPINT_LASTIN);
  }
  return true;
}

// The active-set step and what its verdict means for the run.
Next QpSolver::active_set_step() {
  if (iter > 0) {
    nacold0 = nacold;
    nacold = nactiv;
    for (IWORD j = 0; j < nacold0; ++j) iacold0[j] = iacold[j];
    for (IWORD j = 0; j < nacold; ++j) iacold[j] = iract[j];
  }
  QPACTV(n, X, s.objf, meq, mineq, B, IAC, JAC, AC, FESBLE, G, IAH, JAH, H, *MACT, rhs, alphas,
         xfsmin, s.objfmn, iract, jflag, s.nactmn, ifsmin, LACT, iprint, *IRET, *APHMAX,
         s.errceq, *ISING, s.indef, s.sing_last, iacold0, xold, s.ncant, icant, iclose, s.xhx2,
         s.gqptdx, s.gtx);
  if (*ISING == 0) s.sing_last = 0;

  if (*IRET == 1) {
    // Infeasible: return the point of smallest violation with its active set.
    nactiv = s.nactmn;
    for (IWORD i = 0; i < mineq; ++i) LACT[i] = ORVK_FALSE;
    for (IWORD j = 0; j < nactiv; ++j) {
      iract[j] = ifsmin[j];
      LACT[ifsmin[j] - 1] = ORVK_TRUE;
    }
    for (IWORD i = 0; i < n + meq; ++i) X[i] = xfsmin[i];
    const Vec1<double> x(X);
    const Vec1<const LWORD> lact(LACT);
    IWORD kk = 0;
    for (IWORD i = 1; i <= mineq; ++i)
      x(n + meq + i) = is_true(lact(i)) ? xfsmin[n + meq + kk++] : 0.0;
    s.objf = s.objfmn;
    s.gtx = ORVK_DINNER(&n, &izero, G, &izero, X);
    *NCACT = meq + nactiv;
    s.k = n + meq + nactiv;
    return Next::kEndRun;
  }
  if (*IRET == 2) {
    return_best_feasible();
    if (iprint != 0) {
      write_empty(unit);
      write_rec(unit, Rec().X(4).A("*** MAXIMUM NUMBER OF").I(kMaxIter, 3).A(
                          " QP ITERATIONS EXCEEDED ***"));
    }
    return Next::kReturn;
  }
  if (*IRET == 3) {
    if (iprint != 0) line5(unit, "*** TERMINATED DUE TO THE POSSIBILITY OF CYCLING ***");
    return Next::kReturn;
  }
  // A solution is taken as valid only when it meets every row.
  bool valid = is_true(nlpint(ORVK_NLPINT_VALID));
  if (valid && !rows_hold(n, meq, mineq, IAC, JAC, AC, B, bp, 0, nullptr)) {
    valid = false;
    nlpint(ORVK_NLPINT_VALID) = ORVK_FALSE;
  }
  if (iprint > 0 && valid) line5(unit, "CURRENT QP SOLUTION IS VALID");
  if (iprint > 2 && !valid) line5(unit, "CURRENT QP SOLUTION VIOLATES SOME INEQUALITIES");
  timer(s.t2);
  if (iprint > 1) dump_sr(unit, s.t2 - s.t1, "1-QP.TIME ");
  if (valid) {
    const Vec1<double> x(X);
    const Vec1<const LWORD> lact(LACT);
    IWORD kk = 0;
    for (IWORD i = 1; i <= mineq; ++i)
      x(n + meq + i) = is_true(lact(i)) ? bp[n + meq + kk++] : 0.0;
    return Next::kEndRun;
  }
  *NCACT = meq + nactiv;
  nlpint(ORVK_NLPINT_ROW1) = n + meq + 1;
  s.k = n + meq + nactiv;
  nlpint(ORVK_NLPINT_ROW2) = s.k;
  if (iter == kMaxIter) *IRET = 2;
  ++iter;
  return Next::kIterate;
}

}  // namespace

/* ORVK_QPSLV: minimise g'x + x'Hx/2 subject to a_i x = b_i (i = 1..MEQ) and
 * a_i x <= b_i (i = MEQ+1..MEQ+MINEQ) by a primal active-set method: each
 * iteration solves the KKT system of the equality rows and the active
 * inequality rows, tests the curvature along the change of x and lets the
 * active-set step change the active list, until the list stands.
 *
 *   N        in      IWORD       number of variables.
 *   G        in      real (N)    gradient g.
 *   IAH,JAH,H in     CSR         H, N rows, lower triangle with the diagonal.
 *   MEQ, MINEQ in    IWORD       numbers of equality and inequality rows.
 *   B        in      real (MEQ+MINEQ)  right-hand sides (equalities first).
 *   IAC,JAC,AC in    CSR         constraint rows (MEQ+MINEQ rows, columns 1..N).
 *   FESBLE   in      real (MINEQ) release thresholds when too many rows are active.
 *   MACT     in      IWORD       update variant: 1 one row in and out per step, 2 every
 *                                violated row in, 3 every negative multiplier out.
 *   NCACT    out     IWORD       MEQ + NACTIV.
 *   ITER     out     IWORD       iterations done (written when the run ends normally
 *                                or infeasible).
 *   X        in/out  real (N+MEQ+MINEQ)  x, equality multipliers, one multiplier per
 *                                inequality (0 when inactive).
 *   LRWRKQP, RWRKQP  in, work    real work: 9 MEQ + 6 MINEQ + 8N + 15 (nnz(H)+nnz(AC))
 *                                words (partitions of negative length count 0), checked
 *                                at entry.  A KKT system of order K = N + MEQ + NACTIV
 *                                needs 5 max(0, K - 2N) words more, and with the dense
 *                                solver max(0, K(K+1)/2 - 15 (nnz(H)+nnz(AC))) more for
 *                                its packed triangle; words beyond the total serve
 *                                these.  Each iteration checks its order before the
 *                                system is built; a shortage ends the run with the
 *                                shortage line giving the total for that order and
 *                                IFAIL 1, IRET 0 and X as on the iteration limit (the
 *                                start point when no system was solved yet).
 *   LIWRKQP, IWRKQP  in, work    integer work: 9 MINEQ + 2 MEQ + N + 1 + 15 (nnz(H)+nnz(AC));
 *                                IWRKQP(1..NACTIV) is the active list, kept for a warm start.
 *   UNUSED21 -                   not read.
 *   LACT     in/out  LWORD (MINEQ) active flags.
 *   IPRINT   in      IWORD       print level (unit word 1 of ORVK_NLPINT).
 *   IRET     out     IWORD       0 solution (or singular KKT with no active row: see
 *                                ISING), 1 infeasible (x of smallest violation returned),
 *                                2 iteration limit (30): X(1..N) is the best feasible
 *                                point reached in the call (rest of X 0); when none
 *                                was reached, X keeps the last KKT solution.
 *   LRWLES..IWLES    in, work    work of the sparse and GMRES KKT solvers.
 *   ISING    in/out  IWORD       nonzero when the last KKT solve failed (singular or
 *                                non-finite solution).
 *   APHMAX   out     real        step fraction of the active-set step.
 *   LDC, CWORK       in, work    dense work (LDC rows) of the sparse solver and the
 *                                phase-1 LP.
 *   IFAIL    out     IWORD       set to 1 when a work array is too short (at entry or
 *                                for the KKT order an iteration reaches), when the KKT
 *                                system outgrows the dense solver (order 1056), or when
 *                                N, MEQ, MINEQ or a row structure is invalid; never
 *                                cleared.
 * Options in ORVK_NLPINT: word 55 warm start, 67 KKT solver (1 dense, 2 sparse,
 * 3 GMRES), 68 phase-1 LP: on a cold start with inequalities 1..2N the bounds
 * of the variables (coefficients +1 and -1), the phase-1 LP is printed and run
 * by the simplex feasibility check (report at the level of word 80, in RWLES
 * and IWLES; too short a work array there sets IFAIL).  An infeasible
 * finding ends the run with IRET 1 before any KKT solve, as crossed bounds
 * do with or without word 68.  Cost per iteration: one KKT solve, O(K^3/3)
 * with the dense solver.  Reference: R. Fletcher, Practical Methods of
 * Optimization, 2nd ed. (1987), ch. 10 (active-set methods); the dense KKT
 * solve after Bunch and Parlett (1971). */
extern "C" ORVK_API void ORVK_QPSLV(
    const IWORD* N, const double* G, const IWORD* IAH, const IWORD* JAH, const double* H,
    const IWORD* MEQ, const IWORD* MINEQ, const double* B, const IWORD* IAC, const IWORD* JAC,
    const double* AC, const double* FESBLE, const IWORD* MACT, IWORD* NCACT, IWORD* ITER,
    double* X, const IWORD* LRWRKQP, double* RWRKQP, const IWORD* LIWRKQP, IWORD* IWRKQP,
    [[maybe_unused]] void* UNUSED21, LWORD* LACT, const IWORD* IPRINT, IWORD* IRET,
    const IWORD* LRWLES, double* RWLES, const IWORD* LIWLES, IWORD* IWLES, IWORD* ISING,
    double* APHMAX, const IWORD* LDC, double* CWORK, IWORD* IFAIL) {
  QpSolver solver{*N,     *MEQ,    *MINEQ,  *IPRINT, G,      IAH,   JAH,   H,
                  B,      IAC,     JAC,     AC,      FESBLE, MACT,  NCACT, ITER,
                  X,      LRWRKQP, RWRKQP,  LIWRKQP, IWRKQP, LACT,  IRET,  LRWLES,
                  RWLES,  LIWLES,  IWLES,   ISING,   APHMAX, LDC,   CWORK, IFAIL};
  solver.run();
}
