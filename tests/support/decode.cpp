#include "support/decode.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

#include "core/writer.h"

RizOrodOzidoTestAccess::Formatter RizOrodOzidoTestAccess::formatter(const std::string& name) {
    static const std::map<std::string, Formatter> all = {
        {"debug_uint8_t", &RizOrodOzido::debug_uint8_t},
        {"debug_bool_t", &RizOrodOzido::debug_bool_t},
        {"debug_int8_t", &RizOrodOzido::debug_int8_t},
        {"debug_uint16_t", &RizOrodOzido::debug_uint16_t},
        {"debug_enum", &RizOrodOzido::debug_enum},
        {"debug_uint32_t", &RizOrodOzido::debug_uint32_t},
        {"debug_int32_t", &RizOrodOzido::debug_int32_t},
        {"debug_uint24_t", &RizOrodOzido::debug_uint24_t},
        {"debug_ptr", &RizOrodOzido::debug_ptr},
    };
    return all.at(name);
}

namespace riz::test {

std::string decode(RizOrodOzido& d, Interface iface, std::uint16_t code, const void* prim) {
    switch (iface) {
    case Interface::dm: return d.debugDMprim(code, prim);
    case Interface::l2cap: return d.debugL2CAPprim(code, prim);
    case Interface::rfcomm: return d.debugRFCOMMprim(code, prim);
    case Interface::sdp: return d.debugSDPprim(code, prim);
    }
    return {};
}

std::string body(const std::string& text) {
    static const std::regex header(R"(---- ([01][0-9]|2[0-3]):[0-5][0-9]:[0-6][0-9]\.[0-9]{3} -{18}\n)");
    const std::string first = text.substr(0, 37);
    EXPECT_TRUE(std::regex_match(first, header)) << "header line: [" << first << "]";
    return text.size() >= 37 ? text.substr(37) : std::string();
}

// The text after the header line, written compactly: items separated by ';'. The first item is
// the name line; "f v" is a field line at one tab; "REC" a nested record's name line at one tab;
// ">f v" a field line at two tabs.
std::string compact_text(const std::string& compact) {
    std::string out;
    std::stringstream items(compact);
    std::string item;
    bool first = true;
    while (std::getline(items, item, ';')) {
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        if (first) { out += item + "\n"; first = false; continue; }
        std::string tabs = "\t";
        if (item[0] == '>') { tabs = "\t\t"; item.erase(0, 1); }
        const auto blank = item.find(' ');
        if (blank == std::string::npos) out += tabs + item + "\n";
        else out += tabs + item.substr(0, blank) + " =  " + item.substr(blank + 1) + "\n";
    }
    return out;
}

std::string run_line(const Guarded& data) {
    std::string out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        out += ' ';
        out += hex(data.data()[i]);
    }
    out += '\n';
    return out;
}

std::string lines(std::initializer_list<std::string> ls) {
    std::string out;
    for (const auto& l : ls) out += l + "\n";
    return out;
}

Guarded patterned(std::size_t size, std::uint16_t code, std::uint8_t first) {
    Guarded rec(size);
    for (std::size_t i = 0; i < size; ++i) rec.put8(i, static_cast<std::uint8_t>(first + i));
    rec.put16(0, code);
    return rec;
}

std::string hex(unsigned v) {
    char out[16];
    std::snprintf(out, sizeof out, "%02x", v);
    return out;
}

std::set<std::uint16_t> decoding_codes(Interface iface) {
    Guarded zeros(64);
    std::fill(zeros.data(), zeros.data() + zeros.size(), 0);
    RizOrodOzido d;
    std::set<std::uint16_t> decoded;
    for (unsigned c = 0; c <= 0xffff; ++c) {
        const std::string text = decode(d, iface, static_cast<std::uint16_t>(c), zeros.data());
        if (text == kNoMatch) continue;
        decoded.insert(static_cast<std::uint16_t>(c));
        EXPECT_EQ(text.compare(0, 5, "---- "), 0) << "code " << hex(c);
    }
    return decoded;
}

std::size_t expect_random_records_decode(Interface iface, const std::set<std::uint16_t>& codes,
                                         const RandomSweep& how) {
    std::size_t follows = 0;
    for (std::uint16_t code : codes)
        EXPECT_NE(riz::detail::find_primitive(iface, code), nullptr) << "code " << hex(code) << " not registered";
    for (const auto& row : riz::detail::primitives(iface)) {
        if (codes.count(row.code) == 0) continue;
        for (std::uint32_t seed = 1; seed <= how.seeds; ++seed) {
            RandomSpace space(seed * 7919 + row.code);
            riz::detail::ScopedAddressSpace scope(space);
            std::mt19937 rng(seed + row.code);
            Guarded rec(row.size);
            for (unsigned i = 0; i < row.size; ++i) rec.put8(i, static_cast<std::uint8_t>(rng()));
            if (how.own_type) rec.put16(0, row.code);
            const std::uint16_t type = riz::detail::load16(rec.data());
            RizOrodOzido d;
            const std::string text = body(decode(d, iface, row.code, rec.data()));
            const std::string head = std::string(row.name) + "\n" +
                                     (how.type_lines ? how.type_lines(type) : "\ttype =  " + hex(type) + "\n");
            follows += space.follows();
            EXPECT_EQ(text.compare(0, head.size(), head), 0) << row.name << "\n" << text;
            if (text.compare(0, head.size(), head) != 0) continue;
            // A type rendering may end inside a line ("length =  "); well-formed lines start after it.
            const std::size_t from = head.back() == '\n' ? head.size() : text.find('\n', head.size()) + 1;
            std::stringstream rest(text.substr(std::min(from, text.size())));
            for (std::string line; std::getline(rest, line);)
                EXPECT_TRUE(line.empty() || line[0] == '\t' || line[0] == ' ') << row.name << ": " << line;
            EXPECT_EQ(text.back(), '\n');
            EXPECT_EQ(RizOrodOzidoTestAccess::mode(d), 0);
        }
    }
    return follows;
}

void expect_gaps_never_printed(Interface iface, std::uint16_t code, std::size_t size,
                               const std::vector<unsigned>& gaps) {
    Guarded rec = patterned(size, code, 0xa0);
    RizOrodOzido d;
    const std::string plain = body(decode(d, iface, code, rec.data()));
    for (std::uint8_t v : {0x00, 0xff, 0x5a}) {
        for (unsigned g : gaps) rec.put8(g, v);
        EXPECT_EQ(body(decode(d, iface, code, rec.data())), plain) << hex(code) << " gaps set to " << hex(v);
    }
}

void PrintTo(const GapCase& c, std::ostream* os) { *os << "code 0x" << hex(c.code); }

std::string gap_case_name(const ::testing::TestParamInfo<GapCase>& info) {
    char name[8];
    std::snprintf(name, sizeof name, "0x%04x", static_cast<unsigned>(info.param.code));
    return name;
}

const unsigned char* RandomSpace::bytes(const unsigned char*, std::uint32_t, std::uint32_t len) {
    auto block = std::make_unique<Guarded>(len);
    for (std::uint32_t i = 0; i < len; ++i) block->data()[i] = static_cast<std::uint8_t>(rng_());
    blocks_.push_back(std::move(block));
    return blocks_.back()->data();
}

const unsigned char* RandomSpace::string(const unsigned char*, std::uint32_t, std::uint32_t limit,
                                         std::uint32_t& len) {
    // A fragment of random length: full (no zero byte, exactly `limit` readable) or shorter and
    // ended by a zero byte.
    const std::uint32_t n = static_cast<std::uint32_t>(rng_() % (limit + 1));
    auto block = std::make_unique<Guarded>(n == limit ? limit : n + 1);
    for (std::uint32_t i = 0; i < n; ++i) block->data()[i] = static_cast<std::uint8_t>('a' + rng_() % 26);
    if (n < limit) block->data()[n] = 0;
    blocks_.push_back(std::move(block));
    len = n;
    return blocks_.back()->data();
}

}  // namespace riz::test
