// SPDX-License-Identifier: Apache-2.0
#include "report.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include <RizOrodOzido/json.h>

namespace rizorod::tool {
namespace {

// The page, tools/report.html, as the string kReportPage (made at build time).
#include "report_html.inc"

constexpr std::string_view kPage{kReportPage, sizeof kReportPage - 1};
constexpr std::string_view kDataMark = "@REPORT_DATA@";
static_assert(kPage.find(kDataMark) != std::string_view::npos, "report.html has no place for the data");

// Arrow flags, as the page's script reads them.
enum : std::uint8_t {
    kUp = 1,
    kFailedStatus = 2,
    kUnanswered = 4,
    kUnmatched = 8,
    kWaits = 16,
    kUnknown = 32,
};

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return q * b > a ? q - 1 : q;
}

void json_signed(std::string& out, std::int64_t v) { out += std::to_string(v); }

void json_optional(std::string& out, const std::optional<std::int64_t>& v) {
    if (v) json_signed(out, *v);
    else out += "null";
}

// The start of an object's next member: ,"name":
void json_member(std::string& out, const char* name) {
    out += ",\"";
    out += name;
    out += "\":";
}

// An array of the items, each written by `write`.
template <class Items, class Write>
void json_list(std::string& out, const Items& items, Write write) {
    out += '[';
    bool first = true;
    for (const auto& item : items) {
        if (!first) out += ',';
        first = false;
        write(item);
    }
    out += ']';
}

void json_strings(std::string& out, const std::vector<std::string>& list) {
    json_list(out, list, [&](const std::string& s) { json_string(out, s); });
}

// A span of time [first, last] taking in `us`.
void widen(std::optional<std::pair<std::int64_t, std::int64_t>>& span, std::int64_t us) {
    if (!span) span.emplace(us, us);
    span->first = std::min(span->first, us);
    span->second = std::max(span->second, us);
}

// The bins of a latency histogram: below 1 ms, then from 1, 2, 5, 10, 20, 50 ... ms up to past
// the largest; each [low, high) with its count (low null for the first).
void histogram_json(std::string& out, const std::vector<std::int64_t>& sorted) {
    out += '[';
    static constexpr std::int64_t kMantissas[] = {1, 2, 5};
    std::int64_t decade = 1000;
    std::optional<std::int64_t> low;
    for (unsigned m = 0; !sorted.empty(); ++m) {
        if (m == 3) {
            m = 0;
            decade *= 10;
        }
        const std::int64_t high = kMantissas[m] * decade;
        const auto from = low ? std::lower_bound(sorted.begin(), sorted.end(), *low) : sorted.begin();
        const auto to = std::lower_bound(sorted.begin(), sorted.end(), high);
        if (low) out += ',';
        out += '[';
        json_optional(out, low);
        out += ',';
        json_signed(out, high);
        out += ',';
        json_number(out, static_cast<std::uint64_t>(to - from));
        out += ']';
        if (high > sorted.back()) break;
        low = high;
    }
    out += ']';
}

}  // namespace

// ---- Timeline

void Timeline::add(std::int64_t second, unsigned iface) {
    ++bins_[floor_div(second, width_)][iface];
    while (bins_.size() > kMost) {
        std::map<std::int64_t, std::array<std::uint32_t, 4>> wider;
        for (const auto& [at, counts] : bins_) {
            auto& w = wider[floor_div(at, 2)];
            for (unsigned i = 0; i < 4; ++i) w[i] += counts[i];
        }
        bins_.swap(wider);
        width_ *= 2;
    }
}

Timeline::Bins Timeline::bins(std::size_t most) const {
    Bins out;
    if (bins_.empty()) return out;
    std::int64_t first = bins_.begin()->first, last = bins_.rbegin()->first;
    std::int64_t merge = 1;
    while (floor_div(last, merge) - floor_div(first, merge) + 1 > static_cast<std::int64_t>(most)) merge *= 2;
    first = floor_div(first, merge);
    last = floor_div(last, merge);
    out.width = width_ * merge;
    out.start = first * out.width;
    out.counts.assign(static_cast<std::size_t>(last - first + 1), {});
    for (const auto& [at, counts] : bins_) {
        auto& c = out.counts[static_cast<std::size_t>(floor_div(at, merge) - first)];
        for (unsigned i = 0; i < 4; ++i) c[i] += counts[i];
    }
    return out;
}

// ---- The handler

ReportHandler::ReportHandler(const Selection& selection, const ReportLimits& limits)
    : selection_(selection), limits_(limits), rules_(Rules::get()) {
    connections_.emplace_back();  // 0: no connection
    session_.title = "whole session";
}

void ReportHandler::note_input(const InputInfo& input) {
    if (inputs_.size() <= input.index) inputs_.resize(input.index + 1);
    if (inputs_[input.index].empty()) inputs_[input.index] = input.name;
}

void ReportHandler::failure(const InputInfo& input, std::size_t line, const std::string& message) {
    if (failures_.size() < limits_.listed) failures_.push_back(input.name + ":" + std::to_string(line) + ": " + message);
}

void ReportHandler::problem(const Problem& problem, const InputInfo& input, ChunkOut& out) {
    note_input(input);
    ++unreadable_;
    failure(input, problem.line, problem.message);
    Handler::problem(problem, input, out);
}

std::uint32_t ReportHandler::connection_of(const Facts& facts) {
    auto key = [](unsigned id, std::uint64_t v) { return std::uint64_t{id} << 56 | v; };
    auto has = [&](unsigned id) { return (facts.present >> id & 1u) != 0; };
    auto open = [&](std::uint64_t k, auto title) {
        const auto [it, fresh] = connection_by_key_.try_emplace(k, static_cast<std::uint32_t>(connections_.size()));
        if (fresh) connections_.push_back({title(), {}, 0});
        return it->second;
    };
    static constexpr unsigned kLinks[] = {kHandle, kCid, kMuxId};
    if (has(kBdAddr)) {
        const std::uint64_t addr = facts.values[kBdAddr];
        const std::uint32_t c = open(key(kBdAddr, addr), [&] { return address_text(addr); });
        for (unsigned id : kLinks)
            if (has(id)) connection_by_key_[key(id, facts.values[id])] = c;
        return c;
    }
    for (unsigned id : kLinks) {
        if (!has(id)) continue;
        const auto it = connection_by_key_.find(key(id, facts.values[id]));
        if (it != connection_by_key_.end()) return it->second;
    }
    if (has(kHandle)) {
        return open(key(kHandle, facts.values[kHandle]), [&] {
            char title[32];
            std::snprintf(title, sizeof title, "handle 0x%04llx", static_cast<unsigned long long>(facts.values[kHandle]));
            return std::string(title);
        });
    }
    return 0;
}

void ReportHandler::entry(const Entry& entry, const InputInfo& input, ChunkOut& out) {
    note_input(input);
    const CodeRule* rule = rules_.find(entry.iface, entry.code);
    Facts facts;
    try {
        if (!take_entry(selection_, entry, decoder_, rule, facts)) return;
    } catch (const DecodeError& e) {
        ++failed_;
        failure(input, entry.line, e.what());
        out.message(input.name + ":" + std::to_string(entry.line) + ": " + e.what(), kEntryFailed);
        return;
    }
    const unsigned iface = static_cast<unsigned>(entry.iface);
    ++per_interface_[iface];
    const std::uint64_t ordinal = ordinal_++;
    const When when = note_time(entry.stamp, iface);

    // The pairing, and the connection: the entry's own, or its request's.
    Matcher::Step step;
    std::uint32_t connection = 0;
    if (rule != nullptr) {
        connection = connection_of(facts);
        const Place place{ordinal, static_cast<std::uint32_t>(input.index), connection, entry.line, entry.stamp, when};
        step = matcher_.add(*rule, facts, place);
        if (connection == 0 && step.kind) connection = step.request.tag;
    }
    const std::uint8_t flags = flags_of(rule, facts, step, iface);
    const std::int64_t drawn = draw(entry, input, rule, ordinal, flags, connection);
    if (step.kind) link(step, ordinal, input, entry.line, drawn);
    if (step.unmatched) ++unmatched_;
}

// By instant while every stamp has a date, and by time of day with the midnights counted (a
// time of day more than twelve hours before the last one is the next day).
When ReportHandler::note_time(const std::optional<Timestamp>& stamp, unsigned iface) {
    const When when = when_of(stamp);
    if (!stamp) {
        ++unstamped_;
        return when;
    }
    if (!first_) first_ = stamp;
    last_ = stamp;
    if (when.instant_us) {
        dated_.add(floor_div(*when.instant_us, 1'000'000), iface);
        widen(dated_span_, *when.instant_us);
    } else {
        all_dated_ = false;
    }
    const std::int64_t tod = when.day_us;
    if (last_time_of_day_ >= 0 && tod < last_time_of_day_ - kDayUs / 2) ++day_;
    last_time_of_day_ = tod;
    const std::int64_t clock = day_ * kDayUs + tod;
    clock_.add(floor_div(clock, 1'000'000), iface);
    widen(clock_span_, clock);
    return when;
}

std::uint8_t ReportHandler::flags_of(const CodeRule* rule, const Facts& facts, const Matcher::Step& step,
                                     unsigned iface) {
    if (rule == nullptr) return kUnknown;
    std::uint8_t flags = 0;
    if (rule->up) flags |= kUp;
    if (facts.has_outcome && facts.outcome != 0) {
        flags |= kFailedStatus;
        auto& row = statuses_[{iface, rule->record->name}];
        row.first = rule->outcome_label;
        ++row.second;
    }
    if (step.unmatched) flags |= kUnmatched;
    if (step.opened) flags |= kWaits;
    return flags;
}

std::int64_t ReportHandler::draw(const Entry& entry, const InputInfo& input, const CodeRule* rule,
                                 std::uint64_t ordinal, std::uint8_t flags, std::uint32_t connection) {
    ++session_.total;
    const bool in_session = session_.arrows.size() < limits_.session_arrows;
    bool in_connection = false;
    if (connection != 0) {
        Chart& c = connections_[connection];
        ++c.total;
        in_connection = connection <= limits_.connections && c.arrows.size() < limits_.connection_arrows;
    }
    if (!in_session && !in_connection) return -1;
    const auto drawn = static_cast<std::uint32_t>(arrows_.size());
    Arrow a;
    a.ordinal = ordinal;
    a.input = static_cast<std::uint32_t>(input.index);
    a.line = entry.line;
    a.iface = static_cast<std::uint8_t>(entry.iface);
    a.flags = flags;
    a.name = rule != nullptr ? rule->record->name : nullptr;
    a.time = entry.stamp ? entry.stamp->time_of_day() : "-";
    a.text = keep_text(entry);
    arrow_of_[ordinal] = drawn;
    arrows_.push_back(std::move(a));
    if (in_session) session_.arrows.push_back(drawn);
    if (in_connection) connections_[connection].arrows.push_back(drawn);
    return drawn;
}

int ReportHandler::keep_text(const Entry& entry) {
    std::string text;
    try {
        text = decoder_.decode(entry);
    } catch (const DecodeError& e) {
        text = e.what();
    }
    if (text.size() > limits_.text_bytes) {
        const std::size_t cut = text.size() - limits_.text_bytes;
        text.resize(limits_.text_bytes);
        text += "\n... " + std::to_string(cut) + " more bytes: rizorod decode shows them all\n";
    }
    if (text_bytes_ + text.size() > limits_.text_budget) {
        ++texts_left_out_;
        return -1;
    }
    text_bytes_ += text.size();
    texts_.push_back(std::move(text));
    return static_cast<int>(texts_.size() - 1);
}

void ReportHandler::link(const Matcher::Step& step, std::uint64_t ordinal, const InputInfo& input, std::size_t line,
                         std::int64_t drawn) {
    ++pairs_;
    latencies_.add(*step.kind, step.latency);
    auto point = [&](Arrow& a, std::uint64_t partner, std::uint32_t partner_input, std::size_t partner_line) {
        a.partner = static_cast<std::int64_t>(partner);
        a.partner_input = partner_input;
        a.partner_line = partner_line;
        a.latency = step.latency;
        a.kind = *step.kind;
    };
    const auto it = arrow_of_.find(step.request.ordinal);
    if (it != arrow_of_.end()) point(arrows_[it->second], ordinal, static_cast<std::uint32_t>(input.index), line);
    if (drawn >= 0)
        point(arrows_[static_cast<std::size_t>(drawn)], step.request.ordinal, step.request.input, step.request.line);
}

// ---- The page's data

void ReportHandler::data_json(std::string& out, const std::string& title, std::string_view version) {
    const Waiting waiting = matcher_.waiting();
    for (const auto& [kind, place] : waiting) {
        const auto it = arrow_of_.find(place->ordinal);
        if (it != arrow_of_.end()) arrows_[it->second].flags |= kUnanswered;
    }
    out += "{\"title\":";
    json_string(out, title);
    json_member(out, "version");
    json_string(out, version);
    json_member(out, "inputs");
    json_strings(out, inputs_);
    json_member(out, "interfaces");
    out += "[\"dm\",\"l2cap\",\"rfcomm\",\"sdp\"]";
    json_member(out, "summary");
    summary_json(out, waiting.size());
    json_member(out, "failures");
    json_strings(out, failures_);
    json_member(out, "failures_more");
    json_number(out, failed_ + unreadable_ - failures_.size());
    json_member(out, "statuses");
    statuses_json(out);
    json_member(out, "unanswered");
    unanswered_json(out, waiting);
    json_member(out, "unanswered_kinds");
    unanswered_kinds_json(out, waiting);
    json_member(out, "unanswered_more");
    json_number(out, waiting.size() > limits_.listed ? waiting.size() - limits_.listed : 0);
    json_member(out, "timeline");
    timeline_json(out);
    json_member(out, "kinds");
    kinds_json(out);
    json_member(out, "arrows");
    arrows_json(out);
    json_member(out, "texts");
    json_strings(out, texts_);
    json_member(out, "charts");
    charts_json(out);
    json_member(out, "charts_more");
    json_number(out, connections_.size() - 1 - charted());
    json_member(out, "limits");
    limits_json(out);
    out += '}';
}

bool ReportHandler::by_instant() const { return all_dated_ && dated_span_.has_value(); }

std::size_t ReportHandler::charted() const { return std::min(connections_.size() - 1, limits_.connections); }

void ReportHandler::kind_cells(std::string& out, int kind) const {
    const PairKind& k = rules_.kinds()[static_cast<std::size_t>(kind)];
    json_number(out, static_cast<unsigned>(k.iface));
    out += ',';
    json_string(out, k.name());
}

// Counts of the whole capture, and the span of time it covers.
void ReportHandler::summary_json(std::string& out, std::size_t unanswered) const {
    std::size_t entries = 0;
    for (std::size_t n : per_interface_) entries += n;
    const auto& span = by_instant() ? dated_span_ : clock_span_;
    out += "{\"entries\":";
    json_number(out, entries);
    out += ",\"per_interface\":";
    json_list(out, per_interface_, [&](std::size_t n) { json_number(out, n); });
    json_member(out, "failed");
    json_number(out, failed_);
    json_member(out, "unreadable");
    json_number(out, unreadable_);
    json_member(out, "unstamped");
    json_number(out, unstamped_);
    json_member(out, "first");
    json_string(out, stamp_text(first_));
    json_member(out, "last");
    json_string(out, stamp_text(last_));
    json_member(out, "span_us");
    json_optional(out, span ? std::optional<std::int64_t>(span->second - span->first) : std::nullopt);
    json_member(out, "clock");
    json_string(out, by_instant() ? "dated" : "time of day");
    json_member(out, "pairs");
    json_number(out, pairs_);
    json_member(out, "unanswered");
    json_number(out, unanswered);
    json_member(out, "unmatched");
    json_number(out, unmatched_);
    json_member(out, "texts_left_out");
    json_number(out, texts_left_out_);
    out += '}';
}

// The answers with a failed status, by primitive: [interface, primitive, label, count].
void ReportHandler::statuses_json(std::string& out) const {
    json_list(out, statuses_, [&](const auto& status) {
        const auto& [key, row] = status;
        out += '[';
        json_number(out, key.first);
        out += ',';
        json_string(out, key.second);
        out += ',';
        json_string(out, row.first);
        out += ',';
        json_number(out, row.second);
        out += ']';
    });
}

// The first requests still waiting: [input, line, time, interface, kind, ordinal].
void ReportHandler::unanswered_json(std::string& out, const Waiting& waiting) const {
    const std::span<const Waiting::value_type> listed(waiting.data(), std::min(waiting.size(), limits_.listed));
    json_list(out, listed, [&](const auto& request) {
        const auto& [kind, place] = request;
        out += '[';
        json_number(out, place->input);
        out += ',';
        json_number(out, place->line);
        out += ',';
        json_string(out, stamp_text(place->stamp));
        out += ',';
        kind_cells(out, kind);
        out += ',';
        json_number(out, place->ordinal);
        out += ']';
    });
}

// ... and all of them counted by kind: [interface, kind, count, first input, first line].
void ReportHandler::unanswered_kinds_json(std::string& out, const Waiting& waiting) const {
    std::map<int, std::pair<std::size_t, const Place*>> by_kind;
    for (const auto& [kind, place] : waiting) {
        auto& row = by_kind[kind];
        if (row.first++ == 0) row.second = place;
    }
    json_list(out, by_kind, [&](const auto& counted) {
        const auto& [kind, row] = counted;
        out += '[';
        kind_cells(out, kind);
        out += ',';
        json_number(out, row.first);
        out += ',';
        json_number(out, row.second->input);
        out += ',';
        json_number(out, row.second->line);
        out += ']';
    });
}

// Entries per second, per interface; null without stamps.
void ReportHandler::timeline_json(std::string& out) const {
    const Timeline::Bins bins = (by_instant() ? dated_ : clock_).bins(limits_.timeline_bins);
    if (bins.counts.empty()) {
        out += "null";
        return;
    }
    out += "{\"start_s\":";
    json_signed(out, bins.start);
    out += ",\"bin_s\":";
    json_signed(out, bins.width);
    out += ",\"counts\":";
    json_list(out, bins.counts, [&](const std::array<std::uint32_t, 4>& counts) {
        json_list(out, counts, [&](std::uint32_t n) { json_number(out, n); });
    });
    out += '}';
}

// Latencies per kind of pair: the percentiles and the histogram's bins.
void ReportHandler::kinds_json(std::string& out) const {
    json_list(out, latencies_.kinds(), [&](int k) {
        const Latencies::Summary s = latencies_.summary(k);
        const PairKind& kind = rules_.kinds()[static_cast<std::size_t>(k)];
        out += "{\"interface\":";
        json_number(out, static_cast<unsigned>(kind.iface));
        out += ",\"name\":";
        json_string(out, kind.name());
        out += ",\"pairs\":";
        json_number(out, s.pairs);
        out += ",\"timed\":";
        json_number(out, s.timed);
        for (const auto& [label, v] : {std::pair{"p50", s.p50}, {"p90", s.p90}, {"p99", s.p99}, {"max", s.max}}) {
            json_member(out, label);
            json_optional(out, s.timed > 0 ? std::optional<std::int64_t>(v) : std::nullopt);
        }
        out += ",\"bins\":";
        histogram_json(out, latencies_.values(k));
        out += '}';
    });
}

// The arrows drawn: [ordinal, interface, name, time, input, line, flags, partner, its input,
// its line, latency, kind, text] (partner -1 and text -1 for none).
void ReportHandler::arrows_json(std::string& out) const {
    json_list(out, arrows_, [&](const Arrow& a) {
        out += '[';
        json_number(out, a.ordinal);
        out += ',';
        json_number(out, a.iface);
        out += ',';
        if (a.name != nullptr) json_string(out, a.name);
        else out += "null";
        out += ',';
        json_string(out, a.time);
        out += ',';
        json_number(out, a.input);
        out += ',';
        json_number(out, a.line);
        out += ',';
        json_number(out, a.flags);
        out += ',';
        json_signed(out, a.partner);
        out += ',';
        json_number(out, a.partner_input);
        out += ',';
        json_number(out, a.partner_line);
        out += ',';
        json_optional(out, a.latency);
        out += ',';
        if (a.kind >= 0) json_string(out, rules_.kinds()[static_cast<std::size_t>(a.kind)].name());
        else out += "null";
        out += ',';
        json_signed(out, a.text);
        out += ']';
    });
}

// The charts: the session's, then the connections' in the order they first appeared.
void ReportHandler::charts_json(std::string& out) const {
    out += '[';
    chart_json(out, session_, "session");
    for (std::size_t i = 1; i <= charted(); ++i) {
        out += ',';
        chart_json(out, connections_[i], "connection-" + std::to_string(i));
    }
    out += ']';
}

// One chart: its id, title, entries counted and the arrows drawn in it.
void ReportHandler::chart_json(std::string& out, const Chart& chart, const std::string& id) const {
    out += "{\"id\":";
    json_string(out, id);
    out += ",\"title\":";
    json_string(out, chart.title);
    out += ",\"total\":";
    json_number(out, chart.total);
    out += ",\"arrows\":";
    json_list(out, chart.arrows, [&](std::uint32_t arrow) { json_number(out, arrow); });
    out += '}';
}

// How much the page draws and lists, for it to say so.
void ReportHandler::limits_json(std::string& out) const {
    out += "{\"session\":";
    json_number(out, limits_.session_arrows);
    out += ",\"connection\":";
    json_number(out, limits_.connection_arrows);
    out += ",\"connections\":";
    json_number(out, limits_.connections);
    out += ",\"listed\":";
    json_number(out, limits_.listed);
    out += '}';
}

std::string ReportHandler::html(const std::string& title, std::string_view version) {
    std::string data;
    data_json(data, title, version);
    const std::size_t mark = kPage.find(kDataMark);
    std::string page;
    page.reserve(kPage.size() + data.size() + data.size() / 16);
    page.append(kPage.substr(0, mark));
    // Inside a script element "</script" would end it: every '<' is written as an escape, which
    // only strings hold.
    for (char c : data) {
        if (c == '<') page += "\\u003c";
        else page += c;
    }
    page.append(kPage.substr(mark + kDataMark.size()));
    return page;
}

}  // namespace rizorod::tool
