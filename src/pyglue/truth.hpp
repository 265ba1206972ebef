// The host's truth test of a value, raising what the value's __bool__ raises.
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

namespace nb = nanobind;

inline bool is_true(nb::handle value) {
    int truth = PyObject_IsTrue(value.ptr());
    if (truth < 0)
        throw nb::python_error();
    return truth != 0;
}

} // namespace pyglue
