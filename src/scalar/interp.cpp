// Interpolation routines: guarded quadratic extrapolation (ORVK_QDEXTR),
// three-point Lagrange re-estimation (ORVK_LAGRA2), the interpolating
// polynomial in the power basis (ORVK_PC02AD with PAROOT and PAEVAL) and
// the factorial (ORVK_IFACT).

#include <cmath>
#include <cstdint>

#include "frame/views.hpp"
#include "orvika/scalar_curves.h"
#include "scalar/curves.hpp"

namespace orvika {

void PAROOT(const double* r, double* a, IWORD n) {
  if (n < 1) {
    a[0] = 1.0;
    return;
  }
  a[0] = -r[0];
  a[1] = 1.0;
  for (IWORD m = 2; m <= n; ++m) {
    const double rm = r[m - 1];
    a[m] = 1.0;
    for (IWORD k = m - 1; k >= 1; --k) a[k] = a[k - 1] - rm * a[k];
    a[0] = -rm * a[0];
  }
}

double PAEVAL(const double* a, IWORD n, double t) {
  double sum = a[0];
  double power = 1.0;
  for (IWORD k = 1; k <= n; ++k) {
    power *= t;
    sum += a[k] * power;
  }
  return sum;
}

}  // namespace orvika

using namespace orvika;

// ORVK_QDEXTR: the parabola y = a x^2 + b x + c through three points,
// evaluated at XQ; beyond an end point past which the parabola turns, the
// straight line from that end point to the vertex is used instead.
//
//  MODE (in)          > 0: points in ascending order of X; <= 0: descending.
//                     |MODE| = 2: take a, b, c and the vertex from COEF
//                     (no fit; X and Y still give the end points).
//  X, Y (in) real(3)  the three points
//  COEF (in/out) real(5) a, b, c, vertex abscissa u, vertex ordinate v;
//                     written unless |MODE| = 2
//  XQ   (in)          abscissa of the value wanted
//  YQ   (out)         the value
//
// Three equal-abscissa cases (zero determinant) give the constant y of the
// first point.  Cost: O(1).
extern "C" ORVK_API void ORVK_QDEXTR(const IWORD* MODE, const double* X, const double* Y,
                                     double* COEF, const double* XQ, double* YQ) {
  const IWORD md = *MODE;
  const int first = md > 0 ? 0 : 2;
  const int last = md > 0 ? 2 : 0;
  const double xf = X[first], yf = Y[first];
  const double xl = X[last], yl = Y[last];
  const double x2 = X[1], y2 = Y[1];

  double a, b, c, u, v;
  if (md == 2 || md == -2) {
    a = COEF[0];
    b = COEF[1];
    c = COEF[2];
    u = COEF[3];
    v = COEF[4];
  } else {
    const double d = (x2 - xl) * xf * xf + (xl - xf) * x2 * x2 + (xf - x2) * xl * xl;
    if (d == 0.0) {
      a = 0.0;
      b = 0.0;
    } else {
      a = -((y2 - yl) * xf + (yl - yf) * x2 + (yf - y2) * xl) / d;
      b = ((xf * xf - xl * xl) * y2 + (x2 * x2 - xf * xf) * yl + (xl * xl - x2 * x2) * yf) / d;
    }
    c = yf - xf * b - xf * xf * a;
    u = (a != 0.0) ? -b / (2.0 * a) : 0.0;
    v = (a * u + b) * u + c;
    COEF[0] = a;
    COEF[1] = b;
    COEF[2] = c;
    COEF[3] = u;
    COEF[4] = v;
  }

  const double q = *XQ;
  if (q > xl) {
    *YQ = (xl < u && u < q) ? v + (q - u) * (v - yl) / (u - xl) : (a * q + b) * q + c;
  } else {
    *YQ = (q < xf && q < u && u < xf) ? v + (q - u) * (v - yf) / (u - xf) : (a * q + b) * q + c;
  }
}

// ORVK_LAGRA2: replaces Y(I) by the three-point Lagrange interpolant at
// X(I) through the neighbours I-1, I+1, I+2 (I-2, I-1, I+1 when I = N-1).
//
//  N     (in)             number of points
//  I     (in)             the point to re-estimate
//  X     (in)  real(N)    abscissae (distinct)
//  Y     (in/out) real(N) ordinates; Y(I) replaced
//  IFLAG (out)            0 done; 1 nothing done: I is not an interior
//                         point with three neighbours to use (I < 2,
//                         I >= N, or N = 3)
//
// Cost: O(1).
extern "C" ORVK_API void ORVK_LAGRA2(const IWORD* N, const IWORD* I, const double* X, double* Y,
                                     IWORD* IFLAG) {
  const IWORD nn = *N, ii = *I;
  // I = N-1 uses the point I-2, which exists only from N = 4 on.
  if (ii < 2 || ii >= nn || (ii == nn - 1 && ii < 3)) {
    *IFLAG = 1;
    return;
  }
  *IFLAG = 0;
  Vec1<const double> x(X);
  Vec1<double> y(Y);
  IWORD ka = ii - 1, kb = ii + 1, kc = ii + 2;
  if (ii == nn - 1) {
    ka = ii - 2;
    kb = ii - 1;
    kc = ii + 1;
  }
  const double xx = x(ii);
  const double xa = x(ka), ya = y(ka), xb = x(kb), yb = y(kb), xc = x(kc), yc = y(kc);
  y(ii) = ya * (xx - xb) * (xx - xc) / ((xa - xb) * (xa - xc)) -
          yb * (xx - xa) * (xx - xc) / ((xa - xb) * (xb - xc)) +
          yc * (xx - xa) * (xx - xb) / ((xa - xc) * (xb - xc));
}

// ORVK_PC02AD: power-basis coefficients of the polynomial of degree N
// through the N+1 points (X(j), Y(j)), j = 0..N.
//
//  X, Y (in)  real(0:N)  the points (distinct abscissae)
//  CF   (out) real(0:N)  p(t) = CF(0) + CF(1) t + ... + CF(N) t^N
//  W1   (work) real(0:N) on return the product polynomial of node N
//  W2   (work) real(N)   on return the abscissae other than X(N)
//  N    (in)             degree; N < 0 returns at once
//
// Lagrange form: each node's basis polynomial from its roots (PAROOT),
// divided by its value at the node (at least 1e-15 in magnitude, so equal
// abscissae give huge but finite coefficients; below that, distinct
// abscissae divide by the product of their differences).  Cost: O(N^3).
extern "C" ORVK_API void ORVK_PC02AD(const double* X, const double* Y, double* CF, double* W1,
                                     double* W2, const IWORD* N) {
  const IWORD nn = *N;
  if (nn < 0) return;
  for (IWORD k = 0; k <= nn; ++k) CF[k] = 0.0;
  for (IWORD j = 0; j <= nn; ++j) {
    IWORD m = 0;
    for (IWORD k = 0; k <= nn; ++k) {
      if (k != j) W2[m++] = X[k];
    }
    PAROOT(W2, W1, nn);
    const double d = PAEVAL(W1, nn, X[j]);
    double div = std::copysign(std::fmax(std::fabs(d), 1e-15), d == 0.0 ? 1.0 : d);
    if (!(std::fabs(d) >= 1e-15)) {
      // The floor guards a repeated abscissa, whose divisor is 0 up to
      // rounding.  Distinct abscissae close together (spacings whose
      // product lies below the floor) have a divisor that is small but
      // not 0: it is formed as the product of the differences, so that
      // the polynomial still passes through the points.
      double pd = 1.0;
      for (IWORD k = 0; k <= nn; ++k) {
        if (k != j) pd *= X[j] - X[k];
      }
      if (pd != 0.0 && std::isfinite(pd)) div = pd;
    }
    for (IWORD k = 0; k <= nn; ++k) CF[k] += W1[k] * Y[j] / div;
  }
}

// ORVK_IFACT: N! for N >= 0 (1 for N <= 0), formed in 64-bit integer
// arithmetic two factors at a time.  Exact for N <= 20; above, the product
// reduced modulo 2^64 as a two's-complement integer (0 from N = 66 on).
// Cost: O(min(N, 66)).
extern "C" ORVK_API IWORD ORVK_IFACT(const IWORD* N) {
  const IWORD nn = *N;
  if (nn <= 0) return 1;
  // Unsigned words wrap modulo 2^64 where signed ones would overflow.
  std::uint64_t f = 1;
  IWORD k = 1;
  for (; k + 1 <= nn; k += 2) {
    f *= static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(k + 1);
    // From 66! on the product holds 2^64 and stays 0 modulo 2^64: stop
    // there, so that a large N costs no more than N = 66.
    if (f == 0) return 0;
  }
  if (nn % 2 == 1) f *= static_cast<std::uint64_t>(nn);
  return static_cast<IWORD>(f);
}
