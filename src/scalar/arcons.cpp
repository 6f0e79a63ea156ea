// ORVK_ARCONS and ORVK_TRCONS: bounded secant / three-point-model solvers of
// one scalar equation, with their predictors ARCSTP and ORVK_TTEMP.
//
// Both keep a record of 15 reals: 1, 2 bounds (either order); 3 step size;
// 4 target (ORVK_ARCONS); 5 tolerance; 7 step-limit factor; 8, 9 sorted
// bounds; 10-12 abscissae and 13-15 values of the last three points, oldest
// first.  The first move is a step of W(3), the second a secant, later ones
// come from a quadratic (or, in ORVK_TTEMP, rational) model through the
// three points; every move is clamped to the bounds and limited to W(7) W(3).

#include <cmath>

#include "frame/hostdata.hpp"
#include "frame/views.hpp"
#include "scalar/roots.hpp"

namespace orvika {
namespace {

enum class Variant { kArcons, kTrcons };

// Three-point model step (counter >= 3) shared by the two predictors.
// Returns the predicted abscissa; may narrow the history to a bracketing pair.
double three_point(Variant var, IWORD icount, double target, double* fh, double* xh) {
  Vec1<double> FH(fh), XH(xh);
  // Sort the points by abscissa.
  const int lo = XH(2) >= XH(1) ? 1 : 2;
  const int up = 3 - lo;
  int lowest, cand;
  if (XH(3) < XH(lo)) {
    lowest = 3;
    cand = lo;
  } else {
    lowest = lo;
    cand = 3;
  }
  int highest, middle;
  if (XH(cand) >= XH(up)) {
    highest = cand;
    middle = up;
  } else {
    highest = up;
    middle = cand;
  }
  const double X1 = XH(lowest), F1 = FH(lowest);
  const double X2 = XH(middle), F2 = FH(middle);
  const double X3 = XH(highest), F3 = FH(highest);

  // Normalised coordinates: the points are (0, 0), (u, v), (1, 1), the
  // target is w.
  const double r = X3 - X1 > 0.0 ? 1.0 / (X3 - X1) : 1e30;
  const double u = (X2 - X1) * r;
  const double t = std::fabs(F3 - F1) > 1e-30 ? 1.0 / (F3 - F1) : 1e30;
  const double v = (F2 - F1) * t;
  const double w = (target - F1) * t;

  bool flat;
  if (var == Variant::kArcons) {
    flat = u == 0.0 || u > 9e8 || std::fabs(u - 1.0) <= 1e-10;
  } else {
    flat = u == 0.0 || u > 0.99;
  }
  const double b = flat ? 1.0 : (v - u) / ((u - 1.0) * u);

  const bool rewrite = var == Variant::kTrcons || icount % 3 == 0;
  double a, g;
  if (w * (w - v) <= 0.0) {
    a = u / 2.0;
    if (rewrite) {
      XH(2) = X1;
      FH(2) = F1;
      XH(3) = X2;
      FH(3) = F2;
    }
    g = XH(3);
  } else if ((w - 1.0) * (w - v) > 0.0) {
    a = w;
    g = XH(3);
  } else {
    a = (1.0 + u) / 2.0;
    if (rewrite) {
      XH(2) = X2;
      FH(2) = F2;
      XH(3) = X3;
      FH(3) = F3;
    }
    g = XH(3);
  }

  double s;
  const bool degenerate = X1 * 1e-7 >= std::fabs(X3 - X1) || std::fabs(X3 - X1) <= 1e-30;
  if (degenerate && 0.0 <= w && w <= 1.0) {
    s = a;
  } else if (std::fabs(u - 0.5) > 0.49) {
    s = a;
  } else if (std::fabs(b) > 1.0) {
    s = a;
    if (var == Variant::kTrcons && 0.0 < v && v < 1.0) {
      // Rational model phi(s) = (1 - q) s / (s - q) through the points.
      const double q = (1.0 - v) / (1.0 - v / u);
      const double p = (1.0 - q) / (w - (1.0 - q));
      if (p < 0.0) s = (1.0 + p) * q;
    }
  } else {
    // Newton's method on phi(s) = s (1 + b (s - 1)) = w.
    s = (g - X1) * r;
    bool settled = false;
    for (int it = 0; it < 25; ++it) {
      const double d = (s * (1.0 + b * (s - 1.0)) - w) / (1.0 + b * (2.0 * s - 1.0));
      s -= d;
      if (std::fabs(d) <= 1e-6) {
        settled = true;
        break;
      }
    }
    if (!settled) s = w;
  }
  return X1 + s / r;
}

// One call of ORVK_ARCONS / ORVK_TRCONS on the record W.
void bounded_step(Variant var, IWORD& cnt, double& x, double f, double* w, IWORD maxit,
                  IWORD iopt) {
  Vec1<double> W(w);
  const double res = var == Variant::kArcons ? f - W(4) : f;
  if (std::fabs(res) <= std::fabs(W(5))) {
    cnt = 0;
    return;
  }
  if (cnt == 1) {
    W(7) = 1.0;
    W(8) = std::fmin(W(1), W(2));
    W(9) = std::fmax(W(1), W(2));
    if (var == Variant::kArcons || iopt <= 1) {
      W(12) = x;
      W(15) = f;
      // A start point outside the bounds (or not a number) is refused.
      if (!(x >= W(8) && x <= W(9))) {
        cnt = -1;
        return;
      }
      const double up = x + W(3), down = x - W(3);
      if (up >= W(8) && up <= W(9)) {
        x = up;
      } else if (down >= W(8) && down <= W(9)) {
        x = down;
      } else {
        x = x == W(8) ? W(9) : W(8);
      }
      cnt = 2;
      return;
    }
  }
  if (cnt >= maxit) {
    cnt = -2;
    return;
  }
  W(10) = W(11);
  W(11) = W(12);
  W(12) = x;
  W(13) = W(14);
  W(14) = W(15);
  W(15) = f;

  const double L = W(7) * W(3);
  double xnew = L;
  if (var == Variant::kArcons) {
    ARCSTP(cnt, W(4), W.at(13), W.at(10), xnew);
  } else {
    ORVK_TTEMP(&cnt, W.at(13), W.at(10), &xnew, &iopt);
  }
  if (xnew > W(9)) {
    if (x == W(9)) {
      cnt = -2;
      return;
    }
    xnew = W(9);
  } else if (xnew < W(8)) {
    if (x == W(8)) {
      cnt = -2;
      return;
    }
    xnew = W(8);
  }
  double xn;
  if (std::fabs(xnew - x) <= std::fabs(L)) {
    xn = xnew;
  } else {
    xn = x + rsign(L, xnew - x);
    W(7) *= var == Variant::kArcons ? 0.95 : 1.5;
  }
  // A prediction that is not a number leaves X where it is; a limited step
  // never leaves the bounds.
  if (std::isnan(xn)) {
    xn = x;
  } else if (xn > W(9)) {
    xn = W(9);
  } else if (xn < W(8)) {
    xn = W(8);
  }
  x = xn;
  cnt += 1;
}

}  // namespace

void ARCSTP(IWORD icount, double ft, double* fh, double* xh, double& xnew) {
  Vec1<double> FH(fh), XH(xh);
  if (icount < 3) {
    const double tiny = host::rtiny();
    if (std::fabs(XH(2) - XH(3)) > tiny && std::fabs(FH(2) - FH(3)) > tiny) {
      xnew = XH(2) - (FH(2) - ft) / ((FH(2) - FH(3)) / (XH(2) - XH(3)));
    } else {
      xnew = XH(3) + xnew;
    }
    return;
  }
  xnew = three_point(Variant::kArcons, icount, ft, fh, xh);
}

}  // namespace orvika

using namespace orvika;

// ORVK_ARCONS: one reverse-communication step of the solver of F(X) = W(4)
// between the bounds W(1), W(2).
//
//  ICOUNT (in/out) IWORD    1 on the first call; > 0 out: evaluate F at X
//  X      (in/out) real     in: the point F belongs to (the start point on
//                           the first call); out: the next point
//  F      (in)     real     F(X)
//  W      (in/out) real(15) record (see the file head); the caller sets 1-5
//  MAXIT  (in)     IWORD    limit on ICOUNT
//
// Codes: > 0 request; 0 converged, |F - W(4)| <= |W(5)|, X unchanged; -1
// start point outside the bounds; -2 ICOUNT reached MAXIT, or the predicted
// point lay beyond a bound X already sat on (X unchanged).  No work space.
// Cost: O(1) per call.
extern "C" ORVK_API void ORVK_ARCONS(IWORD* ICOUNT, double* X, const double* F, double* W,
                                     const IWORD* MAXIT) {
  bounded_step(Variant::kArcons, *ICOUNT, *X, *F, W, *MAXIT, 1);
}

// ORVK_TRCONS: as ORVK_ARCONS for F(X) = 0 with the bounds P(1), P(2);
// predictor ORVK_TTEMP, step limit enlarged by 1.5 after a limited step.
//
//  ICODE (in/out) IWORD    as ICOUNT of ORVK_ARCONS
//  X, F                    as for ORVK_ARCONS
//  P     (in/out) real(15) the record of ORVK_ARCONS; word 4 is not read and
//                          word 5 is compared with |F|
//  MAXIT (in)     IWORD    limit on ICODE
//  IOPT  (in)     IWORD    1 or less: normal start; above 1: the first call
//                          starts from the slope of the two points an earlier
//                          run left in words 11, 12 and 14, 15 of P (no -1
//                          code then; MAXIT checked already on that call)
//
// Codes as ORVK_ARCONS.  No work space.  Cost: O(1) per call.
extern "C" ORVK_API void ORVK_TRCONS(IWORD* ICODE, double* X, const double* F, double* P,
                                     const IWORD* MAXIT, const IWORD* IOPT) {
  bounded_step(Variant::kTrcons, *ICODE, *X, *F, P, *MAXIT, *IOPT);
}

// ORVK_TTEMP: predictor of ORVK_TRCONS for the target 0.
//
//  ICODE (in)     IWORD   counter of the calling step
//  FH    (in/out) real(3) values of the last three points, oldest first
//  XH    (in/out) real(3) their abscissae; narrowed to a bracketing pair
//                         from the third step on
//  XNEW  (in/out) real    in: the fallback step; out: the predicted point
//  IOPT  (in)     IWORD   above 1 with ICODE 1: step with the slope of
//                         points 1 and 2 from point 3
//
// Secant step on the second call, then a quadratic (or, where that is not
// monotone, rational) model through the three points.  No codes.
// Cost: O(1) (at most 25 Newton steps on the model).
extern "C" ORVK_API void ORVK_TTEMP(const IWORD* ICODE, double* FH, double* XH, double* XNEW,
                                    const IWORD* IOPT) {
  Vec1<double> fh(FH), xh(XH);
  if (*ICODE < 3) {
    if (*IOPT > 1 && *ICODE == 1) {
      if (fh(2) != fh(1) && xh(2) != xh(1)) {
        *XNEW = xh(3) - fh(3) / ((fh(2) - fh(1)) / (xh(2) - xh(1)));
      } else {
        *XNEW = xh(3) + *XNEW;
      }
    } else if (fh(2) != fh(3) && xh(2) != xh(3)) {
      *XNEW = xh(2) - fh(2) / ((fh(2) - fh(3)) / (xh(2) - xh(3)));
    } else {
      *XNEW = xh(3) + *XNEW;
    }
    return;
  }
  *XNEW = three_point(Variant::kTrcons, *ICODE, 0.0, FH, XH);
}
