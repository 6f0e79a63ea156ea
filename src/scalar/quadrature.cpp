// Adaptive three-point Gauss-Legendre quadrature: ORVK_QA04AD (calls the
// caller's function) and ORVK_GAUSSINT (reverse communication).  Both run
// the same engine and give the same results for the same values of f.
//
// A piece [a, b] of length L with Gauss estimate Q is tested by splitting it
// into three children whose midpoints are the piece's Gauss nodes, at
// a + (1 - sqrt(0.6)) L and a + sqrt(0.6) L, so that the piece's three
// values serve again as the children's centre values and each test costs
// six new values.  The piece is accepted when the sum G of the children's
// estimates satisfies |G - Q| <= EPS / 1.4^(k-1) * ACCUM at level k, ACCUM
// being the running estimate of the integral of |f|; otherwise its children
// are integrated in turn, first child first, down to the level limit.  A
// piece whose two estimates already agree to rounding is not split further:
// it is accepted and counted like a piece at the level limit.
//
// A value of f that is NaN or infinite, or a test whose estimates are not
// finite (overflow, a NaN end or tolerance), can never pass at any level:
// the integration ends at once with the accuracy flag and a NaN result
// instead of splitting down to the level limit everywhere.

#include <algorithm>
#include <cmath>
#include <limits>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "orvika/scalar_curves.h"

namespace orvika {
namespace {

constexpr IWORD kLevels = 30;
constexpr double kNode = 0.1127016653792583;    // (1 - sqrt(0.6)) / 2
constexpr double kSecond = 3.436491673103706;   // sqrt(0.6) / (1 - sqrt(0.6))
constexpr double kW49 = 4.0 / 9.0;              // centre weight
constexpr double kW518 = 5.0 / 18.0;            // outer weight
constexpr double kTighten = 1.4;                // tolerance divisor per level
// Agreement of a piece's two estimates, relative to the sum of their
// magnitudes, that rounding alone can account for.
constexpr double kRoundingLevel = 8.0 * std::numeric_limits<double>::epsilon();

// (1 - sqrt(0.6))^m, m = 1..30: length of a first child relative to the
// piece that began the chain of first children.
constexpr double kT[kLevels] = {
    0.2254033307585167,    5.080666151703326e-2,  1.145199073065985e-2,  2.581316854506387e-3,
    5.818374167488369e-4,  1.311480916951190e-4,  2.956121669070317e-5,  6.663196703358748e-6,
    1.501906730436229e-6,  3.385347795289597e-7,  7.630686688342760e-8,  1.719982195527133e-8,
    3.876897157171620e-9,  8.738655322347074e-10, 1.969722016007669e-10, 4.439819030765088e-11,
    1.000749997499500e-11, 2.255723826929645e-12, 5.084476638612896e-13, 1.146057969507213e-13,
    2.583252835692684e-14, 5.822737933565140e-15, 1.312464524359545e-15, 2.958338752930337e-16,
    6.668194084224943e-17, 1.503033156728539e-17, 3.387886797671002e-18, 7.636409684278484e-19,
    1.721272177872963e-19, 3.879804820345346e-20};

// Level records: array M (1..12) of level K (1..30) at W(30(M-1) + K).
enum Rec12 : IWORD {
  kUpper = 1,   // b
  kX2 = 2,      // second split point
  kX1 = 3,      // first split point
  kEps = 4,     // tolerance factor of the level
  kQmid = 5,    // estimate of the middle child
  kQright = 6,  // estimate of the right child
  kRightW = 7,  // 4/9 f at the right node
  kCentreW = 8, // 4/9 f at the centre
  kY3 = 9,      // middle child's left node
  kY4 = 10,     // middle child's right node
  kY5 = 11,     // right child's left node
  kY6 = 12      // right child's right node
};
// States of a level.
enum : IWORD { kFirst = 1, kMiddle = 2, kRight = 3, kWhole = 4 };

// One integration in progress.  Requests are numbered as the codes of
// ORVK_GAUSSINT: 1-3 the values of the whole interval, 4-9 those of a test.
class Gauss3 {
 public:
  // Starts an integration of [A, B]; returns the first abscissa.
  double start(double a, double b, double eps, IWORD& maxlev, double& result, double* w,
               IWORD* iw) {
    maxlev_ = std::min<IWORD>(maxlev, kLevels);
    maxlev = maxlev_;
    result = 0.0;
    naccept_ = 0;
    broken_ = false;
    active_ = true;
    a_ = a;
    len_ = b - a;
    k_ = 1;
    kmax_ = 1;
    ntests_ = 0;
    W(w, kUpper, 1) = b;
    W(w, kEps, 1) = eps;
    iw[0] = kWhole;
    l0_ = len_;
    m_ = 1;
    xw_[0] = a + kNode * len_;
    xw_[1] = (a + b) / 2.0;
    xw_[2] = b - kNode * len_;
    pending_ = 1;
    return xw_[0];
  }

  bool active() const { return active_; }
  IWORD pending() const { return pending_; }

  // Takes f at the abscissa of the pending request.  Returns the next
  // request (1..9, abscissa in X) or the final code: 0 every piece met its
  // test, -1 some piece was accepted at the level limit or the run was
  // given up on a value that is not finite.
  IWORD put(double fx, double& x, double& result, IWORD& maxlev, double* w, IWORD* iw) {
    const IWORD req = pending_;
    if (!std::isfinite(fx)) return give_up(result, maxlev);
    if (req <= 3) {
      fw_[req - 1] = fx;
      if (req < 3) {
        pending_ = req + 1;
        x = xw_[req];
        return pending_;
      }
      // The whole interval's values: FL, centre and right words, Q, ACCUM.
      fl_ = kW49 * fw_[0];
      W(w, kCentreW, 1) = kW49 * fw_[1];
      W(w, kRightW, 1) = kW49 * fw_[2];
      q_ = (kW49 * fw_[1] + 0.625 * (kW49 * fw_[2] + kW49 * fw_[0])) * len_;
      accum_ = std::fabs(q_);
      return begin_test(x, w);
    }
    y_[req - 4] = fx;
    if (req < 9) {
      pending_ = req + 1;
      x = xt_[req - 3];
      return pending_;
    }
    if (finish_test(result, w, iw)) return begin_test(x, w);
    if (broken_) return give_up(result, maxlev);
    // Finished.
    active_ = false;
    pending_ = 0;
    maxlev = kmax_;
    if (ntests_ == 1) result = g_;
    return naccept_ > 0 ? -1 : 0;
  }

  IWORD accepted_at_limit() const { return naccept_; }

 private:
  // Ends the run with the accuracy flag: the current piece counts as one
  // accepted without meeting its test, and there is no estimate.
  IWORD give_up(double& result, IWORD& maxlev) {
    ++naccept_;
    active_ = false;
    pending_ = 0;
    maxlev = kmax_;
    result = std::numeric_limits<double>::quiet_NaN();
    return -1;
  }

  static double& W(double* w, IWORD m, IWORD k) { return w[kLevels * (m - 1) + k - 1]; }

  // Step 3, first half: the six abscissae of the test of the current piece.
  IWORD begin_test(double& x, double* w) {
    const double b = W(w, kUpper, k_);
    const double c = l0_ * kT[m_ - 1];
    x1_ = a_ + c;
    x2_ = a_ + kSecond * c;
    c_ = c;
    const double d = 0.2 * (b - a_);
    xt_[0] = x1_ - d;
    xt_[1] = a_ + d;
    xt_[2] = 2.0 * (a_ + d) - (a_ + x1_) / 2.0;
    xt_[3] = 2.0 * (b - d) - (b + x2_) / 2.0;
    xt_[4] = b - d;
    xt_[5] = x2_ + d;
    pending_ = 4;
    x = xt_[0];
    return pending_;
  }

  // Step 3, second half, with steps 4 and 5.  Returns true when another
  // piece is to be tested, false when the integration is finished.
  bool finish_test(double& result, double* w, IWORD* iw) {
    ++ntests_;
    const IWORD k = k_;
    const double qmid = (x2_ - x1_) * ((y_[2] + y_[3]) * kW518 + W(w, kCentreW, k));
    const double qright = ((y_[4] + y_[5]) * kW518 + W(w, kRightW, k)) * c_;
    const double qleft = ((y_[0] + y_[1]) * kW518 + fl_) * c_;
    g_ = qmid + qright + qleft;
    accum_ = accum_ + (std::fabs(qmid) + std::fabs(qright) - std::fabs(q_)) + std::fabs(qleft);
    W(w, kX1, k) = x1_;
    W(w, kX2, k) = x2_;
    W(w, kQmid, k) = qmid;
    W(w, kQright, k) = qright;
    W(w, kY3, k) = y_[2];
    W(w, kY4, k) = y_[3];
    W(w, kY5, k) = y_[4];
    W(w, kY6, k) = y_[5];

    if (!std::isfinite(g_) || !std::isfinite(q_) || !std::isfinite(accum_) ||
        std::isnan(W(w, kEps, k))) {
      broken_ = true;
      return false;
    }
    if (!(std::fabs(g_ - q_) <= W(w, kEps, k) * accum_)) {
      // When the children's sum and the piece's estimate already agree to
      // the rounding of the piece's own estimates and abscissae (the
      // latter relative to the piece's length), subdividing cannot bring
      // them closer: a tolerance below that level (EPS of 0 or about
      // machine precision, or tightened far enough by depth) would
      // otherwise split every piece down to the level limit, 3^(MAXLEV-k)
      // tests for each.  Such a piece is accepted and counted like one
      // at the level limit, since it did not meet its test.
      const double b = W(w, kUpper, k), len = std::fabs(b - a_);
      const double scale = (std::fabs(qleft) + std::fabs(qmid) + std::fabs(qright)) *
                           (len + std::fabs(a_) + std::fabs(b));
      if (k >= maxlev_ || std::fabs(g_ - q_) * len <= kRoundingLevel * scale) {
        ++naccept_;
      } else {
        // Descend into the first child.
        W(w, kUpper, k + 1) = x1_;
        W(w, kEps, k + 1) = W(w, kEps, k) / kTighten;
        W(w, kCentreW, k + 1) = fl_;
        W(w, kRightW, k + 1) = kW49 * y_[1];
        iw[k] = kFirst;
        fl_ = kW49 * y_[0];
        q_ = qleft;
        ++m_;
        k_ = k + 1;
        if (k_ > kmax_) kmax_ = k_;
        return true;
      }
    }

    // Book the accepted piece (and every parent it completes).
    double g = g_;
    for (;;) {
      const IWORD kk = k_;
      IWORD state = iw[kk - 1];
      if (kk <= 1 || state < kFirst || state > kRight) state = kWhole;
      if (state == kWhole) return false;
      result += g;
      if (state == kRight) {
        g = 0.0;
        k_ = kk - 1;
        continue;
      }
      const IWORD kp = kk - 1;
      if (state == kFirst) {  // on to the parent's middle child
        a_ = W(w, kX1, kp);
        W(w, kUpper, kk) = W(w, kX2, kp);
        W(w, kCentreW, kk) = W(w, kCentreW, kp);
        W(w, kRightW, kk) = kW49 * W(w, kY4, kp);
        fl_ = kW49 * W(w, kY3, kp);
        q_ = W(w, kQmid, kp);
        iw[kk - 1] = kMiddle;
        l0_ = W(w, kX2, kp) - W(w, kX1, kp);
      } else {  // on to the parent's right child
        a_ = W(w, kX2, kp);
        W(w, kUpper, kk) = W(w, kUpper, kp);
        W(w, kCentreW, kk) = W(w, kRightW, kp);
        W(w, kRightW, kk) = kW49 * W(w, kY6, kp);
        fl_ = kW49 * W(w, kY5, kp);
        q_ = W(w, kQright, kp);
        iw[kk - 1] = kRight;
        l0_ = W(w, kUpper, kk) - a_;
      }
      W(w, kEps, kk) = W(w, kEps, kp) / kTighten;
      m_ = 1;
      return true;
    }
  }

  bool active_ = false;
  bool broken_ = false;  // the last test had estimates that are not finite
  IWORD pending_ = 0;  // request awaiting its value
  IWORD maxlev_ = 0, k_ = 0, kmax_ = 0, m_ = 1, naccept_ = 0, ntests_ = 0;
  double a_ = 0.0, len_ = 0.0, l0_ = 0.0, c_ = 0.0, x1_ = 0.0, x2_ = 0.0;
  double q_ = 0.0, fl_ = 0.0, accum_ = 0.0, g_ = 0.0;
  double xw_[3] = {}, fw_[3] = {};  // whole interval: abscissae and values
  double xt_[6] = {}, y_[6] = {};   // test in progress: abscissae and values
};

// The run of ORVK_GAUSSINT between its calls.
Gauss3 g_gaussint;

}  // namespace
}  // namespace orvika

using namespace orvika;

// ORVK_QA04AD: integral of F over [A, B] by adaptive three-point Gauss
// quadrature.
//
//  RESULT (out)    the integral
//  A, B   (in)     ends of the interval (B < A integrates with the sign)
//  EPS    (in)     relative tolerance against the integral of |F|,
//                  tightened by 1.4 per level of subdivision
//  MAXLEV (in/out) in: deepest level allowed (values above 30 become 30;
//                  <= 1 tests only the whole interval); out: the deepest
//                  level reached, negative when pieces at the limit missed
//                  the tolerance or the run was given up (below)
//  F      (in)     function of one real argument (by address)
//
// When pieces are accepted at the level limit without meeting the test,
// " QA04A/AD ACCURACY SUSPECT AT", their count (I6), " POINTS IN RANGE.
// BEST ESTIMATE RETURNED." is written on unit 6.  A value of F that is NaN
// or infinite, or estimates that are not finite, end the run at once:
// RESULT is NaN, the piece counts as one such point and MAXLEV is
// negative.  F may itself call
// ORVK_QA04AD: the level records of a call are its own.  No work space
// from the caller.
// Cost: 9 + 6 (number of pieces tested - 1) values of F.
// Method: three-point Gauss-Legendre rule, a piece that fails the test
// split into three at its Gauss nodes so that its values are reused.
extern "C" ORVK_API void ORVK_QA04AD(double* RESULT, const double* A, const double* B,
                                     const double* EPS, IWORD* MAXLEV, ORVK_QA04_FN F) {
  double w[12 * kLevels] = {};
  IWORD iw[kLevels] = {};
  Gauss3 run;
  double x = run.start(*A, *B, *EPS, *MAXLEV, *RESULT, w, iw);
  IWORD req = 1;
  while (req > 0) {
    const double xv = x;
    const double fx = F(&xv);
    req = run.put(fx, x, *RESULT, *MAXLEV, w, iw);
  }
  const IWORD n = run.accepted_at_limit();
  if (n > 0) {
    Rec r;
    r.A(" QA04A/AD ACCURACY SUSPECT AT").I(n, 6).A(" POINTS");
    r.A(" IN RANGE.     BEST ESTIMATE RETURNED.");
    write_rec(6, r);
    *MAXLEV = -*MAXLEV;
  }
}

// ORVK_GAUSSINT: the integration of ORVK_QA04AD by reverse communication.
//
//  RESULT (in/out)  the integral, accumulated over the calls
//  A, B, EPS (in)   as ORVK_QA04AD
//  MAXLEV (in/out)  as ORVK_QA04AD, but never made negative
//  FX     (in)      f(X) for the request being answered
//  X      (out)     abscissa of the next request
//  W      (work) real(360), IW (work) int(30): level records
//  ISTATE (in/out)  in: a value outside 1..9 starts a new integration (so
//                   does a request code when no integration is in progress
//                   or the code is not the one last returned);
//                   out: 1..9 put f(X) in FX and call again with the other
//                   arguments unchanged; 0 finished; -1 finished, some
//                   pieces accepted at the level limit without meeting the
//                   tolerance (best estimate returned), or at once after an
//                   FX that is NaN or infinite or estimates that are not
//                   finite (RESULT NaN).
//
// Only one integration can be in progress at a time.  Cost: as ORVK_QA04AD.
// Method: as ORVK_QA04AD (three-point Gauss-Legendre rule).
extern "C" ORVK_API void ORVK_GAUSSINT(double* RESULT, const double* A, const double* B,
                                       const double* EPS, IWORD* MAXLEV, const double* FX,
                                       double* X, double* W, IWORD* IW, IWORD* ISTATE) {
  const IWORD st = *ISTATE;
  Gauss3& run = g_gaussint;
  if (st < 1 || st > 9 || !run.active() || st != run.pending()) {
    *X = run.start(*A, *B, *EPS, *MAXLEV, *RESULT, W, IW);
    *ISTATE = 1;
    return;
  }
  *ISTATE = run.put(*FX, *X, *RESULT, *MAXLEV, W, IW);
}
