/* ORVIKA - numerical methods for process simulation.
 * Basic types and linkage conventions shared by every public header.
 *
 * Every exported routine has C linkage and takes all of its arguments by
 * address; the lengths of text arguments follow all other arguments as
 * 64-bit values.  Integers are 64-bit words (IWORD); logicals are 64-bit
 * words (LWORD) holding -1 for true and 0 for false, tested on bit 0. */
#ifndef ORVIKA_TYPES_H
#define ORVIKA_TYPES_H

#include <stdint.h>
#include <stddef.h>

typedef int64_t IWORD;
typedef int64_t LWORD;
typedef int16_t IDX16;
#if defined(__SIZEOF_FLOAT128__)
typedef __float128 QREAL;
#define ORVK_HAVE_QREAL 1
#endif

#define ORVK_TRUE ((LWORD)-1)
#define ORVK_FALSE ((LWORD)0)

#if defined(ORVIKA_BUILDING) || defined(ORVIKA_HOST_BUILDING)
#define ORVK_API __attribute__((visibility("default")))
#else
#define ORVK_API
#endif

#ifdef __cplusplus
#define ORVK_BEGIN_DECLS extern "C" {
#define ORVK_END_DECLS }
#else
#define ORVK_BEGIN_DECLS
#define ORVK_END_DECLS
#endif

#endif
