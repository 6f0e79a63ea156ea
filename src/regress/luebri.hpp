// State of one ORVK_LUEBRI run: the caller's arguments and the run values
// carried between the steps of the call.
#pragma once

#include "orvika/regress.h"
#include "regress/regress.hpp"

namespace orvika {

struct Luebri {
  IWORD npar, nmmax, ndat, ncmax, lpack;
  const IWORD *nmeas, *ncons;
  void *mdat1, *mdat2, *muser;
  double *f, *p, *z;
  const double* zm;
  double *fz, *fp;
  const double* r;
  double *w, *wpack, *zpert, *fpw, *delp, *delz, *elin, *grad, *hmat, *stplo, *stpup, *cpack;
  ORVK_MODELFN model;
  IWORD iprint, iods;
  IWORD* istat;
  IWORD* iter;
  double tol;
  IWORD* iperm;
  IWORD kdem, isv;
  double *sigma, *ssq, *ftry;
  double stpsiz;
  IWORD ndrv;
  double ssnd;
  IWORD* ncall;
  IWORD ibound;
  const double *plow, *pupp;
  double* qpwork;
  const double* pscl;

  bool lform9 = false;
  IWORD iunit = 6, kprint = 0, iterno = 0, kd = -1, casewd = 0, nfree = 0;
  double t0 = 0, t = 0, gamma = 0, fobj = 0, rms = 0, slin = 0;
  double scratch[2] = {0, 0};

  double& F(IWORD k, IWORD i) const { return f[(k - 1) + (i - 1) * ncmax]; }
  double& FTRY(IWORD k, IWORD i) const { return ftry[(k - 1) + (i - 1) * ncmax]; }
  double& ELIN(IWORD k, IWORD i) const { return elin[(k - 1) + (i - 1) * ncmax]; }
  double& Z(IWORD m, IWORD i) const { return z[(m - 1) + (i - 1) * nmmax]; }
  double& ZP(IWORD m, IWORD i) const { return zpert[(m - 1) + (i - 1) * nmmax]; }
  double& DZ(IWORD m, IWORD i) const { return delz[(m - 1) + (i - 1) * nmmax]; }
  double ZM(IWORD m, IWORD i) const { return zm[(m - 1) + (i - 1) * nmmax]; }
  double R(IWORD m, IWORD i) const { return r[(m - 1) + (i - 1) * nmmax]; }
  double& FZ(IWORD k, IWORD m, IWORD i) const {
    return fz[(k - 1) + (m - 1) * ncmax + (i - 1) * ncmax * nmmax];
  }
  double& FP(IWORD k, IWORD j, IWORD i) const {
    return fp[(k - 1) + (j - 1) * ncmax + (i - 1) * ncmax * npar];
  }
  double& W(IWORD k, IWORD l, IWORD i) const {
    return w[(k - 1) + (l - 1) * ncmax + (i - 1) * ncmax * ncmax];
  }
  double& FPW(IWORD l, IWORD k, IWORD i) const {
    return fpw[(l - 1) + (k - 1) * npar + (i - 1) * npar * ncmax];
  }
  double& H(IWORD k, IWORD l) const { return hmat[(k - 1) + (l - 1) * npar]; }

  void call(const double* z1, const double* z2, const double* pp, IWORD req, double* ff,
            double* ffz, double* ffp);
  void run();
  void derivatives(bool check, bool deming);
  void derivative_dump(bool check);
  void iteration(bool deming);
  void line_search();
  void final_phase();

  // luebri_report.cpp
  void echo();
  void header();
  void not_converged(IWORD n);
  void final_report();
  void statistics(bool report);
  void rows10(const double* v, IWORD n, IWORD stride);
};

}  // namespace orvika
