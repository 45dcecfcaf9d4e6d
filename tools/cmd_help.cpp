// SPDX-License-Identifier: Apache-2.0
// rizorod help: the tool's help, or one command's.
#include "command.h"
#include "help.h"
#include "options.h"

namespace rizorod::tool {
namespace {

class HelpCommand final : public Command {
public:
    explicit HelpCommand(CLI::App& parent) : tool_(parent) {
        app = parent.add_subcommand("help",
                                    "Show the help of rizorod, or of one command\n\n"
                                    "The same text as 'rizorod --help' or 'rizorod COMMAND --help'.");
        app->add_option("COMMAND", name_, "The command whose options and examples to show");
        set_examples(app, {"rizorod help", "rizorod help decode"}, ExitStatuses::plain);
    }

    void check() override {
        if (const std::string unknown = unknown_command(tool_, name_); !unknown.empty())
            throw CLI::ValidationError(unknown);
    }

    int run() override {
        const CLI::App* which = name_.empty() ? &tool_ : tool_.get_subcommand(name_);
        Output out;
        out.text(which->get_formatter()->make_help(which, which->get_name(), CLI::AppFormatMode::Normal));
        return finish(out, kOk);
    }

private:
    CLI::App& tool_;
    std::string name_;
};

}  // namespace

std::unique_ptr<Command> add_help(CLI::App& app) { return std::make_unique<HelpCommand>(app); }

}  // namespace rizorod::tool
