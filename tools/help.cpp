// SPDX-License-Identifier: Apache-2.0
#include "help.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "output.h"

namespace rizorod::tool {
namespace {

// `text` as lines of at most `width` characters (a longer word stands alone), the first indented
// by `first`, the others by `rest` blanks. Line breaks in `text` are blanks.
std::string wrap(std::string_view text, std::size_t first, std::size_t rest, std::size_t width = kHelpWidth) {
    std::string out(first, ' ');
    std::size_t column = first, at = 0;
    bool start = true;
    while (at < text.size()) {
        const std::size_t begin = text.find_first_not_of(" \n", at);
        if (begin == std::string_view::npos) break;
        const std::size_t end = std::min(text.find_first_of(" \n", begin), text.size());
        const std::string_view word = text.substr(begin, end - begin);
        if (!start && column + 1 + word.size() > width) {
            out += '\n';
            out.append(rest, ' ');
            column = rest;
        } else if (!start) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        start = false;
        at = end;
    }
    return out + "\n";
}

// "  N  what it means", what it means wrapped from the sixth column.
std::string status_line(const char* status, const char* meaning) {
    return std::string("  ") + status + "  " + wrap(meaning, 5, 5).substr(5);
}

// The paragraphs of a description (separated by an empty line), each wrapped.
std::string paragraphs(std::string_view text, std::size_t indent) {
    std::string out;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find("\n\n"), text.size());
        if (!out.empty()) out += '\n';
        out += wrap(text.substr(0, end), indent, indent);
        text.remove_prefix(std::min(end + 2, text.size()));
    }
    return out;
}

std::string summary(const CLI::App* app) {
    const std::string& d = app->get_description();
    return d.substr(0, d.find('\n'));
}

// "rizorod decode": the names from the tool down to `app`.
std::string full_name(const CLI::App* app) {
    std::string name = app->get_name();
    for (const CLI::App* p = app->get_parent(); p != nullptr; p = p->get_parent()) name = p->get_name() + " " + name;
    return name;
}

// An option's placeholder: its type name without the notes that checks add (N, not
// N:UINT in [1 - 256]); the parser's own type names become VALUE.
std::string placeholder(const CLI::Option* opt) {
    std::string type = opt->get_type_name();
    type = type.substr(0, type.find(':'));
    for (const char* generic : {"TEXT", "UINT", "INT", "FLOAT", "BOOLEAN", "ENUM"})
        if (type == generic) return "VALUE";
    return type;
}

// Two columns: what to type, and what it does, wrapped beside it (below it when the first
// column is too wide).
std::string rows(const std::vector<std::pair<std::string, std::string>>& items) {
    std::size_t column = 0;
    for (const auto& [left, right] : items) column = std::max(column, left.size());
    column = std::min<std::size_t>(column + 4, 30);
    std::string out;
    for (const auto& [left, right] : items) {
        std::string line = "  " + left;
        if (line.size() + 2 > column) {
            out += line + "\n";
            line.clear();
        }
        line.resize(column, ' ');
        out += line + wrap(right, column, column).substr(column);
    }
    return out;
}

class Formatter final : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::string out = "Usage: " + full_name(app);
        const auto commands = app->get_subcommands([](const CLI::App* sub) { return !sub->get_name().empty(); });
        const auto positionals = app->get_options([](const CLI::Option* opt) { return opt->get_positional(); });
        const auto options = app->get_options([](const CLI::Option* opt) { return opt->nonpositional(); });
        if (!options.empty()) out += " [OPTIONS]";
        if (!commands.empty()) out += " COMMAND [ARGUMENTS]";
        for (const CLI::Option* p : positionals) {
            std::string name = p->get_name(true, false);
            if (p->get_expected_max() > 1) name += "...";
            out += " " + (p->get_required() ? name : "[" + name + "]");
        }
        out += "\n\n" + paragraphs(app->get_description(), 0);

        std::vector<std::pair<std::string, std::string>> items;
        for (const CLI::Option* p : positionals) items.emplace_back(p->get_name(true, false), p->get_description());
        if (!items.empty()) out += "\nArguments:\n" + rows(items);
        items.clear();
        for (const CLI::Option* opt : options) {
            std::string names = opt->get_name(false, true);
            for (std::size_t comma = names.find(','); comma != std::string::npos; comma = names.find(',', comma + 2))
                names.insert(comma + 1, " ");
            if (opt->get_type_size() != 0) names += " " + placeholder(opt);
            items.emplace_back(names, opt->get_description());
        }
        if (!items.empty()) out += "\nOptions:\n" + rows(items);
        items.clear();
        for (const CLI::App* sub : commands) items.emplace_back(sub->get_name(), summary(sub));
        if (!items.empty()) out += "\nCommands:\n" + rows(items);
        if (!app->get_footer().empty()) out += "\n" + app->get_footer();
        return out;
    }
};

// Edits that turn `a` into `b` (insert, delete, replace, or swap two neighbours).
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

void configure_help(CLI::App& app) {
    app.formatter(std::make_shared<Formatter>());
    app.allow_extras();
}

void set_examples(CLI::App* app, std::initializer_list<std::string_view> examples, ExitStatuses statuses) {
    std::string footer;
    if (app->get_parent() == nullptr)
        footer = wrap("Run 'rizorod help COMMAND' or 'rizorod COMMAND --help' for a command's options and "
                      "examples.",
                      0, 0) +
                 "\n";
    footer += "Examples:\n";
    for (std::string_view e : examples) footer.append("  ").append(e).append("\n");
    static const char* const kEntries[][2] = {
        {"0", "every entry was decoded"},
        {"1", "an entry could not be read or decoded; each gets one message on standard error: "
              "file:line: what was expected, what was found"},
        {"2", "a usage error; an output refused (one of the inputs, or a file of another kind "
              "without --force); or an input that could not be opened, read or held in memory"},
        {"3", "the output could not be written (a closed pipe stops the tool quietly)"}};
    static const char* const kPlain[][2] = {
        {"0", "success"},
        {"2", "a usage error, or an output refused (a file of another kind without --force)"},
        {"3", "the output could not be written"}};
    footer += "\nExit status:\n";
    if (statuses == ExitStatuses::entries)
        for (const auto& s : kEntries) footer += status_line(s[0], s[1]);
    else
        for (const auto& s : kPlain) footer += status_line(s[0], s[1]);
    app->footer(footer);
}

int usage_error(const std::string& message, const std::string& command) {
    std::fprintf(stderr, "rizorod: %s\nTry 'rizorod%s%s --help' for more information.\n", message.c_str(),
                 command.empty() ? "" : " ", command.c_str());
    return 2;
}

std::string unknown_command(const CLI::App& app, std::string_view word) {
    if (word.empty() || word[0] == '-') return {};
    const auto commands = app.get_subcommands([](const CLI::App* sub) { return !sub->get_name().empty(); });
    std::string names, best;
    std::size_t best_score = 3;  // a beginning, or at most two edits away
    for (const CLI::App* sub : commands) {
        if (sub->get_name() == word) return {};
        names += (names.empty() ? "" : ", ") + sub->get_name();
        const std::size_t score = sub->get_name().starts_with(word) ? 0 : distance(word, sub->get_name());
        if (score < best_score) {
            best = sub->get_name();
            best_score = score;
        }
    }
    const std::string what = "unknown command '" + escaped_name(word) + "'";
    return best.empty() ? what + " (the commands: " + names + ")" : what + "; did you mean '" + best + "'?";
}

std::string parse_error_message(const CLI::ParseError& e) {
    const std::string what = e.what();
    // "--jobs: 1 required UINT:UINT in [1 - 256] missing"
    if (e.get_name() == "ArgumentMismatch" && what.ends_with(" missing"))
        return "option " + what.substr(0, what.find(':')) + " needs a value";
    // "OUT is required"
    if (e.get_name() == "RequiredError" && what.ends_with(" is required") && what.find(' ') + 12 == what.size())
        return "missing " + what.substr(0, what.find(' '));
    return what;
}

std::string leftover_message(const CLI::App& app) {
    std::vector<std::string> left = app.remaining();
    for (const CLI::App* sub : app.get_subcommands()) {
        const auto more = sub->remaining();
        left.insert(left.end(), more.begin(), more.end());
    }
    for (const std::string& arg : left) {
        if (arg == "--") continue;
        if (arg.size() > 1 && arg[0] == '-') return "unknown option '" + escaped_name(arg.substr(0, arg.find('='))) + "'";
        return "unexpected argument '" + escaped_name(arg) + "'";
    }
    return {};
}

}  // namespace rizorod::tool
