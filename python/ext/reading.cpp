// SPDX-License-Identifier: Apache-2.0
#include "reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "capture/find_byte.h"
#include "piece.h"

namespace rizorod::python {
namespace {

// A batch ends after this many items, or once its walks have told this many fields, so that the
// GIL is taken back often enough and a batch stays a few megabytes at most.
constexpr std::size_t kBatchItems = 4096;
constexpr std::size_t kBatchOps = 1 << 16;
// Lines parsed at most before the GIL is taken back, even when none of them gave an item (a
// selection that leaves everything out), so that Ctrl-C is seen within milliseconds.
constexpr std::size_t kBatchLines = 1 << 16;
constexpr std::size_t kRead = 1 << 20;

void put32(std::string& out, std::uint32_t v) {
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    out.append(b, 4);
}

bool get32(std::string_view& in, std::uint32_t& v) {
    if (in.size() < 4) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(in.data());
    v = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    in.remove_prefix(4);
    return true;
}

// The (k, n) of piece=, or false with an exception set.
bool piece_of(PyObject* piece, unsigned& k, unsigned& n) {
    unsigned long kk = 0, nn = 0;
    if (!PyTuple_Check(piece) || PyTuple_GET_SIZE(piece) != 2 ||
        !PyLong_Check(PyTuple_GET_ITEM(piece, 0)) || !PyLong_Check(PyTuple_GET_ITEM(piece, 1))) {
        PyErr_SetString(PyExc_TypeError,
                        "piece= takes a tuple (k, n): the k-th of n pieces, from 1");
        return false;
    }
    kk = PyLong_AsUnsignedLong(PyTuple_GET_ITEM(piece, 0));
    nn = PyLong_AsUnsignedLong(PyTuple_GET_ITEM(piece, 1));
    if (PyErr_Occurred() || kk < 1 || kk > nn || nn > 1000000) {
        PyErr_Clear();
        PyErr_Format(PyExc_ValueError, "piece= takes (k, n) with 1 <= k <= n <= 1000000, not %R",
                     piece);
        return false;
    }
    k = static_cast<unsigned>(kk);
    n = static_cast<unsigned>(nn);
    return true;
}

// where=: the entries' selection (none for None), or false with an exception set.
bool where_of(PyObject* where, std::shared_ptr<const tool::Filter>& filter) {
    if (where == Py_None) return true;
    Py_ssize_t size = 0;
    const char* text = PyUnicode_Check(where) ? PyUnicode_AsUTF8AndSize(where, &size) : nullptr;
    if (text == nullptr) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_TypeError, "where= takes an expression (str) or None");
        return false;
    }
    try {
        filter = tool::Filter::parse(std::string_view(text, static_cast<std::size_t>(size)));
    } catch (const tool::FilterError& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
        return false;
    }
    return true;
}

// A file opened for reading without the GIL, a directory refused as reading it would be, and
// its status: the descriptor, or -1 with OSError set (naming the file as `name`).
int open_file(const char* path, PyObject* name, struct stat& st) {
    int fd;
    {
        Unlocked unlocked;
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    }
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        fd = -1;
        errno = EISDIR;
    }
    if (fd < 0) PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name);
    return fd;
}

// piece= of the file open as `fd`: the piece found without the GIL and the file put at its
// start, or false with an exception set.
bool seek_piece(PyObject* piece, int fd, const struct stat& st, PyObject* name,
                const CaptureClock& clock, tool::Piece& p) {
    unsigned k = 0, n = 0;
    if (!piece_of(piece, k, n)) return false;
    if (!S_ISREG(st.st_mode)) {
        PyErr_Format(PyExc_ValueError, "piece= needs a regular file; %R is not one", name);
        return false;
    }
    bool found;
    {
        Unlocked unlocked;
        found = tool::find_piece(fd, static_cast<std::uint64_t>(st.st_size), k, n, clock, p) &&
                ::lseek(fd, static_cast<off_t>(p.begin), SEEK_SET) >= 0;
    }
    if (!found) {
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name);
        return false;
    }
    return true;
}

}  // namespace

void keep_entry(const Entry& entry, std::string& out) {
    put32(out, static_cast<std::uint32_t>(entry.record.size()));
    out.append(reinterpret_cast<const char*>(entry.record.data()), entry.record.size());
    entry.image.for_each_block([&](std::uint32_t address, std::span<const std::uint8_t> bytes) {
        put32(out, address);
        put32(out, static_cast<std::uint32_t>(bytes.size()));
        out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    });
}

bool entry_of_kept(std::string_view kept, Entry& out) {
    std::uint32_t size = 0;
    if (!get32(kept, size) || kept.size() < size) return false;
    out.record.assign(kept.data(), kept.data() + size);
    kept.remove_prefix(size);
    out.image.clear();
    while (!kept.empty()) {
        std::uint32_t address = 0;
        if (!get32(kept, address) || !get32(kept, size) || kept.size() < size) return false;
        out.image.add(address, {reinterpret_cast<const std::uint8_t*>(kept.data()), size});
        kept.remove_prefix(size);
    }
    return true;
}

std::unique_ptr<Reader> Reader::open(PyObject* source, PyObject* where, PyObject* date,
                                     PyObject* piece) {
    std::unique_ptr<Reader> r(new Reader);
    CaptureClock clock;
    if (!clock_of(date, clock) || !where_of(where, r->where_)) return nullptr;
    const bool path = PyUnicode_Check(source) || PyBytes_Check(source) ||
                      PyObject_HasAttrString(source, "__fspath__");
    const bool opened =
        path ? r->open_path(source, piece, clock) : r->open_object(source, piece, clock);
    return opened ? std::move(r) : nullptr;
}

bool Reader::open_object(PyObject* source, PyObject* piece, const CaptureClock& clock) {
    if (!PyObject_HasAttrString(source, "read")) {
        PyErr_Format(PyExc_TypeError, "expected a path or a file object with read(), not %.100s",
                     Py_TYPE(source)->tp_name);
        return false;
    }
    if (piece != Py_None) {
        PyErr_SetString(
            PyExc_ValueError,
            "piece= needs a file's path: a piece is found by reading the file from its start");
        return false;
    }
    object_ = Ref::borrow(source);
    Ref name(PyObject_GetAttrString(source, "name"));
    if (name && PyUnicode_Check(name.get())) {
        name_ = std::move(name);
    } else {
        PyErr_Clear();
        name_.reset(PyUnicode_FromString("<stream>"));
    }
    parser_.clock() = clock;
    return static_cast<bool>(name_);
}

bool Reader::open_path(PyObject* source, PyObject* piece, const CaptureClock& clock) {
    Ref fs_path(PyOS_FSPath(source));
    if (!fs_path) return false;
    if (PyBytes_Check(fs_path.get()))
        name_.reset(PyUnicode_DecodeFSDefaultAndSize(PyBytes_AS_STRING(fs_path.get()),
                                                     PyBytes_GET_SIZE(fs_path.get())));
    else
        name_ = Ref::borrow(fs_path.get());
    PyObject* encoded = nullptr;
    if (!name_ || !PyUnicode_FSConverter(fs_path.get(), &encoded)) return false;
    const Ref bytes_path(encoded);
    struct stat st {};
    fd_ = open_file(PyBytes_AS_STRING(encoded), name_.get(), st);
    if (fd_ < 0) return false;
    parser_.clock() = clock;
    if (piece == Py_None) return true;
    tool::Piece p;
    if (!seek_piece(piece, fd_, st, name_.get(), clock, p)) return false;
    left_ = p.end - p.begin;
    parser_.reset(p.first_line);
    parser_.clock() = p.clock;
    return true;
}

Reader::~Reader() { close(); }

void Reader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    object_.reset();
    finished_ = true;
}

bool Reader::read_more(bool locked) {
    if (pos_ > 0) {
        buffer_.erase(0, pos_);
        pos_ = 0;
    }
    if (!object_) {
        if (fd_ < 0) {
            eof_ = true;
            return true;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kRead, left_));
        const std::size_t had = buffer_.size();
        buffer_.resize(had + want);
        ssize_t got = 0;
        while (want != 0 && (got = ::read(fd_, buffer_.data() + had, want)) < 0 && errno == EINTR) {
        }
        buffer_.resize(had + static_cast<std::size_t>(got > 0 ? got : 0));
        if (got < 0) {
            errno_ = errno;
            return false;
        }
        left_ -= static_cast<std::uint64_t>(got);
        if (got == 0) eof_ = true;
        return true;
    }
    if (!locked) return false;
    Ref data(PyObject_CallMethod(object_.get(), "read", "n", static_cast<Py_ssize_t>(kRead)));
    if (!data) return false;
    if (PyUnicode_Check(data.get())) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(data.get(), &size);
        if (text == nullptr) return false;
        buffer_.append(text, static_cast<std::size_t>(size));
        if (size == 0) eof_ = true;
        return true;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(data.get(), &view, PyBUF_SIMPLE) < 0) {
        PyErr_Format(PyExc_TypeError, "read() gave %.100s, not bytes or str",
                     Py_TYPE(data.get())->tp_name);
        return false;
    }
    buffer_.append(static_cast<const char*>(view.buf), static_cast<std::size_t>(view.len));
    if (view.len == 0) eof_ = true;
    PyBuffer_Release(&view);
    return true;
}

bool Reader::next(Batch& batch, const Wanted& wanted) {
    batch.clear();
    // Entries read before a failure are given first; the failure is raised on the next call.
    while (batch.items.empty()) {
        if (out_of_memory_ || !failure_.empty()) {
            finished_ = true;
            if (out_of_memory_) return PyErr_NoMemory(), false;
            PyErr_SetString(PyExc_RuntimeError, failure_.c_str());
            return false;
        }
        if (errno_ != 0) {
            finished_ = true;
            errno = errno_;
            errno_ = 0;
            PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name_.get());
            return false;
        }
        if (finished_) return true;
        if (PyErr_CheckSignals() < 0) return false;
        // A Python source is read here, with the GIL; a file inside parse(), without it.
        if (object_ && !eof_ && buffer_.find('\n', pos_) == std::string::npos && !read_more(true)) {
            finished_ = true;
            return false;
        }
        Unlocked unlocked;
        try {
            parse(batch, wanted);
        } catch (const std::bad_alloc&) {
            out_of_memory_ = true;
        } catch (const std::exception& e) {
            failure_ = e.what();
            if (failure_.empty()) failure_ = "rizorod: reading failed";
        }
    }
    return true;
}

void Reader::parse(Batch& batch, const Wanted& wanted) {
    for (std::size_t lines = 0; !finished_ && batch.items.size() < kBatchItems &&
                                batch.tape.ops.size() < kBatchOps && lines < kBatchLines;
         ++lines) {
        const char* begin = buffer_.data() + pos_;
        const char* end = buffer_.data() + buffer_.size();
        const char* nl = rizorod::detail::find_byte(begin, end, '\n');
        std::string_view line;
        if (nl != nullptr) {
            line = std::string_view(begin, static_cast<std::size_t>(nl - begin));
            pos_ += line.size() + 1;
        } else if (eof_) {
            if (begin == end) {
                if (parser_.finish()) take(batch, wanted);
                finished_ = true;
                return;
            }
            line = std::string_view(begin, static_cast<std::size_t>(end - begin));
            pos_ = buffer_.size();
        } else {
            if (object_ || !read_more(false)) return;  // a Python source is read with the GIL
            continue;
        }
        for (;;) {
            const auto step = parser_.line(line, entry_, problem_);
            if (step == CaptureParser::Step::more) break;
            if (step == CaptureParser::Step::problem) {
                take_problem(batch);
                break;
            }
            take(batch, wanted);
        }
    }
}

void Reader::take(Batch& batch, const Wanted& wanted) {
    Item item;
    item.line = entry_.line;
    item.iface = entry_.iface;
    item.code = entry_.code;
    item.has_stamp = entry_.stamp.has_value();
    if (entry_.stamp) item.stamp = *entry_.stamp;
    item.layout = layout(entry_.iface, entry_.code);
    Tape& tape = batch.tape;
    const std::size_t ops = tape.ops.size(), arena = tape.arena.size();
    try {
        // An entry left out is still checked, so that a bad entry is told whatever the selection.
        if (where_ && !where_->matches(entry_, decoder_)) {
            CheckingSink none;
            decoder_.walk(entry_, none);
            return;
        }
        if (wanted.fields) {
            item.ops_begin = static_cast<std::uint32_t>(ops);
            decoder_.walk(entry_, tape);
            item.ops_end = static_cast<std::uint32_t>(tape.ops.size());
        } else {
            CheckingSink none;
            decoder_.walk(entry_, none);
        }
        if (wanted.kept) {
            item.kept_at = static_cast<std::uint32_t>(batch.kept.size());
            keep_entry(entry_, batch.kept);
            item.kept_size = static_cast<std::uint32_t>(batch.kept.size() - item.kept_at);
        }
    } catch (const DecodeError& e) {
        tape.truncate(ops, arena);
        item.kind = Item::failed;
        item.ops_begin = item.ops_end = 0;
        const std::string_view message = e.what();
        item.kept_at = static_cast<std::uint32_t>(batch.kept.size());
        batch.kept.append(message);
        item.kept_size = static_cast<std::uint32_t>(message.size());
    }
    batch.items.push_back(item);
}

void Reader::take_problem(Batch& batch) {
    Item item;
    item.kind = Item::unreadable;
    item.line = problem_.line;
    item.kept_at = static_cast<std::uint32_t>(batch.kept.size());
    batch.kept.append(problem_.message);
    item.kept_size = static_cast<std::uint32_t>(problem_.message.size());
    batch.items.push_back(item);
}

}  // namespace rizorod::python
