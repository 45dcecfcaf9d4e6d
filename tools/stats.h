// SPDX-License-Identifier: Apache-2.0
// `rizorod stats`: per interface and primitive, how many entries, the first and the last stamp,
// and how many failed.
#ifndef RIZORODOZIDO_TOOLS_STATS_H
#define RIZORODOZIDO_TOOLS_STATS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include <RizOrodOzido/capture.h>

namespace rizorod::tool {

// "YYYY-MM-DD HH:MM:SS.mmm", without the date when the stamp has none; "-" for no stamp: how
// stats, pairs and the report show an instant.
std::string stamp_text(const std::optional<Timestamp>& stamp);

// Where an entry stands in the inputs: input number, then line.
using Position = std::pair<std::size_t, std::size_t>;

class Stats {
public:
    // An entry that was read; `ok` when it decoded.
    void add(std::size_t input, const Entry& entry, bool ok);
    // A line that could not be read as an entry.
    void unreadable() { ++unreadable_; }
    // Adds another worker's counts.
    void merge(const Stats& other);
    // A table: interface, code, name, entries, failed, first and last stamp; then the totals.
    void write_text(std::string& out) const;
    // One JSON object per primitive (JSON Lines), then one with the totals.
    void write_json(std::string& out) const;

private:
    struct Row {
        std::size_t entries = 0, failed = 0;
        std::optional<std::pair<Position, Timestamp>> first, last;
    };
    // By interface and code.
    std::map<std::pair<Interface, std::uint16_t>, Row> rows_;
    std::size_t unreadable_ = 0;
};

}  // namespace rizorod::tool

#endif
