// Helpers shared by every test program: a way into the decoder's private operations, the header
// line split from a decoding, and an address space that hands out guarded random memory.
#ifndef RIZ_TESTS_SUPPORT_DECODE_H
#define RIZ_TESTS_SUPPORT_DECODE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/RizOrodOzido.h"
#include "core/registry.h"
#include "core/seams.h"
#include "support/guarded.h"

// The test-only way into the private operations (the class befriends this name).
struct RizOrodOzidoTestAccess {
    static unsigned char& mode(RizOrodOzido& d) { return d.one_line_mode; }
    static void add_indent(RizOrodOzido& d, int depth, std::string& buf) { d.add_indent(depth, buf); }
    static void add_str(RizOrodOzido& d, int depth, const char* text, std::string& buf) {
        d.add_str_to_monster_buf(depth, text, buf);
    }
    static void add_field(RizOrodOzido& d, int depth, const char* label, std::string& buf,
                          std::uint32_t value) {
        d.add_to_monster_buf(depth, label, buf, value);
    }
    static void start_prim(RizOrodOzido& d, std::string& buf) { d.start_prim(buf); }
    static std::string no_match(RizOrodOzido& d) { return d.no_matching_prim(0); }
    static std::uint16_t namelen(RizOrodOzido& d, const void* p, std::uint16_t limit) {
        return d.namelen(p, limit);
    }
    static void print_name(RizOrodOzido& d, const void* parts, std::string& buf) {
        d.debug_printName(parts, buf);
    }
    static void custom_debug(RizOrodOzido& d, const void* prim, std::string& buf) {
        d.debug_customDebug(prim, buf);
    }
    static void bd_addr(RizOrodOzido& d, int depth, const void* p, std::string& buf) {
        d.debug_BD_ADDR_T(depth, p, buf, "bd_addr = ");
    }
    using Formatter = void (RizOrodOzido::*)(int, const void*, std::string&, const char*);
    static Formatter formatter(const std::string& name);
};

namespace riz::test {

using riz::detail::Interface;

// The public operation of an interface.
std::string decode(RizOrodOzido& d, Interface iface, std::uint16_t code, const void* prim);

// Checks that `text` begins with a well-formed header line ("---- HH:MM:SS.mmm ----...\n", 37
// characters) and returns the rest.
std::string body(const std::string& text);

// The text after the header line, written compactly: items separated by ';'. The first item is
// the name line; "f v" is a field line at one tab; "REC" a nested record's name line at one tab;
// ">f v" a field line at two tabs.
std::string compact_text(const std::string& compact);

// The line of a byte run over all of `data`: " xx" per byte, then "\n".
std::string run_line(const Guarded& data);

// Joins lines, each followed by "\n".
std::string lines(std::initializer_list<std::string> ls);

// The text the public operations give for a code they do not know.
inline const std::string kNoMatch = "ERROR: none of the prim types matched, default reached \n";

// A record of exactly `size` bytes ending at a guard page; byte i holds first + i, so every value
// printed shows the offsets it was read from. The type field (offset 0) holds `code`.
Guarded patterned(std::size_t size, std::uint16_t code, std::uint8_t first);

// A value in lower-case hexadecimal, at least two digits ("0a", "80d").
std::string hex(unsigned v);

// Every one of the 65536 codes through the interface's public operation with an all-zero record
// (every count 0, every pointer null); returns the codes that do not give the no-match text, and
// checks that each of those begins with a header line.
std::set<std::uint16_t> decoding_codes(Interface iface);

// How a random-record sweep builds its records and what it expects after the name line.
struct RandomSweep {
    unsigned seeds = 8;
    // Store the code in the type field (offset 0), so names and walks take their real paths.
    bool own_type = false;
    // The lines after the name line that show the type field holding `type`; by default
    // "\ttype =  <type>\n".
    std::function<std::string(std::uint16_t type)> type_lines;
};

// For each registered code of `iface` among `codes`, several seeds: a record of exactly its
// registered size with random contents behind a guard page, every pointer served guarded random
// bytes. Checks the header, the name line, the record's own type line(s), that every later line
// is empty or starts with a tab or a blank, that the text ends with "\n", and that the one-line
// mode is back at 0. Returns how many pointers were followed in all.
std::size_t expect_random_records_decode(Interface iface, const std::set<std::uint16_t>& codes,
                                         const RandomSweep& how = {});

// A record of exactly `size` bytes (byte i holds 0xa0 + i, the type field holds `code`) decoded
// with its `gaps` bytes set to 0x00, 0xff and 0x5a in turn: the text never changes.
void expect_gaps_never_printed(Interface iface, std::uint16_t code, std::size_t size,
                               const std::vector<unsigned>& gaps);

// One parameter of a gap test, named "0x2c02" and so on.
struct GapCase {
    std::uint16_t code;
    std::size_t size;
    std::vector<unsigned> gaps;
};
void PrintTo(const GapCase& c, std::ostream* os);
std::string gap_case_name(const ::testing::TestParamInfo<GapCase>& info);

// An address space in which every address holds exactly the bytes asked for, random, each run in
// memory of its own that ends at a guard page. Names get random fragments of random length.
class RandomSpace final : public riz::detail::AddressSpace {
public:
    explicit RandomSpace(std::uint32_t seed) : rng_(seed) {}
    const unsigned char* bytes(const unsigned char* field, std::uint32_t address,
                               std::uint32_t len) override;
    const unsigned char* string(const unsigned char* field, std::uint32_t address,
                                std::uint32_t limit, std::uint32_t& len) override;
    std::size_t follows() const { return blocks_.size(); }

private:
    std::mt19937 rng_;
    std::vector<std::unique_ptr<Guarded>> blocks_;
};

}  // namespace riz::test

#endif
