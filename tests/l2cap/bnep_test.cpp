// BNEP primitives on the L2CAP interface: the worked example, every layout with its Ethernet
// addresses, and the debug primitives' eighteen argument words. (Byte runs, the code space and
// random records of every code are covered interface-wide in l2cap_test.cpp.)
#include <gtest/gtest.h>

#include <sstream>

#include "support/decode.h"

namespace {
using riz::test::body;
using riz::test::Guarded;
using riz::test::patterned;
using riz::test::lines;


TEST(BnepWorkedExample, ExtendedDataReqWithTwoAddressesAndFourBytes) {
    Guarded data({0x45, 0x00, 0x00, 0x1c});
    Guarded r({0x0a, 0x01, 0x01, 0x00, 0x00, 0x08,               // type, id, ether_type
               0x00, 0x11, 0x22, 0x33, 0x44, 0x55,               // dst_addr
               0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb,               // src_addr
               0xee, 0xee,                                       // gap
               0x00, 0x00, 0x00, 0x00,                           // mblk
               0x04, 0x00});                                     // len
    r.put32(20, data.address());
    RizOrodOzido d;
    EXPECT_EQ(body(d.debugL2CAPprim(0x010a, r.data())),
              lines({"BNEP_EXTENDED_DATA_REQ_T", "\ttype =  10a", "\tid =  01",
                     "\tether_type =  800", "\tETHER_ADDR", "\t\tw [c] =  1100",
                     "\t\tw [c] =  3322", "\t\tw [c] =  5544", "\tETHER_ADDR", "\t\tw [c] =  7766",
                     "\t\tw [c] =  9988", "\t\tw [c] =  bbaa", "\tlen =  04", " 45 00 00 1c"}));
}

TEST(BnepEtherAddr, AllZeroWordsPrintThreeZeroLines) {
    Guarded r(10);
    r.put16(0, 0x0102);
    r.put16(2, 0x0001);
    RizOrodOzido d;
    EXPECT_EQ(body(d.debugL2CAPprim(0x0102, r.data())),
              lines({"BNEP_CONNECT_REQ_T", "\ttype =  102", "\tflags =  01", "\tETHER_ADDR",
                     "\t\tw [c] =  00", "\t\tw [c] =  00", "\t\tw [c] =  00"}));
}

// The first BNEP code lies below the block of the others: it shows only its own type field,
// whatever code the record carries.
TEST(BnepFlowReq, OnlyItsTypeLine) {
    Guarded r({0xff, 0x00});
    RizOrodOzido d;
    EXPECT_EQ(body(d.debugL2CAPprim(0x00ff, r.data())), lines({"BNEP_FLOW_REQ_T", "\ttype =  ff"}));
    r.put16(0, 0x1234);
    EXPECT_EQ(body(d.debugL2CAPprim(0x00ff, r.data())), lines({"BNEP_FLOW_REQ_T", "\ttype =  1234"}));
}

struct Layout {
    std::uint16_t code;
    std::size_t size;
    std::vector<std::string> expected;
};
class BnepLayout : public ::testing::TestWithParam<Layout> {};

// A patterned record of exactly the primitive's size: each line shows the offset and width read.
TEST_P(BnepLayout, FieldsAtTheirOffsetsAndWidths) {
    Guarded r = patterned(GetParam().size, GetParam().code, 0x40);
    RizOrodOzido d;
    std::string want;
    for (const auto& l : GetParam().expected) want += l + "\n";
    EXPECT_EQ(body(d.debugL2CAPprim(GetParam().code, r.data())), want);
}

std::vector<std::string> debug_prim(const char* name, const char* type) {
    return {name, std::string("\ttype =  ") + type, "\tid =  4342", "\ttest =  4544",
            "\targs [c] =  4746", "\targs [c] =  4948", "\targs [c] =  4b4a", "\targs [c] =  4d4c",
            "\targs [c] =  4f4e", "\targs [c] =  5150", "\targs [c] =  5352", "\targs [c] =  5554",
            "\targs [c] =  5756", "\targs [c] =  5958", "\targs [c] =  5b5a", "\targs [c] =  5d5c",
            "\targs [c] =  5f5e", "\targs [c] =  6160", "\targs [c] =  6362", "\targs [c] =  6564",
            "\targs [c] =  6766", "\targs [c] =  6968"};
}

INSTANTIATE_TEST_SUITE_P(
    Bnep, BnepLayout,
    ::testing::Values(
        Layout{0x0100, 4, {"BNEP_FLOW_IND_T", "\ttype =  100", "\tfree =  4342"}},
        Layout{0x0101, 6,
               {"BNEP_REGISTER_REQ_T", "\ttype =  101", "\tflags =  4342", "\tphandle =  4544"}},
        Layout{0x0102, 10,
               {"BNEP_CONNECT_REQ_T", "\ttype =  102", "\tflags =  4342", "\tETHER_ADDR",
                "\t\tw [c] =  4544", "\t\tw [c] =  4746", "\t\tw [c] =  4948"}},
        Layout{0x0103, 4, {"BNEP_CONNECT_CFM_T", "\ttype =  103", "\tstatus =  4342"}},
        Layout{0x0104, 16,
               {"BNEP_CONNECT_IND_T", "\ttype =  104", "\tstatus =  4342", "\tid =  4544",
                "\tETHER_ADDR", "\t\tw [c] =  4746", "\t\tw [c] =  4948", "\t\tw [c] =  4b4a",
                "\trem_uuid =  4d4c", "\tloc_uuid =  4f4e"}},
        Layout{0x0105, 12,
               {"BNEP_LISTEN_REQ_T", "\ttype =  105", "\tphandle =  4342", "\tether_type =  4544",
                "\tETHER_ADDR", "\t\tw [c] =  4746", "\t\tw [c] =  4948", "\t\tw [c] =  4b4a"}},
        Layout{0x0106, 10,
               {"BNEP_IGNORE_REQ_T", "\ttype =  106", "\tether_type =  4342", "\tETHER_ADDR",
                "\t\tw [c] =  4544", "\t\tw [c] =  4746", "\t\tw [c] =  4948"}},
        Layout{0x0107, 8,
               {"BNEP_UP_IND_T", "\ttype =  107", "\tphandle =  4342", "\trem_uuid =  4544",
                "\tloc_uuid =  4746"}},
        Layout{0x0108, 4, {"BNEP_DOWN_IND_T", "\ttype =  108", "\tphandle =  4342"}},
        Layout{0x0110, 6,
               {"BNEP_DISCONNECT_REQ_T", "\ttype =  110", "\tflags =  4342", "\tid =  4544"}},
        Layout{0x0111, 6,
               {"BNEP_DISCONNECT_IND_T", "\ttype =  111", "\tid =  4342", "\treason =  4544"}},
        Layout{0x0112, 42, debug_prim("BNEP_DEBUG_REQ_T", "112")},
        Layout{0x0113, 42, debug_prim("BNEP_DEBUG_IND_T", "113")},
        Layout{0x0114, 14,
               {"BNEP_HCI_SWITCH_ROLE_RSP_T", "\ttype =  114", "\tphandle =  4342", "\tBD_ADDR_T",
                "\t\tlap =  47464544", "\t\tuap =  48", "\t\tnap =  4b4a", "\tstatus =  4c",
                "\trole =  4d"}}),
    [](const auto& info) {
        std::ostringstream s;
        s << "code_" << std::hex << info.param.code;
        return s.str();
    });

// The debug primitives always show 21 field lines, the argument words in memory order, whatever
// the values (all zero, all ones).
TEST(BnepDebug, TwentyOneFieldLinesWhateverTheValues) {
    for (std::uint16_t code : {0x0112, 0x0113}) {
        for (std::uint8_t fill : {0x00, 0xff}) {
            Guarded r(42);
            for (std::size_t i = 0; i < 42; ++i) r.put8(i, fill);
            r.put16(0, code);
            RizOrodOzido d;
            const std::string text = body(d.debugL2CAPprim(code, r.data()));
            std::istringstream in(text);
            std::string line;
            std::getline(in, line);
            int fields = 0, args = 0;
            for (; std::getline(in, line); ++fields) {
                EXPECT_EQ(line.substr(0, 1), "\t");
                if (line.rfind("\targs [c] =  ", 0) == 0) {
                    ++args;
                    EXPECT_EQ(line.substr(13), fill ? "ffff" : "00");
                }
            }
            EXPECT_EQ(fields, 21) << text;
            EXPECT_EQ(args, 18) << text;
        }
    }
}

}  // namespace
