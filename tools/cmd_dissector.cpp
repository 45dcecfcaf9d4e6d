// SPDX-License-Identifier: Apache-2.0
// rizorod dissector: the Wireshark Lua plugin, written from the rows.
#include "command.h"
#include "help.h"
#include "dissector.h"
#include "options.h"
#include "pcapng.h"

namespace rizorod::tool {
namespace {

class DissectorCommand final : public Command {
public:
    explicit DissectorCommand(CLI::App& parent) {
        app = parent.add_subcommand(
            "dissector",
            "Print the Wireshark plugin for exported files\n\n"
            "Prints the Wireshark Lua plugin that shows the packets of 'rizorod export' as the "
            "decoding's field tree, every label a filter field (docs/WIRESHARK.md). Save it in "
            "Wireshark's plugin folder, ~/.local/lib/wireshark/plugins.");
        set_examples(app,
                     {"rizorod dissector > ~/.local/lib/wireshark/plugins/rizorod.lua",
                      "rizorod dissector --linktype 150 > rizorod.lua"},
                     ExitStatuses::plain);
        app->add_option("-l,--linktype", linktype_, "The plugin's default link type, 147 (LINKTYPE_USER0, the default) to 162; "
                        "its preference rizorod.linktype changes it")
            ->type_name("N")
            ->check(number_range(pcapng::kFirstUserLinkType, pcapng::kLastUserLinkType));
    }

    int run() override {
        Output out;
        out.text(dissector_lua(linktype_, RIZOROD_VERSION));
        return finish(out, kOk);
    }

private:
    unsigned linktype_ = pcapng::kFirstUserLinkType;
};

}  // namespace

std::unique_ptr<Command> add_dissector(CLI::App& app) { return std::make_unique<DissectorCommand>(app); }

}  // namespace rizorod::tool
