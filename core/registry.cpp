#include "core/registry.h"

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
    if (rows.empty()) return nullptr;
    // The last row whose code is at most `code`, halving without branches on the data (the
    // codes of a capture come in no order a branch predictor could learn).
    const PrimInfo* row = rows.data();
    for (std::size_t n = rows.size(); n > 1;) {
        const std::size_t half = n / 2;
        row = row[half].code <= code ? row + half : row;
        n -= half;
    }
    return row->code == code ? row : nullptr;
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
