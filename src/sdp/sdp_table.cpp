// SPDX-License-Identifier: Apache-2.0
// The sdp interface's code table: decoders, dispatcher and registry, expanded from rows/sdp/prims.def.
#define RIZOROD_TABLE_ROWS <RizOrodOzido/rows/sdp/prims.def>
#define RIZOROD_TABLE_DISPATCHER debug_SDC_UPRIM_T
#define RIZOROD_TABLE_INTERFACE sdp
#include "core/table.inc"
