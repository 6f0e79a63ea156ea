// MA30AD: sparse LU factorisation of the diagonal blocks with Markowitz
// pivoting and a relative stability threshold; LUCMPR: in-place compression
// of its row-wise value file and column-wise row-number file.
#include <cmath>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "ma28/ma28.hpp"

namespace orvika {

// Packs the live places (nonzero index) of FIRST..LAST against LAST, in
// order, and updates the starts of the COUNT rows or columns whose start
// lies in that range: each start place is marked with -j while its index
// is kept in the start slot.
void LUCMPR(double* val, IDX16* idx, IV start, IWORD count, IWORD& first, IWORD last,
            bool movevals) {
  Vec1<double> vl(val);
  Vec1<IDX16> ix(idx);
  if (movevals)
    ORVK_MA30FD.VALCMP += 1;
  else
    ORVK_MA30FD.ROWCMP += 1;
  for (IWORD j = 1; j <= count; ++j) {
    const IWORD p = start(j);
    if (p < first || p > last) continue;
    start(j) = static_cast<IWORD>(ix(p));
    ix(p) = i16(-j);
  }
  IWORD t = last + 1;
  for (IWORD p = last; p >= first; --p) {
    IDX16 x = ix(p);
    if (x == 0) continue;
    --t;
    if (movevals) vl(t) = vl(p);
    if (x < 0) {
      const IWORD j = -x;
      x = i16(start(j));
      start(j) = t;
    }
    ix(t) = x;
  }
  first = t;
}

namespace {

// The state of one MA30AD call.
struct Kernel {
  IWORD n;
  Vec1<IDX16> cn, rl, ll, rp, cp, rn, ccnt, hd, rprv, rnxt, cprv, cnxt;
  Vec1<double> v;
  IV rpos, cpos;
  IWORD licn, lirn, lufrst;
  double thr;
  IWORD unit;
  bool stpstr, stpnum, stpspc;
  IWORD actbeg = 0, actend = 0, lunext = 0, actcnt = 0, rncnt = 0, lostlu = 0, mincnt = 1,
        rnbeg = 0;
  IWORD s = 0, e = 0, m = 0, blk = 0;
  ORVK_MA30FD_T& fd = ORVK_MA30FD;

  void msg(const char* text) const {
    if (unit != 0) write_rec(unit, Rec().A(text));
  }
  void stage_line(IWORD stage) const {
    if (unit == 0) return;
    write_rec(unit, Rec()
                        .A(" AT STAGE ")
                        .I(stage, 5)
                        .A(" IN BLOCK ")
                        .I(blk, 5)
                        .A(" WITH FIRST ROW ")
                        .I(s, 5)
                        .A(" AND LAST ROW ")
                        .I(e, 5));
  }
  // Row-number file too small.
  void rn_fail(IWORD stage, IWORD& istat) {
    istat = (istat == -5) ? -6 : -3;
    if (unit != 0) {
      msg(istat == -3 ? " ERROR RETURN FROM MA30A/AD BECAUSE LIRN NOT BIG ENOUGH"
                      : " ERROR RETURN FROM MA30A/AD LIRN AND LICN TOO SMALL");
      stage_line(stage);
      if (stage == 0)
        write_rec(unit, Rec().A(" TO CONTINUE SET LIRN TO AT LEAST ").I(fd.MINLIR, 8));
    }
  }
  // Value file too small (ISTAT already -4 or -5).
  void licn_fail(IWORD stage) const {
    if (unit == 0) return;
    msg(" ERROR RETURN FROM MA30A/AD BECAUSE LICN NOT BIG ENOUGH");
    stage_line(stage);
  }
  void compress_values() { LUCMPR(v.p, cn.p, rpos.sub(s), m, actbeg, actend, true); }
  void compress_rows() { LUCMPR(nullptr, rn.p, cpos.sub(s), m, rnbeg, lirn, false); }

  // Count lists.
  void col_remove(IWORD j) {
    const IWORD c = ccnt(j), prv = cprv(j), nxt = cnxt(j);
    if (prv != 0) {
      cnxt(prv) = i16(nxt);
    } else if (hd(c) < 0) {
      hd(c) = i16(-nxt);
    } else {
      rprv(hd(c)) = i16(-nxt);
    }
    if (nxt != 0) cprv(nxt) = i16(prv);
  }
  void col_insert(IWORD j, IWORD c) {
    cprv(j) = 0;
    const IWORD h = hd(c);
    if (h < 0) {
      hd(c) = i16(-j);
      cnxt(j) = i16(-h);
      cprv(-h) = i16(j);
    } else if (h > 0) {
      const IWORD old = -rprv(h);
      rprv(h) = i16(-j);
      cnxt(j) = i16(old);
      if (old != 0) cprv(old) = i16(j);
    } else {
      hd(c) = i16(-j);
      cnxt(j) = 0;
      if (c < mincnt) mincnt = c;
    }
  }
  void row_remove(IWORD i) {
    const IWORD c = rl(i) - ll(i);
    if (hd(c) == i) {
      const IWORD nxt = rnxt(i);
      if (nxt != 0) {
        hd(c) = i16(nxt);
        rprv(nxt) = rprv(i);
      } else {
        hd(c) = rprv(i);
      }
    } else {
      const IWORD prv = rprv(i), nxt = rnxt(i);
      rnxt(prv) = i16(nxt);
      if (nxt != 0) rprv(nxt) = i16(prv);
    }
  }
  void row_insert(IWORD i, IWORD c) {
    const IWORD h = hd(c);
    hd(c) = i16(i);
    if (h < 0) {
      rprv(i) = i16(h);
      rnxt(i) = 0;
    } else if (h > 0) {
      rprv(i) = rprv(h);
      rnxt(i) = i16(h);
      rprv(h) = i16(i);
    } else {
      rprv(i) = 0;
      rnxt(i) = 0;
      if (c < mincnt) mincnt = c;
    }
  }
  double rowmax(IWORD i) const {
    double mx = 0.0;
    const IWORD b = static_cast<IWORD>(rpos(i)) + rl(i) - 1;
    for (IWORD p = static_cast<IWORD>(rpos(i)) + ll(i); p <= b; ++p)
      if (std::fabs(v(p)) > mx) mx = std::fabs(v(p));
    return mx;
  }

  // Factorises the block s..e of order m >= 2; false when the call must
  // return (ISTAT set, messages written).
  bool block(IWORD& istat);
  bool order_one(IWORD& istat);

  // The steps of block(), in the order it takes them.
  bool build_column_file(IWORD& istat);
  void build_count_lists();
  bool find_pivot();
  bool scan_rows(IWORD c, bool test, IWORD& bestcost);
  bool scan_columns(IWORD firstcol, IWORD c, bool test, IWORD& bestcost);
  bool singular_rest(IWORD& istat);
  bool copy_pivot_row(IWORD& istat);
  void pivot_row_leaves_columns();
  bool eliminate_row(IWORD t, IWORD pcrows, double piv, IWORD& istat);
  bool make_row_room(IWORD i, IWORD nfill, IWORD& fp, IWORD& istat);
  bool add_fill(IWORD i, double f, IWORD nfill, IWORD fp, IWORD t, IWORD pcrows, IWORD& istat);
  bool extend_column(IWORD j, IWORD i, IWORD t, IWORD pcrows, IWORD& istat);
  void retire_pivot_column();
  void restore_u_columns();

  // The current stage: pivot K of the block, STAGE = K - S + 1.
  IWORD k = 0, stage = 0;
  // The chosen pivot, and after copy_pivot_row its copy in the factor area
  // (PVPOS..CPYLST, UCOUNT entries after the pivot).
  IWORD pvrow = 0, pvcol = 0, pvpos = 0, cpylst = 0, ucount = 0;
  bool pvzero = false;  // the pivot is an exact zero (no stop asked)
  // A multiplier or an updated or filled-in value of the current row
  // overflowed (is not finite).
  bool overflow = false;
  // The elimination overflowed: the factors are not numbers, so the call
  // stops as for a zero pivot whatever the stop switches say.
  bool overflow_stops(IWORD& istat) const {
    if (!overflow) return false;
    istat = -2;
    msg(" ERROR RETURN FROM MA30A/AD BECAUSE MATRIX IS NUMERICALLY SINGULAR");
    return true;
  }
};

bool Kernel::order_one(IWORD& istat) {
  ll(s) = 0;
  rprv(s) = i16(s);
  if (rl(s) == 0) {
    fd.LURANK -= 1;
    if (istat != 2 && istat != -5) istat = 1;
    if (stpstr) {
      istat = -1;
      msg(" ERROR RETURN FROM MA30A/AD BECAUSE MATRIX IS STRUCTURALLY SINGULAR");
      return false;
    }
    cprv(s) = i16(-s);
    return true;
  }
  bool sing = false;
  if (v(actbeg) == 0.0) {
    fd.LURANK -= 1;
    if (istat != -5) istat = 2;
    if (stpnum) {
      istat = -2;
      msg(" ERROR RETURN FROM MA30A/AD BECAUSE MATRIX IS NUMERICALLY SINGULAR");
      return false;
    }
    sing = true;
  }
  v(lunext) = v(actbeg);
  cn(lunext) = cn(actbeg);
  ++actbeg;
  ++lunext;
  actcnt -= 1;
  rpos(s) = 0;
  cprv(s) = i16(sing ? -s : s);
  return true;
}

// Builds the column-wise file of row numbers at the top of ROWNUM (row
// numbers decreasing) for the active rows of the block; false when ROWNUM
// is too small to hold it.
bool Kernel::build_column_file(IWORD& istat) {
  actend = (e == n) ? licn : static_cast<IWORD>(rpos(e + 1)) - 1;
  for (IWORD i = s; i <= e; ++i) {
    ll(i) = 0;
    ccnt(i) = 0;
  }
  if (actend - actbeg >= lirn) {
    fd.MINLIR = actend - actbeg + 1;
    rn_fail(0, istat);
    return false;
  }
  for (IWORD p = actbeg; p <= actend; ++p) ccnt(cn(p)) += 1;
  cpos(e) = lirn + 1;
  for (IWORD j = e - 1; j >= s; --j) cpos(j) = static_cast<IWORD>(cpos(j + 1)) - ccnt(j + 1);
  for (IWORD i = s; i <= e; ++i) {
    const IWORD a = rpos(i);
    for (IWORD p = a; p < a + rl(i); ++p) {
      const IWORD j = cn(p);
      cpos(j) -= 1;
      rn(cpos(j)) = i16(i);
    }
  }
  rnbeg = cpos(s);
  // Empty rows and columns never receive entries: no start, so that no
  // compression takes a neighbour's (or a place past the end) for theirs.
  for (IWORD j = s; j <= e; ++j)
    if (ccnt(j) == 0) cpos(j) = 0;
  for (IWORD i = s; i <= e; ++i)
    if (rl(i) == 0) rpos(i) = 0;
  for (IWORD j = s; j <= e; ++j)
    if (cpos(j) != 0 && cpos(j) < rnbeg) rnbeg = cpos(j);
  rncnt = lirn - rnbeg + 1;
  if (rncnt > fd.MINLIR) fd.MINLIR = rncnt;
  return true;
}

// Links the nonempty columns, then the nonempty rows, into the lists by
// entry count (columns before rows in each list).
void Kernel::build_count_lists() {
  mincnt = 1;
  for (IWORD c = 1; c <= m; ++c) hd(c) = 0;
  for (IWORD j = e; j >= s; --j) {
    const IWORD c = ccnt(j);
    cprv(j) = 0;
    if (c == 0) continue;
    const IWORD h = hd(c);
    hd(c) = i16(-j);
    cnxt(j) = i16(-h);
    if (h != 0) cprv(-h) = i16(j);
  }
  for (IWORD i = e; i >= s; --i) {
    const IWORD c = rl(i);
    if (c == 0) {
      rprv(i) = 0;
      continue;
    }
    const IWORD h = hd(c);
    hd(c) = i16(i);
    if (h <= 0) {
      rnxt(i) = 0;
      rprv(i) = i16(h);
    } else {
      rprv(i) = rprv(h);
      rnxt(i) = i16(h);
      rprv(h) = i16(i);
    }
  }
}

// Markowitz search by increasing count: first among entries passing the
// threshold test, then (one rank fewer) among all entries. Sets PVROW,
// PVCOL and PVPOS; false when no active entry is left.
bool Kernel::find_pivot() {
  IWORD bestcost = m * m;
  pvrow = 0;
  pvcol = 0;
  pvpos = 0;
  bool found = false;
  for (int pass = 1; pass <= 2 && !found; ++pass) {
    if (pass == 2) fd.LURANK -= 1;
    bool flag = (pass == 1);
    const bool test = (pass == 1);
    for (IWORD c = mincnt; c <= m && !found; ++c) {
      if (bestcost <= (c - 1) * (c - 1)) {
        found = pvrow != 0;
        break;
      }
      if (hd(c) == 0) {
        if (flag) mincnt = c + 1;
        continue;
      }
      flag = false;
      IWORD firstcol;
      if (hd(c) > 0) {
        if (scan_rows(c, test, bestcost)) {
          found = true;
          break;
        }
        firstcol = -rprv(hd(c));
      } else {
        firstcol = -hd(c);
      }
      if (bestcost <= c * (c - 1)) {
        found = pvrow != 0;
        break;
      }
      found = scan_columns(firstcol, c, test, bestcost);
    }
    if (pvrow != 0) found = true;
  }
  return found;
}

// Scans the rows of count C; true when a pivot of least possible cost is met.
bool Kernel::scan_rows(IWORD c, bool test, IWORD& bestcost) {
  IWORD i = hd(c);
  for (IWORD cnt = 0; cnt < m && i != 0; ++cnt) {
    const IWORD a = static_cast<IWORD>(rpos(i)) + ll(i);
    const IWORD b = static_cast<IWORD>(rpos(i)) + rl(i) - 1;
    if (a <= b) {
      const double lim = test ? thr * rowmax(i) : 0.0;
      for (IWORD p = a; p <= b; ++p) {
        if (test && std::fabs(v(p)) <= lim) continue;
        const IWORD cost = (c - 1) * (ccnt(cn(p)) - 1);
        if (cost < bestcost) {
          bestcost = cost;
          pvrow = i;
          pvcol = cn(p);
          pvpos = p;
          if (cost <= (c - 1) * (c - 1)) return true;
        }
      }
    }
    i = rnxt(i);
  }
  return false;
}

// Scans the columns of count C from FIRSTCOL on; true when a pivot of least
// possible cost is met.
bool Kernel::scan_columns(IWORD firstcol, IWORD c, bool test, IWORD& bestcost) {
  IWORD j = firstcol;
  for (IWORD cnt = 0; cnt < m && j > 0; ++cnt) {
    const IWORD cp0 = cpos(j);
    for (IWORD t = 0; t < c; ++t) {
      const IWORD i = rn(cp0 + t);
      const IWORD cost = (c - 1) * (rl(i) - ll(i) - 1);
      if (cost >= bestcost) continue;
      const IWORD a = static_cast<IWORD>(rpos(i)) + ll(i);
      const IWORD b = static_cast<IWORD>(rpos(i)) + rl(i) - 1;
      IWORD q = 0;
      double mx = 0.0;
      for (IWORD p = a; p <= b; ++p) {
        if (std::fabs(v(p)) > mx) mx = std::fabs(v(p));
        if (cn(p) == j) q = p;
      }
      if (test && std::fabs(v(q)) <= thr * mx) continue;
      bestcost = cost;
      pvrow = i;
      pvcol = j;
      pvpos = q;
      if (cost <= c * (c - 1)) return true;
    }
    j = cnxt(j);
  }
  return false;
}

// No active entry left: the rest of the block is structurally singular.
// The L parts of the unpivoted rows go to the factor area; those rows and
// columns take the remaining pivot numbers in order.
bool Kernel::singular_rest(IWORD& istat) {
  if (istat != 2 && istat != -5) istat = 1;
  fd.LURANK -= e - k;
  if (stpstr) {
    istat = -1;
    msg(" ERROR RETURN FROM MA30A/AD BECAUSE MATRIX IS STRUCTURALLY SINGULAR");
    return false;
  }
  IWORD kk = k;
  for (IWORD i = s; i <= e && kk <= e; ++i) {
    if (rprv(i) != 0) continue;
    const IWORD l = ll(i);
    if (l > 0) {
      const IWORD need = lunext + l + lostlu + actcnt - 1;
      if (need > fd.MINLIC) fd.MINLIC = need;
      if (actbeg - lunext < l) {
        compress_values();
        if (actbeg - lunext < l) {
          lostlu += lunext - lufrst;
          msg(" LU DECOMPOSITION DESTROYED TO CREATE MORE SPACE");
          istat = -5;
          if (stpspc) {
            licn_fail(stage);
            return false;
          }
          lunext = lufrst;
          if (actbeg - lunext < l) {
            istat = -4;
            licn_fail(stage);
            return false;
          }
        }
      }
      const IWORD a = rpos(i);
      for (IWORD p = a; p < a + l; ++p) {
        v(lunext) = v(p);
        cn(lunext) = cn(p);
        cn(p) = 0;
        ++lunext;
      }
      rpos(i) = 0;
      actcnt -= l;
    }
    rprv(i) = i16(kk++);
  }
  kk = k;
  for (IWORD j = s; j <= e && kk <= e; ++j) {
    if (cprv(j) != 0) continue;
    cprv(j) = i16(-(kk++));
  }
  return true;
}

// Takes the pivot's row and column out of the count lists, numbers them K
// and copies the pivot row to the factor area (making room there first).
// The old places of its U entries keep the columns' COLPRM values, and
// COLPRM(j) holds minus the distance of column j's copy from the pivot.
bool Kernel::copy_pivot_row(IWORD& istat) {
  {
    const IWORD a = static_cast<IWORD>(rpos(pvrow)) + ll(pvrow);
    const IWORD b = static_cast<IWORD>(rpos(pvrow)) + rl(pvrow) - 1;
    for (IWORD p = a; p <= b; ++p) col_remove(cn(p));
  }
  {
    const IWORD cp0 = cpos(pvcol);
    for (IWORD t = 0; t < ccnt(pvcol); ++t) row_remove(rn(cp0 + t));
  }
  cprv(pvcol) = i16(pvzero ? -k : k);
  rprv(pvrow) = i16(k);
  IWORD oldpvp = static_cast<IWORD>(rpos(pvrow)) + ll(pvrow);
  if (pvpos != oldpvp) {
    std::swap(v(pvpos), v(oldpvp));
    std::swap(cn(pvpos), cn(oldpvp));
  }
  IWORD oldlst = static_cast<IWORD>(rpos(pvrow)) + rl(pvrow) - 1;
  {
    const IWORD need = lostlu + lunext + actcnt + rl(pvrow) - 1;
    if (need > fd.MINLIC) fd.MINLIC = need;
  }
  if (actbeg - lunext < rl(pvrow)) {
    compress_values();
    oldpvp = static_cast<IWORD>(rpos(pvrow)) + ll(pvrow);
    oldlst = static_cast<IWORD>(rpos(pvrow)) + rl(pvrow) - 1;
    if (actbeg - lunext < rl(pvrow)) {
      lostlu += lunext - lufrst;
      lunext = lufrst;
      msg(" LU DECOMPOSITION DESTROYED TO CREATE MORE SPACE");
      istat = -5;
      if (stpspc) {
        licn_fail(stage);
        return false;
      }
      if (actbeg - lunext < rl(pvrow)) {
        istat = -4;
        licn_fail(stage);
        return false;
      }
    }
  }
  pvpos = lunext + ll(pvrow);
  {
    IWORD q = lunext;
    for (IWORD p = static_cast<IWORD>(rpos(pvrow)); p <= oldlst; ++p, ++q) {
      v(q) = v(p);
      cn(q) = cn(p);
      if (p <= oldpvp) {
        cn(p) = 0;
      } else {
        const IWORD j = cn(p);
        cn(p) = cp(j);
        cp(j) = i16(-(q - pvpos));
      }
    }
    lunext = q;
  }
  cpylst = lunext - 1;
  ucount = cpylst - pvpos;
  actcnt -= ll(pvrow) + 1;
  rpos(pvrow) = (ucount == 0) ? 0 : oldpvp + 1;
  return true;
}

// The pivot row leaves the column-wise file.
void Kernel::pivot_row_leaves_columns() {
  for (IWORD q = pvpos; q <= cpylst; ++q) {
    const IWORD j = cn(q);
    ccnt(j) -= 1;
    const IWORD cp0 = cpos(j), last = cp0 + ccnt(j);
    for (IWORD u = cp0; u < last; ++u) {
      if (rn(u) == pvrow) {
        rn(u) = rn(last);
        break;
      }
    }
    rn(last) = 0;
  }
  rncnt -= ucount + 1;
}

// Eliminates column PVCOL from row I, the T-th of the PCROWS rows of the
// pivot column: the multiplier joins the row's L part, entries matching
// the pivot row are updated and the rest of the pivot row is filled in.
bool Kernel::eliminate_row(IWORD t, IWORD pcrows, double piv, IWORD& istat) {
  const IWORD i = rn(static_cast<IWORD>(cpos(pvcol)) + t - 1);
  IWORD q1 = static_cast<IWORD>(rpos(i)) + ll(i);
  IWORD rend = static_cast<IWORD>(rpos(i)) + rl(i) - 1;
  IWORD pp = q1;
  for (IWORD p = q1; p <= rend; ++p)
    if (cn(p) == pvcol) {
      pp = p;
      break;
    }
  const double f = pvzero ? 0.0 : -v(pp) / piv;
  overflow = !std::isfinite(f);
  v(pp) = v(q1);
  cn(pp) = cn(q1);
  v(q1) = f;
  cn(q1) = i16(pvcol);
  ll(i) += 1;
  if (ucount == 0) return !overflow_stops(istat);
  IWORD nupd = 0;
  bool bad = false;  // an updated value that is not finite
  for (IWORD p = q1 + 1; p <= rend; ++p) {
    const IWORD j = cn(p);
    if (cp(j) <= 0) {
      const IWORD u = pvpos - cp(j);
      const double w = v(p) + f * v(u);
      v(p) = w;
      bad |= !std::isfinite(w);
      cn(u) = i16(-cn(u));
      ++nupd;
    }
  }
  overflow = overflow || bad;
  const IWORD nfill = ucount - nupd;
  IWORD fp = 0;
  if (nfill > 0) {
    {
      const IWORD need = lostlu + lunext + rl(i) + actcnt + nfill - 1;
      if (need > fd.MINLIC) fd.MINLIC = need;
    }
    actcnt += nfill;
    if (!make_row_room(i, nfill, fp, istat)) return false;
  }
  if (!add_fill(i, f, nfill, fp, t, pcrows, istat)) return false;
  if (nfill > 0) rl(i) += i16(nfill);
  return !overflow_stops(istat);
}

// Finds NFILL free places for row I's fill-in, FP the first: after the
// row's end when free, else the row moves in front (compressing the value
// file, and giving up the factors made so far, when needed).
bool Kernel::make_row_room(IWORD i, IWORD nfill, IWORD& fp, IWORD& istat) {
  const IWORD rend = static_cast<IWORD>(rpos(i)) + rl(i) - 1;
  IWORD nfree = 0;
  for (IWORD p = rend + 1; nfree < nfill && p <= licn && cn(p) == 0; ++p) ++nfree;
  if (nfree == nfill) {
    fp = rend + 1;
    return true;
  }
  const IWORD nfront = nfill - nfree;
  bool tofront = false;
  const IWORD r0 = rpos(i);
  for (IWORD p = r0 - 1; p >= r0 - nfront; --p) {
    if (p < actbeg) break;
    if (cn(p) != 0) {
      tofront = true;
      break;
    }
  }
  IWORD ns = tofront ? actbeg - rl(i) - nfill : r0 - nfront;
  if (ns < lunext) {
    compress_values();
    ns = actbeg - nfill - rl(i);
    if (ns < lunext) {
      lostlu += lunext - ucount - lufrst - 1;
      msg(" LU DECOMPOSITION DESTROYED TO CREATE MORE SPACE");
      istat = -5;
      if (stpspc) {
        licn_fail(stage);
        return false;
      }
      for (IWORD u = 0; u <= ucount; ++u) {
        v(lufrst + u) = v(pvpos + u);
        cn(lufrst + u) = cn(pvpos + u);
      }
      pvpos = lufrst;
      cpylst = lufrst + ucount;
      lunext = cpylst + 1;
      if (ns < lunext) {
        istat = -4;
        licn_fail(stage);
        return false;
      }
    }
  }
  if (ns < actbeg) actbeg = ns;
  // The row moves down (NS < A): copying upwards frees every old
  // place before a later entry of the row may land on it.
  const IWORD a = rpos(i);
  for (IWORD u = 0; u < rl(i); ++u) {
    v(ns + u) = v(a + u);
    cn(ns + u) = cn(a + u);
    cn(a + u) = 0;
  }
  rpos(i) = ns;
  fp = ns + rl(i);
  return true;
}

// Unmarks the pivot-row copy; the unmatched U entries give row I's fill-in
// from FP on, each also entered in its column's row numbers.
bool Kernel::add_fill(IWORD i, double f, IWORD nfill, IWORD fp, IWORD t, IWORD pcrows,
                      IWORD& istat) {
  for (IWORD q = pvpos + 1; q <= cpylst; ++q) {
    if (cn(q) < 0) {
      cn(q) = i16(-cn(q));
      continue;
    }
    if (nfill == 0) continue;
    const IWORD j = cn(q);
    const double w = f * v(q);
    v(fp) = w;
    overflow |= !std::isfinite(w);
    cn(fp) = i16(j);
    ++fp;
    rncnt += 1;
    if (rncnt + ccnt(j) > fd.MINLIR) fd.MINLIR = rncnt + ccnt(j);
    if (!extend_column(j, i, t, pcrows, istat)) return false;
    ccnt(j) += 1;
  }
  return true;
}

// Adds row I to column J's row numbers: in the free place after them, or
// else the column moves to the front of the file with room for the rows
// of the pivot column still to come (compressing the file when needed).
bool Kernel::extend_column(IWORD j, IWORD i, IWORD t, IWORD pcrows, IWORD& istat) {
  const IWORD cp0 = cpos(j);
  const IWORD after = cp0 + ccnt(j);
  if (cp0 != 0 && after <= lirn && rn(after) == 0) {
    rn(after) = i16(i);
    return true;
  }
  IWORD colroom = ccnt(j) + 1 + (pcrows - t);
  if (colroom >= rnbeg) {
    compress_rows();
    if (colroom >= rnbeg) {
      colroom = rnbeg - 1;
      if (colroom <= ccnt(j)) {
        rn_fail(stage, istat);
        return false;
      }
    }
  }
  const IWORD oldbeg = rnbeg;
  rnbeg -= colroom;
  const IWORD src = cpos(j);
  for (IWORD u = 0; u < ccnt(j); ++u) {
    rn(rnbeg + u) = rn(src + u);
    rn(src + u) = 0;
  }
  cpos(j) = rnbeg;
  for (IWORD u = rnbeg + ccnt(j); u < oldbeg; ++u) rn(u) = 0;
  rn(rnbeg + ccnt(j)) = i16(i);
  return true;
}

// Column PVCOL leaves the file; its rows return to the count lists.
void Kernel::retire_pivot_column() {
  rncnt -= ccnt(pvcol);
  const IWORD cp0 = cpos(pvcol);
  for (IWORD u = cp0; u < cp0 + ccnt(pvcol); ++u) {
    const IWORD i = rn(u);
    rn(u) = 0;
    const IWORD c = rl(i) - ll(i);
    if (c == 0)
      rprv(i) = 0;
    else
      row_insert(i, c);
  }
  cpos(pvcol) = 0;
}

// Restores COLPRM of the U columns and returns them to the count lists.
void Kernel::restore_u_columns() {
  if (ucount == 0) return;
  actcnt -= ucount;
  const IWORD op = rpos(pvrow);
  for (IWORD u = 0; u < ucount; ++u) {
    const IWORD j = cn(pvpos + 1 + u);
    cp(j) = cn(op + u);
    cn(op + u) = 0;
  }
  rpos(pvrow) = 0;
  for (IWORD q = pvpos + 1; q <= cpylst; ++q) {
    const IWORD j = cn(q);
    const IWORD c = ccnt(j);
    if (c == 0)
      cprv(j) = 0;
    else
      col_insert(j, c);
  }
}

// One block: set up the column-wise file and the count lists, then at each
// stage choose a pivot, move its row to the factor area, eliminate its
// column from the other rows and return the touched rows and columns to
// the count lists.
bool Kernel::block(IWORD& istat) {
  if (!build_column_file(istat)) return false;
  build_count_lists();
  for (k = s; k <= e; ++k) {
    stage = k - s + 1;
    if (!find_pivot()) return singular_rest(istat);
    pvzero = false;
    if (v(pvpos) == 0.0) {
      if (istat != -5) istat = 2;
      if (stpnum) {
        istat = -2;
        msg(" ERROR RETURN FROM MA30A/AD BECAUSE MATRIX IS NUMERICALLY SINGULAR");
        return false;
      }
      pvzero = true;
    }
    if (!copy_pivot_row(istat)) return false;
    pivot_row_leaves_columns();
    const IWORD pcrows = ccnt(pvcol);
    const double piv = v(pvpos);
    for (IWORD t = 1; t <= pcrows; ++t)
      if (!eliminate_row(t, pcrows, piv, istat)) return false;
    retire_pivot_column();
    restore_u_columns();
  }
  return true;
}

}  // namespace

// Block by block: blocks of order 1 take their entry as pivot; larger
// blocks are eliminated with Markowitz pivots that pass the threshold test
// (all entries when nothing passes), keeping a row-wise file of values and
// a column-wise file of row numbers, each compressed in place when full.
// Cost: O(sum over steps of the work on the pivot column's rows).
// Method: I. S. Duff, MA28 - a set of Fortran subroutines for sparse
// unsymmetric linear equations, AERE R.8730, Harwell (1977).
void MA30AD(IWORD n, IDX16* colnum, double* entval, IWORD licn, IDX16* rowlen, IDX16* llen,
            IWORD& lufrst, IWORD& lulast, IDX16* rowprm, IDX16* colprm, IDX16* rownum,
            IWORD lirn, IDX16* colcnt, IDX16* cnthd, IDX16* rowprv, IDX16* rownxt,
            IDX16* colprv, IDX16* colnxt, IV rowpos, IV colpos, double& pivthr,
            IWORD& istat) {
  ORVK_MA30FD_T& fd = ORVK_MA30FD;
  fd.ROWCMP = 0;
  fd.VALCMP = 0;
  fd.LURANK = n;
  fd.MINLIR = 0;
  istat = 0;
  if (!(pivthr >= 0.0)) pivthr = 0.0;  // negative or NaN
  if (pivthr > 0.999999999) pivthr = 0.999999999;

  Kernel K{n,
           Vec1<IDX16>(colnum),
           Vec1<IDX16>(rowlen),
           Vec1<IDX16>(llen),
           Vec1<IDX16>(rowprm),
           Vec1<IDX16>(colprm),
           Vec1<IDX16>(rownum),
           Vec1<IDX16>(colcnt),
           Vec1<IDX16>(cnthd),
           Vec1<IDX16>(rowprv),
           Vec1<IDX16>(rownxt),
           Vec1<IDX16>(colprv),
           Vec1<IDX16>(colnxt),
           Vec1<double>(entval),
           rowpos,
           colpos,
           licn,
           lirn,
           lufrst,
           pivthr,
           ORVK_MA30ED.MSGUNT,
           is_true(ORVK_MA30ED.STPSTR),
           is_true(ORVK_MA30ED.STPNUM),
           is_true(ORVK_MA30ED.STPSPC)};
  K.actbeg = lulast;
  K.actcnt = licn - lulast + 1;
  fd.MINLIC = lufrst - 1 + K.actcnt;
  K.lunext = lufrst;
  if (n < 1) {
    lulast = lufrst - 1;
    return;
  }
  Vec1<IDX16> rp(rowprm), cp(colprm), rl(rowlen), ll(llen), rprv(rowprv), cprv(colprv);
  rowpos(1) = lulast;
  for (IWORD i = 1; i < n; ++i) rowpos(i + 1) = static_cast<IWORD>(rowpos(i)) + rl(i);

  for (IWORD s = 1; s <= n;) {
    IWORD e = s;
    while (e < n && rp(e) >= 0) ++e;
    K.s = s;
    K.e = e;
    K.m = e - s + 1;
    K.blk += 1;
    const bool ok = (K.m == 1) ? K.order_one(istat) : K.block(istat);
    if (!ok) {
      lulast = K.actbeg;
      return;
    }
    if (e < n) K.actbeg = rowpos(e + 1);
    s = e + 1;
  }

  // Final renumbering: pivot positions for columns, rows and their data.
  for (IWORD i = 1; i <= n; ++i) {
    if (cprv(i) < 0) {
      cprv(i) = i16(-cprv(i));
      cp(cprv(i)) = i16(-cp(cprv(i)));
    }
  }
  Vec1<IDX16> cn(colnum);
  for (IWORD p = lufrst; p < K.lunext; ++p) {
    const IWORD j = cn(p);
    if (j >= 1 && j <= n) cn(p) = cprv(j);
  }
  Vec1<IDX16> t1(colcnt), t2(cnthd), t3(rownxt), t4(colnxt);
  for (IWORD i = 1; i <= n; ++i) {
    t1(rprv(i)) = rl(i);
    t2(rprv(i)) = ll(i);
    t3(cprv(i)) = i16(cp(i) < 0 ? -cp(i) : cp(i));
  }
  for (IWORD k = 1; k <= n; ++k) {
    rl(k) = t1(k);
    ll(k) = t2(k);
    cp(k) = i16(cp(k) < 0 ? -t3(k) : t3(k));
  }
  for (IWORD i = 1; i <= n; ++i) t4(rprv(i)) = i16(rp(i) < 0 ? -rp(i) : rp(i));
  for (IWORD k = 1; k <= n; ++k) rp(k) = i16(rp(k) < 0 ? -t4(k) : t4(k));
  if (rp(n) < 0) rp(n) = i16(-rp(n));
  lulast = K.lunext - 1;
}

}  // namespace orvika
