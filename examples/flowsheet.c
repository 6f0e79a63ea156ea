/* A small recycle flowsheet converged four ways.
 *
 *   fresh feed --> MIXER --> REACTOR --> SEPARATOR --> product
 *                    ^       A -> B          |
 *                    |                       v
 *                    +------ recycle <--- SPLITTER --> purge
 *
 * Fresh feed: 100 kmol/h of reactant A and 2 kmol/h of an inert I.  The
 * reactor is a CSTR with first-order kinetics: the conversion of A is
 * Da/(1 + Da), where the Damkoehler number Da = k*V/Q falls as the total
 * flow through the reactor rises.  The separator sends 95 % of A, 2 % of
 * B and 99 % of I overhead to the splitter, which purges 5 % of it and
 * recycles the rest.  The inert can leave only with the purge, so it
 * builds up in the loop and plain substitution converges slowly.
 *
 * The tear stream is the recycle (flows of A, B, I in kmol/h).  It is
 * converged by direct substitution, by the Wegstein accelerator
 * ORVK_WEGSTN2 (with the usual factor bounds -5 <= q <= 0), by the
 * Broyden driver ORVK_BRYSTM and by the Newton method ORVK_NEWTON (two
 * substitution passes, then difference Jacobians and line searches); the
 * table shows how many flowsheet passes each needs. */
#include <math.h>
#include <stdio.h>

#include "orvika/host_stub.h"
#include "orvika/tearconv_accel.h"
#include "orvika/tearconv_newton_method.h"

enum { NC = 3, MAXPASS = 1000 }; /* components A, B, I */

static const char *const component[NC] = {"A", "B", "I"};

typedef struct {
  double feed[NC];     /* fresh feed, kmol/h */
  double kv;           /* k*V of the reactor, in kmol/h per unit Damkoehler number */
  double overhead[NC]; /* separator split to the splitter */
  double purge;        /* purge fraction of the splitter */
  double tol;          /* relative tolerance on the tear stream */
} flowsheet;

typedef struct {
  double product[NC], purge[NC];
  double conversion;
} results;

/* One pass around the loop: the recycle R that results from the guess X. */
static void flowsheet_pass(const flowsheet *fs, const double *x, double *r, results *res) {
  double mix[NC], out[NC], top[NC], total = 0.0;
  for (int i = 0; i < NC; ++i) {
    mix[i] = fs->feed[i] + x[i];
    total += mix[i];
  }
  const double da = fs->kv / total;
  const double conv = da / (1.0 + da);
  out[0] = mix[0] * (1.0 - conv);
  out[1] = mix[1] + mix[0] * conv;
  out[2] = mix[2];
  for (int i = 0; i < NC; ++i) {
    top[i] = fs->overhead[i] * out[i];
    r[i] = (1.0 - fs->purge) * top[i];
    if (res) {
      res->product[i] = out[i] - top[i];
      res->purge[i] = fs->purge * top[i];
    }
  }
  if (res) res->conversion = conv;
}

static int converged(const flowsheet *fs, const double *x, const double *dx) {
  for (int i = 0; i < NC; ++i) {
    if (fabs(dx[i]) > fs->tol * fmax(1.0, fabs(x[i]))) return 0;
  }
  return 1;
}

/* Each method starts from an empty recycle, returns the number of passes
 * (-1 without convergence) and leaves the converged recycle in X. */
typedef int (*method_fn)(const flowsheet *fs, double *x);

static int run_direct(const flowsheet *fs, double *x) {
  double g[NC], dx[NC];
  for (int pass = 1; pass <= MAXPASS; ++pass) {
    flowsheet_pass(fs, x, g, NULL);
    for (int i = 0; i < NC; ++i) dx[i] = g[i] - x[i];
    if (converged(fs, x, dx)) return pass;
    for (int i = 0; i < NC; ++i) x[i] = g[i];
  }
  return -1;
}

static int run_wegstein(const flowsheet *fs, double *x) {
  const IWORD n = NC;
  double g[NC], dx[NC], xold[NC] = {0}, dxold[NC] = {0}, q[NC] = {0};
  const double qbnd[2] = {0.0, -5.0};              /* QMAX, QMIN */
  const double xlow[NC] = {0.0, 0.0, 0.0};         /* flows stay non-negative */
  const double xhigh[NC] = {1e30, 1e30, 1e30};
  const IWORD iopt[4] = {0, 1, 0, 1};              /* wait 1, then accelerate always */
  const IWORD opt[6] = {0, 0, 0, 0, 0, 0};
  IWORD kaccel = 0, kstep = 0;
  for (IWORD pass = 1; pass <= MAXPASS; ++pass) {
    flowsheet_pass(fs, x, g, NULL);
    for (int i = 0; i < NC; ++i) dx[i] = g[i] - x[i];
    if (converged(fs, x, dx)) return (int)pass;
    ORVK_WEGSTN2(x, xold, &n, dx, dxold, &kaccel, &kstep, opt, NULL, &pass, q, qbnd, NULL, iopt,
                 NULL, xlow, xhigh);
  }
  return -1;
}

static int run_newton(const flowsheet *fs, double *x) {
  enum { NW = NC * NC + 10 * NC + 11, NQ = NC * NC + 4 * NC };
  const IWORD n = NC, nb = 0, qoff = 0;
  double g[NC], dx[NC], xold[NC] = {0}, dxold[NC] = {0}, rwk[NW] = {0}, qwk[NQ] = {0};
  const double tols[NC] = {-1e-4, -1e-4, -1e-4};  /* residuals relative to the flows */
  const double xlow[NC] = {0.0, 0.0, 0.0};         /* flows stay non-negative */
  const double xhigh[NC] = {1e35, 1e35, 1e35};
  const double qscl[NC] = {1.0, 1.0, 1.0};
  double ropt[14] = {1e-6, 10.0, 0.1, 0.1, 0.5, 1e-12, 0.0, 2.0, 0.5, 0.0, 1e35, 1e35, 0.0, -5.0};
  const IWORD iopt[10] = {0, 2, 50, 10, 0, 3, 0, 0, 0, 0}; /* 2 substitutions, then Newton */
  const IWORD opt[6] = {0, 0, 0, 0, 0, 0};
  IWORD iwk[11] = {0}, iperm[NC] = {0};
  IWORD kaccel = 0, kstep = 2;
  for (IWORD pass = 1; pass <= MAXPASS; ++pass) {
    flowsheet_pass(fs, x, g, NULL);
    for (int i = 0; i < NC; ++i) dx[i] = g[i] - x[i];
    if (converged(fs, x, dx)) return (int)pass;
    ORVK_NEWTON(x, xold, &n, dx, dxold, &nb, tols, &kaccel, &kstep, opt, NULL, &pass, rwk, NULL,
                iwk, NULL, qwk, NULL, iperm, NULL, ropt, NULL, iopt, NULL, xlow, xhigh, NULL,
                NULL, qscl, &qoff, NULL, NULL, NULL, NULL);
    if (kstep != 2) return -1;
  }
  return -1;
}

static int run_broyden(const flowsheet *fs, double *x) {
  const IWORD n = NC;
  double g[NC], dx[NC], xold[NC] = {0}, dxold[NC] = {0};
  double w[NC * NC + NC] = {0}; /* inverse Jacobian and the last step */
  const double xlow[NC] = {0.0, 0.0, 0.0};
  const IWORD iopt[4] = {0, 1, 0, 0}; /* one substitution, then updates */
  const IWORD opt[6] = {0, 0, 0, 0, 0, 0};
  IWORD kaccel = 0, kstep = 0, iflag = 0;
  for (IWORD pass = 1; pass <= MAXPASS; ++pass) {
    flowsheet_pass(fs, x, g, NULL);
    for (int i = 0; i < NC; ++i) dx[i] = g[i] - x[i];
    if (converged(fs, x, dx)) return (int)pass;
    ORVK_BRYSTM(x, xold, &n, dx, dxold, NULL, NULL, &kaccel, &kstep, opt, NULL, &pass, w, NULL,
                &iflag, NULL, NULL, NULL, NULL, NULL, NULL, NULL, iopt, NULL, xlow);
  }
  return -1;
}

int main(void) {
  orvk_host_reset(); /* the stand-in host's missing-value marker and units */

  const flowsheet fs = {
      .feed = {100.0, 0.0, 2.0},
      .kv = 300.0,
      .overhead = {0.95, 0.02, 0.99},
      .purge = 0.05,
      .tol = 1e-8,
  };
  const struct {
    const char *name;
    method_fn run;
  } methods[] = {
      {"direct substitution", run_direct},
      {"Wegstein (ORVK_WEGSTN2)", run_wegstein},
      {"Broyden (ORVK_BRYSTM)", run_broyden},
      {"Newton (ORVK_NEWTON)", run_newton},
  };
  const int nmethods = (int)(sizeof methods / sizeof methods[0]);

  printf("Recycle loop: feed 100 kmol/h A + 2 kmol/h inert, CSTR A -> B, 5 %% purge.\n");
  printf("Tear stream: the recycle; converged to a relative change of %.0e.\n\n", fs.tol);
  printf("  %-26s %7s   %12s %12s %12s\n", "method", "passes", "recycle A", "recycle B",
         "recycle I");
  double x[NC];
  int status = 0;
  for (int m = 0; m < nmethods; ++m) {
    for (int i = 0; i < NC; ++i) x[i] = 0.0;
    const int passes = methods[m].run(&fs, x);
    if (passes < 0) {
      printf("  %-26s %7s\n", methods[m].name, "failed");
      status = 1;
      continue;
    }
    printf("  %-26s %7d   %12.4f %12.4f %12.4f\n", methods[m].name, passes, x[0], x[1], x[2]);
  }

  /* Balances at the last converged point. */
  double r[NC];
  results res;
  flowsheet_pass(&fs, x, r, &res);
  printf("\nReactor conversion of A: %.4f\n", res.conversion);
  printf("  %-4s %12s %12s %12s\n", "", "feed", "product", "purge");
  for (int i = 0; i < NC; ++i)
    printf("  %-4s %12.6f %12.6f %12.6f\n", component[i], fs.feed[i], res.product[i],
           res.purge[i]);
  return status;
}
