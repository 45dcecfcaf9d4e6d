// SPDX-License-Identifier: Apache-2.0
#include "entry.h"

#include <cstdio>
#include <new>
#include <structmember.h>

#include <RizOrodOzido/fields.h>

namespace rizorod::python {

PyTypeObject* entry_type = nullptr;

namespace {

struct EntryObject {
    PyObject ob_base;  // (PyObject_HEAD)
    PyObject* file;  // str, or None for a record decoded alone
    PyObject* fields;              // dict, or None for a code the interface does not define
    PyObject* kept;                // bytes: the record and its memory (keep_entry)
    PyObject* text;                // made when first asked for
    std::size_t line;
    const rizorod_layout_record* layout;
    std::uint16_t code;
    std::uint8_t iface;
    bool has_stamp, has_date;
    std::uint8_t hour, minute, second, month, day;
    std::uint16_t millis, year;
};

EntryObject* self_of(PyObject* o) { return reinterpret_cast<EntryObject*>(o); }

Timestamp stamp_of(const EntryObject* e) {
    Timestamp t;
    t.hour = e->hour;
    t.minute = e->minute;
    t.second = e->second;
    t.millis = e->millis;
    if (e->has_date) t.year = e->year;
    t.month = e->month;
    t.day = e->day;
    return t;
}

bool entry_of(const EntryObject* e, Entry& out) {
    Py_ssize_t size = 0;
    char* data = nullptr;
    if (PyBytes_AsStringAndSize(e->kept, &data, &size) < 0) return false;
    if (!entry_of_kept(std::string_view(data, static_cast<std::size_t>(size)), out)) {
        PyErr_SetString(PyExc_SystemError, "rizorod: an entry's kept bytes are damaged");
        return false;
    }
    out.iface = static_cast<Interface>(e->iface);
    out.code = e->code;
    out.line = e->line;
    if (e->has_stamp) out.stamp = stamp_of(e);
    return true;
}

void entry_dealloc(PyObject* o) {
    EntryObject* e = self_of(o);
    PyTypeObject* type = Py_TYPE(o);
    Py_XDECREF(e->file);
    Py_XDECREF(e->fields);
    Py_XDECREF(e->kept);
    Py_XDECREF(e->text);
    type->tp_free(o);
    Py_DECREF(type);
}

PyObject* get_file(PyObject* o, void*) { return Py_NewRef(self_of(o)->file); }
PyObject* get_line(PyObject* o, void*) {
    const EntryObject* e = self_of(o);
    if (e->file == Py_None) Py_RETURN_NONE;
    return PyLong_FromSize_t(e->line);
}
PyObject* get_interface(PyObject* o, void*) {
    return Py_NewRef(interface_str(static_cast<Interface>(self_of(o)->iface)));
}
PyObject* get_code(PyObject* o, void*) { return PyLong_FromLong(self_of(o)->code); }
PyObject* get_name(PyObject* o, void*) {
    const EntryObject* e = self_of(o);
    if (e->layout == nullptr) Py_RETURN_NONE;
    return Py_NewRef(name_str(e->layout->name));
}
PyObject* get_fields(PyObject* o, void*) { return Py_NewRef(self_of(o)->fields); }

PyObject* get_time(PyObject* o, void*) {
    const EntryObject* e = self_of(o);
    if (!e->has_stamp || !e->has_date) Py_RETURN_NONE;
    return datetime_of_ms(*stamp_of(e).unix_ms());
}

PyObject* get_time_of_day(PyObject* o, void*) {
    const EntryObject* e = self_of(o);
    if (!e->has_stamp) Py_RETURN_NONE;
    const std::string text = stamp_of(e).time_of_day();
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* get_text(PyObject* o, void*) {
    EntryObject* e = self_of(o);
    if (e->text != nullptr) return Py_NewRef(e->text);
    Entry entry;
    if (!entry_of(e, entry)) return nullptr;
    std::string text, failure;
    {
        Unlocked unlocked;
        thread_local Decoder decoder;
        try {
            decoder.decode(entry, text);
        } catch (const std::exception& error) {
            failure = error.what();
        }
    }
    if (!failure.empty()) return raise_decode_error(failure, e->file, e->line);
    e->text = text_str(text);
    return Py_XNewRef(e->text);
}

PyObject* get_record(PyObject* o, void*) {
    Entry entry;
    if (!entry_of(self_of(o), entry)) return nullptr;
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(entry.record.data()),
                                     static_cast<Py_ssize_t>(entry.record.size()));
}

PyObject* get_memory(PyObject* o, void*) {
    Entry entry;
    if (!entry_of(self_of(o), entry)) return nullptr;
    Ref memory(PyDict_New());
    if (!memory) return nullptr;
    bool ok = true;
    entry.image.for_each_block([&](std::uint32_t address, std::span<const std::uint8_t> bytes) {
        if (!ok) return;
        Ref key(PyLong_FromUnsignedLong(address));
        Ref value(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<Py_ssize_t>(bytes.size())));
        ok = key && value && PyDict_SetItem(memory.get(), key.get(), value.get()) == 0;
    });
    return ok ? memory.release() : nullptr;
}

PyObject* entry_repr(PyObject* o) {
    const EntryObject* e = self_of(o);
    char code[8];
    std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(e->code));
    const char* name = e->layout != nullptr ? e->layout->name : "(no primitive)";
    const char* iface = interface_name(static_cast<Interface>(e->iface));
    if (e->file == Py_None)
        return PyUnicode_FromFormat("<rizorod.Entry %s %s %s>", iface, code, name);
    return PyUnicode_FromFormat("<rizorod.Entry %U:%zu %s %s %s>", e->file, e->line, iface, code,
                                name);
}

PyGetSetDef entry_getset[] = {
    {"file", get_file, nullptr,
     PyDoc_STR("The capture's name: its path, the file object's name, or \"<stream>\"; None for a "
               "record given to decode()."),
     nullptr},
    {"line", get_line, nullptr,
     PyDoc_STR("The line of the entry line, from 1; None for a record given to decode()."),
     nullptr},
    {"interface", get_interface, nullptr, PyDoc_STR("\"dm\", \"l2cap\", \"rfcomm\" or \"sdp\"."),
     nullptr},
    {"code", get_code, nullptr, PyDoc_STR("The type code (int)."), nullptr},
    {"name", get_name, nullptr,
     PyDoc_STR("The primitive's name, e.g. \"DM_ACL_CONNECT_CFM_T\"; None for a code the "
               "interface does not define."),
     nullptr},
    {"fields", get_fields, nullptr,
     PyDoc_STR("The decoding as data, as in the JSON output: a dict of the fields in printed "
               "order (ints; nested records as dicts with \"record\"; lists; bytes for byte runs "
               "and names; \"label.text\" forms of addresses and names). None for a code the "
               "interface does not define."),
     nullptr},
    {"text", get_text, nullptr,
     PyDoc_STR("The text decoding, exactly as `rizorod decode` writes it (made when first asked "
               "for)."),
     nullptr},
    {"time", get_time, nullptr,
     PyDoc_STR("When the entry was logged, as a datetime in UTC, when its date is known (given, "
               "carried forward, or from date=); None otherwise. The capture's times carry no "
               "zone: they are read as UTC."),
     nullptr},
    {"time_of_day", get_time_of_day, nullptr,
     PyDoc_STR("The entry's time of day \"HH:MM:SS.mmm\" as logged, dated or not; None without a "
               "timestamp."),
     nullptr},
    {"record", get_record, nullptr, PyDoc_STR("The record's bytes as captured."), nullptr},
    {"memory", get_memory, nullptr,
     PyDoc_STR("The memory its pointers address: {address: bytes}, one item per block."), nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot entry_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(entry_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(entry_repr)},
    {Py_tp_getset, entry_getset},
    {Py_tp_doc,
     const_cast<char*>(PyDoc_STR("One decoded entry of a capture (from rizorod.open) or one "
                                 "decoded record (from rizorod.decode).\n\n"
                                 "Entries are made by the module, not by calling Entry()."))},
    {0, nullptr},
};

PyType_Spec entry_spec = {"rizorod.Entry", sizeof(EntryObject), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, entry_slots};

}  // namespace

bool init_entry_type(PyObject* module) {
    entry_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&entry_spec));
    return entry_type != nullptr &&
           PyModule_AddObjectRef(module, "Entry", reinterpret_cast<PyObject*>(entry_type)) == 0;
}

PyObject* make_entry(const Batch& batch, const Item& item, PyObject* file) {
    Ref fields;
    if (item.layout != nullptr) {
        fields.reset(fields_dict(batch.tape, item.ops_begin, item.ops_end));
        if (!fields) return nullptr;
    } else {
        fields = Ref::borrow(Py_None);
    }
    const std::string_view kept = batch.kept_of(item);
    Ref kept_bytes(PyBytes_FromStringAndSize(kept.data(), static_cast<Py_ssize_t>(kept.size())));
    if (!kept_bytes) return nullptr;
    PyObject* o = entry_type->tp_alloc(entry_type, 0);
    if (o == nullptr) return nullptr;
    EntryObject* e = self_of(o);
    e->file = Py_NewRef(file);
    e->fields = fields.release();
    e->kept = kept_bytes.release();
    e->text = nullptr;
    e->line = item.line;
    e->layout = item.layout;
    e->code = item.code;
    e->iface = static_cast<std::uint8_t>(item.iface);
    e->has_stamp = item.has_stamp;
    e->has_date = item.has_stamp && item.stamp.year.has_value();
    e->hour = item.stamp.hour;
    e->minute = item.stamp.minute;
    e->second = item.stamp.second;
    e->millis = item.stamp.millis;
    e->year = item.stamp.year.value_or(0);
    e->month = item.stamp.month;
    e->day = item.stamp.day;
    return o;
}

}  // namespace rizorod::python
