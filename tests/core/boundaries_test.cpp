// SPDX-License-Identifier: Apache-2.0
// The renderings at their boundaries: field lines (depth, labels, line modes, the work area),
// the scalar formatters, the header's stamp, names across the fragment limits, access-code
// lists, block walks and byte runs at their counts: 1, a block's worth and one more, one past
// the capacity, 65535, null pointers (0 and the capacity of every walk are lines of the
// every-code fixture).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "core/writer.h"
#include "support/decode.h"

namespace {
using rizorod::test::Guarded;
using rizorod::test::Interface;
using namespace std::string_literals;

std::string hex(std::uint32_t v) {
    char out[16];
    std::snprintf(out, sizeof out, "%02x", static_cast<unsigned>(v));
    return out;
}

TEST(Boundaries, FieldLines) {
    const std::string a95(95, 'a'), a97(97, 'a');
    struct Case {
        int depth;
        const char* label;
        std::uint32_t value;
        unsigned char mode;
        std::string line;
    } cases[] = {
        {1, "phandle = ", 0x1a, 0, "\tphandle =  1a\n"},      {0, "x = ", 0, 0, "x =  00\n"},
        {-2, "x = ", 0x100, 0, "x =  100\n"},                 {3, "", 0xab, 1, "\t\t\t ab"},
        {9, "x = ", 0xffffffff, 0, "\t\t\t\t\t\t\t\t\tx =  ffffffff\n"},
        {1, nullptr, 0x10000, 0, "\t(null) 10000\n"},        {1, a95.c_str(), 0x1234, 0, "\t" + a95 + " 123"},
        {2, a97.c_str(), 0x12, 1, "\t\t" + a97 + " 1"},       {1, "x = ", 0x0f, 1, "\tx =  0f"},
    };
    for (const Case& c : cases) {
        std::string line = "|";
        rizorod::detail::field(line, c.depth, c.label, c.label ? std::strlen(c.label) : 0, c.value, c.mode);
        EXPECT_EQ(line, "|" + c.line);
    }
}

// A byte run's bytes each on the run's own depth of tabs (the rows use depth 0 alone today).
TEST(Boundaries, ByteRunsAtTheirDepth) {
    const unsigned char pointer[4] = {0x00, 0x00, 0x40, 0x00};  // 0x00400000: served 01 02 03 ...
    for (const auto& [depth, text] : {std::pair{0, " 01 02 03\n"s}, {2, "\t\t 01\t\t 02\t\t 03\n"s}}) {
        rizorod::test::PatternSpace space(pointer);
        rizorod::detail::ScopedAddressSpace scope(space);
        std::string out;
        rizorod::detail::byte_run(out, depth, 3, pointer);
        EXPECT_EQ(out, text) << depth;
    }
}

// Each formatter reads its width (the bytes end at a guard page) in both line modes.
TEST(Boundaries, ScalarFormatters) {
    const char* lines[] = {"\tv =  80", "\tv =  ff", "\tv =  ff", "\tv =  8180", "\tv =  8180",
                           "\tv =  83828180", "\tv =  ffffffff", "\tv =  83828180", ""};
    const std::vector<std::uint8_t> bytes[] = {{0x80}, {0xff}, {0xff}, {0x80, 0x81}, {0x80, 0x81},
                                               {0x80, 0x81, 0x82, 0x83}, {0xff, 0xff, 0xff, 0xff},
                                               {0x80, 0x81, 0x82, 0x83}, {}};
    RizOrodOzido d;
    for (unsigned char mode : {0, 1})
        for (std::size_t i = 0; i < std::size(lines); ++i) {
            Guarded field(bytes[i]);
            std::string got;
            RizOrodOzidoTestAccess::mode(d) = mode;
            (d.*RizOrodOzidoTestAccess::kFormatters[i])(1, field.data(), got, "v = ");
            EXPECT_EQ(got, lines[i] + std::string(mode || !*lines[i] ? "" : "\n")) << i;
        }
}

TEST(Boundaries, HeaderStamps) {
#if defined(_WIN32)
    _putenv_s("TZ", "UTC0");
    _tzset();
#else
    setenv("TZ", "UTC", 1);
    tzset();
#endif
#if defined(_WIN32)
    const char* const kBefore1970 = "??:??:??.???";  // the Windows runtime refuses times before 1970
#else
    const char* const kBefore1970 = "23:59:59.007";
#endif
    const struct {
        std::int64_t seconds;
        std::uint16_t millis;
        const char* stamp;
    } cases[] = {{1700000000, 45, "22:13:20.045"}, {1700000000, 999, "22:13:20.999"},
                 {1700003599, 0, "23:13:19.000"},  {-1, 7, kBefore1970},
                 {std::numeric_limits<std::int64_t>::max(), 7, "??:??:??.???"}};
    RizOrodOzido d;
    auto header = [&d] { return d.debugDMprim(0x0000, "\0\0\0\0").substr(0, 37); };
    { rizorod::detail::ScopedStamp gone("x", 1); }  // leaves nothing pinned behind
    for (const auto& c : cases) {
        rizorod::detail::ScopedTime pinned({c.seconds, c.millis});
        EXPECT_EQ(header(), "---- "s + c.stamp + " ------------------\n");
    }
    // A clock's milliseconds as seconds and milliseconds, before 1970 too.
    const std::pair<std::int64_t, rizorod::detail::TimeReading> readings[] = {
        {1999, {1, 999}}, {-1, {-1, 999}}, {-1000, {-1, 0}}, {-1001, {-2, 999}}};
    for (const auto& [ms, r] : readings) {
        const rizorod::detail::TimeReading got = rizorod::detail::reading_of(ms);
        EXPECT_TRUE(got.seconds == r.seconds && got.millis == r.millis) << ms;
    }
    // Unpinned, the stamp is the local time now.
    auto at = [&](std::chrono::system_clock::time_point t) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
        rizorod::detail::ScopedTime pinned(rizorod::detail::reading_of(ms));
        return header();
    };
    const std::string before = at(std::chrono::system_clock::now()), now = header(),
                      after = at(std::chrono::system_clock::now());
    EXPECT_TRUE((before <= now && now <= after) || after < before) << before << now << after;
}

// HCI_CHANGE_LOCAL_NAME_T with its fragments in process memory that ends where each ends; "!"
// is a pointer to memory that must not be read. namelen measures the first fragment.
TEST(Boundaries, NamesAcrossFragmentLimits) {
    const std::string a32(32, 'a');
    std::vector<std::string> longest;
    for (char c = 'a'; c < 'h'; ++c) longest.push_back(std::string(32, c));
    longest.push_back(std::string(24, 'h'));
    std::string all;
    for (const std::string& f : longest) all += f;
    const struct {
        std::vector<std::string> fragments;  // "" for a null pointer
        std::string name;
    } cases[] = {
        {{"abc\0"s}, "abc"},          {{a32}, a32},             {{"x\0"s}, "x"},
        {{a32, "bcdefghi\0"s}, a32 + "bcdefghi"},
        {{"\0"s, "!"}, ""},          {{"abc\0"s, "!"}, "abc"},
        {{"", "!"}, ""},             {{a32, "\0"s, "!"}, a32},
        {{"a\tb\nc\0"s}, "a\tb\nc"},  {longest, all},
    };
    RizOrodOzido d;
    for (const auto& c : cases) {
        Guarded record(rizorod::test::bytes("130c 00 00 32*00"));
        std::vector<std::unique_ptr<Guarded>> held;
        for (std::size_t i = 0; i < c.fragments.size(); ++i) {
            if (c.fragments[i].empty()) continue;
            const std::string& f = c.fragments[i] == "!" ? std::string() : c.fragments[i];
            held.push_back(std::make_unique<Guarded>(std::vector<std::uint8_t>(f.begin(), f.end())));
            record.put32(4 + 4 * i, held.back()->address());
        }
        EXPECT_EQ(rizorod::test::body(d.debugDMprim(0x0c13, record.data())),
                  "HCI_CHANGE_LOCAL_NAME_T\n\tHCI_COMMAND_COMMON_T\n\t\top_code =  c13\n\t\tlength =  00\n"
                  "\tname_part = " + c.name + "\n");
        // namelen, the length of one fragment: up to its zero byte or its limit; 0 for none.
        const void* first = c.fragments[0].empty() ? nullptr : held.front()->data();
        EXPECT_EQ(RizOrodOzidoTestAccess::namelen(d, first, 32), std::min<std::size_t>(c.name.size(), 32));
    }
}

// " @8:64 @12:64 ..." for `n` blocks of `len` bytes through the pointers from offset `from`.
std::string log(unsigned from, unsigned n, const char* len) {
    std::string out;
    for (unsigned b = 0; b < n; ++b) out += " @" + std::to_string(from + 4 * b) + ":" + len;
    return out;
}

// The access-code list's lines for a count of n: LAP k is word k mod 16 of block k / 16.
std::string laps(unsigned n) {
    std::string out = "\tnum_current_iac =  " + hex(n) + "\n";
    for (unsigned k = 0; k < n && k < 96; ++k) {
        std::uint32_t lap = 0;
        for (unsigned i = 4; i-- > 0;) lap = lap << 8 | rizorod::test::memory_byte(k / 16, 4 * (k % 16) + i);
        out += "\tiac_lap =  " + hex(lap) + "\n";
    }
    return out + "\n";
}

std::string run(unsigned n) {
    std::string out;
    for (unsigned j = 0; j < n; ++j) out.append(" ").append(hex(rizorod::test::memory_byte(0, j)));
    return out + "\n";
}

TEST(Boundaries, BlockWalksAccessCodesAndByteRunsAtTheirCounts) {
    const std::string sent = "\tHANDLE_COMPLETE_T\n", inq = "\tHCI_INQ_RESULT_T\n", key = "\tLINK_KEY_BD_ADDR_T\n";
    const struct {
        Interface iface;
        std::uint16_t code;
        const char* pattern;
        std::string marker;  // a line that each element begins with
        unsigned elements;
        std::string log;
        std::string tail;  // how the text ends
    } cases[] = {
        {Interface::dm, 0x2009, "i@4=01", sent, 16, log(8, 1, "64"), ""},
        {Interface::dm, 0x2009, "i@4=10", sent, 16, log(8, 1, "64"), ""},
        {Interface::dm, 0x2009, "i@4=11", sent, 32, log(8, 2, "64"), ""},
        {Interface::dm, 0x2009, "i@4=41", sent, 64, log(8, 4, "64"), ""},
        {Interface::dm, 0x2009, "i@4=11@8=00000000", sent, 16, log(12, 1, "64"), ""},
        {Interface::dm, 0x0424, "i@4=01", inq, 1, log(8, 1, "18"), ""},
        {Interface::dm, 0x0424, "i@4=03", inq, 3, log(8, 1, "58"), ""},
        {Interface::dm, 0x0424, "i@4=13", inq, 18, log(8, 6, "58"), ""},
        {Interface::dm, 0x0427, "i@4=0b", key, 10, log(8, 10, "24"), ""},
        {Interface::dm, 0x0c68, "i@5=61", "\t ", 96, log(8, 6, "64"), ""},
        {Interface::dm, 0x0c3a, "i@0=3a0c@4=01", "\tiac_lap", 1, log(8, 1, "4"), laps(1)},
        {Interface::dm, 0x0c3a, "i@0=3a0c@4=10", "\tiac_lap", 16, log(8, 1, "64"), laps(16)},
        {Interface::dm, 0x0c3a, "i@0=3a0c@4=11", "\tiac_lap", 17, log(8, 1, "64") + log(12, 1, "4"), laps(17)},
        {Interface::dm, 0x0c3a, "i@0=3a0c@4=61", "\tiac_lap", 96, log(8, 6, "64"), laps(97)},
        {Interface::dm, 0x0c3a, "i@0=3a0c@4=11@8=00000000", "\tiac_lap", 1, log(12, 1, "4"), ""},
        {Interface::l2cap, 0x000b, "i@4=0000", "", 0, "", "\tlength =  00\n\n"},
        {Interface::l2cap, 0x000b, "i@4=ffff", "", 0, " @8:65535", std::string("\tlength =  ffff\n").append(run(65535))},
        {Interface::l2cap, 0x000b, "i@4=0500@8=00000000", "", 0, "", "\tlength =  05\n\n"},
        {Interface::rfcomm, 0x0019, "i@8=0000", "", 0, "", "\tpayload_length =  00\n\n\n"},
        {Interface::sdp, 0x0002, "i@6=0000@16=0000", "", 0, "", "\tsize_err_info =  00\n\n\n"},
    };
    RizOrodOzido d;
    for (const auto& c : cases) {
        const rizorod::test::Decoded got = rizorod::test::decode_patterned(d, c.iface, c.code, c.pattern);
        unsigned elements = 0;
        for (std::size_t at = 0; !c.marker.empty() && (at = got.text.find("\n" + c.marker, at)) != std::string::npos; ++at)
            ++elements;
        EXPECT_EQ(elements, c.elements) << c.pattern;
        EXPECT_EQ(got.space->log(), c.log) << c.pattern;
        EXPECT_EQ(got.text.substr(got.text.size() - std::min(c.tail.size(), got.text.size())), c.tail) << c.pattern;
    }
}

}  // namespace
