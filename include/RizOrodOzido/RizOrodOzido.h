// SPDX-License-Identifier: Apache-2.0
// RizOrodOzido: turns the in-memory primitives of a Bluetooth host stack into readable text.
//
// A primitive is a record exactly as the stack lays it out in its 32-bit little-endian process.
// Each public operation takes the primitive's 16-bit type code and a pointer to the record and
// returns the decoding: a timestamp header line, the record's name line and one line per field.
// A code that the interface does not define yields the no-match text alone.
//
// Calls on one object must not overlap (a decoding writes `one_line_mode`); separate objects may
// decode on separate threads at once.
#ifndef RIZORODOZIDO_RIZORODOZIDO_H
#define RIZORODOZIDO_RIZORODOZIDO_H

#include <cstdint>
#include <string>

#include "export.h"

namespace rizorod::detail {
struct Dispatch;
}

class RIZOROD_API RizOrodOzido {
public:
    RizOrodOzido();
    ~RizOrodOzido();
    RizOrodOzido(const RizOrodOzido&) = default;
    RizOrodOzido& operator=(const RizOrodOzido& other);

    // `prim` must address a readable record of the layout that `type` names, with every pointer
    // field that the decoding follows valid for the counts the record states.
    std::string debugDMprim(std::uint16_t type, const void* prim);
    std::string debugL2CAPprim(std::uint16_t type, const void* prim);
    std::string debugRFCOMMprim(std::uint16_t type, const void* prim);
    std::string debugSDPprim(std::uint16_t type, const void* prim);

private:
    friend struct RizOrodOzidoTestAccess;
    friend struct rizorod::detail::Dispatch;

    // 0: field lines end with a newline; otherwise consecutive values stay on one line.
    unsigned char one_line_mode;

    // Dispatchers, one code table each.
    std::string debug_DM_UPRIM_T(std::uint16_t type, const void* prim);
    std::string debug_L2CA_UPRIM_T(std::uint16_t type, const void* prim);
    std::string debug_RFCOMM_UPRIM_T(std::uint16_t type, const void* prim);
    std::string debug_SDC_UPRIM_T(std::uint16_t type, const void* prim);
    std::string no_matching_prim(int ignored);

    // Text writer.
    void add_indent(int depth, std::string& out);
    void add_str_to_monster_buf(int depth, const char* text, std::string& out);
    void add_to_monster_buf(int depth, const char* label, std::string& out,
                            std::uint32_t value);
    void start_prim(std::string& out);

    // Scalar formatters: one field line for the field at `field`.
    void debug_uint8_t(int depth, const void* field, std::string& out, const char* label);
    void debug_bool_t(int depth, const void* field, std::string& out, const char* label);
    void debug_int8_t(int depth, const void* field, std::string& out, const char* label);
    void debug_uint16_t(int depth, const void* field, std::string& out, const char* label);
    void debug_enum(int depth, const void* field, std::string& out, const char* label);
    void debug_uint32_t(int depth, const void* field, std::string& out, const char* label);
    void debug_int32_t(int depth, const void* field, std::string& out, const char* label);
    void debug_uint24_t(int depth, const void* field, std::string& out, const char* label);
    void debug_ptr(int depth, const void* field, std::string& out, const char* label);

    // Device names and inquiry access codes.
    std::uint16_t namelen(const void* bytes, std::uint16_t limit);
    void debug_printName(const void* name_parts, std::string& out);
    void debug_customDebug(const void* prim, std::string& out);

    // Renderings of single families that rows cannot say.
    void debug_customWriteLPSettings(const void* prim, int depth, std::string& out);
    void debug_IP_ADDR(int depth, const void* addr, std::string& out, const char* label);

    // One decoder per record, declared from the rows of each family.
#pragma push_macro("PRIM")
#pragma push_macro("RECORD")
#pragma push_macro("CODE")
#define RIZOROD_ROWS_DECL
#include "rows/rows.h"
#include "rows/records.def"
#include "rows/dm/prims.def"
#include "rows/l2cap/prims.def"
#include "rows/rfcomm/prims.def"
#include "rows/sdp/prims.def"
#include "rows/rows_end.h"
#pragma pop_macro("CODE")
#pragma pop_macro("RECORD")
#pragma pop_macro("PRIM")
};

#endif
