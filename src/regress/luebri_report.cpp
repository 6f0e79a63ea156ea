// Reports and statistics of ORVK_LUEBRI: input echo, iteration header,
// final report, and the covariance of the parameters from the factor that
// the bounded step of the last iteration left (VCOVAR).
#include <algorithm>
#include <cmath>

#include "frame/hostdata.hpp"
#include "frame/lines.hpp"
#include "frame/units.hpp"
#include "regress/luebri.hpp"

namespace orvika {

void VCOVAR(IWORD n, double* a, IWORD lda, double* wk, IWORD nf) {
  if (nf <= 0) return;
  const Mat1<double> A(a, lda);
  const Vec1<double> cv(wk + n);           // CV(t, t)
  const Vec1<const double> d(wk + 2 * n);  // D(t)
  cv(1) = 1.0 / d(1);
  for (IWORD c = 1; c <= nf - 1; ++c) {
    // Column c of L^-1 below the unit diagonal.
    A(c + 1, c) = -A(c + 1, c);
    for (IWORD r = c + 2; r <= nf; ++r) {
      double s = A(r, c);
      for (IWORD k = c + 1; k <= r - 1; ++k) s += A(r, k) * A(k, c);
      A(r, c) = -s;
    }
    const double dd = 1.0 / d(c + 1);
    cv(c + 1) = dd;
    for (IWORD j = 1; j <= c; ++j) {
      const double fj = A(c + 1, j);
      const double g = dd * fj;
      cv(j) += fj * g;
      for (IWORD q = j + 1; q <= c; ++q) A(q, j) += A(c + 1, q) * g;
      A(c + 1, j) = g;
    }
  }
}

void Luebri::echo() {
  const IWORD u = iunit;
  write_rec(u, Rec().X(3).A("INPUT DATA, Z IS ZM"));
  write_empty(u);
  write_rec(u, "     N,K,IODS,ITER,KDEM,ISV,NDRIV,IBOUND");
  write_rec(u, Rec()
                   .X(5)
                   .I(npar, 4)
                   .I(ndat, 4)
                   .I(iods, 4)
                   .I(*iter, 4)
                   .I(kdem, 4)
                   .I(isv, 4)
                   .I(ndrv, 4)
                   .I(ibound, 4));
  write_empty(u);
  write_rec(u, "     TOLERANCE, STEP SIZE, NUMERICAL DERIVATIVE STEP");
  write_rec(u, Rec().X(2).G(tol, 13, 5).G(stpsiz, 13, 5).G(ssnd, 13, 5));
  echo_counts("     NUMBER OF MEASURED VARIABLES PER DATA POINT MAXIMUM ", nmmax, nmeas);
  echo_counts("     NUMBER OF CONSTRAINTS PER DATA POINT, MAXIMUM,", ncmax, ncons);
  auto zrows = [&](std::string_view label, const double* v) {
    write_empty(u);
    write_rec(u, label);
    for (IWORD j = 1; j <= nmmax; ++j) {
      write_rec(u, Rec().A("     MEASURED VARIABLE ").I(j, 3));
      rows10(v + (j - 1), ndat, nmmax);
    }
  };
  zrows("     Z", zm);
  write_empty(u);
  write_rec(u, "     P");
  rows10(p, npar, 1);
  if (ibound >= 1) {
    write_empty(u);
    write_rec(u, "     LOWER BOUNDS");
    rows10(plow, npar, 1);
    write_empty(u);
    write_rec(u, "     UPPER BOUNDS");
    rows10(pupp, npar, 1);
  }
  zrows("     R", r);
}

void Luebri::header() {
  Rec l1, l2, t2;
  l1.A("0").X(10).A("**********");
  l2.A("0").X(10).A("****** ITERATION NO. ").I(iterno, 4);
  t2 = l2;
  l2.T(80).A("   TIME = ").F(t, 9, 2);
  write_rec(iunit, l1);
  write_rec(iunit, l2);
  if (kprint >= 2) {
    if (host::notime() != 1) t2.T(50).A("   TIME = ").F(t, 9, 2);
    Rec tl[2] = {l1, t2};
    terminal(tl, 2);
  }
}

void Luebri::not_converged(IWORD n) {
  Rec m;
  m.A("0").A("   PROBLEM DID NOT REACH SATISFACTORY CONVERGENCE AFTER ").I(n, 4).A(" ITERATIONS");
  write_rec(iunit, m);
  if (kprint >= 2) terminal(&m, 1);
}

namespace {
void empties(IWORD u, int n) {
  for (int k = 0; k < n; ++k) write_empty(u);
}
}  // namespace

void Luebri::final_report() {
  const IWORD u = iunit;
  write_rec(u, "1");
  if (lform9) {
    write_rec(u, Rec().T(30).A("*****  NONLINEAR LEAST SQUARES PROGRAM  *****"));
    write_rec(u, Rec().T(30).A("*****       GAUSS-NEWTON ALGORITHM      *****"));
  } else {
    write_rec(u, Rec().T(30).A("***** GENERALIZED LEAST SQUARES PROGRAM *****"));
    if (kd != -1)
      write_rec(u, Rec().T(30).A("*****      BRITT-LUECKE ALGORITHM       *****"));
    else
      write_rec(u, Rec().T(30).A("*****         DEMING ALGORITHM          *****"));
  }
  write_rec(u, Rec().T(30).A("*****           FINAL RESULTS           *****"));
  empties(u, 5);
  if (*istat != 0) {
    write_rec(u, Rec().X(10).A("WARNING-PROGRAM DID NOT CONVERGE IN ALLOWED NUMBER OF ITERATIONS"));
    empties(u, 2);
  }
  write_rec(u, Rec().X(10).A("NUMBER OF ITERATIONS     ").I(iterno, 4));
  write_rec(u, Rec().X(10).A("NUMBER OF CALLS TO MODEL ").I(*ncall, 4));
  empties(u, 5);
  write_rec(u, Rec().X(10).A("PARAMETER ESTIMATES"));
  write_empty(u);
  value_lines(u, npar, 5, 10, [&](Rec& rec, IWORD q) { rec.I(q + 1, 6).G(p[q], 16, 7); });
  empties(u, 2);
  write_rec(u, Rec().X(10).A("FINAL FUNCTION VALUES"));
  write_empty(u);
  // (data point, constraint) pairs in order, three to a line.
  value_lines(u, ndat * ncmax, 3, 10, [&](Rec& rec, IWORD q) {
    const IWORD i = q / ncmax + 1, k = q % ncmax + 1;
    if (q % 3 != 0) rec.X(5);
    rec.I(i, 5).I(k, 5).G(F(k, i), 20, 7);
  });
  // The nine-argument report ends here; the statistics are computed all the
  // same (silently), as without a report.
  if (lform9) {
    if (npar < ndat) statistics(false);
    return;
  }
  empties(u, 2);
  write_rec(u, Rec().X(10).A("OBSERVED VARIABLES"));
  write_rec(u, Rec()
                   .X(14)
                   .A("K")
                   .X(4)
                   .A("M")
                   .T(30)
                   .A("MEASURED")
                   .X(12)
                   .A("ESTIMATED")
                   .X(11)
                   .A("ADJUSTMENT"));
  write_empty(u);
  for (IWORD i = 1; i <= ndat; ++i)
    for (IWORD j = 1; j <= nmmax; ++j)
      write_rec(u, Rec()
                       .X(10)
                       .I(i, 5)
                       .I(j, 5)
                       .G(ZM(j, i), 20, 7)
                       .G(Z(j, i), 20, 7)
                       .G(DZ(j, i), 20, 7));
  statistics(true);
}

void Luebri::statistics(bool report) {
  const IWORD u = iunit;
  auto CP = [&](IWORD i, IWORD j) -> double& { return CPACK(j * (j - 1) / 2 + i); };
  VCOVAR(npar, hmat, npar, qpwork, nfree);
  for (IWORD q = 0; q < npar * (npar + 1) / 2; ++q) cpack[q] = 0;
  for (IWORD j = 1; j <= npar; ++j)
    for (IWORD i = 1; i <= j; ++i) H(i, j) = 0;
  for (IWORD t1 = 1; t1 <= nfree; ++t1) {
    const IWORD pp = IPERM(t1);
    H(pp, pp) = QPWORK(npar + t1);
    for (IWORD s = 1; s <= nfree; ++s) {
      if (s == t1) continue;
      const IWORD q = IPERM(s);
      H(std::min(pp, q), std::max(pp, q)) = H(std::max(s, t1), std::min(s, t1));
    }
  }
  for (IWORD j = 1; j <= npar; ++j)
    for (IWORD i = 1; i <= j; ++i) {
      const double d = std::sqrt(H(i, i) * H(j, j));
      CP(i, j) = d > 0 ? H(i, j) / d : 0.0;
    }
  // Column j of the triangle: at most MAXOFF entries above the diagonal,
  // then the diagonal, PER to a line.
  auto tri_rows = [&](int per, int maxoff, bool fixed) {
    for (IWORD j = 1; j <= npar; ++j) {
      const IWORD off = std::min<IWORD>(j - 1, maxoff);
      value_lines(u, off + 1, per, 2, [&](Rec& rec, IWORD q) {
        const double v = q < off ? CP(q + 1, j) : CP(j, j);
        if (fixed)
          rec.F(v, 10, 7);
        else
          rec.G(v, 13, 5);
      });
    }
  };
  if (report) {
    empties(u, 5);
    write_rec(u, Rec().X(10).A("PARAMETER CORRELATION MATRIX"));
    write_empty(u);
    tri_rows(12, 11, true);
  }
  double scale = 1;
  if (npar < ndat) {
    const double s2 = *ssq / static_cast<double>(ndat - npar);
    *sigma = std::sqrt(s2);
    if (report) {
      empties(u, 5);
      write_rec(u, Rec().X(10).A("WEIGHTED SUM OF SQUARES").T(40).D(*ssq, 15, 7));
      write_rec(u, Rec().X(10).A("SIGMA").A(",SQUARED ESTIMATE").T(40).D(s2, 15, 7));
      write_rec(u, Rec().X(10).A("SIGMA ESTIMATE").T(40).D(*sigma, 15, 7));
    }
    if (isv == 0) scale = s2;
  } else {
    *sigma = host::rmisval();
  }
  for (IWORD j = 1; j <= npar; ++j)
    for (IWORD i = 1; i <= j; ++i) CP(i, j) = scale * H(i, j);
  if (report) {
    empties(u, 5);
    write_rec(u, Rec().X(10).A("PARAMETER VARIANCE-COVARIANCE MATRIX"));
    write_empty(u);
    tri_rows(10, 9, false);
  }
  // Returned matrix: unscaled covariance over the parameter scales (a
  // non-positive scale counts as 1).
  auto sq = [&](IWORD k) { return PSCL(k) > 0 ? std::sqrt(PSCL(k)) : 1.0; };
  for (IWORD j = 1; j <= npar; ++j)
    for (IWORD i = 1; i <= j; ++i) CP(i, j) = H(i, j) / (sq(i) * sq(j));
}

}  // namespace orvika
