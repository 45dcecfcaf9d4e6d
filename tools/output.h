// SPDX-License-Identifier: Apache-2.0
// Where rizorod writes: standard output and standard error, written with write(2) as soon as they
// are given, so that messages keep their place among the decodings; and the tool's exit statuses.
#ifndef RIZORODOZIDO_TOOLS_OUTPUT_H
#define RIZORODOZIDO_TOOLS_OUTPUT_H

#include <initializer_list>
#include <string>
#include <string_view>

namespace rizorod::tool {

// Exit statuses of the tool.
enum Status : int {
    kOk = 0,
    kEntryFailed = 1,   // at least one entry could not be read or decoded
    kUsage = 2,         // bad command line, or an input that could not be opened, read or held
    kWriteFailed = 3,   // the output could not be written
};

class Output {
public:
    explicit Output(int out = 1, int err = 2) : out_(out), err_(err) {}
    void text(std::string_view bytes);
    // One message line (the parts joined, a line end added) on standard error.
    void message(std::initializer_list<std::string_view> parts);
    bool failed() const { return failed_; }
    // The output went to a pipe whose reader has gone (SIGPIPE ignored): stop without a word.
    bool broken_pipe() const { return broken_pipe_; }
    // What went wrong, as strerror says it.
    const char* error() const { return error_; }

private:
    int out_, err_;
    bool failed_ = false, broken_pipe_ = false;
    const char* error_ = "";
};

// Opens each of descriptors 0, 1 and 2 that is closed on /dev/null, as the first thing the tool
// does, so that no file it opens later becomes its standard input, output or error by chance
// (a pcapng file taking error messages). The mode is the contrary one, so that reading a closed
// standard input or writing a closed standard output still fails (EBADF) as it would have.
// False when /dev/null cannot be opened.
bool reserve_standard_descriptors();

// `name` with control characters written as \xNN, so that a message stays one line.
std::string escaped_name(std::string_view name);

}  // namespace rizorod::tool

#endif
