// The dispatch frame: no-match text, mode reset, results that differ only in the stamp, and an
// allocation failure in the middle of a decoding.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "support/decode.h"

namespace {
std::atomic<long> g_fail_at{-1};  // allocation number that throws; -1: none
std::atomic<long> g_count{0};
}  // namespace

void* operator new(std::size_t n) {
    const long k = g_count.fetch_add(1);
    if (k == g_fail_at.load()) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {
using A = RizOrodOzidoTestAccess;
using riz::test::Guarded;
using riz::test::Interface;
const std::string kNoMatch = "ERROR: none of the prim types matched, default reached \n";

TEST(NoMatch, ExactTextOfFiftySixCharacters) {
    RizOrodOzido d;
    EXPECT_EQ(A::no_match(d), kNoMatch);
    EXPECT_EQ(kNoMatch.size(), 56u);
}

TEST(NoMatch, CodesOutsideEveryTableOnEveryInterface) {
    RizOrodOzido d;
    const std::uint8_t record[64] = {};
    for (Interface i : {Interface::dm, Interface::l2cap, Interface::rfcomm, Interface::sdp})
        for (std::uint16_t code : {0x7777, 0xfffe, 0xffff})
            EXPECT_EQ(riz::test::decode(d, i, code, record), kNoMatch) << std::hex << code;
}

TEST(Dispatch, EveryDispatchResetsTheModeByte) {
    RizOrodOzido d;
    A::mode(d) = 1;
    const std::uint8_t record[64] = {};
    EXPECT_EQ(d.debugSDPprim(0x000d, record), kNoMatch);
    EXPECT_EQ(A::mode(d), 0);
}

// DM_ACL_CONNECT_CFM_T, the worked example with phandle 0x1a.
Guarded connect_cfm() {
    return Guarded({0x04, 0x20, 0x1a, 0x00, 0x00, 0xee, 0x29, 0x00, 0x33, 0x8b, 0x9e, 0x00, 0x5b,
                    0xee, 0x02, 0x00, 0x01});
}
const std::string kConnectCfm = riz::test::lines(
    {"DM_ACL_CONNECT_CFM_T", "\ttype =  2004", "\tphandle =  1a", "\tstatus =  00", "\thandle =  29",
     "\tBD_ADDR_T", "\t\tlap =  9e8b33", "\t\tuap =  5b", "\t\tnap =  02", "\tenc_mode =  01"});

TEST(Dispatch, FreshObjectWithStaleModeByteDecodesWithNewlines) {
    alignas(RizOrodOzido) unsigned char storage[sizeof(RizOrodOzido)] = {0x01};
    auto* d = new (storage) RizOrodOzido;  // construction leaves the byte as it was
    Guarded rec = connect_cfm();
    EXPECT_EQ(riz::test::body(d->debugDMprim(0x2004, rec.data())), kConnectCfm);
    d->~RizOrodOzido();
}

TEST(Dispatch, TwoCallsDifferOnlyInTheStamp) {
    RizOrodOzido d;
    Guarded rec = connect_cfm();
    const std::string a = d.debugDMprim(0x2004, rec.data());
    const std::string b = d.debugDMprim(0x2004, rec.data());
    EXPECT_EQ(a.substr(37), b.substr(37));
    EXPECT_EQ(a.substr(0, 5), "---- ");
}

TEST(Dispatch, CopyAssignmentCopiesTheModeByte) {
    RizOrodOzido a, b;
    A::mode(b) = 1;
    A::mode(a) = 0;
    EXPECT_EQ(&(a = b), &a);
    EXPECT_EQ(A::mode(a), 1);
}

TEST(Dispatch, AllocationFailureMidDecodingLeavesTheObjectUsable) {
    // DM_ACL_DATA_SENT_IND_T with 64 handles: a text far beyond the 500 reserved characters, so
    // the string grows several times while the decoder writes.
    std::vector<Guarded> blocks;
    Guarded rec(24);
    rec.put16(0, 0x2009);
    rec.put16(2, 1);
    rec.put8(4, 64);
    for (int b = 0; b < 4; ++b) {
        blocks.emplace_back(64);
        for (int i = 0; i < 64; ++i) blocks.back().put8(i, static_cast<std::uint8_t>(i));
        rec.put32(8 + 4 * b, blocks.back().address());
    }
    RizOrodOzido d;
    const std::string good = d.debugDMprim(0x2009, rec.data()).substr(37);
    ASSERT_GT(good.size(), 1000u);
    for (long nth = 0; nth < 4; ++nth) {
        g_count = 0;
        g_fail_at = nth;
        EXPECT_THROW(d.debugDMprim(0x2009, rec.data()), std::bad_alloc) << nth;
        g_fail_at = -1;
        EXPECT_EQ(d.debugDMprim(0x2009, rec.data()).substr(37), good);
    }
}

TEST(Dispatch, SeparateObjectsDecodeOnSeparateThreads) {
    Guarded rec = connect_cfm();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            RizOrodOzido d;
            for (int i = 0; i < 2000; ++i)
                if (d.debugDMprim(0x2004, rec.data()).substr(37) != kConnectCfm) ++wrong;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong, 0);
}
}  // namespace
