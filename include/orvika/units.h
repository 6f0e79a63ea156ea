/* ORVIKA - numbered output units and the process-stop hook.
 *
 * Every diagnostic line of the library is written as one record on a
 * numbered unit.  Unit 6 is standard output, unit 0 standard error and
 * unit 5 standard input; a unit that nobody connected writes to standard
 * output.  A host may connect a unit to a file or to a line callback, and
 * may replace the hook that ends the process when a routine must stop. */
#ifndef ORVIKA_UNITS_H
#define ORVIKA_UNITS_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Receives one record (no line terminator) written on UNIT. */
typedef void (*orvk_line_sink)(void *ctx, int unit, const char *text, size_t len);

/* Connects UNIT to the file PATH (created or truncated; appended to when
 * APPEND is nonzero).  Returns 0 on success, -1 when the file cannot be
 * opened (the unit is then left as it was). */
ORVK_API int orvk_unit_connect_file(int unit, const char *path, int append);

/* Connects UNIT to SINK: every record written on it is passed to SINK. */
ORVK_API int orvk_unit_connect_sink(int unit, orvk_line_sink sink, void *ctx);

/* Returns UNIT to its default destination, closing any file. */
ORVK_API void orvk_unit_disconnect(int unit);

/* Flushes every unit connected to a file or a standard stream. */
ORVK_API void orvk_units_flush(void);

/* Called with the message of a routine that must stop the process.  The
 * default hook writes the message on standard error, flushes every unit
 * and exits with status 2.  A replacement that returns makes the stop
 * return to the routine that asked for it. */
typedef void (*orvk_stop_hook)(const char *msg, size_t len);
ORVK_API orvk_stop_hook orvk_set_stop_hook(orvk_stop_hook hook);

ORVK_END_DECLS

#endif
