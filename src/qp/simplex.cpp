// Simplex feasibility check of a QP subproblem's constraints: a phase-1
// simplex on a sparse tableau held by rows, the Gauss-Jordan pivot producing
// its new entries as a fill list that is merged into the rows, and the
// evaluation of the point found (active bounds, equality residuals).
//
// Reference: G. B. Dantzig, Linear Programming and Extensions, Princeton
// University Press, 1963 (phase 1 with artificial variables).
#include <algorithm>
#include <cmath>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dumps.hpp"
#include "orvika/qp.h"
#include "frame/views.hpp"
#include "qp/qp.hpp"

namespace orvika {

namespace {

using kkt_detail::dump_i;
using kkt_detail::dump_r;
using kkt_detail::dump_si;
using kkt_detail::dump_sr;
using kkt_detail::size_pr;

// Room of the current check's blocks, known while SOLVER runs (0: not
// known, as for a direct call of the tableau routines); a run that would
// outgrow a block sets FAILED and stops changing the tableau.
struct SpxRoom {
  IWORD ltab = 0;    // entries of JTAB/ATAB, of the merge buffer and of the copy
  IWORD lfill = 0;   // entries of the fill list
  IWORD lnvpiv = 0;  // words of NVPIV
  bool failed = false;
};
SpxRoom g_room;

// Saved state of SOLVER: the bound-violation flag survives into mode 1.
IWORD g_ibound = 0;

inline IWORD unit() { return nlpint(ORVK_NLPINT_SPXUNIT); }
inline IWORD level() { return nlpint(ORVK_NLPINT_SPXLVUSE); }
inline double& epslon() { return nlprea(ORVK_NLPREA_SPXTOL1); }

// A free-format line of text items.
void free_line(IWORD u, std::string_view a, std::string_view b = {}) {
  Rec r;
  r.list_text(a);
  if (!b.empty()) r.list_text(b);
  write_rec(u, r);
}
void free_line_int(IWORD u, std::string_view a, IWORD v) {
  write_rec(u, Rec().list_text(a).list_int(v));
}

void dump_tableau(IWORD u, IWORD nrows, const IWORD* it, const IWORD* jt, const double* at,
                  const char* li, const char* lj, const char* la) {
  dump_i(u, nrows + 1, it, li);
  dump_i(u, it[nrows] - 1, jt, lj);
  dump_r(u, it[nrows] - 1, at, la);
}

// Value of T(ROW, COL), 0 when not stored.
double tval(IWORD row, IWORD col, const IWORD* it, const IWORD* jt, const double* at) {
  IWORD pos = 0;
  SPXFND(row, col, it, jt, nullptr, pos);
  return pos ? at[pos - 1] : 0.0;
}

// Fill list under construction, bounded by the room of the check.
struct Fill {
  IWORD* ifill;
  IWORD* jfill;
  double* afill;
  IWORD n = 0;
  bool add(IWORD r, IWORD c, double v) {
    if (g_room.lfill > 0 && n >= g_room.lfill) {
      g_room.failed = true;
      return false;
    }
    ifill[n] = r, jfill[n] = c, afill[n] = v;
    ++n;
    return true;
  }
};

// The pivot steps 1 to 4 (shared by SPXPIV and SPXITR).
void pivot(IWORD* ITAB, IWORD* JTAB, double* ATAB, IWORD* IFILL, IWORD* JFILL, double* AFILL,
           IWORD PROW, IWORD PCOL, double PIVOT, IWORD NROWS, IWORD NCOLS, IWORD* IA, IWORD* JA,
           double* AV) {
  const Vec1<IWORD> itab(ITAB), jtab(JTAB);
  const Vec1<double> atab(ATAB);
  const IWORD u = unit(), lvl = level();
  if (lvl >= 6) {
    free_line(u, "DATA PASSED TO PIVOTING ROUTINE");
    dump_tableau(u, NROWS, ITAB, JTAB, ATAB, "ITAB", "JTAB", "ATAB");
  }
  const double eps = epslon();
  Fill f{IFILL, JFILL, AFILL};
  const IWORD pb = itab(PROW), pe = itab(PROW + 1);
  for (IWORD r = 1; r <= NROWS; ++r) {
    if (r == PROW) continue;
    IWORD pos = 0;
    SPXFND(r, PCOL, ITAB, JTAB, nullptr, pos);
    if (pos == 0) continue;
    const double fr = atab(pos) / PIVOT;
    // Walk row r and the pivot row together, columns ascending.
    IWORD k = itab(r);
    const IWORD ke = itab(r + 1);
    for (IWORD q = pb; q < pe; ++q) {
      const IWORD c = jtab(q);
      while (k < ke && jtab(k) < c) ++k;
      if (k < ke && jtab(k) == c) {
        double v = c == PCOL ? 0.0 : atab(k) - fr * atab(q);
        if (std::fabs(v) < eps) v = 0.0;
        atab(k) = v;
      } else if (c != PCOL) {
        if (!f.add(r, c, -fr * atab(q))) return;
      }
    }
  }
  for (IWORD q = pb; q < pe; ++q) atab(q) /= PIVOT;
  SPXSHF(ITAB, JTAB, ATAB, IFILL, JFILL, AFILL, f.n, IA, JA, AV, NROWS, NCOLS);
}

// Appends fill entries through SPXSHF, with the stage heading and dumps.
void stage(const char* h1, const char* h2, Fill& f, IWORD* ITAB, IWORD* JTAB, double* ATAB,
           IWORD* IA, IWORD* JA, double* AV, IWORD nrows, IWORD ncols) {
  if (g_room.failed) return;
  SPXSHF(ITAB, JTAB, ATAB, f.ifill, f.jfill, f.afill, f.n, IA, JA, AV, nrows, ncols);
  f.n = 0;
  if (level() >= 4) {
    free_line(unit(), h1, h2 ? std::string_view(h2) : std::string_view());
    dump_tableau(unit(), nrows, ITAB, JTAB, ATAB, "ITAB", "JTAB", "ATAB");
  }
}

void failure(IWORD u, const char* why) {
  free_line(u, "SIMPLEX CHECK FAILED: ", why);
}

}  // namespace

void SPXFND(IWORD J, IWORD K, const IWORD* ITAB, const IWORD* JTAB, const double*, IWORD& POS) {
  const Vec1<const IWORD> itab(ITAB), jtab(JTAB);
  POS = 0;
  for (IWORD q = itab(J); q < itab(J + 1); ++q) {
    if (jtab(q) > K) return;
    if (jtab(q) == K) {
      POS = q;
      return;
    }
  }
}

void SPXSHF(IWORD* ITAB, IWORD* JTAB, double* ATAB, const IWORD* IFILL, const IWORD* JFILL,
            const double* AFILL, IWORD NFILL, IWORD* IA, IWORD* JA, double* AV, IWORD NROWS,
            IWORD) {
  const Vec1<IWORD> itab(ITAB), jtab(JTAB), ia(IA), ja(JA);
  const Vec1<double> atab(ATAB), av(AV);
  const Vec1<const IWORD> ifill(IFILL), jfill(JFILL);
  const Vec1<const double> afill(AFILL);
  const IWORD u = unit(), lvl = level();
  if (NFILL <= 0) {
    if (lvl >= 7) free_line(u, "NO FILLIN");
    return;
  }
  if (lvl >= 7) {
    free_line(u, "DATA PASSED TO SHIFT VECTORS");
    dump_i(u, NFILL, IFILL, "IFILL");
    dump_i(u, NFILL, JFILL, "JFILL");
    dump_r(u, NFILL, AFILL, "AFILL");
    dump_tableau(u, NROWS, ITAB, JTAB, ATAB, "ITAB", "JTAB", "ATAB");
  }
  const double eps = epslon();
  IWORD p = 1, f = 0;
  ia(1) = 1;
  for (IWORD i = 1; i <= NROWS; ++i) {
    IWORD k = itab(i);
    const IWORD ke = itab(i + 1);
    for (;;) {
      const bool fill_here = f < NFILL && ifill(f + 1) == i;
      const bool stored = k < ke;
      if (!fill_here && !stored) break;
      IWORD col;
      double val;
      if (fill_here && (!stored || jfill(f + 1) < jtab(k))) {
        col = jfill(f + 1), val = afill(f + 1), ++f;
      } else {
        col = jtab(k), val = atab(k), ++k;
        if (!(std::fabs(val) > eps)) continue;
      }
      if (g_room.ltab > 0 && p > g_room.ltab) {
        g_room.failed = true;
        return;
      }
      ja(p) = col;
      av(p) = val;
      ++p;
    }
    ia(i + 1) = p;
  }
  for (IWORD i = 0; i <= NROWS; ++i) ITAB[i] = IA[i];
  for (IWORD q = 0; q < p - 1; ++q) JTAB[q] = JA[q], ATAB[q] = AV[q];
  if (lvl >= 7) {
    free_line(u, "VECTORS AFTER SHIFTIN");
    dump_tableau(u, NROWS, ITAB, JTAB, ATAB, "ITAB", "JTAB", "ATAB");
  }
}

void SPXPIV(IWORD* ITAB, IWORD* JTAB, double* ATAB, IWORD* IFILL, IWORD* JFILL, double* AFILL,
            IWORD PROW, IWORD PCOL, double PIVOT, IWORD NROWS, IWORD NCOLS, IWORD, IWORD* IA,
            IWORD* JA, double* AV) {
  pivot(ITAB, JTAB, ATAB, IFILL, JFILL, AFILL, PROW, PCOL, PIVOT, NROWS, NCOLS, IA, JA, AV);
}

void SPXITR(IWORD* ITAB, IWORD* JTAB, double* ATAB, IWORD NROWS, IWORD NCOLS, double* XSOL,
            IWORD* NVPIV, IWORD* IA, IWORD* JA, double* AV, IWORD* IFILL, IWORD* JFILL,
            double* AFILL, const double*, IWORD N, const IWORD*, const IWORD*, const double*,
            const double*, const double*, IWORD MEQ, double* ERROR, IWORD UNIT, const double*,
            IWORD* NCOUNT, const IWORD* ITOB, const IWORD* JTOB, const double* ATOB) {
  const Vec1<IWORD> itab(ITAB), jtab(JTAB), nvpiv(NVPIV), ncount(NCOUNT);
  const Vec1<double> atab(ATAB), xsol(XSOL), error(ERROR);
  const Vec1<const IWORD> itob(ITOB), jtob(JTOB);
  const Vec1<const double> atob(ATOB);
  const IWORD u = unit(), lvl = level();
  const IWORD ninspc = nlpint(ORVK_NLPINT_NINSPC);
  const IWORD lastcol = ninspc + 2 * N;  // columns that may enter
  IWORD iterno = 0;
  IWORD lastcount = 0;
  bool examine = true;  // steps 1 to 5 run before the next iteration

  auto rhs_of = [&](IWORD row) { return tval(row, NCOLS, ITAB, JTAB, ATAB); };

  for (;;) {
    if (examine) {
      // 1. Cost factors and right-hand sides.
      for (IWORD c = 1; c <= NCOLS; ++c) xsol(c) = 0.0;
      for (IWORD q = itab(NROWS); q < itab(NROWS + 1); ++q) xsol(jtab(q)) = atab(q);
      if (lvl >= 3) dump_r(u, NCOLS, XSOL, "COST FACTS");
      for (IWORD r = 1; r <= NROWS; ++r) xsol(r) = rhs_of(r);
      if (lvl >= 3) dump_r(u, NROWS, XSOL, "RHS");
      if (lvl >= 4) dump_si(u, lastcount, "NVARS PVT");
      if (lvl >= 3) {
        free_line_int(u, "               TABLEAU AFTER ITERATION, ", iterno);
        dump_tableau(u, NROWS, ITAB, JTAB, ATAB, "ITAB", "JTAB", "ATAB");
      }
      // 2. Objective.
      const double objval = -rhs_of(NROWS);
      // 3. Basic solution: a column stored in one row only (not the cost
      // row) takes that row's right-hand side.
      for (IWORD c = 1; c <= NCOLS; ++c) xsol(c) = 0.0, ncount(c) = 0;
      for (IWORD r = 1; r <= NROWS; ++r)
        for (IWORD q = itab(r); q < itab(r + 1); ++q) {
          const IWORD c = jtab(q);
          if (c < NCOLS) ncount(c) += 1;
        }
      for (IWORD c = 1; c <= NCOLS - 1; ++c) {
        if (ncount(c) != 1) continue;
        IWORD row = 0, pos = 0;
        for (IWORD r = 1; r <= NROWS && row == 0; ++r) {
          SPXFND(r, c, ITAB, JTAB, nullptr, pos);
          if (pos) row = r;
        }
        if (row == NROWS) continue;
        xsol(c) = rhs_of(row);
        if (lvl >= 5)
          write_rec(u, Rec().X(5).D(xsol(c), 12, 5).X(3).D(atab(pos), 12, 5).X(5).I(row, 3)
                           .X(3).I(c, 3));
      }
      if (lvl >= 7) dump_i(u, NCOLS - 1, NCOUNT, "NVARS");
      // 4. Residuals of the starting rows.
      for (IWORD r = 1; r <= NROWS; ++r) error(r) = 0.0;
      for (IWORD r = 1; r <= NROWS - 1; ++r) {
        const IWORD b = itob(r), e = itob(r + 1);
        double s = (e > b && jtob(e - 1) == NCOLS) ? atob(e - 1) : 0.0;
        for (IWORD q = b; q < e; ++q)
          if (jtob(q) != NCOLS) s -= atob(q) * xsol(jtob(q));
        error(r) = s;
      }
      // 5. Report of the basic solution.
      if (lvl >= 2) {
        const int times = iterno == 0 ? 2 : 1;
        for (int t = 0; t < times; ++t) {
          write_empty(UNIT);
          write_rec(UNIT, Rec().T(5).A(" SIM. ITERATION NO. ").X(2).I(iterno, 3));
          write_empty(UNIT);
        }
      }
      if (lvl >= 3) dump_i(u, NCOLS, NCOUNT, "NVARS");
      if (lvl >= 2) dump_sr(u, objval, "OBJVAL");
      if (lvl >= 3) dump_r(u, MEQ, ERROR, "ERROR EQ");
      if (lvl >= 2) {
        dump_r(u, lastcol, XSOL, "X VEC");
        dump_r(u, NROWS - 1, XSOL + lastcol, "Y VEC");
      }
    }
    examine = true;

    // 6. Next iteration.
    if (lvl >= 2) {
      write_empty(u);
      write_rec(u, Rec().T(5).A(" SIM. ITERATION NO. ").X(2).I(iterno + 1, 3));
      write_empty(u);
    }
    if (lvl >= 3) dump_sr(u, rhs_of(NROWS), "OBJ. VAL");
    ++iterno;

    // 7. Entering column: the most negative cost, the lower column on ties.
    IWORD L = 0;
    double cmin = 0.0;
    for (IWORD q = itab(NROWS); q < itab(NROWS + 1); ++q) {
      const IWORD c = jtab(q);
      if (c > lastcol) break;
      if (lvl >= 5) {
        dump_si(u, c, "COL NO.");
        dump_sr(u, atab(q), "COST FAC");
      }
      if (atab(q) < cmin) cmin = atab(q), L = c;
    }
    if (L == 0) {
      if (lvl >= 2) {
        write_empty(u);
        write_rec(u, Rec().T(5).A("BASIC SOLUTION REACHED "));
      }
      return;
    }

    // 8. Leaving row: the smallest ratio, the upper row on ties.
    IWORD prow = 0;
    double pmin = 1e30, piv = 0.0;
    for (IWORD r = 1; r <= NROWS - 1; ++r) {
      const double t = tval(r, L, ITAB, JTAB, ATAB);
      if (!(t > 0.0)) continue;
      const double pnow = rhs_of(r) / t;
      if (lvl >= 5) {
        dump_sr(u, pmin, "PMIN");
        dump_sr(u, pnow, "PNOW");
      }
      if (pnow < pmin) pmin = pnow, prow = r, piv = t;
    }
    if (prow == 0) {
      free_line_int(u, "VARIABLE UNBOUNDED", L);
      free_line(6, "VARIABLE UNBOUNDED");
      return;
    }

    // 9. Pivot.
    if (lvl >= 2) {
      free_line_int(u, "PIVOT IS FOUND AT ROW          ", prow);
      free_line_int(u, "COLUMN ENTERING BASIS IS       ", L);
      dump_sr(u, piv, "PIVOT");
    }
    pivot(ITAB, JTAB, ATAB, IFILL, JFILL, AFILL, prow, L, piv, NROWS, NCOLS, IA, JA, AV);
    if (g_room.failed) return;

    // 10. Entries left in the entering column.
    IWORD count = 0;
    for (IWORD r = 1; r <= NROWS; ++r) {
      IWORD pos = 0;
      SPXFND(r, L, ITAB, JTAB, nullptr, pos);
      if (pos) ++count;
    }
    if (g_room.lnvpiv > 0 && iterno > g_room.lnvpiv) {
      g_room.failed = true;
      return;
    }
    nvpiv(iterno) = count;
    lastcount = count;
    if (count == 1) continue;

    // 11. Rerun from the starting tableau with a ten times larger EPSLON.
    dump_i(u, iterno, NVPIV, "NVARS PVT");
    free_line(u, "EPSLON SHOULD BE INCREASED");
    dump_sr(u, epslon(), "OLD EPSLON");
    epslon() *= 10.0;
    dump_sr(u, epslon(), "NEW EPSLON");
    if (!std::isfinite(epslon())) {
      g_room.failed = true;
      return;
    }
    for (IWORD r = 0; r <= NROWS; ++r) ITAB[r] = ITOB[r];
    for (IWORD q = 0; q < itob(NROWS + 1) - 1; ++q) JTAB[q] = JTOB[q], ATAB[q] = ATOB[q];
    free_line(u, "RERUNNING THE PROBLEM WITH NEW EPSLON");
    iterno = 0;
    examine = false;
  }
}

void SOLVER(const IWORD* ICJ, const IWORD* JCJ, const double* ACJ, IWORD MEQ, IWORD MINEQ,
            IWORD NCJ, IWORD N, IWORD* ITAB, IWORD* JTAB, double* ATAB, IWORD* IA, IWORD* JA,
            double* AV, IWORD* IFILL, IWORD* JFILL, double* AFILL, const double* B, double* XSOL,
            double* ERROR, double* BNDU, double* BNDL, IWORD* NVARS, double* RHSOLD,
            IWORD* INVERT, IWORD* ITOB, IWORD* JTOB, double* ATOB, IWORD& NACT, IWORD UNIT,
            double* X, IWORD MODE, IWORD* IACTV, IWORD& IFEAS) {
  const Vec1<const IWORD> icj(ICJ), jcj(JCJ);
  const Vec1<const double> acj(ACJ), b(B);
  const Vec1<IWORD> itab(ITAB), jtab(JTAB);
  const Vec1<double> atab(ATAB), xsol(XSOL), error(ERROR), bndu(BNDU), bndl(BNDL), rhsold(RHSOLD);
  const IWORD u = unit(), lvl = level();
  const IWORD ninspc = nlpint(ORVK_NLPINT_NINSPC);
  const IWORD npair = (MINEQ - ninspc) / 2;
  const bool blocks = MINEQ - ninspc != 2 * N;
  const IWORD kb = blocks ? nlpint(ORVK_NLPINT_VBLK2) : 0;
  const IWORD w = blocks ? nlpint(ORVK_NLPINT_VBLK1) * nlpint(ORVK_NLPINT_VBLK3) : 0;
  const IWORD nfix = blocks ? kb - 2 : 0;
  const IWORD nrows_c = MEQ + nfix + N + ninspc;  // constraint rows
  const IWORD nrows = nrows_c + 1;
  const IWORD lastcol = ninspc + 2 * N;
  const IWORD ncols = lastcol + nrows_c + 1;
  const double tolers = nlprea(ORVK_NLPREA_SPXTOL2);
  IWORD infeasible = 0;

  if (MODE != 1) {
    // 1. Bounds, spread over the variables with the block structure.
    for (IWORD i = 0; i < N; ++i) BNDU[i] = BNDL[i] = 0.0;
    if (!blocks) {
      for (IWORD i = 1; i <= npair; ++i) {
        bndu(i) = b(MEQ + i);
        bndl(i) = -b(MEQ + npair + i);
      }
    } else {
      IWORD src = 0, dst = 0;
      auto take = [&](IWORD cnt) {
        for (IWORD k = 0; k < cnt; ++k, ++src, ++dst) {
          bndu(dst + 1) = b(MEQ + src + 1);
          bndl(dst + 1) = -b(MEQ + npair + src + 1);
        }
      };
      take(w + 2);
      for (IWORD r = 2; r <= kb - 1; ++r) {
        take(w + 1);
        bndu(dst + 1) = bndl(dst + 1) = 0.0;
        ++dst;
      }
      take(w + 2);
    }
    for (IWORD r = 0; r < nrows; ++r) ERROR[r] = 0.0;

    // 2. Input.
    if (lvl >= 3) {
      free_line(u, "IN SOLVER");
      dump_i(u, NCJ + 1, ICJ, "ICJ");
      dump_i(u, icj(NCJ + 1) - 1, JCJ, "JCJ");
      dump_r(u, icj(NCJ + 1) - 1, ACJ, "ACJ");
      dump_r(u, MEQ + MINEQ, B, "RHS");
      dump_r(u, N, BNDU, "BNDU");
      dump_r(u, N, BNDL, "BNDL");
    }

    // 3. Rows over the structural columns.
    IWORD p = 1;
    IWORD row = 0;
    auto put = [&](IWORD c, double v) {
      if (g_room.ltab > 0 && p > g_room.ltab) return false;
      jtab(p) = c, atab(p) = v, ++p;
      return true;
    };
    bool ok = true;
    for (IWORD r = 1; r <= MEQ && ok; ++r) {
      ITAB[row++] = p;
      for (IWORD k = icj(r); k < icj(r + 1) && ok; ++k) ok = put(jcj(k), acj(k));
    }
    for (IWORD r = 1; r <= nfix && ok; ++r) {
      ITAB[row++] = p;
      ok = put((r + 1) * (w + 2), 1.0);
    }
    for (IWORD i = 1; i <= N && ok; ++i) {
      ITAB[row++] = p;
      ok = put(i, 1.0);
    }
    for (IWORD k = 1; k <= ninspc && ok; ++k) {
      ITAB[row++] = p;
      const IWORD r = MEQ + MINEQ - ninspc + k;
      for (IWORD q = icj(r); q < icj(r + 1) && ok; ++q) ok = put(jcj(q), acj(q));
    }
    if (!ok) {
      g_room.failed = true;
      return;
    }
    itab(row + 1) = p;
    if (lvl >= 4) {
      free_line(u, "         TABLEAU AFTER");
      dump_tableau(u, nrows_c, ITAB, JTAB, ATAB, "ITAB", "JTAB", "ATAB");
    }

    // 4. Slack columns for the bound and general rows, then one artificial
    // column for every row.
    Fill f{IFILL, JFILL, AFILL};
    const IWORD first_slack_row = MEQ + nfix + 1;
    for (IWORD r = first_slack_row; r <= nrows_c; ++r) f.add(r, N + r - first_slack_row + 1, 1.0);
    stage("SLACK VARIABLES ", "ADDED FOR INEQUALITIES", f, ITAB, JTAB, ATAB, IA, JA, AV, nrows_c,
          ncols);
    for (IWORD r = 1; r <= nrows_c; ++r) f.add(r, lastcol + r, 1.0);
    stage("AND ALSO FOR EQUALITIES", nullptr, f, ITAB, JTAB, ATAB, IA, JA, AV, nrows_c, ncols);

    // 5. Right-hand sides.
    for (IWORD r = 1; r <= MEQ; ++r) f.add(r, ncols, b(r));
    for (IWORD i = 1; i <= N; ++i) f.add(MEQ + nfix + i, ncols, bndu(i));
    for (IWORD k = 1; k <= ninspc; ++k)
      f.add(MEQ + nfix + N + k, ncols, b(MEQ + MINEQ - ninspc + k));
    stage("                INSERT RHS INTO TABLEAU", nullptr, f, ITAB, JTAB, ATAB, IA, JA, AV,
          nrows_c, ncols);
    if (g_room.failed) return;

    // 6. Shift the variables to their lower bounds.
    for (IWORD r = 1; r <= nrows_c; ++r) {
      double s = 0.0;
      for (IWORD q = itab(r); q < itab(r + 1); ++q)
        if (jtab(q) <= N) s += atab(q) * bndl(jtab(q));
      IWORD pos = 0;
      SPXFND(r, ncols, ITAB, JTAB, nullptr, pos);
      if (pos) {
        atab(pos) -= s;
        rhsold(r) = atab(pos);
      } else {
        rhsold(r) = 0.0;
        if (std::fabs(s) > epslon()) {
          f.add(r, ncols, -s);
          rhsold(r) = -s;
        }
      }
    }
    for (IWORD i = 0; i < N; ++i) BNDU[i] -= BNDL[i];
    stage("VARIABLES SET TO LOWER BOUNDS=0", nullptr, f, ITAB, JTAB, ATAB, IA, JA, AV, nrows_c,
          ncols);
    if (g_room.failed) return;
    if (lvl >= 4) {
      dump_r(u, N, BNDU, "BNDU");
      dump_r(u, N, BNDL, "BNDL");
      dump_r(u, MEQ + MINEQ, B, "RHS");
      dump_r(u, nrows_c, RHSOLD, "RHSOLD");
    }

    // 7. Non-negative right-hand sides: the row is negated, its slack with
    // it (so that the inequality keeps its sense); its artificial keeps +1
    // and starts basic at a positive value.
    for (IWORD r = 1; r <= nrows_c; ++r) {
      if (!(tval(r, ncols, ITAB, JTAB, ATAB) < 0.0)) continue;
      for (IWORD q = itab(r); q < itab(r + 1); ++q)
        if (jtab(q) <= lastcol || jtab(q) == ncols) atab(q) = -atab(q);
    }
    if (lvl >= 4) {
      free_line(u, "RHS MADE POSITIVE");
      dump_tableau(u, nrows_c, ITAB, JTAB, ATAB, "ITAB", "JTAB", "ATAB");
    }

    // 8. Cost row: minus the column sums over the columns that may enter
    // and the right-hand side.
    itab(nrows + 1) = itab(nrows_c + 1);
    for (IWORD c = 1; c <= ncols; ++c) {
      if (c > lastcol && c != ncols) continue;
      double s = 0.0;
      for (IWORD r = 1; r <= nrows_c; ++r) s += tval(r, c, ITAB, JTAB, ATAB);
      f.add(nrows, c, -s);
    }
    stage("COST FACTORS ADDED AND UPDATED", nullptr, f, ITAB, JTAB, ATAB, IA, JA, AV, nrows,
          ncols);
    if (g_room.failed) return;

    // 9. The starting tableau, then the simplex.
    for (IWORD r = 0; r <= nrows; ++r) ITOB[r] = ITAB[r];
    for (IWORD q = 0; q < itab(nrows + 1) - 1; ++q) JTOB[q] = JTAB[q], ATOB[q] = ATAB[q];
    if (lvl >= 4) {
      free_line(u, "THE ORIGINAL COMPLETE TABLEAU");
      dump_tableau(u, nrows, ITOB, JTOB, ATOB, "ITOB", "JTOB", "ATOB");
    }
    SPXITR(ITAB, JTAB, ATAB, nrows, ncols, XSOL, NVARS, IA, JA, AV, IFILL, JFILL, AFILL, BNDU, N,
           ICJ, JCJ, ACJ, B, BNDL, MEQ, ERROR, UNIT, RHSOLD, INVERT, ITOB, JTOB, ATOB);
    if (g_room.failed) return;

    // 10. Back to the original variables.
    for (IWORD i = 0; i < N; ++i) {
      XSOL[i] += BNDL[i];
      BNDU[i] += BNDL[i];
    }

    // 11. Active bounds: upper ones numbered in the list of bounded
    // variables, lower ones after them.
    NACT = 0;
    IWORD skipped = 0;
    for (IWORD j = 1; j <= N; ++j) {
      if (bndu(j) == 0.0 && bndl(j) == 0.0) {
        ++skipped;
        continue;
      }
      if (bndu(j) == bndl(j)) continue;
      if (xsol(j) == bndu(j)) NVARS[NACT++] = j - skipped;
      if (xsol(j) == bndl(j)) NVARS[NACT++] = N + j - 2 * skipped;
    }
    std::sort(NVARS, NVARS + NACT);

    // 12. Bounds and artificial values.
    IFEAS = 0;
    g_ibound = 0;
    for (IWORD j = 1; j <= N; ++j) {
      // The point carries the rounding of a tableau whose values are of the
      // size of the bounds: the margin grows with them (EPSLON within +-1).
      const double tol = epslon() * std::max({1.0, std::fabs(bndl(j)), std::fabs(bndu(j))});
      if (!(xsol(j) <= bndu(j) + tol && xsol(j) >= bndl(j) - tol)) {
        write_rec(u, Rec().list_int(j));
        g_ibound = 1;
      }
    }
    if (lvl >= 3) free_line(u, g_ibound ? "BOUNDS VIOLATED" : "BOUNDS SATISFIED");
    write_empty(u);
    write_rec(u, Rec().A("      SIMPLEX MESSAGES AND RESULTS    "));
    if (lvl >= 3) {
      dump_r(u, N, BNDU, "BNDU");
      dump_r(u, N, BNDL, "BNDL");
    }
    if (lvl >= 0) dump_i(u, NACT, NVARS, "ACTIVE SET");
    if (lvl >= 3) dump_si(u, NACT, "NACT INEQ");
    if (lvl >= 1) {
      dump_r(u, N, XSOL, "X VECTOR");
      dump_r(u, nrows_c, XSOL + lastcol, "Y VECTOR");
    }
    for (IWORD r = 1; r <= nrows_c; ++r)
      if (xsol(lastcol + r) != 0.0) infeasible = 1;
    write_empty(u);
  }

  // 13. Residuals of the equality rows.
  for (IWORD r = 0; r < MEQ + MINEQ + N + ninspc; ++r) ERROR[r] = 0.0;
  if (MODE == 1) {
    infeasible = 0;
    for (IWORD i = 0; i < N; ++i) XSOL[i] = X[i];
  }
  double toterr = 0.0;
  for (IWORD i = 1; i <= MEQ; ++i) {
    double s = b(i);
    for (IWORD k = icj(i); k < icj(i + 1); ++k) s -= acj(k) * xsol(jcj(k));
    error(i) = s;
    if (!(std::fabs(s) <= tolers)) infeasible = 1;  // a not-a-number as well
    toterr += s;
  }

  // 14. Report.
  if (lvl >= 1) dump_si(UNIT, g_ibound, "IBOUND");
  if (lvl >= 0) dump_si(UNIT, infeasible, "INFEASIBLE");
  if (lvl >= 3) {
    write_empty(UNIT);
    free_line(UNIT, infeasible == 1 || g_ibound == 1 ? "INFEASIBLE SET" : "FEASIBLE SET");
  }
  if (infeasible == 1 && lvl >= 1) {
    dump_sr(UNIT, toterr, "TOT ERR EQ");
    dump_r(UNIT, MEQ, ERROR, "ERROR EQ");
  }
  if (lvl >= 0) dump_r(UNIT, MEQ, ERROR, "ERROR EQ");

  // 15. Result.
  if (infeasible == 1 || g_ibound == 1) IFEAS = 1;
  if (MODE == 2) {
    for (IWORD i = 0; i < N; ++i) X[i] = XSOL[i];
    for (IWORD k = 0; k < NACT; ++k) IACTV[k] = NVARS[k];
  }
}

/* SPXCHK: checks whether the constraints of a QP subproblem have a feasible
 * point (phase-1 simplex on a sparse tableau), or checks a given point
 * against the equality rows.
 *   ICJ,JCJ,ACJ in  constraint rows (MEQ equalities, npair upper-bound rows,
 *                   npair lower-bound rows, NINSPC general rows; npair =
 *                   (MINEQ - NINSPC)/2, NINSPC = word 89 of ORVK_NLPINT)
 *   MEQ, MINEQ  in  row counts
 *   B           in  right-hand sides (MEQ + MINEQ)
 *   N           in  number of variables
 *   UNIT        in  output unit (stored in word 82; level word 80 -> 83)
 *   LIWORK, IWORK   integer work, 3u + 128 NZ1 + 7N + MINEQ + NINSPC + MEQ
 *   LRWORK, RWORK   real work, 4E + 2G + 2I + MEQ + MINEQ + 3N words
 *                   (u = NCJ + 3N + 1, NZ1 = ICJ(NCJ+1), NCJ = MEQ + npair,
 *                   E = 26 NZ1, G = MINEQ + NINSPC, I = MEQ + MINEQ + N + NINSPC)
 *   IACT        out offset of the active list in IWORK
 *   NACT        out number of active bounds
 *   X           in/out  the point to check (MODE 1) or the point found (MODE 2)
 *   IACTV       out active list (MODE 2)
 *   MODE        in  0 find a feasible point, 1 check X, 2 as 0 and return X
 *   IFEAS       out 1 constraints violated (in MODE 1 only ever set to 1),
 *                   0 feasible; 2 the check could not be completed (invalid
 *                   data, a work array shorter than its required length, or
 *                   the tableau outgrew its work space)
 * A work array that is too short is reported by its line with the length
 * needed (IFEAS 2, NACT 0); the check never stops the process.
 * CLOSE80 false leaves unit 80 open (the QP solver's phase-1 use).
 * Cost: per simplex iteration one pass over the tableau and one pivot. */
void SPXCHK(const IWORD* ICJ, const IWORD* JCJ, const double* ACJ, IWORD MEQ, IWORD MINEQ,
            const double* B, IWORD N, IWORD UNIT, IWORD LIWORK, IWORD* IWORK, IWORD LRWORK,
            double* RWORK, IWORD& IACT, IWORD& NACT, double* X, IWORD* IACTV, IWORD MODE,
            IWORD& IFEAS, bool CLOSE80) {
  const Vec1<const IWORD> icj(ICJ), jcj(JCJ);
  nlpint(ORVK_NLPINT_SPXUNIT) = UNIT;
  nlpint(ORVK_NLPINT_SPXLVUSE) = nlpint(ORVK_NLPINT_SPXLEVEL);
  const IWORD u = UNIT, lvl = level();
  const IWORD ninspc = nlpint(ORVK_NLPINT_NINSPC);
  epslon() = 1e-12;
  nlprea(ORVK_NLPREA_SPXTOL2) = 1e-3;

  // Data the check relies on: counts, row pointers of all constraint rows,
  // column numbers of the rows it reads, and the variable blocks.
  bool bad = N < 1 || MEQ < 0 || MINEQ < 0 || ninspc < 0 || ninspc > MINEQ;
  const IWORD npair = bad ? 0 : (MINEQ - ninspc) / 2;
  const IWORD ncj = MEQ + npair;
  if (!bad) {
    bad = icj(1) < 1;
    for (IWORD r = 1; r <= MEQ + MINEQ && !bad; ++r) bad = icj(r + 1) < icj(r);
    for (IWORD r = 1; r <= MEQ + MINEQ && !bad; ++r) {
      if (r > MEQ && r <= MEQ + MINEQ - ninspc) continue;
      for (IWORD k = icj(r); k < icj(r + 1) && !bad; ++k) bad = jcj(k) < 1 || jcj(k) > N;
    }
  }
  // Values the check reads: the equality rows in every mode, the bounds and
  // the general rows in a simplex run.  A value that is not finite has no
  // place in the tableau (the merge would drop a not-a-number as negligible).
  for (IWORD r = 1; r <= MEQ + MINEQ && !bad; ++r) {
    const bool general = r > MEQ + MINEQ - ninspc;
    if (r > MEQ && MODE == 1) break;
    bad = !std::isfinite(B[r - 1]);
    if (r > MEQ && !general) continue;
    for (IWORD k = icj(r); k < icj(r + 1) && !bad; ++k) bad = !std::isfinite(ACJ[k - 1]);
  }
  if (!bad && MINEQ - ninspc != 2 * N) {
    const IWORD kb = nlpint(ORVK_NLPINT_VBLK2);
    const IWORD w = nlpint(ORVK_NLPINT_VBLK1) * nlpint(ORVK_NLPINT_VBLK3);
    bad = kb < 2 || w < 0 || kb * (w + 2) != N || npair != N - kb + 2;
  }

  if (MODE == 0) {
    write_empty(u);
    write_rec(u, Rec().A("*****SIMPLEX FEASIBILITY CHECK BEGIN*****"));
    write_empty(u);
  } else if (MODE == 1) {
    write_empty(u);
    write_rec(u, Rec().A("QP SOLUTION FEASIBILITY CHECK BEGIN"));
    write_empty(u);
  }
  auto end_lines = [&] {
    if (MODE == 0) {
      write_empty(u);
      write_rec(u, Rec().A("******SIMPLEX FEASIBILITY CHECK END*****"));
      write_empty(u);
    } else if (MODE == 1) {
      write_empty(u);
      write_rec(u, Rec().A("QP SOLUTION FEASIBILITY CHECK END"));
      write_empty(u);
    }
  };
  if (bad) {
    failure(u, "INVALID CONSTRAINT DATA");
    NACT = 0;
    IFEAS = 2;
    end_lines();
    return;
  }

  const IWORD nz1 = icj(ncj + 1);
  const IWORD e = 26 * nz1, uu = ncj + 3 * N + 1, g = MINEQ + ninspc,
              ii = MEQ + MINEQ + N + ninspc;
  if (lvl >= 4) {
    dump_si(u, N, "N");
    dump_si(u, MEQ, "MEQ");
    dump_si(u, MINEQ, "MINEQ");
    dump_si(u, nlpint(ORVK_NLPINT_NISPEC), "NISPEC");
    dump_si(u, ninspc, "NINSPC");
    dump_si(u, ncj, "NCJ");
    dump_sr(u, epslon(), "EPSLON");
    dump_sr(u, nlprea(ORVK_NLPREA_SPXTOL2), "TOLERS");
  }

  // Integer blocks.
  const IWORD litab = uu, lnv = 3 * N + MINEQ + ninspc, linv = MEQ + 4 * N, lfl = 25 * nz1;
  const IWORD o_itab = 0, o_itob = o_itab + litab, o_jtab = o_itob + litab, o_jtob = o_jtab + e,
              o_ia = o_jtob + e, o_ja = o_ia + litab, o_ifill = o_ja + e, o_jfill = o_ifill + lfl,
              o_nvars = o_jfill + lfl, o_inv = o_nvars + lnv, itot = o_inv + linv;
  IACT = o_nvars;
  if (lvl >= 4) {
    size_pr(u, litab, "I TABLEAU");
    size_pr(u, litab, "I TAB OLD");
    size_pr(u, e, "J TABLEAU");
    size_pr(u, e, "J TAB OLD");
    size_pr(u, litab, "IA VECTOR");
    size_pr(u, e, "JA VECTOR");
    size_pr(u, lfl, "IFILL");
    size_pr(u, lfl, "JFILL");
    size_pr(u, lnv, "NVARS");
    size_pr(u, linv, "INVERT");
  }
  if (LIWORK < itot) {
    write_rec(u, Rec().list_text("INCREASE INTERGER WORK ").list_text("SPACE(SIMPLEX) TO")
                     .list_int(itot));
    NACT = 0;
    IFEAS = 2;
    end_lines();
    return;
  }

  // Real blocks.
  const IWORD lxs = MEQ + MINEQ + 3 * N;
  const IWORD o_atab = 0, o_atob = o_atab + e, o_av = o_atob + e, o_afill = o_av + e,
              o_bndu = o_afill + e, o_bndl = o_bndu + g, o_err = o_bndl + g, o_rhsold = o_err + ii,
              o_xsol = o_rhsold + ii, rtot = o_xsol + lxs;
  if (lvl >= 4) {
    size_pr(u, e, "A TABLEAU");
    size_pr(u, e, "A TAB OLD");
    size_pr(u, e, "A VECTOR");
    size_pr(u, e, "AFILL");
    size_pr(u, g, "BNDU");
    size_pr(u, g, "BNDL");
    size_pr(u, ii, "ERROR");
    size_pr(u, ii, "RHSOLD");
    size_pr(u, lxs, "X SOL");
  }
  if (LRWORK < rtot) {
    write_rec(u, Rec().list_text("INCREASE REAL WORK SPACE ").list_text("(SIMPLEX) TO ")
                     .list_int(rtot));
    NACT = 0;
    IFEAS = 2;
    end_lines();
    return;
  }
  if (lvl >= 4) {
    free_line(u, "CALLING SOLVER ");
    dump_i(u, ncj + 1, ICJ, "ICJ");
    dump_i(u, icj(ncj + 1) - 1, JCJ, "JCJ");
    dump_r(u, icj(ncj + 1) - 1, ACJ, "ACJ");
  }

  // The tableau of this check must fit its blocks: rows in ITAB, ERROR and
  // RHSOLD, columns in XSOL and INVERT (the last blocks of their arrays,
  // which may use the caller's words beyond the required lengths).
  const bool blocks = MINEQ - ninspc != 2 * N;
  const IWORD nfix = blocks ? nlpint(ORVK_NLPINT_VBLK2) - 2 : 0;
  const IWORD nrows = MEQ + nfix + N + ninspc + 1;
  const IWORD ncols = 2 * N + ninspc + nrows;
  g_room = SpxRoom{e, lfl, lnv, false};
  if (MODE != 1 && (nrows + 1 > litab || ncols > LRWORK - o_xsol || ncols > LIWORK - o_inv ||
                    nrows > ii || N > g))
    g_room.failed = true;
  if (!g_room.failed)
    SOLVER(ICJ, JCJ, ACJ, MEQ, MINEQ, ncj, N, IWORK + o_itab, IWORK + o_jtab, RWORK + o_atab,
           IWORK + o_ia, IWORK + o_ja, RWORK + o_av, IWORK + o_ifill, IWORK + o_jfill,
           RWORK + o_afill, B, RWORK + o_xsol, RWORK + o_err, RWORK + o_bndu, RWORK + o_bndl,
           IWORK + o_nvars, RWORK + o_rhsold, IWORK + o_inv, IWORK + o_itob, IWORK + o_jtob,
           RWORK + o_atob, NACT, UNIT, X, MODE, IACTV, IFEAS);
  if (g_room.failed) {
    failure(u, "WORK SPACE OF THE TABLEAU EXCEEDED");
    NACT = 0;
    IFEAS = 2;
  }
  g_room = SpxRoom{};
  if (CLOSE80) unit_close(80);
  end_lines();
}

}  // namespace orvika
