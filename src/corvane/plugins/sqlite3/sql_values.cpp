#include "sql_values.hpp"

#include <cmath>
#include <string>

#include "datetime_helpers.hpp"
#include "errors.hpp"

namespace corvane::store {

namespace {

nb::object exact_text(nb::handle value) {
    if (PyUnicode_CheckExact(value.ptr()))
        return nb::borrow(value);
    return nb::steal(PyUnicode_FromObject(value.ptr())); // the characters, not __str__
}

nb::object exact_float(nb::handle value) {
    if (PyFloat_CheckExact(value.ptr()))
        return nb::borrow(value);
    return nb::float_(PyFloat_AsDouble(value.ptr()));
}

nb::object sqlite_integer(nb::handle value) {
    int overflow = 0;
    long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (number == -1 && PyErr_Occurred())
        throw nb::python_error();
    if (overflow == 0)
        return nb::steal(PyLong_FromLongLong(number));
    double approximate = PyLong_AsDouble(value.ptr());
    if (approximate == -1.0 && PyErr_Occurred())
        throw nb::python_error();
    return nb::float_(approximate);
}

bool is_instance(nb::handle value, nb::handle type) {
    int result = PyObject_IsInstance(value.ptr(), type.ptr());
    if (result < 0)
        throw nb::python_error();
    return result == 1;
}

[[noreturn]] void raise_unsupported(nb::handle value) {
    nb::object message = nb::str("Data format is not support! type(") + nb::str(value) +
                         nb::str(")=") + nb::str(value.type());
    pyglue::raise_value_error(message);
}

[[noreturn]] void raise_nan_column(std::string_view column) {
    std::string name(column);
    pyglue::raise_error(PyExc_ValueError,
                        "Column '%s' is NaN: NaN cannot be stored (SQLite would keep NULL)",
                        name.c_str());
}

} // namespace

nb::object bindable_value(ScopeRef scope, nb::handle value) {
    nb::object bound;
    if (PyUnicode_Check(value.ptr()))
        bound = exact_text(value);
    else if (PyFloat_Check(value.ptr()))
        bound = exact_float(value);
    else if (PyLong_Check(value.ptr()))
        bound = sqlite_integer(value);
    else if (is_instance(value, scope.numpy_int64))
        bound = nb::steal(PyNumber_Long(value.ptr()));
    else if (is_instance(value, scope.datetime_type))
        return pyglue::datetime_seconds_text(value);
    else
        raise_unsupported(value);
    if (!bound.is_valid())
        throw nb::python_error();
    return bound;
}

nb::object bindable_column_value(ScopeRef scope, std::string_view column,
                                 nb::handle value) {
    nb::object bound = bindable_value(scope, value);
    if (PyFloat_CheckExact(bound.ptr()) && std::isnan(PyFloat_AS_DOUBLE(bound.ptr())))
        raise_nan_column(column);
    return bound;
}

} // namespace corvane::store
