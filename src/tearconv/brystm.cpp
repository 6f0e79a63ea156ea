// ORVK_BRYSTM, ORVK_NCONV and NCONV2: the Broyden tear driver and its
// inverse-Jacobian update and step.
//
// H approximates the inverse Jacobian of the residual D = G(X) - X; the
// step is S = -H*D, so that H = -I gives plain substitution.  After each
// pass H is updated by a damped rank-one Broyden formula from the previous
// step s and the change y of D:
//   H := H - c*(H*y - s)*(H'*s)',  c = theta/(s's + theta*s'HD),
// theta = 1, or s's/(s's - s'HD) when s'HD < 0 (Powell's damping).
// Components with missing values (magnitude above 5e34) stay out of the
// update and take a substitution step.
//
// Reference: C. G. Broyden, A class of methods for solving nonlinear
// simultaneous equations, Math. Comp. 19 (1965) 577-593.

#include <cmath>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "orvika/kernels_vector.h"
#include "tearconv/accel.hpp"

namespace orvika {
namespace {

constexpr double kMissing = 5e34;  // magnitudes above this count as missing
constexpr double kCmax = 5e34;     // largest update coefficient

inline bool missing(double v) { return std::fabs(v) > kMissing; }

}  // namespace

void NCONV2(IWORD lda, IWORD n, const double* x, const double* f, double* s, double* xold,
            double* fold, double* h, IWORD& iflag) {
  if (n <= 0 || lda < n) {
    if (iflag <= 0) iflag = 4;
    return;
  }
  Vec1<const double> X(x), F(f);
  Vec1<double> XOLD(xold), FOLD(fold);

  if (iflag <= 0) {
    iflag = 4;
  } else {
    // y = F - FOLD over FOLD; r = H*y - s in XOLD, then u = H'*s in FOLD.
    for (IWORD j = 1; j <= n; ++j) FOLD(j) = F(j) - FOLD(j);
    const BroydenSums sums = broyden_vectors(h, lda, n, s, fold, xold, f);
    const double ss = sums.ss, shf = sums.suf;
    double theta = 1.0;
    if (shf < 0.0) theta = std::fmax(0.1, ss / (ss - shf));
    const double denom = ss + theta * shf;
    const double c = (ss > 0.0 && denom != 0.0) ? theta / denom : 0.0;
    if (ss > 0.0 && std::isfinite(c)) broyden_rank_one(h, lda, n, c, xold, fold);  // else H stays
  }

  broyden_step(h, lda, n, f, s);
  for (IWORD i = 1; i <= n; ++i) {
    XOLD(i) = X(i);
    FOLD(i) = F(i);
  }
}

}  // namespace orvika

using namespace orvika;

// ORVK_NCONV: damped Broyden update of the inverse Jacobian and the step.
//
//  N     (in)              size (N <= 0: only IFLAG is set)
//  X     (in)     real(N)  current point
//  D     (in)     real(N)  residual G(X) - X (not changed)
//  S     (in/out) real(N)  in: the step of the previous call (IFLAG > 0);
//                          out: the new step -H*D; a component whose X or D
//                          is missing gets S = D
//  XOLD  (out)    real(N)  X
//  DOLD  (in/out) real(N)  in: D of the previous call; out: D
//  H     (in/out) real(N,N) inverse-Jacobian approximation, by columns
//  IFLAG (in/out)          < 0: H := -I; 0: no update; > 0: update.
//                          A value <= 0 becomes 4.
//
// H is reset to -I when the damping factor is below 0.2, the denominator
// is 0 or the coefficient exceeds 5e34.  Cost: O(N^2).
extern "C" ORVK_API void ORVK_NCONV(const IWORD* N, const double* X, const double* D, double* S,
                                    double* XOLD, double* DOLD, double* H, IWORD* IFLAG) {
  const IWORD n = *N;
  Vec1<const double> x(X), d(D);
  Vec1<double> s(S), xold(XOLD), dold(DOLD);
  Mat1<double> h(H, n > 0 ? n : 1);

  if (*IFLAG <= 0) {
    if (*IFLAG < 0 && n > 0) broyden_reset(H, n, n);
    *IFLAG = 4;
    if (n <= 0) return;
  } else {
    if (n <= 0) return;
    // s and y = D - DOLD (in DOLD), zero for components with a missing value.
    for (IWORD j = 1; j <= n; ++j) {
      if (missing(s(j)) || missing(d(j)) || missing(dold(j))) {
        s(j) = 0.0;
        dold(j) = 0.0;
      } else {
        dold(j) = d(j) - dold(j);
      }
    }
    // r = H*y - s in XOLD, u = H'*s in DOLD; s'HD over every component.
    const BroydenSums sums = broyden_vectors(H, n, n, S, DOLD, XOLD, D);
    const double ss = sums.ss, shd = sums.suf;
    double theta = 1.0;
    if (shd < 0.0) theta = std::fmax(0.0, ss / (ss - shd));
    const double denom = ss + theta * shd;
    const double c = denom != 0.0 ? theta / denom : 0.0;
    if (theta < 0.2 || denom == 0.0 || !(c <= kCmax)) {
      broyden_reset(H, n, n);
    } else {
      broyden_rank_one(H, n, n, c, XOLD, DOLD);
    }
  }

  // Step S = -H*D, components with a missing X or D set aside.
  for (IWORD i = 1; i <= n; ++i) {
    xold(i) = x(i);
    dold(i) = d(i);
    s(i) = 0.0;
  }
  for (IWORD j = 1; j <= n; ++j) {
    if (missing(x(j)) || missing(d(j))) continue;
    const double dj = d(j);
    for (IWORD i = 1; i <= n; ++i) s(i) -= h(i, j) * dj;
  }
  for (IWORD j = 1; j <= n; ++j) {
    if (missing(x(j)) || missing(d(j))) s(j) = d(j);
  }
}

// ORVK_BRYSTM: Broyden's method for a tear block, in the host's 25-argument
// tear-block layout.
//
//  X      (in/out) real(N)  current point; the next point on return
//  XOLD   (out)    real(N)  X at entry
//  N      (in)              number of tear variables
//  DX     (in)     real(N)  G(X) - X
//  DXOLD  (in/out) real(N)  in: DX of the previous call; out: DX
//  KACCEL (out)             1 when ITER > IWAIT or OPT(6) = 2
//  KSTEP  (out)             2
//  OPT    (in)     int(6+)  OPT(1) print level (>= 8 prints H on REPUNIT);
//                           OPT(6) mode: <= 1 H starts at -I and updates
//                           begin after IWAIT; > 1 H from the caller,
//                           updates from ITER = 2
//  ITER   (in)              outer iteration number, from 1
//  W      (in/out) real(N*N+N) H followed by the last step; keep between calls
//  IFLAG  (work)            update switch for ORVK_NCONV
//  IOPT   (in)     int(2+)  IOPT(2) = IWAIT
//  XLOW   (in)     real(N)  lower bounds: a step to or below XLOW(j) stops
//                           at XLOW + 0.001*(XOLD - XLOW)
//
// Cost: O(N^2).
extern "C" ORVK_API void ORVK_BRYSTM(double* X, double* XOLD, const IWORD* N, const double* DX,
                                     double* DXOLD, const void*, const void*, IWORD* KACCEL,
                                     IWORD* KSTEP, const IWORD* OPT, const void*, const IWORD* ITER,
                                     double* W, const void*, IWORD* IFLAG, const void*, const void*,
                                     const void*, const void*, const void*, const void*,
                                     const void*, const IWORD* IOPT, const void*,
                                     const double* XLOW) {
  const IWORD n = *N > 0 ? *N : 0;
  const IWORD it = *ITER;
  const IWORD iwait = IOPT[1];
  const IWORD mode = OPT[5];
  const double rmisval = host::rmisval();
  Vec1<double> x(X), xold(XOLD);
  Vec1<const double> xlow(XLOW);
  double* h = W;
  double* s = W + n * n;

  if (it <= 1) {
    *IFLAG = 0;
    if (mode <= 1) broyden_reset(h, n > 0 ? n : 1, n);
  } else {
    *IFLAG = (mode > 1 || it > iwait) ? 1 : 0;
  }

  ORVK_NCONV(N, X, DX, s, XOLD, DXOLD, h, IFLAG);

  Vec1<const double> S(s);
  for (IWORD j = 1; j <= n; ++j) {
    const double xo = xold(j);
    const double xnew = (xo == rmisval) ? S(j) : xo + S(j);
    if (xnew <= xlow(j)) {
      x(j) = (xo != rmisval && xo > xlow(j)) ? xlow(j) + 0.001 * (xo - xlow(j)) : xlow(j);
    } else {
      x(j) = xnew;
    }
  }

  if (it > iwait || mode == 2) *KACCEL = 1;
  *KSTEP = 2;

  if (OPT[0] >= 8) {
    Rec r;
    r.X(1).A("BROYDEN H MATRIX");
    write_rec(host::repunit(), r);
    static constexpr IWORD kName[2] = {a4word("BRYS"), a4word("TM")};
    static constexpr IWORD kTitle[3] = {a4word("JACO"), a4word("BIAN"), a4word("    ")};
    ORVK_NAPRNT(h, &n, &n, &n, kName, kTitle);
  }
}
