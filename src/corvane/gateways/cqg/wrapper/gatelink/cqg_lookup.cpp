#include "cqg_lookup.hpp"

#include "safe_access.hpp"

namespace corvane::gatelink {

namespace {

nb::object name_of(nb::handle item, NamedBy named_by) {
    if (named_by == NamedBy::FullName)
        return pyglue::read(item, "FullName");
    nb::object request = pyglue::read(item, "Request");
    return pyglue::read(request, "Symbol");
}

// Python's `cqg_symbol in name`.
bool contains(nb::handle name, nb::handle cqg_symbol) {
    int found = PySequence_Contains(name.ptr(), cqg_symbol.ptr());
    if (found < 0)
        throw nb::python_error();
    return found == 1;
}

// Whether the symbol part of `name` is `cqg_symbol`: the text after a full name's last ".",
// or a request's whole symbol. A name that is no str has no symbol part.
bool names_exactly(nb::handle name, nb::handle cqg_symbol, NamedBy named_by) {
    if (!PyUnicode_Check(name.ptr()))
        return false;
    nb::object symbol = nb::borrow(name);
    if (named_by == NamedBy::FullName) {
        Py_ssize_t length = PyUnicode_GetLength(name.ptr());
        Py_ssize_t last_dot = PyUnicode_FindChar(name.ptr(), '.', 0, length, -1);
        if (last_dot == -2)
            throw nb::python_error();
        if (last_dot >= 0) {
            symbol = nb::steal(PyUnicode_Substring(name.ptr(), last_dot + 1, length));
            if (!symbol.is_valid())
                throw nb::python_error();
        }
    }
    int equal = PyUnicode_Compare(symbol.ptr(), cqg_symbol.ptr());
    if (equal == -1 && PyErr_Occurred())
        throw nb::python_error();
    return equal == 0;
}

} // namespace

nb::object find_by_cqg_symbol(nb::handle collection, nb::handle cqg_symbol, NamedBy named_by) {
    nb::object first_containing = nb::none();
    for (nb::handle item : collection) {
        nb::object candidate = nb::borrow(item);
        nb::object name = name_of(candidate, named_by);
        if (!contains(name, cqg_symbol))
            continue;
        if (names_exactly(name, cqg_symbol, named_by))
            return candidate;
        if (first_containing.is_none())
            first_containing = candidate;
    }
    return first_containing;
}

} // namespace corvane::gatelink
