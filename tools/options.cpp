#include "options.h"

#include <RizOrodOzido/fields.h>

#include <cstdio>
#include <new>
#include <set>

#include "pipeline.h"

namespace rizorod::tool {
namespace {

// Every label of every primitive's layout, nested records and block elements included.
void labels_of(const rizorod_layout_record* record, std::set<std::string>& labels) {
    for (const rizorod_layout_field* f = record->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
        if (f->label != nullptr && *f->label != '\0') labels.insert(f->label);
        if (f->record != nullptr) labels_of(f->record, labels);
    }
}

}  // namespace

const std::vector<std::string> kInterfaceNames = {"dm", "l2cap", "rfcomm", "sdp"};

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

void SelectOptions::add(CLI::App* app, const std::string& interface_help, const std::string& code_help) {
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

Selection SelectOptions::selection(bool with_hex) const {
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

CLI::Validator number_range(unsigned least, unsigned most) {
    return CLI::Validator(
        [least, most](std::string& value) -> std::string {
            unsigned n = 0;
            const bool digits = !value.empty() && value.size() <= 9 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            if (digits) n = static_cast<unsigned>(std::stoul(value));
            if (digits && n >= least && n <= most) return {};
            return "expected a number from " + std::to_string(least) + " to " + std::to_string(most) + ", found \"" +
                   escaped_name(value) + "\"";
        },
        "", "number range");
}

void add_jobs(CLI::App* app, unsigned& jobs, const std::string& help) {
    app->add_option("-j,--jobs", jobs, help)->type_name("N")->check(number_range(1, 256));
}

std::vector<Input> file_inputs(std::vector<std::string> files) {
    if (files.empty()) files.push_back("-");
    std::vector<Input> inputs;
    for (const std::string& f : files) inputs.push_back({f, false, {}});
    return inputs;
}

int run_inputs(const std::vector<Input>& inputs, unsigned jobs, const HandlerFactory& factory, Output& out,
               std::vector<std::unique_ptr<Handler>>* handlers) {
    Options options;
    options.jobs = jobs;
    try {
        return finish(out, run(inputs, options, factory, out, handlers));
    } catch (const std::bad_alloc&) {
        std::fputs("rizorod: out of memory\n", stderr);
        return kUsage;
    }
}

}  // namespace rizorod::tool
