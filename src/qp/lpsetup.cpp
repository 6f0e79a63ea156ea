// LP set-ups around the QP solver (phase-1 LP QPINX, descent LP GTX), their
// report QPLPDM, and the two builders of the KKT system (QPKTSP, QPKTPK).
//
// Both LPs take inequality rows 1..N as the upper bounds x_j <= B(MEQ+j) and
// rows N+1..2N as the lower bounds -x_j <= B(MEQ+N+j); the remaining
// MINEQ - 2N inequalities are the general rows.  No LP is solved here: the
// objective value stays 0, so neither result flag is raised.
#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dumps.hpp"
#include "kernels/sparse.hpp"
#include "frame/views.hpp"
#include "qp/qp.hpp"

namespace orvika {
namespace {

using qp_detail::dump_i;
using qp_detail::dump_r;
using qp_detail::dump_si;
using qp_detail::dump_sr;

// Row i (1-based) of a compressed-row matrix: entries IA(i) .. IA(i+1)-1.
struct Rows {
  const IWORD* ia;
  const IWORD* ja;
  const double* a;
  IWORD begin(IWORD i) const { return ia[i - 1]; }
  IWORD end(IWORD i) const { return ia[i]; }
  IWORD col(IWORD k) const { return ja[k - 1]; }
  double val(IWORD k) const { return a[k - 1]; }
};

// The LP rows shared by both set-ups: the equality rows and the general
// inequality rows, each followed by its slack entries when SLACKS is set.
// Fills IRTYPE, BRHS, ICJ/JCJ/CJ, the dense copy in CWORK and the bounds.
void build_lp(bool slacks, IWORD N, IWORD MEQ, IWORD MINEQ, const IWORD* IAC, const IWORD* JAC,
              const double* AC, const double* B, IWORD nvar, IWORD ncon, double* XLB,
              double* XUB, double* BRHS, IWORD* IRTYPE, IWORD* ICJ, IWORD* JCJ, double* CJ,
              IWORD LDC, double* CWORK, IWORD IPRINT, IWORD unit, std::string_view tag) {
  const Vec1<const double> b(B);
  const Vec1<double> xlb(XLB), xub(XUB), brhs(BRHS), cj(CJ);
  const Mat1<double> cwork(CWORK, LDC);
  const Vec1<IWORD> irtype(IRTYPE), icj(ICJ), jcj(JCJ);
  const IWORD ngen = MINEQ - 2 * N;
  for (IWORD i = 1; i <= ncon; ++i) irtype(i) = i <= MEQ ? 0 : 2;
  for (IWORD i = 1; i <= MEQ; ++i) brhs(i) = b(i);
  for (IWORD k = 1; k <= ngen; ++k) brhs(MEQ + k) = -b(MEQ + 2 * N + k);
  if (IPRINT > 2) dump_r(unit, ncon, 0, BRHS, "B_RHS    ");

  Rows ac{IAC, JAC, AC};
  IWORD nz = 0, lprow = 0;
  icj(1) = 1;
  auto put = [&](IWORD c, double v) {
    jcj(nz + 1) = c;
    cj(nz + 1) = v;
    ++nz;
  };
  for (IWORD r = 1; r <= MEQ + MINEQ; ++r) {
    if (r > MEQ && r <= MEQ + 2 * N) continue;
    for (IWORD k = ac.begin(r); k < ac.end(r); ++k) put(ac.col(k), ac.val(k));
    ++lprow;
    if (slacks) {
      if (r <= MEQ) {
        put(N + 2 * r - 1, -1.0);
        put(N + 2 * r, 1.0);
      } else {
        put(N + 2 * MEQ + (r - MEQ - 2 * N), -1.0);
      }
    }
    icj(lprow + 1) = nz + 1;
  }
  if (IPRINT > 1) {
    const std::string_view lab[3][2] = {{"ICJ-QPINX ", "ICJ-GTX   "},
                                        {"JCJ-QPINX ", "JCJ-GTX   "},
                                        {"CJ-QPINX  ", "CJ-GTX    "}};
    const int t = tag == "QPINX" ? 0 : 1;
    dump_i(unit, ncon + 1, 0, ICJ, lab[0][t]);
    dump_i(unit, nz, 0, JCJ, lab[1][t]);
    dump_r(unit, nz, 0, CJ, lab[2][t]);
  }
  for (IWORD j = 1; j <= nvar; ++j)
    for (IWORD i = 1; i <= ncon; ++i) cwork(i, j) = 0;
  for (IWORD i = 1; i <= ncon; ++i)
    for (IWORD k = icj(i); k < icj(i + 1); ++k)
      cwork(i, jcj(k)) = cj(k);
  for (IWORD j = 1; j <= N; ++j) {
    xlb(j) = -b(MEQ + N + j);
    xub(j) = b(MEQ + j);
  }
  for (IWORD j = N + 1; j <= nvar; ++j) {
    xlb(j) = 0;
    xub(j) = -1e30;
  }
}

void message(IWORD unit, std::string_view text) {
  write_empty(unit);
  write_rec(unit, Rec().X(4).A(text));
}

}  // namespace

void QPINX(IWORD N, IWORD MEQ, IWORD MINEQ, const IWORD* IAC, const IWORD* JAC,
           const double* AC, const double* B, double* X, double* OBJC, double* XLB, double* XUB,
           double* BRHS, double* DSOL, IWORD* IRTYPE, IWORD* ICJ, IWORD* JCJ, double* CJ,
           IWORD LDC, double* CWORK, IWORD IPRINT, IWORD& IFLAG) {
  const Vec1<double> objc(OBJC);
  IFLAG = 0;
  double objval = 0;
  if (N < 0 || MEQ < 0 || MINEQ < 2 * N) return;
  const IWORD unit = nlpint(ORVK_NLPINT_QPUNIT);
  const IWORD nvar = N + 2 * MEQ + (MINEQ - 2 * N), ncon = MEQ + (MINEQ - 2 * N);
  for (IWORD j = 1; j <= nvar; ++j) objc(j) = j <= N ? 0.0 : 1.0;
  build_lp(true, N, MEQ, MINEQ, IAC, JAC, AC, B, nvar, ncon, XLB, XUB, BRHS, IRTYPE, ICJ, JCJ,
           CJ, LDC, CWORK, IPRINT, unit, "QPINX");
  QPLPDM(2, nvar, ncon, IRTYPE, LDC, CWORK, OBJC, BRHS, X, DSOL, objval, XLB, XUB, IPRINT);
  if (objval > 1e-6) {
    IFLAG = 1;
    message(unit, "*** THE LINEAR SYSTEM IS INCONSISTENT ***");
  }
}

void GTX(IWORD N, IWORD MEQ, IWORD MINEQ, const double* G, const IWORD* IAC, const IWORD* JAC,
         const double* AC, const double* B, double* X, IWORD* ICJ, IWORD* JCJ, double* CJ,
         double* OBJC, double* XLB, double* XUB, double* BRHS, double* DSOL, IWORD* IRTYPE,
         IWORD LDC, double* CWORK, IWORD IPRINT, IWORD unit, IWORD& IFLAG) {
  const Vec1<const double> g(G);
  const Vec1<double> objc(OBJC);
  IFLAG = 0;
  double objval = 0;
  if (N < 0 || MEQ < 0 || MINEQ < 2 * N) return;
  const IWORD nvar = N, ncon = MEQ + (MINEQ - 2 * N);
  for (IWORD j = 1; j <= N; ++j) objc(j) = g(j);
  build_lp(false, N, MEQ, MINEQ, IAC, JAC, AC, B, nvar, ncon, XLB, XUB, BRHS, IRTYPE, ICJ, JCJ,
           CJ, LDC, CWORK, IPRINT, unit, "GTX");
  QPLPDM(2, nvar, ncon, IRTYPE, LDC, CWORK, OBJC, BRHS, X, DSOL, objval, XLB, XUB, IPRINT);
  if (objval > 0) {
    IFLAG = 1;
    message(unit, "WARNING: NO DESCENT DIRECTION FOR THIS QP PROBLEM");
    write_empty(unit);
  }
}

void QPLPDM(IWORD LPJOB, IWORD NVAR, IWORD NCON, const IWORD* IRTYPE, IWORD LDC,
            const double* CWORK, double* OBJC, const double* BRHS, const double* XSOL,
            const double* DSOL, double& OBJVAL, const double* XLB, const double* XUB,
            IWORD IPRINT) {
  const Vec1<const IWORD> irtype(IRTYPE);
  const IWORD unit = nlpint(ORVK_NLPINT_QPUNIT);
  auto header = [&](std::string_view text) {
    write_empty(unit);
    write_empty(unit);
    write_rec(unit, Rec().X(2).A(text));
  };
  if (LPJOB == 1) {
    if (IPRINT > 1) header("***   MAXIMUM OBJECTIVE FUNCTION   ***");
    for (IWORD j = 0; j < NVAR; ++j) OBJC[j] = -OBJC[j];
  } else if (LPJOB == 2) {
    if (IPRINT >= 2) header("***   MINIMUM OBJECTIVE FUNCTION   ***");
  }
  if (IPRINT > 2) {
    dump_si(unit, NVAR, "NO.VARIAB.");
    dump_si(unit, NCON, "NO.CONSTR.");
    dump_r(unit, NVAR, 0, OBJC, "COEF.OBJ. ");
    if (IPRINT > 3) MRDUMP(unit, LDC, NCON, 0, NVAR, 0, CWORK, "COEF.CONS.");
    for (IWORD i = 1; i <= NCON; ++i) {
      write_empty(unit);
      write_empty(unit);
      Rec r;
      r.X(2);
      switch (irtype(i)) {
        case 1:
          r.A("*CONSTRAINT").I(i, 3).X(2).A("IS LESS EQUALITY CONSTRAINT*");
          break;
        case 2:
          r.A("*CONSTRAINT").I(i, 3).X(2).A("IS GREAT EQUALITY CONSTRAINT*");
          break;
        case 3:
          r.A("***CONSTRAINT").I(i, 3).X(2).A("IS RANGE CONSTRAINTS***");
          break;
        default:
          r.A("***CONSTRAINT").I(i, 3).X(2).A("IS EQUALITY CONSTRAINT***");
      }
      write_rec(unit, r);
    }
    dump_r(unit, NCON, 0, BRHS, "B.VECTOR  ");
    dump_r(unit, NVAR, 0, XLB, "XLB       ");
    dump_r(unit, NVAR, 0, XUB, "XUB       ");
  }
  if (LPJOB == 1) OBJVAL = -OBJVAL;
  if (IPRINT >= 2) {
    dump_sr(unit, OBJVAL, "OBJ.VALUE ");
    dump_r(unit, NVAR, 0, XSOL, "XSOL.     ");
    if (IPRINT > 2) dump_r(unit, NVAR, 0, DSOL, "DUAL.SOLU.");
  }
}

void QPKTSP(IWORD N, const double* G, const IWORD* IAH, const IWORD* JAH, const double* H,
            IWORD MEQ, IWORD MINEQ, const double* B, const IWORD* IAC, const IWORD* JAC,
            const double* AC, IWORD NCACT, double* KTCOEF, IWORD* KTIA, IWORD* KTJA, double* RHS,
            const IWORD* IRACT, IWORD IPRINT) {
  const Vec1<const double> g(G), b(B);
  const Vec1<double> ktcoef(KTCOEF), rhs(RHS);
  const Vec1<IWORD> ktia(KTIA), ktja(KTJA);
  const Vec1<const IWORD> iract(IRACT);
  const IWORD nact = (MINEQ > 0 && NCACT != MEQ) ? nlpint(ORVK_NLPINT_NACTIV) : 0;
  const IWORD k = N + MEQ + nact;
  SMDROP(N, IAH, JAH, H, KTIA, KTJA, KTCOEF);
  IWORD nz = ktia(N + 1) - 1;
  Rows ac{IAC, JAC, AC};
  auto append = [&](IWORD row, IWORD krow) {
    for (IWORD p = ac.begin(row); p < ac.end(row); ++p) {
      ktja(nz + 1) = ac.col(p);
      ktcoef(nz + 1) = ac.val(p);
      ++nz;
    }
    ktia(krow + 1) = nz + 1;
  };
  for (IWORD i = 1; i <= N; ++i) rhs(i) = -g(i);
  for (IWORD i = 1; i <= MEQ; ++i) {
    append(i, N + i);
    rhs(N + i) = b(i);
  }
  for (IWORD j = 1; j <= nact; ++j) {
    append(MEQ + iract(j), N + MEQ + j);
    rhs(N + MEQ + j) = b(MEQ + iract(j));
  }
  if (IPRINT > 2) {
    const IWORD unit = nlpint(ORVK_NLPINT_QPUNIT);
    dump_i(unit, k + 1, 0, KTIA, "KT-IA     ");
    dump_i(unit, nz, 0, KTJA, "KT-JA     ");
    dump_r(unit, nz, 0, KTCOEF, "KT-COEF.  ");
    dump_r(unit, k, 0, RHS, "RHS       ");
  }
}

void QPKTPK(IWORD N, const double* G, const IWORD* IAH, const IWORD* JAH, const double* H,
            IWORD MEQ, IWORD MINEQ, const double* B, const IWORD* IAC, const IWORD* JAC,
            const double* AC, IWORD NCACT, double* AKKT, double* RHS, const IWORD* IRACT) {
  const Vec1<const double> g(G), b(B);
  const Vec1<double> akkt(AKKT), rhs(RHS);
  const Vec1<const IWORD> iract(IRACT);
  const IWORD k = N + NCACT;
  for (IWORD p = 0; p < k * (k + 1) / 2; ++p) AKKT[p] = 0;
  auto at = [&](IWORD r, IWORD c) -> double& { return akkt(r * (r - 1) / 2 + c); };
  Rows hr{IAH, JAH, H};
  for (IWORD r = 1; r <= N; ++r)
    for (IWORD p = hr.begin(r); p < hr.end(r); ++p) at(r, hr.col(p)) += hr.val(p);
  const IWORD nact = (MINEQ > 0 && NCACT != MEQ) ? nlpint(ORVK_NLPINT_NACTIV) : 0;
  Rows ac{IAC, JAC, AC};
  auto put = [&](IWORD row, IWORD krow) {
    for (IWORD p = ac.begin(row); p < ac.end(row); ++p) at(krow, ac.col(p)) += ac.val(p);
  };
  for (IWORD i = 1; i <= N; ++i) rhs(i) = -g(i);
  for (IWORD i = 1; i <= MEQ; ++i) {
    put(i, N + i);
    rhs(N + i) = b(i);
  }
  for (IWORD j = 1; j <= nact; ++j) {
    put(MEQ + iract(j), N + MEQ + j);
    rhs(N + MEQ + j) = b(MEQ + iract(j));
  }
}

}  // namespace orvika
