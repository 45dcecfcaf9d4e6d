// SPDX-License-Identifier: Apache-2.0
// The files that rizorod writes (export's pcapng, report's page, writer-source's pair). No run
// ever truncates or overwrites a file it reads, and a run that fails leaves every existing file
// as it was: an output is refused when it is one of the inputs (the same file, through any name
// or link, standard input and output included), or when it exists and is not a file of the kind
// the command writes (unless forced); it is written to a temporary file in its own folder, which
// is renamed into its place once complete, and removed when the run fails or is ended by a
// signal. Standard output and files that are not regular files (a pipe, a device) are written
// directly.
#ifndef RIZORODOZIDO_TOOLS_OUTPUT_FILE_H
#define RIZORODOZIDO_TOOLS_OUTPUT_FILE_H

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace rizorod::tool {

// The files a command may replace without --force: empty ones, and those whose start (up to
// kHeadBytes) `ours` recognises as the command's own kind, `what` in messages.
struct OutputKind {
    const char* what;  // "a pcapng file"
    bool (*ours)(std::string_view head);
};
inline constexpr std::size_t kHeadBytes = 1024;

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // what was not put in place is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Checks `name` ("-": standard output) against the inputs (none: standard input) and opens
    // it for writing; `force` lets a file of another kind be replaced; `hint` ends the message
    // that refuses one. Returns the exit status: 0; 2 after a message that names the file and
    // says why it is refused; 3 when it cannot be opened or created.
    int open(const std::string& name, const std::vector<std::string>& inputs, const OutputKind& kind, bool force,
             const std::string& hint = {});
    // Writes all of `text`; false after a message (the file is then abandoned).
    bool write(std::string_view text);
    int fd() const { return fd_; }
    // Puts what was written in place. Returns the exit status: 0, or 3 after a message.
    int commit();
    // Leaves every existing file as it was; says so when a file was being written.
    void abandon();

private:
    int may_replace(const std::string& name, const OutputKind& kind, bool force, const std::string& hint);
    int create_temp(mode_t mode);

    int slot_ = -1;       // where the signal handler finds the temporary file's name
    std::string name_;    // as messages show it
    std::string target_;  // the file that the temporary one replaces
    std::string temp_;
    bool existed_ = false;
    int fd_ = -1;
};

// `text` into the file `name` through an OutputFile: the exit status, after a message if not 0.
int write_output(const std::string& name, const std::vector<std::string>& inputs, const OutputKind& kind, bool force,
                 std::string_view text);

}  // namespace rizorod::tool

#endif
