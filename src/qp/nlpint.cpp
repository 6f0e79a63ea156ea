// Integer option and state block of the QP solver family.
#include "orvika/qp.h"

extern "C" {
ORVK_API IWORD ORVK_NLPINT[ORVK_NLPINT_WORDS] = {};
}
