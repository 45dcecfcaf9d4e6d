// Decoding of capture files in entry order, on one thread or several.
#ifndef RIZOROdOZIDO_TOOLS_PIPELINE_H
#define RIZOROdOZIDO_TOOLS_PIPELINE_H

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture.h"

namespace rizorod::tool {

// Exit statuses of the tool.
enum Status : int {
    kOk = 0,
    kEntryFailed = 1,   // at least one entry could not be read or decoded
    kUsage = 2,         // bad command line, or an input that could not be opened or read
    kWriteFailed = 3,   // the output could not be written
};

// Standard output through a large buffer, with messages on standard error kept in order with it.
class Output {
public:
    Output();
    void text(std::string_view text);
    // A message line on standard error; what went to standard output before it is flushed first.
    void message(std::string_view line);
    // Flushes; false (with the reason in error()) when any write failed.
    bool finish();
    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }

private:
    void check(bool ok);
    bool failed_ = false;
    std::string error_;
};

// One input of a decoding: a file name ("-" for standard input) or, with `text` set, the capture
// text itself under the name shown in messages.
struct Input {
    std::string name;
    bool literal = false;
    std::string text;
};

// What is written for one entry: appended to `text`; an exception reports the entry as failed.
// Runs on the worker threads, each with a Decoder of its own.
using EntryHandler = std::function<void(Decoder& decoder, const Entry& entry, std::string& text)>;

// Decodes every entry of the inputs in order into `out`, with `jobs` threads (1: all on the
// calling thread): the decoding's text, or what `handler` makes of the entry when given.
// Returns the exit status.
int decode_inputs(const std::vector<Input>& inputs, unsigned jobs, Output& out,
                  const EntryHandler& handler = {});

}  // namespace rizorod::tool

#endif
