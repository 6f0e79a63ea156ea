// Column grouping and the finite-difference Jacobian of the continuation
// solver.
//
// neq_colgroup partitions the columns of a sparse structure into groups of
// structurally orthogonal columns (no two share a row) by a greedy sweep over
// the columns sorted by decreasing entry count, so that one residual
// evaluation at a point perturbed in all columns of a group yields all of
// them (Curtis, Powell & Reid, J. Inst. Maths Applics 13 (1974) 117-119).
// neq_jacfd forms, or checks against the caller's values, a forward-
// difference Jacobian by reverse communication, one residual per call.
#include <algorithm>
#include <cmath>
#include <limits>

#include "fcont/fcont.hpp"
#include "fcont/fcont_parts.hpp"
#include "frame/format.hpp"
#include "frame/views.hpp"
#include "frame/workspace.hpp"

namespace orvika {

namespace {

constexpr int kLine = fcont::kLineLen;
constexpr int kName = fcont::kNameLen;

// Everything neq_jacfd needs to report a disagreement.
struct Reporter {
  IWORD unit;
  const void* msgrtn;
  const IWORD* lxname;
  const void* xnames;
  const IWORD* lfname;
  const void* fnames;
  const void* namrtn;

  void print(const Rec& r, IWORD spacing) const {
    char line[kLine];
    r.to_text(line, kLine);
    neq_prtbuf(unit, msgrtn, spacing, line);
  }

  // Second line: d(equation)/d(variable), when names are in use.
  void names(IWORD r, IWORD j) const {
    if (lxname[0] == 0 && lfname[0] == 0) return;
    char fn[kName], xn[kName];
    IWORD lf = 0, lx = 0;
    fcont_getname(r, lfname, fnames, namrtn, fn, lf, kName);
    fcont_getname(j, lxname, xnames, namrtn, xn, lx, kName);
    lf = std::clamp<IWORD>(lf, 0, kName);
    lx = std::clamp<IWORD>(lx, 0, kName);
    Rec rec;
    rec.A(" d(").A(std::string_view(fn, static_cast<std::size_t>(lf))).A(")/d(");
    rec.A(std::string_view(xn, static_cast<std::size_t>(lx))).A(")");
    print(rec, 0);
  }

  // Caller's value A at position POS against the difference quotient D.
  void entry(IWORD r, IWORD j, double d, IWORD pos, double a) const {
    Rec rec;
    rec.A(" I, J, NIJ, K, AIJ:").I(r, 6).I(j, 6).G(d, 14, 6, 1).I(pos, 7).G(a, 14, 6, 1);
    print(rec, 10);
    names(r, j);
  }

  // A nonzero quotient D at a row outside the structure.
  void outside(IWORD r, IWORD j, double d) const {
    Rec rec;
    rec.A(" I, J, NIJ:        ").I(r, 6).I(j, 6).X(6).G(d, 14, 6, 1);
    print(rec, 10);
    names(r, j);
  }
};

// True when the caller's value A and the quotient D disagree for a residual
// pair F, FB and the step H.
inline bool disagree(double a, double d, double f, double fb, double h, double difabs,
                     double difrel) {
  // A value that is not a finite number disagrees with any other: the
  // tolerance test below can never hold for it (a NaN compares false, and
  // an infinite value makes the tolerance infinite as well).
  if (!std::isfinite(a) || !std::isfinite(d)) return !(a == d);
  const double noise = 1e-14 * std::max({std::fabs(f), std::fabs(fb), 1.0}) / std::fabs(h);
  return std::fabs(a - d) > noise + difabs + difrel * std::max(std::fabs(a), std::fabs(d));
}

// Perturbed value of X(j) = X: a relative step away from zero, reversed when
// that violates the bounds less.  The point returned always differs from X
// and is finite when X is (a step lost to rounding would make the quotient a
// division by zero).
double perturb(double x, double lb, double ub, bool bounds, double pertf, double xpmin) {
  double delta = std::max(std::fabs(x), xpmin) * pertf;
  if (x < 0.0) delta = -delta;
  const double xp = x + delta;
  double chosen = xp;
  if (bounds && (xp < lb || xp > ub)) {
    const double xm = x - delta;
    auto viol = [&](double z) { return std::max({lb - z, z - ub, 0.0}); };
    if (viol(xp) > viol(xm)) chosen = xm;
  }
  if (std::isfinite(x)) {
    if (!std::isfinite(chosen)) chosen = (chosen == xp) ? x - delta : xp;
    if (chosen == x || !std::isfinite(chosen)) {
      const double dir = (x < 0.0) ? -std::numeric_limits<double>::infinity()
                                   : std::numeric_limits<double>::infinity();
      chosen = std::nextafter(x, dir);
      if (!std::isfinite(chosen)) chosen = std::nextafter(x, -dir);
    }
  }
  return chosen;
}

}  // namespace

void neq_colgroup(IWORD m, IWORD n, IWORD nz, const IWORD* irn, const IWORD* icn, IWORD* jicp,
                  IWORD* jmapz, IWORD& ngrp, IWORD* jigrp, void* s1, void* s2) {
  ngrp = 0;
  if (n <= 0) return;
  if (nz < 0) nz = 0;
  const Vec1<const IWORD> IRN(irn, nz), ICN(icn, nz);
  const Vec1<IWORD> JICP(jicp, n + 1), JMAPZ(jmapz, nz), JIGRP(jigrp, n);
  const IV S1 = WorkSpace(s1, std::max(m, n)).ivec(1);
  const IV S2 = WorkSpace(s2, std::max<IWORD>(m, 0)).ivec(1);
  auto valid = [&](IWORD k) {
    return IRN(k) >= 1 && IRN(k) <= m && ICN(k) >= 1 && ICN(k) <= n;
  };
  // Column counts.
  for (IWORD j = 1; j <= n; ++j) JICP(j) = 0;
  for (IWORD k = 1; k <= nz; ++k)
    if (valid(k)) ++JICP(ICN(k));
  // Histogram of the counts and its prefix sums; a column with more than M
  // entries (repeated positions) is sorted as one with M.
  IWORD t = 0;
  if (m >= 1) {
    for (IWORD c = 1; c <= m; ++c) S1(c) = 0;
    for (IWORD j = 1; j <= n; ++j) {
      const IWORD c = std::min(JICP(j), m);
      if (c > 0) S1(c) = S1(c) + 1;
    }
    for (IWORD c = 2; c <= m; ++c) S1(c) = S1(c) + S1(c - 1);
    t = S1(m);
    // Nonempty columns sorted by count.
    for (IWORD j = 1; j <= n; ++j) {
      const IWORD c = std::min(JICP(j), m);
      if (c <= 0) continue;
      const IWORD pos = S1(c);
      JIGRP(pos) = j;
      S1(c) = pos - 1;
    }
  }
  // Column starts and the entry map by column.
  for (IWORD j = 2; j <= n; ++j) JICP(j) += JICP(j - 1);
  for (IWORD j = 1; j <= n; ++j) JICP(j) += 1;
  JICP(n + 1) = JICP(n);
  const IWORD nvalid = JICP(n + 1) - 1;
  for (IWORD e = nvalid + 1; e <= nz; ++e) JMAPZ(e) = 0;
  for (IWORD k = nz; k >= 1; --k) {
    if (!valid(k)) continue;
    const IWORD c = ICN(k);
    JMAPZ(--JICP(c)) = k;
  }
  // Greedy grouping: columns with more entries first; row marks in S2.
  for (IWORD r = 1; r <= m; ++r) S2(r) = 0;
  IWORD placed = 0, g = 0;
  while (placed < t) {
    ++g;
    for (IWORD pos = t; pos >= 1; --pos) {
      const IWORD j = JIGRP(pos);
      if (j == 0) continue;
      bool clash = false;
      for (IWORD e = JICP(j); e < JICP(j + 1) && !clash; ++e)
        clash = S2(IRN(JMAPZ(e))) == g;
      if (clash) continue;
      for (IWORD e = JICP(j); e < JICP(j + 1); ++e) S2(IRN(JMAPZ(e))) = g;
      JIGRP(pos) = 0;
      ++placed;
      S1(placed) = j;
    }
    S1(placed) = -S1(placed);
  }
  ngrp = (t == 0) ? 1 : g;
  for (IWORD p = 1; p <= t; ++p) JIGRP(p) = S1(p);
  for (IWORD p = t + 1; p <= n; ++p) JIGRP(p) = 0;
}

void neq_jacfd(IWORD istore, IWORD jmode, IWORD m, IWORD n, IWORD nz, double* x, double* f,
               const double* xlb, const double* xub, IWORD& njiter, IWORD ldb, const IWORD* irn,
               double* a, const IWORD* jicp, const IWORD* jmapz, const IWORD* jigrp,
               double pertf, double xpmin, double difrel, double difabs, double* xb, double* fs,
               double* fb, IWORD lubnds, const IWORD* lxname, const void* xnames,
               const IWORD* lfname, const void* fnames, const void* namrtn, IWORD kplunt,
               const void* msgrtn) {
  if (njiter == 0) {
    if (m > 0) std::copy(f, f + m, fs);
    njiter = -1;
    return;
  }
  const bool grouped = (istore == 1 && jmode != 4);
  const bool sparse = (istore == 1);
  // Nothing can be perturbed without columns, without the grouping arrays,
  // or when a dense leading dimension cannot hold M rows.
  const bool workable =
      n > 0 && m > 0 && (sparse ? (jicp && jmapz && (!grouped || jigrp)) : ldb >= m);
  const Vec1<double> X(x, n), F(f, m), XB(xb, n), A(a, nz);
  const Vec1<const double> FB(fb, m), XLB(xlb, n), XUB(xub, n);
  const Vec1<const IWORD> IRN(irn, nz), JICP(jicp, n + 1), JMAPZ(jmapz, nz), JIGRP(jigrp, n);
  const Mat1<double> AD(a, ldb);  // the dense Jacobian (ISTORE not 1)
  const Reporter rep{kplunt, msgrtn, lxname, xnames, lfname, fnames, namrtn};
  auto entry_ok = [&](IWORD k, IWORD& r) {
    if (k < 1 || k > nz) return false;
    r = IRN(k);
    return r >= 1 && r <= m;
  };
  auto check = [&](IWORD r, IWORD j, double d, double h, double aval, IWORD pos, bool inside) {
    if (!disagree(aval, d, F(r), FB(r), h, difabs, difrel) || kplunt == 0) return;
    if (inside) {
      rep.entry(r, j, d, pos, aval);
    } else {
      rep.outside(r, j, d);
    }
  };
  // Quotients of one sparse column J for step H; JMODE 2 stores them, other
  // modes check them.  Each row is restored after use, so a repeated
  // position receives 0 after the first.
  auto sparse_column = [&](IWORD j, double h) {
    const double rh = 1.0 / h;
    for (IWORD e = JICP(j); e < JICP(j + 1); ++e) {
      const IWORD k = JMAPZ(e);
      IWORD r = 0;
      if (!entry_ok(k, r)) continue;
      const double d = (F(r) - FB(r)) * rh;
      if (jmode == 2) {
        A(k) = d;
      } else {
        check(r, j, d, h, A(k), k, true);
      }
      F(r) = FB(r);
    }
  };

  IWORD p = 0;
  if (njiter == -1) {
    if (n > 0) std::copy(x, x + n, xb);
    if (m > 0) std::copy(f, f + m, fb);
    p = 1;
  } else if (grouped) {
    IWORD pos = njiter;
    if (workable) {
      for (; pos <= n; ++pos) {
        const IWORD jj = JIGRP(pos);
        const IWORD j = jj < 0 ? -jj : jj;
        if (j == 0 || j > n) break;
        const double h = X(j) - XB(j);
        X(j) = XB(j);
        sparse_column(j, h);
        if (jj < 0) break;
      }
      std::copy(xb, xb + n, x);
    }
    p = pos + 1;
  } else {
    const IWORD j = njiter;
    if (workable && j <= n) {
      const double h = X(j) - XB(j);
      X(j) = XB(j);
      const double rh = 1.0 / h;
      if (sparse) {
        sparse_column(j, h);
        for (IWORD i = 1; i <= m; ++i) {
          const double d = (F(i) - FB(i)) * rh;
          check(i, j, d, h, 0.0, 0, false);
        }
      } else {
        for (IWORD i = 1; i <= m; ++i) {
          const double d = (F(i) - FB(i)) * rh;
          if (jmode == 2) {
            AD(i, j) = d;
          } else {
            check(i, j, d, h, AD(i, j), i + ldb * (j - 1), true);
          }
        }
      }
      std::copy(xb, xb + n, x);
    }
    p = j + 1;
  }

  // Next perturbation, if any.
  const bool more = workable && p >= 1 && p <= n && (!grouped || JIGRP(p) != 0);
  if (more) {
    njiter = p;
    const bool bounds = lubnds != 0;
    auto perturb_col = [&](IWORD j) {
      X(j) = perturb(X(j), bounds ? XLB(j) : 0.0, bounds ? XUB(j) : 0.0, bounds, pertf, xpmin);
    };
    if (grouped) {
      for (IWORD pos = p; pos <= n; ++pos) {
        const IWORD jj = JIGRP(pos);
        const IWORD j = jj < 0 ? -jj : jj;
        if (j == 0 || j > n) break;
        perturb_col(j);
        if (jj < 0) break;
      }
    } else {
      perturb_col(p);
    }
    return;
  }
  if (m > 0) std::copy(fb, fb + m, f);
  njiter = 0;
}

void neq_prtbuf(IWORD unit, const void* msgrtn, IWORD spacing, const char* text) {
  neq_prtline(unit, msgrtn, spacing, text);
}

}  // namespace orvika
