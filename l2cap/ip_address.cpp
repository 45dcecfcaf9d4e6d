// The IP address of the TCP open primitives: one line at the field's depth, made of the label and
// a blank, then the eight little-endian words of the 16-byte address as four digits and a blank
// each. The line is built piecewise as through a 100-character work area: the label part is
// "%s " cut to 99 characters, each word "%04x ". The line always ends with a newline, whatever
// one_line_mode says, and never carries a header or a name line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/RizOrodOzido.h"
#include "core/writer.h"

namespace {
constexpr char kHex[] = "0123456789abcdef";
// Characters of the work area that a formatting may fill; the last one holds the zero byte.
constexpr std::size_t kWorkAreaText = 100 - 1;
constexpr std::size_t kWords = 8;
constexpr std::size_t kWordText = 5;  // four digits and a blank
}  // namespace

void RizOrodOzido::debug_IP_ADDR(int depth, const void* addr, std::string& monster_buf,
                                 const char* label) {
    if (label == nullptr) label = "(null)";  // what "%s" makes of a null label
    // The label and its blank, as much of them as the work area holds.
    std::size_t label_len = 0;
    while (label_len < kWorkAreaText && label[label_len] != '\0') ++label_len;
    const bool blank = label_len < kWorkAreaText;

    add_indent(depth, monster_buf);
    const std::size_t old = monster_buf.size();
    monster_buf.resize(old + label_len + (blank ? 1 : 0) + kWords * kWordText + 1);
    char* out = monster_buf.data() + old;
    std::memcpy(out, label, label_len);
    out += label_len;
    if (blank) *out++ = ' ';

    const unsigned char* bytes = static_cast<const unsigned char*>(addr);
    for (std::size_t i = 0; i < kWords; ++i) {
        const std::uint16_t word = riz::detail::load16(bytes + 2 * i);
        out[0] = kHex[word >> 12];
        out[1] = kHex[(word >> 8) & 15];
        out[2] = kHex[(word >> 4) & 15];
        out[3] = kHex[word & 15];
        out[4] = ' ';
        out += kWordText;
    }
    *out = '\n';
}
