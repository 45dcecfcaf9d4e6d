// SPDX-License-Identifier: Apache-2.0
#include "handlers.h"

#include <cstdio>
#include <stdexcept>

#include <RizOrodOzido/fields.h>
#include <RizOrodOzido/json.h>
#include "pcapng.h"

namespace rizorod::tool {
namespace {

std::string where(const InputInfo& input, std::size_t line) {
    return input.name + ":" + std::to_string(line) + ": ";
}

// Whether the entry is to be shown: the selection's answer, after the checks of a decoding when
// it is not (a refusal then throws as decoding would). A --where that names none of the
// decoding's fields (interface, code, name, time) leaves an entry out without walking it.
bool selected(const Selection& selection, const Entry& entry, Decoder& decoder) {
    if (selection.empty()) return true;
    if (!selection.header_matches(entry) || !selection.fields_match(entry, decoder)) {
        CheckingSink none;
        decoder.walk(entry, none);
        return false;
    }
    return true;
}

class DecodeHandler final : public Handler {
public:
    DecodeHandler(Format format, const Selection& selection) : format_(format), selection_(selection) {}

    void entry(const Entry& entry, const InputInfo& input, ChunkOut& out) override {
        const std::size_t before = out.text.size();
        try {
            if (!selected(selection_, entry, decoder_)) return;
            if (format_ == Format::text) {
                decoder_.decode(entry, out.text);
                return;
            }
            entry_json(out.text, decoder_, entry, input.name);
            out.text += '\n';
        } catch (const DecodeError& e) {
            out.text.resize(before);
            if (format_ == Format::json) {
                entry_error_json(out.text, entry, e.what(), input.name);
                out.text += '\n';
            }
            out.message(where(input, entry.line) + e.what(), kEntryFailed);
        }
    }

    void problem(const Problem& problem, const InputInfo& input, ChunkOut& out) override {
        if (format_ == Format::json) {
            problem_json(out.text, problem, input.name);
            out.text += '\n';
        }
        Handler::problem(problem, input, out);
    }

private:
    Format format_;
    const Selection& selection_;
    Decoder decoder_;
};

class ExportHandler final : public Handler {
public:
    explicit ExportHandler(const Selection& selection) : selection_(selection) {}

    void entry(const Entry& entry, const InputInfo& input, ChunkOut& out) override {
        try {
            if (!selected(selection_, entry, decoder_)) return;
            // The checks of a decoding: nothing is exported that would not decode. (A --where
            // has walked it already.)
            if (!selection_.where) {
                CheckingSink none;
                decoder_.walk(entry, none);
            }
            pcapng::append_packet(out.text, entry);
        } catch (const std::runtime_error& e) {  // a refusal, or a packet pcapng cannot hold
            out.message(where(input, entry.line) + e.what(), kEntryFailed);
        }
    }

private:
    const Selection& selection_;
    Decoder decoder_;
};

}  // namespace

std::unique_ptr<Handler> decode_handler(Format format, const Selection& selection) {
    return std::make_unique<DecodeHandler>(format, selection);
}

std::unique_ptr<Handler> export_handler(const Selection& selection) {
    return std::make_unique<ExportHandler>(selection);
}

void StatsHandler::entry(const Entry& entry, const InputInfo& input, ChunkOut& out) {
    const bool counted = selection_.header_matches(entry);
    bool ok = true;
    try {
        if (!selected(selection_, entry, decoder_)) return;
        if (!selection_.where) {
            CheckingSink none;
            decoder_.walk(entry, none);
        }
    } catch (const DecodeError& e) {
        ok = false;
        out.message(where(input, entry.line) + e.what(), kEntryFailed);
        if (!counted) return;
    }
    stats.add(input.index, entry, ok);
}

void StatsHandler::problem(const Problem& problem, const InputInfo& input, ChunkOut& out) {
    stats.unreadable();
    Handler::problem(problem, input, out);
}

}  // namespace rizorod::tool
