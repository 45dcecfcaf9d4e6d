// TCP primitives on the L2CAP interface: the worked example, every layout, enumerated fields with
// non-zero upper bytes, and the IP address line on its own. (Byte runs, the code space and random
// records of every code are covered interface-wide in l2cap_test.cpp.)
#include <gtest/gtest.h>

#include <sstream>

#include "support/decode.h"

// The address formatter is a private member that the shared test access does not reach; an
// explicit instantiation may name it (access is not checked there), which hands out its address.
using IpAddrMember = void (RizOrodOzido::*)(int, const void*, std::string&, const char*);
IpAddrMember ip_addr_member();
template <IpAddrMember M>
struct IpAddrAccess {
    friend IpAddrMember ip_addr_member() { return M; }
};
template struct IpAddrAccess<&RizOrodOzido::debug_IP_ADDR>;

namespace {
using A = RizOrodOzidoTestAccess;
using riz::test::body;
using riz::test::Guarded;
using riz::test::patterned;
using riz::test::lines;

std::string ip_line(RizOrodOzido& d, int depth, const void* addr, const char* label) {
    std::string buf;
    (d.*ip_addr_member())(depth, addr, buf, label);
    return buf;
}


TEST(TcpWorkedExample, OpenReqWithAnIpAddress) {
    Guarded r({0x01, 0x02, 0x03, 0x00, 0x00, 0x00,                     // type, phandle, flags
               0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // rem_addr
               0xff, 0xff, 0xc0, 0xa8, 0x00, 0x01,                     //
               0x50, 0x00, 0x00, 0x04, 0x90, 0x1f, 0x00, 0x04});       // ports and sizes
    RizOrodOzido d;
    EXPECT_EQ(body(d.debugL2CAPprim(0x0201, r.data())),
              lines({"TCP_OPEN_REQ_T", "\ttype =  201", "\tphandle =  03", "\tflags =  00",
                     "\trem_addr =  0000 0000 0000 0000 0000 ffff a8c0 0100 ", "\trem_port =  50",
                     "\tout_size =  400", "\tloc_port =  1f90", "\tin_size =  400"}));
}

TEST(TcpIpAddr, AllZeroAddressIsFortyCharactersOfValue) {
    const std::uint8_t zero[16] = {};
    RizOrodOzido d;
    const std::string line = ip_line(d, 1, zero, "rem_addr = ");
    EXPECT_EQ(line, "\trem_addr =  0000 0000 0000 0000 0000 0000 0000 0000 \n");
    EXPECT_EQ(line.size(), 1 + 12 + 40 + 1u);
}

// Words always take four digits, whatever their value; the address is read in place, all 16
// bytes and no more.
TEST(TcpIpAddr, FourDigitWordsInMemoryOrder) {
    Guarded a({0x01, 0x00, 0x0f, 0x00, 0x10, 0x00, 0xff, 0x00, 0x00, 0x01, 0x34, 0x12, 0xff, 0xff,
               0xcd, 0xab});
    RizOrodOzido d;
    EXPECT_EQ(ip_line(d, 1, a.data(), "rem_addr = "),
              "\trem_addr =  0001 000f 0010 00ff 0100 1234 ffff abcd \n");
}

// The formatter ignores the mode byte (and leaves it as it was), writes no header at depth 0
// and indents by its depth.
TEST(TcpIpAddr, IgnoresOneLineModeAndIndentsByDepth) {
    const std::uint8_t zero[16] = {};
    const std::string words = "0000 0000 0000 0000 0000 0000 0000 0000 \n";
    RizOrodOzido d;
    A::mode(d) = 1;
    EXPECT_EQ(ip_line(d, 0, zero, "a = "), "a =  " + words);
    EXPECT_EQ(A::mode(d), 1);
    A::mode(d) = 0;
    EXPECT_EQ(ip_line(d, -2, zero, "a = "), "a =  " + words);
    EXPECT_EQ(ip_line(d, 3, zero, "a = "), "\t\t\ta =  " + words);
    EXPECT_EQ(ip_line(d, 1, zero, ""), "\t " + words);
}

// The label goes through a 100-character work area as "%s ": at most 99 characters of label and
// blank survive, the words follow in full.
TEST(TcpIpAddr, LabelsTooLongForTheWorkArea) {
    const std::uint8_t zero[16] = {};
    const std::string words = "0000 0000 0000 0000 0000 0000 0000 0000 \n";
    RizOrodOzido d;
    const std::string l98(98, 'x'), l99(99, 'y'), l150(150, 'z');
    EXPECT_EQ(ip_line(d, 1, zero, l98.c_str()), "\t" + l98 + " " + words);
    EXPECT_EQ(ip_line(d, 1, zero, l99.c_str()), "\t" + l99 + words);
    EXPECT_EQ(ip_line(d, 2, zero, l150.c_str()), "\t\t" + std::string(99, 'z') + words);
    EXPECT_EQ(ip_line(d, 0, zero, nullptr), "(null) " + words);
}

struct Layout {
    std::uint16_t code;
    std::size_t size;
    std::vector<std::string> expected;
};
class TcpLayout : public ::testing::TestWithParam<Layout> {};

// A patterned record of exactly the primitive's size: each line shows the offset and width read.
// Where an enumerated field has room for upper bytes they are set to ff and must not show; where
// it ends the record, the guard page catches a wider read.
TEST_P(TcpLayout, FieldsAtTheirOffsetsAndWidths) {
    Guarded r = patterned(GetParam().size, GetParam().code, 0x40);
    if (GetParam().code == 0x0202) r.put16(6, 0xffff);   // upper half of `status`
    if (GetParam().code == 0x0203) r.put16(10, 0xffff);  // upper half of `status`
    RizOrodOzido d;
    std::string want;
    for (const auto& l : GetParam().expected) want += l + "\n";
    EXPECT_EQ(body(d.debugL2CAPprim(GetParam().code, r.data())), want);
}

INSTANTIATE_TEST_SUITE_P(
    Tcp, TcpLayout,
    ::testing::Values(
        Layout{0x0201, 30,
               {"TCP_OPEN_REQ_T", "\ttype =  201", "\tphandle =  4342", "\tflags =  4544",
                "\trem_addr =  4746 4948 4b4a 4d4c 4f4e 5150 5352 5554 ", "\trem_port =  5756",
                "\tout_size =  5958", "\tloc_port =  5b5a", "\tin_size =  5d5c"}},
        Layout{0x0202, 14,
               {"TCP_OPEN_CFM_T", "\ttype =  202", "\tphandle =  4342", "\tstatus =  4544",
                "\tb_in =  4948", "\tb_out =  4b4a", "\tout_size =  4d4c"}},
        Layout{0x0203, 30,
               {"TCP_OPEN_IND_T", "\ttype =  203", "\tphandle =  4342", "\tb_out =  4544",
                "\tstatus =  4948", "\trem_addr =  4d4c 4f4e 5150 5352 5554 5756 5958 5b5a ",
                "\trem_port =  5d5c"}},
        Layout{0x0204, 6, {"TCP_OPEN_RSP_T", "\ttype =  204", "\tb =  4342", "\tstatus =  4544"}},
        Layout{0x0206, 8,
               {"TCP_DATA_CFM_T", "\ttype =  206", "\tphandle =  4342", "\tb_out =  4544",
                "\tlen =  4746"}},
        Layout{0x0208, 6, {"TCP_DATA_RSP_T", "\ttype =  208", "\tb =  4342", "\tlen =  4544"}},
        Layout{0x0209, 4, {"TCP_CLOSE_REQ_T", "\ttype =  209", "\tb =  4342"}},
        Layout{0x020a, 6,
               {"TCP_CLOSE_IND_T", "\ttype =  20a", "\tphandle =  4342", "\tb_out =  4544"}},
        Layout{0x020b, 6,
               {"TCP_CLOSED_IND_T", "\ttype =  20b", "\tphandle =  4342", "\tb_out =  4544"}},
        Layout{0x020c, 4, {"TCP_CLOSED_RSP_T", "\ttype =  20c", "\tb =  4342"}},
        Layout{0x020d, 4, {"TCP_ABORT_REQ_T", "\ttype =  20d", "\tb =  4342"}},
        Layout{0x020e, 6,
               {"TCP_ABORT_IND_T", "\ttype =  20e", "\tphandle =  4342", "\tb_out =  4544"}},
        Layout{0x020f, 6, {"TCP_ABORT_RSP_T", "\ttype =  20f", "\tb =  4342", "\tflags =  4544"}}),
    [](const auto& info) {
        std::ostringstream s;
        s << "code_" << std::hex << info.param.code;
        return s.str();
    });

// An enumerated field in a full four-byte slot: only the low 16 bits print, for every pattern of
// the upper two bytes.
TEST(TcpEnum, UpperBytesNeverShow) {
    struct Case {
        std::uint32_t slot;
        const char* shown;
    };
    for (Case c : {Case{0x00000000u, "00"}, Case{0xffff0001u, "01"}, Case{0x12340000u, "00"},
                   Case{0x8000ffffu, "ffff"}, Case{0x00ff02a0u, "2a0"}}) {
        Guarded r(8);
        r.put16(0, 0x0204);
        r.put16(2, 0x0007);
        r.put32(4, c.slot);
        RizOrodOzido d;
        EXPECT_EQ(body(d.debugL2CAPprim(0x0204, r.data())),
                  lines({"TCP_OPEN_RSP_T", "\ttype =  204", "\tb =  07",
                         std::string("\tstatus =  ") + c.shown}));
    }
}

}  // namespace
