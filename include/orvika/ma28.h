/* ORVIKA - MA28-family sparse LU and logarithmic scaling.
 *
 * ORVK_MA28AD analyses and factorises a sparse unsymmetric matrix of order
 * at most 32767 given as coordinate entries (optionally permuted to block
 * lower triangular form first); ORVK_MA28BD re-factorises a matrix of the
 * same pattern with new values; ORVK_MA28CD solves A x = b or A^T x = b with
 * the factors.  ORVK_MC21AX (maximum transversal) and ORVK_MC13DX (strong
 * components) are the two searches of the block-triangular preordering.
 * ORVK_MC19AD computes logarithmic row and column scale factors.
 *
 * Row and column numbers, lengths and permutations are 16-bit (IDX16);
 * positions in the entry arrays are 64-bit (IWORD).  The blocks below carry
 * options, switches and results (words numbered from 1, all zero at load);
 * ORVK_MA28BK and ORVK_MA30BK store the defaults. */
#ifndef ORVIKA_MA28_H
#define ORVIKA_MA28_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Options of the drivers (ORVK_MA28BK: ERRUNT = WRNUNT = report unit,
 * USEBTF = ESTGRW = true). */
typedef struct ORVK_MA28ED_T {
  IWORD ERRUNT; /* 1 unit of the error messages of MA28AD/MA28BD; 0 = silent */
  IWORD WRNUNT; /* 2 unit of the duplicate-entry warnings; 0 = silent */
  LWORD USEBTF; /* 3 MA28AD permutes to block lower triangular form first */
  LWORD ESTGRW; /* 4 the drivers compute the growth estimate into RWORK */
} ORVK_MA28ED_T;

/* Tolerances, switches and results of the drivers. */
typedef struct ORVK_MA28FD_T {
  double SMLPIV; /*  1 small-pivot ratio of MA28BD (default 1e-4) */
  double MINPIV; /*  2 smallest pivot ratio found by the last MA28BD */
  double SOLRES; /*  3 largest magnitude discarded at singular positions by
                        the last MA28CD (-1.0: inconsistent factor arrays,
                        nothing solved) */
  IWORD ROWCMP;  /*  4 compressions of the row-number file (last MA28AD) */
  IWORD VALCMP;  /*  5 compressions of the value file (last MA28AD) */
  IWORD MINLIR;  /*  6 LIRN needed by the last MA28AD, as measured */
  IWORD MINLIC;  /*  7 LICN needed by the last MA28AD, as measured */
  IWORD LURANK;  /*  8 rank estimate of the last MA28AD */
  LWORD STPSTR;  /*  9 stop MA28AD when structurally singular (default true) */
  LWORD STPNUM;  /* 10 stop MA28AD when numerically singular (default true) */
} ORVK_MA28FD_T;

/* Position pair of the stored factors. */
typedef struct ORVK_MA28GD_T {
  IWORD LUFRST; /* 1 first position of the factor rows */
  IWORD LULAST; /* 2 last position of the factor rows (before the
                     factorisation: first position of the active part) */
} ORVK_MA28GD_T;

/* Switches of the factorisation kernel (ORVK_MA30BK: MSGUNT = report
 * unit, STPSTR = STPNUM = true, STPSPC = false). */
typedef struct ORVK_MA30ED_T {
  IWORD MSGUNT; /* 1 unit of the kernel messages; 0 = silent */
  LWORD STPSTR; /* 2 structurally singular: stop (-1) or note (1) */
  LWORD STPNUM; /* 3 numerically singular: stop (-2) or note (2) */
  LWORD STPSPC; /* 4 value file full: stop at once, or give up the factors
                     and go on measuring the space needed */
} ORVK_MA30ED_T;

/* Results of the factorisation kernel, reset at every analyse call. */
typedef struct ORVK_MA30FD_T {
  IWORD ROWCMP; /* 1 compressions of the row-number file */
  IWORD VALCMP; /* 2 compressions of the value file */
  IWORD LURANK; /* 3 rank estimate */
  IWORD MINLIR; /* 4 LIRN needed, as measured */
  IWORD MINLIC; /* 5 LICN needed, as measured */
} ORVK_MA30FD_T;

/* Pivot ratios of the re-factorisation kernel. */
typedef struct ORVK_MA30GD_T {
  double SMLPIV; /* 1 small-pivot ratio (default 1e-4) */
  double MINPIV; /* 2 smallest pivot ratio found */
} ORVK_MA30GD_T;

/* Result of the solve kernel. */
typedef struct ORVK_MA30HD_T {
  double SOLRES; /* 1 largest magnitude discarded at singular positions */
} ORVK_MA30HD_T;

/* Switches and results of the block-triangular preordering. */
typedef struct ORVK_MC23BD_T {
  IWORD MSGUNT; /* 1 message unit; 0 = silent */
  IWORD TRVSIZ; /* 2 structural rank found */
  IWORD NBLOCK; /* 3 number of diagonal blocks */
  IWORD MAXBLK; /* 4 order of the largest diagonal block */
  LWORD STPSTR; /* 5 stop when structurally singular */
} ORVK_MC23BD_T;

extern ORVK_API ORVK_MA28ED_T ORVK_MA28ED;
extern ORVK_API ORVK_MA28FD_T ORVK_MA28FD;
extern ORVK_API ORVK_MA28GD_T ORVK_MA28GD;
extern ORVK_API ORVK_MA30ED_T ORVK_MA30ED;
extern ORVK_API ORVK_MA30FD_T ORVK_MA30FD;
extern ORVK_API ORVK_MA30GD_T ORVK_MA30GD;
extern ORVK_API ORVK_MA30HD_T ORVK_MA30HD;
extern ORVK_API ORVK_MC23BD_T ORVK_MC23BD;

/* Defaults of ORVK_MA28ED and ORVK_MA28FD. */
ORVK_API void ORVK_MA28BK(void);
/* Defaults of ORVK_MA30ED and ORVK_MA30GD. */
ORVK_API void ORVK_MA30BK(void);

/* Analyse and factorise a new sparsity pattern.  ISTAT: 0 success; 1, 2
 * structurally, numerically singular (noted, not stopped); -14 repeated
 * entries summed (factors usable); -1..-6 factorisation kernel failure; -7
 * preordering failed; -8 N out of range; -9 NZ <= 0; -10 LICN < NZ; -11
 * LIRN < NZ; -12 an index out of range; -15 an entry is NaN or infinite
 * (message "ELEMENT i , j IS NOT FINITE" for the first such entry, nothing
 * moved), or repeated entries add up to a sum that is not finite (the same
 * message, the entries already sorted by rows).  An elimination that
 * overflows ends with -2, whatever ORVK_MA28FD.STPNUM says. */
ORVK_API void ORVK_MA28AD(const IWORD *N, const IWORD *NZ, double *ENTVAL, const IWORD *LICN,
                          IDX16 *ROWNUM, const IWORD *LIRN, IDX16 *COLNUM, const double *PIVTHR,
                          IDX16 *LUKEEP, IDX16 *INTWRK, double *RWORK, IWORD *ISTAT);

/* Re-factorise new values on the analysed pattern.  ISTAT: 0 success; i > 0
 * row i has the smallest pivot ratio below SMLPIV; -14 repeated entries
 * summed; -2 zero or missing pivot, or an elimination that overflows; -9
 * LICN too small; -10 NZ <= 0; -11 N out of range; -12 an index out of
 * range; -13 entry outside the analysed structure; -15 a value is NaN or
 * infinite, or repeated values add up to a sum that is not finite; -16 the
 * factor positions of ORVK_MA28GD are inconsistent with LUKEEP (no
 * successful analysis left them). */
ORVK_API void ORVK_MA28BD(const IWORD *N, const IWORD *NZ, double *ENTVAL, const IWORD *LICN,
                          IDX16 *NEWROW, IDX16 *NEWCOL, IDX16 *COLNUM, const IDX16 *LUKEEP,
                          IDX16 *INTWRK, double *RWORK, IWORD *ISTAT);

/* Solve A x = b (SOLMOD = 1) or A^T x = b (any other SOLMOD). */
ORVK_API void ORVK_MA28CD(const IWORD *N, const double *ENTVAL, const IWORD *LICN,
                          const IDX16 *COLNUM, const IDX16 *LUKEEP, double *SOLVEC, double *RWORK,
                          const IWORD *SOLMOD);

/* Maximum transversal: a row for every column.  NUMNZ = -1 on invalid input,
 * with two records on ORVK_MA28ED.ERRUNT (the fault, then "+ERROR RETURN
 * FROM MC21AX BECAUSE"). */
ORVK_API void ORVK_MC21AX(const IWORD *N, const IDX16 *COLNUM, const IWORD *LICN,
                          const IWORD *ROWPOS, const IDX16 *ROWLEN, IDX16 *ROWPRM,
                          IWORD *NUMNZ, IDX16 *IWORK);

/* Strongly connected components in block lower triangular order.  NBLOCK =
 * -1 on invalid input, with two records on ORVK_MA28ED.ERRUNT as for
 * ORVK_MC21AX ("+ERROR RETURN FROM MC13DX BECAUSE"). */
ORVK_API void ORVK_MC13DX(const IWORD *N, const IDX16 *COLNUM, const IWORD *LICN,
                          const IWORD *ROWPOS, const IDX16 *ROWLEN, IDX16 *ORDER, IDX16 *BLKBEG,
                          IWORD *NBLOCK, IDX16 *IWORK);

/* Logarithmic row and column scale factors. */
ORVK_API void ORVK_MC19AD(const IWORD *N, const IWORD *NZ, const double *A, const IDX16 *IRN,
                          const IDX16 *ICN, double *ROWLSC, double *COLLSC, double *W);

ORVK_END_DECLS

#endif
