// Every code of every interface against tests/data/every-code.txt: each line holds the decoding
// of a patterned record in compact form (support/decode.h), so a wrong offset, width, sign, label,
// order, nesting, count, code, name or record size anywhere changes a line. Byte i of a record
// holds 0x80 + i unless the pattern overwrites it (a block walk's count: below its capacity, 0
// and the capacity; a first field that selects a name or access codes; the link-policy choice);
// every pointer is served by a PatternSpace, whose requests end the line.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <tuple>
#include <utility>

#include "core/registry.h"
#include "support/decode.h"

namespace {
using rizorod::test::FixtureLine;
using rizorod::test::Interface;

TEST(EveryCode, DecodesAsTheFixtureSays) {
    RizOrodOzido d;
    for (const FixtureLine& f : rizorod::test::fixture()) {
        RizOrodOzidoTestAccess::mode(d) = 1;  // every dispatch starts from the mode it sets itself
        const std::string got = rizorod::test::fixture_line(d, f.iface, f.code, f.pattern);
        EXPECT_EQ(got, f.line) << "got:  " << got;
        EXPECT_EQ(RizOrodOzidoTestAccess::mode(d), 0) << f.line;
    }
}

TEST(EveryCode, TheFixtureHoldsEveryRegisteredCodeAndEachPatternOnce) {
    std::set<std::pair<Interface, std::uint16_t>> held, registered;
    std::set<std::tuple<Interface, std::uint16_t, std::string>> patterns;
    for (const FixtureLine& f : rizorod::test::fixture()) {
        held.emplace(f.iface, f.code);
        EXPECT_TRUE(patterns.emplace(f.iface, f.code, f.pattern).second) << f.line;
    }
    for (Interface iface : rizorod::kInterfaces)
        for (const auto& row : rizorod::detail::primitive_rows(iface)) registered.emplace(iface, row.code);
    EXPECT_EQ(held, registered);
}

// Separate objects on separate threads at once give the same texts; each thread also writes
// wall-clock headers (the tsan preset checks the clock's calendar conversion).
TEST(EveryCode, SeparateObjectsOnSeparateThreads) {
    const std::vector<FixtureLine> lines = rizorod::test::fixture();
    std::vector<std::vector<std::string>> got(3);
    std::vector<std::thread> threads;
    for (auto& mine : got)
        threads.emplace_back([&lines, &mine] {
            RizOrodOzido d;
            for (const FixtureLine& f : lines) {
                mine.push_back(rizorod::test::fixture_line(d, f.iface, f.code, f.pattern));
                rizorod::test::body(d.debugDMprim(0x0000, "\0\0\0\0"));
            }
        });
    for (auto& t : threads) t.join();
    for (const auto& mine : got) {
        ASSERT_EQ(mine.size(), lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(mine[i], lines[i].line);
    }
}

}  // namespace
