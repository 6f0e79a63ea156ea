// Internal routines and shared pieces of the scalar root finders.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "orvika/scalar_roots.h"

namespace orvika {

// |a| with the sign of b; b = 0 (either zero) and a NaN b count as positive.
inline double rsign(double a, double b) { return b < 0.0 ? -std::fabs(a) : std::fabs(a); }
// +1 or -1, zero and NaN counted as positive.
inline double rsgn(double b) { return b < 0.0 ? -1.0 : 1.0; }

// Predictor of ORVK_ARCONS (target FT): next abscissa from the three-point
// history FH(3), XH(3); XNEW in: fallback step, out: predicted point.
void ARCSTP(IWORD icount, double ft, double* fh, double* xh, double& xnew);

// Convergence test on the ORVK_ROOT1N record without the slope check
// (uncalled in the library): 2.0, 1.0 or 0.0.
double ROOTCV(double x, double tol, const double* w);

// Real roots of x^3 + A2 x^2 + A1 x + A0 by the closed-form solution; an
// absent root is set to RMISVAL.  IPRINT >= 10 prints the discriminant.
void CROOTS(double a2, double a1, double a0, IWORD iprint, double roots[3]);

struct GNum;

// What a step of the bracketing root finder writes back: nothing (codes 0,
// -4, -5), words 7-16 and X (requests), or also F (codes -1 to -3).
enum class RootfmWrite { kNone, kX, kXF };

// One step of ORVK_ROOTFM (T = double) or of its twin (T = GNum, with the
// twin's value tests) on the working copy W(1..16) at w[0..15], for
// ICODE >= 1.  Returns the code; X and F are changed as WR says.
template <class T>
IWORD rootfm_core(IWORD icode, T& x, T& f, T* w, RootfmWrite& wr);
extern template IWORD rootfm_core<double>(IWORD, double&, double&, double*, RootfmWrite&);
extern template IWORD rootfm_core<GNum>(IWORD, GNum&, GNum&, GNum*, RootfmWrite&);

namespace root_detail {

// Relative precision of ORVK_ROOT1N and ORVK_ROOT2N: the machine epsilon,
// raised to 2^-46.
inline constexpr double kEps = DBL_EPSILON > 0x1p-46 ? DBL_EPSILON : 0x1p-46;

// Integer part of a counter word; a word that is no finite number of
// integer range reads as 0.
inline IWORD counter_word(double w) {
  if (!(std::fabs(w) < 9.0e18)) return 0;
  return static_cast<IWORD>(w);
}

// Quantities of one call of ORVK_ROOT1N / ORVK_ROOT2N.  X, R are the
// current point and residual (ORVK_ROOT2N may swap them with the recorded
// point); h is the step, NS a new slope candidate.
struct Frame {
  double X, R, TOL, LO, HI, SMAX, DXMIN, LIMIT, h, NS;
  IWORD K;
  bool has_ns, shift;
};

// Sets up FR for a call with the given arguments.
void frame_init(Frame& fr, IWORD icode, double x, double f, const double* w);
// Start step.  Returns true when the call is complete (codes -1 and the
// clamping of a start point outside the bounds, written to ICODE and X);
// otherwise the tail follows with FR.h.
bool start_step(Frame& fr, IWORD& icode, double& x, double* w);
// Tail step 2 of ORVK_ROOT1N: limit a long step unless it lands near a
// point already visited.
void limit_near_visited(Frame& fr, const double* w);
// Tail steps 3-6: bounds, slope, history and the returned code.
void finish(Frame& fr, IWORD& icode, double& x, double* w, IWORD maxit);

}  // namespace root_detail
}  // namespace orvika
