// SPDX-License-Identifier: Apache-2.0
// The expressions of --where: comparisons of fields with values, joined by and, or and not
// (docs/SELECTING.md has the language). A field is a label of the decoding at any depth, or one
// of the entry's own: interface, code, name, time.
#ifndef RIZORODOZIDO_TOOLS_FILTER_H
#define RIZORODOZIDO_TOOLS_FILTER_H

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <RizOrodOzido/capture.h>

namespace rizorod::tool {

// A bad expression: what was wrong, the expression, and a caret under the bad token.
class FilterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Filter {
public:
    struct Node;
    // The expression `text`. Throws FilterError.
    static std::shared_ptr<const Filter> parse(std::string_view text);
    // All of `filters` at once (--where given several times).
    static std::shared_ptr<const Filter> all_of(const std::vector<std::shared_ptr<const Filter>>& filters);

    // Whether the entry passes. Walks the entry when the expression names a field of the
    // decoding, so it throws DecodeError where decoding would.
    bool matches(const Entry& entry, Decoder& decoder) const;
    // Whether the expression compares times with dates.
    bool uses_dates() const;

    ~Filter();
    Filter(std::vector<Node> nodes, std::vector<std::string> labels);

private:
    std::vector<Node> nodes_;  // nodes_.back() is the root
    std::vector<std::string> labels_;  // the decoding's labels the expression names
};

}  // namespace rizorod::tool

#endif
