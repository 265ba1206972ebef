#include "python_lock.hpp"

namespace pyglue {

PythonLockHold::PythonLockHold(nb::handle lock) : lock_(nb::borrow(lock)) {
    nb::object acquired = nb::steal(PyObject_CallMethod(lock_.ptr(), "acquire", nullptr));
    if (!acquired.is_valid())
        throw nb::python_error();
}

PythonLockHold::~PythonLockHold() {
    // Runs also while an error unwinds; nanobind has taken that error out of the
    // interpreter already, so calling into Python here is safe.
    nb::object released = nb::steal(PyObject_CallMethod(lock_.ptr(), "release", nullptr));
    if (!released.is_valid())
        PyErr_WriteUnraisable(lock_.ptr());
}

} // namespace pyglue
