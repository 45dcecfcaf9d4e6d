// SPDX-License-Identifier: Apache-2.0
// What every file of the extension shares: Python's header, an owning reference, the GIL let go
// for a scope, and the module's exceptions and cached texts.
#ifndef RIZORODOZIDO_PYTHON_PY_H
#define RIZORODOZIDO_PYTHON_PY_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <string_view>

#include <RizOrodOzido/capture.h>

namespace rizorod::python {

// Owns one reference (or none).
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* owned) noexcept : p_(owned) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : p_(other.release()) {}
    Ref& operator=(Ref&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }
    static Ref borrow(PyObject* p) {
        Py_XINCREF(p);
        return Ref(p);
    }
    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept {
        PyObject* p = p_;
        p_ = nullptr;
        return p;
    }
    void reset(PyObject* owned = nullptr) noexcept {
        PyObject* old = p_;
        p_ = owned;
        Py_XDECREF(old);
    }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

// Lets other Python threads run for the scope; the scope must not touch Python objects.
class Unlocked {
public:
    Unlocked() noexcept : state_(PyEval_SaveThread()) {}
    ~Unlocked() { PyEval_RestoreThread(state_); }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

private:
    PyThreadState* state_;
};

// The module's exception for an entry that cannot be read or decoded (rizorod.DecodeError), set
// up by the module's initialisation.
extern PyObject* decode_error_type;
// Raises rizorod.DecodeError with its message, file and line (file and line None when absent);
// returns null.
PyObject* raise_decode_error(std::string_view message, PyObject* file, std::size_t line);
// The DecodeError object itself, for the errors list of a capture read with errors="collect".
PyObject* make_decode_error(std::string_view message, PyObject* file, std::size_t line);

// Interned texts: an interface's name, a primitive's or a record's name, a text as a str.
PyObject* interface_str(Interface iface);   // borrowed
PyObject* name_str(const char* name);       // borrowed; the name of a layout record (static)
PyObject* text_str(std::string_view text);  // new; UTF-8, bad bytes replaced

// The interface a Python object names ("dm", "l2cap", "rfcomm", "sdp"), or a ValueError.
bool interface_of(PyObject* object, Interface& out);

// A datetime (UTC) for milliseconds since 1970, or None where datetime cannot hold the year.
PyObject* datetime_of_ms(std::int64_t ms);
// A date to start a capture's clock: None, "YYYY-MM-DD" or a datetime.date; false with an
// exception set when it is none of them.
bool clock_of(PyObject* date, CaptureClock& clock);
// A timestamp for one record: "HH:MM:SS.mmm", "YYYY-MM-DD HH:MM:SS.mmm" or a datetime.
bool timestamp_of(PyObject* time, Timestamp& out);

bool init_datetime();

}  // namespace rizorod::python

#endif
