// SPDX-License-Identifier: Apache-2.0
#include "capture/timestamp.h"

#include <cstring>

#include <RizOrodOzido/rows/layout.h>

namespace rizorod {
namespace detail {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Two decimal digits at `p`, within [0, most].
bool two_digits(std::string_view s, std::size_t p, unsigned most, unsigned& out) {
    if (p + 2 > s.size() || !is_digit(s[p]) || !is_digit(s[p + 1])) return false;
    out = static_cast<unsigned>((s[p] - '0') * 10 + (s[p + 1] - '0'));
    return out <= most;
}

void two(char* at, unsigned v) {
    at[0] = static_cast<char>('0' + v / 10);
    at[1] = static_cast<char>('0' + v % 10);
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t days_from_civil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t{era} * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int32_t kHalfDay = 12 * 3600 * 1000;

std::int32_t millis_of_day(const Timestamp& t) {
    return ((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.millis;
}

// The day after a date written as year * 10000 + month * 100 + day.
std::uint32_t next_day(std::uint32_t date) {
    unsigned y = date / 10000, m = date / 100 % 100, d = date % 100;
    if (d < rizorod_days_in_month(y, m)) return date + 1;
    if (m < 12) return y * 10000 + (m + 1) * 100 + 1;
    return (y + 1) * 10000 + 101;
}

}  // namespace

bool read_time_of_day(std::string_view s, Timestamp& t) {
    unsigned h, m, sec;
    if (s.size() != 12 || s[2] != ':' || s[5] != ':' || s[8] != '.') return false;
    if (!two_digits(s, 0, 23, h) || !two_digits(s, 3, 59, m) || !two_digits(s, 6, 60, sec)) return false;
    if (!is_digit(s[9]) || !is_digit(s[10]) || !is_digit(s[11])) return false;
    t.hour = static_cast<std::uint8_t>(h);
    t.minute = static_cast<std::uint8_t>(m);
    t.second = static_cast<std::uint8_t>(sec);
    t.millis = static_cast<std::uint16_t>((s[9] - '0') * 100 + (s[10] - '0') * 10 + (s[11] - '0'));
    return true;
}

bool read_date(std::string_view s, Timestamp& t) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    unsigned year = 0;
    for (int i = 0; i < 4; ++i) {
        if (!is_digit(s[i])) return false;
        year = year * 10 + static_cast<unsigned>(s[i] - '0');
    }
    unsigned month, day;
    if (!two_digits(s, 5, 12, month) || !two_digits(s, 8, 31, day) || month == 0 || day == 0)
        return false;
    if (day > rizorod_days_in_month(year, month)) return false;
    t.year = static_cast<std::uint16_t>(year);
    t.month = static_cast<std::uint8_t>(month);
    t.day = static_cast<std::uint8_t>(day);
    return true;
}

void write_time_of_day(const Timestamp& t, char* out) {
    if (t.hour > 23 || t.minute > 59 || t.second > 60 || t.millis > 999) {
        std::memcpy(out, "??:??:??.???", kTimeOfDayLength);
        return;
    }
    two(out, t.hour);
    out[2] = ':';
    two(out + 3, t.minute);
    out[5] = ':';
    two(out + 6, t.second);
    out[8] = '.';
    out[9] = static_cast<char>('0' + t.millis / 100);
    two(out + 10, t.millis % 100u);
}

}  // namespace detail

std::string Timestamp::time_of_day() const {
    char text[detail::kTimeOfDayLength];
    detail::write_time_of_day(*this, text);
    return std::string(text, detail::kTimeOfDayLength);
}

std::string Timestamp::date_text() const {
    if (!year) return {};
    char text[10];
    const unsigned y = *year % 10000;
    detail::two(text, y / 100);
    detail::two(text + 2, y % 100);
    text[4] = '-';
    detail::two(text + 5, month % 100u);
    text[7] = '-';
    detail::two(text + 8, day % 100u);
    return std::string(text, sizeof text);
}

std::optional<std::int64_t> Timestamp::unix_ms() const {
    if (!year) return std::nullopt;
    const std::int64_t days = detail::days_from_civil(*year, month, day);
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return seconds * 1000 + millis;
}

CaptureClock::CaptureClock(const Timestamp& start)
    : date_(start.year ? *start.year * 10000u + start.month * 100u + start.day : 0) {}

Timestamp CaptureClock::resolve(const Timestamp& given) {
    const std::int32_t ms = detail::millis_of_day(given);
    Timestamp out = given;
    if (given.year) {
        date_ = *given.year * 10000u + given.month * 100u + given.day;
    } else {
        if (last_ms_ >= 0 && ms < last_ms_ - detail::kHalfDay && date_ != 0) date_ = detail::next_day(date_);
        if (date_ != 0) {
            out.year = static_cast<std::uint16_t>(date_ / 10000);
            out.month = static_cast<std::uint8_t>(date_ / 100 % 100);
            out.day = static_cast<std::uint8_t>(date_ % 100);
        }
    }
    last_ms_ = ms;
    return out;
}

std::optional<Timestamp> parse_date(std::string_view text) {
    Timestamp t;
    if (!detail::read_date(text, t)) return std::nullopt;
    return t;
}

}  // namespace rizorod
