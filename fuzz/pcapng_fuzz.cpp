// SPDX-License-Identifier: Apache-2.0
// Fuzz target: the pcapng export of any capture, read back by the rules the dissector reads it
// by (docs/WIRESHARK.md). For every entry that export writes, the packet is one enhanced packet
// block whose lengths agree, padded to 4 bytes; its framing names the entry's interface, code and
// timestamp kind; the record and the memory blocks follow exactly to the packet's end, and they
// are the entry's record and memory, blocks in address order without overlap.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <RizOrodOzido/capture.h>

#include "handlers.h"

namespace {

[[noreturn]] void finding() { __builtin_trap(); }

std::uint32_t u32(std::string_view s, std::size_t at) {
    if (at + 4 > s.size()) finding();
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8 |
                                      static_cast<unsigned char>(s[at + 2]) << 16 |
                                      static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24);
}

// The one packet block that `out` holds, checked against `entry`.
void check_packet(std::string_view block, const rizorod::Entry& entry) {
    if (u32(block, 0) != 6) finding();
    const std::uint32_t total = u32(block, 4);
    if (total != block.size() || total % 4 != 0 || u32(block, total - 4) != total) finding();
    const std::uint32_t captured = u32(block, 20), length = u32(block, 24);
    if (captured != length || 28 + captured > total - 4 || total - 4 - 28 - captured > 3) finding();
    const std::string_view p = block.substr(28, captured);
    if (p.size() < 16 || p[0] != 1 || static_cast<unsigned char>(p[1]) != static_cast<unsigned>(entry.iface)) finding();
    if ((static_cast<unsigned char>(p[2]) | static_cast<unsigned char>(p[3]) << 8) != entry.code) finding();
    const int kind = !entry.stamp ? 0 : entry.stamp->year ? 2 : 1;
    if (p[4] != kind || p[5] != 0 || p[6] != 0 || p[7] != 0) finding();
    const std::uint32_t r = u32(p, 8);
    if (12 + static_cast<std::uint64_t>(r) + 4 > p.size()) finding();
    if (p.substr(12, r) != std::string_view(reinterpret_cast<const char*>(entry.record.data()), entry.record.size()))
        finding();
    std::size_t at = 12 + r;
    const std::uint32_t m = u32(p, at);
    if (m != entry.image.block_count()) finding();
    at += 4;
    std::uint64_t next = 0;
    entry.image.for_each_block([&](std::uint32_t address, std::span<const std::uint8_t> bytes) {
        if (u32(p, at) != address || u32(p, at + 4) != bytes.size() || address < next) finding();
        at += 8;
        if (at + bytes.size() > p.size() || std::memcmp(p.data() + at, bytes.data(), bytes.size()) != 0) finding();
        at += bytes.size();
        next = std::uint64_t{address} + bytes.size() + 1;  // joined blocks leave a gap between them
    });
    if (at != p.size()) finding();
}

}  // namespace

// libFuzzer's own std::vector<std::string> code is built without the vector's AddressSanitizer
// annotations, and shares out-of-line members with the tool's code compiled in here, which has
// them: its container-overflow reports would be false. This target checks what the tool writes;
// the decoders' reads stay checked by capture_fuzz and decode_fuzz.
extern "C" const char* __asan_default_options() { return "detect_container_overflow=0"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    rizorod::tool::Selection none;
    const auto handler = rizorod::tool::export_handler(none);
    const rizorod::tool::InputInfo info{"fuzz", 0};
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    rizorod::CaptureReader reader(in);
    rizorod::Entry entry;
    rizorod::Problem problem;
    for (rizorod::CaptureReader::Item item; (item = reader.next(entry, problem)) != rizorod::CaptureReader::Item::end;) {
        if (item != rizorod::CaptureReader::Item::entry) continue;
        rizorod::tool::ChunkOut out;
        handler->entry(entry, info, out);
        if (out.text.empty() != (out.status != 0)) finding();  // a packet, or a message and status 1
        if (!out.text.empty()) check_packet(out.text, entry);
    }
    return 0;
}
