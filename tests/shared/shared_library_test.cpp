// The shared library as a user links it: the headers alone, the public operations alone. On
// Windows the exceptions that the library throws must reach this program's handlers.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "capi/rizorod.h"  // compiles as C++ too
#include "capture/capture.h"
#include "core/RizOrodOzido.h"

namespace {
const std::string kNoMatch = "ERROR: none of the prim types matched, default reached \n";

TEST(SharedLibrary, ObjectIsOneByte) { EXPECT_EQ(sizeof(RizOrodOzido), 1u); }

TEST(SharedLibrary, UnknownCodesGiveTheNoMatchTextOnEveryInterface) {
    RizOrodOzido d;
    const std::uint8_t record[64] = {};
    EXPECT_EQ(d.debugSDPprim(0x000d, record), kNoMatch);
    EXPECT_EQ(d.debugSDPprim(0x0000, record), kNoMatch);
    EXPECT_EQ(d.debugRFCOMMprim(0x002b, record), kNoMatch);
    EXPECT_EQ(d.debugL2CAPprim(0x0210, record), kNoMatch);
    EXPECT_EQ(d.debugDMprim(0x2807, record), kNoMatch);
}

TEST(SharedLibrary, CopyAssignmentReturnsTheAssignedObject) {
    RizOrodOzido a, b;
    EXPECT_EQ(&(a = b), &a);
}

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
