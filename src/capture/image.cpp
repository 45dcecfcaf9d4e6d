// SPDX-License-Identifier: Apache-2.0
// The memory image of an offline decoding: non-overlapping blocks by first address, joined where
// one starts exactly where another ends. A piece that joins two blocks moves the smaller into
// the larger, and a block keeps room in front for pieces that come in descending order, so any
// order of n pieces costs O(n log n).
#include <algorithm>
#include <functional>
#include <iterator>

#include <RizOrodOzido/capture.h>

namespace rizorod {
namespace {

constexpr std::uint64_t kTop = std::uint64_t{1} << 32;

// One past the last address of a block.
template <class Node>
std::uint64_t end_of(const Node& node) {
    return std::uint64_t{node.first} + node.second.size();
}

template <class Block>
void append(Block& block, const std::uint8_t* bytes, std::size_t n) {
    block.bytes.insert(block.bytes.end(), bytes, bytes + n);
}

template <class Block>
void prepend(Block& block, const std::uint8_t* bytes, std::size_t n) {
    if (block.front < n) {
        // Grow with as much room in front again as the block will hold.
        const std::size_t size = block.size(), room = size + n;
        std::vector<std::uint8_t> grown(room + n + size);
        std::copy(block.data(), block.data() + size, grown.begin() + static_cast<std::ptrdiff_t>(room + n));
        block.bytes.swap(grown);
        block.front = room + n;
    }
    block.front -= n;
    std::copy(bytes, bytes + n, block.bytes.begin() + static_cast<std::ptrdiff_t>(block.front));
}

}  // namespace

bool MemoryImage::add(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    // Compared without adding, so that no length can wrap the sum.
    if (bytes.size() > kTop - address) return false;
    const std::uint64_t end = std::uint64_t{address} + bytes.size();
    if (bytes.empty()) return true;
    if (overlap(address, bytes.size())) return false;
    const auto next = blocks_.upper_bound(address);
    const auto previous = next == blocks_.begin() ? blocks_.end() : std::prev(next);
    const bool joins_previous = previous != blocks_.end() && end_of(*previous) == address;
    const bool joins_next = next != blocks_.end() && next->first == end;
    if (joins_previous && (!joins_next || previous->second.size() >= next->second.size())) {
        append(previous->second, bytes.data(), bytes.size());
        if (joins_next) {
            append(previous->second, next->second.data(), next->second.size());
            blocks_.erase(next);
        }
    } else if (joins_next) {
        prepend(next->second, bytes.data(), bytes.size());
        std::uint32_t first = address;
        if (joins_previous) {
            prepend(next->second, previous->second.data(), previous->second.size());
            first = previous->first;
            blocks_.erase(previous);
        }
        auto node = blocks_.extract(next);
        node.key() = first;
        blocks_.insert(std::move(node));
    } else {
        blocks_.emplace_hint(next, address, Block{std::vector<std::uint8_t>(bytes.begin(), bytes.end()), 0});
    }
    return true;
}

std::span<const std::uint8_t> MemoryImage::at(std::uint32_t address) const {
    auto next = blocks_.upper_bound(address);
    if (next == blocks_.begin()) return {};
    const auto& [first, block] = *std::prev(next);
    if (address - first >= block.size()) return {};
    return std::span<const std::uint8_t>(block.data() + (address - first), block.size() - (address - first));
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> MemoryImage::overlap(
    std::uint32_t address, std::uint64_t len) const {
    if (len == 0) return std::nullopt;
    // Blocks end by 2^32: a longer range is as good as one that reaches there.
    const std::uint64_t end = std::uint64_t{address} + std::min(len, kTop);
    auto it = blocks_.upper_bound(address);
    if (it != blocks_.begin()) {
        const auto previous = std::prev(it);
        if (end_of(*previous) > address) it = previous;
    }
    if (it == blocks_.end() || it->first >= end) return std::nullopt;
    return std::make_pair(it->first, static_cast<std::uint32_t>(it->second.size()));
}

std::optional<std::uint32_t> MemoryImage::address_of(const std::uint8_t* byte) const noexcept {
    for (const auto& [first, block] : blocks_) {
        const std::uint8_t* data = block.data();
        if (!std::less<const std::uint8_t*>()(byte, data) &&
            std::less<const std::uint8_t*>()(byte, data + block.size()))
            return static_cast<std::uint32_t>(first + (byte - data));
    }
    return std::nullopt;
}

std::size_t MemoryImage::byte_count() const noexcept {
    std::size_t n = 0;
    for (const auto& entry : blocks_) n += entry.second.size();
    return n;
}

}  // namespace rizorod
