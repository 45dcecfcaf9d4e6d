// SPDX-License-Identifier: Apache-2.0
#include <RizOrodOzido/json.h>

#include <bit>
#include <charconv>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rizorod {

namespace {
constexpr char kHex[] = "0123456789abcdef";

// Quotes, backslashes and control characters are escaped; bytes from 0x80 on are looked at
// more closely (utf8_length).
bool needs_look(char ch) {
    const unsigned char c = static_cast<unsigned char>(ch);
    return c == '"' || c == '\\' || c < 0x20 || c >= 0x80;
}

// The length of the UTF-8 sequence that begins at text[i], or 0 when the bytes there are not
// one: a lead byte without its continuation bytes, an overlong form, a surrogate, or a code point
// past U+10FFFF.
std::size_t utf8_length(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char c = at(0);
    std::size_t n;
    unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
    if (c >= 0xc2 && c <= 0xdf) n = 2;
    else if (c >= 0xe0 && c <= 0xef) n = 3, low = c == 0xe0 ? 0xa0 : 0x80, high = c == 0xed ? 0x9f : 0xbf;
    else if (c >= 0xf0 && c <= 0xf4) n = 4, low = c == 0xf0 ? 0x90 : 0x80, high = c == 0xf4 ? 0x8f : 0xbf;
    else return 0;
    if (text.size() - i < n || at(1) < low || at(1) > high) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (at(k) < 0x80 || at(k) > 0xbf) return 0;
    return n;
}

// The length of the longest start of `text` that needs no look: 16 characters at a time where
// SSE2 is there.
std::size_t plain_length(std::string_view text) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'), last_control = _mm_set1_epi8(0x1f);
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, last_control), v);
        // (The sign bit of each byte marks the bytes from 0x80 on.)
        const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)), control), v)));
        if (found != 0) return i + static_cast<std::size_t>(std::countr_zero(found));
    }
#endif
    while (i < text.size() && !needs_look(text[i])) ++i;
    return i;
}

// `before` unless it is 0, `text` as a JSON string, `after` unless it is 0. Text that needs no
// escape (labels, names) goes in with one copy. The string is always valid UTF-8: a byte that is
// not part of a UTF-8 sequence is written as the character of the same number, its Latin-1
// reading ("\u00e9" for a lone 0xe9).
void append_string(std::string& out, char before, std::string_view text, char after) {
    std::size_t from = plain_length(text);
    if (before != 0) out += before;
    out += '"';
    out.append(text.data(), from);
    if (from == text.size()) {
        out += '"';
        if (after != 0) out += after;
        return;
    }
    for (std::size_t i = from; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!needs_look(text[i])) continue;
        if (c >= 0x80) {
            if (const std::size_t n = utf8_length(text, i)) {
                i += n - 1;
                continue;
            }
        }
        out.append(text.data() + from, i - from);
        from = i + 1;
        if (c == '"' || c == '\\') {
            const char escaped[2] = {'\\', static_cast<char>(c)};
            out.append(escaped, 2);
        } else {
            const char escaped[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
            out.append(escaped, 6);
        }
    }
    out.append(text.data() + from, text.size() - from);
    out += '"';
    if (after != 0) out += after;
}

// The members that say where an entry is: ,"file":...,"line":N (none without a file name).
void place(std::string& out, std::string_view file, std::size_t line) {
    if (file.empty()) return;
    out += ",\"file\":";
    json_string(out, file);
    out += ",\"line\":";
    json_number(out, line);
}

// The object's start as far as its "name".
void entry_head(std::string& out, const Entry& entry, std::string_view file) {
    json_object(out);
    place(out, file, entry.line);
    if (entry.stamp) json_stamp(out, *entry.stamp);
    out += ",\"interface\":";
    json_string(out, interface_name(entry.iface));
    out += ",\"code\":";
    json_number(out, entry.code);
    out += ",\"name\":";
    const rizorod_layout_record* record = layout(entry.iface, entry.code);
    if (record != nullptr) json_string(out, record->name);
    else out += "null";
}

}  // namespace

void entry_json(std::string& out, Decoder& decoder, const Entry& entry, std::string_view file) {
    const std::size_t before = out.size();
    entry_head(out, entry, file);
    if (layout(entry.iface, entry.code) == nullptr) {
        out += ",\"fields\":null}";
        return;
    }
    out += ",\"fields\":{";
    try {
        JsonFields fields(out);
        decoder.walk(entry, fields);
    } catch (...) {
        out.resize(before);
        throw;
    }
    out += "}}";
}

void entry_error_json(std::string& out, const Entry& entry, std::string_view message, std::string_view file) {
    entry_head(out, entry, file);
    out += ",\"error\":";
    json_string(out, message);
    out += '}';
}

void problem_json(std::string& out, const Problem& problem, std::string_view file) {
    json_object(out);
    out += ",\"file\":";
    json_string(out, file);
    out += ",\"line\":";
    json_number(out, problem.line);
    out += ",\"error\":";
    json_string(out, problem.message);
    out += '}';
}

void json_object(std::string& out) {
    out += "{\"schema\":";
    json_number(out, kJsonSchema);
}

void json_string(std::string& out, std::string_view text) { append_string(out, 0, text, 0); }

void json_hex(std::string& out, const std::uint8_t* data, std::size_t size) {
    const std::size_t at = out.size();
    out.resize(at + 2 * size + 2);
    char* p = out.data() + at;
    *p++ = '"';
    for (std::size_t i = 0; i < size; ++i) {
        *p++ = kHex[data[i] >> 4];
        *p++ = kHex[data[i] & 15];
    }
    *p = '"';
}

void json_number(std::string& out, std::uint64_t value) {
    // Character by character: a copy of the digits as a whole, right after they were stored one
    // by one, would wait for those stores.
    char text[24];
    const char* const end = std::to_chars(text, text + sizeof text, value).ptr;
    for (const char* p = text; p != end; ++p) out += *p;
}

void json_stamp(std::string& out, const Timestamp& stamp) {
    if (stamp.year) {
        out += ",\"date\":";
        json_string(out, stamp.date_text());
    }
    out += ",\"time\":";
    json_string(out, stamp.time_of_day());
    const auto ms = stamp.unix_ms();
    if (ms && *ms >= 0) {  // (a date before 1970 has none here)
        out += ",\"unix_ms\":";
        json_number(out, static_cast<std::uint64_t>(*ms));
    }
}

void JsonFields::key(const char* label) {
    const char comma = first_.back() ? 0 : ',';
    first_.back() = false;
    if (label != nullptr) append_string(out_, comma, label, ':');
    else if (comma != 0) out_ += comma;
}

void JsonFields::value(const char* label, std::uint32_t value) {
    key(label);
    json_number(out_, value);
}

// "LABEL.suffix": the key of a form of the field LABEL.
void JsonFields::key(const char* label, std::string_view suffix) {
    std::string name = label != nullptr ? label : "";
    name += suffix;
    key(name.c_str());
}

void JsonFields::begin_record(const char* label, const char* name) {
    key(label);
    out_ += "{\"record\":";
    json_string(out_, name);
    first_.push_back(false);
}

void JsonFields::end_record() {
    out_ += '}';
    first_.pop_back();
}

void JsonFields::begin_list(const char* label) {
    key(label);
    out_ += '[';
    first_.push_back(true);
}

void JsonFields::end_list() {
    out_ += ']';
    first_.pop_back();
}

void JsonFields::bytes(const char* label, const std::uint8_t* data, std::size_t size, bool name) {
    key(label);
    json_hex(out_, data, size);
    if (!name) return;
    key(label, ".text");
    json_string(out_, std::string_view(reinterpret_cast<const char*>(data), size));
}

void JsonFields::unknown_custom() {
    key("custom");
    json_string(out_, std::string_view(RIZOROD_UNKNOWN_CUSTOM_TEXT).substr(0, sizeof RIZOROD_UNKNOWN_CUSTOM_TEXT - 2));
}

void JsonFields::uncounted(const char* label, const std::uint8_t* data, std::size_t size) {
    key(label, ".uncounted");
    json_hex(out_, data, size);
}

void JsonFields::text(const char* label, std::string_view text) {
    key(label, ".text");
    json_string(out_, text);
}

}  // namespace rizorod
