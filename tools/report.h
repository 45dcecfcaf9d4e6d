// SPDX-License-Identifier: Apache-2.0
// `rizorod report`: one self-contained HTML file about a capture: a summary, the entries per
// second per interface, message sequence charts (the whole session and each connection) with
// the pairs of tools/pairs.h linked, and the latencies per kind of pair. The page is
// tools/report.html, carried by the tool (cmake/embed.cmake), with the report's data in it as
// JSON; its script draws the charts. docs/PAIRS.md says what it shows and how it stays small.
#ifndef RIZORODOZIDO_TOOLS_REPORT_H
#define RIZORODOZIDO_TOOLS_REPORT_H

#include <cstddef>
#include <cstdint>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pairs.h"
#include "pipeline.h"
#include "select.h"

namespace rizorod::tool {

// How much the report draws and lists; the rest is counted.
struct ReportLimits {
    std::size_t session_arrows = 1000;    // arrows of the whole session's chart
    std::size_t connection_arrows = 300;  // arrows of each connection's chart
    std::size_t connections = 24;         // connections with a chart of their own
    std::size_t text_bytes = 4096;        // of each arrow's decoded text
    std::size_t text_budget = 6u << 20;   // of all decoded texts together
    std::size_t listed = 200;             // unanswered requests, failures
    std::size_t timeline_bins = 600;
};

// Entries counted per second of time, in bins that widen (1, 2, 4 ... seconds) to stay few.
class Timeline {
public:
    void add(std::int64_t second, unsigned iface);
    bool empty() const { return bins_.empty(); }
    // Every bin from the first to the last, at most `most` of them: the first second, the
    // seconds per bin and the counts per interface.
    struct Bins {
        std::int64_t start = 0, width = 1;
        std::vector<std::array<std::uint32_t, 4>> counts;
    };
    Bins bins(std::size_t most) const;

private:
    static constexpr std::size_t kMost = 4096;
    std::int64_t width_ = 1;
    std::map<std::int64_t, std::array<std::uint32_t, 4>> bins_;  // by first second / width
};

class ReportHandler final : public Handler {
public:
    explicit ReportHandler(const Selection& selection, const ReportLimits& limits = {});
    void entry(const Entry& entry, const InputInfo& input, ChunkOut& out) override;
    void problem(const Problem& problem, const InputInfo& input, ChunkOut& out) override;
    // The whole page.
    std::string html(const std::string& title, std::string_view version);

private:
    struct Arrow {
        std::uint64_t ordinal = 0;
        std::uint32_t input = 0;
        std::size_t line = 0;
        std::uint8_t iface = 0;
        std::uint8_t flags = 0;
        const char* name = nullptr;
        std::string time;
        std::int64_t partner = -1;  // the ordinal of the other entry of its pair, and its place
        std::uint32_t partner_input = 0;
        std::size_t partner_line = 0;
        std::optional<std::int64_t> latency;
        int kind = -1;
        int text = -1;
    };
    struct Chart {
        std::string title;
        std::vector<std::uint32_t> arrows;
        std::size_t total = 0;
    };
    using Waiting = std::vector<std::pair<int, const Place*>>;  // as Matcher::waiting gives them

    void note_input(const InputInfo& input);
    void failure(const InputInfo& input, std::size_t line, const std::string& message);
    std::uint32_t connection_of(const Facts& facts);

    // An entry taken in, step by step: its stamp counted in the timelines (its time as the
    // pairing takes it);
    When note_time(const std::optional<Timestamp>& stamp, unsigned iface);
    // its arrow's flags, a failed status counted by primitive;
    std::uint8_t flags_of(const CodeRule* rule, const Facts& facts, const Matcher::Step& step, unsigned iface);
    // counted in its charts and drawn as an arrow in those with room (the arrow's index, or -1);
    std::int64_t draw(const Entry& entry, const InputInfo& input, const CodeRule* rule, std::uint64_t ordinal,
                      std::uint8_t flags, std::uint32_t connection);
    // its decoded text, cut to text_bytes, kept while the budget lasts (its index, or -1);
    int keep_text(const Entry& entry);
    // the pair it ends: the latency counted, and each arrow of the two that is drawn pointing at
    // the other.
    void link(const Matcher::Step& step, std::uint64_t ordinal, const InputInfo& input, std::size_t line,
              std::int64_t drawn);

    // The page's data, one member of it after the other (report.html's script reads them).
    void data_json(std::string& out, const std::string& title, std::string_view version);
    bool by_instant() const;      // every stamp has a date: times are instants, not times of day
    std::size_t charted() const;  // connections with a chart of their own
    void kind_cells(std::string& out, int kind) const;  // a kind of pair's interface, then its name
    void summary_json(std::string& out, std::size_t unanswered) const;
    void statuses_json(std::string& out) const;
    void unanswered_json(std::string& out, const Waiting& waiting) const;
    void unanswered_kinds_json(std::string& out, const Waiting& waiting) const;
    void timeline_json(std::string& out) const;
    void kinds_json(std::string& out) const;
    void arrows_json(std::string& out) const;
    void charts_json(std::string& out) const;
    void chart_json(std::string& out, const Chart& chart, const std::string& id) const;
    void limits_json(std::string& out) const;

    const Selection& selection_;
    ReportLimits limits_;
    const Rules& rules_;
    Decoder decoder_;
    Matcher matcher_;
    Latencies latencies_;
    std::vector<std::string> inputs_;
    std::uint64_t ordinal_ = 0;

    // The summary.
    std::array<std::size_t, 4> per_interface_{};
    std::size_t failed_ = 0, unreadable_ = 0, unstamped_ = 0, pairs_ = 0, unmatched_ = 0;
    std::vector<std::string> failures_;
    std::map<std::pair<unsigned, std::string>, std::pair<const char*, std::size_t>> statuses_;
    std::optional<Timestamp> first_, last_;
    bool all_dated_ = true;
    std::int64_t day_ = 0, last_time_of_day_ = -1;
    std::optional<std::pair<std::int64_t, std::int64_t>> dated_span_, clock_span_;
    Timeline dated_, clock_;  // by instant; by time of day with midnights counted

    // The charts: connections by address, and the handles, channels and multiplexers learnt
    // from entries that carry an address too.
    std::vector<Arrow> arrows_;
    std::unordered_map<std::uint64_t, std::uint32_t> arrow_of_;  // by ordinal
    std::vector<std::string> texts_;
    std::size_t text_bytes_ = 0, texts_left_out_ = 0;
    Chart session_;
    std::vector<Chart> connections_;  // index 0: none
    std::unordered_map<std::uint64_t, std::uint32_t> connection_by_key_;
};

}  // namespace rizorod::tool

#endif
