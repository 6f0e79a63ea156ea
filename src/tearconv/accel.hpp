// Internal routines shared by the tear-stream accelerators.
#pragma once

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

}  // namespace orvika
