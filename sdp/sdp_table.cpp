// The sdp interface's code table: decoders, dispatcher and registry, expanded from sdp/prims.def.
#define RIZ_TABLE_ROWS "sdp/prims.def"
#define RIZ_TABLE_DISPATCHER debug_SDC_UPRIM_T
#define RIZ_TABLE_INTERFACE sdp
#include "core/table.inc"
