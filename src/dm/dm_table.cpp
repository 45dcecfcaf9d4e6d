// SPDX-License-Identifier: Apache-2.0
// The dm interface's code table: decoders, dispatcher and registry, expanded from rows/dm/prims.def.
#define RIZOROD_TABLE_ROWS <RizOrodOzido/rows/dm/prims.def>
#define RIZOROD_TABLE_DISPATCHER debug_DM_UPRIM_T
#define RIZOROD_TABLE_INTERFACE dm
#include "core/table.inc"
