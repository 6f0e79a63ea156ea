// ORVK_LUEBRN: the default error-in-variables regression engine.  Deming,
// weighted-least-squares and Britt-Luecke iterations, each a bounded
// Levenberg-Marquardt step steered towards a target length.
//
// References: H. I. Britt, R. H. Luecke, The estimation of parameters in
// nonlinear, implicit models, Technometrics 15 (1973) 233-247; W. E. Deming,
// Statistical Adjustment of Data (1943); J. J. More, The Levenberg-Marquardt
// algorithm: implementation and theory, Lecture Notes in Math. 630 (1978).
#include <algorithm>
#include <cmath>

#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "orvika/host.h"
#include "orvika/tearconv_newton.h"
#include "regress/luebrn.hpp"

namespace orvika {
namespace {
// Objective relative to the size of the weighted measurements that counts as
// an exact fit (residuals at the rounding level of the data).
constexpr double kExactRel = 1e-20;
}  // namespace

// The model's derivative arguments on value requests: FPW, which holds
// nothing between the steps that evaluate the model, has the size of FP;
// FZ reaches only a sixteen-argument model, which gets FZ itself.
double* Luebrn::fz_scratch() const { return fz; }
double* Luebrn::fp_scratch() const { return fpw; }

void Luebrn::derive(IWORD sw, double* values, double* work) {
  LBDERV(npar, ndat, nmmax, nmeas, mdat1, ncmax, ncons, sw, p, z, zm, mdat2, values, fz, fp, model,
         kprint, iterno, znew, work, ssnd, *ncall, muser, iunit, lform9, lbase, lderz, lderp,
         fz_scratch(), fp_scratch());
}

void Luebrn::covi() {
  LBCOVI(iunit, ndat, nmmax, nmeas, ncmax, ncons, fz, r, w, wpack, *istat);
}

// Step 1 of an iteration: normal matrix, gradient and base objective.
void Luebrn::linear_model() {
  lderp = true;
  for (IWORD l = 1; l <= npar; ++l)
    for (IWORD k = 1; k <= l; ++k) H(k, l) = 0;
  if (method == kWL) {
    fact_resid = fact_resid || fact_cov;
    LBFACT(npar, ndat, nmmax, nmeas, mdat1, ncmax, ncons, lpack, ndrv, p, z, zm, mdat2, fbase, fz,
           fp, model, kprint, iterno, znew, lam2, ssnd, *ncall, muser, iunit, lform9, fact_base,
           fact_resid, fact_cov, lderp, r, f, w, wpack, fz_scratch(),
           fp_scratch());
    fact_base = fact_resid = true;
    fact_cov = false;
    objb = 0;
    for (IWORD k = 1; k <= npar; ++k) GRAD(k) = 0;
    for (IWORD i = 1; i <= ndat; ++i)
      for (IWORD j = 1; j <= NCONS(i); ++j) {
        objb += F(j, i) * F(j, i);
        for (IWORD k = 1; k <= npar; ++k) {
          GRAD(k) -= FP(j, k, i) * F(j, i);
          for (IWORD l = k; l <= npar; ++l) H(k, l) += FP(j, k, i) * FP(j, l, i);
        }
      }
  } else {
    derive(ndrv, f, ftry);
    covi();
    if (*istat == 7 && once_msg) {
      once_msg = false;
      constraint_messages();
    }
    for (IWORD k = 1; k <= npar; ++k) GRAD(k) = 0;
    for (IWORD i = 1; i <= ndat; ++i) {
      const IWORD nc = NCONS(i);
      for (IWORD k = 1; k <= npar; ++k)
        for (IWORD l = 1; l <= nc; ++l) {
          double s = 0;
          for (IWORD j = 1; j <= nc; ++j) s += FP(j, k, i) * W(j, l, i);
          FPW(k, l, i) = s;
        }
      for (IWORD k = 1; k <= npar; ++k)
        for (IWORD l = k; l <= npar; ++l) {
          double s = 0;
          for (IWORD j = 1; j <= nc; ++j) s += FPW(k, j, i) * FP(j, l, i);
          H(k, l) += s;
        }
      for (IWORD j = 1; j <= nc; ++j) ELIN(j, i) = F(j, i);
    }
    if (method == kBL) LBLINC(ndat, nmmax, nmeas, ncmax, ncons, elin, fz, zm, z);
    for (IWORD i = 1; i <= ndat; ++i)
      for (IWORD j = 1; j <= NCONS(i); ++j)
        for (IWORD k = 1; k <= npar; ++k) GRAD(k) -= FPW(k, j, i) * ELIN(j, i);
    if (method == kDM) {
      const double nb = DQFORM(ncmax, ncons, ndat, f, w);
      if (nb >= objb) lent = std::min(lent, len);
      objb = nb;
    }
  }
  if (kprint >= 2) gradient_lines();
  // Damping scales: the largest diagonal seen so far of each parameter.  A
  // parameter without effect yet gets 1e-6 of the largest one (an absolute
  // floor would depend on the parameters' units and freeze a parameter of
  // small effect).
  double hmax = 0;
  for (IWORD k = 1; k <= npar; ++k) {
    if (std::isfinite(H(k, k))) DSCAL(k) = std::max(DSCAL(k), H(k, k));
    hmax = std::max(hmax, DSCAL(k));
  }
  for (IWORD k = 1; k <= npar; ++k)
    if (!(DSCAL(k) > 0)) DSCAL(k) = hmax > 0 ? 1e-6 * hmax : 1e-6;
  for (IWORD k = 1; k <= npar; ++k) POLD(k) = P(k);
}

// Step 4 of a pass: evaluates the trial point; sets OBJB, OBJP, OBJA, SSQ.
void Luebrn::trial_evaluation() {
  if (method == kWL) {
    objp = 0;
    for (IWORD i = 1; i <= ndat; ++i)
      for (IWORD j = 1; j <= NCONS(i); ++j) {
        double v = F(j, i);
        for (IWORD k = 1; k <= npar; ++k) v += FP(j, k, i) * DELP(k);
        objp += v * v;
      }
    fact_base = fact_resid = true;
    lderp = false;
    LBFACT(npar, ndat, nmmax, nmeas, mdat1, ncmax, ncons, lpack, ndrv, p, z, zm, mdat2, fbase, fz,
           fp, model, kprint, iterno, znew, lam2, ssnd, *ncall, muser, iunit, lform9, fact_base,
           fact_resid, fact_cov, lderp, r, ftry, w, wpack, fz_scratch(),
           fp_scratch());
    double s = 0;
    for (IWORD i = 1; i <= ndat; ++i)
      for (IWORD j = 1; j <= NCONS(i); ++j) s += FTRY(j, i) * FTRY(j, i);
    obja = *ssq = s;
  } else {
    for (IWORD i = 1; i <= ndat; ++i)
      for (IWORD j = 1; j <= NCONS(i); ++j) {
        double v = ELIN(j, i);
        for (IWORD k = 1; k <= npar; ++k) v += FP(j, k, i) * DELP(k);
        FTRY(j, i) = v;
      }
    auto trial_call = [&](const double* zz) {
      ORVK_PPSCLR.EVALKIND = 2;
      ++*ncall;
      LBFCN(zz, zm, mdat2, p, ndat, nmmax, nmeas, mdat1, npar, ncmax, ncons, 1, ftry,
            fz_scratch(), fp_scratch(), lform9, model, muser);
    };
    if (method == kDM) {
      objp = DQFORM(ncmax, ncons, ndat, ftry, w);
      trial_call(z);
      const double objo = DQFORM(ncmax, ncons, ndat, ftry, w);
      *ssq = objo;
      if (objb > objo && iods == 2) refresh = true;
      if (refresh) {
        lbase = lderp = false;
        lderz = true;
        derive(ndrv, ftry, lam);
        covi();
        obja = DQFORM(ncmax, ncons, ndat, ftry, w);
        if (kprint >= 2)
          write_rec(iunit, Rec()
                               .A("                DEMING OBJ WITH OLD DERIVATIVE:")
                               .G(objo, 14, 6)
                               .A("  NEW:")
                               .G(obja, 14, 6));
      } else {
        obja = objo;
      }
    } else {
      // Britt-Luecke: measurement update, penalty weight and merit search.
      LBPRED(ndat, nmmax, nmeas, ncmax, ncons, w, ftry, fz, zm, z, r, lam, rmax, znew, reladj, dz);
      LBSUMS(ndat, nmmax, nmeas, ncmax, ncons, zm, z, r, f, lam, s0, t0pen);
      LBLINC(ndat, nmmax, nmeas, ncmax, ncons, ftry, fz, znew, zm);
      LBSUMS(ndat, nmmax, nmeas, ncmax, ncons, zm, znew, r, ftry, lam, s1, t1pen);
      const double g = std::fabs(s0 - t1pen + t0pen - s1);
      double mup = (t1pen + s1 >= s0 + t0pen && t0pen > t1pen) ? 1.25 * (s1 - s0) / (t0pen - t1pen)
                                                                : 1.0;
      if (mup < mu_prev) mup = (mup + mu_prev) / 2;
      mu = mup;
      objb = s0 + mu * t0pen;
      objp = s1 + mu * t1pen;
      const IWORD nz = nmmax * ndat, nf = ncmax * ndat;
      double m = 0, m1 = 0, t2first = 0;
      for (IWORD t = 1;; ++t) {
        trial_call(znew);
        LBSUMS(ndat, nmmax, nmeas, ncmax, ncons, zm, znew, r, ftry, lam, s2, t2pen);
        m = s2 + mu * t2pen;
        if (t == 1) m1 = m;
        if (search_limit == 1) break;
        if (t == 1) {
          std::copy(znew, znew + nz, zfirst);
          std::copy(ftry, ftry + nf, fbase);
          t2first = t2pen;
        }
        if (m > m1) {
          std::copy(zfirst, zfirst + nz, znew);
          std::copy(fbase, fbase + nf, ftry);
          s2 = s1;
          t2pen = t2first;
          m = m1;
          break;
        }
        if (t2pen <= 0.2 * g || t >= search_limit) break;
        LBLINC(ndat, nmmax, nmeas, ncmax, ncons, ftry, fz, zm, znew);
        LBPRED(ndat, nmmax, nmeas, ncmax, ncons, w, ftry, fz, zm, znew, r, lam2, rmax, znew, reladj,
               dz);
      }
      *ssq = s2;
      obja = m;
    }
  }
  if (kprint >= 2)
    write_rec(iunit, Rec()
                         .A(" L.S., MULT:")
                         .F(rlm, 10, 5)
                         .A(" BASE:")
                         .E(objb, 12, 5)
                         .A(" PRED:")
                         .E(objp, 12, 5)
                         .A(" ACTUAL:")
                         .E(obja, 12, 5));
}

// First-order test at POLD: the undamped step of the iteration's linear
// model, within the bounds, predicts a relative decrease of the objective of
// at most TOL, or the objective is at the rounding level of the weighted
// measurements (a zero-residual fit).  Uses the undamped normal matrix and
// leaves the trial step in DELP.
double Luebrn::data_size() const {
  double size = 0;
  for (IWORD i = 1; i <= ndat; ++i)
    for (IWORD m = 1; m <= NMEAS(i); ++m) {
      const double q = ZM(m, i) / R(m, i);
      if (std::isfinite(q)) size += q * q;
    }
  return size;
}

bool Luebrn::gradient_finite() const {
  for (IWORD j = 1; j <= npar; ++j)
    if (!std::isfinite(GRAD(j))) return false;
  return true;
}

bool Luebrn::stationary() {
  // A model that returned values or derivatives that are not finite, or
  // data that are not numbers, leave nothing to judge: no such point is
  // stationary, whatever the method.
  if (std::isnan(objb) || !gradient_finite()) return false;
  if (method == kBL) return bl_stationary();
  if (!(objb > 0)) return true;
  const double size = data_size();
  if (objb <= kExactRel * size) return true;
  if (saturated(npar, pold, hmat, size, psave)) return false;
  for (IWORD j = 1; j <= npar; ++j) {
    STPLO(j) = PLOW(j) - POLD(j);
    STPUP(j) = PUPP(j) - POLD(j);
    DELP(j) = 0;
  }
  double q = 0;
  ORVK_QUADPR(&npar, hmat, &npar, grad, stplo, stpup, delp, &q, iperm, &nfree, qpwork);
  undamped_factor = true;
  for (IWORD j = 1; j <= npar; ++j) DELP(j) = P(j) - POLD(j);
  // The linear model predicts OBJB + 2 Q at the step.
  promised = -2 * q / objb;
  return -2 * q <= tol * objb;
}

// First-order test of a Britt-Luecke trial, by the iteration's linear model
// Q(d) = 1/2 d'Hd - GRAD'd: its objective OBJB + 2 Q(d), the weighted sum of
// the linearised constraint residuals at the measurements, is the
// adjustment sum that the merit function carries.  The trial point POLD +
// DELP passes when the undamped step (within the bounds) promises at most
// TOL of OBJB from POLD, or at most TOL more than the trial step reached: a
// trial that the damping cut short changes the merit by little anywhere, so
// a small change proves nothing while the undamped step still promises a
// decrease.  The undamped step goes into FPW (scratch here, and of at least
// NPAR words when OBJB > 0); DELP keeps the trial step.
bool Luebrn::bl_stationary() {
  if (!(objb > 0)) return true;
  if (objb <= kExactRel * data_size()) return true;
  auto model_value = [&](const double* d) {
    double v = 0;
    for (IWORD k = 1; k <= npar; ++k) {
      double hd = H(k, k) * d[k - 1];
      for (IWORD l = 1; l < k; ++l) hd += H(l, k) * d[l - 1];
      for (IWORD l = k + 1; l <= npar; ++l) hd += H(k, l) * d[l - 1];
      v += d[k - 1] * (0.5 * hd - GRAD(k));
    }
    return v;
  };
  const double qt = model_value(delp);
  for (IWORD j = 1; j <= npar; ++j) {
    STPLO(j) = PLOW(j) - POLD(j);
    STPUP(j) = PUPP(j) - POLD(j);
    fpw[j - 1] = 0;
  }
  double q = 0;
  ORVK_QUADPR(&npar, hmat, &npar, grad, stplo, stpup, fpw, &q, iperm, &nfree, qpwork);
  q = model_value(fpw);
  return -2 * q <= tol * objb || 2 * (qt - q) <= tol * objb;
}

// Step 5: decision on the trial of pass NPASS.
Luebrn::Decision Luebrn::decide() {
  rch = len / std::max(plen, 1.0);
  undamped_factor = false;
  // A short step proves convergence only where the first-order conditions
  // hold; one shortened by the damping does not.
  // A point where the model has saturated in a parameter, or where the
  // parameters ran off to a limit of the model, passes the tests of
  // convergence but is no fit, and iterating on cannot leave it: the phase
  // ends unconverged.  HMAT holds the undamped normal matrix at POLD.
  auto at_limit = [&] {
    if (method == kBL ||
        !(saturated(npar, pold, hmat, data_size(), psave) ||
          at_infinity(npar, pold, psave, hmat, data_size())))
      return false;
    *istat = 1;
    return true;
  };
  // Difference quotients carry a truncation error that the first-order test
  // cannot tell from a gradient: where a negligible step along them does not
  // lower the objective, they resolve no descent from this point, and no
  // further iteration can move it.  Not so in Deming iterations with refresh:
  // there a trial that lowers the objective is weighed again with its own
  // weights, whose change along the step the linear model does not see, so
  // that rejections grow the damping until the steps are too short to show
  // a descent that the undamped step still promises.
  auto unresolved = [&] {
    return ndrv != 0 && !(method == kDM && iods == 2) && std::isfinite(objb) &&
           std::isfinite(obja) && obja >= objb &&
           gradient_finite() && !(undamped_factor && promised >= kStillToGain);
  };
  // A point that passes, where some combination of the parameters has no
  // effect (by the factor that the first-order test left), is no fit either:
  // the phase ends unconverged.
  auto converged = [&] {
    if (*istat == 0 && method != kBL && undamped_factor &&
        dependent(npar, hmat, iperm, nfree, qpwork, pold, plow, pupp, ndrv != 0, ssnd))
      *istat = 1;
    return kPhaseEnd;
  };
  // A trial where the model failed proves nothing, however short the step.
  const bool failed = !std::isfinite(obja);
  if (std::min(1e-10, tol) >= rch && !failed && (at_limit() || stationary() || unresolved()))
    return converged();
  double ratio = 0, d = objb - objp;
  auto ratio_of = [&] {
    // A trial where the model failed (an objective that is not finite) did
    // worse than any step: the step is shortened like one that raised the
    // objective.
    if (!std::isfinite(obja)) return -1.0;
    // Equal base and predicted objectives give no scale: take the middle.
    return objp != objb ? (objb - obja) / std::fabs(objb - objp) : 0.5;
  };
  if (expand) {
    ratio = ratio_of();
    // A negligible step does not grow with the target (its length is
    // accepted whatever the target), so it is judged at once instead of
    // being tried again: every pass then ends the iteration or counts
    // towards its ten failures.
    const bool negligible = len <= 1e-10 * plen;
    if (!negligible && ratio > 0.125 && rlm > 1e-15 && obja <= best_) {
      best_ = obja;
      lent *= 2;
      return kNextPass;
    }
    if (!negligible && (ratio <= 0 || obja > best_) && npass > 1) {
      expand = false;
      lent /= 2;
      return kNextPass;
    }
  } else {
    const bool qobj = std::fabs(objb - objp) <= objb * tol && std::fabs(objb - obja) <= objb * tol;
    if (!failed && ((iterno <= 3 && rch <= tol && qobj) || (iterno > 3 && (rch <= tol || qobj))) &&
        (at_limit() || stationary()))
      return converged();
    if (iterno == *iter) {
      *istat = 1;
      return kPhaseEnd;
    }
    d = objb - objp;
    ratio = ratio_of();
  }
  double fct = ratio <= 0 ? 2.0 : 1.0;
  if (ratio <= 0.125) fct *= 2;
  if (ratio >= 0.75) fct /= 2;
  if (ratio >= 0.9) fct /= 2;
  if (npass > 1) fct = std::max(fct, 0.5);
  lent = len / fct;
  expand = len <= 1e-10 * plen;
  if (ratio <= 0) rlm *= fct;
  // A trial whose objective is not finite (the model failed there) is no
  // improvement, whatever the comparisons with NaN say.
  const bool rejected = (d > 0 && ratio < 0) || obja >= 1.1 * objb || !std::isfinite(obja);
  if (rejected && !(refresh && iterno <= 3 && obja <= 1.2 * objb)) {
    if (npass >= 10) {
      *istat = 5;
      return kPhaseEnd;
    }
    return kNextPass;
  }
  return kAccepted;
}

// One iteration; returns false when the run goes to its end.
bool Luebrn::iteration() {
  const IWORD k = iterno;
  ORVK_CLUEBR.STATUS = k;
  rmax = 0.5;
  VLK_PPITER();
  *istat = 0;
  {
    const IWORD one = 1;
    VLK_TIMINT(&one, &t0, &t);
  }
  method = (kd != -1 && k > kd) ? kBL : (iods == 3 ? kWL : kDM);
  const char* tg = (method == kBL || lform9) ? "BL" : (method == kWL ? "WL" : "DM");
  tag[0] = tg[0];
  tag[1] = tg[1];
  if (kprint >= 1) progress(k);
  if (k == 1) {
    host::tprev() = t;
  } else {
    const double old = host::tprev();
    host::tprev() = t;
    if (time_exhausted(t, old)) {
      time_limit_box(host::repunit());
      *istat = 10;
      return false;
    }
  }
  mu_prev = mu;
  linear_model();
  if (iterno <= 4) lent = std::max(lent, 1.1 * tol * std::max(plen, 1.0));
  npass = 0;
  best_ = host::rmisval();
  refresh = false;
  const double rmis = host::rmisval();
  for (;;) {
    // Step 3: Levenberg-Marquardt loop for a step of about the target length.
    ++npass;
    rlm = std::max(rlm, 1e-15);
    double hi = rmis, lo = -rmis, rlm1 = 0, len1 = 0;
    if (!(lent > 0)) lent = 1e-10 * (std::fabs(plen) + 1);
    IWORD n = 1;
    for (;;) {
      // P, about to receive the trial point, keeps the undamped diagonal
      // meanwhile, so that the damping leaves no trace in HMAT.
      for (IWORD j = 1; j <= npar; ++j) {
        P(j) = H(j, j);
        H(j, j) += rlm * DSCAL(j);
        STPLO(j) = PLOW(j) - POLD(j);
        STPUP(j) = PUPP(j) - POLD(j);
        DELP(j) = 0;
      }
      ORVK_QUADPR(&npar, hmat, &npar, grad, stplo, stpup, delp, &fobj, iperm, &nfree, qpwork);
      double sl = 0, sp = 0;
      for (IWORD j = 1; j <= npar; ++j) {
        H(j, j) = P(j);
        // DELP lies within PLOW - POLD .. PUPP - POLD, but the sum rounds
        // when POLD is large against its bound: keep P on the bound then.
        P(j) = std::min(std::max(PLOW(j), POLD(j) + DELP(j)), PUPP(j));
        sl += DSCAL(j) * DELP(j) * DELP(j);
        sp += DSCAL(j) * POLD(j) * POLD(j);
      }
      len = std::sqrt(sl);
      plen = std::sqrt(sp);
      if (expand && npass == 1) {
        const double l = std::max(plen, 1.0);
        lent = method == kBL ? std::min(std::max(0.001 * l, len), 0.1 * l)
                             : std::max(len, 0.001 * l);
      }
      if ((rlm <= 1e-15 && len <= lent) || len <= 1e-10 * plen ||
          std::fabs(len - lent) / lent <= 0.1)
        break;
      if (kprint >= 3) lm_line(n);
      if (len < lent)
        hi = rlm;
      else
        lo = rlm;
      double q;
      if (n == 1) {
        q = (rlm + bshift) * len / lent - bshift;
      } else if (0.999 * len1 <= len && len <= 1.001 * len1) {
        q = len < lent ? rlm / 4 : 4 * rlm;
      } else {
        bshift = (rlm * len - rlm1 * len1) / (len1 - len);
        q = (rlm + bshift) * len / lent - bshift;
      }
      if (q < 1e-15)
        q = 1e-15;
      else if (n == 1)
        q = std::min(q, 10 * (rlm + 1));
      q = len < lent ? std::min(q, 0.95 * rlm) : std::max(q, 1.05 * rlm);
      if (lo >= q)
        q = lo + 0.1 * (rlm - lo);
      else if (q > hi)
        q = hi + 0.1 * (rlm - hi);
      ++n;
      rlm1 = rlm;
      len1 = len;
      rlm = q;
      if (n > 20) break;
    }
    lent = std::max(lent, 1e-10 * (std::fabs(plen) + 1));
    if (kprint >= 3) lm_line(n);
    if (kprint >= 2) step_lines();

    trial_evaluation();
    const Decision dcs = decide();
    if (dcs == kNextPass) continue;
    if (dcs == kAccepted && iterno != kd) {
      lderz = !refresh;
      lbase = false;
      fact_base = false;
      for (IWORD i = 1; i <= ndat; ++i) {
        for (IWORD j = 1; j <= NCONS(i); ++j) F(j, i) = FTRY(j, i);
        if (method == kBL)
          for (IWORD m = 1; m <= NMEAS(i); ++m) Z(m, i) = ZNEW(m, i);
      }
      return next_iteration();
    }
    return phase_end();
  }
}

bool Luebrn::next_iteration() {
  ++iterno;
  if (iterno > *iter) {
    iterno = *iter;
    *istat = 1;
    return false;
  }
  return true;
}

// Phase end: measurement adjustment after a Deming or weighted-least-squares
// iteration, or the closing tests of a Britt-Luecke iteration.  Returns true
// when the run goes on with the next iteration.
bool Luebrn::phase_end() {
  if (method == kBL) {
    if (obja < objb) {
      for (IWORD i = 1; i <= ndat; ++i)
        for (IWORD m = 1; m <= NMEAS(i); ++m) Z(m, i) = ZNEW(m, i);
    } else {
      for (IWORD j = 1; j <= npar; ++j) P(j) = POLD(j);
      *ssq = s0;
    }
    if (*istat != 0) return false;
    const double m = std::max(1.0, *ssq);
    if (t1pen > 1e-4 * m)
      *istat = 7;
    else if (t0pen > 0.01 * m && t2pen > 0.01 * m)
      *istat = 8;
    return false;
  }
  // The phase ends at the better of the base point and the last trial: a
  // trial that raised the objective (a rejected one) is dropped.
  const bool trial_kept = obja <= objb;
  if (!trial_kept) {
    for (IWORD j = 1; j <= npar; ++j) P(j) = POLD(j);
    *ssq = objb;
    obja = objb;
    if (method == kDM)
      for (IWORD i = 1; i <= ndat; ++i)
        for (IWORD j = 1; j <= NCONS(i); ++j) FTRY(j, i) = F(j, i);
  }
  for (IWORD j = 1; j <= npar; ++j) PSAVE(j) = P(j);
  expand = true;
  if (kd >= 0) {
    kd = iterno;
    rlm = std::min(rlm, 1.0);
  }
  rmax = kd == -1 ? 1e10 : 0.25;
  lbase = lderz = true;
  lderp = false;
  search_limit = 2;
  const IWORD sw = std::min<IWORD>(ndrv, 1);
  if (method == kWL) {
    // In the nine-argument form the constraint values of the trial kept
    // (FBASE, from its evaluation) and FZ = -1 are those of the point:
    // no new evaluation is needed.
    if (lform9 && trial_kept)
      std::copy(fbase, fbase + ncmax * ndat, ftry);
    else
      derive(sw, ftry, f);
    covi();
  }
  for (IWORD c = 1; c <= nzmit; ++c) {
    LBPRED(ndat, nmmax, nmeas, ncmax, ncons, w, ftry, fz, zm, z, r, lam, rmax, z, reladj, dz);
    if (kprint >= 2) pass_line(c);
    if (kd < 0) return false;
    if (reladj <= 0.01) return next_iteration();
    derive(sw, ftry, f);
    covi();
    LBLINC(ndat, nmmax, nmeas, ncmax, ncons, ftry, fz, zm, z);
  }
  search_limit = 1;
  if (kprint >= 1 && nzmit >= 2) adjustment_failed();
  // F served as work of the last passes: evaluate the base point again;
  // FZ and the weights already belong to the adjusted estimates.
  lbase = true;
  lderz = false;
  return next_iteration();
}

void Luebrn::finish(bool forced) {
  if (forced) kprint = std::max<IWORD>(kprint, 2);
  ORVK_PPSCLR.EVALKIND = 2;
  ++*ncall;
  ORVK_CLUEBR.STATUS = -1;
  const double* first = kd == -1 ? zm : z;
  const double* second = kd == -1 ? (casewd == 0 ? z : zm) : zm;
  LBFCN(first, second, mdat2, p, ndat, nmmax, nmeas, mdat1, npar, ncmax, ncons, 2, f,
        fz_scratch(), fp_scratch(), lform9, model, muser);
  ORVK_CLUEBR.STATUS = 0;
  VLK_PPEXT();
  prune();
  if (kprint >= 0) final_report();
  statistics();
  *iter = iterno;
  ORVK_PPSCLR.EVALKIND = 0;
}

void Luebrn::run() {
  casewd = ORVK_PXRICASE.CASEWD;
  ORVK_PPSCLR.EVALKIND = 0;
  ORVK_CLUEBR.STATUS = 0;
  iunit = host::repunit();
  kd = (kdem < 0 || kdem >= *iter) ? -1 : (kdem == 0 ? 1 : kdem);
  kprint = iprint - 1;
  *ncall = 0;
  iterno = 1;
  *sigma = 0;
  *ssq = host::rmisval();
  for (IWORD k = 0; k < npar; ++k) p[k] = std::min(std::max(plow[k], p[k]), pupp[k]);
  // PSAVE, written at the end of the first phase, keeps the start values
  // until then.
  for (IWORD k = 0; k < npar; ++k) psave[k] = p[k];
  VLK_PPENT();
  if (kprint >= 2) echo();
  for (IWORD i = 0; i < nmmax * ndat; ++i) z[i] = zm[i];
  lbase = lderz = true;
  if (ndrv == 0 && kprint >= 3) {
    write_empty(iunit);
    write_rec(iunit, " NUMERICAL DERIVATIVES FOR CHECKING ANALYTICAL DERIVATIVES");
    lderp = true;
    derive(2, f, ftry);
  }
  for (IWORD k = 0; k < npar; ++k) dscal[k] = 0;
  fact_base = fact_cov = true;
  heads[0] = heads[1] = heads[2] = 0;
  method = (kd != -1 && 1 > kd) ? kBL : (iods == 3 ? kWL : kDM);
  tag[0] = (method == kBL || lform9) ? 'B' : (method == kWL ? 'W' : 'D');
  tag[1] = (method == kBL || lform9) ? 'L' : (method == kWL ? 'L' : 'M');
  obja = objb = host::rmisval();
  if (*iter < 1) {
    iterno = *iter;
    *istat = 1;
    finish(true);
    return;
  }
  rlm = 1;
  bshift = 0.1;
  lent = 1000;
  mu = 1;
  expand = true;
  search_limit = 2;
  while (iteration()) {
  }
  finish(*istat != 0);
}

}  // namespace orvika

/* ORVK_LUEBRN: estimates NPAR parameters P (PLOW <= P <= PUPP) and the true
 * values Z of the measured variables of NDAT data points, minimising
 * sum ((ZM - Z)/R)^2 subject to the constraints F(P, Z) = 0 of every point,
 * by Deming or weighted least-squares iterations, then Britt-Luecke ones,
 * each a bounded Levenberg-Marquardt step.  All arguments by address;
 * Z-shaped arrays are (NMMAX,NDAT), F-shaped ones (NCMAX,NDAT); work arrays
 * need no content on entry.
 *
 *   NPAR    in      IWORD              number of parameters.
 *   NMMAX   in      IWORD              most measured variables of a point.
 *   NMEAS   in      IWORD(NDAT)        measured variables of each point.
 *   MDAT1   in      caller's           handed to the model only.
 *   NDAT    in      IWORD              number of data points.
 *   NCMAX   in      IWORD              most constraints of a point.
 *   NCONS   in      IWORD(NDAT)        constraints of each point.
 *   ARG8    -                          not read.
 *   LPACK   in      IWORD              words of one packed factor in W
 *                                      (>= NCMAX(NCMAX+1)/2 when IODS = 3).
 *   F       out     real, F-shaped     constraint values (whitened linearised
 *                                      residuals in weighted least squares); those
 *                                      of the final evaluation on return.
 *   P       in/out  real(NPAR)         start values (moved into the bounds); estimates.
 *   Z       out     real, Z-shaped     estimated true values (ZM at entry).
 *   ZM      in      real, Z-shaped     measured values.
 *   MDAT2   in      caller's           handed to the model only.
 *   FZ      work/out real(NCMAX,NMMAX,NDAT)  dF/dZ.
 *   FP      work/out real(NCMAX,NPAR,NDAT)   dF/dP.
 *   R       in      real, Z-shaped     standard deviations of the measured values.
 *   W       work    real(NCMAX,NCMAX,NDAT)   weight blocks; in weighted least
 *                                      squares packed factors (LPACK,NDAT).
 *   WPACK   work    real               packed work of one point.
 *   ZFIRST  work    real, Z-shaped     estimates of the first Britt-Luecke trial.
 *   FPW     work    real(NPAR,NCMAX,NDAT)    products FP'W of each point.
 *   DELP    work/out real(NPAR)        parameter step of the last trial.
 *   ZNEW    work    real, Z-shaped     trial estimates of the Britt-Luecke search.
 *   ELIN    work    real, F-shaped     linearised constraint residuals.
 *   GRAD    work    real(NPAR)         right-hand side of the normal equations.
 *   HMAT    work/out real(NPAR,NPAR)   normal matrix; on return the inverse of the
 *                                      free-parameter block.
 *   STPLO, STPUP work real(NPAR)       step bounds PLOW - POLD, PUPP - POLD.
 *   CPACK   out     real(NPAR(NPAR+1)/2)  packed covariance of the parameters.
 *   MODEL   in      routine            the caller's model: sixteen arguments, nine
 *                                      when KDEM = -2 (see regress.h).
 *   IPRINT  in      IWORD              print level (the report works at IPRINT - 1).
 *   IODS    in      IWORD              3 weighted least squares before the switch,
 *                                      2 Deming with refresh, other Deming.
 *   ISTAT   out     IWORD              return code (below).
 *   ITER    in/out  IWORD              iteration limit; iterations performed.
 *   ARG35   -                          not read.
 *   TOL     in      real               convergence tolerance.
 *   IPERM   work/out IWORD(NPAR)       free parameters first; read by the statistics.
 *   KDEM    in      IWORD              iterations before Britt-Luecke (0 acts as 1; a
 *                                      negative value or one >= ITER: none);
 *                                      -2 nine-argument model.
 *   ISV     in      IWORD              0: covariance scaled by the variance estimate.
 *   SIGMA   out     real               standard-deviation estimate of the fit.
 *   SSQ     out     real               objective value.
 *   FTRY    work    real, F-shaped     values or residuals at trial points.
 *   NZMIT   in      IWORD              measurement-adjustment passes at a phase end
 *                                      (< 1 taken as 1).
 *   ARG44   -                          not read.
 *   NDRV    in      IWORD              0 analytic, 1 forward, >= 2 central differences.
 *   SSND    in      real               relative step of the differences.
 *   NCALL   out     IWORD              model calls.
 *   ARG48   -                          not read.
 *   PLOW, PUPP in   real(NPAR)         parameter bounds.
 *   QPWORK  work    real(3 NPAR)       work of the bounded step.
 *   ARG52..ARG54 -                     not read.
 *   MUSER   in      caller's           handed to the model as its last argument.
 *   POLD    work    real(NPAR)         parameters at the start of the iteration.
 *   DSCAL   work    real(NPAR)         Levenberg-Marquardt scaling.
 *   LAM, LAM2 work  real, F-shaped     multipliers of the measurement updates.
 *   FBASE   work    real, F-shaped     constraint values of the base or first trial.
 *   DZ      work    real(NMMAX)        scratch of the measurement update.
 *   PSAVE   out     real(NPAR)         parameters at the end of the first phase.
 *   PSCL    in      real(NPAR)         display scales: P/PSCL is printed (0 taken as 1).
 *
 * ISTAT: 0 converged (the first-order conditions hold at the returned point:
 * the undamped step predicts a relative decrease of at most TOL, or, with
 * difference quotients, a negligible step finds no lower point and the
 * undamped step promises less than half of the objective, or the
 * residuals are at the rounding level of the data); 1 not converged within
 * ITER, or stopped where the model has saturated in a parameter or where the
 * parameters ran off beyond 1e4 (|P0| + 0.01) (P0 the start) along a growth
 * that has lost its effect on the model (a limit at infinity), or where
 * some combination of the parameters inside their bounds has no effect on
 * the model (a pivot or reduced curvature of the unit-diagonal scaled normal
 * matrix at or below 1e-13, or with differences 10 SSND^2 kept within
 * [1e-13, 1e-11]: a stationary point of a smaller model); 5 ten trial
 * steps failed (the run ends at the last point accepted);
 * 7 constraints cannot be satisfied; 8 constraints not tightly converged;
 * 10 stopped by the host's time limit; -1 invalid counts (a negative count,
 * NMEAS(i) > NMMAX, NCONS(i) > NCMAX, LPACK too small, or a zero or NaN SSND
 * where differences are taken): nothing is done.
 * On value requests (1, 2) the model's derivative arguments point at arrays
 * of full size (FPW for FP; FZ itself for a sixteen-argument model's FZ); what
 * it writes there is not used.  A measurement with zero standard deviation is
 * weighted as exact, 1e8 above the smallest positive constraint variance.
 * Cost per iteration: one derivative evaluation (NPAR + sum NMEAS model calls
 * by differences) and O(NDAT NPAR^2 NCMAX^2 + NPAR^3) work. */
extern "C" ORVK_API void ORVK_LUEBRN(
    const IWORD* NPAR, const IWORD* NMMAX, const IWORD* NMEAS, void* MDAT1, const IWORD* NDAT,
    const IWORD* NCMAX, const IWORD* NCONS, const IWORD* ARG8, const IWORD* LPACK, double* F,
    double* P, double* Z, const double* ZM, void* MDAT2, double* FZ, double* FP, const double* R,
    double* W, double* WPACK, double* ZFIRST, double* FPW, double* DELP, double* ZNEW,
    double* ELIN, double* GRAD, double* HMAT, double* STPLO, double* STPUP, double* CPACK,
    ORVK_MODELFN MODEL, const IWORD* IPRINT, const IWORD* IODS, IWORD* ISTAT, IWORD* ITER,
    const IWORD* ARG35, const double* TOL, IWORD* IPERM, const IWORD* KDEM, const IWORD* ISV,
    double* SIGMA, double* SSQ, double* FTRY, const IWORD* NZMIT, const void* ARG44,
    const IWORD* NDRV, const double* SSND, IWORD* NCALL, const void* ARG48, const double* PLOW,
    const double* PUPP, double* QPWORK, void* ARG52, void* ARG53, void* ARG54, void* MUSER,
    double* POLD, double* DSCAL, double* LAM, double* LAM2, double* FBASE, double* DZ,
    double* PSAVE, const double* PSCL) {
  orvika::Luebrn e{{*NPAR,  *NMMAX, *NDAT,   *NCMAX, *LPACK, NMEAS,  NCONS,  MDAT1,  MDAT2,
                    MUSER,  F,      P,       Z,      ZM,     FZ,     FP,     R,      W,
                    WPACK,  FPW,    DELP,    ELIN,   GRAD,   HMAT,   STPLO,  STPUP,  CPACK,
                    MODEL,  *IPRINT, *IODS,  ISTAT,  ITER,   *TOL,   IPERM,  *KDEM,  *ISV,
                    SIGMA,  SSQ,    FTRY,    *NDRV,  *SSND,  NCALL,  PLOW,   PUPP,   QPWORK,
                    PSCL},
                   ZFIRST,
                   ZNEW,
                   std::max<IWORD>(*NZMIT, 1),
                   POLD,
                   DSCAL,
                   LAM,
                   LAM2,
                   FBASE,
                   DZ,
                   PSAVE};
  e.lform9 = *KDEM == -2;
  const bool numeric = *NDRV != 0 || *IPRINT - 1 >= 3;
  if (!e.start_ok(*IODS == 3, numeric)) return;
  e.run();
}
