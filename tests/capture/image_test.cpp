// The memory image: blocks by address, joined where they touch, never overlapping.
#include <gtest/gtest.h>

#include <vector>

#include "capture/capture.h"

using rizorod::MemoryImage;

namespace {

std::vector<std::uint8_t> bytes_at(const MemoryImage& image, std::uint32_t address) {
    const auto span = image.at(address);
    return {span.begin(), span.end()};
}

TEST(MemoryImage, AtGivesTheBytesFromTheAddressToTheEndOfItsBlock) {
    MemoryImage image;
    const std::vector<std::uint8_t> block = {1, 2, 3, 4};
    ASSERT_TRUE(image.add(0x00203000, block));
    EXPECT_EQ(bytes_at(image, 0x00203000), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(bytes_at(image, 0x00203003), (std::vector<std::uint8_t>{4}));
    EXPECT_TRUE(image.at(0x00203004).empty());
    EXPECT_TRUE(image.at(0x00202fff).empty());
    EXPECT_TRUE(image.at(0).empty());
}

TEST(MemoryImage, TouchingBlocksJoinInWhicheverOrderTheyCome) {
    MemoryImage image;
    const std::vector<std::uint8_t> a = {0xa0, 0xa1}, b = {0xb0, 0xb1}, c = {0xc0};
    ASSERT_TRUE(image.add(0x1002, b));
    ASSERT_TRUE(image.add(0x1004, c));  // after b
    ASSERT_TRUE(image.add(0x1000, a));  // before b
    EXPECT_EQ(image.blocks(), 1u);
    EXPECT_EQ(image.byte_count(), 5u);
    EXPECT_EQ(bytes_at(image, 0x1000), (std::vector<std::uint8_t>{0xa0, 0xa1, 0xb0, 0xb1, 0xc0}));
    // A gap keeps blocks apart; filling the gap joins all three.
    MemoryImage gapped;
    ASSERT_TRUE(gapped.add(0x1000, a));
    ASSERT_TRUE(gapped.add(0x1003, c));
    EXPECT_EQ(gapped.blocks(), 2u);
    EXPECT_EQ(bytes_at(gapped, 0x1001), (std::vector<std::uint8_t>{0xa1}));
    ASSERT_TRUE(gapped.add(0x1002, std::vector<std::uint8_t>{0x77}));
    EXPECT_EQ(gapped.blocks(), 1u);
    EXPECT_EQ(bytes_at(gapped, 0x1001), (std::vector<std::uint8_t>{0xa1, 0x77, 0xc0}));
}

TEST(MemoryImage, OverlapIsRefusedAndChangesNothing) {
    MemoryImage image;
    ASSERT_TRUE(image.add(0x2000, std::vector<std::uint8_t>(16, 0x11)));
    const std::vector<std::uint8_t> two = {0x22, 0x22};
    for (std::uint32_t at : {0x1fffu, 0x2000u, 0x2008u, 0x200fu}) {
        EXPECT_FALSE(image.add(at, two)) << std::hex << at;
        const auto other = image.overlap(at, 2);
        ASSERT_TRUE(other.has_value());
        EXPECT_EQ(other->first, 0x2000u);
        EXPECT_EQ(other->second, 16u);
    }
    EXPECT_FALSE(image.overlap(0x1ffe, 2));
    EXPECT_FALSE(image.overlap(0x2010, 2));
    EXPECT_EQ(image.byte_count(), 16u);
    EXPECT_EQ(image.blocks(), 1u);
}

TEST(MemoryImage, TheTopOfTheAddressSpaceIsTheLimit) {
    MemoryImage image;
    EXPECT_TRUE(image.add(0xfffffffe, std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(bytes_at(image, 0xffffffff), (std::vector<std::uint8_t>{2}));
    MemoryImage other;
    EXPECT_FALSE(other.add(0xfffffffe, std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(other.empty());
}

TEST(MemoryImage, AddressOfMapsBackFromTheBytesItHandsOut) {
    MemoryImage image;
    ASSERT_TRUE(image.add(0x00400000, std::vector<std::uint8_t>(8, 0)));
    const auto span = image.at(0x00400003);
    EXPECT_EQ(image.address_of(span.data()), 0x00400003u);
    const std::uint8_t elsewhere = 0;
    EXPECT_FALSE(image.address_of(&elsewhere));
}

}  // namespace
