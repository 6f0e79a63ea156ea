// ORVK_NEWTDX: bounded Gauss-Newton step through the box-constrained QP.
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>

#include "frame/hostdata.hpp"
#include "frame/views.hpp"
#include "orvika/tearconv_newton.h"
#include "tearconv/quadpr.hpp"

namespace {

using orvika::Mat1;
using orvika::quadpr_detail::dot;
using orvika::Vec1;

// Sum of A(k)*B(k), each term divided by DWT(k) when DWT is given.
double wdot(const double* a, const double* b, IWORD n, const double* dwt) {
  if (!dwt) return dot(a, b, n);
  double s = 0.0;
  for (IWORD k = 0; k < n; ++k) s += a[k] * b[k] / dwt[k];
  return s;
}

// H = J'J, or J' diag(1/DWT) J when DWT is given; upper triangle computed
// column by column and mirrored.
void normal_matrix(IWORD n, const double* ajac, double* h, const double* dwt) {
  for (IWORD j = 0; j < n; ++j) {
    const double* aj = ajac + j * n;
    for (IWORD i = 0; i <= j; ++i) {
      const double s = wdot(ajac + i * n, aj, n, dwt);
      h[i + j * n] = s;
      h[j + i * n] = s;
    }
  }
}

// G = -J'F, or -J' diag(1/DWT) F when DWT is given.
void gradient(IWORD n, const double* ajac, const double* f, double* g, const double* dwt) {
  for (IWORD i = 0; i < n; ++i) g[i] = -wdot(ajac + i * n, f, n, dwt);
}

#ifdef ORVK_HAVE_QREAL
// Scratch of the binary128 solve: H (N*N), G, DLO, DHI, DX (N each) and the
// solver's work (5N), in one block owned for the duration of a call.
// Returns an empty pointer when the block cannot be had.
std::unique_ptr<QREAL[]> qscratch(IWORD n) {
  const std::size_t nn = static_cast<std::size_t>(n);
  const std::size_t maxw = std::numeric_limits<std::size_t>::max() / sizeof(QREAL);
  if (nn > maxw / nn || nn * nn > maxw - 9 * nn) return nullptr;
  return std::unique_ptr<QREAL[]>(new (std::nothrow) QREAL[nn * nn + 9 * nn]);
}
#endif

}  // namespace

/* ORVK_NEWTDX: bounded Newton step for N equations F(X) = 0 in N variables.
 *
 * Forms the linearised least-squares problem min 1/2 sum_k (F + J*d)_k^2 / w_k over
 * the box XLOW - X <= d <= XHIGH - X as the QP min 1/2 d'Hd - G'd (H = J'W^-1 J,
 * G = -J'W^-1 F) and solves it with ORVK_QUADPR, or in binary128 with QUADPR16
 * when the host word EXTPRC (VLK_DBGOUT word 71) is positive.
 * Arguments, all by address:
 *   N      in      IWORD          number of variables and equations; N <= 0: NFREE = 0.
 *   X      in      real (N)       current point.
 *   F      in      real (N)       residuals at X.
 *   DX     out     real (N)       the step.
 *   XLOW   in      real (N)       lower bounds of the variables.
 *   XHIGH  in      real (N)       upper bounds of the variables.
 *   DLO    out     real (N)       XLOW - X.
 *   DHI    out     real (N)       XHIGH - X.
 *   AJAC   in      real (N, N)    Jacobian by columns, AJAC(k,i) = dF(k)/dX(i).
 *   H      out     real (N, N)    normal matrix: upper triangle and diagonal kept; the
 *                                 strict lower triangle holds the QP factor on the double
 *                                 path and the mirror of the upper one on the binary128 path.
 *   G      out     real (N)       gradient term -J'W^-1 F.
 *   IPERM  out     IWORD (N)      QP positions; IPERM(1..NFREE) free variables.
 *   NFREE  out     IWORD          number of variables the QP leaves free.
 *   W      work    real (3N)      QP work (double path).
 *   MODE   in      IWORD          <= 0 unweighted; 1 compute DWT then weight; >= 2 weight
 *                                 with the DWT given.
 *   DWT    in/out  real (N)       equation weights (out when MODE = 1; unused when MODE <= 0).
 *                                 MODE = 1 sets DWT(i) = max(1e-10, max_j |(J'J)(i,j)|).
 * A NaN in G gives DX = 0, NFREE = 0, IPERM = 1..N without solving.  When the binary128
 * scratch (N^2 + 9N QREALs, released before return) cannot be allocated the double
 * path is taken.
 * Cost: N^3/2 multiply-adds for H (N^3 with MODE = 1) plus the QP. */
extern "C" ORVK_API void ORVK_NEWTDX(const IWORD* N, const double* X, const double* F, double* DX,
                                     const double* XLOW, const double* XHIGH, double* DLO,
                                     double* DHI, const double* AJAC, double* H, double* G,
                                     IWORD* IPERM, IWORD* NFREE, double* W, const IWORD* MODE,
                                     double* DWT) {
  const IWORD n = *N;
  const IWORD extprc = orvika::host::extprc();
  if (n <= 0) {
    *NFREE = 0;
    return;
  }
  const IWORD mode = *MODE;
  const Vec1<const double> x(X, n), xlow(XLOW, n), xhigh(XHIGH, n), g(G, n);
  const Vec1<double> dx(DX, n), dlo(DLO, n), dhi(DHI, n), dwt(DWT, n);
  const Vec1<IWORD> iperm(IPERM, n);
  const Mat1<const double> h(H, n);

  if (mode == 1) {
    normal_matrix(n, AJAC, H, nullptr);
    for (IWORD i = 1; i <= n; ++i) {
      double big = 1e-10;
      for (IWORD j = 1; j <= n; ++j) {
        const double a = std::fabs(h(i, j));
        if (a > big) big = a;
      }
      dwt(i) = big;
    }
  }
  for (IWORD i = 1; i <= n; ++i) {
    dlo(i) = xlow(i) - x(i);
    dhi(i) = xhigh(i) - x(i);
  }
  const double* weights = mode >= 1 ? DWT : nullptr;
  gradient(n, AJAC, F, G, weights);
  normal_matrix(n, AJAC, H, weights);

  // A NaN gradient has no meaningful step: return the zero step with every
  // variable non-free rather than whatever the arrays held.
  for (IWORD i = 1; i <= n; ++i) {
    if (std::isnan(g(i))) {
      for (IWORD k = 1; k <= n; ++k) {
        dx(k) = 0.0;
        iperm(k) = k;
      }
      *NFREE = 0;
      return;
    }
  }

#ifdef ORVK_HAVE_QREAL
  if (extprc > 0) {
    std::unique_ptr<QREAL[]> scratch = qscratch(n);
    if (scratch) {
      QREAL* qh = scratch.get();
      QREAL* qg = qh + n * n;
      QREAL* qlo = qg + n;
      QREAL* qhi = qlo + n;
      QREAL* qx = qhi + n;
      QREAL* qw = qx + n;
      for (IWORD i = 0; i < n; ++i) {
        qg[i] = G[i];
        qlo[i] = DLO[i];
        qhi[i] = DHI[i];
      }
      for (IWORD k = 0; k < n * n; ++k) qh[k] = H[k];
      QREAL qobj = 0;
      orvika::QUADPR16(n, qh, n, qg, qlo, qhi, qx, qobj, IPERM, *NFREE, qw);
      for (IWORD i = 0; i < n; ++i) DX[i] = static_cast<double>(qx[i]);
      return;
    }
  }
#else
  (void)extprc;
#endif
  double obj = 0.0;
  orvika::quadpr_solve<double>(n, H, n, G, DLO, DHI, DX, obj, IPERM, *NFREE, W);
}
