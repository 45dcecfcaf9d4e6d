// SPDX-License-Identifier: Apache-2.0
#include "piece.h"

#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "capture/find_byte.h"

namespace rizorod::tool {

bool find_piece(int fd, std::uint64_t size, unsigned k, unsigned n, CaptureClock clock, Piece& piece) {
    const std::uint64_t from = size / n * (k - 1) + size % n * (k - 1) / n;
    const std::uint64_t to = size / n * k + size % n * k / n;
    piece = {};
    piece.end = size;
    bool begun = k == 1;
    if (begun) piece.clock = clock;
    std::vector<char> block(1 << 16);
    std::string line;         // the line being read
    std::uint64_t start = 0;  // where it starts in the file
    std::size_t number = 1;   // its number
    std::uint64_t at = 0;
    // One complete line: moves the clock on before the piece, finds where the piece begins and ends.
    auto take = [&](std::string_view text) {
        if (!begun && start >= from && CaptureParser::starts_entry(text)) {
            begun = true;
            piece.begin = start;
            piece.first_line = number;
            piece.clock = clock;
        }
        if (!begun) CaptureParser::advance(clock, text, number == 1);
        if (begun && start >= to && CaptureParser::starts_entry(text)) return false;
        ++number;
        return true;
    };
    while (true) {
        ssize_t got;
        while ((got = ::pread(fd, block.data(), block.size(), static_cast<off_t>(at))) < 0 && errno == EINTR) {
        }
        if (got < 0) return false;
        if (got == 0) break;
        const char* p = block.data();
        const char* const end = p + got;
        while (p < end) {
            const char* nl = rizorod::detail::find_byte(p, end, '\n');
            line.append(p, static_cast<std::size_t>((nl ? nl : end) - p));
            if (nl == nullptr) break;
            if (!take(line)) {
                piece.end = start;
                return true;
            }
            start += line.size() + 1;
            line.clear();
            p = nl + 1;
        }
        at += static_cast<std::uint64_t>(got);
    }
    if (!line.empty() && !take(line)) piece.end = start;
    if (!begun) piece.begin = piece.end = size;  // no entry line after its start: an empty piece
    return true;
}

}  // namespace rizorod::tool
