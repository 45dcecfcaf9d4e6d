/* SPDX-License-Identifier: Apache-2.0 */
/* The rows as data: a constant description of every record that the decoders know, made from
 * the same rows as the decoders (rows.h, RIZOROD_ROWS_DATA). Plain C, so that the capture
 * writer compiled into the stack's own process (C99, no heap, no stdio) reads the very same
 * description as the library; it compiles as C++ too.
 *
 * A record is an array of fields in printed order, ended by a RIZOROD_LAYOUT_END field. Each field
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
 *   CUSTOM        extent         -        -              -            (see rizorod_layout_custom)
 *   CASE          selector byte  1        value          -            fields up to CASE_END
 *                                                                     print only when the byte
 *                                                                     holds the value
 *
 * A RUN's bytes and a BLOCKS walk's blocks are addressed by pointer fields that the record also
 * lists as PTR (their label names them). Every number is a byte offset from the start of the
 * record holding the field.
 *
 * Below the description come the rules that every reader of a record shares, each said once as
 * a small inline function: the decoders, the structured walk, the offline checks, the tool and
 * the capture writer all call them, so that none of them knows a rule of its own.
 */
#ifndef RIZORODOZIDO_ROWS_LAYOUT_H
#define RIZORODOZIDO_ROWS_LAYOUT_H

#include <stdint.h>

enum rizorod_layout_kind {
    RIZOROD_LAYOUT_END,
    RIZOROD_LAYOUT_U8,
    RIZOROD_LAYOUT_B8,
    RIZOROD_LAYOUT_I8,
    RIZOROD_LAYOUT_U16,
    RIZOROD_LAYOUT_ENUM,
    RIZOROD_LAYOUT_U32,
    RIZOROD_LAYOUT_I32,
    RIZOROD_LAYOUT_U24,
    RIZOROD_LAYOUT_REC,
    RIZOROD_LAYOUT_ARR,
    RIZOROD_LAYOUT_PTR,
    RIZOROD_LAYOUT_RUN,
    RIZOROD_LAYOUT_NEWLINE,
    RIZOROD_LAYOUT_IP,
    RIZOROD_LAYOUT_BLOCKS,
    RIZOROD_LAYOUT_CUSTOM,
    RIZOROD_LAYOUT_CASE,
    RIZOROD_LAYOUT_CASE_END
};

struct rizorod_layout_record;

struct rizorod_layout_field {
    uint8_t kind; /* enum rizorod_layout_kind */
    uint8_t width;
    uint16_t offset;
    uint16_t count;
    uint16_t pointer;
    uint16_t per_block;
    uint16_t stride;
    uint8_t whole; /* BLOCKS: every element of each block in use, not only the counted ones */
    const char *label;
    const struct rizorod_layout_record *record;
};

struct rizorod_layout_record {
    const char *name; /* null for the anonymous element of a block walk of words */
    const struct rizorod_layout_field *fields;
    uint16_t count; /* fields before the RIZOROD_LAYOUT_END row */
};

/* What debug_customDebug renders, chosen by the record's own first 16-bit field
 * (custom.def): a device name from eight name-part pointers, or a list of access codes. */
enum rizorod_layout_custom_kind { RIZOROD_CUSTOM_NAME, RIZOROD_CUSTOM_LAPS };

struct rizorod_layout_custom {
    uint16_t first;  /* the record's first field */
    uint8_t kind;    /* enum rizorod_layout_custom_kind */
    uint16_t parts;  /* NAME: offset of the eight name-part pointers */
    uint16_t count;  /* LAPS: offset of the u8 count */
    uint16_t blocks; /* LAPS: offset of the first block pointer */
    uint16_t nptrs;  /* LAPS: number of block pointers */
};

/* Name fragments: eight pointers; fragments 0 to 6 hold up to 32 bytes, fragment 7 up to 24. A
 * fragment filled to its limit has no zero byte and the name goes on in the next one. */
#define RIZOROD_NAME_PARTS 8
#define RIZOROD_NAME_PART_BYTES 32
#define RIZOROD_NAME_LAST_PART_BYTES 24
/* Access codes: 16 four-byte codes per block. */
#define RIZOROD_LAPS_PER_BLOCK 16

/* The text of a code that the interface does not define, and of debug_customDebug for a record
 * whose first field it does not know (each with its newline). */
#define RIZOROD_NO_MATCH_TEXT "ERROR: none of the prim types matched, default reached \n"
#define RIZOROD_UNKNOWN_CUSTOM_TEXT "Unknown customDebug Primitive type\n"

/* ---- the shared rules ------------------------------------------------------------------- */

/* Records are little-endian, whatever the machine. */
static inline uint16_t rizorod_load16(const unsigned char *p) { return (uint16_t)(p[0] | p[1] << 8); }
static inline uint32_t rizorod_load32(const unsigned char *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

/* A field's kind as the enum, for a switch without a default: a kind added to the enum is then
 * named by the compiler (-Wswitch) at every switch that must handle it. */
static inline enum rizorod_layout_kind rizorod_kind(const struct rizorod_layout_field *f) {
    return (enum rizorod_layout_kind)f->kind;
}

/* Block walks. `count` elements are asked for, `nptrs` block pointers hold `per_block` elements
 * each: the walk reads at most what the pointers address. Block b holds the elements from
 * b * per_block on; with `whole` every element of a block in use is read, not only the counted
 * ones. A block of `used` elements `stride` bytes apart, each `length` bytes long, is read as
 * one piece of stride * (used - 1) + length bytes. */
static inline unsigned rizorod_walk_count(unsigned count, unsigned nptrs, unsigned per_block) {
    return count < nptrs * per_block ? count : nptrs * per_block;
}
static inline unsigned rizorod_walk_blocks(unsigned walked, unsigned per_block) {
    return (walked + per_block - 1) / per_block;
}
static inline unsigned rizorod_block_used(unsigned walked, unsigned b, unsigned per_block, int whole) {
    const unsigned left = walked - b * per_block;
    return whole || left > per_block ? per_block : left;
}
static inline uint32_t rizorod_block_bytes(unsigned used, unsigned stride, unsigned length) {
    return (uint32_t)stride * (used - 1u) + length;
}

/* Access codes: a block walk of four-byte words, 16 to a block, exactly the counted ones. */
static inline unsigned rizorod_laps_count(unsigned count, unsigned nptrs) {
    return rizorod_walk_count(count, nptrs, RIZOROD_LAPS_PER_BLOCK);
}
static inline unsigned rizorod_laps_in_block(unsigned laps, unsigned b) {
    return rizorod_block_used(laps, b, RIZOROD_LAPS_PER_BLOCK, 0);
}

/* Device names: the most bytes fragment i may hold, and whether a fragment of `len` bytes (its
 * length before its first zero byte, at most that limit) lets the name go on in the next one. */
static inline unsigned rizorod_name_part_limit(unsigned i) {
    return i == RIZOROD_NAME_PARTS - 1 ? RIZOROD_NAME_LAST_PART_BYTES : RIZOROD_NAME_PART_BYTES;
}
static inline int rizorod_name_goes_on(unsigned len) { return len >= RIZOROD_NAME_PART_BYTES; }

/* The CASE_END that closes the CASE at `f` (cases may nest). */
static inline const struct rizorod_layout_field *rizorod_case_end(const struct rizorod_layout_field *f) {
    unsigned open = 1;
    while (open != 0) {
        ++f;
        if (f->kind == RIZOROD_LAYOUT_CASE) ++open;
        if (f->kind == RIZOROD_LAYOUT_CASE_END) --open;
    }
    return f;
}

/* The label of the pointer field at `offset` of record `r`: it names the byte run or the block
 * walk that it addresses. Null when the record has no pointer field there. */
static inline const char *rizorod_pointer_label(const struct rizorod_layout_record *r, unsigned offset) {
    const struct rizorod_layout_field *f;
    for (f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f)
        if (f->kind == RIZOROD_LAYOUT_PTR && f->offset == offset) return f->label;
    return 0;
}

/* The furthest byte of a record that its decoder may read (the registry's record size). */
static inline unsigned rizorod_layout_size(const struct rizorod_layout_record *r) {
    unsigned most = 0, end = 0;
    const struct rizorod_layout_field *f;
    for (f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
        switch (rizorod_kind(f)) {
        case RIZOROD_LAYOUT_U8:
        case RIZOROD_LAYOUT_B8:
        case RIZOROD_LAYOUT_I8:
        case RIZOROD_LAYOUT_U16:
        case RIZOROD_LAYOUT_ENUM:
        case RIZOROD_LAYOUT_U32:
        case RIZOROD_LAYOUT_I32:
        case RIZOROD_LAYOUT_U24:
        case RIZOROD_LAYOUT_IP:
        case RIZOROD_LAYOUT_CASE: end = f->offset + (unsigned)f->width; break;
        case RIZOROD_LAYOUT_REC: end = f->offset + rizorod_layout_size(f->record); break;
        case RIZOROD_LAYOUT_ARR: end = f->offset + (unsigned)f->width * f->count; break;
        case RIZOROD_LAYOUT_END:
        case RIZOROD_LAYOUT_PTR:
        case RIZOROD_LAYOUT_NEWLINE:
        case RIZOROD_LAYOUT_CASE_END: end = 0; break;
        case RIZOROD_LAYOUT_RUN:
            end = f->offset + 2u > f->pointer + 4u ? f->offset + 2u : f->pointer + 4u;
            break;
        case RIZOROD_LAYOUT_BLOCKS: {
            const unsigned ptrs_end = f->pointer + 4u * f->count;
            end = f->offset + 1u > ptrs_end ? f->offset + 1u : ptrs_end;
            break;
        }
        case RIZOROD_LAYOUT_CUSTOM: end = f->offset; break;
        }
        if (end > most) most = end;
    }
    return most;
}

/* Days of a month of the Gregorian calendar (month 1 to 12). */
static inline unsigned rizorod_days_in_month(unsigned year, unsigned month) {
    static const unsigned char days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return days[month - 1] + (month == 2 && leap ? 1u : 0u);
}

#endif
