// SPDX-License-Identifier: Apache-2.0
// The l2cap interface's code table: decoders, dispatcher and registry, expanded from rows/l2cap/prims.def.
#define RIZOROD_TABLE_ROWS <RizOrodOzido/rows/l2cap/prims.def>
#define RIZOROD_TABLE_DISPATCHER debug_L2CA_UPRIM_T
#define RIZOROD_TABLE_INTERFACE l2cap
#include "core/table.inc"
