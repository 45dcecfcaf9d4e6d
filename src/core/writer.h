// SPDX-License-Identifier: Apache-2.0
// Internal text writer: the line grammar of a decoding, appended straight into the result string.
// Every function produces exactly the text of the class's writer operations (field lines as
// "%s %02x\n" formatted into a 100-character work area) without calling the formatted printer.
#ifndef RIZORODOZIDO_SRC_CORE_WRITER_H
#define RIZORODOZIDO_SRC_CORE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include <RizOrodOzido/rows/layout.h>

#include "core/seams.h"

namespace rizorod::detail {

// The largest of the listed byte extents (the record size of a row).
constexpr unsigned extent(std::initializer_list<unsigned> ends) {
    unsigned most = 0;
    for (unsigned e : ends) most = e > most ? e : most;
    return most;
}

// `depth` tab characters; nothing for depth below 1.
void indent(std::string& out, int depth);
// Indentation, then `text` unchanged.
void text(std::string& out, int depth, const char* text, std::size_t len);
// One field line: indentation, label, a blank, the value in lower-case hexadecimal with at
// least two digits, and a newline unless one_line_mode is set.
void field(std::string& out, int depth, const char* label, std::size_t label_len,
           std::uint32_t value, unsigned char one_line_mode);
// The header line: "---- HH:MM:SS.mmm ------------------\n".
void header(std::string& out);
// Header line when depth is exactly 0, then the record's name line at depth.
void begin_record(std::string& out, int depth, const char* name_line, std::size_t len);
// An element run: `count` field lines with the same label, elements `width` bytes apart.
void elements(std::string& out, int depth, const char* label, std::size_t label_len,
              const unsigned char* first, unsigned count, unsigned width,
              unsigned char one_line_mode);
// A byte run: `count` bytes at the address held in the pointer field, each as a field line with
// the empty label in one-line mode at `depth`, then "\n". The pointer is not read for count 0.
void byte_run(std::string& out, int depth, std::uint16_t count, const unsigned char* ptr_field);

// A block walk (see BLOCKS in rows/rows.h), by the walk rules of rows/layout.h: counts beyond
// what the pointer array can address print the elements that it can; a null block pointer
// prints nothing for its block.
template <class Object, class Member>
void walk_blocks(Object& object, Member member, std::string& out, int depth, unsigned count,
                 const unsigned char* ptrs, unsigned nptrs, unsigned per_block, unsigned stride,
                 unsigned elem_len, bool whole) {
    const unsigned walked = rizorod_walk_count(count, nptrs, per_block);
    const unsigned blocks = rizorod_walk_blocks(walked, per_block);
    for (unsigned b = 0; b < blocks; ++b) {
        const unsigned used = rizorod_block_used(walked, b, per_block, whole);
        const unsigned char* base = follow(ptrs + 4 * b, rizorod_block_bytes(used, stride, elem_len));
        if (base == nullptr) continue;
        for (unsigned i = 0; i < used; ++i) (object.*member)(depth, base + stride * i, out, "");
    }
}

}  // namespace rizorod::detail

#endif
