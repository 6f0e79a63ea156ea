// Jacobian acquisition of the continuation driver (from the caller, by
// differences, or checked once), the parameter derivative of homotopy type
// 4, and the start set-up made with the first Jacobian of a run.
#include <algorithm>
#include <cmath>
#include <limits>

#include "fcont/driver_ctx.hpp"
#include "fcont/fcont_parts.hpp"
#include "sparselu/sparselu.hpp"

namespace orvika::fcont {

Done obtain_jacobian(Ctx& c) {
  if (c.I(ii::JCALC) == 2) {
    c.I(ii::NJITER) = 0;
    return difference_loop(c);
  }
  return request(c, -3, 6);
}

Done difference_loop(Ctx& c) {
  const FcontArgs& a = c.a;
  neq_jacfd(c.istore(), *a.JMODE, c.n, c.n, c.nz(), a.X, a.F, a.XLB, a.XUB, c.I(ii::NJITER),
            c.ldb(), a.IRN, a.AJAC, c.w.JICP, c.w.JMAPZ, c.w.JIGRP, c.Q(rp::PERTF),
            c.Q(rp::XPMIN), c.Q(rp::DIFREL), c.Q(rp::DIFABS), c.w.XBASE, c.w.W1, c.w.W2,
            c.P(ip::LUBNDS), &c.I(ii::LXNAME), a.XNAMES, &c.I(ii::LFNAME), a.FNAMES, a.NAMRTN,
            c.P(ip::KPLUNT), a.MSGRTN);
  if (c.I(ii::NJITER) != 0) return request(c, -2, 7);
  if (c.I(ii::JCALC) != 2) c.I(ii::JCALC) = 1;
  return jacobian_complete(c);
}

Done jacobian_complete(Ctx& c) {
  if (c.ihom() != 4) return jacobian_dispatch(c);
  // Central difference of F in the parameter: upper point first.
  double& lam = c.rlam();
  c.R(ri::RLAM0) = lam;
  std::copy(c.a.F, c.a.F + c.n, c.w.W1);
  const double up = lam + std::max(std::fabs(lam), c.Q(rp::XPMIN)) * c.Q(rp::PERTF);
  // An offset lost to rounding would leave both points at the centre and
  // make the quotient 0/0: the next number above the centre is taken then
  // (its mirror is exact, so the two points stay symmetric).  So also when
  // the offset is not a finite number (PERTF not one).
  lam = (up == lam || !std::isfinite(up))
            ? std::nextafter(lam, std::numeric_limits<double>::infinity())
            : up;
  return request(c, -2, 11);
}

Done jacobian_dispatch(Ctx& c) {
  switch (c.I(ii::JFROM)) {
    case 1:
      return start_setup(c);
    case 2:
      return initial_correction_step(c);
    case 4:
      return corrector_step(c);
    default:
      return step_tangent(c);
  }
}

Done start_setup(Ctx& c) {
  const FcontArgs& a = c.a;
  const IWORD n = c.n;
  IWORD nzero = 0, nempty = 0;
  neq_zerorc(c.istore(), n, n, c.nz(), c.ldb(), a.IRN, a.ICN, a.AJAC, c.w.YP, c.w.TP, nzero,
             nempty, c.w.W1, c.w.W2, &c.I(ii::LXNAME), a.XNAMES, &c.I(ii::LFNAME), a.FNAMES,
             a.NAMRTN, c.P(ip::KPLUNT), c.P(ip::KPTUNT), a.MSGRTN);
  if (nempty > 0) return final_exit(c, 5);
  if (nzero > 0) return final_exit(c, 16);

  // Scale factors: a vector counts as given when its first component lies
  // strictly between 0 and RMISS.
  const double rmiss = c.Q(rp::RMISS);
  const bool fgiven = a.FSCALE[0] > 0.0 && a.FSCALE[0] < rmiss;
  const bool xgiven = a.XSCALE[0] > 0.0 && a.XSCALE[0] < rmiss;
  const IWORD mode = fgiven ? (xgiven ? 0 : 1) : (xgiven ? 2 : 5);
  if (mode != 0) {
    if (c.sparse())
      EQUILT(n, n, c.nz(), a.IRN, a.ICN, a.AJAC, mode, a.FSCALE, a.XSCALE, c.w.W1, c.w.W2);
    else
      EQUILD(n, n, c.ldb(), a.AJAC, mode, a.FSCALE, a.XSCALE, c.w.W1, c.w.W2);
  }

  // Reference norm and parameter scale from minus the parameter derivative.
  const double s = c.rnorm(c.w.F0);
  // The start point solves F = 0 only when every residual is 0: a scaled
  // maximum of 0 may also come from a residual that is not a number (which
  // std::max drops) or from a row factor of 0 (an infinite Jacobian row).
  double m = 0.0;
  bool solved = true;
  for (IWORD i = 0; i < n; ++i) {
    if (c.w.F0[i] != 0.0) solved = false;
    m = std::max(m, std::fabs(a.FSCALE[i] * c.w.F0[i]));
  }
  c.R(ri::FNORM0) = s;
  if (solved && c.ihom() != 4) {
    // Types 1-3: the start point already solves F = 0.  (For type 4 a zero
    // parameter derivative says nothing about F at the target.)
    c.rlam() = 0.0;
    return final_exit(c, 0);
  }
  c.R(ri::PSCALE) = 1.0 / std::max(m, 0.001);

  if (c.ihom() == 2) {
    if (c.sparse()) {
      std::copy(a.AJAC, a.AJAC + c.nz(), c.w.AJ0);
    } else {
      for (IWORD j = 0; j < n; ++j)
        std::copy(a.AJAC + j * c.ldb(), a.AJAC + j * c.ldb() + n, c.w.AJ0 + j * n);
    }
  }
  if (c.ihom() == 4) {
    c.R(ri::FNORM0) = std::max(s, 0.1);
    if (s >= 0.1 * c.Q(rp::FTOL) * c.R(ri::SQRTN)) {
      c.I(ii::ITER) = 0;
      return initial_correction_step(c);
    }
  }
  return step_tangent(c);
}

}  // namespace orvika::fcont
