// The code tables as data: every code of every interface with its primitive's name and record
// size (the furthest byte its decoder may read), generated from the same rows as the decoders.
#ifndef RIZOROdOZIDO_CORE_REGISTRY_H
#define RIZOROdOZIDO_CORE_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/interface.h"
#include "core/layout.h"

class RizOrodOzido;

namespace riz::detail {

using rizorod::Interface;
using PrimInfo = rizorod::Primitive;

// The rows of one interface's code table, in code order.
std::span<const PrimInfo> primitives(Interface iface);
// The row of `code`, or null when the interface does not define it.
const PrimInfo* find_primitive(Interface iface, std::uint16_t code);
// The name of an interface as the tools write it: "dm", "l2cap", "rfcomm", "sdp".
const char* interface_name(Interface iface);

// The description of the primitive `code` selects (core/layout.h), or null.
const riz_layout_record* layout(Interface iface, std::uint16_t code);
// What debug_customDebug renders for a record whose first field holds `first`, or null.
const riz_layout_custom* custom_rendering(std::uint16_t first);
std::span<const riz_layout_custom> custom_renderings();
// The furthest byte of the record that its decoder may read.
unsigned layout_size(const riz_layout_record* record);

// The dispatchers' switches, appending a decoding to `buf` at depth 0 (header line included);
// false, with nothing appended, for a code the interface does not define. Defined by each
// family's table (core/table.inc).
struct Dispatch {
    static bool dm(RizOrodOzido& self, std::uint16_t type, const void* prim, std::string& buf);
    static bool l2cap(RizOrodOzido& self, std::uint16_t type, const void* prim, std::string& buf);
    static bool rfcomm(RizOrodOzido& self, std::uint16_t type, const void* prim, std::string& buf);
    static bool sdp(RizOrodOzido& self, std::uint16_t type, const void* prim, std::string& buf);
};

// Defined by each family's table (core/table.inc).
template <Interface I>
std::span<const PrimInfo> table_rows();

}  // namespace riz::detail

#endif
