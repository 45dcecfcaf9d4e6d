// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include <RizOrodOzido/fields.h>

#include <cstdio>
#include <new>
#include <set>

#include "filter.h"
#include "pipeline.h"

namespace rizorod::tool {
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
        if (parse_code_option(value)) return {};
        return "expected a type code 0 to 65535 or 0x0000 to 0xffff, found \"" + escaped_name(value) + "\"";
    },
    "", "type code");
const CLI::Validator kTimestamp(
    [](std::string& value) -> std::string {
        if (rizorod::parse_timestamp(value)) return {};
        return "expected a timestamp HH:MM:SS.mmm or YYYY-MM-DDTHH:MM:SS.mmm, found \"" +
               escaped_name(value) + "\"";
    },
    "", "timestamp");
const CLI::Validator kDate(
    [](std::string& value) -> std::string {
        if (parse_date(value)) return {};
        return "expected a date YYYY-MM-DD that the calendar has, found \"" + escaped_name(value) + "\"";
    },
    "", "date");
bool parse_piece(const std::string& text, unsigned& k, unsigned& n) {
    unsigned a = 0, b = 0;
    char slash = 0, rest = 0;
    if (std::sscanf(text.c_str(), "%u%c%u%c", &a, &slash, &b, &rest) != 3 || slash != '/' || a < 1 || a > b ||
        b > 10000 || text.find_first_not_of("0123456789/") != std::string::npos)
        return false;
    k = a;
    n = b;
    return true;
}

const CLI::Validator kPiece(
    [](std::string& value) -> std::string {
        unsigned k, n;
        if (parse_piece(value, k, n)) return {};
        return "expected K/N, piece K of N pieces (1 <= K <= N <= 10000), found \"" + escaped_name(value) + "\"";
    },
    "", "piece");
const CLI::Validator kTimeBound(
    [](std::string& value) -> std::string {
        TimeBound bound;
        const auto error = parse_time_bound(value, bound);
        return error ? escaped_name(*error) : std::string();
    },
    "", "time");

const CLI::Validator kFieldMatch(
    [](std::string& value) -> std::string {
        try {
            Filter::parse(value);
            return {};
        } catch (const FilterError& e) {
            return e.what();
        }
    },
    "", "expression");

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
                    "Only entries for which EXPR holds: fields (labels at any depth, interface, "
                    "code, name, time) compared with == != < <= > >= matches contains, joined by "
                    "and, or, not and parentheses, e.g. 'handle == 0x29 and status != 0' "
                    "(docs/SELECTING.md); repeatable, all must hold")
        ->type_name("EXPR")
        ->allow_extra_args(false)
        ->check(kFieldMatch);
}

Selection SelectOptions::selection(bool with_hex) const {
    Selection s;
    if (!with_hex) {
        for (const auto& name : interfaces) s.interfaces.push_back(*rizorod::interface_named(name));
        for (const auto& code : codes) s.codes.push_back(*parse_code_option(code));
    }
    s.names = names;
    if (!since.empty()) parse_time_bound(since, s.since.emplace());
    if (!until.empty()) parse_time_bound(until, s.until.emplace());
    std::vector<std::shared_ptr<const Filter>> filters;
    for (const auto& w : where) filters.push_back(Filter::parse(w));
    if (!filters.empty()) s.where = filters.size() == 1 ? filters[0] : Filter::all_of(filters);
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
    for (const std::string& f : files) inputs.emplace_back(f);
    return inputs;
}

int run_inputs(const std::vector<Input>& inputs, const Options& options, const HandlerFactory& factory,
               Output& out, std::vector<std::unique_ptr<Handler>>* handlers) {
    try {
        return finish(out, run(inputs, options, factory, out, handlers));
    } catch (const std::bad_alloc&) {
        std::fputs("rizorod: out of memory\n", stderr);
        return kUsage;
    }
}

void add_date(CLI::App* app, std::string& date) {
    app->add_option("--date", date,
                    "The date of the entries that come before the first one giving a date "
                    "(YYYY-MM-DD); later entries take the date of the one before them")
        ->type_name("DATE")
        ->check(kDate);
}

Options pipeline_options(unsigned jobs, const std::string& date, bool dates) {
    Options options;
    options.jobs = jobs;
    options.dates = dates;
    if (!date.empty()) options.read.clock = CaptureClock(*parse_date(date));
    return options;
}

}  // namespace rizorod::tool
