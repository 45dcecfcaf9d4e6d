// SPDX-License-Identifier: Apache-2.0
// Writes a capture with every code of every interface twice (the first with the code in its own
// first field, the second with a random one): random records whose pointers are null or address
// memory of their own, with exactly the memory that their decoders read. Bytes are 0x00 and 0x29
// often, so that equal values recur across primitives for the filter checks.
#include <cstdio>
#include <map>
#include <random>
#include <vector>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/fields.h>
#include "core/seams.h"

namespace {

std::mt19937 rng(17);
unsigned pick(unsigned n) { return rng() % n; }
std::uint8_t random_byte() {
    const unsigned r = pick(4);
    return r == 0 ? 0 : r == 1 ? 0x29 : static_cast<std::uint8_t>(rng());
}

// Serves every followed pointer with random bytes and keeps them as the entry's memory.
struct Recorder final : rizorod::detail::AddressSpace {
    std::map<std::uint32_t, std::vector<std::uint8_t>> memory;
    unsigned full = 0;  // name fragments filled to their limit so far

    const unsigned char* bytes(const unsigned char*, std::uint32_t a, std::uint32_t len) override {
        auto& m = memory[a];
        while (m.size() < len) m.push_back(random_byte());
        return m.data();
    }
    // Printable fragments; at most four full ones, so that a name line stays within the 240
    // characters of a tshark tree line.
    const unsigned char* string(const unsigned char*, std::uint32_t a, std::uint32_t limit,
                                std::uint32_t& len) override {
        static const char kText[] = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ-0123456789.";
        len = full < 4 && pick(2) ? limit : pick(20);
        full += len == limit;
        auto& m = memory[a];
        for (unsigned i = 0; i < len; ++i) m.push_back(static_cast<std::uint8_t>(kText[pick(sizeof kText - 1)]));
        if (len < limit) m.push_back(0);
        return m.data();
    }
};

void put(std::vector<std::uint8_t>& r, unsigned at, std::uint32_t v, unsigned width) {
    for (unsigned i = 0; i < width; ++i) r[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void hex(const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t b : bytes) std::printf(" %02x", b);
    std::printf("\n");
}

}  // namespace

int main() {
    RizOrodOzido decoder;
    for (rizorod::Interface iface : rizorod::kInterfaces) {
        for (const rizorod::Primitive& p : rizorod::primitives(iface)) {
            for (int copy = 0; copy < 2; ++copy) {
                std::vector<std::uint8_t> record(p.size);
                for (auto& b : record) b = random_byte();
                put(record, 0, copy == 0 ? p.code : rng(), 2);
                // Pointers null or 64 KiB apart; byte runs short enough for one tshark line.
                std::uint32_t next = 0x10000000;
                const rizorod_layout_record* layout = rizorod::layout(iface, p.code);
                for (const rizorod_layout_field* f = layout->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
                    // (a silent pointer past the bytes the decoder reads is not in the record)
                    for (unsigned i = 0; f->kind == RIZOROD_LAYOUT_PTR && i < f->count; ++i)
                        if (f->offset + 4 * i + 4 <= record.size())
                            put(record, f->offset + 4 * i, pick(4) ? next += 0x10000 : 0, 4);
                    if (f->kind == RIZOROD_LAYOUT_RUN) put(record, f->offset, pick(64), 2);
                }
                Recorder space;
                {
                    rizorod::detail::ScopedAddressSpace installed(space);
                    switch (iface) {
                    case rizorod::Interface::dm: decoder.debugDMprim(p.code, record.data()); break;
                    case rizorod::Interface::l2cap: decoder.debugL2CAPprim(p.code, record.data()); break;
                    case rizorod::Interface::rfcomm: decoder.debugRFCOMMprim(p.code, record.data()); break;
                    case rizorod::Interface::sdp: decoder.debugSDPprim(p.code, record.data()); break;
                    }
                }
                std::printf("%s 0x%04x", rizorod::interface_name(iface), p.code);
                hex(record);
                for (const auto& [address, bytes] : space.memory) {
                    std::printf("@%08x", address);
                    hex(bytes);
                }
            }
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
