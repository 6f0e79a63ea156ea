// The MA28-family data blocks and their defaults ORVK_MA28BK, ORVK_MA30BK.
#include <cmath>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "ma28/ma28.hpp"

extern "C" {
ORVK_API ORVK_MA28ED_T ORVK_MA28ED = {};
ORVK_API ORVK_MA28FD_T ORVK_MA28FD = {};
ORVK_API ORVK_MA28GD_T ORVK_MA28GD = {};
ORVK_API ORVK_MA30ED_T ORVK_MA30ED = {};
ORVK_API ORVK_MA30FD_T ORVK_MA30FD = {};
ORVK_API ORVK_MA30GD_T ORVK_MA30GD = {};
ORVK_API ORVK_MA30HD_T ORVK_MA30HD = {};
ORVK_API ORVK_MC23BD_T ORVK_MC23BD = {};
}

/* ORVK_MA28BK stores the driver defaults: SMLPIV = 1e-4, ERRUNT = WRNUNT =
 * the host's report unit (read now), USEBTF = ESTGRW = true and
 * ORVK_MA28FD words 9 and 10 (stop when structurally or numerically
 * singular) = true.  No other word is touched.  No arguments, no status.
 * Cost O(1). */
extern "C" ORVK_API void ORVK_MA28BK(void) {
  ORVK_MA28FD.SMLPIV = 1.0e-4;
  ORVK_MA28ED.ERRUNT = orvika::host::repunit();
  ORVK_MA28ED.WRNUNT = orvika::host::repunit();
  ORVK_MA28ED.USEBTF = ORVK_TRUE;
  ORVK_MA28ED.ESTGRW = ORVK_TRUE;
  ORVK_MA28FD.STPSTR = ORVK_TRUE;
  ORVK_MA28FD.STPNUM = ORVK_TRUE;
}

/* ORVK_MA30BK stores the kernel defaults: ORVK_MA30GD word 1 = 1e-4,
 * MSGUNT = the host's report unit, stop on structural and numerical
 * singularity, and go on measuring (STPSPC false) when the value file is
 * full.  No other word is touched.  No arguments, no status.  Cost O(1). */
extern "C" ORVK_API void ORVK_MA30BK(void) {
  ORVK_MA30GD.SMLPIV = 1.0e-4;
  ORVK_MA30ED.MSGUNT = orvika::host::repunit();
  ORVK_MA30ED.STPSTR = ORVK_TRUE;
  ORVK_MA30ED.STPNUM = ORVK_TRUE;
  ORVK_MA30ED.STPSPC = ORVK_FALSE;
}

namespace orvika {

void ma28_failmsg(IWORD unit, const char* text, bool withnum, IWORD num, const char* over) {
  if (unit == 0) return;
  Rec r;
  r.X(36).A(text);
  if (withnum) r.I(num, 10);
  write_rec(unit, r);
  write_rec(unit, Rec().A(over));
}

bool ma28_check_indices(IWORD unit, IWORD n, IWORD nz, const double* val, const IDX16* row,
                        const IDX16* col, const char* who) {
  Vec1<const double> v(val);
  Vec1<const IDX16> ir(row), jc(col);
  bool bad = false;
  for (IWORD k = 1; k <= nz; ++k) {
    const IWORD i = ir(k), j = jc(k);
    if (i >= 1 && i <= n && j >= 1 && j <= n) continue;
    if (unit != 0) {
      if (!bad)
        write_rec(unit, Rec().A(" ERROR RETURN FROM ").A(who).A(" BECAUSE INDICES FOUND OUT OF RANGE"));
      write_rec(unit, Rec()
                          .X(1)
                          .I(k, 6)
                          .A("TH ELEMENT WITH VALUE ")
                          .D(v(k), 22, 14, 1)
                          .A(" IS OUT OF RANGE WITH INDICES ")
                          .I(i, 8)
                          .A(" ,")
                          .I(j, 8));
    }
    bad = true;
  }
  return !bad;
}

Rec ma28_element_rec(IWORD i, IWORD j, const char* what) {
  return Rec().X(36).A("ELEMENT ").I(i, 6).A(" ,").I(j, 6).A(what);
}

void ma28_element_msg(IWORD unit, IWORD i, IWORD j, const char* what, const char* over) {
  if (unit == 0) return;
  write_rec(unit, ma28_element_rec(i, j, what));
  write_rec(unit, Rec().A(over));
}

bool ma28_check_finite(IWORD unit, IWORD nz, const double* val, const IDX16* row,
                       const IDX16* col, const char* over) {
  for (IWORD k = 0; k < nz; ++k) {
    if (std::isfinite(val[k])) continue;
    ma28_element_msg(unit, row[k], col[k], " IS NOT FINITE", over);
    return false;
  }
  return true;
}

bool mc_check_rows(IWORD unit, IWORD n, const IDX16* colnum, IWORD licn, const IWORD* rowpos,
                   const IDX16* rowlen, const char* who) {
  auto fail = [&](const char* text, IWORD num, int width) {
    if (unit != 0) {
      write_rec(unit, Rec().X(33).A(text).I(num, width));
      write_rec(unit, Rec().A("+ERROR RETURN FROM ").A(who).A(" BECAUSE"));
    }
    return false;
  };
  if (n > 32767) return fail(" N OUT OF RANGE = ", n, 10);
  Vec1<const IDX16> cn(colnum), rl(rowlen);
  Vec1<const IWORD> rpos(rowpos);
  for (IWORD i = 1; i <= n; ++i) {
    const IWORD len = rl(i), pos = rpos(i);
    if (len < 0 || len > n) return fail(" ROW LENGTH OUT OF RANGE IN ROW ", i, 6);
    if (len == 0) continue;
    if (pos < 1 || pos > licn - len + 1) return fail(" ROW OUTSIDE 1..LICN, ROW ", i, 6);
    for (IWORD q = pos; q < pos + len; ++q)
      if (cn(q) < 1 || cn(q) > n)
        return fail(" COLUMN INDEX OUT OF RANGE IN ROW ", i, 6);
  }
  return true;
}

}  // namespace orvika
