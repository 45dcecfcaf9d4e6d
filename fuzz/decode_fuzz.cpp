// Fuzz target: the decode API on arbitrary record bytes, interface, code and memory image,
// including counts and pointers that point partly outside the image.
//
// Input layout: byte 0 the interface (mod 4), bytes 1-2 the code, byte 3 the record length, the
// record, then memory blocks, each a byte n (the block's length / 4) and n*4 bytes, placed at
// 0x1000, 0x2000, ... so that small pointer values in the record reach them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "capture/capture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const auto iface = rizorod::kInterfaces[data[0] % 4];
    const auto code = static_cast<std::uint16_t>(data[1] | (data[2] << 8));
    std::size_t at = 4;
    const std::size_t record_len = data[3] < size - at ? data[3] : size - at;
    const std::span<const std::uint8_t> record(data + at, record_len);
    at += record_len;
    rizorod::MemoryImage image;
    for (std::uint32_t block = 1; at < size; ++block) {
        std::size_t len = std::size_t{data[at++]} * 4;
        if (len > size - at) len = size - at;
        image.add(0x1000 * block, std::span<const std::uint8_t>(data + at, len));
        at += len;
    }
    rizorod::Decoder decoder;
    try {
        const std::string text = decoder.decode(iface, code, record, image);
        if (text.empty()) __builtin_trap();
    } catch (const rizorod::DecodeError&) {
    }
    return 0;
}
