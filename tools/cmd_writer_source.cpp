// SPDX-License-Identifier: Apache-2.0
// rizorod writer-source: the capture writer's two drop-in files, written into a folder. A file
// there that this command did not write is never overwritten without --force, and the files are
// written under temporary names first, so that a failure leaves the folder as it was.
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "command.h"
#include "help.h"
#include "options.h"
#include "output_file.h"
#include "writer_source.h"

namespace rizorod::tool {
namespace {

namespace fs = std::filesystem;

class WriterSource final : public Command {
public:
    explicit WriterSource(CLI::App& parent) {
        app = parent.add_subcommand(
            "writer-source",
            "Write the capture writer's C files for the stack's own build\n\n"
            "Writes rizorod_capture.c and rizorod_capture.h into DIR: plain C99 that needs "
            "<stddef.h>, <stdint.h> and <string.h> only, with every primitive's description written "
            "out from the decoders' rows. A file there that this command did not write is not "
            "replaced without --force; both are put in place only when both are complete.");
        set_examples(app, {"rizorod writer-source firmware/logging/"}, ExitStatuses::plain);
        app->add_option("DIR", dir_, "The folder to write them into (made when missing)")->required();
        app->add_flag("--force", force_, "Overwrite the two files even when they were not written by this command");
    }

    int run() override {
        const std::pair<std::string, std::string> files[] = {
            {"rizorod_capture.h", writer_header(RIZOROD_VERSION)}, {"rizorod_capture.c", writer_source(RIZOROD_VERSION)}};
        std::error_code error;
        fs::create_directories(dir_, error);
        if (error) {
            Output().message({"rizorod: ", escaped_name(dir_), ": cannot make the folder: ", error.message()});
            return kUsage;
        }
        // Both files are checked before either is written; a file whose text is already the
        // same is left untouched.
        const OutputKind ours{"a file written by rizorod writer-source", [](std::string_view head) {
                                  return head.find(kWriterMark) != std::string_view::npos;
                              }};
        OutputFile out[2];
        for (int i = 0; i < 2; ++i) {
            const std::string path = (fs::path(dir_) / files[i].first).string();
            if (same_text(path, files[i].second)) continue;
            if (const int status = out[i].open(path, {}, ours, force_)) return status;
        }
        for (int i = 0; i < 2; ++i)
            if (out[i].fd() >= 0 && !out[i].write(files[i].second)) return kWriteFailed;
        for (OutputFile& file : out)
            if (file.fd() >= 0)
                if (const int status = file.commit()) return status;
        return kOk;
    }

private:
    static bool same_text(const fs::path& path, const std::string& text) {
        std::error_code error;
        if (!fs::is_regular_file(path, error)) return false;
        std::ifstream in(path, std::ios::binary);
        std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return in && !in.bad() && old == text;
    }

    std::string dir_;
    bool force_ = false;
};

}  // namespace

std::unique_ptr<Command> add_writer_source(CLI::App& app) { return std::make_unique<WriterSource>(app); }

}  // namespace rizorod::tool
