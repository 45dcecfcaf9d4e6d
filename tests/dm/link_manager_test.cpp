// Device Manager link-manager primitives: registration, ACL and SCO links, the parameter cache,
// link policy, flow control, DM-opened links and the status-only completions. Expected texts
// are written out by hand; records end exactly at a guard page, so any read past the layout
// faults.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <set>
#include <vector>

#include "support/decode.h"

namespace {
using riz::test::body;
using riz::test::GapCase;
using riz::test::Guarded;
using riz::test::kNoMatch;
using riz::test::lines;

// A record of `size` bytes, every byte `fill` (gaps keep it), ending at a guard page.
Guarded record(std::size_t size, std::uint8_t fill = 0xee) {
    Guarded r(size);
    std::memset(r.data(), fill, size);
    return r;
}

// Puts the address lap 0x123456, uap 0x78, nap 0x9abc at `o`, gap byte o + 5 left alone.
void put_addr(Guarded& r, std::size_t o) {
    r.put32(o, 0x123456);
    r.put8(o + 4, 0x78);
    r.put16(o + 6, 0x9abc);
}
const std::string kAddr = lines({"\tBD_ADDR_T", "\t\tlap =  123456", "\t\tuap =  78", "\t\tnap =  9abc"});

std::string dm(const Guarded& r, std::uint16_t code) {
    RizOrodOzido d;
    return d.debugDMprim(code, r.data());
}

// ---- Worked examples -------------------------------------------------------------------------

TEST(LinkManager, AclConnectCfmWorkedExample) {
    Guarded r = record(17);
    r.put16(0, 0x2004);
    r.put16(2, 0x0001);
    r.put8(4, 0);
    r.put16(6, 0x0028);
    put_addr(r, 8);
    r.put8(16, 0);
    EXPECT_EQ(body(dm(r, 0x2004)),
              lines({"DM_ACL_CONNECT_CFM_T", "\ttype =  2004", "\tphandle =  01", "\tstatus =  00",
                     "\thandle =  28", "\tBD_ADDR_T", "\t\tlap =  123456", "\t\tuap =  78",
                     "\t\tnap =  9abc", "\tenc_mode =  00"}));
}

TEST(LinkManager, AclDataSentWorkedExampleInProcessPointer) {
    Guarded block = record(64, 0);
    block.put16(0, 0x0028);
    block.put16(2, 3);
    block.put16(4, 0x0029);
    block.put16(6, 1);
    Guarded r = record(24, 0);
    r.put16(0, 0x2009);
    r.put16(2, 0x0005);
    r.put8(4, 2);
    r.put32(8, block.address());
    std::string expected = lines({"DM_ACL_DATA_SENT_IND_T", "\ttype =  2009", "\tphandle =  05",
                                  "\tnum_handles =  02", "\tHANDLE_COMPLETE_T", "\t\thandle =  28",
                                  "\t\tnum_completed =  03", "\tHANDLE_COMPLETE_T", "\t\thandle =  29",
                                  "\t\tnum_completed =  01"});
    for (int i = 0; i < 14; ++i)
        expected += lines({"\tHANDLE_COMPLETE_T", "\t\thandle =  00", "\t\tnum_completed =  00"});
    EXPECT_EQ(body(dm(r, 0x2009)), expected);
}

// ---- Block walk ------------------------------------------------------------------------------

// Serves the four blocks of a DM_ACL_DATA_SENT_IND_T and records which pointer fields were
// followed, and for how many bytes.
class BlockSpace final : public riz::detail::AddressSpace {
public:
    BlockSpace(const Guarded& rec, std::vector<Guarded>& blocks) : rec_(rec), blocks_(blocks) {}
    const unsigned char* bytes(const unsigned char* field, std::uint32_t address,
                               std::uint32_t len) override {
        followed.push_back({static_cast<int>(field - rec_.data()), len});
        for (auto& b : blocks_)
            if (b.address() == address) return b.data();
        ADD_FAILURE() << "unknown block address " << std::hex << address;
        return nullptr;
    }
    const unsigned char* string(const unsigned char*, std::uint32_t, std::uint32_t,
                                std::uint32_t& len) override {
        ADD_FAILURE() << "no text fragments here";
        len = 0;
        return nullptr;
    }
    std::vector<std::pair<int, std::uint32_t>> followed;

private:
    const Guarded& rec_;
    std::vector<Guarded>& blocks_;
};

struct WalkCase {
    unsigned num_handles;
    unsigned blocks_printed;
};
void PrintTo(const WalkCase& c, std::ostream* os) { *os << "num_handles " << c.num_handles; }

class AclDataSentWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(AclDataSentWalk, PrintsWholeBlocksAndFollowsOnlyTheirPointers) {
    const WalkCase c = GetParam();
    // Record k of block b holds handle 0x100 * (b + 1) + k and num_completed 0x40 + 16 * b + k.
    std::vector<Guarded> blocks;
    Guarded r = record(24);  // exactly four pointers: a fifth would lie past the guard page
    r.put16(0, 0x2009);
    r.put16(2, 0x0042);
    r.put8(4, static_cast<std::uint8_t>(c.num_handles));  // bytes 5 to 7 stay 0xee
    for (int b = 0; b < 4; ++b) {
        blocks.emplace_back(64);
        for (int k = 0; k < 16; ++k) {
            blocks.back().put16(4 * k, static_cast<std::uint16_t>(0x100 * (b + 1) + k));
            blocks.back().put16(4 * k + 2, static_cast<std::uint16_t>(0x40 + 16 * b + k));
        }
        r.put32(8 + 4 * b, blocks.back().address());
    }
    char count_line[32];
    std::snprintf(count_line, sizeof count_line, "\tnum_handles =  %02x", c.num_handles);
    std::string expected = lines({"DM_ACL_DATA_SENT_IND_T", "\ttype =  2009", "\tphandle =  42", count_line});
    for (unsigned b = 0; b < c.blocks_printed; ++b)
        for (unsigned k = 0; k < 16; ++k) {
            char h[32], n[32];
            std::snprintf(h, sizeof h, "\t\thandle =  %x", 0x100 * (b + 1) + k);
            std::snprintf(n, sizeof n, "\t\tnum_completed =  %x", 0x40 + 16 * b + k);
            expected += lines({"\tHANDLE_COMPLETE_T", h, n});
        }

    BlockSpace space(r, blocks);
    {
        riz::detail::ScopedAddressSpace use(space);
        EXPECT_EQ(body(dm(r, 0x2009)), expected);
    }
    ASSERT_EQ(space.followed.size(), c.blocks_printed);
    for (unsigned b = 0; b < c.blocks_printed; ++b) {
        EXPECT_EQ(space.followed[b].first, static_cast<int>(8 + 4 * b));
        EXPECT_EQ(space.followed[b].second, 64u);  // a whole block of 16 records
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, AclDataSentWalk,
                         ::testing::Values(WalkCase{0, 0}, WalkCase{1, 1}, WalkCase{16, 1},
                                           WalkCase{17, 2}, WalkCase{48, 3}, WalkCase{49, 4},
                                           WalkCase{64, 4}, WalkCase{65, 4}, WalkCase{255, 4}),
                         [](const auto& info) { return "Count" + std::to_string(info.param.num_handles); });

TEST(LinkManager, AclDataSentNullBlockPointerPrintsNothingForItsBlock) {
    Guarded block = record(64, 0x11);
    Guarded r = record(24);
    r.put16(0, 0x2009);
    r.put16(2, 0x0001);
    r.put8(4, 20);
    r.put32(8, 0);
    r.put32(12, block.address());
    std::string expected = lines({"DM_ACL_DATA_SENT_IND_T", "\ttype =  2009", "\tphandle =  01", "\tnum_handles =  14"});
    for (int k = 0; k < 16; ++k)
        expected += lines({"\tHANDLE_COMPLETE_T", "\t\thandle =  1111", "\t\tnum_completed =  1111"});
    EXPECT_EQ(body(dm(r, 0x2009)), expected);
}

// ---- Status-only completions -----------------------------------------------------------------

class StatusOnly : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(StatusOnly, OneNameLineAndTheRecordsOwnType) {
    Guarded r = record(5);
    r.put16(0, 0x7e5a);  // not the selecting code: the line shows what the record holds
    r.put16(2, 0x0102);
    r.put8(4, 0x3c);
    EXPECT_EQ(body(dm(r, GetParam())),
              lines({"DM_HCI_STANDARD_COMMAND_COMPLETE_T", "\ttype =  7e5a", "\tphandle =  102",
                     "\tstatus =  3c"}));
}

INSTANTIATE_TEST_SUITE_P(
    TwentyFiveCodes, StatusOnly,
    ::testing::Values(0x0421, 0x0422, 0x0423, 0x0c41, 0x0c45, 0x0c46, 0x0c4a, 0x0c4d, 0x0c4f,
                      0x0c51, 0x0c53, 0x0c55, 0x0c59, 0x0c5b, 0x0c5f, 0x0c61, 0x0c63, 0x0c64,
                      0x0c69, 0x0c6b, 0x0c6d, 0x1808, 0x2808, 0x2809, 0x280a),
    [](const auto& info) {
        char name[8];
        std::snprintf(name, sizeof name, "0x%04x", static_cast<unsigned>(info.param));
        return std::string(name);
    });

TEST(LinkManager, StatusOnlyCodesAreExactlyTheTwentyFive) {
    std::set<std::uint16_t> shared;
    for (const auto& row : riz::detail::primitives(riz::detail::Interface::dm))
        if (std::string(row.name) == "DM_HCI_STANDARD_COMMAND_COMPLETE_T") shared.insert(row.code);
    EXPECT_EQ(shared, (std::set<std::uint16_t>{0x0421, 0x0422, 0x0423, 0x0c41, 0x0c45, 0x0c46, 0x0c4a,
                                               0x0c4d, 0x0c4f, 0x0c51, 0x0c53, 0x0c55, 0x0c59, 0x0c5b,
                                               0x0c5f, 0x0c61, 0x0c63, 0x0c64, 0x0c69, 0x0c6b, 0x0c6d,
                                               0x1808, 0x2808, 0x2809, 0x280a}));
}

// ---- Layout details --------------------------------------------------------------------------

// The request forms without a phandle: bytes 2 and 3 are never shown, the address group follows
// the type line.
TEST(LinkManager, RequestsWithoutPhandleGoFromTypeToAddress) {
    Guarded connect = record(14);
    connect.put16(0, 0x2003);
    put_addr(connect, 4);
    connect.put16(12, 0xcc18);
    EXPECT_EQ(body(dm(connect, 0x2003)),
              lines({"DM_ACL_CONNECT_REQ_T", "\ttype =  2003"}) + kAddr + "\tpacket_type =  cc18\n");

    Guarded page = record(14);
    page.put16(0, 0x2801);
    put_addr(page, 4);
    page.put8(12, 0x01);
    page.put8(13, 0x02);
    EXPECT_EQ(body(dm(page, 0x2801)),
              lines({"DM_WRITE_CACHED_PAGE_MODE_REQ_T", "\ttype =  2801"}) + kAddr +
                  lines({"\tpage_scan_mode =  01", "\tpage_scan_rep_mode =  02"}));

    Guarded clock = record(14);
    clock.put16(0, 0x2802);
    put_addr(clock, 4);
    clock.put16(12, 0x4a21);
    EXPECT_EQ(body(dm(clock, 0x2802)),
              lines({"DM_WRITE_CACHED_CLOCK_OFFSET_REQ_T", "\ttype =  2802"}) + kAddr +
                  "\tclock_offset =  4a21\n");

    const std::pair<std::uint16_t, const char*> address_only[] = {
        {0x2803, "DM_CLEAR_PARAM_CACHE_REQ_T"}, {0x2805, "DM_ACL_OPEN_REQ_T"}, {0x2806, "DM_ACL_CLOSE_REQ_T"}};
    for (const auto& [code, name] : address_only) {
        Guarded r = record(12);
        r.put16(0, code);
        put_addr(r, 4);
        char type_line[32];
        std::snprintf(type_line, sizeof type_line, "\ttype =  %x", code);
        EXPECT_EQ(body(dm(r, code)), lines({name, type_line}) + kAddr) << name;
    }
}

TEST(LinkManager, HandleNotPhandleAtOffsetTwo) {
    Guarded res = record(5);
    res.put16(0, 0x2406);
    res.put16(2, 0x0031);
    res.put8(4, 0x02);  // a flag shown as stored
    EXPECT_EQ(body(dm(res, 0x2406)), lines({"DM_SCO_CONNECT_RES_T", "\ttype =  2406", "\thandle =  31", "\taccept =  02"}));

    Guarded sco = record(5);
    sco.put16(0, 0x2407);
    sco.put16(2, 0x0032);
    sco.put8(4, 0x13);
    EXPECT_EQ(body(dm(sco, 0x2407)), lines({"DM_SCO_DISCONNECT_REQ_T", "\ttype =  2407", "\thandle =  32", "\treason =  13"}));

    Guarded acl = record(5);
    acl.put16(0, 0x2006);
    acl.put16(2, 0x0033);
    acl.put8(4, 0x16);
    EXPECT_EQ(body(dm(acl, 0x2006)), lines({"DM_ACL_DISCONNECT_REQ_T", "\ttype =  2006", "\thandle =  33", "\treason =  16"}));

    Guarded cl = record(4);
    cl.put16(0, 0x200a);
    cl.put16(2, 0x0034);
    EXPECT_EQ(body(dm(cl, 0x200a)), lines({"DM_CONNECTIONLESS_CH_REG_REQ_T", "\ttype =  200a", "\thandle =  34"}));
}

TEST(LinkManager, ConfirmAndIndicationShareTheirLayout) {
    Guarded sco = record(25);
    sco.put16(0, 0x2404);
    sco.put16(2, 0x0007);
    sco.put32(4, 0xdeadbeef);
    sco.put8(8, 0x00);
    sco.put16(10, 0x0101);
    sco.put8(12, 0x05);
    put_addr(sco, 16);
    sco.put8(24, 0x01);
    const std::string fields = lines({"\ttype =  2404", "\tphandle =  07", "\tpv_cbarg =  deadbeef",
                                      "\tstatus =  00", "\thandle =  101", "\tlm_sco_handle =  05"}) +
                               kAddr + "\tenc_mode =  01\n";
    EXPECT_EQ(body(dm(sco, 0x2404)), "DM_SCO_CONNECT_CFM_T\n" + fields);
    EXPECT_EQ(body(dm(sco, 0x2405)), "DM_SCO_CONNECT_IND_T\n" + fields);

    Guarded acl = record(17);
    acl.put16(0, 0x2004);
    acl.put16(2, 0x0002);
    acl.put8(4, 0x04);
    acl.put16(6, 0x0100);
    put_addr(acl, 8);
    acl.put8(16, 0x00);
    const std::string acl_fields = lines({"\ttype =  2004", "\tphandle =  02", "\tstatus =  04", "\thandle =  100"}) +
                                   kAddr + "\tenc_mode =  00\n";
    EXPECT_EQ(body(dm(acl, 0x2005)), "DM_ACL_CONNECT_IND_T\n" + acl_fields);
}

TEST(LinkManager, FlowControlFlagIsCapitalisedAndShownAsStored) {
    Guarded r = record(5);
    r.put16(0, 0x280b);
    r.put16(2, 0x0003);
    r.put8(4, 0x02);
    EXPECT_EQ(body(dm(r, 0x280b)),
              lines({"DM_HC_TO_HOST_FLOW_CONTROL_T", "\ttype =  280b", "\tphandle =  03", "\tActive =  02"}));
}

TEST(LinkManager, OpenedIndicationShowsTheWholeDeviceClass) {
    Guarded r = record(20);
    r.put16(0, 0x280d);
    r.put16(2, 0x0004);
    put_addr(r, 4);
    r.put8(12, 0x01);
    r.put32(16, 0xff5a020c);
    EXPECT_EQ(body(dm(r, 0x280d)), lines({"DM_ACL_OPENED_IND_T", "\ttype =  280d", "\tphandle =  04"}) + kAddr +
                                       lines({"\tincoming =  01", "\tdev_class =  ff5a020c"}));
}

TEST(LinkManager, RegistrationAtCodeZeroAndTheCodesThatAreNotDefined) {
    Guarded r = record(4);
    r.put16(0, 0x0000);
    r.put16(2, 0x0abc);
    EXPECT_EQ(body(dm(r, 0x0000)), lines({"DM_AM_REGISTER_REQ_T", "\ttype =  00", "\tphandle =  abc"}));
    Guarded unused = record(64);
    EXPECT_EQ(dm(unused, 0x2807), kNoMatch);
    EXPECT_EQ(dm(unused, 0x2000), kNoMatch);
    EXPECT_EQ(dm(unused, 0x200b), kNoMatch);
    EXPECT_EQ(dm(unused, 0x2400), kNoMatch);
    EXPECT_EQ(dm(unused, 0x240b), kNoMatch);
    EXPECT_EQ(dm(unused, 0x280f), kNoMatch);
}

// Gap bytes take part in no line: the text is the same whatever they hold.
class Gaps : public ::testing::TestWithParam<GapCase> {};

TEST_P(Gaps, NeverPrinted) {
    const GapCase& c = GetParam();
    riz::test::expect_gaps_never_printed(riz::detail::Interface::dm, c.code, c.size, c.gaps);
}

INSTANTIATE_TEST_SUITE_P(
    LinkManager, Gaps,
    ::testing::Values(GapCase{0x2003, 14, {2, 3, 9}}, GapCase{0x2004, 17, {5, 13}},
                      GapCase{0x2005, 17, {5, 13}}, GapCase{0x2007, 9, {5}},
                      GapCase{0x2403, 18, {13}}, GapCase{0x2404, 25, {9, 13, 14, 15, 21}},
                      GapCase{0x2405, 25, {9, 13, 14, 15, 21}}, GapCase{0x2408, 13, {9}},
                      GapCase{0x2801, 14, {2, 3, 9}}, GapCase{0x2802, 14, {2, 3, 9}},
                      GapCase{0x2803, 12, {2, 3, 9}}, GapCase{0x2805, 12, {2, 3, 9}},
                      GapCase{0x2806, 12, {2, 3, 9}}, GapCase{0x280c, 13, {9}},
                      GapCase{0x280d, 20, {9, 13, 14, 15}}, GapCase{0x280e, 12, {9}}),
    riz::test::gap_case_name);

// ---- Every code: header, name, type, and no read past the record -----------------------------

struct Prim {
    std::uint16_t code;
    const char* name;
    std::uint16_t size;
};

const Prim kLinkManager[] = {
    {0x0000, "DM_AM_REGISTER_REQ_T", 4},
    {0x0001, "DM_AM_REGISTER_CFM_T", 4},
    {0x0421, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0422, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0423, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c41, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c45, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c46, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c4a, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c4d, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c4f, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c51, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c53, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c55, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c59, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c5b, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c5f, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c61, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c63, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c64, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c69, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c6b, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x0c6d, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x1808, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x2001, "DM_ACL_REGISTER_REQ_T", 4},
    {0x2002, "DM_ACL_REGISTER_CFM_T", 4},
    {0x2003, "DM_ACL_CONNECT_REQ_T", 14},
    {0x2004, "DM_ACL_CONNECT_CFM_T", 17},
    {0x2005, "DM_ACL_CONNECT_IND_T", 17},
    {0x2006, "DM_ACL_DISCONNECT_REQ_T", 5},
    {0x2007, "DM_ACL_DISCONNECT_IND_T", 9},
    {0x2008, "DM_ACL_BUFFER_SIZE_IND_T", 8},
    {0x2009, "DM_ACL_DATA_SENT_IND_T", 24},
    {0x200a, "DM_CONNECTIONLESS_CH_REG_REQ_T", 4},
    {0x2401, "DM_SCO_INCOMING_REGISTER_REQ_T", 8},
    {0x2402, "DM_SCO_INCOMING_UNREGISTER_REQ_T", 8},
    {0x2403, "DM_SCO_CONNECT_REQ_T", 18},
    {0x2404, "DM_SCO_CONNECT_CFM_T", 25},
    {0x2405, "DM_SCO_CONNECT_IND_T", 25},
    {0x2406, "DM_SCO_CONNECT_RES_T", 5},
    {0x2407, "DM_SCO_DISCONNECT_REQ_T", 5},
    {0x2408, "DM_SCO_DISCONNECT_IND_T", 13},
    {0x2409, "DM_SCO_BUFFER_SIZE_IND_T", 8},
    {0x240a, "DM_SCO_DATA_SENT_IND_T", 8},
    {0x2801, "DM_WRITE_CACHED_PAGE_MODE_REQ_T", 14},
    {0x2802, "DM_WRITE_CACHED_CLOCK_OFFSET_REQ_T", 14},
    {0x2803, "DM_CLEAR_PARAM_CACHE_REQ_T", 12},
    {0x2804, "DM_SET_DEFAULT_LINK_POLICY_T", 6},
    {0x2805, "DM_ACL_OPEN_REQ_T", 12},
    {0x2806, "DM_ACL_CLOSE_REQ_T", 12},
    {0x2808, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x2809, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x280a, "DM_HCI_STANDARD_COMMAND_COMPLETE_T", 5},
    {0x280b, "DM_HC_TO_HOST_FLOW_CONTROL_T", 5},
    {0x280c, "DM_ACL_OPEN_CFM_T", 13},
    {0x280d, "DM_ACL_OPENED_IND_T", 20},
    {0x280e, "DM_ACL_CLOSED_IND_T", 12},
};

TEST(LinkManager, EveryCodeDecodesARandomRecordOfExactlyItsSize) {
    ASSERT_EQ(std::size(kLinkManager), 57u);
    std::set<std::uint16_t> codes;
    for (const Prim& p : kLinkManager) {
        SCOPED_TRACE(p.name);
        const riz::detail::PrimInfo* row = riz::detail::find_primitive(riz::detail::Interface::dm, p.code);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->name, p.name);
        EXPECT_EQ(row->size, p.size);
        codes.insert(p.code);
    }
    riz::test::expect_random_records_decode(riz::detail::Interface::dm, codes);
}

// The DM's own link-manager codes (0x2xxx below the security manager) are exactly these.
TEST(LinkManager, NoOtherCodesInTheLinkManagerGroups) {
    std::set<std::uint16_t> expected, found;
    for (const Prim& p : kLinkManager)
        if (p.code >= 0x2000) expected.insert(p.code);
    for (const auto& row : riz::detail::primitives(riz::detail::Interface::dm))
        if (row.code >= 0x2000 && row.code < 0x2c00) found.insert(row.code);
    EXPECT_EQ(found, expected);
}

}  // namespace
