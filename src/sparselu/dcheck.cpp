// SPRSRT, DCHEKA, DCHEKB, DCHEKC, DCHEKD: input conversion, data checks and
// repairs of the sparse LU package.
#include "sparselu/sparselu.hpp"
#include "frame/wspan.hpp"

namespace orvika {

namespace {

// Repair messages are due when the check mode asks for them and the unit
// is not 0 (a negative unit is a caller's unit as well).
bool repair_msg(IWORD chkmode, IWORD unit) { return chkmode < 3 && unit != 0; }

// Room of the entry arrays.
IWORD entry_room(const IV& ICI, const RV& A) { return std::min(ICI.size(), A.size()); }

// Inserts the entry (col, 1) at the head of row L, moving the later entries
// one place up, and clears the row's right-hand sides.  False (code
// kSpNoRoom) when the entry arrays are full.
bool insert_unit(IWORD l, IWORD col, IWORD NROW, IWORD& NZ, IV IRP, IV ICI, RV A, RV B, IWORD NRHS,
                 IWORD& IERR) {
  if (NZ + 1 > entry_room(ICI, A)) {
    IERR = kSpNoRoom;
    return false;
  }
  insert_entry(NROW, NZ, IRP, ICI, A, l, IRP(l), col, 1.0);
  B(l) = 0.0;
  if (NRHS >= 2) B(NROW + l) = 0.0;
  return true;
}

// Appends the entry (col, 1) after the last one; returns its position.
IWORD append_unit(IWORD& NZ, IV ICI, RV A, IWORD col) {
  ++NZ;
  ICI(NZ) = col;
  A(NZ) = 1.0;
  return NZ;
}

// The repeated entries that the row checks merge leave column index 0 behind
// and are removed row by row.  Rather than moving the rest of the matrix down
// at every row that loses entries (time of the order of NZ for each such
// row), the rows after the current one keep their places until the pass
// reaches them: each row is moved down once, by all that earlier rows lost,
// just before it is checked, and a pass that ends early moves the rest at
// once.  Every row is checked, and every pointer and count left, exactly as
// if each removal had moved the rest of the matrix at once.
class RowPacker {
 public:
  RowPacker(IWORD NROW, IWORD& NZ, IV IRP, IV ICI, RV A)
      : nrow_(NROW), NZ_(NZ), IRP_(IRP), ICI_(ICI), A_(A) {}
  ~RowPacker() { finish(); }
  RowPacker(const RowPacker&) = delete;
  RowPacker& operator=(const RowPacker&) = delete;

  // Before row I is checked: its end pointer and the entry count as the
  // checks must see them.
  IWORD enter(IWORD i) {
    i_ = i;
    if (i == 1) next_ = IRP_(1);
    if (shift_ != 0) IRP_(i + 1) -= shift_;
    return NZ_ - shift_;
  }
  // Row I, its pointers found sound, to its place.
  void move_row() {
    const IWORD len = IRP_(i_ + 1) - IRP_(i_);
    if (shift_ != 0 && len > 0) {
      ICI_.move(next_, next_ - shift_, len);
      A_.move(next_, next_ - shift_, len);
    }
    next_ += len;
  }
  // Removes the entries of row I whose column index is 0.
  void compact_row() {
    const IWORD lo = IRP_(i_);
    const IWORD hi = IRP_(i_ + 1);
    IWORD w = lo;
    for (IWORD k = lo; k < hi; ++k) {
      if (ICI_(k) != 0) {
        if (w != k) {
          ICI_(w) = ICI_(k);
          A_(w) = A_(k);
        }
        ++w;
      }
    }
    IRP_(i_ + 1) = w;
    shift_ += hi - w;
  }

  // The rows not yet reached, and their pointers, down by what was removed
  // (at the end of the pass, or when a check ends it early).
  void finish() {
    if (shift_ == 0) return;
    if (i_ >= 1) {
      const IWORD len = NZ_ - next_ + 1;
      if (len > 0) {
        ICI_.move(next_, next_ - shift_, len);
        A_.move(next_, next_ - shift_, len);
      }
      for (IWORD l = i_ + 2; l <= nrow_ + 1; ++l) IRP_(l) -= shift_;
    }
    NZ_ -= shift_;
    shift_ = 0;
  }

 private:
  const IWORD nrow_;
  IWORD& NZ_;
  const IV IRP_, ICI_;
  const RV A_;
  IWORD i_ = 0;       // row being checked
  IWORD next_ = 1;    // first position not yet moved
  IWORD shift_ = 0;   // entries removed so far
};

// First entry of LO..K-1 with column J.
IWORD first_with(IV ICI, IWORD lo, IWORD k, IWORD j) {
  for (IWORD kk = lo; kk < k; ++kk)
    if (ICI(kk) == j) return kk;
  return k;
}

void msg_row_count(IWORD unit, IWORD i, IWORD cnt, std::string_view who) {
  sp_message(unit, SpLine().t("ROW").i(i).t(" HAS").i(cnt).t(" NONZEROS").tag(who));
}
void msg_col_low(IWORD unit, IWORD j, IWORD i, std::string_view who) {
  sp_message(unit, SpLine().t("COLUMN INDEX ").i(j).t(" LESS THAN 1 IN ROW ").i(i).tag(who));
}
void msg_col_high(IWORD unit, IWORD j, IWORD ncol, IWORD i, std::string_view who) {
  sp_message(unit, SpLine()
                       .t("COLUMN INDEX ")
                       .i(j)
                       .t(" GREATER THAN NUMBER OF COLUMNS ")
                       .i(ncol)
                       .t(" IN ROW ")
                       .i(i)
                       .tag(who));
}
void msg_repeated(IWORD unit, IWORD j, IWORD i, std::string_view who) {
  sp_message(unit, SpLine().t("REPEATED COLUMN INDEX ").i(j).t(" IN ROW ").i(i).tag(who));
}
void msg_col_empty(IWORD unit, IWORD j, std::string_view who) {
  sp_message(unit, SpLine().t("COLUMN ").i(j).t(" IS EMPTY").tag(who));
}
void msg_assigned(IWORD unit, IWORD j, IWORD l, std::string_view who) {
  sp_message(unit, SpLine().t("EMPTY COLUMN ").i(j).t(" ASSIGNED TO EMPTY ROW ").i(l).tag(who));
}
void msg_set_zero(IWORD unit, IWORD l, std::string_view who) {
  sp_message(unit, SpLine().t("VARIABLE X(").i(l).t(") IS ARBITRARILY SET TO ZERO").tag(who));
}

// The row checks DCHEKA and DCHEKD share: mode, message switch, unit,
// routine name and the error code they set.
struct RowCheck {
  IWORD chk;
  bool say;
  IWORD unit;
  std::string_view who;
  IWORD& IERR;

  // Row I's pointers are unusable (not 1 <= IRP(I) <= IRP(I+1) <= NZ+1):
  // code kSpRowCount.
  bool bad_row(IV IRP, IWORD i, IWORD NZ) const {
    const IWORD lo = IRP(i);
    const IWORD hi = IRP(i + 1);
    if (lo >= 1 && hi >= lo && hi <= NZ + 1) return false;
    if (unit > 0) msg_row_count(unit, i, hi - lo, who);
    IERR = kSpRowCount;
    return true;
  }
  // Column index J of row I is below 1: code kSpColLow.
  bool col_low(IWORD j, IWORD i) const {
    if (j >= 1) return false;
    if (unit > 0) msg_col_low(unit, j, i, who);
    IERR = kSpColLow;
    return true;
  }
  // Entry K repeats column J of row I (entries from LO): refused with code
  // kSpRepeated in mode 1, else added to the first one and its column set to
  // 0 for the compaction (code 6).  Returns false when refused.
  bool merge_repeated(IV ICI, RV A, IWORD lo, IWORD k, IWORD j, IWORD i) const {
    if (say) msg_repeated(unit, j, i, who);
    if (chk == 1) {
      IERR = kSpRepeated;
      return false;
    }
    IERR = 6;
    A(first_with(ICI, lo, k, j)) += A(k);
    ICI(k) = 0;
    return true;
  }
};

}  // namespace

// Counting sort of the triplets by rows, in place, following the cycles of
// the permutation; the row numbers are checked before anything changes.
IWORD SPRSRT(IWORD N, IWORD NZ, IV IVECT, IV JVECT, IV IRP, RV A) {
  // The sort runs over unchecked runs of the four arrays, their bounds
  // checked here once.
  const IWORD nz = NZ > 0 ? NZ : 0;
  const WSpan<IWORD> iv = span(IVECT, 1, nz);
  for (IWORD k = 1; k <= nz; ++k) {
    const IWORD r = iv[k];
    if (r < 1 || r > N) return k;
  }
  const WSpan<IWORD> irp = span(IRP, 1, N + 1);
  for (IWORD i = 1; i <= N + 1; ++i) irp.set(i, 0);
  for (IWORD k = 1; k <= nz; ++k) {
    const IWORD r = iv[k];
    irp.set(r, irp[r] + 1);
  }
  IWORD s = 1;
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD c = irp[i];
    irp.set(i, s);
    s += c;
  }
  irp.set(N + 1, NZ + 1);

  bool sorted = true;
  for (IWORD k = 2; k <= nz && sorted; ++k) sorted = iv[k - 1] <= iv[k];
  if (sorted) return 0;

  const WSpan<IWORD> jv = span(JVECT, 1, nz);
  const WSpan<double> a = span(A, 1, nz);
  for (IWORD j = 1; j <= nz; ++j) {
    if (iv[j] == 0) continue;
    double val = a[j];
    IWORD col = jv[j];
    IWORD row = iv[j];
    iv.set(j, 0);
    for (IWORD placed = 0; placed < nz; ++placed) {
      const IWORD p = irp[row];
      irp.set(row, p + 1);
      const IWORD nrow = iv[p];
      const double v2 = a[p];
      const IWORD c2 = jv[p];
      a.set(p, val);
      jv.set(p, col);
      iv.set(p, 0);
      if (nrow == 0) break;
      val = v2;
      col = c2;
      row = nrow;
    }
  }
  for (IWORD i = N; i >= 1; --i) irp.set(i + 1, irp[i]);
  irp.set(1, 1);
  for (IWORD i = 1; i <= N; ++i) {
    const IWORD hi = irp[i + 1];
    for (IWORD k = irp[i]; k < hi; ++k) iv.set(k, i);
  }
  return 0;
}

void DCHEKA(IWORD NROW, IWORD NCOL, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, IV MARK, RV A, RV B,
            IWORD NRHS, IV W40, IV W41, IWORD& NCMAX, IWORD& NADD, const ORVK_SPOPT2_T& OPT2,
            IWORD& IERR) {
  const IWORD chk = OPT2.CHKMODE;
  const bool say = repair_msg(chk, MSGUNIT);
  NADD = 0;
  NCMAX = NCOL;
  if (NROW < 0 || NCOL < 0 || NZ < 0) return;
  if (NZ > entry_room(ICI, A) || MARK.size() < NCOL || W40.size() < NROW || W41.size() < NCOL) {
    IERR = kSpNoRoom;
    return;
  }
  // The marks are indexed by every column index met: clear them up to the
  // largest one the room holds; larger indices are refused below.
  IWORD jmax = NCOL;
  for (IWORD k = 1; k <= NZ; ++k) jmax = std::max(jmax, ICI.get(k));
  jmax = std::min(jmax, MARK.size());
  MARK.fill(1, jmax, 0);
  W40.fill(1, NROW, 1);
  W41.fill(1, NCOL, 1);

  const RowCheck rc{chk, say, MSGUNIT, "DCHEKA", IERR};
  RowPacker pack(NROW, NZ, IRP, ICI, A);
  for (IWORD i = 1; i <= NROW; ++i) {
    if (rc.bad_row(IRP, i, pack.enter(i))) return;
    pack.move_row();
    const IWORD lo = IRP(i);
    const IWORD hi = IRP(i + 1);
    if (hi == lo) {
      if (say) sp_message(MSGUNIT, SpLine().t("ROW ").i(i).t(" IS EMPTY").tag("DCHEKA"));
      if (chk == 1) {
        IERR = kSpEmptyRow;
        return;
      }
      IERR = 4;
      W40(i) = 0;
      continue;
    }
    bool merged = false;
    for (IWORD k = lo; k < hi; ++k) {
      const IWORD j = ICI(k);
      if (rc.col_low(j, i)) return;
      if (j > NCOL) {
        if (say) msg_col_high(MSGUNIT, j, NCOL, i, "DCHEKA");
        if (chk == 1) {
          IERR = kSpColHigh;
          return;
        }
        if (j > MARK.size()) {  // beyond any order the work space can take
          if (!say && MSGUNIT > 0) msg_col_high(MSGUNIT, j, NCOL, i, "DCHEKA");
          IERR = kSpColHigh;
          return;
        }
        IERR = 3;
      }
      NCMAX = std::max(NCMAX, j);
      if (MARK(j) < i) {
        MARK(j) = i;
        continue;
      }
      if (!rc.merge_repeated(ICI, A, lo, k, j, i)) return;
      merged = true;
    }
    if (merged) pack.compact_row();
  }
  pack.finish();

  // Empty columns: pair each with the first empty row left, if any.
  for (IWORD j = 1; j <= NCOL; ++j) {
    if (MARK(j) != 0) continue;
    if (say) msg_col_empty(MSGUNIT, j, "DCHEKA");
    if (chk == 1) {
      IERR = kSpEmptyCol;
      return;
    }
    IERR = 5;
    IWORD l = 1;
    while (l <= NROW && W40(l) != 0) ++l;
    if (l > NROW) {
      W41(j) = 0;
      ++NADD;
      continue;
    }
    if (!insert_unit(l, j, NROW, NZ, IRP, ICI, A, B, NRHS, IERR)) return;
    W40(l) = -j;
    W41(j) = -l;
    if (say) msg_assigned(MSGUNIT, j, l, "DCHEKA");
  }

  // Empty rows without an empty column: fix their variable by a unit entry.
  for (IWORD l = 1; l <= NROW; ++l) {
    if (W40(l) != 0) continue;
    if (!insert_unit(l, l, NROW, NZ, IRP, ICI, A, B, NRHS, IERR)) return;
    W40(l) = -(NROW + 1);
    if (l <= NCOL) W41(l) = -(NROW + 1);
    if (say) msg_set_zero(MSGUNIT, l, "DCHEKA");
  }
}

void DCHEKB(IWORD NROW, IWORD NCOL, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, IV MARK, RV A, RV B,
            IWORD NRHS, IV W40, IV W41, IWORD& NADD, const ORVK_SPOPT2_T& OPT2, IWORD& IERR) {
  const IWORD chk = OPT2.CHKMODE;
  const bool say = repair_msg(chk, MSGUNIT);
  if (NROW < 0 || NCOL <= NROW) return;
  const IWORD nb = NRHS >= 2 ? 2 : 1;
  if (MARK.size() < NCOL || W40.size() < NCOL || W41.size() < NCOL || B.size() < nb * NCOL ||
      IRP.size() < NCOL + 1) {
    IERR = kSpNoRoom;
    return;
  }
  if (NZ + (NCOL - NROW) > entry_room(ICI, A)) {
    IERR = kSpNoRoom;
    return;
  }
  // Right-hand sides of the new rows are 0; the second column moves to its
  // offset for the new order.
  if (nb == 2) {
    B.move(NROW + 1, NCOL + 1, NROW);
    B.fill(NCOL + NROW + 1, NCOL - NROW, 0.0);
  }
  B.fill(NROW + 1, NCOL - NROW, 0.0);

  for (IWORD i = NROW + 1; i <= NCOL; ++i) {
    W40(i) = 0;
    W41(i) = 1;
  }
  MARK.fill(1, NCOL, 0);
  for (IWORD k = 1; k <= NZ; ++k) {
    const IWORD j = ICI(k);
    if (j >= 1 && j <= NCOL) MARK(j) = k;
  }
  for (IWORD j = NROW + 1; j <= NCOL; ++j) {
    if (MARK(j) != 0) continue;
    W41(j) = 0;
    ++NADD;
    if (say) msg_col_empty(MSGUNIT, j, "DCHEKB");
    IERR = (chk == 1) ? kSpEmptyCol : 5;
  }
  // New rows take the empty columns first.
  for (IWORD l = NROW + 1; l <= NCOL; ++l) {
    IWORD t = 1;
    while (t <= NCOL && W41(t) != 0) ++t;
    if (t > NCOL) break;
    IRP(l) = append_unit(NZ, ICI, A, t);
    W41(t) = -l;
    W40(l) = -t;
    --NADD;
    if (say) msg_assigned(MSGUNIT, t, l, "DCHEKB");
  }
  // The rest fix an untouched column, searched downward from their own
  // index (then upward; the diagonal when every column is taken).
  for (IWORD t = NROW + 1; t <= NCOL; ++t) {
    if (W40(t) != 0) continue;
    IWORD u = t;
    while (u >= 1 && W41(u) != 1) --u;
    if (u < 1) {
      u = t + 1;
      while (u <= NCOL && W41(u) != 1) ++u;
    }
    const bool found = u <= NCOL;
    if (!found) u = t;
    IRP(t) = append_unit(NZ, ICI, A, u);
    W40(t) = -u;
    if (found) W41(u) = -(NCOL + t);
    if (say) msg_set_zero(MSGUNIT, u, "DCHEKB");
  }
  IRP(NCOL + 1) = NZ + 1;
}

void DCHEKC(IWORD N, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, RV A, RV B, IWORD NRHS, IV W40,
            IV W41, const ORVK_SPOPT2_T& OPT2, IWORD& IERR) {
  if (N < 1) return;
  const IWORD nb = NRHS >= 2 ? 2 : 1;
  if (W40.size() < N || W41.size() < N || B.size() < nb * N || IRP.size() < N + 1) {
    IERR = kSpNoRoom;
    return;
  }
  W41(N) = 0;
  W40(N) = 0;
  IWORD add = 0;
  for (IWORD j = 1; j <= N; ++j)
    if (W41(j) == 0) ++add;
  if (NZ + add > entry_room(ICI, A)) {
    IERR = kSpNoRoom;
    return;
  }
  if (nb == 2) {  // second column from offset N-1 to offset N
    B.move(N, N + 1, N - 1);
    B(2 * N) = 0.0;
  }
  const bool say = OPT2.CHKMODE != 3 && MSGUNIT != 0;
  IRP(N) = NZ + 1;
  IWORD cnt = 0;
  for (IWORD j = 1; j <= N; ++j) {
    if (W41(j) != 0) continue;
    append_unit(NZ, ICI, A, j);
    W41(j) = -(N + 1);
    W40(N) = -(++cnt);
    if (say)
      sp_message(MSGUNIT,
                 SpLine().t("VARIABLE X(").i(j).t(") SHOULD BE VERY SMALL").tag("DCHEKC"));
  }
  IRP(N + 1) = NZ + 1;
  B(N) = 0.0;
}

void DCHEKD(IWORD NROW, IWORD NCOL, IWORD& NZ, IWORD MSGUNIT, IV IRP, IV ICI, IV MARK, RV A,
            const ORVK_SPOPT2_T& OPT2, IWORD& IERR) {
  const IWORD chk = OPT2.CHKMODE;
  const bool say = repair_msg(chk, MSGUNIT);
  if (NROW < 0 || NCOL < 0 || NZ < 0) return;
  if (MARK.size() < NCOL || NZ > entry_room(ICI, A)) {
    IERR = kSpNoRoom;
    return;
  }
  MARK.fill(1, NCOL, 0);
  const RowCheck rc{chk, say, MSGUNIT, "DCHEKD", IERR};
  RowPacker pack(NROW, NZ, IRP, ICI, A);
  for (IWORD i = 1; i <= NROW; ++i) {
    if (rc.bad_row(IRP, i, pack.enter(i))) return;
    pack.move_row();
    const IWORD lo = IRP(i);
    const IWORD hi = IRP(i + 1);
    bool merged = false;
    for (IWORD k = lo; k < hi; ++k) {
      const IWORD j = ICI(k);
      if (rc.col_low(j, i)) return;
      if (j > NCOL) {
        if (MSGUNIT > 0) msg_col_high(MSGUNIT, j, NCOL, i, "DCHEKD");
        IERR = kSpColHigh;
        return;
      }
      if (MARK(j) >= i) {
        if (!rc.merge_repeated(ICI, A, lo, k, j, i)) return;
        merged = true;
      }
      MARK(j) = i;
    }
    if (merged) pack.compact_row();
  }
  pack.finish();
}

}  // namespace orvika
