// LDLTBK: dense symmetric indefinite LDL^T factorisation with complete
// (Bunch-Parlett) diagonal pivoting, and the solve with its factors.
//
// Reference: J. R. Bunch, B. N. Parlett, Direct methods for solving symmetric
// indefinite systems of linear equations, SIAM J. Numer. Anal. 8 (1971).
#include <cmath>
#include <utility>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "qp/qp.hpp"

namespace orvika {
namespace {

using qp_detail::dump_i;
using qp_detail::dump_r;

constexpr double kAlpha = 0.6403882032022076;  // (1 + sqrt 17) / 8
constexpr IWORD kSingular = 129;

// Packed lower triangle by rows: element (i,j) of the symmetric matrix.
struct Packed {
  double* a;
  double& operator()(IWORD i, IWORD j) const {
    if (j > i) std::swap(i, j);
    return a[i * (i - 1) / 2 + j - 1];
  }
};

// Symmetric interchange of rows and columns P < Q over the whole stored
// triangle (the eliminated columns 1..P-1 included).
void swap_sym(Packed& k, IWORD n, IWORD p, IWORD q) {
  if (p == q) return;
  if (p > q) std::swap(p, q);
  for (IWORD c = 1; c < p; ++c) std::swap(k(p, c), k(q, c));
  std::swap(k(p, p), k(q, q));
  for (IWORD c = p + 1; c < q; ++c) std::swap(k(c, p), k(q, c));
  for (IWORD i = q + 1; i <= n; ++i) std::swap(k(i, p), k(i, q));
}

void message(IWORD unit, std::string_view text) {
  write_rec(unit, Rec().X(4).A(text));
  write_empty(unit);
}

// Factorisation; false on a singular pivot block (ISING set).
bool factor(Packed& k, IWORD n, IWORD* iswap, double* dwork, IWORD* ipivot, IWORD& ising,
            IWORD unit, IWORD iprint) {
  const Vec1<IWORD> ISWAP(iswap), IPIVOT(ipivot);
  const Vec1<double> DWORK(dwork);
  ising = 0;
  for (IWORD r = 1; r <= n; ++r) {
    double m = 0;
    for (IWORD j = 1; j <= n; ++j) m = std::fmax(m, std::fabs(k(r, j)));
    // A scale past the range is kept as -m, and the null test below then
    // compares at 2^-64 of the size.
    const double sk = 16.0 * static_cast<double>(n) * m;
    DWORK(r) = std::isinf(sk) && std::isfinite(m) ? -m : sk;
    IPIVOT(r) = r;
  }
  auto interchange = [&](IWORD p, IWORD q) {
    swap_sym(k, n, p, q);
    std::swap(IPIVOT(p), IPIVOT(q));
    std::swap(DWORK(p), DWORK(q));
  };
  auto null_pivot = [&](IWORD s) {
    double d = k(s, s), sk = DWORK(s);
    if (sk < 0) {
      sk = 16.0 * static_cast<double>(n) * std::ldexp(-sk, -64);
      d = std::ldexp(d, -64);
    }
    return !std::isfinite(d) || sk + d == sk;
  };
  IWORD ndet = 0;
  IWORD s = 1;
  while (s <= n - 1) {
    double dmax = 0;
    IWORD r = s;
    for (IWORD j = s; j <= n; ++j)
      if (std::fabs(k(j, j)) > dmax) {
        dmax = std::fabs(k(j, j));
        r = j;
      }
    double omax = dmax;
    IWORD oi = 0, oj = 0;
    for (IWORD i = s; i <= n; ++i)
      for (IWORD j = s; j < i; ++j)
        if (std::fabs(k(i, j)) > omax) {
          omax = std::fabs(k(i, j));
          oi = i;
          oj = j;
        }
    if (kAlpha * omax <= dmax || oi == 0) {
      ISWAP(s) = r;
      interchange(s, r);
      if (iprint > 3) message(unit, "*** 1 BY 1 PIVOT SELECTED ***");
      if (null_pivot(s)) {
        if (iprint > 0) message(unit, "*** NULL 1 BY 1 PIVOT ***");
        ising = kSingular;
        return false;
      }
      const double d = k(s, s);
      for (IWORD i = s + 1; i <= n; ++i) {
        const double u = k(i, s);
        k(i, s) = u / d;
        for (IWORD j = s + 1; j <= i; ++j) k(i, j) -= k(j, s) * u;
      }
      ISWAP(n + s) = 1;
      s += 1;
    } else {
      ISWAP(s) = oj;
      ISWAP(s + 1) = oi;
      interchange(s, oj);
      interchange(s + 1, oi);
      if (iprint > 3) message(unit, "*** 2 BY 2 PIVOT SELECTED ***");
      // Far from unit size the block is tested and applied scaled by a
      // power of two (see Pivot2), so that ac - b^2 neither overflows nor
      // underflows; in range this is the block as it stands.
      const qp_detail::Pivot2 blk(k(s, s), k(s + 1, s), k(s + 1, s + 1));
      const double a = blk.a, b = blk.b, c = blk.c, det = blk.det;
      double t = std::fabs(a * c) + b * b;
      if (t == 0) t = 1;
      t *= static_cast<double>(n);
      if (!std::isfinite(det) || !std::isfinite(t) || std::fabs(det) + t == t) {
        if (iprint > 0) message(unit, "*** SINGULAR 2 BY 2 BLOCK ***");
        ising = kSingular;
        return false;
      }
      dwork[ndet++] = std::ldexp(det, 2 * blk.ex);
      for (IWORD i = s + 2; i <= n; ++i) {
        const double u = k(i, s), v = k(i, s + 1);
        for (IWORD j = s + 2; j < i; ++j) k(i, j) -= k(j, s) * u + k(j, s + 1) * v;
        k(i, s) = std::ldexp((c * u - b * v) / det, -blk.ex);
        k(i, s + 1) = std::ldexp((a * v - b * u) / det, -blk.ex);
        k(i, i) -= k(i, s) * u + k(i, s + 1) * v;
      }
      ISWAP(n + s) = 2;
      ISWAP(n + s + 1) = 0;
      s += 2;
    }
  }
  if (s == n) {
    ISWAP(n) = n;
    if (iprint > 3) message(unit, "*** 1 BY 1 PIVOT SELECTED ***");
    if (null_pivot(n)) {
      if (iprint > 0) message(unit, "*** NULL 1 BY 1 PIVOT ***");
      ising = kSingular;
      return false;
    }
    ISWAP(2 * n) = 1;
  }
  return true;
}

// The block pattern must be that of a factorisation of order N.
bool factors_valid(IWORD n, const IWORD* iswap) {
  const Vec1<const IWORD> ISWAP(iswap);
  for (IWORD s = 1; s <= n; ++s) {
    if (ISWAP(s) < 1 || ISWAP(s) > n) return false;
    const IWORD t = ISWAP(n + s);
    if (t == 2) {
      if (s == n || ISWAP(n + s + 1) != 0) return false;
      ++s;
    } else if (t != 1) {
      return false;
    }
  }
  return true;
}

void solve(const Packed& k, IWORD n, double* b, const IWORD* iswap, const double* dwork) {
  const Vec1<double> B(b);
  const Vec1<const IWORD> ISWAP(iswap);
  for (IWORD s = 1; s <= n; ++s) std::swap(B(s), B(ISWAP(s)));
  for (IWORD s = 1; s <= n - 1; ++s) {
    if (B(s) == 0) continue;
    const IWORD from = ISWAP(n + s) == 2 ? s + 2 : s + 1;
    for (IWORD i = from; i <= n; ++i) B(i) -= k(i, s) * B(s);
  }
  IWORD ndet = 0;
  for (IWORD s = 1; s <= n;) {
    if (ISWAP(n + s) == 2) {
      // The kept determinant serves in range; beyond, the scaled block's.
      const qp_detail::Pivot2 blk(k(s, s), k(s + 1, s), k(s + 1, s + 1));
      const double a = blk.a, bb = blk.b, c = blk.c;
      const double det = blk.ex == 0 ? dwork[ndet] : blk.det;
      ++ndet;
      const double b0 = B(s);
      B(s) = std::ldexp((c * b0 - bb * B(s + 1)) / det, -blk.ex);
      B(s + 1) = std::ldexp((a * B(s + 1) - bb * b0) / det, -blk.ex);
      s += 2;
    } else {
      B(s) /= k(s, s);
      s += 1;
    }
  }
  for (IWORD s = n - 1; s >= 1; --s) {
    const IWORD from = ISWAP(n + s) == 2 ? s + 2 : s + 1;
    double sum = B(s);
    for (IWORD i = from; i <= n; ++i) sum -= k(i, s) * B(i);
    B(s) = sum;
  }
  for (IWORD s = n; s >= 1; --s) std::swap(B(s), B(ISWAP(s)));
}

}  // namespace

void LDLTBK(double* AK, IWORD N, double* BX, IWORD NRHS, IWORD LDB, IWORD JOB, IWORD* ISWAP,
            double* DWORK, IWORD* IPIVOT, IWORD& ISING, IWORD unit, IWORD IPRINT) {
  if (N < 1) {
    ISING = 0;
    return;
  }
  Packed k{AK};
  bool ok = true;
  if (JOB != 2) {
    ok = factor(k, N, ISWAP, DWORK, IPIVOT, ISING, unit, IPRINT);
  } else {
    ok = factors_valid(N, ISWAP);
    ISING = ok ? 0 : kSingular;
  }
  // Several right-hand sides must not overlap: LDB >= N.
  if (ok && JOB != 1 && (NRHS <= 1 || LDB >= N)) {
    const IWORD ld = NRHS > 1 ? LDB : N;
    for (IWORD j = 0; j < NRHS; ++j) solve(k, N, BX + j * ld, ISWAP, DWORK);
  }
  if (IPRINT > 3) {
    dump_i(unit, N, 0, IPIVOT, "IPIVOT    ");
    dump_r(unit, N * (N + 1) / 2, 0, AK, "LDLT      ");
  }
}

}  // namespace orvika
