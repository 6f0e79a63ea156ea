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
// Pieces of the continuation step of both solvers (X1, R1 and X2, R2 the
// recorded points, XB, RB the bracket point, all in the record W).
//
// Blow-up: |R| above 1000 max(|R1|, |R2|, FLOOR), or R not a number.  Steps
// back by BACK (X1 - X), keeping X as the bracket point when the sign
// changed and X is nearer X1 than the old one.  Returns true then.
bool blow_up(Frame& fr, double* w, double floor, double back);
// Records the best point (words 13, 14).  Returns true when the step ends
// here: R = 0, or X repeats a recorded point (code -6).
bool best_or_repeat(Frame& fr, double* w);
// Step 2 (X - X1) from X when F is unchanged, at least 0.001 |X| long.
double doubled_step(double X, double X1);
// X1 becomes the bracket point when R changed sign between X1 and X.
void bracket_on_sign_change(double* w, double R, double R1, double X1);
// Quadratic model through the three points about X: r(X + t) =
// (A t + B) t + R.  TV is the step to its vertex, PV the value there.
struct Quad {
  double A, B, tv, PV;
};
// Builds Q from the secant slopes S1 (X, X1) and S2 (X1, X2).  Returns false
// when the curvature vanishes or overflows.
bool quad_model(double S1, double S2, double X, double X1, double X2, double R, Quad& q);
// Step to the model's vertex (new slope 0); code -5 when the model's value
// there is within WITHIN * TOL of R.
void vertex_step(Frame& fr, const Quad& q, double R, double within);
// Root of the model nearer X (stable form): the step H, and QR = the other
// root's step.  Returns false when B = 0 or the roots are complex.
bool quad_root(const Quad& q, double R, double& QR, double& h);
// The secant slope S1 becomes the slope candidate when X1 is farther than
// DXS from X; returns whether it did.
bool secant_slope(Frame& fr, double DXS, double X, double X1, double S1);
// Slope candidate after the model step H: the secant slope, replaced by the
// model's slope at X + H (0 when its sign differs) when X1, X2 are apart too.
void quad_slope(Frame& fr, double DXS, double X, double X1, double X2, double S1, const Quad& q,
                double h);
// Secant step -R / S1, pushed to 4 DXMIN (no bracket point) or a sixteenth
// of the distance to the bracket point when it vanishes while |R| > TOL.
double secant_step(const Frame& fr, double X, double R, double S1, double RB, double XB);

// Tail step 2 of ORVK_ROOT1N: limit a long step unless it lands near a
// point already visited.
void limit_near_visited(Frame& fr, const double* w);
// Tail steps 3-6: bounds, slope, history and the returned code.
void finish(Frame& fr, IWORD& icode, double& x, double* w, IWORD maxit);

}  // namespace root_detail
}  // namespace orvika
