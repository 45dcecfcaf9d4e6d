// SPDX-License-Identifier: Apache-2.0
// Helpers shared by the test programs: the public operation of an interface, the header line
// split from a decoding, patterned records with an address space that shows where every
// pointed-to byte was asked for, and the compact form of a decoding that tests/data/every-code.txt
// holds for every code of every interface.
#ifndef RIZORODOZIDO_TESTS_SUPPORT_DECODE_H
#define RIZORODOZIDO_TESTS_SUPPORT_DECODE_H

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/RizOrodOzido.h>

#include "core/registry.h"
#include "core/seams.h"
#include "support/guarded.h"

// The test-only way into the private members (the class befriends this name).
struct RizOrodOzidoTestAccess {
    static unsigned char& mode(RizOrodOzido& d) { return d.one_line_mode; }
    static std::uint16_t namelen(RizOrodOzido& d, const void* bytes, std::uint16_t limit) {
        return d.namelen(bytes, limit);
    }
    using Formatter = void (RizOrodOzido::*)(int, const void*, std::string&, const char*);
    static constexpr Formatter kFormatters[] = {
        &RizOrodOzido::debug_uint8_t,  &RizOrodOzido::debug_bool_t,   &RizOrodOzido::debug_int8_t,
        &RizOrodOzido::debug_uint16_t, &RizOrodOzido::debug_enum,     &RizOrodOzido::debug_uint32_t,
        &RizOrodOzido::debug_int32_t,  &RizOrodOzido::debug_uint24_t, &RizOrodOzido::debug_ptr};
};

namespace rizorod::test {

using Interface = rizorod::Interface;

inline const std::string kNoMatch = "ERROR: none of the prim types matched, default reached \n";
// The stamp that decode_patterned pins, and the header line it gives.
inline constexpr char kStamp[] = "12:34:56.789";
inline const std::string kHeader = "---- 12:34:56.789 ------------------\n";

// Checks that `text` begins with a header line of the right form ("---- HH:MM:SS.mmm " and 18
// hyphens, 37 characters) and returns the rest.
std::string body(const std::string& text);

// Bytes written in hexadecimal; blanks are ignored and "N*xx" stands for N bytes xx.
std::vector<std::uint8_t> bytes(const std::string& hex);

// The patterns: byte i of a record holds 0x80 + i (every byte non-zero, with its top bit set,
// and unlike its neighbours, so that a wrong offset, width or sign shows), and byte j of the
// n-th block of memory served holds 1 + (0x47 * n + j) mod 255 (never zero, unlike its
// neighbours, the first 255 bytes of a block all different, and byte j of one block different
// from byte j of every other of the first 255).
inline std::uint8_t record_byte(std::size_t i) { return static_cast<std::uint8_t>(0x80 + i % 0x7f); }
inline std::uint8_t memory_byte(std::size_t n, std::size_t j) {
    return static_cast<std::uint8_t>(1 + (0x47 * n + j) % 255);
}

// An address space that serves every followed pointer with fresh bytes in memory of their own
// that ends at a guard page: byte j of the n-th block asked for holds memory_byte(n, j); a name
// fragment is `limit` copies of the letter 'a' + n, without a zero byte. log() lists the
// requests in order, " @8:64" for 64 bytes through the pointer field at offset 8 of the record,
// " @16:s32" for a fragment of at most 32 bytes.
class PatternSpace final : public rizorod::detail::AddressSpace {
public:
    explicit PatternSpace(const unsigned char* record) : record_(record) {}
    const unsigned char* bytes(const unsigned char* field, std::uint32_t address,
                               std::uint32_t len) override;
    const unsigned char* string(const unsigned char* field, std::uint32_t address,
                                std::uint32_t limit, std::uint32_t& len) override;
    const std::string& log() const { return log_; }

private:
    Guarded& serve(const unsigned char* field, std::uint32_t len, const std::string& what);
    const unsigned char* record_;
    std::string log_;
    std::vector<std::unique_ptr<Guarded>> served_;
};

// A record of `size` bytes that ends at a guard page, filled as `pattern` says: "i" (byte i holds
// record_byte(i)), then any number of "@offset=hex" that overwrite bytes from that offset.
Guarded patterned(std::size_t size, const std::string& pattern);

// A decoding of a patterned record of its code's registered size, with every pointer served by
// a PatternSpace and the header showing kStamp.
struct Decoded {
    std::unique_ptr<Guarded> record;
    std::unique_ptr<PatternSpace> space;
    std::string text;
};
Decoded decode_patterned(RizOrodOzido& d, Interface iface, std::uint16_t code,
                         const std::string& pattern);

// One line of the every-code fixture: "dm 0x2004 i 17 DM_ACL_CONNECT_CFM_T type=0100 ...":
// interface, code, pattern, registered record size and the decoding in compact form.
struct FixtureLine {
    Interface iface;
    std::uint16_t code;
    std::string pattern;
    std::string line;
};
std::vector<FixtureLine> fixture();
// The line that the decoding of (iface, code, pattern) gives today.
std::string fixture_line(RizOrodOzido& d, Interface iface, std::uint16_t code,
                         const std::string& pattern);

// A decoding in compact form, one token per line of text, blank-separated. The header line must
// be kHeader. The name line of the record comes first; a nested record is its name with its
// lines in braces, consecutive records of one name "NAME{...}{...}"; a field line is
// label=value with the value padded to an even number of digits, consecutive lines of one label
// "label=v1,v2" (an element run "key[c]=...", lines without a label "=..."); the IP line is
// "label=ip:w1:...:w8", the name line "name_part=" and its bytes, a byte run
// "run=count:" with its bytes (the first four, ".." and the last when there are more than five),
// an empty line "|", and any line outside this grammar "?" and its bytes. Bytes other than
// letters, digits and _.- are written %hh, and three or more like bytes as "x*count".
std::string compact(const std::string& text);

// The blocks of an image in address order: first address and length of each.
std::vector<std::pair<std::uint32_t, std::uint32_t>> blocks_of(const rizorod::MemoryImage& image);

// An address space in which every address holds exactly the bytes asked for, random, each run in
// memory of its own that ends at a guard page. Names get random fragments of random length, ended
// by a zero byte or filling their limit.
class RandomSpace final : public rizorod::detail::AddressSpace {
public:
    explicit RandomSpace(std::uint32_t seed) : rng_(seed) {}
    const unsigned char* bytes(const unsigned char* field, std::uint32_t address,
                               std::uint32_t len) override;
    const unsigned char* string(const unsigned char* field, std::uint32_t address,
                                std::uint32_t limit, std::uint32_t& len) override;

private:
    std::mt19937 rng_;
    std::vector<std::unique_ptr<Guarded>> blocks_;
};

}  // namespace rizorod::test

#endif
