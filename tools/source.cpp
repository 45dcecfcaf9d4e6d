// SPDX-License-Identifier: Apache-2.0
#include "source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#if RIZOROD_HAVE_ZLIB
#include <zlib.h>
#endif
#if RIZOROD_HAVE_LZMA
#include <lzma.h>
#endif
#if RIZOROD_HAVE_ZSTD
#include <zstd.h>
#endif

namespace rizorod::tool {
namespace {

enum Format { kPlain, kGzip, kXz, kZstd };
const char* const kFormatNames[] = {"plain", "gzip", "xz", "zstd"};
const char* const kLibraries[] = {"", "zlib", "liblzma", "libzstd"};

// The first bytes of each compressed format.
struct Magic {
    Format format;
    std::size_t size;
    unsigned char bytes[6];
};
constexpr Magic kMagic[] = {{kGzip, 2, {0x1f, 0x8b}},
                            {kXz, 6, {0xfd, '7', 'z', 'X', 'Z', 0x00}},
                            {kZstd, 4, {0x28, 0xb5, 0x2f, 0xfd}}};
constexpr std::size_t kLongestMagic = 6;

// The format that `n` bytes begin with; `unsure` when they are too few to tell.
Format format_of(const char* p, std::size_t n, bool& unsure) {
    unsure = false;
    for (const Magic& m : kMagic) {
        const std::size_t k = std::min(n, m.size);
        if (std::memcmp(p, m.bytes, k) != 0) continue;
        if (k == m.size) return m.format;
        unsure = true;
    }
    return kPlain;
}

// Whether `n` bytes may begin a capture: no NUL, and no control byte but tab, line and page
// ends and escape (of coloured logs).
bool text(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != 0x1b) return false;
    }
    return true;
}

long read_fd(int fd, void* p, std::size_t n) {
    ssize_t r;
    while ((r = ::read(fd, p, n)) < 0 && errno == EINTR) {
    }
    return static_cast<long>(r);
}

constexpr std::size_t kIn = std::size_t{1} << 16;  // compressed bytes read at a time
constexpr std::size_t kChecked = 4096;             // the first bytes that must be text

}  // namespace

// A decompressor: its compressed input, read kIn bytes at a time, and the stream state.
struct Source::Codec {
    enum class Step { ok, damaged, out_of_memory };
    explicit Codec(int format) : format(format) {}
    // Whether it could be made (memory for its state and its input).
    bool ready = false;
    virtual ~Codec() = default;
    // Decompresses from `in` (advanced past what it took) into [out, out + n), the count in
    // `written`; `last`: no input follows what is given.
    virtual Step step(const unsigned char*& in, std::size_t& in_len, unsigned char* out, std::size_t n,
                      std::size_t& written, bool last) = 0;
    // Whether the data so far ends where a stream ends.
    virtual bool complete() const = 0;

    const int format;
    std::unique_ptr<unsigned char[]> buf{new (std::nothrow) unsigned char[kIn]};
    std::size_t at = 0, len = 0;  // the input in buf not yet decompressed
    bool full = false;            // the last step filled its output: more may be waiting
};

namespace {

#if RIZOROD_HAVE_ZLIB
// gzip, member after member (as gzip -c a b writes them).
struct Gzip final : Source::Codec {
    Gzip() : Codec(kGzip) { ready = buf && inflateInit2(&z, 15 + 16) == Z_OK; }
    ~Gzip() override {
        if (ready) inflateEnd(&z);
    }
    Step step(const unsigned char*& in, std::size_t& in_len, unsigned char* out, std::size_t n, std::size_t& written,
              bool) override {
        z.next_in = const_cast<unsigned char*>(in);
        z.avail_in = static_cast<uInt>(in_len);
        z.next_out = out;
        z.avail_out = static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
        Step result = Step::ok;
        do {
            if (z.avail_in > 0) open = true;
            const int r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                open = false;
                inflateReset(&z);
            } else if (r == Z_BUF_ERROR) {
                break;  // nothing more to do with what it has
            } else if (r != Z_OK) {
                result = r == Z_MEM_ERROR ? Step::out_of_memory : Step::damaged;
                break;
            }
        } while (z.avail_out > 0 && z.avail_in > 0);
        written = static_cast<std::size_t>(z.next_out - out);
        in_len -= static_cast<std::size_t>(z.next_in - in);
        in = z.next_in;
        return result;
    }
    bool complete() const override { return !open; }

    z_stream z{};
    bool open = false;  // a member begun and not ended
};
#endif

#if RIZOROD_HAVE_LZMA
// xz, stream after stream.
struct Xz final : Source::Codec {
    Xz() : Codec(kXz) { ready = buf && lzma_stream_decoder(&s, UINT64_MAX, LZMA_CONCATENATED) == LZMA_OK; }
    ~Xz() override { lzma_end(&s); }
    Step step(const unsigned char*& in, std::size_t& in_len, unsigned char* out, std::size_t n, std::size_t& written,
              bool last) override {
        s.next_in = in;
        s.avail_in = in_len;
        s.next_out = out;
        s.avail_out = n;
        const lzma_ret r = lzma_code(&s, last ? LZMA_FINISH : LZMA_RUN);
        written = n - s.avail_out;
        in_len = s.avail_in;
        in = s.next_in;
        if (r == LZMA_STREAM_END) ended = true;
        if (r == LZMA_MEM_ERROR) return Step::out_of_memory;
        return r == LZMA_OK || r == LZMA_STREAM_END || r == LZMA_BUF_ERROR ? Step::ok : Step::damaged;
    }
    bool complete() const override { return ended; }

    lzma_stream s = LZMA_STREAM_INIT;
    bool ended = false;
};
#endif

#if RIZOROD_HAVE_ZSTD
// zstd, frame after frame.
struct Zstd final : Source::Codec {
    Zstd() : Codec(kZstd), d(ZSTD_createDCtx()) { ready = buf && d != nullptr; }
    ~Zstd() override { ZSTD_freeDCtx(d); }
    Step step(const unsigned char*& in, std::size_t& in_len, unsigned char* out, std::size_t n, std::size_t& written,
              bool) override {
        ZSTD_inBuffer ib{in, in_len, 0};
        ZSTD_outBuffer ob{out, n, 0};
        const std::size_t r = ZSTD_decompressStream(d, &ob, &ib);
        written = ob.pos;
        in += ib.pos;
        in_len -= ib.pos;
        if (ZSTD_isError(r)) return Step::damaged;
        if (ib.pos > 0 || ob.pos > 0) ended = r == 0;  // (a call with nothing to do hints at a next frame)
        return Step::ok;
    }
    bool complete() const override { return ended; }

    ZSTD_DCtx* d;
    bool ended = true;
};
#endif

// The decompressor of `format`; null when this build has none, or (`ready` false) when it could
// not be made.
std::unique_ptr<Source::Codec> codec(Format format) {
    switch (format) {
#if RIZOROD_HAVE_ZLIB
    case kGzip: return std::unique_ptr<Source::Codec>(new (std::nothrow) Gzip);
#endif
#if RIZOROD_HAVE_LZMA
    case kXz: return std::unique_ptr<Source::Codec>(new (std::nothrow) Xz);
#endif
#if RIZOROD_HAVE_ZSTD
    case kZstd: return std::unique_ptr<Source::Codec>(new (std::nothrow) Zstd);
#endif
    default: return nullptr;
    }
}

}  // namespace

std::string source_error(int code) {
    if (code == kNotCapture)
        return "not a capture (binary data; compressed captures are read in gzip, xz or zstd)";
    if (code == kCompressedPiece) return "a compressed capture cannot be cut into pieces; decompress it first";
    if (code == kStreamPiece) return "only a regular file can be cut into pieces";
    const int format = -code % 16;
    const std::string name = format >= 1 && format <= 3 ? kFormatNames[format] : "?";
    switch (-code / 16) {
    case 1: return "the " + name + " data is damaged";
    case 2: return "the " + name + " data ends early";
    case 3: return name + " data, which this rizorod reads only when built with " + kLibraries[format];
    }
    return "unknown error " + std::to_string(code);
}

bool compressed_file(int fd) {
    char head[kLongestMagic];
    ssize_t n;
    while ((n = ::pread(fd, head, sizeof head, 0)) < 0 && errno == EINTR) {
    }
    bool unsure = false;
    return n > 0 && format_of(head, static_cast<std::size_t>(n), unsure) != kPlain;
}

// The decompressing thread of a compressed file: it fills up to kAhead buffers of text ahead of
// the reader, so that decompressing and decoding overlap. Its buffers are made at the start, so
// that the thread allocates nothing.
class Source::Ahead {
public:
    Ahead(Source& source, int fd) : source_(source), fd_(fd) {
        for (Buffer& b : slots_) {
            b.data.reset(new (std::nothrow) char[kBuffer]);
            if (!b.data) return;
        }
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {  // no thread: the reader decompresses itself
        }
    }
    ~Ahead() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    bool running() const { return thread_.joinable(); }

    // Up to `n` bytes of text: the count, 0 at the end, -1 with the reason in `error`.
    long take(char* p, std::size_t n, int& error) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return count_ > 0 || done_; });
        if (count_ == 0) {
            error = error_;
            return error_ != 0 ? -1 : 0;
        }
        Buffer& b = slots_[head_];
        const std::size_t k = std::min(n, b.size - b.at);
        std::memcpy(p, b.data.get() + b.at, k);
        b.at += k;
        if (b.at == b.size) {
            head_ = (head_ + 1) % kAhead;
            --count_;
            changed_.notify_all();
        }
        return static_cast<long>(k);
    }

private:
    static constexpr std::size_t kAhead = 4, kBuffer = std::size_t{1} << 18;
    struct Buffer {
        std::unique_ptr<char[]> data;
        std::size_t size = 0, at = 0;
    };

    void run() {
        for (;;) {
            std::size_t slot;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || count_ < kAhead; });
                if (stop_) return;
                slot = (head_ + count_) % kAhead;
            }
            Buffer& b = slots_[slot];  // not the reader's until counted
            b.size = b.at = 0;
            int error = 0;
            long r = 1;
            while (b.size < kBuffer && (r = source_.decompress(fd_, b.data.get() + b.size, kBuffer - b.size, error)) > 0)
                b.size += static_cast<std::size_t>(r);
            {
                std::lock_guard lock(mutex_);
                if (b.size > 0) ++count_;
                if (r <= 0) {
                    done_ = true;
                    error_ = r < 0 ? error : 0;
                }
            }
            changed_.notify_all();
            if (r <= 0) return;
        }
    }

    Source& source_;
    const int fd_;
    Buffer slots_[kAhead];
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t head_ = 0, count_ = 0;  // the buffers of text, from slots_[head_] on
    bool done_ = false, stop_ = false;
    int error_ = 0;
    std::thread thread_;
};

Source::Source() = default;
Source::~Source() = default;

long Source::read(int fd, char* p, std::size_t n) {
    if (error_ != 0) return -1;
    long got;
    if (!started_) {
        started_ = true;
        got = start(fd, p, n);
    } else if (ahead_) {
        got = ahead_->take(p, n, error_);
    } else if (codec_) {
        got = decompress(fd, p, n, error_);
    } else {
        got = read_fd(fd, p, n);
        if (got < 0) return fail(errno);
    }
    // The first 4 KiB of text, whatever the reads that bring them.
    const std::size_t check = std::min<std::size_t>(got > 0 ? static_cast<std::size_t>(got) : 0, kChecked - checked_);
    if (!text(p, check)) return fail(kNotCapture);
    checked_ += check;
    return got;
}

bool Source::pending() const { return codec_ && (codec_->at < codec_->len || codec_->full); }

// The first read: up to the first bytes of a compressed format, to tell one.
long Source::start(int fd, char* p, std::size_t n) {
    long got = read_fd(fd, p, n);
    if (got < 0) return fail(errno);
    bool unsure = got > 0;
    Format format = kPlain;
    while (unsure) {
        format = format_of(p, static_cast<std::size_t>(got), unsure);
        if (!unsure || static_cast<std::size_t>(got) >= kLongestMagic) break;
        const long more = read_fd(fd, p + got, n - static_cast<std::size_t>(got));
        if (more < 0) return fail(errno);
        if (more == 0) break;
        got += more;
    }
    if (format == kPlain) return got;
    codec_ = codec(format);
    if (!codec_) return fail(source_unbuilt(format));
    if (!codec_->ready) return fail(ENOMEM);
    std::memcpy(codec_->buf.get(), p, static_cast<std::size_t>(got));
    codec_->len = static_cast<std::size_t>(got);
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        ahead_.reset(new (std::nothrow) Ahead(*this, fd));
        if (ahead_ && !ahead_->running()) ahead_.reset();
    }
    return ahead_ ? ahead_->take(p, n, error_) : decompress(fd, p, n, error_);
}

long Source::decompress(int fd, char* p, std::size_t n, int& error) {
    const auto failed = [&](int reason) {
        error = reason;
        return -1L;
    };
    Codec& c = *codec_;
    for (;;) {
        if (c.at == c.len && !eof_) {
            const long r = read_fd(fd, c.buf.get(), kIn);
            if (r < 0) return failed(errno);
            c.at = 0;
            c.len = static_cast<std::size_t>(r);
            eof_ = r == 0;
        }
        const unsigned char* in = c.buf.get() + c.at;
        std::size_t left = c.len - c.at, written = 0;
        const Codec::Step step = c.step(in, left, reinterpret_cast<unsigned char*>(p), n, written, eof_);
        const bool took = c.len - left != c.at;
        c.at = c.len - left;
        c.full = written == n;
        if (step == Codec::Step::damaged) return failed(source_damaged(c.format));
        if (step == Codec::Step::out_of_memory) return failed(ENOMEM);
        if (written > 0) return static_cast<long>(written);
        if (c.at == c.len && eof_) return c.complete() ? 0 : failed(source_truncated(c.format));
        if (!took && c.at < c.len) return failed(source_damaged(c.format));  // it can do nothing with it
    }
}

long Source::fail(int error) {
    error_ = error;
    return -1;
}

}  // namespace rizorod::tool
