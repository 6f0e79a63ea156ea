// ORVK_BNLLSQ: regression front end for one measured value and one
// constraint per data point; partitions the work arrays and runs an engine.
#include <algorithm>

#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "orvika/regress.h"

/* ORVK_BNLLSQ: fits the NPAR parameters P of a nine-argument model y(P) to the
 * NDAT measured values ZM (standard deviations R), with the constraints
 * y_i(P) - z_i = 0, by ORVK_LUEBRI (IENG = 1) or ORVK_LUEBRN (other IENG,
 * method 3: weighted least squares).
 *
 *   NPAR, NDAT  in      IWORD       counts (>= 0).
 *   MDAT1, MDAT2, MUSER in          the caller's data, handed to MODEL only.
 *   P       in/out  real(NPAR)      start values; estimates.
 *   ZM, R   in      real(NDAT)      measured values, standard deviations.
 *   MODEL   in      routine         nine-argument model (see regress.h).
 *   ITER    in/out  IWORD           iteration limit; iterations performed.
 *   IODS    in      IWORD           method of ORVK_LUEBRI (line-search switch).
 *   STPSIZ  in      real            step factor of ORVK_LUEBRI.
 *   TOL     in      real            convergence tolerance.
 *   IPRINT  in      IWORD           print level (> 3: the work-length line).
 *   NDRV    in      IWORD           0 analytic derivatives, else differences.
 *   IBOUND  in      IWORD           1: PLOW, PUPP given; else set to -/+RMISVAL.
 *   PLOW, PUPP in/out real(NPAR)    bounds.
 *   IFLAG1  out     IWORD           1.
 *   ARG19, ARG20    -               not read.
 *   SSND    in      real            relative difference step.
 *   RWORK   work    real            2A + 10 NDAT + 9 NPAR + 1 words (ORVK_LUEBRN),
 *                                   2A + 7 NDAT + 6 NPAR (ORVK_LUEBRI), A = NPAR NDAT.
 *   IWORK   work    IWORD           NPAR + 2 NDAT words.
 *   SSQ, SIGMA out  real            sum of squares, standard-deviation estimate.
 *   Z       out     real(NDAT)      adjusted measurements.
 *   CPACK   out     real(NPAR(NPAR+1)/2)  packed parameter matrix of the statistics.
 *   HMAT    work    real(NPAR NPAR + NPAR).
 *   NCALL   out     IWORD           model calls.
 *   ISTAT   out     IWORD           the engine's return code; -1 when NPAR or
 *                                   NDAT is negative (no engine is called).
 *   IENG    in      IWORD           1 ORVK_LUEBRI, other ORVK_LUEBRN.
 *   PSCL    in      real(NPAR)      parameter scale factors.
 * Cost: that of the engine. */
extern "C" ORVK_API void ORVK_BNLLSQ(const IWORD* NPAR, const IWORD* NDAT, void* MDAT1, double* P,
                                     const double* ZM, void* MDAT2, const double* R,
                                     ORVK_MODEL9 MODEL, IWORD* ITER, const IWORD* IODS,
                                     const double* STPSIZ, const double* TOL, const IWORD* IPRINT,
                                     const IWORD* NDRV, const IWORD* IBOUND, double* PLOW,
                                     double* PUPP, IWORD* IFLAG1, void* ARG19, void* ARG20,
                                     const double* SSND, double* RWORK, IWORD* IWORK, double* SSQ,
                                     double* SIGMA, double* Z, double* CPACK, double* HMAT,
                                     IWORD* NCALL, IWORD* ISTAT, void* MUSER, const IWORD* IENG,
                                     const double* PSCL) {
  *IFLAG1 = 1;
  const IWORD npar = *NPAR, ndat = *NDAT;
  // Negative counts would place the sub-arrays before the work arrays.
  if (npar < 0 || ndat < 0) {
    *ISTAT = -1;
    *NCALL = 0;
    *ITER = 0;
    return;
  }
  // Constant words handed to the engine by address.
  const IWORD nmmax = 1, ncmax = 1, lpmat = npar * (npar + 1) / 2, lpack = 1, arg35 = 1;
  const IWORD kdem = -2, isv = 0, nzmit = 1;
  const IWORD a = npar * ndat;
  for (IWORD i = 0; i < 2 * ndat; ++i) IWORK[npar + i] = 1;
  IWORD* iperm = IWORK;
  IWORD* nmeas = IWORK + npar;
  IWORD* ncons = IWORK + npar + ndat;

  double* fz = RWORK;
  double* fp = RWORK + ndat;
  double* w = RWORK + a + ndat;
  double* fpw = RWORK + a + 2 * ndat;
  double* delp = RWORK + 2 * a + 2 * ndat;
  double* elin = delp + npar;
  double* grad = elin + ndat;
  double* qpwork = grad + npar;
  double* stpup = qpwork + 3 * npar;
  double* ftry = stpup + npar;
  double* f = ftry + ndat;
  double* znew = f + ndat;
  double* wpack = znew + ndat;
  const bool luebri = *IENG == 1;
  const IWORD lreal = luebri ? 2 * a + 7 * ndat + 6 * npar : 2 * a + 10 * ndat + 9 * npar + 1;

  if (*IBOUND != 1)
    for (IWORD j = 0; j < npar; ++j) {
      PLOW[j] = -orvika::host::rmisval();
      PUPP[j] = orvika::host::rmisval();
    }
  if (*IPRINT > 3)
    orvika::write_rec(orvika::host::repunit(),
                      orvika::Rec()
                          .A(" MINIMUM WORK VECTOR LENGTHS,REAL,INTEGER ")
                          .I(lreal, 6)
                          .I(npar + 2 * ndat, 6));

  double* stplo = HMAT + npar * npar;
  auto model = reinterpret_cast<ORVK_MODELFN>(MODEL);
  if (luebri) {
    const IWORD ndrv = std::min<IWORD>(*NDRV, 1);
    ORVK_LUEBRI(NPAR, &nmmax, nmeas, MDAT1, NDAT, &ncmax, ncons, &lpmat, &lpack, f, P, Z, ZM,
                MDAT2, fz, fp, R, w, wpack, fpw, fpw, delp, znew, elin, grad, HMAT, stplo, stpup,
                CPACK, model, IPRINT, IODS, ISTAT, ITER, &arg35, TOL, iperm, &kdem, &isv, SIGMA,
                SSQ, ftry, &nzmit, STPSIZ, &ndrv, SSND, NCALL, IBOUND, PLOW, PUPP, qpwork, IFLAG1,
                ARG19, ARG20, MUSER, PSCL);
    return;
  }
  double* pold = wpack + ndat;
  double* dscal = pold + npar;
  double* lam = dscal + npar;
  double* lam2 = lam + ndat;
  double* fbase = lam2 + ndat;
  double* dz = fbase + ndat;
  double* psave = dz + 1;
  const IWORD iods = 3;
  ORVK_LUEBRN(NPAR, &nmmax, nmeas, MDAT1, NDAT, &ncmax, ncons, &lpmat, &lpack, f, P, Z, ZM, MDAT2,
              fz, fp, R, w, wpack, fpw, fpw, delp, znew, elin, grad, HMAT, stplo, stpup, CPACK,
              model, IPRINT, &iods, ISTAT, ITER, &arg35, TOL, iperm, &kdem, &isv, SIGMA, SSQ, ftry,
              &nzmit, STPSIZ, NDRV, SSND, NCALL, IBOUND, PLOW, PUPP, qpwork, IFLAG1, ARG19, ARG20,
              MUSER, pold, dscal, lam, lam2, fbase, dz, psave, PSCL);
}
