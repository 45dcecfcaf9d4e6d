// SPDX-License-Identifier: Apache-2.0
// Records for the benchmarks, with the bytes their pointers address, placed in memory below 4 GiB
// so that 4-byte pointer fields can address it on a 64-bit build. Each function makes its record
// once per call; the memory is never given back.
#ifndef RIZORODOZIDO_BENCH_RECORDS_H
#define RIZORODOZIDO_BENCH_RECORDS_H

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace bench {

inline std::uint8_t* take(std::size_t n) {
    static std::uint8_t* low = nullptr;
    static std::size_t used = 0;
    if (low == nullptr) {
        int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_32BIT)
        flags |= MAP_32BIT;
#endif
        void* p = mmap(nullptr, 1 << 20, PROT_READ | PROT_WRITE, flags, -1, 0);
        if (p == MAP_FAILED) throw std::runtime_error("mmap");
        low = static_cast<std::uint8_t*>(p);
    }
    std::uint8_t* p = low + used;
    used += (n + 15) & ~std::size_t{15};
    return p;
}

inline std::uint32_t address(const void* p) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}
inline void put16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }
inline void put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
inline std::uint16_t get16(const std::uint8_t* p) { std::uint16_t v; std::memcpy(&v, p, 2); return v; }
inline std::uint32_t get32(const std::uint8_t* p) { std::uint32_t v; std::memcpy(&v, p, 4); return v; }

// DM_ACL_CONNECT_CFM_T (dm 0x2004), the worked example's record.
inline const std::uint8_t* acl_connect_cfm() {
    std::uint8_t* p = take(17);
    const std::uint8_t bytes[] = {0x04, 0x20, 0x1a, 0x00, 0x00, 0x00, 0x29, 0x00, 0x33,
                                  0x8b, 0x9e, 0x00, 0x5b, 0x00, 0x02, 0x00, 0x01};
    std::memcpy(p, bytes, sizeof bytes);
    return p;
}

// L2CA_DATAWRITE_REQ_T (l2cap 0x000b) with `length` bytes of data.
inline const std::uint8_t* datawrite(std::uint16_t length) {
    std::uint8_t* p = take(12);
    std::uint8_t* data = take(length);
    for (unsigned i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    put16(p, 0x000b);
    put16(p + 2, 0x41);
    put16(p + 4, length);
    put32(p + 8, address(data));
    return p;
}

// DM_HCI_INQUIRY_RESULT_T (dm 0x0424) with 18 responses in 6 blocks of 3.
inline const std::uint8_t* inquiry_result() {
    std::uint8_t* p = take(32);
    put16(p, 0x0424);
    put16(p + 2, 1);
    p[4] = 18;
    for (int b = 0; b < 6; ++b) {
        std::uint8_t* block = take(60);
        for (int i = 0; i < 60; ++i) block[i] = static_cast<std::uint8_t>(b * 60 + i);
        put32(p + 8 + 4 * b, address(block));
    }
    return p;
}

// RFC_DATA_IND_T (rfcomm 0x0019) with 32 bytes of payload.
inline const std::uint8_t* rfc_data_ind() {
    std::uint8_t* p = take(20);
    std::uint8_t* data = take(32);
    for (int i = 0; i < 32; ++i) data[i] = static_cast<std::uint8_t>(0x41 + i);
    put16(p, 0x0019);
    put16(p + 2, 2);
    p[4] = 1;
    p[5] = 3;
    put16(p + 6, 5);
    put16(p + 8, 32);
    put32(p + 12, address(data));
    return p;
}

// SDC_SERVICE_SEARCH_CFM_T (sdp 0x0002): two record handles and four bytes of error information.
inline const std::uint8_t* search_cfm() {
    std::uint8_t* p = take(24);
    std::uint8_t* recs = take(8);
    std::uint8_t* err = take(4);
    const std::uint8_t handles[] = {0, 1, 0, 0, 0, 1, 0, 1};
    std::memcpy(recs, handles, 8);
    std::memcpy(err, "\x01\x02\x03\x04", 4);
    put16(p, 0x0002);
    put16(p + 2, 1);
    put16(p + 4, 2);
    put16(p + 6, 8);
    put32(p + 8, address(recs));
    put16(p + 16, 4);
    put32(p + 20, address(err));
    return p;
}

// DM_HCI_REMOTE_NAME_COMPLETE_T (dm 0x0429) with a 248-byte name in eight fragments.
inline const std::uint8_t* remote_name() {
    std::uint8_t* p = take(48);
    put16(p, 0x0429);
    put16(p + 2, 1);
    for (int i = 0; i < 8; ++i) {
        const int len = i == 7 ? 24 : 32;
        std::uint8_t* f = take(len);
        std::memset(f, 'a' + i, len);
        put32(p + 16 + 4 * i, address(f));
    }
    return p;
}

}  // namespace bench

#endif
