// SPDX-License-Identifier: Apache-2.0
// Fuzz target: the JSON the tool writes. The input's first line is a file name (any bytes but a
// line end), the rest a capture. Every object `decode --format json` writes for it, entries and
// errors alike, and the file name and the input's bytes as JSON strings, must be valid UTF-8 and
// valid JSON (RFC 8259: a strict check below, which takes nothing a parser may refuse), each
// object on one line, beginning with the schema member.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include <RizOrodOzido/capture.h>

#include "handlers.h"
#include <RizOrodOzido/json.h>

namespace {

[[noreturn]] void finding() { __builtin_trap(); }

// Valid UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : c >= 0xc2 && c < 0xe0 ? 2 : c >= 0xe0 && c < 0xf0 ? 3 : c >= 0xf0 && c < 0xf5 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        std::uint32_t cp = n == 1 ? c : c & (0x7f >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xc0) != 0x80) return false;
            cp = cp << 6 | (t & 0x3f);
        }
        if ((n == 3 && (cp < 0x800 || (cp >= 0xd800 && cp < 0xe000))) || (n == 4 && (cp < 0x10000 || cp > 0x10ffff)))
            return false;
        i += n;
    }
    return true;
}

// A strict JSON reader: true when `s` from `at` holds one value, and `at` moves past it.
class Json {
public:
    explicit Json(std::string_view s) : s_(s) {}
    bool document() {
        return value(0) && at_ == s_.size();
    }

private:
    bool value(int depth) {
        if (depth > 64 || at_ >= s_.size()) return false;
        switch (s_[at_]) {
        case '{': return composite('}', depth, true);
        case '[': return composite(']', depth, false);
        case '"': return string();
        case 't': return word("true");
        case 'f': return word("false");
        case 'n': return word("null");
        default: return number();
        }
    }
    bool composite(char close, int depth, bool object) {
        ++at_;
        if (at_ < s_.size() && s_[at_] == close) return ++at_, true;
        while (true) {
            if (object && (!string() || at_ >= s_.size() || s_[at_++] != ':')) return false;
            if (!value(depth + 1) || at_ >= s_.size()) return false;
            const char c = s_[at_++];
            if (c == close) return true;
            if (c != ',') return false;
        }
    }
    bool string() {
        if (at_ >= s_.size() || s_[at_] != '"') return false;
        for (++at_; at_ < s_.size(); ++at_) {
            const unsigned char c = static_cast<unsigned char>(s_[at_]);
            if (c == '"') return ++at_, true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (++at_ >= s_.size()) return false;
            const char e = s_[at_];
            if (e == 'u') {
                for (int k = 0; k < 4; ++k)
                    if (++at_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[at_]))) return false;
            } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                return false;
            }
        }
        return false;
    }
    bool word(std::string_view w) {
        if (s_.substr(at_, w.size()) != w) return false;
        at_ += w.size();
        return true;
    }
    bool number() {
        const std::size_t from = at_;
        if (at_ < s_.size() && s_[at_] == '-') ++at_;
        if (at_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[at_]))) return false;
        if (s_[at_] == '0') ++at_;
        else while (at_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_]))) ++at_;
        return at_ > from;
    }
    std::string_view s_;
    std::size_t at_ = 0;
};

void check_string(std::string_view text) {
    std::string out;
    rizorod::json_string(out, text);
    if (!utf8(out) || !Json(out).document()) finding();
}

}  // namespace

// libFuzzer's own std::vector<std::string> code is built without the vector's AddressSanitizer
// annotations, and shares out-of-line members with the tool's code compiled in here, which has
// them: its container-overflow reports would be false. This target checks what the tool writes;
// the decoders' reads stay checked by capture_fuzz and decode_fuzz.
extern "C" const char* __asan_default_options() { return "detect_container_overflow=0"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    check_string(input);
    const std::size_t nl = input.find('\n');
    const std::string name = input.substr(0, nl);
    check_string(name);
    if (nl == std::string::npos) return 0;

    rizorod::tool::Selection none;
    const auto handler = rizorod::tool::decode_handler(rizorod::tool::Format::json, none);
    const rizorod::tool::InputInfo info{name, 0};
    rizorod::tool::ChunkOut out;
    std::istringstream in(input.substr(nl + 1));
    rizorod::CaptureReader reader(in);
    rizorod::Entry entry;
    rizorod::Problem problem;
    for (rizorod::CaptureReader::Item item; (item = reader.next(entry, problem)) != rizorod::CaptureReader::Item::end;) {
        if (item == rizorod::CaptureReader::Item::entry) handler->entry(entry, info, out);
        else handler->problem(problem, info, out);
    }
    std::string_view text = out.text;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) finding();  // every object ends its line
        const std::string_view line = text.substr(0, end);
        if (!utf8(line) || !Json(line).document() || line.substr(0, 11) != "{\"schema\":2") finding();
        text.remove_prefix(end + 1);
    }
    return 0;
}
