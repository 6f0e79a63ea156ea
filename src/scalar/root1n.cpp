// ORVK_ROOT1N: safeguarded solver of one scalar equation F(X) = target
// inside bounds, by reverse communication; ORVK_KROOT1 and ROOTCV: tests on
// its state record.  The start step and the tail are shared with
// ORVK_ROOT2N, and so are the pieces of the continuation step both use.

#include <cmath>

#include "frame/views.hpp"
#include "scalar/roots.hpp"

namespace orvika {
namespace root_detail {

namespace {
// True when XN lies strictly between X and XB.
bool strictly_between(double xn, double x, double xb) { return (xn - x) * (xb - xn) > 0.0; }
}  // namespace

void frame_init(Frame& fr, IWORD icode, double x, double f, const double* w) {
  Vec1<const double> W(w);
  fr.X = x;
  fr.R = f - W(4);
  fr.TOL = std::fmax(std::fabs(W(5)), kEps);
  fr.LO = std::fmin(W(1), W(2));
  fr.HI = std::fmax(W(1), W(2));
  fr.SMAX = std::fabs(W(3)) > kEps ? std::fabs(W(3)) : 1e30;
  fr.DXMIN = kEps * std::fabs(x);
  fr.K = icode < INT64_MAX ? icode + 1 : icode;
  fr.LIMIT = fr.SMAX;
  fr.h = 0.0;
  fr.NS = 0.0;
  fr.has_ns = false;
  fr.shift = true;
}

bool start_step(Frame& fr, IWORD& icode, double& x, double* w) {
  Vec1<double> W(w);
  for (int i = 7; i <= 15; ++i) W(i) = 0.0;
  W(13) = fr.R;
  W(14) = fr.X;
  if (!(fr.HI > fr.LO)) {
    icode = -1;
    return true;
  }
  // A start point outside the bounds (or not a number) is moved onto them
  // and handed back for evaluation.
  if (!(fr.X >= fr.LO && fr.X <= fr.HI)) {
    icode = fr.K;
    x = fr.X > fr.HI ? fr.HI : fr.LO;
    return true;
  }
  const double X = fr.X, R = fr.R;
  double h;
  if (kEps < std::fabs(W(6)) && std::fabs(W(6)) < 1e30) {
    h = -R / W(6);
    if ((X <= fr.LO && h <= 0.0) || (X >= fr.HI && h >= 0.0)) {
      fr.h = h;
      return false;
    }
  } else if (std::fabs(R) <= fr.TOL) {
    h = 0.0;
  } else if (kEps < std::fabs(W(3)) && std::fabs(W(3)) < 1e30) {
    h = W(3);
  } else {
    h = rsign(0.01 * (std::fabs(X) + 0.01), W(3));
  }
  if (std::fabs(R) <= fr.TOL) {
    fr.K = 0;
    fr.h = h;
    return false;
  }
  h = rsign(std::fmax(std::fmax(std::fabs(h), 0.001 * std::fabs(X)), 1e-6), h);
  if (std::fabs(h) > fr.SMAX) h = rsign(fr.SMAX, h);
  fr.LIMIT = 2.0 * std::fabs(h);
  if (X + h < fr.LO || X + h > fr.HI) h = rsign(h, 0.5 * (fr.LO + fr.HI) - X);
  fr.h = h;
  return false;
}

bool blow_up(Frame& fr, double* w, double floor, double back) {
  Vec1<double> W(w);
  const double X = fr.X, R = fr.R;
  const double R1 = W(7), X1 = W(8), R2 = W(9);
  if (std::fabs(R) <= 1000.0 * std::fmax(std::fmax(std::fabs(R1), std::fabs(R2)), floor)) {
    return false;
  }
  if (rsgn(R1) * R < 0.0 && (W(11) == 0.0 || std::fabs(X - X1) < std::fabs(W(12) - X1))) {
    W(11) = R;
    W(12) = X;
  }
  fr.h = back * (X1 - X);
  fr.shift = false;
  return true;
}

bool best_or_repeat(Frame& fr, double* w) {
  Vec1<double> W(w);
  const double X = fr.X, R = fr.R;
  if (std::fabs(R) < std::fabs(W(13))) {
    W(13) = R;
    W(14) = X;
  }
  if (R == 0.0) return true;
  if (X == W(8) || (W(9) != 0.0 && X == W(10))) {
    fr.K = -6;
    return true;
  }
  return false;
}

double doubled_step(double X, double X1) {
  double h = 2.0 * (X - X1);
  if (std::fabs(h) < 0.001 * std::fabs(X)) h = rsign(0.001 * std::fabs(X), h);
  return h;
}

void bracket_on_sign_change(double* w, double R, double R1, double X1) {
  if (rsgn(R1) * R < 0.0) {
    Vec1<double> W(w);
    W(11) = R1;
    W(12) = X1;
  }
}

bool quad_model(double S1, double S2, double X, double X1, double X2, double R, Quad& q) {
  q.A = (S2 - S1) / (X2 - X);
  if (!(q.A != 0.0 && std::isfinite(q.A))) return false;
  q.B = (X - X1) * q.A + S1;
  q.tv = -0.5 * q.B / q.A;
  q.PV = (q.tv * q.A + q.B) * q.tv + R;
  return true;
}

void vertex_step(Frame& fr, const Quad& q, double R, double within) {
  fr.NS = 0.0;
  fr.has_ns = true;
  fr.h = q.tv;
  if (std::fabs(q.PV - R) <= within * fr.TOL) fr.K = -5;
}

bool quad_root(const Quad& q, double R, double& QR, double& h) {
  if (q.B == 0.0) return false;
  const double D = 1.0 - (q.A / q.B) * 4.0 * (R / q.B);
  if (!(D >= 0.0)) return false;
  QR = (q.B / q.A) * (-0.5) * (std::sqrt(D) + 1.0);
  h = (R / QR) / q.A;
  return true;
}

bool secant_slope(Frame& fr, double DXS, double X, double X1, double S1) {
  if (!(DXS < std::fabs(X1 - X))) return false;
  fr.NS = S1;
  fr.has_ns = true;
  return true;
}

void quad_slope(Frame& fr, double DXS, double X, double X1, double X2, double S1, const Quad& q,
                double h) {
  if (secant_slope(fr, DXS, X, X1, S1) && DXS < std::fabs(X1 - X2)) {
    const double slope = q.B + 2.0 * q.A * h;
    fr.NS = rsgn(slope) == rsgn(S1) ? slope : 0.0;
  }
}

double secant_step(const Frame& fr, double X, double R, double S1, double RB, double XB) {
  double h = -R / S1;
  if (std::fabs(h) <= fr.DXMIN && std::fabs(R) > fr.TOL) {
    h = RB == 0.0 ? rsign(4.0 * fr.DXMIN, h)
                  : rsign(std::fmax(std::fabs(h), 0.0625 * std::fabs(XB - (X + h))), h);
  }
  return h;
}

void limit_near_visited(Frame& fr, const double* w) {
  Vec1<const double> W(w);
  const double h = fr.h, L = fr.LIMIT, X = fr.X;
  if (!(std::fabs(h) > L)) return;
  double xn = X + h;
  const double X1 = W(8), X2 = W(10);
  const double d1 = W(7) != 0.0 ? xn - X1 : 1e30;
  const double d2 = W(9) != 0.0 ? xn - X2 : 1e30;
  auto clamp_around = [&](double c) { xn = std::fmin(std::fmax(xn, c - L), c + L); };
  if (std::fabs(d1) < std::fabs(h)) {
    clamp_around(std::fabs(d2) < std::fabs(d1) ? X2 : X1);
    fr.h = xn - X;
  } else if (std::fabs(d2) < std::fabs(h)) {
    clamp_around(X2);
    fr.h = xn - X;
  } else {
    fr.h = rsign(L, h);
  }
}

void finish(Frame& fr, IWORD& icode, double& x, double* w, IWORD maxit) {
  Vec1<double> W(w);
  const double X = fr.X;
  double xn = X + fr.h;
  // A step that is not a number (a residual or record word that is not a
  // number) does not move X; the code below then reports a vanishing step.
  if (std::isnan(xn)) xn = std::isnan(X) ? fr.LO : X;
  IWORD K = fr.K;
  if (xn <= fr.LO) {
    if (X <= fr.LO) K = -3;
    if (W(8) <= fr.LO) W(7) = 0.0;
    xn = fr.LO;
  }
  if (xn >= fr.HI) {
    if (X >= fr.HI) K = -4;
    if (W(8) >= fr.HI) W(7) = 0.0;
    xn = fr.HI;
  }
  if (fr.has_ns) {
    if (std::fabs(W(6)) <= kEps || std::fabs(W(6)) >= 1e30) W(6) = fr.NS;
    W(6) = rsgn(W(6)) * fr.NS > 0.0 ? fr.NS : 0.0;
  }
  if (fr.shift && K > 0) {
    W(9) = W(7);
    W(10) = W(8);
    W(7) = fr.R;
    W(8) = X;
  }
  IWORD code;
  if (std::fabs(fr.R) <= fr.TOL) {
    code = 0;
    if (maxit < 0) {
      code = -2;
      W(6) = 0.0;
    }
  } else if (std::fabs(xn - X) <= fr.DXMIN && K > 0) {
    code = -8;
    if (maxit < -8) {
      code = -2;
      W(6) = 0.0;
    }
  } else if (K > maxit) {
    code = -2;
    W(6) = 0.0;
  } else {
    code = K;
    if (K < 0 && K != -3 && K != -4 && K != -8) W(6) = 0.0;
  }
  icode = code;
  x = xn;
}

}  // namespace root_detail

double ROOTCV(double x, double tol, const double* w) {
  Vec1<const double> W(w);
  if (!(W(11) > 0.0)) return 0.0;
  const double t = std::fabs(tol * x);
  if (t >= std::fabs(W(12) - W(8))) return 2.0;
  if (t >= std::fabs(x - W(8))) return 1.0;
  return 0.0;
}

}  // namespace orvika

using namespace orvika;
using namespace orvika::root_detail;

namespace {

// Steps 1-11 of a continuation call (K >= 3, a point recorded): sets the
// step FR.h, the slope candidate and the code FR.K for the tail.
void continuation(Frame& fr, double* w) {
  Vec1<double> W(w);
  const double X = fr.X, R = fr.R;
  const double R1 = W(7), X1 = W(8), R2 = W(9), X2 = W(10);
  const double DXS = std::fmax(kEps, 1e-4) * std::fabs(X);

  // Blow-up: step back towards the last point.
  if (blow_up(fr, w, 1e10, 0.99)) return;
  if (std::fabs(R) > 0.8 * std::fabs(W(13))) W(15) += 1.0;
  if (best_or_repeat(fr, w)) return;
  if (R == R1) {
    if (std::fabs(R) <= fr.TOL) return;
    if (fr.K >= 10 || (fr.K >= 6 && R2 == 0.0)) {
      fr.K = -7;
      return;
    }
    fr.h = doubled_step(X, X1);
    W(8) = X;
    fr.shift = false;
    return;
  }
  bracket_on_sign_change(w, R, R1, X1);
  const double RB = W(11), XB = W(12);
  const IWORD n = counter_word(W(15));
  if (RB != 0.0) W(15) = static_cast<double>(n);
  if (RB != 0.0 && (fr.K >= 21 || W(15) >= 3.0)) {
    W(15) = 0.0;
    fr.h = 0.5 * (XB - X);
    return;
  }
  const double S1 = (R1 - R) / (X1 - X);

  if (R2 != 0.0) {
    const double S2 = (R2 - R1) / (X2 - X1);
    if (rsgn(S2) * S1 <= 0.0) W(15) = static_cast<double>(n) + 0.101;
    Quad q;
    double Q = 0.0, h = 0.0;
    // A vanishing or overflowing curvature leaves the secant step.
    if ((std::fabs(S1) + std::fabs(S2)) * 1e-5 < std::fabs(S2 - S1) &&
        quad_model(S1, S2, X, X1, X2, R, q)) {
      if (rsgn(q.A) == rsgn(q.PV)) {
        const bool fraction = W(15) != static_cast<double>(counter_word(W(15)));
        if (fraction && RB == 0.0) {
          W(15) = static_cast<double>(n) + 0.202;
          vertex_step(fr, q, R, 0.1);
          return;
        }
      } else if (quad_root(q, R, Q, h)) {
        double xn = X + h;
        if (RB != 0.0 && rsgn(h) == rsgn(xn - XB) && rsgn(Q) != rsgn(X + Q - XB)) {
          h = Q;
          xn = X + h;
        }
        if (std::fabs(xn - X) > fr.DXMIN && (RB == 0.0 || strictly_between(xn, X, XB))) {
          quad_slope(fr, DXS, X, X1, X2, S1, q, h);
          fr.h = h;
          return;
        }
      }
    }
  }

  // Secant step, kept short of the bracket point.
  secant_slope(fr, DXS, X, X1, S1);
  double h = secant_step(fr, X, R, S1, RB, XB);
  if (RB != 0.0 && !strictly_between(X + h, X, XB)) h = 0.9 * (XB - X);
  fr.h = h;
}

}  // namespace

// ORVK_ROOT1N: one reverse-communication step of the safeguarded solver of
// F(X) = W(4), LO <= X <= HI with LO, HI = min, max of W(1), W(2).
//
//  ICODE (in/out) IWORD    0 or 1 on the first call (0 runs the start step
//                          twice); > 0 out: evaluate F at X and call again
//  X     (in/out) real     in: the point F belongs to; out: the next point
//  F     (in)     real     F(X)
//  W     (in/out) real(15) 1, 2 bounds; 3 step cap and first step; 4 target;
//                          5 tolerance on R = F - W(4); 6 slope dR/dX
//                          (estimate in, kept up to date); 7-15 state
//  MAXIT (in)     IWORD    largest request code
//
// Codes: > 0 request; 0 converged (X unchanged); -1 W(1) = W(2); -2 limit;
// -3 / -4 pushed below LO / above HI (X on the bound); -5 stationary point
// (X at the vertex of the model); -6 repeated point; -7 F unchanged; -8 step
// below eps*|X|.  No work space.  Cost: O(1) per call.
// Method: slope, secant and three-point quadratic steps with a bracket
// point, bisection on stalls and step limits.
// Cf. T. J. Dekker (1969) and R. P. Brent, Algorithms for Minimization
// without Derivatives, Prentice-Hall (1973), ch. 4.
extern "C" ORVK_API void ORVK_ROOT1N(IWORD* ICODE, double* X, const double* F, double* W,
                                     const IWORD* MAXIT) {
  Frame fr;
  frame_init(fr, *ICODE, *X, *F, W);
  if (fr.K <= 2 || W[6] == 0.0) {
    if (start_step(fr, *ICODE, *X, W)) return;
  } else {
    continuation(fr, W);
  }
  if (std::fabs(fr.R) <= fr.TOL) fr.h = 0.0;
  limit_near_visited(fr, W);
  finish(fr, *ICODE, *X, W, *MAXIT);
}

// ORVK_KROOT1: convergence test on the record W of ORVK_ROOT1N / ORVK_ROOT2N
// at the point X with the relative tolerance TOL.  Returns 2 when the
// bracket point and the last point are within T = max(|X|, 0.01) TOL, 1 when
// X and the last point are, else 0; 0 without a bracket point, and 0 when the
// last residual exceeds |2 TOL W(6)| while a slope is known.
//
//  X   (in) real      the current point
//  TOL (in) real      relative tolerance
//  W   (in) real(15)  the record (not changed)
//
// Cost: O(1).
extern "C" ORVK_API IWORD ORVK_KROOT1(const double* X, const double* TOL, const double* W) {
  Vec1<const double> w(W);
  if (w(11) == 0.0) return 0;
  const double t = std::fmax(std::fabs(*X), 0.01) * *TOL;
  IWORD r = 0;
  if (std::fabs(w(12) - w(8)) <= t) {
    r = 2;
  } else if (std::fabs(*X - w(8)) <= t) {
    r = 1;
  }
  if (r != 0 && w(6) != 0.0 && std::fabs(w(7)) > std::fabs(2.0 * *TOL * w(6))) r = 0;
  return r;
}
