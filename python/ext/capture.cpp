// SPDX-License-Identifier: Apache-2.0
// rizorod.open and rizorod.Capture: a capture read entry by entry.
#include "capture.h"

#include <memory>
#include <new>

#include "entry.h"
#include "reading.h"

namespace rizorod::python {

PyTypeObject* capture_type = nullptr;

namespace {

struct CaptureObject {
    PyObject ob_base;  // (PyObject_HEAD)
    Reader* reader;  // null once the capture is read or closed
    Batch* batch;
    std::size_t next;  // the next item of the batch
    PyObject* file;
    PyObject* errors;  // list, with errors="collect"; None otherwise
    bool busy;         // a batch is being read (with the GIL let go)
};

CaptureObject* self_of(PyObject* o) { return reinterpret_cast<CaptureObject*>(o); }

void release(CaptureObject* c) {
    delete c->reader;
    c->reader = nullptr;
    delete c->batch;
    c->batch = nullptr;
}

void capture_dealloc(PyObject* o) {
    CaptureObject* c = self_of(o);
    PyTypeObject* type = Py_TYPE(o);
    release(c);
    Py_XDECREF(c->file);
    Py_XDECREF(c->errors);
    type->tp_free(o);
    Py_DECREF(type);
}

bool busy(CaptureObject* c) {
    if (!c->busy) return false;
    PyErr_SetString(PyExc_RuntimeError, "this capture is being read by another thread");
    return true;
}

PyObject* capture_next(PyObject* o) {
    CaptureObject* c = self_of(o);
    if (busy(c)) return nullptr;
    for (;;) {
        if (c->batch == nullptr) return nullptr;  // read to its end, or closed: StopIteration
        while (c->next < c->batch->items.size()) {
            const Item& item = c->batch->items[c->next++];
            if (item.kind == Item::entry) return make_entry(*c->batch, item, c->file);
            const std::string_view message = c->batch->kept_of(item);
            if (c->errors == Py_None) return raise_decode_error(message, c->file, item.line);
            Ref error(make_decode_error(message, c->file, item.line));
            if (!error || PyList_Append(c->errors, error.get()) < 0) return nullptr;
        }
        c->busy = true;
        const bool ok = c->reader->next(*c->batch, Wanted{});
        c->busy = false;
        c->next = 0;
        if (!ok) {
            release(c);
            return nullptr;
        }
        if (c->batch->items.empty()) release(c);
    }
}

PyObject* capture_close(PyObject* o, PyObject*) {
    CaptureObject* c = self_of(o);
    if (busy(c)) return nullptr;
    release(c);
    Py_RETURN_NONE;
}

PyObject* capture_enter(PyObject* o, PyObject*) { return Py_NewRef(o); }

PyObject* capture_exit(PyObject* o, PyObject* const*, Py_ssize_t) {
    return capture_close(o, nullptr);
}

PyObject* get_errors(PyObject* o, void*) { return Py_NewRef(self_of(o)->errors); }
PyObject* get_file(PyObject* o, void*) { return Py_NewRef(self_of(o)->file); }

PyMethodDef capture_methods[] = {
    {"close", capture_close, METH_NOARGS,
     PyDoc_STR("Stops reading and closes the file (a file object given to open() is left open).")},
    {"__enter__", capture_enter, METH_NOARGS, nullptr},
    {"__exit__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(capture_exit)),
     METH_FASTCALL, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef capture_getset[] = {
    {"errors", get_errors, nullptr,
     PyDoc_STR("With errors=\"collect\": the DecodeError of every entry or line that could not "
               "be read or decoded so far, in capture order, each with .file, .line and "
               ".message. None with errors=\"raise\"."),
     nullptr},
    {"file", get_file, nullptr, PyDoc_STR("The capture's name, as entries and errors give it."),
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot capture_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(capture_dealloc)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(capture_next)},
    {Py_tp_methods, capture_methods},
    {Py_tp_getset, capture_getset},
    {Py_tp_doc, const_cast<char*>(PyDoc_STR("A capture being read, from rizorod.open(): iterate it "
                                            "for its entries (rizorod.Entry), in capture\n"
                                            "order. Also a context manager that closes it."))},
    {0, nullptr},
};

PyType_Spec capture_spec = {"rizorod.Capture", sizeof(CaptureObject), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, capture_slots};

}  // namespace

bool errors_mode(PyObject* errors, bool& collect) {
    if (PyUnicode_Check(errors)) {
        if (PyUnicode_CompareWithASCIIString(errors, "raise") == 0) return collect = false, true;
        if (PyUnicode_CompareWithASCIIString(errors, "collect") == 0) return collect = true, true;
    }
    PyErr_Format(PyExc_ValueError, "errors= takes \"raise\" or \"collect\", not %R", errors);
    return false;
}

bool init_capture_type(PyObject* module) {
    capture_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&capture_spec));
    return capture_type != nullptr &&
           PyModule_AddObjectRef(module, "Capture", reinterpret_cast<PyObject*>(capture_type)) == 0;
}

PyObject* open_capture(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"source", "where", "errors", "date", "piece", nullptr};
    PyObject *source, *where = Py_None, *errors = nullptr, *date = Py_None, *piece = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O$OOO:open", const_cast<char**>(keywords),
                                     &source, &where, &errors, &date, &piece))
        return nullptr;
    bool collect = false;
    if (errors != nullptr && !errors_mode(errors, collect)) return nullptr;
    std::unique_ptr<Reader> reader = Reader::open(source, where, date, piece);
    if (!reader) return nullptr;
    Ref list(collect ? PyList_New(0) : Py_NewRef(Py_None));
    if (!list) return nullptr;
    PyObject* o = capture_type->tp_alloc(capture_type, 0);
    if (o == nullptr) return nullptr;
    CaptureObject* c = self_of(o);
    c->file = Py_NewRef(reader->name());
    c->errors = list.release();
    c->batch = new (std::nothrow) Batch;
    if (c->batch == nullptr) {
        Py_DECREF(o);
        return PyErr_NoMemory();
    }
    c->reader = reader.release();
    c->next = 0;
    c->busy = false;
    return o;
}

}  // namespace rizorod::python
