/* Compressibility factor of propane from the Peng-Robinson equation of state
 * with ORVK_CUBIC.
 *
 * At temperature T and pressure P the compressibility factor Z solves
 *
 *   Z^3 - (1 - B) Z^2 + (A - 3B^2 - 2B) Z - (AB - B^2 - B^3) = 0,
 *   A = a(T) P / (RT)^2,  B = b P / (RT).
 *
 * ORVK_CUBIC returns the largest root in [XMIN, XMAX] and the number of
 * roots there: over [B, 10] that is the vapour root; narrowing XMAX below
 * each root found walks down to the liquid root.  The fugacity coefficients
 * of the two roots tell which phase is stable, and the saturation pressure
 * follows from P <- P phi_L / phi_V.  Every root is checked by the size of
 * a Newton correction, the saturation point by phi_L = phi_V.  (The
 * closed-form roots below the largest carry relative errors near 1e-8; a
 * host that needs more polishes them with a Newton step.) */
#include <math.h>
#include <stdio.h>

#include "orvika/host_stub.h"
#include "orvika/orvika.h"

static const double R = 8.314462618; /* J/(mol K) */

typedef struct {
  const char *name;
  double tc, pc, omega; /* K, Pa, acentric factor */
} component;

typedef struct {
  double a2, a1, a0, A, B;
} pr_cubic;

static pr_cubic peng_robinson(const component *c, double t, double p) {
  const double kappa = 0.37464 + 1.54226 * c->omega - 0.26992 * c->omega * c->omega;
  const double sa = 1.0 + kappa * (1.0 - sqrt(t / c->tc));
  const double a = 0.45724 * R * R * c->tc * c->tc / c->pc * sa * sa;
  const double b = 0.07780 * R * c->tc / c->pc;
  pr_cubic q;
  q.A = a * p / (R * t * R * t);
  q.B = b * p / (R * t);
  q.a2 = -(1.0 - q.B);
  q.a1 = q.A - 3.0 * q.B * q.B - 2.0 * q.B;
  q.a0 = -(q.A * q.B - q.B * q.B - q.B * q.B * q.B);
  return q;
}

/* |p(z) / (z p'(z))|: the relative size of a Newton correction of root z. */
static double root_error(const pr_cubic *q, double z) {
  const double p = ((z + q->a2) * z + q->a1) * z + q->a0;
  const double dp = (3.0 * z + 2.0 * q->a2) * z + q->a1;
  return fabs(p / (z * dp));
}

static double ln_phi(const pr_cubic *q, double z) {
  const double s2 = sqrt(2.0);
  return z - 1.0 - log(z - q->B) -
         q->A / (2.0 * s2 * q->B) * log((z + (1.0 + s2) * q->B) / (z + (1.0 - s2) * q->B));
}

/* Vapour (largest) and liquid (smallest) roots above B; returns the number
 * of roots there and the largest relative error of the roots. */
static int roots(const pr_cubic *q, double *zv, double *zl, double *res) {
  const IWORD iprint = 0;
  double xmin = q->B, xmax = 10.0, z;
  IWORD nroot, nfirst;
  ORVK_CUBIC(&q->a2, &q->a1, &q->a0, &xmin, &xmax, &iprint, &z, &nroot);
  *zv = *zl = z;
  *res = root_error(q, z);
  nfirst = nroot;
  while (nroot > 1) { /* a smaller root remains: look below this one */
    xmax = z * (1.0 - 1e-12);
    ORVK_CUBIC(&q->a2, &q->a1, &q->a0, &xmin, &xmax, &iprint, &z, &nroot);
    *zl = z;
    *res = fmax(*res, root_error(q, z));
  }
  return (int)nfirst;
}

int main(void) {
  orvk_host_reset();
  const component propane = {"propane", 369.83, 4.248e6, 0.152};
  const double t = 300.0;
  const double pbar[] = {2.0, 5.0, 9.0, 15.0, 30.0};
  double resmax = 0.0;

  printf("Peng-Robinson compressibility of %s at T = %.2f K, ORVK_CUBIC\n\n", propane.name, t);
  printf("  %7s %6s %10s %10s %10s %10s  %s\n", "P, bar", "roots", "Z vapour", "Z liquid",
         "phi V", "phi L", "stable");
  for (size_t k = 0; k < sizeof pbar / sizeof pbar[0]; ++k) {
    const pr_cubic q = peng_robinson(&propane, t, pbar[k] * 1e5);
    double zv, zl, res;
    const int nr = roots(&q, &zv, &zl, &res);
    resmax = fmax(resmax, res);
    const double phv = exp(ln_phi(&q, zv)), phl = exp(ln_phi(&q, zl));
    const char *stable = nr == 1 ? (zv > 0.3 ? "vapour" : "liquid")
                                 : (phv < phl ? "vapour" : "liquid");
    if (nr > 1)
      printf("  %7.2f %6d %10.6f %10.6f %10.6f %10.6f  %s\n", pbar[k], nr, zv, zl, phv, phl,
             stable);
    else
      printf("  %7.2f %6d %10.6f %10s %10.6f %10s  %s\n", pbar[k], nr, zv, "-", phv, "-", stable);
  }

  /* Saturation pressure: P <- P phi_L / phi_V until the fugacities agree. */
  double p = 9.0e5, zv = 0.0, zl = 0.0, dlnphi = 1.0;
  int it;
  for (it = 1; it <= 100; ++it) {
    const pr_cubic q = peng_robinson(&propane, t, p);
    double res;
    if (roots(&q, &zv, &zl, &res) < 2) break;
    resmax = fmax(resmax, res);
    dlnphi = ln_phi(&q, zl) - ln_phi(&q, zv);
    p *= exp(dlnphi);
    if (fabs(dlnphi) < 1e-12) break;
  }
  printf("\n  saturation pressure: %.4f bar after %d substitutions (measured: 9.98 bar)\n",
         p / 1e5, it);
  printf("  Z vapour %.6f, Z liquid %.6f, ln phi_L - ln phi_V = %.1e\n", zv, zl, dlnphi);
  printf("  largest relative Newton correction of a root: %.1e\n", resmax);
  const int ok = resmax < 1e-6 && fabs(dlnphi) < 1e-10;
  printf("  check: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
