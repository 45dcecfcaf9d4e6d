// The four interfaces of the stack and one row of an interface's code table: the types that the
// decoders' registry and the offline API share.
#ifndef RIZOROdOZIDO_CORE_INTERFACE_H
#define RIZOROdOZIDO_CORE_INTERFACE_H

#include <cstdint>

namespace rizorod {

// The four interfaces, each with its own code space.
enum class Interface : std::uint8_t { dm, l2cap, rfcomm, sdp };

inline constexpr Interface kInterfaces[] = {Interface::dm, Interface::l2cap, Interface::rfcomm,
                                            Interface::sdp};

// One row of an interface's code table.
struct Primitive {
    std::uint16_t code;
    const char* name;
    // The furthest byte of the record that the decoder may read.
    std::uint16_t size;
};

}  // namespace rizorod

#endif
