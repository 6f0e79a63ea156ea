// QPACTV, the active-set step of the QP solver, and the release routines
// QPENL1 .. QPENL5.
//
// From the KKT solution of one iteration the step decides which inequality
// rows enter and leave the active list IRACT (kept in increasing order, count
// NACTIV in word 4 of ORVK_NLPINT), keeps the point of smallest violation,
// detects an infeasible active set (variant 1), limits the list to N - MEQ
// rows and reports through word 78 whether the solution stands.
#include <cmath>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dumps.hpp"
#include "frame/views.hpp"
#include "orvika/kernels_sparse.h"
#include "qp/qp.hpp"

namespace orvika {
namespace {

using qp_detail::dump_i;
using qp_detail::dump_r;
using qp_detail::dump_si;
using qp_detail::dump_sr;

// An inactive row whose constraint value exceeds its bound by no more than
// this fraction of the size of the terms of the row (|b_i| + sum |a_ij x_j|)
// holds within the rounding of the KKT solution: a row through the point
// that the active rows fix (a repeated row, or a further row through the
// same vertex) lands on either side of its bound by chance.  Such a row is
// not violated: taking it in would make the KKT matrix singular or, with a
// full active set, give an infeasible verdict on a feasible problem.
constexpr double kRoundTol = 1e-10;

// Saved variables of the step (one copy per process).
struct ActvState {
  double min_ineq = 1e20;  // MIN INEQ: smallest violation sum of this solve
  IWORD infeasible = 0;
  IWORD jcycle = 0;
  IWORD nmu = 0;           // NO. -MU
  double vmumin = 0;
  IWORD nviolat = 0;
  double alphamin = 0;     // ALPHA MIN
  IWORD nclose = 0;        // count of ICLOSE
  IWORD lastclose = 0;     // row chosen last for ICLOSE
  IWORD nlarge = 0;
  IWORD jact = 0, jinact = 0;
};
ActvState g_st;

bool in_list(IWORD v, const IWORD* list, IWORD n) {
  for (IWORD k = 0; k < n; ++k)
    if (list[k] == v) return true;
  return false;
}

// Removes the first occurrence of ROW from LIST(1..N); false when absent.
bool remove_from(IWORD row, IWORD* list, IWORD& n) {
  for (IWORD k = 0; k < n; ++k)
    if (list[k] == row) {
      for (IWORD m = k + 1; m < n; ++m) list[m - 1] = list[m];
      --n;
      return true;
    }
  return false;
}

// One release pass (see QPENL1).
void release_pass(IWORD N, double* X, IWORD MEQ, double* ALPHAS, LWORD* LACT, IWORD* IRACT,
                  const IWORD* JFLAG, IWORD& JREL, IWORD LEN, IWORD IMODE, IWORD unit,
                  IWORD IPRINT, IWORD MINEQ) {
  const Vec1<double> x(X), alphas(ALPHAS);
  const Vec1<LWORD> lact(LACT);
  IWORD& nactiv = nlpint(ORVK_NLPINT_NACTIV);
  JREL = 0;
  if (IMODE != 1 && IMODE != 2) {
    if (LEN >= 1 && LEN <= MINEQ && remove_from(LEN, IRACT, nactiv)) JREL = LEN;
    return;
  }
  const IWORD* cand = IMODE == 1 ? JFLAG : IRACT;
  IWORD len = LEN < 0 ? 0 : LEN;
  if (len > MINEQ) len = MINEQ;
  if (IMODE == 2 && len > nactiv) len = nactiv;
  IWORD best = 0;
  double amax = 0;
  for (IWORD k = 0; k < len; ++k) {
    const IWORD r = cand[k];
    if (r < 1 || r > MINEQ || !is_true(lact(r))) continue;
    const double a = alphas(r);
    if (IMODE == 1 && !(a < 1.0 - 1e-8)) continue;
    if (a > amax) {
      amax = a;
      best = r;
    }
  }
  if (best == 0) return;
  x(N + MEQ + best) = 0;
  lact(best) = ORVK_FALSE;
  remove_from(best, IRACT, nactiv);
  JREL = best;
  if (IMODE == 1 && IPRINT > 0) {
    write_empty(unit);
    write_rec(unit, Rec().X(4).A("***  ENLARGE THE FOLLOWING CONSTRAINT  ***").I(best, 3));
  }
}

void repeat_release(IWORD N, double* X, IWORD MEQ, double* ALPHAS, LWORD* LACT, IWORD* IRACT,
                    const IWORD* JFLAG, IWORD& JREL, IWORD NPASS, IWORD LEN, IWORD IMODE,
                    IWORD unit, IWORD IPRINT, IWORD MINEQ) {
  IWORD last = 0;
  for (IWORD p = 0; p < NPASS; ++p) {
    IWORD jr = 0;
    release_pass(N, X, MEQ, ALPHAS, LACT, IRACT, JFLAG, jr, LEN, IMODE, unit, IPRINT, MINEQ);
    if (jr != 0) last = jr;
  }
  JREL = last;
}

}  // namespace

void QPENL1(IWORD N, double* X, IWORD MEQ, double* ALPHAS, LWORD* LACT, IWORD* IRACT,
            const IWORD* JFLAG, IWORD& JREL, IWORD, IWORD LEN, IWORD IMODE, IWORD unit,
            IWORD IPRINT, IWORD MINEQ) {
  release_pass(N, X, MEQ, ALPHAS, LACT, IRACT, JFLAG, JREL, LEN, IMODE, unit, IPRINT, MINEQ);
}

#define ORVK_QPENL_REPEAT(NAME)                                                               \
  void NAME(IWORD N, double* X, IWORD MEQ, double* ALPHAS, LWORD* LACT, IWORD* IRACT,        \
            const IWORD* JFLAG, IWORD& JREL, IWORD NPASS, IWORD LEN, IWORD IMODE, IWORD unit, \
            IWORD IPRINT, IWORD MINEQ) {                                                      \
    repeat_release(N, X, MEQ, ALPHAS, LACT, IRACT, JFLAG, JREL, NPASS, LEN, IMODE, unit,      \
                   IPRINT, MINEQ);                                                            \
  }
ORVK_QPENL_REPEAT(QPENL2)
ORVK_QPENL_REPEAT(QPENL3)
ORVK_QPENL_REPEAT(QPENL4)
ORVK_QPENL_REPEAT(QPENL5)
#undef ORVK_QPENL_REPEAT

namespace {

// One call of QPACTV: the arguments, the words of ORVK_NLPINT it keeps, and
// one member function per named step.  run() reads as the algorithm.
struct ActiveStep {
  // Arguments.
  IWORD N;
  double* X;
  double OBJFQP;
  IWORD MEQ, MINEQ;
  const double* B;
  const IWORD *IAC, *JAC;
  const double *AC, *FESBLE;
  IWORD MACT;
  double *RHS, *ALPHAS, *XFSMIN;
  double& OBJFMN;
  IWORD *IRACT, *JFLAG;
  IWORD& NACTMN;
  IWORD* IFSMIN;
  LWORD* LACT;
  IWORD IPRINT;
  IWORD& IRET;
  double &APHMAX, &ERRCEQ;
  IWORD ISING;
  IWORD& INDEF;
  IWORD ISNGLL;
  const IWORD* IACOLD0;
  const double* XOLD;
  IWORD& NCANT;
  IWORD *ICANT, *ICLOSE;
  double XHX2, GTX;

  // 1-based views of the arrays.
  const Vec1<double> x{X}, alphas{ALPHAS};
  const Vec1<LWORD> lact{LACT};
  const Vec1<IWORD> iract{IRACT}, jflag{JFLAG};
  const Vec1<const IWORD> iacold0{IACOLD0};
  const Vec1<const double> b_{B}, rhs{RHS}, xold{XOLD}, fesble{FESBLE};

  // Saved state and the words of ORVK_NLPINT.
  ActvState& s = g_st;
  const IWORD unit = nlpint(ORVK_NLPINT_QPUNIT);
  IWORD& nactiv = nlpint(ORVK_NLPINT_NACTIV);
  IWORD& ndelete = nlpint(ORVK_NLPINT_NDELETE);
  IWORD& nactini = nlpint(ORVK_NLPINT_NACTINI);
  IWORD& jsing = nlpint(ORVK_NLPINT_JSING);
  IWORD& jactiv = nlpint(ORVK_NLPINT_JACTIV);
  IWORD& jdelete = nlpint(ORVK_NLPINT_JDELETE);
  IWORD& lastin = nlpint(ORVK_NLPINT_LASTIN);
  IWORD& lastou = nlpint(ORVK_NLPINT_LASTOU);
  LWORD& valid = nlpint(ORVK_NLPINT_VALID);
  const IWORD nacold = nlpint(ORVK_NLPINT_NACTLAST);
  const IWORD iter = nlpint(ORVK_NLPINT_QPITER);
  const IWORD nfree = N - MEQ;  // most rows that may be active
  const bool v23 = MACT == 2 || MACT == 3;

  // State of this call shared between the steps.
  bool singular = false;
  const double* vx = X;    // the point whose constraint values RHS holds
  double viol = 0;         // S: violation sum of the ratio test
  bool ratio_test = true;
  bool changed = false;    // a row entered or left the active set

  void run();

 private:
  double b(IWORD i) const { return b_(MEQ + i); }       // bound of inequality i
  double v(IWORD i) const { return rhs(MEQ + i); }      // a_(MEQ+i) x
  bool violated(IWORD i) const;
  double& mu(IWORD k) const { return x(N + MEQ + k); }
  bool active(IWORD i) const { return i >= 1 && i <= MINEQ && is_true(lact(i)); }
  void constraint_values(const double* x);
  IWORD most_negative();
  void empty_close();
  void search();

  void sanitize_saved_rows();
  void start_solve();
  void regular_start();
  void choose_leaving_row();
  bool singular_start();
  bool choose_entering_row();
  void choose_after_singular();
  bool ratio_test_choice();
  void keep_smallest_violation();
  void detect_infeasible();
  void print_choice() const;
  void infeasible_exit();
  void update_active_set();
  void print_update() const;
  void limit_active_count();
  void settle_validity();
};

void ActiveStep::constraint_values(const double* x) {
  vx = x;
  const IWORD i1 = MEQ + 1, i2 = MEQ + MINEQ, zero = 0, ioy = MEQ;
  ORVK_SMVMUL(&N, &i1, &i2, IAC, JAC, &zero, AC, &zero, x, &ioy, RHS);
}

// Inequality i exceeds its bound beyond the rounding of its terms.
bool ActiveStep::violated(IWORD i) const {
  const double bi = b(i), vi = v(i);
  if (!(bi < vi)) return false;
  double scale = std::fabs(bi);
  for (IWORD p = IAC[MEQ + i - 1]; p < IAC[MEQ + i]; ++p)
    scale += std::fabs(AC[p - 1] * vx[JAC[p - 1] - 1]);
  return vi - bi > kRoundTol * scale;
}

// Row with the most negative multiplier among the first NACTIV INI (the later on ties).
IWORD ActiveStep::most_negative() {
  IWORD jd = 0;
  double m = 0;
  for (IWORD k = 1; k <= nactini; ++k)
    if (mu(k) < 0 && mu(k) <= m) {
      m = mu(k);
      jd = iract(k);
    }
  s.vmumin = m;
  return jd;
}

void ActiveStep::empty_close() {
  for (IWORD c = 0; c < s.nclose; ++c) ICLOSE[c] = 0;
  s.nclose = 0;
}

// Activation search among inactive rows with a negative ratio.
void ActiveStep::search() {
  IWORD best = 0;
  double amin = 0;
  for (IWORD i = 1; i <= MINEQ; ++i) {
    if (active(i) || !(alphas(i) < 0)) continue;
    if (i == jdelete || i == jsing || i == lastou || in_list(i, ICANT, NCANT)) continue;
    if (best == 0 || std::fabs(alphas(i)) < amin) {
      best = i;
      amin = std::fabs(alphas(i));
    }
  }
  if (best != 0) {
    jactiv = best;
    s.alphamin = amin;
    INDEF = -1;
  }
}

void ActiveStep::run() {
  sanitize_saved_rows();
  start_solve();
  if (!singular) {
    regular_start();
  } else if (!singular_start()) {
    return;
  }
  const bool to_bookkeeping = choose_entering_row();
  if (!to_bookkeeping && s.nmu != 0 && s.nviolat == 0 && jactiv == 0 && jdelete == 0) {
    jdelete = most_negative();
    empty_close();
  }
  keep_smallest_violation();
  detect_infeasible();
  print_choice();
  if (s.infeasible == 1 && GTX <= 0) {
    infeasible_exit();
    return;
  }
  update_active_set();
  print_update();
  if (nactiv > nfree) limit_active_count();
  settle_validity();
}

// Row numbers kept from earlier steps or calls must name inequality rows.
void ActiveStep::sanitize_saved_rows() {
  for (IWORD* w : {&jsing, &jactiv, &jdelete, &lastin, &lastou})
    if (*w < 0 || *w > MINEQ) *w = 0;
  if (s.lastclose < 0 || s.lastclose > MINEQ) s.lastclose = 0;
  if (s.nclose < 0 || s.nclose > MINEQ) s.nclose = 0;
  for (IWORD c = 0; c < s.nclose; ++c)
    if (ICLOSE[c] < 1 || ICLOSE[c] > MINEQ) s.nclose = 0;
  if (NCANT < 0 || NCANT > MINEQ) NCANT = 0;
}

// First step of a solve: forget the point of smallest violation.
void ActiveStep::start_solve() {
  if (iter == 0) {
    s.min_ineq = 1e20;
    NACTMN = 0;
    OBJFMN = 0;
    for (IWORD i = 0; i < N + MEQ; ++i) XFSMIN[i] = 0;
  }
  singular = ISING != 0;
}

// Regular solve: constraint values at X and the row to release.
void ActiveStep::regular_start() {
  valid = ORVK_TRUE;
  nactini = nactiv;
  lastin = jactiv;
  lastou = jdelete;
  if (v23) nactiv = 0;
  ndelete = 0;
  s.infeasible = 0;
  for (IWORD i = 0; i < MINEQ; ++i) ALPHAS[i] = 0;
  s.jcycle = 0;
  jsing = 0;
  constraint_values(X);
  if (IPRINT > 2) {
    dump_r(unit, MINEQ, MEQ, RHS, "RHS INEQ  ");
    dump_r(unit, MINEQ, MEQ, B, "C INEQ    ");
    dump_r(unit, MINEQ, 0, FESBLE, "FESBLE    ");
  }
  if (MACT != 3) choose_leaving_row();
}

// The active row with the most negative multiplier leaves (rows of ICLOSE
// only below -1), with the upkeep of ICLOSE and of the barred rows ICANT.
void ActiveStep::choose_leaving_row() {
  jdelete = 0;
  s.nmu = 0;
  if (nactini == 0) {
    s.vmumin = 0;
    return;
  }
  double m = 0;
  for (IWORD k = 1; k <= nactini; ++k) {
    if (mu(k) < 0) ++s.nmu;
    if (mu(k) < m) {
      const IWORD r = iract(k);
      if (in_list(r, ICLOSE, s.nclose) && mu(k) >= -1.0) continue;
      m = mu(k);
      jdelete = r;
    }
  }
  s.vmumin = m;
  // ICLOSE upkeep.
  if (s.nclose == 1 && ICLOSE[0] == jdelete) {
    empty_close();
  } else if (jdelete != 0) {
    remove_from(jdelete, ICLOSE, s.nclose);
  }
  // Rows barred from activation for the rest of this solve.
  if (ISNGLL != 1 && iter >= 2) {
    if (lastin != 0) {
      if (jdelete == lastin && lastou == 0 && XHX2 >= 0 && !in_list(lastin, ICANT, NCANT))
        ICANT[NCANT++] = lastin;
    } else if (lastou != 0 && INDEF == -1 && XHX2 <= 0) {
      double rho = s.alphamin;
      if (v(lastou) != 0) rho = b(lastou) / v(lastou);
      if (rho >= 1e-6 && !in_list(lastou, ICANT, NCANT)) ICANT[NCANT++] = lastou;
    }
  }
  if (INDEF == -1) jdelete = 0;
  if (IPRINT > 1) dump_i(unit, NCANT, 0, ICANT, "I CANT    ");
}

// Singular solve: release the row held responsible and go back to the
// constraint values of XOLD.  False when the step ends here (variants 2, 3).
bool ActiveStep::singular_start() {
  // A singular solve never yields a valid solution.
  valid = ORVK_FALSE;
  if (v23) {
    if (IPRINT == 3) dump_r(unit, MINEQ, 0, ALPHAS, "ALPHAS    ");
    if (IPRINT > 2) dump_r(unit, MINEQ, 0, ALPHAS, "ALPHAS    ");
    IWORD jr = 0;
    QPENL4(N, X, MEQ, ALPHAS, LACT, IRACT, JFLAG, jr, 1, nactiv, 2, unit, IPRINT, MINEQ);
    if (jr == 0 && nactiv > 0) {
      // No positive ratio: release the last row of the list.
      jr = iract(nactiv);
      mu(nactiv) = 0;
      lact(jr) = ORVK_FALSE;
      --nactiv;
    }
    jsing = jr;
    if (IPRINT > 2) dump_i(unit, nactiv, 0, IRACT, "IRACT     ");
    if (ndelete != 0 || nactiv != nactini) valid = ORVK_FALSE;
    return false;
  }
  if (jsing == 0 || !active(jsing)) {
    // No row held responsible: the active row with the largest ratio, or
    // the last of the list.
    IWORD best = 0;
    double amax = 0;
    for (IWORD k = 1; k <= nactiv; ++k) {
      const IWORD r = iract(k);
      if (active(r) && alphas(r) > amax) {
        amax = alphas(r);
        best = r;
      }
    }
    jsing = best != 0 ? best : (nactiv > 0 ? iract(nactiv) : 0);
  }
  if (jsing != 0) {
    if (jsing == lastin)
      for (IWORD k = 1; k <= nactiv; ++k)
        if (iract(k) == lastin) mu(k) = -1.0;
    s.nclose = 0;
    s.infeasible = 0;
    IWORD jr = 0;
    QPENL2(N, X, MEQ, ALPHAS, LACT, IRACT, JFLAG, jr, 1, jsing, 3, unit, IPRINT, MINEQ);
    lact(jsing) = ORVK_FALSE;
    ndelete = 1;
  }
  constraint_values(XOLD);
  jdelete = jsing;
  nactini = nactiv;
  ratio_test = false;
  return true;
}

// Choice of the row to activate.  True when the step goes straight to the
// bookkeeping (no further choice of a row to release).
bool ActiveStep::choose_entering_row() {
  jactiv = 0;
  s.alphamin = INDEF == -1 ? 1e20 : 1.0;
  s.nviolat = 0;
  if (!ratio_test) {
    choose_after_singular();
    return false;
  }
  return ratio_test_choice();
}

// After a singular solve the row to release comes from the multipliers of XOLD.
void ActiveStep::choose_after_singular() {
  if (jsing == 0 || nactiv == 0) return;
  IWORD jd = 0;
  double best = 0;
  for (IWORD k = 1; k <= nacold; ++k) {
    const IWORD r = iract(k);
    if (!active(r)) continue;
    const double m = xold(N + MEQ + k);
    if (m < 0 && (jd == 0 || m >= best)) {
      best = m;
      jd = r;
    }
  }
  if (jd != 0) {
    jdelete = jd;
    s.vmumin = best;
  } else {
    IWORD kbest = 0;
    for (IWORD k = 1; k <= nacold; ++k) {
      const IWORD r = iract(k);
      if (!active(r)) continue;
      const double m = xold(N + MEQ + k);
      if (m > 0 && (kbest == 0 || m > best)) {
        best = m;
        kbest = k;
      }
    }
    jdelete = 0;
    if (kbest != 0 && iacold0(kbest) >= 1 && iacold0(kbest) <= MINEQ)
      jdelete = iacold0(kbest);
  }
}

// Ratio test over the inactive rows, then the rows of ICLOSE and the
// searches.  True when the step goes straight to the bookkeeping.
bool ActiveStep::ratio_test_choice() {
  for (IWORD i = 1; i <= MINEQ; ++i) {
    if (active(i)) {
      alphas(i) = 1.0;
      continue;
    }
    const double bi = b(i), vi = v(i);
    const bool beyond = violated(i);
    // A row through the origin (bound 0) that x violates is crossed at the
    // start of the segment: violated, with ratio 0.
    if (beyond && std::fabs(vi) > 1e-15) ++s.nviolat;
    if (vi == 0) continue;
    const double rho = (std::fabs(bi) <= 1e-15 && std::fabs(vi) <= 1e-15) ? 1.000001 : bi / vi;
    alphas(i) = rho;
    viol += std::fabs(bi - vi);
    const bool cand = INDEF == 0 ? (rho >= 0 && rho < s.alphamin && beyond)
                                 : (INDEF == -1 && rho < 0 && std::fabs(rho) < s.alphamin &&
                                    nactiv < nfree);
    if (cand && !in_list(i, ICANT, NCANT)) {
      jactiv = i;
      s.alphamin = std::fabs(rho);
    }
  }
  if (s.nviolat == 0 && s.nmu == 0) {
    jactiv = 0;
    jdelete = 0;
    return true;
  }
  if (lastou == 0 && jdelete == lastin && s.nmu == 1 && s.nviolat == 0) {
    for (IWORD i = 1; i <= MINEQ; ++i)
      if (v(i) != 0) alphas(i) = b(i) / v(i);
    IWORD want = nfree - nactiv;
    if (want > MINEQ) want = MINEQ;
    s.nclose = 0;
    for (IWORD c = 0; c < want; ++c) {
      IWORD best = 0;
      double amin = 0;
      for (IWORD i = 1; i <= MINEQ; ++i) {
        if (active(i) || !(alphas(i) < -1.0)) continue;
        if (in_list(i, ICANT, NCANT) || in_list(i, ICLOSE, s.nclose)) continue;
        if (best == 0 || std::fabs(alphas(i)) < amin) {
          best = i;
          amin = std::fabs(alphas(i));
        }
      }
      if (best == 0) best = s.lastclose;
      if (best == 0) break;
      s.lastclose = best;
      ICLOSE[s.nclose++] = best;
    }
    if (IPRINT > 1) dump_i(unit, s.nclose, 0, ICLOSE, "ICLOSE    ");
  }
  for (IWORD c = 0; c < s.nclose; ++c)
    if (!active(ICLOSE[c])) {
      jactiv = ICLOSE[c];
      s.alphamin = std::fabs(alphas(jactiv));
      INDEF = -1;
      return false;
    }
  if (INDEF == 0) {
    if (s.nviolat != 0 && jactiv == 0) search();
  } else if (jactiv == 0) {
    if (s.nmu != 0) {
      jdelete = most_negative();
      if (jdelete == lastin && nactiv < nfree) {
        jdelete = 0;
        search();
      }
    } else if (s.nviolat != 0) {
      search();
      return true;
    } else {
      jactiv = 0;
      return true;
    }
  }
  return false;
}

// Point of smallest violation (regular solves only).
void ActiveStep::keep_smallest_violation() {
  if (!singular && viol <= s.min_ineq) {
    s.min_ineq = viol;
    NACTMN = nactini;
    for (IWORD k = 0; k < nactini; ++k) IFSMIN[k] = IRACT[k];
    for (IWORD k = 0; k < N + MEQ + nactini; ++k) XFSMIN[k] = X[k];
    OBJFMN = OBJFQP;
    APHMAX = s.alphamin;
  }
}

// Variant 1: a full active set that still wants a row is infeasible; a row
// that left right after entering is a cycle.
void ActiveStep::detect_infeasible() {
  if (v23) return;
  if (nactiv == nfree && jdelete == 0 && jactiv != 0) {
    s.infeasible = 1;
    APHMAX = s.alphamin;
  }
  if (lastin != 0 && lastin == jdelete && jactiv == 0) s.jcycle = 1;
}

void ActiveStep::print_choice() const {
  if (IPRINT > 1) {
    dump_si(unit, s.nmu, "NO. -MU   ");
    dump_si(unit, s.nviolat, "NO. VIOLAT");
    dump_si(unit, lastin, "LASTIN    ");
    dump_si(unit, lastou, "LASTOU    ");
    dump_r(unit, MINEQ, 0, ALPHAS, "ALPHAS    ");
    dump_sr(unit, s.alphamin, "ALPHA MIN ");
    dump_si(unit, jactiv, "JACTIV    ");
    dump_si(unit, jdelete, "JDELETE   ");
    dump_sr(unit, s.vmumin, "VMUMIN    ");
  }
  if (IPRINT > 2) {
    dump_si(unit, s.jcycle, "JCYCLE    ");
    dump_si(unit, jsing, "J SINGULAR");
    dump_si(unit, nactini, "NACTIV INI");
    VLDUMP(unit, MINEQ, 0, LACT, "LACT INIT ");
    if (nactini > 0) dump_i(unit, nactini, 0, IRACT, "IRACT INIT");
    dump_si(unit, nactiv, "NACTIV CUR");
    dump_si(unit, s.infeasible, "INFEASIBLE");
    dump_sr(unit, s.min_ineq, "MIN INEQ  ");
    if (NACTMN > 0) dump_i(unit, NACTMN, 0, IFSMIN, "IRACT MIN ");
    dump_r(unit, N + MEQ + NACTMN, 0, XFSMIN, "X KTC MIN ");
    dump_sr(unit, APHMAX, "ALPHA MAX ");
  }
}

// Infeasible set: return the scaled point of smallest violation.
void ActiveStep::infeasible_exit() {
  IRET = 1;
  // The scaled point goes into X(1..N) (the solver restores X afterwards)
  // and its equality values into RHS(1..MEQ).
  for (IWORD j = 0; j < N; ++j) X[j] = APHMAX * XFSMIN[j];
  ERRCEQ = 0;
  if (MEQ > 0) {
    const IWORD one = 1, zero = 0;
    ORVK_SMVMUL(&N, &one, &MEQ, IAC, JAC, &zero, AC, &zero, X, &zero, RHS);
    for (IWORD i = 0; i < MEQ; ++i) ERRCEQ += std::fabs(B[i] - RHS[i]);
  }
  if (IPRINT > 2) {
    dump_r(unit, N, 0, X, "APHMAX*XFS");
    dump_r(unit, N, 0, X, "APHMAX*XFS");
    dump_r(unit, MEQ, 0, RHS, "RHS EQUAL ");
    dump_r(unit, MEQ, 0, B, "C EQUALITY");
  }
  valid = ORVK_FALSE;
}

// Update of the active set.  CHANGED records every row that enters or
// leaves: a step that swaps rows keeps the count but is not a standing set.
void ActiveStep::update_active_set() {
  s.jact = 0;
  s.jinact = 0;
  IWORD pos = 0;
  for (IWORD j = 1; j <= MINEQ; ++j) {
    if (is_true(lact(j))) {
      ++pos;
      const IWORD slot = N + MEQ + pos;
      if (IPRINT > 3) {
        dump_si(unit, j, "J         ");
        dump_si(unit, s.jact, "JACT      ");
        dump_si(unit, s.jinact, "JINACT    ");
        dump_si(unit, slot, "MU INDEX  ");
        dump_si(unit, ndelete, "NDELETE   ");
      }
      const bool leaver = (x(slot) < 0 || singular) && (MACT == 3 || j == jdelete);
      if (leaver) {
        changed = true;
        x(slot) = 0;
        lact(j) = ORVK_FALSE;
        ++ndelete;
        if (!v23) {
          IWORD jr = 0;
          QPENL1(N, X, MEQ, ALPHAS, LACT, IRACT, JFLAG, jr, 0, j, 3, unit, IPRINT, MINEQ);
        }
      } else if (v23) {
        IRACT[nactiv++] = j;
      }
    } else {
      const bool newcomer = (INDEF == 0 && violated(j)) || (INDEF == -1 && j == jactiv);
      bool added = false;
      if (v23) {
        if (newcomer) {
          IRACT[nactiv++] = j;
          lact(j) = ORVK_TRUE;
          added = true;
        }
      } else if (newcomer && j == jactiv) {
        IWORD at = nactiv;
        while (at > 0 && iract(at) > j) {
          iract(at + 1) = iract(at);
          --at;
        }
        iract(at + 1) = j;
        ++nactiv;
        lact(j) = ORVK_TRUE;
        lastin = jactiv;
        lastou = jdelete;
        added = true;
      }
      if (added) changed = true;
      if (added)
        ++s.jact;
      else
        ++s.jinact;
    }
  }
}

void ActiveStep::print_update() const {
  if (IPRINT > 2) {
    dump_si(unit, s.jact, "JACT      ");
    dump_si(unit, s.jinact, "JINACT    ");
    dump_si(unit, jsing, "J SINGULAR");
    dump_si(unit, nactini, "NACTIV INI");
    dump_si(unit, nactiv, "NACTIV CUR");
    dump_si(unit, ndelete, "NDELETE   ");
    if (nactiv > 0) {
      VLDUMP(unit, MINEQ, 0, LACT, "LACT      ");
      dump_i(unit, nactiv, 0, IRACT, "IRACT     ");
    }
  }
}

// Too many active rows: release first rows below their feasibility bound,
// then the rows of largest ratio, until at most N - MEQ stay.
void ActiveStep::limit_active_count() {
  changed = true;
  IWORD excess = nactiv + MEQ - N;
  auto too_many = [&](IWORD e) {
    write_empty(unit);
    write_rec(unit, Rec().X(4).A("*** ").I(e, 4).A(" TOO MANY INEQUALITIES ACTIVATED ***"));
  };
  auto ratio = [&](IWORD r) { return std::fabs(b(r)) / std::fmax(1e-20, std::fabs(v(r))); };
  if (IPRINT >= 3) too_many(excess);
  s.nlarge = 0;
  for (IWORD k = 1; k <= nactiv; ++k) {
    const IWORD r = iract(k);
    if (v(r) < fesble(r)) JFLAG[s.nlarge++] = r;
  }
  if (IPRINT >= 3) {
    dump_si(unit, s.nlarge, "NLARGE    ");
    if (s.nlarge > 0) dump_i(unit, s.nlarge, 0, JFLAG, "JFLAG     ");
  }
  if (s.nlarge > 0) {
    for (IWORD k = 0; k < s.nlarge; ++k) alphas(JFLAG[k]) = ratio(JFLAG[k]);
    if (IPRINT > 2) dump_r(unit, MINEQ, 0, ALPHAS, "ALPHAS    ");
    IWORD jr = 0;
    QPENL3(N, X, MEQ, ALPHAS, LACT, IRACT, JFLAG, jr, s.nlarge < excess ? s.nlarge : excess,
           s.nlarge, 1, unit, IPRINT, MINEQ);
    if (IPRINT > 2) dump_i(unit, nactiv, 0, IRACT, "IRACT     ");
    if (nactiv <= nfree) return;
    excess = nactiv + MEQ - N;
    if (IPRINT > 0) too_many(excess);
  }
  for (IWORD k = 1; k <= nactiv; ++k) alphas(iract(k)) = ratio(iract(k));
  if (IPRINT > 2) dump_r(unit, MINEQ, 0, ALPHAS, "ALPHAS    ");
  IWORD jr = 0;
  QPENL4(N, X, MEQ, ALPHAS, LACT, IRACT, JFLAG, jr, excess, nactiv, 2, unit, IPRINT, MINEQ);
  // Rows whose ratio is 0 cannot be chosen: release from the end of the list.
  while (nactiv > 0 && nactiv > nfree) {
    jr = iract(nactiv);
    lact(jr) = ORVK_FALSE;
    --nactiv;
  }
  if (singular && jr != 0) jsing = jr;
  if (IPRINT > 2) dump_i(unit, nactiv, 0, IRACT, "IRACT     ");
}

// Word 78: the solution stands only when the set did not change, no
// inactive row is violated and no active row has a negative multiplier.
void ActiveStep::settle_validity() {
  if (ndelete != 0 || nactiv != nactini || changed) valid = ORVK_FALSE;
  // A set that stands while an inactive row is violated, or while an active
  // row has a clearly negative multiplier (the move that would release it
  // was ruled out, e.g. by the indefinite rules after a zero change of x),
  // is a stall, not a solution.
  // The excess counts against the row's own size (residual_tol), so that
  // rows scaled by a power of ten keep the verdict of the unscaled ones.
  if (is_true(valid) && !singular) {
    const double xmax = qp_detail::max_abs(N, vx);
    for (IWORD i = 1; i <= MINEQ; ++i)
      if (!active(i) &&
          v(i) - b(i) > qp_detail::residual_tol(
                            1e-8, std::fabs(b(i)),
                            qp_detail::row_size(MEQ + i - 1, IAC, AC, B, xmax))) {
        valid = ORVK_FALSE;
        break;
      }
  }
  if (is_true(valid) && !singular) {
    double mumax = 1.0;
    for (IWORD k = 1; k <= nactiv; ++k) mumax = std::fmax(mumax, std::fabs(mu(k)));
    for (IWORD k = 1; k <= nactiv; ++k)
      if (mu(k) < -1e-6 * mumax) {
        valid = ORVK_FALSE;
        break;
      }
  }
  if (is_true(valid)) {
    jsing = 0;
    lastin = 0;
    lastou = 0;
    for (IWORD i = 0; i < MINEQ; ++i) ALPHAS[i] = 0;
  }
}

}  // namespace

void QPACTV(IWORD N, double* X, double OBJFQP, IWORD MEQ, IWORD MINEQ, const double* B,
            const IWORD* IAC, const IWORD* JAC, const double* AC, const double* FESBLE,
            const double*, const IWORD*, const IWORD*, const double*, IWORD MACT, double* RHS,
            double* ALPHAS, double* XFSMIN, double& OBJFMN, IWORD* IRACT, IWORD* JFLAG,
            IWORD& NACTMN, IWORD* IFSMIN, LWORD* LACT, IWORD IPRINT, IWORD& IRET,
            double& APHMAX, double& ERRCEQ, IWORD ISING, IWORD& INDEF, IWORD ISNGLL,
            const IWORD* IACOLD0, const double* XOLD, IWORD& NCANT, IWORD* ICANT,
            IWORD* ICLOSE, double XHX2, double, double GTX) {
  ActiveStep step{N,      X,      OBJFQP, MEQ,    MINEQ,  B,      IAC,     JAC,   AC,
                  FESBLE, MACT,   RHS,    ALPHAS, XFSMIN, OBJFMN, IRACT,   JFLAG, NACTMN,
                  IFSMIN, LACT,   IPRINT, IRET,   APHMAX, ERRCEQ, ISING,   INDEF, ISNGLL,
                  IACOLD0, XOLD,  NCANT,  ICANT,  ICLOSE, XHX2,   GTX};
  step.run();
}

}  // namespace orvika
