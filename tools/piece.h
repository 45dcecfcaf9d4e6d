// SPDX-License-Identifier: Apache-2.0
// `decode --piece K/N FILE`: the K-th of N pieces of a capture file, cut at entry lines, read with
// the line number and the capture clock it has in the whole file, so that the pieces decoded
// apart and put together give what the whole file gives (docs/SCALING.md).
#ifndef RIZORODOZIDO_TOOLS_PIECE_H
#define RIZORODOZIDO_TOOLS_PIECE_H

#include <cstddef>
#include <cstdint>

#include <RizOrodOzido/capture.h>

namespace rizorod::tool {

struct Piece {
    std::uint64_t begin = 0, end = 0;  // byte offsets in the file
    std::size_t first_line = 1;        // the line at `begin`
    CaptureClock clock;                // the clock at `begin`
};

// Piece k (1 to n) of the file open as `fd`, of `size` bytes: from the first entry line at or
// after byte (k - 1) * size / n (the start of the file for the first piece) to the first entry
// line at or after k * size / n. Reads the file from its start; `clock` is the clock the file
// begins with. Returns false with errno set when reading fails.
bool find_piece(int fd, std::uint64_t size, unsigned k, unsigned n, CaptureClock clock, Piece& piece);

}  // namespace rizorod::tool

#endif
