// ORVK_NSLSAV: copies the state of the sparse Newton solvers out and back.
#include "frame/views.hpp"
#include "frame/workspace.hpp"
#include "orvika/nsolve.h"
#include "orvika/sparselu.h"

namespace {

static_assert(sizeof(ORVK_NSOLV1_T) == 20 * sizeof(IWORD));
static_assert(sizeof(ORVK_NSOLV2_T) == 12 * sizeof(double));
static_assert(sizeof(ORVK_NWOPT1_T) == 6 * sizeof(IWORD));
static_assert(sizeof(ORVK_SPOPT1_T) == 3 * sizeof(double));
static_assert(sizeof(ORVK_SPOPT2_T) >= 53 * sizeof(IWORD));

// Word of ORVK_NSOLV1 held in I1(k), k = 1..18, and in I2(k), k = 1..2.
const IWORD kI1Word[18] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18, 20};
const IWORD kI2Word[2] = {15, 19};

}  // namespace

/* ORVK_NSLSAV: save (MODE = 1) or restore (any other MODE) the state of
 * ORVK_NSOLVE / ORVK_NSOLVE2 and the sparse LU options they set.
 *   I1    in/out  IWORD (18)  ORVK_NSOLV1 words 1-14, 16, 17, 18, 20.
 *   I2    in/out  LWORD (2)   ORVK_NSOLV1 words 15 and 19.
 *   R     in/out  real (12)   ORVK_NSOLV2 words 1-12.
 *   S1    in/out  real (3)    ORVK_SPOPT1 words 1-3.
 *   S2    in/out  IWORD (53)  ORVK_SPOPT2 words 1-53.
 *   W     in/out  IWORD (6)   ORVK_NWOPT1 words 1-6.
 *   MODE  in      IWORD       1 copy the blocks into the arrays, else back.
 * ORVK_DGLG1 is not part of the copy.  Cost: 114 word copies. */
extern "C" ORVK_API void ORVK_NSLSAV(IWORD* I1, LWORD* I2, double* R, double* S1, IWORD* S2,
                                     IWORD* W, const IWORD* MODE) {
  using orvika::Vec1;
  const bool save = *MODE == 1;
  // Each block seen as its words (integers and reals alike).
  const orvika::WorkSpace nsolv1(&ORVK_NSOLV1, 20), nsolv2(&ORVK_NSOLV2, 12);
  const orvika::WorkSpace spopt1(&ORVK_SPOPT1, 3), spopt2(&ORVK_SPOPT2, 53);
  const orvika::WorkSpace nwopt1(&ORVK_NWOPT1, 6);
  const Vec1<IWORD> i1(I1, 18), s2(S2, 53), w(W, 6);
  const Vec1<LWORD> i2(I2, 2);
  const Vec1<double> r(R, 12), s1(S1, 3);
  const Vec1<const IWORD> i1word(kI1Word, 18), i2word(kI2Word, 2);
  for (int k = 1; k <= 18; ++k) {
    if (save)
      i1(k) = nsolv1.geti(i1word(k));
    else
      nsolv1.seti(i1word(k), i1(k));
  }
  for (int k = 1; k <= 2; ++k) {
    if (save)
      i2(k) = nsolv1.geti(i2word(k));
    else
      nsolv1.seti(i2word(k), i2(k));
  }
  for (int k = 1; k <= 12; ++k) {
    if (save)
      r(k) = nsolv2.getr(k);
    else
      nsolv2.setr(k, r(k));
  }
  for (int k = 1; k <= 3; ++k) {
    if (save)
      s1(k) = spopt1.getr(k);
    else
      spopt1.setr(k, s1(k));
  }
  for (int k = 1; k <= 53; ++k) {
    if (save)
      s2(k) = spopt2.geti(k);
    else
      spopt2.seti(k, s2(k));
  }
  for (int k = 1; k <= 6; ++k) {
    if (save)
      w(k) = nwopt1.geti(k);
    else
      nwopt1.seti(k, w(k));
  }
}
