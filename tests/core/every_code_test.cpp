// SPDX-License-Identifier: Apache-2.0
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
#include <utility>

#include <RizOrodOzido/fields.h>

#include "core/registry.h"
#include "support/decode.h"

namespace {
using rizorod::test::FixtureLine;
using rizorod::test::Interface;

// What a decoding shows, in printed order: a name line ("{", NAME; the complaint of an unknown
// custom rendering is one too), each value (label, decimal) of a field line, element, word or
// byte run, a name ("name_part", its text). Empty lines and empty runs show nothing.
using Tokens = std::vector<std::pair<std::string, std::string>>;
Tokens text_tokens(const std::string& text) {
    Tokens out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t at = line.find_first_not_of('\t'), eq = line.find(" = ");
        std::string label = eq == std::string::npos ? "" : line.substr(at, eq - at);
        if (label.ends_with(" [c]")) label.resize(label.size() - 4);
        std::istringstream words(eq == std::string::npos ? line : line.substr(eq + 3));
        if (label == "name_part") {
            out.emplace_back(label, line.substr(eq + 3));
        } else if (at != std::string::npos && line[at] != ' ' && eq == std::string::npos) {
            out.emplace_back("{", line.substr(at));
        } else {
            for (std::string w; words >> w;) out.emplace_back(label, std::to_string(std::stoul(w, nullptr, 16)));
        }
    }
    return out;
}

void tree_tokens(const rizorod::Field& f, const std::string& list, Tokens& out,
                 const rizorod_layout_record* layout = nullptr);

// The elements past a walk's count that the text shows all the same, from the bytes the tree
// holds for them, by the layout of the primitive's one block walk.
void uncounted_tokens(const rizorod_layout_record* layout, const rizorod::Field& f, Tokens& out) {
    const rizorod_layout_field* walk = nullptr;
    for (const rizorod_layout_field* g = layout->fields; g->kind != RIZOROD_LAYOUT_END; ++g)
        if (rizorod_kind(g) == RIZOROD_LAYOUT_BLOCKS) walk = g;
    ASSERT_NE(walk, nullptr) << f.label;
    const unsigned size = rizorod_layout_size(walk->record);
    for (std::size_t at = 0; at + size <= f.bytes.size(); at += walk->stride) {
        rizorod::FieldTree element(walk->record->name != nullptr ? walk->record->name : "");
        rizorod::walk_fields(walk->record, f.bytes.data() + at, element);
        if (walk->record->name != nullptr) out.emplace_back("{", walk->record->name);
        for (const rizorod::Field& c : element.root().fields) tree_tokens(c, f.label, out);
    }
}

void tree_tokens(const rizorod::Field& f, const std::string& list, Tokens& out, const rizorod_layout_record* layout) {
    using Kind = rizorod::Field::Kind;
    if (f.kind == Kind::uncounted) return uncounted_tokens(layout, f, out);
    if (f.kind == Kind::value) out.emplace_back(f.label.empty() ? list : f.label, std::to_string(f.value));
    if (f.kind == Kind::record) out.emplace_back("{", f.name);
    if (f.kind == Kind::unknown_custom) out.emplace_back("{", "Unknown customDebug Primitive type");
    if (f.kind == Kind::name) out.emplace_back("name_part", std::string(f.bytes.begin(), f.bytes.end()));
    if (f.kind == Kind::bytes)
        for (std::uint8_t b : f.bytes) out.emplace_back("", std::to_string(b));
    for (const rizorod::Field& c : f.fields) tree_tokens(c, f.kind == Kind::list ? f.label : "", out, layout);
}

// Every line, on three threads at once with an object each (each also writes wall-clock headers:
// the tsan preset checks the clock's calendar conversion); every registered code has a line, and
// no other code decodes.
TEST(EveryCode, DecodesAsTheFixtureSays) {
    const std::vector<FixtureLine> lines = rizorod::test::fixture();
    std::vector<std::vector<std::string>> got(3);
    std::vector<std::thread> threads;
    for (auto& mine : got)
        threads.emplace_back([&lines, &mine] {
            RizOrodOzido d;
            for (const FixtureLine& f : lines) {
                RizOrodOzidoTestAccess::mode(d) = 1;  // every dispatch starts from the mode it sets itself
                mine.push_back(rizorod::test::fixture_line(d, f.iface, f.code, f.pattern));
                EXPECT_EQ(RizOrodOzidoTestAccess::mode(d), 0) << f.line;
                rizorod::test::body(d.debugDMprim(0x0000, "\0\0\0\0"));
            }
        });
    for (auto& t : threads) t.join();
    std::set<std::pair<Interface, std::uint16_t>> held, registered;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(got[0][i], lines[i].line) << "got:  " << got[0][i];
        EXPECT_TRUE(got[1][i] == got[0][i] && got[2][i] == got[0][i]) << lines[i].line;
        held.emplace(lines[i].iface, lines[i].code);
    }
    for (Interface iface : rizorod::kInterfaces)
        for (const auto& row : rizorod::detail::primitive_rows(iface)) registered.emplace(iface, row.code);
    EXPECT_EQ(held, registered);
    // Of all 65536 codes of each interface only the registered ones decode: every other code gives
    // the no-match text alone.
    rizorod::test::Guarded zeros(64);
    RizOrodOzido d;
    for (Interface iface : rizorod::kInterfaces) {
        std::size_t decoded = 0;
        for (unsigned code = 0; code <= 0xffff; ++code)
            decoded += rizorod::decode(d, iface, static_cast<std::uint16_t>(code), zeros.data()) != rizorod::test::kNoMatch;
        EXPECT_EQ(decoded, rizorod::detail::primitive_rows(iface).size()) << rizorod::interface_name(iface);
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
        tree_tokens(tree.root(), "", got, layout);
        for (std::size_t i = 0; i < want.size() && i < got.size(); ++i)
            if (want[i].first.empty()) got[i].first.clear();
        EXPECT_EQ(got, want) << f.line;
        EXPECT_EQ(space.log(), text.space->log()) << f.line;
    }
}

}  // namespace
