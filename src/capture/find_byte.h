// SPDX-License-Identifier: Apache-2.0
// The first place of one character in a run of text, 16 characters at a time where SSE2 is
// there: lines are short, and for them a call of memchr costs more than the search itself.
#ifndef RIZORODOZIDO_SRC_CAPTURE_FIND_BYTE_H
#define RIZORODOZIDO_SRC_CAPTURE_FIND_BYTE_H

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rizorod::detail {

// Where `c` first comes in [p, end), or null.
inline const char* find_byte(const char* p, const char* end, char c) {
#if defined(__SSE2__)
    if (end - p >= 16) {
        const __m128i wanted = _mm_set1_epi8(c);
        for (const char* block = p;; block += 16) {
            if (end - block < 16) block = end - 16;  // the last block overlaps the one before
            const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)), wanted)));
            if (found != 0) return block + std::countr_zero(found);
            if (block + 16 == end) return nullptr;
        }
    }
#endif
    if (p == end) return nullptr;
    return static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)));
}

}  // namespace rizorod::detail

#endif
