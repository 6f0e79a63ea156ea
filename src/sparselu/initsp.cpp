// ORVK_INITSP: default options of the sparse LU package.
#include "orvika/sparselu.h"

/* ORVK_INITSP stores the default options of ORVK_CONTRL:
 *   ORVK_SPOPT2 words 1-10 := CHKMODE 2, INPFRM 1, ORDOPT 2, METHOD 1,
 *   SCLOPT 2, RSTOPT 1, IORNIN 0, CBSROW 0, RNKOPT 1, MSGUNIT 0;
 *   word 11 (I4FAC) := ORVK_SPARMI word 2; word 12 := ORVK_SPARMI word 3;
 *   ORVK_SPOPT1 := PIVTL1 1e-4, PIVTL2 1e-4, SPCFAC 1.0.
 * Words 13-56 (the partition of the last call), ORVK_SPOPT3 and ORVK_SPOPT4
 * are not touched.  No arguments; cost O(1). */
extern "C" ORVK_API void ORVK_INITSP(void) {
  ORVK_SPOPT2_T& o = ORVK_SPOPT2;
  o.CHKMODE = 2;
  o.INPFRM = 1;
  o.ORDOPT = 2;
  o.METHOD = 1;
  o.SCLOPT = 2;
  o.RSTOPT = 1;
  o.IORNIN = 0;
  o.CBSROW = 0;
  o.RNKOPT = 1;
  o.MSGUNIT = 0;
  o.I4FAC = ORVK_SPARMI.INTRAT;
  o.SPARM3 = ORVK_SPARMI.SPARM3;
  ORVK_SPOPT1.PIVTL1 = 1e-4;
  ORVK_SPOPT1.PIVTL2 = 1e-4;
  ORVK_SPOPT1.SPCFAC = 1.0;
}
