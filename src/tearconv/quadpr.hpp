// Box-constrained quadratic program: one active-set algorithm on the real
// type R, instantiated for double (ORVK_QUADPR) and binary128 (QUADPR16).
//
//   minimise q(x) = 1/2 x'Hx - G'x  subject to  XLO <= x <= XUP.
//
// Starting from the point of the box nearest the origin, each pass lets the
// non-free variable with the largest predicted decrease of q move, keeping
// the free variables at the minimum of q over their subspace.  The free block
// of H is kept as L*D*L' (L in the strict lower triangle of H, D in
// W(2N+1..2N+m), both by position IPERM(1..m)), extended by one column when a
// variable joins and updated by a rank-one modification when a free variable
// reaches a bound and leaves (Gill, Golub, Murray and Saunders, "Methods for
// modifying matrix factorizations", Math. Comp. 28 (1974)).
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

#include "frame/views.hpp"
#include "orvika/orvika_types.h"

#ifdef ORVK_HAVE_QREAL
#include <quadmath.h>
#endif

namespace orvika {

// Arithmetic that differs between the real types.
template <class R>
struct QpArith;

template <>
struct QpArith<double> {
  static double abs(double x) { return std::fabs(x); }
  static bool isnan(double x) { return std::isnan(x); }
  static double nan() { return std::numeric_limits<double>::quiet_NaN(); }
};

#ifdef ORVK_HAVE_QREAL
template <>
struct QpArith<QREAL> {
  static QREAL abs(QREAL x) { return fabsq(x); }
  static bool isnan(QREAL x) { return isnanq(x) != 0; }
  static QREAL nan() { return nanq(""); }
};
#endif

// Magnitude below which a free direction entry never blocks.  For binary128
// it is the double 1e-20 widened exactly, so both types break ties alike.
template <class R>
inline R quadpr_tiny() { return static_cast<R>(1e-20); }

namespace quadpr_detail {

// Dot product of two contiguous vectors; four partial sums.
template <class R>
inline R dot(const R* a, const R* b, IWORD len) {
  R s0(0), s1(0), s2(0), s3(0);
  IWORD k = 0;
  for (; k + 4 <= len; k += 4) {
    s0 += a[k] * b[k];
    s1 += a[k + 1] * b[k + 1];
    s2 += a[k + 2] * b[k + 2];
    s3 += a[k + 3] * b[k + 3];
  }
  for (; k < len; ++k) s0 += a[k] * b[k];
  return (s0 + s1) + (s2 + s3);
}

}  // namespace quadpr_detail

// The algorithm.  Arguments as ORVK_QUADPR, scalars by value or reference;
// PASSES, when given, receives the number of pricing passes made.
// Returns with NFREE = 0 and FOBJ = NaN, writing nothing else, when
// LDH < N; with FOBJ = NaN after a NaN in G (X, IPERM, NFREE untouched).
template <class R>
void quadpr_solve(IWORD n, R* hp, IWORD ldh, const R* g, const R* xlo, const R* xup, R* x,
                  R& fobj, IWORD* iperm, IWORD& nfree, R* w, IWORD* passes = nullptr) {
  using A = QpArith<R>;
  if (n < 1) {
    nfree = 0;
    fobj = R(0);
    return;
  }
  if (ldh < n) {
    nfree = 0;
    fobj = A::nan();
    return;
  }
  const R zero(0), half(0.5), one(1), four(4);
  const R tiny = quadpr_tiny<R>();

  // 1-based access.  H(i,j): caller's matrix, L(i,j) = H(i,j) for i > j.
  const Mat1<R> H(hp, ldh);
  auto hbar = [&](IWORD u, IWORD v) -> R { return u <= v ? H(u, v) : H(v, u); };
  const Vec1<const R> G(g, n), XLO(xlo, n), XUP(xup, n);
  const Vec1<R> X(x, n);
  const Vec1<IWORD> IPERM(iperm, n);
  R* wc = w + n;              // work column
  const Vec1<R> WG(w, n);     // gradient by position
  const Vec1<R> WC(wc, n);
  const Vec1<R> WD(w + 2 * n, n);  // pivots / reduced curvatures
  auto Lcol = [&](IWORD j) { return Vec1<R>(H.col(j), n); };  // Lcol(j)(i) = L(i,j)

  // Gradient -G at the origin; stop at the first NaN.
  for (IWORD i = 1; i <= n; ++i) {
    if (A::isnan(G(i))) {
      fobj = A::nan();
      return;
    }
    WG(i) = -G(i);
  }
  // Start at the projection of the origin onto the box.
  for (IWORD i = 1; i <= n; ++i) {
    IPERM(i) = i;
    WD(i) = H(i, i);
    if (XLO(i) <= zero && zero <= XUP(i)) {
      X(i) = zero;
      continue;
    }
    X(i) = XUP(i) < zero ? XUP(i) : std::max(XLO(i), zero);
    const R xi = X(i);
    for (IWORD j = 1; j <= i; ++j) WG(j) += xi * H(j, i);
    for (IWORD j = i + 1; j <= n; ++j) WG(j) += xi * H(i, j);
  }

  enum Side { kLower = 1, kUpper = 2 };
  const IWORD maxpass = std::max<IWORD>(1000, n > std::numeric_limits<IWORD>::max() / 3
                                                  ? std::numeric_limits<IWORD>::max()
                                                  : 3 * n);
  IWORD m = 0;
  IWORD npass = 0;
  for (;;) {
    // Pricing: the non-free variable whose move promises the largest decrease.
    ++npass;
    IWORD e = 0, ib = 0;
    int ibside = 0;
    R best = zero, s = zero;
    for (IWORD k = m + 1; k <= n; ++k) {
      const IWORD v = IPERM(k);
      const R gk = WG(k), xv = X(v), d = WD(k);
      if ((xv == XLO(v) && gk >= zero) || (xv == XUP(v) && gk <= zero)) continue;
      // No gradient and no curvature: no move of the variable changes q,
      // and a move to a far bound would only carry the free variables
      // along by as much, losing their digits (or making them infinite).
      if (gk == zero && d == zero) continue;
      const int side = gk < zero ? kUpper : kLower;
      const R t = side == kUpper ? XUP(v) - xv : xv - XLO(v);
      const R ag = A::abs(gk);
      R p, step;
      bool blocks;
      if (d <= zero || ag / d >= t) {
        p = (ag - half * d * t) * t;
        step = t;
        blocks = true;
      } else {
        p = half * ag * (ag / d);
        step = ag / d;
        blocks = false;
      }
      if (!(best > p)) {
        best = p;
        e = k;
        s = step;
        ib = blocks ? k : 0;
        ibside = side;
      }
    }
    if (npass >= maxpass || e == 0) break;

    const IWORD v = IPERM(e);
    const bool down = WG(e) >= zero;  // sigma = -1
    bool joined = false;
    // Move of v, in legs separated by removals from the free set.
    for (;;) {
      // Reduced column of v: D(j)*L(e,j) for the free positions, then the
      // Schur-complement column for the non-free ones.
      for (IWORD j = 1; j <= m; ++j) WC(j) = WD(j) * H(e, j);
      for (IWORD k = m + 1; k <= n; ++k) WC(k) = hbar(IPERM(k), v);
      for (IWORD j = 1; j <= m; ++j) {
        const R c = WC(j);
        const Vec1<R> lj = Lcol(j);
        for (IWORD k = m + 1; k <= n; ++k) WC(k) -= lj(k) * c;
      }
      WC(e) = WD(e);
      // Direction of the free variables: L' y = -L(e, 1..m).
      if (m > 0) {
        WC(m) = -H(e, m);
        for (IWORD i = m - 1; i >= 1; --i)
          WC(i) = -H(e, i) - quadpr_detail::dot(H.col(i) + i, wc + i, m - i);
      }
      if (down)
        for (IWORD k = 1; k <= n; ++k) WC(k) = -WC(k);
      // Ratio test over the free variables.
      for (IWORD j = 1; j <= m; ++j) {
        const R c = WC(j);
        if (A::abs(c) < tiny) continue;
        const IWORD u = IPERM(j);
        R r;
        int side;
        if (c < zero) {
          r = (XLO(u) - X(u)) / c;
          side = kLower;
        } else {
          r = (XUP(u) - X(u)) / c;
          side = kUpper;
        }
        if (r < s) {
          s = r;
          ib = j;
          ibside = side;
        }
      }
      // Move.
      X(v) = down ? X(v) - s : X(v) + s;
      for (IWORD j = 1; j <= m; ++j) X(IPERM(j)) += WC(j) * s;
      for (IWORD k = m + 1; k <= n; ++k) WG(k) += s * WC(k);

      if (ib == 0) {
        if (down)
          for (IWORD k = m + 1; k <= n; ++k) WC(k) = -WC(k);
        joined = true;
        break;
      }
      {
        const IWORD vb = IPERM(ib);
        X(vb) = ibside == kLower ? XLO(vb) : XUP(vb);
      }
      if (ib == e) break;  // v reached its bound: next pricing pass

      // The free variable u at position p0 leaves: delete it from the factor
      // by a rank-one update of the trailing block and move it to position m.
      const IWORD p0 = ib;
      const IWORD u = IPERM(p0);
      {
        const Vec1<R> lp0 = Lcol(p0);
        for (IWORD i = p0 + 1; i <= n; ++i) WC(i) = lp0(i);
      }
      R kappa;
      if (p0 < m) {
        R t = one / WD(p0);
        for (IWORD p = p0 + 1; p <= m; ++p) {
          const R wv = WC(p), dp = WD(p);
          const R tn = t + wv * (wv / dp);
          const R r = tn / t;
          WD(p - 1) = dp * r;
          const R beta = (wv / dp) / tn;
          const Vec1<R> lp = Lcol(p);
          const Vec1<R> lq = Lcol(p - 1);
          if (r > four) {
            for (IWORD i = p + 1; i <= m; ++i) lq(i - 1) = WC(i) * beta + lp(i) / r;
            lq(m) = beta;
            for (IWORD i = m + 1; i <= n; ++i) lq(i) = WC(i) * beta + lp(i) / r;
            for (IWORD i = p + 1; i <= n; ++i) WC(i) -= wv * lp(i);
          } else {
            for (IWORD i = p + 1; i <= n; ++i) WC(i) -= wv * lp(i);
            for (IWORD i = p + 1; i <= m; ++i) lq(i - 1) = lp(i) + beta * WC(i);
            lq(m) = beta;
            for (IWORD i = m + 1; i <= n; ++i) lq(i) = lp(i) + beta * WC(i);
          }
          IPERM(p - 1) = IPERM(p);
          t = tn;
        }
        IPERM(m) = u;
        WD(m) = one / t;
        for (IWORD j = 1; j <= p0 - 1; ++j) {
          const Vec1<R> lj = Lcol(j);
          const R old = lj(p0);
          for (IWORD i = p0 + 1; i <= m; ++i) lj(i - 1) = lj(i);
          lj(m) = old;
        }
        kappa = one / t;
      } else {
        kappa = WD(m);
      }
      for (IWORD k = m + 1; k <= n; ++k) WD(k) += kappa * (WC(k) * WC(k));
      --m;

      // Resume the move of v from where it stands.  A non-positive reduced
      // curvature never becomes a pivot: v then goes to its bound.
      const R gk = WG(e), d = WD(e), xv = X(v);
      if (d <= zero) {
        s = down ? xv - XLO(v) : XUP(v) - xv;
        ib = e;
        ibside = down ? kLower : kUpper;
      } else {
        s = A::abs(gk) / d;
        const int side = gk < zero ? kUpper : kLower;
        const R dist = side == kUpper ? XUP(v) - xv : xv - XLO(v);
        if (dist >= s) {
          ib = 0;
        } else {
          s = dist;
          ib = e;
          ibside = side;
        }
      }
    }
    if (!joined) continue;

    // v joins the free set at position q = m+1.
    const IWORD q = m + 1;
    if (e != q) {
      const R dv = WD(e);
      IPERM(e) = IPERM(q);
      IPERM(q) = v;
      WC(e) = WC(q);
      WD(e) = WD(q);
      WD(q) = dv;
      WG(e) = WG(q);
      for (IWORD j = 1; j <= m; ++j) std::swap(H(q, j), H(e, j));
    }
    WG(q) = zero;
    m = q;
    if (m == n) break;
    const R d = WD(q);
    const Vec1<R> lq = Lcol(q);
    for (IWORD k = q + 1; k <= n; ++k) {
      const R lk = WC(k) / d;
      lq(k) = lk;
      WD(k) -= lk * WC(k);
    }
  }

  nfree = m;
  if (passes) *passes = npass;
  R f = zero;
  for (IWORD k = 1; k <= n; ++k) f += (WG(k) - G(IPERM(k))) * X(IPERM(k));
  fobj = half * f;
}

#ifdef ORVK_HAVE_QREAL
// Binary128 twin of ORVK_QUADPR (same arguments, every real a QREAL).
void QUADPR16(IWORD n, QREAL* h, IWORD ldh, const QREAL* g, const QREAL* xlo, const QREAL* xup,
              QREAL* x, QREAL& fobj, IWORD* iperm, IWORD& nfree, QREAL* w);
#endif

}  // namespace orvika
