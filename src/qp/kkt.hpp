// The sparse LDL^T and GMRES KKT solvers of the QP solver, selected by word
// 67 of ORVK_NLPINT (2 and 3).  K is the lower triangle with the diagonal as
// compressed rows; the solution goes to X(1..N).
#pragma once

#include "orvika/orvika_types.h"

namespace orvika {

// Sparse LDL^T solve of the KKT system (MODE 0 fresh, 1 update of the
// previous factors).  ISING 1 on a singular pivot block (ISROW the row held
// responsible), IFAIL 1 when a work array is too short.
void LESSLV(IWORD MODE, IWORD N, IWORD NNZ, IWORD MEQ, IWORD MINEQ, IWORD NFILL, IWORD* IA,
            IWORD* JA, double* A, double* B, const double* BOLD, double* X, const IWORD* IRACTC,
            const IWORD* IACOLD, IWORD& ISROW, IWORD LDC, double* CWORK, IWORD LRWLES,
            double* RWLES, IWORD LIWLES, IWORD* IWLES, IWORD& ISING, IWORD& IFAIL);

// Restarted GMRES solve of the KKT system from the start vector XOLD(1..NX0);
// ISING nonzero when it did not converge.
void GMRES(IWORD N, IWORD NX0, const double* XOLD, const IWORD* IA, const IWORD* JA,
           const double* A, const double* B, double* X, IWORD LIWLES, IWORD* IWLES,
           IWORD LRWLES, double* RWLES, IWORD& ISING);

}  // namespace orvika
