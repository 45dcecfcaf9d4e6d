// SPDX-License-Identifier: Apache-2.0
#include "pcapng.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace rizorod::tool::pcapng {
namespace {

constexpr std::uint32_t kSectionHeader = 0x0a0d0d0a;
constexpr std::uint32_t kInterfaceDescription = 1;
constexpr std::uint32_t kEnhancedPacket = 6;
constexpr std::uint16_t kOptionEnd = 0, kShbUserAppl = 4, kIfName = 2, kIfTsresol = 9;
constexpr std::size_t kFramingHeader = 12;

void put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}
void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 32; i += 8) out.push_back(static_cast<char>((v >> i) & 0xff));
}
char* store32(char* at, std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, &v, 4);
    } else {
        for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    }
    return at + 4;
}
std::size_t padded(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

void option(std::string& out, std::uint16_t code, std::string_view value) {
    put16(out, code);
    put16(out, static_cast<std::uint16_t>(value.size()));
    out.append(value);
    out.append(padded(value.size()) - value.size(), '\0');
}

// A block: type, total length, body, total length again.
void block(std::string& out, std::uint32_t type, const std::string& body) {
    const auto total = static_cast<std::uint32_t>(12 + body.size());
    put32(out, type);
    put32(out, total);
    out += body;
    put32(out, total);
}

}  // namespace

bool begins_file(std::string_view head) {
    // The block type reads the same in both byte orders; the byte-order magic follows the length.
    return head.size() >= 12 && head.substr(0, 4) == "\x0a\x0d\x0d\x0a" &&
           (head.substr(8, 4) == "\x4d\x3c\x2b\x1a" || head.substr(8, 4) == "\x1a\x2b\x3c\x4d");
}

namespace {

[[noreturn]] void fail(const Entry& entry, const std::string& what) {
    char head[32];
    std::snprintf(head, sizeof head, " 0x%04x ", static_cast<unsigned>(entry.code));
    const auto prim = find_primitive(entry.iface, entry.code);
    throw std::runtime_error(interface_name(entry.iface) + std::string(head) +
                             (prim ? prim->name : "(no primitive)") + ": " + what);
}

}  // namespace

std::string header(unsigned linktype, std::string_view application) {
    std::string out, body;
    put32(body, 0x1a2b3c4d);  // byte-order magic
    put16(body, 1);           // version 1.0
    put16(body, 0);
    put32(body, 0xffffffff);  // section length not given
    put32(body, 0xffffffff);
    option(body, kShbUserAppl, application);
    option(body, kOptionEnd, {});
    block(out, kSectionHeader, body);

    body.clear();
    put16(body, static_cast<std::uint16_t>(linktype));
    put16(body, 0);
    put32(body, 0);  // no snapshot length
    option(body, kIfName, "rizorod");
    option(body, kIfTsresol, std::string_view("\x03", 1));  // milliseconds
    option(body, kOptionEnd, {});
    block(out, kInterfaceDescription, body);
    return out;
}

std::optional<std::uint64_t> millis(const std::optional<Timestamp>& stamp) {
    if (!stamp) return 0;
    // A time of day without a date falls on 1970-01-01.
    Timestamp t = *stamp;
    if (!t.year) t.year = 1970, t.month = 1, t.day = 1;
    const std::int64_t ms = *t.unix_ms();
    if (ms < 0) return std::nullopt;
    return static_cast<std::uint64_t>(ms);
}

void append_packet(std::string& out, const Entry& entry) {
    const auto ms = millis(entry.stamp);
    if (!ms) fail(entry, "a date before 1970 has no pcapng time");

    const std::size_t blocks = entry.image.block_count();
    const std::size_t size = kFramingHeader + entry.record.size() + 4 + 8 * blocks + (blocks ? entry.image.byte_count() : 0);
    if (size > kMaxPacket)
        fail(entry, "the packet would hold " + std::to_string(size) + " bytes; Wireshark reads at most " +
                        std::to_string(kMaxPacket));
    const std::size_t pad = padded(size) - size;
    const std::size_t total = 28 + size + pad + 4;

    // Written in a work area on the stack, or on the heap for a large packet, then appended once.
    char area[512];
    std::string large;
    if (total > sizeof area) large.resize(total);
    char* const first = total > sizeof area ? large.data() : area;
    char* at = store32(first, kEnhancedPacket);
    at = store32(at, static_cast<std::uint32_t>(total));
    at = store32(at, 0);  // interface 0
    at = store32(at, static_cast<std::uint32_t>(*ms >> 32));
    at = store32(at, static_cast<std::uint32_t>(*ms));
    at = store32(at, static_cast<std::uint32_t>(size));
    at = store32(at, static_cast<std::uint32_t>(size));
    at[0] = static_cast<char>(kFramingVersion);
    at[1] = static_cast<char>(entry.iface);
    at[2] = static_cast<char>(entry.code & 0xff);
    at[3] = static_cast<char>(entry.code >> 8);
    at[4] = static_cast<char>(!entry.stamp ? 0 : entry.stamp->year ? 2 : 1);
    std::memset(at + 5, 0, 3);
    at = store32(at + 8, static_cast<std::uint32_t>(entry.record.size()));
    if (!entry.record.empty()) std::memcpy(at, entry.record.data(), entry.record.size());
    at = store32(at + entry.record.size(), static_cast<std::uint32_t>(blocks));
    // The memory blocks in address order, as the image joined them.
    std::uint64_t from = 0;
    for (std::size_t i = 0; i < blocks; ++i) {
        const auto [address, len] = *entry.image.overlap(static_cast<std::uint32_t>(from), 0x100000000u - from);
        at = store32(store32(at, address), len);
        std::memcpy(at, entry.image.at(address).data(), len);
        at += len;
        from = std::uint64_t{address} + len;
    }
    store32(at, 0);  // the padding, then the total length over what is left of it
    store32(at + pad, static_cast<std::uint32_t>(total));
    out.append(first, total);
}

}  // namespace rizorod::tool::pcapng
