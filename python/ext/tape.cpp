// SPDX-License-Identifier: Apache-2.0
#include "tape.h"

#include <cstring>
#include <string>
#include <unordered_map>

#include <RizOrodOzido/rows/layout.h>

namespace rizorod::python {

Op& Tape::add(Op::Kind kind, const char* label) {
    Op& op = ops.emplace_back();
    op.kind = kind;
    op.label = label;
    return op;
}

void Tape::keep(Op& op, const void* data, std::size_t size) {
    op.at = static_cast<std::uint32_t>(arena.size());
    op.size = static_cast<std::uint32_t>(size);
    if (size != 0) arena.append(static_cast<const char*>(data), size);
}

void Tape::value(const char* label, std::uint32_t value) { add(Op::value, label).number = value; }

void Tape::begin_record(const char* label, const char* name) {
    open_.push_back(static_cast<std::uint32_t>(ops.size()));
    add(Op::begin_record, label).record = name;
}

void Tape::end_record() {
    ops[open_.back()].end = static_cast<std::uint32_t>(ops.size());
    open_.pop_back();
    add(Op::end_record, nullptr);
}

void Tape::begin_list(const char* label) {
    open_.push_back(static_cast<std::uint32_t>(ops.size()));
    add(Op::begin_list, label);
}

void Tape::end_list() {
    Op& begin = ops[open_.back()];
    begin.end = static_cast<std::uint32_t>(ops.size());
    // The elements are the ops one level down: values, and records with their insides.
    std::uint32_t count = 0;
    for (std::uint32_t i = open_.back() + 1; i < begin.end; ++i, ++count)
        if (ops[i].kind == Op::begin_record || ops[i].kind == Op::begin_list) i = ops[i].end;
    begin.number = count;
    open_.pop_back();
    add(Op::end_list, nullptr);
}

void Tape::bytes(const char* label, const std::uint8_t* data, std::size_t size, bool name) {
    Op& op = add(name ? Op::name : Op::bytes, label);
    keep(op, data, size);
}

void Tape::unknown_custom() { add(Op::custom, "custom"); }

void Tape::uncounted(const char* label, const std::uint8_t* data, std::size_t size) {
    Op& op = add(Op::uncounted, label);
    keep(op, data, size);
}

void Tape::text(const char* label, std::string_view text) {
    Op& op = add(Op::text, label);
    keep(op, text.data(), text.size());
}

namespace {

// Interned keys by the address of their label: the layout table's labels are static, so each
// is made once. A slot per address hash answers most look-ups before the map.
struct KeyCache {
    struct Slot {
        const char* label = nullptr;
        PyObject* key = nullptr;
    };
    static constexpr std::size_t kSlots = 1024;
    Slot slots[3][kSlots];
    std::unordered_map<const char*, PyObject*> forms[3];
};

KeyCache& keys() {
    static KeyCache* cache = new KeyCache;  // lives as long as the process, as interned strings do
    return *cache;
}

PyObject* custom_text() {
    static PyObject* text = [] {
        const std::string_view t = RIZOROD_UNKNOWN_CUSTOM_TEXT;
        return PyUnicode_FromStringAndSize(t.data(),
                                           static_cast<Py_ssize_t>(t.size() - 1));  // no line end
    }();
    return text;
}

PyObject* bytes_object(std::string_view b) {
    return PyBytes_FromStringAndSize(b.data(), static_cast<Py_ssize_t>(b.size()));
}

bool set(PyObject* dict, PyObject* key, PyObject* value) {
    if (key == nullptr || value == nullptr) {
        Py_XDECREF(value);
        return false;
    }
    const int failed = PyDict_SetItem(dict, key, value);
    Py_DECREF(value);
    return failed == 0;
}

// The members of a record or of the fields' dict, from ops [begin, end), into `dict`.
bool fill(PyObject* dict, const Tape& tape, std::uint32_t begin, std::uint32_t end) {
    const Op* ops = tape.ops.data();
    for (std::uint32_t i = begin; i < end; ++i) {
        const Op& op = ops[i];
        switch (op.kind) {
            case Op::begin_record:
            case Op::begin_list:
                if (!set(dict, key_str(op.label, Form::plain), nested_value(tape, i))) return false;
                i = op.end;
                break;
            case Op::name:
                if (!set(dict, key_str(op.label, Form::plain), leaf_value(tape, op))) return false;
                if (!set(dict, key_str(op.label, Form::text), text_str(tape.bytes_of(op))))
                    return false;
                break;
            case Op::uncounted:
                if (!set(dict, key_str(op.label, Form::uncounted), leaf_value(tape, op)))
                    return false;
                break;
            case Op::text:
                if (!set(dict, key_str(op.label, Form::text), leaf_value(tape, op))) return false;
                break;
            case Op::value:
            case Op::bytes:
            case Op::custom:
                if (!set(dict, key_str(op.label, Form::plain), leaf_value(tape, op))) return false;
                break;
            case Op::end_record:
            case Op::end_list:
                break;  // not reached: nested ops are passed over whole
        }
    }
    return true;
}

}  // namespace

PyObject* key_str(const char* label, Form form) {
    KeyCache& all = keys();
    const auto address = reinterpret_cast<std::uintptr_t>(label);
    KeyCache::Slot& slot =
        all.slots[static_cast<int>(form)][(address ^ address >> 10) % KeyCache::kSlots];
    if (slot.label == label && label != nullptr) return slot.key;
    auto& cache = all.forms[static_cast<int>(form)];
    const auto found = cache.find(label);
    if (found != cache.end()) {
        slot = {label, found->second};
        return found->second;
    }
    std::string key = label != nullptr ? label : "";
    if (form == Form::text) key += ".text";
    if (form == Form::uncounted) key += ".uncounted";
    PyObject* s = PyUnicode_InternFromString(key.c_str());
    if (s != nullptr) cache.emplace(label, s);
    return s;
}

PyObject* leaf_value(const Tape& tape, const Op& op) {
    switch (op.kind) {
        case Op::value:
            return PyLong_FromUnsignedLong(op.number);
        case Op::bytes:
        case Op::name:
        case Op::uncounted:
            return bytes_object(tape.bytes_of(op));
        case Op::text:
            return text_str(tape.bytes_of(op));
        case Op::custom:
            return Py_NewRef(custom_text());
        case Op::begin_record:
        case Op::end_record:
        case Op::begin_list:
        case Op::end_list:
            break;
    }
    PyErr_SetString(PyExc_SystemError, "rizorod: a nested value where a leaf was expected");
    return nullptr;
}

PyObject* nested_value(const Tape& tape, std::uint32_t at) {
    const Op& op = tape.ops[at];
    if (op.kind == Op::begin_record) {
        Ref dict(PyDict_New());
        if (!dict ||
            !set(dict.get(), key_str("record", Form::plain), Py_NewRef(name_str(op.record))))
            return nullptr;
        if (!fill(dict.get(), tape, at + 1, op.end)) return nullptr;
        return dict.release();
    }
    Ref list(PyList_New(op.number));
    if (!list) return nullptr;
    Py_ssize_t n = 0;
    for (std::uint32_t i = at + 1; i < op.end; ++i, ++n) {
        const Op& element = tape.ops[i];
        const bool nested = element.kind == Op::begin_record || element.kind == Op::begin_list;
        PyObject* v = nested ? nested_value(tape, i) : leaf_value(tape, element);
        if (v == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), n, v);
        if (nested) i = element.end;
    }
    return list.release();
}

PyObject* fields_dict(const Tape& tape, std::uint32_t begin, std::uint32_t end) {
    Ref dict(PyDict_New());
    if (!dict || !fill(dict.get(), tape, begin, end)) return nullptr;
    return dict.release();
}

}  // namespace rizorod::python
