// Decoders of the records that every family shares (core/records.def).
#include "core/RizOrodOzido.h"
#include "core/writer.h"

namespace {
#define RIZ_ROWS_SIZE
#include "core/rows.h"
#include "core/records.def"
#include "core/rows_end.h"
}  // namespace

#define RIZ_ROWS_BODY
#include "core/rows.h"
#include "core/records.def"
#include "core/rows_end.h"
