// Fuzz target: the capture reader on arbitrary text, and the decoding of every entry it accepts.
// Whatever the input, reading and decoding end with entries, problems or DecodeErrors: never a
// crash, a hang or a read outside the bytes given.
//
// Checked on every input:
// - each problem is at a line already read, after the line of the item before it, and its
//   message is one non-empty line;
// - each entry's line follows the item before it, the entry holds its code's bytes when the
//   line gave no code, and its decoding is the no-match text or a header line (showing the
//   entry's own stamp when it has one) ending with a newline, or a DecodeError about its
//   interface and code;
// - the same text with every line ended by CR LF reads to the same items.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture.h"

namespace {

[[noreturn]] void finding() { __builtin_trap(); }

// What one reading yields, item by item, for comparing two readings.
std::vector<std::string> read_all(const std::string& text, bool decode) {
    std::istringstream in(text);
    rizorod::CaptureReader reader(in);
    rizorod::Decoder decoder;
    rizorod::Entry entry;
    rizorod::Problem problem;
    std::vector<std::string> items;
    std::size_t last_line = 0;
    for (;;) {
        const auto item = reader.next(entry, problem);
        if (item == rizorod::CaptureReader::Item::end) break;
        if (item == rizorod::CaptureReader::Item::problem) {
            if (problem.line <= last_line || problem.line > reader.lines()) finding();
            if (problem.message.empty() || problem.message.find('\n') != std::string::npos ||
                problem.message.find('\r') != std::string::npos)
                finding();
            last_line = problem.line;
            items.push_back("problem " + std::to_string(problem.line) + " " + problem.message);
            continue;
        }
        if (entry.line <= last_line || entry.line > reader.lines()) finding();
        last_line = entry.line;
        std::string summary =
            "entry " + std::to_string(entry.line) + " " + rizorod::interface_name(entry.iface) +
            " " + std::to_string(entry.code) + " " + std::to_string(entry.record.size()) + " " +
            std::to_string(entry.image.byte_count()) + " " + std::to_string(entry.image.blocks());
        if (entry.stamp) summary += " " + entry.stamp->time_of_day();
        items.push_back(summary);
        if (!decode) continue;
        try {
            const std::string text = decoder.decode(entry);
            if (text.empty() || text.back() != '\n') finding();
            const bool known = rizorod::find_primitive(entry.iface, entry.code).has_value();
            if (known != (text.compare(0, 5, "---- ") == 0)) finding();
            if (known && entry.stamp && text.compare(5, 12, entry.stamp->time_of_day()) != 0)
                finding();
        } catch (const rizorod::DecodeError& e) {
            if (e.iface() != entry.iface || e.code() != entry.code) finding();
        }
    }
    if (reader.failed()) finding();  // a string stream has no read errors
    return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> items = read_all(text, true);

    std::string crlf;
    crlf.reserve(text.size() * 2);
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    if (read_all(crlf, false) != items) finding();
    return 0;
}
