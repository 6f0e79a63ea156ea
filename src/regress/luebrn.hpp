// State of one ORVK_LUEBRN run: the caller's arguments and the run values
// carried between the steps of the call.  Not shared between calls.
#pragma once

#include "orvika/regress.h"
#include "regress/regress.hpp"

namespace orvika {

struct Luebrn {
  // ---- arguments (counts by value, arrays by address)
  IWORD npar, nmmax, ndat, ncmax, lpack;
  const IWORD *nmeas, *ncons;
  void *mdat1, *mdat2, *muser;
  double *f, *p, *z;
  const double* zm;
  double *fz, *fp;
  const double* r;
  double *w, *wpack, *zfirst, *fpw, *delp, *znew, *elin, *grad, *hmat, *stplo, *stpup, *cpack;
  ORVK_MODELFN model;
  IWORD iprint, iods;
  IWORD* istat;
  IWORD* iter;
  double tol;
  IWORD* iperm;
  IWORD kdem, isv;
  double *sigma, *ssq, *ftry;
  IWORD nzmit, ndrv;
  double ssnd;
  IWORD* ncall;
  const double *plow, *pupp;
  double *qpwork, *pold, *dscal, *lam, *lam2, *fbase, *dz, *psave;
  const double* pscl;

  // ---- run state
  bool lform9 = false;
  IWORD iunit = 6, kprint = 0, iterno = 1, kd = -1, casewd = 0;
  bool lbase = true, lderz = true, lderp = false;
  bool fact_base = true, fact_resid = false, fact_cov = true;
  double rmax = 0.5, t0 = 0, t = 0;
  double len = 0, plen = 0, lent = 1000, rlm = 1, bshift = 0.1, mu = 1, mu_prev = 1;
  bool expand = true;
  IWORD search_limit = 2;
  double objb = 0, objp = 0, obja = 0, objb_prev = 0, rch = 0, reladj = 0;
  double s0 = 0, t0pen = 0, s1 = 0, t1pen = 0, s2 = 0, t2pen = 0, merit_base = 0;
  IWORD nfree = 0, npass = 0;
  double fobj = 0;
  bool once_msg = true;
  IWORD heads[3] = {0, 0, 0};  // BL, WL, DM
  char tag[3] = "DM";
  bool refresh = false;
  double best_ = 0;

  enum Method { kWL, kDM, kBL };
  Method method = kDM;

  // ---- array access (1-based)
  double& F(IWORD k, IWORD i) const { return f[(k - 1) + (i - 1) * ncmax]; }
  double& FTRY(IWORD k, IWORD i) const { return ftry[(k - 1) + (i - 1) * ncmax]; }
  double& ELIN(IWORD k, IWORD i) const { return elin[(k - 1) + (i - 1) * ncmax]; }
  double& Z(IWORD m, IWORD i) const { return z[(m - 1) + (i - 1) * nmmax]; }
  double ZM(IWORD m, IWORD i) const { return zm[(m - 1) + (i - 1) * nmmax]; }
  double& FP(IWORD k, IWORD j, IWORD i) const {
    return fp[(k - 1) + (j - 1) * ncmax + (i - 1) * ncmax * npar];
  }
  double& W(IWORD k, IWORD l, IWORD i) const {
    return w[(k - 1) + (l - 1) * ncmax + (i - 1) * ncmax * ncmax];
  }
  double& FPW(IWORD k, IWORD l, IWORD i) const {
    return fpw[(k - 1) + (l - 1) * npar + (i - 1) * npar * ncmax];
  }
  double& H(IWORD k, IWORD l) const { return hmat[(k - 1) + (l - 1) * npar]; }

  // ---- steps (luebrn.cpp)
  void run();
  void derive(IWORD sw, double* values, double* work);
  void covi();
  bool iteration();  // false: the run goes to its end
  void linear_model();
  void trial_evaluation();
  enum Decision { kNextPass, kAccepted, kPhaseEnd };
  Decision decide();
  bool phase_end();  // true: next iteration
  bool next_iteration();
  void finish(bool forced);

  // ---- reports (luebrn_report.cpp)
  void echo();
  void progress(IWORD k);
  void iteration_line(IWORD k, bool term);
  void gradient_lines();
  void lm_line(IWORD n);
  void step_lines();
  void constraint_messages();
  void causes_block();
  void pass_line(IWORD c);
  void adjustment_failed();
  void final_report();
  void statistics();
  double pscale(IWORD k) const;
};

}  // namespace orvika
