// SPDX-License-Identifier: Apache-2.0
#include "core/seams.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "core/writer.h"

namespace rizorod::detail {
namespace {

thread_local AddressSpace* t_space = nullptr;
thread_local const TimeReading* t_time = nullptr;
thread_local const char* t_stamp_text = nullptr;
thread_local std::uint32_t t_stamp_len = 0;

// The calendar conversion of the last whole second seen on this thread: the header needs one
// conversion per second, not one per decoding.
struct CalendarCache {
    std::int64_t seconds = std::numeric_limits<std::int64_t>::min();
    bool ok = false;
    std::uint32_t len = 0;
    char hms[32] = {};
};
thread_local CalendarCache t_calendar;

constexpr char kFallback[] = "??:??:??.???";

bool local_time(std::int64_t seconds, std::tm& out) {
    if (seconds < std::numeric_limits<std::time_t>::min() ||
        seconds > std::numeric_limits<std::time_t>::max())
        return false;
    const std::time_t t = static_cast<std::time_t>(seconds);
#if defined(_WIN32)
    return localtime_s(&out, &t) == 0;
#else
    return localtime_r(&t, &out) != nullptr;
#endif
}

}  // namespace

ScopedAddressSpace::ScopedAddressSpace(AddressSpace& space) : previous_(t_space) {
    t_space = &space;
}
ScopedAddressSpace::~ScopedAddressSpace() { t_space = previous_; }

const unsigned char* follow(const unsigned char* field, std::uint32_t len) {
    const std::uint32_t address = rizorod_load32(field);
    if (address == 0) return nullptr;
    if (t_space != nullptr) return t_space->bytes(field, address, len);
    return reinterpret_cast<const unsigned char*>(static_cast<std::uintptr_t>(address));
}

const unsigned char* follow_string(const unsigned char* field, std::uint32_t limit,
                                   std::uint32_t& len) {
    len = 0;
    const std::uint32_t address = rizorod_load32(field);
    if (address == 0) return nullptr;
    if (t_space != nullptr) return t_space->string(field, address, limit, len);
    const auto* bytes = reinterpret_cast<const unsigned char*>(static_cast<std::uintptr_t>(address));
    const void* zero = std::memchr(bytes, 0, limit);
    len = zero ? static_cast<std::uint32_t>(static_cast<const unsigned char*>(zero) - bytes) : limit;
    return bytes;
}

ScopedTime::ScopedTime(TimeReading reading) : previous_(t_time), reading_(reading) {
    t_time = &reading_;
}
ScopedTime::~ScopedTime() { t_time = previous_; }

ScopedStamp::ScopedStamp(const char* text, std::uint32_t len)
    : previous_text_(t_stamp_text), previous_len_(t_stamp_len) {
    t_stamp_text = text;
    t_stamp_len = len;
}
ScopedStamp::~ScopedStamp() {
    t_stamp_text = previous_text_;
    t_stamp_len = previous_len_;
}

std::uint32_t format_stamp(TimeReading reading, char* out) {
    CalendarCache& cache = t_calendar;
    if (cache.seconds != reading.seconds) {
        std::tm tm{};
        cache.ok = false;
        if (local_time(reading.seconds, tm)) {
            const std::size_t n = std::strftime(cache.hms, sizeof cache.hms, "%H:%M:%S", &tm);
            cache.ok = n != 0;
            cache.len = static_cast<std::uint32_t>(n);
        }
        cache.seconds = reading.seconds;
    }
    if (!cache.ok) {
        std::memcpy(out, kFallback, sizeof kFallback - 1);
        return sizeof kFallback - 1;
    }
    // "%s.%03d" into a 32-character work area.
    std::memcpy(out, cache.hms, cache.len);
    std::uint32_t n = cache.len;
    if (reading.millis < 1000 && n + 4 < 32) {
        out[n] = '.';
        out[n + 1] = static_cast<char>('0' + reading.millis / 100);
        out[n + 2] = static_cast<char>('0' + reading.millis / 10 % 10);
        out[n + 3] = static_cast<char>('0' + reading.millis % 10);
        return n + 4;
    }
    char area[32];
    const int w = std::snprintf(area, sizeof area, "%s.%03d", std::string(cache.hms, cache.len).c_str(),
                                static_cast<int>(reading.millis));
    const std::uint32_t len = w < 0 ? 0 : static_cast<std::uint32_t>(w) < 31u ? static_cast<std::uint32_t>(w) : 31u;
    std::memcpy(out, area, len);
    return len;
}

std::uint32_t current_stamp(char* out) {
    if (t_stamp_text != nullptr) {
        const std::uint32_t len = t_stamp_len < 32 ? t_stamp_len : 32;
        std::memcpy(out, t_stamp_text, len);
        return len;
    }
    if (t_time != nullptr) return format_stamp(*t_time, out);
    using namespace std::chrono;
    return format_stamp(reading_of(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count()), out);
}

TimeReading reading_of(std::int64_t milliseconds) {
    std::int64_t seconds = milliseconds / 1000, millis = milliseconds % 1000;
    if (millis < 0) {
        millis += 1000;
        seconds -= 1;
    }
    return {seconds, static_cast<std::uint16_t>(millis)};
}

}  // namespace rizorod::detail
