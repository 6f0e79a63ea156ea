/* Fits the Antoine equation  ln P = A - B / (T + C)  (P in kPa, T in K) to
 * measured vapour pressures of benzene with ORVK_BNLLSQ.
 *
 * Each point's ln P carries a standard deviation of 0.005 (0.5 % in P).
 * The model routine returns ln P at every temperature and, when asked
 * (request 0), the derivatives with respect to A, B and C.  The program
 * prints the parameters with their standard deviations, the fit, and checks
 * the least-squares optimality condition J' W r = 0 at the estimate. */
#include <math.h>
#include <stdio.h>

#include "orvika/host_stub.h"
#include "orvika/orvika.h"

enum { NPAR = 3, NDAT = 9 };

/* ln P(T) and, on request 0, d ln P / d(A, B, C) at FP(j + i NPAR). */
static void antoine(const IWORD *npar, const IWORD *ndat, void *mdat1, const double *p,
                    void *mdat2, const IWORD *req, double *f, double *fp, void *muser) {
  const double *t = (const double *)mdat1;
  (void)mdat2;
  (void)muser;
  for (IWORD i = 0; i < *ndat; ++i) {
    const double d = t[i] + p[2];
    f[i] = p[0] - p[1] / d;
    if (*req == 0) {
      fp[0 + i * *npar] = 1.0;
      fp[1 + i * *npar] = -1.0 / d;
      fp[2 + i * *npar] = p[1] / (d * d);
    }
  }
}

int main(void) {
  orvk_host_reset();

  double t[NDAT] = {290.0, 300.0, 310.0, 320.0, 330.0, 340.0, 350.0, 360.0, 370.0};
  const double pkpa[NDAT] = {8.621, 13.758, 21.415, 31.873, 46.766,
                             66.181, 91.203, 124.407, 165.636};
  double lnp[NDAT], sd[NDAT];
  for (int i = 0; i < NDAT; ++i) {
    lnp[i] = log(pkpa[i]);
    sd[i] = 0.005;
  }

  /* Start from a Clausius-Clapeyron line (C = 0) through the end points. */
  const double b0 = (lnp[NDAT - 1] - lnp[0]) / (1.0 / t[0] - 1.0 / t[NDAT - 1]);
  double p[NPAR] = {lnp[0] + b0 / t[0], b0, 0.0};
  double plow[NPAR], pupp[NPAR], pscl[NPAR] = {1.0, 1.0, 1.0};
  IWORD npar = NPAR, ndat = NDAT, iter = 100, iods = 0, iprint = 0, ndrv = 0, ibound = 0;
  IWORD ieng = 0, iflag1 = 0, ncall = 0, istat = -99;
  double stpsiz = 1.0, tol = 1e-10, ssnd = 1e-6, ssq = 0.0, sigma = 0.0;
  double rwork[2 * NPAR * NDAT + 10 * NDAT + 9 * NPAR + 1], zadj[NDAT];
  double cpack[NPAR * (NPAR + 1) / 2], hmat[NPAR * NPAR + NPAR];
  IWORD iwork[NPAR + 2 * NDAT];

  ORVK_BNLLSQ(&npar, &ndat, t, p, lnp, NULL, sd, antoine, &iter, &iods, &stpsiz, &tol, &iprint,
              &ndrv, &ibound, plow, pupp, &iflag1, NULL, NULL, &ssnd, rwork, iwork, &ssq, &sigma,
              zadj, cpack, hmat, &ncall, &istat, NULL, &ieng, pscl);

  printf("Antoine fit for benzene, ln P[kPa] = A - B/(T[K] + C), ORVK_BNLLSQ\n\n");
  if (istat != 0) {
    printf("ORVK_BNLLSQ failed: ISTAT = %ld\n", (long)istat);
    return 1;
  }
  /* The packed covariance (scaled by the residual variance) holds the
   * diagonal at words 1, 3 and 6. */
  const int diag[NPAR] = {0, 2, 5};
  const char *const pname[NPAR] = {"A", "B", "C"};
  printf("Converged in %ld iterations (%ld model calls), SSQ = %.4f, sigma = %.4f\n\n",
         (long)iter, (long)ncall, ssq, sigma);
  for (int j = 0; j < NPAR; ++j)
    printf("  %s = %12.5f  +/- %9.5f\n", pname[j], p[j], sqrt(cpack[diag[j]]));

  printf("\n  %7s %10s %10s %8s\n", "T, K", "P meas", "P calc", "dev, %");
  double f[NDAT], fp[NPAR * NDAT], grad[NPAR] = {0.0, 0.0, 0.0}, gscale = 0.0;
  const IWORD req = 0;
  antoine(&npar, &ndat, t, p, NULL, &req, f, fp, NULL);
  for (int i = 0; i < NDAT; ++i) {
    const double pc = exp(f[i]);
    printf("  %7.1f %10.3f %10.3f %8.3f\n", t[i], pkpa[i], pc, 100.0 * (pc - pkpa[i]) / pkpa[i]);
    const double r = (f[i] - lnp[i]) / (sd[i] * sd[i]);
    for (int j = 0; j < NPAR; ++j) {
      grad[j] += fp[j + i * NPAR] * r;
      gscale = fmax(gscale, fabs(fp[j + i * NPAR] * r));
    }
  }
  /* J'W r = 0 at a least-squares minimum, relative to its largest term. */
  double gmax = 0.0;
  for (int j = 0; j < NPAR; ++j) gmax = fmax(gmax, fabs(grad[j] / gscale));
  /* The standard deviations again from s^2 (J'WJ)^-1, J'WJ inverted by cofactors. */
  double m[3][3] = {{0.0}}, sdmax = 0.0;
  for (int i = 0; i < NDAT; ++i)
    for (int j = 0; j < NPAR; ++j)
      for (int l = 0; l < NPAR; ++l)
        m[j][l] += fp[j + i * NPAR] * fp[l + i * NPAR] / (sd[i] * sd[i]);
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  const double inv_diag[NPAR] = {(m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det,
                                 (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det,
                                 (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det};
  for (int j = 0; j < NPAR; ++j) {
    const double ref = sigma * sqrt(inv_diag[j]);
    sdmax = fmax(sdmax, fabs(sqrt(cpack[diag[j]]) - ref) / ref);
  }
  printf("\n  normal-equation residual |J'W r| / max term = %.2e\n", gmax);
  printf("  standard deviations against s^2 (J'WJ)^-1: largest relative difference %.2e\n", sdmax);
  printf("  normal boiling point (101.325 kPa): %.2f K\n", p[1] / (p[0] - log(101.325)) - p[2]);
  const int ok = gmax < 1e-6 && sdmax < 1e-4;
  printf("  check: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
