// TALLY, SPTRAN, TRIANG, SORDR1, SORDR2, SPIKE: the spike orderings 1 to 4
// of the sparse LU package.
//
// Row singletons go first, the rows of column singletons last, the bump in
// between by a least-count rule; SPIKE then gives every row its pivot column
// with the spikes as late in their block as possible, in the manner of the
// preassigned pivot procedures (E. Hellerman and D. C. Rarick, "Reinversion
// with the preassigned pivot procedure", Math. Programming 1 (1971) 195-216).
#include <algorithm>
#include <cstdint>

#include "sparselu/sparselu.hpp"

namespace orvika {

namespace {

// The pattern is a row-form matrix of order N with NZ entries and column
// indices in 1..N; returns 0 or the code of the first defect.
IWORD check_pattern(IWORD N, IWORD NZ, IV IRP, IV ICI) {
  if (IRP.size() < N + 1 || ICI.size() < NZ) return kSpNoRoom;
  if (IRP(1) != 1 || IRP(N + 1) != NZ + 1) return kSpRowCount;
  for (IWORD i = 1; i <= N; ++i)
    if (IRP(i + 1) < IRP(i)) return kSpRowCount;
  for (IWORD k = 1; k <= NZ; ++k) {
    const IWORD j = ICI(k);
    if (j < 1) return kSpColLow;
    if (j > N) return kSpColHigh;
  }
  return 0;
}

// |IORN(1..N)| is a permutation of 1..N (MARK: N words of scratch).
bool signed_permutation(IWORD N, IV IORN, IV MARK) {
  MARK.fill(1, N, 0);
  for (IWORD k = 1; k <= N; ++k) {
    const IWORD v = IORN(k);
    if (v == 0 || v < -N || v > N) return false;
    const IWORD r = v < 0 ? -v : v;
    if (MARK(r) != 0) return false;
    MARK(r) = 1;
  }
  return true;
}

// S(r): the free-row counts of the free columns of row r.
IWORD column_weight(IWORD r, IV IRP, IV ICI, IV CCNT) {
  IWORD s = 0;
  for (IWORD p = IRP(r); p < IRP(r + 1); ++p) {
    const IWORD c = CCNT(ICI(p));
    if (c > 0) s += c;
  }
  return s;
}

// Two indices below kPackLimit share one word: the low half holds the first,
// the high half the second.
constexpr IWORD kPackLimit = (IWORD(1) << 31) - 2;
constexpr IWORD kLowMask = (IWORD(1) << 32) - 1;
// Segments shorter than this are scanned: setting up the bins costs more
// than the scans they would save.
constexpr IWORD kBinMinRows = 48;
inline IWORD low_half(IWORD w) { return w & kLowMask; }
inline IWORD high_half(IWORD w) { return static_cast<IWORD>(static_cast<std::uint64_t>(w) >> 32); }
inline IWORD pack_halves(IWORD lo, IWORD hi) {
  return static_cast<IWORD>(static_cast<std::uint64_t>(lo) | (static_cast<std::uint64_t>(hi) << 32));
}

// Shared body of SORDR1 and SORDR2; MARK empty selects rule 1.
//
// Within a segment the rows are kept sorted by count in the positions of
// IORN that the segment occupies (low halves of the words), one bin per
// count, the start of the bin of count c in the high half of IORN(first+c);
// LINK(r) holds the position of row r (low half) and its place in the
// starting segment order (high half), which decides ties exactly as a scan
// in segment order would. A count that falls moves the row to the front of
// its bin, which is then the end of the bin below, so the least count and the
// rows holding it are found without scanning the segment. Placed rows gather
// in bin 0. IORN is rewritten from the row chain at the end, so the segment
// positions are free to use. Short segments, segments whose counts do not
// fit the bins and orders too large to pack are scanned at each step.
// Rule 2 lists the rows met by a candidate in the high halves of MARK(1..).
void bump_order(IWORD N, IWORD KF, IWORD KL, IWORD& RTAIL, IWORD& CTAIL, IWORD& RTAIL2, IV IRP,
                IV ICI, IV IORN, IV CP, IV RI, IV RCNT, IV CCNT, IV LINK, IV MARK) {
  const bool rule2 = !MARK.empty();
  if (rule2) MARK.fill(1, N, 0);
  const bool packable = N < kPackLimit;

  // Bins of the current segment (active while binned is true).
  bool binned = false;
  IWORD first = KF;
  IWORD last = KF;
  auto bin_start = [&](IWORD c) { return high_half(IORN(first + c)); };
  auto set_bin_start = [&](IWORD c, IWORD v) {
    IORN(first + c) = pack_halves(low_half(IORN(first + c)), v);
  };
  auto in_bins = [&](IWORD r) {
    const IWORD w = low_half(LINK(r));
    return w >= first && w <= last && low_half(IORN(w)) == r;
  };
  // Row r of count c >= 1 moves to the bin of count c-1.
  auto move_down = [&](IWORD r, IWORD c) {
    const IWORD p = low_half(LINK(r));
    const IWORD f = bin_start(c);
    const IWORD r2 = low_half(IORN(f));
    IORN(p) = pack_halves(r2, high_half(IORN(p)));
    IORN(f) = pack_halves(r, high_half(IORN(f)));
    LINK(r2) = pack_halves(p, high_half(LINK(r2)));
    LINK(r) = pack_halves(f, high_half(LINK(r)));
    set_bin_start(c, f + 1);
  };
  auto remove_row = [&](IWORD r, IWORD c) {
    for (; c >= 1; --c) move_down(r, c);
  };
  IWORD cmin = 1;

  // Places row r with all its free columns; new singletons go on the list.
  IWORD head = 0;
  auto place = [&](IWORD r) {
    RCNT(r) = -RTAIL;
    RTAIL = r;
    for (IWORD p = IRP(r); p < IRP(r + 1); ++p) {
      const IWORD j = ICI(p);
      if (CCNT(j) <= 0) continue;
      CCNT(j) = -CTAIL;
      CTAIL = j;
      for (IWORD q = CP(j); q < CP(j + 1); ++q) {
        const IWORD r2 = RI(q);
        if (RCNT(r2) <= 0) continue;
        const IWORD cnt = RCNT(r2) - 1;
        if (binned && in_bins(r2)) {
          if (cnt <= 1) {
            remove_row(r2, cnt + 1);
          } else {
            move_down(r2, cnt + 1);
            if (cnt < cmin) cmin = cnt;
          }
        }
        if (cnt == 0) {
          RCNT(r2) = -RTAIL;
          RTAIL = r2;
        } else {
          RCNT(r2) = cnt;
          if (cnt == 1) {
            LINK(r2) = -head;
            head = r2;
          }
        }
      }
    }
  };
  auto place_with_singletons = [&](IWORD best) {
    place(best);
    while (head != 0) {
      const IWORD r = head;
      head = -LINK(r);
      if (RCNT(r) == 1) place(r);
    }
  };

  // Rule 2's look at the rows that share free columns with candidate r:
  // D = the least count a neighbour keeps after r is placed, K = how many
  // neighbours keep it.  MARK(r2) counts the free columns r2 shares with r
  // (its low half where words pack); the rows met are listed in the high
  // halves of MARK(1..) or, for orders too large to pack, in LINK(1..).
  auto neighbour_rule = [&](IWORD r, IWORD& d, IWORD& kd) {
    auto met = [&](IWORD r2) { return packable ? low_half(MARK(r2)) : MARK(r2); };
    IWORD nmet = 0;
    for (IWORD p = IRP(r); p < IRP(r + 1); ++p) {
      const IWORD j = ICI(p);
      if (CCNT(j) <= 0) continue;
      for (IWORD q = CP(j); q < CP(j + 1); ++q) {
        const IWORD r2 = RI(q);
        if (r2 == r || RCNT(r2) <= 0) continue;
        if (met(r2) == 0) {
          ++nmet;
          if (packable)
            MARK(nmet) = pack_halves(low_half(MARK(nmet)), r2);
          else
            LINK(nmet) = r2;
        }
        ++MARK(r2);
      }
    }
    d = N + 1;
    kd = 0;
    for (IWORD t = 1; t <= nmet; ++t) {
      const IWORD r2 = packable ? high_half(MARK(t)) : LINK(t);
      const IWORD left = RCNT(r2) - met(r2);
      if (left < d) {
        d = left;
        kd = 1;
      } else if (left == d) {
        ++kd;
      }
      MARK(r2) = packable ? pack_halves(0, high_half(MARK(r2))) : 0;
    }
    if (packable)
      for (IWORD t = 1; t <= nmet; ++t) MARK(t) = 0;
  };

  while (first <= KL) {
    last = first;
    while (last < KL && IORN(last) >= 0) ++last;
    if (IORN(last) < 0) IORN(last) = -IORN(last);
    const IWORD len = last - first + 1;

    IWORD maxc = 0;
    for (IWORD k = first; k <= last; ++k) maxc = std::max<IWORD>(maxc, RCNT(IORN(k)));
    binned = packable && len >= kBinMinRows && maxc + 2 <= len;

    if (binned) {
      // Counting sort of the segment rows into the bins: the high halves
      // first count the rows of each bin, then serve as cursors, and are
      // finally shifted into bin starts.
      for (IWORD c = 0; c <= maxc + 1; ++c) set_bin_start(c, 0);
      for (IWORD k = first; k <= last; ++k) {
        const IWORD c = std::max<IWORD>(RCNT(low_half(IORN(k))), 0);
        set_bin_start(c, bin_start(c) + 1);
      }
      IWORD at = first;
      for (IWORD c = 0; c <= maxc + 1; ++c) {
        const IWORD n = bin_start(c);
        set_bin_start(c, at);
        at += n;
      }
      for (IWORD k = first; k <= last; ++k) {
        const IWORD r = low_half(IORN(k));
        const IWORD c = std::max<IWORD>(RCNT(r), 0);
        const IWORD p = bin_start(c);
        set_bin_start(c, p + 1);
        LINK(r) = pack_halves(p, k);
      }
      for (IWORD c = maxc + 1; c >= 1; --c) set_bin_start(c, bin_start(c - 1));
      set_bin_start(0, first);
      // Every row to its position, one cycle of the permutation at a time.
      for (IWORD k = first; k <= last; ++k) {
        for (;;) {
          const IWORD r = low_half(IORN(k));
          const IWORD p = low_half(LINK(r));
          if (p == k) break;
          const IWORD r2 = low_half(IORN(p));
          IORN(p) = pack_halves(r, high_half(IORN(p)));
          IORN(k) = pack_halves(r2, high_half(IORN(k)));
        }
      }
      cmin = 1;

      for (;;) {
        while (cmin <= maxc && bin_start(cmin) == bin_start(cmin + 1)) ++cmin;
        if (cmin > maxc) break;
        const IWORD m = cmin;
        IWORD best = 0, sbest = -1, obest = 0, dbest = N + 1, kbest = 0;
        for (IWORD k = bin_start(m); k < bin_start(m + 1); ++k) {
          const IWORD r = low_half(IORN(k));
          const IWORD s = column_weight(r, IRP, ICI, CCNT);
          const IWORD o = high_half(LINK(r));
          if (!rule2) {
            // The heaviest columns win, the later row on a tie.
            if (s > sbest || (s == sbest && o > obest)) {
              best = r;
              sbest = s;
              obest = o;
            }
            continue;
          }
          IWORD d, kd;
          neighbour_rule(r, d, kd);
          // Least D, then most K, then heaviest columns, the earlier row on a
          // full tie.
          if (best == 0 || d < dbest || (d == dbest && kd > kbest) ||
              (d == dbest && kd == kbest && s > sbest) ||
              (d == dbest && kd == kbest && s == sbest && o < obest)) {
            best = r;
            dbest = d;
            kbest = kd;
            sbest = s;
            obest = o;
          }
        }
        remove_row(best, m);
        place_with_singletons(best);
      }
      binned = false;
      first = last + 1;
      continue;
    }

    // Scanning form: the whole segment is searched at each step.
    for (;;) {
      IWORD m = 0;
      for (IWORD k = first; k <= last; ++k) {
        const IWORD c = RCNT(IORN(k));
        if (c > 0 && (m == 0 || c < m)) m = c;
      }
      if (m == 0) break;

      IWORD best = 0;
      IWORD sbest = -1;
      IWORD dbest = N + 1;
      IWORD kbest = 0;
      for (IWORD k = first; k <= last; ++k) {
        const IWORD r = IORN(k);
        if (RCNT(r) != m) continue;
        const IWORD s = column_weight(r, IRP, ICI, CCNT);
        if (!rule2) {
          if (s >= sbest) {
            best = r;
            sbest = s;
          }
          continue;
        }
        IWORD d, kd;
        neighbour_rule(r, d, kd);
        if (best == 0 || d < dbest || (d == dbest && kd > kbest) ||
            (d == dbest && kd == kbest && s > sbest)) {
          best = r;
          dbest = d;
          kbest = kd;
          sbest = s;
        }
      }
      place_with_singletons(best);
    }
    first = last + 1;
  }

  // The column-singleton rows come last, latest placed first.
  for (IWORD t = RTAIL2; t != 0;) {
    const IWORD next = -RCNT(t);
    RCNT(t) = -RTAIL;
    RTAIL = t;
    t = next;
  }
  RTAIL2 = 0;
  IWORD r = RTAIL;
  for (IWORD k = KL; k >= KF && r != 0; --k) {
    IORN(k) = r;
    r = -RCNT(r);
  }
}

}  // namespace

void SPTRAN(IWORD N, IWORD NZ, IV IRP, IV ICI, IV IORN, IV W18, IV CP, IV RI, IV RCNT, IV CCNT) {
  for (IWORD j = 1; j <= N; ++j) {
    CCNT(j) = 0;
    W18(j) = j;
  }
  for (IWORD k = 1; k <= NZ; ++k) ++CCNT(ICI(k));
  CP(1) = 1;
  if (N >= 1) CP(2) = 1;
  for (IWORD j = 1; j <= N - 1; ++j) CP(j + 2) = CP(j + 1) + CCNT(j);
  for (IWORD i = 1; i <= N; ++i) {
    RCNT(i) = IRP(i + 1) - IRP(i);
    for (IWORD p = IRP(i); p < IRP(i + 1); ++p) {
      const IWORD j = ICI(p);
      RI(CP(j + 1)) = i;
      ++CP(j + 1);
    }
  }
}

void TRIANG(IWORD N, IWORD NZ, IWORD KF, IWORD KL, IWORD& TAIL1, IWORD& TAIL2, IV PTR1, IV IDX1,
            IV ORDER, IV OTHER, IV PTR2, IV IDX2, IV CNT1, IV CNT2, IWORD& IERR) {
  IWORD code = 0;
  IWORD head = 0;
  for (IWORD k = KF; k <= KL; ++k) {
    IWORD l = ORDER(k) < 0 ? -ORDER(k) : ORDER(k);
    if (CNT1(l) != 1) continue;
    for (;;) {
      CNT1(l) = -TAIL1;
      TAIL1 = l;
      IWORD c = 0;
      for (IWORD p = PTR1(l); p < PTR1(l + 1); ++p) {
        if (CNT2(IDX1(p)) > 0) {
          c = IDX1(p);
          break;
        }
      }
      if (c == 0) {
        code = kSpStructSing;  // a line without a partner
      } else {
        CNT2(c) = -TAIL2;
        TAIL2 = c;
        for (IWORD p = PTR2(c); p < PTR2(c + 1); ++p) {
          const IWORD l2 = IDX2(p);
          if (CNT1(l2) <= 0) continue;
          const IWORD cnt = CNT1(l2) - 1;
          if (cnt == 1) {
            CNT1(l2) = -head;
            head = l2;
          } else if (cnt == 0) {
            CNT1(l2) = -TAIL1;
            TAIL1 = l2;
            code = kSpStructSing;
          } else {
            CNT1(l2) = cnt;
          }
        }
      }
      if (head == 0) break;
      l = head;
      head = -CNT1(l);
    }
  }
  IERR = code;
}

void SORDR1(IWORD N, IWORD NZ, IWORD KF, IWORD KL, IWORD& RTAIL, IWORD& CTAIL, IWORD& RTAIL2,
            IWORD CTAIL2, IV IRP, IV ICI, IV IORN, IV CP, IV RI, IV RCNT, IV CCNT, IV LINK) {
  bump_order(N, KF, KL, RTAIL, CTAIL, RTAIL2, IRP, ICI, IORN, CP, RI, RCNT, CCNT, LINK, IV());
}

void SORDR2(IWORD N, IWORD NZ, IWORD KF, IWORD KL, IWORD& RTAIL, IWORD& CTAIL, IWORD& RTAIL2,
            IWORD CTAIL2, IV IRP, IV ICI, IV IORN, IV CP, IV RI, IV RCNT, IV CCNT, IV LINK,
            IV MARK) {
  bump_order(N, KF, KL, RTAIL, CTAIL, RTAIL2, IRP, ICI, IORN, CP, RI, RCNT, CCNT, LINK, MARK);
}

void SPIKE(IWORD N, IV IRP, IV ICI, IV IORN, IV W39, IV W18, IWORD& IERR) {
  if (N < 1) return;
  // Phase 1: column heights and the structural test.
  for (IWORD c = 1; c <= N; ++c) {
    W39(c) = 0;
    W18(c) = 0;
  }
  IWORD status = IERR;
  IWORD met = 0;
  IWORD d = 0;
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD r = IORN(i) < 0 ? -IORN(i) : IORN(i);
    for (IWORD p = IRP(r); p < IRP(r + 1); ++p) {
      const IWORD c = ICI(p);
      if (W39(c) == 0) {
        W39(c) = i;
        ++met;
      }
      if (W39(c) > d) ++W18(c);
    }
    if (met < i) {
      IERR = kSpStructSing;
      status = kSpStructSing;
    }
    if (met <= i) d = i;
  }
  if (status < 0) return;

  // Phase 2: each row pushes its new columns, tallest first, and takes the
  // column on top of the stack.
  IWORD top = 0;
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD r = IORN(i) < 0 ? -IORN(i) : IORN(i);
    for (;;) {
      IWORD best = 0;
      IWORD waiting = 0;
      for (IWORD p = IRP(r); p < IRP(r + 1); ++p) {
        const IWORD c = ICI(p);
        if (W18(c) <= 0) continue;
        ++waiting;
        if (best == 0 || W18(c) > W18(best)) best = c;
      }
      if (best == 0) break;
      W18(best) = -top;
      top = best;
      if (waiting == 1) break;  // that was the row's last new column
    }
    if (top == 0) {  // cannot follow a successful phase 1
      IERR = kSpStructSing;
      return;
    }
    W39(top) = i;
    top = -W18(top);
    IORN(i) = top == 0 ? -r : r;
  }
  for (IWORD c = 1; c <= N; ++c) W18(W39(c)) = c;
}

void TALLY(IWORD N, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, RV IA, RV B, IWORD NRHS, IV IORN,
           IV W18, IV W28, IV W34, IWORD ORDOPT, const ORVK_SPOPT2_T& OPT2, IV W39, IV W40, IV W41,
           IWORD& IERR) {
  if (N < 1) return;
  const bool blocks = ORDOPT == 3 || ORDOPT == 4;
  const bool rule2 = ORDOPT == 2 || ORDOPT == 4;
  if (IORN.size() < N || W18.size() < N || W39.size() < N || W40.size() < N || W41.size() < N ||
      W28.size() < (rule2 || blocks ? 4 * N + 1 : 3 * N + 1)) {
    IERR = kSpNoRoom;
    return;
  }
  if (const IWORD e = check_pattern(N, NZ, IRP, ICI); e != 0) {
    IERR = e;
    return;
  }
  IV CP = W28.sub(1, N + 1);
  IV RCNT = W28.sub(N + 2, N);
  IV CCNT = W28.sub(2 * N + 2, N);
  IV MARK = (rule2 || blocks) ? W28.sub(3 * N + 2, N) : IV();

  if (ORDOPT == 1 || ORDOPT == 2) {
    for (IWORD i = 1; i <= N; ++i) {
      if (W40(i) != 1 || W41(i) != 1) {
        IERR = kSpStructSing;
        return;
      }
    }
  }
  if (blocks) {
    BLOCK(N, ICI, NZ, MSGUNIT, IRP, IA, B, NRHS, CP, IORN, MARK, W39, RCNT, CCNT, W40, W41, IERR,
          OPT2);
    if (IERR < 0) return;
  } else if (!signed_permutation(N, IORN, W39)) {
    for (IWORD k = 1; k <= N; ++k) IORN(k) = k;  // not a usable row order
  }
  if (W34.size() < NZ) {
    IERR = kSpNoRoom;
    return;
  }

  SPTRAN(N, NZ, IRP, ICI, IORN, W18, CP, W34, RCNT, CCNT);
  IWORD rtail = 0, ctail = 0, rtail2 = 0, ctail2 = 0;
  TRIANG(N, NZ, 1, N, rtail, ctail, IRP, ICI, IORN, W18, CP, W34, RCNT, CCNT, IERR);
  if (IERR < 0) return;
  TRIANG(N, NZ, 1, N, ctail2, rtail2, CP, W34, W18, IORN, IRP, ICI, CCNT, RCNT, IERR);
  if (IERR < 0) return;
  if (rule2)
    SORDR2(N, NZ, 1, N, rtail, ctail, rtail2, ctail2, IRP, ICI, IORN, CP, W34, RCNT, CCNT, W18, MARK);
  else
    SORDR1(N, NZ, 1, N, rtail, ctail, rtail2, ctail2, IRP, ICI, IORN, CP, W34, RCNT, CCNT, W18);
  SPIKE(N, IRP, ICI, IORN, W39, W18, IERR);
}

}  // namespace orvika
