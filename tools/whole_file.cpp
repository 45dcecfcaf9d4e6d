// SPDX-License-Identifier: Apache-2.0
#include "whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output.h"

namespace rizorod::tool {

std::string write_whole_file(const std::string& path, std::string_view text) {
    if (path == "-") {
        Output out;
        out.text(text);
        return out.failed() ? std::string("cannot write the output: ") + out.error() : std::string();
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string temp = folder + "." + path.substr(folder.size()) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return std::string("cannot create a file in its folder: ") + std::strerror(errno);
    // The permissions a new file would get: mkstemp gives only the owner any.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    std::string error;
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot write: ") + std::strerror(errno);
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::close(fd) != 0 && error.empty()) error = std::string("cannot write: ") + std::strerror(errno);
    if (error.empty() && ::rename(temp.c_str(), path.c_str()) != 0)
        error = std::string("cannot replace it: ") + std::strerror(errno);
    if (!error.empty()) ::unlink(temp.c_str());
    return error;
}

bool is_one_of(const std::string& path, const std::vector<std::string>& inputs) {
    struct stat out;
    if (path == "-" || ::stat(path.c_str(), &out) != 0) return false;
    for (const std::string& input : inputs.empty() ? std::vector<std::string>{"-"} : inputs) {
        struct stat in;
        const int rc = input == "-" ? ::fstat(0, &in) : ::stat(input.c_str(), &in);
        if (rc == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) return true;
    }
    return false;
}

}  // namespace rizorod::tool
