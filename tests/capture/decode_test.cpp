// SPDX-License-Identifier: Apache-2.0
// The offline decoding API as a table: what it refuses, with the exact message, and what it
// accepts. (Every code offline against in process, and one byte short, is the capture writer's
// round trip in tests/capture-writer/writer_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <RizOrodOzido/capture.h>
#include "support/decode.h"

namespace {
using rizorod::DecodeError;
using rizorod::Decoder;
using rizorod::Interface;
using rizorod::MemoryImage;

struct Case {
    Interface iface;
    std::uint16_t code;
    std::string record;  // hexadecimal, as rizorod::test::bytes reads it
    std::vector<std::pair<std::uint32_t, std::string>> image;
    std::string outcome;  // "error: " and the message, or how the text ends
};

const std::string kFragment = "needs a name fragment of 32 bytes or one ended by a zero byte; the image has ";
const std::string kSent = "error: dm 0x2009 DM_ACL_DATA_SENT_IND_T: pointer at offset 8 = 0x00203000 needs 64 bytes; ";
const std::string kWrite = "error: l2cap 0x000b L2CA_DATAWRITE_REQ_T: pointer at offset 8 = 0x00300000 needs ";
const std::string kIac = "error: dm 0x0c3a HCI_WRITE_CURRENT_IAC_LAP_T: pointer at offset 12 = 0x00510000 needs 4 bytes; ";
const std::string kName = "error: dm 0x0429 DM_HCI_REMOTE_NAME_COMPLETE_T: pointer at offset ";

const Case kCases[] = {
    {Interface::dm, 0x2004, "16*00", {}, "error: dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 16"},
    {Interface::dm, 0x2004, "0420 38*00", {}, "\tenc_mode =  00\n"},
    {Interface::l2cap, 0x000b, "0b00", {}, "error: l2cap 0x000b L2CA_DATAWRITE_REQ_T: record needs 12 bytes; it has 2"},
    {Interface::dm, 0x0c3a, "", {}, "error: dm 0x0c3a HCI_WRITE_CURRENT_IAC_LAP_T: record needs 32 bytes; it has 0"},
    {Interface::dm, 0x0c13, "2904 34*00", {},
     "error: dm 0x0c13 HCI_CHANGE_LOCAL_NAME_T: record needs 48 bytes for the name-part pointers at offsets 16 "
     "to 47 that its first field 0x0429 selects; it has 36"},
    {Interface::dm, 0x0c3a, "130c 30*00", {},
     "error: dm 0x0c3a HCI_WRITE_CURRENT_IAC_LAP_T: record needs 36 bytes for the name-part pointers at offsets 4 "
     "to 35 that its first field 0x0c13 selects; it has 32"},
    {Interface::dm, 0x0c3a, "4b0c 30*00", {},
     "error: dm 0x0c3a HCI_WRITE_CURRENT_IAC_LAP_T: record needs 40 bytes for the name-part pointers at offsets 8 "
     "to 39 that its first field 0x0c4b selects; it has 32"},
    {Interface::dm, 0x0c13, "2904 46*00", {}, "\tname_part = \n"},
    {Interface::dm, 0x0c13, "3412 34*00", {}, "Unknown customDebug Primitive type\n\n"},
    {Interface::sdp, 0x000d, "", {}, rizorod::test::kNoMatch},
    {Interface::dm, 0x2807, "64*ff", {}, rizorod::test::kNoMatch},
    // Blocks: missing, short, addressed in the middle, given in two pieces; null pointers.
    {Interface::dm, 0x2009, "0920 0100 01 3*00 00302000 12*00", {}, kSent + "the image has none there"},
    {Interface::dm, 0x2009, "0920 0100 01 3*00 00302000 12*00", {{0x00203000, "20*00"}}, kSent + "the image has 20 there"},
    {Interface::dm, 0x2009, "0920 0100 01 3*00 00302000 12*00", {{0x00202ff0, "79*00"}}, kSent + "the image has 63 there"},
    {Interface::dm, 0x2009, "0920 0100 01 3*00 00302000 12*00", {{0x00202ff0, "79*00"}, {0x0020303f, "00"}},
     "\t\tnum_completed =  00\n"},
    {Interface::dm, 0x2009, "0920 0100 11 3*00 16*00", {}, "\tnum_handles =  11\n"},
    {Interface::dm, 0x0c3a, "3a0c 0700 11 3*00 00005000 00005100 16*00", {{0x00500000, "64*00"}}, kIac + "the image has none there"},
    {Interface::dm, 0x0c3a, "3a0c 0700 11 3*00 00005000 00005100 16*00", {{0x00500000, "64*00"}, {0x00510000, "000000"}},
     kIac + "the image has 3 there"},
    {Interface::l2cap, 0x000b, "0b00 4100 0300 0000 00003000", {{0x00300000, "0102"}}, kWrite + "3 bytes; the image has 2 there"},
    {Interface::l2cap, 0x000b, "0b00 4100 0100 0000 00003000", {}, kWrite + "1 byte; the image has none there"},
    {Interface::l2cap, 0x000b, "0b00 4100 0300 0000 00003000", {{0x00300000, "0102ff"}}, "\tlength =  03\n 01 02 ff\n"},
    {Interface::l2cap, 0x000b, "0b00 4100 0000 0000 00007000", {}, "\tlength =  00\n\n"},
    {Interface::l2cap, 0x000b, "0b00 4100 0500 0000 00000000", {}, "\tlength =  05\n\n"},
    // Name fragments: without their end, missing after a full one, the last one of 24 bytes.
    {Interface::dm, 0x0429, "2904 14*00 00004000 00004100 24*00", {{0x00400000, "4b69746368"}},
     kName + "16 = 0x00400000 " + kFragment + "5 there and no zero byte"},
    {Interface::dm, 0x0429, "2904 14*00 00004000 00004100 24*00", {{0x00400000, "32*6b"}},
     kName + "20 = 0x00410000 " + kFragment + "none there"},
    {Interface::dm, 0x0429, "2904 14*00 00004000 00004100 24*00", {{0x00400000, "32*6b"}, {0x00410000, "797a00"}},
     "\tname_part = " + std::string(32, 'k') + "yz\n"},
    {Interface::dm, 0x0429, "2904 14*00 00004000 00004100 00004200 00004300 00004400 00004500 00004600 00004700",
     {{0x00400000, "32*61"}, {0x00410000, "32*62"}, {0x00420000, "32*63"}, {0x00430000, "32*64"},
      {0x00440000, "32*65"}, {0x00450000, "32*66"}, {0x00460000, "32*67"}, {0x00470000, "23*68"}},
     "error: dm 0x0429 DM_HCI_REMOTE_NAME_COMPLETE_T: pointer at offset 44 = 0x00470000 needs a name fragment "
     "of 24 bytes or one ended by a zero byte; the image has 23 there and no zero byte"},
};

TEST(Decode, RefusesWhatIsMissingAndAcceptsTheRest) {
    for (const Case& c : kCases) {
        MemoryImage image;
        for (const auto& [address, hex] : c.image) EXPECT_TRUE(image.add(address, rizorod::test::bytes(hex)));
        std::string outcome;
        try {
            outcome = Decoder().decode(c.iface, c.code, rizorod::test::bytes(c.record), image);
        } catch (const DecodeError& e) {
            outcome = "error: " + std::string(e.what());
            EXPECT_EQ(e.iface(), c.iface);
            EXPECT_EQ(e.code(), c.code);
            EXPECT_EQ(outcome.substr(outcome.size() - e.detail().size()), e.detail());
        }
        EXPECT_TRUE(outcome.size() >= c.outcome.size() &&
                    outcome.compare(outcome.size() - c.outcome.size(), c.outcome.size(), c.outcome) == 0)
            << "expected to end with: " << c.outcome << "\ngot: " << outcome;
    }
}

}  // namespace
