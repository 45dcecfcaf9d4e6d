// SPDX-License-Identifier: Apache-2.0
// Fuzz target: the decode API on arbitrary record bytes, interface, code and memory image,
// including counts and pointers that point partly or wholly outside the image.
//
// Input layout (all numbers little-endian):
//   byte 0        the interface (low two bits: dm, l2cap, rfcomm, sdp)
//   bytes 1-2     the type code
//   byte 3        the record's length, then the record
//   then blocks   each a 32-bit address, a 16-bit length and that many bytes (the last block
//                 takes what is left); a block that overlaps an earlier one, or runs past
//                 0xffffffff, is refused by the image and left out
//
// The record is copied to a heap allocation of exactly its length and the image keeps its blocks
// in vectors whose spare capacity is poisoned (the fuzz preset builds with
// _GLIBCXX_SANITIZE_VECTOR), so reading one byte past either is a finding.
//
// Checked on every input: the decoding is the no-match text for a code the interface does not
// define, else a header line with the pinned stamp and the primitive's name line, ending with a
// newline; a refusal is a DecodeError that names the interface, the code and the primitive;
// decoding the same input again with the same Decoder gives the same text or the same refusal.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <RizOrodOzido/capture.h>

namespace {

constexpr char kNoMatch[] = "ERROR: none of the prim types matched, default reached \n";
constexpr char kHeader[] = "---- 23:59:60.999 ------------------\n";

[[noreturn]] void finding() { __builtin_trap(); }

// The text of a decoding, or "!" and the refusal's message.
std::string attempt(rizorod::Decoder& decoder, rizorod::Interface iface, std::uint16_t code,
                    std::span<const std::uint8_t> record, const rizorod::MemoryImage& image,
                    const rizorod::Timestamp& stamp, const std::optional<rizorod::Primitive>& row) {
    try {
        return decoder.decode(iface, code, record, image, &stamp);
    } catch (const rizorod::DecodeError& e) {
        if (!row || e.iface() != iface || e.code() != code || e.detail().empty()) finding();
        char prefix[64];
        std::snprintf(prefix, sizeof prefix, "%s 0x%04x %s: ", rizorod::interface_name(iface),
                      static_cast<unsigned>(code), row->name);
        if (std::string_view(e.what()).substr(0, std::strlen(prefix)) != prefix) finding();
        return std::string("!") + e.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const auto iface = rizorod::kInterfaces[data[0] & 3];
    const auto code = static_cast<std::uint16_t>(data[1] | (data[2] << 8));
    std::size_t at = 4;
    const std::size_t record_len = data[3] < size - at ? data[3] : size - at;
    const std::unique_ptr<std::uint8_t[]> record_bytes(
        new std::uint8_t[record_len ? record_len : 1]);
    if (record_len != 0) std::memcpy(record_bytes.get(), data + at, record_len);
    const std::span<const std::uint8_t> record(record_bytes.get(), record_len);
    at += record_len;

    rizorod::MemoryImage image;
    while (size - at >= 6) {
        const std::uint32_t address = std::uint32_t{data[at]} | (std::uint32_t{data[at + 1]} << 8) |
                                      (std::uint32_t{data[at + 2]} << 16) |
                                      (std::uint32_t{data[at + 3]} << 24);
        std::size_t len = data[at + 4] | (data[at + 5] << 8);
        at += 6;
        if (len > size - at) len = size - at;
        image.add(address, std::span<const std::uint8_t>(data + at, len));
        at += len;
    }

    rizorod::Timestamp stamp;
    stamp.hour = 23;
    stamp.minute = 59;
    stamp.second = 60;
    stamp.millis = 999;
    const auto row = rizorod::find_primitive(iface, code);
    rizorod::Decoder decoder;
    const std::string first = attempt(decoder, iface, code, record, image, stamp, row);
    if (!row) {
        if (first != kNoMatch) finding();
        return 0;
    }
    if (first[0] != '!') {
        const std::string name_line = std::string(row->name) + "\n";
        if (first.compare(0, sizeof kHeader - 1, kHeader) != 0) finding();
        if (first.compare(sizeof kHeader - 1, name_line.size(), name_line) != 0) finding();
        if (first.back() != '\n') finding();
        if (record.size() < row->size) finding();  // a short record is always refused
    }
    // The object is reusable and the result depends on the input alone.
    if (attempt(decoder, iface, code, record, image, stamp, row) != first) finding();
    return 0;
}
