/* ORVIKA - the services of the host simulator that the library calls.
 *
 * These routines and data blocks belong to the host (its library velcore,
 * its utility library and its module QUELTOOL).  The library only declares
 * them; liborvika_host is a small stand-in that defines them so that the
 * library can be built, tested and run without the host.  A real host links
 * its own definitions instead. */
#ifndef ORVIKA_HOST_H
#define ORVIKA_HOST_H

#include "orvika_types.h"

#if defined(ORVIKA_HOST_BUILDING)
#define ORVK_HOST_API __attribute__((visibility("default")))
#else
#define ORVK_HOST_API
#endif

ORVK_BEGIN_DECLS

/* Word counts of the host data blocks (words numbered from 1). */
enum {
  VLK_GLOBAL_WORDS = 64,
  VLK_RGLOB_WORDS = 16,
  VLK_ERRTWO_WORDS = 16,
  VLK_FLES_WORDS = 40,
  VLK_PPRIV_WORDS = 16,
  VLK_DBGOUT_WORDS = 80,
  VLK_IPOFF4_WORDS = 4,
  VLK_VLK_WORDS = 4,
  VLK_INITV_WORDS = 4,
  VLK_PLEX_WORDS = 1 << 16,
  VLK_MSGLINE_LEN = 80,
  VLK_ERROUT_LINES = 10,
  VLK_MAXWRT_LINES = 20
};

/* Named words, as 1-based word numbers within their block. */
enum {
  VLK_W_REPUNIT = 5,  /* VLK_GLOBAL: report unit (low 32 bits) */
  VLK_W_MSGCTL = 6,   /* VLK_GLOBAL: message-control option word */
  VLK_W_IMISVAL = 8,  /* VLK_GLOBAL: integer missing marker */
  VLK_W_HWFNUM = 53,  /* VLK_GLOBAL: packing ratio numerator */
  VLK_W_NOTIME = 55,  /* VLK_GLOBAL: 1 = no time fields in terminal lines */
  VLK_W_RMISVAL = 1,  /* VLK_RGLOB: real missing marker */
  VLK_W_RTINY = 2,    /* VLK_RGLOB: negligible magnitude */
  VLK_W_TLIMIT = 9,   /* VLK_RGLOB: time limit in seconds */
  VLK_W_TPREV = 10,   /* VLK_RGLOB: previous time reading (written) */
  VLK_W_QUOTCH = 16,  /* VLK_ERRTWO: quote character (first byte) */
  VLK_W_TERMON = 36,  /* VLK_FLES: terminal output on when > 0 */
  VLK_W_PTINY = 1,    /* VLK_PPRIV: tiny value of the regression engines */
  VLK_W_NONORM = 16,  /* VLK_PPRIV */
  VLK_W_EXTPRC = 71,  /* VLK_DBGOUT: > 0 selects binary128 steps */
  VLK_W_NAMOFF = 2,   /* VLK_IPOFF4: pool position of species names */
  VLK_W_HWFDEN = 2,   /* VLK_VLK: packing ratio denominator */
  VLK_W_DUMARG = 2    /* VLK_INITV: dummy argument word */
};

/* Host data blocks. */
extern ORVK_HOST_API IWORD VLK_GLOBAL[VLK_GLOBAL_WORDS];
extern ORVK_HOST_API double VLK_RGLOB[VLK_RGLOB_WORDS];
extern ORVK_HOST_API IWORD VLK_ERRTWO[VLK_ERRTWO_WORDS];
extern ORVK_HOST_API IWORD VLK_FLES[VLK_FLES_WORDS];
extern ORVK_HOST_API double VLK_PPRIV[VLK_PPRIV_WORDS];
extern ORVK_HOST_API IWORD VLK_DBGOUT[VLK_DBGOUT_WORDS];
extern ORVK_HOST_API IWORD VLK_IPOFF4[VLK_IPOFF4_WORDS];
extern ORVK_HOST_API IWORD VLK_VLK[VLK_VLK_WORDS];
extern ORVK_HOST_API IWORD VLK_INITV[VLK_INITV_WORDS];
extern ORVK_HOST_API IWORD VLK_PLEX[VLK_PLEX_WORDS];
extern ORVK_HOST_API char VLK_ERROUT[VLK_ERROUT_LINES][VLK_MSGLINE_LEN];
extern ORVK_HOST_API char VLK_MAXWRT[VLK_MAXWRT_LINES][VLK_MSGLINE_LEN];

/* Message filter: nonzero admits the message, 0 suppresses it. */
ORVK_HOST_API IWORD VLK_IRRCHK(const IWORD *name2, const IWORD *three, const IWORD *msgclass,
                               const IWORD *opt, const IWORD *imisval, const IWORD *zero1,
                               const IWORD *zero2, const IWORD *two);
/* Issues lines 1..N of VLK_ERROUT as one message. */
ORVK_HOST_API void VLK_ERRPRT(const IWORD *n);
/* Shows lines 1..N of VLK_MAXWRT on the user's terminal. */
ORVK_HOST_API void VLK_WRTTRM(const IWORD *n);
/* Picks at most NMAX largest scaled entries of V(1..N). */
ORVK_HOST_API void VLK_NLARGE(const IWORD *n, const IWORD *nmax, const IWORD *mode, const double *v,
                              const double *scale, const double *thresh, IWORD *nfound,
                              IWORD *ilist, double *val);
/* Run time in seconds; only differences of readings are meaningful. */
ORVK_HOST_API void VLK_TIMINT(const IWORD *mode, double *ref, double *t);
/* Notifications at the start, each iteration and the end of a regression run. */
ORVK_HOST_API void VLK_PPENT(void);
ORVK_HOST_API void VLK_PPITER(void);
ORVK_HOST_API void VLK_PPEXT(void);
/* Looks up routine FUNC5 of module MOD4 (name words); HANDLE 0 when absent. */
ORVK_HOST_API void VLK_GETFNC(const IWORD *mod4, const IWORD *func5, IWORD *handle);

#define ORVK_ARGS10(p) void *p##1, void *p##2, void *p##3, void *p##4, void *p##5, \
  void *p##6, void *p##7, void *p##8, void *p##9, void *p##10
#define ORVK_ARGS80 ORVK_ARGS10(a), ORVK_ARGS10(b), ORVK_ARGS10(c), ORVK_ARGS10(d), \
  ORVK_ARGS10(e), ORVK_ARGS10(f), ORVK_ARGS10(g), ORVK_ARGS10(h)
/* Calls the routine behind HANDLE with 80 argument addresses. */
ORVK_HOST_API void VLK_DOCALL(const IWORD *handle, ORVK_ARGS80);
/* Convergence hook of module QUELTOOL (80 argument addresses). */
ORVK_HOST_API void QL_ACNVGD(ORVK_ARGS80);

/* Reserves N words of VLK_PLEX at PLEX(OFFSET..OFFSET+N-1); HANDLE 0 on failure. */
ORVK_HOST_API void VLK_ALLOCI(const IWORD *n, IWORD *handle, IWORD *offset);
ORVK_HOST_API void VLK_ATFREE(IWORD *handle);
/* Host text (at most 80 characters) for the variable number VALUE. */
ORVK_HOST_API void VLK_IAPWRI(const IWORD *value, char *text, IWORD *length, int64_t text_len);
/* Length of TEXT without trailing blanks. */
ORVK_HOST_API IWORD VLK_STRLEN(const char *text, int64_t text_len);
/* Opens the text file NAME on the numbered unit UNIT; 0 on success. */
ORVK_HOST_API IWORD RTO_SHARE_OPENEW(IWORD *unit, const char *name, IWORD *priv, int64_t name_len);

ORVK_END_DECLS

#endif
