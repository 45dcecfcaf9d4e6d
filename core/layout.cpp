// The library's copy of the layout table (core/layout.inc).
#include "core/layout.inc"

#include "core/registry.h"

namespace riz::detail {

const riz_layout_record* layout(Interface iface, std::uint16_t code) {
    return riz_layout_find(static_cast<int>(iface), code);
}

const riz_layout_custom* custom_rendering(std::uint16_t first) {
    return riz_layout_custom_for(first);
}

std::span<const riz_layout_custom> custom_renderings() { return riz_layout_customs; }

unsigned layout_size(const riz_layout_record* record) { return riz_layout_size(record); }

}  // namespace riz::detail
