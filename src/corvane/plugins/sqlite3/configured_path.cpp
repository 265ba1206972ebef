#include "configured_path.hpp"

namespace corvane::store {

namespace {

nb::object read_configured_directory() {
    nb::object settings = nb::module_::import_("corvane_config").attr("DB");
    nb::object directory = settings["sqlite3"];
    if (!directory.is_none() && !PyUnicode_CheckExact(directory.ptr())) {
        PyErr_Format(PyExc_TypeError,
                     "corvane_config.DB[\"sqlite3\"] must be a str, not %.200s",
                     Py_TYPE(directory.ptr())->tp_name);
        throw nb::python_error();
    }
    // An empty path would put the database at the root of the file system.
    if (!directory.is_none() && PyUnicode_GET_LENGTH(directory.ptr()) == 0) {
        PyErr_SetString(PyExc_ValueError, "corvane_config.DB[\"sqlite3\"] is an empty path");
        throw nb::python_error();
    }
    return directory;
}

} // namespace

nb::object configured_db_directory() {
    try {
        return read_configured_directory();
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception))
            throw;
        nb::raise_from(error, PyExc_ValueError,
                       "`sqlite3` is activated, and its path must be specified in `DB` "
                       "variable in corvane_config");
    }
}

} // namespace corvane::store
