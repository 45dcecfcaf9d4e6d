// SPDX-License-Identifier: Apache-2.0
// The pairing's parts that the tool's command tables cannot reach one by one: the latency rule,
// what the rows make of each primitive (role, direction, fields read), the timeline's widening
// bins, and what the report draws within its limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>

#include "pairs.h"
#include "report.h"

namespace {

using rizorod::Entry;
using rizorod::Interface;
using rizorod::Timestamp;
using namespace rizorod::tool;

Timestamp stamp(const char* text) { return *rizorod::parse_timestamp(text); }

// The entries of a capture given as text.
std::vector<Entry> entries(const std::string& text) {
    std::vector<Entry> out;
    rizorod::CaptureParser parser;
    Entry entry;
    rizorod::Problem problem;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        const std::string line = text.substr(from, end - from);
        from = end == std::string::npos ? text.size() : end + 1;
        while (parser.line(line, entry, problem) == rizorod::CaptureParser::Step::entry) out.push_back(std::exchange(entry, {}));
    }
    if (parser.finish()) out.push_back(entry);
    return out;
}

TEST(Latency, DatedByInstantOtherwiseByTimeOfDay) {
    const struct {
        const char *from, *to;
        std::int64_t us;
    } cases[] = {
        {"12:00:00.000", "12:00:00.250", 250'000},
        {"23:59:59.900", "00:00:00.100", 200'000},                      // midnight between
        {"12:00:00.010", "12:00:00.000", -10'000},                      // logged out of order
        {"12:00:00.000", "00:00:00.001", -43'199'999'000},              // twelve hours back: not a midnight
        {"12:00:00.001", "00:00:00.000", 43'199'999'000},               // just over: a midnight
        {"2024-05-14 23:59:59.900", "2024-05-15 00:00:00.100", 200'000},
        {"2024-05-14 12:00:00.000", "2024-05-16 12:00:00.000", 2 * kDayUs},  // dates count whole days
        {"2024-05-15 00:00:00.100", "2024-05-14 23:59:59.900", -200'000},    // dated: as the stamps say
        {"2024-05-14 23:59:59.900", "00:00:00.100", 200'000},           // one date only: times of day
        {"2024-05-14 12:00:00.000", "2024-05-14 13:00:00.000", 3'600'000'000},
    };
    for (const auto& c : cases) {
        const auto us = latency_us(when_of(stamp(c.from)), when_of(stamp(c.to)));
        ASSERT_TRUE(us.has_value()) << c.from << " " << c.to;
        EXPECT_EQ(*us, c.us) << c.from << " -> " << c.to;
    }
    EXPECT_FALSE(latency_us(when_of(std::nullopt), when_of(stamp("12:00:00.000"))));
    EXPECT_FALSE(latency_us(when_of(stamp("12:00:00.000")), when_of(std::nullopt)));
}

TEST(Rules, RoleAndDirectionOfEachKindOfName) {
    const struct {
        Interface iface;
        std::uint16_t code;
        Role role;
        bool up;
    } cases[] = {
        {Interface::dm, 0x0000, Role::request, false},      // DM_AM_REGISTER_REQ_T: a phandle, still down
        {Interface::dm, 0x2004, Role::confirm, true},       // DM_ACL_CONNECT_CFM_T
        {Interface::dm, 0x2c17, Role::indication, true},    // DM_SM_PIN_REQUEST_IND_T
        {Interface::dm, 0x2c0b, Role::response, false},     // DM_SM_PIN_REQUEST_RES_T
        {Interface::dm, 0x0c03, Role::command, false},      // HCI_RESET_T
        {Interface::dm, 0x0419, Role::command, false},      // HCI_REMOTE_NAME_REQ_T: the header decides
        {Interface::dm, 0x0c4a, Role::completion, true},    // a status-only completion
        {Interface::dm, 0x0424, Role::other, true},         // DM_HCI_INQUIRY_RESULT_T: phandle at 2
        {Interface::dm, 0x2c1c, Role::other, true},         // DM_SM_ENCRYPTION_CHANGE_T
        {Interface::dm, 0x2804, Role::other, false},        // DM_SET_DEFAULT_LINK_POLICY_T
        {Interface::dm, 0x080d, Role::other, false},        // DM_HCI_WRITE_LP_SETTINGS_T
        {Interface::l2cap, 0x0008, Role::response, false},  // L2CA_CONFIG_RSP_T
        {Interface::l2cap, 0x0114, Role::response, true},   // BNEP_HCI_SWITCH_ROLE_RSP_T: the exception
    };
    for (const auto& c : cases) {
        const CodeRule* rule = Rules::get().find(c.iface, c.code);
        ASSERT_NE(rule, nullptr) << c.code;
        EXPECT_EQ(rule->role, c.role) << rule->record->name;
        EXPECT_EQ(rule->up, c.up) << rule->record->name;
    }
}

TEST(Rules, EveryExceptionNamesPrimitivesThatExist) {
    std::vector<std::string> names;
    for (Interface iface : rizorod::kInterfaces)
        for (const auto& p : rizorod::primitives(iface)) names.push_back(p.name);
    const auto known = [&](const char* name) { return std::find(names.begin(), names.end(), name) != names.end(); };
    for (const RuleException& e : rule_exceptions()) {
        EXPECT_TRUE(known(e.primitive)) << e.primitive;
        if (e.answer != nullptr) {
            EXPECT_TRUE(known(e.answer)) << e.answer;
        }
        EXPECT_NE(std::string(e.reason), "");
    }
}

TEST(Facts, IdentitiesAndOutcomeReadFromTheRecord) {
    // DM_ACL_CONNECT_CFM_T with status 5, handle 0x29 and an address whose LAP slot has a fourth
    // byte set (not part of the address); HCI_READ_CLOCK_OFFSET_T, an HCI command with its
    // handle and address after the header; L2CA_CONNECT_CFM_T with its response;
    // DM_ACL_DATA_SENT_IND_T, whose handles in its block walk are not the record's own.
    std::string rest_of_block;  // the whole block is read: 16 elements
    for (int i = 0; i < 60; ++i) rest_of_block += " 00";
    const struct {
        std::string line;
        const char* identities;
        int outcome;
    } cases[] = {
        {"dm 04 20 01 00 05 00 29 00 20 1f 6a ff 7c 00 12 00 00", "phandle=0x1 handle=0x29 bd_addr=00:12:7C:6A:1F:20", 5},
        {"dm 1f 04 02 00 34 12 00 00 33 22 11 00 44 00 66 55", "handle=0x1234 bd_addr=55:66:44:11:22:33", -1},
        {"l2cap 06 00 02 00 20 1f 6a 00 7c 00 12 00 40 00 03 00 01 00",
         "phandle=0x2 bd_addr=00:12:7C:6A:1F:20 cid=0x40 psm=0x3", 1},
        {"dm 09 20 03 00 01 00 00 00 00 30 20 00 00 00 00 00 00 00 00 00 00 00 00 00\n@00203000 29 00 02 00" +
             rest_of_block,
         "phandle=0x3", -1},
    };
    const rizorod::tool::Selection all;
    rizorod::Decoder decoder;
    for (const auto& c : cases) {
        const Entry e = entries(c.line).at(0);
        const CodeRule* rule = Rules::get().find(e.iface, e.code);
        ASSERT_NE(rule, nullptr) << c.line;
        Facts facts;
        ASSERT_TRUE(take_entry(all, e, decoder, rule, facts)) << c.line;
        EXPECT_EQ(identity_text(facts, 0xffff), c.identities) << c.line;
        EXPECT_EQ(facts.has_outcome ? static_cast<int>(facts.outcome) : -1, c.outcome) << c.line;
    }
}

TEST(Timeline, BinsWidenAndKeepEveryCount) {
    Timeline t;
    std::uint32_t added = 0;
    for (std::int64_t s = -5; s < 10000; s += 3, ++added) t.add(s, static_cast<unsigned>(s & 3));
    const Timeline::Bins b = t.bins(600);
    EXPECT_LE(b.counts.size(), 600u);
    EXPECT_LE(b.start, -5);  // the first bin holds the first second, before 0 too
    EXPECT_GT(b.start + b.width * static_cast<std::int64_t>(b.counts.size()), 9997);
    std::uint32_t total = 0;
    for (const auto& c : b.counts) total += c[0] + c[1] + c[2] + c[3];
    EXPECT_EQ(total, added);
    // Few seconds: one bin each, gaps included.
    Timeline few;
    few.add(100, 0);
    few.add(103, 2);
    const Timeline::Bins f = few.bins(600);
    EXPECT_EQ(f.start, 100);
    EXPECT_EQ(f.width, 1);
    ASSERT_EQ(f.counts.size(), 4u);
    EXPECT_EQ(f.counts[3][2], 1u);
}

// What the report's page was given: its data, as the tool wrote it into the page.
struct Drawn {
    std::string data;
    std::vector<std::uint64_t> ordinals;  // of the arrows, by index
    struct Chart {
        std::string title;
        std::size_t total;
        std::vector<std::uint64_t> entries;
    };
    std::vector<Chart> charts;

    explicit Drawn(const std::string& page) {
        const std::string open = "<script id=\"report-data\" type=\"application/json\">";
        const std::size_t from = page.find(open) + open.size();
        data = page.substr(from, page.find("</script>", from) - from);
        const std::regex arrow(R"re(\[(\d+),\d,(?:"[A-Z0-9_]+"|null),")re");
        for (std::sregex_iterator i(data.begin(), data.end(), arrow), end; i != end; ++i)
            ordinals.push_back(std::stoull((*i)[1]));
        const std::regex chart(R"re(\{"id":"[^"]+","title":"([^"]*)","total":(\d+),"arrows":\[([0-9,]*)\]\})re");
        for (std::sregex_iterator i(data.begin(), data.end(), chart), end; i != end; ++i) {
            Chart c{(*i)[1], std::stoul((*i)[2]), {}};
            const std::string list = (*i)[3];
            for (std::size_t at = 0; at < list.size();) {
                c.entries.push_back(ordinals.at(std::stoul(list.substr(at))));
                at = list.find(',', at);
                at = at == std::string::npos ? list.size() : at + 1;
            }
            charts.push_back(c);
        }
    }
    const Chart* chart(const std::string& title) const {
        for (const Chart& c : charts)
            if (c.title == title) return &c;
        return nullptr;
    }
};

Drawn report(const std::string& capture, const ReportLimits& limits = {}) {
    const Selection none;
    ReportHandler handler(none, limits);
    ChunkOut out;
    for (const Entry& e : entries(capture)) handler.entry(e, {"t.cap", 0}, out);
    return Drawn(handler.html("t", "test"));
}

constexpr char kA[] = "20 1f 6a 00 7c 00 12 00";  // 00:12:7C:6A:1F:20

TEST(Report, ConnectionsByAddressByLearntLinkAndByRequest) {
    const std::string a = kA;
    const Drawn d = report(
        "12:00:00.000 dm 04 20 01 00 00 00 29 00 " + a + " 00\n"                   // 0 CONNECT_CFM: A, handle 0x29
        "12:00:00.100 dm 07 20 01 00 00 00 29 00 13\n"                             // 1 DISCONNECT_IND, handle 0x29: A
        "12:00:00.200 dm 07 20 01 00 00 00 33 00 13\n"                             // 2 handle 0x33, never seen
        "12:00:00.300 sdp 01 00 04 00 " + a + " 00 00 00 00 00 00 00 00 10 00\n"   // 3 SERVICE_SEARCH_REQ: A
        "12:00:00.400 sdp 02 00 04 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"  // 4 its CFM
        "12:00:00.500 sdp 02 00 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"  // 5 answers nothing
    );
    ASSERT_EQ(d.charts.size(), 3u);
    EXPECT_EQ(d.charts[0].entries, (std::vector<std::uint64_t>{0, 1, 2, 3, 4, 5}));
    ASSERT_NE(d.chart("00:12:7C:6A:1F:20"), nullptr);
    EXPECT_EQ(d.chart("00:12:7C:6A:1F:20")->entries, (std::vector<std::uint64_t>{0, 1, 3, 4}));
    ASSERT_NE(d.chart("handle 0x0033"), nullptr);
    EXPECT_EQ(d.chart("handle 0x0033")->entries, (std::vector<std::uint64_t>{2}));
}

TEST(Report, DrawsWithinItsLimitsAndCountsTheRest) {
    std::string capture;
    for (int i = 0; i < 6; ++i) {  // six connections, the first with three entries
        char addr[32];
        std::snprintf(addr, sizeof addr, "%02x 00 00 00 00 00 00 00", i);
        for (int k = 0; k < (i == 0 ? 3 : 1); ++k) capture += std::string("12:00:00.000 dm 03 20 00 00 ") + addr + " 18 cc\n";
    }
    ReportLimits limits;
    limits.session_arrows = 4;
    limits.connections = 2;
    limits.connection_arrows = 2;
    const Drawn d = report(capture, limits);
    ASSERT_EQ(d.charts.size(), 3u);  // the session and two connections
    EXPECT_EQ(d.charts[0].total, 8u);
    EXPECT_EQ(d.charts[0].entries, (std::vector<std::uint64_t>{0, 1, 2, 3}));
    EXPECT_EQ(d.charts[1].total, 3u);
    EXPECT_EQ(d.charts[1].entries, (std::vector<std::uint64_t>{0, 1}));
    EXPECT_EQ(d.charts[2].entries, (std::vector<std::uint64_t>{3}));
    EXPECT_NE(d.data.find("\"charts_more\":4"), std::string::npos);
    EXPECT_EQ(d.ordinals, (std::vector<std::uint64_t>{0, 1, 2, 3}));  // only what a chart draws
}

TEST(Report, DecodingsCutAndWithinTheirBudget) {
    std::string capture;
    for (int i = 0; i < 5; ++i) capture += "12:00:00.000 dm 04 20 01 00 00 00 29 00 " + std::string(kA) + " 00\n";
    ReportLimits limits;
    limits.text_bytes = 60;
    limits.text_budget = 250;  // two cut decodings of about 110 bytes
    const Drawn d = report(capture, limits);
    EXPECT_NE(d.data.find("more bytes: rizorod decode shows them all"), std::string::npos);
    EXPECT_NE(d.data.find("\"texts_left_out\":3"), std::string::npos);
}

TEST(Report, NoTextEndsThePagesScript) {
    // A device name holding "</script>" stays inside the data.
    const Drawn d = report(
        "12:00:00.000 dm 13 0c f8 00 00 a1 04 08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
        "@0804a100 3c 2f 73 63 72 69 70 74 3e 3c 62 3e 00\n");
    EXPECT_EQ(d.data.find('<'), std::string::npos);
    EXPECT_NE(d.data.find("\\u003c/script>\\u003cb>"), std::string::npos);
    ASSERT_EQ(d.ordinals.size(), 1u);
}

}  // namespace
