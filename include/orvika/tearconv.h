/* ORVIKA - tear-stream convergence: Wegstein, Broyden and scalar
 * accelerators, the Newton method, its bounded step, box-constrained QP and
 * line search. */
#ifndef ORVIKA_TEARCONV_H
#define ORVIKA_TEARCONV_H

#include "tearconv_accel.h"
#include "tearconv_newton.h"
#include "tearconv_newton_method.h"

#endif
