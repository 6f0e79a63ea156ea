// Vector kernels over segments X(IOFF+1..IOFF+N) of the caller's arrays.
//
// The reductions keep eight independent partial sums so that the compiler
// can vectorise them without reassociating a single running sum; callers do
// not depend on the last bits of a sum.
#include "kernels/vector.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace orvika {
namespace {

constexpr int kLanes = 8;

// Sum of f(i) for i = 0..n-1 in eight lanes.
template <class F>
inline double lane_sum(IWORD n, F f) {
  double acc[kLanes] = {};
  IWORD i = 0;
  for (; i + kLanes <= n; i += kLanes)
    for (int j = 0; j < kLanes; ++j) acc[j] += f(i + j);
  double tail = 0.0;
  for (; i < n; ++i) tail += f(i);
  return ((acc[0] + acc[4]) + (acc[1] + acc[5])) + ((acc[2] + acc[6]) + (acc[3] + acc[7])) + tail;
}

}  // namespace

void VIADDK(IWORD k, IWORD n, IWORD ioff, IWORD* iv) {
  IWORD* v = iv + ioff;
  for (IWORD i = 0; i < n; ++i) v[i] += k;
}

void VRSUM(IWORD n, IWORD ioff, const double* x, double& sum) {
  const double* v = x + ioff;
  sum = n > 0 ? lane_sum(n, [v](IWORD i) { return v[i]; }) : 0.0;
}

void VRINV(IWORD n, const double* x, double* y) {
  for (IWORD i = 0; i < n; ++i) y[i] = std::fabs(x[i]) > 1e-20 ? 1.0 / x[i] : 0.0;
}

void VRAMAX(IWORD n, IWORD ioff, const double* x, IWORD& nties, IWORD* ities, IWORD& imax,
            double& amax) {
  if (n < 1) {
    amax = 0.0;
    nties = 0;
    imax = ioff;
    return;
  }
  amax = std::fabs(x[ioff]);
  imax = ioff + 1;
  for (IWORD i = 2; i <= n; ++i) {
    double a = std::fabs(x[ioff + i - 1]);
    if (a >= amax) {
      amax = a;
      imax = ioff + i;
    }
  }
  nties = 0;
  for (IWORD p = ioff + 1; p <= imax; ++p)
    if (std::fabs(x[p - 1]) == amax) ities[nties++] = p;
}

void VRCPYS(IWORD n, IWORD ix, IWORD incx, const double* x, IWORD iy, IWORD incy, double* y) {
  for (IWORD i = 0; i < n; ++i) y[iy - 1 + i * incy] = x[ix - 1 + i * incx];
}

}  // namespace orvika

using orvika::kLanes;
using orvika::lane_sum;

extern "C" {

/* ORVK_VRADD: Z(IZ+i) = ALPHA*X(IX+i) + BETA*Y(IY+i), i = 1..N.
 *   N in IWORD (N <= 0: nothing); ALPHA, BETA in real; IX, IY, IZ in IWORD
 *   offsets; X, Y in real; Z out real, may be the very segment of X or Y.
 * Cost: 3N flops. */
ORVK_API void ORVK_VRADD(const IWORD* N, const double* ALPHA, const IWORD* IX, const double* X,
                         const double* BETA, const IWORD* IY, const double* Y, const IWORD* IZ,
                         double* Z) {
  const IWORD nn = *N;
  const double a = *ALPHA, b = *BETA;
  const double* xs = X + *IX;
  const double* ys = Y + *IY;
  double* zs = Z + *IZ;
  if (nn <= 0) return;
  // Element i reads X(i) and Y(i) before Z(i) is written.  A source that is
  // Z itself, lies at or ahead of Z, or does not meet Z is never read after
  // an element of Z it covers has been written, whatever the grouping of the
  // elements; only a source that starts inside Z's segment behind Z needs
  // the elements one at a time.
  const auto at = [](const double* p) { return reinterpret_cast<std::uintptr_t>(p); };
  const auto lagging = [&](const double* s) {
    return at(s) < at(zs) && at(s) + static_cast<std::uintptr_t>(nn) * sizeof(double) > at(zs);
  };
  IWORD i = 0;
  if (!lagging(xs) && !lagging(ys)) {
    // Four elements loaded, then four stored: the same products and sums
    // per element, in vector registers.
    for (; i + 4 <= nn; i += 4) {
      const double x0 = xs[i], x1 = xs[i + 1], x2 = xs[i + 2], x3 = xs[i + 3];
      const double y0 = ys[i], y1 = ys[i + 1], y2 = ys[i + 2], y3 = ys[i + 3];
      zs[i] = a * x0 + b * y0;
      zs[i + 1] = a * x1 + b * y1;
      zs[i + 2] = a * x2 + b * y2;
      zs[i + 3] = a * x3 + b * y3;
    }
  }
  for (; i < nn; ++i) zs[i] = a * xs[i] + b * ys[i];
}

/* ORVK_VRCOPY: Y(IY+1..IY+N) := 0, then Y(IY+i) = X(IX+i).
 *   N in IWORD; IX, IY in IWORD offsets; X in real; Y out real.  The
 *   segments must not overlap (the same segment leaves zeros).  Cost: O(N). */
ORVK_API void ORVK_VRCOPY(const IWORD* N, const IWORD* IX, const double* X, const IWORD* IY,
                          double* Y) {
  const IWORD nn = *N;
  double* ys = Y + *IY;
  const double* xs = X + *IX;
  for (IWORD i = 0; i < nn; ++i) ys[i] = 0.0;  // cleared first, as callers expect
  for (IWORD i = 0; i < nn; ++i) ys[i] = xs[i];
}

/* ORVK_VRZERO: X(IOFF+i) = 0, i = 1..N.  N, IOFF in IWORD; X out real.
 * Cost: O(N). */
ORVK_API void ORVK_VRZERO(const IWORD* N, const IWORD* IOFF, double* X) {
  double* v = X + *IOFF;
  for (IWORD i = 0; i < *N; ++i) v[i] = 0.0;
}

/* ORVK_VRONES: X(IOFF+i) = 1, i = 1..N.  N, IOFF in IWORD; X out real.
 * Cost: O(N). */
ORVK_API void ORVK_VRONES(const IWORD* N, const IWORD* IOFF, double* X) {
  double* v = X + *IOFF;
  for (IWORD i = 0; i < *N; ++i) v[i] = 1.0;
}

/* ORVK_VICOPY: IY(JY+i) = IX(JX+i), i = 1..N (no clearing first).
 *   N, JX, JY in IWORD; IX in IWORD array; IY out IWORD array.  Cost: O(N). */
ORVK_API void ORVK_VICOPY(const IWORD* N, const IWORD* IOX, const IWORD* IX, const IWORD* IOY,
                          IWORD* IY) {
  const IWORD* s = IX + *IOX;
  IWORD* d = IY + *IOY;
  for (IWORD i = 0; i < *N; ++i) d[i] = s[i];
}

/* ORVK_VIZERO: IX(IOFF+i) = 0, i = 1..N.  N, IOFF in IWORD; IX out IWORD
 * array.  Cost: O(N). */
ORVK_API void ORVK_VIZERO(const IWORD* N, const IWORD* IOFF, IWORD* IX) {
  IWORD* v = IX + *IOFF;
  for (IWORD i = 0; i < *N; ++i) v[i] = 0;
}

/* ORVK_DINNER: returns sum_i X(IX+i)*Y(IY+i), i = 1..N; 0 when N <= 0.
 *   N, IX, IY in IWORD; X, Y in real.  The order of the partial sums is not
 *   fixed.  Cost: 2N flops. */
ORVK_API double ORVK_DINNER(const IWORD* N, const IWORD* IX, const double* X, const IWORD* IY,
                            const double* Y) {
  const IWORD nn = *N;
  if (nn <= 0) return 0.0;
  const double* xs = X + *IX;
  const double* ys = Y + *IY;
  return lane_sum(nn, [xs, ys](IWORD i) { return xs[i] * ys[i]; });
}

/* ORVK_AP2NRM: returns the Euclidean norm of X(K+1..K+N); 0 when N < 1.
 *   N, K in IWORD; X in real.  Cost: 3N flops (6N when recomputed).
 * The scale is the largest element value (not magnitude), at least 1; each
 * element is divided by it.  A segment whose elements are all at most 1 is
 * squared unscaled, which overflows for large negative values and underflows
 * for elements below about 1e-154: those cases are recomputed with the
 * largest magnitude as the scale so the norm stays finite and accurate.
 * An infinite element of either sign gives +inf; a NaN element gives NaN. */
ORVK_API double ORVK_AP2NRM(const IWORD* N, const IWORD* K, const double* X) {
  const IWORD nn = *N;
  if (nn < 1) return 0.0;
  const double* v = X + *K;
  double smax[kLanes];
  for (int j = 0; j < kLanes; ++j) smax[j] = 1.0;
  IWORD i = 0;
  for (; i + kLanes <= nn; i += kLanes)
    for (int j = 0; j < kLanes; ++j) smax[j] = v[i + j] > smax[j] ? v[i + j] : smax[j];
  double s = 1.0;
  for (int j = 0; j < kLanes; ++j) s = smax[j] > s ? smax[j] : s;
  for (; i < nn; ++i) s = v[i] > s ? v[i] : s;
  double r;
  bool rescale = false;
  if (s > 1.0) {
    r = s * std::sqrt(lane_sum(nn, [v, s](IWORD i) {
          double t = v[i] / s;
          return t * t;
        }));
  } else {
    const double sq = lane_sum(nn, [v](IWORD i) { return v[i] * v[i]; });
    r = std::sqrt(sq);
    // Squares of elements below about 1e-154 lose digits or vanish: a sum
    // of squares below the smallest normal number is recomputed scaled.
    rescale = sq < std::numeric_limits<double>::min();
  }
  // A NaN result comes from a NaN element, or from a largest value of +inf
  // dividing itself; only the first leaves the norm undefined.
  if (std::isinf(r) || std::isnan(r) || rescale) {
    double amax = 0.0;
    bool finite = true, nan = false;
    for (IWORD j = 0; j < nn; ++j) {
      if (!std::isfinite(v[j])) finite = false;
      if (std::isnan(v[j])) nan = true;
      amax = std::max(amax, std::fabs(v[j]));
    }
    if (finite && amax > 0.0) {
      r = amax * std::sqrt(lane_sum(nn, [v, amax](IWORD i) {
            double t = v[i] / amax;
            return t * t;
          }));
    } else if (!nan && !finite) {
      r = std::numeric_limits<double>::infinity();  // an infinite element
    }
  }
  return r;
}

/* ORVK_NORMSS: SUM = sum_i X(IOFF+i), then X(IOFF+i) = X(IOFF+i)/SUM.
 *   N, IOFF in IWORD; X in/out real; SUM out real.  N < 1: SUM = 0 and X is
 *   not touched; a zero SUM leaves X as it is (no division by zero).
 * Cost: 2N flops. */
ORVK_API void ORVK_NORMSS(const IWORD* N, const IWORD* IOFF, double* X, double* SUM) {
  const IWORD nn = *N;
  if (nn < 1) {
    *SUM = 0.0;
    return;
  }
  double* v = X + *IOFF;
  const double s = lane_sum(nn, [v](IWORD i) { return v[i]; });
  *SUM = s;
  if (s == 0.0) return;  // nothing to normalise by: the caller sees SUM = 0
  for (IWORD i = 0; i < nn; ++i) v[i] = v[i] / s;
}

/* ORVK_WTAVG: S = sum_i W(i)*X(i), i = 1..N (not divided by the sum of the
 * weights); 0 when N < 1.  N in IWORD; W, X in real(N); S out real.
 * Cost: 2N flops. */
ORVK_API void ORVK_WTAVG(const IWORD* N, const double* W, const double* X, double* S) {
  const IWORD nn = *N;
  *S = nn < 1 ? 0.0 : lane_sum(nn, [W, X](IWORD i) { return W[i] * X[i]; });
}

}  // extern "C"
