// SPDX-License-Identifier: Apache-2.0
#include "select.h"

#include "filter.h"

#include <fnmatch.h>

#include <cstring>

#include <RizOrodOzido/fields.h>

namespace rizorod::tool {
namespace {

bool digits(const std::string& s, std::size_t at, std::size_t n, unsigned& out) {
    if (at + n > s.size()) return false;
    out = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + static_cast<unsigned>(s[i] - '0');
    }
    return true;
}

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.mmm": the first and last millisecond it stands for.
bool parse_time(const std::string& s, std::uint32_t& first, std::uint32_t& last) {
    unsigned h, m, sec = 0, ms = 0;
    if (!digits(s, 0, 2, h) || s.size() < 5 || s[2] != ':' || !digits(s, 3, 2, m) || h > 23 || m > 59)
        return false;
    std::uint32_t span = 60000;
    if (s.size() > 5) {
        if (s[5] != ':' || !digits(s, 6, 2, sec) || sec > 60) return false;
        span = 1000;
        if (s.size() > 8) {
            if (s.size() != 12 || s[8] != '.' || !digits(s, 9, 3, ms)) return false;
            span = 1;
        }
    }
    first = ((h * 60 + m) * 60 + sec) * 1000 + ms;
    last = first + span - 1;
    return true;
}

std::uint32_t millis_of(const Timestamp& t) {
    return ((t.hour * 60u + t.minute) * 60u + t.second) * 1000u + t.millis;
}

}  // namespace

std::optional<int> compare_time(const Entry& entry, const TimeBound& bound) {
    if (!entry.stamp) return std::nullopt;
    const Timestamp& t = *entry.stamp;
    if (bound.date) {
        if (!t.year) return std::nullopt;
        const std::uint32_t date = *t.year * 10000u + t.month * 100u + t.day;
        if (date != *bound.date) return date < *bound.date ? -1 : 1;
    }
    if (!bound.first_ms) return 0;
    const std::uint32_t ms = millis_of(t);
    return ms < *bound.first_ms ? -1 : ms > *bound.last_ms ? 1 : 0;
}

bool Selection::within_times(const Entry& entry) const {
    const auto after = since ? compare_time(entry, *since) : std::optional<int>(0);
    const auto before = until ? compare_time(entry, *until) : std::optional<int>(0);
    if (!after || !before) return false;
    // Two times of day with the later one first: the night between them.
    if (since && until && !since->date && !until->date && *since->first_ms > *until->last_ms)
        return *after >= 0 || *before <= 0;
    return *after >= 0 && *before <= 0;
}

bool Selection::header_matches(const Entry& entry) const {
    if (!interfaces.empty()) {
        bool any = false;
        for (Interface i : interfaces) any = any || i == entry.iface;
        if (!any) return false;
    }
    if (!codes.empty()) {
        bool any = false;
        for (std::uint16_t c : codes) any = any || c == entry.code;
        if (!any) return false;
    }
    if (!names.empty()) {
        const auto prim = find_primitive(entry.iface, entry.code);
        bool any = false;
        for (const std::string& glob : names) any = any || (prim && fnmatch(glob.c_str(), prim->name, 0) == 0);
        if (!any) return false;
    }
    return within_times(entry);
}

bool Selection::fields_match(const Entry& entry, Decoder& decoder) const {
    return !where || where->matches(entry, decoder);
}

bool Selection::uses_dates() const {
    return (since && since->date) || (until && until->date) || (where && where->uses_dates());
}

std::optional<std::string> parse_time_bound(const std::string& text, TimeBound& out) {
    out = {};
    std::string time = text;
    if (text.size() >= 10 && text[4] == '-' && text[7] == '-') {
        const auto date = parse_date(std::string_view(text).substr(0, 10));
        if (!date) return "expected a date YYYY-MM-DD, found \"" + text.substr(0, 10) + "\"";
        out.date = *date->year * 10000u + date->month * 100u + date->day;
        if (text.size() == 10) return std::nullopt;
        if (text[10] != 'T' && text[10] != ' ')
            return "expected 'T' or a blank between the date and the time, found \"" + text + "\"";
        time = text.substr(11);
    }
    std::uint32_t first, last;
    if (!parse_time(time, first, last))
        return "expected a time HH:MM, HH:MM:SS or HH:MM:SS.mmm, a date YYYY-MM-DD, or both, found \"" +
               text + "\"";
    out.first_ms = first;
    out.last_ms = last;
    return std::nullopt;
}

std::optional<std::uint16_t> parse_code_option(const std::string& text) {
    if (const auto code = parse_type_code(text)) return code;
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 0xffff) return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

}  // namespace rizorod::tool
