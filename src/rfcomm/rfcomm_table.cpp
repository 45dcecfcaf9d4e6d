// SPDX-License-Identifier: Apache-2.0
// The rfcomm interface's code table: decoders, dispatcher and registry, expanded from rows/rfcomm/prims.def.
#define RIZOROD_TABLE_ROWS <RizOrodOzido/rows/rfcomm/prims.def>
#define RIZOROD_TABLE_DISPATCHER debug_RFCOMM_UPRIM_T
#define RIZOROD_TABLE_INTERFACE rfcomm
#include "core/table.inc"
