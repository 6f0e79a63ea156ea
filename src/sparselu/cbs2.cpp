// CBS2, CBSLU2, CBSLU3: methods 5 and 6 of the sparse LU package.  Method
// 5 is the column-segment elimination of method 4 recording every operation
// it applies to the right-hand side (the L rows of each step and the column
// eliminations); method 6 replays the recording on new right-hand sides, in
// the same order and with the same operands, so that it reproduces the
// solution of method 5 bit for bit.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sparselu/lumethods.hpp"
#include "frame/wspan.hpp"

namespace orvika {

void CBS2(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ, IWORD MAXA,
          IV IRP, IV ICI, RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W18, IV W37, IV W28, IV W32,
          IV W42, RV W26, IWORD LOWMAX, IV W33, IV W43, RV W27, IV W35, IV W36, IWORD& IERR) {
  for (IWORD i = 1; i <= N; ++i) IORN(i) = std::abs(IORN.get(i));
  CBSLU2(N, MSGUNIT, PIVTL2, PIVTL1, CBSROW, NZ, MAXA, IRP, ICI, IA, X, B, NRHS, IORN, W18, W28,
         W35, W36, W37, W32, W42, W26, LOWMAX, W33, W43, W27, IERR);
}

void CBSLU2(IWORD N, IWORD MSGUNIT, double PIVTL2, double PIVTL1, IWORD CBSROW, IWORD NZ,
            IWORD MAXA, IV IRP, IV ICI, RV IA, RV X, RV B, IWORD NRHS, IV IORN, IV W18, IV W28,
            IV W35, IV W36, IV W37, IV W32, IV W42, RV W26, IWORD LOWMAX, IV W33, IV W43, RV W27,
            IWORD& IERR) {
  CbsKeep keep{W32, W42, W26, LOWMAX, W33, W43, W27};
  cbs_core(N, MSGUNIT, PIVTL2, PIVTL1, CBSROW, NZ, MAXA, IRP, ICI, IA, X, B, NRHS, IORN, W18, W28,
           W35, W36, W37, &keep, IERR);
}

namespace {

// Y(I) -= COL·Y(SC) for the entries (I, COL) of CI/CV from K on, up to the
// first entry whose row is not in 1..N (second right-hand side at Y(N+I)
// with TWO); returns the position of the last entry applied.  The factor
// Y(SC) is held in a register and follows a store into Y(SC) itself, so
// that every entry reads the value the entry-by-entry loop would read.
template <bool TWO>
IWORD replay_rows(const RawSpan<IWORD>& ci, const RawSpan<double>& cv, IWORD k, IWORD nc, IWORD N,
                  IWORD sc, const RawSpan<double>& y) {
  double f1 = y.get(sc - 1);
  double f2 = TWO ? y.get(N + sc - 1) : 0.0;
  for (; k < nc; ++k) {
    const IWORD i = ci.get(k);
    if (static_cast<std::uint64_t>(i - 1) >= static_cast<std::uint64_t>(N)) break;
    const double col = cv.get(k);
    const double v1 = y.get(i - 1) - col * f1;
    y.set(i - 1, v1);
    if (TWO) {
      const double v2 = y.get(N + i - 1) - col * f2;
      y.set(N + i - 1, v2);
      if (i == sc) f2 = v2;
    }
    if (i == sc) f1 = v1;
  }
  return k - 1;
}

// A stretch of zero multipliers applied as the elimination applied it:
// Y(K) -= P for K = 0..H-1, where P is the product 0·y of the stretch
// (a signed zero or a NaN), over the words at Y.
void sub_stretch(unsigned char* y, double p, IWORD h) {
  for (IWORD k = 0; k < h; ++k) {
    double v;
    std::memcpy(&v, y + k * static_cast<IWORD>(kWordBytes), sizeof v);
    v = v - p;
    std::memcpy(y + k * static_cast<IWORD>(kWordBytes), &v, sizeof v);
  }
}

}  // namespace

void CBSLU3(IWORD N, IWORD MSGUNIT, RV B, IWORD NRHS, RV X, IV W37, IV IORN, IV W32, IV W42,
            RV W26, IV W33, IV W43, RV W27, IV W41, IWORD& IERR) {
  cbs_replay(N, MSGUNIT, B, NRHS, X, W37, IORN, W32, W42, W26, W33, W43, W27, W41, IERR, nullptr);
}

// The replay works on the value of each step, B(IORN(s)) (second
// right-hand side at B(N+IORN(s))), kept in step order in X while it runs;
// B ends as if worked on in place.  A replay that stops at a broken entry
// leaves X as scratch.
void cbs_replay(IWORD N, IWORD MSGUNIT, RV B, IWORD NRHS, RV X, IV W37, IV IORN, IV W32, IV W42,
                RV W26, IV W33, IV W43, RV W27, IV W41, IWORD& IERR, ReplayFuse* FUSE) {
  const bool two = NRHS >= 2;
  const RV* RS = FUSE ? FUSE->RS : nullptr;
  const RV* CS = FUSE ? FUSE->CS : nullptr;
  // B scaled in place, where the replay stops before reading it.
  auto scale_b = [&]() { replay_scale_b(FUSE, N, two, B); };
  if (N < 1) return;
  constexpr std::string_view kHead = "LU FACTORS SHOULD NOT BE USED";
  if (!kept_flags_ok(N, MSGUNIT, W41, kHead, "ORIGINAL MATRIX HAD EMPTY ROWS AND/OR COLUMNS",
                     "CBSLU3", IERR))
    return scale_b();
  auto refuse = [&]() { kept_factors_bad(MSGUNIT, kHead, "CBSLU3", IERR); };
  auto refuse_unread = [&]() {
    scale_b();
    refuse();
  };
  const bool maps_checked = FUSE && FUSE->maps_checked;
  if (!maps_checked)
    for (IWORD k = 1; k <= N; ++k) {
      const IWORD s = W37.get(k);
      const IWORD r = IORN.get(k);
      if (s < 1 || s > N || r < 1 || r > N) return refuse_unread();
    }
  if (W32.get(1) != 1 || W33.get(1) != 1) return refuse_unread();
  for (IWORD k = 1; k <= N; ++k)
    if (W32.get(k + 1) < W32.get(k) || W33.get(k + 1) < W33.get(k)) return refuse_unread();
  if (W32.get(N + 1) - 1 > std::min(W42.size(), W26.size()) ||
      W33.get(N + 1) - 1 > std::min(W43.size(), W27.size()))
    return refuse_unread();

  const IWORD nv = two ? 2 * N : N;
  const RawSpan<IWORD> iorn(IORN, 1, N);
  const RawSpan<double> b(B, 1, nv);
  // The replay runs in step order in X (y(s) = X(s) is the value of step s,
  // B(IORN(s)) of the elimination), so that its loops read and write
  // consecutive words; B receives the values back at the end, or where the
  // replay stops, as if they had been worked on in place.  IORN must be a
  // permutation for that: X marks its rows first (unless known already).
  const RawSpan<double> y(X, 1, nv);
  if (!maps_checked) {
    for (IWORD k = 0; k < N; ++k) y.set(k, 0.0);
    for (IWORD k = 0; k < N; ++k) {
      const IWORD r = iorn.get(k);
      if (y.get(r - 1) != 0.0) return refuse_unread();
      y.set(r - 1, 1.0);
    }
  }
  if (RS) {
    const RawSpan<double> rs(*RS, 1, N);
    for (IWORD o = 0; o < nv; o += N)
      for (IWORD k = 0; k < N; ++k) {
        const IWORD r = iorn.get(k) - 1;
        y.set(o + k, b.get(o + r) * rs.get(r));
      }
  } else {
    for (IWORD o = 0; o < nv; o += N)
      for (IWORD k = 0; k < N; ++k) y.set(o + k, b.get(o + iorn.get(k) - 1));
  }
  auto to_b = [&]() {
    for (IWORD o = 0; o < nv; o += N)
      for (IWORD k = 0; k < N; ++k) b.set(o + iorn.get(k) - 1, y.get(o + k));
  };
  const RawSpan<IWORD> w37(W37, 1, N);
  for (IWORD j = 1; j <= N; ++j) {
    const IWORD lb = W32.get(j);
    const IWORD le = W32.get(j + 1);
    if (le <= lb) {
      to_b();
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t("ROW ").i(j).t(" OF L MATRIX IS EMPTY").tag("CBSLU3"));
      IERR = kSpEmptyRow;
      return;
    }
    const double v = W26.get(le - 1);  // reciprocal of the pivot
    if (!std::isfinite(v) || !(std::fabs(1.0 / v) > 1e-30)) {
      to_b();
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t("MATRIX IS NUMERICALLY SINGULAR AT ROW ").i(j).tag("CBSLU3"));
      IERR = kSpNumSing;
      return;
    }
    const IWORD nl = le - 1 - lb;
    const RawSpan<IWORD> lc(W42, lb, nl);
    const RawSpan<double> lv(W26, lb, nl);
    double y1 = y.get(j - 1);
    double y2 = two ? y.get(N + j - 1) : 0.0;
    for (IWORD k = 0; k < nl; ++k) {
      const IWORD c = lc.get(k);
      if (c < 1 || c > N) {
        to_b();
        return refuse();
      }
      const IWORD s = w37.get(c - 1);
      const double l = lv.get(k);
      y1 = y1 - l * y.get(s - 1);
      if (two) y2 = y2 - l * y.get(N + s - 1);
    }
    y.set(j - 1, y1 * v);
    if (two) y.set(N + j - 1, y2 * v);

    // Column eliminations of step j; after step N's own entries come the
    // groups of the deferred back substitution, each behind its head entry.
    // A stretch of zero multipliers of one sign (row -(N + first row),
    // value its length, negative for -0.0) changes nothing when the
    // product 0·y is +0, that is when y is finite and of the zeros' sign:
    // x - (+0) is x for every x (a signalling NaN aside, which it would
    // quiet).  Otherwise (y infinite or NaN, or a product -0, which turns
    // a -0 into +0) the stretch is applied as the elimination applied it.
    IWORD sc = j;  // step whose value the entries multiply
    const IWORD cb = W33.get(j);
    const IWORD nc = W33.get(j + 1) - cb;
    const RawSpan<IWORD> ci(W43, cb, nc);
    const RawSpan<double> cv(W27, cb, nc);
    for (IWORD k = 0; k < nc; ++k) {
      const IWORD i = ci.get(k);
      if (i >= 1 && i <= N) {
        // The run of row entries from here on, in one pass.
        k = two ? replay_rows<true>(ci, cv, k, nc, N, sc, y) : replay_rows<false>(ci, cv, k, nc, N, sc, y);
      } else if (i < -N && i >= -2 * N) {
        const IWORD f = -i - N;
        const double len = cv.get(k);
        const IWORD h = static_cast<IWORD>(std::fabs(len));
        if (!(static_cast<double>(h) == std::fabs(len) && h >= 1 && h <= N - f + 1)) {
          to_b();
          return refuse();
        }
        const double zero = std::copysign(0.0, len);
        for (IWORD o = 0; o < nv; o += N) {
          const double yc = y.get(o + sc - 1);
          if (std::isfinite(yc) && std::signbit(yc) == std::signbit(zero)) continue;
          sub_stretch(y.bytes(o + f - 1), zero * yc, h);
        }
      } else if (j == N && i <= -1 && i >= -N) {
        sc = -i;
      } else {
        to_b();
        return refuse();
      }
    }
  }
  // The solution by column: X(c) is the value of step W37(c).
  const RawSpan<double> cs(CS ? *CS : X, 1, CS ? N : 0);
  if (FUSE && FUSE->b_scratch) {
    // B is scratch: the step values go there in step order.
    for (IWORD k = 0; k < nv; ++k) b.set(k, y.get(k));
    for (IWORD o = 0; o < nv; o += N)
      for (IWORD c = 0; c < N; ++c) {
        const double x = b.get(o + w37.get(c) - 1);
        y.set(o + c, CS ? x * cs.get(c) : x);
      }
  } else {
    to_b();
    for (IWORD o = 0; o < nv; o += N)
      for (IWORD c = 0; c < N; ++c) {
        const double x = b.get(o + iorn.get(w37.get(c) - 1) - 1);
        y.set(o + c, CS ? x * cs.get(c) : x);
      }
  }
  if (FUSE && CS) FUSE->scaled_x = true;
}

}  // namespace orvika
