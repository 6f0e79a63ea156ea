/* A host program using the library's kernels through the public C header:
 * norms and dot products of stream compositions, and a labelled dump. */
#include <stdio.h>

#include "orvika/orvika.h"

int main(void) {
  /* mole flows of a feed and a recycle stream (kmol/h) */
  double feed[4] = {10.0, 25.0, 5.0, 0.0};
  double recycle[4] = {2.0, 6.5, 0.5, 1.0};
  IWORD n = 4, zero = 0, unit = 6;
  double sum = 0.0, one = 1.0;

  ORVK_VRADD(&n, &one, &zero, feed, &one, &zero, recycle, &zero, recycle); /* mixer */
  ORVK_VRDUMP(&unit, &n, &zero, recycle, "MIXED FLOW", (int64_t)10);
  double norm = ORVK_AP2NRM(&n, &zero, recycle);
  ORVK_NORMSS(&n, &zero, recycle, &sum);
  ORVK_VRDUMP(&unit, &n, &zero, recycle, "MOLE FRAC ", (int64_t)10);
  printf("\n  total flow %.3f kmol/h, 2-norm of flows %.4f\n", sum, norm);
  return 0;
}
