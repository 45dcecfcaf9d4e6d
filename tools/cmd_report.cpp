// SPDX-License-Identifier: Apache-2.0
// rizorod report: one self-contained HTML file about captures (tools/report.h, docs/PAIRS.md).
#include <cstdio>

#include "command.h"
#include "help.h"
#include "options.h"
#include "report.h"
#include "output_file.h"
#include "worker.h"

namespace rizorod::tool {
namespace {

class ReportCommand final : public Command {
public:
    explicit ReportCommand(CLI::App& parent) {
        app = parent.add_subcommand(
            "report",
            "Write an HTML report on capture files\n\n"
            "Writes one self-contained HTML file about capture files: a summary, entries per second, "
            "message sequence charts with the pairs linked, and latency histograms (docs/PAIRS.md). "
            "OUT is never one of the inputs, and an existing file that is not such a page is not "
            "replaced without --force; it is written to a temporary file beside it and put in place "
            "when complete.");
        set_examples(app,
                     {"rizorod report examples/session.cap -o session.html",
                      "rizorod report --interface dm today.cap.gz -o dm.html"},
                     ExitStatuses::entries);
        app->add_option("FILE", files_, "Capture files, plain or compressed (- or none: standard input)")->type_name("FILE");
        app->add_option("-o,--output", output_, "The HTML file to write (- for standard output); never one of the inputs")
            ->type_name("OUT")
            ->required();
        app->add_flag("--force", force_, "Replace OUT even when it is not a page this command wrote");
        add_date(app, date_);
        select_.add(app, "Only entries of this interface (repeatable)", "Only entries of this type code (repeatable)");
    }

    int run() override {
        // Refused at once when it is an input or another kind of file; replaced only at the end.
        OutputFile file;
        const OutputKind page_kind{"a page written by rizorod report", [](std::string_view head) {
                                       return head.find("<!-- The page of `rizorod report`") != std::string_view::npos;
                                   }};
        if (const int status = file.open(output_, files_, page_kind, force_); status != kOk) return status;
        // One thread: an answer pairs with what came before it.
        const Selection selection = select_.selection(false);
        const std::vector<Input> inputs = file_inputs(files_);
        std::vector<std::unique_ptr<Handler>> handlers;
        Output out;
        const int status = run_inputs(inputs, pipeline_options(1, date_, true),
                                      [&] { return std::make_unique<ReportHandler>(selection); }, out, &handlers);
        // An input that could not be read: no report, and an existing file is left as it was.
        if (status == kUsage || status == kWriteFailed || handlers.empty()) {
            file.abandon();
            return status;
        }
        std::string title = "rizorod report:";
        for (const InputInfo& input : infos_of(inputs)) title += " " + input.name;
        const std::string page = static_cast<ReportHandler&>(*handlers.front()).html(title, RIZOROD_VERSION);
        if (!file.write(page)) return kWriteFailed;
        const int put = file.commit();
        return put != kOk ? put : status;
    }

private:
    std::vector<std::string> files_;
    std::string output_, date_;
    bool force_ = false;
    SelectOptions select_;
};

}  // namespace

std::unique_ptr<Command> add_report(CLI::App& app) { return std::make_unique<ReportCommand>(app); }

}  // namespace rizorod::tool
