// SPDX-License-Identifier: Apache-2.0
#include "input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/find_byte.h"
#include "piece.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rizorod::tool {
namespace {

// The first character of a line that is neither a blank nor a tab; 0 when there is none yet.
char first_mark(const char* p, const char* end) {
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
    return p != end ? *p : 0;
}

}  // namespace

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

Reader::Reader(const Input& input, const InputInfo& info, const ReadOptions& options, Spare& spare)
    : info_(info),
      pause_ms_(options.pause_ms),
      clock_(options.clock),
      clock_every_chunk_(options.clock_every_chunk),
      spare_(spare) {
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
    first_line_ = input.first_line;
    if (input.pieces != 0) {
        // A piece is cut at entry lines of the file's own bytes, which compressed data has none of.
        if (!regular_) fail(Tail::read_error, kStreamPiece);
        else if (compressed_file(fd_)) fail(Tail::read_error, kCompressedPiece);
        else if (!limit_to_piece(input.piece, input.pieces, static_cast<std::uint64_t>(st.st_size)))
            fail(Tail::read_error, errno);
    }
}

bool Reader::limit_to_piece(unsigned k, unsigned n, std::uint64_t size) {
    Piece piece;
    if (!regular_ || !find_piece(fd_, size, k, n, clock_, piece)) return false;
    if (::lseek(fd_, static_cast<off_t>(piece.begin), SEEK_SET) < 0) return false;
    left_ = piece.end - piece.begin;
    first_line_ = piece.first_line;
    clock_ = piece.clock;
    return true;
}

Reader::~Reader() {
    if (own_) ::close(fd_);
}

// The next chunk into `c`, whose buffer the reader takes in exchange; false when the input
// has ended and nothing is left to say about it.
bool Reader::next(Chunk& c) {
    c.input = &info_;
    c.data.resize(0);
    c.gaps.clear();
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
            // says where reading stopped (the lines left out of it are its own).
            if (boundary_ == 0) gaps_.clear();
            give(c, boundary_);
            fail(Tail::read_error, read_errno_);
            tail_line_ = first_line_ - 1;
            if (c.data.empty()) continue;
            return true;
        }
        if (len_ >= kChunk && boundary_ > 0) return give(c, boundary_);
        if (!regular_ && complete_ > 0) {
            // What came so far is decoded at once when no more input is there: the complete
            // entries now, the last one too when the input stays silent for a pause. A line that
            // began to arrive belongs to what came before it: the pause waits for its end,
            // unless it is known to begin the next entry.
            const bool partial = len_ > complete_ || dropping_;
            if (boundary_ == 0 && len_ > complete_ && partial_starts_entry()) boundary_ = complete_;
            if ((boundary_ > 0 || !partial) && !ready(boundary_ > 0 ? 0 : pause_ms_)) {
                if (boundary_ > 0) return give(c, boundary_);
                give(c, complete_);
                resumed_ = true;
                return true;
            }
        }
        if (buf_.capacity() - len_ < kMinRead) {
            if (boundary_ == 0 && complete_ > 0 && partial_starts_entry()) boundary_ = complete_;
            if (boundary_ > 0) return give(c, boundary_);
            // One entry, not yet complete, fills the buffer: what need not be held is left out,
            // and the buffer grows when that is not enough.
            if (!compact() ||
                (buf_.capacity() - len_ < kMinRead && !grow(len_, std::max(2 * buf_.capacity(), 2 * kChunk)))) {
                out_of_memory();
                continue;
            }
        }
        read_more();
    }
}

void Reader::fail(Tail tail, int err) {
    ended_ = true;
    tail_ = tail;
    tail_errno_ = err;
}

void Reader::out_of_memory() {
    fail(Tail::out_of_memory, 0);
    tail_line_ = first_line_ - 1;
    buf_.release();
    gaps_.clear();
    len_ = complete_ = boundary_ = searched_ = compacted_ = 0;
}

// Gives [0, pos) to the chunk; what follows stays.
// Every gap is at or before `pos`: lines are left out only while no entry line follows the first
// line, and a chunk ends at such an entry line or after the last line read.
bool Reader::give(Chunk& c, std::size_t pos) {
    const std::size_t left_out = gaps_.move_to(c.gaps);
    c.first_line = first_line_;
    c.resumed = resumed_;
    resumed_ = false;
    c.sets_clock = first_chunk_ || clock_every_chunk_;
    c.clock = clock_;
    if (clock_every_chunk_) advance_clock(pos, c.gaps);
    first_chunk_ = false;
    first_line_ += count_lines(buf_.data(), pos) + left_out;
    compacted_ = 0;
    has_entry_ = memory_kept_ = false;
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

void Reader::advance_clock(std::size_t pos, const Gaps& gaps) {
    const char* p = buf_.data();
    const char* const end = p + pos;
    // The text's first line, where a byte-order mark is passed over, unless it was left out.
    std::size_t gap_at = 0, gap_lines = 0;
    Gaps::Cursor cursor(gaps);
    bool first = first_line_ == 1 && !(cursor.next(gap_at, gap_lines) && gap_at == 0);
    while (p < end) {
        const char* nl = rizorod::detail::find_byte(p, end, '\n');
        const char* line_end = nl ? nl : end;
        // Only entry lines that begin with a digit, after blanks, can move it.
        const char* q = p;
        if (first && line_end - q >= 3 && std::memcmp(q, "\xef\xbb\xbf", 3) == 0) q += 3;
        while (q < line_end && (*q == ' ' || *q == '\t')) ++q;
        if (q < line_end && *q >= '0' && *q <= '9')
            CaptureParser::advance(clock_, std::string_view(p, static_cast<std::size_t>(line_end - p)), first);
        first = false;
        p = nl ? nl + 1 : end;
    }
}

// Room for `need` bytes in buf_, the first `size` of them kept.
bool Reader::grow(std::size_t size, std::size_t need) {
    if (need <= buf_.capacity()) return true;
    if (need > kKeep && spare_.take(buf_, size, need)) return true;
    buf_.resize(size);
    return buf_.reserve(need);
}

bool Reader::ready(int timeout_ms) {
    if (source_.pending()) return true;  // decompressed text waits
    pollfd p{fd_, POLLIN, 0};
    int r;
    while ((r = ::poll(&p, 1, timeout_ms)) < 0 && errno == EINTR) {
    }
    return r != 0;
}

void Reader::read_more() {
    // Up to a chunk's worth, or what room there is when one entry is longer.
    const std::size_t room = buf_.capacity() - len_;
    const std::size_t want = len_ < kChunk ? std::max(kChunk - len_, kMinRead) : room;
    // (A piece of a file ends where its bytes do.)
    const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(std::min(room, want), left_));
    const long n = ask == 0 ? 0 : source_.read(fd_, buf_.data() + len_, ask);
    if (n < 0) {
        read_errno_ = source_.error();
        return;
    }
    if (n == 0) {
        eof_ = true;
        return;
    }
    const std::size_t old = len_;
    len_ += static_cast<std::size_t>(n);
    left_ -= static_cast<std::uint64_t>(n);
    if (dropping_) {
        // The rest of a line left out, up to its end.
        char* const fresh = buf_.data() + old;
        const void* end = std::memchr(fresh, '\n', len_ - old);
        if (end == nullptr) {
            len_ = old;
            return;
        }
        const std::size_t skip = static_cast<std::size_t>(static_cast<const char*>(end) - fresh) + 1;
        std::memmove(fresh, fresh + skip, len_ - old - skip);
        len_ -= skip;
        dropping_ = false;
    }
    const void* nl = ::memrchr(buf_.data() + old, '\n', len_ - old);
    if (nl == nullptr) return;
    complete_ = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_.data()) + 1;
    find_boundary();
}

// The last entry line among the lines completed since the last search.
void Reader::find_boundary() {
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

// While one entry fills the buffer, its blank and comment lines need not be held, nor the memory
// lines of a run that belongs to no entry (at the start of an input, or after a pause) but the
// first, which gets the message: each run of them becomes a gap. Lines are looked at once.
bool Reader::compact() {
    if (len_ == 0) return true;
    char* const b = buf_.data();
    std::size_t out = compacted_, p = compacted_, run = 0;
    try {
        while (p < complete_) {
            const std::size_t end =
                static_cast<std::size_t>(static_cast<const char*>(std::memchr(b + p, '\n', complete_ - p)) - b) + 1;
            bool keep = true;
            if (CaptureParser::starts_entry(std::string_view(b + p, end - 1 - p))) {
                has_entry_ = true;
            } else if (first_mark(b + p, b + end) == '@') {
                keep = has_entry_ || !memory_kept_;
                memory_kept_ = true;
            } else {
                keep = false;
            }
            if (keep) {
                gaps_.add(out, run);
                run = 0;
                std::memmove(b + out, b + p, end - p);
                out += end - p;
            } else {
                ++run;
            }
            p = end;
        }
        std::size_t tail = len_ - complete_;
        if (tail > 0 && partial_left_out()) {
            ++run;
            tail = 0;
            dropping_ = true;
        }
        gaps_.add(out, run);
        std::memmove(b + out, b + complete_, tail);
        len_ = out + tail;
    } catch (const std::bad_alloc&) {
        return false;
    }
    complete_ = compacted_ = searched_ = out;
    return true;
}

// Whether the line being read, not yet complete, is already known to be one that need not be held.
bool Reader::partial_left_out() const {
    const char c = first_mark(buf_.data() + complete_, buf_.data() + len_);
    return c == '#' || (c == '@' && memory_kept_ && !has_entry_);
}

// Whether the line being read, not yet complete, is already known to be an entry line.
bool Reader::partial_starts_entry() const {
    for (std::size_t i = complete_; i < len_; ++i) {
        const char c = buf_.data()[i];
        if (c == ' ' || c == '\t') continue;
        return c != '@' && c != '#' && c != '\r';
    }
    return false;
}

}  // namespace rizorod::tool
