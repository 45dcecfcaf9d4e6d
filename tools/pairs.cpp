// SPDX-License-Identifier: Apache-2.0
#include "pairs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include <RizOrodOzido/json.h>

namespace rizorod::tool {

// ---- Time

When when_of(const std::optional<Timestamp>& stamp) {
    if (!stamp) return {};
    When when;
    when.stamped = true;
    if (const auto ms = stamp->unix_ms()) when.instant_us = *ms * 1000;
    when.day_us = ((stamp->hour * 60 + stamp->minute) * 60 + stamp->second) * std::int64_t{1'000'000} +
                  std::int64_t{stamp->millis} * 1000;
    return when;
}

std::optional<std::int64_t> latency_us(const When& from, const When& to) {
    if (!from.stamped || !to.stamped) return std::nullopt;
    if (from.instant_us && to.instant_us) return *to.instant_us - *from.instant_us;
    std::int64_t d = to.day_us - from.day_us;
    if (d < -kDayUs / 2) d += kDayUs;
    return d;
}

std::string ms_text(std::int64_t us) {
    char text[32];
    const char* sign = us < 0 ? "-" : "";
    const std::uint64_t a = us < 0 ? 0 - static_cast<std::uint64_t>(us) : static_cast<std::uint64_t>(us);
    std::snprintf(text, sizeof text, "%s%llu.%03llu", sign, static_cast<unsigned long long>(a / 1000),
                  static_cast<unsigned long long>(a % 1000));
    return text;
}

// ---- The rule

namespace {

struct IdentityLabel {
    const char* label;
    Identity id;
};
constexpr IdentityLabel kIdentityLabels[] = {
    {"phandle", kPhandle}, {"handle", kHandle},       {"bd_addr", kBdAddr},   {"cid", kCid},
    {"psm", kPsm},         {"mux_id", kMuxId},        {"server_chan", kServerChan},
    {"channel", kChannel}, {"id", kId},               {"identifier", kIdentifier},
    {"b_out", kTcpConnection}, {"b", kTcpConnection},
};

// The labels of an answer's outcome: zero is success.
constexpr const char* kOutcomeLabels[] = {"status", "result", "result_code", "response"};

constexpr const char kModeChange[] = "DM_HCI_MODE_CHANGE_EVENT_T";
constexpr const char kModeChangeReason[] =
    "the controller's mode change answers it; a mode change that comes unasked answers nothing";

// The exceptions to the rule that names and labels give: the one place for them.
constexpr RuleException kExceptions[] = {
    // HCI completions whose names spell their command otherwise.
    {RuleException::What::answered_by, "HCI_REMOTE_NAME_REQ_T", "DM_HCI_REMOTE_NAME_COMPLETE_T",
     "the completion's name leaves out REQ"},
    {RuleException::What::answered_by, "HCI_CHANGE_CONN_LINK_KEY_T", "DM_HCI_LINK_KEY_CHANGE_COMPLETE_T",
     "the completion's name has the words in another order, without CONN"},
    {RuleException::What::answered_by, "HCI_READ_REMOTE_SUPP_FEATURES_T", "DM_HCI_READ_REMOTE_FEATURES_COMPLETE_T",
     "the completion's name leaves out SUPP"},
    {RuleException::What::answered_by, "HCI_READ_REMOTE_VER_INFO_T", "DM_HCI_READ_REMOTE_VERSION_COMPLETE_T",
     "the completion's name says VERSION for VER_INFO"},
    {RuleException::What::answered_by, "HCI_READ_LINK_POLICY_SETTINGS_T", "DM_HCI_READ_LP_SETTINGS_COMPLETE_T",
     "the completion's name says LP for LINK_POLICY"},
    {RuleException::What::answered_by, "HCI_READ_CONN_ACCEPT_TIMEOUT_T", "DM_HCI_READ_CONN_ACCEPT_TO_COMPLETE_T",
     "the completion's name says TO for TIMEOUT"},
    {RuleException::What::answered_by, "HCI_READ_PAGE_TIMEOUT_T", "DM_HCI_READ_PAGE_TO_COMPLETE_T",
     "the completion's name says TO for TIMEOUT"},
    {RuleException::What::answered_by, "HCI_READ_ENC_MODE_T", "DM_HCI_READ_ENCRYPTION_MODE_COMPLETE_T",
     "the completion's name says ENCRYPTION for ENC"},
    {RuleException::What::answered_by, "HCI_READ_AUTO_FLUSH_TIMEOUT_T", "DM_HCI_READ_AUTO_FLUSH_COMPLETE_T",
     "the completion's name leaves out TIMEOUT"},
    {RuleException::What::answered_by, "HCI_WRITE_AUTO_FLUSH_TIMEOUT_T", "DM_HCI_WRITE_AUTO_FLUSH_COMPLETE_T",
     "the completion's name leaves out TIMEOUT"},
    {RuleException::What::answered_by, "HCI_READ_NUM_BCAST_RETXS_T", "DM_HCI_READ_NUM_BCAST_TXS_COMPLETE_T",
     "the completion's name says TXS for RETXS"},
    {RuleException::What::answered_by, "HCI_READ_LOCAL_VER_INFO_T", "DM_HCI_READ_LOCAL_VERSION_COMPLETE_T",
     "the completion's name says VERSION for VER_INFO"},
    {RuleException::What::answered_by, "HCI_READ_LOCAL_SUPP_FEATURES_T", "DM_HCI_READ_LOCAL_FEATURES_COMPLETE_T",
     "the completion's name leaves out SUPP"},
    {RuleException::What::answered_by, "HCI_READ_FAILED_CONTACT_COUNT_T", "DM_HCI_FAILED_CONTACT_COUNTER_COMPLETE_T",
     "the completion's name leaves out READ and says COUNTER for COUNT"},
    {RuleException::What::answered_by, "HCI_RESET_FAILED_CONTACT_COUNT_T", "DM_HCI_RESET_CONTACT_COUNTER_COMPLETE_T",
     "the completion's name leaves out FAILED and says COUNTER for COUNT"},
    // The link-mode commands: no completion of their own.
    {RuleException::What::answered_by, "HCI_HOLD_MODE_T", kModeChange, kModeChangeReason},
    {RuleException::What::answered_by, "HCI_SNIFF_MODE_T", kModeChange, kModeChangeReason},
    {RuleException::What::answered_by, "HCI_EXIT_SNIFF_MODE_T", kModeChange, kModeChangeReason},
    {RuleException::What::answered_by, "HCI_PARK_MODE_T", kModeChange, kModeChangeReason},
    {RuleException::What::answered_by, "HCI_EXIT_PARK_MODE_T", kModeChange, kModeChangeReason},
    // Requests without a confirm: the indication that the link or channel is gone answers them.
    {RuleException::What::answered_by, "DM_ACL_DISCONNECT_REQ_T", "DM_ACL_DISCONNECT_IND_T",
     "no confirm exists; the disconnect indication answers it"},
    {RuleException::What::answered_by, "DM_SCO_DISCONNECT_REQ_T", "DM_SCO_DISCONNECT_IND_T",
     "no confirm exists; the disconnect indication answers it"},
    {RuleException::What::answered_by, "RFC_CLOSE_REQ_T", "RFC_CLOSE_IND_T",
     "no confirm exists; the close indication answers it"},
    {RuleException::What::answered_by, "RFC_RELEASE_REQ_T", "RFC_RELEASE_IND_T",
     "no confirm exists; the release indication answers it"},
    {RuleException::What::answered_by, "BNEP_DISCONNECT_REQ_T", "BNEP_DISCONNECT_IND_T",
     "no confirm exists; the disconnect indication answers it"},
    // An HCI command that no completion follows.
    {RuleException::What::never_answered, "HCI_HOST_NUM_COMPLETED_PACKETS_T", nullptr,
     "the controller answers it with nothing: it only hands back buffer credits"},
    // A primitive whose name ends like a response but that goes to the application.
    {RuleException::What::goes_up, "BNEP_HCI_SWITCH_ROLE_RSP_T", nullptr,
     "BNEP passes the controller's answer to a role switch up; it answers no indication"},
};

const RuleException* exception_for(std::string_view name) {
    for (const RuleException& e : kExceptions)
        if (name == e.primitive) return &e;
    return nullptr;
}

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// An HCI command row: its first field is the command header, whose first field is op_code.
bool is_hci_command(const rizorod_layout_record* record) {
    const rizorod_layout_field& first = record->fields[0];
    return rizorod_kind(&first) == RIZOROD_LAYOUT_REC && first.record != nullptr && first.record->count > 0 &&
           first.record->fields[0].label != nullptr && std::strcmp(first.record->fields[0].label, "op_code") == 0;
}

Role role_of(const rizorod_layout_record* record) {
    const std::string_view name = record->name;
    if (is_hci_command(record)) return Role::command;
    if (ends_with(name, "_REQ_T")) return Role::request;
    if (ends_with(name, "_CFM_T")) return Role::confirm;
    if (ends_with(name, "_IND_T")) return Role::indication;
    if (ends_with(name, "_RES_T") || ends_with(name, "_RSP_T")) return Role::response;
    if (ends_with(name, "_COMPLETE_T")) return Role::completion;
    return Role::other;
}

void scalar_field(const rizorod_layout_field& f, CodeRule& rule) {
    for (const IdentityLabel& l : kIdentityLabels)
        if (std::strcmp(f.label, l.label) == 0 && l.id != kBdAddr) rule.fields.push_back({l.id, f.label});
    if (rule.outcome_label == nullptr)
        for (const char* l : kOutcomeLabels)
            if (std::strcmp(f.label, l) == 0) {
                rule.fields.push_back({kIdentityCount, f.label});
                rule.outcome_label = l;
            }
}

// The identity fields and the outcome at the top level of a record.
void fields_of(const rizorod_layout_record* record, CodeRule& rule) {
    for (const rizorod_layout_field* f = record->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
        if (f->label == nullptr) continue;
        switch (rizorod_kind(f)) {
        case RIZOROD_LAYOUT_U8:
        case RIZOROD_LAYOUT_B8:
        case RIZOROD_LAYOUT_I8:
        case RIZOROD_LAYOUT_U16:
        case RIZOROD_LAYOUT_ENUM:
        case RIZOROD_LAYOUT_U32:
        case RIZOROD_LAYOUT_I32:
        case RIZOROD_LAYOUT_U24: scalar_field(*f, rule); break;
        case RIZOROD_LAYOUT_REC:  // a device address, by the text a walk tells of it
            if (std::strcmp(f->label, "bd_addr") == 0 && address_form(f->record) == AddressForm::bd_addr)
                rule.fields.push_back({kBdAddr, f->label});
            break;
        case RIZOROD_LAYOUT_END:
        case RIZOROD_LAYOUT_ARR:
        case RIZOROD_LAYOUT_PTR:
        case RIZOROD_LAYOUT_RUN:
        case RIZOROD_LAYOUT_NEWLINE:
        case RIZOROD_LAYOUT_IP:
        case RIZOROD_LAYOUT_BLOCKS:
        case RIZOROD_LAYOUT_CUSTOM:
        case RIZOROD_LAYOUT_CASE:
        case RIZOROD_LAYOUT_CASE_END: break;
        }
    }
}

std::uint16_t identity_mask(const CodeRule& rule) {
    std::uint16_t mask = 0;
    for (const CodeRule::Field& f : rule.fields)
        if (f.id < kIdentityCount) mask |= static_cast<std::uint16_t>(1u << f.id);
    return mask;
}

// The 48 bits of a device address's text, "00:12:7C:6A:1F:20": nap, uap, lap.
std::uint64_t bd_addr_bits(std::string_view text) {
    std::uint64_t v = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') v = v << 4 | static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F') v = v << 4 | static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') v = v << 4 | static_cast<unsigned>(c - 'a' + 10);
    }
    return v;
}

// Whether a primitive goes towards the application: by its role, by the phandle that leads the
// other messages to an application, or by the exceptions table.
bool goes_up(const rizorod_layout_record* record, Role role) {
    const RuleException* e = exception_for(record->name);
    if (e != nullptr && e->what == RuleException::What::goes_up) return true;
    switch (role) {
    case Role::confirm:
    case Role::indication:
    case Role::completion: return true;
    case Role::other: {
        // Messages to an application carry its phandle first.
        const rizorod_layout_field& second = record->fields[record->count > 1 ? 1 : 0];
        return second.label != nullptr && std::strcmp(second.label, "phandle") == 0 && second.offset == 2;
    }
    case Role::request:
    case Role::response:
    case Role::command: return false;
    }
    return false;
}

// What a code's record says before any pairing: its role, direction, identity fields, outcome.
CodeRule rule_of(const rizorod_layout_record* record) {
    CodeRule rule;
    rule.record = record;
    rule.role = role_of(record);
    fields_of(record, rule);
    rule.up = goes_up(record, rule.role);
    return rule;
}

using Codes = std::unordered_map<std::uint16_t, CodeRule>;

// One interface's codes as the rule looks answers up: by primitive name (codes that share a
// decoder share its name), and the status-only completions.
struct Lookup {
    std::unordered_map<std::string_view, std::vector<std::uint16_t>> by_name;
    std::unordered_map<unsigned, std::vector<std::uint16_t>> group_completions;  // by opcode group
    const char* group_name = "";
    const std::vector<std::uint16_t>* find(std::string_view name) const {
        const auto it = by_name.find(name);
        return it == by_name.end() ? nullptr : &it->second;
    }
};

// The lookups of one interface whose codes' rules are worked out.
Lookup lookup_of(const std::vector<Primitive>& prims, const Codes& codes) {
    Lookup lookup;
    std::unordered_map<const rizorod_layout_record*, unsigned> shared;
    for (const Primitive& p : prims) {
        const rizorod_layout_record* record = codes.at(p.code).record;
        lookup.by_name[record->name].push_back(p.code);
        ++shared[record];
    }
    // The status-only completions: completions whose one decoder serves several codes, by
    // opcode group (the op_code's top six bits).
    for (const Primitive& p : prims) {
        const CodeRule& rule = codes.at(p.code);
        if (rule.role == Role::completion && shared[rule.record] > 1) {
            lookup.group_completions[p.code >> 10].push_back(p.code);
            lookup.group_name = rule.record->name;
        }
    }
    return lookup;
}

// The codes that answer a primitive by the names: REQ -> CFM, IND -> RES or RSP, X ->
// DM_X_COMPLETE or DM_X_CFM; null for none.
const std::vector<std::uint16_t>* answers_by_name(const CodeRule& rule, const Lookup& lookup) {
    const std::string name = rule.record->name;
    if (rule.role == Role::request) return lookup.find(name.substr(0, name.size() - 6) + "_CFM_T");
    if (rule.role == Role::indication) {
        const std::string stem = name.substr(0, name.size() - 6);
        const auto* answers = lookup.find(stem + "_RES_T");
        return answers != nullptr ? answers : lookup.find(stem + "_RSP_T");
    }
    if (rule.role == Role::command || rule.role == Role::other) {
        const std::string stem = (name.rfind("DM_", 0) == 0 ? "" : "DM_") + name.substr(0, name.size() - 2);
        const auto* answers = lookup.find(stem + "_COMPLETE_T");
        return answers != nullptr ? answers : lookup.find(stem + "_CFM_T");
    }
    return nullptr;
}

// The kind of pair a code opens, if any: its answers by the exceptions table, else by the names,
// else (an HCI command the table does not name) the status-only completion of its opcode group.
std::optional<PairKind> kind_of(Interface iface, std::uint16_t code, const Codes& codes, const Lookup& lookup) {
    const CodeRule& rule = codes.at(code);
    const RuleException* e = exception_for(rule.record->name);
    if (e != nullptr && e->what == RuleException::What::never_answered) return std::nullopt;
    PairKind kind;
    kind.iface = iface;
    kind.opener = code;
    kind.opener_name = rule.record->name;
    const std::vector<std::uint16_t>* answers = nullptr;
    if (e != nullptr && e->what == RuleException::What::answered_by) {
        answers = lookup.find(e->answer);
        kind.source = PairKind::Source::exception;
    } else {
        answers = answers_by_name(rule, lookup);
    }
    if (answers == nullptr && rule.role == Role::command && e == nullptr) {
        const auto it = lookup.group_completions.find(code >> 10);
        if (it == lookup.group_completions.end()) return std::nullopt;
        answers = &it->second;
        kind.source = PairKind::Source::group;
    }
    if (answers == nullptr) return std::nullopt;
    const CodeRule& answer = codes.at(answers->front());
    kind.answer_name = kind.source == PairKind::Source::group ? lookup.group_name : answer.record->name;
    kind.answers = *answers;
    kind.key = identity_mask(rule) & identity_mask(answer);
    return kind;
}

// The checks of a decoding, reading the identity fields and the outcome of the record's top
// level as the walk tells them (fields nested deeper, block walks' elements among them, are not
// the record's own).
class FactsSink final : public CheckingSink {
public:
    explicit FactsSink(const CodeRule& rule) : rule_(rule) {}
    void value(const char* label, std::uint32_t value) override {
        if (depth_ != 0) return;
        for (const CodeRule::Field& f : rule_.fields) {
            if (f.label != label) continue;
            if (f.id == kIdentityCount) {
                facts.has_outcome = true;
                facts.outcome = value;
            } else if (f.id != kBdAddr) {
                set(f.id, value);
            }
        }
    }
    void begin_record(const char*, const char*) override { ++depth_; }
    void end_record() override { --depth_; }
    void begin_list(const char*) override { ++depth_; }
    void end_list() override { --depth_; }
    void text(const char* label, std::string_view text) override {
        if (depth_ != 0) return;
        for (const CodeRule::Field& f : rule_.fields)
            if (f.id == kBdAddr && f.label == label) set(kBdAddr, bd_addr_bits(text));
    }
    Facts facts;

private:
    void set(unsigned id, std::uint64_t value) {
        facts.present |= static_cast<std::uint16_t>(1u << id);
        facts.values[id] = value;
    }
    const CodeRule& rule_;
    int depth_ = 0;
};

}  // namespace

const char* identity_name(unsigned id) {
    for (const IdentityLabel& l : kIdentityLabels)
        if (l.id == id) return l.label;
    return "?";
}

std::span<const RuleException> rule_exceptions() { return kExceptions; }

std::string PairKind::name() const { return std::string(opener_name) + " -> " + answer_name; }

const Rules& Rules::get() {
    static const Rules rules;
    return rules;
}

const CodeRule* Rules::find(Interface iface, std::uint16_t code) const {
    const auto& codes = codes_[static_cast<unsigned>(iface)];
    const auto it = codes.find(code);
    return it == codes.end() ? nullptr : &it->second;
}

Rules::Rules() {
    for (Interface iface : kInterfaces) {
        auto& codes = codes_[static_cast<unsigned>(iface)];
        const std::vector<Primitive> prims = primitives(iface);
        for (const Primitive& p : prims) codes[p.code] = rule_of(layout(iface, p.code));
        // Then the kinds of pair, in code order, each opener and answer told of its kind.
        const Lookup lookup = lookup_of(prims, codes);
        for (const Primitive& p : prims) {
            std::optional<PairKind> kind = kind_of(iface, p.code, codes, lookup);
            if (!kind) continue;
            CodeRule& opener = codes[p.code];
            opener.opens = static_cast<int>(kinds_.size());
            for (std::uint16_t code : kind->answers) {
                CodeRule& a = codes[code];
                a.answers.push_back(opener.opens);
                a.reports_unmatched = a.role == Role::confirm || a.role == Role::completion;
            }
            kinds_.push_back(std::move(*kind));
        }
    }
}

std::string address_text(std::uint64_t bits) {
    return bd_addr_text(static_cast<std::uint32_t>(bits & 0xffffff), static_cast<std::uint8_t>(bits >> 24),
                        static_cast<std::uint16_t>(bits >> 32));
}

std::string identity_text(const Facts& facts, std::uint16_t mask) {
    std::string out;
    for (unsigned id = 0; id < kIdentityCount; ++id) {
        if (!(mask & facts.present & (1u << id))) continue;
        if (!out.empty()) out += ' ';
        out += identity_name(id);
        out += '=';
        const std::uint64_t v = facts.values[id];
        if (id == kBdAddr) {
            out += address_text(v);
        } else {
            char text[24];
            std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
            out += text;
        }
    }
    return out;
}

bool take_entry(const Selection& selection, const Entry& entry, Decoder& decoder, const CodeRule* rule,
                Facts& facts) {
    const bool header = selection.header_matches(entry);
    if (!header || rule == nullptr) {
        CheckingSink none;
        decoder.walk(entry, none);
        return header && (!selection.where || selection.fields_match(entry, decoder));
    }
    if (selection.where && !selection.fields_match(entry, decoder)) return false;
    FactsSink sink(*rule);
    decoder.walk(entry, sink);
    facts = sink.facts;
    return true;
}

// ---- Matching

std::size_t Matcher::KeyHash::operator()(const Key& k) const noexcept {
    std::uint64_t h = 0x9e3779b97f4a7c15ull * static_cast<std::uint64_t>(k.kind + 1);
    for (std::uint64_t v : k.values) h = (h ^ v) * 0x100000001b3ull + (h >> 29);
    return static_cast<std::size_t>(h);
}

Matcher::Key Matcher::key_of(int kind, std::uint16_t mask, const Facts& facts) {
    Key key{kind, {}};
    for (unsigned id = 0; id < kIdentityCount; ++id)
        if (mask & (1u << id)) key.values[id] = facts.values[id];
    return key;
}

Matcher::Step Matcher::add(const CodeRule& rule, const Facts& facts, const Place& place) {
    const std::vector<PairKind>& kinds = Rules::get().kinds();
    Step step;
    Queue* oldest = nullptr;
    decltype(queues_)::iterator oldest_at;
    for (int kind : rule.answers) {
        const auto it = queues_.find(key_of(kind, kinds[static_cast<std::size_t>(kind)].key, facts));
        if (it == queues_.end()) continue;
        ++step.waiting_kinds;
        Queue& q = it->second;
        if (oldest == nullptr || q.items[q.head].ordinal < oldest->items[oldest->head].ordinal) {
            oldest = &q;
            oldest_at = it;
            step.kind = kind;
        }
    }
    if (oldest != nullptr) {
        step.request = std::move(oldest->items[oldest->head++]);
        step.latency = latency_us(step.request.when, place.when);
        --waiting_;
        if (oldest->head == oldest->items.size()) {
            queues_.erase(oldest_at);
        } else if (oldest->head >= 64 && 2 * oldest->head >= oldest->items.size()) {
            oldest->items.erase(oldest->items.begin(), oldest->items.begin() + static_cast<std::ptrdiff_t>(oldest->head));
            oldest->head = 0;
        }
    } else {
        step.unmatched = rule.reports_unmatched;
    }
    if (rule.opens >= 0) {
        queues_[key_of(rule.opens, kinds[static_cast<std::size_t>(rule.opens)].key, facts)].items.push_back(place);
        ++waiting_;
        step.opened = true;
    }
    return step;
}

std::vector<std::pair<int, const Place*>> Matcher::waiting() const {
    std::vector<std::pair<int, const Place*>> all;
    all.reserve(waiting_);
    for (const auto& [key, q] : queues_)
        for (std::size_t i = q.head; i < q.items.size(); ++i) all.emplace_back(key.kind, &q.items[i]);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.second->ordinal < b.second->ordinal; });
    return all;
}

void Latencies::add(int kind, std::optional<std::int64_t> us) {
    if (rows_.size() <= static_cast<std::size_t>(kind)) rows_.resize(static_cast<std::size_t>(kind) + 1);
    Row& row = rows_[static_cast<std::size_t>(kind)];
    ++row.pairs;
    if (us) {
        if (!row.us.empty() && *us < row.us.back()) row.sorted = false;
        row.us.push_back(*us);
    }
}

const std::vector<std::int64_t>& Latencies::values(int kind) const {
    const Row& row = rows_.at(static_cast<std::size_t>(kind));
    if (!row.sorted) {
        std::sort(row.us.begin(), row.us.end());
        row.sorted = true;
    }
    return row.us;
}

Latencies::Summary Latencies::summary(int kind) const {
    Summary s;
    const auto& us = values(kind);
    s.pairs = rows_[static_cast<std::size_t>(kind)].pairs;
    s.timed = us.size();
    if (us.empty()) return s;
    auto rank = [&](unsigned p) { return us[(p * us.size() + 99) / 100 - 1]; };
    s.p50 = rank(50);
    s.p90 = rank(90);
    s.p99 = rank(99);
    s.max = us.back();
    return s;
}

std::vector<int> Latencies::kinds() const {
    std::vector<int> out;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].pairs > 0) out.push_back(static_cast<int>(i));
    return out;
}

// ---- rizorod pairs

namespace {

const char* source_name(PairKind::Source s) {
    switch (s) {
    case PairKind::Source::names: return "names";
    case PairKind::Source::exception: return "exception";
    case PairKind::Source::group: return "group";
    }
    return "";
}

std::string hex_text(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", v);
    return text;
}

}  // namespace

PairsHandler::PairsHandler(Format format, const Selection& selection)
    : format_(format), selection_(selection), rules_(Rules::get()) {}

std::string PairsHandler::place_text(const Place& place) const {
    return inputs_[place.input] + ":" + std::to_string(place.line) + " " + stamp_text(place.stamp);
}

void PairsHandler::place_json(std::string& out, const Place& place, const char* name, const CodeRule* rule,
                              const Facts* facts) const {
    out += "{\"file\":";
    json_string(out, inputs_[place.input]);
    out += ",\"line\":";
    json_number(out, place.line);
    if (place.stamp) json_stamp(out, *place.stamp);
    out += ",\"name\":";
    json_string(out, name);
    if (rule != nullptr && facts != nullptr && facts->has_outcome) {
        out += ",\"status\":";
        json_number(out, facts->outcome);
    }
    out += '}';
}

void PairsHandler::entry(const Entry& entry, const InputInfo& input, ChunkOut& out) {
    const CodeRule* rule = rules_.find(entry.iface, entry.code);
    Facts facts;
    try {
        if (!take_entry(selection_, entry, decoder_, rule, facts)) return;
    } catch (const DecodeError& e) {
        out.message(input.name + ":" + std::to_string(entry.line) + ": " + e.what(), kEntryFailed);
        return;
    }
    if (rule == nullptr) return;  // a code the interface does not define takes no part
    if (inputs_.size() <= input.index) inputs_.resize(input.index + 1);
    if (inputs_[input.index].empty()) inputs_[input.index] = input.name;
    const Place place{ordinal_++, static_cast<std::uint32_t>(input.index), 0, entry.line, entry.stamp,
                      when_of(entry.stamp)};
    const Matcher::Step step = matcher_.add(*rule, facts, place);
    const char* iface = interface_name(entry.iface);
    if (step.kind) {
        const PairKind& kind = rules_.kinds()[static_cast<std::size_t>(*step.kind)];
        latencies_.add(*step.kind, step.latency);
        ++pairs_;
        const std::string on = identity_text(facts, kind.key);
        if (format_ == Format::json) {
            json_object(out.text);
            out.text += ",\"type\":\"pair\",\"interface\":";
            json_string(out.text, iface);
            out.text += ",\"kind\":";
            json_string(out.text, kind.name());
            out.text += ",\"request\":";
            place_json(out.text, step.request, kind.opener_name, nullptr, nullptr);
            out.text += ",\"answer\":";
            place_json(out.text, place, rule->record->name, rule, &facts);
            out.text += ",\"latency_us\":";
            if (step.latency) out.text += std::to_string(*step.latency);
            else out.text += "null";
            out.text += ",\"on\":";
            json_string(out.text, on);
            if (step.waiting_kinds > 1) {
                out.text += ",\"guessed_among\":";
                json_number(out.text, step.waiting_kinds);
            }
            out.text += "}\n";
        } else {
            out.text += "pair  " + std::string(iface) + "  " + kind.name() + "  " + place_text(step.request) + "  " +
                        place_text(place) + "  " + (step.latency ? ms_text(*step.latency) + " ms" : "-");
            if (facts.has_outcome && facts.outcome != 0)
                out.text += std::string("  ") + rule->outcome_label + "=" + hex_text(facts.outcome);
            if (!on.empty()) out.text += "  " + on;
            if (step.waiting_kinds > 1)
                out.text += "  guessed: the oldest of " + std::to_string(step.waiting_kinds) + " kinds waiting";
            out.text += '\n';
        }
    } else if (step.unmatched) {
        ++unmatched_;
        if (format_ == Format::json) {
            json_object(out.text);
            out.text += ",\"type\":\"unmatched\",\"interface\":";
            json_string(out.text, iface);
            out.text += ",\"answer\":";
            place_json(out.text, place, rule->record->name, rule, &facts);
            out.text += "}\n";
        } else {
            out.text += "unmatched  " + std::string(iface) + "  " + rule->record->name + "  " + place_text(place) + '\n';
        }
    }
}

void PairsHandler::finish(Output& output) {
    const auto& kinds = rules_.kinds();
    const auto waiting = matcher_.waiting();
    std::string out;
    for (const auto& [k, place] : waiting) {
        const PairKind& kind = kinds[static_cast<std::size_t>(k)];
        const char* iface = interface_name(kind.iface);
        if (format_ == Format::json) {
            json_object(out);
            out += ",\"type\":\"unanswered\",\"interface\":";
            json_string(out, iface);
            out += ",\"kind\":";
            json_string(out, kind.name());
            out += ",\"request\":";
            place_json(out, *place, kind.opener_name, nullptr, nullptr);
            out += "}\n";
        } else {
            out += "unanswered  " + std::string(iface) + "  " + kind.name() + "  " + place_text(*place) + '\n';
        }
        if (out.size() >= 1u << 16) {
            output.text(out);
            out.clear();
        }
    }
    std::size_t width = 12;
    for (int k : latencies_.kinds()) {
        const PairKind& kind = kinds[static_cast<std::size_t>(k)];
        width = std::max(width, std::strlen(interface_name(kind.iface)) + 2 + kind.name().size());
    }
    if (format_ == Format::text && !latencies_.kinds().empty()) {
        char line[512];
        std::snprintf(line, sizeof line, "%-*s %8s %12s %12s %12s %12s\n", static_cast<int>(width), "latency (ms)",
                      "pairs", "p50", "p90", "p99", "max");
        out += line;
    }
    for (int k : latencies_.kinds()) {
        const PairKind& kind = kinds[static_cast<std::size_t>(k)];
        const Latencies::Summary s = latencies_.summary(k);
        if (format_ == Format::json) {
            json_object(out);
            out += ",\"type\":\"latency\",\"interface\":";
            json_string(out, interface_name(kind.iface));
            out += ",\"kind\":";
            json_string(out, kind.name());
            out += ",\"pairs\":";
            json_number(out, s.pairs);
            out += ",\"timed\":";
            json_number(out, s.timed);
            for (const auto& [label, v] : {std::pair{"p50_us", s.p50}, {"p90_us", s.p90}, {"p99_us", s.p99}, {"max_us", s.max}}) {
                out += ",\"";
                out += label;
                out += "\":";
                out += s.timed > 0 ? std::to_string(v) : "null";
            }
            out += "}\n";
        } else {
            const std::string name = std::string(interface_name(kind.iface)) + "  " + kind.name();
            auto cell = [&](std::int64_t v) { return s.timed > 0 ? ms_text(v) : std::string("-"); };
            char line[512];
            std::snprintf(line, sizeof line, "%-*s %8zu %12s %12s %12s %12s\n", static_cast<int>(width), name.c_str(),
                          s.pairs, cell(s.p50).c_str(), cell(s.p90).c_str(), cell(s.p99).c_str(), cell(s.max).c_str());
            out += line;
        }
    }
    if (format_ == Format::json) {
        json_object(out);
        out += ",\"type\":\"total\",\"pairs\":";
        json_number(out, pairs_);
        out += ",\"unanswered\":";
        json_number(out, waiting.size());
        out += ",\"unmatched\":";
        json_number(out, unmatched_);
        out += "}\n";
    } else {
        out += "pairs " + std::to_string(pairs_) + ", unanswered " + std::to_string(waiting.size()) +
               ", unmatched answers " + std::to_string(unmatched_) + "\n";
    }
    output.text(out);
}

void write_rules(std::string& out, Format format) {
    const Rules& rules = Rules::get();
    for (const PairKind& kind : rules.kinds()) {
        std::string on;
        for (unsigned id = 0; id < kIdentityCount; ++id)
            if (kind.key & (1u << id)) on += std::string(on.empty() ? "" : " ") + identity_name(id);
        if (format == Format::json) {
            json_object(out);
            out += ",\"interface\":";
            json_string(out, interface_name(kind.iface));
            out += ",\"request\":";
            json_string(out, kind.opener_name);
            out += ",\"answer\":";
            json_string(out, kind.answer_name);
            out += ",\"codes\":[";
            for (std::size_t i = 0; i < kind.answers.size(); ++i) {
                if (i > 0) out += ',';
                json_number(out, kind.answers[i]);
            }
            out += "],\"on\":[";
            bool first = true;
            for (unsigned id = 0; id < kIdentityCount; ++id)
                if (kind.key & (1u << id)) {
                    if (!first) out += ',';
                    first = false;
                    json_string(out, identity_name(id));
                }
            out += "],\"source\":";
            json_string(out, source_name(kind.source));
            out += "}\n";
        } else {
            out += std::string(interface_name(kind.iface)) + "\t" + kind.name() + "\t" + (on.empty() ? "-" : on) +
                   "\t" + source_name(kind.source) + "\n";
        }
    }
}

}  // namespace rizorod::tool
