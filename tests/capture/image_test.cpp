// SPDX-License-Identifier: Apache-2.0
// The memory image, as a table: pieces added in order -> the pieces refused and the blocks that
// result. Every byte holds the low byte of its own address, so a block whose bytes do not count
// up from its address was joined in the wrong order.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <RizOrodOzido/capture.h>
#include "support/decode.h"

using rizorod::MemoryImage;

namespace {

std::vector<std::uint8_t> counting(std::uint32_t address, std::uint32_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::uint32_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(address + i);
    return bytes;
}

// "refused 1 3; 1000+5 2000+1": the indexes of refused pieces, then each block with its length.
std::string add_all(MemoryImage& image, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& pieces) {
    std::string refused = "refused", blocks;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (!image.add(pieces[i].first, counting(pieces[i].first, pieces[i].second))) refused.append(" ").append(std::to_string(i));
    char text[32];
    std::size_t count = 0;
    for (const auto& [first, length] : rizorod::test::blocks_of(image)) {
        const auto bytes = image.at(first);
        EXPECT_EQ(bytes.size(), length);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] != static_cast<std::uint8_t>(first + i)) ADD_FAILURE() << "byte " << i << " of " << first;
        std::snprintf(text, sizeof text, " %x+%u", first, length);
        blocks += text;
        ++count;
    }
    EXPECT_EQ(image.block_count(), count);
    return refused + ";" + blocks;
}

struct Row {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pieces;  // address, length
    const char* result;
};

class Image : public testing::TestWithParam<Row> {};

TEST_P(Image, AddsJoinsAndRefuses) {
    MemoryImage image;
    EXPECT_EQ(add_all(image, GetParam().pieces), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Capture, Image, testing::Values(
    Row{{{0x1002, 2}, {0x1004, 1}, {0x1000, 2}}, "refused; 1000+5"},               // after, then before
    Row{{{0x1000, 2}, {0x1003, 1}}, "refused; 1000+2 1003+1"},                        // a gap keeps apart
    Row{{{0x1000, 2}, {0x1003, 1}, {0x1002, 1}}, "refused; 1000+4"},                  // filling it joins all
    Row{{{0x10, 1}, {0x12, 10}, {0x11, 1}}, "refused; 10+12"},                        // small one before a large
    Row{{{0x10, 10}, {0x1b, 1}, {0x1a, 1}}, "refused; 10+12"},                        // small one after a large
    Row{{{0x2000, 16}, {0x1fff, 2}, {0x2000, 2}, {0x200f, 2}, {0x1ff0, 0x100}, {0x1ffe, 2}, {0x2010, 2}},
        "refused 1 2 3 4; 1ffe+20"},
    Row{{{0xfffffffe, 2}, {0xfffffffd, 2}, {0xfffffffd, 1}}, "refused 1; fffffffd+3"},  // the top of the space
    Row{{{0xffffffff, 2}, {5, 0}}, "refused 0;"}));

// A range that runs past the end of the address space (its end wraps in 64 bits) still overlaps;
// a byte of a block is found at its address.
TEST(MemoryImage, OverlapHoldsForRangesThatRunPastTheEnd) {
    MemoryImage image;
    ASSERT_TRUE(image.add(0x2000, counting(0x2000, 4)));
    const std::uint64_t huge = std::numeric_limits<std::uint64_t>::max();
    for (const std::uint32_t at : {0x10u, 0x2003u}) EXPECT_EQ(image.overlap(at, huge - at)->first, 0x2000u) << at;
    EXPECT_FALSE(image.overlap(0x2004, huge));
    ASSERT_TRUE(image.add(0x1000, counting(0x1000, 4)));  // a byte is found in its own block
    for (const std::uint32_t at : {0x1000u, 0x1003u, 0x2002u}) EXPECT_EQ(image.address_of(image.at(at).data()), at);
    const std::uint8_t elsewhere = 0;
    EXPECT_FALSE(image.address_of(&elsewhere));
}

// Pieces out of address order cost about what they cost in order, joined or apart.
TEST(MemoryImage, AnyOrderTakesAboutTheTimeOfAscendingOrder) {
    constexpr std::uint32_t n = 1 << 17;
    const auto seconds = [&](std::uint32_t stride, auto order) {
        const auto start = std::chrono::steady_clock::now();
        MemoryImage image;
        const std::uint8_t byte = 0;
        for (std::uint32_t i = 0; i < n; ++i) image.add(order(i) * stride, {&byte, 1});
        EXPECT_EQ(image.block_count(), stride == 1 ? 1u : n);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    for (const std::uint32_t stride : {1u, 2u}) {
        const double ascending = seconds(stride, [](std::uint32_t i) { return i; });
        const double descending = seconds(stride, [](std::uint32_t i) { return n - 1 - i; });
        // Bit-reversed: every piece lands between two earlier ones.
        const double scattered = seconds(stride, [](std::uint32_t i) {
            std::uint32_t r = 0;
            for (int b = 0; b < 17; ++b) r |= ((i >> b) & 1u) << (16 - b);
            return r;
        });
        EXPECT_LT(descending, 10 * ascending + 0.5) << "stride " << stride;
        EXPECT_LT(scattered, 10 * ascending + 0.5) << "stride " << stride;
    }
}

}  // namespace
