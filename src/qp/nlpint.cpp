// Option, state and timing blocks of the QP solver family.
#include "orvika/qp.h"

extern "C" {
ORVK_API IWORD ORVK_NLPINT[ORVK_NLPINT_WORDS] = {};
ORVK_API double ORVK_NLPREA[ORVK_NLPREA_WORDS] = {};
}
