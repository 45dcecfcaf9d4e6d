// The shared library as a user links it: the header alone, the public operations alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

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
}  // namespace
