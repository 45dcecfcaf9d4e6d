// SPDX-License-Identifier: Apache-2.0
// Dispatch: of all 65536 codes of each interface exactly the registered ones decode, each under
// its registered name, and the registry holds each interface's number of codes; every other
// code gives the no-match text alone.
#include <gtest/gtest.h>

#include <vector>

#include "core/registry.h"
#include "support/decode.h"

namespace {
using rizorod::test::Interface;

TEST(Dispatch, ExactlyTheRegisteredCodesDecodeOnEachInterface) {
    const std::size_t counts[] = {215, 68, 42, 17};  // dm, l2cap, rfcomm, sdp
    rizorod::test::Guarded zeros(64);  // every count 0, every pointer null
    RizOrodOzido d;
    for (Interface iface : rizorod::kInterfaces) {
        std::vector<std::uint16_t> decoded, registered;
        std::vector<std::string> names;
        for (unsigned code = 0; code <= 0xffff; ++code) {
            const std::string text = rizorod::decode(d, iface, static_cast<std::uint16_t>(code), zeros.data());
            if (text == rizorod::test::kNoMatch) continue;
            decoded.push_back(static_cast<std::uint16_t>(code));
            const std::string rest = rizorod::test::body(text);
            names.push_back(rest.substr(0, rest.find('\n')));
        }
        std::vector<std::string> registered_names;
        for (const auto& row : rizorod::detail::primitive_rows(iface)) {
            registered.push_back(row.code);
            registered_names.push_back(row.name);
        }
        EXPECT_EQ(decoded, registered) << rizorod::interface_name(iface);
        EXPECT_EQ(names, registered_names) << rizorod::interface_name(iface);
        EXPECT_EQ(registered.size(), counts[static_cast<int>(iface)]) << rizorod::interface_name(iface);
    }
    EXPECT_EQ(rizorod::test::kNoMatch.size(), 56u);
}

}  // namespace
