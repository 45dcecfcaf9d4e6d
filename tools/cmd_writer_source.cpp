// SPDX-License-Identifier: Apache-2.0
// rizorod writer-source: the capture writer's two drop-in files, written into a folder. A file
// there that this command did not write is never overwritten without --force, and the files are
// written under temporary names first, so that a failure leaves the folder as it was.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "command.h"
#include "options.h"
#include "writer_source.h"

namespace rizorod::tool {
namespace {

namespace fs = std::filesystem;

class WriterSource final : public Command {
public:
    explicit WriterSource(CLI::App& parent) {
        app = parent.add_subcommand(
            "writer-source",
            "Write the capture writer for the stack's own build into DIR: rizorod_capture.c and\n"
            "rizorod_capture.h, plain C99 that needs <stddef.h>, <stdint.h> and <string.h> only,\n"
            "with every primitive's description written out from the decoders' rows");
        app->add_option("DIR", dir_, "The folder to write them into (made when missing)")->required();
        app->add_flag("--force", force_, "Overwrite the two files even when they were not written by this command");
    }

    int run() override {
        const std::vector<std::pair<std::string, std::string>> files = {
            {"rizorod_capture.h", writer_header(RIZOROD_VERSION)}, {"rizorod_capture.c", writer_source(RIZOROD_VERSION)}};
        std::error_code error;
        fs::create_directories(dir_, error);
        if (error) return fail(dir_, "cannot make the folder: " + error.message());
        std::vector<std::pair<fs::path, fs::path>> moves;  // temporary name, final name
        int status = kOk;
        for (const auto& [name, text] : files) {
            const fs::path path = fs::path(dir_) / name;
            if (!replaceable(path, text, status)) break;
            if (status == kOk && !same_text(path, text)) {
                fs::path temporary = path;
                temporary.replace_filename("." + name + "." + std::to_string(::getpid()));
                if (!write_file(temporary, text, status)) break;
                moves.emplace_back(temporary, path);
            }
        }
        for (const auto& [temporary, path] : moves) {
            if (status == kOk && ::rename(temporary.c_str(), path.c_str()) != 0)
                status = fail(path.string(), std::strerror(errno));
            if (status != kOk) ::unlink(temporary.c_str());
        }
        return status;
    }

private:
    static int fail(const std::string& path, const std::string& what) {
        Output().message({"rizorod: ", escaped_name(path), ": ", what});
        return kWriteFailed;
    }

    // Whether `path` may be written: it does not exist, or it is a file that this command wrote.
    bool replaceable(const fs::path& path, const std::string& text, int& status) const {
        std::error_code error;
        const fs::file_status st = fs::symlink_status(path, error);
        if (!fs::exists(st)) return true;
        if (!fs::is_regular_file(st) && !(force_ && fs::is_symlink(st))) {
            status = fail(path.string(), "not a regular file; nothing written");
            return false;
        }
        if (force_ || same_text(path, text)) return true;
        std::ifstream in(path, std::ios::binary);
        std::string head(1024, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
        if (head.find(kWriterMark) != std::string::npos) return true;
        status = fail(path.string(), "not written by rizorod writer-source; nothing written (--force overwrites it)");
        return false;
    }

    static bool same_text(const fs::path& path, const std::string& text) {
        std::ifstream in(path, std::ios::binary);
        std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return in && !in.bad() && old == text;
    }

    static bool write_file(const fs::path& path, const std::string& text, int& status) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            status = fail(path.string(), std::strerror(errno));
            return false;
        }
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            done += static_cast<std::size_t>(n);
        }
        const int write_errno = errno;
        if (::close(fd) != 0 || done < text.size()) {
            status = fail(path.string(), std::strerror(done < text.size() ? write_errno : errno));
            ::unlink(path.c_str());
            return false;
        }
        return true;
    }

    std::string dir_;
    bool force_ = false;
};

}  // namespace

std::unique_ptr<Command> add_writer_source(CLI::App& app) { return std::make_unique<WriterSource>(app); }

}  // namespace rizorod::tool
