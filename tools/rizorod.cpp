// rizorod: decodes primitives captured from a Bluetooth host stack, as text or JSON, selects and
// counts them, exports them for Wireshark, and describes the primitives that the library knows.
#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/fields.h>
#include "describe.h"
#include "dissector.h"
#include "handlers.h"
#include "pcapng.h"
#include "pipeline.h"

#ifndef RIZOROD_VERSION
#define RIZOROD_VERSION "unknown"
#endif

namespace {

using namespace rizorod::tool;

const std::vector<std::string> kInterfaceNames = {"dm", "l2cap", "rfcomm", "sdp"};

// Option values that become part of a capture line must stay on that line.
const CLI::Validator kOneLine(
    [](std::string& value) -> std::string {
        for (char c : value)
            if (c == '\n' || c == '\r' || c == '#') return "must not contain a line break or '#'";
        return {};
    },
    "", "one line");

const CLI::Validator kTypeCode(
    [](std::string& value) -> std::string {
        if (rizorod::parse_type_code(value)) return {};
        return "expected a type code 0x0000 to 0xffff (0x and 1 to 4 hexadecimal digits), found \"" +
               escaped_name(value) + "\"";
    },
    "", "type code");
const CLI::Validator kTimestamp(
    [](std::string& value) -> std::string {
        if (rizorod::parse_timestamp(value)) return {};
        return "expected a timestamp HH:MM:SS.mmm or YYYY-MM-DDTHH:MM:SS.mmm, found \"" +
               escaped_name(value) + "\"";
    },
    "", "timestamp");
const CLI::Validator kTimeBound(
    [](std::string& value) -> std::string {
        TimeBound bound;
        const auto error = parse_time_bound(value, bound);
        return error ? escaped_name(*error) : std::string();
    },
    "", "time");

// Every label of every primitive's layout, nested records and block elements included.
void labels_of(const rizorod_layout_record* record, std::set<std::string>& labels) {
    for (const rizorod_layout_field* f = record->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
        if (f->label != nullptr && *f->label != '\0') labels.insert(f->label);
        if (f->record != nullptr) labels_of(f->record, labels);
    }
}

const CLI::Validator kFieldMatch(
    [](std::string& value) -> std::string {
        FieldMatch match;
        if (const auto error = parse_field_match(value, match)) return escaped_name(*error);
        static const std::set<std::string> labels = [] {
            std::set<std::string> all{"name_part", "iac_lap"};
            for (rizorod::Interface iface : rizorod::kInterfaces)
                for (const auto& p : rizorod::primitives(iface)) labels_of(rizorod::layout(iface, p.code), all);
            return all;
        }();
        if (!labels.count(match.label))
            return "no primitive has a field named \"" + escaped_name(match.label) +
                   "\" (rizorod list --fields shows them all)";
        return {};
    },
    "", "field match");

int finish(const Output& out, int status) {
    if (out.broken_pipe()) return kWriteFailed;  // the reader has gone: quietly
    if (out.failed()) {
        std::fprintf(stderr, "rizorod: cannot write the output: %s\n", out.error());
        return kWriteFailed;
    }
    return status;
}

// The options that choose entries, shared by decode, stats and export. With --hex, decode takes
// --interface and --code for the record it is given instead.
struct SelectOptions {
    std::vector<std::string> interfaces, names, codes, where;
    std::string since, until;
    CLI::Option* interface_opt = nullptr;
    CLI::Option* code_opt = nullptr;

    void add(CLI::App* app, const std::string& interface_help, const std::string& code_help) {
        interface_opt = app->add_option("-i,--interface", interfaces, interface_help)
                            ->type_name("NAME")
                            ->allow_extra_args(false)
                            ->check(CLI::IsMember(kInterfaceNames));
        app->add_option("-n,--name", names,
                        "Only primitives whose name matches this pattern (* any text, ? one "
                        "character, [..] one of), e.g. 'DM_ACL_*'")
            ->type_name("GLOB")
            ->allow_extra_args(false);
        code_opt = app->add_option("-c,--code", codes, code_help)->type_name("CODE")->allow_extra_args(false)->check(kTypeCode);
        app->add_option("--since", since,
                        "Only entries stamped at or after TIME: HH:MM[:SS[.mmm]], YYYY-MM-DD, or both "
                        "joined by T or a blank")
            ->type_name("TIME")
            ->check(kTimeBound);
        app->add_option("--until", until,
                        "Only entries stamped at or before TIME, up to its last millisecond "
                        "(--until 10:00 takes in 10:00:59.999)")
            ->type_name("TIME")
            ->check(kTimeBound);
        app->add_option("-w,--where", where,
                        "Only primitives with a field LABEL (at any depth) equal to VALUE, a number "
                        "(0x29 or 41) or a name's text; repeatable, all must hold")
            ->type_name("LABEL=VALUE")
            ->allow_extra_args(false)
            ->check(kFieldMatch);
    }

    // Already checked by the validators.
    Selection selection(bool with_hex) const {
        Selection s;
        if (!with_hex) {
            for (const auto& name : interfaces) s.interfaces.push_back(*rizorod::interface_named(name));
            for (const auto& code : codes) s.codes.push_back(*rizorod::parse_type_code(code));
        }
        s.names = names;
        if (!since.empty()) parse_time_bound(since, s.since.emplace());
        if (!until.empty()) parse_time_bound(until, s.until.emplace());
        for (const auto& w : where) parse_field_match(w, s.where.emplace_back());
        return s;
    }
};

std::vector<Input> file_inputs(std::vector<std::string> files) {
    if (files.empty()) files.push_back("-");
    std::vector<Input> inputs;
    for (const std::string& f : files) inputs.push_back({f, false, {}});
    return inputs;
}

int run_inputs(const std::vector<Input>& inputs, unsigned jobs, const HandlerFactory& factory, Output& out,
               std::vector<std::unique_ptr<Handler>>* handlers = nullptr) {
    Options options;
    options.jobs = jobs;
    try {
        return finish(out, run(inputs, options, factory, out, handlers));
    } catch (const std::bad_alloc&) {
        std::fputs("rizorod: out of memory\n", stderr);
        return kUsage;
    }
}

int list(const std::string& which, bool fields, const std::string& format) {
    std::string text;
    for (rizorod::Interface iface : rizorod::kInterfaces) {
        if (!which.empty() && which != rizorod::interface_name(iface)) continue;
        for (const rizorod::Primitive& p : rizorod::primitives(iface)) {
            if (format == "json") {
                describe_json(text, iface, p, fields);
            } else if (fields) {
                describe_text(text, iface, p);
            } else {
                char code[8];
                std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(p.code));
                text.append(rizorod::interface_name(iface)).append("\t").append(code).append("\t");
                text.append(p.name).append("\t").append(std::to_string(p.size)).append("\n");
            }
        }
    }
    Output out;
    out.text(text);
    return finish(out, kOk);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Decodes the primitives of a Bluetooth host stack that a capture file holds: each\n"
        "primitive's record, with the memory that its pointer fields address, as logged by the\n"
        "running stack. The text is the library's own decoding, with the header line showing the\n"
        "time at which the stack logged the primitive.",
        "rizorod"};
    app.set_version_flag("--version", std::string("rizorod ") + RIZOROD_VERSION, "Print the version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.require_subcommand(1);
    app.footer(
        "Examples:\n"
        "  rizorod decode examples/session.cap\n"
        "  rizorod decode --jobs 4 today.cap yesterday.cap > decoded.txt\n"
        "  rizorod decode --format json --name 'DM_ACL_*' --where handle=0x29 session.cap | jq .fields\n"
        "  rizorod decode --interface dm --hex '04 20 1a 00 00 00 29 00 33 8b 9e 00 5b 00 02 00 01'\n"
        "  tail -f board.log | rizorod decode\n"
        "  rizorod stats big.cap\n"
        "  rizorod export session.pcapng examples/session.cap && rizorod dissector > rizorod.lua\n"
        "  rizorod list --fields l2cap\n"
        "\n"
        "Exit status: 0 when every entry was decoded, 1 when any entry could not be read or\n"
        "decoded (each gets one message on standard error, file:line: what was expected, what\n"
        "was found), 2 for a usage error or an input that could not be opened, read or held in\n"
        "memory, 3 when the output could not be written. A closed pipe stops the tool quietly.\n"
        "Live inputs (pipes, terminals) are decoded entry by entry as they come.\n"
        "The capture format is described in docs/CAPTURE-FORMAT.md, JSON output in docs/JSON.md.");
    app.get_formatter()->column_width(34);

    // decode
    CLI::App* decode = app.add_subcommand(
        "decode",
        "Decode the entries of capture files in order (standard input when no FILE is given, or\n"
        "for -), or one record given with --interface and --hex; as text or as JSON Lines, all\n"
        "entries or those the selection options choose");
    std::vector<std::string> decode_files, memory;
    unsigned decode_jobs = 1;
    std::string decode_format = "text", hex, stamp;
    SelectOptions decode_select;
    CLI::Option* files_opt =
        decode->add_option("FILE", decode_files, "Capture files to decode (- for standard input)")->type_name("FILE");
    decode->add_option("-j,--jobs", decode_jobs, "Decode on N threads; the output stays in entry order (default 1)")
        ->type_name("N")
        ->check(CLI::Range(1u, 256u));
    decode->add_option("-f,--format", decode_format, "text (the default) or json: one object per entry (docs/JSON.md)")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "json"}));
    decode_select.add(decode,
                      "Only entries of this interface (dm, l2cap, rfcomm, sdp; repeatable); with "
                      "--hex, the record's interface",
                      "Only entries of this type code, 0xNNNN (repeatable); with --hex, the record's "
                      "code (default: its first 16-bit field)");
    CLI::Option* hex_opt =
        decode->add_option("-x,--hex", hex, "Decode this one record, given in hexadecimal (blanks allowed)")
            ->type_name("BYTES")
            ->check(kOneLine);
    CLI::Option* memory_opt =
        decode->add_option("-m,--memory", memory,
                           "Memory for the --hex record's pointers, as in a memory line: '@ADDRESS BYTES' (repeatable)")
            ->type_name("'@ADDR BYTES'")
            ->allow_extra_args(false)
            ->check(kOneLine);
    CLI::Option* time_opt =
        decode->add_option("-t,--time", stamp, "Timestamp of the --hex record: HH:MM:SS.mmm or YYYY-MM-DDTHH:MM:SS.mmm")
            ->type_name("TIME")
            ->check(kTimestamp);
    hex_opt->excludes(files_opt);
    memory_opt->needs(hex_opt);
    time_opt->needs(hex_opt);

    // stats
    CLI::App* stats_cmd = app.add_subcommand(
        "stats",
        "Count the entries of capture files per interface and primitive: how many, how many\n"
        "failed, the first and the last stamp; as a table or as JSON Lines");
    std::vector<std::string> stats_files;
    unsigned stats_jobs = 1;
    std::string stats_format = "text";
    SelectOptions stats_select;
    stats_cmd->add_option("FILE", stats_files, "Capture files (- or none: standard input)")->type_name("FILE");
    stats_cmd->add_option("-j,--jobs", stats_jobs, "Read on N threads (default 1)")->type_name("N")->check(CLI::Range(1u, 256u));
    stats_cmd->add_option("-f,--format", stats_format, "text (the default) or json")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "json"}));
    stats_select.add(stats_cmd, "Only entries of this interface (repeatable)", "Only entries of this type code (repeatable)");

    // export
    CLI::App* export_cmd = app.add_subcommand(
        "export",
        "Write the entries of capture files as one pcapng file for Wireshark, one packet per\n"
        "entry (docs/WIRESHARK.md); an entry that cannot be decoded is reported and left out");
    std::string export_format = "pcapng", export_path;
    std::vector<std::string> export_files;
    unsigned export_jobs = 1, export_linktype = pcapng::kFirstUserLinkType;
    unsigned dissector_linktype = export_linktype;
    SelectOptions export_select;
    const CLI::Range user_linktypes(pcapng::kFirstUserLinkType, pcapng::kLastUserLinkType);
    export_cmd->add_option("-f,--format", export_format, "Output format: pcapng (the default)")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"pcapng"}));
    export_cmd->add_option("OUT", export_path, "The file to write (- for standard output)")->required()->type_name("OUT");
    export_cmd->add_option("FILE", export_files, "Capture files (- or none: standard input)")->type_name("FILE");
    export_cmd->add_option("-l,--linktype", export_linktype, "Link type of the packets, 147 (LINKTYPE_USER0, the default) to 162")
        ->type_name("N")
        ->check(user_linktypes);
    export_cmd->add_option("-j,--jobs", export_jobs, "Read on N threads (default 1)")->type_name("N")->check(CLI::Range(1u, 256u));
    export_select.add(export_cmd, "Only entries of this interface (repeatable)", "Only entries of this type code (repeatable)");

    // dissector
    CLI::App* dissector_cmd = app.add_subcommand(
        "dissector",
        "Print the Wireshark Lua plugin that shows exported packets as the decoding's field tree\n"
        "(save it as ~/.local/lib/wireshark/plugins/rizorod.lua)");
    dissector_cmd->add_option("-l,--linktype", dissector_linktype, "Link type to dissect, 147 (LINKTYPE_USER0, the default) to 162")
        ->type_name("N")
        ->check(user_linktypes);

    // list
    CLI::App* list_cmd = app.add_subcommand(
        "list",
        "List the primitives the library decodes, one per line, tab-separated: interface, type\n"
        "code, primitive name and record size (the bytes a record of that code must hold); with\n"
        "--fields, every field too: offset, kind, label, nested records, runs and block walks");
    std::string which, list_format = "text";
    bool list_fields = false;
    list_cmd->add_option("INTERFACE", which, "Only this interface: dm, l2cap, rfcomm or sdp")->check(CLI::IsMember(kInterfaceNames));
    list_cmd->add_flag("--fields", list_fields, "Describe every field of every primitive");
    list_cmd->add_option("-f,--format", list_format, "text (the default) or json: one object per primitive")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "json"}));

    try {
        app.parse(argc, argv);
        if (*hex_opt) {
            if (decode_select.interfaces.size() != 1)
                throw CLI::ValidationError("--hex", "needs exactly one --interface, the record's");
            if (decode_select.codes.size() > 1) throw CLI::ValidationError("--hex", "takes at most one --code");
        } else if (!memory.empty() || !stamp.empty()) {
            throw CLI::ValidationError("--memory and --time", "need --hex");
        }
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        // The help and the version go to standard output, which may not take them.
        std::cout.flush();
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            if (errno != EPIPE) std::fprintf(stderr, "rizorod: cannot write the output: %s\n", std::strerror(errno));
            return kWriteFailed;
        }
        return rc == 0 ? 0 : kUsage;
    }

    if (*list_cmd) return list(which, list_fields, list_format);
    if (*dissector_cmd) {
        Output out;
        out.text(dissector_lua(dissector_linktype, RIZOROD_VERSION));
        return finish(out, kOk);
    }
    if (*stats_cmd) {
        const Selection selection = stats_select.selection(false);
        std::vector<std::unique_ptr<Handler>> handlers;
        Output out;
        const int status = run_inputs(file_inputs(stats_files), stats_jobs,
                                      [&] { return std::make_unique<StatsHandler>(selection); }, out, &handlers);
        if (status == kWriteFailed || out.failed()) return finish(out, status);
        Stats all;
        for (const auto& h : handlers) all.merge(static_cast<const StatsHandler&>(*h).stats);
        std::string table;
        if (stats_format == "json") all.write_json(table);
        else all.write_text(table);
        out.text(table);
        return finish(out, status);
    }
    if (*export_cmd) {
        const int fd = export_path == "-" ? 1 : ::open(export_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0) {
            std::fprintf(stderr, "rizorod: %s: cannot open: %s\n", escaped_name(export_path).c_str(), std::strerror(errno));
            return kUsage;
        }
        const Selection selection = export_select.selection(false);
        Output out(fd);
        out.text(pcapng::header(export_linktype, std::string("rizorod ") + RIZOROD_VERSION));
        const int status =
            run_inputs(file_inputs(export_files), export_jobs, [&] { return export_handler(selection); }, out);
        if (fd != 1 && ::close(fd) != 0 && status != kWriteFailed) {
            std::fprintf(stderr, "rizorod: cannot write the output: %s\n", std::strerror(errno));
            return kWriteFailed;
        }
        return status;
    }

    const Selection selection = decode_select.selection(hex_opt->count() > 0);
    const Format format = decode_format == "json" ? Format::json : Format::text;
    std::vector<Input> inputs;
    if (*hex_opt) {
        // The record given on the command line is read as a capture of one entry: line 1 is the
        // entry, line k + 1 the k-th --memory.
        Input input;
        input.name = "<command line>";
        input.literal = true;
        if (!stamp.empty()) input.text += stamp + " ";
        input.text += decode_select.interfaces.front() + " ";
        if (!decode_select.codes.empty()) input.text += decode_select.codes.front() + " ";
        input.text += hex + "\n";
        for (const std::string& m : memory) input.text += (m.empty() || m[0] != '@' ? "@" : "") + m + "\n";
        inputs.push_back(std::move(input));
    } else {
        inputs = file_inputs(decode_files);
    }
    Output out;
    return run_inputs(inputs, decode_jobs, [&] { return decode_handler(format, selection); }, out);
}
