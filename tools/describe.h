// SPDX-License-Identifier: Apache-2.0
// `rizorod list --fields`: every primitive's layout, as text or as JSON Lines, from the layout
// table (the rows as data).
#ifndef RIZORODOZIDO_TOOLS_DESCRIBE_H
#define RIZORODOZIDO_TOOLS_DESCRIBE_H

#include <string>

#include <RizOrodOzido/capture.h>

namespace rizorod::tool {

// The primitive's line ("dm\t0x2004\tDM_ACL_CONNECT_CFM_T\t17") and one line per field, nested
// fields one tab deeper.
void describe_text(std::string& out, Interface iface, const Primitive& prim);
// One JSON object on one line: interface, code, name, size and, with `fields`, the fields.
void describe_json(std::string& out, Interface iface, const Primitive& prim, bool fields = true);

}  // namespace rizorod::tool

#endif
