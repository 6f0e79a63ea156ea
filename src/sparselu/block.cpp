// BLOCK: block lower-triangular row order of the sparse LU package.
#include "sparselu/sparselu.hpp"

namespace orvika {

// Transversal, strong components, then the row order: the row at position
// k is the row matched to the column at position k, and the last position
// of every block is negated.
void BLOCK(IWORD N, IV ICI, IWORD& NZ, IWORD MSGUNIT, IV IRP, RV IA, RV B, IWORD NRHS, IV MATCH,
           IV IORN, IV STACK, IV W39, IV PATH, IV PARENT, IV W40, IV W41, IWORD& IERR,
           const ORVK_SPOPT2_T& OPT2) {
  if (N < 1) return;
  IWORD rank = 0;
  IWORD nmatch = 0;
  const IWORD st = TRANSV(N, ICI, NZ, IRP, IA, B, NRHS, MATCH, nmatch, PATH, IORN, W39, STACK, W40,
                          W41, rank);
  if (st == kSpNoRoom) {
    IERR = kSpNoRoom;
    return;
  }
  if (st != 0) {
    if (OPT2.CHKMODE < 3 && MSGUNIT > 0)
      sp_message(MSGUNIT, SpLine().t("MATRIX IS STRUCTURALLY SINGULAR, RANK =").i(rank).tag("BLOCK", 6),
                 SpLine().t("NUMBER OF ROWS =").i(N, 8));
    IERR = kSpStructSing;
    return;
  }
  block_row_order(N, ICI, NZ, IRP, MATCH, IORN, STACK, W39, PATH, PARENT);
}

}  // namespace orvika
