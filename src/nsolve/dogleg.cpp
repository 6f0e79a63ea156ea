// ORVK_DOGLEG, ORVK_DOGLG2, ORVK_DOGLG1: Powell's dogleg trust-region step
// for a coordinate (16-bit or IWORD indices) or dense Jacobian, and the
// judgement of the trial point.
#include <cmath>
#include <limits>

#include "frame/hostdata.hpp"
#include "frame/views.hpp"
#include "orvika/kernels_vector.h"
#include "orvika/nsolve.h"

extern "C" {
ORVK_API ORVK_DGLG1_T ORVK_DGLG1 = {};
}

namespace {

constexpr IWORD kMaxOrder16 = 32767;  // largest order 16-bit indices address
// Radius and Newton length within which the dogleg root is formed from the
// squared lengths directly: their fourth powers stay normal and finite.
constexpr double kPlainLo = 1e-60, kPlainHi = 1e60;
constexpr double kTinyNormal = std::numeric_limits<double>::min();

// True when V is a finite number no smaller than the smallest normal one.
bool normal_positive(double v) { return v >= kTinyNormal && v <= std::numeric_limits<double>::max(); }

double nrm2(IWORD n, const double* x) {
  const IWORD k = 0;
  return ORVK_AP2NRM(&n, &k, x);
}
double dot(IWORD n, const double* x, const double* y) {
  const IWORD k = 0;
  return ORVK_DINNER(&n, &k, x, &k, y);
}

// Jacobian products for coordinate storage: entries with a row or column
// outside 1..N take no part.
template <class Idx>
struct Coord {
  IWORD n, nz;
  const Idx* irow;
  const Idx* jcol;
  const double* a;
  // out(JCOL) += A v(IROW): J'v added into OUT.
  void add_jtv(const double* v, double* out) const {
    const orvika::Vec1<const Idx> ir(irow, nz), jc(jcol, nz);
    const orvika::Vec1<const double> av(a, nz), vv(v, n);
    const orvika::Vec1<double> o(out, n);
    for (IWORD k = 1; k <= nz; ++k) {
      const IWORD i = ir(k), j = jc(k);
      if (i < 1 || i > n || j < 1 || j > n) continue;
      o(j) += av(k) * vv(i);
    }
  }
  // out(IROW) += A u(JCOL): J u added into OUT.
  void add_ju(const double* u, double* out) const {
    const orvika::Vec1<const Idx> ir(irow, nz), jc(jcol, nz);
    const orvika::Vec1<const double> av(a, nz), uv(u, n);
    const orvika::Vec1<double> o(out, n);
    for (IWORD k = 1; k <= nz; ++k) {
      const IWORD i = ir(k), j = jc(k);
      if (i < 1 || i > n || j < 1 || j > n) continue;
      o(i) += av(k) * uv(j);
    }
  }
};

// Dense N x N Jacobian, column-major: J'v by column dot products, J u by
// column updates.
struct Dense {
  IWORD n;
  const double* a;
  void add_jtv(const double* v, double* out) const {
    for (IWORD j = 0; j < n; ++j) out[j] += dot(n, a + j * n, v);
  }
  void add_ju(const double* u, double* out) const {
    for (IWORD j = 0; j < n; ++j) {
      const double uj = u[j];
      if (uj == 0.0) continue;
      const double* col = a + j * n;
      for (IWORD i = 0; i < n; ++i) out[i] += col[i] * uj;
    }
  }
};

double absmax(IWORD n, const double* x) {
  double m = 0.0;
  for (IWORD i = 0; i < n; ++i) m = std::fmax(m, std::fabs(x[i]));
  return m;
}

// Step choice with radius D from the base point's Cauchy point p = -W(1..N),
// Newton step DXN and the lengths in ORVK_DGLG1; saves X and F as the base.
void choose(IWORD n, const double* x, const double* dxn, double* dx, const double* f, double* w,
            double D) {
  const ORVK_DGLG1_T& b = ORVK_DGLG1;
  const double c = b.CAUCHY, nn = b.DXNORM, gn = b.GNORM;
  const double* tg = w;          // t g
  const double* g = w + n;       // g
  if (c > D) {
    // Steepest descent cut at the radius (no gradient: no step).
    const double s = gn > 0.0 ? D / gn : 0.0;
    if (gn > 0.0 && D > 0.0 && !normal_positive(s)) {
      // D / |g| leaves the range of normal numbers (a radius far below or
      // above the gradient's length): the direction is normalised first, so
      // that only D multiplies a number of order 1.
      const double gm = absmax(n, g);
      for (IWORD i = 0; i < n; ++i) dx[i] = g[i] / gm;
      const double sd = D / nrm2(n, dx);
      for (IWORD i = 0; i < n; ++i) dx[i] = -sd * dx[i];
    } else {
      for (IWORD i = 0; i < n; ++i) dx[i] = -s * g[i];
    }
  } else if (nn <= D) {
    for (IWORD i = 0; i < n; ++i) dx[i] = dxn[i];
  } else {
    // The point at distance D on the segment from p to DXN.  When D equals
    // the Cauchy length and the segment does not leave the sphere the
    // formula is 0/0: the Cauchy point itself lies on the sphere.
    double lam, den;
    bool along = false;  // the step is formed along the segment's direction
    if (D >= kPlainLo && nn <= kPlainHi) {
      double s = 0.0;
      for (IWORD i = 0; i < n; ++i) s += -tg[i] * dxn[i];
      const double c2 = c * c, D2 = D * D;
      den = (s - c2) + std::sqrt((nn * nn - D2) * (D2 - c2) + (s - D2) * (s - D2));
      lam = (D2 - c2) / den;
    } else {
      // Lengths so large or small that the fourth powers above leave the
      // range of doubles: the same root with every length divided by D.
      double s = 0.0;
      for (IWORD i = 0; i < n; ++i) s += (-tg[i] / D) * (dxn[i] / D);
      const double cr = c / D, nr = nn / D, num = (1.0 - cr) * (1.0 + cr);
      den = (s - cr * cr) +
            std::hypot(std::sqrt(nr - 1.0) * std::sqrt(nr + 1.0) * std::sqrt(num), s - 1.0);
      lam = num / den;
      if (num > 0.0 && !normal_positive(lam) && std::isfinite(nn)) {
        // The Newton step so much longer than the radius that lambda, of
        // the order of D / |DXN|, is no normal number: measure the distance
        // from p along the unit direction u of DXN - p instead.  It is the
        // positive root m D of m^2 + 2 q m = 1 - (c/D)^2, q = p.u / D.
        for (IWORD i = 0; i < n; ++i) dx[i] = dxn[i] + tg[i];
        const double len = nrm2(n, dx);
        if (len > 0.0 && std::isfinite(len)) {
          for (IWORD i = 0; i < n; ++i) dx[i] /= len;
          double q = 0.0;
          for (IWORD i = 0; i < n; ++i) q += (-tg[i] / D) * dx[i];
          const double root = std::sqrt(q * q + num);
          const double m = q >= 0.0 ? num / (q + root) : root - q;
          const double step = m * D;
          for (IWORD i = 0; i < n; ++i) dx[i] = -tg[i] + step * dx[i];
          along = true;
        }
      }
    }
    if (!along) {
      if (!(den > 0.0) || !std::isfinite(lam)) lam = 0.0;
      for (IWORD i = 0; i < n; ++i) dx[i] = (1.0 - lam) * (-tg[i]) + lam * dxn[i];
    }
  }
  for (IWORD i = 0; i < n; ++i) {
    w[2 * n + i] = x[i];
    w[3 * n + i] = f[i];
  }
}

template <class Jac>
void dogleg(IWORD n, double* x, const double* dxn, double* dx, double* f, const Jac& J, double* w,
            double& delta, IWORD& icount, IWORD mode, IWORD& iflag) {
  iflag = 0;
  if (n < 1) {
    if (mode != 2 && mode != 3) icount = 1;
    return;
  }
  ORVK_DGLG1_T& b = ORVK_DGLG1;
  if (mode == 3) {
    ++icount;
    choose(n, x, dxn, dx, f, w, delta);
    return;
  }
  if (mode == 2) {
    const double F0 = b.FF0;
    const double F1 = dot(n, f, f);
    b.FF1 = F1;
    const double dxl = nrm2(n, dx);
    const double* g = w + n;
    if (std::isnan(F1) || F1 > F0) {
      double r = 0.0;
      if (!std::isnan(F1)) {
        const double s = dot(n, g, dx);
        const double den = (F0 - F1) + 2.0 * s;
        r = std::fabs(den) < orvika::host::rtiny() ? 0.0 : s / den;
        if (!std::isfinite(r)) r = 0.0;
      }
      delta = dxl * std::fmax(0.5, r);
      // A trial point without a finite sum of squares never stands.
      if (std::isnan(F1) || F1 > 2.25 * F0) {
        iflag = 1;
        for (IWORD i = 0; i < n; ++i) {
          x[i] = w[2 * n + i];
          f[i] = w[3 * n + i];
        }
      }
      return;
    }
    // Residuals predicted by the linear model, and their sum of squares.
    double* pred = w + n;
    for (IWORD i = 0; i < n; ++i) pred[i] = w[3 * n + i];
    J.add_ju(dx, pred);
    const double P = dot(n, pred, pred);
    const double h = (F0 - F1) - 0.1 * (F0 - P);
    if (!(h > 0.0)) {
      delta = 0.5 * dxl;
      return;
    }
    for (IWORD i = 0; i < n; ++i) pred[i] = f[i] - pred[i];
    const double v = std::fabs(dot(n, f, pred));
    const double ww = dot(n, pred, pred);
    double mu = 3.0;
    if (h > 1.0) {
      const double v1 = v / h, w1 = ww / h;
      if (v1 > 0.0 || w1 > 0.0) mu = 1.0 / (v1 + std::sqrt(v1 * v1 + w1));
    } else if (v > 0.0 || ww > 0.0) {
      const double q = v * v + ww * h;
      if (q < kTinyNormal) {
        // Sums of squares near or below 1e-154 (residuals below about
        // 1e-77): v^2 and w h lose their digits, so the same root is formed
        // with v and w divided by h, as above.
        const double v1 = v / h, w1 = ww / h;
        mu = 1.0 / (v1 + std::sqrt(v1 * v1 + w1));
      } else {
        mu = h / (v + std::sqrt(q));
      }
    }
    delta = dxl * std::fmin(2.0, std::sqrt(1.0 + mu));
    return;
  }
  // MODE 1: new base point.
  icount = 0;
  for (IWORD i = 0; i < 2 * n; ++i) w[i] = 0.0;
  b.FF0 = dot(n, f, f);
  double* g = w + n;
  J.add_jtv(f, g);
  const double gmax = absmax(n, g);
  if (gmax > 0.0)
    for (IWORD i = 0; i < n; ++i) g[i] /= gmax;
  b.GNORM = nrm2(n, g) * gmax;
  J.add_ju(g, w);
  const double hmax = absmax(n, w);
  if (hmax > 0.0)
    for (IWORD i = 0; i < n; ++i) w[i] /= hmax;
  double t = 0.0;
  // t gmax, used in place of t when t itself leaves the range of normal
  // numbers (a Jacobian above about 1e154 or below about 1e-154 in
  // magnitude: t is of the order of the inverse square of its scale) while
  // the Cauchy point t g, of the order of F over the Jacobian's scale, does
  // not.
  double tg = 0.0;
  bool scaled = false;
  if (gmax > 0.0) {
    const double den = hmax * nrm2(n, w);
    if (den > 0.0) {
      const double ratio = (b.GNORM / gmax) / den;
      t = ratio * ratio;
      if (!normal_positive(t) && ratio > 0.0 && std::isfinite(ratio)) {
        scaled = true;
        tg = (gmax * ratio) * ratio;
      }
      if (!std::isfinite(t)) t = 0.0;
    }
  }
  b.DXNORM = nrm2(n, dxn);
  if (scaled) {
    // g holds g / gmax here: t g = tg (g / gmax).  A Cauchy point beyond
    // the range of doubles gives the Cauchy length infinity, hence the
    // steepest-descent step cut at any finite radius.
    b.CAUCHY = tg * (b.GNORM / gmax);
    for (IWORD i = 0; i < n; ++i) w[i] = g[i] == 0.0 ? 0.0 : tg * g[i];
    for (IWORD i = 0; i < n; ++i) g[i] *= gmax;
  } else {
    b.CAUCHY = b.GNORM * t;
    if (gmax > 0.0)
      for (IWORD i = 0; i < n; ++i) g[i] *= gmax;
    for (IWORD i = 0; i < n; ++i) w[i] = t * g[i];
  }
  ++icount;
  choose(n, x, dxn, dx, f, w, delta);
}

}  // namespace

/* ORVK_DOGLG2: dogleg trust-region step for F(X) = 0 with a coordinate
 * Jacobian (Powell, "A hybrid method for nonlinear equations", 1970).
 *   N       in      IWORD        order.
 *   NZ      in      IWORD        number of entries.
 *   X       in/out  real (N)     point; MODE 2 restores the base point on rejection.
 *   DXN     in      real (N)     Newton step at the base point (MODE 1, 3).
 *   DX      out/in  real (N)     step chosen (MODE 1, 3); the step to judge (MODE 2).
 *   F       in/out  real (N)     residuals at X; restored with X.
 *   IROW    in      IWORD (NZ)   row numbers (entries outside 1..N take no part).
 *   JCOL    in      IWORD (NZ)   column numbers.
 *   A       in      real (NZ)    values; repeated positions add up.
 *   W       work    real (4N)    t g, g = J'F, base X, base F; kept between calls.
 *   DELTA   in/out  real         trust radius: read by MODE 1 and 3, set by MODE 2.
 *   ICOUNT  in/out  IWORD        steps computed for the base point (MODE 1 sets 1,
 *                                MODE 3 adds 1).
 *   MODE    in      IWORD        2 judge the trial point, 3 new step with the current
 *                                radius, any other value: new base point.
 *   IFLAG   out     IWORD        1 the trial point was rejected (F.F above 2.25 times
 *                                the base value, or not a number) and the base restored;
 *                                0 otherwise.
 * State in ORVK_DGLG1.  A zero gradient gives the Cauchy length 0; a vanishing
 * denominator of the interpolation factor gives factor 0.
 * Cost: MODE 1 two passes over the entries, MODE 2 at most one, MODE 3 O(N). */
extern "C" ORVK_API void ORVK_DOGLG2(const IWORD* N, const IWORD* NZ, double* X, const double* DXN,
                                     double* DX, double* F, const IWORD* IROW, const IWORD* JCOL,
                                     const double* A, double* W, double* DELTA, IWORD* ICOUNT,
                                     const IWORD* MODE, IWORD* IFLAG) {
  const Coord<IWORD> J{*N, *NZ < 0 ? 0 : *NZ, IROW, JCOL, A};
  dogleg(*N, X, DXN, DX, F, J, W, *DELTA, *ICOUNT, *MODE, *IFLAG);
}

/* ORVK_DOGLEG: as ORVK_DOGLG2 with 16-bit row and column numbers (IDX16).
 * Such indices address at most 32767 rows and columns: with N > 32767 the
 * routine computes nothing and returns IFLAG = -1.
 *   IROW, JCOL  in  IDX16 (NZ)  row and column numbers of the entries of A;
 *   every other argument as in ORVK_DOGLG2.
 * Cost: as ORVK_DOGLG2, O(NZ) per product with the Jacobian. */
extern "C" ORVK_API void ORVK_DOGLEG(const IWORD* N, const IWORD* NZ, double* X, const double* DXN,
                                     double* DX, double* F, const IDX16* IROW, const IDX16* JCOL,
                                     const double* A, double* W, double* DELTA, IWORD* ICOUNT,
                                     const IWORD* MODE, IWORD* IFLAG) {
  if (*N > kMaxOrder16) {
    *IFLAG = -1;
    return;
  }
  const Coord<IDX16> J{*N, *NZ < 0 ? 0 : *NZ, IROW, JCOL, A};
  dogleg(*N, X, DXN, DX, F, J, W, *DELTA, *ICOUNT, *MODE, *IFLAG);
}

/* ORVK_DOGLG1: as ORVK_DOGLG2 with the dense N x N Jacobian A, column-major
 * (entry (i, j) at A(i + N(j-1))); NZ is not read.
 *   A  in  real (N*N)  the Jacobian; every other argument as in ORVK_DOGLG2.
 * Cost: MODE 1 2N^2, MODE 2 at most N^2, MODE 3 O(N). */
extern "C" ORVK_API void ORVK_DOGLG1(const IWORD* N, const IWORD* /*NZ*/, double* X,
                                     const double* DXN, double* DX, double* F, const double* A,
                                     double* W, double* DELTA, IWORD* ICOUNT, const IWORD* MODE,
                                     IWORD* IFLAG) {
  const Dense J{*N, A};
  dogleg(*N, X, DXN, DX, F, J, W, *DELTA, *ICOUNT, *MODE, *IFLAG);
}
