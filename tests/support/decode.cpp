// SPDX-License-Identifier: Apache-2.0
#include "support/decode.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "core/registry.h"

namespace rizorod::test {
namespace {

// a + b (g++ 12 warns wrongly about "literal" + std::string).
std::string cat(const char* a, const std::string& b) { return std::string(a).append(b); }

std::string hex2(unsigned byte) { return {"0123456789abcdef"[byte >> 4 & 15], "0123456789abcdef"[byte & 15]}; }

bool is_name(std::string_view s) {
    return !s.empty() && s[0] >= 'A' && s[0] <= 'Z' &&
           s.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") == std::string_view::npos;
}

bool is_hex(std::string_view s) { return s.find_first_not_of("0123456789abcdef") == std::string_view::npos; }

// At least two digits, no leading zero beyond them, at most eight.
bool is_value(std::string_view v) {
    return v.size() >= 2 && v.size() <= 8 && !(v.size() > 2 && v[0] == '0') && is_hex(v);
}

std::string escaped(std::string_view s) {
    std::string out;
    bool after_count = false;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = 1;
        while (i + n < s.size() && s[i + n] == s[i]) ++n;
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const bool plain = (std::isalnum(c) || c == '_' || c == '.' || c == '-') &&
                           !(after_count && std::isdigit(c));
        out += plain ? std::string(1, static_cast<char>(c)) : cat("%", hex2(c));
        after_count = n >= 3;
        if (after_count) out += cat("*", std::to_string(n));
        i += after_count ? n : 1;
    }
    return out;
}

// A field line without its tabs: "label = " (or nothing), a blank, the value. Gives the token.
bool field_token(std::string_view s, std::string& label, std::string& value) {
    const auto blank = s.rfind(' ');
    if (blank == std::string_view::npos || !is_value(s.substr(blank + 1))) return false;
    std::string_view l = s.substr(0, blank);
    if (!l.empty()) {
        if (l.size() < 4 || l.substr(l.size() - 3) != " = ") return false;
        l.remove_suffix(3);
    }
    label = std::string(l);
    if (label.size() > 4 && label.compare(label.size() - 4, 4, " [c]") == 0) label.erase(label.size() - 4, 1);
    if (label.find_first_of(" \t=") != std::string::npos) return false;
    const std::string_view v = s.substr(blank + 1);
    value = (v.size() % 2 ? "0" : "") + std::string(v);
    return true;
}

// The IP line without its tabs: "label = ", a blank, eight words of four digits each followed by
// a blank.
bool ip_token(std::string_view s, std::string& token) {
    if (s.size() < 45 || s.compare(s.size() - 44, 4, " =  ") != 0) return false;
    token = std::string(s.substr(0, s.size() - 44)) + "=ip";
    for (std::size_t w = s.size() - 40; w < s.size(); w += 5) {
        if (!is_hex(s.substr(w, 4)) || s[w + 4] != ' ') return false;
        token.append(":").append(s.substr(w, 4));
    }
    return token.find_first_of(" \t") == std::string::npos;
}

// A byte run at depth 0: " xx" per byte.
bool run_token(std::string_view s, std::string& token) {
    if (s.empty() || s.size() % 3 != 0) return false;
    const std::size_t n = s.size() / 3;
    std::string shown;
    for (std::size_t i = 0; i < n; ++i) {
        if (s[3 * i] != ' ' || !is_hex(s.substr(3 * i + 1, 2))) return false;
        if (n <= 5 || i < 4) shown += s.substr(3 * i + 1, 2);
        if (n > 5 && i == n - 1) shown += ".." + std::string(s.substr(3 * i + 1, 2));
    }
    token = "run=" + std::to_string(n) + ":" + shown;
    return true;
}

}  // namespace

std::string body(const std::string& text) {
    const char* form = "---- dd:dd:dd.ddd ------------------\n";
    bool ok = text.size() >= 37;
    for (std::size_t i = 0; ok && i < 37; ++i)
        ok = form[i] == 'd' ? std::isdigit(static_cast<unsigned char>(text[i])) != 0 : text[i] == form[i];
    EXPECT_TRUE(ok) << "header line: [" << text.substr(0, 37) << "]";
    return ok ? text.substr(37) : text;
}

std::vector<std::uint8_t> bytes(const std::string& hex) {
    std::vector<std::uint8_t> out;
    std::istringstream in(hex);
    for (std::string word; in >> word;) {
        std::size_t times = 1;
        if (const auto star = word.find('*'); star != std::string::npos) {
            times = std::stoul(word.substr(0, star));
            word.erase(0, star + 1);
        }
        for (std::size_t i = 0; i + 1 < word.size() || i == 0; i += 2)
            out.insert(out.end(), times, static_cast<std::uint8_t>(std::stoul(word.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Guarded& PatternSpace::serve(const unsigned char* field, std::uint32_t len, const std::string& what) {
    log_ += " @" + std::to_string(field - record_) + ":" + what;
    return *served_.emplace_back(std::make_unique<Guarded>(len));
}

const unsigned char* PatternSpace::bytes(const unsigned char* field, std::uint32_t, std::uint32_t len) {
    const std::size_t n = served_.size();
    Guarded& block = serve(field, len, std::to_string(len));
    for (std::uint32_t j = 0; j < len; ++j) block.put8(j, memory_byte(n, j));
    return block.data();
}

const unsigned char* PatternSpace::string(const unsigned char* field, std::uint32_t, std::uint32_t limit,
                                          std::uint32_t& len) {
    const std::size_t n = served_.size();
    Guarded& block = serve(field, limit, cat("s", std::to_string(limit)));
    for (std::uint32_t j = 0; j < limit; ++j) block.put8(j, static_cast<std::uint8_t>('a' + n % 26));
    len = limit;
    return block.data();
}

Guarded patterned(std::size_t size, const std::string& pattern) {
    Guarded record(size);
    for (std::size_t i = 0; i < size; ++i) record.put8(i, record_byte(i));
    EXPECT_EQ(pattern.substr(0, 1), "i") << pattern;
    for (std::size_t at = pattern.find('@'); at != std::string::npos;) {
        const std::size_t eq = pattern.find('=', at), next = pattern.find('@', at + 1);
        const std::size_t offset = std::stoul(pattern.substr(at + 1, eq - at - 1));
        const auto b = bytes(pattern.substr(eq + 1, next == std::string::npos ? next : next - eq - 1));
        EXPECT_LE(offset + b.size(), size) << pattern;
        for (std::size_t i = 0; i < b.size() && offset + i < size; ++i) record.put8(offset + i, b[i]);
        at = next;
    }
    return record;
}

Decoded decode_patterned(RizOrodOzido& d, Interface iface, std::uint16_t code,
                         const std::string& pattern) {
    const rizorod::detail::PrimInfo* row = rizorod::detail::find_primitive(iface, code);
    Decoded out;
    out.record = std::make_unique<Guarded>(patterned(row ? row->size : 64, pattern));
    out.space = std::make_unique<PatternSpace>(out.record->data());
    rizorod::detail::ScopedAddressSpace space(*out.space);
    rizorod::detail::ScopedStamp stamp(kStamp, sizeof kStamp - 1);
    out.text = rizorod::decode(d, iface, code, out.record->data());
    return out;
}

std::string fixture_line(RizOrodOzido& d, Interface iface, std::uint16_t code,
                         const std::string& pattern) {
    const rizorod::detail::PrimInfo* row = rizorod::detail::find_primitive(iface, code);
    const Decoded got = decode_patterned(d, iface, code, pattern);
    char head[64];
    std::snprintf(head, sizeof head, "%s 0x%04x %s %s ", rizorod::interface_name(iface),
                  unsigned{code}, pattern.c_str(), row ? std::to_string(row->size).c_str() : "-");
    return head + compact(got.text) + got.space->log();
}

std::vector<FixtureLine> fixture() {
    std::ifstream in(RIZOROD_TEST_DATA "/every-code.txt");
    EXPECT_TRUE(in.good()) << RIZOROD_TEST_DATA "/every-code.txt";
    std::vector<FixtureLine> out;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string iface, code, pattern;
        words >> iface >> code >> pattern;
        FixtureLine f{Interface::dm, static_cast<std::uint16_t>(std::stoul(code, nullptr, 16)), pattern, line};
        for (Interface i : rizorod::kInterfaces)
            if (iface == rizorod::interface_name(i)) f.iface = i;
        out.push_back(f);
    }
    return out;
}

std::string compact(const std::string& text) {
    if (text.compare(0, kHeader.size(), kHeader) != 0) return "?header:" + escaped(text.substr(0, 37));
    std::string out;
    std::vector<std::pair<std::size_t, std::string>> open;  // groups with lines still to come
    std::pair<std::size_t, std::string> closed{0, ""};      // the group closed just now
    std::string merge;  // "depth label" of the last token when it is a field that may go on
    auto token = [&](const std::string& t) {
        if (!out.empty() && out.back() != '{') out += ' ';
        out += t;
        closed = {0, ""};
        merge.clear();
    };
    // Closes the nested records at `depth` and deeper; true when the line fits the open record.
    auto fits = [&](std::size_t depth) {
        while (open.size() > 1 && open.back().first >= depth) {
            out += '}';
            closed = open.back();
            open.pop_back();
            merge.clear();
        }
        return depth == 0 || (!open.empty() && open.back().first + 1 == depth);
    };
    std::size_t at = 37;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            token("?noeol:" + escaped(std::string_view(text).substr(at)));
            break;
        }
        const std::string_view line = std::string_view(text).substr(at, end - at);
        at = end + 1;
        const std::size_t depth = line.find_first_not_of('\t') == std::string_view::npos
                                      ? line.size() : line.find_first_not_of('\t');
        const std::string_view s = line.substr(depth);
        std::string label, value, t;
        if (is_name(s) && (open.empty() ? depth == 0 : depth > 0) && fits(depth)) {
            if (open.empty()) {
                token(std::string(s));
            } else if (closed == std::pair<std::size_t, std::string>{depth, s}) {
                out += '{';
            } else {
                token(std::string(s) + "{");
            }
            open.emplace_back(depth, s);
        } else if (open.empty() || !fits(depth)) {
            token(cat("?", escaped(line)));
        } else if (depth == 0 && s.empty()) {
            token("|");
        } else if (depth == 0 && run_token(s, t)) {
            token(t);
        } else if (depth == 1 && s.substr(0, 12) == "name_part = ") {
            token("name_part=" + escaped(s.substr(12)));
        } else if (depth > 0 && ip_token(s, t)) {
            token(t);
        } else if (depth > 0 && field_token(s, label, value)) {
            const std::string key = std::to_string(depth) + " " + label;
            if (merge == key) {
                out += "," + value;
            } else {
                token(label + "=" + value);
                merge = key;
            }
        } else {
            token(cat("?", escaped(line)));
        }
    }
    fits(0);
    return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> blocks_of(const rizorod::MemoryImage& image) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    // The next block at or after `a`, found by overlap with the rest of the address space.
    for (std::uint64_t a = 0; a < (std::uint64_t{1} << 32); a = std::uint64_t{out.back().first} + out.back().second) {
        const auto next = image.overlap(static_cast<std::uint32_t>(a), (std::uint64_t{1} << 32) - a);
        if (!next) break;
        out.push_back(*next);
    }
    return out;
}

const unsigned char* RandomSpace::bytes(const unsigned char*, std::uint32_t, std::uint32_t len) {
    auto& block = blocks_.emplace_back(std::make_unique<Guarded>(len));
    for (std::uint32_t i = 0; i < len; ++i) block->data()[i] = static_cast<std::uint8_t>(rng_());
    return block->data();
}

const unsigned char* RandomSpace::string(const unsigned char*, std::uint32_t, std::uint32_t limit,
                                         std::uint32_t& len) {
    len = static_cast<std::uint32_t>(rng_() % (limit + 1));
    auto& block = blocks_.emplace_back(std::make_unique<Guarded>(len == limit ? limit : len + 1));
    for (std::uint32_t i = 0; i < len; ++i) block->data()[i] = static_cast<std::uint8_t>('a' + rng_() % 26);
    if (len < limit) block->data()[len] = 0;
    return block->data();
}

}  // namespace rizorod::test
