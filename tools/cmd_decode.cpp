// SPDX-License-Identifier: Apache-2.0
// rizorod decode: captures, or one record from the command line, as text or JSON Lines.
#include <algorithm>
#include <cstdio>

#include "command.h"
#include "help.h"
#include "handlers.h"
#include "options.h"

namespace rizorod::tool {
namespace {

class Decode final : public Command {
public:
    explicit Decode(CLI::App& parent) {
        app = parent.add_subcommand(
            "decode",
            "Decode capture files, or one record, as text or JSON Lines\n\n"
            "Decodes the entries of capture files in order (standard input when no FILE is given, or "
            "for -), or one record given with --interface and --hex; as text or as JSON Lines, all "
            "entries or those the selection options choose.");
        set_examples(app,
                     {"rizorod decode examples/session.cap",
                      "rizorod decode --jobs 4 today.cap yesterday.cap > decoded.txt",
                      "rizorod decode -f json -w 'handle == 0x29' session.cap | jq .fields",
                      "rizorod decode -i dm -x '04 20 1a 00 00 00 29 00 33 8b 9e 00 5b 00 02 00 01'",
                      "tail -f board.log | rizorod decode", "rizorod decode old.cap.xz | less"},
                     ExitStatuses::entries);
        files_opt_ = app->add_option("FILE", files_, "Capture files to decode, plain or compressed with gzip, xz or zstd (- for standard input)")->type_name("FILE");
        add_jobs(app, jobs_, "Decode on N threads; the output stays in entry order (default 1)");
        add_date(app, date_);
        app->add_option("-f,--format", format_, "text (the default) or json: one object per entry (docs/JSON.md)")
            ->type_name("FORMAT")
            ->check(CLI::IsMember({"text", "json"}));
        select_.add(app,
                    "Only entries of this interface (dm, l2cap, rfcomm, sdp; repeatable); with "
                    "--hex, the record's interface",
                    "Only entries of this type code, 0xNNNN or decimal (repeatable); with --hex, the record's "
                    "code (default: its first 16-bit field)");
        hex_opt_ = app->add_option("-x,--hex", hex_, "Decode this one record, given in hexadecimal (blanks allowed)")
                       ->type_name("BYTES")
                       ->check(kOneLine);
        CLI::Option* memory_opt =
            app->add_option("-m,--memory", memory_,
                            "Memory for the --hex record's pointers, as in a memory line: '@ADDRESS BYTES' (repeatable)")
                ->type_name("'@ADDR BYTES'")
                ->allow_extra_args(false)
                ->check(kOneLine);
        CLI::Option* time_opt =
            app->add_option("-t,--time", stamp_, "Timestamp of the --hex record: HH:MM:SS.mmm or YYYY-MM-DDTHH:MM:SS.mmm")
                ->type_name("TIME")
                ->check(kTimestamp);
        app->add_option("--label", label_,
                        "Call standard input NAME in messages and JSON (a piece of a file decoded apart)")
            ->type_name("NAME")
            ->check(kOneLine);
        app->add_option("--first-line", first_line_, "Number standard input's lines from N (default 1)")
            ->type_name("N")
            ->check(CLI::PositiveNumber);
        piece_opt_ = app->add_option("--piece", piece_,
                                     "Decode only piece K of N of the one FILE, cut at entry lines, with its "
                                     "lines, dates and name as in the whole file (docs/SCALING.md)")
                         ->type_name("K/N")
                         ->check(kPiece);
        hex_opt_->excludes(files_opt_);
        memory_opt->needs(hex_opt_);
        time_opt->needs(hex_opt_);
    }

    void check() override {
        if (*piece_opt_ && (files_.size() != 1 || files_[0] == "-"))
            throw CLI::ValidationError("--piece", "takes exactly one FILE, not standard input");
        const bool stdin_read = !*hex_opt_ && (files_.empty() || std::count(files_.begin(), files_.end(), "-") != 0);
        if ((!label_.empty() || first_line_ != 1) && !stdin_read)
            throw CLI::ValidationError("--label and --first-line", "name standard input, which is not read here");
        if (*hex_opt_) {
            if (select_.interfaces.size() != 1)
                throw CLI::ValidationError("--hex", "needs exactly one --interface, the record's");
            if (select_.codes.size() > 1) throw CLI::ValidationError("--hex", "takes at most one --code");
            if ((!select_.since.empty() || !select_.until.empty()) && stamp_.empty())
                throw CLI::ValidationError("--since and --until", "need --time with --hex: the record has no time");
        } else if (!memory_.empty() || !stamp_.empty()) {
            throw CLI::ValidationError("--memory and --time", "need --hex");
        }
    }

    int run() override {
        const Selection selection = select_.selection(hex_opt_->count() > 0);
        const Format format = format_ == "json" ? Format::json : Format::text;
        Output out;
        return run_inputs(*hex_opt_ ? std::vector<Input>{command_line_record()} : inputs(),
                          pipeline_options(jobs_, date_, format == Format::json || selection.uses_dates()),
                          [&] { return decode_handler(format, selection); }, out);
    }

private:
    std::vector<Input> inputs() const {
        std::vector<Input> all = file_inputs(files_);
        for (Input& input : all) {
            if (input.name == "-") {
                input.label = label_;
                input.first_line = first_line_;
            }
            if (*piece_opt_) parse_piece(piece_, input.piece, input.pieces);
        }
        return all;
    }

    // The record given on the command line, read as a capture of one entry: line 1 is the entry,
    // line k + 1 the k-th --memory.
    Input command_line_record() const {
        Input input;
        input.name = "<command line>";
        input.literal = true;
        if (!stamp_.empty()) input.text += stamp_ + " ";
        input.text += select_.interfaces.front() + " ";
        if (!select_.codes.empty()) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%04x ", static_cast<unsigned>(*parse_code_option(select_.codes.front())));
            input.text += code;
        }
        input.text += hex_ + "\n";
        for (const std::string& m : memory_) input.text += (m.empty() || m[0] != '@' ? "@" : "") + m + "\n";
        return input;
    }

    std::vector<std::string> files_, memory_;
    unsigned jobs_ = 1;
    std::string format_ = "text", hex_, stamp_, date_;
    SelectOptions select_;
    std::string label_, piece_;
    std::size_t first_line_ = 1;
    CLI::Option* piece_opt_ = nullptr;
    CLI::Option* files_opt_ = nullptr;
    CLI::Option* hex_opt_ = nullptr;
};

}  // namespace

std::unique_ptr<Command> add_decode(CLI::App& app) { return std::make_unique<Decode>(app); }

}  // namespace rizorod::tool
