// SPDX-License-Identifier: Apache-2.0
#include "core/writer.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace rizorod::detail {
namespace {

constexpr char kHex[] = "0123456789abcdef";

// " xx" for every byte value, padded to four characters for whole-word stores.
struct ByteTexts {
    char text[256][4];
    constexpr ByteTexts() : text() {
        for (int b = 0; b < 256; ++b) {
            text[b][0] = ' ';
            text[b][1] = kHex[b >> 4];
            text[b][2] = kHex[b & 15];
            text[b][3] = ' ';
        }
    }
};
constexpr ByteTexts kByteTable;
constexpr auto& kByteText = kByteTable.text;

// The two hexadecimal digits of every byte value.
struct DigitPairs {
    char text[256][2];
    constexpr DigitPairs() : text() {
        for (int b = 0; b < 256; ++b) {
            text[b][0] = kHex[b >> 4];
            text[b][1] = kHex[b & 15];
        }
    }
};
constexpr DigitPairs kDigitPairs;
// The field-line work area holds 100 characters including the terminating zero.
constexpr std::size_t kWorkArea = 100;

inline std::size_t tabs_for(int depth) { return depth > 0 ? static_cast<std::size_t>(depth) : 0; }

inline unsigned hex_digits(std::uint32_t value) {
    const unsigned bits = static_cast<unsigned>(std::bit_width(value));
    const unsigned digits = (bits + 3) / 4;
    return digits < 2 ? 2 : digits;
}

// The `digits` lowest hexadecimal digits of value at out, two at a time.
inline char* put_hex(char* out, std::uint32_t value, unsigned digits) {
    char* const end = out + digits;
    char* at = end;
    for (unsigned left = digits; left >= 2; left -= 2, value >>= 8) {
        at -= 2;
        std::memcpy(at, kDigitPairs.text[value & 0xff], 2);
    }
    if (at != out) out[0] = kHex[value & 15];
    return end;
}

// Copies a short text (a label or a name line) with a few fixed-size moves, the last of each
// size overlapping the one before: a variable-length memcpy of a small bound is otherwise
// expanded into `rep movs`, which costs far more than the copy on some processors.
inline void copy_short(char* to, const char* from, std::size_t n) {
    if (n > 32) {
        std::memcpy(to, from, n);
    } else if (n >= 16) {
        std::memcpy(to, from, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else {
        for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
    }
}

// Room at the end of buf for `len` more characters; returns where they go. Lines are written
// there in place: a line put together byte by byte elsewhere and then copied would be read back
// with wide loads right after its narrow stores, which stalls on store forwarding.
inline char* grow(std::string& buf, std::size_t len) {
    const std::size_t old = buf.size();
    buf.resize(old + len);
    return buf.data() + old;
}

// `tabs` tab characters (at most 8) at `out`, where at least `room` >= tabs characters may be
// written.
inline void put_tabs(char* out, std::size_t tabs, std::size_t room) {
    if (room >= 8) {
        std::memcpy(out, "\t\t\t\t\t\t\t\t", 8);
    } else {
        for (std::size_t i = 0; i < tabs; ++i) out[i] = '\t';
    }
}

}  // namespace

void indent(std::string& buf, int depth) {
    if (depth > 0) buf.append(static_cast<std::size_t>(depth), '\t');
}

void text(std::string& buf, int depth, const char* s, std::size_t len) {
    const std::size_t tabs = tabs_for(depth);
    char* out = grow(buf, tabs + len);
    if (tabs <= 8) put_tabs(out, tabs, tabs + len);
    else std::memset(out, '\t', tabs);
    copy_short(out + tabs, s, len);
}

namespace {

// The field lines that the fast path of field() leaves: a null label, a label too long for the
// work area, more than 8 tabs.
[[gnu::noinline]] void field_rare(std::string& buf, int depth, const char* label, std::size_t label_len,
                                  std::uint32_t value, unsigned char one_line_mode) {
    if (label == nullptr) {  // "%s" of a null label
        label = "(null)";
        label_len = 6;
    }
    const unsigned digits = hex_digits(value);
    const std::size_t line = label_len + 1 + digits + (one_line_mode ? 0 : 1);
    if (line < kWorkArea) {
        indent(buf, depth);
        char* out = grow(buf, line);
        copy_short(out, label, label_len);
        out += label_len;
        *out++ = ' ';
        out = put_hex(out, value, digits);
        if (!one_line_mode) *out = '\n';
        return;
    }
    // A label too long for the work area: the line is cut where the formatted printer cuts it.
    char area[kWorkArea];
    std::snprintf(area, sizeof area, one_line_mode ? "%s %02x" : "%s %02x\n", label,
                  static_cast<unsigned>(value));
    indent(buf, depth);
    buf.append(area);
}

}  // namespace

void field(std::string& buf, int depth, const char* label, std::size_t label_len,
           std::uint32_t value, unsigned char one_line_mode) {
    const std::size_t tabs = tabs_for(depth);
    // A label of up to 64 characters always fits the work area with its value.
    if (label == nullptr || label_len > 64 || tabs > 8) {
        field_rare(buf, depth, label, label_len, value, one_line_mode);
        return;
    }
    const unsigned digits = hex_digits(value);
    const std::size_t line = tabs + label_len + 1 + digits + (one_line_mode ? 0 : 1);
    char* out = grow(buf, line);
    put_tabs(out, tabs, line);
    out += tabs;
    copy_short(out, label, label_len);
    out += label_len;
    *out++ = ' ';
    out = put_hex(out, value, digits);
    if (!one_line_mode) *out = '\n';
}

void header(std::string& buf) {
    // The stamp is written in place; the room kept for its longest form is given back after.
    const std::size_t old = buf.size();
    char* out = grow(buf, 5 + 32 + 20);
    std::memcpy(out, "---- ", 5);
    const std::uint32_t len = current_stamp(out + 5);
    std::memcpy(out + 5 + len, " ------------------\n", 20);
    buf.resize(old + 5 + len + 20);
}

void begin_record(std::string& buf, int depth, const char* name_line, std::size_t len) {
    if (depth == 0) header(buf);
    text(buf, depth, name_line, len);
}

void elements(std::string& buf, int depth, const char* label, std::size_t label_len,
              const unsigned char* first, unsigned count, unsigned width,
              unsigned char one_line_mode) {
    for (unsigned i = 0; i < count; ++i) {
        const unsigned char* e = first + i * width;
        const std::uint32_t v = width == 1 ? e[0] : width == 2 ? rizorod_load16(e) : rizorod_load32(e);
        field(buf, depth, label, label_len, v, one_line_mode);
    }
}

void byte_run(std::string& buf, int depth, std::uint16_t count, const unsigned char* ptr_field) {
    const unsigned char* data = count != 0 ? follow(ptr_field, count) : nullptr;
    if (data == nullptr) {
        buf.push_back('\n');
        return;
    }
    const std::size_t tabs = tabs_for(depth);
    // Each byte is " xx" after its tabs; the run ends with "\n".
    char* out = grow(buf, (tabs + 3) * count + 1);
    if (tabs == 0) {
        // Four bytes stored per input byte, three kept: the fourth is overwritten by the next
        // byte's blank, and the last one lands on the newline's place.
        for (std::uint32_t i = 0; i < count; ++i, out += 3) std::memcpy(out, kByteText[data[i]], 4);
    } else {
        for (std::uint32_t i = 0; i < count; ++i) {
            std::memset(out, '\t', tabs);
            std::memcpy(out + tabs, kByteText[data[i]], 3);
            out += tabs + 3;
        }
    }
    *out = '\n';
}

}  // namespace rizorod::detail
