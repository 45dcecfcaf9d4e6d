// rizorod export: captures as one pcapng file for Wireshark.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "command.h"
#include "help.h"
#include "handlers.h"
#include "options.h"
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
            "left out.");
        set_examples(app,
                     {"rizorod export session.pcapng examples/session.cap",
                      "rizorod export - big.cap | tshark -r - -Y 'rizorod.handle == 0x29'",
                      "rizorod export --name 'DM_SM_*' security.pcapng today.cap"},
                     ExitStatuses::entries);
        app->add_option("-f,--format", format_, "Output format: pcapng (the default)")
            ->type_name("FORMAT")
            ->check(CLI::IsMember({"pcapng"}));
        app->add_option("OUT", path_, "The file to write (- for standard output)")->required()->type_name("OUT");
        app->add_option("FILE", files_, "Capture files, plain or compressed (- or none: standard input)")->type_name("FILE");
        app->add_option("-l,--linktype", linktype_, "Link type of the packets, 147 (LINKTYPE_USER0, the default) to 162")
            ->type_name("N")
            ->check(number_range(pcapng::kFirstUserLinkType, pcapng::kLastUserLinkType));
        add_jobs(app, jobs_, "Read on N threads (default 1)");
        select_.add(app, "Only entries of this interface (repeatable)", "Only entries of this type code (repeatable)");
    }

    int run() override {
        const int fd = path_ == "-" ? 1 : ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0) {
            std::fprintf(stderr, "rizorod: %s: cannot open: %s\n", escaped_name(path_).c_str(), std::strerror(errno));
            return kUsage;
        }
        const Selection selection = select_.selection(false);
        Output out(fd);
        out.text(pcapng::header(linktype_, std::string("rizorod ") + RIZOROD_VERSION));
        const int status =
            run_inputs(file_inputs(files_), jobs_, [&] { return export_handler(selection); }, out);
        if (fd != 1 && ::close(fd) != 0 && status != kWriteFailed) {
            std::fprintf(stderr, "rizorod: cannot write the output: %s\n", std::strerror(errno));
            return kWriteFailed;
        }
        return status;
    }

private:
    std::string format_ = "pcapng", path_;
    std::vector<std::string> files_;
    unsigned jobs_ = 1, linktype_ = pcapng::kFirstUserLinkType;
    SelectOptions select_;
};

}  // namespace

std::unique_ptr<Command> add_export(CLI::App& app) { return std::make_unique<Export>(app); }

}  // namespace rizorod::tool
