// The MA28-family data blocks and their defaults ORVK_MA28BK, ORVK_MA30BK.
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
  bool bad = false;
  for (IWORD k = 1; k <= nz; ++k) {
    const IWORD i = row[k - 1], j = col[k - 1];
    if (i >= 1 && i <= n && j >= 1 && j <= n) continue;
    if (unit != 0) {
      if (!bad)
        write_rec(unit, Rec().A(" ERROR RETURN FROM ").A(who).A(" BECAUSE INDICES FOUND OUT OF RANGE"));
      write_rec(unit, Rec()
                          .X(1)
                          .I(k, 6)
                          .A("TH ELEMENT WITH VALUE ")
                          .D(val[k - 1], 22, 14, 1)
                          .A(" IS OUT OF RANGE WITH INDICES ")
                          .I(i, 8)
                          .A(" ,")
                          .I(j, 8));
    }
    bad = true;
  }
  return !bad;
}

}  // namespace orvika
