// RANKI, INDIAG: method 7 of the sparse LU package, row-ordered elimination
// with stored fill rows.
//
// The rows of the ordering that bring a column of their own into play are
// used unchanged as pivot rows.  Only the rows that bring no usable new
// column are eliminated against the earlier pivot rows; each reduced row (a
// fill row) is stored behind the matrix and moved in the order to the place
// where its pivot column first appeared, so that one forward pass over the
// final order gives the solution.  No factors are kept.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "sparselu/lumethods.hpp"

namespace orvika {

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
// A fill-row pivot below this multiple of the largest magnitude its row
// reached during the elimination is dominated by rounding: refused.
constexpr double kFillPivotRel = 1e3 * kEps;
// Rows used unchanged as pivot rows bound the multipliers only through the
// pivot tolerance, so the fill rows can grow geometrically along a chain of
// eliminations.  A solution whose normwise backward error
// ||b - A x|| / (||A|| ||x|| + ||b||) (max norms) exceeds this limit is
// refused: the methods that pivot within their factors stay below it by
// orders of magnitude on the same matrices.
constexpr double kMaxBackwardError = 1e-10;

}  // namespace

void INDIAG(IWORD N, double TOL, IV IRP, IV ICI, RV A, RV W, IV IORN, IV PIVPOS) {
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD r = IORN.get(i);
    if (r <= 0) continue;
    double big = 0.0;
    const IWORD ke = IRP.get(r + 1);
    for (IWORD k = IRP.get(r); k < ke; ++k) big = std::max(big, std::fabs(A.get(k)));
    if (big * TOL > std::fabs(A.get(PIVPOS.get(r)))) IORN(i) = -r;
  }
}

void RANKI(IWORD N, double TOL, IWORD MAXA, IWORD MSGUNIT, IV IRP, IV ICI, RV A, RV B, IWORD NRHS,
           RV X, RV W, IV IORN, IV CMARK, IV PIVPOS, IV SAVEORD, IWORD RNKOPT, IWORD& IERR) {
  if (N < 1) return;
  const bool two = NRHS >= 2;
  auto misfit = [&](std::string_view what) {
    if (MSGUNIT > 0)
      sp_message(MSGUNIT, SpLine().t(what).tag("RANKI"),
                 SpLine().t("THE PREVIOUS ORDERING MUST NOT BE USED"));
    IERR = kSpOrderBad;
  };
  // The matrix must lie in 1..NZ <= MAXA, with columns in 1..N, and IORN
  // must be a signed permutation.
  const IWORD nz = IRP.get(N + 1) - 1;
  if (IRP.get(1) < 1 || nz > MAXA || MAXA > std::min(ICI.size(), A.size())) {
    if (MSGUNIT > 0)
      sp_message(MSGUNIT, SpLine().t("NOT ENOUGH SPACE; MAXA TOO SMALL").tag("RANKI"));
    IERR = kSpNoRoom;
    return;
  }
  for (IWORD r = 1; r <= N; ++r)
    if (IRP.get(r + 1) < IRP.get(r)) return misfit("ROW POINTERS OUT OF RANGE");
  for (IWORD k = 1; k <= nz; ++k) {
    const IWORD c = ICI.get(k);
    if (c < 1 || c > N) return misfit("COLUMN INDEX OUT OF RANGE");
  }
  for (IWORD i = 1; i <= N; ++i) CMARK(i) = 0;
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD r = std::abs(IORN.get(i));
    if (r < 1 || r > N || CMARK.get(r) != 0) return misfit("ROW ORDER IS NOT A PERMUTATION");
    CMARK(r) = 1;
  }

  for (IWORD i = 1; i <= N; ++i) {
    X(i) = B.get(i);
    if (two) X(N + i) = B.get(N + i);
    SAVEORD(i) = IORN.get(i);
    CMARK(i) = 0;
    IORN(i) = std::abs(IORN.get(i));
  }
  auto restore = [&]() {
    for (IWORD i = 1; i <= N; ++i) IORN(i) = SAVEORD.get(i);
  };

  // Each row claims the columns not claimed before it; the largest claimed
  // entry is its pivot (an entry of value 0 never is).
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD r = IORN.get(i);
    double best = 0.0;
    IWORD pos = 0;
    const IWORD ke = IRP.get(r + 1);
    for (IWORD k = IRP.get(r); k < ke; ++k) {
      const IWORD c = ICI.get(k);
      if (CMARK.get(c) != 0) continue;
      CMARK(c) = i;
      const double a = std::fabs(A.get(k));
      if (a > best) {
        best = a;
        pos = k;
      }
    }
    PIVPOS(r) = pos;
    if (pos == 0) IORN(i) = -r;
  }
  if (RNKOPT == 1) INDIAG(N, TOL, IRP, ICI, A, W, IORN, PIVPOS);

  for (IWORD c = 1; c <= N; ++c) W(c) = 0.0;
  IWORD next = IRP.get(N + 1);  // next free position for fill rows

  // Entries LO..HI of the pivot row whose order word is OJ (pivot at P, in
  // column C): a fill row (OJ < 0) from CMARK(C) to the pivot, a row of the
  // matrix whole.
  auto pivot_row = [&](IWORD oj, IWORD p, IWORD c) -> std::pair<IWORD, IWORD> {
    if (oj < 0) return {CMARK.get(c), p};
    return {IRP.get(oj), IRP.get(oj + 1) - 1};
  };

  auto singular = [&](IWORD i) {
    if (MSGUNIT > 0)
      sp_message(MSGUNIT, SpLine().t("MATRIX IS NUMERICALLY SINGULAR AT ROW ").i(i).tag("RANKI"));
    IERR = kSpNumSing;
    for (IWORD c = 1; c <= N; ++c) W(c) = 0.0;
    restore();
  };

  for (IWORD i = 1; i <= N; ++i) {
    if (IORN.get(i) >= 1) continue;
    const IWORD r = std::abs(IORN.get(i));
    double wmax = 0.0;  // largest magnitude the row reaches while it is reduced
    {
      const IWORD ke = IRP.get(r + 1);
      for (IWORD k = IRP.get(r); k < ke; ++k) {
        const double a = W.get(ICI.get(k)) + A.get(k);
        W(ICI.get(k)) = a;
        wmax = std::max(wmax, std::fabs(a));
      }
    }
    // Eliminate the pivot columns of the earlier rows, latest first.
    for (IWORD j = i - 1; j >= 1; --j) {
      const IWORD oj = IORN.get(j);
      const IWORD r1 = std::abs(oj);
      const IWORD p = PIVPOS.get(r1);
      const IWORD c = ICI.get(p);
      const double wc = W.get(c);
      if (wc == 0.0) continue;
      const auto [lo, hi] = pivot_row(oj, p, c);
      const double m = wc / A.get(p);
      for (IWORD q = lo; q <= hi; ++q) {
        const double a = W.get(ICI.get(q)) - A.get(q) * m;
        W(ICI.get(q)) = a;
        wmax = std::max(wmax, std::fabs(a));
      }
      W(c) = 0.0;
      X(r) = X.get(r) - X.get(r1) * m;
      if (two) X(N + r) = X.get(N + r) - X.get(N + r1) * m;
    }
    // Gather the fill row behind the matrix.
    const IWORD s = next;
    IWORD pos = next;
    double v = 0.0;
    for (IWORD c = 1; c <= N; ++c) {
      const double a = W.get(c);
      if (a == 0.0) continue;
      if (pos > MAXA) {
        if (MSGUNIT > 0) {
          write_empty(MSGUNIT);
          write_rec(MSGUNIT, SpLine().t("ELIMINATION TERMINATED AT ROW ").i(i).rec());
          write_rec(MSGUNIT, std::string_view("BECAUSE NOT"));
          write_rec(MSGUNIT, SpLine().t("ENOUGH SPACE; MAXA TOO SMALL").tag("RANKI").rec());
        }
        IERR = kSpNoRoom;
        for (IWORD cc = 1; cc <= N; ++cc) W(cc) = 0.0;
        restore();
        return;
      }
      ICI(pos) = c;
      A(pos) = a;
      W(c) = 0.0;
      v = std::max(v, std::fabs(a));
      ++pos;
    }
    const IWORD e = pos - 1;
    // Pivot of the fill row: among the entries not below v*TOL, the one
    // whose column appeared latest.  A row without one (empty, or TOL > 1)
    // or with a pivot too small to divide by, absolutely or against the
    // magnitudes the row went through, is numerically singular.
    IWORD ch = 0, wmark = 0;
    for (IWORD k = s; k <= e; ++k) {
      if (!(std::fabs(A.get(k)) >= v * TOL)) continue;
      const IWORD cm = CMARK.get(ICI.get(k));
      if (cm >= wmark) {
        wmark = cm;
        ch = k;
      }
    }
    if (ch == 0 || !(std::fabs(A.get(ch)) > 1e-30) || !std::isfinite(wmax) ||
        std::fabs(A.get(ch)) < kFillPivotRel * wmax || wmark < 1 || wmark > i)
      return singular(i);
    {
      const IWORD cc = ICI.get(ch);
      const double a = A.get(ch);
      ICI(ch) = ICI.get(e);
      A(ch) = A.get(e);
      ICI(e) = cc;
      A(e) = a;
    }
    PIVPOS(r) = e;
    for (IWORD k = s; k <= e; ++k) {
      const IWORD c = ICI.get(k);
      if (CMARK.get(c) > wmark) CMARK(c) = wmark;
    }
    CMARK(ICI.get(e)) = s;
    for (IWORD k = i; k > wmark; --k) IORN(k) = IORN.get(k - 1);
    IORN(wmark) = -r;
    next = e + 1;
  }

  // Forward pass over the final order; with two right-hand sides the second
  // pass reuses W after the first solution has gone to X(1..N).
  for (IWORD col = 0; col < (two ? 2 : 1); ++col) {
    const IWORD off = col * N;
    if (col == 1)
      for (IWORD c = 1; c <= N; ++c) W(c) = 0.0;
    for (IWORD k = 1; k <= N; ++k) {
      const IWORD ok = IORN.get(k);
      const IWORD r = std::abs(ok);
      const IWORD p = PIVPOS.get(r);
      const IWORD c = ICI.get(p);
      const auto [lo, hi] = pivot_row(ok, p, c);
      double sum = X.get(off + r);
      for (IWORD q = lo; q <= hi; ++q) sum = sum - A.get(q) * W.get(ICI.get(q));
      W(c) = sum / A.get(p);
    }
    for (IWORD c = 1; c <= N; ++c) X(off + c) = W.get(c);
  }
  restore();

  // Backward error of each solution against the matrix as stored.
  for (IWORD col = 0; col < (two ? 2 : 1); ++col) {
    const IWORD off = col * N;
    // A component that overflowed (a pivot too small to divide by) makes
    // both sides of the test infinite, and NaN drops out of the maxima: a
    // solution or residual that is not finite fails the test itself.
    double rn = 0.0, an = 0.0, xn = 0.0, bn = 0.0;
    bool finite = true;
    for (IWORD r = 1; r <= N; ++r) {
      double s = B.get(off + r), as = 0.0;
      const IWORD ke = IRP.get(r + 1);
      for (IWORD k = IRP.get(r); k < ke; ++k) {
        s -= A.get(k) * X.get(off + ICI.get(k));
        as += std::fabs(A.get(k));
      }
      finite = finite && std::isfinite(s) && std::isfinite(X.get(off + r));
      rn = std::max(rn, std::fabs(s));
      an = std::max(an, as);
      xn = std::max(xn, std::fabs(X.get(off + r)));
      bn = std::max(bn, std::fabs(B.get(off + r)));
    }
    if (!finite || !(rn <= kMaxBackwardError * (an * xn + bn))) {
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t("RESIDUAL OF THE SOLUTION TOO LARGE"),
                   SpLine().t("ELIMINATION IS NUMERICALLY UNSTABLE").tag("RANKI"));
      IERR = kSpNumSing;
      return;
    }
  }
}

}  // namespace orvika
