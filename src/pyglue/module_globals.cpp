#include "module_globals.hpp"

#include "interned_names.hpp"

namespace pyglue {

ModuleGlobals::ModuleGlobals(nb::handle module)
    : globals_(PyModule_GetDict(module.ptr())) {}

nb::object ModuleGlobals::get(nb::handle key) const {
    PyObject *value = PyDict_GetItemWithError(globals_.ptr(), key.ptr()); // borrowed
    if (value)
        return nb::borrow(value);
    if (PyErr_Occurred())
        throw nb::python_error();
    nb::object builtins = nb::module_::import_("builtins");
    nb::object builtin = nb::getattr(builtins, key, nb::handle());
    if (builtin.is_valid())
        return builtin;
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", key.ptr());
    throw nb::python_error();
}

} // namespace pyglue
