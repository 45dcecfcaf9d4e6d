// SPDX-License-Identifier: Apache-2.0
#include "worker.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "capture/find_byte.h"
#include "source.h"

namespace rizorod::tool {
namespace {

void failed(Chunk& c, std::size_t line) {
    c.out_of_memory = true;
    c.handled = line - 1;
}

}  // namespace

void Worker::handle(Chunk& c) {
    parser.reset(c.first_line, c.resumed ? CaptureParser::Start::resumed : CaptureParser::Start::input);
    if (c.sets_clock) parser.clock() = c.clock;
    std::size_t at = 0;  // the line of the item being handled; 0: the parser's
    std::size_t longest = 0;
    Gaps::Cursor gaps(c.gaps);
    std::size_t gap_at = 0, gap_lines = 0;
    bool gap = gaps.next(gap_at, gap_lines);
    try {
        const char* const start = c.data.data();
        const char* p = start;
        const char* const end = p + c.data.size();
        while (p < end) {
            // Lines that the reader left out before this one are counted.
            for (; gap && gap_at <= static_cast<std::size_t>(p - start); gap = gaps.next(gap_at, gap_lines))
                parser.skip_lines(gap_lines);
            const char* nl = rizorod::detail::find_byte(p, end, '\n');
            const std::string_view line(p, static_cast<std::size_t>((nl ? nl : end) - p));
            p = nl ? nl + 1 : end;
            for (;;) {
                at = 0;
                const auto step = parser.line(line, entry, problem);
                if (step == CaptureParser::Step::more) break;
                if (step == CaptureParser::Step::problem) {
                    at = problem.line;
                    handler->problem(problem, *c.input, c.out);
                    break;
                }
                at = entry.line;
                longest = std::max(longest, entry.record.size());
                handler->entry(entry, *c.input, c.out);
            }
        }
        at = 0;
        if (parser.finish()) {
            at = entry.line;
            longest = std::max(longest, entry.record.size());
            handler->entry(entry, *c.input, c.out);
        }
    } catch (const std::bad_alloc&) {
        failed(c, at ? at : parser.item_line());
    } catch (const std::length_error&) {
        failed(c, at ? at : parser.item_line());
    }
    // A record buffer that grew for a long entry is given back once a chunk does without it.
    entry.image.clear();
    if (entry.record.capacity() > std::max(kKeep, 2 * longest)) std::vector<std::uint8_t>().swap(entry.record);
}

bool write_chunk(const Chunk& c, Output& out, int& status) {
    std::size_t done = 0;
    const std::string_view text = c.out.text;
    for (const ChunkOut::Message& m : c.out.messages) {
        out.text(text.substr(done, m.at - done));
        done = m.at;
        if (out.failed()) return true;
        out.message({m.line});
    }
    out.text(text.substr(done));
    status = std::max(status, c.out.status);
    char number[24];
    const auto line = [&](std::size_t n) {
        return std::string_view(number, static_cast<std::size_t>(std::to_chars(number, number + sizeof number, n).ptr - number));
    };
    const std::string_view name = c.input->name;
    if (c.out_of_memory) {
        out.message({"rizorod: ", name, ": out of memory after line ", line(c.handled)});
        status = std::max(status, int{kUsage});
        return false;
    }
    switch (c.tail) {
    case Tail::none: return true;
    case Tail::read_error:
        if (c.tail_errno >= 0)
            out.message({"rizorod: ", name, ": read error after line ", line(c.tail_line)});
        else if (whole_input_error(c.tail_errno))
            out.message({"rizorod: ", name, ": ", source_error(c.tail_errno)});
        else
            out.message({"rizorod: ", name, ": read error after line ", line(c.tail_line), ": ", source_error(c.tail_errno)});
        break;
    case Tail::out_of_memory: out.message({"rizorod: ", name, ": out of memory after line ", line(c.tail_line)}); break;
    case Tail::cannot_open: out.message({"rizorod: ", name, ": cannot open: ", std::strerror(c.tail_errno)}); break;
    case Tail::directory: out.message({"rizorod: ", name, ": is a directory"}); break;
    }
    status = std::max(status, int{kUsage});
    return true;
}

std::vector<InputInfo> infos_of(const std::vector<Input>& inputs) {
    std::vector<InputInfo> infos;
    for (const Input& input : inputs)
        infos.push_back({!input.label.empty() ? escaped_name(input.label)
                         : input.literal      ? input.name
                         : input.name == "-"  ? "<stdin>"
                                              : escaped_name(input.name),
                         infos.size()});
    return infos;
}


}  // namespace rizorod::tool
