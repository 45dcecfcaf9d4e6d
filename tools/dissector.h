// SPDX-License-Identifier: Apache-2.0
// The Wireshark dissector of exported captures (tools/pcapng.h): a Lua plugin written from the
// rows as data (<RizOrodOzido/fields.h>), so that it never goes out of step with the decoders. Each
// packet shows its interface, code and primitive name, then the decoding's lines as a tree with
// the same labels, nesting and values; every label is a filter field rizorod.LABEL.
#ifndef RIZORODOZIDO_TOOLS_DISSECTOR_H
#define RIZORODOZIDO_TOOLS_DISSECTOR_H

#include <string>
#include <string_view>

namespace rizorod::tool {

// The plugin for packets of user link type `linktype` (147 to 162); `version` names the tool.
std::string dissector_lua(unsigned linktype, std::string_view version);

}  // namespace rizorod::tool

#endif
