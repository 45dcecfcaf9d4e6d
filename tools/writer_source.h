// SPDX-License-Identifier: Apache-2.0
// The capture writer as two drop-in files for the stack's own build, written from the rows as
// data (<RizOrodOzido/fields.h>): rizorod_capture.h, the interface, and rizorod_capture.c, the
// record descriptions of every primitive as plain C tables followed by the writer's fixed code.
// Together they need a C99 compiler and <stddef.h>, <stdint.h> and <string.h>, nothing else.
#ifndef RIZORODOZIDO_TOOLS_WRITER_SOURCE_H
#define RIZORODOZIDO_TOOLS_WRITER_SOURCE_H

#include <string>
#include <string_view>

namespace rizorod::tool {

// Found near the top of both files: what `rizorod writer-source` may overwrite.
inline constexpr std::string_view kWriterMark = "Written by `rizorod writer-source`";

// The two files; `version` names the tool that wrote them.
std::string writer_header(std::string_view version);
std::string writer_source(std::string_view version);

}  // namespace rizorod::tool

#endif
