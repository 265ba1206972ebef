// Carrying an exception from the thread that raised it to the thread that reports it.
#pragma once

#include <nanobind/nanobind.h>

namespace combridge {

namespace nb = nanobind;

// The exception behind `error` as an object that keeps its traceback; consumes `error`.
nb::object take_exception(nb::python_error &error);

// Raises `exception` (an object from take_exception) again, the same object.
[[noreturn]] void raise_again(nb::handle exception);

// Raises RuntimeError(message) with `cause` (an object from take_exception) as its cause.
[[noreturn]] void raise_chained(nb::handle cause, const char *message);

} // namespace combridge
