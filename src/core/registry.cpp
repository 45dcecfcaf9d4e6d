// SPDX-License-Identifier: Apache-2.0
#include "core/registry.h"

namespace rizorod::detail {
namespace {

// In the order of the Interface values.
constexpr InterfaceRow kInterfaceRows[] = {
    {"dm", &RizOrodOzido::debugDMprim, &Dispatch::dm, &table_rows<Interface::dm>},
    {"l2cap", &RizOrodOzido::debugL2CAPprim, &Dispatch::l2cap, &table_rows<Interface::l2cap>},
    {"rfcomm", &RizOrodOzido::debugRFCOMMprim, &Dispatch::rfcomm, &table_rows<Interface::rfcomm>},
    {"sdp", &RizOrodOzido::debugSDPprim, &Dispatch::sdp, &table_rows<Interface::sdp>},
};
static_assert(std::size(kInterfaceRows) == std::size(kInterfaces));

}  // namespace

const InterfaceRow& interface_row(Interface iface) {
    return kInterfaceRows[static_cast<std::size_t>(iface)];
}

const PrimInfo* find_primitive(Interface iface, std::uint16_t code) {
    const auto rows = primitive_rows(iface);
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

}  // namespace rizorod::detail
