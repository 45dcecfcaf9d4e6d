/* SPDX-License-Identifier: Apache-2.0 */
/* The capture writer as this tree builds it where the tool that writes the drop-in pair is not
 * built (the cross builds, RIZ_BUILD_TOOLS=OFF): the same code (writer.inc) after the same
 * tables, here expanded from the rows by the C preprocessor (src/core/layout.inc) instead of
 * written out by `rizorod writer-source`. */
#include <RizOrodOzido/rizorod_capture.h>

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "core/layout.inc"

#include "writer.inc"
