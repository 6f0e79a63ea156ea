// ORVK_BNDWEG, ORVK_BNDWG1, ORVK_BNDWG2, ORVK_BNDWG3: one-step bounded
// Wegstein updates.
//
// Each variable moves by (1 - q)*DX, q = (1 + t)/t from the secant slope
// t = (DX - DXOLD)/(X - XOLD) of DX, which is q = s/(s - 1) for the slope
// s = 1 + t of G: on a linear G the accelerated step lands on the fixed
// point.  The four members share one core; they differ in how the
// iteration is counted, in their secant and slope tests, in how the factor
// is limited, in bounds, missing values and the root-mean-square of DX.
// The rules of each member are one row of the table below.
//
// Reference: J. H. Wegstein, Accelerating convergence of iterative
// processes, Comm. ACM 1 (1958) 9-13.

#include <cmath>

#include "frame/hostdata.hpp"
#include "frame/views.hpp"
#include "orvika/host.h"
#include "tearconv/accel.hpp"
#include "tearconv/rms.hpp"

namespace orvika {
namespace {

enum class Factor {
  CapAboveOne,  // q = max(QMIN, q); min(QMAX, q) when q <= 1, else the move is DX
  SignClipped,  // clipped to [QMIN, QMAX] only when DX and DXOLD have one sign
  Clipped       // always clipped to [QMIN, QMAX]
};
enum class Missing {
  None,     // RMISVAL is an ordinary number
  Replace,  // a missing X (XOLD) is replaced by DX (DXOLD)
  Plain     // no replacement; a missing X is only never halved
};
enum class Rms { None, All, BelowMissing };
enum class NoCycle {
  Substitute,   // NACC = 0: every variable moves by DX
  DefaultMove,  // NACC = 0: every variable moves by (1 - q_def)*DX, nothing saved
  Nothing       // NACC = 0: nothing but RMS
};

struct Rules {
  bool counts_iter;     // ITER := ITER + 1 first; the first call never accelerates
  double secant_rel;    // secant test |a| > secant_rel*|XOLD| (< 0: from TOL)
  double slope_min;     // slope test |t| >= slope_min
  Factor factor;
  bool zero_default;    // default factor 0 instead of max(0, QMIN)
  bool bounded;         // min(XHIGH, .) and halving below XLOW
  Missing missing;
  Rms rms;
  NoCycle no_cycle;
};

constexpr Rules kBndweg{true, 1e-7, 1e-5, Factor::CapAboveOne, true, false,
                        Missing::None, Rms::None, NoCycle::Substitute};
constexpr Rules kBndwg1{false, 1e-5, 0.01, Factor::SignClipped, false, false,
                        Missing::None, Rms::All, NoCycle::DefaultMove};
constexpr Rules kBndwg2{false, 1e-5, 0.01, Factor::Clipped, false, true,
                        Missing::Replace, Rms::BelowMissing, NoCycle::Nothing};
constexpr Rules kBndwg3{false, -1.0, 0.01, Factor::Clipped, false, true,
                        Missing::Plain, Rms::BelowMissing, NoCycle::Nothing};

struct Args {
  IWORD iter;
  bool no_accel;  // IFLAG true
  IWORD n;
  double* x;
  double* xold;
  const double* dx;
  double* dxold;
  IWORD nacc;
  double qmin, qmax;
  const double* xlow;
  const double* xhigh;
  double tol;
};

// The accelerated factor of one variable, or the default when a test fails.
// A is the change of X since the last call, XOLDJ the saved point.
double factor(const Rules& R, const Args& A, double a, double xoldj, double dxj, double dxoldj,
              double qdef) {
  const double rel = R.secant_rel >= 0.0 ? R.secant_rel : 0.1 * A.tol * (1.0 - A.qmax);
  if (!(std::fabs(a) > rel * std::fabs(xoldj)) || a == 0.0) return qdef;
  const double t = (dxj - dxoldj) / a;
  if (!(std::fabs(t) >= R.slope_min) || t == 0.0) return qdef;
  // A slope that overflowed is a vertical secant: (1 + t)/t tends to 1 there,
  // while inf/inf would give a NaN factor that no bound catches.
  double q = std::isinf(t) ? 1.0 : (1.0 + t) / t;
  switch (R.factor) {
    case Factor::CapAboveOne:
      q = std::fmax(A.qmin, q);
      return q <= 1.0 ? std::fmin(A.qmax, q) : 0.0;
    case Factor::SignClipped:
      if ((dxj >= 0.0) != (dxoldj >= 0.0)) return q;  // secant root, unclipped
      [[fallthrough]];
    case Factor::Clipped:
      q = q < A.qmin ? A.qmin : q;
      return q > A.qmax ? A.qmax : q;
  }
  return qdef;
}

// One call of a member; returns the root-mean-square of DX (0 for N <= 0).
double core(const Rules& R, const Args& A) {
  const double rmisval = host::rmisval();
  Vec1<double> X(A.x), XOLD(A.xold), DXOLD(A.dxold);
  Vec1<const double> DX(A.dx), XLOW(A.xlow), XHIGH(A.xhigh);

  // Acceleration in this call, and the default factor.
  bool accel = false;
  if (A.nacc != 0 && !A.no_accel) {
    if (!R.counts_iter || A.iter != 1) accel = trunc_rem(A.iter, A.nacc) == 0;
  }
  double qdef = R.zero_default ? 0.0 : std::fmax(0.0, A.qmin);
  bool update = true;
  bool save = true;
  if (A.nacc == 0) {
    switch (R.no_cycle) {
      case NoCycle::Substitute: qdef = 0.0; break;
      case NoCycle::DefaultMove: save = false; break;
      case NoCycle::Nothing: update = false; break;
    }
  }

  for (IWORD j = 1; update && j <= A.n; ++j) {
    const double dxj = DX(j);
    const double xj = X(j);
    const bool replace_x = R.missing == Missing::Replace && xj == rmisval;
    double q = qdef;
    if (accel) {
      double xs = xj, xolds = XOLD(j);
      if (R.missing == Missing::Replace) {
        if (xj == rmisval) xs = dxj;
        if (XOLD(j) == rmisval) xolds = DXOLD(j);
      }
      q = factor(R, A, xs - xolds, XOLD(j), dxj, DXOLD(j), qdef);
    }
    double xnew = replace_x ? (1.0 - q) * dxj : xj + (1.0 - q) * dxj;
    if (save) {
      XOLD(j) = xj;
      DXOLD(j) = dxj;
    }
    if (R.bounded) {
      // A change that is not a number leaves a point that is not a number
      // (as an unbounded member gives), never the bound.
      if (xnew > XHIGH(j)) xnew = XHIGH(j);
      X(j) = (xnew < XLOW(j) && !(xj == rmisval)) ? 0.5 * xj : xnew;
    } else {
      X(j) = xnew;
    }
  }
  if (R.rms == Rms::None) return 0.0;
  return rms_of(A.n, [&](IWORD j) {
    const double dxj = DX(j);
    return (R.rms == Rms::All || dxj < rmisval) ? dxj : 0.0;
  });
}

}  // namespace
}  // namespace orvika

using namespace orvika;

// ORVK_BNDWEG: Wegstein step on every NACC-th call, plain substitution on
// the others; the routine counts the calls itself.
//
//  ITER   (in/out)          call counter, incremented at entry (0 before the
//                           first call, which never accelerates)
//  N      (in)              number of variables
//  XOLD   (in/out) real(N)  in: previous point; out: X at entry
//  X      (in/out) real(N)  current point; the next point on return
//  DXOLD  (in/out) real(N)  in: previous DX; out: DX
//  DX     (in)     real(N)  G(X) - X
//  QMIN, QMAX (in)          factor bounds; a factor above 1 moves by DX
//  NACC   (in)              acceleration period; 0 never accelerates
//
// Cost: O(N).
extern "C" ORVK_API void ORVK_BNDWEG(IWORD* ITER, const IWORD* N, double* XOLD, double* X,
                                     double* DXOLD, const double* DX, const double* QMIN,
                                     const double* QMAX, const IWORD* NACC) {
  *ITER = plus_one(*ITER);  // the count stops at the top
  const Args a{*ITER, false, *N, X, XOLD, DX, DXOLD, *NACC, *QMIN, *QMAX, nullptr, nullptr, 0.0};
  core(kBndweg, a);
}

// ORVK_BNDWG1: damped substitution X + (1 - max(0, QMIN))*DX, with a
// Wegstein step when ITER is a multiple of NACC and IFLAG is false.
//
//  ITER (in); IFLAG (in, LWORD) true: no acceleration; N (in);
//  X, XOLD, DX, DXOLD as ORVK_BNDWG2; RMS (out) sqrt(sum DX^2 / N), 0 for
//  N <= 0; NACC (in) period, 0: damped substitution and XOLD, DXOLD kept;
//  QMIN, QMAX (in) factor bounds, applied when DX and DXOLD share a sign
//  (otherwise the step goes to the root of the secant).
//
// Cost: O(N).
extern "C" ORVK_API void ORVK_BNDWG1(const IWORD* ITER, const LWORD* IFLAG, const IWORD* N,
                                     double* X, double* XOLD, const double* DX, double* DXOLD,
                                     double* RMS, const IWORD* NACC, const double* QMIN,
                                     const double* QMAX) {
  const Args a{*ITER, is_true(*IFLAG), *N, X, XOLD, DX, DXOLD, *NACC, *QMIN, *QMAX,
               nullptr, nullptr, 0.0};
  *RMS = core(kBndwg1, a);
}

// ORVK_BNDWG2: bounded Wegstein step.
//
//  ITER   (in)              iteration number; accelerate when a multiple of NACC
//  IFLAG  (in, LWORD)       true: no acceleration (default factor for all)
//  N      (in)              number of variables
//  X      (in/out) real(N)  current point; the next point on return
//  XOLD   (in/out) real(N)  in: previous point; out: X at entry (NACC != 0)
//  DX     (in)     real(N)  G(X) - X
//  DXOLD  (in/out) real(N)  in: previous DX; out: DX (NACC != 0)
//  RMS    (out)             sqrt(sum DX^2 / N) over DX < RMISVAL; 0 for N <= 0
//  NACC   (in)              acceleration period; 0 changes nothing but RMS
//  QMIN, QMAX (in)          factor bounds; default factor max(0, QMIN)
//  XLOW, XHIGH (in) real(N) X <= XHIGH; a step below XLOW halves X instead
//
// A missing X or XOLD (RMISVAL) is replaced by DX or DXOLD in the secant.
// Cost: O(N).
extern "C" ORVK_API void ORVK_BNDWG2(const IWORD* ITER, const LWORD* IFLAG, const IWORD* N,
                                     double* X, double* XOLD, const double* DX, double* DXOLD,
                                     double* RMS, const IWORD* NACC, const double* QMIN,
                                     const double* QMAX, const double* XLOW, const double* XHIGH) {
  const Args a{*ITER, is_true(*IFLAG), *N, X, XOLD, DX, DXOLD, *NACC, *QMIN, *QMAX,
               XLOW, XHIGH, 0.0};
  *RMS = core(kBndwg2, a);
}

// ORVK_BNDWG3: as ORVK_BNDWG2, with the secant test
// |X - XOLD| > 0.1*TOL*(1 - QMAX)*|XOLD| and no replacement of missing
// values (TOL, argument 14, in).  Cost: O(N).
extern "C" ORVK_API void ORVK_BNDWG3(const IWORD* ITER, const LWORD* IFLAG, const IWORD* N,
                                     double* X, double* XOLD, const double* DX, double* DXOLD,
                                     double* RMS, const IWORD* NACC, const double* QMIN,
                                     const double* QMAX, const double* XLOW, const double* XHIGH,
                                     const double* TOL) {
  const Args a{*ITER, is_true(*IFLAG), *N, X, XOLD, DX, DXOLD, *NACC, *QMIN, *QMAX,
               XLOW, XHIGH, *TOL};
  *RMS = core(kBndwg3, a);
}
