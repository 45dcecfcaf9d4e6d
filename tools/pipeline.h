// The decoding pipeline of rizorod: inputs read in large pieces, cut into chunks at entry lines,
// chunks parsed and handled on worker threads, results written in input order.
//
// Whatever comes out of an entry goes through a Handler: the text decoding is one; other kinds
// of output plug in as handlers of their own without touching the pipeline.
#ifndef RIZORODOZIDO_TOOLS_PIPELINE_H
#define RIZORODOZIDO_TOOLS_PIPELINE_H

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <RizOrodOzido/capture.h>

namespace rizorod::tool {

// Exit statuses of the tool.
enum Status : int {
    kOk = 0,
    kEntryFailed = 1,   // at least one entry could not be read or decoded
    kUsage = 2,         // bad command line, or an input that could not be opened, read or held
    kWriteFailed = 3,   // the output could not be written
};

// Standard output and standard error, written with write(2) as soon as they are given, so that
// messages keep their place among the decodings.
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

// An input as messages name it: the file name with control characters escaped, "<stdin>" or
// "<command line>"; and its place among the inputs.
struct InputInfo {
    std::string name;
    std::size_t index = 0;
};

// What handling a chunk of input gives: bytes for standard output, and messages for standard
// error, each at its place among those bytes.
class ChunkOut {
public:
    struct Message {
        std::size_t at;  // the length of `text` when the message was given
        std::string line;
        int status;
    };
    std::string text;
    std::vector<Message> messages;
    int status = kOk;

    // A message line (without its line end) at the current end of `text`.
    void message(std::string line, int line_status);
    void clear();
};

// Handles the entries and problems of the inputs; one per worker thread, made by a factory, so
// it may keep state of its own that the caller merges at the end.
class Handler {
public:
    virtual ~Handler() = default;
    // An entry read without error: appends its output, or a message, to `out`.
    virtual void entry(const Entry& entry, const InputInfo& input, ChunkOut& out) = 0;
    // A line that could not be read: by default the "file:line: message" line, status 1.
    virtual void problem(const Problem& problem, const InputInfo& input, ChunkOut& out);
};
using HandlerFactory = std::function<std::unique_ptr<Handler>()>;

// The text decoding: each entry's text on standard output, a refusal as its entry's message.
std::unique_ptr<Handler> text_handler();

// One input: a file name ("-" for standard input) or, with `literal` set, the capture text
// itself under the name shown in messages.
struct Input {
    std::string name;
    bool literal = false;
    std::string text;
};

struct Options {
    unsigned jobs = 1;  // decoding threads, the calling one included; 1: everything on it
    // A live input (a pipe, a terminal) that has sent nothing for this long has paused: what it
    // sent is decoded and written, its last entry included.
    int pause_ms = 40;
};

// Reads, handles and writes every input in order. Returns the exit status. `handlers`, when
// given, receives the handlers that ran, for merging their state.
int run(const std::vector<Input>& inputs, const Options& options, const HandlerFactory& factory,
        Output& out, std::vector<std::unique_ptr<Handler>>* handlers = nullptr);

// `name` with control characters written as \xNN, so that a message stays one line.
std::string escaped_name(std::string_view name);

}  // namespace rizorod::tool

#endif
