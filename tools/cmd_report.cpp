// SPDX-License-Identifier: Apache-2.0
// rizorod report: one self-contained HTML file about captures (tools/report.h, docs/PAIRS.md).
#include <cstdio>

#include "command.h"
#include "options.h"
#include "report.h"
#include "whole_file.h"
#include "worker.h"

namespace rizorod::tool {
namespace {

class ReportCommand final : public Command {
public:
    explicit ReportCommand(CLI::App& parent) {
        app = parent.add_subcommand(
            "report",
            "Write one self-contained HTML file about capture files: a summary, entries per second,\n"
            "message sequence charts with the pairs linked, and latency histograms (docs/PAIRS.md)");
        app->add_option("FILE", files_, "Capture files (- or none: standard input)")->type_name("FILE");
        app->add_option("-o,--output", output_, "The HTML file to write (- for standard output); never one of the inputs")
            ->type_name("OUT")
            ->required();
        add_date(app, date_);
        select_.add(app, "Only entries of this interface (repeatable)", "Only entries of this type code (repeatable)");
    }

    int run() override {
        if (is_one_of(output_, files_)) {
            std::fprintf(stderr, "rizorod: %s: is one of the inputs; it is left as it is\n", escaped_name(output_).c_str());
            return kUsage;
        }
        // One thread: an answer pairs with what came before it.
        const Selection selection = select_.selection(false);
        const std::vector<Input> inputs = file_inputs(files_);
        std::vector<std::unique_ptr<Handler>> handlers;
        Output out;
        const int status = run_inputs(inputs, pipeline_options(1, date_, true),
                                      [&] { return std::make_unique<ReportHandler>(selection); }, out, &handlers);
        // An input that could not be read: no report, and an existing file is left as it was.
        if (status == kUsage || status == kWriteFailed || handlers.empty()) return status;
        std::string title = "rizorod report:";
        for (const InputInfo& input : infos_of(inputs)) title += " " + input.name;
        const std::string page = static_cast<ReportHandler&>(*handlers.front()).html(title, RIZOROD_VERSION);
        const std::string error = write_whole_file(output_, page);
        if (!error.empty()) {
            std::fprintf(stderr, "rizorod: %s: %s\n", escaped_name(output_).c_str(), error.c_str());
            return kWriteFailed;
        }
        return status;
    }

private:
    std::vector<std::string> files_;
    std::string output_, date_;
    SelectOptions select_;
};

}  // namespace

std::unique_ptr<Command> add_report(CLI::App& app) { return std::make_unique<ReportCommand>(app); }

}  // namespace rizorod::tool
