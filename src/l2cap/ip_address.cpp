// SPDX-License-Identifier: Apache-2.0
// The IP address of the TCP open primitives: one line at the field's depth, made of the label and
// a blank, then the eight little-endian words of the 16-byte address as four digits and a blank
// each. The line is built piecewise as through a 100-character work area: the label part is
// "%s " cut to 99 characters, each word "%04x ". The line always ends with a newline, whatever
// one_line_mode says, and never carries a header or a name line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <RizOrodOzido/RizOrodOzido.h>
#include "core/writer.h"

namespace {
constexpr char kHex[] = "0123456789abcdef";
// Characters of the work area that a formatting may fill; the last one holds the zero byte.
constexpr std::size_t kWorkAreaText = 100 - 1;
constexpr std::size_t kWords = 8;
constexpr std::size_t kWordText = 5;  // four digits and a blank
}  // namespace

void RizOrodOzido::debug_IP_ADDR(int depth, const void* addr, std::string& out,
                                 const char* label) {
    if (label == nullptr) label = "(null)";  // what "%s" makes of a null label
    // The label and its blank, as much of them as the work area holds.
    std::size_t label_len = 0;
    while (label_len < kWorkAreaText && label[label_len] != '\0') ++label_len;
    const bool blank = label_len < kWorkAreaText;

    add_indent(depth, out);
    const std::size_t old = out.size();
    out.resize(old + label_len + (blank ? 1 : 0) + kWords * kWordText + 1);
    char* at = out.data() + old;
    std::memcpy(at, label, label_len);
    at += label_len;
    if (blank) *at++ = ' ';

    const unsigned char* bytes = static_cast<const unsigned char*>(addr);
    for (std::size_t i = 0; i < kWords; ++i) {
        const std::uint16_t word = rizorod_load16(bytes + 2 * i);
        at[0] = kHex[word >> 12];
        at[1] = kHex[(word >> 8) & 15];
        at[2] = kHex[(word >> 4) & 15];
        at[3] = kHex[word & 15];
        at[4] = ' ';
        at += kWordText;
    }
    *at = '\n';
}
