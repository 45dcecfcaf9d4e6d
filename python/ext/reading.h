// SPDX-License-Identifier: Apache-2.0
// Reading a capture in batches: the text parsed and every entry checked, selected and walked with
// the GIL let go, the results kept for the Python side (entries or columns) to take with it.
#ifndef RIZORODOZIDO_PYTHON_READING_H
#define RIZORODOZIDO_PYTHON_READING_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>

#include "filter.h"
#include "py.h"
#include "tape.h"

namespace rizorod::python {

// An entry read, or a line or entry that could not be.
struct Item {
    enum Kind : std::uint8_t { entry, failed, unreadable } kind = entry;
    std::size_t line = 0;
    // entry and failed: what the entry line gave
    Interface iface = Interface::dm;
    std::uint16_t code = 0;
    bool has_stamp = false;
    Timestamp stamp;
    const rizorod_layout_record* layout = nullptr;  // null for a code the interface does not define
    std::uint32_t ops_begin = 0, ops_end = 0;       // entry: its fields on the tape
    // entry: the record and its memory (the kept form below); failed and unreadable: the message
    std::uint32_t kept_at = 0, kept_size = 0;
};

// The items of one batch, and what they refer to.
struct Batch {
    std::vector<Item> items;
    Tape tape;
    std::string kept;  // records with their memory, and messages
    void clear() {
        items.clear();
        tape.clear();
        kept.clear();
    }
    std::string_view kept_of(const Item& item) const {
        return std::string_view(kept).substr(item.kept_at, item.kept_size);
    }
};

// An entry's record and memory in one byte string: the record's length (4 bytes, little-endian)
// and bytes, then per memory block its address, its length and its bytes.
void keep_entry(const Entry& entry, std::string& out);
// The entry back from that form (its record and image; nothing else).
bool entry_of_kept(std::string_view kept, Entry& out);

// What a batch keeps of each entry.
struct Wanted {
    bool fields = true;  // the walk on the tape
    bool kept = true;    // the record and memory
};

// Reads one capture: a file by name (read without the GIL) or a Python object with read()
// (called with it).
class Reader {
public:
    // `source`: a path (str, bytes or os.PathLike) or an object with read() giving bytes or
    // str. `piece`: (k, n) for the k-th of n pieces of a file, or None. Returns null with an
    // exception set: FileNotFoundError and the like, ValueError for a bad argument.
    static std::unique_ptr<Reader> open(PyObject* source, PyObject* where, PyObject* date,
                                        PyObject* piece);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The next batch (empty at the end). False with an exception set when reading fails.
    bool next(Batch& batch, const Wanted& wanted);
    // The name that messages give the capture (its path, the object's name, or "<stream>").
    PyObject* name() const { return name_.get(); }
    void close();

private:
    Reader() = default;
    // The source as open() takes it, the clock set: false with an exception set. An object with
    // read() (which cannot give a piece), or a file by its path (the piece of it asked for).
    bool open_object(PyObject* source, PyObject* piece, const CaptureClock& clock);
    bool open_path(PyObject* source, PyObject* piece, const CaptureClock& clock);
    // Reads more of the source into the buffer; false with `errno_` (a file) or a Python
    // exception (an object) set.
    bool read_more(bool locked);
    // Parses the complete lines in the buffer until the batch is full; without the GIL.
    void parse(Batch& batch, const Wanted& wanted);
    void take(Batch& batch, const Wanted& wanted);
    void take_problem(Batch& batch);

    Ref name_;
    Ref object_;  // a Python source; null for a file
    int fd_ = -1;
    std::uint64_t left_ = UINT64_MAX;  // bytes of the file still to read (a piece)
    std::string buffer_;
    std::size_t pos_ = 0;  // the first byte not yet parsed
    bool eof_ = false, finished_ = false;
    int errno_ = 0;
    // A failure of the C++ side, raised with the GIL once the entries before it are given.
    bool out_of_memory_ = false;
    std::string failure_;
    CaptureParser parser_;
    Entry entry_;
    Problem problem_;
    Decoder decoder_;
    std::shared_ptr<const tool::Filter> where_;
};

}  // namespace rizorod::python

#endif
