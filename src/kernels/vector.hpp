// Vector kernels without an export: shift, sum, reciprocal, largest
// magnitude, strided copy, and the 2-norm formed scaled.
#pragma once

#include <cmath>

#include "orvika/kernels_vector.h"

namespace orvika {

// IV(IOFF+i) += K, i = 1..N.
void VIADDK(IWORD k, IWORD n, IWORD ioff, IWORD* iv);
// SUM = X(IOFF+1) + ... + X(IOFF+N); 0 when N <= 0.
void VRSUM(IWORD n, IWORD ioff, const double* x, double& sum);
// Y(i) = 1/X(i) when |X(i)| > 1e-20, else 0 (elements 1..N).
void VRINV(IWORD n, const double* x, double* y);
// Largest magnitude AMAX of the segment, the last position IMAX attaining
// it, and the NTIES positions up to IMAX that attain it (in ITIES).
// An empty segment gives AMAX = 0, NTIES = 0, IMAX = IOFF.
void VRAMAX(IWORD n, IWORD ioff, const double* x, IWORD& nties, IWORD* ities, IWORD& imax,
            double& amax);
// Y(IY + (i-1)*INCY) = X(IX + (i-1)*INCX): IX and IY are start positions.
void VRCPYS(IWORD n, IWORD ix, IWORD incx, const double* x, IWORD iy, IWORD incy, double* y);

// sqrt(sum of v(i)^2, i = 1..N) with every term divided by VMAX > 0, the
// largest |v(i)|: no square leaves the range of doubles.  The fallback of a
// sum of squares that overflowed or underflowed.
template <class Term>
double scaled_norm(IWORD n, double vmax, Term v) {
  double s = 0.0;
  for (IWORD i = 1; i <= n; ++i) {
    const double t = v(i) / vmax;
    s += t * t;
  }
  return vmax * std::sqrt(s);
}

}  // namespace orvika
