/* Gasoline blending as a quadratic program, solved with ORVK_QPSLV.
 *
 * Four streams (reformate, FCC gasoline, alkylate, butane) are blended into
 * one cubic metre of product.  The blender minimises the stream cost plus a
 * quadratic penalty on moving away from yesterday's recipe x_prev (large
 * recipe changes upset the tank farm).  The unknowns are the recipe changes
 * d = x - x_prev:
 *
 *   min  c'd + (w/2) |d|^2                          (c'x_prev is constant)
 *   s.t. sum d_j = 0                                volume balance
 *        sum RON_j x_j >= 95                        octane (linear blending)
 *        sum RVP_j x_j <= 60 kPa                    vapour pressure
 *        x_j >= 0,  x4 <= 0.10                      stream limits
 *
 * with every row written as a d <= b.  The solution is checked by its
 * optimality conditions: H d + g + A'(lambda, mu) = 0, mu >= 0, the rows
 * satisfied and mu_i (b_i - a_i d) = 0; the multipliers are the marginal
 * costs of the specifications. */
#include <math.h>
#include <stdio.h>

#include "orvika/host_stub.h"
#include "orvika/orvika.h"

enum { N = 4, MEQ = 1, MINEQ = 7, M = MEQ + MINEQ };

static const char *const stream[N] = {"reformate", "FCC gasoline", "alkylate", "butane"};
static const double cost[N] = {620.0, 560.0, 700.0, 380.0}; /* $/m3 */
static const double ron[N] = {98.0, 92.0, 96.0, 93.0};
static const double rvp[N] = {20.0, 50.0, 35.0, 350.0};     /* kPa */
static const double xprev[N] = {0.30, 0.45, 0.15, 0.10};
static const double wmove = 3000.0;                         /* $/m3 per (fraction)^2 */

int main(void) {
  orvk_host_reset();
  for (int k = 0; k < ORVK_NLPINT_WORDS; ++k) ORVK_NLPINT[k] = 0;
  ORVK_NLPINT[ORVK_NLPINT_QPUNIT - 1] = 6;
  ORVK_NLPINT[ORVK_NLPINT_KKTSOLV - 1] = 1; /* dense KKT solves */

  /* Rows in the recipe changes, dense for the check and compressed by rows
   * for the solver. */
  double a[M][N] = {{1.0, 1.0, 1.0, 1.0}}, b[M] = {0.0, -95.0, 60.0, 0.0, 0.0, 0.0, 0.0, 0.10};
  for (int j = 0; j < N; ++j) {
    a[1][j] = -ron[j];
    a[2][j] = rvp[j];
    a[3 + j][j] = -1.0;
  }
  a[7][3] = 1.0;
  for (int r = 1; r < M; ++r)
    for (int j = 0; j < N; ++j) b[r] -= a[r][j] * xprev[j];
  const char *const rowname[M] = {"volume balance", "RON >= 95", "RVP <= 60 kPa", "reformate >= 0",
                                  "FCC >= 0", "alkylate >= 0", "butane >= 0", "butane <= 0.10"};
  IWORD iac[M + 1], jac[M * N];
  double ac[M * N];
  IWORD nnz = 0;
  iac[0] = 1;
  for (int r = 0; r < M; ++r) {
    for (int j = 0; j < N; ++j)
      if (a[r][j] != 0.0) {
        jac[nnz] = j + 1;
        ac[nnz++] = a[r][j];
      }
    iac[r + 1] = nnz + 1;
  }

  /* Objective: H = w I (lower triangle by rows), g = c. */
  IWORD iah[N + 1], jah[N];
  double h[N], g[N];
  for (int j = 0; j < N; ++j) {
    iah[j] = j + 1;
    jah[j] = j + 1;
    h[j] = wmove;
    g[j] = cost[j];
  }
  iah[N] = N + 1;

  /* Work space of the solver and of its linear-equation solver. */
  const IWORD n = N, meq = MEQ, mineq = MINEQ, mact = 1, iprint = 0;
  const IWORD nztot = N + nnz;
  const IWORD liw = 9 * MINEQ + 2 * MEQ + N + 1 + 15 * nztot + (2 * N > M ? 2 * N - M : 0);
  const IWORD lrw = 9 * MEQ + 6 * MINEQ + 8 * N + 15 * nztot +
                    4 * (2 * MEQ + MINEQ - N < 0 ? N - 2 * MEQ - MINEQ : 0);
  enum { LES = 20000 };
  static double rw[4096], rwles[LES], cwork[M * (N + 2 * MEQ + MINEQ + 1)];
  static IWORD iw[4096], iwles[LES];
  const IWORD lrwles = LES, liwles = LES, ldc = M;
  double x[N + M] = {0.0}, fesble[MINEQ], aphmax = 0.0;
  LWORD lact[MINEQ] = {0};
  IWORD ncact = 0, iter = 0, iret = -1, ising = 0, ifail = 0;
  for (int i = 0; i < MINEQ; ++i) fesble[i] = -1e30;
  if (liw > 4096 || lrw > 4096) return 1;

  ORVK_QPSLV(&n, g, iah, jah, h, &meq, &mineq, b, iac, jac, ac, fesble, &mact, &ncact, &iter, x,
             &lrw, rw, &liw, iw, NULL, lact, &iprint, &iret, &lrwles, rwles, &liwles, iwles,
             &ising, &aphmax, &ldc, cwork, &ifail);

  printf("Gasoline blend: min cost + recipe-change penalty, ORVK_QPSLV\n\n");
  printf("IRET = %ld, IFAIL = %ld, %ld iterations, %ld active rows\n\n", (long)iret, (long)ifail,
         (long)iter, (long)ncact);
  if (iret != 0 || ifail != 0) return 1;

  double c = 0.0, q = 0.0, blend_ron = 0.0, blend_rvp = 0.0;
  printf("  %-13s %9s %9s\n", "stream", "x", "yesterday");
  for (int j = 0; j < N; ++j) {
    const double xj = xprev[j] + x[j];
    printf("  %-13s %9.4f %9.4f\n", stream[j], xj, xprev[j]);
    c += cost[j] * xj;
    q += 0.5 * wmove * x[j] * x[j];
    blend_ron += ron[j] * xj;
    blend_rvp += rvp[j] * xj;
  }
  printf("  blend: RON %.2f, RVP %.2f kPa, stream cost %.2f $/m3, penalty %.2f $/m3\n\n",
         blend_ron, blend_rvp, c, q);

  /* Optimality conditions; multipliers follow x in X. */
  double stat = 0.0, infeas = 0.0, compl = 0.0, mumin = 0.0;
  for (int j = 0; j < N; ++j) {
    double s = h[j] * x[j] + g[j];
    for (int r = 0; r < M; ++r) s += a[r][j] * x[N + r];
    stat = fmax(stat, fabs(s));
  }
  printf("  %-16s %10s %12s\n", "row", "slack", "multiplier");
  for (int r = 0; r < M; ++r) {
    double ax = 0.0;
    for (int j = 0; j < N; ++j) ax += a[r][j] * x[j];
    const double slack = b[r] - ax;
    printf("  %-16s %10.4f %12.4f\n", rowname[r], slack, x[N + r]);
    if (r < MEQ) {
      infeas = fmax(infeas, fabs(slack));
    } else {
      infeas = fmax(infeas, -slack);
      mumin = fmin(mumin, x[N + r]);
      compl = fmax(compl, fabs(x[N + r] * slack));
    }
  }
  printf("\n  |Hd + g + A'mult| = %.2e, infeasibility %.2e, complementarity %.2e, min mu %.2e\n",
         stat, infeas, compl, mumin);
  const int ok = stat < 1e-8 && infeas < 1e-10 && compl < 1e-8 && mumin > -1e-10;
  printf("  check: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
