#include "scenario_input.hpp"

#include <nanobind/stl/string.h>

namespace cqgemu {

void fail(PyObject *type, const std::string &text) {
    PyErr_SetString(type, text.c_str());
    throw nb::python_error();
}

nb::dict as_dict(nb::handle value, const char *what) {
    if (!PyDict_Check(value.ptr()))
        fail(PyExc_TypeError, std::string(what) + " must be a dict");
    return nb::borrow<nb::dict>(value);
}

void require_known_keys(nb::dict entry, std::initializer_list<const char *> known,
                        const char *what) {
    for (auto [key, value] : entry) {
        bool found = false;
        if (PyUnicode_Check(key.ptr()))
            for (const char *name : known)
                found = found || nb::cast<std::string>(key) == name;
        if (!found)
            fail(PyExc_ValueError, std::string(what) + " has an unknown key " +
                                       nb::cast<std::string>(nb::repr(key)));
    }
}

nb::object entry_or_none(nb::dict entry, const char *key) {
    nb::str name(key);
    if (!entry.contains(name))
        return nb::none();
    return entry[name];
}

long integer_from(nb::handle value, const char *what) {
    long number = 0;
    if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()) ||
        !nb::try_cast<long>(value, number))
        fail(PyExc_TypeError, std::string(what) + " must be an int");
    return number;
}

double number_from(nb::handle value, const char *what) {
    if (value.is_none())
        return 0.0;
    if (PyBool_Check(value.ptr()) || (!PyLong_Check(value.ptr()) && !PyFloat_Check(value.ptr())))
        fail(PyExc_TypeError, std::string(what) + " must be a number");
    return nb::cast<double>(value);
}

std::string text_from(nb::handle value, const char *what) {
    if (!PyUnicode_Check(value.ptr()))
        fail(PyExc_TypeError, std::string(what) + " must be a str");
    return nb::cast<std::string>(value);
}

} // namespace cqgemu
