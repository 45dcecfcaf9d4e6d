// SPDX-License-Identifier: Apache-2.0
// rizorod._rizorod: the C extension under the rizorod package (python/rizorod/__init__.py says
// what it offers; the package's functions are these, or thin wrappers of them).
#include <string>

#include <RizOrodOzido/fields.h>

#include "capture.h"
#include "columns.h"
#include "describe.h"
#include "entry.h"
#include "py.h"
#include "reading.h"

namespace rizorod::python {
namespace {

// The memory= of decode(): {address: bytes}.
bool image_of(PyObject* memory, MemoryImage& image) {
    if (memory == Py_None) return true;
    Ref items(PyMapping_Items(memory));
    if (!items) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "memory= takes a dict {address: bytes}, not %.100s",
                     Py_TYPE(memory)->tp_name);
        return false;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
        PyObject* pair = PyList_GET_ITEM(items.get(), i);
        PyObject* key = PyTuple_GET_ITEM(pair, 0);
        const unsigned long long address =
            PyLong_Check(key) ? PyLong_AsUnsignedLongLong(key) : ~0ull;
        if (PyErr_Occurred() || address > 0xffffffffull) {
            PyErr_Clear();
            PyErr_Format(PyExc_ValueError,
                         "a memory address is an int from 0 to 0xffffffff, not %R", key);
            return false;
        }
        Py_buffer view;
        if (PyObject_GetBuffer(PyTuple_GET_ITEM(pair, 1), &view, PyBUF_SIMPLE) < 0) return false;
        const bool added = image.add(
            static_cast<std::uint32_t>(address),
            {static_cast<const std::uint8_t*>(view.buf), static_cast<std::size_t>(view.len)});
        PyBuffer_Release(&view);
        if (!added) {
            PyErr_Format(
                PyExc_ValueError,
                "memory at 0x%08llx (%zd bytes) overlaps other memory or runs past 0xffffffff",
                address, view.len);
            return false;
        }
    }
    return true;
}

PyObject* decode_record(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"interface", "code", "record", "memory", "time", nullptr};
    PyObject *iface_obj, *memory = Py_None, *time = Py_None;
    int code = 0;
    Py_buffer record;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Oiy*|OO:decode", const_cast<char**>(keywords),
                                     &iface_obj, &code, &record, &memory, &time))
        return nullptr;
    Entry entry;
    entry.record.assign(static_cast<const std::uint8_t*>(record.buf),
                        static_cast<const std::uint8_t*>(record.buf) + record.len);
    PyBuffer_Release(&record);
    if (!interface_of(iface_obj, entry.iface)) return nullptr;
    if (code < 0 || code > 0xffff)
        return PyErr_Format(PyExc_ValueError, "a type code is 0 to 0xffff, not %d", code);
    entry.code = static_cast<std::uint16_t>(code);
    if (!image_of(memory, entry.image)) return nullptr;
    if (time != Py_None) {
        Timestamp stamp;
        if (!timestamp_of(time, stamp)) return nullptr;
        entry.stamp = stamp;
    }
    Batch batch;
    Item item;
    item.iface = entry.iface;
    item.code = entry.code;
    item.has_stamp = entry.stamp.has_value();
    if (entry.stamp) item.stamp = *entry.stamp;
    item.layout = layout(entry.iface, entry.code);
    std::string failure;
    {
        Unlocked unlocked;
        try {
            thread_local Decoder decoder;
            decoder.walk(entry, batch.tape);
            item.ops_end = static_cast<std::uint32_t>(batch.tape.ops.size());
            keep_entry(entry, batch.kept);
            item.kept_size = static_cast<std::uint32_t>(batch.kept.size());
        } catch (const std::exception& e) {
            failure = e.what();
            if (failure.empty()) failure = "decoding failed";
        }
    }
    if (!failure.empty()) return raise_decode_error(failure, nullptr, 0);
    return make_entry(batch, item, Py_None);
}

PyObject* layouts(PyObject*, PyObject* args) {
    PyObject* which = Py_None;
    if (!PyArg_ParseTuple(args, "|O:_layouts", &which)) return nullptr;
    std::string out;
    for (Interface iface : kInterfaces) {
        if (which != Py_None) {
            Interface wanted;
            if (!interface_of(which, wanted)) return nullptr;
            if (wanted != iface) continue;
        }
        for (const Primitive& p : primitives(iface)) {
            tool::describe_json(out, iface, p, true);
        }
    }
    return PyUnicode_FromStringAndSize(out.data(), static_cast<Py_ssize_t>(out.size()));
}

PyObject* kind_of_column(PyObject*, PyObject* arg) {
    const char* name = PyUnicode_Check(arg) ? PyUnicode_AsUTF8(arg) : nullptr;
    if (name == nullptr)
        return PyErr_Format(PyExc_TypeError, "a column name is a str, not %R", arg);
    ColumnKind kind;
    if (!column_kind(name, kind)) return nullptr;
    return PyUnicode_FromString(kind == ColumnKind::integer ? "int"
                                : kind == ColumnKind::time  ? "time"
                                                            : "object");
}

PyMethodDef methods[] = {
    {"open", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(open_capture)),
     METH_VARARGS | METH_KEYWORDS,
     PyDoc_STR("open(source, where=None, *, errors=\"raise\", date=None, piece=None) -> Capture\n\n"
               "The entries of a capture, read and decoded as they are iterated (see the rizorod "
               "package).")},
    {"decode", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(decode_record)),
     METH_VARARGS | METH_KEYWORDS,
     PyDoc_STR("decode(interface, code, record, memory=None, time=None) -> Entry\n\n"
               "One record decoded offline, its pointers resolved in memory= (see the rizorod "
               "package).")},
    {"_layouts", layouts, METH_VARARGS,
     PyDoc_STR("The layouts as JSON Lines, as `rizorod list --fields --format json`.")},
    {"_columns", read_columns, METH_VARARGS,
     PyDoc_STR("The columns of to_pandas, as buffers and lists.")},
    {"_column_kind", kind_of_column, METH_O,
     PyDoc_STR("\"int\", \"time\" or \"object\": what a column holds.")},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "rizorod._rizorod",
    PyDoc_STR("The C extension of the rizorod package: import rizorod instead."),
    -1,
    methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace rizorod::python

PyMODINIT_FUNC PyInit__rizorod() {
    using namespace rizorod::python;
    if (!init_datetime()) return nullptr;
    Ref module(PyModule_Create(&module_def));
    if (!module) return nullptr;
    decode_error_type =
        PyErr_NewExceptionWithDoc("rizorod.DecodeError",
                                  "An entry or a line of a capture that could not be read or "
                                  "decoded, or a record that decode() could\n"
                                  "not decode: .message says what was expected and what was found, "
                                  ".file and .line where (None for\n"
                                  "a record given to decode()). str() is \"file:line: message\", "
                                  "as the rizorod tool writes it.",
                                  PyExc_ValueError, nullptr);
    if (decode_error_type == nullptr ||
        PyModule_AddObjectRef(module.get(), "DecodeError", decode_error_type) < 0)
        return nullptr;
    if (!init_entry_type(module.get()) || !init_capture_type(module.get())) return nullptr;
    if (PyModule_AddStringConstant(module.get(), "__version__", RIZOROD_PYTHON_VERSION) < 0)
        return nullptr;
    return module.release();
}
