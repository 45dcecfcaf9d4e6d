// SPDX-License-Identifier: Apache-2.0
// The layout table as the library's public data (fields.h): the library's copy of
// core/layout.inc.
#include "core/layout.inc"

#include <RizOrodOzido/fields.h>

namespace rizorod {

const rizorod_layout_record* layout(Interface iface, std::uint16_t code) {
    return rizorod_layout_find(static_cast<int>(iface), code);
}

const rizorod_layout_custom* custom_rendering(std::uint16_t first) {
    return rizorod_layout_custom_for(first);
}

std::span<const rizorod_layout_custom> custom_renderings() { return rizorod_layout_customs; }

unsigned layout_size(const rizorod_layout_record* record) { return rizorod_layout_size(record); }

}  // namespace rizorod
