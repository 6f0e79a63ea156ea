// Newton phase of ORVK_NEWTON.
//
// Every call of the host supplies DX = G(X) - X at a point that this phase
// chose: a perturbed point for one column of a one-sided difference
// Jacobian, a trial point of a line search, or (after a search) the base
// point of a new Jacobian.  Residuals are scaled by per-variable
// tolerances and the bounded variables by their bound magnitudes; the
// step is the bounded Gauss-Newton step of ORVK_NEWTDX and is searched
// along with ORVK_NEWTQX.  The Jacobian is kept while the residual falls
// fast enough.

#include <algorithm>
#include <cmath>
#include <string_view>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "orvika/kernels_vector.h"
#include "orvika/tearconv_newton.h"
#include "tearconv/newton.hpp"
#include "tearconv/newton_messages.hpp"

namespace orvika {

namespace {

constexpr double kNoLowerLimit = -1.0e10;  // step limit of a tear variable without a lower bound
constexpr double kDefaultPerturbation = 0.01;  // fraction of the range of a bounded variable

// Tolerance rule: absolute when T >= 0, else |T * V|.
double tolerance(double t, double v) { return t >= 0.0 ? t : std::fabs(t * v); }

// The views of the real work array RWK.
struct Work {
  Mat1<double> ajac;
  Vec1<double> dxs, fb, xb, dhi, dlo, xhs, xls, bsc, tolv;
  double* step0;
  double* smax;
  double* step;
  double* wsearch;  // 7 words of the line search
  double* rms0;

  Work(double* rwk, IWORD n) {
    const IWORD nn = n * n;
    const IWORD k = nn + 9 * n + 1;  // RWK(K) is STEP0
    ajac = Mat1<double>(rwk, n);
    dxs = Vec1<double>(rwk + nn, n);
    fb = Vec1<double>(rwk + nn + n, n);
    xb = Vec1<double>(rwk + nn + 2 * n, n);
    dhi = Vec1<double>(rwk + nn + 3 * n, n);
    dlo = Vec1<double>(rwk + nn + 4 * n, n);
    xhs = Vec1<double>(rwk + nn + 5 * n, n);
    xls = Vec1<double>(rwk + nn + 6 * n, n);
    bsc = Vec1<double>(rwk + nn + 7 * n, n);
    step0 = rwk + (k - 1);
    smax = rwk + k;
    step = rwk + (k + 1);
    wsearch = rwk + (k + 2);
    rms0 = rwk + (k + 9);
    tolv = Vec1<double>(rwk + (k + 10), n);
  }
};

void print_base_note(IWORD unit) {
  write_empty(unit);
  Rec r;
  r.X(6).A("THE ABOVE VALUES ARE THE BASE POINTS FOR THE ").A("NUMERICAL DIFFERENTIATIONS");
  write_rec(unit, r);
  write_empty(unit);
}

void print_jacobian(IWORD unit, const double* ajac, IWORD n, IWORD col) {
  static constexpr IWORD kTitle[3] = {a4word("JACO"), a4word("BIAN"), a4word("    ")};
  write_empty(unit);
  Rec r;
  r.X(10).A("JACOBIAN MATRIX AFTER").I(col, 3).A(" NUMERICAL DIFFERENTIATIONS");
  write_rec(unit, r);
  write_empty(unit);
  ORVK_NAPRNT(ajac, &n, &n, &n, kNewtonName, kTitle);
}

// A line framed by empty records, starting with 10 blanks.
void print_framed(IWORD unit, const Rec& r) {
  write_empty(unit);
  write_rec(unit, r);
  write_empty(unit);
}

// The Newton phase of one call, one member function per step.  Each step
// returns the step that follows it; Go::Return hands the point in X back to
// the host for evaluation.
class NewtonPhase {
 public:
  NewtonPhase(const NewtonCall& c, IWORD& state)
      : c_(c),
        state_(state),
        n(c.n),
        nb(c.nb),
        nt(c.nt),
        rtiny(host::rtiny()),
        rmis(host::rmisval()),
        level(c.opt[0]),
        unit(host::repunit()),
        w(c.rwk, c.n),
        iwk(c.iwk),
        ropt(c.ropt),
        iopt(c.iopt),
        x(c.x),
        dx(c.dx),
        tolabs(c.ropt(3)),
        tolrel(c.ropt(4)),
        ratio(c.ropt(5)) {}

  void run();

 private:
  enum class Go { Base, Column, Step, Search, Return };

  void scale_in();
  Go resume() const;
  Go new_base();
  Go next_column();
  void difference_column(IWORD col);
  void perturb(IWORD m);
  Go newton_step();
  bool stopped_small_step(IWORD nfree);
  void step_factors();
  Go search();
  void search_report() const;
  Go search_ended();
  Go search_exhausted();
  void scale_out();

  double scaled(double r, IWORD i) const { return w.tolv(i) > rtiny ? r / w.tolv(i) : r; }

  const NewtonCall& c_;
  IWORD& state_;  // state code for IWK(11)
  const IWORD n, nb, nt;
  const double rtiny, rmis;
  const IWORD level, unit;
  Work w;
  Vec1<IWORD> iwk;
  Vec1<const double> ropt;
  Vec1<const IWORD> iopt;
  Vec1<double> x, dx;
  const double tolabs, tolrel, ratio;  // parameters of the line search
  double rms = 0.0;
  bool x_as_given = false;  // X returned exactly as it came in
};

void NewtonPhase::run() {
  scale_in();
  Go go = resume();
  while (go != Go::Return) {
    switch (go) {
      case Go::Base:
        go = new_base();
        break;
      case Go::Column:
        go = next_column();
        break;
      case Go::Step:
        go = newton_step();
        break;
      case Go::Search:
        go = search();
        break;
      case Go::Return:
        break;
    }
  }
  scale_out();
}

// Tolerances on the first pass, then X and DX saved and scaled.
void NewtonPhase::scale_in() {
  // First pass of the run: the tolerances from X and DX as they came in.
  // (Identified by the state, which holds even when the pre-Newton passes
  // were cut short by the iteration limit.)
  if (iwk(1) == 0 && iwk(3) == 0 && iwk(7) == 0) {
    for (IWORD i = 1; i <= n; ++i) {
      const double v = (i <= nt && x(i) == 0.0) ? dx(i) : x(i);
      w.tolv(i) = tolerance(c_.tols(i), v);
    }
  }

  // Tear variables: save, lower step limits, scale the residuals.
  for (IWORD i = 1; i <= nt; ++i) {
    c_.xold(i) = x(i);
    c_.dxold(i) = dx(i);
    w.xls(i) = c_.xlow(i) > -rmis ? 0.0 : kNoLowerLimit;
    dx(i) = scaled(dx(i), i);
  }
  // Bounded variables: scale by the bound magnitude (1 when both bounds
  // are 0); the caller's bounds are read, never written.
  for (IWORD i = nt + 1; i <= n; ++i) {
    double b = std::max(std::fabs(c_.xhigh(i)), std::fabs(c_.xlow(i)));
    if (b == 0.0) b = 1.0;
    w.bsc(i) = b;
    w.xhs(i) = c_.xhigh(i) / b;
    w.xls(i) = c_.xlow(i) / b;
    c_.xold(i) = x(i);
    x(i) = x(i) / b;
    c_.dxold(i) = dx(i);
    dx(i) = scaled(dx(i), i);
  }
}

// Where the previous call left off: inside a Jacobian, inside a line
// search, or at a new base point.
NewtonPhase::Go NewtonPhase::resume() const {
  if (iwk(1) > 0) return Go::Column;
  if (iwk(3) < 0) return Go::Search;
  return Go::Base;
}

// New base point at the current X; tolerances renewed from it.
NewtonPhase::Go NewtonPhase::new_base() {
  for (IWORD i = 1; i <= n; ++i) {
    const double v = (i <= nt && x(i) == 0.0) ? dx(i) : x(i);
    const double t = tolerance(c_.tols(i), v);
    w.xb(i) = x(i);
    w.fb(i) = t > rtiny ? c_.dxold(i) / t : c_.dxold(i);
    w.tolv(i) = t;
  }
  if (level >= 8) print_base_note(unit);
  return Go::Column;
}

// Takes in the column of the point just evaluated and perturbs the next
// variable; after the last column the Jacobian is complete.
NewtonPhase::Go NewtonPhase::next_column() {
  iwk(1) = iwk(1) + 1;
  *c_.kaccel = 0;
  if (iwk(1) > 1) difference_column(iwk(1) - 1);
  if (iwk(1) == n + 1) return Go::Step;
  perturb(iwk(1));
  return Go::Return;
}

// Column COL of the Jacobian by a one-sided difference; X(COL) back to
// its base value.
void NewtonPhase::difference_column(IWORD col) {
  const double den = w.xb(col) - x(col);
  // A vanished perturbation leaves nothing to difference: zero column.
  for (IWORD k = 1; k <= n; ++k) {
    w.ajac(k, col) = den != 0.0 ? (w.fb(k) - dx(k)) / den : 0.0;
  }
  if (level >= 9 || (level >= 8 && col == n)) print_jacobian(unit, c_.rwk, n, col);
  x(col) = w.xb(col);
}

// Perturbs variable M: a tear variable relatively, a bounded variable by a
// fraction of its range, away from the upper bound when it would pass it.
void NewtonPhase::perturb(IWORD m) {
  if (m <= nt) {
    double y = ropt(1) * x(m) + x(m);
    if (std::fabs(y) < rtiny) y = rtiny;
    x(m) = y;
  } else {
    iwk(2) = iwk(2) + 1;
    const IWORD j = m - nt;
    const double range = w.xhs(m) - w.xls(m);
    const double f = ropt(14 + j);
    double p;
    if (f >= rmis) {
      p = kDefaultPerturbation * range;
    } else {
      p = f * range;
      if (std::fabs(p) >= 0.5 * range) {
        newton_msg_step_size(c_.opt, p, range);
        p = kDefaultPerturbation * range;
      }
    }
    const double y = x(m) + p;
    x(m) = y <= w.xhs(m) ? y : y - 2.0 * p;
  }
}

// The bounded Newton step from the base point and the factors that start
// its line search.
NewtonPhase::Go NewtonPhase::newton_step() {
  iwk(7) = iwk(7) + 1;
  iwk(1) = 0;
  iwk(2) = 0;
  iwk(5) = 0;
  if (level >= 6) {
    write_empty(unit);
    Rec r;
    r.X(10).A("NEWTON ITERATION NUMBER ").I(iwk(7), 4);
    write_rec(unit, r);
  }
  // Upper limits of the tear variables from the base point of this step.
  for (IWORD i = 1; i <= nt; ++i) w.xhs(i) = std::fabs(w.xb(i)) * ropt(2);
  const IWORD nn = n * n;
  const IWORD mode = 0;
  double dwt = 0.0;  // not referenced with MODE = 0
  IWORD nfree = 0;
  ORVK_NEWTDX(&n, w.xb.p, w.fb.p, w.dxs.p, w.xls.p, w.xhs.p, w.dlo.p, w.dhi.p, c_.rwk, c_.qwk,
              c_.qwk + nn, c_.iperm, &nfree, c_.qwk + nn + n, &mode, &dwt);
  // A Jacobian with entries that are not finite (a residual that overflowed
  // at a perturbed point) gives a step that is not a number, and every
  // trial point along it would be one.  Such a step is no step: the zero
  // step with nothing free, as ORVK_NEWTDX gives for a gradient that is not
  // a number.
  bool finite_step = true;
  for (IWORD i = 1; i <= n; ++i) finite_step = finite_step && std::isfinite(w.dxs(i));
  if (!finite_step) {
    for (IWORD i = 1; i <= n; ++i) {
      w.dxs(i) = 0.0;
      c_.iperm[i - 1] = i;
    }
    nfree = 0;
  }
  *c_.kaccel = 1;
  iwk(8) = nfree;
  if (level >= 8) {
    write_empty(unit);
    Rec r;
    r.X(10).A("NUMBER OF FREE VARIABLES ").I(nfree, 4);
    write_rec(unit, r);
  }

  if (stopped_small_step(nfree)) return Go::Return;

  if (level >= 6) {
    newton_vector(w.xb.p, n, "SCALED X");
    newton_vector(w.fb.p, n, "F/TOL");
    newton_vector(w.dxs.p, n, "SCALED DX");
  }

  step_factors();
  iwk(3) = 0;
  return Go::Search;
}

// A step too small to matter while variables are held at bounds ends the
// run at the base point (KSTEP = 25); true when it did.
bool NewtonPhase::stopped_small_step(IWORD nfree) {
  if (nfree == n || nb == 0) return false;
  IWORD held = 0;
  for (IWORD i = 1; i <= nt; ++i) {
    if (w.xls(i) == 0.0 && x(i) < rtiny && w.dxs(i) < rtiny) ++held;
  }
  if (nt != 0 && nfree + held >= n) return false;
  double sum = 0.0;
  for (IWORD i = 1; i <= n; ++i) sum += w.dxs(i) * w.dxs(i);
  const double rmsstep = std::sqrt(sum / static_cast<double>(n));
  if (!(rmsstep < ropt(6))) return false;
  newton_msg_small_step(c_.opt, rmsstep, ropt(6));
  for (IWORD i = 1; i <= n; ++i) {
    c_.dxold(i) = w.tolv(i) > rtiny ? w.fb(i) * w.tolv(i) : w.fb(i);
    x(i) = w.xb(i);
  }
  *c_.kstep = 25;
  *c_.kaccel = 0;
  state_ = 0;
  return true;
}

// Step factors: the first trial respects every limit; an extension goes no
// further than ROPT(8) and the distance to the limits.
void NewtonPhase::step_factors() {
  double lim = 1.0, mlim = ropt(8);
  for (IWORD i = 1; i <= n; ++i) {
    const double d = w.dxs(i);
    if (std::fabs(d) <= rtiny) continue;
    if (d < 0.0) {
      mlim = std::min(mlim, (w.xls(i) - w.xb(i)) / d);
    } else {
      mlim = std::min(mlim, (w.xhs(i) - w.xb(i)) / d);
    }
  }
  for (IWORD i = nt + 1; i <= n; ++i) {
    const double d = w.dxs(i);
    if (std::fabs(d) <= rtiny) continue;
    double width = w.xhs(i) - w.xls(i);
    const double f = ropt(nb + 14 + (i - nt));
    if (f < rmis) width *= f;
    lim = std::min(lim, width / std::fabs(d));
  }
  *w.step0 = std::min(lim, mlim);
  *w.smax = *w.step0 < 1.0 ? *w.step0 : mlim;
}

// One pass of the line search with the residual of the point just
// evaluated.
NewtonPhase::Go NewtonPhase::search() {
  const IWORD iforce = n - iwk(8);
  IWORD iacc = 0;
  ORVK_NEWTQX(&n, &iwk(3), &iwk(4), w.xb.p, w.fb.p, w.dxs.p, w.step0, w.smax, x.p, dx.p, &tolabs,
              &tolrel, w.rms0, &rms, w.step, w.wsearch, &ratio, &iacc, &iforce);
  *c_.kaccel = 1;
  if (level >= 6) search_report();

  if (iwk(3) == 0) return search_ended();

  state_ = 0;
  if (iwk(5) + 1 <= iopt(4)) {
    iwk(5) = iwk(5) + 1;
    return Go::Return;
  }
  return search_exhausted();
}

void NewtonPhase::search_report() const {
  Rec r;
  if (iwk(5) == 0) {
    r.X(10).A("NEWTON LINE SEARCH BASE POINT.  RMS ERROR = ").G(*w.rms0, 13, 5);
  } else {
    r.X(10).A("NEWTON LINE SEARCH POINT ").I(iwk(5), 4).A(" RMS ERROR = ").G(rms, 13, 5);
  }
  r.A(" STEP = ").G(*w.step, 13, 5);
  print_framed(unit, r);
  if (iwk(3) == 0) {
    write_empty(unit);
    r.clear();
    r.X(10).A("NEWTON LINE SEARCH CONVERGED WITH STEP = ").G(*w.step, 13, 5);
    write_rec(unit, r);
    r.clear();
    r.X(10).A("BASE POINT RMS ERROR = ").G(*w.rms0, 13, 5).A(" FINAL RMS ERROR = ");
    r.G(rms, 13, 5);
    write_rec(unit, r);
    write_empty(unit);
  }
}

// The search ended at the point in X with its residual in DX: a further
// step on the same Jacobian while the residual falls fast enough (or the
// count allows), else a new Jacobian; either ends at the iteration limit.
NewtonPhase::Go NewtonPhase::search_ended() {
  const bool by_count = iopt(9) != 0 && iopt(5) != host::imisval();
  const bool keep = by_count ? iwk(9) + 1 <= iopt(5) : rms < ropt(9) * *w.rms0;
  if (keep) {
    iwk(9) = iwk(9) + 1;
    for (IWORD i = 1; i <= n; ++i) {
      w.xb(i) = x(i);
      w.fb(i) = dx(i);
    }
    state_ = 3;
    if (iwk(7) < iopt(3)) return Go::Step;
  } else {
    iwk(9) = 0;
    state_ = 1;
    if (iwk(7) < iopt(3)) return Go::Base;
  }
  newton_msg_not_converged(c_.opt, iopt(3));
  *c_.kstep = 6;
  return Go::Return;
}

// The search used up its trial points.  X already holds the next,
// unevaluated trial point: go back to the point just evaluated, the one
// that DX belongs to, and go on with a fresh Jacobian or stop (KSTEP = 24).
NewtonPhase::Go NewtonPhase::search_exhausted() {
  iwk(5) = iwk(5) + 1;
  iwk(10) = iwk(10) + 1;
  const bool go_on = iwk(9) != 0 || iwk(10) < iopt(6);
  newton_msg_search_failed(c_.opt, iopt(4), go_on);
  iwk(3) = 0;
  for (IWORD i = 1; i <= nt; ++i) x(i) = c_.xold(i);
  for (IWORD i = nt + 1; i <= n; ++i) x(i) = c_.xold(i) / w.bsc(i);
  if (go_on) {
    // The next Jacobian is a fresh one: its steps count from zero.
    iwk(9) = 0;
    return Go::Base;
  }
  *c_.kstep = 24;
  *c_.kaccel = 0;
  x_as_given = true;
  return Go::Return;
}

// Back to the caller's units; DX exactly as given (or, with KSTEP = 25,
// the base point's change, already in DXOLD).
void NewtonPhase::scale_out() {
  for (IWORD i = nt + 1; i <= n; ++i) {
    if (x_as_given) {
      x(i) = c_.xold(i);
      continue;
    }
    // A scaled point on or near a scaled bound can land one unit past the
    // caller's bound: the step to the bound (XB + (XLS - XB)) and the product
    // with the scale both round.  A variable that lay beyond a bound on
    // entry is not pulled onto that bound.
    double v = x(i) * w.bsc(i);
    if (v < c_.xlow(i) && !(c_.xold(i) < c_.xlow(i))) v = c_.xlow(i);
    if (v > c_.xhigh(i) && !(c_.xold(i) > c_.xhigh(i))) v = c_.xhigh(i);
    x(i) = v;
  }
  for (IWORD i = 1; i <= n; ++i) dx(i) = c_.dxold(i);
}

}  // namespace

void NEWTPH(const NewtonCall& c, IWORD& state) {
  NewtonPhase phase(c, state);
  phase.run();
}

}  // namespace orvika
