// SPDX-License-Identifier: Apache-2.0
// rizorod list: the primitives the library decodes, with their layouts on request.
#include <RizOrodOzido/capture.h>

#include <cstdio>

#include "command.h"
#include "help.h"
#include "describe.h"
#include "options.h"

namespace rizorod::tool {
namespace {

class List final : public Command {
public:
    explicit List(CLI::App& parent) {
        app = parent.add_subcommand(
            "list",
            "List the primitives the library decodes\n\n"
            "Lists the primitives the library decodes, one per line, tab-separated: interface, type "
            "code, primitive name and record size (the bytes a record of that code must hold); with "
            "--fields, every field too: offset, kind, label, nested records, runs and block walks.");
        set_examples(app,
                     {"rizorod list l2cap", "rizorod list --fields dm | less",
                      "rizorod list --format json | jq -r 'select(.size > 32) | .name'"},
                     ExitStatuses::plain);
        app->add_option("INTERFACE", which_, "Only this interface: dm, l2cap, rfcomm or sdp")->type_name("INTERFACE")->check(CLI::IsMember(kInterfaceNames));
        app->add_flag("--fields", fields_, "Describe every field of every primitive");
        app->add_option("-f,--format", format_, "text (the default) or json: one object per primitive")
            ->type_name("FORMAT")
            ->check(CLI::IsMember({"text", "json"}));
    }

    int run() override {
        std::string text;
        for (Interface iface : kInterfaces) {
            if (!which_.empty() && which_ != interface_name(iface)) continue;
            for (const Primitive& p : primitives(iface)) {
                if (format_ == "json") describe_json(text, iface, p, fields_);
                else if (fields_) describe_text(text, iface, p);
                else line(text, iface, p);
            }
        }
        Output out;
        out.text(text);
        return finish(out, kOk);
    }

private:
    static void line(std::string& text, Interface iface, const Primitive& p) {
        char code[8];
        std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(p.code));
        text.append(interface_name(iface)).append("\t").append(code).append("\t");
        text.append(p.name).append("\t").append(std::to_string(p.size)).append("\n");
    }

    std::string which_, format_ = "text";
    bool fields_ = false;
};

}  // namespace

std::unique_ptr<Command> add_list(CLI::App& app) { return std::make_unique<List>(app); }

}  // namespace rizorod::tool
