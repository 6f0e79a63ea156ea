// The exported option and state blocks of the sparse LU package (zero at load).
#include <cstddef>

#include "orvika/sparselu.h"

static_assert(sizeof(ORVK_SPOPT1_T) == 3 * sizeof(double));
static_assert(sizeof(ORVK_SPOPT2_T) == ORVK_SPOPT2_WORDS * sizeof(IWORD));
static_assert(offsetof(ORVK_SPOPT2_T, MSGUNIT) == 9 * sizeof(IWORD));
static_assert(offsetof(ORVK_SPOPT2_T, IB) == 12 * sizeof(IWORD));
static_assert(offsetof(ORVK_SPOPT2_T, W24) == 23 * sizeof(IWORD));
static_assert(offsetof(ORVK_SPOPT2_T, W39) == 38 * sizeof(IWORD));
static_assert(offsetof(ORVK_SPOPT2_T, W52) == 51 * sizeof(IWORD));
static_assert(offsetof(ORVK_SPOPT2_T, MAXA) == 52 * sizeof(IWORD));
static_assert(sizeof(ORVK_SPOPT3_T) == sizeof(IWORD));
static_assert(sizeof(ORVK_SPOPT4_T) == 2 * sizeof(IWORD));
static_assert(sizeof(ORVK_SPARMI_T) == 3 * sizeof(IWORD));

extern "C" {
ORVK_API ORVK_SPOPT1_T ORVK_SPOPT1 = {};
ORVK_API ORVK_SPOPT2_T ORVK_SPOPT2 = {};
ORVK_API ORVK_SPOPT3_T ORVK_SPOPT3 = {};
ORVK_API ORVK_SPOPT4_T ORVK_SPOPT4 = {};
ORVK_API ORVK_SPARMI_T ORVK_SPARMI = {};
}
