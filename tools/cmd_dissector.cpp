// rizorod dissector: the Wireshark Lua plugin, written from the rows.
#include "command.h"
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
            "Print the Wireshark Lua plugin that shows exported packets as the decoding's field tree\n"
            "(save it as ~/.local/lib/wireshark/plugins/rizorod.lua)");
        app->add_option("-l,--linktype", linktype_, "The plugin's default link type, 147 (LINKTYPE_USER0, the default) to 162;\n"
                        "its preference rizorod.linktype changes it")
            ->type_name("N")
            ->check(CLI::Range(pcapng::kFirstUserLinkType, pcapng::kLastUserLinkType));
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
