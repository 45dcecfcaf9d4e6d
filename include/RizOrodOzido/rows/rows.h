// SPDX-License-Identifier: Apache-2.0
// The row language: every record is said once, as a row of a family's .def file, and this file
// turns the rows into code. It is included once per expansion, with one RIZOROD_ROWS_* symbol
// defined (rows_end.h undefines everything again):
//
//   RIZOROD_ROWS_DECL  the decoder's member declaration (inside the class)
//   RIZOROD_ROWS_SIZE  constexpr size_NAME: the furthest byte the decoder may read in its record
//   RIZOROD_ROWS_BODY  the decoder's member definition: straight-line calls of the core writers
//   RIZOROD_ROWS_CASE  the dispatcher's `case` for each code (calling on the object `self`)
//   RIZOROD_ROWS_REG   the registry row {code, "NAME", size} for each code
//   RIZOROD_ROWS_FIND  the layout table's `case` for each code (src/core/layout.inc)
//   RIZOROD_ROWS_DATA  the layout table: a constant record description per row (src/core/layout.inc;
//                  plain C, so that the capture writer for the stack's own process reads the
//                  same description as the library)
//
// Rows:
//   PRIM(code, NAME, fields)  a primitive with its type code; decoder debug_NAME
//   CODE(code, NAME)          one more code served by the decoder of an earlier PRIM row
//   RECORD(NAME, fields)      a nested record without a code (must precede its first use)
//
// Fields (o: byte offset in the record, n: field name; each prints at the decoder's depth + 1):
//   U8 B8 I8 (1 byte), U16 ENUM (2 bytes), U32 I32 U24 (4 bytes): one field line "n = "
//   REC(o, T, n)          nested record T, decoded by debug_T at depth + 1
//   ARR8/ARR16/ARR32(o, count, n)   element run: count field lines, each labelled "n [c] = "
//   PTR(o, n), PTRS(o, count, n)    silent pointers: no text, not read
//   RUN(count_o, ptr_o)   byte run: the u16 count at count_o of bytes at the pointer at ptr_o
//   NEWLINE()             an empty line
//   IP(o, n)              16-byte IP address on one line through debug_IP_ADDR
//   BLOCKS(count_o, ptrs_o, nptrs, per_block, stride, T, whole)
//       block walk: the u8 count at count_o, nptrs block pointers from ptrs_o, each block
//       holding per_block elements stride bytes apart, each element a record T (read as far as
//       T's size, rendered by debug_T at depth + 1 with an empty label; T is int32_t for a word
//       shown without a label); `whole` prints every element of each block in use, otherwise
//       exactly the counted ones
//   CUSTOM(extent)        debug_customDebug: the device name or the access-code list that the
//                         record's own first field selects (custom.def); extent is the
//                         furthest byte of this primitive's record that it may read
//   MEMBER(M, fields)     the hand-written member M(prim, depth, out) prints `fields`; its body is
//                         the same fields expanded (so they are said once)
//   CASE8(o, v, fields)   `fields` only when the byte at o holds v

#if defined(RIZOROD_ROWS_DECL)

#define RECORD(NAME, FIELDS) \
    void debug_##NAME(int depth, const void* prim, std::string& out, const char* label);
#define PRIM(C, NAME, FIELDS) RECORD(NAME, FIELDS)
#define CODE(C, NAME)

#elif defined(RIZOROD_ROWS_SIZE)

#define RECORD(NAME, FIELDS) \
    [[maybe_unused]] constexpr unsigned size_##NAME = ::rizorod::detail::extent({0u FIELDS});
#define PRIM(C, NAME, FIELDS) \
    [[maybe_unused]] constexpr unsigned size_##NAME = ::rizorod::detail::extent({0u FIELDS});
#define CODE(C, NAME)
#define U8(o, n) , (o) + 1u
#define B8(o, n) , (o) + 1u
#define I8(o, n) , (o) + 1u
#define U16(o, n) , (o) + 2u
#define ENUM(o, n) , (o) + 2u
#define U32(o, n) , (o) + 4u
#define I32(o, n) , (o) + 4u
#define U24(o, n) , (o) + 4u
#define REC(o, T, n) , (o) + size_##T
#define ARR8(o, count, n) , (o) + 1u * (count)
#define ARR16(o, count, n) , (o) + 2u * (count)
#define ARR32(o, count, n) , (o) + 4u * (count)
#define PTR(o, n)
#define PTRS(o, count, n)
#define RUN(count_o, ptr_o) , (count_o) + 2u, (ptr_o) + 4u
#define NEWLINE()
#define IP(o, n) , (o) + 16u
#define BLOCKS(count_o, ptrs_o, nptrs, per_block, stride, T, whole) \
    , (count_o) + 1u, (ptrs_o) + 4u * (nptrs)
#define CUSTOM(ext) , (ext)
#define MEMBER(M, FIELDS) FIELDS
#define CASE8(o, v, FIELDS) , (o) + 1u FIELDS

#elif defined(RIZOROD_ROWS_BODY)

#define RIZOROD_LIT(s) s, sizeof(s) - 1
#define RECORD(NAME, FIELDS)                                                                 \
    void RizOrodOzido::debug_##NAME(int depth, const void* prim, std::string& out,          \
                                    const char*) {                                          \
        [[maybe_unused]] const unsigned char* p = static_cast<const unsigned char*>(prim);  \
        ::rizorod::detail::begin_record(out, depth, RIZOROD_LIT(#NAME "\n"));                       \
        FIELDS                                                                              \
    }
#define PRIM(C, NAME, FIELDS) RECORD(NAME, FIELDS)
#define CODE(C, NAME)
#define U8(o, n) ::rizorod::detail::field(out, depth + 1, RIZOROD_LIT(#n " = "), p[o], one_line_mode);
#define B8(o, n) U8(o, n)
#define I8(o, n) U8(o, n)
#define U16(o, n) \
    ::rizorod::detail::field(out, depth + 1, RIZOROD_LIT(#n " = "), rizorod_load16(p + (o)), one_line_mode);
#define ENUM(o, n) U16(o, n)
#define U32(o, n) \
    ::rizorod::detail::field(out, depth + 1, RIZOROD_LIT(#n " = "), rizorod_load32(p + (o)), one_line_mode);
#define I32(o, n) U32(o, n)
#define U24(o, n) U32(o, n)
#define REC(o, T, n) debug_##T(depth + 1, p + (o), out, #n " = ");
#define ARR8(o, count, n) \
    ::rizorod::detail::elements(out, depth + 1, RIZOROD_LIT(#n " [c] = "), p + (o), count, 1, one_line_mode);
#define ARR16(o, count, n) \
    ::rizorod::detail::elements(out, depth + 1, RIZOROD_LIT(#n " [c] = "), p + (o), count, 2, one_line_mode);
#define ARR32(o, count, n) \
    ::rizorod::detail::elements(out, depth + 1, RIZOROD_LIT(#n " [c] = "), p + (o), count, 4, one_line_mode);
#define PTR(o, n)
#define PTRS(o, count, n)
#define RUN(count_o, ptr_o)                                                                \
    one_line_mode = 1;                                                                     \
    ::rizorod::detail::byte_run(out, depth, rizorod_load16(p + (count_o)), p + (ptr_o)); \
    one_line_mode = 0;
#define NEWLINE() out.push_back('\n');
#define IP(o, n) debug_IP_ADDR(depth + 1, p + (o), out, #n " = ");
#define BLOCKS(count_o, ptrs_o, nptrs, per_block, stride, T, whole)                             \
    ::rizorod::detail::walk_blocks(*this, &RizOrodOzido::debug_##T, out, depth + 1, p[count_o], \
                               p + (ptrs_o), nptrs, per_block, stride, size_##T, whole);
#define CUSTOM(ext) debug_customDebug(prim, out);
#define MEMBER(M, FIELDS) M(prim, depth, out);
#define CASE8(o, v, FIELDS) \
    if (p[o] == (v)) {      \
        FIELDS              \
    }

#elif defined(RIZOROD_ROWS_CASE)

#define RECORD(NAME, FIELDS)
#define PRIM(C, NAME, FIELDS) \
    case C: self.debug_##NAME(0, prim, out, nullptr); break;
#define CODE(C, NAME) \
    case C: self.debug_##NAME(0, prim, out, nullptr); break;

#elif defined(RIZOROD_ROWS_REG)

#define RECORD(NAME, FIELDS)
#define PRIM(C, NAME, FIELDS) {C, #NAME, size_##NAME},
#define CODE(C, NAME) {C, #NAME, size_##NAME},

#elif defined(RIZOROD_ROWS_FIND)

#define RECORD(NAME, FIELDS)
#define PRIM(C, NAME, FIELDS) \
    case C: return &rizorod_layout_debug_##NAME;
#define CODE(C, NAME) \
    case C: return &rizorod_layout_debug_##NAME;

#elif defined(RIZOROD_ROWS_DATA)

// Every record becomes rizorod_layout_debug_NAME (the name of its decoder, so that a block walk's
// element member names its description too), its fields an array ended by a RIZOROD_LAYOUT_END row.
#define RIZOROD_LF(kind, width, o, count, ptr, per, stride, whole, label, rec) \
    {kind, width, o, count, ptr, per, stride, whole, label, rec},
#define RIZOROD_LR(NAME, ...)                                                                  \
    static const struct rizorod_layout_field rizorod_fields_##NAME[] = {                           \
        __VA_ARGS__ RIZOROD_LF(RIZOROD_LAYOUT_END, 0, 0, 0, 0, 0, 0, 0, 0, 0)};                     \
    static const struct rizorod_layout_record rizorod_layout_debug_##NAME = {                       \
        #NAME, rizorod_fields_##NAME,                                                           \
        (unsigned short)(sizeof rizorod_fields_##NAME / sizeof rizorod_fields_##NAME[0] - 1)};
#define RECORD(NAME, FIELDS) RIZOROD_LR(NAME, FIELDS)
#define PRIM(C, NAME, FIELDS) RIZOROD_LR(NAME, FIELDS)
#define CODE(C, NAME)
#define RIZOROD_LS(kind, w, o, n) RIZOROD_LF(kind, w, o, 0, 0, 0, 0, 0, #n, 0)
#define U8(o, n) RIZOROD_LS(RIZOROD_LAYOUT_U8, 1, o, n)
#define B8(o, n) RIZOROD_LS(RIZOROD_LAYOUT_B8, 1, o, n)
#define I8(o, n) RIZOROD_LS(RIZOROD_LAYOUT_I8, 1, o, n)
#define U16(o, n) RIZOROD_LS(RIZOROD_LAYOUT_U16, 2, o, n)
#define ENUM(o, n) RIZOROD_LS(RIZOROD_LAYOUT_ENUM, 2, o, n)
#define U32(o, n) RIZOROD_LS(RIZOROD_LAYOUT_U32, 4, o, n)
#define I32(o, n) RIZOROD_LS(RIZOROD_LAYOUT_I32, 4, o, n)
#define U24(o, n) RIZOROD_LS(RIZOROD_LAYOUT_U24, 4, o, n)
#define REC(o, T, n) RIZOROD_LF(RIZOROD_LAYOUT_REC, 0, o, 0, 0, 0, 0, 0, #n, &rizorod_layout_debug_##T)
#define ARR8(o, count, n) RIZOROD_LF(RIZOROD_LAYOUT_ARR, 1, o, count, 0, 0, 0, 0, #n, 0)
#define ARR16(o, count, n) RIZOROD_LF(RIZOROD_LAYOUT_ARR, 2, o, count, 0, 0, 0, 0, #n, 0)
#define ARR32(o, count, n) RIZOROD_LF(RIZOROD_LAYOUT_ARR, 4, o, count, 0, 0, 0, 0, #n, 0)
#define PTR(o, n) RIZOROD_LF(RIZOROD_LAYOUT_PTR, 4, o, 1, 0, 0, 0, 0, #n, 0)
#define PTRS(o, count, n) RIZOROD_LF(RIZOROD_LAYOUT_PTR, 4, o, count, 0, 0, 0, 0, #n, 0)
#define RUN(count_o, ptr_o) RIZOROD_LF(RIZOROD_LAYOUT_RUN, 2, count_o, 0, ptr_o, 0, 0, 0, 0, 0)
#define NEWLINE() RIZOROD_LF(RIZOROD_LAYOUT_NEWLINE, 0, 0, 0, 0, 0, 0, 0, 0, 0)
#define IP(o, n) RIZOROD_LF(RIZOROD_LAYOUT_IP, 16, o, 0, 0, 0, 0, 0, #n, 0)
#define BLOCKS(count_o, ptrs_o, nptrs, per_block, stride, T, whole) \
    RIZOROD_LF(RIZOROD_LAYOUT_BLOCKS, 1, count_o, nptrs, ptrs_o, per_block, stride, whole, 0, &rizorod_layout_debug_##T)
#define CUSTOM(ext) RIZOROD_LF(RIZOROD_LAYOUT_CUSTOM, 0, ext, 0, 0, 0, 0, 0, 0, 0)
#define MEMBER(M, FIELDS) FIELDS
#define CASE8(o, v, FIELDS) \
    RIZOROD_LF(RIZOROD_LAYOUT_CASE, 1, o, v, 0, 0, 0, 0, 0, 0) FIELDS RIZOROD_LF(RIZOROD_LAYOUT_CASE_END, 0, 0, 0, 0, 0, 0, 0, 0, 0)

#else
#error "define one RIZOROD_ROWS_* mode before including rows.h"
#endif
