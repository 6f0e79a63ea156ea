// ORVK_CUBIC: largest real root of a monic cubic inside an interval (the
// expansion factor of a cubic equation of state), with CROOTS, the
// closed-form (Cardano / trigonometric) real roots.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "scalar/roots.hpp"

namespace orvika {
namespace {

// Real cube root with the sign of V (positive for 0).
double signed_cbrt(double v) { return rsign(std::cbrt(std::fabs(v)), v); }

// Largest binary exponent of the size of the roots for which the closed
// form is used as it stands (Q^3 and R^2 then stay far inside the range).
constexpr int kUnscaledExponent = 100;

// Newton steps on a root X of x^3 + A2 x^2 + A1 x + A0 whose residual lies
// above the rounding level of its evaluation.  The trigonometric form loses
// the small roots of a cubic whose roots differ much in size (the arccosine
// of an argument near 1 and the cancellation against A2/3 cost up to half
// the digits, 1e-4 relative for roots 0.002, 0.05 and -1e6); a root that is
// already good to the rounding level is left as it is.  A step is kept
// only when it lowers the residual.
double polish(double x, double a2, double a1, double a0) {
  constexpr double kLevel = 32.0 * std::numeric_limits<double>::epsilon();
  for (int it = 0; it < 4; ++it) {
    const double p = ((x + a2) * x + a1) * x + a0;
    const double ax = std::fabs(x);
    const double level = ((ax + std::fabs(a2)) * ax + std::fabs(a1)) * ax + std::fabs(a0);
    if (!(std::fabs(p) > kLevel * level)) break;
    const double xn = x - p / ((3.0 * x + 2.0 * a2) * x + a1);
    if (!std::isfinite(xn)) break;
    const double pn = ((xn + a2) * xn + a1) * xn + a0;
    if (!(std::fabs(pn) < std::fabs(p))) break;
    x = xn;
  }
  return x;
}

// The Cardano quantities of the monic cubic x^3 + A2 x^2 + A1 x + A0:
// Q, R and the discriminant D = R^2 + Q^3.
struct Cardano {
  double Q, R, D;
  Cardano(double a2, double a1, double a0)
      : Q((3.0 * a1 - a2 * a2) / 9.0),
        R(((9.0 * a1 - 2.0 * a2 * a2) * a2 - 27.0 * a0) / 54.0),
        D(R * R + Q * Q * Q) {}
};

// Real roots of the monic cubic from its Cardano quantities; an absent root
// is ABSENT.
void closed_form(double a2, double a1, double a0, const Cardano& k, double absent,
                 double roots[3]) {
  const double Q = k.Q, R = k.R, D = k.D;
  const double third = a2 / 3.0;
  if (D > 0.0) {
    // One real root.
    const double sd = std::sqrt(D);
    const double S = signed_cbrt(R + sd);
    const double T = signed_cbrt(R - sd);
    roots[0] = polish((S - third) + T, a2, a1, a0);
    roots[1] = absent;
    roots[2] = absent;
  } else if (std::fabs(D) < host::rtiny() || !(Q < 0.0)) {
    // A repeated root.  Q >= 0 with D <= 0 means Q = R = 0, a triple root,
    // which the trigonometric form would turn into 0/0 when the host's
    // negligible magnitude is 0.
    const double S = signed_cbrt(R);
    roots[0] = polish((S - third) + S, a2, a1, a0);
    roots[1] = polish(-(S + third), a2, a1, a0);
    roots[2] = roots[1];
  } else {
    // Three real roots.  The cosine argument is clamped to [-1, 1] against
    // rounding (a contracted or extended-precision D may disagree with it).
    const double c = std::fmax(-1.0, std::fmin(1.0, R / std::sqrt(-(Q * Q * Q))));
    const double theta = std::acos(c) / 3.0;
    const double m = 2.0 * std::sqrt(-Q);
    roots[0] = polish(m * std::cos(theta) - third, a2, a1, a0);
    roots[1] = polish(m * std::cos(theta + 2.0943951026666667) - third, a2, a1, a0);
    roots[2] = polish(m * std::cos(theta + 4.1887902053333335) - third, a2, a1, a0);
  }
}

// Binary exponent of the size of the roots, max(|A2|, |A1|^(1/2),
// |A0|^(1/3)), from the finite nonzero coefficients; 0 when there are none.
int root_exponent(double a2, double a1, double a0) {
  int e = INT_MIN;
  const double c[3] = {a2, a1, a0};
  for (int k = 0; k < 3; ++k) {
    if (c[k] != 0.0 && std::isfinite(c[k])) e = std::max(e, std::ilogb(c[k]) / (k + 1));
  }
  return e == INT_MIN ? 0 : e;
}

}  // namespace

void CROOTS(double a2, double a1, double a0, IWORD iprint, double roots[3]) {
  const Cardano k(a2, a1, a0);
  if (iprint >= 10) {
    Rec rec;
    rec.X(6).A("SQUARE OF DISCRIMINANT IN CUBIC EQUATION = ").G(k.D, 13, 5);
    write_rec(host::repunit(), rec);
  }
  // Q^3 and R^2 grow with the sixth power of the size of the roots: beyond
  // about 2^170 they overflow and below about 2^-170 they underflow, and
  // the closed form gives no roots or wrong ones.  Roots whose size lies
  // that far from 1 are found from the cubic in y = x / 2^e, scaled exactly
  // by a power of two, and scaled back.
  const int e = root_exponent(a2, a1, a0);
  if (std::abs(e) <= kUnscaledExponent) {
    closed_form(a2, a1, a0, k, host::rmisval(), roots);
    return;
  }
  const double b2 = std::ldexp(a2, -e), b1 = std::ldexp(a1, -2 * e), b0 = std::ldexp(a0, -3 * e);
  const Cardano ks(b2, b1, b0);
  closed_form(b2, b1, b0, ks, host::rmisval(), roots);
  // The absent roots (one real root) stay as they are.
  for (int j = 0; j < 3; ++j) {
    if (!(j > 0 && ks.D > 0.0)) roots[j] = std::ldexp(roots[j], e);
  }
}

}  // namespace orvika

using namespace orvika;

// ORVK_CUBIC: largest real root of x^3 + A2 x^2 + A1 x + A0 in
// [XMIN, XMAX].
//
//  A2, A1, A0 (in)     real   coefficients of the monic cubic
//  XMIN       (in/out) real   lower end; set to 0 when no root lies in
//                             [XMIN, XMAX] and the search is repeated on
//                             [0, XMAX]
//  XMAX       (in)     real   upper end
//  IPRINT     (in)     IWORD  >= 8: the three roots (an absent one as
//                             RMISVAL) on the host's report unit; >= 10:
//                             also the discriminant before them
//  ROOT       (out)    real   the largest root in the final interval, or
//                             XMIN when there is none
//  NROOT      (out)    IWORD  number of roots in the final interval
//
// No error codes.  No work space.  Cost: O(1).
// Method: Cardano's closed form for one real root, the trigonometric form
// (Viete) for three, on the cubic scaled by a power of two when its roots
// lie far from unit size; a root whose residual is above the rounding
// level is refined by Newton steps.
extern "C" ORVK_API void ORVK_CUBIC(const double* A2, const double* A1, const double* A0,
                                    double* XMIN, const double* XMAX, const IWORD* IPRINT,
                                    double* ROOT, IWORD* NROOT) {
  *NROOT = 0;
  double roots[3];
  CROOTS(*A2, *A1, *A0, *IPRINT, roots);
  if (*IPRINT >= 8) {
    const IWORD unit = host::repunit();
    Rec head;
    head.X(6).A("ROOTS OF CUBIC EQUATION FOR EXPANSION FACTOR:");
    write_rec(unit, head);
    Rec line;
    for (double r : roots) line.X(6).G(r, 13, 5);
    write_rec(unit, line);
  }
  auto select = [&](double lo) {
    double best = lo;
    IWORD count = 0;
    for (double r : roots) {
      if (lo <= r && r <= *XMAX) {
        ++count;
        if (r > best) best = r;
      }
    }
    *NROOT = count;
    *ROOT = best;
  };
  select(*XMIN);
  if (*NROOT == 0 && *XMIN != 0.0) {
    *XMIN = 0.0;
    select(0.0);
  }
}
