// SPDX-License-Identifier: Apache-2.0
#include "columns.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <RizOrodOzido/fields.h>

#include "capture.h"
#include "reading.h"
#include "tape.h"

namespace rizorod::python {
namespace {

// ---- what each label holds somewhere in the rows

enum Shape : unsigned {
    number = 1,      // a field line
    list = 2,        // an element run, a block walk, an access-code list, an IP address's words
    bytes = 4,       // a byte run or a name
    record = 8,      // a nested record (flattened into its fields)
    text = 16,       // has a "label.text" form
    uncounted = 32,  // has a "label.uncounted" form
    other = 64,      // the custom rendering's complaint
};

void note_record(const rizorod_layout_record* r, std::map<std::string, unsigned>& shapes);

void note_field(const rizorod_layout_record* r, const rizorod_layout_field& f,
                std::map<std::string, unsigned>& shapes) {
    const auto pointer_label = [&] {
        const char* label = rizorod_pointer_label(r, f.pointer);
        return std::string(label != nullptr ? label : "");
    };
    switch (rizorod_kind(&f)) {
        case RIZOROD_LAYOUT_U8:
        case RIZOROD_LAYOUT_B8:
        case RIZOROD_LAYOUT_I8:
        case RIZOROD_LAYOUT_U16:
        case RIZOROD_LAYOUT_ENUM:
        case RIZOROD_LAYOUT_U32:
        case RIZOROD_LAYOUT_I32:
        case RIZOROD_LAYOUT_U24:
            shapes[f.label] |= number;
            break;
        case RIZOROD_LAYOUT_REC:
            shapes[f.label] |= record | (address_form(f.record) != AddressForm::none ? text : 0u);
            note_record(f.record, shapes);
            break;
        case RIZOROD_LAYOUT_ARR:
            shapes[f.label] |= list;
            break;
        case RIZOROD_LAYOUT_RUN:
            shapes[pointer_label()] |= bytes;
            break;
        case RIZOROD_LAYOUT_IP:
            shapes[f.label] |= list | text;
            break;
        case RIZOROD_LAYOUT_BLOCKS:
            shapes[pointer_label()] |= list | (f.whole ? uncounted : 0u);
            if (f.record->name != nullptr) note_record(f.record, shapes);
            break;
        case RIZOROD_LAYOUT_CUSTOM:
            shapes["name_part"] |= bytes | text;
            shapes["iac_lap"] |= list;
            shapes["custom"] |= other;
            break;
        case RIZOROD_LAYOUT_END:
        case RIZOROD_LAYOUT_PTR:  // silent
        case RIZOROD_LAYOUT_NEWLINE:
        case RIZOROD_LAYOUT_CASE:
        case RIZOROD_LAYOUT_CASE_END:
            break;
    }
}

void note_record(const rizorod_layout_record* r, std::map<std::string, unsigned>& shapes) {
    for (const rizorod_layout_field* f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f)
        note_field(r, *f, shapes);
}

const std::map<std::string, unsigned>& shapes() {
    static const std::map<std::string, unsigned> all = [] {
        std::map<std::string, unsigned> s;
        for (Interface iface : kInterfaces)
            for (const Primitive& p : primitives(iface)) note_record(layout(iface, p.code), s);
        return s;
    }();
    return all;
}

// The shapes of the label that a column name ends with: the whole name, or what follows one of
// its dots (the longest such part first); 0 when no primitive has it.
unsigned shapes_of(std::string_view name) {
    const auto& all = shapes();
    for (std::size_t from = 0;;) {
        const auto found = all.find(std::string(name.substr(from)));
        if (found != all.end()) return found->second;
        const std::size_t dot = name.find('.', from);
        if (dot == std::string_view::npos) return 0;
        from = dot + 1;
    }
}

// ---- the entry's own columns

enum Own { file, line, time, time_of_day, interface, code, name, error, fields, own_count };
constexpr const char* kOwnNames[own_count] = {"file", "line", "time",  "time_of_day", "interface",
                                              "code", "name", "error", "fields"};
constexpr ColumnKind kOwnKinds[own_count] = {
    ColumnKind::object, ColumnKind::integer, ColumnKind::time,
    ColumnKind::object, ColumnKind::object,  ColumnKind::integer,
    ColumnKind::object, ColumnKind::object,  ColumnKind::object};

int own_of(std::string_view name) {
    for (int i = 0; i < own_count; ++i)
        if (name == kOwnNames[i]) return i;
    return -1;
}

// ---- building

struct Column {
    std::string name;
    ColumnKind kind;
    std::vector<std::pair<std::size_t, std::int64_t>> numbers;  // (row, value)
    std::vector<std::pair<std::size_t, PyObject*>> objects;     // (row, owned value)

    Column(std::string n, ColumnKind k) : name(std::move(n)), kind(k) {}
    Column(const Column&) = delete;
    Column& operator=(const Column&) = delete;
    ~Column() {
        for (auto& [row, o] : objects) Py_DECREF(o);
    }
    // A value that is not a number in a column of numbers: the column holds objects from now on.
    bool to_objects() {
        for (const auto& [row, v] : numbers) {
            PyObject* o = PyLong_FromLongLong(v);
            if (o == nullptr) return false;
            objects.emplace_back(row, o);
        }
        numbers.clear();
        kind = ColumnKind::object;
        return true;
    }
    bool put_number(std::size_t row, std::int64_t v) {
        if (kind != ColumnKind::object) {
            numbers.emplace_back(row, v);
            return true;
        }
        return put_object(row, PyLong_FromLongLong(v));
    }
    bool put_object(std::size_t row, PyObject* owned) {
        if (owned == nullptr) return false;
        if (kind != ColumnKind::object && !to_objects()) {
            Py_DECREF(owned);
            return false;
        }
        objects.emplace_back(row, owned);
        return true;
    }
};

class Builder {
public:
    // `requested`: the names asked for, or empty for every column there is.
    Builder(std::vector<std::string> requested, bool collect)
        : all_(requested.empty()), collect_(collect) {
        for (int& i : own_) i = -1;
        if (all_) {
            for (int i : {file, line, time, interface, code, name})
                own_[i] = add(kOwnNames[i], kOwnKinds[i]);
            if (collect) own_[error] = add(kOwnNames[error], kOwnKinds[error]);
            return;
        }
        for (std::string& n : requested) {
            const int own = own_of(n);
            ColumnKind kind = own >= 0 ? kOwnKinds[own] : ColumnKind::object;
            if (own < 0) column_kind(n, kind);  // checked already
            const int at = add(n, kind);
            if (own >= 0) own_[own] = at;
        }
    }

    // The rows of one batch; false with an exception set (a bad entry with errors="raise").
    bool take(const Batch& batch, PyObject* file_name) {
        for (const Item& item : batch.items) {
            if (item.kind != Item::entry && !collect_)
                return raise_decode_error(batch.kept_of(item), file_name, item.line), false;
            const std::size_t row = rows_++;
            if (!put_own(file, row, Py_NewRef(file_name)) ||
                !put_own_number(line, row, static_cast<std::int64_t>(item.line)))
                return false;
            if (item.kind != Item::unreadable && !put_head(item, row)) return false;
            if (item.kind != Item::entry) {
                if (!put_own(error, row, text_str(batch.kept_of(item)))) return false;
                continue;
            }
            if (item.layout == nullptr) continue;
            if (own_[fields] >= 0 &&
                !put_own(fields, row, fields_dict(batch.tape, item.ops_begin, item.ops_end)))
                return false;
            if (!flatten(batch.tape, item.ops_begin, item.ops_end, -1, row)) return false;
        }
        return true;
    }

    // (rows, [(name, kind, a, b)])
    PyObject* result() {
        Ref out(PyList_New(0));
        if (!out) return nullptr;
        for (const auto& c : columns_) {
            Ref entry;
            if (c->kind == ColumnKind::object) {
                Ref values(PyList_New(static_cast<Py_ssize_t>(rows_)));
                if (!values) return nullptr;
                for (std::size_t r = 0; r < rows_; ++r)
                    PyList_SET_ITEM(values.get(), static_cast<Py_ssize_t>(r), Py_NewRef(Py_None));
                // PyList_SetItem takes the value and drops the None; the column's destructor
                // drops a None in its place.
                for (auto& [row, o] : c->objects) {
                    PyList_SetItem(values.get(), static_cast<Py_ssize_t>(row), o);
                    o = Py_NewRef(Py_None);
                }
                entry.reset(
                    Py_BuildValue("(ssOO)", c->name.c_str(), "object", values.get(), Py_None));
            } else {
                Ref values(
                    PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(rows_ * 8)));
                Ref missing(PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(rows_)));
                if (!values || !missing) return nullptr;
                auto* v = reinterpret_cast<std::int64_t*>(PyByteArray_AS_STRING(values.get()));
                auto* m = reinterpret_cast<std::uint8_t*>(PyByteArray_AS_STRING(missing.get()));
                std::fill(v, v + rows_, 0);
                std::fill(m, m + rows_, std::uint8_t{1});
                for (const auto& [row, value] : c->numbers) {
                    v[row] = value;
                    m[row] = 0;
                }
                entry.reset(Py_BuildValue("(ssOO)", c->name.c_str(),
                                          c->kind == ColumnKind::time ? "time" : "int",
                                          values.get(), missing.get()));
            }
            if (!entry || PyList_Append(out.get(), entry.get()) < 0) return nullptr;
        }
        return Py_BuildValue("(nO)", static_cast<Py_ssize_t>(rows_), out.get());
    }

private:
    int add(std::string n, ColumnKind kind) {
        by_name_.emplace(n, static_cast<int>(columns_.size()));
        columns_.push_back(std::make_unique<Column>(std::move(n), kind));
        return static_cast<int>(columns_.size() - 1);
    }

    bool put_own(Own which, std::size_t row, PyObject* owned) {
        if (own_[which] < 0) {
            Py_XDECREF(owned);
            return owned != nullptr;
        }
        return columns_[static_cast<std::size_t>(own_[which])]->put_object(row, owned);
    }
    bool put_own_number(Own which, std::size_t row, std::int64_t v) {
        return own_[which] < 0 ||
               columns_[static_cast<std::size_t>(own_[which])]->put_number(row, v);
    }

    // The columns of the entry line: time, interface, code, name.
    bool put_head(const Item& item, std::size_t row) {
        if (item.has_stamp && own_[time] >= 0) {
            // datetime64[ns] holds 1677-09-21 to 2262-04-11; a time outside has none.
            const auto ms = item.stamp.unix_ms();
            if (ms && *ms > -9223372036854 && *ms < 9223372036854 &&
                !put_own_number(time, row, *ms))
                return false;
        }
        if (item.has_stamp && own_[time_of_day] >= 0) {
            const std::string t = item.stamp.time_of_day();
            if (!put_own(time_of_day, row,
                         PyUnicode_FromStringAndSize(t.data(), static_cast<Py_ssize_t>(t.size()))))
                return false;
        }
        if (!put_own(interface, row, Py_NewRef(interface_str(item.iface))) ||
            !put_own_number(code, row, item.code))
            return false;
        return item.layout == nullptr || put_own(name, row, Py_NewRef(name_str(item.layout->name)));
    }

    // The node of the field `label` (in the form `form`) under the node `parent` (-1: the top):
    // its flattened name, and its column once column_of() has looked for it.
    int node(int parent, const char* label, Form form) {
        const Key key{parent, label, form};
        // A slot per hash answers most look-ups before the map.
        Slot& slot = slots_[KeyHash()(key) % kSlots];
        if (slot.id >= 0 && slot.key == key) return slot.id;
        const auto found = nodes_.find(key);
        if (found != nodes_.end()) {
            slot = {key, found->second};
            return found->second;
        }
        std::string n =
            parent >= 0 ? node_names_[static_cast<std::size_t>(parent)] + "." : std::string();
        n += label != nullptr ? label : "";
        if (form == Form::text) n += ".text";
        if (form == Form::uncounted) n += ".uncounted";
        const int id = static_cast<int>(node_names_.size());
        node_names_.push_back(std::move(n));
        node_columns_.push_back(kNotLooked);
        nodes_.emplace(key, id);
        return id;
    }
    // The column of node `id`: the one of its name, a new one when every column is wanted, or
    // -1 when it is not wanted.
    int column_of(int id) {
        int& column = node_columns_[static_cast<std::size_t>(id)];
        if (column != kNotLooked) return column;
        const std::string& n = node_names_[static_cast<std::size_t>(id)];
        const auto found = by_name_.find(n);
        if (found != by_name_.end()) {
            column = found->second;
        } else if (!all_) {
            column = -1;
        } else {
            ColumnKind kind = ColumnKind::object;
            if (!column_kind(n, kind)) PyErr_Clear();  // (every label told by a walk is known)
            column = add(n, kind);
        }
        return column;
    }
    Column* column_at(int parent, const char* label, Form form) {
        const int c = column_of(node(parent, label, form));
        return c >= 0 ? columns_[static_cast<std::size_t>(c)].get() : nullptr;
    }

    bool flatten(const Tape& tape, std::uint32_t begin, std::uint32_t end, int parent,
                 std::size_t row) {
        for (std::uint32_t i = begin; i < end; ++i) {
            const Op& op = tape.ops[i];
            Column* c = nullptr;
            switch (op.kind) {
                case Op::begin_record:
                    if (!flatten(tape, i + 1, op.end, node(parent, op.label, Form::plain), row))
                        return false;
                    i = op.end;
                    break;
                case Op::begin_list:
                    if ((c = column_at(parent, op.label, Form::plain)) &&
                        !c->put_object(row, nested_value(tape, i)))
                        return false;
                    i = op.end;
                    break;
                case Op::value:
                    if ((c = column_at(parent, op.label, Form::plain)) &&
                        !c->put_number(row, op.number))
                        return false;
                    break;
                case Op::name:
                    if ((c = column_at(parent, op.label, Form::plain)) &&
                        !c->put_object(row, leaf_value(tape, op)))
                        return false;
                    if ((c = column_at(parent, op.label, Form::text)) &&
                        !c->put_object(row, text_str(tape.bytes_of(op))))
                        return false;
                    break;
                case Op::bytes:
                case Op::custom:
                    if ((c = column_at(parent, op.label, Form::plain)) &&
                        !c->put_object(row, leaf_value(tape, op)))
                        return false;
                    break;
                case Op::uncounted:
                    if ((c = column_at(parent, op.label, Form::uncounted)) &&
                        !c->put_object(row, leaf_value(tape, op)))
                        return false;
                    break;
                case Op::text:
                    if ((c = column_at(parent, op.label, Form::text)) &&
                        !c->put_object(row, leaf_value(tape, op)))
                        return false;
                    break;
                case Op::end_record:
                case Op::end_list:
                    break;
            }
        }
        return true;
    }

    struct Key {
        int parent;
        const char* label;
        Form form;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const noexcept {
            const auto a = reinterpret_cast<std::uintptr_t>(k.label);
            return (a ^ a >> 9) * 31 + static_cast<std::size_t>(k.parent) * 7 +
                   static_cast<std::size_t>(k.form);
        }
    };

    bool all_, collect_;
    std::size_t rows_ = 0;
    int own_[own_count];
    std::vector<std::unique_ptr<Column>> columns_;
    std::unordered_map<std::string, int> by_name_;
    std::unordered_map<Key, int, KeyHash> nodes_;
    struct Slot {
        Key key{-1, nullptr, Form::plain};
        int id = -1;
    };
    static constexpr std::size_t kSlots = 1024;
    std::vector<Slot> slots_ = std::vector<Slot>(kSlots);
    std::vector<std::string> node_names_;
    static constexpr int kNotLooked = -2;
    std::vector<int> node_columns_;
};

}  // namespace

bool column_kind(std::string_view name, ColumnKind& kind) {
    const std::string text(name);
    if (const int own = own_of(name); own >= 0) {
        kind = kOwnKinds[own];
        return true;
    }
    kind = ColumnKind::object;
    // A form of a field: its text (addresses, names) or the elements past a block walk's count.
    for (const auto& [suffix, shape] : {std::pair<std::string_view, unsigned>{".text", Shape::text},
                                        {".uncounted", Shape::uncounted}}) {
        if (name.size() <= suffix.size() || name.substr(name.size() - suffix.size()) != suffix)
            continue;
        const std::string field = text.substr(0, text.size() - suffix.size());
        if (shapes_of(field) & shape) return true;
        PyErr_Format(PyExc_ValueError, "no primitive has a field \"%s\" with a %s form",
                     field.c_str(), std::string(suffix).c_str());
        return false;
    }
    const unsigned s = shapes_of(name);
    if (s == 0) {
        PyErr_Format(PyExc_ValueError,
                     "no primitive has a field named \"%s\" (rizorod.primitives() lists them; "
                     "nested fields are "
                     "RECORD.FIELD, as bd_addr.lap)",
                     text.c_str());
        return false;
    }
    const unsigned values =
        s & ~static_cast<unsigned>(Shape::record | Shape::text | Shape::uncounted);
    if (values == 0) {
        PyErr_Format(PyExc_ValueError,
                     "\"%s\" is a record: its fields are columns of their own (%s.FIELD), and an "
                     "address has %s.text",
                     text.c_str(), text.c_str(), text.c_str());
        return false;
    }
    kind = values == Shape::number ? ColumnKind::integer : ColumnKind::object;
    return true;
}

PyObject* read_columns(PyObject*, PyObject* args) {
    PyObject *source, *columns, *where, *date, *errors, *piece;
    if (!PyArg_ParseTuple(args, "OOOOOO:_columns", &source, &columns, &where, &date, &errors,
                          &piece))
        return nullptr;
    bool collect = false;
    if (!errors_mode(errors, collect)) return nullptr;
    std::vector<std::string> requested;
    bool wants_fields = columns == Py_None;
    if (columns != Py_None) {
        Ref items(PySequence_Fast(columns, "columns= takes a list of column names or None"));
        if (!items) return nullptr;
        for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
            PyObject* n = PySequence_Fast_GET_ITEM(items.get(), i);
            const char* text = PyUnicode_Check(n) ? PyUnicode_AsUTF8(n) : nullptr;
            if (text == nullptr) {
                if (!PyErr_Occurred())
                    PyErr_Format(PyExc_TypeError, "a column name is a str, not %R", n);
                return nullptr;
            }
            ColumnKind kind;
            if (!column_kind(text, kind)) return nullptr;
            for (const std::string& seen : requested)
                if (seen == text)
                    return PyErr_Format(PyExc_ValueError, "column \"%s\" is asked for twice", text);
            requested.emplace_back(text);
            const int own = own_of(text);
            wants_fields = wants_fields || own < 0 || own == fields;
        }
    }
    std::unique_ptr<Reader> reader = Reader::open(source, where, date, piece);
    if (!reader) return nullptr;
    Builder builder(std::move(requested), collect);
    Batch batch;
    Wanted wanted;
    wanted.fields = wants_fields;
    wanted.kept = false;
    for (;;) {
        if (!reader->next(batch, wanted)) return nullptr;
        if (batch.items.empty()) break;
        if (!builder.take(batch, reader->name()) || PyErr_CheckSignals() < 0) return nullptr;
    }
    return builder.result();
}

}  // namespace rizorod::python
