#include "handlers.h"

#include <cstdio>
#include <stdexcept>

#include <RizOrodOzido/fields.h>
#include "json.h"
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

// The members that say where an entry is: "file":...,"line":N
void json_place(std::string& out, const InputInfo& input, std::size_t line) {
    json_object(out);
    out += ",\"file\":";
    json_string(out, input.name);
    out += ",\"line\":";
    json_number(out, line);
}

void json_entry_head(std::string& out, const InputInfo& input, const Entry& entry) {
    json_place(out, input, entry.line);
    if (entry.stamp) {
        if (entry.stamp->year) {
            out += ",\"date\":";
            json_string(out, entry.stamp->date_text());
        }
        out += ",\"time\":";
        json_string(out, entry.stamp->time_of_day());
        const auto ms = entry.stamp->unix_ms();
        if (ms && *ms >= 0) {  // (a date before 1970 has none here)
            out += ",\"unix_ms\":";
            json_number(out, static_cast<std::uint64_t>(*ms));
        }
    }
    out += ",\"interface\":";
    json_string(out, interface_name(entry.iface));
    out += ",\"code\":";
    json_number(out, entry.code);
    out += ",\"name\":";
    const rizorod_layout_record* record = layout(entry.iface, entry.code);
    if (record != nullptr) json_string(out, record->name);
    else out += "null";
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
            json_entry_head(out.text, input, entry);
            if (layout(entry.iface, entry.code) == nullptr) {
                out.text += ",\"fields\":null}\n";
                return;
            }
            out.text += ",\"fields\":{";
            JsonFields fields(out.text);
            decoder_.walk(entry, fields);
            out.text += "}}\n";
        } catch (const DecodeError& e) {
            out.text.resize(before);
            if (format_ == Format::json) {
                json_entry_head(out.text, input, entry);
                out.text += ",\"error\":";
                json_string(out.text, e.what());
                out.text += "}\n";
            }
            out.message(where(input, entry.line) + e.what(), kEntryFailed);
        }
    }

    void problem(const Problem& problem, const InputInfo& input, ChunkOut& out) override {
        if (format_ == Format::json) {
            json_place(out.text, input, problem.line);
            out.text += ",\"error\":";
            json_string(out.text, problem.message);
            out.text += "}\n";
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
