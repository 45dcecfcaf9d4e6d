// SPDX-License-Identifier: Apache-2.0
// Fuzz target: the capture reader on arbitrary text, and the decoding of every entry it accepts.
// Whatever the input, reading and decoding end with entries, problems or DecodeErrors: never a
// crash, a hang or a read outside the bytes given.
//
// An input that starts with the byte 0xff is not text but a program that writes the capture
// (see expand below): long records, runs of memory lines at addresses going up or down by any
// step, long memory lines and raw text, up to 64 KiB of text in all. That reaches long entries,
// many memory lines and out-of-order addresses with inputs of a few bytes.
//
// Checked on every input:
// - each problem is at a line already read, after the line of the item before it, and its
//   message is one non-empty line;
// - each entry's line follows the item before it, the entry holds its code's bytes when the
//   line gave no code, and its decoding is the no-match text or a header line (showing the
//   entry's own stamp when it has one) ending with a newline, or a DecodeError about its
//   interface and code;
// - the same text with every line ended by CR LF reads to the same items;
// - the text cut before each entry line, each piece read on its own by CaptureParser (as rizorod
//   cuts its inputs), reads to the same items.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>

namespace {

[[noreturn]] void finding() { __builtin_trap(); }

std::string describe(const rizorod::Entry& entry) {
    std::string summary =
        "entry " + std::to_string(entry.line) + " " + rizorod::interface_name(entry.iface) +
        " " + std::to_string(entry.code) + " " + std::to_string(entry.record.size()) + " " +
        std::to_string(entry.image.byte_count()) + " " + std::to_string(entry.image.block_count());
    if (entry.stamp) summary += " " + entry.stamp->time_of_day();
    return summary;
}

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
        items.push_back(describe(entry));
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

// The items of `text` cut before each entry line, each piece read by a parser of its own.
std::vector<std::string> read_pieces(const std::string& text) {
    std::vector<std::string> items;
    rizorod::CaptureParser parser;
    rizorod::Entry entry;
    rizorod::Problem problem;
    std::size_t line_no = 0;
    const auto take = [&](std::string_view line) {
        for (;;) {
            const auto step = parser.line(line, entry, problem);
            if (step == rizorod::CaptureParser::Step::problem)
                items.push_back("problem " + std::to_string(problem.line) + " " + problem.message);
            if (step != rizorod::CaptureParser::Step::entry) return;
            items.push_back(describe(entry));
        }
    };
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t nl = std::min(text.find('\n', pos), text.size());
        const std::string_view line(text.data() + pos, nl - pos);
        if (++line_no > 1 && rizorod::CaptureParser::starts_entry(line)) {
            if (parser.finish()) items.push_back(describe(entry));
            parser.reset(line_no);
        }
        take(line);
        pos = nl + 1;
    }
    if (parser.finish()) items.push_back(describe(entry));
    return items;
}

// The capture that a program input (after its 0xff) writes. Each step is a byte and operands:
//   0  entry: interface, 16-bit code, 16-bit record length, fill byte
//   1  memory run: 32-bit address, 16-bit line count, piece length, signed 16-bit step
//   2  raw text: a length byte and that many bytes
//   3  long memory line: 32-bit address, 24-bit length
std::string expand(const std::uint8_t* p, std::size_t n) {
    static const char* const kIfaces[] = {"dm", "l2cap", "rfcomm", "sdp"};
    constexpr std::size_t kMost = std::size_t{1} << 16;  // characters written at most
    std::string out;
    std::size_t at = 0;
    const auto take = [&](int bytes) {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= std::uint32_t{at < n ? p[at++] : 0u} << (8 * i);
        return v;
    };
    const auto bytes = [&](std::size_t len, unsigned fill) {
        static constexpr char kDigits[] = "0123456789abcdef";
        for (std::size_t i = 0; i < len; ++i) {
            if (i % 8 == 0) out += ' ';  // words of eight bytes
            out += kDigits[((fill + i) >> 4) & 15];
            out += kDigits[(fill + i) & 15];
        }
    };
    char head[48];
    while (at < n && out.size() < kMost) {
        switch (take(1) & 3) {
        case 0: {
            const unsigned iface = take(1) & 3, code = take(2), len = take(2), fill = take(1);
            std::snprintf(head, sizeof head, "%s 0x%04x", kIfaces[iface], code);
            out += head;
            bytes(std::min<std::size_t>(len, kMost / 3), fill);
            out += '\n';
            break;
        }
        case 1: {
            std::uint32_t address = take(4);
            const unsigned count = take(2), len = take(1) + 1;
            const auto step = static_cast<std::int16_t>(take(2));
            for (unsigned k = 0; k < count && out.size() < kMost; ++k, address += static_cast<std::uint32_t>(step)) {
                std::snprintf(head, sizeof head, "@%08x", address);
                out += head;
                bytes(len, address);
                out += '\n';
            }
            break;
        }
        case 2:
            for (unsigned len = take(1); len > 0 && at < n; --len) out += static_cast<char>(p[at++]);
            break;
        case 3: {
            std::snprintf(head, sizeof head, "@%08x", take(4));
            out += head;
            bytes(std::min<std::size_t>(take(3), kMost / 3), 0);
            out += '\n';
            break;
        }
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = size > 0 && data[0] == 0xff ? expand(data + 1, size - 1)
                                                          : std::string(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> items = read_all(text, true);

    std::string crlf;
    crlf.reserve(text.size() * 2);
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    if (read_all(crlf, false) != items) finding();

    if (read_pieces(text) != items) finding();
    return 0;
}
