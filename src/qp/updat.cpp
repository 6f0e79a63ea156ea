// Factor update of the sparse KKT solver after an active-set change: the
// factors of the rows still present are kept, the added rows are bordered
// against them, and their Schur complement is left as the next reduced
// matrix.
#include <cmath>

#include "kernels/dense.hpp"
#include "kernels/dumps.hpp"
#include "orvika/kernels_vector.h"
#include "orvika/qp.h"
#include "frame/views.hpp"
#include "qp/qp.hpp"

namespace orvika {

namespace {

using kkt_detail::dump_i;
using kkt_detail::dump_r;

bool listed(IWORD v, IWORD n, const IWORD* list) {
  for (IWORD k = 0; k < n; ++k)
    if (list[k] == v) return true;
  return false;
}

}  // namespace

void UPDAT(IWORD, IWORD NRED, IWORD* IA, IWORD* JA, double* A, IWORD* IP, IWORD LJ, IWORD* IL,
           IWORD* JL, double* RL, double* D, IWORD* IW1, IWORD* JW1, double* RW1, double* B,
           const double* BOLD, const IWORD* IPVTSZ, const IWORD* IRACTC, const IWORD* IACOLD,
           IWORD& NADD, IWORD& NDEL, IWORD& N1X1, IWORD& N2X2, IWORD* KRADD, IWORD* KADD,
           IWORD* KDEL, IWORD LDC, double* CWORK, IWORD& IFAIL) {
  const Vec1<double> a_(A), b_(B), d_(D), rl(RL), rw1(RW1);
  const Vec1<IWORD> ia(IA), ja(JA), ip(IP), il(IL), jl(JL), iw1(IW1), jw1(JW1), kradd(KRADD),
      kadd(KADD), kdel(KDEL);
  const Vec1<const IWORD> ipvtsz(IPVTSZ), iractc(IRACTC), iacold(IACOLD);
  const IWORD unit = nlpint(ORVK_NLPINT_KKTUNIT);
  const IWORD lvl = nlpint(ORVK_NLPINT_KKTLEVEL);
  const IWORD nact = nlpint(ORVK_NLPINT_NACTIV);
  const IWORD w7 = nlpint(ORVK_NLPINT_KKTLAST);
  const IWORD w8 = nlpint(ORVK_NLPINT_NACTLAST);
  IWORD& nblk = nlpint(ORVK_NLPINT_NBLOCK);
  IWORD& nd = nlpint(ORVK_NLPINT_NDWORD);
  NADD = 0;
  NDEL = 0;

  // Added and deleted constraints.
  for (IWORD i = 1; i <= nact; ++i)
    if (!listed(iractc(i), w8, IACOLD)) {
      ++NADD;
      kadd(NADD) = i;
      kradd(NADD) = iractc(i);
    }
  for (IWORD j = 1; j <= w8; ++j)
    if (!listed(iacold(j), nact, IRACTC)) {
      ++NDEL;
      kdel(NDEL) = j;
    }
  if (lvl >= 4) {
    kkt_detail::dump_rows(unit, w7, IL, JL, RL, "IL-OLD    ", "JL-OLD    ", "RL-OLD    ");
    dump_r(unit, nd, D, "D         ");
  }
  if (NADD == 0 && NDEL == 0) {
    // Nothing changed: the kept factors serve as they are, and the
    // right-hand side is the previous one in factorisation order.
    for (IWORD p = 0; p < w7; ++p) B[p] = BOLD[p];
    return;
  }

  // RW1 stages the right-hand side of the new order.
  const IWORD nnew = NDEL == 0 ? w7 + NADD : w7 - w8 + nact;
  if (nnew > LJ) {
    LENCHK(unit, LJ, nnew, "RW1-UPDAT ", IFAIL);
    return;
  }
  IWORD nb = 0, nk = 0;
  if (NDEL == 0) {
    nb = w7;
    nk = w7;
    for (IWORD p = 0; p < nb; ++p) RW1[p] = BOLD[p];
  } else {
    // Every active row is treated as new; only the leading part stays.
    NDEL = w8;
    NADD = nact;
    for (IWORD i = 1; i <= NADD; ++i) kadd(i) = i, kradd(i) = iractc(i);
    nk = w7 - w8;
    nblk = 0;
    nd = 0;
    N1X1 = 0;
    N2X2 = 0;
    while (N1X1 + 2 * N2X2 + 1 <= nk) {
      nblk += 1;
      if (ipvtsz(nblk) == 2) {
        N2X2 += 1;
        nd += 3;
      } else {
        N1X1 += 1;
        nd += 1;
      }
    }
    nb = w8 == 0 ? w7 : NRED;
    for (IWORD p = 0; p < nb; ++p) RW1[p] = BOLD[p];
    if (NADD == 0)
      for (IWORD p = 0; p < nb; ++p) B[p] = RW1[p];
    if (lvl >= 4) dump_r(unit, nb, B, "RHS       ");
    if (NADD == 0) return;
  }

  // Right-hand side in factorisation order: the kept part, then the added
  // rows' values.
  const IWORD istart = w7 - NDEL + NADD;
  for (IWORD i = 1; i <= NADD; ++i) rw1(nb + i) = b_(istart - nact + kadd(i));
  for (IWORD p = 0; p < istart; ++p) B[p] = RW1[p];
  if (lvl >= 4) dump_r(unit, istart, B, "RHS       ");

  // Provisional positions of the added rows.
  for (IWORD i = 1; i <= NADD; ++i) ip(nk + i) = nk + i;
  const IWORD ntot = nk + NADD;

  // Added rows of K with their columns renumbered to factorisation
  // positions (entries of no position are left out).
  {
    IWORD p = 1;
    for (IWORD i = 1; i <= NADD; ++i) {
      iw1(i) = p;
      const IWORD row = ntot - nact + kadd(i);
      for (IWORD k = ia(row); k < ia(row + 1); ++k) {
        IWORD pos = 0;
        for (IWORD q = 1; q <= ntot; ++q)
          if (ip(q) == ja(k)) {
            pos = q;
            break;
          }
        if (pos == 0) continue;
        if (p > LJ) {
          LENCHK(unit, LJ, p, "JW-UPDAT  ", IFAIL);
          return;
        }
        jw1(p) = pos;
        rw1(p) = a_(k);
        ++p;
      }
    }
    iw1(NADD + 1) = p;
  }
  if (lvl >= 4) {
    dump_i(unit, NADD + 1, IW1, "ADDED IA  ");
    dump_i(unit, iw1(NADD + 1) - 1, JW1, "ADDED JA  ");
    dump_r(unit, iw1(NADD + 1) - 1, RW1, "ADDED  A  ");
  }

  // Dense copy, row i of CWORK = added row i over positions 1..NTOT.
  const Mat1<double> cw(CWORK, LDC);
  for (IWORD j = 1; j <= ntot; ++j)
    for (IWORD i = 1; i <= NADD; ++i) cw(i, j) = 0.0;
  for (IWORD i = 1; i <= NADD; ++i)
    for (IWORD k = iw1(i); k < iw1(i + 1); ++k) cw(i, jw1(k)) = rw1(k);

  // L(q, p): the last entry of row q of L in column p, 0 when none.
  auto lqp = [&](IWORD q, IWORD p) {
    double v = 0.0;
    for (IWORD k = il(q); k < il(q + 1); ++k)
      if (jl(k) == p) v = rl(k);
    return v;
  };

  // Bordering: forward elimination of the added rows with the kept blocks.
  nd = 0;
  N1X1 = 0;
  N2X2 = 0;
  IWORD kb = 0;
  while (N1X1 + 2 * N2X2 + 1 <= nk) {
    ++kb;
    const IWORD p0 = N1X1 + 2 * N2X2;
    if (ipvtsz(kb) != 2) {
      const IWORD p = p0 + 1;
      N1X1 += 1;
      nd += 1;
      const double d = d_(nd);
      for (IWORD i = 1; i <= NADD; ++i) {
        const double c = cw(i, p);
        if (c == 0.0) continue;
        cw(i, p) = c / d;
        for (IWORD q = p + 1; q <= nk + i; ++q) {
          const double l = q <= nk ? lqp(q, p) : cw(q - nk, p);
          if (l != 0.0) cw(i, q) -= cw(i, p) * d * l;
        }
      }
    } else {
      const IWORD p1 = p0 + 1, p2 = p0 + 2;
      N2X2 += 1;
      nd += 3;
      const double a = d_(nd - 2), b = d_(nd - 1), c = d_(nd);
      const qp_detail::Pivot2 piv(a, b, c);
      const double e[4] = {piv.e11, piv.e21, piv.e21, piv.e22};
      const double blk[4] = {a, b, b, c};
      for (IWORD i = 1; i <= NADD; ++i) {
        const double x[2] = {cw(i, p1), cw(i, p2)};
        if (x[0] == 0.0 && x[1] == 0.0) continue;
        double l[2];
        MTVMUL(2, 2, 0, e, 0, x, 0, l);
        cw(i, p1) = l[0];
        cw(i, p2) = l[1];
        for (IWORD q = p2 + 1; q <= nk + i; ++q) {
          double mv[2];
          if (q <= nk)
            mv[0] = lqp(q, p1), mv[1] = lqp(q, p2);
          else
            mv[0] = cw(q - nk, p1), mv[1] = cw(q - nk, p2);
          if (mv[0] == 0.0 && mv[1] == 0.0) continue;
          double dm[2];
          MTVMUL(2, 2, 0, blk, 0, mv, 0, dm);
          const IWORD two = 2, zero = 0;
          cw(i, q) -= ORVK_DINNER(&two, &zero, l, &zero, dm);
        }
      }
    }
  }

  // New rows NK+1 .. NTOT of L: the multipliers over the kept positions.
  IWORD cnt = 0;
  for (IWORD i = 1; i <= NADD; ++i)
    for (IWORD p = 1; p <= nk; ++p)
      if (cw(i, p) != 0.0) ++cnt;
  if (il(nk + 1) - 1 + cnt > LJ) {
    LENCHK(unit, LJ, il(nk + 1) - 1 + cnt, "JL-UPDAT  ", IFAIL);
    return;
  }
  for (IWORD i = 1; i <= NADD; ++i) {
    IWORD q = il(nk + i);
    for (IWORD p = 1; p <= nk; ++p)
      if (cw(i, p) != 0.0) {
        jl(q) = p;
        rl(q) = cw(i, p);
        ++q;
      }
    il(nk + i + 1) = q;
  }

  // Reduced matrix: the lower triangle of the Schur complement, dense.
  const IWORD nred_entries = NADD * (NADD + 1) / 2;
  if (nred_entries > LJ) {
    LENCHK(unit, LJ, nred_entries, "JA-UPDAT  ", IFAIL);
    return;
  }
  ia(1) = 1;
  for (IWORD i = 1; i <= NADD; ++i) {
    ia(i + 1) = ia(i) + i;
    for (IWORD j = 1; j <= i; ++j) {
      ja(ia(i) + j - 1) = j;
      a_(ia(i) + j - 1) = cw(i, nk + j);
    }
  }
  if (lvl >= 4) {
    kkt_detail::dump_rows(unit, ntot, IL, JL, RL, "IL -ADDED ", "JL -ADDED ", "RL -ADDED ");
    kkt_detail::dump_rows(unit, NADD, IA, JA, A, "REDUCED IA", "REDUCED JA", "REDUCED  A");
  }
}

}  // namespace orvika
