/* SPDX-License-Identifier: Apache-2.0 */
/* The capture writer for the stack's own process: one call writes one complete capture entry
 * (docs/CAPTURE-FORMAT.md) for a primitive, ready for `rizorod decode` or the offline API.
 *
 * The entry is the entry line (the stamp when given, the interface, the type code written out,
 * the record's bytes) and one memory line per 32 bytes of exactly the memory that the code's
 * decoder follows from the record: the blocks of a block walk that its count reaches, the bytes
 * of a byte run as many as its count says, each piece of a device name up to and including its
 * zero byte (all of its 32 bytes, 24 for the eighth, when it has none), the blocks of access
 * codes that the count reaches. Null pointers and runs of count 0 are not followed. Memory that
 * two pointers share is written once.
 *
 * The record bytes written are those its decoder may read (`rizorod list` shows the number for
 * every code), or more when the record's own first field makes the name or access-code rendering
 * read further. A code that the interface does not define is written with its record alone:
 * 2 bytes, the type field that begins every primitive (it decodes to the library's no-match
 * text, which reads nothing).
 *
 * C99 (it compiles as C++ too), for 32-bit and 64-bit targets: no heap, no stdio, no state; it
 * may be called from several threads at once. A call needs about 1 KiB of stack on i386 (1.3 KiB
 * on x86-64; gcc -O2 -fstack-usage). Pointer fields are read as the process's own pointers
 * (zero-extended on a 64-bit process, so there they reach memory below 4 GiB only). Whatever the
 * decoder would read, the writer reads: the record and the memory behind it must be readable,
 * as for an in-process decoding. Memory lines are written 16 bytes at a time with SSE2 where the
 * compiler offers it in a hosted build (a freestanding one, -ffreestanding, is plain C); define
 * RIZOROD_CAPTURE_NO_SIMD to keep to plain C there too (for a context that must not touch vector
 * registers).
 *
 * Both functions return the number of characters of the entry, or 0 (nothing written) when
 * `iface` is not one of the four interfaces, `prim` is null, the stamp is not a valid time (or
 * date), or the primitive addresses more separate pieces of memory than the writer can hold
 * (no primitive of this version comes near).
 */
#ifndef RIZORODOZIDO_RIZOROD_CAPTURE_H
#define RIZORODOZIDO_RIZOROD_CAPTURE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The operation that decodes the primitive: written as dm, l2cap, rfcomm or sdp. */
enum rizorod_capture_interface {
    RIZOROD_CAPTURE_DM = 0,
    RIZOROD_CAPTURE_L2CAP = 1,
    RIZOROD_CAPTURE_RFCOMM = 2,
    RIZOROD_CAPTURE_SDP = 3
};

/* When the stack logged the primitive: a time of day with milliseconds ("HH:MM:SS.mmm"; second
 * 60 is a leap second) and, when month is not 0, the date before it ("YYYY-MM-DD"). */
struct rizorod_capture_stamp {
    uint8_t hour;    /* 0 to 23 */
    uint8_t minute;  /* 0 to 59 */
    uint8_t second;  /* 0 to 60 */
    uint16_t millis; /* 0 to 999 */
    uint16_t year;   /* 0 to 9999, with month and day */
    uint8_t month;   /* 1 to 12; 0 leaves the date out */
    uint8_t day;     /* 1 to the days of the month */
};

/* Writes the entry of primitive `code` of `iface` at `prim` into `buf` when it fits in `len`
 * characters; with no terminating zero. Returns the entry's length in either case: when it is
 * larger than `len`, nothing at all has been written (`buf` may be null when `len` is 0). A null
 * `stamp` writes an entry without one (it is then decoded with the time of decoding). */
size_t rizorod_capture(enum rizorod_capture_interface iface, uint16_t code, const void *prim,
                       const struct rizorod_capture_stamp *stamp, char *buf, size_t len);

/* Receives the entry in order, in pieces of at most RIZOROD_CAPTURE_PIECE characters. */
typedef void (*rizorod_capture_sink)(void *context, const char *text, size_t len);
#define RIZOROD_CAPTURE_PIECE 128

/* Passes the same entry to `sink`, piece by piece (for a serial line, say); returns its length. */
size_t rizorod_capture_to(enum rizorod_capture_interface iface, uint16_t code, const void *prim,
                          const struct rizorod_capture_stamp *stamp, rizorod_capture_sink sink,
                          void *context);

#ifdef __cplusplus
}
#endif

#endif
