// SPDX-License-Identifier: Apache-2.0
// Fuzz target: the --where expression language. The input's first line is an expression, the
// rest a capture (a few entries of every kind when the rest is empty). Whatever the input:
// - parsing ends with a filter or a FilterError, never a crash or a hang;
// - an error's message ends with the expression and a caret line whose carets lie under it;
// - for every entry, "not (E)" holds exactly where E does not, "(E) and (E)" and "(E) or (E)"
//   where E does, and "(E) or not (E)" everywhere: the logic is the logic (E in parentheses:
//   the older LABEL=VALUE form reads only as a whole expression).
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>

#include "filter.h"

namespace {

[[noreturn]] void finding() { __builtin_trap(); }

constexpr char kEntries[] =
    "2024-05-14 09:41:07.112 dm 00 00 01 00\n"
    "09:41:07.118 dm 13 0c f8 00 00 a1 04 08 00000000 00000000 00000000 00000000 00000000 00000000 00000000\n"
    "@0804a100 57 6f 72 6b 73 68 6f 70 20 62 65 6e 63 68 00\n"
    "09:41:15.406 dm 04 20 01 00 00 00 29 00 20 1f 6a 00 7c 00 12 00 00\n"
    "09:41:16.388 rfcomm 19 00 03 00 01 03 05 00 06 00 00 00 00 e1 04 08 10 f0 04 08\n"
    "@0804e100 0d 0a 4f 4b 0d 0a\n"
    "09:41:20.015 l2cap 04 01 00 00 01 00 00 12 7c 6a 1f 20 16 11 15 11\n"
    "09:41:20.311 l2cap 01 02 06 00 00 00 00 00 00 00 00 00 00 00 00 00 ff ff c0 a8 00 01 50 00 00 04 90 1f 00 04\n"
    "09:41:21.002 dm 0x2009 09 20 01 00 01 00 00 00 00 f8 04 08 00 00 00 00 00 00 00 00 00 00 00 00\n"
    "@0804f800 29 00 03 00\n"
    "sdp 0b00a002\n";

std::vector<rizorod::Entry> entries(const std::string& text) {
    std::istringstream in(text);
    rizorod::CaptureReader reader(in);
    std::vector<rizorod::Entry> out;
    rizorod::Entry entry;
    rizorod::Problem problem;
    for (rizorod::CaptureReader::Item item; (item = reader.next(entry, problem)) != rizorod::CaptureReader::Item::end;)
        if (item == rizorod::CaptureReader::Item::entry && out.size() < 64) out.push_back(entry);
    return out;
}

std::shared_ptr<const rizorod::tool::Filter> parse(const std::string& expression) {
    try {
        return rizorod::tool::Filter::parse(expression);
    } catch (const rizorod::tool::FilterError& e) {
        const std::string message = e.what();
        const std::size_t caret_line = message.rfind('\n');
        const std::size_t shown = message.rfind('\n', caret_line - 1);
        if (caret_line == std::string::npos || shown == std::string::npos) finding();
        const std::string carets = message.substr(caret_line + 1);
        const std::size_t first = carets.find('^');
        if (first == std::string::npos || carets.find_first_not_of('^', first) != std::string::npos) finding();
        if (first < 2 || first > expression.size() + 2 || carets.size() > expression.size() + 3) finding();
        return nullptr;
    }
}

// Whether the filter holds for the entry; -1 when the entry cannot be walked.
int holds(const rizorod::tool::Filter& f, const rizorod::Entry& e, rizorod::Decoder& decoder) {
    try {
        return f.matches(e, decoder) ? 1 : 0;
    } catch (const rizorod::DecodeError&) {
        return -1;
    }
}

}  // namespace

// libFuzzer's own std::vector<std::string> code is built without the vector's AddressSanitizer
// annotations, and shares out-of-line members with the tool's code compiled in here, which has
// them: its container-overflow reports would be false. This target checks what the tool writes;
// the decoders' reads stay checked by capture_fuzz and decode_fuzz.
extern "C" const char* __asan_default_options() { return "detect_container_overflow=0"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nl = input.find('\n');
    const std::string expression = input.substr(0, nl);
    // (A command line cannot hold a zero byte, and an error's text would end at it.)
    if (expression.size() > 512 || expression.find('\0') != std::string::npos) return 0;
    const auto filter = parse(expression);
    if (!filter) return 0;
    // The older LABEL=VALUE form, whose value may hold blanks, reads as a whole expression only.
    if (!parse("(" + expression + ")")) return 0;
    const auto negated = parse("not (" + expression + ")");
    const auto both = parse("(" + expression + ") and (" + expression + ")");
    const auto either = parse("(" + expression + ") or (" + expression + ")");
    const auto always = parse("(" + expression + ") or not (" + expression + ")");
    if (!negated || !both || !either || !always) finding();  // what parses alone parses inside these
    const std::string rest = nl == std::string::npos || nl + 1 == input.size() ? kEntries : input.substr(nl + 1);
    rizorod::Decoder decoder;
    for (const rizorod::Entry& e : entries(rest)) {
        const int h = holds(*filter, e, decoder);
        if (h < 0) continue;
        if (holds(*negated, e, decoder) != !h || holds(*both, e, decoder) != h ||
            holds(*either, e, decoder) != h || holds(*always, e, decoder) != 1)
            finding();
    }
    return 0;
}
