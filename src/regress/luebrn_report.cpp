// Reports and statistics of ORVK_LUEBRN: input echo, progress lines on the
// report unit and the host terminal, parameter lines (LBWPAR), outcome
// messages, final report, and the covariance, correlation and standard
// deviations of the parameters.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "frame/hostdata.hpp"
#include "frame/lines.hpp"
#include "frame/units.hpp"
#include "orvika/host.h"
#include "regress/luebrn.hpp"

namespace orvika {

void LBWPAR(IWORD iunit, IWORD npar, const double* p, const double* plow, const double* pupp,
            const double* pscl, IWORD mode) {
  std::string_view title;
  if (mode == 1)
    title = "       PARAMETERS ";
  else if (mode == 2)
    title = "         PARAMETERS ";
  else
    title = "     FINAL PARAMETERS ";
  const Vec1<const double> P(p), PLOW(plow), PUPP(pupp), PSCL(pscl);
  write_rec(iunit, " ");
  if (npar <= 0) return;
  // Fields of 14 columns after the title (later lines open with as many
  // blanks), as many as end by column 72.
  const int lead = static_cast<int>(title.size());
  const Rec head = Rec().A(title);
  value_lines(iunit, npar, (72 - (lead + 1)) / 14 + 1, lead, [&](Rec& r, IWORD q) {
    const IWORD k = q + 1;
    const double pk = P(k);
    const double sc = PSCL(k) != 0 ? PSCL(k) : 1.0;  // a zero scale shows P itself
    char field[15];
    std::memset(field, ' ', sizeof field);
    edit_G(field, pk / sc, 13, 5, 0);
    char mark = ' ';
    if (pk <= PLOW(k) + 1e-6 * std::fabs(pk))
      mark = 'L';
    else if (pk + 1e-6 * std::fabs(pk) >= PUPP(k))
      mark = 'U';
    int last = 1;  // 0-based index of column 2
    for (int q2 = 13; q2 >= 1; --q2)
      if (field[q2] != ' ') {
        last = q2 + 1;
        break;
      }
    field[last] = mark;
    r.A(std::string_view(field, 14));  // a mark in column 15 does not show
  }, &head);
}

double Luebrn::pscale(IWORD k) const { return PSCL(k) != 0 ? PSCL(k) : 1.0; }

void Luebrn::echo() {
  const IWORD u = iunit;
  write_rec(u, Rec().X(3).A("INPUT DATA FOR NEW BRITT-LUECKE DATA FITTING (SCALED)"));
  write_empty(u);
  write_rec(u, "     TOL     SSND     NPAR NDAT IODS ITER KDEM  ISV NDRV");
  write_rec(u, Rec()
                   .F(tol, 10, 6)
                   .F(ssnd, 10, 6)
                   .I(npar, 5)
                   .I(ndat, 5)
                   .I(iods, 5)
                   .I(*iter, 5)
                   .I(kdem, 5)
                   .I(isv, 5)
                   .I(ndrv, 5));
  echo_counts("    NUMBER OF MEASURED VARIABLES PER DATA POINT MAXIMUM ", nmmax, nmeas);
  echo_counts("    NUMBER OF CONSTRAINTS PER DATA POINT, MAXIMUM ", ncmax, ncons);
  auto zrows = [&](std::string_view text, const double* a) {
    write_empty(u);
    write_rec(u, text);
    for (IWORD m = 1; m <= nmmax; ++m) {
      const Rec head = Rec().I(m, 5).X(6);
      value_lines(
          u, ndat, 8, 11, [&](Rec& rec, IWORD q) { rec.G(a[(m - 1) + q * nmmax], 13, 5); }, &head);
      // The row format ends its first line with a new record: when exactly
      // eight values fill that line, the new record stays empty.
      if (ndat == 8) write_empty(u);
    }
  };
  zrows("  MEAS ----------- ZM(MEAS,DATA) - MEASURED -----------", zm);
  write_empty(u);
  write_rec(u, "      PARAMETER  LOWER BOUND  UPPER BOUND");
  for (IWORD k = 0; k < npar; ++k)
    write_rec(u, Rec().X(2).G(p[k], 13, 5).G(plow[k], 13, 5).G(pupp[k], 13, 5));
  zrows("  MEAS ----------- R(MEAS,DATA) - STD DEVIATION -------", r);
}

// Result line of iteration K: terminal (TERM) and report, then the parameters.
void Luebrn::iteration_line(IWORD k, bool term) {
  const double rc = std::min(rch, 99.999);
  if (term) {
    Rec t;
    t.A(" ").A(std::string_view(tag, 2)).A("-ITER:").I(k, 4).A("  SSQ:").E(obja, 13, 6);
    t.A("  REL CHANGE:").G(rc, 10, 3);
    if (host::notime() != 1) t.A("  TIME:").F(this->t, 9, 2);
    terminal(&t, 1);
  }
  write_empty(iunit);
  write_rec(iunit, Rec()
                       .X(5)
                       .A("  ITER")
                       .I(k, 4)
                       .A("  SUM OF SQUARES =")
                       .E(obja, 13, 6)
                       .A("  RELATIVE PARAM CHANGE =")
                       .G(rc, 10, 3)
                       .X(1)
                       .A("TIME =")
                       .F(this->t, 9, 2));
  LBWPAR(iunit, npar, p, plow, pupp, pscl, 2);
}

void Luebrn::progress(IWORD k) {
  if (k == 1) {
    Rec t;
    t.A(" STARTING POINT");
    if (host::notime() != 1) t.X(40).A("  TIME:").F(this->t, 9, 2);
    terminal(&t, 1);
    write_empty(iunit);
    write_rec(iunit, Rec().X(5).A("STARTING POINT").X(63).A("TIME =").F(this->t, 9, 2));
    LBWPAR(iunit, npar, p, plow, pupp, pscl, 1);
  }
  const int h = tag[0] == 'B' ? 0 : (tag[0] == 'W' ? 1 : 2);
  if (heads[h] == 0) {
    heads[h] = 1;
    static constexpr std::string_view kHead[3] = {"BRITT-LUECKE ITERATIONS",
                                                  "WEIGHTED LEAST SQUARES ITERATIONS",
                                                  "DEMING ITERATIONS"};
    write_empty(iunit);
    write_rec(iunit, Rec().X(5).A(kHead[h]));
  }
  if (k >= 2) iteration_line(k - 1, true);
}

void Luebrn::gradient_lines() {
  write_empty(iunit);
  write_rec(iunit, "  ---------------- GRADIENT - D(OBJ)/D(P) -------------");
  value_lines(iunit, npar, 8, 11, [&](Rec& r, IWORD k) { r.G(-grad[k], 13, 5); });
}

void Luebrn::lm_line(IWORD n) {
  write_rec(iunit, Rec()
                       .A(" L-M PARAMETER ITERATION NO.")
                       .I(n, 3)
                       .A("  RLM:")
                       .E(rlm, 12, 4)
                       .A(" LEN/LENT:")
                       .E(len / lent, 13, 5));
}

void Luebrn::step_lines() {
  write_empty(iunit);
  write_rec(iunit, "  ----------------- DELP - (PNEW - POLD) --------------");
  value_lines(iunit, npar, 8, 11, [&](Rec& r, IWORD k) { r.G(delp[k], 13, 5); });
}

void Luebrn::causes_block() {
  write_rec(iunit, Rec().X(5).A("MOST LIKELY CAUSES ARE: ***"));
  write_rec(iunit,
            Rec().X(5).A("       INSUFFICIENT NO. OF ADJUSTABLE MEASUREMENTS ").A("- CHECK STD-DEV"));
  write_rec(iunit, Rec().X(5).A("       PHASE COLLAPSING - CHECK ESTIMATED VALUES"));
  write_rec(iunit, Rec().X(5).A("       POOR PARAMETERS, ESTIMATES,  AND/OR DATA"));
}

void Luebrn::constraint_messages() {
  write_empty(iunit);
  write_rec(iunit, Rec().X(5).A("*** CONSTRAINTS CANNOT BE SATISFIED."));
  causes_block();
}

void Luebrn::pass_line(IWORD c) {
  Rec t;
  t.A(" ZM-ITER:").I(c, 4).A("  (ADJ ESTIMATES)    REL ADJUST:").F(reladj, 10, 7);
  terminal(&t, 1);
  write_empty(iunit);
  write_rec(iunit, Rec()
                       .A("     ZM-ITER")
                       .I(c, 4)
                       .A("  (ADJUSTING MEASUREMENTS)     ")
                       .A("  RELATIVE ADJUSTMENT   =")
                       .F(reladj, 10, 7));
}

void Luebrn::adjustment_failed() {
  Rec t;
  t.A(" *** MEASUREMENT ADJUSTMENT FAILED - BRITT-LUECKE IS").A(" LIKELY TO FAIL ***");
  terminal(&t, 1);
  write_rec(iunit, Rec().A("     *** MEASUREMENT ADJUSTMENT FAILED - BRITT-LUECKE IS").A(
                       " LIKELY TO FAIL ***"));
}

namespace {
// Two blank lines and "*** PXR CONVERGED IN n ITERATIONS, BUT " with the cause.
void converged_but(IWORD u, IWORD it, std::string_view cause) {
  write_empty(u);
  write_empty(u);
  write_rec(u, Rec().X(5).A("*** PXR CONVERGED IN").I(it, 5).A(" ITERATIONS, BUT ").A(cause));
}
}  // namespace

void Luebrn::final_report() {
  const IWORD u = iunit;
  {
    const IWORD one = 1;
    VLK_TIMINT(&one, &t0, &t);
  }
  const IWORD it = iterno;
  iteration_line(it, true);
  // Outcome message on the report unit; its terminal copy follows item 5.
  Rec term[4];
  int nterm = 0;
  switch (*istat) {
    case 0:
      write_empty(u);
      write_empty(u);
      write_rec(u, Rec().X(5).A("PXR CONVERGED IN").I(it, 5).A(" ITERATIONS"));
      break;
    case 1:
    case 5: {
      Rec msg;
      if (*istat == 1)
        msg.X(5).A("*** PXR DID NOT CONVERGE IN").I(*iter, 5).A(" ITERATIONS ***");
      else
        msg.X(5).A("*** PXR STOPPED DUE TO ").I(npass, 3).A(" LINE SEARCHES FAILED ***");
      write_empty(u);
      write_empty(u);
      write_rec(u, msg);
      term[2] = msg;
      nterm = 3;
      break;
    }
    case 7:
      converged_but(u, it, "CONSTRAINTS CANNOT BE SATISFIED.");
      causes_block();
      term[1].X(5).A("*** CANNOT SATISFY CONSTRAINTS ***");
      nterm = 2;
      break;
    case 8:
      converged_but(u, it, "CONSTRAINTS ARE NOT TIGHTLY CONVERGED ***");
      term[2].X(5).A("*** PXR CONVERGED IN").I(it, 5).A(" ITERATIONS,");
      term[3].A("    BUT CONSTRAINTS ARE NOT TIGHTLY CONVERGED ***");
      nterm = 4;
      break;
    default:
      break;
  }
  write_empty(u);
  write_rec(u, Rec().X(5).A("FINAL SUM OF SQUARES IS ").G(*ssq, 13, 6));
  {
    Rec t1;
    t1.A(" FINAL SSQ: ").G(*ssq, 13, 6);
    terminal(&t1, 1);
  }
  LBWPAR(u, npar, p, plow, pupp, pscl, 3);
  if (nfree_qp > 0) {
    for (IWORD k = 1; k <= npar; ++k) {
      bool removed = false;
      for (IWORD q = nfree + 1; q <= nfree_qp; ++q) removed = removed || IPERM(q) == k;
      if (removed) {
        write_empty(u);
        write_rec(u, Rec()
                         .X(5)
                         .A("PARAMETER NO.")
                         .I(k, 4)
                         .A(" HAS LITTLE OR NO")
                         .A(" EFFECT ON DATA FITTING"));
      }
    }
  } else {
    write_empty(u);
    write_rec(u, Rec().X(5).A("ALL PARAMETERS ARE AT LOWER/UPPER BOUNDS"));
  }
  if (nterm > 0 && kprint >= 1) terminal(term, nterm);
  if (kprint < 2) return;
  write_empty(u);
  write_rec(u, " FINAL CONSTRAINT FUNCTION VALUES (DATA PT, CONS NO, ERROR)");
  write_empty(u);
  {
    // (data point, constraint) pairs in order, three to a line.
    IWORD count = 0;
    for (IWORD i = 1; i <= ndat; ++i) count += NCONS(i);
    IWORD i = 1, k = 0;
    value_lines(u, count, 3, 0, [&](Rec& rec, IWORD) {
      while (k == NCONS(i)) {
        ++i;
        k = 0;
      }
      ++k;
      rec.I(i, 5).I(k, 5).G(F(k, i), 14, 6);
    });
  }
  if (lform9) return;
  write_empty(u);
  write_rec(u, " OBSERVED VARIABLES");
  write_empty(u);
  write_rec(u, "  DATA MEAS    MEASURED       ESTIMATED       ADJUSTMENT       ADJ/STD");
  write_empty(u);
  for (IWORD i = 1; i <= ndat; ++i)
    for (IWORD m = 1; m <= NMEAS(i); ++m) {
      const double adj = Z(m, i) - ZM(m, i);
      write_rec(u, Rec()
                       .I(i, 5)
                       .I(m, 5)
                       .X(1)
                       .G(ZM(m, i), 16, 7)
                       .G(Z(m, i), 16, 7)
                       .G(adj, 16, 7)
                       .G(adj / R(m, i), 16, 7));
    }
}

// CPACK := the free block of HMAT in IPERM order, scaled to a unit diagonal
// (the correlation form, free of the parameters' units).
void Luebrn::scaled_free_block() {
  for (IWORD rr = 1; rr <= nfree; ++rr)
    for (IWORD s = 1; s <= rr; ++s) {
      const IWORD a = IPERM(rr), b = IPERM(s);
      CPACK(rr * (rr - 1) / 2 + s) =
          H(std::min(a, b), std::max(a, b)) / (std::sqrt(H(a, a)) * std::sqrt(H(b, b)));
    }
}

// Removes from the free list of the last quadratic program the parameters
// that the data do not determine: those without any effect (zero diagonal)
// and those whose column of the scaled normal matrix depends on the others
// (a Cholesky pivot of the unit-diagonal matrix below kRankTol).  Judged on
// the scaled matrix, the test does not depend on the parameters' units.
void Luebrn::prune() {
  nfree_qp = nfree;
  for (IWORD q = 1; q <= nfree;) {
    const IWORD k = IPERM(q);
    if (!(H(k, k) > 0) || !std::isfinite(H(k, k))) {
      std::swap(IPERM(q), IPERM(nfree));
      --nfree;
    } else {
      ++q;
    }
  }
  while (nfree > 0) {
    scaled_free_block();
    IWORD irank = 0;
    DMCHOL(cpack, nfree, kRankTol, irank);
    if (irank <= 0) break;
    std::swap(IPERM(irank), IPERM(nfree));
    --nfree;
  }
}

void Luebrn::statistics() {
  const IWORD u = iunit;
  // 1-2. The determined free block (prune), scaled, inverted in place and
  // scaled back: (D C D)^-1 = D^-1 C^-1 D^-1 with D the root of the diagonal.
  if (nfree > 0) {
    scaled_free_block();
    IWORD irank = 0;
    DPKINV(cpack, nfree, kRankTol, irank);
    for (IWORD rr = 1; rr <= nfree; ++rr)
      for (IWORD s = 1; s <= rr; ++s) {
        const IWORD a = IPERM(rr), b = IPERM(s);
        CPACK(rr * (rr - 1) / 2 + s) /= std::sqrt(H(a, a)) * std::sqrt(H(b, b));
      }
  }
  // 3. HMAT := 0, removed parameters get a huge variance.
  for (IWORD q = 0; q < npar * npar; ++q) hmat[q] = 0;
  for (IWORD q = nfree + 1; q <= nfree_qp; ++q) {
    const IWORD k = IPERM(q);
    H(k, k) = static_cast<double>(1e20f);
  }
  // 4. The inverse back into HMAT.
  for (IWORD rr = 1; rr <= nfree; ++rr)
    for (IWORD s = 1; s <= rr; ++s) {
      const double v = CPACK(rr * (rr - 1) / 2 + s);
      H(IPERM(rr), IPERM(s)) = H(IPERM(s), IPERM(rr)) = v;
    }
  // 5-6. Correlation matrix.
  if (kprint >= 2) {
    write_empty(u);
    write_rec(u, " PARAMETER CORRELATION MATRIX");
    write_empty(u);
  }
  for (IWORD rr = 1; rr <= npar; ++rr) {
    // Row rr of the correlations, stored as it is formed (and printed).
    auto corr = [&](IWORD s) {
      const double d = std::sqrt(H(s, s)) * std::sqrt(H(rr, rr));
      const double c = d > 0 ? H(rr, s) / d : 0.0;
      CPACK(rr * (rr - 1) / 2 + s) = c;
      return c;
    };
    if (kprint >= 2)
      value_lines(u, rr, 12, 2, [&](Rec& rec, IWORD q) { rec.F(corr(q + 1), 10, 7); });
    else
      for (IWORD s = 1; s <= rr; ++s) corr(s);
  }
  // 7. Variance estimate.
  double v = 1;
  if (npar < ndat) {
    const double s2 = *ssq / static_cast<double>(ndat - npar);
    *sigma = std::sqrt(s2);
    if (isv == 0) v = s2;
  } else {
    *sigma = host::rmisval();
  }
  // 8. Standard deviations.
  if (kprint >= 2) {
    write_empty(u);
    write_rec(u, " STANDARD DEVIATION OF PARAMETERS");
    write_empty(u);
    value_lines(u, npar, 10, 2,
                [&](Rec& rec, IWORD q) { rec.G(std::sqrt(v * H(q + 1, q + 1)) / pscale(q + 1), 13, 5); });
  }
  // 9. Covariance matrix.
  for (IWORD rr = 1; rr <= npar; ++rr)
    for (IWORD s = 1; s <= rr; ++s) CPACK(rr * (rr - 1) / 2 + s) = v * H(rr, s);
}

}  // namespace orvika
