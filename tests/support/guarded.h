// SPDX-License-Identifier: Apache-2.0
// Memory for tests: bytes that end exactly at a guard page (reading one byte past them faults),
// placed below 4 GiB so that a 32-bit pointer field can address them on a 64-bit build.
#ifndef RIZORODOZIDO_TESTS_SUPPORT_GUARDED_H
#define RIZORODOZIDO_TESTS_SUPPORT_GUARDED_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rizorod::test {

class Guarded {
public:
    explicit Guarded(std::size_t size);
    explicit Guarded(const std::vector<std::uint8_t>& bytes);
    ~Guarded();
    Guarded(Guarded&& other) noexcept;
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;
    Guarded& operator=(Guarded&&) = delete;

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    // The 32-bit address a pointer field holds to point here.
    std::uint32_t address() const;

    void put8(std::size_t offset, std::uint8_t v) { data_[offset] = v; }
    void put16(std::size_t offset, std::uint16_t v);
    void put32(std::size_t offset, std::uint32_t v);

private:
    void* map_ = nullptr;
    std::size_t map_size_ = 0;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace rizorod::test

#endif
