// SPDX-License-Identifier: Apache-2.0
// Reading the inputs: each input with read(2) in pieces of about a chunk, cut into chunks at entry
// lines (CaptureParser::starts_entry), its lines counted so that every chunk knows its first line.
// A live input (a pipe, a terminal) gives what it sent as soon as no more is waiting: the complete
// entries at once, the last one too after a pause, unless a line of it is still arriving.
// While one entry fills the buffer, the lines that need not be held are left out (Gaps).
#ifndef RIZORODOZIDO_TOOLS_INPUT_H
#define RIZORODOZIDO_TOOLS_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "chunk.h"
#include "source.h"

namespace rizorod::tool {

// One input: a file name ("-" for standard input) or, with `literal` set, the capture text
// itself under the name shown in messages.
struct Input {
    Input() = default;
    explicit Input(std::string file_name, bool is_literal = false, std::string literal_text = {})
        : name(std::move(file_name)), literal(is_literal), text(std::move(literal_text)) {}
    std::string name;
    bool literal = false;
    std::string text;
    std::string label;           // what messages and JSON call it, when not its name
    std::size_t first_line = 1;  // the number of its first line
    unsigned piece = 0, pieces = 0;  // with pieces: only piece `piece` of them (piece.h)
};

// The number of line ends in [p, p + n).
std::size_t count_lines(const char* p, std::size_t n);

// How an input is read.
struct ReadOptions {
    // A live input (a pipe, a terminal) that has sent nothing for this long has paused: what it
    // sent is given, its last entry included.
    int pause_ms = 40;
    // The capture clock an input begins with (its starting date, if any).
    CaptureClock clock;
    // Whether every chunk carries the clock it begins with (the reader moves it on over each
    // chunk's lines), for chunks read on several threads; otherwise only an input's first chunk.
    bool clock_every_chunk = false;
};

// Reads one input and cuts it into chunks.
class Reader {
public:
    Reader(const Input& input, const InputInfo& info, const ReadOptions& options, Spare& spare);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The next chunk into `c`, whose buffer the reader takes in exchange; false when the input
    // has ended and nothing is left to say about it.
    bool next(Chunk& c);

private:
    void fail(Tail tail, int err);
    void out_of_memory();
    // Gives [0, pos) to the chunk; what follows stays.
    bool give(Chunk& c, std::size_t pos);
    // Leaves out the lines that need not be held; false when memory ran out.
    bool compact();
    // Whether the line being read, not yet complete, is one that need not be held.
    bool partial_left_out() const;
    // Room for `need` bytes in buf_, the first `size` of them kept.
    bool grow(std::size_t size, std::size_t need);
    bool ready(int timeout_ms);
    void read_more();
    // The last entry line among the lines completed since the last search.
    void find_boundary();
    // Whether the line being read, not yet complete, is already known to be an entry line.
    bool partial_starts_entry() const;

    // Moves the clock on over the first `pos` bytes of the buffer (`gaps`: the lines left out).
    void advance_clock(std::size_t pos, const Gaps& gaps);

    // Reads only piece `k` of `n` of the file: its range, first line and clock.
    bool limit_to_piece(unsigned k, unsigned n, std::uint64_t size);

    const InputInfo& info_;
    int pause_ms_;
    std::uint64_t left_ = UINT64_MAX;  // bytes still to read (a piece of a file)
    CaptureClock clock_;
    bool clock_every_chunk_;
    bool first_chunk_ = true;
    Spare& spare_;
    int fd_ = -1;
    Source source_;  // what read(2) of fd_ gives, decompressed
    bool own_ = false, regular_ = false;
    Bytes buf_;
    std::size_t len_ = 0;       // bytes in buf_
    std::size_t complete_ = 0;  // bytes of complete lines at its start
    std::size_t boundary_ = 0;  // the last entry line after the first line, or 0
    std::size_t searched_ = 0;  // lines starting before this were searched for entry lines
    std::size_t first_line_ = 1;
    bool eof_ = false, resumed_ = false, ended_ = false;
    Gaps gaps_;                 // lines left out of buf_
    std::size_t compacted_ = 0; // lines starting before this were looked at by compact()
    bool has_entry_ = false;    // compact() kept an entry line: memory lines after it are its own
    bool memory_kept_ = false;  // a memory line was kept (before an entry line: the one with the message)
    bool dropping_ = false;     // the rest of the line being read is left out
    int read_errno_ = 0;
    Tail tail_ = Tail::none;
    std::size_t tail_line_ = 0;
    int tail_errno_ = 0;
};

}  // namespace rizorod::tool

#endif
