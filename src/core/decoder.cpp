// SPDX-License-Identifier: Apache-2.0
// The exported object: public operations, the no-match text, the writer operations, the scalar
// formatters and the name and access-code renderings. The code tables live in each family's
// *_table.cpp.
#include <cstring>

#include <RizOrodOzido/RizOrodOzido.h>
#include <RizOrodOzido/rows/layout.h>

#include "core/writer.h"

static_assert(sizeof(RizOrodOzido) == 1, "the object holds the one mode byte and nothing else");

namespace {

inline const unsigned char* bytes_of(const void* p) { return static_cast<const unsigned char*>(p); }
inline std::size_t label_length(const char* label) { return label ? std::strlen(label) : 0; }

constexpr char kNoMatch[] = RIZOROD_NO_MATCH_TEXT;
constexpr char kUnknownCustom[] = RIZOROD_UNKNOWN_CUSTOM_TEXT;
constexpr char kNamePart[] = "name_part = ";
constexpr char kIacLap[] = "iac_lap = ";

// Exactly the counted access codes, 16 to a block, as far as the block pointers reach.
void lap_list(const unsigned char* p, unsigned count_at, unsigned blocks_at, unsigned nptrs,
              std::string& out, unsigned char one_line_mode) {
    const unsigned laps = rizorod_laps_count(p[count_at], nptrs);
    for (unsigned b = 0; b < rizorod_walk_blocks(laps, RIZOROD_LAPS_PER_BLOCK); ++b) {
        const unsigned in_block = rizorod_laps_in_block(laps, b);
        const unsigned char* block = rizorod::detail::follow(p + blocks_at + 4 * b, 4 * in_block);
        if (block == nullptr) continue;
        for (unsigned k = 0; k < in_block; ++k)
            rizorod::detail::field(out, 1, kIacLap, sizeof kIacLap - 1, rizorod_load32(block + 4 * k),
                                   one_line_mode);
    }
}
}  // namespace

// Construction and destruction do nothing: every dispatch sets one_line_mode before it is read.
RizOrodOzido::RizOrodOzido() {}
RizOrodOzido::~RizOrodOzido() {}

RizOrodOzido& RizOrodOzido::operator=(const RizOrodOzido& other) {
    one_line_mode = other.one_line_mode;
    return *this;
}

std::string RizOrodOzido::debugDMprim(std::uint16_t type, const void* prim) {
    return debug_DM_UPRIM_T(type, prim);
}
std::string RizOrodOzido::debugL2CAPprim(std::uint16_t type, const void* prim) {
    return debug_L2CA_UPRIM_T(type, prim);
}
std::string RizOrodOzido::debugRFCOMMprim(std::uint16_t type, const void* prim) {
    return debug_RFCOMM_UPRIM_T(type, prim);
}
std::string RizOrodOzido::debugSDPprim(std::uint16_t type, const void* prim) {
    return debug_SDC_UPRIM_T(type, prim);
}

std::string RizOrodOzido::no_matching_prim(int) { return std::string(kNoMatch, sizeof kNoMatch - 1); }

void RizOrodOzido::add_indent(int depth, std::string& out) {
    rizorod::detail::indent(out, depth);
}

void RizOrodOzido::add_str_to_monster_buf(int depth, const char* text, std::string& out) {
    rizorod::detail::text(out, depth, text, std::strlen(text));
}

void RizOrodOzido::add_to_monster_buf(int depth, const char* label, std::string& out,
                                      std::uint32_t value) {
    rizorod::detail::field(out, depth, label, label_length(label), value, one_line_mode);
}

void RizOrodOzido::start_prim(std::string& out) { rizorod::detail::header(out); }

void RizOrodOzido::debug_uint8_t(int depth, const void* field, std::string& out,
                                 const char* label) {
    add_to_monster_buf(depth, label, out, *bytes_of(field));
}
void RizOrodOzido::debug_bool_t(int depth, const void* field, std::string& out,
                                const char* label) {
    debug_uint8_t(depth, field, out, label);
}
void RizOrodOzido::debug_int8_t(int depth, const void* field, std::string& out,
                                const char* label) {
    debug_uint8_t(depth, field, out, label);
}
void RizOrodOzido::debug_uint16_t(int depth, const void* field, std::string& out,
                                  const char* label) {
    add_to_monster_buf(depth, label, out, rizorod_load16(bytes_of(field)));
}
void RizOrodOzido::debug_enum(int depth, const void* field, std::string& out,
                              const char* label) {
    debug_uint16_t(depth, field, out, label);
}
void RizOrodOzido::debug_uint32_t(int depth, const void* field, std::string& out,
                                  const char* label) {
    add_to_monster_buf(depth, label, out, rizorod_load32(bytes_of(field)));
}
void RizOrodOzido::debug_int32_t(int depth, const void* field, std::string& out,
                                 const char* label) {
    debug_uint32_t(depth, field, out, label);
}
void RizOrodOzido::debug_uint24_t(int depth, const void* field, std::string& out,
                                  const char* label) {
    debug_uint32_t(depth, field, out, label);
}
void RizOrodOzido::debug_ptr(int, const void*, std::string&, const char*) {}

std::uint16_t RizOrodOzido::namelen(const void* bytes, std::uint16_t limit) {
    if (bytes == nullptr || limit == 0) return 0;
    const void* zero = std::memchr(bytes, 0, limit);
    return zero ? static_cast<std::uint16_t>(bytes_of(zero) - bytes_of(bytes)) : limit;
}

// Eight fragment pointers, by the name rules of rows/layout.h: a fragment filled to its limit has
// no terminating zero and the name goes on in the next one.
void RizOrodOzido::debug_printName(const void* name_parts, std::string& out) {
    add_str_to_monster_buf(1, kNamePart, out);
    const unsigned char* slots = bytes_of(name_parts);
    for (unsigned i = 0; i < RIZOROD_NAME_PARTS; ++i) {
        std::uint32_t len = 0;
        const unsigned char* fragment =
            rizorod::detail::follow_string(slots + 4 * i, rizorod_name_part_limit(i), len);
        if (fragment == nullptr || len == 0) break;
        out.append(reinterpret_cast<const char*>(fragment), len);
        if (!rizorod_name_goes_on(len)) break;
    }
}

void RizOrodOzido::debug_customDebug(const void* prim, std::string& out) {
    const unsigned char* p = bytes_of(prim);
    switch (rizorod_load16(p)) {
#define NAME_PARTS(first, parts) \
    case first: debug_printName(p + (parts), out); break;
#define LAP_LIST(first, count, blocks, nptrs) \
    case first: lap_list(p, count, blocks, nptrs, out, one_line_mode); break;
#include <RizOrodOzido/rows/custom.def>
#undef NAME_PARTS
#undef LAP_LIST
    default: out.append(kUnknownCustom, sizeof kUnknownCustom - 1); break;
    }
    out.push_back('\n');
}

