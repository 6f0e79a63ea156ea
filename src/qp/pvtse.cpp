// Pivot-block selection of the sparse LDL^T KKT solver: a complete search
// (PVTSE1) and two partial-pivoting rules after Bunch and Kaufman (PVTSE2,
// PVTSE3).  Each chooses a 1x1 or 2x2 block of the reduced matrix and moves
// it to the top-left corner, in the reduced matrix, the pivot order IP and
// the rows of L not yet eliminated.
//
// Reference: J. R. Bunch and L. Kaufman, Some stable methods for calculating
// inertia and solving symmetric linear systems, Math. Comp. 31 (1977)
// 163-179.
#include <cmath>
#include <cstdint>
#include <utility>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dumps.hpp"
#include "kernels/sparse.hpp"
#include "kernels/vector.hpp"
#include "orvika/qp.h"
#include "frame/views.hpp"
#include "qp/qp.hpp"

namespace orvika {

namespace {

using kkt_detail::dump_i;
using kkt_detail::dump_r;
using kkt_detail::dump_si;
using kkt_detail::dump_sr;
using kkt_detail::phase_line;

constexpr double kAlphaBK = 0.6403882032022076;  // (1 + sqrt 17) / 8

// Everything a selection rule shares.
struct Sel {
  IWORD ncur, nred, irow, kblk, nt, lj;
  IWORD* ia;
  IWORD* ja;
  double* a;
  IWORD* ip;
  IWORD* ix;
  IWORD* il;
  IWORD* jl;
  double* rl;
  IWORD* ipvtsz;
  IWORD* ichan;
  IWORD *iw1, *jw1, *iw2, *jw2;
  double *rw1, *rw2;
  IWORD unit, lvl;

  // Entry (i, j) of the reduced matrix may serve as a pivot: while the
  // leading part is eliminated, both its row and column must lie in it.
  bool eligible(IWORD i, IWORD j) const {
    if (irow > nred) return true;
    return irow + i - 1 <= nred && irow + j - 1 <= nred;
  }
  // Largest |a_i1| over eligible entries in column 1 (rows ascending, first
  // on ties); row 0 when there is none.
  void column1_max(double& lambda, IWORD& r) const {
    const Vec1<const IWORD> IA(ia), JA(ja);
    const Vec1<const double> A(a);
    lambda = 0.0;
    r = 0;
    for (IWORD i = 1; i <= ncur; ++i)
      for (IWORD k = IA(i); k < IA(i + 1); ++k)
        if (JA(k) == 1 && eligible(i, 1)) {
          const double v = std::fabs(A(k));
          if (v > lambda) lambda = v, r = i;
        }
  }
  // |a_rr| of an eligible stored diagonal, else 0.
  double diag(IWORD r) const {
    const Vec1<const IWORD> IA(ia), JA(ja);
    const Vec1<const double> A(a);
    if (r < 1 || r > ncur) return 0.0;
    for (IWORD k = IA(r); k < IA(r + 1); ++k)
      if (JA(k) == r && eligible(r, r)) return std::fabs(A(k));
    return 0.0;
  }
  // Largest |a_jr| over eligible entries of column r in rows r+1..NCUR.
  void below_max(IWORD r, double& gamma, IWORD& row) const {
    const Vec1<const IWORD> IA(ia), JA(ja);
    const Vec1<const double> A(a);
    gamma = 0.0;
    row = 0;
    if (r < 1 || r >= ncur) return;
    for (IWORD i = r + 1; i <= ncur; ++i)
      for (IWORD k = IA(i); k < IA(i + 1); ++k)
        if (JA(k) == r && eligible(i, r)) {
          const double v = std::fabs(A(k));
          if (v > gamma) gamma = v, row = i;
        }
  }
  // Largest |a_rj| over eligible stored entries of row r left of its
  // diagonal (columns 1..r-1): with BELOW_MAX, the off-diagonal part of
  // column r of the symmetric matrix.
  double left_max(IWORD r) const {
    const Vec1<const IWORD> IA(ia), JA(ja);
    const Vec1<const double> A(a);
    double v = 0.0;
    if (r < 1 || r > ncur) return v;
    for (IWORD k = IA(r); k < IA(r + 1); ++k)
      if (JA(k) < r && eligible(r, JA(k))) v = std::fmax(v, std::fabs(A(k)));
    return v;
  }
  void swap_rows(IWORD p, IWORD q) {  // local positions p and q
    const Vec1<IWORD> IP(ip), ICHAN(ichan);
    std::swap(IP(irow + p - 1), IP(irow + q - 1));
    std::swap(ICHAN(p), ICHAN(q));
  }
};

// Steps of the common end: the symmetric permutation of the reduced matrix
// and of the rows of L when MOVED, then the length checks and the dumps.
void common_end(Sel& s, bool moved, char which, IWORD& IFAIL) {
  const Vec1<IWORD> ichan(s.ichan), il(s.il);
  const Vec1<const IWORD> ix(s.ix);
  char lab[11] = "IW-PVTSE? ";
  lab[8] = which;
  const IWORD ncur = s.ncur;
  const IWORD N = s.irow - 1 + ncur;
  if (moved) {
    // Reduced matrix: (P A)^T into IW2, then P A P^T folded back into A.
    PERMU2(s.unit, 1, ncur, s.ia, s.ja, s.a, s.ichan, s.lj, s.iw2, s.jw2, s.rw2, s.iw1, s.jw1,
           s.rw1, IFAIL);
    if (IFAIL != 0) return;
    s.ia[0] = 1;
    PERMU2(s.unit, 2, ncur, s.iw2, s.jw2, s.rw2, s.ichan, s.lj, s.iw1, s.jw1, s.rw1, s.ia, s.ja,
           s.a, IFAIL);
    if (IFAIL != 0) return;
    if (s.lvl >= 4) dump_i(s.unit, ncur, s.ichan, "ICHAN     ");
    if (s.irow > 1) {
      VIADDK(s.irow - 1, ncur, 0, s.ichan);
      for (IWORD k = 0; k < ncur; ++k) s.ix[k] = s.ichan[k];
      LENCHK(s.unit, s.nt, N, std::string_view(lab, 10), IFAIL);
      if (IFAIL != 0) return;
      for (IWORD k = 1; k <= ncur; ++k) ichan(s.irow - 2 + k + 1) = ix(k);
      for (IWORD k = 1; k < s.irow; ++k) ichan(k) = k;
      PERMU2(s.unit, 1, N, s.il, s.jl, s.rl, s.ichan, s.lj, s.iw1, s.jw1, s.rw1, s.iw2, s.jw2,
             s.rw2, IFAIL);
      if (IFAIL != 0) return;
      il(1) = 1;
      PERMU2(s.unit, 2, N, s.iw1, s.jw1, s.rw1, s.ichan, s.lj, s.iw2, s.jw2, s.rw2, s.il, s.jl,
             s.rl, IFAIL);
      if (IFAIL != 0) return;
    }
  }
  lab[0] = 'J', lab[1] = 'A';
  LENCHK(s.unit, s.lj, s.ia[ncur] - 1, std::string_view(lab, 10), IFAIL);
  lab[1] = 'L';
  LENCHK(s.unit, s.lj, il(N + 1) - 1, std::string_view(lab, 10), IFAIL);
  if (IFAIL == 0 && s.lvl >= 4) {
    dump_i(s.unit, N, s.ip, "IP");
    dump_i(s.unit, ncur + 1, s.ia, "PERMU-IA");
    dump_i(s.unit, s.ia[ncur] - 1, s.ja, "PERMU-JA");
    dump_r(s.unit, s.ia[ncur] - 1, s.a, "PERMU-A");
    if (s.irow > 1) {
      dump_i(s.unit, N, s.il, "PERMU-IL");
      dump_i(s.unit, il(N) - 1, s.jl, "PERMU-JL");
      dump_r(s.unit, il(N) - 1, s.rl, "PERMU-L");
    }
  }
}

Sel make_sel(IWORD NCUR, IWORD NRED, IWORD* IA, IWORD* JA, double* A, IWORD KBLK, IWORD IROW,
             IWORD* IP, IWORD NT, IWORD* IX, IWORD LJ, IWORD* IL, IWORD* JL, double* RL,
             IWORD* IPVTSZ, IWORD* ICHAN, IWORD* IW1, IWORD* JW1, double* RW1, IWORD* IW2,
             IWORD* JW2, double* RW2) {
  const Vec1<IWORD> ichan(ICHAN);
  Sel s{NCUR, NRED, IROW, KBLK, NT, LJ, IA, JA, A, IP, IX, IL, JL, RL, IPVTSZ, ICHAN,
        IW1,  JW1,  IW2,  JW2,  RW1, RW2, nlpint(ORVK_NLPINT_KKTUNIT),
        nlpint(ORVK_NLPINT_KKTLEVEL)};
  for (IWORD k = 1; k <= NCUR; ++k) ichan(k) = k;
  return s;
}

// The entry dumps of every strategy: the position and the pivot bound.
void entry_dumps(const Sel& s, double alpha) {
  if (s.lvl < 4) return;
  dump_si(s.unit, s.irow, "***IROW***");
  dump_sr(s.unit, alpha, "ALPHA     ");
}

// The test of case 2, alpha lambda^2 <= gamma a.  Where lambda or gamma lies
// beyond 2^480 both sides are formed scaled by the same power of two, so
// that the squares do not overflow to a tie that takes a tiny pivot.
bool case_two(double alpha, double lambda, double gamma, double a) {
  const double big = std::fmax(lambda, gamma);
  if (!(big > 0x1p480) || !std::isfinite(big)) return alpha * lambda * lambda <= gamma * a;
  const int e = std::ilogb(big);
  const double l = std::ldexp(lambda, -e);
  return a > 0 && alpha * l * l <= std::ldexp(gamma, -e) * std::ldexp(a, -e);
}

// Decision of the partial-pivoting rules (cases 1 to 4) for partner row R
// with diagonal AC and below-diagonal maximum GAMMA.  Returns true when rows
// moved.
bool partial_decision(Sel& s, double alpha, double lambda, IWORD r, double ac, double gamma) {
  const Vec1<IWORD> ipvtsz(s.ipvtsz);
  const bool row1 = s.ia[1] > s.ia[0];
  if (row1) {
    const double a = std::fabs(s.a[s.ia[0] - 1]);
    const char* text = nullptr;
    if (alpha * lambda <= a)
      text = "*** CASE 1: 1X1 PIVOT SELECTED ***";
    else if (case_two(alpha, lambda, gamma, a))
      text = "*** CASE 2: 1X1 PIVOT SELECTED ***";
    if (text) {
      ipvtsz(s.kblk) = 1;
      if (s.lvl >= 4) phase_line(s.unit, text);
      return false;
    }
  }
  if (r < 2) {
    // No admissible partner: a 1x1 step on position 1, which the
    // elimination reports as singular.
    ipvtsz(s.kblk) = 1;
    return false;
  }
  // The diagonal of row R serves as a 1x1 pivot only when it is not small
  // against every off-diagonal entry of its column, those left of the
  // diagonal (stored in row R, a_r1 = lambda among them) as well as those
  // below it; a smaller one would let the elimination grow the entries
  // without bound.
  const double sigma = std::fmax(gamma, s.left_max(r));
  if (ac <= 1e-22 || ac < alpha * sigma) {
    ipvtsz(s.kblk) = 2;
    if (s.lvl >= 4) phase_line(s.unit, "*** CASE 4: 2X2 PIVOT SELECTED ***");
    s.swap_rows(2, r);
  } else {
    ipvtsz(s.kblk) = 1;
    if (s.lvl >= 4) phase_line(s.unit, "*** CASE 3: 1X1 PIVOT SELECTED ***");
    s.swap_rows(1, r);
  }
  return true;
}

}  // namespace

void PVTSE1(IWORD NCUR, IWORD NRED, IWORD* IA, IWORD* JA, double* A, IWORD KBLK, IWORD IROW,
            IWORD* IP, IWORD NT, IWORD* IX, IWORD LJ, IWORD* IL, IWORD* JL, double* RL,
            const double*, IWORD* IPVTSZ, IWORD* ICHAN, IWORD* IW1, IWORD* JW1, double* RW1,
            IWORD* IW2, IWORD* JW2, double* RW2, IWORD& IFAIL) {
  const Vec1<IWORD> ia(IA), ja(JA), ipvtsz(IPVTSZ);
  const Vec1<double> a(A);
  Sel s = make_sel(NCUR, NRED, IA, JA, A, KBLK, IROW, IP, NT, IX, LJ, IL, JL, RL, IPVTSZ, ICHAN,
                   IW1, JW1, RW1, IW2, JW2, RW2);
  const double alpha = kAlphaBK;
  entry_dumps(s, alpha);

  IWORD imax = 0, irowmax = 0, jcolmax = 0;
  double amaxd = 0.0, amaxod = 0.0;
  auto search = [&](IWORD start) {
    for (IWORD i = start; i <= NCUR; ++i)
      for (IWORD k = ia(i); k < ia(i + 1); ++k) {
        const IWORD j = ja(k);
        if (!s.eligible(i, j)) continue;
        const double v = std::fabs(a(k));
        if (j == i && v > amaxd) amaxd = v, imax = i;
        if (v > amaxod) amaxod = v, irowmax = i, jcolmax = j;
      }
  };
  // Strategy 1 starts the search in the second half of the leading part
  // while the first half is being eliminated; when that finds nothing the
  // whole matrix is searched.
  IWORD start = 1;
  if (nlpint(ORVK_NLPINT_PIVSTRAT) == 1 && IROW < NRED / 2) start = NRED / 2 + 1;
  search(start);
  if (amaxd == 0.0 && amaxod == 0.0 && start > 1) search(1);

  if (amaxd == 0.0 && amaxod == 0.0) {
    if (s.lvl >= 4) write_rec(s.unit, Rec().list_text("***SINGULAR ROW***").list_int(IROW));
    // A 1x1 step on the zero pivot: the elimination reports it singular.
    ipvtsz(KBLK) = 1;
    return;
  }
  if (s.lvl >= 4) {
    dump_si(s.unit, imax, "IMAX      ");
    dump_sr(s.unit, amaxd, "AMAXD     ");
    dump_si(s.unit, irowmax, "IROWMAX   ");
    dump_si(s.unit, jcolmax, "JCOLMAX   ");
    dump_sr(s.unit, amaxod, "AMAXOD    ");
    dump_sr(s.unit, alpha * amaxod, "SALPHA    ");
  }
  bool moved = false;
  if (alpha * amaxod > amaxd && jcolmax < irowmax) {
    ipvtsz(KBLK) = 2;
    if (s.lvl >= 4) phase_line(s.unit, "*** 2 BY 2 PIVOT SELECTED ***");
    s.swap_rows(1, jcolmax);
    s.swap_rows(2, irowmax);
    moved = true;
  } else {
    ipvtsz(KBLK) = 1;
    if (s.lvl >= 4) phase_line(s.unit, "*** 1 BY 1 PIVOT SELECTED ***");
    if (imax > 1) {
      s.swap_rows(1, imax);
      moved = true;
    }
  }
  common_end(s, moved, '1', IFAIL);
}

void PVTSE2(IWORD NCUR, IWORD NRED, IWORD* IA, IWORD* JA, double* A, IWORD KBLK, IWORD IROW,
            IWORD* IP, IWORD NT, IWORD* IX, IWORD LJ, IWORD* IL, IWORD* JL, double* RL,
            const double*, IWORD* IPVTSZ, IWORD* ICHAN, IWORD* IW1, IWORD* JW1, double* RW1,
            IWORD* IW2, IWORD* JW2, double* RW2, IWORD& IFAIL) {
  Sel s = make_sel(NCUR, NRED, IA, JA, A, KBLK, IROW, IP, NT, IX, LJ, IL, JL, RL, IPVTSZ, ICHAN,
                   IW1, JW1, RW1, IW2, JW2, RW2);
  const double alpha = kAlphaBK;
  entry_dumps(s, alpha);
  double lambda = 0.0, gamma = 0.0;
  IWORD r = 0, ircgma = 0;
  s.column1_max(lambda, r);
  const double ac = s.diag(r);
  s.below_max(r, gamma, ircgma);
  if (s.lvl >= 4) {
    dump_si(s.unit, ircgma, "IRCGMA    ");
    dump_sr(s.unit, gamma, " ACGMA    ");
    dump_sr(s.unit, ac, " AC       ");
    dump_si(s.unit, r, "IRLAMDA   ");
    dump_sr(s.unit, lambda, "ALAMDA    ");
  }
  const bool moved = partial_decision(s, alpha, lambda, r, ac, gamma);
  common_end(s, moved, '2', IFAIL);
}

void PVTSE3(IWORD NCUR, IWORD NRED, IWORD* IA, IWORD* JA, double* A, IWORD KBLK, IWORD IROW,
            IWORD* IP, IWORD NT, IWORD* IX, IWORD LJ, IWORD* IL, IWORD* JL, double* RL,
            const double*, IWORD* IPVTSZ, IWORD* ICHAN, IWORD* IW1, IWORD* JW1, double* RW1,
            IWORD* IW2, IWORD* JW2, double* RW2, IWORD& IFAIL) {
  const Vec1<IWORD> ia(IA), ja(JA);
  const Vec1<double> a(A);
  Sel s = make_sel(NCUR, NRED, IA, JA, A, KBLK, IROW, IP, NT, IX, LJ, IL, JL, RL, IPVTSZ, ICHAN,
                   IW1, JW1, RW1, IW2, JW2, RW2);
  const double alpha = nlprea(ORVK_NLPREA_ALPHA);
  const double tau = std::sqrt(alpha * alpha * (4 * alpha + 3) / (1 + 2 * alpha));
  nlprea(ORVK_NLPREA_TAU) = tau;
  entry_dumps(s, alpha);
  if (s.lvl >= 4) dump_sr(s.unit, tau, "TAU       ");
  double lambda = 0.0;
  IWORD irlamda = 0;
  s.column1_max(lambda, irlamda);

  // Partner: the first row up to IRLAMDA whose column-1 entry exceeds
  // TAU * lambda.
  IWORD iaf = 0;
  double af = 0.0;
  for (IWORD i = 1; i <= irlamda && iaf == 0; ++i)
    for (IWORD k = ia(i); k < ia(i + 1); ++k)
      if (ja(k) == 1 && s.eligible(i, 1) && std::fabs(a(k)) > tau * lambda) {
        iaf = i;
        af = std::fabs(a(k));
        break;
      }
  if (iaf == 0) iaf = irlamda, af = lambda;
  const double afd = s.diag(iaf);
  double gamma = 0.0;
  IWORD irgama = 0;
  s.below_max(iaf, gamma, irgama);
  if (s.lvl >= 4) {
    dump_si(s.unit, iaf, "IAF       ");
    dump_sr(s.unit, af, " AF       ");
    dump_sr(s.unit, afd, " AFD      ");
    dump_si(s.unit, irlamda, "IRLAMDA   ");
    dump_sr(s.unit, lambda, "ALAMDA    ");
    dump_si(s.unit, irgama, "IRGAMA    ");
    dump_sr(s.unit, gamma, "AGAMA     ");
  }
  const bool moved = partial_decision(s, alpha, lambda, iaf, afd, gamma);
  common_end(s, moved, '3', IFAIL);
}

}  // namespace orvika
