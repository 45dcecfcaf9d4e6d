// SPDX-License-Identifier: Apache-2.0
// rizorod.Entry: one decoded entry of a capture, or one decoded record.
#ifndef RIZORODOZIDO_PYTHON_ENTRY_H
#define RIZORODOZIDO_PYTHON_ENTRY_H

#include "py.h"
#include "reading.h"

namespace rizorod::python {

extern PyTypeObject* entry_type;
bool init_entry_type(PyObject* module);

// An Entry for an item of kind entry of `batch`; `file` is the capture's name (None for a record
// decoded alone, which has no line either).
PyObject* make_entry(const Batch& batch, const Item& item, PyObject* file);

}  // namespace rizorod::python

#endif
