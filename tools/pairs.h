// SPDX-License-Identifier: Apache-2.0
// Which primitive answers which, and the pairs of a capture: the rule worked out from the rows'
// names and labels through the layout table (<RizOrodOzido/fields.h>); requests matched with
// their answers first in first out on the identity fields both carry; latencies. `rizorod pairs`
// writes them (PairsHandler), the report draws them. docs/PAIRS.md states the rule and its
// exceptions.
#ifndef RIZORODOZIDO_TOOLS_PAIRS_H
#define RIZORODOZIDO_TOOLS_PAIRS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/fields.h>

#include "handlers.h"
#include "pipeline.h"
#include "select.h"

namespace rizorod::tool {

// ---- Time

constexpr std::int64_t kDayUs = 86'400'000'000;

// An entry's time as the pairing and the report use it: the instant, when the capture clock
// has given the entry a date, and the time of day of every stamp.
struct When {
    bool stamped = false;
    std::optional<std::int64_t> instant_us;  // since 1970-01-01 00:00 UTC (Timestamp::unix_ms)
    std::int64_t day_us = 0;                 // from midnight
};
When when_of(const std::optional<Timestamp>& stamp);

// The latency from `from` to `to`, an entry later in the capture; none without both stamps.
// With both instants it is their difference; otherwise (a capture with no date before these
// entries) the difference of their times of day, plus a day when that is less than minus twelve
// hours: midnight came between them.
std::optional<std::int64_t> latency_us(const When& from, const When& to);

// Milliseconds with three decimals: "4156.000".
std::string ms_text(std::int64_t us);

// ---- The rule

// The fields on which a request and its answer are matched: those of these labels that both
// records carry at their top level. `b` (TCP responses) is the connection that TCP indications
// call `b_out`.
enum Identity : std::uint8_t {
    kPhandle, kHandle, kBdAddr, kCid, kPsm, kMuxId, kServerChan, kChannel, kId, kIdentifier, kTcpConnection,
    kIdentityCount
};
const char* identity_name(unsigned id);

// What a primitive is by its name (or, for an HCI command, by its op_code header).
enum class Role : std::uint8_t { request, confirm, indication, response, command, completion, other };

// One kind of pair: a primitive that waits for an answer, and the primitives that answer it.
struct PairKind {
    enum class Source : std::uint8_t {
        names,      // REQ -> CFM, IND -> RES or RSP, X -> DM_X_COMPLETE or DM_X_CFM
        exception,  // the exceptions table
        group,      // an HCI command answered by a status-only completion of its opcode group
    };
    Interface iface = Interface::dm;
    std::uint16_t opener = 0;
    const char* opener_name = "";
    const char* answer_name = "";        // codes that share a decoder share its name
    std::vector<std::uint16_t> answers;  // the answer's codes
    std::uint16_t key = 0;               // bit i: identity i is compared
    Source source = Source::names;
    std::string name() const;            // "OPENER -> ANSWER"
};

// What the rows say about one code.
struct CodeRule {
    struct Field {
        std::uint8_t id;    // an Identity, or kIdentityCount for the outcome
        const char* label;  // the layout's own label, as a walk tells it
    };
    const rizorod_layout_record* record = nullptr;
    Role role = Role::other;
    bool up = false;                 // towards the application
    int opens = -1;                  // the kind it opens
    std::vector<int> answers;        // the kinds it answers
    bool reports_unmatched = false;  // a confirm or completion that answers some kind
    std::vector<Field> fields;       // its identity fields and its outcome, at the top level
    const char* outcome_label = nullptr;  // status, result, result_code or response
};

// An exception to the rule, with its reason.
struct RuleException {
    enum class What : std::uint8_t { answered_by, never_answered, goes_up };
    What what;
    const char* primitive;
    const char* answer;  // answered_by: the primitive that answers it
    const char* reason;
};
std::span<const RuleException> rule_exceptions();

// The rule for every code of every interface, worked out once from the layout table.
class Rules {
public:
    static const Rules& get();
    const CodeRule* find(Interface iface, std::uint16_t code) const;
    const std::vector<PairKind>& kinds() const { return kinds_; }

private:
    Rules();
    std::array<std::unordered_map<std::uint16_t, CodeRule>, 4> codes_;
    std::vector<PairKind> kinds_;
};

// The identity values and the outcome that an entry's record carries (a device address as the
// 48 bits of its text form).
struct Facts {
    std::uint16_t present = 0;  // bit i: identity i
    std::array<std::uint64_t, kIdentityCount> values{};
    bool has_outcome = false;
    std::uint32_t outcome = 0;
};
// "bd_addr=00:12:7C:6A:1F:20 psm=0x3": the identities of `mask` that `facts` holds.
std::string identity_text(const Facts& facts, std::uint16_t mask);
// A device address's 48 bits in the text form users know: "00:12:7C:6A:1F:20".
std::string address_text(std::uint64_t bits);

// Whether an entry takes part, and what its record says: one walk makes the checks of a
// decoding whatever the selection says (throws DecodeError as decoding the entry would) and
// reads the facts that `rule` names (none when it is null).
bool take_entry(const Selection& selection, const Entry& entry, Decoder& decoder, const CodeRule* rule,
                Facts& facts);

// ---- Matching

// Where and when an entry was, and a number of the caller's own to find it by.
struct Place {
    std::uint64_t ordinal = 0;  // the entry's number among those paired, from 0
    std::uint32_t input = 0;
    std::uint32_t tag = 0;      // the caller's
    std::size_t line = 0;
    std::optional<Timestamp> stamp;
    When when;
};

// Requests waiting for their answers, per kind and identity, oldest first.
class Matcher {
public:
    struct Step {
        std::optional<int> kind;     // the kind answered, with its request:
        Place request;
        std::optional<std::int64_t> latency;
        unsigned waiting_kinds = 0;  // kinds with a request the answer could have answered
        bool unmatched = false;      // an answer that reports_unmatched and answered nothing
        bool opened = false;         // the entry now waits for an answer
    };
    // The entry as an answer to the oldest request it may answer, then as a request.
    Step add(const CodeRule& rule, const Facts& facts, const Place& place);
    // The requests still waiting, in capture order, with their kinds (valid until the next add).
    std::vector<std::pair<int, const Place*>> waiting() const;
    std::size_t waiting_count() const { return waiting_; }

private:
    struct Key {
        int kind;
        std::array<std::uint64_t, kIdentityCount> values;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const noexcept;
    };
    struct Queue {
        std::vector<Place> items;
        std::size_t head = 0;
    };
    static Key key_of(int kind, std::uint16_t mask, const Facts& facts);
    std::unordered_map<Key, Queue, KeyHash> queues_;
    std::size_t waiting_ = 0;
};

// Latencies per kind, for percentiles.
class Latencies {
public:
    void add(int kind, std::optional<std::int64_t> us);
    struct Summary {
        std::size_t pairs = 0, timed = 0;
        std::int64_t p50 = 0, p90 = 0, p99 = 0, max = 0;  // when timed
    };
    // Nearest rank: the p-th percentile of n sorted latencies is the ceil(p * n / 100)-th.
    Summary summary(int kind) const;
    // The sorted latencies of a kind.
    const std::vector<std::int64_t>& values(int kind) const;
    // The kinds with pairs, in kind order.
    std::vector<int> kinds() const;

private:
    struct Row {
        std::size_t pairs = 0;
        mutable std::vector<std::int64_t> us;
        mutable bool sorted = true;
    };
    std::vector<Row> rows_;
};

// `rizorod pairs`: each pair, and each answer that answers nothing, as the answer comes; the
// requests still waiting and the latencies per kind at the end (finish, which writes them to
// `out` in pieces).
class PairsHandler final : public Handler {
public:
    PairsHandler(Format format, const Selection& selection);
    void entry(const Entry& entry, const InputInfo& input, ChunkOut& out) override;
    void finish(Output& out);

private:
    void place_json(std::string& out, const Place& place, const char* name, const CodeRule* rule,
                    const Facts* facts) const;
    std::string place_text(const Place& place) const;

    Format format_;
    const Selection& selection_;
    const Rules& rules_;
    Decoder decoder_;
    Matcher matcher_;
    Latencies latencies_;
    std::vector<std::string> inputs_;
    std::uint64_t ordinal_ = 0;
    std::size_t pairs_ = 0, unmatched_ = 0;
};

// `rizorod pairs --rules`: every kind of pair, as text or JSON Lines.
void write_rules(std::string& out, Format format);

}  // namespace rizorod::tool

#endif
