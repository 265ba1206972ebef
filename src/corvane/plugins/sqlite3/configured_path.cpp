#include "configured_path.hpp"

#include "errors.hpp"
#include "safe_access.hpp"

namespace corvane::store {

namespace {

[[noreturn]] void raise_directory_not_text(nb::handle directory) {
    pyglue::raise_error(PyExc_TypeError, "corvane_config.DB[\"sqlite3\"] must be a str, not %.200s",
                        Py_TYPE(directory.ptr())->tp_name);
}

nb::object read_configured_directory() {
    nb::module_ config = nb::module_::import_("corvane_config");
    nb::object settings = pyglue::read(config, "DB");
    nb::object directory = settings["sqlite3"];
    if (!directory.is_none() && !PyUnicode_CheckExact(directory.ptr()))
        raise_directory_not_text(directory);
    // An empty path would put the database at the root of the file system.
    if (!directory.is_none() && PyUnicode_GET_LENGTH(directory.ptr()) == 0)
        pyglue::raise_error(PyExc_ValueError,
                            nb::str("corvane_config.DB[\"sqlite3\"] is an empty path"));
    return directory;
}

} // namespace

nb::object configured_db_directory() {
    try {
        return read_configured_directory();
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception))
            throw;
        pyglue::raise_from(error, PyExc_ValueError,
                           "`sqlite3` is activated, and its path must be specified in `DB` "
                           "variable in corvane_config");
    }
}

} // namespace corvane::store
