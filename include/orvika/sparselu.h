/* ORVIKA - sparse LU solver package.
 *
 * ORVK_CONTRL validates, orders, scales, factors and solves a sparse linear
 * system A x = b (one or two right-hand sides) inside one caller work space,
 * and re-solves with factors kept from an earlier call.  Its options and the
 * positions of the work-space partition live in the exported blocks below
 * (words numbered from 1, all zero at load); ORVK_INITSP stores the
 * defaults. */
#ifndef ORVIKA_SPARSELU_H
#define ORVIKA_SPARSELU_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Return codes of ORVK_CONTRL: 0 solved; a warning 3-8 (a repair made, the
 * system solved); below 0 nothing solved. */
enum {
  ORVK_SP_SUCCESS = 0,
  ORVK_SP_REPAIRED = 8,          /* a numerically singular step repaired */
  ORVK_SP_DATA_FIRST = -1,       /* -1 .. -6: faults in the data */
  ORVK_SP_DATA_LAST = -6,
  ORVK_SP_STRUCT_SINGULAR = -7,
  ORVK_SP_NUM_SINGULAR = -8,
  ORVK_SP_LOWMAX_SHORT = -9,
  ORVK_SP_MAXA_SHORT = -10,
  ORVK_SP_FACTORS_UNUSABLE = -11,
  ORVK_SP_ORDERING_REFUSED = -12, /* the kept ordering does not fit the matrix */
  ORVK_SP_WORK_BELOW_MIN = -13,
  ORVK_SP_IB_NOT_ONE = -14,
  ORVK_SP_POSITIONS_BAD = -15,
  ORVK_SP_NO_PARTITION = -16,
  ORVK_SP_I4FAC_NOT_ONE = -17
};

/* Real options: 3 words. */
typedef struct ORVK_SPOPT1_T {
  double PIVTL1; /*  1 first relative pivot tolerance (default 1e-4) */
  double PIVTL2; /*  2 second relative pivot tolerance (default 1e-4) */
  double SPCFAC; /*  3 factor on the minimum work-space size, max(1, SPCFAC) */
} ORVK_SPOPT1_T;

/* Integer options (words 1-12) and the positions of the work-space
 * partition (words 13-53); words 54-56 are spare.  Integer positions count
 * IWORDs, real positions count reals, both from 1. */
enum { ORVK_SPOPT2_WORDS = 56 };
typedef struct ORVK_SPOPT2_T {
  IWORD CHKMODE; /*  1 data checks: 1 fatal, 2 repair with messages, 3 repair silently */
  IWORD INPFRM;  /*  2 input form: 1 triplets (IVECT, JVECT, IA), 2 rows (IRP, ICI, IA) */
  IWORD ORDOPT;  /*  3 ordering: 1-4 spike orderings, 5 P4, 6 reuse the last ordering */
  IWORD METHOD;  /*  4 factor-and-solve method 1-7 */
  IWORD SCLOPT;  /*  5 1 = equilibrate before factoring */
  IWORD RSTOPT;  /*  6 1 = save and restore matrix, ordering and right-hand sides */
  IWORD IORNIN;  /*  7 1 = the caller supplies the row order at IORN */
  IWORD CBSROW;  /*  8 row-count word of methods 4 and 5 */
  IWORD RNKOPT;  /*  9 1 = method 7 marks rows with a small pivot */
  IWORD MSGUNIT; /* 10 message unit; 0 = silent */
  IWORD I4FAC;   /* 11 integer words per real word of the work space (must be 1) */
  IWORD SPARM3;  /* 12 copy of ORVK_SPARMI word 3 */
  IWORD IB;      /* 13 real position of the right-hand sides B (must be 1) */
  IWORD IRP;     /* 14 integer position of the row pointers */
  IWORD IVECT;   /* 15 integer position of the triplet row numbers */
  IWORD JVECT;   /* 16 integer position of the triplet column numbers */
  IWORD IORN;    /* 17 integer position of the row order */
  IWORD W18;     /* 18 column of each step */
  IWORD ICI;     /* 19 integer position of the column indices */
  IWORD IA;      /* 20 real position of the values */
  IWORD X;       /* 21 real position of the solution */
  IWORD ROWSC;   /* 22 real position of the row scale factors */
  IWORD COLSC;   /* 23 real position of the column scale factors */
  IWORD W24, W25, W26, W27, W28, W29, W30, W31, W32, W33, W34, W35, W36, W37, W38, W39;
  IWORD W40;     /* 40 row-status flags */
  IWORD W41;     /* 41 column-status flags */
  IWORD W42, W43, W44, W45, W46, W47, W48, W49, W50, W51, W52;
  IWORD MAXA;    /* 53 room of ICI and IA in entries */
  IWORD SPARE[3]; /* 54-56 */
} ORVK_SPOPT2_T;

/* The entry count at the end of the last driver call that reached the end. */
typedef struct ORVK_SPOPT3_T {
  IWORD LASTNZ; /* 1 */
} ORVK_SPOPT3_T;

/* Right-hand-side capacity and count. */
typedef struct ORVK_SPOPT4_T {
  IWORD NRHSMX; /* 1 columns B and X are laid out for (1 or 2) */
  IWORD NRHS;   /* 2 columns solved in this call (1..NRHSMX) */
} ORVK_SPOPT4_T;

/* Set by the host, read by ORVK_INITSP (words 2 and 3). */
typedef struct ORVK_SPARMI_T {
  IWORD SPARM1; /* 1 not read */
  IWORD INTRAT; /* 2 integer words per real word */
  IWORD SPARM3; /* 3 copied to ORVK_SPOPT2 word 12 */
} ORVK_SPARMI_T;

extern ORVK_API ORVK_SPOPT1_T ORVK_SPOPT1;
extern ORVK_API ORVK_SPOPT2_T ORVK_SPOPT2;
extern ORVK_API ORVK_SPOPT3_T ORVK_SPOPT3;
extern ORVK_API ORVK_SPOPT4_T ORVK_SPOPT4;
extern ORVK_API ORVK_SPARMI_T ORVK_SPARMI;

/* Stores the default options: ORVK_SPOPT2 words 1-10 := 2, 1, 2, 1, 2, 1,
 * 0, 0, 1, 0; word 11 := ORVK_SPARMI word 2; word 12 := ORVK_SPARMI word 3;
 * ORVK_SPOPT1 := 1e-4, 1e-4, 1.0.  Words 13-56, ORVK_SPOPT3 and ORVK_SPOPT4
 * are left alone. */
ORVK_API void ORVK_INITSP(void);

/* Sparse LU driver: IW and RW are the same work array of SPENDE words seen
 * as integers and as reals; N and NZ may be raised or lowered by the data
 * checks; IERR receives the package's code (0 success, < 0 failure, > 0 a
 * repair or warning). */
ORVK_API void ORVK_CONTRL(IWORD* IW, double* RW, const IWORD* SPENDE, IWORD* N, IWORD* NZ, IWORD* IERR);

ORVK_END_DECLS

#endif
