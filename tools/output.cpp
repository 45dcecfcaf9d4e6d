// SPDX-License-Identifier: Apache-2.0
#include "output.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rizorod::tool {

void Output::text(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        const ssize_t n = ::write(out_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            broken_pipe_ = errno == EPIPE;
            error_ = std::strerror(errno);
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void Output::message(std::initializer_list<std::string_view> parts) {
    iovec io[9];
    int count = 0;
    for (std::string_view part : parts)
        if (count < 8) io[count++] = {const_cast<char*>(part.data()), part.size()};
    io[count++] = {const_cast<char*>("\n"), 1};
    // Standard error is for messages; when it cannot take one there is no one to tell.
    while (::writev(err_, io, count) < 0 && errno == EINTR) {
    }
}

bool reserve_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is this one, since those below it are open.
        int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (opened < 0 && fd == 0) opened = ::open("/dev/null", O_RDONLY);
        if (opened != fd) {
            if (opened >= 0) ::close(opened);
            return false;
        }
    }
    return true;
}

std::string escaped_name(std::string_view name) {
    std::string out;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            static constexpr char kDigits[] = "0123456789abcdef";
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace rizorod::tool
