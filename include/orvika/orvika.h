/* ORVIKA - numerical methods for process simulation: every public header. */
#ifndef ORVIKA_H
#define ORVIKA_H

#include "orvika_types.h"
#include "units.h"
#include "kernels.h"
#include "tearconv.h"
#include "sparselu.h"
#include "qp.h"
#include "nsolve.h"
#include "regress.h"
#include "fcont.h"
#include "ma28.h"
#include "scalar.h"

#endif
