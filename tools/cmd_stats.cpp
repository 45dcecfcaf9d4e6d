// SPDX-License-Identifier: Apache-2.0
// rizorod stats: entries per interface and primitive, as a table or JSON Lines.
#include "command.h"
#include "help.h"
#include "handlers.h"
#include "options.h"

namespace rizorod::tool {
namespace {

class StatsCommand final : public Command {
public:
    explicit StatsCommand(CLI::App& parent) {
        app = parent.add_subcommand(
            "stats",
            "Count the entries of capture files per interface and primitive\n\n"
            "Counts the entries of capture files (standard input when no FILE is given, or for -) per "
            "interface and primitive: how many, how many failed, the first and the last stamp; as a "
            "table or as JSON Lines, all entries or those the selection options choose.");
        set_examples(app,
                     {"rizorod stats big.cap", "rizorod stats --interface l2cap --since 09:41 today.cap",
                      "rizorod stats --format json big.cap | jq 'select(.failed > 0)'"},
                     ExitStatuses::entries);
        app->add_option("FILE", files_, "Capture files, plain or compressed (- or none: standard input)")->type_name("FILE");
        add_jobs(app, jobs_, "Read on N threads (default 1)");
        add_date(app, date_);
        app->add_option("-f,--format", format_, "text (the default) or json")
            ->type_name("FORMAT")
            ->check(CLI::IsMember({"text", "json"}));
        select_.add(app, "Only entries of this interface (repeatable)", "Only entries of this type code (repeatable)");
    }

    int run() override {
        const Selection selection = select_.selection(false);
        std::vector<std::unique_ptr<Handler>> handlers;
        Output out;
        const int status = run_inputs(file_inputs(files_), pipeline_options(jobs_, date_, true),
                                      [&] { return std::make_unique<StatsHandler>(selection); }, out, &handlers);
        if (status == kWriteFailed || out.failed()) return finish(out, status);
        Stats all;
        for (const auto& h : handlers) all.merge(static_cast<const StatsHandler&>(*h).stats);
        std::string table;
        if (format_ == "json") all.write_json(table);
        else all.write_text(table);
        out.text(table);
        return finish(out, status);
    }

private:
    std::vector<std::string> files_;
    unsigned jobs_ = 1;
    std::string format_ = "text", date_;
    SelectOptions select_;
};

}  // namespace

std::unique_ptr<Command> add_stats(CLI::App& app) { return std::make_unique<StatsCommand>(app); }

}  // namespace rizorod::tool
