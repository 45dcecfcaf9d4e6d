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

namespace rizorod::tool {
namespace {

constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// The temporary files being written, for the handler of the signals that end the tool.
constexpr int kSlots = 4;
char g_temp[kSlots][PATH_MAX];
volatile std::sig_atomic_t g_temp_set[kSlots] = {};

void remove_temp(int sig) {
    for (int i = 0; i < kSlots; ++i)
        if (g_temp_set[i]) ::unlink(g_temp[i]);
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

mode_t current_umask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Reads the start of an existing file: whether it is of the kind (or empty), or why it could
// not be read.
std::string ours_or_why(const std::string& path, const OutputKind& kind, bool& ours) {
    ours = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return error_text(errno);
    char head[kHeadBytes];
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
    ours = got == 0 || kind.ours({head, got});
    return {};
}

// Whether the existing regular file `out` is one of the inputs (none: standard input), after a
// message that names the input.
bool is_an_input(const std::string& name, const std::vector<std::string>& inputs, const struct stat& out) {
    const std::vector<std::string> standard_input{"-"};
    for (const std::string& input : inputs.empty() ? standard_input : inputs) {
        struct stat in {};
        const bool there = input == "-" ? ::fstat(0, &in) == 0 : ::stat(input.c_str(), &in) == 0;
        if (there && same_file(in, out)) {
            say(name, "is the same file as the input " + (input == "-" ? std::string("<stdin>") : escaped_name(input)) +
                          "; the output must be another file");
            return true;
        }
    }
    return false;
}

}  // namespace

OutputFile::~OutputFile() {
    if (fd_ > 2) ::close(fd_);
    if (!temp_.empty()) {
        if (slot_ >= 0) g_temp_set[slot_] = 0;
        ::unlink(temp_.c_str());
    }
}

int OutputFile::open(const std::string& name, const std::vector<std::string>& inputs, const OutputKind& kind,
                     bool force, const std::string& hint) {
    name_ = name == "-" ? "<stdout>" : escaped_name(name);
    struct stat out {};
    const bool exists = name == "-" ? ::fstat(1, &out) == 0 : ::stat(name.c_str(), &out) == 0;
    if (exists && S_ISDIR(out.st_mode)) {
        say(name_, "is a directory");
        return kUsage;
    }
    // A regular file is compared with the inputs; a terminal or a pipe may well be both.
    if (exists && S_ISREG(out.st_mode) && is_an_input(name_, inputs, out)) return kUsage;
    if (name == "-") {
        fd_ = 1;
        return kOk;
    }
    if (exists && !S_ISREG(out.st_mode)) {  // a pipe or a device: written as it is
        fd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ >= 0) return kOk;
        say(name_, "cannot open: " + error_text(errno));
        return kWriteFailed;
    }
    target_ = name;
    existed_ = exists;
    if (exists)
        if (const int status = may_replace(name, kind, force, hint)) return status;
    return create_temp(exists ? out.st_mode & 07777 : 0666 & ~current_umask());
}

// Whether the existing file `name` may be replaced: 0, or the status after a message. Through a
// symbolic link, the file it names is the one replaced (target_) and the link stays.
int OutputFile::may_replace(const std::string& name, const OutputKind& kind, bool force, const std::string& hint) {
    if (::access(name.c_str(), W_OK) != 0) {
        say(name_, "cannot open: " + error_text(errno));
        return kWriteFailed;
    }
    bool ours = false;
    const std::string why = force ? std::string() : ours_or_why(name, kind, ours);
    if (!force && !why.empty()) {
        say(name_, std::string("cannot read it to check that it is ") + kind.what + ": " + why + "; --force replaces it");
        return kUsage;
    }
    if (!force && !ours) {
        say(name_, std::string("exists and is not ") + kind.what + "; --force replaces it" + hint);
        return kUsage;
    }
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
    return kOk;
}

// The temporary file beside target_: in the same folder, hidden, named after the output, with
// `mode`; its name where the signal handler finds it. 0, or the status after a message.
int OutputFile::create_temp(mode_t mode) {
    const std::size_t slash = target_.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    temp_ = target_.substr(0, base) + "." + target_.substr(base, 200) + ".XXXXXX";
    remove_temp_on_signals();
    HoldSignals hold;
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        const int err = errno;
        temp_.clear();
        say(name_, "cannot create: " + error_text(err));
        return kWriteFailed;
    }
    for (int i = 0; i < kSlots && slot_ < 0; ++i)
        if (!g_temp_set[i] && temp_.size() < sizeof g_temp[i]) {
            std::memcpy(g_temp[i], temp_.c_str(), temp_.size() + 1);
            g_temp_set[i] = 1;
            slot_ = i;
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
    if (slot_ >= 0) g_temp_set[slot_] = 0;
    slot_ = -1;
    temp_.clear();
    return kOk;
}

void OutputFile::abandon() {
    if (fd_ > 2) ::close(fd_);
    fd_ = -1;
    if (temp_.empty()) return;
    if (slot_ >= 0) g_temp_set[slot_] = 0;
    slot_ = -1;
    ::unlink(temp_.c_str());
    temp_.clear();
    say(name_, existed_ ? "left as it was" : "not written");
}

bool OutputFile::write(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd_, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            say(name_, "cannot write: " + error_text(errno));
            abandon();
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int write_output(const std::string& name, const std::vector<std::string>& inputs, const OutputKind& kind, bool force,
                 std::string_view text) {
    OutputFile file;
    if (const int status = file.open(name, inputs, kind, force)) return status;
    if (!file.write(text)) return kWriteFailed;
    return file.commit();
}

}  // namespace rizorod::tool
