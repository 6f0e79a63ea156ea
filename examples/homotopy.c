/* Ignition of an exothermic CSTR traced with the continuation solver
 * FCONT_SOLVE.
 *
 * Steady state of a first-order irreversible reaction in a cooled CSTR, in
 * the dimensionless conversion x and temperature rise theta:
 *
 *   -x     + Da (1 - x) e(theta)                 = 0
 *   -theta + B Da (1 - x) e(theta) - beta theta  = 0,
 *   e(theta) = exp(theta / (1 + theta / gamma)),
 *
 * with B = 8, beta = 0.3, gamma = 20.  Between the extinction and the
 * ignition Damkoehler numbers there are three steady states (the S-shaped
 * curve).  The problem: the steady state at Da = 0.10, reached from the cold
 * reactor at Da = 0.03.  The continuation parameter lambda runs from 1 to 0
 * with Da(lambda) = 0.10 - 0.07 lambda (IHOM 4: the caller's F depends on
 * lambda); the path climbs the cold branch, turns at ignition, runs back
 * along the unstable branch, turns at extinction and follows the hot branch
 * to lambda = 0.  The start is a rough guess of the cold state, which the
 * solver corrects onto the path first.  The solver asks by reverse
 * communication for residuals (-2) and Jacobians (-3), and reports turning
 * points (-5) and path points (-6).
 * The end point is checked by its residual and against the hot steady state
 * computed independently by bisection on the reduced one-variable form. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "orvika/host_stub.h"
#include "orvika/orvika.h"

enum { N = 2, NN = N * N };

static const double Bh = 8.0, beta = 0.3, gam = 20.0;

static double damkoehler(double lam) { return 0.10 - 0.07 * lam; }

static void residuals(const double *v, double lam, double *f) {
  const double da = damkoehler(lam), x = v[0], th = v[1];
  const double r = da * (1.0 - x) * exp(th / (1.0 + th / gam));
  f[0] = -x + r;
  f[1] = -th + Bh * r - beta * th;
}

/* dF/d(x, theta), column-major. */
static void jacobian(const double *v, double lam, double *j) {
  const double da = damkoehler(lam), x = v[0], th = v[1];
  const double s = 1.0 + th / gam, e = exp(th / s), de = e / (s * s);
  j[0] = -1.0 - da * e;
  j[1] = -Bh * da * e;
  j[2] = da * (1.0 - x) * de;
  j[3] = -1.0 - beta + Bh * da * (1.0 - x) * de;
}

/* Hot steady state at Da: theta = B x / (1 + beta) reduces the system to
 * g(x) = Da (1 - x) e(theta(x)) - x = 0, bisected above the extinction
 * conversion, where g changes sign once. */
static double hot_state(double da) {
  double lo = 0.64, hi = 1.0;
  for (int k = 0; k < 200; ++k) {
    const double x = 0.5 * (lo + hi), th = Bh * x / (1.0 + beta);
    const double g = da * (1.0 - x) * exp(th / (1.0 + th / gam)) - x;
    if (g > 0.0) lo = x; else hi = x;
  }
  return 0.5 * (lo + hi);
}

static void set_int(const char *name, IWORD v, IWORD *ip, double *rp) {
  const IWORD kind = 1;
  const double r = 0.0;
  IWORD pos;
  FCONT_SETPARAM(name, &kind, &v, &r, ip, rp, &pos, (int64_t)strlen(name));
}

static void set_real(const char *name, double v, IWORD *ip, double *rp) {
  const IWORD kind = 2, i = 0;
  IWORD pos;
  FCONT_SETPARAM(name, &kind, &i, &v, ip, rp, &pos, (int64_t)strlen(name));
}

/* Word of a state record by name: KIND 3 IINFO, 4 RINFO. */
static IWORD info_pos(IWORD kind, const char *name) {
  const IWORD mode = 3;
  IWORD index = 0, pos = 0, len = 0;
  char buf[16];
  memset(buf, ' ', sizeof buf);
  memcpy(buf, name, strlen(name));
  FCONT_GETINFO(&mode, &kind, buf, &index, &pos, &len, (int64_t)sizeof buf);
  return pos;
}

int main(void) {
  orvk_host_reset();

  const IWORD imiss = 999999;
  const double rmiss = 1e30;
  IWORD isolv = -1, istore = 2, jmode = 1, ihom = 4, iferr = 0, n = N, nz = 0, ldb = N;
  IWORD mxname = 0, mfname = 0, irn[1] = {1}, icn[1] = {1}, iperm[N];
  double x[N] = {0.03, 0.2}, rlam = 1.0, f[N], ajac[NN];
  double xlb[N] = {-1e20, -1e20}, xub[N] = {1e20, 1e20}, fscale[N] = {0.0}, xscale[N] = {0.0};
  IWORD iparam[14], iinfo[47] = {0};
  double rparam[20], rinfo[21] = {0.0};
  enum { LIW = 3 * N + 10, LW = 11 * N + 8 + NN + 40 * N + 200 };
  IWORD liw = LIW, lw = LW, iw[LIW] = {0};
  double w[LW] = {0.0};

  /* Options: every word missing (defaults), then the named ones. */
  for (int k = 0; k < 14; ++k) iparam[k] = imiss;
  for (int k = 0; k < 20; ++k) rparam[k] = rmiss;
  set_int("IMISS", imiss, iparam, rparam);
  set_real("RMISS", rmiss, iparam, rparam);
  set_int("KPLUNT", 0, iparam, rparam); /* no messages */
  set_int("KPTUNT", 0, iparam, rparam);
  set_int("REVERSE", 0, iparam, rparam);
  set_int("NEWTON", 0, iparam, rparam);
  set_int("FINMSG", 0, iparam, rparam);
  set_int("MAXPOINT", 500, iparam, rparam);
  set_real("FTOL", 1e-10, iparam, rparam); /* corrector tolerances */
  set_real("XTOL", 1e-10, iparam, rparam);

  printf("Cooled CSTR, Da from 0.03 to 0.10 (B = 8, beta = 0.3, gamma = 20), FCONT_SOLVE\n\n");
  printf("  %6s %8s %8s %10s %10s\n", "point", "lambda", "Da", "x", "theta");
  double turn_da[4];
  int nturn = 0, npoint = 0;
  for (int call = 0; call < 20000; ++call) {
    FCONT_SOLVE(&isolv, &istore, &jmode, &ihom, &iferr, &n, x, &rlam, f, &nz, irn, icn, &ldb,
                ajac, iperm, iparam, rparam, iinfo, rinfo, xlb, xub, fscale, xscale, &mxname,
                NULL, &mfname, NULL, NULL, NULL, &liw, iw, &lw, w);
    if (isolv >= 0) break;
    if (isolv == -2) {
      residuals(x, rlam, f);
    } else if (isolv == -3) {
      jacobian(x, rlam, ajac);
    } else if (isolv == -5) {
      printf("  %6s %8.4f %8.5f %10.6f %10.6f   turning point\n", "", rlam, damkoehler(rlam),
             x[0], x[1]);
      if (nturn < 4) turn_da[nturn++] = damkoehler(rlam);
    } else if (isolv == -6) {
      ++npoint;
      printf("  %6d %8.4f %8.5f %10.6f %10.6f\n", npoint, rlam, damkoehler(rlam), x[0], x[1]);
    }
  }
  if (isolv != 0) {
    printf("\nFCONT_SOLVE failed: ISOLV = %ld\n", (long)isolv);
    return 1;
  }

  residuals(x, 0.0, f);
  const double fbig = fmax(fabs(f[0]), fabs(f[1]));
  const double xhot = hot_state(damkoehler(0.0));
  printf("  %6s %8.4f %8.5f %10.6f %10.6f   solution\n\n", "end", rlam, damkoehler(rlam), x[0],
         x[1]);
  printf("Solved (ISOLV 0): %ld path points, arc length %.4f, %ld residual and %ld Jacobian "
         "evaluations\n",
         (long)iinfo[info_pos(3, "NPOINT") - 1], rinfo[info_pos(4, "ARCLEN") - 1],
         (long)iinfo[info_pos(3, "NFUN") - 1], (long)iinfo[info_pos(3, "NJAC") - 1]);
  printf("  turning points at Da =");
  for (int k = 0; k < nturn; ++k) printf(" %.4f", turn_da[k]);
  printf("   (ignition 0.0799, extinction 0.0662)\n");
  printf("  conversion %.8f, hot steady state by bisection %.8f\n", x[0], xhot);
  printf("  largest residual %.2e\n", fbig);
  const int ok = fbig < 1e-8 && fabs(x[0] - xhot) < 1e-7 && nturn == 2;
  printf("  check: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
