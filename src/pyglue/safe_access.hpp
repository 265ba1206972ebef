// Reading, writing and calling members of Python objects (COM wrappers above all) the safe
// way: each result is an owned object and each failure a Python exception (nb::python_error),
// never an unevaluated accessor whose failing look-up inside a call would end the process.
#pragma once

#include <nanobind/nanobind.h>

#include <utility>

namespace pyglue {

namespace nb = nanobind;

// obj.<name>
nb::object read(nb::handle obj, const char *name);

// obj.<name> = value
void write(nb::handle obj, const char *name, nb::handle value);

// obj.<name>(args...): the member is read into an owned object first, then called.
template <typename... Args> nb::object call_method(nb::handle obj, const char *name, Args &&...args) {
    nb::object member = read(obj, name);
    return member(std::forward<Args>(args)...);
}

// Python's `a == b`, by the host's truth test of the comparison's result.
bool equals(nb::handle a, nb::handle b);

} // namespace pyglue
