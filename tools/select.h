// SPDX-License-Identifier: Apache-2.0
// Which entries `rizorod decode` and `rizorod export` show: by interface, primitive name (glob),
// code, time range and field value. Every option of one kind widens the choice (any of them);
// options of different kinds narrow it (all of them).
#ifndef RIZORODOZIDO_TOOLS_SELECT_H
#define RIZORODOZIDO_TOOLS_SELECT_H

#include <cstdint>
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

// A field condition: every field (at any depth) or element labelled `label` whose value is
// `value`; for a name, its text.
struct FieldMatch {
    std::string label;
    std::optional<std::uint32_t> value;
    std::string text;
};

struct Selection {
    std::vector<Interface> interfaces;
    std::vector<std::string> names;  // globs: * any characters, ? one, [..] a class
    std::vector<std::uint16_t> codes;
    std::optional<TimeBound> since, until;
    std::vector<FieldMatch> where;

    bool empty() const {
        return interfaces.empty() && names.empty() && codes.empty() && !since && !until && where.empty();
    }
    // Whether the entry passes every condition but the field conditions.
    bool header_matches(const Entry& entry) const;
    // Whether the entry's fields pass the field conditions: walks the entry, so it throws
    // DecodeError as decoding it would.
    bool fields_match(const Entry& entry, Decoder& decoder) const;
};

// Option parsers: the value, or an error message that says what was expected.
std::optional<std::string> parse_time_bound(const std::string& text, TimeBound& out);
std::optional<std::string> parse_field_match(const std::string& text, FieldMatch& out);

}  // namespace rizorod::tool

#endif
