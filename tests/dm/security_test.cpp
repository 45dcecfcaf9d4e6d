// Device Manager security-manager primitives. Expected texts are written out by hand; records end
// exactly at a guard page, so any read past the layout faults.
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

// Puts the address lap 0x9abcde, uap 0x78, nap 0x1234 at `o`, gap byte o + 5 left alone.
void put_addr(Guarded& r, std::size_t o) {
    r.put32(o, 0x9abcde);
    r.put8(o + 4, 0x78);
    r.put16(o + 6, 0x1234);
}
const std::string kAddr = lines({"\tBD_ADDR_T", "\t\tlap =  9abcde", "\t\tuap =  78", "\t\tnap =  1234"});

// 16 bytes first, first + 1, ... at `o`, and their lines labelled `label`.
void put_run(Guarded& r, std::size_t o, std::uint8_t first) {
    for (int i = 0; i < 16; ++i) r.put8(o + i, static_cast<std::uint8_t>(first + i));
}
std::string run_lines(const char* label, std::uint8_t first) {
    std::string out;
    for (int i = 0; i < 16; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "\t%s [c] =  %02x\n", label, static_cast<unsigned>(first + i) & 0xff);
        out += line;
    }
    return out;
}

std::string dm(const Guarded& r, std::uint16_t code) {
    RizOrodOzido d;
    return d.debugDMprim(code, r.data());
}

// ---- Worked examples -------------------------------------------------------------------------

TEST(Security, AccessCfmWorkedExample) {
    Guarded r = record(32);  // bytes 22 and 23 are a gap and keep 0xee
    r.put16(0, 0x2c12);
    r.put16(2, 0x0001);
    put_addr(r, 4);
    r.put32(12, 1);
    r.put32(16, 3);
    r.put8(20, 1);
    r.put8(21, 1);
    r.put32(24, 0);
    r.put32(28, 0);
    EXPECT_EQ(body(dm(r, 0x2c12)),
              lines({"DM_SM_ACCESS_CFM_T", "\ttype =  2c12", "\tphandle =  01", "\tBD_ADDR_T",
                     "\t\tlap =  9abcde", "\t\tuap =  78", "\t\tnap =  1234", "\tprotocol_id =  01",
                     "\tchannel =  03", "\tincoming =  01", "\tgranted =  01", "\tpv_context =  00",
                     "\tn_context =  00"}));
}

TEST(Security, ClrxEnableListsAllTenPsms) {
    Guarded r = record(24, 0);
    r.put16(0, 0x2c1d);
    r.put16(2, 0x0002);
    r.put16(4, 0x0001);
    r.put16(6, 0x0003);
    std::string expected = lines({"DM_SM_L2CAP_CLRX_ENABLE_IND_T", "\ttype =  2c1d", "\tphandle =  02",
                                  "\tpsm_array [c] =  01", "\tpsm_array [c] =  03"});
    for (int i = 0; i < 8; ++i) expected += "\tpsm_array [c] =  00\n";
    EXPECT_EQ(body(dm(r, 0x2c1d)), expected);

    // Elements are 16-bit: the high byte of each is shown, the last one ends the record.
    r.put16(22, 0x1f01);
    r.put16(4, 0x0100);
    const std::string text = body(dm(r, 0x2c1d));
    EXPECT_NE(text.find("\tphandle =  02\n\tpsm_array [c] =  100\n"), std::string::npos) << text;
    const std::string last = "\tpsm_array [c] =  1f01\n";
    ASSERT_GE(text.size(), last.size());
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

// ---- Element runs ----------------------------------------------------------------------------

class PinLength : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(PinLength, AllSixteenPinBytesWhateverTheLength) {
    Guarded r = record(29);
    r.put16(0, 0x2c0b);
    put_addr(r, 4);
    r.put8(12, GetParam());
    put_run(r, 13, 0x30);
    char length_line[32];
    std::snprintf(length_line, sizeof length_line, "\tpin_length =  %02x\n", GetParam());
    EXPECT_EQ(body(dm(r, 0x2c0b)), lines({"DM_SM_PIN_REQUEST_RES_T", "\ttype =  2c0b"}) + kAddr +
                                       length_line + run_lines("pin", 0x30));
}

INSTANTIATE_TEST_SUITE_P(Lengths, PinLength, ::testing::Values(0, 4, 16, 0xff));

TEST(Security, AddDeviceKeyStartsAtTheOddOffsetAfterThreeFlags) {
    Guarded r = record(31);
    r.put16(0, 0x2c08);
    put_addr(r, 4);
    r.put8(12, 0x01);
    r.put8(13, 0x00);
    r.put8(14, 0x02);
    put_run(r, 15, 0xa0);
    EXPECT_EQ(body(dm(r, 0x2c08)),
              lines({"DM_SM_ADD_DEVICE_REQ_T", "\ttype =  2c08"}) + kAddr +
                  lines({"\tupdate_trust_level =  01", "\ttrusted =  00", "\tupdate_link_key =  02"}) +
                  run_lines("link_key", 0xa0));
}

TEST(Security, LinkKeyResponseAndIndicationKeysInMemoryOrder) {
    Guarded res = record(29);
    res.put16(0, 0x2c0a);
    put_addr(res, 4);
    put_run(res, 12, 0xf8);  // wraps past ff to 00..07
    res.put8(28, 0x01);
    EXPECT_EQ(body(dm(res, 0x2c0a)), lines({"DM_SM_LINK_KEY_REQUEST_RES_T", "\ttype =  2c0a"}) + kAddr +
                                         run_lines("key", 0xf8) + "\tvalid =  01\n");

    Guarded ind = record(29);
    ind.put16(0, 0x2c18);
    ind.put16(2, 0x0009);
    put_addr(ind, 4);
    ind.put8(12, 0x02);
    put_run(ind, 13, 0x00);
    EXPECT_EQ(body(dm(ind, 0x2c18)), lines({"DM_SM_LINK_KEY_IND_T", "\ttype =  2c18", "\tphandle =  09"}) +
                                         kAddr + "\tkey_type =  02\n" + run_lines("key", 0x00));
}

// ---- Widths and flags ------------------------------------------------------------------------

TEST(Security, RegisterShowsWideChannelsAndFlagsAsStored) {
    Guarded r = record(18);  // bytes 2, 3 and 13 are gaps
    r.put16(0, 0x2c02);
    r.put32(4, 0x00000003);
    r.put32(8, 0x00010000);
    r.put8(12, 0x02);
    r.put16(14, 0x02a0);
    r.put16(16, 0x1001);
    EXPECT_EQ(body(dm(r, 0x2c02)),
              lines({"DM_SM_REGISTER_REQ_T", "\ttype =  2c02", "\tprotocol_id =  03", "\tchannel =  10000",
                     "\toutgoing_ok =  02", "\tsecurity_level =  2a0", "\tpsm =  1001"}));
}

TEST(Security, AccessRequestContextsArePrintedAsNumbers) {
    Guarded r = record(32);  // bytes 21 to 23 are a gap
    r.put16(0, 0x2c06);
    r.put16(2, 0x0abc);
    put_addr(r, 4);
    r.put32(12, 0x80000001);
    r.put32(16, 0x0000ffff);
    r.put8(20, 0x00);
    r.put32(24, 0x12345678);
    r.put32(28, 0xffffffff);
    EXPECT_EQ(body(dm(r, 0x2c06)),
              lines({"DM_SM_ACCESS_REQ_T", "\ttype =  2c06", "\tphandle =  abc"}) + kAddr +
                  lines({"\tprotocol_id =  80000001", "\tchannel =  ffff", "\tincoming =  00",
                         "\tpv_context =  12345678", "\tn_context =  ffffffff"}));
}

TEST(Security, OutgoingRegistrationAndModeConfirm) {
    Guarded out = record(24);
    out.put16(0, 0x2c04);
    put_addr(out, 4);
    out.put32(12, 0x100);
    out.put32(16, 0x1e);
    out.put16(20, 0x8001);
    out.put16(22, 0x0003);
    EXPECT_EQ(body(dm(out, 0x2c04)), lines({"DM_SM_REGISTER_OUTGOING_REQ_T", "\ttype =  2c04"}) + kAddr +
                                         lines({"\tprotocol_id =  100", "\tremote_channel =  1e",
                                                "\toutgoing_security_level =  8001", "\tpsm =  03"}));

    Guarded cfm = record(7);
    cfm.put16(0, 0x2c13);
    cfm.put16(2, 0x0001);
    cfm.put8(4, 0x03);
    cfm.put8(5, 0x01);
    cfm.put8(6, 0x00);
    EXPECT_EQ(body(dm(cfm, 0x2c13)), lines({"DM_SM_SET_SEC_MODE_CFM_T", "\ttype =  2c13", "\tphandle =  01",
                                            "\tmode =  03", "\tmode3_enc =  01", "\tsuccess =  00"}));
}

// ---- Code space ------------------------------------------------------------------------------

TEST(Security, CodesBetweenAndAroundTheTwoBlocksAreNotDefined) {
    Guarded unused = record(64);
    for (std::uint16_t code : {0x2c00, 0x2c10, 0x2c11, 0x2c1e, 0x2cff})
        EXPECT_EQ(dm(unused, code), kNoMatch) << std::hex << code;

    Guarded reg = record(4);
    reg.put16(0, 0x2c0f);
    reg.put16(2, 0x0011);
    EXPECT_EQ(body(dm(reg, 0x2c0f)), lines({"DM_SM_L2CAP_REGISTER_REQ_T", "\ttype =  2c0f", "\tphandle =  11"}));
}

// Gap bytes take part in no line: the text is the same whatever they hold.
class Gaps : public ::testing::TestWithParam<GapCase> {};

TEST_P(Gaps, NeverPrinted) {
    const GapCase& c = GetParam();
    riz::test::expect_gaps_never_printed(riz::detail::Interface::dm, c.code, c.size, c.gaps);
}

INSTANTIATE_TEST_SUITE_P(
    Security, Gaps,
    ::testing::Values(GapCase{0x2c02, 18, {2, 3, 13}}, GapCase{0x2c03, 12, {2, 3}},
                      GapCase{0x2c04, 24, {2, 3, 9}}, GapCase{0x2c05, 20, {2, 3, 9}},
                      GapCase{0x2c06, 32, {9, 21, 22, 23}}, GapCase{0x2c08, 31, {2, 3, 9}},
                      GapCase{0x2c09, 12, {2, 3, 9}}, GapCase{0x2c0a, 29, {2, 3, 9}},
                      GapCase{0x2c0b, 29, {2, 3, 9}}, GapCase{0x2c0c, 22, {2, 3, 9}},
                      GapCase{0x2c0d, 12, {2, 3, 9}}, GapCase{0x2c0e, 13, {2, 3, 9}},
                      GapCase{0x2c12, 32, {9, 22, 23}}, GapCase{0x2c18, 29, {9}}),
    riz::test::gap_case_name);

// ---- Every code: header, name, type, and no read past the record -----------------------------

struct Prim {
    std::uint16_t code;
    const char* name;
    std::uint16_t size;
};

const Prim kSecurity[] = {
    {0x2c01, "DM_SM_SET_DEFAULT_SECURITY_REQ_T", 4},
    {0x2c02, "DM_SM_REGISTER_REQ_T", 18},
    {0x2c03, "DM_SM_UNREGISTER_REQ_T", 12},
    {0x2c04, "DM_SM_REGISTER_OUTGOING_REQ_T", 24},
    {0x2c05, "DM_SM_UNREGISTER_OUTGOING_REQ_T", 20},
    {0x2c06, "DM_SM_ACCESS_REQ_T", 32},
    {0x2c07, "DM_SM_SET_SEC_MODE_REQ_T", 4},
    {0x2c08, "DM_SM_ADD_DEVICE_REQ_T", 31},
    {0x2c09, "DM_SM_REMOVE_DEVICE_REQ_T", 12},
    {0x2c0a, "DM_SM_LINK_KEY_REQUEST_RES_T", 29},
    {0x2c0b, "DM_SM_PIN_REQUEST_RES_T", 29},
    {0x2c0c, "DM_SM_AUTHORISE_RES_T", 22},
    {0x2c0d, "DM_SM_AUTHENTICATE_REQ_T", 12},
    {0x2c0e, "DM_SM_ENCRYPT_REQ_T", 13},
    {0x2c0f, "DM_SM_L2CAP_REGISTER_REQ_T", 4},
    {0x2c12, "DM_SM_ACCESS_CFM_T", 32},
    {0x2c13, "DM_SM_SET_SEC_MODE_CFM_T", 7},
    {0x2c14, "DM_SM_ADD_DEVICE_CFM_T", 13},
    {0x2c15, "DM_SM_REMOVE_DEVICE_CFM_T", 13},
    {0x2c16, "DM_SM_LINK_KEY_REQUEST_IND_T", 12},
    {0x2c17, "DM_SM_PIN_REQUEST_IND_T", 12},
    {0x2c18, "DM_SM_LINK_KEY_IND_T", 29},
    {0x2c19, "DM_SM_AUTHORISE_IND_T", 21},
    {0x2c1a, "DM_SM_AUTHENTICATE_CFM_T", 13},
    {0x2c1b, "DM_SM_ENCRYPT_CFM_T", 14},
    {0x2c1c, "DM_SM_ENCRYPTION_CHANGE_T", 13},
    {0x2c1d, "DM_SM_L2CAP_CLRX_ENABLE_IND_T", 24},
};

TEST(Security, EveryCodeDecodesARandomRecordOfExactlyItsSize) {
    ASSERT_EQ(std::size(kSecurity), 27u);
    std::set<std::uint16_t> codes;
    for (const Prim& p : kSecurity) {
        SCOPED_TRACE(p.name);
        const riz::detail::PrimInfo* row = riz::detail::find_primitive(riz::detail::Interface::dm, p.code);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->name, p.name);
        EXPECT_EQ(row->size, p.size);
        codes.insert(p.code);
    }
    // No security-manager primitive carries a pointer.
    EXPECT_EQ(riz::test::expect_random_records_decode(riz::detail::Interface::dm, codes), 0u);
}

TEST(Security, NoOtherCodesInTheSecurityManagerGroup) {
    std::set<std::uint16_t> expected, found;
    for (const Prim& p : kSecurity) expected.insert(p.code);
    for (const auto& row : riz::detail::primitives(riz::detail::Interface::dm))
        if (row.code >= 0x2c00 && row.code < 0x3000) found.insert(row.code);
    EXPECT_EQ(found, expected);
}

}  // namespace
