// SPDX-License-Identifier: Apache-2.0
// rizorod.open and rizorod.Capture: a capture read entry by entry, in batches decoded with the
// GIL let go.
#ifndef RIZORODOZIDO_PYTHON_CAPTURE_H
#define RIZORODOZIDO_PYTHON_CAPTURE_H

#include "py.h"

namespace rizorod::python {

extern PyTypeObject* capture_type;
bool init_capture_type(PyObject* module);

// errors="raise" or "collect"; false with a ValueError for anything else.
bool errors_mode(PyObject* errors, bool& collect);

// rizorod.open(source, where=None, *, errors="raise", date=None, piece=None)
PyObject* open_capture(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace rizorod::python

#endif
