// Internal routines shared by the tear-stream accelerators.
#pragma once

#include "frame/views.hpp"
#include "orvika/orvika_types.h"
#include "orvika/tearconv_accel.h"

namespace orvika {

// Remainder of A divided by B, truncating toward zero (B != 0); safe for
// B = -1, where the quotient could overflow.
inline IWORD trunc_rem(IWORD a, IWORD b) { return (b == 1 || b == -1) ? 0 : a % b; }

// Schedule test of the Wegstein accelerator: IOUT = 0 accelerates in
// iteration ITER, nonzero substitutes.  After the wait NW every cycle of
// NDIRECT + NACCEL iterations starts with NACCEL accelerated ones; an empty
// cycle substitutes.
void ACCTST(IWORD iter, IWORD nw, IWORD ndirect, IWORD& iout, IWORD naccel);

// Damped Broyden update of the inverse Jacobian H(LDA, N) from the last
// step S and the change F - FOLD, then S := -H*F, XOLD := X, FOLD := F.
// IFLAG <= 0 becomes 4 and skips the update; a zero step skips it too.
void NCONV2(IWORD lda, IWORD n, const double* x, const double* f, double* s, double* xold,
            double* fold, double* h, IWORD& iflag);

// ---- Pieces of the Broyden updates of an inverse Jacobian -------------------
// H is N x N by columns with leading dimension LD; vectors have N elements.

// H := -I.
inline void broyden_reset(double* h, IWORD ld, IWORD n) {
  Mat1<double> H(h, ld);
  for (IWORD j = 1; j <= n; ++j) {
    for (IWORD i = 1; i <= n; ++i) H(i, j) = 0.0;
    H(j, j) = -1.0;
  }
}

// Dot products of one update: SS = s's, SUF = u'f, SUY = u'y.
struct BroydenSums {
  double ss = 0.0, suf = 0.0, suy = 0.0;
};

// R := H*y - s, then u := H'*s written over y (Y holds y on entry and u on
// exit); F is the residual of the coming step.
inline BroydenSums broyden_vectors(const double* h, IWORD ld, IWORD n, const double* s, double* y,
                                   double* r, const double* f) {
  Mat1<const double> H(h, ld);
  Vec1<const double> S(s), F(f);
  Vec1<double> Y(y), R(r);
  BroydenSums sums;
  for (IWORD i = 1; i <= n; ++i) {
    double hy = 0.0;
    for (IWORD j = 1; j <= n; ++j) hy += H(i, j) * Y(j);
    R(i) = hy - S(i);
    sums.ss += S(i) * S(i);
  }
  for (IWORD j = 1; j <= n; ++j) {
    double u = 0.0;
    for (IWORD i = 1; i <= n; ++i) u += H(i, j) * S(i);
    sums.suf += u * F(j);
    sums.suy += u * Y(j);
    Y(j) = u;
  }
  return sums;
}

// H := H - C*r*u'.
inline void broyden_rank_one(double* h, IWORD ld, IWORD n, double c, const double* r,
                             const double* u) {
  Mat1<double> H(h, ld);
  Vec1<const double> R(r), U(u);
  for (IWORD j = 1; j <= n; ++j) {
    const double cu = c * U(j);
    for (IWORD i = 1; i <= n; ++i) H(i, j) -= R(i) * cu;
  }
}

// DX := -H*F.
inline void broyden_step(const double* h, IWORD ld, IWORD n, const double* f, double* dx) {
  Mat1<const double> H(h, ld);
  Vec1<const double> F(f);
  Vec1<double> DX(dx);
  for (IWORD i = 1; i <= n; ++i) DX(i) = 0.0;
  for (IWORD j = 1; j <= n; ++j) {
    const double fj = F(j);
    for (IWORD i = 1; i <= n; ++i) DX(i) -= H(i, j) * fj;
  }
}

}  // namespace orvika
