// ORVK_SPLINE and ORVK_SMCRV: piecewise cubics through tabulated points,
// and their repair where a piece turns inside its interval.
//
// Coefficients C(4, N-1): column i is the cubic of interval i in the local
// abscissa t = (x - X(i)) / (X(i+1) - X(i)), C(1,i) + C(2,i) t + C(3,i) t^2
// + C(4,i) t^3, with C(1,i) = Y(i) and the value Y(i+1) at t = 1.

#include "orvika/scalar_curves.h"
#include "scalar/spline_impl.hpp"

namespace orvika {
namespace {

// Plain arrays of the spline routines.
struct SplineArrays {
  using Num = double;
  const double* x;
  double* c;
  double X(IWORD i) const { return x[i - 1]; }
  double C(IWORD w) const { return c[w - 1]; }
  void setC(IWORD w, double v) const { c[w - 1] = v; }
  void spln2i(IWORD n, const double* y) const { ORVK_SPLN2I(&n, y, x, c); }
};

}  // namespace
}  // namespace orvika

using namespace orvika;

// ORVK_SPLINE: piecewise cubic through (X(i), Y(i)), i = 1..N.
//
//  N    (in)            number of points; N < 2 leaves C untouched
//  Y    (in)  real(N)   ordinates
//  X    (in)  real(N)   abscissae, strictly increasing (not checked)
//  C    (out) real(4,N-1) coefficients of the pieces (layout above)
//  MODE (in)            2: shape-preserving Hermite cubic (ORVK_SPLN2I);
//                       3: straight lines; other: local cubics with node
//                       slopes from parabolas through neighbouring points
//                       and least-squares end pieces (with N = 3 the
//                       parabola through the three points).
//                       N = 2 gives one straight line in every mode.
//
// Quadratic data are reproduced exactly by the local cubics.  Cost: O(N).
// Reference (MODE 2): F. N. Fritsch and R. E. Carlson, Monotone piecewise
// cubic interpolation, SIAM J. Numer. Anal. 17 (1980) 238-246.
extern "C" ORVK_API void ORVK_SPLINE(const IWORD* N, const double* Y, const double* X, double* C,
                                     const IWORD* MODE) {
  spline_detail::spline(SplineArrays{X, C}, *N, Y, *MODE);
}

// ORVK_SMCRV: ORVK_SPLINE, then (unless MODE = 2) each piece with a
// stationary point inside its interval is repaired: a stationary point in
// (0.25, 0.75) of t makes the piece a straight line; one nearer an end is
// moved just outside the interval (to max(-0.25 t, -0.01) or
// 1 + min(0.01, 0.25 (1 - t))) and the cubic refitted through the same end
// values.  Arguments as ORVK_SPLINE.  Cost: O(N).
extern "C" ORVK_API void ORVK_SMCRV(const IWORD* N, const double* Y, const double* X, double* C,
                                    const IWORD* MODE) {
  ORVK_SPLINE(N, Y, X, C, MODE);
  spline_detail::smcrv_repair(SplineArrays{X, C}, *N, Y, *MODE);
}
