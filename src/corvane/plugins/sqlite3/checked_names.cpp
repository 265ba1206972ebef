#include "checked_names.hpp"

#include "errors.hpp"
#include "sql_statements.hpp"
#include "type_check.hpp"

namespace corvane::store {

namespace {

[[noreturn]] void raise_name_not_text(nb::handle name, const char *kind) {
    pyglue::raise_error(PyExc_TypeError, "Invalid %s name %R: expected str, got %.200s", kind,
                        name.ptr(), Py_TYPE(name.ptr())->tp_name);
}

[[noreturn]] void raise_name_not_plain(nb::handle name, const char *kind) {
    pyglue::raise_error(PyExc_ValueError,
                        "Invalid %s name %R: a name is a letter or underscore followed by "
                        "letters, digits or underscores",
                        kind, name.ptr());
}

} // namespace

std::string utf8_of(nb::handle text) {
    Py_ssize_t size = 0;
    const char *data = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (!data)
        throw nb::python_error();
    return std::string(data, static_cast<size_t>(size));
}

std::string checked_name(nb::handle name, const char *kind) {
    if (!PyUnicode_Check(name.ptr()))
        raise_name_not_text(name, kind);
    std::string text = utf8_of(name);
    if (!is_plain_identifier(text))
        raise_name_not_plain(name, kind);
    return text;
}

std::string checked_table(nb::handle table_name) {
    pyglue::require_exact_type(table_name, &PyUnicode_Type, "table_name");
    return checked_name(table_name, "table");
}

std::vector<std::string_view> views_of(const std::vector<std::string> &names) {
    return std::vector<std::string_view>(names.begin(), names.end());
}

nb::list entries_of(nb::dict mapping) {
    nb::object entries = nb::steal(PyDict_Items(mapping.ptr()));
    if (!entries.is_valid())
        throw nb::python_error();
    return nb::borrow<nb::list>(entries);
}

} // namespace corvane::store
