// SPDX-License-Identifier: Apache-2.0
#include "handler.h"

#include <algorithm>

namespace rizorod::tool {

void ChunkOut::message(std::string line, int line_status) {
    messages.push_back({text.size(), std::move(line), line_status});
    status = std::max(status, line_status);
}

void ChunkOut::clear() {
    text.clear();
    messages.clear();
    status = kOk;
}

void Handler::problem(const Problem& problem, const InputInfo& input, ChunkOut& out) {
    out.message(input.name + ":" + std::to_string(problem.line) + ": " + problem.message, kEntryFailed);
}


namespace {

class TextHandler final : public Handler {
public:
    void entry(const Entry& entry, const InputInfo& input, ChunkOut& out) override {
        try {
            out.text += decoder_.decode(entry);
        } catch (const DecodeError& e) {
            out.message(input.name + ":" + std::to_string(entry.line) + ": " + e.what(), kEntryFailed);
        }
    }

private:
    Decoder decoder_;
};

}  // namespace

std::unique_ptr<Handler> text_handler() { return std::make_unique<TextHandler>(); }


}  // namespace rizorod::tool
