// Bodies of the spline routines, written once over the number type: the
// plain routines instantiate them with double, their derivative twins with
// GNum, so that both take the same branches and form the same values.
//
// A context gives access to the active arrays: X(i) reads an abscissa,
// C(w)/setC(w, v) read and write word w of the coefficient array (with
// its derivative column in a twin), D(i)/setD(i, v) the node derivatives of
// ORVK_SPLN2D at their stride; sign(a, b) is the sign test ORVK_SPLN2E and
// spln2i() runs the monotone chain on the context's arrays.
#pragma once

#include <cmath>
#include <limits>

#include "frame/views.hpp"
#include "orvika/orvika_types.h"
#include "scalar/gnum.hpp"

namespace orvika::spline_detail {

// Word of coefficient K of interval I in C(4, N-1).
inline IWORD cw(IWORD k, IWORD i) { return 4 * (i - 1) + k; }

// Whether the quotient Q of the numerator NUM kept its full precision:
// finite, and a normal number unless NUM itself is 0.
inline bool full_quotient(double num, double q) {
  if (!std::isfinite(q)) return false;
  if (q == 0.0) return num == 0.0;
  return std::fabs(q) >= std::numeric_limits<double>::min();
}

// One linear piece per interval: (Y(i), Y(i+1) - Y(i), 0, 0).
template <class Ctx>
void linear_pieces(const Ctx& A, IWORD n, const double* y) {
  using Num = typename Ctx::Num;
  Vec1<const double> Y(y);
  for (IWORD i = 1; i <= n - 1; ++i) {
    A.setC(cw(1, i), Num(Y(i)));
    A.setC(cw(2, i), Num(Y(i + 1) - Y(i)));
    A.setC(cw(3, i), Num(0.0));
    A.setC(cw(4, i), Num(0.0));
  }
}

// Hermite cubic of interval I with slopes SI at X(I) and SI1 at X(I+1).
template <class Ctx, class Num>
void hermite_piece(const Ctx& A, const double* y, IWORD i, const Num& si, const Num& si1) {
  Vec1<const double> Y(y);
  const Num h = A.X(i + 1) - A.X(i);
  const double d = Y(i + 1) - Y(i);
  const Num c4 = h * (si1 - si) - 2.0 * (d - h * si);
  A.setC(cw(1, i), Num(Y(i)));
  A.setC(cw(2, i), h * si);
  A.setC(cw(4, i), c4);
  A.setC(cw(3, i), d - h * si - c4);
}

// Local cubics: node slopes from parabolas through neighbouring points,
// Hermite cubics inside, least-squares end pieces.  With three points the
// end fits have no data, and both intervals take the parabola through the
// three points.
template <class Ctx>
void local_cubics(const Ctx& A, IWORD n, const double* y) {
  using Num = typename Ctx::Num;
  Vec1<const double> Y(y);
  Num pa, pb;  // y = pa x^2 + pb x + c, the parabola of the last node
  // The absolute form divides by a product of three abscissa differences,
  // which leaves the range of doubles for spacings far from 1 (below about
  // 1e-102 or above about 1e102).  For distinct finite points whose form
  // has lost its precision that way, the parabola is kept instead by its
  // two secants sl1, sl2 and the abscissae px1, px2, px3: its slope at x is
  // sl1 + (sl2 - sl1) ((x - px1) + (x - px2)) / (px3 - px1).
  bool by_secants = false;
  Num px1, px2, px3, sl1, sl2;

  auto parabola = [&](IWORD j) {
    const Num x1 = A.X(j - 1), x2 = A.X(j), x3 = A.X(j + 1);
    const double y1 = Y(j - 1), y2 = Y(j), y3 = Y(j + 1);
    const Num den = (x1 - x2) * (x1 - x3) * (x2 - x3);
    const Num na = y1 * (x2 - x3) + y2 * (x3 - x1) + y3 * (x1 - x2);
    const Num nb = -(y1 * (x2 - x3) * (x2 + x3) + y2 * (x3 - x1) * (x3 + x1) +
                     y3 * (x1 - x2) * (x1 + x2));
    pa = na / den;
    pb = nb / den;
    const double dv = val(den);
    const bool sound = std::isfinite(dv) && std::fabs(dv) >= std::numeric_limits<double>::min() &&
                       full_quotient(val(na), val(pa)) && full_quotient(val(nb), val(pb));
    const bool distinct_finite = std::isfinite(val(x1)) && std::isfinite(val(x2)) &&
                                 std::isfinite(val(x3)) && std::isfinite(y1) &&
                                 std::isfinite(y2) && std::isfinite(y3) && val(x1) != val(x2) &&
                                 val(x1) != val(x3) && val(x2) != val(x3);
    by_secants = !sound && distinct_finite;
    if (by_secants) {
      px1 = x1;
      px2 = x2;
      px3 = x3;
      sl1 = (y2 - y1) / (x2 - x1);
      sl2 = (y3 - y2) / (x3 - x2);
    }
  };
  // Slope of the parabola of the last node at X.
  auto parabola_slope = [&](const Num& x) -> Num {
    if (!by_secants) return 2.0 * pa * x + pb;
    return sl1 + (sl2 - sl1) * (((x - px1) + (x - px2)) / (px3 - px1));
  };
  // Slope at node J; the parabola is renewed unless abscissae coincide.
  auto slope = [&](IWORD j) -> Num {
    const double xm = val(A.X(j - 1)), x0 = val(A.X(j)), xp = val(A.X(j + 1));
    if (j == 2 || (xp != x0 && x0 != xm && xm != xp)) parabola(j);
    return parabola_slope(A.X(j));
  };

  if (n == 3) {
    // Both pieces are the parabola itself, written with a cubic term of 0:
    // a Hermite cubic of its slopes would leave a rounding residue there,
    // which the shape repair would take for a cubic term.
    parabola(2);
    for (IWORD i = 1; i <= 2; ++i) {
      const Num si = parabola_slope(A.X(i));
      const Num h = A.X(i + 1) - A.X(i);
      const double d = Y(i + 1) - Y(i);
      A.setC(cw(1, i), Num(Y(i)));
      A.setC(cw(2, i), h * si);
      A.setC(cw(3, i), d - h * si);
      A.setC(cw(4, i), Num(0.0));
    }
    return;
  }

  // First interval: cubics through both ends with slope m at t = 1, q
  // fitted to points 3 and 4.
  Num s = slope(2);
  {
    const Num x1 = A.X(1);
    const Num h = A.X(2) - x1;
    const double d = Y(2) - Y(1);
    const Num m = h * s;
    const Num t3 = (A.X(3) - x1) / h, t4 = (A.X(4) - x1) / h;
    const Num w3 = t3 * ((t3 - 1.0) * (t3 - 1.0)), w4 = t4 * ((t4 - 1.0) * (t4 - 1.0));
    const Num q = (Y(3) * w3 + Y(4) * w4 - Y(1) * (w3 + w4) - (2.0 * d - m) * (t3 * w3 + t4 * w4) -
                   (m - d) * (t3 * t3 * w3 + t4 * t4 * w4)) /
                  (w3 * w3 + w4 * w4);
    A.setC(cw(1, 1), Num(Y(1)));
    A.setC(cw(2, 1), q + 2.0 * d - m);
    A.setC(cw(3, 1), m - 2.0 * q - d);
    A.setC(cw(4, 1), q);
  }
  // Interior intervals.
  for (IWORD i = 2; i <= n - 2; ++i) {
    const Num snext = slope(i + 1);
    hermite_piece(A, y, i, s, snext);
    s = snext;
  }
  // Last interval: slope d at t = 0, q fitted to points N-2 and N-3.
  {
    const IWORD i = n - 1;
    const Num xl = A.X(i);
    const Num h = A.X(n) - xl;
    const double dd = Y(n) - Y(i);
    const Num d = h * s;
    const Num ta = (A.X(n - 2) - xl) / h, tb = (A.X(n - 3) - xl) / h;
    const Num va = ta * ta * (ta - 1.0), vb = tb * tb * (tb - 1.0);
    const Num q = (Y(n - 2) * va + Y(n - 3) * vb - Y(i) * (va + vb) - d * (ta * va + tb * vb) -
                   (dd - d) * (ta * ta * va + tb * tb * vb)) /
                  (va * va + vb * vb);
    A.setC(cw(1, i), Num(Y(i)));
    A.setC(cw(2, i), d);
    A.setC(cw(3, i), dd - q - d);
    A.setC(cw(4, i), q);
  }
}

// ORVK_SPLINE.
template <class Ctx>
void spline(const Ctx& A, IWORD n, const double* y, IWORD mode) {
  if (n < 2) return;
  if (n == 2 || mode == 3) {
    linear_pieces(A, n, y);
  } else if (mode == 2) {
    A.spln2i(n, y);
  } else {
    local_cubics(A, n, y);
  }
}

// Shape repair of ORVK_SMCRV on the coefficients made by ORVK_SPLINE.
template <class Ctx>
void smcrv_repair(const Ctx& A, IWORD n, const double* y, IWORD mode) {
  using Num = typename Ctx::Num;
  if (mode == 2) return;
  Vec1<const double> Y(y);
  constexpr double kZero = 1e-15;
  for (IWORD j = 1; j <= n - 1; ++j) {
    const Num c1 = A.C(cw(2, j)), c2 = A.C(cw(3, j)), c3 = A.C(cw(4, j));
    const double d = Y(j + 1) - Y(j);
    auto make_linear = [&] {
      A.setC(cw(2, j), Num(d));
      A.setC(cw(3, j), Num(0.0));
      A.setC(cw(4, j), Num(0.0));
    };
    if (std::fabs(val(c2)) <= kZero && std::fabs(val(c3)) <= kZero) continue;

    // Stationary points: roots of c1 + 2 c2 t + 3 c3 t^2.
    Num r[2];
    int nr;
    if (std::fabs(val(c3)) > kZero) {
      const Num disc = c2 * c2 - 3.0 * c1 * c3;
      if (val(disc) < 0.0) continue;
      const Num sq = gsqrt(disc);
      r[0] = (sq - c2) / (3.0 * c3);
      r[1] = -(sq + c2) / (3.0 * c3);
      nr = 2;
    } else {
      r[0] = -c1 / (2.0 * c2);
      nr = 1;
    }

    bool linear = false;
    int moved = 0;
    for (int m = 0; m < nr; ++m) {
      const double rv = val(r[m]);
      if (rv > 0.25 && rv < 0.75) {
        linear = true;
        break;
      }
      if (rv > 0.0 && rv < 1.0) {
        if (rv < 0.5) {
          r[m] = gmax(-0.25 * r[m], Num(-0.01));
        } else {
          r[m] = 1.0 + gmin(Num(0.01), 0.25 * (1.0 - r[m]));
        }
        ++moved;
      }
    }
    if (linear) {
      make_linear();
      continue;
    }
    if (moved == 0) continue;

    // Refit with stationary points at the roots as they now stand; the end
    // values stay.
    Num g, p, q;
    if (nr == 1) {
      g = -2.0 * c2 * r[0];
      p = c2;
      q = c3;
    } else {
      g = r[0] * r[1];
      p = -(r[0] + r[1]) / 2.0;
      q = Num(1.0 / 3.0);
    }
    const Num s = g + p + q;
    if (std::fabs(val(s)) <= kZero) {
      make_linear();
      continue;
    }
    const Num l = d / s;
    A.setC(cw(2, j), g * l);
    A.setC(cw(3, j), p * l);
    A.setC(cw(4, j), q * l);
  }
}

// ORVK_SPLN2C: coefficients of one interval from end values and slopes.
//
// The coefficients have the scale of the data, but the form below passes
// through quantities of the scale of (F2 - F1) / h^3, which leave the range
// of doubles for interval widths far from 1 (below about 1e-103 or above
// about 1e103 for data of order 1): the cubic coefficient then overflows,
// or underflows and the piece misses its end value.  For finite input
// whose form has lost a quotient that way, the same cubic is formed from
// the end values and the slopes times the width instead.
template <class Num>
void spln2c(const Num& x1, const Num& x2, double f1, double f2, const Num& d1, const Num& d2,
            Num& c0, Num& c1, Num& c2, Num& c3) {
  const Num h = x2 - x1;
  const Num s = (f2 - f1) / h;
  const Num e1 = (d1 - s) / h;
  const Num e2 = (d2 - s) / h;
  const Num q = (e1 + e2) / h;
  Num k3 = q * h * h * h;
  Num k1 = d1 * h;
  Num k2 = -(e1 + e1 + e2) * h * h;
  const bool sound = full_quotient(f2 - f1, val(s)) && full_quotient(val(d1) - val(s), val(e1)) &&
                     full_quotient(val(d2) - val(s), val(e2)) &&
                     full_quotient(val(e1) + val(e2), val(q)) && std::isfinite(val(k1)) &&
                     std::isfinite(val(k2)) && std::isfinite(val(k3));
  const bool finite_input = std::isfinite(val(x1)) && std::isfinite(val(x2)) &&
                            std::isfinite(f1) && std::isfinite(f2) && std::isfinite(val(d1)) &&
                            std::isfinite(val(d2)) && val(h) != 0.0;
  if (!sound && finite_input) {
    const double df = f2 - f1;
    const Num a1 = d1 * h, a2 = d2 * h;
    k1 = a1;
    k2 = 3.0 * df - (a1 + a1 + a2);
    k3 = (a1 + a2) - 2.0 * df;
  }
  c0 = Num(f1);
  c3 = k3;
  c1 = k1;
  c2 = k2;
}

// ORVK_SPLN2D: shape-preserving node derivatives (N >= 2).
template <class Ctx>
void spln2d(const Ctx& A, IWORD n, const double* f, IWORD incr, IWORD& nchg) {
  using Num = typename Ctx::Num;
  auto F = [&](IWORD i) { return f[(i - 1) * incr]; };

  nchg = 0;
  Num h1 = A.X(2) - A.X(1);
  Num del1 = (F(2) - F(1)) / h1;
  Num dsave = del1;
  if (n <= 2) {
    A.setD(1, del1);
    A.setD(n, del1);
    return;
  }
  Num h2 = A.X(3) - A.X(2);
  Num del2 = (F(3) - F(2)) / h2;
  Num hsum = h1 + h2;

  // First node: three-point formula, kept to the sign of the data.
  Num d = del1 * (h1 + hsum) / hsum - del2 * h1 / hsum;
  if (A.sign(d, del1) <= 0.0) {
    d = Num(0.0);
  } else if (A.sign(del1, del2) < 0.0 && std::fabs(val(d)) > std::fabs(val(3.0 * del1))) {
    d = 3.0 * del1;
  }
  A.setD(1, d);

  // Interior nodes: weighted harmonic mean of the secants, 0 at a change of
  // direction.
  for (IWORD i = 2; i <= n - 1; ++i) {
    if (i >= 3) {
      h1 = h2;
      h2 = A.X(i + 1) - A.X(i);
      hsum = h1 + h2;
      del1 = del2;
      del2 = (F(i + 1) - F(i)) / h2;
    }
    Num di(0.0);
    const double s = A.sign(del1, del2);
    if (s < 0.0) {
      nchg += 1;
      dsave = del2;
    } else if (s == 0.0) {
      if (val(del2) != 0.0) {
        if (A.sign(dsave, del2) < 0.0) nchg += 1;
        dsave = del2;
      }
    } else {
      const Num t = hsum + hsum + hsum;
      const Num w1 = (hsum + h1) / t;
      const Num w2 = (hsum + h2) / t;
      const Num dmax = gmax(gabs(del1), gabs(del2));
      const Num dmin = gmin(gabs(del1), gabs(del2));
      di = dmin / (w1 * (del1 / dmax) + w2 * (del2 / dmax));
    }
    A.setD(i, di);
  }

  // Last node.
  d = -del1 * h2 / hsum + del2 * (h2 + hsum) / hsum;
  if (A.sign(d, del2) <= 0.0) {
    d = Num(0.0);
  } else if (A.sign(del1, del2) < 0.0 && std::fabs(val(d)) > std::fabs(val(3.0 * del2))) {
    d = 3.0 * del2;
  }
  A.setD(n, d);
}

}  // namespace orvika::spline_detail
