// A forward-mode number for the derivative twins: a value with its
// derivatives along up to kGPmax directions.
//
// The value of every operation is formed exactly as the same operation on
// plain doubles, so a routine written once as a template over its number
// type gives the plain routine (double) and its twin (GNum) with values
// that agree bit for bit.  Constants carry no derivative (P = 0); entries
// at or beyond P count as zero.  The non-smooth operations follow the
// twins' conventions: |v| passes +g at v = 0, max/min pass the mean at a
// tie, sqrt passes 0 at 0.
#pragma once

#include <algorithm>
#include <cmath>

#include "scalar/twin.hpp"

namespace orvika {

struct GNum {
  double v = 0.0;
  IWORD p = 0;  // derivative entries in use
  double g[kGPmax];

  GNum(double value = 0.0) : v(value) {}  // NOLINT: constants convert implicitly
  double d(IWORD k) const { return k < p ? g[k] : 0.0; }

  // Value X with the derivative vector G(1..P) at stride 1.
  static GNum load(double x, const double* gx, IWORD np) {
    GNum r(x);
    r.p = np;
    for (IWORD k = 0; k < np; ++k) r.g[k] = gx[k];
    return r;
  }
  // Writes the derivatives into G(1..NP) (zeros beyond this number's P).
  void store_g(double* gx, IWORD np) const {
    for (IWORD k = 0; k < np; ++k) gx[k] = d(k);
  }
};

// Value of a number of either kind (branch tests are made on values).
inline double val(double x) { return x; }
inline double val(const GNum& x) { return x.v; }

namespace gnum_detail {
// R.g := A * a.g + B * b.g over the directions of either operand.
inline void combine(GNum& r, const GNum& a, double ca, const GNum& b, double cb) {
  r.p = std::max(a.p, b.p);
  for (IWORD k = 0; k < r.p; ++k) r.g[k] = ca * a.d(k) + cb * b.d(k);
}
inline void scale(GNum& r, const GNum& a, double ca) {
  r.p = a.p;
  for (IWORD k = 0; k < r.p; ++k) r.g[k] = ca * a.g[k];
}
// The same for the weights of a choice: an operand of weight 0 is dropped
// (g_weighted), so that its derivative, finite or not, does not reach R.
inline void choose(GNum& r, const GNum& a, double ca, const GNum& b, double cb) {
  r.p = std::max(a.p, b.p);
  for (IWORD k = 0; k < r.p; ++k) r.g[k] = g_weighted(ca, a.d(k)) + g_weighted(cb, b.d(k));
}
inline void scale_choice(GNum& r, const GNum& a, double ca) {
  r.p = a.p;
  for (IWORD k = 0; k < r.p; ++k) r.g[k] = g_weighted(ca, a.g[k]);
}
}  // namespace gnum_detail

inline GNum operator-(const GNum& a) {
  GNum r(-a.v);
  gnum_detail::scale(r, a, -1.0);
  return r;
}
inline GNum operator+(const GNum& a, const GNum& b) {
  GNum r(a.v + b.v);
  gnum_detail::combine(r, a, 1.0, b, 1.0);
  return r;
}
inline GNum operator-(const GNum& a, const GNum& b) {
  GNum r(a.v - b.v);
  gnum_detail::combine(r, a, 1.0, b, -1.0);
  return r;
}
inline GNum operator*(const GNum& a, const GNum& b) {
  GNum r(a.v * b.v);
  gnum_detail::combine(r, a, b.v, b, a.v);
  return r;
}
inline GNum operator/(const GNum& a, const GNum& b) {
  GNum r(a.v / b.v);
  gnum_detail::combine(r, a, 1.0 / b.v, b, -r.v / b.v);
  return r;
}

// |v| (derivative +g at v = 0).
inline double gabs(double x) { return std::fabs(x); }
inline GNum gabs(const GNum& a) {
  GNum r(std::fabs(a.v));
  gnum_detail::scale(r, a, g_abs_sign(a.v));
  return r;
}
// Square root (derivative 0 at 0).
inline double gsqrt(double x) { return std::sqrt(x); }
inline GNum gsqrt(const GNum& a) {
  GNum r(std::sqrt(a.v));
  gnum_detail::scale_choice(r, a, a.v == 0.0 ? 0.0 : 1.0 / (2.0 * r.v));
  return r;
}
// max and min (the mean of both derivatives at a tie).
inline double gmax(double a, double b) { return std::fmax(a, b); }
inline double gmin(double a, double b) { return std::fmin(a, b); }
inline GNum gmax(const GNum& a, const GNum& b) {
  GNum r(std::fmax(a.v, b.v));
  const GPick w = g_pick_max(a.v, b.v);
  gnum_detail::choose(r, a, w.wa, b, w.wb);
  return r;
}
inline GNum gmin(const GNum& a, const GNum& b) {
  GNum r(std::fmin(a.v, b.v));
  const GPick w = g_pick_min(a.v, b.v);
  gnum_detail::choose(r, a, w.wa, b, w.wb);
  return r;
}

}  // namespace orvika
