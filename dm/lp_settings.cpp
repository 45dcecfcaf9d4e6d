// The sniff or park settings of the link-policy write request: the fields of dm/lp_settings.def,
// printed at depth + 1 right after the dm_policy line. Reads no byte past offset 23.
#include "core/RizOrodOzido.h"
#include "core/writer.h"
#include "dm/lp_settings.def"

void RizOrodOzido::debug_customWriteLPSettings(const void* prim, int depth, std::string& buf) {
    [[maybe_unused]] const unsigned char* p = static_cast<const unsigned char*>(prim);
#define RIZ_ROWS_BODY
#include "core/rows.h"
    RIZ_LP_SETTINGS
#include "core/rows_end.h"
}
