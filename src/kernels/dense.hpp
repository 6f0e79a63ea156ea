// Internal dense-matrix routines of the kernels: small utilities on
// column-major blocks, the inner-product kernel of the compact LU solvers
// and the column-oriented Gaussian elimination GAUSEL.
//
// Two addressings occur.  Block addressing: element (i,j) of a block is
// A(IOA+i, JOA+j) of an array with leading dimension LDA.  Contiguous
// addressing: an r x c matrix occupies r*c words after position IOA,
// element (i,j) at A(IOA + i + (j-1)*r).  Arrays are passed by their first
// word (A(1)); input scalars by value, outputs through references.
#pragma once

#include "orvika/kernels_dense.h"
#include "orvika/orvika_types.h"

namespace orvika {

// y = A^T x: A has N rows and M columns (contiguous after IOA);
// Y(IOY+i) = sum_k A(IOA+(i-1)N+k) X(IOX+k), i = 1..M.  Y must not overlap X.
void MTVMUL(IWORD M, IWORD N, IWORD IOA, const double* A, IWORD IOX, const double* X,
            IWORD IOY, double* Y);

// y = A x on an M x N block A(IOA+i, JOA+j) with leading dimension LDA.
void MRVMUL(IWORD M, IWORD N, IWORD LDA, IWORD IOA, IWORD JOA, const double* A, IWORD IOX,
            const double* X, IWORD IOY, double* Y);

// C = B A, contiguous: B is K x N (after IOB), A is N x M (after IOA),
// C is K x M (after IOC).
void MRMULT(IWORD M, IWORD N, IWORD IOA, const double* A, IWORD K, IWORD IOB, const double* B,
            IWORD IOC, double* C);

// C = ALPHA A + BETA B on M x N blocks, each with its own leading dimension.
void MRADD(IWORD M, IWORD N, double ALPHA, IWORD LDA, IWORD IOA, IWORD JOA, const double* A,
           double BETA, IWORD LDB, IWORD IOB, IWORD JOB, const double* B, IWORD LDC, IWORD IOC,
           IWORD JOC, double* C);

// B(IOB+i, JOB+j) = A(IOA+i, JOA+j), i = 1..M, j = 1..N.
void MRCOPY(IWORD M, IWORD N, IWORD LDA, IWORD IOA, IWORD JOA, const double* A, IWORD LDB,
            IWORD IOB, IWORD JOB, double* B);

// A(IOA+i, JOA+j) = 0, i = 1..M, j = 1..N (leading dimension first).
void MRZERO(IWORD LDA, IWORD M, IWORD IOA, IWORD N, IWORD JOA, double* A);

// B(IOB+k) = X A(IOA+k), k = 1..N*M.
void MRSCAL(IWORD N, IWORD M, IWORD IOA, const double* A, double X, IWORD IOB, double* B);

// B = A^T: A is N x M (after IOA), B is M x N (after IOB); only
// B(IOB+1..IOB+M*N) is written.
void MRTRAN(IWORD M, IWORD N, IWORD IOA, const double* A, IWORD IOB, double* B);

// Copies between the NR x NC block A(IOA+i, JOA+j) and the row-wise vector
// V(IOFF+(i-1)NC+j): MODE 1 vector to block, MODE 2 block to vector.
void MVCOPY(IWORD NR, IWORD NC, IWORD IOFF, double* V, IWORD IOA, IWORD JOA, IWORD LDA,
            double* A, IWORD MODE);

// T = trace(A B) for N x N matrices; 0 when N <= 0.
void TRPROD(IWORD N, IWORD LDA, const double* A, IWORD LDB, const double* B, double& T);

// In-place Gauss-Jordan inverse of the contiguous N x N matrix A, no pivoting.
void MRINV(IWORD N, double* A);

// L = true when every diagonal element of A is >= 0 and every off-diagonal
// element <= 0 (N x N, contiguous).
void MSGNCK(IWORD N, const double* A, LWORD& L);

// OUT = s1 * sum_i X(1+(i-1)INCX) Y(1+(i-1)INCY) + s2 * CONST, the signs
// chosen by MODE (1: CONST - S).  OUT may be the caller's CONST word.
void DOTACC(const double* X, IWORD INCX, const double* Y, IWORD INCY, double CONST, double& OUT,
            IWORD N, IWORD MODE);

// Gaussian elimination with partial pivoting, column-oriented; B becomes the
// solution, TAG (N 8-byte words) is exchanged with the rows, PIVMAG gets the
// pivot magnitudes.  A pivot of magnitude <= 1e-16 writes "SINGULAR MATRIX"
// on IUNIT and sets IERR = 1.
void GAUSEL(IWORD N, double* A, double* B, IWORD LDA, void* TAG, double* PIVMAG, IWORD IUNIT,
            IWORD& IERR);

}  // namespace orvika
