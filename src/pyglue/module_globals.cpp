#include "module_globals.hpp"

namespace pyglue {

ModuleGlobals::ModuleGlobals(nb::handle module)
    : globals_(nb::borrow<nb::dict>(PyModule_GetDict(module.ptr()))) {}

nb::object ModuleGlobals::get(const char *name) const {
    PyObject *value = PyDict_GetItemString(globals_.ptr(), name); // borrowed
    if (value)
        return nb::borrow(value);
    nb::object builtins = nb::module_::import_("builtins");
    nb::object builtin = nb::getattr(builtins, name, nb::handle());
    if (builtin.is_valid())
        return builtin;
    PyErr_Format(PyExc_NameError, "name '%s' is not defined", name);
    throw nb::python_error();
}

} // namespace pyglue
