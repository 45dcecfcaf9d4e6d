// The capture writer against the decoders. For every code of every interface, random records
// whose pointers address real memory: the written entry, read and decoded offline, gives the
// in-process decoding's text, and its memory lines hold exactly the bytes that decoding reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "core/writer.h"
#include "support/decode.h"
#include "target/rizorod_capture.h"

namespace {

using riz::test::Guarded;
using Span = std::pair<std::uint32_t, std::uint32_t>;  // address, length

std::uint32_t address_of(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); }
const unsigned char* at(std::uint32_t a) { return reinterpret_cast<const unsigned char*>(static_cast<std::uintptr_t>(a)); }
void point(unsigned char* field, std::uint32_t a) {
    for (int i = 0; i < 4; ++i) field[i] = static_cast<unsigned char>(a >> (8 * i));
}

// Serves every pointer the decoder follows with guarded random memory of its own and points the
// field there, so that the record afterwards holds real pointers (the decoder has loaded the
// field already). Remembers the fields, with their length (0 for a name piece).
class Materialise final : public riz::detail::AddressSpace {
public:
    explicit Materialise(std::uint32_t seed) : random_(seed) {}
    const unsigned char* bytes(const unsigned char* field, std::uint32_t a, std::uint32_t len) override {
        return placed(field, random_.bytes(field, a, len), len);
    }
    const unsigned char* string(const unsigned char* field, std::uint32_t a, std::uint32_t limit,
                                std::uint32_t& len) override {
        return placed(field, random_.string(field, a, limit, len), 0);
    }
    std::vector<Span> fields;  // field address, length served

private:
    const unsigned char* placed(const unsigned char* field, const unsigned char* memory, std::uint32_t len) {
        point(const_cast<unsigned char*>(field), address_of(memory));
        fields.emplace_back(address_of(field), len);
        return memory;
    }
    riz::test::RandomSpace random_;
};

// The process's own memory, recording every byte that the decoder reads through a pointer.
class Recording final : public riz::detail::AddressSpace {
public:
    const unsigned char* bytes(const unsigned char*, std::uint32_t a, std::uint32_t len) override {
        read.emplace_back(a, len);
        return at(a);
    }
    const unsigned char* string(const unsigned char*, std::uint32_t a, std::uint32_t limit,
                                std::uint32_t& len) override {
        const void* zero = std::memchr(at(a), 0, limit);
        len = zero ? static_cast<std::uint32_t>(static_cast<const unsigned char*>(zero) - at(a)) : limit;
        read.emplace_back(a, zero ? len + 1 : limit);
        return at(a);
    }
    std::vector<Span> read;
};

// Sorted, overlapping or touching spans joined.
std::vector<Span> joined(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end());
    std::vector<Span> out;
    for (const auto& [a, len] : spans) {
        if (!out.empty() && a <= out.back().first + out.back().second)
            out.back().second = std::max(out.back().second, a + len - out.back().first);
        else
            out.emplace_back(a, len);
    }
    return out;
}

std::string written(rizorod::Interface iface, std::uint16_t code, const void* prim,
                    const rizorod_capture_stamp* stamp) {
    const auto i = static_cast<rizorod_capture_interface>(iface);
    std::string text(rizorod_capture(i, code, prim, stamp, nullptr, 0), '\x7f');
    if (text.empty()) return text;
    // One character short: nothing written, the length needed returned.
    EXPECT_EQ(rizorod_capture(i, code, prim, stamp, text.data(), text.size() - 1), text.size());
    EXPECT_EQ(text.find_first_not_of('\x7f'), std::string::npos);
    EXPECT_EQ(rizorod_capture(i, code, prim, stamp, text.data(), text.size()), text.size());
    // The sink gets the same characters, in pieces of at most RIZOROD_CAPTURE_PIECE.
    std::string sunk;
    auto sink = [](void* to, const char* piece, std::size_t len) {
        EXPECT_LE(len, std::size_t{RIZOROD_CAPTURE_PIECE});
        static_cast<std::string*>(to)->append(piece, len);
    };
    EXPECT_EQ(rizorod_capture_to(i, code, prim, stamp, sink, &sunk), text.size());
    EXPECT_EQ(sunk, text);
    return text;
}

TEST(CaptureWriter, EveryCodeRoundTripsWithExactlyTheMemoryItsDecoderReads) {
    std::vector<std::uint16_t> customs;  // first fields that make debug_customDebug read more
    for (unsigned c = 0; c <= 0xffff; ++c)
        if (riz::detail::custom_rendering(static_cast<std::uint16_t>(c))) customs.push_back(static_cast<std::uint16_t>(c));
    const rizorod_capture_stamp stamp = {9, 41, 7, 118, 2024, 5, 14};
    const riz::detail::ScopedStamp pinned("09:41:07.118", 12);
    std::size_t spans = 0, overlaps = 0;
    for (rizorod::Interface iface : rizorod::kInterfaces) {
        std::vector<rizorod::Primitive> rows = rizorod::primitives(iface);
        rows.push_back({0xffff, "(no such code)", 0});  // written with its type field alone
        ASSERT_FALSE(rizorod::find_primitive(iface, 0xffff));
        for (const auto& row : rows) {
            for (std::uint32_t seed = 0; seed < 8; ++seed) {
                SCOPED_TRACE(std::string(row.name) + " seed " + std::to_string(seed));
                std::mt19937 rng(seed * 65537 + row.code);
                // Bytes skewed towards 0 and small values, so that counts vary: 0, small, capped.
                Guarded rec(std::max<std::size_t>(row.size, 2) + (seed == 2 ? 64 : 0));
                for (std::size_t i = 0; i < rec.size(); ++i) {
                    const unsigned r = rng() % 8;
                    rec.put8(i, static_cast<std::uint8_t>(r < 3 ? 0 : r < 6 ? 1 + rng() % 7 : rng()));
                }
                // The type field: the code itself, random, or a choice of the customDebug
                // rendering that may need more of the record than the code's size.
                rec.put16(0, seed == 1 ? static_cast<std::uint16_t>(rng()) : seed == 2 ? customs[rng() % customs.size()] : row.code);
                RizOrodOzido d;
                Materialise materialise(seed * 7919 + row.code);
                {
                    riz::detail::ScopedAddressSpace scope(materialise);
                    riz::test::decode(d, iface, row.code, rec.data());
                }
                // Some pointers null. Or the runs and blocks moved into one piece of memory,
                // each at random, touching the one before or sharing its last byte.
                std::size_t arena_size = 1, end = 0;
                for (const auto& f : materialise.fields) arena_size += seed < 4 ? 0 : f.second;
                Guarded arena(arena_size);
                for (std::size_t i = 0; i < arena_size; ++i) arena.put8(i, static_cast<std::uint8_t>(rng()));
                for (const auto& [field, len] : materialise.fields) {
                    if (seed == 3 && rng() % 4 == 0) point(const_cast<unsigned char*>(at(field)), 0);
                    if (seed < 4 || len == 0) continue;
                    const std::size_t choice = rng() % 3, off = std::min<std::size_t>(
                        choice == 0 ? rng() % arena_size : choice == 1 ? end : std::max<std::size_t>(end, 1) - 1, arena_size - len);
                    point(const_cast<unsigned char*>(at(field)), arena.address() + static_cast<std::uint32_t>(off));
                    end = off + len;
                }
                const std::string in_process = riz::test::decode(d, iface, row.code, rec.data());
                Recording recording;
                {
                    riz::detail::ScopedAddressSpace scope(recording);
                    EXPECT_EQ(riz::test::decode(d, iface, row.code, rec.data()), in_process);
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
                try {
                    EXPECT_EQ(offline.decode(entry), in_process) << text;
                } catch (const rizorod::DecodeError& e) {
                    ADD_FAILURE() << e.what() << "\n" << text;
                }
                // Exactly the bytes read: every span read is there, and nothing else.
                const auto read = joined(recording.read);
                std::size_t bytes = 0;
                for (const auto& [a, len] : read) {
                    EXPECT_GE(entry.image.at(a).size(), len) << std::hex << a << "\n" << text;
                    bytes += len;
                }
                EXPECT_EQ(entry.image.byte_count(), bytes) << text;
                spans += read.size();
                overlaps += recording.read.size() - read.size();
                // And no record byte more than the decoding needs.
                if (row.size != 0)
                    EXPECT_THROW(offline.decode(iface, row.code, std::span(entry.record).first(entry.record.size() - 1),
                                                entry.image),
                                 rizorod::DecodeError);
                else
                    EXPECT_EQ(entry.record.size(), 2u);
            }
        }
    }
    // The sweep reached memory, and memory that pointers share.
    EXPECT_GT(spans, 200u);
    EXPECT_GT(overlaps, 20u);
}

// The entry line's stamp, and the calls that write nothing.
TEST(CaptureWriter, StampsAndRefusals) {
    const unsigned char acl_connect_cfm[17] = {0x04, 0x20};
    const std::string acl = "dm 0x2004 04200000 00000000 00000000 00000000 00\n";
    struct Case {
        rizorod_capture_stamp stamp;
        std::string line;  // "" when nothing is written
    } cases[] = {
        {{23, 59, 60, 999, 0, 0, 0}, "23:59:60.999 " + acl},
        {{0, 0, 0, 0, 2024, 2, 29}, "2024-02-29 00:00:00.000 " + acl},
        {{7, 5, 3, 21, 9999, 12, 31}, "9999-12-31 07:05:03.021 " + acl},
        {{24, 0, 0, 0, 0, 0, 0}, ""},
        {{0, 60, 0, 0, 0, 0, 0}, ""},
        {{0, 0, 61, 0, 0, 0, 0}, ""},
        {{0, 0, 0, 1000, 0, 0, 0}, ""},
        {{0, 0, 0, 0, 2000, 2, 29}, "2000-02-29 00:00:00.000 " + acl},
        {{0, 0, 0, 0, 2023, 2, 29}, ""},
        {{0, 0, 0, 0, 1900, 2, 29}, ""},
        {{0, 0, 0, 0, 2024, 4, 31}, ""},
        {{0, 0, 0, 0, 2024, 13, 1}, ""},
        {{0, 0, 0, 0, 2024, 1, 0}, ""},
        {{0, 0, 0, 0, 10000, 1, 1}, ""},
    };
    for (const auto& c : cases) {
        char buf[128] = {};
        EXPECT_EQ(rizorod_capture(RIZOROD_CAPTURE_DM, 0x2004, acl_connect_cfm, &c.stamp, buf, sizeof buf),
                  c.line.size());
        EXPECT_EQ(buf, c.line);
    }
    EXPECT_EQ(written(rizorod::Interface::dm, 0x2004, acl_connect_cfm, nullptr), acl);
    EXPECT_EQ(written(rizorod::Interface::sdp, 0x000d, acl_connect_cfm, nullptr), "sdp 0x000d 0420\n");
    EXPECT_EQ(rizorod_capture(static_cast<rizorod_capture_interface>(4), 0x2004, acl_connect_cfm, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(rizorod_capture(RIZOROD_CAPTURE_DM, 0x2004, nullptr, nullptr, nullptr, 0), 0u);
}

}  // namespace
