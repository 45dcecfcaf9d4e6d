// SPDX-License-Identifier: Apache-2.0
// The decoding pipeline of rizorod: inputs read in large pieces, cut into chunks at entry lines
// (input.h), chunks parsed and handled on worker threads (worker.h), results written in input
// order (output.h). What an entry becomes is a Handler's business (handler.h).
#ifndef RIZORODOZIDO_TOOLS_PIPELINE_H
#define RIZORODOZIDO_TOOLS_PIPELINE_H

#include <memory>
#include <vector>

#include "handler.h"
#include "input.h"
#include "output.h"

namespace rizorod::tool {

struct Options {
    unsigned jobs = 1;  // decoding threads, the calling one included; 1: everything on it
    ReadOptions read;   // the pause of a live input, the clock an input begins with
    // Whether the handler uses the dates the capture clock gives entries (JSON, export, stats,
    // selections by date): with several jobs the reader then works out each chunk's clock.
    bool dates = true;
};

// Reads, handles and writes every input in order. Returns the exit status. `handlers`, when
// given, receives the handlers that ran, for merging their state.
int run(const std::vector<Input>& inputs, const Options& options, const HandlerFactory& factory,
        Output& out, std::vector<std::unique_ptr<Handler>>* handlers = nullptr);

}  // namespace rizorod::tool

#endif
