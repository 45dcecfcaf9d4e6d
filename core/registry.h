// The code tables as data: every code of every interface with its primitive's name and record
// size (the furthest byte its decoder may read), generated from the same rows as the decoders.
#ifndef RIZOROdOZIDO_CORE_REGISTRY_H
#define RIZOROdOZIDO_CORE_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/interface.h"

namespace riz::detail {

using rizorod::Interface;
using PrimInfo = rizorod::Primitive;

// The rows of one interface's code table, in code order.
std::span<const PrimInfo> primitives(Interface iface);
// The row of `code`, or null when the interface does not define it.
const PrimInfo* find_primitive(Interface iface, std::uint16_t code);
// The name of an interface as the tools write it: "dm", "l2cap", "rfcomm", "sdp".
const char* interface_name(Interface iface);

// Defined by each family's table (core/table.inc).
template <Interface I>
std::span<const PrimInfo> table_rows();

}  // namespace riz::detail

#endif
