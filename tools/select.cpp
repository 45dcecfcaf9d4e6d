// SPDX-License-Identifier: Apache-2.0
#include "select.h"

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

// Compares the entry's stamp with a bound: -1 before it, 0 within, 1 after. Without what the
// bound needs (a stamp, a date for a dated bound) there is no answer.
std::optional<int> compare(const Entry& entry, const TimeBound& bound) {
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

// Looks for the field conditions in what a walk tells.
class Matcher final : public FieldSink {
public:
    explicit Matcher(const std::vector<FieldMatch>& where) : where_(where), met_(where.size(), false) {}
    bool all() const {
        for (bool m : met_)
            if (!m) return false;
        return true;
    }
    void value(const char* label, std::uint32_t value) override {
        check(label != nullptr ? label : lists_.empty() ? "" : lists_.back(), &value, nullptr, 0);
    }
    void begin_record(const char*, const char*) override { lists_.push_back(""); }
    void end_record() override { lists_.pop_back(); }
    void begin_list(const char* label) override { lists_.push_back(label); }
    void end_list() override { lists_.pop_back(); }
    void bytes(const char* label, const std::uint8_t* data, std::size_t size, bool name) override {
        if (name) check(label, nullptr, data, size);
    }
    void unknown_custom() override {}

private:
    void check(const char* label, const std::uint32_t* value, const std::uint8_t* text, std::size_t size) {
        for (std::size_t i = 0; i < where_.size(); ++i) {
            const FieldMatch& w = where_[i];
            if (met_[i] || w.label != label) continue;
            if (value != nullptr) met_[i] = w.value && *w.value == *value;
            else met_[i] = !w.value && w.text.size() == size && std::memcmp(w.text.data(), text, size) == 0;
        }
    }
    const std::vector<FieldMatch>& where_;
    std::vector<bool> met_;
    std::vector<const char*> lists_;
};

}  // namespace

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
    if (since) {
        const auto c = compare(entry, *since);
        if (!c || *c < 0) return false;
    }
    if (until) {
        const auto c = compare(entry, *until);
        if (!c || *c > 0) return false;
    }
    return true;
}

bool Selection::fields_match(const Entry& entry, Decoder& decoder) const {
    Matcher matcher(where);
    decoder.walk(entry, matcher);
    return matcher.all();
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

std::optional<std::string> parse_field_match(const std::string& text, FieldMatch& out) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        return "expected LABEL=VALUE (a field's name, then a number or a name's text), found \"" + text + "\"";
    out = {};
    out.label = text.substr(0, eq);
    const std::string value = text.substr(eq + 1);
    const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    const std::string digits_part = hex ? value.substr(2) : value;
    unsigned long long n = 0;
    bool number = !digits_part.empty() && digits_part.size() <= (hex ? 8u : 10u);
    for (char c : digits_part) {
        const int v = c >= '0' && c <= '9' ? c - '0'
                      : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                    : -1;
        if (v < 0) number = false;
        n = n * (hex ? 16 : 10) + static_cast<unsigned>(v < 0 ? 0 : v);
    }
    if (number && n <= 0xffffffffull) out.value = static_cast<std::uint32_t>(n);
    else out.text = value;
    return std::nullopt;
}

}  // namespace rizorod::tool
