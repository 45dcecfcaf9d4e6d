// The l2cap interface's code table: decoders, dispatcher and registry, expanded from l2cap/prims.def.
#define RIZ_TABLE_ROWS "l2cap/prims.def"
#define RIZ_TABLE_DISPATCHER debug_L2CA_UPRIM_T
#define RIZ_TABLE_INTERFACE l2cap
#include "core/table.inc"
