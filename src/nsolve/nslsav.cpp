// ORVK_NSLSAV: copies the state of the sparse Newton solvers out and back.
#include <cstring>

#include "orvika/nsolve.h"
#include "orvika/sparselu.h"

namespace {

static_assert(sizeof(ORVK_NSOLV1_T) == 20 * sizeof(IWORD));
static_assert(sizeof(ORVK_NSOLV2_T) == 12 * sizeof(double));
static_assert(sizeof(ORVK_NWOPT1_T) == 6 * sizeof(IWORD));
static_assert(sizeof(ORVK_SPOPT1_T) == 3 * sizeof(double));

// Word K (from 1) of a block, read and written bytewise.
template <class B, class T>
void get_word(const B& b, int k, T& out) {
  std::memcpy(&out, reinterpret_cast<const unsigned char*>(&b) + (k - 1) * sizeof(T), sizeof(T));
}
template <class B, class T>
void set_word(B& b, int k, const T& in) {
  std::memcpy(reinterpret_cast<unsigned char*>(&b) + (k - 1) * sizeof(T), &in, sizeof(T));
}

// Word of ORVK_NSOLV1 held in I1(k), k = 1..18.
constexpr int kI1Word[18] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18, 20};

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
  const bool save = *MODE == 1;
  for (int k = 0; k < 18; ++k) {
    if (save)
      get_word(ORVK_NSOLV1, kI1Word[k], I1[k]);
    else
      set_word(ORVK_NSOLV1, kI1Word[k], I1[k]);
  }
  const int lw[2] = {15, 19};
  for (int k = 0; k < 2; ++k) {
    if (save)
      get_word(ORVK_NSOLV1, lw[k], I2[k]);
    else
      set_word(ORVK_NSOLV1, lw[k], I2[k]);
  }
  for (int k = 1; k <= 12; ++k) {
    if (save)
      get_word(ORVK_NSOLV2, k, R[k - 1]);
    else
      set_word(ORVK_NSOLV2, k, R[k - 1]);
  }
  for (int k = 1; k <= 3; ++k) {
    if (save)
      get_word(ORVK_SPOPT1, k, S1[k - 1]);
    else
      set_word(ORVK_SPOPT1, k, S1[k - 1]);
  }
  for (int k = 1; k <= 53; ++k) {
    if (save)
      get_word(ORVK_SPOPT2, k, S2[k - 1]);
    else
      set_word(ORVK_SPOPT2, k, S2[k - 1]);
  }
  for (int k = 1; k <= 6; ++k) {
    if (save)
      get_word(ORVK_NWOPT1, k, W[k - 1]);
    else
      set_word(ORVK_NWOPT1, k, W[k - 1]);
  }
}
