// SPDX-License-Identifier: Apache-2.0
#include "report.h"

#include <algorithm>
#include <cstdio>

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

    // Time: by instant while every stamp has a date, and by time of day with the midnights
    // counted (a time of day more than twelve hours before the last one is the next day).
    const When when = when_of(entry.stamp);
    if (entry.stamp) {
        if (!first_) first_ = entry.stamp;
        last_ = entry.stamp;
        auto widen = [](auto& span, std::int64_t us) {
            if (!span) span.emplace(us, us);
            span->first = std::min(span->first, us);
            span->second = std::max(span->second, us);
        };
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
    } else {
        ++unstamped_;
    }

    // The pairing, and the connection: the entry's own, or its request's.
    Matcher::Step step;
    std::uint8_t flags = 0;
    std::uint32_t connection = 0;
    if (rule != nullptr) {
        connection = connection_of(facts);
        const Place place{ordinal, static_cast<std::uint32_t>(input.index), connection, entry.line, entry.stamp, when};
        step = matcher_.add(*rule, facts, place);
        if (connection == 0 && step.kind) connection = step.request.tag;
        if (rule->up) flags |= kUp;
        if (facts.has_outcome && facts.outcome != 0) {
            flags |= kFailedStatus;
            auto& row = statuses_[{iface, rule->record->name}];
            row.first = rule->outcome_label;
            ++row.second;
        }
        if (step.unmatched) flags |= kUnmatched;
        if (step.opened) flags |= kWaits;
    } else {
        flags |= kUnknown;
    }

    // Drawn in the session's chart, its connection's, both or neither.
    ++session_.total;
    const bool in_session = session_.arrows.size() < limits_.session_arrows;
    bool in_connection = false;
    if (connection != 0) {
        Chart& c = connections_[connection];
        ++c.total;
        in_connection = connection <= limits_.connections && c.arrows.size() < limits_.connection_arrows;
    }
    std::int64_t drawn = -1;
    if (in_session || in_connection) {
        drawn = static_cast<std::int64_t>(arrows_.size());
        Arrow a;
        a.ordinal = ordinal;
        a.input = static_cast<std::uint32_t>(input.index);
        a.line = entry.line;
        a.iface = static_cast<std::uint8_t>(iface);
        a.flags = flags;
        a.name = rule != nullptr ? rule->record->name : nullptr;
        a.time = entry.stamp ? entry.stamp->time_of_day() : "-";
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
        if (text_bytes_ + text.size() <= limits_.text_budget) {
            text_bytes_ += text.size();
            a.text = static_cast<int>(texts_.size());
            texts_.push_back(std::move(text));
        } else {
            ++texts_left_out_;
        }
        arrow_of_[ordinal] = static_cast<std::uint32_t>(arrows_.size());
        arrows_.push_back(std::move(a));
        if (in_session) session_.arrows.push_back(static_cast<std::uint32_t>(drawn));
        if (in_connection) connections_[connection].arrows.push_back(static_cast<std::uint32_t>(drawn));
    }
    if (step.kind) {
        ++pairs_;
        latencies_.add(*step.kind, step.latency);
        const auto it = arrow_of_.find(step.request.ordinal);
        if (it != arrow_of_.end()) {
            Arrow& request = arrows_[it->second];
            request.partner = static_cast<std::int64_t>(ordinal);
            request.partner_input = static_cast<std::uint32_t>(input.index);
            request.partner_line = entry.line;
            request.latency = step.latency;
            request.kind = *step.kind;
        }
        if (drawn >= 0) {
            Arrow& answer = arrows_[static_cast<std::size_t>(drawn)];
            answer.partner = static_cast<std::int64_t>(step.request.ordinal);
            answer.partner_input = step.request.input;
            answer.partner_line = step.request.line;
            answer.latency = step.latency;
            answer.kind = *step.kind;
        }
    }
    if (step.unmatched) ++unmatched_;
}

void ReportHandler::data_json(std::string& out, const std::string& title, std::string_view version) {
    const auto& kinds = rules_.kinds();
    const auto waiting = matcher_.waiting();
    for (const auto& [kind, place] : waiting) {
        const auto it = arrow_of_.find(place->ordinal);
        if (it != arrow_of_.end()) arrows_[it->second].flags |= kUnanswered;
    }
    auto strings = [&](const std::vector<std::string>& list) {
        out += '[';
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (i > 0) out += ',';
            json_string(out, list[i]);
        }
        out += ']';
    };
    auto member = [&](const char* name) {
        out += ",\"";
        out += name;
        out += "\":";
    };

    out += "{\"title\":";
    json_string(out, title);
    member("version");
    json_string(out, version);
    member("inputs");
    strings(inputs_);
    member("interfaces");
    out += "[\"dm\",\"l2cap\",\"rfcomm\",\"sdp\"]";

    // The summary.
    std::size_t entries = 0;
    for (std::size_t n : per_interface_) entries += n;
    const bool dated = all_dated_ && dated_span_.has_value();
    const auto& span = dated ? dated_span_ : clock_span_;
    member("summary");
    out += "{\"entries\":";
    json_number(out, entries);
    out += ",\"per_interface\":[";
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) out += ',';
        json_number(out, per_interface_[i]);
    }
    out += ']';
    member("failed");
    json_number(out, failed_);
    member("unreadable");
    json_number(out, unreadable_);
    member("unstamped");
    json_number(out, unstamped_);
    member("first");
    json_string(out, stamp_text(first_));
    member("last");
    json_string(out, stamp_text(last_));
    member("span_us");
    json_optional(out, span ? std::optional<std::int64_t>(span->second - span->first) : std::nullopt);
    member("clock");
    json_string(out, dated ? "dated" : "time of day");
    member("pairs");
    json_number(out, pairs_);
    member("unanswered");
    json_number(out, waiting.size());
    member("unmatched");
    json_number(out, unmatched_);
    member("texts_left_out");
    json_number(out, texts_left_out_);
    out += '}';

    member("failures");
    strings(failures_);
    member("failures_more");
    json_number(out, failed_ + unreadable_ - failures_.size());

    member("statuses");
    out += '[';
    bool first = true;
    for (const auto& [key, row] : statuses_) {
        if (!first) out += ',';
        first = false;
        out += '[';
        json_number(out, key.first);
        out += ',';
        json_string(out, key.second);
        out += ',';
        json_string(out, row.first);
        out += ',';
        json_number(out, row.second);
        out += ']';
    }
    out += ']';

    member("unanswered");
    out += '[';
    for (std::size_t i = 0; i < waiting.size() && i < limits_.listed; ++i) {
        const auto& [kind, place] = waiting[i];
        if (i > 0) out += ',';
        out += '[';
        json_number(out, place->input);
        out += ',';
        json_number(out, place->line);
        out += ',';
        json_string(out, stamp_text(place->stamp));
        out += ',';
        json_number(out, static_cast<unsigned>(kinds[static_cast<std::size_t>(kind)].iface));
        out += ',';
        json_string(out, kinds[static_cast<std::size_t>(kind)].name());
        out += ',';
        json_number(out, place->ordinal);
        out += ']';
    }
    out += ']';
    // ... and all of them counted by kind: [interface, kind, count, first input, first line].
    std::map<int, std::pair<std::size_t, const Place*>> by_kind;
    for (const auto& [kind, place] : waiting) {
        auto& row = by_kind[kind];
        if (row.first++ == 0) row.second = place;
    }
    member("unanswered_kinds");
    out += '[';
    first = true;
    for (const auto& [kind, row] : by_kind) {
        if (!first) out += ',';
        first = false;
        out += '[';
        json_number(out, static_cast<unsigned>(kinds[static_cast<std::size_t>(kind)].iface));
        out += ',';
        json_string(out, kinds[static_cast<std::size_t>(kind)].name());
        out += ',';
        json_number(out, row.first);
        out += ',';
        json_number(out, row.second->input);
        out += ',';
        json_number(out, row.second->line);
        out += ']';
    }
    out += ']';
    member("unanswered_more");
    json_number(out, waiting.size() > limits_.listed ? waiting.size() - limits_.listed : 0);

    // Entries per second, per interface.
    member("timeline");
    const Timeline::Bins bins = (dated ? dated_ : clock_).bins(limits_.timeline_bins);
    if (bins.counts.empty()) {
        out += "null";
    } else {
        out += "{\"start_s\":";
        json_signed(out, bins.start);
        out += ",\"bin_s\":";
        json_signed(out, bins.width);
        out += ",\"counts\":[";
        for (std::size_t i = 0; i < bins.counts.size(); ++i) {
            if (i > 0) out += ',';
            out += '[';
            for (unsigned k = 0; k < 4; ++k) {
                if (k > 0) out += ',';
                json_number(out, bins.counts[i][k]);
            }
            out += ']';
        }
        out += "]}";
    }

    // Latencies per kind of pair.
    member("kinds");
    out += '[';
    first = true;
    for (int k : latencies_.kinds()) {
        const Latencies::Summary s = latencies_.summary(k);
        if (!first) out += ',';
        first = false;
        out += "{\"interface\":";
        json_number(out, static_cast<unsigned>(kinds[static_cast<std::size_t>(k)].iface));
        out += ",\"name\":";
        json_string(out, kinds[static_cast<std::size_t>(k)].name());
        out += ",\"pairs\":";
        json_number(out, s.pairs);
        out += ",\"timed\":";
        json_number(out, s.timed);
        for (const auto& [label, v] : {std::pair{"p50", s.p50}, {"p90", s.p90}, {"p99", s.p99}, {"max", s.max}}) {
            member(label);
            json_optional(out, s.timed > 0 ? std::optional<std::int64_t>(v) : std::nullopt);
        }
        out += ",\"bins\":";
        histogram_json(out, latencies_.values(k));
        out += '}';
    }
    out += ']';

    // The arrows drawn: [ordinal, interface, name, time, input, line, flags, partner, its input,
    // its line, latency, kind, text] (partner -1 and text -1 for none).
    member("arrows");
    out += '[';
    for (std::size_t i = 0; i < arrows_.size(); ++i) {
        const Arrow& a = arrows_[i];
        if (i > 0) out += ',';
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
        if (a.kind >= 0) json_string(out, kinds[static_cast<std::size_t>(a.kind)].name());
        else out += "null";
        out += ',';
        json_signed(out, a.text);
        out += ']';
    }
    out += ']';
    member("texts");
    strings(texts_);

    // The charts: the session's, then the connections' in the order they first appeared.
    member("charts");
    out += '[';
    auto chart = [&](const Chart& c, const std::string& id) {
        out += "{\"id\":";
        json_string(out, id);
        out += ",\"title\":";
        json_string(out, c.title);
        out += ",\"total\":";
        json_number(out, c.total);
        out += ",\"arrows\":[";
        for (std::size_t i = 0; i < c.arrows.size(); ++i) {
            if (i > 0) out += ',';
            json_number(out, c.arrows[i]);
        }
        out += "]}";
    };
    chart(session_, "session");
    const std::size_t charted = std::min(connections_.size() - 1, limits_.connections);
    for (std::size_t i = 1; i <= charted; ++i) {
        out += ',';
        chart(connections_[i], "connection-" + std::to_string(i));
    }
    out += ']';
    member("charts_more");
    json_number(out, connections_.size() - 1 - charted);
    member("limits");
    out += "{\"session\":";
    json_number(out, limits_.session_arrows);
    out += ",\"connection\":";
    json_number(out, limits_.connection_arrows);
    out += ",\"connections\":";
    json_number(out, limits_.connections);
    out += ",\"listed\":";
    json_number(out, limits_.listed);
    out += "}}";
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
