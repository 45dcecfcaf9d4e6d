// SPDX-License-Identifier: Apache-2.0
// The subcommands of rizorod, one file each (cmd_*.cpp): each adds itself and its options to the
// command line, then runs when the command line named it.
#ifndef RIZORODOZIDO_TOOLS_COMMAND_H
#define RIZORODOZIDO_TOOLS_COMMAND_H

#include <CLI/CLI.hpp>

#include <memory>

namespace rizorod::tool {

class Command {
public:
    virtual ~Command() = default;
    // Checks that CLI11 cannot say as an option's own check, after parsing; throws
    // CLI::ValidationError.
    virtual void check() {}
    // Runs the subcommand; returns the exit status.
    virtual int run() = 0;
    CLI::App* app = nullptr;
};

std::unique_ptr<Command> add_decode(CLI::App& app);
std::unique_ptr<Command> add_stats(CLI::App& app);
std::unique_ptr<Command> add_pairs(CLI::App& app);
std::unique_ptr<Command> add_report(CLI::App& app);
std::unique_ptr<Command> add_export(CLI::App& app);
std::unique_ptr<Command> add_dissector(CLI::App& app);
std::unique_ptr<Command> add_list(CLI::App& app);
std::unique_ptr<Command> add_writer_source(CLI::App& app);
std::unique_ptr<Command> add_help(CLI::App& app);

}  // namespace rizorod::tool

#endif
