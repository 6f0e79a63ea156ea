// ORVK_LUEBRI: the alternative error-in-variables regression engine, with
// Deming and Britt-Luecke iterations, a bounded step through ORVK_QUADPR and
// a step-factor line search in the Deming iterations.
//
// References: W. E. Deming, Statistical Adjustment of Data (1943);
// H. I. Britt, R. H. Luecke, The estimation of parameters in nonlinear,
// implicit models, Technometrics 15 (1973) 233-247.
#include <algorithm>
#include <cmath>

#include "frame/hostdata.hpp"
#include "frame/lines.hpp"
#include "frame/units.hpp"
#include "orvika/host.h"
#include "orvika/tearconv_newton.h"
#include "regress/luebri.hpp"

namespace orvika {
namespace {
// Objective relative to the size of the weighted measurements that counts as
// an exact fit (residuals at the rounding level of the data).
constexpr double kExactRel = 1e-24;
// Damping factors after stalled searches: the first, and the last one tried.
constexpr double kMuStart = 1e-3, kMuMax = 1e10;
// Damping below which full steps drop it altogether.  It decays by 10 per
// full step: dropping it at once after the first full step that it made
// possible sends the next iteration back to the step that stalled.
constexpr double kMuDrop = 1e-6;
// A search that accepts less than kShortStep of the step finds the linear
// model trusted far beyond its reach: the damping grows by kMuGrow (from
// kMuStart), shortening the next step where the search had to cut it.
constexpr double kShortStep = 0.1, kMuGrow = 3;
}  // namespace

// The model's derivative arguments on value requests: arrays of the full
// sizes of FZ and FP whose contents are not needed at that moment.  FP is
// free until the parameter differences fill it, FPW from the end of the
// gradient to the next weighting (it may share its words with ZPERT, which is
// busy only during the measured-variable differences and the adjustment
// update); FZ reaches only a sixteen-argument model, which gets FZ itself.
double* Luebri::fp_free(bool fp_busy) const { return fp_busy ? fpw : fp; }

void Luebri::call(const double* z1, const double* z2, const double* pp, IWORD req, double* ff,
                  double* ffz, double* ffp) {
  ++*ncall;
  LBFCN(z1, z2, mdat2, pp, ndat, nmmax, nmeas, mdat1, npar, ncmax, ncons, req, ff, ffz, ffp,
        lform9, model, muser);
}

// Derivatives at (Z, P): analytic, or forward / central differences.
void Luebri::derivatives(bool check, bool deming) {
  auto set_fz9 = [&](bool all_rows) {
    for (IWORD i = 1; i <= ndat; ++i) {
      const IWORD nc = NCONS(i);
      const IWORD jm = all_rows ? nmmax : NMEAS(i);
      for (IWORD j = 1; j <= jm; ++j) {
        for (IWORD k = 1; k <= nc; ++k) FZ(k, j, i) = -1;
        if (nc >= 1) DZ(j, i) = -F(nc, i);
      }
    }
  };
  if (ndrv == 0 && !check) {
    call(z, zm, p, 0, f, fz, fp);
    if (lform9) set_fz9(false);
    return;
  }
  const double h = ssnd;
  if (!(iterno >= 2 && deming && iods >= 1) || check) {
    ORVK_PPSCLR.EVALKIND = (iterno <= 1 || check) ? 1 : 2;
    call(z, zm, p, 1, f, fz, fp_free(false));
  }
  ORVK_PPSCLR.EVALKIND = 3;
  for (IWORD i = 1; i <= ndat; ++i)
    for (IWORD j = 1; j <= NMEAS(i); ++j)
      for (IWORD k = 1; k <= NCONS(i); ++k) FZ(k, j, i) = 0;
  const int nsweep = (ndrv == 2 && !check) ? 2 : 1;
  if (!lform9) {
    for (int sw = 1; sw <= nsweep; ++sw) {
      const double c = sw == 1 ? 1 + h : 1 - h, m = sw == 1 ? 1.0 : -2.0;
      for (IWORD q = 0; q < nmmax * ndat; ++q) zpert[q] = z[q];
      for (IWORD j = 1; j <= nmmax; ++j) {
        if (j > 1)
          for (IWORD i = 1; i <= ndat; ++i) ZP(j - 1, i) = Z(j - 1, i);
        for (IWORD i = 1; i <= ndat; ++i)
          if (j <= NMEAS(i)) ZP(j, i) = Z(j, i) == 0 ? (sw == 1 ? h : -h) : Z(j, i) * c;
        call(zpert, zm, p, 1, ftry, fz, fp_free(false));
        for (IWORD i = 1; i <= ndat; ++i) {
          if (j > NMEAS(i)) continue;
          const double xt = Z(j, i) == 0 ? 1.0 : Z(j, i);
          for (IWORD k = 1; k <= NCONS(i); ++k)
            FZ(k, j, i) = ((FTRY(k, i) - F(k, i)) / (h * xt) - FZ(k, j, i)) / m;
        }
      }
    }
  } else {
    set_fz9(true);
  }
  for (IWORD i = 1; i <= ndat; ++i)
    for (IWORD l = 1; l <= npar; ++l)
      for (IWORD k = 1; k <= NCONS(i); ++k) FP(k, l, i) = 0;
  for (int sw = 1; sw <= nsweep; ++sw) {
    const double c = sw == 1 ? 1 + h : 1 - h, m = sw == 1 ? 1.0 : -2.0;
    for (IWORD l = 1; l <= npar; ++l) GRAD(l) = P(l);
    for (IWORD l = 1; l <= npar; ++l) {
      if (l > 1) GRAD(l - 1) = P(l - 1);
      GRAD(l) = P(l) == 0 ? (sw == 1 ? h : -h) : P(l) * c;
      call(z, zm, grad, 1, ftry, fz, fp_free(true));
      const double xt = P(l) == 0 ? 1.0 : P(l);
      for (IWORD i = 1; i <= ndat; ++i)
        for (IWORD k = 1; k <= NCONS(i); ++k)
          FP(k, l, i) = ((FTRY(k, i) - F(k, i)) / (h * xt) - FP(k, l, i)) / m;
    }
  }
}

void Luebri::rows10(const double* v, IWORD n, IWORD stride) {
  value_lines(iunit, n, 10, 2, [&](Rec& r, IWORD q) { r.G(v[q * stride], 13, 5); });
}

void Luebri::derivative_dump(bool check) {
  const IWORD u = iunit;
  if (!lform9) {
    write_empty(u);
    write_rec(u, "     Z");
    for (IWORD j = 1; j <= nmmax; ++j) {
      write_rec(u, Rec().A("     MEASURED VARIABLE ").I(j, 3));
      rows10(z + (j - 1), ndat, nmmax);
    }
  }
  write_empty(u);
  write_rec(u, "     P");
  rows10(p, npar, 1);
  if (!lform9) {
    write_empty(u);
    write_rec(u, "    FZ");
    for (IWORD k = 1; k <= ncmax; ++k) {
      write_rec(u, Rec().A("     CONSTRAINT ").I(k, 3));
      for (IWORD j = 1; j <= nmmax; ++j) {
        write_rec(u, Rec().A("     MEASURED VARIABLE ").I(j, 3));
        rows10(fz + (k - 1) + (j - 1) * ncmax, ndat, ncmax * nmmax);
      }
    }
  }
  write_empty(u);
  write_rec(u, "    FP");
  for (IWORD k = 1; k <= ncmax; ++k) {
    write_rec(u, Rec().A("     CONSTRAINT ").I(k, 3));
    for (IWORD l = 1; l <= npar; ++l) {
      write_rec(u, Rec().A("     PARAMETER ").I(l, 3));
      rows10(fp + (k - 1) + (l - 1) * ncmax, ndat, ncmax * npar);
    }
  }
  if (check) return;
  write_empty(u);
  write_rec(u, "     FUNCTION DEVIATIONS");
  for (IWORD k = 1; k <= ncmax; ++k) {
    write_rec(u, Rec().A("     CONSTRAINT ").I(k, 3));
    rows10(f + (k - 1), ndat, ncmax);
  }
}

namespace {
void gamma_line(IWORD u, double g, double s) {
  write_rec(u, Rec()
                   .A(" ")
                   .A(" GAMMA=")
                   .F(g, 10, 6)
                   .X(10)
                   .A("WEIGHTED SUM OF SQUARES OF RESIDUALS (BASED ON ZM) =")
                   .D(s, 20, 10));
  write_empty(u);
}
}  // namespace

// Step-factor search along -DELP in a Deming iteration; leaves the accepted
// factor in GAMMA and its sum of squares in SLIN.
void Luebri::line_search() {
  const IWORD u = iunit;
  if (iods == 2 || gamma <= 1e-10 * stpsiz) gamma = stpsiz;
  auto show_p = [&](const double* v) {
    write_empty(u);
    write_rec(u, "     P");
    rows10(v, npar, 1);
  };
  if (kprint >= 2) {
    write_rec(u, "0");
    show_p(p);
  }
  if (!lform9)
    call(zm, zm, p, 1, ftry, fz, fp_free(true));
  else
    for (IWORD q = 0; q < ncmax * ndat; ++q) ftry[q] = f[q];
  double g[4] = {0, 0, 0, 0}, s[4] = {0, 0, 0, 0};
  s[1] = DQFORM(ncmax, ncons, ndat, ftry, w);
  const double sbase = s[1];
  double sbest = s[1], gbest = 0;
  if (kprint >= 2) gamma_line(u, 0, s[1]);
  int k = 2, halvings = 0;
  bool halved = false;
  auto trial = [&](double gm) {
    for (IWORD l = 0; l < npar; ++l) grad[l] = p[l] - gm * delp[l];
  };
  double acc_g = 0, acc_s = 0;
  bool interpolate = false;
  for (;;) {
    trial(gamma);
    g[k] = gamma;
    if (kprint >= 2) show_p(grad);
    call(zm, zm, grad, 1, ftry, fz, fp_free(true));
    const double sk = DQFORM(ncmax, ncons, ndat, ftry, w);
    s[k] = sk;
    if (sk < sbest) {
      sbest = sk;
      gbest = gamma;
      for (IWORD q = 0; q < ncmax * ndat; ++q) f[q] = ftry[q];
    }
    if (kprint >= 2) gamma_line(u, gamma, sk);
    if (sk < s[k - 1]) {
      if (halved) {
        interpolate = true;
        break;
      }
      if (k == 3) {
        g[1] = g[2];
        s[1] = s[2];
        g[2] = g[3];
        s[2] = s[3];
      }
      if (gamma < 1) {
        gamma *= 2;
        if (gamma >= 0.9) gamma = 1.0;
        k = 3;
        continue;
      }
      acc_g = gamma;
      acc_s = s[2];
      break;
    }
    if (k == 3) {
      interpolate = true;
      break;
    }
    if (++halvings <= 15) {
      g[3] = gamma;
      s[3] = sk;
      halved = true;
      gamma /= 2;
      k = 2;
      continue;
    }
    acc_g = gbest;
    acc_s = sbest;
    break;
  }
  if (interpolate) {
    if (std::fabs(g[2] - g[1]) >= 1e-10 && std::fabs(g[3] - g[1]) >= 1e-10 &&
        std::fabs(g[3] - g[2]) >= 1e-10) {
      const double m = (s[2] - s[1]) / (g[2] - g[1]);
      const double curv = (s[3] - s[1] - (g[3] - g[1]) * m) / ((g[3] - g[1]) * (g[3] - g[2]));
      // Only a convex parabola has a minimum to move to.
      if (curv > 0) {
        const double v = 0.5 * (g[1] + g[2] - m / curv);
        if (std::isfinite(v)) gamma = v;
      }
    }
    gamma = std::max(0.0, std::min(gamma, 1.0));
    trial(gamma);
    ORVK_PPSCLR.EVALKIND = 2;
    call(zm, zm, grad, 1, ftry, fz, fp_free(true));
    ORVK_PPSCLR.EVALKIND = 3;
    const double sv = DQFORM(ncmax, ncons, ndat, ftry, w);
    if (kprint >= 2) gamma_line(u, gamma, sv);
    // The best point seen stands unless the vertex is at least as good (a
    // vertex where the model failed is not).
    if (!(sv <= sbest)) {
      acc_g = gbest;
      acc_s = sbest;
    } else {
      acc_g = gamma;
      acc_s = sv;
      for (IWORD q = 0; q < ncmax * ndat; ++q) f[q] = ftry[q];
    }
  }
  gamma = acc_g;
  slin = acc_s;
  // A search that found no point below the base makes no progress.
  stalled = !(slin < sbase);
  if (kprint >= 1)
    write_rec(u, Rec()
                     .A("0")
                     .A("  GAMMA FOR MINIMUM =")
                     .D(gamma, 20, 10)
                     .A("  SUM OF SQUARES = ")
                     .G(slin, 20, 10));
}

void Luebri::iteration(bool deming) {
  const IWORD u = iunit;
  derivatives(false, deming);
  if (kprint >= 3 || (kprint == 2 && iterno == 1)) derivative_dump(false);
  // Step 2: weight blocks.
  double vexact = -1;  // found when first needed
  for (IWORD i = 1; i <= ndat; ++i) {
    const IWORD nc = NCONS(i), nm = NMEAS(i);
    for (IWORD k = 1; k <= nc; ++k)
      for (IWORD m = 1; m <= nc; ++m) {
        double sum = 0;
        for (IWORD j = 1; j <= nm; ++j) sum += FZ(k, j, i) * R(j, i) * R(j, i) * FZ(m, j, i);
        W(k, m, i) = sum;
      }
    // A zero variance of a constraint (an exact measurement) would give an
    // infinite weight: it is weighted as in the default engine.
    for (IWORD k = 1; k <= nc; ++k)
      if (W(k, k, i) == 0) {
        if (vexact < 0) vexact = exact_variance(ndat, nmmax, nmeas, ncmax, ncons, fz, r);
        W(k, k, i) = vexact;
      }
  }
  if (ncmax == 1) {
    for (IWORD i = 1; i <= ndat; ++i)
      if (NCONS(i) == 1) W(1, 1, i) = 1.0 / W(1, 1, i);
  } else {
    for (IWORD i = 1; i <= ndat; ++i) {
      const IWORD nc = NCONS(i);
      double* wp = wpack + (i - 1) * lpack;
      for (IWORD m = 1; m <= nc; ++m)
        for (IWORD k = 1; k <= m; ++k) wp[m * (m - 1) / 2 + k - 1] = W(k, m, i);
      IWORD irank = 0;
      DPKINV(wp, nc, 1e-12, irank);
      if (irank != 0)
        write_rec(u, Rec()
                         .X(1)
                         .A("***TROUBLE-DATA POINT ")
                         .I(i, 4)
                         .A(" CONSTRAINT JACOBIAN")
                         .A(" HAS RANK ")
                         .I(irank, 2));
      for (IWORD m = 1; m <= nc; ++m)
        for (IWORD k = 1; k <= m; ++k) W(k, m, i) = W(m, k, i) = wp[m * (m - 1) / 2 + k - 1];
    }
  }
  // Steps 3-4: FPW and the normal matrix (upper triangle).
  for (IWORD i = 1; i <= ndat; ++i) {
    const IWORD nc = NCONS(i);
    for (IWORD l = 1; l <= npar; ++l)
      for (IWORD k = 1; k <= nc; ++k) {
        double sum = 0;
        for (IWORD m = 1; m <= nc; ++m) sum += FP(m, l, i) * W(m, k, i);
        FPW(l, k, i) = sum;
      }
  }
  if (kprint >= 3) write_rec(u, "0  MATRIX INVERSION FOR THIS ITERATION");
  for (IWORD m = 1; m <= npar; ++m)
    for (IWORD l = 1; l <= m; ++l) {
      double sum = 0;
      for (IWORD i = 1; i <= ndat; ++i)
        for (IWORD k = 1; k <= NCONS(i); ++k) sum += FPW(l, k, i) * FP(k, m, i);
      H(l, m) = sum;
    }
  if (kprint >= 3) {
    // The upper triangle by rows, ten values to a line.
    IWORD i = 1, j = 0;
    value_lines(u, npar * (npar + 1) / 2, 10, 2, [&](Rec& r, IWORD) {
      if (++j > npar) j = ++i;
      r.G(H(i, j), 13, 5);
    });
  }
  // Steps 5-6: linearised residuals and gradient.
  for (IWORD i = 1; i <= ndat; ++i)
    for (IWORD k = 1; k <= NCONS(i); ++k) {
      double e = F(k, i);
      if (!lform9)
        for (IWORD j = 1; j <= NMEAS(i); ++j) e += FZ(k, j, i) * DZ(j, i);
      ELIN(k, i) = e;
    }
  for (IWORD l = 1; l <= npar; ++l) {
    double sum = 0;
    for (IWORD i = 1; i <= ndat; ++i)
      for (IWORD k = 1; k <= NCONS(i); ++k) sum += FPW(l, k, i) * ELIN(k, i);
    GRAD(l) = sum;
  }
  nonfinite = false;
  for (IWORD l = 1; l <= npar; ++l)
    if (!std::isfinite(GRAD(l)) || !std::isfinite(H(l, l))) nonfinite = true;
  if (kprint >= 3) {
    write_rec(u, "     GRADIENT");
    rows10(grad, npar, 1);
  }
  // Step 7: bounded step.
  for (IWORD l = 0; l < npar; ++l) {
    stplo[l] = p[l] - pupp[l];
    stpup[l] = p[l] - plow[l];
    delp[l] = 0;
  }
  // Damping after a search that found no lower point: MU times the diagonal
  // is added for the solve, and FPW (free from here to the next weighting)
  // keeps the undamped diagonal meanwhile.
  const bool damped = mu > 0 && ndat >= 1 && ncmax >= 1;
  const Vec1<double> hdiag(fpw);
  if (damped)
    for (IWORD l = 1; l <= npar; ++l) {
      hdiag(l) = H(l, l);
      H(l, l) += mu * H(l, l);
    }
  ORVK_QUADPR(&npar, hmat, &npar, grad, stplo, stpup, delp, &fobj, iperm, &nfree, qpwork);
  // Decrease of the objective predicted by the full undamped step, relative
  // to the objective of the linear model at the current point (a first-order
  // measure: small only where the gradient is small, whatever the damping).
  // A damped step is solved again without the damping for it (into FPW, free
  // again).
  double fund = fobj;
  if (damped) {
    for (IWORD l = 1; l <= npar; ++l) H(l, l) = hdiag(l);
    ORVK_QUADPR(&npar, hmat, &npar, grad, stplo, stpup, fpw, &fund, iperm, &nfree, qpwork);
  }
  obj_base = DQFORM(ncmax, ncons, ndat, elin, w);
  pred_rel = obj_base > 0 ? -2 * fund / obj_base : 0.0;
  // Step 8: line search.
  const bool searched = deming && iods != 0;
  if (searched) line_search();
  // Step 9: parameter update; the factor stays in [0, 1] so that P keeps
  // within its bounds.
  const double c = std::max(0.0, std::min(gamma, 1.0));
  double sum = 0;
  for (IWORD l = 0; l < npar; ++l) {
    const double xt = p[l] == 0 ? std::fabs(delp[l]) : std::fabs(p[l]);
    const double q = delp[l] / std::max(xt, 1e-4);
    sum += q * q;
    // The step is bounded by P - PUPP and P - PLOW, but the difference
    // rounds when P is large against its bound: keep P on the bound then.
    p[l] = std::min(std::max(plow[l], p[l] - c * delp[l]), pupp[l]);
  }
  rms = npar > 0 ? std::sqrt(sum / static_cast<double>(npar)) : 0.0;
  // Step 10: adjustments and objective.
  if (lform9 && iods != 0) {
    *ssq = slin;
  } else if (ndat < 1) {
    *ssq = 0;
  } else {
    double s = 0;
    for (IWORD i = 1; i <= ndat; ++i) {
      const IWORD nc = NCONS(i);
      for (IWORD k = 1; k <= nc; ++k) {
        double t1 = 0;
        for (IWORD l = 1; l <= npar; ++l) t1 += FP(k, l, i) * DELP(l);
        ELIN(k, i) -= c * t1;
      }
      if (!lform9)
        for (IWORD j = 1; j <= NMEAS(i); ++j) {
          double t2 = 0;
          for (IWORD k = 1; k <= nc; ++k) {
            double t3 = 0;
            for (IWORD m = 1; m <= nc; ++m) t3 += W(k, m, i) * ELIN(m, i);
            t2 += FZ(k, j, i) * t3;
          }
          ZP(j, i) = t2;
          DZ(j, i) = t2 * R(j, i) * R(j, i);
        }
      for (IWORD j = 1; j <= NMEAS(i); ++j)
        if (DZ(j, i) != 0) {  // an exact, unadjusted measurement adds nothing
          const double q = DZ(j, i) / R(j, i);
          s += q * q;
        }
    }
    *ssq = s;
  }
  // Step 11: end-of-iteration lines.
  if (kprint >= 2 && !lform9) {
    write_empty(u);
    write_rec(u, Rec().X(5).A("DELZ"));
    for (IWORD j = 1; j <= nmmax; ++j) {
      write_rec(u, Rec().A("     MEASURED VARIABLE ").I(j, 3));
      rows10(delz + (j - 1), ndat, nmmax);
    }
  }
  if (kprint >= 2) {
    write_empty(u);
    write_rec(u, Rec().X(5).A("DELP"));
    rows10(delp, npar, 1);
  }
  if (kprint >= 1) {
    Rec l1, l2, l3, l4;
    l1.A(" ROOT MEAN SQUARE OF RELATIVE DELP ADJUSTMENTS IS").G(rms, 16, 8);
    l2.A(" WEIGHTED SUM OF SQUARES OF DATA ADJUSTMENTS IS ").G(*ssq, 16, 8);
    l3.A("0").A("  ESTIMATES FOR PARAMETERS ARE");
    write_empty(u);
    write_rec(u, l1);
    write_rec(u, l2);
    write_rec(u, l3);
    value_lines(u, npar, 8, 1, [&](Rec& r, IWORD l) { r.G(p[l], 16, 8); });
    if (kprint >= 2) {
      Rec a[2];
      a[1] = l1;
      terminal(a, 2);
      terminal(&l2, 1);
      l4.X(1);
      for (IWORD l = 0; l < std::min<IWORD>(npar, 8); ++l) l4.G(p[l], 16, 8);
      Rec b[2] = {l3, l4};
      terminal(b, 2);
    }
  }
}

void Luebri::final_phase() {
  // The statistics take the factor that the bounded step of the last
  // iteration left: a damped iteration solved its step again undamped, so
  // the factor is that of the normal matrix, with the free set of that step.
  bool callit = true;
  const double *first = z, *second = zm;
  if (lform9) {
    if (ndat >= 1) {
      for (IWORD i = 1; i <= ndat; ++i) {
        const IWORD nc = NCONS(i);
        if (nc < 1) continue;
        DZ(1, i) = -F(nc, i);
        Z(1, i) = ZM(1, i) + F(nc, i);
      }
      callit = false;
    }
  } else if (kd == -1) {
    for (IWORD i = 1; i <= ndat; ++i)
      for (IWORD j = 1; j <= NMEAS(i); ++j) Z(j, i) = ZM(j, i) - DZ(j, i);
    first = zm;
    second = casewd != 0 ? zm : z;
  }
  if (callit) {
    ORVK_CLUEBR.STATUS = -1;
    call(first, second, p, 2, f, fz, fp_free(true));
  }
  ORVK_CLUEBR.STATUS = 0;
  VLK_PPEXT();
  if (iprint >= 1)
    final_report();
  else if (npar < ndat)
    statistics(false);
  *iter = iterno;
  ORVK_PPSCLR.EVALKIND = 0;
}

void Luebri::run() {
  casewd = ORVK_PXRICASE.CASEWD;
  ORVK_CLUEBR.STATUS = 0;
  ORVK_PPSCLR.EVALKIND = 0;
  iunit = host::repunit();
  kd = (kdem >= 0 && kdem < *iter) ? kdem : -1;
  kprint = iprint - 1;
  *ncall = 0;
  *sigma = 0;
  gamma = stpsiz;
  iterno = 0;
  const IWORD one = 1;
  // The bounded step keeps P within its bounds only from a start within
  // them, and the line search would refuse the step that moves an outside
  // start back in (it raises the sum of squares): start from the bounds.
  for (IWORD k = 0; k < npar; ++k) p[k] = std::min(std::max(plow[k], p[k]), pupp[k]);
  if (kprint >= 2) echo();
  if (kprint >= 2 && ndrv == 0) {
    write_rec(iunit, "0NUMERICAL DERIVATIVES FOR CHECKING ANALYTICAL DERIVATIVES");
    for (IWORD i = 1; i <= ndat; ++i)
      for (IWORD j = 1; j <= NMEAS(i); ++j) Z(j, i) = ZM(j, i);
    if (*iter < 1) {
      *istat = 1;
      iterno = *iter;
      not_converged(*iter);
      final_phase();
      return;
    }
    ORVK_CLUEBR.STATUS = 1;
    iterno = 1;
    derivatives(true, true);
    derivative_dump(true);
  }
  VLK_PPENT();
  VLK_TIMINT(&one, &t0, &t);
  if (*iter < 1) {
    *istat = 1;
    iterno = *iter;
    if (kprint >= 1) not_converged(*iter);
    final_phase();
    return;
  }
  iterno = 1;
  ORVK_CLUEBR.STATUS = 1;
  // CPACK, written only by the statistics, keeps the start values meanwhile.
  for (IWORD l = 0; l < npar; ++l) cpack[l] = p[l];
  mu = 0;
  size = 0;
  for (IWORD i = 1; i <= ndat; ++i)
    for (IWORD j = 1; j <= NMEAS(i); ++j) {
      const double q = ZM(j, i) / R(j, i);
      if (std::isfinite(q)) size += q * q;
    }
  for (;;) {
    VLK_PPITER();
    const bool deming = kd == -1 || iterno <= kd;
    *istat = 0;
    const double sold = *ssq;
    if (kprint >= 1) header();
    if (deming) {
      if (kprint >= 1 && !lform9) {
        Rec d;
        d.A("0").X(6).A("THIS ITERATION BY DEMINGS METHOD");
        write_rec(iunit, d);
        if (kprint >= 2) terminal(&d, 1);
      }
      for (IWORD i = 1; i <= ndat; ++i)
        for (IWORD j = 1; j <= NMEAS(i); ++j) DZ(j, i) = 0;
    }
    if (!(kd == 0 && iterno == 1))
      for (IWORD i = 1; i <= ndat; ++i)
        for (IWORD j = 1; j <= NMEAS(i); ++j) Z(j, i) = ZM(j, i) - DZ(j, i);
    iteration(deming);
    const double snew = *ssq;
    // Values or derivatives of the model that are not finite leave no fit
    // to judge, and the next iteration would start from them: the run ends
    // unconverged.
    if (nonfinite || !std::isfinite(snew)) {
      *istat = 1;
      if (kprint >= 1) not_converged(iterno);
      break;
    }
    // Convergence needs the first-order conditions: an objective at the
    // rounding level of the data, a negligible undamped step, or a small
    // change of the objective where the undamped step predicts no more (also
    // after a damped step: at a minimum whose objective carries rounding
    // noise above TOL the searches stall there).  Difference quotients carry
    // a truncation error that the prediction cannot tell from a gradient: a
    // search that finds no lower point along a negligible step shows that
    // they resolve no descent from here.  A search that stalls elsewhere is
    // no convergence: the next iteration damps the step, and when no damping
    // helps the run ends unconverged.
    const bool searched = deming && iods != 0;
    // In the general form SSQ is the objective that the linear model predicts
    // after the step, 0 wherever the linearised constraints can be met (the
    // first step on exact data ends there whatever the curvature left
    // undone): residuals at the rounding level are proved only by the
    // objective at the point where the model was formed.  In the
    // nine-argument form SSQ is an objective the model attained.
    const bool exact =
        snew <= kExactRel * size && (lform9 || obj_base <= kExactRel * size);
    const bool tests = (mu == 0 && rms <= tol && pred_rel < kStillToGain) ||
                       (pred_rel <= tol && std::fabs((sold - snew) / snew) <= tol) ||
                       (ndrv != 0 && searched && stalled && rms <= tol);
    // A point where the model has saturated in a parameter, where the
    // parameters ran off to a limit of the model, or where some combination
    // of them has no effect, passes the tests but is no fit, and iterating
    // on cannot leave it: the run ends there.  HMAT keeps the undamped normal
    // matrix of the iteration in its upper triangle.
    if (!exact && tests &&
        (saturated(npar, p, hmat, size, cpack) || at_infinity(npar, p, cpack, hmat, size) ||
         dependent(npar, hmat, iperm, nfree, qpwork, p, plow, pupp, ndrv != 0, ssnd))) {
      *istat = 1;
      if (kprint >= 1) not_converged(iterno);
      break;
    }
    // Parameters that have run off by orders of magnitude beyond their start
    // along a growth that has lost its effect are following the model
    // towards a limit at infinity, which the tests above would refuse as a
    // fit when the run got there: it ends now instead of spending its
    // iterations on the way.
    if (!exact && !tests && at_infinity(npar, p, cpack, hmat, size)) {
      *istat = 1;
      if (kprint >= 1) not_converged(iterno);
      break;
    }
    const bool conv = exact || tests;
    if (!conv && searched && stalled) {
      mu = mu > 0 ? 10 * mu : kMuStart;
      if (mu > kMuMax) {
        *istat = 1;
        if (kprint >= 1) not_converged(iterno);
        break;
      }
    } else if (searched && gamma >= 1) {
      mu = mu / 10 < kMuDrop ? 0.0 : mu / 10;
    } else if (!conv && searched && gamma < kShortStep) {
      mu = mu > 0 ? std::min(kMuGrow * mu, kMuMax) : kMuStart;
    }
    if (conv && (kd == -1 || iterno > kd)) break;
    if (conv) kd = iterno;
    host::tprev() = t;
    VLK_TIMINT(&one, &t0, &t);
    if (time_exhausted(t, host::tprev())) {
      time_limit_box(host::repunit());
      *istat = 10;
      break;
    }
    if (iterno == kd) gamma = 1.0;
    if (iterno + 1 <= *iter) {
      ++iterno;
      ORVK_CLUEBR.STATUS = iterno;
      continue;
    }
    *istat = 1;
    iterno = *iter;
    if (kprint >= 1) {
      not_converged(*iter);
    }
    break;
  }
  final_phase();
}

}  // namespace orvika

/* ORVK_LUEBRI: estimates NPAR parameters P (PLOW <= P <= PUPP) and the
 * adjustments DELZ = ZM - Z of the measured variables of NDAT data points,
 * minimising sum (DELZ/R)^2 subject to F(P, Z) = 0 at every point, by Deming
 * and Britt-Luecke iterations (Gauss-Newton for the nine-argument model).
 * All arguments by address; Z-shaped arrays are (NMMAX,NDAT), F-shaped ones
 * (NCMAX,NDAT); work arrays need no content on entry.
 *
 *   NPAR    in      IWORD              number of parameters (echoed as N).
 *   NMMAX   in      IWORD              most measured variables of a point.
 *   NMEAS   in      IWORD(NDAT)        measured variables of each point.
 *   MDAT1   in      caller's           handed to the model only.
 *   NDAT    in      IWORD              number of data points (echoed as K).
 *   NCMAX   in      IWORD              most constraints of a point.
 *   NCONS   in      IWORD(NDAT)        constraints of each point.
 *   ARG8    -                          not read.
 *   LPACK   in      IWORD              words of one packed block of WPACK
 *                                      (>= NCMAX(NCMAX+1)/2 when NCMAX > 1).
 *   F       out     real, F-shaped     constraint values of the last evaluation.
 *   P       in/out  real(NPAR)         start values; estimates.
 *   Z       in/out  real, Z-shaped     adjusted (estimated true) values.
 *   ZM      in      real, Z-shaped     measured values.
 *   MDAT2   in      caller's           handed to the model only.
 *   FZ      work/out real(NCMAX,NMMAX,NDAT)  dF/dZ.
 *   FP      work/out real(NCMAX,NPAR,NDAT)   dF/dP.
 *   R       in      real, Z-shaped     standard deviations of the measured values.
 *   W       work    real(NCMAX,NCMAX,NDAT)   weight block of each point.
 *   WPACK   work    real(LPACK,NDAT)   packed weight blocks.
 *   ZPERT   work    real, Z-shaped     perturbed values of the differences (may
 *                                      be FPW: the two are never live together).
 *   FPW     work    real(NPAR,NCMAX,NDAT)    products FP'W of each point.
 *   DELP    work/out real(NPAR)        parameter step of the last iteration.
 *   DELZ    in/out  real, Z-shaped     adjustments ZM - Z.
 *   ELIN    work    real, F-shaped     linearised constraint residuals.
 *   GRAD    work    real(NPAR)         gradient, then the line-search trial.
 *   HMAT    work/out real(NPAR,NPAR)   normal matrix; the covariance on return.
 *   STPLO, STPUP work real(NPAR)       bounds of the step.
 *   CPACK   out     real(NPAR(NPAR+1)/2)  packed parameter matrix of the
 *                                      statistics.
 *   MODEL   in      routine            the caller's model: sixteen arguments, nine
 *                                      when KDEM = -2 (see regress.h).
 *   IPRINT  in      IWORD              print level (the report works at IPRINT - 1).
 *   IODS    in      IWORD              line search of the Deming iterations: 0 none,
 *                                      2 each from STPSIZ, other from the last factor.
 *   ISTAT   out     IWORD              return code (below).
 *   ITER    in/out  IWORD              iteration limit; iterations performed.
 *   ARG35   -                          not read.
 *   TOL     in      real               convergence tolerance.
 *   IPERM   work    IWORD(NPAR)        free parameters first; read by the statistics.
 *   KDEM    in      IWORD              Deming iterations before Britt-Luecke (a
 *                                      negative value or one >= ITER: Deming
 *                                      throughout); -2 nine-argument model.
 *   ISV     in      IWORD              0: covariance scaled by the variance estimate.
 *   SIGMA   out     real               standard-deviation estimate of the fit.
 *   SSQ     in/out  real               objective; its entry value is the reference
 *                                      of the first convergence test.
 *   FTRY    work    real, F-shaped     values at trial and perturbed points.
 *   ARG43   -                          not read.
 *   STPSIZ  in      real               first step factor, in (0, 1]; other values
 *                                      (NaN included) mean 1.
 *   NDRV    in      IWORD              0 analytic, 2 central, other forward differences.
 *   SSND    in      real               relative step of the differences.
 *   NCALL   out     IWORD              model calls.
 *   IBOUND  in      IWORD              >= 1: the bounds are echoed.
 *   PLOW, PUPP in   real(NPAR)         parameter bounds.
 *   QPWORK  work    real(3 NPAR)       work of the bounded step; read by the statistics.
 *   ARG52..ARG54 -                     not read.
 *   MUSER   in      caller's           handed to the model as its last argument.
 *   PSCL    in      real(NPAR)         divisors of the returned parameter matrix
 *                                      (> 0; other values taken as 1).
 *
 * ISTAT: 0 converged (first-order conditions: a negligible undamped step
 * that promises less than half of SSQ, or a change of SSQ of at most TOL
 * where the undamped step predicts no more, or
 * residuals at the rounding level of the data); 1 not converged within ITER,
 * or no damping of a stalled search helped, or the model saturated in a
 * parameter, or a parameter ran off beyond 1e4 (|P0| + 0.01) (P0 its
 * start) along a growth that has lost its effect on the model (a limit at
 * infinity), or some combination of the parameters inside their bounds has
 * no effect on the model at the point reached (a pivot or reduced curvature
 * of the unit-diagonal scaled normal matrix at or below 1e-13, or with
 * differences 10 SSND^2 kept within [1e-13, 1e-11]: a stationary point of
 * a smaller model); 10 stopped by the host's time limit; -1 invalid counts (negative,
 * NMEAS(i) > NMMAX, NCONS(i) > NCMAX, LPACK too small, or a zero or NaN SSND
 * where differences are taken): nothing is done.
 * Cost per iteration: 1 + sum NMEAS + NPAR model calls by differences (twice
 * for central), O(NDAT NPAR^2 NCMAX^2 + NPAR^3) work. */
extern "C" ORVK_API void ORVK_LUEBRI(
    const IWORD* NPAR, const IWORD* NMMAX, const IWORD* NMEAS, void* MDAT1, const IWORD* NDAT,
    const IWORD* NCMAX, const IWORD* NCONS, const IWORD* ARG8, const IWORD* LPACK, double* F,
    double* P, double* Z, const double* ZM, void* MDAT2, double* FZ, double* FP, const double* R,
    double* W, double* WPACK, double* ZPERT, double* FPW, double* DELP, double* DELZ,
    double* ELIN, double* GRAD, double* HMAT, double* STPLO, double* STPUP, double* CPACK,
    ORVK_MODELFN MODEL, const IWORD* IPRINT, const IWORD* IODS, IWORD* ISTAT, IWORD* ITER,
    const IWORD* ARG35, const double* TOL, IWORD* IPERM, const IWORD* KDEM, const IWORD* ISV,
    double* SIGMA, double* SSQ, double* FTRY, const void* ARG43, const double* STPSIZ,
    const IWORD* NDRV, const double* SSND, IWORD* NCALL, const IWORD* IBOUND, const double* PLOW,
    const double* PUPP, double* QPWORK, void* ARG52, void* ARG53, void* ARG54, void* MUSER,
    const double* PSCL) {
  orvika::Luebri e{{*NPAR,  *NMMAX, *NDAT,   *NCMAX, *LPACK, NMEAS,  NCONS,  MDAT1,  MDAT2,
                    MUSER,  F,      P,       Z,      ZM,     FZ,     FP,     R,      W,
                    WPACK,  FPW,    DELP,    ELIN,   GRAD,   HMAT,   STPLO,  STPUP,  CPACK,
                    MODEL,  *IPRINT, *IODS,  ISTAT,  ITER,   *TOL,   IPERM,  *KDEM,  *ISV,
                    SIGMA,  SSQ,    FTRY,    *NDRV,  *SSND,  NCALL,  PLOW,   PUPP,   QPWORK,
                    PSCL},
                   ZPERT,
                   DELZ,
                   // A step factor outside (0, 1] (NaN included) takes
                   // its default, the full step.
                   (*STPSIZ > 0 && *STPSIZ <= 1) ? *STPSIZ : 1.0,
                   *IBOUND};
  e.lform9 = *KDEM == -2;
  const IWORD nc = *NCMAX;
  const bool numeric = *NDRV != 0 || *IPRINT - 1 >= 2;
  if (!e.start_ok(nc > 1, numeric)) return;
  e.run();
}
