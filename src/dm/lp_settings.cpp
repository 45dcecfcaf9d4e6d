// SPDX-License-Identifier: Apache-2.0
// The sniff or park settings of the link-policy write request: the fields of rows/dm/lp_settings.def,
// printed at depth + 1 right after the dm_policy line. Reads no byte past offset 23.
#include <RizOrodOzido/RizOrodOzido.h>
#include <RizOrodOzido/rows/dm/lp_settings.def>

#include "core/writer.h"

void RizOrodOzido::debug_customWriteLPSettings(const void* prim, int depth, std::string& out) {
    [[maybe_unused]] const unsigned char* p = static_cast<const unsigned char*>(prim);
#define RIZOROD_ROWS_BODY
#include <RizOrodOzido/rows/rows.h>
    RIZOROD_LP_SETTINGS
#include <RizOrodOzido/rows/rows_end.h>
}
