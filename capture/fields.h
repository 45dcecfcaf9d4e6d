// The rows as data, for programs: the description of every primitive that the decoders know
// (core/layout.h), made from the same rows as the decoders themselves.
#ifndef RIZOROdOZIDO_CAPTURE_FIELDS_H
#define RIZOROdOZIDO_CAPTURE_FIELDS_H

#include <cstdint>

#include "core/RizOrodOzido.h"
#include "core/interface.h"
#include "core/layout.h"

namespace rizorod {

// The description of the primitive that `code` selects on `iface`; null when the interface does
// not define the code. Its name is the primitive's name; codes that share a decoder share it.
RIZ_API const riz_layout_record* layout(Interface iface, std::uint16_t code);
// What debug_customDebug renders for a record whose first 16-bit field holds `first`; null when
// it renders "Unknown customDebug Primitive type".
RIZ_API const riz_layout_custom* custom_rendering(std::uint16_t first);
// The furthest byte of a record that its decoder may read (for a primitive: its record size).
RIZ_API unsigned layout_size(const riz_layout_record* record);

}  // namespace rizorod

#endif
