// SPDX-License-Identifier: Apache-2.0
// rizorod pairs: requests with their confirms, indications with their responses, HCI commands
// with their completions, and the latencies (tools/pairs.h, docs/PAIRS.md).
#include "command.h"
#include "help.h"
#include "options.h"
#include "pairs.h"

namespace rizorod::tool {
namespace {

class PairsCommand final : public Command {
public:
    explicit PairsCommand(CLI::App& parent) {
        app = parent.add_subcommand(
            "pairs",
            "Pair requests with their answers, with the latencies\n\n"
            "Matches each request with its confirm, each indication with its response and each HCI "
            "command with its completion (docs/PAIRS.md): the pairs with their latencies, the requests "
            "still unanswered, the answers that answer nothing and the latencies per kind of pair.");
        set_examples(app,
                     {"rizorod pairs examples/session.cap",
                      "rizorod pairs --format json session.cap | jq 'select(.type == \"latency\")'",
                      "rizorod pairs --rules"},
                     ExitStatuses::entries);
        app->add_option("FILE", files_, "Capture files, plain or compressed (- or none: standard input)")->type_name("FILE");
        app->add_option("-f,--format", format_, "text (the default) or json: one object per line (docs/JSON.md)")
            ->type_name("FORMAT")
            ->check(CLI::IsMember({"text", "json"}));
        app->add_flag("--rules", rules_, "List the kinds of pair the rows give, and read no capture");
        add_date(app, date_);
        select_.add(app, "Only entries of this interface (repeatable)", "Only entries of this type code (repeatable)");
    }

    void check() override {
        if (rules_ && !files_.empty()) throw CLI::ValidationError("--rules", "reads no capture: give no FILE");
    }

    int run() override {
        const Format format = format_ == "json" ? Format::json : Format::text;
        Output out;
        if (rules_) {
            std::string text;
            write_rules(text, format);
            out.text(text);
            return finish(out, kOk);
        }
        // One thread: an answer pairs with what came before it.
        const Selection selection = select_.selection(false);
        std::vector<std::unique_ptr<Handler>> handlers;
        const int status = run_inputs(file_inputs(files_), pipeline_options(1, date_, true),
                                      [&] { return std::make_unique<PairsHandler>(format, selection); }, out, &handlers);
        if (status == kWriteFailed || out.failed() || handlers.empty()) return finish(out, status);
        static_cast<PairsHandler&>(*handlers.front()).finish(out);
        return finish(out, status);
    }

private:
    std::vector<std::string> files_;
    std::string format_ = "text", date_;
    bool rules_ = false;
    SelectOptions select_;
};

}  // namespace

std::unique_ptr<Command> add_pairs(CLI::App& app) { return std::make_unique<PairsCommand>(app); }

}  // namespace rizorod::tool
