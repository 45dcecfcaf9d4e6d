/* The rows as data: a constant description of every record that the decoders know, made from
 * the same rows as the decoders (core/rows.h, RIZ_ROWS_DATA). Plain C, so that the capture
 * writer compiled into the stack's own process (C99, no heap, no stdio) reads the very same
 * description as the library; it compiles as C++ too.
 *
 * A record is an array of fields in printed order, ended by a RIZ_LAYOUT_END field. Each field
 * says how the decoder reads it and what it prints:
 *
 *   kind          offset         width    count          pointer      other
 *   U8 .. U24     the field      1, 2, 4  -              -            label
 *   REC           the record     -        -              -            label, record
 *   ARR           first element  element  elements       -            label ("label [c] = ")
 *   PTR           the pointers   4        pointers       -            label (silent: no text)
 *   RUN           u16 count      2        -              pointer      (the byte run)
 *   NEWLINE       -              -        -              -            (an empty line)
 *   IP            the address    16       -              -            label
 *   BLOCKS        u8 count       1        block pointers first ptr    per_block, stride, whole,
 *                                                                     record (one element)
 *   CUSTOM        extent         -        -              -            (see riz_layout_custom)
 *   CASE          selector byte  1        value          -            fields up to CASE_END
 *                                                                     print only when the byte
 *                                                                     holds the value
 *
 * A RUN's bytes and a BLOCKS walk's blocks are addressed by pointer fields that the record also
 * lists as PTR (their label names them). Every number is a byte offset from the start of the
 * record holding the field.
 */
#ifndef RIZOROdOZIDO_CORE_LAYOUT_H
#define RIZOROdOZIDO_CORE_LAYOUT_H

#include <stdint.h>
#if !defined(__cplusplus)
#include <stdbool.h>
#endif

enum riz_layout_kind {
    RIZ_LAYOUT_END,
    RIZ_LAYOUT_U8,
    RIZ_LAYOUT_B8,
    RIZ_LAYOUT_I8,
    RIZ_LAYOUT_U16,
    RIZ_LAYOUT_ENUM,
    RIZ_LAYOUT_U32,
    RIZ_LAYOUT_I32,
    RIZ_LAYOUT_U24,
    RIZ_LAYOUT_REC,
    RIZ_LAYOUT_ARR,
    RIZ_LAYOUT_PTR,
    RIZ_LAYOUT_RUN,
    RIZ_LAYOUT_NEWLINE,
    RIZ_LAYOUT_IP,
    RIZ_LAYOUT_BLOCKS,
    RIZ_LAYOUT_CUSTOM,
    RIZ_LAYOUT_CASE,
    RIZ_LAYOUT_CASE_END
};

struct riz_layout_record;

struct riz_layout_field {
    uint8_t kind; /* enum riz_layout_kind */
    uint8_t width;
    uint16_t offset;
    uint16_t count;
    uint16_t pointer;
    uint16_t per_block;
    uint16_t stride;
    uint8_t whole; /* BLOCKS: every element of each block in use, not only the counted ones */
    const char *label;
    const struct riz_layout_record *record;
};

struct riz_layout_record {
    const char *name; /* null for the anonymous element of a block walk of words */
    const struct riz_layout_field *fields;
    uint16_t count; /* fields before the RIZ_LAYOUT_END row */
};

/* What debug_customDebug renders, chosen by the record's own first 16-bit field
 * (core/custom.def): a device name from eight name-part pointers, or a list of access codes. */
enum riz_layout_custom_kind { RIZ_CUSTOM_NAME, RIZ_CUSTOM_LAPS };

struct riz_layout_custom {
    uint16_t first;  /* the record's first field */
    uint8_t kind;    /* enum riz_layout_custom_kind */
    uint16_t parts;  /* NAME: offset of the eight name-part pointers */
    uint16_t count;  /* LAPS: offset of the u8 count */
    uint16_t blocks; /* LAPS: offset of the first block pointer */
    uint16_t nptrs;  /* LAPS: number of block pointers */
};

/* Name fragments: eight pointers; fragments 0 to 6 hold up to 32 bytes, fragment 7 up to 24. A
 * fragment filled to its limit has no zero byte and the name goes on in the next one. */
#define RIZ_NAME_PARTS 8
#define RIZ_NAME_PART_BYTES 32
#define RIZ_NAME_LAST_PART_BYTES 24
/* Access codes: 16 four-byte codes per block. */
#define RIZ_LAPS_PER_BLOCK 16

#endif
