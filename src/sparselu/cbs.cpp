// CBS, CBSLU1: method 4 of the sparse LU package, the column-segment
// factor-and-solve, and the elimination it shares with method 5.
//
// Rows are taken in pivot order.  Every column that has an entry on or to
// the right of the diagonal keeps a dense segment, from the first row that
// reaches it down to its own diagonal row, on a stack in the free part of
// IA.  Entries left of the diagonal are eliminated against the segments and
// the right-hand sides only; once a row's pivot is chosen its column is
// eliminated from the rows above at once (a Gauss-Jordan step restricted to
// the spike columns), or, when its segment is taller than CBSROW, kept at
// the top of IA and applied in a back substitution at the end.  The scheme
// needs nested spikes (of two columns active together the one activated
// earlier has the larger step), which the spike orderings produce.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sparselu/lumethods.hpp"
#include "frame/wspan.hpp"

namespace orvika {

void CBS(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ, IWORD MAXA,
         IV IRP, IV ICI, RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W18, IV W28, IV W35, IV W36,
         IWORD& IERR) {
  for (IWORD i = 1; i <= N; ++i) IORN(i) = std::abs(IORN.get(i));
  CBSLU1(N, MSGUNIT, PIVTL2, PIVTL1, CBSROW, NZ, MAXA, IRP, ICI, IA, X, B, NRHS, IORN, W18, W28,
         W35, W36, N >= 1 ? W28.sub(N + 1) : W28, IERR);
}

void CBSLU1(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ,
            IWORD MAXA, IV IRP, IV ICI, RV IA, RV X, RV B, IWORD NRHS, IV IORN, IV W18, IV W28,
            IV W35, IV W36, IV W18COPY, IWORD& IERR) {
  cbs_core(N, MSGUNIT, PIVTL2, PIVTL1, CBSROW, NZ, MAXA, IRP, ICI, IA, X, B, NRHS, IORN, W18, W28,
           W35, W36, W18COPY, nullptr, IERR);
}

// Column c, active or finished, has its entry of row r at IA(r + BASE(c))
// for FIRST(c) <= r <= its step; LIST(1..u) are the active columns in
// memory order, LIST(N), LIST(N-1), ... the finished (deferred) ones in pivot
// order.  W18 is the column-to-step map while the method runs.
//
// While the rows are eliminated, FIRST of a finished column also holds a
// link in its upper half (orders below 2^31): the next column finished
// after it with a smaller first row, or, while there is none, the flag
// kNoNext with the latest earlier column still without one (0 for none), so
// that those columns form a stack.  Following the links finds the finished
// columns that cover a row without reading every younger column: the
// deferred mode costs the work of its updates rather than the product of
// the row count and the number of finished columns.  The first rows alone
// are put back before the elimination returns.
namespace {

// The packed FIRST word of a finished column: the first row in the lower
// half, the link in the upper; links need orders below 2^31.
constexpr std::uint64_t kFirstMask = 0xffffffffULL;
constexpr std::uint64_t kNoNext = 0x80000000ULL;
constexpr IWORD kLinkLimit = IWORD{1} << 31;

inline IWORD first_row(IWORD word) {
  return static_cast<IWORD>(static_cast<std::uint64_t>(word) & kFirstMask);
}
inline std::uint64_t link_of(IWORD word) { return static_cast<std::uint64_t>(word) >> 32; }
inline IWORD packed(IWORD first, std::uint64_t link) {
  return static_cast<IWORD>(static_cast<std::uint64_t>(first) | link << 32);
}

// The common exit of cbs_core: the recording ends (PL, PC), W18 gets its
// entry value back and COPY the column-to-step map.  Its arguments are
// values, so that the elimination's counters never leave registers.
void cbs_finish(IWORD N, bool keep, CbsKeep K, IWORD PL, IWORD PC, IV W18, IV COPY) {
  if (keep) {
    K.W32(N + 1) = PL;
    K.W33(N + 1) = PC;
  }
  for (IWORD k = 1; k <= N; ++k) {
    const IWORD a = W18.get(k);
    W18(k) = COPY.get(k);
    COPY(k) = a;
  }
}

// X(FIRST+k) -= COL(k)·XT for k = 0..H-1: a column elimination applied to
// one right-hand side.
void col_to_rhs(RawSpan<double> col, IWORD h, RV X, IWORD first, double xt) {
  const RawSpan<double> x(X, first, h);
  for (IWORD k = 0; k < h; ++k) x.set(k, x.get(k) - col.get(k) * xt);
}

// C(k) := C(k) - P(k)·F for k = 0..H-1, on the bytes of two runs of words
// that do not overlap: the update of one column segment by the pivot
// column.  Where the compiler can, it is built twice, for processors with
// 256-bit vectors and for any other, and the loader picks one; either way
// each word gets the same product and difference (no fused multiply-add).
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__)
[[gnu::target_clones("avx2", "default")]]
#endif
void sub_scaled(unsigned char* c, const unsigned char* p, double f, IWORD h) {
  for (IWORD k = 0; k < h; ++k) {
    double x, y;
    std::memcpy(&x, c + k * static_cast<IWORD>(kWordBytes), sizeof x);
    std::memcpy(&y, p + k * static_cast<IWORD>(kWordBytes), sizeof y);
    x = x - y * f;
    std::memcpy(c + k * static_cast<IWORD>(kWordBytes), &x, sizeof x);
  }
}

// Segments at least this long are updated by sub_scaled; shorter ones in
// line, where the call would cost more than the wider vectors save.
constexpr IWORD kWideUpdate = 32;

// Appends the column elimination (FIRST+k, COL(k)), k = 0..H-1, to the
// recording at PC.  A stretch of exact zeros of one sign becomes one entry
// (row -(N + its first row), value its length, negative for -0.0), since
// x - 0·y leaves x as it is whenever 0·y is +0 (see CBSLU3).  False, with PC
// at the store that did not fit, when the recording runs out of room.
bool rec_column(const CbsKeep& K, IWORD N, IWORD first, RawSpan<double> col, IWORD h, IWORD& PC) {
  IWORD pc = PC;
  bool ok = true;
  // The stores go through runs of the two recording arrays made here, over
  // the positions PC..LOWMAX-1 this column may use (at most H).
  const IWORD room = std::min({h, K.LOWMAX - pc, K.W43.size() - pc + 1, K.W27.size() - pc + 1});
  const WSpan<IWORD> w43 = span(K.W43, pc, room > 0 ? room : 0);
  const WSpan<double> w27 = span(K.W27, pc, room > 0 ? room : 0);
  const IWORD lowmax = K.LOWMAX;
  for (IWORD k = 0; k < h;) {
    if (pc >= lowmax) {
      ok = false;
      break;
    }
    const double a = col.get(k);
    if (a != 0.0) {
      w43.set(pc, first + k);
      w27.set(pc, a);
      ++k;
    } else {
      const bool neg = std::signbit(a);
      // The stretch goes on while the words are this zero bit for bit, four
      // words to a test where there are four left.
      const std::uint64_t z = std::bit_cast<std::uint64_t>(a);
      auto other = [&](IWORD i) { return std::bit_cast<std::uint64_t>(col.get(i)) ^ z; };
      IWORD e = k + 1;
      while (e + 4 <= h && (other(e) | other(e + 1) | other(e + 2) | other(e + 3)) == 0) e += 4;
      while (e < h && other(e) == 0) ++e;
      w43.set(pc, -(N + first + k));
      w27.set(pc, static_cast<double>(neg ? k - e : e - k));
      k = e;
    }
    ++pc;
  }
  PC = pc;
  return ok;
}

}  // namespace

namespace {

// One call of cbs_core: its arguments, and one member function per step.
// run() reads as the method: check the room and the orderings, set up the
// maps and the permuted right-hand sides, eliminate row by row, apply the
// deferred columns, unscramble, and end the recording.
struct CbsCore {
  IWORD N, MSGUNIT;
  double PIVTL2, PIVTL1;
  IWORD CBSROW, NZ, MAXA;
  IV IRP, ICI;
  RV IA, X, B;
  IWORD NRHS;
  IV IORN, W18, BASE, FIRST, LIST, COPY;
  bool keep;
  // A copy of the recording's views: stores into the work space may alias
  // any memory the caller can see, but never this copy.
  CbsKeep K;
  std::string_view who;
  IWORD& IERR;

  void run();

 private:
  bool check_room();
  bool check_orders();
  void set_up();
  bool eliminate_rows(IWORD& nfin_out, IWORD& PL_out, IWORD& PC_out);
  bool back_substitute(IWORD nfin, IWORD& PC);
  void unscramble();
  IWORD choose_pivot(IWORD t, IWORD r, IWORD wa);
  bool misfit(std::string_view what);
  void fail_room(IWORD t);
  void fail_room_l(IWORD t);
};

void CbsCore::run() {
  if (N < 1) {
    if (keep) {
      K.W32(1) = 1;
      K.W33(1) = 1;
    }
    return;
  }
  if (!check_room() || !check_orders()) return;
  set_up();
  IWORD nfin = 0, PL = 1, PC = 1;
  if (eliminate_rows(nfin, PL, PC) && back_substitute(nfin, PC)) unscramble();
  // Every exit after set-up: the recording ends, W18 gets its entry value
  // back and COPY the column-to-step map.
  cbs_finish(N, keep, K, PL, PC, W18, COPY);
}

bool CbsCore::misfit(std::string_view what) {
  if (MSGUNIT > 0)
    sp_message(MSGUNIT, SpLine().t(what).tag(who),
               SpLine().t("THE PREVIOUS ORDERING MUST NOT BE USED"));
  IERR = kSpOrderBad;
  return false;
}

void CbsCore::fail_room(IWORD t) {
  // The first line ends in a blank for CBSLU1 only.
  if (MSGUNIT > 0)
    sp_message(MSGUNIT,
               SpLine().t("ELIMINATION TERMINATED AT ROW ").i(t).t(keep ? " BECAUSE NOT" : " BECAUSE NOT "),
               SpLine().t("ENOUGH SPACE; MAXA TOO SMALL").tag(who));
  IERR = kSpNoRoom;
}

void CbsCore::fail_room_l(IWORD t) {
  if (MSGUNIT > 0)
    sp_message(MSGUNIT, SpLine().t("ELIMINATION TERMINATED AT ROW ").i(t).t(" BECAUSE NOT"),
               SpLine().t("ENOUGH SPACE FOR L-MATRIX; LOWMAX TOO SMALL").tag(who));
  IERR = kSpNoRoomL;
}

// Room: the segments live in IA(NZ+1..MAXA) and the unscrambling uses
// IA(NZ+1..NZ+N).
bool CbsCore::check_room() {
  if (NZ < 0 || MAXA < NZ + N || MAXA > IA.size()) {
    if (MSGUNIT > 0)
      sp_message(MSGUNIT, SpLine().t("NOT ENOUGH SPACE; MAXA =").i(MAXA).t(" IS LESS THAN NZ + N =").i(NZ + N).tag(who));
    IERR = kSpNoRoom;
    return false;
  }
  return true;
}

// Row pointers inside 1..NZ+1, IORN and W18 permutations.
bool CbsCore::check_orders() {
  if (IRP.get(1) < 1 || IRP.get(N + 1) > NZ + 1) return misfit("ROW POINTERS OUT OF RANGE");
  for (IWORD r = 1; r <= N; ++r)
    if (IRP.get(r + 1) < IRP.get(r)) return misfit("ROW POINTERS OUT OF RANGE");
  for (IWORD c = 1; c <= N; ++c) {
    FIRST(c) = 0;
    BASE(c) = 0;
  }
  for (IWORD t = 1; t <= N; ++t) {
    const IWORD r = IORN.get(t);
    if (r < 1 || r > N || FIRST.get(r) != 0) return misfit("ROW ORDER IS NOT A PERMUTATION");
    FIRST(r) = t;
    const IWORD c = W18.get(t);
    if (c < 1 || c > N || BASE.get(c) != 0) return misfit("COLUMN ORDER IS NOT A PERMUTATION");
    BASE(c) = t;
  }
  return true;
}

// W18 becomes the column-to-step map (its entry value kept in COPY), the
// column state is cleared and X gets the right-hand sides in row order.
void CbsCore::set_up() {
  for (IWORD t = 1; t <= N; ++t) COPY(t) = W18.get(t);
  for (IWORD t = 1; t <= N; ++t) W18(COPY.get(t)) = t;
  for (IWORD c = 1; c <= N; ++c) {
    BASE(c) = 0;
    FIRST(c) = 0;
    LIST(c) = 0;
  }
  for (IWORD j = 1; j <= N; ++j) X(j) = B.get(IORN.get(j));
  if (NRHS >= 2)
    for (IWORD j = 1; j <= N; ++j) X(N + j) = B.get(N + IORN.get(j));
}

// Pivot of row t among the active columns LIST(1..wa): the column of step t
// when it passes the first test, else the last column (scanning backward)
// that passes the second, else the largest.  An exactly zero value is never
// taken.  0, with the singularity reported, when the row has no usable
// largest magnitude.
inline IWORD CbsCore::choose_pivot(IWORD t, IWORD r, IWORD wa) {
  auto at = [&](IWORD rr, IWORD c) { return IA(rr + BASE.get(c)); };
  // Largest magnitude of row t over the active columns.
  // Selects instead of branches on the values: the first position of the
  // largest magnitude, and whether any magnitude was NaN.
  double m = 0.0;
  IWORD jm = 1;
  bool nan = false;
  for (IWORD j = 1; j <= wa; ++j) {
    const double a = std::fabs(at(t, LIST.get(j)).get());
    const bool larger = a > m;
    m = larger ? a : m;
    jm = larger ? j : jm;
    nan = nan | std::isnan(a);
  }
  if (nan || !std::isfinite(m) || !(m > 1e-30)) {
    if (MSGUNIT > 0)
      sp_message(MSGUNIT, SpLine().t("MATRIX IS NUMERICALLY SINGULAR AT ROW ").i(r).tag(who));
    IERR = kSpNumSing;
    return 0;
  }
  IWORD q = 0;
  {
    const double v = at(t, LIST.get(wa));
    if (v != 0.0 && std::fabs(v) > PIVTL1 * m) q = wa;
  }
  if (q == 0) {
    for (IWORD j = wa; j >= 1; --j) {
      const double v = at(t, LIST.get(j));
      if (v != 0.0 && std::fabs(v) > PIVTL2 * m) {
        q = j;
        break;
      }
    }
    if (q == 0) q = jm;
  }
  return q;
}

// The row-by-row elimination, pivot choice and Gauss-Jordan step (or
// deferral) of every step t.  False when it stops on an error (reported);
// the finished-column count and the recording's ends are passed back either
// way.
bool CbsCore::eliminate_rows(IWORD& nfin_out, IWORD& PL_out, IWORD& PC_out) {
  // Local copies of the state the loop uses: stores into the work space may
  // alias the members, never these.
  const IWORD N = this->N, MSGUNIT = this->MSGUNIT, CBSROW = this->CBSROW;
  const IV IRP = this->IRP, ICI = this->ICI, IORN = this->IORN, W18 = this->W18;
  const IV BASE = this->BASE, FIRST = this->FIRST, LIST = this->LIST;
  const RV IA = this->IA, X = this->X;
  const bool keep = this->keep;
  const CbsKeep K = this->K;
  const std::string_view who = this->who;
  const bool two = NRHS >= 2;

  IWORD u = 0;         // active columns LIST(1..u)
  IWORD nfin = 0;      // finished columns LIST(N-nfin+1..N)
  IWORD nlink = 0;     // finished columns whose FIRST holds a link
  IWORD stk = 0;       // youngest finished column without a next smaller first row
  IWORD pfree = NZ + 1;
  IWORD ptop = MAXA + 1;
  IWORD PL = 1, PC = 1;
  const bool linked = N < kLinkLimit;

  auto at = [&](IWORD r, IWORD c) { return IA(r + BASE.get(c)); };
  // Finished column i (1 = the first finished) and its step.
  auto col_of = [&](IWORD i) { return LIST.get(N - i + 1); };
  auto step_of = [&](IWORD i) { return W18.get(col_of(i)); };
  // The first finished column whose step is after row r (nfin + 1 if none),
  // searched from the most recent, where it usually is.
  auto first_after = [&](IWORD r) {
    IWORD hi = nfin + 1, i = nfin, gap = 1;
    while (i >= 1 && step_of(i) > r) {
      hi = i;
      i -= gap;
      gap *= 2;
    }
    IWORD lo = i < 0 ? 0 : i;
    while (hi - lo > 1) {
      const IWORD mid = lo + (hi - lo) / 2;
      (step_of(mid) > r ? hi : lo) = mid;
    }
    return hi;
  };
  // Calls f(c) for every finished column c from the FROM-th on whose
  // segment starts at or before row r, in finishing order.
  auto each_cover = [&](IWORD from, IWORD r, auto&& f) __attribute__((always_inline)) {
    // FROM >= 1, and every link leads to a later column.
    for (IWORD i = from; i <= nlink;) {
      const IWORD c = col_of(i);
      const IWORD w = FIRST.get(c);
      if (first_row(w) <= r) {
        f(c);
        ++i;
      } else if (!linked) {
        ++i;
      } else {
        const std::uint64_t next = link_of(w);
        if (next & kNoNext) return;
        i = static_cast<IWORD>(next);
      }
    }
  };
  auto rec_l = [&](IWORD t, IWORD c, double v) {
    if (PL >= K.LOWMAX) {
      fail_room_l(t);
      return false;
    }
    K.W42(PL) = c;
    K.W26(PL) = v;
    ++PL;
    return true;
  };
  // Every return: the counters go back to the caller.
  auto stop = [&](bool ok) __attribute__((always_inline)) {
    for (IWORD i = 1; i <= nlink; ++i) {
      const IWORD c = col_of(i);
      FIRST(c) = first_row(FIRST.get(c));
    }
    nfin_out = nfin;
    PL_out = PL;
    PC_out = PC;
    return ok;
  };

  for (IWORD t = 1; t <= N; ++t) {
    const IWORD r = IORN.get(t);
    const IWORD w = u;
    if (keep) {
      K.W32(t) = PL;
      K.W33(t) = PC;
    }
    for (IWORD j = 1; j <= w; ++j) at(t, LIST.get(j)) = 0.0;
    IWORD minR = N + 1;  // the earliest step of a finished column this row touches

    const IWORD ke = IRP.get(r + 1);
    for (IWORD k = IRP.get(r); k < ke; ++k) {
      const IWORD c = ICI.get(k);
      if (c < 1 || c > N) {
        if (MSGUNIT > 0)
          sp_message(MSGUNIT, SpLine().t("COLUMN ").i(c).t(" IN ROW ").i(r).t(" DOES NOT FIT THE ORDERING").tag(who),
                     SpLine().t("THE PREVIOUS ORDERING MUST NOT BE USED"));
        IERR = kSpOrderBad;
        return stop(false);
      }
      const double a = IA.get(k);
      const IWORD s = W18.get(c);
      const IWORD fc = FIRST.get(c);
      if (s >= t) {
        if (fc == t) {
          // A second entry of a column this row activates: its first value
          // still sits in the matrix, so the repeat cannot be merged.
          if (MSGUNIT > 0)
            sp_message(MSGUNIT, SpLine().t("DUPLICATE INDEX ").i(c).t(" IN ROW ").i(r).tag(who),
                       SpLine().t("SHOULD HAVE BEEN FIXED BY DATA CHECKING ROUTINES"));
          IERR = kSpRepeated;
          return stop(false);
        }
        if (fc != 0) {
          at(t, c) += a;
        } else {
          FIRST(c) = t;
          BASE(c) = k;
          IWORD pos = u + 1;
          while (pos > w + 1 && W18.get(LIST.get(pos - 1)) <= s) {
            LIST(pos) = LIST.get(pos - 1);
            --pos;
          }
          LIST(pos) = c;
          ++u;
        }
      } else if (fc != 0) {
        at(s, c) += a;  // accumulator of a finished column
        minR = std::min(minR, s);
      } else {
        // Multiplier of pivot row s.
        for (IWORD j = 1; j <= w; ++j) {
          const IWORD c1 = LIST.get(j);
          if (s < FIRST.get(c1)) break;
          at(t, c1) -= a * at(s, c1).get();
        }
        // Finished columns covering row s (each its own accumulator, so the
        // order does not matter).
        each_cover(first_after(s), s, [&](IWORD c2) {
          const IWORD R = W18.get(c2);
          at(R, c2) -= a * at(s, c2).get();
          minR = std::min(minR, R);
        });
        X(t) = X.get(t) - a * X.get(s);
        if (two) X(N + t) = X.get(N + t) - a * X.get(N + s);
        if (keep && !rec_l(t, c, a)) return stop(false);
      }
    }

    // Finished columns with an entry in this row, oldest first.  Only those
    // from the earliest one touched on can be other than zero: an
    // accumulator is zero at the end of every row, and each one set below
    // belongs to a column finished after the one that sets it.
    for (IWORD i = minR <= N ? first_after(minR - 1) : nfin + 1; i <= nfin; ++i) {
      const IWORD c = col_of(i);
      const IWORD R = W18.get(c);
      const double p = at(R, c);
      if (p == 0.0) continue;
      at(R, c) = 0.0;
      for (IWORD jj = 1; jj <= w; ++jj) {
        const IWORD c1 = LIST.get(jj);
        if (R < FIRST.get(c1)) break;
        at(t, c1) -= p * at(R, c1).get();
      }
      each_cover(i + 1, R, [&](IWORD c2) { at(W18.get(c2), c2) -= p * at(R, c2).get(); });
      X(t) = X.get(t) - p * X.get(R);
      if (two) X(N + t) = X.get(N + t) - p * X.get(N + R);
      if (keep && !rec_l(t, c, p)) return stop(false);
    }

    // Segments for the columns this row activates, in list order.
    for (IWORD j = w + 1; j <= u; ++j) {
      const IWORD c = LIST.get(j);
      const IWORD len = W18.get(c) - t + 1;
      if (pfree + len > ptop) {
        fail_room(t);
        return stop(false);
      }
      IA(pfree) = IA.get(BASE.get(c));
      BASE(c) = pfree - t;
      pfree += len;
    }
    const IWORD wa = u;  // active columns of this row

    // The column of step t must be the last active one.
    if (wa == 0 || W18.get(LIST.get(wa)) != t) {
      if (wa == 0) {
        if (MSGUNIT > 0)
          sp_message(MSGUNIT, SpLine().t("MATRIX IS NUMERICALLY SINGULAR AT ROW ").i(r).tag(who));
        IERR = kSpNumSing;
      } else {
        if (MSGUNIT > 0)
          sp_message(MSGUNIT, SpLine().t("SPIKES ARE NOT NESTED AT ROW ").i(r).tag(who),
                     SpLine().t("THE PREVIOUS ORDERING MUST NOT BE USED"));
        IERR = kSpOrderBad;
      }
      return stop(false);
    }

    const IWORD q = choose_pivot(t, r, wa);
    if (q == 0) return stop(false);
    IWORD p = LIST.get(q);
    const IWORD S = FIRST.get(p);

    if (q != wa) {
      // Extend the columns after p down to row S, moving their segments up.
      IWORD D = 0;
      for (IWORD j = q + 1; j <= wa; ++j) D += FIRST.get(LIST.get(j)) - S;
      if (pfree + D > ptop) {
        fail_room(t);
        return stop(false);
      }
      IWORD shift = D;
      for (IWORD j = wa; j > q && shift > 0; --j) {
        const IWORD c = LIST.get(j);
        const IWORD fc = FIRST.get(c);
        const IWORD b = BASE.get(c);
        IA.move(fc + b, fc + b + shift, t - fc + 1);
        const IWORD nb = b + shift;
        for (IWORD rr = S; rr < fc; ++rr) IA(rr + nb) = 0.0;
        BASE(c) = nb;
        FIRST(c) = S;
        shift -= fc - S;
      }
      for (IWORD j = q + 1; j <= wa; ++j) FIRST(LIST.get(j)) = S;
      pfree += D;
      // Exchange p with the last column o: values, places, steps, bases.
      const IWORD o = LIST.get(wa);
      const IWORD bp = BASE.get(p);
      const IWORD bo = BASE.get(o);
      for (IWORD rr = S; rr <= t; ++rr) {
        const double a = IA.get(rr + bp);
        IA(rr + bp) = IA.get(rr + bo);
        IA(rr + bo) = a;
      }
      LIST(wa) = p;
      LIST(q) = o;
      const IWORD sp = W18.get(p);
      W18(p) = W18.get(o);
      W18(o) = sp;
      BASE(p) = bo;
      BASE(o) = bp;
    }

    // Row t of U: scale by the reciprocal of the pivot.
    const double g = 1.0 / at(t, p).get();
    for (IWORD j = 1; j < wa; ++j) at(t, LIST.get(j)) *= g;
    X(t) = X.get(t) * g;
    if (two) X(N + t) = X.get(N + t) * g;
    u = wa - 1;
    if (keep && !rec_l(t, p, g)) return stop(false);

    if (t - S > CBSROW) {
      // Deferred: keep rows F..t of the column at the top of IA.
      ++nfin;
      LIST(N - nfin + 1) = p;
      const IWORD bp = BASE.get(p);
      pfree = S + bp;
      IWORD F = S;
      while (F < t && IA.get(F + bp) == 0.0) ++F;
      const IWORD ntop = ptop - (t - F + 1);
      if (ntop < pfree) {
        fail_room(t);
        return stop(false);
      }
      IA.move(F + bp, ntop, t - F + 1);
      ptop = ntop;
      BASE(p) = ptop - F;
      at(t, p) = 0.0;
      // Link it: it is the next smaller first row of every column without
      // one whose first row is larger.
      nlink = nfin;
      if (linked) {
        while (stk != 0) {
          const IWORD c = col_of(stk);
          const IWORD w = FIRST.get(c);
          if (first_row(w) <= F) break;
          FIRST(c) = packed(first_row(w), static_cast<std::uint64_t>(nlink));
          stk = static_cast<IWORD>(link_of(w) & ~kNoNext);
        }
        FIRST(p) = packed(F, kNoNext | static_cast<std::uint64_t>(stk));
        stk = nlink;
      } else {
        FIRST(p) = F;
      }
    } else {
      if (S < t) {
        // Gauss-Jordan step over rows S..t-1: the other active columns, the
        // right-hand sides, then the recording of the pivot column.
        const IWORD h = t - S;
        const RawSpan<double> colp(IA, S + BASE.get(p), h);
        for (IWORD j = 1; j <= u; ++j) {
          const IWORD bc = BASE.get(LIST.get(j));
          const double f = IA.get(t + bc);
          if (f == 0.0) continue;
          const RawSpan<double> colc(IA, S + bc, h);
          if (h >= kWideUpdate) {
            sub_scaled(colc.bytes(0), colp.bytes(0), f, h);
          } else {
            for (IWORD k = 0; k < h; ++k) colc.set(k, colc.get(k) - colp.get(k) * f);
          }
        }
        col_to_rhs(colp, h, X, S, X.get(t));
        if (two) col_to_rhs(colp, h, X, N + S, X.get(N + t));
        if (keep && !rec_column(K, N, S, colp, h, PC)) {
          fail_room_l(t);
          return stop(false);
        }
      }
      pfree = S + BASE.get(p);
      FIRST(p) = 0;
    }
  }
  return stop(true);
}

// Deferred back substitution, most recently finished column first.  The
// recording marks each group with its step and length.  False when the
// recording runs out of room (reported).
bool CbsCore::back_substitute(IWORD nfin, IWORD& PC) {
  const bool two = NRHS >= 2;
  for (IWORD j = N - nfin + 1; j <= N; ++j) {
    const IWORD c = LIST.get(j);
    const IWORD R = W18.get(c);
    const IWORD F = FIRST.get(c);
    if (F >= R) continue;
    if (keep) {
      if (PC >= K.LOWMAX) {
        fail_room_l(R);
        return false;
      }
      K.W43(PC) = -R;
      K.W27(PC) = static_cast<double>(R - F);
      ++PC;
    }
    const IWORD h = R - F;
    const RawSpan<double> col(IA, F + BASE.get(c), h);
    col_to_rhs(col, h, X, F, X.get(R));
    if (two) col_to_rhs(col, h, X, N + F, X.get(N + R));
    if (keep && !rec_column(K, N, F, col, h, PC)) {
      fail_room_l(R);
      return false;
    }
  }
  return true;
}

// Unscramble through IA(NZ+1..NZ+N): X goes from step order to column order.
void CbsCore::unscramble() {
  for (IWORD c = 1; c <= N; ++c) IA(NZ + c) = X.get(W18.get(c));
  for (IWORD c = 1; c <= N; ++c) X(c) = IA.get(NZ + c);
  if (NRHS >= 2) {
    for (IWORD c = 1; c <= N; ++c) IA(NZ + c) = X.get(N + W18.get(c));
    for (IWORD c = 1; c <= N; ++c) X(N + c) = IA.get(NZ + c);
  }
}

}  // namespace

void cbs_core(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ,
              IWORD MAXA, IV IRP, IV ICI, RV IA, RV X, RV B, IWORD NRHS, IV IORN, IV W18, IV BASE,
              IV FIRST, IV LIST, IV COPY, CbsKeep* KEEP, IWORD& IERR) {
  const bool keep = KEEP != nullptr;
  CbsCore core{N,    MSGUNIT, PIVTL2, PIVTL1, CBSROW, NZ,    MAXA, IRP,  ICI,
               IA,   X,       B,      NRHS,   IORN,   W18,   BASE, FIRST, LIST,
               COPY, keep,    keep ? *KEEP : CbsKeep{}, keep ? "CBSLU2" : "CBSLU1", IERR};
  core.run();
}

}  // namespace orvika
