// SPDX-License-Identifier: Apache-2.0
// The columns of rizorod.to_pandas: one row per entry, the entry's own columns and its fields
// flattened ("bd_addr.lap"), built in C++ and handed over as buffers and lists that the Python
// side wraps into a DataFrame without copying them again.
#ifndef RIZORODOZIDO_PYTHON_COLUMNS_H
#define RIZORODOZIDO_PYTHON_COLUMNS_H

#include <string_view>

#include "py.h"

namespace rizorod::python {

// What a column holds, from its name alone, so that every capture and every piece of one gives a
// column the same type: the entry's own columns, then by the field it names (the last part of
// the name that is a label of some primitive; a label may hold dots itself).
enum class ColumnKind : std::uint8_t {
    integer,  // a number in every primitive that has the field: a nullable Int64 column
    time,     // datetime64[ns, UTC]
    object,   // str, bytes, lists, dicts
};
// The kind of a column a program may ask for; false with a ValueError that says why not (a
// field no primitive has, a record, whose fields are columns of their own).
bool column_kind(std::string_view name, ColumnKind& kind);

// rizorod._columns(source, columns, where, date, errors, piece) -> (rows, [(name, kind, a, b)]):
// kind "int" with a = int64 values and b = one byte per row, 1 where the row has no value
// (bytearrays); "time" the same with milliseconds since 1970 (UTC); "object" with a = a list.
PyObject* read_columns(PyObject* module, PyObject* args);

}  // namespace rizorod::python

#endif
