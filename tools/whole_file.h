// SPDX-License-Identifier: Apache-2.0
// Writing a file whole or not at all, and never over one of the inputs: a failed command leaves
// an existing file as it was.
#ifndef RIZORODOZIDO_TOOLS_WHOLE_FILE_H
#define RIZORODOZIDO_TOOLS_WHOLE_FILE_H

#include <string>
#include <string_view>
#include <vector>

namespace rizorod::tool {

// Writes `text` to `path` ("-": standard output) through a temporary file in the same folder,
// renamed over `path` at the end. Returns what went wrong, empty on success.
std::string write_whole_file(const std::string& path, std::string_view text);

// Whether `path` is the same file as one of `inputs` ("-", or none at all: standard input).
bool is_one_of(const std::string& path, const std::vector<std::string>& inputs);

}  // namespace rizorod::tool

#endif
