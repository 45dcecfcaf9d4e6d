// SPDX-License-Identifier: Apache-2.0
#include "stats.h"

#include <cstdio>

#include <RizOrodOzido/json.h>

namespace rizorod::tool {

std::string stamp_text(const std::optional<Timestamp>& stamp) {
    if (!stamp) return "-";
    return stamp->year ? stamp->date_text() + " " + stamp->time_of_day() : stamp->time_of_day();
}

namespace {

std::string code_text(std::uint16_t code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", unsigned{code});
    return text;
}

}  // namespace

void Stats::add(std::size_t input, const Entry& entry, bool ok) {
    Row& row = rows_[{entry.iface, entry.code}];
    ++row.entries;
    if (!ok) ++row.failed;
    if (entry.stamp) {
        const Position at{input, entry.line};
        if (!row.first || at < row.first->first) row.first = {at, *entry.stamp};
        if (!row.last || at > row.last->first) row.last = {at, *entry.stamp};
    }
}

void Stats::merge(const Stats& other) {
    for (const auto& [key, theirs] : other.rows_) {
        Row& row = rows_[key];
        row.entries += theirs.entries;
        row.failed += theirs.failed;
        if (theirs.first && (!row.first || theirs.first->first < row.first->first)) row.first = theirs.first;
        if (theirs.last && (!row.last || theirs.last->first > row.last->first)) row.last = theirs.last;
    }
    unreadable_ += other.unreadable_;
}

void Stats::write_text(std::string& out) const {
    char line[256];
    std::snprintf(line, sizeof line, "%-10s%-8s%-45s%10s%8s  %-24s%s\n", "interface", "code", "name", "entries",
                  "failed", "first", "last");
    out += line;
    std::size_t entries = 0, failed = 0;
    for (const auto& [key, row] : rows_) {
        const auto prim = find_primitive(key.first, key.second);
        std::snprintf(line, sizeof line, "%-10s%-8s%-45s%10zu%8zu  %-24s%s\n", interface_name(key.first),
                      code_text(key.second).c_str(), prim ? prim->name : "(no such primitive)", row.entries,
                      row.failed, row.first ? stamp_text(row.first->second).c_str() : "-",
                      row.last ? stamp_text(row.last->second).c_str() : "-");
        out += line;
        entries += row.entries;
        failed += row.failed;
    }
    std::snprintf(line, sizeof line, "%-63s%10zu%8zu\n", "all entries", entries, failed);
    out += line;
    std::snprintf(line, sizeof line, "%-63s%10zu\n", "unreadable lines", unreadable_);
    out += line;
}

void Stats::write_json(std::string& out) const {
    std::size_t entries = 0, failed = 0;
    for (const auto& [key, row] : rows_) {
        const auto prim = find_primitive(key.first, key.second);
        json_object(out);
        out += ",\"interface\":";
        json_string(out, interface_name(key.first));
        out += ",\"code\":";
        json_number(out, key.second);
        out += ",\"name\":";
        if (prim) json_string(out, prim->name);
        else out += "null";
        out += ",\"entries\":";
        json_number(out, row.entries);
        out += ",\"failed\":";
        json_number(out, row.failed);
        out += ",\"first\":";
        if (row.first) json_string(out, stamp_text(row.first->second));
        else out += "null";
        out += ",\"last\":";
        if (row.last) json_string(out, stamp_text(row.last->second));
        else out += "null";
        out += "}\n";
        entries += row.entries;
        failed += row.failed;
    }
    json_object(out);
    out += ",\"total\":true,\"entries\":";
    json_number(out, entries);
    out += ",\"failed\":";
    json_number(out, failed);
    out += ",\"unreadable\":";
    json_number(out, unreadable_);
    out += "}\n";
}

}  // namespace rizorod::tool
