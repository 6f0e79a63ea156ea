// Formula-matrix routines of the chemistry models: unit-sum scaling
// (ORVK_NORM1), incremental Gram-Schmidt independence test (ORVK_ORTHOG)
// and the choice and inversion of a set of primary species (ORVK_NURINV).
#include <cmath>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/lines.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "orvika/host.h"
#include "orvika/kernels_dense.h"
#include "orvika/kernels_sparse.h"

/* Scales a vector of fractions to unit sum.
 *
 *   N  in     IWORD  length; N < 1 does nothing
 *   X  in/out real   X(1..N): divided by their sum S when S > 0 (left as they
 *                    are when the host word NONORM is nonzero); every element
 *                    1/N when S <= 0 or S is not a number
 *
 * Cost: O(N). */
extern "C" ORVK_API void ORVK_NORM1(const IWORD* N, double* X) {
  const IWORD n = *N;
  if (n < 1) return;
  double s = 0.0;
  for (IWORD i = 0; i < n; ++i) s += X[i];
  if (s > 0.0) {
    if (orvika::host::nonorm() != 0.0) return;
    for (IWORD i = 0; i < n; ++i) X[i] /= s;
  } else {
    const double u = 1.0 / static_cast<double>(n);
    for (IWORD i = 0; i < n; ++i) X[i] = u;
  }
}

/* Modified Gram-Schmidt acceptance test of candidate columns.
 *
 *   NMAX   in     IWORD  number of columns to consider
 *   M      in     IWORD  column length (>= 1; otherwise IFLAG = 0, nothing done)
 *   V      in     real   (M, NMAX) candidate columns
 *   K      in/out IWORD  number of accepted columns; 0 (or less) to start, when
 *                        column 1 is accepted without a test
 *   W      in/out real   (M, NMAX) accepted columns, orthogonalised; may be V
 *   SQN    in/out real   (NMAX) squared norms of the accepted columns
 *   IFLAG  out    IWORD  1 = every column up to NMAX accepted; 0 = stopped at
 *                        a dependent column (all reduced components within
 *                        1e-10, K unchanged) or at a zero norm
 *
 * Cost: O(M K) per candidate.  Reference: Golub & Van Loan, Matrix
 * Computations, modified Gram-Schmidt. */
extern "C" ORVK_API void ORVK_ORTHOG(const IWORD* NMAX, const IWORD* M, const double* V, IWORD* K,
                                     double* W, double* SQN, IWORD* IFLAG) {
  orvika::Vec1<double> sqn(SQN);
  constexpr double kDepTol = 1e-10;
  const IWORD nmax = *NMAX, m = *M;
  *IFLAG = 0;
  if (m < 1) return;
  if (nmax < 1) {
    *IFLAG = 1;
    return;
  }
  orvika::Mat1<const double> v(V, m);
  orvika::Mat1<double> w(W, m);
  IWORD k = *K;
  if (k < 1) {
    double s = 0.0;
    for (IWORD r = 1; r <= m; ++r) {
      w(r, 1) = v(r, 1);
      s += w(r, 1) * w(r, 1);
    }
    sqn(1) = s;
    k = 1;
    *K = k;
  }
  if (k >= nmax) {
    *IFLAG = 1;
    return;
  }
  for (IWORD j = k + 1; j <= nmax; ++j) {
    *IFLAG = 0;
    for (IWORD r = 1; r <= m; ++r) w(r, j) = v(r, j);
    for (IWORD i = 1; i <= k; ++i) {
      if (sqn(i) == 0.0) return;
      double d = 0.0;
      for (IWORD r = 1; r <= m; ++r) d += w(r, i) * w(r, j);
      const double h = d / sqn(i);
      for (IWORD r = 1; r <= m; ++r) w(r, j) -= h * w(r, i);
    }
    bool independent = false;
    double s = 0.0;
    for (IWORD r = 1; r <= m; ++r) {
      if (std::fabs(w(r, j)) > kDepTol) independent = true;
      s += w(r, j) * w(r, j);
    }
    if (!independent) return;
    sqn(j) = s;
    k = j;
    *K = k;
  }
  *IFLAG = 1;
}

namespace {

using orvika::Mat1;
using orvika::Vec1;

// AR (NE x NE) := the formula rows of the species flagged in ISP, in
// increasing species number, at most NE of them.
void build_reduced(IWORD nc, IWORD ne, const double* A, const IWORD* ISP, double* AR) {
  Vec1<const IWORD> isp(ISP);
  Mat1<const double> a(A, nc);
  Mat1<double> ar(AR, ne);
  IWORD p = 0;
  for (IWORD i = 1; i <= nc && p < ne; ++i) {
    if (isp(i) != 1) continue;
    ++p;
    for (IWORD q = 1; q <= ne; ++q) ar(p, q) = a(i, q);
  }
}

// Inverts AR in place with the complete-pivoting Gauss-Jordan routine;
// returns its code.
IWORD invert(IWORD ne, double* AR, double* WK, IWORD* IWK) {
  const double tol = 1e-10;
  IWORD ierr = 0;
  const IWORD n2 = 2 * ne * ne;
  ORVK_INVERT(AR, &ne, AR, &ierr, IWK, IWK + ne, WK, WK + n2, WK + n2 + ne, &ne, nullptr, &tol);
  return ierr;
}

// Element-driven selection: species with exactly one unassigned element
// present take that element; when a pass makes no progress the first
// species with any unassigned element takes the first of them.  Returns
// false when no species qualifies before NE are chosen.
bool select_by_elements(IWORD nc, IWORD ne, const double* A, IWORD* ISP, IWORD* IEL) {
  Vec1<IWORD> isp(ISP), iel(IEL);
  Mat1<const double> a(A, nc);
  for (IWORD i = 1; i <= nc; ++i) isp(i) = 0;
  for (IWORD k = 1; k <= ne; ++k) iel(k) = 0;
  IWORD count = 0;
  for (;;) {
    bool progress = false;
    for (IWORD i = 1; i <= nc; ++i) {
      if (isp(i) != 0) continue;
      IWORD nfree = 0, kfree = 0;
      for (IWORD k = 1; k <= ne; ++k)
        if (a(i, k) != 0.0 && iel(k) == 0) {
          ++nfree;
          kfree = k;
        }
      if (nfree == 1 && count < ne) {
        isp(i) = 1;
        iel(kfree) = 1;
        ++count;
        progress = true;
      }
    }
    if (count >= ne) return true;
    if (progress) continue;
    IWORD pick = 0, kpick = 0;
    for (IWORD i = 1; i <= nc && pick == 0; ++i) {
      if (isp(i) != 0) continue;
      for (IWORD k = 1; k <= ne; ++k)
        if (a(i, k) != 0.0 && iel(k) == 0) {
          pick = i;
          kpick = k;
          break;
        }
    }
    if (pick == 0) return false;
    isp(pick) = 1;
    iel(kpick) = 1;
    ++count;
    if (count >= ne) return true;
  }
}

// Independence search: from each start species s = 1..NC-NE, accept further
// species whose formula rows are independent of those accepted, until NE
// are found.  AR holds the candidate columns (NE x NE), WK(1..NE) their
// squared norms.  Returns true with ISP flagging NE species.
bool select_independent(IWORD nc, IWORD ne, const double* A, double* AR, IWORD* ISP, double* WK) {
  Vec1<IWORD> isp(ISP);
  Mat1<const double> a(A, nc);
  Mat1<double> ar(AR, ne);
  for (IWORD s = 1; s <= nc - ne; ++s) {
    for (IWORD i = 1; i <= nc; ++i) isp(i) = 0;
    for (IWORD q = 1; q <= ne; ++q) ar(q, 1) = a(s, q);
    isp(s) = 1;
    if (ne == 1) return true;  // the start species alone completes the set
    IWORD k = 0, nmax = 2, flag = 0;
    for (IWORD j = 1; j <= nc; ++j) {
      if (j == s) continue;
      for (IWORD q = 1; q <= ne; ++q) ar(q, nmax) = a(j, q);
      ORVK_ORTHOG(&nmax, &ne, AR, &k, AR, WK, &flag);
      if (flag != 1) continue;
      isp(j) = 1;
      if (nmax >= ne) return true;
      ++nmax;
    }
  }
  return false;
}

// The name of species s: the 8 characters of its two pool words.
void species_name(IWORD icomp, char out[8]) {
  const IWORD w1 = orvika::host::namoff() + 2 * icomp - 1;
  for (int c = 0; c < 8; ++c) out[c] = ' ';
  if (w1 < 1 || w1 + 1 > VLK_PLEX_WORDS) return;
  const Vec1<const IWORD> plex(VLK_PLEX, VLK_PLEX_WORDS);
  orvika::a4chars(plex(w1), out);
  orvika::a4chars(plex(w1 + 1), out + 4);
}

// Report at print level 9 and above: the primary species by name, then the
// inverse of the reduced matrix by rows.  Each value is followed by 3 blanks,
// and a list that fills its first line exactly (8 names, 6 values) is
// followed by a line of blanks as long as the continuation indent; these
// blanks are written as text so that they are kept at the end of a record.
constexpr std::string_view kBlanks28 = "                            ";
constexpr std::string_view kBlanks13 = "             ";

void report(IWORD nc, IWORD ne, const IWORD* ISP, const double* AR, IWORD* IWK,
            const IWORD* ICOMP) {
  const IWORD unit = orvika::host::repunit();
  Vec1<const IWORD> isp(ISP), icomp(ICOMP);
  Vec1<IWORD> iwk(IWK);
  IWORD np = 0;
  for (IWORD i = 1; i <= nc && np < ne; ++i)
    if (isp(i) == 1) iwk(++np) = i;

  const orvika::Rec species_head = orvika::Rec().A("0").X(7).A("THE PRIMARY SPECIES:");
  orvika::value_lines(
      unit, np, 8, 28,
      [&](orvika::Rec& r, IWORD k) {
        char name[8];
        species_name(icomp(iwk(k + 1)), name);
        r.X(3).A(std::string_view(name, 8));
      },
      &species_head);
  if (np == 8) orvika::write_rec(unit, orvika::Rec().A(kBlanks28));

  orvika::write_rec(unit, orvika::Rec().A("0").X(7).A("THE INVERTED REDUCED MATRIX IS"));
  Mat1<const double> ar(AR, ne);
  for (IWORD p = 1; p <= ne; ++p) {
    const orvika::Rec row_head = orvika::Rec().X(7).I(p, 3).X(3);
    orvika::value_lines(
        unit, ne, 6, 13, [&](orvika::Rec& r, IWORD k) { r.D(ar(p, k + 1), 14, 7).A("   "); },
        &row_head);
    if (ne == 6) orvika::write_rec(unit, orvika::Rec().A(kBlanks13));
  }
}

}  // namespace

/* Chooses NE primary species whose formula rows are linearly independent
 * and inverts the reduced matrix of their rows.
 *
 *   NC      in   IWORD  number of species
 *   NE      in   IWORD  number of elements
 *   A       in   real   (NC, NE) formula matrix; A(i,k) = amount of element k
 *                       in species i, present when not exactly zero
 *   AR      out  real   (NE, NE) inverse of the reduced matrix (row p = the
 *                       formula row of the p-th primary species, in increasing
 *                       species number); work of the independence search
 *   ISP     out  IWORD  (NC) 1 for a primary species, else 0
 *   IEL     work IWORD  (NE) element flags of the element-driven selection
 *   SPARE1  -           not referenced
 *   WK      work real   (4 NE^2 + NE) inversion work; squared norms of the search
 *   SPARE2  -           not referenced
 *   IWK     work IWORD  (2 NE) pivot rows and columns of the inversion; with
 *                       IPRINT >= 9 words 1..NE return the primary species
 *   ICOMP   in   IWORD  (NC) name index of each species in the host's pool
 *   MODE    in   IWORD  1 = skip the element-driven selection when NE > 1
 *   IPRINT  in   IWORD  >= 9 prints the species and the inverse on REPUNIT
 *   IERR    out  IWORD  0 inverted; -1 no NE independent species (or NC <= NE,
 *                       or NC, NE < 1); -2 the element-driven selection ran out
 *                       of candidates; k > 0 the final inversion failed at
 *                       pivot column k
 *
 * The element-driven selection is tried first; when its set cannot be
 * inverted (or MODE asks for it) an independence search by modified
 * Gram-Schmidt (ORVK_ORTHOG) follows.
 * Cost: O(NC^2 NE^2) for the search, O(NE^3) per inversion. */
extern "C" ORVK_API void ORVK_NURINV(const IWORD* NC, const IWORD* NE, const double* A, double* AR,
                                     IWORD* ISP, IWORD* IEL, void* SPARE1, double* WK,
                                     void* SPARE2, IWORD* IWK, const IWORD* ICOMP,
                                     const IWORD* MODE, const IWORD* IPRINT, IWORD* IERR) {
  const IWORD nc = *NC, ne = *NE;
  if (nc < 1 || ne < 1) {
    *IERR = -1;
    return;
  }
  bool done = false;
  if (!(*MODE == 1 && ne > 1)) {
    if (!select_by_elements(nc, ne, A, ISP, IEL)) {
      *IERR = -2;
      return;
    }
    build_reduced(nc, ne, A, ISP, AR);
    done = invert(ne, AR, WK, IWK) == 0;
  }
  if (!done) {
    if (nc - ne <= 0 || !select_independent(nc, ne, A, AR, ISP, WK)) {
      *IERR = -1;
      return;
    }
    build_reduced(nc, ne, A, ISP, AR);
    const IWORD code = invert(ne, AR, WK, IWK);
    if (code != 0) {
      *IERR = code;
      return;
    }
  }
  *IERR = 0;
  if (*IPRINT >= 9) report(nc, ne, ISP, AR, IWK, ICOMP);
}
