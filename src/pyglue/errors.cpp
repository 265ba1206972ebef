#include "errors.hpp"

#include <cstdarg>

namespace pyglue {

nb::object take_exception(nb::python_error &error) {
    error.restore();
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback)
        PyException_SetTraceback(value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return nb::steal(value);
}

void raise_value_error(nb::handle message) {
    PyErr_SetObject(PyExc_ValueError, message.ptr());
    throw nb::python_error();
}

void raise_error(PyObject *type, nb::handle message) {
    PyErr_SetObject(type, message.ptr());
    throw nb::python_error();
}

void raise_error(PyObject *type, const char *format, ...) {
    va_list values;
    va_start(values, format);
    PyErr_FormatV(type, format, values);
    va_end(values);
    throw nb::python_error();
}

void raise_type(nb::handle type) {
    PyErr_SetNone(type.ptr());
    throw nb::python_error();
}

void raise_from(nb::python_error &cause, PyObject *type, const char *message) {
    nb::raise_from(cause, type, "%s", message);
}

void raise_again(nb::handle exception) {
    // An exception instance keeps its own traceback, which the raise carries on.
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(exception.ptr())), exception.ptr());
    throw nb::python_error();
}

void print_exception(nb::handle exception) {
    nb::object print = nb::module_::import_("traceback").attr("print_exception");
    print(exception);
}

nb::object exception_from(const std::exception &failure) {
    PyErr_SetString(PyExc_RuntimeError, failure.what());
    nb::python_error error;
    return take_exception(error);
}

void raise_chained(nb::handle cause, const char *message) {
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(cause.ptr())), cause.ptr());
    nb::python_error error;
    nb::raise_from(error, PyExc_RuntimeError, "%s", message);
}

} // namespace pyglue
