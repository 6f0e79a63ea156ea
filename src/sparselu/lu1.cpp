// LU1SOL, LU1P1, LU1P2: method 1 of the sparse LU package, the row-wise
// factor-and-solve, and the elimination it shares with method 2.
//
// The rows are eliminated one at a time in the pivot order of the ordering
// stage with threshold pivoting inside each diagonal block; every step is
// applied to the right-hand sides at once and each block is back-substituted
// when its last row is done, so the upper factor of a block is overwritten by
// the next block and no factor is kept.
// Reference: I. S. Duff, A. M. Erisman, J. K. Reid, Direct Methods for Sparse
// Matrices, Oxford 1986 (row-by-row elimination with threshold pivoting).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "sparselu/lumethods.hpp"
#include "frame/wspan.hpp"

namespace orvika {

namespace {

constexpr double kTiny = 1e-30;

void msg_terminated(IWORD unit, std::string_view who) {
  sp_message(unit, SpLine().t("PROGRAM EXECUTION TERMINATED").tag(who));
}

// The ordering does not fit the matrix (a reused ordering on a changed
// pattern): a column outside 1..N or outside the block of its row.
void msg_misfit(IWORD unit, IWORD c, IWORD i, std::string_view who) {
  if (unit <= 0) return;
  sp_message(unit, SpLine().t("COLUMN ").i(c).t(" IN ROW ").i(i).t(" DOES NOT FIT THE ORDERING").tag(who),
             SpLine().t("THE PREVIOUS ORDERING MUST NOT BE USED"),
             SpLine().t("PROGRAM EXECUTION TERMINATED").tag(who));
}

void msg_not_perm(IWORD unit, std::string_view what, std::string_view who) {
  if (unit <= 0) return;
  sp_message(unit, SpLine().t(what).t(" IS NOT A PERMUTATION").tag(who),
             SpLine().t("THE PREVIOUS ORDERING MUST NOT BE USED"),
             SpLine().t("PROGRAM EXECUTION TERMINATED").tag(who));
}

// WVec::move for the short rows of LU1P1: an element loop rather than a
// library call per row, in the direction that never overwrites an element
// not yet copied.
template <class T>
void move_short(WVec<T> v, IWORD from, IWORD to, IWORD len) {
  if (to > from) {
    for (IWORD e = len - 1; e >= 0; --e) v(to + e) = v.get(from + e);
  } else if (to < from) {
    for (IWORD e = 0; e < len; ++e) v(to + e) = v.get(from + e);
  }
}

}  // namespace

bool lu_rhs_to_steps(IWORD N, IWORD MSGUNIT, IV IORN, RV B, IWORD NRHS, RV X, std::string_view who,
                     IWORD& IERR) {
  if (N < 1) return true;
  for (IWORD j = 1; j <= N; ++j) {
    const IWORD r = std::abs(IORN.get(j));
    if (r < 1 || r > N) {
      msg_not_perm(MSGUNIT, "ROW ORDER", who);
      IERR = kSpOrderBad;
      return false;
    }
  }
  for (IWORD j = 1; j <= N; ++j) X(j) = B.get(std::abs(IORN.get(j)));
  for (IWORD j = 1; j <= N; ++j) B(j) = X.get(j);
  if (NRHS >= 2) {
    for (IWORD j = 1; j <= N; ++j) X(N + j) = B.get(N + std::abs(IORN.get(j)));
    for (IWORD j = 1; j <= N; ++j) B(N + j) = X.get(N + j);
  }
  return true;
}

void LU1SOL(IWORD N, IWORD MAXA, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI,
            RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W39, IV W40, IV W41,
            const ORVK_SPOPT2_T& SPOPT2, IV STEPC, IWORD& IERR) {
  if (!lu_rhs_to_steps(N, MSGUNIT, IORN, B, NRHS, X, "LU1SOL", IERR)) return;
  LU1P1(N, MAXA, MSGUNIT, IRP, ICI, IA, IORN, X.as<IWORD>(), IERR);
  if (IERR < 0) return;
  LU1P2(N, MAXA, PIVTL1, PIVTL2, MSGUNIT, IRP, ICI, IA, B, NRHS, X, IORN, W39, W40, W41, SPOPT2,
        STEPC, IERR);
}

void LU1P1(IWORD N, IWORD MAXA, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, IV IORN, IV IW, IWORD& IERR) {
  if (N < 1) {
    IRP(1) = MAXA + 1;
    return;
  }
  // The rows must lie inside 1..NZ <= MAXA, and IORN must be a (signed)
  // permutation: IW(r) = the step of row r.
  const IWORD nz = IRP.get(N + 1) - 1;
  if (nz < 0 || nz > MAXA || IRP.get(1) < 1 || MAXA > std::min(ICI.size(), IA.size())) {
    if (MSGUNIT > 0)
      sp_message(MSGUNIT, SpLine().t("NOT ENOUGH SPACE; MAXA TOO SMALL").tag("LU1P1"),
                 SpLine().t("PROGRAM EXECUTION TERMINATED").tag("LU1P1"));
    IERR = kSpNoRoom;
    return;
  }
  for (IWORD r = 1; r <= N; ++r) {
    const IWORD p = IRP.get(r);
    if (p < 1 || p > nz + 1) {
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t("ROW POINTER OF ROW ").i(r).t(" OUT OF RANGE").tag("LU1P1"),
                   SpLine().t("PROGRAM EXECUTION TERMINATED").tag("LU1P1"));
      IERR = kSpRowCount;
      return;
    }
  }
  for (IWORD r = 1; r <= N; ++r) IW(r) = 0;
  for (IWORD k = 1; k <= N; ++k) {
    const IWORD r = std::abs(IORN.get(k));
    if (r < 1 || r > N || IW.get(r) != 0) {
      msg_not_perm(MSGUNIT, "ROW ORDER", "LU1P1");
      IERR = kSpOrderBad;
      return;
    }
    IW(r) = k;
  }

  IWORD T = nz;  // highest position held by rows not yet moved
  IWORD P = MAXA;
  for (IWORD k = N; k >= 1; --k) {
    const IWORD r = std::abs(IORN.get(k));
    const IWORD L = IRP.get(r + 1) - IRP.get(r);
    if (L <= 0) {
      if (MSGUNIT != 0)
        sp_message(MSGUNIT, SpLine().t("ROW ").i(r).t(" IS EMPTY (LU1P1)"),
                   SpLine().t("SHOULD HAVE BEEN FIXED BY DATA CHECKING ROUTINES"),
                   SpLine().t("PROGRAM EXECUTION TERMINATED").tag("LU1P1"));
      IERR = kSpEmptyRow;
      return;
    }
    P -= L;
    if (P < T) {
      // Compact the rows not yet moved to the bottom of the area.
      IWORD Q = 1;
      IWORD start = IRP.get(1);
      for (IWORD r2 = 1; r2 <= N; ++r2) {
        const IWORD next = IRP.get(r2 + 1);
        const IWORD len = next - start;
        IRP(r2) = Q;
        if (IW.get(r2) <= k && len > 0) {
          ICI.move(start, Q, len);
          IA.move(start, Q, len);
          Q += len;
        }
        start = next;
      }
      IRP(N + 1) = Q;
      T = Q - 1;
    }
    const IWORD from = IRP.get(r);
    move_short(ICI, from, P + 1, L);
    move_short(IA, from, P + 1, L);
    IORN(k) = IORN.get(k) < 0 ? -L : L;
  }
  IWORD S = MAXA + 1;
  for (IWORD k = N; k >= 1; --k) {
    const IWORD o = IORN.get(k);
    S -= std::abs(o);
    IRP(k) = o < 0 ? -S : S;
  }
  IRP(N + 1) = MAXA + 1;
}

void LU1P2(IWORD N, IWORD MAXA, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI,
           RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W39, IV W40, IV W41,
           const ORVK_SPOPT2_T& SPOPT2, IV STEPC, IWORD& IERR) {
  lu_rows(N, PIVTL1, PIVTL2, MSGUNIT, IRP, ICI, IA, B, NRHS, X, IORN, W39, W40, W41,
          SPOPT2.CHKMODE, STEPC, nullptr, IERR);
}

namespace {

// Column C of the working row to the upper row: a nonzero X(C) goes to
// position P as X(C)*G (the division by the pivot), and X(C) and the list
// word IORN(C) are cleared.
inline void put_upper(WSpan<double> x, WSpan<IWORD> iorn, WSpan<IWORD> ici, WSpan<double> ia,
                      IWORD c, double g, IWORD& P) {
  const double a = x[c];
  if (a != 0.0) {
    ici.set(P, c);
    ia.set(P, a * g);
    ++P;
  }
  x.set(c, 0.0);
  iorn.set(c, 0);
}

// X(c) := X(c) - F*U for the entries (c, U) at positions UB..UE-1 of an
// upper row.  Its columns are distinct, so four updates are loaded before
// any is stored and they overlap; each is the same operation as one by one.
inline void row_update(WSpan<double> x, WSpan<IWORD> ici, WSpan<double> ia, double f, IWORD ub,
                       IWORD ue) {
  IWORD k = ub;
  for (; k + 3 < ue; k += 4) {
    const IWORD c0 = ici[k], c1 = ici[k + 1], c2 = ici[k + 2], c3 = ici[k + 3];
    const double v0 = x[c0] - f * ia[k];
    const double v1 = x[c1] - f * ia[k + 1];
    const double v2 = x[c2] - f * ia[k + 2];
    const double v3 = x[c3] - f * ia[k + 3];
    x.set(c0, v0);
    x.set(c1, v1);
    x.set(c2, v2);
    x.set(c3, v3);
  }
  for (; k < ue; ++k) {
    const IWORD c = ici[k];
    x.set(c, x[c] - f * ia[k]);
  }
}

// The row elimination of methods 1 and 2 (LU1P2, LU2P2) as one call state
// with a member for each step.
//
// The work row is X (dense, by column) with a list of its columns sorted by
// step, linked through IORN: IORN(N+1) is the head, the last column links to
// N+1, whose step W39(N+1) = N+1 is larger than every step; a column is in
// the list exactly when its link is not 0.
class RowElim {
 public:
  RowElim(IWORD N, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, RV B,
          IWORD NRHS, RV X, IV IORN, IV W39, IV W40, IV W41, IWORD CHKMODE, IV STEPC,
          LuKeep* KEEP, IWORD& IERR)
      : N_(N), PIVTL1_(PIVTL1), PIVTL2_(PIVTL2), unit_(MSGUNIT), IRP_(IRP), ICI_(ICI), IA_(IA),
        B_(B), X_(X), IORN_(IORN), W39_(W39), W40_(W40), W41_(W41), chk_(CHKMODE), STEPC_(STEPC),
        keep_(KEEP), IERR_(IERR), who_(KEEP ? "LU2P2" : "LU1P2"), END_(N + 1), two_(NRHS >= 2),
        w42_(KEEP ? KEEP->W42 : IV()), w26_(KEEP ? KEEP->W26 : RV()),
        lowmax_(KEEP ? KEEP->LOWMAX : 0), rec_(KEEP ? KEEP->REC : nullptr), rtop_(lowmax_ - 1),
        floor_(lowmax_) {}

  void run();

 private:
  // Checksum of the record words LO..HI (four interleaved FNV-1a lanes, so
  // that the pass runs at the speed of the loads).
  static std::uint64_t record_sum(IV w42, IWORD lo, IWORD hi);

  void fix_tolerances();
  bool check_column_order();
  void start_record();
  void find_block_end(IWORD i);
  bool replay_row(IWORD i, IWORD first, IWORD E);
  bool eliminate_row(IWORD i, IWORD first, IWORD E);
  void back_substitute_block(IWORD i);
  bool save_block(IWORD i);
  void unscramble_and_verdict();

  // The record of the eliminations.
  void drop_record() {
    recording_ = false;
    floor_ = lowmax_;
  }
  void rec_put(IWORD v) {
    if (!recording_) return;
    if (wp_ < PL_) return drop_record();
    w42_(wp_) = v;
    floor_ = wp_;
    --wp_;
  }
  // L entry (c, v) at PL; false (and -9) when LOWMAX is reached.
  bool store_l(IWORD i, IWORD c, double v) {
    if (PL_ >= lowmax_) {
      fail_room_l(i);
      return false;
    }
    if (PL_ >= floor_) drop_record();  // the L rows need the record's room
    w42_(PL_) = c;
    w26_(PL_) = v;
    ++PL_;
    return true;
  }
  void finish() {
    if (keep_) keep_->W32(END_) = PL_;
  }

  // Failures and their messages.
  void fail_room_l(IWORD i);
  void fail_room(IWORD i);
  void msg_singular(IWORD i);

  // The call's arguments.
  const IWORD N_;
  double& PIVTL1_;
  double& PIVTL2_;
  const IWORD unit_;
  const IV IRP_, ICI_;
  const RV IA_, B_, X_;
  const IV IORN_, W39_, W40_, W41_;
  const IWORD chk_;
  const IV STEPC_;
  LuKeep* const keep_;
  IWORD& IERR_;
  const std::string_view who_;
  const IWORD END_;  // list anchor and sentinel
  const bool two_;
  double tol1_ = 0.0, tol2_ = 0.0;

  // The elimination's position.
  IWORD s0_ = 1;           // first step of the current block
  IWORD bend_ = 0;         // last step of the current block
  IWORD P_ = 1;            // next write position of the U rows
  // Method 2: the L rows and the block saves.
  const IV w42_;           // the L arrays held here rather than read through KEEP
  const RV w26_;
  const IWORD lowmax_;
  IWORD PL_ = 1;           // next free position of the L rows
  IWORD H_ = 0;            // U entries saved for earlier blocks
  bool in_place_ = false;  // the saves are full: blocks stay in IRP/ICI/IA
  // The record of the eliminations (method 2; see LuRecord).
  LuRecord* const rec_;
  const IWORD rtop_;       // the start map at RTOP, RTOP-1, ..., the rows below
  bool recording_ = false;
  bool clean_ = true;      // no repair
  bool replaying_ = false;
  IWORD wp_ = 0;           // next record position written
  IWORD rp_ = 0;           // next record position read (replay)
  IWORD floor_;            // lowest position holding live record words
  bool resort_ = false;     // the record's rows are replayed from the map it ended with
  bool resigned_ = false;   // a replayed row's record signs were brought up to date
};

void RowElim::fail_room_l(IWORD i) {
  if (unit_ > 0)
    sp_message(unit_, SpLine().t("ELIMINATION TERMINATED AT ROW ").i(i).t(" BECAUSE NOT "),
               SpLine().t("ENOUGH SPACE FOR L-MATRIX; LOWMAX TOO SMALL (LU2P2)"),
               SpLine().t("PROGRAM EXECUTION TERMINATED (LU2P2)"));
  IERR_ = kSpNoRoomL;
}

void RowElim::fail_room(IWORD i) {
  if (unit_ > 0) {
    if (keep_)
      sp_message(unit_, SpLine().t("ELIMINATION TERMINATED AT ROW ").i(i).t(" BECAUSE NOT "),
                 SpLine().t("ENOUGH SPACE; MAXA TOO SMALL").tag(who_),
                 SpLine().t("PROGRAM EXECUTION TERMINATED").tag(who_));
    else
      sp_message(unit_, SpLine().t("ELIMINATION TERMINATED AT ROW ").i(i).t(" BECAUSE NOT"),
                 SpLine().t("ENOUGH SPACE; MAXA TOO SMALL  (LU1P2) "),
                 SpLine().t("PROGRAM EXECUTION TERMINATED").tag(who_));
  }
  IERR_ = kSpNoRoom;
}

void RowElim::msg_singular(IWORD i) {
  SpLine l;
  l.t("MATRIX IS NUMERICALLY SINGULAR AT ROW ").i(i);
  if (keep_)
    l.t("  (LU2P2) ");
  else
    l.tag(who_);
  sp_message(unit_, l);
}

// Tolerances: 0 < PIVTL1 <= PIVTL2 <= 0.999 (NaN counts as out of range),
// stored back in the caller's words.
void RowElim::fix_tolerances() {
  double& t1 = PIVTL1_;
  double& t2 = PIVTL2_;
  if (!(t1 > 0.0 && t1 <= 1.0)) t1 = 0.005;
  if (t1 > 0.999) t1 = 0.999;
  if (!(t2 >= t1)) t2 = t1;
  if (t2 > 0.999) t2 = 0.999;
  tol1_ = t1;
  tol2_ = t2;
}

// Step-to-column map STEPC; W39 must be a permutation.
bool RowElim::check_column_order() {
  const IWORD N = N_;
  for (IWORD k = 1; k <= N; ++k) STEPC_(k) = 0;
  for (IWORD c = 1; c <= N; ++c) {
    const IWORD p = W39_.get(c);
    if (p < 1 || p > N || STEPC_.get(p) != 0) {
      msg_not_perm(unit_, "COLUMN ORDER", who_);
      IERR_ = kSpOrderBad;
      return false;
    }
    STEPC_(p) = c;
  }
  return true;
}

std::uint64_t RowElim::record_sum(IV w42, IWORD lo, IWORD hi) {
  constexpr std::uint64_t kSeed = 1469598103934665603ULL, kMul = 1099511628211ULL;
  std::uint64_t h[4] = {kSeed, kSeed + 1, kSeed + 2, kSeed + 3};
  if (hi < lo) return h[0];
  const WSpan<IWORD> w = span(w42, lo, hi - lo + 1);
  IWORD e = lo;
  for (; e + 3 <= hi; e += 4)
    for (int j = 0; j < 4; ++j) h[j] = (h[j] ^ static_cast<std::uint64_t>(w[e + j])) * kMul;
  for (; e <= hi; ++e) h[0] = (h[0] ^ static_cast<std::uint64_t>(w[e])) * kMul;
  std::uint64_t r = static_cast<std::uint64_t>(hi - lo + 1);
  for (int j = 0; j < 4; ++j) r = (r ^ h[j]) * kMul;
  return r;
}

// A record left by the last call is replayed when it is intact (its
// checksum) and was made from this very start map, or when the start map
// is the map that factorisation ended with (its pivot exchanges kept, as a
// caller without the restore finds them): then every row is replayed with
// the pivot it had, and its columns of later steps are put in the order of
// the new map as the row is replayed.  Otherwise the start map is recorded
// for the next call.
void RowElim::start_record() {
  if (rec_) {
    rec_->out = false;
    rec_->replayed = 0;
  }
  const IWORD N = N_;
  recording_ = rec_ != nullptr && rtop_ - N - 3 >= 1;
  if (!recording_) return;
  const IV w42 = w42_;
  const IWORD lo = rec_->in_lo;
  bool ok = rec_->in && lo >= 1 && lo <= rtop_ - N;
  bool same = ok, ended = ok;  // the start map, or the end map, of the record
  for (IWORD c = 1; c <= N && same; ++c) same = w42.get(rtop_ - c + 1) == W39_.get(c);
  IWORD pos = rtop_ - N;
  for (IWORD i = 1; i <= N && ok; ++i) {
    const IWORD k = pos - 2 >= lo ? w42.get(pos) : 0;
    const IWORD ne = k >= 1 ? w42.get(pos - 1) : -1;
    if (k < 1 || k > N || ne < 0 || ne >= k || pos - 2 - k < lo) {
      ok = false;
      break;
    }
    if (!same && ended) {
      const IWORD pv = std::abs(w42.get(pos - 2));
      ended = pv >= 1 && pv <= N && W39_.get(pv) == i;
    }
    pos -= 3 + k;
  }
  ok = ok && pos + 1 == lo && (same || ended) && record_sum(w42, lo, rtop_ - N) == rec_->in_sum;
  if (ok) {
    replaying_ = true;
    resort_ = !same;
    rp_ = rtop_ - N;
    floor_ = lo;
    if (resort_)
      for (IWORD c = 1; c <= N; ++c) w42(rtop_ - c + 1) = W39_.get(c);
  } else {
    for (IWORD c = 1; c <= N; ++c) w42(rtop_ - c + 1) = W39_.get(c);
    wp_ = rtop_ - N;
    floor_ = wp_ + 1;
  }
}

// The block of step I ends at the next marked step (or N).
void RowElim::find_block_end(IWORD i) {
  bend_ = N_;
  for (IWORD k = i; k < N_; ++k)
    if (IRP_.get(k) < 0) {
      bend_ = k;
      break;
    }
}

// Row I replayed from the record at RP: the columns of the row marked
// (IORN = 1), the row scattered (a column outside the marks, or met twice,
// ends the replay), the recorded columns of earlier steps eliminated in the
// recorded order (an exact-zero multiplier ends it), the pivot chosen
// exactly as the elimination chooses it (another pivot than the recorded
// one, or an exact zero left in the row, ends it) and the upper row written
// in the order of the list the elimination would hold.  Each multiplier's
// update touches only the row's recorded columns: the record of a row holds
// every column that the upper rows it meets carry.  False: nothing of the
// row is kept (X, IORN, PL as at its start), and the plain elimination
// takes the row.
//
// The loops run over unchecked spans: the work row, its links and the
// maps (1..N+1), the right-hand sides, the factor area up to the row's last
// position E (which holds the block's upper rows below the row), the row's
// record and the L positions below the record's floor.
bool RowElim::replay_row(IWORD i, IWORD first, IWORD E) {
  const IWORD N = N_;
  const bool two = two_;
  const IWORD h0 = rp_;
  if (h0 - 2 < floor_) return false;
  const IWORD k = w42_.get(h0), nE = w42_.get(h0 - 1), pvs = w42_.get(h0 - 2);
  if (k < 1 || k > N || nE < 0 || nE >= k || h0 - 2 - k < floor_) return false;
  // A row whose record met an exact zero (negative pivot word) has each
  // column it reaches checked against the record.
  const bool checked = pvs < 0;
  const IWORD pv = checked ? -pvs : pvs;
  const IWORD e0 = h0 - 3;  // entry j (0-based) at E0 - j
  const WSpan<IWORD> rw = span(w42_, e0 - k + 1, k);
  const WSpan<IWORD> iorn = span(IORN_, 1, N + 1), w39 = span(W39_, 1, N + 1);
  const WSpan<double> x = span(X_, 1, N), b = span(B_, 1, two ? 2 * N : N);
  const WSpan<IWORD> ici = span(ICI_, 1, E);
  const WSpan<double> ia = span(IA_, 1, E);
  const IWORD PL0 = PL_;
  const IWORD lim = std::min(lowmax_, floor_);
  const IWORD nl = std::max<IWORD>(lim - PL0, 0);  // L positions PL0..LIM-1
  const WSpan<IWORD> lc = span(w42_, PL0, nl);
  const WSpan<double> lv = span(w26_, PL0, nl);
  // Marks the recorded columns; on failure the marks and the work row are
  // cleared (entries 0..MARKED-1) and PL is put back.
  IWORD marked = 0;
  IWORD PL = PL0;
  bool ok = true;
  for (; marked < k; ++marked) {
    const IWORD c = std::abs(rw[e0 - marked]);
    if (c < 1 || c > N || iorn[c] != 0) {
      ok = false;
      break;
    }
    iorn.set(c, 1);
  }
  double bi = b[i];
  double bi2 = two ? b[N + i] : 0.0;
  for (IWORD kk = first; ok && kk <= E; ++kk) {
    const IWORD c = ici[kk];
    const double a = ia[kk];
    if (c < 1 || c > N) {
      ok = false;
      break;
    }
    const IWORD p = w39[c];
    if (p < s0_) {
      if (PL >= lim) {
        ok = false;
        break;
      }
      lc.set(PL, c);
      lv.set(PL, a);
      ++PL;
      bi = bi - a * b[p];
      if (two) bi2 = bi2 - a * b[N + p];
    } else if (p > bend_ || iorn[c] != 1) {
      ok = false;
    } else {
      iorn.set(c, 2);
      x.set(c, a);
    }
  }
  const IWORD PLm = PL;  // the multipliers' L positions PLm..PLm+nE-1
  for (IWORD j = 0; ok && j < nE; ++j) {
    const IWORD c = std::abs(rw[e0 - j]);
    const IWORD p = w39[c];
    const double f = x[c];
    if (p < s0_ || p >= i || PL >= lim || (checked ? iorn[c] != 2 : f == 0.0)) {
      ok = false;
      break;
    }
    x.set(c, 0.0);
    iorn.set(c, 0);
    lc.set(PL, c);
    lv.set(PL, f);
    ++PL;
    bi = bi - f * b[p];
    if (two) bi2 = bi2 - f * b[N + p];
    if (f == 0.0) continue;
    const IWORD ue = IRP_.get(p + 1);
    if (checked) {
      for (IWORD kk = IRP_.get(p); kk < ue; ++kk) {
        const IWORD c2 = ici[kk];
        if (iorn[c2] == 0) {
          ok = false;
          break;
        }
        iorn.set(c2, 2);
        x.set(c2, x[c2] - f * ia[kk]);
      }
    } else {
      row_update(x, ici, ia, f, IRP_.get(p), ue);
    }
  }
  // The remaining columns: count, largest magnitude, the pivot.
  if (ok && checked)
    for (IWORD j = nE; j < k; ++j)
      if (iorn[std::abs(rw[e0 - j])] != 2) {
        ok = false;
        break;
      }
  const IWORD nS = k - nE;
  double m = 0.0;
  bool finite = true;
  if (ok)
    for (IWORD j = nE; j < k; ++j) {
      const double a = std::fabs(x[std::abs(rw[e0 - j])]);
      if (a > m)
        m = a;
      else if (!(a <= m))
        finite = false;
    }
  if (ok && (!finite || !std::isfinite(m) || !(m > kTiny) || P_ + nS - 1 > E || PL >= lim)) ok = false;
  const IWORD q = STEPC_.get(i);
  const IWORD head = std::abs(rw[e0 - nE]);
  IWORD piv = 0;
  if (ok && resort_) {
    // Replayed from the map the record ended with: the recorded pivot
    // holds step I, heads the list and must pass the first test.
    if (std::fabs(x[pv]) > tol1_ * m) piv = pv;
  } else if (ok) {
    if (q == head && std::fabs(x[q]) > tol1_ * m) {
      piv = q;
    } else {
      const double lim2 = tol2_ * m;
      IWORD j = nE;
      while (j < k && !(std::fabs(x[std::abs(rw[e0 - j])]) > lim2)) ++j;
      if (j == k)
        ok = false;
      else
        piv = std::abs(rw[e0 - j]);
    }
  }
  if (ok && piv != pv) ok = false;
  // Exact zeros left in the row where the record has them, and only there
  // (the upper rows keep the columns the record of later rows holds).
  if (ok)
    for (IWORD j = nE; j < k; ++j) {
      const IWORD raw = rw[e0 - j];
      const IWORD c = std::abs(raw);
      if (c != piv && (x[c] == 0.0) != (raw < 0)) {
        ok = false;
        break;
      }
    }
  if (!ok) {
    for (IWORD j = 0; j < marked; ++j) {
      const IWORD c = std::abs(rw[e0 - j]);
      iorn.set(c, 0);
      x.set(c, 0.0);
    }
    return false;
  }
  // The row holds.  A checked row's record is brought to what the
  // elimination records for it now: the sign of each multiplier's column
  // (negative for an exact zero) and of the pivot word (negative when the
  // row met any exact zero).
  if (checked) {
    bool zero = false;
    for (IWORD j = 0; j < nE; ++j) {
      const IWORD c = std::abs(rw[e0 - j]);
      const bool z = lv[PLm + j] == 0.0;
      const IWORD v = z ? -c : c;
      resigned_ = resigned_ || v != rw[e0 - j];
      rw.set(e0 - j, v);
      zero = zero || z;
    }
    for (IWORD j = nE; j < k && !zero; ++j) zero = rw[e0 - j] < 0;
    if (!zero) {
      resigned_ = true;
      w42_(h0 - 2) = pv;
    }
  }
  // Its columns of later steps in the order of the map (the pivot first),
  // pivot exchange, pivot, right-hand sides, upper row.
  if (resort_)
    for (IWORD j = nE + 1; j < k; ++j) {
      const IWORD v = rw[e0 - j];
      const IWORD key = w39[std::abs(v)];
      IWORD t = j;
      for (; t > nE && w39[std::abs(rw[e0 - t + 1])] > key; --t) rw.set(e0 - t, rw[e0 - t + 1]);
      rw.set(e0 - t, v);
    }
  if (piv != q) {
    const IWORD pc = w39[piv];
    w39.set(q, pc);
    w39.set(piv, i);
    STEPC_(pc) = q;
    STEPC_(i) = piv;
  }
  const double v = x[piv];
  const double g = 1.0 / v;
  x.set(piv, 0.0);
  iorn.set(piv, 0);
  lc.set(PL, piv);
  lv.set(PL, v);
  ++PL;
  PL_ = PL;
  b.set(i, bi * g);
  if (two) b.set(N + i, bi2 * g);
  // The list order: the pivot taken out; the assigned column, when it is
  // listed and is not the pivot, takes the pivot's place.  The room test
  // above keeps the upper row inside the row's own positions.
  const bool moved = piv != q && head == q && !resort_;
  IWORD P = P_;
  for (IWORD j = nE; j < k; ++j) {
    IWORD c = std::abs(rw[e0 - j]);
    if (c == piv) {
      if (!moved) continue;
      c = q;
    } else if (moved && c == q) {
      continue;
    }
    put_upper(x, iorn, ici, ia, c, g, P);
  }
  P_ = P;
  iorn.set(N + 1, N + 1);  // the list left empty, as the elimination leaves it
  rp_ = e0 - k;
  ++rec_->replayed;
  return true;
}

namespace {

// Inserts column C (not in the list) at its place by step P in the list
// linked through IORN (anchor END); the search starts at LAST, the column
// inserted last, when C comes after it.
inline void list_insert(WSpan<IWORD> iorn, WSpan<IWORD> w39, IWORD END, IWORD& last, IWORD c, IWORD p) {
  IWORD prev = END;
  if (last != 0 && iorn[last] != 0 && w39[last] < p) prev = last;
  IWORD nxt = iorn[prev];
  while (w39[nxt] < p) {
    prev = nxt;
    nxt = iorn[prev];
  }
  iorn.set(c, nxt);
  iorn.set(prev, c);
  last = c;
}

}  // namespace

// Row I by the plain elimination (recorded when a record is being made):
// scatter, elimination of the columns of earlier steps, singularity test
// and repair, pivot choice, upper row.  False: the call fails (IERR set).
// The loops run over unchecked spans as in the replay.
bool RowElim::eliminate_row(IWORD i, IWORD first, IWORD E) {
  const IWORD N = N_, END = END_;
  const bool two = two_;
  const WSpan<IWORD> iorn = span(IORN_, 1, N + 1), w39 = span(W39_, 1, N + 1);
  const WSpan<double> x = span(X_, 1, N), b = span(B_, 1, two ? 2 * N : N);
  const WSpan<IWORD> ici = span(ICI_, 1, E);
  const WSpan<double> ia = span(IA_, 1, E);
  iorn.set(END, END);
  IWORD last = 0;  // most recently inserted column
  const IWORD h0 = wp_;  // the row's record: three header words, then its columns
  IWORD nE = 0;
  bool zero_met = false;  // an exact-zero multiplier or entry in the row
  rec_put(0);
  rec_put(0);
  rec_put(0);

  // Scatter the row.
  double bi = b[i];
  double bi2 = two ? b[N + i] : 0.0;
  for (IWORD k = first; k <= E; ++k) {
    const IWORD c = ici[k];
    const double a = ia[k];
    if (c < 1 || c > N) {
      msg_misfit(unit_, c, i, who_);
      IERR_ = kSpOrderBad;
      return false;
    }
    const IWORD p = w39[c];
    if (p < s0_) {
      if (keep_ && !store_l(i, c, a)) return false;
      bi = bi - a * b[p];
      if (two) bi2 = bi2 - a * b[N + p];
    } else if (p > bend_) {
      msg_misfit(unit_, c, i, who_);
      IERR_ = kSpOrderBad;
      return false;
    } else {
      if (iorn[c] != 0) {
        if (unit_ > 0)
          sp_message(unit_, SpLine().t("DUPLICATE INDEX ").i(c).t(" IN ROW ").i(i).tag(who_),
                     SpLine().t("SHOULD HAVE BEEN FIXED BY DATA CHECKING ROUTINES"),
                     SpLine().t("PROGRAM EXECUTION TERMINATED").tag(who_));
        IERR_ = kSpRepeated;
        return false;
      }
      list_insert(iorn, w39, END, last, c, p);
      x.set(c, a);
    }
  }

  // Eliminate the columns of earlier steps, in ascending step order.
  for (;;) {
    const IWORD c = iorn[END];
    const IWORD p = w39[c];
    if (p >= i) break;
    const double f = x[c];
    iorn.set(END, iorn[c]);
    iorn.set(c, 0);
    x.set(c, 0.0);
    if (keep_ && !store_l(i, c, f)) return false;
    rec_put(f == 0.0 ? -c : c);
    ++nE;
    if (f == 0.0) zero_met = true;
    bi = bi - f * b[p];
    if (two) bi2 = bi2 - f * b[N + p];
    if (f != 0.0) {
      // The fill enters the list first; then the update, four distinct
      // columns at a time as in the replay.
      const IWORD ub = IRP_.get(p), ue = IRP_.get(p + 1);
      for (IWORD k = ub; k < ue; ++k) {
        const IWORD c2 = ici[k];
        if (iorn[c2] == 0) list_insert(iorn, w39, END, last, c2, w39[c2]);
      }
      row_update(x, ici, ia, f, ub, ue);
    }
  }

  const IWORD head = iorn[END];
  if (head == END) {
    if (unit_ > 0) {
      if (keep_) {
        sp_message(unit_, SpLine().t("COLUMN INDEX ").i(N + 1).t(" GREATER THAN NUMBER OF COLUMNS "),
                   SpLine().i(N).t(" IN ROW ").i(i).tag(who_),
                   SpLine().t("SHOULD HAVE BEEN FIXED BY DATA CHECKING ROUTINES"),
                   SpLine().t("PROGRAM EXECUTION TERMINATED").tag(who_));
      } else {
        sp_message(unit_, SpLine()
                              .t("ZERO PIVOT FOUND FOR ROW ")
                              .i(i)
                              .t(", MATRIX IS NUMERICALLY SINGULAR")
                              .tag(who_));
        msg_terminated(unit_, who_);
      }
    }
    IERR_ = keep_ ? kSpColHigh : kSpNumSing;
    return false;
  }

  // Count, largest magnitude (and the column attaining it).
  IWORD L = 0;
  double m = 0.0;
  bool finite = true;
  IWORD cmax = head, pmax = END;
  for (IWORD prev = END, c = head; c != END; prev = c, c = iorn[c]) {
    ++L;
    const bool z = x[c] == 0.0;
    rec_put(z ? -c : c);
    if (z) zero_met = true;
    const double a = std::fabs(x[c]);
    if (a > m) {
      m = a;
      cmax = c;
      pmax = prev;
    } else if (!(a <= m)) {
      finite = false;
    }
  }
  if (!finite || !std::isfinite(m)) {
    // A non-finite candidate gives no usable pivot.
    if (unit_ > 0) {
      msg_singular(i);
      msg_terminated(unit_, who_);
    }
    IERR_ = kSpNumSing;
    return false;
  }
  if (!(m > kTiny)) {
    if (chk_ == 1) {
      if (unit_ > 0) {
        msg_singular(i);
        msg_terminated(unit_, who_);
      }
      IERR_ = kSpNumSing;
      return false;
    }
    if (chk_ < 3 && unit_ > 0) msg_singular(i);
    IERR_ = kSpRepaired;
    clean_ = false;
    x.set(head, 1.0);
    bi = 0.0;
    bi2 = 0.0;
    W40_(i) = -1;
    W41_(head) = -1;
    m = 1.0;
    cmax = head;
    pmax = END;
  }

  // Pivot choice: the assigned column when it passes the first test, else
  // the first column in step order that passes the second.
  const IWORD q = STEPC_.get(i);
  IWORD piv;
  if (q == head && std::fabs(x[q]) > tol1_ * m) {
    piv = q;
    iorn.set(END, iorn[q]);
    iorn.set(q, 0);
  } else {
    IWORD prev = END, c = head;
    const double lim = tol2_ * m;
    while (c != END && !(std::fabs(x[c]) > lim)) {
      prev = c;
      c = iorn[c];
    }
    if (c == END) {  // unreachable with finite values; keeps the walk safe
      c = cmax;
      prev = pmax;
    }
    piv = c;
    const IWORD pc = w39[c];
    w39.set(q, pc);
    w39.set(c, i);
    STEPC_(pc) = q;
    STEPC_(i) = c;
    iorn.set(prev, iorn[c]);
    iorn.set(c, 0);
    // q, when listed, is the head; its new step is c's old one.
    if (iorn[q] != 0 && prev != q) {
      iorn.set(END, iorn[q]);
      iorn.set(q, iorn[prev]);
      iorn.set(prev, q);
    }
  }
  const double v = x[piv];
  const double g = 1.0 / v;
  x.set(piv, 0.0);
  if (keep_ && !store_l(i, piv, v)) return false;
  if (recording_) {
    const IWORD k = nE + L;
    w42_(h0) = k;
    w42_(h0 - 1) = nE;
    w42_(h0 - 2) = zero_met ? -piv : piv;
  }
  b.set(i, bi * g);
  if (two) b.set(N + i, bi2 * g);

  if (P_ + L - 1 > E) {
    fail_room(i);
    return false;
  }
  // U row i: the remaining columns in step order, divided by the pivot.
  IWORD P = P_;
  for (IWORD c = iorn[END]; c != END;) {
    const IWORD nxt = iorn[c];
    put_upper(x, iorn, ici, ia, c, g, P);
    c = nxt;
  }
  P_ = P;
  iorn.set(END, END);
  return true;
}

// Back substitution of the block that ends at step I, in step order from
// its second-last row up; the block's steps then hold their solution.  The
// block's upper rows lie below the write position P.
void RowElim::back_substitute_block(IWORD i) {
  const IWORD N = N_;
  const bool two = two_;
  const IWORD top = P_ - 1;
  if (i - 1 >= s0_) {
    const WSpan<IWORD> irp = span(IRP_, s0_, i - s0_ + 1), w39 = span(W39_, 1, N + 1);
    const WSpan<IWORD> ici = span(ICI_, 1, top);
    const WSpan<double> ia = span(IA_, 1, top), b = span(B_, 1, two ? 2 * N : N);
    for (IWORD r = i - 1; r >= s0_; --r) {
      const IWORD ue = irp[r + 1];
      double br = b[r];
      double br2 = two ? b[N + r] : 0.0;
      for (IWORD k = irp[r]; k < ue; ++k) {
        const IWORD p = w39[ici[k]];
        const double u = ia[k];
        br = br - u * b[p];
        if (two) br2 = br2 - u * b[N + p];
      }
      b.set(r, br);
      if (two) b.set(N + r, br2);
    }
  }
  s0_ = i + 1;
}

// Method 2: the finished block's upper rows are saved while the saves have
// room; from the first block that does not fit, the blocks stay where they
// are (W52 = -1) and the next block's rows follow them.  True: the next
// block writes from position 1 again.
bool RowElim::save_block(IWORD i) {
  if (!keep_) return true;
  const IWORD K = P_ - 1;
  if (!in_place_ && H_ + K > keep_->SAVECAP) in_place_ = true;
  if (in_place_) {
    keep_->W52(i) = -1;
    return false;
  }
  keep_->W52(i) = K;
  const RV w50 = keep_->W50;
  const IV w51 = keep_->W51;
  for (IWORD k = 1; k <= K; ++k) {
    w50(H_ + k) = IA_.get(k);
    w51(H_ + k) = ICI_.get(k);
  }
  H_ += K;
  return true;
}

// The solution by column number, the end of the U rows (method 2) and what
// the record left for the next call.
void RowElim::unscramble_and_verdict() {
  const IWORD N = N_;
  for (IWORD c = 1; c <= N; ++c) X_(c) = B_.get(W39_.get(c));
  if (two_)
    for (IWORD c = 1; c <= N; ++c) X_(N + c) = B_.get(N + W39_.get(c));
  if (keep_) IRP_(END_) = P_;
  if (rec_) {
    // A record replayed whole and unchanged keeps its checksum.
    rec_->out = recording_ && clean_;
    rec_->out_lo = floor_;
    rec_->out_sum = rec_->out && replaying_ && !resort_ && !resigned_ && rec_->replayed == N
                        ? rec_->in_sum
                        : rec_->out ? record_sum(w42_, floor_, rtop_ - N) : 0;
  }
}

void RowElim::run() {
  fix_tolerances();
  W39_(END_) = END_;
  if (N_ < 1) return;
  if (!check_column_order()) return;
  for (IWORD c = 1; c <= N_; ++c) X_(c) = 0.0;
  for (IWORD c = 1; c <= END_; ++c) IORN_(c) = 0;
  start_record();

  for (IWORD i = 1; i <= N_; ++i) {
    const IWORD raw = IRP_.get(i);
    const IWORD first = std::abs(raw);
    const IWORD E = std::abs(IRP_.get(i + 1)) - 1;
    if (i == s0_) find_block_end(i);
    if (E < first) {
      if (unit_ > 0)
        sp_message(unit_, SpLine().t("EMPTY ROW AT NEW ROW ").i(i),
                   SpLine().t("SHOULD HAVE BEEN FIXED BY DATA CHECKING ROUTINES"),
                   SpLine().t("PROGRAM EXECUTION TERMINATED").tag(who_));
      IERR_ = kSpEmptyRow;
      return finish();
    }
    const bool ends_block = raw < 0 || i == N_;
    IRP_(i) = P_;
    if (keep_) keep_->W32(i) = PL_;
    bool done = false;
    if (replaying_) {
      done = replay_row(i, first, E);
      if (!done) {  // the plain elimination from this row on, recorded afresh
        replaying_ = false;
        wp_ = rp_;
        floor_ = rp_ + 1;
      }
    }
    if (!done && !eliminate_row(i, first, E)) return finish();
    if (ends_block) {
      back_substitute_block(i);
      if (save_block(i)) P_ = 1;
    }
  }
  unscramble_and_verdict();
  finish();
}

}  // namespace

void lu_rows(IWORD N, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, RV B,
             IWORD NRHS, RV X, IV IORN, IV W39, IV W40, IV W41, IWORD CHKMODE, IV STEPC,
             LuKeep* KEEP, IWORD& IERR) {
  RowElim(N, PIVTL1, PIVTL2, MSGUNIT, IRP, ICI, IA, B, NRHS, X, IORN, W39, W40, W41, CHKMODE, STEPC,
          KEEP, IERR)
      .run();
}

}  // namespace orvika
