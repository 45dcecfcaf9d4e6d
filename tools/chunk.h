// SPDX-License-Identifier: Apache-2.0
// The unit of the pipeline: a chunk of one input, about kChunk bytes cut at an entry line (or one
// entry when that is longer), with the line number it begins at and, once handled, its output.
// Buffers report a failed allocation instead of raising it; buffers that grew for a long entry
// are given back, or kept once for the next long entry (Spare).
#ifndef RIZORODOZIDO_TOOLS_CHUNK_H
#define RIZORODOZIDO_TOOLS_CHUNK_H

#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "handler.h"

namespace rizorod::tool {

inline constexpr std::size_t kChunk = std::size_t{1} << 16;   // input bytes of a chunk
inline constexpr std::size_t kMinRead = std::size_t{1} << 14;  // smallest room a read(2) is given
inline constexpr std::size_t kKeep = 4 * kChunk;               // larger buffers are given back

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

// Lines that the reader left out of a chunk's text while one entry filled its buffer: blank and
// comment lines, and the memory lines after the first of a run that belongs to no entry (the
// first gets the message). A gap is the byte of the text that followed its lines and how many
// there were, so that line numbers stay right; gaps are coded as pairs of LEB128 numbers (the
// distance from the gap before, the line count), so that they take fewer bytes than the lines
// they stand for.
class Gaps {
public:
    // Notes `lines` lines left out before byte `at`, which is not before the last gap noted.
    // Throws std::bad_alloc.
    void add(std::size_t at, std::size_t lines);
    // Moves every gap to `to`, which is empty; returns the number of lines they stand for.
    std::size_t move_to(Gaps& to) noexcept;
    void clear() noexcept;

    // The gaps in order.
    class Cursor {
    public:
        explicit Cursor(const Gaps& gaps) : gaps_(gaps) {}
        // The next gap; false when there is none left.
        bool next(std::size_t& at, std::size_t& lines);

    private:
        const Gaps& gaps_;
        std::size_t pos_ = 0, at_ = 0;
        bool open_done_ = false;
    };

private:
    std::string code_;
    std::size_t coded_at_ = 0;                   // the place of the last gap in `code_`
    std::size_t open_at_ = 0, open_lines_ = 0;   // the last gap, kept open for lines at its place
    std::size_t lines_ = 0;                      // in all
};

// What ends an input, said after its last chunk's output.
enum class Tail { none, read_error, out_of_memory, cannot_open, directory };

struct Chunk {
    const InputInfo* input = nullptr;
    Bytes data;
    std::size_t first_line = 1;
    bool resumed = false;  // the input paused in the middle of an entry just before it
    // The capture clock at the chunk's first line, when the chunk sets it (the first chunk of an
    // input, and every chunk when chunks are read on several threads); otherwise the clock goes
    // on from the chunk before, on the same thread.
    bool sets_clock = false;
    CaptureClock clock;
    Gaps gaps;             // lines left out of `data`
    Tail tail = Tail::none;
    std::size_t tail_line = 0;
    int tail_errno = 0;
    // Results.
    ChunkOut out;
    bool out_of_memory = false;
    std::size_t handled = 0;  // with out_of_memory: the lines handled before it
    bool done = false;

    // Ready for the next use; buffers that grew for a long entry are given back.
    void recycle(Spare& spare);
};

}  // namespace rizorod::tool

#endif
