// Internal compressed-row sparse routines: products, conversions and
// pruning, and the structure builders (transposes, permutations, sums and
// products with their length checks).
//
// A compressed-row matrix is IA(1..N+1), JA, A, 1-based; arrays are passed
// by their first word (IA(1)), input scalars by value, outputs through
// pointers or references.  An offset IOA/IOX/IOY shifts an array: entry k's
// value is A(IOA+k), vector element i is X(IOX+i).
#pragma once

#include "orvika/kernels_sparse.h"
#include "orvika/orvika_types.h"

namespace orvika {

// ---- Residuals -------------------------------------------------------------

// Residual of A X = B for a coordinate matrix (repeated positions add up):
// W = A X, RNORM = |B - W|, RREL = RNORM / max(|B|, 1e-10); N <= 0 gives
// RNORM = RREL = 0.  Entries with a row or column outside 1..N are left out.
void RESIDC(IWORD N, IWORD NZ, const IWORD* IRN, const IWORD* ICN, const double* A,
            const double* X, const double* B, double* W, double& RNORM, double& RREL);

// ---- Products -------------------------------------------------------------

// Symmetric product of order N: Y(IOY+1..IOY+N) = A x.  MODE 2: half storage
// (either triangle), each off-diagonal entry used for both positions; any
// other MODE: full rows.  NR is not read.
void SSMVML(IWORD NR, IWORD N, const IWORD* IA, const IWORD* JA, IWORD IOA, const double* A,
            IWORD IOX, const double* X, IWORD IOY, double* Y, IWORD MODE);

// Symmetric product with the lower triangle stored: row sums plus, for each
// row j, the first entry of each column i < j mirrored into Y(i).
void SSMVPR(IWORD N, const IWORD* IA, const IWORD* JA, const double* A, const double* X,
            double* Y);

// Y(i) = sum_k A(k) X(JA(k)), i = 1..N.
void SMVPRD(IWORD N, const IWORD* IA, const IWORD* JA, const double* A, const double* X,
            double* Y);

// Y(1..M) = A^T x for A of N rows and M columns.
void SVMPRD(IWORD N, IWORD M, const IWORD* IA, const IWORD* JA, const double* A, const double* X,
            double* Y);

// Y(IOY + r - IOFF) = sum_k A(k) X(JA(k)) for the rows r = IOFF+1..IOFF+N.
void SMVML2(IWORD N, IWORD IOFF, const IWORD* IA, const IWORD* JA, const double* A,
            const double* X, IWORD IOY, double* Y);

// Y(IOY + LIST(r)) = sum_k A(k) X(JA(k)) for the rows r = IOFF+1..IOFF+N;
// only the listed positions are written.
void SMVSCT(IWORD N, const IWORD* LIST, IWORD IOFF, const IWORD* IA, const IWORD* JA,
            const double* A, const double* X, IWORD IOY, double* Y);

// ---- Conversions and pruning ---------------------------------------------

// Copies the N rows into IB/JB/B keeping the entries with |a| > 1e-50.
void SMDROP(IWORD N, const IWORD* IA, const IWORD* JA, const double* A, IWORD* IB, IWORD* JB,
            double* B);

// Packed lower triangle by rows to compressed rows, dropping |a| <= 1e-50.
void PKTOSM(IWORD N, const double* AP, IWORD* IA, IWORD* JA, double* A);

// Copies the elements (J(IOFF+i), V(IOFF+i)) whose value is not exactly zero
// to JOUT/VOUT(IOUT+1 ..); NDROP = number of zeros dropped.
void SVDROP(IWORD N, IWORD IOFF, const IWORD* J, const double* V, IWORD IOUT, IWORD* JOUT,
            double* VOUT, IWORD& NDROP);

// Lower triangle: each row keeps its entries up to the first column beyond
// the row number (columns ascending); values copied when MODE = 1.
void SMLOWR(IWORD MODE, IWORD N, const IWORD* IA, const IWORD* JA, const double* A, IWORD* IB,
            IWORD* JB, double* B);

// Lower-triangle storage to full rows: row i holds its stored entries, then
// the mirrored entries of the later rows; values copied when MODE = 1.
// IB/JB/B must hold up to twice the stored entries.
void SMSYMF(IWORD MODE, IWORD N, const IWORD* IA, const IWORD* JA, const double* A, IWORD* IB,
            IWORD* JB, double* B);

// A(IOFF+1..IOFF+NNZ) = 0, then 1.0 on the diagonal entries of the pattern.
void SMIDNT(IWORD N, IWORD NNZ, IWORD IOFF, const IWORD* IA, const IWORD* JA, double* A);

// Dense form of the rows IOFF+1..IOFF+N: N groups of M words after D(IOD),
// group r holding row IOFF+r.
void SMTODN(IWORD N, IWORD M, IWORD IOFF, const IWORD* IA, const IWORD* JA, const double* A,
            IWORD IOD, double* D);

// ---- Structure builders (overflow warnings on UNIT; IERR set to 1, never
// cleared) -------------------------------------------------------------------

// C = transpose of the row-permuted A (row i = row IPERM(i) of A; MODE 2
// or 3: no permutation; MODE 3: pattern only).  C has NCOL rows.
void PERMU1(IWORD UNIT, IWORD MODE, IWORD N, IWORD NCOL, const IWORD* IA, const IWORD* JA,
            const double* A, const IWORD* IPERM, IWORD LENJC, IWORD* IC, IWORD* JC, double* C,
            IWORD& IERR);

// B = transpose of the row-permuted A; MODE != 1: also C = B folded into its
// lower triangle (IA is then destroyed; IC(1) is read, not set).
void PERMU2(IWORD UNIT, IWORD MODE, IWORD N, IWORD* IA, const IWORD* JA, const double* A,
            const IWORD* IPERM, IWORD LENJ, IWORD* IB, IWORD* JB, double* B, IWORD* IC,
            IWORD* JC, double* C, IWORD& IERR);

// C = A + B (N rows, NCOL columns); rows of C: A's entries, then B's new
// columns, in order of construction.  C must have fewer than LENJC entries.
void GSMADD(IWORD UNIT, IWORD N, IWORD NCOL, const IWORD* IA, const IWORD* JA, const double* A,
            const IWORD* IB, const IWORD* JB, const double* B, IWORD LENJC, IWORD* IC,
            IWORD* JC, double* C, IWORD LENX, IWORD* IX, double* X, IWORD& IERR);

// C = A B (N rows, M columns); columns in order of first appearance.  Ends
// the process (through the stop hook) when JC or IX/X is too short.
void GSMMUL(IWORD UNIT, IWORD N, IWORD NOTUSED, IWORD M, const IWORD* IA, const IWORD* JA,
            const double* A, const IWORD* IB, const IWORD* JB, const double* B, IWORD LENJC,
            IWORD* IC, IWORD* JC, double* C, IWORD LENX, IWORD* IX, double* X);

// C = the lower triangle of A B (order N; rows of B ascending).
void SSMMUL(IWORD UNIT, IWORD N, IWORD NOTUSED, const IWORD* IA, const IWORD* JA,
            const double* A, const IWORD* IB, const IWORD* JB, const double* B, IWORD LENJC,
            IWORD* IC, IWORD* JC, double* C, IWORD LENX, IWORD* IX, double* X, IWORD& IERR);

// Pattern of A + B with each row of C reserving room for both input rows;
// columns ascending in each row.
void SYMADD(IWORD N, const IWORD* IA, const IWORD* JA, const IWORD* IB, const IWORD* JB,
            IWORD* IC, IWORD* JC);

// LOUT(IOFFO+1..IOFFO+NOUT) = merge of two ascending lists (a shared value
// once); POS1/POS2 = the position each element was written at.
void MRGLST(IWORD N1, IWORD IOFF1, const IWORD* L1, IWORD N2, IWORD IOFF2, const IWORD* L2,
            IWORD& NOUT, IWORD IOFFO, IWORD* LOUT, IWORD* POS1, IWORD* POS2);

namespace sparse_detail {
// Writes an empty line and TEXT indented by 2 blanks on UNIT: the overflow
// report of the structure builders.
void overflow_warning(IWORD unit, const char* text);
}  // namespace sparse_detail

}  // namespace orvika
