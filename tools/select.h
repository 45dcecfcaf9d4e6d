// SPDX-License-Identifier: Apache-2.0
// Which entries `rizorod decode` and `rizorod export` show: by interface, primitive name (glob),
// code, time range and field value. Every option of one kind widens the choice (any of them);
// options of different kinds narrow it (all of them).
#ifndef RIZORODOZIDO_TOOLS_SELECT_H
#define RIZORODOZIDO_TOOLS_SELECT_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>

namespace rizorod::tool {

// One end of a time range: a time of day, a date, or both, with the precision it was given in.
// An entry is after a lower bound from the bound's first millisecond on, and before an upper
// bound up to the bound's last millisecond (so --until 10:00 takes in 10:00:59.999, and --until
// 2024-05-14 the whole day).
struct TimeBound {
    std::optional<std::uint32_t> date;  // year * 10000 + month * 100 + day
    std::optional<std::uint32_t> first_ms, last_ms;  // milliseconds of the day, when a time is given
};

class Filter;

struct Selection {
    std::vector<Interface> interfaces;
    std::vector<std::string> names;  // globs: * any characters, ? one, [..] a class
    std::vector<std::uint16_t> codes;
    std::optional<TimeBound> since, until;
    std::shared_ptr<const Filter> where;  // --where, all of them; null: none

    bool empty() const {
        return interfaces.empty() && names.empty() && codes.empty() && !since && !until && !where;
    }
    // Whether a condition needs the entries' dates.
    bool uses_dates() const;
    // Whether the entry's stamp lies between --since and --until: from the first millisecond of
    // --since to the last of --until; two times of day with --since later than --until select
    // the night between them (--since 23:00 --until 01:00).
    bool within_times(const Entry& entry) const;
    // Whether the entry passes every condition but the field conditions.
    bool header_matches(const Entry& entry) const;
    // Whether the entry passes --where: walks the entry, so it throws DecodeError as decoding it
    // would.
    bool fields_match(const Entry& entry, Decoder& decoder) const;
};

// The entry's stamp against a bound: -1 before it, 0 within, 1 after; nothing without what the
// bound needs (a stamp, and a date for a bound with a date).
std::optional<int> compare_time(const Entry& entry, const TimeBound& bound);

// Option parsers: the value, or an error message that says what was expected.
std::optional<std::string> parse_time_bound(const std::string& text, TimeBound& out);
// A type code as the tool's options take it: decimal, or 0x and up to four hexadecimal digits.
std::optional<std::uint16_t> parse_code_option(const std::string& text);

}  // namespace rizorod::tool

#endif
