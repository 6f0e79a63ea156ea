/* ORVIKA - library frame and linear-algebra kernels: vector kernels and
 * dumps, dense matrix utilities and solvers, sparse kernels, sorting and
 * formula-matrix routines. */
#ifndef ORVIKA_KERNELS_H
#define ORVIKA_KERNELS_H

#include "kernels_vector.h"
#include "kernels_dense.h"
#include "kernels_sparse.h"

#endif
