// One block step of the right-looking sparse LDL^T factorisation of the KKT
// solver: the pivot block goes to D, its multipliers to the rows of L, and
// the reduced matrix is replaced by its Schur complement, all through the
// compressed-row kernels.
#include <cmath>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dumps.hpp"
#include "kernels/sparse.hpp"
#include "orvika/qp.h"
#include "frame/views.hpp"
#include "qp/qp.hpp"

namespace orvika {

namespace {

using kkt_detail::dump_i;
using kkt_detail::dump_r;
using kkt_detail::dump_si;

constexpr double kPivTiny = 1e-22;

// First stored value of row I in column C of (IA, JA, A), 0 when none.
double entry(const IWORD* ia, const IWORD* ja, const double* a, IWORD i, IWORD c) {
  const Vec1<const IWORD> IA(ia), JA(ja);
  const Vec1<const double> A(a);
  for (IWORD k = IA(i); k < IA(i + 1); ++k)
    if (JA(k) == c) return A(k);
  return 0.0;
}

// Appends to each row p of L (N rows) the entries GET(p, cols, vals) gives
// (at most two, columns ascending and above those already in the row), in
// one backward pass.  False, with the warning of LENCHK, when L would
// exceed LJ entries.
template <class Get>
bool l_append(IWORD unit, IWORD N, IWORD LJ, IWORD* IL, IWORD* JL, double* RL, IWORD first,
              Get get, IWORD& IFAIL) {
  const Vec1<IWORD> il(IL), jl(JL);
  const Vec1<double> rl(RL);
  IWORD cols[2];
  double vals[2];
  IWORD cnt = 0;
  for (IWORD p = first; p <= N; ++p) cnt += get(p, cols, vals);
  const IWORD total = il(N + 1) - 1;
  if (total + cnt > LJ) {
    LENCHK(unit, LJ, total + cnt, "JL-BPLDLT ", IFAIL);
    return false;
  }
  IWORD shift = cnt;
  for (IWORD p = N; p >= first && shift > 0; --p) {
    const IWORD beg = il(p), end = il(p + 1);  // old row p: beg .. end-1
    il(p + 1) = end + shift;
    const int m = get(p, cols, vals);
    for (int q = m - 1; q >= 0; --q) {
      const IWORD pos = end - 1 + shift;
      jl(pos) = cols[q];
      rl(pos) = vals[q];
      --shift;
    }
    if (shift > 0)
      for (IWORD q = end - 1; q >= beg; --q) {
        jl(q + shift) = jl(q);
        rl(q + shift) = rl(q);
      }
  }
  return true;
}

// Rows FROM..NCUR of A without the columns 1..DROP and without exact zeros,
// columns shifted down by DROP, into (IB, JB, B).
void copy_trailing(IWORD ncur, IWORD from, IWORD drop, const IWORD* ia, const IWORD* ja,
                   const double* a, IWORD* ib, IWORD* jb, double* b) {
  const Vec1<const IWORD> IA(ia), JA(ja);
  const Vec1<const double> A(a);
  const Vec1<IWORD> IB(ib), JB(jb);
  const Vec1<double> B(b);
  IWORD p = 1;
  for (IWORD i = from; i <= ncur; ++i) {
    IB(i - from + 1) = p;
    for (IWORD k = IA(i); k < IA(i + 1); ++k)
      if (JA(k) > drop && A(k) != 0.0) {
        JB(p) = JA(k) - drop;
        B(p) = A(k);
        ++p;
      }
  }
  IB(ncur - from + 2) = p;
}

void singular(IWORD unit, IWORD lvl, const char* text, IWORD irow) {
  if (lvl < 1) return;
  write_empty(unit);
  write_empty(unit);
  write_rec(unit, Rec().T(5).A(text).X(2).I(irow, 4).A("  ***"));
}

}  // namespace

void BPLDLT(IWORD N, IWORD, IWORD& NCUR, IWORD, IWORD* IA, IWORD* JA, double* A, IWORD IROW,
            IWORD KBLK, IWORD* ICHAN, IWORD LJ, IWORD* IL, IWORD* JL, double* RL, IWORD LD,
            double* D, const IWORD* IPVTSZ, IWORD* IW1, IWORD* JW1, double* RW1, IWORD* IW2,
            IWORD* JW2, double* RW2, IWORD, IWORD* IDMUL, IWORD* JDMUL, double* DMUL,
            IWORD* IDINV, IWORD* JDINV, double* DINV, IWORD NT, IWORD* IX, double* SUBX,
            IWORD& ISROW, IWORD& ISING, IWORD& IFAIL) {
  const Vec1<double> a_(A), d_(D), rw1(RW1), rw2(RW2), dmul(DMUL), dinv(DINV);
  const Vec1<IWORD> ia(IA), ja(JA), ichan(ICHAN), il(IL), iw1(IW1), jw1(JW1), iw2(IW2), jw2(JW2),
      idmul(IDMUL), jdmul(JDMUL), idinv(IDINV), jdinv(JDINV);
  const Vec1<const IWORD> ipvtsz(IPVTSZ);
  const IWORD unit = nlpint(ORVK_NLPINT_KKTUNIT);
  const IWORD lvl = nlpint(ORVK_NLPINT_KKTLEVEL);
  IWORD& nd = nlpint(ORVK_NLPINT_NDWORD);
  for (IWORD k = 1; k <= N; ++k) ichan(k) = k;
  bool reduced = false;  // a new reduced matrix was formed

  if (ipvtsz(KBLK) != 2) {
    // ---- 1x1 block --------------------------------------------------------
    const double d = ia(2) > ia(1) ? entry(IA, JA, A, 1, 1) : 0.0;
    if (nd + 1 > LD) {
      LENCHK(unit, LD, nd + 1, " D-BPLDLT ", IFAIL);
      return;
    }
    nd += 1;
    d_(nd) = d;
    if (!(std::fabs(d) >= kPivTiny)) {
      singular(unit, lvl, "*** SINGULAR 1X1 PIVOT AT ROW", IROW);
      ISROW = IROW;
      ISING = 1;
      return;
    }
    // Column matrix -a/d (NCUR-1 x 1) and row matrix a^T (1 x NCUR-1).
    if (NCUR - 1 > LJ) {
      LENCHK(unit, LJ, NCUR - 1, "JB-BPLDLT ", IFAIL);
      return;
    }
    IWORD pc = 1, pr = 1;
    idinv(1) = 1;
    for (IWORD i = 2; i <= NCUR; ++i) {
      idmul(i - 1) = pc;
      for (IWORD k = ia(i); k < ia(i + 1); ++k)
        if (ja(k) == 1 && a_(k) != 0.0) {
          jdmul(pc) = 1;
          dmul(pc) = -a_(k) / d;
          ++pc;
          jdinv(pr) = i - 1;
          dinv(pr) = a_(k);
          ++pr;
          break;
        }
    }
    idmul(NCUR) = pc;
    idinv(2) = pr;

    // Unit entry of the pivot row, multipliers a_i1/d below it.
    auto get = [&](IWORD p, IWORD* c, double* v) -> int {
      if (p == IROW) {
        c[0] = IROW, v[0] = 1.0;
        return 1;
      }
      const IWORD r = p - IROW;  // row of the column matrix
      if (r < 1 || r > NCUR - 1 || idmul(r + 1) == idmul(r)) return 0;
      const double l = dmul(idmul(r));
      if (l == 0.0) return 0;
      c[0] = IROW, v[0] = -l;
      return 1;
    };
    if (!l_append(unit, N, LJ, IL, JL, RL, IROW, get, IFAIL)) return;

    if (IROW < N) {
      copy_trailing(NCUR, 2, 1, IA, JA, A, IW1, JW1, RW1);
      NCUR -= 1;
      SSMMUL(unit, NCUR, 1, IDMUL, JDMUL, DMUL, IDINV, JDINV, DINV, LJ, IW2, JW2, RW2, NT, IX,
             SUBX, IFAIL);
      if (IFAIL != 0) return;
      GSMADD(unit, NCUR, NCUR, IW1, JW1, RW1, IW2, JW2, RW2, LJ, IA, JA, A, NT, IX, SUBX, IFAIL);
      if (IFAIL != 0) return;
      reduced = true;
    }
  } else {
    // ---- 2x2 block --------------------------------------------------------
    const double d11 = entry(IA, JA, A, 1, 1);
    const double d21 = entry(IA, JA, A, 2, 1);
    const double d22 = entry(IA, JA, A, 2, 2);
    if (nd + 3 > LD) {
      LENCHK(unit, LD, nd + 3, " D-BPLDLT ", IFAIL);
      return;
    }
    d_(nd + 1) = d11, d_(nd + 2) = d21, d_(nd + 3) = d22;
    nd += 3;
    const qp_detail::Pivot2 blk(d11, d21, d22);
    if (blk.below(kPivTiny)) {
      singular(unit, lvl, "*** SINGULAR 2X2 PIVOT AT ROW", IROW);
      ISROW = IROW;
      ISING = 1;
      return;
    }
    // Inverse block E, its zero entries left out.
    {
      IWORD p = 1;
      idinv(1) = 1;
      if (d22 != 0.0) jdinv(p) = 1, dinv(p) = blk.e11, ++p;
      if (d21 != 0.0) jdinv(p) = 2, dinv(p) = blk.e21, ++p;
      idinv(2) = p;
      if (d21 != 0.0) jdinv(p) = 1, dinv(p) = blk.e21, ++p;
      if (d11 != 0.0) jdinv(p) = 2, dinv(p) = blk.e22, ++p;
      idinv(3) = p;
    }
    // Block column [a_k1 a_k2] (rows 3..NCUR) and its negated transpose.
    const IWORD m = NCUR - 2;
    if (2 * m > LJ) {
      LENCHK(unit, LJ, 2 * m, "JB-BPLDLT ", IFAIL);
      return;
    }
    IWORD pc = 1, p1 = 1, p2 = 1;
    for (IWORD k = 3; k <= NCUR; ++k) {
      idmul(k - 2) = pc;
      for (IWORD q = ia(k); q < ia(k + 1); ++q) {
        const IWORD c = ja(q);
        if ((c != 1 && c != 2) || a_(q) == 0.0) continue;
        jdmul(pc) = c, dmul(pc) = a_(q), ++pc;
        if (c == 1)
          jw1(p1) = k - 2, rw1(p1) = -a_(q), ++p1;
        else
          jw2(p2) = k - 2, rw2(p2) = -a_(q), ++p2;
      }
    }
    idmul(m + 1) = pc;
    iw1(1) = 1;
    iw1(2) = p1;
    for (IWORD q = 1; q < p2; ++q) jw1(p1 + q - 1) = jw2(q), rw1(p1 + q - 1) = rw2(q);
    iw1(3) = p1 + p2 - 1;

    // Multipliers [a_k1 a_k2] E.  The product must stay below LJ entries
    // (the product routine ends the process otherwise).
    IWORD cnt = 0;
    for (IWORD r = 1; r <= m; ++r) {
      bool has[3] = {false, false, false};
      for (IWORD q = idmul(r); q < idmul(r + 1); ++q) {
        const IWORD c = jdmul(q);
        for (IWORD e = idinv(c); e < idinv(c + 1); ++e) has[jdinv(e)] = true;
      }
      cnt += (has[1] ? 1 : 0) + (has[2] ? 1 : 0);
    }
    if (cnt >= LJ) {
      LENCHK(unit, LJ - 1, cnt, "JB-BPLDLT ", IFAIL);
      return;
    }
    if (m >= 1)
      GSMMUL(unit, m, 2, 2, IDMUL, JDMUL, DMUL, IDINV, JDINV, DINV, LJ, IW2, JW2, RW2, NT, IX,
             SUBX);
    else
      iw2(1) = 1;

    if (IROW + 1 < N) {
      // Lower triangle of (multipliers) x (negated 2-row matrix).
      if (m == 1) {
        // A single entry: sum over the stored multipliers of row 1.
        bool any = false;
        double v = 0.0;
        for (IWORD q = iw2(1); q < iw2(2); ++q) {
          const IWORD c = jw2(q);
          for (IWORD e = iw1(c); e < iw1(c + 1); ++e)
            if (jw1(e) == 1) {
              v += rw1(e) * rw2(q);
              any = true;
            }
        }
        idmul(1) = 1;
        if (any) jdmul(1) = 1, dmul(1) = v;
        idmul(2) = any ? 2 : 1;
      } else {
        SSMMUL(unit, m, 2, IW2, JW2, RW2, IW1, JW1, RW1, LJ, IDMUL, JDMUL, DMUL, NT, IX, SUBX,
               IFAIL);
        if (IFAIL != 0) return;
      }
    }

    // Unit entries of the pivot rows, multipliers below in columns IROW and
    // IROW+1.
    auto get = [&](IWORD p, IWORD* c, double* v) -> int {
      if (p == IROW) {
        if (d11 == 0.0) return 0;
        c[0] = IROW, v[0] = 1.0;
        return 1;
      }
      if (p == IROW + 1) {
        if (d22 == 0.0) return 0;
        c[0] = IROW + 1, v[0] = 1.0;
        return 1;
      }
      const IWORD r = p - IROW - 1;  // row of the multiplier matrix
      if (r < 1 || r > m) return 0;
      int n = 0;
      for (IWORD col = 1; col <= 2; ++col) {
        const double l = entry(IW2, JW2, RW2, r, col);
        if (l != 0.0) c[n] = IROW + col - 1, v[n] = l, ++n;
      }
      return n;
    };
    if (!l_append(unit, N, LJ, IL, JL, RL, IROW, get, IFAIL)) return;

    if (IROW + 1 < N) {
      copy_trailing(NCUR, 3, 2, IA, JA, A, IW1, JW1, RW1);
      NCUR -= 2;
      GSMADD(unit, NCUR, NCUR, IDMUL, JDMUL, DMUL, IW1, JW1, RW1, LJ, IA, JA, A, NT, IX, SUBX,
             IFAIL);
      if (IFAIL != 0) return;
      reduced = true;
    }
  }

  if (reduced) {
    // Columns ascending in every row: two transposes.
    PERMU1(unit, 2, NCUR, NCUR, IA, JA, A, nullptr, LJ, IW1, JW1, RW1, IFAIL);
    if (IFAIL != 0) return;
    PERMU1(unit, 2, NCUR, NCUR, IW1, JW1, RW1, nullptr, LJ, IA, JA, A, IFAIL);
    if (IFAIL != 0) return;
  }

  LENCHK(unit, LD, nd, " D-BPLDLT ", IFAIL);
  LENCHK(unit, LJ, ia(NCUR + 1) - 1, "JA-BPLDLT ", IFAIL);
  if (reduced) LENCHK(unit, LJ, iw1(NCUR + 1) - 1, "JB-BPLDLT ", IFAIL);
  LENCHK(unit, LJ, il(N + 1) - 1, "JL-BPLDLT ", IFAIL);
  if (IFAIL != 0) return;

  // Entries of magnitude at most 1e-50 leave the reduced matrix.
  SMDROP(NCUR, IA, JA, A, IW1, JW1, RW1);
  SMDROP(NCUR, IW1, JW1, RW1, IA, JA, A);

  if (lvl >= 4) {
    dump_si(unit, nd, "NUMD      ");
    dump_r(unit, nd, D, "D         ");
    kkt_detail::dump_rows(unit, N, IL, JL, RL, "IL        ", "JL        ", "RL        ");
    kkt_detail::dump_rows(unit, NCUR, IA, JA, A, "IA        ", "JA        ", " A        ");
  }
}

}  // namespace orvika
