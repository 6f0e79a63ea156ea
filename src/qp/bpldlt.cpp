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
#include "qp/qp.hpp"

namespace orvika {

namespace {

using kkt_detail::dump_i;
using kkt_detail::dump_r;
using kkt_detail::dump_si;

constexpr double kPivTiny = 1e-22;

// First stored value of row I in column C of (IA, JA, A), 0 when none.
double entry(const IWORD* ia, const IWORD* ja, const double* a, IWORD i, IWORD c) {
  for (IWORD k = ia[i - 1]; k < ia[i]; ++k)
    if (ja[k - 1] == c) return a[k - 1];
  return 0.0;
}

// Appends to each row p of L (N rows) the entries GET(p, cols, vals) gives
// (at most two, columns ascending and above those already in the row), in
// one backward pass.  False, with the warning of LENCHK, when L would
// exceed LJ entries.
template <class Get>
bool l_append(IWORD unit, IWORD N, IWORD LJ, IWORD* IL, IWORD* JL, double* RL, IWORD first,
              Get get, IWORD& IFAIL) {
  IWORD cols[2];
  double vals[2];
  IWORD cnt = 0;
  for (IWORD p = first; p <= N; ++p) cnt += get(p, cols, vals);
  const IWORD total = IL[N] - 1;
  if (total + cnt > LJ) {
    LENCHK(unit, LJ, total + cnt, "JL-BPLDLT ", IFAIL);
    return false;
  }
  IWORD shift = cnt;
  for (IWORD p = N; p >= first && shift > 0; --p) {
    const IWORD beg = IL[p - 1], end = IL[p];  // old row p: beg .. end-1
    IL[p] = end + shift;
    const int m = get(p, cols, vals);
    for (int q = m - 1; q >= 0; --q) {
      const IWORD pos = end - 1 + shift;
      JL[pos - 1] = cols[q];
      RL[pos - 1] = vals[q];
      --shift;
    }
    if (shift > 0)
      for (IWORD q = end - 1; q >= beg; --q) {
        JL[q + shift - 1] = JL[q - 1];
        RL[q + shift - 1] = RL[q - 1];
      }
  }
  return true;
}

// Rows FROM..NCUR of A without the columns 1..DROP and without exact zeros,
// columns shifted down by DROP, into (IB, JB, B).
void copy_trailing(IWORD ncur, IWORD from, IWORD drop, const IWORD* ia, const IWORD* ja,
                   const double* a, IWORD* ib, IWORD* jb, double* b) {
  IWORD p = 1;
  for (IWORD i = from; i <= ncur; ++i) {
    ib[i - from] = p;
    for (IWORD k = ia[i - 1]; k < ia[i]; ++k)
      if (ja[k - 1] > drop && a[k - 1] != 0.0) {
        jb[p - 1] = ja[k - 1] - drop;
        b[p - 1] = a[k - 1];
        ++p;
      }
  }
  ib[ncur - from + 1] = p;
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
  const IWORD unit = nlpint(ORVK_NLPINT_KKTUNIT);
  const IWORD lvl = nlpint(ORVK_NLPINT_KKTLEVEL);
  IWORD& nd = nlpint(ORVK_NLPINT_NDWORD);
  for (IWORD k = 1; k <= N; ++k) ICHAN[k - 1] = k;
  bool reduced = false;  // a new reduced matrix was formed

  if (IPVTSZ[KBLK - 1] != 2) {
    // ---- 1x1 block --------------------------------------------------------
    const double d = IA[1] > IA[0] ? entry(IA, JA, A, 1, 1) : 0.0;
    if (nd + 1 > LD) {
      LENCHK(unit, LD, nd + 1, " D-BPLDLT ", IFAIL);
      return;
    }
    nd += 1;
    D[nd - 1] = d;
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
    IDINV[0] = 1;
    for (IWORD i = 2; i <= NCUR; ++i) {
      IDMUL[i - 2] = pc;
      for (IWORD k = IA[i - 1]; k < IA[i]; ++k)
        if (JA[k - 1] == 1 && A[k - 1] != 0.0) {
          JDMUL[pc - 1] = 1;
          DMUL[pc - 1] = -A[k - 1] / d;
          ++pc;
          JDINV[pr - 1] = i - 1;
          DINV[pr - 1] = A[k - 1];
          ++pr;
          break;
        }
    }
    IDMUL[NCUR - 1] = pc;
    IDINV[1] = pr;

    // Unit entry of the pivot row, multipliers a_i1/d below it.
    auto get = [&](IWORD p, IWORD* c, double* v) -> int {
      if (p == IROW) {
        c[0] = IROW, v[0] = 1.0;
        return 1;
      }
      const IWORD r = p - IROW;  // row of the column matrix
      if (r < 1 || r > NCUR - 1 || IDMUL[r] == IDMUL[r - 1]) return 0;
      const double l = DMUL[IDMUL[r - 1] - 1];
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
    D[nd] = d11, D[nd + 1] = d21, D[nd + 2] = d22;
    nd += 3;
    const double det = d22 * d11 - d21 * d21;
    if (!(std::fabs(det) >= kPivTiny)) {
      singular(unit, lvl, "*** SINGULAR 2X2 PIVOT AT ROW", IROW);
      ISROW = IROW;
      ISING = 1;
      return;
    }
    // Inverse block E, its zero entries left out.
    {
      IWORD p = 1;
      IDINV[0] = 1;
      if (d22 != 0.0) JDINV[p - 1] = 1, DINV[p - 1] = d22 / det, ++p;
      if (d21 != 0.0) JDINV[p - 1] = 2, DINV[p - 1] = -d21 / det, ++p;
      IDINV[1] = p;
      if (d21 != 0.0) JDINV[p - 1] = 1, DINV[p - 1] = -d21 / det, ++p;
      if (d11 != 0.0) JDINV[p - 1] = 2, DINV[p - 1] = d11 / det, ++p;
      IDINV[2] = p;
    }
    // Block column [a_k1 a_k2] (rows 3..NCUR) and its negated transpose.
    const IWORD m = NCUR - 2;
    if (2 * m > LJ) {
      LENCHK(unit, LJ, 2 * m, "JB-BPLDLT ", IFAIL);
      return;
    }
    IWORD pc = 1, p1 = 1, p2 = 1;
    for (IWORD k = 3; k <= NCUR; ++k) {
      IDMUL[k - 3] = pc;
      for (IWORD q = IA[k - 1]; q < IA[k]; ++q) {
        const IWORD c = JA[q - 1];
        if ((c != 1 && c != 2) || A[q - 1] == 0.0) continue;
        JDMUL[pc - 1] = c, DMUL[pc - 1] = A[q - 1], ++pc;
        if (c == 1)
          JW1[p1 - 1] = k - 2, RW1[p1 - 1] = -A[q - 1], ++p1;
        else
          JW2[p2 - 1] = k - 2, RW2[p2 - 1] = -A[q - 1], ++p2;
      }
    }
    IDMUL[m] = pc;
    IW1[0] = 1;
    IW1[1] = p1;
    for (IWORD q = 1; q < p2; ++q) JW1[p1 + q - 2] = JW2[q - 1], RW1[p1 + q - 2] = RW2[q - 1];
    IW1[2] = p1 + p2 - 1;

    // Multipliers [a_k1 a_k2] E.  The product must stay below LJ entries
    // (the product routine ends the process otherwise).
    IWORD cnt = 0;
    for (IWORD r = 1; r <= m; ++r) {
      bool has[3] = {false, false, false};
      for (IWORD q = IDMUL[r - 1]; q < IDMUL[r]; ++q) {
        const IWORD c = JDMUL[q - 1];
        for (IWORD e = IDINV[c - 1]; e < IDINV[c]; ++e) has[JDINV[e - 1]] = true;
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
      IW2[0] = 1;

    if (IROW + 1 < N) {
      // Lower triangle of (multipliers) x (negated 2-row matrix).
      if (m == 1) {
        // A single entry: sum over the stored multipliers of row 1.
        bool any = false;
        double v = 0.0;
        for (IWORD q = IW2[0]; q < IW2[1]; ++q) {
          const IWORD c = JW2[q - 1];
          for (IWORD e = IW1[c - 1]; e < IW1[c]; ++e)
            if (JW1[e - 1] == 1) {
              v += RW1[e - 1] * RW2[q - 1];
              any = true;
            }
        }
        IDMUL[0] = 1;
        if (any) JDMUL[0] = 1, DMUL[0] = v;
        IDMUL[1] = any ? 2 : 1;
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
  LENCHK(unit, LJ, IA[NCUR] - 1, "JA-BPLDLT ", IFAIL);
  if (reduced) LENCHK(unit, LJ, IW1[NCUR] - 1, "JB-BPLDLT ", IFAIL);
  LENCHK(unit, LJ, IL[N] - 1, "JL-BPLDLT ", IFAIL);
  if (IFAIL != 0) return;

  // Entries of magnitude at most 1e-50 leave the reduced matrix.
  SMDROP(NCUR, IA, JA, A, IW1, JW1, RW1);
  SMDROP(NCUR, IW1, JW1, RW1, IA, JA, A);

  if (lvl >= 4) {
    dump_si(unit, nd, "NUMD      ");
    dump_r(unit, nd, D, "D         ");
    dump_i(unit, N + 1, IL, "IL        ");
    dump_i(unit, IL[N] - 1, JL, "JL        ");
    dump_r(unit, IL[N] - 1, RL, "RL        ");
    dump_i(unit, NCUR + 1, IA, "IA        ");
    dump_i(unit, IA[NCUR] - 1, JA, "JA        ");
    dump_r(unit, IA[NCUR] - 1, A, " A        ");
  }
}

}  // namespace orvika
