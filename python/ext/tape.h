// SPDX-License-Identifier: Apache-2.0
// A walk recorded without the GIL and turned into Python objects with it: the fields of an entry
// as nested dicts and lists, exactly as the JSON output has them (docs/JSON.md), with bytes for
// byte runs and names where JSON has hexadecimal.
#ifndef RIZORODOZIDO_PYTHON_TAPE_H
#define RIZORODOZIDO_PYTHON_TAPE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <RizOrodOzido/fields.h>

#include "py.h"

namespace rizorod::python {

// One thing a walk told. Labels and record names are the layout table's own (static) texts.
struct Op {
    enum Kind : std::uint8_t {
        value,
        begin_record,
        end_record,
        begin_list,
        end_list,
        bytes,
        name,
        custom,
        uncounted,
        text
    };
    Kind kind = value;
    std::uint32_t number = 0;  // a value; for begin_list the number of elements
    std::uint32_t end = 0;     // for begin_record and begin_list: the index of the matching end
    const char* label = nullptr;
    const char* record = nullptr;    // a record's name
    std::uint32_t at = 0, size = 0;  // bytes and texts, in the tape's arena
};

// The walks of many entries, one after another.
class Tape final : public FieldSink {
public:
    std::vector<Op> ops;
    std::string arena;

    void clear() noexcept {
        ops.clear();
        arena.clear();
        open_.clear();
    }
    // Back to a size it had, after a walk that failed midway.
    void truncate(std::size_t op_count, std::size_t arena_size) {
        ops.resize(op_count);
        arena.resize(arena_size);
        open_.clear();
    }
    std::string_view bytes_of(const Op& op) const {
        return std::string_view(arena).substr(op.at, op.size);
    }

    void value(const char* label, std::uint32_t value) override;
    void begin_record(const char* label, const char* name) override;
    void end_record() override;
    void begin_list(const char* label) override;
    void end_list() override;
    void bytes(const char* label, const std::uint8_t* data, std::size_t size, bool name) override;
    void unknown_custom() override;
    void uncounted(const char* label, const std::uint8_t* data, std::size_t size) override;
    void text(const char* label, std::string_view text) override;

private:
    Op& add(Op::Kind kind, const char* label);
    void keep(Op& op, const void* data, std::size_t size);
    std::vector<std::uint32_t> open_;  // the begin ops not yet ended
};

// The key of a field or of one of its forms: "label", "label.text", "label.uncounted".
enum class Form : std::uint8_t { plain, text, uncounted };
PyObject* key_str(const char* label, Form form);  // borrowed, interned

// Python objects from a tape (with the GIL).
// The dict of the fields in ops [begin, end), or null with an exception set.
PyObject* fields_dict(const Tape& tape, std::uint32_t begin, std::uint32_t end);
// The value of the list or record that begins at ops[at] (a list, or a dict with "record").
PyObject* nested_value(const Tape& tape, std::uint32_t at);
// The value of a leaf op: an int, bytes, or a str ("custom", a text form).
PyObject* leaf_value(const Tape& tape, const Op& op);

}  // namespace rizorod::python

#endif
