// Run-state blocks of a data-regression run, read by the host.
#include "orvika/regress.h"

extern "C" {
ORVK_API ORVK_CLUEBR_T ORVK_CLUEBR = {0, 0, 0, 0};
ORVK_API ORVK_PPSCLR_T ORVK_PPSCLR = {};
ORVK_API ORVK_PXRICASE_T ORVK_PXRICASE = {0, 0, 0, 0};
}
