// SPDX-License-Identifier: Apache-2.0
// Addresses in the forms users know: a table of values and their texts, edge cases of the IPv6
// text's zero runs included.
#include <gtest/gtest.h>

#include <RizOrodOzido/fields.h>

#include "support/decode.h"

namespace {

TEST(Forms, AddressesAsUsersWriteThem) {
    EXPECT_EQ(rizorod::bd_addr_text(0x006a1f20, 0x7c, 0x0012), "00:12:7C:6A:1F:20");
    EXPECT_EQ(rizorod::bd_addr_text(0xa5c3b1e2, 0xd4, 0xf6e7), "F6:E7:D4:C3:B1:E2");  // lap's top byte is not the address's
    const std::uint8_t ether[6] = {0x00, 0x12, 0x7c, 0x6a, 0x1f, 0xa0};
    EXPECT_EQ(rizorod::ether_text(ether), "00:12:7c:6a:1f:a0");

    const struct {
        const char* bytes;
        const char* text;
    } ips[] = {
        {"0000 0000 0000 0000 0000 ffff c0a8 0001", "::ffff:192.168.0.1"},
        {"2001 0db8 0000 0000 0001 0000 0000 0001", "2001:db8::1:0:0:1"},  // the first of equal runs
        {"2001 0db8 0000 0001 0000 0000 0000 0001", "2001:db8:0:1::1"},    // the longest run
        {"0000 0000 0000 0000 0000 0000 0000 0000", "::"},
        {"0000 0000 0000 0000 0000 0000 0000 0001", "::1"},
        {"fe80 0000 0000 0000 0000 0000 0000 0000", "fe80::"},
        {"2001 0db8 0000 0001 0001 0001 0001 0001", "2001:db8:0:1:1:1:1:1"},  // one zero word stays
        {"ab12 cd34 ef56 1278 9abc def0 1357 2468", "ab12:cd34:ef56:1278:9abc:def0:1357:2468"},
    };
    for (const auto& ip : ips) EXPECT_EQ(rizorod::ip_text(rizorod::test::bytes(ip.bytes).data()), ip.text) << ip.bytes;

    EXPECT_EQ(rizorod::address_form(rizorod::layout(rizorod::Interface::dm, 0x2004)->fields[4].record),
              rizorod::AddressForm::bd_addr);
    EXPECT_EQ(rizorod::address_form(rizorod::layout(rizorod::Interface::l2cap, 0x0102)->fields[2].record),
              rizorod::AddressForm::ether);
    EXPECT_EQ(rizorod::address_form(rizorod::layout(rizorod::Interface::dm, 0x2004)), rizorod::AddressForm::none);
    EXPECT_EQ(rizorod::address_form(nullptr), rizorod::AddressForm::none);
}

}  // namespace
