// SPDX-License-Identifier: Apache-2.0
// Where an input's text comes from: the bytes that read(2) gives, or, when they begin as gzip, xz
// or zstd data does (by their first bytes, whatever the name), what they decompress to; a
// compressed file is decompressed on a thread of its own, at most 1 MiB ahead of the reader. The
// reader calls it where it would call read(2). Text that is no capture (a NUL or another control
// byte in its first bytes) is refused at once, so that a binary file gets one message, not one
// per line.
#ifndef RIZORODOZIDO_TOOLS_SOURCE_H
#define RIZORODOZIDO_TOOLS_SOURCE_H

#include <cstddef>
#include <memory>
#include <string>

namespace rizorod::tool {

// Why an input could not be read when errno does not say it: the negative codes of a read error.
// The compressed formats are 1 gzip, 2 xz, 3 zstd.
constexpr int kNotCapture = -1;
constexpr int kCompressedPiece = -2;  // --piece of a compressed file
constexpr int kStreamPiece = -3;      // --piece of a pipe or a device
constexpr int source_damaged(int format) { return -16 - format; }    // the data is damaged
constexpr int source_truncated(int format) { return -32 - format; }  // the data ends early
constexpr int source_unbuilt(int format) { return -48 - format; }    // no decompressor built in
// Whether a code is about the whole input (said without a line number).
constexpr bool whole_input_error(int code) {
    return code == kNotCapture || code == kCompressedPiece || code == kStreamPiece || (code <= -49 && code >= -51);
}
// What a negative code says ("the gzip data ends early").
std::string source_error(int code);
// Whether the file open on `fd` begins as gzip, xz or zstd data does (read where it is, the
// file's offset left as it was).
bool compressed_file(int fd);

class Source {
public:
    Source();
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Up to `n` bytes of text from `fd` into `p` (n at least 16): the count, 0 at the end, or -1
    // with the reason in error().
    long read(int fd, char* p, std::size_t n);
    // errno, or one of the negative codes above.
    int error() const { return error_; }
    // Whether text is waiting that a poll of the descriptor would not show.
    bool pending() const;

    struct Codec;
    class Ahead;

private:
    long start(int fd, char* p, std::size_t n);
    // Up to `n` bytes decompressed: the count, 0 at the end, or -1 with the reason in `error`.
    long decompress(int fd, char* p, std::size_t n, int& error);
    long fail(int error);

    std::unique_ptr<Codec> codec_;
    std::unique_ptr<Ahead> ahead_;  // the decompressing thread of a compressed file
    bool started_ = false, eof_ = false;
    std::size_t checked_ = 0;  // bytes of text seen to be no binary data
    int error_ = 0;
};

}  // namespace rizorod::tool

#endif
