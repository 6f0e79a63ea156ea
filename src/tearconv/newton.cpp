// ORVK_NEWTON: Newton method for the tear variables of a flowsheet block and
// a set of bounded free variables, driven by reverse communication.
//
// A run passes through three phases selected from the pass number ITER:
// direct substitution of the tear variables, an optional acceleration phase
// in which the host's convergence hook QL_ACNVGD (module QUELTOOL) is asked
// at every pass whether Newton steps should begin while the tear variables
// take bounded Wegstein steps, and the Newton phase (newton_phase.cpp) with
// its difference Jacobian, bounded Newton step and line search.  The routine
// never declares convergence: the host judges X and DX itself and stops
// calling.

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "orvika/host.h"
#include "orvika/tearconv_accel.h"
#include "orvika/tearconv_newton_method.h"
#include "tearconv/newton.hpp"
#include "tearconv/newton_messages.hpp"

namespace {

using orvika::Vec1;

// Entry and exit blocks: the heading, X labelled "X" and DX labelled "F".
void print_block(std::string_view heading, const double* x, const double* dx, IWORD n) {
  const IWORD unit = orvika::host::repunit();
  orvika::write_empty(unit);
  orvika::write_rec(unit, heading);
  orvika::write_empty(unit);
  orvika::newton_vector(x, n, "X");
  orvika::newton_vector(dx, n, "F");
}

// Calls VLK_DOCALL with the 80 slot addresses of SLOTS.
template <std::size_t... I>
void docall(const IWORD* handle, void* const* slots, std::index_sequence<I...>) {
  VLK_DOCALL(handle, slots[I]...);
}

// Word of slot 15: the host may keep something in it from pass to pass;
// the library never sets it.
IWORD g_slot15 = 0;

// Asks the host's convergence hook whether Newton steps should begin;
// returns its flag (1 = begin).  A failed lookup skips the call (flag 0).
IWORD ask_hook(const orvika::NewtonCall& c, const IWORD* iterp, IWORD s, void* qa1, void* qa2,
               const double* qscl, const IWORD* qoff, void* qa9, void* qa10, void* qa13,
               void* qa14) {
  const double rmis = orvika::host::rmisval();
  const double r11 = c.ropt(11), r12 = c.ropt(12);
  const orvika::Vec1<double> qwk(c.qwk, c.n);
  if (r11 < rmis && c.iopt(10) != 2) {
    for (IWORD i = 1; i <= c.n; ++i) qwk(i) = -r11;
  } else {
    const orvika::Vec1<const double> QSCL(qscl, c.n);
    for (IWORD i = 1; i <= c.n; ++i) qwk(i) = QSCL(i) * r12;
  }
  IWORD slot4 = *qoff + c.nt;
  IWORD flag = 0;
  IWORD slot6 = s;
  IWORD slot11 = 0, slot12 = 0;
  IWORD slot23 = 0;  // private: a host writing into it touches nothing shared

  static constexpr IWORD kModule[4] = {orvika::a4word("QUEL"), orvika::a4word("TOOL"),
                                       orvika::a4word("    "), orvika::a4word("    ")};
  static constexpr IWORD kFunc[5] = {orvika::a4word("QL_A"), orvika::a4word("CNVG"),
                                     orvika::a4word("D"), orvika::a4word("    "),
                                     orvika::a4word("    ")};
  IWORD handle = 0;
  VLK_GETFNC(kModule, kFunc, &handle);
  if (handle == 0) return 0;

  void* slots[80];
  void* dum = orvika::host::dumarg();
  std::fill(std::begin(slots), std::end(slots), dum);
  slots[0] = qa1;
  slots[1] = qa2;
  slots[2] = c.qwk;
  slots[3] = &slot4;
  slots[4] = &flag;
  slots[5] = &slot6;
  slots[6] = const_cast<IWORD*>(iterp);
  slots[7] = c.iperm;
  slots[8] = qa9;
  slots[9] = qa10;
  slots[10] = &slot11;
  slots[11] = &slot12;
  slots[12] = qa13;
  slots[13] = qa14;
  slots[14] = &g_slot15;
  slots[15] = const_cast<IWORD*>(qoff);
  slots[22] = &slot23;
  docall(&handle, slots, std::make_index_sequence<80>{});
  return flag;
}

// One bounded Wegstein step of the tear variables; the bounded variables
// stay where they are and only have their saved values renewed.
void wegstein_pass(const orvika::NewtonCall& c, IWORD iter, IWORD p, const double* xlow,
                   const double* xhigh) {
  const LWORD first = orvika::lword(iter == p + 1);
  IWORD count = c.nt;
  const IWORD nacc = 1;
  const double qmin = c.ropt(14), qmax = c.ropt(13);
  double rms = 0.0;  // not used
  const IWORD it = iter;
  ORVK_BNDWG2(&it, &first, &count, c.x.p, c.xold.p, c.dx.p, c.dxold.p, &rms, &nacc, &qmin, &qmax,
              xlow, xhigh);
  for (IWORD i = c.nt + 1; i <= c.n; ++i) {
    c.xold(i) = c.x(i);
    c.dxold(i) = c.dx(i);
  }
}

}  // namespace

/* ORVK_NEWTON: Newton method with a difference Jacobian and line search for
 * the N variables of a flowsheet block, DX = G(X) - X driven to zero.  The
 * first NT = N - NB are tear variables, the last NB bounded free variables.
 *
 * Arguments, all by address (positions 11, 14, 16, 18, 20, 22, 24 unused):
 *   1  X      in/out  real (N)     current point; on return the next point to evaluate.
 *   2  XOLD   out     real (N)     X as at entry.
 *   3  N      in      IWORD        number of variables, N >= 1.
 *   4  DX     in/out  real (N)     G(X) - X at X; returned as given, except with
 *                                  KSTEP = 25 (the base point's change).
 *   5  DXOLD  out     real (N)     DX as at entry (KSTEP = 25: the base point's change).
 *   6  NB     in      IWORD        number of bounded variables, 0 <= NB <= N.
 *   7  TOLS   in      real (N)     residual unit per variable: >= 0 absolute, < 0 relative
 *                                  (|TOLS| times the variable).
 *   8  KACCEL out     IWORD        Newton phase: 1 X is a new iterate, 0 a perturbed point.
 *   9  KSTEP  out     IWORD        2 evaluate and call again; 6 iteration limit or invalid
 *                                  N, NB or state; 24 line searches failed; 25 step too
 *                                  small with variables held at bounds.
 *   10 OPT    in      IWORD (6+)   host options: (1) print level 6..10, (6) > 1 Newton at once.
 *   12 ITER   in      IWORD        pass number, 1 on the first call of a run.
 *   13 RWK    work    real (N^2 + 10N + 11)   Jacobian, base point, step bounds, tolerances.
 *   15 IWK    work    IWORD (11)   state of the run.
 *   17 QWK    work    real (N^2 + 4N)         QP data; hook data in the acceleration phase.
 *   19 IPERM  work    IWORD (N)    free-variable list of the QP.
 *   21 ROPT   in      real (14 + 2 NB)        real parameters.
 *   23 IOPT   in      IWORD (10)   integer parameters.
 *   25 XLOW   in      real (N)     lower bounds (never written).
 *   26 XHIGH  in      real (N)     upper bounds (never written).
 *   27-34     in      QA1, QA2, QSCL real (N), QOFF IWORD, QA9, QA10, QA13, QA14: handed to
 *                                  the host's convergence hook.
 * Work: no allocation; the state lives in RWK, IWK and one private word of the hook.
 * Cost per Newton step: N + 1 host evaluations for the Jacobian, O(N^3) for the QP.
 * References: J. E. Dennis, R. B. Schnabel, Numerical Methods for Unconstrained
 * Optimization and Nonlinear Equations, Prentice-Hall, 1983 (chapters 5, 6). */
extern "C" ORVK_API void ORVK_NEWTON(double* X, double* XOLD, const IWORD* N, double* DX,
                                     double* DXOLD, const IWORD* NB, const double* TOLS,
                                     IWORD* KACCEL, IWORD* KSTEP, const IWORD* OPT, const void*,
                                     const IWORD* ITER, double* RWK, const void*, IWORD* IWK,
                                     const void*, double* QWK, const void*, IWORD* IPERM,
                                     const void*, const double* ROPT, const void*,
                                     const IWORD* IOPT, const void*, const double* XLOW,
                                     const double* XHIGH, void* QA1, void* QA2, const double* QSCL,
                                     const IWORD* QOFF, void* QA9, void* QA10, void* QA13,
                                     void* QA14) {
  const IWORD n = *N;
  const IWORD nb = *NB;
  const IWORD iter = *ITER;

  // Arguments and the Jacobian column counter index the caller's arrays:
  // refuse the call before anything is touched.
  if (n < 1 || nb < 0 || nb > n || (iter > 1 && (IWK[0] < 0 || IWK[0] > n))) {
    *KACCEL = 0;
    *KSTEP = 6;
    return;
  }

  orvika::NewtonCall c;
  c.n = n;
  c.nb = nb;
  c.nt = n - nb;
  c.x = Vec1<double>(X, n);
  c.xold = Vec1<double>(XOLD, n);
  c.dx = Vec1<double>(DX, n);
  c.dxold = Vec1<double>(DXOLD, n);
  c.tols = Vec1<const double>(TOLS, n);
  c.ropt = Vec1<const double>(ROPT, 14 + 2 * nb);
  c.xlow = Vec1<const double>(XLOW, n);
  c.xhigh = Vec1<const double>(XHIGH, n);
  c.iopt = Vec1<const IWORD>(IOPT, 10);
  c.iwk = Vec1<IWORD>(IWK, 11);
  c.kaccel = KACCEL;
  c.kstep = KSTEP;
  c.opt = OPT;
  c.rwk = RWK;
  c.qwk = QWK;
  c.iperm = IPERM;
  const IWORD nt = c.nt;
  const IWORD level = OPT[0];

  if (level >= 8) print_block("      *****ENTERING NEWTON         ", X, DX, n);

  if (iter <= 1) {
    for (IWORD k : {1, 2, 3, 5, 7, 8, 9, 10, 11}) c.iwk(k) = 0;
    c.iwk(6) = c.iopt(7);
  }

  const IWORD p = nt == 0 ? 0 : c.iopt(2);
  IWORD s = nt == 0 ? 0 : std::min(std::max(c.iwk(6), c.iopt(2)), c.iopt(3));
  if (iter == 1 && OPT[5] > 1) {
    s = 0;
    c.iwk(6) = 0;
  }
  IWORD state = c.iwk(11);

  if (iter <= p && OPT[5] <= 1) {
    // Direct substitution; a missing tear variable becomes its change.
    const double rmis = orvika::host::rmisval();
    for (IWORD i = 1; i <= nt; ++i) {
      c.xold(i) = c.x(i);
      c.dxold(i) = c.dx(i);
      const double sum = c.x(i) + c.dx(i);
      c.x(i) = sum < rmis ? sum : c.dx(i);
    }
    for (IWORD i = nt + 1; i <= n; ++i) {
      c.xold(i) = c.x(i);
      c.dxold(i) = c.dx(i);
    }
    *KSTEP = 2;
  } else {
    *KSTEP = 2;
    bool newton = true;
    if (iter <= s) {
      const double rmis = orvika::host::rmisval();
      const bool accel_off = (c.ropt(11) >= rmis && c.ropt(12) >= rmis) || c.iopt(10) == 0;
      // Newton steps already under way (the mode switch began them at the
      // first pass): X is a point of their Jacobian or line search, which an
      // acceleration pass would move and so spoil.
      const bool newton_begun = c.iwk(1) > 0 || c.iwk(3) < 0 || c.iwk(7) > 0;
      if (accel_off) {
        s = p;
        c.iwk(6) = p;
      } else if (newton_begun) {
        // The Newton phase goes on.
      } else if (ask_hook(c, ITER, s, QA1, QA2, QSCL, QOFF, QA9, QA10, QA13, QA14) ==
                 1) {
        s = iter - 1;
        c.iwk(6) = iter - 1;
      } else {
        wegstein_pass(c, iter, p, XLOW, XHIGH);
        newton = false;
      }
    }
    if (newton) orvika::NEWTPH(c, state);
  }

  if (level >= 10) print_block("      *****LEAVING NEWTON          ", X, DX, n);
  c.iwk(11) = state;
}
