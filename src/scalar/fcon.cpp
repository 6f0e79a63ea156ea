// ORVK_FCON, ORVK_FCON3, ORVK_FCON3X: safeguarded reverse-communication
// root finders for F on [0, 1].
//
// The step comes from an inverse model X(F) with coefficients C1 (slope
// dX/dF) and C2 (curvature): the trial point is X - (C2 F + C1) F, the
// quadratic through the last three (F, X) pairs when they allow it, else
// the secant.  Its direction is checked against the plain secant step and
// it is held inside a bracket [XLO, XHI] that starts as [0, 1] and narrows
// as values arrive.  All state belongs to the caller.

#include <cmath>

#include "frame/hostdata.hpp"
#include "orvika/scalar_roots.h"
#include "scalar/roots.hpp"

ORVK_API ORVK_DFCON_BLOCK ORVK_DFCON = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

namespace orvika {
namespace {

enum class Variant { kFcon, kFcon3, kFcon3x };

// The caller's state of one run.
struct FconState {
  double &XOLD, &FOLD, &XOLD2, &FOLD2, &DX, &DF, &XLO, &XHI, &FLO, &FHI;
  double STEP;
};

bool negative(double v) { return v < 0.0; }  // signs count 0 as positive

// C1 := DX / DF - (FP + F) C2 unless that is not a finite number.
void secant_update(double dx, double df, double fp, double f, double c2, double& c1) {
  const double c = dx / df - (fp + f) * c2;
  if (std::isfinite(c)) c1 = c;
}

void fcon_step(Variant var, IWORD& iter, double& x, double f, double& c1, double& c2, LWORD& lbrk,
               FconState& s) {
  const double X = x, F = f;
  double xnew;
  const bool start = iter <= 0;
  const IWORD code = iter < INT64_MAX ? iter + 1 : iter;
  double FP = 0.0, F3 = 0.0;  // F of the previous point and of the one before

  if (start) {
    lbrk = ORVK_FALSE;
    s.XLO = 0.0;
    s.XHI = 1.0;
    s.XOLD = X;
    s.FOLD = F;
    if (var == Variant::kFcon) {
      s.XOLD2 = 0.0;
      s.FOLD2 = 0.0;
      s.DX = 0.0;
      s.DF = 0.0;
    }
    if (c1 == 0.0) {
      bool up = X <= 0.5;
      if (var == Variant::kFcon) up = up || std::fabs(X - 0.5) < host::ptiny();
      if (var == Variant::kFcon3x) up = up || std::fabs(X - 0.5) < host::rtiny();
      iter = code;
      x = up ? X + s.STEP : X - s.STEP;
      return;
    }
    xnew = X - c1 * F;
  } else {
    // Bracket bookkeeping.
    if (lbrk & 1) {
      if (negative(F) == negative(s.FHI)) {
        s.XHI = X;
        s.FHI = F;
      } else {
        s.XLO = X;
        s.FLO = F;
      }
    } else if (negative(F) == negative(s.FOLD)) {
      // Narrow on the assumption that F is monotone.
      if (std::fabs(F) > std::fabs(s.FOLD)) {
        if (X > s.XOLD) {
          s.XHI = s.XOLD;
          s.FHI = s.FOLD;
        } else {
          s.XLO = s.XOLD;
          s.FLO = s.FOLD;
        }
      } else if (X > s.XOLD) {
        s.XLO = X;
        s.FLO = F;
      } else {
        s.XHI = X;
        s.FHI = F;
      }
    } else {
      lbrk = ORVK_TRUE;
      if (X > s.XOLD) {
        s.XHI = X;
        s.FHI = F;
        if (iter == 1) {
          s.XLO = s.XOLD;
          s.FLO = s.FOLD;
        }
      } else {
        s.XLO = X;
        s.FLO = F;
        if (iter == 1) {
          s.XHI = s.XOLD;
          s.FHI = s.FOLD;
        }
      }
    }

    // History.
    F3 = s.FOLD2;
    FP = s.FOLD;
    const double DXP = s.DX, DFP = s.DF;
    s.XOLD2 = s.XOLD;
    s.FOLD2 = s.FOLD;
    s.DX = s.XOLD - X;
    s.DF = s.FOLD - F;
    s.XOLD = X;
    s.FOLD = F;
    const double DX = s.DX, DF = s.DF;
    const double fscale = std::fmax(std::fabs(FP), std::fabs(F));

    if (var == Variant::kFcon) {
      if (std::fabs(DF) < 1e-10) {
        iter = -1;
        return;
      }
      if (std::fabs(DF) < 1e-5 * fscale) {
        iter = code;
        x = 0.5 * (s.XLO + s.XHI);
        return;
      }
    }

    // Model update.  An unchanged F (DF = 0) gives no slope: the model is
    // kept, and without a model the next point bisects the bracket.
    bool kept = false;
    if (DF == 0.0) {
      kept = true;
      if (c1 == 0.0) {
        iter = code;
        x = 0.5 * (s.XLO + s.XHI);
        return;
      }
    } else if (c1 == 0.0) {
      secant_update(DX, DF, FP, F, c2, c1);
    } else if (var != Variant::kFcon && std::fabs(DF) < 1e-5 * fscale) {
      kept = true;
    } else if (std::fabs(DX) < 1e-8) {
      // keep C1 and C2
    } else {
      bool secant = iter == 1 || std::fabs(DFP) < 1e-5 * std::fmax(std::fabs(F3), std::fabs(FP)) ||
                    std::fabs(DXP) < 1e-8 ||
                    std::fabs(DFP + DF) < 1e-5 * std::fmax(std::fabs(DFP), std::fabs(DF)) ||
                    DFP == 0.0 || DFP + DF == 0.0;
      if (var == Variant::kFcon3x && !secant) {
        secant = std::fabs(DFP * (DFP + DF)) < 1e-10 * std::fabs(DXP) ||
                 std::fabs((DFP + DF) * DF) < 1e-10 * std::fabs(DX);
      }
      if (secant) {
        secant_update(DX, DF, FP, F, c2, c1);
      } else {
        const double q = var == Variant::kFcon3x
                             ? DXP / (DFP * (DFP + DF)) - DX / ((DFP + DF) * DF)
                             : (DXP / DFP - DX / DF) / (DFP + DF);
        const double l = DX / DF - (FP + F) * q;
        if (std::isfinite(q) && std::isfinite(l)) {
          c2 = q;
          c1 = l;
        }
      }
    }

    xnew = X - (c2 * F + c1) * F;
    if (var != Variant::kFcon && DF == 0.0) {
      xnew = X - c1 * F;
    } else if (negative(xnew - X) != negative(-F * DX / DF)) {
      // The model step goes against the secant: take the linear step.
      c2 = 0.0;
      if (var == Variant::kFcon || !kept) secant_update(DX, DF, 0.0, 0.0, 0.0, c1);
      xnew = X - c1 * F;
    }
  }

  // Safeguard: keep the new point inside the bracket.
  const bool brk = (lbrk & 1) != 0;
  if (xnew <= s.XLO) {
    if (brk) {
      x = X == s.XLO ? 0.75 * s.XLO + 0.25 * s.XHI : 0.75 * s.XLO + 0.25 * X;
      iter = code;
    } else {
      x = s.XLO;
      iter = (X == 0.0 && (var != Variant::kFcon || iter >= 2)) ? -2 : code;
    }
  } else if (xnew >= s.XHI) {
    if (brk) {
      x = X == s.XHI ? 0.75 * s.XHI + 0.25 * s.XLO : 0.75 * s.XHI + 0.25 * X;
      iter = code;
    } else {
      x = s.XHI;
      iter = (X == 1.0 && (var != Variant::kFcon || iter >= 2)) ? -3 : code;
    }
  } else {
    // Inside: take XNEW on a start call or after good progress, else keep it
    // a tenth of the bracket away from both ends (also when XNEW is not a
    // number).
    iter = code;
    bool take = false;
    if (!std::isnan(xnew)) {
      if (start) {
        take = true;
      } else if (var == Variant::kFcon3x && code >= 3) {
        take = std::fabs(F) < 0.5 * std::fmin(std::fabs(FP), std::fabs(F3));
      } else {
        take = std::fabs(F) < 0.5 * std::fabs(FP);
      }
    }
    if (take) {
      x = xnew;
    } else {
      const double w = s.XHI - s.XLO;
      if (xnew < s.XLO + 0.1 * w) {
        x = s.XLO + 0.1 * w;
      } else {
        x = std::fmin(xnew, s.XHI - 0.1 * w);
      }
    }
  }
}

}  // namespace
}  // namespace orvika
using namespace orvika;

// ORVK_FCON: one reverse-communication step towards a root of F on [0, 1].
//
//  ITER  (in/out) IWORD  0 (or less) starts a run, which returns ITER + 1;
//                        then the code of the previous call
//  X     (in/out) real   in: the point F belongs to; out: the next point
//  F     (in)     real   F(X)
//  C1    (in/out) real   slope dX/dF of the inverse model (first call: the
//                        caller's estimate, 0 for none)
//  C2    (in/out) real   curvature of the inverse model (normally 0 at first)
//  LBRK  (in/out) LWORD  a sign change of F has been seen
//  XOLD, FOLD, XOLD2, FOLD2, DX, DF, XLO, XHI, FLO, FHI (in/out) real: the
//                        previous points, the last step and the bracket
//  STEP  (in)     real   first move when C1 = 0
//
// Codes: > 0 request; -1 converged (two successive F differ by less than
// 1e-10, X at the point just evaluated); -2 / -3 root at the lower / upper
// end of [0, 1] (no sign change, the step points out of it while X is on
// it).  No work space.  Cost: O(1) per call.
// Method: inverse linear or quadratic interpolation X(F), kept inside a
// shrinking bracket.
// Cf. T. J. Dekker (1969) and R. P. Brent, Algorithms for Minimization
// without Derivatives, Prentice-Hall (1973), ch. 4.
extern "C" ORVK_API void ORVK_FCON(IWORD* ITER, double* X, const double* F, double* C1,
                                   double* C2, LWORD* LBRK, double* XOLD, double* FOLD,
                                   double* XOLD2, double* FOLD2, double* DX, double* DF,
                                   double* XLO, double* XHI, double* FLO, double* FHI,
                                   const double* STEP) {
  FconState s{*XOLD, *FOLD, *XOLD2, *FOLD2, *DX, *DF, *XLO, *XHI, *FLO, *FHI, *STEP};
  fcon_step(Variant::kFcon, *ITER, *X, *F, *C1, *C2, *LBRK, s);
}

// ORVK_FCON3X: as ORVK_FCON without a convergence code (the caller judges
// convergence from F): an unchanged F keeps the model instead of bisecting,
// two more guards protect the quadratic update, and a step is taken without
// the interior safeguard only when |F| fell below half of the two previous.
// Arguments as ORVK_FCON.  Codes: > 0 request; -2 / -3 root at the lower /
// upper end.  No work space.  Cost: O(1) per call.
extern "C" ORVK_API void ORVK_FCON3X(IWORD* ITER, double* X, const double* F, double* C1,
                                     double* C2, LWORD* LBRK, double* XOLD, double* FOLD,
                                     double* XOLD2, double* FOLD2, double* DX, double* DF,
                                     double* XLO, double* XHI, double* FLO, double* FHI,
                                     const double* STEP) {
  FconState s{*XOLD, *FOLD, *XOLD2, *FOLD2, *DX, *DF, *XLO, *XHI, *FLO, *FHI, *STEP};
  fcon_step(Variant::kFcon3x, *ITER, *X, *F, *C1, *C2, *LBRK, s);
}

// ORVK_FCON3: as ORVK_FCON3X with the plain progress test and no extra
// guards, its state in one array.
//
//  STATE (in/out) real(11) XOLD, FOLD, XOLD2, FOLD2, DX, DF, XLO, XHI, FLO,
//                          FHI, STEP; worked on in ORVK_DFCON during the call
//  LBRK  (in/out) LWORD    (the last argument here)
//  ITER, X, F, C1, C2      as ORVK_FCON
//
// Codes: > 0 request; -2 / -3 root at the lower / upper end.  No work space
// beyond STATE.  Cost: O(1) per call.
extern "C" ORVK_API void ORVK_FCON3(IWORD* ITER, double* X, const double* F, double* C1,
                                    double* C2, double* STATE, LWORD* LBRK) {
  ORVK_DFCON_BLOCK& b = ORVK_DFCON;
  b = ORVK_DFCON_BLOCK{STATE[0], STATE[1], STATE[2], STATE[3], STATE[4], STATE[5],
                       STATE[6], STATE[7], STATE[8], STATE[9], STATE[10]};
  FconState s{b.XOLD, b.FOLD, b.XOLD2, b.FOLD2, b.DX, b.DF, b.XLO, b.XHI, b.FLO, b.FHI, b.STEP};
  fcon_step(Variant::kFcon3, *ITER, *X, *F, *C1, *C2, *LBRK, s);
  const double out[11] = {b.XOLD, b.FOLD, b.XOLD2, b.FOLD2, b.DX, b.DF,
                          b.XLO,  b.XHI,  b.FLO,   b.FHI,   b.STEP};
  for (int i = 0; i < 11; ++i) STATE[i] = out[i];
}
