/* ORVIKA host stand-in: controls for tests and examples.
 *
 * Only liborvika_host defines these; a real host has no such interface. */
#ifndef ORVIKA_HOST_STUB_H
#define ORVIKA_HOST_STUB_H

#include "host.h"

ORVK_BEGIN_DECLS

/* Restores every host block to its defaults and clears all logs, scripts
 * and pool reservations.  Defaults: REPUNIT 6, IMISVAL -999999,
 * RMISVAL 1e35, RTINY 1e-30, TLIMIT 1e35, QUOTCH '"', TERMON 1, HWFNUM 4,
 * HWFDEN 1, EXTPRC 0, NAMOFF 1. */
ORVK_HOST_API void orvk_host_reset(void);

/* Message filter: answers ANSWER to every call from now on; when a script
 * is set, call k (from 1) answers SCRIPT[k-1] while k <= COUNT, ANSWER after. */
ORVK_HOST_API void orvk_host_set_filter(IWORD answer);
ORVK_HOST_API void orvk_host_set_filter_script(const IWORD *script, size_t count);

/* One recorded call of VLK_IRRCHK: the name words and the values behind
 * the other arguments, with the address passed as option array. */
typedef struct {
  char name[9];
  IWORD three, msgclass, opt0, imisval, zero1, zero2, two;
  const IWORD *opt;
} orvk_host_filter_call;
ORVK_HOST_API size_t orvk_host_filter_calls(void);
ORVK_HOST_API int orvk_host_filter_call_get(size_t k, orvk_host_filter_call *out);

/* Messages issued by VLK_ERRPRT and terminal pages shown by VLK_WRTTRM:
 * each a group of 80-character lines, trailing blanks removed. */
ORVK_HOST_API size_t orvk_host_messages(void);
ORVK_HOST_API size_t orvk_host_message_lines(size_t msg);
ORVK_HOST_API const char *orvk_host_message_line(size_t msg, size_t line);
ORVK_HOST_API size_t orvk_host_terminal_pages(void);
ORVK_HOST_API size_t orvk_host_terminal_lines(size_t page);
ORVK_HOST_API const char *orvk_host_terminal_line(size_t page, size_t line);

/* Pool: reservations not yet released; make the next COUNT reservations fail. */
ORVK_HOST_API IWORD orvk_host_pool_outstanding(void);
ORVK_HOST_API void orvk_host_pool_fail_next(IWORD count);

/* Variable names returned by VLK_IAPWRI: NAME for VALUE (copied, at most
 * 80 characters); a value without a name gets "VAR<value>". */
ORVK_HOST_API void orvk_host_set_varname(IWORD value, const char *name);
/* Makes VLK_IAPWRI report LENGTH for VALUE whatever its text (a host
 * that answers out of range). */
ORVK_HOST_API void orvk_host_set_varname_length(IWORD value, IWORD length);

/* Convergence hook QL_ACNVGD: the flag written into slot 5 on call k (from 1)
 * is SCRIPT[k-1] while k <= COUNT, 0 after.  Lookups fail when DISABLED. */
ORVK_HOST_API void orvk_host_set_hook_script(const IWORD *script, size_t count);
ORVK_HOST_API void orvk_host_set_hook_disabled(int disabled);
ORVK_HOST_API size_t orvk_host_hook_calls(void);
/* The 80 addresses passed on the last hook call. */
ORVK_HOST_API void *const *orvk_host_hook_last_args(void);
/* Calls FN(CTX, the 80 addresses) inside every hook call, after the flag
 * has been written (FN may read the slots or write into them); NULL removes it. */
typedef void (*orvk_host_hook_fn)(void *ctx, void *const *args);
ORVK_HOST_API void orvk_host_set_hook_callback(orvk_host_hook_fn fn, void *ctx);

/* Timer: fixed readings when STEP > 0 (each call adds STEP seconds),
 * the process clock otherwise. */
ORVK_HOST_API void orvk_host_set_timer_step(double step);

/* Counts of VLK_PPENT, VLK_PPITER, VLK_PPEXT calls. */
ORVK_HOST_API void orvk_host_pp_counts(IWORD *ent, IWORD *iter, IWORD *ext);

ORVK_END_DECLS

#endif
