// SPDX-License-Identifier: Apache-2.0
// Handling chunks and writing their outputs: a worker parses a chunk and gives its entries to its
// handler; write_chunk writes a handled chunk's output, its messages in place, and what ended its
// input. Chunks are written in input order by whoever schedules them (pipeline.cpp).
#ifndef RIZORODOZIDO_TOOLS_WORKER_H
#define RIZORODOZIDO_TOOLS_WORKER_H

#include <memory>
#include <vector>

#include "chunk.h"
#include "input.h"

namespace rizorod::tool {

// What a thread needs to handle chunks: its handler, and a parser and an entry of its own.
struct Worker {
    std::unique_ptr<Handler> handler;
    CaptureParser parser;
    Entry entry;
    Problem problem;

    // Parses the chunk and hands each entry and bad line to the handler. Running out of memory
    // ends the chunk's input after the lines handled before it (the chunk says how many).
    void handle(Chunk& c);
};

// Writes a chunk's output and what ends its input. Returns false when its input has run out
// of memory, so that nothing more of it is written.
bool write_chunk(const Chunk& c, Output& out, int& status);

// How messages name the inputs.
std::vector<InputInfo> infos_of(const std::vector<Input>& inputs);

}  // namespace rizorod::tool

#endif
