#include "json.h"

#include <charconv>

namespace rizorod::tool {

namespace {
constexpr char kHex[] = "0123456789abcdef";
}

void json_string(std::string& out, std::string_view text) {
    out += '"';
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
}

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
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

void JsonFields::key(const char* label) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
    if (label != nullptr) {
        json_string(out_, label);
        out_ += ':';
    }
}

void JsonFields::value(const char* label, std::uint32_t value) {
    key(label);
    json_number(out_, value);
}

void JsonFields::begin_record(const char* label, const char*) {
    key(label);
    out_ += '{';
    first_.push_back(true);
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

void JsonFields::bytes(const char* label, const std::uint8_t* data, std::size_t size, bool) {
    key(label);
    json_hex(out_, data, size);
}

void JsonFields::unknown_custom() {
    key("custom");
    out_ += "\"Unknown customDebug Primitive type\"";
}

}  // namespace rizorod::tool
