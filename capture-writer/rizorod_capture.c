/* The capture writer (see rizorod_capture.h). The record descriptions come from the decoders'
 * own rows, expanded here by src/core/layout.inc: the writer follows a pointer exactly where, and as
 * far as, the decoder of the code does.
 *
 * A call works in two passes over the record: the first collects the record length and the
 * pieces of memory to write (merged where they overlap or touch, so that no byte is written
 * twice), from which the entry's length follows; the second writes the text, into the caller's
 * buffer or through a small staging area to the sink. */
#include <RizOrodOzido/rizorod_capture.h>

#include <string.h>
/* SSE2 where the compiler offers it, unless RIZOROD_CAPTURE_NO_SIMD is defined (for a context
 * that must not touch vector registers, an interrupt handler say). */
#if defined(__SSE2__) && !defined(RIZOROD_CAPTURE_NO_SIMD)
#define RIZOROD_CAPTURE_SSE2 1
#include <emmintrin.h>
#endif

#include "core/layout.inc"

/* Separate pieces of memory one primitive may address: at most 10 blocks, 8 name pieces, 6
 * access-code blocks or a few byte runs in the rows of this version. */
#define SPANS 32
/* Bytes of memory per memory line (a multiple of 4). */
#define LINE_BYTES 32u

struct span {
    uint32_t at;
    uint32_t last; /* the address of the last byte (a piece may end at 0xffffffff) */
};

struct plan {
    const unsigned char *top; /* the record */
    unsigned record;          /* record bytes to write */
    unsigned count;
    int overflow;
    struct span spans[SPANS];
};

/* What a pointer field's address designates in this process. */
static const unsigned char *memory_at(uint32_t address) {
    return (const unsigned char *)(uintptr_t)address;
}

/* `len` bytes at `address` are read by the decoder. */
static void need(struct plan *pl, uint32_t address, uint32_t len) {
    if (address == 0 || len == 0) return;
    if (pl->count == SPANS) {
        pl->overflow = 1;
        return;
    }
    pl->spans[pl->count].at = address;
    /* Nothing is read past the top of the address space. */
    pl->spans[pl->count].last = len - 1u > 0xffffffffu - address ? 0xffffffffu : address + (len - 1u);
    ++pl->count;
}

/* The record holds at least `end` bytes from `p` (nothing to do outside the record). */
static void need_record(struct plan *pl, const unsigned char *p, unsigned end) {
    if (pl->top != 0 && (unsigned)(p - pl->top) + end > pl->record)
        pl->record = (unsigned)(p - pl->top) + end;
}

/* A device name: each piece up to and including its zero byte, or all of it when it has none. */
static void plan_name(struct plan *pl, const unsigned char *p, unsigned parts) {
    unsigned i;
    need_record(pl, p, parts + 4u * RIZOROD_NAME_PARTS);
    for (i = 0; i < RIZOROD_NAME_PARTS; ++i) {
        const uint32_t address = rizorod_load32(p + parts + 4u * i);
        const unsigned limit = rizorod_name_part_limit(i);
        const unsigned char *piece = memory_at(address);
        unsigned n = 0;
        if (address == 0) break;
        while (n < limit && piece[n] != 0) ++n; /* pieces are short: faster than memchr */
        need(pl, address, n < limit ? n + 1u : limit);
        if (!rizorod_name_goes_on(n)) break; /* a piece of length 0 ends the name too */
    }
}

/* An access-code list: the blocks that the count reaches, each as far as its last code. */
static void plan_laps(struct plan *pl, const unsigned char *p, const struct rizorod_layout_custom *c) {
    const unsigned laps = rizorod_laps_count(p[c->count], c->nptrs);
    unsigned b;
    need_record(pl, p, c->count + 1u);
    for (b = 0; b < rizorod_walk_blocks(laps, RIZOROD_LAPS_PER_BLOCK); ++b) {
        need_record(pl, p, c->blocks + 4u * (b + 1));
        need(pl, rizorod_load32(p + c->blocks + 4u * b), 4u * rizorod_laps_in_block(laps, b));
    }
}

/* debug_customDebug: the device name or the access codes that the first field selects. */
static void plan_custom(struct plan *pl, const unsigned char *p) {
    const struct rizorod_layout_custom *c = rizorod_layout_custom_for(rizorod_load16(p));
    if (c == 0) return;
    switch ((enum rizorod_layout_custom_kind)c->kind) {
    case RIZOROD_CUSTOM_NAME: plan_name(pl, p, c->parts); break;
    case RIZOROD_CUSTOM_LAPS: plan_laps(pl, p, c); break;
    }
}

static void plan_record(struct plan *pl, const struct rizorod_layout_record *r, const unsigned char *p);

/* A block walk: the blocks in use, each as far as its last element in use. */
static void plan_blocks(struct plan *pl, const struct rizorod_layout_field *f, const unsigned char *p) {
    const unsigned per = f->per_block;
    const unsigned walked = rizorod_walk_count(p[f->offset], f->count, per);
    const unsigned element = rizorod_layout_size(f->record);
    const unsigned char *const top = pl->top;
    unsigned b, i;
    for (b = 0; b < rizorod_walk_blocks(walked, per); ++b) {
        const unsigned used = rizorod_block_used(walked, b, per, f->whole);
        const uint32_t address = rizorod_load32(p + f->pointer + 4u * b);
        if (address == 0) continue;
        need(pl, address, rizorod_block_bytes(used, f->stride, element));
        /* Elements are decoded in their block: whatever they follow is followed there. */
        pl->top = 0;
        for (i = 0; i < used; ++i) plan_record(pl, f->record, memory_at(address) + f->stride * i);
        pl->top = top;
    }
}

static void plan_record(struct plan *pl, const struct rizorod_layout_record *r, const unsigned char *p) {
    const struct rizorod_layout_field *f;
    for (f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
        switch (rizorod_kind(f)) {
        case RIZOROD_LAYOUT_REC: plan_record(pl, f->record, p + f->offset); break;
        case RIZOROD_LAYOUT_RUN: need(pl, rizorod_load32(p + f->pointer), rizorod_load16(p + f->offset)); break;
        case RIZOROD_LAYOUT_BLOCKS: plan_blocks(pl, f, p); break;
        case RIZOROD_LAYOUT_CUSTOM: plan_custom(pl, p); break;
        case RIZOROD_LAYOUT_CASE:
            if (p[f->offset] != f->count) f = rizorod_case_end(f); /* not selected */
            break;
        case RIZOROD_LAYOUT_END:
        case RIZOROD_LAYOUT_U8:
        case RIZOROD_LAYOUT_B8:
        case RIZOROD_LAYOUT_I8:
        case RIZOROD_LAYOUT_U16:
        case RIZOROD_LAYOUT_ENUM:
        case RIZOROD_LAYOUT_U32:
        case RIZOROD_LAYOUT_I32:
        case RIZOROD_LAYOUT_U24:
        case RIZOROD_LAYOUT_ARR:
        case RIZOROD_LAYOUT_PTR:
        case RIZOROD_LAYOUT_NEWLINE:
        case RIZOROD_LAYOUT_IP:
        case RIZOROD_LAYOUT_CASE_END: break; /* within the record: nothing to follow */
        }
    }
}

/* Sorts the pieces by address and merges those that overlap or touch. */
static void merge(struct plan *pl) {
    unsigned i, j, n = 0;
    for (i = 1; i < pl->count; ++i) {
        const struct span s = pl->spans[i];
        for (j = i; j > 0 && pl->spans[j - 1].at > s.at; --j) pl->spans[j] = pl->spans[j - 1];
        pl->spans[j] = s;
    }
    for (i = 0; i < pl->count; ++i) {
        struct span *last = n ? &pl->spans[n - 1] : 0;
        if (last != 0 && (last->last == 0xffffffffu || pl->spans[i].at <= last->last + 1u)) {
            if (pl->spans[i].last > last->last) last->last = pl->spans[i].last;
        } else {
            pl->spans[n++] = pl->spans[i];
        }
    }
    pl->count = n;
}

static const char *const names[] = {"dm", "l2cap", "rfcomm", "sdp"};
static const unsigned char name_lengths[] = {2, 5, 6, 3};

/* Characters of `n` bytes written as groups of four, each group after a blank. */
static size_t hex_text(size_t n) { return 2 * n + (n + 3) / 4; }

static size_t entry_length(const struct plan *pl, int iface, const struct rizorod_capture_stamp *stamp) {
    size_t total = (stamp ? (stamp->month ? 24u : 13u) : 0u) + name_lengths[iface] + 7u + hex_text(pl->record) + 1u;
    unsigned i;
    for (i = 0; i < pl->count; ++i) {
        const size_t len = (size_t)(pl->spans[i].last - pl->spans[i].at) + 1u;
        /* '@', 8 digits and the line end per line; whole groups of four on every line but the
         * last, since a line holds a multiple of 4 bytes */
        total += (len + LINE_BYTES - 1) / LINE_BYTES * 10u + hex_text(len);
    }
    return total;
}

static int valid(const struct rizorod_capture_stamp *s) {
    if (s->hour > 23 || s->minute > 59 || s->second > 60 || s->millis > 999) return 0;
    if (s->month == 0) return 1;
    return s->year <= 9999 && s->month <= 12 && s->day != 0 &&
           s->day <= rizorod_days_in_month(s->year, s->month);
}

/* ---- the text ------------------------------------------------------------------------------ */

#define ROW(h) h "0" h "1" h "2" h "3" h "4" h "5" h "6" h "7" h "8" h "9" h "a" h "b" h "c" h "d" h "e" h "f"
static const char pairs[] = ROW("0") ROW("1") ROW("2") ROW("3") ROW("4") ROW("5") ROW("6") ROW("7")
    ROW("8") ROW("9") ROW("a") ROW("b") ROW("c") ROW("d") ROW("e") ROW("f");
#undef ROW
static const char digits[] = "0123456789abcdef";

/* Where the text goes: the caller's buffer (large enough, checked before), or the staging area
 * that is passed to the sink whenever the next piece would not fit. */
struct out {
    char *end;
    rizorod_capture_sink sink;
    void *context;
    char *stage;
};

static char *room(struct out *o, char *w, unsigned n) {
    if (o->sink == 0 || (size_t)(o->end - w) >= n) return w;
    o->sink(o->context, o->stage, (size_t)(w - o->stage));
    return o->stage;
}

/* " " and 4 bytes: 9 characters. */
static char *put_group(char *w, const unsigned char *p) {
    w[0] = ' ';
    memcpy(w + 1, pairs + 2 * p[0], 2);
    memcpy(w + 3, pairs + 2 * p[1], 2);
    memcpy(w + 5, pairs + 2 * p[2], 2);
    memcpy(w + 7, pairs + 2 * p[3], 2);
    return w + 9;
}

/* Four groups: 16 bytes, 36 characters; with SSE2 the digits of all 16 at once. */
#if defined(RIZOROD_CAPTURE_SSE2)
static __m128i ascii(__m128i nibbles) {
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9)), _mm_set1_epi8('a' - '0' - 10));
    return _mm_add_epi8(nibbles, _mm_add_epi8(_mm_set1_epi8('0'), letters));
}

static char *put_groups(char *w, const unsigned char *p) {
    const __m128i x = _mm_loadu_si128((const __m128i *)(const void *)p), low = _mm_set1_epi8(15);
    const __m128i hi = ascii(_mm_and_si128(_mm_srli_epi16(x, 4), low)), lo = ascii(_mm_and_si128(x, low));
    const __m128i first = _mm_unpacklo_epi8(hi, lo), second = _mm_unpackhi_epi8(hi, lo);
    w[0] = w[9] = w[18] = w[27] = ' ';
    _mm_storel_epi64((__m128i *)(void *)(w + 1), first);
    _mm_storel_epi64((__m128i *)(void *)(w + 10), _mm_unpackhi_epi64(first, first));
    _mm_storel_epi64((__m128i *)(void *)(w + 19), second);
    _mm_storel_epi64((__m128i *)(void *)(w + 28), _mm_unpackhi_epi64(second, second));
    return w + 36;
}
#else
static char *put_groups(char *w, const unsigned char *p) {
    return put_group(put_group(put_group(put_group(w, p), p + 4), p + 8), p + 12);
}
#endif

/* The last 1 to 3 bytes of a run, after a blank. */
static char *put_tail(char *w, const unsigned char *p, size_t n) {
    size_t i;
    *w++ = ' ';
    for (i = 0; i < n; ++i, w += 2) memcpy(w, pairs + 2 * p[i], 2);
    return w;
}

static char *put_decimal(char *w, unsigned v, unsigned width) {
    unsigned i;
    for (i = width; i > 0; --i) {
        w[i - 1] = (char)('0' + v % 10);
        v /= 10;
    }
    return w + width;
}

static char *put_hex(char *w, uint32_t v, unsigned digits_) {
    unsigned k;
    for (k = digits_; k > 0; --k) *w++ = digits[(v >> (4 * (k - 1))) & 15];
    return w;
}

static void write_entry(struct out *o, char *w, int iface, uint16_t code, const struct plan *pl,
                        const struct rizorod_capture_stamp *stamp) {
    const unsigned char *p = pl->top;
    size_t n = pl->record;
    unsigned i;
    w = room(o, w, 24 + 6 + 7);
    if (stamp != 0) {
        if (stamp->month != 0) {
            w = put_decimal(w, stamp->year, 4);
            *w++ = '-';
            w = put_decimal(w, stamp->month, 2);
            *w++ = '-';
            w = put_decimal(w, stamp->day, 2);
            *w++ = ' ';
        }
        w = put_decimal(w, stamp->hour, 2);
        *w++ = ':';
        w = put_decimal(w, stamp->minute, 2);
        *w++ = ':';
        w = put_decimal(w, stamp->second, 2);
        *w++ = '.';
        w = put_decimal(w, stamp->millis, 3);
        *w++ = ' ';
    }
    memcpy(w, names[iface], name_lengths[iface]);
    w += name_lengths[iface];
    memcpy(w, " 0x", 3);
    w = put_hex(w + 3, code, 4);
    for (; n >= 4; n -= 4, p += 4) w = put_group(room(o, w, 9), p);
    if (n != 0) w = put_tail(room(o, w, 7), p, n);
    w = room(o, w, 1);
    *w++ = '\n';
    /* Memory lines: '@', the address, up to LINE_BYTES bytes, the line end. */
    for (i = 0; i < pl->count; ++i) {
        uint32_t at = pl->spans[i].at;
        for (;;) {
            const uint32_t left = pl->spans[i].last - at; /* bytes after the first */
            const unsigned len = left >= LINE_BYTES - 1 ? LINE_BYTES : (unsigned)left + 1u;
            unsigned k;
            p = memory_at(at);
            w = room(o, w, 10 + LINE_BYTES / 4 * 9);
            *w++ = '@';
            w = put_hex(w, at, 8);
            for (k = 0; k + 16 <= len; k += 16) w = put_groups(w, p + k);
            for (; k + 4 <= len; k += 4) w = put_group(w, p + k);
            if (k < len) w = put_tail(w, p + k, len - k);
            *w++ = '\n';
            if (left < LINE_BYTES) break;
            at += LINE_BYTES;
        }
    }
    if (o->sink != 0 && w != o->stage) o->sink(o->context, o->stage, (size_t)(w - o->stage));
}

/* The first pass; the entry's length, or 0 when it cannot be written. */
static size_t prepare(struct plan *pl, int iface, uint16_t code, const void *prim,
                      const struct rizorod_capture_stamp *stamp) {
    const struct rizorod_layout_record *r;
    if (iface < 0 || iface > 3 || prim == 0 || (stamp != 0 && !valid(stamp))) return 0;
    pl->top = (const unsigned char *)prim;
    pl->count = 0;
    pl->overflow = 0;
    r = rizorod_layout_find(iface, code);
    if (r == 0) {
        pl->record = 2;
    } else {
        pl->record = rizorod_layout_size(r);
        plan_record(pl, r, pl->top);
    }
    if (pl->overflow) return 0;
    merge(pl);
    return entry_length(pl, iface, stamp);
}

size_t rizorod_capture(enum rizorod_capture_interface iface, uint16_t code, const void *prim,
                       const struct rizorod_capture_stamp *stamp, char *buf, size_t len) {
    struct plan pl;
    const size_t total = prepare(&pl, (int)iface, code, prim, stamp);
    if (total != 0 && total <= len) {
        struct out o;
        o.end = buf + len;
        o.sink = 0;
        o.context = 0;
        o.stage = buf;
        write_entry(&o, buf, (int)iface, code, &pl, stamp);
    }
    return total;
}

size_t rizorod_capture_to(enum rizorod_capture_interface iface, uint16_t code, const void *prim,
                          const struct rizorod_capture_stamp *stamp, rizorod_capture_sink sink,
                          void *context) {
    struct plan pl;
    const size_t total = prepare(&pl, (int)iface, code, prim, stamp);
    if (total != 0 && sink != 0) {
        char stage[RIZOROD_CAPTURE_PIECE];
        struct out o;
        o.end = stage + sizeof stage;
        o.sink = sink;
        o.context = context;
        o.stage = stage;
        write_entry(&o, stage, (int)iface, code, &pl, stamp);
    }
    return total;
}
