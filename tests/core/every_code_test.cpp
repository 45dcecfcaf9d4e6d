// Every code of every interface against tests/data/every-code.txt: each line holds the decoding
// of a patterned record in compact form (support/decode.h), so a wrong offset, width, sign, label,
// order, nesting, count, code, name or record size anywhere changes a line. Byte i of a record
// holds 0x80 + i unless the pattern overwrites it (a block walk's count: below its capacity, 0
// and the capacity; a first field that selects a name or access codes; the link-policy choice);
// every pointer is served by a PatternSpace, whose requests end the line.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>
#include <tuple>
#include <utility>

#include <RizOrodOzido/fields.h>

#include "core/registry.h"
#include "support/decode.h"

namespace {
using rizorod::test::FixtureLine;
using rizorod::test::Interface;

// What a decoding shows, in printed order: a record's name ("{", NAME), a value (label, digits),
// a byte run ("run", its bytes in hexadecimal), a name ("name_part", its text), the complaint of
// an unknown custom rendering ("custom", ""). Values lose their padding; empty lines and empty
// runs show nothing.
using Tokens = std::vector<std::pair<std::string, std::string>>;
std::string digits(std::uint32_t v) {
    std::ostringstream out;
    out << std::hex << v;
    return out.str();
}

Tokens text_tokens(const std::string& text) {
    Tokens out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t depth = line.find_first_not_of('\t'), eq = line.find(" = ");
        if (depth == std::string::npos) continue;
        const std::string body = line.substr(depth);
        std::istringstream words(eq == std::string::npos ? body : line.substr(eq + 3));
        std::string label = eq == std::string::npos ? "" : line.substr(depth, eq - depth), run;
        if (label.size() > 4 && label.compare(label.size() - 4, 4, " [c]") == 0) label.resize(label.size() - 4);
        if (body == "Unknown customDebug Primitive type") {
            out.emplace_back("custom", "");
        } else if (label == "name_part") {
            out.emplace_back(label, line.substr(eq + 3));
        } else if (body[0] != ' ' && eq == std::string::npos) {
            out.emplace_back("{", body);
        } else if (depth == 0) {  // a byte run
            for (std::string w; words >> w;) run += w;
            out.emplace_back("run", run);
        } else {
            for (std::string w; words >> w;) out.emplace_back(label, digits(std::stoul(w, nullptr, 16)));
        }
    }
    return out;
}

void tree_tokens(const rizorod::Field& f, const std::string& list, Tokens& out) {
    using Kind = rizorod::Field::Kind;
    std::string run;
    for (std::uint8_t b : f.bytes) run += "0123456789abcdef"[b >> 4] + std::string(1, "0123456789abcdef"[b & 15]);
    switch (f.kind) {
    case Kind::value: out.emplace_back(f.label.empty() ? list : f.label, digits(f.value)); break;
    case Kind::record: out.emplace_back("{", f.name); break;
    case Kind::list: break;
    case Kind::bytes: if (!run.empty()) out.emplace_back("run", run); break;
    case Kind::name: out.emplace_back("name_part", std::string(f.bytes.begin(), f.bytes.end())); break;
    case Kind::unknown_custom: out.emplace_back("custom", ""); break;
    }
    for (const rizorod::Field& c : f.fields) tree_tokens(c, f.kind == Kind::list ? f.label : "", out);
}

TEST(EveryCode, DecodesAsTheFixtureSays) {
    RizOrodOzido d;
    for (const FixtureLine& f : rizorod::test::fixture()) {
        RizOrodOzidoTestAccess::mode(d) = 1;  // every dispatch starts from the mode it sets itself
        const std::string got = rizorod::test::fixture_line(d, f.iface, f.code, f.pattern);
        EXPECT_EQ(got, f.line) << "got:  " << got;
        EXPECT_EQ(RizOrodOzidoTestAccess::mode(d), 0) << f.line;
    }
}

// The structured walk of every fixture line, built into a tree, shows what the text shows and
// asks for the same memory in the same order. (A word of a block walk has no label in the text.)
TEST(EveryCode, TheFieldTreeShowsWhatTheTextShows) {
    RizOrodOzido d;
    for (const FixtureLine& f : rizorod::test::fixture()) {
        const rizorod::test::Decoded text = rizorod::test::decode_patterned(d, f.iface, f.code, f.pattern);
        const rizorod_layout_record* layout = rizorod::layout(f.iface, f.code);
        rizorod::test::PatternSpace space(text.record->data());
        rizorod::FieldTree tree(layout->name);
        {
            rizorod::detail::ScopedAddressSpace scope(space);
            rizorod::walk_fields(layout, text.record->data(), tree);
        }
        const Tokens want = text_tokens(rizorod::test::body(text.text));
        Tokens got;
        tree_tokens(tree.root(), "", got);
        for (std::size_t i = 0; i < want.size() && i < got.size(); ++i)
            if (want[i].first.empty()) got[i].first.clear();
        EXPECT_EQ(got, want) << f.line;
        EXPECT_EQ(space.log(), text.space->log()) << f.line;
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
