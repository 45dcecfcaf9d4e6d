#include "support/guarded.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace riz::test {
namespace {
std::size_t page_size() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }
}  // namespace

Guarded::Guarded(std::size_t size) : size_(size) {
    const std::size_t page = page_size();
    const std::size_t pages = (size + page - 1) / page + 1;
    map_size_ = pages * page;
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_32BIT) && UINTPTR_MAX > 0xffffffffu
    flags |= MAP_32BIT;
#endif
    map_ = mmap(nullptr, map_size_, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (map_ == MAP_FAILED) throw std::runtime_error("mmap failed");
    auto* base = static_cast<std::uint8_t*>(map_);
    if (mprotect(base + map_size_ - page, page, PROT_NONE) != 0)
        throw std::runtime_error("mprotect failed");
    data_ = base + map_size_ - page - size;
}

Guarded::Guarded(std::initializer_list<std::uint8_t> bytes) : Guarded(bytes.size()) {
    std::memcpy(data_, bytes.begin(), bytes.size());
}

Guarded::Guarded(const std::vector<std::uint8_t>& bytes) : Guarded(bytes.size()) {
    if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
}

Guarded::Guarded(Guarded&& other) noexcept
    : map_(other.map_), map_size_(other.map_size_), data_(other.data_), size_(other.size_) {
    other.map_ = nullptr;
}

Guarded::~Guarded() {
    if (map_ != nullptr) munmap(map_, map_size_);
}

std::uint32_t Guarded::address() const {
    const auto a = reinterpret_cast<std::uintptr_t>(data_);
    if (a > 0xffffffffu) throw std::runtime_error("guarded bytes above 4 GiB");
    return static_cast<std::uint32_t>(a);
}

void Guarded::put16(std::size_t offset, std::uint16_t v) {
    data_[offset] = static_cast<std::uint8_t>(v);
    data_[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Guarded::put32(std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data_[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace riz::test
