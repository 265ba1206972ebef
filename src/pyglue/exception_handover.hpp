// Taking an exception out of the interpreter, raising it again elsewhere (another thread,
// later), printing it, and running a clean-up step whatever a body throws.
#pragma once

#include <nanobind/nanobind.h>

#include <exception>

namespace pyglue {

namespace nb = nanobind;

// The exception behind `error` as an object that keeps its traceback; consumes `error`.
nb::object take_exception(nb::python_error &error);

// Raises ValueError(message); `message` is the exception's text as given.
[[noreturn]] void raise_value_error(nb::handle message);

// Raises `exception` (an object from take_exception) again, the same object.
[[noreturn]] void raise_again(nb::handle exception);

// Prints `exception` with its traceback on standard error, as an uncaught one is printed.
void print_exception(nb::handle exception);

// The exception of a C++ failure that is not a Python error, as a RuntimeError.
nb::object exception_from(const std::exception &failure);

// Runs `body`, then `cleanup`, also when `body` throws anything at all (a Python error or
// any C++ exception), in which case the exception goes on after the clean-up.
template <typename Body, typename Cleanup> void run_then_always(Body &&body, Cleanup &&cleanup) {
    try {
        body();
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
}

} // namespace pyglue
