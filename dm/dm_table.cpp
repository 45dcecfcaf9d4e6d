// The dm interface's code table: decoders, dispatcher and registry, expanded from dm/prims.def.
#define RIZ_TABLE_ROWS "dm/prims.def"
#define RIZ_TABLE_DISPATCHER debug_DM_UPRIM_T
#define RIZ_TABLE_INTERFACE dm
#include "core/table.inc"
