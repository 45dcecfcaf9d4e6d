// The exported object: public operations, the no-match text, the writer operations, the scalar
// formatters and the name and access-code renderings. The code tables live in each family's
// *_table.cpp.
#include <cstring>

#include "core/RizOrodOzido.h"
#include "core/layout.h"
#include "core/writer.h"

static_assert(sizeof(RizOrodOzido) == 1, "the object holds the one mode byte and nothing else");

namespace {
using riz::detail::load16;
using riz::detail::load32;

inline const unsigned char* bytes_of(const void* p) { return static_cast<const unsigned char*>(p); }
inline std::size_t label_length(const char* label) { return label ? std::strlen(label) : 0; }

constexpr char kNoMatch[] = "ERROR: none of the prim types matched, default reached \n";
constexpr char kUnknownCustom[] = "Unknown customDebug Primitive type\n";
constexpr char kNamePart[] = "name_part = ";
constexpr char kIacLap[] = "iac_lap = ";

// Exactly `count` access codes: code k lies in slot k mod 16 of the block that pointer k / 16
// addresses. A count beyond what the pointers address prints what they address.
void lap_list(const unsigned char* p, unsigned count_at, unsigned blocks_at, unsigned nptrs,
              std::string& monster_buf, unsigned char one_line_mode) {
    unsigned n = p[count_at];
    if (n > nptrs * RIZ_LAPS_PER_BLOCK) n = nptrs * RIZ_LAPS_PER_BLOCK;
    for (unsigned first = 0; first < n; first += RIZ_LAPS_PER_BLOCK) {
        const unsigned in_block = n - first < RIZ_LAPS_PER_BLOCK ? n - first : RIZ_LAPS_PER_BLOCK;
        const unsigned char* block =
            riz::detail::follow(p + blocks_at + 4 * (first / RIZ_LAPS_PER_BLOCK), 4 * in_block);
        if (block == nullptr) continue;
        for (unsigned k = 0; k < in_block; ++k)
            riz::detail::field(monster_buf, 1, kIacLap, sizeof kIacLap - 1, load32(block + 4 * k),
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

void RizOrodOzido::add_indent(int depth, std::string& monster_buf) {
    riz::detail::indent(monster_buf, depth);
}

void RizOrodOzido::add_str_to_monster_buf(int depth, const char* text, std::string& monster_buf) {
    riz::detail::text(monster_buf, depth, text, std::strlen(text));
}

void RizOrodOzido::add_to_monster_buf(int depth, const char* label, std::string& monster_buf,
                                      std::uint32_t value) {
    riz::detail::field(monster_buf, depth, label, label_length(label), value, one_line_mode);
}

void RizOrodOzido::start_prim(std::string& monster_buf) { riz::detail::header(monster_buf); }

void RizOrodOzido::debug_uint8_t(int depth, const void* field, std::string& monster_buf,
                                 const char* label) {
    add_to_monster_buf(depth, label, monster_buf, *bytes_of(field));
}
void RizOrodOzido::debug_bool_t(int depth, const void* field, std::string& monster_buf,
                                const char* label) {
    debug_uint8_t(depth, field, monster_buf, label);
}
void RizOrodOzido::debug_int8_t(int depth, const void* field, std::string& monster_buf,
                                const char* label) {
    debug_uint8_t(depth, field, monster_buf, label);
}
void RizOrodOzido::debug_uint16_t(int depth, const void* field, std::string& monster_buf,
                                  const char* label) {
    add_to_monster_buf(depth, label, monster_buf, load16(bytes_of(field)));
}
void RizOrodOzido::debug_enum(int depth, const void* field, std::string& monster_buf,
                              const char* label) {
    debug_uint16_t(depth, field, monster_buf, label);
}
void RizOrodOzido::debug_uint32_t(int depth, const void* field, std::string& monster_buf,
                                  const char* label) {
    add_to_monster_buf(depth, label, monster_buf, load32(bytes_of(field)));
}
void RizOrodOzido::debug_int32_t(int depth, const void* field, std::string& monster_buf,
                                 const char* label) {
    debug_uint32_t(depth, field, monster_buf, label);
}
void RizOrodOzido::debug_uint24_t(int depth, const void* field, std::string& monster_buf,
                                  const char* label) {
    debug_uint32_t(depth, field, monster_buf, label);
}
void RizOrodOzido::debug_ptr(int, const void*, std::string&, const char*) {}

std::uint16_t RizOrodOzido::namelen(const void* bytes, std::uint16_t limit) {
    if (bytes == nullptr || limit == 0) return 0;
    const void* zero = std::memchr(bytes, 0, limit);
    return zero ? static_cast<std::uint16_t>(bytes_of(zero) - bytes_of(bytes)) : limit;
}

// Eight fragment pointers: fragments 0 to 6 hold up to 32 bytes, fragment 7 up to 24. A fragment
// filled to 32 bytes has no terminating zero and the name goes on in the next one.
void RizOrodOzido::debug_printName(const void* name_parts, std::string& monster_buf) {
    add_str_to_monster_buf(1, kNamePart, monster_buf);
    const unsigned char* slots = bytes_of(name_parts);
    for (unsigned i = 0; i < RIZ_NAME_PARTS; ++i) {
        std::uint32_t len = 0;
        const unsigned char* fragment = riz::detail::follow_string(
            slots + 4 * i, i == RIZ_NAME_PARTS - 1 ? RIZ_NAME_LAST_PART_BYTES : RIZ_NAME_PART_BYTES,
            len);
        if (fragment == nullptr || len == 0) break;
        monster_buf.append(reinterpret_cast<const char*>(fragment), len);
        if (len < RIZ_NAME_PART_BYTES) break;
    }
}

void RizOrodOzido::debug_customDebug(const void* prim, std::string& monster_buf) {
    const unsigned char* p = bytes_of(prim);
    switch (load16(p)) {
#define NAME_PARTS(first, parts) \
    case first: debug_printName(p + (parts), monster_buf); break;
#define LAP_LIST(first, count, blocks, nptrs) \
    case first: lap_list(p, count, blocks, nptrs, monster_buf, one_line_mode); break;
#include "core/custom.def"
#undef NAME_PARTS
#undef LAP_LIST
    default: monster_buf.append(kUnknownCustom, sizeof kUnknownCustom - 1); break;
    }
    monster_buf.push_back('\n');
}

