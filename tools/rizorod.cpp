// rizorod: decodes primitives captured from a Bluetooth host stack, and lists the primitives that
// the library knows.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "dissector.h"
#include "pcapng.h"
#include "pipeline.h"

#ifndef RIZ_VERSION
#define RIZ_VERSION "unknown"
#endif

namespace {

using rizorod::tool::Input;
using rizorod::tool::Output;

constexpr const char* kInterfaces[] = {"dm", "l2cap", "rfcomm", "sdp"};

// Option values that become part of a capture line must stay on that line.
const CLI::Validator kOneLine(
    [](std::string& value) -> std::string {
        for (char c : value)
            if (c == '\n' || c == '\r' || c == '#') return "must not contain a line break or '#'";
        return {};
    },
    "", "one line");

std::string interface_list() {
    std::string names;
    for (const char* name : kInterfaces) names += std::string(names.empty() ? "" : ", ") + name;
    return names;
}

int finish(Output& out, int status) {
    if (!out.finish()) {
        std::fprintf(stderr, "rizorod: cannot write the output: %s\n", out.error().c_str());
        return rizorod::tool::kWriteFailed;
    }
    return status;
}

int list(const std::string& which) {
    Output out;
    std::string line;
    for (rizorod::Interface iface : rizorod::kInterfaces) {
        if (!which.empty() && which != rizorod::interface_name(iface)) continue;
        for (const rizorod::Primitive& p : rizorod::primitives(iface)) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(p.code));
            line.assign(rizorod::interface_name(iface)).append("\t").append(code).append("\t");
            line.append(p.name).append("\t").append(std::to_string(p.size)).append("\n");
            out.text(line);
        }
    }
    return finish(out, rizorod::tool::kOk);
}

// ---- export and dissector: captures in Wireshark (docs/WIRESHARK.md)

// The pcapng header, then one packet for each entry that decodes; an entry that does not is
// reported as `decode` reports it and left out.
int export_pcapng(const std::string& path, std::vector<std::string> files, unsigned jobs,
                  unsigned linktype) {
    if (path != "-" && std::freopen(path.c_str(), "wb", stdout) == nullptr) {
        std::fprintf(stderr, "rizorod: %s: cannot open: %s\n", path.c_str(), std::strerror(errno));
        return rizorod::tool::kUsage;
    }
    Output out;
    out.text(rizorod::tool::pcapng::header(linktype, std::string("rizorod ") + RIZ_VERSION));
    std::vector<Input> inputs;
    if (files.empty()) files.push_back("-");
    for (const std::string& f : files) inputs.push_back({f, false, {}});
    const int status = rizorod::tool::decode_inputs(
        inputs, jobs, out,
        [](rizorod::Decoder& decoder, const rizorod::Entry& entry, std::string& packets) {
            // Decoded for its checks alone: the text, and so its stamp, are not used.
            decoder.decode(entry.iface, entry.code, entry.record, entry.image);
            rizorod::tool::pcapng::append_packet(packets, entry);
        });
    return finish(out, status);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Decodes the primitives of a Bluetooth host stack that a capture file holds: each\n"
        "primitive's record, with the memory that its pointer fields address, as logged by the\n"
        "running stack. The text is the library's own decoding, with the header line showing the\n"
        "time at which the stack logged the primitive.",
        "rizorod"};
    app.set_version_flag("--version", std::string("rizorod ") + RIZ_VERSION,
                         "Print the version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.require_subcommand(1);
    app.footer(
        "Examples:\n"
        "  rizorod decode examples/session.cap\n"
        "  rizorod decode --jobs 4 today.cap yesterday.cap > decoded.txt\n"
        "  rizorod decode --interface dm --hex '04 20 1a 00 00 00 29 00 33 8b 9e 00 5b 00 02 00 01'\n"
        "  rizorod list l2cap\n"
        "  rizorod export session.pcapng examples/session.cap && rizorod dissector > rizorod.lua\n"
        "\n"
        "Exit status: 0 when every entry was decoded, 1 when any entry could not be read or\n"
        "decoded (each gets one message on standard error, file:line: what was expected, what\n"
        "was found), 2 for a usage error or an input that could not be opened or read, 3 when the\n"
        "output could not be written.\n"
        "The capture format is described in docs/CAPTURE-FORMAT.md.");

    // decode
    CLI::App* decode = app.add_subcommand(
        "decode",
        "Decode the entries of capture files in order (standard input when no FILE is given, or\n"
        "for -), or one record given with --interface and --hex");
    std::vector<std::string> files;
    unsigned jobs = 1;
    std::string iface, hex, code, stamp;
    std::vector<std::string> memory;
    CLI::Option* files_opt =
        decode->add_option("FILE", files, "Capture files to decode (- for standard input)")
            ->type_name("FILE");
    decode->add_option("-j,--jobs", jobs,
                       "Decode on N threads; the output stays in entry order (default 1)")
        ->type_name("N")
        ->check(CLI::Range(1u, 256u));
    CLI::Option* iface_opt =
        decode->add_option("-i,--interface", iface, "Interface of the --hex record: " + interface_list())
            ->type_name("NAME")
            ->check(CLI::IsMember({"dm", "l2cap", "rfcomm", "sdp"}));
    CLI::Option* hex_opt =
        decode->add_option("-x,--hex", hex, "Decode this one record, given in hexadecimal (blanks allowed)")
            ->type_name("BYTES")
            ->check(kOneLine);
    CLI::Option* code_opt =
        decode->add_option("-c,--code", code,
                           "Type code of the --hex record, as 0xNNNN (default: its first 16-bit field)")
            ->type_name("CODE")
            ->check(kOneLine);
    CLI::Option* memory_opt =
        decode->add_option("-m,--memory", memory,
                           "Memory for the --hex record's pointers, as in a memory line: "
                           "'@ADDRESS BYTES' (repeatable)")
            ->type_name("'@ADDR BYTES'")
            ->check(kOneLine);
    CLI::Option* time_opt =
        decode->add_option("-t,--time", stamp,
                           "Timestamp of the --hex record: HH:MM:SS.mmm or YYYY-MM-DDTHH:MM:SS.mmm")
            ->type_name("TIME")
            ->check(kOneLine);
    hex_opt->needs(iface_opt);
    iface_opt->needs(hex_opt);
    code_opt->needs(hex_opt);
    memory_opt->needs(hex_opt);
    time_opt->needs(hex_opt);
    hex_opt->excludes(files_opt);

    // list
    CLI::App* list_cmd = app.add_subcommand(
        "list",
        "List the primitives the library decodes, one per line, tab-separated: interface, type\n"
        "code, primitive name and record size (the bytes a record of that code must hold)");
    std::string which;
    list_cmd->add_option("INTERFACE", which, "Only this interface: " + interface_list())
        ->check(CLI::IsMember({"dm", "l2cap", "rfcomm", "sdp"}));

    // export, dissector
    CLI::App* export_cmd = app.add_subcommand(
        "export",
        "Write the entries of capture files as one pcapng file for Wireshark, one packet per\n"
        "entry (docs/WIRESHARK.md); an entry that cannot be decoded is reported and left out");
    std::string export_format = "pcapng", export_path;
    std::vector<std::string> export_files;
    unsigned export_jobs = 1, export_linktype = rizorod::tool::pcapng::kFirstUserLinkType;
    unsigned dissector_linktype = export_linktype;
    const CLI::Range user_linktypes(rizorod::tool::pcapng::kFirstUserLinkType,
                                    rizorod::tool::pcapng::kLastUserLinkType);
    export_cmd->add_option("-f,--format", export_format, "Output format: pcapng (the default)")
        ->check(CLI::IsMember({"pcapng"}));
    export_cmd->add_option("OUT", export_path, "The file to write (- for standard output)")
        ->required()
        ->type_name("OUT");
    export_cmd->add_option("FILE", export_files, "Capture files (- or none: standard input)")
        ->type_name("FILE");
    export_cmd->add_option("-l,--linktype", export_linktype,
                           "Link type of the packets, 147 (LINKTYPE_USER0, the default) to 162")
        ->type_name("N")
        ->check(user_linktypes);
    export_cmd->add_option("-j,--jobs", export_jobs, "Decode on N threads (default 1)")
        ->type_name("N")
        ->check(CLI::Range(1u, 256u));
    CLI::App* dissector_cmd = app.add_subcommand(
        "dissector",
        "Print the Wireshark Lua plugin that shows exported packets as the decoding's field tree\n"
        "(save it as ~/.local/lib/wireshark/plugins/rizorod.lua)");
    dissector_cmd->add_option("-l,--linktype", dissector_linktype,
                              "Link type to dissect, 147 (LINKTYPE_USER0, the default) to 162")
        ->type_name("N")
        ->check(user_linktypes);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        // The help and the version go to standard output, which may not take them.
        std::cout.flush();
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "rizorod: cannot write the output: %s\n", std::strerror(errno));
            return rizorod::tool::kWriteFailed;
        }
        return rc == 0 ? 0 : rizorod::tool::kUsage;
    }

    if (*list_cmd) return list(which);
    if (*export_cmd) return export_pcapng(export_path, export_files, export_jobs, export_linktype);
    if (*dissector_cmd) {
        Output out;
        out.text(rizorod::tool::dissector_lua(dissector_linktype, RIZ_VERSION));
        return finish(out, rizorod::tool::kOk);
    }

    std::vector<Input> inputs;
    if (*hex_opt) {
        // The record given on the command line is read as a capture of one entry: line 1 is the
        // entry, line k + 1 the k-th --memory.
        Input input;
        input.name = "<command line>";
        input.literal = true;
        if (!stamp.empty()) input.text += stamp + " ";
        input.text += iface + " ";
        if (!code.empty()) input.text += code + " ";
        input.text += hex + "\n";
        for (const std::string& m : memory)
            input.text += (m.empty() || m[0] != '@' ? "@" : "") + m + "\n";
        inputs.push_back(std::move(input));
    } else {
        if (files.empty()) files.push_back("-");
        for (const std::string& f : files) inputs.push_back({f, false, {}});
    }
    Output out;
    const int status = rizorod::tool::decode_inputs(inputs, jobs, out);
    return finish(out, status);
}
