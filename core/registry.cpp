#include "core/registry.h"

#include <algorithm>

namespace riz::detail {

std::span<const PrimInfo> primitives(Interface iface) {
    switch (iface) {
    case Interface::dm: return table_rows<Interface::dm>();
    case Interface::l2cap: return table_rows<Interface::l2cap>();
    case Interface::rfcomm: return table_rows<Interface::rfcomm>();
    case Interface::sdp: return table_rows<Interface::sdp>();
    }
    return {};
}

const PrimInfo* find_primitive(Interface iface, std::uint16_t code) {
    const auto rows = primitives(iface);
    const auto it = std::lower_bound(rows.begin(), rows.end(), code,
                                     [](const PrimInfo& row, std::uint16_t c) { return row.code < c; });
    return it != rows.end() && it->code == code ? &*it : nullptr;
}

const char* interface_name(Interface iface) {
    switch (iface) {
    case Interface::dm: return "dm";
    case Interface::l2cap: return "l2cap";
    case Interface::rfcomm: return "rfcomm";
    case Interface::sdp: return "sdp";
    }
    return "?";
}

}  // namespace riz::detail
