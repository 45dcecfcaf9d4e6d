// The L2CAP interface as a whole (its code space, every byte run of its three families, records
// of random contents) and the L2CAP primitives themselves.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

#include "support/decode.h"

namespace {
using A = RizOrodOzidoTestAccess;
using riz::test::body;
using riz::test::Guarded;
using riz::test::patterned;  // from 0x40 here: a u16 at offset 2 prints 4342
using riz::test::kNoMatch;
using riz::test::lines;


// Every primitive of the interface: code, name, and the bytes its layout spans.
struct Listed {
    std::uint16_t code;
    const char* name;
    std::uint16_t size;
};
const Listed kInterface[] = {
    {0x0001, "L2CA_REGISTER_REQ_T", 6},
    {0x0002, "L2CA_REGISTER_CFM_T", 6},
    {0x0003, "L2CA_CONNECT_REQ_T", 16},
    {0x0004, "L2CA_CONNECT_RSP_T", 8},
    {0x0005, "L2CA_CONNECT_IND_T", 20},
    {0x0006, "L2CA_CONNECT_CFM_T", 18},
    {0x0007, "L2CA_CONFIG_REQ_T", 35},
    {0x0008, "L2CA_CONFIG_RSP_T", 15},
    {0x0009, "L2CA_CONFIG_IND_T", 17},
    {0x000a, "L2CA_CONFIG_CFM_T", 39},
    {0x000b, "L2CA_DATAWRITE_REQ_T", 12},
    {0x000c, "L2CA_DATAWRITE_CFM_T", 10},
    {0x000d, "L2CA_DATAREAD_IND_T", 18},
    {0x000e, "L2CA_DISCONNECT_REQ_T", 4},
    {0x000f, "L2CA_DISCONNECT_RSP_T", 6},
    {0x0010, "L2CA_DISCONNECT_IND_T", 8},
    {0x0011, "L2CA_DISCONNECT_CFM_T", 8},
    {0x0012, "L2CA_TIMEOUT_IND_T", 6},
    {0x0013, "L2CA_QOSVIOLATION_IND_T", 12},
    {0x0014, "L2CA_PING_REQ_T", 20},
    {0x0015, "L2CA_PING_CFM_T", 12},
    {0x0016, "L2CA_GETINFO_REQ_T", 16},
    {0x0017, "L2CA_GETINFO_CFM_T", 14},
    {0x0018, "L2CA_GROUP_CREATE_REQ_T", 4},
    {0x0019, "L2CA_GROUP_CREATE_CFM_T", 10},
    {0x001a, "L2CA_GROUP_CLOSE_REQ_T", 6},
    {0x001b, "L2CA_GROUP_CLOSE_CFM_T", 8},
    {0x001c, "L2CA_ENABLE_CONNECTIONLESS_REQ_T", 6},
    {0x001d, "L2CA_ENABLE_CONNECTIONLESS_CFM_T", 6},
    {0x001e, "L2CA_DISABLE_CONNECTIONLESS_REQ_T", 6},
    {0x001f, "L2CA_DISABLE_CONNECTIONLESS_CFM_T", 6},
    {0x00ff, "BNEP_FLOW_REQ_T", 2},
    {0x0100, "BNEP_FLOW_IND_T", 4},
    {0x0101, "BNEP_REGISTER_REQ_T", 6},
    {0x0102, "BNEP_CONNECT_REQ_T", 10},
    {0x0103, "BNEP_CONNECT_CFM_T", 4},
    {0x0104, "BNEP_CONNECT_IND_T", 16},
    {0x0105, "BNEP_LISTEN_REQ_T", 12},
    {0x0106, "BNEP_IGNORE_REQ_T", 10},
    {0x0107, "BNEP_UP_IND_T", 8},
    {0x0108, "BNEP_DOWN_IND_T", 4},
    {0x0109, "BNEP_DATA_REQ_T", 18},
    {0x010a, "BNEP_EXTENDED_DATA_REQ_T", 26},
    {0x010b, "BNEP_EXTENDED_MULTICAST_DATA_REQ_T", 26},
    {0x010c, "BNEP_DATA_IND_T", 10},
    {0x010d, "BNEP_EXTENDED_DATA_IND_T", 26},
    {0x010e, "BNEP_MULTICAST_DATA_IND_T", 10},
    {0x010f, "BNEP_LOOPBACK_DATA_IND_T", 10},
    {0x0110, "BNEP_DISCONNECT_REQ_T", 6},
    {0x0111, "BNEP_DISCONNECT_IND_T", 6},
    {0x0112, "BNEP_DEBUG_REQ_T", 42},
    {0x0113, "BNEP_DEBUG_IND_T", 42},
    {0x0114, "BNEP_HCI_SWITCH_ROLE_RSP_T", 14},
    {0x0201, "TCP_OPEN_REQ_T", 30},
    {0x0202, "TCP_OPEN_CFM_T", 14},
    {0x0203, "TCP_OPEN_IND_T", 30},
    {0x0204, "TCP_OPEN_RSP_T", 6},
    {0x0205, "TCP_DATA_REQ_T", 12},
    {0x0206, "TCP_DATA_CFM_T", 8},
    {0x0207, "TCP_DATA_IND_T", 12},
    {0x0208, "TCP_DATA_RSP_T", 6},
    {0x0209, "TCP_CLOSE_REQ_T", 4},
    {0x020a, "TCP_CLOSE_IND_T", 6},
    {0x020b, "TCP_CLOSED_IND_T", 6},
    {0x020c, "TCP_CLOSED_RSP_T", 4},
    {0x020d, "TCP_ABORT_REQ_T", 4},
    {0x020e, "TCP_ABORT_IND_T", 6},
    {0x020f, "TCP_ABORT_RSP_T", 6},
};

std::string hex(unsigned v) {
    std::ostringstream s;
    s << std::hex << v;
    return s.str();
}

// ---- The code space ------------------------------------------------------------------------

TEST(L2capInterface, RegistryHoldsExactlyTheSixtyEightPrimitives) {
    const auto rows = riz::detail::primitives(riz::detail::Interface::l2cap);
    ASSERT_EQ(std::size(kInterface), 68u);
    ASSERT_EQ(rows.size(), std::size(kInterface));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].code, kInterface[i].code) << i;
        EXPECT_STREQ(rows[i].name, kInterface[i].name) << hex(kInterface[i].code);
        EXPECT_EQ(rows[i].size, kInterface[i].size) << kInterface[i].name;
    }
}

// Every 16-bit code: the listed ones decode to their name line, every other one gives the
// no-match text alone. A zeroed record has every count at 0, so no pointer is followed.
TEST(L2capInterface, EveryCodeOfTheCodeSpace) {
    std::set<std::uint16_t> expected;
    for (const Listed& l : kInterface) expected.insert(l.code);
    EXPECT_EQ(expected.size(), 68u);
    EXPECT_EQ(riz::test::decoding_codes(riz::detail::Interface::l2cap), expected);
    RizOrodOzido d;
    const Guarded record(64);
    for (const Listed& l : kInterface)
        EXPECT_EQ(body(d.debugL2CAPprim(l.code, record.data())).rfind(std::string(l.name) + "\n\ttype =  00\n", 0),
                  0u) << hex(l.code);
}

struct Boundary {
    std::uint16_t code;
    const char* name;  // null: no match
};
class L2capCodeBoundary : public ::testing::TestWithParam<Boundary> {};

TEST_P(L2capCodeBoundary, DecodesOrGivesTheNoMatchText) {
    RizOrodOzido d;
    Guarded record(64);
    record.put16(0, GetParam().code);
    const std::string text = d.debugL2CAPprim(GetParam().code, record.data());
    if (GetParam().name == nullptr) {
        EXPECT_EQ(text, kNoMatch);
    } else {
        const std::string rest = body(text);
        EXPECT_EQ(rest.substr(0, rest.find('\n')), GetParam().name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, L2capCodeBoundary,
    ::testing::Values(Boundary{0x0000, nullptr}, Boundary{0x0001, "L2CA_REGISTER_REQ_T"},
                      Boundary{0x001f, "L2CA_DISABLE_CONNECTIONLESS_CFM_T"},
                      Boundary{0x0020, nullptr}, Boundary{0x00fe, nullptr},
                      Boundary{0x00ff, "BNEP_FLOW_REQ_T"}, Boundary{0x0100, "BNEP_FLOW_IND_T"},
                      Boundary{0x0114, "BNEP_HCI_SWITCH_ROLE_RSP_T"}, Boundary{0x0115, nullptr},
                      Boundary{0x0200, nullptr}, Boundary{0x0201, "TCP_OPEN_REQ_T"},
                      Boundary{0x020f, "TCP_ABORT_RSP_T"}, Boundary{0x0210, nullptr},
                      Boundary{0x1001, nullptr}, Boundary{0xffff, nullptr}),
    [](const auto& info) { return "code_" + hex(info.param.code); });

// Every code with a record of exactly its size, random contents, behind a guard page; every
// pointer it holds is served with exactly the bytes asked for.
TEST(L2capInterface, RandomRecordsOfExactSize) {
    std::set<std::uint16_t> codes;
    for (const Listed& l : kInterface) codes.insert(l.code);
    riz::test::expect_random_records_decode(riz::detail::Interface::l2cap, codes,
                                            {.seeds = 6, .own_type = false, .type_lines = {}});
}

// ---- Byte runs, every primitive of the interface that has one -------------------------------

struct RunCase {
    std::uint16_t code;
    std::size_t size;
    std::size_t count_at;
    std::size_t pointer_at;
    std::vector<std::string> fields;  // the lines before the run; "{n}" stands for the count
};

// The run line for `n` bytes valued 0xc3, 0xc4, ... (wrapping at 0xff).
std::string run_line(std::size_t n) {
    std::string out;
    for (std::size_t k = 0; k < n; ++k) {
        char b[4];
        std::snprintf(b, sizeof b, " %02x", static_cast<unsigned>((0xc3 + k) & 0xff));
        out += b;
    }
    return out + "\n";
}

std::string expected_fields(const RunCase& c, const std::string& digits) {
    std::string out;
    for (std::string l : c.fields) {
        if (auto at = l.find("{n}"); at != std::string::npos) l.replace(at, 3, digits);
        out += l + "\n";
    }
    return out;
}

class ByteRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(ByteRun, ExactlyTheCountedBytesOnOneLine) {
    const RunCase& c = GetParam();
    struct Count {
        std::uint16_t n;
        const char* digits;
    };
    for (Count n : {Count{1, "01"}, Count{16, "10"}, Count{17, "11"}, Count{65535, "ffff"}}) {
        Guarded data(n.n);
        for (std::size_t k = 0; k < n.n; ++k) data.put8(k, static_cast<std::uint8_t>(0xc3 + k));
        Guarded record = patterned(c.size, c.code, 0x40);
        record.put16(c.count_at, n.n);
        record.put32(c.pointer_at, data.address());
        RizOrodOzido d;
        const std::string text = body(d.debugL2CAPprim(c.code, record.data()));
        EXPECT_EQ(text, expected_fields(c, n.digits) + run_line(n.n)) << "count " << n.n;
        EXPECT_EQ(A::mode(d), 0);
        // The object itself is back in line mode, not only the next dispatch.
        std::string next;
        A::add_field(d, 1, "x = ", next, 5);
        EXPECT_EQ(next, "\tx =  05\n");
    }
}

TEST_P(ByteRun, CountZeroIsAnEmptyLineAndThePointerIsNotRead) {
    const RunCase& c = GetParam();
    for (std::uint32_t pointer : {0xdeadbeefu, 0x00000008u, 0u}) {
        Guarded record = patterned(c.size, c.code, 0x40);
        record.put16(c.count_at, 0);
        record.put32(c.pointer_at, pointer);
        RizOrodOzido d;
        EXPECT_EQ(body(d.debugL2CAPprim(c.code, record.data())), expected_fields(c, "00") + "\n");
        EXPECT_EQ(A::mode(d), 0);
    }
}

TEST_P(ByteRun, NullPointerWithACountPrintsAnEmptyRun) {
    const RunCase& c = GetParam();
    Guarded record = patterned(c.size, c.code, 0x40);
    record.put16(c.count_at, 3);
    record.put32(c.pointer_at, 0);
    RizOrodOzido d;
    EXPECT_EQ(body(d.debugL2CAPprim(c.code, record.data())), expected_fields(c, "03") + "\n");
    EXPECT_EQ(A::mode(d), 0);
}

// Field values are those of a patterned record (byte i = 0x40 + i).
const std::vector<std::string> kExtended = {
    "\tETHER_ADDR", "\t\tw [c] =  4746", "\t\tw [c] =  4948", "\t\tw [c] =  4b4a",
    "\tETHER_ADDR", "\t\tw [c] =  4d4c", "\t\tw [c] =  4f4e", "\t\tw [c] =  5150",
    "\tlen =  {n}"};
std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Interface, ByteRun,
    ::testing::Values(
        RunCase{0x0008, 15, 6, 8,
                {"L2CA_CONFIG_RSP_T", "\ttype =  08", "\tcid =  4342", "\tidentifier =  44",
                 "\tsize_options =  {n}", "\tresponse =  4d4c", "\tmore_flag =  4e"}},
        RunCase{0x0009, 17, 8, 12,
                {"L2CA_CONFIG_IND_T", "\ttype =  09", "\tphandle =  4342", "\tcid =  4544",
                 "\tidentifier =  46", "\tsize_options =  {n}", "\tmore_flag =  50"}},
        RunCase{0x000b, 12, 4, 8,
                {"L2CA_DATAWRITE_REQ_T", "\ttype =  0b", "\tcid =  4342", "\tlength =  {n}"}},
        RunCase{0x000d, 18, 8, 12,
                {"L2CA_DATAREAD_IND_T", "\ttype =  0d", "\tphandle =  4342", "\tcid =  4544",
                 "\tcl_psm =  4746", "\tlength =  {n}", "\tresult =  5150"}},
        RunCase{0x0014, 20, 16, 12,
                {"L2CA_PING_REQ_T", "\ttype =  14", "\tBD_ADDR_T", "\t\tlap =  47464544",
                 "\t\tuap =  48", "\t\tnap =  4b4a", "\tlength =  {n}", "\tpsm_local =  5352"}},
        RunCase{0x0015, 12, 8, 4,
                {"L2CA_PING_CFM_T", "\ttype =  15", "\tphandle =  4342", "\tsize =  {n}",
                 "\tresult =  4b4a"}},
        RunCase{0x0017, 14, 12, 8,
                {"L2CA_GETINFO_CFM_T", "\ttype =  17", "\tphandle =  4342", "\tresult =  4544",
                 "\tsize =  {n}"}},
        RunCase{0x0109, 18, 16, 12,
                {"BNEP_DATA_REQ_T", "\ttype =  109", "\tether_type =  4342", "\tETHER_ADDR",
                 "\t\tw [c] =  4544", "\t\tw [c] =  4746", "\t\tw [c] =  4948", "\tlen =  {n}"}},
        RunCase{0x010a, 26, 24, 20,
                join({"BNEP_EXTENDED_DATA_REQ_T", "\ttype =  10a", "\tid =  4342",
                      "\tether_type =  4544"},
                     kExtended)},
        RunCase{0x010b, 26, 24, 20,
                join({"BNEP_EXTENDED_MULTICAST_DATA_REQ_T", "\ttype =  10b", "\tid_not =  4342",
                      "\tether_type =  4544"},
                     kExtended)},
        RunCase{0x010c, 10, 8, 4,
                {"BNEP_DATA_IND_T", "\ttype =  10c", "\tphandle =  4342", "\tlen =  {n}"}},
        RunCase{0x010d, 26, 24, 20,
                join({"BNEP_EXTENDED_DATA_IND_T", "\ttype =  10d", "\tid =  4342",
                      "\tether_type =  4544"},
                     kExtended)},
        RunCase{0x010e, 10, 8, 4,
                {"BNEP_MULTICAST_DATA_IND_T", "\ttype =  10e", "\tphandle =  4342", "\tlen =  {n}"}},
        RunCase{0x010f, 10, 8, 4,
                {"BNEP_LOOPBACK_DATA_IND_T", "\ttype =  10f", "\tphandle =  4342", "\tlen =  {n}"}},
        RunCase{0x0205, 12, 4, 8,
                {"TCP_DATA_REQ_T", "\ttype =  205", "\tb_out =  4342", "\tlen =  {n}"}},
        RunCase{0x0207, 12, 6, 8,
                {"TCP_DATA_IND_T", "\ttype =  207", "\tphandle =  4342", "\tb_out =  4544",
                 "\tlen =  {n}"}}),
    [](const auto& info) { return "code_" + hex(info.param.code); });

// ---- L2CAP primitives ------------------------------------------------------------------------

TEST(L2capWorkedExample, ConfigReqWithItsQosFlow) {
    Guarded r(35);
    r.put16(0, 0x0007);
    r.put16(2, 0x0040);
    r.put16(4, 0x0003);
    r.put16(6, 0x02a0);
    r.put8(8, 0x01);
    r.put8(9, 0xee);  // alignment gap, never shown
    r.put16(10, 0xeeee);
    r.put32(24, 0x2710);
    r.put32(28, 0x03e8);
    r.put16(32, 0xffff);
    r.put8(34, 0);
    RizOrodOzido d;
    EXPECT_EQ(body(d.debugL2CAPprim(0x0007, r.data())),
              lines({"L2CA_CONFIG_REQ_T", "\ttype =  07", "\tcid =  40", "\toptions =  03",
                     "\tin_mtu =  2a0", "\tQOS_FLOW_T", "\t\tservice_type =  01",
                     "\t\ttoken_rate =  00", "\t\ttoken_bucket =  00", "\t\tpeak_bw =  00",
                     "\t\tlatency =  2710", "\t\tdelay_var =  3e8", "\toutflush_to =  ffff",
                     "\tmore_flag =  00"}));
}

TEST(L2capWorkedExample, DataWriteReqWithThreeBytes) {
    Guarded data({0x01, 0x02, 0xff});
    Guarded r(12);
    r.put16(0, 0x000b);
    r.put16(2, 0x0041);
    r.put16(4, 3);
    r.put32(8, data.address());
    RizOrodOzido d;
    const std::string text = d.debugL2CAPprim(0x000b, r.data());
    EXPECT_EQ(body(text), lines({"L2CA_DATAWRITE_REQ_T", "\ttype =  0b", "\tcid =  41",
                                 "\tlength =  03", " 01 02 ff"}));
    // Decoding the same bytes again differs only in the stamp.
    EXPECT_EQ(d.debugL2CAPprim(0x000b, r.data()).substr(37), text.substr(37));
}

struct Layout {
    std::uint16_t code;
    std::size_t size;
    std::vector<std::string> expected;
};
class L2capLayout : public ::testing::TestWithParam<Layout> {};

// A patterned record of exactly the primitive's size: each line shows the offset and width read.
TEST_P(L2capLayout, FieldsAtTheirOffsetsAndWidths) {
    Guarded r = patterned(GetParam().size, GetParam().code, 0x40);
    RizOrodOzido d;
    std::string want;
    for (const auto& l : GetParam().expected) want += l + "\n";
    EXPECT_EQ(body(d.debugL2CAPprim(GetParam().code, r.data())), want);
}

INSTANTIATE_TEST_SUITE_P(
    L2cap, L2capLayout,
    ::testing::Values(
        Layout{0x0001, 6, {"L2CA_REGISTER_REQ_T", "\ttype =  01", "\tpsm =  4342", "\tphandle =  4544"}},
        Layout{0x0002, 6, {"L2CA_REGISTER_CFM_T", "\ttype =  02", "\tphandle =  4342", "\tpsm =  4544"}},
        Layout{0x0003, 16,
               {"L2CA_CONNECT_REQ_T", "\ttype =  03", "\tpsm_local =  4342", "\tBD_ADDR_T",
                "\t\tlap =  47464544", "\t\tuap =  48", "\t\tnap =  4b4a", "\tpsm =  4d4c",
                "\tpacket_type =  4f4e"}},
        Layout{0x0004, 8,
               {"L2CA_CONNECT_RSP_T", "\ttype =  04", "\tidentifier =  42", "\tcid =  4544",
                "\tresponse =  4746"}},
        Layout{0x0005, 20,
               {"L2CA_CONNECT_IND_T", "\ttype =  05", "\tphandle =  4342", "\tidentifier =  44",
                "\tBD_ADDR_T", "\t\tlap =  4b4a4948", "\t\tuap =  4c", "\t\tnap =  4f4e",
                "\tcid =  5150", "\tpsm =  5352"}},
        Layout{0x0006, 18,
               {"L2CA_CONNECT_CFM_T", "\ttype =  06", "\tphandle =  4342", "\tBD_ADDR_T",
                "\t\tlap =  47464544", "\t\tuap =  48", "\t\tnap =  4b4a", "\tcid =  4d4c",
                "\tpsm =  4f4e", "\tresponse =  5150"}},
        Layout{0x0007, 35,
               {"L2CA_CONFIG_REQ_T", "\ttype =  07", "\tcid =  4342", "\toptions =  4544",
                "\tin_mtu =  4746", "\tQOS_FLOW_T", "\t\tservice_type =  48",
                "\t\ttoken_rate =  4f4e4d4c", "\t\ttoken_bucket =  53525150",
                "\t\tpeak_bw =  57565554", "\t\tlatency =  5b5a5958", "\t\tdelay_var =  5f5e5d5c",
                "\toutflush_to =  6160", "\tmore_flag =  62"}},
        Layout{0x000a, 39,
               {"L2CA_CONFIG_CFM_T", "\ttype =  0a", "\tphandle =  4342", "\tcid =  4544",
                "\tresponse =  4746", "\toptions =  4948", "\tin_mtu =  4b4a", "\tQOS_FLOW_T",
                "\t\tservice_type =  4c", "\t\ttoken_rate =  53525150",
                "\t\ttoken_bucket =  57565554", "\t\tpeak_bw =  5b5a5958",
                "\t\tlatency =  5f5e5d5c", "\t\tdelay_var =  63626160", "\tflush_to =  6564",
                "\tmore_flag =  66"}},
        Layout{0x000c, 10,
               {"L2CA_DATAWRITE_CFM_T", "\ttype =  0c", "\tphandle =  4342", "\tcid =  4544",
                "\tlength =  4746", "\tresult =  4948"}},
        Layout{0x000e, 4, {"L2CA_DISCONNECT_REQ_T", "\ttype =  0e", "\tcid =  4342"}},
        Layout{0x000f, 6,
               {"L2CA_DISCONNECT_RSP_T", "\ttype =  0f", "\tidentifier =  42", "\tcid =  4544"}},
        Layout{0x0010, 8,
               {"L2CA_DISCONNECT_IND_T", "\ttype =  10", "\tphandle =  4342", "\tidentifier =  44",
                "\tcid =  4746"}},
        Layout{0x0011, 8,
               {"L2CA_DISCONNECT_CFM_T", "\ttype =  11", "\tphandle =  4342", "\tcid =  4544",
                "\tresult =  4746"}},
        Layout{0x0012, 6,
               {"L2CA_TIMEOUT_IND_T", "\ttype =  12", "\tphandle =  4342", "\tcid =  4544"}},
        Layout{0x0013, 12,
               {"L2CA_QOSVIOLATION_IND_T", "\ttype =  13", "\tphandle =  4342", "\tBD_ADDR_T",
                "\t\tlap =  47464544", "\t\tuap =  48", "\t\tnap =  4b4a"}},
        Layout{0x0016, 16,
               {"L2CA_GETINFO_REQ_T", "\ttype =  16", "\tBD_ADDR_T", "\t\tlap =  47464544",
                "\t\tuap =  48", "\t\tnap =  4b4a", "\tinfo_type =  4d4c", "\tpsm_local =  4f4e"}},
        Layout{0x0018, 4, {"L2CA_GROUP_CREATE_REQ_T", "\ttype =  18", "\tpsm_local =  4342"}},
        Layout{0x0019, 10,
               {"L2CA_GROUP_CREATE_CFM_T", "\ttype =  19", "\tphandle =  4342", "\tcid =  4544",
                "\tpsm =  4746", "\tresponse =  4948"}},
        Layout{0x001a, 6,
               {"L2CA_GROUP_CLOSE_REQ_T", "\ttype =  1a", "\tcid =  4342", "\tpsm_local =  4544"}},
        Layout{0x001b, 8,
               {"L2CA_GROUP_CLOSE_CFM_T", "\ttype =  1b", "\tphandle =  4342", "\tpsm =  4544",
                "\tresponse =  4746"}},
        Layout{0x001c, 6,
               {"L2CA_ENABLE_CONNECTIONLESS_REQ_T", "\ttype =  1c", "\tpsm =  4342",
                "\tphandle =  4544"}},
        Layout{0x001d, 6,
               {"L2CA_ENABLE_CONNECTIONLESS_CFM_T", "\ttype =  1d", "\tphandle =  4342",
                "\tresponse =  4544"}},
        Layout{0x001e, 6,
               {"L2CA_DISABLE_CONNECTIONLESS_REQ_T", "\ttype =  1e", "\tpsm =  4342",
                "\tphandle =  4544"}},
        Layout{0x001f, 6,
               {"L2CA_DISABLE_CONNECTIONLESS_CFM_T", "\ttype =  1f", "\tphandle =  4342",
                "\tresponse =  4544"}}),
    [](const auto& info) { return "code_" + hex(info.param.code); });

}  // namespace
