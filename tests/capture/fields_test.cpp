// The structured decoding against the text decoding: two paths over the same rows (the layout
// table walked as data, the generated decoders) must read the same bytes through the same
// pointers in the same order and show the same record names, values, runs and names.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "capture/fields.h"
#include "support/decode.h"

namespace {

using riz::test::Interface;

// The record names and values of a text decoding in order, one per line of the token stream:
// name lines as they stand, every value of a field line or a byte run, a name as its text.
std::string text_tokens(const std::string& body) {
    std::istringstream lines(body);
    std::string line, out;
    std::getline(lines, line);  // the primitive's own name line
    while (std::getline(lines, line)) {
        line.erase(0, line.find_first_not_of('\t'));
        if (line.empty() || line == "Unknown customDebug Primitive type") {
            if (!line.empty()) out += "?\n";
            continue;
        }
        if (line.rfind("name_part = ", 0) == 0) {
            out.append("'").append(line, 12).append("'\n");
            continue;
        }
        const auto eq = line.find(" = ");
        std::istringstream values(eq == std::string::npos ? line : line.substr(eq + 3));
        if (eq == std::string::npos && line[0] != ' ') {
            out += line + "\n";
            continue;
        }
        for (std::string v; values >> v;) out += std::to_string(std::stoul(v, nullptr, 16)) + "\n";
    }
    return out;
}

void tree_tokens(const rizorod::Field& f, std::string& out) {
    switch (f.kind) {
    case rizorod::Field::Kind::value: out += std::to_string(f.value) + "\n"; break;
    case rizorod::Field::Kind::record: out += f.name + "\n"; [[fallthrough]];
    case rizorod::Field::Kind::list:
        for (const auto& c : f.fields) tree_tokens(c, out);
        break;
    case rizorod::Field::Kind::bytes:
        for (std::uint8_t b : f.bytes) out += std::to_string(b) + "\n";
        break;
    case rizorod::Field::Kind::name:
        out.append("'").append(f.bytes.begin(), f.bytes.end()).append("'\n");
        break;
    case rizorod::Field::Kind::unknown_custom: out += "?\n"; break;
    }
}

TEST(Fields, WalkShowsWhatTheTextShowsForEveryCode) {
    for (Interface iface : rizorod::kInterfaces) {
        for (const auto& row : riz::detail::primitives(iface)) {
            for (std::uint32_t seed = 1; seed <= 6; ++seed) {
                std::mt19937 rng(seed * 7919u + row.code);
                riz::test::Guarded record(row.size);
                for (std::size_t i = 0; i < row.size; ++i) record.data()[i] = static_cast<std::uint8_t>(rng());
                // Small counts as often as large ones, so that walks end inside and beyond blocks.
                if (row.size > 5 && seed % 2) record.data()[4] %= 20, record.data()[5] %= 20;

                RizOrodOzido decoder;
                std::string text;
                {
                    riz::test::RandomSpace space(seed);
                    riz::detail::ScopedAddressSpace installed(space);
                    text = riz::test::body(riz::test::decode(decoder, iface, row.code, record.data()));
                }
                rizorod::FieldTree tree(row.name);
                {
                    riz::test::RandomSpace space(seed);
                    riz::detail::ScopedAddressSpace installed(space);
                    rizorod::walk_fields(rizorod::layout(iface, row.code), record.data(), tree);
                }
                std::string walked;
                for (const auto& f : tree.root().fields) tree_tokens(f, walked);
                ASSERT_EQ(walked, text_tokens(text))
                    << riz::detail::interface_name(iface) << " " << row.name << " seed " << seed;
                ASSERT_EQ(text.substr(0, text.find('\n')), row.name);
            }
        }
    }
}

}  // namespace
