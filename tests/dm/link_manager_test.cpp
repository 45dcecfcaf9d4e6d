#include <gtest/gtest.h>

#include "support/decode.h"

using riz::test::Guarded;

TEST(Smoke, AclDataSentWalksOneBlock) {
    Guarded block(64);
    for (int i = 0; i < 16; ++i) { block.put16(4 * i, 0x28 + i); block.put16(4 * i + 2, i); }
    Guarded rec(24);
    rec.put16(0, 0x2009); rec.put16(2, 1); rec.put8(4, 2);
    rec.put32(8, block.address());
    RizOrodOzido d;
    std::string text = riz::test::body(d.debugDMprim(0x2009, rec.data()));
    EXPECT_NE(text.find("\tHANDLE_COMPLETE_T\n\t\thandle =  28\n\t\tnum_completed =  00\n"), std::string::npos) << text;
}
