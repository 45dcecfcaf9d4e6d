// SPDX-License-Identifier: Apache-2.0
// rizorod export: captures as one pcapng file for Wireshark.
#include "command.h"
#include "help.h"
#include "handlers.h"
#include "options.h"
#include "output_file.h"
#include "pcapng.h"

namespace rizorod::tool {
namespace {

class Export final : public Command {
public:
    explicit Export(CLI::App& parent) {
        app = parent.add_subcommand(
            "export",
            "Write capture files as one pcapng file for Wireshark\n\n"
            "Writes the entries of capture files (standard input when no FILE is given, or for -) as "
            "one pcapng file, one packet per entry, for Wireshark with the plugin that 'rizorod "
            "dissector' writes (docs/WIRESHARK.md). An entry that cannot be decoded is reported and "
            "left out.\n\n"
            "With -o every FILE is a capture to read; without it the first FILE is the output (the "
            "older form, export OUT [FILE...]). The output is never one of the inputs, and an existing "
            "file that is not a pcapng is not replaced without --force. It is written to a temporary "
            "file beside it and put in place when complete: a run that fails leaves any existing file "
            "as it was.");
        set_examples(app,
                     {"rizorod export -o session.pcapng examples/session.cap",
                      "rizorod export -o - big.cap | tshark -r - -Y 'rizorod.handle == 0x29'",
                      "rizorod export --name 'DM_SM_*' -o security.pcapng today.cap.gz"},
                     ExitStatuses::entries);
        output_opt_ = app->add_option("-o,--output", path_, "The pcapng file to write (- for standard output)")
                          ->type_name("OUT");
        app->add_option("FILE", files_, "Capture files, plain or compressed (- or none: standard input)")
            ->type_name("FILE");
        app->add_flag("--force", force_, "Replace OUT even when it is not a pcapng file");
        app->add_option("-f,--format", format_, "Output format: pcapng (the default)")
            ->type_name("FORMAT")
            ->check(CLI::IsMember({"pcapng"}));
        app->add_option("-l,--linktype", linktype_, "Link type of the packets, 147 (LINKTYPE_USER0, the default) to 162")
            ->type_name("N")
            ->check(number_range(pcapng::kFirstUserLinkType, pcapng::kLastUserLinkType));
        add_jobs(app, jobs_, "Read on N threads (default 1)");
        add_date(app, date_);
        select_.add(app, "Only entries of this interface (repeatable)", "Only entries of this type code (repeatable)");
    }

    void check() override {
        if (output_opt_->count() == 0 && files_.empty())
            throw CLI::ValidationError("export needs the file to write: -o OUT.pcapng (- for standard output)");
    }

    int run() override {
        // Without -o, the older form: the first file is the output.
        const bool older_form = output_opt_->count() == 0;
        if (older_form) {
            path_ = files_.front();
            files_.erase(files_.begin());
        }
        OutputFile file;
        const OutputKind pcapng_file{"a pcapng file", pcapng::begins_file};
        if (const int status = file.open(path_, files_, pcapng_file, force_,
                                         older_form ? " (to export it, name the output with -o)" : "");
            status != kOk)
            return status;
        const Selection selection = select_.selection(false);
        Output out(file.fd());
        out.text(pcapng::header(linktype_, std::string("rizorod ") + RIZOROD_VERSION));
        const int status =
            run_inputs(file_inputs(files_), pipeline_options(jobs_, date_, true),
                       [&] { return export_handler(selection); }, out);
        if (status >= kUsage) {
            file.abandon();
            return status;
        }
        const int put = file.commit();
        return put != kOk ? put : status;
    }

private:
    std::string format_ = "pcapng", path_, date_;
    std::vector<std::string> files_;
    CLI::Option* output_opt_ = nullptr;
    bool force_ = false;
    unsigned jobs_ = 1, linktype_ = pcapng::kFirstUserLinkType;
    SelectOptions select_;
};

}  // namespace

std::unique_ptr<Command> add_export(CLI::App& app) { return std::make_unique<Export>(app); }

}  // namespace rizorod::tool
