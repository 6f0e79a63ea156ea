// The continuation driver: start of a run, the resume states of the
// reverse-communication exchange, prediction, correction, acceptance of a
// path point with its step rule, reversal, stop tests and final exit.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "fcont/driver_ctx.hpp"
#include "fcont/fcont_parts.hpp"
#include "frame/format.hpp"

namespace orvika::fcont {
namespace {

void print_line(IWORD unit, const void* msgrtn, IWORD spacing, const Rec& r) {
  char line[kLineLen];
  r.to_text(line, sizeof line);
  fcont_prtline(unit, msgrtn, spacing, line, kLineLen);
}

// Ratio of a second to a first contraction measure; 0/0 counts as 0.
double ratio(double second, double first) {
  if (first == 0.0 && second == 0.0) return 0.0;
  return second / first;
}

void final_message(const FcontArgs& a, IWORD code) {
  const Vec1<const IWORD> ipar(a.IPARAM), iinfo(a.IINFO);
  if (ipar(ip::FINMSG) != 1) return;
  Rec r;
  switch (code) {
    case 0:
      r.A("!!!Fcont_Solve solved successfully, NJAC=")
          .I(iinfo(ii::NJAC), 4)
          .A(" NPOINT=")
          .I(iinfo(ii::NPOINT), 4);
      break;
    case 1: r.A("!!!Fcont_Solve exited due to maximum points"); break;
    case 2: r.A("!!!Fcont_Solve exited due to maximum iterations"); break;
    case 3: r.A("!!!Fcont_Solve exited due to slow iterations"); break;
    case 4: r.A("!!!Fcont_Solve exited due to singular Jacobian"); break;
    case 5: r.A("!!!Fcont_Solve exited due to structural singular Jacobian"); break;
    case 8: r.A("!!!Fcont_Solve exited due to step reduced to MINSTP"); break;
    case 9: r.A("!!!Fcont_Solve exited due to reaching parameter limit"); break;
    case 12: r.A("!!!Fcont_Solve exited due to bad input parameter"); break;
    case 13: r.A("!!!Fcont_Solve exited due to bad limit reached"); break;
    case 14: r.A("!!!Fcont_Solve exited due to bad Jacobian structure"); break;
    case 15: r.A("!!!Fcont_Solve exited due to insufficient workspace"); break;
    case 16: r.A("!!!Fcont_Solve exited due to empty row/column"); break;
    case 17: r.A("!!!Fcont_Solve exited due to bad starting point"); break;
    case 19: r.A("!!!Fcont_Solve exited due to too small LDB"); break;
    default: r.A("!!!Fcont_Solve exited with ISOLV =").I(code, 6); break;
  }
  const IWORD lev1 = ipar(ip::KPLLEV), lev2 = ipar(ip::KPTLEV);
  if (lev1 >= 5 || (lev1 != 0 && code > 0)) print_line(ipar(ip::KPLUNT), a.MSGRTN, 11, r);
  if (lev2 >= 5 || (lev2 != 0 && code > 0)) print_line(ipar(ip::KPTUNT), a.MSGRTN, 11, r);
}

Done hand_out(Ctx& c, IWORD code) {
  *c.a.ISOLV = code;
  *c.a.RLAM = c.rlam();
  c.I(ii::IGOTO) = 0;
  final_message(c.a, code);
  return true;
}

// X(i) += ALPHA * DY(i) * XSCALE(i), with XBASE := X first.
void step_x(Ctx& c, double alpha, const double* dy) {
  std::copy(c.a.X, c.a.X + c.n, c.w.XBASE);
  for (IWORD i = 0; i < c.n; ++i) c.a.X[i] += alpha * dy[i] * c.a.XSCALE[i];
}

void bound_pull(Ctx& c) {
  fcont_bndapp(c.n, c.P(ip::LUBNDS), c.Q(rp::BNDAPP), c.w.XBASE, c.a.X, c.a.XLB, c.a.XUB,
               c.I(ii::NBOUND));
}

// W1 := -H(X, RLAM).
void minus_h(Ctx& c) {
  const FcontArgs& a = c.a;
  fcont_homres(c.ihom(), c.n, a.X, c.rlam(), a.F, c.w.XINIT, c.w.F0, c.w.AJ0, c.w.W1, a.FSCALE,
               a.XSCALE, c.istore(), c.nz(), a.IRN, a.ICN);
  for (IWORD i = 0; i < c.n; ++i) c.w.W1[i] = -c.w.W1[i];
}

// A new Jacobian at X, to be used by the step JFROM; PFIXED 1 keeps the
// parameter fixed in the next solve.
Done new_jacobian(Ctx& c, IWORD jfrom, IWORD pfixed) {
  c.I(ii::JFROM) = jfrom;
  c.I(ii::NEWJAC) = 1;
  c.I(ii::PFIXED) = pfixed;
  return obtain_jacobian(c);
}

Done step_report(Ctx& c) {
  if (c.I(ii::NPOINT) > 0) return request(c, -6, 3);
  c.I(ii::IFAIL) = 0;
  return step_predict(c);
}

Done stop_decision(Ctx& c) {
  if (c.I(ii::NPOINT) >= c.P(ip::MAXPOINT)) return final_exit(c, 1);
  if (c.I(ii::NSLOW) >= c.P(ip::MAXSLOW)) return final_exit(c, 3);
  return final_exit(c, 2);
}

// Step length for the next point from the contraction of the corrector.
void step_rule(Ctx& c) {
  const double h = c.R(ri::HTAN);
  const double g = c.Q(rp::STPGRO);
  const IWORD iter = c.I(ii::ITER);
  double hn;
  if (iter <= 1) {
    hn = std::max(h * g, h);
  } else {
    const double lc = c.R(ri::LCALC), rc = c.R(ri::RCALC);
    if (lc + rc == 0.0) {
      hn = h * g;
    } else {
      const double q = std::max(lc / c.Q(rp::LIDEAL), rc / c.Q(rp::RIDEAL));
      hn = h * std::pow(1.0 / q, 1.0 / c.Q(rp::SPOWER));
    }
    if (iter >= c.P(ip::MAXCORR)) hn = std::min(hn, h);
  }
  if (c.I(ii::IFAIL) != 0) hn = std::fmin(hn, c.R(ri::HFAIL));
  // The clamps drop a NaN (fmax/fmin), so the step stays a number.
  hn = std::fmin(std::fmax(hn, h / g), h * g);
  hn = std::fmin(std::fmax(hn, c.Q(rp::MINSTP)), c.Q(rp::MAXSTP));
  if (c.P(ip::KPLLEV) >= 6) {
    Rec r;
    r.A("          HOLD:").G(h, 14, 6, 1).A(" HNEW:").G(hn, 14, 6, 1);
    print_line(c.P(ip::KPLUNT), c.a.MSGRTN, 0, r);
  }
  c.I(ii::IFAIL) = 0;
  c.R(ri::HTAN) = hn;
}

Done reverse(Ctx& c) {
  std::copy(c.w.XINIT, c.w.XINIT + c.n, c.a.X);
  c.rlam() = 1.0;
  c.I(ii::IPOINT) = c.I(ii::NPOINT);
  if (c.P(ip::KPLLEV) >= 6) {
    Rec r;
    r.A("!!!Fcont_Solve: reverse search direction");
    print_line(c.P(ip::KPLUNT), c.a.MSGRTN, 0, r);
  }
  return request(c, -2, 8);
}

// Step A: the corrector iterate (X, RLAM) is accepted as a path point.
Done accept_point(Ctx& c) {
  const IWORD n = c.n, np1 = c.np1;
  double& lam = c.rlam();
  const double pscale = c.R(ri::PSCALE);
  if (std::fabs(c.w.YB[n] * pscale - lam) <= 1e-4)
    c.I(ii::NSLOW) += 1;
  else
    c.I(ii::NSLOW) = 0;
  std::copy(c.w.YB, c.w.YB + np1, c.w.YP);
  std::copy(c.w.TB, c.w.TB + np1, c.w.TP);
  fcont_scale(n, c.a.X, lam, c.a.XSCALE, pscale, c.w.YB);
  std::copy(c.w.TPRED, c.w.TPRED + np1, c.w.TB);
  c.I(ii::NPOINT) += 1;
  for (IWORD i = 0; i < np1; ++i) c.w.W2[i] = c.w.YB[i] - c.w.YP[i];
  c.R(ri::DELS) = fcont_l2norm(np1, c.w.W2);
  c.R(ri::ARCLEN) += c.R(ri::DELS);
  if (lam < c.R(ri::RLAMSV)) {
    c.R(ri::RLAMSV) = lam;
    std::copy(c.a.X, c.a.X + n, c.w.XSAVE);
  }
  if (lam == 0.0) return final_exit(c, 0);
  if (lam >= c.Q(rp::PLIMIT)) {
    if (c.P(ip::REVERSE) == 0 || c.I(ii::IPOINT) > 0) return final_exit(c, 9);
    return reverse(c);
  }
  step_rule(c);
  if (c.I(ii::NTITER) < c.P(ip::MAXITER) && c.I(ii::NPOINT) < c.P(ip::MAXPOINT) &&
      c.I(ii::NSLOW) < c.P(ip::MAXSLOW)) {
    return new_jacobian(c, 3, 0);
  }
  if (lam == c.R(ri::RLAMSV)) return stop_decision(c);
  return request(c, -6, 10);
}

// A predicted point that could not be used (its evaluation failed, or it
// is not a finite number): the prediction is made again with the step
// shortened by STPGRO, or the run ends with 8 at MINSTP.
Done shorter_prediction(Ctx& c) {
  double& h = c.R(ri::HTAN);
  const double minstp = c.Q(rp::MINSTP);
  if (!(h > minstp)) return final_exit(c, 8);
  h = std::max(h / c.Q(rp::STPGRO), minstp);
  return step_predict(c);
}

// State 4: the residuals at a predicted point are in.
Done predicted_test(Ctx& c) {
  minus_h(c);
  const double r = c.rnorm(c.w.W1);
  const IWORD span = c.I(ii::NPOINT) - c.I(ii::IPOINT);
  // A residual that is not a finite number is an evaluation that failed,
  // like IFERR: a corrector step made from it is not a number either, and
  // the caller would be asked for its model at such a point.
  if (*c.a.IFERR == 0 && std::isfinite(r) &&
      (span > 2 || r <= std::fabs(c.Q(rp::FRATIO) * c.R(ri::FNORM0)))) {
    c.I(ii::NTITER) += 1;
    c.I(ii::ITER) = 1;
    c.I(ii::JFROM) = 4;
    c.I(ii::NEWJAC) = 1;
    return obtain_jacobian(c);
  }
  return shorter_prediction(c);
}

// State 5: the residuals at a corrector iterate are in.
Done corrector_test(Ctx& c) {
  minus_h(c);
  const double f1 = c.rnorm(c.w.W1);
  c.R(ri::FNORM1) = f1;
  const double fn = c.R(ri::FNORM);
  const double tol = c.Q(rp::FTOL) * c.R(ri::SQRTN);
  // A residual that is not a finite number never accepts the point, and a short
  // correction does not when its linear solve failed the accuracy check
  // (a singular Jacobian whose zero pivot was repaired gives a zero step).
  const bool short_step = c.R(ri::DXNEWT) <= c.Q(rp::XTOL) && !last_solve_inaccurate();
  const bool converged =
      std::isfinite(f1) && ((fn <= tol && f1 <= tol) || short_step || f1 <= 0.0);
  // A point on the far side of the target from the last accepted point:
  // the path has passed the target between them, so the step is taken
  // again, shorter, for the target step control to land on it.
  const double pf = c.R(ri::PFINAL);
  const double lb = c.w.YB[c.n] * c.R(ri::PSCALE);
  const double lam = c.rlam();
  const bool passed = c.I(ii::PFIXED) == 0 && ((lb > pf && lam < pf) || (lb < pf && lam > pf));
  if (converged && !passed) return accept_point(c);
  if (!converged && c.I(ii::ITER) < c.P(ip::MAXCORR) && f1 < std::max(fn, 0.5 * c.R(ri::FNORM0))) {
    c.I(ii::NTITER) += 1;
    c.I(ii::ITER) += 1;
    c.I(ii::JFROM) = 4;
    c.I(ii::NEWJAC) = c.P(ip::NEWTON);
    if (c.I(ii::NEWJAC) == 1) return obtain_jacobian(c);
    return corrector_step(c);
  }
  double& h = c.R(ri::HTAN);
  const double minstp = c.Q(rp::MINSTP);
  if (!(h > 1.001 * minstp)) return final_exit(c, 8);
  c.I(ii::IFAIL) += 1;
  c.R(ri::HFAIL) = h;
  h = std::max(h / c.Q(rp::STPGRO), minstp);
  if (c.P(ip::KPLLEV) >= 6) {
    Rec r;
    r.A("         Failed, reduce the step to").G(h, 14, 6);
    print_line(c.P(ip::KPLUNT), c.a.MSGRTN, 0, r);
  }
  return step_predict(c);
}

// State 13: the residuals after a start-point correction step are in.
Done initial_correction_test(Ctx& c) {
  const double f1 = c.rnorm(c.a.F);
  c.R(ri::FNORM1) = f1;
  const double fn = c.R(ri::FNORM);
  const double dx = c.R(ri::DXNEWT);
  const double xtol = c.Q(rp::XTOL), ftol = c.Q(rp::FTOL), sq = c.R(ri::SQRTN);
  double& alpha = c.R(ri::ALPHA);
  // A strongly damped step that more than doubled the residual is halved
  // from its base point XBASE, which stays.  The trial point comes back to
  // XBASE as ALPHA falls, where the residual is FNORM again, so the halving
  // ends; ALPHA = 0 (underflow) is not halved further.
  // A trial point whose residual is not a finite number (the step left the
  // model's domain) is no progress at all: its residual is not below 1/40
  // of the last one, and a Newton step made from it is not a number
  // either.  The step is halved from XBASE, whose residual was a number,
  // until the trial point is back in the domain.
  const bool outside = !std::isfinite(f1) && std::isfinite(fn);
  if (((alpha < 0.001 && f1 > 2.0 * fn) || outside) && alpha > 0.0) {
    alpha = alpha / 2.0;
    for (IWORD i = 0; i < c.n; ++i) c.a.X[i] = c.w.XBASE[i] + alpha * c.w.W1[i] * c.a.XSCALE[i];
    bound_pull(c);
    return request(c, -2, 13);
  }
  // A short step counts only when its linear solve passed the accuracy check.
  if (f1 < 0.1 * ftol * sq || (dx < 0.1 * xtol * sq && !last_solve_inaccurate())) {
    // The path starts at the corrected point: a reversal comes back to it,
    // not to the caller's point off the path.
    std::copy(c.a.X, c.a.X + c.n, c.w.XINIT);
    return new_jacobian(c, 3, 0);
  }
  if (c.I(ii::ITER) >= c.P(ip::MAXINIT)) return final_exit(c, 7);
  if (f1 >= 0.025 * fn) {
    return new_jacobian(c, 2, 1);
  }
  c.I(ii::NEWJAC) = 0;
  return initial_correction_step(c);
}

// Start of a run.
Done start(Ctx& c) {
  const FcontArgs& a = c.a;
  const IWORD n = c.n;
  for (int w : {ii::IGOTO, ii::NPOINT, ii::IPOINT, ii::ITER, ii::NTITER, ii::PFIXED, ii::NJAC,
                ii::NFUN, ii::NBOUND, ii::NSLOW, ii::LIMCUT, ii::NJITER, ii::IFAIL, ii::ISOLVS,
                ii::IREORD})
    c.I(w) = 0;
  c.I(ii::JCALC) = *a.JMODE;
  c.rlam() = 1.0;
  c.R(ri::RLAMSV) = 1.0;
  c.R(ri::SQRTN) = std::sqrt(static_cast<double>(n > 0 ? n : 0));
  c.R(ri::FNORM) = 0.0;
  c.R(ri::DXNEWT) = 0.0;
  c.R(ri::PFINAL) = 0.0;
  if (c.P(ip::LUBNDS) == c.P(ip::IMISS)) c.P(ip::LUBNDS) = (n >= 1 && a.XUB[0] > a.XLB[0]) ? 1 : 0;

  IWORD ierr = 0;
  fcont_chkparam(c.istore(), *a.JMODE, a.IPARAM, a.RPARAM, ierr, a.MSGRTN);
  // Problems the solver cannot lay out or follow: an empty or negative
  // size, a negative entry count, an unknown homotopy.
  if (n < 1 || (c.sparse() && c.nz() < 0) || c.ihom() < 1 || c.ihom() > 4) ierr = 1;
  if (ierr != 0) return final_exit(c, 12);
  // Sections whose starts would not fit in an IWORD: nothing is laid out.
  if (c.w.overflow) return final_exit(c, 15);
  if (*a.LIW < c.I(ii::JNEXT) - 1) return final_exit(c, 15);
  // W must hold the vector sections F0 to W2 (11 N + 7 words) before any of
  // them is written: the sparse set-up uses W2 as scratch before it measures
  // the room left for the linear solver.
  if (*a.LW < c.I(ii::IW2) + n) return final_exit(c, 15);
  const IWORD nwlin = c.w.NWLIN;
  if (!c.sparse() && nwlin < 0) return final_exit(c, 15);
  // A given scale vector with a zero or non-finite factor: every scaled
  // quantity divides by them.
  const double rmiss = c.Q(rp::RMISS);
  for (const double* s : {a.FSCALE, a.XSCALE}) {
    if (!(s[0] > 0.0 && s[0] < rmiss)) continue;
    for (IWORD i = 0; i < n; ++i)
      if (s[i] == 0.0 || !std::isfinite(s[i])) return final_exit(c, 12);
  }
  // A dense Jacobian needs LDB >= N: the factorisation and every column
  // access go through it.
  if (!c.sparse() && c.ldb() < n) return final_exit(c, 19);
  c.I(ii::NZ2) = c.nz();
  if (c.sparse()) {
    for (IWORD k = 0; k < c.nz(); ++k)
      if (a.IRN[k] < 1 || a.IRN[k] > n || a.ICN[k] < 1 || a.ICN[k] > n) return final_exit(c, 14);
    // Options of the sparse solver, and the room it needs in WLIN.
    const IWORD code = sparse_setup(c);
    if (code != 0) return final_exit(c, code);
  }

  IWORD* lx = &c.I(ii::LXNAME);
  IWORD* lf = &c.I(ii::LFNAME);
  lx[0] = *a.MXNAME;
  lf[0] = *a.MFNAME;
  if (fcont_present(a.NAMRTN) == 0) {
    if (lx[0] < 1) lx[0] = 0;
    if (lf[0] < 1) lf[0] = 0;
  }
  fcont_nameinit(n, lx, a.XNAMES, a.NAMRTN);
  fcont_nameinit(n, lf, a.FNAMES, a.NAMRTN);

  IWORD nberr = 0, ndxerr = 0;
  neq_chkbnd(n, a.X, c.P(ip::LUBNDS), a.XLB, a.XUB, 0, nullptr, nberr, ndxerr, lx, a.XNAMES,
             a.NAMRTN, c.P(ip::KPLUNT), c.P(ip::KPTUNT), a.MSGRTN);
  if (nberr > 0) return final_exit(c, 13);
  // The start point is the point after the bound repair: the homotopy
  // starts there, and a reversal and the best-point restore come back to it.
  std::copy(a.X, a.X + n, c.w.XSAVE);
  std::copy(a.X, a.X + n, c.w.XINIT);
  return request(c, -2, 1);
}

}  // namespace

Done request(Ctx& c, IWORD code, IWORD igoto) {
  c.I(ii::IGOTO) = igoto;
  *c.a.RLAM = c.rlam();
  *c.a.IFERR = 0;
  c.I(ii::ISOLVS) = code;
  *c.a.ISOLV = code;
  return true;
}

Done final_exit(Ctx& c, IWORD code) {
  c.I(ii::ISOLVS) = code;
  if (code != 0 && c.rlam() != c.R(ri::RLAMSV)) {
    std::copy(c.w.XSAVE, c.w.XSAVE + c.n, c.a.X);
    c.rlam() = c.R(ri::RLAMSV);
    c.I(ii::IGOTO) = 9;
    *c.a.RLAM = c.rlam();
    *c.a.IFERR = 0;
    *c.a.ISOLV = -2;
    return true;
  }
  return hand_out(c, code);
}

Done step_tangent(Ctx& c) {
  const FcontArgs& a = c.a;
  const IWORD n = c.n, np1 = c.np1;
  double& lam = c.rlam();
  const bool first = c.I(ii::NPOINT) == c.I(ii::IPOINT);
  if (first) {
    fcont_scale(n, a.X, lam, a.XSCALE, c.R(ri::PSCALE), c.w.YB);
    c.w.TP[0] = 100.0;
    std::fill(c.w.TPRED, c.w.TPRED + n, 0.0);
    c.w.TPRED[n] = c.I(ii::IPOINT) == 0 ? -1.0 : 1.0;
  }
  fcont_homlam(c.ihom(), n, a.X, lam, a.F, c.w.XINIT, c.w.AJ0, a.FSCALE, a.XSCALE, c.istore(),
               c.nz(), a.IRN, a.ICN, c.w.F0);
  const double pscale = c.R(ri::PSCALE);
  for (IWORD i = 0; i < n; ++i) c.w.W1[i] = c.w.F0[i] * pscale;
  c.I(ii::JFROM) = 2;
  const IWORD code = linear_solve(c, 2, 1);
  if (code != 0) return final_exit(c, code);
  if (first) {
    const double h = std::max(fcont_l2norm(np1, c.w.YB), 0.1) * c.Q(rp::INISTP);
    c.R(ri::HTAN) = h;
    c.R(ri::HTAN0) = h;
  } else {
    const double dels = c.R(ri::DELS);
    if (dels > 0.0 && std::isfinite(dels)) {
      IWORD k = n;
      double s = 0.0;
      fcont_turnpt(np1, k, dels, c.w.YB, c.w.TB, c.w.YP, c.w.TP, s);
      if (k != 0) {
        std::copy(a.X, a.X + n, c.w.XBASE);
        double hs = s;
        fcont_predict(np1, dels, hs, c.w.YB, c.w.TB, c.w.YP, c.w.TP, 1, c.w.W2, c.w.TPRED);
        fcont_unscale(n, c.w.W2, a.XSCALE, pscale, a.X, lam);
        return request(c, -5, 2);
      }
    } else {
      // No usable previous step: predict along the tangent alone.
      c.w.TP[0] = 100.0;
    }
  }
  return step_report(c);
}

Done step_predict(Ctx& c) {
  const FcontArgs& a = c.a;
  const IWORD n = c.n, np1 = c.np1;
  char text[kLineLen];
  fcont_tgtstep(c.R(ri::HTAN), np1, c.R(ri::DELS), c.R(ri::PFINAL), c.w.YB, c.w.TB, c.w.YP,
                c.w.TP, text, c.I(ii::PFIXED), c.I(ii::LIMCUT), kLineLen);
  fcont_predict(np1, c.R(ri::DELS), c.R(ri::HTAN), c.w.YB, c.w.TB, c.w.YP, c.w.TP, 2, c.w.W1,
                c.w.TPRED);
  std::copy(a.X, a.X + n, c.w.XBASE);
  const double lam0 = c.rlam();
  fcont_unscale(n, c.w.W1, a.XSCALE, c.R(ri::PSCALE), a.X, c.rlam());
  if (c.I(ii::PFIXED) == 1) c.rlam() = 0.0;
  bound_pull(c);
  const auto finite = [](double v) { return std::isfinite(v); };
  if (!std::isfinite(c.rlam()) || !std::all_of(a.X, a.X + n, finite)) {
    // A predicted point that is not a finite number (an overflow of the
    // step in unscaled variables) is never handed to the caller: back to
    // the accepted point, and the step is shortened as after a predicted
    // point that could not be evaluated.
    std::copy(c.w.XBASE, c.w.XBASE + n, a.X);
    c.rlam() = lam0;
    return shorter_prediction(c);
  }
  return request(c, -2, 4);
}

Done corrector_step(Ctx& c) {
  const FcontArgs& a = c.a;
  const IWORD n = c.n;
  minus_h(c);
  const IWORD nrhs = 2 - c.I(ii::PFIXED);
  if (c.I(ii::NEWJAC) == 1)
    fcont_homlam(c.ihom(), n, a.X, c.rlam(), a.F, c.w.XINIT, c.w.AJ0, a.FSCALE, a.XSCALE,
                 c.istore(), c.nz(), a.IRN, a.ICN, c.w.F0);
  if (nrhs == 2) {
    const double pscale = c.R(ri::PSCALE);
    for (IWORD i = 0; i < n; ++i) c.w.W2[i] = c.w.F0[i] * pscale;
  }
  c.I(ii::JFROM) = 3;
  const IWORD code = linear_solve(c, 3, nrhs);
  if (code != 0) return final_exit(c, code);
  c.R(ri::FNORM) = c.R(ri::RHOLEN);
  c.R(ri::DXNEWT) = c.R(ri::DYLEN);
  const IWORD iter = c.I(ii::ITER);
  if (c.P(ip::KPLLEV) >= 6) {
    Rec r;
    r.A("          ITER:").I(iter, 3).A("  RHO:").G(c.R(ri::RHOLEN), 14, 6, 1).A(" DY:");
    r.G(c.R(ri::DYLEN), 14, 6, 1);
    print_line(c.P(ip::KPLUNT), a.MSGRTN, 0, r);
  }
  if (iter == 1) {
    c.R(ri::LCALC) = c.R(ri::DXNEWT);
    c.R(ri::RCALC) = c.R(ri::FNORM);
  } else if (iter == 2) {
    c.R(ri::LCALC) = ratio(c.R(ri::DXNEWT), c.R(ri::LCALC));
    c.R(ri::RCALC) = ratio(c.R(ri::FNORM), c.R(ri::RCALC));
  }
  step_x(c, 1.0, c.w.W1);
  c.rlam() += c.w.W1[n] * c.R(ri::PSCALE);
  bound_pull(c);
  return request(c, -2, 5);
}

Done initial_correction_step(Ctx& c) {
  const IWORD n = c.n;
  c.I(ii::ITER) += 1;
  c.I(ii::PFIXED) = 1;
  for (IWORD i = 0; i < n; ++i) c.w.W1[i] = -c.a.F[i];
  c.I(ii::JFROM) = 1;
  const IWORD code = linear_solve(c, 1, 1);
  if (code != 0) return final_exit(c, code);
  c.R(ri::FNORM) = c.R(ri::RHOLEN);
  c.R(ri::DXNEWT) = c.R(ri::DYLEN);
  const double alpha = std::min(1.0, 10.0 / c.R(ri::DXNEWT));
  c.R(ri::ALPHA) = alpha;
  step_x(c, alpha, c.w.W1);
  bound_pull(c);
  return request(c, -2, 13);
}

}  // namespace orvika::fcont

namespace orvika {

void fcont_driver(const FcontArgs& a, const FcontWork& w) {
  using namespace fcont;
  Ctx c(a, w);
  const IWORD isolv = *a.ISOLV;
  if (isolv == -2) c.I(ii::NFUN) += 1;
  if (isolv == -3) c.I(ii::NJAC) += 1;
  const IWORD state = c.I(ii::IGOTO);
  if (isolv == -1 || state < 1 || state > 13) {
    start(c);
    return;
  }
  const IWORD n = c.n;
  double& lam = c.rlam();
  switch (state) {
    case 1:
      std::copy(a.F, a.F + n, w.F0);
      // A start residual that is not a finite number is an evaluation that
      // failed: every tangent and step of the run would be made from it.
      if (*a.IFERR != 0 || !std::all_of(a.F, a.F + n, [](double v) { return std::isfinite(v); })) {
        final_exit(c, 17);
        return;
      }
      if (c.sparse() && *a.JMODE != 1)
        neq_colgroup(n, n, c.nz(), a.IRN, a.ICN, w.JICP, w.JMAPZ, c.I(ii::NGRP), w.JIGRP, w.W1,
                     w.W2);
      new_jacobian(c, 1, 0);
      return;
    case 2:
      std::copy(w.XBASE, w.XBASE + n, a.X);
      lam = w.YB[n] * c.R(ri::PSCALE);
      step_report(c);
      return;
    case 3:
      c.I(ii::IFAIL) = 0;
      step_predict(c);
      return;
    case 4:
      predicted_test(c);
      return;
    case 5:
      corrector_test(c);
      return;
    case 6:
      if (c.I(ii::JCALC) == 3 || c.I(ii::JCALC) == 4) {
        c.I(ii::NJITER) = 0;
        difference_loop(c);
      } else {
        jacobian_complete(c);
      }
      return;
    case 7:
      difference_loop(c);
      return;
    case 8:
      new_jacobian(c, 3, 0);
      return;
    case 9:
      hand_out(c, c.I(ii::ISOLVS));
      return;
    case 10:
      stop_decision(c);
      return;
    case 11:
      std::copy(a.F, a.F + n, w.W2);
      lam = 2.0 * c.R(ri::RLAM0) - lam;
      request(c, -2, 12);
      return;
    case 12: {
      const double den = c.R(ri::RLAM0) - lam;
      // A side whose residual is not a finite number (the model is not
      // defined there) is left out: the one-sided quotient of the other side
      // and the centre (residuals of the centre in W1) is taken instead, so
      // that the tangent and the corrector steps stay numbers.
      for (IWORD i = 0; i < n; ++i) {
        const double lo = a.F[i], up = w.W2[i], mid = w.W1[i];
        if (!std::isfinite(lo) && std::isfinite(up))
          w.F0[i] = (mid - up) / den;
        else if (!std::isfinite(up) && std::isfinite(lo))
          w.F0[i] = (lo - mid) / den;
        else
          w.F0[i] = (lo - up) * 0.5 / den;
      }
      std::copy(w.W1, w.W1 + n, a.F);
      lam = c.R(ri::RLAM0);
      jacobian_dispatch(c);
      return;
    }
    case 13:
      initial_correction_test(c);
      return;
    default:
      return;
  }
}

}  // namespace orvika
