// G_ORVK_ROOTFM: derivative twin of the bracketing root finder ORVK_ROOTFM.
//
// It runs the same search and bracketing steps (with five bound and
// bracket tests made without the tolerance margins of the plain routine)
// and carries, beside X, F and the 16 words of the record W, their
// directional derivatives along G_P directions, so that the caller obtains
// the sensitivity of the root to whatever its F, bounds, step and target
// depend on.  The derivative of X is that of the formula that produced the
// last point: after model steps on a smooth F it approaches
// dx/dp = -(F_p - W(6)_p) / F_x; after bisection it is the mean of the ends'.

#include "scalar/gnum.hpp"
#include "scalar/roots.hpp"
#include "scalar/twin.hpp"

using namespace orvika;

// G_ORVK_ROOTFM: one reverse-communication step of ORVK_ROOTFM with
// derivatives.
//
//  G_P   (in)     IWORD   number of directions, at most 100 (0 or less:
//                         values only, no derivative argument touched)
//  ICODE (in/out) IWORD   as ORVK_ROOTFM
//  X     (in/out) real    as ORVK_ROOTFM; G_X (in/out) real(G_P) its
//                         derivatives (LDG_X passed, not read)
//  F     (in/out) real    as ORVK_ROOTFM; G_F (in/out) real(G_P) the
//                         derivatives of F at X, set by the caller before
//                         each call (LDG_F passed, not read)
//  W     (in/out) real(16) record of ORVK_ROOTFM; G_W (in/out) real(LDG_W,16)
//                         G_W(k, i) = derivative of W(i) in direction k
//  LDG_W (in)     IWORD   leading dimension of G_W, at least G_P
//
// Codes as ORVK_ROOTFM, except that the search refuses X outside [W(1),
// W(2)] exactly, the second bound hit gives -3 / -2 for a best point at or
// beyond W(2) / W(1), the bracketing phase refuses X at or beyond an end of
// the bracket, only code 3 takes the current point as third point, and model
// points need only lie strictly inside the bracket; -4 also when LDG_W <
// G_P, with nothing changed.  G_P > 100 writes
// " Parameter g_p_ is greater than g_pmax_" on unit 6 and stops the process.
// Work: static-free; derivative copies on the stack.  Cost: O(G_P) per call.
extern "C" ORVK_API void G_ORVK_ROOTFM(const IWORD* g_p_, IWORD* ICODE, double* X, double* g_X,
                                       const IWORD* ldg_X, double* F, double* g_F,
                                       const IWORD* ldg_F, double* W, double* g_W,
                                       const IWORD* ldg_W) {
  const IWORD gp = *g_p_;
  if (gp > kGPmax) {
    g_check_limit(gp, kGPmax);
    return;  // only when a replacement stop hook returns
  }
  if (*ICODE <= 0) {
    *ICODE = 0;
    return;
  }
  const IWORD np = g_dirs(gp);
  const IWORD ld = np > 0 ? *ldg_W : 0;
  if (ld < np) {
    // Columns of G_W would overlap (and reach past its end): refused like
    // an argument out of range, with nothing changed.
    *ICODE = -4;
    return;
  }
  GNum wk[16];
  for (int i = 0; i < 16; ++i) wk[i] = GNum::load(W[i], g_W + i * ld, np);
  GNum x = GNum::load(*X, g_X, np);
  GNum f = GNum::load(*F, g_F, np);
  RootfmWrite wr;
  const IWORD code = rootfm_core(*ICODE, x, f, wk, wr);
  if (wr != RootfmWrite::kNone) {
    for (int i = 6; i < 16; ++i) {
      W[i] = wk[i].v;
      wk[i].store_g(g_W + i * ld, np);
    }
    *X = x.v;
    x.store_g(g_X, np);
    if (wr == RootfmWrite::kXF) {
      *F = f.v;
      f.store_g(g_F, np);
    }
  }
  *ICODE = code;
}
