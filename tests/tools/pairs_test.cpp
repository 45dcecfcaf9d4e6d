// The pairing's parts that the tool's command tables cannot reach one by one: the latency rule,
// what the rows make of each primitive (role, direction, the fields read from a record).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>

#include "pairs.h"

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

}  // namespace
