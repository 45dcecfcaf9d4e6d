// SPDX-License-Identifier: Apache-2.0
// The two seams through which a decoding meets the world outside its record:
//
// - Pointer fields hold 32-bit addresses of the stack's process. Every dereference of one goes
//   through follow() / follow_string(). In-process the address is the pointer (zero-extended on a
//   64-bit build); while an AddressSpace is installed on the thread (offline decoding, tests) the
//   address is resolved there instead, and the space may refuse by throwing.
// - The header's time comes from the wall clock unless a stamp or a time reading is pinned on the
//   thread.
//
// Both are thread-local, so separate threads decode with separate settings and no locks.
#ifndef RIZORODOZIDO_SRC_CORE_SEAMS_H
#define RIZORODOZIDO_SRC_CORE_SEAMS_H

#include <cstdint>

namespace rizorod::detail {

class AddressSpace {
public:
    virtual ~AddressSpace() = default;
    // `len` readable bytes at `address`, which the pointer field at `field` holds.
    virtual const unsigned char* bytes(const unsigned char* field, std::uint32_t address,
                                       std::uint32_t len) = 0;
    // A text fragment at `address`: its length (bytes before the first zero, at most `limit`)
    // through `len`, and its first byte.
    virtual const unsigned char* string(const unsigned char* field, std::uint32_t address,
                                        std::uint32_t limit, std::uint32_t& len) = 0;
};

// Installs `space` for decodings on this thread for the lifetime of the scope.
class ScopedAddressSpace {
public:
    explicit ScopedAddressSpace(AddressSpace& space);
    ~ScopedAddressSpace();
    ScopedAddressSpace(const ScopedAddressSpace&) = delete;
    ScopedAddressSpace& operator=(const ScopedAddressSpace&) = delete;

private:
    AddressSpace* previous_;
};

// The `len` bytes addressed by the pointer field at `field`; null for a null pointer.
const unsigned char* follow(const unsigned char* field, std::uint32_t len);
// The fragment addressed by the pointer field at `field`, at most `limit` bytes up to its first
// zero byte; null (with len 0) for a null pointer.
const unsigned char* follow_string(const unsigned char* field, std::uint32_t limit,
                                   std::uint32_t& len);

// One reading of a clock: whole seconds since the epoch and the milliseconds of that second.
struct TimeReading {
    std::int64_t seconds;
    std::uint16_t millis;
};
// A clock's milliseconds since the epoch as a reading; before 1970 the second is the one before
// (-1 ms is second -1, millisecond 999).
TimeReading reading_of(std::int64_t milliseconds);

// Pins the time that header lines on this thread show, for the lifetime of the scope.
class ScopedTime {
public:
    explicit ScopedTime(TimeReading reading);
    ~ScopedTime();
    ScopedTime(const ScopedTime&) = delete;
    ScopedTime& operator=(const ScopedTime&) = delete;

private:
    const TimeReading* previous_;
    TimeReading reading_;
};

// Pins the stamp text itself (for instance a logged "14:03:27.045"), for the scope's lifetime.
// The text is not copied: it must outlive the scope.
class ScopedStamp {
public:
    ScopedStamp(const char* text, std::uint32_t len);
    ~ScopedStamp();
    ScopedStamp(const ScopedStamp&) = delete;
    ScopedStamp& operator=(const ScopedStamp&) = delete;

private:
    const char* previous_text_;
    std::uint32_t previous_len_;
};

// Writes the stamp for a header line now into `out` (room for 32 characters); returns its length.
// "??:??:??.???" when the local-time conversion fails.
std::uint32_t current_stamp(char* out);
// The same for one given reading.
std::uint32_t format_stamp(TimeReading reading, char* out);

}  // namespace rizorod::detail

#endif
