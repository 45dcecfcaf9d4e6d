// The rfcomm interface's code table: decoders, dispatcher and registry, expanded from rfcomm/prims.def.
#define RIZ_TABLE_ROWS "rfcomm/prims.def"
#define RIZ_TABLE_DISPATCHER debug_RFCOMM_UPRIM_T
#define RIZ_TABLE_INTERFACE rfcomm
#include "core/table.inc"
