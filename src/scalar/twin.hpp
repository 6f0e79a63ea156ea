// Common machinery of the forward-mode derivative twins (G_ routines).
//
// A twin computes the values of its plain routine and, beside them, the
// directional derivatives of its active outputs for G_P directions.  The
// derivative object of an active real array V is column-major with the
// direction first: derivative of element i in direction k at word
// (i-1)*LD + k.  Intermediates keep their derivative vectors in static
// storage of G_PMAX entries, which is why the number of directions is
// limited; a call asking for more writes one list-directed line on unit 6
// and ends the process.
#pragma once

#include <cmath>
#include <string_view>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "orvika/orvika_types.h"

namespace orvika {

// Largest number of directions of the twins with static derivative
// vectors of 100 entries (all but G_RTO_CHK_DLOG and G_RTO_SLN).
inline constexpr IWORD kGPmax = 100;
// Limit of the two smooth-function twins with one-entry vectors.
inline constexpr IWORD kGPmaxScalar = 1;
// Fixed leading dimension of the derivative arrays of G_ORVK_ACCITR and
// G_ORVK_NCONV, and of the static vectors of scalar intermediates passed
// from one twin to another.
inline constexpr IWORD kGLd = 100;

// Limit messages: mixed case in most twins, upper case in the twins of the
// scalar acceleration and of the Broyden-type update.
inline constexpr std::string_view kGLimitText = "Parameter g_p_ is greater than g_pmax_";
inline constexpr std::string_view kGLimitTextUpper = "PARAMETER G_P_ IS GREATER THAN G_PMAX_";

// Entry test of every twin: when G_P exceeds G_PMAX, writes " TEXT" as one
// list-directed record on unit 6 and stops the process (no stop code).
// G_P = G_PMAX is accepted.  Call before any argument is changed:
//   if (!g_check_limit(g_p, kGPmax)) return;
// Returns true when G_P is within the limit; false only when a replacement
// stop hook returned, and the twin must then return at once, changing
// nothing (its static vectors cannot hold G_P directions).
inline bool g_check_limit(IWORD g_p, IWORD g_pmax, std::string_view text = kGLimitText) {
  if (g_p <= g_pmax) return true;
  Rec r;
  r.list_text(text);
  write_rec(6, r);
  stop("");
  return false;
}

// Number of directions the derivative loops run over (0 when G_P <= 0).
inline IWORD g_dirs(IWORD g_p) { return g_p > 0 ? g_p : 0; }

// Weights of the operands of max(a, b) / min(a, b) in the derivative: the
// chosen operand gets 1, the other 0, each 0.5 at a tie.
struct GPick {
  double wa, wb;
};
inline GPick g_pick_max(double a, double b) {
  if (a > b) return {1.0, 0.0};
  if (a < b) return {0.0, 1.0};
  return {0.5, 0.5};
}
inline GPick g_pick_min(double a, double b) {
  if (a < b) return {1.0, 0.0};
  if (a > b) return {0.0, 1.0};
  return {0.5, 0.5};
}

// Factor of the derivative of |v|: +1 for v >= 0 (zero included), -1 below.
inline double g_abs_sign(double v) { return v >= 0.0 ? 1.0 : -1.0; }

// Factor of the derivative of SIGN(a, b) with respect to a: sgn(a)*sgn(b),
// 0 when a or b is 0.
inline double g_sign_factor(double a, double b) {
  if (a == 0.0 || b == 0.0) return 0.0;
  return ((a > 0.0) == (b > 0.0)) ? 1.0 : -1.0;
}

// W * G for the weight W of an operand of a choice (max, min, a bound, a
// sign transfer, the square root at 0): an operand of weight 0 is not
// chosen and contributes nothing, also when its derivative is not finite
// (0 * Inf would give NaN).  Equal to W * G whenever G is finite.
inline double g_weighted(double w, double g) {
  return (w == 0.0 && !std::isfinite(g)) ? 0.0 : w * g;
}

// G(1..P) := 0.
inline void g_clear(IWORD p, double* g) {
  for (IWORD k = 0; k < p; ++k) g[k] = 0.0;
}
// D(1..P) := S(1..P).
inline void g_copy(IWORD p, const double* s, double* d) {
  for (IWORD k = 0; k < p; ++k) d[k] = s[k];
}

}  // namespace orvika
