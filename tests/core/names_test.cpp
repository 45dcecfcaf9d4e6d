// Device names across fragments and the inquiry-access-code list of debug_customDebug.
#include <gtest/gtest.h>

#include <map>

#include "support/decode.h"

namespace {
using A = RizOrodOzidoTestAccess;
using riz::test::Guarded;

// Serves fixed blocks by address and records which pointer fields were followed.
class MapSpace final : public riz::detail::AddressSpace {
public:
    explicit MapSpace(const unsigned char* record) : record_(record) {}
    void add(std::uint32_t address, std::vector<std::uint8_t> bytes) { blocks_[address] = std::move(bytes); }
    const unsigned char* bytes(const unsigned char* field, std::uint32_t address,
                               std::uint32_t len) override {
        followed.push_back({static_cast<int>(field - record_), len});
        const auto& b = blocks_.at(address);
        EXPECT_LE(len, b.size());
        served_.push_back(std::make_unique<Guarded>(std::vector<std::uint8_t>(b.begin(), b.begin() + len)));
        return served_.back()->data();
    }
    const unsigned char* string(const unsigned char* field, std::uint32_t address,
                                std::uint32_t limit, std::uint32_t& len) override {
        followed.push_back({static_cast<int>(field - record_), limit});
        const auto& b = blocks_.at(address);
        len = 0;
        while (len < limit && len < b.size() && b[len] != 0) ++len;
        served_.push_back(std::make_unique<Guarded>(b));
        return served_.back()->data();
    }
    std::vector<std::pair<int, std::uint32_t>> followed;  // (offset of pointer field, bytes asked)

private:
    const unsigned char* record_;
    std::map<std::uint32_t, std::vector<std::uint8_t>> blocks_;
    std::vector<std::unique_ptr<Guarded>> served_;
};

std::vector<std::uint8_t> text_bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(Namelen, NullPointerOrZeroLimitIsZero) {
    RizOrodOzido d;
    EXPECT_EQ(A::namelen(d, nullptr, 32), 0);
    EXPECT_EQ(A::namelen(d, "abc", 0), 0);
    EXPECT_EQ(A::namelen(d, "abc", 32), 3);
    Guarded full(std::vector<std::uint8_t>(32, 'x'));  // no zero byte, nothing readable after it
    EXPECT_EQ(A::namelen(d, full.data(), 32), 32);
    EXPECT_EQ(A::namelen(d, full.data(), 5), 5);
}

// A name-part array with fragments at the given (guarded, low) addresses; null for absent ones.
struct Parts {
    std::vector<Guarded> fragments;
    Guarded array;
    explicit Parts(const std::vector<std::vector<std::uint8_t>>& fs) : array(std::size_t{32}) {
        fragments.reserve(fs.size());
        for (std::size_t i = 0; i < 8; ++i) array.put32(4 * i, 0);
        for (std::size_t i = 0; i < fs.size(); ++i) {
            if (fs[i].empty()) continue;
            fragments.emplace_back(fs[i]);
            array.put32(4 * i, fragments.back().address());
        }
    }
};

std::string print_name(const Parts& parts) {
    RizOrodOzido d;
    std::string buf;
    A::print_name(d, parts.array.data(), buf);
    return buf;
}

TEST(PrintName, ShortNameEndsAtItsZeroByte) {
    Parts parts({text_bytes(std::string("hello\0", 6)), text_bytes("ignored")});
    EXPECT_EQ(print_name(parts), "\tname_part = hello");
}

TEST(PrintName, FortyBytesAcrossTwoFragments) {
    const std::string name = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
    Parts parts({text_bytes(name.substr(0, 32)), text_bytes(name.substr(32) + std::string(1, '\0'))});
    EXPECT_EQ(print_name(parts), "\tname_part = " + name);
}

TEST(PrintName, FullFirstFragmentThenNullPointerStops) {
    const std::string name(32, 'n');
    Parts parts({text_bytes(name)});
    EXPECT_EQ(print_name(parts), "\tname_part = " + name);
}

TEST(PrintName, LongestNameReadsNoByteBeyondTheTwentyFourthOfTheLastFragment) {
    std::vector<std::vector<std::uint8_t>> fs;
    std::string expected;
    for (int i = 0; i < 7; ++i) {
        const std::string part(32, static_cast<char>('a' + i));
        fs.push_back(text_bytes(part));
        expected += part;
    }
    fs.push_back(text_bytes(std::string(24, 'z')));  // guard page right after byte 24
    expected += std::string(24, 'z');
    Parts parts(fs);
    EXPECT_EQ(print_name(parts), "\tname_part = " + expected);
    EXPECT_EQ(expected.size(), 248u);
}

TEST(PrintName, FragmentStartingWithZeroEndsTheName) {
    Parts parts({text_bytes(std::string(32, 'q')), text_bytes(std::string(1, '\0')), text_bytes("never")});
    EXPECT_EQ(print_name(parts), "\tname_part = " + std::string(32, 'q'));
}

TEST(PrintName, ShortFragmentStopsEvenWhenMorePointersAreSet) {
    Parts parts({text_bytes(std::string("ab\0", 3)), text_bytes("cd")});
    EXPECT_EQ(print_name(parts), "\tname_part = ab");
}

TEST(PrintName, NullFirstPointerLeavesTheLabelAlone) {
    Parts parts({});
    EXPECT_EQ(print_name(parts), "\tname_part = ");
}

TEST(PrintName, BytesAreCopiedRaw) {
    Parts parts({text_bytes(std::string("a\tb\nc\0", 6))});
    EXPECT_EQ(print_name(parts), "\tname_part = a\tb\nc");
}

// A record whose first u16 selects the rendering of debug_customDebug.
Guarded custom_record(std::uint16_t first, std::size_t size) {
    Guarded rec(size);
    for (std::size_t i = 0; i < size; ++i) rec.put8(i, 0);
    rec.put16(0, first);
    return rec;
}

TEST(CustomDebug, NameBranchesTakeTheArrayAtTheirOwnOffset) {
    const std::vector<std::pair<std::uint16_t, int>> branches = {{0x0429, 16}, {0x0c13, 4}, {0x0c4b, 8}};
    for (const auto& [code, offset] : branches) {
        Guarded rec = custom_record(code, static_cast<std::size_t>(offset) + 32);
        MapSpace space(rec.data());
        space.add(0x1000, text_bytes(std::string("abc\0", 4)));
        rec.put32(offset, 0x1000);
        riz::detail::ScopedAddressSpace scope(space);
        RizOrodOzido d;
        std::string buf;
        A::custom_debug(d, rec.data(), buf);
        EXPECT_EQ(buf, "\tname_part = abc\n") << std::hex << code;
        ASSERT_EQ(space.followed.size(), 1u);
        EXPECT_EQ(space.followed[0].first, offset);
    }
}

std::vector<std::uint8_t> laps(std::uint32_t first, int n) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < n; ++i)
        for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>((first + i) >> (8 * b)));
    return out;
}

TEST(CustomDebug, LapListOfTwo) {
    Guarded block({0x33, 0x8b, 0x9e, 0x00, 0x00, 0x8b, 0x9e, 0x00});
    Guarded rec = custom_record(0x0c3a, 32);
    rec.put8(4, 2);
    rec.put32(8, block.address());
    RizOrodOzido d;
    A::mode(d) = 0;
    std::string buf;
    A::custom_debug(d, rec.data(), buf);
    EXPECT_EQ(buf, "\tiac_lap =  9e8b33\n\tiac_lap =  9e8b00\n\n");
}

struct LapCase {
    int count;
    std::vector<std::pair<int, std::uint32_t>> followed;
    int lines;
};

class LapList : public ::testing::TestWithParam<LapCase> {};

TEST_P(LapList, ReadsOnlyTheBlocksAndSlotsInUse) {
    Guarded rec = custom_record(0x0c3a, 32);
    rec.put8(4, static_cast<std::uint8_t>(GetParam().count));
    MapSpace space(rec.data());
    for (int b = 0; b < 6; ++b) {
        rec.put32(8 + 4 * b, 0x10000 * (b + 1));
        space.add(0x10000 * (b + 1), laps(0x100 * (b + 1), 16));
    }
    RizOrodOzido d;
    A::mode(d) = 0;
    std::string buf;
    {
        riz::detail::ScopedAddressSpace scope(space);
        A::custom_debug(d, rec.data(), buf);
    }
    EXPECT_EQ(space.followed, GetParam().followed);
    std::string expected;
    for (int k = 0; k < GetParam().lines; ++k) {
        char line[40];
        std::snprintf(line, sizeof line, "\tiac_lap =  %x\n", 0x100 * (k / 16 + 1) + k % 16);
        expected += line;
    }
    EXPECT_EQ(buf, expected + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Counts, LapList,
    ::testing::Values(LapCase{0, {}, 0}, LapCase{1, {{8, 4}}, 1}, LapCase{16, {{8, 64}}, 16},
                      LapCase{17, {{8, 64}, {12, 4}}, 17},
                      LapCase{96, {{8, 64}, {12, 64}, {16, 64}, {20, 64}, {24, 64}, {28, 64}}, 96},
                      // More than six blocks can address: the first 96, no seventh pointer.
                      LapCase{255, {{8, 64}, {12, 64}, {16, 64}, {20, 64}, {24, 64}, {28, 64}}, 96}));

TEST(CustomDebug, UnknownRecordTypeGivesItsTextThenAnEmptyLine) {
    Guarded rec = custom_record(0x1234, 2);
    RizOrodOzido d;
    std::string buf = "before\n";
    A::custom_debug(d, rec.data(), buf);
    EXPECT_EQ(buf, "before\nUnknown customDebug Primitive type\n\n");
}
}  // namespace
