// SPDX-License-Identifier: Apache-2.0
// What the subcommands share: the checks of option values, the entry selection options, and
// running the pipeline with the tool's statuses.
#ifndef RIZORODOZIDO_TOOLS_OPTIONS_H
#define RIZORODOZIDO_TOOLS_OPTIONS_H

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

#include "handler.h"
#include "input.h"
#include "output.h"
#include "pipeline.h"
#include "select.h"

#ifndef RIZOROD_VERSION
#define RIZOROD_VERSION "unknown"
#endif

namespace rizorod::tool {

extern const std::vector<std::string> kInterfaceNames;
// Option values that become part of a capture line must stay on that line.
extern const CLI::Validator kOneLine;
extern const CLI::Validator kTypeCode;
extern const CLI::Validator kTimestamp;
extern const CLI::Validator kTimeBound;
extern const CLI::Validator kDate;
extern const CLI::Validator kPiece;
// "K/N", piece K of N (1 <= K <= N <= 10000).
bool parse_piece(const std::string& text, unsigned& k, unsigned& n);
extern const CLI::Validator kFieldMatch;

// The options that choose entries, shared by decode, stats, pairs, report and export. With
// --hex, decode takes --interface and --code for the record it is given instead.
struct SelectOptions {
    std::vector<std::string> interfaces, names, codes, where;
    std::string since, until;
    CLI::Option* interface_opt = nullptr;
    CLI::Option* code_opt = nullptr;

    void add(CLI::App* app, const std::string& interface_help, const std::string& code_help);
    // The selection the options say (their values already checked).
    Selection selection(bool with_hex) const;
};

// A decimal number from `least` to `most`.
CLI::Validator number_range(unsigned least, unsigned most);
// "-j,--jobs N".
void add_jobs(CLI::App* app, unsigned& jobs, const std::string& help);
// "--date YYYY-MM-DD": the date of a capture's entries before the first that gives one.
void add_date(CLI::App* app, std::string& date);
// How to read the inputs: `jobs` threads, the clock starting at `date` (empty: none), and
// whether the handler uses the entries' dates.
Options pipeline_options(unsigned jobs, const std::string& date, bool dates);
// The captures named on the command line; standard input when none is.
std::vector<Input> file_inputs(std::vector<std::string> files);
// The status to exit with once the output is done: a closed pipe quietly, a failed write with a
// message, status 3.
int finish(const Output& out, int status);
// Runs the pipeline over the inputs; out of memory is status 2 with a message.
int run_inputs(const std::vector<Input>& inputs, const Options& options, const HandlerFactory& factory,
               Output& out, std::vector<std::unique_ptr<Handler>>* handlers = nullptr);

}  // namespace rizorod::tool

#endif
