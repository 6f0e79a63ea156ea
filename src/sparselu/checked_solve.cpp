// Calls of ORVK_CONTRL with a client's private option words, and the
// least work length the package accepts for a client's input positions.
#include "sparselu/checked_solve.hpp"

#include <cmath>

#include "sparselu/sparselu.hpp"

namespace orvika {
namespace {

// Sizes above this are refused by sparse_accepts before the package's size
// formula is evaluated (it is exact in 64 bits only below about 2^58); no
// work space of 2^56 entries exists.
constexpr IWORD kLargestSize = IWORD{1} << 56;

// Pivot tolerances after an inaccurate solution: a first tolerance up to
// (about) the default 1e-4 rises to 1e-3, one up to 1e-3 to 0.01, and the
// second to 0.1 with either; a rise by more than half is worth a new
// ordering.
constexpr double kLowTol1 = 1.01e-4;
constexpr double kMidTol1 = 1.01e-3;
constexpr double kRaisedTol2 = 0.1;
constexpr double kMarkedRise = 1.5;

bool overlap(IWORD a, IWORD la, IWORD b, IWORD lb) {
  return la > 0 && lb > 0 && a < b + lb && b < a + la;
}

bool holds(IWORD p, IWORD len, IWORD total) { return p >= 1 && len >= 0 && p - 1 <= total - len; }

}  // namespace

IWORD sparse_factoring_method(IWORD m) {
  return (m == 1 || m == 2 || m == 4 || m == 5 || m == 7) ? m : 1;
}

IWORD sparse_message_unit(IWORD word10, IWORD unit) {
  return (word10 >= 1 && word10 <= 999) ? word10 : unit;
}

SparseOptions sparse_options_from_blocks() {
  SparseOptions o;
  o.opt1 = ORVK_SPOPT1;
  o.opt2 = ORVK_SPOPT2;
  o.opt3 = ORVK_SPOPT3;
  return o;
}

IWORD sparse_call(SparseOptions& o, double* work, IWORD spende, IWORD& n, IWORD& nz, IWORD nrhsmx,
                  IWORD nrhs) {
  const ORVK_SPOPT1_T saved1 = ORVK_SPOPT1;
  const ORVK_SPOPT2_T saved2 = ORVK_SPOPT2;
  const ORVK_SPOPT3_T saved3 = ORVK_SPOPT3;
  const ORVK_SPOPT4_T saved4 = ORVK_SPOPT4;
  ORVK_SPOPT1 = o.opt1;
  ORVK_SPOPT2 = o.opt2;
  ORVK_SPOPT3 = o.opt3;
  ORVK_SPOPT4.NRHSMX = nrhsmx;
  ORVK_SPOPT4.NRHS = nrhs;
  IWORD code = 0;
  ORVK_CONTRL(reinterpret_cast<IWORD*>(work), work, &spende, &n, &nz, &code);
  o.opt1 = ORVK_SPOPT1;
  o.opt2 = ORVK_SPOPT2;
  o.opt3 = ORVK_SPOPT3;
  ORVK_SPOPT1 = saved1;
  ORVK_SPOPT2 = saved2;
  ORVK_SPOPT3 = saved3;
  ORVK_SPOPT4 = saved4;
  return code;
}

bool sparse_accepts(const SparseOptions& o, IWORD n, IWORD nz, IWORD nrhsmx, IWORD spende) {
  const ORVK_SPOPT2_T& C = o.opt2;
  if (n < 0 || nz < 0 || (n == 0 && nz > 0) || nrhsmx < 1 || nrhsmx > 2 || spende < 1) return false;
  if (C.I4FAC != 1 || C.IB != 1) return false;
  if (n > kLargestSize || nz > kLargestSize) return false;
  const IWORD method = (C.METHOD >= 2 && C.METHOD <= 7) ? C.METHOD : 1;
  if (spende < sp_min_spende(n, nz, method, 1, o.opt1.SPCFAC)) return false;

  // Order and separation of the caller's arrays (one integer per real word).
  const bool triplets = C.INPFRM == 1;
  const bool rowsin = C.IORNIN == 1;
  const IWORD z = nrhsmx * n;
  bool inorder;
  if (!triplets)
    inorder = rowsin ? (C.IRP >= 2 && C.IRP < C.IORN && C.IORN < C.ICI && C.ICI < C.IA)
                     : (C.IRP >= 2 && C.IRP < C.ICI && C.ICI < C.IA);
  else
    inorder = rowsin ? (C.IORN >= 2 && C.IORN < C.IVECT && C.IVECT < C.JVECT && C.JVECT < C.IA)
                     : (C.IVECT >= 2 && C.IVECT < C.JVECT && C.JVECT < C.IA);
  if (!inorder) return false;
  struct Arr {
    IWORD pos, len;
  };
  const IWORD irp = triplets ? z + 1 : C.IRP;
  const Arr arr[5] = {{1, z},
                      {triplets ? C.JVECT : C.ICI, nz},
                      {C.IA, nz},
                      {C.IORN, rowsin ? n : 0},
                      {C.IVECT, triplets ? nz : 0}};
  for (int a = 0; a < 5; ++a)
    for (int b = a + 1; b < 5; ++b)
      if (overlap(arr[a].pos, arr[a].len, arr[b].pos, arr[b].len)) return false;

  // Room: every array inside the work space, the row pointers clear of the
  // other arrays (for triplets below the row numbers), and the partition
  // inside the work space with room for the matrix, its arrays only moving
  // down into it.
  if (!holds(irp, n + 1, spende)) return false;
  for (const Arr& x : arr)
    if (x.len > 0 && !holds(x.pos, x.len, spende)) return false;
  for (int a = 1; a < 5; ++a)
    if (overlap(irp, n + 1, arr[a].pos, arr[a].len)) return false;
  if (triplets && C.IVECT <= irp + n) return false;
  if (n > spende || nz > spende) return false;
  ORVK_SPOPT2_T P = C;
  const IWORD end = ZWPART(n, nz, spende, C.ORDOPT, method, C.SCLOPT, C.RSTOPT, 1, nrhsmx, P);
  if (end < 1 || end > spende) return false;
  const IWORD need = nz + ((method == 4 || method == 5) ? n : 0);
  if (P.MAXA < need || P.MAXA < 1) return false;
  return irp >= P.IRP && !(rowsin && C.IORN < P.IORN);
}

bool sparse_fresh_ordering_helps(IWORD code) {
  return code > ORVK_SP_SUCCESS || code == ORVK_SP_ORDERING_REFUSED;
}

bool sparse_ratio_inaccurate(double ratio, bool nan_inaccurate) {
  return nan_inaccurate ? !(ratio <= kSparseRatioLimit) : ratio > kSparseRatioLimit;
}

bool sparse_raise_pivot_tolerances(double& pivtl1, double& pivtl2) {
  const double p1 = pivtl1, p2 = pivtl2;
  if (pivtl1 <= kLowTol1) {
    pivtl1 = std::fmax(pivtl1, 1e-3);
    pivtl2 = std::fmax(pivtl2, kRaisedTol2);
  } else if (pivtl1 <= kMidTol1) {
    pivtl1 = std::fmax(pivtl1, 0.01);
    pivtl2 = std::fmax(pivtl2, kRaisedTol2);
  }
  return pivtl1 > kMarkedRise * p1 || pivtl2 > kMarkedRise * p2;
}

}  // namespace orvika
