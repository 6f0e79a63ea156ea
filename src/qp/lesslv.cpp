// Sparse LDL^T KKT solver of the QP solver: P K P^T = L D L^T with 1x1 and
// 2x2 pivot blocks, chosen block by block, the leading part (Hessian and
// equality rows) eliminated first with its own pivots so that an active-set
// change re-eliminates only the rows of the active constraints.
#include <cstdint>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dense.hpp"
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
using kkt_detail::dump_sr;
using kkt_detail::phase_line;
using kkt_detail::size_pr;
using kkt_detail::timer;

// State kept between a factorisation and the update calls that follow it.
struct LesState {
  bool valid = false;  // the work arrays hold the factors of a completed call
  IWORD singular = 0;  // the last elimination met a singular block
  IWORD nt = 0, lj = 0, nred = 0, mineq = 0;
  IWORD iwtot = 0, rwtot = 0;  // required lengths of IWLES and RWLES
  IWORD last_n = 0, last_nactiv = 0;
  IWORD ncur = 0, n1x1 = 0, n2x2 = 0, kblk = 0, irow = 0, nadd = 0, ndel = 0;
  double t0 = 0.0;  // reference word of the host timer
};
LesState g_les;

// Sub-arrays of IWLES and RWLES (0-based offsets).
struct Parts {
  IWORD ip, ichan, ix, ipvtsz, kradd, kadd, kdel, idinv, jdinv, idmul, jdmul, il, jl, iw1, jw1,
      iw2, jw2, iend;
  IWORD d, z, dinv, dmul, subx, rl, rw1, rw2, rend;
};

Parts partition(IWORD nt, IWORD mineq, IWORD lj) {
  Parts p{};
  p.ip = 0;
  p.ichan = p.ip + nt;
  p.ix = p.ichan + nt;
  p.ipvtsz = p.ix + nt;
  p.kradd = p.ipvtsz + nt;
  p.kadd = p.kradd + mineq;
  p.kdel = p.kadd + mineq;
  p.idinv = p.kdel + mineq;
  p.jdinv = p.idinv + nt + 1;
  p.idmul = p.jdinv + 2 * nt;
  p.jdmul = p.idmul + nt + 1;
  p.il = p.jdmul + lj;
  p.jl = p.il + nt + 1;
  p.iw1 = p.jl + lj;
  p.jw1 = p.iw1 + nt + 1;
  p.iw2 = p.jw1 + lj;
  p.jw2 = p.iw2 + nt + 1;
  p.iend = p.jw2 + lj;
  p.d = 0;
  p.z = p.d + 3 * nt;
  p.dinv = p.z + nt;
  p.dmul = p.dinv + 2 * nt;
  p.subx = p.dmul + lj;
  p.rl = p.subx + nt;
  p.rw1 = p.rl + lj;
  p.rw2 = p.rw1 + lj;
  p.rend = p.rw2 + lj;
  return p;
}

// K as the lower triangle of order N in at most LJ entries.
bool structure_ok(IWORD n, const IWORD* ia, const IWORD* ja, IWORD lj) {
  const Vec1<const IWORD> IA(ia), JA(ja);
  if (IA(1) != 1) return false;
  for (IWORD i = 1; i <= n; ++i) {
    if (IA(i + 1) < IA(i)) return false;
    if (IA(i + 1) - 1 > lj) return false;
    for (IWORD k = IA(i); k < IA(i + 1); ++k)
      if (JA(k) < 1 || JA(k) > i) return false;
  }
  return true;
}

// LIST(1..N) strictly ascending within 1..MAX.
bool ascending(IWORD n, const IWORD* list, IWORD max) {
  for (IWORD k = 0; k < n; ++k) {
    if (list[k] < 1 || list[k] > max) return false;
    if (k > 0 && list[k] <= list[k - 1]) return false;
  }
  return true;
}

IWORD count_missing(IWORD n, const IWORD* list, IWORD m, const IWORD* other) {
  IWORD c = 0;
  for (IWORD i = 0; i < n; ++i) {
    bool found = false;
    for (IWORD j = 0; j < m && !found; ++j) found = other[j] == list[i];
    if (!found) ++c;
  }
  return c;
}

// One call of LESSLV: the arguments, the parts of the work arrays and one
// member function per named step.  run() reads as the algorithm.
struct LesSolve {
  // Arguments.
  IWORD MODE, N, NNZ, MINEQ, NFILL;
  IWORD *IA, *JA;
  double *A, *B;
  const double* BOLD;
  double* X;
  const IWORD *IRACTC, *IACOLD;
  IWORD& ISROW;
  IWORD LDC;
  double* CWORK;
  IWORD LRWLES;
  double* RWLES;
  IWORD LIWLES;
  IWORD* IWLES;
  IWORD &ISING, &IFAIL;

  LesState& st = g_les;
  const IWORD unit = nlpint(ORVK_NLPINT_KKTUNIT);
  const IWORD lvl = nlpint(ORVK_NLPINT_KKTLEVEL);
  double tstart = 0;
  double t_back = 0;  // start of the block-diagonal and back substitutions
  IWORD nactiv = 0, w7 = 0, w8 = 0;
  IWORD fail = 0;
  IWORD lj = 0, nt = 0;
  bool update = false;
  Parts p{};
  IWORD *ip = nullptr, *ichan = nullptr, *ix = nullptr, *ipvtsz = nullptr, *kradd = nullptr,
        *kadd = nullptr, *kdel = nullptr, *idinv = nullptr, *jdinv = nullptr, *idmul = nullptr,
        *jdmul = nullptr, *il = nullptr, *jl = nullptr, *iw1 = nullptr, *jw1 = nullptr,
        *iw2 = nullptr, *jw2 = nullptr;
  double *d = nullptr, *z = nullptr, *dinv = nullptr, *dmul = nullptr, *subx = nullptr,
         *rl = nullptr, *rw1 = nullptr, *rw2 = nullptr;
  IWORD* nblk = nullptr;  // word NBLOCK of ORVK_NLPINT
  IWORD* nd = nullptr;    // word NDWORD of ORVK_NLPINT
  IWORD blocks = 0;
  bool eliminate = true;

  void run();

 private:
  bool check_arguments();
  void decide_update();
  bool lay_out_work();
  void place_arrays();
  bool start_factors();
  bool eliminate_blocks();
  void permute_rhs();
  void forward_substitution();
  void block_diagonal_solve();
  bool back_substitution();
  void renumber_added_rows();
  void unpermute_and_finish();
};

void LesSolve::run() {
  for (int k = 1; k <= 6; ++k) nlprea(k) = 0.0;
  tstart = timer(st.t0);
  if (lvl >= 3) dump_si(unit, MODE, "RENTLE");
  nactiv = nlpint(ORVK_NLPINT_NACTIV);
  w7 = nlpint(ORVK_NLPINT_KKTLAST);
  w8 = nlpint(ORVK_NLPINT_NACTLAST);
  if (!check_arguments()) return;
  if (N == 0) return;
  decide_update();
  if (!lay_out_work()) return;
  place_arrays();
  if (!start_factors()) return;
  if (eliminate && !eliminate_blocks()) return;
  permute_rhs();
  forward_substitution();
  block_diagonal_solve();
  if (!back_substitution()) return;
  renumber_added_rows();
  unpermute_and_finish();
}

// Arguments.
bool LesSolve::check_arguments() {
  bool bad = N < 0 || MINEQ < 0 || NNZ < 0 || NFILL < 1 || __builtin_mul_overflow(NNZ, NFILL, &lj);
  if (!bad && N > 0)
    bad = nactiv < 0 || nactiv > N || nactiv > MINEQ || !structure_ok(N, IA, JA, lj);
  if (bad) {
    phase_line(unit, "*** INVALID KKT SYSTEM PASSED TO LESSLV ***");
    st.valid = false;
    IFAIL = 1;
    return false;
  }
  return true;
}

// An update needs the state of the previous call intact and consistent
// with the caller's words 7 and 8; otherwise the factorisation is fresh.
void LesSolve::decide_update() {
  update = MODE == 1 && st.valid && st.singular == 0 && MINEQ == st.mineq && N <= st.nt &&
           IA[N] - 1 <= st.lj && LIWLES >= st.iwtot && LRWLES >= st.rwtot &&
           w7 == st.last_n && w8 == st.last_nactiv && N - nactiv == st.nred && w8 >= 0 &&
           w8 <= MINEQ && ascending(nactiv, IRACTC, MINEQ) && ascending(w8, IACOLD, MINEQ);
  if (!update) return;
  const IWORD nadd = count_missing(nactiv, IRACTC, w8, IACOLD);
  const IWORD ndel = count_missing(w8, IACOLD, nactiv, IRACTC);
  const IWORD rows = ndel > 0 ? nactiv : nadd;
  if (rows > 0 && (CWORK == nullptr || LDC < rows)) update = false;
  // The update keeps the fill room of the last fresh factorisation.  It
  // holds the rows of L kept, the multipliers of the ROWS bordered rows
  // over the NK kept positions and the factor of their dense Schur block;
  // when that may not fit, the factorisation starts afresh, with room
  // taken from the KKT matrix as it now stands.
  if (update && rows > 0) {
    const Parts q = partition(st.nt, st.mineq, st.lj);
    const IWORD nk = ndel > 0 ? w7 - w8 : w7;
    const IWORD kept = IWLES[q.il + nk] - 1;
    IWORD border = 0, schur = 0, need = 0;
    update = nk >= 0 && kept >= 0 && w7 + rows <= st.lj &&
             !__builtin_mul_overflow(rows, nk, &border) &&
             !__builtin_mul_overflow(rows, rows + 1, &schur) &&
             !__builtin_add_overflow(kept + border, schur / 2, &need) && need <= st.lj;
  }
}

// Parts of the work arrays; a fresh factorisation resets the kept state and
// checks the lengths.  False when a work array is too short.
bool LesSolve::lay_out_work() {
  if (!update) {
    st.valid = false;
    st.nred = N - nactiv;
    ISROW = 0;
    ISING = 0;
    st.singular = 0;
    st.nt = N + MINEQ;
    st.lj = lj;
    st.mineq = MINEQ;
  }
  nt = st.nt;
  lj = st.lj;
  p = partition(nt, MINEQ, lj);
  if (update) return true;
  st.iwtot = p.iend + 1;
  st.rwtot = p.rend + 1;
  if (lvl >= 4) {
    size_pr(unit, nt, " IP");
    size_pr(unit, nt, " ICHAN");
    size_pr(unit, nt, " IX");
    size_pr(unit, nt, " IPVTSZ");
    size_pr(unit, MINEQ, " KRADD");
    size_pr(unit, MINEQ, " KADD");
    size_pr(unit, MINEQ, " KDEL");
    size_pr(unit, nt + 1, " IDINV");
    size_pr(unit, 2 * nt, " JDINV");
    size_pr(unit, nt + 1, " IDMUL");
    size_pr(unit, lj, " JDMUL");
    size_pr(unit, nt + 1, " IL");
    size_pr(unit, lj, " JL");
    size_pr(unit, nt + 1, " IW1");
    size_pr(unit, lj, " JW1");
    size_pr(unit, nt + 1, " IW2");
    size_pr(unit, lj, "JW2");
  }
  if (lvl >= 3) size_pr(unit, st.iwtot, "TOT-IWLES ");
  if (lvl >= 4) {
    size_pr(unit, 3 * nt, " D");
    size_pr(unit, nt, " Z");
    size_pr(unit, 2 * nt, " DINV");
    size_pr(unit, lj, " DMUL");
    size_pr(unit, nt, " SUBX");
    size_pr(unit, lj, " RL");
    size_pr(unit, lj, " RW1");
    size_pr(unit, lj, " RW2");
    size_pr(unit, st.rwtot, "TOT-RWLES ");
  }
  if (LIWLES < st.iwtot) {
    write_empty(unit);
    write_empty(unit);
    write_rec(unit, Rec().T(5).A("STORAGE FOR IWLES HAS TO BE INCREASED TO").I(st.iwtot, 7));
    IFAIL = 1;
    return false;
  }
  if (LRWLES < st.rwtot) {
    write_empty(unit);
    write_empty(unit);
    write_rec(unit, Rec().T(5).A("STORAGE FOR RWLES HAS TO BE INCREASED TO").I(st.rwtot, 7));
    IFAIL = 1;
    return false;
  }
  return true;
}

void LesSolve::place_arrays() {
  ip = IWLES + p.ip;
  ichan = IWLES + p.ichan;
  ix = IWLES + p.ix;
  ipvtsz = IWLES + p.ipvtsz;
  kradd = IWLES + p.kradd;
  kadd = IWLES + p.kadd;
  kdel = IWLES + p.kdel;
  idinv = IWLES + p.idinv;
  jdinv = IWLES + p.jdinv;
  idmul = IWLES + p.idmul;
  jdmul = IWLES + p.jdmul;
  il = IWLES + p.il;
  jl = IWLES + p.jl;
  iw1 = IWLES + p.iw1;
  jw1 = IWLES + p.jw1;
  iw2 = IWLES + p.iw2;
  jw2 = IWLES + p.jw2;
  d = RWLES + p.d;
  z = RWLES + p.z;
  dinv = RWLES + p.dinv;
  dmul = RWLES + p.dmul;
  subx = RWLES + p.subx;
  rl = RWLES + p.rl;
  rw1 = RWLES + p.rw1;
  rw2 = RWLES + p.rw2;
  nblk = &nlpint(ORVK_NLPINT_NBLOCK);
  nd = &nlpint(ORVK_NLPINT_NDWORD);
}

// A fresh start (identity order, empty L) or the update of the kept factors
// for the rows that left and entered the active set.  False on failure.
bool LesSolve::start_factors() {
  const Vec1<IWORD> IP(ip), IL(il);
  if (!update) {
    *nd = 0;
    st.n1x1 = st.n2x2 = 0;
    for (IWORD q = 1; q <= N; ++q) IP(q) = q;
    for (IWORD q = 1; q <= N + 1; ++q) IL(q) = 1;
    st.ncur = N;
    return true;
  }
  st.valid = false;  // the factors change from here on
  UPDAT(N, st.nred, IA, JA, A, ip, lj, il, jl, rl, d, iw1, jw1, rw1, B, BOLD, ipvtsz, IRACTC,
        IACOLD, st.nadd, st.ndel, st.n1x1, st.n2x2, kradd, kadd, kdel, LDC, CWORK, fail);
  if (fail != 0) {
    IFAIL = 1;
    return false;
  }
  blocks = *nblk;
  eliminate = st.nadd > 0;
  if (eliminate) st.ncur = st.nadd;
  return true;
}

// Elimination, one pivot block at a time.  False on failure or on a
// singular block.
bool LesSolve::eliminate_blocks() {
  const Vec1<const IWORD> IP(ip), KADD(kadd), IPVTSZ(ipvtsz);
  const int strategy = static_cast<std::int32_t>(static_cast<std::uint32_t>(
      nlpint(ORVK_NLPINT_PIVSTRAT)));
  for (;;) {
    st.irow = st.n1x1 + 2 * st.n2x2 + 1;
    st.kblk = blocks + 1;
    if (st.irow > N) break;
    if (lvl >= 4) phase_line(unit, "*** PROCESSING ROW AND COLUMN PERMUTATION ***");
    double ta = timer(st.t0);
    auto select = strategy == 3 ? PVTSE2 : strategy == 4 ? PVTSE3 : PVTSE1;
    select(st.ncur, st.nred, IA, JA, A, st.kblk, st.irow, ip, nt, ix, lj, il, jl, rl, d, ipvtsz,
           ichan, iw1, jw1, rw1, iw2, jw2, rw2, fail);
    double tb = timer(st.t0);
    if (fail != 0) {
      IFAIL = 1;
      return false;
    }
    nlprea(2) += tb - ta;
    if (lvl >= 3) dump_i(unit, N, ip, "IP");
    if (lvl >= 4) phase_line(unit, "*** PROCESSING NUMERICAL FACTORIZATION ***");
    ta = timer(st.t0);
    IWORD isrow = 0, sing = 0;
    BPLDLT(N, MINEQ, st.ncur, lj, IA, JA, A, st.irow, st.kblk, ichan, lj, il, jl, rl, 3 * nt, d,
           ipvtsz, iw1, jw1, rw1, iw2, jw2, rw2, 2 * nt, idmul, jdmul, dmul, idinv, jdinv, dinv,
           nt, ix, subx, isrow, sing, fail);
    if (fail != 0) {
      IFAIL = 1;
      return false;
    }
    if (sing != 0) {
      // Report the active row at the singular position, when it is one.
      st.singular = 1;
      IWORD row = IP(isrow);
      if (update && st.ndel == 0 && row > w7) row = st.nred + KADD(row - w7);
      ISROW = row > st.nred ? row - st.nred : isrow;
      ISING = 1;
      return false;
    }
    tb = timer(st.t0);
    nlprea(3) += tb - ta;
    if (IPVTSZ(st.kblk) == 2)
      st.n2x2 += 1;
    else
      st.n1x1 += 1;
    blocks = st.kblk;
  }
  *nblk = blocks;
  return true;
}

// Right-hand side in factorisation order (only the part new since the
// last call when updating).
void LesSolve::permute_rhs() {
  const Vec1<IWORD> IP(ip);
  const Vec1<double> Z(z), b(B);
  const IWORD ks = update ? w7 - st.ndel + 1 : 1;
  for (IWORD q = ks; q <= N; ++q) Z(q) = b(IP(q));
  for (IWORD q = ks; q <= N; ++q) b(q) = Z(q);
}

// Forward substitution L z = P b (unit diagonal entries skipped).
void LesSolve::forward_substitution() {
  const Vec1<const IWORD> IL(il), JL(jl);
  const Vec1<const double> RL(rl), b(B);
  const Vec1<double> Z(z);
  if (lvl >= 4) phase_line(unit, "*** PROCESSING FORWARD SUBSTITUATION ***");
  const double ta = timer(st.t0);
  for (IWORD q = 0; q < N; ++q) z[q] = 0.0;
  for (IWORD q = 1; q <= N; ++q) {
    double s = b(q);
    for (IWORD k = IL(q); k < IL(q + 1); ++k)
      if (JL(k) != q) s -= RL(k) * Z(JL(k));
    Z(q) = s;
  }
  const double tb = timer(st.t0);
  nlprea(4) = tb - ta;
}

// Block-diagonal solve; its timing runs on through the back substitution.
void LesSolve::block_diagonal_solve() {
  const Vec1<const IWORD> IPVTSZ(ipvtsz);
  const Vec1<const double> D(d), Z(z);
  const Vec1<double> x(X);
  if (lvl >= 4) phase_line(unit, "*** PROCESSING BACKWARD SUBSTITUATION ***");
  t_back = timer(st.t0);
  for (IWORD q = 0; q < N; ++q) X[q] = 0.0;
  *nd = 0;
  IWORD r = 0;
  for (IWORD m = 1; m <= *nblk && r < N; ++m) {
    if (IPVTSZ(m) == 2 && r + 2 <= N) {
      r += 2;
      *nd += 3;
      const double a = D(*nd - 2), b = D(*nd - 1), c = D(*nd);
      const qp_detail::Pivot2 piv(a, b, c);
      const double e[4] = {piv.e11, piv.e21, piv.e21, piv.e22};
      MTVMUL(2, 2, 0, e, r - 2, z, r - 2, X);
    } else {
      r += 1;
      *nd += 1;
      x(r) = Z(r) / D(*nd);
    }
  }
  if (lvl >= 4) dump_r(unit, N, X, "DINV*Z");
}

// Back substitution L^T x = y, through the columns of L.  False on failure.
bool LesSolve::back_substitution() {
  const Vec1<const IWORD> IW1(iw1), JW1(jw1);
  const Vec1<const double> RW1(rw1);
  const Vec1<double> x(X);
  PERMU1(unit, 2, N, N, il, jl, rl, nullptr, lj, iw1, jw1, rw1, fail);
  if (fail != 0) {
    IFAIL = 1;
    return false;
  }
  for (IWORD c = N - 1; c >= 1; --c) {
    double s = x(c);
    for (IWORD k = IW1(c); k < IW1(c + 1); ++k)
      if (JW1(k) > c) s -= RW1(k) * x(JW1(k));
    x(c) = s;
  }
  const double tb = timer(st.t0);
  nlprea(5) = tb - t_back;
  return true;
}

// After additions the added rows carry provisional numbers: give every
// active position the row of its constraint in the new active list.
void LesSolve::renumber_added_rows() {
  const Vec1<const IWORD> iractc(IRACTC), iacold(IACOLD), KADD(kadd);
  const Vec1<IWORD> IX(ix), IP(ip);
  if (!(update && st.ndel == 0 && st.nadd > 0)) return;
  // IX(r) = rank in IRACTC of the old active constraint r.
  IWORD j = 0;
  for (IWORD q = 1; q <= w8; ++q) {
    while (j < nactiv && iractc(j + 1) < iacold(q)) ++j;
    IX(q) = j + 1;
  }
  for (IWORD q = st.nred + 1; q <= N; ++q) {
    const IWORD v = IP(q);
    if (v > w7)
      IP(q) = st.nred + KADD(v - w7);
    else if (v > st.nred)
      IP(q) = st.nred + IX(v - st.nred);
  }
}

// Back to the row order of K; the phase times and the state for the next call.
void LesSolve::unpermute_and_finish() {
  const Vec1<const IWORD> IP(ip);
  const Vec1<double> Z(z), x(X);
  for (IWORD q = N; q >= 1; --q) Z(IP(q)) = x(q);
  for (IWORD q = 0; q < N; ++q) X[q] = z[q];
  if (lvl >= 4) dump_r(unit, N, X, "X");

  const double tb = timer(st.t0);
  nlprea(1) = tb - tstart;
  if (lvl >= 4) {
    dump_sr(unit, nlprea(2), "PMUTA TIME");
    dump_sr(unit, nlprea(3), "BPLDL TIME");
    dump_sr(unit, nlprea(4), "FWARD TIME");
    dump_sr(unit, nlprea(5), "BWARD TIME");
    dump_sr(unit, nlprea(1), "LNSLV TIME");
  }
  st.valid = true;
  st.last_n = N;
  st.last_nactiv = nactiv;
}

}  // namespace

/* LESSLV: solves K x = b for the KKT matrix K of order N (lower triangle
 * with the diagonal in compressed rows) by P K P^T = L D L^T, D with 1x1 and
 * 2x2 blocks, the pivot rule chosen by word 9 of ORVK_NLPINT.
 *   MODE    in      0 factorise afresh; 1 keep the factors of the previous
 *                   call and eliminate only the rows of newly active
 *                   constraints (a fresh factorisation is made instead when
 *                   the kept state does not describe the previous call)
 *   N, NNZ  in      order of K and its stored entries
 *   MEQ     in      not used
 *   MINEQ   in      number of inequality constraints (bound of every later
 *                   order: N + MINEQ)
 *   NFILL   in      room for L and each reduced matrix: NNZ*NFILL entries
 *   IA,JA,A in/out  K (N+1, NNZ*NFILL, NNZ*NFILL words); destroyed
 *   B       in/out  right-hand side (N); on return P b
 *   BOLD    in      B as returned by the previous call (MODE 1)
 *   X       out     solution (N)
 *   IRACTC  in      active constraints (word 4 of them), ascending
 *   IACOLD  in      the active list of the previous call (word 8 entries)
 *   ISROW   out     singular pivot: its active row number (position in
 *                   IRACTC) when it belongs to an active row, else its position
 *   LDC, CWORK      work of the update (LDC >= rows added, N columns)
 *   LRWLES, RWLES   real work, 7 NT + 4 LJ + 1 words (NT = N + MINEQ,
 *                   LJ = NNZ*NFILL)
 *   LIWLES, IWLES   integer work, 11 NT + 3 MINEQ + 4 LJ + 6 words
 *   ISING   out     1 on a singular pivot block
 *   IFAIL   in/out  set to 1 when a work array is too short or the
 *                   arguments are unusable; never cleared
 * Phase times go to ORVK_NLPREA words 1 to 5.  Cost: one sparse product and
 * sum per pivot block; the substitutions O(nnz(L)).
 * Reference: J. R. Bunch and L. Kaufman, Math. Comp. 31 (1977) 163-179. */
void LESSLV(IWORD MODE, IWORD N, IWORD NNZ, IWORD MEQ, IWORD MINEQ, IWORD NFILL, IWORD* IA,
            IWORD* JA, double* A, double* B, const double* BOLD, double* X, const IWORD* IRACTC,
            const IWORD* IACOLD, IWORD& ISROW, IWORD LDC, double* CWORK, IWORD LRWLES,
            double* RWLES, IWORD LIWLES, IWORD* IWLES, IWORD& ISING, IWORD& IFAIL) {
  (void)MEQ;
  LesSolve solve{MODE,   N,     NNZ,   MINEQ,  NFILL, IA,     JA,    A,     B,
                 BOLD,   X,     IRACTC, IACOLD, ISROW, LDC,    CWORK, LRWLES, RWLES,
                 LIWLES, IWLES, ISING, IFAIL};
  solve.run();
}

}  // namespace orvika
