// The shape-preserving Hermite chain (ORVK_SPLN2I, ORVK_SPLN2D, ORVK_SPLN2C,
// ORVK_SPLN2E) and the evaluation of spline coefficients (ORVK_SPLFN2).
//
// Reference: F. N. Fritsch and R. E. Carlson, Monotone piecewise cubic
// interpolation, SIAM J. Numer. Anal. 17 (1980) 238-246; F. N. Fritsch and
// J. Butland, A method for constructing local monotone piecewise cubic
// interpolants, SIAM J. Sci. Stat. Comput. 5 (1984) 300-304.

#include "frame/views.hpp"
#include "orvika/scalar_curves.h"
#include "scalar/spline_impl.hpp"

namespace orvika {
namespace {

// Plain arrays of ORVK_SPLN2D: X contiguous, D at stride INCR.
struct NodeSlopes {
  using Num = double;
  const double* x;
  double* d;
  IWORD incr;
  double X(IWORD i) const { return x[i - 1]; }
  void setD(IWORD i, double v) const { d[(i - 1) * incr] = v; }
  double sign(double a, double b) const { return ORVK_SPLN2E(&a, &b); }
};

}  // namespace
}  // namespace orvika

using namespace orvika;

// ORVK_SPLN2I: shape-preserving piecewise cubic Hermite interpolant.
//
//  N (in)             number of points (N < 2: nothing is done)
//  Y (in)  real(N)    ordinates
//  X (in)  real(N)    abscissae, strictly increasing (not checked)
//  C (out) real(4,N-1) coefficients in the layout of ORVK_SPLINE
//
// The node derivatives are formed in the last N words of C and consumed
// left to right as the coefficients are written in front of them.  No
// status, no other work space.  Cost: O(N).
// Reference: F. N. Fritsch and R. E. Carlson, SIAM J. Numer. Anal. 17
// (1980) 238-246; F. N. Fritsch and J. Butland, SIAM J. Sci. Stat. Comput.
// 5 (1984) 300-304.
extern "C" ORVK_API void ORVK_SPLN2I(const IWORD* N, const double* Y, const double* X,
                                     double* C) {
  const IWORD nn = *N;
  if (nn < 2) return;  // the derivatives would lie before the start of C
  const IWORD one = 1;
  IWORD nchg = 0;
  const Vec1<const double> x(X), y(Y);
  const Vec1<double> c(C), d(c.at(3 * nn - 3));  // D(1) is word 3N-3 of C
  ORVK_SPLN2D(N, X, Y, d.p, &one, &nchg);
  for (IWORD i = 1; i <= nn - 1; ++i) {
    ORVK_SPLN2C(x.at(i), x.at(i + 1), y.at(i), y.at(i + 1), d.at(i), d.at(i + 1),
                c.at(4 * i - 3), c.at(4 * i - 2), c.at(4 * i - 1), c.at(4 * i));
  }
}

// ORVK_SPLN2D: node derivatives of the shape-preserving interpolant.
//
//  N    (in)              number of points (N < 2: NCHG = 0, D untouched)
//  X    (in)  real(N)     abscissae, strictly increasing (not checked)
//  F    (in)  real(*)     values F(1 + (i-1) INCR)
//  D    (out) real(*)     derivatives dF/dX at the same stride
//  INCR (in)              stride of F and D (INCR < 1: as N < 2)
//  NCHG (out)             number of changes of the direction of monotonicity
//
// Ends: three-point formula kept to the sign of the data and within 3 times
// the end secant; inside: weighted harmonic mean of the two secants, 0 where
// the data turn or are flat.  No status.  Cost: O(N).
// Reference: F. N. Fritsch and R. E. Carlson, SIAM J. Numer. Anal. 17
// (1980) 238-246; F. N. Fritsch and J. Butland, SIAM J. Sci. Stat. Comput.
// 5 (1984) 300-304.
extern "C" ORVK_API void ORVK_SPLN2D(const IWORD* N, const double* X, const double* F, double* D,
                                     const IWORD* INCR, IWORD* NCHG) {
  if (*N < 2 || *INCR < 1) {
    *NCHG = 0;
    return;
  }
  IWORD changes = 0;
  spline_detail::spln2d(NodeSlopes{X, D, *INCR}, *N, F, *INCR, changes);
  *NCHG = changes;
}

// ORVK_SPLN2C: cubic of one interval [X1, X2] with values F1, F2 and slopes
// D1, D2 (in x) at its ends, in the local abscissa t in [0, 1]:
// C0 + C1 t + C2 t^2 + C3 t^3.
//
//  X1, X2 (in)  real  ends of the interval
//  F1, F2 (in)  real  values at the ends
//  D1, D2 (in)  real  slopes dF/dX at the ends
//  C0..C3 (out) real  coefficients in t = (x - X1)/(X2 - X1)
//
// All inputs are read before any output is written, so C2 and C3 may share
// storage with D1 and D2.  Cost: O(1).
extern "C" ORVK_API void ORVK_SPLN2C(const double* X1, const double* X2, const double* F1,
                                     const double* F2, const double* D1, const double* D2,
                                     double* C0, double* C1, double* C2, double* C3) {
  const double a1 = *X1, a2 = *X2, g1 = *F1, g2 = *F2, s1 = *D1, s2 = *D2;
  double r0, r1, r2, r3;
  spline_detail::spln2c(a1, a2, g1, g2, s1, s2, r0, r1, r2, r3);
  *C0 = r0;
  *C1 = r1;
  *C2 = r2;
  *C3 = r3;
}

// ORVK_SPLN2E: 0 when A or B is 0, +1 when they have the same sign, -1
// otherwise (a value below 0 counts as negative).  A, B (in) real; the
// result is real.  Cost: O(1).
extern "C" ORVK_API double ORVK_SPLN2E(const double* A, const double* B) {
  if (*A == 0.0 || *B == 0.0) return 0.0;
  return ((*A < 0.0) == (*B < 0.0)) ? 1.0 : -1.0;
}

// ORVK_SPLFN2: value and t-derivative of a spline at XV.
//
//  N     (in)              number of points (N < 2: VAL = DER = 0)
//  XV    (in)              abscissa
//  X     (in)  real(N)     abscissae, ascending
//  SPARE (in)              not referenced
//  C     (in)  real(4,N-1) coefficients (ORVK_SPLINE, ORVK_SMCRV, ORVK_SPLN2I)
//  VAL   (out)             value of the piece at XV
//  DER   (out)             derivative with respect to the local abscissa t
//                          (the slope in x times the interval width)
//
// A node belongs to the interval that ends at it; outside [X(1), X(N)] the
// end pieces are extrapolated.  Cost: O(log N).
extern "C" ORVK_API void ORVK_SPLFN2(const IWORD* N, const double* XV, const double* X,
                                     const void* SPARE, const double* C, double* VAL,
                                     double* DER) {
  const IWORD nn = *N;
  if (nn < 2) {
    *VAL = 0.0;
    *DER = 0.0;
    return;
  }
  const double v = *XV;
  Vec1<const double> x(X);
  IWORD i = 1;
  if (nn > 2) {
    // Smallest m in 2..N with XV <= X(m) (m = N when XV lies above X(N)).
    IWORD lo = 2, hi = nn, m;
    for (;;) {
      if (hi == lo) {
        m = lo;
        break;
      }
      if (hi == lo + 1) {
        m = (v <= x(lo)) ? lo : hi;
        break;
      }
      const IWORD mid = lo + (hi - lo) / 2;
      if (v <= x(mid)) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    i = m - 1;
  }
  const double t = (v - x(i)) / (x(i + 1) - x(i));
  const double* ci = C + 4 * (i - 1);
  *VAL = ((ci[3] * t + ci[2]) * t + ci[1]) * t + ci[0];
  *DER = ci[1] + t * (2.0 * ci[2] + 3.0 * ci[3] * t);
}
