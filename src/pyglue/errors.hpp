// Raising Python errors from C++, and taking an exception out of the interpreter to raise it
// again elsewhere (another thread, later) or print it. The system modules raise through here.
#pragma once

#include <nanobind/nanobind.h>

#include <exception>

namespace pyglue {

namespace nb = nanobind;

// The exception behind `error` as an object that keeps its traceback; consumes `error`.
nb::object take_exception(nb::python_error &error);

// Raises ValueError(message); `message` is the exception's text as given.
[[noreturn]] void raise_value_error(nb::handle message);

// Raises `type`(message), `message` as given.
[[noreturn]] void raise_error(PyObject *type, nb::handle message);

// Raises `type` with the text PyErr_Format makes of `format` and the values after it
// (%s, %R, %.200s and the rest as PyUnicode_FromFormat reads them).
[[noreturn]] void raise_error(PyObject *type, const char *format, ...);

// Raises the exception class `type` with no arguments, as `raise type` does.
[[noreturn]] void raise_type(nb::handle type);

// Raises `type`(message) with the error behind `cause` as its cause; consumes `cause`.
[[noreturn]] void raise_from(nb::python_error &cause, PyObject *type, const char *message);

// Raises `exception` (an object from take_exception) again, the same object.
[[noreturn]] void raise_again(nb::handle exception);

// Raises RuntimeError(message) with `cause` (an object from take_exception) as its cause.
[[noreturn]] void raise_chained(nb::handle cause, const char *message);

// Prints `exception` with its traceback on standard error, as an uncaught one is printed.
void print_exception(nb::handle exception);

// The exception of a C++ failure that is not a Python error, as a RuntimeError.
nb::object exception_from(const std::exception &failure);

} // namespace pyglue
