// SPDX-License-Identifier: Apache-2.0
// The file that rizorod export writes. No run ever truncates or overwrites a file it reads, and a
// run that fails leaves every existing file as it was: the output is refused when it is one of
// the inputs (the same file, through any name or link, standard input and output included), or
// when it exists and is not a pcapng file (unless forced); it is written to a temporary file in
// its own folder, which is renamed into its place once complete, and removed when the run fails
// or is ended by a signal. Standard output and files that are not regular files (a pipe, a
// device) are written directly.
#ifndef RIZORODOZIDO_TOOLS_OUTPUT_FILE_H
#define RIZORODOZIDO_TOOLS_OUTPUT_FILE_H

#include <string>
#include <vector>

namespace rizorod::tool {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // what was not put in place is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Checks `name` ("-": standard output) against the inputs (none: standard input) and opens
    // it for writing; `force` lets a file that is not a pcapng be replaced, and `older_form`
    // says that the name came as the first file of `export OUT [FILE...]`. Returns the exit
    // status: 0, or 2 after a message that names the file and says why.
    int open(const std::string& name, const std::vector<std::string>& inputs, bool force, bool older_form);
    int fd() const { return fd_; }
    // Puts what was written in place. Returns the exit status: 0, or 3 after a message.
    int commit();
    // Leaves every existing file as it was; says so when a file was being written.
    void abandon();

private:
    std::string name_;    // as messages show it
    std::string target_;  // the file that the temporary one replaces
    std::string temp_;
    bool existed_ = false;
    int fd_ = -1;
};

}  // namespace rizorod::tool

#endif
