// SPDX-License-Identifier: Apache-2.0
#include "support/guarded.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstring>
#include <stdexcept>

namespace rizorod::test {
namespace {
#if defined(_WIN32)
std::size_t page_size() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}
void* map_pages(std::size_t size) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}
bool guard_page(void* page, std::size_t size) {
    DWORD old = 0;
    return VirtualProtect(page, size, PAGE_NOACCESS, &old) != 0;
}
void unmap_pages(void* p, std::size_t) { VirtualFree(p, 0, MEM_RELEASE); }
#else
std::size_t page_size() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }
void* map_pages(std::size_t size) {
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_32BIT) && UINTPTR_MAX > 0xffffffffu
    flags |= MAP_32BIT;  // a 32-bit pointer field must be able to hold the address
#endif
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}
bool guard_page(void* page, std::size_t size) { return mprotect(page, size, PROT_NONE) == 0; }
void unmap_pages(void* p, std::size_t size) { munmap(p, size); }
#endif
}  // namespace

Guarded::Guarded(std::size_t size) : size_(size) {
    const std::size_t page = page_size();
    const std::size_t pages = (size + page - 1) / page + 1;
    map_size_ = pages * page;
    map_ = map_pages(map_size_);
    if (map_ == nullptr) throw std::runtime_error("cannot map test memory");
    auto* base = static_cast<std::uint8_t*>(map_);
    if (!guard_page(base + map_size_ - page, page)) throw std::runtime_error("cannot guard test memory");
    data_ = base + map_size_ - page - size;
}

Guarded::Guarded(const std::vector<std::uint8_t>& bytes) : Guarded(bytes.size()) {
    if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
}

Guarded::Guarded(Guarded&& other) noexcept
    : map_(other.map_), map_size_(other.map_size_), data_(other.data_), size_(other.size_) {
    other.map_ = nullptr;
}

Guarded::~Guarded() {
    if (map_ != nullptr) unmap_pages(map_, map_size_);
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

}  // namespace rizorod::test
