// SPDX-License-Identifier: Apache-2.0
// The shared library as a user links it: the headers alone, the public operations alone. On
// Windows the exceptions that the library throws must reach this program's handlers.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include <RizOrodOzido/rizorod.h>  // compiles as C++ too
#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/RizOrodOzido.h>

namespace {

TEST(SharedLibrary, ObjectIsOneByte) { EXPECT_EQ(sizeof(RizOrodOzido), 1u); }

TEST(SharedLibrary, DecodeErrorThrownInTheLibraryIsCaughtByTheCaller) {
    rizorod::Decoder decoder;
    const std::uint8_t record[2] = {0x04, 0x20};
    try {
        decoder.decode(rizorod::Interface::dm, 0x2004, record, rizorod::MemoryImage{});
        FAIL() << "no DecodeError";
    } catch (const rizorod::DecodeError& e) {
        EXPECT_EQ(e.code(), 0x2004);
        EXPECT_STREQ(e.what(), "dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2");
    }
}

TEST(SharedLibrary, ReaderTakesTheCallersStream) {
    std::istringstream in("12:00:00.001 sdp 0b 00 a0 02\nhci 04 20\n");
    rizorod::CaptureReader reader(in);
    rizorod::Entry entry;
    rizorod::Problem problem;
    EXPECT_EQ(reader.next(entry, problem), rizorod::CaptureReader::Item::entry);
    EXPECT_EQ(reader.next(entry, problem), rizorod::CaptureReader::Item::problem);
    EXPECT_EQ(problem.line, 2u);
}
}  // namespace
