// The decoding pipeline: see pipeline.h.
//
// The calling thread reads each input with large read(2) calls into a buffer and cuts it into
// chunks at entry lines (CaptureParser::starts_entry), counting lines so that each chunk knows
// the number of its first line. A chunk is parsed and handled as a whole, by the calling thread
// with one job; with N jobs by N - 1 worker threads and by the calling thread whenever it would
// otherwise wait for room, so that N threads keep N cores busy. Whoever finishes the oldest
// chunk writes every finished chunk in order, so output goes on while the calling thread waits
// for input.
//
// Memory: a chunk is about kChunk bytes of input, or one entry when that is longer; a chunk is
// sent on only while less than kBudget bytes of input are in flight, in at most kMaxSlots chunks;
// buffers that grew for long entries are given back once short chunks follow.
#include "pipeline.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "capture/find_byte.h"

namespace rizorod::tool {

// ---- Output

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

void ChunkOut::message(std::string line, int line_status) {
    messages.push_back({text.size(), std::move(line), line_status});
    status = std::max(status, line_status);
}

void ChunkOut::clear() {
    text.clear();
    messages.clear();
    status = kOk;
}

void Handler::problem(const Problem& problem, const InputInfo& input, ChunkOut& out) {
    out.message(input.name + ":" + std::to_string(problem.line) + ": " + problem.message, kEntryFailed);
}

namespace {

class TextHandler final : public Handler {
public:
    void entry(const Entry& entry, const InputInfo& input, ChunkOut& out) override {
        try {
            out.text += decoder_.decode(entry);
        } catch (const DecodeError& e) {
            out.message(input.name + ":" + std::to_string(entry.line) + ": " + e.what(), kEntryFailed);
        }
    }

private:
    Decoder decoder_;
};

}  // namespace

std::unique_ptr<Handler> text_handler() { return std::make_unique<TextHandler>(); }

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

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 16;   // input bytes of a chunk
constexpr std::size_t kMinRead = std::size_t{1} << 14;  // smallest room a read(2) is given
constexpr std::size_t kKeep = 4 * kChunk;               // larger buffers are given back
constexpr std::size_t kBudget = std::size_t{1} << 20;   // input bytes in flight
constexpr unsigned kMaxWorkers = 16;
constexpr std::size_t kMaxSlots = 16;                   // chunks in flight

// The number of line ends in [p, p + n): 16 bytes at a time where SSE2 is there.
std::size_t count_lines(const char* p, std::size_t n) {
    std::size_t lines = 0;
#if defined(__SSE2__)
    const __m128i nl = _mm_set1_epi8('\n');
    while (n >= 16) {
        // Each byte lane counts up to 255 blocks; then the lanes are summed.
        const std::size_t blocks = std::min<std::size_t>(n / 16, 255);
        __m128i counts = _mm_setzero_si128();
        for (std::size_t i = 0; i < blocks; ++i, p += 16)
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), nl));
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        lines += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
        n -= blocks * 16;
    }
#endif
    return lines + static_cast<std::size_t>(std::count(p, p + n, '\n'));
}

// A byte buffer that reports a failed allocation instead of raising it, and never initializes
// what it does not copy.
class Bytes {
public:
    char* data() { return data_.get(); }
    const char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }
    void resize(std::size_t n) { size_ = n; }  // within the capacity
    bool reserve(std::size_t n) noexcept {
        if (n <= capacity_) return true;
        std::unique_ptr<char[]> grown(new (std::nothrow) char[n]);
        if (!grown) return false;
        if (size_ != 0) std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        capacity_ = n;
        return true;
    }
    void release() noexcept {
        data_.reset();
        size_ = capacity_ = 0;
    }
    void swap(Bytes& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0, capacity_ = 0;
};

// One large buffer kept for the next long entry, so that a run of long entries does not make
// the reader grow a buffer for each; given back once 16 short chunks in a row have gone by.
class Spare {
public:
    void short_chunk() {
        std::lock_guard lock(mutex_);
        if (++short_run_ >= 16) spare_.release();
    }
    // Keeps `bytes` if it is larger than the one kept; `bytes` is left empty.
    void put(Bytes& bytes) {
        std::lock_guard lock(mutex_);
        if (bytes.capacity() > spare_.capacity()) spare_.swap(bytes);
        bytes.release();
        spare_.resize(0);
        short_run_ = 0;
    }
    // Moves the first `size` bytes of `bytes` into the kept buffer, if it holds `need` bytes,
    // and gives it to `bytes`.
    bool take(Bytes& bytes, std::size_t size, std::size_t need) {
        std::lock_guard lock(mutex_);
        if (spare_.capacity() < need) return false;
        if (size != 0) std::memcpy(spare_.data(), bytes.data(), size);
        bytes.swap(spare_);
        spare_.release();
        return true;
    }

private:
    std::mutex mutex_;
    Bytes spare_;
    int short_run_ = 0;
};

// What ends an input, said after its last chunk's output.
enum class Tail { none, read_error, out_of_memory, cannot_open, directory };

struct Chunk {
    const InputInfo* input = nullptr;
    Bytes data;
    std::size_t first_line = 1;
    bool resumed = false;  // the input paused in the middle of an entry just before it
    Tail tail = Tail::none;
    std::size_t tail_line = 0;
    int tail_errno = 0;
    // Results.
    ChunkOut out;
    bool out_of_memory = false;
    std::size_t handled = 0;  // with out_of_memory: the lines handled before it
    bool done = false;

    // Ready for the next use; buffers that grew for a long entry are given back.
    void recycle(Spare& spare) {
        tail = Tail::none;
        out_of_memory = false;
        resumed = false;
        // A long chunk leaves its buffer for the next long entry; a short one gives back
        // whatever grew.
        if (data.size() > kKeep) {
            spare.put(data);
        } else {
            if (data.capacity() > kKeep) data.release();
            spare.short_chunk();
        }
        data.resize(0);
        if (out.text.capacity() > std::max(kKeep, 2 * out.text.size())) std::string().swap(out.text);
        out.clear();
    }
};

// Reads one input and cuts it into chunks.
class Reader {
public:
    Reader(const Input& input, const InputInfo& info, int pause_ms, Spare& spare)
        : info_(info), pause_ms_(pause_ms), spare_(spare) {
        if (input.literal) {
            if (!buf_.reserve(input.text.size() + 1)) {
                out_of_memory();
                return;
            }
            std::memcpy(buf_.data(), input.text.data(), input.text.size());
            len_ = input.text.size();
            eof_ = true;
            return;
        }
        if (input.name == "-") {
            fd_ = 0;
        } else {
            fd_ = ::open(input.name.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd_ < 0) {
                fail(Tail::cannot_open, errno);
                return;
            }
            own_ = true;
        }
        struct stat st;
        if (::fstat(fd_, &st) == 0) {
            if (own_ && S_ISDIR(st.st_mode)) {
                fail(Tail::directory, 0);
                return;
            }
            regular_ = S_ISREG(st.st_mode);
        }
    }
    ~Reader() {
        if (own_) ::close(fd_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The next chunk into `c`, whose buffer the reader takes in exchange; false when the input
    // has ended and nothing is left to say about it.
    bool next(Chunk& c) {
        c.input = &info_;
        c.data.resize(0);
        for (;;) {
            if (ended_) {
                if (tail_ == Tail::none) return false;
                c.first_line = first_line_;
                c.tail = tail_;
                c.tail_line = tail_line_;
                c.tail_errno = tail_errno_;
                tail_ = Tail::none;
                return true;
            }
            if (eof_) {
                ended_ = true;
                if (len_ == 0) continue;
                give(c, len_);
                return true;
            }
            if (read_errno_ != 0) {
                // The entry being read may have lost lines: it is left out, and the message
                // says where reading stopped.
                give(c, boundary_);
                fail(Tail::read_error, read_errno_);
                tail_line_ = first_line_ - 1;
                if (c.data.empty()) continue;
                return true;
            }
            if (len_ >= kChunk && boundary_ > 0) return give(c, boundary_);
            if (!regular_ && complete_ > 0) {
                // What came so far is decoded at once when no more input is there: the complete
                // entries now, the last one too when the input stays silent for a pause.
                if (!ready(boundary_ > 0 ? 0 : pause_ms_)) {
                    if (boundary_ > 0) return give(c, boundary_);
                    give(c, complete_);
                    resumed_ = true;
                    return true;
                }
            }
            if (buf_.capacity() - len_ < kMinRead) {
                if (boundary_ == 0 && complete_ > 0 && partial_starts_entry()) boundary_ = complete_;
                if (boundary_ > 0) return give(c, boundary_);
                // One entry, not yet complete, fills the buffer: it grows.
                if (!grow(len_, std::max(2 * buf_.capacity(), 2 * kChunk))) {
                    out_of_memory();
                    continue;
                }
            }
            read_more();
        }
    }

private:
    void fail(Tail tail, int err) {
        ended_ = true;
        tail_ = tail;
        tail_errno_ = err;
    }
    void out_of_memory() {
        fail(Tail::out_of_memory, 0);
        tail_line_ = first_line_ - 1;
        buf_.release();
        len_ = complete_ = boundary_ = searched_ = 0;
    }

    // Gives [0, pos) to the chunk; what follows stays.
    bool give(Chunk& c, std::size_t pos) {
        c.first_line = first_line_;
        c.resumed = resumed_;
        resumed_ = false;
        first_line_ += count_lines(buf_.data(), pos);
        buf_.resize(len_);
        c.data.swap(buf_);
        buf_.resize(0);
        const std::size_t rest = len_ - pos;
        c.data.resize(pos);
        len_ = 0;
        complete_ = complete_ > pos ? complete_ - pos : 0;
        boundary_ = 0;
        searched_ = complete_;
        if (rest == 0) return true;  // room is made before the next read
        if (!grow(0, std::max(rest + kMinRead, 2 * kChunk))) {
            out_of_memory();
        } else {
            std::memcpy(buf_.data(), c.data.data() + pos, rest);
            len_ = rest;
        }
        return true;
    }

    // Room for `need` bytes in buf_, the first `size` of them kept.
    bool grow(std::size_t size, std::size_t need) {
        if (need <= buf_.capacity()) return true;
        if (need > kKeep && spare_.take(buf_, size, need)) return true;
        buf_.resize(size);
        return buf_.reserve(need);
    }

    bool ready(int timeout_ms) {
        pollfd p{fd_, POLLIN, 0};
        int r;
        while ((r = ::poll(&p, 1, timeout_ms)) < 0 && errno == EINTR) {
        }
        return r != 0;
    }

    void read_more() {
        // Up to a chunk's worth, or what room there is when one entry is longer.
        const std::size_t room = buf_.capacity() - len_;
        const std::size_t want = len_ < kChunk ? std::max(kChunk - len_, kMinRead) : room;
        ssize_t n;
        while ((n = ::read(fd_, buf_.data() + len_, std::min(room, want))) < 0 && errno == EINTR) {
        }
        if (n < 0) {
            read_errno_ = errno;
            return;
        }
        if (n == 0) {
            eof_ = true;
            return;
        }
        const std::size_t old = len_;
        len_ += static_cast<std::size_t>(n);
        const void* nl = ::memrchr(buf_.data() + old, '\n', len_ - old);
        if (nl == nullptr) return;
        complete_ = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_.data()) + 1;
        find_boundary();
    }

    // The last entry line among the lines completed since the last search.
    void find_boundary() {
        const char* b = buf_.data();
        std::size_t end = complete_;
        while (end > searched_) {
            const std::size_t nl = end - 1;
            const void* before = nl > 0 ? ::memrchr(b, '\n', nl) : nullptr;
            const std::size_t start =
                before ? static_cast<std::size_t>(static_cast<const char*>(before) - b) + 1 : 0;
            if (start == 0) break;
            if (CaptureParser::starts_entry(std::string_view(b + start, nl - start))) {
                boundary_ = start;
                break;
            }
            end = start;
        }
        searched_ = complete_;
    }

    // Whether the line being read, not yet complete, is already known to be an entry line.
    bool partial_starts_entry() const {
        for (std::size_t i = complete_; i < len_; ++i) {
            const char c = buf_.data()[i];
            if (c == ' ' || c == '\t') continue;
            return c != '@' && c != '#' && c != '\r';
        }
        return false;
    }

    const InputInfo& info_;
    int pause_ms_;
    Spare& spare_;
    int fd_ = -1;
    bool own_ = false, regular_ = false;
    Bytes buf_;
    std::size_t len_ = 0;       // bytes in buf_
    std::size_t complete_ = 0;  // bytes of complete lines at its start
    std::size_t boundary_ = 0;  // the last entry line after the first line, or 0
    std::size_t searched_ = 0;  // lines starting before this were searched for entry lines
    std::size_t first_line_ = 1;
    bool eof_ = false, resumed_ = false, ended_ = false;
    int read_errno_ = 0;
    Tail tail_ = Tail::none;
    std::size_t tail_line_ = 0;
    int tail_errno_ = 0;
};

// What a thread needs to handle chunks.
struct Worker {
    std::unique_ptr<Handler> handler;
    CaptureParser parser;
    Entry entry;
    Problem problem;

    void handle(Chunk& c) {
        parser.reset(c.first_line, c.resumed ? CaptureParser::Start::resumed : CaptureParser::Start::input);
        std::size_t at = 0;  // the line of the item being handled; 0: the parser's
        std::size_t longest = 0;
        try {
            const char* p = c.data.data();
            const char* const end = p + c.data.size();
            while (p < end) {
                const char* nl = rizorod::detail::find_byte(p, end, '\n');
                const std::string_view line(p, static_cast<std::size_t>((nl ? nl : end) - p));
                p = nl ? nl + 1 : end;
                for (;;) {
                    at = 0;
                    const auto step = parser.line(line, entry, problem);
                    if (step == CaptureParser::Step::more) break;
                    if (step == CaptureParser::Step::problem) {
                        at = problem.line;
                        handler->problem(problem, *c.input, c.out);
                        break;
                    }
                    at = entry.line;
                    longest = std::max(longest, entry.record.size());
                    handler->entry(entry, *c.input, c.out);
                }
            }
            at = 0;
            if (parser.finish()) {
                at = entry.line;
                longest = std::max(longest, entry.record.size());
                handler->entry(entry, *c.input, c.out);
            }
        } catch (const std::bad_alloc&) {
            failed(c, at ? at : parser.item_line());
        } catch (const std::length_error&) {
            failed(c, at ? at : parser.item_line());
        }
        // A record buffer that grew for a long entry is given back once a chunk does without it.
        entry.image.clear();
        if (entry.record.capacity() > std::max(kKeep, 2 * longest)) std::vector<std::uint8_t>().swap(entry.record);
    }

    static void failed(Chunk& c, std::size_t line) {
        c.out_of_memory = true;
        c.handled = line - 1;
    }
};

// Writes a chunk's output and what ends its input. Returns false when its input has run out
// of memory, so that nothing more of it is written.
bool write_chunk(const Chunk& c, Output& out, int& status) {
    std::size_t done = 0;
    const std::string_view text = c.out.text;
    for (const ChunkOut::Message& m : c.out.messages) {
        out.text(text.substr(done, m.at - done));
        done = m.at;
        if (out.failed()) return true;
        out.message({m.line});
    }
    out.text(text.substr(done));
    status = std::max(status, c.out.status);
    char number[24];
    const auto line = [&](std::size_t n) {
        return std::string_view(number, static_cast<std::size_t>(std::to_chars(number, number + sizeof number, n).ptr - number));
    };
    const std::string_view name = c.input->name;
    if (c.out_of_memory) {
        out.message({"rizorod: ", name, ": out of memory after line ", line(c.handled)});
        status = std::max(status, int{kUsage});
        return false;
    }
    switch (c.tail) {
    case Tail::none: return true;
    case Tail::read_error: out.message({"rizorod: ", name, ": read error after line ", line(c.tail_line)}); break;
    case Tail::out_of_memory: out.message({"rizorod: ", name, ": out of memory after line ", line(c.tail_line)}); break;
    case Tail::cannot_open: out.message({"rizorod: ", name, ": cannot open: ", std::strerror(c.tail_errno)}); break;
    case Tail::directory: out.message({"rizorod: ", name, ": is a directory"}); break;
    }
    status = std::max(status, int{kUsage});
    return true;
}

std::vector<InputInfo> infos_of(const std::vector<Input>& inputs) {
    std::vector<InputInfo> infos;
    for (const Input& input : inputs)
        infos.push_back({input.literal ? input.name : input.name == "-" ? "<stdin>" : escaped_name(input.name),
                         infos.size()});
    return infos;
}

// ---- One job: everything on the calling thread.

int run_serial(const std::vector<Input>& inputs, const Options& options, Worker& worker, Output& out) {
    const std::vector<InputInfo> infos = infos_of(inputs);
    int status = kOk;
    Chunk c;
    Spare spare;
    for (std::size_t i = 0; i < inputs.size() && !out.failed(); ++i) {
        Reader reader(inputs[i], infos[i], options.pause_ms, spare);
        while (!out.failed() && reader.next(c)) {
            if (!c.data.empty()) worker.handle(c);
            const bool goes_on = write_chunk(c, out, status);
            c.recycle(spare);
            if (!goes_on) break;
        }
    }
    return status;
}

// ---- Several jobs.

class Parallel {
public:
    // workers[0] is the calling thread's: it reads the inputs, and handles chunks whenever it
    // would otherwise wait for room; every other worker gets a thread of its own.
    Parallel(std::vector<std::unique_ptr<Worker>>& workers, std::size_t slots, Output& out)
        : slots_(slots), order_(slots), out_(out), helper_(*workers[0]) {
        for (Chunk& c : slots_) free_.push_back(&c);
        for (std::size_t i = 1; i < workers.size(); ++i) {
            Worker& w = *workers[i];
            try {
                threads_.emplace_back([this, &w] { work(w); });
            } catch (const std::exception&) {
                break;  // fewer threads than asked for: as many as could be started
            }
        }
    }
    ~Parallel() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        work_.notify_all();
        for (auto& t : threads_) t.join();
    }
    bool running() const { return !threads_.empty(); }

    int run(const std::vector<Input>& inputs, const Options& options) {
        const std::vector<InputInfo> infos = infos_of(inputs);
        for (std::size_t i = 0; i < inputs.size() && !failed(); ++i) {
            Reader reader(inputs[i], infos[i], options.pause_ms, spare_);
            for (;;) {
                Chunk* c = acquire();
                if (c == nullptr) break;  // the output failed
                if (!reader.next(*c)) {
                    release(c);
                    break;
                }
                if (!publish(c, i)) break;  // this input ran out of memory, or the output failed
            }
        }
        std::unique_lock lock(mutex_);
        wait_helping(lock, [&] { return written_ == published_; });
        return status_;
    }

private:
    bool failed() {
        std::lock_guard lock(mutex_);
        return failed_;
    }
    // Waits until `ready` holds, handling chunks that no worker has taken yet meanwhile.
    template <class Ready>
    void wait_helping(std::unique_lock<std::mutex>& lock, Ready ready) {
        while (!ready()) {
            if (claimed_ < published_) step(helper_, lock);
            else space_.wait(lock);
        }
    }
    Chunk* acquire() {
        std::unique_lock lock(mutex_);
        wait_helping(lock, [&] { return !free_.empty() || failed_; });
        if (failed_) return nullptr;
        Chunk* c = free_.back();
        free_.pop_back();
        return c;
    }
    void release(Chunk* c) {
        c->recycle(spare_);
        std::lock_guard lock(mutex_);
        free_.push_back(c);
    }
    bool publish(Chunk* c, std::size_t input) {
        std::unique_lock lock(mutex_);
        // At most kBudget bytes in flight, plus the chunk that goes beyond it.
        wait_helping(lock, [&] { return failed_ || bytes_ < kBudget; });
        if (failed_) {
            lock.unlock();
            release(c);
            return false;
        }
        c->done = false;
        order_[published_ % order_.size()] = c;
        ++published_;
        bytes_ += c->data.size();
        lock.unlock();
        work_.notify_one();
        lock.lock();
        return !failed_ && abandoned_ != input + 1;
    }

    void work(Worker& w) {
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [&] { return claimed_ < published_ || stop_; });
            if (claimed_ == published_) return;
            step(w, lock);
        }
    }

    // Handles the oldest chunk not yet taken (there is one), then writes what is finished.
    void step(Worker& w, std::unique_lock<std::mutex>& lock) {
        Chunk* c = order_[claimed_ % order_.size()];
        ++claimed_;
        const bool skip = failed_ || abandoned_ == c->input->index + 1;
        lock.unlock();
        if (!skip && !c->data.empty()) w.handle(*c);
        lock.lock();
        c->done = true;
        if (writing_) return;
        // Whoever finishes the oldest chunk writes every finished chunk in order.
        writing_ = true;
        while (written_ < claimed_ && order_[written_ % order_.size()]->done) {
            Chunk* d = order_[written_ % order_.size()];
            const bool quiet = failed_ || abandoned_ == d->input->index + 1;
            lock.unlock();
            const bool goes_on = quiet || write_chunk(*d, out_, status_);
            const std::size_t size = d->data.size();
            d->recycle(spare_);
            lock.lock();
            if (!goes_on) abandoned_ = d->input->index + 1;
            if (out_.failed()) failed_ = true;
            bytes_ -= size;
            free_.push_back(d);
            ++written_;
            space_.notify_all();
        }
        writing_ = false;
    }

    std::vector<Chunk> slots_;
    Spare spare_;
    std::vector<Chunk*> free_;
    std::vector<Chunk*> order_;  // chunk number n is at n mod size
    Output& out_;
    Worker& helper_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable work_, space_;
    std::size_t published_ = 0, claimed_ = 0, written_ = 0;
    std::size_t bytes_ = 0;       // input bytes in flight
    std::size_t abandoned_ = 0;   // 1 + the index of an input given up, or 0
    bool writing_ = false, stop_ = false, failed_ = false;
    int status_ = kOk;            // written by whoever writes
};

}  // namespace

int run(const std::vector<Input>& inputs, const Options& options, const HandlerFactory& factory,
        Output& out, std::vector<std::unique_ptr<Handler>>* handlers) {
    std::vector<std::unique_ptr<Worker>> workers;
    const unsigned wanted = options.jobs <= 1 ? 0 : std::min(options.jobs, kMaxWorkers);
    int status = kOk;
    bool done = false;
    if (wanted > 0) {
        try {
            workers.reserve(wanted);
            for (unsigned i = 0; i < wanted; ++i) {
                auto w = std::make_unique<Worker>();
                w->handler = factory();
                workers.push_back(std::move(w));
            }
        } catch (const std::bad_alloc&) {
            // As many workers as there was memory for.
        }
        if (workers.size() > 1) {
            Parallel parallel(workers, std::min(2 * workers.size() + 2, kMaxSlots), out);
            if (parallel.running()) {
                status = parallel.run(inputs, options);
                done = true;
            }
        }
    }
    if (!done) {
        // One job, or no thread could be started: the calling thread does it all.
        if (workers.empty()) {
            auto w = std::make_unique<Worker>();
            w->handler = factory();
            workers.push_back(std::move(w));
        }
        workers.resize(1);
        status = run_serial(inputs, options, *workers[0], out);
    }
    if (handlers != nullptr)
        for (auto& w : workers) handlers->push_back(std::move(w->handler));
    return status;
}

}  // namespace rizorod::tool
