// ORVK_CONTRL: driver of the sparse LU package (checks, ordering, scaling,
// factor and solve, re-solve with kept factors).
#include <cmath>
#include <cstdint>

#include "sparselu/lumethods.hpp"
#include "sparselu/sparselu.hpp"
#include "frame/wspan.hpp"

namespace orvika {
namespace {

// Codes of the driver itself (all the package's codes are named in orvika/sparselu.h).
constexpr IWORD kCtlShort = ORVK_SP_WORK_BELOW_MIN;  // SPENDE below the minimum
constexpr IWORD kCtlIB = ORVK_SP_IB_NOT_ONE;          // IB not 1
constexpr IWORD kCtlOrder = ORVK_SP_POSITIONS_BAD;    // caller positions out of order or overlapping
constexpr IWORD kCtlNoPart = ORVK_SP_NO_PARTITION;    // no room for the partition

// The options of one call, read once at entry.  METHOD is normalised: any
// value other than 2-7 is method 1 everywhere (size, partition, save, dispatch).
struct Opts {
  IWORD chk, inpfrm, ordopt, method, sclopt, rstopt, iornin, unit, i4fac, nrhsmx, nrhs;
  bool scale() const { return sclopt == 1; }
  bool restore() const { return rstopt == 1; }
  bool rows_kept() const { return method == 1 || method == 2; }  // IRP/ICI/IA/IORN/W39 saved
};

Opts read_opts() {
  const ORVK_SPOPT2_T& o = ORVK_SPOPT2;
  Opts r{};
  r.chk = o.CHKMODE;
  r.inpfrm = o.INPFRM == 1 ? 1 : 2;
  r.ordopt = o.ORDOPT;
  r.method = (o.METHOD >= 2 && o.METHOD <= 7) ? o.METHOD : 1;
  r.sclopt = o.SCLOPT;
  r.rstopt = o.RSTOPT;
  r.iornin = o.IORNIN;
  r.unit = o.MSGUNIT;
  r.i4fac = o.I4FAC;
  r.nrhsmx = ORVK_SPOPT4.NRHSMX;
  r.nrhs = ORVK_SPOPT4.NRHS;
  return r;
}

// ---- what a call leaves for the next one ------------------------------------------

// The ordering and the kept factors that a call left in a work space, with
// the options and positions they belong to.  Reuse and re-solve calls are
// admitted only when their work space, order, options and positions match.
// The kKeptSlots most recently used work spaces are remembered, so that
// callers may interleave problems; a work space beyond them is refused
// (never solved with what it may no longer hold).  A call forgets what was
// kept for every work space that its own overlaps, since it writes there.
constexpr int kPosWords = 41;  // ORVK_SPOPT2 words 13-53
struct Kept {
  const void* ws = nullptr;
  IWORD spende = 0;  // length of the work space the layout was made in
  IWORD n = 0;
  IWORD nzpart = 0;  // entry count the partition was made for
  IWORD method = 0;  // normalised METHOD of the call that left the state
  IWORD sclopt = 0, rstopt = 0, nrhsmx = 0;
  IWORD pos[kPosWords] = {};
  bool ordering = false;  // IORN, W39, W18 hold the ordering of that call
  IWORD factors = 0;      // 2 or 5: factors of a successful call of that method
  // Method 2: a record of the row eliminations at the top of W42 (its lowest
  // position and checksum), for the next factorisation to replay.
  bool lurec = false;
  IWORD lurec_lo = 0;
  std::uint64_t lurec_sum = 0;
};
// Most recently used first; a slot with no work space is free.
constexpr int kKeptSlots = 64;
Kept g_kept[kKeptSlots];

void snapshot(IWORD* pos) {
  const IV w = spopt2_words(ORVK_SPOPT2);
  for (int k = 0; k < kPosWords; ++k) pos[k] = w(13 + k);
}
bool same_positions(const Kept& s) {
  const IV w = spopt2_words(ORVK_SPOPT2);
  for (int k = 0; k < kPosWords; ++k)
    if (s.pos[k] != w(13 + k)) return false;
  return true;
}
// Moves slot I to the front, the slots before it one place down.
Kept& to_front(int i) {
  const Kept s = g_kept[i];
  for (; i > 0; --i) g_kept[i] = g_kept[i - 1];
  g_kept[0] = s;
  return g_kept[0];
}
// What was kept for the work space at WS, when the layout of that call lies
// within the SPENDE words given now (re-solve and reuse calls make no size
// checks: the same space may be passed with a larger length); it becomes
// the most recently used.
Kept* find_kept(const void* ws, IWORD spende) {
  for (int i = 0; i < kKeptSlots; ++i)
    if (g_kept[i].ws != nullptr && g_kept[i].ws == ws && g_kept[i].spende <= spende)
      return &to_front(i);
  return nullptr;
}
// Whether the work spaces (A, LA words) and (B, LB words) share a word, or
// are the same key.
bool shares_words(const void* a, IWORD la, const void* b, IWORD lb) {
  if (a == b) return true;
  using U = unsigned __int128;
  const U pa = reinterpret_cast<std::uintptr_t>(a), pb = reinterpret_cast<std::uintptr_t>(b);
  const U na = la > 0 ? static_cast<U>(la) * sizeof(double) : 0;
  const U nb = lb > 0 ? static_cast<U>(lb) * sizeof(double) : 0;
  return na > 0 && nb > 0 && pa < pb + nb && pb < pa + na;
}
void forget_kept(const void* ws, IWORD spende) {
  for (Kept& s : g_kept)
    if (s.ws != nullptr && shares_words(s.ws, s.spende, ws, spende)) s = Kept{};
}
// A fresh slot for WS at the front, in place of whatever was kept for the
// words it covers (the least recently used slot goes when none is free).
Kept& take_kept(const void* ws, IWORD spende) {
  forget_kept(ws, spende);
  int i = 0;
  while (i < kKeptSlots - 1 && g_kept[i].ws != nullptr) ++i;
  Kept& s = to_front(i);
  s = Kept{};
  s.ws = ws;
  s.spende = spende;
  return s;
}

// ---- messages ------------------------------------------------------------------------

SpLine terminated() { return SpLine().t("PROGRAM EXECUTION TERMINATED").tag("CONTRL"); }

void msg_too_small(IWORD unit, IWORD spende) {
  if (unit > 0) sp_message(unit, SpLine().t("SPENDE = ").i(spende).t(" IS TOO SMALL"), terminated());
}
void msg_short(IWORD unit, IWORD spende, IWORD minimum) {
  if (unit > 0)
    sp_message(unit, SpLine().t("SPENDE = ").i(spende).t(" IS TOO SMALL"),
               SpLine().t("SPENDE SHOULD BE AT LEAST ").i(minimum), terminated());
}
void msg_reorder(IWORD unit) {
  if (unit > 0)
    sp_message(unit, SpLine().t("THE PREVIOUS ORDERING MUST NOT BE USED").tag("CONTRL"),
               SpLine().t("THE ORIGINAL MATRIX WAS ALTERED BY"),
               SpLine().t("THE DATA CHECKING ROUTINES AND/OR CONTAIN"),
               SpLine().t("STRUCTURAL OR NUMERICAL SINGULARITIES"));
}
// A reuse call whose kept ordering is missing, partial or laid out for
// other options.
void msg_no_ordering(IWORD unit) {
  if (unit > 0)
    sp_message(unit, SpLine().t("THE PREVIOUS ORDERING MUST NOT BE USED").tag("CONTRL"),
               SpLine().t("NO COMPLETE ORDERING OF THIS ORDER IS KEPT"),
               SpLine().t("WITH THE SAME OPTIONS AND POSITIONS"));
}
// A re-solve whose factors were not kept by a successful call of METHOD
// with the same options and positions.
void msg_no_factors(IWORD unit, IWORD method) {
  if (unit > 0)
    sp_message(unit, SpLine().t("THE KEPT LU FACTORS MUST NOT BE USED").tag("CONTRL"),
               SpLine().t("NO SUCCESSFUL CALL WITH METHOD").i(method).t(" KEPT FACTORS"),
               SpLine().t("WITH THE SAME ORDER, OPTIONS AND POSITIONS"), terminated());
}
void msg_order(IWORD unit, const Opts& o) {
  if (unit <= 0) return;
  std::string_view l2;
  if (o.inpfrm == 2)
    l2 = o.iornin == 1 ? "PROPER ORDER: IB < IRP/I4FAC < IORN/I4FAC < ICI/I4FAC < IA"
                       : "PROPER ORDER: IB < IRP/I4FAC < ICI/I4FAC < IA";
  else
    l2 = o.iornin == 1 ? "PROPER ORDER: IB < IORN/I4FAC < IVECT/I4FAC < JVECT/I4FAC < IA"
                       : "PROPER ORDER: IB < IVECT/I4FAC < JVECT/I4FAC < IA";
  sp_message(unit, SpLine().t("TEMPORARY POINTERS ARE NOT IN CORRECT ORDER"), SpLine().t(l2),
             terminated());
}

// ---- sizes, partition and moves ---------------------------------------------------------

// The least work-space size for order N, NZ entries and METHOD (I4FAC = I),
// times max(1, SPCFAC), in double precision; the integer part is formed
// without overflow for any N, NZ >= 0.
double min_size(IWORD N, IWORD NZ, IWORD METHOD, IWORD I, double SPCFAC) {
  using W = __int128;
  const W n = N, nz = NZ, i = I;
  W base = 9 * (n + nz / 4 + (n + (5 * n) / 8 + nz / 2) / i) + 90;
  if (METHOD == 2) {
    base += (9 * (nz / 2 + (n + nz / 2) / i)) / 8;
    base += (9 * (nz + (n + nz) / i)) / 8;
  } else if (METHOD == 5) {
    base += (9 * (nz + (nz + 2 * n) / i)) / 8;
  }
  const double f = SPCFAC > 1.0 ? SPCFAC : 1.0;  // NaN and anything below 1 act as 1
  return std::trunc(f * static_cast<double>(base));
}

// Writes the message and returns true when SPENDE is below the minimum.
bool short_space(IWORD N, IWORD NZ, const Opts& o, IWORD spende) {
  const double m = min_size(N, NZ, o.method, o.i4fac, ORVK_SPOPT1.SPCFAC);
  if (static_cast<double>(spende) >= m) return false;
  const IWORD shown = m < 9.0e18 ? static_cast<IWORD>(m) : INT64_MAX;
  msg_short(o.unit, spende, shown);
  return true;
}

// The partition for order N and NZ entries into P (a copy of the option
// block); false when it does not fit the work space or leaves ICI/IA too
// little room for the matrix (and the N words of methods 4 and 5).
bool partition(IWORD N, IWORD NZ, IWORD spende, const Opts& o, ORVK_SPOPT2_T& P) {
  if (N > spende || NZ > spende) return false;
  const IWORD end = ZWPART(N, NZ, spende, o.ordopt, o.method, o.sclopt, o.rstopt, o.i4fac,
                           o.nrhsmx, P);
  if (end < 1 || end > spende) return false;
  const IWORD need = NZ + ((o.method == 4 || o.method == 5) ? N : 0);
  return P.MAXA >= need && P.MAXA >= 1;
}

void commit(const ORVK_SPOPT2_T& P) {
  const IV to = spopt2_words(ORVK_SPOPT2), from = spopt2_words(P);
  for (int k = 13; k <= 53; ++k) to(k) = from(k);
}

// One block of words to move (word positions; integer and real positions
// coincide since I4FAC is 1).
struct Move {
  IWORD from, to, len;
};
bool overlap(IWORD a, IWORD la, IWORD b, IWORD lb) { return la > 0 && lb > 0 && a < b + lb && b < a + la; }

// Performs the moves so that no block is overwritten before it has been
// moved itself: a move goes only when its target meets no pending source.
// Returns false (nothing further moved) when no such order exists.
bool move_all(const WorkSpace& ws, Move* mv, int n) {
  bool done[8] = {};
  for (int left = n; left > 0;) {
    int pick = -1;
    for (int a = 0; a < n && pick < 0; ++a) {
      if (done[a]) continue;
      bool free = true;
      for (int b = 0; b < n && free; ++b)
        if (b != a && !done[b] && overlap(mv[a].to, mv[a].len, mv[b].from, mv[b].len)) free = false;
      if (free) pick = a;
    }
    if (pick < 0) return false;
    ws.ivec(1).move(mv[pick].from, mv[pick].to, mv[pick].len);
    done[pick] = true;
    --left;
  }
  return true;
}

// ---- checks of kept state -------------------------------------------------------------

// |V(1..N)| is a permutation of 1..N (MARK: N words of scratch).
bool is_perm(IWORD N, IV V, IV MARK, bool signed_ok) {
  MARK.fill(1, N, 0);
  for (IWORD k = 1; k <= N; ++k) {
    IWORD v = V(k);
    if (signed_ok && v < 0) v = -v;
    if (v < 1 || v > N || MARK(v) != 0) return false;
    MARK(v) = 1;
  }
  return true;
}

// The rows of IRP(1..N+1) are sound row pointers within ROOM entries.
bool rows_sound(IWORD N, IV IRP, IWORD room) {
  if (IRP(1) != 1) return false;
  for (IWORD i = 1; i <= N; ++i)
    if (IRP(i + 1) < IRP(i)) return false;
  return IRP(N + 1) - 1 <= room;
}

// ---- the driver's body ----------------------------------------------------------------------

class Driver {
 public:
  Driver(IWORD* IW, IWORD spende, IWORD& N, IWORD& NZ, IWORD& IERR)
      : ws_(IW, spende), key_(IW), spende_(spende), N_(N), NZ_(NZ), IERR_(IERR), o_(read_opts()) {}

  void run();

 private:
  IV iv(IWORD p, IWORD len) const { return ws_.ivec(p, len); }
  RV rv(IWORD q, IWORD len) const { return ws_.rvec(q, len); }
  IWORD Z() const { return o_.nrhsmx * N_; }
  // Copies LEN words from position FROM to position TO (regions inside the work space).
  void copy_words(IWORD from, IWORD to, IWORD len) const { ws_.ivec(1).move(from, to, len); }

  void resolve();
  void reuse();
  void full();
  bool caller_layout(ORVK_SPOPT2_T& P);
  bool relocate(IWORD Nnew, IWORD NZnew, IWORD Nold, bool with_order, bool with_maps);
  bool data_checks();
  bool order();
  void factor_and_finish();
  void save();
  void scale();
  void factor();
  void restore();
  void common_end(bool rebuild, bool unscale = true);
  void remember(bool ordering_kept, IWORD factors);

  WorkSpace ws_;
  const void* key_;  // the work space's address: the key of its kept state
  IWORD spende_;
  IWORD& N_;
  IWORD& NZ_;
  IWORD& IERR_;
  Opts o_;
  ORVK_SPOPT2_T P_{};    // the partition in force (words 13-53)
  IWORD nzpart_ = 0;      // entry count P_ was made for
  IWORD laid_ = spende_;  // length of the work space P_ was laid out in
  bool ordered_ = false;  // the ordering of this call succeeded (or was reused)
  LuRecord rec_;          // method 2: the record replayed (in) and left (out)
};

void Driver::run() {
  if (o_.method == 3 || o_.method == 6)
    resolve();
  else if (o_.ordopt == 6)
    reuse();
  else
    full();
}

// Re-solve with the factors of a method-2 (METHOD 3) or method-5 (METHOD 6) call.
void Driver::resolve() {
  IERR_ = 0;
  const IWORD N = N_;
  const IWORD fm = o_.method == 3 ? 2 : 5;
  if (N == 0) {
    ORVK_SPOPT3.LASTNZ = NZ_;
    return;
  }
  const Kept* s = find_kept(key_, spende_);
  const bool w44 = o_.method == 6 && o_.restore() && o_.scale();
  if (N < 0 || !s || s->factors != fm || s->n != N || s->nrhsmx != o_.nrhsmx ||
      (s->sclopt == 1) != o_.scale() || (w44 && s->rstopt != 1) || !same_positions(*s)) {
    msg_no_factors(o_.unit, fm);
    IERR_ = kSpFactorsBad;
    return;
  }
  P_ = ORVK_SPOPT2;
  nzpart_ = s->nzpart;
  // The step maps of the factors must still be permutations (W35 is
  // scratch of methods 4 and 5 only).
  {
    IV scratch = iv(P_.W35, N);
    const bool maps = o_.method == 3 ? is_perm(N, iv(P_.IORN, N), scratch, true) &&
                                           is_perm(N, iv(P_.W39, N), scratch, false)
                                     : is_perm(N, iv(P_.IORN, N), scratch, false) &&
                                           is_perm(N, iv(P_.W37, N), scratch, false);
    if (!maps) {
      msg_no_factors(o_.unit, fm);
      IERR_ = kSpFactorsBad;
      return;
    }
  }
  const IWORD Zl = Z();
  RV B = rv(1, Zl);
  RV X = rv(P_.X, Zl);
  // The replay takes over the scaling of B (as it reads B), the unscaling
  // of X (in its last pass) and the map checks made above.
  // (Without scaling the scale vectors have no place in the work space.)
  const RV RS = o_.scale() ? rv(P_.ROWSC, N) : RV(), CS = o_.scale() ? rv(P_.COLSC, N) : RV();
  ReplayFuse fuse;
  fuse.maps_checked = true;
  fuse.RS = o_.scale() ? &RS : nullptr;
  fuse.CS = o_.scale() ? &CS : nullptr;
  const IWORD h = P_.MAXA / 2 + 1;
  if (o_.method == 3) {
    lu_replay(N, o_.unit, B, o_.nrhs, X, iv(P_.W39, N + 1), iv(P_.IORN, N + 1), iv(P_.W32, N + 1),
              iv(P_.W42, h), rv(P_.W26, h), iv(P_.IRP, N + 1), iv(P_.ICI, P_.MAXA),
              rv(P_.IA, P_.MAXA), iv(P_.W41, N), IERR_, &fuse);
    if (IERR_ < 0) sp_stage_failed(o_.unit, "LU1P3");
  } else {
    const IWORD nb = o_.nrhs >= 2 ? 2 * N : N;
    if (w44) copy_words(1, P_.W44, nb);
    // With W44, B is restored below: the replay may use it as scratch.
    fuse.b_scratch = w44;
    cbs_replay(N, o_.unit, B, o_.nrhs, X, iv(P_.W37, N + 1), iv(P_.IORN, N + 1), iv(P_.W32, N + 1),
               iv(P_.W42, h), rv(P_.W26, h), iv(P_.W33, N + 1), iv(P_.W43, h), rv(P_.W27, h),
               iv(P_.W41, N), IERR_, &fuse);
    if (IERR_ < 0) sp_stage_failed(o_.unit, "CBSLU3");
    if (w44) copy_words(P_.W44, 1, nb);
  }
  ORVK_SPOPT3.LASTNZ = NZ_;
  // Method 3's factors live in IRP/ICI/IA: no row numbers to rebuild.
  common_end(o_.method == 6, !fuse.scaled_x);
}

// Reuse of the ordering of the last call on new values of the same pattern.
void Driver::reuse() {
  const IWORD N = N_;
  Kept* s = find_kept(key_, spende_);
  // The kept state must be an ordering of this order, laid out by a call
  // with the same options, its positions untouched since.
  bool ok = N >= 0 && NZ_ >= 0 && s && s->ordering && s->n == N && s->method == o_.method &&
            (s->sclopt == 1) == o_.scale() && (s->rstopt == 1) == o_.restore() &&
            s->nrhsmx == o_.nrhsmx && same_positions(*s);
  if (ok) {
    P_ = ORVK_SPOPT2;
    nzpart_ = s->nzpart;
    laid_ = s->spende;
    IV scratch = iv(P_.W35, N);  // scratch of methods 4 and 5 only
    ok = is_perm(N, iv(P_.IORN, N), scratch, true) && is_perm(N, iv(P_.W39, N), scratch, false);
    if (ok && (o_.method == 4 || o_.method == 5)) {
      IV W18 = iv(P_.W18, N), W39 = iv(P_.W39, N);
      for (IWORD c = 1; c <= N && ok; ++c) ok = W18(W39(c)) == c;
    }
  }
  if (!ok) {
    msg_no_ordering(o_.unit);
    IERR_ = kSpOrderBad;
    return;
  }
  if (N >= 1) {
    IV W40 = iv(P_.W40, N), W41 = iv(P_.W41, N);
    for (IWORD i = 1; i <= N; ++i)
      if (W40(i) != 1 || W41(i) != 1) {
        msg_reorder(o_.unit);
        IERR_ = kSpOrderBad;
        return;
      }
  }
  IERR_ = 0;
  // The new entries must fit where the kept layout holds them.
  IWORD room = P_.MAXA;
  if (o_.inpfrm == 1) room = std::min(room, P_.W40 - P_.IVECT);
  if (NZ_ > room) {
    msg_reorder(o_.unit);
    IERR_ = kSpOrderBad;
    return;
  }
  rec_.in = s->lurec;
  rec_.in_lo = s->lurec_lo;
  rec_.in_sum = s->lurec_sum;
  forget_kept(key_, spende_);  // from here on the work space changes
  if (o_.inpfrm == 1) {
    const IWORD bad = SPRSRT(N, NZ_, iv(P_.IVECT, NZ_), iv(P_.JVECT, NZ_), iv(P_.IRP, N + 1),
                             rv(P_.IA, NZ_));
    if (bad != 0) {
      if (o_.unit > 0) {
        const IWORD r = iv(P_.IVECT, NZ_)(bad);
        sp_message(o_.unit,
                   SpLine().t("ROW INDEX ").i(r).t(" OUTSIDE 1 TO ").i(N).t(" IN ENTRY ").i(bad).tag("CONTRL"),
                   terminated());
      }
      IERR_ = kSpColLow;
      return;
    }
  }
  iv(P_.IRP, N + 1)(N + 1) = NZ_ + 1;
  // Row pointers the caller supplied (row form) are checked in full before
  // the scaling reads through them: pointers out of order or out of range
  // go to the data check, which reports the row.
  bool rows_sound = true;
  if (o_.inpfrm == 2) {
    const IV irp = iv(P_.IRP, N + 1);
    for (IWORD i = 1; i <= N && rows_sound; ++i)
      rows_sound = irp(i) >= 1 && irp(i + 1) >= irp(i) && irp(i + 1) <= NZ_ + 1;
  }
  if (NZ_ != ORVK_SPOPT3.LASTNZ || !rows_sound) {
    DCHEKD(N, N, NZ_, o_.unit, iv(P_.IRP, N + 1), iv(P_.ICI, P_.MAXA),
           iv(P_.W28, P_.W40 - P_.W28), rv(P_.IA, P_.MAXA), ORVK_SPOPT2, IERR_);
    if (IERR_ < 0) {
      sp_stage_failed(o_.unit, "DCHEKD");
      return;
    }
    if (NZ_ != ORVK_SPOPT3.LASTNZ) {
      msg_reorder(o_.unit);
      IERR_ = kSpOrderBad;
      return;
    }
  }
  // The restore's copies of the entries (W47, W48) hold the count the
  // kept layout was made for; LASTNZ is shared by every work space and
  // set by re-solves too, so it does not bound the new count.
  if (o_.restore() && (o_.rows_kept() || o_.scale()) && NZ_ > nzpart_) {
    msg_reorder(o_.unit);
    IERR_ = kSpOrderBad;
    return;
  }
  ordered_ = true;
  factor_and_finish();
}

// Checks the caller's positions and lays out the first partition into P,
// all before anything in the work space changes.  False: IERR_ is set.
bool Driver::caller_layout(ORVK_SPOPT2_T& P) {
  const Opts& o = o_;
  const IWORD N = N_, NZ = NZ_, I = o.i4fac;
  const ORVK_SPOPT2_T& C = ORVK_SPOPT2;

  // 1. Minimum size.
  if (short_space(N, NZ, o, spende_)) {
    IERR_ = kCtlShort;
    return false;
  }
  // 2. Right-hand sides first.
  if (C.IB != 1) {
    if (o.unit > 0)
      sp_message(o.unit, SpLine().t("POINTER IB = ").i(C.IB).t(" IS INCORRECT"),
                 SpLine().t("PROPER VALUE: IB=1"), terminated());
    IERR_ = kCtlIB;
    return false;
  }
  // 3. Order of the positions.
  bool inorder;
  if (o.inpfrm == 2)
    inorder = o.iornin == 1 ? (C.IRP / I >= 2 && C.IRP / I < C.IORN / I && C.IORN / I < C.ICI / I &&
                               C.ICI / I < C.IA)
                            : (C.IRP / I >= 2 && C.IRP / I < C.ICI / I && C.ICI / I < C.IA);
  else
    inorder = o.iornin == 1 ? (C.IORN / I >= 2 && C.IORN / I < C.IVECT / I && C.IVECT < C.JVECT &&
                               C.JVECT / I < C.IA)
                            : (C.IVECT / I >= 2 && C.IVECT < C.JVECT && C.JVECT / I < C.IA);
  // The caller's arrays must not overlap one another nor the right-hand
  // sides.  (The row pointers are a room matter, below.)
  const IWORD irp = o.inpfrm == 1 ? I * Z() + 1 : C.IRP;
  struct Arr {
    IWORD pos, len;
  };
  const Arr arr[5] = {{1, Z()},
                      {o.inpfrm == 1 ? C.JVECT : C.ICI, NZ},
                      {C.IA, NZ},
                      {C.IORN, o.iornin == 1 ? N : 0},
                      {C.IVECT, o.inpfrm == 1 ? NZ : 0}};
  for (int a = 0; a < 5 && inorder; ++a)
    for (int b = a + 1; b < 5; ++b)
      if (overlap(arr[a].pos, arr[a].len, arr[b].pos, arr[b].len)) inorder = false;
  if (!inorder) {
    msg_order(o.unit, o);
    IERR_ = kCtlOrder;
    return false;
  }
  // 4./6. Room: every caller array inside the work space, the row pointers
  // clear of the other arrays (for triplets: below the row numbers), the
  // partition inside the work space, and no array asked to move up (the
  // row pointers and a supplied row order only move down).
  bool room = ws_.holds(irp, N + 1);
  for (const Arr& x : arr)
    if (x.len > 0 && !ws_.holds(x.pos, x.len)) room = false;
  for (int a = 1; a < 5; ++a)
    if (overlap(irp, N + 1, arr[a].pos, arr[a].len)) room = false;
  if (o.inpfrm == 1 && C.IVECT <= irp + N) room = false;
  P = C;
  if (room && !partition(N, NZ, spende_, o, P)) room = false;
  if (room && (irp < P.IRP || (o.iornin == 1 && C.IORN < P.IORN))) room = false;
  if (!room) {
    msg_too_small(o.unit, spende_);
    IERR_ = kCtlNoPart;
    return false;
  }
  return true;
}

// Moves the live arrays from the partition in force (order NOLD) to the
// partition for order NNEW and NZNEW entries, then commits it.  WITH_ORDER
// moves the row order, WITH_MAPS also W18 and W39 (after the ordering).
// False: IERR_ is set (-13 or -16) and nothing has moved.
bool Driver::relocate(IWORD Nnew, IWORD NZnew, IWORD Nold, bool with_order, bool with_maps) {
  if (!with_maps && short_space(Nnew, NZnew, o_, spende_)) {
    IERR_ = kCtlShort;
    return false;
  }
  ORVK_SPOPT2_T Q = P_;
  if (!partition(Nnew, NZnew, spende_, o_, Q)) {
    msg_too_small(o_.unit, spende_);
    IERR_ = kCtlNoPart;
    return false;
  }
  Move mv[8];
  int n = 0;
  mv[n++] = {P_.IRP, Q.IRP, Nold + 1};
  if (with_order) mv[n++] = {P_.IORN, Q.IORN, Nold + (with_maps ? 1 : 0)};
  if (with_maps) {
    mv[n++] = {P_.W18, Q.W18, Nold};
    mv[n++] = {P_.W39, Q.W39, Nold + 1};
  }
  mv[n++] = {P_.W40, Q.W40, Nold};
  mv[n++] = {P_.W41, Q.W41, Nold};
  mv[n++] = {P_.ICI, Q.ICI, NZ_};
  mv[n++] = {P_.IA, Q.IA, NZ_};
  if (!move_all(ws_, mv, n)) {
    msg_too_small(o_.unit, spende_);
    IERR_ = kCtlNoPart;
    return false;
  }
  P_ = Q;
  nzpart_ = NZnew;
  P_.JVECT = P_.ICI;
  commit(P_);
  return true;
}

// Step 7: checks and repairs, widening and the extra row.
bool Driver::data_checks() {
  const IWORD NROW = N_;
  IWORD NCMAX = NROW, NADD = 0;
  const IWORD Zl = Z();
  DCHEKA(NROW, NROW, NZ_, o_.unit, iv(P_.IRP, NROW + 1), iv(P_.ICI, P_.MAXA),
         iv(P_.W28, P_.W40 - P_.W28), rv(P_.IA, P_.MAXA), rv(1, Zl), o_.nrhs, iv(P_.W40, NROW),
         iv(P_.W41, NROW), NCMAX, NADD, ORVK_SPOPT2, IERR_);
  if (IERR_ < 0) {
    sp_stage_failed(o_.unit, "DCHEKA");
    return false;
  }
  const bool supplied = o_.iornin == 1;
  if (NCMAX > NROW) {
    // More columns than rows: lay out for order NCMAX with the entries the
    // new rows add, then let DCHEKB add them.
    const IWORD keep = IERR_;
    if (!relocate(NCMAX, NZ_ + (NCMAX - NROW), NROW, supplied, false)) return false;
    IERR_ = keep;
    if (supplied) {  // the new rows go last in the supplied order
      IV IORN = iv(P_.IORN, NCMAX + 1);
      for (IWORD i = NROW + 1; i <= NCMAX; ++i) IORN(i) = i;
    }
    DCHEKB(NROW, NCMAX, NZ_, o_.unit, iv(P_.IRP, NCMAX + 1), iv(P_.ICI, P_.MAXA),
           iv(P_.W28, P_.W40 - P_.W28), rv(P_.IA, P_.MAXA), rv(1, o_.nrhsmx * NCMAX), o_.nrhs,
           iv(P_.W40, NCMAX), iv(P_.W41, NCMAX), NADD, ORVK_SPOPT2, IERR_);
    N_ = NCMAX;
    if (IERR_ < 0) {
      sp_stage_failed(o_.unit, "DCHEKB");
      return false;
    }
  }
  if (NADD > 0) {
    const IWORD Nold = N_;
    const IWORD keep = IERR_;
    if (!relocate(Nold + 1, NZ_ + NADD + 1, Nold, supplied, false)) return false;
    IERR_ = keep;
    N_ = Nold + 1;
    if (supplied) iv(P_.IORN, N_ + 1)(N_) = N_;
    const IWORD N = N_;
    iv(P_.IRP, N + 1)(N) = NZ_ + 1;
    DCHEKC(N, NZ_, o_.unit, iv(P_.IRP, N + 1), iv(P_.ICI, P_.MAXA), rv(P_.IA, P_.MAXA),
           rv(1, o_.nrhsmx * N), o_.nrhs, iv(P_.W40, N), iv(P_.W41, N), ORVK_SPOPT2, IERR_);
    if (IERR_ < 0) {
      sp_stage_failed(o_.unit, "DCHEKC");
      return false;
    }
  }
  // Repairs that added entries without changing the order still need the
  // scratch and copy areas laid out for the final count.
  if (NZ_ > nzpart_) {
    const IWORD keep = IERR_;
    if (!relocate(N_, NZ_, N_, supplied, false)) return false;
    IERR_ = keep;
  }
  return true;
}

// Step 8: the ordering.
bool Driver::order() {
  const IWORD N = N_;
  IV IORN = iv(P_.IORN, N + 1);
  // The code of the data checks' repairs: an ordering that succeeds with
  // code 0 leaves it standing (the system solved is the repaired one).
  const IWORD checked = IERR_;
  if (o_.ordopt == 5) {
    if (o_.iornin != 1)
      for (IWORD i = 1; i <= N + 1; ++i) IORN(i) = i;
    P4(N, NZ_, o_.unit, iv(P_.IRP, N + 1), iv(P_.ICI, P_.MAXA), rv(P_.IA, P_.MAXA), rv(1, Z()),
       o_.nrhs, iv(P_.W18, N + 2), IORN, iv(P_.W39, N + 1), iv(P_.W28, P_.IVECT - P_.W28),
       iv(P_.IVECT, P_.W40 - P_.IVECT), iv(P_.W40, N), iv(P_.W41, N), ORVK_SPOPT2, IERR_);
    if (IERR_ < 0) {
      sp_stage_failed(o_.unit, "P4");
      return false;
    }
  } else {
    if (o_.iornin != 1)
      for (IWORD i = 1; i <= N; ++i) IORN(i) = i;
    TALLY(N, NZ_, o_.unit, iv(P_.IRP, N + 1), iv(P_.ICI, P_.MAXA), rv(P_.IA, P_.MAXA), rv(1, Z()),
          o_.nrhs, IORN, iv(P_.W18, N + 2), iv(P_.W28, P_.IVECT - P_.W28),
          iv(P_.IVECT, P_.W40 - P_.IVECT), o_.ordopt, ORVK_SPOPT2, iv(P_.W39, N + 1),
          iv(P_.W40, N), iv(P_.W41, N), IERR_);
    if (IERR_ < 0) {
      sp_stage_failed(o_.unit, "TALLY");
      return false;
    }
  }
  if (IERR_ == 0) IERR_ = checked;
  // Artificial entries of the transversal: copies and scratch for the new count.
  if (NZ_ > nzpart_) {
    const IWORD keep = IERR_;
    if (!relocate(N_, NZ_, N_, true, true)) return false;
    IERR_ = keep;
  }
  ordered_ = true;
  return true;
}

void Driver::full() {
  const IWORD N = N_;
  IERR_ = 0;
  if (N < 0 || NZ_ < 0 || (N == 0 && NZ_ > 0)) {
    if (o_.unit > 0)
      sp_message(o_.unit, SpLine().t("ORDER N = ").i(N).t(" AND NZ = ").i(NZ_).t(" ARE INCORRECT").tag("CONTRL"),
                 terminated());
    IERR_ = kSpRowCount;
    return;
  }
  ORVK_SPOPT2_T P{};
  if (!caller_layout(P)) return;
  forget_kept(key_, spende_);  // the work space changes from here on
  const ORVK_SPOPT2_T& C = ORVK_SPOPT2;

  // 4. Triplets to rows at the caller's places.
  IWORD irp = C.IRP, ici = C.ICI;
  if (o_.inpfrm == 1) {
    irp = Z() + 1;
    const IWORD bad = SPRSRT(N, NZ_, iv(C.IVECT, NZ_), iv(C.JVECT, NZ_), iv(irp, N + 1), rv(C.IA, NZ_));
    if (bad != 0) {
      if (o_.unit > 0) {
        const IWORD r = iv(C.IVECT, NZ_)(bad);
        sp_message(o_.unit,
                   SpLine().t("ROW INDEX ").i(r).t(" OUTSIDE 1 TO ").i(N).t(" IN ENTRY ").i(bad).tag("CONTRL"),
                   terminated());
      }
      IERR_ = kSpColLow;
      return;
    }
    ici = C.JVECT;
  }
  // 5. Row pointers closed.
  iv(irp, N + 1)(N + 1) = NZ_ + 1;

  // 6. The live arrays to the partition.
  {
    Move mv[4];
    int n = 0;
    mv[n++] = {irp, P.IRP, N + 1};
    if (o_.iornin == 1) mv[n++] = {C.IORN, P.IORN, N};
    mv[n++] = {ici, P.ICI, NZ_};
    mv[n++] = {C.IA, P.IA, NZ_};
    if (!move_all(ws_, mv, n)) {
      msg_too_small(o_.unit, spende_);
      IERR_ = kCtlNoPart;
      return;
    }
    P.JVECT = P.ICI;
    P_ = P;
    nzpart_ = NZ_;
    commit(P_);
  }
  if (N == 0) {
    ORVK_SPOPT3.LASTNZ = NZ_;
    return;
  }
  // 7. Data checks, 8. ordering.
  if (!data_checks()) return;
  if (!order()) return;
  factor_and_finish();
}

// Steps 9-12 and the common end, shared by the full and the reuse path.
void Driver::factor_and_finish() {
  if (o_.restore()) save();
  if (o_.scale()) scale();
  factor();
  const bool failed = IERR_ < 0;
  ORVK_SPOPT3.LASTNZ = NZ_;
  if (o_.restore()) restore();
  // What the next call may rely on.
  const bool rows_gone = o_.rows_kept() && !o_.restore();  // IRP/ICI/IA hold factors or rubbish
  bool ordering_kept = ordered_;
  if (o_.method == 1 && !o_.restore()) ordering_kept = false;  // IORN cleared by method 1
  if (failed && !o_.restore()) ordering_kept = false;
  IWORD factors = 0;
  if (!failed && o_.method == 2 && !o_.restore()) factors = 2;
  if (!failed && o_.method == 5) factors = 5;
  remember(ordering_kept, factors);
  common_end(!rows_gone);
}

void Driver::save() {
  const IWORD N = N_, NZ = NZ_;
  const IWORD nb = o_.nrhs >= 2 ? 2 * N : N;
  if (o_.rows_kept()) {
    copy_words(P_.IA, P_.W48, NZ);
    copy_words(P_.ICI, P_.W47, NZ);
    copy_words(P_.IRP, P_.W45, N + 1);
    copy_words(P_.IORN, P_.W46, N + 1);
    copy_words(P_.W39, P_.W49, N + 1);
    copy_words(1, P_.W44, nb);
  } else if (o_.scale()) {
    copy_words(P_.IA, P_.W48, NZ);
    copy_words(1, P_.W44, nb);
  }
}

void Driver::restore() {
  const IWORD N = N_, NZ = NZ_;
  const IWORD nb = o_.nrhs >= 2 ? 2 * N : N;
  if (o_.rows_kept()) {
    copy_words(P_.W48, P_.IA, NZ);
    copy_words(P_.W47, P_.ICI, NZ);
    copy_words(P_.W45, P_.IRP, N + 1);
    copy_words(P_.W46, P_.IORN, N + 1);
    copy_words(P_.W49, P_.W39, N + 1);
    copy_words(P_.W44, 1, nb);
  } else if (o_.scale()) {
    copy_words(P_.W48, P_.IA, NZ);
    copy_words(P_.W44, 1, nb);
  }
}

// Step 10: equilibration D_r A D_c, applied to the entries and to B.
void Driver::scale() {
  const IWORD N = N_;
  IV IRP = iv(P_.IRP, N + 1), ICI = iv(P_.ICI, P_.MAXA);
  RV IA = rv(P_.IA, P_.MAXA), RS = rv(P_.ROWSC, N), CS = rv(P_.COLSC, N), B = rv(1, Z());
  EQUILR(N, N, NZ_, IRP, ICI, IA, 5, RS, CS, rv(P_.W24, N + 1), rv(P_.W25, N + 1));
  // The scaling runs over unchecked runs of the arrays, their bounds checked
  // here once.  A column index outside 1..N (new entries on a reused
  // ordering) leaves its entry as it is; the method refuses it.
  const WSpan<IWORD> irp = span(IRP, 1, N + 1);
  const IWORD last = irp[N + 1] - 1;
  const WSpan<IWORD> ici = span(ICI, 1, last);
  const WSpan<double> a = span(IA, 1, last);
  const WSpan<double> rs = span(RS, 1, N);
  const WSpan<double> cs = span(CS, 1, N);
  IWORD lo = irp[1];
  for (IWORD i = 1; i <= N; ++i) {
    const double r = rs[i];
    B(i) *= r;
    if (o_.nrhs >= 2) B(N + i) *= r;
    const IWORD hi = irp[i + 1];
    for (IWORD k = lo; k < hi; ++k) {
      const IWORD c = ici[k];
      if (c >= 1 && c <= N) a.set(k, r * a[k] * cs[c]);
    }
    lo = hi;
  }
}

// Step 11: the method.
void Driver::factor() {
  const IWORD N = N_, MAXA = P_.MAXA, Zl = Z();
  double& S1 = ORVK_SPOPT1.PIVTL1;
  double& S2 = ORVK_SPOPT1.PIVTL2;
  IV IRP = iv(P_.IRP, N + 1), ICI = iv(P_.ICI, MAXA), IORN = iv(P_.IORN, N + 1);
  RV IA = rv(P_.IA, MAXA), B = rv(1, Zl), X = rv(P_.X, Zl);
  // The methods test only the candidates of a pivot step: a value that is
  // not finite (given, or made so by the scaling) in a column of an earlier
  // block or of an eliminated step goes into the solution unnoticed.  Such
  // a matrix has no usable factorisation.
  for (IWORD k = 1; k <= NZ_; ++k) {
    if (std::isfinite(IA(k))) continue;
    if (o_.unit > 0) {
      IWORD i = 1;
      while (i < N && IRP(i + 1) <= k) ++i;
      sp_message(o_.unit,
                 SpLine().t("VALUE IN ROW ").i(i).t(" AND COLUMN ").i(ICI(k)).t(" IS NOT FINITE")
                     .tag("CONTRL"),
                 terminated());
    }
    IERR_ = kSpNumSing;
    return;
  }
  const IWORD h = MAXA / 2 + 1;
  switch (o_.method) {
    case 2: {
      // The U rows of finished blocks are saved behind the copies: the
      // partition's W50, W52 and W51 together as the real half, the free
      // row-number and ordering scratch (IVECT' to W40) as the integer half,
      // and the block counts in W35 (scratch of methods 4 and 5 only), so
      // that fill beyond NZ entries still fits.
      const IWORD LOWMAX = MAXA / 2;
      LU2SOL(N, MAXA, S1, S2, o_.unit, IRP, ICI, IA, B, o_.nrhs, X, IORN, iv(P_.W39, N + 1),
             iv(P_.W32, N + 1), iv(P_.W42, h), rv(P_.W26, h), LOWMAX, iv(P_.W29, N),
             iv(P_.W40, N), iv(P_.W41, N), ORVK_SPOPT2, rv(P_.W50, P_.W51 + nzpart_ - P_.W50),
             iv(P_.IVECT, P_.W40 - P_.IVECT), iv(P_.W35, N), iv(P_.W30, N), IERR_, &rec_);
      if (IERR_ < 0) sp_stage_failed(o_.unit, "LU2SOL");
      break;
    }
    case 4:
      ORVK_SPOPT2.CBSROW = N;
      CBS(N, o_.unit, S2, S1, ORVK_SPOPT2.CBSROW, NZ_, MAXA, IRP, ICI, IA, B, o_.nrhs, X, IORN,
          iv(P_.W18, N + 2), iv(P_.W28, P_.W35 - P_.W28), iv(P_.W35, N), iv(P_.W36, N), IERR_);
      if (IERR_ < 0) sp_stage_failed(o_.unit, "CBS");
      break;
    case 5: {
      const IWORD LOWMAX = MAXA / 2;
      CBS2(N, o_.unit, S2, S1, ORVK_SPOPT2.CBSROW, NZ_, MAXA, IRP, ICI, IA, B, o_.nrhs, X, IORN,
           iv(P_.W18, N + 2), iv(P_.W37, N + 1), iv(P_.W28, P_.W37 - P_.W28), iv(P_.W32, N + 1),
           iv(P_.W42, h), rv(P_.W26, h), LOWMAX, iv(P_.W33, N + 1), iv(P_.W43, h), rv(P_.W27, h),
           iv(P_.W35, N), iv(P_.W36, N), IERR_);
      if (IERR_ < 0) sp_stage_failed(o_.unit, "CBS2");
      break;
    }
    case 7:
      RANKI(N, S2, MAXA, o_.unit, IRP, ICI, IA, B, o_.nrhs, X, rv(P_.W24, N + 1), IORN,
            iv(P_.W38, N), iv(P_.W31, N), iv(P_.W30, N), ORVK_SPOPT2.RNKOPT, IERR_);
      if (IERR_ < 0) sp_stage_failed(o_.unit, "RANKI");
      break;
    default:
      LU1SOL(N, MAXA, S1, S2, o_.unit, IRP, ICI, IA, B, o_.nrhs, X, IORN, iv(P_.W39, N + 1),
             iv(P_.W40, N), iv(P_.W41, N), ORVK_SPOPT2, iv(P_.W30, N), IERR_);
      if (IERR_ < 0) sp_stage_failed(o_.unit, "LU1SOL");
      break;
  }
}

void Driver::remember(bool ordering_kept, IWORD factors) {
  Kept& s = take_kept(key_, spende_);
  s.spende = laid_;
  s.n = N_;
  s.nzpart = nzpart_;
  s.method = o_.method;
  s.sclopt = o_.sclopt;
  s.rstopt = o_.rstopt;
  s.nrhsmx = o_.nrhsmx;
  snapshot(s.pos);
  s.ordering = ordering_kept;
  s.factors = factors;
  s.lurec = o_.method == 2 && ordering_kept && rec_.out;
  s.lurec_lo = rec_.out_lo;
  s.lurec_sum = rec_.out_sum;
}

// Row numbers rebuilt from the row pointers (when IRP holds them), the
// solution unscaled (UNSCALE false: the replay has done it already), and a
// solution that is not finite refused.
void Driver::common_end(bool rebuild, bool unscale) {
  const IWORD N = N_;
  if (N < 1) return;
  const IWORD room = P_.W40 - P_.IVECT;
  if (rebuild && room >= 0 && ws_.holds(P_.IVECT, room) && rows_sound(N, iv(P_.IRP, N + 1), room)) {
    // Mostly the row numbers are still there (a re-solve, a refactor from
    // rows in order): a word is written only where it differs.
    const WSpan<IWORD> irp = span(iv(P_.IRP, N + 1), 1, N + 1);
    const WSpan<IWORD> ivect = span(iv(P_.IVECT, room), 1, room);
    // A row is read as one branch-free test and written only when some
    // word differs.
    IWORD lo = irp[1];
    for (IWORD i = 1; i <= N; ++i) {
      const IWORD hi = irp[i + 1];
      IWORD diff = 0;
      for (IWORD k = lo; k < hi; ++k) diff |= ivect[k] ^ i;
      if (diff != 0)
        for (IWORD k = lo; k < hi; ++k) ivect.set(k, i);
      lo = hi;
    }
  }
  // A component that is not finite is no solution: the methods test only
  // their pivots, so a system whose solution lies past the largest double
  // (or a right-hand side that is not finite) leaves Inf or NaN in X.
  // Such a call fails as numerically singular; so does one whose column
  // factors carry a finite component of the equilibrated system past the
  // largest double.
  RV X = rv(P_.X, Z());
  const IWORD nx = o_.nrhs >= 2 ? 2 * N : N;
  bool finite = true;
  for (IWORD k = 1; k <= nx && finite; ++k) finite = std::isfinite(X(k));
  bool overflow = false;
  if (o_.scale() && unscale) {
    RV CS = rv(P_.COLSC, N);
    auto unscaled = [&](IWORD k, double c) {
      const double x = X(k);
      X(k) = x * c;
      overflow = overflow || (std::isfinite(x) && !std::isfinite(X(k)));
    };
    for (IWORD i = 1; i <= N; ++i) {
      unscaled(i, CS(i));
      if (o_.nrhs >= 2) unscaled(N + i, CS(i));
    }
  }
  if (IERR_ < 0 || (finite && !overflow)) return;
  if (o_.unit > 0)
    sp_message(o_.unit,
               SpLine().t(finite ? "THE UNSCALED SOLUTION IS NOT FINITE" : "THE SOLUTION IS NOT FINITE")
                   .tag("CONTRL"),
               terminated());
  IERR_ = kSpNumSing;
}

}  // namespace
}  // namespace orvika

/* ORVK_CONTRL solves the sparse linear system A x = b (one or two
 * right-hand sides) in one caller work space: the triplets or rows of A are
 * checked and repaired, ordered to block lower-triangular form with spikes,
 * optionally equilibrated (D_r A D_c y = D_r b, x = D_c y), factored and
 * solved by the method chosen; a later call may reuse the ordering for new
 * values of the same pattern (ORDOPT 6) or solve new right-hand sides with
 * the factors kept by method 2 or 5 (METHOD 3 or 6).
 *
 * Arguments (by address):
 *   IW     in/out IWORD[SPENDE]  the work space seen as integers
 *   RW     in/out double[SPENDE] the same work space seen as reals (must be
 *                                the same array as IW)
 *   SPENDE in     IWORD          length of the work space in 8-byte words
 *   N      in/out IWORD          order; raised when the matrix has more
 *                                columns than rows or needs an extra row
 *   NZ     in/out IWORD          entry count; changed by merged repeats and
 *                                added repair entries
 *   IERR   out    IWORD          0, a warning 3-8 (repair made), or
 *     -1 column (or triplet row) index out of range, -2 impossible row count
 *     or negative N/NZ, -3..-6 fatal data faults (CHKMODE 1), -7 structurally
 *     singular, -8 numerically singular (or a solution that is not finite),
 *     -9 LOWMAX too small, -10 MAXA too small, -11 kept factors unusable,
 *     -12 previous ordering unusable,
 *     -13 SPENDE below the minimum, -14 IB not 1, -15 positions out of order
 *     or overlapping, -16 no room for the partition, -17 I4FAC not 1.
 * Options in ORVK_SPOPT1, ORVK_SPOPT2 (words 1-11, positions 13-20) and
 * ORVK_SPOPT4; the partition is left in ORVK_SPOPT2 words 13-53 (the
 * solution at word 21), the final entry count in ORVK_SPOPT3.
 * Work space: IW/RW itself, partitioned on every call; the least SPENDE is
 * about 9 (2.625 N + 0.75 NZ) + 90 words with I4FAC = 1 (more for METHOD
 * 2 and 5), times SPCFAC when that exceeds 1.
 * Cost: O(N + NZ) outside the ordering and the factorisation; the
 * factorisation costs O(fill) per row eliminated.
 * Method: maximum transversal (I. S. Duff, ACM TOMS 7 (1981) 315-330) and
 * strong components (R. E. Tarjan, SIAM J. Comput. 1 (1972) 146-160) for
 * the block form; spikes placed after the preassigned pivot procedures of
 * E. Hellerman and D. C. Rarick (Math. Programming 1 (1971) 195-216; P4,
 * Plenum (1972) 67-76); equilibration after A. R. Curtis and J. K. Reid,
 * J. Inst. Maths Applics 10 (1972) 118-124. */
extern "C" ORVK_API void ORVK_CONTRL(IWORD* IW, double* RW, const IWORD* SPENDE, IWORD* N,
                                     IWORD* NZ, IWORD* IERR) {
  using namespace orvika;
  if (IERR == nullptr) return;
  ORVK_SPOPT4_T& r = ORVK_SPOPT4;
  if (r.NRHSMX < 1 || r.NRHSMX > 2 || r.NRHS < 1 || r.NRHS > r.NRHSMX) r.NRHSMX = r.NRHS = 1;
  const IWORD unit = ORVK_SPOPT2.MSGUNIT;
  if (IW == nullptr || SPENDE == nullptr || N == nullptr || NZ == nullptr || *SPENDE < 1 ||
      (RW != nullptr && static_cast<void*>(RW) != static_cast<void*>(IW))) {
    if (unit > 0 && SPENDE != nullptr) msg_too_small(unit, *SPENDE);
    *IERR = kCtlNoPart;
    return;
  }
  if (const IWORD e = sp_check_i4fac(ORVK_SPOPT2.I4FAC, unit); e != 0) {
    *IERR = e;
    return;
  }
  Driver d(IW, *SPENDE, *N, *NZ, *IERR);
  d.run();
}
