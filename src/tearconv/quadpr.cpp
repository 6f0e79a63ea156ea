// ORVK_QUADPR and its binary128 twin QUADPR16.
#include "tearconv/quadpr.hpp"

#include "orvika/tearconv_newton.h"

/* ORVK_QUADPR: minimise q(x) = 1/2 x'Hx - G'x subject to XLO <= x <= XUP.
 *
 * Active-set method (see quadpr.hpp).  Arguments, all by address:
 *   N      in      IWORD           number of variables; N < 1: NFREE = 0, FOBJ = 0.
 *   H      in/out  real (LDH, N)   symmetric matrix given by its upper triangle and
 *                                  diagonal (never written); on exit the strict lower
 *                                  triangle holds, by position, the unit factor L of the
 *                                  free block (columns 1..NFREE) and the multipliers of
 *                                  the non-free variables (rows NFREE+1..N).
 *   LDH    in      IWORD           leading dimension, >= N (otherwise NFREE = 0,
 *                                  FOBJ = NaN and nothing else is written).
 *   G      in      real (N)        linear term.
 *   XLO    in      real (N)        lower bounds.
 *   XUP    in      real (N)        upper bounds.
 *   X      out     real (N)        the solution.
 *   FOBJ   out     real            q(X); NaN after a NaN in G.
 *   IPERM  out     IWORD (N)       variable at each position; IPERM(1..NFREE) free.
 *   NFREE  out     IWORD           number of free variables.
 *   W      work    real (3N)       on exit W(k) = (H*X - G)(IPERM(k)), 0 for k <= NFREE;
 *                                  W(2N+k) = D(k) for k <= NFREE, the reduced curvature
 *                                  (Schur-complement diagonal) for k > NFREE.
 * A NaN in G stops the routine at once: W(1..i-1) = -G(1..i-1), FOBJ = NaN and
 * X, IPERM, NFREE keep their entry values.  At most max(1000, 3N) - 1 moves.
 * Cost: O(N^3) in the worst pass sequence without removals (N^3/3 multiply-adds
 * when every variable joins), O(N*m) per removal.
 * Reference: Gill, Golub, Murray, Saunders, Math. Comp. 28 (1974) for the update. */
extern "C" ORVK_API void ORVK_QUADPR(const IWORD* N, double* H, const IWORD* LDH, const double* G,
                                     const double* XLO, const double* XUP, double* X, double* FOBJ,
                                     IWORD* IPERM, IWORD* NFREE, double* W) {
  orvika::quadpr_solve<double>(*N, H, *LDH, G, XLO, XUP, X, *FOBJ, IPERM, *NFREE, W);
}

namespace orvika {

#ifdef ORVK_HAVE_QREAL
void QUADPR16(IWORD n, QREAL* h, IWORD ldh, const QREAL* g, const QREAL* xlo, const QREAL* xup,
              QREAL* x, QREAL& fobj, IWORD* iperm, IWORD& nfree, QREAL* w) {
  quadpr_solve<QREAL>(n, h, ldh, g, xlo, xup, x, fobj, iperm, nfree, w);
}
#endif

}  // namespace orvika
