// HCI command primitives of the Device Manager interface. Every record is placed so that it ends
// exactly where its decoder must stop reading: one byte further faults.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/decode.h"

namespace {
using riz::test::Guarded;
using riz::test::hex;
using riz::test::kNoMatch;
using riz::test::lines;

std::string dm(std::uint16_t code, const void* prim) {
    RizOrodOzido d;
    return riz::test::body(d.debugDMprim(code, prim));
}

// A record of exactly `size` bytes beginning with the command header; other bytes hold 0xee.
Guarded command(std::size_t size, std::uint16_t op_code, std::uint8_t length) {
    Guarded g(size);
    std::memset(g.data(), 0xee, size);
    g.put16(0, op_code);
    if (size > 2) g.put8(2, length);
    return g;
}

std::string header_lines(const std::string& name, const std::string& op_code, const std::string& length) {
    return lines({name, "\tHCI_COMMAND_COMMON_T", "\t\top_code =  " + op_code, "\t\tlength =  " + length});
}

// ---- Worked examples ---------------------------------------------------------------------------

TEST(HciCommands, WriteScanEnableWorkedExample) {
    Guarded r = command(5, 0x0c1a, 0x01);
    r.put8(4, 0x03);
    EXPECT_EQ(dm(0x0c1a, r.data()), lines({"HCI_WRITE_SCAN_ENABLE_T", "\tHCI_COMMAND_COMMON_T",
                                           "\t\top_code =  c1a", "\t\tlength =  01",
                                           "\tscan_enable =  03"}));
}

TEST(HciCommands, WriteCurrentIacLapWorkedExample) {
    Guarded block(8);
    block.put32(0, 0x9e8b33);
    block.put32(4, 0x9e8b00);
    Guarded r = command(12, 0x0c3a, 0x07);
    r.put8(4, 2);
    r.put32(8, block.address());
    EXPECT_EQ(dm(0x0c3a, r.data()), lines({"HCI_WRITE_CURRENT_IAC_LAP_T", "\tHCI_COMMAND_COMMON_T",
                                           "\t\top_code =  c3a", "\t\tlength =  07",
                                           "\tnum_current_iac =  02", "\tiac_lap =  9e8b33",
                                           "\tiac_lap =  9e8b00", ""}));
}

TEST(HciCommands, ChangeLocalNameWorkedExample) {
    Guarded name({'a', 'b', 'c', 0});
    Guarded r = command(8, 0x0c13, 0xf8);
    r.put32(4, name.address());
    EXPECT_EQ(dm(0x0c13, r.data()), lines({"HCI_CHANGE_LOCAL_NAME_T", "\tHCI_COMMAND_COMMON_T",
                                           "\t\top_code =  c13", "\t\tlength =  f8",
                                           "\tname_part = abc"}));
}

// ---- Header-only commands ----------------------------------------------------------------------

struct Header {
    std::uint16_t code;
    const char* name;
    const char* op_code;  // as printed
};
void PrintTo(const Header& h, std::ostream* os) { *os << h.name; }

const std::vector<Header> kHeaderOnly = {
    {0x0402, "HCI_INQUIRY_CANCEL_T", "402"},
    {0x0404, "HCI_EXIT_PERIODIC_INQUIRY_MODE_T", "404"},
    {0x0c03, "HCI_RESET_T", "c03"},
    {0x0c09, "HCI_READ_PIN_TYPE_T", "c09"},
    {0x0c0b, "HCI_CREATE_NEW_UNIT_KEY_T", "c0b"},
    {0x0c14, "HCI_READ_LOCAL_NAME_T", "c14"},
    {0x0c15, "HCI_READ_CONN_ACCEPT_TIMEOUT_T", "c15"},
    {0x0c17, "HCI_READ_PAGE_TIMEOUT_T", "c17"},
    {0x0c19, "HCI_READ_SCAN_ENABLE_T", "c19"},
    {0x0c1b, "HCI_READ_PAGESCAN_ACTIVITY_T", "c1b"},
    {0x0c1d, "HCI_READ_INQUIRYSCAN_ACTIVITY_T", "c1d"},
    {0x0c1f, "HCI_READ_AUTH_ENABLE_T", "c1f"},
    {0x0c21, "HCI_READ_ENC_MODE_T", "c21"},
    {0x0c23, "HCI_READ_CLASS_OF_DEVICE_T", "c23"},
    {0x0c25, "HCI_READ_VOICE_SETTING_T", "c25"},
    {0x0c29, "HCI_READ_NUM_BCAST_RETXS_T", "c29"},
    {0x0c2b, "HCI_READ_HOLD_MODE_ACTIVITY_T", "c2b"},
    {0x0c2e, "HCI_READ_SCO_FLOW_CON_ENABLE_T", "c2e"},
    {0x0c38, "HCI_READ_NUM_SUPPORTED_IAC_T", "c38"},
    {0x0c39, "HCI_READ_CURRENT_IAC_LAP_T", "c39"},
    {0x0c3b, "HCI_READ_PAGESCAN_PERIOD_MODE_T", "c3b"},
    {0x0c3d, "HCI_READ_PAGESCAN_MODE_T", "c3d"},
    {0x1001, "HCI_READ_LOCAL_VER_INFO_T", "1001"},
    {0x1003, "HCI_READ_LOCAL_SUPP_FEATURES_T", "1003"},
    {0x1007, "HCI_READ_COUNTRY_CODE_T", "1007"},
    {0x1009, "HCI_READ_BD_ADDR_T", "1009"},
    {0x1803, "HCI_ENABLE_DUT_MODE_T", "1803"},
};

class HeaderOnlyCommand : public ::testing::TestWithParam<Header> {};

// The name line, the header's name line at one tab and its two fields at two tabs; the gap
// byte 3 is not read.
TEST_P(HeaderOnlyCommand, PrintsHeaderOnly) {
    const Header& h = GetParam();
    Guarded r = command(3, h.code, 0x00);
    EXPECT_EQ(dm(h.code, r.data()), header_lines(h.name, h.op_code, "00"));
}

INSTANTIATE_TEST_SUITE_P(All27, HeaderOnlyCommand, ::testing::ValuesIn(kHeaderOnly),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Connection-addressed commands -------------------------------------------------------------

const std::vector<Header> kConnection = {
    {0x0415, "HCI_CHANGE_CONN_LINK_KEY_T", "415"},
    {0x041b, "HCI_READ_REMOTE_SUPP_FEATURES_T", "41b"},
    {0x041d, "HCI_READ_REMOTE_VER_INFO_T", "41d"},
    {0x041f, "HCI_READ_CLOCK_OFFSET_T", "41f"},
    {0x0804, "HCI_EXIT_SNIFF_MODE_T", "804"},
    {0x0806, "HCI_EXIT_PARK_MODE_T", "806"},
    {0x0809, "HCI_ROLE_DISCOVERY_T", "809"},
    {0x080c, "HCI_READ_LINK_POLICY_SETTINGS_T", "80c"},
    {0x0c08, "HCI_FLUSH_T", "c08"},
    {0x0c27, "HCI_READ_AUTO_FLUSH_TIMEOUT_T", "c27"},
    {0x0c36, "HCI_READ_LINK_SUPERV_TIMEOUT_T", "c36"},
    {0x1401, "HCI_READ_FAILED_CONTACT_COUNT_T", "1401"},
    {0x1402, "HCI_RESET_FAILED_CONTACT_COUNT_T", "1402"},
    {0x1403, "HCI_GET_LINK_QUALITY_T", "1403"},
    {0x1405, "HCI_READ_RSSI_T", "1405"},
};

class ConnectionAddressedCommand : public ::testing::TestWithParam<Header> {};

// handle at offset 4, bytes 6 and 7 a gap, the address at offset 8.
TEST_P(ConnectionAddressedCommand, PrintsHandleAndAddress) {
    const Header& h = GetParam();
    Guarded r = command(16, h.code, 0x02);
    r.put16(4, 0x0029);
    r.put32(8, 0x9e8b33);
    r.put8(12, 0x5b);
    r.put16(14, 0x0002);
    EXPECT_EQ(dm(h.code, r.data()),
              header_lines(h.name, h.op_code, "02") +
                  lines({"\thandle =  29", "\tBD_ADDR_T", "\t\tlap =  9e8b33", "\t\tuap =  5b",
                         "\t\tnap =  02"}));
}

INSTANTIATE_TEST_SUITE_P(All15, ConnectionAddressedCommand, ::testing::ValuesIn(kConnection),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Commands with their own parameters --------------------------------------------------------

struct Golden {
    const char* what;
    std::uint16_t code;
    std::vector<std::uint8_t> bytes;  // exactly the record's extent; 0xee marks gaps
    std::string expected;
};
void PrintTo(const Golden& g, std::ostream* os) { *os << g.what; }

class HciCommandGolden : public ::testing::TestWithParam<Golden> {};

TEST_P(HciCommandGolden, PrintsExpectedLines) {
    const Golden& g = GetParam();
    Guarded r(g.bytes);
    EXPECT_EQ(dm(g.code, r.data()), g.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HciCommandGolden,
    ::testing::Values(
        Golden{"InquiryLapShowsFourthByte", 0x0401,
               {0x01, 0x04, 0x05, 0xee, 0x33, 0x8b, 0x9e, 0x01, 0x30, 0x00},
               header_lines("HCI_INQUIRY_T", "401", "05") +
                   lines({"\tlap =  19e8b33", "\tinquiry_length =  30", "\tnum_responses =  00"})},
        Golden{"ChangeConnPacketTypeHandleOnly", 0x040f,
               {0x0f, 0x04, 0x04, 0xee, 0x29, 0x00, 0x18, 0xcc},
               header_lines("HCI_CHANGE_CONN_PKT_TYPE_T", "40f", "04") +
                   lines({"\thandle =  29", "\tpkt_type =  cc18"})},
        Golden{"RemoteNameRequestAddressAtFour", 0x0419,
               {0x19, 0x04, 0x0a, 0xee, 0x33, 0x8b, 0x9e, 0x00, 0x5b, 0xee, 0x02, 0x00, 0x01, 0x00,
                0x34, 0x92},
               header_lines("HCI_REMOTE_NAME_REQ_T", "419", "0a") +
                   lines({"\tBD_ADDR_T", "\t\tlap =  9e8b33", "\t\tuap =  5b", "\t\tnap =  02",
                          "\tpage_scan_rep_mode =  01", "\tpage_scan_mode =  00",
                          "\tclock_offset =  9234"})},
        Golden{"QosSetupFlowFiguresFromTwenty", 0x0807,
               {0x07, 0x08, 0x14, 0xee, 0x29, 0x00, 0xee, 0xee, 0x33, 0x8b, 0x9e, 0x00, 0x5b, 0xee,
                0x02, 0x00, 0x00, 0x01, 0xee, 0xee, 0x40, 0x1f, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                0xff, 0xff, 0xff, 0xff, 0x78, 0x56, 0x34, 0x12},
               header_lines("HCI_QOS_SETUP_T", "807", "14") +
                   lines({"\thandle =  29", "\tBD_ADDR_T", "\t\tlap =  9e8b33", "\t\tuap =  5b",
                          "\t\tnap =  02", "\tflags =  00", "\tservice_type =  01",
                          "\ttoken_rate =  1f40", "\tpeak_bandwidth =  10000",
                          "\tlatency =  ffffffff", "\tdelay_variation =  12345678"})},
        Golden{"SetEventMaskTwoWordsLowFirst", 0x0c01,
               {0x01, 0x0c, 0x08, 0xee, 0xff, 0xff, 0xff, 0xff, 0xff, 0x1f, 0x00, 0x00},
               header_lines("HCI_SET_EVENT_MASK_T", "c01", "08") +
                   lines({"\tevent_mask [c] =  ffffffff", "\tevent_mask [c] =  1fff"})},
        Golden{"WriteClassOfDeviceAllFourBytes", 0x0c24,
               {0x24, 0x0c, 0x03, 0xee, 0x0c, 0x02, 0x5a, 0xff},
               header_lines("HCI_WRITE_CLASS_OF_DEVICE_T", "c24", "03") +
                   lines({"\tdev_class =  ff5a020c"})},
        Golden{"WriteAutoFlushTimeoutLabel", 0x0c28,
               {0x28, 0x0c, 0x04, 0xee, 0x29, 0x00, 0xee, 0xee, 0x33, 0x8b, 0x9e, 0x00, 0x5b, 0xee,
                0x02, 0x00, 0xff, 0x07},
               header_lines("HCI_WRITE_AUTO_FLUSH_TIMEOUT_T", "c28", "04") +
                   lines({"\thandle =  29", "\tBD_ADDR_T", "\t\tlap =  9e8b33", "\t\tuap =  5b",
                          "\t\tnap =  02", "\ttimeout =  7ff"})},
        Golden{"ReadTxPowerLevelTypeLabel", 0x0c2d,
               {0x2d, 0x0c, 0x03, 0xee, 0x29, 0x00, 0xee, 0xee, 0x33, 0x8b, 0x9e, 0x00, 0x5b, 0xee,
                0x02, 0x00, 0x01},
               header_lines("HCI_READ_TX_POWER_LEVEL_T", "c2d", "03") +
                   lines({"\thandle =  29", "\tBD_ADDR_T", "\t\tlap =  9e8b33", "\t\tuap =  5b",
                          "\t\tnap =  02", "\ttype =  01"})},
        Golden{"WritePageScanModeLabel", 0x0c3e, {0x3e, 0x0c, 0x01, 0xee, 0x02},
               header_lines("HCI_WRITE_PAGESCAN_MODE_T", "c3e", "01") + lines({"\tmode =  02"})}),
    [](const auto& info) { return std::string(info.param.what); });

// ---- Stored link keys --------------------------------------------------------------------------

struct CountCase {
    unsigned count;    // the count field
    unsigned printed;  // records, handles or codes printed
};
void PrintTo(const CountCase& c, std::ostream* os) { *os << "count " << c.count; }

class WriteStoredLinkKey : public ::testing::TestWithParam<CountCase> {};

TEST_P(WriteStoredLinkKey, PrintsOneRecordPerKey) {
    const auto [count, printed] = GetParam();
    // Only the pointer slots in use are readable.
    Guarded r = command(printed ? 8 + 4 * printed : 5, 0x0c11, 0x17);
    r.put8(4, static_cast<std::uint8_t>(count));
    std::vector<Guarded> keys;
    keys.reserve(printed);
    std::string expected =
        header_lines("HCI_WRITE_STORED_LINK_KEY_T", "c11", "17") + "\tnumber_keys =  " + hex(count) + "\n";
    for (unsigned k = 0; k < printed; ++k) {
        keys.emplace_back(std::size_t{24});
        Guarded& key = keys.back();
        key.put32(0, 0x300000 + k);
        key.put8(4, static_cast<std::uint8_t>(0x40 + k));
        key.put8(5, 0xee);
        key.put16(6, 0x0002);
        expected += lines({"\tLINK_KEY_BD_ADDR_T", "\t\tBD_ADDR_T", "\t\t\tlap =  " + hex(0x300000 + k),
                           "\t\t\tuap =  " + hex(0x40 + k), "\t\t\tnap =  02"});
        for (unsigned i = 0; i < 16; ++i) {
            key.put8(8 + i, static_cast<std::uint8_t>(0xf0 - 16 * k + i));
            expected += "\t\tlink_key [c] =  " + hex((0xf0 - 16 * k + i) & 0xff) + "\n";
        }
        r.put32(8 + 4 * k, key.address());
    }
    EXPECT_EQ(dm(0x0c11, r.data()), expected);
}

INSTANTIATE_TEST_SUITE_P(Counts, WriteStoredLinkKey,
                         ::testing::Values(CountCase{0, 0}, CountCase{2, 2}, CountCase{10, 10},
                                           CountCase{11, 10}),
                         [](const auto& info) { return "Count" + std::to_string(info.param.count); });

// ---- Completed packets: whole blocks of 16 handle records --------------------------------------

class HostNumCompletedPackets : public ::testing::TestWithParam<CountCase> {};

TEST_P(HostNumCompletedPackets, PrintsWholeBlocks) {
    const auto [count, printed] = GetParam();
    const unsigned blocks = printed / 16;
    Guarded r = command(blocks ? 8 + 4 * blocks : 5, 0x0c35, 0x05);
    r.put8(4, static_cast<std::uint8_t>(count));
    std::vector<Guarded> store;
    store.reserve(blocks);
    std::string expected = header_lines("HCI_HOST_NUM_COMPLETED_PACKETS_T", "c35", "05") +
                           "\tnum_handles =  " + hex(count) + "\n";
    for (unsigned b = 0; b < blocks; ++b) {
        store.emplace_back(std::size_t{64});
        for (unsigned i = 0; i < 16; ++i) {
            const unsigned n = 16 * b + i;
            store.back().put16(4 * i, static_cast<std::uint16_t>(0x0100 + n));
            store.back().put16(4 * i + 2, static_cast<std::uint16_t>(n));
            expected += lines({"\tHANDLE_COMPLETE_T", "\t\thandle =  " + hex(0x0100 + n),
                               "\t\tnum_completed =  " + hex(n)});
        }
        r.put32(8 + 4 * b, store.back().address());
    }
    EXPECT_EQ(dm(0x0c35, r.data()), expected);
}

INSTANTIATE_TEST_SUITE_P(Counts, HostNumCompletedPackets,
                         ::testing::Values(CountCase{0, 0}, CountCase{1, 16}, CountCase{16, 16},
                                           CountCase{17, 32}, CountCase{64, 64}, CountCase{65, 64}),
                         [](const auto& info) { return "Count" + std::to_string(info.param.count); });

// ---- Access-code list: exactly the counted codes, labelled, then an empty line -----------------

class WriteCurrentIacLap : public ::testing::TestWithParam<CountCase> {};

TEST_P(WriteCurrentIacLap, PrintsExactlyTheCountedCodes) {
    const auto [count, printed] = GetParam();
    const unsigned blocks = (printed + 15) / 16;
    Guarded r = command(blocks ? 8 + 4 * blocks : 5, 0x0c3a, 0x01);
    r.put8(4, static_cast<std::uint8_t>(count));
    std::vector<Guarded> store;
    store.reserve(blocks);
    std::string expected = header_lines("HCI_WRITE_CURRENT_IAC_LAP_T", "c3a", "01") +
                           "\tnum_current_iac =  " + hex(count) + "\n";
    for (unsigned b = 0; b < blocks; ++b) {
        const unsigned used = printed - 16 * b < 16 ? printed - 16 * b : 16;
        store.emplace_back(std::size_t{4 * used});  // entries past the count are not read
        for (unsigned i = 0; i < used; ++i) {
            store.back().put32(4 * i, 0x9e8b00 + 16 * b + i);
            expected += "\tiac_lap =  " + hex(0x9e8b00 + 16 * b + i) + "\n";
        }
        r.put32(8 + 4 * b, store.back().address());
    }
    EXPECT_EQ(dm(0x0c3a, r.data()), expected + "\n");
}

INSTANTIATE_TEST_SUITE_P(Counts, WriteCurrentIacLap,
                         ::testing::Values(CountCase{0, 0}, CountCase{1, 1}, CountCase{16, 16},
                                           CountCase{17, 17}, CountCase{96, 96}, CountCase{97, 96}),
                         [](const auto& info) { return "Count" + std::to_string(info.param.count); });

// The same block of access codes through the completion and through the command: the completion
// prints the whole block unlabelled, the command exactly the counted codes and an empty line.
TEST(IacRenderings, CompletionAndCommandSideBySide) {
    Guarded block(64);
    for (unsigned i = 0; i < 16; ++i) block.put32(4 * i, i == 0 ? 0x9e8b33 : i == 1 ? 0x9e8b00 : 0);

    Guarded cmd = command(12, 0x0c3a, 0x07);
    cmd.put8(4, 2);
    cmd.put32(8, block.address());

    Guarded cfm(12);
    cfm.put16(0, 0x0c68);
    cfm.put16(2, 0x0001);
    cfm.put8(4, 0x00);
    cfm.put8(5, 2);
    cfm.put8(6, 0xee);
    cfm.put8(7, 0xee);
    cfm.put32(8, block.address());

    EXPECT_EQ(dm(0x0c3a, cmd.data()),
              header_lines("HCI_WRITE_CURRENT_IAC_LAP_T", "c3a", "07") +
                  lines({"\tnum_current_iac =  02", "\tiac_lap =  9e8b33", "\tiac_lap =  9e8b00", ""}));
    std::string completion = lines({"DM_HCI_READ_CURRENT_IAC_LAP_COMPLETE_T", "\ttype =  c68",
                                    "\tphandle =  01", "\tstatus =  00", "\tnum_current_iac =  02",
                                    "\t 9e8b33", "\t 9e8b00"});
    for (int i = 2; i < 16; ++i) completion += "\t 00\n";
    EXPECT_EQ(dm(0x0c68, cfm.data()), completion);
}

// ---- Renderings chosen by the record's own op_code ---------------------------------------------

// The rendering is chosen by the record's own op_code, not by the code it was dispatched under;
// no name pointer is read then.
TEST(CustomRenderings, OpCodeNotItsOwnGivesUnknownLine) {
    Guarded name = command(4, 0x0c14, 0x00);
    EXPECT_EQ(dm(0x0c13, name.data()), header_lines("HCI_CHANGE_LOCAL_NAME_T", "c14", "00") +
                                           "Unknown customDebug Primitive type\n\n");
    Guarded iac = command(5, 0x0c39, 0x00);
    iac.put8(4, 0x03);
    EXPECT_EQ(dm(0x0c3a, iac.data()), header_lines("HCI_WRITE_CURRENT_IAC_LAP_T", "c39", "00") +
                                          "\tnum_current_iac =  03\n"
                                          "Unknown customDebug Primitive type\n\n");
}

// ---- Codes the command groups leave undefined --------------------------------------------------

TEST(HciCommands, UndefinedCodesOfTheGroupsGiveNoMatchText) {
    Guarded r = command(64, 0x0000, 0x00);
    for (std::uint16_t code : {0x0405, 0x0c05, 0x0c20, 0x0c22, 0x0c33, 0x1005, 0x1801}) {
        RizOrodOzido d;
        r.put16(0, code);
        EXPECT_EQ(d.debugDMprim(code, r.data()), kNoMatch)
            << hex(code);
    }
}

// ---- Every code: registry, decoding of random records ------------------------------------------

struct Row {
    std::uint16_t code;
    const char* name;
};
void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

// The commands with parameters of their own and the array commands; with the two tables above,
// all 76.
const std::vector<Row> kWithParameters = {
    {0x0401, "HCI_INQUIRY_T"},
    {0x0403, "HCI_PERIODIC_INQUIRY_MODE_T"},
    {0x040f, "HCI_CHANGE_CONN_PKT_TYPE_T"},
    {0x0417, "HCI_MASTER_LINK_KEY_T"},
    {0x0419, "HCI_REMOTE_NAME_REQ_T"},
    {0x0801, "HCI_HOLD_MODE_T"},
    {0x0803, "HCI_SNIFF_MODE_T"},
    {0x0805, "HCI_PARK_MODE_T"},
    {0x0807, "HCI_QOS_SETUP_T"},
    {0x080b, "HCI_SWITCH_ROLE_T"},
    {0x0c0a, "HCI_WRITE_PIN_TYPE_T"},
    {0x0c0d, "HCI_READ_STORED_LINK_KEY_T"},
    {0x0c12, "HCI_DELETE_STORED_LINK_KEY_T"},
    {0x0c16, "HCI_WRITE_CONN_ACCEPT_TIMEOUT_T"},
    {0x0c18, "HCI_WRITE_PAGE_TIMEOUT_T"},
    {0x0c1a, "HCI_WRITE_SCAN_ENABLE_T"},
    {0x0c1c, "HCI_WRITE_PAGESCAN_ACTIVITY_T"},
    {0x0c1e, "HCI_WRITE_INQUIRYSCAN_ACTIVITY_T"},
    {0x0c24, "HCI_WRITE_CLASS_OF_DEVICE_T"},
    {0x0c26, "HCI_WRITE_VOICE_SETTING_T"},
    {0x0c28, "HCI_WRITE_AUTO_FLUSH_TIMEOUT_T"},
    {0x0c2a, "HCI_WRITE_NUM_BCAST_RETXS_T"},
    {0x0c2c, "HCI_WRITE_HOLD_MODE_ACTIVITY_T"},
    {0x0c2d, "HCI_READ_TX_POWER_LEVEL_T"},
    {0x0c2f, "HCI_WRITE_SCO_FLOW_CON_ENABLE_T"},
    {0x0c31, "HCI_SET_HCTOHOST_FLOW_CONTROL_T"},
    {0x0c37, "HCI_WRITE_LINK_SUPERV_TIMEOUT_T"},
    {0x0c3c, "HCI_WRITE_PAGESCAN_PERIOD_MODE_T"},
    {0x0c3e, "HCI_WRITE_PAGESCAN_MODE_T"},
    {0x0c01, "HCI_SET_EVENT_MASK_T"},
    {0x0c11, "HCI_WRITE_STORED_LINK_KEY_T"},
    {0x0c13, "HCI_CHANGE_LOCAL_NAME_T"},
    {0x0c35, "HCI_HOST_NUM_COMPLETED_PACKETS_T"},
    {0x0c3a, "HCI_WRITE_CURRENT_IAC_LAP_T"},
};

std::vector<Row> all_commands() {
    std::vector<Row> all;
    for (const auto& h : kHeaderOnly) all.push_back({h.code, h.name});
    for (const auto& h : kConnection) all.push_back({h.code, h.name});
    all.insert(all.end(), kWithParameters.begin(), kWithParameters.end());
    return all;
}

TEST(HciCommandsRegistry, ExactlyTheseCodesEachWithItsOwnDecoder) {
    const std::vector<Row> all = all_commands();
    ASSERT_EQ(all.size(), 76u);
    std::set<std::uint16_t> expected;
    for (const Row& row : all) {
        EXPECT_TRUE(expected.insert(row.code).second) << hex(row.code);
        const auto* info = riz::detail::find_primitive(riz::test::Interface::dm, row.code);
        ASSERT_NE(info, nullptr) << hex(row.code);
        EXPECT_STREQ(info->name, row.name) << hex(row.code);
    }
    std::set<std::uint16_t> found;
    for (const auto& info : riz::detail::primitives(riz::test::Interface::dm))
        if (std::string(info.name).rfind("HCI_", 0) == 0) found.insert(info.code);
    EXPECT_EQ(found, expected);
}

// The furthest byte read: the header alone stops before its gap byte; pointer arrays count in
// full; the name and access-code renderings read their whole pointer arrays at most.
TEST(HciCommandsRegistry, RecordSizes) {
    const std::vector<std::pair<std::uint16_t, unsigned>> sizes = {
        {0x0c03, 3},  {0x0415, 16}, {0x0807, 36}, {0x0c01, 12}, {0x0c11, 48},
        {0x0c13, 36}, {0x0c35, 24}, {0x0c3a, 32}, {0x0403, 14}, {0x0419, 16},
    };
    for (const auto& [code, size] : sizes)
        EXPECT_EQ(riz::detail::find_primitive(riz::test::Interface::dm, code)->size, size) << hex(code);
}

class HciCommandSweep : public ::testing::TestWithParam<Row> {};

// A record of exactly its size with random contents (its op_code set to its code, so names,
// access codes and walks take their real paths); every pointer it holds is served random bytes.
TEST_P(HciCommandSweep, RandomRecordDecodesWithoutFault) {
    const auto command_lines = [](std::uint16_t op_code) {
        return "\tHCI_COMMAND_COMMON_T\n\t\top_code =  " + hex(op_code) + "\n\t\tlength =  ";
    };
    riz::test::expect_random_records_decode(riz::test::Interface::dm, {GetParam().code},
                                            {.seeds = 16, .own_type = true, .type_lines = command_lines});
}

INSTANTIATE_TEST_SUITE_P(EveryCode, HciCommandSweep, ::testing::ValuesIn(all_commands()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
