// ORVK_ROOT2N: second version of the safeguarded scalar root solver.  Same
// record, protocol, start step and codes as ORVK_ROOT1N; it adds a relative
// test for an unchanged F, a swap that keeps the better of the first two
// points, a poor-progress counter that can also decrease, a rational step for
// strongly curved F, residual-weighted steps towards the bracket point, a
// one-time jump back to it, and a step limit measured from the span of the
// visited points.

#include <cmath>
#include <utility>

#include "frame/views.hpp"
#include "scalar/roots.hpp"

using namespace orvika;
using namespace orvika::root_detail;

namespace {

// Counters packed in W(15) as 100 c + 10 d + e.
struct Counters {
  IWORD c, d, e;
};

// True when the step T from X ends strictly before XB in its direction.
bool before(double x, double t, double xb) { return (x + t - xb) * t < 0.0; }

// Continuation call (K >= 3, a point recorded).
void continuation(Frame& fr, double* w, Counters& cn) {
  Vec1<double> W(w);
  double X = fr.X, R = fr.R;
  double R1 = W(7), X1 = W(8);
  const double R2 = W(9), X2 = W(10);

  if (blow_up(fr, w, 100.0, 0.75)) return;
  if (std::fabs(R) > 0.8 * std::fabs(W(13))) {
    cn.c += 1;
  } else if (cn.c > 0) {
    cn.c -= 1;
  }
  if (best_or_repeat(fr, w)) return;
  // Relative test for an unchanged F.  A difference that is infinite (an
  // infinite residual beside a finite one, or an overflow) is a change,
  // though the relative bound is then infinite too.
  const double dR = std::fabs(R - R1);
  if (dR <= (std::fabs(R) + std::fabs(R1)) * kEps && dR < HUGE_VAL) {
    if (std::fabs(R) <= fr.TOL) return;
    if (W(11) != 0.0) {
      fr.h = 0.5 * (W(12) - X);
    } else if (fr.K >= 15 || (fr.K >= 6 && R2 == 0.0)) {
      fr.K = -7;
      return;
    } else {
      fr.h = doubled_step(X, X1);
    }
    W(8) = X;
    fr.shift = false;
    return;
  }
  // The better of the first two points becomes the current one.
  if (R2 == 0.0 && std::fabs(R) > std::fabs(R1)) {
    W(7) = R;
    W(8) = X;
    std::swap(X, X1);
    std::swap(R, R1);
    fr.X = X;
    fr.R = R;
  }
  const double DXS = std::fmax(kEps, 1e-4) * std::fmax(std::fabs(X), 0.001);
  bracket_on_sign_change(w, R, R1, X1);
  const double RB = W(11), XB = W(12);

  enum class Next { kTail, kBracket, kSecant };
  Next next = Next::kSecant;
  double S1 = 0.0;

  if (RB != 0.0 && (fr.K >= 21 || cn.c >= 4) &&
      std::fabs(X - XB) > 0.2 * std::fabs(X2 - XB)) {
    next = Next::kBracket;
  } else if (cn.c >= 3 && cn.d == 0 && RB != 0.0 &&
             std::fabs(X - XB) < 0.5 * std::fabs(X2 - XB) &&
             ((X1 > X && X2 > X && X > XB) || (X1 < X && X2 < X && X < XB))) {
    // Jump back to the bracket point, once per run.
    W(11) = 0.0;
    cn.c = 0;
    cn.d = 1;
    if (std::fabs(R) < std::fabs(R1)) {
      W(13) = R;
      W(14) = X;
    } else {
      W(13) = R1;
      W(14) = X1;
    }
    fr.h = XB - X;
    return;
  } else {
    S1 = (R1 - R) / (X1 - X);
    if (R2 != 0.0) {
      next = Next::kSecant;
      const double S2 = (R2 - R1) / (X2 - X1);
      const double V = S1;
      const double U = rsgn(X1 - X) == rsgn(X2 - X1) ? S2 : (R2 - R) / (X2 - X);
      const double AM = std::fabs(U - V), AN = std::fabs(std::fabs(U) + V);
      bool done = false;
      if (U * V <= 0.0) {
        cn.e = 1;
      } else if (cn.e == 0 && AM > 0.5 * AN && S2 != 0.0) {
        // Rational step: the secant through (X2, R2 S1/S2) and (X, R).
        const double G = R - S1 * R2 / S2;
        if (G != 0.0 && (RB != 0.0 || (R - R2) * G > 0.0)) {
          const double h = -(X - X2) * R / G;
          if (std::fabs(h) > fr.DXMIN && (RB == 0.0 || before(X, h, XB))) {
            fr.h = h;
            done = true;
          }
        }
      }
      if (done) return;
      Quad q;
      double Q = 0.0, h = 0.0;
      if (AM > 1e-5 * AN && quad_model(S1, S2, X, X1, X2, R, q)) {
        if (rsgn(q.A) == rsgn(q.PV)) {
          if (RB != 0.0) {
            next = Next::kBracket;
          } else if (cn.e == 0) {
            next = Next::kSecant;
          } else {
            cn.e = 2;
            vertex_step(fr, q, R, 0.5);
            return;
          }
        } else if (quad_root(q, R, Q, h)) {
          bool bracket = false;
          if (RB != 0.0) {
            const double DB = XB - X;
            if (h * DB <= 0.0 && Q * DB <= 0.0) {
              bracket = true;
            } else if (before(X, h, XB)) {
            } else if (before(X, Q, XB)) {
              h = Q;
            } else {
              h = 0.9 * DB;
            }
          }
          if (bracket) {
            next = Next::kBracket;
          } else if (std::fabs(h) > fr.DXMIN) {
            quad_slope(fr, DXS, X, X1, X2, S1, q, h);
            fr.h = h;
            return;
          }
        }
      }
    }
  }

  if (next == Next::kSecant) {
    secant_slope(fr, DXS, X, X1, S1);
    double h = secant_step(fr, X, R, S1, RB, XB);
    if (RB == 0.0) {
      fr.h = h;
      return;
    }
    if (h * (XB - X) > 0.0) {
      if (!(before(X, h, XB) || std::fabs(R) <= fr.TOL)) h = rsign(0.9 * std::fabs(XB - X), h);
      fr.h = h;
      return;
    }
    // The step points away from the bracket point: bracket step.
  }
  // Bracket step, weighted by the residuals at the two ends.
  cn.c = cn.c > 3 ? cn.c - 3 : 0;
  if (0.01 * std::fabs(R) > std::fabs(RB)) {
    fr.h = 0.75 * (XB - X);
  } else if (0.01 * std::fabs(RB) > std::fabs(R)) {
    fr.h = 0.25 * (XB - X);
  } else {
    fr.h = 0.5 * (XB - X);
  }
}

// Tail step 2: a step longer than LIMIT is clamped to the span of the
// visited points widened by LIMIT on each side.
void limit_to_span(Frame& fr, const double* w, Counters& cn) {
  Vec1<const double> W(w);
  if (!(std::fabs(fr.h) > fr.LIMIT)) return;
  cn.c = 0;
  double m = fr.X, M = fr.X;
  if (W(7) != 0.0) {
    m = std::fmin(m, W(8));
    M = std::fmax(M, W(8));
  }
  if (W(9) != 0.0) {
    m = std::fmin(m, W(10));
    M = std::fmax(M, W(10));
  }
  const double xn = std::fmin(std::fmax(fr.X + fr.h, m - fr.LIMIT), M + fr.LIMIT);
  fr.h = xn - fr.X;
}

}  // namespace

// ORVK_ROOT2N: one reverse-communication step of the second safeguarded
// solver of F(X) = W(4) inside the bounds W(1), W(2).
//
//  ICODE (in/out) IWORD    0 or 1 on the first call; > 0 out: evaluate F at X
//  X     (in/out) real     in: the point F belongs to; out: the next point
//  F     (in)     real     F(X)
//  W     (in/out) real(15) the record of ORVK_ROOT1N; word 15 holds the
//                          counters 100 c + 10 d + e (poor progress, jump
//                          back made, slope-sign / vertex mark)
//  MAXIT (in)     IWORD    largest request code
//
// Codes as ORVK_ROOT1N, except: -5 when the vertex value is within 0.5 TOL
// of R; -7 when F is unchanged and ICODE + 1 >= 15, or >= 6 with one earlier
// point.  No work space.  Cost: O(1) per call.
// Cf. Dekker (1969) and Brent (1973), as ORVK_ROOT1N.
extern "C" ORVK_API void ORVK_ROOT2N(IWORD* ICODE, double* X, const double* F, double* W,
                                     const IWORD* MAXIT) {
  Frame fr;
  frame_init(fr, *ICODE, *X, *F, W);
  const IWORD n = counter_word(W[14]);
  Counters cn{n / 100, (n / 10) % 10, n % 10};
  if (fr.K <= 2 || W[6] == 0.0) {
    cn = Counters{0, 0, 0};
    if (start_step(fr, *ICODE, *X, W)) return;
  } else {
    continuation(fr, W, cn);
  }
  if (std::fabs(fr.R) <= fr.TOL) fr.h = 0.0;
  limit_to_span(fr, W, cn);
  finish(fr, *ICODE, *X, W, *MAXIT);
  W[14] = static_cast<double>(100 * cn.c + 10 * cn.d + cn.e);
}
