/* SPDX-License-Identifier: Apache-2.0 */
/* The C interface of RizOrodOzido: decodings of a Bluetooth host stack's primitives as text, for
 * programs in C and in any language that can call C functions.
 *
 * C99 and C++ alike. Nothing C++ crosses it: every function is plain C (__cdecl on Windows,
 * exported under its own undecorated name), and no exception leaves it.
 *
 * Results. A decoding is a text that the library allocates: free it with rizorod_free, the one
 * function that releases what this interface returns. Names (interfaces, primitives) and the
 * version are static text that must not be freed.
 *
 * Failures. A function that can fail returns a negative rizorod_status and, when its last argument
 * `error` is not NULL, fills that caller-owned structure with the status and a one-line message.
 * On success `error` is left as it was. On failure the other out-arguments are left as they
 * were, unless the function says otherwise (rizorod_reader_next).
 *
 * Threads. Every function may be called from any thread, at the same time as any other, except
 * that one reader must not be used by two threads at once (as with one C++ CaptureReader);
 * separate readers may be used on separate threads at once.
 *
 * Pointer fields inside records are 32-bit addresses. An in-process decoding (rizorod_decode)
 * follows them as pointers of the calling process, so in a 64-bit process they reach data below
 * 4 GiB only; an offline decoding (rizorod_decode_record, readers) resolves them in the memory
 * blocks given with the record and reads nothing else. */
#ifndef RIZORODOZIDO_RIZOROD_H
#define RIZORODOZIDO_RIZOROD_H

#include <stddef.h>
#include <stdint.h>

#include "export.h"

/* The version of these headers; rizorod_version() gives the library's. */
#define RIZOROD_VERSION_MAJOR 0
#define RIZOROD_VERSION_MINOR 1
#define RIZOROD_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

/* The four interfaces of the stack, each with its own code space. (In C++ the type holds every
 * int, as in C, so that a function can refuse a value that is none of the four.) */
typedef enum rizorod_interface
#ifdef __cplusplus
    : int
#endif
{
    RIZOROD_DM = 0,
    RIZOROD_L2CAP = 1,
    RIZOROD_RFCOMM = 2,
    RIZOROD_SDP = 3
} rizorod_interface;

typedef enum rizorod_status
#ifdef __cplusplus
    : int
#endif
{
    RIZOROD_OK = 0,
    RIZOROD_END = 1,              /* a reader has no more entries */
    RIZOROD_STOPPED = 2,          /* a field callback stopped the walk */
    RIZOROD_E_ARGUMENT = -1,      /* a NULL where a value is needed, not one of the four
                                     interfaces, an index past the end, overlapping blocks, a
                                     block that runs past 0xffffffff */
    RIZOROD_E_NOT_FOUND = -2,     /* no interface of that name, no primitive of that code */
    RIZOROD_E_DECODE = -3,        /* the record or its memory lacks bytes the decoding reads */
    RIZOROD_E_CAPTURE = -4,       /* a capture entry that could not be read; reading goes on */
    RIZOROD_E_IO = -5,            /* a file that cannot be opened or read */
    RIZOROD_E_MEMORY = -6,        /* out of memory */
    RIZOROD_E_INTERNAL = -7       /* anything else */
} rizorod_status;

/* Messages longer than the array are cut; the text always ends with a zero byte. */
#define RIZOROD_MESSAGE_SIZE 512

typedef struct rizorod_error {
    rizorod_status status;
    char message[RIZOROD_MESSAGE_SIZE]; /* e.g. "dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs
                                           17 bytes; it has 2" */
} rizorod_error;

/* One row of an interface's code table. */
typedef struct rizorod_primitive {
    uint16_t code;
    uint16_t size;    /* the furthest byte of the record that the decoder may read */
    const char* name; /* static, e.g. "DM_ACL_CONNECT_CFM_T" */
} rizorod_primitive;

/* Bytes of the logging process's memory that pointer fields may address. Blocks must not
 * overlap; a block that starts where another ends continues it. */
typedef struct rizorod_block {
    uint32_t address;
    const uint8_t* bytes;
    size_t length;
} rizorod_block;

/* When the stack logged a primitive; the header line shows its time of day. */
typedef struct rizorod_timestamp {
    uint8_t hour, minute, second; /* second may be 60 (a leap second) */
    uint16_t millis;
    int has_date;                 /* non-zero when year, month and day are set */
    uint16_t year;
    uint8_t month, day;
} rizorod_timestamp;

/* An entry of a capture, as a reader gives it. */
typedef struct rizorod_entry {
    size_t line;                  /* of the entry line (of the bad line after a capture error) */
    rizorod_interface iface;
    uint16_t code;                /* the code given, else the record's first 16-bit field */
    int has_stamp;                /* non-zero when the entry has a timestamp */
    rizorod_timestamp stamp;
    const uint8_t* record;        /* the record's bytes, valid until the reader's next call */
    size_t record_length;
} rizorod_entry;

typedef struct rizorod_reader rizorod_reader;

/* One step of a walk over a decoding's fields, in printed order (the same tree as the JSON of
 * `rizorod decode --format json`, docs/JSON.md). */
typedef enum rizorod_field_kind
#ifdef __cplusplus
    : int
#endif
{
    RIZOROD_FIELD_VALUE = 0,        /* a field line or an element: `value` */
    RIZOROD_FIELD_RECORD_BEGIN = 1, /* a nested record: `name` (label: the field's) */
    RIZOROD_FIELD_RECORD_END = 2,
    RIZOROD_FIELD_LIST_BEGIN = 3,   /* an element run, a block walk, access codes, an IP address */
    RIZOROD_FIELD_LIST_END = 4,
    RIZOROD_FIELD_BYTES = 5,        /* a byte run: `bytes`, `length` */
    RIZOROD_FIELD_NAME = 6,         /* a device name: its bytes */
    RIZOROD_FIELD_TEXT = 7,         /* the text form of the address just walked: `bytes`, `length` */
    RIZOROD_FIELD_UNCOUNTED = 8,    /* a whole block's elements past its count: their bytes */
    RIZOROD_FIELD_UNKNOWN_CUSTOM = 9 /* "Unknown customDebug Primitive type" */
} rizorod_field_kind;

typedef struct rizorod_field {
    rizorod_field_kind kind;
    unsigned depth;       /* 0 for the primitive's own fields, one more inside each record or list */
    const char* label;    /* the field's label; NULL for an element */
    const char* name;     /* RECORD_BEGIN: the record's name, e.g. "BD_ADDR_T"; else NULL */
    uint32_t value;       /* VALUE */
    const uint8_t* bytes; /* BYTES, NAME, TEXT, UNCOUNTED; valid during the call only */
    size_t length;
} rizorod_field;

/* Called for every step of a walk; a non-zero result stops it (the walking function then
 * returns RIZOROD_STOPPED). */
typedef int (RIZOROD_CALL *rizorod_field_callback)(void* context, const rizorod_field* field);

/* The library's version, e.g. "0.1.0". */
RIZOROD_API const char* RIZOROD_CALL rizorod_version(void);

/* The name of a status, e.g. "RIZOROD_E_DECODE"; "RIZOROD_E_UNKNOWN" for a value that is none. */
RIZOROD_API const char* RIZOROD_CALL rizorod_status_string(rizorod_status status);

/* Releases a text that this interface returned; NULL is ignored. */
RIZOROD_API void RIZOROD_CALL rizorod_free(void* text);

/* "dm", "l2cap", "rfcomm" or "sdp"; NULL for a value that is none of the four. */
RIZOROD_API const char* RIZOROD_CALL rizorod_interface_name(rizorod_interface iface);
/* The interface that `name` spells exactly (lower case). */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_interface_named(const char* name,
                                                                rizorod_interface* iface,
                                                                rizorod_error* error);

/* Number of codes the interface defines (0 for a value that is none of the four). */
RIZOROD_API size_t RIZOROD_CALL rizorod_primitive_count(rizorod_interface iface);
/* The row at `index` of the interface's codes, in code order. */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_primitive_at(rizorod_interface iface, size_t index,
                                                             rizorod_primitive* row,
                                                             rizorod_error* error);
/* The row of `code`. */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_find_primitive(rizorod_interface iface,
                                                               uint16_t code,
                                                               rizorod_primitive* row,
                                                               rizorod_error* error);

/* In-process decoding: the primitive `code` of `iface` at `prim`, which must address a readable
 * record of that layout with every pointer the decoding follows valid, as for the C++ operations
 * (debugDMprim and the others). The header line shows the wall clock. A code that the interface
 * does not define gives the no-match text. `*text` receives the decoding. */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_decode(rizorod_interface iface, uint16_t code,
                                                       const void* prim, char** text,
                                                       rizorod_error* error);

/* Offline decoding: the record's `length` bytes, with pointer fields resolved in `blocks` (may be
 * NULL when `block_count` is 0). The header line shows `stamp`, or the wall clock when it is
 * NULL. Fails with RIZOROD_E_DECODE when the record is shorter than its code needs or a followed
 * pointer addresses bytes that the blocks do not hold. */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_decode_record(
    rizorod_interface iface, uint16_t code, const uint8_t* record, size_t length,
    const rizorod_block* blocks, size_t block_count, const rizorod_timestamp* stamp, char** text,
    rizorod_error* error);

/* The fields of an offline decoding, as rizorod_decode_record checks and decodes it, told to
 * `callback` one step at a time. */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_walk_record(
    rizorod_interface iface, uint16_t code, const uint8_t* record, size_t length,
    const rizorod_block* blocks, size_t block_count, rizorod_field_callback callback, void* context,
    rizorod_error* error);

/* The same decoding as one JSON object on one line, without a line end: the object that
 * `rizorod decode --format json` writes for an entry (docs/JSON.md) without its "file" and
 * "line" members, with "date", "time" and "unix_ms" from `stamp` when it is not NULL. */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_decode_record_json(
    rizorod_interface iface, uint16_t code, const uint8_t* record, size_t length,
    const rizorod_block* blocks, size_t block_count, const rizorod_timestamp* stamp, char** json,
    rizorod_error* error);

/* A reader of the capture format, one entry at a time, from a file or from text in memory
 * (copied). `name` is what messages call the text ("name:line: what"); NULL gives "text". */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_reader_open_file(const char* path,
                                                                 rizorod_reader** reader,
                                                                 rizorod_error* error);
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_reader_open_text(const char* text, size_t length,
                                                                 const char* name,
                                                                 rizorod_reader** reader,
                                                                 rizorod_error* error);
/* Closes a reader; NULL is ignored. */
RIZOROD_API void RIZOROD_CALL rizorod_reader_close(rizorod_reader* reader);

/* Reads the next entry into `entry` and, when `text` is not NULL, decodes it into `*text`.
 * RIZOROD_OK: an entry. RIZOROD_END: no more. RIZOROD_E_CAPTURE: a bad entry (its line in
 * `entry->line`, nothing else set); RIZOROD_E_DECODE: an entry read but not decodable (`entry`
 * set). After either, the next call goes on with the following entry. RIZOROD_E_IO: the file
 * could not be read; reading stops. Messages begin "name:line: ", as the rizorod tool writes
 * them. */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_reader_next(rizorod_reader* reader,
                                                            rizorod_entry* entry, char** text,
                                                            rizorod_error* error);

/* The fields of the entry that rizorod_reader_next read last (it returned RIZOROD_OK or
 * RIZOROD_E_DECODE), told to `callback` one step at a time. */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_reader_walk(rizorod_reader* reader,
                                                            rizorod_field_callback callback,
                                                            void* context, rizorod_error* error);

/* What rizorod_reader_next read last as one JSON object on one line, without a line end: the
 * object that `rizorod decode --format json` writes for it, with the reader's name as "file" (an
 * entry's decoding; an entry that cannot be decoded, with its "error"; after RIZOROD_E_CAPTURE,
 * the bad line's "file", "line" and "error"). */
RIZOROD_API rizorod_status RIZOROD_CALL rizorod_reader_json(rizorod_reader* reader, char** json,
                                                            rizorod_error* error);

#ifdef __cplusplus
}
#endif

#endif
