// The memory image of an offline decoding: sorted, non-overlapping blocks, joined where one
// starts exactly where another ends.
#include <algorithm>
#include <functional>

#include "capture/capture.h"

namespace rizorod {

bool MemoryImage::add(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    const std::uint64_t end = std::uint64_t{address} + bytes.size();
    if (end > 0x100000000ull) return false;
    if (bytes.empty()) return true;
    if (overlap(address, bytes.size())) return false;
    // The first block that starts after `address`; the one before it (if any) ends at or before.
    auto next = std::upper_bound(blocks_.begin(), blocks_.end(), address,
                                 [](std::uint32_t a, const Block& b) { return a < b.address; });
    const bool joins_previous = next != blocks_.begin() && std::prev(next)->end() == address;
    const bool joins_next = next != blocks_.end() && next->address == end;
    if (joins_previous) {
        auto previous = std::prev(next);
        previous->bytes.insert(previous->bytes.end(), bytes.begin(), bytes.end());
        if (joins_next) {
            previous->bytes.insert(previous->bytes.end(), next->bytes.begin(), next->bytes.end());
            blocks_.erase(next);
        }
    } else if (joins_next) {
        next->bytes.insert(next->bytes.begin(), bytes.begin(), bytes.end());
        next->address = address;
    } else {
        blocks_.insert(next, Block{address, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
    }
    return true;
}

std::span<const std::uint8_t> MemoryImage::at(std::uint32_t address) const {
    auto next = std::upper_bound(blocks_.begin(), blocks_.end(), address,
                                 [](std::uint32_t a, const Block& b) { return a < b.address; });
    if (next == blocks_.begin()) return {};
    const Block& block = *std::prev(next);
    if (address >= block.end()) return {};
    return std::span<const std::uint8_t>(block.bytes).subspan(address - block.address);
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> MemoryImage::overlap(
    std::uint32_t address, std::uint64_t len) const {
    if (len == 0) return std::nullopt;
    const std::uint64_t end = std::uint64_t{address} + len;
    // The first block that ends after `address` is the only candidate.
    auto it = std::upper_bound(blocks_.begin(), blocks_.end(), std::uint64_t{address},
                               [](std::uint64_t a, const Block& b) { return a < b.end(); });
    if (it == blocks_.end() || it->address >= end) return std::nullopt;
    return std::make_pair(it->address, static_cast<std::uint32_t>(it->bytes.size()));
}

std::optional<std::uint32_t> MemoryImage::address_of(const std::uint8_t* byte) const noexcept {
    for (const Block& block : blocks_) {
        const std::uint8_t* first = block.bytes.data();
        if (!block.bytes.empty() && !std::less<const std::uint8_t*>()(byte, first) &&
            std::less<const std::uint8_t*>()(byte, first + block.bytes.size()))
            return static_cast<std::uint32_t>(block.address + (byte - first));
    }
    return std::nullopt;
}

std::size_t MemoryImage::byte_count() const noexcept {
    std::size_t n = 0;
    for (const Block& block : blocks_) n += block.bytes.size();
    return n;
}

}  // namespace rizorod
