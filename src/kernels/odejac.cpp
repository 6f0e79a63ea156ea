// ORVK_ODEJAC: a block of zeros exported for the host's ODE integration.
// The library never references it; it exists so that the host finds the
// block in the library it loads.

#include "orvika/kernels_dense.h"

extern "C" {
ORVK_API ORVK_ODEJAC_BLOCK ORVK_ODEJAC = {};
}
