// Separate objects on separate threads: every code of every interface decoded on several threads
// at once, each thread with its own object, its own address space of random pointed-to memory
// and its own records, gives exactly the text that the same decodings give one after the other.
// The tsan preset runs this under ThreadSanitizer, which also reports any unguarded shared state
// (the header's clock and calendar conversion, the mode byte, the seams).
#include <gtest/gtest.h>

#include <latch>
#include <random>
#include <thread>
#include <vector>

#include "support/decode.h"

namespace {
using riz::test::Guarded;
using riz::test::Interface;

constexpr Interface kAll[] = {Interface::dm, Interface::l2cap, Interface::rfcomm, Interface::sdp};

// Every code of every interface with a record of exactly its size, random after the type field,
// and pointers served from a RandomSpace of the same seed: the same seed gives the same texts.
// Header lines are left out (they show the wall clock); each is checked for its form instead.
std::vector<std::string> decode_every_code(std::uint32_t seed) {
    RizOrodOzido d;
    riz::test::RandomSpace space(seed);
    riz::detail::ScopedAddressSpace installed(space);
    std::mt19937 rng(seed ^ 0x5eed5eedu);
    std::vector<std::string> texts;
    for (Interface iface : kAll) {
        for (const riz::detail::PrimInfo& row : riz::detail::primitives(iface)) {
            Guarded record(row.size);
            for (std::size_t i = 0; i < record.size(); ++i)
                record.put8(i, static_cast<std::uint8_t>(rng()));
            record.put16(0, row.code);
            const std::string text = riz::test::decode(d, iface, row.code, record.data());
            const std::string name_line = std::string(row.name) + "\n";
            if (text.size() < 37 || text.compare(0, 5, "---- ") != 0 || text[36] != '\n' ||
                text.compare(37, name_line.size(), name_line) != 0)
                texts.push_back("bad text for " + name_line + text);
            else
                texts.push_back(text.substr(37));
        }
    }
    return texts;
}

TEST(Concurrency, EveryCodeOnSeparateObjectsInSeveralThreadsAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 3;
    std::vector<std::vector<std::string>> expected;
    for (int t = 0; t < kThreads; ++t) expected.push_back(decode_every_code(1000u + t));
    ASSERT_EQ(expected[0].size(), 215u + 68u + 42u + 17u);

    std::vector<std::vector<std::vector<std::string>>> got(kThreads);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int r = 0; r < kRounds; ++r) got[t].push_back(decode_every_code(1000u + t));
        });
    for (auto& thread : threads) thread.join();

    for (int t = 0; t < kThreads; ++t)
        for (int r = 0; r < kRounds; ++r) {
            ASSERT_EQ(got[t][r].size(), expected[t].size());
            for (std::size_t i = 0; i < expected[t].size(); ++i)
                EXPECT_EQ(got[t][r][i], expected[t][i])
                    << "thread " << t << " round " << r << " code #" << i;
        }
}

// The pinned stamp and the address space are per thread: one thread's settings never show in
// another thread's decodings.
TEST(Concurrency, PinnedStampsStayOnTheirThreads) {
    // DM_ACL_CONNECT_CFM_T: no pointers, so only the header differs between threads.
    const Guarded record({0x04, 0x20, 0x1a, 0x00, 0x00, 0x00, 0x29, 0x00, 0x33, 0x8b, 0x9e, 0x00,
                          0x5b, 0x00, 0x02, 0x00, 0x01});
    constexpr int kThreads = 4;
    std::vector<int> wrong(kThreads, 0);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            char stamp[] = "0t:00:00.000";
            stamp[1] = static_cast<char>('0' + t);
            riz::detail::ScopedStamp pinned(stamp, 12);
            RizOrodOzido d;
            start.arrive_and_wait();
            for (int i = 0; i < 500; ++i)
                if (d.debugDMprim(0x2004, record.data())
                        .compare(0, 18, std::string("---- ") + stamp + " ") != 0)
                    ++wrong[t];
        });
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

}  // namespace
