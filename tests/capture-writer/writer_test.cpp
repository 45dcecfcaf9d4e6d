// SPDX-License-Identifier: Apache-2.0
// The capture writer against the decoders. For every code of every interface, random records
// whose pointers address real memory: the written entry, read and decoded offline, gives the
// in-process decoding's text, and its memory lines hold exactly the bytes that decoding reads;
// offline, one byte less of the record or of any memory block is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/fields.h>
#include "support/decode.h"
#include <RizOrodOzido/rizorod_capture.h>

namespace {

using rizorod::test::Guarded;

const unsigned char* at(std::uint32_t a) { return reinterpret_cast<const unsigned char*>(static_cast<std::uintptr_t>(a)); }
void point(const unsigned char* field, std::uint32_t a) {
    for (int i = 0; i < 4; ++i) const_cast<unsigned char*>(field)[i] = static_cast<unsigned char>(a >> (8 * i));
}

// Records what a decoding reads through pointers, in place. While `fresh`, every pointer followed
// is first given guarded random memory of its own and its field pointed there (the decoder has
// loaded the field already), so that the record then holds real pointers: `fields`, each with
// the length served (0 for a name piece).
struct Space final : rizorod::detail::AddressSpace {
    explicit Space(std::uint32_t seed) : random(seed) {}
    const unsigned char* bytes(const unsigned char* field, std::uint32_t a, std::uint32_t len) override {
        if (fresh) a = placed(field, random.bytes(field, a, len), len);
        read.emplace_back(a, len);
        return at(a);
    }
    const unsigned char* string(const unsigned char* field, std::uint32_t a, std::uint32_t limit,
                                std::uint32_t& len) override {
        if (fresh) a = placed(field, random.string(field, a, limit, len), 0);
        const void* zero = std::memchr(at(a), 0, limit);
        len = zero ? static_cast<std::uint32_t>(static_cast<const unsigned char*>(zero) - at(a)) : limit;
        read.emplace_back(a, zero ? len + 1 : limit);
        return at(a);
    }
    std::uint32_t placed(const unsigned char* field, const unsigned char* memory, std::uint32_t len) {
        const auto a = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(memory));
        point(field, a);
        fields.emplace_back(field, len);
        return a;
    }
    rizorod::test::RandomSpace random;
    bool fresh = true;
    std::vector<std::pair<const unsigned char*, std::uint32_t>> fields;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> read;  // address, length
};

}  // namespace

// The drop-in source once more, built with a firmware compiler's flags (tests/CMakeLists.txt).
extern "C" std::size_t rizorod_capture_firmware(rizorod_capture_interface, std::uint16_t, const void*,
                                                const rizorod_capture_stamp*, char*, std::size_t);
extern "C" std::size_t rizorod_capture_to_firmware(rizorod_capture_interface, std::uint16_t, const void*,
                                                   const rizorod_capture_stamp*, rizorod_capture_sink, void*);

namespace {

// The entry, written both ways by both builds: one character short writes nothing, the sink and
// the firmware build get the same text.
std::string written(rizorod::Interface iface, std::uint16_t code, const void* prim, const rizorod_capture_stamp* stamp) {
    const auto i = static_cast<rizorod_capture_interface>(iface);
    std::string text(rizorod_capture(i, code, prim, stamp, nullptr, 0), '\x7f'), sunk;
    EXPECT_EQ(rizorod_capture(i, code, prim, stamp, text.data(), text.size() - 1), text.size());
    EXPECT_EQ(text.find_first_not_of('\x7f'), std::string::npos);
    EXPECT_EQ(rizorod_capture(i, code, prim, stamp, text.data(), text.size()), text.size());
    auto sink = [](void* to, const char* piece, std::size_t len) {
        EXPECT_LE(len, std::size_t{RIZOROD_CAPTURE_PIECE});
        static_cast<std::string*>(to)->append(piece, len);
    };
    EXPECT_EQ(rizorod_capture_to(i, code, prim, stamp, sink, &sunk), text.size());
    EXPECT_EQ(sunk, text);
    std::string firmware(text.size(), '\x7f'), firmware_sunk;
    EXPECT_EQ(rizorod_capture_firmware(i, code, prim, stamp, firmware.data(), firmware.size()), text.size());
    EXPECT_EQ(rizorod_capture_to_firmware(i, code, prim, stamp, sink, &firmware_sunk), text.size());
    EXPECT_EQ(firmware, text);
    EXPECT_EQ(firmware_sunk, text);
    return text;
}

TEST(CaptureWriter, EveryCodeRoundTripsWithExactlyTheMemoryItsDecoderReads) {
    std::vector<std::uint16_t> customs;  // first fields for which debug_customDebug reads more
    for (unsigned c = 0; c <= 0xffff; ++c)
        if (rizorod::custom_rendering(static_cast<std::uint16_t>(c))) customs.push_back(static_cast<std::uint16_t>(c));
    const rizorod_capture_stamp stamp = {9, 41, 7, 118, 2024, 5, 14};
    const rizorod::detail::ScopedStamp pinned("09:41:07.118", 12);
    std::size_t bytes_read = 0, shared = 0;
    for (rizorod::Interface iface : rizorod::kInterfaces) {
        std::vector<rizorod::Primitive> rows = rizorod::primitives(iface);
        rows.push_back({0xffff, "(undefined)", 0});  // written with its type field alone
        ASSERT_FALSE(rizorod::find_primitive(iface, 0xffff));
        for (const auto& row : rows) {
            for (std::uint32_t seed = 0; seed < 8; ++seed) {
                SCOPED_TRACE(std::string(row.name) + " seed " + std::to_string(seed));
                std::mt19937 rng(seed * 65537 + row.code);
                // Bytes mostly 0 or small, so that counts are 0, small or capped; the type field the
                // code, random, or a customDebug choice that may read beyond the code's record size.
                const bool cross = seed % 4 == 2;
                Guarded rec(std::max<std::size_t>(row.size, 2) + (cross ? 64 : 0));
                for (std::size_t i = 0; i < rec.size(); ++i)
                    rec.put8(i, static_cast<std::uint8_t>(rng() % 8 < 3 ? 0 : rng() % 8 < 5 ? 1 + rng() % 7 : rng()));
                rec.put16(0, seed == 1 ? static_cast<std::uint16_t>(rng()) : cross ? customs[(row.code + seed / 4) % customs.size()] : row.code);
                // Every block walk's count and an access-code list's: its capacity (seeds 0 and 5),
                // 0 (seed 4), below the capacity (seeds 2, 3 and 7), or the random byte.
                auto count = [&](std::size_t at, unsigned capacity) {
                    const unsigned below = 1 + rng() % (capacity - 1), random = rec.data()[at];
                    rec.put8(at, std::array<unsigned, 8>{capacity, random, below, below, 0, capacity, random, below}[seed]);
                };
                if (const rizorod_layout_record* layout = rizorod::layout(iface, row.code))
                    for (const rizorod_layout_field* f = layout->fields; f->kind != RIZOROD_LAYOUT_END; ++f)
                        if (f->kind == RIZOROD_LAYOUT_BLOCKS) count(f->offset, f->count * f->per_block);
                const rizorod_layout_custom* c = rizorod::custom_rendering(rizorod_load16(rec.data()));
                if (c && c->kind == RIZOROD_CUSTOM_LAPS && c->count < rec.size())
                    count(c->count, c->nptrs * RIZOROD_LAPS_PER_BLOCK);
                RizOrodOzido d;
                Space space(seed * 7919 + row.code);
                {
                    rizorod::detail::ScopedAddressSpace scope(space);
                    rizorod::decode(d, iface, row.code, rec.data());
                }
                // Seed 3: some pointers null. Seeds 4 to 7: runs and blocks moved into one piece of
                // memory, each at random, touching the one before or sharing its last byte.
                std::size_t size = 1, end = 0;
                for (const auto& f : space.fields) size += f.second;
                std::optional<Guarded> arena;
                if (seed >= 4) arena.emplace(std::vector<std::uint8_t>(size, static_cast<std::uint8_t>(seed * row.code)));
                for (const auto& [field, len] : space.fields) {
                    if (seed == 3 && rng() % 4 == 0) point(field, 0);
                    if (seed < 4 || len == 0) continue;
                    const std::size_t how = rng() % 3;
                    end = std::min(how == 0 ? rng() % size : how == 1 ? end : std::max<std::size_t>(end, 1) - 1, size - len);
                    point(field, arena->address() + static_cast<std::uint32_t>(end));
                    end += len;
                }
                const std::string in_process = rizorod::decode(d, iface, row.code, rec.data());
                space.fresh = false;
                space.read.clear();
                {
                    rizorod::detail::ScopedAddressSpace scope(space);
                    EXPECT_EQ(rizorod::decode(d, iface, row.code, rec.data()), in_process);
                }

                const std::string text = written(iface, row.code, rec.data(), &stamp);
                std::istringstream in(text);
                rizorod::CaptureReader reader(in);
                rizorod::Entry entry;
                rizorod::Problem problem;
                ASSERT_EQ(reader.next(entry, problem), rizorod::CaptureReader::Item::entry) << problem.message << "\n" << text;
                ASSERT_EQ(reader.next(entry, problem), rizorod::CaptureReader::Item::end) << text;
                EXPECT_EQ(entry.code, row.code);
                EXPECT_TRUE(std::equal(entry.record.begin(), entry.record.end(), rec.data()));
                rizorod::Decoder offline;
                EXPECT_EQ(offline.decode(entry), in_process) << text;
                // The memory lines hold every byte read through a pointer, and nothing else.
                std::sort(space.read.begin(), space.read.end());
                std::uint64_t covered = 0, reach = 0;  // bytes of the union; its end so far
                for (const auto& [a, len] : space.read) {
                    EXPECT_GE(entry.image.at(a).size(), len) << text;
                    const std::uint64_t from = std::max<std::uint64_t>(a, reach), to = std::uint64_t{a} + len;
                    covered += to > from ? to - from : 0;
                    reach = std::max(reach, to);
                    shared += len;
                }
                shared -= covered;
                bytes_read += covered;
                EXPECT_EQ(entry.image.byte_count(), covered) << text;
                // Every read is checked: any block of the image one byte short refuses the entry.
                const auto blocks = rizorod::test::blocks_of(entry.image);
                std::size_t lines = 0;  // pieces that overlap or touch are written as one
                for (const auto& block : blocks) lines += (block.second + 31) / 32;
                EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '@')), lines) << text;
                for (std::size_t k = 0; k < blocks.size(); ++k) {
                    rizorod::MemoryImage shorter;
                    for (std::size_t j = 0; j < blocks.size(); ++j)
                        shorter.add(blocks[j].first, entry.image.at(blocks[j].first).first(blocks[j].second - (j == k)));
                    EXPECT_THROW(offline.decode(iface, row.code, entry.record, shorter), rizorod::DecodeError) << text;
                }
                // And the record no byte longer than its decoding needs.
                if (row.size != 0)
                    EXPECT_THROW(offline.decode(iface, row.code, std::span(entry.record).first(entry.record.size() - 1), entry.image),
                                 rizorod::DecodeError);
                else
                    EXPECT_EQ(entry.record.size(), 2u);
            }
        }
    }
    // The sweep reached memory, and memory that several pointers read.
    EXPECT_GT(bytes_read, 100000u);
    EXPECT_GT(shared, 1000u);
}

// The entry line's stamp, and the calls that write nothing.
TEST(CaptureWriter, StampsAndRefusals) {
    const unsigned char acl[17] = {0x04, 0x20};
    const std::string line = "dm 0x2004 04200000 00000000 00000000 00000000 00\n";
    EXPECT_EQ(written(rizorod::Interface::dm, 0x2004, acl, nullptr), line);
    const std::pair<rizorod_capture_stamp, std::string> stamps[] = {
        {{23, 59, 60, 999, 0, 0, 0}, "23:59:60.999 "}, {{0, 0, 0, 0, 2024, 2, 29}, "2024-02-29 00:00:00.000 "},
        {{7, 5, 3, 21, 9999, 12, 31}, "9999-12-31 07:05:03.021 "}, {{0, 0, 0, 0, 2000, 2, 29}, "2000-02-29 00:00:00.000 "},
        {{24, 0, 0, 0, 0, 0, 0}, ""}, {{0, 60, 0, 0, 0, 0, 0}, ""}, {{0, 0, 61, 0, 0, 0, 0}, ""},
        {{0, 0, 0, 1000, 0, 0, 0}, ""}, {{0, 0, 0, 0, 2023, 2, 29}, ""}, {{0, 0, 0, 0, 1900, 2, 29}, ""},
        {{0, 0, 0, 0, 2024, 4, 31}, ""}, {{0, 0, 0, 0, 2024, 13, 1}, ""}, {{0, 0, 0, 0, 2024, 1, 0}, ""},
        {{0, 0, 0, 0, 10000, 1, 1}, ""}};
    for (const auto& [stamp, text] : stamps) {
        char buf[128] = {};
        const std::string entry = text.empty() ? "" : text + line;
        EXPECT_EQ(rizorod_capture(RIZOROD_CAPTURE_DM, 0x2004, acl, &stamp, buf, sizeof buf), entry.size());
        EXPECT_EQ(buf, entry);
    }
    // A full memory line, exactly: through the sink it starts 81 characters before the end of the
    // staging area and must go to the sink first (an overflow of one byte otherwise, which the
    // asan preset sees).
    Guarded config(15), options(rizorod::test::bytes("5ac307e1 26*00 f01b"));
    config.put16(0, 0x0008), config.put16(6, 32), config.put32(8, options.address());
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%02x%02x%02x%02x 000000\n@%08x", config.data()[8], config.data()[9],
                  config.data()[10], config.data()[11], options.address());
    EXPECT_EQ(written(rizorod::Interface::l2cap, 0x0008, config.data(), nullptr),
              "l2cap 0x0008 08000000 00002000 " + std::string(pointer) +
                  " 5ac307e1 00000000 00000000 00000000 00000000 00000000 00000000 0000f01b\n");
    EXPECT_EQ(rizorod_capture(static_cast<rizorod_capture_interface>(4), 0x2004, acl, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(rizorod_capture(RIZOROD_CAPTURE_DM, 0x2004, nullptr, nullptr, nullptr, 0), 0u);
}

}  // namespace
