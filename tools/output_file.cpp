// SPDX-License-Identifier: Apache-2.0
#include "output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output.h"
#include "pcapng.h"

namespace rizorod::tool {
namespace {

constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// The temporary file being written, for the handler of the signals that end the tool.
char g_temp[PATH_MAX];
volatile std::sig_atomic_t g_temp_set = 0;

void remove_temp(int sig) {
    if (g_temp_set) ::unlink(g_temp);
    ::raise(sig);  // the handler is reset by now: the signal ends the tool as it would have
}

// Removes the temporary file when a signal ends the tool; signals that were ignored stay so.
void remove_temp_on_signals() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int sig : kEndingSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = remove_temp;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        ::sigaction(sig, &sa, nullptr);
    }
}

// Holds the signals that end the tool for its scope, so that a temporary file is never created
// without its name where the handler finds it.
class HoldSignals {
public:
    HoldSignals() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : kEndingSignals) sigaddset(&set, sig);
        ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~HoldSignals() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    HoldSignals(const HoldSignals&) = delete;
    HoldSignals& operator=(const HoldSignals&) = delete;

private:
    sigset_t old_;
};

void say(const std::string& name, const std::string& why) {
    std::fprintf(stderr, "rizorod: %s: %s\n", name.c_str(), why.c_str());
}

std::string error_text(int err) { return std::strerror(err); }

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Reads the start of an existing file: whether it is a pcapng file (or empty), or why it could
// not be read.
std::string pcapng_or_why(const std::string& path, bool& pcapng) {
    pcapng = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return error_text(errno);
    char head[12];
    std::size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = ::read(fd, head + got, sizeof head - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            return error_text(err);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    pcapng = got == 0 || pcapng::begins_file({head, got});
    return {};
}

}  // namespace

OutputFile::~OutputFile() {
    if (fd_ > 2) ::close(fd_);
    if (!temp_.empty()) {
        g_temp_set = 0;
        ::unlink(temp_.c_str());
    }
}

int OutputFile::open(const std::string& name, const std::vector<std::string>& inputs, bool force, bool older_form) {
    name_ = name == "-" ? "<stdout>" : escaped_name(name);
    struct stat out {};
    const bool exists = name == "-" ? ::fstat(1, &out) == 0 : ::stat(name.c_str(), &out) == 0;
    if (exists && S_ISDIR(out.st_mode)) {
        say(name_, "is a directory");
        return kUsage;
    }
    // A regular file is compared with the inputs; a terminal or a pipe may well be both.
    if (exists && S_ISREG(out.st_mode)) {
        const std::vector<std::string> standard_input{"-"};
        for (const std::string& input : inputs.empty() ? standard_input : inputs) {
            struct stat in {};
            const bool there = input == "-" ? ::fstat(0, &in) == 0 : ::stat(input.c_str(), &in) == 0;
            if (there && same_file(in, out)) {
                say(name_, "is the same file as the input " + (input == "-" ? std::string("<stdin>") : escaped_name(input)) +
                               "; the output must be another file");
                return kUsage;
            }
        }
    }
    if (name == "-") {
        fd_ = 1;
        return kOk;
    }
    if (exists && !S_ISREG(out.st_mode)) {  // a pipe or a device: written as it is
        fd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ >= 0) return kOk;
        say(name_, "cannot open: " + error_text(errno));
        return kUsage;
    }
    target_ = name;
    existed_ = exists;
    if (exists) {
        if (::access(name.c_str(), W_OK) != 0) {
            say(name_, "cannot open: " + error_text(errno));
            return kUsage;
        }
        bool pcapng = false;
        const std::string why = force ? std::string() : pcapng_or_why(name, pcapng);
        if (!force && !why.empty()) {
            say(name_, "cannot read it to check that it is a pcapng file: " + why + "; --force replaces it");
            return kUsage;
        }
        if (!force && !pcapng) {
            say(name_, "exists and is not a pcapng file; --force replaces it" +
                           std::string(older_form ? " (to export it, name the output with -o)" : ""));
            return kUsage;
        }
        // Through a symbolic link, the file it names is replaced and the link stays.
        struct stat link {};
        if (::lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            char* real = ::realpath(name.c_str(), nullptr);
            if (real == nullptr) {
                say(name_, "cannot open: " + error_text(errno));
                return kUsage;
            }
            target_ = real;
            std::free(real);
        }
    }
    // The temporary file: in the same folder, hidden, named after the output.
    const std::size_t slash = target_.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    temp_ = target_.substr(0, base) + "." + target_.substr(base, 200) + ".XXXXXX";
    remove_temp_on_signals();
    {
        HoldSignals hold;
        fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
        if (fd_ < 0) {
            const int err = errno;
            temp_.clear();
            say(name_, "cannot create: " + error_text(err));
            return kUsage;
        }
        if (temp_.size() < sizeof g_temp) {
            std::memcpy(g_temp, temp_.c_str(), temp_.size() + 1);
            g_temp_set = 1;
        }
    }
    mode_t mode = out.st_mode & 07777;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd_, mode);  // failing, the file stays readable by its owner alone
    return kOk;
}

int OutputFile::commit() {
    if (fd_ <= 2) return kOk;  // standard output
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        std::fprintf(stderr, "rizorod: cannot write the output: %s\n", std::strerror(errno));
        abandon();
        return kWriteFailed;
    }
    if (temp_.empty()) return kOk;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        say(name_, "cannot put the output in place: " + error_text(errno));
        abandon();
        return kWriteFailed;
    }
    g_temp_set = 0;
    temp_.clear();
    return kOk;
}

void OutputFile::abandon() {
    if (fd_ > 2) ::close(fd_);
    fd_ = -1;
    if (temp_.empty()) return;
    g_temp_set = 0;
    ::unlink(temp_.c_str());
    temp_.clear();
    say(name_, existed_ ? "left as it was" : "not written");
}

}  // namespace rizorod::tool
