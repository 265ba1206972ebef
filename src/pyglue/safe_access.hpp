// Reading, writing and calling members of Python objects (COM wrappers above all) the safe
// way: each result is an owned object and each failure a Python exception (nb::python_error),
// never an unevaluated accessor whose failing look-up inside a call would end the process.
// Names given as C text are looked up by their interned str (interned_names.hpp).
#pragma once

#include <nanobind/nanobind.h>

#include <utility>

#include "interned_names.hpp"

namespace pyglue {

namespace nb = nanobind;

// obj.<name>
nb::object read(nb::handle obj, nb::handle name);
inline nb::object read(nb::handle obj, const char *name) { return read(obj, interned(name)); }

// obj.<name> = value
void write(nb::handle obj, nb::handle name, nb::handle value);
inline void write(nb::handle obj, const char *name, nb::handle value) {
    write(obj, interned(name), value);
}

// obj.<name>(...) for `self_and_arguments` = {obj, arguments...}: the method is found as the
// interpreter finds one for a call, so no bound method is made for a Python method.
nb::object call_method_with(nb::handle name, const nb::object *self_and_arguments,
                            std::size_t count);

namespace method_calls {
template <typename... Args>
nb::object call_named(nb::handle obj, nb::handle name, Args &&...args) {
    const nb::object self_and_arguments[] = {nb::borrow(obj), nb::cast(std::forward<Args>(args))...};
    return call_method_with(name, self_and_arguments, sizeof...(Args) + 1);
}
} // namespace method_calls

// obj.<name>(args...); each argument is converted to a Python object first.
template <typename... Args>
nb::object call_method(nb::handle obj, const char *name, Args &&...args) {
    return method_calls::call_named(obj, interned(name), std::forward<Args>(args)...);
}

template <typename... Args>
nb::object call_method(nb::handle obj, const Name &name, Args &&...args) {
    return method_calls::call_named(obj, name.get(), std::forward<Args>(args)...);
}

// Python's `a == b`, by the host's truth test of the comparison's result.
bool equals(nb::handle a, nb::handle b);

} // namespace pyglue
