// SPDX-License-Identifier: Apache-2.0
#include "py.h"

#include <datetime.h>

#include <string>
#include <unordered_map>

#include <RizOrodOzido/fields.h>

namespace rizorod::python {

PyObject* decode_error_type = nullptr;

PyObject* make_decode_error(std::string_view message, PyObject* file, std::size_t line) {
    Ref text;
    if (file != nullptr && file != Py_None)
        text.reset(PyUnicode_FromFormat("%U:%zu: %s", file, line, std::string(message).c_str()));
    else
        text.reset(text_str(message));
    if (!text) return nullptr;
    Ref error(PyObject_CallOneArg(decode_error_type, text.get()));
    if (!error) return nullptr;
    Ref msg(text_str(message));
    Ref line_obj(file != nullptr && file != Py_None ? PyLong_FromSize_t(line) : Py_NewRef(Py_None));
    if (!msg || !line_obj || PyObject_SetAttrString(error.get(), "message", msg.get()) < 0 ||
        PyObject_SetAttrString(error.get(), "file", file != nullptr ? file : Py_None) < 0 ||
        PyObject_SetAttrString(error.get(), "line", line_obj.get()) < 0)
        return nullptr;
    return error.release();
}

PyObject* raise_decode_error(std::string_view message, PyObject* file, std::size_t line) {
    Ref error(make_decode_error(message, file, line));
    if (error) PyErr_SetObject(decode_error_type, error.get());
    return nullptr;
}

PyObject* interface_str(Interface iface) {
    static PyObject* names[4] = {};
    PyObject*& s = names[static_cast<int>(iface)];
    if (s == nullptr) s = PyUnicode_InternFromString(interface_name(iface));
    return s;
}

PyObject* name_str(const char* name) {
    static auto* names = new std::unordered_map<const char*, PyObject*>;
    const auto found = names->find(name);
    if (found != names->end()) return found->second;
    PyObject* s = PyUnicode_InternFromString(name);
    if (s != nullptr) names->emplace(name, s);
    return s;
}

PyObject* text_str(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

bool interface_of(PyObject* object, Interface& out) {
    const char* text = PyUnicode_Check(object) ? PyUnicode_AsUTF8(object) : nullptr;
    if (text != nullptr)
        if (const auto iface = interface_named(text)) {
            out = *iface;
            return true;
        }
    PyErr_Clear();
    PyErr_Format(PyExc_ValueError, "expected an interface (dm, l2cap, rfcomm or sdp), found %R",
                 object);
    return false;
}

bool init_datetime() {
    PyDateTime_IMPORT;
    return PyDateTimeAPI != nullptr;
}

PyObject* datetime_of_ms(std::int64_t ms) {
    // datetime holds the years 1 to 9999: from -62135596800000 to 253402300799999 ms.
    if (ms < -62135596800000 || ms > 253402300799999) Py_RETURN_NONE;
    std::int64_t days = ms / 86400000, rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    static PyObject* epoch = PyDateTimeAPI->DateTime_FromDateAndTime(
        1970, 1, 1, 0, 0, 0, 0, PyDateTime_TimeZone_UTC, PyDateTimeAPI->DateTimeType);
    if (epoch == nullptr) return nullptr;
    Ref delta(PyDelta_FromDSU(static_cast<int>(days), static_cast<int>(rest / 1000),
                              static_cast<int>(rest % 1000 * 1000)));
    if (!delta) return nullptr;
    return PyNumber_Add(epoch, delta.get());
}

bool clock_of(PyObject* date, CaptureClock& clock) {
    clock = CaptureClock();
    if (date == Py_None) return true;
    std::optional<Timestamp> start;
    if (PyUnicode_Check(date)) {
        const char* text = PyUnicode_AsUTF8(date);
        if (text == nullptr) return false;
        start = parse_date(text);
    } else if (PyDate_Check(date)) {
        if (PyDateTime_Check(date)) {
            PyErr_SetString(PyExc_TypeError,
                            "date= takes a date (datetime.date or \"YYYY-MM-DD\"), not a datetime");
            return false;
        }
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", PyDateTime_GET_YEAR(date),
                      PyDateTime_GET_MONTH(date), PyDateTime_GET_DAY(date));
        start = parse_date(text);
    }
    if (!start) {
        PyErr_Format(PyExc_ValueError,
                     "date= takes a date \"YYYY-MM-DD\" or a datetime.date, not %R", date);
        return false;
    }
    clock = CaptureClock(*start);
    return true;
}

bool timestamp_of(PyObject* time, Timestamp& out) {
    std::optional<Timestamp> t;
    if (PyUnicode_Check(time)) {
        const char* text = PyUnicode_AsUTF8(time);
        if (text == nullptr) return false;
        t = parse_timestamp(text);
    } else if (PyDateTime_Check(time)) {
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                      PyDateTime_GET_YEAR(time), PyDateTime_GET_MONTH(time),
                      PyDateTime_GET_DAY(time), PyDateTime_DATE_GET_HOUR(time),
                      PyDateTime_DATE_GET_MINUTE(time), PyDateTime_DATE_GET_SECOND(time),
                      PyDateTime_DATE_GET_MICROSECOND(time) / 1000);
        t = parse_timestamp(text);
    }
    if (!t) {
        PyErr_Format(
            PyExc_ValueError,
            "time= takes \"HH:MM:SS.mmm\", \"YYYY-MM-DD HH:MM:SS.mmm\" or a datetime, not %R",
            time);
        return false;
    }
    out = *t;
    return true;
}

}  // namespace rizorod::python
