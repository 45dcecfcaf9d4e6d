// The sniff or park settings of the link-policy write request, which rows cannot say: the byte
// dm_policy at offset 14 selects what lies at offset 16.
#include "core/RizOrodOzido.h"
#include "core/writer.h"

namespace {
using riz::detail::load16;
using riz::detail::load32;

constexpr unsigned char kSniff = 2;
constexpr unsigned char kPark = 3;
}  // namespace

// A label literal and its length.
#define RIZ_LABEL(s) s, sizeof(s) - 1

// Prints at depth + 1, right after the dm_policy line; any policy other than sniff or park
// prints nothing. Reads no byte past offset 23.
void RizOrodOzido::debug_customWriteLPSettings(const void* prim, int depth,
                                               std::string& monster_buf) {
    const unsigned char* p = static_cast<const unsigned char*>(prim);
    const int d = depth + 1;
    switch (p[14]) {
    case kSniff:
        riz::detail::field(monster_buf, d, RIZ_LABEL("sniff_settings.max_interval = "),
                           load16(p + 16), one_line_mode);
        riz::detail::field(monster_buf, d, RIZ_LABEL("sniff_settings.min_interval = "),
                           load16(p + 18), one_line_mode);
        riz::detail::field(monster_buf, d, RIZ_LABEL("sniff_settings.attempt = "),
                           load16(p + 20), one_line_mode);
        riz::detail::field(monster_buf, d, RIZ_LABEL("sniff_settings.timeout = "),
                           load16(p + 22), one_line_mode);
        break;
    case kPark:
        riz::detail::field(monster_buf, d, RIZ_LABEL("park_settings.max_interval = "),
                           load16(p + 16), one_line_mode);
        riz::detail::field(monster_buf, d, RIZ_LABEL("park_settings.min_interval = "),
                           load16(p + 18), one_line_mode);
        riz::detail::field(monster_buf, d, RIZ_LABEL("park_settings.park_idle_time = "),
                           load32(p + 20), one_line_mode);
        break;
    default:
        break;
    }
}

#undef RIZ_LABEL
