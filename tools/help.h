// SPDX-License-Identifier: Apache-2.0
// The tool's help and its usage errors, as users of command-line tools expect them: every line
// within 80 columns, options as "-j, --jobs N" without the parser's own notes (types, ranges,
// REQUIRED, Needs, Excludes), each command with its own examples and exit statuses, and errors as
// "rizorod: what was wrong" with a pointer to the help. The layout follows the options and
// commands that exist, so an option added later needs nothing here.
#ifndef RIZORODOZIDO_TOOLS_HELP_H
#define RIZORODOZIDO_TOOLS_HELP_H

#include <CLI/CLI.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace rizorod::tool {

// The width that the help fits in.
constexpr std::size_t kHelpWidth = 80;

// What a command's exit statuses mean: those of the commands that read captures (0, 1 for a bad
// entry, 2, 3), or of those that only write (0, 2, 3).
enum class ExitStatuses { entries, plain };

// Lays out the help of `app` and of every command added to it later, and takes unknown options
// and arguments as extras, so that usage_error names them.
void configure_help(CLI::App& app);

// A command's examples (one command line each) and exit statuses: the end of its help. A
// command's description is a one-line summary (shown in the list of commands and as its man
// page's name), then, after a blank line, paragraphs of details.
void set_examples(CLI::App* app, std::initializer_list<std::string_view> examples, ExitStatuses statuses);

// Writes "rizorod: MESSAGE" and a pointer to the help of `command` (the tool's when empty) on
// standard error; returns the usage status, 2.
int usage_error(const std::string& message, const std::string& command = {});

// The command line's first word when it names no command: "unknown command 'decod'; did you mean
// 'decode'?". Empty when it names one, or is an option.
std::string unknown_command(const CLI::App& app, std::string_view word);

// The message of a parse error, in the tool's words where the parser's hold its own notation.
std::string parse_error_message(const CLI::ParseError& e);

// The first argument that `app` or its chosen command did not take, as a message ("unknown
// option '--bogus'", "unexpected argument 'x'"); empty when every argument was taken.
std::string leftover_message(const CLI::App& app);

}  // namespace rizorod::tool

#endif
