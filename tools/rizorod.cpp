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
#include "options.h"

namespace {

using namespace rizorod::tool;

constexpr char kAbout[] =
    "Decodes the primitives of a Bluetooth host stack that a capture file holds: each\n"
    "primitive's record, with the memory that its pointer fields address, as logged by the\n"
    "running stack. The text is the library's own decoding, with the header line showing the\n"
    "time at which the stack logged the primitive.";

constexpr char kFooter[] =
    "Examples:\n"
    "  rizorod decode examples/session.cap\n"
    "  rizorod decode --jobs 4 today.cap yesterday.cap > decoded.txt\n"
    "  rizorod decode --format json --name 'DM_ACL_*' --where handle=0x29 session.cap | jq .fields\n"
    "  rizorod decode --interface dm --hex '04 20 1a 00 00 00 29 00 33 8b 9e 00 5b 00 02 00 01'\n"
    "  tail -f board.log | rizorod decode\n"
    "  rizorod stats big.cap\n"
    "  rizorod pairs --format json session.cap | jq 'select(.type == \"latency\")'\n"
    "  rizorod report session.cap -o session.html\n"
    "  rizorod export session.pcapng examples/session.cap && rizorod dissector > rizorod.lua\n"
    "  rizorod list --fields l2cap\n"
    "\n"
    "Exit status: 0 when every entry was decoded, 1 when any entry could not be read or\n"
    "decoded (each gets one message on standard error, file:line: what was expected, what\n"
    "was found), 2 for a usage error or an input that could not be opened, read or held in\n"
    "memory, 3 when the output could not be written. A closed pipe stops the tool quietly.\n"
    "Live inputs (pipes, terminals) are decoded entry by entry as they come.\n"
    "The capture format is described in docs/CAPTURE-FORMAT.md, JSON output in docs/JSON.md,\n"
    "pairs and the report in docs/PAIRS.md.";

// The help and the version go to standard output, which may not take them.
int usage_status(CLI::App& app, const CLI::ParseError& e) {
    const int rc = app.exit(e);
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        if (errno != EPIPE) std::fprintf(stderr, "rizorod: cannot write the output: %s\n", std::strerror(errno));
        return kWriteFailed;
    }
    return rc == 0 ? 0 : kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (!reserve_standard_descriptors()) return kUsage;  // nothing to tell it with
    CLI::App app{kAbout, "rizorod"};
    app.set_version_flag("--version",
                         std::string("rizorod ") + RIZOROD_VERSION +
                             "\nCopyright The RizOrodOzido authors.\n"
                             "License Apache-2.0: Apache License, Version 2.0 <https://www.apache.org/licenses/LICENSE-2.0>.\n"
                             "This is free software: you are free to change and redistribute it.\n"
                             "There is NO WARRANTY, to the extent permitted by law.",
                         "Print the version and the licence, and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.require_subcommand(1);
    app.footer(kFooter);
    app.get_formatter()->column_width(34);

    std::vector<std::unique_ptr<Command>> commands;
    for (auto add : {add_decode, add_stats, add_pairs, add_report, add_export, add_dissector, add_list,
                     add_writer_source})
        commands.push_back(add(app));
    try {
        app.parse(argc, argv);
        for (const auto& command : commands)
            if (*command->app) command->check();
    } catch (const CLI::ParseError& e) {
        return usage_status(app, e);
    }
    for (const auto& command : commands)
        if (*command->app) return command->run();
    return kUsage;
}
