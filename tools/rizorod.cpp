// SPDX-License-Identifier: Apache-2.0
// rizorod: decodes primitives captured from a Bluetooth host stack, as text or JSON, selects and
// counts them, pairs requests with their answers, reports on them in HTML, exports them for
// Wireshark, and describes the primitives that the library knows.
// Each subcommand lives in a file of its own (cmd_*.cpp).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "command.h"
#include "help.h"
#include "options.h"

namespace {

using namespace rizorod::tool;

constexpr char kAbout[] =
    "Decode the primitives of a Bluetooth host stack that capture files hold\n\n"
    "Each capture entry is a primitive's record, with the memory that its pointer fields address, "
    "as logged by the running stack. The text is the library's own decoding, with the header line "
    "showing the time at which the stack logged the primitive; JSON Lines, counts, request and "
    "answer pairs with their latencies, an HTML report, pcapng for Wireshark and the layouts of the "
    "primitives are the other commands' work. Live inputs (pipes, terminals) are decoded entry by "
    "entry as they come; captures compressed with gzip, xz or zstd are read as they are. The "
    "capture format is described in docs/CAPTURE-FORMAT.md, JSON output in docs/JSON.md, pairs and "
    "the report in docs/PAIRS.md.";

// The help and the version go to standard output, which may not take them.
int usage_status(CLI::App& app, const CLI::ParseError& e) {
    app.exit(e);
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        if (errno != EPIPE) std::fprintf(stderr, "rizorod: cannot write the output: %s\n", std::strerror(errno));
        return kWriteFailed;
    }
    return kOk;
}

// The command that the command line chose; empty for none.
std::string chosen(const CLI::App& app) {
    const auto commands = app.get_subcommands();
    return commands.empty() ? std::string() : commands.front()->get_name();
}

}  // namespace

int main(int argc, char** argv) {
    if (!reserve_standard_descriptors()) return kUsage;  // nothing to tell it with
    CLI::App app{kAbout, "rizorod"};
    configure_help(app);
    app.set_version_flag("--version",
                         std::string("rizorod ") + RIZOROD_VERSION +
                             "\nCopyright The RizOrodOzido authors.\n"
                             "License Apache-2.0: Apache License, Version 2.0 <https://www.apache.org/licenses/LICENSE-2.0>.\n"
                             "This is free software: you are free to change and redistribute it.\n"
                             "There is NO WARRANTY, to the extent permitted by law.",
                         "Print the version and the licence, and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.require_subcommand(0, 1);
    set_examples(&app,
                 {"rizorod decode examples/session.cap",
                  "rizorod decode --format json --name 'DM_ACL_*' session.cap | jq .fields",
                  "tail -f board.log | rizorod decode", "rizorod stats big.cap",
                  "rizorod pairs --format json session.cap | jq 'select(.type == \"latency\")'",
                  "rizorod report session.cap -o session.html",
                  "rizorod export -o session.pcapng examples/session.cap", "rizorod list --fields l2cap",
                  "rizorod help decode"},
                 ExitStatuses::entries);

    std::vector<std::unique_ptr<Command>> commands;
    for (auto add : {add_decode, add_stats, add_pairs, add_report, add_export, add_dissector, add_list,
                     add_writer_source, add_help})
        commands.push_back(add(app));
    if (argc > 1) {
        const std::string unknown = unknown_command(app, argv[1]);
        if (!unknown.empty()) return usage_error(unknown);
    }
    try {
        app.parse(argc, argv);
        const std::string left = leftover_message(app);
        if (!left.empty()) return usage_error(left, chosen(app));
        if (chosen(app).empty()) return usage_error("no command given");
        for (const auto& command : commands)
            if (*command->app) command->check();
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return usage_status(app, e);  // --help, --version
        const std::string left = leftover_message(app);
        return usage_error(left.empty() ? parse_error_message(e) : left, chosen(app));
    }
    for (const auto& command : commands)
        if (*command->app) return command->run();
    return kUsage;
}
