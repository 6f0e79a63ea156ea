// BNDSTP: step factor and new point of ORVK_NSOLVE2, with a smooth approach
// to the bounds.
#include <cmath>

#include "nsolve/nsolve.hpp"

namespace orvika {

void BNDSTP(IWORD MODE, IWORD N, IWORD IBOUND, const double* X, double& LAMBDA, IWORD ISCAL,
            const double* CSCALE, const double* DX, double* XNEW, const double* DXMAX,
            const double* XLOW, const double* XUPP) {
  if (MODE == 1) {
    if (IBOUND == 0) {
      LAMBDA = 1.0;
      return;
    }
    double L = 1.0;
    for (IWORD i = 0; i < N; ++i) {
      const double d = ISCAL > 0 ? std::fabs(DX[i] * CSCALE[i]) : std::fabs(DX[i]);
      if (L * d > DXMAX[i]) L = DXMAX[i] / d;
    }
    LAMBDA = std::fmax(L, 0.125);
    return;
  }
  if (MODE != 2) return;
  for (IWORD i = 0; i < N; ++i) {
    double e = LAMBDA * DX[i];
    if (ISCAL > 0) e *= CSCALE[i];
    double step;
    if (IBOUND == 0) {
      step = std::copysign(std::fmin(DXMAX[i], std::fabs(e)), e);
    } else if (e > 0.0 && X[i] < XUPP[i]) {
      const double h = std::fmin(DXMAX[i], 0.99 * (XUPP[i] - X[i]));
      if (e > 50.0 * h)
        step = h;
      else if (e > 0.8 * h)
        step = h * (1.0 - 0.2 * std::exp(0.8 - e / h));
      else
        step = e;
    } else if (e < 0.0 && X[i] > XLOW[i]) {
      const double m = std::fmin(DXMAX[i], 0.99 * (X[i] - XLOW[i]));
      if (-e > 50.0 * m)
        step = -m;
      else if (-e > 0.8 * m)
        step = -m * (1.0 - 0.2 * std::exp(0.8 + e / m));
      else
        step = e;
    } else {
      step = e;
    }
    XNEW[i] = std::fmax(XLOW[i], std::fmin(X[i] + step, XUPP[i]));
  }
}

}  // namespace orvika
