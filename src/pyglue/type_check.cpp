#include "type_check.hpp"

namespace pyglue {

void raise_incorrect_type(nb::handle value, const char *expected_name,
                          const char *arg_name) {
    PyErr_Format(PyExc_TypeError,
                 "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                 arg_name, expected_name, Py_TYPE(value.ptr())->tp_name);
    throw nb::python_error();
}

void require_exact_type(nb::handle value, PyTypeObject *expected, const char *arg_name) {
    if (Py_TYPE(value.ptr()) != expected)
        raise_incorrect_type(value, expected->tp_name, arg_name);
}

void require_exact_type_or_none(nb::handle value, PyTypeObject *expected,
                                const char *arg_name) {
    if (!value.is_none())
        require_exact_type(value, expected, arg_name);
}

} // namespace pyglue
