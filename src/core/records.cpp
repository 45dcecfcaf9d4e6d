// SPDX-License-Identifier: Apache-2.0
// Decoders of the records that every family shares (rows/records.def).
#include <RizOrodOzido/RizOrodOzido.h>

#include "core/writer.h"

namespace {
#define RIZOROD_ROWS_SIZE
#include <RizOrodOzido/rows/rows.h>
#include <RizOrodOzido/rows/records.def>
#include <RizOrodOzido/rows/rows_end.h>
}  // namespace

#define RIZOROD_ROWS_BODY
#include <RizOrodOzido/rows/rows.h>
#include <RizOrodOzido/rows/records.def>
#include <RizOrodOzido/rows/rows_end.h>
