// Reading the inputs: each input with read(2) in pieces of about a chunk, cut into chunks at entry
// lines (CaptureParser::starts_entry), its lines counted so that every chunk knows its first line.
// A live input (a pipe, a terminal) gives what it sent as soon as no more is waiting: the complete
// entries at once, the last one too after a pause.
#ifndef RIZORODOZIDO_TOOLS_INPUT_H
#define RIZORODOZIDO_TOOLS_INPUT_H

#include <cstddef>
#include <string>

#include "chunk.h"
#include "source.h"

namespace rizorod::tool {

// One input: a file name ("-" for standard input) or, with `literal` set, the capture text
// itself under the name shown in messages.
struct Input {
    std::string name;
    bool literal = false;
    std::string text;
};

// The number of line ends in [p, p + n).
std::size_t count_lines(const char* p, std::size_t n);

// Reads one input and cuts it into chunks.
class Reader {
public:
    Reader(const Input& input, const InputInfo& info, int pause_ms, Spare& spare);
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
    // Room for `need` bytes in buf_, the first `size` of them kept.
    bool grow(std::size_t size, std::size_t need);
    bool ready(int timeout_ms);
    void read_more();
    // The last entry line among the lines completed since the last search.
    void find_boundary();
    // Whether the line being read, not yet complete, is already known to be an entry line.
    bool partial_starts_entry() const;

    const InputInfo& info_;
    int pause_ms_;
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
    int read_errno_ = 0;
    Tail tail_ = Tail::none;
    std::size_t tail_line_ = 0;
    int tail_errno_ = 0;
};

}  // namespace rizorod::tool

#endif
