// Fuzz target: the capture reader on arbitrary text, and the decoding of every entry it accepts.
// Whatever the input, reading and decoding end with entries, problems or DecodeErrors: never a
// crash, a hang or a read outside the bytes given.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "capture/capture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    rizorod::CaptureReader reader(in);
    rizorod::Decoder decoder;
    rizorod::Entry entry;
    rizorod::Problem problem;
    for (;;) {
        const auto item = reader.next(entry, problem);
        if (item == rizorod::CaptureReader::Item::end) break;
        if (item != rizorod::CaptureReader::Item::entry) continue;
        try {
            const std::string text = decoder.decode(entry);
            if (text.empty()) __builtin_trap();  // every decoding has text
        } catch (const rizorod::DecodeError&) {
        }
    }
    return 0;
}
