// Internal routines of the curve family: polynomial helpers of ORVK_PC02AD
// and the internal derivative twins of the spline chain.
#pragma once

#include "orvika/orvika_types.h"

namespace orvika {

// Monic polynomial with the roots R(1..N): A(0) + A(1) t + ... + A(N) t^N
// (A(0) = 1 when N < 1).  A has N+1 words, A(0) first.
void PAROOT(const double* r, double* a, IWORD n);
// A(0) + A(1) T + ... + A(N) T^N, powers of T by successive products.
double PAEVAL(const double* a, IWORD n, double t);

// Derivative twins of the spline chain (derivatives with respect to X; the
// ordinates are constants).  Derivative arrays are column-major with the
// direction first and leading dimension LDG_*; each twin stops the process
// when G_P exceeds 100.
void G_ORVK_SPLINE(IWORD g_p, IWORD n, const double* y, const double* x, const double* g_x,
                   IWORD ldg_x, double* c, double* g_c, IWORD ldg_c, IWORD mode);
void G_ORVK_SPLN2I(IWORD g_p, IWORD n, const double* y, const double* x, const double* g_x,
                   IWORD ldg_x, double* c, double* g_c, IWORD ldg_c);
void G_ORVK_SPLN2D(IWORD g_p, IWORD n, const double* x, const double* g_x, IWORD ldg_x,
                   const double* f, double* d, double* g_d, IWORD ldg_d, IWORD incr,
                   IWORD& nchg);
// Scalar arguments, each followed by its derivative vector; the leading
// dimensions of scalars are not read.  Reads every input before it writes.
void G_ORVK_SPLN2C(IWORD g_p, const double* x1, const double* g_x1, IWORD ldg_x1,
                   const double* x2, const double* g_x2, IWORD ldg_x2, double f1, double f2,
                   const double* d1, const double* g_d1, IWORD ldg_d1, const double* d2,
                   const double* g_d2, IWORD ldg_d2, double* c0, double* g_c0, IWORD ldg_c0,
                   double* c1, double* g_c1, IWORD ldg_c1, double* c2, double* g_c2,
                   IWORD ldg_c2, double* c3, double* g_c3, IWORD ldg_c3);
// The sign test of ORVK_SPLN2E; its result carries no derivative.
double G_ORVK_SPLN2E(IWORD g_p, double a, const double* g_a, IWORD ldg_a, double b,
                     const double* g_b, IWORD ldg_b);

}  // namespace orvika
