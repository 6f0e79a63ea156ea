// GMRES KKT solver of the QP solver: restarted GMRES on the symmetric
// indefinite KKT matrix, the Givens rotations accumulated explicitly as a
// sparse matrix Q (Q := F Q after every step).
//
// Reference: Y. Saad and M. H. Schultz, GMRES: a generalized minimal residual
// algorithm for solving nonsymmetric linear systems, SIAM J. Sci. Stat.
// Comput. 7 (1986) 856-869.
#include <cmath>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dumps.hpp"
#include "kernels/sparse.hpp"
#include "orvika/kernels_vector.h"
#include "orvika/qp.h"
#include "frame/views.hpp"
#include "qp/qp.hpp"

namespace orvika {

namespace {

using kkt_detail::dump_i;
using kkt_detail::dump_r;
using kkt_detail::dump_si;
using kkt_detail::dump_sr;

constexpr IWORD kKrylovBound = 50;
constexpr IWORD kMaxCycles = 200;
constexpr double kTol = 1e-5;

// State of the family that outlives a call: the first-rotation angle of
// the last cycle that had H(1,1) nonzero (0 at load).
double g_theta = 0.0;

inline double norm2(IWORD n, const double* x) {
  const IWORD k = 0;
  return ORVK_AP2NRM(&n, &k, x);
}
inline double dot(IWORD n, const double* x, const double* y) {
  const IWORD o = 0;
  return ORVK_DINNER(&n, &o, x, &o, y);
}

// Two empty records, then " " and TEXT from column 5.
void message(IWORD unit, std::string_view text) {
  write_empty(unit);
  write_empty(unit);
  write_rec(unit, Rec().A(" ").T(5).A(text));
}

// True when IA holds N+1 usable row pointers.
bool rows_ok(IWORD n, const IWORD* ia) {
  const Vec1<const IWORD> IA(ia);
  if (IA(1) < 1) return false;
  for (IWORD i = 1; i <= n; ++i)
    if (IA(i + 1) < IA(i)) return false;
  return true;
}

}  // namespace

void GMRGIV(IWORD J, IWORD, IWORD M, IWORD LENX, double BETA, IWORD, double* CC, double* SS,
            double* H, IWORD* IQ, IWORD* JQ, double* QQ, IWORD* IF, IWORD* JF, double* FF,
            IWORD* IW, IWORD* JW, double* WW, IWORD* IX, double* XX, double* GK, IWORD,
            double& RES) {
  const Vec1<IWORD> if_(IF), iq(IQ), jq(JQ), jf(JF), iw(IW);
  const Vec1<double> cc(CC), ss(SS), qq(QQ), ff(FF), gk(GK);
  const IWORD unit = nlpint(ORVK_NLPINT_KKTUNIT);
  const IWORD lvl = nlpint(ORVK_NLPINT_KKTLEVEL);
  const IWORD ldh = M + 1;
  const Mat1<double> h(H, ldh);
  const IWORD j = J;

  if (j > 1) {
    for (IWORD i = 1; i <= j - 1; ++i) {
      const double a = h(i, j), b = h(i + 1, j);
      h(i, j) = cc(i) * a - ss(i) * b;
      h(i + 1, j) = ss(i) * a + cc(i) * b;
    }
    const double d = std::hypot(h(j, j), h(j + 1, j));
    if (d != 0.0) {
      cc(j) = h(j, j) / d;
      ss(j) = -h(j + 1, j) / d;
    }
  }
  const double c = cc(j), s = ss(j);
  {
    const double a = h(j, j), b = h(j + 1, j);
    h(j, j) = c * a - s * b;
    h(j + 1, j) = s * a + c * b;
  }

  // F of order j+1 by rows: the identity with the rotation in rows j, j+1.
  IWORD p = 1;
  for (IWORD k = 1; k <= j + 1; ++k) {
    if_(k) = p;
    if (k == j) {
      jf(p) = j, ff(p) = c, ++p;
      jf(p) = j + 1, ff(p) = -s, ++p;
    } else if (k == j + 1) {
      jf(p) = j, ff(p) = s, ++p;
      jf(p) = j + 1, ff(p) = c, ++p;
    } else {
      jf(p) = k, ff(p) = 1.0, ++p;
    }
  }
  if_(j + 2) = p;
  if (lvl >= 3) {
    dump_i(unit, j + 2, IF, "IF");
    dump_i(unit, if_(j + 2) - 1, JF, "JF");
    dump_r(unit, if_(j + 2) - 1, FF, "FF");
  }

  if (j == 1) {
    for (IWORD k = 0; k < 3; ++k) IQ[k] = IF[k];
    for (IWORD k = 0; k < 4; ++k) JQ[k] = JF[k], QQ[k] = FF[k];
  } else {
    const IWORD ord = j + 1;
    const IWORD cap = (M + 1) * (M + 1);
    GSMMUL(unit, ord, ord, ord, IF, JF, FF, IQ, JQ, QQ, cap, IW, JW, WW, LENX, IX, XX);
    for (IWORD k = 0; k < j + 2; ++k) IQ[k] = IW[k];
    for (IWORD k = 0; k < iw(j + 2) - 1; ++k) JQ[k] = JW[k], QQ[k] = WW[k];
    if (lvl >= 3) {
      dump_i(unit, j + 2, IQ, "IQ");
      dump_i(unit, iq(j + 2) - 1, JQ, "JQ");
      dump_r(unit, iq(j + 2) - 1, QQ, "QQ");
    }
  }

  // Border Q with a unit row and column for the next step; IQ holds M+2
  // pointers, so after step M (which always ends the cycle) it is left.
  if (j < M) {
    iq(j + 3) = iq(j + 2) + 1;
    jq(iq(j + 2)) = j + 2;
    qq(iq(j + 2)) = 1.0;
  }

  // g = BETA Q e1: the entry of column 1 is the first one of its row.
  for (IWORD k = 1; k <= j + 1; ++k) {
    const IWORD q = iq(k);
    gk(k) = (iq(k + 1) > q && jq(q) == 1) ? BETA * qq(q) : 0.0;
  }
  RES = std::fabs(gk(j + 1));
  if (lvl >= 3) dump_sr(unit, RES, "R-j");
}

void GMRES1(IWORD N, IWORD NX0, IWORD M, IWORD LENX, const double* X0, const IWORD* IA,
            const IWORD* JA, const double* A, const double* B, double* X, IWORD* IQ, IWORD* JQ,
            double* QQ, IWORD* IF, IWORD* JF, double* FF, IWORD* IW, IWORD* JW, double* WW,
            IWORD* IX, double* XX, double* V, double* HV, double* AX, double* AV, double* VW,
            double* R0, double* GK, double* Y, double* CC, double* SS, double* H, IWORD MAXIT,
            double TOL, IWORD KRYMAX, IWORD& IFAIL) {
  const Vec1<IWORD> iq(IQ);
  const Vec1<double> gk(GK), y(Y), cc(CC), ss(SS);
  const IWORD unit = nlpint(ORVK_NLPINT_KKTUNIT);
  const IWORD lvl = nlpint(ORVK_NLPINT_KKTLEVEL);
  const IWORD ldh = M + 1;
  const Mat1<double> h(H, ldh);
  auto v = [&](IWORD k) { return V + (k - 1) * N; };

  IWORD m = KRYMAX < N ? M : N;
  IFAIL = 0;
  double t0 = 0.0;
  const double t1 = kkt_detail::timer(t0);

  // Start vector: the given values, the rest 0.
  const IWORD nx0 = NX0 < 0 ? 0 : (NX0 < N ? NX0 : N);
  for (IWORD i = 0; i < N; ++i) X[i] = i < nx0 ? X0[i] : 0.0;

  SSMVPR(N, IA, JA, A, X, AX);
  for (IWORD i = 0; i < N; ++i) R0[i] = B[i] - AX[i];
  double beta = norm2(N, R0);
  if (lvl >= 3) dump_sr(unit, beta, "||R0||");
  if (beta != 0.0)
    for (IWORD i = 0; i < N; ++i) v(1)[i] = R0[i] / beta;

  IWORD iter = 0;
  double res = 0.0;
  for (;;) {
    ++iter;
    if (iter > MAXIT) {
      message(unit, "MAXIMUM ITERATION NUMBER IS EXCEEDED in GMRES");
      IFAIL = 1;
      return;
    }
    for (IWORD j = 1; j <= m; ++j) {
      // Arnoldi step, classical Gram-Schmidt.
      SSMVPR(N, IA, JA, A, v(j), AV);
      for (IWORD i = 1; i <= j; ++i) h(i, j) = dot(N, v(i), AV);
      for (IWORD l = 0; l < N; ++l) HV[l] = 0.0;
      for (IWORD i = 1; i <= j; ++i) {
        const double hij = h(i, j);
        const double* vi = v(i);
        for (IWORD l = 0; l < N; ++l) HV[l] += hij * vi[l];
      }
      for (IWORD l = 0; l < N; ++l) VW[l] = AV[l] - HV[l];
      h(j + 1, j) = norm2(N, VW);
      if (h(j + 1, j) != 0.0) {
        const double hn = h(j + 1, j);
        for (IWORD l = 0; l < N; ++l) v(j + 1)[l] = VW[l] / hn;
      }
      if (j == 1) {
        if (h(1, 1) != 0.0) {
          g_theta = std::atan(-h(2, 1) / h(1, 1));
          cc(1) = std::cos(g_theta);
          ss(1) = std::sin(g_theta);
        } else if (h(2, 1) != 0.0) {
          // A quarter turn annihilates H(2,1); the angle of an earlier
          // cycle would leave it in place and make the estimate meaningless.
          cc(1) = 0.0;
          ss(1) = h(2, 1) > 0.0 ? -1.0 : 1.0;
        } else {
          cc(1) = std::cos(g_theta);
          ss(1) = std::sin(g_theta);
        }
      }
      GMRGIV(j, 0, M, LENX, beta, 0, CC, SS, H, IQ, JQ, QQ, IF, JF, FF, IW, JW, WW, IX, XX, GK,
             0, res);
      if (!(res > TOL)) {  // a NaN estimate ends the cycle as well
        m = j;
        break;
      }
    }

    if (lvl >= 1) {
      dump_si(unit, iter, "ITER");
      dump_sr(unit, res, "RESIDU");
    }
    if (lvl >= 3) {
      MRDUMP(unit, ldh, m + 1, 0, m, 0, H, "FACTOR R  ");
      dump_i(unit, m + 2, IQ, "IQ");
      dump_i(unit, iq(m + 2) - 1, JQ, "JQ");
      dump_r(unit, iq(m + 2) - 1, QQ, "FACTOR Q");
      dump_r(unit, m + 1, GK, "Gk");
      dump_r(unit, m * N, V, "Vm");
    }

    // Back substitution with the triangular factor R.  A zero on its
    // diagonal (K singular on the Krylov space) leaves the estimate without
    // meaning: only the true residual of the restart may then end the solve.
    bool degenerate = false;
    for (IWORD k = m; k >= 1; --k) {
      double t = gk(k);
      for (IWORD l = k + 1; l <= m; ++l) t -= h(k, l) * y(l);
      if (h(k, k) != 0.0)
        y(k) = t / h(k, k);
      else
        degenerate = true;
    }
    if (lvl >= 3) dump_r(unit, m, Y, "Ym");
    for (IWORD i = 0; i < N; ++i) {
      double s = 0.0;
      for (IWORD k = 1; k <= m; ++k) s += v(k)[i] * y(k);
      X[i] += s;
    }
    if (lvl >= 3) dump_r(unit, m, X, "X-new");

    // True residual of the new X.  The estimate |g(m+1)| holds only while R
    // is well away from singular: on a singular or inconsistent K a tiny
    // diagonal entry of R gives a small estimate for an X whose residual is
    // large, so the estimate ends the solve only when the true residual
    // agrees; otherwise the cycle restarts from that residual.
    SSMVPR(N, IA, JA, A, X, AX);
    for (IWORD i = 0; i < N; ++i) R0[i] = B[i] - AX[i];
    beta = norm2(N, R0);
    if (res < TOL && !degenerate && beta < TOL) break;

    // Restart from the true residual.
    if (lvl >= 3) dump_sr(unit, beta, "||Rm||");
    if (beta < TOL) break;
    if (beta != 0.0)
      for (IWORD i = 0; i < N; ++i) v(1)[i] = R0[i] / beta;
  }

  const double t2 = kkt_detail::timer(t0);
  if (lvl >= 3) {
    message(unit, "CONVERGENT SUCCESFULLY in GMRES");
    dump_sr(unit, t2 - t1, "LNSLV TIME");
  }
  IFAIL = 0;
}

/* GMRES: solves K x = b, K symmetric (lower triangle with the diagonal in
 * compressed rows), by restarted GMRES.
 *   N       in   order of K; N = 0 returns at once with IFAIL 0
 *   NX0,X0  in   start values X0(1..NX0) (the rest of the start vector 0)
 *   IA,JA,A in   K: N+1 row pointers, column numbers, values
 *   B       in   right-hand side (N)
 *   X       out  solution (N); must not overlap X0
 *   LIWKGM, IWKGM  integer work, 2(M+1)^2 + 4M + 11 + 2N words, M = min(2N, 50)
 *   LRWKGM, RWKGM  real work, 2(M+1)^2 + M(M+1) + 9M + 5 + 2NM + 8N words
 *   IFAIL   out  0 converged (residual 2-norm below 1e-5), 1 more than 200
 *                restart cycles, 2 a work array too short (message printed)
 *                or unusable row pointers
 * Cycles of at most min(N, 50) steps.  Cost per step: one product with K
 * and O(jN + j^2) for the orthogonalisation and the update of Q. */
void GMRES(IWORD N, IWORD NX0, const double* X0, const IWORD* IA, const IWORD* JA,
           const double* A, const double* B, double* X, IWORD LIWKGM, IWORD* IWKGM,
           IWORD LRWKGM, double* RWKGM, IWORD& IFAIL) {
  if (N < 0 || (N > 0 && !rows_ok(N, IA))) {
    IFAIL = 2;
    return;
  }
  if (N == 0) {
    IFAIL = 0;
    return;
  }
  const IWORD unit = nlpint(ORVK_NLPINT_KKTUNIT);
  const IWORD lvl = nlpint(ORVK_NLPINT_KKTLEVEL);

  for (IWORD k = 0; k < LIWKGM; ++k) IWKGM[k] = 0;
  for (IWORD k = 0; k < LRWKGM; ++k) RWKGM[k] = 0.0;

  const IWORD M = 2 * N < kKrylovBound ? 2 * N : kKrylovBound;
  const IWORD sq = (M + 1) * (M + 1);

  // Integer blocks.
  const IWORD liq = M + 2, ljq = sq, lif = M + 2, ljf = M + 5, liw = M + 2, ljw = sq,
              lix = 2 * N;
  const IWORD itot = liq + ljq + lif + ljf + liw + ljw + lix;
  if (lvl >= 3) {
    using kkt_detail::size_pr;
    size_pr(unit, liq, "IQ-GMRES");
    size_pr(unit, ljq, "JQ-GMRES");
    size_pr(unit, lif, "IF-GMRES");
    size_pr(unit, 2 * M, "JF-GMRES");
    size_pr(unit, liw, "IW-GMRES");
    size_pr(unit, ljw, "JW-GMRES");
    size_pr(unit, lix, "IX-GMRES");
    size_pr(unit, itot, "TOT-IWKGMR");
  }
  // The shortage line of a work array, with the total it needs.
  auto too_short = [&](std::string_view text, IWORD total) {
    write_empty(unit);
    write_rec(unit, Rec().T(5).A(text).I(total, 6));
    write_empty(unit);
    IFAIL = 2;
  };
  if (LIWKGM < itot) {
    too_short(" WORKING STORAGE FOR IWKGM HAS TO BE INCREASED TO", itot);
    return;
  }

  // Real blocks.
  const IWORD lqq = sq, lff = M + 5, lww = sq, lxx = 2 * N, lv = 2 * N * M, lhv = N, lax = N,
              lav = 2 * N, lvw = N, lr0 = N, lgk = 2 * M, ly = 2 * M, lcc = 2 * M, lss = 2 * M,
              lh = M * (M + 1);
  const IWORD rtot =
      lqq + lff + lww + lxx + lv + lhv + lax + lav + lvw + lr0 + lgk + ly + lcc + lss + lh;
  if (lvl >= 3) {
    using kkt_detail::size_pr;
    size_pr(unit, lqq, "QQ-GMRES");
    size_pr(unit, 2 * M, "FF-GMRES");
    size_pr(unit, lww, "WW-GMRES");
    size_pr(unit, lxx, "XX-GMRES");
    size_pr(unit, lv, "V-GMRES");
    size_pr(unit, lhv, "HV-GMRES");
    size_pr(unit, lax, "AX-GMRES");
    size_pr(unit, lav, "AV-GMRES");
    size_pr(unit, lvw, "VW-GMRES");
    size_pr(unit, lr0, "R0-GMRES");
    size_pr(unit, lgk, "GK-GMRES");
    size_pr(unit, ly, "Y-GMRES");
    size_pr(unit, lcc, "CC-GMRES");
    size_pr(unit, lss, "SS-GMRES");
    size_pr(unit, lh, "H-GMRES");
    size_pr(unit, rtot, "TOT-RWKGMR");
  }
  if (LRWKGM < rtot) {
    too_short(" WORKING STORAGE FOR RWKGM HAS TO BE INCREASED TO", rtot);
    return;
  }

  IWORD* iq = IWKGM;
  IWORD* jq = iq + liq;
  IWORD* iff = jq + ljq;
  IWORD* jf = iff + lif;
  IWORD* iw = jf + ljf;
  IWORD* jw = iw + liw;
  IWORD* ix = jw + ljw;
  double* qq = RWKGM;
  double* ff = qq + lqq;
  double* ww = ff + lff;
  double* xx = ww + lww;
  double* vv = xx + lxx;
  double* hv = vv + lv;
  double* ax = hv + lhv;
  double* av = ax + lax;
  double* vw = av + lav;
  double* r0 = vw + lvw;
  double* gk = r0 + lr0;
  double* y = gk + lgk;
  double* cc = y + ly;
  double* ss = cc + lcc;
  double* hh = ss + lss;
  GMRES1(N, NX0, M, 2 * N, X0, IA, JA, A, B, X, iq, jq, qq, iff, jf, ff, iw, jw, ww, ix, xx, vv,
         hv, ax, av, vw, r0, gk, y, cc, ss, hh, kMaxCycles, kTol, kKrylovBound, IFAIL);
}

}  // namespace orvika
