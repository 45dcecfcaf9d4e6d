// SPDX-License-Identifier: Apache-2.0
// What rizorod does with each entry the pipeline reads: decode it as text or JSON, export it as a
// pcapng packet, or count it; each after the entry selection (tools/select.h). An entry that the
// selection leaves out is still checked: a refusal is reported whatever the selection says.
#ifndef RIZORODOZIDO_TOOLS_HANDLERS_H
#define RIZORODOZIDO_TOOLS_HANDLERS_H

#include <memory>

#include "pipeline.h"
#include "select.h"
#include "stats.h"

namespace rizorod::tool {

enum class Format { text, json };

// The decoding of each selected entry: its text, or one JSON object on a line of its own
// (docs/JSON.md), where a refusal or a bad line is an object with the message too.
std::unique_ptr<Handler> decode_handler(Format format, const Selection& selection);

// Each selected entry that decodes as one pcapng packet (tools/pcapng.h).
std::unique_ptr<Handler> export_handler(const Selection& selection);

// Counts the selected entries per primitive (tools/stats.h), and the bad lines.
class StatsHandler final : public Handler {
public:
    explicit StatsHandler(const Selection& selection) : selection_(selection) {}
    void entry(const Entry& entry, const InputInfo& input, ChunkOut& out) override;
    void problem(const Problem& problem, const InputInfo& input, ChunkOut& out) override;
    Stats stats;

private:
    const Selection& selection_;
    Decoder decoder_;
};

}  // namespace rizorod::tool

#endif
