// SPDX-License-Identifier: Apache-2.0
// The code tables as data: every code of every interface with its primitive's name and record
// size (the furthest byte its decoder may read), generated from the same rows as the decoders;
// and the one table that says, per interface, its name, its public operation and its dispatcher.
#ifndef RIZORODOZIDO_SRC_CORE_REGISTRY_H
#define RIZORODOZIDO_SRC_CORE_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include <RizOrodOzido/capture.h>

namespace rizorod::detail {

using PrimInfo = rizorod::Primitive;

// The dispatchers' switches, appending a decoding to `out` at depth 0 (header line included);
// false, with nothing appended, for a code the interface does not define. Defined by each
// family's table (core/table.inc).
struct Dispatch {
    static bool dm(RizOrodOzido& self, std::uint16_t type, const void* prim, std::string& out);
    static bool l2cap(RizOrodOzido& self, std::uint16_t type, const void* prim, std::string& out);
    static bool rfcomm(RizOrodOzido& self, std::uint16_t type, const void* prim, std::string& out);
    static bool sdp(RizOrodOzido& self, std::uint16_t type, const void* prim, std::string& out);
};

// Defined by each family's table (core/table.inc): its rows in code order.
template <Interface I>
std::span<const PrimInfo> table_rows();

// What belongs to one interface.
struct InterfaceRow {
    const char* name;  // as the tools write it: "dm", "l2cap", "rfcomm", "sdp"
    std::string (RizOrodOzido::*operation)(std::uint16_t, const void*);  // debugDMprim, ...
    bool (*dispatch)(RizOrodOzido&, std::uint16_t, const void*, std::string&);
    std::span<const PrimInfo> (*rows)();
};
const InterfaceRow& interface_row(Interface iface);

// The rows of one interface's code table, in code order.
inline std::span<const PrimInfo> primitive_rows(Interface iface) { return interface_row(iface).rows(); }
// The row of `code`, or null when the interface does not define it.
const PrimInfo* find_primitive(Interface iface, std::uint16_t code);

}  // namespace rizorod::detail

#endif
