// SPDX-License-Identifier: Apache-2.0
// What the pipeline does with each entry it reads is a Handler's business: the text decoding, the
// JSON object, the pcapng packet or a count. A handler appends to the output of the chunk being
// handled; the pipeline writes chunks in input order.
#ifndef RIZORODOZIDO_TOOLS_HANDLER_H
#define RIZORODOZIDO_TOOLS_HANDLER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>

#include "output.h"

namespace rizorod::tool {

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

// The plain text decoding: each entry's text on standard output, a refusal as its entry's
// message.
std::unique_ptr<Handler> text_handler();

}  // namespace rizorod::tool

#endif
