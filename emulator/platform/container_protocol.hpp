// How a CDispatch behaves as a Python container, as pywin32's wrappers do: `for x in obj` walks
// `_NewEnum` and wraps each item; `len(obj)` reads `Count`; `obj(x)` and `obj[x]` call the
// default member; a wrapper is always true, even when `Count` is 0.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

// CDispatch's slots, so that `iter(obj)`, `len(obj)` and a truth test make no Python-level
// call: tp_iter, mp_length (`Count`) and nb_bool (always true).
PyObject *iterate_slot(PyObject *self) noexcept;
Py_ssize_t length_slot(PyObject *self) noexcept;
int truth_slot(PyObject *self) noexcept;

// Adds the container protocol to CDispatch (registered already) and registers the iterator type.
void define_container_protocol(nb::module_ &module);

} // namespace cqgemu
