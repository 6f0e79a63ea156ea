// State of one ORVK_LUEBRN run: the caller's arguments and the run values
// carried between the steps of the call.  Not shared between calls.
#pragma once

#include "orvika/regress.h"
#include "regress/regress.hpp"

namespace orvika {

struct Luebrn : EngineArgs {
  // ---- arguments of this engine only
  double *zfirst, *znew;
  IWORD nzmit;
  double *pold, *dscal, *lam, *lam2, *fbase, *dz, *psave;
  Vec1<double> POLD{pold}, DSCAL{dscal}, PSAVE{psave};
  Mat1<double> ZNEW{znew, nmmax};

  // ---- run state
  IWORD iterno = 1;
  bool lbase = true, lderz = true, lderp = false;
  bool fact_base = true, fact_resid = false, fact_cov = true;
  double rmax = 0.5;
  double len = 0, plen = 0, lent = 1000, rlm = 1, bshift = 0.1, mu = 1, mu_prev = 1;
  bool expand = true;
  IWORD search_limit = 2;
  double objb = 0, objp = 0, obja = 0, objb_prev = 0, rch = 0, reladj = 0;
  double s0 = 0, t0pen = 0, s1 = 0, t1pen = 0, s2 = 0, t2pen = 0, merit_base = 0;
  IWORD npass = 0;
  bool once_msg = true;
  IWORD heads[3] = {0, 0, 0};  // BL, WL, DM
  char tag[3] = "DM";
  bool refresh = false;
  double best_ = 0;
  // The bounded step's factor (IPERM, NFREE, QPWORK, HMAT's lower triangle)
  // is that of the undamped normal matrix at POLD: the first-order test of
  // this decision made it.
  bool undamped_factor = false;
  // The decrease that undamped step promises, relative to the objective.
  double promised = 0;

  enum Method { kWL, kDM, kBL };
  Method method = kDM;

  // ---- steps (luebrn.cpp)
  void run();
  void derive(IWORD sw, double* values, double* work);
  void covi();
  bool iteration();  // false: the run goes to its end
  void linear_model();
  void trial_evaluation();
  enum Decision { kNextPass, kAccepted, kPhaseEnd };
  Decision decide();
  bool stationary();
  bool bl_stationary();
  bool gradient_finite() const;
  double data_size() const;
  double* fz_scratch() const;
  double* fp_scratch() const;
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
  void prune();
  void scaled_free_block();
  IWORD nfree_qp = 0;  // free parameters of the last quadratic program
  // Pivot of the unit-diagonal normal matrix below which a parameter counts
  // as not determined by the data.
  static constexpr double kRankTol = 1e-13;
  double pscale(IWORD k) const;
};

}  // namespace orvika
