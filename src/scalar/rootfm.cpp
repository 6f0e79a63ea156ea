// ORVK_ROOTFM: bracketing root finder for F(X) = W(6) on [W(1), W(2)] by
// reverse communication.
//
// A search with steps of fixed length |W(5)| runs until F - W(6) changes
// sign (reversing once when the first step makes matters worse, jumping
// back once when a bound is reached); then a bracketing phase keeps the two
// ends of the bracket and a third point and chooses between bisection and
// two steps of the rational model r(x) through the ends (inverse
// interpolation in the variable v = ((r - RNEG)/(RPOS - r)) (XPOS - x) /
// (x - XNEG)).  The step is written once, as a template over the number
// type, so that the derivative twin G_ORVK_ROOTFM repeats it exactly.
//
// Record words: 7 XBEST, 8 RBEST, 9 RNEG, 10 R3 (search: bound reached),
// 11 RPOS, 12 RPREV, 13 XNEG, 14 X3 (search: direction fixed), 15 XPOS,
// 16 XPREV.

#include <cmath>
#include <type_traits>

#include "frame/views.hpp"
#include "scalar/gnum.hpp"
#include "scalar/roots.hpp"

namespace orvika {
namespace {

// SIGN(a, b): |a| with the sign of b (positive for b = 0); the derivative
// passes sgn(a) sgn(b) g_a, zero when a or b is 0.
double tsign(double a, double b) { return rsign(a, b); }
GNum tsign(const GNum& a, double b) {
  GNum r(rsign(a.v, b));
  gnum_detail::scale_choice(r, a, g_sign_factor(a.v, b));
  return r;
}

// Bounds widened by the slack of the plain routine.
double slack_below(double a) { return a - std::fmax(1.0, a) * 1e-15; }
double slack_above(double b) { return b + std::fmax(1.0, b) * 1e-15; }

}  // namespace

template <class T>
IWORD rootfm_core(IWORD icode, T& X, T& F, T* w, RootfmWrite& wr) {
  constexpr bool kTwin = std::is_same_v<T, GNum>;
  wr = RootfmWrite::kNone;
  const Vec1<T> W(w);
  T& XBEST = W(7);
  T& RBEST = W(8);
  T& RNEG = W(9);
  T& R3 = W(10);
  T& RPOS = W(11);
  T& RPREV = W(12);
  T& XNEG = W(13);
  T& X3 = W(14);
  T& XPOS = W(15);
  T& XPREV = W(16);

  T R = F - W(6);
  if (val(gabs(R)) <= val(W(3))) return 0;
  const double w1 = val(W(1)), w2 = val(W(2));
  const double x = val(X);

  if (icode <= 2) {
    // Search phase.  A point that is not a number counts as outside.
    const bool inside = kTwin ? (x >= w1 && x <= w2)
                              : (x >= slack_below(w1) && x <= slack_above(w2));
    if (!inside) return -4;
    T cx = X, cr = R;  // the point the next step starts from
    if (icode == 1) {
      const T s = tsign(W(5), -val(W(5)) * val(R));
      XPREV = X - s;
      W(10) = 0.0;
      W(12) = 0.0;
      W(14) = 0.0;
      XBEST = X;
      XNEG = X;
      XPOS = X;
      RBEST = R;
      RNEG = R;
      RPOS = R;
    } else {
      if (std::fabs(val(R)) < std::fabs(val(RBEST))) {
        XBEST = X;
        RBEST = R;
      }
      // Signs compared directly: the product of two tiny residuals of
      // opposite sign underflows to zero and would hide the sign change.
      const double r = val(R), rp = val(RPREV);
      if ((r < 0.0 && rp > 0.0) || (r > 0.0 && rp < 0.0)) {
        // Sign change: the bracketing phase starts at the midpoint.
        if (val(R) > 0.0) {
          XPOS = X;
          RPOS = R;
          X = (XNEG + X) / 2.0;
        } else {
          XNEG = X;
          RNEG = R;
          X = (X + XPOS) / 2.0;
        }
        wr = RootfmWrite::kX;
        return 3;
      }
      if (val(W(14)) == 0.0) {
        // The first step made matters worse: search the other way.
        if (std::fabs(val(RPREV)) <= std::fabs(val(R))) {
          XPREV = X;
          RPREV = R;
          if (val(R) > 0.0) {
            XNEG = X;
            RNEG = R;
            cx = XPOS;
            cr = RPOS;
          } else {
            XPOS = X;
            RPOS = R;
            cx = XNEG;
            cr = RNEG;
          }
        }
        W(14) = 1.0;
      }
    }

    T xnew;
    if (val(cx) <= w1 || val(cx) >= w2) {
      if (val(W(10)) > 0.0) {
        // Second bound hit: end with the best point.
        X = XBEST;
        F = W(6) + RBEST;
        wr = RootfmWrite::kXF;
        const double xb = val(XBEST);
        if (kTwin ? xb >= w2 : xb >= slack_above(w2)) return -3;
        if (kTwin ? xb <= w1 : xb <= slack_below(w1)) return -2;
        return -1;
      }
      W(10) = 1.0;
      W(14) = 1.0;
      XPREV = cx;
      if (val(cr) > 0.0) {
        cx = XNEG;
        cr = RNEG;
      } else {
        cx = XPOS;
        cr = RPOS;
      }
      xnew = cx + tsign(W(5), (w1 + w2) / 2.0 - val(XPREV));
    } else {
      xnew = cx + tsign(W(5), val(cx) - val(XPREV));
      if (val(cr) <= 0.0) {
        XNEG = cx;
        RNEG = cr;
      } else {
        XPOS = cx;
        RPOS = cr;
      }
    }
    // A step that does not move X (zero or not a number) ends the search as
    // a too short one would; otherwise a negative W(4) would search forever.
    const double dx = std::fabs(val(xnew) - val(cx));
    if (dx <= val(W(4)) || !(dx > 0.0)) return -4;
    XPREV = cx;
    RPREV = cr;
    X = gmax(W(1), gmin(xnew, W(2)));
    wr = RootfmWrite::kX;
    return 2;
  }

  // Bracketing phase.
  {
    const double lo = std::fmin(val(XNEG), val(XPOS)), hi = std::fmax(val(XNEG), val(XPOS));
    const bool inside =
        kTwin ? (x > lo && x < hi) : (x >= slack_below(lo) && x <= slack_above(hi));
    if (!inside) return -5;
  }
  auto model_v = [&](const T& xx, const T& rr) {
    return ((rr - RNEG) / (RPOS - rr)) * (XPOS - xx) / (xx - XNEG);
  };
  auto model_root = [&](const T& p, const T& v) {
    return XNEG + (p / (v - p * v + p)) * (XPOS - XNEG);
  };
  int kind;
  T xnew;
  const bool third_from_current = icode == 3 || (!kTwin && val(R) == val(RPOS));
  if (third_from_current) {
    if (icode != 3) {
      // A point whose residual equals RPOS (F flat on the positive side)
      // replaces the third point without a model.  A third point strictly
      // inside the bracket with R3 <= 0 (the last bisection midpoint) is
      // kept as the new negative end first: dropping it would leave XNEG
      // where it is, and the bracket would shrink only by the model's
      // steps next to XPOS, which on a flat stretch never end.
      const double x3 = val(X3), xneg = val(XNEG), xpos = val(XPOS);
      if (val(R3) <= 0.0 && (x3 - xneg) * (xpos - x3) > 0.0) {
        XNEG = X3;
        RNEG = R3;
      }
    }
    X3 = X;
    R3 = R;
    kind = (val(RNEG) < val(R) && val(R) < val(RPOS)) ? 4 : 3;
  } else {
    const T p = -RNEG / (RPOS - RNEG);
    const T v = model_v(X, R);
    const T v3 = model_v(X3, R3);
    const T ve = val(R3) != val(R) ? v - R * (v3 - v) / (R3 - R) : v;
    const T x5 = model_root(p, ve);
    const double pv = val(p), vv = val(v);
    const double d = std::fabs(pv / (vv - pv * vv + pv) -
                               (x - val(XNEG)) / (val(XPOS) - val(XNEG)));
    // Update the bracket with the new point, keeping the third point inside.
    const double r = val(R), r3 = val(R3);
    const double xneg = val(XNEG), xpos = val(XPOS), x3 = val(X3);
    bool swap_third = false;  // the third point becomes an end, (X, R) the third
    if (r > 0.0) {
      if (r3 > 0.0) {
        if (std::fabs(x - xneg) > std::fabs(x3 - xneg)) {
          XPOS = X;
          RPOS = R;
        } else {
          XPOS = X3;
          RPOS = R3;
          swap_third = true;
        }
      } else if (std::fabs(xpos - x) > std::fabs(x3 - xneg)) {
        XPOS = X;
        RPOS = R;
      } else {
        XNEG = X3;
        RNEG = R3;
        swap_third = true;
      }
    } else if (r3 < 0.0) {
      if (std::fabs(xpos - x) > std::fabs(xpos - x3)) {
        XNEG = X;
        RNEG = R;
      } else {
        XNEG = X3;
        RNEG = R3;
        swap_third = true;
      }
    } else if (std::fabs(xpos - x3) > std::fabs(x - xneg)) {
      XPOS = X3;
      RPOS = R3;
      swap_third = true;
    } else {
      XNEG = X;
      RNEG = R;
    }
    if (swap_third) {
      X3 = X;
      R3 = R;
    }
    if (val(R3) >= val(RPOS) || val(R3) <= val(RNEG) || val(X3) == val(XNEG) ||
        val(X3) == val(XPOS) || d > 0.9) {
      kind = 3;
    } else if (d < 0.3) {
      kind = 4;
    } else {
      kind = 5;
      xnew = x5;
    }
  }
  if (kind == 4) xnew = model_root(-RNEG / (RPOS - RNEG), model_v(X3, R3));
  if (kind != 3) {
    // Model points must fall inside the bracket (a point that is not a
    // number does not).
    const double lo = std::fmin(val(XNEG), val(XPOS)), hi = std::fmax(val(XNEG), val(XPOS));
    const double t = kTwin ? 0.0 : 1e-10 * std::fmax(std::fabs(val(XNEG)), std::fabs(val(XPOS)));
    if (!(lo + t < val(xnew) && val(xnew) < hi - t)) kind = 3;
  }
  if (kind == 3) {
    if (val(R3) > 0.0) {
      XPOS = X3;
      RPOS = R3;
    } else {
      XNEG = X3;
      RNEG = R3;
    }
    xnew = (XNEG + XPOS) / 2.0;
    if (val(xnew) == val(XNEG) || val(xnew) == val(XPOS)) return 0;
  }
  if (std::fabs(val(xnew) - x) <= val(W(4))) return 0;
  X = xnew;
  wr = RootfmWrite::kX;
  return kind;
}

template IWORD rootfm_core<double>(IWORD, double&, double&, double*, RootfmWrite&);
template IWORD rootfm_core<GNum>(IWORD, GNum&, GNum&, GNum*, RootfmWrite&);

}  // namespace orvika

using namespace orvika;

// ORVK_ROOTFM: one reverse-communication step of the search-and-bracket
// solver of F(X) = W(6) on [W(1), W(2)].
//
//  ICODE (in/out) IWORD    1 on the first call; 2-5 out: evaluate F at X
//                          (2 search, 3 bisection, 4 three-point model,
//                          5 extrapolated model step)
//  X     (in/out) real     in: the point F belongs to; out: the next point
//  F     (in/out) real     F(X); overwritten with F at the best point on
//                          codes -1 to -3
//  W     (in/out) real(16) 1, 2 lower and upper bound; 3 tolerance on
//                          R = F - W(6); 4 tolerance on a step in X;
//                          5 search step (sign with that of R gives the
//                          first direction); 6 target; 7-16 state
//
// Codes: 0 converged (|R| <= W(3), or a bracketing step of at most W(4), or
// a bracket that cannot be halved; X is the last point evaluated; also at
// once when ICODE <= 0); -1, -2, -3 a bound reached twice in the search
// (X, F := the best point; -3 / -2 when it lies at or above / below the
// widened upper / lower bound); -4 X outside the widened bounds or a search
// step of at most W(4); -5 X outside the widened bracket.  Codes 0, -4, -5
// leave W and X as they were.  No iteration limit.  No work space.
// Cost: O(1) per call.
// Method: fixed-size search for a sign change, then bisection or rational
// model steps inside the bracket.
// Cf. T. J. Dekker (1969) and R. P. Brent, Algorithms for Minimization
// without Derivatives, Prentice-Hall (1973), ch. 4.
extern "C" ORVK_API void ORVK_ROOTFM(IWORD* ICODE, double* X, double* F, double* W) {
  if (*ICODE <= 0) {
    *ICODE = 0;
    return;
  }
  double wk[16];
  for (int i = 0; i < 16; ++i) wk[i] = W[i];
  double x = *X, f = *F;
  RootfmWrite wr;
  const IWORD code = rootfm_core(*ICODE, x, f, wk, wr);
  if (wr != RootfmWrite::kNone) {
    for (int i = 6; i < 16; ++i) W[i] = wk[i];
    *X = x;
    if (wr == RootfmWrite::kXF) *F = f;
  }
  *ICODE = code;
}
