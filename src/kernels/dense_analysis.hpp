// Dense analysis routines of the optimisation toolbox: Gram-Schmidt basis
// completion, reduced matrix on a null-space basis, null-space projection,
// weak-regular-splitting and positivity checks, and the dense matrix of the
// equality and active inequality rows.  Matrices are column-major and
// contiguous (an N x N matrix in N*N words); dumps go to UNIT when IPRINT >= 3.
#pragma once

#include "orvika/orvika_types.h"

namespace orvika {

// BN(:,1..M) = B(:,1..M); each later column n = B(:,n) minus its classical
// Gram-Schmidt projections (formed with B(:,n)) on BN(:,1..n-1).
void GRMSCH(IWORD N, IWORD M, const double* B, double* BN, IWORD UNIT, IWORD IPRINT);

// Completes B by GRMSCH, normalises its last NZ columns Z and returns
// AP = Z^T A (NZ x N) and P(1..NZ*NZ) = Z^T A Z.  The second argument is not read.
void REDHES(IWORD N, IWORD NOTUSED, IWORD NZ, const double* A, IWORD M, double* P,
            const double* B, double* BN, double* AP, IWORD UNIT, IWORD IPRINT);

// P = I - G^T (G G^T)^-1 G (N x N) for the M x N matrix G held by rows in A,
// and PV = P V.  W1 (N*N) and W2 (M*M) are work.  Requires 1 <= M <= N.
void PRJMAT(IWORD M, const double* A, IWORD N, const double* V, double* PV, double* W1,
            double* W2, double* P);

// Weak-regular-splitting check: W := -W, U := U^-1; LFLAG true when U^-1 and
// W U^-1 have only positive elements, else IPOS = the first failing position.
void WRSPLT(IWORD N, double* U, double* W, IWORD& IPOS, LWORD& LFLAG, IWORD UNIT, IWORD IPRINT);

// IFLAG = 1 and IPOS = the first element of A that is not positive, else
// IFLAG = 0 and IPOS = N*N.
void MPOSCK(IWORD N, const double* A, IWORD& IPOS, IWORD& IFLAG, IWORD UNIT, IWORD IPRINT);

// D (NR rows of NC words) := the MEQ equality rows of the compressed matrix
// and, when IADD is nonzero, the active inequality rows MEQ + IRACT(l),
// l = 1..NACTIV (word 4 of ORVK_NLPINT).  The ninth argument is not read.
void ACTMAT(IWORD MEQ, IWORD IADD, IWORD NR, IWORD NC, const IWORD* IA, const IWORD* JA,
            const double* A, double* D, const void* NOTUSED, const IWORD* IRACT);

}  // namespace orvika
