// Equation-system checks of the continuation solver: the bounds of the
// variables (neq_chkbnd) and the structure and values of the start Jacobian
// (neq_zerorc, neq_empty).  Each finding is reported by name on both message
// units; the counts are returned for the driver to decide on.
#include <cmath>

#include "fcont/fcont.hpp"
#include "fcont/fcont_parts.hpp"
#include "frame/format.hpp"
#include "frame/views.hpp"
#include "frame/workspace.hpp"

namespace orvika {

namespace {

constexpr int kLine = fcont::kLineLen;
constexpr int kName = fcont::kNameLen;

// Display name of item I into NAME (60 characters); returns its length.
int display_name(IWORD i, const IWORD* desc, const void* names, const void* namrtn,
                 char* name) {
  IWORD len = 0;
  fcont_getname(i, desc, names, namrtn, name, len, kName);
  if (len < 0) return 0;
  return len > kName ? kName : static_cast<int>(len);
}

// HEAD + MID + name of item I + SUFFIX as a 132-character line on both
// units, each with one blank line before.
void report(std::string_view head, std::string_view mid, IWORD i, const IWORD* desc,
            const void* names, const void* namrtn, std::string_view suffix, IWORD unit1,
            IWORD unit2, const void* msgrtn) {
  char name[kName];
  const int len = display_name(i, desc, names, namrtn, name);
  Rec r;
  r.A(head).A(mid).A(std::string_view(name, static_cast<std::size_t>(len))).A(suffix);
  char line[kLine];
  r.to_text(line, kLine);
  neq_prtline(unit1, msgrtn, 10, line);
  neq_prtline(unit2, msgrtn, 10, line);
}

// The LEN count words of the equations or of the variables, seen as IWORDs.
IV count_words(void* words, IWORD len) { return WorkSpace(words, len > 0 ? len : 0).ivec(1); }

// Entry counts per equation and per variable of the sparse structure;
// entries outside 1..NEQ or 1..NVAR are passed over.
void count_entries(IWORD neq, IWORD nvar, IWORD nz, const IWORD* irn, const IWORD* icn,
                   const IV& eqcnt, const IV& varcnt) {
  for (IWORD i = 1; i <= neq; ++i) eqcnt(i) = 0;
  for (IWORD j = 1; j <= nvar; ++j) varcnt(j) = 0;
  const Vec1<const IWORD> IRN(irn, nz), ICN(icn, nz);
  for (IWORD k = 1; k <= nz; ++k) {
    const IWORD i = IRN(k), j = ICN(k);
    if (i < 1 || i > neq || j < 1 || j > nvar) continue;
    eqcnt(i) += 1;
    varcnt(j) += 1;
  }
}

// Reports equations and variables without entries; returns their number.
IWORD report_empty(std::string_view who, IWORD neq, IWORD nvar, const IV& eqcnt,
                   const IV& varcnt, const IWORD* lxname, const void* xnames,
                   const IWORD* lfname, const void* fnames, const void* namrtn, IWORD unit1,
                   IWORD unit2, const void* msgrtn) {
  IWORD count = 0;
  for (IWORD i = 1; i <= neq; ++i) {
    if (eqcnt(i) != 0) continue;
    ++count;
    report(who, "!!! Equation ", i, lfname, fnames, namrtn, " has no incidence variable",
           unit1, unit2, msgrtn);
  }
  for (IWORD j = 1; j <= nvar; ++j) {
    if (varcnt(j) != 0) continue;
    ++count;
    report(who, "!!! Variable ", j, lxname, xnames, namrtn, " does not appear in any equation",
           unit1, unit2, msgrtn);
  }
  return count;
}

}  // namespace

void neq_chkbnd(IWORD n, double* x, IWORD lubnds, const double* xlb, const double* xub,
                IWORD dxchk, const double* dxbnd, IWORD& nberr, IWORD& ndxerr,
                const IWORD* lxname, const void* xnames, const void* namrtn, IWORD unit1,
                IWORD unit2, const void* msgrtn) {
  const Vec1<double> X(x, n);
  const Vec1<const double> XLB(xlb, n), XUB(xub, n), DXBND(dxbnd, n);
  nberr = 0;
  if (lubnds == 1) {
    for (IWORD i = 1; i <= n; ++i) {
      const double lo = XLB(i), up = XUB(i);
      double& xi = X(i);
      if (!(lo >= up)) {  // valid pair (a NaN counts as valid)
        if (xi < lo) {
          xi = lo + 0.01 * std::fmin(lo - xi, up - lo);
        } else if (xi > up) {
          xi = up - 0.01 * std::fmin(xi - up, up - lo);
        }
        continue;
      }
      ++nberr;
      report("neq_chkbnd!!! Bounds for variable ", "", i, lxname, xnames, namrtn,
             " are not valid:", unit1, unit2, msgrtn);
      Rec r;
      r.X(17).A("XLB=").G(lo, 14, 6, 1).A("  X=").G(xi, 14, 6, 1).A("  XUB=").G(up, 14, 6, 1);
      char line[kLine];
      r.to_text(line, kLine);
      neq_prtline(unit1, msgrtn, 0, line);
      neq_prtline(unit2, msgrtn, 0, line);
    }
  }
  ndxerr = 0;
  if (dxchk == 1) {
    for (IWORD i = 1; i <= n; ++i) {
      if (!(DXBND(i) <= 0.0)) continue;
      ++ndxerr;
      Rec p;
      p.A("neq_chkbnd!!! Invalid DX Bounds ").D(DXBND(i), 13, 6, 1).A(" for variable ");
      report(p.view(), "", i, lxname, xnames, namrtn, "", unit1, unit2, msgrtn);
    }
  }
}

void neq_zerorc(IWORD istore, IWORD neq, IWORD nvar, IWORD nz, IWORD ldb, const IWORD* irn,
                const IWORD* icn, const double* ajac, void* eqcnt, void* varcnt, IWORD& nzero,
                IWORD& nempty, double* eqmax, double* varmax, const IWORD* lxname,
                const void* xnames, const IWORD* lfname, const void* fnames, const void* namrtn,
                IWORD unit1, IWORD unit2, const void* msgrtn) {
  const Vec1<const IWORD> IRN(irn, nz), ICN(icn, nz);
  const Vec1<double> EQMAX(eqmax, neq), VARMAX(varmax, nvar);
  nzero = 0;
  nempty = 0;
  for (IWORD i = 1; i <= neq; ++i) EQMAX(i) = 0.0;
  for (IWORD j = 1; j <= nvar; ++j) VARMAX(j) = 0.0;
  if (istore == 1) {
    const IV eqc = count_words(eqcnt, neq), varc = count_words(varcnt, nvar);
    count_entries(neq, nvar, nz, irn, icn, eqc, varc);
    const Vec1<const double> AJAC(ajac, nz);
    for (IWORD k = 1; k <= nz; ++k) {
      const IWORD i = IRN(k), j = ICN(k);
      if (i < 1 || i > neq || j < 1 || j > nvar) continue;
      const double v = std::fabs(AJAC(k));
      if (v > EQMAX(i)) EQMAX(i) = v;
      if (v > VARMAX(j)) VARMAX(j) = v;
    }
    nempty = report_empty("neq_zerorc", neq, nvar, eqc, varc, lxname, xnames, lfname,
                          fnames, namrtn, unit1, unit2, msgrtn);
  } else if (ldb >= neq) {
    // A leading dimension below NEQ cannot hold the matrix: no value is read
    // and every row and column shows as all zero.
    const Mat1<const double> AJAC(ajac, ldb);
    for (IWORD j = 1; j <= nvar; ++j) {
      for (IWORD i = 1; i <= neq; ++i) {
        const double v = std::fabs(AJAC(i, j));
        if (v > EQMAX(i)) EQMAX(i) = v;
        if (v > VARMAX(j)) VARMAX(j) = v;
      }
    }
  }
  for (IWORD i = 1; i <= neq; ++i) {
    if (EQMAX(i) != 0.0) continue;
    ++nzero;
    report("neq_zerorc!!! Jacobian for equation ", "", i, lfname, fnames, namrtn, " is all zero",
           unit1, unit2, msgrtn);
  }
  for (IWORD j = 1; j <= nvar; ++j) {
    if (VARMAX(j) != 0.0) continue;
    ++nzero;
    report("neq_zerorc!!! Jacobian for variable ", "", j, lxname, xnames, namrtn, " is all zero",
           unit1, unit2, msgrtn);
  }
}

void neq_empty(IWORD neq, IWORD nvar, IWORD nz, const IWORD* irn, const IWORD* icn, void* eqcnt,
               void* varcnt, IWORD& nerr, const IWORD* lxname, const void* xnames,
               const IWORD* lfname, const void* fnames, const void* namrtn, IWORD unit1,
               IWORD unit2, const void* msgrtn) {
  const IV eqc = count_words(eqcnt, neq), varc = count_words(varcnt, nvar);
  count_entries(neq, nvar, nz, irn, icn, eqc, varc);
  nerr = report_empty("neq_empty", neq, nvar, eqc, varc, lxname, xnames, lfname, fnames,
                      namrtn, unit1, unit2, msgrtn);
}

}  // namespace orvika
