// How a CDispatch behaves as a Python container, as pywin32's wrappers do: `for x in obj` walks
// `_NewEnum` and wraps each item; `len(obj)` reads `Count`; `obj(x)` and `obj[x]` call the
// default member; a wrapper is always true, even when `Count` is 0.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

// CDispatch's tp_iter: `iter(obj)` without a Python-level call of `__iter__`.
PyObject *iterate_slot(PyObject *self) noexcept;

// Adds the container protocol to CDispatch (registered already) and registers the iterator type.
void define_container_protocol(nb::module_ &module);

} // namespace cqgemu
