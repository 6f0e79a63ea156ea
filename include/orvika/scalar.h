/* ORVIKA - scalar equations, curves, quadrature, overflow-safe functions
 * and their forward-mode derivative twins. */
#ifndef ORVIKA_SCALAR_H
#define ORVIKA_SCALAR_H

#include "scalar_roots.h"
#include "scalar_curves.h"

#endif
